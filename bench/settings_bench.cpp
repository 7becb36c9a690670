// Wall and CPU time of a whole VD-K9034 Get and Save in the editor dialog,
// over a pseudo-terminal to the simulated printer, beside an independent
// floor in the same run: a plain program's 27 read-setting exchanges
// (write 1B 6A a, read the 2-byte reply) on the same pseudo-terminal, opened
// and closed as the Get opens and closes it. The printer runs as
// torva-printer-sim in a process of its own, so the CPU time counted is the
// console's alone: the dialog's thread and the thread the exchange runs on.
// Pauses scaled: the console's printer delays (the pause after a save) to 0,
// and the simulator's reply delay (3 ms a reply by default) to 0, in both
// the Get and the floor. Figures are the median, minimum and worst of the
// rounds (at least five).
// Target: a Get under 500 ms wall and 50 ms CPU.
//
//   settings_bench [rounds]     (default 10)
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/Descriptors.h"
#include "link/PortState.h"
#include "settings/K9034EepromSet.h"

#include "PlainFloor.h"

namespace {

// The whole process's CPU time in ms (the dialog's thread and the exchange's).
double CpuMs() { return plainfloor::RusageCpuSeconds() * 1000.0; }
using plainfloor::NowMs;

struct Figures {
  std::vector<double> wall, cpu;
};

double Median(const std::vector<double>& v) { return plainfloor::Of(v).median; }

void Print(const char* what, const Figures& f) {
  const plainfloor::Stats w = plainfloor::Of(f.wall), c = plainfloor::Of(f.cpu);
  std::printf("%-5s wall median %7.1f ms  min %7.1f ms  worst %7.1f ms   CPU median %6.1f ms  min %6.1f ms  worst "
              "%6.1f ms\n",
              what, w.median, w.min, w.worst, c.median, c.min, c.worst);
}

// The floor: `exchanges` plain read-setting exchanges on the terminal at
// `path`, opened raw and closed again; false when a reply is missing.
bool PlainExchanges(const std::string& path, int exchanges) {
  const int fd = plainfloor::OpenRawTerminal(path);
  if (fd < 0) return false;
  bool ok = true;
  for (int i = 0; i < exchanges && ok; ++i) {
    const uint8_t cmd[3] = {0x1B, 0x6A, 0x06};
    uint8_t reply[2];
    ok = write(fd, cmd, 3) == 3 && plainfloor::ReadExact(fd, reply, 2, 1000);
  }
  close(fd);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(5, std::atoi(argv[1])) : 10;

  QTemporaryDir dir;
  if (!dir.isValid()) return 1;
  const QString link = dir.filePath("com1");
  QProcess sim;
  sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  sim.start(QCoreApplication::applicationDirPath() + "/torva-printer-sim",
            {"--serial-link", link, "--model", QString::number(ModelVDK9034), "--reply-delay", "0"});
  if (!sim.waitForStarted(5000)) {
    std::fprintf(stderr, "settings_bench: torva-printer-sim does not start (build it beside this program)\n");
    return 1;
  }
  QElapsedTimer started;
  started.start();
  while (!QFileInfo::exists(link) && started.elapsed() < 5000) QThread::msleep(10);
  if (!QFileInfo::exists(link)) {
    std::fprintf(stderr, "settings_bench: the simulator made no serial link\n");
    return 1;
  }

  ResetPortState();
  PortType = PortCOM;
  PrinterName = ModelVDK9034;
  ComParameter.Name = link.toStdString();
  Language = "English";
  torva::SetPrinterDelayScale(0);
  MessageRecorder messages;

  TK9034EepromSetForm form;
  form.show();
  app.processEvents();
  form.btnGetSettingsFromPrinterClick();  // the first open of the port is not counted
  if (!form.saveEnabled()) {
    std::fprintf(stderr, "settings_bench: the first Get failed: %s\n",
                 form.resultText().toStdString().c_str());
    return 1;
  }

  Figures get, save, floor;
  bool ok = true;
  for (int i = 0; i < rounds; ++i) {
    {
      const double w = NowMs(), c = CpuMs();
      ok = ok && PlainExchanges(link.toStdString(), 27);
      floor.wall.push_back(NowMs() - w);
      floor.cpu.push_back(CpuMs() - c);
    }
    double w = NowMs(), c = CpuMs();
    form.btnGetSettingsFromPrinterClick();
    get.wall.push_back(NowMs() - w);
    get.cpu.push_back(CpuMs() - c);
    ok = ok && form.resultText() == "Get settings from printer successfully.";
    w = NowMs();
    c = CpuMs();
    form.btnSaveSettingsToPrinterClick();
    save.wall.push_back(NowMs() - w);
    save.cpu.push_back(CpuMs() - c);
    ok = ok && form.resultText() == "Save settings to printer successfully.";
    app.processEvents();
  }
  sim.terminate();
  sim.waitForFinished(3000);

  std::printf(
      "VD-K9034 editor, %d rounds over a pseudo-terminal (27 reads a Get; 13 writes and 2 flushes a Save); console "
      "printer delays and the simulator's reply delay at 0\n",
      rounds);
  Print("Get", get);
  Print("Save", save);
  Print("floor", floor);
  std::printf("floor: 27 plain exchanges (write 1B 6A 06, read 2 bytes) on the same pseudo-terminal; the Get takes "
              "%.1f times the floor's wall time\n",
              Median(floor.wall) > 0 ? Median(get.wall) / Median(floor.wall) : 0);
  if (!ok) {
    std::printf("some Get or Save failed: %s\n", form.resultText().toStdString().c_str());
    return 1;
  }
  const bool met = Median(get.wall) < 500 && Median(get.cpu) < 50;
  std::printf("target (Get under 500 ms wall, 50 ms CPU): %s\n", met ? "met" : "missed");
  return 0;
}
