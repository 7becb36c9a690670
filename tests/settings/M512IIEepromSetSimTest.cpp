// The VD-M512II editor against the simulated printer, on a pseudo-terminal
// and on the simulator's USB socket: Get, Save, a printer that stops
// answering, refused values, and the 7-data-bit road through the termios seam.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <atomic>
#include <functional>
#include <thread>

#include "EditorSimSupport.h"
#include "EventWait.h"
#include "SettingsEditorTestSupport.h"
#include "gui/FileDialogs.h"
#include "link/SerialIo.h"
#include "settings/M512EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;
using settings_test::Child;
using settings_test::DataBitsSwitches;
using settings_test::FakeTermios;
using settings_test::Names;
using settings_test::ReadAddresses;

namespace {

const std::vector<int> kGetOrder = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x06, 0x02, 0x12, 0x43, 0x54,
                                    0x30, 0x59, 0x14, 0x3E, 0x60, 0x2B, 0x3C, 0x78, 0x52};

class EditorSimTest : public settings_test::SimPrinterEditorTest {
 protected:
  EditorSimTest() : SimPrinterEditorTest(2) {}
  void SetUp() override {
    SimPrinterEditorTest::SetUp();
    UseSerial(38400);
  }
};

}  // namespace

TEST_F(EditorSimTest, GetShowsTheSimulatorsValues) {
  printer_.setSetting(0x16, 7);     // 115200
  printer_.setSetting(0x17, 0x07);  // 7 data bits
  printer_.setSetting(0x19, 0xFF);  // FF shows "2"
  printer_.setSetting(0x1B, 1);     // odd
  printer_.setSetting(0x06, 80);    // slow: light motor load
  printer_.setSetting(0x02, 200);   // dark: heavy head load
  printer_.setSetting(0x12, 1);
  printer_.setSetting(0x59, 1);
  printer_.setSetting(0x60, 2);
  printer_.setSetting(0x2B, 65535);
  printer_.setSetting(0x52, 100);
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_FALSE(form.resultIsRed());
  EXPECT_EQ(form.stateText(), "Printer state: light motor load, heavy TPH load.");
  EXPECT_TRUE(form.stateIsOlive());
  EXPECT_TRUE(form.saveEnabled());
  EXPECT_EQ(Child<QComboBox>(form, "cboComBaudRate")->currentText(), "115200");
  EXPECT_EQ(Child<QComboBox>(form, "cboComDataBits")->currentText(), "7");
  EXPECT_EQ(Child<QComboBox>(form, "cboComStopBits")->currentText(), "2");
  EXPECT_EQ(Child<QComboBox>(form, "cboComParity")->currentText(), "Odd");
  const EditorState s = form.state();
  EXPECT_EQ(s.speed, "80");
  EXPECT_EQ(s.darkness, "200");
  EXPECT_EQ(s.paperType, 1);
  EXPECT_EQ(s.beeper, 0);
  EXPECT_EQ(s.paperOutMode, 2);
  EXPECT_EQ(s.feedLine, "65535");
  EXPECT_EQ(s.autoSpeed, "100");
  EXPECT_EQ(ReadAddresses(printer_), kGetOrder);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1) << "the port is closed after the Get";
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(EditorSimTest, FreshPrinterReadsNormal) {
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.stateText(), "Printer state: Normal.");
  EXPECT_FALSE(form.stateIsOlive());
}

TEST_F(EditorSimTest, RepliesTheEditorDoesNotAcceptEndTheGet) {
  struct Case {
    int address;
    uint16_t value;
    const char* result;
    size_t reads;  // reads sent before the Get stopped
  };
  const Case cases[] = {
      {0x16, 5, "Fail to get COM's baud rate!", 1},  // 2400 baud
      {0x16, 6, "Fail to get COM's baud rate!", 1},  // 1200 baud
      {0x41, 2, "Fail to get COM's flow control!", 2},
      {0x02, 0, "Fail to get print darkness!", 7},
      {0x59, 2, "Fail to get beeper flag!", 12},
      {0x3E, 0xFFFF, "Fail to get bPresenterEnable flag!", 14},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.result);
    printer_.setModel(2);
    printer_.setSetting(c.address, c.value);
    printer_.clearLog();
    TM512IIEepromSetForm form;
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), c.result);
    EXPECT_TRUE(form.resultIsRed());
    EXPECT_FALSE(form.saveEnabled());
    EXPECT_EQ(ReadAddresses(printer_).size(), c.reads);
  }
}

TEST_F(EditorSimTest, SpeedOutsideItsRangeShowsMinusOneAndSaveRefusesIt) {
  printer_.setSetting(0x06, 200);
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().speed, "-1");
  EXPECT_EQ(form.stateText(), "Printer state: light motor load.");
  const size_t before = printer_.receivedBytes().size();
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "The input of print speed is invalid!");
  EXPECT_EQ(printer_.receivedBytes().size(), before) << "a refused Save sends nothing";
  EXPECT_EQ(Child<QPushButton>(form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
}

TEST_F(EditorSimTest, EditAndSaveWritesTheMemoryInOneQueuedWriteThenTheLineFeed) {
  printer_.setSetting(0x41, 1);  // xon/xoff: the flow box shows nothing
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_TRUE(form.saveEnabled());
  EXPECT_EQ(form.state().flow, -1);
  EditorState s = form.state();
  s.speed = "120";
  s.darkness = "90";
  s.dataBits = 1;  // "7"
  s.feedLine = "65535";  // the largest feed line
  s.waitTime = "30";
  s.autoSpeed = "100";
  s.stopOnNearEnd = true;
  form.setState(s);
  printer_.clearLog();
  const size_t before = printer_.receivedBytes().size();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Information);
  EXPECT_EQ(messages_.messages()[0].text, "After feeding paper,Please turn off the printer and turn it on!");
  WaitLog(20);

  // Nineteen write commands, back to back in the table's order, then the line feed.
  std::vector<std::string> expected(19, "WriteSetting");
  expected.push_back("FeedLine");
  EXPECT_EQ(Names(printer_), expected);
  const auto bytes = printer_.receivedBytes();
  ASSERT_EQ(bytes.size() - before, 172u);
  const Bytes sent(bytes.begin() + static_cast<long>(before), bytes.end());
  SettingsFileWriter w;
  const std::pair<int, int> values[] = {{0x16, 2}, {0x41, 1},    {0x17, 7},  {0x19, 1},  {0x1B, 0},
                                        {0x06, 120}, {0x02, 90}, {0x12, 0},  {0x43, 1},  {0x54, 1},
                                        {0x30, 1},  {0x14, 0},   {0x59, 0},  {0x3E, 1},  {0x60, 0},
                                        {0x2B, 65535}, {0x3C, 30}, {0x78, 0}, {0x52, 100}};
  for (const auto& [address, value] : values) w.SaveSettingsToFile(address, value);
  Bytes want = w.Finish("");
  want.push_back(0x0A);
  EXPECT_EQ(sent, want);
  EXPECT_EQ(printer_.setting(0x06), 120);
  EXPECT_EQ(printer_.setting(0x02), 90);
  EXPECT_EQ(printer_.setting(0x17), 7);
  EXPECT_EQ(printer_.setting(0x2B), 65535);
  EXPECT_EQ(printer_.setting(0x41), 1) << "flow control 1 is written again";
  EXPECT_EQ(ComParameter.Databits, 8) << "this editor never changes the port's data bits";
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(EditorSimTest, PrinterThatStopsAnsweringMidGet) {
  for (Fault fault : {Fault::NoReply, Fault::ShortReply, Fault::LateReply}) {
    SCOPED_TRACE(static_cast<int>(fault));
    printer_.clearFault();
    printer_.setModel(2);
    printer_.setSetting(0x06, 120);
    printer_.setAddressFault(0x02, FaultSpec{fault, -1, 1500});
    printer_.clearLog();
    std::atomic<int> replies{0};
    printer_.setReplyObserver([&](const std::string&, const Bytes&) { ++replies; });
    TM512IIEepromSetForm form;
    QuickReads(form);
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), "Fail to get print darkness!");
    EXPECT_TRUE(form.resultIsRed());
    EXPECT_FALSE(form.saveEnabled());
    EXPECT_EQ(form.state().speed, "120") << "what was read before stays";
    EXPECT_EQ(form.state().darkness, "110") << "the rest keeps its value";
    EXPECT_EQ(ReadAddresses(printer_).size(), 7u);
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);

    // The printer answers again: a late or partial reply of the failed read
    // never lands on the settings of the next Get.
    printer_.clearFault();
    printer_.setSetting(0x16, 0);  // 9600: its code 0 must not be a stray byte
    if (fault == Fault::LateReply) {
      // Six replies came in time; wait (bounded) for the seventh, the late
      // one, to be on the line before the next Get opens the port.
      for (int i = 0; i < 300 && replies.load() < 7; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      EXPECT_EQ(replies.load(), 7);
      // Its two bytes (and a stray one after them) wait at the port.
      printer_.sendUnsolicited({0x55});
      EXPECT_TRUE(settings_test::WaitPtyInput(printer_.serialPath(), 3));
    }
    printer_.setReplyObserver(nullptr);
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
    EXPECT_EQ(Child<QComboBox>(form, "cboComBaudRate")->currentText(), "9600");
    EXPECT_EQ(form.state().darkness, "110");
    EXPECT_TRUE(form.saveEnabled());
  }
}

TEST_F(EditorSimTest, SecondFailedGetKeepsSaveEnabled) {
  TM512IIEepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_TRUE(form.saveEnabled());
  printer_.setAddressFault(0x16, FaultSpec{Fault::NoReply, -1, 0});
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get COM's baud rate!");
  EXPECT_TRUE(form.saveEnabled());
}

TEST_F(EditorSimTest, PortThatCannotOpen) {
  ComParameter.Name = path("no-such-tty").toStdString();
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages_.messages()[0].text, "Can't open " + path("no-such-tty") + " port!");
  Language = "Chinese";
  messages_.clear();
  form.setState([] {
    EditorState s;
    s.feedLine = "19";
    s.autoSpeed = "28";
    return s;
  }());
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "端口 " + path("no-such-tty") + " 打开错误！");
  EXPECT_EQ(Child<QPushButton>(form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
  EXPECT_EQ(form.resultText(), "");
}

// A Save whose port does not open empties the result line (the last Get's
// success does not stand beside the error); the state line keeps the text
// and colour of the last Get.
TEST_F(EditorSimTest, SaveThatCannotOpenKeepsOnlyTheStateLine) {
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.stateText(), "Printer state: Normal.");
  EditorState s = form.state();
  s.speed = "80";
  s.darkness = "200";
  form.setState(s);
  ComParameter.Name = path("gone").toStdString();
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(form.resultText(), "");
  EXPECT_EQ(form.stateText(), "Printer state: Normal.");
  EXPECT_FALSE(form.stateIsOlive());
}

// Every road that ends an action without success leaves no earlier
// "successfully" standing in the result line beside the box that says
// otherwise: a port that does not open, a refused Save or Export, an export
// file that cannot be created.
TEST_F(EditorSimTest, NoFailedRoadLeavesAnEarlierSuccessStanding) {
  const std::string port = ComParameter.Name;
  QString file;
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  struct Road {
    const char* name;
    std::function<void(TM512IIEepromSetForm&)> act;
  };
  const auto slow = [](TM512IIEepromSetForm& f) {
    EditorState s = f.state();
    s.speed = "24";
    f.setState(s);
  };
  const Road roads[] = {
      {"Get, no port",
       [&](TM512IIEepromSetForm& f) {
         ComParameter.Name = path("gone").toStdString();
         f.btnGetSettingsFromPrinterClick();
       }},
      {"Save, no port",
       [&](TM512IIEepromSetForm& f) {
         ComParameter.Name = path("gone").toStdString();
         f.btnSaveSettingsToPrinterClick();
       }},
      {"Save refused", [&](TM512IIEepromSetForm& f) { slow(f); f.btnSaveSettingsToPrinterClick(); }},
      {"Export refused", [&](TM512IIEepromSetForm& f) {
         slow(f);
         file = path("refused.pes");
         f.btnExportSettingsToFileClick();
       }},
      {"Export, no folder", [&](TM512IIEepromSetForm& f) {
         EditorState s = f.state();
         s.feedLine = "19";
         s.autoSpeed = "28";
         f.setState(s);
         file = path("no-folder/x.pes");
         f.btnExportSettingsToFileClick();
       }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    ComParameter.Name = port;
    TM512IIEepromSetForm form;
    EditorState s = form.state();
    s.feedLine = "19";
    s.autoSpeed = "28";
    form.setState(s);
    form.btnGetSettingsFromPrinterClick();
    ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
    messages_.clear();
    road.act(form);
    EXPECT_EQ(messages_.messages().size(), 1u) << "a box says what went wrong";
    EXPECT_EQ(form.resultText(), "");
    EXPECT_FALSE(form.resultIsRed());
  }
}

// A refused value sends nothing at all: the port is not even opened.
TEST_F(EditorSimTest, RefusedValuesSendNothing) {
  struct Case {
    const char* name;
    void (*edit)(EditorState&);
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {"speed", [](EditorState& s) { s.speed = "24"; }, "The input of print speed is invalid!", "“print speed”非法输入！"},
      {"darkness", [](EditorState& s) { s.darkness = "255"; }, "The input of print darkness is invalid!",
       "“print darkness”非法输入！"},
      // One-character values are assigned as strings: GCC 12 at -O3 takes the
      // assignment from a one-character literal for an overlapping copy
      // (-Wrestrict, a false alarm).
      {"format", [](EditorState& s) { s.waitTime = std::string("x"); }, "The input of format is invalid!",
       "非法输入！"},
      {"feed line", [](EditorState& s) { s.feedLine = std::string("0"); },
       "The input of feed line in mark mode is invalid!", "“feed line in mark mode”非法输入！"},
      // Past 16 bits: refused, not written as 4464 with success reported.
      {"feed line 70000", [](EditorState& s) { s.feedLine = "70000"; },
       "The input of feed line in mark mode is invalid!", "“feed line in mark mode”非法输入！"},
  };
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  const EditorState good = form.state();
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      messages_.clear();
      EditorState s = good;
      c.edit(s);
      form.setState(s);
      const size_t before = printer_.receivedBytes().size();
      form.btnSaveSettingsToPrinterClick();
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].text, Language == "English" ? c.english : c.chinese);
      EXPECT_EQ(printer_.receivedBytes().size(), before);
      EXPECT_EQ(ComParameter.m_hdev.load(), -1);
    }
  }
}

TEST_F(EditorSimTest, VDM512WithBaudCodeSevenRefusesToSave) {
  printer_.setModel(1);
  printer_.setSetting(0x16, 7);
  TM512EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(Child<QComboBox>(form, "cboComBaudRate")->currentIndex(), -1);
  const size_t before = printer_.receivedBytes().size();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to save COM's baud rate!");
  EXPECT_TRUE(form.resultIsRed());
  EXPECT_EQ(printer_.receivedBytes().size(), before);
}

TEST_F(EditorSimTest, OtherPortKindsOpenNothingAndFail) {
  for (int kind : {PortNibbleLPT, PortLPT, PortNet}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    TM512IIEepromSetForm form;
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), "Fail to get COM's baud rate!");
    EditorState s;
    s.feedLine = "19";
    s.autoSpeed = "28";
    form.setState(s);
    form.btnSaveSettingsToPrinterClick();
    EXPECT_EQ(form.resultText(), "Fail to save COM's baud rate!") << "not a success with nothing sent";
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
}

class EditorSevenBitTest : public EditorSimTest {
 protected:
  void SetUp() override {
    EditorSimTest::SetUp();
    FakeTermios::Reset();
    FakeTermios::printer = &printer_;
    ComParameter.Databits = 7;
  }
  void TearDown() override {
    FakeTermios::printer = nullptr;
    EditorSimTest::TearDown();
    FakeTermios::Reset();
  }
  ScopedSerialCalls seam_{FakeTermios::Calls()};
};

TEST_F(EditorSevenBitTest, GetSwitchesToEightAndBack) {
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  WaitLog(21);  // the switch back is the last write: it may still be on its way
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  const auto names = Names(printer_);
  ASSERT_EQ(names.size(), 21u);
  EXPECT_EQ(names.front(), "TempDataBits");
  EXPECT_EQ(names.back(), "TempDataBits");
  EXPECT_EQ(printer_.dataBits(), 7);
  // Opened at 7, reopened at 8 for the exchange, reopened at 7 after it.
  EXPECT_EQ(FakeTermios::sizes, (std::vector<int>{7, 8, 7}));
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(EditorSevenBitTest, FailedGetStillSwitchesBack) {
  printer_.setAddressFault(0x06, FaultSpec{Fault::NoReply, -1, 0});
  TM512IIEepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get print speed!");
  WaitLog(8);

  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes.back(), 7);
}

TEST_F(EditorSevenBitTest, SaveSwitchesBackBeforeTheLineFeed) {
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_TRUE(form.saveEnabled());
  printer_.clearLog();
  FakeTermios::Reset();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  WaitLog(22);
  const auto names = Names(printer_);
  ASSERT_EQ(names.size(), 22u);
  EXPECT_EQ(names[0], "TempDataBits");
  EXPECT_EQ(names[20], "TempDataBits");
  EXPECT_EQ(names[21], "FeedLine");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes, (std::vector<int>{7, 8, 7}));
  EXPECT_EQ(ComParameter.Databits, 7);
}

TEST_F(EditorSevenBitTest, RefusedSaveNeverSwitches) {
  TM512IIEepromSetForm form;
  EditorState s;
  s.speed = "10";
  form.setState(s);
  form.btnSaveSettingsToPrinterClick();
  EXPECT_TRUE(printer_.receivedBytes().empty());
  EXPECT_TRUE(FakeTermios::sizes.empty()) << "the port was never opened";
}

TEST_F(EditorSevenBitTest, PortThatCannotReopenAtEightRefusesTheSave) {
  // The printer takes the switch but the port cannot reopen at 8: the setters
  // refuse and nothing is written. The port is reopened at the configured 7
  // on the way out and closed (the printer, now at 8, cannot be told to go
  // back over a port that did not open).
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_TRUE(form.saveEnabled());
  printer_.clearLog();
  FakeTermios::Reset();
  static int opens;
  opens = 0;
  SerialCalls eightFails = FakeTermios::Calls();
  eightFails.setAttr = [](int fd, int action, const termios* t) {
    if ((t->c_cflag & CSIZE) == CS8 && ++opens == 1) {
      errno = EIO;
      return -1;
    }
    return FakeTermios::SetAttr(fd, action, t);
  };
  ScopedSerialCalls failEight{eightFails};
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to save COM's baud rate!");
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  // The switch to 8 went out on the first handle; no write command followed.
  WaitLog(1);
  EXPECT_TRUE(printer_.log("WriteSetting").empty());
  EXPECT_EQ(DataBitsSwitches(printer_).front(), 8);
  EXPECT_EQ(FakeTermios::sizes.back(), 7);
}

// The same roads over the simulator's USB socket, for the USB device library
// and the USB printer library.
class EditorUsbTest : public settings_test::SimPrinterEditorTest, public ::testing::WithParamInterface<int> {
 protected:
  EditorUsbTest() : SimPrinterEditorTest(2) {}
  void SetUp() override {
    SimPrinterEditorTest::SetUp();
    UseUsbSocket(GetParam());
  }
  std::atomic<int>& handleField() { return GetParam() == PortUSB ? USBParameter.m_hdev : USBPrinterParameter.m_hdev; }
};

TEST_P(EditorUsbTest, GetAndSave) {
  printer_.setSetting(0x06, 90);
  printer_.setSetting(0x3C, 200);
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().speed, "90");
  EXPECT_EQ(form.state().waitTime, "200");
  EXPECT_EQ(form.stateText(), "Printer state: light motor load.");
  EXPECT_EQ(handleField().load(), -1);
  EditorState s = form.state();
  s.speed = "140";
  s.waitTime = "240";
  form.setState(s);
  printer_.clearLog();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  ASSERT_TRUE(printer_.waitForLog(20, 2000));
  EXPECT_EQ(printer_.log().back().name, "FeedLine");
  EXPECT_EQ(printer_.log("WriteSetting").size(), 19u);
  EXPECT_EQ(printer_.setting(0x06), 140);
  EXPECT_EQ(printer_.setting(0x3C), 240);
  EXPECT_EQ(handleField().load(), -1);
}

// A short or missing USB reply fails the read; it never decodes as 0 and
// never shifts onto the settings that follow.
TEST_P(EditorUsbTest, ShortOrMissingReplyFails) {
  for (Fault fault : {Fault::ShortReply, Fault::NoReply}) {
    SCOPED_TRACE(static_cast<int>(fault));
    printer_.clearFault();
    printer_.setAddressFault(0x17, FaultSpec{fault, -1, 0});
    printer_.clearLog();
    TM512IIEepromSetForm form;
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), "Fail to get COM's databits!");
    EXPECT_EQ(ReadAddresses(printer_).size(), 3u);
    printer_.clearFault();
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
    EXPECT_EQ(Child<QComboBox>(form, "cboComDataBits")->currentText(), "8");
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, EditorUsbTest, ::testing::Values(int(PortUSB), int(PortUSBPrinter)),
                         [](const auto& info) { return info.param == PortUSB ? "Device" : "Printer"; });

// A printer that answers one read after the Get gave up on it: the next Get
// on the port waits for that reply and throws it away, so it reads every
// setting as the printer holds it, never one place off. On the serial port
// and on the USB device (whose printer keeps what the host left unread for
// its next connection, as a real one does).
class EditorLateReplyTest : public settings_test::SimPrinterEditorTest, public ::testing::WithParamInterface<int> {
 protected:
  EditorLateReplyTest() : SimPrinterEditorTest(2) {}
  void SetUp() override {
    SimPrinterEditorTest::SetUp();
    if (GetParam() == PortCOM) {
      UseSerial(38400);
    } else {
      UseUsbSocket(GetParam(), 2000);
      printer_.setUsbKeepsUnreadBytes(true);
    }
  }
};

TEST_P(EditorLateReplyTest, ReplyAfterTheTimeOutShiftsNothing) {
  printer_.setSetting(0x16, 1);     // 19200
  printer_.setSetting(0x06, 90);    // the reply that comes late
  printer_.setSetting(0x02, 100);
  printer_.setSetting(0x2B, 300);
  printer_.setSetting(0x52, 100);
  TM512IIEepromSetForm form;
  QuickReads(form, 2000);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  const EditorState shown = form.state();
  // A second later than the read waits (2 s on both), so within the time-out
  // after the read gave up.
  printer_.setAddressFault(0x06, FaultSpec{Fault::LateReply, 1, 3000});
  EditorState other = shown;
  other.speed = "111";
  form.setState(other);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get print speed!");
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state(), shown);
}

INSTANTIATE_TEST_SUITE_P(Kinds, EditorLateReplyTest, ::testing::Values(int(PortCOM), int(PortUSB)),
                         [](const auto& info) { return info.param == PortCOM ? "Serial" : "UsbDevice"; });

// A byte behind the last reply of a Get: the 2 bytes taken may not be the
// value, so the reply does not stand. The Get fails at its last setting,
// which keeps what it showed, and Save is not made usable by it.
TEST_F(EditorSimTest, ByteBehindTheLastReplyFailsTheGet) {
  printer_.setSetting(0x52, 100);
  printer_.setAddressFault(0x52, FaultSpec{Fault::LongReply, 1, 0});
  TM512IIEepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get AutoLoadingSpeed flag!");
  EXPECT_TRUE(form.resultIsRed());
  EXPECT_EQ(form.state().autoSpeed, "0") << "the last setting keeps what it showed";
  EXPECT_FALSE(form.saveEnabled());
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().autoSpeed, "100");
}

namespace {

// Counts the paint events of a widget and keeps what it showed at each.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* w) : widget_(w) { w->installEventFilter(this); }
  int paints = 0;
  QStringList texts;  // the button's caption at each paint

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) {
      ++paints;
      if (auto* b = qobject_cast<QAbstractButton*>(widget_)) texts << b->text();
    }
    return false;
  }

 private:
  QWidget* widget_;
};

using torva::testing::PostClick;  // a click the window system would deliver

}  // namespace

// While Get and Save wait for the printer the dialog keeps painting (timers
// run, "Waiting..." is on screen during the exchange and the pause after
// it), and what the user clicks meanwhile starts nothing.
TEST_F(EditorSimTest, WindowKeepsPaintingWhileItWaitsAndDropsClicks) {
  TM512IIEepromSetForm form;
  form.show();
  QApplication::processEvents();
  QPushButton* get = Child<QPushButton>(form, "btnGetSettingsFromPrinter");
  QPushButton* save = Child<QPushButton>(form, "btnSaveSettingsToPrinter");
  QPushButton* exit = Child<QPushButton>(form, "btnExit");
  PaintWatch formPaints(&form);
  PaintWatch savePaints(save);
  int ticks = 0;
  QTimer timer;
  timer.setInterval(20);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    ++ticks;
    form.update();
  });
  timer.start();

  // Each reply takes 60 ms: the Get runs for over a second. Clicks on Get
  // and Exit come 200 ms into it.
  printer_.setReplyDelayMs(60);
  QTimer::singleShot(200, &form, [&] {
    PostClick(get);
    PostClick(exit);
  });
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_GE(ticks, 2) << "timers ran during the Get";
  EXPECT_GT(formPaints.paints, 0) << "the dialog painted during the Get";
  QApplication::processEvents();
  EXPECT_EQ(ReadAddresses(printer_).size(), 19u) << "the click on Get started no second Get";
  EXPECT_TRUE(form.isVisible()) << "the click on Exit was dropped";

  // Save: the pause after the write lasts 200 ms here.
  torva::SetPrinterDelayScale(0.04);
  ticks = 0;
  savePaints.texts.clear();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  EXPECT_GE(ticks, 2) << "timers ran during the pause after the save";
  EXPECT_TRUE(savePaints.texts.contains("Waiting...")) << savePaints.texts.join(", ").toStdString();
  EXPECT_EQ(save->text(), "&Save Settings To Printer");

  // Outside a wait the same click on Exit does close the dialog.
  PostClick(exit);
  for (int i = 0; i < 100 && form.isVisible(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_FALSE(form.isVisible());
}
