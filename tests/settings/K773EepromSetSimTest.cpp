// The VD-K773 editor against the simulated VD-K773: on a pseudo-terminal, the
// USB device, the plain USB printer and the printer's custom USB mode (class
// mode 1 with 0 and 4 status bytes, class mode 0), what Get reads and shows
// and what Save writes, at once or queued; the printer's odd replies and the
// checks and refusals of Save as tables; a printer that stops answering; the
// road of a port with 7 data bits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "EditorSimSupport.h"
#include "EventWait.h"
#include "SettingsEditorTestSupport.h"
#include "SettingsFixtures.h"
#include "gui/FileDialogs.h"
#include "link/EepromControl.h"
#include "link/PortSession.h"
#include "link/USBUnit.h"
#include "settings/K773EepromSet.h"
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

// The addresses in Get order, and Save's: the eighteen written at once in
// the order their setters run, then the fifteen of the queue.
const std::vector<int> kGetOrder = {0x16, 0x41, 0x2B, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02, 0x12,
                                    0x30, 0x59, 0x14, 0xCB, 0x6D, 0x3E, 0x60, 0x3C, 0x78, 0x52, 0x70,
                                    0x87, 0x05, 0xC4, 0x09, 0x7D, 0x66, 0x43, 0x89, 0x8B, 0x8A, 0x8C};
const std::vector<int> kDirect = {0x2B, 0x4E, 0x4A, 0xC4, 0x43, 0x59, 0x6D, 0xCB, 0x09,
                                  0x7D, 0x66, 0x70, 0x87, 0x05, 0x89, 0x8C, 0x8A, 0x8B};
const std::vector<int> kQueued = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x06, 0x02, 0x12,
                                  0x30, 0x14, 0x3E, 0x60, 0x3C, 0x78, 0x52};

// The printer's Get position of an address (1 = the first read).
size_t ReadsUpTo(int address) {
  for (size_t i = 0; i < kGetOrder.size(); ++i) {
    if (kGetOrder[i] == address) return i + 1;
  }
  return 0;
}

Bytes Commands(const std::vector<int>& addresses, const SimPrinter& printer) {
  Bytes out;
  for (int a : addresses) {
    const auto c = WriteSettingCommand(static_cast<uint8_t>(a), printer.setting(a));
    out.insert(out.end(), c.begin(), c.end());
  }
  return out;
}

struct PortCase {
  const char* name;
  int kind;
  int classMode;  // -1: not the custom mode
  int statusBytes;
};
const PortCase kPorts[] = {
    {"Serial", PortCOM, -1, 0},
    {"UsbDevice", PortUSB, -1, 0},
    {"UsbPrinter", PortUSBPrinter, -1, 0},
    {"CustomClassMode1", PortUSBPrinter, 1, 0},
    {"CustomClassMode1FourStatusBytes", PortUSBPrinter, 1, 4},
    {"CustomClassMode0", PortUSBPrinter, 0, 0},
};

// The custom connection's writes, each one's size; a 9-byte write for
// failAddress fails. Forwards to the library.
struct WriteTap {
  static inline std::vector<int> sizes;
  static inline int failAddress = -1;
  static int Write(const uint8_t* bytes, int length) {
    sizes.push_back(length);
    if (length == 9 && bytes[8] == failAddress) return -1;
    return UsbPrinter::WriteQfUSBPrinter(bytes, length);
  }
  static PortLibraryCalls Calls() {
    PortLibraryCalls calls = CurrentPortLibraryCalls();
    calls.WriteQfUSBPrinter = &Write;
    return calls;
  }
};

class K773Test : public settings_test::SimPrinterEditorTest {
 protected:
  // A quick read time-out of 300 ms.
  K773Test() : SimPrinterEditorTest(ModelVDK773, 2000, 300) {}
  void Start(const PortCase& port) {
    PrinterName = ModelVDK773;
    WriteTap::sizes.clear();
    WriteTap::failAddress = -1;
    if (port.kind == PortCOM) {
      UseSerial(38400);
      return;
    }
    UseUsbSocket(port.kind);
    if (port.classMode >= 0) {
      printer_.setK773Custom(true, port.classMode, port.statusBytes);
      is773Costom = 1;
      iUSBClassMode = port.classMode;
      iStatusBytes = port.statusBytes;
      iPrinterID = 1;
    }
  }
  void TearDown() override {
    iPrinterID = 0;
    SetK773SwitchWord({});
    SimPrinterEditorTest::TearDown();
  }
  // The dialog after a Get of a factory-fresh printer: its start values,
  // except the flow control (1 reads "xon/xoff"), the code page (PC437) and
  // the auto-loading speed (60).
  static EditorState FreshGet(const TK773Eeport& form) {
    EditorState s = form.state();
    s.flow = 1;
    s.codePage = 0;
    s.autoSpeed = "60";
    return s;
  }

  ScopedPortLibraryCalls tap_{WriteTap::Calls()};
};

class K773PortTest : public K773Test, public ::testing::WithParamInterface<PortCase> {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Start(GetParam());
  }
};

// A printer whose every setting differs from the factory's.
const std::vector<std::pair<int, uint16_t>> kMemory = {
    {0x16, 1},      {0x41, 0},      {0x2B, 300},  {0x17, 7},      {0x19, 2},    {0x1B, 1},    {0x4E, 5},
    {0x4A, 7},      {0x06, 90},     {0x02, 0x5078}, {0x12, 1},    {0x30, 0},    {0x59, 1},    {0x14, 1},
    {0xCB, 3},      {0x6D, 0x22},   {0x3E, 0},    {0x60, 2},      {0x3C, 12},   {0x78, 400},  {0x52, 100},
    {0x70, 0},      {0x87, 2},      {0x05, 0},    {0xC4, 1},      {0x09, 0x435A}, {0x7D, 1},  {0x66, 58},
    {0x43, 1},      {0x89, 0},      {0x8B, 2},    {0x8A, 1},      {0x8C, 0x0203},
};

EditorState ShownMemory(EditorState s) {
  s.baud = 2;  // "19200"
  s.flow = 0;  // "DTR/DSR"
  s.feedLine = "300";
  s.dataBits = 1;
  s.stopBits = 1;
  s.parity = 1;  // "Odd"
  s.leftMargin = "5";
  s.rightMargin = "7";
  s.speed = "90";
  s.darkness = "120";
  s.head2 = "80";
  s.paperType = 1;
  s.autoCutter = 1;    // "Off"
  s.beeperEnable = 1;  // "Enable"
  s.cr = 0;            // "Enable"
  s.intlChar = 3;      // "U.K"
  s.codePage = 11;     // "1251"
  s.presenter = 1;     // "Disable"
  s.paperOutMode = 2;  // "Waiting"
  s.waitTime = "12";
  s.autoTime = "400";
  s.autoSpeed = "100";
  s.usbMode = 0;          // "Class"
  s.cutPaperMode = 2;     // "Full Cut"
  s.printingSurface = 1;  // "Back"
  s.printerMode = 1;      // "Printer Mode 2"
  s.comDataError = 1;     // "Ignored"
  s.rxBuffer = 1;         // "45"
  s.paperWidth = "58";
  s.paperNearEnd = 1;  // "Stop"
  s.watermarkEnable = 0;
  s.watermarkAlignment = 2;  // "Right"
  s.watermarkMode = 1;       // " Printing"
  s.enlargeHorizontal = "3";
  s.enlargeVertical = "2";
  return s;
}

}  // namespace

TEST_P(K773PortTest, GetReadsTheThirtyThreeAndSaveWritesEighteenAtOnceThenTheQueue) {
  for (const auto& [address, value] : kMemory) printer_.setSetting(address, value);
  TK773Eeport form;
  const EditorState expected = ShownMemory(form.state());

  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_FALSE(form.resultIsRed());
  EXPECT_EQ(form.stateText(), "Printer state: light motor load.");
  EXPECT_TRUE(form.stateIsOlive());
  EXPECT_TRUE(form.saveEnabled());
  EXPECT_EQ(ReadAddresses(printer_), kGetOrder);
  EXPECT_EQ(form.state(), expected);
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(K773SwitchWord().LowByteData, 0x5A);
  EXPECT_EQ(K773SwitchWord().HightByteData, 0x43);

  // Saved back unchanged: the eighteen direct commands as their setters run,
  // the fifteen queued ones in one write, the line feed.
  printer_.clearLog();
  WriteTap::sizes.clear();
  Bytes want = Commands(kDirect, printer_);
  const Bytes queue = Commands(kQueued, printer_);
  ASSERT_EQ(queue.size(), 135u);
  want.insert(want.end(), queue.begin(), queue.end());
  want.push_back(0x0A);
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  EXPECT_EQ(form.stateText(), "Printer state: light motor load, heavy TPH load.");
  EXPECT_TRUE(form.stateIsOlive());
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "After feeding paper,Please turn off the printer and turn it on!");
  WaitLog(34);
  std::vector<std::string> names(33, "WriteSetting");
  names.push_back("FeedLine");
  EXPECT_EQ(Names(printer_), names);
  EXPECT_EQ(printer_.receivedBytes(), want);
  for (const auto& [address, value] : kMemory) EXPECT_EQ(printer_.setting(address), value) << std::hex << address;
  if (GetParam().classMode >= 0) {
    std::vector<int> sizes(18, 9);
    sizes.push_back(135);
    sizes.push_back(1);
    EXPECT_EQ(WriteTap::sizes, sizes) << "the custom connection's writes";
    uint8_t b[4];
    EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(b, 4), -1) << "the custom connection is closed";
  }
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_EQ(USBParameter.m_hdev.load(), -1);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
}

INSTANTIATE_TEST_SUITE_P(Ports, K773PortTest, ::testing::ValuesIn(kPorts),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

class K773SerialTest : public K773Test {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Start(kPorts[0]);
  }
};

}  // namespace

// The printer's replies, one cell at a time: what the dialog shows, or the
// row the Get stops at (with the controls read before it changed and the
// rest as they were).
TEST_F(K773SerialTest, RepliesAsTheDialogShowsThem) {
  struct Case {
    int address;
    uint16_t value;
    void (*before)(EditorState&);  // nullptr: the dialog's start values
    const char* result;            // nullptr: the Get succeeds
    void (*shown)(EditorState&);   // what changes besides a fresh printer's values
  };
  const auto none = [](EditorState&) {};
  const auto codePage3 = [](EditorState& s) { s.codePage = 3; };
  const Case cases[] = {
      // Code page: the list's values, others up to 35 keep the selection,
      // above it and FF FF are PC437, another high byte clears it.
      {0x6D, 0x0000, nullptr, nullptr, [](EditorState& s) { s.codePage = 0; }},
      {0x6D, 0x0011, nullptr, nullptr, [](EditorState& s) { s.codePage = 10; }},
      {0x6D, 0x0035, nullptr, nullptr, [](EditorState& s) { s.codePage = 13; }},
      {0x6D, 0x0012, codePage3, nullptr, [](EditorState& s) { s.codePage = 3; }},
      {0x6D, 0x0040, codePage3, nullptr, [](EditorState& s) { s.codePage = 0; }},
      {0x6D, 0x0100, codePage3, nullptr, [](EditorState& s) { s.codePage = -1; }},
      {0x6D, 0xFFFF, codePage3, nullptr, [](EditorState& s) { s.codePage = 0; }},
      // Two heads: hi 00 is head 1 again; 00, FF and a head 2 of FF fail.
      {0x02, 0x0064, nullptr, nullptr, [](EditorState& s) { s.darkness = s.head2 = "100"; }},
      {0x02, 0x1E64, nullptr, nullptr, [](EditorState& s) { s.darkness = "100"; s.head2 = "30"; }},
      {0x02, 0xFF64, nullptr, "Fail to get print darkness!", none},
      {0x02, 0x0000, nullptr, "Fail to get print darkness!", none},
      {0x02, 0x00FF, nullptr, "Fail to get print darkness!", none},
      // Speed: 25..255, anything else "-1" and still read.
      {0x06, 0x012C, nullptr, nullptr, [](EditorState& s) { s.speed = "-1"; }},
      {0x06, 24, nullptr, nullptr, [](EditorState& s) { s.speed = "-1"; }},
      {0x06, 255, nullptr, nullptr, [](EditorState& s) { s.speed = "255"; }},
      // Serial parameters.
      {0x16, 0x0005, nullptr, "Fail to get COM's baud rate!", none},
      {0x16, 0x0007, nullptr, nullptr, [](EditorState& s) { s.baud = 5; }},
      {0x41, 0x0002, nullptr, nullptr, [](EditorState& s) { s.flow = 2; }},
      {0x41, 0x0000, nullptr, nullptr, [](EditorState& s) { s.flow = 0; }},
      {0x17, 0x00FF, [](EditorState& s) { s.dataBits = 1; }, nullptr, [](EditorState& s) { s.dataBits = 0; }},
      {0x17, 0x0107, nullptr, nullptr, [](EditorState& s) { s.dataBits = 1; }},
      {0x17, 0x0009, nullptr, "Fail to get COM's databit!", none},
      {0x19, 0x00FF, nullptr, nullptr, [](EditorState& s) { s.stopBits = 1; }},
      {0x19, 0x0003, nullptr, "Fail to get COM's Stopbit!", none},
      {0x1B, 0x00FF, nullptr, nullptr, [](EditorState& s) { s.parity = 0; }},
      {0x1B, 0x0003, nullptr, "Fail to get COM's parity!", none},
      // Feed line: FF FF fails (its text has no leading blank).
      {0x2B, 0xFFFF, nullptr, "Fail to getget Feed Lines mark!", none},
      {0x2B, 0xFFFE, nullptr, nullptr, [](EditorState& s) { s.feedLine = "65534"; }},
      {0x4E, 0x0078, nullptr, nullptr, [](EditorState& s) { s.leftMargin = "120"; }},
      // Beeper, character set, wait time: the low byte alone.
      {0x59, 0x0101, nullptr, nullptr, [](EditorState& s) { s.beeperEnable = 1; }},
      {0x59, 0x0002, nullptr, "Fail to get beeper flag!", none},
      {0xCB, 0x00FF, nullptr, "Fail to get IntlCharSets!", none},
      {0xCB, 0x0014, nullptr, nullptr, [](EditorState& s) { s.intlChar = -1; }},
      {0xCB, 0x010C, nullptr, nullptr, [](EditorState& s) { s.intlChar = 12; }},
      {0x3C, 0x0A05, nullptr, nullptr, [](EditorState& s) { s.waitTime = "5"; }},
      {0x78, 0xFFFF, nullptr, nullptr, [](EditorState& s) { s.autoTime = "65535"; }},
      {0x70, 0x0002, nullptr, "Fail to get USBMode flag!", none},
      {0x87, 0x0103, nullptr, "Fail to get CutPaperMode flag!", none},
      {0x05, 0x0000, nullptr, nullptr, [](EditorState& s) { s.printingSurface = 1; }},
      {0x05, 0x0002, nullptr, "Fail to get PrintSurface flag!", none},
      // Printer mode: any low byte but 00 is mode 2.
      {0xC4, 0xFF05, nullptr, nullptr, [](EditorState& s) { s.printerMode = 1; }},
      {0x09, 0x435A, nullptr, nullptr, [](EditorState& s) { s.comDataError = 1; }},
      {0x09, 0xFDFF, [](EditorState& s) { s.comDataError = 1; }, nullptr, [](EditorState& s) { s.comDataError = 0; }},
      {0x7D, 0x0002, nullptr, "Fail to get Rx Buffer Size flag!", none},
      {0x66, 0x0100, nullptr, nullptr, [](EditorState& s) { s.paperWidth = "256"; }},
      {0x43, 0x0002, nullptr, "Fail to get PaperEndInfluent flag!", none},
      {0x89, 0x0100, nullptr, nullptr, [](EditorState& s) { s.watermarkEnable = 0; }},
      {0x89, 0x0002, nullptr, "Fail to get WaterMarkEnable flag!", none},
      {0x8B, 0x0003, nullptr, "Fail to get WaterMarkAlignment flag!", none},
      {0x8A, 0x0002, nullptr, "Fail to get WaterMark Print mode flag!", none},
      // Enlargement: 0..3 each way; a 4 fails the Get.
      {0x8C, 0x0303, nullptr, nullptr, [](EditorState& s) { s.enlargeHorizontal = s.enlargeVertical = "3"; }},
      {0x8C, 0x0000, nullptr, nullptr, [](EditorState& s) { s.enlargeHorizontal = s.enlargeVertical = "0"; }},
      {0x8C, 0x0104, nullptr, "Fail to get WaterMarkEnlarge flag!", none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.address << " = " << c.value);
    printer_.setModel(ModelVDK773);
    printer_.setSetting(c.address, c.value);
    printer_.clearLog();
    TK773Eeport form;
    EditorState s = form.state();
    if (c.before) c.before(s);
    form.setState(s);
    // A complete Get shows the fresh printer's values; one that stops keeps
    // those of the rows after it.
    const size_t reads = c.result ? ReadsUpTo(c.address) : kGetOrder.size();
    EditorState expected = s;
    if (reads > 1) expected.flow = 1;
    if (reads > 16) expected.codePage = 0;
    if (reads > 21) expected.autoSpeed = "60";
    c.shown(expected);
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), c.result ? c.result : "Get settings from printer successfully.");
    EXPECT_EQ(form.resultIsRed(), c.result != nullptr);
    EXPECT_EQ(form.saveEnabled(), c.result == nullptr);
    EXPECT_EQ(ReadAddresses(printer_).size(), reads);
    EXPECT_EQ(form.state(), expected);
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  }
}

// The state line of a Get notes a slow motor only (after the speed), never
// a dark head.
TEST_F(K773SerialTest, GetStateLineNotesTheSpeedOnly) {
  struct Case {
    uint16_t speed, darkness;
    const char* state;
    bool olive;
  };
  const Case cases[] = {
      {150, 0xC8C8, "Printer state: Normal.", false},
      {100, 0x0044, "Printer state: light motor load.", true},
      {300, 0x0044, "Printer state: light motor load.", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.speed);
    printer_.setSetting(0x06, c.speed);
    printer_.setSetting(0x02, c.darkness);
    TK773Eeport form;
    form.btnGetSettingsFromPrinterClick();
    ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
    EXPECT_EQ(form.stateText(), c.state);
    EXPECT_EQ(form.stateIsOlive(), c.olive);
  }
}

// Save after a Get: what it writes for what the dialog shows, and every way
// it refuses. Every check and every setter's refusal comes before the port
// is opened, so a refused Save sends nothing at all.
TEST_F(K773SerialTest, SaveWritesOrRefusesBeforeSendingAnything) {
  using Box = std::pair<MessageKind, const char*>;
  struct Case {
    const char* name;
    std::vector<std::pair<int, uint16_t>> memory;  // the printer before the Get
    void (*edit)(EditorState&);
    std::vector<Box> boxes;                        // English; the last is the warning for Chinese too
    const char* chinese;                           // the warning's Chinese text, or nullptr
    const char* result;                            // nullptr: the Save succeeds
    std::vector<std::pair<int, uint16_t>> written; // cells after a successful Save
    const char* state;
  };
  const char* kSaved = "After feeding paper,Please turn off the printer and turn it on!";
  const auto keep = [](EditorState&) {};
  const Case cases[] = {
      {"no code page", {}, [](EditorState& s) { s.codePage = -1; }, {}, nullptr, "Fail to save  CodePage  flag!", {},
       nullptr},
      {"hidden second head 30", {{0x02, 0x1E64}}, keep, {{MessageKind::Information, kSaved}}, nullptr, nullptr,
       {{0x02, 0x1E64}}, "Printer state: Normal."},
      {"speed above what the printer takes", {}, [](EditorState& s) { s.speed = "300"; }, {}, nullptr,
       "Fail to save print speed!", {}, nullptr},
      {"speed shown as -1", {{0x06, 300}}, keep,
       {{MessageKind::Warning, "The input of print speed is invalid!"}}, "“print speed”非法输入！", nullptr, {}, nullptr},
      {"data error back to print '?'", {{0x09, 0x435A}}, [](EditorState& s) { s.comDataError = 0; },
       {{MessageKind::Information, kSaved}}, nullptr, nullptr, {{0x09, 0x415A}}, "Printer state: Normal."},
      {"slow and dark", {}, [](EditorState& s) { s.darkness = "120"; s.speed = "80"; },
       {{MessageKind::Information, kSaved}}, nullptr, nullptr, {{0x02, 0x4478}, {0x06, 80}},
       "Printer state: light motor load, heavy TPH load."},
      {"left margin 120", {{0x4E, 120}}, keep,
       {{MessageKind::Plain, "The input of default left margin is invalid!"}}, nullptr,
       "Fail to save default left margin!", {}, nullptr},
      {"both margins out of range", {{0x4E, 120}, {0x4A, 130}}, keep,
       {{MessageKind::Plain, "The input of default left margin is invalid!"},
        {MessageKind::Plain, "The input of default right margin is invalid!"}},
       nullptr, "Fail to save default left margin!", {}, nullptr},
      {"flow control None", {}, [](EditorState& s) { s.flow = 2; }, {{MessageKind::Information, kSaved}}, nullptr,
       nullptr, {{0x41, 1}}, "Printer state: Normal."},
      {"flow control DTR/DSR", {}, [](EditorState& s) { s.flow = 0; }, {{MessageKind::Information, kSaved}}, nullptr,
       nullptr, {{0x41, 0}}, "Printer state: Normal."},
      {"enlarged 4", {}, [](EditorState& s) { s.enlargeHorizontal = "4"; }, {}, nullptr,
       "Fail to save Watermark Enlarge flag!", {}, nullptr},
      {"paper width 81", {}, [](EditorState& s) { s.paperWidth = "81"; }, {}, nullptr, "Fail to save PaperWidth flag!",
       {}, nullptr},
      {"second head 255", {}, [](EditorState& s) { s.head2 = "255"; }, {}, nullptr, "Fail to save print darkness!", {},
       nullptr},
      {"no character set", {}, [](EditorState& s) { s.intlChar = -1; }, {}, nullptr, "Fail to save intlChar flag!", {},
       nullptr},
      {"wait time 241", {}, [](EditorState& s) { s.waitTime = "241"; s.autoSpeed = "999"; },
       {{MessageKind::Warning, "The input of Presenter wait time is invalid!"}}, "“Presenter wait time”非法输入！",
       nullptr, {}, nullptr},
      {"head 1 below 50", {}, [](EditorState& s) { s.darkness = "49"; s.waitTime = "241"; },
       {{MessageKind::Warning, "The input of print darkness is invalid!"}}, "“print darkness”非法输入！", nullptr, {},
       nullptr},
      {"auto-loading time 801", {}, [](EditorState& s) { s.autoTime = "801"; },
       {{MessageKind::Warning, "The input of auto loading time is invalid!"}}, "“auto loading time”非法输入！", nullptr,
       {}, nullptr},
      {"auto-loading speed 126", {}, [](EditorState& s) { s.autoSpeed = "126"; s.feedLine = "65535"; },
       {{MessageKind::Warning, "The input of auto loading speed is invalid!"}}, "“auto loading speed”非法输入！",
       nullptr, {}, nullptr},
      {"feed line FFFF", {}, [](EditorState& s) { s.feedLine = "65535"; },
       {{MessageKind::Warning, "The input of Feed Lines in Mark Mode is invalid!"}},
       "“ Feed Lines in Mark Mode”非法输入！", nullptr, {}, nullptr},
      {"not a number", {}, [](EditorState& s) { s.rightMargin = "x"; s.waitTime = "241"; },
       {{MessageKind::Warning, "The input of format is invalid!"}}, "非法输入！", nullptr, {}, nullptr},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Case& c : cases) {
      // In Chinese: the cases with a warning or an English-only box.
      const bool told = std::any_of(c.boxes.begin(), c.boxes.end(),
                                    [](const Box& b) { return b.first != MessageKind::Information; });
      if (Language == "Chinese" && !told) continue;
      SCOPED_TRACE(std::string(language) + " " + c.name);
      printer_.setModel(ModelVDK773);
      for (const auto& [address, value] : c.memory) printer_.setSetting(address, value);
      TK773Eeport form;
      form.btnGetSettingsFromPrinterClick();
      ASSERT_TRUE(form.saveEnabled());
      EditorState s = form.state();
      c.edit(s);
      form.setState(s);
      messages_.clear();
      printer_.clearLog();
      form.btnSaveSettingsToPrinterClick();
      ASSERT_EQ(messages_.messages().size(), c.boxes.size());
      for (size_t i = 0; i < c.boxes.size(); ++i) {
        const auto& [kind, english] = c.boxes[i];
        EXPECT_EQ(messages_.messages()[i].kind, kind);
        // English-only boxes stay English; the others follow the language.
        QString text = english;
        if (Language == "Chinese" && kind == MessageKind::Warning) text = c.chinese;
        if (Language == "Chinese" && kind == MessageKind::Information) text = "请在打印机完成走纸动作后复位打印机！";
        EXPECT_EQ(messages_.messages()[i].text, text);
      }
      EXPECT_EQ(Child<QPushButton>(form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
      EXPECT_EQ(ComParameter.m_hdev.load(), -1);
      const bool saved = !c.result && !c.boxes.empty() && c.boxes.back().first == MessageKind::Information;
      if (!saved) {
        EXPECT_TRUE(printer_.receivedBytes().empty()) << "nothing sent";
        // A refused check empties the line: no earlier success stands beside it.
        EXPECT_EQ(form.resultText(), c.result ? c.result : "");
        continue;
      }
      EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
      EXPECT_EQ(form.stateText(), c.state);
      WaitLog(18 + 15 + 1);
      EXPECT_EQ(printer_.receivedBytes().size(), 18u * 9 + 135 + 1);
      for (const auto& [address, value] : c.written) EXPECT_EQ(printer_.setting(address), value) << std::hex << address;
    }
  }
}

// A printer whose hidden second head reads 30 (reply 64 1E): the user has no
// control for it, so Export, as Save does, writes it as it was read instead
// of refusing every export with a warning about a head the dialog hides.
TEST_F(K773SerialTest, HiddenSecondHeadExportsAsRead) {
  for (const auto& [address, value] : kMemory) printer_.setSetting(address, value);
  printer_.setSetting(0x02, 0x1E64);
  const QString file = path("head2.pes");
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  TK773Eeport form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().head2, "30");
  form.btnExportSettingsToFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(form.resultText(), "Export settings to file \"" + file + "\" successfully.");
  const QByteArray bytes = settings_test::ReadAll(file);
  ASSERT_EQ(bytes.size(), 297);
  // The eleventh record, the darkness: head 1 in lo, the hidden head in hi.
  EXPECT_EQ(bytes.mid(10 * 9 + 6, 3), QByteArray("\x64\x1E\x02", 3));
}

// A direct write that fails ends the Save with its setter's text: the
// commands written before it stay written, the queue is not sent.
TEST_F(K773Test, FailedDirectWriteEndsTheSave) {
  Start(kPorts[3]);
  TK773Eeport form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_TRUE(form.saveEnabled());
  printer_.clearLog();
  WriteTap::failAddress = 0x6D;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to save  CodePage  flag!");
  EXPECT_TRUE(form.resultIsRed());
  WaitLog(6);
  EXPECT_EQ(printer_.receivedBytes(), Commands({0x2B, 0x4E, 0x4A, 0xC4, 0x43, 0x59}, printer_));
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
}

// A printer that stops answering at a margin: the Get ends there, an
// English-only box says the port test failed, what was read stays; at the
// code page the Get ends without a box. The next Get reads everything.
TEST_F(K773SerialTest, PrinterThatStopsMidGet) {
  printer_.setSetting(0x16, 1);
  printer_.setAddressFault(0x4A, FaultSpec{Fault::NoReply, -1, 0});
  TK773Eeport form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get default right margin!");
  EXPECT_TRUE(form.resultIsRed());
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Plain);
  EXPECT_EQ(messages_.messages()[0].title, "TORVAConsole");
  EXPECT_EQ(messages_.messages()[0].text,
            "Port communication test failed!Please check whether the printer is connected to the specified port "
            "correctly.");
  EXPECT_EQ(ReadAddresses(printer_).size(), 8u);
  EXPECT_EQ(form.state().baud, 2) << "read before the margin";
  EXPECT_FALSE(form.saveEnabled());
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);

  messages_.clear();
  printer_.clearFault();
  printer_.setAddressFault(0x6D, FaultSpec{Fault::NoReply, -1, 0});
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get CodePage!");
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(form.state().codePage, -1);

  printer_.clearFault();
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form.state().codePage, 0);
  EXPECT_TRUE(form.saveEnabled());
}

namespace {

// The serial write and input flush, as the link makes them, with a printer
// that sends a byte of its own (an automatic status byte, say) once it has
// answered the read of `address`: while the reply still waits at the port
// to be read (the byte is then behind it when the host takes it in), or
// once the host has taken the reply in and judged it, as the next read
// command's discard starts.
struct StrayByteAfterReply {
  enum class When { BeforeTheReplyIsRead, BeforeTheNextQuestion };
  static inline SimPrinter* printer = nullptr;
  static inline uint8_t address = 0;
  static inline When when = When::BeforeTheReplyIsRead;
  static inline bool asked = false;   // the read of `address` went out
  static inline bool queued = false;  // the byte reached the port
  // Waits (up to 3 s) until the port holds n bytes for the host.
  static bool Holds(int fd, int n) {
    const uint64_t end = torva::TickMs() + 3000;
    int count = 0;
    while (::ioctl(fd, FIONREAD, &count) == 0 && count < n && torva::TickMs() < end) ::usleep(1000);
    return count >= n;
  }
  static ssize_t Write(int fd, const void* data, size_t n) {
    const ssize_t written = serialio::RealWrite(fd, data, n);
    const auto* b = static_cast<const uint8_t*>(data);
    if (n == 3 && b[0] == 0x1B && b[1] == 0x6A && b[2] == address) {
      asked = true;
      if (when == When::BeforeTheReplyIsRead && Holds(fd, 2)) {
        printer->sendUnsolicited({0x55});
        queued = Holds(fd, 3);
      }
    }
    return written;
  }
  static int Flush(int fd, int queue) {
    if (when == When::BeforeTheNextQuestion && asked && !queued && queue == TCIFLUSH) {
      printer->sendUnsolicited({0x55});
      queued = Holds(fd, 1);
    }
    return serialio::RealFlush(fd, queue);
  }
  static SerialCalls Calls() {
    SerialCalls calls = SerialTermiosCalls();
    calls.write = &Write;
    calls.flush = &Flush;
    return calls;
  }
};

}  // namespace

// A byte the printer sends by itself after its reply to the left margin's
// read. Still at the port when the reply has been read, it may be the
// reply's surplus or the reply may have been shifted by it: the reply does
// not stand, and the Get fails there (with the margin's box), the right
// margin and every later setting as they were. Come once the reply was
// judged, it is thrown away before the next read command goes out: it is
// never taken for the first byte of the next setting, and every setting
// reads as the printer holds it.
TEST_F(K773SerialTest, ByteSentBetweenRepliesIsNeverTakenForASetting) {
  using When = StrayByteAfterReply::When;
  for (const When when : {When::BeforeTheReplyIsRead, When::BeforeTheNextQuestion}) {
    const bool behind = when == When::BeforeTheReplyIsRead;
    SCOPED_TRACE(behind ? "before the reply is read" : "before the next question");
    for (const auto& [address, value] : kMemory) printer_.setSetting(address, value);
    printer_.clearLog();
    messages_.clear();
    StrayByteAfterReply::printer = &printer_;
    StrayByteAfterReply::address = 0x4E;  // the left margin
    StrayByteAfterReply::when = when;
    StrayByteAfterReply::asked = false;
    StrayByteAfterReply::queued = false;
    ScopedSerialCalls seam(StrayByteAfterReply::Calls());
    TK773Eeport form;
    const EditorState before = form.state();
    const EditorState expected = ShownMemory(before);
    form.btnGetSettingsFromPrinterClick();
    ASSERT_TRUE(StrayByteAfterReply::queued) << "the byte reached the port";
    if (behind) {
      EXPECT_EQ(form.resultText(), "Fail to get default left margin!");
      EXPECT_EQ(messages_.messages().size(), 1u) << "the margin's box";
      // The six settings read before the margin, as the printer holds them.
      EditorState shown = before;
      shown.baud = expected.baud;
      shown.flow = expected.flow;
      shown.feedLine = expected.feedLine;
      shown.dataBits = expected.dataBits;
      shown.stopBits = expected.stopBits;
      shown.parity = expected.parity;
      EXPECT_EQ(form.state(), shown);
      EXPECT_NE(shown, before);
      EXPECT_FALSE(form.saveEnabled());
      EXPECT_EQ(ReadAddresses(printer_), std::vector<int>(kGetOrder.begin(), kGetOrder.begin() + 7));
    } else {
      EXPECT_EQ(form.resultText(), "Get settings from printer successfully.");
      EXPECT_EQ(form.state().rightMargin, "7");
      EXPECT_EQ(form.state(), expected);
      EXPECT_EQ(ReadAddresses(printer_), kGetOrder);
    }
  }
}

using torva::testing::PostClick;  // a click the window system would deliver

// A printer that stays silent, as a user meets it: Get waits out its read
// time and ends at the first setting with the result line alone (no box);
// what the user clicked and typed while it waited (Get again, Exit, Esc) is
// dropped, so the dialog stays; Esc afterwards closes it.
TEST_F(K773SerialTest, SilentPrinterAsAUserMeetsIt) {
  printer_.setFault(FaultSpec{Fault::NoReply, -1, 0});
  TK773Eeport form;
  QuickReads(form);
  form.show();
  QApplication::processEvents();
  // Input that waits in the queue while the dialog waits for the printer.
  PostClick(Child<QPushButton>(form, "btnGetSettingsFromPrinter"));
  PostClick(Child<QPushButton>(form, "btnExit"));
  QApplication::postEvent(&form, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get COM's baud rate!");
  EXPECT_TRUE(form.resultIsRed());
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_FALSE(form.saveEnabled());
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  WaitLog(1);
  QApplication::processEvents();
  EXPECT_EQ(ReadAddresses(printer_).size(), 1u)
      << "the click on Get made while it waited started no second Get";
  EXPECT_TRUE(form.isVisible()) << "Exit and Esc made while it waited were dropped";
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&form, &esc);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(form.result(), QDialog::Rejected);
}

// Ports the editor does not serve: nothing opens, the Get and the Save fail
// at their first row; nothing is sent.
TEST_F(K773SerialTest, OtherPortKindsFail) {
  for (int kind : {PortLPT, PortNibbleLPT, PortNet}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    TK773Eeport form;
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form.resultText(), "Fail to get COM's baud rate!");
    EditorState s = form.state();
    s.codePage = 0;
    s.autoSpeed = "60";
    form.setState(s);
    form.btnSaveSettingsToPrinterClick();
    EXPECT_EQ(form.resultText(), "Fail to save COM's baud rate!");
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
}

// A custom-mode printer that is not there: the open fails with the port's
// name, nothing is read, the Save button keeps its caption.
TEST_F(K773Test, CustomModePrinterMissing) {
  Start(kPorts[3]);
  iPrinterID = 7;
  TK773Eeport form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages_.messages()[0].text, "Can't open VD-K773 port!");
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
  EXPECT_TRUE(printer_.log().empty());
}

namespace {

// The VD-K773 on a serial port of 7 data bits.
class K773SevenBitTest : public K773Test {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    FakeTermios::Reset();
    Start(kPorts[0]);
    ComParameter.Databits = 7;
  }
  void TearDown() override {
    K773Test::TearDown();
    FakeTermios::Reset();
  }
  ScopedSerialCalls seam_{SerialCalls{&FakeTermios::GetAttr, &FakeTermios::SetAttr, RealSerialCalls().modemIoctl}};
};

}  // namespace

// Get, a Get that stops midway, and Save each switch the printer to 8 data
// bits for the exchange and back to 7 at their end; a refused Save never
// switches.
TEST_F(K773SevenBitTest, EveryRoadEndsAtSeven) {
  TK773Eeport form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  WaitLog(35);
  EXPECT_EQ(Names(printer_).front(), "TempDataBits");
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes, (std::vector<int>{7, 8, 7}));

  printer_.clearLog();
  FakeTermios::Reset();
  printer_.setAddressFault(0x09, FaultSpec{Fault::NoReply, -1, 0});
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to get Data Error flag!");
  WaitLog(28);
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  printer_.clearFault();

  // Save: the switch back goes out after the queue, before the line feed.
  printer_.clearLog();
  FakeTermios::Reset();
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Save settings to printer successfully.");
  WaitLog(36);
  const auto names = Names(printer_);
  EXPECT_EQ(names.front(), "TempDataBits");
  EXPECT_EQ(names[34], "TempDataBits");
  EXPECT_EQ(names.back(), "FeedLine");
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(FakeTermios::sizes, (std::vector<int>{7, 8, 7}));

  // A refused Save opens nothing.
  printer_.clearLog();
  FakeTermios::Reset();
  EditorState s = form.state();
  s.codePage = -1;
  form.setState(s);
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form.resultText(), "Fail to save  CodePage  flag!");
  EXPECT_TRUE(printer_.log().empty());
  EXPECT_TRUE(FakeTermios::sizes.empty());
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}
