#include "status/HardwareStatusK773.h"

#include <QCheckBox>
#include <QLabel>
#include <QShortcut>

#include "gui/Messages.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "status/EightByteStatusDialog.h"
#include "ui_HardwareStatusK773.h"

using namespace torva::status;

namespace torva::status {
PollPlan TInquireStatusThread773Plan() {
  PollPlan p;
  p.recordLength = static_cast<int>(kRecord6Length);
  p.intervalMs = 300;
  p.serialTimeoutMs = 3000;
  p.command.assign(std::begin(kCustomStatusOnCommand), std::end(kCustomStatusOnCommand));
  p.offCommand.assign(std::begin(kCustomStatusOffCommand), std::end(kCustomStatusOffCommand));
  p.timing = CommandTiming::Once;
  p.serialRead = SerialRead::QueuedRecords;
  p.customUsb = true;
  p.closeSerialAtEnd = true;
  return p;
}
}  // namespace torva::status

namespace {
// The state images of the dialog: never written by the decoder.
const char* const kStateImages[] = {"PrinterIdleImage",           "PrinterPrintingImage",
                                    "PrinterCuttingImage",        "AutoFeedingImage",
                                    "BundlerPapePresentingImage", "BundlerPaperWaitingImage",
                                    "BundlerRetractingStatusImage", "BundlerPaperEjectingImage"};
// Frame and title bar: the dialog heights of the set-up are outer heights.
constexpr int kFrameAllowance = 34;
}  // namespace

THardwareStatusK773Form::THardwareStatusK773Form(QWidget* parent)
    : StatusDialog(parent), ui(new Ui::THardwareStatusK773Form) {
  ui->setupUi(this);
  Controls c;
  for (int byte = 1; byte <= 6; ++byte)
    for (int bit = 7; bit >= 0; --bit)
      c.bits << findChild<QCheckBox*>(QString::fromStdString(Record6CheckBoxName(byte, bit)));
  for (int byte = 1; byte <= 6; ++byte)
    c.hexLabels << findChild<QLabel*>(QString::fromStdString(Record6LabelName(byte)));
  c.memo = ui->PrinterStatusEdit;
  c.start = ui->StartButton;
  c.stop = ui->StopButton;
  c.exit = ui->ExitButton;
  for (const auto& name : MakeRecord6Decoder().images()) c.images << findChild<QLabel*>(QString::fromStdString(name));
  for (const char* name : kStateImages) c.images << findChild<QLabel*>(QString::fromLatin1(name));
  c.images << ui->BundlerHeadupImage << ui->BundlerFullImage;
  c.initOnCreate = c.images;
  BindControls(c);
  // F1 opens no help in this dialog, and it can be resized.
  for (QShortcut* s : findChildren<QShortcut*>())
    if (s->key() == QKeySequence(Qt::Key_F1)) delete s;
  setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, false);
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
}

THardwareStatusK773Form::~THardwareStatusK773Form() {
  Poller().stopAndJoin();
  delete ui;
}

bool THardwareStatusK773Form::MakePollSetup(PollSetup& setup) const {
  setup.plan = TInquireStatusThread773Plan();
  setup.layout = Record6Layout();
  return true;
}

int THardwareStatusK773Form::ReopenPort() {
  if (PortType.load() != PortUSBPrinter) return ReopenPlainPort();
  // The custom channel, opened with the identity the port dialog found.
  static constexpr torva::link::PortSessionPlan kCustomPlan{.kinds = torva::link::KindBit(PortUSBPrinter),
                                                            .usbPrinter = torva::link::UsbPrinterOpen::Custom};
  return torva::link::OpenConfiguredPort(kCustomPlan).handle;  // -1: the base shows the warning
}

void THardwareStatusK773Form::ClosePortOnClose() { record8::ClosePortOfKind(); }
void THardwareStatusK773Form::ShowPollFailure() { ShowFailureAfterRestore(); }

void THardwareStatusK773Form::SetupCaptions() {
  if (Language != "English" && Language != "Chinese") return;
  const bool cn = Language == "Chinese";
  ApplyFrameCaptions(ui);
  auto tr2 = [](const char* en, const char* zh) { return Tr2(en, zh); };
  QLabel* rows[] = {ui->StatusByte1Label, ui->StatusByte2Label, ui->StatusByte3Label,
                    ui->StatusByte4Label, ui->StatusByte5Label, ui->StatusByte6Label};
  for (int i = 0; i < 6; ++i) {
    if (cn)
      rows[i]->setText(QString::fromUtf8("状态位%1").arg(i + 1));
    else if (i < 4)
      rows[i]->setText(QStringLiteral("Status Byte%1").arg(i + 1));  // rows 5 and 6 keep the layout's
  }
  ui->PrinterIdleLabel->setText(tr2("Printer Idle", "空闲状态"));
  ui->PrinterPrintingLabel->setText(tr2("Printer Printing", "打印状态"));
  ui->PrinterCuttingLabel->setText(tr2("Printer Cutting", "切纸状态"));
  ui->AutoFeedingLabel->setText(tr2("Auto Feed", "自动上纸"));
  ui->CuttererrorLabel->setText(tr2("Auto Cutter Error", "切刀错误"));
  QLabel* presenter[] = {ui->BundlerPapePresentingLabel, ui->BundlerPaperWaitingLabel,
                         ui->BundlerRetractingStatusLabel, ui->BundlerPaperEjectingLabel};
  const char* en[] = {"Presenter Paper Present", "Presenter Wait Status", "Presenter Paper Retract",
                      "Presenter Paper Eject"};
  const char* zh[] = {"容纸器出纸", "容纸器等待", "容纸器回收", "容纸器吐纸"};
  for (int i = 0; i < 4; ++i) {
    presenter[i]->setText(tr2(en[i], zh[i]));
    if (cn) presenter[i]->setGeometry(presenter[i]->x(), 7, presenter[i]->width(), 20);  // one line
  }
  ui->BundlerPaperJamLabel->setText(tr2("Printer Paper Jam", "打印机塞纸"));
  if (cn) {
    ui->PrinterHeadupLabel->setText(QString::fromUtf8("上盖抬起"));
    ui->PaperendLabel->setText(QString::fromUtf8("纸尽"));
    ui->PapernearendLabel->setText(QString::fromUtf8("纸将尽"));
    ui->WeekEndLabel->setText(QString::fromUtf8("周末纸将尽"));
    ui->VoltageabnormityLabel->setText(QString::fromUtf8("电压异常"));
    ui->TPHtoohotLabel->setText(QString::fromUtf8("打印头过热"));
  }
  ui->BundlerHeadupBox->hide();
  if (cn) {
    ui->VoltageabnormityBox->hide();
    ui->BundlerFullBox->hide();
  }
  const int dialogHeight = cn ? 450 : 480;
  resize(width(), dialogHeight - kFrameAllowance);
  ui->GroupBox1->resize(ui->GroupBox1->width(), 410);
  // The lower group and its two panels reach down to the frame's bottom
  // edge, not past it (the frame is 410 high and the group starts 189 down).
  ui->GroupBox3->resize(ui->GroupBox3->width(), ui->GroupBox1->height() - ui->GroupBox3->y() - 4);
  for (QWidget* panel : {static_cast<QWidget*>(ui->WorkingStatePanel), static_cast<QWidget*>(ui->DetailStatusPanel)})
    panel->resize(panel->width(), ui->GroupBox3->height() - panel->y() - 4);
  FitCaptions();
}
