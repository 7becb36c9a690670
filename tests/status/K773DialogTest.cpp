// The VD-K773 custom status monitor end to end: the custom stream on the
// serial port, the USB device, and the USB printer in the custom mode with
// and without the class byte.
#include <algorithm>

#include <QPlainTextEdit>
#include <QPushButton>

#include "K772Support.h"
#include "shell/ConnectionTest.h"
#include "status/HardwareStatusK773.h"
#include "ui_HardwareStatusK773.h"

using namespace statustest;
using torva::sim::Bytes;
using torva::status::Glyph;

namespace {

const char* const kStateImages[] = {"PrinterIdleImage",           "PrinterPrintingImage",
                                    "PrinterCuttingImage",        "AutoFeedingImage",
                                    "BundlerPapePresentingImage", "BundlerPaperWaitingImage",
                                    "BundlerRetractingStatusImage", "BundlerPaperEjectingImage"};

class K773Dialog : public StatusTest {
 protected:
  void SetUp() override {
    StatusTest::SetUp();
    sim.setModel(12);
    sim.setCustomStatusIntervalMs(15);
    is773Costom = 1;
  }
  std::unique_ptr<THardwareStatusK773Form> Dialog() {
    PrinterName = 12;
    auto d = std::make_unique<THardwareStatusK773Form>(main.get());
    d->SetupCaptions();
    d->SetPollOverrides(30, 500);
    d->show();
    shown = std::make_unique<ShownRecords>(d.get());
    return d;
  }
  // The USB printer in the custom mode.
  void UseCustomUsb(int classMode) {
    UseUsb(PortUSBPrinter);
    sim.setK773Custom(true, classMode, classMode == 1 ? 2 : 0);
    iUSBClassMode = classMode;
    iStatusBytes = classMode == 1 ? 2 : 0;
    iPrinterID = 1;
  }
  static bool Idle(THardwareStatusK773Form& d) {
    return d.ui->StartButton->isEnabled() && !d.ui->StopButton->isEnabled() && d.ui->ExitButton->isEnabled();
  }
  std::vector<Bytes> Shown() const { return shown->all(); }
  bool ShownContains(const Bytes& r) const { return shown->contains(r); }
  std::unique_ptr<ShownRecords> shown;
};

TEST_F(K773Dialog, SerialStreamRecordsOneByOne) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  EXPECT_EQ(d->MemoLines(), (QStringList{"Printer Head Closed", "Paper Ok", "No Paper Low", "No WeekEndPaper Low",
                                         "AutoCut ok", "No Paper Jam"}));
  ASSERT_EQ(sim.log("CustomStatusBack").size(), 1u);
  EXPECT_EQ(sim.log("CustomStatusBack")[0].frame, (Bytes{0x1D, 0xE0, 0xFF}));
  EXPECT_TRUE(sim.log("AutoStatusBack").empty());

  struct Step {
    Bytes record;
    const char* image;
    Glyph glyph;
    const char* memo;
  } steps[] = {
      {Rec6({{4, 0x01}}), "PrinterHeadupImage", Glyph::OK, "Printer Head Closed"},
      {Rec6({{4, 0x03}}), "PrinterHeadupImage", Glyph::Error, "Printer Head Up"},
      {Rec6({{3, 0x40}}), "WeekEndImage", Glyph::Error, "WeekEndPaper Low"},
      {Rec6({{5, 0x08}}), "VoltageabnormityImage", Glyph::Error, nullptr},
      {Rec6({{6, 0x01}, {5, 0x40}}), "CuttererrorImage", Glyph::Error, "AutoCut Error"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.image);
    sim.setStatusRecord(s.record);
    ASSERT_TRUE(WaitFor([&] { return !Shown().empty() && Shown().back() == s.record; }, 3000));
    EXPECT_EQ(d->ImageGlyph(s.image), s.glyph);
    if (s.memo) {
      EXPECT_TRUE(d->MemoLines().contains(s.memo));
    }
  }
  EXPECT_TRUE(d->MemoLines().contains("Printer Paper Jam"));
  EXPECT_TRUE(Box(*d, "Byte63")->isChecked());   // byte 6 bit 0
  EXPECT_TRUE(Box(*d, "Byte49")->isChecked());   // byte 5 bit 6
  EXPECT_EQ(d->ui->Label16->text(), "01H");
  EXPECT_EQ(d->ui->Label13->text(), "40H");
  for (const char* img : kStateImages) {
    EXPECT_EQ(d->ImageGlyph(img), Glyph::Init) << img;
  }
  EXPECT_EQ(sim.log("CustomStatusBack").size(), 1u) << "sent once";
  d->StopClick();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  EXPECT_EQ(d->ImageGlyph("CuttererrorImage"), Glyph::Init);
  EXPECT_TRUE(d->MemoLines().isEmpty());
  EXPECT_EQ(d->ui->Label16->text(), "01H") << "no all-clear pass at the end";
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_TRUE(messages.messages().empty());
}

// Sixteen bytes waiting: two records decoded, the last four bytes ignored and
// never joined to what follows; the next record comes out whole.
TEST_F(K773Dialog, SerialSixteenBytesAtOnceAndATrailingPartIgnored) {
  sim.setCustomStatusIntervalMs(100000);  // only the bytes sent by hand
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return sim.log("CustomStatusBack").size() == 1; }, 3000));
  const Bytes a = Rec6({{1, 0xA1}, {3, 0x01}});
  const Bytes b = Rec6({{1, 0xB2}, {3, 0x04}});
  const Bytes c = Rec6({{1, 0xC3}, {4, 0x03}});
  Bytes sixteen = a;
  sixteen.insert(sixteen.end(), b.begin(), b.end());
  sixteen.insert(sixteen.end(), c.begin(), c.begin() + 4);
  sim.sendUnsolicited(sixteen);
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 2; }, 3000));
  EXPECT_EQ(Shown()[0], a);
  EXPECT_EQ(Shown()[1], b);
  EXPECT_EQ(d->ImageGlyph("PapernearendImage"), Glyph::Error);
  // The input is cleared and the stream asked for again.
  ASSERT_TRUE(WaitFor([&] { return sim.log("CustomStatusBack").size() >= 2; }, 3000));
  sim.sendUnsolicited(c);
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 3; }, 3000));
  EXPECT_EQ(Shown().size(), 3u);
  EXPECT_EQ(Shown()[2], c);
  EXPECT_EQ(d->ImageGlyph("PrinterHeadupImage"), Glyph::Error);
  EXPECT_EQ(d->ui->Byte0Label->text(), "C3H");
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K773Dialog, SerialStreamStoppedOrSilentKeepsTheViewWithoutError) {
  sim.setCustomStatusIntervalMs(100000);  // the printer says nothing
  auto d = Dialog();
  d->StartClick();
  Pause(200);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Init) << "never an all-clear that was not read";
  EXPECT_TRUE(d->Polling());
  // The stream runs, then stops: the view keeps the last record.
  sim.setCustomStatusIntervalMs(15);
  sim.setStatusRecord(Rec6({{3, 0x01}}));
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::Error; }, 3000));
  sim.powerCycle();  // the stream is off after a power cycle
  Pause(200);
  EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Error);
  EXPECT_TRUE(d->Polling());
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K773Dialog, UsbDeviceAsksForOneRecord) {
  UseUsb(PortUSB);
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  sim.setStatusRecord(Rec6({{3, 0x44}}));
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("WeekEndImage") == Glyph::Error; }, 3000));
  EXPECT_EQ(d->ImageGlyph("PapernearendImage"), Glyph::Error);
  EXPECT_TRUE(WaitFor([&] { return !sim.log("CustomStatusBack").empty(); }, 3000));  // parsed on its own thread
  EXPECT_EQ(sim.log("CustomStatusBack").size(), 1u);
  // The line drops: reported once, the view back to Init.
  sim.hangUp();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 5000));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
  EXPECT_EQ(d->ImageGlyph("WeekEndImage"), Glyph::Init);
  EXPECT_EQ(USBParameter.m_hdev.load(), -1);
}

TEST_F(K773Dialog, CustomUsbPrinterDropsTheClassByte) {
  UseCustomUsb(1);
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  EXPECT_GT(USBPrinterParameter.m_hdev.load(), 0);
  sim.setStatusRecord(Rec6({{1, 0x5A}, {5, 0x01}, {6, 0x01}}));
  ASSERT_TRUE(WaitFor([&] { return ShownContains(Rec6({{1, 0x5A}, {5, 0x01}, {6, 0x01}})); }, 3000));
  EXPECT_EQ(d->ImageGlyph("TPHtoohotImage"), Glyph::Error);
  EXPECT_EQ(d->ImageGlyph("CuttererrorImage"), Glyph::Error);
  EXPECT_EQ(d->ui->Byte0Label->text(), "5AH");  // not the class byte
  for (const auto& r : Shown()) {
    EXPECT_EQ(r.size(), 6u);
  }
  EXPECT_TRUE(WaitFor([&] { return !sim.log("CustomStatusBack").empty(); }, 3000));  // parsed on its own thread
  EXPECT_EQ(sim.log("CustomStatusBack").size(), 1u);
  d->ExitClick();
  // The poll thread switches the read framing only around its own reads;
  // once it has ended the common read routine is back to the plain one.
  EXPECT_FALSE(d->Polling());
  EXPECT_EQ(iReadType.load(), 0);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K773Dialog, CustomUsbPrinterWithoutClassByteQueuedAndShortTransfers) {
  UseCustomUsb(0);
  sim.setCustomStatusIntervalMs(100000);
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return !Shown().empty(); }, 3000));
  // Two records queued at once: one per transfer, in order.
  const Bytes a = Rec6({{3, 0x01}, {2, 0x11}});
  const Bytes b = Rec6({{3, 0x04}, {2, 0x22}});
  Bytes two = a;
  two.insert(two.end(), b.begin(), b.end());
  sim.sendUnsolicited(two);
  ASSERT_TRUE(WaitFor([&] { return ShownContains(b); }, 3000));
  const auto got = Shown();
  auto at = std::find(got.begin(), got.end(), a);
  ASSERT_NE(at, got.end());
  ASSERT_NE(at + 1, got.end());
  EXPECT_EQ(*(at + 1), b);
  // A transfer shorter than a record is no record and never decoded: no
  // record shown carries its bytes, and polling goes on with the printer's
  // own records.
  const size_t before = Shown().size();
  sim.sendUnsolicited(Bytes{0x01, 0x02, 0x03});
  const Bytes after = Rec6({{3, 0x40}, {2, 0x33}});
  sim.setStatusRecord(after);
  ASSERT_TRUE(WaitFor([&] { return ShownContains(after); }, 3000));
  for (size_t i = before; i < Shown().size(); ++i) {
    ASSERT_EQ(Shown()[i].size(), 6u);
    EXPECT_FALSE(Shown()[i][0] == 0x01 && Shown()[i][1] == 0x02 && Shown()[i][2] == 0x03);
  }
  EXPECT_TRUE(d->Polling());
  EXPECT_TRUE(messages.messages().empty());
  // A channel that brings nothing at all is a failed read.
  sim.hangUp();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 5000));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
}

TEST_F(K773Dialog, TrayHidesBothWindowsAndAHeadUpBringsThemBack) {
  main->show();
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return !Shown().empty(); }, 3000));
  d->MinimizeToTray();
  EXPECT_FALSE(d->isVisible());
  EXPECT_FALSE(main->isVisible());
  sim.setStatusRecord(Rec6({{4, 0x01}}));  // one cover bit alone: nothing to report
  ASSERT_TRUE(WaitFor([&] { return ShownContains(Rec6({{4, 0x01}})); }, 3000));
  EXPECT_FALSE(d->isVisible());
  sim.setStatusRecord(Rec6({{4, 0x03}}));
  ASSERT_TRUE(WaitFor([&] { return d->isVisible(); }, 3000));
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(bMinimize.load());
  EXPECT_EQ(d->ImageGlyph("PrinterHeadupImage"), Glyph::Error);
}

TEST_F(K773Dialog, CustomChannelThatCannotOpenWarns) {
  UseCustomUsb(1);
  iPrinterID = 7;  // no such printer
  auto d = Dialog();
  d->StartClick();
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Warning);
  EXPECT_TRUE(Idle(*d));
  EXPECT_FALSE(d->Polling());
}

TEST_F(K773Dialog, CaptionsHiddenBoxesAndHeightsPerLanguage) {
  struct Case {
    const char* lang;
    const char* row5;
    const char* head;
    bool voltageShown;
    int height;
  } cases[] = {{"English", "Status Byte5", "Printer Head Up", true, 480 - 34},
               {"Chinese", "状态位5", "上盖抬起", false, 450 - 34}};
  for (const auto& c : cases) {
    Language = c.lang;
    auto d = Dialog();
    EXPECT_EQ(d->ui->StatusByte5Label->text(), QString::fromUtf8(c.row5));
    EXPECT_EQ(d->ui->PrinterHeadupLabel->text(), QString::fromUtf8(c.head));
    EXPECT_EQ(d->ui->VoltageabnormityBox->isVisible(), c.voltageShown);
    EXPECT_FALSE(d->ui->BundlerHeadupBox->isVisible());
    EXPECT_FALSE(d->ui->BundlerFullBox->isVisible());
    EXPECT_EQ(d->height(), c.height);
    EXPECT_EQ(d->ui->GroupBox1->height(), 410);
    // Resizable, unlike the other status dialogs.
    EXPECT_NE(d->minimumSize(), d->maximumSize());
  }
}

}  // namespace
