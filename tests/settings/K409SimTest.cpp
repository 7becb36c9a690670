// The RWN-K409 editor against the simulated printer, on a pseudo-terminal and
// on the simulator's USB socket (device and printer library): Get, Save with
// its one write and the initialise command, a printer that stops answering,
// refused values, sends and reads that fail, the button states, and the
// data-bits roads through the termios seam.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>

#include <cerrno>
#include <chrono>
#include <functional>
#include <mutex>

#include "EditorSimSupport.h"
#include "SecondSeriesSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "gui/FileDialogs.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "settings/K409EepromSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using namespace torva::settings::second;
using settings_test::Child;
using settings_test::DataBitsSwitches;
using settings_test::FakeTermios;
using settings_test::Names;
using settings_test::ReadAddresses;
using settings_test::WriteAll;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;
using C = Control;
using namespace settings_test::second_series;

namespace {

const std::vector<int> kOrder = {0x16, 0x40, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02, 0x44,
                                 0x54, 0x30, 0x14, 0x12, 0x58, 0x6D, 0x65, 0x7D, 0x2C};

// A fresh printer's nineteen values, in the table's order: what the dialog
// starts with, but 160 feed lines.
std::vector<std::pair<int, int>> FactoryValues() {
  return {{0x16, 1}, {0x40, 0}, {0x17, 8}, {0x19, 1}, {0x1B, 0}, {0x4E, 2},  {0x4A, 2},
          {0x06, 100}, {0x02, 68}, {0x44, 0}, {0x54, 1}, {0x30, 1}, {0x14, 0}, {0x12, 0},
          {0x58, 1}, {0x6D, 0}, {0x65, 0}, {0x7D, 0}, {0x2C, 160}};
}

// The sizes of the writes the console makes, on a serial port (through the
// termios seam) or a USB port (through the library table); each forwards to
// the call it replaces. The editors run on the test's thread.
std::vector<int> g_writes;
int g_failWriteOf = -1;  // a write of this many bytes fails

ssize_t RecordedSerialWrite(int fd, const void* data, size_t n) {
  g_writes.push_back(static_cast<int>(n));
  if (static_cast<int>(n) == g_failWriteOf) {
    errno = EIO;
    return -1;
  }
  return FakeTermios::Write(fd, data, n);
}
int RecordedUWrite(int handle, int pipe, const uint8_t* buffer, int length) {
  g_writes.push_back(length);
  if (length == g_failWriteOf) return 0;
  return RealPortLibraryCalls().uWrite(handle, pipe, buffer, length);
}
int RecordedPrinterWrite(int handle, const uint8_t* buffer, int length, int* written) {
  g_writes.push_back(length);
  if (length == g_failWriteOf) {
    *written = 0;
    return 0;
  }
  return RealPortLibraryCalls().WriteUSBPrinter(handle, buffer, length, written);
}

// A USB read that delivers one byte of the two asked, at the n-th read.
int g_reads = 0;
int g_shortRead = -1;
int ShortUsbRead(int handle, int pipe, uint8_t* buffer, int length) {
  const int got = RealPortLibraryCalls().uRead(handle, pipe, buffer, length);
  return ++g_reads == g_shortRead && got > 0 ? 1 : got;
}
int ShortPrinterRead(int handle, uint8_t* buffer, int length, int* read) {
  const int ok = RealPortLibraryCalls().ReadUSBPrinter(handle, buffer, length, read);
  if (++g_reads == g_shortRead && *read > 0) *read = 1;
  return ok;
}

class K409SimBase : public SecondSeriesSimFixture {
 protected:
  K409SimBase() : SecondSeriesSimFixture(5) {}
  void SetUp() override {
    EditorTest::SetUp();
    g_writes.clear();
    g_failWriteOf = -1;
    g_reads = 0;
    g_shortRead = -1;
  }
  void TearDown() override {
    FakeTermios::printer = nullptr;
    SecondSeriesSimFixture::TearDown();
  }
  void Edit(TSecondSeriesEepromSetForm& form, const std::function<void(FormState&)>& change) {
    FormState s = form.state();
    change(s);
    form.setState(s);
  }
  void GetOk(TSecondSeriesEepromSetForm& form) {
    form.btnGetSettingsFromPrinterClick();
    ASSERT_EQ(OneBox().text, kGetOk);
  }
};

class K409SimTest : public K409SimBase {
 protected:
  void SetUp() override {
    K409SimBase::SetUp();
    UseSerial();
  }
};

}  // namespace

// A fresh printer holds what the dialog would save; Get shows it, Save writes
// the same back in one write of 171 bytes, then 1B 40 0A, 2500 ms, and the
// power-cycle information.
TEST_F(K409SimTest, FreshPrinterGetThenSaveRoundTrips) {
  for (const auto& [address, value] : FactoryValues()) EXPECT_EQ(printer_.setting(address), value) << address;
  TK409EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Information);
  EXPECT_EQ(box.text, kGetOk);
  EXPECT_EQ(ReadAddresses(printer_), kOrder);
  FormState want = StartState(K409Profile());
  want[C::FeedLine].text = "160";
  EXPECT_EQ(form.state(), want);
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1) << "the port is closed after the Get";

  FakeTermios::printer = &printer_;
  SerialCalls calls = RealSerialCalls();
  calls.write = &RecordedSerialWrite;
  ScopedSerialCalls seam{calls};
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    printer_.clearLog();
    g_writes.clear();
    torva::ScopedPrinterDelayRecorder waits;
    form.btnSaveSettingsToPrinterClick();
    box = OneBox();
    EXPECT_EQ(box.kind, MessageKind::Information);
    EXPECT_EQ(box.text, kSaveOk);
    EXPECT_EQ(g_writes, (std::vector<int>{171, 3})) << "one write of the queue, then the initialise command";
    EXPECT_EQ(waits.waits(), (std::vector<int>{2500}));
    WaitLog(21);
    std::vector<std::string> names(19, "WriteSetting");
    names.insert(names.end(), {"InitializePrinter", "FeedLine"});
    EXPECT_EQ(Names(printer_), names);
    Bytes wire = WriteCommands(FactoryValues());
    wire.insert(wire.end(), {0x1B, 0x40, 0x0A});
    EXPECT_EQ(printer_.receivedBytes(), wire);
    EXPECT_EQ(form.buttons(), kAllOn) << "Save stays usable";
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  }
  FakeTermios::printer = nullptr;
  for (const auto& [address, value] : FactoryValues()) EXPECT_EQ(printer_.setting(address), value) << address;
}

TEST_F(K409SimTest, GetShowsThePrintersValues) {
  printer_.setSetting(0x16, 7);       // 115200
  printer_.setSetting(0x40, 1);       // XON/XOFF: the one-item list shows nothing
  printer_.setSetting(0x17, 0x12FF);  // FF xx reads 8
  printer_.setSetting(0x19, 0x00FF);  // FF reads 2
  printer_.setSetting(0x1B, 0x00FF);  // FF reads Even
  printer_.setSetting(0x4E, 40);
  printer_.setSetting(0x4A, 0);
  printer_.setSetting(0x06, 200);     // shown as -1, the Get goes on
  printer_.setSetting(0x02, 254);
  printer_.setSetting(0x44, 1);
  printer_.setSetting(0x30, 0);
  printer_.setSetting(0x14, 1);
  printer_.setSetting(0x12, 1);
  printer_.setSetting(0x58, 0);
  printer_.setSetting(0x6D, 0x010A);  // no page: the list stays
  printer_.setSetting(0x65, 1);
  printer_.setSetting(0x7D, 0xFFFF);
  printer_.setSetting(0x2C, 18);      // any value shows
  TK409EepromSetForm form;
  Edit(form, [](FormState& s) {
    s[C::cboDataBits].index = 1;
    s[C::cboCodePage].index = 3;
    s[C::rgBufferSize].index = 1;
  });
  GetOk(form);
  EXPECT_EQ(Child<QComboBox>(form, "cboBaudrate")->currentText(), "115200");
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentIndex(), -1);
  EXPECT_EQ(Child<QComboBox>(form, "cboDataBits")->currentText(), "8");
  EXPECT_EQ(Child<QComboBox>(form, "cboStopbits")->currentText(), "2");
  EXPECT_EQ(Child<QComboBox>(form, "cboParity")->currentText(), "Even");
  EXPECT_EQ(Child<QComboBox>(form, "cboCodePage")->currentText(), "PC860");
  const FormState s = form.state();
  EXPECT_EQ(s[C::edtDefaultLeftMargin].text, "40");
  EXPECT_EQ(s[C::edtDefaultRightMargin].text, std::string("0"));
  EXPECT_EQ(s[C::edtPrintSpeed].text, "-1");
  EXPECT_EQ(s[C::edtPrintDarkness].text, "254");
  EXPECT_TRUE(s[C::chkStopPrintingOnPaperNearEnd].checked);
  EXPECT_EQ(s[C::rgAutoCutter].index, 1);
  EXPECT_EQ(s[C::rgCR].index, 0);
  EXPECT_EQ(s[C::rgPaperType].index, 1);
  EXPECT_EQ(s[C::rgBeeper].index, 1);
  EXPECT_EQ(s[C::rgDataError].index, 1);
  EXPECT_EQ(s[C::rgBufferSize].index, 0);
  EXPECT_EQ(s[C::FeedLine].text, "18");
  EXPECT_EQ(ReadAddresses(printer_), kOrder);
  EXPECT_EQ(form.buttons(), kAllOn);

  // The code page's other readings.
  const std::pair<uint16_t, const char*> pages[] = {{0xFFFF, "PC437"}, {0x000A, "PC860"}, {0x0009, "PC1252"}};
  for (const auto& [stored, shown] : pages) {
    SCOPED_TRACE(stored);
    Edit(form, [](FormState& st) { st[C::cboCodePage].index = 3; });
    printer_.setSetting(0x6D, stored);
    GetOk(form);
    EXPECT_EQ(Child<QComboBox>(form, "cboCodePage")->currentText(), shown);
  }
}

// A printer on XON/XOFF (flow control 01 00): the Get leaves the one-item
// list empty, and both Save and Export write 1 again, never 0 over it.
TEST_F(K409SimTest, XonXoffSurvivesGetSaveAndExport) {
  printer_.setSetting(0x40, 1);
  const QString file = path("k409.pes");
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  TK409EepromSetForm form;
  GetOk(form);
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentIndex(), -1);
  printer_.clearLog();
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(OneBox().text, kSaveOk);
  WaitLog(20);  // 19 writes and the initialise command
  EXPECT_EQ(printer_.setting(0x40), 1);
  form.btnExportSettingsToFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  const QByteArray bytes = settings_test::ReadAll(file);
  ASSERT_EQ(bytes.size(), 180);
  // The second record, flow control: value 1 at address 40.
  EXPECT_EQ(bytes.mid(9 + 6, 3), QByteArray("\x01\x00\x40", 3));
}

// A darkness outside 1..254 ends the Get there; what was read before stays,
// and Save is usable again only after a complete Get.
TEST_F(K409SimTest, DarknessOutsideItsRangeFailsTheGet) {
  TK409EepromSetForm form;
  GetOk(form);
  for (uint16_t darkness : {0, 255}) {
    SCOPED_TRACE(darkness);
    printer_.clearLog();
    printer_.setSetting(0x06, 120);
    printer_.setSetting(0x02, darkness);
    form.btnGetSettingsFromPrinterClick();
    const RecordedMessage box = OneBox();
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.text, kGetFailed);
    EXPECT_EQ(ReadAddresses(printer_), std::vector<int>(kOrder.begin(), kOrder.begin() + 9));
    EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "120") << "read before the darkness";
    EXPECT_EQ(form.state()[C::edtPrintDarkness].text, "68");
    EXPECT_EQ(form.buttons(), kAllButSave);
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  }
  Language = "Chinese";
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, "读取打印机数据失败！\r\n请检查打印机是否正确连接到指定端口。");
}

// A printer that does not answer: one read command, one 2000 ms wait, the
// failure box, and Save disabled.
TEST_F(K409SimTest, SilentPrinterFailsAfterOneRead) {
  TK409EepromSetForm form;
  EXPECT_EQ(form.link().style().readTimeoutMs, 2000);
  EXPECT_EQ(form.link().style().dataBitsPauseMs, 100);
  GetOk(form);
  printer_.clearLog();
  printer_.setFault(FaultSpec{Fault::NoReply, -1, 0});
  const auto start = std::chrono::steady_clock::now();
  form.btnGetSettingsFromPrinterClick();
  const auto took = std::chrono::steady_clock::now() - start;
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kGetFailed);
  EXPECT_EQ(ReadAddresses(printer_), (std::vector<int>{0x16}));
  EXPECT_GE(took, std::chrono::milliseconds(2000));
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

// Every refusal comes before the port opens: nothing is sent, all five
// buttons come back. Feed lines 19 and 65535 are saved.
TEST_F(K409SimTest, SaveChecksTheEditsFirst) {
  struct Case {
    const char* name;
    void (*edit)(FormState&);
    MessageKind kind;
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {"feed lines 0 as the form starts", [](FormState& s) { s[C::FeedLine].text = std::string("0"); },
       MessageKind::Warning, "The input of FeedLine In Mark Mode is invalid!", "“FeedLine In Mark Mode”非法输入！"},
      {"feed lines 18", [](FormState& s) { s[C::FeedLine].text = "18"; }, MessageKind::Warning,
       "The input of FeedLine In Mark Mode is invalid!", "“FeedLine In Mark Mode”非法输入！"},
      {"left margin 17", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "17"; }, MessageKind::Warning,
       "The input of default left margin is invalid!", "“default left margin”非法输入！"},
      {"right margin 17", [](FormState& s) { s[C::edtDefaultRightMargin].text = "17"; }, MessageKind::Warning,
       "The input of default right margin is invalid!", "“default right margin”非法输入！"},
      {"speed -1 from a Get", [](FormState& s) { s[C::edtPrintSpeed].text = "-1"; }, MessageKind::Warning,
       "The input of print speed is invalid!", "“print speed”非法输入！"},
      {"darkness 255", [](FormState& s) { s[C::edtPrintDarkness].text = "255"; }, MessageKind::Warning,
       "The input of print darkness is invalid!", "“print darkness”非法输入！"},
      {"a text", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "two"; }, MessageKind::Warning,
       "The input of format is invalid!", "非法输入！"},
      {"no code page", [](FormState& s) { s[C::cboCodePage].index = -1; }, MessageKind::Error, kSaveFailed,
       "配置Eeprom失败！"},
  };
  TK409EepromSetForm form;
  GetOk(form);
  printer_.clearLog();
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      FormState s = StartState(K409Profile());
      s[C::FeedLine].text = "160";
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
  Language = "English";
  for (const char* feed : {"19", "65535"}) {
    SCOPED_TRACE(feed);
    FormState s = StartState(K409Profile());
    s[C::FeedLine].text = feed;
    form.setState(s);
    printer_.clearLog();
    form.btnSaveSettingsToPrinterClick();
    EXPECT_EQ(OneBox().text, kSaveOk);
    WaitLog(21);  // the bytes reach the printer on its own thread
    EXPECT_EQ(QString::number(printer_.setting(0x2C)), feed);
  }
}

TEST_F(K409SimTest, OtherPortKindsFailWithoutSending) {
  for (int kind : {PortLPT, PortNibbleLPT, PortNet, PortDriver, PortNone}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    TK409EepromSetForm form;
    form.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(OneBox().text, kGetFailed);
    EXPECT_EQ(form.buttons(), kAllButSave);
    Edit(form, [](FormState& s) { s[C::FeedLine].text = "160"; });
    form.btnSaveSettingsToPrinterClick();
    EXPECT_EQ(OneBox().text, kSaveFailed) << "not a success with nothing sent";
    EXPECT_EQ(form.buttons(), kAllOn);
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
}

TEST_F(K409SimTest, PortThatCannotOpen) {
  ComParameter.Name = path("no-such-tty").toStdString();
  TK409EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, "Can't open " + path("no-such-tty") + " port!");
  EXPECT_EQ(form.buttons(), kAllButSave);
  Language = "Chinese";
  Edit(form, [](FormState& s) { s[C::FeedLine].text = "160"; });
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, "端口 " + path("no-such-tty") + " 打开错误！");
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

// The buttons over a run of events, one table.
TEST_F(K409SimTest, ButtonStates) {
  TK409EepromSetForm form;
  const QString file = path("b.pes");
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  auto get = [&] { form.btnGetSettingsFromPrinterClick(); };
  auto save = [&] { form.btnSaveSettingsToPrinterClick(); };
  auto speed = [&](const char* text) { Edit(form, [&](FormState& s) { s[C::edtPrintSpeed].text = text; }); };
  struct Step {
    const char* event;
    std::function<void()> act;
    ButtonStates after;
  };
  const std::vector<Step> steps = {
      {"start", [] {}, {true, false, true, true, true}},
      {"Export", [&] { form.btnExportSettingsToFileClick(); }, {true, false, true, true, true}},
      {"Import", [&] { form.btnImportSettingsFromFileClick(); }, {true, false, true, true, true}},
      {"Get fails", [&] { printer_.setAddressFault(0x02, FaultSpec{Fault::NoReply, 1, 0}); get(); }, kAllButSave},
      {"Get succeeds", get, kAllOn},
      {"Save refused", [&] { speed("151"); save(); }, kAllOn},
      {"Save succeeds", [&] { speed("150"); save(); }, kAllOn},
      {"Save succeeds again", save, kAllOn},
      {"Import after a Get", [&] { form.btnImportSettingsFromFileClick(); }, kAllOn},
      {"Get fails after a Save", [&] { printer_.setAddressFault(0x16, FaultSpec{Fault::NoReply, 1, 0}); get(); },
       kAllButSave},
      {"Get succeeds again", get, kAllOn},
      {"Save fails to send", [&] { PortType = PortLPT; save(); }, kAllOn},
      {"Get cannot serve the kind", get, kAllButSave},
      {"Save cannot open", [&] { PortType = PortCOM; ComParameter.Name = "/nonexistent/tty"; save(); }, kAllOn},
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

// ----------------------------------------------------------- data bits

class K409DataBitsTest : public K409SimTest {
 protected:
  void SetUp() override {
    K409SimTest::SetUp();
    FakeTermios::Reset();
    FakeTermios::printer = &printer_;
    SerialCalls calls = FakeTermios::Calls();
    calls.write = &RecordedSerialWrite;
    seam_ = std::make_unique<ScopedSerialCalls>(calls);
  }
  void TearDown() override {
    seam_.reset();
    FakeTermios::printer = nullptr;
    K409SimTest::TearDown();
    FakeTermios::Reset();
  }
  // A Get at the configured data bits, then the dialog set to `bits`.
  void GetAndChoose(TK409EepromSetForm& form, int bits) {
    GetOk(form);
    Edit(form, [&](FormState& s) { s[C::cboDataBits].index = bits == 8 ? 0 : 1; });
    printer_.clearLog();
    FakeTermios::Reset();
    g_writes.clear();
  }
  std::unique_ptr<ScopedSerialCalls> seam_;
};

TEST_F(K409DataBitsTest, ConfiguredSevenGetsAtEightAndGoesBack) {
  ComParameter.Databits = 7;
  printer_.setSetting(0x17, 7);
  TK409EepromSetForm form;
  torva::ScopedPrinterDelayRecorder waits;
  GetOk(form);
  WaitLog(21);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(Names(printer_).front(), "TempDataBits");
  EXPECT_EQ(Names(printer_).back(), "TempDataBits");
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));
  EXPECT_EQ(waits.waits(), (std::vector<int>{100, 100}));
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(Child<QComboBox>(form, "cboDataBits")->currentText(), "7");
}

// Stored 7, "8" chosen: the exchange runs at 8, nothing switches back, and
// the port's data bits become 8.
TEST_F(K409DataBitsTest, EightSavedOnASevenBitPort) {
  ComParameter.Databits = 7;
  TK409EepromSetForm form;
  GetAndChoose(form, 8);
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(22);
  std::vector<std::string> names{"TempDataBits"};
  names.insert(names.end(), 19, "WriteSetting");
  names.insert(names.end(), {"InitializePrinter", "FeedLine"});
  EXPECT_EQ(Names(printer_), names);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8}));
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8}));
  EXPECT_EQ(g_writes, (std::vector<int>{8, 171, 3}));
  EXPECT_EQ(waits.waits(), (std::vector<int>{100, 2500}));
  EXPECT_EQ(ComParameter.Databits, 8);
  EXPECT_EQ(printer_.dataBits(), 8);
  EXPECT_EQ(printer_.setting(0x17), 8);
}

// Stored 8, "7" chosen: the queue goes out at 8, then the switch to 7, and
// the initialise command on the port reopened at 7.
TEST_F(K409DataBitsTest, SevenSavedOnAnEightBitPort) {
  TK409EepromSetForm form;
  GetAndChoose(form, 7);
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(22);
  std::vector<std::string> names(19, "WriteSetting");
  names.insert(names.end(), {"TempDataBits", "InitializePrinter", "FeedLine"});
  EXPECT_EQ(Names(printer_), names);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{7}));
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{8, 7}));
  EXPECT_EQ(g_writes, (std::vector<int>{171, 8, 3}));
  EXPECT_EQ(waits.waits(), (std::vector<int>{100, 2500}));
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(printer_.setting(0x17), 7);
}

// A send that fails leaves ComParameter.Databits as it was, and the printer
// is switched back to it.
TEST_F(K409DataBitsTest, FailedSendKeepsTheDataBits) {
  ComParameter.Databits = 7;
  TK409EepromSetForm form;
  GetAndChoose(form, 8);
  g_failWriteOf = 171;
  form.btnSaveSettingsToPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kSaveFailed);
  WaitLog(2);
  EXPECT_EQ(Names(printer_), (std::vector<std::string>{"TempDataBits", "TempDataBits"}));
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(printer_.dataBits(), 7);
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

// ----------------------------------------------------------- USB

// The same roads over the simulator's USB socket, for the USB device library
// and the USB printer library; the writes and reads go through the link's
// library table.
class K409UsbTest : public K409SimBase, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    K409SimBase::SetUp();
    UseUsbSocket(GetParam(), 0);
    PortLibraryCalls calls = RealPortLibraryCalls();
    calls.uWrite = &RecordedUWrite;
    calls.WriteUSBPrinter = &RecordedPrinterWrite;
    calls.uRead = &ShortUsbRead;
    calls.ReadUSBPrinter = &ShortPrinterRead;
    library_ = std::make_unique<ScopedPortLibraryCalls>(calls);
  }
  void TearDown() override {
    library_.reset();
    K409SimBase::TearDown();
  }
  std::atomic<int>& handleField() { return GetParam() == PortUSB ? USBParameter.m_hdev : USBPrinterParameter.m_hdev; }

  std::unique_ptr<ScopedPortLibraryCalls> library_;
};

TEST_P(K409UsbTest, GetAndSave) {
  printer_.setSetting(0x06, 90);
  printer_.setSetting(0x65, 1);
  TK409EepromSetForm form;
  GetOk(form);
  EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "90");
  EXPECT_EQ(form.state()[C::rgDataError].index, 1);
  EXPECT_EQ(ReadAddresses(printer_), kOrder);
  EXPECT_EQ(g_writes, std::vector<int>(19, 3)) << "one read command per setting";
  EXPECT_EQ(handleField().load(), -1);
  Edit(form, [](FormState& s) {
    s[C::edtPrintSpeed].text = "140";
    s[C::cboDataBits].index = 1;
  });
  printer_.clearLog();
  g_writes.clear();
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  EXPECT_EQ(g_writes, (std::vector<int>{171, 3}));
  WaitLog(21);
  auto values = FactoryValues();
  values[2].second = 7;
  values[7].second = 140;
  values[16].second = 1;
  Bytes wire = WriteCommands(values);
  wire.insert(wire.end(), {0x1B, 0x40, 0x0A});
  EXPECT_EQ(printer_.receivedBytes(), wire);
  EXPECT_EQ(waits.waits(), (std::vector<int>{2500}));
  EXPECT_EQ(ComParameter.Databits, 7) << "the data bits are stored for every port kind";
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(handleField().load(), -1);
}

// A send the library refuses: the failure box, nothing else written, the
// data bits kept.
TEST_P(K409UsbTest, FailedSendKeepsTheDataBits) {
  TK409EepromSetForm form;
  GetOk(form);
  Edit(form, [](FormState& s) { s[C::cboDataBits].index = 1; });
  printer_.clearLog();
  g_writes.clear();
  g_failWriteOf = 171;
  form.btnSaveSettingsToPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kSaveFailed);
  EXPECT_EQ(g_writes, (std::vector<int>{171})) << "no initialise command after a failed send";
  EXPECT_EQ(ComParameter.Databits, 8);
  EXPECT_EQ(printer_.setting(0x17), 8);
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(handleField().load(), -1);
}

// A reply that comes short is a failed read.
TEST_P(K409UsbTest, ShortReadFailsTheGet) {
  printer_.setSetting(0x06, 90);
  TK409EepromSetForm form;
  g_shortRead = 9;  // the darkness
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  EXPECT_EQ(ReadAddresses(printer_).size(), 9u);
  EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "90");
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(handleField().load(), -1);
}

TEST_P(K409UsbTest, SilentPrinter) {
  printer_.setFault(FaultSpec{Fault::NoReply, -1, 0});
  TK409EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  EXPECT_EQ(ReadAddresses(printer_), (std::vector<int>{0x16}));
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(handleField().load(), -1);
}

TEST_P(K409UsbTest, PortThatCannotOpen) {
  USBParameter.X = 5;
  USBPrinterParameter.Name = "Nobody's printer";
  TK409EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  const QString name = GetParam() == PortUSB ? "USB001" : "Nobody's printer";
  EXPECT_EQ(OneBox().text, "Can't open " + name + " port!");
  EXPECT_EQ(form.buttons(), kAllButSave);
}

INSTANTIATE_TEST_SUITE_P(Kinds, K409UsbTest, ::testing::Values(int(PortUSB), int(PortUSBPrinter)),
                         [](const auto& info) { return info.param == PortUSB ? "Device" : "Printer"; });
