// Check Mark end to end: the real dialog, offscreen, against the simulated
// printer on the pseudo-terminal and the USB backend.
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gmock/gmock.h>

#include "CaptionCheck.h"
#include "ServiceToolFixture.h"
#include "link/EepromControl.h"
#include "tools/CheckMark.h"
#include "tools/MarkLog.h"
#include "ui_CheckMark.h"

using tooltest::Bytes;
using tooltest::Frames;
using tooltest::ServiceToolTest;

namespace {

class CheckMarkTest : public ServiceToolTest {
 protected:
  void TearDown() override {
    dialog.reset();
    ServiceToolTest::TearDown();
  }

  TCheckmarkForm& Open() {
    dialog = std::make_unique<TCheckmarkForm>();
    return *dialog;
  }
  Ui::TCheckmarkForm& ui() { return *dialog->form(); }

  // A fresh printer of the model behind the port kind (serial or a USB kind).
  void UsePort(int model, int kind) {
    sim.stop();
    if (kind == PortCOM)
      UseSerial(model);
    else
      UseUsb(model, kind);
  }

  // A printer with mark paper whose threshold reads `threshold`.
  void MarkPaper(uint8_t threshold) {
    sim.setSetting(0x12, 1);
    sim.setSetting(0x39, threshold);
    sim.setSetting(0x20, threshold);
  }

  // The memo lines the decoder gives for the simulator's log.
  std::vector<QString> Decoded(int model, std::optional<uint8_t> t, bool english = true) {
    std::vector<QString> lines;
    for (const std::string& l :
         torva::tools::DecodeMarkLog(sim.markLog(), torva::tools::MarkGroupOf(model).windowLimit, t, english))
      lines.push_back(QString::fromStdString(l));
    return lines;
  }
  std::vector<QString> Memo() const {
    const QStringList l = dialog->memoLines();
    return std::vector<QString>(l.begin(), l.end());
  }

  std::unique_ptr<TCheckmarkForm> dialog;
};

const Bytes kCalibrationBlock = {0x1D, 0x61, 0x00, 0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x4C, 0x1B, 0x40,
                                 0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x04, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x07};

bool EndsWith(const Bytes& all, const Bytes& tail) {
  return all.size() >= tail.size() && std::equal(tail.begin(), tail.end(), all.end() - tail.size());
}

}  // namespace

TEST_F(CheckMarkTest, OpeningShowsTheThresholdInHexOnEveryKind) {
  struct Case {
    int model;
    int kind;
    uint8_t address;
  } cases[] = {{2, PortCOM, 0x39}, {7, PortCOM, 0x20}, {0, PortUSB, 0x39}, {15, PortUSBPrinter, 0x20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.model) + " on kind " + std::to_string(c.kind));
    UsePort(c.model, c.kind);
    MarkPaper(0x0A);
    sim.setSetting(c.address == 0x39 ? 0x20 : 0x39, 0x77);  // the other address must not be read
    sim.clearLog();
    Open();
    EXPECT_EQ(ui().edtAD->text(), "0A");
    EXPECT_TRUE(ui().CheckMark->isEnabled());
    EXPECT_EQ(Frames(sim, "ReadSetting"), (std::vector<Bytes>{{0x1B, 0x6A, c.address}, {0x1B, 0x6A, 0x12}}));
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(AllClosed());
    dialog.reset();
  }
}

TEST_F(CheckMarkTest, ContinuousPaperDisablesTheCalibration) {
  UseSerial(2);
  MarkPaper(0x44);
  sim.setSetting(0x12, 0);
  Open();
  EXPECT_EQ(ui().edtAD->text(), "44");
  EXPECT_FALSE(ui().CheckMark->isEnabled());
  EXPECT_TRUE(Texts().empty());  // silent outside group H
  dialog.reset();

  // Group H says why.
  sim.setModel(11);
  PrinterName = 11;
  sim.setSetting(0x12, 0);
  Open();
  EXPECT_FALSE(ui().CheckMark->isEnabled());
  EXPECT_THAT(Texts(), ::testing::ElementsAre("please check whether paper type is mark mode"));
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_TRUE(AllClosed());
  dialog.reset();
  messages.clear();

  sim.setSetting(0x12, 5);  // neither kind
  Language = "Chinese";
  Open();
  EXPECT_FALSE(ui().CheckMark->isEnabled());
  EXPECT_THAT(Texts(), ::testing::ElementsAre(QString::fromUtf8("获取纸张类型失败！")));
  dialog.reset();
  messages.clear();

  sim.setSetting(0x12, 1);
  Open();
  EXPECT_TRUE(ui().CheckMark->isEnabled());
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(Frames(sim, "ReadSetting").back(), (Bytes{0x1B, 0x6A, 0x12}));
}

TEST_F(CheckMarkTest, SetADWritesTheTypedHexAtTheModelsAddress) {
  for (int model : {2, 7}) {
    SCOPED_TRACE(model);
    sim.stop();
    UseSerial(model);
    MarkPaper(0x00);
    Open();
    const uint8_t address = model == 2 ? 0x39 : 0x20;
    sim.clearLog();
    ui().edtAD->setText("A");
    dialog->SetADButtonClick();
    ASSERT_TRUE(sim.waitForLog(1, 3000));
    EXPECT_EQ(Frames(sim, "WriteSetting"), (std::vector<Bytes>{{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x0A, 0x00, address}}));
    EXPECT_EQ(sim.setting(address), 0x000A);
    EXPECT_THAT(Texts(), ::testing::ElementsAre("Set AD Successfully!"));
    EXPECT_EQ(messages.messages().back().kind, MessageKind::Information);
    EXPECT_TRUE(AllClosed());
    messages.clear();

    // An empty field: the warning only, nothing sent.
    sim.clearLog();
    ui().edtAD->clear();
    dialog->SetADButtonClick();
    EXPECT_THAT(Texts(), ::testing::ElementsAre("Please input Mark Threshold Value!"));
    EXPECT_TRUE(sim.receivedBytes().empty());
    messages.clear();
    dialog.reset();
  }
}

TEST_F(CheckMarkTest, GroupJWritesTheSettingAndBothSensorThresholds) {
  UseUsb(18, PortUSB);
  MarkPaper(0x21);
  Open();
  EXPECT_FALSE(ui().CheckMark->isVisibleTo(dialog.get()));
  EXPECT_EQ(ui().edtAD->text(), "21");
  sim.clearLog();
  ui().edtAD->setText("5a");
  dialog->SetADButtonClick();
  const Bytes want = {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x5A, 0x00, 0x20, 0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08,
                      0x51, 0x01, 0x01, 0x5A, 0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x51, 0x01, 0x03, 0x5A};
  ASSERT_TRUE(sim.waitForReceived(want.size(), 3000));
  EXPECT_EQ(sim.receivedBytes(), want);
  EXPECT_EQ(sim.setting(0x20), 0x5A);
  EXPECT_EQ(sim.sensorThreshold(1), 0x5A);
  EXPECT_EQ(sim.sensorThreshold(3), 0x5A);
  EXPECT_THAT(Texts(), ::testing::ElementsAre("Set AD Successfully!"));
  EXPECT_TRUE(AllClosed());
}

TEST_F(CheckMarkTest, ModelsWithoutAThresholdAddressCannotSetIt) {
  for (int model : {14, 15}) {
    SCOPED_TRACE(model);
    sim.stop();
    UseSerial(model);
    MarkPaper(0x30);
    Open();
    EXPECT_FALSE(ui().SetADButton->isEnabled());
    EXPECT_EQ(ui().edtAD->text(), "30");  // still read and shown
    sim.clearLog();
    dialog->SetADButtonClick();  // even when called, nothing goes out and nothing is claimed
    EXPECT_TRUE(sim.receivedBytes().empty());
    EXPECT_TRUE(Texts().empty());
    dialog.reset();
  }
}

TEST_F(CheckMarkTest, GroupDWithCheckingOffSwitchesItOnAndAsksForAPowerCycle) {
  UseSerial(6);
  MarkPaper(0x40);
  sim.setSetting(0x4C, 0);
  Open();
  ASSERT_TRUE(ui().CheckMark->isEnabled());
  torva::ScopedPrinterDelayRecorder delays;
  sim.clearLog();
  dialog->CheckMarkClick();
  ASSERT_TRUE(sim.waitForLog(2, 3000));  // the read and the write reach the printer
  EXPECT_EQ(sim.setting(0x4C), 1);
  EXPECT_EQ(Frames(sim, "ReadSetting"), (std::vector<Bytes>{{0x1B, 0x6A, 0x4C}}));
  EXPECT_EQ(Frames(sim, "WriteSetting"), (std::vector<Bytes>{{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x4C}}));
  EXPECT_TRUE(Frames(sim, "MarkLog").empty());  // no calibration this time
  EXPECT_THAT(Texts(), ::testing::ElementsAre("\n\rEnable CheckMark successfully and reboot the printer."));
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Warning);
  EXPECT_FALSE(ui().CheckMark->isEnabled());
  EXPECT_THAT(delays.waits(), ::testing::Contains(1000));
  EXPECT_TRUE(AllClosed());
  dialog.reset();
  messages.clear();

  // A reply that is neither off nor on.
  sim.setSetting(0x4C, 0x0100);
  Language = "Chinese";
  Open();
  dialog->CheckMarkClick();
  EXPECT_THAT(Texts(), ::testing::ElementsAre(QString::fromUtf8("获取手动校验使能状态失败！")));
  EXPECT_TRUE(AllClosed());
}

// Checking already on (groups D and E): the check-enable read, then the
// calibration, the threshold read at 20 and the decoded log, in one opening.
TEST_F(CheckMarkTest, CheckingOnGoesStraightToTheCalibration) {
  for (int model : {9, 14}) {
    SCOPED_TRACE(model);
    sim.stop();
    UseUsb(model, PortUSB);
    MarkPaper(0x40);
    sim.setSetting(0x4C, 1);
    sim.setCalibratedThreshold(0x7C);
    Open();
    ASSERT_TRUE(ui().CheckMark->isEnabled());
    sim.clearLog();
    dialog->CheckMarkClick();
    EXPECT_EQ(Frames(sim, "ReadSetting"), (std::vector<Bytes>{{0x1B, 0x6A, 0x4C}, {0x1B, 0x6A, 0x20}}));
    EXPECT_EQ(Frames(sim, "MarkLog").size(), 1u);
    EXPECT_EQ(sim.setting(0x20), 0x7C);
    EXPECT_EQ(Memo(), Decoded(model, 0x7C));
    EXPECT_EQ(Memo().back(), "Actual Sensor Level = 2.42V (Hex:7C)");
    EXPECT_TRUE(ui().CheckMark->isEnabled());
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(AllClosed());
    dialog.reset();
  }
}

TEST_F(CheckMarkTest, GroupACalibrationDecodesTheLogWithTheNewThreshold) {
  UseSerial(0);
  MarkPaper(0x33);
  sim.setCalibratedThreshold(0x80);
  Open();
  EXPECT_EQ(ui().edtAD->text(), "33");
  torva::ScopedPrinterDelayRecorder delays;
  sim.clearLog();
  dialog->CheckMarkClick();
  const Bytes sent = sim.receivedBytes();
  ASSERT_GE(sent.size(), kCalibrationBlock.size());
  EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 28), kCalibrationBlock);
  EXPECT_TRUE(EndsWith(sent, {0x1B, 0x6A, 0x39}));  // the new threshold read after the log
  EXPECT_EQ(sim.setting(0x39), 0x80);
  EXPECT_EQ(Memo(), Decoded(0, 0x80));
  EXPECT_THAT(Memo(), ::testing::Contains(QString("Black mark found ! Lg=96,steps=12mm,U=4.20V")));
  EXPECT_EQ(Memo().back(), "Actual Sensor Level = 2.50V (Hex:80)");
  EXPECT_THAT(delays.waits(), ::testing::Contains(5000));
  EXPECT_TRUE(Texts().empty());
  EXPECT_TRUE(AllClosed());

  // Again in Chinese: the memo starts over.
  Language = "Chinese";
  sim.setCalibratedThreshold(0x90);
  dialog->CheckMarkClick();
  EXPECT_EQ(Memo(), Decoded(0, 0x90, false));
}

// A log that is still arriving when the wait is over is read whole, and the
// threshold read after it is answered by the threshold, not by the log's tail.
TEST_F(CheckMarkTest, LogStillArrivingAfterTheWaitIsReadWhole) {
  UseSerial(2);
  MarkPaper(0x10);
  Bytes log = torva::sim::SimPrinter::MarkLogFor(2);
  for (size_t i = log.size() - 64; i < log.size(); ++i) log[i] = 0x3C;  // a tail that would read as a threshold
  sim.setMarkLog(log);
  sim.setCalibratedThreshold(0x81);
  Open();
  // The printer's wait is 500 ms here; the log starts at 300 ms and takes a
  // second at 5000 bytes a second.
  torva::SetPrinterDelayScale(0.1);
  sim.setMarkLogTiming(300, 5000);
  dialog->CheckMarkClick();
  EXPECT_EQ(Memo(), Decoded(2, 0x81));
  EXPECT_EQ(Memo().back(), "Actual Sensor Level = 2.52V (Hex:81)");
  EXPECT_TRUE(Texts().empty());
  EXPECT_TRUE(AllClosed());
}

// A log shorter than the buffer: read to its end (the line quiet, or a USB
// read that brings nothing) and decoded with the rest of the buffer at 0.
TEST_F(CheckMarkTest, ShortLogIsReadToItsEnd) {
  Bytes log(1500, 0x20);
  for (size_t i = 1 + 8 * 30; i < 1 + 8 * 36; ++i) log[i] = 0xE0;  // a mark from window 30
  for (int kind : {PortCOM, PortUSB}) {
    SCOPED_TRACE(kind);
    UsePort(2, kind);
    MarkPaper(0x20);
    sim.setMarkLog(log);
    sim.setCalibratedThreshold(0x80);
    Open();
    dialog->CheckMarkClick();
    EXPECT_EQ(Memo(), Decoded(2, 0x80));
    EXPECT_THAT(Memo(), ::testing::Contains(QString("Black mark found ! Lg=256,steps=32mm,U=4.38V")));
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(AllClosed());
    dialog.reset();
  }
}

TEST_F(CheckMarkTest, UsbCalibrationBlocksAndGroupHLines) {
  struct Case {
    int model;
    int kind;
    Bytes command;
  } cases[] = {
      {2, PortUSB, kCalibrationBlock},
      {2, PortUSBPrinter, Bytes(kCalibrationBlock.begin() + 3, kCalibrationBlock.end())},
      {11, PortUSBPrinter, {0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04}},
      {13, PortCOM, {0x1D, 0x61, 0x00, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.model) + " on kind " + std::to_string(c.kind));
    UsePort(c.model, c.kind);
    MarkPaper(0x20);
    sim.setCalibratedThreshold(0x70);
    Open();
    ASSERT_TRUE(ui().CheckMark->isEnabled());
    sim.clearLog();
    dialog->CheckMarkClick();
    ASSERT_TRUE(sim.waitForReceived(c.command.size(), 3000));
    const Bytes got = sim.receivedBytes();
    EXPECT_EQ(Bytes(got.begin(), got.begin() + static_cast<long>(c.command.size())), c.command);
    if (c.model == 2) {
      EXPECT_EQ(Memo(), Decoded(2, 0x70));
    } else {
      EXPECT_THAT(Memo(), ::testing::ElementsAre("Send CheckMark command successfully!",
                                                 "Please see the words printed  on the mark paper to make sure "
                                                 "whether calibrate successfully or not"));
      EXPECT_EQ(got.size(), c.command.size());  // nothing read, nothing asked
      EXPECT_EQ(sim.setting(0x20), 0x70);       // the printer stored its threshold
    }
    EXPECT_TRUE(Texts().empty());
    EXPECT_TRUE(AllClosed());
    dialog.reset();
  }
}

// The VD-K773 in its custom mode: the custom channel, its replies framed.
TEST_F(CheckMarkTest, K773CustomModeUsesTheCustomChannel) {
  for (int classMode : {1, 0}) {
    SCOPED_TRACE(classMode);
    sim.stop();
    UseUsb(12, PortUSBPrinter);
    sim.setK773Custom(true, classMode, classMode == 1 ? 2 : 0);
    is773Costom = 1;
    iUSBClassMode = classMode;
    iStatusBytes = classMode == 1 ? 2 : 0;
    sim.setSetting(0x12, 1);
    Open();
    EXPECT_TRUE(ui().CheckMark->isEnabled());
    EXPECT_TRUE(Texts().empty());
    sim.clearLog();
    dialog->CheckMarkClick();
    ASSERT_TRUE(sim.waitForLog(1, 3000));
    EXPECT_EQ(Frames(sim, "MarkCalibration"), (std::vector<Bytes>{{0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04}}));
    EXPECT_EQ(sim.log()[0].channel, "usbprinter");
    EXPECT_EQ(Memo().front(), "Send CheckMark command successfully!");
    EXPECT_TRUE(AllClosed());
    dialog.reset();
  }
}

// A second click on the calibrate button while the first calibration runs
// is dropped, not queued for a second calibration.
TEST_F(CheckMarkTest, ClicksDuringACalibrationDoNotStartAnother) {
  UseSerial(2);
  MarkPaper(0x20);
  Open().show();
  QPushButton* button = ui().CheckMark;
  auto postClick = [&] {
    const QPointF at(button->width() / 2.0, button->height() / 2.0);
    QApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonPress, at, button->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QApplication::postEvent(button, new QMouseEvent(QEvent::MouseButtonRelease, at, button->mapToGlobal(at),
                                                    Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
  };
  sim.clearLog();
  postClick();  // queued behind the click that starts the calibration
  button->click();
  tooltest::WaitFor([] { return false; }, 200);
  EXPECT_EQ(Frames(sim, "MarkLog").size(), 1u);
  EXPECT_TRUE(button->isEnabled());
  EXPECT_TRUE(ui().SetADButton->isEnabled());
  EXPECT_TRUE(ui().ExitButton->isEnabled());
  // The same click, once the dialog is idle, does calibrate.
  postClick();
  tooltest::WaitFor([&] { return Frames(sim, "MarkLog").size() == 2; }, 5000);
  EXPECT_EQ(Frames(sim, "MarkLog").size(), 2u);
  EXPECT_TRUE(Texts().empty());
}

TEST_F(CheckMarkTest, GroupHWriteFailureSaysSoInTheMemo) {
  UseUsb(17, PortUSB);
  MarkPaper(0x20);
  Open();
  PortLibraryCalls calls = CurrentPortLibraryCalls();
  calls.uWrite = [](int, int, const uint8_t*, int) { return -1; };
  ScopedPortLibraryCalls fake(calls);
  dialog->CheckMarkClick();
  EXPECT_THAT(Texts(), ::testing::ElementsAre("Fail to write data!"));
  EXPECT_THAT(Memo(), ::testing::ElementsAre("Send CheckMark command failed!",
                                             "Please confirm whether communication is normal or not. "));
  EXPECT_TRUE(AllClosed());
}

TEST_F(CheckMarkTest, FailedLogReadDecodesNothing) {
  UseUsb(1, PortUSB);
  MarkPaper(0x20);
  Open();
  sim.setFault({torva::sim::Fault::NoReply, 1});
  dialog->CheckMarkClick();
  EXPECT_THAT(Texts(), ::testing::ElementsAre("Fail to read the port!"));
  EXPECT_TRUE(Memo().empty()) << "no sensor level the printer did not report";
  EXPECT_TRUE(AllClosed());
}

// The log comes, the threshold read after it fails: the step is named, in
// the dialog's own words for that read, and no level is shown, neither 0 nor
// any other the printer did not report.
TEST_F(CheckMarkTest, FailedThresholdReadAfterTheLogIsReportedAndShowsNoLevel) {
  using torva::sim::Fault;
  struct Case {
    int model;
    int kind;
    uint8_t address;
    Fault fault;
    int lateMs;
    const char* language;
    const char* text;
  } cases[] = {
      {2, PortCOM, 0x39, Fault::ShortReply, 0, "English",
       "Fail to get the Mark Threshold Value!\r\nPlease check whether the printer is connected to the specified "
       "port correctly."},
      {1, PortUSB, 0x39, Fault::LateReply, 2500, "Chinese", "获取黑标极值失败！\r\n请检查打印机是否连接正确。"},
      {6, PortUSBPrinter, 0x20, Fault::NoReply, 0, "English",
       "Fail to get the Mark Threshold Value!\r\nPlease check whether the printer is connected to the specified "
       "port correctly."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.model) + " on kind " + std::to_string(c.kind));
    UsePort(c.model, c.kind);
    Language = c.language;
    MarkPaper(0x33);
    sim.setSetting(0x4C, 1);  // checking on (group D asks first)
    sim.setCalibratedThreshold(0x80);
    Open();
    ASSERT_EQ(ui().edtAD->text(), "33");
    ASSERT_TRUE(ui().CheckMark->isEnabled());
    sim.clearLog();
    sim.setAddressFault(c.address, {c.fault, 1, c.lateMs});
    dialog->CheckMarkClick();
    EXPECT_EQ(Frames(sim, "MarkLog").size(), 1u);
    EXPECT_EQ(Frames(sim, "ReadSetting").back(), (Bytes{0x1B, 0x6A, c.address})) << "the printer was asked";
    EXPECT_THAT(Texts(), ::testing::ElementsAre(QString::fromUtf8(c.text)));
    EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
    EXPECT_TRUE(Memo().empty());
    EXPECT_EQ(sim.setting(c.address), 0x80);  // what the calibration stored, and nothing written since
    EXPECT_TRUE(AllClosed());
    dialog.reset();
    messages.clear();
    sim.clearFault();
  }
}

TEST_F(CheckMarkTest, ThresholdReadFailureIsReportedOnSerialOnly) {
  UseUsb(2, PortUSBPrinter);
  sim.setAddressFault(0x39, {torva::sim::Fault::NoReply, 1});
  Open();
  EXPECT_TRUE(Texts().empty());
  EXPECT_EQ(ui().edtAD->text(), "0");
  dialog.reset();
  sim.stop();

  UseSerial(2);
  sim.setAddressFault(0x39, {torva::sim::Fault::NoReply, 1});
  Open();
  EXPECT_THAT(Texts(), ::testing::ElementsAre("Fail to get the Mark Threshold Value!\r\nPlease check whether the "
                                              "printer is connected to the specified port correctly."));
  EXPECT_TRUE(AllClosed());
}

TEST_F(CheckMarkTest, OpenFailureNamesThePort) {
  ComParameter.Name = dir + "/no-such-port";
  PortType = PortCOM;
  PrinterName = 2;
  Open();
  EXPECT_THAT(Texts(), ::testing::ElementsAre(QString::fromStdString("Can't open " + dir + "/no-such-port port")));
  dialog.reset();
  messages.clear();
  PortType = PortUSB;  // no USB printer behind the socket
  Language = "Chinese";
  Open();
  EXPECT_THAT(Texts(), ::testing::ElementsAre(QString::fromUtf8("端口 QFUSB-0 打开错误！")));
  dialog.reset();
  messages.clear();
  Language = "English";
  Open();
  EXPECT_THAT(Texts(), ::testing::ElementsAre("Can't open QFUSB-0 port!"));
}

// Nibble mode, Ethernet and the printer queue have no read or write path:
// nothing is opened, read or offered.
TEST_F(CheckMarkTest, KindsWithoutAPathOfferNothing) {
  for (int kind : {PortNibbleLPT, PortNet, PortDriver}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    PrinterName = 2;
    Open();
    EXPECT_FALSE(ui().SetADButton->isEnabled());
    EXPECT_FALSE(ui().CheckMark->isEnabled());
    EXPECT_EQ(ui().edtAD->text(), "0");
    EXPECT_TRUE(Texts().empty());
    EXPECT_EQ(DriverParameter.hPrinter, -1);
    dialog->CheckMarkClick();
    dialog->SetADButtonClick();
    EXPECT_TRUE(Texts().empty());
    dialog.reset();
  }
}

TEST_F(CheckMarkTest, TheThresholdFieldTakesHexDigitsOnly) {
  PortType = PortNet;
  Open();
  QLineEdit* edit = ui().edtAD;
  edit->clear();
  for (QChar c : QString("G1z!a")) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
  }
  EXPECT_EQ(edit->text(), "1a");
  QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(edit, &backspace);
  EXPECT_EQ(edit->text(), "1");
  EXPECT_EQ(edit->maxLength(), 2);
}

// The three layouts in both languages: nothing cut off, the threshold row in
// order, the positions of each layout.
TEST_F(CheckMarkTest, LayoutsAndCaptionsInBothLanguages) {
  PortType = PortNet;
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (int model : {2, 11, 18}) {
      SCOPED_TRACE(std::string(language) + " model " + std::to_string(model));
      PrinterName = model;
      TCheckmarkForm& d = Open();
      const QStringList problems = torva::testing::CaptionProblems(&d);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
      EXPECT_EQ(d.windowTitle(), QString::fromUtf8(Language == "English" ? "Check Mark" : "黑标校验"));
      const QRect label = ui().Label16->geometry(), edit = ui().edtAD->geometry(), hex = ui().Label17->geometry();
      EXPECT_LE(label.right(), edit.left());
      EXPECT_LE(edit.right(), hex.left());
      if (ui().SetADButton->y() < edit.bottom()) {
        EXPECT_LE(hex.right(), ui().SetADButton->geometry().left());
      }
      if (Language == "Chinese") {
        EXPECT_EQ(label.left(), 12);
        EXPECT_EQ(edit.left(), 70);
        EXPECT_EQ(hex.left(), 120);
      }
      for (QWidget* w : d.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (w->isVisibleTo(&d)) {
          EXPECT_TRUE(d.rect().contains(w->geometry())) << w->objectName().toStdString();
        }
      switch (model) {
        case 2:
          EXPECT_TRUE(ui().SetADButton->isVisibleTo(&d));
          EXPECT_TRUE(ui().CheckMark->isVisibleTo(&d));
          EXPECT_EQ(ui().CheckMark->y(), ui().ExitButton->y());
          break;
        case 11:
          for (QWidget* w : {static_cast<QWidget*>(ui().Label16), static_cast<QWidget*>(ui().edtAD),
                             static_cast<QWidget*>(ui().Label17), static_cast<QWidget*>(ui().SetADButton)})
            EXPECT_FALSE(w->isVisibleTo(&d));
          EXPECT_EQ(ui().CheckMark->pos(), QPoint(20, 180));
          EXPECT_EQ(ui().ExitButton->y(), 180);
          break;
        case 18:
          EXPECT_FALSE(ui().CheckMark->isVisibleTo(&d));
          EXPECT_EQ(ui().SetADButton->pos(), QPoint(10, 210));
          EXPECT_EQ(ui().ExitButton->y(), 210);
          break;
      }
      EXPECT_EQ(ui().SetADButton->toolTip(),
                QString::fromUtf8(Language == "English" ? "Set the Mark Threshold to the current value."
                                                        : "设置黑标极值（标记纸判断阀值）为指定数值。"));
      dialog.reset();
    }
  }
}
