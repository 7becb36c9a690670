// The VD-K773 editor's Get (33 read round trips) against the simulated
// printer, through the dialog as a user runs it, each figure beside an
// independent floor taken in the same run, Get and floor in turn:
//   1. on the pseudo-terminal: per-read time of each Get, median and minimum
//      over the Gets; target: under the simulator's reply delay + 0.5 ms per
//      read, plus the 1.5 characters of quiet after which a serial reply is
//      judged (130 us at the bench's 115200 baud). Floor: a plain program's 33 exchanges (write 1B 6A 06, read the
//      2-byte reply) on a pseudo-terminal opened and closed as the Get opens
//      and closes its port, against a plain responder thread on the other end
//      that answers after the simulator's reply delay;
//   2. the same over the simulator's USB socket: USB device, plain USB
//      printer and the custom mode (class mode 1, 4 status bytes), beside it;
//      floor: a plain client of the USB socket's framing (open, then write
//      1B 6A 06 and read the 2 bytes, 33 times) against a plain responder of
//      the framing that answers after the same reply delay;
//   3. CPU time of a Get whose printer stays silent for the whole 5000 ms
//      read time-out, the whole process's, median and minimum of the runs;
//      target: under 20 ms. Floor: a plain client that writes 1B 6A 06 to a
//      silent pseudo-terminal and waits 5000 ms in poll() for the reply, on a
//      thread of its own while the event loop idles.
// Pauses scaled: none (the printer's reply delay is the simulator's, 3 ms by
// default, and the floor's responders pause as long).
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Build in Release for meaningful figures: k773_bench [gets per port] [silent runs, default 5]
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "gui/Messages.h"
#include "link/Descriptors.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "link/SerialIo.h"
#include "settings/K773EepromSet.h"
#include "sim/SimPrinter.h"

#include "PlainFloor.h"

namespace {

using plainfloor::CpuMs;
using plainfloor::NowMs;

constexpr int kReads = 33;
const QString kSuccess = "Get settings from printer successfully.";

struct Figures {
  std::vector<double> perRead;  // the Gets'
  std::vector<double> floorPerRead;
  int failed = 0;
  int floorFailed = 0;
};

// Runs `gets` complete Gets in one dialog, each followed by a run of the
// floor (33 plain exchanges; false when one fails); per-read times of each.
Figures TimeGets(int gets, const std::function<bool()>& floor) {
  TK773Eeport form;
  Figures f;
  for (int i = 0; i < gets; ++i) {
    const double t0 = NowMs();
    form.btnGetSettingsFromPrinterClick();
    const double t = NowMs() - t0;
    if (form.resultText() != kSuccess)
      ++f.failed;
    else
      f.perRead.push_back(t / kReads);
    const double f0 = NowMs();
    const bool ok = floor();
    const double ft = NowMs() - f0;
    if (ok)
      f.floorPerRead.push_back(ft / kReads);
    else
      ++f.floorFailed;
  }
  return f;
}

void Report(const char* port, const Figures& f, int gets, int replyDelayMs, bool target, double judgedAfterMs = 0) {
  const plainfloor::Stats g = plainfloor::Of(f.perRead), fl = plainfloor::Of(f.floorPerRead);
  std::printf("   %-32s %d Gets, %d failed: median %.3f ms per read, min %.3f ms, worst Get %.3f ms per read", port,
              gets, f.failed, g.median, g.min, g.worst);
  if (target) {
    const double limit = replyDelayMs + judgedAfterMs + 0.5;
    std::printf(" [target < %.1f ms: %s]", limit, f.failed == 0 && g.median < limit ? "met" : "MISSED");
  }
  std::printf("\n   %-32s floor taken in turn, %zu runs%s: median %.3f ms per read, min %.3f ms; the Get at %.2f "
              "times the floor\n",
              "", fl.count, f.floorFailed ? " (SOME FLOOR RUN FAILED)" : "", fl.median, fl.min,
              fl.median > 0 ? g.median / fl.median : 0);
}

const plainfloor::Bytes kReadCommand = {0x1B, 0x6A, 0x06};

// The floor on a pseudo-terminal: the terminal opened raw, 33 exchanges,
// closed again.
bool PlainPtyGet(const std::string& path) {
  const int fd = plainfloor::OpenRawTerminal(path);
  if (fd < 0) return false;
  bool ok = true;
  for (int i = 0; i < kReads && ok; ++i) {
    uint8_t reply[2];
    ok = write(fd, kReadCommand.data(), kReadCommand.size()) == 3 && plainfloor::ReadExact(fd, reply, 2, 1000);
  }
  close(fd);
  return ok;
}

// The floor on the USB socket: a connection, the device opened, 33
// exchanges, closed.
bool PlainUsbGet(const std::string& path) {
  plainfloor::UsbClient client;
  if (!client.connect(path) || !client.open()) return false;
  plainfloor::Bytes answer;
  for (int i = 0; i < kReads; ++i)
    if (!client.exchange(kReadCommand, 2, 1000, &answer)) return false;
  return true;
}

// The floor of a silent printer: 1B 6A 06 written to a terminal nobody
// answers, then 5000 ms in poll() for the reply, on a thread of its own while
// the event loop idles; the process's CPU time meanwhile.
double PlainSilentReadCpuMs() {
  plainfloor::PlainPty pty;
  if (!pty.open()) return -1;
  QEventLoop loop;
  const double cpu0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
  bool silent = false;
  std::thread reader([&] {
    const int fd = plainfloor::OpenRawTerminal(pty.name);
    if (fd >= 0) {
      uint8_t reply[2];
      silent = write(fd, kReadCommand.data(), kReadCommand.size()) == 3 && !plainfloor::ReadExact(fd, reply, 2, 5000);
      close(fd);
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  reader.join();
  const double cpu = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  return silent ? cpu : -1;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int gets = 30;
  if (argc > 1) gets = std::max(5, std::atoi(argv[1]));
  const int silentRuns = argc > 2 ? std::max(5, std::atoi(argv[2])) : 5;
  MessageRecorder messages;  // no box ever waits for a click

  torva::sim::SimPrinter printer(ModelVDK773);
  const int replyDelay = printer.replyDelayMs();
  ResetPortState();
  Language = "English";
  PrinterName = ModelVDK773;

  // 1. Pseudo-terminal.
  PortType = PortCOM;
  ComParameter.Name = printer.startSerial();
  ComParameter.Baudrate = 115200;
  std::printf("VD-K773 Get (%d reads) against the simulated printer, reply delay %d ms\n", kReads, replyDelay);
  std::printf("1. pseudo-terminal %s\n", ComParameter.Name.c_str());
  {
    plainfloor::PlainPty pty;
    if (!pty.open()) {
      std::fprintf(stderr, "k773_bench: no pseudo-terminal for the floor\n");
      return 1;
    }
    plainfloor::PtyResponder responder(pty.master, 3, [] { return plainfloor::Bytes{0x32, 0x00}; }, replyDelay);
    // A serial reply is judged after 1.5 characters of quiet at the port's speed.
    const double quietMs = serialio::CharacterMicros(ComParameter.Baudrate, 8, "None", 1) * 1.5 / 1000;
    Report("serial", TimeGets(gets, [&] { return PlainPtyGet(pty.name); }), gets, replyDelay, true, quietMs);
  }

  // 2. The USB socket.
  char dir[] = "/tmp/k773benchXXXXXX";
  if (!mkdtemp(dir)) {
    std::fprintf(stderr, "k773_bench: no temporary folder\n");
    return 1;
  }
  const std::string socket = std::string(dir) + "/usb.sock";
  printer.startUsbSocket(socket);
  setenv("TORVA_USB_SIM", socket.c_str(), 1);
  USBParameter.X = 0;
  USBPrinterParameter.Name = printer.printerName();
  const std::string floorSocket = std::string(dir) + "/floor.sock";
  plainfloor::UsbResponder usbFloor(
      floorSocket, [](const plainfloor::Bytes&) { return plainfloor::Bytes{0x32, 0x00}; }, replyDelay);
  if (!usbFloor.start()) {
    std::fprintf(stderr, "k773_bench: the floor's USB socket does not start\n");
    return 1;
  }
  const auto usbFloorGet = [&] { return PlainUsbGet(floorSocket); };
  std::printf("2. simulator USB socket\n");
  PortType = PortUSB;
  Report("USB device", TimeGets(gets, usbFloorGet), gets, replyDelay, false);
  PortType = PortUSBPrinter;
  Report("USB printer", TimeGets(gets, usbFloorGet), gets, replyDelay, false);
  printer.setK773Custom(true, 1, 4);
  is773Costom = 1;
  iUSBClassMode = 1;
  iStatusBytes = 4;
  iPrinterID = 1;
  Report("USB printer, custom mode", TimeGets(gets, usbFloorGet), gets, replyDelay, false);
  is773Costom = 0;

  // 3. A printer that never answers: the first read waits its 5000 ms.
  PortType = PortCOM;
  printer.setFault(torva::sim::FaultSpec{torva::sim::Fault::NoReply, -1, 0});
  std::vector<double> threadCpu, processCpu, floorCpu, walls;
  std::string result;
  for (int i = 0; i < silentRuns; ++i) {
    TK773Eeport form;
    const double thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double wall0 = NowMs();
    form.btnGetSettingsFromPrinterClick();
    walls.push_back(NowMs() - wall0);
    threadCpu.push_back(CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0);
    processCpu.push_back(CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0);
    result = form.resultText().toStdString();
    const double f = PlainSilentReadCpuMs();
    if (f >= 0) floorCpu.push_back(f);
  }
  {
    // The reads run on a worker thread while the dialog's thread keeps
    // painting: the whole process (simulator included) is what counts.
    const plainfloor::Stats w = plainfloor::Of(walls), t = plainfloor::Of(threadCpu), p = plainfloor::Of(processCpu),
                            f = plainfloor::Of(floorCpu);
    std::printf("3. silent printer, %d runs: \"%s\" after median %.1f ms wall, CPU median %.3f ms (dialog thread), "
                "%.3f ms min %.3f ms (whole process, simulator included) %s\n",
                silentRuns, result.c_str(), w.median, t.median, p.median, p.min,
                p.median < 20.0 ? "[target < 20 ms: met]" : "[target < 20 ms: MISSED]");
    std::printf("   floor (plain write, then 5000 ms in poll() on a silent pseudo-terminal), %zu runs%s: CPU median "
                "%.3f ms, min %.3f ms (whole process)\n",
                f.count, f.count == static_cast<size_t>(silentRuns) ? "" : " (SOME FLOOR RUN GOT A REPLY)", f.median,
                f.min);
  }

  printer.stop();
  usbFloor.stop();
  unsetenv("TORVA_USB_SIM");
  unlink(socket.c_str());
  rmdir(dir);
  return 0;
}
