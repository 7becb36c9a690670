#include "shell/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolButton>

#include "link/COMUnit.h"
#include "link/DriverUnit.h"
#include "link/EepromControl.h"
#include "link/LPTUnit.h"
#include "link/NetUnit.h"
#include "link/ParReverse.h"
#include "link/PortSession.h"
#include "link/USBUnit.h"
#include "shell/About.h"
#include "shell/ConnectionTest.h"
#include "gui/DialogGuard.h"
#include "gui/DialogHelpers.h"
#include "shell/DialogOpeners.h"
#include "gui/Messages.h"
#include "gui/TrayHandoff.h"
#include "shell/PrinterIni.h"
#include "shell/EditorDispatch.h"
#include "link/UsbPrinterHandle.h"
#include "shell/StatusDispatch.h"
#include "shell/ToolDispatch.h"
#include "ui_MainForm.h"

TMainForm* MainForm = nullptr;
std::optional<bool> TMainForm::trayAvailableOverride;

namespace {
// Client area of the window: the tool band of seven 93 x 81 buttons.
constexpr int kClientWidth = 670;

struct CaptionPair {
  const char* english;
  const char* chinese;
};
}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent), ui(new Ui::TMainForm) {
  // The icons live in the resource library, which nothing else references.
  Q_INIT_RESOURCE(shell);
  ui->setupUi(this);
  MainForm = this;

  // Fixed border, system menu and minimise box only.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setWindowIcon(QIcon(":/shell/torva.png"));

  // Status bar: port text, printer text, clock. The printer panel has no
  // width: the port-setting dialog writes only the label "Driver:" there,
  // which is kept (PanelText) but never shown.
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(this);
    panels_[i]->setTextFormat(Qt::PlainText);  // port and printer names, as found
    panels_[i]->setObjectName(QString("PortInforStatusPanel%1").arg(i));
  }
  panels_[0]->setFixedWidth(300);
  panels_[1]->hide();
  panels_[2]->setMinimumWidth(50);
  ui->PortInforStatus->addWidget(panels_[0]);
  ui->PortInforStatus->addWidget(panels_[1]);
  ui->PortInforStatus->addWidget(panels_[2], 1);

  connect(ui->SpeedButton_PortSet, &QToolButton::clicked, this, &TMainForm::SpeedButton_PortSetClick);
  connect(ui->SpeedButton_Monitot, &QToolButton::clicked, this, &TMainForm::SpeedButton_MonitotClick);
  connect(ui->SpeedButton_PrintTest, &QToolButton::clicked, this, &TMainForm::SpeedButton_PrintTestClick);
  connect(ui->SpeedButton_CheckMark, &QToolButton::clicked, this, &TMainForm::SpeedButton_CheckMarkClick);
  connect(ui->SpeedButton_FirmwareUpdate, &QToolButton::clicked, this, &TMainForm::SpeedButton_FirmwareUpdateClick);
  connect(ui->SpeedButton_EepromSet, &QToolButton::clicked, this, &TMainForm::SpeedButton_EepromSetClick);
  connect(ui->SpeedButton_Exit, &QToolButton::clicked, this, &TMainForm::SpeedButton_ExitClick);

  connect(ui->PortSettingMenu, &QAction::triggered, this, &TMainForm::SpeedButton_PortSetClick);
  connect(ui->PortCloseMenu, &QAction::triggered, this, &TMainForm::PortCloseMenuClick);
  connect(ui->ExitMenu, &QAction::triggered, this, &TMainForm::ExitMenuClick);
  connect(ui->PrinterStatusMenu, &QAction::triggered, this, &TMainForm::SpeedButton_MonitotClick);
  connect(ui->ADConverterMenu, &QAction::triggered, this, &TMainForm::ADConverterMenuClick);
  connect(ui->PrinterInformationMenu, &QAction::triggered, this, &TMainForm::PrinterInformationMenuClick);
  connect(ui->PrinterResetMenu, &QAction::triggered, this, &TMainForm::PrinterResetMenuClick);
  connect(ui->PrinterClearMenu, &QAction::triggered, this, &TMainForm::PrinterClearMenuClick);
  connect(ui->FeedPaperMenu, &QAction::triggered, this, &TMainForm::FeedPaperMenuClick);
  connect(ui->CutMenu, &QAction::triggered, this, &TMainForm::CutMenuClick);
  connect(ui->BundlerPresentMenu, &QAction::triggered, this, &TMainForm::BundlerPresentMenuClick);
  connect(ui->BundlerRetractMenu, &QAction::triggered, this, &TMainForm::BundlerRetractMenuClick);
  connect(ui->bundlerlatencytimeMenu, &QAction::triggered, this, &TMainForm::bundlerlatencytimeMenuClick);
  connect(ui->PrintTestMenu, &QAction::triggered, this, &TMainForm::SpeedButton_PrintTestClick);
  connect(ui->CheckMarkMenu, &QAction::triggered, this, &TMainForm::SpeedButton_CheckMarkClick);
  connect(ui->FirmwareUpdateMenu, &QAction::triggered, this, &TMainForm::SpeedButton_FirmwareUpdateClick);
  connect(ui->EepromSetMenu, &QAction::triggered, this, &TMainForm::SpeedButton_EepromSetClick);
  connect(ui->EnglishMenu, &QAction::triggered, this, &TMainForm::EnglishMenuClick);
  connect(ui->ChineseMenu, &QAction::triggered, this, &TMainForm::ChineseMenuClick);
  connect(ui->HelpChmMenu, &QAction::triggered, this, &TMainForm::HelpChmMenuClick);
  connect(ui->AboutMenu, &QAction::triggered, this, &TMainForm::AboutMenuClick);

  BindHelpKey(this);
  // The program ends with its main window (the close box, Exit), never
  // because no window is visible: a status dialog hides itself and this
  // window behind its tray icon, and a box shown meanwhile would otherwise
  // end the program when it closes.
  QApplication::setQuitOnLastWindowClosed(false);
  FormCreate();
}

TMainForm::~TMainForm() {
  if (clock_) clock_->stop();
  if (tray_) tray_->hide();
  if (MainForm == this) MainForm = nullptr;
  delete ui;
}

void TMainForm::FormCreate() {
  const QString stored = ReadIniLanguage();  // "-1" when the file or key is missing
  // Start values of the port and model state; Language follows the file.
  ResetPortState();
  iReadType = 0;
  is773Costom = 0;
  Language = stored == "English" ? "English" : "Chinese";
  ApplyToolkitLanguage(QString::fromStdString(Language));
  SetCaptions(Language, 'E');
  SetPanelText(0, Tr2("Port:", "端口:"));
  SetPanelText(2, Tr2("Current Time:", "时间:"));

  // Marks the main window for the status dialogs and the second instance.
  setProperty("TORVAConsole", 1);

  // Fixed size, centred on the desktop.
  ui->centralwidget->setFixedWidth(kClientWidth);
  adjustSize();
  setFixedSize(sizeHint().expandedTo(QSize(kClientWidth, 0)));
  if (QScreen* screen = QApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }

  // The clock: once a second, from now on.
  clock_ = new QTimer(this);
  clock_->setInterval(1000);
  connect(clock_, &QTimer::timeout, this, &TMainForm::ClockUpdate);
  clock_->start();
  ClockUpdate();
}

void TMainForm::SetCaptions(const std::string& language, char eepromMnemonic) {
  const bool english = language == "English";
  auto pick = [english](CaptionPair p) { return QString::fromUtf8(english ? p.english : p.chinese); };

  const QFont font = DialogFontFor(QString::fromStdString(language));
  setFont(font);
  ui->MainMenu1->setFont(font);
  for (QMenu* menu : findChildren<QMenu*>()) menu->setFont(font);

  ui->SpeedButton_PortSet->setText(pick({"&Port Setting", "端口设置(&P)"}));
  ui->SpeedButton_Monitot->setText(pick({"Status &Monitor", "状态监控(&M)"}));
  ui->SpeedButton_PrintTest->setText(pick({"&User Command", "用户指令(&U)"}));
  ui->SpeedButton_CheckMark->setText(pick({"&Check Mark", "黑标校验(&C)"}));
  ui->SpeedButton_FirmwareUpdate->setText(pick({"&Download", "下载(&D)"}));
  ui->SpeedButton_EepromSet->setText(english ? QString("&Eeprom Set")
                                             : QString::fromUtf8("Eeprom配置(&%1)").arg(QChar(eepromMnemonic)));
  ui->SpeedButton_Exit->setText(pick({"E&xit", "退出(&X)"}));

  ui->FileMenu->setTitle(pick({"&File", "文件(&F)"}));
  ui->PortSettingMenu->setText(pick({"Open Port", "打开端口"}));
  ui->PortCloseMenu->setText(pick({"Close Port", "关闭端口"}));
  ui->ExitMenu->setText(pick({"Exit", "退出"}));
  ui->StatusMonitorMenu->setTitle(pick({"P&rinter Status", "打印机状态(&R)"}));
  ui->PrinterStatusMenu->setText(pick({"Status Monitor", "状态监控"}));
  ui->ADConverterMenu->setText(pick({"AD Converter", "AD转换"}));
  ui->PrinterInformationMenu->setText(pick({"Printer Infor", "打印机信息"}));
  ui->TestMenu->setTitle(pick({"&Test", "调测(&T)"}));
  ui->PrinterResetMenu->setText(pick({"Reset Printer", "打印机复位"}));
  ui->PrinterClearMenu->setText(pick({"Clear Error", "打印机排错"}));
  ui->FeedPaperMenu->setText(pick({"Feed Paper", "走纸"}));
  ui->CutMenu->setText(pick({"Cut", "切纸"}));
  ui->BundlerMenu->setTitle(pick({"Bundler", "容纸器"}));
  ui->BundlerPresentMenu->setText(pick({"Present", "吐纸"}));
  ui->BundlerRetractMenu->setText(pick({"Retract", "回收"}));
  ui->bundlerlatencytimeMenu->setText(pick({"Bundler WaitTime", "容纸器等待时间"}));
  ui->PrintTestMenu->setText(pick({"User Command", "用户指令"}));
  ui->CheckMarkMenu->setText(pick({"Check Mark", "黑标校验"}));
  ui->PrinterSettingMenu->setTitle(pick({"&Setting", "设置(&S)"}));
  ui->FirmwareUpdateMenu->setText(pick({"Download", "下载"}));
  ui->EepromSetMenu->setText(pick({"Eeprom Set", "Eeprom配置"}));
  ui->LanguageMenu->setTitle(pick({"&Language", "语言(&L)"}));
  ui->EnglishMenu->setText("English");
  ui->ChineseMenu->setText(pick({"Simplified Chinese", "简体中文"}));
  ui->HelpMenu->setTitle(pick({"&Help", "帮助(&H)"}));
  ui->HelpChmMenu->setText(pick({"TORVAConsole Help", "TORVAConsole 帮助"}));
  ui->AboutMenu->setText(pick({"About", "关于"}));

  ui->EnglishMenu->setChecked(english);
  ui->ChineseMenu->setChecked(!english);
}

void TMainForm::SetPanelText(int index, const QString& text) {
  if (index < 0 || index > 2) return;
  panels_[index]->setText(text);
}

QString TMainForm::PanelText(int index) const {
  if (index < 0 || index > 2) return {};
  return panels_[index]->text();
}

QString ClockTimeText(const QLocale& locale, const QTime& time) {
  // The long format names the time zone ("t", in some locales in brackets):
  // leave it out, keep everything else as the locale writes it.
  const QString format = locale.timeFormat(QLocale::LongFormat);
  QString kept;
  bool quoted = false;
  for (const QChar ch : format) {
    if (ch == QLatin1Char('\'')) quoted = !quoted;
    if (!quoted && ch == QLatin1Char('t')) continue;
    kept += ch;
  }
  kept.remove(QStringLiteral("[]"));
  kept.remove(QStringLiteral("()"));
  return locale.toString(time, kept.simplified());
}

void TMainForm::ClockUpdate() {
  const QString now = ClockTimeText(QLocale::system(), QTime::currentTime());
  const QString prefix = ReadIniLanguage() == "English" ? "Current Time:" : QString::fromUtf8("时间:");
  SetPanelText(2, prefix + now);
}

// --- language

void TMainForm::SwitchLanguage(const std::string& language) {
  // The file first: when it cannot be written, nothing changes, so the
  // clock (which follows the file) and the captions keep agreeing.
  if (!WriteIniLanguage(QString::fromStdString(language))) {
    // The menu has already toggled the item the user chose; put the check
    // marks back on the language that stays.
    ui->EnglishMenu->setChecked(IsEnglish());
    ui->ChineseMenu->setChecked(!IsEnglish());
    // Said in the language the user asked for, which is the one they read.
    const QString path = PrinterIniWritePath();
    ShowMessageIn(language, MessageKind::Error,
                  "Fail to save the language to file \"" + path + "\"! The language is not changed.",
                  QString::fromUtf8("语言保存到文件“") + path + QString::fromUtf8("”失败！语言未改变。"));
    return;
  }
  Language = language;
  ApplyToolkitLanguage(QString::fromStdString(language));
  SetCaptions(language, 'N');
  SetPanelText(0, Tr2("Port:", "端口:") + QString::fromStdString(PortDisplay));
  SetPanelText(2, Tr2("Current Time:", "时间:"));
}

void TMainForm::EnglishMenuClick() { SwitchLanguage("English"); }
void TMainForm::ChineseMenuClick() { SwitchLanguage("Chinese"); }

// --- ending, help, About

void TMainForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) QApplication::quit();
}

void TMainForm::SpeedButton_ExitClick() { QApplication::quit(); }
void TMainForm::ExitMenuClick() { QApplication::quit(); }

void TMainForm::HelpChmMenuClick() { HelpMenuOpen(); }

void TMainForm::AboutMenuClick() {
  TAboutForm about(this);
  about.exec();
}

// --- one-shot sends

namespace {
// The one-shot sends reopen every kind; their close leaves the Ethernet
// connection and the USB printer to Close Port (the next send closes and
// reopens the USB printer). The USB printer opens by name, whatever mode.
constexpr torva::link::PortSessionPlan kOneShotPlan{
    .kinds = torva::link::kAllPortKinds,
    .keepOpen = torva::link::KindBit(PortNet) | torva::link::KindBit(PortUSBPrinter),
    .usbPrinter = torva::link::UsbPrinterOpen::Plain,
};
}  // namespace

SendResult TMainForm::OpenAndSenddata(const uint8_t* buffer, int length) {
  const torva::link::PortOpen port = torva::link::OpenConfiguredPort(kOneShotPlan);
  if (!port.opened()) return SendOpenFailed;

  bool written = false;
  switch (port.kind) {
    case PortCOM:
    case PortUSB:
    case PortUSBPrinter:
      written = RWK201EEepromSet::POSWritePort(port.kind, port.handle, buffer, length);
      break;
    case PortLPT:
    case PortNibbleLPT:
      written = POSWritePort(port.kind, LPTParameter.m_hdev, buffer, length);
      break;
    case PortNet:
      written = WriteNetPort(buffer, length);
      break;
    case PortDriver:
      written = WritePrinterDriver(port.handle, buffer, length) == length;
      break;
    default:
      break;
  }
  if (written) return SendOK;
  ClosePort();
  return SendWriteFailed;
}

void TMainForm::ClosePort() { torva::link::CloseConfiguredPort(kOneShotPlan); }

void TMainForm::PortCloseMenuClick() {
  // Every open handle of every kind; the records keep their parameters.
  torva::link::CloseEveryOpenPort();
  PortType = PortNone;
}

void TMainForm::SendTestCommand(const uint8_t* bytes, int length) {
  if (RefuseNoPort()) return;
  // A write may wait for the printer (its deadline): the window keeps
  // painting meanwhile.
  SendResult result = SendOpenFailed;
  torva::gui::RunWhilePainting([&] {
    result = OpenAndSenddata(bytes, length);
    if (result == SendOK) ClosePort();
  });
  switch (result) {
    case SendOpenFailed:
      OutputError("Can't open the port!", "打开端口失败！");
      break;
    case SendWriteFailed:
      OutputError("Write the port error!", "发送数据失败！");
      break;
    case SendOK:
      break;
  }
}

void TMainForm::PrinterResetMenuClick() {
  SendTestCommand(TestCommands::ResetPrinterCommand, sizeof TestCommands::ResetPrinterCommand);
}
void TMainForm::PrinterClearMenuClick() {
  SendTestCommand(TestCommands::ClearErrorCommand, sizeof TestCommands::ClearErrorCommand);
}
void TMainForm::FeedPaperMenuClick() {
  SendTestCommand(TestCommands::FeedLineCommand, sizeof TestCommands::FeedLineCommand);
}
void TMainForm::CutMenuClick() { SendTestCommand(TestCommands::CutPaperCommand, sizeof TestCommands::CutPaperCommand); }
void TMainForm::BundlerPresentMenuClick() {
  SendTestCommand(TestCommands::BundlerPresentCommand, sizeof TestCommands::BundlerPresentCommand);
}
void TMainForm::BundlerRetractMenuClick() {
  SendTestCommand(TestCommands::BundlerRetractCommand, sizeof TestCommands::BundlerRetractCommand);
}

// --- dialog openers: the port-kind guards here, the dialogs in their own units

bool TMainForm::RefuseNoPort() { return ::RefuseNoPort(); }

void TMainForm::SpeedButton_PortSetClick() { OpenPortSettingDialog(*this); }

void TMainForm::SpeedButton_MonitotClick() {
  if (!CheckPortGuard(GuardedTool::StatusMonitor)) return;
  OpenStatusMonitor(*this);
}

void TMainForm::SpeedButton_EepromSetClick() {
  if (!CheckPortGuard(GuardedTool::EepromSet)) return;
  OpenSettingsEditor(*this);  // asks for the access code first
}

void TMainForm::SpeedButton_CheckMarkClick() {
  if (!CheckPortGuard(GuardedTool::CheckMark)) return;
  OpenCheckMark(*this);
}

void TMainForm::ADConverterMenuClick() {
  if (!CheckPortGuard(GuardedTool::ADConverter)) return;
  OpenADConverter(*this);
}

void TMainForm::PrinterInformationMenuClick() {
  if (!CheckPortGuard(GuardedTool::PrinterInformation)) return;
  OpenPrinterInformation(*this);
}

void TMainForm::SpeedButton_PrintTestClick() {
  if (!CheckPortGuard(GuardedTool::PrintTest)) return;
  OpenPrintTest(*this);
}

void TMainForm::SpeedButton_FirmwareUpdateClick() {
  if (!CheckPortGuard(GuardedTool::FirmwareUpdate)) return;
  OpenFirmwareUpdate(*this);
}

void TMainForm::bundlerlatencytimeMenuClick() {
  if (!CheckPortGuard(GuardedTool::BundlerWaitTime)) return;
  OpenBundlerlatencytime(*this);
}

// --- tray

bool TMainForm::TrayAvailable() const {
  if (trayAvailableOverride) return *trayAvailableOverride;
  return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TMainForm::TrayIconVisible() const { return tray_ && tray_->isVisible(); }

void TMainForm::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::WindowStateChange) return;
  if ((windowState() & Qt::WindowMinimized) && !bMinimize && TrayAvailable()) {
    // A status dialog minimised first (the window manager iconified this
    // window with it) hides it behind the dialog's icon: no second one.
    if (!torva::gui::ClaimTray(this)) return;
    // Leave the state change first, then trade the window for the icon.
    QTimer::singleShot(0, this, &TMainForm::MinimizeToTray);
  }
}

void TMainForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  // Un-minimising on the way into the tray and the window system's own
  // notices are not a return.
  if (enteringTray_ || event->spontaneous()) return;
  if (tray_ && tray_->isVisible()) {
    tray_->hide();
    bMinimize = false;
    torva::gui::EndTrayClaim();
  }
}

void TMainForm::MinimizeToTray() {
  if (!TrayAvailable()) {
    showMinimized();
    return;
  }
  // A status dialog that went to its tray first has hidden this window.
  if (!torva::gui::ClaimTray(this)) return;
  bMinimize = true;
  enteringTray_ = true;
  if (!tray_) {
    tray_ = new QSystemTrayIcon(windowIcon(), this);
    tray_->setToolTip("TORVAConsole");
    connect(tray_, &QSystemTrayIcon::activated, this, &TMainForm::TrayIconActivated);
  }
  tray_->show();
  setWindowState(windowState() & ~Qt::WindowMinimized);
  hide();
  enteringTray_ = false;
}

void TMainForm::RestoreFromTray() {
  if (tray_) tray_->hide();
  bMinimize = false;
  showNormal();
  // A status dialog that followed this window into the tray comes back too.
  torva::gui::EndTrayClaim();
  raise();
  activateWindow();
}

void TMainForm::TrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger:      // left click
    case QSystemTrayIcon::Context:      // right click
    case QSystemTrayIcon::DoubleClick:  // left double click
      RestoreFromTray();
      break;
    default:
      break;
  }
}

void TMainForm::BringToFront() {
  if (bMinimize) return;  // hidden in the tray: stays there
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}
