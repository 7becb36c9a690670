// The RW-K305GII dialogs and the status dispatch with its two mode queries.
#include <QPushButton>
#include <QTimer>

#include "StatusFixture.h"
#include "status/HardwareStatus.h"
#include "shell/StatusDispatch.h"
#include "status/StatusRWK305G2RWMode.h"
#include "status/StatusRWK305G2VDMode.h"
#include "status/StatusThreads.h"

using namespace statustest;
using torva::status::Glyph;
using torva::status::StatusDialog;

namespace {

class K305G2 : public StatusTest {};

// What the dispatch opened: the dialog's class and title, closed at once.
struct Opened {
  QString className;
  QString title;
};

class Dispatch : public StatusTest {
 protected:
  // Runs OpenStatusMonitor; a dialog it opens is noted and closed at once.
  std::vector<Opened> Run() {
    std::vector<Opened> opened;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<StatusDialog*>(w);
        if (d && d->isVisible() && !d->ClosePressed()) {
          opened.push_back({d->metaObject()->className(), d->windowTitle()});
          d->ExitClick();
        }
      }
    });
    probe.start();
    OpenStatusMonitor(*main);
    WaitFor([] { return false; }, 20);
    return opened;
  }
};

}  // namespace

TEST(StatusThreads, PlansOfTheFourThreads) {
  using namespace torva::status;
  struct Case {
    PollPlan plan;
    CommandTiming timing;
    int interval;
    int timeout;
    bool closeSerial;
  };
  const Case cases[] = {
      {TInquireStatusThreadPlan(), CommandTiming::EveryPoll, 300, 3000, false},
      {TInquireStatusThreadForRWPlan(), CommandTiming::OnceThenEverySerialPoll, 300, 6000, true},
      {TStatusThreadForVDModePlan(), CommandTiming::EveryPoll, 500, 3000, false},
      {TStatusThreadForRWModePlan(), CommandTiming::EveryPoll, 400, 3000, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.plan.timing, c.timing);
    EXPECT_EQ(c.plan.intervalMs, c.interval);
    EXPECT_EQ(c.plan.serialTimeoutMs, c.timeout);
    EXPECT_EQ(c.plan.closeSerialAtEnd, c.closeSerial);
    EXPECT_EQ(c.plan.recordLength, 4);
  }
  for (int m = 0; m <= 18; ++m) EXPECT_EQ(IsSeriesStatusModel(m), m == 4 || m == 6 || m == 9 || m == 10 || m == 15);
}

TEST_F(K305G2, VdModeRecyclingJamAndGreyedBoxes) {
  PrinterName = 14;
  TStatusK305G2VDModeForm d(main.get());
  d.SetupCaptions();
  d.SetPollOverrides(30, 500);
  d.show();
  EXPECT_EQ(d.windowTitle(), "Printer Status(VD Mode)");
  EXPECT_EQ(d.findChild<QLabel*>("lblRollPaperSlack")->text(), "Rolling Papaer Slack");
  EXPECT_FALSE(d.findChild<QLabel*>("lblCuttererror")->isEnabled());
  EXPECT_EQ(d.ImageGlyph("imgBundlerHeadupImage"), Glyph::Init);
  sim.setStatusRecord(torva::sim::MakeK305G2VdRecord({.recyclingJam = true}));
  d.StartClick();
  ASSERT_TRUE(WaitFor([&] { return d.ImageGlyph("imgRecyclePaperJam") == Glyph::Error; }, 3000));
  EXPECT_TRUE(d.MemoLines().contains("Recycling Paper Jam!"));
  EXPECT_EQ(d.MemoLines().first(), "Printer Rolling Paper OK");
  EXPECT_TRUE(Box(d, "chkByte101")->isChecked());
  EXPECT_EQ(Label(d, "lblByte0Label1")->text(), "80H");
  // Byte 1 bit 4 (cutter) changes only the box and the label.
  sim.setStatusRecord({0x90, 0, 0, 0});
  ASSERT_TRUE(WaitFor([&] { return Label(d, "lblByte0Label1")->text() == "90H"; }, 3000));
  EXPECT_EQ(d.ImageGlyph("imgCuttererrorImage"), Glyph::Init);
  EXPECT_EQ(d.ImageGlyph("imgPrinterCuttingImage"), Glyph::Init);
  d.ExitClick();
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(K305G2, RwModeBlockingFeedFromTheTrayAndTheUnpaintedBundlerHead) {
  PrinterName = 14;
  main->show();
  TStatusK305G2RWModeForm d(main.get());
  d.SetupCaptions();
  d.SetPollOverrides(30, 500);
  d.show();
  EXPECT_EQ(d.windowTitle(), "Printer Status(RW Mode)");
  EXPECT_EQ(d.findChild<QLabel*>("lblPrinterIdle")->text(), "Printer Printing");
  EXPECT_EQ(d.ImageGlyph("imgBundlerHeadupImage"), Glyph::None) << "no picture in RW Mode";
  sim.setStatusRecord(torva::sim::MakeK305G2RwRecord({.paperBlocking = true}));
  d.StartClick();
  ASSERT_TRUE(WaitFor([&] { return d.ImageGlyph("imgBundlerPaperJamImage") == Glyph::Error; }, 3000));
  EXPECT_TRUE(d.MemoLines().contains("Printer  Paper Blocking Error"));
  EXPECT_EQ(d.ImageGlyph("imgFeedingImage"), Glyph::Init);

  d.MinimizeToTray();
  ASSERT_FALSE(d.isVisible());
  sim.setStatusRecord(torva::sim::MakeK305G2RwRecord({.feeding = true}));
  ASSERT_TRUE(WaitFor([&] { return d.isVisible(); }, 3000));
  EXPECT_EQ(d.ImageGlyph("imgFeedingImage"), Glyph::OK);
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(bMinimize.load());

  Language = "Chinese";
  d.SetupCaptions();
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("打印机状态(RW Mode)"));
  EXPECT_EQ(d.findChild<QLabel*>("lblFeeding")->text(), QString::fromUtf8("进纸键进纸"));
  d.close();
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_TRUE(plain.texts.isEmpty());
}

TEST_F(K305G2, SilentPrinterInVdMode) {
  PrinterName = 14;
  TStatusK305G2VDModeForm d(main.get());
  d.SetPollOverrides(30, 300);
  d.show();
  d.StartClick();
  ASSERT_TRUE(WaitFor([&] { return d.ImageGlyph("imgPaperendImage") == Glyph::OK; }, 3000));
  sim.setFault({torva::sim::Fault::NoReply});
  ASSERT_TRUE(WaitFor([&] { return d.findChild<QPushButton*>("btnStartButton1")->isEnabled(); }, 3000));
  EXPECT_EQ(plain.texts.size(), 1);
  EXPECT_EQ(d.ImageGlyph("imgPaperendImage"), Glyph::Init);
  d.ExitClick();
}

// ---- dispatch ---------------------------------------------------------------------------

TEST_F(Dispatch, GuardsRefuseNoPortParallelAndNet) {
  struct Case {
    int kind;
    const char* text;
  };
  const Case cases[] = {
      {PortNone, "Please configurate the printer's port before other operations!"},
      {PortLPT, "Sorry! This tool doesn't support LPT port!"},
      {PortNet, "Sorry! This tool doesn't support net port!"},
  };
  for (const auto& c : cases) {
    messages.clear();
    PortType = c.kind;
    EXPECT_TRUE(Run().empty());
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, c.text);
    EXPECT_EQ(messages.messages()[0].kind, MessageKind::Warning);
  }
  EXPECT_TRUE(sim.log().empty()) << "nothing is sent";
}

TEST_F(Dispatch, RwK305GIIModeQueryPicksTheDialog) {
  struct Case {
    uint16_t setting;  // C3: 00 00 or 01 00 on the wire
    const char* className;
    const char* title;
    const char* error;
  };
  const Case cases[] = {
      {0x0000, "TStatusK305G2VDModeForm", "Printer Status(VD Mode)", nullptr},
      {0x0001, "TStatusK305G2RWModeForm", "Printer Status(RW Mode)", nullptr},
      {0x0002, nullptr, nullptr, "EEPROM setting error!"},
  };
  PrinterName = 14;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.setting);
    messages.clear();
    sim.clearLog();
    sim.setSetting(0xC3, c.setting);
    const auto opened = Run();
    ASSERT_EQ(sim.log("ReadSetting").size(), 1u);
    EXPECT_EQ(sim.log("ReadSetting")[0].frame, (torva::sim::Bytes{0x1B, 0x6A, 0xC3}));
    if (c.className) {
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0].className, c.className);
      EXPECT_EQ(opened[0].title, c.title);
      EXPECT_TRUE(messages.messages().empty());
    } else {
      EXPECT_TRUE(opened.empty());
      ASSERT_EQ(messages.messages().size(), 1u);
      EXPECT_EQ(messages.messages()[0].text, c.error);
      EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
    }
    EXPECT_EQ(ComParameter.m_hdev.load(), -1) << "the port is closed after the query";
  }
}

TEST_F(Dispatch, VdK512PaperTypeQuery) {
  PrinterName = 8;
  std::vector<StatusDialogKind> chosen;
  SetStatusDialogOpener(StatusDialogKind::K512Shutter, [&](TMainForm&) { chosen.push_back(StatusDialogKind::K512Shutter); });
  sim.setSetting(0x12, 0x0000);
  EXPECT_TRUE(Run().empty());
  EXPECT_EQ(chosen, std::vector<StatusDialogKind>{StatusDialogKind::K512Shutter});
  SetStatusDialogOpener(StatusDialogKind::K512Shutter, {});

  sim.setSetting(0x12, 0x0001);
  auto opened = Run();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].className, "THardwareStatusForm");

  sim.setSetting(0x12, 0x0003);
  EXPECT_TRUE(Run().empty());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "Read the port error!");
  EXPECT_EQ(sim.log("ReadSetting").back().frame, (torva::sim::Bytes{0x1B, 0x6A, 0x12}));
}

TEST_F(Dispatch, ModeQueryFailures) {
  PrinterName = 14;
  // The printer drops the line instead of answering (a silent printer ends
  // the same way, only after the 5000 ms of the read).
  sim.setAddressFault(0xC3, {torva::sim::Fault::Hangup});
  EXPECT_TRUE(Run().empty());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "Read the port error!");
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  // The port cannot be opened.
  messages.clear();
  ComParameter.Name = dir + "/none";
  Language = "Chinese";
  EXPECT_TRUE(Run().empty());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, QString::fromUtf8("打开端口失败！"));
  EXPECT_EQ(messages.messages()[0].title, QString::fromUtf8("错误"));
}

TEST_F(Dispatch, ModelsToDialogs) {
  struct Case {
    int model;
    int k773;
    StatusDialogKind kind;
  };
  const Case cases[] = {
      {11, 0, StatusDialogKind::K772}, {13, 0, StatusDialogKind::K772}, {12, 1, StatusDialogKind::K773},
      {12, 0, StatusDialogKind::Generic}, {16, 0, StatusDialogKind::Generic}, {0, 0, StatusDialogKind::Generic},
      {6, 0, StatusDialogKind::Generic},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    PrinterName = c.model;
    is773Costom = c.k773;
    std::optional<StatusDialogKind> got;
    for (auto kind : {StatusDialogKind::Generic, StatusDialogKind::K772, StatusDialogKind::K773})
      SetStatusDialogOpener(kind, [kind, &got](TMainForm&) { got = kind; });
    OpenStatusMonitor(*main);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, c.kind);
  }
  for (auto kind : {StatusDialogKind::Generic, StatusDialogKind::K772, StatusDialogKind::K773})
    SetStatusDialogOpener(kind, {});
  // With no opener installed, the K772 dialog's models get their own dialog.
  PrinterName = 11;
  auto opened = Run();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].className, "THardwareStatusK772Form");
  EXPECT_TRUE(sim.log("ReadSetting").empty()) << "only codes 14 and 8 ask first";
}
