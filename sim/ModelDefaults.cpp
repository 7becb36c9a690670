#include "sim/ModelDefaults.h"

#include <algorithm>
#include <map>

namespace torva::sim {

namespace {

// Common-address family (VD-M512II, VD-M512, VD-K512, VD-K201, VD-K305,
// VD-N512): the nineteen settings its editors share. A fresh printer holds what the editor shows before its first
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

// The common values with some cells added or changed.
std::vector<SettingDefault> With(std::vector<SettingDefault> base, const std::vector<SettingDefault>& changes) {
  for (const SettingDefault& change : changes) {
    auto it = std::find_if(base.begin(), base.end(), [&](const SettingDefault& d) {
      return d.bank == change.bank && d.address == change.address;
    });
    if (it != base.end()) *it = change;
    else base.push_back(change);
  }
  return base;
}

// RW-K201, RW-K305 and RW-K305W: the eighteen settings their editor reads,
// as the editor shows them before its first Get (19200 baud, DTR/DSR, 8 data
// bits, 1 stop bit, no parity, margins 2, 100 mm/s, darkness 68, alarm on
// near end, cutter on in the switch word, CR off, receipt paper, beeper on,
// PC437, the 4096-byte buffer, no feed in mark mode).
const std::vector<SettingDefault> kPosStyleDefaults = {
    {1, 0x16, 1},    // baud rate code: 19200
    {1, 0x40, 0},    // flow control: DTR/DSR
    {1, 0x17, 8},    // data bits
    {1, 0x19, 1},    // stop bits
    {1, 0x1B, 0},    // parity: none
    {1, 0x4E, 2},    // left margin
    {1, 0x4A, 2},    // right margin
    {1, 0x06, 100},  // print speed, mm/s
    {1, 0x02, 68},   // print darkness
    {1, 0x44, 0},    // stop printing on paper near end: off
    {1, 0x54, 1},    // alarm on paper near end: on
    {1, 0x09, 0},    // switch word: cutter on (bit 3 of the high byte clear)
    {1, 0x14, 0},    // CR command: disabled
    {1, 0x12, 0},    // paper type: receipt
    {1, 0x58, 1},    // beeper: on
    {1, 0x6D, 0},    // code page: PC437
    {1, 0x7D, 0},    // receive buffer: 4096 bytes
    {1, 0x37, 0},    // feed lines in mark mode
};

// Two-bank family (VD-H738, VD-K466, VD-K772/VD-K772II, VD-K9034): what its
// editor shows before the first Get (38400 baud, 8 data bits, 1 stop bit, no
// parity, xon/xoff, 270 mm/s, both heads 68, paper width 80 mm, margins 2,
// code page 0, CR on, inverted printing on, both watermarks enabled and
// inverted), with the auto-loading speed and the feed in mark mode inside
// the ranges Save accepts, so a fresh printer read, saved and exported
// round-trips. The cutter holds 3, what Save writes for "On".
std::vector<SettingDefault> TwoBankDefaults(bool printingSurface) {
  std::vector<SettingDefault> d = {
      {1, 0x16, 2},       // baud rate code: 38400
      {1, 0x15, 1},       // flow control: xon/xoff
      {1, 0x17, 0x0108},  // data bits 8 (lo), stop bits 1 (hi)
      {1, 0x14, 0},       // parity: none
      {1, 0x24, 2},       // left margin
      {1, 0x25, 2},       // right margin
      {1, 0x06, 270},     // print speed, mm/s
      {1, 0x02, 0x4444},  // darkness: head 1 68 (lo), head 2 68 (hi)
      {1, 0x12, 0},       // paper type: receipt
      {1, 0x30, 3},       // auto cutter: on
      {1, 0x36, 0},       // code page 0 (lo), character set U.S.A (hi)
      {1, 0x3C, 0},       // presenter wait time, s
      {1, 0x41, 0},       // auto loading time, x20 ms
      {1, 0x4E, 28},      // auto loading speed, mm/s
      {1, 0x70, 1},       // USB mode: API
      {1, 0x31, 0},       // cut mode: default
      {1, 0x35, 0},       // receive buffer: 4KB
      {1, 0x26, 80},      // paper width, mm
      {1, 0x33, 0},       // paper near-end
      {1, 0x4A, 0},       // paper out mode: retract
      {1, 0x77, 0x0005},  // front watermark: enabled, feeding, inverted, left, x1 x1
      {1, 0x78, 0x0005},  // back watermark: the same
      {1, 0x2B, 160},     // feed lines in mark mode
      {2, 0x00, 1},       // CR command: enabled
      {2, 0x03, 1},       // default inverted printing: enabled
      {2, 0x10, 0},       // data error: print '?'
  };
  if (printingSurface) d.push_back({1, 0x05, 3});  // printing surface: double side
  return d;
}

// RWN-K409: the nineteen settings its editor reads, as the editor's start
// state saves them (19200 baud, DTR/DSR, 8 data bits, 1 stop bit, no parity,
// margins 2, 100 mm/s, darkness 68, alarm on near end, cutter on, CR off,
// receipt paper, beeper on, PC437, '?' for a data error, the 4096-byte
// buffer), except the feed in mark mode: 160 dot lines, inside the range its
// Save accepts, so a fresh printer read and saved again round-trips.
const std::vector<SettingDefault> kK409Defaults = {
    {1, 0x16, 1},    // baud rate code: 19200
    {1, 0x40, 0},    // flow control: DTR/DSR
    {1, 0x17, 8},    // data bits
    {1, 0x19, 1},    // stop bits
    {1, 0x1B, 0},    // parity: none
    {1, 0x4E, 2},    // left margin
    {1, 0x4A, 2},    // right margin
    {1, 0x06, 100},  // print speed, mm/s
    {1, 0x02, 68},   // print darkness
    {1, 0x44, 0},    // stop printing on paper near end: off
    {1, 0x54, 1},    // alarm on paper near end: on
    {1, 0x30, 1},    // auto cutter: on
    {1, 0x14, 0},    // CR command: disabled
    {1, 0x12, 0},    // paper type: receipt
    {1, 0x58, 1},    // beeper: on
    {1, 0x6D, 0},    // code page: PC437
    {1, 0x65, 0},    // data received error: print '?'
    {1, 0x7D, 0},    // receive buffer: 4096 bytes
    {1, 0x2C, 160},  // feed lines in mark mode, dot lines
};

// VD-K773: what its editor's start state saves (38400 baud, "None" flow
// control written as 1, 8 data bits, 1 stop bit, no parity, margins 2 and 2,
// 150 mm/s, both heads 68, receipt paper, cutter on, beeper and CR off, USA
// characters, presenter on, retract, wait 6 s, auto-loading time 50, API USB
// mode, default cut, front surface, printer mode 1, 4K buffer, paper width 0,
// continue on near end, watermark enabled, left, feeding, enlarged 1 x 1,
// feed line 0), except where that state cannot be saved: the auto-loading
// speed holds 60 and the code page PC437. Its SwitchWord holds 5A 41 (data
// error: print '?').
const std::vector<SettingDefault> kK773Defaults = {
    {1, 0x16, 2},      {1, 0x41, 1},      {1, 0x17, 8},      {1, 0x19, 1},   {1, 0x1B, 0},
    {1, 0x4E, 2},      {1, 0x4A, 2},      {1, 0x06, 150},    {1, 0x02, 0x4444}, {1, 0x12, 0},
    {1, 0x30, 1},      {1, 0x59, 0},      {1, 0x14, 0},      {1, 0xCB, 0},   {1, 0x6D, 0},
    {1, 0x3E, 1},      {1, 0x60, 0},      {1, 0x3C, 6},      {1, 0x78, 50},  {1, 0x52, 60},
    {1, 0x70, 1},      {1, 0x87, 0},      {1, 0x05, 1},      {1, 0xC4, 0},   {1, 0x09, 0x415A},
    {1, 0x7D, 0},      {1, 0x66, 0},      {1, 0x43, 0},      {1, 0x89, 1},   {1, 0x8B, 0},
    {1, 0x8A, 0},      {1, 0x8C, 0x0101}, {1, 0x2B, 0},
};

// RW-K201E and RW-K305E: the eleven settings their editors read, as the
// editors show them before the first Get (margins 2, 100 mm/s, darkness 68,
// near-end stop off and alarm on, cutter on, receipt paper, PC437, the
// 4096-byte buffer, no feed in mark mode). The RW-K305E keeps its near-end
// stop at 43.
std::vector<SettingDefault> EModelDefaults(int nearEndStop) {
  return {
      {1, 0x4E, 2},         // left margin
      {1, 0x4A, 2},         // right margin
      {1, 0x06, 100},       // print speed, mm/s
      {1, 0x02, 68},        // print darkness
      {1, nearEndStop, 0},  // stop printing on paper near end: off
      {1, 0x54, 1},         // alarm on paper near end: on
      {1, 0x30, 1},         // auto cutter: on
      {1, 0x12, 0},         // paper type: receipt
      {1, 0x6D, 0},         // code page: PC437
      {1, 0x7D, 0},         // receive buffer: 4096 bytes
      {1, 0x37, 0},         // feed lines in mark mode
  };
}

// RW-K305GII: the fifteen settings its editor reads (flow control at 41,
// paper-jam and paper-loose lengths at 0E and 0F, 0 cm each), and the status
// mode the status dispatch asks first (VD Mode).
const std::vector<SettingDefault> kRWK305G2Defaults = {
    {1, 0x16, 1},    // baud rate code: 19200
    {1, 0x41, 0},    // flow control: DTR/DSR
    {1, 0x17, 8},    // data bits
    {1, 0x19, 1},    // stop bits
    {1, 0x1B, 0},    // parity: none
    {1, 0x4E, 2},    // left margin
    {1, 0x4A, 2},    // right margin
    {1, 0x06, 100},  // print speed, mm/s
    {1, 0x0E, 0},    // paper-jam detect length, cm
    {1, 0x0F, 0},    // roll-paper-loose detect length, cm
    {1, 0x02, 68},   // print darkness
    {1, 0x14, 0},    // CR command: disabled
    {1, 0x12, 0},    // paper type: receipt
    {1, 0x6D, 0},    // code page: PC437
    {1, 0x7D, 0},    // receive buffer: 4096 bytes
    {1, 0xC3, 0},    // status mode: VD Mode
};

const std::map<int, std::vector<SettingDefault>>& Table() {
  static const std::map<int, std::vector<SettingDefault>> table = {
      {1, kCommonAddressDefaults},  // VD-M512
      {2, kCommonAddressDefaults},  // VD-M512II
      // The VD-K512 keeps receipt paper (12 = 0): its status dispatch asks the
      // paper type first and opens the shutter dialog for it.
      {8, kCommonAddressDefaults},  // VD-K512
      {7, kCommonAddressDefaults},  // VD-K201
      // VD-K305: LED driven by the printer's driver, lit and dark 20 ms each.
      {3, With(kCommonAddressDefaults, {{1, 0xB7, 1}, {1, 0xB8, 0x0101}})},
      // VD-N512: margins 7 and 9, code page PC437, 4096-byte receive buffer,
      // automatic presenting on, and its bundler enabled (2).
      {0, With(kCommonAddressDefaults,
               {{1, 0x4E, 7}, {1, 0x4A, 9}, {1, 0x6D, 0}, {1, 0x7D, 0}, {1, 0xD5, 1}, {1, 0x3E, 2}})},
      {4, kPosStyleDefaults},       // RW-K201
      {6, kPosStyleDefaults},       // RW-K305
      {15, kPosStyleDefaults},      // RW-K305W
      {5, kK409Defaults},           // RWN-K409
      {11, TwoBankDefaults(true)},   // VD-K772
      {13, TwoBankDefaults(true)},   // VD-K9034
      {16, TwoBankDefaults(true)},   // VD-K772II
      {17, TwoBankDefaults(false)},  // VD-K466
      {18, TwoBankDefaults(false)},  // VD-H738
      {12, kK773Defaults},   // VD-K773
      {10, EModelDefaults(0x44)},    // RW-K201E
      {9, EModelDefaults(0x43)},     // RW-K305E
      {14, kRWK305G2Defaults},       // RW-K305GII
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
