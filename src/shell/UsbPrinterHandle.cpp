#include "shell/UsbPrinterHandle.h"

#include "link/PortState.h"
#include "link/USBUnit.h"

namespace {
int g_handle = -1;
UsbPrinterChannel g_channel = UsbPrinterChannel::Plain;
}  // namespace

void RememberUsbPrinterHandle(int handle, UsbPrinterChannel channel) {
  g_handle = handle;
  g_channel = channel;
}

UsbPrinterChannel UsbPrinterHandleChannel() {
  const int handle = USBPrinterParameter.m_hdev.load();
  if (handle != -1 && handle == g_handle) return g_channel;
  return IsK773CustomMode() ? UsbPrinterChannel::Custom : UsbPrinterChannel::Plain;
}

void CloseUsbPrinterHandle() {
  const int handle = USBPrinterParameter.m_hdev.load();
  if (handle == -1) return;
  if (UsbPrinterHandleChannel() == UsbPrinterChannel::Custom)
    UsbPrinter::CloseQfUSBPrinter();
  else
    UsbPrinter::CloseUSBPrinter(handle);
  USBPrinterParameter.m_hdev = -1;
  g_handle = -1;
}
