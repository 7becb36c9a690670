#include "tools/CheckMark.h"

#include <QApplication>
#include <QKeyEvent>
#include <QRegularExpressionValidator>
#include <QTextCursor>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>

#include "gui/DialogGuard.h"
#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "settings/SettingProtocol.h"
#include "tools/MarkLog.h"
#include "ui_CheckMark.h"

using namespace torva::tools;

namespace {

// Positions. The threshold row: English places each control after the one
// before it; Chinese uses the fixed lefts 12, 70 and 120.
constexpr int kRowTop = 18;
constexpr int kEnglishLabelLeft = 16;
constexpr int kChineseLefts[3] = {12, 70, 120};
constexpr int kRowGap = 6;
constexpr int kButtonWidth = 104;
constexpr int kRightColumn = 300;
// The button row: full layout; group H moves it up to 180 with the calibrate
// button at the left (20); group J down to 210 with Set at the left (10).
constexpr int kButtonTop = 194;
constexpr int kCalibrationOnlyTop = 180;
constexpr int kCalibrationOnlyLeft = 20;
constexpr int kThresholdOnlyTop = 210;
constexpr int kThresholdOnlyLeft = 10;

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

void FitWidth(QWidget* w, int least = 0) {
  const QSize hint = w->sizeHint();
  w->resize(std::max(hint.width(), least), std::max(hint.height(), w->height()));
}

}  // namespace

TCheckmarkForm::TCheckmarkForm(QWidget* owner)
    : QDialog(owner), ui_(std::make_unique<Ui::TCheckmarkForm>()), group_(MarkGroupOf(PrinterName.load())) {
  ui_->setupUi(this);
  // Fixed border, system menu (close box) only.
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(size());
  ui_->edtAD->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9A-Fa-f]{0,2}"), ui_->edtAD));
  ui_->edtAD->installEventFilter(this);
  connect(ui_->SetADButton, &QPushButton::clicked, this, &TCheckmarkForm::SetADButtonClick);
  connect(ui_->CheckMark, &QPushButton::clicked, this, &TCheckmarkForm::CheckMarkClick);
  connect(ui_->ExitButton, &QPushButton::clicked, this, &TCheckmarkForm::ExitButtonClick);
  BindHelpKey(this);
  SetCaptions();
  FormCreate();
}

TCheckmarkForm::~TCheckmarkForm() = default;

void TCheckmarkForm::SetCaptions() {
  ApplyDialogFont(this);
  setWindowTitle(Tr2("Check Mark", "黑标校验"));
  ui_->Label16->setText(Tr2("Mark Threshold Value", "黑标极值"));
  ui_->Label17->setText("(Hex)");
  ui_->SetADButton->setText(Tr2("&SetADValue", "设置AD值(&S)"));
  ui_->CheckMark->setText(Tr2("&CheckMark", "黑标校验(&C)"));
  ui_->ExitButton->setText(Tr2("E&xit", "退出(&X)"));
  ui_->edtAD->setToolTip(Tr2("Specify the value of Mark Threshold.", "指定黑标极值（标记纸判断阀值）的数值。"));
  ui_->SetADButton->setToolTip(
      Tr2("Set the Mark Threshold to the current value.", "设置黑标极值（标记纸判断阀值）为指定数值。"));
  ui_->CheckMark->setToolTip(Tr2("The printer will check the black mark and set the Mark Threshold Value to a "
                                 "logical value.",
                                 "打印机执行黑标校验动作，校验完成后黑标极值（标记纸判断阀值）将被设定为一个合理的数值。"));
  ui_->ExitButton->setToolTip(Tr2("Exit", "退出当前窗口"));
  ApplyLayout();
}

void TCheckmarkForm::ApplyLayout() {
  QLabel* label = ui_->Label16;
  QLineEdit* edit = ui_->edtAD;
  QLabel* hex = ui_->Label17;
  FitWidth(label);
  FitWidth(hex);
  const int labelTop = kRowTop + (edit->height() - label->height()) / 2;
  if (IsEnglish()) {
    label->move(kEnglishLabelLeft, labelTop);
    edit->move(label->x() + label->width() + kRowGap, kRowTop);
  } else {
    label->move(kChineseLefts[0], labelTop);
    edit->move(kChineseLefts[1], kRowTop);
  }
  hex->move(IsEnglish() ? edit->x() + edit->width() + kRowGap : kChineseLefts[2], labelTop);
  for (QPushButton* b : {ui_->SetADButton, ui_->CheckMark, ui_->ExitButton}) FitWidth(b, kButtonWidth);

  ui_->SetADButton->move(kRightColumn, kRowTop - 2);
  ui_->ExitButton->move(kRightColumn, kButtonTop);
  ui_->CheckMark->move(kRightColumn - 10 - ui_->CheckMark->width(), kButtonTop);
  switch (group_.layout) {
    case MarkLayout::Full:
      break;
    case MarkLayout::CalibrationOnly:
      for (QWidget* w : {static_cast<QWidget*>(ui_->SetADButton), static_cast<QWidget*>(label),
                         static_cast<QWidget*>(edit), static_cast<QWidget*>(hex)})
        w->hide();
      // The memo takes the threshold row's place.
      ui_->Memo1->setGeometry(ui_->Memo1->x(), kRowTop - 2, ui_->Memo1->width(),
                              kCalibrationOnlyTop - 10 - (kRowTop - 2));
      ui_->CheckMark->move(kCalibrationOnlyLeft, kCalibrationOnlyTop);
      ui_->ExitButton->move(kRightColumn, kCalibrationOnlyTop);
      break;
    case MarkLayout::ThresholdOnly:
      ui_->CheckMark->hide();
      ui_->SetADButton->move(kThresholdOnlyLeft, kThresholdOnlyTop);
      ui_->ExitButton->move(kRightColumn, kThresholdOnlyTop);
      break;
  }
}

void TCheckmarkForm::DisableCheckMark() { ui_->CheckMark->setEnabled(false); }

QStringList TCheckmarkForm::memoLines() const {
  QStringList lines;
  const QTextDocument* doc = ui_->Memo1->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}

void TCheckmarkForm::AddMemoLine(const QString& line) { ui_->Memo1->appendPlainText(line); }

bool TCheckmarkForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->edtAD && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Keys that type nothing (arrows, Home, Tab, Esc, F1) are not the
    // filter's business; copy and paste go to the validator.
    const bool typesCharacter = !text.isEmpty() && text.front().isPrint() &&
                                !(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier));
    if (typesCharacter) {
      const QChar c = text.front();
      const bool hexDigit = text.size() == 1 && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') ||
                                                 (c >= 'a' && c <= 'f'));
      if (!hexDigit) {
        QApplication::beep();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
}

// --- port

void TCheckmarkForm::ShowOpenError(int kind) {
  const QString name = QString::fromStdString(torva::link::ConfiguredPortName(kind));
  const QString chinese = QString::fromUtf8("端口 ") + name + QString::fromUtf8(" 打开错误！");
  if (kind == PortCOM)
    OutputError("Can't open " + name + " port", chinese);
  else
    OutputError("Can't open " + name + " port!", chinese);
}

bool TCheckmarkForm::RunExchange(const std::function<void(const MarkPort&)>& exchange) {
  torva::link::PortOpen open;
  torva::gui::RunWhilePainting([&] {
    // Opened, used and closed on the exchange's thread, on every way out.
    torva::link::PortSession session(kCheckMarkPortPlan);
    open = session.Open();
    if (open.opened()) exchange(MarkPort{open.kind, open.handle});
  });
  if (open.status == torva::link::PortOpenStatus::Failed) ShowOpenError(open.kind);
  return open.opened();
}

// --- creation

void TCheckmarkForm::FormCreate() {
  if (RefuseNoPort()) return;
  const int kind = PortType.load();
  // No threshold address: nothing to set.
  if (group_.writeAddress < 0) ui_->SetADButton->setEnabled(false);
  if (!CheckMarkServes(kind)) {
    // No way to read or write on this kind: nothing is read, nothing offered.
    ui_->SetADButton->setEnabled(false);
    ui_->CheckMark->setEnabled(false);
    return;
  }

  const bool calibrationOnly = group_.layout == MarkLayout::CalibrationOnly;
  const uint8_t address = MarkThresholdReadAddress(PrinterName.load());
  bool markRead = false, paperRead = false, sequential = false;
  uint8_t threshold = 0;
  if (!RunExchange([&](const MarkPort& port) {
        if (!calibrationOnly) {
          uint8_t reply[2] = {0, 0};
          markRead = EcGetMark(port, address, reply);
          if (!markRead) return;
          threshold = reply[0];
        }
        paperRead = GetPaperType(port, sequential);
      }))
    return;

  auto paperTypeError = [] { OutputError("Get paper type error!", "获取纸张类型失败！"); };
  if (calibrationOnly) {
    if (!paperRead) {
      ui_->CheckMark->setEnabled(false);
      paperTypeError();
    } else if (sequential) {
      ui_->CheckMark->setEnabled(false);
      OutputError("please check whether paper type is mark mode", "请确认是否为标记纸！");
    } else {
      ui_->CheckMark->setEnabled(true);
    }
    return;
  }
  if (markRead) {
    ui_->edtAD->setText(QString("%1").arg(threshold, 2, 16, QChar('0')).toUpper());
    if (!paperRead)
      paperTypeError();
    else
      ui_->CheckMark->setEnabled(!sequential);
  } else if (kind == PortCOM) {
    ShowThresholdReadError();
  }
}

void TCheckmarkForm::ShowThresholdReadError() {
  OutputError("Fail to get the Mark Threshold Value!\r\nPlease check whether the printer is connected to the "
              "specified port correctly.",
              "获取黑标极值失败！\r\n请检查打印机是否连接正确。");
}

// --- the handlers

void TCheckmarkForm::ExitButtonClick() { reject(); }

void TCheckmarkForm::SetADButtonClick() {
  if (RefuseNoPort()) return;
  const int kind = PortType.load();
  const QString text = ui_->edtAD->text().trimmed();
  if (text.isEmpty()) {
    OutputWarning("Please input Mark Threshold Value!", "请输入黑标极值！");
    return;
  }
  bool ok = false;
  const uint value = text.toUInt(&ok, 16);
  const Bytes command = SetThresholdCommand(group_, static_cast<uint8_t>(value & 0xFF));
  // Nothing is sent, and nothing reported as set, where the model has no
  // threshold address or the port kind has no write.
  if (!ok || value > 0xFF || command.empty() || !CheckMarkServes(kind)) return;

  bool written = false;
  if (!RunExchange([&](const MarkPort& port) { written = WriteMarkPort(port, command); })) return;
  if (!written) {
    const QString name = QString::fromStdString(torva::link::ConfiguredPortName(kind));
    OutputError("Write " + name + " port error!",
                QString::fromUtf8("端口 ") + name + QString::fromUtf8(" 发送数据失败！"));
    return;
  }
  OutputInformation("Set AD Successfully!", "设置AD值成功！");
}

void TCheckmarkForm::CheckMarkClick() {
  const int kind = PortType.load();
  if (!ui_->CheckMark->isEnabled() || !CheckMarkServes(kind)) return;
  if (group_.calibration == MarkCalibration::None) return;  // groups G and J calibrate nothing

  enum class Step { Calibrated, CheckEnableFailed, EnableFailed, Enabled };
  Step step = Step::Calibrated;
  CheckMarkResult result = CheckMarkResult::WriteFailed;
  Bytes log;
  std::optional<uint8_t> threshold;
  const int model = PrinterName.load();
  if (!RunExchange([&](const MarkPort& port) {
        if (group_.checkEnableStep) {
          bool enabled = false;
          if (!EcGetCheckEnable(port, enabled)) {
            step = Step::CheckEnableFailed;
            return;
          }
          if (!enabled) {
            // Checking takes effect after a power cycle and a new opening.
            const auto command = torva::settings::WriteSettingCommand(kCheckEnableAddress, 1);
            step = WriteMarkPort(port, Bytes(command.begin(), command.end())) ? Step::Enabled : Step::EnableFailed;
            if (step == Step::Enabled) torva::PrinterDelay(kEnableRebootPauseMs);
            return;
          }
        }
        result = EcCheckMark(port, group_, log);
        if (group_.calibration == MarkCalibration::Log)
          threshold = ThresholdAfterCalibration(port, model, result == CheckMarkResult::Ok);
      }))
    return;

  switch (step) {
    case Step::CheckEnableFailed:
      OutputError("Get CheckEnable failed!", "获取手动校验使能状态失败！");
      return;
    case Step::EnableFailed:
      OutputError("Enable CheckMark failed!", "设置手动校验使能状态失败！");
      return;
    case Step::Enabled:
      ui_->CheckMark->setEnabled(false);
      OutputWarning("\n\rEnable CheckMark successfully and reboot the printer.",
                    "设置手动校验使能成功并重新开关打印机。");
      return;
    case Step::Calibrated:
      break;
  }

  if (result == CheckMarkResult::WriteFailed) OutputError("Fail to write data!", "发送黑标校验指令失败！");
  if (result == CheckMarkResult::ReadFailed) OutputError("Fail to read the port!", "读取查询黑标数据失败！");
  // The log came but the threshold it is decoded with did not: that step
  // failed, and the memo shows no level the printer did not report.
  if (result == CheckMarkResult::Ok && group_.calibration == MarkCalibration::Log && !threshold)
    ShowThresholdReadError();
  if (group_.calibration == MarkCalibration::CommandOnly) {
    if (result == CheckMarkResult::Ok) {
      AddMemoLine("Send CheckMark command successfully!");
      AddMemoLine("Please see the words printed  on the mark paper to make sure whether calibrate successfully or not");
    } else {
      AddMemoLine("Send CheckMark command failed!");
      AddMemoLine("Please confirm whether communication is normal or not. ");
    }
    return;
  }

  const std::vector<std::string> lines = DecodeMarkLog(log, group_.windowLimit, threshold, IsEnglish());
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  ui_->Memo1->setPlainText(text.join('\n'));
  // The outcome is at the end: the found line and the sensor level.
  ui_->Memo1->moveCursor(QTextCursor::End);
  ui_->Memo1->ensureCursorVisible();
}
