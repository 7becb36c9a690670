// Factory settings of the simulated printer, per model code.
//
// A plain data table: each model lists the settings memory cells a fresh
// printer of that model holds. Addresses not listed read FF FF, as on a
// printer whose cell was never written.
#pragma once

#include <cstdint>
#include <vector>

namespace torva::sim {

struct SettingDefault {
  int bank;        // 1 or 2
  int address;     // 0..255
  uint16_t value;  // 16-bit value, sent low byte first
};

// The defaults of one model; empty for a model without a table.
const std::vector<SettingDefault>& ModelDefaults(int modelCode);

}  // namespace torva::sim
