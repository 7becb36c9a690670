#include "link/PortState.h"
#include "status/StatusRWK305G2RWMode.h"

#include "status/StatusK305G2Common.h"
#include "status/StatusThreads.h"
#include "ui_StatusK305G2RWMode.h"

using namespace torva::status;

TStatusK305G2RWModeForm::TStatusK305G2RWModeForm(QWidget* parent)
    : StatusDialog(parent), ui(new Ui::TStatusK305G2RWModeForm) {
  ui->setupUi(this);
  Controls c;
  k305g2::FillBits(this, c);
  c.memo = ui->mmoPrinterStatusEdit1;
  c.start = ui->btnStartButton1;
  c.stop = ui->btnStopButton1;
  c.exit = ui->btnExitButton1;
  c.images = {ui->imgPrinterIdleImage,      ui->imgFeedingImage,        ui->imgPrinterHeadupImage,
              ui->imgCuttererrorImage,      ui->imgPaperendImage,       ui->imgTPHtoohotImage,
              ui->imgPapernearendImage,     ui->imgBundlerPaperJamImage, ui->imgRecyclepaperjamImage,
              ui->imgRollpaperslackImage,   ui->imgBundlerHeadupImage};
  // Every image but the bundler-head box, which no decoder writes and which
  // stays without a picture.
  c.initOnCreate = c.images;
  c.initOnCreate.removeAll(ui->imgBundlerHeadupImage);
  BindControls(c);
}

TStatusK305G2RWModeForm::~TStatusK305G2RWModeForm() {
  Poller().stopAndJoin();
  delete ui;
}

bool TStatusK305G2RWModeForm::MakePollSetup(PollSetup& setup) const {
  setup.plan = TStatusThreadForRWModePlan();
  setup.layout = FourByteLayout(Layout::K305G2RW, PrinterName.load());
  return true;
}

void TStatusK305G2RWModeForm::SetupCaptions() {
  k305g2::ApplyCaptions(this, ui, true);
  auto tr2 = [](const char* en, const char* cn) { return Tr2(en, cn); };
  ui->lblPrinterIdle->setText(tr2("Printer Printing", "打印状态"));
  ui->lblFeeding->setText(tr2("Paper Feeding", "进纸键进纸"));
  ui->lblBundlerPaperJam->setText(tr2("Paper Blocking", "打印机塞纸"));
  ui->lblRollPaperSlack->setText(tr2("Rolling Paper Slack", "打印机卷纸松弛"));
  FitCaptions();
}
