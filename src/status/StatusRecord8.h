// Decoding of the longer status records without widgets: the eight-byte
// record of the VD-K772 / VD-K9034 and of the VD-K512 shutter dialog, and
// (StatusRecord6.h) the six-byte custom record of the VD-K773.
//
// The rules are those of the four-byte decoder (StatusDecoder.h): an image
// is written only when its shown glyph changes, a condition that becomes
// present asks for the dialog to come back from the tray, a working state in
// error asks for it on every such record, and a hex label is written only when
// its byte differs from the value last shown. The decoder remembers what it
// showed across polling runs, as the dialog's labels do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "status/StatusDecoder.h"

namespace torva::status {

// One condition of a record: present when every bit of `mask` is set in
// byte `byte` (1-based), or, when `orByte` is not 0, every bit of `orMask` in
// byte `orByte`. A condition reported in two places is one flag and one image.
struct RecordCondition {
  const char* flag;
  int byte;
  uint8_t mask;
  const char* image;
  int orByte = 0;
  uint8_t orMask = 0;
};

// One working state: code k of byte 3 AND 1F hex and the image it drives.
struct RecordState {
  int code;
  const char* image;
};

// A decoder driven by a condition table, a working-state table and a memo
// writer, for records of any length.
class RecordTableDecoder {
 public:
  // Writes the memo lines from the decoder's flags as just updated.
  using MemoWriter = std::function<void(const RecordTableDecoder&, MemoLanguage, std::vector<std::string>&)>;

  RecordTableDecoder(size_t length, std::vector<RecordCondition> conditions, std::vector<RecordState> states,
                     MemoWriter memo);

  size_t recordLength() const { return length_; }

  // Forgets everything shown (images, flags and the bytes of the labels).
  void reset();
  // A new polling run: images and flags are forgotten, the labels keep what
  // they show (so a label is always rewritten when its byte differs).
  void restart();
  // The hex labels back to "00H" (the all-clear pass at the end of polling):
  // the writes of the labels whose byte is not zero.
  std::vector<LabelWrite> clearLabels();
  // Decodes one whole record; a record of another length decodes nothing.
  DecodeResult decode(std::span<const uint8_t> record, MemoLanguage language);
  // The dialog put the Init glyph on every image: the next record writes
  // them again. The labels keep what they show.
  void viewWasReset();

  // Every image the decoder writes, in its order.
  std::vector<std::string> images() const;
  // A condition as last decoded (false before the first record).
  bool flag(const std::string& name) const;
  Glyph shown(const std::string& image) const;
  // The byte a hex label shows as far as the decoder knows.
  uint8_t labelByte(size_t index) const { return index < lastBytes_.size() ? lastBytes_[index] : 0; }

  const std::vector<RecordCondition>& conditions() const { return conditions_; }
  const std::vector<RecordState>& states() const { return states_; }

 private:
  void setImage(const std::string& image, Glyph g, DecodeResult& out);

  size_t length_;
  std::vector<RecordCondition> conditions_;
  std::vector<RecordState> states_;
  MemoWriter memo_;
  std::vector<bool> flags_;
  std::vector<std::pair<std::string, Glyph>> shown_;
  std::vector<uint8_t> lastBytes_;
};

// The two dialogs that read the eight-byte record.
enum class Record8Variant {
  K772,  // VD-K772 and VD-K9034: both paper channels, the printer jam in two places
  K512,  // VD-K512 shutter dialog: the shutter, cutter and jam on one image, rotated states
};

constexpr size_t kRecord8Length = 8;

std::vector<RecordCondition> Record8Conditions(Record8Variant v);
// Working states in the order their images are written.
std::vector<RecordState> Record8States(Record8Variant v);
RecordTableDecoder MakeRecord8Decoder(Record8Variant v);

// Caption of the working-state box of code k (0..7) in the dialog, English
// or Chinese (UTF-8); empty for another code.
std::string Record8StateCaption(Record8Variant v, int code, bool chinese);

}  // namespace torva::status
