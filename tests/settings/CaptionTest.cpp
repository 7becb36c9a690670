// The VD-M512II and VD-M512 editors in both languages: no caption, label,
// button or group title is cut off, also with the result lines a Get or a
// Save writes.
#include <gmock/gmock.h>

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <memory>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
#include "gui/DialogHelpers.h"
#include "gui/UpDown.h"
#include "settings/M512EepromSet.h"
#include "settings/M512IIEepromSet.h"

using torva::testing::CaptionProblems;

namespace {

using EditorCaptions = settings_test::EditorTest;

TEST_F(EditorCaptions, BothEditorsInBothLanguages) {
  for (const char* lang : {"English", "Chinese"}) {
    Language = lang;
    for (const bool m512ii : {true, false}) {
      SCOPED_TRACE(std::string(lang) + (m512ii ? " VD-M512II" : " VD-M512"));
      std::unique_ptr<TCommonAddressEepromSetForm> form;
      if (m512ii)
        form = std::make_unique<TM512IIEepromSetForm>();
      else
        form = std::make_unique<TM512EepromSetForm>();
      EXPECT_THAT(CaptionProblems(form.get()), ::testing::IsEmpty()) << CaptionProblems(form.get()).join("\n").toStdString();
      // The longest lines a Get and a Save write.
      auto* result = form->findChild<QLabel*>("lblMsg");
      auto* state = form->findChild<QLabel*>("lblMsgState");
      ASSERT_NE(result, nullptr);
      ASSERT_NE(state, nullptr);
      for (const char* text : {"Get settings from printer successfully.", "Save settings to printer successfully.",
                               "Fail to get stop printing on paper near-end flag!"}) {
        result->setText(text);
        state->setText("Printer state: light motor load, heavy TPH load.");
        EXPECT_THAT(CaptionProblems(form.get()), ::testing::IsEmpty())
            << text << "\n" << CaptionProblems(form.get()).join("\n").toStdString();
      }
    }
  }
}

// The shared check itself: a number edit too narrow for its largest number
// (by its typing limit, its up-down, or what the dialog declares) and a
// window larger than a 1024 x 768 screen are named; the same edits made
// wide enough by FitNumberEdits pass.
TEST_F(EditorCaptions, CheckSeesNarrowNumberEditsAndAWindowTooLarge) {
  QDialog dialog;
  auto* row = new QHBoxLayout(&dialog);
  auto* typed = new QLineEdit("0", &dialog);
  torva::gui::LimitTyping(typed, 5);
  auto* stepped = new QLineEdit("1", &dialog);
  auto* arrows = new UpDown(&dialog);
  arrows->setBuddy(stepped);
  arrows->setRange(0, 65535);
  auto* declared = new QLineEdit("80", &dialog);
  torva::gui::SetLargestNumber(declared, "65534");
  auto* text = new QLineEdit("any text, no number", &dialog);
  for (QWidget* w : std::initializer_list<QWidget*>{typed, stepped, arrows, declared, text}) row->addWidget(w);
  for (QLineEdit* e : {typed, stepped, declared, text}) e->setFixedWidth(24);
  dialog.setFixedSize(1100, 200);
  const QStringList problems = CaptionProblems(&dialog);
  EXPECT_EQ(problems.size(), 4) << problems.join("\n").toStdString();
  EXPECT_TRUE(problems.filter("1100x200").size() == 1) << "the window";
  EXPECT_TRUE(problems.filter(": shows ").size() == 3) << "the three number edits, not the text";

  for (QLineEdit* e : {typed, stepped, declared}) {
    e->setMinimumWidth(0);
    e->setMaximumWidth(QWIDGETSIZE_MAX);
  }
  torva::gui::FitNumberEdits(&dialog);
  dialog.setFixedSize(600, 200);
  EXPECT_THAT(CaptionProblems(&dialog), ::testing::IsEmpty()) << CaptionProblems(&dialog).join("\n").toStdString();
}

}  // namespace
