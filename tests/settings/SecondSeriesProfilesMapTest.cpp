// The settings maps of the RW-K201E, RW-K305E and RW-K305GII editors without
// a dialog: their tables, the replies and file records they take, the checks
// of Save and Export, and the RW-K305GII's write order and pauses per port
// kind.
#include <gtest/gtest.h>

#include "link/PortState.h"
#include "settings/SecondSeriesMap.h"

using namespace torva::settings;
using namespace torva::settings::second;
using C = Control;
using S = Setting;

namespace {

const SecondSeriesProfile& K201E() { return RWK201EProfile(); }
const SecondSeriesProfile& K305E() { return RWK305EProfile(); }
const SecondSeriesProfile& G2() { return RWK305G2Profile(); }

const SettingRow& Row(const SecondSeriesProfile& profile, Setting s) {
  const SettingRow* row = RowOf(profile, s);
  EXPECT_NE(row, nullptr);
  return *row;
}

// What a control shows, as one text: the item, the edit's text or the check.
std::string Shown(const SecondSeriesProfile& profile, const FormState& state, Control c) {
  const ControlValue& v = state[c];
  switch (InfoOf(c).kind) {
    case ControlKind::Edit:
      return v.text;
    case ControlKind::Check:
      return v.checked ? "checked" : "unchecked";
    default:
      return v.index < 0 ? "<none>" : ItemText(ItemsOf(profile, c), v.index);
  }
}

std::vector<int> Addresses(const SecondSeriesProfile& p) {
  std::vector<int> out;
  for (Setting s : p.getOrder) out.push_back(Row(p, s).address);
  return out;
}

std::vector<int> ExportKeys(const SecondSeriesProfile& p) {
  std::vector<int> out;
  for (Setting s : p.exportOrder) out.push_back(Row(p, s).fileKey);
  return out;
}

EditValues Edits(const FormState& s, const SecondSeriesProfile& p) {
  EditCheck check = CheckEdits(s, p.exportChecks);
  EXPECT_TRUE(check.values) << check.english;
  return check.values.value_or(EditValues{});
}

// The G2 start state with a code page chosen, so that it saves.
FormState G2Savable() {
  FormState s = StartState(G2());
  s[C::cboCodePage].index = 0;
  return s;
}

}  // namespace

TEST(SecondSeriesProfilesMap, TablesOrdersAndTags) {
  struct Case {
    const SecondSeriesProfile* profile;
    int model;
    const char* className;
    const char* caption;
    std::vector<int> addresses;  // Get (and Save) order
    std::vector<int> keys;       // export order
  };
  const Case cases[] = {
      {&K201E(),
       10,
       "TRWK201EEepromSetForm",
       "EepromSet",
       {0x4E, 0x4A, 0x06, 0x02, 0x44, 0x54, 0x30, 0x12, 0x6D, 0x7D, 0x37},
       {0x4E, 0x4A, 0x06, 0x02, 0x44, 0x54, 0x30, 0x12, 0x6D, 0x7D, 0x2C}},
      {&K305E(),
       9,
       "TRWK305EEepromSetForm",
       "EepromSet",
       {0x4E, 0x4A, 0x06, 0x02, 0x43, 0x54, 0x30, 0x12, 0x6D, 0x7D, 0x37},
       {0x4E, 0x4A, 0x06, 0x02, 0x43, 0x54, 0x30, 0x12, 0x6D, 0x7D, 0x2C}},
      {&G2(),
       14,
       "TRWK305G2EepSetForm",
       "RW-K305GII EepromSet",
       {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x0E, 0x0F, 0x02, 0x14, 0x12, 0x6D, 0x7D},
       {0x16, 0x40, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x0E, 0x0F, 0x02, 0x14, 0x12, 0x6D, 0x7D}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.className);
    const SecondSeriesProfile& p = *c.profile;
    EXPECT_EQ(p.modelCodes, (std::vector<int>{c.model}));
    EXPECT_STREQ(p.className, c.className);
    EXPECT_STREQ(p.caption, c.caption);
    EXPECT_EQ(p.tag, ModelTag(c.model)) << "the file tags' table agrees";
    EXPECT_EQ(Addresses(p), c.addresses);
    EXPECT_EQ(ExportKeys(p), c.keys);
    EXPECT_EQ(p.importCapacity, 20);
  }
  EXPECT_STREQ(K201E().tag, "RW-K201RX");
  EXPECT_STREQ(K305E().tag, "RW-K305RX");
  EXPECT_STREQ(G2().tag, "RW-K305XX");
  EXPECT_STREQ(G2().tag, RWK305Profile().tag) << "the RW-K305 and RW-K305GII share their files' tag";
  // The two E editors store no data bits, the RW-K305GII does (after a Save
  // that reached the printer).
  EXPECT_FALSE(K201E().saveStoresDataBits);
  EXPECT_FALSE(K305E().saveStoresDataBits);
  EXPECT_TRUE(G2().saveStoresDataBits);
  EXPECT_EQ(K201E().savePlan, SavePlan::OneQueuedWrite);
  EXPECT_EQ(G2().savePlan, SavePlan::DirectWrites);
  EXPECT_TRUE(K201E().f1Help);
  EXPECT_FALSE(G2().f1Help);
  EXPECT_TRUE(G2().centreOnScreen);
  EXPECT_FALSE(K305E().centreOnScreen);
  // Every editor has its profile in the list, each model code once.
  std::vector<int> codes;
  for (const SecondSeriesProfile* p : SecondSeriesProfiles())
    codes.insert(codes.end(), p->modelCodes.begin(), p->modelCodes.end());
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<int>{4, 5, 6, 9, 10, 14, 15}));
}

TEST(SecondSeriesProfilesMap, StartStates) {
  // The E editors start as the RW-K201 (hidden controls included).
  EXPECT_EQ(StartState(K201E()), StartState(RWK201Profile()));
  EXPECT_EQ(StartState(K305E()), StartState(RWK201Profile()));
  const FormState g2 = StartState(G2());
  EXPECT_EQ(g2[C::cboCodePage].index, -1) << "no code page before a Get";
  EXPECT_EQ(g2[C::EditLength1].text, "0");
  EXPECT_EQ(g2[C::EditLength2].text, "0");
  EXPECT_EQ(Shown(G2(), g2, C::cboBaudrate), "19200");
  EXPECT_EQ(Shown(G2(), g2, C::rgCR), "Disable");
  EXPECT_EQ(Shown(G2(), g2, C::rgPaperType), "Receipt");
  // Controls its form lacks hold nothing.
  for (Control c : {C::FeedLine, C::chkAlarmOnPaperNearEnd, C::rgAutoCutter, C::rgBeeper, C::rgDataError}) {
    EXPECT_EQ(g2[c], ControlValue{}) << InfoOf(c).name;
  }
  EXPECT_EQ(StartState(RWK201Profile())[C::EditLength1], ControlValue{});
  EXPECT_EQ(ItemsOf(G2(), C::cboCodePage).back(), "WPC1252");
  EXPECT_EQ(ItemsOf(K201E(), C::cboCodePage).back(), "PC1252");
}

// Get: the replies the new settings take, and some they refuse (the control
// keeps its value).
TEST(SecondSeriesProfilesMap, RepliesIntoControls) {
  struct Case {
    const SecondSeriesProfile* profile;
    Setting setting;
    uint8_t lo, hi;
    bool accepted;
    const char* shown;
  };
  const Case cases[] = {
      // The E editors' cutter: a plain flag at 30.
      {&K201E(), S::AutoCutter, 0x00, 0x00, true, "Disable"},
      {&K201E(), S::AutoCutter, 0x01, 0x00, true, "Enable"},
      {&K201E(), S::AutoCutter, 0x00, 0x01, false, "Enable"},
      {&K305E(), S::AutoCutter, 0x00, 0x00, true, "Disable"},
      {&K305E(), S::AutoCutter, 0x00, 0x08, false, "Enable"},  // no switch word here
      {&K305E(), S::StopPrintingOnPaperNearEnd, 0x01, 0x00, true, "checked"},
      {&K201E(), S::RxBufferSize, 0xFF, 0xFF, true, "4096 Bytes"},  // a printer's FF FF is taken
      // The RW-K305GII's lengths: 0..256, 256 arriving as 00 01.
      {&G2(), S::PaperJamLength, 0x00, 0x00, true, "0"},
      {&G2(), S::PaperJamLength, 0x00, 0x01, true, "256"},
      {&G2(), S::PaperLooseLength, 0xFF, 0x00, true, "255"},
      {&G2(), S::PaperLooseLength, 0x01, 0x01, false, "0"},
      {&G2(), S::PaperJamLength, 0xFF, 0xFF, false, "0"},
      // Its flow control (at 41): 01 00 leaves the one-item list empty.
      {&G2(), S::CommFlowControl, 0x00, 0x00, true, "DTR/DSR"},
      {&G2(), S::CommFlowControl, 0x01, 0x00, true, "<none>"},
      {&G2(), S::CommFlowControl, 0x02, 0x00, false, "DTR/DSR"},
      {&G2(), S::CodePage, 0x09, 0x00, true, "WPC1252"},
      {&G2(), S::CodePage, 0x05, 0x01, true, "<none>"},  // no page: the list stays as it was
      {&G2(), S::PaperType, 0x01, 0x00, true, "Mark/Label"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.profile->className) + " " + std::to_string(static_cast<int>(c.setting)) + " " +
                 std::to_string(c.lo) + " " + std::to_string(c.hi));
    FormState s = StartState(*c.profile);
    const FormState before = s;
    int high = 0x5A;
    const SettingRow& row = Row(*c.profile, c.setting);
    EXPECT_EQ(ApplyReply(row, c.lo, c.hi, s, high, *c.profile), c.accepted);
    EXPECT_EQ(Shown(*c.profile, s, row.control), c.shown);
    EXPECT_EQ(high, 0x5A) << "only the RW-K201 and RW-K305 keep a switch word";
    if (!c.accepted) {
      EXPECT_EQ(s, before);
    }
  }
  EXPECT_EQ(Row(K201E(), S::AutoCutter).address, 0x30);
  EXPECT_EQ(RowOf(K201E(), S::CommBaudRate), nullptr);
  EXPECT_EQ(RowOf(K201E(), S::Beeper), nullptr);
  EXPECT_EQ(RowOf(G2(), S::FeedLineInMark), nullptr);
}

TEST(SecondSeriesProfilesMap, SetterValues) {
  // E editors: the cutter 1 for "Enable", 0 for "Disable".
  FormState e = StartState(K201E());
  EXPECT_EQ(SetterValue(Row(K201E(), S::AutoCutter), e, Edits(e, K201E()), 0, K201E()), 1);
  e[C::rgAutoCutter].index = 1;
  EXPECT_EQ(SetterValue(Row(K201E(), S::AutoCutter), e, Edits(e, K201E()), 0x5A, K201E()), 0);

  // RW-K305GII lengths: 0 and 256 are written as 00 00 and 00 01.
  FormState g = G2Savable();
  g[C::EditLength1].text = std::string("0");
  g[C::EditLength2].text = "256";
  const EditCheck check = CheckEdits(g, G2().saveChecks);
  ASSERT_TRUE(check.values);
  const SaveCommands save = BuildSaveCommands(g, *check.values, 0, G2());
  ASSERT_EQ(save.refused, nullptr);
  ASSERT_EQ(save.commands.size(), 15u);
  EXPECT_EQ(save.commands[8].first->address, 0x0E);
  EXPECT_EQ(save.commands[8].second, 0x0000);
  EXPECT_EQ(save.commands[9].first->address, 0x0F);
  EXPECT_EQ(save.commands[9].second, 0x0100);
  EXPECT_EQ(save.commands[1].first->address, 0x41) << "flow control goes to the printer's 41";
  EXPECT_EQ(save.dataBits, 8);

  // The setter takes 0..256 whatever reaches it; the file record any 16-bit
  // length.
  EditValues wide = *check.values;
  wide.numbers[C::EditLength2] = 257;
  const SaveCommands refused = BuildSaveCommands(g, wide, 0, G2());
  ASSERT_NE(refused.refused, nullptr);
  EXPECT_EQ(refused.refused->setting, S::PaperLooseLength);
  EXPECT_TRUE(refused.commands.empty());
  EXPECT_EQ(SetterValue(Row(G2(), S::PaperLooseLength), g, wide, 0, G2()), 257);
  wide.numbers[C::EditLength2] = -1;
  EXPECT_EQ(SetterValue(Row(G2(), S::PaperLooseLength), g, wide, 0, G2()), std::nullopt);

  // Flow control 1 for an empty list; no code page refuses the whole Save.
  g[C::cboFlowControl].index = -1;
  EXPECT_EQ(SetterValue(Row(G2(), S::CommFlowControl), g, *check.values, 0, G2()), 1);
  g[C::cboCodePage].index = -1;
  const SaveCommands noPage = BuildSaveCommands(g, *check.values, 0, G2());
  ASSERT_NE(noPage.refused, nullptr);
  EXPECT_EQ(noPage.refused->setting, S::CodePage);
  EXPECT_TRUE(noPage.commands.empty()) << "nothing is written when a value is refused";
}

// The import tables of the three editors; every record not in a table is
// faulty.
TEST(SecondSeriesProfilesMap, ImportTables) {
  struct Case {
    const SecondSeriesProfile* profile;
    uint8_t key, lo, hi;
    bool accepted;
    Control control;
    const char* shown;
  };
  const Case cases[] = {
      {&K201E(), 0x02, 0xFE, 0x00, true, C::edtPrintDarkness, "254"},
      {&K201E(), 0x02, 0xFF, 0x00, false, C::edtPrintDarkness, "68"},
      {&K201E(), 0x06, 0x19, 0x00, true, C::edtPrintSpeed, "25"},
      {&K201E(), 0x70, 0x78, 0x00, true, C::edtPrintSpeed, "120"},
      {&K201E(), 0x12, 0x01, 0x00, true, C::rgPaperType, "Mark/Label"},
      {&K201E(), 0x12, 0x02, 0x00, false, C::rgPaperType, "Receipt"},
      {&K201E(), 0x2C, 0xFF, 0xFF, true, C::FeedLine, "65535"},
      {&K201E(), 0x37, 0x05, 0x00, false, C::FeedLine, "0"},
      {&K201E(), 0x30, 0x00, 0x00, true, C::rgAutoCutter, "Disable"},
      {&K201E(), 0x30, 0x01, 0x00, true, C::rgAutoCutter, "Enable"},
      {&K201E(), 0x30, 0x00, 0x01, false, C::rgAutoCutter, "Enable"},
      {&K201E(), 0x44, 0x01, 0x00, true, C::chkStopPrintingOnPaperNearEnd, "checked"},
      {&K201E(), 0x43, 0x01, 0x00, false, C::chkStopPrintingOnPaperNearEnd, "unchecked"},
      {&K201E(), 0x4A, 0x64, 0x00, true, C::edtDefaultRightMargin, "100"},
      {&K201E(), 0x4E, 0x65, 0x00, false, C::edtDefaultLeftMargin, "2"},
      {&K201E(), 0x54, 0x00, 0x00, true, C::chkAlarmOnPaperNearEnd, "unchecked"},
      {&K201E(), 0x6D, 0x09, 0x00, true, C::cboCodePage, "PC1252"},
      {&K201E(), 0x6D, 0x00, 0x01, false, C::cboCodePage, "PC437"},
      {&K201E(), 0x7D, 0x01, 0x00, true, C::rgBufferSize, "45 Bytes"},
      {&K201E(), 0x7D, 0xFF, 0xFF, false, C::rgBufferSize, "4096 Bytes"},  // FF FF is faulty in a file
      // Keys of the RW-K201 and RW-K305 files, and the cutter's switch word.
      {&K201E(), 0x09, 0x00, 0x08, false, C::rgAutoCutter, "Enable"},
      {&K201E(), 0x14, 0x01, 0x00, false, C::rgCR, "Disable"},
      {&K201E(), 0x16, 0x02, 0x00, false, C::cboBaudrate, "19200"},
      {&K201E(), 0x17, 0x07, 0x00, false, C::cboDataBits, "8"},
      {&K201E(), 0x19, 0x02, 0x00, false, C::cboStopbits, "1"},
      {&K201E(), 0x1B, 0x01, 0x00, false, C::cboParity, "None"},
      {&K201E(), 0x40, 0x01, 0x00, false, C::cboFlowControl, "DTR/DSR"},
      {&K201E(), 0x58, 0x00, 0x00, false, C::rgBeeper, "Enable"},
      // The RW-K305E: 43 in place of 44.
      {&K305E(), 0x43, 0x01, 0x00, true, C::chkStopPrintingOnPaperNearEnd, "checked"},
      {&K305E(), 0x43, 0x02, 0x00, false, C::chkStopPrintingOnPaperNearEnd, "unchecked"},
      {&K305E(), 0x44, 0x01, 0x00, false, C::chkStopPrintingOnPaperNearEnd, "unchecked"},
      {&K305E(), 0x30, 0x00, 0x00, true, C::rgAutoCutter, "Disable"},
      {&K305E(), 0x70, 0x96, 0x00, true, C::edtPrintSpeed, "150"},
      // The RW-K305GII.
      {&G2(), 0x0E, 0x00, 0x01, true, C::EditLength1, "256"},
      {&G2(), 0x0E, 0x01, 0x01, false, C::EditLength1, "0"},
      {&G2(), 0x0F, 0x1E, 0x00, true, C::EditLength2, "30"},
      {&G2(), 0x40, 0x00, 0x00, true, C::cboFlowControl, "DTR/DSR"},
      {&G2(), 0x40, 0x01, 0x00, true, C::cboFlowControl, "<none>"},
      {&G2(), 0x40, 0x01, 0x01, false, C::cboFlowControl, "DTR/DSR"},
      {&G2(), 0x41, 0x00, 0x00, false, C::cboFlowControl, "DTR/DSR"},  // the printer's address is no file key
      {&G2(), 0x16, 0x07, 0x00, true, C::cboBaudrate, "115200"},
      {&G2(), 0x16, 0x06, 0x00, false, C::cboBaudrate, "19200"},
      {&G2(), 0x17, 0x07, 0x00, true, C::cboDataBits, "7"},
      {&G2(), 0x17, 0x07, 0x01, false, C::cboDataBits, "8"},  // lists need hi 00
      {&G2(), 0x19, 0x02, 0x00, true, C::cboStopbits, "2"},
      {&G2(), 0x1B, 0x02, 0x00, true, C::cboParity, "Even"},
      {&G2(), 0x1B, 0x02, 0x01, false, C::cboParity, "None"},
      {&G2(), 0x14, 0x01, 0x00, true, C::rgCR, "Enable"},
      {&G2(), 0x14, 0x00, 0x01, false, C::rgCR, "Disable"},
      {&G2(), 0x12, 0x01, 0x00, true, C::rgPaperType, "Mark/Label"},
      {&G2(), 0x6D, 0x09, 0x00, true, C::cboCodePage, "WPC1252"},
      {&G2(), 0x6D, 0x0A, 0x00, false, C::cboCodePage, "<none>"},
      {&G2(), 0x7D, 0x01, 0x00, true, C::rgBufferSize, "45 Bytes"},
      {&G2(), 0x70, 0x78, 0x00, true, C::edtPrintSpeed, "120"},
      {&G2(), 0x4E, 0x64, 0x00, true, C::edtDefaultLeftMargin, "100"},
      {&G2(), 0x02, 0x00, 0x00, false, C::edtPrintDarkness, "68"},
      // Keys of the RW-K305's files it has no setting for.
      {&G2(), 0x09, 0x00, 0x00, false, C::rgAutoCutter, "<none>"},
      {&G2(), 0x44, 0x01, 0x00, false, C::chkStopPrintingOnPaperNearEnd, "unchecked"},
      {&G2(), 0x54, 0x01, 0x00, false, C::chkAlarmOnPaperNearEnd, "unchecked"},
      {&G2(), 0x58, 0x01, 0x00, false, C::rgBeeper, "<none>"},
      {&G2(), 0x2C, 0x01, 0x00, false, C::FeedLine, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.profile->className) + " key " + std::to_string(c.key) + " " +
                 std::to_string(c.lo) + " " + std::to_string(c.hi));
    FormState s = StartState(*c.profile);
    const FormState before = s;
    EXPECT_EQ(ApplyImportRecord(c.key, c.lo, c.hi, s, *c.profile), c.accepted);
    EXPECT_EQ(Shown(*c.profile, s, c.control), c.shown);
    if (!c.accepted) {
      EXPECT_EQ(s, before) << "a faulty record changes nothing";
    }
  }
}

// The RW-K305GII's checks: Save converts all six edits, then checks them in
// its own order; Export checks margins against 0..100 and only converts the
// lengths.
TEST(SecondSeriesProfilesMap, RWK305G2EditChecks) {
  struct Case {
    const char* name;
    void (*edit)(FormState&);
    const char* save;  // Save's warning, "" when it passes
    const char* exportWarning;
  };
  const Case cases[] = {
      {"start values", [](FormState&) {}, "", ""},
      {"left margin before the lengths",
       [](FormState& s) {
         s[C::edtDefaultLeftMargin].text = "17";
         s[C::EditLength1].text = "300";
       },
       "The input of default left margin is invalid!", ""},
      {"paper-jam length 257", [](FormState& s) { s[C::EditLength1].text = "257"; },
       "The input of PaperJamDetectLength is invalid!", ""},
      {"paper-loose length before the right margin",
       [](FormState& s) {
         s[C::EditLength2].text = "-1";
         s[C::edtDefaultRightMargin].text = "17";
       },
       "The input of RollPaperLooseDetectLength is invalid!", ""},
      {"right margin 101", [](FormState& s) { s[C::edtDefaultRightMargin].text = "101"; },
       "The input of default right margin is invalid!", "The input of default right margin is invalid!"},
      {"speed 24", [](FormState& s) { s[C::edtPrintSpeed].text = "24"; },
       "The input of print speed is invalid!", "The input of print speed is invalid!"},
      {"darkness 255", [](FormState& s) { s[C::edtPrintDarkness].text = "255"; },
       "The input of print darkness is invalid!", "The input of print darkness is invalid!"},
      {"length text after a bad margin",
       [](FormState& s) {
         s[C::edtDefaultLeftMargin].text = "99";
         s[C::EditLength2].text = "1O";
       },
       "The input of format is invalid!", "The input of format is invalid!"},
      {"empty length", [](FormState& s) { s[C::EditLength1].text = ""; }, "The input of format is invalid!",
       "The input of format is invalid!"},
      {"lengths 0 and 256",
       [](FormState& s) {
         s[C::EditLength1].text = std::string("0");
         s[C::EditLength2].text = " 256 ";
       },
       "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FormState s = G2Savable();
    c.edit(s);
    EXPECT_EQ(CheckEdits(s, G2().saveChecks).english, c.save);
    EXPECT_EQ(CheckEdits(s, G2().exportChecks).english, c.exportWarning);
  }
  FormState s = G2Savable();
  s[C::EditLength1].text = "257";
  EXPECT_EQ(CheckEdits(s, G2().saveChecks).chinese, "“PaperJamDetectLength”非法输入！");
  s = G2Savable();
  s[C::EditLength2].text = "257";
  EXPECT_EQ(CheckEdits(s, G2().saveChecks).chinese, "“RollPaperLooseDetectLength”非法输入！");
  s[C::EditLength2].text = "x";
  EXPECT_EQ(CheckEdits(s, G2().saveChecks).chinese, "非法输入！");
  EXPECT_EQ(CheckEdits(s, G2().exportChecks).chinese, "输入非法！");
}

// Export: 15 records under the file keys; a length above 256 is written as it
// stands, a negative one or a missing code page refuses the whole file.
TEST(SecondSeriesProfilesMap, RWK305G2Export) {
  FormState s = G2Savable();
  s[C::EditLength1].text = "300";
  s[C::cboFlowControl].index = -1;
  auto bytes = BuildExport(s, Edits(s, G2()), 0, G2());
  ASSERT_TRUE(bytes);
  ASSERT_EQ(bytes->size(), 144u);
  EXPECT_EQ(Bytes(bytes->begin() + 9, bytes->begin() + 18),
            (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x40}))
      << "flow 1 under key 40";
  EXPECT_EQ(Bytes(bytes->begin() + 72, bytes->begin() + 81),
            (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x2C, 0x01, 0x0E}));
  EXPECT_EQ(std::string(bytes->end() - 9, bytes->end()), "RW-K305XX");
  s[C::EditLength2].text = "-5";
  EXPECT_FALSE(BuildExport(s, Edits(s, G2()), 0, G2()));
  s = StartState(G2());
  EXPECT_FALSE(BuildExport(s, Edits(s, G2()), 0, G2())) << "no code page before a Get";
}

// The RW-K305GII writes each setting at once: per port kind its order, and on
// the serial port the pauses after (and once before) the writes.
TEST(SecondSeriesProfilesMap, RWK305G2WritePlans) {
  const FormState s = G2Savable();
  const EditCheck check = CheckEdits(s, G2().saveChecks);
  ASSERT_TRUE(check.values);
  const SaveCommands commands = BuildSaveCommands(s, *check.values, 0, G2());
  struct Case {
    int kind;
    std::vector<int> addresses;
    std::vector<int> waits;  // the pauses in the order they happen
    int resetWait;
  };
  const Case cases[] = {
      {PortCOM,
       {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x0E, 0x0F, 0x02, 0x14, 0x12, 0x6D, 0x7D},
       {200, 200, 200, 200, 100, 100, 200, 200, 100, 100, 200},
       2000},
      {PortUSB,
       {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02, 0x0E, 0x0F, 0x14, 0x12, 0x6D, 0x7D},
       {},
       2500},
      {PortUSBPrinter,
       {0x16, 0x41, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x0E, 0x0F, 0x02, 0x14, 0x12, 0x6D, 0x7D},
       {},
       2500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    const std::vector<PlannedWrite> plan = PlanDirectWrites(commands, G2(), c.kind);
    std::vector<int> addresses, waits;
    int total = 0;
    for (const PlannedWrite& w : plan) {
      addresses.push_back(w.row->address);
      for (int ms : {w.pauseBeforeMs, w.pauseAfterMs}) {
        if (ms > 0) waits.push_back(ms);
        total += ms;
      }
    }
    EXPECT_EQ(addresses, c.addresses);
    EXPECT_EQ(waits, c.waits);
    EXPECT_EQ(total, c.kind == PortCOM ? 1800 : 0);
    EXPECT_EQ(ResetWaitMs(G2(), c.kind), c.resetWait);
  }
  // The buffer's pause comes before its write; the others after theirs.
  const auto serial = PlanDirectWrites(commands, G2(), PortCOM);
  EXPECT_EQ(serial.back().pauseBeforeMs, 200);
  EXPECT_EQ(serial.back().pauseAfterMs, 0);
  EXPECT_EQ(serial[3].pauseAfterMs, 200) << "after the stop bits";
  // No plan for the other kinds, a queued profile or a refused Save.
  EXPECT_TRUE(PlanDirectWrites(commands, G2(), PortLPT).empty());
  EXPECT_TRUE(PlanDirectWrites(commands, RWK201Profile(), PortCOM).empty());
  SaveCommands refused = commands;
  refused.refused = commands.commands[0].first;
  EXPECT_TRUE(PlanDirectWrites(refused, G2(), PortCOM).empty());
  for (int kind : {PortCOM, PortUSB, PortUSBPrinter}) {
    EXPECT_EQ(ResetWaitMs(K201E(), kind), 2500);
    EXPECT_EQ(ResetWaitMs(RWK305Profile(), kind), 2500);
  }
}
