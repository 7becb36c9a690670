// Fuzz target of the black-mark log decoder: any log of any length with any
// threshold (or none), either window limit, either language. Besides the
// sanitizers it checks what the decoder promises: it walks exactly to its
// limit unless it finds a mark, the found line comes right after the window
// that completes the run, the closing line always ends the memo and reports
// the threshold (0 when there is none), and nothing is decoded without one.
//
// Input: byte 0 the threshold, byte 1 the choices (bit 0 the limit of group
// A, bit 1 no threshold, bit 2 Chinese), the rest the log as it arrived.
//
// Built by clang as the libFuzzer target (with TORVA_FUZZ_MAIN), and into
// the ordinary test build for the replay test.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "tools/MarkLog.h"

// The decoder is compiled into this target itself (no Qt, no library).
#include "tools/MarkLog.cpp"

using namespace torva::tools;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

int MarkLogFuzzOne(const uint8_t* data, size_t size) {
  const uint8_t t = size > 0 ? data[0] : 0;
  const uint8_t choices = size > 1 ? data[1] : 0;
  const bool groupA = choices & 1;
  const bool none = choices & 2;
  const bool english = !(choices & 4);
  const std::span<const uint8_t> log = size > 2 ? std::span<const uint8_t>(data + 2, size - 2) : std::span<const uint8_t>();
  const int limit = groupA ? kMarkWindowLimitA : kMarkWindowLimit;
  const std::optional<uint8_t> threshold = none ? std::nullopt : std::optional<uint8_t>(t);

  const std::vector<std::string> lines = DecodeMarkLog(log, limit, threshold, english);
  if (none) {
    Require(lines.empty());
    return 0;
  }
  Require(!lines.empty());
  Require(lines.back() == SensorLevelLine(t, english));
  const size_t windows = groupA ? 375 : 250;
  const std::string found = english ? "Black mark found ! Lg=" : "找到黑标！ Lg=";
  const bool wasFound = lines.size() >= 2 && StartsWith(lines[lines.size() - 2], found);
  const size_t windowLines = lines.size() - 1 - (wasFound ? 1 : 0);
  if (wasFound) {
    // A run of four needs four windows at least.
    Require(windowLines >= 4 && windowLines <= windows);
    Require(StartsWith(lines[lines.size() - 2], found + std::to_string((windowLines - 1) * 8) + ",steps=" +
                                                    std::to_string(windowLines - 1) + "mm,U="));
  } else {
    Require(windowLines == windows);
  }
  for (size_t k = 0; k < windowLines; ++k) Require(StartsWith(lines[k], "l= " + std::to_string(k) + "mm:"));
  // The same log with the bytes past the walk cut off decodes the same: the
  // walk reads up to its limit and no further.
  if (log.size() > static_cast<size_t>(limit)) Require(DecodeMarkLog(log.first(limit), limit, threshold, english) == lines);
  return 0;
}

#ifdef TORVA_FUZZ_MAIN
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return MarkLogFuzzOne(data, size); }
#endif
