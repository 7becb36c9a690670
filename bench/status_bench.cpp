// The generic status dialog polling the simulated printer on a
// pseudo-terminal (every 300 ms), while the printer's paper-end condition
// flips every 700-1100 ms, beside an independent floor taken in the same run:
// a plain thread that polls a plain responder on a pseudo-terminal of its own
// at the same interval (write 1D 61 FF, read the 4-byte record), the
// responder's record flipped on the same schedule, and the reply after the
// same pause as the simulator's (its reply delay, 3 ms). Dialog and floor
// are taken in turn, at least five runs each:
//   1. the process CPU time used per second of polling (simulator, or the
//      plain responder, and the user interface included), median and minimum
//      of the runs;
//   2. the delay from each flip to the changed indicator in the dialog, or to
//      the floor's poller holding the changed record, median and worst of
//      every change of the runs. Target: 350 ms at worst (the dialog).
// Pauses scaled: none.
//
//   status_bench [seconds per run, default 6] [runs, default 5]
//   status_bench --screenshot FILE English|Chinese   the dialog with a paper-end error
// Build in Release for meaningful figures.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <mutex>
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

#include "PlainFloor.h"
#include "PollingRun.h"

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

constexpr int kIntervalMs = 300;

// The printer's paper-end condition, flipped at random moments (700-1100 ms
// apart, the same moments for the same seed) by a thread of its own for one
// run; set() puts the new condition in the printer.
class Flipper {
 public:
  Flipper(unsigned seed, std::function<void(bool paperEnd)> set) : set_(std::move(set)) {
    moments_.start(seed, 700, 1100, [this] {
      paperEnd_ = !paperEnd_;
      set_(paperEnd_);
    });
  }
  void stop() { moments_.stop(); }
  // Milliseconds since the last flip.
  double sinceFlip() {
    return moments_.locked([this] { return moments_.sinceChangeMs(); });
  }

 private:
  std::function<void(bool)> set_;
  bool paperEnd_ = false;
  pollingrun::RandomMoments moments_;  // last: its thread ends before the rest goes
};

struct RunFigures {
  double cpuMsPerSecond = -1;
  std::vector<double> delays;
};

// One run of the dialog: Start, the first record shown, `seconds` of
// polling while the printer flips, Stop.
RunFigures DialogRun(QApplication& app, THardwareStatusForm& dialog, torva::sim::SimPrinter& printer, int seconds,
                     unsigned seed, std::map<std::string, std::pair<std::string, long>>* threadTicks) {
  RunFigures out;
  printer.setStatusRecord(torva::sim::MakeVdRecord({}));
  torva::status::Glyph shown = torva::status::Glyph::None;
  Flipper* flipper = nullptr;
  QObject context;
  QObject::connect(&dialog, &torva::status::StatusDialog::recordShown, &context, [&] {
    const auto g = dialog.ImageGlyph("PaperendImage");
    if (g == shown) return;
    const bool first = shown == torva::status::Glyph::None;
    shown = g;
    if (!first && flipper) out.delays.push_back(flipper->sinceFlip());
  });
  dialog.StartClick();
  // Let the first record arrive before measuring.
  QElapsedTimer warm;
  warm.start();
  while (shown == torva::status::Glyph::None && warm.elapsed() < 3000) app.processEvents(QEventLoop::AllEvents, 10);
  if (shown == torva::status::Glyph::None) return out;

  Flipper flips(seed, [&](bool paperEnd) { printer.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = paperEnd})); });
  flipper = &flips;
  const auto ticks0 = ThreadTicks();
  out.cpuMsPerSecond = pollingrun::IdleCpuShare(seconds) * 1000.0;
  const auto ticks1 = ThreadTicks();
  flips.stop();
  flipper = nullptr;
  dialog.StopClick();
  QElapsedTimer stopping;
  stopping.start();
  while (dialog.Polling() && stopping.elapsed() < 5000) app.processEvents(QEventLoop::AllEvents, 10);
  app.processEvents();
  threadTicks->clear();
  for (const auto& [tid, t] : ticks1) {
    const long before = ticks0.count(tid) ? ticks0.at(tid).second : 0;
    if (t.second - before > 0) (*threadTicks)[tid] = {t.first, t.second - before};
  }
  return out;
}

// One run of the floor: a plain thread polls a plain responder on a fresh
// pseudo-terminal every 300 ms (write 1D 61 FF, read 4 bytes) while the
// responder's record flips on the dialog's schedule; the main thread's event
// loop idles meanwhile, as it does between two of the dialog's records.
RunFigures FloorRun(int seconds, unsigned seed, int replyDelayMs) {
  RunFigures out;
  plainfloor::PlainPty pty;
  if (!pty.open()) return out;
  std::mutex recordMu;
  plainfloor::Bytes record(4, 0);
  plainfloor::PtyResponder responder(
      pty.master, 3,
      [&] {
        std::lock_guard<std::mutex> lk(recordMu);
        return record;
      },
      replyDelayMs);
  const int fd = plainfloor::OpenRawTerminal(pty.name);
  if (fd < 0) return out;
  Flipper* flipper = nullptr;
  std::mutex pollMu;
  std::condition_variable pollCv;
  bool stop = false, first = false, failed = false;
  std::vector<double> delays;
  std::thread poller([&] {
    const uint8_t command[3] = {0x1D, 0x61, 0xFF};
    uint8_t last[4] = {}, now[4];
    bool have = false;
    std::unique_lock<std::mutex> lk(pollMu);
    while (!stop) {
      lk.unlock();
      const bool ok = write(fd, command, 3) == 3 && plainfloor::ReadExact(fd, now, 4, 3000);
      lk.lock();
      if (!ok) {
        failed = true;
        break;
      }
      if (have && std::memcmp(last, now, 4) != 0 && flipper) delays.push_back(flipper->sinceFlip());
      std::memcpy(last, now, 4);
      have = first = true;
      pollCv.notify_all();
      pollCv.wait_for(lk, std::chrono::milliseconds(kIntervalMs), [&] { return stop; });
    }
    pollCv.notify_all();
  });
  {
    std::unique_lock<std::mutex> lk(pollMu);
    pollCv.wait_for(lk, std::chrono::seconds(3), [&] { return first || failed; });
  }
  if (first && !failed) {
    Flipper flips(seed, [&](bool paperEnd) {
      std::lock_guard<std::mutex> lk(recordMu);
      record[0] = paperEnd ? 0x04 : 0x00;  // bit 2 of the first byte: paper end
    });
    {
      std::lock_guard<std::mutex> lk(pollMu);
      flipper = &flips;
    }
    out.cpuMsPerSecond = pollingrun::IdleCpuShare(seconds) * 1000.0;
    std::lock_guard<std::mutex> lk(pollMu);
    flipper = nullptr;
    stop = true;
  }
  {
    std::lock_guard<std::mutex> lk(pollMu);
    stop = true;
  }
  pollCv.notify_all();
  poller.join();
  close(fd);
  if (!failed) out.delays = delays;
  return out;
}
}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const bool screenshot = argc > 3 && std::string(argv[1]) == "--screenshot";
  const int seconds = (!screenshot && argc > 1) ? std::max(1, atoi(argv[1])) : 6;
  const int runs = (!screenshot && argc > 2) ? std::max(5, atoi(argv[2])) : 5;

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

  std::vector<double> dialogCpu, floorCpu, dialogDelays, floorDelays;
  std::map<std::string, std::pair<std::string, long>> lastTicks;
  bool allRan = true;
  for (int i = 0; i < runs; ++i) {
    const unsigned seed = 12345u + static_cast<unsigned>(i);
    const RunFigures d = DialogRun(app, dialog, printer, seconds, seed, &lastTicks);
    const RunFigures f = FloorRun(seconds, seed, printer.replyDelayMs());
    allRan = allRan && d.cpuMsPerSecond >= 0 && f.cpuMsPerSecond >= 0;
    if (d.cpuMsPerSecond >= 0) dialogCpu.push_back(d.cpuMsPerSecond);
    if (f.cpuMsPerSecond >= 0) floorCpu.push_back(f.cpuMsPerSecond);
    dialogDelays.insert(dialogDelays.end(), d.delays.begin(), d.delays.end());
    floorDelays.insert(floorDelays.end(), f.delays.begin(), f.delays.end());
  }
  dialog.ExitClick();

  const plainfloor::Stats dc = plainfloor::Of(dialogCpu), fc = plainfloor::Of(floorCpu);
  const plainfloor::Stats dd = plainfloor::Of(dialogDelays), fd = plainfloor::Of(floorDelays);
  std::printf("status_bench: %d runs of %d s of polling every %d ms over a pseudo-terminal, the dialog and the floor "
              "(a plain thread polling a plain responder, reply after %d ms as the simulator's) taken in turn\n",
              runs, seconds, kIntervalMs, printer.replyDelayMs());
  std::printf("  CPU time per second of polling: dialog median %.2f ms (%.3f%% of one core), min %.2f ms; simulator "
              "and user interface included\n",
              dc.median, dc.median / 10.0, dc.min);
  std::printf("                                  floor  median %.2f ms (%.3f%% of one core), min %.2f ms; plain "
              "responder and the idle event loop included\n",
              fc.median, fc.median / 10.0, fc.min);
  std::printf("  status change to dialog: %zu changes, median %.1f ms, worst %.1f ms (target: 350 ms)\n", dd.count,
              dd.median, dd.worst);
  std::printf("  status change to floor:  %zu changes, median %.1f ms, worst %.1f ms\n", fd.count, fd.median,
              fd.worst);
  const long hz = sysconf(_SC_CLK_TCK);
  std::printf("  threads of the last dialog run:%s\n", lastTicks.empty() ? " none used a whole clock tick" : "");
  for (const auto& [tid, t] : lastTicks)
    std::printf("    thread %s (%s): %.1f ms\n", tid.c_str(), t.first.c_str(), t.second * 1000.0 / hz);
  std::printf("  failure messages: %zu%s\n", messages.messages().size() + static_cast<size_t>(plain.texts.size()),
              allRan ? "" : " (SOME RUN DID NOT START)");
  QDir(dir).removeRecursively();
  return (allRan && dd.count > 0 && dd.worst <= 350.0) ? 0 : 2;
}
