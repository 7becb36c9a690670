// The status dialog of the VD-K772 and VD-K9034 ("Printer Status", eight
// status bytes): polls the eight-byte record and shows both paper channels,
// the printer jam and the presenter states. The VD-K512 shutter dialog
// (HardwareStatusK512.h) is built the same way.
//
// The command 1D 61 FF goes out once; the printer then sends a record by
// itself on every change. A serial poll reads whatever is queued and shows
// every whole record in order (a partial record is kept for the next poll);
// the USB kinds ask for one record per poll; the nibble-mode parallel port
// reads one record through the reverse channel and sends nothing.
#pragma once

#include "status/StatusDialog.h"
#include "status/StatusRecord8.h"

namespace Ui {
class THardwareStatusK772Form;
}

namespace torva::status {

// The polling plan of the K772 thread: the command once, every 1000 ms, the
// serial queue read whole and split into records, the nibble reverse channel.
PollPlan TInquireStatusThreadForK772Plan();

// What the eight-byte dialogs share.
namespace record8 {
// Reopens the port of PortType for polling: as the generic dialog for the
// serial and USB kinds; the nibble-mode parallel port is closed and opened
// again (its failure shows the English error text whatever the language).
// Returns the handle, 0 for a kind that uses none, -1 on failure (the
// message has then been shown).
int ReopenForPolling(StatusDialog& dialog);
// Closes the port of PortType, the nibble-mode port included.
void ClosePortOfKind();
// The failure message of the eight-byte and six-byte threads: the dialog
// comes back from the tray, then an error box.
void ShowFailure(StatusDialog& dialog);
// Object names of the 64 check boxes, bit 7 of byte 1 first.
QStringList CheckBoxNames();
}  // namespace record8

}  // namespace torva::status

class THardwareStatusK772Form : public torva::status::StatusDialog {
  Q_OBJECT

 public:
  explicit THardwareStatusK772Form(QWidget* parent = nullptr);
  ~THardwareStatusK772Form() override;

  Ui::THardwareStatusK772Form* ui;

  // What the main window sets before showing the dialog: the font and the
  // captions of the current language.
  void SetupCaptions();

  void ResetPrinterButtonClick();
  void ResetBundlerButtonClick();

  torva::status::RecordTableDecoder& Record8Decoder() { return decoder_; }

 protected:
  bool MakePollSetup(PollSetup& setup) const override;
  void ShowPollFailure() override;
  bool ClearBitsAtEnd() const override { return true; }
  torva::status::RecordTableDecoder* TableDecoder() override { return &decoder_; }
  int ReopenPort() override;
  void ClosePortOnClose() override;
  int CloseWaitMs() const override { return 300; }
  bool CanPollPort(int portType) const override;

 private:
  torva::status::RecordTableDecoder decoder_;
};
