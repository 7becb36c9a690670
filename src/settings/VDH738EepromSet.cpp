#include "settings/VDH738EepromSet.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <optional>

#include "gui/DialogHelpers.h"
#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "gui/UpDown.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "settings/EditorDialog.h"
#include "settings/TwoBankExchange.h"
#include "ui_VDH738EepromSet.h"

using namespace torva::settings;
using namespace torva::gui;

namespace {

// Where a control's value lives in the state.
using IntField = int& (*)(TwoBankState&);
using TextField = std::string& (*)(TwoBankState&);

template <class Field>
struct Binding {
  const char* name;
  Field field;
};

// List boxes (the front and back watermarks' print mode and alignment too).
const Binding<IntField> kLists[] = {
    {"cboComBaudRate", [](TwoBankState& s) -> int& { return s.baud; }},
    {"cboComDataBits", [](TwoBankState& s) -> int& { return s.dataBits; }},
    {"cboComStopBits", [](TwoBankState& s) -> int& { return s.stopBits; }},
    {"cboComParity", [](TwoBankState& s) -> int& { return s.parity; }},
    {"cboComFlowControl", [](TwoBankState& s) -> int& { return s.flow; }},
    {"cboCodePage", [](TwoBankState& s) -> int& { return s.codePage; }},
    {"IntlChar", [](TwoBankState& s) -> int& { return s.intlChar; }},
    {"ComboBox2", [](TwoBankState& s) -> int& { return s.front.printMode; }},
    {"ComboBox1", [](TwoBankState& s) -> int& { return s.front.alignment; }},
    {"rgBackPrintTime", [](TwoBankState& s) -> int& { return s.back.printMode; }},
    {"BackWaterMarkalignment", [](TwoBankState& s) -> int& { return s.back.alignment; }},
};

// Radio groups: group boxes whose radio buttons are numbered 0, 1, ... in
// the order of the layout.
const Binding<IntField> kRadios[] = {
    {"rgPaperType", [](TwoBankState& s) -> int& { return s.paperType; }},
    {"USBMode", [](TwoBankState& s) -> int& { return s.usbMode; }},
    {"rgCR", [](TwoBankState& s) -> int& { return s.cr; }},
    {"rgAutoCutter", [](TwoBankState& s) -> int& { return s.autoCutter; }},
    {"rgDataError", [](TwoBankState& s) -> int& { return s.dataError; }},
    {"BufferSize", [](TwoBankState& s) -> int& { return s.bufferSize; }},
    {"CutPaperMode", [](TwoBankState& s) -> int& { return s.cutMode; }},
    {"PaperOutMode", [](TwoBankState& s) -> int& { return s.paperOutMode; }},
    {"PrintingSurface", [](TwoBankState& s) -> int& { return s.printingSurface; }},
    {"rgDefaultInvertEnable", [](TwoBankState& s) -> int& { return s.defaultInvert; }},
    {"rgWatermarkEnable", [](TwoBankState& s) -> int& { return s.front.enable; }},
    {"WaterMarkInverted", [](TwoBankState& s) -> int& { return s.front.inverted; }},
    {"rgBackWaterMarkEnable", [](TwoBankState& s) -> int& { return s.back.enable; }},
    {"rgBackWaterMarkInvertedEnable", [](TwoBankState& s) -> int& { return s.back.inverted; }},
};

const Binding<TextField> kEdits[] = {
    {"EditPaperEnd", [](TwoBankState& s) -> std::string& { return s.paperEnd; }},
    {"edtDefaultLeftMargin", [](TwoBankState& s) -> std::string& { return s.leftMargin; }},
    {"edtDefaultRightMargin", [](TwoBankState& s) -> std::string& { return s.rightMargin; }},
    {"Head1", [](TwoBankState& s) -> std::string& { return s.head1; }},
    {"Head2", [](TwoBankState& s) -> std::string& { return s.head2; }},
    {"edtPrintSpeed", [](TwoBankState& s) -> std::string& { return s.speed; }},
    {"PaperWidth", [](TwoBankState& s) -> std::string& { return s.paperWidth; }},
    {"AotoSpeed", [](TwoBankState& s) -> std::string& { return s.autoSpeed; }},
    {"AutoTime", [](TwoBankState& s) -> std::string& { return s.autoTime; }},
    {"WaitTime", [](TwoBankState& s) -> std::string& { return s.waitTime; }},
    {"FeedLine", [](TwoBankState& s) -> std::string& { return s.feedLine; }},
    {"EditHorizon", [](TwoBankState& s) -> std::string& { return s.front.horizontal; }},
    {"EditVertical", [](TwoBankState& s) -> std::string& { return s.front.vertical; }},
    {"BackHorizontal", [](TwoBankState& s) -> std::string& { return s.back.horizontal; }},
    {"backVertical", [](TwoBankState& s) -> std::string& { return s.back.vertical; }},
};

// The read-only edits' arrows and their ranges.
struct UpDownBinding {
  const char* name;
  const char* buddy;
  int min, max;
};
const UpDownBinding kUpDowns[] = {
    {"udPaperEnd", "EditPaperEnd", 0, 100},
    {"udDefaultLeftMargin", "edtDefaultLeftMargin", 0, 16},
    {"udDefaultRightMargin", "edtDefaultRightMargin", 0, 16},
    {"udHead1", "Head1", 50, 254},
    {"udHead2", "Head2", 50, 254},
    {"udPrintSpeed", "edtPrintSpeed", 50, 350},
    {"udHorizon", "EditHorizon", 1, 3},
    {"udVertical", "EditVertical", 1, 3},
    {"udBackHorizontal", "BackHorizontal", 1, 3},
    {"udBackVertical", "backVertical", 1, 3},
};

// The edits the user types numbers into, with how many characters each
// takes (the paper width's limit is the profile's).
const std::pair<const char*, int> kDigitEdits[] = {
    {"PaperWidth", 5}, {"WaitTime", 3}, {"AotoSpeed", 3}, {"AutoTime", 3}, {"FeedLine", 5},
};

template <class W>
W* Find(QWidget* dialog, const char* name) {
  W* w = dialog->findChild<W*>(name);
  if (!w) qFatal("two-bank editor form without control %s", name);
  return w;
}

const char* const kGetSucceeded = "Get settings from printer successfully.";
const char* const kSaveSucceeded = "Save settings to printer successfully.";
const char* const kSaveCaption = "&Save Settings To Printer";

// The boxes of the edit checks, in order.
void ShowEditMessages(const std::vector<TwoBankEditMessage>& messages) {
  for (const TwoBankEditMessage& m : messages) {
    if (m.plainEnglish) {
      ShowEnglishMessage(MessageKind::Plain, QString::fromStdString(m.english));
    } else {
      OutputWarning(QString::fromStdString(m.english), QString::fromStdString(m.chinese));
    }
  }
}

}  // namespace

// The controls of the form the frame works with.
struct TwoBankControls {
  QPushButton* btnGet = nullptr;
  QPushButton* btnSave = nullptr;
  QPushButton* btnImport = nullptr;
  QPushButton* btnExport = nullptr;
  QPushButton* btnExit = nullptr;
  QLabel* lblMsg = nullptr;
  QLabel* lblMsgState = nullptr;
  QLineEdit* paperWidth = nullptr;
  QComboBox* printMode = nullptr;  // ComboBox2: editable in the VD-K9034 dialog
  std::vector<std::pair<QComboBox*, IntField>> lists;
  std::vector<std::pair<QButtonGroup*, IntField>> radios;
  std::vector<std::pair<QLineEdit*, TextField>> edits;
  std::vector<QLineEdit*> digitEdits;  // with the key filter
};

TTwoBankEepromSetForm::TTwoBankEepromSetForm(const TwoBankProfile& profile, QWidget* owner)
    : QDialog(owner), profile_(profile), ui_(std::make_unique<TwoBankControls>()) {
  Ui::VDH738EepromSet form;
  form.setupUi(this);
  Bind();
  ApplyLook();
  FormCreate();
}

TTwoBankEepromSetForm::~TTwoBankEepromSetForm() = default;

void TTwoBankEepromSetForm::Bind() {
  ui_->btnGet = Find<QPushButton>(this, "btnGetSettingsFromPrinter");
  ui_->btnSave = Find<QPushButton>(this, "btnSaveSettingsToPrinter");
  ui_->btnImport = Find<QPushButton>(this, "btnImportSettingsFromFile");
  ui_->btnExport = Find<QPushButton>(this, "btnExportSettingsToFile");
  ui_->btnExit = Find<QPushButton>(this, "btnExit");
  ui_->lblMsg = Find<QLabel>(this, "lblMsg");
  ui_->lblMsgState = Find<QLabel>(this, "lblMsgState");
  ui_->paperWidth = Find<QLineEdit>(this, "PaperWidth");
  ui_->printMode = Find<QComboBox>(this, "ComboBox2");

  // The code pages are the model's; the fourth paper-out mode only where
  // the model has it.
  Fill(Find<QComboBox>(this, "cboCodePage"), profile_.codePageItems);
  const std::vector<std::string> paperOut = profile_.paperOutItems();
  auto* paperOutBox = Find<QGroupBox>(this, "PaperOutMode");
  const auto paperOutButtons =
      paperOutBox->findChildren<QRadioButton*>(QString(), Qt::FindDirectChildrenOnly);
  for (qsizetype i = 0; i < paperOutButtons.size(); ++i) {
    if (i < static_cast<qsizetype>(paperOut.size())) {
      paperOutButtons[i]->setText(QString::fromStdString(paperOut[static_cast<size_t>(i)]));
    } else {
      delete paperOutButtons[i];
    }
  }

  for (const auto& b : kLists) ui_->lists.emplace_back(Find<QComboBox>(this, b.name), b.field);
  for (const auto& b : kRadios)
    ui_->radios.emplace_back(GroupOf(Find<QGroupBox>(this, b.name), this), b.field);
  for (const auto& b : kEdits) ui_->edits.emplace_back(Find<QLineEdit>(this, b.name), b.field);
  for (const auto& u : kUpDowns) {
    auto* upDown = Find<UpDown>(this, u.name);
    upDown->setBuddy(Find<QLineEdit>(this, u.buddy));
    upDown->setRange(u.min, u.max);
  }
  for (const auto& [name, length] : kDigitEdits) {
    auto* edit = Find<QLineEdit>(this, name);
    const bool paperWidth = edit == ui_->paperWidth;
    const int limit = paperWidth ? profile_.dialog.paperWidthMaxLength : length;
    if (limit > 0) LimitTyping(edit, limit);
    if (profile_.dialog.keyFilters) {
      edit->installEventFilter(this);
      ui_->digitEdits.push_back(edit);
    }
  }
  connect(ui_->paperWidth, &QLineEdit::textChanged, this, &TTwoBankEepromSetForm::PaperWidthChange);

  connect(ui_->btnGet, &QPushButton::clicked, this, &TTwoBankEepromSetForm::btnGetSettingsFromPrinterClick);
  connect(ui_->btnSave, &QPushButton::clicked, this, &TTwoBankEepromSetForm::btnSaveSettingsToPrinterClick);
  connect(ui_->btnImport, &QPushButton::clicked, this,
          &TTwoBankEepromSetForm::btnImportSettingsFromFileClick);
  connect(ui_->btnExport, &QPushButton::clicked, this, &TTwoBankEepromSetForm::btnExportSettingsToFileClick);
  connect(ui_->btnExit, &QPushButton::clicked, this, &TTwoBankEepromSetForm::btnExitClick);
}

void TTwoBankEepromSetForm::ApplyLook() {
  const TwoBankDialogTraits& look = profile_.dialog;
  setObjectName(look.formClass);
  QFont font("Tahoma", 8);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  if (look.minimizeButton) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  } else {
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  }
  Find<QLabel>(this, "lblHead1")->setText(look.head1Label);
  for (const char* name : {"lblHead2", "Head2", "udHead2"})
    Find<QWidget>(this, name)->setVisible(look.head2Visible);
  auto* back = Find<QGroupBox>(this, "grpBackWaterMark");
  back->setTitle(look.backGroupCaption);
  back->setVisible(look.backWaterMarkVisible);
  auto* operation = Find<QGroupBox>(this, "grpOperation");
  if (!look.backWaterMarkVisible) {
    // The buttons take the hidden group's place beside the front watermark,
    // so no empty column stands between them.
    auto* row = findChild<QHBoxLayout*>("watermarkRow");
    if (!row) qFatal("two-bank editor form without layout watermarkRow");
    row->insertWidget(row->indexOf(back) + 1, operation, 0, Qt::AlignTop);
  } else {
    // Beside both watermark groups a column of buttons would make the
    // dialog wider than a 1024 x 768 screen: they stand in a row below the
    // groups instead, above the result lines.
    auto* main = findChild<QVBoxLayout*>("mainLayout");
    auto* groups = findChild<QHBoxLayout*>("groupRow");
    auto* buttons = qobject_cast<QBoxLayout*>(operation->layout());
    if (!main || !groups || !buttons) qFatal("two-bank editor form without its main layouts");
    buttons->setDirection(QBoxLayout::LeftToRight);
    buttons->addStretch(1);
    main->insertWidget(main->indexOf(groups) + 1, operation);
  }
  Find<QGroupBox>(this, "rgDataError")->setTitle(look.dataErrorCaption);
  Find<QGroupBox>(this, "PrintingSurface")->setEnabled(look.surfaceEnabled);
  if (look.printModeEditable) {
    // Typed text stays typed text: it never becomes an item of the list.
    ui_->printMode->setEditable(true);
    ui_->printMode->setInsertPolicy(QComboBox::NoInsert);
  }
  BindHelpKey(this);
  // Every number edit wide enough for the largest number it takes; the
  // paper width any number up to 65534 (PaperWidthChange), with or without
  // a typing limit.
  SetLargestNumber(ui_->paperWidth, "65534");
  FitNumberEdits(this);
  // The button column keeps its width while Save's caption reads "Waiting...".
  for (QPushButton* b : {ui_->btnGet, ui_->btnSave, ui_->btnImport, ui_->btnExport, ui_->btnExit})
    b->setMinimumWidth(b->sizeHint().width());
  // A fixed border at the size the layout asks for, kept while captions and
  // result lines change; the result lines lie inside it.
  ui_->lblMsg->setMinimumWidth(1);
  ui_->lblMsgState->setMinimumWidth(1);
  adjustSize();
  setFixedSize(size());
}

void TTwoBankEepromSetForm::FormCreate() {
  setState(TwoBankState{});
  ui_->btnSave->setEnabled(false);
}

TwoBankState TTwoBankEepromSetForm::state() const {
  TwoBankState s;
  for (const auto& [box, field] : ui_->lists) {
    int index = box->currentIndex();
    // Typed text counts as an item only when it is one, exactly.
    if (box->isEditable())
      index = box->findText(box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    field(s) = index;
  }
  for (const auto& [group, field] : ui_->radios) field(s) = group->checkedId();
  for (const auto& [edit, field] : ui_->edits) field(s) = edit->text().toStdString();
  return s;
}

void TTwoBankEepromSetForm::setState(const TwoBankState& state) {
  TwoBankState s = state;
  for (const auto& [box, field] : ui_->lists) {
    const int index = field(s);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
    if (box->isEditable() && box->currentIndex() < 0) box->setEditText(QString());
  }
  for (const auto& [group, field] : ui_->radios) {
    const int index = field(s);
    if (group->button(index)) {
      Check(group, index);
    } else if (QAbstractButton* checked = group->checkedButton()) {
      // No button for the index: none is shown checked.
      group->setExclusive(false);
      checked->setChecked(false);
      group->setExclusive(true);
    }
  }
  for (const auto& [edit, field] : ui_->edits) edit->setText(QString::fromStdString(field(s)));
}

bool TTwoBankEepromSetForm::saveEnabled() const { return ui_->btnSave->isEnabled(); }
QString TTwoBankEepromSetForm::resultText() const { return ui_->lblMsg->text(); }
QString TTwoBankEepromSetForm::stateText() const { return ui_->lblMsgState->text(); }
bool TTwoBankEepromSetForm::resultIsRed() const { return ui_->lblMsg->property("red").toBool(); }
bool TTwoBankEepromSetForm::stateIsOlive() const { return ui_->lblMsgState->property("olive").toBool(); }

void TTwoBankEepromSetForm::ClearResultLine() { ShowResultLine(ui_->lblMsg, QString(), false); }

void TTwoBankEepromSetForm::ClosePort() {
  // Only a port this action opened is closed: a kind the editor does not
  // serve is left as the user's other actions left it.
  if (portOpen_) CloseEditorPort();
  portOpen_ = false;
  link_.setHandle(-1);
}

// ---------------------------------------------------------------- Get

void TTwoBankEepromSetForm::btnGetSettingsFromPrinterClick() {
  std::optional<WaitCursor> cursor(std::in_place);
  strMsg = "Fail to get";
  strMsgState = "Printer state:";
  // On a kind the editor does not open, the handle stays -1 and the first
  // read fails.
  link_.setHandle(-1);
  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    cursor.reset();
    // Nothing was read: no earlier "successfully" stays beside the error.
    ClearResultLine();
    ShowPortOpenError(open);
    return;
  }
  portOpen_ = open.opened;
  // The reads run while the window keeps painting; the controls take what
  // was read when they are done (a read that fails leaves its control and
  // every later one as they were).
  TwoBankState s = state();
  TwoBankKeptBytes kept = kept_;
  TwoBankGetRun run;
  RunWhilePainting([&] {
    // Back to the configured data bits on every way out of the reads.
    TempDataBitsSwitch dataBits(link_);
    run = RunTwoBankGet(link_, profile_, s, kept);
  });
  kept_ = kept;
  setState(s);
  strMsg = run.resultText;
  strMsgState = run.stateText;
  // The state line is finished (and coloured) once the darkness was read.
  const bool finished = !strMsgState.empty() && strMsgState.back() == '.';
  ColourStateLine(ui_->lblMsgState, finished && run.stateOlive);
  ShowGetInfo();
  cursor.reset();
  if (run.commTestBox) ShowEnglishMessage(MessageKind::Plain, kCommTestFailedText);
  if (strMsg == kGetSucceeded) OutputInformation("Get Settings Success!", "读取设置成功！");
}

void TTwoBankEepromSetForm::ShowGetInfo() {
  bool red = false;
  if (strMsg.size() < 12) {
    strMsg = kGetSucceeded;
  } else {
    strMsg.back() = '!';
    red = true;
  }
  ClosePort();
  // Enabled by the first Get that reads everything; a later failure leaves it so.
  if (strMsg == kGetSucceeded) ui_->btnSave->setEnabled(true);
  ShowResultLine(ui_->lblMsg, QString::fromStdString(strMsg), red);
  ShowStateLine(ui_->lblMsgState, QString::fromStdString(strMsgState));
}

// ---------------------------------------------------------------- Save

void TTwoBankEepromSetForm::btnSaveSettingsToPrinterClick() {
  std::optional<WaitCursor> cursor(std::in_place);
  QPushButton* save = ui_->btnSave;
  save->setText("Waiting...");
  PaintNow(save);
  strMsg = "Fail to save";
  strMsgState = "Printer state:";

  // Everything that can refuse is checked before the port opens, so a
  // refused Save sends nothing, not even the data-bits switch.
  const TwoBankState s = state();
  const TwoBankEditCheck check = CheckTwoBankEdits(s, profile_.saveChecks);
  // A refused Save ends without success: no earlier "successfully" stays
  // beside the warning.
  if (!check.values) ClearResultLine();
  if (!check.messages.empty()) {
    cursor.reset();
    ShowEditMessages(check.messages);
    if (check.values) cursor.emplace();
  }
  if (!check.values) {
    save->setText(kSaveCaption);
    return;
  }
  const TwoBankEdits& edits = *check.values;
  const StateLine line = TwoBankSaveStateLine(edits);
  strMsgState = line.text;
  // Each setter's argument: the first it refuses ends the Save with its row.
  for (const TwoBankSaveStep& step : profile_.saveSteps) {
    if (step.flush || SaveSkips(step.setting, s)) continue;
    if (!EncodeSetting(step.setting, profile_, s, edits, kept_)) {
      strMsg += step.failText;
      ColourStateLine(ui_->lblMsgState, line.olive);
      ShowSetInfo();
      return;
    }
  }

  link_.setHandle(-1);
  const PortOpenResult open = OpenEditorPort(link_);
  if (open.failed) {
    cursor.reset();
    save->setText(kSaveCaption);
    ClearResultLine();
    ShowPortOpenError(open);
    return;
  }
  portOpen_ = open.opened;
  TwoBankSaveRun run;
  const TwoBankKeptBytes kept = kept_;
  RunWhilePainting([&] {
    TempDataBitsSwitch dataBits(link_);
    run = RunTwoBankSave(link_, profile_, s, edits, kept);
  });
  strMsg = run.resultText;
  // The state line takes its colour with its text: a Save that never
  // reached the printer leaves the line of the last action as it was.
  ColourStateLine(ui_->lblMsgState, line.olive);
  ShowSetInfo();
  cursor.reset();
  if (strMsg == kSaveSucceeded) {
    OutputInformation("After feeding paper,Please turn off the printer and turn it on!",
                      "请在打印机完成走纸动作后复位打印机！");
  }
}

void TTwoBankEepromSetForm::ShowSetInfo() {
  const bool ok = strMsg.size() < 13;
  if (ok) {
    strMsg = kSaveSucceeded;
  } else {
    strMsg.back() = '!';
  }
  ShowResultLine(ui_->lblMsg, QString::fromStdString(strMsg), !ok);
  ShowStateLine(ui_->lblMsgState, QString::fromStdString(strMsgState));
  if (ok) {
    // The printer takes the settings in, then feeds a line; the window
    // keeps painting meanwhile.
    RunWhilePainting([this] {
      torva::PrinterDelay(5000);
      link_.LineFeedPrinter();
    });
  }
  ui_->btnSave->setText(kSaveCaption);
  ClosePort();
}

// ---------------------------------------------------------------- file

void TTwoBankEepromSetForm::btnExportSettingsToFileClick() {
  const QString fileName = ChooseSettingsFile(this, true);
  if (fileName.isEmpty()) return;
  ExportTo(fileName);
}

void TTwoBankEepromSetForm::ExportTo(const QString& fileName) {
  // Checked and built whole before the file is touched, and written whole:
  // a refused or failed export leaves an existing file as it was.
  const TwoBankState s = state();
  const TwoBankEditCheck check = CheckTwoBankEdits(s, profile_.exportChecks);
  if (!check.values) ClearResultLine();
  ShowEditMessages(check.messages);
  if (!check.values) return;
  const QString failed = "Some error appears when exporting settings to file " + Quoted(fileName) + "!";
  const TwoBankExport exported = BuildTwoBankExport(profile_, s, *check.values, kept_);
  if (!exported.complete()) {
    ShowResultLine(ui_->lblMsg, failed, true);
    return;
  }
  switch (WriteWholeFile(fileName, exported.file)) {
    case FileWrite::OpenFailed:
      ClearResultLine();
      OutputError("Fail to open file " + Quoted(fileName) + "!", "保存文件“" + fileName + "”失败！");
      return;
    case FileWrite::WriteFailed:
      ShowResultLine(ui_->lblMsg, failed, true);
      return;
    case FileWrite::Written:
      ShowResultLine(ui_->lblMsg, "Export settings to file " + Quoted(fileName) + " successfully.", false);
      return;
  }
}

void TTwoBankEepromSetForm::btnImportSettingsFromFileClick() {
  const QString fileName = ChooseSettingsFile(this, false);
  if (fileName.isEmpty()) return;
  ImportFrom(fileName);
}

void TTwoBankEepromSetForm::ImportFrom(const QString& fileName) {
  // Every way an import ends without applying the file clears the result
  // line first, so an earlier "successfully" never stands beside a refusal.
  auto refuse = [this] { ClearResultLine(); };
  const FileReadProfile readProfile = TwoBankFileReadProfile(profile_);
  // One byte past the most a file may hold is enough to refuse a larger one.
  const auto file = ReadFileStart(fileName, MaxFileBytes(readProfile) + 1);
  if (!file) {
    refuse();
    OutputError("Fail to open file " + Quoted(fileName) + "!", "打开文件“" + fileName + "”失败！");
    return;
  }
  const QString notNormal = "The data format in file " + Quoted(fileName) + " is not normal!";
  TwoBankState s = state();
  TwoBankKeptBytes kept = kept_;
  const TwoBankImport imported = ImportTwoBankFile(reinterpret_cast<const uint8_t*>(file->data.constData()),
                                                   static_cast<size_t>(file->data.size()), profile_, s, kept,
                                                   [&] { return AskWarningOkCancel(notNormal); });
  switch (imported.status) {
    case TwoBankImport::Status::Empty:
      refuse();
      // OK or Cancel, the import ends.
      AskWarningOkCancel("The data  in file " + Quoted(fileName) + " is empty!");
      return;
    case TwoBankImport::Status::Cancelled:
      refuse();
      return;
    case TwoBankImport::Status::TooLarge:
    case TwoBankImport::Status::BadTag:
      refuse();
      ShowEnglishMessage(MessageKind::Error, notNormal);
      return;
    case TwoBankImport::Status::Applied:
      break;
  }
  setState(s);
  kept_ = kept;
  if (imported.good) {
    ShowResultLine(ui_->lblMsg, "Import settings from file " + Quoted(fileName) + " successfully.", false);
  } else {
    ShowResultLine(ui_->lblMsg,
                   "Some error appears when importing settings from file " + Quoted(fileName) + "!", true);
  }
}

void TTwoBankEepromSetForm::btnExitClick() { reject(); }

// ---------------------------------------------------------------- keys

void TTwoBankEepromSetForm::PaperWidthChange() {
  // Empty, negative or 65535 and above becomes "0"; any other text stays
  // (Save and export refuse what is not a number).
  const QString text = ui_->paperWidth->text();
  static const QRegularExpression number("^\\s*([+-]?)0*(\\d+)\\s*$");
  bool zero = text.isEmpty();
  const QRegularExpressionMatch m = number.match(text);
  if (m.hasMatch()) {
    const QString digits = m.captured(2);
    const bool negative = m.captured(1) == "-" && digits != "0";
    zero = negative || digits.size() > 5 || digits.toInt() >= 65535;
  }
  if (zero && text != "0") ui_->paperWidth->setText("0");
}

bool TTwoBankEepromSetForm::DigitKeyPress(QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) return false;  // keys that type nothing: arrows, Delete, ...
  const QChar c = text.front();
  if (c == '\b' || c == '\r' || c == ' ' || (c >= '0' && c <= '9')) return false;
  // Control characters are the edit's shortcuts (copy, paste, select all).
  if (c.category() == QChar::Other_Control) return false;
  QApplication::beep();
  return true;
}

bool TTwoBankEepromSetForm::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    for (QLineEdit* edit : ui_->digitEdits) {
      if (watched == edit) return DigitKeyPress(static_cast<QKeyEvent*>(event));
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TTwoBankEepromSetForm::keyPressEvent(QKeyEvent* event) {
  // The VD-K9034's own handlers see only keys the dialog receives while it
  // holds the focus itself: a key typed into a control, or passed on by
  // one, never reaches them.
  QWidget* focused = focusWidget();
  if (profile_.dialog.formKeyHandlers && (focused == nullptr || focused == this)) {
    FormKeyDown();
    FormKeyPress(event);
    // Esc still closes the dialog.
    if (event->key() != Qt::Key_Escape) {
      event->accept();
      return;
    }
  }
  QDialog::keyPressEvent(event);
}

void TTwoBankEepromSetForm::FormKeyDown() {
  const QString name = QString::fromStdString(USBParameter.Name);
  OutputError("Can't open " + name + " port!", "端口 " + name + " 打开错误！");
}

void TTwoBankEepromSetForm::FormKeyPress(QKeyEvent* event) {
  if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) return;
  const QString name = QString::fromStdString(ComParameter.Name);
  OutputError("Can't open " + name + " port!", "端口 " + name + " 打开错误！");
}

TVDH738EepromSetForm::TVDH738EepromSetForm(QWidget* owner) : TTwoBankEepromSetForm(H738Profile(), owner) {}
