// Parallel transports: /dev/lpN written as a file, and the nibble-mode
// library of ParReverse.h on /dev/parportN.
#include "link/LPTUnit.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>

#include "link/ParReverse.h"
#include "link/PortNames.h"
#include "link/PortState.h"
#include "link/SerialIo.h"

std::atomic<int> m_hdev_LPT{-1};

namespace {
// Write time-out of the parallel port: 2000 ms + 2000 ms a byte in all, for a
// printer that keeps taking bytes however slowly...
constexpr int kLptWriteConstantMs = 2000;
constexpr int kLptWritePerByteMs = 2000;
int LptWriteTimeoutMs(int length) {
  const long long ms = kLptWriteConstantMs + static_cast<long long>(kLptWritePerByteMs) * (length > 0 ? length : 0);
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}
// ...and the write fails once the printer has taken no byte for the constant
// plus one byte's share (the stall bound of SerialIo.h, 4 s): a stalled
// printer does not hold a block of 1024 bytes for 34 minutes.
static_assert(serialio::kPrinterStallMs == kLptWriteConstantMs + kLptWritePerByteMs);
}  // namespace

int OpenLPT(const std::string& Name) {
  m_hdev_LPT = -1;
  const std::string device = ParallelDeviceForPort(Name);
  if (device.empty()) return -1;
  // Existing only; non-blocking, so a write waits against its own deadline.
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fd == 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {  // not shared
    close(fd);
    return -1;
  }
  serialio::PurgeBoth(fd);
  m_hdev_LPT = fd;
  return fd;
}

bool CloseLPT(int handle) {
  if (handle <= 0) return false;
  int expected = handle;
  m_hdev_LPT.compare_exchange_strong(expected, -1);
  return close(handle) == 0;
}

bool WriteLPT(int handle, const uint8_t* data, int length) {
  if (handle <= 0 || length < 0) return false;
  return serialio::WriteAllWithin(handle, data, length, LptWriteTimeoutMs(length), serialio::kPrinterStallMs);
}

int OpenNibbleLPTPort(int recvTimeout, int sendTimeout) {
  const int result = ParReverse::DriverOpenEx(static_cast<uint16_t>(LPTParameter.Number & 0xFFFF), 1, 0,
                                              ProgramDirectory());
  if (result == 1) ParReverse::SetTimeoutInfo(recvTimeout, sendTimeout);
  return result;
}

void CloseNibbleLPTPort() { ParReverse::DriverClose(); }

std::string ProgramDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (n <= 0) return "./";
  std::string s(path, static_cast<size_t>(n));
  const size_t slash = s.rfind('/');
  return slash == std::string::npos ? std::string("./") : s.substr(0, slash + 1);
}
