// Runs the console codec's fuzz target over fixed inputs in the ordinary
// (sanitized) test build: every byte value, texts with line breaks and
// "NULL", and seeded random inputs of every size up to 600 bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

int ConsoleCodecFuzzOne(const uint8_t* data, size_t size);

TEST(ConsoleCodecFuzzReplay, FixedInputs) {
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(ConsoleCodecFuzzOne(all.data(), all.size()), 0);
  EXPECT_EQ(ConsoleCodecFuzzOne(nullptr, 0), 0);
  // UTF-16 texts: hex with line breaks, the notation with NULL and symbols.
  for (const std::u16string& t : {std::u16string(u"1b 6a 04\r\n1D 61 FF\u2029 0"), std::u16string(u"ANULLB\n\u240D\u240A\u00A0"),
                                  std::u16string(u"NULNULLL 中 4G")}) {
    EXPECT_EQ(ConsoleCodecFuzzOne(reinterpret_cast<const uint8_t*>(t.data()), t.size() * 2), 0);
  }
  // Received bytes that spell "NULL" before their first 00, which the
  // Receive box shows as it came and the notation reads back as 00.
  const std::string spelled("\xff\xffNU\x13NULL\xffx\x00\x00`0", 15);
  EXPECT_EQ(ConsoleCodecFuzzOne(reinterpret_cast<const uint8_t*>(spelled.data()), spelled.size()), 0);
  std::mt19937 random(20240611);
  for (size_t size = 0; size < 600; ++size) {
    std::vector<uint8_t> input(size);
    for (auto& b : input) b = static_cast<uint8_t>(random() % (size % 3 == 0 ? 256 : 16) + (size % 3 == 1 ? 0x30 : 0));
    EXPECT_EQ(ConsoleCodecFuzzOne(input.data(), input.size()), 0) << size;
  }
}
