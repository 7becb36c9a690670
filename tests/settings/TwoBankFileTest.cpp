// The settings files of the two-bank editors: each editor's export of a
// known state byte for byte against a fixture written out record by record,
// importing it back, the model tags, and the import's framing and tables.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "TwoBankFixtures.h"
#include "settings/TwoBankMap.h"

using namespace torva::settings;
using Status = TwoBankImport::Status;
using namespace twobank_test;

namespace {

// Kept bytes with a paper-out byte that never reaches a file.
const TwoBankKeptBytes kKnownKept{9, 4, 5};

TwoBankEdits EditsOf(const TwoBankState& s, const TwoBankProfile& p) {
  const TwoBankEditCheck check = CheckTwoBankEdits(s, p.exportChecks);
  EXPECT_TRUE(check.values) << (check.messages.empty() ? "" : check.messages[0].english);
  return check.values.value_or(TwoBankEdits{});
}

class TwoBankGolden : public ::testing::TestWithParam<const TwoBankProfile*> {};

}  // namespace

TEST_P(TwoBankGolden, ExportEqualsTheFixtureAndImportRestoresIt) {
  const TwoBankProfile& p = *GetParam();
  const TwoBankState known = KnownState(p);
  const TwoBankExport out = BuildTwoBankExport(p, known, EditsOf(known, p), kKnownKept);
  EXPECT_TRUE(out.complete());
  EXPECT_EQ(out.file, KnownFile(p));
  const size_t sizes[] = {252, 252, 261, 262};
  const size_t index = static_cast<size_t>(std::find(TwoBankProfiles().begin(), TwoBankProfiles().end(), &p) -
                                           TwoBankProfiles().begin());
  EXPECT_EQ(out.file.size(), sizes[index]);

  TwoBankState state;
  TwoBankKeptBytes kept;
  bool asked = false;
  const TwoBankImport in =
      ImportTwoBankFile(out.file.data(), out.file.size(), p, state, kept, [&] { return asked = true; });
  EXPECT_EQ(in.status, Status::Applied);
  EXPECT_TRUE(in.good);
  EXPECT_FALSE(asked);
  EXPECT_EQ(state, known);
  // The presenter and cut high bytes come back; the paper-out one never
  // travels in a file.
  EXPECT_EQ(kept, (TwoBankKeptBytes{0, IsK9034(p) ? 0 : 4, 5}));
}

TEST_P(TwoBankGolden, OnlyItsOwnTagIsAccepted) {
  const TwoBankProfile& reader = *GetParam();
  for (const TwoBankProfile* writer : TwoBankProfiles()) {
    const TwoBankState known = KnownState(*writer);
    const Bytes file = BuildTwoBankExport(*writer, known, EditsOf(known, *writer), kKnownKept).file;
    TwoBankState state;
    TwoBankKeptBytes kept;
    const TwoBankImport in = ImportTwoBankFile(file.data(), file.size(), reader, state, kept);
    if (writer == &reader) continue;
    SCOPED_TRACE(std::string(writer->name) + " read by " + reader.name);
    EXPECT_EQ(in.status, Status::BadTag);
    EXPECT_EQ(state, TwoBankState{});
    EXPECT_EQ(kept, TwoBankKeptBytes{});
  }
}

INSTANTIATE_TEST_SUITE_P(Editors, TwoBankGolden,
                         ::testing::Values(&H738Profile(), &K466Profile(), &K772Profile(), &K9034Profile()),
                         [](const auto& info) {
                           std::string name = info.param->name;
                           name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
                           return name;
                         });

// A record the writer refuses is missing and the export incomplete; the tag
// is written all the same. A code page that is no item is never written.
TEST(TwoBankExport, RefusedRecordsAreMissing) {
  const TwoBankProfile& p = H738Profile();
  TwoBankState s = KnownState(p);
  s.codePage = -1;
  s.paperWidth = "-5";  // the export does not check the width; the writer refuses it
  s.baud = -1;          // no record at all, and no refusal
  s.bufferSize = -1;
  const TwoBankExport out = BuildTwoBankExport(p, s, EditsOf(s, p), kKnownKept);
  EXPECT_EQ(out.refused, (std::vector<TwoBankSetting>{TwoBankSetting::CodePage, TwoBankSetting::PaperWidth,
                                                      TwoBankSetting::PaperWidth}));
  EXPECT_EQ(out.file.size(), 9u * (27 - 5) + 9);
  EXPECT_EQ(Bytes(out.file.end() - 9, out.file.end()), Text("VD-H738ab"));
}

namespace {

struct ImportCase {
  const char* what;
  const TwoBankProfile* profile;
  Bytes file;
  Status status;
  bool oddSize;
  bool good;
  // What the import does to a start state; nothing for a file not applied.
  std::function<void(TwoBankState&, TwoBankKeptBytes&)> effect = [](TwoBankState&, TwoBankKeptBytes&) {};
  bool confirm = true;  // the answer to "... is not normal!"
};

Bytes Records(int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) out = Cat({out, Rec(0x06, static_cast<uint8_t>(60 + i), 0)});
  return out;
}

}  // namespace

TEST(TwoBankImportFile, Cases) {
  const TwoBankProfile* H = &H738Profile();
  const TwoBankProfile* K772 = &K772Profile();
  const TwoBankProfile* K9034 = &K9034Profile();
  const Bytes tag = Text("VD-H738ab");
  const Bytes tag9034 = Text("VD-K9034ab");
  const Bytes speed100 = Rec(0x06, 100, 0);
  auto speed = [](const char* v) { return [v](TwoBankState& s, TwoBankKeptBytes&) { s.speed = v; }; };
  const ImportCase cases[] = {
      {"tag only", H, tag, Status::Applied, false, true},
      {"tag only, VD-K9034", K9034, tag9034, Status::Applied, false, true},
      {"0 bytes", H, {}, Status::Empty, false, false},
      {"0 bytes, VD-K9034", K9034, {}, Status::Empty, false, false},
      {"5 bytes", H, Text("VD-H7"), Status::BadTag, true, false},
      {"10 bytes", H, Cat({tag, Text("x")}), Status::BadTag, true, false},
      // The short block's 4 bytes and the last 5 of the block before make the tag.
      {"short last block", H, Cat({speed100, Text("ZZZZ738ab"), Text("VD-H")}), Status::Applied, true, false,
       speed("100")},
      {"bytes after the tag", H, Cat({speed100, tag, Text("xyz")}), Status::BadTag, true, false},
      {"bytes after the tag, VD-K9034", K9034, Cat({speed100, tag9034, Text("xyz")}), Status::Applied, true,
       true, speed("100")},
      {"bytes after the tag, VD-K9034, Cancel", K9034, Cat({speed100, tag9034, Text("xyz")}),
       Status::Cancelled, true, false, [](TwoBankState&, TwoBankKeptBytes&) {}, false},
      {"a record after the tag, VD-K9034", K9034, Cat({speed100, tag9034, speed100}), Status::BadTag, false,
       false},
      {"450 bytes", H, Cat({Records(49), tag}), Status::Applied, false, true, speed("108")},
      {"451 bytes", H, Cat({Records(49), tag, Text("x")}), Status::TooLarge, false, false},
      {"50 records, VD-K9034", K9034, Cat({Records(50), tag9034}), Status::Applied, false, true,
       speed("109")},
      {"51 records, VD-K9034", K9034, Cat({Records(51), tag9034}), Status::TooLarge, false, false},
      {"five records and the VD-K772 tag, VD-K9034", K9034, Cat({Records(5), Text("VD-K772ab")}),
       Status::BadTag, true, false},
      {"bank-2 05 is skipped", H, Cat({Rec2(0x05, 1), tag}), Status::Applied, false, true},
      {"another prefix", H, Cat({Text("ABCDEFGHI"), speed100, tag}), Status::Applied, false, false,
       speed("100")},
      {"feed 00 00", H, Cat({Rec(0x2B, 0, 0), speed100, tag}), Status::Applied, false, false, speed("100")},
      {"feed FFFD", H, Cat({Rec(0x2B, 0xFD, 0xFF), tag}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.feedLine = "65533"; }},
      {"alignment 3 in 78", H, Cat({Rec(0x78, 0x19, 0x00), tag}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) {
         s.back.alignment = -1;
         s.back.inverted = 0;
       }},
      {"bank-1 00 and 10", H, Cat({Rec(0x00, 0, 0), Rec(0x10, 1, 0), tag}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) {
         s.cr = 0;
         s.dataError = 1;
       }},
      {"bank-2 00, 02, 03, 10", H, Cat({Rec2(0x00, 0), Rec2(0x02, 0), Rec2(0x03, 0), Rec2(0x10, 1), tag}),
       Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) {
         s.cr = 0;
         s.front.enable = 0;
         s.defaultInvert = 0;
         s.dataError = 1;
       }},
      {"data bits good, stop bits bad", H, Cat({Rec(0x17, 7, 5), tag}), Status::Applied, false, false,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.dataBits = 1; }},
      {"code page 16 with character set 12", H, Cat({Rec(0x36, 16, 12), tag}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) {
         s.codePage = 6;
         s.intlChar = 12;
       }},
      {"character set 13", H, Cat({Rec(0x36, 0x12, 13), tag}), Status::Applied, false, false},
      {"code page 6 as stored", H, Cat({Rec(0x36, 6, 0), tag}), Status::Applied, false, false},
      {"width 81", H, Cat({Rec(0x26, 81, 0), tag}), Status::Applied, false, false},
      {"width 112, VD-K9034", K9034, Cat({Rec(0x26, 112, 0), tag9034}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.paperWidth = "112"; }},
      {"presenter wait keeps hi", H, Cat({Rec(0x3C, 30, 7), tag}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes& k) {
         s.waitTime = "30";
         k.restractTime = 7;
       }},
      {"presenter wait, VD-K9034", K9034, Cat({Rec(0x3C, 30, 7), tag9034}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.waitTime = "30"; }},
      {"paper out 02 01", H, Cat({Rec(0x4A, 2, 1), tag}), Status::Applied, false, false},
      {"paper out 03 07, VD-K9034", K9034, Cat({Rec(0x4A, 3, 7), tag9034}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.paperOutMode = 3; }},
      {"surface 05 is skipped by the VD-H738", H, Cat({Rec(0x05, 9, 9), tag}), Status::Applied, false, true},
      {"K772 surface 3", K772, Cat({Rec(0x05, 3, 0), Text("VD-K772ab")}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.printingSurface = 2; }},
      {"K772 surface 0, 4, 03 01", K772,
       Cat({Rec(0x05, 0, 0), Rec(0x05, 4, 0), Rec(0x05, 3, 1), speed100, Text("VD-K772ab")}), Status::Applied,
       false, false, speed("100")},
      {"K772 cutter 1 and 3", K772,
       Cat({Rec(0x30, 0, 0), Rec(0x30, 1, 0), Rec(0x30, 0, 0), Rec(0x30, 3, 0), Text("VD-K772ab")}),
       Status::Applied, false, true},
      {"K772 cutter 2", K772, Cat({Rec(0x30, 0, 0), Rec(0x30, 2, 0), Text("VD-K772ab")}), Status::Applied,
       false, false, [](TwoBankState& s, TwoBankKeptBytes&) { s.autoCutter = 1; }},
      {"VD-H738 cutter 3", H, Cat({Rec(0x30, 0, 0), Rec(0x30, 3, 0), tag}), Status::Applied, false, false,
       [](TwoBankState& s, TwoBankKeptBytes&) { s.autoCutter = 1; }},
      {"VD-K9034 cutter 3", K9034, Cat({Rec(0x30, 0, 0), Rec(0x30, 3, 0), tag9034}), Status::Applied, false,
       false, [](TwoBankState& s, TwoBankKeptBytes&) { s.autoCutter = 1; }},
      {"VD-K9034 cut 02 05", K9034, Cat({Rec(0x31, 2, 5), tag9034}), Status::Applied, false, true,
       [](TwoBankState& s, TwoBankKeptBytes& k) {
         s.cutMode = 2;
         k.cutModeHigh = 5;
       }},
      {"cut 03 06 keeps its hi", H, Cat({Rec(0x31, 3, 6), tag}), Status::Applied, false, false,
       [](TwoBankState&, TwoBankKeptBytes& k) { k.cutModeHigh = 6; }},
  };
  for (const ImportCase& c : cases) {
    SCOPED_TRACE(c.what);
    TwoBankState state;
    TwoBankKeptBytes kept;
    TwoBankState expected;
    TwoBankKeptBytes expectedKept;
    c.effect(expected, expectedKept);
    bool asked = false;
    const TwoBankImport in = ImportTwoBankFile(c.file.data(), c.file.size(), *c.profile, state, kept, [&] {
      asked = true;
      return c.confirm;
    });
    EXPECT_EQ(in.status, c.status);
    EXPECT_EQ(in.oddSize, c.oddSize);
    EXPECT_EQ(asked, c.oddSize);
    EXPECT_EQ(in.good, c.good);
    EXPECT_EQ(state, expected);
    EXPECT_EQ(kept, expectedKept);
  }
}

// The address 256 the writer takes is stored as 00: the CR record of bank 1.
TEST(TwoBankImportFile, AddressTwoFiftySixLandsAtZero) {
  SettingsFileWriter writer;
  ASSERT_TRUE(writer.SaveSettingsToFile(256, 0));
  const Bytes file = writer.Finish("VD-H738ab");
  TwoBankState state;
  TwoBankKeptBytes kept;
  const TwoBankImport in = ImportTwoBankFile(file.data(), file.size(), H738Profile(), state, kept);
  EXPECT_EQ(in.status, Status::Applied);
  EXPECT_TRUE(in.good);
  EXPECT_EQ(state.cr, 0);
}
