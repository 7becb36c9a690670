#include "link/PortSession.h"

#include "link/COMUnit.h"
#include "link/DriverUnit.h"
#include "link/EepromControl.h"
#include "link/LPTUnit.h"
#include "link/NetUnit.h"
#include "link/ParReverse.h"
#include "link/USBUnit.h"
#include "link/UsbPrinterHandle.h"

std::atomic<int> iPrinterID{0};

namespace torva::link {

namespace {

// Closes the handle a field holds and stores -1; -1 is never closed, nor is
// a handle of 0 (the standard descriptors are never a port).
template <typename Close>
void CloseField(std::atomic<int>& field, Close close) {
  const int h = field.exchange(-1);
  if (h > 0) close(h);
}

template <typename Close>
void CloseFieldIfHeld(std::atomic<int>& field, int handle, Close close) {
  int expected = handle;
  if (handle > 0 && field.compare_exchange_strong(expected, -1)) close(handle);
}

bool UseCustomUsbPrinter(const PortSessionPlan& plan) {
  switch (plan.usbPrinter) {
    case UsbPrinterOpen::Plain: return false;
    case UsbPrinterOpen::Custom: return true;
    case UsbPrinterOpen::ByMode: break;
  }
  return IsK773CustomMode();
}

PortOpen Result(int kind, int handle) {
  PortOpen r;
  r.kind = kind;
  r.handle = handle;
  r.status = handle == -1 ? PortOpenStatus::Failed : PortOpenStatus::Opened;
  return r;
}

}  // namespace

PortOpen OpenConfiguredPort(const PortSessionPlan& plan) {
  const int kind = PortType.load();
  PortOpen none;
  none.kind = kind;
  if (!HasKind(plan.kinds, kind)) return none;

  switch (kind) {
    case PortCOM: {
      CloseField(ComParameter.m_hdev, [](int h) { CloseCOM(h); });
      const int bits = plan.serialDataBits > 0 ? plan.serialDataBits : ComParameter.Databits;
      const int h = (plan.serialKeepsOutput ? OpenCOMKeepingOutput : OpenCOM)(
          ComParameter.Name, ComParameter.Baudrate, bits, ComParameter.Stopbits, ComParameter.Handshake,
          ComParameter.Parity);
      ComParameter.m_hdev = h;
      return Result(kind, h);
    }
    case PortLPT: {
      CloseField(LPTParameter.m_hdev, [](int h) { CloseLPT(h); });
      const int h = OpenLPT(LPTParameter.Name);
      LPTParameter.m_hdev = h;
      return Result(kind, h);
    }
    case PortNibbleLPT: {
      ParReverse::DriverClose();
      const uint16_t port = static_cast<uint16_t>(LPTParameter.Number & 0xFFFF);
      if (ParReverse::DriverOpenEx(port, 1, 0, ProgramDirectory()) != 1) return Result(kind, -1);
      if (plan.nibbleReceiveTimeoutMs >= 0 || plan.nibbleSendTimeoutMs >= 0)
        ParReverse::SetTimeoutInfo(plan.nibbleReceiveTimeoutMs, plan.nibbleSendTimeoutMs);
      return Result(kind, 0);
    }
    case PortUSB: {
      CloseField(USBParameter.m_hdev, [](int h) { UsbDevice::CloseDevice(h); });
      const int h = UsbDevice::OpenDeviceX(USBParameter.X);
      USBParameter.m_hdev = h;
      if (h != -1 && (plan.usbDeviceFirstTimeout >= 0 || plan.usbDeviceSecondTimeout >= 0))
        CurrentPortLibraryCalls().SetUSBTimeouts(h, plan.usbDeviceFirstTimeout, plan.usbDeviceSecondTimeout);
      return Result(kind, h);
    }
    case PortUSBPrinter: {
      CloseUsbPrinterHandle();
      const bool custom = UseCustomUsbPrinter(plan);
      const int h = custom ? UsbPrinter::OpenQfUSBPrinter(iPrinterID.load())
                           : UsbPrinter::OpenUSBPrinter(USBPrinterParameter.Name);
      USBPrinterParameter.m_hdev = h;
      if (h != -1) {
        RememberUsbPrinterHandle(h, custom ? UsbPrinterChannel::Custom : UsbPrinterChannel::Plain);
        if (plan.usbPrinterReadTimeoutMs >= 0 || plan.usbPrinterWriteTimeoutMs >= 0) {
          const PortLibraryCalls& calls = CurrentPortLibraryCalls();
          (custom ? calls.SetPortTimeout : calls.SetTimeout)(plan.usbPrinterReadTimeoutMs,
                                                             plan.usbPrinterWriteTimeoutMs);
        }
      }
      return Result(kind, h);
    }
    case PortDriver: {
      if (!plan.openSpoolerQueue) return Result(kind, 0);
      CloseField(DriverParameter.hPrinter, [](int h) { ClosePrinterDriver(h); });
      const int h = OpenPrinterDriver(DriverParameter.DriverName);
      DriverParameter.hPrinter = h;
      return Result(kind, h);
    }
    case PortNet: {
      if (plan.netUsesStandingConnection) return Result(kind, 0);
      if (PNET.handle == -1 && !OpenNetPort()) return Result(kind, -1);
      return Result(kind, 0);
    }
    default:
      return none;
  }
}

void CloseConfiguredPort(const PortSessionPlan& plan, int kind) {
  if (HasKind(plan.keepOpen, kind)) return;
  switch (kind) {
    case PortCOM: CloseField(ComParameter.m_hdev, [](int h) { CloseCOM(h); }); break;
    case PortLPT: CloseField(LPTParameter.m_hdev, [](int h) { CloseLPT(h); }); break;
    case PortNibbleLPT: ParReverse::DriverClose(); break;
    case PortUSB: CloseField(USBParameter.m_hdev, [](int h) { UsbDevice::CloseDevice(h); }); break;
    case PortUSBPrinter: CloseUsbPrinterHandle(); break;
    case PortDriver: CloseField(DriverParameter.hPrinter, [](int h) { ClosePrinterDriver(h); }); break;
    case PortNet:
      if (!plan.netUsesStandingConnection && PNET.handle != -1) CloseNetPort();
      break;
    default: break;
  }
}

void CloseConfiguredPortIfHeld(int kind, int handle) {
  switch (kind) {
    case PortCOM: CloseFieldIfHeld(ComParameter.m_hdev, handle, [](int h) { CloseCOM(h); }); break;
    case PortLPT: CloseFieldIfHeld(LPTParameter.m_hdev, handle, [](int h) { CloseLPT(h); }); break;
    case PortNibbleLPT:
      if (handle == 0) ParReverse::DriverClose();
      break;
    case PortUSB: CloseFieldIfHeld(USBParameter.m_hdev, handle, [](int h) { UsbDevice::CloseDevice(h); }); break;
    case PortUSBPrinter: CloseUsbPrinterHandleIfHeld(handle); break;
    case PortDriver: CloseFieldIfHeld(DriverParameter.hPrinter, handle, [](int h) { ClosePrinterDriver(h); }); break;
    default: break;
  }
}

int ConfiguredHandle(int kind) {
  switch (kind) {
    case PortCOM: return ComParameter.m_hdev.load();
    case PortLPT: return LPTParameter.m_hdev.load();
    case PortUSB: return USBParameter.m_hdev.load();
    case PortUSBPrinter: return USBPrinterParameter.m_hdev.load();
    case PortDriver: return DriverParameter.hPrinter.load();
    case PortNibbleLPT:
    case PortNet: return 0;
    default: return -1;
  }
}

std::string ConfiguredPortName(int kind) {
  switch (kind) {
    case PortCOM: return ComParameter.Name;
    case PortLPT:
    case PortNibbleLPT: return "LPT" + std::to_string(LPTParameter.Number);
    case PortUSB: return USBParameter.Name;
    case PortUSBPrinter: return USBPrinterParameter.Name;
    case PortDriver: return DriverParameter.DriverName;
    case PortNet: return PNET.IPAddress;
    default: return {};
  }
}

void CloseEveryOpenPort() {
  CloseField(USBParameter.m_hdev, [](int h) { UsbDevice::CloseDevice(h); });
  CloseField(ComParameter.m_hdev, [](int h) { CloseCOM(h); });
  CloseField(LPTParameter.m_hdev, [](int h) { CloseLPT(h); });
  if (PortType == PortNibbleLPT) ParReverse::DriverClose();
  if (PNET.handle != -1) CloseNetPort();
  // Closed with the call of the channel that opened it.
  CloseUsbPrinterHandle();
}

PortOpen PortSession::Open() {
  Close();
  open_ = OpenConfiguredPort(plan_);
  return open_;
}

void PortSession::Close() {
  if (!open_.opened()) {
    open_ = {};
    return;
  }
  const PortOpen was = open_;
  open_ = {};
  // Only what this session opened, and only while the record still holds it.
  if (HasKind(plan_.keepOpen, was.kind)) return;
  if (was.kind == PortNet) {
    CloseConfiguredPort(plan_, was.kind);
    return;
  }
  CloseConfiguredPortIfHeld(was.kind, was.handle);
}

}  // namespace torva::link
