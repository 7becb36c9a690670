// The console on the USB kinds, end to end through the link's simulator
// backend: status records and replies read after a Send, the vendor
// requests, the VD-K773 custom mode in both class modes, and the reader's
// lifetime against Exit and quick Sends.
#include "ConsoleFixture.h"
#include "link/USBUnit.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;
using torva::tools::TGetBufThread;

namespace {

class ConsoleUsb : public ConsoleTest {
 protected:
  bool ShowsExactly(const QString& text, int ms = 5000) {
    return ReaderDone(ms) && console->receiveText() == text;
  }
};

}  // namespace

TEST_F(ConsoleUsb, AutoStatusShowsTheModelsRecordThenData) {
  UseUsb(PortUSB);
  sim.setStatusRecord({0x12, 0x00, 0x34, 0x56});
  sim.setQueryReply({0x1B, 0x76}, 0x0C);
  TPrintTestForm& c = Open();
  EXPECT_FALSE(Button("DisplayButton")->isEnabled());
  ASSERT_GT(USBParameter.m_hdev, 0);
  Send("1D 61 FF 1B 76");
  EXPECT_TRUE(ShowsExactly("12 00 34 56 0C ")) << c.receiveText().toStdString();
  EXPECT_EQ(Notice(), QStringList{"Execute command successfully!"});
  EXPECT_FALSE(Include1D61);  // the record was shown
  // Text mode: the record byte by byte with 00 as NULL.
  Box("HexFormatCheckBox1")->click();
  c.ClearButton2Click();
  Send("1D 61 FF");
  EXPECT_TRUE(ShowsExactly(QString::fromUtf8("\u0012NULL4V"))) << c.receiveText().toStdString();
}

TEST_F(ConsoleUsb, ReadSettingWaitsThenShowsTheReply) {
  UseUsb(PortUSB);
  sim.setSetting(0x04, 0x3412);
  TPrintTestForm& c = Open();
  torva::ScopedPrinterDelayRecorder delays;
  Send("1b 6a 04");
  EXPECT_TRUE(ShowsExactly("12 34 ")) << c.receiveText().toStdString();
  const std::vector<int> waits = delays.waits();
  EXPECT_NE(std::find(waits.begin(), waits.end(), 210), waits.end());
  // 1D 61 03 reads a status record with no 210 ms wait.
  delays.clear();
  Send("1D 61 03");
  EXPECT_TRUE(ReaderDone());
  for (int w : delays.waits()) EXPECT_NE(w, 210);
}

TEST_F(ConsoleUsb, LineFeedReadsNothingOnTheDeviceButReadsOnThePrinter) {
  UseUsb(PortUSB);
  TPrintTestForm& c = Open();
  Send("0A");
  Send("1D 61 02");  // an even n switches nothing on: no reader either
  EXPECT_EQ(c.reader().generation(), 0u);
  EXPECT_TRUE(Received({0x0A, 0x1D, 0x61, 0x02}));
  // A text Send always looks for an answer.
  Send("x", false);
  EXPECT_EQ(c.reader().generation(), 1u);
  EXPECT_TRUE(ReaderDone());
  console.reset();

  PortType = PortUSBPrinter;
  TPrintTestForm& p = Open();
  ASSERT_GT(USBPrinterParameter.m_hdev, 0);
  Send("0A");
  EXPECT_EQ(p.reader().generation(), 1u);
  EXPECT_TRUE(ReaderDone());
  EXPECT_EQ(p.receiveText(), "");
}

TEST_F(ConsoleUsb, ResetAndClearErrorAreVendorRequests) {
  UseUsb(PortUSB);
  PrinterName = ModelVDM512II;
  TPrintTestForm& c = Open();
  c.PrinterResetButtonClick();
  c.ClearButtonClick();
  c.FeedPaperButtonClick();
  EXPECT_TRUE(WaitFor([&] { return sim.log().size() >= 3; }, 3000));
  std::vector<std::string> names;
  for (const auto& e : sim.log()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"VendorReset", "VendorClearError", "FeedLine"}));
  EXPECT_EQ(Notice(), (QStringList{"Reset printer Successfully!", "Clear Error successfully!",
                                   "Feed paper successfully!"}));
  EXPECT_TRUE(Received({0x0A}));
}

// The USB printer: the printer-class and the VD-K773 custom paths.
TEST_F(ConsoleUsb, UsbPrinterPaths) {
  UseUsb(PortUSBPrinter);
  sim.setQueryReply({0x1D, 0x72, 0x02}, 0x07);
  TPrintTestForm& c = Open();
  Send("1D 72 02");
  EXPECT_TRUE(ShowsExactly("07 ")) << c.receiveText().toStdString();
  console.reset();

  // The VD-K772 answers its eight-byte record on the printer's status request.
  sim.setModel(ModelVDK772);
  PrinterName = ModelVDK772;
  USBPrinterParameter.Name = sim.printerName();  // the printer list shows the model's name
  sim.setStatusRecord({1, 2, 3, 4, 5, 6, 7, 8});
  TPrintTestForm& k = Open();
  Send("1D 61 FF");
  EXPECT_TRUE(ShowsExactly("01 02 03 04 05 06 07 08 ")) << k.receiveText().toStdString();
  EXPECT_FALSE(Include1D61);
}

TEST_F(ConsoleUsb, K773CustomModeInBothClassModes) {
  UseUsb(PortUSBPrinter);
  sim.setModel(ModelVDK773);
  PrinterName = ModelVDK773;
  USBPrinterParameter.Name = sim.printerName();
  is773Costom = 1;
  sim.setStatusRecord({1, 2, 3, 4, 5, 6});
  sim.setQueryReply({0x1B, 0x76}, 0x0C);
  for (int classMode : {1, 0}) {
    SCOPED_TRACE(classMode);
    const int statusBytes = classMode == 1 ? 2 : 0;
    sim.setK773Custom(true, classMode, statusBytes);
    iUSBClassMode = classMode;
    iStatusBytes = statusBytes;
    TPrintTestForm& c = Open();
    ASSERT_GT(USBPrinterParameter.m_hdev, 0);
    // A reply: its class byte and status bytes are not shown.
    Send("1B 76");
    EXPECT_TRUE(ShowsExactly("0C ")) << c.receiveText().toStdString();
    c.ClearButton2Click();
    // Automatic status: the record the printer sends by itself.
    Send("1D 61 FF");
    EXPECT_TRUE(ReaderDone());
    EXPECT_TRUE(c.receiveText().startsWith("01 02 03 04 05 06 ")) << c.receiveText().toStdString();
    EXPECT_EQ(iReadType, 0);
    EXPECT_EQ(iStatusBytes, statusBytes);
    Send("1D 61 00");
    EXPECT_TRUE(ReaderDone());
    console.reset();
    EXPECT_EQ(USBPrinterParameter.m_hdev, -1);
  }
}

TEST_F(ConsoleUsb, FailedWriteClosesTheConnectionUntilTheNextOpening) {
  UseUsb(PortUSB);
  USBParameter.Name = "QFUSB-3";
  Open();
  const int handle = USBParameter.m_hdev;
  ASSERT_GT(handle, 0);
  sim.stop();  // the printer is gone
  Send("0A");
  EXPECT_EQ(USBParameter.m_hdev, -1);
  Send("0A");
  EXPECT_EQ(Notice(), (QStringList{"Write QFUSB-3 port error!", "Write QFUSB-3 port error!"}));
  // A failed fixed command leaves the port as it is.
  console->CutButtonClick();
  EXPECT_EQ(Notice().last(), "Write QFUSB-3 port error!");
}

// Exit in the middle of a pass: the reader is joined before the port closes
// and nothing it read reaches the box afterwards.
TEST_F(ConsoleUsb, ExitMidPassJoinsTheReaderFirst) {
  UseUsb(PortUSB);
  TPrintTestForm& c = Open();
  Send("1B 76");  // the reader is reading
  ASSERT_TRUE(c.reader().running() || c.readerIdle());
  c.ExitButtonClick();
  EXPECT_FALSE(c.reader().running());
  EXPECT_EQ(TGetBufThread::LiveThreads(), 0);
  EXPECT_EQ(USBParameter.m_hdev, -1);
  const QString shown = c.receiveText();
  WaitFor([] { return false; }, 100);
  EXPECT_EQ(c.receiveText(), shown);
}

// Sends in quick succession: each stops and joins the reader before it writes.
TEST_F(ConsoleUsb, QuickSendsNeverRunTwoReaders) {
  UseUsb(PortUSBPrinter);
  sim.setQueryReply({0x10, 0x04, 0x01}, 0x16);
  TPrintTestForm& c = Open();
  for (int i = 0; i < 10; ++i) {
    Send("10 04 01");
    ASSERT_LE(TGetBufThread::LiveThreads(), 1);
  }
  EXPECT_TRUE(ReaderDone());
  EXPECT_EQ(Notice().size(), 10);
  // Every reply arrived, in order, whichever reader read it.
  EXPECT_TRUE(WaitFor([&] { return c.receiveText().size() >= 3; }, 3000));
  EXPECT_TRUE(c.receiveText().startsWith("16 "));
}

// A fixed command while a reader is in its pass (the printer is silent: the
// read waits out its time-out): the console does not stop the reader, the
// command goes out (the simulator's connection takes one call at a time, so
// here it may follow the read), and the reader ends by itself.
TEST_F(ConsoleUsb, FixedCommandsGoOutBesideAReaderInItsPass) {
  UseUsb(PortUSBPrinter);
  TPrintTestForm& c = Open();
  Send("0A");
  const uint64_t reader = c.reader().generation();
  c.CutButtonClick();
  EXPECT_EQ(c.reader().generation(), reader);
  EXPECT_TRUE(Received({0x0A, 0x1D, 0x56, 0x42, 0x10}));
  EXPECT_EQ(Notice().last(), "Cut paper successfully!");
  EXPECT_TRUE(ReaderDone());
  EXPECT_EQ(TGetBufThread::LiveThreads(), 0);
}
