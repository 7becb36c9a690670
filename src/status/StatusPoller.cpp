#include "status/StatusPoller.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/ParReverse.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "link/SerialIo.h"
#include "link/USBUnit.h"
#include "status/RecordSplitter.h"

namespace torva::status {

const uint8_t kInquireStatusCommand[3] = {0x1D, 0x61, 0xFF};

namespace {
std::atomic<int> gLiveThreads{0};

// Bytes the serial driver has queued, or -1.
int QueuedBytes(int fd) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) != 0) return -1;
  return n;
}

}  // namespace

bool CanPollStatus(int portType) {
  return portType == PortCOM || portType == PortUSB || portType == PortUSBPrinter;
}

bool CanPollStatus(const PollPlan& plan) {
  return CanPollStatus(plan.portType) || (plan.nibble && plan.portType == PortNibbleLPT);
}

int StatusPoller::LiveThreads() { return gLiveThreads.load(); }

StatusPoller::~StatusPoller() {
  stopAndJoin();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

uint64_t StatusPoller::start(const PollPlan& plan, Reporter reporter) {
  stopAndJoin();
  if (!CanPollStatus(plan) || plan.recordLength <= 0) return 0;
  if (wakeFd_ < 0) wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // Drain a wake-up left from the previous run.
  uint64_t v;
  while (wakeFd_ >= 0 && ::read(wakeFd_, &v, sizeof v) == sizeof v) {
  }
  stop_ = false;
  running_ = true;
  const uint64_t gen = generation_.fetch_add(1) + 1;
  gLiveThreads.fetch_add(1);
  thread_ = std::thread([this, plan, reporter = std::move(reporter), gen]() mutable {
    run(plan, std::move(reporter), gen);
    gLiveThreads.fetch_sub(1);
    running_ = false;
  });
  return gen;
}

void StatusPoller::requestStop() {
  {
    std::lock_guard<std::mutex> lk(mu_);
    stop_ = true;
  }
  cv_.notify_all();
  if (wakeFd_ >= 0) {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
  }
}

void StatusPoller::stopAndJoin() {
  if (!thread_.joinable()) return;
  requestStop();
  thread_.join();
}

bool StatusPoller::pause(int ms) {
  std::unique_lock<std::mutex> lk(mu_);
  return cv_.wait_for(lk, std::chrono::milliseconds(std::max(ms, 0)), [this] { return stop_.load(); });
}

bool StatusPoller::sendCommand(const PollPlan& plan) {
  // Serial: whatever is queued before the command (a stray byte, the surplus
  // of an overlong reply, records of an earlier request) is not its answer.
  // Left there it would become the first bytes of the next record and shift
  // every record after it.
  if (plan.portType == PortCOM && plan.handle > 0) serialio::PurgeInput(plan.handle);
  if (plan.command.empty())
    return POSWritePort(plan.portType, plan.handle, kInquireStatusCommand, sizeof kInquireStatusCommand);
  return POSWritePort(plan.portType, plan.handle, plan.command.data(), static_cast<int>(plan.command.size()));
}

StatusPoller::ReadResult StatusPoller::readSerial(const PollPlan& plan, std::vector<uint8_t>& record) {
  const int len = plan.recordLength;
  const int fd = plan.handle;
  const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(std::max(plan.serialTimeoutMs, 0));
  for (;;) {
    if (stop_) return ReadResult::Stopped;
    const int queued = QueuedBytes(fd);
    if (queued < 0) return ReadResult::Failed;
    if (queued >= len) break;
    const uint64_t now = torva::TickMs();
    if (now >= deadline) {
      // The record never came whole: the partial bytes go, so they are not
      // taken for the start of the next record.
      ::tcflush(fd, TCIFLUSH);
      return ReadResult::Failed;
    }
    const int left = static_cast<int>(deadline - now);
    pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    if (queued > 0) {
      // Part of a record is queued, so the port reads ready at once: wait a
      // little for the rest instead of spinning.
      ::poll(&fds[1], 1, std::min(left, 2));
      continue;
    }
    const int r = ::poll(fds, 2, left);
    if (r < 0 && errno != EINTR) return ReadResult::Failed;
    if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && QueuedBytes(fd) < len)
      return ReadResult::Failed;  // the line is gone
  }
  // A whole record is queued: take it, then every further whole record, and
  // keep the newest. What is left of a record goes before the next command.
  record.assign(len, 0);
  if (!POSReadPort(PortCOM, fd, record.data(), len, plan.serialTimeoutMs)) return ReadResult::Failed;
  std::vector<uint8_t> next(len);
  while (QueuedBytes(fd) >= len) {
    if (!POSReadPort(PortCOM, fd, next.data(), len, plan.serialTimeoutMs)) return ReadResult::Failed;
    record.swap(next);
  }
  return ReadResult::Ok;
}

StatusPoller::ReadResult StatusPoller::readUsb(const PollPlan& plan, std::vector<uint8_t>& record) {
  const int len = plan.recordLength;
  record.assign(len, 0);
  if (plan.portType == PortUSBPrinter && plan.customUsb) {
    switch (ReadCustomUsbRecord(plan.handle, record.data(), len)) {
      case RecordRead::Whole: return ReadResult::Ok;
      // A transfer too short for a record (a stray byte): this poll shows
      // nothing, the next transfer is read afresh.
      case RecordRead::Disturbed: return ReadResult::NoRecord;
      case RecordRead::Failed: break;
    }
    return ReadResult::Failed;
  }
  int got = 0;
  int ok = 0;
  if (plan.portType == PortUSB)
    ok = UsbDevice::GetSpecStatus(plan.handle, record.data(), len, &got);
  else
    ok = UsbPrinter::GetPrnStatus(plan.handle, record.data(), len, &got);
  // Only a whole record counts: a short one is a failed call, never decoded.
  return (ok != 0 && got == len) ? ReadResult::Ok : ReadResult::Failed;
}

StatusPoller::ReadResult StatusPoller::readNibble(const PollPlan& plan, std::vector<uint8_t>& record) {
  record.assign(plan.recordLength, 0);
  return ReadNibbleRecord(record.data(), plan.recordLength) ? ReadResult::Ok : ReadResult::Failed;
}

void StatusPoller::closePort(const PollPlan& plan) {
  // Only while the record still holds this poll's handle: a handle that
  // someone else has closed or replaced since is left alone.
  link::CloseConfiguredPortIfHeld(plan.portType, plan.portType == PortNibbleLPT ? 0 : plan.handle);
}

void StatusPoller::switchStatusOff(const PollPlan& plan) {
  if (plan.offCommand.empty() || plan.portType == PortNibbleLPT) return;
  POSWritePort(plan.portType, plan.handle, plan.offCommand.data(), static_cast<int>(plan.offCommand.size()));
}

void StatusPoller::run(PollPlan plan, Reporter report, uint64_t gen) {
  const bool nibble = plan.portType == PortNibbleLPT;
  // The nibble-mode port is only read; the printer gets no command there.
  const bool sendsFirst = !nibble && (plan.timing == CommandTiming::OnceThenEverySerialPoll ||
                                      plan.timing == CommandTiming::Once);
  if (sendsFirst && !sendCommand(plan)) {
    closePort(plan);
    report({gen, PollEvent::FirstSendFailed, {}});
    return;
  }
  bool statusOn = sendsFirst;
  std::vector<uint8_t> record;
  bool failed = false;
  const bool sendsEveryPoll = !nibble && (plan.timing == CommandTiming::EveryPoll ||
                                          (plan.timing == CommandTiming::OnceThenEverySerialPoll &&
                                           plan.portType == PortCOM));
  while (!stop_) {
    if (sendsEveryPoll) {
      if (!sendCommand(plan)) {
        failed = true;
        break;
      }
      statusOn = true;
    }
    if (plan.portType == PortCOM && plan.serialRead == SerialRead::QueuedRecords) {
      std::vector<RecordBytes> records;
      const RecordRead rr =
          ReadQueuedRecords(plan.handle, static_cast<size_t>(plan.recordLength), records, plan.serialTimeoutMs);
      if (rr == RecordRead::Failed) {
        if (!stop_) failed = true;
        break;
      }
      for (auto& r : records) report({gen, PollEvent::Record, std::move(r)});
      // Bytes that made no whole record came (a stray byte, an overlong
      // reply): what follows them may be out of step. The input is cleared
      // and the printer asked afresh, so the next poll reads a record from
      // its first byte; a printer that sends by itself answers the command
      // with its current record.
      if (rr == RecordRead::Disturbed && !sendsEveryPoll && !sendCommand(plan)) {
        failed = true;
        break;
      }
    } else {
      ReadResult rr;
      if (plan.portType == PortCOM)
        rr = readSerial(plan, record);
      else if (nibble)
        rr = readNibble(plan, record);
      else
        rr = readUsb(plan, record);
      if (rr == ReadResult::Stopped) break;
      if (rr == ReadResult::Failed) {
        // A stop that came while the call was failing (the dialog closing) is a
        // stop, not a printer failure.
        if (!stop_) failed = true;
        break;
      }
      if (rr == ReadResult::Ok) report({gen, PollEvent::Record, record});
    }
    if (pause(plan.intervalMs)) break;
  }
  if (statusOn) switchStatusOff(plan);
  if (failed) {
    closePort(plan);
    report({gen, PollEvent::Failure, {}});
  }
  if ((plan.portType != PortCOM && !nibble) || plan.closeSerialAtEnd) closePort(plan);
  report({gen, PollEvent::Ended, {}});
}

}  // namespace torva::status
