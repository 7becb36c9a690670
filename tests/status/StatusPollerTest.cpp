// The polling engine against the simulated printer on a pseudo-terminal and
// against a bare pseudo-terminal whose bytes the test writes itself.
#include <gtest/gtest.h>

#include <QThread>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"
#include "sim/StatusLayouts.h"
#include "status/StatusPoller.h"

using namespace torva::status;
using torva::sim::Bytes;
using torva::sim::SimPrinter;

namespace {

// Collects the engine's reports (called on the polling thread).
class Reports {
 public:
  StatusPoller::Reporter reporter() {
    return [this](const PollReport& r) {
      std::lock_guard<std::mutex> lk(mu_);
      q_.push_back(r);
      cv_.notify_all();
    };
  }
  // Waits for the first report matching pred that is still queued, removing
  // everything before it; false on timeout.
  template <typename Pred>
  bool waitFor(Pred pred, int timeoutMs, PollReport* out = nullptr) {
    std::unique_lock<std::mutex> lk(mu_);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      while (!q_.empty()) {
        PollReport r = q_.front();
        q_.pop_front();
        if (pred(r)) {
          if (out) *out = r;
          return true;
        }
      }
      if (cv_.wait_until(lk, until) == std::cv_status::timeout && q_.empty()) return false;
    }
  }
  bool waitEvent(PollEvent e, int timeoutMs) {
    return waitFor([e](const PollReport& r) { return r.event == e; }, timeoutMs);
  }
  bool waitRecord(const Bytes& rec, int timeoutMs) {
    return waitFor([&](const PollReport& r) { return r.event == PollEvent::Record && r.record == rec; }, timeoutMs);
  }
  std::vector<PollReport> all() {
    std::lock_guard<std::mutex> lk(mu_);
    return {q_.begin(), q_.end()};
  }

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<PollReport> q_;
};

class StatusPollerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    path_ = sim_.startSerial();
  }
  void TearDown() override {
    const int h = ComParameter.m_hdev.exchange(-1);
    if (h > 0) CloseCOM(h);
    ResetPortState();
  }
  int openSerial() {
    const int fd = OpenCOM(path_, 38400, 8, 1, "DTR/DSR", "None");
    ComParameter.m_hdev = fd;
    return fd;
  }
  PollPlan serialPlan(int fd) {
    PollPlan p;
    p.portType = PortCOM;
    p.handle = fd;
    p.intervalMs = 50;
    p.serialTimeoutMs = 500;
    return p;
  }

  SimPrinter sim_{3};
  std::string path_;
};

}  // namespace

TEST_F(StatusPollerTest, PollsSeesAChangeAndStops) {
  const int fd = openSerial();
  ASSERT_GT(fd, 0);
  Reports reports;
  StatusPoller poller;
  const uint64_t gen = poller.start(serialPlan(fd), reports.reporter());
  ASSERT_NE(gen, 0u);
  EXPECT_TRUE(poller.running());
  EXPECT_TRUE(reports.waitRecord(Bytes(4, 0), 2000));

  const Bytes paperEnd = torva::sim::MakeVdRecord({.paperEnd = true});
  sim_.setStatusRecord(paperEnd);
  PollReport r;
  ASSERT_TRUE(reports.waitFor([&](const PollReport& x) { return x.event == PollEvent::Record && x.record == paperEnd; },
                              2000, &r));
  EXPECT_EQ(r.generation, gen);
  // Every poll sends the status-back command. The changed record may arrive
  // before the second poll (the printer re-sends on change), so wait for that
  // poll rather than assume it came first.
  const uint64_t until = torva::TickMs() + 3000;
  while (sim_.log("AutoStatusBack").size() < 2 && torva::TickMs() < until) QThread::msleep(10);

  poller.stopAndJoin();
  EXPECT_FALSE(poller.running());
  EXPECT_TRUE(reports.waitEvent(PollEvent::Ended, 100));
  EXPECT_EQ(StatusPoller::LiveThreads(), 0);
  // The serial port stays open.
  EXPECT_GE(sim_.log("AutoStatusBack").size(), 2u);
  EXPECT_EQ(ComParameter.m_hdev.load(), fd);
}

TEST_F(StatusPollerTest, StopEndsAWaitForSerialBytesAtOnce) {
  const int fd = openSerial();
  sim_.setFault({torva::sim::Fault::NoReply});
  Reports reports;
  StatusPoller poller;
  PollPlan plan = serialPlan(fd);
  plan.serialTimeoutMs = 3000;
  poller.start(plan, reports.reporter());
  ASSERT_TRUE(sim_.waitForLog(1, 1000));
  const uint64_t t0 = torva::TickMs();
  poller.stopAndJoin();
  EXPECT_LT(torva::TickMs() - t0, 500u);
  // A stop is no failure: no message, the serial port stays open.
  for (const auto& rep : reports.all()) EXPECT_NE(rep.event, PollEvent::Failure);
  EXPECT_EQ(ComParameter.m_hdev.load(), fd);
}

TEST_F(StatusPollerTest, PrinterFallingSilentMidPollFailsAndClosesThePort) {
  const int fd = openSerial();
  Reports reports;
  StatusPoller poller;
  poller.start(serialPlan(fd), reports.reporter());
  ASSERT_TRUE(reports.waitRecord(Bytes(4, 0), 2000));
  sim_.setFault({torva::sim::Fault::NoReply});
  EXPECT_TRUE(reports.waitEvent(PollEvent::Failure, 3000));
  EXPECT_TRUE(reports.waitEvent(PollEvent::Ended, 1000));
  poller.stopAndJoin();
  EXPECT_EQ(ComParameter.m_hdev.load(), -1) << "the failed port is closed";
}

TEST_F(StatusPollerTest, ShortReplyIsAFailureNotARecord) {
  const int fd = openSerial();
  Reports reports;
  StatusPoller poller;
  sim_.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = true}));
  sim_.setFault({torva::sim::Fault::ShortReply});
  poller.start(serialPlan(fd), reports.reporter());
  std::vector<PollEvent> seen;
  EXPECT_TRUE(reports.waitFor(
      [&](const PollReport& r) {
        seen.push_back(r.event);
        return r.event == PollEvent::Ended;
      },
      3000));
  poller.stopAndJoin();
  EXPECT_EQ(seen, (std::vector<PollEvent>{PollEvent::Failure, PollEvent::Ended}));
}

TEST_F(StatusPollerTest, PortKindsWithoutStatusStartNothing) {
  for (int kind : {PortNone, PortLPT, PortDriver, PortNibbleLPT, PortNet}) {
    StatusPoller poller;
    PollPlan plan;
    plan.portType = kind;
    plan.handle = 5;
    Reports reports;
    EXPECT_EQ(poller.start(plan, reports.reporter()), 0u) << kind;
    EXPECT_FALSE(poller.running());
    EXPECT_FALSE(CanPollStatus(kind));
  }
  EXPECT_TRUE(CanPollStatus(PortCOM));
  EXPECT_TRUE(CanPollStatus(PortUSB));
  EXPECT_TRUE(CanPollStatus(PortUSBPrinter));
}

TEST_F(StatusPollerTest, RestartNeverLeavesTwoPollers) {
  const int fd = openSerial();
  Reports reports;
  StatusPoller poller;
  uint64_t last = 0;
  for (int i = 0; i < 50; ++i) {
    const uint64_t gen = poller.start(serialPlan(fd), reports.reporter());
    EXPECT_GT(gen, last);
    last = gen;
    EXPECT_LE(StatusPoller::LiveThreads(), 1);
    if (i % 2) poller.requestStop();  // a quick Stop, then Start again
  }
  poller.stopAndJoin();
  EXPECT_EQ(StatusPoller::LiveThreads(), 0);
}

// A bare pseudo-terminal: the test plays the printer byte by byte.
class RawPtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    char name[256];
    int slave = -1;
    ASSERT_EQ(openpty(&master_, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    fd_ = OpenCOM(name, 38400, 8, 1, "DTR/DSR", "None");
    ASSERT_GT(fd_, 0);
    ComParameter.m_hdev = fd_;
  }
  void TearDown() override {
    const int h = ComParameter.m_hdev.exchange(-1);
    if (h > 0) CloseCOM(h);
    ::close(master_);
    ResetPortState();
  }
  void printerWrites(const Bytes& b) { ASSERT_EQ(::write(master_, b.data(), b.size()), ssize_t(b.size())); }
  // Waits until the host has sent n more bytes (or the time is up) and
  // returns them.
  Bytes awaitHostBytes(size_t n, int timeoutMs) {
    Bytes out;
    const uint64_t until = torva::TickMs() + timeoutMs;
    while (out.size() < n && torva::TickMs() < until) {
      uint8_t buf[64];
      pollfd p{master_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(until - std::min(until, torva::TickMs()))) <= 0) continue;
      const ssize_t got = ::read(master_, buf, std::min(sizeof buf, n - out.size()));
      if (got > 0) out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  int master_ = -1;
  int fd_ = -1;
};

TEST_F(RawPtyTest, WhatCameBeforeAPollsCommandIsNeverPartOfItsRecord) {
  Reports reports;
  StatusPoller poller;
  PollPlan plan;
  plan.portType = PortCOM;
  plan.handle = fd_;
  plan.intervalMs = 20;
  plan.serialTimeoutMs = 2000;
  plan.timing = CommandTiming::OnceThenEverySerialPoll;
  const Bytes command = {0x1D, 0x61, 0xFF};
  // Two whole records and a stray byte queued before the first command: none
  // of them is the answer.
  printerWrites({0x01, 0, 0, 0, 0x04, 0, 0, 0, 0x20});
  poller.start(plan, reports.reporter());
  // Sent before the first poll and again at the first poll.
  ASSERT_EQ(awaitHostBytes(6, 2000), (Bytes{0x1D, 0x61, 0xFF, 0x1D, 0x61, 0xFF}));
  // An overlong reply: its record is the first four bytes, and the byte
  // behind it is not the first of the next record.
  printerWrites({0x02, 0x00, 0x01, 0x00, 0x55});
  PollReport r;
  ASSERT_TRUE(reports.waitFor([](const PollReport& x) { return x.event == PollEvent::Record; }, 2000, &r));
  EXPECT_EQ(r.record, (Bytes{0x02, 0x00, 0x01, 0x00}));
  ASSERT_EQ(awaitHostBytes(3, 2000), command);
  printerWrites({0x08, 0x00, 0x00, 0x03});
  ASSERT_TRUE(reports.waitFor([](const PollReport& x) { return x.event == PollEvent::Record; }, 2000, &r));
  EXPECT_EQ(r.record, (Bytes{0x08, 0x00, 0x00, 0x03}));
  poller.stopAndJoin();
}

TEST_F(RawPtyTest, APartialRecordAtTheDeadlineIsAFailureAndIsDropped) {
  Reports reports;
  StatusPoller poller;
  PollPlan plan;
  plan.portType = PortCOM;
  plan.handle = fd_;
  plan.serialTimeoutMs = 300;
  printerWrites({0x04, 0x00, 0x00});  // three of four bytes
  const uint64_t t0 = torva::TickMs();
  poller.start(plan, reports.reporter());
  ASSERT_TRUE(reports.waitEvent(PollEvent::Failure, 2000));
  EXPECT_GE(torva::TickMs() - t0, 290u);
  EXPECT_TRUE(reports.waitEvent(PollEvent::Ended, 500));
  poller.stopAndJoin();
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(RawPtyTest, SeriesPlanClosesTheSerialPortAtTheEnd) {
  Reports reports;
  StatusPoller poller;
  PollPlan plan;
  plan.portType = PortCOM;
  plan.handle = fd_;
  plan.intervalMs = 20;
  plan.timing = CommandTiming::OnceThenEverySerialPoll;
  plan.closeSerialAtEnd = true;
  poller.start(plan, reports.reporter());
  ASSERT_EQ(awaitHostBytes(6, 2000).size(), 6u);  // the command before the first poll and at it
  printerWrites({0, 0, 0, 0});
  ASSERT_TRUE(reports.waitEvent(PollEvent::Record, 2000));
  poller.stopAndJoin();
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
}

TEST_F(RawPtyTest, EndClosesOnlyAHandleTheRecordStillHolds) {
  Reports reports;
  StatusPoller poller;
  PollPlan plan;
  plan.portType = PortCOM;
  plan.handle = fd_;
  plan.serialTimeoutMs = 100;
  poller.start(plan, reports.reporter());
  ASSERT_TRUE(reports.waitEvent(PollEvent::Failure, 2000));
  poller.stopAndJoin();
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);

  // A record that names another handle by now is left alone.
  const int other = ::dup(master_);
  ComParameter.m_hdev = other;
  StatusPoller second;
  plan.handle = 1000;  // not the record's handle, not open
  second.start(plan, reports.reporter());
  ASSERT_TRUE(reports.waitEvent(PollEvent::Ended, 2000));
  second.stopAndJoin();
  EXPECT_EQ(ComParameter.m_hdev.load(), other);
  ComParameter.m_hdev = -1;
  ::close(other);
}
