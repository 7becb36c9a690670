// The RW-K201E, RW-K305E and RW-K305GII editors against the simulated
// printer, on a pseudo-terminal and on the simulator's USB socket (both
// libraries): Get and Save, a printer that stops answering, the data-bits
// switch, the RW-K305GII's write order and pauses per port kind (from the
// printer's log and the delay recorder, and once in real time), and writes
// that fail part-way.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>

#include "EditorSimSupport.h"
#include "SecondSeriesSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "gui/FileDialogs.h"
#include "link/Clock.h"
#include "settings/RWK201EEepromSet.h"
#include "settings/RWK305EEepromSet.h"
#include "settings/RWK305G2EepSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using namespace torva::settings::second;
using settings_test::Child;
using settings_test::DataBitsSwitches;
using settings_test::FakeTermios;
using settings_test::Names;
using settings_test::ReadAddresses;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;
using C = Control;
using namespace settings_test::second_series;

namespace {

// The addresses of the WriteSetting frames in the log, in order.
std::vector<int> WriteAddresses(const SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log("WriteSetting")) out.push_back(e.frame[8]);
  return out;
}

const std::vector<int> kG2GetOrder = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06,
                                      0x0E, 0x0F, 0x02, 0x14, 0x12, 0x6D, 0x7D};
const std::vector<int> kG2SerialPauses = {200, 200, 200, 200, 100, 100, 200, 200, 100, 100, 200};

// The controls no operation of an E editor reads or writes, set away from
// their start.
FormState WithHiddenMarked(FormState s) {
  s[C::cboBaudrate].index = 5;
  s[C::cboFlowControl].index = -1;
  s[C::cboDataBits].index = 1;
  s[C::cboStopbits].index = 1;
  s[C::cboParity].index = 0;
  s[C::rgBeeper].index = 1;
  s[C::rgCR].index = 0;
  s[C::rgDataError].index = 1;
  return s;
}
void ExpectHiddenMarked(const FormState& s) {
  const FormState marked = WithHiddenMarked(FormState{});
  for (Control c : {C::cboBaudrate, C::cboFlowControl, C::cboDataBits, C::cboStopbits, C::cboParity,
                    C::rgBeeper, C::rgCR, C::rgDataError}) {
    EXPECT_EQ(s[c], marked[c]) << InfoOf(c).name;
  }
}

// One port kind per run: the pseudo-terminal, the USB device library and
// the USB printer library, all against one simulated printer.
class SecondSeriesEditorsSim : public SecondSeriesSimFixture, public ::testing::WithParamInterface<int> {
 protected:
  SecondSeriesEditorsSim() : SecondSeriesSimFixture(10) {}
  void SetUp() override {
    SecondSeriesSimFixture::SetUp();
    if (GetParam() == PortCOM)
      UseSerial();
    else
      UseUsbSocket(GetParam(), 2000);
  }
  // Another model; the USB printer is found under its name.
  void Model(int code) {
    printer_.setModel(code);
    USBPrinterParameter.Name = printer_.printerName();
  }
  bool usb() const { return GetParam() != PortCOM; }
  int handle() const {
    switch (GetParam()) {
      case PortCOM:
        return ComParameter.m_hdev.load();
      case PortUSB:
        return USBParameter.m_hdev.load();
      default:
        return USBPrinterParameter.m_hdev.load();
    }
  }
};

using SecondSeriesEEditorsSim = SecondSeriesEditorsSim;
using SecondSeriesG2Sim = SecondSeriesEditorsSim;

std::string KindName(int kind) {
  return kind == PortCOM ? "Serial" : kind == PortUSB ? "UsbDevice" : "UsbPrinter";
}

}  // namespace

// ----------------------------------------------------------- RW-K201E, RW-K305E

TEST_P(SecondSeriesEEditorsSim, GetReadsElevenInOrderAndSaveWritesNinetyNineBytes) {
  for (int model : {10, 9}) {
    SCOPED_TRACE(model);
    const int nearEnd = model == 10 ? 0x44 : 0x43;
    const int otherNearEnd = model == 10 ? 0x43 : 0x44;
    Model(model);
    printer_.clearLog();
    printer_.setSetting(0x4E, 7);
    printer_.setSetting(0x06, 130);
    printer_.setSetting(0x02, 99);
    printer_.setSetting(nearEnd, 1);
    printer_.setSetting(otherNearEnd, 0x1234);  // never touched
    printer_.setSetting(0x30, 0);
    printer_.setSetting(0x12, 1);
    printer_.setSetting(0x6D, 5);
    printer_.setSetting(0x7D, 0xFFFF);
    printer_.setSetting(0x37, 400);
    std::unique_ptr<TSecondSeriesEepromSetForm> form;
    if (model == 10)
      form = std::make_unique<TRWK201EEepromSetForm>();
    else
      form = std::make_unique<TRWK305EEepromSetForm>();
    form->setState(WithHiddenMarked(form->state()));

    form->btnGetSettingsFromPrinterClick();
    EXPECT_EQ(OneBox().text, kGetOk);
    EXPECT_EQ(ReadAddresses(printer_),
              (std::vector<int>{0x4E, 0x4A, 0x06, 0x02, nearEnd, 0x54, 0x30, 0x12, 0x6D, 0x7D, 0x37}));
    FormState s = form->state();
    EXPECT_EQ(s[C::edtDefaultLeftMargin].text, "7");
    EXPECT_EQ(s[C::edtPrintSpeed].text, "130");
    EXPECT_EQ(s[C::edtPrintDarkness].text, "99");
    EXPECT_TRUE(s[C::chkStopPrintingOnPaperNearEnd].checked);
    EXPECT_EQ(s[C::rgAutoCutter].index, 1) << "00 00 at 30: Disable";
    EXPECT_EQ(s[C::rgPaperType].index, 1);
    EXPECT_EQ(Child<QComboBox>(*form, "cboCodePage")->currentText(), "PC865");
    EXPECT_EQ(s[C::rgBufferSize].index, 0);
    EXPECT_EQ(s[C::FeedLine].text, "400");
    ExpectHiddenMarked(s);
    EXPECT_EQ(form->buttons(), kAllOn);
    EXPECT_EQ(handle(), -1);

    s[C::edtDefaultRightMargin].text = "16";
    s[C::edtPrintSpeed].text = "120";
    s[C::chkAlarmOnPaperNearEnd].checked = false;
    s[C::rgAutoCutter].index = 0;
    s[C::cboCodePage].index = 9;
    s[C::rgBufferSize].index = 1;
    s[C::FeedLine].text = "65535";
    form->setState(s);
    printer_.clearLog();
    torva::ScopedPrinterDelayRecorder waits;
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(OneBox().text, kSaveOk);
    WaitLog(13);
    Bytes want = WriteCommands({{0x4E, 7},
                           {0x4A, 16},
                           {0x06, 120},
                           {0x02, 99},
                           {nearEnd, 1},
                           {0x54, 0},
                           {0x30, 1},
                           {0x12, 1},
                           {0x6D, 9},
                           {0x7D, 1},
                           {0x37, 65535}});
    ASSERT_EQ(want.size(), 99u);
    want.insert(want.end(), {0x1B, 0x40, 0x0A});
    EXPECT_EQ(printer_.receivedBytes(), want) << "one write of the eleven records, then the reset";
    EXPECT_EQ(waits.waits(), (std::vector<int>{2500}));
    EXPECT_EQ(printer_.setting(otherNearEnd), 0x1234) << "the other near-end address is never touched";
    EXPECT_EQ(printer_.setting(0x30), 1);
    EXPECT_EQ(printer_.setting(0x37), 65535);
    EXPECT_EQ(form->buttons(), kAllButSave);
    EXPECT_EQ(ComParameter.Databits, 8);
    EXPECT_EQ(handle(), -1);

    // Export and import leave the hidden controls as they are too.
    const QString file = path("e.pes");
    torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
    form->btnExportSettingsToFileClick();
    form->setState(WithHiddenMarked(StartState(form->profile())));
    form->btnImportSettingsFromFileClick();
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(form->state(), s);
    ExpectHiddenMarked(form->state());
  }
}

TEST_P(SecondSeriesEEditorsSim, SilentAtTheAlarmKeepsWhatCameBefore) {
  printer_.setSetting(0x4E, 9);
  printer_.setSetting(0x02, 150);
  printer_.setSetting(0x44, 1);
  printer_.setSetting(0x54, 0);
  printer_.setAddressFault(0x54, FaultSpec{Fault::NoReply, -1, 0});
  TRWK201EEepromSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kGetFailed);
  const FormState s = form.state();
  EXPECT_EQ(s[C::edtDefaultLeftMargin].text, "9");
  EXPECT_EQ(s[C::edtPrintDarkness].text, "150");
  EXPECT_TRUE(s[C::chkStopPrintingOnPaperNearEnd].checked);
  EXPECT_TRUE(s[C::chkAlarmOnPaperNearEnd].checked) << "not read: as it was";
  EXPECT_EQ(ReadAddresses(printer_), (std::vector<int>{0x4E, 0x4A, 0x06, 0x02, 0x44, 0x54}));
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(handle(), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SecondSeriesEEditorsSim,
                         ::testing::Values(int(PortCOM), int(PortUSB), int(PortUSBPrinter)),
                         [](const auto& info) { return KindName(info.param); });

// ----------------------------------------------------------- RW-K305GII

TEST_P(SecondSeriesG2Sim, GetAndSaveInTheKindsOrder) {
  Model(14);
  printer_.setSetting(0x41, 1);  // XON/XOFF: the list shows nothing
  printer_.setSetting(0x0E, 0);
  printer_.setSetting(0x0F, 256);
  printer_.setSetting(0x6D, 9);
  printer_.setSetting(0x12, 1);
  printer_.setSetting(0x02, 90);
  TRWK305G2EepSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(ReadAddresses(printer_), kG2GetOrder);
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentIndex(), -1);
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentText(), "");
  EXPECT_EQ(Child<QComboBox>(form, "cboCodePage")->currentText(), "WPC1252");
  FormState s = form.state();
  EXPECT_EQ(s[C::EditLength1].text, "0");
  EXPECT_EQ(s[C::EditLength2].text, "256");
  EXPECT_EQ(s[C::rgPaperType].index, 1) << "shown, though the user cannot change it";
  EXPECT_EQ(form.buttons(), kAllOn);

  // Values the printer does not hold yet, so each write shows in its memory.
  printer_.setSetting(0x41, 0);
  printer_.setSetting(0x0F, 0);
  s[C::cboBaudrate].index = 4;  // 57600
  s[C::edtPrintSpeed].text = "140";
  form.setState(s);
  printer_.clearLog();
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(17);
  std::vector<int> order = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06,
                            0x0E, 0x0F, 0x02, 0x14, 0x12, 0x6D, 0x7D};
  if (GetParam() == PortUSB)
    order = {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02, 0x0E, 0x0F, 0x14, 0x12, 0x6D, 0x7D};
  EXPECT_EQ(WriteAddresses(printer_), order);
  std::vector<std::string> names(15, "WriteSetting");
  names.insert(names.end(), {"InitializePrinter", "FeedLine"});
  EXPECT_EQ(Names(printer_), names) << "fifteen writes and the reset; nothing queued";
  std::vector<int> wantWaits = usb() ? std::vector<int>{} : kG2SerialPauses;
  wantWaits.push_back(usb() ? 2500 : 2000);
  EXPECT_EQ(waits.waits(), wantWaits);
  EXPECT_EQ(printer_.setting(0x41), 1) << "flow control 1 written back";
  EXPECT_EQ(printer_.setting(0x40), 0xFFFF) << "the file key is not the printer's address";
  EXPECT_EQ(printer_.setting(0x0E), 0);
  EXPECT_EQ(printer_.setting(0x0F), 256);
  EXPECT_EQ(printer_.setting(0x16), 3);
  EXPECT_EQ(printer_.setting(0x06), 140);
  EXPECT_EQ(printer_.setting(0x6D), 9);
  EXPECT_EQ(printer_.setting(0x12), 1);
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(handle(), -1);

  // 256 comes back as it went.
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(form.state()[C::EditLength2].text, "256");
}

// Without a code page (as the dialog opens) Save sends nothing at all.
TEST_P(SecondSeriesG2Sim, NoCodePageSendsNothing) {
  Model(14);
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TRWK305G2EepSetForm form;
    form.btnSaveSettingsToPrinterClick();
    const RecordedMessage box = OneBox();
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.text, Language == "English" ? QString(kSaveFailed) : QString("配置Eeprom失败！"));
    EXPECT_EQ(form.buttons(), kAllOn);
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
  EXPECT_EQ(printer_.setting(0x16), 1);
}

TEST_P(SecondSeriesG2Sim, LengthOutsideItsRangeFailsTheGet) {
  Model(14);
  printer_.setSetting(0x06, 77);
  printer_.setSetting(0x0E, 257);
  TRWK305G2EepSetForm form;
  QuickReads(form);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  EXPECT_EQ(form.state()[C::edtPrintSpeed].text, "77") << "read before the length";
  EXPECT_EQ(form.state()[C::EditLength1].text, "0");
  EXPECT_EQ(ReadAddresses(printer_).size(), 9u);
  EXPECT_EQ(form.buttons(), kAllButSave);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SecondSeriesG2Sim,
                         ::testing::Values(int(PortCOM), int(PortUSB), int(PortUSBPrinter)),
                         [](const auto& info) { return KindName(info.param); });

// A printer that answers one read after the Get gave up on it (the RW-K201E
// answering its darkness late): the next Get on the port waits for that
// reply and throws it away, so it reads every setting as the printer holds
// it, never one place off. On the serial port and on the USB device (whose
// printer keeps what the host left unread for its next connection, as a
// real one does).
class SecondSeriesLateReplySim : public SecondSeriesEditorsSim {};

TEST_P(SecondSeriesLateReplySim, ReplyAfterTheTimeOutShiftsNothing) {
  const std::pair<int, uint16_t> memory[] = {{0x4E, 3},  {0x4A, 4},  {0x06, 120}, {0x02, 1},   {0x44, 1},  {0x54, 0},
                                             {0x30, 0},  {0x12, 1},  {0x6D, 2},   {0x7D, 1},   {0x37, 200}};
  for (const auto& [address, value] : memory) printer_.setSetting(address, value);
  if (usb()) printer_.setUsbKeepsUnreadBytes(true);
  TRWK201EEepromSetForm form;
  QuickReads(form, 2000);
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  const FormState shown = form.state();
  EXPECT_EQ(shown[C::edtPrintDarkness].text, "1");
  // A second later than the read waits (2 s on both), so within the time-out
  // after the read gave up.
  printer_.setAddressFault(0x02, FaultSpec{Fault::LateReply, 1, 3000});
  FormState other = shown;
  other[C::edtPrintDarkness].text = "99";
  form.setState(other);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetFailed);
  form.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(OneBox().text, kGetOk);
  EXPECT_EQ(form.state(), shown);
  EXPECT_EQ(form.buttons(), kAllOn);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SecondSeriesLateReplySim, ::testing::Values(int(PortCOM), int(PortUSB)),
                         [](const auto& info) { return KindName(info.param); });

// A write the USB endpoint does not take, the seventh: the six before it
// stay in the printer's memory, among them the data bits, which the port
// takes as soon as their own write went through.
class SecondSeriesG2UsbFault : public SecondSeriesEditorsSim {};

TEST_P(SecondSeriesG2UsbFault, SeventhWriteFails) {
  Model(14);
  TRWK305G2EepSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(OneBox().text, kGetOk);
  FormState s = form.state();
  s[C::cboBaudrate].index = 5;  // 115200: 7
  s[C::cboFlowControl].index = -1;
  s[C::cboDataBits].index = 1;  // 7
  s[C::cboStopbits].index = 1;
  s[C::cboParity].index = 1;
  s[C::edtDefaultLeftMargin].text = "11";
  s[C::edtDefaultRightMargin].text = "12";
  s[C::edtPrintSpeed].text = "130";
  form.setState(s);
  printer_.clearLog();
  printer_.setWriteFault(7);
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kSaveFailed);
  EXPECT_EQ(form.buttons(), kAllOn);
  WaitLog(6);
  EXPECT_EQ(WriteAddresses(printer_), (std::vector<int>{0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E}));
  EXPECT_EQ(printer_.setting(0x16), 7);
  EXPECT_EQ(printer_.setting(0x41), 1);
  EXPECT_EQ(printer_.setting(0x17), 7);
  EXPECT_EQ(printer_.setting(0x19), 2);
  EXPECT_EQ(printer_.setting(0x1B), 1);
  EXPECT_EQ(printer_.setting(0x4E), 11);
  EXPECT_EQ(printer_.setting(0x4A), 2) << "the failed write and what follows it are not made";
  EXPECT_EQ(printer_.setting(0x06), 100);
  EXPECT_TRUE(printer_.log("InitializePrinter").empty()) << "no reset after a failed write";
  EXPECT_TRUE(waits.waits().empty());
  EXPECT_EQ(ComParameter.Databits, 7) << "the printer holds 7 since the third write";
  EXPECT_EQ(handle(), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SecondSeriesG2UsbFault, ::testing::Values(int(PortUSB), int(PortUSBPrinter)),
                         [](const auto& info) { return KindName(info.param); });

// The reset that ends a Save does not go out: whether the printer took the
// settings is not known, so the Save fails, with no wait and no power-cycle
// advice. The queued editors (one write, then the reset) and the RW-K305GII
// (fifteen writes, then the reset) alike.
TEST_P(SecondSeriesG2UsbFault, FailedResetFailsTheSave) {
  for (int model : {10, 14}) {
    SCOPED_TRACE(model);
    Model(model);
    std::unique_ptr<TSecondSeriesEepromSetForm> form;
    if (model == 10)
      form = std::make_unique<TRWK201EEepromSetForm>();
    else
      form = std::make_unique<TRWK305G2EepSetForm>();
    form->btnGetSettingsFromPrinterClick();
    ASSERT_EQ(OneBox().text, kGetOk);
    printer_.clearLog();
    printer_.setWriteFault(model == 10 ? 2 : 16);
    torva::ScopedPrinterDelayRecorder waits;
    form->btnSaveSettingsToPrinterClick();
    const RecordedMessage box = OneBox();
    EXPECT_EQ(box.kind, MessageKind::Error);
    EXPECT_EQ(box.text, kSaveFailed);
    EXPECT_EQ(form->buttons(), kAllOn);
    EXPECT_TRUE(waits.waits().empty()) << "no wait after a reset that did not go out";
    EXPECT_TRUE(printer_.log("InitializePrinter").empty());
    EXPECT_EQ(handle(), -1);
    Language = "Chinese";
    printer_.setWriteFault(model == 10 ? 2 : 16);
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(OneBox().text, "配置Eeprom失败！");
    Language = "English";
    printer_.setWriteFault(0);
  }
}

// ----------------------------------------------------------- serial, with the termios seam

class SecondSeriesSerialSeam : public SecondSeriesSimFixture {
 protected:
  SecondSeriesSerialSeam() : SecondSeriesSimFixture(10) {}
  void SetUp() override {
    SecondSeriesSimFixture::SetUp();
    UseSerial();
    FakeTermios::Reset();
    FakeTermios::printer = &printer_;
  }
  void TearDown() override {
    FakeTermios::printer = nullptr;
    SecondSeriesSimFixture::TearDown();
    FakeTermios::Reset();
  }
  // A Get that succeeds, the log cleared after it.
  void Get(TSecondSeriesEepromSetForm& form) {
    form.btnGetSettingsFromPrinterClick();
    ASSERT_EQ(OneBox().text, kGetOk);
    printer_.clearLog();
    FakeTermios::Reset();
  }
};

// With 7 data bits configured the switch to 8 and back frames Get and Save,
// though the dialog shows no serial setting; the configured bits stay.
TEST_F(SecondSeriesSerialSeam, EEditorsSwitchDataBitsTheyDoNotShow) {
  ScopedSerialCalls seam{FakeTermios::Calls()};
  ComParameter.Databits = 7;
  for (int model : {10, 9}) {
    SCOPED_TRACE(model);
    printer_.setModel(model);
    printer_.clearLog();
    FakeTermios::Reset();
    std::unique_ptr<TSecondSeriesEepromSetForm> form;
    if (model == 10)
      form = std::make_unique<TRWK201EEepromSetForm>();
    else
      form = std::make_unique<TRWK305EEepromSetForm>();
    form->btnGetSettingsFromPrinterClick();
    EXPECT_EQ(OneBox().text, kGetOk);
    WaitLog(13);
    EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
    EXPECT_EQ(Names(printer_).front(), "TempDataBits");
    EXPECT_EQ(Names(printer_).back(), "TempDataBits");
    EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));

    printer_.clearLog();
    FakeTermios::Reset();
    torva::ScopedPrinterDelayRecorder waits;
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(OneBox().text, kSaveOk);
    WaitLog(15);
    std::vector<std::string> expected{"TempDataBits"};
    expected.insert(expected.end(), 11, "WriteSetting");
    expected.insert(expected.end(), {"TempDataBits", "InitializePrinter", "FeedLine"});
    EXPECT_EQ(Names(printer_), expected);
    EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
    EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));
    EXPECT_EQ(waits.waits(), (std::vector<int>{100, 100, 2500}));
    EXPECT_EQ(ComParameter.Databits, 7);
    EXPECT_EQ(printer_.dataBits(), 7);
  }
}

// The RW-K305GII on a port configured for 7 data bits: the pauses of its
// writes between the two switches' 100 ms, then 2000 ms after the reset.
TEST_F(SecondSeriesSerialSeam, G2WaitsWithSevenDataBits) {
  ScopedSerialCalls seam{FakeTermios::Calls()};
  ComParameter.Databits = 7;
  printer_.setModel(14);
  printer_.setSetting(0x17, 7);
  TRWK305G2EepSetForm form;
  Get(form);
  EXPECT_EQ(Child<QComboBox>(form, "cboDataBits")->currentText(), "7");
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(19);
  std::vector<int> want{100};
  want.insert(want.end(), kG2SerialPauses.begin(), kG2SerialPauses.end());
  want.insert(want.end(), {100, 2000});
  EXPECT_EQ(waits.waits(), want);
  std::vector<std::string> names{"TempDataBits"};
  names.insert(names.end(), 15, "WriteSetting");
  names.insert(names.end(), {"TempDataBits", "InitializePrinter", "FeedLine"});
  EXPECT_EQ(Names(printer_), names);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_EQ(ComParameter.Databits, 7);
  EXPECT_EQ(printer_.dataBits(), 7);
}

// A serial write that fails part-way: its pause still follows it, then the
// Save ends; what went before stays written. The data bits were among it:
// the 8 the printer took are the port's now, so nothing switches back to 7.
TEST_F(SecondSeriesSerialSeam, G2WriteFailsPartWay) {
  static int settingWrites;
  settingWrites = 0;
  SerialCalls calls = FakeTermios::Calls();
  calls.write = [](int fd, const void* data, size_t n) -> ssize_t {
    if (n == 9 && ++settingWrites == 5) {
      errno = EIO;
      return -1;
    }
    return FakeTermios::Write(fd, data, n);
  };
  ScopedSerialCalls seam{calls};
  ComParameter.Databits = 7;
  printer_.setModel(14);
  TRWK305G2EepSetForm form;
  Get(form);
  FormState s = form.state();
  s[C::cboDataBits].index = 0;  // "8"
  s[C::cboParity].index = 0;    // the fifth write: "Even"
  s[C::cboStopbits].index = 1;
  form.setState(s);
  settingWrites = 0;
  torva::ScopedPrinterDelayRecorder waits;
  form.btnSaveSettingsToPrinterClick();
  const RecordedMessage box = OneBox();
  EXPECT_EQ(box.kind, MessageKind::Error);
  EXPECT_EQ(box.text, kSaveFailed);
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(waits.waits(), (std::vector<int>{100, 200, 200}))
      << "the switch, the pauses after the fourth and the failed fifth write";
  WaitLog(5);
  EXPECT_EQ(WriteAddresses(printer_), (std::vector<int>{0x16, 0x41, 0x17, 0x19}));
  EXPECT_EQ(printer_.setting(0x17), 8);
  EXPECT_EQ(printer_.setting(0x19), 2);
  EXPECT_EQ(printer_.setting(0x1B), 0) << "the failed write";
  EXPECT_TRUE(printer_.log("InitializePrinter").empty());
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8}));
  EXPECT_EQ(ComParameter.Databits, 8) << "the printer holds 8 since the third write";
  EXPECT_EQ(printer_.dataBits(), 8);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

// One Save in real time on the pseudo-terminal. The seam's write returns
// once the printer has taken the bytes, so each write is in the printer's
// log before the pause after it starts: every gap in the log is at least its
// pause (less 5 ms for the clock). A loaded machine only makes the gaps
// longer, so none has an upper bound.
TEST_F(SecondSeriesSerialSeam, G2SaveInRealTime) {
  ScopedSerialCalls seam{FakeTermios::Calls()};
  printer_.setModel(14);
  TRWK305G2EepSetForm form;
  Get(form);
  torva::SetPrinterDelayScale(1.0);
  const auto start = std::chrono::steady_clock::now();
  form.btnSaveSettingsToPrinterClick();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(OneBox().text, kSaveOk);
  WaitLog(17);
  const auto writes = printer_.log("WriteSetting");
  ASSERT_EQ(writes.size(), 15u);
  const std::vector<PlannedWrite> plan = [] {
    FormState s = StartState(RWK305G2Profile());
    s[C::cboCodePage].index = 0;
    const EditCheck check = CheckEdits(s, RWK305G2Profile().saveChecks);
    return PlanDirectWrites(BuildSaveCommands(s, *check.values, 0, RWK305G2Profile()), RWK305G2Profile(),
                            PortCOM);
  }();
  ASSERT_EQ(plan.size(), 15u);
  using std::chrono::milliseconds;
  for (size_t i = 1; i < writes.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(writes[i].frame[8], plan[i].row->address);
    const int pause = plan[i - 1].pauseAfterMs + plan[i].pauseBeforeMs;
    const auto gap = std::chrono::duration_cast<milliseconds>(writes[i].time - writes[i - 1].time);
    EXPECT_GE(gap.count(), pause - 5) << "pause " << pause;
  }
  EXPECT_GE(std::chrono::duration_cast<milliseconds>(elapsed).count(), 1800 + 2000);
}

namespace {

// Counts the dialog's paints.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* w) { w->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// What a user does to the dialog: a click on a button, Esc.
void Click(QWidget* w) {
  const QPointF at(5, 5);
  QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
}
void PressEsc(QWidget* w) {
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(w, &esc);
}

}  // namespace

// While Get and Save wait for the printer (the data-bits switch, the pauses
// between the writes, the wait after the reset) the dialog keeps painting with
// its buttons off, and a click on Get and Esc made meanwhile start nothing
// and close nothing (neither the dialog nor the port the
// exchange is using). They are made on the dialog's thread as soon as it takes
// events after the first wait began, which is during the exchange only when
// the window keeps taking events while it waits.
TEST_F(SecondSeriesSerialSeam, G2KeepsPaintingWhileItWaitsAndDropsInput) {
  ScopedSerialCalls seam{FakeTermios::Calls()};
  ComParameter.Databits = 7;
  printer_.setModel(14);
  printer_.setSetting(0x17, 7);
  TRWK305G2EepSetForm form;
  form.show();
  QApplication::processEvents();
  auto* get = Child<QPushButton>(form, "btnGetSettingsFromPrinter");
  PaintWatch watch(&form);
  std::atomic<bool> waited{false};
  // Set on the dialog's thread by what it did before the handler returned.
  bool acted = false;
  bool painted = false;
  ButtonStates buttonsMeanwhile{true, true, true, true, true};
  auto actAtFirstWait = [&](int) {
    if (waited.exchange(true)) return;
    QMetaObject::invokeMethod(
        &form,
        [&] {
          acted = true;
          buttonsMeanwhile = form.buttons();
          const int before = watch.paints;
          form.repaint();
          painted = watch.paints > before;
          Click(get);
          PressEsc(&form);
        },
        Qt::QueuedConnection);
  };
  torva::SetPrinterDelayScale(0.25);
  constexpr ButtonStates kAllOff{false, false, false, false, false};

  {
    torva::ScopedPrinterDelayRecorder waits(actAtFirstWait);
    form.btnGetSettingsFromPrinterClick();
  }
  EXPECT_EQ(OneBox().text, kGetOk);
  ASSERT_TRUE(waited);
  EXPECT_TRUE(acted) << "the dialog took events during the Get";
  EXPECT_TRUE(painted) << "the dialog painted during the Get";
  EXPECT_EQ(buttonsMeanwhile, kAllOff);
  QApplication::processEvents();
  EXPECT_EQ(ReadAddresses(printer_).size(), 15u) << "the click on Get started no second Get";
  EXPECT_TRUE(form.isVisible()) << "Esc was dropped";
  EXPECT_EQ(form.buttons(), kAllOn);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7})) << "the port stayed open to the end";

  printer_.clearLog();
  waited = false;
  acted = painted = false;
  buttonsMeanwhile = kAllOn;
  {
    torva::ScopedPrinterDelayRecorder waits(actAtFirstWait);
    form.btnSaveSettingsToPrinterClick();
  }
  EXPECT_EQ(OneBox().text, kSaveOk);
  ASSERT_TRUE(waited);
  EXPECT_TRUE(acted) << "the dialog took events during the Save";
  EXPECT_TRUE(painted) << "the dialog painted during the Save";
  EXPECT_EQ(buttonsMeanwhile, kAllOff);
  QApplication::processEvents();
  WaitLog(19);
  EXPECT_EQ(printer_.log("WriteSetting").size(), 15u);
  EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
  EXPECT_TRUE(printer_.log("ReadSetting").empty()) << "the click on Get started no Get";
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.buttons(), kAllButSave);
  EXPECT_EQ(ComParameter.Databits, 7);

  // Outside a wait Esc does close the dialog.
  PressEsc(&form);
  EXPECT_FALSE(form.isVisible());
}
