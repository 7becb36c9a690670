// Both USB libraries against the simulated printer's USB socket
// (TORVA_USB_SIM): enumeration, opens, byte-exact writes, reads and their
// time-outs, status records, vendor requests, and the VD-K773 custom framing,
// also through the common read routines. Each case has its own socket in a
// mkdtemp folder.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "link/USBUnit.h"
#include "link/UsbSimClient.h"
#include "link/UsbSimProtocol.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"

using torva::sim::Bytes;
using torva::sim::SimPrinter;
using torva::sim::UsbSimOptions;

namespace {

constexpr uint8_t kCls = torva::usbsim::kK773ClassByte;

class UsbSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    torva::SetPrinterDelayScale(1.0);
    char tmpl[] = "/tmp/torva-usb-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/usb.sock";
    ::setenv("TORVA_USB_SIM", path_.c_str(), 1);
    printer_ = std::make_unique<SimPrinter>(2);
  }

  void TearDown() override {
    UsbPrinter::CloseQfUSBPrinter();
    for (int h : devices_) UsbDevice::CloseDevice(h);
    for (int h : printers_) UsbPrinter::CloseUSBPrinter(h);
    UsbPrinter::SetTimeout(UsbPrinter::kDefaultReadTimeoutMs, UsbPrinter::kDefaultWriteTimeoutMs);
    UsbPrinter::SetPortTimeout(UsbPrinter::kDefaultReadTimeoutMs, UsbPrinter::kDefaultWriteTimeoutMs);
    printer_.reset();
    ::unsetenv("TORVA_USB_SIM");
    ::unlink(path_.c_str());
    ::rmdir(dir_.c_str());
    ResetPortState();
  }

  void start(const UsbSimOptions& options = {}) {
    ASSERT_TRUE(torva::sim::StartUsbSocket(*printer_, path_, options));
  }

  int openDevice(int index) {
    const int h = UsbDevice::OpenDeviceX(index);
    if (h > 0) devices_.push_back(h);
    return h;
  }
  int openPrinter(const std::string& name) {
    const int h = UsbPrinter::OpenUSBPrinter(name);
    if (h > 0) printers_.push_back(h);
    return h;
  }

  // The host's bytes reach the printer on the simulator's own thread.
  Bytes receivedAfter(size_t n) {
    const uint64_t end = torva::TickMs() + 2000;
    Bytes got = printer_->receivedBytes();
    while (got.size() < n && torva::TickMs() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      got = printer_->receivedBytes();
    }
    return got;
  }

  std::string enumText(int capacity = UsbPrinter::kEnumBufferSize, int* count = nullptr) {
    std::vector<char> buf(static_cast<size_t>(capacity), 'x');
    const int n = UsbPrinter::EnumUSBPrinter(buf.data(), capacity);
    if (count) *count = n;
    return std::string(buf.data());
  }

  std::string dir_, path_;
  std::unique_ptr<SimPrinter> printer_;
  std::vector<int> devices_, printers_;
};

// ------------------------------------------------------------ write faults

// A host write that holds the write-setting command a fault names answers 0
// and none of its bytes reach the printer, as many times as asked; the same
// address in the other bank is not hit. The length of every host write is
// kept, in order.
TEST_F(UsbSimTest, SettingWriteFaultByBankAndAddress) {
  start();
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  printer_->setUsbSettingWriteFault(2, 0x10, 1);
  const Bytes bank1{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x07, 0x00, 0x10};
  const Bytes bank2{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, 0x01, 0x00, 0x10};
  Bytes carried{0x0A};
  carried.insert(carried.end(), bank2.begin(), bank2.end());
  EXPECT_EQ(UsbDevice::uWrite(h, 0, bank1.data(), 9), 9);
  EXPECT_EQ(UsbDevice::uWrite(h, 0, carried.data(), 10), 0);
  EXPECT_EQ(UsbDevice::uWrite(h, 0, bank2.data(), 9), 9);  // the one failure is spent
  Bytes both = bank1;
  both.insert(both.end(), bank2.begin(), bank2.end());
  EXPECT_EQ(receivedAfter(18), both);
  EXPECT_EQ(printer_->setting(0x10, 1), 0x0007);
  EXPECT_EQ(printer_->setting(0x10, 2), 0x0001);
  EXPECT_EQ(printer_->usbWriteLengths(), (std::vector<int>{9, 10, 9}));
  printer_->clearLog();
  EXPECT_TRUE(printer_->usbWriteLengths().empty());
}

// ------------------------------------------------------------ enumeration

TEST_F(UsbSimTest, DeviceOpensOnlyAtItsPositions) {
  struct Case {
    std::vector<int> positions;
  };
  const Case cases[] = {{{0}}, {{3}}, {{1, 6}}, {{}}};
  for (const auto& c : cases) {
    UsbSimOptions o;
    o.devicePositions = c.positions;
    start(o);
    for (int i = -1; i <= 8; ++i) {
      const bool expected = std::find(c.positions.begin(), c.positions.end(), i) != c.positions.end();
      const int h = openDevice(i);
      EXPECT_EQ(h > 0, expected) << "position " << i;
      if (!expected) {
        EXPECT_EQ(h, -1) << "position " << i;
      }
    }
    for (int h : devices_) EXPECT_EQ(UsbDevice::CloseDevice(h), 1);
    devices_.clear();
    printer_->stop();
  }
}

TEST_F(UsbSimTest, HandlesArePositiveAndDistinctAndDieOnClose) {
  start();
  const int a = openDevice(0);
  const int b = openDevice(0);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(UsbDevice::GetPrinterInternalID(a), 0x10000 + 2);
  EXPECT_EQ(UsbDevice::CloseDevice(a), 1);
  EXPECT_EQ(UsbDevice::CloseDevice(a), 0);
  const uint8_t lf = 0x0A;
  EXPECT_EQ(UsbDevice::uWrite(a, 0, &lf, 1), -1);
  EXPECT_EQ(UsbDevice::uWrite(b, 0, &lf, 1), 1);
  // A handle of one library means nothing to the other.
  int written = 0;
  EXPECT_EQ(UsbPrinter::WriteUSBPrinter(b, &lf, 1, &written), 0);
  EXPECT_EQ(written, 0);
  const int p = openPrinter(printer_->printerName());
  ASSERT_GT(p, 0);
  EXPECT_EQ(UsbDevice::uWrite(p, 0, &lf, 1), -1);
  EXPECT_EQ(UsbDevice::CloseDevice(p), 0);
}

// The write fault takes no byte of the n-th write from now on, over both
// libraries' connections, and answers it with nothing written.
TEST_F(UsbSimTest, WriteFaultRefusesTheNthWriteWhole) {
  start();
  const int device = openDevice(0);
  const int printer = openPrinter(printer_->printerName());
  ASSERT_GT(device, 0);
  ASSERT_GT(printer, 0);
  printer_->setWriteFault(2);
  const uint8_t first[] = {0x0A};
  const uint8_t second[] = {0x1B, 0x40};
  const uint8_t third[] = {0x0A, 0x0A};
  EXPECT_EQ(UsbDevice::uWrite(device, 0, first, 1), 1);
  int written = -1;
  EXPECT_EQ(UsbPrinter::WriteUSBPrinter(printer, second, 2, &written), 1) << "the call itself succeeds";
  EXPECT_EQ(written, 0);
  EXPECT_EQ(UsbDevice::uWrite(device, 0, third, 2), 2) << "only the n-th write is refused";
  EXPECT_EQ(receivedAfter(3), (Bytes{0x0A, 0x0A, 0x0A}));

  printer_->setWriteFault(1);
  printer_->clearFault();
  EXPECT_EQ(UsbDevice::uWrite(device, 0, first, 1), 1) << "clearFault clears the write fault too";
}

TEST_F(UsbSimTest, PrinterNamesAreListedWithSeparators) {
  UsbSimOptions o;
  o.otherPrinters = {"Office Laser", "Label@Maker"};
  o.printerIndex = 1;
  printer_->setPrinterName("VD-K773");
  start(o);
  int count = -1;
  std::vector<char> buf(UsbPrinter::kEnumBufferSize, 'x');
  count = UsbPrinter::EnumUSBPrinter(buf.data(), UsbPrinter::kEnumBufferSize);
  EXPECT_EQ(count, 3);
  EXPECT_STREQ(buf.data(), "Office Laser@VD-K773@Label_Maker@");
  for (size_t i = std::strlen(buf.data()); i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << "byte " << i;
  // The name follows the printer's setting.
  printer_->setPrinterName("RW-K305GII");
  EXPECT_EQ(enumText(256, &count), "Office Laser@RW-K305GII@Label_Maker@");
}

// A printer whose device ID has no model (and no product string) is named
// by its vendor and product IDs: an empty name would end the port-setting
// dialog's list, and the printers after it would be lost.
TEST_F(UsbSimTest, PrinterWithoutANameIsListedByItsIds) {
  UsbSimOptions o;
  o.otherPrinters = {""};
  o.printerIndex = 1;
  printer_->setPrinterName("VD-K773");
  start(o);
  int count = -1;
  EXPECT_EQ(enumText(256, &count), "USB Printer F0A7:0100@VD-K773@");
  EXPECT_EQ(count, 2);
  EXPECT_GT(openPrinter("VD-K773"), 0);
  EXPECT_EQ(openPrinter("USB Printer F0A7:0100"), -1);  // listed, held by someone else
}

TEST_F(UsbSimTest, LongNameListNeverPassesTheBuffer) {
  UsbSimOptions o;
  for (int i = 0; i < 40; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "PRINTER-%02d", i);  // 10 characters, 11 with '@'
    o.otherPrinters.push_back(name);
  }
  o.printer = false;
  start(o);
  std::vector<char> buf(256 + 32, '~');
  const int count = UsbPrinter::EnumUSBPrinter(buf.data(), 256);
  EXPECT_EQ(count, 23);  // 23 * 11 = 253 bytes and the final zero
  EXPECT_EQ(std::strlen(buf.data()), 253u);
  EXPECT_EQ(std::string(buf.data()).substr(0, 22), "PRINTER-00@PRINTER-01@");
  EXPECT_EQ(std::string(buf.data()).substr(242), "PRINTER-22@");
  for (size_t i = 256; i < buf.size(); ++i) ASSERT_EQ(buf[i], '~') << "byte " << i << " written";
  // Smaller buffers: as many whole names as fit, always zero-terminated.
  struct Case {
    int capacity;
    int count;
  };
  for (const Case c : {Case{1, 0}, Case{11, 0}, Case{12, 1}, Case{23, 2}}) {
    std::vector<char> small(static_cast<size_t>(c.capacity) + 8, '~');
    EXPECT_EQ(UsbPrinter::EnumUSBPrinter(small.data(), c.capacity), c.count) << c.capacity;
    EXPECT_EQ(std::strlen(small.data()), static_cast<size_t>(c.count * 11)) << c.capacity;
    for (size_t i = static_cast<size_t>(c.capacity); i < small.size(); ++i) ASSERT_EQ(small[i], '~');
  }
  EXPECT_EQ(UsbPrinter::EnumUSBPrinter(nullptr, 256), 0);
}

TEST_F(UsbSimTest, NameTooLongForTheBufferIsLeftOutWithAllAfterIt) {
  UsbSimOptions o;
  o.otherPrinters = {"A", std::string(300, 'L'), "B"};
  o.printer = false;
  start(o);
  int count = -1;
  EXPECT_EQ(enumText(256, &count), "A@");
  EXPECT_EQ(count, 1);
}

TEST_F(UsbSimTest, OpenByName) {
  UsbSimOptions o;
  o.otherPrinters = {"Other Printer"};
  o.printerIndex = 1;
  printer_->setPrinterName("VD-K773");
  start(o);
  EXPECT_GT(openPrinter("VD-K773"), 0);
  EXPECT_EQ(openPrinter("VD-K77"), -1);
  EXPECT_EQ(openPrinter("vd-k773"), -1);
  EXPECT_EQ(openPrinter(""), -1);
  EXPECT_EQ(openPrinter("Other Printer"), -1);  // listed, held by someone else
}

// A name with '@' is listed with '_' (the list's separator cannot stand in
// a name), and the printer opens under the name the list shows.
TEST_F(UsbSimTest, PrinterOpensUnderItsListedName) {
  struct Case {
    const char* own;
    const char* listed;
  };
  const Case cases[] = {{"VD@K773", "VD_K773"}, {"@VD-K773@", "_VD-K773_"}, {"VD-K773", "VD-K773"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.own);
    EXPECT_EQ(UsbPrinter::ListedPrinterName(c.own), c.listed);
    UsbSimOptions o;
    o.otherPrinters = {"Other@Printer"};
    o.printerIndex = 1;
    printer_->setPrinterName(c.own);
    start(o);
    EXPECT_EQ(enumText(), std::string("Other_Printer@") + c.listed + "@");
    const int h = openPrinter(c.listed);
    ASSERT_GT(h, 0);
    int written = 0;
    const uint8_t lf = 0x0A;
    EXPECT_NE(UsbPrinter::WriteUSBPrinter(h, &lf, 1, &written), 0);
    EXPECT_EQ(written, 1);
    EXPECT_EQ(receivedAfter(1), Bytes{0x0A});
    EXPECT_EQ(UsbPrinter::CloseUSBPrinter(h), 1);
    printers_.clear();
    printer_->clearLog();
    printer_->stop();
  }
}

TEST_F(UsbSimTest, NothingOpensWithoutTheSimulator) {
  // TORVA_USB_SIM names a socket nobody listens on.
  int count = -1;
  EXPECT_EQ(enumText(256, &count), "");
  EXPECT_EQ(count, 0);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(openDevice(i), -1);
  EXPECT_EQ(openPrinter("VD-M512II"), -1);
  EXPECT_EQ(UsbPrinter::OpenQfUSBPrinter(1), -1);
}


// A socket the simulator cannot listen on is reported as a failure (what
// torva-printer-sim --usb-socket relies on), not taken for a running printer.
TEST_F(UsbSimTest, SocketThatCannotListenIsAFailure) {
  const std::string cases[] = {dir_ + "/missing-folder/usb.sock", std::string(200, 'x'), ""};
  for (const std::string& path : cases) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(torva::sim::StartUsbSocket(*printer_, path, {}));
  }
  ::setenv("TORVA_USB_SIM", cases[0].c_str(), 1);
  EXPECT_EQ(openDevice(0), -1);
  // The same printer still starts on a good path afterwards.
  ::setenv("TORVA_USB_SIM", path_.c_str(), 1);
  start();
  EXPECT_GT(openDevice(0), 0);
}
TEST_F(UsbSimTest, PrinterOnlyOrDeviceOnly) {
  UsbSimOptions o;
  o.devicePositions = {};
  start(o);
  EXPECT_EQ(openDevice(0), -1);
  EXPECT_GT(openPrinter(printer_->printerName()), 0);
  printer_->stop();
  o.devicePositions = {0};
  o.printer = false;
  start(o);
  int count = -1;
  EXPECT_EQ(enumText(256, &count), "");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(openPrinter(printer_->printerName()), -1);
  EXPECT_GT(openDevice(0), 0);
}

// ------------------------------------------------------------ writes and reads

Bytes AwkwardBytes(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 37 + 11) & 0xFF);
  b[0] = 0x00;
  b[1] = 0x0A;
  b[2] = 0x1B;
  return b;
}

TEST_F(UsbSimTest, WritesArriveByteForByte) {
  start();
  const Bytes data = AwkwardBytes(5000);
  const int d = openDevice(0);
  ASSERT_GT(d, 0);
  EXPECT_EQ(UsbDevice::uWrite(d, 0, data.data(), static_cast<int>(data.size())),
            static_cast<int>(data.size()));
  EXPECT_EQ(receivedAfter(data.size()), data);

  printer_->clearLog();
  const int p = openPrinter(printer_->printerName());
  ASSERT_GT(p, 0);
  int written = -1;
  EXPECT_NE(UsbPrinter::WriteUSBPrinter(p, data.data(), 777, &written), 0);
  EXPECT_EQ(written, 777);
  EXPECT_EQ(receivedAfter(777), Bytes(data.begin(), data.begin() + 777));
  EXPECT_EQ(printer_->log().empty() ? std::string() : printer_->log().front().channel, "usbprinter");
  EXPECT_EQ(UsbDevice::uWrite(d, 0, data.data(), 0), 0);
}

TEST_F(UsbSimTest, DeviceReadsReplyAndTimesOutEmpty) {
  start();
  printer_->setTransmitStatus(0x12);
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  uint8_t buf[600];
  // Nothing queued: 0 after the read time-out (2 units of 10 ms).
  ASSERT_EQ(UsbDevice::SetUSBTimeouts(h, 2, 30), 1);
  const uint64_t t0 = torva::TickMs();
  EXPECT_EQ(UsbDevice::uRead(h, 1, buf, 500), 0);
  EXPECT_LT(torva::TickMs() - t0, 1000u);
  ASSERT_EQ(UsbDevice::SetUSBTimeouts(h, 20, 30), 1);
  const uint8_t cmd[] = {0x1D, 0x72, 0x01, 0x0A};
  ASSERT_EQ(UsbDevice::uWrite(h, 0, cmd, 4), 4);
  std::memset(buf, 0xEE, sizeof buf);
  EXPECT_EQ(UsbDevice::uRead(h, 1, buf, 1), 1);
  EXPECT_EQ(buf[0], 0x12);
  EXPECT_EQ(buf[1], 0xEE);
  // A reply longer than the read: the rest waits for the next read.
  printer_->setSetting(0x30, 0xBEEF);
  const uint8_t rd[] = {0x1B, 0x6A, 0x30};
  ASSERT_EQ(UsbDevice::uWrite(h, 0, rd, 3), 3);
  std::memset(buf, 0xEE, sizeof buf);
  EXPECT_EQ(UsbDevice::uRead(h, 1, buf, 1), 1);
  EXPECT_EQ(buf[0], 0xEF);
  EXPECT_EQ(buf[1], 0xEE);
  EXPECT_EQ(UsbDevice::uRead(h, 1, buf, 500), 1);
  EXPECT_EQ(buf[0], 0xBE);
  // The common exact read on the device kind.
  ASSERT_EQ(UsbDevice::uWrite(h, 0, rd, 3), 3);
  uint8_t two[2] = {};
  EXPECT_TRUE(POSReadPort(PortUSB, h, two, 2, 0));
  EXPECT_EQ(two[0], 0xEF);
  EXPECT_EQ(two[1], 0xBE);
}

TEST_F(UsbSimTest, LateReplyMissesAShortReadAndComesLater) {
  start();
  printer_->setFault({torva::sim::Fault::LateReply, 1, 300});
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  UsbDevice::SetUSBTimeouts(h, 5, 30);  // 50 ms
  const uint8_t ts[] = {0x1D, 0x72, 0x01, 0x0A};
  const uint64_t t0 = torva::TickMs();
  ASSERT_EQ(UsbDevice::uWrite(h, 0, ts, 4), 4);
  EXPECT_LT(torva::TickMs() - t0, 200u);  // the write does not wait for the reply
  uint8_t b = 0xEE;
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 0);
  UsbDevice::SetUSBTimeouts(h, 100, 30);  // 1 s
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 1);
}

// A printer that keeps what the host left unread: its reply, sent after the
// host stopped reading, is read first on the next connection to the device,
// as from a real printer's buffer. By default each connection starts with
// nothing to read.
TEST_F(UsbSimTest, UnreadBytesWaitForTheNextConnectionWhenKept) {
  start();
  printer_->setTransmitStatus(0x12);
  std::mutex mu;
  std::condition_variable cv;
  int replies = 0;
  printer_->setReplyObserver([&](const std::string&, const torva::sim::Bytes&) {
    std::lock_guard<std::mutex> lock(mu);
    ++replies;
    cv.notify_all();
  });
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep);
    printer_->setUsbKeepsUnreadBytes(keep);
    EXPECT_EQ(printer_->usbKeepsUnreadBytes(), keep);
    const int h = openDevice(0);
    ASSERT_GT(h, 0);
    const uint8_t ts[] = {0x1D, 0x72, 0x01, 0x0A};
    const int before = replies;
    ASSERT_EQ(UsbDevice::uWrite(h, 0, ts, 4), 4);
    {
      std::unique_lock<std::mutex> lock(mu);
      ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return replies > before; }));
    }
    UsbDevice::CloseDevice(h);  // the reply not read
    const int again = openDevice(0);
    ASSERT_GT(again, 0);
    UsbDevice::SetUSBTimeouts(again, 5, 30);  // 50 ms
    uint8_t b = 0;
    if (keep) {
      EXPECT_EQ(UsbDevice::uRead(again, 1, &b, 1), 1);
      EXPECT_EQ(b, 0x12);
    } else {
      EXPECT_EQ(UsbDevice::uRead(again, 1, &b, 1), 0);
    }
    UsbDevice::CloseDevice(again);
  }
  printer_->setReplyObserver(nullptr);
}

// The simulator's floor on USB read waits: a host time-out shorter than the
// printer's reply still gets it, and a silent printer is waited for no longer
// than the floor.
TEST_F(UsbSimTest, ReadWaitFloorOutlastsAShortTimeOut) {
  start();
  printer_->setUsbReadWaitFloorMs(2000);
  printer_->setFault({torva::sim::Fault::LateReply, 1, 300});
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  UsbDevice::SetUSBTimeouts(h, 5, 30);  // 50 ms
  const uint8_t ts[] = {0x1D, 0x72, 0x01, 0x0A};
  ASSERT_EQ(UsbDevice::uWrite(h, 0, ts, 4), 4);
  uint8_t b = 0xEE;
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 1);
  printer_->setUsbReadWaitFloorMs(300);
  EXPECT_EQ(printer_->usbReadWaitFloorMs(), 300);
  const uint64_t t0 = torva::TickMs();
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 0) << "nothing asked, nothing comes";
  EXPECT_GE(torva::TickMs() - t0, 295u);
  printer_->setUsbReadWaitFloorMs(-5);
  EXPECT_EQ(printer_->usbReadWaitFloorMs(), 0);
}

// The device's time-out counts the printer's silence, not the time the
// printer's thread waits to run: a reply decided late still meets a short
// read, a silent printer still ends it once it has taken the bytes, and a
// reply the printer itself holds back (the late-reply fault) still misses it.
TEST_F(UsbSimTest, ReadWaitsWhileThePrinterHoldsTheHostsBytes) {
  start();
  printer_->setHostBytesDelayMs(400);
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  UsbDevice::SetUSBTimeouts(h, 5, 30);  // 50 ms
  const uint8_t ts[] = {0x1D, 0x72, 0x01, 0x0A};
  ASSERT_EQ(UsbDevice::uWrite(h, 0, ts, 4), 4);
  uint8_t b = 0xEE;
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 1) << "answered after the printer took the bytes";

  printer_->setFault({torva::sim::Fault::NoReply, 1, 0});
  uint64_t t0 = torva::TickMs();
  ASSERT_EQ(UsbDevice::uWrite(h, 0, ts, 4), 4);
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 0) << "a silent printer";
  EXPECT_GE(torva::TickMs() - t0, 395u) << "not before the printer took the bytes";

  printer_->setHostBytesDelayMs(0);
  printer_->setFault({torva::sim::Fault::LateReply, 1, 400});
  ASSERT_EQ(UsbDevice::uWrite(h, 0, ts, 4), 4);
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 0) << "a reply the printer holds back";
  UsbDevice::SetUSBTimeouts(h, 100, 30);  // 1 s
  EXPECT_EQ(UsbDevice::uRead(h, 1, &b, 1), 1);
}

TEST_F(UsbSimTest, PrinterReadsExactAndEmpty) {
  start();
  printer_->setSetting(0x41, 0x0102);
  const int h = openPrinter(printer_->printerName());
  ASSERT_GT(h, 0);
  ASSERT_EQ(UsbPrinter::SetTimeout(50, 2000), 1);
  uint8_t buf[2000];
  int got = -1;
  EXPECT_NE(UsbPrinter::ReadUSBPrinter(h, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 0);
  // The exact read returns as soon as the reply is there; a loaded machine
  // (sanitizers, parallel tests) may take longer than 50 ms to bring it.
  UsbPrinter::SetTimeout(2000, 2000);
  const uint8_t rd[] = {0x1B, 0x6A, 0x41};
  int written = 0;
  ASSERT_NE(UsbPrinter::WriteUSBPrinter(h, rd, 3, &written), 0);
  uint8_t two[2] = {};
  EXPECT_TRUE(POSReadPort(PortUSBPrinter, h, two, 2, 0));
  EXPECT_EQ(two[0], 0x02);
  EXPECT_EQ(two[1], 0x01);
  // The connection test: up to 2000 bytes asked, exactly the one status byte back.
  printer_->setTransmitStatus(0x7F);
  const uint8_t ts[] = {0x1D, 0x72, 0x01, 0x0A};
  ASSERT_NE(UsbPrinter::WriteUSBPrinter(h, ts, 4, &written), 0);
  std::memset(buf, 0xEE, sizeof buf);
  EXPECT_NE(UsbPrinter::ReadUSBPrinter(h, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 1);
  EXPECT_EQ(buf[0], 0x7F);
  EXPECT_EQ(buf[1], 0xEE);
}

TEST_F(UsbSimTest, AutomaticStatusNeverEntersTheDataStream) {
  start();
  printer_->setStatusRecord({0x11, 0x22, 0x33, 0x44});
  const int h = openPrinter(printer_->printerName());
  ASSERT_GT(h, 0);
  UsbPrinter::SetTimeout(100, 2000);
  const uint8_t on[] = {0x1D, 0x61, 0xFF};
  int written = 0;
  ASSERT_NE(UsbPrinter::WriteUSBPrinter(h, on, 3, &written), 0);
  ASSERT_TRUE(printer_->waitForLog(1, 2000));
  printer_->setStatusRecord({0x55, 0x22, 0x33, 0x44});
  uint8_t buf[64];
  int got = -1;
  EXPECT_NE(UsbPrinter::ReadUSBPrinter(h, buf, sizeof buf, &got), 0);
  EXPECT_EQ(got, 0);
  uint8_t rec[4] = {};
  EXPECT_NE(UsbPrinter::GetPrnStatus(h, rec, 4, &got), 0);
  EXPECT_EQ(got, 4);
  EXPECT_EQ(rec[0], 0x55);
}

TEST_F(UsbSimTest, StatusRecordsOfEachLength) {
  struct Case {
    int model;
    Bytes record;
  };
  const Case cases[] = {
      {2, {0x01, 0x02, 0x03, 0x04}},
      {12, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60}},
      {11, {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88}},
  };
  start();
  for (const auto& c : cases) {
    printer_->setModel(c.model);
    printer_->setStatusRecord(c.record);
    const int n = static_cast<int>(c.record.size());
    const int d = openDevice(0);
    const int p = openPrinter(printer_->printerName());
    ASSERT_GT(d, 0);
    ASSERT_GT(p, 0);
    uint8_t buf[16];
    int got = -1;
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_NE(UsbDevice::GetSpecStatus(d, buf, n, &got), 0) << c.model;
    EXPECT_EQ(got, n);
    EXPECT_EQ(Bytes(buf, buf + n), c.record);
    // Asked for one more: the count says how many are fresh, nothing beyond.
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_NE(UsbPrinter::GetPrnStatus(p, buf, n + 1, &got), 0) << c.model;
    EXPECT_EQ(got, n);
    EXPECT_EQ(Bytes(buf, buf + n), c.record);
    EXPECT_EQ(buf[n], 0xEE);
    // Asked for fewer: only those.
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_NE(UsbPrinter::GetPrnStatus(p, buf, 2, &got), 0);
    EXPECT_EQ(got, 2);
    EXPECT_EQ(buf[2], 0xEE);
    // The common any-count read in status mode asks one more and copies the length.
    iReadType = 1;
    uint8_t rec[16] = {};
    EXPECT_TRUE(POSReadPort1(PortUSBPrinter, p, rec, n, 0));
    EXPECT_EQ(Bytes(rec, rec + n), c.record);
    iReadType = 0;
    UsbDevice::CloseDevice(d);
    UsbPrinter::CloseUSBPrinter(p);
  }
}

// The status request is answered as any reply of the printer: with its
// fault, once per count, and not at all during a raw capture; an answer
// later than the request's time-out is none. The call after a spent fault
// answers the record again (except after a dropped connection).
TEST_F(UsbSimTest, StatusRequestTakesThePrintersFaultAndTheRawCapture) {
  using torva::sim::Fault;
  constexpr int kNone = -2;  // not a fault: the raw capture
  const Bytes rec = {0x04, 0x00, 0x01, 0x00};
  struct Case {
    const char* name;
    int fault;  // a Fault, or kNone for the raw capture
    int lateMs;
    int asked;
    Bytes answer;  // empty: the call fails
  };
  const Case cases[] = {
      {"none", static_cast<int>(Fault::None), 0, 4, rec},
      {"noreply", static_cast<int>(Fault::NoReply), 0, 4, {}},
      {"short", static_cast<int>(Fault::ShortReply), 0, 4, {0x04}},
      {"late within the time-out", static_cast<int>(Fault::LateReply), 200, 4, rec},
      {"late past the time-out", static_cast<int>(Fault::LateReply), 1500, 4, {}},
      {"garbage", static_cast<int>(Fault::Garbage), 0, 4, {0xFB, 0xFF, 0xFE, 0xFF}},
      {"long, as many as asked", static_cast<int>(Fault::LongReply), 0, 4, rec},
      {"long, one more asked", static_cast<int>(Fault::LongReply), 0, 5, {0x04, 0x00, 0x01, 0x00, 0x55}},
      {"hangup", static_cast<int>(Fault::Hangup), 0, 4, {}},
      {"raw capture", kNone, 0, 4, {}},
  };
  start();
  printer_->setStatusRecord(rec);
  for (bool device : {true, false}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(device ? "device, " : "printer, ") + c.name);
      const int h = device ? openDevice(0) : openPrinter(printer_->printerName());
      ASSERT_GT(h, 0);
      auto call = [&](uint8_t* buf, int asked, int* got) {
        return device ? UsbDevice::GetSpecStatus(h, buf, asked, got) : UsbPrinter::GetPrnStatus(h, buf, asked, got);
      };
      if (c.fault == kNone)
        printer_->setRawCapture(true);
      else
        printer_->setFault({static_cast<Fault>(c.fault), 1, c.lateMs});
      uint8_t buf[8];
      std::memset(buf, 0xEE, sizeof buf);
      int got = -1;
      const uint64_t t0 = torva::TickMs();
      const int ok = call(buf, c.asked, &got);
      const uint64_t took = torva::TickMs() - t0;
      if (c.answer.empty()) {
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(got, 0);
      } else {
        EXPECT_NE(ok, 0);
        ASSERT_EQ(got, static_cast<int>(c.answer.size()));
        EXPECT_EQ(Bytes(buf, buf + got), c.answer);
      }
      // Never sooner than the printer's delay, or the request's time-out.
      if (c.fault == static_cast<int>(Fault::LateReply)) {
        EXPECT_GE(took, static_cast<uint64_t>(std::min(c.lateMs, torva::usbsim::kStatusRequestTimeoutMs)));
      }
      if (c.fault == static_cast<int>(Fault::NoReply)) {
        EXPECT_GE(took, static_cast<uint64_t>(torva::usbsim::kStatusRequestTimeoutMs));
      }
      printer_->setRawCapture(false);
      printer_->clearFault();
      std::memset(buf, 0xEE, sizeof buf);
      if (c.fault == static_cast<int>(Fault::Hangup)) {
        EXPECT_EQ(call(buf, 4, &got), 0) << "the connection is gone";
      } else {
        EXPECT_NE(call(buf, 4, &got), 0);
        EXPECT_EQ(Bytes(buf, buf + 4), rec);
      }
      if (device)
        UsbDevice::CloseDevice(h);
      else
        UsbPrinter::CloseUSBPrinter(h);
      devices_.clear();
      printers_.clear();
    }
  }
}

TEST_F(UsbSimTest, FailedStatusCallsAnswerZero) {
  start();
  uint8_t buf[8];
  int got = 99;
  EXPECT_EQ(UsbDevice::GetSpecStatus(-1, buf, 4, &got), 0);
  EXPECT_EQ(got, 0);
  got = 99;
  EXPECT_EQ(UsbPrinter::GetPrnStatus(0, buf, 4, &got), 0);
  EXPECT_EQ(got, 0);
  const int d = openDevice(0);
  ASSERT_GT(d, 0);
  EXPECT_EQ(UsbDevice::GetSpecStatus(d, buf, 0, &got), 0);
  EXPECT_EQ(UsbDevice::GetSpecStatus(d, nullptr, 4, &got), 0);
  // The printer goes away: the status call fails, which ends polling.
  printer_->stop();
  got = 99;
  EXPECT_EQ(UsbDevice::GetSpecStatus(d, buf, 4, &got), 0);
  EXPECT_EQ(got, 0);
  EXPECT_EQ(UsbDevice::uRead(d, 1, buf, 4), -1);
}

TEST_F(UsbSimTest, VendorRequestsAreLogged) {
  start();
  const int d = openDevice(0);
  ASSERT_GT(d, 0);
  EXPECT_NE(UsbDevice::SendSpecCommand(d, 0xC0), 0);
  EXPECT_NE(UsbDevice::SendSpecCommand(d, 0xC1), 0);
  EXPECT_EQ(UsbDevice::SendSpecCommand(d, 0x42), 0);
  EXPECT_EQ(UsbDevice::SendSpecCommand(d, 0x1C0), 0);
  EXPECT_EQ(UsbDevice::SendSpecCommand(-1, 0xC0), 0);
  const auto reset = printer_->log("VendorReset");
  const auto clear = printer_->log("VendorClearError");
  ASSERT_EQ(reset.size(), 1u);
  ASSERT_EQ(clear.size(), 1u);
  EXPECT_EQ(reset[0].channel, "usb");
  EXPECT_EQ(reset[0].frame, Bytes{0xC0});
  EXPECT_EQ(clear[0].frame, Bytes{0xC1});
  EXPECT_LE(reset[0].time, clear[0].time);
  EXPECT_TRUE(printer_->receivedBytes().empty());  // not in the data stream
}

TEST_F(UsbSimTest, CloseWakesAReadOnAnotherThread) {
  start();
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  UsbDevice::SetUSBTimeouts(h, 300, 30);  // 3 s
  int result = 99;
  const uint64_t t0 = torva::TickMs();
  std::thread reader([&] {
    uint8_t buf[16];
    result = UsbDevice::uRead(h, 1, buf, sizeof buf);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(UsbDevice::CloseDevice(h), 1);
  reader.join();
  EXPECT_EQ(result, -1);
  EXPECT_LT(torva::TickMs() - t0, 2000u);
}

TEST_F(UsbSimTest, HangupFailsTheOpenPort) {
  start();
  const int h = openDevice(0);
  ASSERT_GT(h, 0);
  printer_->hangUp();
  uint8_t buf[4];
  EXPECT_EQ(UsbDevice::uRead(h, 1, buf, 4), -1);
  const uint8_t lf = 0x0A;
  EXPECT_EQ(UsbDevice::uWrite(h, 0, &lf, 1), -1);
  EXPECT_GT(openDevice(0), 0);  // a new open reaches the printer again
}

// An exchange ends at its deadline (the call's own time-out plus the
// simulator's slack, 3 s for a time-out of 0), however its answer fails to
// come: a write whose answer never comes, and a read whose answer comes in
// pieces, half of it shortly before the deadline and never the rest (each
// wait after a piece is cut to what is left, where a socket time-out set once
// would let the last piece wait as long again).
TEST(UsbSimClientTest, AnExchangeEndsAtItsDeadlineWhateverComes) {
  struct Case {
    const char* what;
    bool write;
    bool half;  // half of the answer comes at 2.7 s
  } cases[] = {
      {"a write never answered", true, false},
      {"a read answered in pieces", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    char tmpl[] = "/tmp/torva-usbc-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string path = std::string(tmpl) + "/usb.sock";
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(server, 1), 0);
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    // The other side: answers the open, takes the next request and answers
    // it as the case says, until the test is done.
    std::thread peer([&] {
      const int fd = ::accept(server, nullptr, nullptr);
      if (fd < 0) return;
      torva::usbsim::Request rq;
      if (torva::usbsim::RecvRequest(fd, rq) && torva::usbsim::SendResponse(fd, 0) &&
          torva::usbsim::RecvRequest(fd, rq) && c.half) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2700));
        const uint8_t half[4] = {1, 0, 0, 0};
        torva::usbsim::SendAll(fd, half, sizeof half);
      }
      std::unique_lock<std::mutex> lock(mu);
      cv.wait(lock, [&] { return done; });
      ::close(fd);
    });
    torva::usb::SimBackend backend(path);
    auto connection = backend.open(torva::usb::PortClass::Device, 0);
    ASSERT_NE(connection, nullptr);
    uint8_t buf[1024] = {};
    const uint64_t t0 = torva::TickMs();
    EXPECT_EQ(c.write ? connection->bulkWrite(buf, sizeof buf, 0) : connection->bulkRead(buf, 4, 0), -1);
    const uint64_t took = torva::TickMs() - t0;
    EXPECT_GE(took, 2900u) << "ended before its deadline";
    EXPECT_LT(took, 4000u) << "waited past its deadline";
    {
      std::lock_guard<std::mutex> lock(mu);
      done = true;
    }
    cv.notify_all();
    peer.join();
    connection.reset();
    ::close(server);
    ::unlink(path.c_str());
    ::rmdir(tmpl);
  }
}

// ------------------------------------------------------------ VD-K773 custom mode

class UsbCustomTest : public UsbSimTest {
 protected:
  void SetUp() override {
    UsbSimTest::SetUp();
    printer_->setModel(12);
    printer_->setPrinterName("VD-K773");
    printer_->setStatusRecord({0x61, 0x62, 0x63, 0x64, 0x65, 0x66});
    printer_->setSetting(0x20, 0x1234);
    printer_->setSetting(0xC4, 0x0001);
    UsbSimOptions o;
    o.otherPrinters = {"Other"};
    o.printerIndex = 1;  // printer id 2
    start(o);
  }
  int openCustom() {
    const int h = UsbPrinter::OpenQfUSBPrinter(2);
    UsbPrinter::SetPortTimeout(1000, 2000);
    return h;
  }
  void readSetting(int address) {
    const uint8_t cmd[] = {0x1B, 0x6A, static_cast<uint8_t>(address)};
    ASSERT_EQ(UsbPrinter::WriteQfUSBPrinter(cmd, 3), 3);
  }
};

Bytes Framed(int classMode, int statusBytes, const Bytes& record, const Bytes& payload) {
  Bytes out;
  if (classMode == 1) {
    out.push_back(kCls);
    for (int i = 0; i < statusBytes; ++i) out.push_back(record[static_cast<size_t>(i) % record.size()]);
  }
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

TEST_F(UsbCustomTest, ReplyFramingByClassModeAndStatusBytes) {
  struct Case {
    int classMode;
    int statusBytes;
  };
  const Bytes record = printer_->statusRecord();
  for (const Case c : {Case{1, 0}, Case{1, 2}, Case{1, 4}, Case{1, 300}, Case{0, 0}, Case{0, 2}}) {
    printer_->setK773Custom(true, c.classMode, c.statusBytes);
    ASSERT_GT(openCustom(), 0);
    readSetting(0x20);
    const Bytes want = Framed(c.classMode, c.statusBytes, record, {0x34, 0x12});
    std::vector<uint8_t> buf(want.size() + 8, 0xEE);
    EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(buf.data(), static_cast<int>(want.size()) + 8),
              static_cast<int>(want.size()))
        << c.classMode << "/" << c.statusBytes;
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(want.size())), want);
    EXPECT_EQ(UsbPrinter::CloseQfUSBPrinter(), 1);
  }
}

TEST_F(UsbCustomTest, CustomFramingOnlyOnTheCustomConnectionAndWhileOn) {
  printer_->setK773Custom(true, 1, 2);
  const int h = openPrinter("VD-K773");
  ASSERT_GT(h, 0);
  const uint8_t cmd[] = {0x1B, 0x6A, 0x20};
  int written = 0;
  ASSERT_NE(UsbPrinter::WriteUSBPrinter(h, cmd, 3, &written), 0);
  uint8_t buf[16];
  int got = 0;
  ASSERT_NE(UsbPrinter::ReadUSBPrinter(h, buf, sizeof buf, &got), 0);
  EXPECT_EQ(Bytes(buf, buf + got), (Bytes{0x34, 0x12}));

  printer_->setK773Custom(false, 1, 2);
  ASSERT_GT(openCustom(), 0);
  readSetting(0x20);
  EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(buf, sizeof buf), 2);
  EXPECT_EQ(buf[0], 0x34);
}

// The reads that wait for nothing, on the device, the printer and the
// custom connection: what the printer has sent and the host has not read
// comes at once, whatever the printer's wait floor, and a port that holds
// nothing unread answers 0 at once.
TEST_F(UsbCustomTest, ReadThatWaitsForNothingTakesOnlyWhatIsThere) {
  printer_->setUsbReadWaitFloorMs(2000);
  struct Port {
    const char* name;
    std::function<bool(const uint8_t*, int)> write;
    std::function<int(uint8_t*, int)> read, waiting;
  };
  int device = -1, printer = -1;
  const Port ports[] = {
      {"device", [&](const uint8_t* b, int n) { return UsbDevice::uWrite(device, 0, b, n) == n; },
       [&](uint8_t* b, int n) { return UsbDevice::uRead(device, 1, b, n); },
       [&](uint8_t* b, int n) { return UsbDevice::uReadWaiting(device, b, n); }},
      {"printer",
       [&](const uint8_t* b, int n) {
         int written = 0;
         return UsbPrinter::WriteUSBPrinter(printer, b, n, &written) != 0 && written == n;
       },
       [&](uint8_t* b, int n) {
         int got = 0;
         return UsbPrinter::ReadUSBPrinter(printer, b, n, &got) != 0 ? got : -1;
       },
       [&](uint8_t* b, int n) { return UsbPrinter::ReadUSBPrinterWaiting(printer, b, n); }},
      {"custom", [](const uint8_t* b, int n) { return UsbPrinter::WriteQfUSBPrinter(b, n) == n; },
       [](uint8_t* b, int n) { return UsbPrinter::ReadQfUSBPrinter(b, n); },
       [](uint8_t* b, int n) { return UsbPrinter::ReadQfUSBPrinterWaiting(b, n); }},
  };
  device = openDevice(0);
  printer = openPrinter("VD-K773");
  ASSERT_GT(device, 0);
  ASSERT_GT(printer, 0);
  ASSERT_GT(openCustom(), 0);
  for (const Port& port : ports) {
    SCOPED_TRACE(port.name);
    uint8_t buf[16] = {};
    const uint64_t t0 = torva::TickMs();
    EXPECT_EQ(port.waiting(buf, sizeof buf), 0);
    EXPECT_LT(torva::TickMs() - t0, 1000u) << "not the floor's 2 s";
    const uint8_t cmd[] = {0x1B, 0x6A, 0x20};
    ASSERT_TRUE(port.write(cmd, 3));
    ASSERT_EQ(port.read(buf, 1), 1);  // waits for the reply
    EXPECT_EQ(buf[0], 0x34);
    EXPECT_EQ(port.waiting(buf, sizeof buf), 1);
    EXPECT_EQ(buf[0], 0x12);
    EXPECT_EQ(port.waiting(buf, sizeof buf), 0);
  }
  UsbDevice::CloseDevice(device);
  EXPECT_EQ(UsbDevice::uReadWaiting(device, nullptr, 0), -1) << "a closed port fails";
}

TEST_F(UsbCustomTest, ModeProbeAsThePortDialogMakesIt) {
  printer_->setK773Custom(true, 1, 2);
  ASSERT_GT(openCustom(), 0);
  readSetting(0x6F);
  uint8_t first[9] = {};
  torva::PrinterDelay(30);
  UsbPrinter::ReadQfUSBPrinter(first, 9);
  const int classMode = first[7] != 0 ? 1 : 0;
  const int statusBytes = first[0];
  EXPECT_EQ(classMode, 1);
  EXPECT_EQ(statusBytes, 2);
  readSetting(0xC4);
  uint8_t second[16] = {};
  EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(second, statusBytes + 3), statusBytes + 3);
  EXPECT_EQ(second[statusBytes + 1], 1);  // is773Costom

  UsbPrinter::CloseQfUSBPrinter();
  printer_->setK773Custom(true, 0, 0);
  ASSERT_GT(openCustom(), 0);
  readSetting(0x6F);
  std::memset(first, 0xEE, sizeof first);
  EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(first, 9), 9);
  EXPECT_EQ(first[7], 0);
  EXPECT_EQ(first[0], 0);
}

TEST_F(UsbCustomTest, OneCustomConnectionAtATime) {
  printer_->setK773Custom(true, 0, 0);
  const uint8_t lf = 0x0A;
  EXPECT_EQ(UsbPrinter::WriteQfUSBPrinter(&lf, 1), -1);
  uint8_t buf[4];
  EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(buf, 4), -1);
  EXPECT_EQ(UsbPrinter::CloseQfUSBPrinter(), 0);
  EXPECT_EQ(UsbPrinter::OpenQfUSBPrinter(0), -1);
  EXPECT_EQ(UsbPrinter::OpenQfUSBPrinter(1), -1);  // "Other": listed, not ours
  EXPECT_EQ(UsbPrinter::OpenQfUSBPrinter(3), -1);  // past the list
  const int a = openCustom();
  ASSERT_GT(a, 0);
  const int b = openCustom();  // replaces the first
  ASSERT_GT(b, 0);
  EXPECT_NE(a, b);
  EXPECT_EQ(UsbPrinter::CloseUSBPrinter(a), 0);
  EXPECT_EQ(UsbPrinter::WriteQfUSBPrinter(&lf, 1), 1);
  EXPECT_EQ(UsbPrinter::CloseQfUSBPrinter(), 1);
  EXPECT_EQ(UsbPrinter::WriteQfUSBPrinter(&lf, 1), -1);
  EXPECT_EQ(UsbPrinter::CloseQfUSBPrinter(), 0);
}

TEST_F(UsbCustomTest, CustomStatusRecordsStreamWhileSwitchedOn) {
  for (int classMode : {1, 0}) {
    printer_->setK773Custom(true, classMode, 3);
    ASSERT_GT(openCustom(), 0);
    uint8_t buf[16];
    UsbPrinter::SetPortTimeout(100, 2000);
    EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(buf, 7), 0);  // nothing before the switch
    const uint8_t on[] = {0x1D, 0xE0, 0xFF};
    ASSERT_EQ(UsbPrinter::WriteQfUSBPrinter(on, 3), 3);
    for (int poll = 0; poll < 2; ++poll) {
      std::memset(buf, 0xEE, sizeof buf);
      const int n = UsbPrinter::ReadQfUSBPrinter(buf, 7);
      if (classMode == 1) {
        ASSERT_EQ(n, 7);
        EXPECT_EQ(buf[0], kCls);
        EXPECT_EQ(Bytes(buf + 1, buf + 7), printer_->statusRecord());
      } else {
        ASSERT_EQ(n, 6);
        EXPECT_EQ(Bytes(buf, buf + 6), printer_->statusRecord());
      }
      printer_->setStatusByte(3, static_cast<uint8_t>(0x03 + poll));
    }
    const uint8_t off[] = {0x1D, 0xE0, 0x00};
    ASSERT_EQ(UsbPrinter::WriteQfUSBPrinter(off, 3), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(UsbPrinter::ReadQfUSBPrinter(buf, 7), 0);
    UsbPrinter::CloseQfUSBPrinter();
  }
}

// The common routines in custom mode, end to end: POSWritePort, then the exact
// and any-count reads drop the class byte and the status bytes.
TEST_F(UsbCustomTest, CommonRoutinesUnframeTheReplies) {
  struct Case {
    int classMode;
    int statusBytes;
    bool ok;
  };
  PortType = PortUSBPrinter;
  PrinterName = ModelVDK773;
  is773Costom = 1;
  for (const Case c :
       {Case{1, 0, true}, Case{1, 2, true}, Case{1, 100, true}, Case{0, 0, true}, Case{1, 1023, false}}) {
    printer_->setK773Custom(true, c.classMode, c.statusBytes);
    iUSBClassMode = c.classMode;
    iStatusBytes = c.statusBytes;
    iReadType = 0;
    const int h = openCustom();
    ASSERT_GT(h, 0);
    const uint8_t cmd[] = {0x1B, 0x6A, 0x20};
    ASSERT_TRUE(POSWritePort(PortUSBPrinter, h, cmd, 3));
    uint8_t two[3] = {0, 0, 0xEE};
    EXPECT_EQ(POSReadPort(PortUSBPrinter, h, two, 2, 0), c.ok) << c.classMode << "/" << c.statusBytes;
    if (c.ok) {
      EXPECT_EQ(two[0], 0x34);
      EXPECT_EQ(two[1], 0x12);
    }
    EXPECT_EQ(two[2], 0xEE);
    if (c.ok) {
      ASSERT_TRUE(POSWritePort(PortUSBPrinter, h, cmd, 3));
      uint8_t any[8];
      std::memset(any, 0xEE, sizeof any);
      torva::PrinterDelay(30);
      EXPECT_TRUE(POSReadPort1(PortUSBPrinter, h, any, 2, 0));
      EXPECT_EQ(any[0], 0x34);
      EXPECT_EQ(any[1], 0x12);
      EXPECT_EQ(any[2], 0xEE);
    }
    UsbPrinter::CloseQfUSBPrinter();
  }
}

TEST_F(UsbCustomTest, StatusThreadReadThroughTheCommonRoutine) {
  PortType = PortUSBPrinter;
  PrinterName = ModelVDK773;
  is773Costom = 1;
  for (int classMode : {1, 0}) {
    printer_->setK773Custom(true, classMode, 2);
    iUSBClassMode = classMode;
    iStatusBytes = 2;
    const int h = openCustom();
    ASSERT_GT(h, 0);
    const uint8_t on[] = {0x1D, 0xE0, 0xFF};
    ASSERT_EQ(UsbPrinter::WriteQfUSBPrinter(on, 3), 3);
    uint8_t rec[7];
    std::memset(rec, 0xEE, sizeof rec);
    iReadType = 1;
    const bool ok = POSReadPort(PortUSBPrinter, h, rec, 7, 2);
    iReadType = 0;
    if (classMode == 1) {
      EXPECT_TRUE(ok);
      EXPECT_EQ(Bytes(rec, rec + 6), printer_->statusRecord());
      EXPECT_EQ(rec[6], 0xEE);
    } else {
      // Class mode 0 sends the 6-byte record alone, so an exact read of 7 fails.
      EXPECT_FALSE(ok);
    }
    UsbPrinter::CloseQfUSBPrinter();
  }
}

}  // namespace
