// The simulated printer's USB socket: plays a USB device (the device library)
// and a USB printer (the printer library) on a Unix socket, for the link's
// simulator backend (TORVA_USB_SIM; protocol in src/link/UsbSimProtocol.h).
//
// Each connection that opens a port is one session of the printer, channel
// "usb" for the device and "usbprinter" for the printer. Status records are
// not sent in the data stream: a status request answers the current record
// (at most the bytes asked for), after the reply delay and with the
// printer's fault as any reply, and nothing during a raw capture; an answer
// later than usbsim::kStatusRequestTimeoutMs is none (0 bytes). Vendor requests 0xC0 and 0xC1 are logged as
// "VendorReset" and "VendorClearError" (frame: the request number); others are
// refused. A bulk read answers what the printer has sent to the session, and
// waits for the first byte at most the read's time-out. The write that
// SimPrinter::setWriteFault names is answered with 0 bytes written and none
// of its bytes reach the printer.
//
// The printer's device ID reads "MFG:TORVA;CMD:ESC/POS;MDL:<name>;CLS:PRINTER;"
// with the name of printerName(); its internal printer ID is 0x10000 plus the
// model code.
//
// VD-K773 custom mode, on a connection opened with OpenQfUSBPrinter while
// k773Custom().on:
// - class mode 1: every reply is kK773ClassByte, then statusBytes status bytes,
//   then the reply's bytes. Status byte i is byte i modulo the record length
//   of the current status record (zeros when the record is empty).
// - class mode 0: the reply's bytes alone.
// - the mode query (the read of setting 6F) is answered with a 9-byte mode
//   report instead: offset 0 the status-byte count (0 in class mode 0),
//   offsets 1-2 the setting's value (low byte first), offset 7 the class mode,
//   the rest 0.
// - while the custom status (1D E0 n, n not 0) or the automatic status is on,
//   a read that finds nothing queued within 20 ms answers the current status
//   record: the class byte and the record in class mode 1, the record alone in
//   class mode 0 (no status bytes in front).
#pragma once

#include <string>
#include <vector>

#include "sim/SimPrinter.h"

namespace torva::sim {

struct UsbSimOptions {
  // Positions (0..7) at which the device library finds the printer; empty: it
  // finds no device. Each position opens the same simulated printer.
  std::vector<int> devicePositions{0};
  // Whether the printer library finds the printer.
  bool printer = true;
  // Further printers in the printer list (names only): listed, never opened.
  std::vector<std::string> otherPrinters;
  // The simulated printer's place among otherPrinters (0: first).
  size_t printerIndex = 0;
};

// Starts the socket at path (an old file there is replaced); false when it
// cannot listen. SimPrinter::startUsbSocket(path) is this with the defaults.
bool StartUsbSocket(SimPrinter& printer, const std::string& path, const UsbSimOptions& options);

}  // namespace torva::sim
