// The nibble-mode layer on ppdev: only its failure paths can run without a
// parallel port (no device, a device that is not a parallel port, the port
// not open), and the common write's wait for an idle port.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/LPTUnit.h"
#include "link/ParReverse.h"
#include "link/PortNames.h"
#include "link/PortState.h"

namespace {

class NibblePort : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    char tmpl[] = "/tmp/torva-nibble-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    ParReverse::DriverClose();
    unsetenv("TORVA_PARPORT1");
    unsetenv("TORVA_PARPORT2");
    unlink((dir + "/notaport").c_str());
    rmdir(dir.c_str());
  }
  std::string dir;
};

TEST_F(NibblePort, DeviceNames) {
  EXPECT_EQ(NibbleDeviceForPort(1), "/dev/parport0");
  EXPECT_EQ(NibbleDeviceForPort(3), "/dev/parport2");
  setenv("TORVA_PARPORT2", "/tmp/pp", 1);
  EXPECT_EQ(NibbleDeviceForPort(2), "/tmp/pp");
}

TEST_F(NibblePort, OpenFailsWithoutAPort) {
  setenv("TORVA_PARPORT1", (dir + "/missing").c_str(), 1);
  EXPECT_EQ(ParReverse::DriverOpenEx(1, 1, 0, ProgramDirectory()), 0);
  // A file that is not a parallel port cannot be claimed (as a port claimed
  // by another program cannot): the open fails and keeps nothing.
  const std::string notaport = dir + "/notaport";
  { std::ofstream(notaport.c_str()) << "x"; }
  setenv("TORVA_PARPORT1", notaport.c_str(), 1);
  EXPECT_EQ(ParReverse::DriverOpenEx(1, 1, 0, ProgramDirectory()), 0);
  LPTParameter.Number = 1;
  EXPECT_EQ(OpenNibbleLPTPort(1000, 3000), 0);
  EXPECT_EQ(ParReverse::IsPARIdle(), 0);
}

TEST_F(NibblePort, CallsOnAClosedPortFail) {
  uint8_t buf[4] = {1, 2, 3, 4};
  int status = 0;
  EXPECT_EQ(ParReverse::IsPARIdle(), 0);
  EXPECT_EQ(ParReverse::NibbleModeWrite(buf, 4, &status), 0);
  EXPECT_NE(status, 0);
  status = 0;
  EXPECT_EQ(ParReverse::NibbleModeRead(buf, 4, &status), 0);
  EXPECT_NE(status, 0);
  EXPECT_FALSE(POSReadPort(PortNibbleLPT, 0, buf, 4, 10));
  EXPECT_FALSE(POSReadPort1(PortNibbleLPT, 0, buf, 4, 10));
  CloseNibbleLPTPort();  // closing a closed port is harmless
}

// The real layer with no port open is never idle: the write gives up after
// 2000 ms and writes nothing.
TEST_F(NibblePort, WriteGivesUpWhenNeverIdle) {
  const uint8_t cmd[] = {0x0A};
  const uint64_t t0 = torva::TickMs();
  EXPECT_FALSE(POSWritePort(PortNibbleLPT, -1, cmd, 1));
  const uint64_t elapsed = torva::TickMs() - t0;
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 3000u);  // loose: the machine may be busy
}

}  // namespace
