// The two USB libraries: the USB device library (PortUSB) and the USB printer
// library (PortUSBPrinter, with the VD-K773 custom mode). Each keeps the result
// conventions its callers rely on: a handle or -1, byte counts, 0 from a failed
// status call.
//
// Handles are small positive integers of this layer (never 0); a handle is not
// given out again soon after its port was closed. Both libraries reach real
// printers through libusb-1.0 (UsbLibusb.h: how devices are found, the vendor
// requests), or the simulated printer when TORVA_USB_SIM names its Unix socket
// (UsbSimProtocol.h). The choice is made at each enumeration and open.
//
// Every call may come from any thread; closing a port while another thread is
// inside a call on it makes that call fail, never touch freed memory.
#pragma once

#include <cstdint>
#include <string>

namespace UsbDevice {
// Default time-outs of a device just opened: SetUSBTimeouts(h, 20, 30).
constexpr int kDefaultReadTimeoutUnits = 20;
constexpr int kDefaultWriteTimeoutUnits = 30;

// Position 0..7 among the attached devices (bus order); a handle or -1.
int OpenDeviceX(int index);
// 1 when the handle was open, else 0.
int CloseDevice(int handle);
// The device's internal printer ID; 0 for a bad handle.
int GetPrinterInternalID(int handle);
// first: read time-out in units of 10 ms; second: write time-out in units of
// 100 ms (20 and 30: 200 ms and 3 s). Values below 1 count as 1. 1 on success.
int SetUSBTimeouts(int handle, int first, int second);
// pipe is 0 for the bulk OUT pipe (the only one); returns the bytes written,
// -1 on failure.
int uWrite(int handle, int pipe, const uint8_t* buffer, int length);
// pipe is 1 for the bulk IN pipe (the only one); returns the bytes received
// (at most length), 0 when nothing came within the read time-out, -1 on failure.
int uRead(int handle, int pipe, uint8_t* buffer, int length);
// What the device has already sent and nobody has read, without waiting for
// more: bytes the layer kept from a packet it received, else what the device
// hands over at once. The count (at most length), 0 when nothing is there,
// -1 on failure.
int uReadWaiting(int handle, uint8_t* buffer, int length);
// The current status record, at most `asked` bytes, with its count in *got;
// non-zero on success, 0 (and *got = 0) on failure. Only *got bytes are written.
int GetSpecStatus(int handle, uint8_t* buffer, int asked, int* got);
// One-byte vendor request: 0xC0 printer reset, 0xC1 clear error. Non-zero when
// the printer took it.
int SendSpecCommand(int handle, int code);
}  // namespace UsbDevice

namespace UsbPrinter {
constexpr int kEnumBufferSize = 256;
// Default time-outs of the printer library: SetTimeout(3000, 2000).
constexpr int kDefaultReadTimeoutMs = 3000;
constexpr int kDefaultWriteTimeoutMs = 2000;

// Writes "name@name@..." into buffer, zero-padded to `capacity` bytes and
// always zero-terminated, and returns the number of names written. Names are
// written in list order until one does not fit; it and all after it are left
// out, so a name's place in the buffer is its place in the list (what
// OpenQfUSBPrinter counts). An '@' inside a name is written as '_'.
int EnumUSBPrinter(char* buffer, int capacity = kEnumBufferSize);
// The name EnumUSBPrinter lists for a printer whose own name is `name`: every
// '@' (the list's separator) written as '_'.
std::string ListedPrinterName(std::string name);
// The first printer listed under exactly that name (as EnumUSBPrinter writes
// it); a handle or -1.
int OpenUSBPrinter(const std::string& name);
// first: read time-out in ms, second: write time-out in ms, for every printer
// of this library (the custom mode has its own, SetPortTimeout). 1.
int SetTimeout(int first, int second);
// Non-zero on success with the bytes sent in *written; 0 on failure.
int WriteUSBPrinter(int handle, const uint8_t* buffer, int length, int* written);
// Non-zero on success with the bytes received (at most length, 0 when nothing
// came within the read time-out) in *read; 0 on failure.
int ReadUSBPrinter(int handle, uint8_t* buffer, int length, int* read);
// As UsbDevice::uReadWaiting, for a printer opened with OpenUSBPrinter.
int ReadUSBPrinterWaiting(int handle, uint8_t* buffer, int length);
// As UsbDevice::GetSpecStatus.
int GetPrnStatus(int handle, uint8_t* buffer, int asked, int* got);
// 1 when the handle was open, else 0.
int CloseUSBPrinter(int handle);

// VD-K773 custom mode: one connection, no handle on the calls. Opening it again
// closes the one before.
// printerId: 1-based position in the list EnumUSBPrinter writes; a handle, or
// -1 on failure.
int OpenQfUSBPrinter(int printerId);
// As SetTimeout, for the custom connection. 1.
int SetPortTimeout(int first, int second);
// Bytes written; -1 when no connection is open or the write failed.
int WriteQfUSBPrinter(const uint8_t* buffer, int length);
// Bytes read (at most length); 0 when nothing came; -1 when no connection is
// open or the read failed.
int ReadQfUSBPrinter(uint8_t* buffer, int length);
// As UsbDevice::uReadWaiting, for the custom connection.
int ReadQfUSBPrinterWaiting(uint8_t* buffer, int length);
// 1 when a connection was open, else 0.
int CloseQfUSBPrinter();
}  // namespace UsbPrinter
