// The Test menu's one-shot commands end to end: the real main window, the
// simulated printer on a pseudo-terminal (or TCP for Ethernet), and the
// message recorder in place of the boxes.
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "Facilities.h"
#include "ShellFixture.h"
#include "link/COMUnit.h"
#include "link/NetUnit.h"
#include "link/SerialIo.h"
#include "link/USBUnit.h"
#include "link/UsbPrinterHandle.h"
#include "sim/SimPrinter.h"

using shelltest::ShellTest;
using torva::sim::Bytes;
using torva::sim::SimPrinter;

namespace {

struct Command {
  const char* name;
  void (TMainForm::*handler)();
  Bytes bytes;
};

const Command kCommands[] = {
    {"Reset Printer", &TMainForm::PrinterResetMenuClick, {0x10, 0x04, 0x0A}},
    {"Clear Error", &TMainForm::PrinterClearMenuClick, {0x10, 0x04, 0x0B}},
    {"Feed Paper", &TMainForm::FeedPaperMenuClick, {0x0A}},
    {"Cut", &TMainForm::CutMenuClick, {0x1D, 0x56, 0x42, 0x10}},
    {"Bundler Present", &TMainForm::BundlerPresentMenuClick, {0x1B, 0x63, 0x5B}},
    {"Bundler Retract", &TMainForm::BundlerRetractMenuClick, {0x1B, 0x63, 0x5C}},
};

// What the printer received once `expected` bytes came, plus a short while
// for anything that should not have come.
Bytes Received(const SimPrinter& printer, size_t expected) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while (printer.receivedBytes().size() < expected && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return printer.receivedBytes();
}

class TestMenuTest : public ShellTest {
 protected:
  void UseSerial() {
    const std::string path = printer.startSerial();
    ASSERT_FALSE(path.empty());
    setenv("TORVA_COM1", path.c_str(), 1);
    ComParameter.Name = "COM1";
    PortType = PortCOM;
  }
  SimPrinter printer;
};

}  // namespace

TEST_F(TestMenuTest, EachCommandSendsExactlyItsBytesOnSerial) {
  TMainForm& form = Open();
  UseSerial();
  for (const Command& c : kCommands) {
    SCOPED_TRACE(c.name);
    printer.clearLog();
    (form.*c.handler)();
    EXPECT_EQ(Received(printer, c.bytes.size()), c.bytes);
    EXPECT_EQ(ComParameter.m_hdev, -1);  // closed after the send
    EXPECT_EQ(PortType, PortCOM);
  }
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(TestMenuTest, NoPortGivesOnlyTheWarningInTheCurrentLanguage) {
  struct Lang {
    const char* language;
    const char* text;
    const char* title;
  };
  const Lang langs[] = {
      {"English", "Please configurate the printer's port before other operations!", "Warning"},
      {"Chinese", "在进行此操作前请确认端口配置正确！", "警告"},
  };
  for (const Lang& l : langs) {
    StoreLanguage(l.language);
    TMainForm& form = Open();
    ASSERT_EQ(Language, l.language);
    for (const Command& c : kCommands) {
      SCOPED_TRACE(std::string(l.language) + " " + c.name);
      recorder.clear();
      (form.*c.handler)();
      ASSERT_EQ(recorder.messages().size(), 1u);
      EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Warning);
      EXPECT_EQ(recorder.messages()[0].text.toStdString(), l.text);
      EXPECT_EQ(recorder.messages()[0].title.toStdString(), l.title);
    }
  }
  EXPECT_EQ(ComParameter.m_hdev, -1);
}

TEST_F(TestMenuTest, PortHeldByAnotherProgramCannotBeOpened) {
  TMainForm& form = Open();
  UseSerial();
  Language = "English";
  // Another user of the port: the link's own exclusive open.
  const int holder = OpenCOM(printer.serialPath(), 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(holder, 0);
  form.FeedPaperMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "Can't open the port!");
  EXPECT_EQ(recorder.messages()[0].title.toStdString(), "Error");
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_TRUE(Received(printer, 0).empty());

  // Chinese twin; then the holder lets go and the next send goes through.
  Language = "Chinese";
  recorder.clear();
  form.CutMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "打开端口失败！");
  EXPECT_EQ(recorder.messages()[0].title.toStdString(), "错误");
  CloseCOM(holder);
  recorder.clear();
  form.FeedPaperMenuClick();
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(Received(printer, 1), Bytes({0x0A}));
}

TEST_F(TestMenuTest, WriteFailureReportsAndClosesThePort) {
  // /dev/full opens for reading and writing, and every write to it fails:
  // a parallel port whose printer refuses the data.
  struct stat st {};
  TORVA_REQUIRE_FACILITY(stat("/dev/full", &st) != 0 ? "no /dev/full" : "");
  TMainForm& form = Open();
  setenv("TORVA_LPT1", "/dev/full", 1);
  LPTParameter.Name = "LPT1";
  PortType = PortLPT;
  Language = "English";
  form.FeedPaperMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "Write the port error!");
  EXPECT_EQ(LPTParameter.m_hdev, -1);
  EXPECT_EQ(PortType, PortLPT);  // the next command tries again

  Language = "Chinese";
  recorder.clear();
  EXPECT_EQ(form.OpenAndSenddata(TestCommands::CutPaperCommand, 4), SendWriteFailed);
  EXPECT_EQ(LPTParameter.m_hdev, -1);
  form.BundlerPresentMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "发送数据失败！");
}

// A serial printer that holds CTS low: the command's bytes stay in the port's
// output queue (a pseudo-terminal has no CTS; the seam plays the queue), so
// the send is a write failure, not a success, and the port is closed.
namespace {
int HeldOutputQueue(int, int* count) {
  *count = 1;
  return 0;
}
}  // namespace

TEST_F(TestMenuTest, CtsHeldLowGivesTheWriteError) {
  TMainForm& form = Open();
  UseSerial();
  Language = "English";
  SerialCalls calls = RealSerialCalls();
  calls.outQueue = HeldOutputQueue;
  {
    ScopedSerialCalls ctsLow(calls);
    form.FeedPaperMenuClick();
  }
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "Write the port error!");
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(PortType, PortCOM);  // the next command tries again

  // The line lets go: the next command goes through.
  recorder.clear();
  printer.clearLog();
  form.CutMenuClick();
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(Received(printer, 4), Bytes({0x1D, 0x56, 0x42, 0x10}));
}

TEST_F(TestMenuTest, OpenAndSenddataLeavesThePortOpenForTheCaller) {
  TMainForm& form = Open();
  UseSerial();
  EXPECT_EQ(form.OpenAndSenddata(TestCommands::FeedLineCommand, 1), SendOK);
  EXPECT_GT(ComParameter.m_hdev, 0);
  form.ClosePort();
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(Received(printer, 1), Bytes({0x0A}));

  // A missing device: nothing written, nothing left open.
  ComParameter.Name = root.toStdString() + "/no-such-tty";
  EXPECT_EQ(form.OpenAndSenddata(TestCommands::FeedLineCommand, 1), SendOpenFailed);
  EXPECT_EQ(ComParameter.m_hdev, -1);
}

TEST_F(TestMenuTest, ClosePortThenTheWarning) {
  TMainForm& form = Open();
  UseSerial();
  Language = "English";
  ASSERT_EQ(form.OpenAndSenddata(TestCommands::FeedLineCommand, 1), SendOK);  // left open on purpose
  form.PortCloseMenuClick();
  EXPECT_EQ(PortType, PortNone);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(ComParameter.Name, "COM1");  // the record keeps its parameters
  form.CutMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(),
            "Please configurate the printer's port before other operations!");
  EXPECT_EQ(Received(printer, 1), Bytes({0x0A}));  // the cut never went out

  // With nothing open, Close Port only forgets the port kind.
  PortType = PortCOM;
  form.PortCloseMenuClick();
  EXPECT_EQ(PortType, PortNone);
}

TEST_F(TestMenuTest, EthernetKeepsItsConnectionUntilClosePort) {
  TMainForm& form = Open();
  const int port = printer.startTcp(0);
  ASSERT_GT(port, 0);
  setenv("TORVA_NET_PORT", std::to_string(port).c_str(), 1);
  PNET.IPAddress = "127.0.0.1";
  PNET.connecttime = 3;
  PNET.writetime = 5;
  PNET.readtime = 5;
  ASSERT_TRUE(OpenNetPort());
  PortType = PortNet;

  form.BundlerRetractMenuClick();
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(Received(printer, 3), Bytes({0x1B, 0x63, 0x5C}));
  EXPECT_TRUE(PNET.status);  // still connected

  form.PortCloseMenuClick();
  EXPECT_FALSE(PNET.status);
  EXPECT_EQ(PortType, PortNone);
}

TEST_F(TestMenuTest, UsbPrinterHandleIsClosedByTheChannelThatOpenedIt) {
  // Nothing is open: closing does nothing.
  USBPrinterParameter.m_hdev = -1;
  CloseUsbPrinterHandle();
  EXPECT_EQ(USBPrinterParameter.m_hdev, -1);

  // A handle opened by the plain call stays plain even when the model is
  // switched to the custom mode afterwards.
  PortType = PortUSBPrinter;
  PrinterName = ModelVDK773;
  USBPrinterParameter.m_hdev = 41;
  RememberUsbPrinterHandle(41, UsbPrinterChannel::Plain);
  is773Costom = 1;
  EXPECT_EQ(UsbPrinterHandleChannel(), UsbPrinterChannel::Plain);

  // A handle nobody recorded is taken by the current mode.
  USBPrinterParameter.m_hdev = 42;
  EXPECT_EQ(UsbPrinterHandleChannel(), UsbPrinterChannel::Custom);
  is773Costom = 0;
  EXPECT_EQ(UsbPrinterHandleChannel(), UsbPrinterChannel::Plain);
  RememberUsbPrinterHandle(42, UsbPrinterChannel::Custom);
  EXPECT_EQ(UsbPrinterHandleChannel(), UsbPrinterChannel::Custom);
  USBPrinterParameter.m_hdev = -1;
}

namespace {

class UsbTestMenuTest : public TestMenuTest {
 protected:
  void SetUp() override {
    TestMenuTest::SetUp();
    socketPath = (root + "/usb.sock").toStdString();
    printer.startUsbSocket(socketPath);
    setenv("TORVA_USB_SIM", socketPath.c_str(), 1);
  }
  std::string socketPath;
};

}  // namespace

TEST_F(UsbTestMenuTest, UsbDeviceSendsAndCloses) {
  TMainForm& form = Open();
  USBParameter.X = 0;
  PortType = PortUSB;
  form.CutMenuClick();
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(Received(printer, 4), Bytes({0x1D, 0x56, 0x42, 0x10}));
  EXPECT_EQ(USBParameter.m_hdev, -1);
}

TEST_F(UsbTestMenuTest, UsbPrinterHandleStaysOpenUntilTheNextSendOrClosePort) {
  char names[UsbPrinter::kEnumBufferSize] = {};
  ASSERT_GE(UsbPrinter::EnumUSBPrinter(names, sizeof names), 1);
  std::string name(names);
  name = name.substr(0, name.find('@'));
  ASSERT_FALSE(name.empty());
  TMainForm& form = Open();
  USBPrinterParameter.Name = name;
  PortType = PortUSBPrinter;

  form.FeedPaperMenuClick();
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_NE(USBPrinterParameter.m_hdev, -1);  // left open, as the channel remembers
  EXPECT_EQ(UsbPrinterHandleChannel(), UsbPrinterChannel::Plain);
  // The simulator feeds each connection's bytes on a thread of its own: the
  // line feed is in before the next connection sends, as on a real printer.
  ASSERT_TRUE(printer.waitForLog(1, 3000));
  form.BundlerPresentMenuClick();  // closes the old handle, opens a new one
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(Received(printer, 4), Bytes({0x0A, 0x1B, 0x63, 0x5B}));
  form.PortCloseMenuClick();
  EXPECT_EQ(USBPrinterParameter.m_hdev, -1);
  EXPECT_EQ(PortType, PortNone);

  // A printer that is not there.
  PortType = PortUSBPrinter;
  USBPrinterParameter.Name = "no such printer";
  form.FeedPaperMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "打开端口失败！");
  EXPECT_EQ(USBPrinterParameter.m_hdev, -1);
}
