// The pause a status dialog makes when it closes, after asking its polling
// thread to stop and before it closes the port: 300 ms for the VD-K772 /
// VD-K9034 dialog, 200 ms for the VD-K512 shutter dialog, none for the others.
#include <QEvent>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "K772Support.h"
#include "link/Clock.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK512.h"
#include "status/HardwareStatusK772.h"
#include "status/HardwareStatusK773.h"

using namespace statustest;

namespace {

struct CloseCase {
  const char* name;
  int model;
  std::function<std::unique_ptr<torva::status::StatusDialog>(QWidget*)> make;
  std::vector<int> waits;  // asked of PrinterDelay by the close
};

std::vector<CloseCase> Cases() {
  return {
      {"K772", 11, [](QWidget* p) { return std::make_unique<THardwareStatusK772Form>(p); }, {300}},
      {"K9034", 13, [](QWidget* p) { return std::make_unique<THardwareStatusK772Form>(p); }, {300}},
      {"K512 shutter", 8, [](QWidget* p) { return std::make_unique<THardwareStatusK512Form>(p); }, {200}},
      {"K773 custom", 12, [](QWidget* p) { return std::make_unique<THardwareStatusK773Form>(p); }, {}},
      {"generic", 3, [](QWidget* p) { return std::make_unique<THardwareStatusForm>(p); }, {}},
  };
}

using CloseWait = StatusTest;

// Every way out (Exit, the close box, Esc) makes the same pause, once, while
// the dialog polls; the port is closed after it.
TEST_F(CloseWait, EachDialogPausesItsOwnTimeBeforeClosingThePort) {
  for (const CloseCase& c : Cases()) {
    for (const char* way : {"exit", "close box", "escape"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + way);
      sim.setModel(c.model);
      if (c.model == 8) sim.setSetting(0x12, 0x0000);  // the shutter dialog's eight-byte record
      PrinterName = c.model;
      is773Costom = c.model == 12 ? 1 : 0;
      auto d = c.make(main.get());
      d->SetPollOverrides(30, 500);
      d->show();
      ShownRecords shown(d.get());
      d->StartClick();
      ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }, 3000));
      ASSERT_GT(ComParameter.m_hdev.load(), 0);

      torva::ScopedPrinterDelayRecorder waits;
      const std::string w = way;
      if (w == "exit")
        d->ExitClick();
      else if (w == "close box")
        d->close();
      else
        d->reject();  // what Esc does
      EXPECT_EQ(waits.waits(), c.waits);
      EXPECT_FALSE(d->Polling());
      EXPECT_EQ(ComParameter.m_hdev.load(), -1);
      // Closed once: a second close pauses no more.
      d->close();
      EXPECT_EQ(waits.waits(), c.waits);
      d.reset();
      sim.clearLog();
    }
  }
}

// The pause is waited for with the windows painting: timers run and the
// main window repaints while the dialog closes.
TEST_F(CloseWait, WindowsKeepPaintingDuringThePause) {
  sim.setModel(11);
  PrinterName = 11;
  main->show();
  auto d = std::make_unique<THardwareStatusK772Form>(main.get());
  d->SetPollOverrides(30, 500);
  d->show();
  ShownRecords shown(d.get());
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }, 3000));

  struct PaintCount : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Paint) ++paints;
      return false;
    }
  } mainPaints;
  main->installEventFilter(&mainPaints);
  int ticks = 0;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    main->update();
  });
  timer.start();
  torva::SetPrinterDelayScale(1.0);  // the real 300 ms
  d->ExitClick();
  torva::SetPrinterDelayScale(0);
  main->removeEventFilter(&mainPaints);
  EXPECT_GE(ticks, 2);
  EXPECT_GT(mainPaints.paints, 0);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

}  // namespace
