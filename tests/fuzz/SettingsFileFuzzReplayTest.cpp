// Runs the settings-file fuzz target over a fixed set of inputs in the
// ordinary (sanitized) test build: the golden file, every size around the
// store's limit, and seeded random files.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "settings/SettingsFile.h"
#include "settings/TwoBankMap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

using torva::settings::Bytes;

TEST(SettingsFileFuzzReplay, FixedInputs) {
  torva::settings::SettingsFileWriter w;
  for (int i = 0; i < 19; ++i) w.SaveSettingsToFile(0x06 + i, i * 37);
  const Bytes golden = w.Finish("VD-M512II");
  EXPECT_EQ(LLVMFuzzerTestOneInput(golden.data(), golden.size()), 0);
  // The records of the added settings (24, within the store), under the tags
  // of the editors that take them.
  for (const char* tag : {"VD-K305ab", "VD-N512ab", "VD-K512ab"}) {
    torva::settings::SettingsFileWriter added;
    for (int address : {0xB7, 0xB8, 0x4A, 0x4E, 0x6D, 0x7D, 0xD5, 0x60}) {
      for (int value : {1, 4, 0xFFFF}) added.SaveSettingsToFile(address, value);
    }
    const Bytes file = added.Finish(tag);
    EXPECT_EQ(LLVMFuzzerTestOneInput(file.data(), file.size()), 0) << tag;
  }
  // The keys of the RW-K201E, RW-K305E and RW-K305GII tables (and their
  // neighbours) under the three tags; the tag alone leaves the RW-K305GII
  // without a code page, which refuses its export.
  for (const char* tag : {"RW-K201RX", "RW-K305RX", "RW-K305XX"}) {
    torva::settings::SettingsFileWriter pos;
    for (int address : {0x30, 0x43, 0x44, 0x0E, 0x0F, 0x40}) {
      for (int value : {1, 256, 0xFFFF}) pos.SaveSettingsToFile(address, value);
    }
    const Bytes file = pos.Finish(tag);
    EXPECT_EQ(LLVMFuzzerTestOneInput(file.data(), file.size()), 0) << tag;
    const Bytes tagOnly = torva::settings::SettingsFileWriter().Finish(tag);
    EXPECT_EQ(LLVMFuzzerTestOneInput(tagOnly.data(), tagOnly.size()), 0) << tag;
  }
  EXPECT_EQ(LLVMFuzzerTestOneInput(nullptr, 0), 0);
  // The two-bank editors' files of their start state, whole and cut short.
  for (const auto* profile : torva::settings::TwoBankProfiles()) {
    torva::settings::TwoBankState state;
    state.codePage = 8;
    state.autoSpeed = "28";
    const auto check = torva::settings::CheckTwoBankEdits(state, profile->exportChecks);
    ASSERT_TRUE(check.values);
    const Bytes file = torva::settings::BuildTwoBankExport(*profile, state, *check.values, {}).file;
    for (size_t cut : {size_t{0}, size_t{1}, size_t{9}, size_t{13}}) {
      EXPECT_EQ(LLVMFuzzerTestOneInput(file.data(), file.size() - std::min(cut, file.size())), 0) << profile->name;
    }
  }
  std::mt19937 random(20240601);
  for (size_t size = 0; size < 300; ++size) {
    Bytes file(size);
    for (auto& b : file) b = static_cast<uint8_t>(random());
    // Half of them carry the bank-1 prefix in every record slot.
    if (size % 2 == 0) {
      for (size_t at = 0; at + 9 <= size; at += 9) {
        const uint8_t prefix[] = {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08};
        std::copy(std::begin(prefix), std::end(prefix), file.begin() + static_cast<long>(at));
      }
    }
    EXPECT_EQ(LLVMFuzzerTestOneInput(file.data(), file.size()), 0) << size;
  }
}
