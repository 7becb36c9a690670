// The record splitter: whole records out in order, a partial record kept for
// the next read, the buffer capped at a whole number of records; and the
// serial read of whatever is queued on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <numeric>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "status/RecordSplitter.h"

using namespace torva::status;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Seq(uint8_t from, size_t n) {
  Bytes b(n);
  std::iota(b.begin(), b.end(), from);
  return b;
}

TEST(RecordSplitter, CapacityIsAWholeNumberOfRecords) {
  struct Case {
    size_t len, cap, want;
  } cases[] = {{8, 256, 256}, {6, 256, 252}, {4, 256, 256}, {6, 5, 6}, {8, 0, 8}, {0, 10, 10}};
  for (const auto& c : cases) EXPECT_EQ(RecordSplitter(c.len, c.cap).capacity(), c.want) << c.len << "/" << c.cap;
}

TEST(RecordSplitter, SplitsInOrderAndKeepsAPartialRecord) {
  // Reads of various sizes over one stream of records 0..: every record comes
  // out whole and in order, whatever the cut.
  const std::vector<std::vector<size_t>> cuts = {{16}, {12, 4}, {3, 5, 8}, {1, 1, 1, 1, 1, 1, 1, 1, 8}, {7, 9},
                                                 {8, 8}, {20, 12}};
  for (const auto& cut : cuts) {
    RecordSplitter s(8);
    size_t total = std::accumulate(cut.begin(), cut.end(), size_t{0});
    const Bytes stream = Seq(0, total);
    std::vector<RecordBytes> got;
    size_t pos = 0;
    for (size_t n : cut) {
      for (auto& r : s.feed(std::span(stream).subspan(pos, n))) got.push_back(r);
      pos += n;
    }
    ASSERT_EQ(got.size(), total / 8);
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], Seq(static_cast<uint8_t>(i * 8), 8));
    EXPECT_EQ(s.pending(), total % 8);
  }
}

TEST(RecordSplitter, TakesNoMoreThanRoom) {
  RecordSplitter s(6, 256);  // 252 bytes
  size_t taken = 0;
  auto first = s.feed(Seq(0, 5), &taken);
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(taken, 5u);
  EXPECT_EQ(s.room(), 247u);
  const Bytes big(300, 0xAA);
  auto recs = s.feed(big, &taken);
  EXPECT_EQ(taken, 247u);
  EXPECT_EQ(recs.size(), 42u);  // 5 + 247 = 252 bytes
  EXPECT_EQ(s.pending(), 0u);
  s.feed(Seq(0, 3));
  s.clear();
  EXPECT_EQ(s.pending(), 0u);
  EXPECT_EQ(s.room(), 252u);
}

// A pseudo-terminal pair in raw mode: master plays the printer.
struct Pty {
  int master = -1, slave = -1;
  Pty() {
    EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios t{};
    ::tcgetattr(slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(slave, TCSANOW, &t);
  }
  ~Pty() {
    if (master >= 0) ::close(master);
    if (slave >= 0) ::close(slave);
  }
  // Writes the bytes as the printer and waits until the line discipline has
  // queued all of them at the console's end (what is queued before counts
  // too: the tests read only whole sends).
  void send(const Bytes& b) {
    int before = 0;
    ASSERT_EQ(::ioctl(slave, FIONREAD, &before), 0);
    ASSERT_EQ(::write(master, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    const uint64_t deadline = torva::TickMs() + 5000;
    int queued = 0;
    while (::ioctl(slave, FIONREAD, &queued) == 0 && queued < before + static_cast<int>(b.size()) &&
           torva::TickMs() < deadline) {
      pollfd pfd{slave, POLLIN, 0};
      ::poll(&pfd, 1, 1);
    }
    ASSERT_EQ(queued, before + static_cast<int>(b.size())) << "the pseudo-terminal did not queue the bytes";
  }
};

TEST(RecordSplitterSerial, ReadsWhatIsQueuedAndSplits) {
  Pty p;
  RecordSplitter s(8);
  std::vector<RecordBytes> recs;
  // Nothing waiting: no error, no record.
  EXPECT_TRUE(ReadQueuedRecords(p.slave, s, recs, 3000));
  EXPECT_TRUE(recs.empty());
  // Sixteen bytes at once: two records in order.
  p.send(Seq(0, 16));
  EXPECT_TRUE(ReadQueuedRecords(p.slave, s, recs, 3000));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[1], Seq(8, 8));
  // A record split across two reads, followed by a whole one.
  recs.clear();
  p.send(Seq(16, 3));
  EXPECT_TRUE(ReadQueuedRecords(p.slave, s, recs, 3000));
  EXPECT_TRUE(recs.empty());
  p.send(Seq(19, 13));
  EXPECT_TRUE(ReadQueuedRecords(p.slave, s, recs, 3000));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0], Seq(16, 8));
  EXPECT_EQ(recs[1], Seq(24, 8));
}

TEST(RecordSplitterSerial, LeavesWhatDoesNotFitQueued) {
  Pty p;
  RecordSplitter s(6, 12);
  std::vector<RecordBytes> recs;
  p.send(Seq(0, 20));
  EXPECT_TRUE(ReadQueuedRecords(p.slave, s, recs, 3000));
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_TRUE(ReadQueuedRecords(p.slave, s, recs, 3000));
  ASSERT_EQ(recs.size(), 3u);
  EXPECT_EQ(recs[2], Seq(12, 6));
  EXPECT_EQ(s.pending(), 2u);
}

TEST(RecordSplitterSerial, FailsOnAClosedLineOrNoPort) {
  RecordSplitter s(8);
  std::vector<RecordBytes> recs;
  EXPECT_FALSE(ReadQueuedRecords(-1, s, recs, 100));
  EXPECT_FALSE(ReadQueuedRecords(0, s, recs, 100));
  Pty p;
  ::close(p.master);
  p.master = -1;
  EXPECT_FALSE(ReadQueuedRecords(p.slave, s, recs, 100));
}

// Fakes of the library calls for the nibble and custom USB reads.
Bytes g_reply;
int g_asked = 0;
int g_readType = -1;
int FakeNibbleRead(uint8_t* buf, int len, int* status) {
  *status = 0;
  g_asked = len;
  const int n = std::min<int>(len, static_cast<int>(g_reply.size()));
  std::copy(g_reply.begin(), g_reply.begin() + n, buf);
  return n;
}
int FakeQfRead(uint8_t* buf, int len) {
  g_asked = len;
  g_readType = iReadType.load();
  const int n = std::min<int>(len, static_cast<int>(g_reply.size()));
  std::copy(g_reply.begin(), g_reply.begin() + n, buf);
  return n;
}

TEST(RecordReads, NibbleRecordMustBeWhole) {
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.NibbleModeRead = FakeNibbleRead;
  ScopedPortLibraryCalls scoped(calls);
  Bytes rec(8, 0);
  g_reply = Seq(1, 8);
  EXPECT_TRUE(ReadNibbleRecord(rec.data(), 8));
  EXPECT_EQ(g_asked, 8);
  EXPECT_EQ(rec, Seq(1, 8));
  g_reply = Seq(1, 7);
  EXPECT_FALSE(ReadNibbleRecord(rec.data(), 8));
}

TEST(RecordReads, CustomUsbRecordInEachClassMode) {
  ResetPortState();
  const double scale = torva::PrinterDelayScale();
  torva::SetPrinterDelayScale(0);
  PortType = PortUSBPrinter;
  PrinterName = ModelVDK773;
  is773Costom = 1;
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.ReadQfUSBPrinter = FakeQfRead;
  ScopedPortLibraryCalls scoped(calls);

  struct Case {
    int classMode;
    Bytes reply;
    bool ok;
    int asked;
    Bytes record;
  } cases[] = {
      // Class mode 1: the class byte, then the record; the class byte is dropped.
      {1, {0xA5, 1, 2, 3, 4, 5, 6}, true, 7, {1, 2, 3, 4, 5, 6}},
      {1, {0xA5, 1, 2, 3, 4, 5}, false, 7, Bytes(6, 0xEE)},
      // Class mode 0: the record alone.
      {0, {1, 2, 3, 4, 5, 6}, true, 6, {1, 2, 3, 4, 5, 6}},
      {0, {1, 2, 3}, false, 6, Bytes(6, 0xEE)},
  };
  for (const auto& c : cases) {
    iUSBClassMode = c.classMode;
    g_reply = c.reply;
    Bytes rec(6, 0xEE);
    EXPECT_EQ(ReadCustomUsbRecord(5, rec.data(), 6), c.ok);
    EXPECT_EQ(g_asked, c.asked);
    EXPECT_EQ(g_readType, 1);   // read with the status-record framing
    EXPECT_EQ(iReadType.load(), 0);  // and switched back
    EXPECT_EQ(rec, c.record);
  }
  torva::SetPrinterDelayScale(scale);
  ResetPortState();
}

}  // namespace
