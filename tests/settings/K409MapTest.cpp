// The RWN-K409's settings without a dialog: its table and profile, printer
// replies into controls, controls into setter values, the checks of Save and
// Export, and file records into controls. The rows for baud, data and stop
// bits, parity, code page and Rx buffer are the common map's.
#include <gtest/gtest.h>

#include "settings/CommonAddressMap.h"
#include "settings/SecondSeriesMap.h"

using namespace torva::settings::second;
using C = Control;
using S = Setting;

namespace {

const SecondSeriesProfile& K409() { return K409Profile(); }

const SettingRow& RowFor(Setting s) {
  const SettingRow* row = RowOf(K409(), s);
  EXPECT_NE(row, nullptr);
  return *row;
}

// What a control shows, as one text: the item, the edit's text or the check.
std::string Shown(const FormState& state, Control c) {
  const ControlValue& v = state[c];
  switch (InfoOf(c).kind) {
    case ControlKind::Edit: return v.text;
    case ControlKind::Check: return v.checked ? "checked" : "unchecked";
    default: return v.index < 0 ? "<none>" : ItemText(ItemsOf(K409(), c), v.index);
  }
}

// The start state with the lists moved off their start items, so a reply
// that keeps a list is told from one that sets it.
FormState Marked() {
  FormState s = StartState(K409());
  s[C::cboBaudrate].index = 3;   // "38400"
  s[C::cboFlowControl].index = -1;
  s[C::cboDataBits].index = 1;   // "7"
  s[C::cboStopbits].index = 1;   // "2"
  s[C::cboParity].index = 1;     // "Odd"
  s[C::cboCodePage].index = 4;   // "PC863"
  s[C::rgDataError].index = 1;   // "Ignored"
  s[C::rgBufferSize].index = 1;  // "45 Bytes"
  return s;
}

// The start state with feed lines the checks accept (the form starts at 0,
// which Save and Export refuse).
FormState Started() {
  FormState s = StartState(K409());
  s[C::FeedLine].text = "160";
  return s;
}

EditValues Edits(const FormState& s) {
  EditCheck check = CheckEdits(s, K409().exportChecks);
  EXPECT_TRUE(check.values);
  return check.values.value_or(EditValues{});
}

std::vector<std::string> Strings(const std::vector<std::string>& v) { return v; }

}  // namespace

TEST(K409Map, TableAndProfile) {
  std::vector<int> addresses, keys;
  for (const SettingRow& r : K409Settings()) {
    addresses.push_back(r.address);
    keys.push_back(r.fileKey);
  }
  const std::vector<int> order = {0x16, 0x40, 0x17, 0x19, 0x1B, 0x4E, 0x4A, 0x06, 0x02, 0x44,
                                  0x54, 0x30, 0x14, 0x12, 0x58, 0x6D, 0x65, 0x7D, 0x2C};
  EXPECT_EQ(addresses, order);
  EXPECT_EQ(keys, order) << "every record is filed under its printer address";
  // One order for Get, Save and Export.
  std::vector<int> get, exported;
  for (Setting s : K409().getOrder) get.push_back(RowFor(s).address);
  for (Setting s : K409().exportOrder) exported.push_back(RowFor(s).fileKey);
  EXPECT_EQ(get, order);
  EXPECT_EQ(exported, order);
  EXPECT_TRUE(K409().extraImportKeys.empty());

  EXPECT_EQ(K409().modelCodes, (std::vector<int>{5}));
  EXPECT_STREQ(K409().className, "TK409EepromSetForm");
  EXPECT_STREQ(K409().caption, "K409 EepromSet");
  EXPECT_STREQ(K409().tag, "ABCDEFGHI");
  EXPECT_EQ(K409().tag, torva::settings::ModelTag(5)) << "the file tags' table agrees";
  EXPECT_EQ(K409().importCapacity, 20);
  EXPECT_EQ(K409().resetWaitMs, 2500);
  EXPECT_TRUE(K409().saveStoresDataBits);
  EXPECT_TRUE(K409().hiddenWidgets.empty());
  EXPECT_EQ(K409().startButtons, (ButtonStates{true, false, true, true, true}));
  // Every end of a Save leaves the five usable; a failed Get takes Save away.
  const ButtonRules& b = K409().buttons;
  EXPECT_EQ(b[static_cast<size_t>(ButtonEvent::OperationStarts)], (ButtonStates{false, false, false, false, false}));
  EXPECT_EQ(b[static_cast<size_t>(ButtonEvent::GetSucceeds)], (ButtonStates{true, true, true, true, true}));
  EXPECT_EQ(b[static_cast<size_t>(ButtonEvent::GetFails)], (ButtonStates{true, false, true, true, true}));
  EXPECT_EQ(b[static_cast<size_t>(ButtonEvent::SaveFails)], (ButtonStates{true, true, true, true, true}));
  EXPECT_EQ(b[static_cast<size_t>(ButtonEvent::SaveSucceeds)], (ButtonStates{true, true, true, true, true}));
  // The RW-K201's own rules are unchanged by it.
  EXPECT_EQ(RWK201Profile().buttons[static_cast<size_t>(ButtonEvent::SaveSucceeds)],
            (ButtonStates{true, false, true, true, true}));
  EXPECT_EQ(RWK201Profile().startButtons, (ButtonStates{true, false, true, false, true}));
}

// The rows the common map already has are its rows: the same printer
// addresses, and the lists they index are the common map's lists.
TEST(K409Map, SharedRowsAreTheCommonMaps) {
  using torva::settings::CommonSetting;
  const std::pair<Setting, CommonSetting> shared[] = {
      {S::CommBaudRate, CommonSetting::BaudRate},   {S::CommDataBits, CommonSetting::DataBits},
      {S::CommStopBits, CommonSetting::StopBits},   {S::CommParity, CommonSetting::Parity},
      {S::CodePage, CommonSetting::CodePage},       {S::RxBufferSize, CommonSetting::RxBufferSize},
  };
  for (const auto& [setting, key] : shared) {
    SCOPED_TRACE(static_cast<int>(setting));
    EXPECT_EQ(RowFor(setting).codec, Codec::Common);
    EXPECT_EQ(RowFor(setting).address, torva::settings::Row(key).address);
  }
  int common = 0;
  for (const SettingRow& r : K409Settings()) common += r.codec == Codec::Common;
  EXPECT_EQ(common, 6);
  EXPECT_EQ(ItemsOf(K409(), C::cboBaudrate), torva::settings::BaudItems(torva::settings::M512IIProfile()));
  EXPECT_EQ(ItemsOf(K409(), C::cboDataBits), Strings(torva::settings::kDataBitsItems));
  EXPECT_EQ(ItemsOf(K409(), C::cboStopbits), Strings(torva::settings::kStopBitsItems));
  EXPECT_EQ(ItemsOf(K409(), C::cboParity), Strings(torva::settings::kParityItems));
  EXPECT_EQ(ItemsOf(K409(), C::cboCodePage), Strings(torva::settings::kCodePageItems));
  EXPECT_EQ(ItemsOf(K409(), C::rgBufferSize), Strings(torva::settings::kRxBufferItems));
}

// Every reply of the getters' table, and some they refuse (the control then
// keeps its value).
TEST(K409Map, RepliesIntoControls) {
  struct Case {
    Setting setting;
    uint8_t lo, hi;
    bool accepted;
    const char* shown;  // what the control shows afterwards (from Marked())
  };
  const Case cases[] = {
      {S::CommBaudRate, 0x04, 0x00, true, "4800"},
      {S::CommBaudRate, 0x00, 0x00, true, "9600"},
      {S::CommBaudRate, 0x01, 0x00, true, "19200"},
      {S::CommBaudRate, 0x02, 0x00, true, "38400"},
      {S::CommBaudRate, 0x03, 0x00, true, "57600"},
      {S::CommBaudRate, 0x07, 0x00, true, "115200"},
      {S::CommBaudRate, 0x05, 0x00, false, "38400"},  // 2400: no such rate here
      {S::CommBaudRate, 0x01, 0x01, false, "38400"},
      {S::CommFlowControl, 0x00, 0x00, true, "DTR/DSR"},
      {S::CommFlowControl, 0x01, 0x00, true, "<none>"},  // XON/XOFF: the one-item list shows nothing
      {S::CommFlowControl, 0x02, 0x00, false, "<none>"},
      {S::CommFlowControl, 0x00, 0x01, false, "<none>"},
      {S::CommDataBits, 0x08, 0x00, true, "8"},
      {S::CommDataBits, 0x07, 0x00, true, "7"},
      {S::CommDataBits, 0xFF, 0x12, true, "8"},  // FF xx reads 8
      {S::CommDataBits, 0x08, 0x33, true, "8"},  // the low byte alone counts
      {S::CommDataBits, 0x06, 0x00, false, "7"},
      {S::CommStopBits, 0x01, 0x00, true, "1"},
      {S::CommStopBits, 0xFF, 0x00, true, "2"},
      {S::CommStopBits, 0x03, 0x00, false, "2"},
      {S::CommParity, 0x00, 0x00, true, "None"},
      {S::CommParity, 0x02, 0x00, true, "Even"},
      {S::CommParity, 0xFF, 0x00, true, "Even"},
      {S::CommParity, 0x03, 0x00, false, "Odd"},
      {S::DefaultLeftMargin, 0x2C, 0x01, true, "300"},  // any value shows
      {S::DefaultRightMargin, 0x11, 0x00, true, "17"},
      {S::PrintSpeed, 0x19, 0x00, true, "25"},
      {S::PrintSpeed, 0x96, 0x00, true, "150"},
      {S::PrintSpeed, 0xC8, 0x00, true, "-1"},  // 200: shown as -1, the Get goes on
      {S::PrintSpeed, 0x18, 0x00, true, "-1"},
      {S::PrintDarkness, 0x01, 0x00, true, "1"},
      {S::PrintDarkness, 0xFE, 0x00, true, "254"},
      {S::PrintDarkness, 0x00, 0x00, false, "68"},
      {S::PrintDarkness, 0xFF, 0x00, false, "68"},
      {S::StopPrintingOnPaperNearEnd, 0x01, 0x00, true, "checked"},
      {S::StopPrintingOnPaperNearEnd, 0x02, 0x00, false, "unchecked"},
      {S::AlarmOnPaperNearEnd, 0x00, 0x00, true, "unchecked"},
      {S::AutoCutter, 0x00, 0x00, true, "Disable"},
      {S::AutoCutter, 0x01, 0x00, true, "Enable"},
      {S::AutoCutter, 0x00, 0x08, false, "Enable"},  // no switch word here
      {S::CRCommand, 0x01, 0x00, true, "Enable"},
      {S::PaperType, 0x01, 0x00, true, "Mark/Label"},
      {S::PaperType, 0x02, 0x00, false, "Receipt"},
      {S::Beeper, 0x00, 0x00, true, "Disable"},
      {S::CodePage, 0x09, 0x00, true, "PC1252"},
      {S::CodePage, 0x01, 0x00, true, "Katakana"},
      {S::CodePage, 0xFF, 0xFF, true, "PC437"},
      {S::CodePage, 0x0A, 0x01, true, "PC863"},  // no page: the list stays, the Get goes on
      {S::CodePage, 0x0A, 0x00, true, "PC863"},
      {S::DataError, 0x00, 0x00, true, "Print '?'"},
      {S::DataError, 0xFF, 0xFF, true, "Print '?'"},
      {S::DataError, 0x02, 0x00, false, "Ignored"},
      {S::RxBufferSize, 0x00, 0x00, true, "4096 Bytes"},
      {S::RxBufferSize, 0xFF, 0xFF, true, "4096 Bytes"},
      {S::RxBufferSize, 0x01, 0x01, false, "45 Bytes"},
      {S::FeedLineInMark, 0xFF, 0xFF, true, "65535"},
      {S::FeedLineInMark, 0x00, 0x00, true, "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(static_cast<int>(c.setting)) + " " + std::to_string(c.lo) + " " +
                 std::to_string(c.hi));
    FormState s = Marked();
    int high = 0;
    const SettingRow& row = RowFor(c.setting);
    EXPECT_EQ(ApplyReply(row, c.lo, c.hi, s, high, K409()), c.accepted);
    EXPECT_EQ(Shown(s, row.control), c.shown);
    EXPECT_EQ(high, 0);
  }
  // Flow control 1 on a list showing "DTR/DSR" empties it, so the setter
  // writes 1 again: a Get then Save keeps the printer's XON/XOFF.
  FormState s = StartState(K409());
  int high = 0;
  EXPECT_TRUE(ApplyReply(RowFor(S::CommFlowControl), 0x01, 0x00, s, high, K409()));
  EXPECT_EQ(Shown(s, C::cboFlowControl), "<none>");
  EXPECT_EQ(SetterValue(RowFor(S::CommFlowControl), s, Edits(Started()), 0, K409()), 1);
}

TEST(K409Map, SetterValuesAndRefusals) {
  struct Case {
    const char* name;
    Setting setting;
    void (*edit)(FormState&);
    std::optional<uint16_t> value;
  };
  const Case cases[] = {
      {"baud 19200", S::CommBaudRate, [](FormState&) {}, 1},
      {"baud 4800", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = 0; }, 4},
      {"baud 57600", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = 4; }, 3},
      {"baud 115200", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = 5; }, 7},
      {"baud none", S::CommBaudRate, [](FormState& s) { s[C::cboBaudrate].index = -1; }, std::nullopt},
      {"flow DTR/DSR", S::CommFlowControl, [](FormState&) {}, 0},
      {"flow none", S::CommFlowControl, [](FormState& s) { s[C::cboFlowControl].index = -1; }, 1},
      {"data 8", S::CommDataBits, [](FormState&) {}, 8},
      {"data 7", S::CommDataBits, [](FormState& s) { s[C::cboDataBits].index = 1; }, 7},
      {"stop 2", S::CommStopBits, [](FormState& s) { s[C::cboStopbits].index = 1; }, 2},
      {"parity none", S::CommParity, [](FormState&) {}, 0},
      {"parity odd", S::CommParity, [](FormState& s) { s[C::cboParity].index = 1; }, 1},
      {"parity even", S::CommParity, [](FormState& s) { s[C::cboParity].index = 0; }, 2},
      {"left margin 100", S::DefaultLeftMargin, [](FormState& s) { s[C::edtDefaultLeftMargin].text = "100"; }, 100},
      {"speed", S::PrintSpeed, [](FormState&) {}, 100},
      {"darkness", S::PrintDarkness, [](FormState&) {}, 68},
      {"stop printing", S::StopPrintingOnPaperNearEnd,
       [](FormState& s) { s[C::chkStopPrintingOnPaperNearEnd].checked = true; }, 1},
      {"alarm", S::AlarmOnPaperNearEnd, [](FormState&) {}, 1},
      {"cutter on", S::AutoCutter, [](FormState&) {}, 1},
      {"cutter off", S::AutoCutter, [](FormState& s) { s[C::rgAutoCutter].index = 1; }, 0},
      {"CR off", S::CRCommand, [](FormState&) {}, 0},
      {"mark paper", S::PaperType, [](FormState& s) { s[C::rgPaperType].index = 1; }, 1},
      {"beeper off", S::Beeper, [](FormState& s) { s[C::rgBeeper].index = 1; }, 0},
      {"code page 9", S::CodePage, [](FormState& s) { s[C::cboCodePage].index = 9; }, 9},
      {"no code page", S::CodePage, [](FormState& s) { s[C::cboCodePage].index = -1; }, std::nullopt},
      {"ignored", S::DataError, [](FormState& s) { s[C::rgDataError].index = 1; }, 1},
      {"print '?'", S::DataError, [](FormState&) {}, 0},
      {"small buffer", S::RxBufferSize, [](FormState& s) { s[C::rgBufferSize].index = 1; }, 1},
      {"feed lines", S::FeedLineInMark, [](FormState& s) { s[C::FeedLine].text = "65535"; }, 65535},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FormState s = Started();
    c.edit(s);
    EXPECT_EQ(SetterValue(RowFor(c.setting), s, Edits(s), 0, K409()), c.value);
  }
  // Save queues the nineteen in table order: 171 bytes.
  FormState s = Started();
  s[C::cboDataBits].index = 1;
  const SaveCommands all = BuildSaveCommands(s, Edits(s), 0, K409());
  ASSERT_EQ(all.commands.size(), 19u);
  EXPECT_EQ(all.refused, nullptr);
  EXPECT_EQ(all.dataBits, 7);
  EXPECT_EQ(all.commands.back().first->address, 0x2C);
}

// Save allows margins 0..16, Export 0..100; both want 19..65535 feed lines.
TEST(K409Map, EditChecksOfSaveAndExport) {
  struct Case {
    const char* name;
    void (*edit)(FormState&);
    const char* save;  // Save's warning, "" when it passes
    const char* exportWarning;
  };
  const Case cases[] = {
      {"start values but the feed lines", [](FormState& s) { s[C::FeedLine].text = "19"; }, "", ""},
      {"feed lines 0 as the form starts", [](FormState& s) { s[C::FeedLine].text = std::string("0"); }, "The input of FeedLine In Mark Mode is invalid!",
       "The input of FeedLine In Mark Mode is invalid!"},
      {"left margin 17", [](FormState& s) { s[C::edtDefaultLeftMargin].text = "17"; },
       "The input of default left margin is invalid!", ""},
      {"right margin 100", [](FormState& s) { s[C::edtDefaultRightMargin].text = "100"; },
       "The input of default right margin is invalid!", ""},
      {"right margin 101", [](FormState& s) { s[C::edtDefaultRightMargin].text = "101"; },
       "The input of default right margin is invalid!", "The input of default right margin is invalid!"},
      {"speed 24", [](FormState& s) { s[C::edtPrintSpeed].text = "24"; }, "The input of print speed is invalid!",
       "The input of print speed is invalid!"},
      {"darkness 255", [](FormState& s) { s[C::edtPrintDarkness].text = "255"; },
       "The input of print darkness is invalid!", "The input of print darkness is invalid!"},
      {"feed lines 18", [](FormState& s) { s[C::FeedLine].text = "18"; },
       "The input of FeedLine In Mark Mode is invalid!", "The input of FeedLine In Mark Mode is invalid!"},
      {"feed lines 65535", [](FormState& s) { s[C::FeedLine].text = " 65535 "; }, "", ""},
      {"feed lines 65536", [](FormState& s) { s[C::FeedLine].text = "65536"; },
       "The input of FeedLine In Mark Mode is invalid!", "The input of FeedLine In Mark Mode is invalid!"},
      {"margin checked before the speed", [](FormState& s) {
         s[C::edtDefaultLeftMargin].text = "17";
         s[C::edtPrintSpeed].text = "200";
       },
       "The input of default left margin is invalid!", "The input of print speed is invalid!"},
      {"a bad text after a bad range", [](FormState& s) {
         s[C::edtDefaultLeftMargin].text = "99";
         s[C::FeedLine].text = "2O";
       },
       "The input of format is invalid!", "The input of format is invalid!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FormState s = StartState(K409());
    s[C::FeedLine].text = "160";
    c.edit(s);
    const EditCheck save = CheckEdits(s, K409().saveChecks);
    const EditCheck exp = CheckEdits(s, K409().exportChecks);
    EXPECT_EQ(save.english, c.save);
    EXPECT_EQ(exp.english, c.exportWarning);
    EXPECT_EQ(save.values.has_value(), std::string(c.save).empty());
  }
  FormState s = StartState(K409());
  s[C::edtPrintSpeed].text = std::string("x");
  EXPECT_EQ(CheckEdits(s, K409().saveChecks).chinese, "非法输入！");
  EXPECT_EQ(CheckEdits(s, K409().exportChecks).chinese, "输入非法！");
  s = StartState(K409());
  s[C::FeedLine].text = "18";
  EXPECT_EQ(CheckEdits(s, K409().saveChecks).chinese, "“FeedLine In Mark Mode”非法输入！");
  s[C::FeedLine].text = "160";
  s[C::edtDefaultLeftMargin].text = "17";
  EXPECT_EQ(CheckEdits(s, K409().saveChecks).chinese, "“default left margin”非法输入！");
}

// The import's table: accepted values and their controls; a refused record
// changes nothing.
TEST(K409Map, ImportRecordsIntoControls) {
  struct Case {
    uint8_t key, lo, hi;
    bool accepted;
    Control control;
    const char* shown;  // from the start state
  };
  const Case cases[] = {
      {0x02, 0x01, 0x00, true, C::edtPrintDarkness, "1"},
      {0x02, 0xFF, 0x00, false, C::edtPrintDarkness, "68"},
      {0x06, 0x96, 0x00, true, C::edtPrintSpeed, "150"},
      {0x06, 0xC8, 0x00, false, C::edtPrintSpeed, "100"},
      {0x12, 0x01, 0x00, true, C::rgPaperType, "Mark/Label"},
      {0x14, 0x01, 0x00, true, C::rgCR, "Enable"},
      {0x14, 0x02, 0x00, false, C::rgCR, "Disable"},
      {0x16, 0x00, 0x00, true, C::cboBaudrate, "9600"},
      {0x16, 0x04, 0x00, true, C::cboBaudrate, "4800"},
      {0x16, 0x07, 0x00, true, C::cboBaudrate, "115200"},
      {0x16, 0x06, 0x00, false, C::cboBaudrate, "19200"},
      {0x17, 0x07, 0x00, true, C::cboDataBits, "7"},
      {0x17, 0xFF, 0x00, false, C::cboDataBits, "8"},  // FF is a reply's, not a file's
      {0x19, 0x02, 0x00, true, C::cboStopbits, "2"},
      {0x19, 0x00, 0x00, false, C::cboStopbits, "1"},
      {0x1B, 0x02, 0x00, true, C::cboParity, "Even"},
      {0x1B, 0xFF, 0x00, false, C::cboParity, "None"},
      {0x2C, 0x34, 0x12, true, C::FeedLine, "4660"},  // lo + 256 x hi
      {0x30, 0x00, 0x00, true, C::rgAutoCutter, "Disable"},
      {0x40, 0x00, 0x00, true, C::cboFlowControl, "DTR/DSR"},
      {0x40, 0x01, 0x00, true, C::cboFlowControl, "<none>"},  // the second item, which the list lacks
      {0x40, 0x02, 0x00, false, C::cboFlowControl, "DTR/DSR"},
      {0x44, 0x01, 0x00, true, C::chkStopPrintingOnPaperNearEnd, "checked"},
      {0x4A, 0x64, 0x00, true, C::edtDefaultRightMargin, "100"},
      {0x4E, 0x65, 0x00, false, C::edtDefaultLeftMargin, "2"},
      {0x54, 0x00, 0x00, true, C::chkAlarmOnPaperNearEnd, "unchecked"},
      {0x58, 0x00, 0x00, true, C::rgBeeper, "Disable"},
      {0x65, 0x01, 0x00, true, C::rgDataError, "Ignored"},
      {0x65, 0xFF, 0xFF, false, C::rgDataError, "Print '?'"},
      {0x6D, 0x09, 0x00, true, C::cboCodePage, "PC1252"},
      {0x6D, 0x0A, 0x00, false, C::cboCodePage, "PC437"},
      {0x7D, 0x01, 0x00, true, C::rgBufferSize, "45 Bytes"},
      {0x7D, 0xFF, 0xFF, false, C::rgBufferSize, "4096 Bytes"},
      // Keys of the other POS-style editors are not this one's.
      {0x09, 0x00, 0x08, false, C::rgAutoCutter, "Enable"},
      {0x37, 0x05, 0x00, false, C::FeedLine, "0"},
      {0x70, 0x78, 0x00, false, C::edtPrintSpeed, "100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.key) + " " + std::to_string(c.lo) + " " + std::to_string(c.hi));
    FormState s = StartState(K409());
    const FormState before = s;
    EXPECT_EQ(ApplyImportRecord(c.key, c.lo, c.hi, s, K409()), c.accepted);
    EXPECT_EQ(Shown(s, c.control), c.shown);
    if (!c.accepted) {
      EXPECT_EQ(s, before) << "a faulty record changes nothing";
    }
  }
}
