// What the editors' tests against the simulated printer share: readings of
// the simulator's log, and a serial port that takes 7 data bits for the
// data-bits roads on a pseudo-terminal (which refuses them).
#pragma once

#include <string>
#include <vector>

#include "FakeTermios.h"
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

// The serial port that takes 7 data bits (tests/common/FakeTermios.h).
using torva::testing::FakeTermios;

}  // namespace settings_test
