#include "tools/InquireADValueThread.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/SerialIo.h"

namespace torva::tools {

namespace {
std::atomic<int> gLiveThreads{0};
constexpr int kQuietGapMs = 10;  // the serial reply has ended after this much silence
}  // namespace

std::string ADVoltageText(uint8_t sample, double vote) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", sample * vote / 256.0);
  return buf;
}

int TInquireADValueThread::LiveThreads() { return gLiveThreads.load(); }

TInquireADValueThread::TInquireADValueThread() : worker_(gLiveThreads) {}

TInquireADValueThread::~TInquireADValueThread() { stopAndJoin(); }

uint64_t TInquireADValueThread::start(const ADPort& port, Reporter reporter) {
  stopAndJoin();
  reporter_ = std::move(reporter);
  port_ = port;
  return worker_.launch([this, port](uint64_t gen) { Execute(port, gen); });
}

void TInquireADValueThread::requestStop() {
  worker_.requestStop();
  // A USB read waits up to its library's time-out (seconds on the USB
  // printer) for a printer that has gone quiet; closing the port makes it
  // fail at once. The close happens only while the record still holds this
  // run's handle, so it is made once, here or by the thread on its way out.
  if (worker_.running() && (port_.kind == PortUSB || port_.kind == PortUSBPrinter))
    link::CloseConfiguredPortIfHeld(port_.kind, port_.handle);
}

void TInquireADValueThread::stopAndJoin() {
  if (!worker_.joinable()) return;
  requestStop();
  worker_.join();
}

void TInquireADValueThread::report(const ADReport& r) {
  if (reporter_) reporter_(r);
}

int TInquireADValueThread::ReadSerial(const ADPort& port, uint8_t* buffer, PollResult& result) {
  const int fd = port.handle;
  const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(std::max(port.serialTimeoutMs, 0));
  // The first byte, or a stop.
  for (;;) {
    if (bThreadTermate()) {
      result = PollResult::Stopped;
      return 0;
    }
    const int queued = serialio::QueuedInput(fd);
    if (queued < 0) {
      result = PollResult::Failed;
      return 0;
    }
    if (queued > 0) break;
    const uint64_t now = torva::TickMs();
    if (now >= deadline) {
      serialio::PurgeInput(fd);
      result = PollResult::Failed;
      return 0;
    }
    pollfd fds[2] = {{fd, POLLIN, 0}, {worker_.wakeFd(), POLLIN, 0}};
    const int r = ::poll(fds, 2, static_cast<int>(deadline - now));
    if (r < 0 && errno != EINTR) {
      result = PollResult::Failed;
      return 0;
    }
    if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && serialio::QueuedInput(fd) <= 0) {
      result = PollResult::Failed;  // the line has gone
      return 0;
    }
  }
  // The reply as one burst: until the line is quiet or the buffer is full.
  const int queued = serialio::WaitForBurst(fd, kADValueSize, kQuietGapMs, deadline);
  if (queued <= 0) {
    result = PollResult::Failed;
    return 0;
  }
  const int n = serialio::ReadQueued(fd, buffer, std::min(queued, kADValueSize));
  result = n > 0 ? PollResult::Ok : PollResult::Failed;
  return std::max(n, 0);
}

TInquireADValueThread::PollResult TInquireADValueThread::Poll(const ADPort& port, ADReport& r) {
  // Serial: what is still queued is not the answer to this query.
  if (port.kind == PortCOM && port.handle > 0) serialio::PurgeInput(port.handle);
  if (!POSWritePort(port.kind, port.kind == PortNibbleLPT ? 0 : port.handle, InquireADValueCommand,
                    sizeof InquireADValueCommand))
    return PollResult::Failed;
  r.ADValue.fill(0);
  PollResult result = PollResult::Ok;
  int n = 0;
  const PortLibraryCalls& calls = CurrentPortLibraryCalls();
  switch (port.kind) {
    case PortCOM:
      n = ReadSerial(port, r.ADValue.data(), result);
      break;
    case PortUSB:
      n = calls.uRead(port.handle, 1, r.ADValue.data(), kADValueSize);
      break;
    case PortUSBPrinter:
      torva::PrinterDelay(kADUsbPrinterPauseMs);
      // In the custom mode the reply is the A/D frame behind the mode's
      // leading bytes (what the common read takes while isADPress is 1).
      n = ReadUsbPrinterReply(port.handle, r.ADValue.data(), port.k773Custom ? kADCustomFrameSize : kADValueSize);
      break;
    case PortNibbleLPT: {
      int status = 0;
      n = calls.NibbleModeRead(r.ADValue.data(), kADNibbleReadSize, &status);
      break;
    }
    default:
      return PollResult::Failed;
  }
  if (result != PollResult::Ok) return result;
  // A stop that came during the read: nothing of this poll is shown.
  if (bThreadTermate()) return PollResult::Stopped;
  n = std::min(n, kADValueSize);
  // A reply shorter than the shown rows would leave a row with a stale or
  // made-up voltage: a failed read.
  if (n < kADRowsShown) return PollResult::Failed;
  std::fill(r.ADValue.begin() + n, r.ADValue.end(), uint8_t{0});
  r.count = n;
  return PollResult::Ok;
}

void TInquireADValueThread::Execute(ADPort port, uint64_t gen) {
  bool failed = false;
  // The VD-K773 in its custom mode streams status records: switched off first.
  if (port.k773Custom &&
      !POSWritePort(port.kind, port.handle, kCustomStatusOffCommand, sizeof kCustomStatusOffCommand))
    failed = true;
  while (!failed && !bThreadTermate()) {
    ADReport r;
    r.type = ADReport::Type::Values;
    r.generation = gen;
    const PollResult result = Poll(port, r);
    if (result == PollResult::Stopped) break;
    if (result == PollResult::Failed) {
      // A failure that comes with a stop (the view closing) is a stop.
      failed = !bThreadTermate();
      break;
    }
    report(r);
    if (pause(port.intervalMs)) break;
  }
  link::CloseConfiguredPortIfHeld(port.kind, port.kind == PortNibbleLPT ? 0 : port.handle);
  if (failed) {
    ADReport f;
    f.type = ADReport::Type::Failure;
    f.generation = gen;
    report(f);
  }
  ADReport end;
  end.type = ADReport::Type::Ended;
  end.generation = gen;
  report(end);
}

}  // namespace torva::tools
