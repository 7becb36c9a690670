// The libusb backend with no printer attached (TORVA_USB_SIM unset), a failing
// libusb_init, and the device-ID parsing the printer names come from.
#include <gtest/gtest.h>
#include <libusb-1.0/libusb.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/USBUnit.h"
#include "link/UsbBackend.h"
#include "link/UsbLibusb.h"

namespace {

using torva::usb::LibusbBackend;
using torva::usb::PortClass;

int FailingInit(libusb_context**) { return LIBUSB_ERROR_OTHER; }

TEST(UsbLibusbTest, FailedInitFindsAndOpensNothing) {
  LibusbBackend backend(&FailingInit);
  EXPECT_FALSE(backend.initialised());
  EXPECT_TRUE(backend.devicePositions().empty());
  EXPECT_TRUE(backend.printerNames().empty());
  for (int i = 0; i < 8; ++i) EXPECT_EQ(backend.open(PortClass::Device, i), nullptr);
  EXPECT_EQ(backend.open(PortClass::Printer, 0), nullptr);
  EXPECT_EQ(backend.open(PortClass::CustomPrinter, 0), nullptr);
  LibusbBackend none(nullptr);
  EXPECT_FALSE(none.initialised());
  EXPECT_TRUE(none.devicePositions().empty());
}

TEST(UsbLibusbTest, NoPrinterAttachedGivesNothingAndNoCrash) {
  ::unsetenv("TORVA_USB_SIM");
  LibusbBackend probe;
  // This machine may have real USB devices; only none of ours may be there.
  if (!probe.devicePositions().empty() || !probe.printerNames().empty())
    GTEST_SKIP() << "a vendor-class or printer-class USB device is attached";
  for (int i = -1; i <= 8; ++i) EXPECT_EQ(UsbDevice::OpenDeviceX(i), -1) << i;
  std::vector<char> buf(256 + 8, '~');
  EXPECT_EQ(UsbPrinter::EnumUSBPrinter(buf.data(), 256), 0);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[256], '~');
  EXPECT_EQ(UsbPrinter::OpenUSBPrinter("VD-K773"), -1);
  EXPECT_EQ(UsbPrinter::OpenQfUSBPrinter(1), -1);
  // Calls on handles that were never opened fail by the conventions.
  uint8_t b[8] = {};
  int n = 99;
  EXPECT_EQ(UsbDevice::uWrite(1, 0, b, 1), -1);
  EXPECT_EQ(UsbDevice::uRead(1, 1, b, 1), -1);
  EXPECT_EQ(UsbDevice::GetSpecStatus(1, b, 4, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(UsbDevice::SendSpecCommand(1, 0xC0), 0);
  EXPECT_EQ(UsbDevice::GetPrinterInternalID(1), 0);
  EXPECT_EQ(UsbDevice::SetUSBTimeouts(1, 20, 30), 0);
  EXPECT_EQ(UsbDevice::CloseDevice(1), 0);
  n = 99;
  EXPECT_EQ(UsbPrinter::WriteUSBPrinter(1, b, 1, &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(UsbPrinter::ReadUSBPrinter(1, b, 1, &n), 0);
  EXPECT_EQ(UsbPrinter::GetPrnStatus(1, b, 4, &n), 0);
  EXPECT_EQ(UsbPrinter::CloseUSBPrinter(1), 0);
  EXPECT_EQ(UsbPrinter::WriteQfUSBPrinter(b, 1), -1);
  EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(b, 1), -1);
  EXPECT_EQ(UsbPrinter::CloseQfUSBPrinter(), 0);
}

// Which library finds a USB device, from the interface settings of its
// configuration: a vendor-specific interface (0xFF) with bulk IN and OUT makes
// a USB device, a printer-class interface (7) with bulk OUT a USB printer,
// both kinds make both. A printer-class interface is never a device, however
// many endpoints it has.
TEST(UsbLibusbTest, InterfaceClassesDecideTheKind) {
  using torva::usb::ChooseInterface;
  using torva::usb::InterfaceSummary;
  constexpr uint8_t kVendor = 0xFF, kPrinter = 0x07, kHid = 0x03, kMassStorage = 0x08;
  struct Case {
    const char* what;
    std::vector<InterfaceSummary> settings;
    int device;   // setting the device library uses, -1: not a device
    int printer;  // setting the printer library uses, -1: not a printer
  };
  const Case cases[] = {
      {"bidirectional printer class", {{kPrinter, true, true}}, -1, 0},
      {"unidirectional printer class", {{kPrinter, false, true}}, -1, 0},
      {"vendor class", {{kVendor, true, true}}, 0, -1},
      {"vendor class without bulk IN", {{kVendor, false, true}}, -1, -1},
      {"vendor class without bulk OUT", {{kVendor, true, false}}, -1, -1},
      {"printer class without bulk OUT", {{kPrinter, true, false}}, -1, -1},
      {"printer then vendor", {{kPrinter, true, true}, {kVendor, true, true}}, 1, 0},
      {"vendor then printer", {{kVendor, true, true}, {kPrinter, false, true}}, 0, 1},
      {"other classes first", {{kHid, true, false}, {kMassStorage, true, true}, {kVendor, true, true}}, 2, -1},
      {"first usable setting of each", {{kPrinter, true, false}, {kPrinter, true, true}, {kVendor, false, true},
                                        {kVendor, true, true}}, 3, 1},
      {"no interfaces", {}, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ChooseInterface(c.settings, PortClass::Device), c.device);
    EXPECT_EQ(ChooseInterface(c.settings, PortClass::Printer), c.printer);
    EXPECT_EQ(ChooseInterface(c.settings, PortClass::CustomPrinter), c.printer);
  }
}

TEST(UsbLibusbTest, ModelNameFromDeviceId) {
  struct Case {
    const char* id;
    const char* model;
  };
  const Case cases[] = {
      {"MFG:TORVA;CMD:ESC/POS;MDL:VD-K773;CLS:PRINTER;", "VD-K773"},
      {"MANUFACTURER:X;MODEL:RW-K305GII;", "RW-K305GII"},
      {"mfg:x; mdl : VD-M512II ;", "VD-M512II"},
      {"MDL:Last Field", "Last Field"},
      {"MFG:X;CMD:ESC/POS;", ""},
      {"", ""},
      {"MDLX:no;MDL:yes;", "yes"},
  };
  for (const auto& c : cases) EXPECT_EQ(torva::usb::ModelFromDeviceId(c.id), c.model) << c.id;
}

TEST(UsbLibusbTest, ListNameFallsBackToProductThenIds) {
  struct Case {
    const char* model;
    const char* product;
    uint16_t vid, pid;
    const char* listed;
  };
  const Case cases[] = {
      {"VD-K773", "Thermal Printer", 0x0FE6, 0x811E, "VD-K773"},
      {"", " Thermal Printer ", 0x0FE6, 0x811E, "Thermal Printer"},
      {" ", "", 0x0FE6, 0x811E, "USB Printer 0FE6:811E"},
      {"", "", 0, 1, "USB Printer 0000:0001"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(torva::usb::PrinterListName(c.model, c.product, c.vid, c.pid), c.listed) << c.listed;
}

TEST(UsbLibusbTest, DeviceIdTextIsBoundedByWhatArrived) {
  const std::string text = "MDL:VD-K773;";
  std::vector<uint8_t> be = {0, static_cast<uint8_t>(text.size() + 2)};
  be.insert(be.end(), text.begin(), text.end());
  EXPECT_EQ(torva::usb::DeviceIdText(be.data(), be.size()), text);
  // Little-endian length, as some printers send it.
  std::vector<uint8_t> le = be;
  std::swap(le[0], le[1]);
  EXPECT_EQ(torva::usb::DeviceIdText(le.data(), le.size()), text);
  // A length far beyond the answer: only what arrived counts.
  std::vector<uint8_t> big = be;
  big[0] = 0x7F;
  big[1] = 0x7F;
  EXPECT_EQ(torva::usb::DeviceIdText(big.data(), big.size()), text);
  // The text ends at a zero byte.
  std::vector<uint8_t> z = be;
  z[6] = 0;
  EXPECT_EQ(torva::usb::DeviceIdText(z.data(), z.size()), "MDL:");
  EXPECT_EQ(torva::usb::DeviceIdText(be.data(), 1), "");
  EXPECT_EQ(torva::usb::DeviceIdText(nullptr, 10), "");
}

}  // namespace
