#include "status/HardwareStatusK772.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>

#include "link/COMUnit.h"
#include "link/ParReverse.h"
#include "link/PortState.h"
#include "link/USBUnit.h"
#include "shell/Messages.h"
#include "shell/UsbPrinterHandle.h"
#include "status/HardwareStatus.h"
#include "ui_HardwareStatusK772.h"

using namespace torva::status;

namespace torva::status {

PollPlan TInquireStatusThreadForK772Plan() {
  PollPlan p;
  p.recordLength = static_cast<int>(kRecord8Length);
  p.intervalMs = 1000;
  p.serialTimeoutMs = 3000;
  p.timing = CommandTiming::Once;
  p.serialRead = SerialRead::QueuedRecords;
  p.nibble = true;
  p.closeSerialAtEnd = true;
  return p;
}

namespace record8 {

int ReopenForPolling(StatusDialog& dialog) {
  if (PortType.load() != PortNibbleLPT) return dialog.ReopenPlainPort();
  ParReverse::DriverClose();
  const std::string folder = QDir(QCoreApplication::applicationDirPath()).absolutePath().toStdString() + "/";
  if (ParReverse::DriverOpenEx(static_cast<uint16_t>(LPTParameter.Number & 0xFFFF), 1, 0, folder) == 0) {
    const QString text = QString::fromUtf8(
        "Fail to get the status of printer\n\rPlease check the communication between the printer and PC!");
    OutputError(text, text);  // the English text in either language
    return -1;
  }
  return 0;
}

void ClosePortOfKind() {
  switch (PortType.load()) {
    case PortCOM: {
      const int h = ComParameter.m_hdev.exchange(-1);
      if (h != -1) CloseCOM(h);
      break;
    }
    case PortUSB: {
      const int h = USBParameter.m_hdev.exchange(-1);
      if (h != -1) UsbDevice::CloseDevice(h);
      break;
    }
    case PortUSBPrinter: CloseUsbPrinterHandle(); break;
    case PortNibbleLPT: ParReverse::DriverClose(); break;
    default: break;
  }
}

void ShowFailure(StatusDialog& dialog) {
  if (bMinimize.load()) dialog.RestoreFromTray();
  OutputError(QString::fromUtf8("Fail to get the status of printer\n\rPlease check the communication between the "
                                "printer and PC!"),
              QString::fromUtf8("获取打印机信息失败\n\r请检查打印机通讯是否正常！"));
}

QStringList CheckBoxNames() {
  QStringList names;
  for (int n = 1; n <= 8; ++n)
    for (int j = 0; j <= 7; ++j) names << QStringLiteral("Byte%1%2").arg(n).arg(j);
  return names;
}

}  // namespace record8
}  // namespace torva::status

THardwareStatusK772Form::THardwareStatusK772Form(QWidget* parent)
    : StatusDialog(parent), ui(new Ui::THardwareStatusK772Form), decoder_(MakeRecord8Decoder(Record8Variant::K772)) {
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
  c.initOnCreate = c.images;  // the four hidden channel images too
  BindControls(c);
  connect(ui->ResetPrinterButton, &QPushButton::clicked, this, [this] { ResetPrinterButtonClick(); });
  connect(ui->ResetBundlerButton, &QPushButton::clicked, this, [this] { ResetBundlerButtonClick(); });
}

THardwareStatusK772Form::~THardwareStatusK772Form() {
  Poller().stopAndJoin();
  delete ui;
}

bool THardwareStatusK772Form::MakePollSetup(PollSetup& setup) const {
  setup.plan = TInquireStatusThreadForK772Plan();
  return true;
}

bool THardwareStatusK772Form::CanPollPort(int portType) const {
  return CanPollStatus(portType) || portType == PortNibbleLPT;
}

int THardwareStatusK772Form::ReopenPort() {
  decoder_.restart();  // a new run writes every image again; the labels keep what they show
  return record8::ReopenForPolling(*this);
}
void THardwareStatusK772Form::ClosePortOnClose() { record8::ClosePortOfKind(); }
void THardwareStatusK772Form::ShowPollFailure() { record8::ShowFailure(*this); }

void THardwareStatusK772Form::ResetPrinterButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetPrinterCommand, sizeof THardwareStatusForm::kResetPrinterCommand);
}
void THardwareStatusK772Form::ResetBundlerButtonClick() {
  SendStatusReset(THardwareStatusForm::kResetBundlerCommand, sizeof THardwareStatusForm::kResetBundlerCommand);
}

void THardwareStatusK772Form::SetupCaptions() {
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
      l->setText(QString::fromStdString(Record8StateCaption(Record8Variant::K772, s.code, cn)));
  }
  ui->CuttererrorLabel->setText(tr2("Cutter Error", "切刀错误"));
  ui->BundlerPaperJamLabel->setText(tr2("Presenter Paper Jam", "容纸器塞纸"));
  ui->PaperJamErrorLabel->setText(tr2("Printer Paper Jam", "打印机塞纸"));
  ui->Channel1PaperEndLabel->setText(tr2("First Channel Paper End", "通道1纸尽"));
  ui->Channel2PaperEndLabel->setText(tr2("Second Channel Paper End", "通道2纸尽"));
  ui->Channel1PaperNearEndLabel->setText(tr2("First Channel Paper Near End", "通道1纸将尽"));
  ui->Channel2PaperNearEndLabel->setText(tr2("Second Channel Paper Near End", "通道2纸将尽"));
  ui->PrinterHeadupLabel->setText(tr2("Printer Head Up", "打印头抬起"));
  ui->PaperendLabel->setText(tr2("Paper End", "纸尽"));
  ui->PapernearendLabel->setText(tr2("Paper Near End", "纸将尽"));
  ui->TPHtoohotLabel->setText(tr2("TPH Too Hot", "打印头过热"));
  // The cutter caption sits on one line beside its image; in Chinese so do
  // the four presenter states and the presenter jam.
  auto oneLine = [](QLabel* l) { l->setGeometry(l->x(), 7, l->width(), 20); };
  oneLine(ui->CuttererrorLabel);
  if (cn) {
    oneLine(ui->BundlerPapePresentingLabel);
    oneLine(ui->BundlerPaperWaitingLabel);
    oneLine(ui->BundlerRetractingStatusLabel);
    oneLine(ui->BundlerPaperEjectingLabel);
    oneLine(ui->BundlerPaperJamLabel);
  }
}
