// The RW-K201 and RW-K305 editors against the simulated printer, on a
// pseudo-terminal and on the simulator's USB socket (both libraries): Get,
// Save, a printer that stops answering, refused values, a write that fails,
// the button states, and the data-bits roads through the termios seam.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "EditorSimSupport.h"
#include "SecondSeriesSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "gui/FileDialogs.h"
#include "link/Clock.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305EepromSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using namespace torva::settings::second;
using settings_test::Child;
using settings_test::DataBitsSwitches;
using settings_test::FakeTermios;
using settings_test::Names;
using settings_test::ReadAddresses;
using settings_test::WaitPtyInput;
using settings_test::WriteAll;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;
using C = Control;
using namespace settings_test::second_series;

namespace {

const std::vector<int> kGetOrder = {0x16, 0x40, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02,
                                    0x44, 0x54, 0x09, 0x14, 0x12, 0x58, 0x6D, 0x7D, 0x37};

// The start values, as a Save writes them (feed lines to 37).
std::vector<std::pair<int, int>> StartValues() {
  return {{0x16, 1},  {0x40, 0}, {0x17, 8}, {0x19, 1},  {0x1B, 0}, {0x4E, 2}, {0x4A, 2}, {0x06, 100}, {0x02, 68},
          {0x44, 0},  {0x54, 1}, {0x09, 0}, {0x14, 0},  {0x12, 0}, {0x58, 1}, {0x6D, 0}, {0x7D, 0},   {0x37, 0}};
}

// What the printer got after `from` bytes.
Bytes ReceivedAfter(const SimPrinter& printer, size_t from) {
  const Bytes all = printer.receivedBytes();
  return from < all.size() ? Bytes(all.begin() + static_cast<long>(from), all.end()) : Bytes{};
}

class SecondSeriesSimBase : public SecondSeriesSimFixture {
 protected:
  SecondSeriesSimBase() : SecondSeriesSimFixture(4) {}
  void SetUp() override {
    EditorTest::SetUp();
    HighBuf09(RWK201Profile()) = 0;
    HighBuf09(RWK305Profile()) = 0;
  }
  void TearDown() override {
    HighBuf09(RWK201Profile()) = 0;
    HighBuf09(RWK305Profile()) = 0;
    SecondSeriesSimFixture::TearDown();
  }
  // A Save at 8 data bits that succeeds, and the printer has taken all of it
  // (the bytes reach it on its own thread).
  void SaveAndWait(TSecondSeriesEepromSetForm& form) {
    printer_.clearLog();
    form.btnSaveSettingsToPrinterClick();
    ASSERT_EQ(OneBox().text, "After feeding paper,Please turn off the printer and turn it on!");
    WaitLog(20);
  }
};

class SecondSeriesSimTest : public SecondSeriesSimBase {
 protected:
  void SetUp() override {
    SecondSeriesSimBase::SetUp();
    UseSerial();
  }
};

}  // namespace

TEST_F(SecondSeriesSimTest, GetShowsThePrintersValues) {
  printer_.setSetting(0x16, 7);       // 115200
  printer_.setSetting(0x40, 1);       // XON/XOFF: the list shows none
  printer_.setSetting(0x17, 0xFFFF);  // FF reads 8
  printer_.setSetting(0x19, 0xFFFF);  // FF reads 2
  printer_.setSetting(0x1B, 0xFFFF);  // FF reads Even
  printer_.setSetting(0x4E, 40);
  printer_.setSetting(0x06, 130);
  printer_.setSetting(0x09, 0x0C00);  // cutter off, another bit set
  printer_.setSetting(0x6D, 0x0105);  // no page: the list stays
  printer_.setSetting(0x7D, 0xFFFF);
  printer_.setSetting(0x37, 400);
  TRWK201EepromSetForm form;
  FormState before = form.state();
  before[C::cboCodePage].index = 3;
  form.setState(before);
  form.btnGetSettingsFromPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Information);
  EXPECT_EQ(box.text, kGetOk);
  EXPECT_EQ(Child<QComboBox>(form, "cboBaudrate")->currentText(), "115200");
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentIndex(), -1);
  EXPECT_EQ(Child<QComboBox>(form, "cboDataBits")->currentText(), "8");
  EXPECT_EQ(Child<QComboBox>(form, "cboStopbits")->currentText(), "2");
  EXPECT_EQ(Child<QComboBox>(form, "cboParity")->currentText(), "Even");
  EXPECT_EQ(Child<QComboBox>(form, "cboCodePage")->currentText(), "PC860");
  const FormState s = form.state();
  EXPECT_EQ(s[C::edtDefaultLeftMargin].text, "40");
  EXPECT_EQ(s[C::edtPrintSpeed].text, "130");
  EXPECT_EQ(s[C::rgAutoCutter].index, 1);
  EXPECT_EQ(s[C::rgBufferSize].index, 0);
  EXPECT_EQ(s[C::FeedLine].text, "400");
  EXPECT_EQ(HighBuf09(RWK201Profile()), 0x0C);
  EXPECT_EQ(HighBuf09(RWK305Profile()), 0) << "the other editor's is its own";
  EXPECT_EQ(ReadAddresses(printer_), kGetOrder);
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1) << "the port is closed after the Get";
}

// Bytes the printer sends by itself before a Get, and a reply that comes too
// late for a failed Get, never land on a setting.
TEST_F(SecondSeriesSimTest, StrayBytesShiftNothing) {
  printer_.setSetting(0x16, 0);  // 9600: its code 00 00 must not be a stray pair
  printer_.sendUnsolicited({0x07, 0x00, 0x07, 0x00, 0x55});
  ASSERT_TRUE(WaitPtyInput(printer_.serialPath(), 5));
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(Child<QComboBox>(form, "cboBaudrate")->currentText(), "9600");

  // The printer answers one read late, after the Get gave up on it. Its
  // replies keep their order, so the next Get starts once the late one is on
  // the line (a bounded wait for it).
  std::mutex mu;
  std::condition_variable cv;
  int replies = 0;
  printer_.setReplyObserver([&](const std::string&, const Bytes&) {
    std::lock_guard<std::mutex> lock(mu);
    ++replies;
    cv.notify_all();
  });
  printer_.setAddressFault(0x06, FaultSpec{Fault::LateReply, 1, 1500});
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  {
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return replies == 8; })) << replies;
  }
  printer_.setReplyObserver(nullptr);
  // The late reply is on its way to the port; it waits there (with a stray
  // byte after it) when the next Get opens the port.
  printer_.sendUnsolicited({0x55});
  ASSERT_TRUE(WaitPtyInput(printer_.serialPath(), 3));
  printer_.setSetting(0x16, 1);
  QuickReads(form, 2000);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(Child<QComboBox>(form, "cboBaudrate")->currentText(), "19200");
  EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "100");
}

// A byte behind the last reply of a Get: the 2 bytes taken may not be the
// value, so the reply does not stand. The Get fails, its last setting keeps
// what it showed, and Save is not made usable by it.
TEST_F(SecondSeriesSimTest, ByteBehindTheLastReplyFailsTheGet) {
  printer_.setSetting(0x37, 400);
  printer_.setAddressFault(0x37, FaultSpec{Fault::LongReply, 1, 0});
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  EXPECT_EQ(form.state()[C::FeedLine].text, "0");
  EXPECT_EQ(form.buttons(), kAllButSave);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(form.state()[C::FeedLine].text, "400");
}

TEST_F(SecondSeriesSimTest, SilentAtTheAlarmKeepsWhatCameBefore) {
  printer_.setSetting(0x06, 120);
  printer_.setSetting(0x54, 0);
  printer_.setAddressFault(0x54, FaultSpec{Fault::NoReply, -1, 0});
  TRWK201EepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kGetFailed);
  EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "120") << "read before the silence";
  EXPECT_TRUE(form.state()[C::chkAlarmOnPaperNearEnd].checked) << "not read: as it was";
  EXPECT_EQ(ReadAddresses(printer_).size(), 11u);
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  Language = "Chinese";
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, "读取打印机数据失败！\r\n请检查打印机是否正确连接到指定端口。");
}

TEST_F(SecondSeriesSimTest, SaveIsOneQueuedWriteThenTheReset) {
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  FormState s = form.state();
  s[C::edtPrintSpeed].text = "120";
  s[C::edtPrintDarkness].text = "90";
  s[C::edtDefaultLeftMargin].text = "16";
  s[C::chkStopPrintingOnPaperNearEnd].checked = true;
  s[C::rgAutoCutter].index = 1;
  s[C::cboCodePage].index = 9;
  s[C::FeedLine].text = "65535";
  form.setState(s);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    printer_.clearLog();
    const size_t before = printer_.receivedBytes().size();
    torva::ScopedPrinterDelayRecorder waits;
    form.btnSaveSettingsToPrinterClick();
    const RecordedMessage box = OneBox();
    EXPECT_EQ(box.kind, MessageKind::Information);
    EXPECT_EQ(box.text, kSaveOk);
    WaitLog(20);
    std::vector<std::string> expected(18, "WriteSetting");
    expected.push_back("InitializePrinter");
    expected.push_back("FeedLine");
    EXPECT_EQ(Names(printer_), expected);
    auto values = StartValues();
    values[5].second = 16;
    values[7].second = 120;
    values[8].second = 90;
    values[9].second = 1;
    values[11].second = 0x0800;
    values[15].second = 9;
    values[17].second = 65535;
    Bytes want = WriteCommands(values);
    ASSERT_EQ(want.size(), 162u);
    want.insert(want.end(), {0x1B, 0x40, 0x0A});
    EXPECT_EQ(ReceivedAfter(printer_, before), want) << "a second Save sends the same 162 bytes";
    EXPECT_EQ(waits.waits(), (std::vector<int>{2500}));
    EXPECT_EQ(form.buttons(), kAllButSave);
    EXPECT_EQ(printer_.setting(0x06), 120);
    EXPECT_EQ(printer_.setting(0x4E), 16);
    EXPECT_EQ(printer_.setting(0x09), 0x0800);
    EXPECT_EQ(printer_.setting(0x37), 65535);
    EXPECT_EQ(printer_.setting(0x2C), 0xFFFF) << "the file key is not a printer address";
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  }
}

// The cutter bit changes alone: the switch word's other bits come back as
// the printer gave them.
TEST_F(SecondSeriesSimTest, CutterWritesBackTheOtherBits) {
  struct Case {
    uint16_t stored;
    int choice;  // 0 "Enable", 1 "Disable"
    uint16_t written;
  };
  const Case cases[] = {{0x0800, 0, 0x0000}, {0x0C00, 0, 0x0400}, {0x0C00, 1, 0x0C00}, {0x0400, 1, 0x0C00}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    printer_.setSetting(0x09, c.stored);
    TRWK201EepromSetForm form;
    form.btnGetSettingsFromPrinterClick();
    ASSERT_EQ(OneBox().text, kGetOk);
    FormState s = form.state();
    s[C::rgAutoCutter].index = c.choice;
    form.setState(s);
    SaveAndWait(form);
    EXPECT_EQ(printer_.setting(0x09), c.written);
  }
}

// XON/XOFF read from the printer (or a file) is written back as XON/XOFF.
TEST_F(SecondSeriesSimTest, FlowControlOneSurvivesGetAndSave) {
  printer_.setSetting(0x40, 1);
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  printer_.setSetting(0x40, 0);
  SaveAndWait(form);
  EXPECT_EQ(printer_.setting(0x40), 1);

  // From a file: (40, 1) and a Save writes 1.
  printer_.setSetting(0x40, 0);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentText(), "DTR/DSR");
  const QString file = path("flow.pes");
  SettingsFileWriter w;
  w.SaveSettingsToFile(0x40, 1);
  WriteAll(file, w.Finish("RW-K201XX"));
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentIndex(), -1);
  SaveAndWait(form);
  EXPECT_EQ(printer_.setting(0x40), 1);
}

TEST_F(SecondSeriesSimTest, SpeedOutsideItsRangeShowsMinusOneAndSaveRefusesIt) {
  printer_.setSetting(0x06, 300);
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(Child<QLineEdit>(form, "edtPrintSpeed")->text(), "-1");
  const size_t before = printer_.receivedBytes().size();
  form.btnSaveSettingsToPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Warning);
  EXPECT_EQ(box.text, "The input of print speed is invalid!");
  EXPECT_EQ(printer_.receivedBytes().size(), before) << "nothing sent";
  EXPECT_EQ(form.buttons(), kAllOn);
}

// Every refusal comes before the port opens: nothing is sent, not even the
// data-bits switch, and the port's data bits stay.
TEST_F(SecondSeriesSimTest, RefusedSavesSendNothing) {
  struct Case {
    const char* name;
    void (*edit)(FormState&);
    MessageKind kind;
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {"left margin 17", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "17"; }, MessageKind::Warning,
       "The input of default left margin is invalid!", "“default left margin”非法输入！"},
      {"darkness 0", [](FormState& s) { s[C::edtPrintDarkness].text = std::string("0"); }, MessageKind::Warning,
       "The input of print darkness is invalid!", "“print darkness”非法输入！"},
      {"feed lines text", [](FormState& s) { s[C::FeedLine].text = "lots"; }, MessageKind::Warning,
       "The input of format is invalid!", "非法输入！"},
      {"no code page", [](FormState& s) { s[C::cboCodePage].index = -1; }, MessageKind::Error, kSaveFailed,
       "配置Eeprom失败！"},
      {"no baud rate", [](FormState& s) { s[C::cboBaudrate].index = -1; }, MessageKind::Error, kSaveFailed,
       "配置Eeprom失败！"},
  };
  ComParameter.Databits = 7;
  FakeTermios::Reset();
  ScopedSerialCalls seam{FakeTermios::Calls()};
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      TRWK201EepromSetForm form;
      FormState s = form.state();
      s[C::cboDataBits].index = 0;  // a Save that would switch the printer to 8
      c.edit(s);
      form.setState(s);
      form.btnSaveSettingsToPrinterClick();
      const RecordedMessage box = OneBox();
      EXPECT_EQ(box.kind, c.kind);
      EXPECT_EQ(box.text, QString::fromUtf8(Language == "English" ? c.english : c.chinese));
      EXPECT_EQ(form.buttons(), kAllOn);
    }
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
  EXPECT_TRUE(FakeTermios::Sizes().empty()) << "the port was never opened";
  EXPECT_EQ(ComParameter.Databits, 7);
}

TEST_F(SecondSeriesSimTest, PortThatCannotOpen) {
  ComParameter.Name = path("no-such-tty").toStdString();
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, "Can't open " + path("no-such-tty") + " port!");
  EXPECT_EQ(form.buttons(), kAllButSave);
  Language = "Chinese";
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, "端口 " + path("no-such-tty") + " 打开错误！");
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(SecondSeriesSimTest, OtherPortKindsFailWithoutSending) {
  for (int kind : {PortLPT, PortNibbleLPT, PortNet, PortDriver, PortNone}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    TRWK201EepromSetForm form;
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(OneBox().text, kGetFailed);
    EXPECT_EQ(form.buttons(), kAllButSave);
    form.btnSaveSettingsToPrinterClick();
    EXPECT_EQ(OneBox().text, kSaveFailed) << "not a success with nothing sent";
    EXPECT_EQ(form.buttons(), kAllOn);
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
}

// The buttons over a run of events, one table.
TEST_F(SecondSeriesSimTest, ButtonStates) {
  TRWK305EepromSetForm form;
  struct Step {
    const char* event;
    std::function<void()> act;
    ButtonStates after;
  };
  const QString file = path("b.pes");
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  auto get = [&] { form.btnGetSettingsFromPrinterClick(); };
  auto save = [&] { form.btnSaveSettingsToPrinterClick(); };
  auto edit = [&](C c, const char* text) {
    FormState s = form.state();
    s[c].text = text;
    form.setState(s);
  };
  const std::vector<Step> steps = {
      {"start", [] {}, {true, false, true, false, true}},
      {"Get fails", [&] { printer_.setAddressFault(0x02, FaultSpec{Fault::NoReply, 1, 0}); get(); }, kAllButSave},
      {"Export after a failed Get", [&] { form.btnExportSettingsToFileClick(); }, kAllButSave},
      {"Get succeeds", get, kAllOn},
      {"Save refused", [&] { edit(C::edtPrintSpeed, "151"); save(); }, kAllOn},
      {"Save succeeds", [&] { edit(C::edtPrintSpeed, "150"); save(); }, kAllButSave},
      {"Import", [&] { form.btnImportSettingsFromFileClick(); }, kAllButSave},
      {"Get succeeds again", get, kAllOn},
      {"Export", [&] { form.btnExportSettingsToFileClick(); }, kAllOn},
      {"Save cannot open", [&] { ComParameter.Name = "/nonexistent/tty"; save(); }, kAllOn},
      {"Get cannot open", get, kAllButSave},
  };
  QuickReads(form);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.event);
    step.act();
    messages_.clear();
    EXPECT_EQ(form.buttons(), step.after);
  }
}

// Model codes 6 and 15 share the RW-K305 editor; it keeps its own switch
// word and writes the same exchange.
TEST_F(SecondSeriesSimTest, RWK305EditorSpeaksTheSameExchange) {
  printer_.setModel(15);
  printer_.setSetting(0x09, 0x0800);
  TRWK305EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(ReadAddresses(printer_), kGetOrder);
  EXPECT_EQ(HighBuf09(RWK305Profile()), 0x08);
  EXPECT_EQ(HighBuf09(RWK201Profile()), 0);
  printer_.setSetting(0x09, 0);
  SaveAndWait(form);
  EXPECT_EQ(printer_.setting(0x09), 0x0800) << "written back from its own switch word";
}

// ----------------------------------------------------------- data bits

class SecondSeriesDataBitsTest : public SecondSeriesSimTest {
 protected:
  void SetUp() override {
    SecondSeriesSimTest::SetUp();
    FakeTermios::Reset();
    FakeTermios::printer = &printer_;
  }
  void TearDown() override {
    FakeTermios::printer = nullptr;
    SecondSeriesSimTest::TearDown();
    FakeTermios::Reset();
  }
  ScopedSerialCalls seam_{FakeTermios::Calls()};
};

TEST_F(SecondSeriesDataBitsTest, ConfiguredSevenGetsAtEightAndGoesBack) {
  ComParameter.Databits = 7;
  printer_.setSetting(0x17, 7);
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  WaitLog(20);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(Names(printer_).front(), "TempDataBits");
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(Child<QComboBox>(form, "cboDataBits")->currentText(), "7");
}

// Configured for 8, "7" saved: the records go out at 8, then the switch to 7,
// the port reopens at 7 and the reset goes through it; the port's data bits
// are 7 from then on.
TEST_F(SecondSeriesDataBitsTest, SevenSavedOnAnEightBitPort) {
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  FormState s = form.state();
  s[C::cboDataBits].index = 1;
  form.setState(s);
  printer_.clearLog();
  FakeTermios::Reset();
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(21);
  std::vector<std::string> expected(18, "WriteSetting");
  expected.insert(expected.end(), {"TempDataBits", "InitializePrinter", "FeedLine"});
  EXPECT_EQ(Names(printer_), expected);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{7}));
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{8, 7}));
  EXPECT_EQ(waits.waits(), (std::vector<int>{100, 2500}));
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(printer_.setting(0x17), 7);

  // The next Get runs at 7 with the switch around it.
  printer_.clearLog();
  FakeTermios::Reset();
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  WaitLog(20);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));
}

// Configured for 7, "8" saved: the printer stays at 8 and so does the port.
TEST_F(SecondSeriesDataBitsTest, EightSavedOnASevenBitPort) {
  ComParameter.Databits = 7;
  TRWK201EepromSetForm form;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(21);
  std::vector<std::string> expected{"TempDataBits"};
  expected.insert(expected.end(), 18, "WriteSetting");
  expected.insert(expected.end(), {"InitializePrinter", "FeedLine"});
  EXPECT_EQ(Names(printer_), expected);
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8}));
  EXPECT_EQ(ComParameter.Databits, 8);
  EXPECT_EQ(printer_.dataBits(), 8);
}

TEST_F(SecondSeriesDataBitsTest, FailuresEndAtTheConfiguredBits) {
  ComParameter.Databits = 7;
  printer_.setAddressFault(0x06, FaultSpec{Fault::NoReply, -1, 0});
  TRWK201EepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  WaitLog(10);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(FakeTermios::Sizes().back(), 7);
  EXPECT_EQ(printer_.dataBits(), 7);

  // A Save whose port cannot reopen at 8 writes nothing and ends at 7; the
  // chosen 8 is not stored.
  printer_.clearLog();
  FakeTermios::Reset();
  static int eights;
  eights = 0;
  SerialCalls eightFails = FakeTermios::Calls();
  eightFails.setAttr = [](int fd, int action, const termios* t) {
    if ((t->c_cflag & CSIZE) == CS8 && ++eights == 1) {
      errno = EIO;
      return -1;
    }
    return FakeTermios::SetAttr(fd, action, t);
  };
  ScopedSerialCalls failEight{eightFails};
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveFailed);
  WaitLog(1);
  EXPECT_TRUE(printer_.log("WriteSetting").empty());
  EXPECT_EQ(FakeTermios::Sizes().back(), 7);
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

// ----------------------------------------------------------- USB

// The same roads over the simulator's USB socket, for the USB device library
// and the USB printer library.
class SecondSeriesUsbTest : public SecondSeriesSimBase, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    SecondSeriesSimBase::SetUp();
    UseUsbSocket(GetParam(), 2000);
  }
  std::atomic<int>& handleField() { return GetParam() == PortUSB ? USBParameter.m_hdev : USBPrinterParameter.m_hdev; }
};

TEST_P(SecondSeriesUsbTest, GetAndSave) {
  printer_.setSetting(0x06, 90);
  printer_.setSetting(0x37, 300);
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "90");
  EXPECT_EQ(form.state()[C::FeedLine].text, "300");
  EXPECT_EQ(ReadAddresses(printer_), kGetOrder);
  EXPECT_EQ(handleField().load(), -1);
  FormState s = form.state();
  s[C::edtPrintSpeed].text = "140";
  s[C::cboDataBits].index = 1;
  form.setState(s);
  printer_.clearLog();
  const size_t before = printer_.receivedBytes().size();
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(20);
  auto values = StartValues();
  values[2].second = 7;
  values[7].second = 140;
  values[17].second = 300;
  Bytes want = WriteCommands(values);
  want.insert(want.end(), {0x1B, 0x40, 0x0A});
  EXPECT_EQ(ReceivedAfter(printer_, before), want);
  EXPECT_EQ(waits.waits(), (std::vector<int>{2500}));
  EXPECT_EQ(printer_.setting(0x06), 140);
  EXPECT_EQ(ComParameter.Databits, 7) << "the data bits are stored for every port kind";
  EXPECT_EQ(handleField().load(), -1);
}

TEST_P(SecondSeriesUsbTest, WriteFaultOnTheQueue) {
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  FormState s = form.state();
  s[C::cboDataBits].index = 1;
  form.setState(s);
  printer_.clearLog();
  printer_.setWriteFault(1);
  form.btnSaveSettingsToPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kSaveFailed);
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(ComParameter.Databits, 8) << "kept: the write did not reach the printer";
  EXPECT_TRUE(printer_.log().empty()) << "no reset after a failed write";
  EXPECT_EQ(printer_.setting(0x17), 8);
  EXPECT_EQ(handleField().load(), -1);
}

TEST_P(SecondSeriesUsbTest, SilentAtTheAlarm) {
  printer_.setSetting(0x02, 150);
  printer_.setAddressFault(0x54, FaultSpec{Fault::NoReply, -1, 0});
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  EXPECT_EQ(form.state()[C::edtPrintDarkness].text, "150");
  EXPECT_EQ(ReadAddresses(printer_).size(), 11u);
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(handleField().load(), -1);
}

TEST_P(SecondSeriesUsbTest, PortThatCannotOpen) {
  USBParameter.X = 5;
  USBPrinterParameter.Name = "Nobody's printer";
  TRWK201EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  const QString name = GetParam() == PortUSB ? "USB001" : "Nobody's printer";
  EXPECT_EQ(OneBox().text, "Can't open " + name + " port!");
  EXPECT_EQ(form.buttons(), kAllButSave);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SecondSeriesUsbTest, ::testing::Values(int(PortUSB), int(PortUSBPrinter)),
                         [](const auto& info) { return info.param == PortUSB ? "Device" : "Printer"; });
