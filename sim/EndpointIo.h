// Small descriptor helpers shared by the simulator's endpoints.
#pragma once

#include <cstddef>
#include <cstdint>

namespace torva::sim {

// A self-pipe that wakes an endpoint thread out of poll().
class WakePipe {
 public:
  WakePipe() = default;
  ~WakePipe() { close(); }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  bool open();
  void close();
  void signal();  // async-signal-safe, never blocks
  void drain();
  int readFd() const { return fds_[0]; }

 private:
  int fds_[2] = {-1, -1};
};

// Writes all n bytes to a non-blocking descriptor, waiting at most timeoutMs
// for room; false when the peer is gone or stays full.
bool WriteAll(int fd, const uint8_t* data, size_t n, int timeoutMs);

}  // namespace torva::sim
