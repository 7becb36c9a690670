// Download figures: a file sent to the same plain sink by three arms, taken
// in turn in the same run:
//
//   floor    a plain C writer (PlainFloor.h pieces only): it opens the file
//            and, block by block, read()s 1024 bytes of it and sends them.
//   whole    informational, a stricter floor shaped like the transfer: the
//            same plain writer, but it reads the file whole with one read()
//            into memory first and sends the blocks from there (the
//            transfer also reads the file a second time to compare).
//   alone    the transfer alone: DownloadFile, no dialog (it reads the file
//            whole, checks it, and sends it in blocks of 1024 bytes).
//   dialog   the real TFirmwareUpdateForm, offscreen: DownLoad clicked, timed
//            to the sink's last byte and to the result box.
//
// Links:
//   TCP          the sink is a plain socket reader on 127.0.0.1
//                (TORVA_NET_PORT). The console's network connection and the
//                floor's plain socket (TCP_NODELAY, as the console's) are both
//                opened before the runs and kept, each read by a sink thread
//                of its own that is there before the runs.
//   USB device   the sink is a plain program on the USB socket (TORVA_USB_SIM)
//                that answers each request of the socket's framing ('T' 'U'
//                op kind, a, b, n, data; reply result, n) and drops the data.
//                Every arm connects and opens the device inside its run (the
//                floor sends the open request itself), so each pays a
//                connection and the sink's new thread for it; the floor frames
//                each block and waits for its answer, as the device library
//                does.
//   serial       informational, no target: the dialog pays a close, a CTS probe
//                (through the serial seam: a pseudo-terminal has no modem
//                lines) and a reopen before every block; the sink is a plain
//                reader of the pseudo-terminal's other end, the floor plain
//                write() of 1024-byte blocks to the same terminal.
//
// Every writer, the floors' too, runs on a thread started for its run, as the
// download's transfer does; each figure starts before that thread (the click,
// for the dialog) and ends at the sink's time stamp of the last byte, for
// every arm alike. Beside it: the CPU (user and system) the writer's thread
// used. The dialog is also timed to its result box; its fixed cost is given
// as the CPU its own thread used from the click to the box, and as how much
// later its box came than the transfer alone's last byte, run by run.
// Pauses scaled: the printer delays go through the delay service, scaled to 0
// (the Ethernet write's pause of length/6 ms a block and the USB device's
// 1000 ms after the last block); nothing of the floors is scaled. Each figure
// is the median (and the minimum) of the runs, the arms of a run taken in
// turn, the first of them moved one on each run.
// Target: the transfer alone at least 95 % of the floor, over TCP and the
// USB device, as the median of the runs' own ratios (the floor's time over
// the transfer's in the same run, the two having met the same load); the
// ratio of the two medians is shown beside it.
//
// Usage: download_bench [runs] [MiB ...] [--only=tcp|usb|serial]
//                       [--arms=floor,whole,alone,dialog]
//   (default 7 runs, at least 5; files of 1 and 16 MiB; every link and arm).
//   Build in Release for meaningful figures.
// Instructions a block (repeatable where times are not): one link and one
// arm under callgrind, each thread counted apart, e.g.
//     valgrind --tool=callgrind --separate-threads=yes --callgrind-out-file=cg
//         download_bench 5 1 --only=usb --arms=alone
//   then, in the file of the writer's thread (cg-NN), the instructions
//   callgrind_annotate --inclusive=yes gives DownloadFile (the floors:
//   ReadAndSend), over the blocks sent (5 runs x 1024 for 1 MiB).
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/Descriptors.h"
#include "link/NetUnit.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "link/SerialIo.h"
#include "tools/FirmwareUpdate.h"
#include "tools/FirmwareUpdateThread.h"

#include "PlainFloor.h"

namespace {

constexpr size_t kMiB = 1 << 20;
constexpr size_t kBlock = 1024;

using plainfloor::GetU32;
using plainfloor::NowMs;
using plainfloor::Of;
using plainfloor::PutU32;
using plainfloor::Stats;
using plainfloor::WriteExact;

// --- the plain sink: counts the bytes that reach it, on any connection

class Sink {
 public:
  void add(size_t n) {
    const double now = NowMs();
    std::lock_guard<std::mutex> lock(mu_);
    if (got_ == 0) first_ = now;
    got_ += n;
    last_ = now;
    cv_.notify_all();
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mu_);
    got_ = 0;
    first_ = last_ = 0;
  }
  // Waits until `n` bytes have come (false after 60 s).
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(60), [&] { return got_ >= n; });
  }
  // When the first and the last byte came (0 before any).
  double firstAt() {
    std::lock_guard<std::mutex> lock(mu_);
    return first_;
  }
  double lastAt() {
    std::lock_guard<std::mutex> lock(mu_);
    return last_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  size_t got_ = 0;
  double first_ = 0, last_ = 0;
};

// Accepts connections on `listener` for as long as it is open; each is read
// by `serve` on a thread of its own.
void AcceptLoop(int listener, std::function<void(int)> serve) {
  std::thread([listener, serve] {
    for (;;) {
      const int c = accept(listener, nullptr, nullptr);
      if (c < 0) {
        if (errno == EINTR) continue;
        return;
      }
      std::thread([c, serve] {
        serve(c);
        close(c);
      }).detach();
    }
  }).detach();
}

// TCP: every byte read is counted.
void ServeTcp(Sink& sink, int fd) {
  std::vector<uint8_t> buf(256 * 1024);
  for (;;) {
    const ssize_t n = read(fd, buf.data(), buf.size());
    if (n <= 0) return;
    sink.add(static_cast<size_t>(n));
  }
}

// The USB socket: 16-byte requests ('T' 'U' op kind, a, b, n little-endian,
// then n bytes), each answered with result and no data. Writes (op 3) are
// counted and answered with their length; an enumeration of devices (op 1,
// kind 0) answers one device at position 0; the rest answers 0.
void ServeUsb(Sink& sink, int fd) {
  std::vector<uint8_t> data(kMiB + 16);
  for (;;) {
    uint8_t h[16];
    if (!plainfloor::ReadExact(fd, h, sizeof h, -1) || h[0] != 'T' || h[1] != 'U') return;
    const uint32_t n = GetU32(h + 12);
    if (n > data.size() || !plainfloor::ReadExact(fd, data.data(), n, -1)) return;
    uint8_t reply[9];
    size_t replyLength = 8;
    uint32_t result = 0;
    switch (h[2]) {
      case 1:  // Enumerate
        if (h[3] == 0) {
          result = 1;
          reply[8] = 0;
          replyLength = 9;
        }
        break;
      case 3:  // Write
        sink.add(n);
        result = n;
        break;
      case 6:  // Vendor
        result = 1;
        break;
      default:
        break;
    }
    PutU32(reply, result);
    PutU32(reply + 4, static_cast<uint32_t>(replyLength - 8));
    if (!WriteExact(fd, reply, replyLength)) return;
  }
}

// --- the floors: plain C writers that read the file as they send it

// Sends the file at `path` over `send` in blocks of 1024 bytes: each read
// and sent in turn, or (`whole`) all read with one read() first.
template <typename Send>
bool ReadAndSend(const std::string& path, bool whole, Send send) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = true;
  if (whole) {
    const off_t size = lseek(fd, 0, SEEK_END);
    std::unique_ptr<uint8_t[]> data(new uint8_t[static_cast<size_t>(std::max<off_t>(size, 1))]);
    ok = size >= 0 && pread(fd, data.get(), static_cast<size_t>(size), 0) == size;
    for (off_t at = 0; ok && at < size; at += kBlock)
      ok = send(data.get() + at, std::min<size_t>(kBlock, static_cast<size_t>(size - at)));
  } else {
    uint8_t block[kBlock];
    for (;;) {
      const ssize_t n = read(fd, block, sizeof block);
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      if (!send(block, static_cast<size_t>(n))) {
        ok = false;
        break;
      }
    }
  }
  close(fd);
  return ok;
}

// A plain socket to the TCP sink with the console's options (no coalescing).
int PlainTcpConnect(int port) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s < 0 || connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (s >= 0) close(s);
    return -1;
  }
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return s;
}

// The writers, not inlined and ending in no tail call, so that callgrind can
// count inside them alone.
__attribute__((noinline, optimize("no-optimize-sibling-calls"))) bool PlainTcpWriter(int s,
                                                                                     const std::string& path,
                                                                                     bool whole) {
  return ReadAndSend(path, whole, [s](const uint8_t* p, size_t n) { return WriteExact(s, p, n); });
}

__attribute__((noinline, optimize("no-optimize-sibling-calls"))) bool PlainUsbWriter(
    const std::string& socketPath, const std::string& path, bool whole) {
  plainfloor::UsbClient client(-1);  // the answers waited for in read(), as the sink's requests are
  if (!client.connect(socketPath) || !client.open()) return false;
  return ReadAndSend(path, whole, [&](const uint8_t* p, size_t n) { return client.write(p, n); });
}

// --- timing one arm

// What one run of an arm came to: from the start to the sink's first and
// last byte (ms), the CPU its writer's thread used (user and system, ms), and
// whether every byte came and the writer said so.
struct Run {
  double toFirst = -1, toLast = -1, cpuMs = -1;
  bool ok = false;
};

// Runs `writer` on a thread started for the run and times it to the sink.
template <typename F>
Run OnAThread(Sink& sink, size_t size, F writer) {
  sink.reset();
  bool wrote = false;
  Run r;
  const double t0 = NowMs();
  std::thread([&] {
    wrote = writer();
    r.cpuMs = plainfloor::CpuMs(CLOCK_THREAD_CPUTIME_ID);
  }).join();
  r.ok = wrote && sink.waitFor(size);
  if (r.ok) {
    r.toFirst = sink.firstAt() - t0;
    r.toLast = sink.lastAt() - t0;
  }
  return r;
}

// --- the dialog's path

struct DialogRun {
  Run toSink;         // from the click
  double toBox = -1;  // from the click to the result box
  double cpuMs = -1;  // the dialog's own thread, from the click to the box
};

double ThreadCpuMs() { return plainfloor::CpuMs(CLOCK_THREAD_CPUTIME_ID); }

// Clicks DownLoad and runs the event loop (waiting, not spinning) until the
// dialog has shown its result and the sink has every byte.
DialogRun ThroughDialog(Sink& sink, const std::string& path, size_t size) {
  sink.reset();
  MessageRecorder messages;
  torva::gui::ScopedFileDialogs dialogs(
      [&](const torva::gui::FileDialogRequest&) { return QString::fromStdString(path); });
  TFirmwareUpdateForm dialog;
  dialog.show();
  dialog.DownLoadButtonClick();  // Browse: the file is chosen
  {
    // The dialog is on screen, painted, before the user clicks DownLoad.
    QEventLoop shown;
    QTimer::singleShot(50, &shown, &QEventLoop::quit);
    shown.exec();
  }
  QEventLoop loop;
  QProgressBar* bar = dialog.findChild<QProgressBar*>("DownLoadProgressBar");
  // The box is recorded in ShowSuccess and ShowError, just before the bar
  // goes back to 0: the first change of the bar after the box is the box's
  // moment.
  double boxAt = 0;
  QObject::connect(bar, &QProgressBar::valueChanged, &loop, [&] {
    if (!dialog.transferring() && !messages.messages().empty() && boxAt == 0) {
      boxAt = NowMs();
      loop.quit();
    }
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
  guard.start(120000);
  DialogRun r;
  const double cpu0 = ThreadCpuMs();
  const double t0 = NowMs();
  dialog.DownLoadButtonClick();
  if (dialog.transferring()) loop.exec();
  r.cpuMs = ThreadCpuMs() - cpu0;
  r.toSink.ok =
      sink.waitFor(size) && boxAt > 0 && messages.messages().back().text.startsWith("Download Success!");
  if (r.toSink.ok) {
    r.toSink.toFirst = sink.firstAt() - t0;
    r.toSink.toLast = sink.lastAt() - t0;
    r.toBox = boxAt - t0;
  }
  return r;
}

// Runs the arms of run i, the first of them moved one on each run: whichever
// arm goes first after the last run's pays for what that one left behind
// (its connection ending, the sink's thread for it), by as much as 10 % of
// 16 MiB over the USB socket, so no arm may always be the first.
void InTurn(int i, const std::vector<std::function<void()>>& arms) {
  for (size_t k = 0; k < arms.size(); ++k) arms[(static_cast<size_t>(i) + k) % arms.size()]();
}

// The figures of one link and size, run by run.
struct Figures {
  std::vector<double> floor, floorFirst, floorCpu, whole, wholeFirst, wholeCpu, alone, aloneFirst, aloneCpu,
      dialog, dialogFirst, dialogBox, dialogCpu;
  bool ok = true;
  void add(std::vector<double>& to, double v, bool good) {
    if (good) to.push_back(v);
    ok = ok && good;
  }
  void addArm(std::vector<double>& ms, std::vector<double>& first, std::vector<double>& cpu, const Run& r) {
    add(ms, r.toLast, r.ok);
    if (!r.ok) return;
    first.push_back(r.toFirst);
    cpu.push_back(r.cpuMs);
  }
  void addFloor(const Run& r) { addArm(floor, floorFirst, floorCpu, r); }
  void addWhole(const Run& r) { addArm(whole, wholeFirst, wholeCpu, r); }
  void addAlone(const Run& r) { addArm(alone, aloneFirst, aloneCpu, r); }
  void addDialog(const DialogRun& r) {
    add(dialog, r.toSink.toLast, r.toSink.ok);
    if (!r.toSink.ok) return;
    dialogFirst.push_back(r.toSink.toFirst);
    dialogBox.push_back(r.toBox);
    dialogCpu.push_back(r.cpuMs);
  }
};

// The median over the runs of f(a[i], b[i]); 0 when the two do not pair
// (an arm left out, or a run that failed).
template <typename F>
double Paired(const std::vector<double>& a, const std::vector<double>& b, F f) {
  if (a.empty() || a.size() != b.size()) return 0;
  std::vector<double> v;
  for (size_t i = 0; i < a.size(); ++i) v.push_back(f(a[i], b[i]));
  return Of(v).median;
}
double PercentOf(double floorMs, double armMs) { return armMs > 0 ? floorMs / armMs * 100 : 0; }

// Prints the figures; true when the transfer alone met the target (or none is set).
bool Report(const char* link, size_t size, const Figures& f, bool target) {
  const double mb = static_cast<double>(size) / 1e6;
  auto rate = [mb](double ms) { return ms > 0 ? mb / (ms / 1000) : 0; };
  auto line = [&](const char* arm, const std::vector<double>& ms, const std::vector<double>& first,
                  const std::vector<double>& cpu) {
    if (ms.empty()) return;
    const Stats t = Of(ms);
    std::printf(
        "%-10s %3zu MiB: %-15s median %8.2f ms (%6.1f MB/s), min %8.2f ms, first byte %6.2f ms; its thread's "
        "CPU median %7.2f ms\n",
        link, size / kMiB, arm, t.median, rate(t.median), t.min, Of(first).median, Of(cpu).median);
  };
  line("floor", f.floor, f.floorFirst, f.floorCpu);
  line("whole (info)", f.whole, f.wholeFirst, f.wholeCpu);
  line("transfer alone", f.alone, f.aloneFirst, f.aloneCpu);
  bool met = true;
  if (!f.alone.empty() && !f.floor.empty()) {
    const double paired = Paired(f.floor, f.alone, PercentOf);
    met = !target || (paired >= 95 && f.ok);
    std::printf(
        "%-10s %3zu MiB: the transfer alone at %5.1f %% of the floor run by run (%5.1f %% by the medians), "
        "CPU %5.1f %%%s\n",
        link, size / kMiB, paired, PercentOf(Of(f.floor).median, Of(f.alone).median),
        PercentOf(Of(f.floorCpu).median, Of(f.aloneCpu).median),
        !target ? " [no target]"
        : met   ? " [target >= 95 %: met]"
                : " [target >= 95 %: MISSED]");
  }
  if (!f.alone.empty() && !f.whole.empty())
    std::printf(
        "%-10s %3zu MiB: the transfer alone at %5.1f %% of the whole-file floor run by run, CPU %5.1f %%\n",
        link, size / kMiB, Paired(f.whole, f.alone, PercentOf),
        PercentOf(Of(f.wholeCpu).median, Of(f.aloneCpu).median));
  if (!f.dialog.empty()) {
    const Stats dl = Of(f.dialog), box = Of(f.dialogBox);
    std::printf(
        "%-10s %3zu MiB: dialog          median %8.2f ms to the last byte (%6.1f MB/s), %8.2f ms to the "
        "result box, min %8.2f ms",
        link, size / kMiB, dl.median, rate(dl.median), box.median, dl.min);
    if (!f.floor.empty())
      std::printf("; at %5.1f %% of the floor run by run", Paired(f.floor, f.dialog, PercentOf));
    std::printf("\n");
    std::printf(
        "%-10s %3zu MiB: dialog's fixed cost: its thread used median %.2f ms CPU from the click to the box; "
        "first byte %.2f ms after the click",
        link, size / kMiB, Of(f.dialogCpu).median, Of(f.dialogFirst).median);
    if (!f.alone.empty())
      std::printf("; the box %.2f ms after the transfer alone's last byte, run by run",
                  Paired(f.dialogBox, f.alone, [](double d, double a) { return d - a; }));
    std::printf("\n");
  }
  if (!f.ok) std::printf("%-10s %3zu MiB: SOME RUN LOST BYTES OR FAILED\n", link, size / kMiB);
  return met && f.ok;
}

// The command line after the runs and sizes.
struct Options {
  std::string only;  // empty: every link
  bool floor = true, whole = true, alone = true, dialog = true;
  bool link(const char* name) const { return only.empty() || only == name; }
};

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  Options options;
  std::vector<std::string> plain;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--only=", 0) == 0) {
      options.only = a.substr(7);
    } else if (a.rfind("--arms=", 0) == 0) {
      // A comma-separated list of arm names.
      std::vector<std::string> arms;
      for (size_t from = 7; from <= a.size();) {
        const size_t comma = std::min(a.find(',', from), a.size());
        arms.push_back(a.substr(from, comma - from));
        from = comma + 1;
      }
      auto has = [&arms](const char* name) {
        return std::find(arms.begin(), arms.end(), name) != arms.end();
      };
      options.floor = has("floor");
      options.whole = has("whole");
      options.alone = has("alone");
      options.dialog = has("dialog");
    } else {
      plain.push_back(a);
    }
  }
  const int runs = !plain.empty() ? std::max(5, std::atoi(plain[0].c_str())) : 7;
  std::vector<size_t> sizes;
  for (size_t i = 1; i < plain.size(); ++i)
    sizes.push_back(static_cast<size_t>(std::max(1, std::atoi(plain[i].c_str()))) * kMiB);
  if (sizes.empty()) sizes = {kMiB, 16 * kMiB};

  torva::SetPrinterDelayScale(0);
  ResetPortState();
  Language = "English";
  char tmpl[] = "/tmp/torva-download-bench-XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  SetProgramFolderForTests(QString::fromStdString(dir));

  Sink sink;
  // TCP sink.
  const int tcp = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t alen = sizeof a;
  if (bind(tcp, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(tcp, 8) != 0 ||
      getsockname(tcp, reinterpret_cast<sockaddr*>(&a), &alen) != 0)
    return 1;
  const int tcpPort = ntohs(a.sin_port);
  AcceptLoop(tcp, [&sink](int fd) { ServeTcp(sink, fd); });
  // USB socket sink.
  const std::string usbPath = dir + "/usb.sock";
  const int usb = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un u{};
  u.sun_family = AF_UNIX;
  std::snprintf(u.sun_path, sizeof u.sun_path, "%s", usbPath.c_str());
  if (bind(usb, reinterpret_cast<sockaddr*>(&u), sizeof u) != 0 || listen(usb, 8) != 0) return 1;
  AcceptLoop(usb, [&sink](int fd) { ServeUsb(sink, fd); });
  setenv("TORVA_USB_SIM", usbPath.c_str(), 1);
  setenv("TORVA_NET_PORT", std::to_string(tcpPort).c_str(), 1);

  std::printf(
      "download: a plain C writer that reads the file as it sends (floor; whole: the same, the file read "
      "whole first), the transfer alone and the dialog, to the same plain sink; %d runs each, taken in turn; "
      "each timed to the sink's last byte; printer delays scaled to 0 (Ethernet length/6 ms a write, USB "
      "device 1000 ms at the end), nothing scaled in the floors\n",
      runs);
  bool allMet = true;
  for (size_t size : sizes) {
    std::vector<uint8_t> data(size);
    uint32_t x = 12345;
    for (auto& b : data) {
      x = x * 1664525u + 1013904223u;
      b = static_cast<uint8_t>(x >> 24);
    }
    const std::string path = dir + "/image.DAT";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
      std::fwrite(data.data(), 1, data.size(), f);
      std::fclose(f);
    }

    // The dialog's arm; after it, where the link is opened for each run,
    // the port it leaves open is closed.
    auto dialogArm = [&](Figures& f, bool closeAfter) {
      return [&f, &sink, &path, size, closeAfter] {
        f.addDialog(ThroughDialog(sink, path, size));
        if (closeAfter) torva::link::CloseEveryOpenPort();
      };
    };

    // TCP: both connections opened before the runs.
    if (options.link("tcp")) {
      PortType = PortNet;
      PNET.IPAddress = "127.0.0.1";
      PNET.TestPrinterName = false;
      PNET.connecttime = 3;
      PNET.writetime = 5;
      PNET.readtime = 5;
      Figures f;
      const int plainSocket = PlainTcpConnect(tcpPort);
      f.ok = OpenNetPort() && plainSocket >= 0;
      // A byte over each before the runs: both sink threads are there and
      // have read once.
      const uint8_t hello = 0;
      sink.reset();
      f.ok = f.ok && WriteExact(plainSocket, &hello, 1) && WriteNetPort(&hello, 1) && sink.waitFor(2);
      std::vector<std::function<void()>> arms;
      if (options.dialog) arms.push_back(dialogArm(f, false));
      if (options.floor)
        arms.push_back([&] {
          f.addFloor(OnAThread(sink, size, [&] { return PlainTcpWriter(plainSocket, path, false); }));
        });
      if (options.whole)
        arms.push_back([&] {
          f.addWhole(OnAThread(sink, size, [&] { return PlainTcpWriter(plainSocket, path, true); }));
        });
      if (options.alone)
        arms.push_back([&] {
          f.addAlone(OnAThread(sink, size, [&] { return torva::tools::DownloadFile(path, PortNet, {}); }));
        });
      for (int i = 0; i < runs && f.ok; ++i) InTurn(i, arms);
      CloseNetPort();
      if (plainSocket >= 0) close(plainSocket);
      allMet = Report("tcp", size, f, true) && allMet;
    }
    // USB device: every arm connects inside its run.
    if (options.link("usb")) {
      PortType = PortUSB;
      USBParameter.X = 0;
      Figures f;
      std::vector<std::function<void()>> arms;
      if (options.dialog) arms.push_back(dialogArm(f, true));
      if (options.floor)
        arms.push_back(
            [&] { f.addFloor(OnAThread(sink, size, [&] { return PlainUsbWriter(usbPath, path, false); })); });
      if (options.whole)
        arms.push_back(
            [&] { f.addWhole(OnAThread(sink, size, [&] { return PlainUsbWriter(usbPath, path, true); })); });
      if (options.alone)
        arms.push_back([&] {
          f.addAlone(OnAThread(sink, size, [&] { return torva::tools::DownloadFile(path, PortUSB, {}); }));
          torva::link::CloseEveryOpenPort();
        });
      for (int i = 0; i < runs && f.ok; ++i) InTurn(i, arms);
      allMet = Report("usb device", size, f, true) && allMet;
    }
    // Serial, informational: a pseudo-terminal whose other end a plain
    // thread reads; CTS through the seam.
    if (options.link("serial") && size <= kMiB) {
      plainfloor::PlainPty pty;  // the line stays up between the reopens
      if (pty.open()) {
        std::atomic<bool> stop{false};
        std::thread reader([&] {
          std::vector<uint8_t> buf(64 * 1024);
          while (!stop) {
            pollfd p{pty.master, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = read(pty.master, buf.data(), buf.size());
            if (n > 0) sink.add(static_cast<size_t>(n));
          }
        });
        SerialCalls calls = SerialTermiosCalls();
        calls.modemIoctl = [](int fd, unsigned long request, int* bits) {
          if (request == TIOCMGET) {
            *bits = TIOCM_CTS;
            return 0;
          }
          return RealSerialCalls().modemIoctl(fd, request, bits);
        };
        ScopedSerialCalls seam(calls);
        PortType = PortCOM;
        ComParameter.Name = pty.name;
        ComParameter.Baudrate = 115200;
        Figures f;
        std::vector<std::function<void()>> arms;
        if (options.dialog) arms.push_back(dialogArm(f, true));
        if (options.floor)
          arms.push_back([&] {
            f.addFloor(OnAThread(sink, size, [&] {
              const int fd = open(pty.name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
              if (fd < 0) return false;
              const bool ok = ReadAndSend(
                  path, false, [fd](const uint8_t* p, size_t n) { return plainfloor::WriteAll(fd, p, n); });
              close(fd);
              return ok;
            }));
          });
        for (int i = 0; i < runs && f.ok; ++i) InTurn(i, arms);
        Report("serial", size, f, false);
        stop = true;
        reader.join();
      }
    }
    std::remove(path.c_str());
  }
  close(tcp);
  close(usb);
  std::remove(usbPath.c_str());
  rmdir(dir.c_str());
  std::printf("targets: %s\n", allMet ? "met" : "MISSED");
  return allMet ? 0 : 2;
}
