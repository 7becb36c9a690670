// The settings map of the POS-style editors without a dialog: printer replies
// into controls, controls into setter values, file records into controls, the
// checks of Save and Export, and the export's records.
#include <gtest/gtest.h>

#include "settings/SecondSeriesMap.h"

using namespace torva::settings;
using namespace torva::settings::second;
using C = Control;
using S = Setting;

namespace {

const SecondSeriesProfile& K201() { return RWK201Profile(); }

const SettingRow& Row(Setting s) {
  const SettingRow* row = RowOf(K201(), s);
  EXPECT_NE(row, nullptr);
  return *row;
}

// What a control shows, as one text: the item, the edit's text or the check.
std::string Shown(const FormState& state, Control c) {
  const ControlValue& v = state[c];
  switch (InfoOf(c).kind) {
    case ControlKind::Edit: return v.text;
    case ControlKind::Check: return v.checked ? "checked" : "unchecked";
    default: return v.index < 0 ? "<none>" : ItemText(ItemsOf(K201(), c), v.index);
  }
}

// A state whose every control differs from what the cases below expect, so
// an unchanged control is told from a changed one.
FormState Marked() {
  FormState s = StartState(K201());
  s[C::cboCodePage].index = 4;  // "PC863"
  s[C::cboFlowControl].index = 0;
  return s;
}

EditValues Edits(const FormState& s) {
  EditCheck check = CheckEdits(s, K201().exportChecks);
  EXPECT_TRUE(check.values);
  return check.values.value_or(EditValues{});
}

}  // namespace

TEST(SecondSeriesMap, TableAndProfiles) {
  const auto& rows = RWK201Settings();
  ASSERT_EQ(rows.size(), 18u);
  std::vector<int> addresses, keys;
  for (const auto& r : rows) {
    addresses.push_back(r.address);
    keys.push_back(r.fileKey);
  }
  EXPECT_EQ(addresses, (std::vector<int>{0x16, 0x40, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02, 0x44, 0x54, 0x09,
                                         0x14, 0x12, 0x58, 0x6D, 0x7D, 0x37}));
  EXPECT_EQ(keys.back(), 0x2C) << "the feed lines are filed under 2C";
  EXPECT_EQ(K201().tag, std::string("RW-K201XX"));
  EXPECT_EQ(RWK305Profile().tag, std::string("RW-K305XX"));
  EXPECT_EQ(RWK305Profile().modelCodes, (std::vector<int>{6, 15}));
  EXPECT_EQ(K201().modelCodes, (std::vector<int>{4}));
  for (const auto* p : {&K201(), &RWK305Profile()}) {
    EXPECT_EQ(p->tag, ModelTag(p->modelCodes.front())) << "the file tags' table agrees";
    EXPECT_EQ(p->getOrder.size(), 18u);
    EXPECT_EQ(p->resetWaitMs, 2500);
    EXPECT_TRUE(p->saveStoresDataBits);
  }
}

// Every reply the getters know, and some they refuse (the control then keeps
// its value).
TEST(SecondSeriesMap, RepliesIntoControls) {
  struct Case {
    Setting setting;
    uint8_t lo, hi;
    bool accepted;
    const char* shown;  // what the control shows afterwards
  };
  const Case cases[] = {
      {S::CommBaudRate, 0x00, 0x00, true, "9600"},
      {S::CommBaudRate, 0x04, 0x00, true, "4800"},
      {S::CommBaudRate, 0x07, 0x00, true, "115200"},
      {S::CommBaudRate, 0x05, 0x00, false, "19200"},
      {S::CommBaudRate, 0x01, 0x01, false, "19200"},
      {S::CommFlowControl, 0x00, 0x00, true, "DTR/DSR"},
      {S::CommFlowControl, 0x01, 0x00, true, "<none>"},  // XON/XOFF empties the list
      {S::CommFlowControl, 0x02, 0x00, false, "DTR/DSR"},
      {S::CommDataBits, 0x07, 0x00, true, "7"},
      {S::CommDataBits, 0x07, 0x33, true, "7"},  // the low byte alone counts
      {S::CommDataBits, 0xFF, 0xFF, true, "8"},
      {S::CommDataBits, 0x06, 0x00, false, "8"},
      {S::CommStopBits, 0xFF, 0xFF, true, "2"},
      {S::CommStopBits, 0x03, 0x00, false, "1"},
      {S::CommParity, 0x01, 0x00, true, "Odd"},
      {S::CommParity, 0x02, 0x00, true, "Even"},
      {S::CommParity, 0xFF, 0xFF, true, "Even"},
      {S::CommParity, 0x03, 0x00, false, "None"},
      {S::DefaultLeftMargin, 0x2C, 0x01, true, "300"},  // any value shows
      {S::DefaultRightMargin, 0xFF, 0xFF, true, "65535"},
      {S::PrintSpeed, 0x96, 0x00, true, "150"},
      {S::PrintSpeed, 0xC8, 0x00, true, "-1"},
      {S::PrintSpeed, 0x18, 0x00, true, "-1"},
      {S::PrintDarkness, 0xFE, 0x00, true, "254"},
      {S::PrintDarkness, 0x00, 0x00, false, "68"},
      {S::PrintDarkness, 0xFF, 0x00, false, "68"},
      {S::StopPrintingOnPaperNearEnd, 0x01, 0x00, true, "checked"},
      {S::StopPrintingOnPaperNearEnd, 0x01, 0x01, false, "unchecked"},
      {S::AlarmOnPaperNearEnd, 0x00, 0x00, true, "unchecked"},
      {S::AlarmOnPaperNearEnd, 0xFF, 0xFF, false, "checked"},
      {S::CRCommand, 0x01, 0x00, true, "Enable"},
      {S::Beeper, 0x00, 0x00, true, "Disable"},
      {S::Beeper, 0x02, 0x00, false, "Enable"},
      {S::PaperType, 0x01, 0x00, true, "Mark/Label"},
      {S::PaperType, 0xFF, 0xFF, false, "Receipt"},
      {S::CodePage, 0x03, 0x00, true, "PC860"},
      {S::CodePage, 0xFF, 0xFF, true, "PC437"},
      {S::CodePage, 0x05, 0x01, true, "PC863"},  // no page: the list stays
      {S::CodePage, 0x0A, 0x00, true, "PC863"},
      {S::CodePage, 0x00, 0xFF, true, "PC863"},
      {S::RxBufferSize, 0x01, 0x00, true, "45 Bytes"},
      {S::RxBufferSize, 0xFF, 0xFF, true, "4096 Bytes"},
      {S::RxBufferSize, 0x02, 0x00, false, "4096 Bytes"},
      {S::FeedLineInMark, 0xFF, 0xFF, true, "65535"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.setting)) + " " + std::to_string(c.lo) + " " +
                 std::to_string(c.hi));
    FormState s = Marked();
    if (c.setting == S::CommBaudRate || c.setting == S::RxBufferSize) s = StartState(K201());
    int high = 0;
    const SettingRow& row = Row(c.setting);
    EXPECT_EQ(ApplyReply(row, c.lo, c.hi, s, high, K201()), c.accepted);
    EXPECT_EQ(Shown(s, row.control), c.shown);
  }
}

// The cutter is bit 3 of the switch word's high byte; the other bits are
// kept from the last reply and written back.
TEST(SecondSeriesMap, CutterKeepsTheSwitchWordsOtherBits) {
  struct Case {
    uint8_t lo, hi;
    bool accepted;
    const char* shown;
    uint16_t enableWrites, disableWrites;
  };
  const Case cases[] = {
      {0x00, 0x08, true, "Disable", 0x0000, 0x0800},
      {0x00, 0x0C, true, "Disable", 0x0400, 0x0C00},
      {0x00, 0x04, true, "Enable", 0x0400, 0x0C00},
      {0x00, 0xFF, true, "Disable", 0xF700, 0xFF00},
      {0x01, 0x08, false, "Enable", 0x0000, 0x0800},  // refused, but the high byte is kept
  };
  const SettingRow& row = Row(S::AutoCutter);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.hi));
    FormState s = StartState(K201());
    int high = 0;
    EXPECT_EQ(ApplyReply(row, c.lo, c.hi, s, high, K201()), c.accepted);
    EXPECT_EQ(high, c.hi);
    EXPECT_EQ(Shown(s, C::rgAutoCutter), c.shown);
    s[C::rgAutoCutter].index = 0;
    EXPECT_EQ(SetterValue(row, s, Edits(s), high, K201()), c.enableWrites);
    s[C::rgAutoCutter].index = 1;
    EXPECT_EQ(SetterValue(row, s, Edits(s), high, K201()), c.disableWrites);
  }
  // Before any Get: 00 00 for "Enable", 00 08 for "Disable".
  FormState s = StartState(K201());
  EXPECT_EQ(SetterValue(row, s, Edits(s), 0, K201()), 0x0000);
}

TEST(SecondSeriesMap, EachEditorKeepsItsOwnSwitchWord) {
  HighBuf09(RWK201Profile()) = 0;
  HighBuf09(RWK305Profile()) = 0;
  FormState s = StartState(K201());
  ApplyReply(Row(S::AutoCutter), 0x00, 0x0C, s, HighBuf09(RWK305Profile()), RWK305Profile());
  EXPECT_EQ(HighBuf09(RWK305Profile()), 0x0C);
  EXPECT_EQ(HighBuf09(RWK201Profile()), 0) << "the RW-K201 editor's is its own";
  // An import never touches it.
  EXPECT_EQ(ApplyImportRecord(0x09, 0x00, 0x08, s, RWK305Profile()), true);
  EXPECT_EQ(HighBuf09(RWK305Profile()), 0x0C);
  HighBuf09(RWK305Profile()) = 0;
}

TEST(SecondSeriesMap, SetterValuesAndRefusals) {
  struct Case {
    const char* name;
    Setting setting;
    void (*edit)(FormState&);
    std::optional<uint16_t> value;
  };
  const Case cases[] = {
      {"baud 19200", S::CommBaudRate, [](FormState&) {}, 1},
      {"baud 4800", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = 0; }, 4},
      {"baud 115200", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = 5; }, 7},
      {"baud none", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = -1; }, std::nullopt},
      {"flow DTR/DSR", S::CommFlowControl, [](FormState&) {}, 0},
      {"flow empty", S::CommFlowControl, [](FormState& s) { s[C::cboFlowControl].index = -1; }, 1},
      {"data 7", S::CommDataBits, [](FormState& s) { s[C::cboDataBits].index = 1; }, 7},
      {"stop 2", S::CommStopBits, [](FormState& s) { s[C::cboStopbits].index = 1; }, 2},
      {"parity even", S::CommParity, [](FormState& s) { s[C::cboParity].index = 0; }, 2},
      {"parity odd", S::CommParity, [](FormState& s) { s[C::cboParity].index = 1; }, 1},
      {"parity none", S::CommParity, [](FormState&) {}, 0},
      {"parity empty", S::CommParity, [](FormState& s) { s[C::cboParity].index = -1; }, std::nullopt},
      {"margin 100", S::DefaultLeftMargin, [](FormState& s) { s[C::edtDefaultLeftMargin].text = "100"; }, 100},
      {"stop printing", S::StopPrintingOnPaperNearEnd,
       [](FormState& s) { s[C::chkStopPrintingOnPaperNearEnd].checked = true; }, 1},
      {"alarm off", S::AlarmOnPaperNearEnd, [](FormState& s) { s[C::chkAlarmOnPaperNearEnd].checked = false; }, 0},
      {"CR off", S::CRCommand, [](FormState&) {}, 0},
      {"beeper on", S::Beeper, [](FormState&) {}, 1},
      {"mark paper", S::PaperType, [](FormState& s) { s[C::rgPaperType].index = 1; }, 1},
      {"code page 9", S::CodePage, [](FormState& s) { s[C::cboCodePage].index = 9; }, 9},
      {"no code page", S::CodePage, [](FormState& s) { s[C::cboCodePage].index = -1; }, std::nullopt},
      {"small buffer", S::RxBufferSize, [](FormState& s) { s[C::rgBufferSize].index = 1; }, 1},
      {"feed lines", S::FeedLineInMark, [](FormState& s) { s[C::FeedLine].text = "65535"; }, 65535},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FormState s = StartState(K201());
    c.edit(s);
    EXPECT_EQ(SetterValue(Row(c.setting), s, Edits(s), 0, K201()), c.value);
  }
  // The number setters keep their own ranges whatever the edits' checks let by.
  EditValues wide;
  for (auto [control, value] : {std::pair{C::edtDefaultLeftMargin, 101}, std::pair{C::edtPrintSpeed, 24},
                                std::pair{C::edtPrintDarkness, 255}}) {
    wide.numbers[control] = value;
  }
  const FormState s = StartState(K201());
  EXPECT_EQ(SetterValue(Row(S::DefaultLeftMargin), s, wide, 0, K201()), std::nullopt);
  EXPECT_EQ(SetterValue(Row(S::PrintSpeed), s, wide, 0, K201()), std::nullopt);
  EXPECT_EQ(SetterValue(Row(S::PrintDarkness), s, wide, 0, K201()), std::nullopt);
}

// Save checks the margins against 0..16, Export against 0..100; every text is
// converted before the first range is checked.
TEST(SecondSeriesMap, EditChecksOfSaveAndExport) {
  struct Case {
    const char* name;
    void (*edit)(FormState&);
    const char* save;    // Save's warning, "" when it passes
    const char* exportWarning;
  };
  const Case cases[] = {
      {"start values", [](FormState&) {}, "", ""},
      {"left margin 17", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "17"; },
       "The input of default left margin is invalid!", ""},
      {"right margin 101", [](FormState& s) { s[C::edtDefaultRightMargin].text = "101"; },
       "The input of default right margin is invalid!", "The input of default right margin is invalid!"},
      {"speed -1", [](FormState& s) { s[C::edtPrintSpeed].text = "-1"; }, "The input of print speed is invalid!",
       "The input of print speed is invalid!"},
      {"darkness 255", [](FormState& s) { s[C::edtPrintDarkness].text = "255"; },
       "The input of print darkness is invalid!", "The input of print darkness is invalid!"},
      {"feed 65536", [](FormState& s) { s[C::FeedLine].text = " 65536 "; },
       "The input of FeedLine In Mark Mode is invalid!", "The input of FeedLine In Mark Mode is invalid!"},
      {"bad text after a bad range", [](FormState& s) {
         s[C::edtDefaultLeftMargin].text = "99";
         s[C::FeedLine].text = "12a";
       },
       "The input of format is invalid!", "The input of format is invalid!"},
      {"empty", [](FormState& s) { s[C::edtPrintSpeed].text = ""; }, "The input of format is invalid!",
       "The input of format is invalid!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FormState s = StartState(K201());
    c.edit(s);
    const EditCheck save = CheckEdits(s, K201().saveChecks);
    const EditCheck exp = CheckEdits(s, K201().exportChecks);
    EXPECT_EQ(save.english, c.save);
    EXPECT_EQ(exp.english, c.exportWarning);
    EXPECT_EQ(save.values.has_value(), std::string(c.save).empty());
  }
  FormState s = StartState(K201());
  s[C::edtPrintSpeed].text = std::string("x");
  EXPECT_EQ(CheckEdits(s, K201().saveChecks).chinese, "非法输入！");
  EXPECT_EQ(CheckEdits(s, K201().exportChecks).chinese, "输入非法！");
  s = StartState(K201());
  s[C::edtDefaultLeftMargin].text = "17";
  EXPECT_EQ(CheckEdits(s, K201().saveChecks).chinese, "“default left margin”非法输入！");
}

TEST(SecondSeriesMap, SaveCommandsStopAtTheFirstRefusal) {
  FormState s = StartState(K201());
  s[C::cboDataBits].index = 1;
  const SaveCommands all = BuildSaveCommands(s, Edits(s), 0, K201());
  ASSERT_EQ(all.commands.size(), 18u);
  EXPECT_EQ(all.refused, nullptr);
  EXPECT_EQ(all.dataBits, 7);
  EXPECT_EQ(all.commands.back().first->address, 0x37) << "the feed lines go to the printer's 37";
  s[C::cboCodePage].index = -1;
  const SaveCommands refused = BuildSaveCommands(s, Edits(s), 0, K201());
  EXPECT_TRUE(refused.commands.empty());
  ASSERT_NE(refused.refused, nullptr);
  EXPECT_EQ(refused.refused->setting, S::CodePage);
}

TEST(SecondSeriesMap, ImportRecordsIntoControls) {
  struct Case {
    uint8_t key, lo, hi;
    bool accepted;
    Control control;
    const char* shown;
  };
  const Case cases[] = {
      {0x02, 0xFE, 0x00, true, C::edtPrintDarkness, "254"},
      {0x02, 0x00, 0x00, false, C::edtPrintDarkness, "68"},
      {0x06, 0x19, 0x00, true, C::edtPrintSpeed, "25"},
      {0x70, 0x78, 0x00, true, C::edtPrintSpeed, "120"},
      {0x06, 0x97, 0x00, false, C::edtPrintSpeed, "100"},
      {0x2C, 0xFF, 0xFF, true, C::FeedLine, "65535"},
      {0x37, 0x05, 0x00, false, C::FeedLine, "0"},  // the printer address is no file key
      {0x12, 0x01, 0x00, true, C::rgPaperType, "Mark/Label"},
      {0x12, 0x01, 0x01, false, C::rgPaperType, "Receipt"},
      {0x14, 0x01, 0x00, true, C::rgCR, "Enable"},
      {0x16, 0x07, 0x00, true, C::cboBaudrate, "115200"},
      {0x16, 0x05, 0x00, false, C::cboBaudrate, "19200"},
      {0x16, 0x01, 0x01, false, C::cboBaudrate, "19200"},
      {0x09, 0x00, 0x08, true, C::rgAutoCutter, "Disable"},
      {0x09, 0x01, 0x00, false, C::rgAutoCutter, "Enable"},
      {0x40, 0x01, 0x00, true, C::cboFlowControl, "<none>"},
      {0x40, 0x00, 0x01, false, C::cboFlowControl, "DTR/DSR"},
      {0x17, 0x07, 0x00, true, C::cboDataBits, "7"},
      {0x17, 0xFF, 0xFF, false, C::cboDataBits, "8"},
      {0x19, 0x02, 0x00, true, C::cboStopbits, "2"},
      {0x1B, 0x02, 0x00, true, C::cboParity, "Even"},
      {0x1B, 0xFF, 0xFF, false, C::cboParity, "None"},
      {0x44, 0x01, 0x00, true, C::chkStopPrintingOnPaperNearEnd, "checked"},
      {0x4A, 0x64, 0x00, true, C::edtDefaultRightMargin, "100"},
      {0x4E, 0x65, 0x00, false, C::edtDefaultLeftMargin, "2"},
      {0x54, 0x00, 0x00, true, C::chkAlarmOnPaperNearEnd, "unchecked"},
      {0x58, 0x00, 0x00, true, C::rgBeeper, "Disable"},
      {0x6D, 0x09, 0x00, true, C::cboCodePage, "PC1252"},
      {0x6D, 0xFF, 0xFF, false, C::cboCodePage, "PC437"},
      {0x7D, 0x01, 0x00, true, C::rgBufferSize, "45 Bytes"},
      {0x7D, 0xFF, 0xFF, false, C::rgBufferSize, "4096 Bytes"},
      {0x30, 0x01, 0x00, false, C::rgAutoCutter, "Enable"},  // a key of other editors
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.key) + " " + std::to_string(c.lo) + " " + std::to_string(c.hi));
    FormState s = StartState(K201());
    const FormState before = s;
    EXPECT_EQ(ApplyImportRecord(c.key, c.lo, c.hi, s, K201()), c.accepted);
    EXPECT_EQ(Shown(s, c.control), c.shown);
    if (!c.accepted) {
      EXPECT_EQ(s, before) << "a faulty record changes nothing";
    }
  }
}

TEST(SecondSeriesMap, FileRecordsOutsideTheirRangesAreRefused) {
  SettingsFileWriter w;
  EXPECT_FALSE(w.SaveSettingsToFile(0x06, 65536));
  EXPECT_FALSE(w.SaveSettingsToFile(257, 1));
  EXPECT_FALSE(w.SaveSettingsToFile(0x06, -1));
  EXPECT_TRUE(w.SaveSettingsToFile(0x4E, 300));
  EXPECT_EQ(w.Finish(""), (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x2C, 0x01, 0x4E}));
}

// The export builds every record or none: the (7D) record is always there.
TEST(SecondSeriesMap, ExportIsWholeOrNothing) {
  FormState s = StartState(K201());
  s[C::rgBufferSize].index = -1;
  const auto bytes = BuildExport(s, Edits(s), 0, K201());
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->size(), 171u);
  s[C::cboCodePage].index = -1;
  EXPECT_FALSE(BuildExport(s, Edits(s), 0, K201()));
}
