#include "tools/ConsoleCodec.h"

#include <algorithm>

namespace torva::tools {

namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";
constexpr TextView kNull = u"NULL";

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

bool IsLineBreak(char16_t c) { return c == u'\r' || c == u'\n' || c == kParagraphSeparator || c == kLineSeparator; }

void AppendPair(Text& out, uint8_t b) {
  out.push_back(kDigits[b >> 4]);
  out.push_back(kDigits[b & 0x0F]);
}

}  // namespace

Text HexDump(std::span<const uint8_t> bytes, int column) {
  Text out;
  out.reserve(bytes.size() * 3 + bytes.size() / kDumpPairsPerLine + 1);
  column = column < 0 ? 0 : column % kDumpPairsPerLine;
  for (uint8_t b : bytes) {
    AppendPair(out, b);
    out.push_back(u' ');
    if (++column == kDumpPairsPerLine) {
      out.push_back(u'\n');
      column = 0;
    }
  }
  return out;
}

Text HexFileText(std::span<const uint8_t> bytes) {
  Text out = HexDump(bytes);
  if (!out.empty() && out.back() == u'\n') out.pop_back();
  if (!out.empty()) out.pop_back();  // the space after the last pair
  return out;
}

bool IsHexText(TextView text) {
  for (char16_t c : text)
    if (c != u' ' && !IsLineBreak(c) && HexValue(c) < 0) return false;
  return true;
}

std::optional<Bytes> ReadHexText(TextView text) {
  Bytes out;
  out.reserve(text.size() / 2);
  int high = -1;
  for (char16_t c : text) {
    if (c == u' ' || IsLineBreak(c)) continue;
    const int v = HexValue(c);
    if (v < 0) return std::nullopt;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;  // an odd last digit is dropped
}

Text NotationText(std::span<const uint8_t> bytes) {
  Text out;
  out.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const uint8_t b = bytes[i];
    if (b == 0x00) {
      out.append(kNull);
    } else if (b == 0x0D && i + 1 < bytes.size() && bytes[i + 1] == 0x0A) {
      out.push_back(u'\n');
      ++i;
    } else if (b == 0x0D) {
      out.push_back(kLoneCrSymbol);
    } else if (b == 0x0A) {
      out.push_back(kLoneLfSymbol);
    } else {
      out.push_back(static_cast<char16_t>(b));
    }
  }
  return out;
}

Text ReceivedText::data(std::span<const uint8_t> bytes) {
  size_t n = 0;
  while (n < bytes.size() && bytes[n] != 0x00) ++n;
  std::span<const uint8_t> shown = bytes.first(n);
  Text out;
  if (heldCr_) {
    heldCr_ = false;
    if (!shown.empty() && shown.front() == 0x0A) {
      out.push_back(u'\n');
      shown = shown.subspan(1);
    } else {
      out.push_back(kLoneCrSymbol);
    }
  }
  // Only a CR that is the read's last byte can be the first half of a pair;
  // one before a 00 is followed by the 00.
  if (!shown.empty() && shown.back() == 0x0D && n == bytes.size()) {
    heldCr_ = true;
    shown = shown.first(shown.size() - 1);
  }
  out += NotationText(shown);
  return out;
}

Text ReceivedText::converted(std::span<const uint8_t> bytes) {
  heldCr_ = !bytes.empty() && bytes.back() == 0x0D;
  return NotationText(heldCr_ ? bytes.first(bytes.size() - 1) : bytes);
}

Text ReceivedText::flush() {
  if (!heldCr_) return {};
  heldCr_ = false;
  return Text(1, kLoneCrSymbol);
}

std::optional<Bytes> NotationBytes(TextView text) {
  Bytes out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'N' && text.substr(i, kNull.size()) == kNull) {
      out.push_back(0x00);
      i += kNull.size() - 1;
    } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      out.insert(out.end(), {0x0D, 0x0A});
      ++i;
    } else if (c == u'\n' || c == kParagraphSeparator || c == kLineSeparator) {
      out.insert(out.end(), {0x0D, 0x0A});
    } else if (c == kLoneCrSymbol) {
      out.push_back(0x0D);
    } else if (c == kLoneLfSymbol) {
      out.push_back(0x0A);
    } else if (c <= 0xFF) {
      out.push_back(static_cast<uint8_t>(c));  // a lone CR is its own code, 0D
    } else {
      return std::nullopt;
    }
  }
  return out;
}

Text DisplayText(TextView text, BoxMode mode, int column, bool endsAtBreak) {
  const bool textMode = mode == BoxMode::Text;
  Text out;
  out.reserve(text.size() + text.size() / kDisplayLineChars + 1);
  int col = std::clamp(column, 0, kDisplayLineChars);
  for (size_t i = 0; i < text.size();) {
    const char16_t c = text[i];
    if (c == u'\n') {
      out.push_back(c);
      col = 0;
      ++i;
      continue;
    }
    if (c == kDisplayBreak) {  // no character of a text: a display break of an earlier layout
      ++i;
      continue;
    }
    size_t unit = 1;
    if (textMode && c == u'N' && text.substr(i, kNull.size()) == kNull)
      unit = kNull.size();
    else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
             text[i + 1] <= 0xDFFF)
      unit = 2;
    if (col > 0 && col + static_cast<int>(unit) > kDisplayLineChars) {
      out.push_back(kDisplayBreak);
      col = 0;
    }
    out.append(text.substr(i, unit));
    col += static_cast<int>(unit);
    i += unit;
    if (textMode && c == kLoneLfSymbol) {
      out.push_back(kDisplayBreak);
      col = 0;
    }
  }
  if (endsAtBreak && !out.empty() && out.back() == kDisplayBreak) out.pop_back();
  return out;
}

Text WithoutDisplayBreaks(TextView display) {
  Text out;
  out.reserve(display.size());
  for (char16_t c : display)
    if (c != kDisplayBreak) out.push_back(c);
  return out;
}

std::vector<DisplayBreakEdit> DisplayBreakEdits(TextView from, TextView to) {
  std::vector<DisplayBreakEdit> edits;
  size_t i = 0, j = 0;
  while (i < from.size() || j < to.size()) {
    if (i < from.size() && j < to.size() && from[i] == to[j]) {
      ++i;
      ++j;
    } else if (i < from.size() && from[i] == kDisplayBreak) {
      edits.push_back({i, false});
      ++i;
    } else if (j < to.size() && to[j] == kDisplayBreak) {
      edits.push_back({i, true});
      ++j;
    } else {
      return {};  // not two layouts of one text: nothing is changed
    }
  }
  return edits;
}

bool IsEmptyHexSend(TextView text) {
  Text left;
  for (char16_t c : text)
    if (c != u' ') left.push_back(c);
  return left.empty() || left == u"0";
}

void ReplyCommandRecogniser::feed(uint8_t b) {
  const State was = state_;
  state_ = State::Start;
  switch (was) {
    case State::Start:
      if (b == 0x1B) state_ = State::After1B;
      if (b == 0x1D) state_ = State::After1D;
      if (b == 0x10) state_ = State::After10;
      break;
    case State::After1B:
      if (b == 0x6A) state_ = State::Need1B6A;
      if (b == 0x76) reply_ = true;
      break;
    case State::After1D:
      if (b == 0x49) state_ = State::Need1D49;
      if (b == 0x72) state_ = State::Need1D72;
      if (b == 0x61) state_ = State::Need1D61;
      break;
    case State::After10:
      if (b == 0x04) state_ = State::Need1004;
      break;
    case State::Need1B6A:
      reply_ = true;
      wait_ = true;
      break;
    case State::Need1D49:
      if ((b >= 0x30 && b <= 0x33) || (b >= 0x41 && b <= 0x45) || b == 0x99) reply_ = true;
      break;
    case State::Need1D72:
      if (b == 0x01 || b == 0x02 || b == 0x31 || b == 0x32) reply_ = true;
      break;
    case State::Need1004:
      if (b >= 0x01 && b <= 0x04) reply_ = true;
      break;
    case State::Need1D61:
      if (b & 1) special_ = true;
      break;
  }
}

}  // namespace torva::tools
