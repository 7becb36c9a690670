// The VD-K512 shutter status dialog: the eight-byte record with the shutter,
// the cutter and a jam on one indicator, and presenter states named one step
// on from the VD-K772. Built as the K772 dialog (HardwareStatusK772.h); its
// thread sends 1D 61 FF once, and on a serial port again at every poll, and
// reads exactly one record per poll.
#pragma once

#include "status/HardwareStatusK772.h"

namespace Ui {
class THardwareStatusK512Form;
}

namespace torva::status {
// The polling plan of the shutter thread: one whole record per poll, every
// 1000 ms; the command once, on a serial port again at every poll.
PollPlan TInquireStatusThreadForShutterPlan();
}  // namespace torva::status

class THardwareStatusK512Form : public torva::status::StatusDialog {
  Q_OBJECT

 public:
  explicit THardwareStatusK512Form(QWidget* parent = nullptr);
  ~THardwareStatusK512Form() override;

  Ui::THardwareStatusK512Form* ui;

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
  int CloseWaitMs() const override { return 200; }
  bool CanPollPort(int portType) const override;

 private:
  torva::status::RecordTableDecoder decoder_;
};
