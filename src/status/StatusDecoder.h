// Status record decoding without widgets.
//
// A decoder turns one whole status record into what a status dialog shows:
// indicator images (Error, OK or Init glyph), the hex label of each byte and
// the lines of the status memo. Each record layout has its own table of
// conditions; the decoder keeps what it last showed, so an image or a label is
// written only when its shown state changes.
//
// Every indicator keeps its own state. Where two conditions share one image
// (the printer jam and the bundler full condition of the VD-N512), the image
// shows Error while either of them is present, so one clearing never paints OK
// over the other's Error.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace torva::status {

// The three indicator pictures, plus "nothing written yet".
enum class Glyph : uint8_t { None, Init, OK, Error };

const char* GlyphName(Glyph g);  // "None", "Init", "OK", "Error"

// Memo language: English when Language is exactly "English", Chinese when it
// is exactly "Chinese", no memo lines otherwise.
enum class MemoLanguage { English, Chinese, None };
MemoLanguage MemoLanguageOf(const std::string& language);

struct ImageWrite {
  std::string image;  // object name of the indicator image
  Glyph glyph;
  bool operator==(const ImageWrite&) const = default;
};

struct LabelWrite {
  int index;          // 0 for the label of byte 1
  std::string text;   // "1FH"
  bool operator==(const LabelWrite&) const = default;
};

struct DecodeResult {
  std::vector<ImageWrite> images;  // in the order written
  std::vector<LabelWrite> labels;  // hex labels whose byte changed
  std::vector<std::string> memo;   // the memo's new lines (UTF-8)
  // A condition asks to bring the dialog back from the tray (it is acted on
  // only while the windows are hidden there).
  bool restore = false;

  // The glyph written to an image by this decode, or None.
  Glyph written(const std::string& image) const;
};

// The hex label text of a byte: two upper-case digits and "H".
std::string HexLabelText(uint8_t value);

// One condition bit (or group of bits that must all be set).
struct ConditionBit {
  const char* flag;    // condition name, e.g. "bPaperEnd"
  int byte;            // 1-based byte of the record
  uint8_t mask;        // every bit of the mask must be set
  const char* image;   // indicator image it drives
  Glyph setGlyph;      // glyph while present (Error, or OK for activity bits)
  Glyph clearGlyph;    // glyph while absent (OK, or Init for activity bits)
  bool restoreEveryRecord = false;  // asks for restore on every record present, not only on the change
  bool latchesRecover = false;      // series layout: sets the recoverable-error latch
};

// One working state of the state code (byte 3 AND 1F hex).
struct WorkingState {
  const char* name;  // "Idle", "Printing", ...
  int code;          // k, 0..7
  const char* image;
};

// The picture of working state k for a record's state code (byte 3 AND 1F
// hex): Error when the code is k with the error bit 10 hex, OK when it is k,
// Init otherwise. Shared by every record layout.
Glyph WorkingStateGlyph(int stateCode, int k);

// The record layouts.
enum class Layout {
  VD,          // the maker's four-byte layout, generic dialog
  RW,          // the series layout, generic dialog
  K305G2VD,    // RW-K305GII in VD Mode
  K305G2RW,    // RW-K305GII in RW Mode
};

class StatusDecoder {
 public:
  StatusDecoder(Layout layout, int modelCode);

  Layout layout() const { return layout_; }
  int modelCode() const { return model_; }
  size_t recordLength() const { return 4; }

  // Forgets everything shown: the next record writes every image, and every
  // hex label whose byte is not zero (labels read "00H" until then).
  void reset();

  // Decodes one whole record. A record of another length decodes nothing and
  // returns an empty result.
  DecodeResult decode(std::span<const uint8_t> record, MemoLanguage language);

  // Tells the decoder that the dialog put the Init glyph on every image (the
  // view reset after polling ends): the next record writes them again.
  void viewWasReset();

  // The hex labels back to "00H" (the series thread's end of polling, where
  // the check boxes clear too): the label writes of the bytes not yet zero.
  std::vector<LabelWrite> clearLabels();

  // Every image the decoder writes, in its order.
  std::vector<std::string> images() const;
  // State of a condition as last decoded (false before the first record).
  bool flag(const std::string& name) const;
  // Glyph an image shows as far as the decoder knows.
  Glyph shown(const std::string& image) const;
  // The series layout's recoverable-error latch.
  bool recoverLatch() const { return recover_; }

  const std::vector<ConditionBit>& conditions() const { return conditions_; }
  const std::vector<WorkingState>& states() const { return states_; }

 private:
  void setImage(const char* image, Glyph g, DecodeResult& out);
  bool present(const ConditionBit& c, std::span<const uint8_t> r) const;
  void memoVD(MemoLanguage lang, DecodeResult& out) const;
  void memoRW(MemoLanguage lang, DecodeResult& out) const;
  void memoK305G2VD(MemoLanguage lang, DecodeResult& out) const;
  void memoK305G2RW(MemoLanguage lang, DecodeResult& out) const;

  Layout layout_;
  int model_;
  std::vector<ConditionBit> conditions_;
  std::vector<WorkingState> states_;
  std::vector<bool> flags_;
  std::vector<std::pair<std::string, Glyph>> shown_;
  std::array<uint8_t, 4> lastBytes_{};
  bool recover_ = false;   // series layout latch
  bool pollPaper_ = false; // series layout, model 9: paper blocking shown
};

// Condition tables of each layout for a model (the VD layout depends on it).
std::vector<ConditionBit> ConditionTable(Layout layout, int modelCode);
std::vector<WorkingState> WorkingStateTable(Layout layout);

}  // namespace torva::status
