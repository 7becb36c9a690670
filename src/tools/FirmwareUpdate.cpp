#include "tools/FirmwareUpdate.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "gui/DialogHelpers.h"
#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "link/PortState.h"
#include "ui_FirmwareUpdate.h"

using torva::tools::DownloadSuccessText;
using torva::tools::ExtendName;

namespace {

// Label and pattern of each filter, in the order the dialog lists them.
struct FilterRow {
  const char* english;
  const char* chinese;
};
constexpr FilterRow kFilters[] = {
    {"Firmware files(*.JK)", "监控程序文件(*.JK)"}, {"Firmware files(*.DAT)", "监控程序文件(*.DAT)"},
    {"EEPROM files(*.EEP)", "EEPROM文件(*.EEP)"},   {"Font files(*.ZK)", "字库文件(*.ZK)"},
    {"Font files(*.FNT)", "字库文件(*.FNT)"},       {"All files(*.*)", "所有文件(*.*)"},
};

// The dialog's width at least; the text above the bar sets it when wider.
constexpr int kClientWidth = 380;

}  // namespace

TFirmwareUpdateForm::TFirmwareUpdateForm(QWidget* owner)
    : QDialog(owner), ui_(std::make_unique<Ui::TFirmwareUpdateForm>()) {
  ui_->setupUi(this);
  // Fixed border, no border icons: the dialog ends through Exit (or Esc).
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  connect(ui_->DownLoadButton, &QPushButton::clicked, this, &TFirmwareUpdateForm::DownLoadButtonClick);
  connect(ui_->ExitButton, &QPushButton::clicked, this, &TFirmwareUpdateForm::ExitButtonClick);
  progressTimer_.setInterval(static_cast<int>(kProgressIntervalMs));
  connect(&progressTimer_, &QTimer::timeout, this, &TFirmwareUpdateForm::OnProgress);
  BindHelpKey(this);
  SetCaptions();
  FormCreate();
}

TFirmwareUpdateForm::~TFirmwareUpdateForm() {
  // A transfer still running (the program is ending) stops before its next
  // block; its last report finds the dialog gone and is dropped.
  thread_.abandon();
  thread_.join();
}

void TFirmwareUpdateForm::FormCreate() {
  folder_ = ProgramFolder();
  ui_->DownLoadButton->setToolTip(
      Tr2("Select a file and download it to the printer.", "选择文件并下载到打印机。"));
  ui_->ExitButton->setToolTip(Tr2("Exit", "退出当前窗口"));
}

void TFirmwareUpdateForm::SetCaptions() {
  ApplyDialogFont(this);
  setWindowTitle(transferring_ ? Tr2("Downloading......", "下载中......") : Tr2("Download", "下载"));
  ui_->StaticText1->setText(
      Tr2("You can select files with various extensions such as *.JK, *.DAT, *.EEP, *.ZK, *.FNT, *.* .",
          "您可选择多种后缀名的文件，例如*.JK，*.DAT，*.EEP，*.ZK，*.FNT，*.*。"));
  ui_->ExitButton->setText(Tr2("E&xit", "退出(&X)"));
  ShowButtonCaption();
  // The button keeps its width whichever caption it shows.
  QPushButton* b = ui_->DownLoadButton;
  b->setMinimumWidth(0);
  const QString now = b->text();
  int width = 0;
  for (const QString& caption : {Tr2("&Browse...", "浏览(&B)"), Tr2("&DownLoad", "下载(&D)")}) {
    b->setText(caption);
    width = std::max(width, b->sizeHint().width());
  }
  b->setText(now);
  b->setMinimumWidth(width);
  setFixedSize(minimumSizeHint().expandedTo(QSize(kClientWidth, 0)));
}

void TFirmwareUpdateForm::ShowButtonCaption() {
  ui_->DownLoadButton->setText(state_ == ButtonState::Browse ? Tr2("&Browse...", "浏览(&B)")
                                                             : Tr2("&DownLoad", "下载(&D)"));
}

QString TFirmwareUpdateForm::FilterList() {
  QStringList list;
  for (const FilterRow& f : kFilters) list << Tr2(f.english, f.chinese);
  return list.join(";;");
}

int TFirmwareUpdateForm::barValue() const { return ui_->DownLoadProgressBar->value(); }

void TFirmwareUpdateForm::SetButtonsEnabled(bool on) {
  ui_->DownLoadButton->setEnabled(on);
  ui_->ExitButton->setEnabled(on);
}

// --- the button

void TFirmwareUpdateForm::DownLoadButtonClick() {
  if (transferring_) return;
  if (state_ == ButtonState::Browse)
    Browse();
  else
    StartTransfer();
}

void TFirmwareUpdateForm::Browse() {
  torva::gui::FileDialogRequest request;
  request.filter = FilterList();
  request.directory = folder_;
  request.mustExist = true;
  const QString path = torva::gui::ChooseFile(this, request);
  if (path.isEmpty()) return;  // cancelled: caption and file unchanged
  const QFileInfo info(path);
  Firmwarefile = info.absoluteFilePath().toStdString();
  folder_ = info.absolutePath();
  ExtendName = torva::tools::ExtensionOf(Firmwarefile);
  state_ = ButtonState::DownLoad;
  ShowButtonCaption();
}

void TFirmwareUpdateForm::StartTransfer() {
  SetButtonsEnabled(false);
  const QString path = QString::fromStdString(Firmwarefile);
  const auto file = torva::gui::ReadRegularFile(path, 0);
  if (!file) {
    RefuseFile("Can't open the selected file!", "打开文件失败！");
    return;
  }
  const uint64_t total = static_cast<uint64_t>(std::max<qint64>(file->size, 0));
  if (total > torva::tools::kDownloadMaxBytes) {
    const qulonglong mib = torva::tools::kDownloadMaxBytes >> 20;
    RefuseFile(QString("The selected file is larger than %1 MiB and can't be downloaded!").arg(mib),
               QString::fromUtf8("所选文件大于 %1 MiB，无法下载！").arg(mib));
    return;
  }
  scale_ = torva::tools::ScaleProgress(total);
  ui_->DownLoadProgressBar->setRange(0, scale_.maximum);
  ui_->DownLoadProgressBar->setValue(0);
  transferring_ = true;
  setWindowTitle(Tr2("Downloading......", "下载中......"));
  position_ = 0;
  shownPercent_ = 0;
  progressUpdates_ = 0;
  total_ = total;
  progressTimer_.start();
  thread_.start(
      Firmwarefile, PortType.load(),
      // On the transfer's thread, after every block: one store. The bar
      // takes the position from there on the dialog's thread (OnProgress).
      [this](uint64_t position) { position_.store(position, std::memory_order_relaxed); },
      [this](bool success) {
        QMetaObject::invokeMethod(this, [this, success] { OnTransferEnded(success); }, Qt::QueuedConnection);
      });
}

// A file that cannot be sent: the box, and back to Browse.
void TFirmwareUpdateForm::RefuseFile(const QString& english, const QString& chinese) {
  OutputError(english, chinese);
  SetButtonsEnabled(true);
  state_ = ButtonState::Browse;
  ShowButtonCaption();
}

void TFirmwareUpdateForm::OnProgress() {
  if (!transferring_) return;
  // Waking the window for every block would cost the transfer a third of
  // its speed: the bar looks every 50 ms, and moves only when the percentage
  // it shows has changed. A transfer that stalls leaves it at the last
  // position sent. (The file may have grown since its size was taken here.)
  const uint64_t position = position_.load(std::memory_order_relaxed);
  const uint64_t percent = total_ > 0 ? std::min<uint64_t>(position * 100 / total_, 100) : 100;
  if (percent == shownPercent_) return;
  shownPercent_ = percent;
  ++progressUpdates_;
  ui_->DownLoadProgressBar->setValue(scale_.value(std::min(position, total_)));
}

void TFirmwareUpdateForm::OnTransferEnded(bool success) {
  thread_.join();
  progressTimer_.stop();
  transferring_ = false;
  if (success) {
    ui_->DownLoadProgressBar->setValue(scale_.maximum);
    ShowSuccess();
  } else {
    ShowError();
  }
}

void TFirmwareUpdateForm::ShowSuccess() {
  const torva::tools::LinePair text = DownloadSuccessText(ExtendName);
  ShowMessageTitled(MessageKind::Information, QString::fromStdString(text.english),
                    QString::fromStdString(text.chinese), QString::fromUtf8("提示"));
  SetButtonsEnabled(true);
  ui_->DownLoadProgressBar->setValue(0);
  setWindowTitle(Tr2("Download", "下载"));
  state_ = ButtonState::Browse;
  ShowButtonCaption();
}

void TFirmwareUpdateForm::ShowError() {
  OutputError("Download failure!", "下载失败！");
  SetButtonsEnabled(true);
  setWindowTitle(Tr2("Download", "下载"));
  ui_->DownLoadProgressBar->setValue(0);
  // The button stays at DownLoad: the next click sends the same file again.
}

// --- ending

void TFirmwareUpdateForm::ExitButtonClick() { reject(); }

void TFirmwareUpdateForm::reject() {
  if (transferring_) return;  // Esc during a transfer does nothing
  QDialog::reject();
}

void TFirmwareUpdateForm::closeEvent(QCloseEvent* event) {
  if (transferring_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
