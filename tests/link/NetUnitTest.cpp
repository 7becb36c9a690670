// The Ethernet road: data connection, exact reads, time-outs, the pacing
// pause, the name check and its reply parsers. Every peer listens on
// 127.0.0.1; the environment variables TORVA_NET_PORT and TORVA_NAME_PORT
// move the printer's ports to the peers'.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CupsTestServer.h"
#include "link/Clock.h"
#include "link/NetLib.h"
#include "link/NetUnit.h"
#include "link/PortState.h"

using torva::test::Bytes;
using torva::test::LoopbackPrinter;
using torva::test::NameResponder;

namespace {

// A loopback port that nobody listens on.
int UnusedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

bool IsOpenDescriptor(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

class NetUnitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    torva::SetPrinterDelayScale(1.0);
    PNET.IPAddress = "127.0.0.1";
    PNET.connecttime = 1;
    PNET.writetime = 1;
    PNET.readtime = 1;
  }
  void TearDown() override {
    CloseNetPort();
    ::unsetenv("TORVA_NET_PORT");
    ::unsetenv("TORVA_NAME_PORT");
    ::unsetenv("TORVA_NET_SEARCH");
    ResetPortState();
  }
  static void UseDataPort(int port) { ::setenv("TORVA_NET_PORT", std::to_string(port).c_str(), 1); }
  static void UseNamePort(int port) { ::setenv("TORVA_NAME_PORT", std::to_string(port).c_str(), 1); }
};

TEST_F(NetUnitTest, OpensWritesReadsExactlyAndCloses) {
  const Bytes reply = {0x12, 0x34, 0x00, 0x0A};
  LoopbackPrinter printer(LoopbackPrinter::Mode::Record, reply);
  UseDataPort(printer.port());

  ASSERT_TRUE(OpenNetPort());
  EXPECT_GT(PNET.handle.load(), 0);
  EXPECT_TRUE(PNET.status.load());

  const Bytes command = {0x1D, 0x72, 0x01, 0x00, 0x0A};
  ASSERT_TRUE(WriteNetPort(command.data(), static_cast<int>(command.size())));
  ASSERT_TRUE(printer.waitForBytes(command.size(), 2000));
  EXPECT_EQ(printer.allBytes(), command);

  uint8_t got[4] = {};
  ASSERT_TRUE(ReadNetPort(got, 4));
  EXPECT_EQ(Bytes(got, got + 4), reply);

  CloseNetPort();
  EXPECT_EQ(PNET.handle.load(), -1);
  EXPECT_FALSE(PNET.status.load());
  EXPECT_TRUE(printer.waitForClosed(1, 2000));
}

TEST_F(NetUnitTest, ShortReplyIsAFailure) {
  // Two bytes asked, one arrives: false once the read time has passed.
  LoopbackPrinter printer(LoopbackPrinter::Mode::Record, Bytes{0x55});
  UseDataPort(printer.port());
  ASSERT_TRUE(OpenNetPort());
  const uint8_t query[3] = {0x1D, 0x72, 0x01};
  ASSERT_TRUE(WriteNetPort(query, 3));
  uint8_t got[2] = {0, 0xEE};
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(ReadNetPort(got, 2));
  const uint64_t took = torva::TickMs() - start;
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 3000u);
  EXPECT_EQ(got[0], 0x55);
}

TEST_F(NetUnitTest, PrinterClosingBeforeTheWholeReplyIsAFailure) {
  LoopbackPrinter printer(LoopbackPrinter::Mode::Record, Bytes{0x55}, /*closeAfterReply=*/true);
  UseDataPort(printer.port());
  ASSERT_TRUE(OpenNetPort());
  const uint8_t query[3] = {0x1D, 0x72, 0x01};
  ASSERT_TRUE(WriteNetPort(query, 3));
  uint8_t got[2] = {};
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(ReadNetPort(got, 2));
  EXPECT_LT(torva::TickMs() - start, 900u);  // the end of the stream, not the time-out
}

TEST_F(NetUnitTest, SilentPrinterReadTimesOut) {
  LoopbackPrinter printer(LoopbackPrinter::Mode::Silent);
  UseDataPort(printer.port());
  ASSERT_TRUE(OpenNetPort());
  uint8_t got[1];
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(ReadNetPort(got, 1));
  const uint64_t took = torva::TickMs() - start;
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 3000u);
}

TEST_F(NetUnitTest, PrinterThatNeverReadsMakesTheWriteTimeOut) {
  torva::SetPrinterDelayScale(0);  // the pacing pause of a block this size is long
  LoopbackPrinter printer(LoopbackPrinter::Mode::Silent);
  UseDataPort(printer.port());
  ASSERT_TRUE(OpenNetPort());
  const std::vector<uint8_t> block(64 * 1024 * 1024, 0x20);
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(WriteNetPort(block.data(), static_cast<int>(block.size())));
  const uint64_t took = torva::TickMs() - start;
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 3000u);
}

TEST_F(NetUnitTest, ConnectTimesOutWhenThePrinterNeverAccepts) {
  LoopbackPrinter printer(LoopbackPrinter::Mode::NoAccept);
  // Fill the listener's accept queue, so that further handshakes go unanswered.
  std::vector<int> fillers;
  for (int i = 0; i < 4; ++i) {
    const int fd = NetLib::OpenPort("127.0.0.1", printer.port(), 1);
    if (fd < 0) break;
    fillers.push_back(fd);
  }
  ASSERT_FALSE(fillers.empty());
  if (fillers.size() == 4) {
    for (int fd : fillers) NetLib::ClosePort(fd);
    GTEST_SKIP() << "this kernel answers handshakes beyond a full accept queue";
  }
  UseDataPort(printer.port());
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(OpenNetPort());
  const uint64_t took = torva::TickMs() - start;
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 3000u);
  EXPECT_EQ(PNET.handle.load(), -1);
  EXPECT_FALSE(PNET.status.load());
  for (int fd : fillers) NetLib::ClosePort(fd);
}

TEST_F(NetUnitTest, RefusedConnectionFailsAtOnce) {
  UseDataPort(UnusedPort());
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(OpenNetPort());
  EXPECT_LT(torva::TickMs() - start, 900u);
  EXPECT_EQ(PNET.handle.load(), -1);
  EXPECT_FALSE(PNET.status.load());
  // Writing and reading without a connection fail too.
  const uint8_t b = 0x0A;
  EXPECT_FALSE(WriteNetPort(&b, 1));
  uint8_t r;
  EXPECT_FALSE(ReadNetPort(&r, 1));
}

TEST_F(NetUnitTest, WritePausesLengthDivSixMilliseconds) {
  LoopbackPrinter printer;
  UseDataPort(printer.port());
  ASSERT_TRUE(OpenNetPort());
  struct Case {
    int length;
    uint64_t atLeastMs;
    uint64_t belowMs;
  };
  // 5 div 6 = 0: no pause; 6 bytes: 1 ms; 600 bytes: 100 ms. Upper bounds are
  // loose: this machine may be busy.
  const Case cases[] = {{5, 0, 250}, {6, 1, 250}, {600, 100, 600}};
  size_t total = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    const std::vector<uint8_t> data(static_cast<size_t>(c.length), 0x41);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(WriteNetPort(data.data(), c.length));
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(static_cast<uint64_t>(took.count()), c.atLeastMs * 1000);
    EXPECT_LT(static_cast<uint64_t>(took.count()), c.belowMs * 1000);
    total += data.size();
  }
  EXPECT_TRUE(printer.waitForBytes(total, 2000));
  EXPECT_EQ(printer.allBytes().size(), total);
}

TEST_F(NetUnitTest, CloseLeavesNoHandleBehind) {
  LoopbackPrinter printer;
  UseDataPort(printer.port());
  ASSERT_TRUE(OpenNetPort());
  const int old = PNET.handle.load();
  CloseNetPort();
  EXPECT_EQ(PNET.handle.load(), -1);
  // The printer's thread has accepted and closed its end: it opens and
  // closes no descriptor from here on, so the old number cannot go to it.
  ASSERT_TRUE(printer.waitForClosed(1, 2000));
  // The descriptor number is free again; whoever gets it next keeps it, even
  // when Close Port runs a second time.
  const int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(devnull, 0);
  if (devnull != old) {  // someone else now owns the old number
    ASSERT_EQ(::dup2(devnull, old), old);
    ::close(devnull);
  }
  CloseNetPort();
  EXPECT_TRUE(IsOpenDescriptor(old));
  ::close(old);
}

TEST_F(NetUnitTest, NameCheckDecidesBeforeTheDataConnection) {
  struct Case {
    const char* reply;
    const char* expected;
    bool opens;
  };
  const Case cases[] = {
      {"VD-M512II", "VD-M512II", true},
      {"VD-M512II", "VD-M512", false},    // exact comparison
      {"vd-m512ii", "VD-M512II", false},  // case counts
      {"ID:0001;DEVICENAME:VD-K773;IP:127.0.0.1", "VD-K773", true},
      {"ID:0001;DEVICENAME:VD-K773;IP:127.0.0.1", "VD-K772", false},
      {"ID:0001;NAME:VD-K773;IP:127.0.0.1", "VD-K773", false},  // no device-name field
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    ResetPortState();
    PNET.IPAddress = "127.0.0.1";
    PNET.connecttime = PNET.writetime = PNET.readtime = 1;
    NameResponder responder(c.reply);
    LoopbackPrinter printer;
    UseNamePort(responder.port());
    UseDataPort(printer.port());
    PNET.TestPrinterName = true;
    PNET.PrinterName = c.expected;
    EXPECT_EQ(OpenNetPort(), c.opens);
    EXPECT_EQ(responder.queries(), 1);
    if (c.opens) {
      EXPECT_GT(PNET.handle.load(), 0);
      EXPECT_TRUE(PNET.status.load());
    } else {
      // A refused name leaves the record as it was and never connects.
      EXPECT_EQ(PNET.handle.load(), -1);
      EXPECT_FALSE(PNET.status.load());
      EXPECT_EQ(printer.accepted(), 0u);
    }
    CloseNetPort();
  }
}

TEST_F(NetUnitTest, WithoutTheNameCheckTheNameIsNeverAsked) {
  NameResponder responder("SOMETHING-ELSE");
  LoopbackPrinter printer;
  UseNamePort(responder.port());
  UseDataPort(printer.port());
  PNET.TestPrinterName = false;
  PNET.PrinterName = "VD-M512II";
  EXPECT_TRUE(OpenNetPort());
  EXPECT_EQ(responder.queries(), 0);
}

TEST_F(NetUnitTest, NameCheckFailsWhenNobodyAnswersTheQuery) {
  LoopbackPrinter printer;
  UseNamePort(UnusedPort());  // nobody there: the datagram is refused
  UseDataPort(printer.port());
  PNET.TestPrinterName = true;
  PNET.PrinterName = "VD-M512II";
  EXPECT_FALSE(OpenNetPort());
  EXPECT_EQ(printer.accepted(), 0u);
  EXPECT_FALSE(PrinterIsIP("127.0.0.1", "VD-M512II"));
}

TEST(NetNameReply, EthernetReplyIsTheTextCutTo63Characters) {
  const std::string long100(100, 'N');
  struct Case {
    std::string reply;
    std::string name;
  };
  const Case cases[] = {
      {"VD-M512II", "VD-M512II"},
      {"", ""},
      {long100, std::string(63, 'N')},
      {std::string(63, 'A'), std::string(63, 'A')},
      {"RW-K305 ;DEVICENAME:X", "RW-K305 ;DEVICENAME:X"},  // taken whole, blanks kept
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    std::string name;
    EXPECT_TRUE(GetEthernetPrinterName(c.reply.c_str(), name));
    EXPECT_EQ(name, c.name);
  }
  // The text ends at its first zero byte; the name is appended to what was there.
  const char withZero[] = {'A', 'B', '\0', 'C', 'D', '\0'};
  std::string name = "x";
  EXPECT_TRUE(GetEthernetPrinterName(withZero, name));
  EXPECT_EQ(name, "xAB");
}

TEST(NetNameReply, WifiReplyNameFollowsTheDeviceNameField) {
  struct Case {
    const char* reply;
    bool found;
    const char* name;
  };
  const Case cases[] = {
      // separator, short name, semicolon and nine or more characters after it
      {"ID:01;DEVICENAME:VD-K773;123456789", true, "VD-K773"},
      {"ID:01;DEVICENAME=RW;IP:192.0.2.1;MAC:0", true, "RW"},
      // the name ends at the end of the reply when no ";" follows, also when
      // the ";" stands among the last nine characters
      {"ID:01;DEVICENAME:VD-K773", true, "VD-K773"},
      {"ID:01;DEVICENAME:VD-K773;IP", true, "VD-K773"},
      {"ID:DEVICENAME:", true, ""},  // field at the very end: empty name
      {"ID:DEVICENAME:;tail-text", true, ""},
      {"ID:DEVICENAME", false, ""},            // no separator after the field
      {"ID:devicename:VD-K773;x", false, ""},  // case counts
      {"ID:1234567", false, ""},               // shorter than 11 characters
      {"ID:01;NAME:VD-K773;123456789", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    std::string name;
    EXPECT_EQ(GetWIFIPrinterName(c.reply, name), c.found);
    EXPECT_EQ(name, c.name);
  }
}

TEST_F(NetUnitTest, LongNameReplyIsCutAndStaysTerminated) {
  // A reply longer than the buffer: at most 2047 bytes are taken, and the
  // Ethernet parser takes 63 of them.
  const std::string huge(4000, 'Q');
  NameResponder responder(huge);
  UseNamePort(responder.port());
  EXPECT_TRUE(PrinterIsIP("127.0.0.1", std::string(63, 'Q')));
  EXPECT_FALSE(PrinterIsIP("127.0.0.1", huge));
}

TEST_F(NetUnitTest, ReceiveTimesOutOnASilentPeer) {
  NameResponder silent("");  // counts the query, never answers
  const int sock = NetLib::CreatSocket(2, 0);
  ASSERT_GT(sock, 0);
  const uint8_t bg[2] = {'B', 'G'};
  EXPECT_EQ(NetLib::SendComm(sock, "127.0.0.1", silent.port(), bg, 2, 1), 2);
  uint8_t buf[16];
  const uint64_t start = torva::TickMs();
  EXPECT_EQ(NetLib::RecievComm(sock, "127.0.0.1", silent.port(), buf, sizeof buf, 1), -1);
  const uint64_t took = torva::TickMs() - start;
  EXPECT_GE(took, 900u);
  EXPECT_LT(took, 3000u);
  NetLib::CloseSocket(sock);
  EXPECT_EQ(silent.queries(), 1);
}

TEST_F(NetUnitTest, LibraryRefusesBadArguments) {
  EXPECT_EQ(NetLib::OpenPort("not-an-address", 9100, 1), -1);
  EXPECT_EQ(NetLib::OpenPort("127.0.0.1", 0, 1), -1);
  EXPECT_EQ(NetLib::OpenPort("127.0.0.1", 70000, 1), -1);
  uint8_t b = 0;
  EXPECT_EQ(NetLib::WritePort(-1, &b, 1, 1), -1);
  EXPECT_EQ(NetLib::ReadPort(0, &b, 1, 1), -1);
  EXPECT_EQ(NetLib::CreatSocket(10, 0), -1);
}

TEST_F(NetUnitTest, PrinterSearchListsTheAddressesThatAnswer) {
  NameResponder responder("VD-M512II");
  UseNamePort(responder.port());
  ::setenv("TORVA_NET_SEARCH", "127.0.0.1", 1);
  char buffer[3061];
  std::memset(buffer, 0x7F, sizeof buffer);
  EXPECT_EQ(NetLib::NetGetPrinterIP(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "127.0.0.1@");
  EXPECT_EQ(responder.queries(), 1);
}

TEST_F(NetUnitTest, PrinterSearchLeavesOutAnAddressThatDoesNotFit) {
  NameResponder responder("VD-M512II");
  UseNamePort(responder.port());
  ::setenv("TORVA_NET_SEARCH", "127.0.0.1", 1);
  char small[8];
  std::memset(small, 0x7F, sizeof small);
  EXPECT_EQ(NetLib::NetGetPrinterIP(small, sizeof small), 0);
  EXPECT_STREQ(small, "");
}

}  // namespace
