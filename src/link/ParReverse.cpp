// Nibble-mode parallel port on Linux ppdev.
//
// DriverOpenEx opens /dev/parportN (see NibbleDeviceForPort), registers
// exclusively and claims the port; writes go out in compatibility mode, reads
// negotiate IEEE 1284 nibble mode for the reverse channel and return to
// compatibility mode afterwards. The printer is idle when its BUSY line is
// low: the status register's BUSY bit (inverted by the hardware) reads 1.
#include "link/ParReverse.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>

#include <mutex>

#include "link/PortNames.h"

namespace ParReverse {
namespace {

std::mutex g_mutex;
int g_fd = -1;
int g_recvTimeoutMs = 1000;
int g_sendTimeoutMs = 3000;

void SetPortTime(int fd, int ms) {
  if (ms <= 0) ms = 1;
  timeval tv{ms / 1000, static_cast<suseconds_t>((ms % 1000) * 1000)};
  ioctl(fd, PPSETTIME, &tv);
}

bool Negotiate(int fd, int mode) { return ioctl(fd, PPNEGOT, &mode) == 0; }

void CloseLocked() {
  if (g_fd < 0) return;
  ioctl(g_fd, PPRELEASE);
  close(g_fd);
  g_fd = -1;
}

}  // namespace

int DriverOpenEx(uint16_t port, int /*mode*/, int /*flags*/, const std::string& /*folder*/) {
  std::lock_guard<std::mutex> lock(g_mutex);
  CloseLocked();  // one port at a time
  const std::string device = NibbleDeviceForPort(port);
  const int fd = open(device.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  if (fd == 0 || ioctl(fd, PPEXCL) != 0 || ioctl(fd, PPCLAIM) != 0) {
    close(fd);
    return 0;
  }
  g_fd = fd;
  return 1;
}

void DriverClose() {
  std::lock_guard<std::mutex> lock(g_mutex);
  CloseLocked();
}

int IsPARIdle() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_fd < 0) return 0;
  unsigned char status = 0;
  if (ioctl(g_fd, PPRSTATUS, &status) != 0) return 0;
  return (status & PARPORT_STATUS_BUSY) ? 1 : 0;
}

int NibbleModeWrite(const uint8_t* data, int length, int* status) {
  std::lock_guard<std::mutex> lock(g_mutex);
  int err = 0;
  if (g_fd < 0 || length < 0 || (length > 0 && data == nullptr)) {
    err = EBADF;
  } else if (!Negotiate(g_fd, IEEE1284_MODE_COMPAT)) {
    err = errno ? errno : EIO;
  } else {
    SetPortTime(g_fd, g_sendTimeoutMs);
    int done = 0;
    while (done < length) {
      const ssize_t n = write(g_fd, data + done, static_cast<size_t>(length - done));
      if (n > 0) {
        done += static_cast<int>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        err = n < 0 ? errno : ETIMEDOUT;
        break;
      }
    }
  }
  if (status) *status = err;
  return err == 0 ? 1 : 0;
}

int NibbleModeRead(uint8_t* buffer, int length, int* status) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_fd < 0 || length <= 0 || buffer == nullptr) {
    if (status) *status = EBADF;
    return 0;
  }
  if (!Negotiate(g_fd, IEEE1284_MODE_NIBBLE)) {
    if (status) *status = errno ? errno : EIO;
    return 0;
  }
  SetPortTime(g_fd, g_recvTimeoutMs);
  ssize_t n;
  do {
    n = read(g_fd, buffer, static_cast<size_t>(length));
  } while (n < 0 && errno == EINTR);
  const int err = n < 0 ? errno : 0;
  Negotiate(g_fd, IEEE1284_MODE_COMPAT);
  if (status) *status = err;
  return n > 0 ? static_cast<int>(n) : 0;
}

void SetTimeoutInfo(int recvTimeout, int sendTimeout) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_recvTimeoutMs = recvTimeout;
  g_sendTimeoutMs = sendTimeout;
}

}  // namespace ParReverse
