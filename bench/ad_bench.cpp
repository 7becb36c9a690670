// Timing of the A/D converter view against the simulated printer, once on the
// pseudo-terminal (serial) and once on the USB backend (USB device): the view
// polls once a second, as it does for the user, while the printer's first
// sample changes at random moments every 700-1300 ms. Beside it, an
// independent floor taken in the same run, view and floor in turn: a plain
// thread that polls once a second with the same query (write 10 04 30, read
// the 7 sample bytes) a plain responder whose first sample changes on the
// same schedule, answering after the simulator's reply delay; on a
// pseudo-terminal of its own for serial, through the USB socket's framing
// (a plain client and a plain responder) for the USB device.
//   1. delay from a sample change in the printer to the new voltage in the
//      edit (the floor: to the poller holding the new sample), median and
//      worst of every change of the runs, target 1100 ms at worst (one poll
//      interval plus the exchange);
//   2. CPU time of the whole process while polling (view, thread and
//      simulator; the floor: poller, responder and the idle event loop),
//      median and minimum of the runs, target under 1 % of one core.
// Pauses scaled: none.
//
//   ad_bench [seconds per run, default 5] [runs per port kind, default 5]
// Build in Release for meaningful figures.
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
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

#include "PlainFloor.h"
#include "PollingRun.h"

namespace {

constexpr int kPollMs = 1000;  // the view's interval, and the floor's
const plainfloor::Bytes kQuery = {0x10, 0x04, 0x30};

// The samples the printer answers: {first, 80 00 66 B3 19 4C}.
plainfloor::Bytes Samples(uint8_t first) { return {first, 0x80, 0x00, 0x66, 0xB3, 0x19, 0x4C}; }

// The printer's first sample, changed at random moments (700-1300 ms apart,
// the same moments for the same seed) by a thread of its own for one run;
// set() puts the new samples in the printer.
class Changer {
 public:
  Changer(unsigned seed, std::function<void(uint8_t first)> set) : set_(std::move(set)) {
    set_(sample_);
    moments_.start(seed, 700, 1300, [this] {
      sample_ = static_cast<uint8_t>(sample_ + 0x11);
      pending_ = true;
      set_(sample_);
    });
  }
  void stop() { moments_.stop(); }
  // When shows(the current first sample) holds for a change not yet seen:
  // the delay since the change is noted.
  void seen(const std::function<bool(uint8_t)>& shows, std::vector<double>* delays) {
    moments_.locked([&] {
      if (pending_ && shows(sample_)) {
        pending_ = false;
        delays->push_back(moments_.sinceChangeMs());
      }
    });
  }

 private:
  std::function<void(uint8_t)> set_;
  bool pending_ = false;
  uint8_t sample_ = 0x10;
  pollingrun::RandomMoments moments_;  // last: its thread ends before the rest goes
};

struct Result {
  std::vector<double> delays;
  double cpuPercent = -1;
  size_t failures = 0;
};

// One run of the view.
Result Run(QApplication& app, torva::sim::SimPrinter& printer, int seconds, unsigned seed) {
  Result result;
  MessageRecorder messages;
  TADConverterForm view;
  view.show();

  // The changer waits until the first value is shown.
  std::atomic<Changer*> changer{nullptr};
  QObject::connect(&view, &TADConverterForm::valuesShown, [&] {
    Changer* c = changer.load();
    if (!c) return;
    const QString text = view.Edit(0)->text();
    c->seen([&](uint8_t sample) { return text == QString::fromStdString(torva::tools::ADVoltageText(sample, view.ADVote())); },
            &result.delays);
  });
  printer.setADSamples(Samples(0x10));
  view.StartButtonClick();
  QElapsedTimer warm;
  warm.start();
  while (view.Edit(0)->text() == "0" && warm.elapsed() < 3000) app.processEvents(QEventLoop::AllEvents, 10);

  Changer changes(seed, [&](uint8_t first) { printer.setADSamples(Samples(first)); });
  changer = &changes;
  result.cpuPercent = pollingrun::IdleCpuShare(seconds) * 100.0;
  changer = nullptr;
  changes.stop();
  view.StopButtonClick();
  view.ExitButtonClick();
  result.failures = messages.messages().size();
  return result;
}

// One run of the floor: `poll` is one plain query and its reply (the first
// sample, or -1 when it fails), made once a second on a thread of its own
// while a plain responder answers with what `set` gave it last; the main
// thread's event loop idles meanwhile.
Result FloorRun(int seconds, unsigned seed, const std::function<void(uint8_t)>& set,
                const std::function<int()>& poll) {
  Result result;
  std::mutex mu;
  std::condition_variable cv;
  bool stop = false, first = false;
  Changer* changer = nullptr;
  std::thread poller([&] {
    std::unique_lock<std::mutex> lock(mu);
    while (!stop) {
      lock.unlock();
      const int sample = poll();
      lock.lock();
      if (sample < 0) {
        ++result.failures;
        break;
      }
      first = true;
      if (changer) changer->seen([&](uint8_t s) { return s == sample; }, &result.delays);
      cv.notify_all();
      cv.wait_for(lock, std::chrono::milliseconds(kPollMs), [&] { return stop; });
    }
    cv.notify_all();
  });
  {
    Changer changes(seed, set);
    {
      std::unique_lock<std::mutex> lock(mu);
      cv.wait_for(lock, std::chrono::seconds(3), [&] { return first || result.failures > 0; });
      changer = &changes;
    }
    result.cpuPercent = pollingrun::IdleCpuShare(seconds) * 100.0;
    std::lock_guard<std::mutex> lock(mu);
    changer = nullptr;
    stop = true;
  }
  cv.notify_all();
  poller.join();
  return result;
}

struct Figures {
  std::vector<double> delays, cpu;
  size_t failures = 0;
  void add(const Result& r) {
    delays.insert(delays.end(), r.delays.begin(), r.delays.end());
    if (r.cpuPercent >= 0) cpu.push_back(r.cpuPercent);
    failures += r.failures;
  }
};

bool Report(const char* what, const Figures& view, const Figures& floor) {
  const plainfloor::Stats d = plainfloor::Of(view.delays), c = plainfloor::Of(view.cpu);
  const plainfloor::Stats fd = plainfloor::Of(floor.delays), fc = plainfloor::Of(floor.cpu);
  std::printf("%s\n", what);
  std::printf("  sample change to edit: %zu changes, median %.1f ms, worst %.1f ms (target: 1100 ms)\n", d.count,
              d.median, d.worst);
  std::printf("    floor, to the plain poller: %zu changes, median %.1f ms, worst %.1f ms\n", fd.count, fd.median,
              fd.worst);
  std::printf("  CPU while polling: median %.3f%% of one core, min %.3f%% over %zu runs (target: under 1%%; view, "
              "thread and simulator)\n",
              c.median, c.min, c.count);
  std::printf("    floor: median %.3f%%, min %.3f%% over %zu runs (plain poller, plain responder, idle event loop)\n",
              fc.median, fc.min, fc.count);
  std::printf("  failure messages: %zu; floor failures: %zu\n", view.failures, floor.failures);
  return d.count > 0 && d.worst <= 1100.0 && c.median < 1.0 && view.failures == 0;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
  const int runs = argc > 2 ? std::max(5, atoi(argv[2])) : 5;

  char tmpl[] = "/tmp/torva-ad-bench-XXXXXX";
  const char* dir = mkdtemp(tmpl);
  if (!dir) return 1;
  SetProgramFolderForTests(dir);
  ResetPortState();
  Language = "English";
  PrinterName = ModelVDM512II;
  bool ok = true;

  // What the floor's responder answers, set by its changer.
  std::mutex samplesMu;
  plainfloor::Bytes samples = Samples(0x10);
  const auto setFloor = [&](uint8_t first) {
    std::lock_guard<std::mutex> lock(samplesMu);
    samples = Samples(first);
  };
  const auto floorSamples = [&] {
    std::lock_guard<std::mutex> lock(samplesMu);
    return samples;
  };

  {
    torva::sim::SimPrinter printer(2);
    ComParameter.Name = std::string(dir) + "/com1";
    printer.startSerial(ComParameter.Name);
    PortType = PortCOM;
    plainfloor::PlainPty pty;
    if (!pty.open()) return 1;
    plainfloor::PtyResponder responder(pty.master, kQuery.size(), floorSamples, printer.replyDelayMs());
    const int fd = plainfloor::OpenRawTerminal(pty.name);
    if (fd < 0) return 1;
    const auto plainPoll = [&]() -> int {
      tcflush(fd, TCIFLUSH);  // what is still queued is not the answer to this query
      uint8_t reply[7];
      if (write(fd, kQuery.data(), kQuery.size()) != static_cast<ssize_t>(kQuery.size()) ||
          !plainfloor::ReadExact(fd, reply, sizeof reply, 1000))
        return -1;
      return reply[0];
    };
    Figures view, floor;
    for (int i = 0; i < runs; ++i) {
      const unsigned seed = 4321u + static_cast<unsigned>(i);
      view.add(Run(app, printer, seconds, seed));
      floor.add(FloorRun(seconds, seed, setFloor, plainPoll));
    }
    close(fd);
    ok &= Report("ad_bench: serial (pseudo-terminal), polling once a second; floor: a plain poller of a plain "
                 "responder on a pseudo-terminal",
                 view, floor);
  }
  {
    torva::sim::SimPrinter printer(2);
    const std::string socket = std::string(dir) + "/usb.sock";
    torva::sim::StartUsbSocket(printer, socket, {});
    setenv("TORVA_USB_SIM", socket.c_str(), 1);
    USBParameter.X = 0;
    PortType = PortUSB;
    const std::string floorSocket = std::string(dir) + "/floor.sock";
    plainfloor::UsbResponder responder(
        floorSocket, [&](const plainfloor::Bytes& written) { return written == kQuery ? floorSamples() : plainfloor::Bytes{}; },
        printer.replyDelayMs());
    plainfloor::UsbClient client;
    if (!responder.start() || !client.connect(floorSocket) || !client.open()) return 1;
    const auto plainPoll = [&]() -> int {
      plainfloor::Bytes reply;
      return client.exchange(kQuery, 7, 1000, &reply) ? reply[0] : -1;
    };
    Figures view, floor;
    for (int i = 0; i < runs; ++i) {
      const unsigned seed = 4321u + static_cast<unsigned>(i);
      view.add(Run(app, printer, seconds, seed));
      floor.add(FloorRun(seconds, seed, setFloor, plainPoll));
    }
    ok &= Report("ad_bench: USB device (simulator backend), polling once a second; floor: a plain client of the USB "
                 "socket's framing polling a plain responder",
                 view, floor);
  }
  torva::link::CloseEveryOpenPort();
  QDir(dir).removeRecursively();
  return ok ? 0 : 2;
}
