// The command console's two notations for bytes, and the recogniser of the
// commands whose answer the console reads. No widget and no Qt here: texts are
// UTF-16 strings as the console's boxes hold them, so the codec is tested and
// fuzzed on its own.
//
// Hex text: two hex digits per byte. Rendered, each pair is upper case and
// followed by one space, sixteen pairs to a line ("1B 40 "); a file opened in
// hex mode is shown the same way, without the space after its last pair
// ("01 02 03"). Read, spaces and line breaks between digits are skipped,
// digits pair up in order, either case counts, an odd last digit is dropped;
// any other character makes the text invalid.
//
// Text notation: one character is one byte of the same code (Latin-1, 00-FF),
// with these exceptions, so that every byte string survives being shown,
// converted and saved byte for byte:
//   - the byte 00 is written "NULL" (and the four letters "NULL" read as 00);
//   - the pair 0D 0A is a line break (what Enter types); a line break read
//     back (LF, CR LF, or the editor's paragraph and line separators) is 0D 0A;
//   - a lone 0D or 0A is shown as the symbol U+240D "␍" or U+240A "␊" and
//     reads back as its byte (a lone CR character, as pasted text may hold,
//     reads as 0D too).
// A character outside it (a Chinese character) makes the text unconvertible:
// nothing is guessed for it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace torva::tools {

using Bytes = std::vector<uint8_t>;
using Text = std::u16string;
using TextView = std::u16string_view;

inline constexpr char16_t kLoneCrSymbol = u'\u240D';
inline constexpr char16_t kLoneLfSymbol = u'\u240A';
inline constexpr char16_t kParagraphSeparator = u'\u2029';
inline constexpr char16_t kLineSeparator = u'\u2028';

// --- hex text

// The console's hex text, in both boxes: each byte as two upper-case digits
// followed by one space ("1B 40 "), with a line break after every sixteenth
// pair, counting `column` pairs already on the current line (the Receive box
// goes on where its last line ends). The lines stay short however
// many bytes there are: a box of one endless line gets slower with every pair
// added. Read back, the breaks are skipped.
inline constexpr int kDumpPairsPerLine = 16;
Text HexDump(std::span<const uint8_t> bytes, int column = 0);
// The Input's hex text of an opened file: HexDump's lines, with nothing after
// the last pair ("01 02 03").
Text HexFileText(std::span<const uint8_t> bytes);
// True when every character is a hex digit, a space or a line break (CR, LF,
// or the editor's paragraph and line separators).
bool IsHexText(TextView text);
// The bytes of a hex text; empty optional when it holds another character.
std::optional<Bytes> ReadHexText(TextView text);

// --- text notation

// The bytes as notation text.
Text NotationText(std::span<const uint8_t> bytes);
// The bytes of a notation text; empty optional when it holds a character
// outside the notation.
std::optional<Bytes> NotationBytes(TextView text);

// The Receive box's text mode across the reads of one reader. The printer's
// CR LF may be split between two reads; shown alone, each read would show the
// CR and the LF as two lone marks. So a CR that ends a read is held back
// until the next data read decides it: an LF first makes the pair a line
// break, anything else (or the reader's end) shows it as a lone CR.
class ReceivedText {
 public:
  // The text of one data read (the bytes up to the first 00), with a CR held
  // back from the previous read decided first.
  Text data(std::span<const uint8_t> bytes);
  // The bytes a box already holds, shown again in text mode (the Receive box
  // switched to it): every byte in the notation, 00 as "NULL", with a CR that
  // ends them held back as at a read's end; a CR held before is dropped.
  Text converted(std::span<const uint8_t> bytes);
  // The held CR shown as a lone CR, or nothing; nothing is held afterwards.
  Text flush();
  // Drops a held CR (the box was cleared).
  void reset() { heldCr_ = false; }
  bool holdsCr() const { return heldCr_; }

 private:
  bool heldCr_ = false;
};

// --- display text: how a box lays its text out

// A box shows its text in display lines of at most kDisplayLineChars
// characters: a longer line goes on in the next display line, and in text
// mode a lone LF mark ends its display line, so a text with LF line ends
// reads line by line. These display breaks are no characters of the text and
// no bytes: in a display text each is kDisplayBreak (a noncharacter, which no
// text holds), while '\n' stays a line break of the text itself (in text mode
// the bytes 0D 0A). So a box's paragraphs stay short whatever the bytes are
// (the layout of one paragraph costs the square of its length).
inline constexpr char16_t kDisplayBreak = u'\uFFFF';
inline constexpr int kDisplayLineChars = 128;

enum class BoxMode { Hex, Text };

// The display text of `text` (a text without display breaks), going on from
// a display line that already holds `column` characters. A display break
// comes before a character that would make its display line longer than
// kDisplayLineChars ("NULL" in text mode and a surrogate pair are kept
// whole), and in text mode after every lone LF mark, also when a line break
// follows it (so LF CR LF shows the CR LF as an empty line). `endsAtBreak`:
// the box breaks the line after the text itself, so no display break is put
// at its end.
Text DisplayText(TextView text, BoxMode mode, int column = 0, bool endsAtBreak = false);
// The text of a display text: its display breaks left out.
Text WithoutDisplayBreaks(TextView display);

// One display break to put in or take out, at a position of the display text
// it applies to.
struct DisplayBreakEdit {
  size_t position = 0;
  bool insert = false;
  bool operator==(const DisplayBreakEdit&) const = default;
};
// The display breaks to put in and take out to turn `from` into `to`, two
// display texts of the same text, in order of position; empty when they are
// the same. Applied from the last to the first, each position stays valid.
std::vector<DisplayBreakEdit> DisplayBreakEdits(TextView from, TextView to);

// --- the Send's typed hex

// The hex Send's text with every space removed is empty or exactly "0": the
// Send does nothing and reports nothing.
bool IsEmptyHexSend(TextView text);

// --- commands whose answer the console reads

// Follows the bytes of a hex Send and notes the commands that make the
// printer answer. A byte that breaks a partial match sends the matcher back
// to its start and is not itself tried as the first byte of a new match; a
// completed match returns to the start too, so several commands in one Send
// are each recognised.
//   1B 6A n (any n)                      reply, and the 210 ms wait before reading
//   1B 76                                reply
//   1D 49 n (n 30-33, 41-45, 99)         reply
//   1D 72 n (n 01, 02, 31, 32)           reply
//   10 04 n (n 01-04)                    reply
//   1D 61 n (n odd)                      automatic status (SpecialStaus)
class ReplyCommandRecogniser {
 public:
  void feed(uint8_t byte);
  void feed(std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) feed(b);
  }
  bool reply() const { return reply_; }    // RUsbSign
  bool special() const { return special_; }  // SpecialStaus
  bool wait() const { return wait_; }      // wait 210 ms before the reader
  void reset() { *this = ReplyCommandRecogniser{}; }

 private:
  enum class State { Start, After1B, After1D, After10, Need1B6A, Need1D49, Need1D72, Need1004, Need1D61 };
  State state_ = State::Start;
  bool reply_ = false;
  bool special_ = false;
  bool wait_ = false;
};

}  // namespace torva::tools
