// Polls the simulated printer on a pseudo-terminal with the generic status
// dialog's thread (every 300 ms) for 10 s, while the printer's paper-end
// condition flips every 700-1100 ms. Prints the process CPU time used per
// second of polling and the delay from each flip in the printer to the
// changed indicator in the dialog (median and worst).
//
//   status_bench [seconds]
//   status_bench --screenshot FILE English|Chinese   the dialog with a paper-end error
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <cstdio>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "link/Descriptors.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "shell/PrinterIni.h"
#include "sim/SimPrinter.h"
#include "sim/StatusLayouts.h"
#include "status/HardwareStatus.h"

namespace {
// CPU ticks of every thread of the process, by thread id.
std::map<std::string, std::pair<std::string, long>> ThreadTicks() {
  std::map<std::string, std::pair<std::string, long>> out;
  QDir tasks("/proc/self/task");
  for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile stat(tasks.filePath(tid) + "/stat");
    QFile comm(tasks.filePath(tid) + "/comm");
    if (!stat.open(QIODevice::ReadOnly) || !comm.open(QIODevice::ReadOnly)) continue;
    const QString line = QString::fromLatin1(stat.readAll());
    const QStringList f = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (f.size() < 13) continue;
    out[tid.toStdString()] = {QString::fromLatin1(comm.readAll()).trimmed().toStdString(), f[11].toLong() + f[12].toLong()};
  }
  return out;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool screenshot = argc > 3 && std::string(argv[1]) == "--screenshot";
  const int seconds = (!screenshot && argc > 1) ? std::max(1, atoi(argv[1])) : 10;

  char tmpl[] = "/tmp/torva-status-bench-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) return 1;
  SetProgramFolderForTests(dir);
  SetPrinterIniConfigFolderForTests(QString(dir) + "/config");
  TMainForm::trayAvailableOverride = false;
  TMainForm main;
  ResetPortState();
  Language = screenshot ? argv[3] : "English";
  MessageRecorder messages;
  torva::status::PlainMessageRecorder plain;

  torva::sim::SimPrinter printer(3);
  printer.startSerial(std::string(dir) + "/com1");
  ComParameter.Name = std::string(dir) + "/com1";
  PortType = PortCOM;
  PrinterName = 3;

  THardwareStatusForm dialog(&main);
  dialog.SetupForModel(3);
  dialog.show();

  if (screenshot) {
    printer.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = true}));
    dialog.StartClick();
    QElapsedTimer t;
    t.start();
    while (dialog.ImageGlyph("PaperendImage") != torva::status::Glyph::Error && t.elapsed() < 3000)
      app.processEvents(QEventLoop::AllEvents, 10);
    const bool ok = dialog.grab().save(argv[2]);
    dialog.StopClick();
    dialog.ExitClick();
    QDir(dir).removeRecursively();
    std::printf("%s %s\n", ok ? "wrote" : "could not write", argv[2]);
    return ok ? 0 : 1;
  }

  using Clock = std::chrono::steady_clock;
  std::mutex mu;
  Clock::time_point flippedAt{};
  bool paperEnd = false;
  std::vector<double> delays;
  torva::status::Glyph shown = torva::status::Glyph::None;
  QObject::connect(&dialog, &torva::status::StatusDialog::recordShown, [&] {
    const auto g = dialog.ImageGlyph("PaperendImage");
    if (g == shown) return;
    const bool first = shown == torva::status::Glyph::None;
    shown = g;
    if (first) return;
    std::lock_guard<std::mutex> lk(mu);
    delays.push_back(std::chrono::duration<double, std::milli>(Clock::now() - flippedAt).count());
  });

  dialog.StartClick();
  // Let the first record arrive before measuring.
  QElapsedTimer warm;
  warm.start();
  while (shown == torva::status::Glyph::None && warm.elapsed() < 3000) app.processEvents(QEventLoop::AllEvents, 10);

  std::atomic<bool> done{false};
  std::thread flipper([&] {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> pause(700, 1100);
    while (!done) {
      std::this_thread::sleep_for(std::chrono::milliseconds(pause(rng)));
      if (done) break;
      {
        std::lock_guard<std::mutex> lk(mu);
        paperEnd = !paperEnd;
        flippedAt = Clock::now();
      }
      printer.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = paperEnd}));
    }
  });

  const auto ticks0 = ThreadTicks();
  const double cpu0 = CpuSeconds();
  QElapsedTimer wall;
  wall.start();
  QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, [&] { app.quit(); });
  app.exec();
  const double elapsed = wall.elapsed() / 1000.0;
  const double cpu = CpuSeconds() - cpu0;
  const auto ticks1 = ThreadTicks();
  done = true;
  flipper.join();
  dialog.StopClick();
  dialog.ExitClick();

  std::vector<double> d;
  {
    std::lock_guard<std::mutex> lk(mu);
    d = delays;
  }
  std::sort(d.begin(), d.end());
  const double median = d.empty() ? 0 : d[d.size() / 2];
  const double worst = d.empty() ? 0 : d.back();
  std::printf("status_bench: %.1f s of polling every 300 ms over a pseudo-terminal\n", elapsed);
  std::printf("  CPU time per second of polling: %.2f ms (%.3f%% of one core; simulator and user interface included)\n",
              cpu / elapsed * 1000.0, cpu / elapsed * 100.0);
  std::printf("  status change to dialog: %zu changes, median %.1f ms, worst %.1f ms (target: 350 ms)\n", d.size(),
              median, worst);
  const long hz = sysconf(_SC_CLK_TCK);
  for (const auto& [tid, t] : ticks1) {
    const long before = ticks0.count(tid) ? ticks0.at(tid).second : 0;
    if (t.second - before > 0)
      std::printf("    thread %s (%s): %.1f ms\n", tid.c_str(), t.first.c_str(), (t.second - before) * 1000.0 / hz);
  }
  std::printf("  failure messages: %zu\n", messages.messages().size() + static_cast<size_t>(plain.texts.size()));
  QDir(dir).removeRecursively();
  return (!d.empty() && worst <= 350.0) ? 0 : 2;
}
