// The console on the other port kinds: Ethernet over TCP to the simulated
// printer, the parallel port written into a FIFO, nibble mode through fakes
// of its library, and the spooler through a private cupsd.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "ConsoleFixture.h"
#include "Facilities.h"
#include "link/EepromControl.h"
#include "link/NetUnit.h"

// The private cupsd of the link tests, shared rather than copied.
#include "../link/CupsTestServer.cpp"  // NOLINT(bugprone-suspicious-include)

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;

TEST_F(ConsoleTest, EthernetWritesOnTheStandingConnectionAndLeavesItOpen) {
  const int tcp = sim.startTcp(0);
  ASSERT_GT(tcp, 0);
  setenv("TORVA_NET_PORT", std::to_string(tcp).c_str(), 1);
  PNET.IPAddress = "127.0.0.1";
  PNET.connecttime = 3;
  PNET.writetime = 5;
  PNET.readtime = 1;
  ASSERT_TRUE(OpenNetPort());  // what the port-setting dialog's OK did
  PortType = PortNet;
  TPrintTestForm& c = Open();
  EXPECT_TRUE(Notice().isEmpty());
  Send("1B 40");
  Send("A", false);
  c.ClearButtonClick();
  c.CutButtonClick();
  EXPECT_TRUE(Received({0x1B, 0x40, 0x41, 0x10, 0x04, 0x0B, 0x1D, 0x56, 0x42, 0x10}));
  EXPECT_EQ(Notice(), (QStringList{"Execute command successfully!", "Execute command successfully!",
                                   "Clear Error successfully!", "Cut paper successfully!"}));
  EXPECT_FALSE(c.reader().running());  // Ethernet is not read
  const int connection = PNET.handle;
  c.ExitButtonClick();
  EXPECT_EQ(PNET.handle, connection);  // Close Port closes it, not the console
  // Without the connection, every write reports the address.
  CloseNetPort();
  Language = "Chinese";
  TPrintTestForm& again = Open();
  Send("0A");
  again.FeedPaperButtonClick();
  EXPECT_EQ(Notice(), (QStringList{QString::fromUtf8("端口 127.0.0.1 发送数据失败！"),
                                   QString::fromUtf8("端口 127.0.0.1 发送数据失败！")}));
  unsetenv("TORVA_NET_PORT");
}

TEST_F(ConsoleTest, ParallelPortIntoAFifo) {
  const std::string fifo = dir + "/lpt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GT(reader, 0);
  setenv("TORVA_LPT1", fifo.c_str(), 1);
  PortType = PortLPT;
  TPrintTestForm& c = Open();
  EXPECT_FALSE(Button("DisplayButton")->isEnabled());
  ASSERT_GT(LPTParameter.m_hdev, 0);
  Send("1B 40");
  c.BundlerRetractMenuClick();
  uint8_t got[16];
  EXPECT_EQ(read(reader, got, sizeof got), 5);
  EXPECT_EQ(Bytes(got, got + 5), (Bytes{0x1B, 0x40, 0x1B, 0x63, 0x5C}));
  EXPECT_EQ(Notice(), (QStringList{"Execute command successfully!", "Bundler retracts papers successfully!"}));
  c.ExitButtonClick();
  EXPECT_EQ(LPTParameter.m_hdev, -1);
  close(reader);

  // No device: the opening's line, then the write lines of the parallel
  // port (the Send's and the Retract's Chinese lines have no closing mark).
  setenv("TORVA_LPT1", (dir + "/none").c_str(), 1);
  Language = "Chinese";
  TPrintTestForm& none = Open();
  Send("0A");
  none.BundlerRetractMenuClick();
  none.BundlerPresentMenuClick();
  EXPECT_EQ(Notice(), (QStringList{QString::fromUtf8("端口LPT1 通讯错误！"), QString::fromUtf8("端口 LPT1 发送数据失败"),
                                   QString::fromUtf8("端口 LPT1 发送数据失败"),
                                   QString::fromUtf8("端口 LPT1 发送数据失败！")}));
  unsetenv("TORVA_LPT1");
}

namespace {
// The nibble-mode library's write and read, faked: the port is idle, writes
// succeed, and a read delivers one queued answer.
std::vector<uint8_t> gNibbleReply;
std::vector<uint8_t> gNibbleWritten;
}  // namespace

TEST_F(ConsoleTest, NibbleModeThroughFakesOfItsLibrary) {
  setenv("TORVA_PARPORT1", (dir + "/none").c_str(), 1);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.IsPARIdle = [] { return 1; };
  calls.NibbleModeWrite = [](const uint8_t* b, int n, int* status) {
    gNibbleWritten.assign(b, b + n);
    *status = 0;
    return 1;
  };
  calls.NibbleModeRead = [](uint8_t* b, int n, int* status) {
    *status = 0;
    const int k = std::min<int>(n, static_cast<int>(gNibbleReply.size()));
    std::copy(gNibbleReply.begin(), gNibbleReply.begin() + k, b);
    gNibbleReply.clear();
    return k;
  };
  ScopedPortLibraryCalls fakes(calls);
  PortType = PortNibbleLPT;
  PrinterName = ModelVDK512;
  TPrintTestForm& c = Open();
  EXPECT_FALSE(Button("DisplayButton")->isEnabled());
  EXPECT_EQ(Notice(), QStringList{"Can't openLPT1 port!"});
  torva::ScopedPrinterDelayRecorder delays;
  gNibbleReply = {0x34, 0x12};
  Send("1B 6A 06");
  EXPECT_EQ(gNibbleWritten, (Bytes{0x1B, 0x6A, 0x06}));
  EXPECT_TRUE(ReaderDone());
  EXPECT_EQ(c.receiveText(), "34 12 ");
  EXPECT_EQ(delays.waits(), std::vector<int>{210});
  // Text mode: the reader always follows.
  gNibbleReply = {0x41, 0x42};
  Send("x", false);
  EXPECT_TRUE(ReaderDone());
  EXPECT_EQ(c.receiveText(), "34 12 41 42 ");
  unsetenv("TORVA_PARPORT1");
}

TEST_F(ConsoleTest, SpoolerSendsEachCommandAsOneRawDocument) {
  torva::test::CupsTestServer cups;
  const std::string why = cups.start();
  TORVA_REQUIRE_FACILITY(why.empty() ? why : "no private cupsd here: " + why);
  const int port = sim.startTcp(0);
  ASSERT_GT(port, 0);
  ASSERT_EQ(cups.addRawQueue("torva", "socket://127.0.0.1:" + std::to_string(port)), "");
  DriverParameter.DriverName = "torva";
  PortType = PortDriver;
  TPrintTestForm& c = Open();
  EXPECT_TRUE(Notice().isEmpty());
  EXPECT_GT(DriverParameter.hPrinter, 0);
  Send("1B 40 0A");
  c.ClearButtonClick();
  EXPECT_EQ(Notice(), (QStringList{"Execute command successfully!", "Clear Error successfully!"}));
  ASSERT_TRUE(cups.waitIdle("torva", 20000));
  EXPECT_TRUE(Received({0x1B, 0x40, 0x0A, 0x10, 0x04, 0x0B}, 10000));
  EXPECT_EQ(cups.jobs("torva").size(), 2u);
  c.ExitButtonClick();
  EXPECT_EQ(DriverParameter.hPrinter, -1);

  // A queue that does not exist: the opening's line and each write's.
  DriverParameter.DriverName = "missing";
  Open();
  Send("0A");
  EXPECT_EQ(Notice(), (QStringList{"Can't open missing port!", "Write missing port error!"}));
}
