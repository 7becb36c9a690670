// The RW-K201 and RW-K305 editors without a printer: their form as it opens,
// export and import through the dialog with the file dialogs replaced, and
// the way out (Exit, Esc, close box).
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <fcntl.h>
#include <unistd.h>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
#include "FileDialogFixture.h"
#include "gui/UpDown.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305EepromSet.h"

using namespace torva::settings;
using namespace torva::settings::second;
using settings_test::Child;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;
using C = Control;

namespace {

// One record as it stands in a file: 1B 73 5C 31 E7 08 lo hi key.
void Record(Bytes& out, uint8_t key, uint16_t value) {
  for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(key);
}

Bytes File(const std::vector<std::pair<uint8_t, uint16_t>>& records, const std::string& tag) {
  Bytes out;
  for (const auto& [key, value] : records) Record(out, key, value);
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// The file of the editor's start state, written out by hand in the export's
// order: baud 19200 (code 1), DTR/DSR, 8 data bits, 1 stop bit, no parity,
// margins 2 and 2, speed 100, darkness 68, near-end stop off, alarm on, the
// switch word with the cutter on and no other bit, CR off, receipt paper,
// beeper on, PC437, the 4096-byte buffer, feed lines 0 under key 2C.
Bytes StartFile(const std::string& tag) {
  const uint8_t bytes[18][3] = {
      {0x01, 0x00, 0x16}, {0x00, 0x00, 0x40}, {0x08, 0x00, 0x17}, {0x01, 0x00, 0x19}, {0x00, 0x00, 0x1B},
      {0x02, 0x00, 0x4E}, {0x02, 0x00, 0x4A}, {0x64, 0x00, 0x06}, {0x44, 0x00, 0x02}, {0x00, 0x00, 0x44},
      {0x01, 0x00, 0x54}, {0x00, 0x00, 0x09}, {0x00, 0x00, 0x14}, {0x00, 0x00, 0x12}, {0x01, 0x00, 0x58},
      {0x00, 0x00, 0x6D}, {0x00, 0x00, 0x7D}, {0x00, 0x00, 0x2C},
  };
  Bytes out;
  for (const auto& r : bytes) {
    for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
    out.insert(out.end(), std::begin(r), std::end(r));
  }
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// A state that differs from the start in every control the file carries.
FormState Changed(const SecondSeriesProfile& profile) {
  FormState s = StartState(profile);
  s[C::cboBaudrate].index = 5;
  s[C::cboDataBits].index = 1;
  s[C::cboStopbits].index = 1;
  s[C::cboParity].index = 1;
  s[C::edtDefaultLeftMargin].text = std::string("9");
  s[C::edtDefaultRightMargin].text = "10";
  s[C::edtPrintSpeed].text = "140";
  s[C::edtPrintDarkness].text = "200";
  s[C::FeedLine].text = "300";
  s[C::chkStopPrintingOnPaperNearEnd].checked = true;
  s[C::chkAlarmOnPaperNearEnd].checked = false;
  s[C::rgAutoCutter].index = 1;
  s[C::rgCR].index = 0;
  s[C::rgPaperType].index = 1;
  s[C::rgBeeper].index = 1;
  s[C::rgBufferSize].index = 1;
  s[C::cboCodePage].index = 7;
  return s;
}

class SecondSeriesFileTest : public settings_test::FileDialogTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    HighBuf09(RWK201Profile()) = 0;
    HighBuf09(RWK305Profile()) = 0;
  }
  void TearDown() override {
    HighBuf09(RWK201Profile()) = 0;
    HighBuf09(RWK305Profile()) = 0;
    EditorTest::TearDown();
  }
};

}  // namespace

TEST_F(SecondSeriesFileTest, FormAsItOpens) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TRWK201EepromSetForm form;
    EXPECT_EQ(form.windowTitle(), "EepromSet") << "the captions stay English";
    EXPECT_EQ(form.objectName(), "TRWK201EepromSetForm");
    EXPECT_EQ(form.state(), StartState(RWK201Profile()));
    EXPECT_EQ(form.buttons(), (ButtonStates{true, false, true, false, true}));
    EXPECT_EQ(torva::testing::CaptionProblems(&form).join("\n").toStdString(), "");
    TRWK305EepromSetForm k305;
    EXPECT_EQ(k305.objectName(), "TRWK305EepromSetForm");
    EXPECT_EQ(k305.windowTitle(), "EepromSet");
    EXPECT_EQ(torva::testing::CaptionProblems(&k305).join("\n").toStdString(), "");
  }
  TRWK201EepromSetForm form;
  // Every control of the profile is on the form, lists filled from the map.
  for (Control control : RWK201Profile().controls) {
    const ControlInfo& info = InfoOf(control);
    SCOPED_TRACE(info.name);
    QWidget* w = form.findChild<QWidget*>(info.name);
    ASSERT_NE(w, nullptr);
    if (info.kind == ControlKind::List) {
      auto* box = qobject_cast<QComboBox*>(w);
      ASSERT_NE(box, nullptr);
      QStringList items;
      for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
      QStringList want;
      for (const auto& item : info.items) want << QString::fromStdString(item);
      EXPECT_EQ(items, want);
    }
    if (info.kind == ControlKind::Radio) {
      const auto buttons = w->findChildren<QRadioButton*>();
      ASSERT_EQ(buttons.size(), static_cast<qsizetype>(info.items.size()));
      for (size_t i = 0; i < info.items.size(); ++i)
        EXPECT_EQ(buttons[static_cast<qsizetype>(i)]->text().toStdString(), info.items[i]);
    }
  }
  EXPECT_EQ(Child<QComboBox>(form, "cboCodePage")->currentText(), "PC437");
  EXPECT_EQ(Child<QComboBox>(form, "cboBaudrate")->toolTip(), "Set the baudrate for serial port communication.");
  EXPECT_EQ(Child<QPushButton>(form, "btnSaveSettingsToPrinter")->toolTip(),
            "Save settings information to printer. And some of settings are valid only after printer is repowered.");
  EXPECT_TRUE(Child<QGroupBox>(form, "rgDataError")->isHidden());
  EXPECT_TRUE(Child<QLabel>(form, "lblFeedLineInMarkMode")->isHidden());
  EXPECT_EQ(Child<QLabel>(form, "lblFeedLineInMarkMode")->text(), "FeedLine In Mark Mode");
  for (const char* name : {"edtPrintSpeed", "edtPrintDarkness", "edtDefaultLeftMargin", "FeedLine"}) {
    EXPECT_EQ(Child<QLineEdit>(form, name)->maxLength(), 32767) << name << ": the limit binds typing only";
  }
  // The arrows move within their ranges.
  auto* up = Child<UpDown>(form, "udDefaultLeftMargin");
  EXPECT_EQ(up->minimum(), 0);
  EXPECT_EQ(up->maximum(), 16);
  Child<QLineEdit>(form, "edtDefaultLeftMargin")->setText("16");
  up->stepUp();
  EXPECT_EQ(Child<QLineEdit>(form, "edtDefaultLeftMargin")->text(), "16");
  EXPECT_EQ(Child<UpDown>(form, "udPrintSpeed")->maximum(), 150);
  EXPECT_EQ(Child<UpDown>(form, "udPrintDarkness")->minimum(), 1);
}

TEST_F(SecondSeriesFileTest, ExportOfTheStartStateIsTheGoldenFile) {
  TRWK201EepromSetForm form;
  const QString file = path("start.pes");
  Choose(file);
  form.btnExportSettingsToFileClick();
  const Bytes golden = StartFile("RW-K201XX");
  ASSERT_EQ(golden.size(), 171u);
  EXPECT_EQ(ToBytes(ReadAll(file)), golden);
  EXPECT_TRUE(messages_.messages().empty()) << "no message on success";
  // The save dialog of this family.
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_TRUE(requests_[0].save);
  EXPECT_EQ(requests_[0].filter, "POS Printer Eeprom Settings File(*.pes)");
  EXPECT_EQ(requests_[0].defaultSuffix, "pes");
  EXPECT_TRUE(requests_[0].confirmOverwrite);
  EXPECT_EQ(requests_[0].directory, ProgramFolder());

  // The RW-K305 editor writes the same records under its own tag.
  TRWK305EepromSetForm k305;
  Choose(path("k305.pes"));
  k305.btnExportSettingsToFileClick();
  EXPECT_EQ(ToBytes(ReadAll(path("k305.pes"))), StartFile("RW-K305XX"));
}

TEST_F(SecondSeriesFileTest, ImportOfTheGoldenFileRestoresTheState) {
  const QString file = path("golden.pes");
  WriteAll(file, StartFile("RW-K201XX"));
  TRWK201EepromSetForm form;
  form.setState(Changed(RWK201Profile()));
  Choose(file);
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(form.state(), StartState(RWK201Profile()));
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(form.buttons(), (ButtonStates{true, false, true, false, true})) << "an import enables nothing";
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_FALSE(requests_[0].save);
  EXPECT_EQ(requests_[0].filter, "POS Printer Eeprom Settings File(*.pes)");
  EXPECT_TRUE(requests_[0].mustExist);

  // A changed state goes out and comes back whole.
  form.setState(Changed(RWK201Profile()));
  Choose(path("changed.pes"));
  form.btnExportSettingsToFileClick();
  form.setState(StartState(RWK201Profile()));
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(form.state(), Changed(RWK201Profile()));
}

TEST_F(SecondSeriesFileTest, EachEditorRefusesTheOthersFile) {
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (bool k201 : {true, false}) {
      SCOPED_TRACE(std::string(language) + (k201 ? " RW-K201" : " RW-K305"));
      messages_.clear();
      const QString file = path(k201 ? "k305.pes" : "k201.pes");
      WriteAll(file, StartFile(k201 ? "RW-K305XX" : "RW-K201XX"));
      std::unique_ptr<TSecondSeriesEepromSetForm> form;
      if (k201) form = std::make_unique<TRWK201EepromSetForm>();
      else form = std::make_unique<TRWK305EepromSetForm>();
      form->setState(Changed(form->profile()));
      Choose(file);
      form->btnImportSettingsFromFileClick();
      EXPECT_EQ(form->state(), Changed(form->profile())) << "nothing applied";
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages_.messages()[0].title, "Error") << "English in both languages";
      EXPECT_EQ(messages_.messages()[0].text, "The data format in file \"" + file + "\" is not normal!");
    }
  }
}

// A file of the RW-K305GII editor carries the same tag: its records for the
// paper-jam and paper-loose lengths (0E, 0F) are faulty here, the rest apply.
TEST_F(SecondSeriesFileTest, RWK305TakesTheOtherModelsFileButItsLengths) {
  const QString file = path("k305g2.pes");
  WriteAll(file, File({{0x16, 2}, {0x40, 0}, {0x17, 7}, {0x19, 2}, {0x1B, 1}, {0x4E, 5}, {0x4A, 6}, {0x06, 120},
                       {0x0E, 30}, {0x0F, 40}, {0x02, 90}, {0x14, 1}, {0x12, 1}, {0x6D, 3}, {0x7D, 1}},
                      "RW-K305XX"));
  TRWK305EepromSetForm form;
  Choose(file);
  form.btnImportSettingsFromFileClick();
  FormState want = StartState(RWK305Profile());
  want[C::cboBaudrate].index = 3;
  want[C::cboDataBits].index = 1;
  want[C::cboStopbits].index = 1;
  want[C::cboParity].index = 1;
  want[C::edtDefaultLeftMargin].text = std::string("5");
  want[C::edtDefaultRightMargin].text = std::string("6");
  want[C::edtPrintSpeed].text = "120";
  want[C::edtPrintDarkness].text = "90";
  want[C::rgCR].index = 0;
  want[C::rgPaperType].index = 1;
  want[C::cboCodePage].index = 3;
  want[C::rgBufferSize].index = 1;
  EXPECT_EQ(form.state(), want);
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages_.messages()[0].text, "Some error appears when importing settings from file \"" + file + "\"!");
}

TEST_F(SecondSeriesFileTest, FileCases) {
  const std::string tag = "RW-K201XX";
  Bytes twentyOne;
  for (int i = 0; i < 21; ++i) Record(twentyOne, 0x06, 100);
  twentyOne.insert(twentyOne.end(), tag.begin(), tag.end());
  Bytes twenty;
  for (int i = 0; i < 19; ++i) Record(twenty, 0x06, 100);
  Record(twenty, 0x06, 42 + 100);
  twenty.insert(twenty.end(), tag.begin(), tag.end());
  Bytes badPrefix = File({{0x06, 120}, {0x02, 90}}, tag);
  badPrefix[5] = 0x0A;  // a bank-2 record: not this family's

  struct Case {
    const char* name;
    Bytes file;
    const char* box;  // "" none, "format", "faulty"
    void (*check)(const FormState&);
  };
  const auto unchanged = [](const FormState& s) { EXPECT_EQ(s, StartState(RWK201Profile())); };
  const Case cases[] = {
      {"empty", {}, "format", unchanged},
      {"8 bytes", Bytes(8, 0x41), "format", unchanged},
      {"tag only", File({}, tag), "", unchanged},
      {"wrong tag", File({{0x06, 120}}, "RW-K201XY"), "format", unchanged},
      {"lower-case tag", File({{0x06, 120}}, "rw-k201xx"), "format", unchanged},
      {"short tag", File({{0x06, 120}}, "RW-K201X"), "format", unchanged},
      {"record without tag", File({{0x06, 120}}, ""), "format", unchanged},
      {"21 records", twentyOne, "format", unchanged},
      {"20 records", twenty, "", [](const FormState& s) { EXPECT_EQ(s[C::edtPrintSpeed].text, "142"); }},
      {"key 30", File({{0x06, 120}, {0x30, 1}, {0x02, 90}}, tag), "faulty",
       [](const FormState& s) {
         EXPECT_EQ(s[C::edtPrintSpeed].text, "120");
         EXPECT_EQ(s[C::edtPrintDarkness].text, "90");
       }},
      {"06 then 70", File({{0x06, 100}, {0x70, 120}}, tag), "",
       [](const FormState& s) { EXPECT_EQ(s[C::edtPrintSpeed].text, "120"); }},
      {"flow 1", File({{0x40, 1}}, tag), "", [](const FormState& s) { EXPECT_EQ(s[C::cboFlowControl].index, -1); }},
      {"bank-2 record", badPrefix, "faulty",
       [](const FormState& s) {
         EXPECT_EQ(s[C::edtPrintSpeed].text, "100");
         EXPECT_EQ(s[C::edtPrintDarkness].text, "90");
       }},
      {"tag then more", [&] {
         Bytes b = File({{0x06, 120}}, tag);
         b.push_back(0x00);
         return b;
       }(), "format", unchanged},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      messages_.clear();
      const QString file = path("case.pes");
      QFile::remove(file);
      WriteAll(file, c.file);
      TRWK201EepromSetForm form;
      Choose(file);
      form.btnImportSettingsFromFileClick();
      c.check(form.state());
      const std::string box = c.box;
      if (box.empty()) {
        EXPECT_TRUE(messages_.messages().empty());
      } else {
        ASSERT_EQ(messages_.messages().size(), 1u);
        EXPECT_EQ(messages_.messages()[0].title, "Error");
        EXPECT_EQ(messages_.messages()[0].text,
                  box == "format" ? "The data format in file \"" + file + "\" is not normal!"
                                  : "Some error appears when importing settings from file \"" + file + "\"!");
      }
    }
  }
}

// Flow control 1 from a file leaves the list empty, and the export writes 1
// again.
TEST_F(SecondSeriesFileTest, FlowOneFromAFileIsWrittenBackAsOne) {
  const QString in = path("flow.pes");
  WriteAll(in, File({{0x40, 1}}, "RW-K201XX"));
  TRWK201EepromSetForm form;
  Choose(in);
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->currentIndex(), -1);
  const QString out = path("out.pes");
  Choose(out);
  form.btnExportSettingsToFileClick();
  const Bytes bytes = ToBytes(ReadAll(out));
  ASSERT_EQ(bytes.size(), 171u);
  EXPECT_EQ(Bytes(bytes.begin() + 9, bytes.begin() + 18), File({{0x40, 1}}, ""));
}

// A refused or failed export leaves an existing file as it was.
TEST_F(SecondSeriesFileTest, RefusedExportLeavesTheFileAlone) {
  struct Case {
    const char* name;
    void (*edit)(FormState&);
    MessageKind kind;
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {"left margin 101", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "101"; }, MessageKind::Warning,
       "The input of default left margin is invalid!", "“default left margin”非法输入！"},
      {"speed text", [](FormState& s) { s[C::edtPrintSpeed].text = "fast"; }, MessageKind::Warning,
       "The input of format is invalid!", "输入非法！"},
      {"no code page", [](FormState& s) { s[C::cboCodePage].index = -1; }, MessageKind::Error,
       "Some error appears when exporting settings to file \"<f>\"!", "文件 \"<f>\" 中存在错误数据！"},
      {"no baud rate", [](FormState& s) { s[C::cboBaudrate].index = -1; }, MessageKind::Error,
       "Some error appears when exporting settings to file \"<f>\"!", "文件 \"<f>\" 中存在错误数据！"},
  };
  const QString file = path("kept.pes");
  const Bytes old = StartFile("RW-K201XX");
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      messages_.clear();
      WriteAll(file, old);
      TRWK201EepromSetForm form;
      FormState s = form.state();
      c.edit(s);
      form.setState(s);
      Choose(file);
      form.btnExportSettingsToFileClick();
      EXPECT_EQ(ToBytes(ReadAll(file)), old);
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, c.kind);
      QString want = QString::fromUtf8(Language == "English" ? c.english : c.chinese);
      want.replace("<f>", file);
      EXPECT_EQ(messages_.messages()[0].text, want);
    }
  }
  // A margin of 17 is refused by Save but exported.
  Language = "English";
  messages_.clear();
  TRWK201EepromSetForm form;
  FormState s = form.state();
  s[C::edtDefaultLeftMargin].text = "17";
  form.setState(s);
  form.btnExportSettingsToFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(ToBytes(ReadAll(file))[5 * 9 + 6], 17) << "record (4E, 17)";
}

TEST_F(SecondSeriesFileTest, FilesThatCannotBeOpened) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    messages_.clear();
    TRWK201EepromSetForm form;
    const QString noFolder = path("missing/out.pes");
    Choose(noFolder);
    form.btnExportSettingsToFileClick();
    const QString missing = path("missing.pes");
    Choose(missing);
    form.btnImportSettingsFromFileClick();
    Choose(dir_.path());  // a folder is no file
    form.btnImportSettingsFromFileClick();
    ASSERT_EQ(messages_.messages().size(), 3u);
    const bool english = Language == "English";
    EXPECT_EQ(messages_.messages()[0].text, english ? "Fail to open file \"" + noFolder + "\""
                                                    : "保存文件“" + noFolder + "”失败！");
    EXPECT_EQ(messages_.messages()[1].text, english ? "Fail to open file \"" + missing + "\""
                                                    : "打开文件“" + missing + "”失败！");
    EXPECT_EQ(messages_.messages()[2].kind, MessageKind::Error);
    EXPECT_FALSE(QFile::exists(noFolder));
  }
  // Cancel in either dialog does nothing.
  messages_.clear();
  TRWK201EepromSetForm form;
  form.setState(Changed(RWK201Profile()));
  Choose(QString());
  form.btnExportSettingsToFileClick();
  form.btnImportSettingsFromFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(form.state(), Changed(RWK201Profile()));
}

// Exit, Esc and the close box close the dialog; a serial port or USB device
// still held is closed with it, a USB printer is left open.
TEST_F(SecondSeriesFileTest, WaysOut) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    const int serial = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GT(serial, 0);
    ComParameter.m_hdev = serial;
    USBParameter.m_hdev = 4242;         // no such device: only the record is cleared
    USBPrinterParameter.m_hdev = 4343;  // left to Close Port
    TRWK201EepromSetForm form;
    form.show();
    ASSERT_TRUE(form.isVisible());
    if (way == 0) {
      Child<QPushButton>(form, "btnExit")->click();
    } else if (way == 1) {
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&form, &esc);
    } else {
      form.close();
    }
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
    EXPECT_EQ(USBParameter.m_hdev.load(), -1);
    EXPECT_EQ(USBPrinterParameter.m_hdev.load(), 4343);
    USBPrinterParameter.m_hdev = -1;
  }
}
