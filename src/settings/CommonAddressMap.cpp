#include "settings/CommonAddressMap.h"

#include <algorithm>
#include <cctype>
#include <climits>

namespace torva::settings {

using S = CommonSetting;

const std::vector<CommonSettingInfo>& CommonSettings() {
  static const std::vector<CommonSettingInfo> rows = {
      {S::BaudRate, 0x16, " COM's baud rate,", " COM's baud rate,", true},
      {S::FlowControl, 0x41, " COM's flow control,", " COM's flow control,", true},
      {S::DataBits, 0x17, " COM's databits,", " COM's databits,", true},
      {S::StopBits, 0x19, " COM's stopBits,", " COM's stopbits,", true},
      {S::Parity, 0x1B, " COM's parity,", " COM's parity,", true},
      {S::PrintSpeed, 0x06, " print speed,", " print speed,", true},
      {S::PrintDarkness, 0x02, " print darkness,", " print darkness,", true},
      {S::PaperType, 0x12, " paper type flag,", " paper type flag,", true},
      {S::StopOnNearEnd, 0x43, " stop printing on paper near-end flag,", " stop printing on paper near-end flag,", true},
      {S::AlarmOnNearEnd, 0x54, " alarm on paper near-end flag,", " alarm on paper near-end flag,", true},
      {S::AutoCutter, 0x30, " auto cutter flag,", " auto cutter flag,", true},
      {S::CRCommand, 0x14, " CR command flag,", " CR command flag,", true},
      {S::Beeper, 0x59, " beeper flag,", " beeper flag,", true},
      {S::PresenterEnable, 0x3E, " bPresenterEnable flag,", nullptr, true},
      {S::PaperOutMode, 0x60, " PaperOutMode,", nullptr, false},
      {S::FeedLineInMark, 0x2B, " FeedLineInMark flag,", nullptr, false},
      {S::PresenterWaitTime, 0x3C, " EcReadPaperNearEndEnable flag,", nullptr, false},
      {S::AutoLoadingTime, 0x78, " AutoLoadingTime flag,", nullptr, false},
      {S::AutoLoadingSpeed, 0x52, " AutoLoadingSpeed flag,", nullptr, false},
  };
  return rows;
}

const CommonSettingInfo& InfoOf(CommonSetting setting) { return CommonSettings()[static_cast<int>(setting) - 1]; }

namespace {

std::vector<CommonSetting> GetOrder() {
  std::vector<CommonSetting> order;
  for (int i = 1; i <= 11; ++i) order.push_back(static_cast<S>(i));
  order.push_back(S::Beeper);
  order.push_back(S::CRCommand);
  for (int i = 14; i <= 19; ++i) order.push_back(static_cast<S>(i));
  return order;
}

std::vector<CommonSetting> ExportOrder() {
  std::vector<CommonSetting> order;
  for (int i = 1; i <= 13; ++i) order.push_back(static_cast<S>(i));
  for (S s : {S::FeedLineInMark, S::PresenterEnable, S::PaperOutMode, S::PresenterWaitTime, S::AutoLoadingTime,
              S::AutoLoadingSpeed})
    order.push_back(s);
  return order;
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// A list index that the list may not have: past its end the box shows nothing.
int IndexIn(size_t itemCount, int index) { return index >= 0 && static_cast<size_t>(index) < itemCount ? index : -1; }

// The baud code of a rate, as the printer stores it; -1 for another rate.
int BaudCode(const std::string& rate) {
  static const std::pair<const char*, int> codes[] = {{"9600", 0},   {"19200", 1}, {"38400", 2}, {"57600", 3},
                                                      {"4800", 4},   {"2400", 5},  {"1200", 6},  {"115200", 7}};
  for (const auto& [text, code] : codes) {
    if (rate == text) return code;
  }
  return -1;
}

// The list position of a stored baud code: 4800 9600 19200 38400 57600 115200.
int BaudIndexOfCode(int code) {
  switch (code) {
    case 4: return 0;
    case 0: return 1;
    case 1: return 2;
    case 2: return 3;
    case 3: return 4;
    case 7: return 5;
    default: return -1;
  }
}

// A pair (0,0) / (1,0) / ... up to maxValue with hi 0: its value, else -1.
int SmallPair(uint8_t lo, uint8_t hi, int maxValue) { return hi == 0 && lo <= maxValue ? lo : -1; }

}  // namespace

const CommonAddressProfile& M512IIProfile() {
  static const CommonAddressProfile p{2, "TM512IIEepromSetForm", "M512II EepromSet", "MS Sans Serif", "VD-M512II",
                                      true, GetOrder(), ExportOrder(), 25};
  return p;
}

const CommonAddressProfile& M512Profile() {
  static const CommonAddressProfile p{1, "TM512EepromSetForm", "M512 EepromSet", "Tahoma", "VD-M512ab",
                                      false, GetOrder(), ExportOrder(), 25};
  return p;
}

std::vector<std::string> BaudItems(const CommonAddressProfile& profile) {
  std::vector<std::string> items{"4800", "9600", "19200", "38400", "57600"};
  if (profile.baud115200) items.push_back("115200");
  return items;
}
const std::vector<std::string> kDataBitsItems{"8", "7"};
const std::vector<std::string> kStopBitsItems{"1", "2"};
const std::vector<std::string> kParityItems{"Even", "Odd", "None"};
const std::vector<std::string> kFlowItems{"DTR/DSR"};
const std::vector<std::string> kPaperTypeItems{"Receipt", "Mark/Label"};
const std::vector<std::string> kEnableDisableItems{"Enable", "Disable"};
const std::vector<std::string> kOnOffItems{"On", "Off"};
const std::vector<std::string> kPaperOutItems{"Retract", "Paper Forward", "Paper Hold"};

std::string ItemText(const std::vector<std::string>& items, int index) {
  return index >= 0 && static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)] : std::string();
}

bool ApplyReply(CommonSetting setting, uint8_t lo, uint8_t hi, EditorState& st, const CommonAddressProfile& profile) {
  const int value = lo | (hi << 8);
  switch (setting) {
    case S::BaudRate: {
      const int index = hi == 0 ? BaudIndexOfCode(lo) : -1;
      if (index < 0) return false;
      st.baud = IndexIn(BaudItems(profile).size(), index);
      return true;
    }
    case S::FlowControl: {
      const int v = SmallPair(lo, hi, 1);
      if (v < 0) return false;
      st.flow = IndexIn(kFlowItems.size(), v);
      return true;
    }
    case S::DataBits:
      if (lo == 8 || lo == 0xFF) st.dataBits = 0;
      else if (lo == 7) st.dataBits = 1;
      else return false;
      return true;
    case S::StopBits:
      if (lo == 1) st.stopBits = 0;
      else if (lo == 2 || lo == 0xFF) st.stopBits = 1;
      else return false;
      return true;
    case S::Parity:
      if (lo == 0) st.parity = 2;
      else if (lo == 1) st.parity = 1;
      else if (lo == 2 || lo == 0xFF) st.parity = 0;
      else return false;
      return true;
    case S::PrintSpeed:
      st.speed = value >= 25 && value <= 150 ? std::to_string(value) : "-1";
      return true;
    case S::PrintDarkness:
      if (value < 1 || value > 254) return false;
      st.darkness = std::to_string(value);
      return true;
    case S::PaperType: {
      const int v = SmallPair(lo, hi, 1);
      if (v < 0) return false;
      st.paperType = v;
      return true;
    }
    case S::StopOnNearEnd:
    case S::AlarmOnNearEnd: {
      const int v = SmallPair(lo, hi, 1);
      if (v < 0) return false;
      (setting == S::StopOnNearEnd ? st.stopOnNearEnd : st.alarmOnNearEnd) = v == 1;
      return true;
    }
    case S::AutoCutter:
    case S::CRCommand:
    case S::Beeper:
    case S::PresenterEnable: {
      // (1,0) is the first item ("On" / "Enable"), (0,0) the second.
      const int v = SmallPair(lo, hi, 1);
      if (v < 0) return false;
      const int index = v == 1 ? 0 : 1;
      if (setting == S::AutoCutter) st.autoCutter = index;
      else if (setting == S::CRCommand) st.cr = index;
      else if (setting == S::Beeper) st.beeper = index;
      else st.presenter = index;
      return true;
    }
    case S::PaperOutMode: {
      const int v = SmallPair(lo, hi, 2);
      if (v < 0) return false;
      st.paperOutMode = v;
      return true;
    }
    case S::FeedLineInMark: st.feedLine = std::to_string(value); return true;
    case S::PresenterWaitTime: st.waitTime = std::to_string(value); return true;
    case S::AutoLoadingTime: st.autoTime = std::to_string(value); return true;
    case S::AutoLoadingSpeed: st.autoSpeed = std::to_string(value); return true;
  }
  return false;
}

bool ApplyImportRecord(uint8_t address, uint8_t lo, uint8_t hi, EditorState& st, const CommonAddressProfile& profile) {
  const int value = lo | (hi << 8);
  switch (address) {
    case 0x16: {
      const int index = BaudIndexOfCode(value);
      if (index < 0) return false;
      st.baud = IndexIn(BaudItems(profile).size(), index);
      return true;
    }
    case 0x17:
      if (hi != 0 || (lo != 8 && lo != 7)) return false;
      st.dataBits = lo == 8 ? 0 : 1;
      return true;
    case 0x19:
      if (hi != 0 || (lo != 1 && lo != 2)) return false;
      st.stopBits = lo - 1;
      return true;
    case 0x1B: {
      const int v = SmallPair(lo, hi, 2);
      if (v < 0) return false;
      st.parity = 2 - v;  // None Odd Even -> items 2 1 0
      return true;
    }
    case 0x06:
      if (value < 25 || value > 150) return false;
      st.speed = std::to_string(value);
      return true;
    case 0x02:
      if (value < 1 || value > 254) return false;
      st.darkness = std::to_string(value);
      return true;
    case 0x66:
      // The paper width of other models of the family: accepted, not shown.
      return hi == 0 && lo <= 80;
    default:
      break;
  }
  // Every other known address accepts exactly what Get accepts.
  for (const auto& info : CommonSettings()) {
    if (info.address != address) continue;
    switch (info.setting) {
      case S::FlowControl:
      case S::PaperType:
      case S::StopOnNearEnd:
      case S::AlarmOnNearEnd:
      case S::AutoCutter:
      case S::CRCommand:
      case S::Beeper:
      case S::PresenterEnable:
      case S::PaperOutMode:
      case S::FeedLineInMark:
      case S::PresenterWaitTime:
      case S::AutoLoadingTime:
      case S::AutoLoadingSpeed:
        return ApplyReply(info.setting, lo, hi, st, profile);
      default:
        return false;
    }
  }
  return false;
}


EditCheck CheckEdits(const EditorState& st) {
  EditCheck check;
  const auto speed = ParseInt32(st.speed);
  const auto darkness = ParseInt32(st.darkness);
  const auto feedLine = ParseInt32(st.feedLine);
  const auto waitTime = ParseInt32(st.waitTime);
  const auto autoTime = ParseInt32(st.autoTime);
  const auto autoSpeed = ParseInt32(st.autoSpeed);
  if (!speed || !darkness || !feedLine || !waitTime || !autoTime || !autoSpeed) {
    check.formatError = true;
    return check;
  }
  EditValues v;
  v.speed = *speed;
  v.darkness = *darkness;
  // These three are 16-bit values: the entered integer modulo 65536.
  v.feedLine = static_cast<uint16_t>(static_cast<uint32_t>(*feedLine));
  v.waitTime = *waitTime;
  v.autoTime = static_cast<uint16_t>(static_cast<uint32_t>(*autoTime));
  v.autoSpeed = static_cast<uint16_t>(static_cast<uint32_t>(*autoSpeed));
  auto fail = [&](const char* en, const char* cn) {
    check.english = en;
    check.chinese = cn;
    return check;
  };
  if (v.speed < 25 || v.speed > 150) return fail("The input of print speed is invalid!", "“print speed”非法输入！");
  if (v.darkness < 1 || v.darkness > 254)
    return fail("The input of print darkness is invalid!", "“print darkness”非法输入！");
  if (v.feedLine < 19)
    return fail("The input of feed line in mark mode is invalid!", "“feed line in mark mode”非法输入！");
  if (v.waitTime < 0 || v.waitTime > 240)
    return fail("The input of Presenter wait time is invalid!", "“Presenter wait time”非法输入！");
  if (v.autoTime > 800) return fail("The input of auto loading time is invalid!", "“auto loading time”非法输入！");
  if (v.autoSpeed < 28 || v.autoSpeed > 125)
    return fail("The input of auto loading speed is invalid!", "“auto loading speed”非法输入！");
  check.values = v;
  return check;
}

std::optional<uint16_t> WrittenValue(CommonSetting setting, const EditorState& st, const EditValues& ed,
                                     const CommonAddressProfile& profile) {
  switch (setting) {
    case S::BaudRate: {
      const int code = BaudCode(ItemText(BaudItems(profile), st.baud));
      if (code < 0) return std::nullopt;
      return static_cast<uint16_t>(code);
    }
    case S::FlowControl: return Lower(ItemText(kFlowItems, st.flow)) == "dtr/dsr" ? 0 : 1;
    case S::DataBits: return ItemText(kDataBitsItems, st.dataBits) == "8" ? 8 : 7;
    case S::StopBits: return ItemText(kStopBitsItems, st.stopBits) == "1" ? 1 : 2;
    case S::Parity: {
      const std::string p = Lower(ItemText(kParityItems, st.parity));
      if (p == "none") return 0;
      if (p == "odd") return 1;
      if (p == "even") return 2;
      return std::nullopt;
    }
    case S::PrintSpeed:
      if (ed.speed < 25 || ed.speed > 150) return std::nullopt;
      return static_cast<uint16_t>(ed.speed);
    case S::PrintDarkness:
      if (ed.darkness < 1 || ed.darkness > 254) return std::nullopt;
      return static_cast<uint16_t>(ed.darkness);
    case S::PaperType: return st.paperType == 1 ? 1 : 0;
    case S::StopOnNearEnd: return st.stopOnNearEnd ? 1 : 0;
    case S::AlarmOnNearEnd: return st.alarmOnNearEnd ? 1 : 0;
    case S::AutoCutter: return st.autoCutter == 0 ? 1 : 0;
    case S::CRCommand: return st.cr == 0 ? 1 : 0;
    case S::Beeper: return st.beeper == 0 ? 1 : 0;
    case S::PresenterEnable: return st.presenter == 1 ? 0 : 1;
    case S::PaperOutMode: return st.paperOutMode == 0 ? 0 : st.paperOutMode == 1 ? 1 : 2;
    case S::FeedLineInMark: return ed.feedLine;
    case S::PresenterWaitTime: return static_cast<uint16_t>(ed.waitTime);
    case S::AutoLoadingTime: return ed.autoTime;
    case S::AutoLoadingSpeed: return ed.autoSpeed;
  }
  return std::nullopt;
}


std::optional<Bytes> BuildExport(const EditorState& st, const EditValues& ed, const CommonAddressProfile& profile) {
  SettingsFileWriter writer;
  for (CommonSetting s : profile.exportOrder) {
    const auto value = WrittenValue(s, st, ed, profile);
    if (!value || !writer.SaveSettingsToFile(InfoOf(s).address, *value)) return std::nullopt;
  }
  return writer.Finish(profile.tag);
}

}  // namespace torva::settings
