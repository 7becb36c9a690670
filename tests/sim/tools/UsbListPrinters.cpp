// Stands in for the console in the test of `scripts/run.sh --simulator`:
// counts the USB devices the device library opens and lists, one a line, the
// USB printers the USB printer library finds where the console would look
// (TORVA_USB_SIM, when set, else the real USB), and says whether "COM1" names
// a device. Exits 1 when it finds no printer.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/Descriptors.h"
#include "link/USBUnit.h"

int main() {
  EnsureStdDescriptors();
  int devices = 0;
  for (int i = 0; i < 8; ++i) {
    const int h = UsbDevice::OpenDeviceX(i);
    if (h < 0) continue;
    ++devices;
    UsbDevice::CloseDevice(h);
  }
  std::printf("usb devices: %d\n", devices);
  std::vector<char> buf(UsbPrinter::kEnumBufferSize, 0);
  const int count = UsbPrinter::EnumUSBPrinter(buf.data(), static_cast<int>(buf.size()));
  std::string name;
  for (int i = 0; i < static_cast<int>(buf.size()) && buf[static_cast<size_t>(i)]; ++i) {
    const char c = buf[static_cast<size_t>(i)];
    if (c == '@') {
      std::printf("usb printer: %s\n", name.c_str());
      name.clear();
    } else {
      name += c;
    }
  }
  const char* com1 = std::getenv("TORVA_COM1");
  struct stat st {};
  std::printf("COM1: %s\n", com1 && stat(com1, &st) == 0 ? com1 : "(none)");
  return count > 0 ? 0 : 1;
}
