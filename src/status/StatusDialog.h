// What every status dialog shares: the indicator view (check boxes, hex
// labels, images, memo) fed by a decoder, the polling engine it owns, its
// Start / Stop / Exit handling, closing, and its own tray icon shared with the
// main window's hide and show (bMinimize).
//
// The polling thread reaches the dialog only through queued calls onto the
// dialog's thread; every report carries the run's generation, and reports of
// an earlier run are dropped. Closing stops the thread and waits for it before
// the port is closed.
#pragma once

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "gui/Messages.h"
#include "status/StatusDecoder.h"
#include "status/StatusPoller.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QSystemTrayIcon;

namespace torva::status {

// The three indicator pictures.
QPixmap GlyphPixmap(Glyph g);

// A plain message box titled with the program's name (no icon), in the
// current language. While a PlainMessageRecorder lives, the text is recorded
// instead (tests).
void ShowPlainMessage(const QString& english, const QString& chinese);
class PlainMessageRecorder {
 public:
  PlainMessageRecorder();
  ~PlainMessageRecorder();
  PlainMessageRecorder(const PlainMessageRecorder&) = delete;
  PlainMessageRecorder& operator=(const PlainMessageRecorder&) = delete;
  QStringList texts;

 private:
  PlainMessageRecorder* outer_;
};

// The memo line shown where the port kind delivers no status records.
QString NoStatusText();

// Closes the port of PortType (serial, USB device, USB printer) and forgets
// its handle; other kinds are left alone.
void ClosePlainPort();

class StatusDialog : public QDialog {
  Q_OBJECT

 public:
  ~StatusDialog() override;

  // Runs the dialog modally until it is closed. Unlike exec(), hiding the
  // dialog behind its tray icon does not end the modal run.
  int RunModal();

  // --- tray
  // The minimise command: with a tray, the dialog and the main window hide
  // behind the dialog's own tray icon (bMinimize true); without one, an
  // ordinary minimise.
  void MinimizeToTray();
  // The maximise command and a click on the icon: removes the icon,
  // bMinimize false, shows the main window, then the dialog.
  void RestoreFromTray();
  bool TrayIconVisible() const;
  QSystemTrayIcon* TrayIcon() const { return tray_; }
  // Tests force the tray's presence; empty: ask the desktop.
  static std::optional<bool> trayAvailableOverride;

  // --- state, for the dispatch and for tests
  bool Polling() const { return poller_.running(); }
  bool ClosePressed() const { return closing_; }
  StatusPoller& Poller() { return poller_; }
  StatusDecoder* Decoder() const { return decoder_.get(); }
  // Glyph an indicator image shows (None before the first write).
  Glyph ImageGlyph(const QString& image) const;
  QStringList MemoLines() const;
  // Shortens the interval and the serial timeout of the next Start (tests).
  void SetPollOverrides(int intervalMs, int serialTimeoutMs);

  // Reopens the port of PortType with the stored parameters (serial, USB
  // device, USB printer through the printer-class call): its handle, or -1
  // when it cannot be opened; 0 for a port kind that is not reopened here.
  int ReopenPlainPort();

  // The handlers of the three buttons.
  void StartClick();
  void StopClick();
  void ExitClick();

  // Controls of the concrete dialog, set after its setupUi.
  struct Controls {
    QList<QCheckBox*> bits;     // 32: index (byte-1)*8 + (7-bit), so [0] is bit 7 of byte 1
    QList<QLabel*> hexLabels;   // 4
    QPlainTextEdit* memo = nullptr;
    QAbstractButton* start = nullptr;
    QAbstractButton* stop = nullptr;
    QAbstractButton* exit = nullptr;
    QList<QLabel*> images;      // every indicator image of the dialog
    QList<QLabel*> initOnCreate;  // the images FormCreate and InitView set to Init
  };

 signals:
  // Emitted after each decoded record has been shown (tests, bench).
  void recordShown(const QByteArray& record);
  // Emitted when polling has ended and the buttons are back to idle.
  void pollingEnded();

 protected:
  explicit StatusDialog(QWidget* parent);

  void BindControls(const Controls& c);

  // What Start polls with: the plan (port kind, handle and record length
  // are filled in by the base) and the record layout its decoder runs.
  // False: this dialog polls nothing for the model.
  struct PollSetup {
    PollPlan plan;
    RecordLayout layout;
  };
  virtual bool MakePollSetup(PollSetup& setup) const = 0;
  // The message of a failed poll (the port is already closed).
  virtual void ShowPollFailure();
  // The failure message of the eight-byte, six-byte and series threads: the
  // dialog comes back from the tray, then an error box.
  void ShowFailureAfterRestore();
  // The series thread: the check boxes clear and the labels read "00H" again
  // at the end of polling.
  virtual bool ClearBitsAtEnd() const { return false; }

  // Reopens the port for polling (default ReopenPlainPort). -1 is a failure:
  // the base warns for the serial and USB kinds; an override that opens
  // another kind reports its own failure.
  virtual int ReopenPort() { return ReopenPlainPort(); }
  // Closes the port of PortType when the dialog closes (after the thread
  // has ended and has switched the automatic status off).
  virtual void ClosePortOnClose();
  // A pause the dialog's close makes after asking the thread to stop, before
  // it waits for the thread and closes the port (a printer delay).
  virtual int CloseWaitMs() const { return 0; }
  // The port kinds this dialog polls.
  virtual bool CanPollPort(int portType) const { return CanPollStatus(portType); }
  // The hidden reset buttons: reopen the port (serial, parallel, USB
  // device), write the bytes, close the port in every case; open and write
  // failures are reported with the port's name.
  void SendStatusReset(const uint8_t* bytes, int length);

  // The dialog font, then the captions every "Printer Status" form shows
  // alike: title, frame, MSB / LSB, the three buttons and the two panels.
  template <class FormUi>
  void ApplyFrameCaptions(FormUi* ui);

  // Shrinks the font of every word-wrapped caption that does not fit its box
  // (long captions of some models and languages).
  void FitCaptions();

  void done(int r) override;
  void changeEvent(QEvent* event) override;
  // Minimised after the main window went to its own tray icon (the window
  // manager iconified the dialog with it): hidden, without an icon of its
  // own, until the main window comes back (gui/TrayHandoff.h).
  void FollowMainIntoTray();

  // Every indicator image to the Init glyph, memo cleared.
  void InitView();
  // Start and Exit enabled, Stop disabled.
  void InitView1();
  void SetImage(QLabel* image, Glyph g);
  QWidget* MainWindow() const;

 private:
  void OnReport(const PollReport& report);
  void ReportPollFailure();
  void ShowRecord(const std::vector<uint8_t>& record);
  void SetBits(const std::vector<uint8_t>& record);
  void FormClose();
  bool TrayAvailable() const;
  void ClearLabelsAtEnd();

  Controls c_;
  std::unique_ptr<StatusDecoder> decoder_;
  StatusPoller poller_;
  uint64_t generation_ = 0;
  bool closing_ = false;  // bClosePress
  bool finished_ = false;
  int intervalOverride_ = -1;
  int timeoutOverride_ = -1;
  QSystemTrayIcon* tray_ = nullptr;
  bool plainMinimized_ = false;
};

template <class FormUi>
void StatusDialog::ApplyFrameCaptions(FormUi* ui) {
  ApplyDialogFont(this);
  setWindowTitle(Tr2("Printer Status", "打印机状态"));
  ui->GroupBox1->setTitle(Tr2("Printer Status", "打印机状态"));
  ui->MSBLabel->setText(Tr2("MSB", "高位"));
  ui->LSBLabel->setText(Tr2("LSB", "低位"));
  ui->StartButton->setText(Tr2("&Start", "开始(&S)"));
  ui->StopButton->setText(Tr2("S&top", "停止(&T)"));
  ui->ExitButton->setText(Tr2("E&xit", "退出(&X)"));
  ui->WorkingStatePanel->setTitle(Tr2("Printer's working states", "打印机工作状态"));
  ui->DetailStatusPanel->setTitle(Tr2("Printer's detail status", "打印机详细情况"));
}

}  // namespace torva::status
