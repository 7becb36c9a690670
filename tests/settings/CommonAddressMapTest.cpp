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
