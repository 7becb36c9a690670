#include "tools/Printerinformation.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <utility>
#include <vector>

#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "link/PortState.h"
#include "tools/PrinterInfoQueries.h"
#include "ui_Printerinformation.h"

using torva::tools::InfoField;
using torva::tools::InfoRun;
using torva::tools::LinePair;

namespace {
// Timer1: the self-close after a failure, once the dialog is up.
constexpr int kCloseDelayMs = 10;
}  // namespace

TPrinterInformationForm::TPrinterInformationForm(QWidget* owner)
    : QDialog(owner), ui_(std::make_unique<Ui::TPrinterInformationForm>()) {
  ui_->setupUi(this);
  // Fixed border with a system menu (close box).
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setSingleShot(true);
  Timer1->setInterval(kCloseDelayMs);
  connect(Timer1, &QTimer::timeout, this, &TPrinterInformationForm::Timer1Timer);
  connect(ui_->OKButton, &QPushButton::clicked, this, &TPrinterInformationForm::OKButtonClick);
  BindHelpKey(this);
  SetCaptions();
  FormCreate();
}

TPrinterInformationForm::~TPrinterInformationForm() = default;

void TPrinterInformationForm::SetCaptions() {
  ApplyDialogFont(this);
  const bool bundler = PrinterName.load() == ModelVDN512;
  setWindowTitle(Tr2("Printer Information", "打印机信息"));
  ui_->StaticText2->setText(Tr2("Printer Name:", "打印机名称:"));
  ui_->StaticText1->setText(Tr2("Firmware Version:", "固件版本:"));
  ui_->StaticText3->setText(Tr2("Resolution:", "分辨率:"));
  ui_->StaticText4->setText(Tr2("Print Speed:", "打印速度:"));
  ui_->StaticText5->setText(Tr2("Dark Scale:", "打印浓度:"));
  ui_->StaticText6->setText(bundler ? Tr2("Bundler Mode:", "容纸器模式:") : Tr2("Presenter Mode:", "容纸器模式:"));
  ui_->StaticText7->setText(bundler ? Tr2("Bundler WaitTime:", "容纸器等待时间:")
                                    : Tr2("Presenter WaitTime:", "容纸器等待时间:"));
  if (!modeEnglish_.isEmpty() || !modeChinese_.isEmpty())
    ui_->BundlerModeText->setText(IsEnglish() ? modeEnglish_ : modeChinese_);
  FitTitleBar(*this);
  setFixedSize(minimumSizeHint());
}

void TPrinterInformationForm::FormCreate() {
  bDestroy = false;
  // The questions run beside the event loop, so the windows keep painting
  // (and take no input) while the printer is waited for; the answers are
  // shown afterwards, here.
  InfoRun run;
  std::vector<std::pair<InfoField, LinePair>> answers;
  torva::gui::RunWhilePainting([&] {
    run = torva::tools::RunInfoQueries(
        [&answers](InfoField field, const LinePair& text) { answers.emplace_back(field, text); });
  });
  for (const auto& [field, text] : answers) {
    const QString shown = QString::fromStdString(IsEnglish() ? text.english : text.chinese);
    switch (field) {
      case InfoField::Version:
      case InfoField::ExtendedVersion: ui_->VersionText->setText(shown); break;
      case InfoField::Resolution: ui_->ResolutinText->setText(shown); break;
      case InfoField::PrintSpeed: ui_->PrintSpeedText->setText(shown); break;
      case InfoField::DarkScale: ui_->DarkScaleText->setText(shown); break;
      case InfoField::BundlerMode:
        modeEnglish_ = QString::fromStdString(text.english);
        modeChinese_ = QString::fromStdString(text.chinese);
        ui_->BundlerModeText->setText(shown);
        break;
      case InfoField::BundlerWaitTime: ui_->BundlerWaitTimeText->setText(shown); break;
      case InfoField::PrinterName: ui_->PirnterNameText->setText(shown); break;
    }
  }
  const bool nibbleReadsFailed = run.portType == PortNibbleLPT && run.failure == InfoRun::Failure::Read;
  if (run.failure != InfoRun::Failure::None) {
    ShowCommunicationError(run.portType == PortNibbleLPT);
    // Two failed nibble reads end the questions, the dialog stays with what
    // it has.
    if (!nibbleReadsFailed) bDestroy = true;
  }
  setFixedSize(minimumSizeHint());
  Timer1->start();
}

void TPrinterInformationForm::ShowCommunicationError(bool englishOnly) {
  const QString english = QString::fromUtf8(
      "Fail to get the printer'information\n\rPlease check the communication between the printer and PC!");
  if (englishOnly)
    ShowEnglishMessage(MessageKind::Error, english);
  else
    OutputError(english, QString::fromUtf8("获取打印机信息失败\n\r请检查打印机通讯是否正常！"));
}

void TPrinterInformationForm::Timer1Timer() {
  Timer1->stop();
  if (bDestroy) OKButtonClick();
}

void TPrinterInformationForm::OKButtonClick() { accept(); }
