// The simulated printer's black-mark calibration and A/D query, through a
// session fed directly: the samples answered to 10 04 30, the sensor
// thresholds, the threshold a calibration stores, the log with its delay and
// pace, and the console commands that set them.
#include <gtest/gtest.h>

#include <thread>

#include "SimHelpers.h"
#include "sim/ConsoleCommands.h"
#include "sim/SimPrinter.h"

using simtest::Bytes;
using simtest::Collector;
using torva::sim::SimPrinter;

namespace {

struct SimCalibration : ::testing::Test {
  SimPrinter printer{2};
  Collector host;
  std::shared_ptr<torva::sim::Session> session;
  void SetUp() override {
    printer.setReplyDelayMs(0);
    session = printer.openSession("serial", host.sink(), true);
  }
  void TearDown() override { printer.closeSession(session); }
  void feed(const Bytes& b) { session->hostBytes(b.data(), b.size()); }
  std::string run(const std::string& line) {
    return RunConsoleCommand(printer, torva::sim::ParseConsoleCommand(line), std::chrono::steady_clock::now());
  }
};

const Bytes kShortCalibration = {0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04};
const Bytes kCalibration = {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x04};
const Bytes kSendLog = {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x07};

}  // namespace

TEST_F(SimCalibration, ADQueryAnswersTheSamples) {
  feed({0x10, 0x04, 0x30});
  EXPECT_EQ(host.wait(7, 2000), (Bytes{0xFF, 0x80, 0x00, 0x66, 0xB3, 0x19, 0x4C}));
  host.take();
  printer.setADSamples({0x01, 0x02, 0x03});
  feed({0x10, 0x04, 0x30});
  EXPECT_EQ(host.wait(3, 2000), (Bytes{0x01, 0x02, 0x03}));
  EXPECT_EQ(printer.log("InquireADValue").size(), 2u);
}

TEST_F(SimCalibration, SensorThresholdsAreStoredByChannel) {
  EXPECT_EQ(printer.sensorThreshold(1), -1);
  feed({0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x51, 0x01, 0x01, 0x5A, 0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x51, 0x01,
        0x03, 0x0A});
  EXPECT_EQ(printer.sensorThreshold(1), 0x5A);
  EXPECT_EQ(printer.sensorThreshold(3), 0x0A);
  EXPECT_EQ(printer.log("SensorThreshold").size(), 2u);
  EXPECT_TRUE(host.wait(1, 50).empty());  // no reply
}

// Both calibrations store the threshold found where the console reads it:
// 39 for models 0-5, 8 and 12, 20 for the others.
TEST_F(SimCalibration, CalibrationStoresTheThresholdAtTheModelsAddress) {
  struct Case {
    int model;
    int address;
  } cases[] = {{0, 0x39}, {2, 0x39}, {8, 0x39}, {12, 0x39}, {6, 0x20}, {11, 0x20}, {16, 0x20}, {18, 0x20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    printer.setModel(c.model);
    printer.setCalibratedThreshold(0x66);
    feed(kCalibration);
    EXPECT_EQ(printer.setting(c.address), 0x0066);
    printer.setCalibratedThreshold(0x77);
    feed(kShortCalibration);
    EXPECT_EQ(printer.setting(c.address), 0x0077);
    EXPECT_EQ(printer.setting(c.address == 0x39 ? 0x20 : 0x39), 0xFFFF);
  }
  EXPECT_TRUE(host.wait(1, 50).empty());
}

TEST_F(SimCalibration, TheLogByModelAndSet) {
  EXPECT_EQ(SimPrinter::MarkLogFor(2).size(), 5000u);
  for (int model : {1, 5, 8}) EXPECT_EQ(SimPrinter::MarkLogFor(model).size(), 8000u) << model;
  feed(kSendLog);
  EXPECT_EQ(host.wait(5000, 3000), SimPrinter::MarkLogFor(2));
  host.take();
  printer.setMarkLog({0x00, 0x10, 0x20});
  feed(kSendLog);
  EXPECT_EQ(host.wait(3, 3000), (Bytes{0x00, 0x10, 0x20}));
  printer.setMarkLog({});
  EXPECT_EQ(printer.markLog(), SimPrinter::MarkLogFor(2));
}

TEST_F(SimCalibration, TheLogWaitsItsDelayAndKeepsItsPace) {
  printer.setMarkLog(Bytes(1000, 0x42));
  printer.setMarkLogTiming(200, 4000);  // 1000 bytes at 4000 a second: 250 ms after a 200 ms delay
  const uint64_t t0 = simtest::NowMs();
  std::thread feeder([&] { feed(kSendLog); });  // an in-process session answers on the feeding thread
  EXPECT_FALSE(host.wait(1, 5000).empty());
  EXPECT_GE(simtest::NowMs() - t0, 190u);
  EXPECT_EQ(host.wait(1000, 5000), Bytes(1000, 0x42));
  EXPECT_GE(simtest::NowMs() - t0, 420u);  // the delay and (most of) the pace
  feeder.join();
}

TEST_F(SimCalibration, ConsoleCommandsSetSamplesAndThreshold) {
  EXPECT_EQ(run("ad"), "A/D samples: FF 80 00 66 B3 19 4C\n");
  EXPECT_EQ(run("ad 10 20 30 40 50 60"), "A/D samples: 10 20 30 40 50 60\n");
  EXPECT_EQ(printer.adSamples(), (Bytes{0x10, 0x20, 0x30, 0x40, 0x50, 0x60}));
  EXPECT_EQ(run("threshold 9A"), "mark threshold after calibration: 9A\n");
  EXPECT_EQ(printer.calibratedThreshold(), 0x9A);
  EXPECT_EQ(run("ad zz"), "ad: hex sample bytes, one per sensor, e.g. ad FF 80 00 66 B3 19\n");
  EXPECT_EQ(run("threshold"), "threshold: threshold HEX, 00..FF\n");
  EXPECT_EQ(run("threshold 100"), "threshold: threshold HEX, 00..FF\n");
}
