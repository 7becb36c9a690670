// The two USB libraries: the USB device library (PortUSB) and the USB printer
// library (PortUSBPrinter, with the VD-K773 custom mode). Each keeps the result
// conventions its callers rely on: a handle or -1, byte counts, 0 from a failed
// status call.
#pragma once

#include <cstdint>
#include <string>

namespace UsbDevice {
int OpenDeviceX(int index);
int CloseDevice(int handle);
int GetPrinterInternalID(int handle);
int SetUSBTimeouts(int handle, int first, int second);
int uWrite(int handle, int pipe, const uint8_t* buffer, int length);
int uRead(int handle, int pipe, uint8_t* buffer, int length);
int GetSpecStatus(int handle, uint8_t* buffer, int asked, int* got);
int SendSpecCommand(int handle, int code);
}  // namespace UsbDevice

namespace UsbPrinter {
constexpr int kEnumBufferSize = 256;
// Writes "name@name@..." into buffer (capacity bytes, zero-terminated) and
// returns the number of printers.
int EnumUSBPrinter(char* buffer, int capacity = kEnumBufferSize);
int OpenUSBPrinter(const std::string& name);
int SetTimeout(int first, int second);
int WriteUSBPrinter(int handle, const uint8_t* buffer, int length, int* written);
int ReadUSBPrinter(int handle, uint8_t* buffer, int length, int* read);
int GetPrnStatus(int handle, uint8_t* buffer, int asked, int* got);
int CloseUSBPrinter(int handle);

// VD-K773 custom mode: one connection, no handle on the calls.
int OpenQfUSBPrinter(int printerId);
int SetPortTimeout(int first, int second);
int WriteQfUSBPrinter(const uint8_t* buffer, int length);
int ReadQfUSBPrinter(uint8_t* buffer, int length);
int CloseQfUSBPrinter();
}  // namespace UsbPrinter
