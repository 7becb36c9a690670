// The RWN-K409 editor without a printer: its form as it opens, export and
// import through the dialog with the file dialogs replaced (the golden file,
// one table of file cases, refused exports), and the ways out.
#include <gtest/gtest.h>

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
#include "settings/K409EepromSet.h"

using namespace torva::settings;
using namespace torva::settings::second;
using settings_test::Child;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;
using C = Control;

namespace {

void Record(Bytes& out, uint8_t key, uint16_t value) {
  for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(key);
}

Bytes File(const std::vector<std::pair<uint8_t, uint16_t>>& records, const std::string& tag = "ABCDEFGHI") {
  Bytes out;
  for (const auto& [key, value] : records) Record(out, key, value);
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// The golden file, written out by hand from the address table: 19200 baud
// (code 1), DTR/DSR, 8 data bits, 1 stop bit, parity "Even" (2), margins 2
// and 2, speed 100, darkness 68, near-end stop off, alarm on, cutter on, CR
// off, receipt paper, beeper on, PC437, '?' on a data error, the 4096-byte
// buffer, 160 feed lines; then the tag.
Bytes Golden() {
  const uint8_t records[19][3] = {
      {0x01, 0x00, 0x16}, {0x00, 0x00, 0x40}, {0x08, 0x00, 0x17}, {0x01, 0x00, 0x19}, {0x02, 0x00, 0x1B},
      {0x02, 0x00, 0x4E}, {0x02, 0x00, 0x4A}, {0x64, 0x00, 0x06}, {0x44, 0x00, 0x02}, {0x00, 0x00, 0x44},
      {0x01, 0x00, 0x54}, {0x01, 0x00, 0x30}, {0x00, 0x00, 0x14}, {0x00, 0x00, 0x12}, {0x01, 0x00, 0x58},
      {0x00, 0x00, 0x6D}, {0x00, 0x00, 0x65}, {0x00, 0x00, 0x7D}, {0xA0, 0x00, 0x2C},
  };
  Bytes out;
  for (const auto& r : records) {
    for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
    out.insert(out.end(), std::begin(r), std::end(r));
  }
  const std::string tag = "ABCDEFGHI";
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// The state the golden file holds.
FormState GoldenState() {
  FormState s = StartState(K409Profile());
  s[C::cboParity].index = 0;  // "Even"
  s[C::FeedLine].text = "160";
  return s;
}

// A state that differs from the golden one in every control the file carries.
FormState Changed() {
  FormState s = StartState(K409Profile());
  s[C::cboBaudrate].index = 5;
  s[C::cboFlowControl].index = -1;
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
  s[C::rgDataError].index = 1;
  s[C::rgBufferSize].index = 1;
  s[C::cboCodePage].index = 7;
  return s;
}

class K409FileTest : public settings_test::FileDialogTest {};

}  // namespace

TEST_F(K409FileTest, FormAsItOpens) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TK409EepromSetForm form;
    EXPECT_EQ(form.windowTitle(), "K409 EepromSet") << "the form stays English";
    EXPECT_EQ(form.objectName(), "TK409EepromSetForm");
    EXPECT_EQ(form.font().family(), "MS Sans Serif");
    EXPECT_EQ(form.state(), StartState(K409Profile()));
    EXPECT_EQ(form.buttons(), (ButtonStates{true, false, true, true, true})) << "Save waits for a Get";
    EXPECT_EQ(torva::testing::CaptionProblems(&form).join("\n").toStdString(), "");
  }
  TK409EepromSetForm form;
  form.show();
  // Every control of the profile is on the form and shown, lists and groups
  // filled from the map.
  for (Control control : K409Profile().controls) {
    const ControlInfo& info = InfoOf(control);
    SCOPED_TRACE(info.name);
    QWidget* w = form.findChild<QWidget*>(info.name);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    QStringList shown, want;
    for (const auto& item : ItemsOf(K409Profile(), info.control)) want << QString::fromStdString(item);
    if (info.kind == ControlKind::List) {
      auto* box = qobject_cast<QComboBox*>(w);
      ASSERT_NE(box, nullptr);
      for (int i = 0; i < box->count(); ++i) shown << box->itemText(i);
      EXPECT_EQ(shown, want);
    }
    if (info.kind == ControlKind::Radio) {
      for (QRadioButton* b : w->findChildren<QRadioButton*>()) shown << b->text();
      EXPECT_EQ(shown, want);
    }
  }
  EXPECT_EQ(Child<QComboBox>(form, "cboBaudrate")->currentText(), "19200");
  EXPECT_EQ(Child<QComboBox>(form, "cboParity")->currentText(), "None");
  EXPECT_EQ(Child<QComboBox>(form, "cboCodePage")->currentText(), "PC437");
  EXPECT_EQ(Child<QGroupBox>(form, "rgDataError")->title(), "Data Received Error");
  EXPECT_EQ(Child<QGroupBox>(form, "rgBufferSize")->title(), "Rx Buffer Size");
  EXPECT_EQ(Child<QLabel>(form, "lblProtocol")->text(), "Protocol");
  EXPECT_EQ(Child<QLabel>(form, "lblFeedLineInMarkMode")->text(), "FeedLine In Mark Mode");
  EXPECT_EQ(Child<QLabel>(form, "lblDotLine")->text(), "DotLine");
  EXPECT_EQ(Child<QLineEdit>(form, "FeedLine")->text(), "0");
  EXPECT_TRUE(Child<QPushButton>(form, "btnGetSettingsFromPrinter")->isDefault());
  EXPECT_EQ(Child<QPushButton>(form, "btnSaveSettingsToPrinter")->toolTip(),
            "Save settings information to printer. And some of settings are valid only after printer is repowered.");
  // The edits' typing limits and arrows.
  for (const auto& [name, characters] :
       {std::pair{"edtPrintSpeed", 3}, std::pair{"edtPrintDarkness", 3}, std::pair{"edtDefaultLeftMargin", 2},
        std::pair{"edtDefaultRightMargin", 2}, std::pair{"FeedLine", 5}}) {
    SCOPED_TRACE(name);
    auto* edit = Child<QLineEdit>(form, name);
    EXPECT_EQ(edit->maxLength(), 32767) << "the limit binds typing only";
    QString typed(characters + 1, QChar('1'));
    int pos = 0;
    EXPECT_EQ(edit->validator()->validate(typed, pos), QValidator::Invalid);
    typed.chop(1);
    EXPECT_NE(edit->validator()->validate(typed, pos), QValidator::Invalid);
  }
  const std::pair<const char*, std::pair<int, int>> arrows[] = {{"udPrintSpeed", {25, 150}},
                                                                {"udPrintDarkness", {1, 254}},
                                                                {"udDefaultLeftMargin", {0, 16}},
                                                                {"udDefaultRightMargin", {0, 16}}};
  for (const auto& [name, range] : arrows) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Child<UpDown>(form, name)->minimum(), range.first);
    EXPECT_EQ(Child<UpDown>(form, name)->maximum(), range.second);
  }
}

TEST_F(K409FileTest, ExportIsTheGoldenFile) {
  const Bytes golden = Golden();
  ASSERT_EQ(golden.size(), 180u);
  EXPECT_EQ(std::string(golden.end() - 9, golden.end()), "ABCDEFGHI");
  EXPECT_EQ(Bytes(golden.begin() + 36, golden.begin() + 45), File({{0x1B, 2}}, "")) << "parity Even is 1B = 2";
  TK409EepromSetForm form;
  form.setState(GoldenState());
  const QString file = path("golden.pes");
  Choose(file);
  form.btnExportSettingsToFileClick();
  EXPECT_EQ(ToBytes(ReadAll(file)), golden);
  EXPECT_TRUE(messages_.messages().empty()) << "no message on success";
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_TRUE(requests_[0].save);
  EXPECT_EQ(requests_[0].filter, "POS Printer Eeprom Settings File(*.pes)");
  EXPECT_EQ(requests_[0].defaultSuffix, "pes");
  EXPECT_TRUE(requests_[0].confirmOverwrite);
  EXPECT_EQ(requests_[0].directory, ProgramFolder());
  EXPECT_TRUE(requests_[0].fileName.isEmpty());
  EXPECT_EQ(form.buttons(), (ButtonStates{true, false, true, true, true})) << "an export changes no button";
}

TEST_F(K409FileTest, ImportOfTheGoldenFileRestoresTheState) {
  const QString file = path("golden.pes");
  WriteAll(file, Golden());
  TK409EepromSetForm form;
  form.setState(Changed());
  Choose(file);
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(form.state(), GoldenState());
  EXPECT_TRUE(messages_.messages().empty()) << "no message on success";
  EXPECT_EQ(form.buttons(), (ButtonStates{true, false, true, true, true})) << "an import enables nothing";
  ASSERT_EQ(requests_.size(), 1u);
  EXPECT_FALSE(requests_[0].save);
  EXPECT_EQ(requests_[0].filter, "POS Printer Eeprom Settings File(*.pes)");
  EXPECT_TRUE(requests_[0].mustExist);
  EXPECT_EQ(requests_[0].directory, ProgramFolder());

  // A changed state goes out and comes back whole (flow control 1 as well).
  form.setState(Changed());
  Choose(path("changed.pes"));
  form.btnExportSettingsToFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(ToBytes(ReadAll(path("changed.pes"))).at(9 + 6), 1) << "record (40, 1)";
  form.setState(GoldenState());
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(form.state(), Changed());
}

TEST_F(K409FileTest, FileCases) {
  Bytes twentyOne, twenty;
  for (int i = 0; i < 21; ++i) Record(twentyOne, 0x06, 120);
  for (int i = 0; i < 19; ++i) Record(twenty, 0x06, 120);
  Record(twenty, 0x06, 142);
  for (Bytes* b : {&twentyOne, &twenty}) b->insert(b->end(), {'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I'});
  Bytes longer = Golden();
  longer.push_back(0x00);

  struct Case {
    const char* name;
    Bytes file;
    const char* box;  // "" none, "format", "faulty"
    void (*check)(const FormState&);
  };
  const auto unchanged = [](const FormState& s) { EXPECT_EQ(s, Changed()); };
  const Case cases[] = {
      {"golden", Golden(), "", [](const FormState& s) { EXPECT_EQ(s, GoldenState()); }},
      {"another tag", [] {
         Bytes b = Golden();
         std::copy_n("RW-K201XX", 9, b.end() - 9);
         return b;
       }(), "format", unchanged},
      {"181 bytes", longer, "format", unchanged},
      {"empty", {}, "format", unchanged},
      {"tag only", File({}), "", unchanged},
      {"21 records", twentyOne, "format", unchanged},
      {"20 records", twenty, "", [](const FormState& s) { EXPECT_EQ(s[C::edtPrintSpeed].text, "142"); }},
      {"40 = 2 and an unknown address",
       File({{0x06, 130}, {0x40, 2}, {0x02, 90}, {0x09, 0}, {0x65, 0}, {0x2C, 400}}), "faulty",
       [](const FormState& s) {
         FormState want = Changed();
         want[C::edtPrintSpeed].text = "130";
         want[C::edtPrintDarkness].text = "90";
         want[C::rgDataError].index = 0;
         want[C::FeedLine].text = "400";
         EXPECT_EQ(s, want) << "the other records are applied";
       }},
      {"bank-2 record", [] {
         Bytes b = File({{0x06, 130}, {0x02, 90}});
         b[5] = 0x0A;
         return b;
       }(), "faulty",
       [](const FormState& s) {
         EXPECT_EQ(s[C::edtPrintSpeed].text, "140");
         EXPECT_EQ(s[C::edtPrintDarkness].text, "90");
       }},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      messages_.clear();
      const QString file = path("case.pes");
      QFile::remove(file);
      WriteAll(file, c.file);
      TK409EepromSetForm form;
      form.setState(Changed());
      Choose(file);
      form.btnImportSettingsFromFileClick();
      c.check(form.state());
      const std::string box = c.box;
      if (box.empty()) {
        EXPECT_TRUE(messages_.messages().empty());
      } else {
        ASSERT_EQ(messages_.messages().size(), 1u) << "one box at the end";
        EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
        EXPECT_EQ(messages_.messages()[0].title, "Error") << "English in both languages";
        EXPECT_EQ(messages_.messages()[0].text,
                  box == "format" ? "The data format in file \"" + file + "\" is not normal!"
                                  : "Some error appears when importing settings from file \"" + file + "\"!");
      }
    }
  }
}

// An export is written whole or not at all: a refusal leaves an existing
// file as it was and creates none.
TEST_F(K409FileTest, RefusedExports) {
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
      {"feed lines 18", [](FormState& s) { s[C::FeedLine].text = "18"; }, MessageKind::Warning,
       "The input of FeedLine In Mark Mode is invalid!", "“FeedLine In Mark Mode”非法输入！"},
      {"darkness text", [](FormState& s) { s[C::edtPrintDarkness].text = "dark"; }, MessageKind::Warning,
       "The input of format is invalid!", "输入非法！"},
      {"no code page", [](FormState& s) { s[C::cboCodePage].index = -1; }, MessageKind::Error,
       "Some error appears when exporting settings to file \"<f>\"!", "文件 \"<f>\" 中存在错误数据！"},
      {"no baud rate", [](FormState& s) { s[C::cboBaudrate].index = -1; }, MessageKind::Error,
       "Some error appears when exporting settings to file \"<f>\"!", "文件 \"<f>\" 中存在错误数据！"},
  };
  const QString kept = path("kept.pes");
  const QString fresh = path("fresh.pes");
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      for (const QString& file : {kept, fresh}) {
        SCOPED_TRACE(std::string(language) + " " + c.name + " " + file.toStdString());
        messages_.clear();
        QFile::remove(fresh);
        WriteAll(kept, Golden());
        TK409EepromSetForm form;
        FormState s = GoldenState();
        c.edit(s);
        form.setState(s);
        Choose(file);
        form.btnExportSettingsToFileClick();
        if (file == kept) {
          EXPECT_EQ(ToBytes(ReadAll(kept)), Golden());
        } else {
          EXPECT_FALSE(QFile::exists(fresh)) << "no empty or partial file";
        }
        ASSERT_EQ(messages_.messages().size(), 1u);
        EXPECT_EQ(messages_.messages()[0].kind, c.kind);
        QString want = QString::fromUtf8(Language == "English" ? c.english : c.chinese);
        want.replace("<f>", file);
        EXPECT_EQ(messages_.messages()[0].text, want);
      }
    }
  }
  // A margin of 17, refused by Save, is exported.
  Language = "English";
  messages_.clear();
  TK409EepromSetForm form;
  FormState s = GoldenState();
  s[C::edtDefaultLeftMargin].text = "17";
  form.setState(s);
  Choose(fresh);
  form.btnExportSettingsToFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(ToBytes(ReadAll(fresh)).at(5 * 9 + 6), 17) << "record (4E, 17)";
}

TEST_F(K409FileTest, FilesThatCannotBeOpened) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    messages_.clear();
    TK409EepromSetForm form;
    form.setState(GoldenState());
    const QString noFolder = path("missing/out.pes");
    Choose(noFolder);
    form.btnExportSettingsToFileClick();
    const QString missing = path("missing.pes");
    Choose(missing);
    form.btnImportSettingsFromFileClick();
    ASSERT_EQ(messages_.messages().size(), 2u);
    const bool english = Language == "English";
    EXPECT_EQ(messages_.messages()[0].text,
              english ? "Fail to open file \"" + noFolder + "\"" : "保存文件“" + noFolder + "”失败！");
    EXPECT_EQ(messages_.messages()[1].text,
              english ? "Fail to open file \"" + missing + "\"" : "打开文件“" + missing + "”失败！");
  }
  // Cancel in either dialog does nothing.
  messages_.clear();
  TK409EepromSetForm form;
  form.setState(Changed());
  Choose(QString());
  form.btnExportSettingsToFileClick();
  form.btnImportSettingsFromFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(form.state(), Changed());
}

// Exit, Esc and the close box close the dialog with Cancel; a serial port or
// USB device still held is closed with it.
TEST_F(K409FileTest, WaysOut) {
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE(way);
    const int serial = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GT(serial, 0);
    ComParameter.m_hdev = serial;
    USBParameter.m_hdev = 4242;  // no such device: only the record is cleared
    TK409EepromSetForm form;
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
  }
}
