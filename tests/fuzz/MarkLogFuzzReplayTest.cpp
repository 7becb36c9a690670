// Runs the black-mark log decoder's fuzz target over fixed inputs in the
// ordinary (sanitized) test build: empty and tiny inputs, every choice byte,
// logs that find a mark at once or never, and seeded random logs of sizes
// around both window limits and beyond the largest buffer.
#include <gtest/gtest.h>

#include <random>
#include <vector>

int MarkLogFuzzOne(const uint8_t* data, size_t size);

TEST(MarkLogFuzzReplay, FixedInputs) {
  EXPECT_EQ(MarkLogFuzzOne(nullptr, 0), 0);
  for (int choices = 0; choices < 8; ++choices) {
    for (uint8_t t : {uint8_t{0}, uint8_t{0x0A}, uint8_t{0x80}, uint8_t{0xFF}}) {
      std::vector<uint8_t> input = {t, static_cast<uint8_t>(choices)};
      EXPECT_EQ(MarkLogFuzzOne(input.data(), input.size()), 0);
      input.resize(3001 + 2, 0xFF);  // every window at the top: found at once
      EXPECT_EQ(MarkLogFuzzOne(input.data(), input.size()), 0);
    }
  }
  std::mt19937 random(20240612);
  for (size_t size : {3u, 9u, 10u, 17u, 2001u, 2002u, 2003u, 3001u, 3003u, 5002u, 8002u, 9000u}) {
    for (int round = 0; round < 8; ++round) {
      std::vector<uint8_t> input(size);
      for (auto& b : input) b = static_cast<uint8_t>(random() % (round % 2 ? 256 : 40));
      EXPECT_EQ(MarkLogFuzzOne(input.data(), input.size()), 0) << size;
    }
  }
}
