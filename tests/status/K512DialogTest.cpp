// The VD-K512 shutter status dialog end to end against the simulated printer.
#include <algorithm>

#include <QPlainTextEdit>
#include <QPushButton>

#include "K772Support.h"
#include "status/HardwareStatusK512.h"
#include "ui_HardwareStatusK512.h"

using namespace statustest;
using torva::sim::Bytes;
using torva::status::Glyph;

namespace {

class K512Dialog : public StatusTest {
 protected:
  void SetUp() override {
    StatusTest::SetUp();
    sim.setModel(8);
    sim.setSetting(0x12, 0x0000);  // receipt paper: the eight-byte record
  }
  std::unique_ptr<THardwareStatusK512Form> Dialog() {
    PrinterName = 8;
    auto d = std::make_unique<THardwareStatusK512Form>(main.get());
    d->SetupCaptions();
    d->SetPollOverrides(30, 400);
    d->show();
    shown = std::make_unique<ShownRecords>(d.get());
    return d;
  }
  static bool Idle(THardwareStatusK512Form& d) {
    return d.ui->StartButton->isEnabled() && !d.ui->StopButton->isEnabled() && d.ui->ExitButton->isEnabled();
  }
  Bytes LastShown() const { return shown->last(); }
  std::unique_ptr<ShownRecords> shown;
};

TEST_F(K512Dialog, SerialRecordsOneByOneWithTheCommandAtEveryPoll) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PrinterIdleImage") == Glyph::OK; }, 3000));
  EXPECT_EQ(d->MemoLines(), (QStringList{"Printer Head Closed", "Paper Ok", "No Paper Low", "No Paper Jam", "Shutter Ok"}));

  struct Step {
    Bytes record;
    const char* image;
    Glyph glyph;
    const char* memo;
  } steps[] = {
      {Rec8({{1, 0x80}}), "CuttererrorImage", Glyph::Error, nullptr},
      {Rec8({{1, 0x10}}), "CuttererrorImage", Glyph::Error, nullptr},
      {Rec8({}), "CuttererrorImage", Glyph::OK, nullptr},
      {Rec8({{5, 0x20}}), "ShutterImage", Glyph::Error, "Shutter Error"},
      {Rec8({{3, 0x06}}), "BundlerPaperHoldingImage", Glyph::OK, "Shutter Ok"},
      {Rec8({{3, 0x03}}), "BundlerPaperPresentImage", Glyph::OK, nullptr},
      {Rec8({{1, 0x20}, {5, 0x12}}), "PaperJamError", Glyph::Error, "First Channel Paper Out"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(s.image);
    sim.setStatusRecord(s.record);
    ASSERT_TRUE(WaitFor([&] { return LastShown() == s.record; }, 3000));
    EXPECT_EQ(d->ImageGlyph(s.image), s.glyph);
    if (s.memo) {
      EXPECT_TRUE(d->MemoLines().contains(s.memo));
    }
    for (const QString& line : d->MemoLines()) {
      EXPECT_FALSE(line.startsWith("Cutter")) << "no cutter line";
    }
  }
  // Byte 2 bit 1 is no jam report in this dialog: only its box and label change.
  sim.setStatusRecord(Rec8({{2, 0x02}}));
  ASSERT_TRUE(WaitFor([&] { return LastShown() == Rec8({{2, 0x02}}); }, 3000));
  EXPECT_EQ(d->ImageGlyph("PaperJamError"), Glyph::OK);
  EXPECT_TRUE(Box(*d, "Byte26")->isChecked());
  EXPECT_EQ(d->ui->Byte1Label->text(), "02H");

  const size_t before = sim.log("AutoStatusBack").size();
  EXPECT_TRUE(WaitFor([&] { return sim.log("AutoStatusBack").size() > before; }, 3000))
      << "sent again at every serial poll";

  d->StopClick();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  for (const auto& img : torva::status::MakeRecord8Decoder(torva::status::Record8Variant::K512).images())
    EXPECT_EQ(d->ImageGlyph(QString::fromStdString(img)), Glyph::Init) << img;
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(K512Dialog, SerialSixteenBytesQueuedShowTheNewestWhole) {
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return shown->size() >= 1; }, 3000));
  sim.setStatusRecord(Rec8({{1, 0x02}}));  // what the printer answers from now on
  Bytes two = Rec8({{1, 0x01}});
  const Bytes b = Rec8({{1, 0x02}});
  two.insert(two.end(), b.begin(), b.end());
  sim.sendUnsolicited(two);
  ASSERT_TRUE(WaitFor([&] { return LastShown() == b; }, 3000));
  Pause(120);
  // Every record after them is still whole and in step.
  EXPECT_EQ(LastShown(), b);
  EXPECT_EQ(d->ImageGlyph("PrinterHeadupImage"), Glyph::Error);
}

TEST_F(K512Dialog, SerialRecordSplitAcrossTwoReadsArrivesWhole) {
  auto d = Dialog();
  d->SetPollOverrides(30, 2000);
  sim.setFault({torva::sim::Fault::NoReply, -1});  // only the bytes sent by hand arrive
  d->StartClick();
  const Bytes r = Rec8({{1, 0x04}, {8, 0x77}});
  Pause(60);
  sim.sendUnsolicited(Bytes(r.begin(), r.begin() + 3));
  Pause(100);
  EXPECT_TRUE(shown->empty());
  sim.sendUnsolicited(Bytes(r.begin() + 3, r.end()));
  ASSERT_TRUE(WaitFor([&] { return !shown->empty(); }, 3000));
  EXPECT_EQ(LastShown(), r);
  EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Error);
  EXPECT_EQ(d->ui->Byte7Label->text(), "77H");
  d->ExitClick();
}

TEST_F(K512Dialog, SerialSilentPrinterFailsWithoutAllClear) {
  sim.setFault({torva::sim::Fault::NoReply, -1});
  auto d = Dialog();
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 5000));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
  EXPECT_TRUE(shown->empty());
  EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::Init);
  EXPECT_FALSE(d->MemoLines().contains("Paper Ok"));
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(K512Dialog, UsbKindsAndAShortRecordIsAFailure) {
  for (int kind : {PortUSB, PortUSBPrinter}) {
    SCOPED_TRACE(kind);
    sim.stop();
    UseUsb(kind);
    sim.setSetting(0x12, 0x0000);
    sim.setStatusRecord(Rec8({}));
    messages.clear();
    auto d = Dialog();
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PrinterIdleImage") == Glyph::OK; }, 3000));
    sim.setStatusRecord(Rec8({{5, 0x3E}}));
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("ShutterImage") == Glyph::Error; }, 3000));
    EXPECT_EQ(d->ImageGlyph("Channel2PaperNearEndImage"), Glyph::Error);
    EXPECT_EQ(d->ui->Byte4Label->text(), "3EH");  // byte 5 as the printer sent it
    // The printer now answers four bytes: the short record is never decoded.
    // Every record shown from the shutter error on is that record (records
    // already read when the printer changed may still arrive after it).
    sim.setSetting(0x12, 0x0001);
    ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
    const Bytes shutter = Rec8({{5, 0x3E}});
    const auto& all = shown->all();
    const auto first = std::find(all.begin(), all.end(), shutter);
    ASSERT_NE(first, all.end());
    for (auto it = first; it != all.end(); ++it) EXPECT_EQ(*it, shutter);
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
    EXPECT_EQ(d->ImageGlyph("ShutterImage"), Glyph::Init);
    d.reset();
  }
}

TEST_F(K512Dialog, CaptionsInBothLanguages) {
  for (const char* lang : {"English", "Chinese"}) {
    Language = lang;
    const bool cn = Language == "Chinese";
    auto d = Dialog();
    EXPECT_EQ(d->ui->CuttererrorLabel->text(),
              cn ? QString::fromUtf8("切刀错误\\打印机塞纸") : QStringLiteral("Cutter Error\\Printer Paper Jam"));
    EXPECT_EQ(d->ui->PaperJamErrorLabel->text(), "Printer Paper Jam");
    EXPECT_EQ(d->ui->ShutterLabel->text(), cn ? QString::fromUtf8("Shutter错误") : QStringLiteral("Shutter Error"));
    EXPECT_EQ(d->ui->BundlerPaperHoldingLabel->text(),
              cn ? QString::fromUtf8("容纸器出纸") : QStringLiteral("Presenter Paper Present"));
    EXPECT_EQ(d->ui->BundlerPaperPresentLabel->text(),
              cn ? QString::fromUtf8("容纸器等待") : QStringLiteral("Presenter Wait Status"));
    EXPECT_TRUE(d->ui->Channel1PaperEndBox->isVisible());
    EXPECT_TRUE(d->ui->ShutterBox->isVisible());
  }
}

}  // namespace
