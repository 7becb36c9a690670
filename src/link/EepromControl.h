// Common write and read routines: they hide the port kind from the rest of
// the console and carry the VD-K773 custom USB framing.
//
// The read routines take the length before the timeout; the timeout serves the
// serial kind only (the other kinds use the time-outs their libraries got).
// Every routine treats a handle of 0 or less as "no port" (the nibble and
// Ethernet kinds keep their own connection and use no handle).
#pragma once

#include <cstdint>

// Largest framed reply the USB-printer reads handle (payload plus leading
// status or class bytes). A request whose framed length is larger is refused
// without a read.
constexpr int kUsbScratchSize = 1024;

bool POSWritePort(int portType, int handle, const uint8_t* data, int length);

// VD-K773 custom mode: the exact read of the reply to a command, as the
// common read routine makes it. With class mode 1 the transfer is one class
// byte, iStatusBytes status bytes and the `length` reply bytes, read through a
// kUsbScratchSize scratch (a transfer that would not fit is refused without a
// read); the leading bytes are dropped and the buffer gets the reply alone,
// only when the whole transfer came. With class mode 0 the transfer is the
// `length` bytes alone. False unless exactly the transfer's bytes arrived.
bool ReadCustomUsbReply(uint8_t* buffer, int length);
// In the custom mode the printer answers the read of its mode setting (6F)
// always, and the read of its custom flag (C4) in class mode 0, with a report
// of kCustomReportLength bytes instead of the framed 2-byte value: the value
// is at offsets 1 and 2.
constexpr uint8_t kCustomModeAddress = 0x6F;
constexpr uint8_t kCustomFlagAddress = 0xC4;
constexpr int kCustomReportLength = 9;
// True when the read of this setting address is answered with that report
// (iUSBClassMode decides; call it in the custom mode of PortState.h).
bool CustomReadAnswersReport(uint8_t address);
// Reads that report: exactly kCustomReportLength bytes as they come, in
// either class mode (no class or status bytes in front). The report buffer
// holds kCustomReportLength bytes and is written only on success.
bool ReadCustomUsbReport(uint8_t* report);
bool POSReadPort(int portType, int handle, uint8_t* buffer, int length, int timeoutMs);
bool POSReadPort1(int portType, int handle, uint8_t* buffer, int length, int timeoutMs);
// Serial only: flushes what is queued, then reads whatever arrives first, at
// most `capacity` bytes, within the timeout. A reply that fits is read whole:
// once bytes arrive, the read waits until the line has been quiet for 10 ms
// (or the buffer is full). Bytes beyond the capacity stay queued.
bool ReadComAll(int handle, uint8_t* buffer, int capacity, int timeoutMs);

// The Include1D61 rule: the data up to its first zero byte (never beyond
// length) contains 1D 61 or the text "#$1d#$61".
bool ContainsAutoStatusCommand(const uint8_t* data, int length);

// USB printer: one read of whatever the printer has sent, with the framing of
// the current mode taken off: in the VD-K773 custom mode with class mode 1 a
// reply carries the class byte and iStatusBytes status bytes in front (as the
// any-count read removes them); in class mode 0 and on a plain printer the
// transfer is the reply. At most `capacity` reply bytes go to `buffer`.
// Returns the count of reply bytes (0 when the transfer held only framing),
// or -1 when nothing came or the read failed.
int ReadUsbPrinterReply(int handle, uint8_t* buffer, int capacity);

// VD-K773 custom mode: one status record sent by the printer itself, in the
// record framing (class mode 1: the class byte, then the record; class mode
// 0: the record alone). The common read is switched to its status-record
// framing (iReadType 1) for the read and back to the value it had. False
// unless the whole transfer came; `transferred`, when given, gets the count
// the custom channel delivered (0 when nothing came or the call failed).
bool ReadCustomStatusRecord(int handle, uint8_t* buffer, int length, int* transferred = nullptr);

// The plain write of the RW-K201E settings editor, used by the one-shot sends:
// PortCOM, PortUSB and PortUSBPrinter only; a handle of 0 or less gives false.
namespace RWK201EEepromSet {
bool POSWritePort(int portType, int handle, const uint8_t* data, int length);
}  // namespace RWK201EEepromSet

// The library calls the routines make for the USB, nibble and Ethernet kinds.
// They start at the real layers (USBUnit.h, ParReverse.h, NetUnit.h); tests
// install fakes with ScopedPortLibraryCalls to check the framing and the
// branches without hardware.
struct PortLibraryCalls {
  int (*uWrite)(int handle, int pipe, const uint8_t* buffer, int length);
  int (*uRead)(int handle, int pipe, uint8_t* buffer, int length);
  int (*WriteUSBPrinter)(int handle, const uint8_t* buffer, int length, int* written);
  int (*ReadUSBPrinter)(int handle, uint8_t* buffer, int length, int* read);
  int (*GetPrnStatus)(int handle, uint8_t* buffer, int asked, int* got);
  int (*WriteQfUSBPrinter)(const uint8_t* buffer, int length);
  int (*ReadQfUSBPrinter)(uint8_t* buffer, int length);
  int (*IsPARIdle)();
  int (*NibbleModeWrite)(const uint8_t* data, int length, int* status);
  int (*NibbleModeRead)(uint8_t* buffer, int length, int* status);
  bool (*ReadNetPort)(uint8_t* buffer, int length);
  // The USB device's status record and vendor requests, and the time-outs of
  // both USB libraries (USBUnit.h).
  int (*GetSpecStatus)(int handle, uint8_t* buffer, int asked, int* got);
  int (*SendSpecCommand)(int handle, int code);
  int (*SetUSBTimeouts)(int handle, int first, int second);
  int (*SetTimeout)(int first, int second);
  int (*SetPortTimeout)(int first, int second);
  // What each USB kind has already received and nobody has read, taken
  // without waiting (USBUnit.h).
  int (*uReadWaiting)(int handle, uint8_t* buffer, int length);
  int (*ReadUSBPrinterWaiting)(int handle, uint8_t* buffer, int length);
  int (*ReadQfUSBPrinterWaiting)(uint8_t* buffer, int length);
};

const PortLibraryCalls& RealPortLibraryCalls();
PortLibraryCalls& CurrentPortLibraryCalls();

class ScopedPortLibraryCalls {
 public:
  explicit ScopedPortLibraryCalls(const PortLibraryCalls& calls);
  ~ScopedPortLibraryCalls();
  ScopedPortLibraryCalls(const ScopedPortLibraryCalls&) = delete;
  ScopedPortLibraryCalls& operator=(const ScopedPortLibraryCalls&) = delete;

 private:
  PortLibraryCalls saved_;
};
