// The plain parallel port (/dev/lpN written as a file), pointed at a FIFO or a
// regular file through TORVA_LPTn, and the common write on PortLPT.
#include <gtest/gtest.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "ThreadCpu.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/LPTUnit.h"
#include "link/PortNames.h"
#include "link/PortState.h"
#include "link/SerialIo.h"

namespace {

using Bytes = std::vector<uint8_t>;

class ParallelPort : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-lpt-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    unsetenv("TORVA_LPT2");
    for (const char* f : {"/fifo", "/file"}) unlink((dir + f).c_str());
    rmdir(dir.c_str());
  }
  // A FIFO standing for the printer behind "LPT2", its reading end (the
  // printer) open: sets `reader` and returns the port's descriptor.
  int OpenFifoPort(int* reader) {
    const std::string fifo = dir + "/fifo";
    EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    *reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_GT(*reader, 0);
    setenv("TORVA_LPT2", fifo.c_str(), 1);
    const int fd = OpenLPT("LPT2");
    EXPECT_GT(fd, 2);
    return fd;
  }
  std::string dir;
};

TEST_F(ParallelPort, NamesMapToDevices) {
  EXPECT_EQ(ParallelDeviceForPort("LPT1"), "/dev/lp0");
  EXPECT_EQ(ParallelDeviceForPort("LPT4"), "/dev/lp3");
  setenv("TORVA_LPT2", "/tmp/x", 1);
  EXPECT_EQ(ParallelDeviceForPort("LPT2"), "/tmp/x");
  EXPECT_EQ(ParallelDeviceForPort("LPT5"), "LPT5");
}

TEST_F(ParallelPort, WritesReachAFifo) {
  const std::string fifo = dir + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GT(reader, 0);
  setenv("TORVA_LPT2", fifo.c_str(), 1);
  const int fd = OpenLPT("LPT2");
  ASSERT_GT(fd, 2);
  EXPECT_EQ(m_hdev_LPT, fd);
  // Not shared: a second open is refused while the first holds the port.
  EXPECT_EQ(OpenLPT("LPT2"), -1);
  EXPECT_EQ(m_hdev_LPT, -1);

  const Bytes cmd{0x1D, 0x56, 0x42, 0x10};
  EXPECT_TRUE(POSWritePort(PortLPT, fd, cmd.data(), 4));
  EXPECT_TRUE(WriteLPT(fd, cmd.data(), 2));
  EXPECT_FALSE(WriteLPT(fd, cmd.data(), -1));
  uint8_t got[16];
  EXPECT_EQ(read(reader, got, sizeof got), 6);
  EXPECT_EQ(Bytes(got, got + 6), Bytes({0x1D, 0x56, 0x42, 0x10, 0x1D, 0x56}));
  // Parallel ports have no reads in the common routines.
  EXPECT_FALSE(POSReadPort(PortLPT, fd, got, 1, 10));
  EXPECT_TRUE(CloseLPT(fd));
  EXPECT_FALSE(CloseLPT(-1));
  EXPECT_FALSE(CloseLPT(0));
  close(reader);
}

// A block larger than the device's buffer: the write waits while the other
// end is slow (it starts reading only after 200 ms) and finishes whole.
TEST_F(ParallelPort, WriteWaitsForASlowReader) {
  int reader = -1;
  const int fd = OpenFifoPort(&reader);
  ASSERT_GT(fd, 2);
  Bytes big(300000, 0xA5);
  size_t drained = 0;
  std::thread slow([&] {
    usleep(200000);
    uint8_t buf[65536];
    while (drained < big.size()) {
      const ssize_t n = read(reader, buf, sizeof buf);
      if (n > 0) drained += static_cast<size_t>(n);
      else usleep(1000);
    }
  });
  EXPECT_TRUE(WriteLPT(fd, big.data(), static_cast<int>(big.size())));
  slow.join();
  EXPECT_EQ(drained, big.size());
  CloseLPT(fd);
  close(reader);
}

TEST_F(ParallelPort, RegularFileAndMissingDevice) {
  const std::string file = dir + "/file";
  { std::ofstream(file.c_str()).put('\0'); }
  truncate(file.c_str(), 0);
  setenv("TORVA_LPT2", file.c_str(), 1);
  const int fd = OpenLPT("LPT2");
  ASSERT_GT(fd, 2);
  const Bytes cmd{0x0A, 0x1B, 0x63};
  EXPECT_TRUE(POSWritePort(PortLPT, fd, cmd.data(), 3));
  EXPECT_FALSE(POSWritePort(PortLPT, 0, cmd.data(), 3));
  EXPECT_TRUE(CloseLPT(fd));
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), cmd);

  setenv("TORVA_LPT2", (dir + "/missing").c_str(), 1);
  EXPECT_EQ(OpenLPT("LPT2"), -1);  // existing only: nothing is created
  EXPECT_NE(access((dir + "/missing").c_str(), F_OK), 0);
  EXPECT_EQ(m_hdev_LPT, -1);
}

// A busy printer: /dev/lpN opened non-blocking answers EAGAIN while the
// printer is busy, and its driver cannot be polled (poll() says "ready" at
// once, as it does for the regular file used here). The write refuses the
// bytes until `busyMs` after the first try (-1: for ever), then passes them on.
std::atomic<int64_t> g_busyUntil{0};
std::atomic<int> g_busyMs{0};
ssize_t BusyWrite(int fd, const void* data, size_t n) {
  const int64_t now = static_cast<int64_t>(torva::TickMs());
  int64_t until = g_busyUntil;
  if (until == 0) {
    until = g_busyMs < 0 ? INT64_MAX : now + g_busyMs;
    g_busyUntil = until;
  }
  if (now < until) {
    errno = EAGAIN;
    return -1;
  }
  return write(fd, data, n);
}

// The wait for a busy printer sleeps: CPU time stays under 5 % of the wait,
// whether the printer takes the bytes in the end or the write time-out
// (2000 ms + 2000 ms a byte) runs out.
TEST_F(ParallelPort, BusyPrinterIsWaitedForWithoutSpinning) {
  const std::string file = dir + "/file";
  { std::ofstream(file.c_str()); }
  setenv("TORVA_LPT2", file.c_str(), 1);
  struct Case {
    int busyMs;
    bool written;
    uint64_t minMs, maxMs;
  } cases[] = {{300, true, 300, 2000}, {-1, false, 2000 + 2000, 2000 + 2000 + 1500}};
  const Bytes cmd{0x0A};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.busyMs);
    ASSERT_EQ(truncate(file.c_str(), 0), 0);
    const int fd = OpenLPT("LPT2");
    ASSERT_GT(fd, 2);
    g_busyUntil = 0;
    g_busyMs = c.busyMs;
    SerialCalls calls = RealSerialCalls();
    calls.write = BusyWrite;
    {
      ScopedSerialCalls busy(calls);
      const uint64_t start = torva::TickMs();
      const int64_t cpuStart = ThreadCpuMicros();
      EXPECT_EQ(POSWritePort(PortLPT, fd, cmd.data(), 1), c.written);
      const int64_t cpuUs = ThreadCpuMicros() - cpuStart;
      const uint64_t elapsed = torva::TickMs() - start;
      EXPECT_GE(elapsed, c.minMs);
      EXPECT_LT(elapsed, c.maxMs);
      EXPECT_LT(cpuUs, static_cast<int64_t>(elapsed) * 1000 / 20) << "CPU " << cpuUs << " us in " << elapsed << " ms";
    }
    EXPECT_TRUE(CloseLPT(fd));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), c.written ? cmd : Bytes{});
  }
}

// Fills the FIFO behind `fd` until it takes no more (the printer's buffer is full).
size_t FillFifo(int fd) {
  const Bytes chunk(4096, 0x55);
  size_t n = 0;
  for (;;) {
    const ssize_t w = write(fd, chunk.data(), chunk.size());
    if (w <= 0) break;
    n += static_cast<size_t>(w);
  }
  return n;
}

// A printer that stops taking bytes (the FIFO's reader stops reading): the
// write fails once nothing has been taken for 4 s, whatever its length, not
// after 2 s + 2 s a byte (8 s for 3 bytes, 34 minutes for a 1024-byte block).
TEST_F(ParallelPort, AStalledPrinterFailsTheWriteAfterFourSeconds) {
  int reader = -1;
  const int fd = OpenFifoPort(&reader);
  ASSERT_GT(fd, 2);
  ASSERT_GT(FillFifo(fd), 0u);
  const Bytes cmd{0x1B, 0x40, 0x0A};
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(POSWritePort(PortLPT, fd, cmd.data(), 3));
  const uint64_t elapsed = torva::TickMs() - start;
  EXPECT_GE(elapsed, 3900u);
  EXPECT_LT(elapsed, 6000u);
  CloseLPT(fd);
  close(reader);
}

// A slow printer that keeps taking bytes, a little every second, keeps the
// write going well past 4 s: only a printer that takes nothing for 4 s fails
// it. The spurts are 1 s apart, so a loaded machine that wakes the printer
// late is still far from the stall bound.
TEST_F(ParallelPort, ASlowPrinterThatKeepsTakingBytesPrintsEverything) {
  int reader = -1;
  const int fd = OpenFifoPort(&reader);
  ASSERT_GT(fd, 2);
  const size_t filled = FillFifo(fd);
  ASSERT_GT(filled, 0u);
  constexpr int kSpurts = 6;
  constexpr size_t kSpurtBytes = 8192;
  // The block needs every spurt's room: it is written only after the last
  // one, about 6 s after the start.
  const Bytes block(kSpurts * kSpurtBytes, 0xA5);
  std::atomic<size_t> drained{0};
  std::atomic<bool> writeDone{false};
  std::thread slow([&] {
    uint8_t buf[kSpurtBytes];
    for (int spurt = 0; spurt < kSpurts; ++spurt) {
      usleep(1000 * 1000);
      size_t got = 0;
      while (got < sizeof buf) {
        const ssize_t n = read(reader, buf, sizeof buf - got);
        if (n <= 0) break;
        got += static_cast<size_t>(n);
      }
      drained += got;
    }
    while (!writeDone || drained < filled + block.size()) {
      const ssize_t n = read(reader, buf, sizeof buf);
      if (n > 0) drained += static_cast<size_t>(n);
      else if (writeDone) break;
      else usleep(1000);
    }
  });
  const uint64_t start = torva::TickMs();
  EXPECT_TRUE(WriteLPT(fd, block.data(), static_cast<int>(block.size())));
  const uint64_t elapsed = torva::TickMs() - start;
  writeDone = true;
  slow.join();
  EXPECT_GE(elapsed, 4000u);  // longer than the stall bound: the printer kept taking bytes
  EXPECT_EQ(drained.load(), filled + block.size());
  CloseLPT(fd);
  close(reader);
}

TEST(ProgramFolder, EndsWithSlash) {
  const std::string d = ProgramDirectory();
  ASSERT_FALSE(d.empty());
  EXPECT_EQ(d.back(), '/');
  EXPECT_EQ(access(d.c_str(), F_OK), 0);
}

}  // namespace
