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

[[maybe_unused]] QStringList Items(const QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

[[maybe_unused]] QStringList Radios(const QGroupBox* box) {
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
    if (const QByteArray dir = qgetenv("TORVA_K773_FORM_SHOT"); !dir.isEmpty()) {
      form.show();
      form.grab().save(QString::fromUtf8(dir) + "/k773-" + language + ".png");
    }
  }
}
