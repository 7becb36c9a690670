// What the editors' tests against the simulated printer share: readings of
// the simulator's log, and a serial port that takes 7 data bits for the
// data-bits roads on a pseudo-terminal (which refuses them).
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// Every open of a serial port asks its settings through this table; a
// pseudo-terminal cannot take 7 data bits, so the fake keeps what was asked
// per descriptor, gives the terminal 8, and reads back what was asked.
// Setting a port up also takes the time a real line needs to carry out what
// was written before (the tests run with the printer pauses at zero, and the
// open flushes the queues after it).
struct FakeTermios {
  static inline std::mutex mu;
  static inline std::map<int, termios> asked;
  static inline std::vector<int> sizes;  // the data bits of every setting asked, in order

  static int GetAttr(int fd, termios* t) {
    std::lock_guard<std::mutex> lock(mu);
    auto it = asked.find(fd);
    if (it != asked.end()) {
      *t = it->second;
      return 0;
    }
    return RealSerialCalls().getAttr(fd, t);
  }
  static int SetAttr(int fd, int action, const termios* t) {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    termios real = *t;
    real.c_cflag = (real.c_cflag & ~CSIZE) | CS8;
    const int r = RealSerialCalls().setAttr(fd, action, &real);
    if (r != 0) return r;
    std::lock_guard<std::mutex> lock(mu);
    asked[fd] = *t;
    const tcflag_t size = t->c_cflag & CSIZE;
    sizes.push_back(size == CS7 ? 7 : size == CS8 ? 8 : size == CS6 ? 6 : 5);
    return 0;
  }
  static void Reset() {
    std::lock_guard<std::mutex> lock(mu);
    asked.clear();
    sizes.clear();
  }
};

}  // namespace settings_test
