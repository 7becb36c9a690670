#include "settings/SecondSeriesMap.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "link/PortState.h"

#include "settings/CommonAddressMap.h"
#include "settings/ReplyFields.h"

namespace torva::settings::second {

using C = Control;
using S = Setting;

namespace {

// On/off into a check box or a radio group whose first button is "Enable".
void SetFlag(ControlValue& v, ControlKind kind, bool on) {
  if (kind == ControlKind::Check) {
    v.checked = on;
  } else {
    v.index = on ? 0 : 1;
  }
}

bool FlagOf(const ControlValue& v, ControlKind kind) { return kind == ControlKind::Check ? v.checked : v.index == 0; }

// --- settings whose rows come from the common address map

// The common map's key of a setting both maps hold.
std::optional<CommonSetting> CommonKeyOf(Setting setting) {
  switch (setting) {
    case S::CommBaudRate: return CommonSetting::BaudRate;
    case S::CommDataBits: return CommonSetting::DataBits;
    case S::CommStopBits: return CommonSetting::StopBits;
    case S::CommParity: return CommonSetting::Parity;
    case S::CodePage: return CommonSetting::CodePage;
    case S::RxBufferSize: return CommonSetting::RxBufferSize;
    default: return std::nullopt;
  }
}

// The field of the common map's editor state that holds the setting's list
// position; the lists are the same on both sides (the map tests hold them
// side by side).
int* CommonField(EditorState& st, CommonSetting key) {
  switch (key) {
    case CommonSetting::BaudRate: return &st.baud;
    case CommonSetting::DataBits: return &st.dataBits;
    case CommonSetting::StopBits: return &st.stopBits;
    case CommonSetting::Parity: return &st.parity;
    case CommonSetting::CodePage: return &st.codePage;
    case CommonSetting::RxBufferSize: return &st.rxBuffer;
    default: return nullptr;
  }
}

// What the common rows ask of an editor profile: the baud list, which ends
// with "115200" here.
const CommonAddressProfile& CommonLists() {
  static const CommonAddressProfile lists = [] {
    CommonAddressProfile p{};
    p.baud115200 = true;
    return p;
  }();
  return lists;
}

// A row of this map built from the common map's row: its address is the
// printer address and the file key. The code page's rule takes pages 0..9 as
// list positions: every profile here lists ten pages.
SettingRow CommonRow(Setting setting, Control control) {
  const torva::settings::SettingRow& common = torva::settings::Row(*CommonKeyOf(setting));
  return SettingRow{setting, common.address, common.address, Codec::Common, control};
}

// Runs a common row's Get (or import) rule on the control's list position.
bool CommonApply(const SettingRow& row, uint8_t lo, uint8_t hi, FormState& state, bool import) {
  const auto key = CommonKeyOf(row.setting);
  if (!key) return false;
  const torva::settings::SettingRow& common = torva::settings::Row(*key);
  EditorState st;
  int* field = CommonField(st, *key);
  *field = state[row.control].index;
  const auto rule = import && common.import ? common.import : common.decode;
  if (!rule(lo, hi, st, CommonLists())) return false;
  state[row.control].index = *field;
  return true;
}

// A common row's setter value for the control's list position.
std::optional<uint16_t> CommonValue(const SettingRow& row, const FormState& state) {
  const auto key = CommonKeyOf(row.setting);
  if (!key) return std::nullopt;
  EditorState st;
  *CommonField(st, *key) = state[row.control].index;
  return torva::settings::Row(*key).encode(st, torva::settings::EditValues{}, CommonLists());
}

}  // namespace

const std::vector<ControlInfo>& Controls() {
  static const std::vector<ControlInfo> rows = {
      {C::cboBaudrate, "cboBaudrate", ControlKind::List, {"4800", "9600", "19200", "38400", "57600", "115200"}},
      {C::cboFlowControl, "cboFlowControl", ControlKind::List, {"DTR/DSR"}},
      {C::cboDataBits, "cboDataBits", ControlKind::List, {"8", "7"}},
      {C::cboStopbits, "cboStopbits", ControlKind::List, {"1", "2"}},
      {C::cboParity, "cboParity", ControlKind::List, {"Even", "Odd", "None"}},
      {C::edtDefaultLeftMargin, "edtDefaultLeftMargin", ControlKind::Edit, {}},
      {C::edtDefaultRightMargin, "edtDefaultRightMargin", ControlKind::Edit, {}},
      {C::edtPrintSpeed, "edtPrintSpeed", ControlKind::Edit, {}},
      {C::edtPrintDarkness, "edtPrintDarkness", ControlKind::Edit, {}},
      {C::FeedLine, "FeedLine", ControlKind::Edit, {}},
      {C::chkStopPrintingOnPaperNearEnd, "chkStopPrintingOnPaperNearEnd", ControlKind::Check, {}},
      {C::chkAlarmOnPaperNearEnd, "chkAlarmOnPaperNearEnd", ControlKind::Check, {}},
      {C::rgAutoCutter, "rgAutoCutter", ControlKind::Radio, {"Enable", "Disable"}},
      {C::rgCR, "rgCR", ControlKind::Radio, {"Enable", "Disable"}},
      {C::rgPaperType, "rgPaperType", ControlKind::Radio, {"Receipt", "Mark/Label"}},
      {C::rgBeeper, "rgBeeper", ControlKind::Radio, {"Enable", "Disable"}},
      {C::rgBufferSize, "rgBufferSize", ControlKind::Radio, {"4096 Bytes", "45 Bytes"}},
      {C::rgDataError, "rgDataError", ControlKind::Radio, {"Print '?'", "Ignored"}},
      {C::cboCodePage, "cboCodePage", ControlKind::List,
       {"PC437", "Katakana", "PC850", "PC860", "PC863", "PC865", "PC852", "PC858", "PC866", "PC1252"}},
      {C::EditLength1, "EditLength1", ControlKind::Edit, {}},
      {C::EditLength2, "EditLength2", ControlKind::Edit, {}},
  };
  return rows;
}

const ControlInfo& InfoOf(Control control) { return Controls()[static_cast<size_t>(control)]; }

const std::vector<SettingRow>& RWK201Settings() {
  static const std::vector<SettingRow> rows = {
      CommonRow(S::CommBaudRate, C::cboBaudrate),
      {S::CommFlowControl, 0x40, 0x40, Codec::FlowControl, C::cboFlowControl},
      CommonRow(S::CommDataBits, C::cboDataBits),
      CommonRow(S::CommStopBits, C::cboStopbits),
      CommonRow(S::CommParity, C::cboParity),
      {S::DefaultLeftMargin, 0x4E, 0x4E, Codec::Margin, C::edtDefaultLeftMargin},
      {S::DefaultRightMargin, 0x4A, 0x4A, Codec::Margin, C::edtDefaultRightMargin},
      {S::PrintSpeed, 0x06, 0x06, Codec::Speed, C::edtPrintSpeed},
      {S::PrintDarkness, 0x02, 0x02, Codec::Darkness, C::edtPrintDarkness},
      {S::StopPrintingOnPaperNearEnd, 0x44, 0x44, Codec::Flag, C::chkStopPrintingOnPaperNearEnd},
      {S::AlarmOnPaperNearEnd, 0x54, 0x54, Codec::Flag, C::chkAlarmOnPaperNearEnd},
      {S::AutoCutter, 0x09, 0x09, Codec::SwitchWordCutter, C::rgAutoCutter},
      {S::CRCommand, 0x14, 0x14, Codec::Flag, C::rgCR},
      {S::PaperType, 0x12, 0x12, Codec::PaperType, C::rgPaperType},
      {S::Beeper, 0x58, 0x58, Codec::Flag, C::rgBeeper},
      CommonRow(S::CodePage, C::cboCodePage),
      CommonRow(S::RxBufferSize, C::rgBufferSize),
      {S::FeedLineInMark, 0x37, 0x2C, Codec::Word, C::FeedLine},
  };
  return rows;
}

const std::vector<SettingRow>& K409Settings() {
  static const std::vector<SettingRow> rows = {
      CommonRow(S::CommBaudRate, C::cboBaudrate),
      {S::CommFlowControl, 0x40, 0x40, Codec::FlowControl, C::cboFlowControl},
      CommonRow(S::CommDataBits, C::cboDataBits),
      CommonRow(S::CommStopBits, C::cboStopbits),
      CommonRow(S::CommParity, C::cboParity),
      {S::DefaultLeftMargin, 0x4E, 0x4E, Codec::Margin, C::edtDefaultLeftMargin},
      {S::DefaultRightMargin, 0x4A, 0x4A, Codec::Margin, C::edtDefaultRightMargin},
      {S::PrintSpeed, 0x06, 0x06, Codec::Speed, C::edtPrintSpeed},
      {S::PrintDarkness, 0x02, 0x02, Codec::Darkness, C::edtPrintDarkness},
      {S::StopPrintingOnPaperNearEnd, 0x44, 0x44, Codec::Flag, C::chkStopPrintingOnPaperNearEnd},
      {S::AlarmOnPaperNearEnd, 0x54, 0x54, Codec::Flag, C::chkAlarmOnPaperNearEnd},
      {S::AutoCutter, 0x30, 0x30, Codec::Flag, C::rgAutoCutter},
      {S::CRCommand, 0x14, 0x14, Codec::Flag, C::rgCR},
      {S::PaperType, 0x12, 0x12, Codec::PaperType, C::rgPaperType},
      {S::Beeper, 0x58, 0x58, Codec::Flag, C::rgBeeper},
      CommonRow(S::CodePage, C::cboCodePage),
      {S::DataError, 0x65, 0x65, Codec::DataError, C::rgDataError},
      CommonRow(S::RxBufferSize, C::rgBufferSize),
      {S::FeedLineInMark, 0x2C, 0x2C, Codec::Word, C::FeedLine},
  };
  return rows;
}

namespace {

std::vector<SettingRow> EModelSettings(uint8_t nearEndStop) {
  return {
      {S::DefaultLeftMargin, 0x4E, 0x4E, Codec::Margin, C::edtDefaultLeftMargin},
      {S::DefaultRightMargin, 0x4A, 0x4A, Codec::Margin, C::edtDefaultRightMargin},
      {S::PrintSpeed, 0x06, 0x06, Codec::Speed, C::edtPrintSpeed},
      {S::PrintDarkness, 0x02, 0x02, Codec::Darkness, C::edtPrintDarkness},
      {S::StopPrintingOnPaperNearEnd, nearEndStop, nearEndStop, Codec::Flag,
       C::chkStopPrintingOnPaperNearEnd},
      {S::AlarmOnPaperNearEnd, 0x54, 0x54, Codec::Flag, C::chkAlarmOnPaperNearEnd},
      {S::AutoCutter, 0x30, 0x30, Codec::Flag, C::rgAutoCutter},
      {S::PaperType, 0x12, 0x12, Codec::PaperType, C::rgPaperType},
      CommonRow(S::CodePage, C::cboCodePage),
      CommonRow(S::RxBufferSize, C::rgBufferSize),
      {S::FeedLineInMark, 0x37, 0x2C, Codec::Word, C::FeedLine},
  };
}

}  // namespace

const std::vector<SettingRow>& RWK201ESettings() {
  static const std::vector<SettingRow> rows = EModelSettings(0x44);
  return rows;
}

const std::vector<SettingRow>& RWK305ESettings() {
  static const std::vector<SettingRow> rows = EModelSettings(0x43);
  return rows;
}

const std::vector<SettingRow>& RWK305G2Settings() {
  static const std::vector<SettingRow> rows = {
      CommonRow(S::CommBaudRate, C::cboBaudrate),
      {S::CommFlowControl, 0x41, 0x40, Codec::FlowControl, C::cboFlowControl},
      CommonRow(S::CommDataBits, C::cboDataBits),
      CommonRow(S::CommStopBits, C::cboStopbits),
      CommonRow(S::CommParity, C::cboParity),
      {S::DefaultLeftMargin, 0x4E, 0x4E, Codec::Margin, C::edtDefaultLeftMargin},
      {S::DefaultRightMargin, 0x4A, 0x4A, Codec::Margin, C::edtDefaultRightMargin},
      {S::PrintSpeed, 0x06, 0x06, Codec::Speed, C::edtPrintSpeed},
      {S::PaperJamLength, 0x0E, 0x0E, Codec::Length, C::EditLength1},
      {S::PaperLooseLength, 0x0F, 0x0F, Codec::Length, C::EditLength2},
      {S::PrintDarkness, 0x02, 0x02, Codec::Darkness, C::edtPrintDarkness},
      {S::CRCommand, 0x14, 0x14, Codec::Flag, C::rgCR},
      {S::PaperType, 0x12, 0x12, Codec::PaperType, C::rgPaperType},
      CommonRow(S::CodePage, C::cboCodePage),
      CommonRow(S::RxBufferSize, C::rgBufferSize),
  };
  return rows;
}

int EditValues::at(Control c) const {
  auto it = numbers.find(c);
  return it == numbers.end() ? 0 : it->second;
}

EditCheck CheckEdits(const FormState& state, const EditRules& rules) {
  EditCheck check;
  EditValues values;
  for (const EditCheckRow& row : rules.rows) {
    const auto number = ParseInt32(state[row.control].text);
    if (!number) {
      check.formatError = true;
      check.english = rules.formatEnglish;
      check.chinese = rules.formatChinese;
      return check;
    }
    values.numbers[row.control] = *number;
  }
  for (const EditCheckRow& row : rules.rows) {
    const int v = values.at(row.control);
    if (v < row.minimum || v > row.maximum) {
      check.english = row.english;
      check.chinese = row.chinese;
      return check;
    }
  }
  check.values = std::move(values);
  return check;
}

const ButtonRules& PosButtonRules() {
  //                                  get    save   import export exit
  static const ButtonRules rules = {{{false, false, false, false, false},  // OperationStarts
                                     {true, true, true, true, true},      // GetSucceeds
                                     {true, false, true, true, true},     // GetFails
                                     {true, true, true, true, true},      // SaveFails
                                     {true, false, true, true, true}}};   // SaveSucceeds
  return rules;
}

const ButtonRules& K409ButtonRules() {
  static const ButtonRules rules = [] {
    ButtonRules r = PosButtonRules();
    r[static_cast<size_t>(ButtonEvent::SaveSucceeds)] = {true, true, true, true, true};
    return r;
  }();
  return rules;
}

namespace {

EditRules SaveRules(int marginMax, const char* formatChinese, int feedLineMin = 0) {
  return EditRules{
      {
          {C::edtDefaultLeftMargin, 0, marginMax, "The input of default left margin is invalid!",
           "“default left margin”非法输入！"},
          {C::edtDefaultRightMargin, 0, marginMax, "The input of default right margin is invalid!",
           "“default right margin”非法输入！"},
          {C::edtPrintSpeed, 25, 150, "The input of print speed is invalid!", "“print speed”非法输入！"},
          {C::edtPrintDarkness, 1, 254, "The input of print darkness is invalid!", "“print darkness”非法输入！"},
          {C::FeedLine, feedLineMin, 65535, "The input of FeedLine In Mark Mode is invalid!",
           "“FeedLine In Mark Mode”非法输入！"},
      },
      "The input of format is invalid!",
      formatChinese,
  };
}

std::vector<Setting> AllInTableOrder(const std::vector<SettingRow>& rows = RWK201Settings()) {
  std::vector<Setting> order;
  for (const SettingRow& row : rows) order.push_back(row.setting);
  return order;
}

// The controls of the RW-K201 form, which the RW-K305, RW-K201E and RW-K305E
// editors share.
std::vector<Control> RWK201FormControls() {
  return {C::cboBaudrate,
          C::cboFlowControl,
          C::cboDataBits,
          C::cboStopbits,
          C::cboParity,
          C::edtDefaultLeftMargin,
          C::edtDefaultRightMargin,
          C::edtPrintSpeed,
          C::edtPrintDarkness,
          C::FeedLine,
          C::chkStopPrintingOnPaperNearEnd,
          C::chkAlarmOnPaperNearEnd,
          C::rgAutoCutter,
          C::rgCR,
          C::rgPaperType,
          C::rgBeeper,
          C::rgBufferSize,
          C::rgDataError,
          C::cboCodePage};
}

SecondSeriesProfile RWK201Base() {
  SecondSeriesProfile p{
      .modelCodes = {4},
      .className = "TRWK201EepromSetForm",
      .caption = "EepromSet",
      .fontFamily = "MS Sans Serif",
      .tag = "RW-K201XX",
      .settings = &RWK201Settings(),
      .getOrder = AllInTableOrder(),
      .exportOrder = AllInTableOrder(),
      .extraImportKeys = {{0x70, S::PrintSpeed}},
      .importCapacity = 20,
      .controls = RWK201FormControls(),
      .hiddenWidgets = {"rgDataError", "lblFeedLineInMarkMode"},
      .disabledWidgets = {},
      .codePageItems = InfoOf(C::cboCodePage).items,
      .codePageStart = 0,
      .saveStoresDataBits = true,
      .savePlan = SavePlan::OneQueuedWrite,
      .directWrites = {},
      .resetWaitMs = 2500,
      .f1Help = true,
      .centreOnScreen = false,
      .saveChecks = SaveRules(16, "非法输入！"),
      .exportChecks = SaveRules(100, "输入非法！"),
      .buttons = PosButtonRules(),
      .texts = FrameTexts{},
      .switchWord = SwitchWordSlot::RWK201,
  };
  return p;
}

}  // namespace

const SecondSeriesProfile& RWK201Profile() {
  static const SecondSeriesProfile p = RWK201Base();
  return p;
}

const SecondSeriesProfile& RWK305Profile() {
  static const SecondSeriesProfile p = [] {
    SecondSeriesProfile q = RWK201Base();
    q.modelCodes = {6, 15};
    q.className = "TRWK305EepromSetForm";
    q.tag = "RW-K305XX";
    q.switchWord = SwitchWordSlot::RWK305;
    return q;
  }();
  return p;
}

const SecondSeriesProfile& K409Profile() {
  static const SecondSeriesProfile p{
      .modelCodes = {5},
      .className = "TK409EepromSetForm",
      .caption = "K409 EepromSet",
      .fontFamily = "MS Sans Serif",
      .tag = "ABCDEFGHI",
      .settings = &K409Settings(),
      .getOrder = AllInTableOrder(K409Settings()),
      .exportOrder = AllInTableOrder(K409Settings()),
      .extraImportKeys = {},
      .importCapacity = 20,
      .controls = RWK201FormControls(),
      .hiddenWidgets = {},
      .disabledWidgets = {},
      .codePageItems = InfoOf(C::cboCodePage).items,
      .codePageStart = 0,
      .saveStoresDataBits = true,
      .savePlan = SavePlan::OneQueuedWrite,
      .directWrites = {},
      .resetWaitMs = 2500,
      .f1Help = true,
      .centreOnScreen = false,
      // The feed in mark mode must be at least 19 dot lines.
      .saveChecks = SaveRules(16, "非法输入！", 19),
      .exportChecks = SaveRules(100, "输入非法！", 19),
      .buttons = K409ButtonRules(),
      .texts = FrameTexts{},
      // No switch word: its cutter is a setting of its own (30).
      .switchWord = SwitchWordSlot::RWK201,
      .startButtons = {true, false, true, true, true},
  };
  return p;
}

namespace {

// The RW-K201 editor with eleven settings: the serial settings' group, the
// CR command and the beeper are hidden and never read or written.
SecondSeriesProfile EModelBase(const std::vector<SettingRow>& settings) {
  SecondSeriesProfile q = RWK201Base();
  q.settings = &settings;
  q.getOrder = AllInTableOrder(settings);
  q.exportOrder = q.getOrder;
  q.hiddenWidgets = {"grpComPort", "rgBeeper", "rgCR", "rgDataError", "lblFeedLineInMarkMode"};
  q.disabledWidgets = {"grpComPort"};
  q.saveStoresDataBits = false;
  return q;
}

// Each write of a RW-K305GII Save on a serial port, with the pause that
// follows it (the receive buffer's comes before it).
DirectWriteOrder G2SerialOrder() {
  return {PortCOM,
          {{S::CommBaudRate, 0, 0},
           {S::CommFlowControl, 0, 0},
           {S::CommDataBits, 0, 0},
           {S::CommStopBits, 0, 200},
           {S::CommParity, 0, 200},
           {S::DefaultLeftMargin, 0, 200},
           {S::DefaultRightMargin, 0, 200},
           {S::PrintSpeed, 0, 0},
           {S::PaperJamLength, 0, 100},
           {S::PaperLooseLength, 0, 100},
           {S::PrintDarkness, 0, 200},
           {S::CRCommand, 0, 200},
           {S::PaperType, 0, 100},
           {S::CodePage, 0, 100},
           {S::RxBufferSize, 200, 0}},
          2000};
}

// The USB kinds write back to back; the USB device library's order puts the
// darkness ninth.
DirectWriteOrder G2UsbOrder(int kind, bool darknessNinth) {
  const std::vector<Setting> order =
      darknessNinth ? std::vector<Setting>{S::CommBaudRate,       S::CommFlowControl,  S::CommDataBits,
                                           S::CommStopBits,       S::CommParity,       S::DefaultLeftMargin,
                                           S::DefaultRightMargin, S::PrintSpeed,       S::PrintDarkness,
                                           S::PaperJamLength,     S::PaperLooseLength, S::CRCommand,
                                           S::PaperType,          S::CodePage,         S::RxBufferSize}
                    : AllInTableOrder(RWK305G2Settings());
  DirectWriteOrder out{kind, {}, 2500};
  for (Setting setting : order) out.writes.push_back({setting, 0, 0});
  return out;
}

EditRules G2Rules(bool save) {
  constexpr int kAny = std::numeric_limits<int>::max();
  const int marginMax = save ? 16 : 100;
  // Export converts the lengths but leaves their range to the file record.
  const int lengthMin = save ? 0 : std::numeric_limits<int>::min();
  const int lengthMax = save ? 256 : kAny;
  const EditCheckRow left{C::edtDefaultLeftMargin, 0, marginMax,
                          "The input of default left margin is invalid!", "“default left margin”非法输入！"};
  const EditCheckRow jam{C::EditLength1, lengthMin, lengthMax,
                         "The input of PaperJamDetectLength is invalid!", "“PaperJamDetectLength”非法输入！"};
  const EditCheckRow loose{C::EditLength2, lengthMin, lengthMax,
                           "The input of RollPaperLooseDetectLength is invalid!",
                           "“RollPaperLooseDetectLength”非法输入！"};
  const EditCheckRow right{C::edtDefaultRightMargin, 0, marginMax,
                           "The input of default right margin is invalid!",
                           "“default right margin”非法输入！"};
  const EditCheckRow speed{C::edtPrintSpeed, 25, 150, "The input of print speed is invalid!",
                           "“print speed”非法输入！"};
  const EditCheckRow darkness{C::edtPrintDarkness, 1, 254, "The input of print darkness is invalid!",
                              "“print darkness”非法输入！"};
  const char* const format = "The input of format is invalid!";
  if (save) return EditRules{{left, jam, loose, right, speed, darkness}, format, "非法输入！"};
  return EditRules{{left, right, speed, darkness, jam, loose}, format, "输入非法！"};
}

}  // namespace

const SecondSeriesProfile& RWK201EProfile() {
  static const SecondSeriesProfile p = [] {
    SecondSeriesProfile q = EModelBase(RWK201ESettings());
    q.modelCodes = {10};
    q.className = "TRWK201EEepromSetForm";
    q.tag = "RW-K201RX";
    return q;
  }();
  return p;
}

const SecondSeriesProfile& RWK305EProfile() {
  static const SecondSeriesProfile p = [] {
    SecondSeriesProfile q = EModelBase(RWK305ESettings());
    q.modelCodes = {9};
    q.className = "TRWK305EEepromSetForm";
    q.tag = "RW-K305RX";
    q.disabledWidgets = {"grpComPort", "rgBeeper", "rgCR"};
    return q;
  }();
  return p;
}

const SecondSeriesProfile& RWK305G2Profile() {
  static const SecondSeriesProfile p = [] {
    SecondSeriesProfile q = RWK201Base();
    q.modelCodes = {14};
    q.className = "TRWK305G2EepSetForm";
    q.caption = "RW-K305GII EepromSet";
    q.tag = "RW-K305XX";
    q.settings = &RWK305G2Settings();
    q.getOrder = AllInTableOrder(RWK305G2Settings());
    q.exportOrder = q.getOrder;
    q.controls = {C::cboBaudrate, C::cboFlowControl,       C::cboDataBits,           C::cboStopbits,
                  C::cboParity,   C::edtDefaultLeftMargin, C::edtDefaultRightMargin, C::edtPrintSpeed,
                  C::EditLength1, C::EditLength2,          C::edtPrintDarkness,      C::rgCR,
                  C::rgPaperType, C::cboCodePage,          C::rgBufferSize};
    q.hiddenWidgets = {};
    // The paper type follows Get and Import; the user cannot change it.
    q.disabledWidgets = {"rgPaperType"};
    q.codePageItems = {"PC437", "Katakana", "PC850", "PC860", "PC863",
                       "PC865", "PC852",    "PC858", "PC866", "WPC1252"};
    q.codePageStart = -1;
    q.savePlan = SavePlan::DirectWrites;
    q.directWrites = {G2SerialOrder(), G2UsbOrder(PortUSB, true), G2UsbOrder(PortUSBPrinter, false)};
    q.f1Help = false;
    q.centreOnScreen = true;
    q.saveChecks = G2Rules(true);
    q.exportChecks = G2Rules(false);
    return q;
  }();
  return p;
}

const std::vector<const SecondSeriesProfile*>& SecondSeriesProfiles() {
  static const std::vector<const SecondSeriesProfile*> all = {
      &RWK201Profile(),  &RWK305Profile(),  &K409Profile(),
      &RWK201EProfile(), &RWK305EProfile(), &RWK305G2Profile()};
  return all;
}

bool HasControl(const SecondSeriesProfile& profile, Control control) {
  return std::find(profile.controls.begin(), profile.controls.end(), control) != profile.controls.end();
}

const SettingRow* RowOf(const SecondSeriesProfile& profile, Setting setting) {
  for (const SettingRow& row : *profile.settings) {
    if (row.setting == setting) return &row;
  }
  return nullptr;
}

const std::vector<std::string>& ItemsOf(const SecondSeriesProfile& profile, Control control) {
  if (control == C::cboCodePage) return profile.codePageItems;
  return InfoOf(control).items;
}

std::string ItemText(const std::vector<std::string>& items, int index) {
  return index >= 0 && static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)] : std::string();
}

FormState StartState(const SecondSeriesProfile& profile) {
  FormState s;
  s[C::cboBaudrate].index = 2;  // "19200"
  s[C::cboFlowControl].index = 0;
  s[C::cboDataBits].index = 0;  // "8"
  s[C::cboStopbits].index = 0;  // "1"
  s[C::cboParity].index = 2;    // "None"
  // One-character texts are assigned as strings: GCC 12 at -O3 takes the
  // assignment from a one-character literal for an overlapping copy
  // (-Wrestrict, a false alarm).
  s[C::edtDefaultLeftMargin].text = std::string("2");
  s[C::edtDefaultRightMargin].text = std::string("2");
  s[C::edtPrintSpeed].text = "100";
  s[C::edtPrintDarkness].text = "68";
  s[C::FeedLine].text = std::string("0");
  s[C::chkStopPrintingOnPaperNearEnd].checked = false;
  s[C::chkAlarmOnPaperNearEnd].checked = true;
  s[C::rgAutoCutter].index = 0;  // "Enable"
  s[C::rgCR].index = 1;          // "Disable"
  s[C::rgPaperType].index = 0;   // "Receipt"
  s[C::rgBeeper].index = 0;      // "Enable"
  s[C::rgBufferSize].index = 0;  // "4096 Bytes"
  s[C::rgDataError].index = 0;   // "Print '?'"
  s[C::cboCodePage].index = IndexIn(profile.codePageItems.size(), profile.codePageStart);
  s[C::EditLength1].text = std::string("0");
  s[C::EditLength2].text = std::string("0");
  for (const ControlInfo& info : Controls()) {
    if (!HasControl(profile, info.control)) s[info.control] = ControlValue{};
  }
  return s;
}

int& HighBuf09(SwitchWordSlot slot) {
  static int kept[2] = {0, 0};
  return kept[static_cast<int>(slot) == 0 ? 0 : 1];
}

bool ApplyReply(const SettingRow& row, uint8_t lo, uint8_t hi, FormState& state, int& highBuf09,
                const SecondSeriesProfile&) {
  ControlValue& v = state[row.control];
  const ControlKind kind = InfoOf(row.control).kind;
  const int value = lo | (hi << 8);
  switch (row.codec) {
    case Codec::FlowControl: {
      // 01 00 (XON/XOFF) has no item: the list shows nothing, and Save then
      // writes 1 again.
      const int flow = SmallPair(lo, hi, 1);
      if (flow < 0) return false;
      v.index = flow == 0 ? 0 : -1;
      return true;
    }
    case Codec::Margin:
    case Codec::Word:
      v.text = std::to_string(value);
      return true;
    case Codec::Length:
      if (value > 256) return false;
      v.text = std::to_string(value);
      return true;
    case Codec::Speed:
      v.text = value >= 25 && value <= 150 ? std::to_string(value) : "-1";
      return true;
    case Codec::Darkness:
      if (value < 1 || value > 254) return false;
      v.text = std::to_string(value);
      return true;
    case Codec::Flag: {
      const int on = SmallPair(lo, hi, 1);
      if (on < 0) return false;
      SetFlag(v, kind, on == 1);
      return true;
    }
    case Codec::SwitchWordCutter:
      highBuf09 = hi;
      if (lo != 0) return false;
      v.index = (hi & 0x08) ? 1 : 0;
      return true;
    case Codec::PaperType: {
      const int type = SmallPair(lo, hi, 1);
      if (type < 0) return false;
      v.index = type;
      return true;
    }
    case Codec::DataError:
      if (lo == 0xFF && hi == 0xFF) {
        v.index = 0;
        return true;
      }
      if (SmallPair(lo, hi, 1) < 0) return false;
      v.index = lo;
      return true;
    case Codec::Common:
      return CommonApply(row, lo, hi, state, false);
  }
  return false;
}

std::optional<uint16_t> SetterValue(const SettingRow& row, const FormState& state, const EditValues& edits,
                                    int highBuf09, const SecondSeriesProfile& profile) {
  const ControlValue& v = state[row.control];
  const ControlKind kind = InfoOf(row.control).kind;
  const std::string text = ItemText(ItemsOf(profile, row.control), v.index);
  auto ranged = [](int n, int lo, int hi) -> std::optional<uint16_t> {
    if (n < lo || n > hi) return std::nullopt;
    return static_cast<uint16_t>(n);
  };
  switch (row.codec) {
    case Codec::FlowControl:
      return static_cast<uint16_t>(Lower(text) == "dtr/dsr" ? 0 : 1);
    case Codec::Margin:
      return ranged(edits.at(row.control), 0, 100);
    case Codec::Speed:
      return ranged(edits.at(row.control), 25, 150);
    case Codec::Darkness:
      return ranged(edits.at(row.control), 1, 254);
    case Codec::Word:
      return static_cast<uint16_t>(edits.at(row.control) & 0xFFFF);
    case Codec::Length:
      // What a file record can carry; Save's setter takes 0..256 of it
      // (BuildSaveCommands), Export writes a longer length unchanged.
      return ranged(edits.at(row.control), 0, 65535);
    case Codec::Flag:
      return static_cast<uint16_t>(FlagOf(v, kind) ? 1 : 0);
    case Codec::SwitchWordCutter: {
      const int keep = highBuf09 & 0xFF;
      const int high = text == "Enable" ? (keep & ~0x08) : (keep | 0x08);
      return static_cast<uint16_t>(high << 8);
    }
    case Codec::PaperType:
      return static_cast<uint16_t>(text == "Receipt" ? 0 : 1);
    case Codec::DataError:
      return static_cast<uint16_t>(v.index == 1 ? 1 : 0);
    case Codec::Common:
      return CommonValue(row, state);
  }
  return std::nullopt;
}

SaveCommands BuildSaveCommands(const FormState& state, const EditValues& edits, int highBuf09,
                               const SecondSeriesProfile& profile) {
  SaveCommands out;
  for (Setting setting : profile.getOrder) {
    const SettingRow* row = RowOf(profile, setting);
    if (!row) continue;
    auto value = SetterValue(*row, state, edits, highBuf09, profile);
    if (value && row->codec == Codec::Length && *value > 256) value.reset();
    if (!value) {
      out.commands.clear();
      out.refused = row;
      return out;
    }
    if (row->setting == Setting::CommDataBits) out.dataBits = *value;
    out.commands.emplace_back(row, *value);
  }
  return out;
}

std::vector<PlannedWrite> PlanDirectWrites(const SaveCommands& commands, const SecondSeriesProfile& profile,
                                           int portKind) {
  std::vector<PlannedWrite> out;
  if (profile.savePlan != SavePlan::DirectWrites || commands.refused) return out;
  for (const DirectWriteOrder& order : profile.directWrites) {
    if (order.portKind != portKind) continue;
    for (const DirectWrite& w : order.writes) {
      for (const auto& [row, value] : commands.commands) {
        if (row->setting == w.setting) out.push_back({row, value, w.pauseBeforeMs, w.pauseAfterMs});
      }
    }
  }
  return out;
}

int ResetWaitMs(const SecondSeriesProfile& profile, int portKind) {
  if (profile.savePlan == SavePlan::DirectWrites) {
    for (const DirectWriteOrder& order : profile.directWrites) {
      if (order.portKind == portKind) return order.resetWaitMs;
    }
  }
  return profile.resetWaitMs;
}

std::optional<Bytes> BuildExport(const FormState& state, const EditValues& edits, int highBuf09,
                                 const SecondSeriesProfile& profile) {
  SettingsFileWriter writer;
  for (Setting setting : profile.exportOrder) {
    const SettingRow* row = RowOf(profile, setting);
    if (!row) continue;
    const auto value = SetterValue(*row, state, edits, highBuf09, profile);
    if (!value || !writer.SaveSettingsToFile(row->fileKey, *value)) return std::nullopt;
  }
  return writer.Finish(profile.tag);
}

namespace {

const SettingRow* ImportRowOf(const SecondSeriesProfile& profile, uint8_t key) {
  for (Setting setting : profile.exportOrder) {
    const SettingRow* row = RowOf(profile, setting);
    if (row && row->fileKey == key) return row;
  }
  for (const auto& [extra, setting] : profile.extraImportKeys) {
    if (extra == key) return RowOf(profile, setting);
  }
  return nullptr;
}

}  // namespace

bool ApplyImportRecord(uint8_t key, uint8_t lo, uint8_t hi, FormState& state, const SecondSeriesProfile& profile) {
  const SettingRow* row = ImportRowOf(profile, key);
  if (!row) return false;
  ControlValue& v = state[row->control];
  const ControlKind kind = InfoOf(row->control).kind;
  const int value = lo | (hi << 8);
  switch (row->codec) {
    case Codec::FlowControl:
      // 01 00 selects item 1, which the one-item list does not have.
      if (SmallPair(lo, hi, 1) < 0) return false;
      v.index = IndexIn(ItemsOf(profile, row->control).size(), lo);
      return true;
    case Codec::Margin:
      if (value > 100) return false;
      v.text = std::to_string(value);
      return true;
    case Codec::Speed:
      if (value < 25 || value > 150) return false;
      v.text = std::to_string(value);
      return true;
    case Codec::Darkness:
      if (value < 1 || value > 254) return false;
      v.text = std::to_string(value);
      return true;
    case Codec::Word:
      v.text = std::to_string(value);
      return true;
    case Codec::Length:
      if (value > 256) return false;
      v.text = std::to_string(value);
      return true;
    case Codec::Flag:
      if (SmallPair(lo, hi, 1) < 0) return false;
      SetFlag(v, kind, lo == 1);
      return true;
    case Codec::SwitchWordCutter:
      if (lo != 0) return false;
      v.index = (hi & 0x08) ? 1 : 0;
      return true;
    case Codec::PaperType:
    case Codec::DataError:
      if (SmallPair(lo, hi, 1) < 0) return false;
      v.index = lo;
      return true;
    case Codec::Common:
      return CommonApply(*row, lo, hi, state, true);
  }
  return false;
}

long long ImportReadLimit(const SecondSeriesProfile& profile) {
  return MaxFileBytes(FileReadProfile{profile.tag, profile.importCapacity});
}

ImportOutcome ImportFile(const uint8_t* data, size_t size, FormState& state, const SecondSeriesProfile& profile) {
  const FileReadProfile readProfile{profile.tag, profile.importCapacity};
  const FileSizeCheck check = CheckFileSize(static_cast<long long>(size), readProfile);
  if (check.oddSize || check.tooManyRecords) return ImportOutcome::NotNormal;
  const FileReadResult read = ReadSettingsFile(data, size, readProfile);
  if (read.refusedTooLarge || !read.tagMatches) return ImportOutcome::NotNormal;
  bool faulty = read.shortRecord;
  FormState next = state;
  for (const auto& slot : read.records) {
    if (!slot || !slot->isBank1() || !ApplyImportRecord(slot->address(), slot->lo(), slot->hi(), next, profile)) {
      faulty = true;
    }
  }
  state = next;
  return faulty ? ImportOutcome::Faulty : ImportOutcome::Applied;
}

}  // namespace torva::settings::second
