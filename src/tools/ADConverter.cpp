#include "tools/ADConverter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "ui_ADConverter.h"

using namespace torva::tools;
using torva::gui::WaitCursor;

namespace {

struct RowCaption {
  const char* english;
  const char* chinese;
};

// The sensor captions, right-aligned against the edits by their leading
// blanks (kept as the printers' own tool has them).
const RowCaption kRowCaptions[kADRows] = {
    {"up label sensor", "   上标记传感器"},
    {"down label sensor", "           下标记传感器"},
    {"paper near end sensor", "                       纸将尽传感器"},
    {"printer head temperature sensor", "        打印头温度传感器"},
    {"printer head voltage sensor", "   打印头电压传感器"},
    {"    Retraction sensor", "   纸张回收传感器"},
    {"  Paper out sensor", "        出纸传感器"},
    {"     Form in sensor", "       入纸传感器"},
    {"    Position sensor", "       位置传感器"},
};

}  // namespace

TADConverterForm::TADConverterForm(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TADConverterForm>()) {
  ui_->setupUi(this);
  // Fixed border with a system menu (close box).
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  for (int row = kADRowsShown; row < kADRows; ++row) {
    StaticText(row)->hide();
    Edit(row)->hide();
    findChild<QLabel*>(QString("UnitLabel%1").arg(row))->hide();
  }
  connect(ui_->StartButton, &QPushButton::clicked, this, &TADConverterForm::StartButtonClick);
  connect(ui_->StopButton, &QPushButton::clicked, this, &TADConverterForm::StopButtonClick);
  connect(ui_->ExitButton, &QPushButton::clicked, this, &TADConverterForm::ExitButtonClick);
  BindHelpKey(this);
  SetCaptions();
}

TADConverterForm::~TADConverterForm() { FormClose(false); }

void TADConverterForm::SetCaptions() {
  ApplyDialogFont(this);
  setWindowTitle(Tr2("Analog / Digital Converter", "AD转换"));
  ui_->rgPlatForm->setTitle(Tr2("Hardware Platform", "硬件平台"));
  for (int row = 0; row < kADRows; ++row)
    StaticText(row)->setText(Tr2(kRowCaptions[row].english, kRowCaptions[row].chinese));
  ui_->StartButton->setText(Tr2("&Start", "开始(&S)"));
  ui_->StopButton->setText(Tr2("S&top", "停止(&T)"));
  ui_->ExitButton->setText(Tr2("E&xit", "退出(&X)"));
  // A fixed border: the size this language's captions and title need.
  FitTitleBar(*this);
  setMinimumSize(0, 0);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  setFixedSize(sizeHint());
  // Lay the rows out again at that size now, shown or not.
  layout()->invalidate();
  layout()->activate();
}

QLineEdit* TADConverterForm::Edit(int row) const { return findChild<QLineEdit*>(QString("Edit%1").arg(row)); }

QLabel* TADConverterForm::StaticText(int row) const { return findChild<QLabel*>(QString("StaticText%1").arg(row)); }

void TADConverterForm::ZeroEdits() {
  for (int row = 0; row < kADRows; ++row) Edit(row)->setText("0");
}

void TADConverterForm::SetIdle() {
  ui_->StartButton->setEnabled(true);
  ui_->ExitButton->setEnabled(true);
  ui_->StopButton->setEnabled(false);
}

void TADConverterForm::ShowCommunicationError() {
  OutputError("Fail to get the status of printer\n\rPlease check the communication between the printer and PC!",
              "获取打印机状态失败\n\r请检查打印机通讯是否正常！");
}

void TADConverterForm::StartButtonClick() {
  if (closed_) return;
  ui_->StartButton->setEnabled(false);
  ui_->ExitButton->setEnabled(false);
  ui_->StopButton->setEnabled(true);
  // A run still ending is waited for: never two threads on one port.
  thread_.stopAndJoin();
  activeGeneration_ = 0;

  torva::link::PortOpen open;
  {
    WaitCursor cursor;
    open = torva::link::OpenConfiguredPort(kADConverterPortPlan);
  }
  if (!open.opened()) {
    // Also the printer queue, which has no way to ask the printer.
    ShowCommunicationError();
    SetIdle();
    return;
  }
  adVote_ = ui_->PlatformItem1->isChecked() ? 2.5 : 3.3;
  ADPort port;
  port.kind = open.kind;
  port.handle = open.handle;
  port.k773Custom = open.kind == PortUSBPrinter && IsK773CustomMode();
  port.intervalMs = intervalMs_;
  activeGeneration_ = thread_.start(port, [this](const ADReport& r) {
    // On the polling thread: hand the report to the view's thread. The view
    // joins the thread before it goes, so `this` is alive here.
    QMetaObject::invokeMethod(this, [this, r] { OnReport(r); }, Qt::QueuedConnection);
  });
}

void TADConverterForm::StopButtonClick() {
  ui_->StopButton->setEnabled(false);
  activeGeneration_ = 0;  // nothing of this run is shown any more
  thread_.requestStop();
  ZeroEdits();
  ui_->ExitButton->setEnabled(true);
  // Start comes back once the thread has ended.
  ui_->StartButton->setEnabled(!thread_.running());
}

void TADConverterForm::ExitButtonClick() { reject(); }

void TADConverterForm::OnReport(const ADReport& r) {
  if (closed_) return;
  switch (r.type) {
    case ADReport::Type::Values:
      if (r.generation == activeGeneration_) UpdateADVaule(r);
      break;
    case ADReport::Type::Failure:
      if (r.generation == activeGeneration_) ShowErrorAndExitThread();
      break;
    case ADReport::Type::Ended:
      // The run that Stop asked to end has ended: Start may begin another.
      if (r.generation == thread_.generation() && activeGeneration_ == 0 && !ui_->StopButton->isEnabled())
        ui_->StartButton->setEnabled(true);
      break;
  }
}

void TADConverterForm::UpdateADVaule(const ADReport& r) {
  for (int row = 0; row < kADRowsShown; ++row)
    Edit(row)->setText(QString::fromStdString(ADVoltageText(r.ADValue[static_cast<size_t>(row)], adVote_)));
  emit valuesShown();
}

void TADConverterForm::ShowErrorAndExitThread() {
  activeGeneration_ = 0;
  // The thread has closed the port and is ending.
  thread_.stopAndJoin();
  ShowCommunicationError();
  ZeroEdits();
  SetIdle();
}

void TADConverterForm::FormClose(bool painting) {
  if (closed_) return;
  closed_ = true;  // from now on no report reaches the view
  activeGeneration_ = 0;
  // The thread ends before the view goes; the port is closed on the way (a
  // USB read in progress fails at once). A nibble-mode read ends with its
  // time-out: the windows keep painting meanwhile when the view closes from
  // its event loop.
  if (painting)
    torva::gui::RunWhilePainting([this] { thread_.stopAndJoin(); });
  else
    thread_.stopAndJoin();
}

void TADConverterForm::done(int result) {
  FormClose(true);
  QDialog::done(result);
}
