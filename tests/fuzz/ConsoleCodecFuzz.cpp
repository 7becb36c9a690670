// Fuzz target of the command console's codec: any bytes as the text of a box
// (UTF-16, two bytes a character) through the hex reader, the text notation
// and the display layout, and as received bytes through the renderings.
// Besides the sanitizers it checks what the codec promises: every byte string
// comes back byte for byte through either notation, the hex reader agrees
// with its own validity check, a text the notation accepts converts to hex
// and back to the same bytes, and a text laid out in display lines is the
// same text in short lines.
//
// Built by clang as the libFuzzer target (with TORVA_FUZZ_MAIN), and into
// the ordinary test build under another name, beside the settings-file
// target, for the replay test.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "tools/ConsoleCodec.h"

// The codec is compiled into this target itself (no Qt, no library).
#include "tools/ConsoleCodec.cpp"

using namespace torva::tools;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

int ConsoleCodecFuzzOne(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  // Bytes as the printer or a file gives them.
  const Bytes own(bytes.begin(), bytes.end());
  const int column = size > 0 ? data[0] % 20 : 0;  // the Receive box goes on mid-line
  Require(ReadHexText(HexDump(bytes, column)) == own);
  const Text file = HexFileText(bytes);
  Require(ReadHexText(file) == own);
  Require(file.empty() || (file.back() != u' ' && file.back() != u'\n'));
  // The text notation writes 00 as "NULL", so bytes that spell "NULL"
  // themselves read back as 00: the notation's one ambiguity (hex mode keeps
  // such bytes). Every other byte string comes back byte for byte.
  const char kNull[] = "NULL";
  if (std::search(own.begin(), own.end(), kNull, kNull + 4) == own.end())
    Require(NotationBytes(NotationText(bytes)) == own);
  // The Receive box shows what came before the first 00; read back, it holds
  // no 00 unless the printer sent "NULL" itself.
  ReceivedText whole;
  Text received = whole.data(bytes);
  received += whole.flush();
  const std::optional<Bytes> shown = NotationBytes(received);
  Require(shown.has_value());
  const auto firstZero = std::find(own.begin(), own.end(), uint8_t{0});
  if (std::search(own.begin(), firstZero, kNull, kNull + 4) == firstZero)
    Require(std::find(shown->begin(), shown->end(), uint8_t{0}) == shown->end());
  // Bytes with no 00 show the same however the reads split them (a CR LF
  // across two reads is one line break).
  if (firstZero == own.end() && size > 0) {
    const size_t cut = data[size - 1] % (size + 1);
    ReceivedText split;
    Text shownSplit = split.data(bytes.first(cut));
    shownSplit += split.data(bytes.subspan(cut));
    shownSplit += split.flush();
    Require(shownSplit == received);
  }
  // The Receive box switched to text mode: a CR it ends on is held, and what
  // it shows, with the CR, is its bytes.
  ReceivedText switched;
  Text converted = switched.converted(bytes);
  Require(switched.holdsCr() == (size > 0 && data[size - 1] == 0x0D));
  converted += switched.flush();
  if (std::search(own.begin(), own.end(), kNull, kNull + 4) == own.end()) Require(NotationBytes(converted) == own);

  // The same bytes as a box's text, two bytes a character.
  Text text(size / 2, u'\0');
  for (size_t i = 0; i + 1 < size; i += 2) text[i / 2] = static_cast<char16_t>(data[i] | data[i + 1] << 8);
  const std::optional<Bytes> hex = ReadHexText(text);
  Require(hex.has_value() == IsHexText(text));
  if (hex) Require(hex->size() <= text.size() / 2);
  if (IsEmptyHexSend(text)) Require(!hex || hex->empty());
  const std::optional<Bytes> notation = NotationBytes(text);
  if (notation) {
    // What the notation accepts survives the switch to hex and back.
    Require(ReadHexText(HexDump(*notation)) == *notation);
    if (std::search(notation->begin(), notation->end(), kNull, kNull + 4) == notation->end())
      Require(NotationBytes(NotationText(*notation)) == *notation);
  }
  // The same text laid out in display lines: the text comes back without
  // the display breaks, no display line is longer than the width (counting
  // the column it goes on from), a second layout changes nothing, and the
  // break edits from another layout of the text give this one.
  for (BoxMode mode : {BoxMode::Text, BoxMode::Hex}) {
    const bool endsAtBreak = size > 1 && (data[1] & 1);
    const Text display = DisplayText(text, mode, column * 7, endsAtBreak);
    const Text plain = WithoutDisplayBreaks(text);
    Require(WithoutDisplayBreaks(display) == plain);
    int line = column * 7 > kDisplayLineChars ? kDisplayLineChars : column * 7;
    for (char16_t c : display) {
      if (c == u'\n' || c == kDisplayBreak)
        line = 0;
      else
        Require(++line <= kDisplayLineChars);
    }
    const Text fresh = DisplayText(plain, mode);
    Require(DisplayText(WithoutDisplayBreaks(fresh), mode) == fresh);
    Text edited = text;  // the box text taken as an earlier layout of `plain`
    const std::vector<DisplayBreakEdit> edits = DisplayBreakEdits(edited, fresh);
    for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
      if (e->insert)
        edited.insert(e->position, 1, kDisplayBreak);
      else
        edited.erase(e->position, 1);
    }
    Require(edited == fresh);
  }

  ReplyCommandRecogniser recogniser;
  recogniser.feed(bytes);
  Require(!recogniser.wait() || recogniser.reply());
  return 0;
}

#ifdef TORVA_FUZZ_MAIN
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return ConsoleCodecFuzzOne(data, size); }
#endif
