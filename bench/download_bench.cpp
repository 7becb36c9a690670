// Download figures: a file sent through the download dialog (the real
// TFirmwareUpdateForm, offscreen: DownLoad clicked, timed until the sink has
// every byte) against an independent floor in the same run: a plain writer
// that sends the same file in 1024-byte writes to the same plain sink.
//
//   TCP          the sink is a plain socket reader on 127.0.0.1 (TORVA_NET_PORT);
//                the floor is plain send() of 1024-byte blocks on a socket
//                with the console's options (TCP_NODELAY).
//   USB device   the sink is a plain program on the USB socket (TORVA_USB_SIM)
//                that answers each request of the socket's framing ('T' 'U' op
//                kind, a, b, n, data; reply result, n) and drops the data; the
//                floor frames each 1024-byte block itself and waits for its
//                answer, as the device library does.
//   serial       informational, no target: the dialog pays a close, a CTS probe
//                (through the serial seam: a pseudo-terminal has no modem
//                lines) and a reopen before every block; the sink is a plain
//                reader of the pseudo-terminal's other end, the floor plain
//                write() of 1024-byte blocks to the same terminal.
//
// Every writer, the floor's too, runs on a thread started for its run, as the
// download's transfer does.
// Pauses scaled: the printer delays go through the delay service, scaled to 0
// (the Ethernet write's pause of length/6 ms a block and the USB device's
// 1000 ms after the last block); nothing of the floor is scaled. Each figure
// is the median and the minimum of the runs, dialog, floor and transfer
// alone taken in turn, the first of them moved one on each run.
// Target: the dialog's median at least 95 % of the floor's median, over TCP
// and the USB device.
//
// Usage: download_bench [runs] [MiB ...]   (default 7 runs, files of 1 and 16 MiB)
// Build in Release for meaningful figures.
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
#include <functional>
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
    std::lock_guard<std::mutex> lock(mu_);
    got_ += n;
    last_ = NowMs();
    cv_.notify_all();
  }
  void reset() {
    std::lock_guard<std::mutex> lock(mu_);
    got_ = 0;
  }
  // When the last byte came, once `n` have (0 before).
  double reachedAt(size_t n) {
    std::lock_guard<std::mutex> lock(mu_);
    return got_ >= n ? last_ : 0;
  }
  // Waits until `n` bytes have come (false after 60 s).
  bool waitFor(size_t n) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(60), [&] { return got_ >= n; });
  }
  size_t got() {
    std::lock_guard<std::mutex> lock(mu_);
    return got_;
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  size_t got_ = 0;
  double last_ = 0;
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

// --- the floors: plain writers of 1024-byte blocks

double TcpFloor(Sink& sink, int port, const std::vector<uint8_t>& data) {
  sink.reset();
  const double t0 = NowMs();
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return -1;
  // The same socket options as the console's connection: no coalescing.
  const int one = 1;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  for (size_t i = 0; i < data.size(); i += kBlock)
    if (!WriteExact(s, data.data() + i, std::min(kBlock, data.size() - i))) return -1;
  const bool all = sink.waitFor(data.size());
  const double ms = NowMs() - t0;
  close(s);
  return all ? ms : -1;
}

double UsbFloor(Sink& sink, const std::string& path, const std::vector<uint8_t>& data) {
  sink.reset();
  const double t0 = NowMs();
  plainfloor::UsbClient client(-1);  // the answers waited for in read(), as the sink's requests are
  if (!client.connect(path)) return -1;
  for (size_t i = 0; i < data.size(); i += kBlock)
    if (!client.write(data.data() + i, std::min(kBlock, data.size() - i))) return -1;
  const bool all = sink.waitFor(data.size());
  return all ? NowMs() - t0 : -1;
}

// Runs a floor's writer on a thread started for the run, as the download
// runs its transfer: a fresh thread's first exchanges wait longer for the
// scheduler than a busy one's, which on 1 MiB is a third of the time.
template <typename F>
double OnAThread(F f) {
  double ms = -1;
  std::thread([&] { ms = f(); }).join();
  return ms;
}

// Runs the arms of run i, the first of them moved one on each run: whichever
// arm goes first after the last run's pays for what that one left behind
// (its connection ending, the sink's thread for it), by as much as 10 % of
// 16 MiB over the USB socket, so no arm may always be the first.
void InTurn(int i, std::initializer_list<std::function<void()>> arms) {
  const std::vector<std::function<void()>> list(arms);
  for (size_t k = 0; k < list.size(); ++k) list[(static_cast<size_t>(i) + k) % list.size()]();
}

// --- the transfer alone (no dialog), for telling the two apart

// On a thread of its own, as the dialog runs it.
double TransferAlone(Sink& sink, const std::string& path, size_t size, bool* success) {
  sink.reset();
  const double t0 = NowMs();
  bool ok = false;
  std::thread([&] { ok = torva::tools::DownloadFile(path, PortType.load(), [](uint64_t) {}); }).join();
  *success = ok && sink.waitFor(size);
  return NowMs() - t0;
}

// --- the dialog's path

// CPU the dialog's thread used from the click to the result, per run.
std::vector<double> gDialogThreadCpuMs;
double ThreadCpuMs() { return plainfloor::CpuMs(CLOCK_THREAD_CPUTIME_ID); }

// Clicks DownLoad and runs the event loop (waiting, not spinning) until the
// dialog has shown its result and the sink has every byte.
double ThroughDialog(Sink& sink, const std::string& path, size_t size, bool* success) {
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
  // The transfer has ended for the user when the dialog turns to its result
  // (the bar jumps to its end before the box): the time is taken then.
  double ended = 0;
  QObject::connect(bar, &QProgressBar::valueChanged, &loop, [&] {
    if (!dialog.transferring() && ended == 0) ended = NowMs();
    if (!dialog.transferring() && !messages.messages().empty()) loop.quit();
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
  guard.start(120000);
  const double cpu0 = ThreadCpuMs();
  const double t0 = NowMs();
  dialog.DownLoadButtonClick();
  if (dialog.transferring()) loop.exec();
  gDialogThreadCpuMs.push_back(ThreadCpuMs() - cpu0);
  const bool all = sink.waitFor(size);
  const double ms = std::max(ended, sink.reachedAt(size)) - t0;
  *success = all && !messages.messages().empty() &&
             messages.messages().back().text.startsWith("Download Success!");
  return ms;
}


void Report(const char* link, size_t size, const std::vector<double>& dialog, const std::vector<double>& floor,
            const std::vector<double>& alone, bool target, bool allOk) {
  const Stats d = Of(dialog), f = Of(floor), t = Of(alone);
  const double mb = static_cast<double>(size) / 1e6;
  const double ratio = d.median > 0 ? f.median / d.median : 0;
  std::printf("%-10s %3zu MiB: dialog median %8.1f ms (%6.1f MB/s) min %8.1f ms | floor median %8.1f ms "
              "(%6.1f MB/s) min %8.1f ms | dialog at %5.1f %% of the floor%s%s\n",
              link, size / kMiB, d.median, mb / (d.median / 1000), d.min, f.median, mb / (f.median / 1000), f.min,
              ratio * 100, target ? (ratio >= 0.95 && allOk ? " [target >= 95 %: met]" : " [target >= 95 %: MISSED]")
                                  : " [no target]",
              allOk ? "" : " (SOME RUN LOST BYTES OR FAILED)");
  std::printf("%-10s %3zu MiB: the dialog's own thread used median %.2f ms CPU from the click to the result\n", link,
              size / kMiB, Of(gDialogThreadCpuMs).median);
  gDialogThreadCpuMs.clear();
  if (!alone.empty())
    std::printf("%-10s %3zu MiB: the transfer alone on a thread, without the dialog: median %8.1f ms, min %8.1f ms (%5.1f %% of "
                "the floor)\n",
                link, size / kMiB, t.median, t.min, t.median > 0 ? f.median / t.median * 100 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 7;
  std::vector<size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(static_cast<size_t>(std::max(1, std::atoi(argv[i]))) * kMiB);
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

  std::printf("download through the dialog against plain 1024-byte writes to the same plain sink; %d runs each, "
              "taken in turn; printer delays scaled to 0 (Ethernet length/6 ms a write, USB device 1000 ms at the "
              "end), nothing scaled in the floor\n",
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

    // TCP.
    {
      PortType = PortNet;
      PNET.IPAddress = "127.0.0.1";
      PNET.TestPrinterName = false;
      PNET.connecttime = 3;
      PNET.writetime = 5;
      PNET.readtime = 5;
      std::vector<double> dialog, floor, alone;
      bool ok = OpenNetPort();
      for (int i = 0; i < runs && ok; ++i) {
        bool success = false, transferred = false;
        double f = -1;
        InTurn(i, {[&] { dialog.push_back(ThroughDialog(sink, path, size, &success)); },
                   [&] { floor.push_back(f = OnAThread([&] { return TcpFloor(sink, tcpPort, data); })); },
                   [&] { alone.push_back(TransferAlone(sink, path, size, &transferred)); }});
        ok = success && transferred && f > 0;
      }
      CloseNetPort();
      Report("tcp", size, dialog, floor, alone, true, ok);
      allMet = allMet && ok && Of(floor).median / Of(dialog).median >= 0.95;
    }
    // USB device.
    {
      PortType = PortUSB;
      USBParameter.X = 0;
      std::vector<double> dialog, floor, alone;
      bool ok = true;
      for (int i = 0; i < runs && ok; ++i) {
        bool success = false, transferred = false;
        double f = -1;
        InTurn(i, {[&] {
                     dialog.push_back(ThroughDialog(sink, path, size, &success));
                     torva::link::CloseEveryOpenPort();
                   },
                   [&] { floor.push_back(f = OnAThread([&] { return UsbFloor(sink, usbPath, data); })); },
                   [&] {
                     alone.push_back(TransferAlone(sink, path, size, &transferred));
                     torva::link::CloseEveryOpenPort();
                   }});
        ok = success && transferred && f > 0;
      }
      Report("usb device", size, dialog, floor, alone, true, ok);
      allMet = allMet && ok && Of(floor).median / Of(dialog).median >= 0.95;
    }
    // Serial, informational: a pseudo-terminal whose other end a plain
    // thread reads; CTS through the seam.
    if (size <= kMiB) {
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
        std::vector<double> dialog, floor;
        bool ok = true;
        for (int i = 0; i < runs && ok; ++i) {
          bool success = false;
          dialog.push_back(ThroughDialog(sink, path, size, &success));
          torva::link::CloseEveryOpenPort();
          sink.reset();
          const int fd = open(pty.name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
          const double t0 = NowMs();
          bool written = fd >= 0;
          for (size_t k = 0; k < data.size() && written; k += kBlock)
            written = plainfloor::WriteAll(fd, data.data() + k, std::min(kBlock, data.size() - k));
          const bool all = written && sink.waitFor(data.size());
          floor.push_back(NowMs() - t0);
          if (fd >= 0) close(fd);
          ok = success && all;
        }
        Report("serial", size, dialog, floor, {}, false, ok);
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
