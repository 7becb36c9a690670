// A termios seam for serial tests on pseudo-terminals, which refuse 7 data
// bits and parity: install it with
//   using torva::testing::FakeTermios;
//   ScopedSerialCalls seam{SerialCalls{&FakeTermios::GetAttr, &FakeTermios::SetAttr,
//                                      RealSerialCalls().modemIoctl}};
// Every open of a serial port asks its settings through this table; the fake
// keeps what was asked per descriptor, gives the terminal 8 data bits, and
// reads back what was asked. Setting a port up also takes the time a real
// line needs to carry out what was written before (the tests run with the
// printer pauses at zero, and the open flushes the queues after it).
#pragma once

#include <termios.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "link/SerialIo.h"

namespace torva::testing {

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
  // The data bits asked so far (a copy, taken under the lock).
  static std::vector<int> Sizes() {
    std::lock_guard<std::mutex> lock(mu);
    return sizes;
  }
};

}  // namespace torva::testing
