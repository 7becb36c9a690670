// The settings file format: the writer's records, the reader's size and tag
// rules, and the VD-M512II map applied to imported records.
#include <gtest/gtest.h>

#include "settings/CommonAddressMap.h"
#include "settings/SettingsFile.h"

using namespace torva::settings;

namespace {

Bytes Record(uint8_t address, uint16_t value) {
  const auto c = WriteSettingCommand(address, value);
  return Bytes(c.begin(), c.end());
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Records(int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) {
    const Bytes r = Record(0x06, 100);
    out.insert(out.end(), r.begin(), r.end());
  }
  return out;
}

}  // namespace

TEST(SettingsFileWriter, RecordRangesAndLayout) {
  SettingsFileWriter w;
  EXPECT_FALSE(w.SaveSettingsToFile(0x06, 65536));
  EXPECT_FALSE(w.SaveSettingsToFile(0x06, -1));
  EXPECT_FALSE(w.SaveSettingsToFile(257, 1));
  EXPECT_FALSE(w.SaveSettingsToFile(-1, 1));
  EXPECT_EQ(w.recordCount(), 0);
  EXPECT_TRUE(w.SaveSettingsToFile(256, 1));  // 256 passes as address 00
  EXPECT_TRUE(w.SaveSettingsToFile(0x4E, 300));
  EXPECT_TRUE(w.SaveSettingsToFile2(0x10, 0x1FF));  // bank 2 keeps the low byte
  EXPECT_EQ(w.Finish("VD-M512II"),
            Concat({{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x00},
                    {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x2C, 0x01, 0x4E},
                    {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, 0xFF, 0x00, 0x10},
                    Text("VD-M512II")}));
}

TEST(SettingsFileTags, EveryModelHasItsTag) {
  EXPECT_EQ(ModelTag(2), "VD-M512II");
  EXPECT_EQ(ModelTag(1), "VD-M512ab");
  EXPECT_EQ(ModelTag(13), "VD-K9034ab");
  EXPECT_EQ(ModelTag(6), ModelTag(14));  // RW-K305 and RW-K305GII share one
  EXPECT_EQ(ModelTag(15), "RW-K305XX");
  EXPECT_EQ(ModelTag(5), "ABCDEFGHI");
  for (int code = 0; code < 19; ++code) {
    const std::string tag = ModelTag(code);
    EXPECT_EQ(tag.size(), code == 13 ? 10u : 9u) << code;
  }
  EXPECT_EQ(ModelTag(19), "");
}

// The size and tag cases of the VD-M512II reader (store of 25 records).
TEST(SettingsFileReader, SizesAndTags) {
  const FileReadProfile profile{"VD-M512II", 25};
  struct Case {
    const char* name;
    Bytes file;
    bool oddSize;
    bool tooLarge;
    bool tagMatches;
    size_t records;
  };
  const Case cases[] = {
      {"tag only", Text("VD-M512II"), false, false, true, 0},
      {"empty file", {}, false, false, false, 0},
      {"five bytes", Text("VD-M5"), true, false, false, 0},
      {"19 records and the tag", Concat({Records(19), Text("VD-M512II")}), false, false, true, 19},
      {"one byte after the tag is ignored", Concat({Records(19), Text("VD-M512II"), {0x00}}), true, false, true, 19},
      {"one byte in front shifts the tag", Concat({{0x00}, Records(19), Text("VD-M512II")}), true, false, false, 19},
      {"another model's tag", Concat({Records(19), Text("VD-M512ab")}), false, false, false, 19},
      {"tag with a zero byte", Concat({Records(1), Text("VD-M512"), {0, 0}}), false, false, false, 1},
      {"tag missing", Records(2), false, false, false, 1},
      {"25 records fill the store", Concat({Records(25), Text("VD-M512II")}), false, false, true, 25},
      {"25 records and 8 odd bytes", Concat({Records(25), Text("VD-M512II"), Text("12345678")}), true, false, true, 25},
      {"26 records are refused", Concat({Records(26), Text("VD-M512II")}), false, true, false, 0},
      {"25 records and 9 odd bytes are refused", Concat({Records(25), Text("VD-M512II"), Text("123456789")}), false,
       true, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FileSizeCheck size = CheckFileSize(static_cast<long long>(c.file.size()), profile);
    EXPECT_EQ(size.oddSize, c.oddSize);
    EXPECT_EQ(size.tooManyRecords, c.tooLarge);
    const FileReadResult r = ReadSettingsFile(c.file, profile);
    EXPECT_EQ(r.refusedTooLarge, c.tooLarge);
    EXPECT_EQ(r.tagMatches, c.tagMatches);
    EXPECT_EQ(r.records.size(), c.records);
    if (!c.tooLarge) {
      EXPECT_LE(static_cast<long long>(c.file.size()), MaxFileBytes(profile));
    }
  }
}

// The 10-byte tag is taken off the size before the records are counted: a
// well-formed file is not "odd", and one that ends in a 9-byte tag is.
TEST(SettingsFileReader, TenByteTag) {
  const FileReadProfile profile{"VD-K9034ab", 30};
  struct Case {
    const char* name;
    Bytes file;
    bool oddSize;
    bool tagMatches;
    size_t records;
  };
  const Case cases[] = {
      {"two records and the tag", Concat({Records(2), Text("VD-K9034ab")}), false, true, 2},
      {"tag only", Text("VD-K9034ab"), false, true, 0},
      {"tag one byte short", Concat({Records(2), Text("VD-K9034a")}), true, false, 1},
      {"five records and a 9-byte tag", Concat({Records(5), Text("VD-K772ab")}), true, false, 4},
      {"byte after the tag", Concat({Records(2), Text("VD-K9034ab"), {0}}), true, true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CheckFileSize(static_cast<long long>(c.file.size()), profile).oddSize, c.oddSize);
    const FileReadResult r = ReadSettingsFile(c.file, profile);
    EXPECT_EQ(r.tagMatches, c.tagMatches);
    EXPECT_EQ(r.records.size(), c.records);
  }
}

// What the VD-M512II editor accepts from an imported record.
TEST(CommonAddressImport, AcceptedAndRefusedRecords) {
  const auto& ii = M512IIProfile();
  struct Case {
    uint8_t address, lo, hi;
    bool accepted;
  };
  const Case cases[] = {
      {0x16, 0, 0, true},   {0x16, 7, 0, true},   {0x16, 5, 0, false},  {0x16, 6, 0, false},
      {0x16, 0, 1, false},  {0x41, 0, 0, true},   {0x41, 1, 0, true},   {0x41, 2, 0, false},
      {0x17, 8, 0, true},   {0x17, 7, 0, true},   {0x17, 0xFF, 0, false}, {0x17, 8, 1, false},
      {0x19, 1, 0, true},   {0x19, 0xFF, 0, false}, {0x1B, 2, 0, true},   {0x1B, 3, 0, false},
      {0x06, 25, 0, true},  {0x06, 150, 0, true}, {0x06, 151, 0, false}, {0x06, 24, 0, false},
      {0x02, 1, 0, true},   {0x02, 254, 0, true}, {0x02, 0, 0, false},  {0x02, 255, 0, false},
      {0x12, 1, 0, true},   {0x12, 2, 0, false},  {0x43, 1, 0, true},   {0x54, 0, 1, false},
      {0x30, 1, 0, true},   {0x14, 0, 0, true},   {0x59, 1, 0, true},   {0x3E, 0, 0, true},
      {0x60, 2, 0, true},   {0x60, 3, 0, false},  {0x2B, 0xFF, 0xFF, true}, {0x3C, 0x10, 0x27, true},
      {0x78, 0, 0, true},   {0x52, 0xFF, 0, true}, {0x66, 80, 0, true},   {0x66, 81, 0, false},
      {0x66, 0, 1, false},  {0x4E, 0, 0, false},  {0x00, 0, 0, false},
  };
  for (const auto& c : cases) {
    EditorState st;
    EXPECT_EQ(ApplyImportRecord(c.address, c.lo, c.hi, st, ii), c.accepted)
        << std::hex << int(c.address) << " " << int(c.lo) << " " << int(c.hi);
    if (!c.accepted) {
      EXPECT_EQ(st, EditorState()) << "a refused record changes nothing";
    }
  }
  EditorState st;
  ASSERT_TRUE(ApplyImportRecord(0x66, 50, 0, st, ii));
  EXPECT_EQ(st, EditorState()) << "address 66 applies nothing";
}

TEST(CommonAddressImport, BaudCodeSevenOnTheFiveItemList) {
  EditorState a, b;
  ASSERT_TRUE(ApplyImportRecord(0x16, 7, 0, a, M512IIProfile()));
  EXPECT_EQ(ItemText(BaudItems(M512IIProfile()), a.baud), "115200");
  ASSERT_TRUE(ApplyImportRecord(0x16, 7, 0, b, M512Profile()));
  EXPECT_EQ(b.baud, -1);  // the VD-M512 list has no "115200": nothing shown
}
