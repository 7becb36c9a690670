#include "shell/Password.h"

#include "link/PortState.h"
#include "gui/DialogGuard.h"
#include "shell/DialogOpeners.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "ui_Password.h"

const char* const kAccessCode = "quartzy581";

AccessVerdict CheckAccessCode(const std::string& typed, int portKind) {
  if (typed != kAccessCode) return AccessVerdict::WrongCode;
  if (portKind == PortNone) return AccessVerdict::NoPort;
  if (portKind == PortLPT) return AccessVerdict::LptPort;
  return AccessVerdict::Unlocked;
}

TPasswordForm::TPasswordForm(QWidget* parent) : QDialog(parent), ui(new Ui::TPasswordForm) {
  ui->setupUi(this);
  // The code shows as "*" characters.
  ui->Edit1->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
  connect(ui->OKButton, &QPushButton::clicked, this, &TPasswordForm::OKButtonClick);
  connect(ui->CancelButton, &QPushButton::clicked, this, &TPasswordForm::CancelButtonClick);
  BindHelpKey(this);
}

TPasswordForm::~TPasswordForm() { delete ui; }

void TPasswordForm::SetCaptions(const std::string& language) {
  if (language == "English") {
    setWindowTitle(QStringLiteral("Password"));
    ui->StaticText1->setText(QStringLiteral("Password:"));
    ui->OKButton->setText(QStringLiteral("&OK"));
    ui->CancelButton->setText(QStringLiteral("&Cancel"));
    ui->StaticText2->setText(QStringLiteral(
        "This functionality can change the print settings     such as print speed, darkness, communication.  "
        "Please contact the distributor for the password."));
  } else {
    setWindowTitle(QStringLiteral("密码"));
    ui->StaticText1->setText(QStringLiteral("密码："));
    ui->OKButton->setText(QStringLiteral("确定(&O)"));
    ui->CancelButton->setText(QStringLiteral("取消(&C)"));
    ui->StaticText2->setText(QStringLiteral("该功能用来更改打印机的设置，例如：打印速度、打印浓度。请与发行商联系以获取密码。"));
    QRect g = ui->StaticText2->geometry();
    ui->StaticText2->setGeometry(g.x(), 8, g.width(), 32);
  }
}

void TPasswordForm::OKButtonClick() {
  const AccessVerdict v = CheckAccessCode(ui->Edit1->text().toStdString(), PortType.load());
  switch (v) {
    case AccessVerdict::WrongCode:
      bPassword = false;
      OutputError(QStringLiteral("Password Error!"), QStringLiteral("密码错误！"));
      ui->Edit1->clear();
      return;
    case AccessVerdict::NoPort: {
      const GuardMessage m = PortGuardMessage(GuardedTool::EepromSet, GuardVerdict::NoPort);
      OutputWarning(QString::fromUtf8(m.english), QString::fromUtf8(m.chinese));
      return;
    }
    case AccessVerdict::LptPort: {
      const GuardMessage m = PortGuardMessage(GuardedTool::EepromSet, GuardVerdict::LptPort);
      OutputWarning(QString::fromUtf8(m.english), QString::fromUtf8(m.chinese));
      return;
    }
    case AccessVerdict::Unlocked:
      bPassword = true;
      done(QDialog::Rejected);  // the modal result is Cancel both ways out
      return;
  }
}

void TPasswordForm::CancelButtonClick() {
  bPassword = false;
  done(QDialog::Rejected);
}

bool AskAccessCode(TMainForm& main) {
  TPasswordForm form(&main);
  ApplyDialogFont(&form);
  form.SetCaptions(Language);
  bPassword = false;
  form.exec();
  return bPassword;
}
