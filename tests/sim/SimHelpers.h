// Host-side helpers for the simulator tests: a collecting sink, a raw
// pseudo-terminal opener and a loopback TCP client.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string>

#include "sim/SimPrinter.h"

namespace simtest {

using torva::sim::Bytes;

// Collects what the printer sends to one in-process session.
struct Collector {
  std::mutex mu;
  std::condition_variable cv;
  Bytes got;

  torva::sim::Session::Sink sink() {
    return [this](const Bytes& b) {
      std::lock_guard<std::mutex> lock(mu);
      got.insert(got.end(), b.begin(), b.end());
      cv.notify_all();
    };
  }
  // Waits until at least n bytes arrived; returns what arrived.
  Bytes wait(size_t n, int ms) {
    std::unique_lock<std::mutex> lock(mu);
    cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return got.size() >= n; });
    return got;
  }
  Bytes take() {
    std::lock_guard<std::mutex> lock(mu);
    Bytes b;
    b.swap(got);
    return b;
  }
};

inline uint64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Reads from fd until n bytes arrived or ms passed; returns what arrived.
inline Bytes ReadFor(int fd, size_t n, int ms) {
  Bytes out;
  uint64_t deadline = NowMs() + ms;
  while (out.size() < n) {
    uint64_t now = NowMs();
    if (now >= deadline) break;
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(deadline - now));
    if (r <= 0) break;
    if (!(p.revents & POLLIN)) break;
    uint8_t buf[256];
    ssize_t k = read(fd, buf, sizeof buf);
    if (k <= 0) break;
    out.insert(out.end(), buf, buf + k);
  }
  return out;
}

inline bool WriteBytes(int fd, const Bytes& b) {
  return write(fd, b.data(), b.size()) == static_cast<ssize_t>(b.size());
}

// Opens a pseudo-terminal slave as the host would: raw, 8 data bits.
inline int OpenSerial(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
  return fd;
}

inline int ConnectTcp(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A private temporary folder, removed with its files at the end.
struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/torva-sim-XXXXXX";
    path = mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

}  // namespace simtest
