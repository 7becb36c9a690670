// The VD-M512II and VD-M512 editors in both languages: no caption, label,
// button or group title is cut off, also with the result lines a Get or a
// Save writes.
#include <gmock/gmock.h>

#include <QLabel>
#include <memory>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
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

}  // namespace
