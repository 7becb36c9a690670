// The console's hex text and text notation, and the recogniser of the
// commands whose answer is read, as tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/ConsoleCodec.h"

using namespace torva::tools;

namespace {

std::string Utf8(const Text& t) {
  std::string out;
  for (char16_t c : t) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

Bytes AllBytes() {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  return all;
}

}  // namespace

TEST(HexText, RenderingAndReading) {
  EXPECT_EQ(HexDump(Bytes{0x1B, 0x40}), u"1B 40 ");
  EXPECT_EQ(HexDump(Bytes{}), u"");
  EXPECT_EQ(HexFileText(Bytes{1, 2, 3}), u"01 02 03");
  EXPECT_EQ(HexFileText(Bytes{}), u"");

  struct Case {
    const char16_t* text;
    std::optional<Bytes> bytes;
  } cases[] = {
      {u"1b 6a 04", Bytes{0x1B, 0x6A, 0x04}},
      {u"1B6A04", Bytes{0x1B, 0x6A, 0x04}},
      {u"1 B\r\n4\n0", Bytes{0x1B, 0x40}},  // spaces and line breaks between digits of one pair
      {u"41\u202942", Bytes{0x41, 0x42}},   // the editor's paragraph break
      {u"41\u202842", Bytes{0x41, 0x42}},   // and its line break (Shift+Enter)
      {u"1B 4", Bytes{0x1B}},               // an odd last digit is dropped
      {u"0", Bytes{}},
      {u"", Bytes{}},
      {u"  \n ", Bytes{}},
      {u"fF aA", Bytes{0xFF, 0xAA}},
      {u"4G", std::nullopt},
      {u"41\t42", std::nullopt},      // a tab is no separator
      {u"41\u00A042", std::nullopt},  // nor a no-break space
      {u"41 中", std::nullopt},
      {u"０１", std::nullopt},  // full-width digits are no hex digits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.text));
    EXPECT_EQ(ReadHexText(c.text), c.bytes);
    EXPECT_EQ(IsHexText(c.text), c.bytes.has_value());
  }
}

TEST(HexText, TheReceiveDumpBreaksLinesAfterSixteenPairs) {
  Bytes b(20);
  for (int i = 0; i < 20; ++i) b[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(HexDump(b), u"00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n10 11 12 13 ");
  // Going on from a line that already holds 14 pairs.
  EXPECT_EQ(HexDump(Bytes{0xAA, 0xBB, 0xCC}, 14), u"AA BB \nCC ");
  EXPECT_EQ(HexDump(Bytes{0x12, 0x34}), u"12 34 ");
  EXPECT_EQ(ReadHexText(HexDump(AllBytes(), 5)), AllBytes());
}

// An opened file is shown in the same lines as the Receive box's dump, only
// without the space (or line break) after its last pair.
TEST(HexText, AFileShowsTheDumpWithNothingAfterItsLastPair) {
  const Bytes all = AllBytes();
  for (long n : {1, 15, 16, 17, 32, 40}) {
    SCOPED_TRACE(n);
    const Bytes b(all.begin(), all.begin() + n);
    const Text dump = HexDump(b);
    const Text file = HexFileText(b);
    const size_t trail = n % kDumpPairsPerLine == 0 ? 2 : 1;  // " \n" after a full last line
    EXPECT_EQ(Utf8(file), Utf8(dump.substr(0, dump.size() - trail)));
    EXPECT_EQ(ReadHexText(file), b);
  }
  EXPECT_EQ(HexFileText(Bytes(all.begin(), all.begin() + 17)),
            u"00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n10");
}

TEST(HexText, EveryByteRoundTrips) {
  const Bytes all = AllBytes();
  EXPECT_EQ(ReadHexText(HexDump(all)), all);
  EXPECT_EQ(ReadHexText(HexFileText(all)), all);
  const Text text = HexDump(all);
  EXPECT_EQ(text.substr(0, 12), u"00 01 02 03 ");
  EXPECT_EQ(text.substr(text.size() - 7), u"FE FF \n");
}

TEST(Notation, Conversions) {
  struct Case {
    Bytes bytes;
    const char16_t* text;
  } cases[] = {
      {{0x41, 0x42}, u"AB"},
      {{0x41, 0x00, 0x42}, u"ANULLB"},
      {{0x00, 0x00}, u"NULLNULL"},
      {{0x0D, 0x0A}, u"\n"},
      {{0x41, 0x0D, 0x0A, 0x42}, u"A\nB"},
      {{0x0D}, u"\u240D"},
      {{0x0A}, u"\u240A"},
      {{0x0A, 0x0D}, u"\u240A\u240D"},            // LF CR is no line break
      {{0x0D, 0x0D, 0x0A}, u"\u240D\n"},          // the second CR pairs with the LF
      {{0xA0, 0xE9, 0xFF}, u"\u00A0\u00E9\u00FF"},  // Latin-1, no-break space kept
      {{0x09, 0x1B, 0x7F, 0x85}, u"\t\u001B\u007F\u0085"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.text));
    EXPECT_EQ(NotationText(c.bytes), c.text);
    EXPECT_EQ(NotationBytes(c.text), c.bytes);
  }
  // Other ways a line break reaches the text, and lone CR.
  EXPECT_EQ(NotationBytes(u"A\r\nB"), (Bytes{0x41, 0x0D, 0x0A, 0x42}));
  EXPECT_EQ(NotationBytes(u"A\u2029B"), (Bytes{0x41, 0x0D, 0x0A, 0x42}));
  EXPECT_EQ(NotationBytes(u"A\u2028B"), (Bytes{0x41, 0x0D, 0x0A, 0x42}));
  EXPECT_EQ(NotationBytes(u"A\rB"), (Bytes{0x41, 0x0D, 0x42}));
  // "NULL" is case-sensitive; a partial one is letters.
  EXPECT_EQ(NotationBytes(u"Null NUL"), (Bytes{'N', 'u', 'l', 'l', ' ', 'N', 'U', 'L'}));
  // A character outside Latin-1 is refused, not guessed.
  EXPECT_EQ(NotationBytes(u"打印"), std::nullopt);
  EXPECT_EQ(NotationBytes(u"A\u20ACB"), std::nullopt);  // euro sign
  EXPECT_EQ(NotationBytes(u"\xD83D\xDE00"), std::nullopt);  // a surrogate pair
}

TEST(Notation, EveryByteRoundTripsWithLineBreaks) {
  Bytes bytes = AllBytes();
  // CR LF pairs and lone CR and LF in several places.
  const Bytes extra{0x0D, 0x0A, 0x41, 0x0D, 0x42, 0x0A, 0x0A, 0x0D, 0x0D, 0x0A, 0x0D};
  bytes.insert(bytes.begin(), extra.begin(), extra.end());
  bytes.insert(bytes.end(), extra.begin(), extra.end());
  EXPECT_EQ(NotationBytes(NotationText(bytes)), bytes);
  EXPECT_EQ(ReadHexText(HexDump(*NotationBytes(NotationText(bytes)))), bytes);
}

TEST(Notation, ReceivedDataStopsAtTheFirstZero) {
  EXPECT_EQ(ReceivedText().data(Bytes{0x41, 0x00, 0x42}), u"A");
  EXPECT_EQ(ReceivedText().data(Bytes{0x00, 0x42}), u"");
  EXPECT_EQ(ReceivedText().data(Bytes{0x12, 0x0D, 0x0A}), u"\u0012\n");
}

// The printer's CR LF split between two reads is one line break; a CR that
// ends a read waits for the next one, and the reader's end shows it lone.
TEST(Notation, ACrLfSplitBetweenReadsIsOneLineBreak) {
  const Text cr(1, kLoneCrSymbol), lf(1, kLoneLfSymbol);
  struct Case {
    const char* what;
    std::vector<Bytes> reads;
    Text shown;  // after the reads and the reader's end
  } cases[] = {
      {"AB CR | LF CD", {{'A', 'B', 0x0D}, {0x0A, 'C', 'D'}}, u"AB\nCD"},
      {"CR | LF", {{0x0D}, {0x0A}}, u"\n"},
      {"AB CR | CD", {{'A', 'B', 0x0D}, {'C', 'D'}}, u"AB" + cr + u"CD"},
      {"AB CR, end", {{'A', 'B', 0x0D}}, u"AB" + cr},
      {"CR | CR | LF", {{0x0D}, {0x0D}, {0x0A}}, cr + u"\n"},
      {"CR LF in one read", {{'A', 0x0D, 0x0A, 'B'}}, u"A\nB"},
      {"CR 00 | LF", {{'A', 0x0D, 0x00, 'x'}, {0x0A}}, u"A" + cr + lf},
      {"CR | 00 LF", {{0x0D}, {0x00, 0x0A}}, cr},
      {"LF | CR", {{'A', 0x0A}, {0x0D}}, u"A" + lf + cr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReceivedText received;
    Text shown;
    for (const Bytes& r : c.reads) shown += received.data(r);
    shown += received.flush();
    EXPECT_EQ(Utf8(shown), Utf8(c.shown));
    EXPECT_FALSE(received.holdsCr());
  }
  // What is shown before the next read decides: the CR is held, not shown.
  ReceivedText received;
  EXPECT_EQ(received.data(Bytes{'A', 'B', 0x0D}), u"AB");
  EXPECT_TRUE(received.holdsCr());
  received.reset();  // the box was cleared
  EXPECT_EQ(received.data(Bytes{0x0A}), lf);
}

// The Receive box switched to text mode shows every byte it holds, and holds
// back a CR it ends on for the next read, as a read's end does.
TEST(Notation, TheReceiveBoxSwitchedToTextHoldsTheCrItEndsOn) {
  const Text cr(1, kLoneCrSymbol);
  struct Case {
    const char* what;
    Bytes box;
    Bytes next;  // the next read
    Text shown;  // the box, the next read and the reader's end
  } cases[] = {
      {"AB CR | LF CD", {'A', 'B', 0x0D}, {0x0A, 'C', 'D'}, u"AB\nCD"},
      {"AB CR | CD", {'A', 'B', 0x0D}, {'C', 'D'}, u"AB" + cr + u"CD"},
      {"AB CR, end", {'A', 'B', 0x0D}, {}, u"AB" + cr},
      {"00 and CR LF inside", {'A', 0x00, 0x0D, 0x0A, 'B'}, {'C'}, u"ANULL\nBC"},
      {"CR CR | LF", {0x0D, 0x0D}, {0x0A}, cr + u"\n"},
      {"empty", {}, {0x0A}, Text(1, kLoneLfSymbol)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReceivedText received;
    Text shown = received.converted(c.box);
    EXPECT_EQ(received.holdsCr(), !c.box.empty() && c.box.back() == 0x0D);
    if (!c.next.empty()) shown += received.data(c.next);
    shown += received.flush();
    EXPECT_EQ(Utf8(shown), Utf8(c.shown));
  }
  // A CR held from the text before is no byte of the converted box.
  ReceivedText received;
  EXPECT_EQ(received.data(Bytes{'A', 0x0D}), u"A");
  EXPECT_EQ(received.converted(Bytes{'B'}), u"B");
  EXPECT_FALSE(received.holdsCr());
}

TEST(HexSend, EmptyAndZeroAreNothing) {
  for (const char16_t* t : {u"", u"   ", u"0", u" 0 ", u"0 "}) EXPECT_TRUE(IsEmptyHexSend(t)) << Utf8(t);
  for (const char16_t* t : {u"00", u"0\n", u"1", u"\n"}) EXPECT_FALSE(IsEmptyHexSend(t)) << Utf8(t);
}

TEST(ReplyCommandRecogniser, Sequences) {
  struct Case {
    const char* name;
    Bytes bytes;
    bool reply, special, wait;
  } cases[] = {
      {"ReadSetting", {0x1B, 0x6A, 0x04}, true, false, true},
      {"PaperStatus", {0x1B, 0x76}, true, false, false},
      {"AutoStatusOdd", {0x1D, 0x61, 0x03}, false, true, false},
      {"AutoStatusFF", {0x1D, 0x61, 0xFF}, false, true, false},
      {"AutoStatusEven", {0x1D, 0x61, 0x02}, false, false, false},
      {"FeedLine", {0x0A}, false, false, false},
      {"BrokenByEscape", {0x1B, 0x1B, 0x6A, 0x01}, false, false, false},
      {"TwoCommands", {0x1B, 0x6A, 0x01, 0x1B, 0x76}, true, false, true},
      {"IdQuery30", {0x1D, 0x49, 0x30}, true, false, false},
      {"IdQuery45", {0x1D, 0x49, 0x45}, true, false, false},
      {"IdQuery99", {0x1D, 0x49, 0x99}, true, false, false},
      {"IdQuery34", {0x1D, 0x49, 0x34}, false, false, false},
      {"IdQuery40", {0x1D, 0x49, 0x40}, false, false, false},
      {"Transmit01", {0x1D, 0x72, 0x01}, true, false, false},
      {"Transmit32", {0x1D, 0x72, 0x32}, true, false, false},
      {"Transmit03", {0x1D, 0x72, 0x03}, false, false, false},
      {"RealTime01", {0x10, 0x04, 0x01}, true, false, false},
      {"RealTime04", {0x10, 0x04, 0x04}, true, false, false},
      {"RealTimeReset", {0x10, 0x04, 0x0A}, false, false, false},
      {"AfterData", {0x41, 0x42, 0x10, 0x04, 0x02}, true, false, false},
      // A completed match returns to the start: both found.
      {"StatusThenQuery", {0x1D, 0x61, 0x01, 0x1D, 0x72, 0x02}, true, true, false},
      // A byte that breaks a match is not a new start, even when it could be one.
      {"BreakerNotTried", {0x1D, 0x1D, 0x61, 0x01}, false, false, false},
      {"IncompleteAtEnd", {0x1B, 0x6A}, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReplyCommandRecogniser r;
    r.feed(c.bytes);
    EXPECT_EQ(r.reply(), c.reply);
    EXPECT_EQ(r.special(), c.special);
    EXPECT_EQ(r.wait(), c.wait);
  }
}

namespace {

// A display text written readably: '|' for a display break.
Text Shown(const Text& display) {
  Text out = display;
  for (char16_t& c : out)
    if (c == kDisplayBreak) c = u'|';
  return out;
}

Text Repeat(char16_t c, int n) { return Text(static_cast<size_t>(n), c); }

// The display lines of a display text, split at both kinds of break.
std::vector<Text> DisplayLines(const Text& display) {
  std::vector<Text> lines(1);
  for (char16_t c : display) {
    if (c == u'\n' || c == kDisplayBreak)
      lines.emplace_back();
    else
      lines.back().push_back(c);
  }
  return lines;
}

}  // namespace

TEST(DisplayText, BreaksAfterLoneLfMarksAndAtTheLineWidth) {
  const Text lf(1, kLoneLfSymbol);
  const int w = kDisplayLineChars;
  struct Case {
    const char* what;
    Text text;
    BoxMode mode;
    int column;
    bool endsAtBreak;
    Text shown;  // '|' a display break
  } cases[] = {
      {"LF ends", u"ab" + lf + u"cd" + lf, BoxMode::Text, 0, false, u"ab" + lf + u"|cd" + lf + u"|"},
      {"LF then CR LF: an empty line", u"ab" + lf + u"\ncd", BoxMode::Text, 0, false, u"ab" + lf + u"|\ncd"},
      {"followed by a break", u"ab" + lf, BoxMode::Text, 0, true, u"ab" + lf},
      {"CR LF only", u"ab\ncd\n", BoxMode::Text, 0, false, u"ab\ncd\n"},
      {"hex: no mark rule", u"0A " + lf, BoxMode::Hex, 0, false, u"0A " + lf},
      {"a full line", Repeat(u'x', w), BoxMode::Text, 0, false, Repeat(u'x', w)},
      {"one more", Repeat(u'x', w + 1), BoxMode::Text, 0, false, Repeat(u'x', w) + u"|x"},
      {"a full line, then its break", Repeat(u'x', w) + u"\ny", BoxMode::Text, 0, false,
       Repeat(u'x', w) + u"\ny"},
      {"going on from a column", u"xyz", BoxMode::Text, w - 2, false, u"xy|z"},
      {"NULL stays whole", Repeat(u'x', w - 2) + u"NULLy", BoxMode::Text, 0, false,
       Repeat(u'x', w - 2) + u"|NULLy"},
      {"NULL is letters in hex", Repeat(u'x', w - 2) + u"NULL", BoxMode::Hex, 0, false,
       Repeat(u'x', w - 2) + u"NU|LL"},
      {"a surrogate pair stays whole", Repeat(u'x', w - 1) + u"\xD83D\xDE00", BoxMode::Text, 0, false,
       Repeat(u'x', w - 1) + u"|\xD83D\xDE00"},
      {"display breaks of an earlier layout go", u"ab" + Text(1, kDisplayBreak) + u"cd", BoxMode::Text, 0,
       false, u"abcd"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Text display = DisplayText(c.text, c.mode, c.column, c.endsAtBreak);
    EXPECT_EQ(Utf8(Shown(display)), Utf8(c.shown));
    EXPECT_EQ(WithoutDisplayBreaks(display), WithoutDisplayBreaks(c.text));
  }
}

// Whatever the bytes, no display line is longer than the width, and the
// display text is the text.
TEST(DisplayText, EveryShapeHasShortLines) {
  Bytes random(20000);
  uint32_t x = 7;
  for (auto& b : random) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  Bytes lfOnly, noBreak(5000, 'q'), zeros(3000, 0x00), lfs(700, 0x0A);
  for (int i = 0; i < 5000; ++i) lfOnly.push_back(i % 61 == 60 ? 0x0A : 'a' + i % 26);
  for (const Bytes* bytes : {&random, &lfOnly, &noBreak, &zeros, &lfs}) {
    for (BoxMode mode : {BoxMode::Text, BoxMode::Hex}) {
      const Text text = mode == BoxMode::Text ? NotationText(*bytes) : HexFileText(*bytes);
      const Text display = DisplayText(text, mode);
      ASSERT_EQ(WithoutDisplayBreaks(display), text);
      for (const Text& line : DisplayLines(display))
        ASSERT_LE(line.size(), static_cast<size_t>(kDisplayLineChars));
      // A second layout of the display text changes nothing.
      EXPECT_EQ(DisplayText(WithoutDisplayBreaks(display), mode), display);
    }
  }
  // An LF-only text reads line by line.
  EXPECT_EQ(DisplayLines(DisplayText(NotationText(lfOnly), BoxMode::Text)).size(), lfOnly.size() / 61 + 1);
}

TEST(DisplayText, BreakEditsTurnOneLayoutIntoTheOther) {
  const Text b(1, kDisplayBreak);
  struct Case {
    Text from, to;
    std::vector<DisplayBreakEdit> edits;
  } cases[] = {
      {u"abc", u"abc", {}},
      {u"ab" + b + u"c", u"abc", {{2, false}}},
      {u"abc", u"a" + b + u"bc", {{1, true}}},
      {u"a" + b + u"bc", u"ab" + b + u"c", {{1, false}, {3, true}}},
      {u"a\n" + b + u"b", u"a" + b + u"\nb", {{1, true}, {2, false}}},
      {b + b + u"a", u"a" + b, {{0, false}, {1, false}, {3, true}}},
      {u"ab", u"ax", {}},  // not one text: nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(Shown(c.from)) + " -> " + Utf8(Shown(c.to)));
    const std::vector<DisplayBreakEdit> edits = DisplayBreakEdits(c.from, c.to);
    EXPECT_EQ(edits, c.edits);
    if (WithoutDisplayBreaks(c.from) != WithoutDisplayBreaks(c.to)) continue;
    Text applied = c.from;
    for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
      if (e->insert)
        applied.insert(e->position, 1, kDisplayBreak);
      else
        applied.erase(e->position, 1);
    }
    EXPECT_EQ(applied, c.to);
  }
}
