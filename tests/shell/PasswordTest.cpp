// The access-code dialog: the code, the port kinds it refuses, Cancel, and
// the Eeprom Set road that shows it modally.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include "link/PortState.h"
#include "shell/DialogOpeners.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "shell/Password.h"
#include "ui_Password.h"

namespace {

class PasswordDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    Language = "English";
    form.SetCaptions(Language);
  }
  void Type(const QString& code) { form.ui->Edit1->setText(code); }
  TPasswordForm form;
  MessageRecorder recorder;
};

TEST_F(PasswordDialog, RightCodeWithAUsablePortUnlocks) {
  for (int kind : {PortCOM, PortUSB, PortUSBPrinter, PortNibbleLPT, PortNet}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    bPassword = false;
    form.show();
    Type("quartzy581");
    form.ui->OKButton->click();
    EXPECT_TRUE(bPassword);
    EXPECT_EQ(form.result(), QDialog::Rejected);  // Cancel both ways out
    EXPECT_TRUE(form.isHidden());
  }
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(PasswordDialog, WrongCodeCaseAndBlanksAreRefusedAndTheBoxEmptied) {
  PortType = PortCOM;
  for (const char* typed : {"Quartzy581", "quartzY581", "quartzy581 ", " quartzy581", "quartzy58", "", "quartzy5810"}) {
    SCOPED_TRACE(typed);
    recorder.clear();
    bPassword = true;
    form.show();
    Type(QString::fromUtf8(typed));
    form.ui->OKButton->click();
    EXPECT_FALSE(bPassword);
    EXPECT_TRUE(form.ui->Edit1->text().isEmpty());
    EXPECT_FALSE(form.isHidden());  // stays open
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(recorder.messages()[0].text, "Password Error!");
  }
  Language = "Chinese";
  recorder.clear();
  Type("QUARTZY581");
  form.ui->OKButton->click();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text, QString::fromUtf8("密码错误！"));
  EXPECT_EQ(recorder.messages()[0].title, QString::fromUtf8("错误"));
}

TEST_F(PasswordDialog, RightCodeWithoutPortOrWithPlainParallelWarnsAndStaysOpen) {
  struct {
    int kind;
    const char* warning;
  } cases[] = {{PortNone, "Please configurate the printer's port before other operations!"},
               {PortLPT, "Sorry! This tool doesn't support LPT port!"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.warning);
    recorder.clear();
    PortType = c.kind;
    bPassword = false;
    form.show();
    Type("quartzy581");
    form.ui->OKButton->click();
    EXPECT_FALSE(bPassword);
    EXPECT_FALSE(form.isHidden());
    EXPECT_EQ(form.ui->Edit1->text(), "quartzy581");
    ASSERT_EQ(recorder.messages().size(), 1u);
    EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Warning);
    EXPECT_EQ(recorder.messages()[0].text, c.warning);
  }
}

TEST_F(PasswordDialog, CancelClearsTheFlag) {
  PortType = PortCOM;
  bPassword = true;
  form.show();
  form.ui->CancelButton->click();
  EXPECT_FALSE(bPassword);
  EXPECT_EQ(form.result(), QDialog::Rejected);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(PasswordDialog, CaptionsInBothLanguages) {
  form.SetCaptions("English");
  EXPECT_EQ(form.windowTitle(), "Password");
  EXPECT_EQ(form.ui->StaticText1->text(), "Password:");
  EXPECT_EQ(form.ui->OKButton->text(), "&OK");
  EXPECT_EQ(form.ui->CancelButton->text(), "&Cancel");
  EXPECT_EQ(form.ui->StaticText2->text(),
            "This functionality can change the print settings     such as print speed, darkness, communication.  "
            "Please contact the distributor for the password.");
  EXPECT_EQ(form.ui->Edit1->echoMode(), QLineEdit::Password);
  form.SetCaptions("Chinese");
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("密码"));
  EXPECT_EQ(form.ui->StaticText1->text(), QString::fromUtf8("密码："));
  EXPECT_EQ(form.ui->OKButton->text(), QString::fromUtf8("确定(&O)"));
  EXPECT_EQ(form.ui->CancelButton->text(), QString::fromUtf8("取消(&C)"));
  EXPECT_EQ(form.ui->StaticText2->text(),
            QString::fromUtf8("该功能用来更改打印机的设置，例如：打印速度、打印浓度。请与发行商联系以获取密码。"));
  EXPECT_EQ(form.ui->StaticText2->y(), 8);
  EXPECT_EQ(form.ui->StaticText2->height(), 32);
}

TEST(PasswordModal, AskAccessCodeShowsTheDialogAndKeepsItsResult) {
  char tmpl[] = "/tmp/torva-password-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  SetProgramFolderForTests(QString::fromUtf8(tmpl));
  TMainForm main;
  ResetPortState();
  Language = "English";
  PortType = PortCOM;
  MessageRecorder recorder;
  QTimer guard;  // never block the suite
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  guard.start(8000);

  for (const char* typed : {"quartzy581", "nope"}) {
    SCOPED_TRACE(typed);
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* f = qobject_cast<TPasswordForm*>(QApplication::activeModalWidget());
      if (!f) return;
      seen = true;
      EXPECT_EQ(f->windowTitle(), "Password");
      f->ui->Edit1->setText(QString::fromUtf8(typed));
      f->ui->OKButton->click();
      if (f->isVisible()) f->ui->CancelButton->click();  // a refused code leaves it open
    });
    bPassword = true;  // the opener clears it first
    const bool unlocked = AskAccessCode(main);
    EXPECT_TRUE(seen);
    EXPECT_EQ(unlocked, std::string(typed) == "quartzy581");
    EXPECT_EQ(bPassword, unlocked);
  }
  SetProgramFolderForTests(QString());
}

}  // namespace
