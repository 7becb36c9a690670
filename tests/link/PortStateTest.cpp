#include <gtest/gtest.h>

#include <cstdlib>

#include "link/PortNames.h"
#include "link/PortState.h"

TEST(PortState, StartValues) {
  ResetPortState();
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_EQ(ComParameter.Name, "COM1");
  EXPECT_EQ(ComParameter.Baudrate, 38400);
  EXPECT_EQ(ComParameter.Databits, 8);
  EXPECT_EQ(ComParameter.Stopbits, 1);
  EXPECT_EQ(ComParameter.Parity, "None");
  EXPECT_EQ(ComParameter.Handshake, "DTR/DSR");
  EXPECT_EQ(LPTParameter.Name, "LPT1");
  EXPECT_EQ(LPTParameter.Number, 1);
  EXPECT_EQ(USBParameter.Name, "QFUSB-0");
  EXPECT_EQ(USBParameter.X, -1);
  EXPECT_EQ(PNET.IPAddress, "0.0.0.0");
  EXPECT_EQ(PNET.connecttime, 0);
  for (int h : {ComParameter.m_hdev.load(), LPTParameter.m_hdev.load(), USBParameter.m_hdev.load(),
                USBPrinterParameter.m_hdev.load(), DriverParameter.hPrinter.load(), PNET.handle.load()})
    EXPECT_EQ(h, -1);
}

TEST(PortState, ModelCodesAreNotListOrder) {
  const struct { int code; const char* text; } table[] = {
      {0, "VD-N512"},  {2, "VD-M512II"},  {8, "VD-K512"},  {12, "VD-K773"},
      {14, "RW-K305GII"}, {16, "VD-K772II"}, {18, "VD-H738"},
  };
  for (const auto& row : table) {
    EXPECT_STREQ(PrinterModelText(row.code), row.text);
    EXPECT_EQ(PrinterModelFromText(row.text), row.code);
  }
  EXPECT_STREQ(PrinterModelText(19), "");
  EXPECT_STREQ(PrinterModelText(-1), "");
  EXPECT_EQ(PrinterModelFromText("vd-n512"), -1);
}

TEST(PortNames, MapToDevicesWithOverrides) {
  unsetenv("TORVA_COM3");
  unsetenv("TORVA_LPT2");
  unsetenv("TORVA_PARPORT1");
  EXPECT_EQ(SerialDeviceForPort("COM1"), "/dev/ttyS0");
  EXPECT_EQ(SerialDeviceForPort("COM8"), "/dev/ttyS7");
  EXPECT_EQ(ParallelDeviceForPort("LPT2"), "/dev/lp1");
  EXPECT_EQ(NibbleDeviceForPort(1), "/dev/parport0");
  setenv("TORVA_COM3", "/tmp/torva-pty", 1);
  setenv("TORVA_LPT2", "/tmp/lp-file", 1);
  setenv("TORVA_PARPORT1", "/tmp/parport", 1);
  EXPECT_EQ(SerialDeviceForPort("COM3"), "/tmp/torva-pty");
  EXPECT_EQ(ParallelDeviceForPort("LPT2"), "/tmp/lp-file");
  EXPECT_EQ(NibbleDeviceForPort(1), "/tmp/parport");
  // Names outside COM1..COM8 / LPT1..LPT4 are device paths as they stand.
  EXPECT_EQ(SerialDeviceForPort("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(SerialDeviceForPort("COM9"), "COM9");
  unsetenv("TORVA_COM3");
  unsetenv("TORVA_LPT2");
  unsetenv("TORVA_PARPORT1");
}
