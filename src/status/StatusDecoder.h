// Status record decoding without widgets.
//
// A decoder turns one whole status record into what a status dialog shows:
// indicator images (Error, OK or Init glyph), the hex label of each byte and
// the lines of the status memo. Every record layout (the four-byte record of
// the generic dialog, the series record, the RW-K305GII's two modes, the
// eight-byte record and the VD-K773's six-byte custom record) is one
// RecordLayout: a table of conditions, a table of working states and the memo
// lines of each language. One decoder runs them all. It keeps what it last
// showed, so an image or a label is written only when its shown state
// changes.
//
// Every indicator keeps its own state. Where two conditions share one image
// (the printer jam and the bundler full condition of the VD-N512), the image
// shows its set glyph while either of them is present, so one clearing never
// paints OK over the other's Error.
#pragma once

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

// One condition of a record: present when every bit of `mask` is set in byte
// `byte` (1-based), or, when `orByte` is not 0, every bit of `orMask` in byte
// `orByte`. A condition reported in two places is one flag and one image.
struct StatusCondition {
  const char* flag;                  // condition name, e.g. "bPaperEnd"
  int byte;
  uint8_t mask;
  const char* image;                 // indicator image it drives
  Glyph setGlyph = Glyph::Error;     // while present (OK for the activity bits)
  Glyph clearGlyph = Glyph::OK;      // while absent (Init for the activity bits)
  int orByte = 0;
  uint8_t orMask = 0;
  bool restoreEveryRecord = false;   // asks for restore on every record present, not only on the change
  bool latchesRecover = false;       // series layout: sets the recoverable-error latch
};

// One working state of the state code (byte 3 AND 1F hex).
struct StatusState {
  int code;           // k, 0..7
  const char* image;
};

// The picture of working state k for a record's state code (byte 3 AND 1F
// hex): Error when the code is k with the error bit 10 hex, OK when it is k,
// Init otherwise. Shared by every record layout.
Glyph WorkingStateGlyph(int stateCode, int k);

// One memo line: its text in each language with the condition present and
// absent; a null text writes no line in that case.
struct MemoText {
  const char* enSet;
  const char* enClear;
  const char* cnSet;
  const char* cnClear;
};
struct MemoLine {
  const char* flag;               // the line is in its "set" case while this flag is present
  MemoText text;
  const char* orFlag = nullptr;   // ... or while this one is
};

// The series layout's paper blocking (RW-K305E): byte 2 bit 5 counts only when
// no recoverable error was latched since the last record that consumed the
// latch. Its image is written after the conditions; its flag is "bPollPaper".
struct BlockingRule {
  int byte = 2;
  uint8_t mask = 0x20;
  const char* image = "BundlerPaperJamImage";
};

// Everything a decoder knows of one record layout.
struct RecordLayout {
  size_t length = 4;
  std::vector<StatusCondition> conditions;  // images are written in this order
  std::vector<StatusState> states;          // then these
  std::vector<MemoLine> memoEnglish;        // lines in the order shown
  std::vector<MemoLine> memoChinese;
  bool hasBlocking = false;
  BlockingRule blocking;
};

// The four-byte record layouts of the generic and RW-K305GII dialogs.
enum class Layout {
  VD,          // the maker's four-byte layout, generic dialog
  RW,          // the series layout, generic dialog
  K305G2VD,    // RW-K305GII in VD Mode
  K305G2RW,    // RW-K305GII in RW Mode
};
// The table of a four-byte layout for a model (the VD layout and the series
// paper blocking depend on it).
RecordLayout FourByteLayout(Layout layout, int modelCode);

class StatusDecoder {
 public:
  explicit StatusDecoder(RecordLayout layout);
  StatusDecoder(Layout layout, int modelCode) : StatusDecoder(FourByteLayout(layout, modelCode)) {}

  size_t recordLength() const { return layout_.length; }

  // Forgets everything shown: images, flags, the latch, and the bytes of the
  // hex labels (the dialog shows "00H" on every label at the same time, so the
  // next record writes every label whose byte is not zero).
  void reset();

  // Decodes one whole record. A record of another length decodes nothing and
  // returns an empty result.
  DecodeResult decode(std::span<const uint8_t> record, MemoLanguage language);

  // Tells the decoder that the dialog put the Init glyph on every image (the
  // view reset after polling ends): the next record writes them again. The
  // labels keep what they show.
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
  // The byte a hex label shows as far as the decoder knows.
  uint8_t labelByte(size_t index) const { return index < lastBytes_.size() ? lastBytes_[index] : 0; }
  // The series layout's recoverable-error latch.
  bool recoverLatch() const { return recover_; }

  const std::vector<StatusCondition>& conditions() const { return layout_.conditions; }
  const std::vector<StatusState>& states() const { return layout_.states; }

 private:
  void setImage(const char* image, Glyph g, DecodeResult& out);
  void applyBlocking(std::span<const uint8_t> r, DecodeResult& out);
  void writeMemo(MemoLanguage lang, DecodeResult& out) const;

  RecordLayout layout_;
  std::vector<bool> flags_;
  std::vector<std::pair<std::string, Glyph>> shown_;
  std::vector<uint8_t> lastBytes_;
  bool recover_ = false;    // series layout latch
  bool pollPaper_ = false;  // series layout paper blocking shown
};

}  // namespace torva::status
