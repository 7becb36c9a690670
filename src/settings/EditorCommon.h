// Small pieces every settings editor family shares without widgets: the
// integer conversion of the edits and the printer-state line.
#pragma once

#include <optional>
#include <string>

namespace torva::settings {

// A decimal 32-bit integer with an optional sign, after trimming blanks.
std::optional<int> ParseInt32(const std::string& text);

// The printer-state line of Get and Save: " light motor load," for a speed of
// 100 or less, " heavy TPH load," for a darkness above 110.
struct StateLine {
  std::string text;
  bool olive = false;
};
void AppendSpeedNote(std::string& state, int speed);
void AppendDarknessNote(std::string& state, int darkness);
// " Normal." when nothing was appended, else the last comma becomes "." and
// the line is olive.
StateLine CloseStateLine(std::string state);

}  // namespace torva::settings
