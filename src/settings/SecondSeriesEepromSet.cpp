#include "settings/SecondSeriesEepromSet.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <optional>

#include "gui/DialogHelpers.h"
#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "gui/UpDown.h"
#include "link/Clock.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "settings/EditorDialog.h"

using namespace torva::settings;
using namespace torva::settings::second;
using namespace torva::gui;

namespace {

// The edits' arrows and how many characters the user may type, by the forms'
// names. A form without one of them simply lacks it.
struct EditBinding {
  const char* edit;
  const char* upDown;  // nullptr: no arrows
  int minimum, maximum;
  int characters;
};
constexpr EditBinding kEditBindings[] = {
    {"edtPrintSpeed", "udPrintSpeed", 25, 150, 3},
    {"edtPrintDarkness", "udPrintDarkness", 1, 254, 3},
    {"edtDefaultLeftMargin", "udDefaultLeftMargin", 0, 16, 2},
    {"edtDefaultRightMargin", "udDefaultRightMargin", 0, 16, 2},
    {"FeedLine", nullptr, 0, 0, 5},
    {"EditLength1", nullptr, 0, 0, 3},
    {"EditLength2", nullptr, 0, 0, 3},
};

QString PortName(const PortOpenResult& open) { return QString::fromStdString(open.portName); }

}  // namespace

TSecondSeriesEepromSetForm::TSecondSeriesEepromSetForm(const SecondSeriesProfile& profile,
                                                       const std::function<void(QDialog*)>& setupForm,
                                                       QWidget* owner)
    : QDialog(owner), profile_(profile) {
  setupForm(this);
  setObjectName(profile_.className);
  setWindowTitle(profile_.caption);
  QFont font(profile_.fontFamily);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  Bind();
  for (const char* name : profile_.hiddenWidgets) {
    if (QWidget* w = findChild<QWidget*>(name)) w->hide();
  }
  for (const char* name : profile_.disabledWidgets) {
    if (QWidget* w = findChild<QWidget*>(name)) w->setEnabled(false);
  }
  setState(StartState(profile_));
  // The buttons as the profile opens the dialog (Save is never usable
  // before a Get).
  const ButtonStates& start = profile_.startButtons;
  btnGet_->setEnabled(start.get);
  btnSave_->setEnabled(start.save);
  btnImport_->setEnabled(start.importFile);
  btnExport_->setEnabled(start.exportFile);
  btnExit_->setEnabled(start.exit);
  if (profile_.f1Help) BindHelpKey(this);
  // A fixed border at the size the layout asks for (never the window
  // manager's guess from the screen's size).
  if (layout()) layout()->setSizeConstraint(QLayout::SetFixedSize);
}

TSecondSeriesEepromSetForm::~TSecondSeriesEepromSetForm() = default;

void TSecondSeriesEepromSetForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!profile_.centreOnScreen || event->spontaneous() || centred_) return;
  centred_ = true;
  const QScreen* where = screen();
  if (!where) return;
  QRect frame = frameGeometry();
  frame.moveCenter(where->availableGeometry().center());
  move(frame.topLeft());
}

void TSecondSeriesEepromSetForm::Bind() {
  for (const ControlInfo& info : Controls()) {
    switch (info.kind) {
      case ControlKind::List:
        if (auto* box = findChild<QComboBox*>(info.name)) {
          Fill(box, ItemsOf(profile_, info.control));
          lists_[info.control] = box;
        }
        break;
      case ControlKind::Edit:
        if (auto* edit = findChild<QLineEdit*>(info.name)) edits_[info.control] = edit;
        break;
      case ControlKind::Check:
        if (auto* check = findChild<QCheckBox*>(info.name)) checks_[info.control] = check;
        break;
      case ControlKind::Radio:
        if (auto* box = findChild<QWidget*>(info.name)) radios_[info.control] = GroupOf(box, this);
        break;
    }
  }
  for (const EditBinding& b : kEditBindings) {
    auto* edit = findChild<QLineEdit*>(b.edit);
    if (!edit) continue;
    LimitTyping(edit, b.characters);
    if (!b.upDown) continue;
    if (auto* arrows = findChild<UpDown*>(b.upDown)) {
      arrows->setBuddy(edit);
      arrows->setRange(b.minimum, b.maximum);
    }
  }
  // Every number edit wide enough for the largest number it takes.
  FitNumberEdits(this);
  btnGet_ = findChild<QPushButton*>("btnGetSettingsFromPrinter");
  btnSave_ = findChild<QPushButton*>("btnSaveSettingsToPrinter");
  btnImport_ = findChild<QPushButton*>("btnImportSettingsFromFile");
  btnExport_ = findChild<QPushButton*>("btnExportSettingsToFile");
  btnExit_ = findChild<QPushButton*>("btnExit");
  Q_ASSERT(btnGet_ && btnSave_ && btnImport_ && btnExport_ && btnExit_);
  connect(btnGet_, &QPushButton::clicked, this, &TSecondSeriesEepromSetForm::btnGetSettingsFromPrinterClick);
  connect(btnSave_, &QPushButton::clicked, this, &TSecondSeriesEepromSetForm::btnSaveSettingsToPrinterClick);
  connect(btnImport_, &QPushButton::clicked, this, &TSecondSeriesEepromSetForm::btnImportSettingsFromFileClick);
  connect(btnExport_, &QPushButton::clicked, this, &TSecondSeriesEepromSetForm::btnExportSettingsToFileClick);
  connect(btnExit_, &QPushButton::clicked, this, &TSecondSeriesEepromSetForm::btnExitClick);
}

FormState TSecondSeriesEepromSetForm::state() const {
  FormState s;
  for (const auto& [control, box] : lists_) s[control].index = box->currentIndex();
  for (const auto& [control, edit] : edits_) s[control].text = edit->text().toStdString();
  for (const auto& [control, check] : checks_) s[control].checked = check->isChecked();
  for (const auto& [control, group] : radios_) s[control].index = group->checkedId();
  return s;
}

void TSecondSeriesEepromSetForm::ShowControl(Control control, const FormState& s) {
  const ControlValue& v = s[control];
  if (auto it = lists_.find(control); it != lists_.end()) {
    it->second->setCurrentIndex(v.index >= 0 && v.index < it->second->count() ? v.index : -1);
  } else if (auto e = edits_.find(control); e != edits_.end()) {
    e->second->setText(QString::fromStdString(v.text));
  } else if (auto c = checks_.find(control); c != checks_.end()) {
    c->second->setChecked(v.checked);
  } else if (auto r = radios_.find(control); r != radios_.end()) {
    QButtonGroup* group = r->second;
    if (group->button(v.index)) {
      Check(group, v.index);
    } else if (QAbstractButton* checked = group->checkedButton()) {
      // No button for the index: none is shown checked.
      group->setExclusive(false);
      checked->setChecked(false);
      group->setExclusive(true);
    }
  }
}

void TSecondSeriesEepromSetForm::setState(const FormState& s) {
  for (const ControlInfo& info : Controls()) ShowControl(info.control, s);
}

ButtonStates TSecondSeriesEepromSetForm::buttons() const {
  return {btnGet_->isEnabled(), btnSave_->isEnabled(), btnImport_->isEnabled(), btnExport_->isEnabled(),
          btnExit_->isEnabled()};
}

void TSecondSeriesEepromSetForm::SetButtons(ButtonEvent event) {
  const ButtonStates& b = profile_.buttons[static_cast<size_t>(event)];
  btnGet_->setEnabled(b.get);
  btnSave_->setEnabled(b.save);
  btnImport_->setEnabled(b.importFile);
  btnExport_->setEnabled(b.exportFile);
  btnExit_->setEnabled(b.exit);
  // The user sees the buttons go grey before the exchange blocks the window.
  if (event == ButtonEvent::OperationStarts && isVisible()) PaintNow(this);
}

void TSecondSeriesEepromSetForm::ClosePort() {
  // A kind the editors do not serve was never opened here: its port is left
  // as the user's other actions left it.
  if (torva::link::HasKind(kEditorPortPlan.kinds, PortType.load())) CloseEditorPort();
  link_.setHandle(-1);
}

bool TSecondSeriesEepromSetForm::ReadSettings(FormState& s) {
  int& highBuf09 = HighBuf09(profile_);
  bool ok = true;
  for (Setting setting : profile_.getOrder) {
    const SettingRow* row = RowOf(profile_, setting);
    if (!row) continue;
    uint8_t lo = 0, hi = 0;
    // Each value a setting takes stays: a Get that fails later keeps it.
    ok = link_.ReadSetting(row->address, lo, hi) && ApplyReply(*row, lo, hi, s, highBuf09, profile_);
    if (!ok) break;
  }
  // What reached the port after the last reply was judged goes too: it
  // waits for no later reader.
  link_.DiscardStaleInput();
  return ok;
}

void TSecondSeriesEepromSetForm::btnGetSettingsFromPrinterClick() {
  const FrameTexts& t = profile_.texts;
  std::optional<WaitCursor> cursor(std::in_place);
  SetButtons(ButtonEvent::OperationStarts);
  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    link_.setHandle(-1);
    cursor.reset();
    SetButtons(ButtonEvent::GetFails);
    ShowPortOpenError(open);
    return;
  }
  bool ok = false;
  if (open.opened) {
    // The reads run while the window keeps painting; the replies go into a
    // copy of what the controls show, shown when the reads end (those read
    // before a failure included).
    FormState s = state();
    RunWhilePainting([&] {
      // Back to the configured data bits on every way out of the exchange.
      TempDataBitsSwitch dataBits(link_);
      ok = ReadSettings(s);
    });
    setState(s);
  }
  ClosePort();
  cursor.reset();
  if (ok) {
    SetButtons(ButtonEvent::GetSucceeds);
    OutputInformation(QString::fromUtf8(t.getSucceededEnglish), QString::fromUtf8(t.getSucceededChinese));
  } else {
    SetButtons(ButtonEvent::GetFails);
    OutputError(QString::fromUtf8(t.getFailedEnglish), QString::fromUtf8(t.getFailedChinese));
  }
}

void TSecondSeriesEepromSetForm::btnSaveSettingsToPrinterClick() {
  const FrameTexts& t = profile_.texts;
  std::optional<WaitCursor> cursor(std::in_place);
  SetButtons(ButtonEvent::OperationStarts);
  auto fail = [&](const QString& english, const QString& chinese, bool warning) {
    cursor.reset();
    SetButtons(ButtonEvent::SaveFails);
    if (warning) {
      OutputWarning(english, chinese);
    } else {
      OutputError(english, chinese);
    }
  };

  // Everything is checked before the port opens: a refused Save sends
  // nothing, not even the data-bits switch.
  const FormState s = state();
  const EditCheck check = CheckEdits(s, profile_.saveChecks);
  if (!check.values) {
    fail(QString::fromUtf8(check.english.c_str()), QString::fromUtf8(check.chinese.c_str()), true);
    return;
  }
  const SaveCommands commands = BuildSaveCommands(s, *check.values, HighBuf09(profile_), profile_);
  const QString failedEnglish = QString::fromUtf8(t.saveFailedEnglish);
  const QString failedChinese = QString::fromUtf8(t.saveFailedChinese);
  if (commands.refused) {
    fail(failedEnglish, failedChinese, false);
    return;
  }

  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    link_.setHandle(-1);
    fail("Can't open " + PortName(open) + " port!", "端口 " + PortName(open) + " 打开错误！", false);
    return;
  }
  bool ok = false;
  if (open.opened) {
    // The writes, the pauses between them and the wait after the reset run
    // while the window keeps painting.
    RunWhilePainting([&] {
      TempDataBitsSwitch dataBits(link_);
      // The chosen data bits become the port's once the printer holds them,
      // and the switch back (on every way out) then ends at them.
      const auto storeDataBits = [&](int bits) {
        if (!profile_.saveStoresDataBits || bits == 0) return;
        ComParameter.Databits = bits;
        dataBits.SetRestoreDataBits(bits);
      };
      if (profile_.savePlan == SavePlan::DirectWrites) {
        // Each write reaches the printer by itself: the data bits count as
        // soon as their own write went through, even when a later one fails.
        ok = WriteDirect(commands, storeDataBits);
      } else {
        // Nothing reaches the printer before the whole queue was written.
        ok = WriteQueued(commands);
        if (ok) storeDataBits(commands.dataBits);
      }
      if (!ok) return;
      dataBits.Restore();
      // The reset ends the Save; one that does not go out leaves it unknown
      // whether the printer took the queue, so the Save has failed.
      ok = link_.ResetPrinter();
      if (!ok) return;
      torva::PrinterDelay(ResetWaitMs(profile_, PortType.load()));
    });
  }
  ClosePort();
  if (!ok) {
    fail(failedEnglish, failedChinese, false);
    return;
  }
  cursor.reset();
  SetButtons(ButtonEvent::SaveSucceeds);
  OutputInformation(QString::fromUtf8(t.saveSucceededEnglish), QString::fromUtf8(t.saveSucceededChinese));
}

bool TSecondSeriesEepromSetForm::WriteQueued(const SaveCommands& commands) {
  link_.queue().Clear();
  for (const auto& [row, value] : commands.commands) {
    if (!link_.QueueSetting(row->address, value)) return false;
  }
  return link_.SendCommand();
}

bool TSecondSeriesEepromSetForm::WriteDirect(const SaveCommands& commands,
                                             const std::function<void(int)>& dataBitsWritten) {
  const std::vector<PlannedWrite> writes = PlanDirectWrites(commands, profile_, PortType.load());
  if (writes.empty()) return false;
  for (const PlannedWrite& w : writes) {
    if (w.pauseBeforeMs > 0) torva::PrinterDelay(w.pauseBeforeMs);
    const bool written = link_.WriteSettingNow(w.row->address, w.value);
    if (written && w.row->setting == Setting::CommDataBits) dataBitsWritten(w.value);
    // The pause follows the write whatever came of it; a failed write ends
    // the Save after it, and what went before stays written.
    if (w.pauseAfterMs > 0) torva::PrinterDelay(w.pauseAfterMs);
    if (!written) return false;
  }
  return true;
}

void TSecondSeriesEepromSetForm::btnExportSettingsToFileClick() {
  const QString fileName = ChooseSettingsFile(this, true, PosSettingsFiles());
  if (fileName.isEmpty()) return;
  ExportTo(fileName);
}

void TSecondSeriesEepromSetForm::ExportTo(const QString& fileName) {
  // Checked and built whole before the file is touched, and written whole:
  // a refused or failed export leaves an existing file as it was.
  const FormState s = state();
  const EditCheck check = CheckEdits(s, profile_.exportChecks);
  if (!check.values) {
    OutputWarning(QString::fromUtf8(check.english.c_str()), QString::fromUtf8(check.chinese.c_str()));
    return;
  }
  const QString failedEnglish = "Some error appears when exporting settings to file " + Quoted(fileName) + "!";
  const QString failedChinese = "文件 " + Quoted(fileName) + " 中存在错误数据！";
  const auto bytes = BuildExport(s, *check.values, HighBuf09(profile_), profile_);
  if (!bytes) {
    OutputError(failedEnglish, failedChinese);
    return;
  }
  switch (WriteWholeFile(fileName, *bytes)) {
    case FileWrite::OpenFailed:
      OutputError("Fail to open file " + Quoted(fileName), "保存文件“" + fileName + "”失败！");
      return;
    case FileWrite::WriteFailed:
      OutputError(failedEnglish, failedChinese);
      return;
    case FileWrite::Written:
      return;
  }
}

void TSecondSeriesEepromSetForm::btnImportSettingsFromFileClick() {
  const QString fileName = ChooseSettingsFile(this, false, PosSettingsFiles());
  if (fileName.isEmpty()) return;
  ImportFrom(fileName);
}

void TSecondSeriesEepromSetForm::ImportFrom(const QString& fileName) {
  // A file longer than the limit is refused by its size; one byte past the
  // limit is enough to tell.
  const auto file = ReadFileStart(fileName, ImportReadLimit(profile_) + 1);
  if (!file) {
    OutputError("Fail to open file " + Quoted(fileName), "打开文件“" + fileName + "”失败！");
    return;
  }
  const QByteArray& data = file->data;
  FormState s = state();
  const ImportOutcome outcome =
      ImportFile(reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size()), s, profile_);
  if (outcome == ImportOutcome::NotNormal) {
    ShowEnglishMessage(MessageKind::Error, "The data format in file " + Quoted(fileName) + " is not normal!");
    return;
  }
  setState(s);
  if (outcome == ImportOutcome::Faulty) {
    ShowEnglishMessage(MessageKind::Error,
                       "Some error appears when importing settings from file " + Quoted(fileName) + "!");
  }
}

void TSecondSeriesEepromSetForm::btnExitClick() { reject(); }

void TSecondSeriesEepromSetForm::reject() {
  // A serial port or USB device still held is closed; the USB printer is
  // left to Close Port.
  torva::link::CloseConfiguredPort(torva::link::PortSessionPlan{}, PortCOM);
  torva::link::CloseConfiguredPort(torva::link::PortSessionPlan{}, PortUSB);
  link_.setHandle(-1);
  QDialog::reject();
}
