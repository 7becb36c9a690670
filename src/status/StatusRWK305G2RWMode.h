// Status dialog of the RW-K305GII in RW Mode (status-mode setting C3 = 01 00):
// the series positions with three more bits in byte 1, polled every 400 ms.
#pragma once

#include "status/StatusDialog.h"

namespace Ui {
class TStatusK305G2RWModeForm;
}

class TStatusK305G2RWModeForm : public torva::status::StatusDialog {
  Q_OBJECT

 public:
  explicit TStatusK305G2RWModeForm(QWidget* parent = nullptr);
  ~TStatusK305G2RWModeForm() override;

  Ui::TStatusK305G2RWModeForm* ui;

  // Font and captions of the current language (the main window's set-up).
  void SetupCaptions();

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
};
