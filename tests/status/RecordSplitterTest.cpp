// Splitting status records: whole records from the first byte on, a
// trailing part ignored, the read capped at a whole number of records; the
// serial read of whatever is queued on a pseudo-terminal; and the reads of
// the nibble-mode port and the VD-K773's custom channel.

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
    size_t len, want;
  } cases[] = {{8, 256}, {6, 252}, {4, 256}, {300, 300}, {0, 256}};
  for (const auto& c : cases) EXPECT_EQ(QueuedReadCapacity(c.len), c.want) << c.len;
}

TEST(RecordSplitter, WholeRecordsFromTheFirstByteAndTheRestIgnored) {
  struct Case {
    size_t bytes, len, records, leftover;
  } cases[] = {{16, 8, 2, 0}, {12, 8, 1, 4}, {9, 8, 1, 1}, {7, 8, 0, 7}, {0, 8, 0, 0}, {20, 6, 3, 2}, {4, 4, 1, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bytes) + " bytes of " + std::to_string(c.len));
    const Bytes stream = Seq(0, c.bytes);
    std::vector<RecordBytes> got = {Bytes{0xEE}};  // appended to, never cleared
    EXPECT_EQ(SplitRecords(stream, c.len, got), c.leftover);
    ASSERT_EQ(got.size(), c.records + 1);
    for (size_t i = 0; i < c.records; ++i) EXPECT_EQ(got[i + 1], Seq(static_cast<uint8_t>(i * c.len), c.len));
  }
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

TEST(RecordSplitterSerial, ReadsWhatIsQueuedAndIgnoresATrailingPart) {
  Pty p;
  std::vector<RecordBytes> recs;
  // Nothing waiting: no error, no record.
  EXPECT_EQ(ReadQueuedRecords(p.slave, 8, recs, 3000), RecordRead::Whole);
  EXPECT_TRUE(recs.empty());
  // Sixteen bytes at once: two records in order.
  p.send(Seq(0, 16));
  EXPECT_EQ(ReadQueuedRecords(p.slave, 8, recs, 3000), RecordRead::Whole);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[1], Seq(8, 8));
  // Twelve bytes: one record, the last four ignored rather than kept, so the
  // next record the printer sends comes out whole.
  recs.clear();
  p.send(Seq(16, 12));
  EXPECT_EQ(ReadQueuedRecords(p.slave, 8, recs, 3000), RecordRead::Disturbed);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0], Seq(16, 8));
  recs.clear();
  p.send(Seq(40, 8));
  EXPECT_EQ(ReadQueuedRecords(p.slave, 8, recs, 3000), RecordRead::Whole);
  ASSERT_EQ(recs.size(), 1u);
  EXPECT_EQ(recs[0], Seq(40, 8));
  // A stray byte alone: no record, and it is gone.
  recs.clear();
  p.send({0x00});
  EXPECT_EQ(ReadQueuedRecords(p.slave, 8, recs, 3000), RecordRead::Disturbed);
  EXPECT_TRUE(recs.empty());
  int queued = -1;
  ASSERT_EQ(::ioctl(p.slave, FIONREAD, &queued), 0);
  EXPECT_EQ(queued, 0);
}

TEST(RecordSplitterSerial, LeavesWhatDoesNotFitQueuedInStep) {
  Pty p;
  std::vector<RecordBytes> recs;
  // Beyond one read's 252 bytes of six-byte records: the rest stays queued
  // and starts at a record's first byte.
  p.send(Seq(0, 260));
  EXPECT_EQ(ReadQueuedRecords(p.slave, 6, recs, 3000), RecordRead::Whole);
  ASSERT_EQ(recs.size(), 42u);
  EXPECT_EQ(recs[41], Seq(246, 6));
  EXPECT_EQ(ReadQueuedRecords(p.slave, 6, recs, 3000), RecordRead::Disturbed);
  ASSERT_EQ(recs.size(), 43u);
  EXPECT_EQ(recs[42], Seq(252, 6));
}

TEST(RecordSplitterSerial, FailsOnAClosedLineOrNoPort) {
  std::vector<RecordBytes> recs;
  EXPECT_EQ(ReadQueuedRecords(-1, 8, recs, 100), RecordRead::Failed);
  EXPECT_EQ(ReadQueuedRecords(0, 8, recs, 100), RecordRead::Failed);
  Pty p;
  ::close(p.master);
  p.master = -1;
  EXPECT_EQ(ReadQueuedRecords(p.slave, 8, recs, 100), RecordRead::Failed);
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
    RecordRead read;
    int asked;
    Bytes record;
  } cases[] = {
      // Class mode 1: the class byte, then the record; the class byte is dropped.
      {1, {0xA5, 1, 2, 3, 4, 5, 6}, RecordRead::Whole, 7, {1, 2, 3, 4, 5, 6}},
      // A transfer too short for a record is no record, and no dead channel.
      {1, {0xA5, 1, 2, 3, 4, 5}, RecordRead::Disturbed, 7, Bytes(6, 0xEE)},
      {1, {0x00}, RecordRead::Disturbed, 7, Bytes(6, 0xEE)},
      // Nothing at all is a failed read.
      {1, {}, RecordRead::Failed, 7, Bytes(6, 0xEE)},
      // Class mode 0: the record alone.
      {0, {1, 2, 3, 4, 5, 6}, RecordRead::Whole, 6, {1, 2, 3, 4, 5, 6}},
      {0, {1, 2, 3}, RecordRead::Disturbed, 6, Bytes(6, 0xEE)},
      {0, {}, RecordRead::Failed, 6, Bytes(6, 0xEE)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "class mode " << c.classMode << ", " << c.reply.size() << " bytes");
    iUSBClassMode = c.classMode;
    g_reply = c.reply;
    Bytes rec(6, 0xEE);
    EXPECT_EQ(ReadCustomUsbRecord(5, rec.data(), 6), c.read);
    EXPECT_EQ(g_asked, c.asked);
    EXPECT_EQ(g_readType, 1);   // read with the status-record framing
    EXPECT_EQ(iReadType.load(), 0);  // and switched back
    EXPECT_EQ(rec, c.record);
  }
  torva::SetPrinterDelayScale(scale);
  ResetPortState();
}

}  // namespace
