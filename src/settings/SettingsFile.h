// The settings file (*.pes): a run of 9-byte records, each byte for byte a
// write-setting command, closed by the model's tag as plain ASCII (no
// terminator, no header, no count, no checksum).
//
// This is the format alone, on bytes in memory, with no file or widget: one
// writer and one reader that every editor uses. What an editor accepts
// (its addresses and values) is its own table, applied to the records the
// reader hands back.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/SettingProtocol.h"

namespace torva::settings {

// One record of a settings file.
struct SettingsRecord {
  std::array<uint8_t, 9> bytes{};
  uint8_t address() const { return bytes[8]; }
  uint8_t lo() const { return bytes[6]; }
  uint8_t hi() const { return bytes[7]; }
  uint16_t value() const { return static_cast<uint16_t>(bytes[6] | (bytes[7] << 8)); }
  // The first six bytes are 1B 73 and the bank-1 (or bank-2) signature.
  bool isBank1() const;
  bool isBank2() const;
};

// The model tags, one per editor. The RW-K305 and RW-K305GII editors share
// one; the VD-K9034's has 10 bytes.
struct ModelTagEntry {
  int modelCode;
  const char* tag;
};
inline constexpr ModelTagEntry kModelTags[] = {
    {2, "VD-M512II"},  {1, "VD-M512ab"},  {8, "VD-K512ab"},  {7, "VD-K201ab"},  {3, "VD-K305ab"},
    {0, "VD-N512ab"},  {12, "VD-K773ab"}, {5, "ABCDEFGHI"},  {18, "VD-H738ab"}, {17, "VD-K466ab"},
    {13, "VD-K9034ab"}, {11, "VD-K772ab"}, {16, "VD-K772ab"}, {10, "RW-K201RX"}, {9, "RW-K305RX"},
    {4, "RW-K201XX"},  {6, "RW-K305XX"},  {15, "RW-K305XX"}, {14, "RW-K305XX"},
};
// The tag of a model code's editor; empty for an unknown code.
std::string ModelTag(int modelCode);

// Builds a file in memory: the records in the order added, then the tag.
class SettingsFileWriter {
 public:
  // Refuses (false, nothing added) a value outside 0..65535 or an address
  // outside 0..256; 256 passes and is stored as its low 8 bits.
  bool SaveSettingsToFile(int address, long long value);
  // A bank-2 record: only the value's low byte is stored, then 00.
  bool SaveSettingsToFile2(int address, long long value);
  int recordCount() const { return static_cast<int>(records_.size()); }
  // The whole file: every record, then the tag.
  Bytes Finish(const std::string& tag) const;

 private:
  std::vector<SettingsRecord> records_;
};

// How a reader finds the records and the tag in a file.
enum class FileFraming {
  // (size - tag length) div 9 records, then the next tag-length bytes are
  // the tag; bytes after it are ignored. The common-address editors and the
  // VD-K9034 (10-byte tag) read this way.
  CountThenTag,
  // The two-bank editors with a 9-byte tag: 9-byte blocks from the start to
  // the end of the file; a block cut short by the end of the file marks the
  // file bad and ends the reading. The tag is the 9-byte block buffer as the
  // reading left it: the last whole block, or after a short block its r bytes
  // followed by bytes r..8 of the block before. The first (size - 9) div 9
  // blocks are the records. A file of more than maxRecords + 1 blocks (the
  // records and the tag) is refused whole.
  BlocksToEnd,
};

// How an editor reads a file.
struct FileReadProfile {
  std::string tag;     // the only tag it accepts
  int maxRecords = 25; // the size of its record store
  FileFraming framing = FileFraming::CountThenTag;
};

// What the size of a file says before anything is read.
// The tag's length (9, or 10 for the VD-K9034) is taken off the size first.
struct FileSizeCheck {
  int recordCount = 0;       // (size - tag length) div 9, 0 when negative
  bool oddSize = false;      // (size - tag length) is not a multiple of 9
  bool tooManyRecords = false;  // more records than the store holds
  bool empty = false;        // the file has no byte at all
};
FileSizeCheck CheckFileSize(long long size, const FileReadProfile& profile);
// The most bytes an editor needs to read of a file it does not refuse by
// size: its records, the tag and the odd bytes that may follow it (for
// BlocksToEnd: the records and the tag, a larger file being refused).
long long MaxFileBytes(const FileReadProfile& profile);

struct FileReadResult {
  bool refusedTooLarge = false;  // more records than the store holds: nothing read
  bool tagMatches = false;       // the block after the records is the tag
  bool shortRecord = false;      // a record (BlocksToEnd: a block) could not be read whole
  std::string tagText;           // the tag block as text, up to its first zero byte
  // The records in file order; an empty slot (a record past the end of the
  // file) is std::nullopt.
  std::vector<std::optional<SettingsRecord>> records;
};
// Reads a whole file held in memory by the profile's framing. CountThenTag:
// (size - tag length) div 9 records, then the next tag-length bytes as the
// tag; bytes after the tag are ignored, extra bytes anywhere else shift the
// tag and make it fail. BlocksToEnd: see FileFraming; bytes after the tag
// make a short block (or a block of their own) and the tag fails.
FileReadResult ReadSettingsFile(const uint8_t* data, size_t size, const FileReadProfile& profile);
inline FileReadResult ReadSettingsFile(const Bytes& data, const FileReadProfile& profile) {
  return ReadSettingsFile(data.data(), data.size(), profile);
}

}  // namespace torva::settings
