#include "status/HardwareStatusK772.h"

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
}  // namespace torva::status

THardwareStatusK772Form::THardwareStatusK772Form(QWidget* parent)
    : EightByteStatusDialog(Record8Variant::K772, 300, parent), ui(new Ui::THardwareStatusK772Form) {
  ui->setupUi(this);
  BindEightByteControls(ui);
}

THardwareStatusK772Form::~THardwareStatusK772Form() {
  Poller().stopAndJoin();
  delete ui;
}

bool THardwareStatusK772Form::MakePollSetup(PollSetup& setup) const {
  setup.plan = TInquireStatusThreadForK772Plan();
  setup.layout = Record8Layout(Record8Variant::K772);
  return true;
}

void THardwareStatusK772Form::SetupCaptions() {
  if (Language != "English" && Language != "Chinese") return;
  const bool cn = Language == "Chinese";
  SetupEightByteCaptions(ui, cn);
  auto tr2 = [](const char* en, const char* zh) { return Tr2(en, zh); };
  ui->CuttererrorLabel->setText(tr2("Cutter Error", "切刀错误"));
  ui->PaperJamErrorLabel->setText(tr2("Printer Paper Jam", "打印机塞纸"));
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
  FitCaptions();
}
