#include "status/StatusDialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTimer>

#include "gui/DialogHelpers.h"
#include "gui/Messages.h"
#include "gui/TrayHandoff.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "status/StatusRecord8.h"

// The indicator pictures live in this library's resource file; a static
// library needs its resources registered by hand.
static void InitStatusResources() { Q_INIT_RESOURCE(status); }

namespace torva::status {

namespace {
PlainMessageRecorder* g_plainRecorder = nullptr;
// The status threads poll serial, USB device and USB printer (through the
// printer-class call; the VD-K773 dialog opens its custom channel itself).
constexpr link::PortSessionPlan kPlainPollingPlan{
    .kinds = link::KindBit(PortCOM) | link::KindBit(PortUSB) | link::KindBit(PortUSBPrinter),
    .usbPrinter = link::UsbPrinterOpen::Plain};
const char* const kGlyphProperty = "torvaGlyph";
}  // namespace

std::optional<bool> StatusDialog::trayAvailableOverride;

QPixmap GlyphPixmap(Glyph g) {
  static const bool loaded = (InitStatusResources(), true);
  (void)loaded;
  switch (g) {
    case Glyph::Error: return QPixmap(":/status/Error.png");
    case Glyph::OK: return QPixmap(":/status/OK.png");
    case Glyph::Init: return QPixmap(":/status/Init.png");
    case Glyph::None: break;
  }
  return QPixmap();
}

PlainMessageRecorder::PlainMessageRecorder() : outer_(g_plainRecorder) { g_plainRecorder = this; }
PlainMessageRecorder::~PlainMessageRecorder() { g_plainRecorder = outer_; }

void ShowPlainMessage(const QString& english, const QString& chinese) {
  if (g_plainRecorder) {
    if (Language == "English")
      g_plainRecorder->texts << english;
    else if (Language == "Chinese")
      g_plainRecorder->texts << chinese;
    return;
  }
  ShowMessage(MessageKind::Plain, english, chinese);
}

QString NoStatusText() {
  return Tr2("No printer status can be read over this port.", "此端口不能读取打印机状态");
}

StatusDialog::StatusDialog(QWidget* parent) : QDialog(parent) {
  InitStatusResources();
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

StatusDialog::~StatusDialog() {
  poller_.stopAndJoin();
  if (tray_) {
    tray_->hide();
    delete tray_;
    tray_ = nullptr;
  }
}

void StatusDialog::BindControls(const Controls& c) {
  c_ = c;
  for (QCheckBox* b : c_.bits) {
    // Display only: the boxes show bits, the user does not tick them.
    b->setAttribute(Qt::WA_TransparentForMouseEvents);
    b->setFocusPolicy(Qt::NoFocus);
  }
  // FormCreate: every indicator image gets the Init glyph.
  for (QLabel* img : c_.initOnCreate) SetImage(img, Glyph::Init);
  if (c_.start) connect(c_.start, &QAbstractButton::clicked, this, [this] { StartClick(); });
  if (c_.stop) connect(c_.stop, &QAbstractButton::clicked, this, [this] { StopClick(); });
  if (c_.exit) connect(c_.exit, &QAbstractButton::clicked, this, [this] { ExitClick(); });
  BindHelpKey(this);
  setFixedSize(size());
}

int StatusDialog::RunModal() {
  setWindowModality(Qt::ApplicationModal);
  finished_ = false;
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  if (!finished_) loop.exec();
  return result();
}

namespace {
// A word-wrapped caption fits its box when the wrapped text fits its height
// and every piece between blanks fits a line. A Chinese caption has no
// blanks: it fits on one line or not at all, never broken inside a word.
bool CaptionFits(const QLabel* l) {
  const QFontMetrics fm(l->font());
  const int room = l->contentsRect().width() - 2 * l->margin();
  for (const QString& piece : l->text().split(QRegularExpression("\\s+"), Qt::SkipEmptyParts))
    if (fm.horizontalAdvance(piece) > room) return false;
  return l->heightForWidth(l->width()) <= l->height();
}
}  // namespace

void StatusDialog::FitCaptions() {
  for (QLabel* l : findChildren<QLabel*>()) {
    if (!l->wordWrap() || l->text().isEmpty()) continue;
    QFont f = l->parentWidget() ? l->parentWidget()->font() : font();
    l->setFont(f);
    while (!CaptionFits(l) && f.pointSizeF() > 6) {
      f.setPointSizeF(f.pointSizeF() - 0.5);
      l->setFont(f);
    }
  }
}

void StatusDialog::SetImage(QLabel* image, Glyph g) {
  if (!image) return;
  image->setPixmap(GlyphPixmap(g));
  image->setProperty(kGlyphProperty, static_cast<int>(g));
}

Glyph StatusDialog::ImageGlyph(const QString& name) const {
  for (QLabel* img : c_.images) {
    if (img->objectName() == name) {
      const QVariant v = img->property(kGlyphProperty);
      return v.isValid() ? static_cast<Glyph>(v.toInt()) : Glyph::None;
    }
  }
  return Glyph::None;
}

QStringList StatusDialog::MemoLines() const {
  if (!c_.memo) return {};
  const QString text = c_.memo->toPlainText();
  return text.isEmpty() ? QStringList() : text.split('\n');
}

void StatusDialog::SetPollOverrides(int intervalMs, int serialTimeoutMs) {
  intervalOverride_ = intervalMs;
  timeoutOverride_ = serialTimeoutMs;
}

QWidget* StatusDialog::MainWindow() const { return parentWidget() ? parentWidget()->window() : nullptr; }

void StatusDialog::InitView() {
  if (closing_) return;
  for (QLabel* img : c_.initOnCreate) SetImage(img, Glyph::Init);
  if (c_.memo) c_.memo->clear();
  if (decoder_) decoder_->viewWasReset();
}

void StatusDialog::InitView1() {
  if (closing_) return;
  if (c_.start) c_.start->setEnabled(true);
  if (c_.stop) c_.stop->setEnabled(false);
  if (c_.exit) c_.exit->setEnabled(true);
}

int StatusDialog::ReopenPlainPort() {
  const link::PortOpen port = link::OpenConfiguredPort(kPlainPollingPlan);
  return port.status == link::PortOpenStatus::NotServed ? 0 : port.handle;
}

void StatusDialog::StartClick() {
  if (closing_) return;
  if (c_.start) c_.start->setEnabled(false);
  if (c_.stop) c_.stop->setEnabled(true);
  if (c_.exit) c_.exit->setEnabled(false);
  // A run still ending is waited for, so a quick Stop then Start never
  // leaves two pollers on one port.
  poller_.stopAndJoin();
  generation_ = 0;

  const int kind = PortType.load();
  const int handle = ReopenPort();
  if (handle == -1) {
    if (kind == PortCOM || kind == PortUSB || kind == PortUSBPrinter)
      OutputWarning(QString::fromUtf8("Fail to get the status of printer\n\rPlease check the communication between "
                                      "the printer and PC!"),
                    QString::fromUtf8("获取打印机状态失败\n\r请检查打印机通讯是否正常！"));
    InitView1();
    return;
  }
  PollSetup setup;
  setup.layout = FourByteLayout(Layout::VD, PrinterName.load());
  const bool canPoll = CanPollPort(kind);
  if (!canPoll || !MakePollSetup(setup)) {
    // Nothing can be read here: say so instead of showing an all-clear view.
    InitView();
    if (!canPoll && c_.memo) c_.memo->setPlainText(NoStatusText());
    InitView1();
    return;
  }
  setup.plan.portType = kind;
  setup.plan.handle = handle;
  if (intervalOverride_ >= 0) setup.plan.intervalMs = intervalOverride_;
  if (timeoutOverride_ >= 0) setup.plan.serialTimeoutMs = timeoutOverride_;
  // A new run shows nothing of the run before: every label reads "00H" and
  // the decoder writes every image and every label whose byte is not zero.
  decoder_ = std::make_unique<StatusDecoder>(std::move(setup.layout));
  setup.plan.recordLength = static_cast<int>(decoder_->recordLength());
  for (QLabel* label : c_.hexLabels) label->setText(QString::fromStdString(HexLabelText(0)));

  generation_ = poller_.start(setup.plan, [this](const PollReport& r) {
    // On the polling thread: hand the report to the dialog's thread. The
    // dialog joins the thread before it goes, so `this` is alive here, and a
    // call still queued when it goes is dropped with it.
    QMetaObject::invokeMethod(this, [this, r] { OnReport(r); }, Qt::QueuedConnection);
  });
  if (generation_ == 0) {
    InitView1();  // the plan names nothing this engine can poll
  }
}

void StatusDialog::StopClick() {
  if (c_.stop) c_.stop->setEnabled(false);
  if (poller_.running()) {
    poller_.requestStop();  // Start and Exit come back when the thread has ended
  } else {
    poller_.stopAndJoin();
    InitView1();
  }
}

void StatusDialog::ExitClick() {
  poller_.requestStop();
  done(QDialog::Rejected);
}

void StatusDialog::FormClose() {
  if (closing_) return;
  closing_ = true;
  // The thread ends before the port closes, so it never polls a closed
  // handle or closes one that a later dialog owns.
  poller_.requestStop();
  // The pause and the thread's end (a USB status call finishes first) are
  // waited for while the windows keep painting.
  const int pause = CloseWaitMs();
  torva::gui::RunWhilePainting([this, pause] {
    if (pause > 0) torva::PrinterDelay(pause);
    poller_.stopAndJoin();
  });
  ClosePortOnClose();
  if (tray_) {
    tray_->hide();
    tray_->deleteLater();
    tray_ = nullptr;
  }
}

void StatusDialog::ClosePortOnClose() { ClosePlainPort(); }

void ClosePlainPort() { link::CloseConfiguredPort(kPlainPollingPlan); }

void StatusDialog::SendStatusReset(const uint8_t* bytes, int length) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const int kind = PortType.load();
  const QString name = QString::fromStdString(kind == PortUSB ? USBParameter.Name : ComParameter.Name);
  const QString lptNumber = QString::number(LPTParameter.Number);
  // Serial, parallel and USB device send; other kinds send nothing. The port
  // is closed in every case, the spooler queue included.
  static constexpr link::PortSessionPlan kResetPlan{
      .kinds = link::KindBit(PortCOM) | link::KindBit(PortLPT) | link::KindBit(PortUSB)};
  const link::PortOpen port = link::OpenConfiguredPort(kResetPlan);
  if (port.status == link::PortOpenStatus::Failed) {
    QApplication::restoreOverrideCursor();
    if (kind == PortLPT)
      OutputError(QStringLiteral("Can't open LPT%1 port!").arg(lptNumber),
                  QString::fromUtf8("端口 LPT%1 打开错误！").arg(lptNumber));
    else
      OutputError(QStringLiteral("Can't open %1 port!").arg(name), QString::fromUtf8("端口 %1 打开错误！").arg(name));
    return;
  }
  if (port.opened() && !POSWritePort(kind, port.handle, bytes, length)) {
    if (kind == PortLPT)
      OutputError(QStringLiteral("Write LPT%1 port error!").arg(lptNumber),
                  QString::fromUtf8("端口 LPT%1 发送数据失败！").arg(lptNumber));
    else
      OutputError(QStringLiteral("Write %1 port error!").arg(name), QString::fromUtf8("端口 %1 发送数据失败！").arg(name));
  }
  static constexpr link::PortSessionPlan kResetClosePlan{
      .kinds = kResetPlan.kinds | link::KindBit(PortDriver)};
  link::CloseConfiguredPort(kResetClosePlan);
  QApplication::restoreOverrideCursor();
}

void StatusDialog::done(int r) {
  FormClose();
  finished_ = true;
  QDialog::done(r);
}

void StatusDialog::ReportPollFailure() {
  // The failure is shown with the windows it belongs to: a dialog hidden in
  // the tray comes back with the main window first.
  if (bMinimize.load() || plainMinimized_) RestoreFromTray();
  ShowPollFailure();
}

void StatusDialog::OnReport(const PollReport& report) {
  if (report.generation != generation_ || closing_) return;
  switch (report.event) {
    case PollEvent::Record: ShowRecord(report.record); break;
    case PollEvent::Failure: ReportPollFailure(); break;
    case PollEvent::FirstSendFailed:
      ReportPollFailure();
      if (report.generation != generation_ || closing_) return;
      poller_.stopAndJoin();
      InitView();
      InitView1();
      emit pollingEnded();
      break;
    case PollEvent::Ended:
      poller_.stopAndJoin();
      if (ClearBitsAtEnd()) ClearLabelsAtEnd();
      InitView();
      InitView1();
      emit pollingEnded();
      break;
  }
}

void StatusDialog::ClearLabelsAtEnd() {
  SetBits({});
  if (decoder_) {
    for (const auto& w : decoder_->clearLabels())
      if (w.index < c_.hexLabels.size()) c_.hexLabels[w.index]->setText(QString::fromStdString(w.text));
  }
}

void StatusDialog::SetBits(const std::vector<uint8_t>& record) {
  for (int i = 0; i < c_.bits.size(); ++i) {
    const size_t byte = static_cast<size_t>(i / 8);
    const int bit = 7 - i % 8;
    const bool on = byte < record.size() && ((record[byte] >> bit) & 1);
    if (c_.bits[i]->isChecked() != on) c_.bits[i]->setChecked(on);
  }
}

void StatusDialog::ShowRecord(const std::vector<uint8_t>& record) {
  if (!decoder_) return;
  const DecodeResult r = decoder_->decode(record, MemoLanguageOf(Language));
  // Widgets repaint what changed; nothing is redrawn for an unchanged record.
  SetBits(record);
  for (const auto& w : r.labels)
    if (w.index < c_.hexLabels.size()) c_.hexLabels[w.index]->setText(QString::fromStdString(w.text));
  if (c_.memo) {
    // The memo is rebuilt from every record; it is rewritten only when its
    // lines differ, which shows the same and spares a redraw per poll.
    QStringList lines;
    for (const auto& line : r.memo) lines << QString::fromStdString(line);
    if (lines != MemoLines()) c_.memo->setPlainText(lines.join('\n'));
  }
  for (const auto& w : r.images) {
    const QString name = QString::fromStdString(w.image);
    for (QLabel* img : c_.images)
      if (img->objectName() == name) SetImage(img, w.glyph);
  }
  if (r.restore && bMinimize.load()) RestoreFromTray();
  emit recordShown(QByteArray(reinterpret_cast<const char*>(record.data()), static_cast<int>(record.size())));
}

void StatusDialog::ShowPollFailure() {
  ShowPlainMessage(QString::fromUtf8("Fail to get the status of printer\n\rPlease check the communication between the "
                                     "printer and PC!"),
                   QString::fromUtf8("获取打印机信息失败\n\r请检查打印机通讯是否正常！"));
}

void StatusDialog::ShowFailureAfterRestore() {
  if (bMinimize.load()) RestoreFromTray();
  OutputError(QString::fromUtf8("Fail to get the status of printer\n\rPlease check the communication between the "
                                "printer and PC!"),
              QString::fromUtf8("获取打印机信息失败\n\r请检查打印机通讯是否正常！"));
}

// ---- tray -------------------------------------------------------------------------------

bool StatusDialog::TrayAvailable() const {
  if (trayAvailableOverride) return *trayAvailableOverride;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool StatusDialog::TrayIconVisible() const { return tray_ && tray_->isVisible(); }

void StatusDialog::MinimizeToTray() {
  if (!TrayAvailable()) {
    plainMinimized_ = true;
    bMinimize = true;
    if (!isMinimized()) showMinimized();
    return;
  }
  gui::ClaimTray(this);
  // Told twice: the windows are already behind the icon.
  const bool inTray = tray_ && tray_->isVisible();
  if (!tray_) {
    tray_ = new QSystemTrayIcon(this);
    connect(tray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
      // A left click, a double click or a right click brings the windows back.
      if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick ||
          reason == QSystemTrayIcon::Context)
        RestoreFromTray();
    });
  }
  QIcon icon = MainWindow() ? MainWindow()->windowIcon() : QIcon();
  if (icon.isNull()) icon = QApplication::windowIcon();
  if (icon.isNull()) icon = QIcon(GlyphPixmap(Glyph::OK));
  if (!inTray) {
    tray_->setIcon(icon);
    tray_->setToolTip(QStringLiteral("TORVAConsole"));
    tray_->show();
  }
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  hide();
  bMinimize = true;
  if (QWidget* main = MainWindow()) {
    // Iconified by the window manager with the dialog: hidden, and no longer
    // iconified, so it comes back as an ordinary window.
    if (main->isMinimized()) main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
    main->hide();
  }
}

void StatusDialog::FollowMainIntoTray() {
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  hide();
  QPointer<StatusDialog> self(this);
  gui::FollowTrayClaimant(this, [self] {
    if (!self || self->finished_) return;
    self->show();
    self->raise();
    self->activateWindow();
  });
}

void StatusDialog::RestoreFromTray() {
  gui::EndTrayClaim();
  if (tray_) {
    tray_->hide();
    tray_->deleteLater();  // may be inside its own activated signal
    tray_ = nullptr;
  }
  bMinimize = false;
  if (plainMinimized_) {
    plainMinimized_ = false;
    showNormal();
    raise();
    activateWindow();
    return;
  }
  if (QWidget* main = MainWindow()) {
    if (main->isMinimized()) main->setWindowState(main->windowState() & ~Qt::WindowMinimized);
    main->show();
  }
  if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
}

void StatusDialog::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if (isMinimized()) {
    // The first window told claims the tray at once; told after the main
    // window, the dialog follows it instead of adding a second icon.
    if (!plainMinimized_ && TrayAvailable()) {
      if (gui::ClaimTray(this))
        QTimer::singleShot(0, this, [this] { MinimizeToTray(); });
      else
        QTimer::singleShot(0, this, [this] { FollowMainIntoTray(); });
    } else if (!plainMinimized_) {
      plainMinimized_ = true;
      bMinimize = true;
    }
  } else if (plainMinimized_) {
    // Brought back by the user: no longer hidden.
    plainMinimized_ = false;
    bMinimize = false;
  }
}

}  // namespace torva::status
