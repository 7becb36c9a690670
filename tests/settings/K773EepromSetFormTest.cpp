// The VD-K773 editor's form as a user meets it: caption, size, font, the
// controls with their items, ranges and start values, the hidden controls,
// the key filters of the number edits and the paper width's own check; in
// both languages, with no caption cut off.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
#include "gui/UpDown.h"
#include "settings/K773EepromSet.h"

using namespace torva::settings;
using settings_test::Child;

namespace {

class K773FormTest : public settings_test::EditorTest {};

QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

QStringList Radios(const QGroupBox* box) {
  QStringList items;
  for (const QRadioButton* r : box->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly)) items << r->text();
  return items;
}

}  // namespace

TEST_F(K773FormTest, CaptionsSizeAndFontInBothLanguages) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TK773Eeport form;
    EXPECT_EQ(form.objectName(), "TK773Eeport");
    EXPECT_EQ(form.windowTitle(), "EepromSet");
    EXPECT_EQ(form.font().family(), "Tahoma");
    EXPECT_EQ(form.size(), QSize(726, 527));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "a fixed border";
    EXPECT_EQ(Child<QLabel>(form, "lblMsg")->y(), 490);
    EXPECT_EQ(Child<QLabel>(form, "lblMsgState")->y(), 510);
    EXPECT_THAT(torva::testing::CaptionProblems(&form), ::testing::IsEmpty());
    form.show();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&form, &esc);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Rejected);
  }
}

// Every list and radio group with its items (blanks kept), the start
// selection, the edits' start texts, the up-downs' ranges; the second head
// hidden and disabled, the printing surface hidden, no code page selected,
// Save disabled.
TEST_F(K773FormTest, ControlsItemsRangesAndStartValues) {
  TK773Eeport form;
  struct List {
    const char* name;
    QStringList items;
    int current;
  };
  const List lists[] = {
      {"cboComBaudRate", {"4800", "9600", "19200", "38400", "57600", "115200"}, 3},
      {"cboComDataBits", {"8", "7"}, 0},
      {"cboComStopBits", {"1", "2"}, 0},
      {"cboComParity", {"Even", "Odd", "None"}, 2},
      {"cboComFlowControl", {"DTR/DSR", "xon/xoff", "None"}, 2},
      {"ComboBox3", {"Feeding", " Printing"}, 0},
      {"ComboBox2", {"Left", "Center", "Right"}, 0},
      {"cboCodePage",
       {"PC437", "PC850", "PC852", "PC858", "PC860", "PC863", "PC865", "PC866", "WPC1252", "katakana", "866", "1251",
        "855", "Kazakh"},
       -1},
      {"intlChar",
       {"U.S.A", "France", "Germany", "U.K", "Denmark I", "Sweden", "Italy", "Spain I", "Japan", "Norway",
        "Denmark II", "Spain II", "Latin America"},
       0},
  };
  for (const List& l : lists) {
    SCOPED_TRACE(l.name);
    auto* box = Child<QComboBox>(form, l.name);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Items(box), l.items);
    EXPECT_EQ(box->currentIndex(), l.current);
  }
  const List radios[] = {
      {"rgPaperType", {"Receipt", "Mark/Label"}, 0},
      {"rgBeeperEnable", {"Disable", "Enable"}, 0},
      {"PresenterEnabale", {"Enable", "Disable"}, 0},
      {"rgCR", {"Enable", "Disable"}, 1},
      {"rgDataError", {"Printer Mode 1", "Printer Mode 2"}, 0},
      {"PaperNearEnd", {"Continue", "Stop"}, 0},
      {"rgAutoCutter", {"On", "Off"}, 0},
      {"PrintingSurface", {"Front", "Back"}, 0},
      {"rgWatermarkEnable", {"Disable", "Enable"}, 1},
      {"CutPaperMode", {"default", "Half Cut ", "Full Cut"}, 0},
      {"BufferSize", {"4K", "45"}, 0},
      {"USBMode", {"Class", "API"}, 1},
      {"PaperOutMode", {"Retract", "Paper Forward", "Waiting"}, 0},
      {"ComDataError", {"Print '?'", "Ignored"}, 0},
  };
  for (const List& r : radios) {
    SCOPED_TRACE(r.name);
    auto* box = Child<QGroupBox>(form, r.name);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(Radios(box), r.items);
    const auto buttons = box->findChildren<QRadioButton*>(Qt::FindDirectChildrenOnly);
    EXPECT_TRUE(buttons.at(r.current)->isChecked());
  }
  EXPECT_EQ(Child<QGroupBox>(form, "rgDataError")->toolTip(),
            "Specify method to print when communication errors occur.");
  EXPECT_EQ(Child<QLineEdit>(form, "FeedLine")->toolTip(), "Change the Dot of FeedLine in Mark mode.");

  struct Edit {
    const char* name;
    const char* text;
    bool readOnly;
  };
  const Edit edits[] = {
      {"Head1", "68", true},       {"Head2", "68", true},         {"edtDefaultLeftMargin", "2", true},
      {"edtDefaultRightMargin", "2", true}, {"EditHorizon", "1", true}, {"EditVertical", "1", true},
      {"WaitTime", "6", false},    {"AotoSpeed", "0", false},     {"AutoTime", "50", false},
      {"PaperWidth", "0", false},  {"edtPrintSpeed", "150", false}, {"FeedLine", "0", false},
  };
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.name);
    auto* edit = Child<QLineEdit>(form, e.name);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), e.text);
    EXPECT_EQ(edit->isReadOnly(), e.readOnly);
  }
  struct Range {
    const char* name;
    int min, max;
  };
  for (const Range& r : {Range{"UpDown4", 50, 254}, Range{"UpDown5", 50, 254}, Range{"udDefaultLeftMargin", 0, 16},
                         Range{"udDefaultRightMargin", 0, 16}, Range{"UpDown1", 1, 3}, Range{"UpDown2", 1, 3},
                         Range{"udPrintSpeed", 50, 350}}) {
    SCOPED_TRACE(r.name);
    auto* upDown = Child<UpDown>(form, r.name);
    ASSERT_NE(upDown, nullptr);
    EXPECT_EQ(upDown->minimum(), r.min);
    EXPECT_EQ(upDown->maximum(), r.max);
  }
  // The up-downs step their edits within their ranges.
  auto* horizon = Child<QLineEdit>(form, "EditHorizon");
  for (int i = 0; i < 4; ++i) Child<UpDown>(form, "UpDown1")->stepUp();
  EXPECT_EQ(horizon->text(), "3");
  auto* speed = Child<QLineEdit>(form, "edtPrintSpeed");
  speed->setText("349");
  for (int i = 0; i < 3; ++i) Child<UpDown>(form, "udPrintSpeed")->stepUp();
  EXPECT_EQ(speed->text(), "350");

  form.show();
  EXPECT_FALSE(Child<QLineEdit>(form, "Head2")->isVisible());
  EXPECT_FALSE(Child<QLineEdit>(form, "Head2")->isEnabled());
  EXPECT_FALSE(Child<QWidget>(form, "UpDown5")->isVisible());
  EXPECT_FALSE(Child<QGroupBox>(form, "PrintingSurface")->isVisible());
  EXPECT_TRUE(Child<QLineEdit>(form, "Head1")->isVisible());
  EXPECT_FALSE(form.saveEnabled());
  EXPECT_TRUE(Child<QPushButton>(form, "btnGetSettingsFromPrinter")->isDefault());
}

// The number edits take digits, backspace and Enter; any other key that
// types a character is dropped. Keys that type nothing keep their use.
TEST_F(K773FormTest, KeyFiltersOfTheNumberEdits) {
  TK773Eeport form;
  form.show();
  const auto type = [](QLineEdit* edit, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(edit, &press);
  };
  for (const char* name : {"WaitTime", "AutoTime", "AotoSpeed", "edtPrintSpeed", "PaperWidth"}) {
    SCOPED_TRACE(name);
    auto* edit = Child<QLineEdit>(form, name);
    edit->setFocus();
    edit->setText("1");
    edit->end(false);
    type(edit, Qt::Key_2, "2");
    type(edit, Qt::Key_A, "a");
    type(edit, Qt::Key_Minus, "-");
    type(edit, Qt::Key_Space, " ");
    type(edit, Qt::Key_Period, ".");
    EXPECT_EQ(edit->text(), "12");
    type(edit, Qt::Key_Backspace, "\b");
    EXPECT_EQ(edit->text(), "1");
    type(edit, Qt::Key_Left, "");
    type(edit, Qt::Key_3, "3");
    EXPECT_EQ(edit->text(), "31");
    type(edit, Qt::Key_Delete, "\x7f");
    EXPECT_EQ(edit->text(), "3");
  }
  // The other edits are not filtered.
  auto* feedLine = Child<QLineEdit>(form, "FeedLine");
  feedLine->setText("");
  type(feedLine, Qt::Key_A, "a");
  EXPECT_EQ(feedLine->text(), "a");
  EXPECT_TRUE(messages_.messages().empty());
}

// The paper width: an empty text or a number outside 0..65534 is told (in
// English) and becomes 0, on every change, typed or not.
TEST_F(K773FormTest, PaperWidthChange) {
  Language = "Chinese";
  TK773Eeport form;
  auto* width = Child<QLineEdit>(form, "PaperWidth");
  struct Case {
    const char* text;
    bool told;
  };
  for (const Case& c : {Case{"80", false}, Case{"65534", false}, Case{"", true}, Case{"65535", true},
                        Case{"0", false}, Case{"99999", true}}) {
    SCOPED_TRACE(c.text);
    messages_.clear();
    width->setText(c.text);
    if (!c.told) {
      EXPECT_TRUE(messages_.messages().empty());
      EXPECT_EQ(width->text(), c.text);
      continue;
    }
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Information);
    EXPECT_EQ(messages_.messages()[0].text, "illegal value,please input again!");
    EXPECT_EQ(width->text(), "0");
  }
}
