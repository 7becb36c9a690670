#include "status/HardwareStatusK512.h"

#include <QCheckBox>
#include <QLabel>

#include "link/PortState.h"
#include "shell/Messages.h"
#include "status/HardwareStatus.h"
#include "ui_HardwareStatusK512.h"

using namespace torva::status;

namespace torva::status {
PollPlan TInquireStatusThreadForShutterPlan() {
  PollPlan p;
  p.recordLength = static_cast<int>(kRecord8Length);
  p.intervalMs = 1000;
  p.serialTimeoutMs = 3000;
  p.timing = CommandTiming::OnceThenEverySerialPoll;
  p.serialRead = SerialRead::WholeRecord;
  p.nibble = true;
  p.closeSerialAtEnd = true;
  return p;
}
}  // namespace torva::status

THardwareStatusK512Form::THardwareStatusK512Form(QWidget* parent)
    : StatusDialog(parent), ui(new Ui::THardwareStatusK512Form), decoder_(MakeRecord8Decoder(Record8Variant::K512)) {
  ui->setupUi(this);
  Controls c;
  for (const QString& n : record8::CheckBoxNames()) c.bits << findChild<QCheckBox*>(n);
  c.hexLabels = {ui->Byte0Label, ui->Byte1Label, ui->Byte2Label, ui->Byte3Label,
                 ui->Byte4Label, ui->Byte5Label, ui->Byte6Label, ui->Byte7Label};
  c.memo = ui->PrinterStatusEdit;
  c.start = ui->StartButton;
  c.stop = ui->StopButton;
  c.exit = ui->ExitButton;
  for (const auto& name : decoder_.images()) c.images << findChild<QLabel*>(QString::fromStdString(name));
  c.initOnCreate = c.images;  // the printer jam and shutter indicators included
  BindControls(c);
  connect(ui->ResetPrinterButton, &QPushButton::clicked, this, [this] { ResetPrinterButtonClick(); });
  connect(ui->ResetBundlerButton, &QPushButton::clicked, this, [this] { ResetBundlerButtonClick(); });
}

THardwareStatusK512Form::~THardwareStatusK512Form() {
  Poller().stopAndJoin();
  delete ui;
}

bool THardwareStatusK512Form::MakePollSetup(PollSetup& setup) const {
  setup.plan = TInquireStatusThreadForShutterPlan();
  return true;
}

bool THardwareStatusK512Form::CanPollPort(int portType) const {
  return CanPollStatus(portType) || portType == PortNibbleLPT;
}

int THardwareStatusK512Form::ReopenPort() {
  decoder_.restart();  // a new run writes every image again; the labels keep what they show
  return record8::ReopenForPolling(*this);
}
void THardwareStatusK512Form::ClosePortOnClose() { record8::ClosePortOfKind(); }
void THardwareStatusK512Form::ShowPollFailure() { record8::ShowFailure(*this); }

void THardwareStatusK512Form::ResetPrinterButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetPrinterCommand, sizeof THardwareStatusForm::kResetPrinterCommand);
}
void THardwareStatusK512Form::ResetBundlerButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetBundlerCommand, sizeof THardwareStatusForm::kResetBundlerCommand);
}

void THardwareStatusK512Form::SetupCaptions() {
  if (Language != "English" && Language != "Chinese") return;
  const bool cn = Language == "Chinese";
  ApplyDialogFont(this);
  auto tr2 = [](const char* en, const char* zh) { return Tr2(en, zh); };
  setWindowTitle(tr2("Printer Status", "打印机状态"));
  ui->GroupBox1->setTitle(tr2("Printer Status", "打印机状态"));
  QLabel* rows[] = {ui->StatusByte1Label, ui->StatusByte2Label, ui->StatusByte3Label, ui->StatusByte4Label,
                    ui->StatusByte5Label, ui->StatusByte6Label, ui->StatusByte7Label, ui->StatusByte8Label};
  for (int i = 0; i < 8; ++i)
    rows[i]->setText(cn ? QString::fromUtf8("状态位%1").arg(i + 1) : QStringLiteral("Status Byte%1").arg(i + 1));
  ui->MSBLabel->setText(tr2("MSB", "高位"));
  ui->LSBLabel->setText(tr2("LSB", "低位"));
  ui->StartButton->setText(tr2("&Start", "开始(&S)"));
  ui->StopButton->setText(tr2("S&top", "停止(&T)"));
  ui->ExitButton->setText(tr2("E&xit", "退出(&X)"));
  ui->WorkingStatePanel->setTitle(tr2("Printer's working states", "打印机工作状态"));
  ui->DetailStatusPanel->setTitle(tr2("Printer's detail status", "打印机详细情况"));
  for (const auto& s : decoder_.states()) {
    const QString stem = QString::fromLatin1(s.image).chopped(5);  // "...Image"
    if (auto* l = findChild<QLabel*>(stem + "Label"))
      l->setText(QString::fromStdString(Record8StateCaption(Record8Variant::K512, s.code, cn)));
  }
  ui->CuttererrorLabel->setText(tr2("Cutter Error\\Printer Paper Jam", "切刀错误\\打印机塞纸"));
  ui->BundlerPaperJamLabel->setText(tr2("Presenter Paper Jam", "容纸器塞纸"));
  ui->ShutterLabel->setText(tr2("Shutter Error", "Shutter错误"));
  ui->PaperJamErrorLabel->setText(QStringLiteral("Printer Paper Jam"));  // in both languages
  ui->Channel1PaperEndLabel->setText(tr2("First Channel Paper End", "通道1纸尽"));
  ui->Channel2PaperEndLabel->setText(tr2("Second Channel Paper End", "通道2纸尽"));
  ui->Channel1PaperNearEndLabel->setText(tr2("First Channel Paper Near End", "通道1纸将尽"));
  ui->Channel2PaperNearEndLabel->setText(tr2("Second Channel Paper Near End", "通道2纸将尽"));
  ui->PrinterHeadupLabel->setText(tr2("Printer Head Up", "打印头抬起"));
  ui->PaperendLabel->setText(tr2("Paper End", "纸尽"));
  ui->PapernearendLabel->setText(tr2("Paper Near End", "纸将尽"));
  ui->TPHtoohotLabel->setText(tr2("TPH Too Hot", "打印头过热"));
}
