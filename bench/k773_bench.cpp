// The VD-K773 editor's Get (33 read round trips) against the simulated
// printer, through the dialog as a user runs it:
//   1. on the pseudo-terminal: per-read time of each Get, median over the
//      runs; target: under the simulator's reply delay + 0.5 ms per read;
//   2. the same over the simulator's USB socket: USB device, plain USB
//      printer and the custom mode (class mode 1, 4 status bytes), beside it;
//   3. CPU time of a Get whose printer stays silent for the whole 5000 ms
//      read time-out, the whole process's; target: under 20 ms.
// Runs on the offscreen platform unless QT_QPA_PLATFORM says otherwise.
// Build in Release for meaningful figures: k773_bench [gets per port]
#include <time.h>
#include <unistd.h>

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gui/Messages.h"
#include "link/Descriptors.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "settings/K773EepromSet.h"
#include "sim/SimPrinter.h"

namespace {

double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

constexpr int kReads = 33;
const QString kSuccess = "Get settings from printer successfully.";

struct Figures {
  double medianPerRead = 0;
  double worstPerRead = 0;
  int failed = 0;
};

// Runs `gets` complete Gets in one dialog; per-read times of each.
Figures TimeGets(int gets) {
  TK773Eeport form;
  std::vector<double> perRead;
  Figures f;
  for (int i = 0; i < gets; ++i) {
    const double t0 = NowMs();
    form.btnGetSettingsFromPrinterClick();
    const double t = NowMs() - t0;
    if (form.resultText() != kSuccess) {
      ++f.failed;
      continue;
    }
    perRead.push_back(t / kReads);
  }
  if (perRead.empty()) return f;
  std::sort(perRead.begin(), perRead.end());
  f.medianPerRead = perRead[perRead.size() / 2];
  f.worstPerRead = perRead.back();
  return f;
}

void Report(const char* port, const Figures& f, int gets, int replyDelayMs, bool target) {
  std::printf("   %-32s %d Gets, %d failed: median %.3f ms per read, worst Get %.3f ms per read", port, gets, f.failed,
              f.medianPerRead, f.worstPerRead);
  if (target) {
    const double limit = replyDelayMs + 0.5;
    std::printf(" [target < %.1f ms: %s]", limit, f.failed == 0 && f.medianPerRead < limit ? "met" : "MISSED");
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  int gets = 30;
  if (argc > 1) gets = std::max(1, std::atoi(argv[1]));
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
  Report("serial", TimeGets(gets), gets, replyDelay, true);

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
  std::printf("2. simulator USB socket\n");
  PortType = PortUSB;
  Report("USB device", TimeGets(gets), gets, replyDelay, false);
  PortType = PortUSBPrinter;
  Report("USB printer", TimeGets(gets), gets, replyDelay, false);
  printer.setK773Custom(true, 1, 4);
  is773Costom = 1;
  iUSBClassMode = 1;
  iStatusBytes = 4;
  iPrinterID = 1;
  Report("USB printer, custom mode", TimeGets(gets), gets, replyDelay, false);
  is773Costom = 0;

  // 3. A printer that never answers: the first read waits its 5000 ms.
  PortType = PortCOM;
  printer.setFault(torva::sim::FaultSpec{torva::sim::Fault::NoReply, -1, 0});
  {
    TK773Eeport form;
    const double thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double wall0 = NowMs();
    form.btnGetSettingsFromPrinterClick();
    const double wall = NowMs() - wall0;
    const double thread = CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0;
    const double process = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0;
    // The reads run on a worker thread while the dialog's thread keeps
    // painting: the whole process (simulator included) is what counts.
    std::printf("3. silent printer: \"%s\" after %.1f ms wall, CPU %.3f ms (dialog thread), %.3f ms (whole process, "
                "simulator included) %s\n",
                form.resultText().toStdString().c_str(), wall, thread, process,
                process < 20.0 ? "[target < 20 ms: met]" : "[target < 20 ms: MISSED]");
  }

  printer.stop();
  unsetenv("TORVA_USB_SIM");
  unlink(socket.c_str());
  rmdir(dir);
  return 0;
}
