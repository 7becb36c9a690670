// The VD-K772 / VD-K9034 status dialog end to end against the simulated
// printer, on the serial port and on both USB kinds.
#include <QPlainTextEdit>
#include <QPushButton>

#include "K772Support.h"
#include "status/HardwareStatusK772.h"
#include "ui_HardwareStatusK772.h"

using namespace statustest;
using torva::sim::Bytes;
using torva::status::Glyph;
using torva::status::StatusPoller;

namespace {

class K772Dialog : public StatusTest {
 protected:
  void SetUp() override {
    StatusTest::SetUp();
    sim.setModel(11);
  }
  std::unique_ptr<THardwareStatusK772Form> Dialog(int model = 11) {
    PrinterName = model;
    auto d = std::make_unique<THardwareStatusK772Form>(main.get());
    d->SetupCaptions();
    d->SetPollOverrides(30, 500);
    d->show();
    shown = std::make_unique<ShownRecords>(d.get());
    return d;
  }
  static bool Idle(THardwareStatusK772Form& d) {
    return d.ui->StartButton->isEnabled() && !d.ui->StopButton->isEnabled() && d.ui->ExitButton->isEnabled();
  }
  std::vector<Bytes> Shown() const { return shown->all(); }
  std::unique_ptr<ShownRecords> shown;
};

TEST_F(K772Dialog, SerialRecordsOneByOneCommandOnce) {
  auto d = Dialog();
  for (const char* img : {"PaperendImage", "PrinterIdleImage", "Channel1PaperEndImage", "PaperJamError"})
    EXPECT_EQ(d->ImageGlyph(img), Glyph::Init) << img;
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PrinterIdleImage") == Glyph::OK; }, 3000));
  EXPECT_TRUE(d->MemoLines().contains("Paper Ok"));
  EXPECT_FALSE(d->ui->Channel1PaperEndBox->isVisible());

  sim.setStatusRecord(Rec8({{1, 0x04}, {3, 0x01}}));
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::Error; }, 3000));
  EXPECT_EQ(d->ImageGlyph("PrinterPrintingImage"), Glyph::OK);
  EXPECT_TRUE(d->MemoLines().contains("Paper Error"));
  EXPECT_TRUE(Box(*d, "Byte15")->isChecked());
  EXPECT_EQ(d->ui->Byte0Label->text(), "04H");

  sim.setStatusRecord(Rec8({{2, 0x02}, {5, 0x1E}, {8, 0x80}}));
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperJamError") == Glyph::Error; }, 3000));
  EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::OK);
  EXPECT_EQ(d->ImageGlyph("Channel2PaperNearEndImage"), Glyph::Error);  // hidden, yet kept
  EXPECT_TRUE(d->MemoLines().contains("Second Channel Paper Out"));
  EXPECT_TRUE(Box(*d, "Byte80")->isChecked());
  EXPECT_EQ(d->ui->Byte7Label->text(), "80H");

  // The command went out once, not at every poll.
    Pause(150);
  EXPECT_EQ(sim.log("AutoStatusBack").size(), 1u);
  d->StopClick();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  // The end of polling: every image back to Init, the boxes and labels clear.
  for (const auto& img : torva::status::MakeRecord8Decoder(torva::status::Record8Variant::K772).images())
    EXPECT_EQ(d->ImageGlyph(QString::fromStdString(img)), Glyph::Init) << img;
  EXPECT_FALSE(Box(*d, "Byte80")->isChecked());
  EXPECT_EQ(d->ui->Byte7Label->text(), "00H");
  EXPECT_TRUE(d->MemoLines().isEmpty());
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K772Dialog, SerialSixteenBytesQueuedAtOnceShowBothInOrder) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 1; }, 3000));
  const Bytes a = Rec8({{1, 0x01}, {4, 0x11}});
  const Bytes b = Rec8({{1, 0x02}, {4, 0x22}});
  // Copied into place rather than appended: GCC 12 at -O3 warns falsely
  // (-Warray-bounds) on an insert at the end of a copy of a.
  Bytes both(a.size() + b.size());
  std::copy(b.begin(), b.end(), std::copy(a.begin(), a.end(), both.begin()));
  sim.sendUnsolicited(both);
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 3; }, 3000));
  const auto got = Shown();
  EXPECT_EQ(got[got.size() - 2], a);
  EXPECT_EQ(got.back(), b);
  EXPECT_EQ(d->ImageGlyph("PrinterHeadupImage"), Glyph::Error);
  EXPECT_EQ(d->ImageGlyph("PapernearendImage"), Glyph::OK);
  EXPECT_EQ(d->ui->Byte3Label->text(), "22H");
}

// Twelve bytes waiting: one record is decoded and the last four ignored,
// never kept as the start of the next record; the printer is asked afresh and
// answers with its own record.
TEST_F(K772Dialog, SerialTrailingPartIsIgnoredAndThePrinterAskedAfresh) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 1; }, 3000));
  ASSERT_TRUE(WaitFor([&] { return sim.log("AutoStatusBack").size() == 1; }, 3000));
  const Bytes a = Rec8({{1, 0x04}, {8, 0x5A}});
  // Copied into place rather than appended (GCC 12 at -O3 warns falsely on
  // an insert at the end of a copy).
  Bytes twelve(12);
  std::copy(a.begin(), a.begin() + 4, std::copy(a.begin(), a.end(), twelve.begin()));
  sim.sendUnsolicited(twelve);
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 3; }, 3000));
  EXPECT_EQ(Shown()[1], a);
  EXPECT_EQ(Shown()[2], sim.statusRecord()) << "the answer to the command sent again";
  EXPECT_EQ(sim.log("AutoStatusBack").size(), 2u);
  const Bytes b = Rec8({{1, 0x08}, {8, 0xA5}});
  sim.setStatusRecord(b);
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 4; }, 3000));
  EXPECT_EQ(Shown()[3], b);
  EXPECT_EQ(d->ImageGlyph("TPHtoohotImage"), Glyph::Error);
  EXPECT_EQ(d->ui->Byte7Label->text(), "A5H");
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K772Dialog, SerialSilentPrinterKeepsTheViewWithoutError) {
  sim.setFault({torva::sim::Fault::NoReply, -1});
  auto d = Dialog();
  d->StartClick();
  Pause(200);
  // Nothing read: the indicators never pretend an all-clear printer.
  EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::Init);
  EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Init);
  EXPECT_FALSE(d->MemoLines().contains("Paper Ok"));
  EXPECT_TRUE(d->Polling());
  EXPECT_TRUE(messages.messages().empty());
  // The printer stops sending after a record: the view keeps that record.
  sim.clearFault();
  sim.setStatusRecord(Rec8({{1, 0x02}}));
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PrinterHeadupImage") == Glyph::Error; }, 3000));
  Pause(150);
  EXPECT_EQ(d->ImageGlyph("PrinterHeadupImage"), Glyph::Error);
  EXPECT_TRUE(d->Polling());
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K772Dialog, SerialLineGoneFailsOnceAndReturnsToIdle) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 1; }, 3000));
  sim.hangUp();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 5000));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
  EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::Init);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(K772Dialog, UsbKindsReadOneRecordPerPoll) {
  for (int kind : {PortUSB, PortUSBPrinter}) {
    SCOPED_TRACE(kind);
    sim.stop();
    UseUsb(kind);
    sim.setStatusRecord(Rec8({}));
    sim.clearLog();
    auto d = Dialog(13);
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PrinterIdleImage") == Glyph::OK; }, 3000));
    sim.setStatusRecord(Rec8({{1, 0x20}, {5, 0x02}}));
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperJamError") == Glyph::Error; }, 3000));
    EXPECT_TRUE(d->MemoLines().contains("First Channel Paper Out"));
    sim.setStatusRecord(Rec8({{3, 0x13}}));
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("BundlerPapePresentingImage") == Glyph::Error; }, 3000));
    // The USB status calls answer without the command; the printer parses
    // the command on its own thread, so it is waited for, then seen once.
    EXPECT_TRUE(WaitFor([&] { return !sim.log("AutoStatusBack").empty(); }, 3000));
    EXPECT_EQ(sim.log("AutoStatusBack").size(), 1u);
    d->StopClick();
    ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
    EXPECT_EQ(kind == PortUSB ? USBParameter.m_hdev.load() : USBPrinterParameter.m_hdev.load(), -1);
    // The line drops while polling: the failed call is reported, never decoded.
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("BundlerPapePresentingImage") == Glyph::Error; }, 3000));
    messages.clear();
    sim.hangUp();
    ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 5000));
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
    EXPECT_EQ(d->ImageGlyph("BundlerPapePresentingImage"), Glyph::Init);
    messages.clear();
    d.reset();
  }
}

TEST_F(K772Dialog, ClosingWhilePollingWaitsAndShowsNothing) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 1; }, 3000));
  const int before = StatusPoller::LiveThreads();
  EXPECT_GE(before, 1);
  d->ExitClick();
  EXPECT_EQ(StatusPoller::LiveThreads(), before - 1);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  Pause(50);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K772Dialog, TrayHidesBothWindowsAndAStateErrorBringsThemBack) {
  main->show();
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return Shown().size() >= 1; }, 3000));
  d->MinimizeToTray();
  EXPECT_FALSE(d->isVisible());
  EXPECT_FALSE(main->isVisible());
  EXPECT_TRUE(d->TrayIconVisible());
  EXPECT_TRUE(bMinimize.load());
  sim.setStatusRecord(Rec8({{3, 0x12}}));  // cutting, with the error bit
  ASSERT_TRUE(WaitFor([&] { return d->isVisible(); }, 3000));
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(d->TrayIconVisible());
  EXPECT_FALSE(bMinimize.load());
  EXPECT_EQ(d->ImageGlyph("PrinterCuttingImage"), Glyph::Error);
}

TEST_F(K772Dialog, NibblePortOpenFailureShowsTheEnglishText) {
  setenv("TORVA_LPT1", (dir + "/no-parport").c_str(), 1);
  PortType = PortNibbleLPT;
  Language = "Chinese";
  auto d = Dialog();
  d->StartClick();
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
  EXPECT_TRUE(Idle(*d));
  EXPECT_FALSE(d->Polling());
  unsetenv("TORVA_LPT1");
}

TEST_F(K772Dialog, SpoolerPortSaysNoStatusInsteadOfAllClear) {
  PortType = PortDriver;
  auto d = Dialog();
  d->StartClick();
  EXPECT_TRUE(Idle(*d));
  EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::Init);
  EXPECT_EQ(d->MemoLines(), QStringList{torva::status::NoStatusText()});
  EXPECT_TRUE(sim.log().empty());
}

TEST_F(K772Dialog, CaptionsInBothLanguages) {
  struct Case {
    const char* lang;
    const char* title;
    const char* row8;
    const char* present;
    const char* ch2near;
  } cases[] = {{"English", "Printer Status", "Status Byte8", "Presenter Paper Present", "Second Channel Paper Near End"},
               {"Chinese", "打印机状态", "状态位8", "容纸器出纸", "通道2纸将尽"}};
  for (const auto& c : cases) {
    Language = c.lang;
    auto d = Dialog();
    EXPECT_EQ(d->windowTitle(), QString::fromUtf8(c.title));
    EXPECT_EQ(d->ui->StatusByte8Label->text(), QString::fromUtf8(c.row8));
    EXPECT_EQ(d->ui->BundlerPapePresentingLabel->text(), QString::fromUtf8(c.present));
    EXPECT_EQ(d->ui->Channel2PaperNearEndLabel->text(), QString::fromUtf8(c.ch2near));
    EXPECT_EQ(d->ui->CuttererrorLabel->height(), 20);
  }
}

}  // namespace
