#include "sim/ModelDefaults.h"

#include <map>

namespace torva::sim {

namespace {

// Common-address family (VD-M512II, VD-M512): the nineteen settings its
// editor reads. A fresh printer holds what the editor shows before its first
// Get (38400 baud, 8 data bits, 1 stop bit, no parity, DTR/DSR, 150 mm/s,
// darkness 110, receipt paper, presenter on, beeper off, cutter on, CR off,
// alarm on near end, retract), except where that start value is one the
// editor itself would refuse to save: the feed in mark mode and the
// auto-loading speed hold values inside the ranges Save accepts, so that a
// fresh printer read and saved again round-trips.
const std::vector<SettingDefault> kCommonAddressDefaults = {
    {1, 0x16, 2},    // baud rate code: 38400
    {1, 0x41, 0},    // flow control: DTR/DSR
    {1, 0x17, 8},    // data bits
    {1, 0x19, 1},    // stop bits
    {1, 0x1B, 0},    // parity: none
    {1, 0x06, 150},  // print speed, mm/s
    {1, 0x02, 110},  // print darkness
    {1, 0x12, 0},    // paper type: receipt
    {1, 0x43, 0},    // stop printing on paper near end: off
    {1, 0x54, 1},    // alarm on paper near end: on
    {1, 0x30, 1},    // auto cutter: on
    {1, 0x14, 0},    // CR command: disabled
    {1, 0x59, 0},    // beeper: off
    {1, 0x3E, 1},    // presenter: enabled
    {1, 0x60, 0},    // paper out mode: retract
    {1, 0x2B, 160},  // feed lines in mark mode, dot lines
    {1, 0x3C, 0},    // presenter wait time, s
    {1, 0x78, 0},    // auto loading time, x10 ms
    {1, 0x52, 60},   // auto loading speed, mm/s
};

const std::map<int, std::vector<SettingDefault>>& Table() {
  static const std::map<int, std::vector<SettingDefault>> table = {
      {1, kCommonAddressDefaults},  // VD-M512
      {2, kCommonAddressDefaults},  // VD-M512II
      // The mode settings the status dispatch asks first: a fresh VD-K512
      // runs on receipt paper (shutter dialog), a fresh RW-K305GII in VD Mode.
      {8, {{1, 0x12, 0}}},   // VD-K512 paper type
      {14, {{1, 0xC3, 0}}},  // RW-K305GII status mode
  };
  return table;
}

}  // namespace

const std::vector<SettingDefault>& ModelDefaults(int modelCode) {
  static const std::vector<SettingDefault> none;
  auto it = Table().find(modelCode);
  return it == Table().end() ? none : it->second;
}

}  // namespace torva::sim
