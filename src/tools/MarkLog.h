// The black-mark sensor log the printer sends after its calibration, decoded
// into the lines the Check Mark dialog shows. No widget and no Qt here, so the
// decoder is tested against golden files and fuzzed on its own.
//
// The log is a byte string: byte 0 is ignored, every further byte is one
// sample of the mark sensor, worth sample x 5 / 256 V. The decoder takes the
// samples in windows of eight, from position 1 on, and walks up to the
// group's limit (3001 or 2001) whatever the number of bytes that arrived: a
// position beyond the log reads 0, as in the zero-filled buffer the log is
// read into.
//
// A mark is found when the window maxima stay at or above the threshold for
// four windows from the start, or for three windows after a window that lay
// wholly below it. One line per window walked:
//   "l= " k tag "U=" last "V->Max=" max "V,Min=" min "V,dif=" (max-min) "V"
// with the tag "mm:    " for k below 10, "mm:  " up to 99, "mm:" from 100 on,
// every voltage with two decimals ("%1.2f"); then, when found,
//   "Black mark found ! Lg=" k*8 ",steps=" k "mm,U=" max "V"
// and always the closing line
//   "Actual Sensor Level = " T*5/256 "V (Hex:" T as "%2X" ")".
// Without a threshold T read from the printer there is no line at all: a
// level the printer did not report is never shown.
// The Chinese lines differ only in the two prefixes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace torva::tools {

// Window limits of the walk: group A walks below 3001, the other groups
// below 2001 (375 and 250 windows).
inline constexpr int kMarkWindowLimitA = 3001;
inline constexpr int kMarkWindowLimit = 2001;

// One window's line.
std::string MarkWindowLine(int k, double last, double max, double min);
// The line that reports the mark.
std::string MarkFoundLine(int k, double max, bool english);
// The closing line with threshold t.
std::string SensorLevelLine(uint8_t t, bool english);

// The memo's lines for a log. `threshold` is the threshold the printer holds
// after its calibration; nullopt when the calibration or the threshold read
// after it failed: then nothing is decoded and no line is given (the dialog
// reports the failed step). Strings are UTF-8.
std::vector<std::string> DecodeMarkLog(std::span<const uint8_t> log, int windowLimit, std::optional<uint8_t> threshold,
                                       bool english);

}  // namespace torva::tools
