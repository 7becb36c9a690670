#include "settings/SettingsFile.h"

#include <algorithm>
#include <cstring>

namespace torva::settings {

namespace {

bool HasPrefix(const std::array<uint8_t, 9>& bytes, const std::array<uint8_t, 4>& signature) {
  return bytes[0] == 0x1B && bytes[1] == 0x73 && std::equal(signature.begin(), signature.end(), bytes.begin() + 2);
}

SettingsRecord MakeRecord(const std::array<uint8_t, 4>& signature, uint8_t lo, uint8_t hi, uint8_t address) {
  SettingsRecord r;
  r.bytes = {0x1B, 0x73, signature[0], signature[1], signature[2], signature[3], lo, hi, address};
  return r;
}

}  // namespace

bool SettingsRecord::isBank1() const { return HasPrefix(bytes, kBank1Signature); }
bool SettingsRecord::isBank2() const { return HasPrefix(bytes, kBank2Signature); }

std::string ModelTag(int modelCode) {
  for (const auto& entry : kModelTags) {
    if (entry.modelCode == modelCode) return entry.tag;
  }
  return {};
}

bool SettingsFileWriter::SaveSettingsToFile(int address, long long value) {
  if (value < 0 || value > 65535 || address < 0 || address > 256) return false;
  records_.push_back(MakeRecord(kBank1Signature, static_cast<uint8_t>(value % 256),
                                static_cast<uint8_t>(value / 256), static_cast<uint8_t>(address & 0xFF)));
  return true;
}

bool SettingsFileWriter::SaveSettingsToFile2(int address, long long value) {
  if (value < 0 || value > 65535 || address < 0 || address > 256) return false;
  records_.push_back(MakeRecord(kBank2Signature, static_cast<uint8_t>(value & 0xFF), 0x00,
                                static_cast<uint8_t>(address & 0xFF)));
  return true;
}

Bytes SettingsFileWriter::Finish(const std::string& tag) const {
  Bytes out;
  out.reserve(records_.size() * 9 + tag.size());
  for (const auto& r : records_) out.insert(out.end(), r.bytes.begin(), r.bytes.end());
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

FileSizeCheck CheckFileSize(long long size, const FileReadProfile& profile) {
  FileSizeCheck check;
  check.empty = size == 0;
  if (profile.framing == FileFraming::BlocksToEnd) {
    // Signed arithmetic below the tag: a 5-byte file leaves -4, not a
    // multiple of 9, and no record.
    const long long rest = size - 9;
    check.oddSize = rest % 9 != 0;
    const long long count = rest / 9;
    check.recordCount = count > 0 ? static_cast<int>(std::min<long long>(count, 1LL << 30)) : 0;
    check.tooManyRecords = size > MaxFileBytes(profile);
    return check;
  }
  // What is left for the records once the tag is taken off: size - 9, or
  // size - 10 for the one 10-byte tag.
  const long long rest = size - std::max<long long>(9, static_cast<long long>(profile.tag.size()));
  // rest mod 9 as integer arithmetic gives it: -9 (an empty file read with a
  // 9-byte tag) is a multiple of 9, -4 is not.
  check.oddSize = rest % 9 != 0;
  const long long count = rest / 9;  // truncates toward zero
  check.recordCount = count > 0 ? static_cast<int>(std::min<long long>(count, 1LL << 30)) : 0;
  check.tooManyRecords = count > profile.maxRecords;
  return check;
}

long long MaxFileBytes(const FileReadProfile& profile) {
  // The records and the tag block; one byte more is a block too many.
  if (profile.framing == FileFraming::BlocksToEnd) return 9LL * (std::max(profile.maxRecords, 0) + 1LL);
  // maxRecords records, the tag block, and up to 8 odd bytes (a ninth would
  // make one more record).
  return 9LL * profile.maxRecords + 9 + 8 + std::max<long long>(0, static_cast<long long>(profile.tag.size()) - 9);
}

namespace {

FileReadResult ReadBlocksToEnd(const uint8_t* data, size_t size, const FileReadProfile& profile,
                               const FileSizeCheck& check) {
  FileReadResult result;
  // The block buffer keeps what the last read left in it: a short block
  // overwrites only its first bytes.
  std::array<uint8_t, 9> buffer{};
  std::vector<SettingsRecord> blocks;
  for (size_t pos = 0; pos < size; pos += 9) {
    const size_t n = std::min<size_t>(9, size - pos);
    std::memcpy(buffer.data(), data + pos, n);
    if (n < 9) {
      result.shortRecord = true;
      break;
    }
    SettingsRecord r;
    r.bytes = buffer;
    blocks.push_back(r);
  }
  // The first (size - 9) div 9 blocks are records; each of them was read
  // whole, since the blocks read reach at least that far.
  const size_t count = std::min(static_cast<size_t>(check.recordCount), blocks.size());
  for (size_t i = 0; i < count; ++i) result.records.push_back(blocks[i]);
  const std::string block(buffer.begin(), buffer.end());
  result.tagText = block.substr(0, block.find('\0'));
  result.tagMatches = profile.tag.size() == 9 && block == profile.tag;
  return result;
}

}  // namespace

FileReadResult ReadSettingsFile(const uint8_t* data, size_t size, const FileReadProfile& profile) {
  FileReadResult result;
  const FileSizeCheck check = CheckFileSize(static_cast<long long>(size), profile);
  if (check.tooManyRecords) {
    result.refusedTooLarge = true;
    return result;
  }
  if (profile.framing == FileFraming::BlocksToEnd) return ReadBlocksToEnd(data, size, profile, check);
  size_t pos = 0;
  for (int i = 0; i < check.recordCount; ++i) {
    if (pos >= size) {
      result.records.push_back(std::nullopt);
      continue;
    }
    if (size - pos < 9) {
      result.shortRecord = true;
      break;
    }
    SettingsRecord r;
    std::memcpy(r.bytes.data(), data + pos, 9);
    pos += 9;
    result.records.push_back(r);
  }
  // The tag block: tag-length bytes into a zero-filled buffer, read as text up
  // to its first zero byte.
  const size_t tagLength = std::max<size_t>(profile.tag.size(), 9);
  std::string block(tagLength, '\0');
  const size_t available = pos < size ? std::min(tagLength, size - pos) : 0;
  if (available > 0) std::memcpy(block.data(), data + pos, available);
  result.tagText = block.substr(0, block.find('\0'));
  result.tagMatches = !profile.tag.empty() && result.tagText == profile.tag;
  return result;
}

}  // namespace torva::settings
