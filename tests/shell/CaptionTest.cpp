// The main window, the access-code dialog and the About box in both
// languages: no caption, label, button or group title is cut off at the
// laid-out size. (The port-setting dialog's check is in PortSettingTest.)
#include <gmock/gmock.h>

#include <QLabel>

#include "CaptionCheck.h"
#include "ShellFixture.h"
#include "shell/About.h"
#include "shell/Password.h"

using shelltest::ShellTest;
using torva::testing::CaptionProblems;

namespace {

std::string Joined(const QStringList& problems) { return problems.join("\n").toStdString(); }

#define EXPECT_CAPTIONS_FIT(widget) \
  EXPECT_THAT(CaptionProblems(widget), ::testing::IsEmpty()) << Joined(CaptionProblems(widget))

TEST_F(ShellTest, MainWindowCaptionsFit) {
  for (const char* lang : {"English", "Chinese"}) {
    SCOPED_TRACE(lang);
    StoreLanguage(lang);
    TMainForm& main = Open();
    EXPECT_CAPTIONS_FIT(&main);
    // What the port-setting dialog writes into the status bar: the port, and
    // the spooler's "Driver:" in the printer panel.
    main.SetPanelText(0, Tr2("Port:", "端口:") + "COM1");
    main.SetPanelText(1, "Driver:");
    EXPECT_CAPTIONS_FIT(&main);
    // The other language switched to from the menu.
    if (Language == "English")
      main.ChineseMenuClick();
    else
      main.EnglishMenuClick();
    EXPECT_CAPTIONS_FIT(&main);
    form.reset();
  }
}

TEST_F(ShellTest, AccessCodeAndAboutCaptionsFit) {
  for (const char* lang : {"English", "Chinese"}) {
    SCOPED_TRACE(lang);
    Language = lang;
    TPasswordForm password;
    ApplyDialogFont(&password);
    password.SetCaptions(Language);
    EXPECT_CAPTIONS_FIT(&password);
    TAboutForm about(nullptr);
    EXPECT_CAPTIONS_FIT(&about);
  }
}

}  // namespace
