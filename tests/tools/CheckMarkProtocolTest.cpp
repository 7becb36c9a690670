// The calibration's model groups and commands as data: which group each
// model code falls in, the addresses, and the bytes of every command by group
// and port kind.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "link/Clock.h"
#include "tools/CheckMarkProtocol.h"

using namespace torva::tools;

TEST(CheckMarkGroups, EveryModelCodeHasItsGroup) {
  const char* byCode = "ABCGCBDDBDDHHHEFHHJ";
  for (int code = 0; code < kPrinterModelCount; ++code) {
    SCOPED_TRACE(code);
    EXPECT_EQ(MarkGroupOf(code).name, byCode[code]);
  }
}

TEST(CheckMarkGroups, TheTableRows) {
  struct Row {
    char name;
    MarkLayout layout;
    int read, write;
    bool sensor;
    MarkCalibration calibration;
    int buffer, limit;
    bool checkEnable;
  } rows[] = {
      {'A', MarkLayout::Full, 0x39, 0x39, false, MarkCalibration::Log, 5000, 3001, false},
      {'B', MarkLayout::Full, 0x39, 0x39, false, MarkCalibration::Log, 8000, 2001, false},
      {'C', MarkLayout::Full, 0x39, 0x39, false, MarkCalibration::Log, 5000, 2001, false},
      {'D', MarkLayout::Full, 0x20, 0x20, false, MarkCalibration::Log, 5000, 2001, true},
      {'E', MarkLayout::Full, 0x20, -1, false, MarkCalibration::Log, 5000, 2001, true},
      {'F', MarkLayout::Full, 0x20, -1, false, MarkCalibration::Log, 5000, 2001, false},
      {'G', MarkLayout::Full, 0x39, 0x39, false, MarkCalibration::None, 5000, 2001, false},
      {'H', MarkLayout::CalibrationOnly, -1, -1, false, MarkCalibration::CommandOnly, 5000, 2001, false},
      {'J', MarkLayout::ThresholdOnly, 0x20, 0x20, true, MarkCalibration::None, 5000, 2001, false},
  };
  ASSERT_EQ(MarkGroups().size(), std::size(rows));
  for (size_t i = 0; i < std::size(rows); ++i) {
    const MarkGroup& g = MarkGroups()[i];
    const Row& r = rows[i];
    SCOPED_TRACE(r.name);
    EXPECT_EQ(g.name, r.name);
    EXPECT_EQ(g.layout, r.layout);
    EXPECT_EQ(g.readAddress, r.read);
    EXPECT_EQ(g.writeAddress, r.write);
    EXPECT_EQ(g.sensorCommands, r.sensor);
    EXPECT_EQ(g.calibration, r.calibration);
    EXPECT_EQ(g.logBufferSize, r.buffer);
    EXPECT_EQ(g.windowLimit, r.limit);
    EXPECT_EQ(g.checkEnableStep, r.checkEnable);
  }
}

// EcGetMark's rule by code, and the groups that read agree with it.
TEST(CheckMarkGroups, ThresholdReadAddressFollowsTheCode) {
  for (int code = 0; code < kPrinterModelCount; ++code) {
    SCOPED_TRACE(code);
    const bool at39 = code <= 5 || code == 8 || code == 12;
    EXPECT_EQ(MarkThresholdReadAddress(code), at39 ? 0x39 : 0x20);
    const MarkGroup& g = MarkGroupOf(code);
    if (g.readAddress >= 0) {
      EXPECT_EQ(g.readAddress, MarkThresholdReadAddress(code));
    }
  }
}

TEST(CheckMarkCommands, SetThresholdByGroup) {
  EXPECT_THAT(SetThresholdCommand(MarkGroupOf(0), 0x0A),
              ::testing::ElementsAre(0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x0A, 0x00, 0x39));
  EXPECT_THAT(SetThresholdCommand(MarkGroupOf(7), 0xFF),
              ::testing::ElementsAre(0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0xFF, 0x00, 0x20));
  // Group J: the setting write at 20, then the threshold of sensors 01 and 03.
  EXPECT_EQ(SetThresholdCommand(MarkGroupOf(18), 0x5A),
            (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x5A, 0x00, 0x20, 0x1D, 0x99, 0x5C, 0x31, 0xE7,
                   0x08, 0x51, 0x01, 0x01, 0x5A, 0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x51, 0x01, 0x03, 0x5A}));
  // No address: nothing to send.
  EXPECT_TRUE(SetThresholdCommand(MarkGroupOf(14), 0x10).empty());
  EXPECT_TRUE(SetThresholdCommand(MarkGroupOf(15), 0x10).empty());
}

TEST(CheckMarkCommands, CalibrationByGroupAndPortKind) {
  const Bytes block = {0x1D, 0x61, 0x00, 0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x4C, 0x1B, 0x40,
                       0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x04, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x07};
  for (int code : {0, 1, 2, 6, 14, 15}) {
    SCOPED_TRACE(code);
    for (int kind : {PortCOM, PortUSB}) EXPECT_EQ(MarkCalibrationCommand(MarkGroupOf(code), kind), block);
    EXPECT_EQ(MarkCalibrationCommand(MarkGroupOf(code), PortUSBPrinter), Bytes(block.begin() + 3, block.end()));
  }
  const Bytes shortCommand = {0x1D, 0x61, 0x00, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04};
  EXPECT_EQ(MarkCalibrationCommand(MarkGroupOf(11), PortCOM), shortCommand);
  EXPECT_EQ(MarkCalibrationCommand(MarkGroupOf(12), PortUSBPrinter), Bytes(shortCommand.begin() + 3, shortCommand.end()));
  EXPECT_TRUE(MarkCalibrationCommand(MarkGroupOf(3), PortCOM).empty());
  EXPECT_TRUE(MarkCalibrationCommand(MarkGroupOf(18), PortCOM).empty());
}

TEST(CheckMarkCommands, PortKindsServed) {
  for (int kind : {PortCOM, PortUSB, PortUSBPrinter}) EXPECT_TRUE(CheckMarkServes(kind)) << kind;
  for (int kind : {PortNone, PortLPT, PortDriver, PortNibbleLPT, PortNet}) EXPECT_FALSE(CheckMarkServes(kind)) << kind;
}

// A serial printer that never stops sending after the calibration (a byte
// every 50 ms, so the line is never quiet) does not hold the dialog: the log
// read ends once its time-out has run out since it began, with what came
// (without that end it would read on until the buffer is full, minutes).
TEST(CheckMarkSerialLog, APrinterThatKeepsTalkingEndsTheReadAtItsTimeOut) {
  int master = -1, slave = -1;
  ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  termios t{};
  tcgetattr(slave, &t);
  cfmakeraw(&t);
  tcsetattr(slave, TCSANOW, &t);
  fcntl(slave, F_SETFL, fcntl(slave, F_GETFL) | O_NONBLOCK);
  torva::SetPrinterDelayScale(0);  // the printer's calibration wait
  std::atomic<bool> stop{false};
  std::thread printer([&] {
    const uint8_t sample = 0x40;
    while (!stop) {
      (void)!write(master, &sample, 1);
      uint8_t sink[64];
      while (read(master, sink, sizeof sink) > 0) {  // what the console sent
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

  Bytes log;
  const auto begun = std::chrono::steady_clock::now();
  const CheckMarkResult result = EcCheckMark(MarkPort{PortCOM, slave}, MarkGroupOf(2), log);
  const auto took =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begun).count();
  stop = true;
  printer.join();
  torva::SetPrinterDelayScale(1.0);
  close(master);
  close(slave);

  EXPECT_EQ(result, CheckMarkResult::Ok);
  // (A loaded machine may hold the printer's thread back long enough for the
  // line to look quiet: the read may end earlier, never later.)
  EXPECT_LT(took, kLogReadTimeoutMs + 1500);
  ASSERT_EQ(log.size(), 5000u);
  EXPECT_EQ(log[0], 0x40);
  EXPECT_EQ(log[4999], 0);  // far from full: the read ended on time, not on the buffer
}
