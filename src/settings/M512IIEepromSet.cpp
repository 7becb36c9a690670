#include "settings/M512IIEepromSet.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
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
    {"intlChar", &EditorState::intlChar, false},      {"ComboBox3", &EditorState::watermarkMode, false},
    {"ComboBox2", &EditorState::watermarkAlignment, false},
};
const Binding<std::string> kEdits[] = {
    {"edtPrintSpeed", &EditorState::speed, true},          {"edtPrintDarkness", &EditorState::darkness, false},
    {"FeedLine", &EditorState::feedLine, true},            {"WaitTime", &EditorState::waitTime, true},
    {"AutoTime", &EditorState::autoTime, true},            {"AotoSpeed", &EditorState::autoSpeed, true},
    {"edtLightTime", &EditorState::lightTime, false},      {"edtExtinctTime", &EditorState::extinctTime, false},
    {"edtDefaultLeftMargin", &EditorState::leftMargin, false},
    {"edtDefaultRightMargin", &EditorState::rightMargin, false},
    // The VD-K773's two heads, watermark enlargement and paper width.
    {"Head1", &EditorState::darkness, false},              {"Head2", &EditorState::head2, false},
    {"EditHorizon", &EditorState::enlargeHorizontal, false}, {"EditVertical", &EditorState::enlargeVertical, false},
    {"PaperWidth", &EditorState::paperWidth, false},
};
// Radio groups: group boxes whose radio buttons are numbered 0, 1, ... in the
// order of the layout.
const Binding<int> kRadios[] = {
    {"rgPaperType", &EditorState::paperType, true},     {"PresenterEnabale", &EditorState::presenter, true},
    {"rgBeeper", &EditorState::beeper, false},          {"rgAutoCutter", &EditorState::autoCutter, true},
    {"rgCR", &EditorState::cr, true},                   {"PaperOutMode", &EditorState::paperOutMode, true},
    {"rgLEDcontrolmode", &EditorState::ledMode, false}, {"rgBufferSize", &EditorState::rxBuffer, false},
    {"AutoPresentPaper", &EditorState::autoPresent, false},
    // VD-K773.
    {"rgBeeperEnable", &EditorState::beeperEnable, false}, {"rgDataError", &EditorState::printerMode, false},
    {"PaperNearEnd", &EditorState::paperNearEnd, false},  {"PrintingSurface", &EditorState::printingSurface, false},
    {"rgWatermarkEnable", &EditorState::watermarkEnable, false}, {"CutPaperMode", &EditorState::cutPaperMode, false},
    {"BufferSize", &EditorState::rxBuffer, false},        {"USBMode", &EditorState::usbMode, false},
    {"ComDataError", &EditorState::comDataError, false},
};
const Binding<bool> kChecks[] = {
    {"chkStopPrintingOnPaperNearEnd", &EditorState::stopOnNearEnd, false},
    {"chkAlarmOnPaperNearEnd", &EditorState::alarmOnNearEnd, false},
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
    : TCommonAddressEepromSetForm(profile, owner, FormOptions{loadForm, {}, {}, {}, {}}) {}

TCommonAddressEepromSetForm::TCommonAddressEepromSetForm(const CommonAddressProfile& profile, QWidget* owner,
                                                         const FormOptions& options)
    : QDialog(owner), profile_(profile), ui_(std::make_unique<CommonAddressControls>()), link_(profile.portStyle) {
  options.load(this);
  setObjectName(profile_.objectName);
  setWindowTitle(profile_.caption);
  QFont font(profile_.fontFamily);
  font.setStyleHint(QFont::SansSerif);
  if (profile_.fontPointSize > 0) font.setPointSize(profile_.fontPointSize);
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
  const auto bindUpDown = [this](const char* name, const char* buddyName, int min, int max) {
    auto* upDown = findChild<UpDown*>(name);
    auto* buddy = findChild<QLineEdit*>(buddyName);
    if (!upDown || !buddy) return;
    upDown->setBuddy(buddy);
    upDown->setRange(min, max);
  };
  for (const auto& u : kUpDowns) bindUpDown(u.name, u.buddy, u.min, u.max);
  for (const auto& u : options.upDowns) bindUpDown(u.name, u.buddy, u.min, u.max);
  for (const char* name : options.digitEdits) {
    if (auto* w = Find<QLineEdit>(this, name, true)) w->installEventFilter(this);
  }
  for (const auto& [name, largest] : options.largestNumbers) {
    if (auto* w = Find<QLineEdit>(this, name, true)) SetLargestNumber(w, largest);
  }
  // Every number edit wide enough for the largest number it takes.
  FitNumberEdits(this);

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
  // A fixed border: the form's client area, or the size the layout asks for
  // at the start, kept while captions and result lines change.
  if (options.clientSize.isValid()) {
    setFixedSize(options.clientSize);
  } else {
    adjustSize();
    setFixedSize(size());
  }
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

bool TCommonAddressEepromSetForm::eventFilter(QObject* watched, QEvent* event) {
  // The digit edits: a key that types anything but a digit, backspace or
  // Enter is dropped with a beep. Keys that type nothing (arrows, Delete,
  // Tab) keep their meaning.
  if (event->type() == QEvent::KeyPress && qobject_cast<QLineEdit*>(watched)) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    const bool types = !text.isEmpty() && key->key() != Qt::Key_Delete && key->key() != Qt::Key_Tab &&
                       key->key() != Qt::Key_Backtab && key->key() != Qt::Key_Escape;
    if (types) {
      const QChar c = text.front();
      const bool passes = text.size() == 1 && ((c >= '0' && c <= '9') || c == '\b' || c == '\r' || c == '\n');
      if (!passes) {
        QApplication::beep();
        return true;
      }
    }
  }
  return QDialog::eventFilter(watched, event);
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
  const PortOpenResult open = OpenEditorPort(link_, profile_.portPlan);
  if (open.failed) {
    // Nothing was read: no earlier "successfully" stays beside the error.
    SetResultLine(QString(), false);
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
    // What reached the port after the last reply was judged goes too: it
    // waits for no later reader.
    link_.DiscardStaleInput();
  });
  setState(s);
  for (CommonSetting setting : read) {
    if (setting == profile_.speedRow) {
      AppendSpeedNote(strMsgState, ParseInt32(s.speed).value_or(-1));
    } else if (setting == profile_.darknessRow) {
      if (profile_.getNotesDarkness) AppendDarknessNote(strMsgState, ParseInt32(s.darkness).value_or(0));
      const StateLine line = CloseStateLine(strMsgState);
      strMsgState = line.text;
      SetStateColour(line.olive);
    }
  }
  if (failed) {
    strMsg += InfoOf(*failed).getFailText;
    // Some rows also say so in an English-only box before the result line.
    if (const char* box = InfoOf(*failed).getFailBox) ShowEnglishMessage(MessageKind::Plain, box);
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
  CloseEditorPort(profile_.portPlan);
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
  if (!ShowCheck(check, profile_.saveFormatChinese)) {
    save->setText("&Save Settings To Printer");
    return;
  }
  const EditValues& edits = *check.values;
  AppendSpeedNote(strMsgState, edits.speed);
  AppendDarknessNote(strMsgState, std::max(edits.darkness, edits.head2));
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

  const PortOpenResult open = OpenEditorPort(link_, profile_.portPlan);
  if (open.failed) {
    SetResultLine(QString(), false);
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
        if (!c.step->direct) {
          link_.QueueSetting(row.address, *c.value);
          continue;
        }
        // Written at once; a failed write ends the Save, the commands written
        // before it stay written.
        if (link_.WriteSettingNow(row.address, *c.value)) continue;
        if (row.saveRefusalText) strMsg += row.saveRefusalText;
        ended = true;
        break;
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
  CloseEditorPort(profile_.portPlan);
}

bool TCommonAddressEepromSetForm::ShowCheck(const EditCheck& check, const QString& formatChinese) {
  // The checks that do not stop only say so, in order, before the one that
  // stops.
  for (const EditRule& notice : check.notices) {
    if (notice.englishOnly) ShowEnglishMessage(MessageKind::Plain, notice.english);
    else OutputWarning(notice.english, notice.chinese);
  }
  if (check.values) return true;
  // A refused Save or Export ends without success: no earlier
  // "successfully" stays beside the warning.
  SetResultLine(QString(), false);
  if (check.formatError) {
    OutputWarning("The input of format is invalid!", formatChinese);
  } else if (check.englishOnly) {
    ShowEnglishMessage(MessageKind::Plain, QString::fromStdString(check.english));
  } else {
    OutputWarning(QString::fromStdString(check.english), QString::fromStdString(check.chinese));
  }
  return false;
}

void TCommonAddressEepromSetForm::btnExportSettingsToFileClick() {
  const QString fileName = ChooseSettingsFile(this, true, FileDialogsOf(profile_));
  if (fileName.isEmpty()) return;
  ExportTo(fileName);
}

void TCommonAddressEepromSetForm::ExportTo(const QString& fileName) {
  const EditorState s = state();
  const EditCheck check = CheckEdits(s, profile_.exportChecks);
  if (!ShowCheck(check, "输入非法！")) return;
  const QString failed = "Some error appears when exporting settings to file " + Quoted(fileName) + "!";
  std::optional<CommonSetting> refused;
  const auto bytes = BuildExport(s, *check.values, profile_, &refused);
  if (!bytes) {
    // A value a record refuses (nothing selected in a list, say) is named,
    // as a refused Save names it, so the user knows what to pick.
    SetResultLine("Some error appears when exporting settings to file " + Quoted(fileName) + ":" +
                      QString::fromStdString(RefusedSettingText(*refused)) + "!",
                  true);
    return;
  }
  const FileWrite written = WriteWholeFile(fileName, *bytes);
  if (written == FileWrite::OpenFailed) {
    SetResultLine(QString(), false);
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
  const FileReadProfile readProfile{profile_.tag, profile_.importCapacity};
  // Only a regular file is read: a FIFO or a device would block the window
  // in the open or the read, or deliver something that is no settings file.
  const auto file = ReadFileStart(fileName, MaxFileBytes(readProfile));
  if (!file) {
    refuse();
    OutputError("Fail to open file " + Quoted(fileName), "打开文件“" + fileName + "”失败！");
    return;
  }
  const QString notNormal = "The data format in file " + Quoted(fileName) + " is not normal!";
  if (profile_.emptyFileAsked && file->size == 0) {
    // Either answer ends the import.
    refuse();
    AskWarningOkCancel("The data  in file " + Quoted(fileName) + " is empty!");
    return;
  }
  const FileSizeCheck size = CheckFileSize(file->size, readProfile);
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
  const QByteArray& data = file->data;
  const FileReadResult read =
      ReadSettingsFile(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()), readProfile);
  if (!read.tagMatches || read.refusedTooLarge) {
    refuse();
    ShowEnglishMessage(MessageKind::Error, notNormal);
    return;
  }
  bool good = !read.shortRecord && !(size.oddSize && profile_.oddSizeMarksFailed);
  EditorState s = state();
  for (const auto& slot : read.records) {
    if (!slot || !slot->isBank1()) {
      good = false;
      continue;
    }
    const ImportOutcome outcome = ImportRecord(slot->address(), slot->lo(), slot->hi(), s, profile_);
    if (outcome == ImportOutcome::Refused) good = false;
    if (outcome == ImportOutcome::NotInTable && !profile_.unknownImportIgnored) good = false;
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
