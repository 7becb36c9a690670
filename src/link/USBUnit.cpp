// Placeholder until the USB layers land: no device is ever found.
#include "link/USBUnit.h"

namespace UsbDevice {
int OpenDeviceX(int) { return -1; }
int CloseDevice(int) { return 0; }
int GetPrinterInternalID(int) { return 0; }
int SetUSBTimeouts(int, int, int) { return 0; }
int uWrite(int, int, const uint8_t*, int) { return 0; }
int uRead(int, int, uint8_t*, int) { return 0; }
int GetSpecStatus(int, uint8_t*, int, int* got) { if (got) *got = 0; return 0; }
int SendSpecCommand(int, int) { return 0; }
}  // namespace UsbDevice

namespace UsbPrinter {
int EnumUSBPrinter(char* buffer, int capacity) { if (buffer && capacity > 0) buffer[0] = 0; return 0; }
int OpenUSBPrinter(const std::string&) { return -1; }
int SetTimeout(int, int) { return 0; }
int WriteUSBPrinter(int, const uint8_t*, int, int* written) { if (written) *written = 0; return 0; }
int ReadUSBPrinter(int, uint8_t*, int, int* read) { if (read) *read = 0; return 0; }
int GetPrnStatus(int, uint8_t*, int, int* got) { if (got) *got = 0; return 0; }
int CloseUSBPrinter(int) { return 0; }
int OpenQfUSBPrinter(int) { return -1; }
int SetPortTimeout(int, int) { return 0; }
int WriteQfUSBPrinter(const uint8_t*, int) { return 0; }
int ReadQfUSBPrinter(uint8_t*, int) { return 0; }
int CloseQfUSBPrinter() { return 0; }
}  // namespace UsbPrinter
