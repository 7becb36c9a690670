// The known settings of the two-bank tests: a state with every control away
// from its start value, the printer memory that reads as it, and its
// settings file written out record by record.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "settings/TwoBankMap.h"
#include "sim/SimPrinter.h"

namespace twobank_test {

using torva::settings::Bytes;
using torva::settings::TwoBankKeptBytes;
using torva::settings::TwoBankProfile;
using torva::settings::TwoBankState;

inline Bytes Rec(uint8_t address, uint8_t lo, uint8_t hi) {
  return {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, lo, hi, address};
}
inline Bytes Rec2(uint8_t address, uint8_t value) {
  return {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, value, 0x00, address};
}
inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline bool IsK9034(const TwoBankProfile& p) { return &p == &torva::settings::K9034Profile(); }
inline bool IsK772(const TwoBankProfile& p) { return &p == &torva::settings::K772Profile(); }

// A state with every control away from its start value.
inline TwoBankState KnownState(const TwoBankProfile& p) {
  TwoBankState s;
  s.baud = 5;  // 115200
  s.feedLine = "300";
  s.flow = 0;      // DTR/DSR
  s.dataBits = 1;  // 7
  s.stopBits = 1;  // 2
  s.parity = 1;    // Odd
  s.leftMargin = "5";
  s.rightMargin = "7";
  s.speed = "120";
  s.head1 = "90";
  s.head2 = "100";
  s.paperType = 1;
  s.paperEnd = "33";
  s.autoCutter = 0;  // On
  s.cr = 1;
  s.codePage = 8;  // PC866
  s.intlChar = 3;  // U.K
  s.dataError = 1;
  s.paperWidth = "72";
  s.bufferSize = 1;
  s.paperOutMode = IsK9034(p) ? 3 : 2;
  s.waitTime = "30";
  s.autoTime = "200";
  s.autoSpeed = "60";
  s.usbMode = 0;
  s.cutMode = 2;
  if (p.surfaceExchanged) s.printingSurface = 1;  // Back
  s.front = {1, 0, 1, 1, "2", "3"};               // enabled, not inverted, Printing, Center, x2, x3
  s.back = {0, 1, 0, 2, "3", "2"};                // disabled, inverted, Feeding, Right, x3, x2
  s.defaultInvert = 0;
  return s;
}

// A printer whose memory reads as KnownState.
struct Cell {
  int bank, address;
  uint16_t value;
};
inline std::vector<Cell> KnownCells(const TwoBankProfile& p) {
  std::vector<Cell> cells = {
      {1, 0x16, 7},      {1, 0x15, 0},      {1, 0x17, 0x0207}, {1, 0x14, 1},  {1, 0x24, 5},
      {1, 0x25, 7},      {1, 0x06, 120},    {1, 0x02, 0x645A}, {1, 0x12, 1},  {1, 0x30, 3},
      {1, 0x36, 0x0308}, {1, 0x3C, 0x041E}, {1, 0x41, 200},    {1, 0x4E, 60}, {1, 0x70, 0},
      {1, 0x31, 0x0502}, {1, 0x35, 2},      {1, 0x26, 72},     {1, 0x33, 33}, {1, 0x77, 0x01CB},
      {1, 0x78, 0x0174}, {1, 0x2B, 300},    {2, 0x00, 1},      {2, 0x03, 0},  {2, 0x10, 1},
  };
  cells.push_back({1, 0x4A, static_cast<uint16_t>(IsK9034(p) ? 0x0103 : 0x0102)});
  if (p.surfaceExchanged) cells.push_back({1, 0x05, 2});
  return cells;
}
// The high bytes a Get of that printer keeps.
inline TwoBankKeptBytes KnownKept(const TwoBankProfile& p) { return {1, IsK9034(p) ? 0 : 4, 5}; }

// The export of KnownState with a presenter high byte of 4 and a cut high
// byte of 5, record by record.
inline Bytes KnownFile(const TwoBankProfile& p) {
  const bool k9034 = IsK9034(p);
  Bytes out;
  auto add = [&](const Bytes& r) { out.insert(out.end(), r.begin(), r.end()); };
  add(Rec(0x16, 0x07, 0x00));
  if (k9034) {
    add(Rec(0x15, 0x00, 0x00));
    add(Rec(0x2B, 0x2C, 0x01));
  } else {
    add(Rec(0x2B, 0x2C, 0x01));
    add(Rec(0x15, 0x00, 0x00));
  }
  add(Rec(0x17, 0x07, 0x02));
  add(Rec(0x14, 0x01, 0x00));
  add(Rec(0x24, 0x05, 0x00));
  add(Rec(0x25, 0x07, 0x00));
  add(Rec(0x06, 0x78, 0x00));
  add(Rec(0x02, 0x5A, 0x64));
  add(Rec(0x12, 0x01, 0x00));
  add(Rec(0x33, 0x21, 0x00));
  add(Rec(0x30, IsK772(p) ? 0x03 : 0x01, 0x00));
  add(Rec2(0x00, 0x01));
  add(Rec(0x36, 0x12, 0x03));  // PC866 is item 8, stored as 18
  add(Rec2(0x10, 0x01));
  add(Rec(0x26, 0x48, 0x00));
  add(Rec(0x35, 0x02, 0x00));
  add(Rec(0x4A, k9034 ? 0x03 : 0x02, 0x00));  // the kept byte stays out of the file
  add(Rec(0x3C, 0x1E, k9034 ? 0x00 : 0x04));
  add(Rec(0x41, 0xC8, 0x00));
  add(Rec(0x4E, 0x3C, 0x00));
  add(Rec(0x70, 0x00, 0x00));
  add(Rec(0x31, 0x02, 0x05));
  if (p.surfaceExchanged) add(Rec(0x05, 0x02, 0x00));
  add(Rec(0x26, 0x48, 0x00));
  add(Rec(0x77, 0xCB, 0x01));
  add(Rec(0x78, 0x74, 0x01));
  add(Rec2(0x03, 0x00));
  add(Text(p.tag));
  return out;
}

// The printer's memory, bank 1 then bank 2.
inline std::vector<uint16_t> Memory(const torva::sim::SimPrinter& printer) {
  std::vector<uint16_t> m;
  for (int bank = 1; bank <= 2; ++bank)
    for (int a = 0; a < 256; ++a) m.push_back(printer.setting(a, bank));
  return m;
}

// The read requests the printer got, as bank * 256 + address, in order.
inline std::vector<int> Requests(const torva::sim::SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log()) {
    if (e.name == "ReadSetting") out.push_back(0x100 + e.frame[2]);
    if (e.name == "ReadSetting2") out.push_back(0x200 + e.frame[2]);
  }
  return out;
}

inline std::vector<int> ExpectedRequests(const TwoBankProfile& p) {
  std::vector<int> out;
  for (const torva::settings::TwoBankGetStep& step : p.getSteps) {
    const auto& info = torva::settings::TwoBankInfoOf(step.setting);
    for (int i = 0; i < step.reads; ++i) out.push_back(info.bank * 0x100 + info.address);
  }
  return out;
}

}  // namespace twobank_test
