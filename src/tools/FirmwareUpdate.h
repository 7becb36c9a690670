// The download dialog ("Download"): the user browses for a file (firmware,
// settings image, font or any other), then sends it to the printer with a
// progress bar; the transfer runs on TFirmwareUpdateThread.
//
// The DownLoad button has two states: Browse (no file chosen yet; a click
// opens the file dialog) and DownLoad (a file is chosen; a click sends it).
// Its caption shows the state in the current language. A success goes back
// to Browse, a failure stays at DownLoad so the next click sends the same
// file again. A file that cannot be opened, or is larger than the download
// takes (kDownloadMaxBytes), goes back to Browse with a box saying so. While
// a transfer runs both buttons are disabled and Esc and the window's close do
// nothing; progress, messages and captions change only on the dialog's
// thread.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <atomic>
#include <memory>

#include "tools/FirmwareUpdateThread.h"

namespace Ui {
class TFirmwareUpdateForm;
}

class TFirmwareUpdateForm : public QDialog {
  Q_OBJECT

 public:
  enum class ButtonState { Browse, DownLoad };

  explicit TFirmwareUpdateForm(QWidget* owner = nullptr);
  ~TFirmwareUpdateForm() override;

  Ui::TFirmwareUpdateForm* form() const { return ui_.get(); }
  // Font and captions for Language.
  void SetCaptions();

  ButtonState state() const { return state_; }
  bool transferring() const { return transferring_; }
  // The folder the file dialog starts in.
  QString folder() const { return folder_; }
  // The progress bar's value (file positions, shifted down for a file larger
  // than the bar's range).
  int barValue() const;
  // How often the transfer's progress has moved the bar in this transfer.
  int progressUpdates() const { return progressUpdates_; }
  // The bar looks at the transfer's position this often (and is set to its
  // end when the transfer succeeds).
  static constexpr uint64_t kProgressIntervalMs = 50;

  // The open dialog's filter list in the current language.
  static QString FilterList();

 public slots:
  void DownLoadButtonClick();
  void ExitButtonClick();

 protected:
  void reject() override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormCreate();
  void ShowButtonCaption();
  void Browse();
  void StartTransfer();
  void RefuseFile(const QString& english, const QString& chinese);
  void OnProgress();
  void OnTransferEnded(bool success);
  void ShowSuccess();
  void ShowError();
  void SetButtonsEnabled(bool on);

  std::unique_ptr<Ui::TFirmwareUpdateForm> ui_;
  ButtonState state_ = ButtonState::Browse;
  bool transferring_ = false;
  QString folder_;
  torva::tools::ProgressScale scale_;
  uint64_t total_ = 0;  // the file's size when the transfer started
  // The last position the transfer reported (its thread writes it), and the
  // percentage the bar shows.
  std::atomic<uint64_t> position_{0};
  uint64_t shownPercent_ = 0;
  QTimer progressTimer_;
  int progressUpdates_ = 0;
  torva::tools::TFirmwareUpdateThread thread_;
};
