// What the command console does on each port kind, as data: how a Send
// writes and what follows it, the seven fixed service commands, the port
// plan the console opens its port with, and the texts of its Notice lines.
// No widget here; the dialog (PrintTest) carries these out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/PortSession.h"
#include "link/PortState.h"

namespace torva::tools {

// The console holds its port from its opening to Exit. Every kind is opened
// but Ethernet, which writes to the connection the port-setting dialog opened
// (and leaves it open); nibble mode gets 1000 ms to receive and 3000 ms to
// send, the USB printer 3000 ms to read and 2000 ms to write.
inline constexpr torva::link::PortSessionPlan kConsolePortPlan{
    .kinds = torva::link::kAllPortKinds,
    .keepOpen = torva::link::KindBit(PortNet),
    .usbPrinter = torva::link::UsbPrinterOpen::ByMode,
    .serialDataBits = 0,
    .netUsesStandingConnection = true,
    .openSpoolerQueue = true,
    .nibbleReceiveTimeoutMs = 1000,
    .nibbleSendTimeoutMs = 3000,
    .usbPrinterReadTimeoutMs = 3000,
    .usbPrinterWriteTimeoutMs = 2000,
};

// A hex Send on the serial port: the write time-out of the open port from
// then on.
inline constexpr int kHexSendSerialWriteTimeoutMs = 30000;
// A hex Send on the USB device: SetUSBTimeouts(handle, 20, 900) before the write.
inline constexpr int kHexSendUsbFirstTimeout = 20;
inline constexpr int kHexSendUsbSecondTimeout = 900;
// The wait after a write of 1B 6A n before the reader starts.
inline constexpr int kReplyWaitMs = 210;

// How a write reaches the printer.
enum class WriteRoute {
  None,     // nothing is written, nothing reported
  Common,   // POSWritePort with the kind's handle
  Net,      // WriteNetPort on the standing Ethernet connection
  Spooler,  // WritePrinterDriver: one RAW document
};

// What the recogniser found in a hex Send (all false in text mode).
struct SendFlags {
  bool reply = false;    // a command that answers (RUsbSign)
  bool special = false;  // 1D 61 n with n odd (SpecialStaus)
  bool wait = false;     // 1B 6A n: wait before the reader
};

// One Send, by port kind and mode.
struct SendPlan {
  WriteRoute route = WriteRoute::None;
  // Not negative: the serial port's write time-out is set to this first.
  int serialWriteTimeoutMs = -1;
  // SetUSBTimeouts(handle, 20, 900) before the write.
  bool usbTimeouts = false;
  // After a successful write: wait kReplyWaitMs, then (or at once) start the reader.
  bool waitBeforeReader = false;
  bool startReader = false;
  // A failed write closes the connection (nibble mode, USB device, USB printer).
  bool closeOnFailure = false;
  // The recogniser follows the typed bytes on this kind (nibble, USB, USB printer).
  bool recognise = false;
};

SendPlan PlanSend(int portType, bool hexMode, const SendFlags& flags);

// The seven fixed commands of the Command group.
enum class FixedCommand { Reset, ClearError, Cut, Feed, SelfTest, BundlerPresent, BundlerRetract };

struct FixedCommandRow {
  FixedCommand id;
  const char* control;        // the button or menu item
  std::vector<uint8_t> bytes;
  int usbVendorRequest;       // on PortUSB this vendor request instead; 0: the bytes are written
  const char* english;        // success line
  const char* chinese;
};
const std::vector<FixedCommandRow>& FixedCommands();
const FixedCommandRow& FixedCommandOf(FixedCommand id);
// The route of a fixed command on a port kind (the spooler too: one RAW document).
WriteRoute FixedCommandRoute(int portType);

// A Notice line in both languages (UTF-8).
struct LinePair {
  std::string english;
  std::string chinese;
};

// The fixed command's success line; Clear Error reads "successfully" in lower
// case on the USB kinds, Ethernet and the spooler.
LinePair FixedSuccessLine(FixedCommand id, int portType);
// "Execute command successfully!"
LinePair SendSuccessLine();
// "Write <name> port error!" with the kind's port name. The Send's Chinese
// line on the parallel kinds, and the Retract's there, have no closing mark.
LinePair SendFailureLine(int portType);
LinePair FixedFailureLine(FixedCommand id, int portType);
// The opening's failure line of the kind, or empty texts when the kind opens
// nothing.
LinePair OpenFailureLine(int portType);
// "Data format error!"
LinePair DataFormatErrorLine();

// The largest file Open File puts into the Input. Measured: 16 MiB opens in
// hex mode (48 Mi characters in lines of sixteen pairs) in about a second and
// a half; much larger files take longer than a user waits for, and Save File
// writes back what the box holds on the window's thread.
inline constexpr int64_t kConsoleFileLimitBytes = 16LL * 1024 * 1024;
// The Notice line of a file over that bound (`quotedName` with its quotes).
LinePair FileTooLargeLine(const std::string& quotedName);
// "Fail to Receive Data"
LinePair ReceiveFailureLine();

// The sizes of the status record of the USB device (GetSpecStatus) by model:
// how many bytes are asked, and which counts are accepted.
struct UsbStatusAsk {
  int asked;
  int accepted1;
  int accepted2;  // a second accepted count, or -1
};
UsbStatusAsk UsbDeviceStatusAsk(int model, bool k773Custom);

}  // namespace torva::tools
