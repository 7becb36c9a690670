#include "tools/PrintTest.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <functional>

#include "gui/DialogHelpers.h"
#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/DriverUnit.h"
#include "link/EepromControl.h"
#include "link/NetUnit.h"
#include "link/PortState.h"
#include "tools/Bundlerlatencytime.h"
#include "tools/ConsoleBox.h"
#include "tools/ConsoleCodec.h"
#include "tools/ConsoleDocument.h"
#include "ui_PrintTest.h"

using namespace torva::tools;
using torva::gui::WaitCursor;

namespace {

// The client area the console asks for at least.
constexpr int kClientWidth = 628;
constexpr int kClientHeight = 361;

const char* const kOpenFilter = "Print File(*.prn);;Text File(*.txt);;All File(*.*)";
const char* const kSaveFilter = "File(*.prn)";

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The reader's reports are shown for at most about this long at a time, and
// the bytes of at most this many in one append.
constexpr int kReportSliceMs = 10;
constexpr size_t kReportBatchBytes = 64 * 1024;

// A box's text at least this long is converted off the window's thread.
constexpr size_t kConvertOffThreadChars = 64 * 1024;

// Runs the conversion of a box's text: off the window's thread while the
// window paints when the text is long, else here.
void Convert(size_t chars, const std::function<void()>& work) {
  if (chars >= kConvertOffThreadChars)
    torva::gui::RunWhilePainting(work);
  else
    work();
}

std::span<const uint8_t> AsBytes(const QByteArray& data) {
  return {reinterpret_cast<const uint8_t*>(data.constData()), static_cast<size_t>(data.size())};
}

bool WriteBytes(WriteRoute route, int kind, int handle, const Bytes& bytes) {
  const int n = static_cast<int>(bytes.size());
  switch (route) {
    case WriteRoute::Common:
      return POSWritePort(kind, handle, bytes.data(), n);
    case WriteRoute::Net:
      return WriteNetPort(bytes.data(), n);
    case WriteRoute::Spooler:
      return WritePrinterDriver(handle, bytes.data(), n) == n;
    case WriteRoute::None:
      break;
  }
  return false;
}

// The keys the Input takes in hex mode: hex digits, space, Backspace, Enter
// and copy, paste, cut and undo. Keys that type nothing (arrows, Home, the
// function keys) and those that move the focus or close the dialog are not
// the filter's business.
bool HexKeyPasses(const QKeyEvent* key) {
  if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) || key->matches(QKeySequence::Cut) ||
      key->matches(QKeySequence::Undo))
    return true;
  switch (key->key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Delete:
      return true;
    default:
      break;
  }
  const QString text = key->text();
  if (text.isEmpty()) return true;
  if (text.size() != 1 || (key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) return false;
  const QChar c = text.front();
  return c == QLatin1Char(' ') || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
         (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'));
}

}  // namespace

TPrintTestForm::TPrintTestForm(QWidget* owner) : QDialog(owner), ui_(std::make_unique<Ui::TPrintTestForm>()) {
  ui_->setupUi(this);
  // Both boxes start in hex mode; the Receive box, read-only, keeps no undo
  // history of what arrives.
  ui_->CommandCombo->setMode(BoxMode::Hex);
  ui_->ReceiveMemo->setMode(BoxMode::Hex);
  ui_->ReceiveMemo->document()->setUndoRedoEnabled(false);
  // Fixed border, system menu (close box) only.
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  BundlerControlMenu = new QMenu(this);
  BundlerControlMenu->setObjectName("BundlerControlMenu");
  BundlerPresentMenu = BundlerControlMenu->addAction("Present");
  BundlerPresentMenu->setObjectName("BundlerPresentMenu");
  BundlerRetractMenu = BundlerControlMenu->addAction("Retract");
  BundlerRetractMenu->setObjectName("BundlerRetractMenu");
  BundlerlatencytimeMenu = BundlerControlMenu->addAction("Bundler WaitTime");
  BundlerlatencytimeMenu->setObjectName("BundlerlatencytimeMenu");

  connect(ui_->ExcuteCommandButton, &QPushButton::clicked, this, &TPrintTestForm::ExcuteCommandButtonClick);
  connect(ui_->HexFormatCheckBox, &QCheckBox::clicked, this, &TPrintTestForm::HexFormatCheckBoxClick);
  connect(ui_->HexFormatCheckBox1, &QCheckBox::clicked, this, &TPrintTestForm::HexFormatCheckBox1Click);
  connect(ui_->PrintFileButton, &QPushButton::clicked, this, &TPrintTestForm::PrintFileButtonClick);
  connect(ui_->SaveFileButton, &QPushButton::clicked, this, &TPrintTestForm::SaveFileButtonClick);
  connect(ui_->SaveFileButton1, &QPushButton::clicked, this, &TPrintTestForm::SaveFileButton1Click);
  connect(ui_->ClearButton1, &QPushButton::clicked, this, &TPrintTestForm::ClearButton1Click);
  connect(ui_->ClearButton2, &QPushButton::clicked, this, &TPrintTestForm::ClearButton2Click);
  connect(ui_->DisplayButton, &QPushButton::clicked, this, &TPrintTestForm::DisplayButtonClick);
  connect(ui_->PrinterResetButton, &QPushButton::clicked, this, &TPrintTestForm::PrinterResetButtonClick);
  connect(ui_->ClearButton, &QPushButton::clicked, this, &TPrintTestForm::ClearButtonClick);
  connect(ui_->CutButton, &QPushButton::clicked, this, &TPrintTestForm::CutButtonClick);
  connect(ui_->FeedPaperButton, &QPushButton::clicked, this, &TPrintTestForm::FeedPaperButtonClick);
  connect(ui_->SelfTestButton, &QPushButton::clicked, this, &TPrintTestForm::SelfTestButtonClick);
  connect(ui_->BundlerButton, &QPushButton::clicked, this, &TPrintTestForm::BundlerButtonClick);
  connect(BundlerPresentMenu, &QAction::triggered, this, &TPrintTestForm::BundlerPresentMenuClick);
  connect(BundlerRetractMenu, &QAction::triggered, this, &TPrintTestForm::BundlerRetractMenuClick);
  connect(BundlerlatencytimeMenu, &QAction::triggered, this, &TPrintTestForm::BundlerlatencytimeMenuClick);
  connect(ui_->ExitButton, &QPushButton::clicked, this, &TPrintTestForm::ExitButtonClick);
  ui_->CommandCombo->installEventFilter(this);
  BindHelpKey(this);

  SetCaptions();
  // A fixed border: the size the layout asks for in this language, at least
  // the console's client area.
  setFixedSize(minimumSizeHint().expandedTo(QSize(kClientWidth, kClientHeight)));
  FormCreate();
}

TPrintTestForm::~TPrintTestForm() { FormDestroy(); }

void TPrintTestForm::SetCaptions() {
  ApplyDialogFont(this);
  BundlerControlMenu->setFont(DialogFont());
  setWindowTitle(Tr2("User Command", "用户指令"));
  BundlerPresentMenu->setText(Tr2("Present", "吐纸"));
  BundlerRetractMenu->setText(Tr2("Retract", "回收"));
  BundlerlatencytimeMenu->setText(Tr2("Bundler WaitTime", "容纸器等待时间"));
  ui_->GroupBox2->setTitle(Tr2("Input", "发送区"));
  ui_->GroupBox1->setTitle(Tr2("Notice", "提示"));
  ui_->GroupBox4->setTitle(Tr2("Receive", "接收区"));
  ui_->GroupBox3->setTitle(Tr2("Command", "命令"));
  ui_->PrintFileButton->setText(Tr2("&Open File", "打开文件(&O)"));
  ui_->SaveFileButton->setText(Tr2("Sa&ve File", "保存文件(&V)"));
  ui_->SaveFileButton1->setText(Tr2("Sa&ve File", "保存文件(&V)"));
  ui_->ExcuteCommandButton->setText(Tr2("&Send", "发送(&S)"));
  ui_->ClearButton1->setText(Tr2("&Clear", "清空(&C)"));
  ui_->ClearButton2->setText(Tr2("C&lear", "清空(&L)"));
  ui_->HexFormatCheckBox->setText(Tr2("&Hex Format", "十六进制(&H)"));
  ui_->HexFormatCheckBox1->setText(Tr2("Hex &Format", "十六进制(&F)"));
  ui_->DisplayButton->setText(bDisplay ? Tr2("S&top", "停止(&T)") : Tr2("&Display", "显示(&D)"));
  ui_->PrinterResetButton->setText(Tr2("&Reset Printer", "打印机复位(&R)"));
  ui_->ClearButton->setText(Tr2("Cle&ar Error", "打印机排错(&A)"));
  ui_->BundlerButton->setText(Tr2("Bu&ndler", "容纸器(&N)"));
  ui_->FeedPaperButton->setText(Tr2("F&eed Paper", "打印机进纸(&E)"));
  ui_->CutButton->setText(Tr2("C&ut Paper", "打印机切纸(&U)"));
  ui_->SelfTestButton->setText(Tr2("&Print self-test", "打印自检页(&P)"));
  ui_->ExitButton->setText(Tr2("E&xit", "退出(&X)"));
  // The Display button keeps its width when its caption becomes "Stop".
  ui_->DisplayButton->setMinimumWidth(0);
  const QString display = ui_->DisplayButton->text();
  ui_->DisplayButton->setText(Tr2("S&top", "停止(&T)"));
  const int stopWidth = ui_->DisplayButton->sizeHint().width();
  ui_->DisplayButton->setText(display);
  ui_->DisplayButton->setMinimumWidth(std::max(stopWidth, ui_->DisplayButton->sizeHint().width()));
}

// --- opening and closing

void TPrintTestForm::FormCreate() {
  EnableByModel();
  OpenPort();
}

void TPrintTestForm::EnableByModel() {
  const int model = PrinterName.load();
  ui_->BundlerButton->setEnabled(model == ModelVDN512);
  ui_->SelfTestButton->setEnabled(model != ModelRWK201E);
  const bool cutAndClear = model != ModelRWK305GII;
  ui_->CutButton->setEnabled(cutAndClear);
  ui_->ClearButton->setEnabled(cutAndClear);
}

void TPrintTestForm::OpenPort() {
  const int kind = PortType.load();
  // Only the serial port is read on demand; the other kinds are read after a Send.
  ui_->DisplayButton->setEnabled(kind == PortCOM);
  const torva::link::PortOpen open = session_.Open();
  if (open.status == torva::link::PortOpenStatus::Failed) Output(OpenFailureLine(kind));
}

void TPrintTestForm::FormDestroy() {
  if (closed_) return;
  closed_ = true;
  bDisplay = false;
  // The reader first: it must not read a port that is closing.
  reader_.stopAndJoin();
  session_.Close();
}

void TPrintTestForm::done(int result) {
  {
    WaitCursor cursor;  // a USB read in progress ends with its time-out
    FormDestroy();
  }
  QDialog::done(result);
}

void TPrintTestForm::ExitButtonClick() { reject(); }

// --- the boxes

QString TPrintTestForm::inputText() const { return ToQString(ui_->CommandCombo->boxText()); }
void TPrintTestForm::setInputText(const QString& text) { ui_->CommandCombo->setBoxText(ToText(text)); }
QString TPrintTestForm::receiveText() const { return ToQString(ui_->ReceiveMemo->boxText()); }

QStringList TPrintTestForm::noticeLines() const {
  QStringList lines;
  const QTextDocument* doc = ui_->OutputInfor->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines << b.text();
  return lines;
}

void TPrintTestForm::OutputInformation(const QString& english, const QString& chinese) {
  ui_->OutputInfor->appendPlainText(IsEnglish() ? english : chinese);
}

void TPrintTestForm::Output(const LinePair& line) { OutputInformation(Q(line.english), Q(line.chinese)); }

void TPrintTestForm::AppendReceived(const Text& text) {
  if (text.empty()) return;
  // Laid out on from the box's last display line, at the end whatever the
  // caret or selection.
  ConsoleBox* box = ui_->ReceiveMemo;
  box->appendDisplay(DisplayText(text, box->mode(), box->lastLineColumn()));
}

void TPrintTestForm::ClearButton1Click() { ui_->CommandCombo->clear(); }
void TPrintTestForm::ClearButton2Click() {
  // What came before the click and waits to be shown goes with the box; the
  // reader's other reports still count.
  for (const ReaderReport& report : pendingReports_) {
    if (report.type == ReaderReport::Type::ReceiveFailed) Output(ReceiveFailureLine());
    if (report.type == ReaderReport::Type::Ended) endedGeneration_ = report.generation;
  }
  pendingReports_.clear();
  ui_->ReceiveMemo->clear();
  receivedText_.reset();
}

int TPrintTestForm::ReceiveColumn() const {
  // The pairs on the Receive box's last display line (what the dump put there).
  const QString block = ui_->ReceiveMemo->document()->lastBlock().text();
  int digits = 0;
  for (QChar c : QStringView(block).mid(block.lastIndexOf(QChar::LineSeparator) + 1))
    if (c.isLetterOrNumber()) ++digits;
  return digits / 2;
}

bool TPrintTestForm::ConvertBox(ConsoleBox* box, bool toHex) {
  const bool receive = box == ui_->ReceiveMemo;
  // Read a slice at a time while the window paints: a box may hold many MiB.
  const Text text = box->boxTextWhilePainting();
  const QFont font = box->font();
  // The Receive box in text mode may hold back a CR for the next read: it is
  // one of the box's bytes in hex, and a CR the box ends on is held back again
  // in text mode, so a CR LF split around the switch still shows as one break.
  const bool heldCr = receive && toHex && receivedText_.holdsCr();
  ReceivedText received;  // the Receive box's text mode after the switch
  const BoxMode mode = toHex ? BoxMode::Hex : BoxMode::Text;
  QThread* const windowThread = thread();
  QTextDocument* doc = nullptr;
  // Converted and laid out while the window paints.
  torva::gui::RunWhilePainting([&] {
    std::optional<Bytes> bytes = toHex ? NotationBytes(text) : ReadHexText(text);
    if (!bytes) return;
    if (heldCr) bytes->push_back(0x0D);
    // Hex in lines of sixteen pairs in both boxes (short display lines as
    // they are); text in display lines.
    const Text shown = toHex ? HexDump(*bytes)
                             : DisplayText(receive ? received.converted(*bytes) : NotationText(*bytes), mode);
    doc = BuildDocument(shown, font, !receive, windowThread);
  });
  if (!doc) return false;
  box->setMode(mode);
  box->install(doc);
  box->moveCursor(QTextCursor::End);  // typing goes on where the text ends
  if (receive) receivedText_ = received;
  return true;
}

void TPrintTestForm::HexFormatCheckBoxClick() {
  const bool toHex = ui_->HexFormatCheckBox->isChecked();
  if (ConvertBox(ui_->CommandCombo, toHex)) return;
  // The text stays as it was, and so does its mode.
  ui_->HexFormatCheckBox->setChecked(!toHex);
  Output(DataFormatErrorLine());
}

void TPrintTestForm::HexFormatCheckBox1Click() {
  const bool toHex = ui_->HexFormatCheckBox1->isChecked();
  // The reader goes on while the box converts, and the window's events run:
  // what it hands over meanwhile is held and added to the converted box, in
  // the box's new mode and in order (added to the old text, it would go with
  // it).
  HoldReports();
  const bool converted = ConvertBox(ui_->ReceiveMemo, toHex);
  if (!converted) {
    ui_->HexFormatCheckBox1->setChecked(!toHex);
    Output(DataFormatErrorLine());
  }
  ReleaseReports();
  // A CR the box ends on that no reader is left to decide is a lone one.
  if (readerIdle()) AppendReceived(receivedText_.flush());
}

void TPrintTestForm::HoldReports() { holdingReports_ = true; }

void TPrintTestForm::ReleaseReports() {
  holdingReports_ = false;
  ShowReports(kReportSliceMs);
  ScheduleReports();
}

bool TPrintTestForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ui_->CommandCombo && event->type() == QEvent::KeyPress && ui_->HexFormatCheckBox->isChecked() &&
      !HexKeyPasses(static_cast<QKeyEvent*>(event))) {
    QApplication::beep();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

// --- files

namespace {

enum class FileRead { Read, OpenFailed, TooLarge };

// Reads the chosen command file whole; a file over the console's bound is
// refused before it is read.
FileRead ReadCommandFile(const QString& path, QByteArray* data) {
  // Only a regular file is read (a FIFO or a device would block), and its
  // size is asked before its bytes, so a file over the bound is not read.
  const auto size = torva::gui::ReadRegularFile(path, 0);
  if (!size) return FileRead::OpenFailed;
  if (size->size > kConsoleFileLimitBytes) return FileRead::TooLarge;
  // One byte more than the bound tells a file that grew past it meanwhile.
  auto file = torva::gui::ReadRegularFile(path, kConsoleFileLimitBytes + 1);
  if (!file) return FileRead::OpenFailed;
  if (file->data.size() > kConsoleFileLimitBytes) return FileRead::TooLarge;
  *data = std::move(file->data);
  return FileRead::Read;
}

}  // namespace

void TPrintTestForm::PrintFileButtonClick() {
  torva::gui::FileDialogRequest request;
  request.filter = kOpenFilter;
  request.directory = ProgramFolder();
  request.mustExist = true;
  const QString path = torva::gui::ChooseFile(this, request);
  if (path.isEmpty()) return;
  // Read and converted while the window keeps painting: a file of several
  // MiB takes a while, and its lines are laid out only when shown.
  const bool hex = ui_->HexFormatCheckBox->isChecked();
  const QFont font = ui_->CommandCombo->font();
  FileRead read = FileRead::OpenFailed;
  QTextDocument* doc = nullptr;
  QThread* const windowThread = thread();
  torva::gui::RunWhilePainting([&] {
    QByteArray data;
    read = ReadCommandFile(path, &data);
    if (read != FileRead::Read) return;
    // Hex in lines of sixteen pairs; text in display lines, so a text
    // without CR LF still reads line by line and lays out at once.
    const std::span<const uint8_t> bytes = AsBytes(data);
    doc = BuildDocument(hex ? HexFileText(bytes) : DisplayText(NotationText(bytes), BoxMode::Text), font,
                        true, windowThread);
  });
  if (read == FileRead::TooLarge) {
    // Refused before reading: the Input keeps what it holds.
    Output(FileTooLargeLine(torva::gui::Quoted(path).toStdString()));
    return;
  }
  ui_->CommandCombo->clear();
  if (read == FileRead::OpenFailed) {
    OutputError("Fail to open file " + torva::gui::Quoted(path) + "!", QString::fromUtf8("文件 “") + path +
                                                                            QString::fromUtf8("”打开失败！"));
    return;
  }
  ui_->CommandCombo->setMode(hex ? BoxMode::Hex : BoxMode::Text);
  ui_->CommandCombo->install(doc);
  ui_->CommandCombo->moveCursor(QTextCursor::Start);
}

void TPrintTestForm::SaveBox(ConsoleBox* box, bool hex, const QString& path) {
  // Read a slice at a time, converted and written while the window paints.
  const Text text = box->boxTextWhilePainting();
  // The Receive box's CR held back for the next read is part of what came.
  const bool heldCr = box == ui_->ReceiveMemo && !hex && receivedText_.holdsCr();
  std::optional<Bytes> bytes;
  torva::gui::FileWrite written = torva::gui::FileWrite::OpenFailed;
  torva::gui::RunWhilePainting([&] {
    bytes = hex ? ReadHexText(text) : NotationBytes(text);
    if (!bytes) return;
    if (heldCr) bytes->push_back(0x0D);
    written = torva::gui::WriteWholeFile(path, *bytes);
  });
  if (!bytes) {
    // Nothing is written: the file keeps what it had.
    Output(DataFormatErrorLine());
    return;
  }
  if (written != torva::gui::FileWrite::Written)
    OutputInformation("Fail to save file " + torva::gui::Quoted(path) + "!",
                      QString::fromUtf8("文件 “") + path + QString::fromUtf8("”保存失败！"));
}

namespace {

// The save dialog of the two boxes, proposing proposedName (empty: none).
QString ChooseSavePath(QWidget* owner, const QString& proposedName) {
  torva::gui::FileDialogRequest request;
  request.save = true;
  request.filter = kSaveFilter;
  request.defaultSuffix = "prn";
  request.directory = ProgramFolder();
  request.fileName = proposedName;
  return torva::gui::ChooseFile(owner, request);
}

}  // namespace

void TPrintTestForm::SaveFileButtonClick() {
  const QString path = ChooseSavePath(this, QString());
  if (path.isEmpty()) return;
  saveFileName_ = QFileInfo(path).fileName();
  SaveBox(ui_->CommandCombo, ui_->HexFormatCheckBox->isChecked(), path);
}

void TPrintTestForm::SaveFileButton1Click() {
  // The last name chosen is proposed again.
  const QString path = ChooseSavePath(this, saveFileName_);
  if (path.isEmpty()) return;
  saveFileName_ = QFileInfo(path).fileName();
  // What the reader hands over while the box is read waits, and is shown after.
  HoldReports();
  SaveBox(ui_->ReceiveMemo, ui_->HexFormatCheckBox1->isChecked(), path);
  ReleaseReports();
}

// --- Send and the reader

void TPrintTestForm::ExcuteCommandButtonClick() {
  WaitCursor cursor;
  const int kind = PortType.load();
  const bool hex = ui_->HexFormatCheckBox->isChecked();
  // A long Input is read a slice at a time and converted off the window's
  // thread, the window painting meanwhile.
  const Text text = ui_->CommandCombo->boxTextWhilePainting();
  const bool recognise = PlanSend(kind, hex, {}).recognise;
  bool nothing = false;
  std::optional<Bytes> bytes;
  SendFlags flags;
  Convert(text.size(), [&] {
    nothing = hex ? IsEmptyHexSend(text) : text.empty();
    if (nothing) return;
    bytes = hex ? ReadHexText(text) : NotationBytes(text);
    if (!bytes || !recognise) return;
    ReplyCommandRecogniser recogniser;
    recogniser.feed(*bytes);
    flags = {recogniser.reply(), recogniser.special(), recogniser.wait()};
  });
  if (nothing) return;
  if (!bytes) {
    // Nothing made up is sent: a character the mode has no byte for.
    Output(DataFormatErrorLine());
    return;
  }
  if (bytes->empty()) return;  // only line breaks, or one lone digit

  if (hex && bytes->size() >= 2 && (*bytes)[0] == 0x1D && (*bytes)[1] == 0xE0) Include1DE0 = true;

  const SendPlan plan = PlanSend(kind, hex, flags);
  if (plan.route == WriteRoute::None) return;
  const int handle = torva::link::ConfiguredHandle(kind);
  // The write may wait long for the printer (30 s on a serial hex Send, 4 s
  // a stalled parallel port): the window keeps painting meanwhile, and the
  // user's input is dropped.
  bool written = false;
  torva::gui::RunWhilePainting([&] {
    // One reader at a time: a pass still running ends before the port is
    // written again (the serial Display keeps reading).
    if (kind != PortCOM) reader_.stopAndJoin();
    if (plan.serialWriteTimeoutMs >= 0) SetComWriteTimeout(handle, plan.serialWriteTimeoutMs);
    if (plan.usbTimeouts)
      CurrentPortLibraryCalls().SetUSBTimeouts(handle, kHexSendUsbFirstTimeout, kHexSendUsbSecondTimeout);
    written = WriteBytes(plan.route, kind, handle, *bytes);
  });
  if (!written) {
    Output(SendFailureLine(kind));
    // The connection stays closed until the console is opened again.
    if (plan.closeOnFailure) session_.Close();
    return;
  }
  Output(SendSuccessLine());
  if (plan.waitBeforeReader) torva::gui::RunWhilePainting([] { torva::PrinterDelay(kReplyWaitMs); });
  if (plan.startReader) StartReader();
}

void TPrintTestForm::StartReader() {
  reader_.start(CurrentReaderPort(), [this](const ReaderReport& report) {
    // Runs on the reader's thread: the report goes to the console's thread.
    QMetaObject::invokeMethod(this, [this, report] { OnReaderReport(report); }, Qt::QueuedConnection);
  });
}

void TPrintTestForm::OnReaderReport(const ReaderReport& report) {
  if (closed_) return;  // nothing reaches the boxes after the console closed
  // Shown in order, a batch at a time: a printer that streams hands over
  // reads faster than the box takes one append a read, and the window would
  // not paint until all waiting had been added.
  pendingReports_.push_back(report);
  ScheduleReports();
}

void TPrintTestForm::ScheduleReports() {
  if (showScheduled_ || holdingReports_ || pendingReports_.empty()) return;
  showScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    showScheduled_ = false;
    ShowReports(kReportSliceMs);
    ScheduleReports();
  });
}

void TPrintTestForm::ShowReports(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!pendingReports_.empty() && !holdingReports_ && !closed_) {
    // The bytes of the reads in a row, as one text in the box's mode.
    const bool hex = ui_->HexFormatCheckBox1->isChecked();
    int column = hex ? ReceiveColumn() : 0;
    Text text;
    size_t taken = 0;
    while (!pendingReports_.empty() && pendingReports_.front().type == ReaderReport::Type::Received &&
           taken < kReportBatchBytes) {
      const ReaderReport& report = pendingReports_.front();
      const std::span<const uint8_t> bytes(report.bytes);
      if (hex) {
        text += HexDump(bytes, column);
        column = static_cast<int>((column + bytes.size()) % kDumpPairsPerLine);
      } else if (report.kind == ReceivedKind::StatusRecord) {
        text += receivedText_.flush() + NotationText(bytes);  // a record is no half of a data pair
      } else {
        text += receivedText_.data(bytes);
      }
      taken += bytes.size();
      pendingReports_.pop_front();
    }
    AppendReceived(text);
    if (!pendingReports_.empty() && pendingReports_.front().type != ReaderReport::Type::Received) {
      const ReaderReport report = std::move(pendingReports_.front());
      pendingReports_.pop_front();
      if (report.type == ReaderReport::Type::ReceiveFailed) {
        Output(ReceiveFailureLine());
      } else {
        // Nothing more comes from this reader: a CR it ended on was a lone one.
        AppendReceived(receivedText_.flush());
        endedGeneration_ = report.generation;
      }
    }
    if (ms >= 0 && timer.elapsed() >= ms) break;
  }
}

void TPrintTestForm::DisplayButtonClick() {
  if (PortType.load() != PortCOM) return;
  if (bDisplay) {
    ui_->DisplayButton->setText(Tr2("&Display", "显示(&D)"));
    bDisplay = false;
    reader_.stopAndJoin();
  } else {
    ui_->DisplayButton->setText(Tr2("S&top", "停止(&T)"));
    bDisplay = true;
    StartReader();
  }
}

// --- the fixed commands

void TPrintTestForm::SendFixedCommand(FixedCommand id) {
  WaitCursor cursor;
  const int kind = PortType.load();
  const WriteRoute route = FixedCommandRoute(kind);
  if (route == WriteRoute::None) return;
  const FixedCommandRow& row = FixedCommandOf(id);
  // A reader still in its pass goes on: the libraries take a write beside a
  // read, and no new reader starts here.
  const int handle = torva::link::ConfiguredHandle(kind);
  bool ok = false;
  // As a Send: the window paints while the printer is waited for.
  torva::gui::RunWhilePainting([&] {
    if (kind == PortUSB && row.usbVendorRequest != 0)
      ok = CurrentPortLibraryCalls().SendSpecCommand(handle, row.usbVendorRequest) != 0;
    else
      ok = WriteBytes(route, kind, handle, row.bytes);
  });
  // A failed fixed command leaves the port open.
  Output(ok ? FixedSuccessLine(id, kind) : FixedFailureLine(id, kind));
}

void TPrintTestForm::PrinterResetButtonClick() { SendFixedCommand(FixedCommand::Reset); }
void TPrintTestForm::ClearButtonClick() { SendFixedCommand(FixedCommand::ClearError); }
void TPrintTestForm::CutButtonClick() { SendFixedCommand(FixedCommand::Cut); }
void TPrintTestForm::FeedPaperButtonClick() { SendFixedCommand(FixedCommand::Feed); }
void TPrintTestForm::SelfTestButtonClick() { SendFixedCommand(FixedCommand::SelfTest); }
void TPrintTestForm::BundlerPresentMenuClick() { SendFixedCommand(FixedCommand::BundlerPresent); }
void TPrintTestForm::BundlerRetractMenuClick() { SendFixedCommand(FixedCommand::BundlerRetract); }

void TPrintTestForm::BundlerlatencytimeMenuClick() {
  // Writes through this console's connection and leaves it open.
  TBundlerlatencytimeForm dialog(this, true);
  dialog.exec();
}

void TPrintTestForm::BundlerButtonClick() { BundlerControlMenu->popup(QCursor::pos()); }
