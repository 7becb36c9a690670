// The console's main window: tool bar, menus, status bar, clock, tray icon,
// language switch, and the one-shot sends of the Test menu.
#pragma once

#include <QMainWindow>
#include <QString>
#include <QSystemTrayIcon>
#include <cstdint>
#include <optional>

#include "link/PortState.h"
#include "shell/PrinterCommands.h"

namespace Ui {
class TMainForm;
}
class QLabel;
class QLocale;
class QTime;
class QTimer;

class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  Ui::TMainForm* ui;

  // --- one-shot sends
  // Reopens the configured port with the stored parameters and writes the
  // bytes. SendOK leaves the port open for the caller to close (ClosePort);
  // SendWriteFailed has already closed it; SendOpenFailed wrote nothing.
  SendResult OpenAndSenddata(const uint8_t* buffer, int length);
  // Closes the handle of the current PortType (serial, parallel, USB device,
  // spooler, nibble); PortType itself is not changed.
  void ClosePort();

  // --- status bar: panel 0 port text, 1 printer text, 2 clock
  void SetPanelText(int index, const QString& text);
  QString PanelText(int index) const;

  // --- tray (shared with the status dialogs, which hide and show the main
  // window together with themselves)
  // Hides the window behind the tray icon (bMinimize true); where no tray
  // exists, an ordinary minimise.
  void MinimizeToTray();
  // Removes the tray icon, bMinimize false, shows the window.
  void RestoreFromTray();
  bool TrayIconVisible() const;
  // What a second start of the program asks for: restore a minimised window
  // and bring it to the front; a window hidden in the tray stays hidden.
  void BringToFront();
  // Tests force the tray's presence; empty: ask the desktop.
  static std::optional<bool> trayAvailableOverride;

  // The clock's tick (once a second): time in the system's long format,
  // prefix by what Printer.ini holds now.
  void ClockUpdate();

 public slots:
  // Handlers, named after their control and event.
  void SpeedButton_PortSetClick();
  void SpeedButton_MonitotClick();
  void SpeedButton_PrintTestClick();
  void SpeedButton_CheckMarkClick();
  void SpeedButton_FirmwareUpdateClick();
  void SpeedButton_EepromSetClick();
  void SpeedButton_ExitClick();
  void PortCloseMenuClick();
  void ExitMenuClick();
  void ADConverterMenuClick();
  void PrinterInformationMenuClick();
  void PrinterResetMenuClick();
  void PrinterClearMenuClick();
  void FeedPaperMenuClick();
  void CutMenuClick();
  void BundlerPresentMenuClick();
  void BundlerRetractMenuClick();
  void bundlerlatencytimeMenuClick();
  void EnglishMenuClick();
  void ChineseMenuClick();
  void HelpChmMenuClick();
  void AboutMenuClick();
  void TrayIconActivated(QSystemTrayIcon::ActivationReason reason);

 protected:
  void changeEvent(QEvent* event) override;
  // Shown again by whatever brings it back (its tray icon, a status dialog
  // reporting a failure): the tray icon goes, so the window is never both on
  // screen and in the tray.
  void showEvent(QShowEvent* event) override;
  // Closing the main window ends the program.
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  // Captions of every control of the main window for `language`;
  // `eepromMnemonic` is the letter of the Eeprom Set button's Chinese caption
  // ('E' at start, 'N' after the Chinese menu).
  void SetCaptions(const std::string& language, char eepromMnemonic);
  // Language menu: writes Printer.ini, then switches; a failed write changes
  // nothing.
  void SwitchLanguage(const std::string& language);
  // The common body of the six Test-menu handlers.
  void SendTestCommand(const uint8_t* bytes, int length);
  // The Test menu's guard: no port configured shows the warning; true then.
  bool RefuseNoPort();
  bool TrayAvailable() const;

  QLabel* panels_[3] = {nullptr, nullptr, nullptr};
  QTimer* clock_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  bool enteringTray_ = false;  // while MinimizeToTray runs
};

// The one main window of the run; null before it exists and after it is gone.
extern TMainForm* MainForm;

// The clock's time: hours, minutes and seconds in the locale's long time
// format, without its time-zone name ("11:23:00", "11:23:00 AM").
QString ClockTimeText(const QLocale& locale, const QTime& time);
