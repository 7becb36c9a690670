// Timing of the A/D converter view against the simulated printer, once on the
// pseudo-terminal (serial) and once on the USB backend (USB device): the view
// polls once a second, as it does for the user, while the printer's first
// sample changes at random moments every 700-1300 ms.
//   1. delay from a sample change in the printer to the new voltage in the
//      edit, median and worst, target 1100 ms at worst (one poll interval
//      plus the exchange);
//   2. CPU time of the whole process while polling (view, thread and
//      simulator), target under 1 % of one core.
//
//   ad_bench [seconds per port kind, default 10]
// Build in Release for meaningful figures.
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "gui/Messages.h"
#include "link/Descriptors.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"
#include "tools/ADConverter.h"
#include "tools/InquireADValueThread.h"

namespace {

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Result {
  std::vector<double> delays;
  double cpuPercent = 0;
  size_t failures = 0;
};

Result Run(QApplication& app, torva::sim::SimPrinter& printer, int seconds) {
  using Clock = std::chrono::steady_clock;
  Result result;
  MessageRecorder messages;
  TADConverterForm view;
  view.show();

  std::mutex mu;
  uint8_t sample = 0x10;
  Clock::time_point changedAt{};
  bool pending = false;
  QObject::connect(&view, &TADConverterForm::valuesShown, [&] {
    std::lock_guard<std::mutex> lock(mu);
    const QString want = QString::fromStdString(torva::tools::ADVoltageText(sample, view.ADVote()));
    if (pending && view.Edit(0)->text() == want) {
      pending = false;
      result.delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - changedAt).count());
    }
  });
  printer.setADSamples({sample, 0x80, 0x00, 0x66, 0xB3, 0x19, 0x4C});
  view.StartButtonClick();
  QElapsedTimer warm;
  warm.start();
  while (view.Edit(0)->text() == "0" && warm.elapsed() < 3000) app.processEvents(QEventLoop::AllEvents, 10);

  std::atomic<bool> done{false};
  std::thread changer([&] {
    std::mt19937 rng(4321);
    std::uniform_int_distribution<int> pause(700, 1300);
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
      if (done) break;
      {
        std::lock_guard<std::mutex> lock(mu);
        sample = static_cast<uint8_t>(sample + 0x11);
        changedAt = Clock::now();
        pending = true;
        printer.setADSamples({sample, 0x80, 0x00, 0x66, 0xB3, 0x19, 0x4C});
      }
    }
  });

  const double cpu0 = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] { app.quit(); });
  app.exec();
  const double elapsed = wall.elapsed() / 1000.0;
  result.cpuPercent = (CpuSeconds() - cpu0) / elapsed * 100.0;
  done = true;
  changer.join();
  view.StopButtonClick();
  view.ExitButtonClick();
  result.failures = messages.messages().size();
  std::sort(result.delays.begin(), result.delays.end());
  return result;
}

bool Report(const char* what, const Result& r) {
  const double median = r.delays.empty() ? 0 : r.delays[r.delays.size() / 2];
  const double worst = r.delays.empty() ? 0 : r.delays.back();
  std::printf("%s\n", what);
  std::printf("  sample change to edit: %zu changes, median %.1f ms, worst %.1f ms (target: 1100 ms)\n",
              r.delays.size(), median, worst);
  std::printf("  CPU while polling: %.3f%% of one core (target: under 1%%; view, thread and simulator)\n",
              r.cpuPercent);
  std::printf("  failure messages: %zu\n", r.failures);
  return !r.delays.empty() && worst <= 1100.0 && r.cpuPercent < 1.0 && r.failures == 0;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

  char tmpl[] = "/tmp/torva-ad-bench-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) return 1;
  SetProgramFolderForTests(dir);
  ResetPortState();
  Language = "English";
  PrinterName = ModelVDM512II;
  bool ok = true;

  {
    torva::sim::SimPrinter printer(2);
    ComParameter.Name = std::string(dir) + "/com1";
    printer.startSerial(ComParameter.Name);
    PortType = PortCOM;
    ok &= Report("ad_bench: serial (pseudo-terminal), polling once a second", Run(app, printer, seconds));
  }
  {
    torva::sim::SimPrinter printer(2);
    const std::string socket = std::string(dir) + "/usb.sock";
    torva::sim::StartUsbSocket(printer, socket, {});
    setenv("TORVA_USB_SIM", socket.c_str(), 1);
    USBParameter.X = 0;
    PortType = PortUSB;
    ok &= Report("ad_bench: USB device (simulator backend), polling once a second", Run(app, printer, seconds));
  }
  torva::link::CloseEveryOpenPort();
  QDir(dir).removeRecursively();
  return ok ? 0 : 2;
}
