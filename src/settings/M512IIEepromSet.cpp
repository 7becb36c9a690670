#include "settings/M512IIEepromSet.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>

#include "link/Clock.h"
#include "link/PortState.h"
#include "gui/FileDialogs.h"
#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "gui/UpDown.h"
#include "settings/EditorDialog.h"
#include "ui_M512IIEepromSet.h"

using namespace torva::settings;

using namespace torva::gui;

// The controls every form of the family has, by the names of the form, and the
// bindings of the state's fields to the controls a form has.
struct CommonAddressControls {
  QComboBox* cboComBaudRate = nullptr;
  QPushButton* btnGetSettingsFromPrinter = nullptr;
  QPushButton* btnSaveSettingsToPrinter = nullptr;
  QPushButton* btnImportSettingsFromFile = nullptr;
  QPushButton* btnExportSettingsToFile = nullptr;
  QPushButton* btnExit = nullptr;
  QLabel* lblMsg = nullptr;
  QLabel* lblMsgState = nullptr;
  QGroupBox* grpOperation = nullptr;

  template <class W, class Field>
  struct Bound {
    W* control;
    Field EditorState::*field;
  };
  std::vector<Bound<QComboBox, int>> lists;
  std::vector<Bound<QLineEdit, std::string>> edits;
  std::vector<Bound<QButtonGroup, int>> radios;
  std::vector<Bound<QCheckBox, bool>> checks;
};

namespace {

// Which control shows which field. A control marked required is in every form
// of the family; the others only in the forms whose models have the setting.
template <class Field>
struct Binding {
  const char* name;
  Field EditorState::*field;
  bool required;
};
const Binding<int> kLists[] = {
    {"cboComBaudRate", &EditorState::baud, true},   {"cboComDataBits", &EditorState::dataBits, true},
    {"cboComStopBits", &EditorState::stopBits, true}, {"cboComParity", &EditorState::parity, true},
    {"cboComFlowControl", &EditorState::flow, true}, {"cboCodePage", &EditorState::codePage, false},
};
const Binding<std::string> kEdits[] = {
    {"edtPrintSpeed", &EditorState::speed, true},          {"edtPrintDarkness", &EditorState::darkness, true},
    {"FeedLine", &EditorState::feedLine, true},            {"WaitTime", &EditorState::waitTime, true},
    {"AutoTime", &EditorState::autoTime, true},            {"AotoSpeed", &EditorState::autoSpeed, true},
    {"edtLightTime", &EditorState::lightTime, false},      {"edtExtinctTime", &EditorState::extinctTime, false},
    {"edtDefaultLeftMargin", &EditorState::leftMargin, false},
    {"edtDefaultRightMargin", &EditorState::rightMargin, false},
};
// Radio groups: group boxes whose radio buttons are numbered 0, 1, ... in the
// order of the layout.
const Binding<int> kRadios[] = {
    {"rgPaperType", &EditorState::paperType, true},     {"PresenterEnabale", &EditorState::presenter, true},
    {"rgBeeper", &EditorState::beeper, true},           {"rgAutoCutter", &EditorState::autoCutter, true},
    {"rgCR", &EditorState::cr, true},                   {"PaperOutMode", &EditorState::paperOutMode, true},
    {"rgLEDcontrolmode", &EditorState::ledMode, false}, {"rgBufferSize", &EditorState::rxBuffer, false},
    {"AutoPresentPaper", &EditorState::autoPresent, false},
};
const Binding<bool> kChecks[] = {
    {"chkStopPrintingOnPaperNearEnd", &EditorState::stopOnNearEnd, true},
    {"chkAlarmOnPaperNearEnd", &EditorState::alarmOnNearEnd, true},
};
// Typing limits of the edits.
const std::pair<const char*, int> kEditLengths[] = {
    {"edtPrintSpeed", 3}, {"edtPrintDarkness", 3}, {"FeedLine", 5},       {"WaitTime", 3},
    {"AutoTime", 3},      {"AotoSpeed", 3},        {"edtLightTime", 3},   {"edtExtinctTime", 3},
    {"edtDefaultLeftMargin", 3}, {"edtDefaultRightMargin", 3},
};
// Up-downs: the edit they step and their range.
struct UpDownBinding {
  const char* name;
  const char* buddy;
  int min, max;
};
const UpDownBinding kUpDowns[] = {
    {"udPrintSpeed", "edtPrintSpeed", 25, 150},          {"udPrintDarkness", "edtPrintDarkness", 1, 254},
    {"UpDown2", "edtLightTime", 0, 255},                 {"UpDown1", "edtExtinctTime", 0, 255},
    {"udDefaultLeftMargin", "edtDefaultLeftMargin", 0, 16}, {"udDefaultRightMargin", "edtDefaultRightMargin", 0, 16},
};

template <class W>
W* Find(QDialog* dialog, const char* name, bool required) {
  W* w = dialog->findChild<W*>(name);
  if (!w && required) qFatal("settings editor form without control %s", name);
  return w;
}

torva::gui::SettingsFileDialogs FileDialogsOf(const CommonAddressProfile& p) {
  return {p.saveFilter, p.saveConfirmsOverwrite, p.openFilter};
}

}  // namespace

void TCommonAddressEepromSetForm::LoadCommonForm(QDialog* dialog) {
  Ui::M512IIEepromSet form;
  form.setupUi(dialog);
}

TCommonAddressEepromSetForm::TCommonAddressEepromSetForm(const CommonAddressProfile& profile, QWidget* owner,
                                                         FormLoader loadForm)
    : QDialog(owner), profile_(profile), ui_(std::make_unique<CommonAddressControls>()) {
  loadForm(this);
  setObjectName(profile_.objectName);
  setWindowTitle(profile_.caption);
  QFont font(profile_.fontFamily);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  ui_->cboComBaudRate = Find<QComboBox>(this, "cboComBaudRate", true);
  ui_->btnGetSettingsFromPrinter = Find<QPushButton>(this, "btnGetSettingsFromPrinter", true);
  ui_->btnSaveSettingsToPrinter = Find<QPushButton>(this, "btnSaveSettingsToPrinter", true);
  ui_->btnImportSettingsFromFile = Find<QPushButton>(this, "btnImportSettingsFromFile", true);
  ui_->btnExportSettingsToFile = Find<QPushButton>(this, "btnExportSettingsToFile", true);
  ui_->btnExit = Find<QPushButton>(this, "btnExit", true);
  ui_->lblMsg = Find<QLabel>(this, "lblMsg", true);
  ui_->lblMsgState = Find<QLabel>(this, "lblMsgState", true);
  ui_->grpOperation = Find<QGroupBox>(this, "grpOperation", true);
  for (const auto& b : kLists) {
    if (auto* w = Find<QComboBox>(this, b.name, b.required)) ui_->lists.push_back({w, b.field});
  }
  for (const auto& b : kEdits) {
    if (auto* w = Find<QLineEdit>(this, b.name, b.required)) ui_->edits.push_back({w, b.field});
  }
  for (const auto& b : kRadios) {
    if (auto* w = Find<QGroupBox>(this, b.name, b.required)) ui_->radios.push_back({GroupOf(w, this), b.field});
  }
  for (const auto& b : kChecks) {
    if (auto* w = Find<QCheckBox>(this, b.name, b.required)) ui_->checks.push_back({w, b.field});
  }
  for (const auto& [name, length] : kEditLengths) {
    if (auto* w = findChild<QLineEdit*>(name)) LimitTyping(w, length);
  }
  for (const auto& u : kUpDowns) {
    auto* upDown = findChild<UpDown*>(u.name);
    auto* buddy = findChild<QLineEdit*>(u.buddy);
    if (!upDown || !buddy) continue;
    upDown->setBuddy(buddy);
    upDown->setRange(u.min, u.max);
  }

  Fill(ui_->cboComBaudRate, BaudItems(profile_));
  ui_->cboComBaudRate->setCurrentIndex(3);

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
  for (const auto& b : ui_->lists) s.*b.field = b.control->currentIndex();
  for (const auto& b : ui_->edits) s.*b.field = b.control->text().toStdString();
  for (const auto& b : ui_->radios) s.*b.field = b.control->checkedId();
  for (const auto& b : ui_->checks) s.*b.field = b.control->isChecked();
  return s;
}

void TCommonAddressEepromSetForm::setState(const EditorState& s) {
  // An index the list lacks shows nothing.
  for (const auto& b : ui_->lists) b.control->setCurrentIndex(s.*b.field < b.control->count() ? s.*b.field : -1);
  for (const auto& b : ui_->edits) b.control->setText(QString::fromStdString(s.*b.field));
  for (const auto& b : ui_->radios) Check(b.control, s.*b.field);
  for (const auto& b : ui_->checks) b.control->setChecked(s.*b.field);
}

bool TCommonAddressEepromSetForm::saveEnabled() const { return ui_->btnSaveSettingsToPrinter->isEnabled(); }
QString TCommonAddressEepromSetForm::resultText() const { return ui_->lblMsg->text(); }
QString TCommonAddressEepromSetForm::stateText() const { return ui_->lblMsgState->text(); }
bool TCommonAddressEepromSetForm::resultIsRed() const { return ui_->lblMsg->property("red").toBool(); }
bool TCommonAddressEepromSetForm::stateIsOlive() const { return ui_->lblMsgState->property("olive").toBool(); }

void TCommonAddressEepromSetForm::SetResultLine(const QString& text, bool red) {
  ShowResultLine(ui_->lblMsg, text, red);
}

void TCommonAddressEepromSetForm::SetStateLine(const QString& text) { ShowStateLine(ui_->lblMsgState, text); }

void TCommonAddressEepromSetForm::SetStateColour(bool olive) { ColourStateLine(ui_->lblMsgState, olive); }

void TCommonAddressEepromSetForm::btnGetSettingsFromPrinterClick() {
  WaitCursor cursor;
  strMsg = "Fail to get";
  strMsgState = "Printer state:";
  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    ShowPortOpenError(open);
    return;
  }
  // The reads run while the window keeps painting. Each reply goes into a
  // copy of what the controls show; a reply the setting does not accept
  // ends the Get there, and its control keeps its value.
  EditorState s = state();
  std::optional<CommonSetting> failed;
  std::vector<CommonSetting> read;
  RunWhilePainting([&] {
    // Back to the port's data bits however the exchange ends.
    TempDataBitsSwitch dataBits(link_);
    for (CommonSetting setting : profile_.getOrder) {
      uint8_t lo = 0, hi = 0;
      if (!link_.ReadSetting(InfoOf(setting).address, lo, hi) || !ApplyReply(setting, lo, hi, s, profile_)) {
        failed = setting;
        break;
      }
      read.push_back(setting);
    }
  });
  setState(s);
  for (CommonSetting setting : read) {
    if (setting == CommonSetting::PrintSpeed) {
      AppendSpeedNote(strMsgState, ParseInt32(s.speed).value_or(-1));
    } else if (setting == CommonSetting::PrintDarkness) {
      AppendDarknessNote(strMsgState, ParseInt32(s.darkness).value_or(0));
      const StateLine line = CloseStateLine(strMsgState);
      strMsgState = line.text;
      SetStateColour(line.olive);
    }
  }
  if (failed) strMsg += InfoOf(*failed).getFailText;
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
  PaintNow(save);  // on screen before the port is opened
  strMsg = "Fail to save";
  strMsgState = "Printer state:";

  // Everything is checked before the port is touched, so a refused Save
  // leaves the printer as it was.
  const EditorState s = state();
  const EditCheck check = CheckEdits(s, profile_.saveChecks);
  if (!check.values) {
    if (check.formatError) {
      OutputWarning("The input of format is invalid!", profile_.saveFormatChinese);
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

  // The values the setters write; a refusal that ends the Save ends it here,
  // before the port is opened.
  struct Queued {
    const SaveStep* step;
    std::optional<uint16_t> value;  // nullopt: the setter refuses it
  };
  std::vector<Queued> commands;
  for (const SaveStep& step : profile_.saveOrder) {
    const auto value = WrittenValue(step.setting, s, edits, profile_);
    if (!value && step.refusal == Refusal::EndsSave) {
      strMsg += InfoOf(step.setting).saveRefusalText;
      SetStateColour(line.olive);
      ShowSetInfo();
      return;
    }
    commands.push_back({&step, value});
  }

  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    ShowPortOpenError(open);
    save->setText("&Save Settings To Printer");
    return;
  }
  SetStateColour(line.olive);
  // The exchange runs while the window keeps painting "Waiting...".
  RunWhilePainting([&] {
    TempDataBitsSwitch dataBits(link_);
    link_.queue().Clear();
    bool ended = false;
    for (const Queued& c : commands) {
      const SettingRow& row = InfoOf(c.step->setting);
      if (c.value && !(row.setterChecksHandle && link_.handle() <= 0)) {
        link_.QueueSetting(row.address, *c.value);
        continue;
      }
      // The setter refused: by the profile, its text ends the Save, or is
      // added while the Save goes on, or nothing is said.
      if (c.step->refusal == Refusal::NotLookedAt) continue;
      if (row.saveRefusalText) strMsg += row.saveRefusalText;
      if (c.step->refusal == Refusal::EndsSave) {
        ended = true;
        break;
      }
    }
    if (!ended && !link_.SendCommand()) strMsg += " Set printer error!";
  });
  ShowSetInfo();
}

void TCommonAddressEepromSetForm::ShowSetInfo() {
  bool red = false;
  if (strMsg.size() <= 12) {
    strMsg = "Save settings to printer successfully.";
    // The printer takes the settings in; the window keeps painting meanwhile.
    RunWhilePainting([this] {
      torva::PrinterDelay(5000);
      link_.LineFeedPrinter();
    });
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
  const QString fileName = ChooseSettingsFile(this, true, FileDialogsOf(profile_));
  if (fileName.isEmpty()) return;
  ExportTo(fileName);
}

void TCommonAddressEepromSetForm::ExportTo(const QString& fileName) {
  const EditorState s = state();
  const EditCheck check = CheckEdits(s, profile_.exportChecks);
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
  const FileWrite written = WriteWholeFile(fileName, *bytes);
  if (written == FileWrite::OpenFailed) {
    OutputError("Fail to open file " + Quoted(fileName) + "!", "保存文件“" + fileName + "”失败！");
    return;
  }
  if (written == FileWrite::Written) {
    SetResultLine("Export settings to file " + Quoted(fileName) + " successfully.", false);
  } else {
    SetResultLine(failed, true);
  }
}

void TCommonAddressEepromSetForm::btnImportSettingsFromFileClick() {
  const QString fileName = ChooseSettingsFile(this, false, FileDialogsOf(profile_));
  if (fileName.isEmpty()) return;
  ImportFrom(fileName);
}

void TCommonAddressEepromSetForm::ImportFrom(const QString& fileName) {
  // Every way an import ends without applying the file clears the result
  // line first, so an earlier "successfully" never stands beside a failure.
  auto refuse = [this] { SetResultLine(QString(), false); };
  QFile file(fileName);
  // Only a regular file is read: a FIFO or a device would block the window
  // in the open or the read, or deliver something that is no settings file.
  if (!IsRegularFile(fileName) || !file.open(QIODevice::ReadOnly)) {
    refuse();
    OutputError("Fail to open file " + Quoted(fileName), "打开文件“" + fileName + "”失败！");
    return;
  }
  const QString notNormal = "The data format in file " + Quoted(fileName) + " is not normal!";
  const FileReadProfile readProfile{profile_.tag, profile_.importCapacity};
  const FileSizeCheck size = CheckFileSize(file.size(), readProfile);
  if (size.tooManyRecords) {
    // More records than the store holds: the file is refused whole.
    refuse();
    ShowEnglishMessage(MessageKind::Error, notNormal);
    return;
  }
  if (size.oddSize) {
    // Some editors refuse a file of the wrong length outright, the others ask.
    if (profile_.oddSizeRefused) {
      refuse();
      ShowEnglishMessage(MessageKind::Error, notNormal);
      return;
    }
    if (!AskWarningOkCancel(notNormal)) {
      refuse();
      return;
    }
  }
  const QByteArray data = file.read(MaxFileBytes(readProfile));
  file.close();
  const FileReadResult read =
      ReadSettingsFile(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()), readProfile);
  if (!read.tagMatches || read.refusedTooLarge) {
    refuse();
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
