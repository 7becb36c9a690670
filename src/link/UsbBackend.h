// What the two USB libraries need of a backend: find the ports, open one, and
// move bytes over it. Two backends exist: libusb-1.0 for real printers, and the
// simulated printer's Unix socket (TORVA_USB_SIM).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace torva::usb {

enum class PortClass {
  Device,         // the device library: vendor-specific or printer-class, bulk IN + OUT
  Printer,        // the printer library: printer class, named by its device ID
  CustomPrinter,  // the VD-K773 custom-mode connection (printer list positions)
};

// One open port. Every call is safe from any thread; abort() (from the close
// call) makes a call that is waiting return at once with a failure.
class UsbConnection {
 public:
  virtual ~UsbConnection() = default;
  // Bytes taken, or -1 on failure.
  virtual int bulkWrite(const uint8_t* data, int length, int timeoutMs) = 0;
  // Bytes received (at most length); 0 when nothing came within timeoutMs; -1
  // on failure (the device is gone, the connection broke). A timeoutMs of 0
  // waits for nothing: what the connection kept from an earlier packet, else
  // what the device hands over at once (libusb's shortest transfer, 1 ms).
  virtual int bulkRead(uint8_t* buffer, int length, int timeoutMs) = 0;
  // The printer's current status record, at most asked bytes; the count, or -1.
  virtual int statusRecord(uint8_t* buffer, int asked) = 0;
  // A one-byte vendor command (0xC0 reset, 0xC1 clear error); true when taken.
  virtual bool vendorCommand(int code) = 0;
  // The internal printer ID; 0 when the device does not tell.
  virtual int internalId() = 0;
  virtual void abort() = 0;
};

class UsbBackend {
 public:
  virtual ~UsbBackend() = default;
  // Device: the positions (0..7) of the attached devices, in bus order.
  virtual std::vector<int> devicePositions() = 0;
  // Printer: the model names of the attached printers, in bus order.
  virtual std::vector<std::string> printerNames() = 0;
  // Device: position 0..7; Printer and CustomPrinter: index into printerNames().
  // nullptr when nothing is there or it cannot be opened.
  virtual std::unique_ptr<UsbConnection> open(PortClass cls, int index) = 0;
};

// The backend the libraries use now: the simulator when TORVA_USB_SIM names a
// socket, else libusb. Read on every call, so tests may switch between cases.
UsbBackend& CurrentBackend();

// The name of a printer from its IEEE 1284 device ID text: the MDL (or MODEL)
// field, trimmed; empty when there is none.
std::string ModelFromDeviceId(const std::string& deviceId);
// The name a USB printer is listed by: its model name from the device ID,
// else its product string (trimmed), else its vendor and product IDs
// ("USB Printer 0FE6:811E"), so no printer is listed without a name (an
// empty one would end the port-setting dialog's list).
std::string PrinterListName(const std::string& model, const std::string& product, uint16_t vendorId,
                            uint16_t productId);
// The text of a GET_DEVICE_ID answer (2-byte big-endian length that counts
// itself, then the text); the length is bounded by n.
std::string DeviceIdText(const uint8_t* data, size_t n);

}  // namespace torva::usb
