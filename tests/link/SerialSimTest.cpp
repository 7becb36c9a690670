// The serial road end to end against the simulated printer: the port opened
// by name through TORVA_COM1, commands written with the common write and the
// replies read with the common reads, with the simulator's faults.
#include <gtest/gtest.h>
#include <time.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "SerialTestPty.h"
#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"

namespace {

using torva::sim::Fault;
using torva::sim::FaultSpec;
using Bytes = std::vector<uint8_t>;

const uint8_t kReadSpeed[] = {0x1B, 0x6A, 0x06};

class SerialSim : public ::testing::Test {
 protected:
  void SetUp() override {
    path = printer.startSerial();
    ASSERT_FALSE(path.empty());
    setenv("TORVA_COM1", path.c_str(), 1);
    fd = OpenCOM("COM1", 38400, 8, 1, "DTR/DSR", "None");
    ASSERT_GT(fd, 2);
    printer.setReplyDelayMs(0);
    printer.setSetting(0x06, 0x1234);
  }
  void TearDown() override {
    if (fd > 0) CloseCOM(fd);
    unsetenv("TORVA_COM1");
    printer.stop();
  }
  torva::sim::SimPrinter printer{ModelVDM512II};
  std::string path;
  int fd = -1;
};

TEST_F(SerialSim, ReadSettingExchange) {
  ASSERT_TRUE(POSWritePort(PortCOM, fd, kReadSpeed, 3));
  uint8_t reply[2] = {};
  ASSERT_TRUE(POSReadPort(PortCOM, fd, reply, 2, 1000));
  EXPECT_EQ(reply[0], 0x34);  // low byte first
  EXPECT_EQ(reply[1], 0x12);
  ASSERT_TRUE(printer.waitForLog(1, 1000));
  EXPECT_EQ(printer.log("ReadSetting").size(), 1u);
  EXPECT_EQ(TestQueued(fd), 0);

  // The one-shot write reaches the printer the same way.
  const uint8_t feed[] = {0x0A};
  ASSERT_TRUE(RWK201EEepromSet::POSWritePort(PortCOM, fd, feed, 1));
  ASSERT_TRUE(printer.waitForLog(2, 1000));
  EXPECT_EQ(printer.log("FeedLine").size(), 1u);
}

TEST_F(SerialSim, AnyCountReadOfTheTransmitStatus) {
  printer.setTransmitStatus(0x0C);
  const uint8_t cmd[] = {0x1D, 0x72, 0x01};
  ASSERT_TRUE(POSWritePort(PortCOM, fd, cmd, 3));
  uint8_t reply[8];
  std::memset(reply, 0xEE, sizeof reply);
  ASSERT_TRUE(POSReadPort1(PortCOM, fd, reply, 8, 1000));
  EXPECT_EQ(reply[0], 0x0C);
  EXPECT_EQ(reply[1], 0xEE);
}

TEST_F(SerialSim, AutomaticStatusRecordArrivesWhole) {
  const uint8_t on[] = {0x1D, 0x61, 0xFF};
  ASSERT_TRUE(POSWritePort(PortCOM, fd, on, 3));
  uint8_t rec[16];
  std::memset(rec, 0xEE, sizeof rec);
  ASSERT_TRUE(POSReadPort1(PortCOM, fd, rec, 16, 1000));
  const Bytes want = printer.statusRecord();
  ASSERT_EQ(want.size(), static_cast<size_t>(printer.statusLength()));
  EXPECT_EQ(Bytes(rec, rec + want.size()), want);
  EXPECT_EQ(rec[want.size()], 0xEE);
}

// Faults of the printer, and the queue after each failed read: the next
// exchange is answered correctly.
TEST_F(SerialSim, FaultsAndTheQueueAfterwards) {
  struct Case {
    Fault fault;
    int lateMs;
    bool result;
  } cases[] = {
      {Fault::NoReply, 0, false},
      {Fault::ShortReply, 0, false},
      {Fault::LateReply, 150, true},  // late, but within the time-out
      {Fault::Garbage, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.fault));
    printer.setFault(FaultSpec{c.fault, 1, c.lateMs});
    ASSERT_TRUE(POSWritePort(PortCOM, fd, kReadSpeed, 3));
    uint8_t reply[2] = {0xEE, 0xEE};
    const uint64_t t0 = torva::TickMs();
    EXPECT_EQ(POSReadPort(PortCOM, fd, reply, 2, 400), c.result);
    if (!c.result) {
      EXPECT_GE(torva::TickMs() - t0 + 2, 400u);
      EXPECT_EQ(reply[0], 0xEE);
    }
    if (c.fault == Fault::Garbage) {
      EXPECT_FALSE(reply[0] == 0x34 && reply[1] == 0x12);
    }
    EXPECT_EQ(TestQueued(fd), 0);

    printer.clearFault();
    ASSERT_TRUE(POSWritePort(PortCOM, fd, kReadSpeed, 3));
    ASSERT_TRUE(POSReadPort(PortCOM, fd, reply, 2, 1000));
    EXPECT_EQ(reply[0], 0x34);
    EXPECT_EQ(reply[1], 0x12);
  }
}

TEST_F(SerialSim, ReadComAllTakesOnlyWhatComesAfterTheCall) {
  printer.sendUnsolicited({0x01, 0x02, 0x03});
  ASSERT_TRUE(TestWaitQueued(fd, 3));
  std::thread later([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    printer.sendUnsolicited({0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47});
  });
  uint8_t buf[7];
  std::memset(buf, 0xEE, sizeof buf);
  const bool ok = ReadComAll(fd, buf, 7, 1000);
  later.join();
  EXPECT_TRUE(ok);
  EXPECT_EQ(Bytes(buf, buf + 7), Bytes({0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47}));
}

// The printer drops the line: the read fails without turning into a busy loop.
TEST_F(SerialSim, HangUpFailsTheRead) {
  printer.setFault(FaultSpec{Fault::Hangup, 1, 0});
  ASSERT_TRUE(POSWritePort(PortCOM, fd, kReadSpeed, 3));
  timespec c0{}, c1{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
  uint8_t reply[2];
  EXPECT_FALSE(POSReadPort(PortCOM, fd, reply, 2, 800));
  EXPECT_FALSE(POSReadPort1(PortCOM, fd, reply, 2, 300));
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
  EXPECT_LT((c1.tv_sec - c0.tv_sec) * 1000.0 + (c1.tv_nsec - c0.tv_nsec) / 1e6, 50.0);
}

}  // namespace
