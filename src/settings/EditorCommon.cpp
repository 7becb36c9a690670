#include "settings/EditorCommon.h"

#include <climits>

namespace torva::settings {

std::optional<int> ParseInt32(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  if (b == e) return std::nullopt;
  bool negative = false;
  if (text[b] == '+' || text[b] == '-') {
    negative = text[b] == '-';
    ++b;
  }
  if (b == e) return std::nullopt;
  long long v = 0;
  for (size_t i = b; i < e; ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return std::nullopt;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return std::nullopt;
  return static_cast<int>(v);
}

void AppendSpeedNote(std::string& state, int speed) {
  if (speed <= 100) state += " light motor load,";
}

void AppendDarknessNote(std::string& state, int darkness) {
  if (darkness > 110) state += " heavy TPH load,";
}

StateLine CloseStateLine(std::string state) {
  StateLine line;
  // "Printer state:" is 14 characters: nothing was appended.
  if (state.size() <= 14) {
    line.text = state + " Normal.";
  } else {
    state.back() = '.';
    line.text = state;
    line.olive = true;
  }
  return line;
}

}  // namespace torva::settings
