#include "link/UsbPrinterHandle.h"

#include <atomic>

#include "link/PortState.h"
#include "link/USBUnit.h"

namespace {
// Read by worker threads that close the handle at the end of their run.
std::atomic<int> g_handle{-1};
std::atomic<UsbPrinterChannel> g_channel{UsbPrinterChannel::Plain};

UsbPrinterChannel ChannelOf(int handle) {
  if (handle != -1 && handle == g_handle.load()) return g_channel.load();
  return IsK773CustomMode() ? UsbPrinterChannel::Custom : UsbPrinterChannel::Plain;
}

void CloseWith(UsbPrinterChannel channel, int handle) {
  if (handle <= 0) return;
  if (channel == UsbPrinterChannel::Custom)
    UsbPrinter::CloseQfUSBPrinter();
  else
    UsbPrinter::CloseUSBPrinter(handle);
}
}  // namespace

void RememberUsbPrinterHandle(int handle, UsbPrinterChannel channel) {
  g_channel = channel;
  g_handle = handle;
}

UsbPrinterChannel UsbPrinterHandleChannel() { return ChannelOf(USBPrinterParameter.m_hdev.load()); }

void CloseUsbPrinterHandle() {
  const int handle = USBPrinterParameter.m_hdev.load();
  if (handle == -1) return;
  const UsbPrinterChannel channel = ChannelOf(handle);
  USBPrinterParameter.m_hdev = -1;
  CloseWith(channel, handle);
  g_handle = -1;
}

bool CloseUsbPrinterHandleIfHeld(int handle) {
  if (handle <= 0) return false;
  const UsbPrinterChannel channel = ChannelOf(handle);
  int expected = handle;
  if (!USBPrinterParameter.m_hdev.compare_exchange_strong(expected, -1)) return false;
  CloseWith(channel, handle);
  int recorded = handle;
  g_handle.compare_exchange_strong(recorded, -1);
  return true;
}
