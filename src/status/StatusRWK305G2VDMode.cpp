#include "link/PortState.h"
#include "status/StatusRWK305G2VDMode.h"

#include "status/StatusK305G2Common.h"
#include "status/StatusThreads.h"
#include "ui_StatusK305G2VDMode.h"

using namespace torva::status;

TStatusK305G2VDModeForm::TStatusK305G2VDModeForm(QWidget* parent)
    : StatusDialog(parent), ui(new Ui::TStatusK305G2VDModeForm) {
  ui->setupUi(this);
  Controls c;
  k305g2::FillBits(this, c);
  c.memo = ui->mmoPrinterStatusEdit1;
  c.start = ui->btnStartButton1;
  c.stop = ui->btnStopButton1;
  c.exit = ui->btnExitButton1;
  c.images = {ui->imgPrinterIdleImage,    ui->imgPrinterPrintingImage, ui->imgAutoFeedingImage,
              ui->imgPrinterCuttingImage, ui->imgPrinterHeadupImage,   ui->imgCuttererrorImage,
              ui->imgPaperendImage,       ui->imgTPHtoohotImage,       ui->imgPapernearendImage,
              ui->imgBundlerPaperJamImage, ui->imgRecyclePaperJam,     ui->imgRollPaperSlackImage,
              ui->imgBundlerHeadupImage};
  c.initOnCreate = c.images;  // the cutter, cutting and bundler-head boxes keep the Init glyph
  BindControls(c);
}

TStatusK305G2VDModeForm::~TStatusK305G2VDModeForm() {
  Poller().stopAndJoin();
  delete ui;
}

bool TStatusK305G2VDModeForm::MakePollSetup(PollSetup& setup) const {
  setup.plan = TStatusThreadForVDModePlan();
  setup.layout = FourByteLayout(Layout::K305G2VD, PrinterName.load());
  return true;
}

void TStatusK305G2VDModeForm::SetupCaptions() {
  k305g2::ApplyCaptions(this, ui, false);
  auto tr2 = [](const char* en, const char* cn) { return Tr2(en, cn); };
  ui->lblPrinterIdle->setText(tr2("Printer Idle", "空闲状态"));
  ui->lblPrinterPrinting->setText(tr2("Printer Printing", "打印状态"));
  ui->lblPrinterCutting->setText(tr2("Printer Cutting", "切纸状态"));
  ui->lblAutoFeeding->setText(tr2("Auto Feed", "自动上纸"));
  ui->lblBundlerPaperJam->setText(tr2("Printer Paper Jam", "打印机塞纸"));
  ui->lblRollPaperSlack->setText(tr2("Rolling Papaer Slack", "打印机卷纸松弛"));
  FitCaptions();
}
