// The two-bank editor dialogs without a printer: what each editor shows, its
// captions in both languages, the key filters and the paper-width rule, the
// VD-K9034's own key handlers, and export and import through the dialog with
// the file dialogs replaced.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <algorithm>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
#include "TwoBankEditorSupport.h"
#include "TwoBankFixtures.h"
#include "FileDialogFixture.h"
#include "gui/UpDown.h"

using namespace torva::settings;
using namespace twobank_test;
using settings_test::Child;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;
using torva::testing::CaptionProblems;

namespace {

std::vector<std::string> Items(const QComboBox* box) {
  std::vector<std::string> out;
  for (int i = 0; i < box->count(); ++i) out.push_back(box->itemText(i).toStdString());
  return out;
}

// The radio buttons of a group box, in order.
std::vector<std::string> Radios(const QWidget& form, const char* name) {
  std::vector<std::string> out;
  for (auto* b :
       Child<QGroupBox>(form, name)->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly))
    out.push_back(b->text().toStdString());
  return out;
}

void Type(QWidget* target, int key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(target, &release);
}

class TwoBankEditorTest : public settings_test::FileDialogTest {};

}  // namespace

// Each editor: the controls of the family with their items and start
// values, and what its model shows differently.
TEST_F(TwoBankEditorTest, EachEditorsLook) {
  struct Look {
    const TwoBankProfile* profile;
    const char* className;
    const char* head1;
    bool head2, back;
    const char* backTitle;
    const char* dataErrorTitle;
    bool surfaceEnabled, minimize, printModeEditable;
    const char* codePage5;
    std::vector<std::string> paperOut;
  };
  const std::vector<std::string> three = {"Retract", "Paper Forward", "Waiting"};
  const std::vector<std::string> four = {"Retract", "Paper Forward", "Waiting", "No Waiting"};
  const Look looks[] = {
      {&H738Profile(), "TVDH738EepromSetForm", "Print Head", false, false, "Back WaterMark Setting",
       "Received Error", false, false, false, "PC865", three},
      {&K466Profile(), "TVDK466EepromSetForm", "Print Head", false, false, "Back WaterMark Setting",
       "Received Error", true, false, false, "PC865", three},
      {&K772Profile(), "TK772EepromSetForm", "Print Head1", true, true, "Back WaterMark Setting",
       "Received Error", true, false, false, "PC865", three},
      {&K9034Profile(), "TK9034EepromSetForm", "Print Head1", true, true, "Back WaterMark Print",
       " Received Error", true, true, true, "PC856", four},
  };
  for (const Look& l : looks) {
    SCOPED_TRACE(l.className);
    auto form = MakeEditor(*l.profile);
    EXPECT_EQ(form->objectName(), l.className);
    EXPECT_EQ(form->windowTitle(), "EepromSet");
    EXPECT_EQ(form->font().family(), "Tahoma");
    EXPECT_EQ(form->font().pointSize(), 8);
    // F1 opens the help.
    const auto shortcuts = form->findChildren<QShortcut*>();
    EXPECT_TRUE(std::any_of(shortcuts.begin(), shortcuts.end(),
                            [](const QShortcut* k) { return k->key() == QKeySequence(Qt::Key_F1); }));
    EXPECT_EQ(form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint), l.minimize);
    EXPECT_FALSE(form->saveEnabled());
    EXPECT_EQ(form->state(), TwoBankState{});
    EXPECT_EQ(form->resultText(), "");
    EXPECT_EQ(Child<QLabel>(*form, "lblHead1")->text(), l.head1);
    for (const char* name : {"lblHead2", "Head2", "udHead2"})
      EXPECT_EQ(Child<QWidget>(*form, name)->isVisibleTo(form.get()), l.head2) << name;
    auto* back = Child<QGroupBox>(*form, "grpBackWaterMark");
    EXPECT_EQ(back->isVisibleTo(form.get()), l.back);
    // With the back watermark hidden the buttons stand right beside the
    // front one (a hidden group leaves no empty column); with both shown a
    // column of buttons beside them would make the dialog wider than a
    // 1024 x 768 screen, so they stand in one row below every group, above
    // the result lines.
    torva::testing::LayOut(form.get());
    auto* operation = Child<QGroupBox>(*form, "grpOperation");
    const QRect buttons(operation->mapTo(form.get(), QPoint(0, 0)), operation->size());
    if (!l.back) {
      QWidget* front = Child<QGroupBox>(*form, "grpFrontWaterMark");
      const int gap = buttons.left() - front->mapTo(form.get(), QPoint(front->width(), 0)).x();
      EXPECT_GE(gap, 0);
      EXPECT_LT(gap, 30);
    } else {
      for (const char* group : {"grpComPort", "rgDefaultInvertEnable", "grpPaperNearEnd", "grpBackWaterMark"}) {
        auto* g = Child<QGroupBox>(*form, group);
        EXPECT_GE(buttons.top(), g->mapTo(form.get(), QPoint(0, g->height())).y()) << group;
      }
      EXPECT_LT(buttons.bottom(), Child<QLabel>(*form, "lblMsgState")->mapTo(form.get(), QPoint(0, 0)).y());
      const int row = Child<QPushButton>(*form, "btnGetSettingsFromPrinter")->y();
      for (const char* b : {"btnSaveSettingsToPrinter", "btnImportSettingsFromFile", "btnExportSettingsToFile", "btnExit"})
        EXPECT_EQ(Child<QPushButton>(*form, b)->y(), row) << b;
    }
    EXPECT_EQ(back->title(), l.backTitle);
    EXPECT_EQ(Child<QGroupBox>(*form, "rgDataError")->title(), l.dataErrorTitle);
    EXPECT_EQ(Child<QGroupBox>(*form, "PrintingSurface")->isEnabled(), l.surfaceEnabled);
    EXPECT_EQ(Child<QComboBox>(*form, "ComboBox2")->isEditable(), l.printModeEditable);
    EXPECT_FALSE(Child<QComboBox>(*form, "ComboBox1")->isEditable());
    EXPECT_EQ(Child<QComboBox>(*form, "cboCodePage")->itemText(5), l.codePage5);
    EXPECT_EQ(Child<QComboBox>(*form, "cboCodePage")->currentIndex(), -1);
    EXPECT_EQ(Radios(*form, "PaperOutMode"), l.paperOut);

    // The family's lists, trailing blanks kept.
    EXPECT_EQ(Items(Child<QComboBox>(*form, "cboComBaudRate")),
              (std::vector<std::string>{"4800", "9600", "19200", "38400", "57600", "115200"}));
    EXPECT_EQ(Child<QComboBox>(*form, "cboComBaudRate")->currentText(), "38400");
    EXPECT_EQ(Items(Child<QComboBox>(*form, "cboComParity")),
              (std::vector<std::string>{"Even", "Odd", "None"}));
    EXPECT_EQ(Items(Child<QComboBox>(*form, "cboComFlowControl")),
              (std::vector<std::string>{"DTR/DSR", "xon/xoff"}));
    EXPECT_EQ(Items(Child<QComboBox>(*form, "IntlChar")).size(), 13u);
    EXPECT_EQ(Items(Child<QComboBox>(*form, "rgBackPrintTime")),
              (std::vector<std::string>{"Feeding", "Printing"}));
    EXPECT_EQ(Items(Child<QComboBox>(*form, "BackWaterMarkalignment")),
              (std::vector<std::string>{"Left", "Center", "Right"}));
    EXPECT_EQ(Radios(*form, "CutPaperMode"), (std::vector<std::string>{"default", "Half Cut ", "Full Cut"}));
    EXPECT_EQ(Radios(*form, "PrintingSurface"), (std::vector<std::string>{"Front", "Back", "Double Side "}));
    EXPECT_EQ(Radios(*form, "rgDataError"), (std::vector<std::string>{"Print '?'", "Ignored"}));
    EXPECT_EQ(Child<QGroupBox>(*form, "rgDefaultInvertEnable")->title(), "Default Inverted Enable ");

    // Read-only edits stepped by their arrows within their ranges.
    const std::tuple<const char*, const char*, int, int> upDowns[] = {
        {"udPaperEnd", "EditPaperEnd", 0, 100},
        {"udDefaultLeftMargin", "edtDefaultLeftMargin", 0, 16},
        {"udHead1", "Head1", 50, 254},
        {"udPrintSpeed", "edtPrintSpeed", 50, 350},
        {"udBackHorizontal", "BackHorizontal", 1, 3},
    };
    for (const auto& [arrows, edit, min, max] : upDowns) {
      SCOPED_TRACE(arrows);
      auto* upDown = Child<UpDown>(*form, arrows);
      EXPECT_EQ(upDown->minimum(), min);
      EXPECT_EQ(upDown->maximum(), max);
      EXPECT_TRUE(Child<QLineEdit>(*form, edit)->isReadOnly());
    }
    // A printer's value outside the arrows' range shows whole.
    TwoBankState s;
    s.leftMargin = "200";
    form->setState(s);
    EXPECT_EQ(Child<QLineEdit>(*form, "edtDefaultLeftMargin")->text(), "200");
  }
}

// No caption, label, button or group title is cut off, in either language,
// also with the longest result lines; the result line lies inside the dialog.
TEST_F(TwoBankEditorTest, CaptionsInBothLanguages) {
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const TwoBankProfile* p : kEditorProfiles) {
      SCOPED_TRACE(std::string(language) + " " + p->name);
      auto form = MakeEditor(*p);
      EXPECT_THAT(CaptionProblems(form.get()), ::testing::IsEmpty())
          << CaptionProblems(form.get()).join("\n").toStdString();
      auto* result = Child<QLabel>(*form, "lblMsg");
      auto* state = Child<QLabel>(*form, "lblMsgState");
      for (const char* text :
           {"Get settings from printer successfully.", "Save settings to printer successfully.",
            "Fail to get Default inverted  Enable flag!", "Fail to save  Feed Lines in Mark Mode flag!",
            "Export settings to file \"/home/user/settings/VD-K9034 shop 12.pes\" successfully."}) {
        result->setText(text);
        state->setText("Printer state: light motor load, heavy TPH load.");
        EXPECT_THAT(CaptionProblems(form.get()), ::testing::IsEmpty())
            << text << "\n"
            << CaptionProblems(form.get()).join("\n").toStdString();
      }
      torva::testing::LayOut(form.get());
      for (QLabel* line : {result, state}) {
        const QRect inside = QRect(line->mapTo(form.get(), QPoint(0, 0)), line->size());
        EXPECT_TRUE(form->rect().contains(inside)) << line->objectName().toStdString();
        EXPECT_TRUE(line->isVisibleTo(form.get()));
      }
    }
  }
}

// The five number edits of the VD-H738, VD-K466 and VD-K772 take digits,
// blanks, backspace and Enter; another typed character is swallowed. The
// VD-K9034's take anything.
TEST_F(TwoBankEditorTest, KeyFilters) {
  struct Typed {
    int key;
    const char* text;
    bool digitLike;
  };
  const Typed typed[] = {{Qt::Key_2, "2", true},
                         {Qt::Key_Space, " ", true},
                         {Qt::Key_A, "a", false},
                         {Qt::Key_Minus, "-", false},
                         {Qt::Key_Period, ".", false}};
  for (const TwoBankProfile* p : kEditorProfiles) {
    SCOPED_TRACE(p->name);
    auto form = MakeEditor(*p);
    for (const char* name : {"PaperWidth", "WaitTime", "AotoSpeed", "AutoTime", "FeedLine"}) {
      SCOPED_TRACE(name);
      auto* edit = Child<QLineEdit>(*form, name);
      for (const auto& [key, text, digitLike] : typed) {
        edit->setText("1");
        Type(edit, key, text);
        const bool taken = digitLike || !p->dialog.keyFilters;
        EXPECT_EQ(edit->text(), taken ? QString("1") + text : QString("1")) << text;
      }
      edit->setText("12");
      Type(edit, Qt::Key_Backspace, "\b");
      Type(edit, Qt::Key_Return, "\r");
      EXPECT_EQ(edit->text(), "1");
    }
  }
}

// The paper width: empty, negative or 65535 and more becomes "0"; other
// text stays.
TEST_F(TwoBankEditorTest, PaperWidthChange) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "0"},          {"-5", "0"},  {"65535", "0"}, {"99999", "0"}, {"123456789012", "0"},
      {"65534", "65534"}, {"47", "47"}, {"-0", "-0"},   {"abc", "abc"}, {"112", "112"},
  };
  auto form = MakeEditor(K9034Profile());
  auto* width = Child<QLineEdit>(*form, "PaperWidth");
  for (const auto& [typed, shown] : cases) {
    SCOPED_TRACE(typed);
    width->setText("80");
    width->setText(typed);
    EXPECT_EQ(width->text(), shown);
  }
  // The others hold five characters at most.
  auto h738 = MakeEditor(H738Profile());
  auto* limited = Child<QLineEdit>(*h738, "PaperWidth");
  limited->clear();
  limited->setText("1");
  limited->end(false);
  for (int i = 0; i < 6; ++i) Type(limited, Qt::Key_1, "1");
  EXPECT_EQ(limited->text(), "11111");
}

// A typed print mode counts as an item only when it is one, exactly.
TEST_F(TwoBankEditorTest, TypedPrintMode) {
  auto form = MakeEditor(K9034Profile());
  auto* box = Child<QComboBox>(*form, "ComboBox2");
  const std::pair<const char*, int> cases[] = {
      {"Printing", 1}, {"Feeding", 0}, {"printing", -1}, {"Print", -1}};
  for (const auto& [typed, index] : cases) {
    box->setEditText(typed);
    EXPECT_EQ(form->state().front.printMode, index) << typed;
  }
  EXPECT_EQ(box->count(), 2) << "typed text never becomes an item";
}

// The VD-K9034's handlers of keys that reach the dialog itself: any key
// gives the USB port's "Can't open" error, Enter the serial port's too. A key
// typed into a control never reaches them.
TEST_F(TwoBankEditorTest, K9034KeysOfTheDialogItself) {
  USBParameter.Name = "QFUSB-3";
  ComParameter.Name = "COM4";
  auto form = MakeEditor(K9034Profile());
  const QString usb = "Can't open QFUSB-3 port!", com = "Can't open COM4 port!";
  Type(form.get(), Qt::Key_F5, QString());
  EXPECT_EQ(messages_.texts(), std::vector<QString>{usb});
  messages_.clear();
  Type(form.get(), Qt::Key_Return, "\r");
  EXPECT_EQ(messages_.texts(), (std::vector<QString>{usb, com}));
  ASSERT_EQ(messages_.messages().size(), 2u);
  EXPECT_EQ(messages_.messages()[1].kind, MessageKind::Error);
  Language = "Chinese";
  messages_.clear();
  Type(form.get(), Qt::Key_A, "a");
  EXPECT_EQ(messages_.texts(), std::vector<QString>{"端口 QFUSB-3 打开错误！"});

  // Keys typed into a control, Enter too, never do.
  messages_.clear();
  auto* edit = Child<QLineEdit>(*form, "WaitTime");
  edit->setFocus();
  for (const auto& [key, text] : {std::pair<int, QString>{Qt::Key_A, "a"}, {Qt::Key_F5, QString()}}) {
    Type(edit, key, text);
  }
  auto* box = Child<QComboBox>(*form, "ComboBox2");
  box->setFocus();
  Type(box, Qt::Key_Z, "z");
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(edit->text(), "0a");

  // The other editors have no such handlers.
  auto h738 = MakeEditor(H738Profile());
  Type(h738.get(), Qt::Key_F5, QString());
  EXPECT_TRUE(messages_.messages().empty());
}

// Esc closes every editor, the VD-K9034 too (after its error, when the
// dialog itself holds the focus).
TEST_F(TwoBankEditorTest, EscapeCloses) {
  for (const TwoBankProfile* p : kEditorProfiles) {
    SCOPED_TRACE(p->name);
    auto form = MakeEditor(*p);
    form->show();
    Type(form.get(), Qt::Key_Escape, QString(QChar(0x1B)));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->result(), QDialog::Rejected);
  }
}

// ---------------------------------------------------------------- files

// Each editor's golden file: importing it shows the known state, and
// exporting that state (with the high bytes the file brought) gives the same
// file byte for byte. Neither touches Save.
TEST_F(TwoBankEditorTest, GoldenFileThroughTheDialog) {
  for (const TwoBankProfile* p : kEditorProfiles) {
    SCOPED_TRACE(p->name);
    const QString golden = path(QString("golden-%1.pes").arg(p->name));
    WriteAll(golden, KnownFile(*p));
    auto form = MakeEditor(*p);
    Choose(golden);
    form->btnImportSettingsFromFileClick();
    EXPECT_EQ(form->resultText(), "Import settings from file \"" + golden + "\" successfully.");
    EXPECT_FALSE(form->resultIsRed());
    EXPECT_EQ(form->state(), KnownState(*p));
    EXPECT_EQ(form->kept().restractTime, IsK9034(*p) ? 0 : 4);
    EXPECT_EQ(form->kept().cutModeHigh, 5);

    const QString out = path(QString("out-%1.pes").arg(p->name));
    Choose(out);
    form->btnExportSettingsToFileClick();
    EXPECT_EQ(form->resultText(), "Export settings to file \"" + out + "\" successfully.");
    EXPECT_EQ(ToBytes(ReadAll(out)), KnownFile(*p));
    EXPECT_FALSE(form->saveEnabled());
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_TRUE(asked_.empty());
  }
  // The file dialogs: "pes" files, in the program's folder.
  ASSERT_GE(requests_.size(), 2u);
  EXPECT_FALSE(requests_[0].save);
  EXPECT_EQ(requests_[0].filter, "Print File(*.pes);;All File(*.*)");
  EXPECT_TRUE(requests_[1].save);
  EXPECT_EQ(requests_[1].filter, "Printer Eeprom Settings File(*.pes)");
  EXPECT_EQ(requests_[1].defaultSuffix, "pes");
}

// A file of another two-bank model is refused whole, though its records
// have the same layout (a size that does not fit asks first).
TEST_F(TwoBankEditorTest, AnotherModelsTagIsRefused) {
  for (const TwoBankProfile* reader : kEditorProfiles) {
    for (const TwoBankProfile* writer : kEditorProfiles) {
      if (reader == writer) continue;
      SCOPED_TRACE(std::string(reader->name) + " reads " + writer->name);
      const QString file = path("other.pes");
      WriteAll(file, KnownFile(*writer));
      auto form = MakeEditor(*reader);
      messages_.clear();
      asked_.clear();
      Choose(file, true);
      form->btnImportSettingsFromFileClick();
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages_.messages()[0].text, "The data format in file \"" + file + "\" is not normal!");
      EXPECT_EQ(form->state(), TwoBankState{}) << "nothing is applied";
      EXPECT_EQ(form->resultText(), "");
      // The 10-byte tag against the 9-byte ones changes the size's fit.
      EXPECT_EQ(asked_.size(), IsK9034(*reader) != IsK9034(*writer) ? 1u : 0u);
    }
  }
}

// The import's three boxes: an empty file, a size that does not fit (OK
// goes on, Cancel ends), and a file whose tag does not match.
TEST_F(TwoBankEditorTest, ImportBoxes) {
  auto form = MakeEditor(H738Profile());
  const QString empty = path("empty.pes");
  WriteAll(empty, {});
  for (bool ok : {true, false}) {
    asked_.clear();
    messages_.clear();
    Choose(empty, ok);
    form->btnImportSettingsFromFileClick();
    EXPECT_EQ(asked_, std::vector<QString>{"The data  in file \"" + empty + "\" is empty!"});
    EXPECT_TRUE(messages_.messages().empty());
  }
  const QString odd = path("odd.pes");
  WriteAll(odd, Cat({Rec(0x06, 100, 0), Text("VD-H738ab"), Text("x")}));
  const QString notNormal = "The data format in file \"" + odd + "\" is not normal!";
  asked_.clear();
  messages_.clear();
  Choose(odd, false);
  form->btnImportSettingsFromFileClick();
  EXPECT_EQ(asked_, std::vector<QString>{notNormal});
  EXPECT_TRUE(messages_.messages().empty()) << "Cancel ends the import";
  asked_.clear();
  Choose(odd, true);
  form->btnImportSettingsFromFileClick();
  EXPECT_EQ(asked_, std::vector<QString>{notNormal});
  EXPECT_EQ(messages_.texts(), std::vector<QString>{notNormal}) << "OK goes on to the tag, which fails";
  EXPECT_EQ(form->state(), TwoBankState{});

  // A tag only imports with success and changes nothing; a bad record is
  // applied around and turns the line red.
  const QString tagOnly = path("tag.pes");
  WriteAll(tagOnly, Text("VD-H738ab"));
  Choose(tagOnly);
  form->btnImportSettingsFromFileClick();
  EXPECT_EQ(form->resultText(), "Import settings from file \"" + tagOnly + "\" successfully.");
  const QString bad = path("bad.pes");
  WriteAll(bad, Cat({Rec(0x2B, 0, 0), Rec(0x06, 100, 0), Text("VD-H738ab")}));
  Choose(bad);
  form->btnImportSettingsFromFileClick();
  EXPECT_EQ(form->resultText(), "Some error appears when importing settings from file \"" + bad + "\"!");
  EXPECT_TRUE(form->resultIsRed());
  EXPECT_EQ(form->state().speed, "100");
  EXPECT_EQ(form->state().feedLine, "0");
}

// Files that cannot be opened, in both languages.
TEST_F(TwoBankEditorTest, FilesThatCannotBeOpened) {
  auto form = MakeEditor(K772Profile());
  TwoBankState s;
  s.codePage = 0;
  s.autoSpeed = "28";
  form->setState(s);
  const QString nowhere = path("no-such-folder/x.pes");
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    messages_.clear();
    Choose(nowhere);
    form->btnExportSettingsToFileClick();
    form->btnImportSettingsFromFileClick();
    Choose(path(""));  // a folder is no file
    form->btnImportSettingsFromFileClick();
    if (Language == "English") {
      EXPECT_EQ(messages_.texts(), (std::vector<QString>{"Fail to open file \"" + nowhere + "\"!",
                                                         "Fail to open file \"" + nowhere + "\"!",
                                                         "Fail to open file \"" + path("") + "\"!"}));
    } else {
      EXPECT_EQ(messages_.texts(),
                (std::vector<QString>{"保存文件“" + nowhere + "”失败！", "打开文件“" + nowhere + "”失败！",
                                      "打开文件“" + path("") + "”失败！"}));
    }
  }
}

// An export that a check or a missing record refuses leaves an existing file
// as it was.
TEST_F(TwoBankEditorTest, RefusedExportLeavesTheFile) {
  auto form = MakeEditor(K9034Profile());
  const QString file = path("kept.pes");
  WriteAll(file, Text("OLD"));
  Choose(file);
  TwoBankState s;
  s.codePage = 0;
  s.autoSpeed = "28";
  s.speed = "20";
  form->setState(s);
  form->btnExportSettingsToFileClick();
  EXPECT_EQ(messages_.texts(), std::vector<QString>{"The input of print speed is invalid!"});
  EXPECT_EQ(ReadAll(file), "OLD");
  // No code page: the record is refused, the line turns red.
  s.speed = "270";
  s.codePage = -1;
  form->setState(s);
  form->btnExportSettingsToFileClick();
  EXPECT_EQ(form->resultText(), "Some error appears when exporting settings to file \"" + file + "\"!");
  EXPECT_TRUE(form->resultIsRed());
  EXPECT_EQ(ReadAll(file), "OLD");
  // The margin boxes of the export are plain English boxes that stop it.
  messages_.clear();
  Language = "Chinese";
  s.codePage = 0;
  s.rightMargin = "101";
  form->setState(s);
  form->btnExportSettingsToFileClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Plain);
  EXPECT_EQ(messages_.messages()[0].text, "The input of default right margin is invalid!");
  EXPECT_EQ(ReadAll(file), "OLD");
}

// "No Waiting" goes to a file as paper-out record 3 and comes back.
TEST_F(TwoBankEditorTest, K9034NoWaitingRoundTrip) {
  auto form = MakeEditor(K9034Profile());
  TwoBankState s;
  s.codePage = 0;
  s.autoSpeed = "28";
  s.paperOutMode = 3;
  form->setState(s);
  const QString file = path("nowait.pes");
  Choose(file);
  form->btnExportSettingsToFileClick();
  const Bytes bytes = ToBytes(ReadAll(file));
  const Bytes record = Rec(0x4A, 3, 0);
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), record.begin(), record.end()), bytes.end());
  auto other = MakeEditor(K9034Profile());
  other->btnImportSettingsFromFileClick();
  EXPECT_EQ(other->state().paperOutMode, 3);
  EXPECT_TRUE(Child<QRadioButton>(*other, "PaperOutMode3")->isChecked());
}

// The VD-K466's Printing Surface reaches no file.
TEST_F(TwoBankEditorTest, K466SurfaceChangesNoByteOfTheFile) {
  std::vector<QByteArray> files;
  for (int surface : {0, 1, 2}) {
    auto form = MakeEditor(K466Profile());
    TwoBankState s;
    s.codePage = 0;
    s.autoSpeed = "28";
    s.printingSurface = surface;
    form->setState(s);
    const QString file = path(QString("k466-%1.pes").arg(surface));
    Choose(file);
    form->btnExportSettingsToFileClick();
    files.push_back(ReadAll(file));
    EXPECT_EQ(files.back().size(), 252);
  }
  EXPECT_EQ(files[0], files[1]);
  EXPECT_EQ(files[1], files[2]);
}
