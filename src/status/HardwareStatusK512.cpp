#include "status/HardwareStatusK512.h"

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
    : EightByteStatusDialog(Record8Variant::K512, 200, parent), ui(new Ui::THardwareStatusK512Form) {
  ui->setupUi(this);
  BindEightByteControls(ui);  // the printer jam and shutter indicators included
}

THardwareStatusK512Form::~THardwareStatusK512Form() {
  Poller().stopAndJoin();
  delete ui;
}

bool THardwareStatusK512Form::MakePollSetup(PollSetup& setup) const {
  setup.plan = TInquireStatusThreadForShutterPlan();
  setup.layout = Record8Layout(Record8Variant::K512);
  return true;
}

void THardwareStatusK512Form::SetupCaptions() {
  if (Language != "English" && Language != "Chinese") return;
  SetupEightByteCaptions(ui, Language == "Chinese");
  auto tr2 = [](const char* en, const char* zh) { return Tr2(en, zh); };
  ui->CuttererrorLabel->setText(tr2("Cutter Error\\Printer Paper Jam", "切刀错误\\打印机塞纸"));
  ui->ShutterLabel->setText(tr2("Shutter Error", "Shutter错误"));
  ui->PaperJamErrorLabel->setText(QStringLiteral("Printer Paper Jam"));  // in both languages
  FitCaptions();
}
