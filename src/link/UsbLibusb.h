// The USB libraries' backend for real printers, on libusb-1.0.
//
// Device library: a device counts when one of its interfaces is vendor-specific
// (class 0xFF) and has a bulk IN and a bulk OUT endpoint. The attached devices
// are sorted by bus, then address; the first eight are positions 0 to 7.
//
// Printer library: printer-class interfaces (class 0x07) with a bulk OUT
// endpoint (and usually a bulk IN one, which reads need), in the same order.
// A printer-class printer is never taken for a device, however many endpoints
// it has; a printer that has both kinds of interface is listed by both
// libraries (ChooseInterface).
// A printer's name is the MDL field of its IEEE 1284 device ID, fetched with the
// printer class's GET_DEVICE_ID request; a printer that does not answer it is
// named by its product string.
//
// While a port is open its interface is claimed; the kernel's usblp driver is
// detached for that time (libusb's auto-detach) and attached again on close.
//
// Vendor control requests of the printers (recipient: the interface, wIndex =
// the interface number, wValue 0):
//   kReqGetStatus   0x01  IN,  wLength n: the current status record (4, 6 or 8
//                         bytes by model); the printer answers up to n bytes.
//   kReqInternalId  0x02  IN,  wLength 4: the internal printer ID, int32 LE.
//   0xC0, 0xC1            OUT, no data: printer reset, clear error (the codes of
//                         SendSpecCommand are the request numbers themselves).
#pragma once

#include <libusb-1.0/libusb.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "link/UsbBackend.h"

namespace torva::usb {

constexpr uint8_t kReqGetStatus = 0x01;
constexpr uint8_t kReqInternalId = 0x02;
constexpr uint8_t kPrinterClass = 0x07;
constexpr uint8_t kVendorClass = 0xFF;
constexpr unsigned kControlTimeoutMs = 1000;

// What the enumeration looks at in one interface setting.
struct InterfaceSummary {
  uint8_t interfaceClass = 0;
  bool bulkIn = false;
  bool bulkOut = false;
};

// The interface setting (an index into `settings`, the settings of one
// configuration in descriptor order) that a port of class `cls` uses: for a
// Device the first vendor-specific one with bulk IN and bulk OUT, for a
// Printer or CustomPrinter the first printer-class one with bulk OUT; -1 when
// none serves.
int ChooseInterface(const std::vector<InterfaceSummary>& settings, PortClass cls);

class LibusbBackend : public UsbBackend {
 public:
  using InitFn = int (*)(libusb_context**);
  // init is libusb_init but for tests; a failed init leaves the backend empty
  // (nothing found, nothing opens) and is tried again on the next call.
  explicit LibusbBackend(InitFn init = &libusb_init);
  ~LibusbBackend() override;

  std::vector<int> devicePositions() override;
  std::vector<std::string> printerNames() override;
  std::unique_ptr<UsbConnection> open(PortClass cls, int index) override;

  // True once libusb_init has succeeded.
  bool initialised();

  struct Candidate {
    libusb_device* dev = nullptr;  // one reference held
    uint8_t bus = 0, address = 0;
    int configIndex = 0;
    int iface = -1, alt = 0;
    uint8_t epIn = 0, epOut = 0;  // 0: none
    int inPacket = 64;
  };

 private:
  libusb_context* context();
  std::vector<Candidate> scan(PortClass cls);
  std::string nameOf(const Candidate& c);

  InitFn init_;
  std::mutex mu_;
  libusb_context* ctx_ = nullptr;
};

}  // namespace torva::usb
