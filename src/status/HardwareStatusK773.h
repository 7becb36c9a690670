// The VD-K773 custom status monitor: switches the printer's custom status
// stream on with 1D E0 FF and shows the six-byte records it sends. A serial
// poll reads whatever is queued and shows every whole record in order; the
// USB device asks for one record; the USB printer in the custom mode reads
// one record per transfer in the framing of its class mode (a transfer too
// short for a record shows nothing; one that brings nothing is a failure).
// The record has no working state: the state boxes keep the Init glyph.
#pragma once

#include "status/StatusDialog.h"
#include "status/StatusRecord6.h"

namespace Ui {
class THardwareStatusK773Form;
}

namespace torva::status {
// The polling plan of the K773 thread: 1D E0 FF once, every 300 ms.
PollPlan TInquireStatusThread773Plan();
}  // namespace torva::status

class THardwareStatusK773Form : public torva::status::StatusDialog {
  Q_OBJECT

 public:
  explicit THardwareStatusK773Form(QWidget* parent = nullptr);
  ~THardwareStatusK773Form() override;

  Ui::THardwareStatusK773Form* ui;

  // Font, captions, hidden boxes and heights of the current language.
  void SetupCaptions();

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
  void ShowPollFailure() override;
  int ReopenPort() override;
  void ClosePortOnClose() override;
};
