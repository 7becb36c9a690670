// The USB printer library opens a printer through one of two channels: the
// printer-class call OpenUSBPrinter, or the VD-K773 custom call
// OpenQfUSBPrinter. Each has its own close call, so a handle left open in
// USBPrinterParameter.m_hdev is remembered together with the channel that
// opened it, and the next close uses the matching call.
#pragma once

enum class UsbPrinterChannel { Plain, Custom };

// Records that `handle` (now in USBPrinterParameter.m_hdev) came from `channel`.
void RememberUsbPrinterHandle(int handle, UsbPrinterChannel channel);
// Closes USBPrinterParameter.m_hdev (when it is not -1) with the close call of
// the channel that opened it and stores -1. A handle whose channel was never
// recorded is closed by the current mode: custom for the VD-K773 in its custom
// mode, plain otherwise.
void CloseUsbPrinterHandle();
// As CloseUsbPrinterHandle, but only while USBPrinterParameter.m_hdev still
// holds `handle` (a worker thread ending its run). True when it closed it.
bool CloseUsbPrinterHandleIfHeld(int handle);
// The channel recorded for the handle now in USBPrinterParameter.m_hdev.
UsbPrinterChannel UsbPrinterHandleChannel();
