#include "link/SerialIo.h"

#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>

#include "link/Clock.h"

namespace {

int RealGetAttr(int fd, termios* t) { return tcgetattr(fd, t); }
int RealSetAttr(int fd, int action, const termios* t) { return tcsetattr(fd, action, t); }
int RealModemIoctl(int fd, unsigned long request, int* bits) { return ioctl(fd, request, bits); }

const SerialCalls kRealCalls{RealGetAttr, RealSetAttr, RealModemIoctl};
SerialCalls g_calls = kRealCalls;

// Pause between two looks at a device that cannot tell when it will take
// more (a busy parallel printer) or at a terminal's output queue; the first
// looks come sooner, so a short command is not held up.
constexpr int kBusyPauseMs = 10;
constexpr int kDrainFirstPauseMs = 1;

// Milliseconds left until `deadline`, for poll(); 0 once it has passed.
int RemainingMs(uint64_t deadline) {
  const uint64_t now = torva::TickMs();
  if (now >= deadline) return 0;
  const uint64_t left = deadline - now;
  return left > static_cast<uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
}

}  // namespace

namespace serialio {
int RealOutQueue(int fd, int* count) { return ioctl(fd, TIOCOUTQ, count) == 0 ? 0 : -1; }
int RealFlush(int fd, int queue) { return tcflush(fd, queue); }
ssize_t RealWrite(int fd, const void* data, size_t n) { return ::write(fd, data, n); }
}  // namespace serialio

SerialCalls& SerialTermiosCalls() { return g_calls; }
const SerialCalls& RealSerialCalls() { return kRealCalls; }

ScopedSerialCalls::ScopedSerialCalls(const SerialCalls& calls) : saved_(g_calls) { g_calls = calls; }
ScopedSerialCalls::~ScopedSerialCalls() { g_calls = saved_; }

namespace serialio {

int QueuedInput(int fd) {
  int n = 0;
  if (ioctl(fd, FIONREAD, &n) != 0) return -1;
  return n;
}

bool PurgeInput(int fd) { return SerialTermiosCalls().flush(fd, TCIFLUSH) == 0; }

void PurgeBoth(int fd) {
  if (isatty(fd)) tcflush(fd, TCIOFLUSH);
}

namespace {

// The end of the wait for a device: the write's deadline, or sooner the
// moment it has taken nothing for `stallMs` since `progress` (its last byte).
uint64_t WaitEnd(uint64_t deadline, uint64_t progress, int stallMs) {
  return stallMs > 0 ? std::min(deadline, progress + static_cast<uint64_t>(stallMs)) : deadline;
}

// The bytes themselves, until the deadline (or the stall bound). A device
// that answers poll() with "ready" and then refuses the bytes again cannot be
// waited for in poll(): from then on it is asked again after short sleeps.
bool WriteBytesBefore(int fd, const uint8_t* data, int length, uint64_t deadline, int stallMs) {
  const SerialCalls& calls = SerialTermiosCalls();
  bool pollUseless = false;
  bool pollSaidReady = false;
  uint64_t progress = torva::TickMs();
  int done = 0;
  while (done < length) {
    const ssize_t n = calls.write(fd, data + done, static_cast<size_t>(length - done));
    if (n > 0) {
      done += static_cast<int>(n);
      pollSaidReady = false;
      progress = torva::TickMs();
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    // The device is busy: wait until it takes more or the time is up.
    const int left = RemainingMs(WaitEnd(deadline, progress, stallMs));
    if (left == 0) return false;
    if (pollSaidReady) pollUseless = true;
    if (pollUseless) {
      PauseMs(std::min(left, kBusyPauseMs));
      continue;
    }
    pollfd p{fd, POLLOUT, 0};
    const int r = poll(&p, 1, left);
    if (r < 0 && errno != EINTR) return false;
    if (r > 0 && (p.revents & (POLLERR | POLLNVAL | POLLHUP)) && !(p.revents & POLLOUT)) return false;
    pollSaidReady = r > 0 && (p.revents & POLLOUT);
  }
  return true;
}

// On a terminal: waits until the output queue is empty or the deadline (or
// the stall bound: the queue has not shrunk for stallMs) has passed. A
// terminal that cannot tell its queue counts as sent.
bool OutputLeftBefore(int fd, uint64_t deadline, int stallMs) {
  const SerialCalls& calls = SerialTermiosCalls();
  int pause = kDrainFirstPauseMs;
  uint64_t progress = torva::TickMs();
  int last = INT_MAX;
  for (;;) {
    int queued = 0;
    if (calls.outQueue(fd, &queued) != 0 || queued <= 0) return true;
    if (queued < last) {
      last = queued;
      progress = torva::TickMs();
    }
    const int left = RemainingMs(WaitEnd(deadline, progress, stallMs));
    if (left == 0) return false;
    PauseMs(std::min(left, pause));
    pause = std::min(pause * 2, kBusyPauseMs);
  }
}

}  // namespace

bool WriteAllWithin(int fd, const uint8_t* data, int length, int timeoutMs, int stallMs) {
  if (fd <= 0 || length < 0 || (length > 0 && data == nullptr)) return false;
  const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(std::max(timeoutMs, 0));
  const bool terminal = isatty(fd) == 1;
  const bool ok = WriteBytesBefore(fd, data, length, deadline, stallMs) &&
                  (!terminal || OutputLeftBefore(fd, deadline, stallMs));
  // What could not leave in time must not go out later as part of the next
  // command, nor hold up the close.
  if (!ok && terminal) SerialTermiosCalls().flush(fd, TCOFLUSH);
  return ok;
}

void DiscardPendingOutput(int fd) {
  if (fd <= 0 || isatty(fd) != 1) return;
  const SerialCalls& calls = SerialTermiosCalls();
  int queued = 0;
  if (calls.outQueue(fd, &queued) == 0 && queued > 0) calls.flush(fd, TCOFLUSH);
}

int CharacterMicros(int baud, int dataBits, const std::string& parity, int stopBits) {
  if (baud <= 0) return 0;
  const int bits = 1 + std::clamp(dataBits, 5, 8) + (parity == "None" ? 0 : 1) + std::clamp(stopBits, 1, 2);
  return static_cast<int>((static_cast<int64_t>(bits) * 1000000 + baud - 1) / baud);
}

namespace {

// Waits in ppoll(POLLIN) for input until `end`. Returns 1 when input is
// there, 0 at the end, -1 when the descriptor failed or hung up with nothing
// to read.
int WaitInputUntil(int fd, std::chrono::steady_clock::time_point end) {
  for (;;) {
    const int queued = QueuedInput(fd);
    if (queued < 0) return -1;
    if (queued > 0) return 1;
    const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 0;
    const timespec wait{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
    pollfd p{fd, POLLIN, 0};
    const int r = ppoll(&p, 1, &wait, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) continue;  // the time check above ends the wait
    if (p.revents & POLLIN) {
      // Input is ready; a terminal in non-canonical mode reports it in the
      // queue count, so go round once more to confirm.
      if (QueuedInput(fd) > 0) return 1;
      // Readable but nothing queued (end of file on a pipe or a hung-up line):
      // nothing more can come.
      return -1;
    }
    if (p.revents & (POLLERR | POLLNVAL | POLLHUP)) return -1;
  }
}

}  // namespace

int WaitInput(int fd, uint64_t deadline) {
  // The deadline is a TickMs() tick: milliseconds of the steady clock.
  return WaitInputUntil(fd, std::chrono::steady_clock::time_point(std::chrono::milliseconds(deadline)));
}

int WaitInputMicros(int fd, int micros) {
  return WaitInputUntil(fd, std::chrono::steady_clock::now() + std::chrono::microseconds(std::max(micros, 0)));
}

int WaitForBurst(int fd, int wanted, int quietMs, uint64_t deadline) {
  int queued = QueuedInput(fd);
  for (;;) {
    if (queued < 0 || queued >= wanted) return queued;
    // POLLIN stays raised while anything is queued, so the quiet gap is a
    // plain timed wait followed by a look at the queue count.
    const int gap = std::min(RemainingMs(deadline), quietMs);
    if (gap == 0) return queued;
    PauseMs(gap);
    const int now = QueuedInput(fd);
    if (now < 0) return now;
    if (now == queued) return queued;  // quiet for a whole gap: the burst is over
    queued = now;
  }
}

int ReadQueued(int fd, uint8_t* buffer, int length) {
  if (length <= 0) return 0;
  int got = 0;
  while (got < length) {
    const ssize_t n = read(fd, buffer + got, static_cast<size_t>(length - got));
    if (n > 0) {
      got += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) break;
    return got > 0 ? got : -1;
  }
  return got;
}

void PauseMs(int ms) {
  if (ms <= 0) return;
  struct timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

}  // namespace serialio
