// Checksums of what the simulated printer takes in, kept piece by piece so a
// download of any size is checked without keeping its bytes: CRC-32 (the
// polynomial of zlib, PNG and `crc32`) and SHA-256 (what `sha256sum` prints).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace torva::sim {

class Crc32 {
 public:
  void update(const uint8_t* data, size_t n);
  uint32_t value() const { return ~state_; }

 private:
  uint32_t state_ = 0xFFFFFFFFu;
};

class Sha256 {
 public:
  Sha256();
  void update(const uint8_t* data, size_t n);
  // The digest of everything so far, as 64 lower-case hex digits; more
  // bytes may follow.
  std::string hex() const;

 private:
  void block(const uint8_t* p);
  std::array<uint32_t, 8> h_;
  std::array<uint8_t, 64> buf_{};
  size_t used_ = 0;
  uint64_t total_ = 0;
};

}  // namespace torva::sim
