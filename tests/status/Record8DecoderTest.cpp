// Table tests of the eight-byte record decoder in its two dialogs: each
// flag, the printer jam reported in two places, the two paper channels, the
// shutter, and the rotated working states of the VD-K512.
#include <gtest/gtest.h>

#include <algorithm>

#include "status/StatusRecord8.h"

using namespace torva::status;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr auto EN = MemoLanguage::English;
constexpr auto CN = MemoLanguage::Chinese;
const Bytes kClear(8, 0);

Bytes Rec(std::initializer_list<std::pair<int, uint8_t>> bytes) {
  Bytes r(8, 0);
  for (auto [i, v] : bytes) r[i - 1] = v;
  return r;
}

bool Has(const std::vector<std::string>& memo, const std::string& line) {
  return std::find(memo.begin(), memo.end(), line) != memo.end();
}

struct FlagCase {
  Record8Variant variant;
  Bytes record;
  const char* image;     // nullptr: no image changes
  const char* memoSet;   // English line while set, or nullptr for none
  const char* memoClear; // English line once clear again, or nullptr
};

constexpr auto K772 = Record8Variant::K772;
constexpr auto K512 = Record8Variant::K512;

const FlagCase kFlags[] = {
    {K772, Rec({{1, 0x01}}), "PapernearendImage", "Paper Low", "No Paper Low"},
    {K772, Rec({{1, 0x02}}), "PrinterHeadupImage", "Printer Head Up", "Printer Head Closed"},
    {K772, Rec({{1, 0x04}}), "PaperendImage", "Paper Error", "Paper Ok"},
    {K772, Rec({{1, 0x08}}), "TPHtoohotImage", "TPH Too Hot", "TPH is Ok"},
    {K772, Rec({{1, 0x10}}), "CuttererrorImage", "Cutter error", "Cutter is ok"},
    {K772, Rec({{1, 0x20}}), "PaperJamError", "Printer Paper Jam", "No Paper Jam"},
    {K772, Rec({{2, 0x02}}), "PaperJamError", "Printer Paper Jam", "No Paper Jam"},
    {K772, Rec({{2, 0x04}}), "BundlerPaperJamImage", "Presenter Paper Jam", nullptr},
    {K772, Rec({{5, 0x02}}), "Channel1PaperEndImage", "First Channel Paper Out", nullptr},
    {K772, Rec({{5, 0x04}}), "Channel2PaperEndImage", "Second Channel Paper Out", nullptr},
    {K772, Rec({{5, 0x08}}), "Channel1PaperNearEndImage", "Firest Channel Paper Low", nullptr},
    {K772, Rec({{5, 0x10}}), "Channel2PaperNearEndImage", "Second Channel Paper Low", nullptr},
    // The shutter bit is not decoded by this dialog; nor are the spare bytes.
    {K772, Rec({{5, 0x20}}), nullptr, nullptr, nullptr},
    {K772, Rec({{1, 0xC0}, {2, 0xF9}, {3, 0xE0}, {4, 0xFF}, {5, 0xC1}, {6, 0xFF}, {7, 0xFF}, {8, 0xFF}}), nullptr,
     nullptr, nullptr},

    {K512, Rec({{1, 0x01}}), "PapernearendImage", "Paper Low", "No Paper Low"},
    {K512, Rec({{1, 0x02}}), "PrinterHeadupImage", "Printer Head Up", "Printer Head Closed"},
    {K512, Rec({{1, 0x04}}), "PaperendImage", "Paper Error", "Paper Ok"},
    {K512, Rec({{1, 0x08}}), "TPHtoohotImage", nullptr, nullptr},  // no TPH line here
    {K512, Rec({{1, 0x10}}), "CuttererrorImage", nullptr, nullptr},  // no cutter line
    {K512, Rec({{1, 0x80}}), "CuttererrorImage", nullptr, nullptr},
    {K512, Rec({{1, 0x20}}), "PaperJamError", "Printer Paper Jam", "No Paper Jam"},
    {K512, Rec({{2, 0x02}}), nullptr, nullptr, nullptr},  // not a jam report in this dialog
    {K512, Rec({{2, 0x04}}), "BundlerPaperJamImage", "Presenter Paper Jam", nullptr},
    {K512, Rec({{5, 0x02}}), "Channel1PaperEndImage", "First Channel Paper Out", nullptr},
    {K512, Rec({{5, 0x04}}), "Channel2PaperEndImage", "Second Channel Paper Out", nullptr},
    {K512, Rec({{5, 0x08}}), "Channel1PaperNearEndImage", "Firest Channel Paper Low", nullptr},
    {K512, Rec({{5, 0x10}}), "Channel2PaperNearEndImage", "Second Channel Paper Low", nullptr},
    {K512, Rec({{5, 0x20}}), "ShutterImage", "Shutter Error", "Shutter Ok"},
};

TEST(Record8Decoder, EachFlagTurnsItsImageAndMemoAndBack) {
  for (const auto& c : kFlags) {
    SCOPED_TRACE(::testing::Message() << (c.variant == K772 ? "K772 " : "K512 ") << (c.image ? c.image : "none"));
    StatusDecoder d = MakeRecord8Decoder(c.variant);
    d.decode(kClear, EN);
    const DecodeResult set = d.decode(c.record, EN);
    if (c.image) {
      EXPECT_EQ(set.written(c.image), Glyph::Error);
      // Only that condition's image changed (the working state stays Idle).
      EXPECT_EQ(set.images.size(), 1u);
      EXPECT_TRUE(set.restore);
    } else {
      EXPECT_TRUE(set.images.empty());
      EXPECT_FALSE(set.restore);
    }
    if (c.memoSet) {
      EXPECT_TRUE(Has(set.memo, c.memoSet)) << c.memoSet;
    }
    const DecodeResult clear = d.decode(kClear, EN);
    if (c.image) {
      EXPECT_EQ(clear.written(c.image), Glyph::OK);
    }
    if (c.memoClear) {
      EXPECT_TRUE(Has(clear.memo, c.memoClear)) << c.memoClear;
    }
    if (c.memoSet && !c.memoClear) {
      EXPECT_FALSE(Has(clear.memo, c.memoSet));
    }
  }
}

TEST(Record8Decoder, PrinterJamInTwoPlacesIsOneIndicator) {
  StatusDecoder d = MakeRecord8Decoder(K772);
  d.decode(kClear, EN);
  EXPECT_EQ(d.decode(Rec({{1, 0x20}}), EN).written("PaperJamError"), Glyph::Error);
  // The second report while the first is still set writes nothing again and
  // does not ask for another restore.
  const DecodeResult both = d.decode(Rec({{1, 0x20}, {2, 0x02}}), EN);
  EXPECT_TRUE(both.images.empty());
  EXPECT_FALSE(both.restore);
  // The first one clearing leaves the indicator in error while the second holds.
  const DecodeResult second = d.decode(Rec({{2, 0x02}}), EN);
  EXPECT_EQ(second.written("PaperJamError"), Glyph::None);
  EXPECT_EQ(d.shown("PaperJamError"), Glyph::Error);
  EXPECT_TRUE(Has(second.memo, "Printer Paper Jam"));
  const DecodeResult none = d.decode(kClear, EN);
  EXPECT_EQ(none.written("PaperJamError"), Glyph::OK);
  EXPECT_TRUE(Has(none.memo, "No Paper Jam"));
}

TEST(Record8Decoder, K512CutterAndJamBitsShareOneIndicator) {
  StatusDecoder d = MakeRecord8Decoder(K512);
  d.decode(kClear, EN);
  EXPECT_EQ(d.decode(Rec({{1, 0x80}}), EN).written("CuttererrorImage"), Glyph::Error);
  EXPECT_TRUE(d.decode(Rec({{1, 0x90}}), EN).images.empty());
  EXPECT_TRUE(d.decode(Rec({{1, 0x10}}), EN).images.empty());  // still Error: bit 4 holds
  EXPECT_EQ(d.decode(kClear, EN).written("CuttererrorImage"), Glyph::OK);
}

TEST(Record8Decoder, BothPaperChannelsInMemoOrder) {
  StatusDecoder d = MakeRecord8Decoder(K772);
  d.decode(kClear, EN);
  const DecodeResult r = d.decode(Rec({{5, 0x1E}}), EN);
  const std::vector<std::string> want = {"Printer Head Closed",      "Paper Ok",
                                         "TPH is Ok",                "No Paper Low",
                                         "No Paper Jam",             "Firest Channel Paper Low",
                                         "Second Channel Paper Low", "First Channel Paper Out",
                                         "Second Channel Paper Out", "Cutter is ok"};
  EXPECT_EQ(r.memo, want);
  for (const char* img : {"Channel1PaperEndImage", "Channel2PaperEndImage", "Channel1PaperNearEndImage",
                          "Channel2PaperNearEndImage"})
    EXPECT_EQ(r.written(img), Glyph::Error) << img;

  // One channel alone says only its own lines.
  StatusDecoder e = MakeRecord8Decoder(K512);
  e.decode(kClear, CN);
  const DecodeResult two = e.decode(Rec({{5, 0x14}}), CN);
  EXPECT_TRUE(Has(two.memo, "通道2纸尽"));
  EXPECT_TRUE(Has(two.memo, "通道2纸将尽"));
  EXPECT_FALSE(Has(two.memo, "通道1纸尽"));
  EXPECT_FALSE(Has(two.memo, "通道1纸将尽"));
}

TEST(Record8Decoder, AllClearMemoOfEachDialogAndLanguage) {
  struct Case {
    Record8Variant v;
    MemoLanguage lang;
    std::vector<std::string> memo;
  } cases[] = {
      {K772, EN, {"Printer Head Closed", "Paper Ok", "TPH is Ok", "No Paper Low", "No Paper Jam", "Cutter is ok"}},
      {K772, CN, {"打印头关闭", "打印纸张正常", "不缺纸", "打印机无塞纸", "切刀正常"}},
      {K512, EN, {"Printer Head Closed", "Paper Ok", "No Paper Low", "No Paper Jam", "Shutter Ok"}},
      {K512, CN, {"打印头关闭", "打印纸张正常", "不缺纸", "打印机无塞纸", "Shutter正常"}},
      {K772, MemoLanguage::None, {}},
  };
  for (const auto& c : cases) {
    StatusDecoder d = MakeRecord8Decoder(c.v);
    EXPECT_EQ(d.decode(kClear, c.lang).memo, c.memo);
  }
}

TEST(Record8Decoder, FirstPassWritesOkToConditionsAndIdle) {
  for (auto v : {K772, K512}) {
    StatusDecoder d = MakeRecord8Decoder(v);
    const DecodeResult r = d.decode(kClear, EN);
    for (const auto& c : d.conditions()) EXPECT_EQ(r.written(c.image), Glyph::OK) << c.image;
    for (const auto& s : d.states())
      EXPECT_EQ(r.written(s.image), s.code == 0 ? Glyph::OK : Glyph::Init) << s.image;
    EXPECT_FALSE(r.restore);
    EXPECT_TRUE(r.labels.empty());  // the labels read 00H already
  }
}

// Working state code -> image showing OK (or Error with the error bit), and
// the caption of that box: the VD-K512 names its presenter states one on.
TEST(Record8Decoder, WorkingStatesAndTheK512Rotation) {
  struct Case {
    Record8Variant v;
    uint8_t byte3;
    const char* image;  // nullptr: every state image Init
    Glyph glyph;
    const char* caption;
  } cases[] = {
      {K772, 0x00, "PrinterIdleImage", Glyph::OK, "Printer Idle"},
      {K772, 0x01, "PrinterPrintingImage", Glyph::OK, "Printer Printing"},
      {K772, 0x02, "PrinterCuttingImage", Glyph::OK, "Printer Cutting"},
      {K772, 0x03, "BundlerPapePresentingImage", Glyph::OK, "Presenter Paper Present"},
      {K772, 0x13, "BundlerPapePresentingImage", Glyph::Error, "Presenter Paper Present"},
      {K772, 0x04, "BundlerPaperWaitingImage", Glyph::OK, "Presenter Wait Status"},
      {K772, 0x05, "BundlerRetractingStatusImage", Glyph::OK, "Presenter Paper Retract"},
      {K772, 0x06, "BundlerPaperEjectingImage", Glyph::OK, "Presenter Paper Eject"},
      {K772, 0x07, "AutoFeedingImage", Glyph::OK, "Auto Feed"},
      {K772, 0xE1, "PrinterPrintingImage", Glyph::OK, "Printer Printing"},
      {K772, 0x08, nullptr, Glyph::Init, nullptr},
      {K772, 0x1F, nullptr, Glyph::Init, nullptr},
      {K512, 0x03, "BundlerPaperPresentImage", Glyph::OK, "Presenter Wait Status"},
      {K512, 0x04, "BundlerWaitStatusImage", Glyph::OK, "Presenter Paper Retract"},
      {K512, 0x05, "BundlerPaperRetractImage", Glyph::OK, "Presenter Paper Eject"},
      {K512, 0x06, "BundlerPaperHoldingImage", Glyph::OK, "Presenter Paper Present"},
      {K512, 0x16, "BundlerPaperHoldingImage", Glyph::Error, "Presenter Paper Present"},
      {K512, 0x12, "PrinterCuttingImage", Glyph::Error, "Printer Cutting"},
      {K512, 0x07, "AutoFeedingImage", Glyph::OK, "Auto Feed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << (c.v == K772 ? "K772 " : "K512 ") << int(c.byte3));
    StatusDecoder d = MakeRecord8Decoder(c.v);
    d.decode(kClear, EN);
    const DecodeResult r = d.decode(Rec({{3, c.byte3}}), EN);
    for (const auto& s : d.states()) {
      const Glyph want = (c.image && std::string(s.image) == c.image) ? c.glyph : Glyph::Init;
      EXPECT_EQ(d.shown(s.image), want) << s.image;
      if (c.image && std::string(s.image) == c.image) {
        EXPECT_EQ(Record8StateCaption(c.v, s.code, false), c.caption);
      }
    }
    EXPECT_EQ(r.restore, c.glyph == Glyph::Error);
  }
  EXPECT_EQ(Record8StateCaption(K512, 6, true), "容纸器出纸");
  EXPECT_EQ(Record8StateCaption(K772, 3, true), "容纸器出纸");
  EXPECT_EQ(Record8StateCaption(K772, 8, false), "");
}

TEST(Record8Decoder, StateErrorAsksForRestoreOnEveryRecordConditionOnlyOnChange) {
  StatusDecoder d = MakeRecord8Decoder(K772);
  d.decode(kClear, EN);
  EXPECT_TRUE(d.decode(Rec({{3, 0x12}}), EN).restore);
  const DecodeResult again = d.decode(Rec({{3, 0x12}}), EN);
  EXPECT_TRUE(again.images.empty());
  EXPECT_TRUE(again.restore);

  d.decode(kClear, EN);
  EXPECT_TRUE(d.decode(Rec({{1, 0x04}}), EN).restore);
  EXPECT_FALSE(d.decode(Rec({{1, 0x04}}), EN).restore);
}

TEST(Record8Decoder, HexLabelsOnlyForChangedBytes) {
  StatusDecoder d = MakeRecord8Decoder(K512);
  d.decode(kClear, EN);
  const DecodeResult a = d.decode(Rec({{2, 0x02}, {8, 0x1F}}), EN);
  ASSERT_EQ(a.labels.size(), 2u);
  EXPECT_EQ(a.labels[0], (LabelWrite{1, "02H"}));
  EXPECT_EQ(a.labels[1], (LabelWrite{7, "1FH"}));
  EXPECT_TRUE(d.decode(Rec({{2, 0x02}, {8, 0x1F}}), EN).labels.empty());
  const DecodeResult b = d.decode(Rec({{8, 0x1F}}), EN);
  ASSERT_EQ(b.labels.size(), 1u);
  EXPECT_EQ(b.labels[0], (LabelWrite{1, "00H"}));
}

TEST(Record8Decoder, ViewResetMakesTheNextRecordWriteEveryImageButKeepsLabels) {
  StatusDecoder d = MakeRecord8Decoder(K772);
  d.decode(Rec({{1, 0x04}, {4, 0x33}}), EN);
  d.viewWasReset();
  const DecodeResult r = d.decode(Rec({{1, 0x04}, {4, 0x33}}), EN);
  EXPECT_EQ(r.written("PaperendImage"), Glyph::Error);
  EXPECT_EQ(r.written("PrinterHeadupImage"), Glyph::OK);
  EXPECT_EQ(r.written("PrinterIdleImage"), Glyph::OK);
  EXPECT_EQ(r.written("AutoFeedingImage"), Glyph::None);  // Init already
  EXPECT_TRUE(r.labels.empty());
  EXPECT_EQ(d.labelByte(3), 0x33);
}

TEST(Record8Decoder, ResetForgetsLabelsAndClearLabelsZeroesThem) {
  StatusDecoder d = MakeRecord8Decoder(K772);
  d.decode(Rec({{1, 0x04}, {6, 0x05}}), EN);
  // A new run: the dialog shows "00H" on every label and resets the decoder,
  // so the first pass writes every image and only the labels of non-zero bytes.
  d.reset();
  const DecodeResult r = d.decode(Rec({{3, 0x01}}), EN);
  EXPECT_EQ(r.written("PaperendImage"), Glyph::OK);
  EXPECT_EQ(r.written("PrinterHeadupImage"), Glyph::OK);
  EXPECT_FALSE(r.restore);
  ASSERT_EQ(r.labels.size(), 1u);
  EXPECT_EQ(r.labels[0], (LabelWrite{2, "01H"}));
  d.decode(Rec({{8, 0xAB}}), EN);
  const auto cleared = d.clearLabels();
  ASSERT_EQ(cleared.size(), 1u);
  EXPECT_EQ(cleared[0], (LabelWrite{7, "00H"}));
  EXPECT_TRUE(d.clearLabels().empty());
}

TEST(Record8Decoder, RecordOfAnotherLengthDecodesNothing) {
  StatusDecoder d = MakeRecord8Decoder(K772);
  for (size_t n : {0u, 4u, 7u, 9u, 16u}) {
    const DecodeResult r = d.decode(Bytes(n, 0xFF), EN);
    EXPECT_TRUE(r.images.empty() && r.labels.empty() && r.memo.empty()) << n;
  }
}

}  // namespace
