// The console's plan per port kind as tables: how a Send writes and what
// follows it, the fixed commands' routes and lines, the opening's lines.
#include <gtest/gtest.h>

#include "link/PortState.h"
#include "tools/ConsoleCommands.h"

using namespace torva::tools;

TEST(SendPlan, PerKindAndMode) {
  struct Case {
    const char* name;
    int kind;
    bool hex;
    SendFlags flags;
    WriteRoute route;
    int serialTimeout;
    bool usbTimeouts, wait, reader, closeOnFailure, recognise;
  } cases[] = {
      {"ComHex", PortCOM, true, {}, WriteRoute::Common, 30000, false, false, false, false, false},
      {"ComText", PortCOM, false, {}, WriteRoute::Common, -1, false, false, false, false, false},
      {"LptHexReply", PortLPT, true, {true, false, true}, WriteRoute::Common, -1, false, false, false, false, false},
      {"NibbleHexPlain", PortNibbleLPT, true, {}, WriteRoute::Common, -1, false, false, true, true, true},
      {"NibbleHexWait", PortNibbleLPT, true, {true, false, true}, WriteRoute::Common, -1, false, true, true, true,
       true},
      {"NibbleTextNoWait", PortNibbleLPT, false, {true, false, true}, WriteRoute::Common, -1, false, false, true,
       true, false},
      {"UsbHexNothingToRead", PortUSB, true, {}, WriteRoute::Common, -1, true, false, false, true, true},
      {"UsbHexReply", PortUSB, true, {true, false, false}, WriteRoute::Common, -1, true, false, true, true, true},
      {"UsbHexReplyWait", PortUSB, true, {true, false, true}, WriteRoute::Common, -1, true, true, true, true, true},
      {"UsbHexAutoStatus", PortUSB, true, {false, true, false}, WriteRoute::Common, -1, true, false, true, true, true},
      {"UsbText", PortUSB, false, {}, WriteRoute::Common, -1, false, false, true, true, false},
      {"PrinterHex", PortUSBPrinter, true, {}, WriteRoute::Common, -1, false, false, true, true, true},
      {"PrinterHexWait", PortUSBPrinter, true, {true, false, true}, WriteRoute::Common, -1, false, true, true, true,
       true},
      {"Net", PortNet, true, {true, true, true}, WriteRoute::Net, -1, false, false, false, false, false},
      {"Spooler", PortDriver, false, {}, WriteRoute::Spooler, -1, false, false, false, false, false},
      {"None", PortNone, true, {}, WriteRoute::None, -1, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SendPlan p = PlanSend(c.kind, c.hex, c.flags);
    EXPECT_EQ(p.route, c.route);
    EXPECT_EQ(p.serialWriteTimeoutMs, c.serialTimeout);
    EXPECT_EQ(p.usbTimeouts, c.usbTimeouts);
    EXPECT_EQ(p.waitBeforeReader, c.wait);
    EXPECT_EQ(p.startReader, c.reader);
    EXPECT_EQ(p.closeOnFailure, c.closeOnFailure);
    EXPECT_EQ(p.recognise, c.recognise);
  }
}

TEST(ConsoleLines, FixedCommandsAndPortNames) {
  ResetPortState();
  ComParameter.Name = "COM2";
  LPTParameter.Number = 3;
  USBParameter.Name = "QFUSB-1";
  USBPrinterParameter.Name = "VD-K773";
  PNET.IPAddress = "10.0.0.9";
  DriverParameter.DriverName = "queue";
  struct Case {
    int kind;
    const char* clearError;
    const char* sendFailure;
    const char* retractFailure;
    const char* openFailure;
  } cases[] = {
      {PortCOM, "Clear Error Successfully!", "端口 COM2 发送数据失败！", "端口 COM2 发送数据失败！", "Can't open COM2 port"},
      {PortLPT, "Clear Error Successfully!", "端口 LPT3 发送数据失败", "端口 LPT3 发送数据失败", "Can't openLPT3 port!"},
      {PortNibbleLPT, "Clear Error Successfully!", "端口 LPT3 发送数据失败", "端口 LPT3 发送数据失败",
       "Can't openLPT3 port!"},
      {PortUSB, "Clear Error successfully!", "端口 QFUSB-1 发送数据失败！", "端口 QFUSB-1 发送数据失败！",
       "Can't open QFUSB-1 port!"},
      {PortUSBPrinter, "Clear Error successfully!", "端口 VD-K773 发送数据失败！", "端口 VD-K773 发送数据失败！",
       "Can't open VD-K773 port!"},
      {PortNet, "Clear Error successfully!", "端口 10.0.0.9 发送数据失败！", "端口 10.0.0.9 发送数据失败！", ""},
      {PortDriver, "Clear Error successfully!", "端口 queue 发送数据失败！", "端口 queue 发送数据失败！",
       "Can't open queue port!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(FixedSuccessLine(FixedCommand::ClearError, c.kind).english, c.clearError);
    EXPECT_EQ(SendFailureLine(c.kind).chinese, c.sendFailure);
    EXPECT_EQ(FixedFailureLine(FixedCommand::BundlerRetract, c.kind).chinese, c.retractFailure);
    EXPECT_EQ(OpenFailureLine(c.kind).english, c.openFailure);
  }
  EXPECT_EQ(FixedFailureLine(FixedCommand::Cut, PortLPT).chinese, "端口 LPT3 发送数据失败！");
  EXPECT_EQ(SendFailureLine(PortUSB).english, "Write QFUSB-1 port error!");
  EXPECT_EQ(OpenFailureLine(PortLPT).chinese, "端口LPT3 通讯错误！");
  EXPECT_EQ(OpenFailureLine(PortCOM).chinese, "端口 COM2 通讯错误！");
  EXPECT_EQ(FixedCommandRoute(PortDriver), WriteRoute::Spooler);
  EXPECT_EQ(FixedCommandRoute(PortNet), WriteRoute::Net);
  EXPECT_EQ(FixedCommandRoute(PortNone), WriteRoute::None);
  EXPECT_EQ(FixedCommandOf(FixedCommand::SelfTest).bytes, (std::vector<uint8_t>{0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x02}));
  EXPECT_EQ(FixedCommandOf(FixedCommand::Reset).usbVendorRequest, 0xC0);
  EXPECT_EQ(FixedCommandOf(FixedCommand::ClearError).usbVendorRequest, 0xC1);
  ResetPortState();
}
