// Plain POSIX pieces every bench measures the console against, in the same
// run: a raw pseudo-terminal pair, a plain responder on its other end, a plain
// responder and a plain client of the USB socket's framing, whole reads and
// writes, the clocks, and the figures of several runs. Nothing here uses the
// console's link code or the simulated printer: these are the floors.
//
// The USB socket's framing, little-endian:
//   request   'T' 'U' op kind | a | b | n | n data bytes
//   response  result | n | n data bytes
// ops: 1 enumerate, 2 open, 3 write, 4 read (at most a bytes, waiting at most
// b ms for the first), 5 status, 6 vendor, 7 device ID, 8 internal ID, 9 close.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace plainfloor {

using Bytes = std::vector<uint8_t>;

inline double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// CPU time in ms of `clock`: CLOCK_PROCESS_CPUTIME_ID or CLOCK_THREAD_CPUTIME_ID.
inline double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

// CPU time of the whole process (user and system) in seconds, as getrusage() counts it.
inline double RusageCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Median, minimum, worst and 99th percentile of a set of figures (all `none`
// when it is empty).
struct Stats {
  double median = 0, min = 0, worst = 0, p99 = 0;
  size_t count = 0;
};
inline Stats Of(std::vector<double> v, double none = 0) {
  if (v.empty()) return {none, none, none, none, 0};
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front(), v.back(), v[std::min(v.size() - 1, v.size() * 99 / 100)], v.size()};
}

inline void MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

// Reads exactly n bytes, waiting at most `waitMs` for each piece (in poll());
// with `waitMs` below 0 it waits as long as it takes, in read() itself.
// False on a time-out, an error or the end of the line.
inline bool ReadExact(int fd, uint8_t* p, size_t n, int waitMs) {
  while (n > 0) {
    if (waitMs >= 0) {
      pollfd pfd{fd, POLLIN, 0};
      const int r = poll(&pfd, 1, waitMs);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
    }
    const ssize_t got = read(fd, p, n);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (got <= 0) return false;
    p += got;
    n -= static_cast<size_t>(got);
  }
  return true;
}
// Sends all n bytes on a socket (a closed peer is an error, not a signal).
inline bool WriteExact(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}
// Writes all n bytes with write(), to a terminal or a file; false on an error.
inline bool WriteAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

inline void SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// A stop the responders' threads wait on beside their descriptors, so they
// sleep in poll() without a time-out (a periodic wake-up would be counted in
// the CPU figures of whatever runs meanwhile). Once raised it stays raised.
class StopSignal {
 public:
  StopSignal() : fd_(eventfd(0, EFD_CLOEXEC)) {}
  ~StopSignal() {
    if (fd_ >= 0) close(fd_);
  }
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;
  void raise() {
    const uint64_t one = 1;
    if (fd_ >= 0 && write(fd_, &one, sizeof one) < 0) return;
  }
  int fd() const { return fd_; }
  // Waits until `fd` has `events` or the stop is raised; false on the stop
  // (or a failed poll).
  bool wait(int fd, short events) const {
    for (;;) {
      pollfd p[2] = {{fd, events, 0}, {fd_, POLLIN, 0}};
      const int r = poll(p, 2, -1);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0 || p[1].revents) return false;
      return true;
    }
  }

 private:
  int fd_;
};

// A fresh pseudo-terminal pair, raw. One descriptor of the terminal's side is
// held open for the pair's life, so the other end never sees the line drop
// between two opens of the terminal (as a printer's line stays up).
struct PlainPty {
  int master = -1, held = -1;
  std::string name;  // the terminal's path, for the console or a client to open
  bool open() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char buf[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, buf, sizeof buf) != 0)
      return false;
    name = buf;
    held = ::open(buf, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (held < 0) return false;
    MakeRaw(held);
    return true;
  }
  ~PlainPty() {
    if (held >= 0) close(held);
    if (master >= 0) close(master);
  }
};

// Opens the terminal at `path` raw, as a plain program does; -1 when it does not open.
inline int OpenRawTerminal(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0) MakeRaw(fd);
  return fd;
}

// A plain responder on the other end of a pseudo-terminal: every
// `requestLength` bytes that come are one request, answered with answer()
// after `delayMs` (the printer's pause before a reply). answer() may return
// nothing: that request goes unanswered.
class PtyResponder {
 public:
  PtyResponder(int master, size_t requestLength, std::function<Bytes()> answer, int delayMs)
      : master_(master), length_(requestLength), answer_(std::move(answer)), delayMs_(delayMs) {
    thread_ = std::thread([this] { run(); });
  }
  ~PtyResponder() {
    stop_.raise();
    thread_.join();
  }
  PtyResponder(const PtyResponder&) = delete;
  PtyResponder& operator=(const PtyResponder&) = delete;

 private:
  void run() {
    Bytes pending;
    uint8_t buf[256];
    while (stop_.wait(master_, POLLIN)) {
      const ssize_t n = read(master_, buf, sizeof buf);
      if (n <= 0) {
        SleepMs(10);  // the line is between two opens
        continue;
      }
      pending.insert(pending.end(), buf, buf + n);
      while (pending.size() >= length_) {
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length_));
        SleepMs(delayMs_);
        const Bytes reply = answer_();
        if (!reply.empty() && write(master_, reply.data(), reply.size()) < 0) break;
      }
    }
  }

  int master_;
  size_t length_;
  std::function<Bytes()> answer_;
  int delayMs_;
  StopSignal stop_;
  std::thread thread_;
};

inline uint32_t GetU32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A plain responder of the USB socket's framing at `path`: one device at
// position 0 and one printer at index 0; every write is a request answered,
// after `delayMs`, with answer(written bytes), which the next reads take.
class UsbResponder {
 public:
  UsbResponder(std::string path, std::function<Bytes(const Bytes&)> answer, int delayMs)
      : path_(std::move(path)), answer_(std::move(answer)), delayMs_(delayMs) {}
  ~UsbResponder() { stop(); }
  UsbResponder(const UsbResponder&) = delete;
  UsbResponder& operator=(const UsbResponder&) = delete;

  bool start() {
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path_.c_str());
    unlink(path_.c_str());
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, 8) != 0)
      return false;
    accept_ = std::thread([this] { acceptLoop(); });
    return true;
  }
  void stop() {
    if (stopped_.exchange(true)) return;
    stop_.raise();
    if (accept_.joinable()) accept_.join();
    for (auto& t : served_) t.join();
    if (listener_ >= 0) close(listener_);
    unlink(path_.c_str());
  }

 private:
  void acceptLoop() {
    while (stop_.wait(listener_, POLLIN)) {
      const int c = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      served_.emplace_back([this, c] {
        serve(c);
        close(c);
      });
    }
  }
  bool readFull(int fd, uint8_t* p, size_t n) {
    while (n > 0) {
      if (!stop_.wait(fd, POLLIN)) return false;
      const ssize_t got = read(fd, p, n);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      p += got;
      n -= static_cast<size_t>(got);
    }
    return true;
  }
  void serve(int fd) {
    Bytes ready;          // answered, not yet read
    double readyAt = 0;   // when the printer's answer is there
    for (;;) {
      uint8_t h[16];
      if (!readFull(fd, h, sizeof h) || h[0] != 'T' || h[1] != 'U') return;
      const uint32_t n = GetU32(h + 12);
      if (n > (1u << 20)) return;
      Bytes data(n);
      if (n && !readFull(fd, data.data(), n)) return;
      const int32_t a = static_cast<int32_t>(GetU32(h + 4)), b = static_cast<int32_t>(GetU32(h + 8));
      int32_t result = 0;
      Bytes out;
      switch (h[2]) {
        case 1:  // enumerate: one device at position 0 / one printer
          result = 1;
          if (h[3] == 0) out.push_back(0);
          break;
        case 3: {  // write: the request, answered after the printer's pause
          const Bytes reply = answer_(data);
          ready.insert(ready.end(), reply.begin(), reply.end());
          readyAt = NowMs() + delayMs_;
          result = static_cast<int32_t>(n);
          break;
        }
        case 4: {  // read: what has been answered, waiting for it at most b ms
          const double now = NowMs();
          if (!ready.empty() && readyAt > now && readyAt - now <= std::max(b, 0))
            SleepMs(static_cast<int>(readyAt - now + 0.999));
          if (!ready.empty() && NowMs() >= readyAt) {
            const size_t k = std::min(ready.size(), static_cast<size_t>(std::max(a, 0)));
            out.assign(ready.begin(), ready.begin() + static_cast<std::ptrdiff_t>(k));
            ready.erase(ready.begin(), ready.begin() + static_cast<std::ptrdiff_t>(k));
          } else if (ready.empty()) {
            SleepMs(std::min(std::max(b, 0), 100));  // nothing to come: a short read time-out
          }
          result = static_cast<int32_t>(out.size());
          break;
        }
        case 9:  // close
          result = 0;
          break;
        default:  // open, status, vendor, IDs: taken
          result = 0;
          break;
      }
      uint8_t reply[8];
      PutU32(reply, static_cast<uint32_t>(result));
      PutU32(reply + 4, static_cast<uint32_t>(out.size()));
      if (!WriteExact(fd, reply, 8) || (!out.empty() && !WriteExact(fd, out.data(), out.size())) || h[2] == 9) return;
    }
  }

  std::string path_;
  std::function<Bytes(const Bytes&)> answer_;
  int delayMs_;
  int listener_ = -1;
  StopSignal stop_;
  std::atomic<bool> stopped_{false};
  std::thread accept_;
  std::list<std::thread> served_;  // only the accepting thread adds, only stop() joins
};

// A plain client of the USB socket's framing. Each read of an answer waits at
// most `waitMs` (in poll()); below 0 it waits as long as it takes, in read().
class UsbClient {
 public:
  explicit UsbClient(int waitMs = 10000) : waitMs_(waitMs) {}
  ~UsbClient() {
    if (fd_ >= 0) close(fd_);
  }
  UsbClient(const UsbClient&) = delete;
  UsbClient& operator=(const UsbClient&) = delete;
  bool connect(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    return fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  // One request carrying n bytes of data; false when the exchange itself fails.
  bool request(uint8_t op, int32_t a, int32_t b, const uint8_t* data, size_t n, int32_t* result, Bytes* reply) {
    msg_.resize(16 + n);
    msg_[0] = 'T';
    msg_[1] = 'U';
    msg_[2] = op;
    msg_[3] = 0;
    PutU32(&msg_[4], static_cast<uint32_t>(a));
    PutU32(&msg_[8], static_cast<uint32_t>(b));
    PutU32(&msg_[12], static_cast<uint32_t>(n));
    if (n) std::memcpy(&msg_[16], data, n);
    uint8_t h[8];
    if (!WriteExact(fd_, msg_.data(), msg_.size()) || !ReadExact(fd_, h, 8, waitMs_)) return false;
    *result = static_cast<int32_t>(GetU32(h));
    reply->assign(GetU32(h + 4), 0);
    return reply->empty() || ReadExact(fd_, reply->data(), reply->size(), waitMs_);
  }
  // Open the device at position 0.
  bool open() {
    int32_t r = -1;
    return request(2, 0, 0, nullptr, 0, &r, &reply_) && r == 0;
  }
  // Writes n bytes; true when the device took them all.
  bool write(const uint8_t* data, size_t n) {
    int32_t r = -1;
    return request(3, 0, 0, data, n, &r, &reply_) && r == static_cast<int32_t>(n);
  }
  // Reads `length` bytes, each read waiting at most `readWaitMs` in the device.
  bool read(size_t length, int readWaitMs, Bytes* answer) {
    int32_t r = -1;
    answer->clear();
    answer->reserve(length);
    while (answer->size() < length) {
      if (!request(4, static_cast<int32_t>(length - answer->size()), readWaitMs, nullptr, 0, &r, &reply_) || r <= 0)
        return false;
      answer->insert(answer->end(), reply_.begin(), reply_.end());
    }
    return true;
  }
  // Writes `command` and reads `length` bytes of the answer, each read
  // waiting at most `waitMs` in the device.
  bool exchange(const Bytes& command, size_t length, int waitMs, Bytes* answer) {
    return write(command.data(), command.size()) && read(length, waitMs, answer);
  }

 private:
  int waitMs_;
  int fd_ = -1;
  Bytes msg_;    // the request being sent, kept for the next
  Bytes reply_;  // the data of the last answer
};

}  // namespace plainfloor
