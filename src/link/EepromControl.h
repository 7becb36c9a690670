// Common write and read routines: they hide the port kind from the rest of
// the console and carry the VD-K773 custom USB framing.
//
// The read routines take the length before the timeout; the timeout serves the
// serial kind only (the other kinds use the time-outs their libraries got).
#pragma once

#include <cstdint>

// Largest framed reply the USB-printer reads handle (payload plus leading
// status or class bytes).
constexpr int kUsbScratchSize = 1024;

bool POSWritePort(int portType, int handle, const uint8_t* data, int length);
bool POSReadPort(int portType, int handle, uint8_t* buffer, int length, int timeoutMs);
bool POSReadPort1(int portType, int handle, uint8_t* buffer, int length, int timeoutMs);
// Serial only: flushes what is queued, then reads whatever arrives first, at
// most `capacity` bytes, within the timeout.
bool ReadComAll(int handle, uint8_t* buffer, int capacity, int timeoutMs);

// The Include1D61 rule: the data up to its first zero byte (never beyond
// length) contains 1D 61 or the text "#$1d#$61".
bool ContainsAutoStatusCommand(const uint8_t* data, int length);

// The plain write of the RW-K201E settings editor, used by the one-shot sends:
// PortCOM, PortUSB and PortUSBPrinter only; a handle of 0 or less gives false.
namespace RWK201EEepromSet {
bool POSWritePort(int portType, int handle, const uint8_t* data, int length);
}
