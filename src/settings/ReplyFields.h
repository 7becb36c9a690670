// Small pieces the settings maps share to turn a printer's two-byte reply
// into a list position and a list text back into the value it stores.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace torva::settings {

// The text in lower case, for list texts compared without regard to case.
inline std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// A list index that the list may not have: past its end the box shows nothing.
inline int IndexIn(size_t itemCount, int index) {
  return index >= 0 && static_cast<size_t>(index) < itemCount ? index : -1;
}

// A pair (0,0) / (1,0) / ... up to maxValue with hi 0: its value, else -1.
inline int SmallPair(uint8_t lo, uint8_t hi, int maxValue) { return hi == 0 && lo <= maxValue ? lo : -1; }

// The baud code of a rate, as the printer stores it; -1 for another rate.
inline int BaudCode(const std::string& rate) {
  static const std::pair<const char*, int> codes[] = {{"9600", 0},   {"19200", 1}, {"38400", 2}, {"57600", 3},
                                                      {"4800", 4},   {"2400", 5},  {"1200", 6},  {"115200", 7}};
  for (const auto& [text, code] : codes) {
    if (rate == text) return code;
  }
  return -1;
}

// The list position of a stored baud code in 4800 9600 19200 38400 57600
// 115200; -1 for another code (2400 and 1200 have none).
inline int BaudIndexOfCode(int code) {
  switch (code) {
    case 4: return 0;
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    case 3: return 4;
    case 7: return 5;
    default: return -1;
  }
}

}  // namespace torva::settings
