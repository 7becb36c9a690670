// The simulated printer's side of the longer records: the custom status
// stream switched by 1D E0 FF / 1D E0 00 at its interval, and the VD-K512's
// record length chosen by its paper-type setting.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "link/Clock.h"
#include "sim/SimPrinter.h"

using torva::sim::Bytes;
using torva::sim::SimPrinter;

namespace {

struct Sink {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<Bytes> sends;  // one entry per send
  torva::sim::Session::Sink fn() {
    return [this](const Bytes& b) {
      std::lock_guard<std::mutex> l(mu);
      sends.push_back(b);
      cv.notify_all();
    };
  }
  size_t count() {
    std::lock_guard<std::mutex> l(mu);
    return sends.size();
  }
  bool waitFor(size_t n, int ms) {
    std::unique_lock<std::mutex> l(mu);
    return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return sends.size() >= n; });
  }
};

void Feed(torva::sim::Session& s, const Bytes& b) { s.hostBytes(b.data(), b.size()); }

TEST(K773SimStream, OnAtItsIntervalOffAgainNoReplyToTheCommand) {
  SimPrinter p(12);
  p.setCustomStatusIntervalMs(30);
  const Bytes rec{1, 2, 0x41, 3, 0x08, 1};
  p.setStatusRecord(rec);
  Sink sink;
  auto s = p.openSession("serial", sink.fn(), true);

  Feed(*s, {0x1D, 0xE0, 0xFF});
  EXPECT_EQ(p.log("CustomStatusBack").size(), 1u);
  EXPECT_TRUE(s->customStatusOn());
  EXPECT_FALSE(s->autoStatusOn());  // not the automatic status back
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(sink.waitFor(4, 2000));
  const auto took = std::chrono::steady_clock::now() - t0;
  // Four records at 30 ms take about 120 ms: the interval is kept, not flooded.
  EXPECT_GE(took, std::chrono::milliseconds(80));
  {
    std::lock_guard<std::mutex> l(sink.mu);
    for (const auto& b : sink.sends) EXPECT_EQ(b, rec);
  }
  // A change goes out with the next record.
  p.setStatusByte(2, 0x00);
  ASSERT_TRUE(sink.waitFor(sink.count() + 1, 2000));
  {
    std::lock_guard<std::mutex> l(sink.mu);
    EXPECT_EQ(sink.sends.back()[2], 0x00);
  }

  Feed(*s, {0x1D, 0xE0, 0x00});
  EXPECT_FALSE(s->customStatusOn());
  EXPECT_EQ(p.customStatusSessions(), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // one in flight may land
  const size_t after = sink.count();
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(sink.count(), after);
  p.closeSession(s);
}

TEST(K773SimStream, PowerCycleStopsTheStreamAndStopJoinsIt) {
  SimPrinter p(12);
  p.setCustomStatusIntervalMs(10);
  Sink sink;
  auto s = p.openSession("serial", sink.fn(), true);
  Feed(*s, {0x1D, 0xE0, 0xFF});
  ASSERT_TRUE(sink.waitFor(1, 2000));
  p.powerCycle();
  EXPECT_FALSE(s->customStatusOn());
  // Switched on again after a stop of the endpoints: a fresh stream runs.
  p.stop();
  Feed(*s, {0x1D, 0xE0, 0xFF});
  const size_t n = sink.count();
  EXPECT_TRUE(sink.waitFor(n + 2, 2000));
  p.closeSession(s);
}

TEST(K773SimStream, UsbSessionsGetNoInBandStream) {
  SimPrinter p(12);
  p.setCustomStatusIntervalMs(10);
  Sink sink;
  auto s = p.openSession("usbprinter", sink.fn(), false);
  Feed(*s, {0x1D, 0xE0, 0xFF});
  EXPECT_TRUE(s->customStatusOn());
  std::this_thread::sleep_for(std::chrono::milliseconds(80));
  EXPECT_EQ(sink.count(), 0u);
  p.closeSession(s);
}

TEST(K773SimStream, StreamsOverThePseudoTerminal) {
  SimPrinter p(12);
  p.setCustomStatusIntervalMs(20);
  p.setStatusRecord({0, 0, 0x40, 0, 0, 0});
  const std::string path = p.startSerial();
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GT(fd, 0);
  termios t{};
  ::tcgetattr(fd, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(fd, TCSANOW, &t);
  const uint8_t on[] = {0x1D, 0xE0, 0xFF};
  ASSERT_EQ(::write(fd, on, 3), 3);
  Bytes got;
  const uint64_t deadline = torva::TickMs() + 2000;
  while (got.size() < 18 && torva::TickMs() < deadline) {
    pollfd pf{fd, POLLIN, 0};
    if (::poll(&pf, 1, 100) > 0) {
      uint8_t buf[64];
      const ssize_t k = ::read(fd, buf, sizeof buf);
      if (k > 0) got.insert(got.end(), buf, buf + k);
    }
  }
  ASSERT_GE(got.size(), 18u);
  for (size_t i = 0; i < 18; ++i) EXPECT_EQ(got[i], i % 6 == 2 ? 0x40 : 0x00) << i;
  ::close(fd);
}

TEST(K512SimRecord, LengthFollowsThePaperTypeSetting) {
  struct Case {
    int model;
    int paperType;  // -1: left as the model starts
    int length;
  } cases[] = {{8, -1, 8}, {8, 0x0000, 8}, {8, 0x0001, 4}, {8, 0x0002, 8}, {11, 0x0001, 8}, {12, 0x0001, 6},
               {2, 0x0001, 4}};
  for (const auto& c : cases) {
    SimPrinter p(c.model);
    if (c.paperType >= 0) p.setSetting(0x12, static_cast<uint16_t>(c.paperType));
    EXPECT_EQ(p.statusLength(), c.length) << c.model << "/" << c.paperType;
    p.setStatusRecord(Bytes(8, 0x11));
    EXPECT_EQ(p.statusRecord().size(), static_cast<size_t>(c.length));
  }
}

TEST(K512SimRecord, WrittenSettingSwitchesTheRecordTheStatusCommandAnswers) {
  SimPrinter p(8);
  p.setReplyDelayMs(0);
  Sink sink;
  auto s = p.openSession("serial", sink.fn(), true);
  p.setStatusRecord({1, 2, 3, 4, 5, 6, 7, 8});
  Feed(*s, {0x1D, 0x61, 0xFF});
  ASSERT_TRUE(sink.waitFor(1, 1000));
  // The write-setting command for address 12, value 00 01.
  Feed(*s, {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x12});
  EXPECT_EQ(p.statusLength(), 4);
  Feed(*s, {0x1D, 0x61, 0xFF});
  ASSERT_TRUE(sink.waitFor(2, 1000));
  std::lock_guard<std::mutex> l(sink.mu);
  EXPECT_EQ(sink.sends[0], (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
  EXPECT_EQ(sink.sends[1], (Bytes{1, 2, 3, 4}));
  p.closeSession(s);
}

}  // namespace
