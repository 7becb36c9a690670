// The port session against the simulated printer: the configured port opened
// from its record (a handle still held closed first), plans that serve some
// kinds and keep some open, the USB printer closed with the call of the
// channel that opened it, and a worker's close that leaves a replaced handle
// alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "link/USBUnit.h"
#include "link/UsbPrinterHandle.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"

namespace {

using namespace torva::link;

bool IsOpenDescriptor(int fd) { return fd > 0 && ::fcntl(fd, F_GETFD) != -1; }

class PortSessionSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    const std::string path = printer_.startSerial();
    ASSERT_FALSE(path.empty());
    ::setenv("TORVA_COM1", path.c_str(), 1);
    PortType = PortCOM;
  }
  void TearDown() override {
    CloseEveryOpenPort();
    ::unsetenv("TORVA_COM1");
    printer_.stop();
    ResetPortState();
  }
  torva::sim::SimPrinter printer_{ModelVDM512II};
};

TEST_F(PortSessionSerial, OpenStoresTheHandleAndClosesTheOneStillHeld) {
  const PortOpen first = OpenConfiguredPort({});
  ASSERT_TRUE(first.opened());
  EXPECT_EQ(first.kind, PortCOM);
  EXPECT_EQ(ComParameter.m_hdev.load(), first.handle);

  const PortOpen second = OpenConfiguredPort({});
  ASSERT_TRUE(second.opened());
  EXPECT_EQ(ComParameter.m_hdev.load(), second.handle);
  // The first handle was closed before the reopen (or its number reused by it).
  EXPECT_TRUE(second.handle == first.handle || !IsOpenDescriptor(first.handle));

  CloseConfiguredPort({});
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_FALSE(IsOpenDescriptor(second.handle));
  CloseConfiguredPort({});  // nothing held: nothing happens
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(PortSessionSerial, KindsAPlanDoesNotServeOpenNothing) {
  const PortOpen none = OpenConfiguredPort({.kinds = KindBit(PortUSB) | KindBit(PortUSBPrinter)});
  EXPECT_EQ(none.status, PortOpenStatus::NotServed);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);

  PortType = PortNone;
  EXPECT_EQ(OpenConfiguredPort({}).status, PortOpenStatus::NotServed);
}

TEST_F(PortSessionSerial, AFailedOpenLeavesMinusOneAndNothingOpen) {
  ComParameter.Name = "COM8";
  ::setenv("TORVA_COM8", "/nonexistent/tty", 1);
  const PortOpen failed = OpenConfiguredPort({});
  ::unsetenv("TORVA_COM8");
  EXPECT_EQ(failed.status, PortOpenStatus::Failed);
  EXPECT_EQ(failed.handle, -1);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(PortSessionSerial, AWorkerClosesOnlyTheHandleTheRecordStillHolds) {
  const PortOpen mine = OpenConfiguredPort({});
  ASSERT_TRUE(mine.opened());
  // Someone reopened the port since: the worker's close leaves the new one.
  const PortOpen theirs = OpenConfiguredPort({});
  ASSERT_TRUE(theirs.opened());
  if (theirs.handle != mine.handle) {
    CloseConfiguredPortIfHeld(PortCOM, mine.handle);
    EXPECT_EQ(ComParameter.m_hdev.load(), theirs.handle);
    EXPECT_TRUE(IsOpenDescriptor(theirs.handle));
  }
  CloseConfiguredPortIfHeld(PortCOM, theirs.handle);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_FALSE(IsOpenDescriptor(theirs.handle));
}

TEST_F(PortSessionSerial, ASessionClosesWhatItOpenedOnEveryWayOut) {
  int handle = -1;
  {
    PortSession session({});
    ASSERT_TRUE(session.Open().opened());
    handle = session.port().handle;
    EXPECT_TRUE(IsOpenDescriptor(handle));
  }
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_FALSE(IsOpenDescriptor(handle));

  {
    PortSession session({});
    ASSERT_TRUE(session.Open().opened());
    handle = session.port().handle;
    session.Release();  // the caller closes later
  }
  EXPECT_EQ(ComParameter.m_hdev.load(), handle);
  EXPECT_TRUE(IsOpenDescriptor(handle));
}

class PortSessionUsb : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    char tmpl[] = "/tmp/torva-session-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/usb.sock";
    ::setenv("TORVA_USB_SIM", path_.c_str(), 1);
    printer_ = std::make_unique<torva::sim::SimPrinter>(ModelVDK773);
    ASSERT_TRUE(torva::sim::StartUsbSocket(*printer_, path_, {}));
    char names[256] = {};
    ASSERT_GE(UsbPrinter::EnumUSBPrinter(names, sizeof names), 1);
    const std::string list = names;
    USBPrinterParameter.Name = list.substr(0, list.find('@'));
    iPrinterID = 1;
    PortType = PortUSBPrinter;
  }
  void TearDown() override {
    CloseEveryOpenPort();
    printer_.reset();
    ::unsetenv("TORVA_USB_SIM");
    ::unlink(path_.c_str());
    ::rmdir(dir_.c_str());
    ResetPortState();
  }
  std::string dir_, path_;
  std::unique_ptr<torva::sim::SimPrinter> printer_;
};

TEST_F(PortSessionUsb, TheUsbPrinterIsClosedWithTheCallOfItsChannel) {
  struct Case {
    UsbPrinterOpen open;
    bool customMode;  // the port state's VD-K773 custom mode
    UsbPrinterChannel expected;
  };
  const Case cases[] = {
      {UsbPrinterOpen::Plain, true, UsbPrinterChannel::Plain},
      {UsbPrinterOpen::Custom, false, UsbPrinterChannel::Custom},
      {UsbPrinterOpen::ByMode, true, UsbPrinterChannel::Custom},
      {UsbPrinterOpen::ByMode, false, UsbPrinterChannel::Plain},
  };
  for (const Case& c : cases) {
    is773Costom = c.customMode ? 1 : 0;
    PrinterName = ModelVDK773;
    const PortOpen port = OpenConfiguredPort({.usbPrinter = c.open});
    ASSERT_TRUE(port.opened()) << static_cast<int>(c.open);
    EXPECT_EQ(UsbPrinterHandleChannel(), c.expected);
    // The mode changing after the open does not change how it is closed.
    is773Costom = c.customMode ? 0 : 1;
    EXPECT_EQ(UsbPrinterHandleChannel(), c.expected);
    CloseConfiguredPort({});
    EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
  }
}

TEST_F(PortSessionUsb, TheOneShotPlanLeavesTheUsbPrinterToClosePort) {
  const PortSessionPlan oneShot{.keepOpen = KindBit(PortNet) | KindBit(PortUSBPrinter),
                                .usbPrinter = UsbPrinterOpen::Plain};
  const PortOpen port = OpenConfiguredPort(oneShot);
  ASSERT_TRUE(port.opened());
  CloseConfiguredPort(oneShot);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), port.handle);
  // The next send reopens it; Close Port closes it.
  const PortOpen again = OpenConfiguredPort(oneShot);
  ASSERT_TRUE(again.opened());
  CloseEveryOpenPort();
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
}

// The plan's USB printer time-outs go to the call of the channel that opened
// it, after a successful open only; a plan without them sets none.
TEST_F(PortSessionUsb, UsbPrinterTimeOutsGoToTheChannelsCall) {
  static std::vector<std::string> calls;
  calls.clear();
  PortLibraryCalls fake = RealPortLibraryCalls();
  fake.SetTimeout = [](int a, int b) {
    calls.push_back("SetTimeout " + std::to_string(a) + " " + std::to_string(b));
    return 1;
  };
  fake.SetPortTimeout = [](int a, int b) {
    calls.push_back("SetPortTimeout " + std::to_string(a) + " " + std::to_string(b));
    return 1;
  };
  ScopedPortLibraryCalls scoped(fake);
  PrinterName = ModelVDK773;
  const PortSessionPlan plan{.usbPrinterReadTimeoutMs = 3000, .usbPrinterWriteTimeoutMs = 2000};
  for (int custom : {0, 1}) {
    is773Costom = custom;
    ASSERT_TRUE(OpenConfiguredPort(plan).opened());
    CloseConfiguredPort(plan);
  }
  ASSERT_TRUE(OpenConfiguredPort({}).opened());
  CloseConfiguredPort({});
  USBPrinterParameter.Name = "no such printer";
  is773Costom = 0;
  EXPECT_FALSE(OpenConfiguredPort(plan).opened());
  EXPECT_EQ(calls, (std::vector<std::string>{"SetTimeout 3000 2000", "SetPortTimeout 3000 2000"}));
}

}  // namespace

namespace {

// The plan's USB device time-outs go to SetUSBTimeouts with the new handle,
// after a successful open only.
TEST_F(PortSessionUsb, UsbDeviceTimeOutsFollowASuccessfulOpen) {
  static std::vector<std::string> calls;
  calls.clear();
  PortLibraryCalls fake = RealPortLibraryCalls();
  fake.SetUSBTimeouts = [](int h, int a, int b) {
    calls.push_back(std::to_string(h) + " " + std::to_string(a) + " " + std::to_string(b));
    return 1;
  };
  ScopedPortLibraryCalls scoped(fake);
  PortType = PortUSB;
  USBParameter.X = 0;
  const PortSessionPlan plan{.usbDeviceFirstTimeout = 20, .usbDeviceSecondTimeout = 90};
  const PortOpen port = OpenConfiguredPort(plan);
  ASSERT_TRUE(port.opened());
  CloseConfiguredPort(plan);
  ASSERT_TRUE(OpenConfiguredPort({}).opened());
  CloseConfiguredPort({});
  USBParameter.X = 5;  // no device there
  EXPECT_FALSE(OpenConfiguredPort(plan).opened());
  EXPECT_EQ(calls, std::vector<std::string>{std::to_string(port.handle) + " 20 90"});
}

}  // namespace
