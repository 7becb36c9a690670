// The black-mark log decoder against golden files: fixture logs (a mark from
// the first windows, one after a low window, none over the whole walk of
// group A and of the other groups, voltages at the rounding ties) and the memo
// text expected of each in both languages, written by
// tests/tools/golden/make_mark_golden.py from the line formats alone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tools/MarkLog.h"

using torva::tools::DecodeMarkLog;
using torva::tools::kMarkWindowLimit;
using torva::tools::kMarkWindowLimitA;

namespace {

struct Fixture {
  std::vector<uint8_t> log;
  int limit = 0;
  int threshold = 0;
};

std::string GoldenPath(const std::string& file) { return std::string(TORVA_SOURCE_DIR) + "/tests/tools/golden/" + file; }

Fixture ReadLog(const std::string& name) {
  Fixture f;
  std::ifstream in(GoldenPath(name + ".hex"));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    if (!line.empty() && line[0] == '#') {
      std::string hash, limitWord, thresholdWord, threshold;
      words >> hash >> limitWord >> f.limit >> thresholdWord >> threshold;
      f.threshold = std::stoi(threshold, nullptr, 16);
      continue;
    }
    for (std::string byte; words >> byte;) f.log.push_back(static_cast<uint8_t>(std::stoi(byte, nullptr, 16)));
  }
  return f;
}

std::vector<std::string> ReadLines(const std::string& file) {
  std::ifstream in(GoldenPath(file));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(MarkLog, GoldenFilesInBothLanguages) {
  for (const char* name : {"mark-first-window", "mark-after-low", "mark-none-a", "mark-none-short", "mark-ties"}) {
    SCOPED_TRACE(name);
    const Fixture f = ReadLog(name);
    ASSERT_FALSE(f.log.empty());
    ASSERT_GT(f.limit, 0);
    for (bool english : {true, false}) {
      const std::vector<std::string> want = ReadLines(std::string(name) + (english ? ".en.txt" : ".cn.txt"));
      ASSERT_FALSE(want.empty());
      EXPECT_EQ(DecodeMarkLog(f.log, f.limit, static_cast<uint8_t>(f.threshold), english), want);
    }
  }
}

// What the fixtures are meant to show, so a regenerated file that lost its
// point is noticed.
TEST(MarkLog, FixturesShowTheirCases) {
  const auto first = ReadLines("mark-first-window.en.txt");
  EXPECT_EQ(first.size(), 6u);
  EXPECT_EQ(first[4].rfind("Black mark found ! Lg=24,steps=3mm,U=", 0), 0u) << first[4];
  const auto afterLow = ReadLines("mark-after-low.cn.txt");
  ASSERT_EQ(afterLow.size(), 8u);
  EXPECT_EQ(afterLow[6].rfind("找到黑标！ Lg=40,steps=5mm,U=", 0), 0u) << afterLow[6];
  EXPECT_EQ(afterLow[7].rfind("传感器阀值 = 2.50V (Hex:80)", 0), 0u);
  const auto noneA = ReadLines("mark-none-a.en.txt");
  ASSERT_EQ(noneA.size(), 376u);  // 375 windows and the closing line
  EXPECT_EQ(noneA[9].rfind("l= 9mm:    U=", 0), 0u);
  EXPECT_EQ(noneA[10].rfind("l= 10mm:  U=", 0), 0u);
  EXPECT_EQ(noneA[99].rfind("l= 99mm:  U=", 0), 0u);
  EXPECT_EQ(noneA[100].rfind("l= 100mm:U=", 0), 0u);
  EXPECT_EQ(noneA.back(), "Actual Sensor Level = 0.20V (Hex: A)");
  EXPECT_EQ(ReadLines("mark-none-short.en.txt").size(), 251u);  // 250 windows
}

TEST(MarkLog, LineFormats) {
  EXPECT_EQ(torva::tools::MarkWindowLine(9, 1.0, 4.98046875, 0.0),
            "l= 9mm:    U=1.00V->Max=4.98V,Min=0.00V,dif=4.98V");
  EXPECT_EQ(torva::tools::MarkWindowLine(10, 0.5, 0.5, 0.5), "l= 10mm:  U=0.50V->Max=0.50V,Min=0.50V,dif=0.00V");
  EXPECT_EQ(torva::tools::MarkWindowLine(100, 0, 0, 0), "l= 100mm:U=0.00V->Max=0.00V,Min=0.00V,dif=0.00V");
  EXPECT_EQ(torva::tools::MarkFoundLine(12, 4.0625, true), "Black mark found ! Lg=96,steps=12mm,U=4.06V");
  EXPECT_EQ(torva::tools::MarkFoundLine(0, 4.0625, false), "找到黑标！ Lg=0,steps=0mm,U=4.06V");
  EXPECT_EQ(torva::tools::SensorLevelLine(0x0A, true), "Actual Sensor Level = 0.20V (Hex: A)");
  EXPECT_EQ(torva::tools::SensorLevelLine(0xC3, false), "传感器阀值 = 3.81V (Hex:C3)");
}

// A failed calibration, or a failed threshold read after it: nothing of the
// log is decoded, and no sensor level is made up for the closing line.
TEST(MarkLog, NoThresholdGivesNoLine) {
  const std::vector<uint8_t> log(5000, 0xFF);
  EXPECT_TRUE(DecodeMarkLog(log, kMarkWindowLimitA, std::nullopt, true).empty());
  EXPECT_TRUE(DecodeMarkLog(log, kMarkWindowLimit, std::nullopt, false).empty());
}

// The walk goes to its limit whatever arrived: an empty log reads as zeros.
// With threshold 0 every window qualifies; with any other, none does.
TEST(MarkLog, EmptyLogIsWalkedAsZeros) {
  const auto zeroThreshold = DecodeMarkLog({}, kMarkWindowLimit, 0, true);
  ASSERT_EQ(zeroThreshold.size(), 6u);
  EXPECT_EQ(zeroThreshold[4], "Black mark found ! Lg=24,steps=3mm,U=0.00V");
  EXPECT_EQ(DecodeMarkLog({}, kMarkWindowLimitA, 1, true).size(), 376u);
  EXPECT_EQ(DecodeMarkLog({}, kMarkWindowLimit, 1, true).size(), 251u);
}
