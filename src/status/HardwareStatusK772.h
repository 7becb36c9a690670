// The status dialog of the VD-K772 and VD-K9034 ("Printer Status", eight
// status bytes): polls the eight-byte record and shows both paper channels,
// the printer jam and the presenter states. The VD-K512 shutter dialog
// (HardwareStatusK512.h) shares its base (EightByteStatusDialog.h).
//
// The command 1D 61 FF goes out once; the printer then sends a record by
// itself on every change. A serial poll reads whatever is queued and shows
// every whole record in order (a trailing part shorter than a record is
// ignored, and the command sent again so the next poll starts in step);
// the USB kinds ask for one record per poll; the nibble-mode parallel port
// reads one record through the reverse channel and sends nothing.
#pragma once

#include "status/EightByteStatusDialog.h"

namespace Ui {
class THardwareStatusK772Form;
}

namespace torva::status {
// The polling plan of the K772 thread: the command once, every 1000 ms, the
// serial queue read whole and split into records, the nibble reverse channel.
PollPlan TInquireStatusThreadForK772Plan();
}  // namespace torva::status

class THardwareStatusK772Form : public torva::status::EightByteStatusDialog {
  Q_OBJECT

 public:
  explicit THardwareStatusK772Form(QWidget* parent = nullptr);
  ~THardwareStatusK772Form() override;

  Ui::THardwareStatusK772Form* ui;

  // What the main window sets before showing the dialog: the font and the
  // captions of the current language.
  void SetupCaptions();

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
};
