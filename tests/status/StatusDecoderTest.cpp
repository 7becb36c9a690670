// Table tests of the status record decoders: bytes in, indicator glyphs,
// hex labels and memo lines out.
#include <gtest/gtest.h>

#include <algorithm>

#include "sim/StatusLayouts.h"
#include "status/StatusDecoder.h"

using namespace torva::status;
using torva::sim::Bytes;

namespace {

constexpr auto EN = MemoLanguage::English;
constexpr auto CN = MemoLanguage::Chinese;

DecodeResult Decode(StatusDecoder& d, const Bytes& r, MemoLanguage lang = EN) { return d.decode(r, lang); }

bool HasLine(const DecodeResult& r, const std::string& line) {
  return std::find(r.memo.begin(), r.memo.end(), line) != r.memo.end();
}

std::string Hex(const Bytes& b) {
  std::string s;
  for (auto v : b) s += HexLabelText(v) + " ";
  return s;
}

// One condition bit of one layout: after an all-clear record, the record sets
// the bit, its image turns to the set glyph and the memo carries the line; a
// following all-clear record turns the image back.
struct FlagCase {
  Layout layout;
  int model;
  Bytes record;
  const char* image;
  Glyph set;
  Glyph clear;
  const char* memoSet;    // English line while set, or nullptr for none
  const char* memoClear;  // English line once clear again, or nullptr
};

const FlagCase kFlagCases[] = {
    // The maker's layout in the generic dialog.
    {Layout::VD, 3, {0x01, 0, 0, 0}, "PapernearendImage", Glyph::Error, Glyph::OK, "Paper Low", "No Paper Low"},
    {Layout::VD, 3, {0x02, 0, 0, 0}, "PrinterHeadupImage", Glyph::Error, Glyph::OK, "Printer Head Up", "Printer Head Closed"},
    {Layout::VD, 3, {0x04, 0, 0, 0}, "PaperendImage", Glyph::Error, Glyph::OK, "Paper Error", "Paper Ok"},
    {Layout::VD, 3, {0x08, 0, 0, 0}, "TPHtoohotImage", Glyph::Error, Glyph::OK, "TPH is too Hot", "TPH is OK"},
    {Layout::VD, 3, {0x10, 0, 0, 0}, "CuttererrorImage", Glyph::Error, Glyph::OK, "Cutter is Error", "Cutter is OK"},
    {Layout::VD, 0, {0x80, 0, 0, 0}, "VoltageabnormityImage", Glyph::Error, Glyph::OK, nullptr, nullptr},
    {Layout::VD, 0, {0, 0x80, 0, 0}, "BundlerHeadupImage", Glyph::Error, Glyph::OK, "Bundler Head Up", "Bundler Head Closed"},
    {Layout::VD, 3, {0, 0x02, 0, 0}, "BundlerFullImage", Glyph::Error, Glyph::OK, "Printer Paper Jam", "No Paper Jam"},
    {Layout::VD, 0, {0, 0x04, 0, 0}, "BundlerPaperJamImage", Glyph::Error, Glyph::OK, "Bundler Paper Jam", "No Paper Jam"},
    {Layout::VD, 0, {0, 0, 0, 0x01}, "BundlerFullImage", Glyph::Error, Glyph::OK, nullptr, nullptr},
    // The series layout.
    {Layout::RW, 6, {0x20, 0, 0, 0}, "PrinterHeadupImage", Glyph::Error, Glyph::OK, "Printer Head Up", "Printer Head Closed"},
    {Layout::RW, 6, {0x40, 0, 0, 0}, "BundlerPaperHoldingImage", Glyph::OK, Glyph::Init, nullptr, nullptr},
    {Layout::RW, 6, {0, 0x08, 0, 0}, "CuttererrorImage", Glyph::Error, Glyph::OK, "Printer Cutter Error", "Printer Cutter Ok"},
    {Layout::RW, 6, {0, 0x40, 0, 0}, "TPHtoohotImage", Glyph::Error, Glyph::OK, nullptr, nullptr},
    {Layout::RW, 6, {0, 0, 0x03, 0}, "PapernearendImage", Glyph::Error, Glyph::OK, "Paper Low", "No Paper Low"},
    {Layout::RW, 6, {0, 0, 0x0C, 0}, "PaperendImage", Glyph::Error, Glyph::OK, "Paper Error", "Paper Ok"},
    {Layout::RW, 6, {0, 0, 0x40, 0}, "PrinterPrintingImage", Glyph::OK, Glyph::Init, nullptr, nullptr},
    {Layout::RW, 9, {0, 0x20, 0, 0}, "BundlerPaperJamImage", Glyph::Error, Glyph::OK, "Printer  Paper Blocking Error",
     "Printer No Paper Blocking"},
    // RW-K305GII, VD Mode.
    {Layout::K305G2VD, 14, {0x01, 0, 0, 0}, "imgPapernearendImage", Glyph::Error, Glyph::OK, "Paper Low", "No Paper Low"},
    {Layout::K305G2VD, 14, {0x02, 0, 0, 0}, "imgPrinterHeadupImage", Glyph::Error, Glyph::OK, "Printer Head Up", "Printer Head Closed"},
    {Layout::K305G2VD, 14, {0x04, 0, 0, 0}, "imgPaperendImage", Glyph::Error, Glyph::OK, "Paper Error", "Paper Ok"},
    {Layout::K305G2VD, 14, {0x08, 0, 0, 0}, "imgTPHtoohotImage", Glyph::Error, Glyph::OK, nullptr, nullptr},
    {Layout::K305G2VD, 14, {0x80, 0, 0, 0}, "imgRecyclePaperJam", Glyph::Error, Glyph::OK, "Recycling Paper Jam!", "Recycling Paper OK"},
    {Layout::K305G2VD, 14, {0, 0x80, 0, 0}, "imgRollPaperSlackImage", Glyph::Error, Glyph::OK, "Printer Rolling Paper Slack!",
     "Printer Rolling Paper OK"},
    {Layout::K305G2VD, 14, {0, 0x02, 0, 0}, "imgBundlerPaperJamImage", Glyph::Error, Glyph::OK, "Printer Paper Jam", "No Paper Jam"},
    // RW-K305GII, RW Mode.
    {Layout::K305G2RW, 14, {0x01, 0, 0, 0}, "imgBundlerPaperJamImage", Glyph::Error, Glyph::OK, "Printer  Paper Blocking Error",
     "Printer No Paper Blocking"},
    {Layout::K305G2RW, 14, {0x02, 0, 0, 0}, "imgRollpaperslackImage", Glyph::Error, Glyph::OK, "Rolling Paper Slack!", "Rolling Paper OK"},
    {Layout::K305G2RW, 14, {0x04, 0, 0, 0}, "imgRecyclepaperjamImage", Glyph::Error, Glyph::OK, "Recycling Paper Jam!", "Recycling Paper OK"},
    {Layout::K305G2RW, 14, {0x20, 0, 0, 0}, "imgPrinterHeadupImage", Glyph::Error, Glyph::OK, "Printer Head Up", "Printer Head Closed"},
    {Layout::K305G2RW, 14, {0x40, 0, 0, 0}, "imgFeedingImage", Glyph::OK, Glyph::Init, nullptr, nullptr},
    {Layout::K305G2RW, 14, {0, 0x40, 0, 0}, "imgTPHtoohotImage", Glyph::Error, Glyph::OK, nullptr, nullptr},
    {Layout::K305G2RW, 14, {0, 0, 0x03, 0}, "imgPapernearendImage", Glyph::Error, Glyph::OK, "Paper Low", "No Paper Low"},
    {Layout::K305G2RW, 14, {0, 0, 0x0C, 0}, "imgPaperendImage", Glyph::Error, Glyph::OK, "Paper Error", "Paper Ok"},
    {Layout::K305G2RW, 14, {0, 0, 0x40, 0}, "imgPrinterIdleImage", Glyph::OK, Glyph::Init, nullptr, nullptr},
};

}  // namespace

TEST(StatusDecoder, EachFlagOfEachLayoutDrivesItsImageAndMemoLine) {
  for (const auto& c : kFlagCases) {
    SCOPED_TRACE(std::string(c.image) + " record " + Hex(c.record) + " model " + std::to_string(c.model));
    StatusDecoder d(c.layout, c.model);
    const Bytes zero(4, 0);
    auto first = Decode(d, zero);
    EXPECT_EQ(first.written(c.image), c.clear);

    auto on = Decode(d, c.record);
    EXPECT_EQ(on.written(c.image), c.set);
    // No other image changes for one condition bit.
    for (const auto& w : on.images) EXPECT_EQ(w.image, c.image) << GlyphName(w.glyph);
    if (c.memoSet) {
      EXPECT_TRUE(HasLine(on, c.memoSet));
    }

    auto again = Decode(d, c.record);
    EXPECT_TRUE(again.images.empty()) << "an unchanged condition writes its image again";

    auto off = Decode(d, zero);
    EXPECT_EQ(off.written(c.image), c.clear);
    if (c.memoClear) {
      EXPECT_TRUE(HasLine(off, c.memoClear));
    }
    if (c.memoSet) {
      EXPECT_FALSE(HasLine(off, c.memoSet));
    }
  }
}

TEST(StatusDecoder, BitsWithoutAMeaningChangeOnlyTheHexLabel) {
  struct Case {
    Layout layout;
    int model;
    Bytes record;
  };
  const Case cases[] = {
      {Layout::VD, 3, {0x60, 0x79, 0xE0, 0xFE}},  // byte 1 bits 5-6, byte 2 bits 0,3-6, byte 3 bits 5-7, byte 4 bits 1-7
      {Layout::VD, 3, {0, 0, 0, 0x01}},           // bundler full outside the VD-N512
      {Layout::VD, 3, {0x80, 0x80, 0, 0}},        // voltage and bundler head have images, but hidden and no memo
      {Layout::RW, 6, {0x9F, 0xB7, 0xB0, 0xFF}},  // RW-K305: byte 2 bit 5 is no blocking
      {Layout::K305G2VD, 14, {0x70, 0x7D, 0xE0, 0xFF}},  // cutter, byte 2 bit 2, byte 4 not decoded
      {Layout::K305G2RW, 14, {0x98, 0xBF, 0xB0, 0xFF}},  // cutter (byte 2 bit 3) and byte 4 not decoded
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Hex(c.record));
    StatusDecoder d(c.layout, c.model);
    auto zero = Decode(d, Bytes(4, 0));
    auto r = Decode(d, c.record);
    std::vector<ImageWrite> errors;
    for (const auto& w : r.images)
      if (!(c.layout == Layout::VD && (w.image == "VoltageabnormityImage" || w.image == "BundlerHeadupImage")))
        errors.push_back(w);
    EXPECT_TRUE(errors.empty()) << errors.size() << " images changed, first " << errors.front().image;
    EXPECT_EQ(r.memo, zero.memo);
    int changed = 0;
    for (int i = 0; i < 4; ++i) changed += c.record[i] != 0;
    EXPECT_EQ(static_cast<int>(r.labels.size()), changed);
  }
}

TEST(StatusDecoder, WorkingStateCodes) {
  // Code -> the state image that shows OK or Error; every other state Init.
  struct Case {
    uint8_t byte3;
    const char* image;  // nullptr: every state image Init
    Glyph glyph;
    bool restore;
  };
  const Case cases[] = {
      {0x00, "PrinterIdleImage", Glyph::OK, false},
      {0x01, "PrinterPrintingImage", Glyph::OK, false},
      {0x02, "PrinterCuttingImage", Glyph::OK, false},
      {0x03, "BundlerPaperHoldingImage", Glyph::OK, false},
      {0x04, "BundlerPaperPresentImage", Glyph::OK, false},
      {0x05, "BundlerWaitStatusImage", Glyph::OK, false},
      {0x06, "BundlerPaperRetractImage", Glyph::OK, false},
      {0x07, "AutoFeedingImage", Glyph::OK, false},
      {0x10, "PrinterIdleImage", Glyph::Error, true},
      {0x12, "PrinterCuttingImage", Glyph::Error, true},
      {0x17, "AutoFeedingImage", Glyph::Error, true},
      {0x08, nullptr, Glyph::Init, false},
      {0x0F, nullptr, Glyph::Init, false},
      {0x18, nullptr, Glyph::Init, false},
      {0x1F, nullptr, Glyph::Init, false},
      {0xE1, "PrinterPrintingImage", Glyph::OK, false},  // bits 5-7 do not count
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(HexLabelText(c.byte3));
    StatusDecoder d(Layout::VD, 3);
    auto r = Decode(d, Bytes{0, 0, c.byte3, 0});
    EXPECT_EQ(r.restore, c.restore);
    for (const auto& s : d.states()) {
      const Glyph want = (c.image && s.image == std::string(c.image)) ? c.glyph : Glyph::Init;
      EXPECT_EQ(d.shown(s.image), want) << s.image;
    }
  }
}

TEST(StatusDecoder, WorkingStateErrorAsksForRestoreOnEveryRecord) {
  StatusDecoder d(Layout::VD, 3);
  auto a = Decode(d, Bytes{0, 0, 0x12, 0});
  auto b = Decode(d, Bytes{0, 0, 0x12, 0});
  EXPECT_TRUE(a.restore);
  EXPECT_TRUE(b.restore);
  EXPECT_TRUE(b.images.empty());
}

TEST(StatusDecoder, K305G2VdModeKnowsOnlyIdlePrintingAndAutoFeed) {
  for (uint8_t code : {0x02, 0x12, 0x03, 0x16}) {
    StatusDecoder d(Layout::K305G2VD, 14);
    Decode(d, Bytes{0, 0, 0x00, 0});  // idle
    auto r = Decode(d, Bytes{0, 0, code, 0});
    EXPECT_EQ(d.shown("imgPrinterIdleImage"), Glyph::Init) << int(code);
    EXPECT_EQ(d.shown("imgPrinterPrintingImage"), Glyph::Init);
    EXPECT_EQ(d.shown("imgAutoFeedingImage"), Glyph::Init);
    EXPECT_FALSE(r.restore) << "a state this dialog does not show asks for nothing";
  }
  StatusDecoder d(Layout::K305G2VD, 14);
  Decode(d, Bytes{0, 0, 0x11, 0});
  EXPECT_EQ(d.shown("imgPrinterPrintingImage"), Glyph::Error);
  Decode(d, Bytes{0, 0, 0x07, 0});
  EXPECT_EQ(d.shown("imgAutoFeedingImage"), Glyph::OK);
  EXPECT_EQ(d.shown("imgPrinterPrintingImage"), Glyph::Init);
}

TEST(StatusDecoder, FirstRecordWritesEveryImageAndAllClearMemo) {
  StatusDecoder d(Layout::VD, 3);
  auto r = Decode(d, Bytes(4, 0));
  EXPECT_EQ(r.images.size(), d.images().size());
  for (const auto& c : d.conditions()) EXPECT_EQ(r.written(c.image), Glyph::OK) << c.image;
  EXPECT_EQ(r.written("PrinterIdleImage"), Glyph::OK);
  EXPECT_EQ(r.written("PrinterPrintingImage"), Glyph::Init);
  EXPECT_TRUE(r.labels.empty()) << "labels read 00H until a byte is not zero";
  EXPECT_FALSE(r.restore);
  const std::vector<std::string> memo = {"Cutter is OK", "Printer Head Closed", "TPH is OK",
                                         "Paper Ok",     "No Paper Low",        "No Paper Jam"};
  EXPECT_EQ(r.memo, memo);
}

TEST(StatusDecoder, MemoLanguagesAndNone) {
  StatusDecoder d(Layout::VD, 0);
  auto cn = Decode(d, Bytes{0x04, 0, 0, 0}, CN);
  const std::vector<std::string> want = {"切刀正常", "打印头压下", "打印头正常",
                                         "容纸器上盖合闭", "没有纸了", "不缺纸", "打印机无塞纸"};
  EXPECT_EQ(cn.memo, want);
  auto none = Decode(d, Bytes{0x04, 0, 0, 0}, MemoLanguage::None);
  EXPECT_TRUE(none.memo.empty());
  EXPECT_EQ(MemoLanguageOf("English"), EN);
  EXPECT_EQ(MemoLanguageOf("Chinese"), CN);
  EXPECT_EQ(MemoLanguageOf("-1"), MemoLanguage::None);
  EXPECT_EQ(MemoLanguageOf("english"), MemoLanguage::None);
}

TEST(StatusDecoder, JamLinesByModel) {
  struct Case {
    int model;
    Bytes record;
    std::vector<std::string> jamLines;  // the memo's lines after "No Paper Low"
  };
  const Case cases[] = {
      {0, {0, 0x04, 0, 0}, {"Bundler Paper Jam"}},
      {1, {0, 0x04, 0, 0}, {"Presenter Paper Jam"}},
      {2, {0, 0x04, 0, 0}, {"Presenter Paper Jam"}},
      {16, {0, 0x04, 0, 0}, {"Presenter Paper Jam"}},
      {3, {0, 0x04, 0, 0}, {}},  // no jam line and no "No Paper Jam"
      {3, {0, 0x02, 0, 0}, {"Printer Paper Jam"}},
      {0, {0, 0x06, 0, 0}, {"Printer Paper Jam", "Bundler Paper Jam"}},
      {7, {0, 0, 0, 0}, {"No Paper Jam"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.model) + " " + Hex(c.record));
    StatusDecoder d(Layout::VD, c.model);
    auto r = Decode(d, c.record);
    auto it = std::find(r.memo.begin(), r.memo.end(), "No Paper Low");
    ASSERT_NE(it, r.memo.end());
    EXPECT_EQ(std::vector<std::string>(it + 1, r.memo.end()), c.jamLines);
  }
}

TEST(StatusDecoder, VdN512SharedImageShowsErrorWhileEitherConditionIsPresent) {
  // Byte 2 bit 1 (printer jam) and byte 4 bit 0 (bundler full) share one image.
  struct Step {
    Bytes record;
    Glyph shown;
  };
  const Step steps[] = {
      {{0, 0, 0, 0}, Glyph::OK},
      {{0, 0x02, 0, 0}, Glyph::Error},     // jam
      {{0, 0x02, 0, 0x01}, Glyph::Error},  // jam and full
      {{0, 0, 0, 0x01}, Glyph::Error},     // jam cleared, full stays: no OK painted over it
      {{0, 0x02, 0, 0x01}, Glyph::Error},
      {{0, 0x02, 0, 0}, Glyph::Error},     // full cleared, jam stays
      {{0, 0, 0, 0}, Glyph::OK},
  };
  StatusDecoder d(Layout::VD, 0);
  Glyph before = Glyph::None;
  for (const auto& s : steps) {
    SCOPED_TRACE(Hex(s.record));
    auto r = Decode(d, s.record);
    EXPECT_EQ(d.shown("BundlerFullImage"), s.shown);
    // Written only when the shown glyph changes, at most once per record.
    const auto writes = std::count_if(r.images.begin(), r.images.end(),
                                      [](const ImageWrite& w) { return w.image == "BundlerFullImage"; });
    EXPECT_EQ(writes, before != s.shown ? 1 : 0);
    before = s.shown;
  }
  // Each condition asks for the restore when it newly shows, even on an image
  // that already shows Error.
  StatusDecoder e(Layout::VD, 0);
  Decode(e, Bytes{0, 0x02, 0, 0});
  EXPECT_TRUE(Decode(e, Bytes{0, 0x02, 0, 0x01}).restore);
  EXPECT_FALSE(Decode(e, Bytes{0, 0x02, 0, 0x01}).restore);
}

TEST(StatusDecoder, ConditionAsksForRestoreOnlyWhenItNewlyShows) {
  StatusDecoder d(Layout::VD, 3);
  EXPECT_FALSE(Decode(d, Bytes(4, 0)).restore);
  EXPECT_TRUE(Decode(d, Bytes{0x04, 0, 0, 0}).restore);
  EXPECT_FALSE(Decode(d, Bytes{0x04, 0, 0, 0}).restore);
  EXPECT_TRUE(Decode(d, Bytes{0x06, 0, 0, 0}).restore);
  EXPECT_FALSE(Decode(d, Bytes{0x02, 0, 0, 0}).restore);

  // A condition present in the very first record shows at once and asks.
  StatusDecoder first(Layout::VD, 3);
  auto r = Decode(first, Bytes{0x04, 0, 0, 0});
  EXPECT_EQ(r.written("PaperendImage"), Glyph::Error);
  EXPECT_TRUE(r.restore);
  EXPECT_TRUE(HasLine(r, "Paper Error"));

  // Series layout: feed and printing ask on every record they are present.
  StatusDecoder rw(Layout::RW, 6);
  EXPECT_TRUE(Decode(rw, Bytes{0x40, 0, 0, 0}).restore);
  EXPECT_TRUE(Decode(rw, Bytes{0x40, 0, 0, 0}).restore);
  EXPECT_TRUE(Decode(rw, Bytes{0, 0, 0x40, 0}).restore);
  EXPECT_FALSE(Decode(rw, Bytes{0, 0, 0, 0}).restore);
  // RW Mode of the RW-K305GII: feed asks only when it newly shows.
  StatusDecoder k(Layout::K305G2RW, 14);
  EXPECT_TRUE(Decode(k, Bytes{0x40, 0, 0, 0}).restore);
  EXPECT_FALSE(Decode(k, Bytes{0x40, 0, 0, 0}).restore);
}

TEST(StatusDecoder, SeriesNearEndAndPaperEndNeedBothBits) {
  struct Case {
    uint8_t byte3;
    bool nearEnd;
    bool paperEnd;
  };
  const Case cases[] = {{0x01, false, false}, {0x02, false, false}, {0x03, true, false},
                        {0x04, false, false}, {0x08, false, false}, {0x0C, false, true},
                        {0x0F, true, true}};
  for (Layout layout : {Layout::RW, Layout::K305G2RW}) {
    for (const auto& c : cases) {
      StatusDecoder d(layout, layout == Layout::RW ? 6 : 14);
      Decode(d, Bytes{0, 0, c.byte3, 0});
      EXPECT_EQ(d.flag("bPaperNearEnd"), c.nearEnd) << int(c.byte3);
      EXPECT_EQ(d.flag("bPaperEnd"), c.paperEnd) << int(c.byte3);
    }
  }
}

TEST(StatusDecoder, SeriesPaperBlockingLatchOfTheRwK305E) {
  // record -> blocking glyph, latch after, memo blocking line.
  struct Step {
    Bytes record;
    Glyph blocking;
    bool latch;
    const char* line;
  };
  const std::vector<std::vector<Step>> runs = {
      {{{0, 0x20, 0, 0}, Glyph::Error, false, "Printer  Paper Blocking Error"}},
      {{{0x20, 0, 0, 0}, Glyph::OK, true, "Printer No Paper Blocking"},    // head up sets the latch
       {{0, 0x20, 0, 0}, Glyph::OK, false, "Printer No Paper Blocking"},   // consumed
       {{0, 0x20, 0, 0}, Glyph::Error, false, "Printer  Paper Blocking Error"}},
      {{{0, 0x28, 0, 0}, Glyph::OK, false, "Printer No Paper Blocking"}},  // cutter error with bit 5
      {{{0, 0x40, 0, 0}, Glyph::OK, true, nullptr},                        // head too hot latches
       {{0, 0, 0x0C, 0}, Glyph::OK, true, nullptr},                        // paper end latches
       {{0, 0, 0x03, 0}, Glyph::OK, true, nullptr},                        // near end does not consume
       {{0, 0x20, 0, 0}, Glyph::OK, false, nullptr}},
  };
  for (const auto& run : runs) {
    StatusDecoder d(Layout::RW, 9);
    for (const auto& s : run) {
      SCOPED_TRACE(Hex(s.record));
      auto r = Decode(d, s.record);
      EXPECT_EQ(d.shown("BundlerPaperJamImage"), s.blocking);
      EXPECT_EQ(d.recoverLatch(), s.latch);
      if (s.line) {
      EXPECT_EQ(r.memo.back(), s.line);
    }
    }
  }
  // Other series models have no blocking image and no blocking line.
  StatusDecoder k305(Layout::RW, 6);
  auto r = Decode(k305, Bytes{0, 0x20, 0, 0});
  EXPECT_EQ(r.written("BundlerPaperJamImage"), Glyph::None);
  EXPECT_EQ(r.memo.size(), 4u);
}

TEST(StatusDecoder, SeriesMemoAfterAllClear) {
  StatusDecoder d(Layout::RW, 9);
  auto r = Decode(d, Bytes(4, 0));
  const std::vector<std::string> want = {"Printer Head Closed", "Paper Ok", "No Paper Low", "Printer Cutter Ok",
                                         "Printer No Paper Blocking"};
  EXPECT_EQ(r.memo, want);
  EXPECT_EQ(r.written("BundlerPaperHoldingImage"), Glyph::Init);
  EXPECT_EQ(r.written("PrinterPrintingImage"), Glyph::Init);
  EXPECT_EQ(r.written("PrinterIdleImage"), Glyph::None) << "the series record has no working-state code";
}

TEST(StatusDecoder, K305G2MemoOrders) {
  const Bytes rec = torva::sim::MakeK305G2VdRecord({.paperEnd = true, .recyclingJam = true});
  StatusDecoder vd(Layout::K305G2VD, 14);
  EXPECT_EQ(vd.decode(rec, EN).memo,
            (std::vector<std::string>{"Printer Rolling Paper OK", "Recycling Paper Jam!", "Printer Head Closed",
                                      "Paper Error", "No Paper Low", "No Paper Jam"}));
  StatusDecoder vdcn(Layout::K305G2VD, 14);
  EXPECT_EQ(vdcn.decode(rec, CN).memo,
            (std::vector<std::string>{"打印头关闭", "打印纸张错误", "不缺纸", "打印机无塞纸", "打印机卷纸正常",
                                      "回收通道塞纸"}));
  const Bytes rwrec = torva::sim::MakeK305G2RwRecord({.paperBlocking = true, .rollPaperSlack = true});
  for (auto lang : {EN, CN}) {
    StatusDecoder rw(Layout::K305G2RW, 14);
    auto r = rw.decode(rwrec, lang);
    const std::vector<std::string> en = {"Printer Head Closed", "Rolling Paper Slack!", "Recycling Paper OK",
                                         "Paper Ok", "No Paper Low", "Printer  Paper Blocking Error"};
    const std::vector<std::string> cn = {"打印头关闭", "回卷纸张松弛!", "回收通道正常", "打印纸张正常", "不缺纸",
                                         "打印机卡纸"};
    EXPECT_EQ(r.memo, lang == EN ? en : cn);
  }
}

TEST(StatusDecoder, HexLabelsChangeOnly) {
  StatusDecoder d(Layout::VD, 3);
  auto a = Decode(d, Bytes{0x1F, 0, 0xE1, 0});
  EXPECT_EQ(a.labels, (std::vector<LabelWrite>{{0, "1FH"}, {2, "E1H"}}));
  auto b = Decode(d, Bytes{0x1F, 0x80, 0xE1, 0});
  EXPECT_EQ(b.labels, (std::vector<LabelWrite>{{1, "80H"}}));
  auto c = Decode(d, Bytes{0x1F, 0x80, 0xE1, 0});
  EXPECT_TRUE(c.labels.empty());
  EXPECT_EQ(d.clearLabels(), (std::vector<LabelWrite>{{0, "00H"}, {1, "00H"}, {2, "00H"}}));
  EXPECT_TRUE(d.clearLabels().empty());
  EXPECT_EQ(HexLabelText(0x0A), "0AH");
}

TEST(StatusDecoder, WrongLengthDecodesNothing) {
  StatusDecoder d(Layout::VD, 3);
  Decode(d, Bytes(4, 0));
  for (const Bytes& r : {Bytes{}, Bytes{0x04, 0, 0}, Bytes{0x04, 0, 0, 0, 0}}) {
    auto out = d.decode(r, EN);
    EXPECT_TRUE(out.images.empty() && out.labels.empty() && out.memo.empty() && !out.restore);
  }
  EXPECT_EQ(d.shown("PaperendImage"), Glyph::OK);
}

TEST(StatusDecoder, ViewResetMakesTheNextRecordWriteEveryImage) {
  StatusDecoder d(Layout::VD, 0);
  Decode(d, Bytes{0x04, 0, 0, 0});
  d.viewWasReset();
  for (const auto& img : d.images()) EXPECT_EQ(d.shown(img), Glyph::Init);
  auto r = Decode(d, Bytes{0x04, 0, 0, 0});
  EXPECT_EQ(r.written("PaperendImage"), Glyph::Error);
  EXPECT_EQ(r.written("PrinterHeadupImage"), Glyph::OK);
  EXPECT_EQ(r.written("PrinterIdleImage"), Glyph::OK);
  EXPECT_EQ(r.written("PrinterCuttingImage"), Glyph::None) << "already Init";
}

TEST(StatusLayouts, BuildersPutEachFieldInItsBit) {
  using namespace torva::sim;
  EXPECT_EQ(MakeVdRecord({.paperEnd = true}), (Bytes{0x04, 0, 0, 0}));
  EXPECT_EQ(MakeVdRecord({.voltageAbnormal = true, .bundlerHeadUp = true, .workingState = 2, .stateError = true,
                          .bundlerFull = true}),
            (Bytes{0x80, 0x80, 0x12, 0x01}));
  EXPECT_EQ(MakeRwRecord({.headUp = true, .paperBlocking = true, .paperEnd = true, .printing = true}),
            (Bytes{0x20, 0x20, 0x4C, 0}));
  EXPECT_EQ(MakeK305G2VdRecord({.recyclingJam = true, .rollPaperSlack = true, .workingState = 7}),
            (Bytes{0x80, 0x80, 0x07, 0}));
  EXPECT_EQ(MakeK305G2RwRecord({.recyclingJam = true, .feeding = true, .paperNearEnd = true}),
            (Bytes{0x44, 0, 0x03, 0}));
}
