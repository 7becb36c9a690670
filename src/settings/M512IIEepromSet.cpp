#include "settings/M512IIEepromSet.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFile>
#include <QFileInfo>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSaveFile>

#include "link/Clock.h"
#include "link/PortState.h"
#include "gui/FileDialogs.h"
#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "ui_M512IIEepromSet.h"

using namespace torva::settings;

using namespace torva::gui;

TCommonAddressEepromSetForm::TCommonAddressEepromSetForm(const CommonAddressProfile& profile, QWidget* owner)
    : QDialog(owner), profile_(profile), ui_(std::make_unique<Ui::M512IIEepromSet>()) {
  ui_->setupUi(this);
  setObjectName(profile_.objectName);
  setWindowTitle(profile_.caption);
  QFont font(profile_.fontFamily);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  Fill(ui_->cboComBaudRate, BaudItems(profile_));
  ui_->cboComBaudRate->setCurrentIndex(3);
  paperType_ = GroupOf(ui_->rgPaperType, this);
  presenter_ = GroupOf(ui_->PresenterEnabale, this);
  beeper_ = GroupOf(ui_->rgBeeper, this);
  autoCutter_ = GroupOf(ui_->rgAutoCutter, this);
  cr_ = GroupOf(ui_->rgCR, this);
  paperOut_ = GroupOf(ui_->PaperOutMode, this);

  ui_->udPrintSpeed->setBuddy(ui_->edtPrintSpeed);
  ui_->udPrintSpeed->setRange(25, 150);
  ui_->udPrintDarkness->setBuddy(ui_->edtPrintDarkness);
  ui_->udPrintDarkness->setRange(1, 254);
  LimitTyping(ui_->edtPrintSpeed, 3);
  LimitTyping(ui_->edtPrintDarkness, 3);
  LimitTyping(ui_->FeedLine, 5);
  LimitTyping(ui_->WaitTime, 3);
  LimitTyping(ui_->AutoTime, 3);
  LimitTyping(ui_->AotoSpeed, 3);

  connect(ui_->btnGetSettingsFromPrinter, &QPushButton::clicked, this,
          &TCommonAddressEepromSetForm::btnGetSettingsFromPrinterClick);
  connect(ui_->btnSaveSettingsToPrinter, &QPushButton::clicked, this,
          &TCommonAddressEepromSetForm::btnSaveSettingsToPrinterClick);
  connect(ui_->btnExportSettingsToFile, &QPushButton::clicked, this,
          &TCommonAddressEepromSetForm::btnExportSettingsToFileClick);
  connect(ui_->btnImportSettingsFromFile, &QPushButton::clicked, this,
          &TCommonAddressEepromSetForm::btnImportSettingsFromFileClick);
  connect(ui_->btnExit, &QPushButton::clicked, this, &TCommonAddressEepromSetForm::btnExitClick);
  BindHelpKey(this);
  FormCreate();
  // The button row keeps its widths while Save's caption reads "Waiting...".
  for (QPushButton* b : ui_->grpOperation->findChildren<QPushButton*>()) b->setMinimumWidth(b->sizeHint().width());
  // A fixed border: the size the layout asks for at the start, kept while
  // captions and result lines change.
  adjustSize();
  setFixedSize(size());
}

TCommonAddressEepromSetForm::~TCommonAddressEepromSetForm() = default;

void TCommonAddressEepromSetForm::FormCreate() { ui_->btnSaveSettingsToPrinter->setEnabled(false); }

EditorState TCommonAddressEepromSetForm::state() const {
  EditorState s;
  s.baud = ui_->cboComBaudRate->currentIndex();
  s.dataBits = ui_->cboComDataBits->currentIndex();
  s.stopBits = ui_->cboComStopBits->currentIndex();
  s.parity = ui_->cboComParity->currentIndex();
  s.flow = ui_->cboComFlowControl->currentIndex();
  s.speed = ui_->edtPrintSpeed->text().toStdString();
  s.darkness = ui_->edtPrintDarkness->text().toStdString();
  s.paperType = paperType_->checkedId();
  s.presenter = presenter_->checkedId();
  s.beeper = beeper_->checkedId();
  s.autoCutter = autoCutter_->checkedId();
  s.cr = cr_->checkedId();
  s.stopOnNearEnd = ui_->chkStopPrintingOnPaperNearEnd->isChecked();
  s.alarmOnNearEnd = ui_->chkAlarmOnPaperNearEnd->isChecked();
  s.paperOutMode = paperOut_->checkedId();
  s.feedLine = ui_->FeedLine->text().toStdString();
  s.waitTime = ui_->WaitTime->text().toStdString();
  s.autoTime = ui_->AutoTime->text().toStdString();
  s.autoSpeed = ui_->AotoSpeed->text().toStdString();
  return s;
}

void TCommonAddressEepromSetForm::setState(const EditorState& s) {
  ui_->cboComBaudRate->setCurrentIndex(s.baud < ui_->cboComBaudRate->count() ? s.baud : -1);
  ui_->cboComDataBits->setCurrentIndex(s.dataBits);
  ui_->cboComStopBits->setCurrentIndex(s.stopBits);
  ui_->cboComParity->setCurrentIndex(s.parity);
  ui_->cboComFlowControl->setCurrentIndex(s.flow < ui_->cboComFlowControl->count() ? s.flow : -1);
  ui_->edtPrintSpeed->setText(QString::fromStdString(s.speed));
  ui_->edtPrintDarkness->setText(QString::fromStdString(s.darkness));
  Check(paperType_, s.paperType);
  Check(presenter_, s.presenter);
  Check(beeper_, s.beeper);
  Check(autoCutter_, s.autoCutter);
  Check(cr_, s.cr);
  ui_->chkStopPrintingOnPaperNearEnd->setChecked(s.stopOnNearEnd);
  ui_->chkAlarmOnPaperNearEnd->setChecked(s.alarmOnNearEnd);
  Check(paperOut_, s.paperOutMode);
  ui_->FeedLine->setText(QString::fromStdString(s.feedLine));
  ui_->WaitTime->setText(QString::fromStdString(s.waitTime));
  ui_->AutoTime->setText(QString::fromStdString(s.autoTime));
  ui_->AotoSpeed->setText(QString::fromStdString(s.autoSpeed));
}

bool TCommonAddressEepromSetForm::saveEnabled() const { return ui_->btnSaveSettingsToPrinter->isEnabled(); }
QString TCommonAddressEepromSetForm::resultText() const { return ui_->lblMsg->text(); }
QString TCommonAddressEepromSetForm::stateText() const { return ui_->lblMsgState->text(); }
bool TCommonAddressEepromSetForm::resultIsRed() const { return ui_->lblMsg->property("red").toBool(); }
bool TCommonAddressEepromSetForm::stateIsOlive() const { return ui_->lblMsgState->property("olive").toBool(); }

void TCommonAddressEepromSetForm::SetResultLine(const QString& text, bool red) {
  QPalette p = palette();
  if (red) p.setColor(QPalette::WindowText, Qt::red);
  ui_->lblMsg->setPalette(p);
  ui_->lblMsg->setProperty("red", red);
  ui_->lblMsg->setText(text);
  ui_->lblMsg->setToolTip(text);
}

void TCommonAddressEepromSetForm::SetStateLine(const QString& text) {
  ui_->lblMsgState->setText(text);
  ui_->lblMsgState->setToolTip(text);
}

void TCommonAddressEepromSetForm::SetStateColour(bool olive) {
  QPalette p = palette();
  if (olive) p.setColor(QPalette::WindowText, kOlive);
  ui_->lblMsgState->setPalette(p);
  ui_->lblMsgState->setProperty("olive", olive);
}

bool TCommonAddressEepromSetForm::GetOne(CommonSetting setting) {
  uint8_t lo = 0, hi = 0;
  if (!link_.ReadSetting(InfoOf(setting).address, lo, hi)) return false;
  EditorState s = state();
  if (!ApplyReply(setting, lo, hi, s, profile_)) return false;
  setState(s);
  return true;
}

void TCommonAddressEepromSetForm::btnGetSettingsFromPrinterClick() {
  WaitCursor cursor;
  strMsg = "Fail to get";
  strMsgState = "Printer state:";
  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    const QString name = QString::fromStdString(open.portName);
    OutputError("Can't open " + name + " port!", "端口 " + name + " 打开错误！");
    return;
  }
  {
    // Back to the port's data bits however the exchange ends.
    TempDataBitsSwitch dataBits(link_);
    for (CommonSetting setting : profile_.getOrder) {
      if (!GetOne(setting)) {
        strMsg += InfoOf(setting).getFailText;
        break;
      }
      if (setting == CommonSetting::PrintSpeed) {
        AppendSpeedNote(strMsgState, ParseInt32(state().speed).value_or(-1));
      } else if (setting == CommonSetting::PrintDarkness) {
        AppendDarknessNote(strMsgState, ParseInt32(state().darkness).value_or(0));
        const StateLine line = CloseStateLine(strMsgState);
        strMsgState = line.text;
        SetStateColour(line.olive);
      }
    }
  }
  ShowGetInfo();
}

void TCommonAddressEepromSetForm::ShowGetInfo() {
  static const std::string kSuccess = "Get settings from printer successfully.";
  bool red = false;
  if (strMsg.size() <= 11) {
    strMsg = kSuccess;
  } else {
    strMsg.back() = '!';
    red = true;
  }
  if (strMsg == kSuccess) ui_->btnSaveSettingsToPrinter->setEnabled(true);
  SetResultLine(QString::fromStdString(strMsg), red);
  SetStateLine(QString::fromStdString(strMsgState));
  CloseEditorPort();
}

void TCommonAddressEepromSetForm::btnSaveSettingsToPrinterClick() {
  WaitCursor cursor;
  QPushButton* save = ui_->btnSaveSettingsToPrinter;
  save->setText("Waiting...");
  strMsg = "Fail to save";
  strMsgState = "Printer state:";

  // Everything is checked before the port is touched, so a refused Save
  // leaves the printer as it was.
  const EditorState s = state();
  const EditCheck check = CheckEdits(s);
  if (!check.values) {
    if (check.formatError) {
      OutputWarning("The input of format is invalid!", "非法输入！");
    } else {
      OutputWarning(QString::fromStdString(check.english), QString::fromStdString(check.chinese));
    }
    save->setText("&Save Settings To Printer");
    return;
  }
  const EditValues& edits = *check.values;
  AppendSpeedNote(strMsgState, edits.speed);
  AppendDarknessNote(strMsgState, edits.darkness);
  const StateLine line = CloseStateLine(strMsgState);
  strMsgState = line.text;

  struct Queued {
    const CommonSettingInfo* info;
    uint16_t value;
  };
  std::vector<Queued> commands;
  for (const CommonSettingInfo& info : CommonSettings()) {
    const auto value = WrittenValue(info.setting, s, edits, profile_);
    if (!value) {
      if (info.saveRefusalText) {
        strMsg += info.saveRefusalText;
        SetStateColour(line.olive);
        ShowSetInfo();
        return;
      }
      continue;
    }
    commands.push_back({&info, *value});
  }

  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    const QString name = QString::fromStdString(open.portName);
    OutputError("Can't open " + name + " port!", "端口 " + name + " 打开错误！");
    save->setText("&Save Settings To Printer");
    return;
  }
  SetStateColour(line.olive);
  {
    TempDataBitsSwitch dataBits(link_);
    link_.queue().Clear();
    bool refused = false;
    for (const Queued& c : commands) {
      if (c.info->setterChecksHandle && link_.handle() <= 0) {
        if (c.info->saveRefusalText) {
          strMsg += c.info->saveRefusalText;
          refused = true;
          break;
        }
        continue;
      }
      link_.QueueSetting(c.info->address, c.value);
    }
    if (!refused && !link_.SendCommand()) strMsg += " Set printer error!";
  }
  ShowSetInfo();
}

void TCommonAddressEepromSetForm::ShowSetInfo() {
  bool red = false;
  if (strMsg.size() <= 12) {
    strMsg = "Save settings to printer successfully.";
    torva::PrinterDelay(5000);
    link_.LineFeedPrinter();
    OutputInformation("After feeding paper,Please turn off the printer and turn it on!",
                      "请在打印机完成走纸动作后复位打印机！");
  } else {
    strMsg.back() = '!';
    red = true;
  }
  SetResultLine(QString::fromStdString(strMsg), red);
  SetStateLine(QString::fromStdString(strMsgState));
  ui_->btnSaveSettingsToPrinter->setText("&Save Settings To Printer");
  CloseEditorPort();
}

void TCommonAddressEepromSetForm::btnExportSettingsToFileClick() {
  const QString fileName = ChooseSettingsFile(this, true);
  if (fileName.isEmpty()) return;
  ExportTo(fileName);
}

void TCommonAddressEepromSetForm::ExportTo(const QString& fileName) {
  const EditorState s = state();
  const EditCheck check = CheckEdits(s);
  if (!check.values) {
    if (check.formatError) {
      OutputWarning("The input of format is invalid!", "输入非法！");
    } else {
      OutputWarning(QString::fromStdString(check.english), QString::fromStdString(check.chinese));
    }
    return;
  }
  const QString failed = "Some error appears when exporting settings to file " + Quoted(fileName) + "!";
  const auto bytes = BuildExport(s, *check.values, profile_);
  if (!bytes) {
    SetResultLine(failed, true);
    return;
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) {
    OutputError("Fail to open file " + Quoted(fileName) + "!", "保存文件“" + fileName + "”失败！");
    return;
  }
  const qint64 size = static_cast<qint64>(bytes->size());
  const bool written = file.write(reinterpret_cast<const char*>(bytes->data()), size) == size && file.commit();
  if (!written) file.cancelWriting();
  if (written) {
    SetResultLine("Export settings to file " + Quoted(fileName) + " successfully.", false);
  } else {
    SetResultLine(failed, true);
  }
}

void TCommonAddressEepromSetForm::btnImportSettingsFromFileClick() {
  const QString fileName = ChooseSettingsFile(this, false);
  if (fileName.isEmpty()) return;
  ImportFrom(fileName);
}

void TCommonAddressEepromSetForm::ImportFrom(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) {
    OutputError("Fail to open file " + Quoted(fileName), "打开文件“" + fileName + "”失败！");
    return;
  }
  const QString notNormal = "The data format in file " + Quoted(fileName) + " is not normal!";
  const FileReadProfile readProfile{profile_.tag, profile_.importCapacity};
  const FileSizeCheck size = CheckFileSize(file.size(), readProfile);
  if (size.tooManyRecords) {
    // More records than the store holds: the file is refused whole.
    ShowEnglishMessage(MessageKind::Error, notNormal);
    return;
  }
  if (size.oddSize && !AskWarningOkCancel(notNormal)) return;
  const QByteArray data = file.read(MaxFileBytes(readProfile));
  file.close();
  const FileReadResult read =
      ReadSettingsFile(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()), readProfile);
  if (!read.tagMatches || read.refusedTooLarge) {
    ShowEnglishMessage(MessageKind::Error, notNormal);
    return;
  }
  bool good = !read.shortRecord;
  EditorState s = state();
  for (const auto& slot : read.records) {
    if (!slot || !slot->isBank1() || !ApplyImportRecord(slot->address(), slot->lo(), slot->hi(), s, profile_)) {
      good = false;
    }
  }
  setState(s);
  if (good) {
    SetResultLine("Import settings from file " + Quoted(fileName) + " successfully.", false);
  } else {
    SetResultLine("Some error appears when importing settings from file " + Quoted(fileName) + "!", true);
  }
}

void TCommonAddressEepromSetForm::btnExitClick() { reject(); }

TM512IIEepromSetForm::TM512IIEepromSetForm(QWidget* owner) : TCommonAddressEepromSetForm(M512IIProfile(), owner) {}
