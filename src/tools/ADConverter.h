// The A/D converter view ("AD Converter"): the voltages the printer's
// analog-to-digital converter measures at its sensors, polled once a second
// by TInquireADValueThread from Start until Stop.
//
// Start opens the port and starts the thread, which holds the port until it
// ends and then closes it. Stop asks the thread to end: the edits go back to
// "0" at once and nothing the thread still sends reaches them; Start comes
// back when the thread has ended. Closing the view (Exit, the close box, Esc)
// stops the thread and waits for it.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>

#include "tools/InquireADValueThread.h"

namespace Ui {
class TADConverterForm;
}
class QLabel;
class QLineEdit;

class TADConverterForm : public QDialog {
  Q_OBJECT

 public:
  explicit TADConverterForm(QWidget* owner = nullptr);
  ~TADConverterForm() override;

  Ui::TADConverterForm* form() const { return ui_.get(); }
  // Font and captions for Language.
  void SetCaptions();

  QLineEdit* Edit(int row) const;
  QLabel* StaticText(int row) const;
  // The polling thread (tests watch it).
  torva::tools::TInquireADValueThread& thread() { return thread_; }
  // The reference voltage of the last Start (3.3 or 2.5).
  double ADVote() const { return adVote_; }
  // Tests poll faster than once a second.
  void SetPollIntervalForTests(int ms) { intervalMs_ = ms; }
  // True while polling (Start pressed, not yet stopped or failed).
  bool polling() const { return activeGeneration_ != 0; }

 public slots:
  void StartButtonClick();
  void StopButtonClick();
  void ExitButtonClick();

 signals:
  // A reply has been shown (for tests and the benchmark).
  void valuesShown();

 protected:
  void done(int result) override;

 private:
  void OnReport(const torva::tools::ADReport& report);
  void UpdateADVaule(const torva::tools::ADReport& report);
  void ShowErrorAndExitThread();
  void ShowCommunicationError();
  void ZeroEdits();
  void SetIdle();
  void FormClose(bool painting);

  std::unique_ptr<Ui::TADConverterForm> ui_;
  torva::tools::TInquireADValueThread thread_;
  double adVote_ = 3.3;
  int intervalMs_ = torva::tools::kADIntervalMs;
  uint64_t activeGeneration_ = 0;  // the run whose values are shown; 0 after Stop
  bool closed_ = false;
};
