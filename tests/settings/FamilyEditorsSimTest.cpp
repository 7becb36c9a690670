// The VD-K512, VD-K201, VD-K305 and VD-N512 editors against the simulated
// printer of their model: on a pseudo-terminal and on the simulator's USB
// socket (device and printer library), what each Get reads and shows and what
// each Save writes; the printers' odd replies; the checks that stop a Save
// before anything is sent; the VD-N512 on a port of 7 data bits.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <memory>

#include "EditorSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "SettingsFixtures.h"
#include "gui/FileDialogs.h"
#include "settings/K201EepromSet.h"
#include "settings/K305EepromSet.h"
#include "settings/K512EepromSet.h"
#include "settings/N512EepromSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using settings_test::Child;
using settings_test::DataBitsSwitches;
using settings_test::FakeTermios;
using settings_test::Names;
using settings_test::ReadAddresses;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;

namespace {

using Form = TCommonAddressEepromSetForm;

// One editor: the addresses its Get reads and its Save writes, in order, as
// the printer sees them, and what a Get of the test printer shows.
struct Model {
  const char* name;
  int code;
  std::unique_ptr<Form> (*create)();
  std::vector<int> getOrder;
  std::vector<int> saveOrder;
  size_t saveBytes;
  // The printer's values that differ from its factory settings.
  std::vector<std::pair<int, uint16_t>> memory;
  // What the dialog shows after a Get of that printer, from its start values.
  void (*shown)(EditorState&);
  const char* getState;  // the state line after that Get
};

template <class F>
std::unique_ptr<Form> Make() {
  return std::make_unique<F>();
}

const std::vector<std::pair<int, uint16_t>> kCommonMemory = {
    {0x16, 1}, {0x06, 90}, {0x02, 120}, {0x12, 1}, {0x59, 1}, {0x2B, 300}, {0x3C, 20}, {0x78, 500}, {0x52, 100}};

void ShownCommon(EditorState& s) {
  s.baud = 2;  // 19200
  s.speed = "90";
  s.darkness = "120";
  s.paperType = 1;
  s.beeper = 0;
  s.feedLine = "300";
  s.waitTime = "20";
  s.autoTime = "500";
  s.autoSpeed = "100";
}

std::vector<std::pair<int, uint16_t>> Plus(std::vector<std::pair<int, uint16_t>> a,
                                           const std::vector<std::pair<int, uint16_t>>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<int> kCommonGet = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x06, 0x02, 0x12, 0x43, 0x54,
                                     0x30, 0x59, 0x14, 0x3E, 0x60, 0x2B, 0x3C, 0x78, 0x52};
const std::vector<int> kCommonSave = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x06, 0x02, 0x12, 0x43, 0x54,
                                      0x30, 0x14, 0x59, 0x3E, 0x60, 0x2B, 0x3C, 0x78, 0x52};

const Model kModels[] = {
    {"K512", ModelVDK512, &Make<TK512EepromSetForm>, kCommonGet, kCommonSave, 171, kCommonMemory, ShownCommon,
     "Printer state: light motor load, heavy TPH load."},
    {"K201", ModelVDK201, &Make<TK201EepromSetForm>, kCommonGet, kCommonSave, 171, kCommonMemory, ShownCommon,
     "Printer state: light motor load, heavy TPH load."},
    {"K305", ModelVDK305, &Make<TK305EepromSetForm>,
     {0x16, 0x41, 0x17, 0x19, 0x1B, 0x06, 0x02, 0xB7, 0xB8, 0xB8, 0x12,
      0x43, 0x54, 0x30, 0x59, 0x14, 0x3E, 0x60, 0x2B, 0x3C, 0x78, 0x52},
     {0x16, 0x41, 0x17, 0x19, 0x1B, 0x06, 0x02, 0xB8, 0x12, 0xB7, 0x43,
      0x54, 0x30, 0x14, 0x59, 0x3E, 0x60, 0x2B, 0x3C, 0x78, 0x52},
     189, Plus(kCommonMemory, {{0xB7, 0}, {0xB8, 0x0A05}}),
     [](EditorState& s) {
       ShownCommon(s);
       s.ledMode = 0;  // "Non-Driver Control"
       s.lightTime = "5";
       s.extinctTime = "10";
     },
     "Printer state: light motor load, heavy TPH load."},
    {"N512", ModelVDN512, &Make<TN512EepromSetForm>,
     {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x02, 0x12, 0x43, 0x54,
      0x59, 0x14, 0x6D, 0x3E, 0xD5, 0x60, 0x2B, 0x3C, 0x78, 0x52, 0x7D},
     {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x02, 0x12, 0x43, 0x54,
      0x14, 0x59, 0x3E, 0xD5, 0x60, 0x2B, 0x3C, 0x78, 0x52, 0x6D, 0x7D},
     198,
     Plus(kCommonMemory, {{0x4E, 3}, {0x4A, 12}, {0x6D, 9}, {0x7D, 1}, {0xD5, 0}, {0x60, 4}, {0x3E, 0}}),
     [](EditorState& s) {
       ShownCommon(s);
       s.speed = "150";  // not read: the hidden edit keeps its value
       s.leftMargin = "3";
       s.rightMargin = "12";
       s.codePage = 9;     // "PC1252"
       s.rxBuffer = 1;     // "45 Bytes"
       s.autoPresent = 1;  // "Disable"
       s.paperOutMode = 2; // "Command Control"
       s.presenter = 1;    // "Disable"
     },
     "Printer state: heavy TPH load."},
};

const Model& ModelNamed(const std::string& name) {
  for (const Model& m : kModels) {
    if (m.name == name) return m;
  }
  throw std::runtime_error(name);
}

// A printer of one model behind one port kind.
class FamilyTest : public settings_test::SimPrinterEditorTest {
 protected:
  // A quick read time-out of 300 ms, so that a silent printer costs little time.
  FamilyTest() : SimPrinterEditorTest(2, 2000, 300) {}
  void Start(int modelCode, int portKind) {
    printer_.setModel(modelCode);
    if (portKind == PortCOM)
      UseSerial(38400);
    else
      UseUsbSocket(portKind);
  }
};

class FamilyPortTest : public FamilyTest, public ::testing::WithParamInterface<std::tuple<int, int>> {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Start(model().code, std::get<1>(GetParam()));
  }
  const Model& model() const { return kModels[std::get<0>(GetParam())]; }
};

}  // namespace

TEST_P(FamilyPortTest, GetReadsItsAddressesAndSaveWritesThemInOneQueuedWrite) {
  const Model& m = model();
  for (const auto& [address, value] : m.memory) printer_.setSetting(address, value);
  auto form = m.create();
  EditorState expected = form->state();
  m.shown(expected);

  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form->stateText(), m.getState);
  EXPECT_TRUE(form->stateIsOlive());
  EXPECT_TRUE(form->saveEnabled());
  EXPECT_EQ(ReadAddresses(printer_), m.getOrder);
  EXPECT_EQ(form->state(), expected);
  EXPECT_TRUE(messages_.messages().empty());

  // Saved back unchanged: one write of every setting in the queue's order,
  // each with the value it was read with, then the line feed.
  printer_.clearLog();
  Bytes want;
  for (int address : m.saveOrder) {
    const auto command = WriteSettingCommand(static_cast<uint8_t>(address), printer_.setting(address));
    want.insert(want.end(), command.begin(), command.end());
  }
  ASSERT_EQ(want.size(), m.saveBytes);
  want.push_back(0x0A);
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "After feeding paper,Please turn off the printer and turn it on!");
  WaitLog(m.saveOrder.size() + 1);
  std::vector<std::string> names(m.saveOrder.size(), "WriteSetting");
  names.push_back("FeedLine");
  EXPECT_EQ(Names(printer_), names);
  EXPECT_EQ(printer_.receivedBytes(), want);
  for (const auto& [address, value] : m.memory) EXPECT_EQ(printer_.setting(address), value) << std::hex << address;
  EXPECT_EQ(USBParameter.m_hdev.load(), -1);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

INSTANTIATE_TEST_SUITE_P(Models, FamilyPortTest,
                         ::testing::Combine(::testing::Range(0, 4),
                                            ::testing::Values(int(PortCOM), int(PortUSB), int(PortUSBPrinter))),
                         [](const auto& info) {
                           const int kind = std::get<1>(info.param);
                           return std::string(kModels[std::get<0>(info.param)].name) +
                                  (kind == PortCOM ? "_Serial" : kind == PortUSB ? "_UsbDevice" : "_UsbPrinter");
                         });

namespace {

class FamilySerialTest : public FamilyTest {};

}  // namespace

// The odd replies of each model's printer, as one table of simulator memory:
// each case a model, a cell's value, the dialog's state before the Get, and
// the result line and the state after it.
TEST_F(FamilySerialTest, RepliesOfEachModel) {
  struct Case {
    const char* model;
    int address;
    uint16_t value;
    void (*before)(EditorState&);  // nullptr: the dialog's start values
    const char* result;            // nullptr: the Get succeeds
    void (*shown)(EditorState&);   // the expected change from `before`
    size_t reads;                  // reads sent (0: all of them)
  };
  const auto none = [](EditorState&) {};
  const char* kFailLed = "Fail to get LED control mode!";
  const Case cases[] = {
      // VD-K512 and VD-K201: 115200 baud.
      {"K512", 0x16, 7, nullptr, nullptr, [](EditorState& s) { s.baud = -1; }, 0},
      {"K201", 0x16, 7, nullptr, nullptr, [](EditorState& s) { s.baud = 5; }, 0},
      {"K512", 0x16, 5, nullptr, "Fail to get COM's baud rate!", none, 1},
      // VD-K305: 2400 and 1200 baud shown as 9600 and 4800, flow control 1
      // (XON/XOFF) an empty box, the LED's mode and times.
      {"K305", 0x16, 5, nullptr, nullptr, [](EditorState& s) { s.baud = 1; }, 0},
      {"K305", 0x16, 6, nullptr, nullptr, [](EditorState& s) { s.baud = 0; }, 0},
      {"K305", 0x16, 8, nullptr, "Fail to get COM's baud rate!", none, 1},
      {"K305", 0x41, 1, [](EditorState& s) { s.flow = -1; }, nullptr, none, 0},
      {"K305", 0x41, 1, nullptr, nullptr, [](EditorState& s) { s.flow = -1; }, 0},
      {"K305", 0x41, 0, [](EditorState& s) { s.flow = -1; }, nullptr, [](EditorState& s) { s.flow = 0; }, 0},
      {"K305", 0x41, 2, nullptr, "Fail to get COM's flow control!", none, 2},
      {"K305", 0xB7, 0xFFFF, nullptr, nullptr, [](EditorState& s) { s.ledMode = 0; }, 0},
      {"K305", 0xB7, 0x12FF, nullptr, nullptr, [](EditorState& s) { s.ledMode = 0; }, 0},
      {"K305", 0xB7, 0, [](EditorState& s) { s.ledMode = 1; }, nullptr, [](EditorState& s) { s.ledMode = 0; }, 0},
      {"K305", 0xB7, 2, nullptr, kFailLed, none, 8},
      {"K305", 0xB7, 0x0100, nullptr, kFailLed, none, 8},
      {"K305", 0xB8, 0x0A05, nullptr, nullptr,
       [](EditorState& s) {
         s.lightTime = "5";
         s.extinctTime = "10";
       },
       0},
      {"K305", 0xB8, 0xFFFF, nullptr, nullptr,
       [](EditorState& s) {
         s.lightTime = "255";
         s.extinctTime = "255";
       },
       0},
      // VD-N512: the bundler's enable and work mode, automatic presenting,
      // code page, receive buffer, margins.
      {"N512", 0x60, 1, [](EditorState& s) { s.paperOutMode = 2; }, nullptr, none, 0},
      {"N512", 0x60, 3, [](EditorState& s) { s.paperOutMode = 1; }, nullptr, none, 0},
      {"N512", 0x60, 2, nullptr, nullptr, [](EditorState& s) { s.paperOutMode = 1; }, 0},
      {"N512", 0x60, 5, nullptr, "Fail to get PaperOutMode!", none, 17},
      {"N512", 0x3E, 1, nullptr, "Fail to get bPresenterEnable flag!", none, 15},
      {"N512", 0x3E, 0, nullptr, nullptr, [](EditorState& s) { s.presenter = 1; }, 0},
      {"N512", 0x3E, 2, [](EditorState& s) { s.presenter = 1; }, nullptr, [](EditorState& s) { s.presenter = 0; }, 0},
      {"N512", 0xD5, 0xFFFF, nullptr, nullptr, [](EditorState& s) { s.autoPresent = 1; }, 0},
      {"N512", 0xD5, 0x0101, nullptr, nullptr, [](EditorState& s) { s.autoPresent = 1; }, 0},
      {"N512", 0xD5, 1, [](EditorState& s) { s.autoPresent = 1; }, nullptr, [](EditorState& s) { s.autoPresent = 0; },
       0},
      {"N512", 0x6D, 0xFFFF, [](EditorState& s) { s.codePage = 4; }, nullptr, [](EditorState& s) { s.codePage = 0; },
       0},
      {"N512", 0x6D, 9, nullptr, nullptr, [](EditorState& s) { s.codePage = 9; }, 0},
      {"N512", 0x6D, 0x000A, [](EditorState& s) { s.codePage = 4; }, nullptr, none, 0},
      {"N512", 0x6D, 0x0105, [](EditorState& s) { s.codePage = 4; }, nullptr, none, 0},
      {"N512", 0x7D, 0xFFFF, [](EditorState& s) { s.rxBuffer = 1; }, nullptr, [](EditorState& s) { s.rxBuffer = 0; },
       0},
      {"N512", 0x7D, 2, nullptr, "Fail to get Rx Buffer Size flag!", none, 22},
      {"N512", 0x4E, 300, nullptr, nullptr, [](EditorState& s) { s.leftMargin = "300"; }, 0},
      {"N512", 0x41, 1, nullptr, nullptr, [](EditorState& s) { s.flow = -1; }, 0},
      {"N512", 0x02, 0, nullptr, "Fail to get print darkness!", none, 8},
  };
  Start(ModelVDK512, PortCOM);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + std::to_string(c.address) + " = " + std::to_string(c.value));
    const Model& m = ModelNamed(c.model);
    printer_.setModel(m.code);
    printer_.setSetting(c.address, c.value);
    printer_.clearLog();
    auto form = m.create();
    // The dialog as a Get of a fresh printer leaves it.
    EditorState s = form->state();
    s.feedLine = "160";
    s.autoSpeed = "60";
    if (c.before) c.before(s);
    form->setState(s);
    EditorState expected = s;
    c.shown(expected);
    form->btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form->resultText(), c.result ? c.result : "Get settings from printer successfully.");
    EXPECT_EQ(form->resultIsRed(), c.result != nullptr);
    EXPECT_EQ(form->saveEnabled(), c.result == nullptr);
    EXPECT_EQ(ReadAddresses(printer_).size(), c.reads ? c.reads : m.getOrder.size());
    EXPECT_EQ(form->state(), expected);
  }
}

// The state line of a complete Get: the VD-K305's LED reads leave it as the
// darkness read closed it; the VD-N512 reads no speed, so only a dark head is
// noted.
TEST_F(FamilySerialTest, StateLineAfterAGet) {
  struct Case {
    const char* model;
    uint16_t speed, darkness;
    const char* state;
    bool olive;
  };
  const Case cases[] = {
      {"K305", 150, 110, "Printer state: Normal.", false},
      {"K305", 100, 111, "Printer state: light motor load, heavy TPH load.", true},
      {"N512", 80, 110, "Printer state: Normal.", false},
      {"N512", 80, 200, "Printer state: heavy TPH load.", true},
      {"K201", 80, 110, "Printer state: light motor load.", true},
  };
  Start(ModelVDK305, PortCOM);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + " " + c.state);
    const Model& m = ModelNamed(c.model);
    printer_.setModel(m.code);
    printer_.setSetting(0x06, c.speed);
    printer_.setSetting(0x02, c.darkness);
    auto form = m.create();
    form->btnGetSettingsFromPrinterClick();
    ASSERT_EQ(form->resultText(), "Get settings from printer successfully.");
    EXPECT_EQ(form->stateText(), c.state);
    EXPECT_EQ(form->stateIsOlive(), c.olive);
  }
}

// What the dialog shows is what Save writes: the VD-K305's rates read from
// 2400 and 1200 baud and its flow control 1 (an empty box, written as 1
// again), the LED times, the bundler's values.
TEST_F(FamilySerialTest, SaveWritesWhatTheDialogShows) {
  struct Case {
    const char* model;
    std::vector<std::pair<int, uint16_t>> memory;
    void (*edit)(EditorState&);
    std::vector<std::pair<int, uint16_t>> written;
  };
  const Case cases[] = {
      {"K305", {{0x16, 5}, {0x41, 1}}, [](EditorState&) {}, {{0x16, 0}, {0x41, 1}}},
      {"K305", {{0x16, 6}}, [](EditorState&) {}, {{0x16, 4}}},
      {"K305",
       {},
       [](EditorState& s) {
         s.lightTime = "5";
         s.extinctTime = "10";
         s.ledMode = 0;
       },
       {{0xB8, 0x0A05}, {0xB7, 0}}},
      {"K305", {}, [](EditorState& s) { s.lightTime = "0"; s.extinctTime = "255"; }, {{0xB8, 0xFF00}, {0xB7, 1}}},
      {"N512", {}, [](EditorState& s) { s.paperOutMode = 1; }, {{0x60, 2}, {0x3E, 2}, {0xD5, 1}}},
      {"N512",
       {},
       [](EditorState& s) {
         s.paperOutMode = 2;
         s.presenter = 1;
         s.autoPresent = 1;
         s.leftMargin = "16";
         s.rightMargin = "0";
         s.codePage = 1;
         s.rxBuffer = 1;
       },
       {{0x60, 4}, {0x3E, 0}, {0xD5, 0}, {0x4E, 16}, {0x4A, 0}, {0x6D, 1}, {0x7D, 1}}},
      {"N512", {{0x06, 80}, {0x30, 0}}, [](EditorState& s) { s.speed = "25"; }, {{0x06, 80}, {0x30, 0}}},
  };
  Start(ModelVDK305, PortCOM);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    const Model& m = ModelNamed(c.model);
    printer_.setModel(m.code);
    for (const auto& [address, value] : c.memory) printer_.setSetting(address, value);
    auto form = m.create();
    form->btnGetSettingsFromPrinterClick();
    ASSERT_EQ(form->resultText(), "Get settings from printer successfully.");
    EditorState s = form->state();
    c.edit(s);
    form->setState(s);
    printer_.clearLog();
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
    WaitLog(m.saveOrder.size() + 1);
    EXPECT_EQ(printer_.receivedBytes().size(), m.saveBytes + 1);
    for (const auto& [address, value] : c.written) EXPECT_EQ(printer_.setting(address), value) << std::hex << address;
  }
}

// The checks run in each model's order and stop the Save before the port is
// opened: nothing reaches the printer.
TEST_F(FamilySerialTest, RefusedEditsSendNothing) {
  struct Case {
    const char* model;
    void (*edit)(EditorState&);
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      // The VD-K305's Save checks the LED times right after the darkness.
      {"K305",
       [](EditorState& s) {
         s.lightTime = "256";
         s.autoSpeed = "200";
       },
       "The input of Light Time is invalid!", "“Light Time”非法输入！"},
      {"K305", [](EditorState& s) { s.extinctTime = "-1"; s.feedLine = "0"; }, "The input of Extinct Time is invalid!",
       "“Extinct Time”非法输入！"},
      {"K305", [](EditorState& s) { s.darkness = "0"; s.lightTime = "999"; }, "The input of print darkness is invalid!",
       "“print darkness”非法输入！"},
      {"K305", [](EditorState& s) { s.lightTime = "x"; s.speed = "1"; }, "The input of format is invalid!", "非法输入！"},
      // The VD-N512 checks its bundler wait time first, the hidden speed and
      // the darkness last.
      {"N512",
       [](EditorState& s) {
         s.waitTime = "241";
         s.leftMargin = "17";
         s.rightMargin = "-1";
       },
       "The input of Bundler wait time is invalid!", "“Bundler wait time”非法输入！"},
      {"N512", [](EditorState& s) { s.feedLine = "18"; s.autoSpeed = "27"; },
       "The input of Feed Line in mark mode is invalid!", "“Feed Line in mark mode”非法输入！"},
      {"N512", [](EditorState& s) { s.autoSpeed = "126"; s.autoTime = "801"; },
       "The input of Auto Loading speed is invalid!", "“Auto Loading speed”非法输入！"},
      {"N512", [](EditorState& s) { s.autoTime = "801"; s.leftMargin = "17"; },
       "The input of Auto Loading time is invalid!", "“Auto Loading time”非法输入！"},
      {"N512", [](EditorState& s) { s.leftMargin = "17"; s.speed = "24"; },
       "The input of default left margin is invalid!", "“default left margin”非法输入！"},
      {"N512", [](EditorState& s) { s.rightMargin = "17"; s.speed = "24"; },
       "The input of default right margin is invalid!", "“default right margin”非法输入！"},
      {"N512", [](EditorState& s) { s.speed = "151"; s.darkness = "0"; }, "The input of print speed is invalid!",
       "“print speed”非法输入！"},
      {"N512", [](EditorState& s) { s.darkness = "255"; }, "The input of print darkness is invalid!",
       "“print darkness”非法输入！"},
      {"N512", [](EditorState& s) { s.rightMargin = "nine"; s.waitTime = "241"; }, "The input of format is invalid!",
       "输入非法！"},
  };
  Start(ModelVDK305, PortCOM);
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.model + " " + c.english);
      const Model& m = ModelNamed(c.model);
      printer_.setModel(m.code);
      auto form = m.create();
      form->btnGetSettingsFromPrinterClick();
      ASSERT_TRUE(form->saveEnabled());
      EditorState s = form->state();
      c.edit(s);
      form->setState(s);
      messages_.clear();
      const size_t before = printer_.receivedBytes().size();
      form->btnSaveSettingsToPrinterClick();
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Warning);
      EXPECT_EQ(messages_.messages()[0].text, Language == "English" ? c.english : c.chinese);
      EXPECT_EQ(printer_.receivedBytes().size(), before);
      EXPECT_EQ(ComParameter.m_hdev.load(), -1);
      EXPECT_EQ(Child<QPushButton>(*form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
      EXPECT_EQ(form->resultText(), "") << "the Get's success does not stand beside the refusal";
    }
  }
}

// A VD-K305 that stops answering at its LED times: the Get ends there with
// the item named, what was read stays, and the next Get after the printer
// answers again reads everything.
TEST_F(FamilySerialTest, K305SilentAtTheLedTimes) {
  Start(ModelVDK305, PortCOM);
  printer_.setSetting(0xB7, 0);
  printer_.setSetting(0xB8, 0x0A05);
  printer_.setAddressFault(0xB8, FaultSpec{Fault::NoReply, -1, 0});
  TK305EepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get print Light Time!");
  EXPECT_EQ(form.state().ledMode, 0) << "the mode was read before";
  EXPECT_EQ(form.state().lightTime, "1");
  EXPECT_EQ(ReadAddresses(printer_).size(), 9u);
  EXPECT_FALSE(form.saveEnabled());
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  printer_.clearFault();
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().lightTime, "5");
  EXPECT_EQ(form.state().extinctTime, "10");
  EXPECT_TRUE(form.saveEnabled());
}

// A VD-K305 on XON/XOFF (flow control 01 00): the Get leaves the one-item
// box empty, and both Save and Export write 1 again, never 0 over it.
TEST_F(FamilySerialTest, K305XonXoffSurvivesGetSaveAndExport) {
  Start(ModelVDK305, PortCOM);
  printer_.setSetting(0x41, 1);
  const QString file = path("k305.pes");
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  TK305EepromSetForm form;
  EditorState s = form.state();
  s.feedLine = "160";
  s.autoSpeed = "60";
  form.setState(s);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().flow, -1);
  EXPECT_EQ(Child<QComboBox>(form, "cboComFlowControl")->currentText(), "");
  printer_.clearLog();
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(form.resultText(), "Save settings to printer successfully.");
  WaitLog(22);  // 21 writes and the line feed
  EXPECT_EQ(printer_.setting(0x41), 1);
  form.btnExportSettingsToFileClick();
  ASSERT_EQ(form.resultText(), "Export settings to file \"" + file + "\" successfully.");
  const QByteArray bytes = settings_test::ReadAll(file);
  ASSERT_EQ(bytes.size(), 198);
  // The second record, flow control: value 1 at address 41.
  EXPECT_EQ(bytes.mid(9 + 6, 3), QByteArray("\x01\x00\x41", 3));
}

// The VD-K512's empty baud box (a printer at 115200) cannot be saved: the
// Save says so and sends nothing.
TEST_F(FamilySerialTest, VDK512WithoutABaudRateRefusesToSave) {
  Start(ModelVDK512, PortCOM);
  printer_.setSetting(0x16, 7);
  TK512EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(Child<QComboBox>(form, "cboComBaudRate")->currentText(), "");
  const size_t before = printer_.receivedBytes().size();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to save COM's baud rate!");
  EXPECT_TRUE(form.resultIsRed());
  EXPECT_EQ(printer_.receivedBytes().size(), before);
  EXPECT_TRUE(messages_.messages().empty());
}

// Other port kinds: nothing opens, the Get fails at the first read and the
// Save at the first setter that needs the port; nothing is sent.
TEST_F(FamilySerialTest, OtherPortKindsFail) {
  Start(ModelVDN512, PortCOM);
  for (const char* name : {"K305", "N512"}) {
    for (int kind : {PortLPT, PortNibbleLPT, PortNet}) {
      SCOPED_TRACE(std::string(name) + " " + std::to_string(kind));
      PortType = kind;
      auto form = ModelNamed(name).create();
      form->btnGetSettingsFromPrinterClick();
      EXPECT_EQ(form->resultText(), "Fail to get COM's baud rate!");
      EditorState s = form->state();
      s.feedLine = "19";
      s.autoSpeed = "28";
      form->setState(s);
      form->btnSaveSettingsToPrinterClick();
      EXPECT_EQ(form->resultText(), "Fail to save COM's baud rate!");
    }
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
}

namespace {

// The VD-N512 on a serial port of 7 data bits.
class N512SevenBitTest : public FamilyTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    FakeTermios::Reset();
    FakeTermios::printer = &printer_;
    Start(ModelVDN512, PortCOM);
    ComParameter.Databits = 7;
  }
  void TearDown() override {
    FakeTermios::printer = nullptr;
    FamilyTest::TearDown();
    FakeTermios::Reset();
  }
  ScopedSerialCalls seam_{FakeTermios::Calls()};
};

}  // namespace

// Get, a Get that fails midway, and Save: each switches the printer to 8 data
// bits for the exchange and back to 7 at its end; a refused Save never
// switches. The port's data bits stay 7.
TEST_F(N512SevenBitTest, EveryRoadEndsAtSeven) {
  TN512EepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  WaitLog(24);
  EXPECT_EQ(Names(printer_).front(), "TempDataBits");
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes, (std::vector<int>{7, 8, 7}));

  // A printer that stops answering at the code page.
  printer_.clearLog();
  FakeTermios::Reset();
  printer_.setAddressFault(0x6D, FaultSpec{Fault::NoReply, -1, 0});
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get CodePage!");
  WaitLog(16);
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes.back(), 7);
  printer_.clearFault();

  // Save: the switch back goes out before the line feed.
  printer_.clearLog();
  FakeTermios::Reset();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  WaitLog(25);
  const auto names = Names(printer_);
  EXPECT_EQ(names.front(), "TempDataBits");
  EXPECT_EQ(names[23], "TempDataBits");
  EXPECT_EQ(names.back(), "FeedLine");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes, (std::vector<int>{7, 8, 7}));

  // A refused Save opens nothing.
  printer_.clearLog();
  FakeTermios::Reset();
  EditorState s = form.state();
  s.waitTime = "241";
  form.setState(s);
  form.btnSaveSettingsToPrinterClick();
  EXPECT_TRUE(printer_.log().empty());
  EXPECT_TRUE(FakeTermios::sizes.empty());
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}
