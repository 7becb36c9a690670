// The common map's rows and the profiles made of them, without a dialog.
#include <gtest/gtest.h>

#include <set>

#include "settings/CommonAddressMap.h"
#include "settings/SettingsFile.h"
#include "link/PortState.h"

using namespace torva::settings;

namespace {

constexpr int kLastKey = static_cast<int>(CommonSetting::K773EnlargeVertical);

}  // namespace

TEST(CommonAddressRows, EveryKeyFindsItsRowAndEveryProfileItsTag) {
  for (int key = 1; key <= kLastKey; ++key) {
    EXPECT_EQ(static_cast<int>(Row(static_cast<CommonSetting>(key)).setting), key);
  }
  std::set<int> codes;
  for (const CommonAddressProfile* p : CommonAddressProfiles()) {
    SCOPED_TRACE(p->objectName);
    EXPECT_TRUE(codes.insert(p->modelCode).second) << "one profile per model";
    EXPECT_EQ(p->tag, ModelTag(p->modelCode));
    // A refusal that ends a Save or is reported has a text to show.
    for (const SaveStep& step : p->saveOrder) {
      if (step.refusal != Refusal::NotLookedAt) {
        EXPECT_NE(Row(step.setting).saveRefusalText, nullptr);
      }
    }
    // Each file key is imported by one row only, except the VD-K773's
    // watermark enlargement, whose two halves are imported one by one.
    std::set<int> keys;
    for (const FileRecordKey& r : p->importTable) {
      const bool halves = p->modelCode == ModelVDK773 && r.key == 0x8C;
      EXPECT_TRUE(keys.insert(r.key).second || halves) << std::hex << int(r.key);
    }
    // What the export writes, the import reads back.
    for (const FileRecordKey& r : p->exportOrder) {
      EXPECT_TRUE(keys.count(r.key)) << std::hex << int(r.key);
    }
  }
}

// What the imports of the VD-K305 and the VD-N512 accept, record by record.
TEST(CommonAddressImport, K305AndN512Tables) {
  struct Case {
    const CommonAddressProfile& profile;
    uint8_t address, lo, hi;
    bool accepted;
  };
  const auto& k305 = K305Profile();
  const auto& n512 = N512Profile();
  const auto& k512 = K512Profile();
  const Case cases[] = {
      // VD-K305: the LED records; the baud codes of the other editors.
      {k305, 0xB7, 0, 0, true},    {k305, 0xB7, 1, 0, true},      {k305, 0xB7, 2, 0, false},
      {k305, 0xB7, 0xFF, 0xFF, false}, {k305, 0xB8, 0xFF, 0xFF, true}, {k305, 0xB8, 0, 0, true},
      {k305, 0x16, 5, 0, false},   {k305, 0x16, 6, 0, false},     {k305, 0x16, 7, 0, true},
      {k305, 0x41, 1, 0, true},    {k305, 0x66, 80, 0, true},     {k305, 0x4A, 7, 0, false},
      // VD-N512: every key of its table with a value it takes, and values it refuses.
      {n512, 0x02, 1, 0, true},    {n512, 0x02, 0, 0, false},     {n512, 0x06, 25, 0, true},
      {n512, 0x06, 151, 0, false}, {n512, 0x12, 1, 0, true},      {n512, 0x14, 0, 0, true},
      {n512, 0x16, 7, 0, true},    {n512, 0x16, 5, 0, false},     {n512, 0x17, 7, 0, true},
      {n512, 0x19, 2, 0, true},    {n512, 0x1B, 2, 0, true},      {n512, 0x2B, 0xFF, 0xFF, true},
      {n512, 0x30, 1, 0, true},    {n512, 0x30, 2, 0, false},     {n512, 0x3C, 0xFF, 0xFF, true},
      {n512, 0x3E, 2, 0, true},    {n512, 0x3E, 0, 0, true},      {n512, 0x3E, 1, 0, false},
      {n512, 0x41, 1, 0, true},    {n512, 0x43, 1, 0, true},      {n512, 0x4A, 100, 0, true},
      {n512, 0x4A, 101, 0, false}, {n512, 0x4E, 0, 0, true},      {n512, 0x4E, 0, 1, false},
      {n512, 0x52, 0xFF, 0xFF, true}, {n512, 0x54, 0, 0, true},   {n512, 0x59, 1, 0, true},
      {n512, 0x60, 4, 0, true},    {n512, 0x60, 1, 0, false},     {n512, 0x60, 3, 0, false},
      {n512, 0x66, 80, 0, true},   {n512, 0x66, 81, 0, false},    {n512, 0x6D, 9, 0, true},
      {n512, 0x6D, 10, 0, false},  {n512, 0x6D, 0xFF, 0xFF, false}, {n512, 0x78, 0xFF, 0xFF, true},
      {n512, 0x7D, 1, 0, true},    {n512, 0x7D, 0xFF, 0xFF, false}, {n512, 0xD5, 1, 0, true},
      {n512, 0xD5, 0, 0, true},    {n512, 0xD5, 2, 0, false},     {n512, 0xB7, 0, 0, false},
      {n512, 0x00, 0, 0, false},
      // The editors of the VD-M512II's form take none of the added records.
      {k512, 0xB7, 0, 0, false},   {k512, 0x6D, 0, 0, false},     {k512, 0xD5, 1, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile.objectName) + " " + std::to_string(c.address) + " " +
                 std::to_string(c.lo) + " " + std::to_string(c.hi));
    EditorState st;
    EXPECT_EQ(ApplyImportRecord(c.address, c.lo, c.hi, st, c.profile), c.accepted);
    if (!c.accepted) {
      EXPECT_EQ(st, EditorState()) << "a refused record changes nothing";
    }
  }
  // The margins travel under their file keys: left 4A, right 4E.
  EditorState st;
  ASSERT_TRUE(ApplyImportRecord(0x4A, 3, 0, st, n512));
  ASSERT_TRUE(ApplyImportRecord(0x4E, 12, 0, st, n512));
  EXPECT_EQ(st.leftMargin, "3");
  EXPECT_EQ(st.rightMargin, "12");
}

// The VD-K773's rows as the printer and the result line see them: the Get
// order with each row's failure text, the Save order with its route (at once
// or queued) and refusal text.
TEST(K773Rows, GetAndSaveOrdersWithTheirTexts) {
  const CommonAddressProfile& p = K773Profile();
  const std::pair<int, const char*> get[] = {
      {0x16, " COM's baud rate,"}, {0x41, " COM's flow control,"}, {0x2B, "get Feed Lines mark,"},
      {0x17, " COM's databits"}, {0x19, " COM's Stopbits"}, {0x1B, " COM's parity,"},
      {0x4E, " default left margin,"}, {0x4A, " default right margin,"}, {0x06, " print speed,"},
      {0x02, " print darkness,"}, {0x12, " paper type flag,"}, {0x30, " auto cutter flag,"},
      {0x59, " beeper flag,"}, {0x14, " CR command flag,"}, {0xCB, " IntlCharSets,"}, {0x6D, " CodePage,"},
      {0x3E, " bPresenterEnable flag,"}, {0x60, " PaperOutMode,"}, {0x3C, " EcReadPaperNearEndEnable flag,"},
      {0x78, " AutoLoadingTime flag,"}, {0x52, " AutoLoadingSpeed flag,"}, {0x70, " USBMode flag,"},
      {0x87, " CutPaperMode flag,"}, {0x05, " PrintSurface flag,"}, {0xC4, " Data Error flag,"},
      {0x09, " Data Error flag,"}, {0x7D, " Rx Buffer Size flag,"}, {0x66, " Rx PaperWidth flag,"},
      {0x43, " PaperEndInfluent flag,"}, {0x89, " WaterMarkEnable flag,"}, {0x8B, " WaterMarkAlignment flag,"},
      {0x8A, " WaterMark Print mode flag,"}, {0x8C, " WaterMarkEnlarge flag,"},
  };
  ASSERT_EQ(p.getOrder.size(), std::size(get));
  for (size_t i = 0; i < p.getOrder.size(); ++i) {
    SCOPED_TRACE(i + 1);
    EXPECT_EQ(Row(p.getOrder[i]).address, get[i].first);
    EXPECT_STREQ(Row(p.getOrder[i]).getFailText, get[i].second);
    // Only the margins add the English-only box.
    EXPECT_EQ(Row(p.getOrder[i]).getFailBox != nullptr, i == 6 || i == 7);
  }
  struct Step {
    int address;
    bool direct;
    const char* text;
  };
  const Step save[] = {
      {0x16, false, " COM's baud rate,"}, {0x41, false, " COM's flow control,"}, {0x17, false, " COM's databits ,"},
      {0x19, false, " COM's  stopbits,"}, {0x2B, true, "  Feed Lines in Mark Mode flag,"},
      {0x1B, false, " COM's parity,"}, {0x4E, true, " default left margin,"}, {0x4A, true, " default right margin,"},
      {0xC4, true, " Printer Mode,"}, {0x06, false, " print speed,"}, {0x02, false, " print darkness,"},
      {0x12, false, " paper type flag,"}, {0x43, true, " PaperNearEndInfluent flag,"},
      {0x30, false, " auto cutter flag,"}, {0x14, false, " CR command flag,"}, {0x59, true, " beeper flag,"},
      {0x3E, false, " presenter   enable flag,"}, {0x60, false, " paper out mode flag,"},
      {0x3C, false, " PresenterWaitTime flag,"}, {0x78, false, " AutoLoadingTime flag,"},
      {0x52, false, " AutoLoadingSpeed flag,"}, {0x6D, true, "  CodePage  flag,"}, {0xCB, true, " intlChar flag,"},
      {0x09, true, " DataError flag,"}, {0x7D, true, " BufferSize flag,"}, {0x66, true, " PaperWidth flag,"},
      {0x70, true, " USB  flag,"}, {0x87, true, " CutPaper flag,"}, {0x05, true, " Printing Surface flag,"},
      {0x89, true, " Watermark Enable flag,"}, {0x8C, true, " Watermark Enlarge flag,"},
      {0x8A, true, " Watermark Print flag,"}, {0x8B, true, " Watermark Print flag,"},
  };
  ASSERT_EQ(p.saveOrder.size(), std::size(save));
  for (size_t i = 0; i < p.saveOrder.size(); ++i) {
    SCOPED_TRACE(i + 1);
    const SettingRow& row = Row(p.saveOrder[i].setting);
    EXPECT_EQ(row.address, save[i].address);
    EXPECT_EQ(p.saveOrder[i].direct, save[i].direct);
    EXPECT_STREQ(row.saveRefusalText, save[i].text);
    EXPECT_TRUE(row.setterChecksHandle);
  }
}

// A receive buffer with nothing selected is left out of Save and of the
// file, as is a code page with nothing selected from the file; any other
// refused record refuses the whole export.
TEST(K773Rows, WhatNothingSelectedLeavesOut) {
  const CommonAddressProfile& p = K773Profile();
  EditorState s;
  s.speed = "150";
  s.darkness = "68";
  s.autoSpeed = "60";
  s.codePage = 0;
  s.flow = 2;
  const EditCheck check = CheckEdits(s, p.exportChecks);
  ASSERT_TRUE(check.values);
  ASSERT_EQ(BuildExport(s, *check.values, p)->size(), 297u);
  s.rxBuffer = -1;
  EXPECT_EQ(BuildExport(s, *check.values, p)->size(), 288u);
  s.codePage = -1;
  EXPECT_EQ(BuildExport(s, *check.values, p)->size(), 279u);
  for (const SaveStep& step : p.saveOrder) {
    if (Row(step.setting).address == 0x7D) EXPECT_EQ(step.refusal, Refusal::NotLookedAt);
    else EXPECT_EQ(step.refusal, Refusal::EndsSave);
  }
  s.intlChar = -1;
  EXPECT_FALSE(BuildExport(s, *check.values, p));
}

// The paper width and the enlargement are converted by their setters: a text
// that is not a number is refused like a number out of range (nothing sent),
// never taken as 0.
TEST(K773Rows, TextsThatAreNotNumbersAreRefused) {
  const CommonAddressProfile& p = K773Profile();
  const EditValues edits;
  struct Case {
    CommonSetting setting;
    void (*edit)(EditorState&);
    std::optional<uint16_t> written;
  };
  const Case cases[] = {
      {CommonSetting::K773PaperWidth, [](EditorState& s) { s.paperWidth = "80"; }, 80},
      {CommonSetting::K773PaperWidth, [](EditorState& s) { s.paperWidth = ""; }, std::nullopt},
      {CommonSetting::K773PaperWidth, [](EditorState& s) { s.paperWidth = "5 mm"; }, std::nullopt},
      {CommonSetting::K773PaperWidthFile, [](EditorState& s) { s.paperWidth = "65534"; }, 65534},
      // One-character texts as strings: GCC 12 at -O3 takes the assignment
      // from a one-character literal here for an overlapping copy.
      {CommonSetting::K773PaperWidthFile, [](EditorState& s) { s.paperWidth = std::string("x"); }, std::nullopt},
      {CommonSetting::K773WaterMarkEnlarge, [](EditorState& s) { s.enlargeHorizontal = std::string("3"); }, 0x0103},
      {CommonSetting::K773WaterMarkEnlarge, [](EditorState& s) { s.enlargeVertical = "one"; }, std::nullopt},
      {CommonSetting::K773WaterMarkEnlarge, [](EditorState& s) { s.enlargeHorizontal = "-1"; }, std::nullopt},
  };
  for (const Case& c : cases) {
    EditorState s;
    c.edit(s);
    EXPECT_EQ(WrittenValue(c.setting, s, edits, p), c.written) << s.paperWidth << " " << s.enlargeHorizontal;
  }
}
