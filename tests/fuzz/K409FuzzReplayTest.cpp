// Runs the settings-file fuzz target over a file of the RWN-K409 editor, so
// its import table, export and second import run in the ordinary (sanitized)
// test build. (A file of its own: GCC 12 at -O3 raises a false
// -Wmaybe-uninitialized in the other replay test once a second test shares
// its unit.)
#include <gtest/gtest.h>

#include <utility>

#include "settings/SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

TEST(SettingsFileFuzzReplay, K409File) {
  // Its nineteen records under its tag, each value one its import takes (so
  // the export and the second import run), and one it refuses.
  torva::settings::SettingsFileWriter k409;
  const std::pair<int, int> records[] = {{0x16, 1},  {0x40, 1},   {0x17, 7},  {0x19, 2},  {0x1B, 2},
                                         {0x4E, 5},  {0x4A, 6},   {0x06, 120}, {0x02, 70}, {0x44, 1},
                                         {0x54, 0},  {0x30, 0},   {0x14, 1},  {0x12, 1},  {0x58, 0},
                                         {0x6D, 9},  {0x65, 1},   {0x7D, 1},  {0x2C, 300}, {0x6D, 0x0A}};
  for (const auto& [address, value] : records) k409.SaveSettingsToFile(address, value);
  const torva::settings::Bytes file = k409.Finish("ABCDEFGHI");
  EXPECT_EQ(LLVMFuzzerTestOneInput(file.data(), file.size()), 0);
  // Cut short and one byte long: refused before anything is applied.
  EXPECT_EQ(LLVMFuzzerTestOneInput(file.data(), file.size() - 1), 0);
  torva::settings::Bytes longer = file;
  longer.push_back(0);
  EXPECT_EQ(LLVMFuzzerTestOneInput(longer.data(), longer.size()), 0);
}
