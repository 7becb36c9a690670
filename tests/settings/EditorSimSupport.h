// What the editors' tests against the simulated printer share: readings of
// the simulator's log, and a serial port that takes 7 data bits for the
// data-bits roads on a pseudo-terminal (which refuses them).
#pragma once

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "FakeTermios.h"
#include "link/Clock.h"
#include "link/SerialIo.h"
#include "sim/SimPrinter.h"

namespace settings_test {

inline std::vector<std::string> Names(const torva::sim::SimPrinter& printer) {
  std::vector<std::string> names;
  for (const auto& e : printer.log()) names.push_back(e.name);
  return names;
}

// The addresses of the ReadSetting frames in the log, in order.
inline std::vector<int> ReadAddresses(const torva::sim::SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log("ReadSetting")) out.push_back(e.frame[2]);
  return out;
}

// The data-bits values of the TempDataBits frames in the log, in order.
inline std::vector<int> DataBitsSwitches(const torva::sim::SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log("TempDataBits")) out.push_back(e.frame[7]);
  return out;
}

// Waits (up to 3 s) until the simulator's pseudo-terminal at `path` holds at
// least n bytes for the host to read: bytes the printer sent reach the port
// a moment after it sends them, and a test that needs them there (to see
// that the next exchange throws them away) waits for them here.
inline bool WaitPtyInput(const std::string& path, int n) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const uint64_t end = torva::TickMs() + 3000;
  int queued = 0;
  while (::ioctl(fd, FIONREAD, &queued) == 0 && queued < n && torva::TickMs() < end) ::usleep(2000);
  ::close(fd);
  return queued >= n;
}

// The serial port that takes 7 data bits (tests/common/FakeTermios.h).
using torva::testing::FakeTermios;

}  // namespace settings_test
