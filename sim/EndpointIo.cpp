#include "sim/EndpointIo.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "link/Clock.h"

namespace torva::sim {

bool WakePipe::open() {
  if (fds_[0] >= 0) return true;
  return pipe2(fds_, O_CLOEXEC | O_NONBLOCK) == 0;
}

void WakePipe::close() {
  for (int& fd : fds_) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

void WakePipe::signal() {
  if (fds_[1] < 0) return;
  uint8_t b = 1;
  ssize_t r = ::write(fds_[1], &b, 1);
  (void)r;  // a full pipe already holds a wake-up
}

void WakePipe::drain() {
  uint8_t buf[64];
  while (::read(fds_[0], buf, sizeof buf) > 0) {
  }
}

bool WriteAll(int fd, const uint8_t* data, size_t n, int timeoutMs) {
  if (fd < 0) return false;
  struct stat st {};
  bool isSocket = fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
  uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(timeoutMs);
  size_t done = 0;
  while (done < n) {
    ssize_t w = isSocket ? ::send(fd, data + done, n - done, MSG_NOSIGNAL | MSG_DONTWAIT)
                         : ::write(fd, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno == EINTR) continue;
    if (w < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    uint64_t now = torva::TickMs();
    if (now >= deadline) return false;
    pollfd p{fd, POLLOUT, 0};
    poll(&p, 1, static_cast<int>(deadline - now));
  }
  return true;
}

}  // namespace torva::sim
