// The bundler wait-time dialog ("Bundler WaitTime"): sets how many seconds
// (0 to 240) the bundler waits, with the command 1B 63 39 n 0A. English only,
// whatever the language, captions and messages alike.
//
// Opened from the main window it opens the configured port for the OK and
// closes it again (the Ethernet connection is left open, as every action
// leaves it); opened from the command console it writes through the
// console's open connection and closes nothing, so the console goes on
// working. A failed open or write shows an error box and keeps the dialog
// open for another try; a successful write closes it with the OK result.
#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/PortSession.h"

namespace Ui {
class TBundlerlatencytimeForm;
}

namespace torva::tools {

// The value the dialog opens with and puts back when the text is emptied.
inline constexpr int kDefaultWaitTime = 3;
inline constexpr int kMaxWaitTime = 240;

// The main window's opening: every kind; nibble mode and the USB printer
// with the console's time-outs; Ethernet reuses the open connection or opens
// one, and leaves it open.
inline constexpr torva::link::PortSessionPlan kWaitTimePortPlan{
    .kinds = torva::link::kAllPortKinds,
    .keepOpen = torva::link::KindBit(PortNet),
    .usbPrinter = torva::link::UsbPrinterOpen::ByMode,
    .serialDataBits = 0,
    .netUsesStandingConnection = false,
    .openSpoolerQueue = true,
    .nibbleReceiveTimeoutMs = 1000,
    .nibbleSendTimeoutMs = 3000,
    .usbPrinterReadTimeoutMs = 3000,
    .usbPrinterWriteTimeoutMs = 2000,
};

// 1B 63 39 n 0A with n the seconds, held to 0..240.
std::vector<uint8_t> BundlerWaitTimeCommand(int seconds);
// The error boxes' texts by port kind: "Can't open COM1 port",
// "Can't openLPT1 port!", "Can't open the Driver:<queue>", ... and
// "Write COM1 port error!", "Write Driver:<queue> error!", ...
std::string WaitTimeOpenError(int portType);
std::string WaitTimeWriteError(int portType);
// Writes the command on the kind's route (the common write, the Ethernet
// connection, one RAW spooler document that must take all its bytes).
bool WriteWaitTime(int portType, int handle, const std::vector<uint8_t>& bytes);

}  // namespace torva::tools

class TBundlerlatencytimeForm : public QDialog {
  Q_OBJECT

 public:
  // useOpenPort: opened from the console, whose connection the OK writes to.
  explicit TBundlerlatencytimeForm(QWidget* owner = nullptr, bool useOpenPort = false);
  ~TBundlerlatencytimeForm() override;

  Ui::TBundlerlatencytimeForm* form() const { return ui_.get(); }
  // The dialog's font: "Times New Roman", or a serif face that is installed.
  static QFont DialogSerifFont();

 public slots:
  void OKButtonClick();
  void CancelButtonClick();
  void LatencyTimeEditChange(const QString& text);

 protected:
  // LatencyTimeEditKeyPress: only digits and Backspace type into the box.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormCreate();

  std::unique_ptr<Ui::TBundlerlatencytimeForm> ui_;
  bool useOpenPort_;
};
