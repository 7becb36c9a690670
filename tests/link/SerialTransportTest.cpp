// Serial open, configuration, exclusive use, modem lines and close, over a
// real pseudo-terminal and, for what a pty cannot do, through the termios seam.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>

#include <atomic>
#include <condition_variable>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "SerialTestPty.h"
#include "ThreadCpu.h"
#include "link/Clock.h"
#include "link/COMUnit.h"
#include "link/EepromControl.h"
#include "link/PortNames.h"
#include "link/PortState.h"
#include "link/SerialIo.h"

namespace {

// Plays a port with modem lines that takes every setting it is given; the
// port's previous state is `current`.
struct FakePort {
  termios current{};
  termios lastSet{};
  int setCount = 0;
  int modemResult = 0;
  int modemBits = 0;
  std::map<unsigned long, int> modemRequests;  // request -> bits asked
};
FakePort g_fake;

int FakeGet(int, termios* t) {
  *t = g_fake.current;
  return 0;
}
int FakeSet(int, int, const termios* t) {
  g_fake.lastSet = *t;
  g_fake.current = *t;
  ++g_fake.setCount;
  return 0;
}
int FakeModem(int, unsigned long request, int* bits) {
  if (request == TIOCMGET) {
    *bits = g_fake.modemBits;
    return g_fake.modemResult;
  }
  g_fake.modemRequests[request] |= *bits;
  return 0;
}
const SerialCalls kFakeCalls{FakeGet, FakeSet, FakeModem};

class SerialTransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty.ok());
    g_fake = FakePort{};
    termios t{};
    t.c_cflag = CS8 | CREAD | CLOCAL;
    cfsetospeed(&t, B9600);
    cfsetispeed(&t, B9600);
    g_fake.current = t;
  }
  void TearDown() override {
    if (m_hdev_Com > 0) CloseCOM(m_hdev_Com);
  }
  TestPty pty;
};

TEST_F(SerialTransportTest, OpensRawNonBlockingAndCloses) {
  const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(fd, 2);
  EXPECT_EQ(m_hdev_Com, fd);
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
  // A read right after the open returns at once with nothing queued.
  uint8_t b;
  EXPECT_LE(read(fd, &b, 1), 0);
  EXPECT_EQ(SerialWriteTimeoutMs(fd, 100), 3000);
  EXPECT_TRUE(CloseCOM(fd));
  EXPECT_EQ(m_hdev_Com, -1);
  EXPECT_FALSE(CloseCOM(-1));
  EXPECT_FALSE(CloseCOM(0));
}

TEST_F(SerialTransportTest, OpenCom1HasTheConnectionTestWriteTimeout) {
  const int fd = OpenCOM1(pty.path, 9600, 8, 2, "XON/XOFF", "None");
  ASSERT_GT(fd, 2);
  EXPECT_EQ(SerialWriteTimeoutMs(fd, 3), 2000 + 3 * 2000);
  termios t{};
  ASSERT_EQ(tcgetattr(fd, &t), 0);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(CloseCOM(fd));
}

// The write time-out of an open port can be changed while it stays open;
// a descriptor this unit did not open, or a closed one, has none to change.
TEST_F(SerialTransportTest, WriteTimeOutOfAnOpenPortCanBeSet) {
  const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(fd, 2);
  EXPECT_TRUE(SetComWriteTimeout(fd, 30000));
  EXPECT_EQ(SerialWriteTimeoutMs(fd, 1), 30000);
  EXPECT_EQ(SerialWriteTimeoutMs(fd, 5000), 30000);
  EXPECT_TRUE(SetComWriteTimeout(fd, 100, 10));
  EXPECT_EQ(SerialWriteTimeoutMs(fd, 5), 150);
  EXPECT_FALSE(SetComWriteTimeout(fd, -1));
  EXPECT_FALSE(SetComWriteTimeout(pty.master, 30000));
  EXPECT_FALSE(SetComWriteTimeout(-1, 30000));
  EXPECT_TRUE(CloseCOM(fd));
  EXPECT_FALSE(SetComWriteTimeout(fd, 30000));
  EXPECT_EQ(SerialWriteTimeoutMs(fd, 1), 3000);
}

TEST_F(SerialTransportTest, PortNameMapsThroughTheEnvironment) {
  setenv("TORVA_COM3", pty.path.c_str(), 1);
  EXPECT_EQ(SerialDeviceForPort("COM3"), pty.path);
  const int fd = OpenCOM("COM3", 19200, 8, 1, "DTR/DSR", "None");
  EXPECT_GT(fd, 2);
  if (fd > 0) {
    pty.send("Z");
    uint8_t b = 0;
    EXPECT_TRUE(POSReadPort(PortCOM, fd, &b, 1, 1000));
    EXPECT_EQ(b, 'Z');
    CloseCOM(fd);
  }
  unsetenv("TORVA_COM3");
  EXPECT_EQ(SerialDeviceForPort("COM3"), "/dev/ttyS2");
  EXPECT_EQ(SerialDeviceForPort("COM9"), "COM9");
}

TEST_F(SerialTransportTest, SecondOpenerIsRefusedUntilTheFirstCloses) {
  const int first = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(first, 2);
  const int before = TestOpenDescriptors();
  EXPECT_EQ(OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None"), -1);
  EXPECT_EQ(m_hdev_Com, -1);
  EXPECT_EQ(TestOpenDescriptors(), before);
  EXPECT_FALSE(CheckComConnect(pty.path));
  EXPECT_TRUE(CloseCOM(first));
  const int again = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  EXPECT_GT(again, 2);
  CloseCOM(again);
}

TEST_F(SerialTransportTest, MissingDeviceGivesMinusOne) {
  EXPECT_EQ(OpenCOM("/nonexistent/ttyX", 38400, 8, 1, "DTR/DSR", "None"), -1);
  EXPECT_EQ(m_hdev_Com, -1);
  EXPECT_FALSE(CheckComConnect("/nonexistent/ttyX"));
}

// A pseudo-terminal keeps 8 data bits when asked for 7 and refuses parity:
// the open reads the settings back, counts either as a refusal and leaves
// nothing open (no descriptor, no lock, no exclusive mode).
TEST_F(SerialTransportTest, RefusedSettingsLeaveNothingOpen) {
  struct Case {
    int baud, databits;
    const char* parity;
  } cases[] = {{38400, 7, "None"}, {38400, 8, "Odd"}, {38400, 8, "Even"}, {12345, 8, "None"}, {38400, 9, "None"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.baud) + " " + std::to_string(c.databits) + " " + c.parity);
    const int before = TestOpenDescriptors();
    EXPECT_EQ(OpenCOM(pty.path, c.baud, c.databits, 1, "DTR/DSR", c.parity), -1);
    EXPECT_EQ(m_hdev_Com, -1);
    EXPECT_EQ(TestOpenDescriptors(), before);
    const int probe = open(pty.path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GT(probe, 0);
    EXPECT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0);
    close(probe);
  }
  const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  EXPECT_GT(fd, 2);
  CloseCOM(fd);
}

// What a real port is asked for, checked through the seam.
TEST_F(SerialTransportTest, SettingsRequestedThroughTheSeam) {
  struct Case {
    int databits, stopbits;
    const char* parity;
    const char* handshake;
    tcflag_t size;
    bool cstopb, parenb, parodd, crtscts, ixon;
  } cases[] = {
      // before each open the port had 2 stop bits and odd parity
      {7, 1, "Even", "DTR/DSR", CS7, false, true, false, true, false},
      {8, 2, "Odd", "XON/XOFF", CS8, true, true, true, false, true},
      {7, 3, "Mark", "DTR/DSR", CS7, true, true, true, true, false},  // 3 and "Mark" keep the port's
      {8, 1, "None", "xon/xoff", CS8, false, false, false, true, false},  // exact comparison: hardware
      {8, 0, "none", "", CS8, true, true, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.parity) + " " + c.handshake + " stop " + std::to_string(c.stopbits));
    g_fake.current.c_cflag = CS8 | CREAD | CLOCAL | CSTOPB | PARENB | PARODD;
    g_fake.modemRequests.clear();
    ScopedSerialCalls fake(kFakeCalls);
    const int fd = OpenCOM(pty.path, 4800, c.databits, c.stopbits, c.handshake, c.parity);
    ASSERT_GT(fd, 2);
    const termios& t = g_fake.lastSet;
    EXPECT_EQ(t.c_cflag & CSIZE, c.size);
    EXPECT_EQ((t.c_cflag & CSTOPB) != 0, c.cstopb);
    EXPECT_EQ((t.c_cflag & PARENB) != 0, c.parenb);
    EXPECT_EQ((t.c_cflag & PARODD) != 0, c.parodd);
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, c.crtscts);
    EXPECT_EQ((t.c_iflag & IXON) != 0, c.ixon);
    EXPECT_EQ((t.c_iflag & IXOFF) != 0, c.ixon);
    EXPECT_EQ(t.c_iflag & INPCK, 0u);  // parity is never checked on input
    if (c.ixon) {
      EXPECT_EQ(t.c_cc[VSTART], 0x11);
      EXPECT_EQ(t.c_cc[VSTOP], 0x13);
    }
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B4800));
    // DTR off in both modes; RTS on with hardware flow control, off with software.
    EXPECT_TRUE(g_fake.modemRequests[TIOCMBIC] & TIOCM_DTR);
    EXPECT_EQ((g_fake.modemRequests[TIOCMBIS] & TIOCM_RTS) != 0, c.crtscts);
    EXPECT_TRUE(CloseCOM(fd));
  }
}

TEST_F(SerialTransportTest, SeamFailuresCloseThePort) {
  const int before = TestOpenDescriptors();
  {
    SerialCalls calls = kFakeCalls;
    calls.setAttr = [](int, int, const termios*) { return -1; };
    ScopedSerialCalls fake(calls);
    EXPECT_EQ(OpenCOM(pty.path, 9600, 7, 1, "DTR/DSR", "Odd"), -1);
  }
  {
    SerialCalls calls = kFakeCalls;
    calls.getAttr = [](int, termios*) { return -1; };
    ScopedSerialCalls fake(calls);
    EXPECT_EQ(OpenCOM1(pty.path, 9600, 8, 1, "DTR/DSR", "None"), -1);
  }
  EXPECT_EQ(m_hdev_Com, -1);
  EXPECT_EQ(TestOpenDescriptors(), before);
}

TEST_F(SerialTransportTest, CheckComConnectAnswersTheCtsLine) {
  struct Case {
    int result, bits;
    bool cts;
  } cases[] = {{0, TIOCM_CTS, true}, {0, TIOCM_CTS | TIOCM_DSR, true}, {0, TIOCM_DSR, false}, {-1, TIOCM_CTS, false}};
  const int before = TestOpenDescriptors();
  for (const Case& c : cases) {
    g_fake.modemResult = c.result;
    g_fake.modemBits = c.bits;
    ScopedSerialCalls fake(kFakeCalls);
    EXPECT_EQ(CheckComConnect(pty.path), c.cts) << c.result << " " << c.bits;
    EXPECT_EQ(m_hdev_Com, -1);
  }
  EXPECT_EQ(TestOpenDescriptors(), before);
  // The pseudo-terminal has no modem lines at all.
  EXPECT_FALSE(CheckComConnect(pty.path));
}

// ---- writes that must leave the port ----------------------------------------

// Plays the port's output queue, which a pseudo-terminal always reports empty:
// while `held` the bytes written stay queued (a CTS line held low), until the
// queue is flushed or the line lets go. Reports when the writer first finds
// bytes queued.
struct FakeOutput {
  std::atomic<bool> held{false};
  std::atomic<int> left{0};  // bytes still queued while not held: a line letting them go slowly
  std::atomic<int> flushes{0};  // tcflush(TCOFLUSH) calls
  std::mutex mu;
  std::condition_variable cv;
  bool sawQueued = false;
};
FakeOutput* g_out = nullptr;

int FakeOutQueue(int, int* count) {
  *count = g_out->held ? 3 : g_out->left.load();
  if (*count > 0) {
    std::lock_guard<std::mutex> lock(g_out->mu);
    g_out->sawQueued = true;
    g_out->cv.notify_all();
  }
  return 0;
}
int FakeFlush(int fd, int queue) {
  if (queue == TCOFLUSH || queue == TCIOFLUSH) {
    ++g_out->flushes;
    g_out->held = false;  // nothing is left to send
    g_out->left = 0;
  }
  return tcflush(fd, queue);
}

class SerialOutputTest : public SerialTransportTest {
 protected:
  void SetUp() override {
    SerialTransportTest::SetUp();
    g_out = &out;
    calls.outQueue = FakeOutQueue;
    calls.flush = FakeFlush;
  }
  void TearDown() override {
    SerialTransportTest::TearDown();
    g_out = nullptr;
  }
  FakeOutput out;
  SerialCalls calls = RealSerialCalls();
};

// The write waits for the queue to empty: it has seen the bytes queued, and
// succeeds once the line lets them go.
TEST_F(SerialOutputTest, WriteSucceedsOnceTheBytesHaveLeft) {
  const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(fd, 2);
  ScopedSerialCalls fake(calls);
  out.held = true;
  std::thread line([&] {
    std::unique_lock<std::mutex> lock(out.mu);
    out.cv.wait_for(lock, std::chrono::seconds(5), [&] { return out.sawQueued; });
    out.held = false;
  });
  const uint8_t cmd[] = {0x10, 0x04, 0x0A};
  EXPECT_TRUE(POSWritePort(PortCOM, fd, cmd, 3));
  line.join();
  EXPECT_TRUE(out.sawQueued);
  EXPECT_EQ(out.flushes, 0);
  EXPECT_EQ(pty.receive(3), std::vector<uint8_t>(cmd, cmd + 3));
  EXPECT_TRUE(CloseCOM(fd));
}

// Bytes that never leave (CTS held low): the write fails at its deadline (the
// open's write time-out), sleeping rather than spinning meanwhile, and the
// output queue is discarded so that closing the port does not wait for them.
TEST_F(SerialOutputTest, WriteHeldBackByFlowControlFailsAtTheDeadline) {
  const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
  ASSERT_GT(fd, 2);
  const int timeoutMs = SerialWriteTimeoutMs(fd, 1);
  ASSERT_EQ(timeoutMs, 3000);
  ScopedSerialCalls fake(calls);
  out.held = true;
  const uint8_t lf = 0x0A;
  const uint64_t start = torva::TickMs();
  const int64_t cpuStart = ThreadCpuMicros();
  EXPECT_FALSE(POSWritePort(PortCOM, fd, &lf, 1));
  const int64_t cpuUs = ThreadCpuMicros() - cpuStart;
  const uint64_t elapsed = torva::TickMs() - start;
  EXPECT_GE(elapsed, static_cast<uint64_t>(timeoutMs));
  EXPECT_LT(elapsed, static_cast<uint64_t>(timeoutMs) + 1500);
  EXPECT_LT(cpuUs, static_cast<int64_t>(elapsed) * 1000 / 20) << "CPU " << cpuUs << " us in " << elapsed << " ms";
  EXPECT_EQ(out.flushes, 1);
  EXPECT_FALSE(out.held);
  EXPECT_TRUE(CloseCOM(fd));
}

// A printer that takes no byte for 4 s fails the write then, however long the
// write time-out: the connection test's (2000 ms + 2000 ms a byte, 8 s for its
// three bytes) with the printer holding XOFF, and the console's 30 s with CTS
// held low. Nothing of the failed write goes out once the printer lets go (the
// output queue is discarded); the next write goes through.
TEST_F(SerialOutputTest, APrinterThatTakesNothingFailsTheWriteAfterFourSeconds) {
  struct Case {
    const char* what;
    std::function<int()> open;
    std::function<void(int fd)> hold;  // after the open, before the write
    std::function<void()> letGo;       // after the failed write
  } cases[] = {
      {"XOFF, the connection test's time-out",
       [&] { return OpenCOM1(pty.path, 9600, 8, 1, "XON/XOFF", "None"); },
       [&](int fd) {
         // The XOFF is taken before the byte behind it is queued: once that
         // byte is there, the port has stopped.
         pty.send(std::vector<uint8_t>{0x13, 0x00});
         ASSERT_TRUE(TestWaitQueued(fd, 1));
         uint8_t b;
         ASSERT_EQ(read(fd, &b, 1), 1);
       },
       [&] { pty.send(std::vector<uint8_t>{0x11}); }},
      {"CTS low, a 30 s time-out",
       [&] {
         const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
         EXPECT_TRUE(SetComWriteTimeout(fd, 30000));
         return fd;
       },
       [&](int) { out.held = true; },
       [&] {
         EXPECT_EQ(out.flushes, 1);
         EXPECT_FALSE(out.held);
         // The pseudo-terminal passed the bytes on at once; a real line
         // discards them with its output queue.
         EXPECT_EQ(pty.receive(3).size(), 3u);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const int fd = c.open();
    ASSERT_GT(fd, 2);
    ScopedSerialCalls fake(calls);
    out.flushes = 0;
    c.hold(fd);
    const uint8_t status[] = {0x1D, 0x72, 0x01};
    const uint64_t start = torva::TickMs();
    EXPECT_FALSE(POSWritePort(PortCOM, fd, status, 3));
    const uint64_t elapsed = torva::TickMs() - start;
    EXPECT_GE(elapsed, static_cast<uint64_t>(serialio::kPrinterStallMs) - 50);
    EXPECT_LT(elapsed, static_cast<uint64_t>(serialio::kPrinterStallMs) + 2000);
    c.letGo();
    const uint8_t lf = 0x0A;
    EXPECT_TRUE(POSWritePort(PortCOM, fd, &lf, 1));
    EXPECT_EQ(pty.receive(1), std::vector<uint8_t>{0x0A});
    EXPECT_TRUE(CloseCOM(fd));
  }
}

// A line that lets the bytes go slowly, one a second, keeps the write going
// past the stall bound until its time-out: 30 s let all six go (after about
// 6 s), 2.5 s end the write at that time-out however the line moves.
TEST_F(SerialOutputTest, ALineThatKeepsMovingGetsTheWholeTimeOut) {
  struct Case {
    int timeoutMs;
    bool written;
    uint64_t minMs, maxMs;
  } cases[] = {{30000, true, static_cast<uint64_t>(serialio::kPrinterStallMs), 20000}, {2500, false, 2450, 4000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeoutMs);
    const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
    ASSERT_GT(fd, 2);
    ASSERT_TRUE(SetComWriteTimeout(fd, c.timeoutMs));
    ScopedSerialCalls fake(calls);
    const uint8_t block[] = {1, 2, 3, 4, 5, 6};
    out.left = 6;
    std::atomic<bool> done{false};
    std::thread line([&] {
      // The line's pace, a byte a second: far from the stall bound even
      // when a loaded machine runs this thread late.
      while (!done && out.left > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (out.left > 0) --out.left;
      }
    });
    const uint64_t start = torva::TickMs();
    EXPECT_EQ(POSWritePort(PortCOM, fd, block, 6), c.written);
    const uint64_t elapsed = torva::TickMs() - start;
    done = true;
    line.join();
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LT(elapsed, c.maxMs);
    EXPECT_EQ(out.flushes, c.written ? 0 : 1);
    out.flushes = 0;
    out.left = 0;
    EXPECT_TRUE(CloseCOM(fd));
  }
}

// A port closed with output still queued has it discarded first; one with
// nothing queued is closed as it is.
TEST_F(SerialOutputTest, CloseDiscardsOutputThatHasNotLeft) {
  for (bool queued : {true, false}) {
    SCOPED_TRACE(queued ? "bytes queued" : "queue empty");
    const int fd = OpenCOM(pty.path, 38400, 8, 1, "DTR/DSR", "None");
    ASSERT_GT(fd, 2);
    ScopedSerialCalls fake(calls);
    out.flushes = 0;
    out.held = queued;
    EXPECT_TRUE(CloseCOM(fd));
    EXPECT_EQ(out.flushes, queued ? 1 : 0);
  }
}

}  // namespace
