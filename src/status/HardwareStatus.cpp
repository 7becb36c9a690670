#include "status/HardwareStatus.h"

#include <QCheckBox>

#include "link/PortState.h"
#include "gui/Messages.h"
#include "status/StatusThreads.h"
#include "ui_HardwareStatus.h"

using namespace torva::status;

const uint8_t THardwareStatusForm::kResetPrinterCommand[7] = {0x10, 0x04, 0x10, 0x10, 0x04, 0x11, 0x0A};
const uint8_t THardwareStatusForm::kResetBundlerCommand[4] = {0x10, 0x04, 0x0A, 0x0A};

namespace {
// Window frame and title bar: a dialog height of the layout table is the
// outer height, the client area is this much smaller.
constexpr int kFrameAllowance = 34;
}  // namespace

THardwareStatusForm::THardwareStatusForm(QWidget* parent)
    : StatusDialog(parent), ui(new Ui::THardwareStatusForm) {
  ui->setupUi(this);
  Controls c;
  for (int n = 1; n <= 4; ++n)
    for (int j = 0; j <= 7; ++j) c.bits << findChild<QCheckBox*>(QStringLiteral("Byte%1%2").arg(n).arg(j));
  c.hexLabels = {ui->Byte0Label, ui->Byte1Label, ui->Byte2Label, ui->Byte3Label};
  c.memo = ui->PrinterStatusEdit;
  c.start = ui->StartButton;
  c.stop = ui->StopButton;
  c.exit = ui->ExitButton;
  c.images = {ui->PrinterIdleImage,        ui->PrinterPrintingImage,     ui->PrinterCuttingImage,
              ui->AutoFeedingImage,        ui->BundlerPaperHoldingImage, ui->BundlerPaperPresentImage,
              ui->BundlerWaitStatusImage,  ui->BundlerPaperRetractImage, ui->PrinterHeadupImage,
              ui->PaperendImage,           ui->PapernearendImage,        ui->CuttererrorImage,
              ui->TPHtoohotImage,          ui->BundlerPaperJamImage,     ui->BundlerHeadupImage,
              ui->VoltageabnormityImage,   ui->BundlerFullImage,         ui->Image1};
  c.initOnCreate = c.images;
  BindControls(c);
  connect(ui->ResetPrinterButton, &QPushButton::clicked, this, [this] { ResetPrinterButtonClick(); });
  connect(ui->ResetBundlerButton, &QPushButton::clicked, this, [this] { ResetBundlerButtonClick(); });
}

THardwareStatusForm::~THardwareStatusForm() {
  Poller().stopAndJoin();
  delete ui;
}

bool THardwareStatusForm::MakePollSetup(PollSetup& setup) const {
  const int model = PrinterName.load();
  if (model == ModelRWK305GII) return false;  // its own two dialogs poll it
  if (IsSeriesStatusModel(model)) {
    setup.plan = TInquireStatusThreadForRWPlan();
    setup.layout = FourByteLayout(Layout::RW, model);
  } else {
    setup.plan = TInquireStatusThreadPlan();
    setup.layout = FourByteLayout(Layout::VD, model);
  }
  return true;
}

bool THardwareStatusForm::ClearBitsAtEnd() const { return IsSeriesStatusModel(PrinterName.load()); }

void THardwareStatusForm::ShowPollFailure() {
  if (!IsSeriesStatusModel(PrinterName.load())) {
    StatusDialog::ShowPollFailure();
    return;
  }
  // The series thread brings the dialog back first and reports an error.
  ShowFailureAfterRestore();
}

void THardwareStatusForm::SetHeights(int dialogHeight, int frameHeight, int lowerHeight, int panelHeight) {
  setFixedSize(width(), dialogHeight - kFrameAllowance);
  ui->GroupBox1->resize(ui->GroupBox1->width(), frameHeight);
  ui->GroupBox3->resize(ui->GroupBox3->width(), lowerHeight);
  ui->WorkingStatePanel->resize(ui->WorkingStatePanel->width(), panelHeight);
  ui->DetailStatusPanel->resize(ui->DetailStatusPanel->width(), panelHeight);
}

void THardwareStatusForm::SetupForModel(int code) {
  auto tr2 = [](const char* en, const char* cn) { return Tr2(en, cn); };

  // Common captions.
  ApplyFrameCaptions(ui);
  QLabel* rows[] = {ui->StatusByte1Label, ui->StatusByte2Label, ui->StatusByte3Label, ui->StatusByte4Label};
  for (int i = 0; i < 4; ++i)
    rows[i]->setText(IsEnglish() ? QStringLiteral("Status Byte%1").arg(i + 1)
                                 : QString::fromUtf8("状态位%1").arg(i + 1));
  ui->PrinterIdleLabel->setText(tr2("Printer Idle", "空闲状态"));
  ui->PrinterPrintingLabel->setText(tr2("Printer Printing", "打印状态"));
  ui->PrinterCuttingLabel->setText(tr2("Printer Cutting", "切纸状态"));
  ui->AutoFeedingLabel->setText(tr2("Auto Feed", "自动上纸"));
  ui->CuttererrorLabel->setText(tr2("Cutter Error\\Printer Paper Jam", "切刀错误\\打印机塞纸"));

  // The boxes of working states 3 to 6 stay hidden; their captions follow the model.
  QLabel* hidden[] = {ui->BundlerPaperHoldingLabel, ui->BundlerPaperPresentLabel, ui->BundlerWaitStatusLabel,
                      ui->BundlerPaperRetractLabel};
  if (code == 0) {
    const char* en[] = {"Bundler Paper Holding", "Bundler Paper Present", "Bundler Wait Status", "Bundler Paper Retract"};
    const char* cn[] = {"容纸器含纸", "容纸器出纸", "容纸器等待", "容纸器回收"};
    for (int i = 0; i < 4; ++i) hidden[i]->setText(tr2(en[i], cn[i]));
  } else if (code == 1 || code == 2 || code == 3 || code == 5 || code == 8 || code == 12 || code == 16 || code == 17) {
    const char* en[] = {"Presenter Paper Present", "Presenter Wait Status", "Presenter Paper Retract",
                        "Presenter Paper Eject"};
    const char* cn[] = {"容纸器出纸", "容纸器等待", "容纸器回收", "容纸器吐纸"};
    for (int i = 0; i < 4; ++i) hidden[i]->setText(tr2(en[i], cn[i]));
  } else if (IsSeriesStatusModel(code)) {
    ui->BundlerPaperHoldingLabel->setText(tr2("Feed Button Pressing", "进纸键进纸"));
  }

  // The model group.
  auto compact = [this] { SetHeights(435, 395, 235, 215); };
  auto shortHeight = [this] { SetHeights(400, 350, 190, 170); };
  switch (code) {
    case 0:
      ui->BundlerHeadupBox->show();
      ui->VoltageabnormityBox->show();
      ui->BundlerFullBox->show();
      ui->BundlerPaperJamLabel->setText(tr2("Bundler Paper Jam", "容纸器塞纸"));
      break;
    case 1: case 2: case 3: case 5: case 8: case 12: case 17:
      ui->BundlerHeadupBox->hide();
      ui->VoltageabnormityBox->hide();
      ui->BundlerFullBox->hide();
      ui->BundlerPaperJamLabel->setText(tr2("Presenter Paper Jam", "容纸器塞纸"));
      if (code == 12 && Language == "Chinese") ui->CuttererrorLabel->setText(QString::fromUtf8("切刀错误"));
      compact();
      break;
    case 16:
      ui->BundlerHeadupBox->hide();
      ui->VoltageabnormityBox->hide();
      ui->BundlerFullBox->show();
      ui->BundlerFullBox->move(ui->BundlerFullBox->x(), 163);
      ui->CuttererrorLabel->setText(tr2("Cutter Error", "切刀错"));
      ui->BundlerPaperJamLabel->setText(tr2("Presenter Paper Jam", "容纸器塞纸"));
      compact();
      break;
    case 7:
      ui->BundlerPaperJamBox->hide();
      ui->BundlerHeadupBox->hide();
      ui->VoltageabnormityBox->hide();
      ui->BundlerFullBox->hide();
      ui->PrinterCuttingBox->move(137, 25);
      ui->AutoFeedingBox->move(137, 71);
      shortHeight();
      break;
    case 4: case 6: case 9: case 10: case 15:
      ui->PrinterIdleBox->hide();
      ui->PrinterCuttingBox->hide();
      ui->AutoFeedingBox->hide();
      ui->BundlerHeadupBox->hide();
      ui->VoltageabnormityBox->hide();
      ui->BundlerFullBox->hide();
      ui->BundlerPaperJamBox->setVisible(code == 9);
      ui->CuttererrorLabel->setText(tr2("Cutter Error", "切刀错误"));
      if (code == 9) ui->BundlerPaperJamLabel->setText(tr2("Paper Blocking", "卡纸"));
      ui->PrinterPrintingBox->move(5, 25);
      shortHeight();
      break;
    default: break;  // 11, 13, 14, 18: as created
  }

  // Detail captions.
  ui->PrinterHeadupLabel->setText(tr2("Printer Head Up", "打印头抬起"));
  ui->PaperendLabel->setText(tr2("Paper End", "纸尽"));
  ui->PapernearendLabel->setText(tr2("Paper Near End", "纸将尽"));
  ui->BundlerHeadupLabel->setText(tr2("Bundler Head Up", "容纸器抬起"));
  ui->BundlerFullLabel->setText(code == 16 ? tr2("Printer PaperJam", "打印机塞纸") : tr2("Bundler Full", "容纸器已满"));
  ui->TPHtoohotLabel->setText(tr2("TPH Too Hot", "打印头过热"));
  ui->VoltageabnormityLabel->setText(tr2("Voltage Abnormity", "电压异常"));
  if (code == 12)
    ui->BundlerPaperJamLabel->setText(Language == "Chinese" ? QString::fromUtf8("打印机塞纸")
                                                            : QStringLiteral("Printer Jam"));
  FitCaptions();
}

// ---- hidden reset buttons ---------------------------------------------------------------

void THardwareStatusForm::ResetPrinterButtonClick() { SendStatusReset(kResetPrinterCommand, sizeof kResetPrinterCommand); }
void THardwareStatusForm::ResetBundlerButtonClick() { SendStatusReset(kResetBundlerCommand, sizeof kResetBundlerCommand); }
