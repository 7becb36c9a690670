#include "shell/About.h"

#include <QPushButton>

#include "gui/Messages.h"
#include "ui_AboutForm.h"

TAboutForm::TAboutForm(QWidget* owner) : QDialog(owner), ui(new Ui::TAboutForm) {
  Q_INIT_RESOURCE(shell);
  ui->setupUi(this);
  // Dialog border with the system menu only; centred on the main window
  // (a dialog with an owner is placed over it).
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  ApplyDialogFont(this);
  setWindowTitle(Tr2("About", "关于"));
  ui->Label1->setText("TORVAConsole");
  ui->Label2->setText(Tr2("Version 2.67", "版本 2.67"));
  ui->Label3->setText(Tr2("Service console for TORVA receipt printers.", "TORVA 票据打印机维护控制台。"));
  ui->Label4->setText(Tr2("Monitor to control TORVA Printer", "嵌入式打印机监控程序"));
  ui->OKButton->setText(Tr2("&OK", "确定(&O)"));
  connect(ui->OKButton, &QPushButton::clicked, this, &TAboutForm::OKButtonClick);
  BindHelpKey(this);
  adjustSize();
  setFixedSize(size());
}

TAboutForm::~TAboutForm() { delete ui; }

void TAboutForm::OKButtonClick() { done(QDialog::Accepted); }
