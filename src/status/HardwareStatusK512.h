// The VD-K512 shutter status dialog: the eight-byte record with the shutter,
// the cutter and a jam on one indicator, and presenter states named one step
// on from the VD-K772. Built on the eight-byte dialog base
// (EightByteStatusDialog.h) as the K772 dialog is; its thread sends 1D 61 FF once, and on a serial port again at every poll, and
// reads exactly one record per poll.
#pragma once

#include "status/EightByteStatusDialog.h"

namespace Ui {
class THardwareStatusK512Form;
}

namespace torva::status {
// The polling plan of the shutter thread: one whole record per poll, every
// 1000 ms; the command once, on a serial port again at every poll.
PollPlan TInquireStatusThreadForShutterPlan();
}  // namespace torva::status

class THardwareStatusK512Form : public torva::status::EightByteStatusDialog {
  Q_OBJECT

 public:
  explicit THardwareStatusK512Form(QWidget* parent = nullptr);
  ~THardwareStatusK512Form() override;

  Ui::THardwareStatusK512Form* ui;

  void SetupCaptions();

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
};
