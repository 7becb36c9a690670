#include "tools/MarkLog.h"

#include <algorithm>
#include <cstdio>

namespace torva::tools {

namespace {

// A sample (or the threshold byte) in volts.
double Volts(int sample) { return sample * 5.0 / 256.0; }

std::string Fixed2(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%1.2f", v);
  return buf;
}

const char* Tag(int k) {
  if (k < 10) return "mm:    ";
  if (k < 100) return "mm:  ";
  return "mm:";
}

}  // namespace

std::string MarkWindowLine(int k, double last, double max, double min) {
  return "l= " + std::to_string(k) + Tag(k) + "U=" + Fixed2(last) + "V->" + "Max=" + Fixed2(max) + "V,Min=" +
         Fixed2(min) + "V,dif=" + Fixed2(max - min) + "V";
}

std::string MarkFoundLine(int k, double max, bool english) {
  return std::string(english ? "Black mark found ! Lg=" : "找到黑标！ Lg=") + std::to_string(k * 8) +
         ",steps=" + std::to_string(k) + "mm,U=" + Fixed2(max) + "V";
}

std::string SensorLevelLine(uint8_t t, bool english) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "%2X", static_cast<unsigned>(t));
  return std::string(english ? "Actual Sensor Level = " : "传感器阀值 = ") + Fixed2(Volts(t)) + "V (Hex:" + hex +
         ")";
}

std::vector<std::string> DecodeMarkLog(std::span<const uint8_t> log, int windowLimit, std::optional<uint8_t> threshold,
                                       bool english) {
  std::vector<std::string> lines;
  // Without a threshold from the printer there is nothing to decode with,
  // and no level to report.
  if (!threshold) return lines;
  // Positions past what arrived read 0: the log buffer is zero-filled.
  auto sample = [&](int pos) { return pos >= 0 && static_cast<size_t>(pos) < log.size() ? log[pos] : 0; };
  const uint8_t t = *threshold;
  const double level = Volts(t);
  int pos = 1;
  int k = 0;
  int run = 0;
  while (pos < windowLimit) {
    double max = Volts(sample(pos));
    double min = max;
    for (int i = 0; i < 7; ++i) {
      const double v = Volts(sample(pos + 1));
      max = std::max(max, v);
      min = std::min(min, v);
      ++pos;
    }
    const double last = Volts(sample(pos));
    if (level > max) run = 0;
    ++run;
    lines.push_back(MarkWindowLine(k, last, max, min));
    if (run > 3) {
      lines.push_back(MarkFoundLine(k, max, english));
      break;
    }
    ++k;
    ++pos;
  }
  lines.push_back(SensorLevelLine(t, english));
  return lines;
}

}  // namespace torva::tools
