// The Ethernet road against the simulated printer: its TCP endpoint on
// 127.0.0.1 plays port 9100, its name-query endpoint plays port 3000.
#include <gtest/gtest.h>

#include <string>

#include "link/Clock.h"
#include "link/NetLib.h"
#include "link/NetUnit.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"

using torva::sim::Bytes;
using torva::sim::SimPrinter;

namespace {

class NetSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    torva::SetPrinterDelayScale(1.0);
    const int tcp = sim_.startTcp(0);
    const int name = sim_.startNameQuery(0);
    ASSERT_GT(tcp, 0);
    ASSERT_GT(name, 0);
    ::setenv("TORVA_NET_PORT", std::to_string(tcp).c_str(), 1);
    ::setenv("TORVA_NAME_PORT", std::to_string(name).c_str(), 1);
    PNET.IPAddress = "127.0.0.1";
    PNET.connecttime = 3;
    PNET.writetime = 5;
    PNET.readtime = 1;
  }
  void TearDown() override {
    CloseNetPort();
    sim_.stop();
    ::unsetenv("TORVA_NET_PORT");
    ::unsetenv("TORVA_NAME_PORT");
    ResetPortState();
  }
  SimPrinter sim_{ModelVDM512II};
};

TEST_F(NetSimTest, StatusQueryRoundTrip) {
  sim_.setTransmitStatus(0x12);
  ASSERT_TRUE(OpenNetPort());
  const uint8_t query[3] = {0x1D, 0x72, 0x01};
  ASSERT_TRUE(WriteNetPort(query, 3));
  uint8_t reply = 0;
  ASSERT_TRUE(ReadNetPort(&reply, 1));
  EXPECT_EQ(reply, 0x12);
  // Nothing more is queued: a second exact read fails after the read time.
  uint8_t more = 0;
  EXPECT_FALSE(ReadNetPort(&more, 1));
  CloseNetPort();
  EXPECT_EQ(PNET.handle.load(), -1);
  EXPECT_EQ(sim_.receivedBytes(), Bytes(query, query + 3));
}

TEST_F(NetSimTest, NameCheckWithEthernetAndWifiReplies) {
  struct Case {
    bool wifi;
    const char* printerName;
    const char* expected;
    bool opens;
  };
  const Case cases[] = {
      {false, "VD-M512II", "VD-M512II", true},
      {false, "VD-M512II", "VD-M512", false},
      {true, "VD-K773", "VD-K773", true},
      {true, "VD-K773", "VD-K773 ", false},  // blanks count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.printerName) + (c.wifi ? " wifi" : " ethernet"));
    sim_.setWifiReply(c.wifi);
    sim_.setPrinterName(c.printerName);
    PNET.TestPrinterName = true;
    PNET.PrinterName = c.expected;
    EXPECT_EQ(OpenNetPort(), c.opens);
    EXPECT_EQ(PNET.status.load(), c.opens);
    CloseNetPort();
  }
}

TEST_F(NetSimTest, NameQueryIsLoggedAndTakesTheFault) {
  sim_.setPrinterName("VD-M512II");
  sim_.setFault({torva::sim::Fault::ShortReply, 1, 0});
  EXPECT_FALSE(PrinterIsIP("127.0.0.1", "VD-M512II"));  // only "V" came back
  EXPECT_TRUE(PrinterIsIP("127.0.0.1", "VD-M512II"));   // the fault is spent
  const auto queries = sim_.log("NameQuery");
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[0].channel, "udp");
  EXPECT_EQ(queries[0].frame, Bytes({'B', 'G'}));
  EXPECT_TRUE(sim_.receivedBytes().empty());  // no data connection was made
}

TEST_F(NetSimTest, SearchFindsTheSimulatedPrinter) {
  ::setenv("TORVA_NET_SEARCH", "127.0.0.1", 1);
  char buffer[3061] = {};
  EXPECT_EQ(NetLib::NetGetPrinterIP(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "127.0.0.1@");
  ::unsetenv("TORVA_NET_SEARCH");
}

}  // namespace
