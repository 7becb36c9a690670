// A termios seam for serial tests on the simulator's pseudo-terminal, which
// refuses 7 data bits and parity:
//   using torva::testing::FakeTermios;
//   FakeTermios::printer = &printer;  // the simulated printer at the other end
//   ScopedSerialCalls seam{FakeTermios::Calls()};
// Every open of a serial port asks its settings through this table; the fake
// keeps what was asked per descriptor, gives the terminal 8 data bits, and
// reads back what was asked.
//
// A write returns once the printer has taken its bytes, as on a line whose
// bytes have left the port: a pseudo-terminal hands them on a moment later,
// and the flush of the reopen that follows a data-bits switch would throw
// away what is still on its way. Without a printer set, setting a port up
// waits 30 ms instead.
#pragma once

#include <termios.h>

#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "link/SerialIo.h"
#include "sim/SimPrinter.h"

namespace torva::testing {

struct FakeTermios {
  static inline std::mutex mu;
  static inline std::map<int, termios> asked;
  static inline std::vector<int> sizes;  // the data bits of every setting asked, in order
  // The printer at the other end; the fixture sets and clears it.
  static inline const torva::sim::SimPrinter* printer = nullptr;

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
    if (!printer) std::this_thread::sleep_for(std::chrono::milliseconds(30));
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
  static ssize_t Write(int fd, const void* data, size_t n) {
    const torva::sim::SimPrinter* p = printer;
    const size_t before = p ? p->receivedCount() : 0;
    const ssize_t written = RealSerialCalls().write(fd, data, n);
    if (p && written > 0) p->waitForReceived(before + static_cast<size_t>(written), 3000);
    return written;
  }
  // The real calls with this fake's attributes and writes.
  static SerialCalls Calls() {
    SerialCalls calls = RealSerialCalls();
    calls.getAttr = &GetAttr;
    calls.setAttr = &SetAttr;
    calls.write = &Write;
    return calls;
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
