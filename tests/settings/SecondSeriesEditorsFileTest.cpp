// The RW-K201E, RW-K305E and RW-K305GII editors without a printer: their
// forms as they open, golden exports written out by hand, and one table of
// the five POS-style editors against the five kinds of settings file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QValidator>
#include <functional>
#include <memory>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
#include "FileDialogFixture.h"
#include "settings/RWK201EEepromSet.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305EEepromSet.h"
#include "settings/RWK305EepromSet.h"
#include "settings/RWK305G2EepSet.h"

using namespace torva::settings;
using namespace torva::settings::second;
using settings_test::Child;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;
using C = Control;

namespace {

using Records = std::vector<std::pair<uint8_t, uint16_t>>;

// The records as they stand in a file (1B 73 5C 31 E7 08 lo hi key), then
// the tag.
Bytes File(const Records& records, const std::string& tag) {
  Bytes out;
  for (const auto& [key, value] : records) {
    for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(key);
  }
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// An E editor with every visible control away from its start: margins 9 and
// 10, speed 140, darkness 200, near-end stop on and alarm off, cutter off,
// mark paper, PC858, the 45-byte buffer, 300 feed lines.
FormState ChangedE(const SecondSeriesProfile& p) {
  FormState s = StartState(p);
  s[C::edtDefaultLeftMargin].text = std::string("9");
  s[C::edtDefaultRightMargin].text = "10";
  s[C::edtPrintSpeed].text = "140";
  s[C::edtPrintDarkness].text = "200";
  s[C::chkStopPrintingOnPaperNearEnd].checked = true;
  s[C::chkAlarmOnPaperNearEnd].checked = false;
  s[C::rgAutoCutter].index = 1;
  s[C::rgPaperType].index = 1;
  s[C::cboCodePage].index = 7;
  s[C::rgBufferSize].index = 1;
  s[C::FeedLine].text = "300";
  return s;
}
// Its file, written out in the export's order.
Records ChangedERecords(uint8_t nearEndKey) {
  return {{0x4E, 9}, {0x4A, 10}, {0x06, 140}, {0x02, 200}, {nearEndKey, 1}, {0x54, 0},
          {0x30, 0}, {0x12, 1},  {0x6D, 7},   {0x7D, 1},   {0x2C, 300}};
}

// The RW-K305GII with every control away from its start (a code page
// chosen): 115200 baud, 7 data bits, 2 stop bits, odd parity, margins 5 and
// 6, speed 120, lengths 30 and 256, darkness 90, CR on, mark paper, WPC1252,
// the 45-byte buffer; flow control stays DTR/DSR.
FormState ChangedG2() {
  FormState s = StartState(RWK305G2Profile());
  s[C::cboBaudrate].index = 5;
  s[C::cboDataBits].index = 1;
  s[C::cboStopbits].index = 1;
  s[C::cboParity].index = 1;
  s[C::edtDefaultLeftMargin].text = std::string("5");
  s[C::edtDefaultRightMargin].text = std::string("6");
  s[C::edtPrintSpeed].text = "120";
  s[C::EditLength1].text = "30";
  s[C::EditLength2].text = "256";
  s[C::edtPrintDarkness].text = "90";
  s[C::rgCR].index = 0;
  s[C::rgPaperType].index = 1;
  s[C::cboCodePage].index = 9;
  s[C::rgBufferSize].index = 1;
  return s;
}
const Records kChangedG2Records = {{0x16, 7},  {0x40, 0}, {0x17, 7},   {0x19, 2},  {0x1B, 1},
                                   {0x4E, 5},  {0x4A, 6}, {0x06, 120}, {0x0E, 30}, {0x0F, 256},
                                   {0x02, 90}, {0x14, 1}, {0x12, 1},   {0x6D, 9},  {0x7D, 1}};

std::unique_ptr<TSecondSeriesEepromSetForm> Make(int model) {
  switch (model) {
    case 4:
      return std::make_unique<TRWK201EepromSetForm>();
    case 6:
      return std::make_unique<TRWK305EepromSetForm>();
    case 9:
      return std::make_unique<TRWK305EEepromSetForm>();
    case 10:
      return std::make_unique<TRWK201EEepromSetForm>();
    default:
      return std::make_unique<TRWK305G2EepSetForm>();
  }
}

class SecondSeriesEditorsFileTest : public settings_test::FileDialogTest {
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

bool HasF1(const QWidget& form) {
  for (const QShortcut* s : form.findChildren<QShortcut*>()) {
    if (s->key() == QKeySequence(Qt::Key_F1)) return true;
  }
  return false;
}

}  // namespace

TEST_F(SecondSeriesEditorsFileTest, EEditorsAsTheyOpen) {
  for (const char* language : {"English", "Chinese"}) {
    for (int model : {10, 9}) {
      SCOPED_TRACE(std::string(language) + " " + std::to_string(model));
      Language = language;
      auto form = Make(model);
      form->show();
      EXPECT_EQ(form->windowTitle(), "EepromSet");
      EXPECT_EQ(form->objectName(), model == 10 ? "TRWK201EEepromSetForm" : "TRWK305EEepromSetForm");
      EXPECT_EQ(form->state(), StartState(form->profile()));
      EXPECT_EQ(form->buttons(), (ButtonStates{true, false, true, false, true}));
      EXPECT_EQ(torva::testing::CaptionProblems(form.get()).join("\n").toStdString(), "");
      // No serial settings, CR command or beeper on show; the RW-K305E also
      // disables the two groups.
      auto* com = Child<QGroupBox>(*form, "grpComPort");
      EXPECT_TRUE(com->isHidden());
      EXPECT_FALSE(com->isEnabled());
      for (const char* name : {"rgBeeper", "rgCR", "rgDataError"}) {
        auto* group = Child<QGroupBox>(*form, name);
        EXPECT_TRUE(group->isHidden()) << name;
        if (std::string(name) != "rgDataError") {
          EXPECT_EQ(group->isEnabled(), model == 10) << name;
        }
      }
      EXPECT_TRUE(Child<QLabel>(*form, "lblFeedLineInMarkMode")->isHidden());
      for (const char* name :
           {"edtPrintSpeed", "edtPrintDarkness", "edtDefaultLeftMargin", "FeedLine",
            "chkStopPrintingOnPaperNearEnd", "rgAutoCutter", "rgPaperType", "rgBufferSize", "cboCodePage"}) {
        EXPECT_TRUE(Child<QWidget>(*form, name)->isVisible()) << name;
      }
      EXPECT_TRUE(HasF1(*form)) << "help as the RW-K201 editor";
    }
  }
}

TEST_F(SecondSeriesEditorsFileTest, RWK305G2AsItOpens) {
  QWidget owner;
  owner.setGeometry(10, 10, 120, 80);
  owner.show();
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TRWK305G2EepSetForm form(&owner);
    form.show();
    EXPECT_EQ(form.windowTitle(), "RW-K305GII EepromSet");
    EXPECT_EQ(form.objectName(), "TRWK305G2EepSetForm");
    EXPECT_EQ(form.state(), StartState(RWK305G2Profile()));
    EXPECT_EQ(form.buttons(), (ButtonStates{true, false, true, false, true}));
    EXPECT_EQ(torva::testing::CaptionProblems(&form).join("\n").toStdString(), "");
    // Centred on the screen, not over its owner.
    const QPoint centre = form.screen()->availableGeometry().center();
    EXPECT_LE((form.frameGeometry().center() - centre).manhattanLength(), 2)
        << form.frameGeometry().center().x() << "," << form.frameGeometry().center().y();
    EXPECT_FALSE(HasF1(form)) << "no help";
  }
  TRWK305G2EepSetForm form;
  // Exactly its controls: every one of the profile's, none of the others.
  for (const ControlInfo& info : Controls()) {
    EXPECT_EQ(form.findChild<QWidget*>(info.name) != nullptr, HasControl(RWK305G2Profile(), info.control))
        << info.name;
  }
  for (Control control : RWK305G2Profile().controls) {
    EXPECT_FALSE(form.findChild<QWidget*>(InfoOf(control).name)->isHidden()) << InfoOf(control).name;
  }
  EXPECT_FALSE(Child<QGroupBox>(form, "rgPaperType")->isEnabled()) << "the paper type cannot be edited";
  EXPECT_TRUE(Child<QGroupBox>(form, "rgCR")->isEnabled());
  auto* pages = Child<QComboBox>(form, "cboCodePage");
  EXPECT_EQ(pages->count(), 10);
  EXPECT_EQ(pages->itemText(9), "WPC1252");
  EXPECT_EQ(pages->currentIndex(), -1);
  EXPECT_EQ(Child<QComboBox>(form, "cboFlowControl")->count(), 1);
  struct Length {
    const char* edit;
    const char* group;
    const char* hint;
  };
  // The hints' line breaks are this platform's.
  const Length lengths[] = {
      {"EditLength1", "Paper Jam Detect Length",
       "Set Paper Jam Detect Length,\nValue Range:0~256, \nUnit:cm"},
      {"EditLength2", "Roll Paper Loose Detect Length",
       "Set Paper Loose Detect Length,\nValue Range:0~256, \nUnit:cm"},
  };
  for (const Length& l : lengths) {
    SCOPED_TRACE(l.edit);
    auto* edit = Child<QLineEdit>(form, l.edit);
    EXPECT_EQ(edit->text(), "0");
    EXPECT_EQ(edit->toolTip(), l.hint);
    auto* group = qobject_cast<QGroupBox*>(edit->parentWidget());
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), l.group);
    QStringList labels;
    for (const QLabel* label : group->findChildren<QLabel*>()) labels << label->text();
    EXPECT_EQ(labels, QStringList{"cm"});
    // Three characters may be typed.
    QString text = "256";
    int pos = 0;
    EXPECT_EQ(edit->validator()->validate(text, pos), QValidator::Acceptable);
    text = "2560";
    EXPECT_EQ(edit->validator()->validate(text, pos), QValidator::Invalid);
  }
  EXPECT_EQ(Child<QPushButton>(form, "btnSaveSettingsToPrinter")->toolTip(),
            "Save settings information to printer. And some of settings are valid only after printer is "
            "repowered.");
}

// Exports written out by hand from the record lists, and each file read back
// into a fresh dialog gives the exported state.
TEST_F(SecondSeriesEditorsFileTest, GoldenExportsAndTheirImports) {
  struct Case {
    int model;
    FormState state;
    Bytes golden;
  };
  const Case cases[] = {
      {10, ChangedE(RWK201EProfile()), File(ChangedERecords(0x44), "RW-K201RX")},
      {9, ChangedE(RWK305EProfile()), File(ChangedERecords(0x43), "RW-K305RX")},
      {14, ChangedG2(), File(kChangedG2Records, "RW-K305XX")},
      // The start states (the RW-K305GII with PC437 chosen).
      {10, StartState(RWK201EProfile()),
       File({{0x4E, 2},
             {0x4A, 2},
             {0x06, 100},
             {0x02, 68},
             {0x44, 0},
             {0x54, 1},
             {0x30, 1},
             {0x12, 0},
             {0x6D, 0},
             {0x7D, 0},
             {0x2C, 0}},
            "RW-K201RX")},
      {14,
       [] {
         FormState s = StartState(RWK305G2Profile());
         s[C::cboCodePage].index = 0;
         return s;
       }(),
       File({{0x16, 1},
             {0x40, 0},
             {0x17, 8},
             {0x19, 1},
             {0x1B, 0},
             {0x4E, 2},
             {0x4A, 2},
             {0x06, 100},
             {0x0E, 0},
             {0x0F, 0},
             {0x02, 68},
             {0x14, 0},
             {0x12, 0},
             {0x6D, 0},
             {0x7D, 0}},
            "RW-K305XX")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    ASSERT_EQ(c.golden.size(), c.model == 14 ? 144u : 108u);
    auto form = Make(c.model);
    form->setState(c.state);
    const QString file = path("golden.pes");
    Choose(file);
    form->btnExportSettingsToFileClick();
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(ToBytes(ReadAll(file)), c.golden);
    auto again = Make(c.model);
    if (c.model == 14) {
      // From a state that differs in every control.
      FormState other = StartState(RWK305G2Profile());
      other[C::cboFlowControl].index = -1;
      again->setState(other);
    }
    again->btnImportSettingsFromFileClick();
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(again->state(), c.state);
    EXPECT_EQ(again->buttons(), (ButtonStates{true, false, true, false, true}))
        << "an import enables nothing";
  }
}

// The five editors against the five kinds of file: refused as "not normal"
// with nothing changed, or applied with or without the faulty-records box,
// and which controls change.
TEST_F(SecondSeriesEditorsFileTest, FiveEditorsAgainstFiveKindsOfFile) {
  // Values away from every editor's start.
  const Records k201Records = {{0x16, 7}, {0x40, 1},   {0x17, 7},  {0x19, 2}, {0x1B, 1}, {0x4E, 5},
                               {0x4A, 6}, {0x06, 120}, {0x02, 90}, {0x44, 1}, {0x54, 0}, {0x09, 0x0800},
                               {0x14, 1}, {0x12, 1},   {0x58, 0},  {0x6D, 3}, {0x7D, 1}, {0x2C, 300}};
  const Records g2Records = {{0x16, 7},  {0x40, 1}, {0x17, 7},   {0x19, 2},  {0x1B, 1},
                             {0x4E, 5},  {0x4A, 6}, {0x06, 120}, {0x0E, 30}, {0x0F, 40},
                             {0x02, 90}, {0x14, 1}, {0x12, 1},   {0x6D, 3},  {0x7D, 1}};
  struct Kind {
    const char* name;
    Bytes bytes;
  };
  const Kind files[] = {
      {"RW-K201", File(k201Records, "RW-K201XX")},
      {"RW-K305", File(k201Records, "RW-K305XX")},
      {"RW-K305GII", File(g2Records, "RW-K305XX")},
      {"RW-K201E", File(ChangedERecords(0x44), "RW-K201RX")},
      {"RW-K305E", File(ChangedERecords(0x43), "RW-K305RX")},
  };
  const std::vector<Control> serial = {C::cboBaudrate, C::cboFlowControl, C::cboDataBits, C::cboStopbits,
                                       C::cboParity};
  auto join = [](std::vector<Control> a, const std::vector<Control>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const std::vector<Control> shared = {
      C::edtDefaultLeftMargin, C::edtDefaultRightMargin, C::edtPrintSpeed, C::edtPrintDarkness, C::rgCR,
      C::rgPaperType,          C::rgBufferSize,          C::cboCodePage};
  const std::vector<Control> k201All =
      join(join(serial, shared), {C::FeedLine, C::chkStopPrintingOnPaperNearEnd, C::chkAlarmOnPaperNearEnd,
                                  C::rgAutoCutter, C::rgBeeper});
  const std::vector<Control> g2All = join(join(serial, shared), {C::EditLength1, C::EditLength2});
  const std::vector<Control> eAll = {C::edtDefaultLeftMargin,
                                     C::edtDefaultRightMargin,
                                     C::edtPrintSpeed,
                                     C::edtPrintDarkness,
                                     C::chkStopPrintingOnPaperNearEnd,
                                     C::chkAlarmOnPaperNearEnd,
                                     C::rgAutoCutter,
                                     C::rgPaperType,
                                     C::cboCodePage,
                                     C::rgBufferSize,
                                     C::FeedLine};
  enum Box { None, NotNormal, Faulty };
  struct Case {
    int model;
    const char* file;
    Box box;
    std::vector<Control> changed;
  };
  const std::vector<Case> cases = {
      {4, "RW-K201", None, k201All},
      {4, "RW-K305", NotNormal, {}},
      {4, "RW-K305GII", NotNormal, {}},
      {4, "RW-K201E", NotNormal, {}},
      {4, "RW-K305E", NotNormal, {}},
      {6, "RW-K201", NotNormal, {}},
      {6, "RW-K305", None, k201All},
      // The lengths (0E, 0F) are faulty here.
      {6, "RW-K305GII", Faulty, join(serial, shared)},
      {6, "RW-K201E", NotNormal, {}},
      {6, "RW-K305E", NotNormal, {}},
      {14, "RW-K201", NotNormal, {}},
      // The cutter, near-end, alarm, beeper and feed-line records are faulty
      // here.
      {14, "RW-K305", Faulty, join(serial, shared)},
      {14, "RW-K305GII", None, g2All},
      {14, "RW-K201E", NotNormal, {}},
      {14, "RW-K305E", NotNormal, {}},
      {10, "RW-K201", NotNormal, {}},
      {10, "RW-K305", NotNormal, {}},
      {10, "RW-K305GII", NotNormal, {}},
      {10, "RW-K201E", None, eAll},
      {10, "RW-K305E", NotNormal, {}},
      {9, "RW-K201", NotNormal, {}},
      {9, "RW-K305", NotNormal, {}},
      {9, "RW-K305GII", NotNormal, {}},
      {9, "RW-K201E", NotNormal, {}},
      {9, "RW-K305E", None, eAll},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.model) + " takes the " + c.file + " file");
    messages_.clear();
    const Kind* kind = nullptr;
    for (const Kind& k : files) {
      if (std::string(k.name) == c.file) kind = &k;
    }
    ASSERT_NE(kind, nullptr);
    const QString file = path("five.pes");
    WriteAll(file, kind->bytes);
    auto form = Make(c.model);
    const FormState start = form->state();
    Choose(file);
    form->btnImportSettingsFromFileClick();
    const FormState after = form->state();
    std::vector<Control> changed;
    for (const ControlInfo& info : Controls()) {
      if (after[info.control] != start[info.control]) changed.push_back(info.control);
    }
    std::vector<Control> want = c.changed;
    std::sort(want.begin(), want.end());
    EXPECT_EQ(changed, want);
    if (c.box == None) {
      EXPECT_TRUE(messages_.messages().empty());
    } else {
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages_.messages()[0].text,
                c.box == NotNormal
                    ? "The data format in file \"" + file + "\" is not normal!"
                    : "Some error appears when importing settings from file \"" + file + "\"!");
    }
  }
}

// The RW-K305GII's export refusals leave the file alone; a length above 256
// is exported, and refused by the import.
TEST_F(SecondSeriesEditorsFileTest, RWK305G2ExportRefusalsAndLongLengths) {
  struct Case {
    const char* name;
    std::function<void(FormState&)> edit;
    MessageKind kind;
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {"no code page", [](FormState& s) { s[C::cboCodePage].index = -1; }, MessageKind::Error,
       "Some error appears when exporting settings to file \"<f>\"!", "文件 \"<f>\" 中存在错误数据！"},
      {"negative length", [](FormState& s) { s[C::EditLength2].text = "-1"; }, MessageKind::Error,
       "Some error appears when exporting settings to file \"<f>\"!", "文件 \"<f>\" 中存在错误数据！"},
      {"length text", [](FormState& s) { s[C::EditLength1].text = "cm"; }, MessageKind::Warning,
       "The input of format is invalid!", "输入非法！"},
      {"left margin 101", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "101"; }, MessageKind::Warning,
       "The input of default left margin is invalid!", "“default left margin”非法输入！"},
  };
  const QString file = path("kept.pes");
  const Bytes old = File(kChangedG2Records, "RW-K305XX");
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      messages_.clear();
      WriteAll(file, old);
      TRWK305G2EepSetForm form;
      FormState s = ChangedG2();
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
  // Before any Get the list has no code page: Export is refused until one is
  // chosen.
  Language = "English";
  messages_.clear();
  TRWK305G2EepSetForm fresh;
  fresh.btnExportSettingsToFileClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);

  // 300 and 257 cm go out unchanged; the import refuses both records and
  // applies the rest.
  messages_.clear();
  TRWK305G2EepSetForm form;
  FormState s = ChangedG2();
  s[C::EditLength1].text = "300";
  s[C::EditLength2].text = "257";
  form.setState(s);
  form.btnExportSettingsToFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  const Bytes bytes = ToBytes(ReadAll(file));
  ASSERT_EQ(bytes.size(), 144u);
  EXPECT_EQ(Bytes(bytes.begin() + 8 * 9, bytes.begin() + 10 * 9), File({{0x0E, 300}, {0x0F, 257}}, ""));
  TRWK305G2EepSetForm reader;
  reader.btnImportSettingsFromFileClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text,
            "Some error appears when importing settings from file \"" + file + "\"!");
  FormState want = ChangedG2();
  want[C::EditLength1].text = std::string("0");
  want[C::EditLength2].text = std::string("0");
  EXPECT_EQ(reader.state(), want);
}

// Exit, Esc and the close box leave each of the three; a serial port still
// held is closed with it, a USB printer is left to Close Port.
TEST_F(SecondSeriesEditorsFileTest, WaysOut) {
  for (int model : {10, 9, 14}) {
    for (int way = 0; way < 3; ++way) {
      SCOPED_TRACE(std::to_string(model) + " way " + std::to_string(way));
      const int serial = ::open("/dev/null", O_RDWR | O_CLOEXEC);
      ASSERT_GT(serial, 0);
      ComParameter.m_hdev = serial;
      USBPrinterParameter.m_hdev = 4343;
      auto form = Make(model);
      form->show();
      if (way == 0) {
        Child<QPushButton>(*form, "btnExit")->click();
      } else if (way == 1) {
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(form.get(), &esc);
      } else {
        form->close();
      }
      EXPECT_FALSE(form->isVisible());
      EXPECT_EQ(form->result(), QDialog::Rejected);
      EXPECT_EQ(ComParameter.m_hdev.load(), -1);
      EXPECT_EQ(USBPrinterParameter.m_hdev.load(), 4343);
      USBPrinterParameter.m_hdev = -1;
    }
  }
}
