// A raw pseudo-terminal for the serial tests: the test holds the master (the
// "printer" end) and keeps a slave descriptor open, as the simulator does, so
// the port survives the code under test closing it.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

struct TestPty {
  int master = -1;
  int slave = -1;
  std::string path;

  TestPty() {
    char name[128] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) == 0) {
      path = name;
      fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
  }
  ~TestPty() {
    if (master > 0) close(master);
    if (slave > 0) close(slave);
  }
  TestPty(const TestPty&) = delete;
  TestPty& operator=(const TestPty&) = delete;

  bool ok() const { return master > 0 && !path.empty(); }

  void send(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
      if (n > 0) done += static_cast<size_t>(n);
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void send(const std::string& s) const { send(std::vector<uint8_t>(s.begin(), s.end())); }

  // What the host wrote, collected for up to `ms` or until `want` bytes came.
  std::vector<uint8_t> receive(size_t want, int ms = 1000) const {
    std::vector<uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < want && std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
        uint8_t buf[4096];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) out.insert(out.end(), buf, buf + n);
      }
    }
    return out;
  }
};

// Queue count of a descriptor (FIONREAD), -1 on failure.
inline int TestQueued(int fd) {
  int n = 0;
  return ioctl(fd, FIONREAD, &n) == 0 ? n : -1;
}

// Waits until `fd` has at least `n` bytes queued (bytes written at the master
// take a moment to reach the slave's queue).
inline bool TestWaitQueued(int fd, int n, int ms = 1000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (TestQueued(fd) >= n) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// Number of descriptors this process has open.
inline int TestOpenDescriptors() {
  int count = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.') ++count;
    closedir(d);
  }
  return count - 1;  // the directory stream's own descriptor
}
