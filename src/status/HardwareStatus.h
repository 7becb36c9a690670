// The generic status dialog ("Printer Status"): polls the maker's four-byte
// record, or the series record for the RW models, and shows it.
#pragma once

#include "status/StatusDialog.h"

namespace Ui {
class THardwareStatusForm;
}

class THardwareStatusForm : public torva::status::StatusDialog {
  Q_OBJECT

 public:
  explicit THardwareStatusForm(QWidget* parent = nullptr);
  ~THardwareStatusForm() override;

  Ui::THardwareStatusForm* ui;

  // What the main window sets before showing the dialog: the font, the
  // captions of the current language, and the model's boxes and height.
  void SetupForModel(int modelCode);

  // The hidden buttons: send the printer or bundler reset sequence.
  void ResetPrinterButtonClick();
  void ResetBundlerButtonClick();

  // StatusResetPrinterCommand and StatusResetBundlerCommand.
  static const uint8_t kResetPrinterCommand[7];
  static const uint8_t kResetBundlerCommand[4];

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
  void ShowPollFailure() override;
  bool ClearBitsAtEnd() const override;

 private:
  void SetHeights(int dialogHeight, int frameHeight, int lowerHeight, int panelHeight);
};
