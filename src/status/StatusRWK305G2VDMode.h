// Status dialog of the RW-K305GII in VD Mode (status-mode setting C3 = 00 00):
// the maker's four-byte positions with the recycling jam and the roll paper
// slack, polled every 500 ms.
#pragma once

#include "status/StatusDialog.h"

namespace Ui {
class TStatusK305G2VDModeForm;
}

class TStatusK305G2VDModeForm : public torva::status::StatusDialog {
  Q_OBJECT

 public:
  explicit TStatusK305G2VDModeForm(QWidget* parent = nullptr);
  ~TStatusK305G2VDModeForm() override;

  Ui::TStatusK305G2VDModeForm* ui;

  // Font and captions of the current language (the main window's set-up).
  void SetupCaptions();

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
};
