// Table tests of the VD-K773's six-byte custom record decoder.
#include <gtest/gtest.h>

#include <algorithm>

#include "status/StatusRecord6.h"

using namespace torva::status;
using Bytes = std::vector<uint8_t>;

namespace {

constexpr auto EN = MemoLanguage::English;
constexpr auto CN = MemoLanguage::Chinese;
const Bytes kClear(6, 0);

Bytes Rec(int byte, uint8_t v) {
  Bytes r(6, 0);
  r[byte - 1] = v;
  return r;
}

bool Has(const std::vector<std::string>& memo, const std::string& line) {
  return std::find(memo.begin(), memo.end(), line) != memo.end();
}

struct FlagCase {
  Bytes record;
  const char* image;  // nullptr: no image changes
  const char* enSet;
  const char* enClear;
  const char* cnSet;
};

const FlagCase kFlags[] = {
    {Rec(3, 0x01), "PaperendImage", "Paper Error", "Paper Ok", "打印纸张错误"},
    {Rec(3, 0x04), "PapernearendImage", "Paper Low", "No Paper Low", "纸将尽"},
    {Rec(3, 0x40), "WeekEndImage", "WeekEndPaper Low", "No WeekEndPaper Low", "周末纸将尽传感器检测无纸"},
    {Rec(4, 0x03), "PrinterHeadupImage", "Printer Head Up", "Printer Head Closed", "打印头抬起"},
    {Rec(5, 0x01), "TPHtoohotImage", nullptr, nullptr, nullptr},
    {Rec(5, 0x08), "VoltageabnormityImage", nullptr, nullptr, nullptr},
    {Rec(5, 0x40), "BundlerPaperJamImage", "Printer Paper Jam", "No Paper Jam", "打印机塞纸"},
    {Rec(6, 0x01), "CuttererrorImage", "AutoCut Error", "AutoCut ok", "切刀错误"},
    // One head bit alone is not an open cover; bytes 1 and 2 and the other
    // bits are shown as bits and hex only.
    {Rec(4, 0x01), nullptr, nullptr, nullptr, nullptr},
    {Rec(4, 0x02), nullptr, nullptr, nullptr, nullptr},
    {Rec(1, 0xFF), nullptr, nullptr, nullptr, nullptr},
    {Rec(2, 0xFF), nullptr, nullptr, nullptr, nullptr},
    {Rec(3, 0xBA), nullptr, nullptr, nullptr, nullptr},
    {Rec(4, 0xFC), nullptr, nullptr, nullptr, nullptr},
    {Rec(5, 0xB6), nullptr, nullptr, nullptr, nullptr},
    {Rec(6, 0xFE), nullptr, nullptr, nullptr, nullptr},
};

TEST(Record6Decoder, EachFlag) {
  for (const auto& c : kFlags) {
    SCOPED_TRACE(c.image ? c.image : "none");
    StatusDecoder d = MakeRecord6Decoder();
    d.decode(kClear, EN);
    const DecodeResult set = d.decode(c.record, EN);
    if (c.image) {
      EXPECT_EQ(set.written(c.image), Glyph::Error);
      EXPECT_EQ(set.images.size(), 1u);
      EXPECT_TRUE(set.restore);
    } else {
      EXPECT_TRUE(set.images.empty());
      EXPECT_FALSE(set.restore);
    }
    if (c.enSet) {
      EXPECT_TRUE(Has(set.memo, c.enSet));
    }
    const DecodeResult clear = d.decode(kClear, EN);
    if (c.image) {
      EXPECT_EQ(clear.written(c.image), Glyph::OK);
    }
    if (c.enClear) {
      EXPECT_TRUE(Has(clear.memo, c.enClear));
    }

    StatusDecoder z = MakeRecord6Decoder();
    z.decode(kClear, CN);
    if (c.cnSet) {
      EXPECT_TRUE(Has(z.decode(c.record, CN).memo, c.cnSet));
    }
  }
}

TEST(Record6Decoder, MemoOrderDiffersByLanguage) {
  StatusDecoder d = MakeRecord6Decoder();
  EXPECT_EQ(d.decode(kClear, EN).memo,
            (std::vector<std::string>{"Printer Head Closed", "Paper Ok", "No Paper Low", "No WeekEndPaper Low",
                                      "AutoCut ok", "No Paper Jam"}));
  StatusDecoder c = MakeRecord6Decoder();
  EXPECT_EQ(c.decode(Rec(3, 0x40), CN).memo,
            (std::vector<std::string>{"打印头关闭", "周末纸将尽传感器检测无纸", "切刀正常", "打印纸张正常", "不缺纸",
                                      "打印机无塞纸"}));
}

TEST(Record6Decoder, NoWorkingStateImages) {
  StatusDecoder d = MakeRecord6Decoder();
  const DecodeResult r = d.decode(Bytes{0, 0, 0, 0, 0, 0}, EN);
  EXPECT_TRUE(d.states().empty());
  EXPECT_EQ(r.written("PrinterIdleImage"), Glyph::None);
  EXPECT_EQ(r.images.size(), d.conditions().size());  // only the condition images, all OK
}

TEST(Record6Decoder, EachLabelFollowsItsOwnByte) {
  StatusDecoder d = MakeRecord6Decoder();
  d.decode(Bytes{0, 0, 0, 0x11, 0x22, 0}, EN);
  // Byte 6 changes while bytes 4 and 5 stay: only the label of byte 6 is written.
  const DecodeResult r = d.decode(Bytes{0, 0, 0, 0x11, 0x22, 0x33}, EN);
  ASSERT_EQ(r.labels.size(), 1u);
  EXPECT_EQ(r.labels[0], (LabelWrite{5, "33H"}));
  EXPECT_EQ(d.labelByte(3), 0x11);
}

TEST(Record6Decoder, CheckBoxAndLabelNames) {
  struct Case {
    int byte, bit;
    const char* name;
  } cases[] = {{1, 7, "Byte10"}, {1, 0, "Byte17"}, {4, 0, "Byte47"}, {5, 7, "Byte48"}, {5, 3, "Byte52"},
               {5, 2, "BYte53"}, {5, 1, "BYte54"}, {5, 0, "Byte55"}, {6, 7, "Byte56"}, {6, 0, "Byte63"},
               {7, 0, ""},       {1, 8, ""}};
  for (const auto& c : cases) EXPECT_EQ(Record6CheckBoxName(c.byte, c.bit), c.name) << c.byte << "/" << c.bit;
  EXPECT_EQ(Record6LabelName(1), "Byte0Label");
  EXPECT_EQ(Record6LabelName(4), "Byte3Label");
  EXPECT_EQ(Record6LabelName(5), "Label13");
  EXPECT_EQ(Record6LabelName(6), "Label16");
  EXPECT_EQ(Record6LabelName(7), "");
}

}  // namespace
