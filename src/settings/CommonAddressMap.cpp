#include "settings/CommonAddressMap.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>

#include "settings/ReplyFields.h"

namespace torva::settings {

using S = CommonSetting;

namespace {

int Value(uint8_t lo, uint8_t hi) { return lo | (hi << 8); }

using State = EditorState;
using Profile = CommonAddressProfile;
using Written = std::optional<uint16_t>;

// --- serial parameters

bool GetBaud(uint8_t lo, uint8_t hi, State& st, const Profile& p) {
  const int index = hi == 0 ? BaudIndexOfCode(lo) : -1;
  if (index < 0) return false;
  st.baud = IndexIn(BaudItems(p).size(), index);
  return true;
}
// 2400 shows as "9600", 1200 as "4800".
bool GetBaudSlowRatesShown(uint8_t lo, uint8_t hi, State& st, const Profile& p) {
  if (hi == 0 && lo == 5) {
    st.baud = IndexIn(BaudItems(p).size(), 1);
    return true;
  }
  if (hi == 0 && lo == 6) {
    st.baud = IndexIn(BaudItems(p).size(), 0);
    return true;
  }
  return GetBaud(lo, hi, st, p);
}
bool ImportBaud(uint8_t lo, uint8_t hi, State& st, const Profile& p) {
  const int index = BaudIndexOfCode(Value(lo, hi));
  if (index < 0) return false;
  st.baud = IndexIn(BaudItems(p).size(), index);
  return true;
}
Written PutBaud(const State& st, const EditValues&, const Profile& p) {
  const int code = BaudCode(ItemText(BaudItems(p), st.baud));
  if (code < 0) return std::nullopt;
  return static_cast<uint16_t>(code);
}

// (1,0), XON/XOFF, is item 1, which the one-item list lacks: the box shows
// nothing, and Save and Export write 1 again, so a Get then Save keeps it.
bool GetFlow(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.flow = IndexIn(kFlowItems.size(), v);
  return true;
}
Written PutFlow(const State& st, const EditValues&, const Profile&) {
  return Lower(ItemText(kFlowItems, st.flow)) == "dtr/dsr" ? 0 : 1;
}

bool GetDataBits(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo == 8 || lo == 0xFF) st.dataBits = 0;
  else if (lo == 7) st.dataBits = 1;
  else return false;
  return true;
}
bool ImportDataBits(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (hi != 0 || (lo != 8 && lo != 7)) return false;
  st.dataBits = lo == 8 ? 0 : 1;
  return true;
}
Written PutDataBits(const State& st, const EditValues&, const Profile&) {
  return ItemText(kDataBitsItems, st.dataBits) == "8" ? 8 : 7;
}

bool GetStopBits(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo == 1) st.stopBits = 0;
  else if (lo == 2 || lo == 0xFF) st.stopBits = 1;
  else return false;
  return true;
}
bool ImportStopBits(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (hi != 0 || (lo != 1 && lo != 2)) return false;
  st.stopBits = lo - 1;
  return true;
}
Written PutStopBits(const State& st, const EditValues&, const Profile&) {
  return ItemText(kStopBitsItems, st.stopBits) == "1" ? 1 : 2;
}

bool GetParity(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo == 0) st.parity = 2;
  else if (lo == 1) st.parity = 1;
  else if (lo == 2 || lo == 0xFF) st.parity = 0;
  else return false;
  return true;
}
bool ImportParity(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 2);
  if (v < 0) return false;
  st.parity = 2 - v;  // None Odd Even -> items 2 1 0
  return true;
}
Written PutParity(const State& st, const EditValues&, const Profile&) {
  const std::string p = Lower(ItemText(kParityItems, st.parity));
  if (p == "none") return 0;
  if (p == "odd") return 1;
  if (p == "even") return 2;
  return std::nullopt;
}

// --- print

bool GetSpeed(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  st.speed = value >= 25 && value <= 150 ? std::to_string(value) : "-1";
  return true;
}
bool ImportSpeed(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  if (value < 25 || value > 150) return false;
  st.speed = std::to_string(value);
  return true;
}
Written PutSpeed(const State&, const EditValues& ed, const Profile&) {
  if (ed.speed < 25 || ed.speed > 150) return std::nullopt;
  return static_cast<uint16_t>(ed.speed);
}

bool GetDarkness(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  if (value < 1 || value > 254) return false;
  st.darkness = std::to_string(value);
  return true;
}
Written PutDarkness(const State&, const EditValues& ed, const Profile&) {
  if (ed.darkness < 1 || ed.darkness > 254) return std::nullopt;
  return static_cast<uint16_t>(ed.darkness);
}

bool GetPaperType(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.paperType = v;
  return true;
}
Written PutPaperType(const State& st, const EditValues&, const Profile&) { return st.paperType == 1 ? 1 : 0; }

// Check boxes: (1,0) ticks, (0,0) clears.
template <bool EditorState::*Field>
bool GetTick(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.*Field = v == 1;
  return true;
}
template <bool EditorState::*Field>
Written PutTick(const State& st, const EditValues&, const Profile&) {
  return st.*Field ? 1 : 0;
}

// Two-item radio groups whose first item is "On" / "Enable": (1,0) is the
// first item, (0,0) the second.
template <int EditorState::*Field>
bool GetFirstIsOne(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.*Field = v == 1 ? 0 : 1;
  return true;
}
template <int EditorState::*Field>
Written PutFirstIsOne(const State& st, const EditValues&, const Profile&) {
  return st.*Field == 0 ? 1 : 0;
}
// The presenter writes 0 only for "Disable".
Written PutPresenter(const State& st, const EditValues&, const Profile&) { return st.presenter == 1 ? 0 : 1; }

bool GetPaperOut(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 2);
  if (v < 0) return false;
  st.paperOutMode = v;
  return true;
}
Written PutPaperOut(const State& st, const EditValues&, const Profile&) {
  return st.paperOutMode == 0 ? 0 : st.paperOutMode == 1 ? 1 : 2;
}

// Edits that show any 16-bit value.
template <std::string EditorState::*Field>
bool GetNumber(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  st.*Field = std::to_string(Value(lo, hi));
  return true;
}
Written PutFeedLine(const State&, const EditValues& ed, const Profile&) { return ed.feedLine; }
Written PutWaitTime(const State&, const EditValues& ed, const Profile&) { return static_cast<uint16_t>(ed.waitTime); }
Written PutAutoTime(const State&, const EditValues& ed, const Profile&) { return ed.autoTime; }
Written PutAutoSpeed(const State&, const EditValues& ed, const Profile&) { return ed.autoSpeed; }

// The paper width of other models: accepted up to 80, not shown, never written.
bool ImportPaperWidth(uint8_t lo, uint8_t hi, State&, const Profile&) { return hi == 0 && lo <= 80; }
Written NotWritten(const State&, const EditValues&, const Profile&) { return std::nullopt; }

// --- LED

bool GetLEDMode(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (lo == 0xFF || (lo == 0 && hi == 0)) st.ledMode = 0;
  else if (lo == 1 && hi == 0) st.ledMode = 1;
  else return false;
  return true;
}
bool ImportLEDMode(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.ledMode = v;
  return true;
}
Written PutLEDMode(const State& st, const EditValues&, const Profile&) { return st.ledMode == 0 ? 0 : 1; }

bool GetLEDTime(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  st.lightTime = std::to_string(lo);
  st.extinctTime = std::to_string(hi);
  return true;
}
bool GetLightTime(uint8_t lo, uint8_t, State& st, const Profile&) {
  st.lightTime = std::to_string(lo);
  return true;
}
bool GetExtinctTime(uint8_t, uint8_t hi, State& st, const Profile&) {
  st.extinctTime = std::to_string(hi);
  return true;
}
Written PutLEDTime(const State&, const EditValues& ed, const Profile&) {
  if (ed.lightTime < 0 || ed.lightTime > 255 || ed.extinctTime < 0 || ed.extinctTime > 255) return std::nullopt;
  return static_cast<uint16_t>(ed.extinctTime * 256 + ed.lightTime);
}

// --- margins, code page, receive buffer, automatic presenting, bundler

template <std::string EditorState::*Field>
bool ImportMargin(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  if (value > 100) return false;
  st.*Field = std::to_string(value);
  return true;
}
Written PutLeftMargin(const State&, const EditValues& ed, const Profile&) {
  if (ed.leftMargin < 0 || ed.leftMargin > 100) return std::nullopt;
  return static_cast<uint16_t>(ed.leftMargin);
}
Written PutRightMargin(const State&, const EditValues& ed, const Profile&) {
  if (ed.rightMargin < 0 || ed.rightMargin > 100) return std::nullopt;
  return static_cast<uint16_t>(ed.rightMargin);
}

// A code page the list has selects it; FF FF (never written) is "PC437";
// anything else keeps the selection and the read succeeds.
bool GetCodePage(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (hi == 0 && lo <= 9) st.codePage = lo;
  else if (lo == 0xFF && hi == 0xFF) st.codePage = 0;
  return true;
}
bool ImportCodePage(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (hi != 0 || lo > 9) return false;
  st.codePage = lo;
  return true;
}
Written PutCodePage(const State& st, const EditValues&, const Profile&) {
  if (st.codePage < 0 || st.codePage > 9) return std::nullopt;
  return static_cast<uint16_t>(st.codePage);
}

bool GetRxBuffer(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if ((lo == 0 && hi == 0) || (lo == 0xFF && hi == 0xFF)) st.rxBuffer = 0;
  else if (lo == 1 && hi == 0) st.rxBuffer = 1;
  else return false;
  return true;
}
bool ImportRxBuffer(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.rxBuffer = v;
  return true;
}
Written PutRxBuffer(const State& st, const EditValues&, const Profile&) { return st.rxBuffer == 1 ? 1 : 0; }

// (1,0) is "Enable"; every other reply reads as "Disable".
bool GetAutoPresent(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  st.autoPresent = lo == 1 && hi == 0 ? 0 : 1;
  return true;
}

// The bundler's enable: 2 for enabled.
bool GetBundlerEnable(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (lo == 2 && hi == 0) st.presenter = 0;
  else if (lo == 0 && hi == 0) st.presenter = 1;
  else return false;
  return true;
}
Written PutBundlerEnable(const State& st, const EditValues&, const Profile&) { return st.presenter == 1 ? 0 : 2; }

// The bundler's work mode: "Retraction" 0, "Keep Paper" 2, "Command Control"
// 4; a printer answering 1 or 3 keeps the dialog's selection.
bool GetBundlerWorkMode(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (hi != 0) return false;
  switch (lo) {
    case 0: st.paperOutMode = 0; return true;
    case 2: st.paperOutMode = 1; return true;
    case 4: st.paperOutMode = 2; return true;
    case 1:
    case 3: return true;
    default: return false;
  }
}
bool ImportBundlerWorkMode(uint8_t lo, uint8_t hi, State& st, const Profile& p) {
  if (hi != 0 || (lo != 0 && lo != 2 && lo != 4)) return false;
  return GetBundlerWorkMode(lo, hi, st, p);
}
Written PutBundlerWorkMode(const State& st, const EditValues&, const Profile&) {
  return st.paperOutMode == 1 ? 2 : st.paperOutMode == 2 ? 4 : 0;
}

// --- VD-K773

SwitchWordBytes g_switchWord;

// Its code pages: items 0..9 are stored as their index, the four after them
// as 17, 34, 36 and 53.
constexpr int kK773CodePageValues[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 17, 34, 36, 53};
int K773CodePageIndex(int value) {
  for (int i = 0; i < static_cast<int>(std::size(kK773CodePageValues)); ++i) {
    if (kK773CodePageValues[i] == value) return i;
  }
  return -1;
}

// A list item chosen by the low byte alone (hi ignored), up to maxValue.
template <int EditorState::*Field, int MaxValue>
bool GetLowIndex(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo > MaxValue) return false;
  st.*Field = lo;
  return true;
}
// A list item chosen by (index, 0) up to maxValue.
template <int EditorState::*Field, int MaxValue>
bool GetPairIndex(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, MaxValue);
  if (v < 0) return false;
  st.*Field = v;
  return true;
}
// The item index itself, refused outside 0..maxValue (no selection too).
template <int EditorState::*Field, int MaxValue>
Written PutIndex(const State& st, const EditValues&, const Profile&) {
  if (st.*Field < 0 || st.*Field > MaxValue) return std::nullopt;
  return static_cast<uint16_t>(st.*Field);
}

// The codes of the other editors' files: 2400 and 1200 read as 9600 and 4800.
bool ImportBaudSlowRates(uint8_t lo, uint8_t hi, State& st, const Profile& p) {
  const int code = Value(lo, hi);
  const int index = code == 5 ? 1 : code == 6 ? 0 : BaudIndexOfCode(code);
  if (index < 0) return false;
  st.baud = IndexIn(BaudItems(p).size(), index);
  return true;
}

// "DTR/DSR" (0,0), "xon/xoff" (1,0), anything else "None".
bool GetFlowThree(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  st.flow = v < 0 ? 2 : v;
  return true;
}
bool ImportFlowThree(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.flow = v;
  return true;
}

bool GetFeedLineK773(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  if (value == 0xFFFF) return false;
  st.feedLine = std::to_string(value);
  return true;
}
bool ImportFeedLineK773(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  if (value < 1 || value > 0xFFFD) return false;
  st.feedLine = std::to_string(value);
  return true;
}

// Data and stop bits of a file: the low byte alone.
bool ImportDataBitsLow(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo != 8 && lo != 7) return false;
  st.dataBits = lo == 8 ? 0 : 1;
  return true;
}
bool ImportStopBitsLow(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo != 1 && lo != 2) return false;
  st.stopBits = lo - 1;
  return true;
}
// "None" 0, "Odd" 1, "Even" 2, anything else 0.
Written PutParityNoneFirst(const State& st, const EditValues& ed, const Profile& p) {
  return PutParity(st, ed, p).value_or(0);
}

bool GetSpeedK773(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  st.speed = value >= 25 && value <= 255 ? std::to_string(value) : "-1";
  return true;
}
// The setter sends one byte: speeds above 255 are refused.
Written PutSpeedK773(const State&, const EditValues& ed, const Profile&) {
  if (ed.speed < 25 || ed.speed > 255) return std::nullopt;
  return static_cast<uint16_t>(ed.speed);
}
bool ImportSpeedFile(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int value = Value(lo, hi);
  if (value < 50 || value > 350) return false;
  st.speed = std::to_string(value);
  return true;
}
Written PutSpeedFile(const State&, const EditValues& ed, const Profile&) {
  if (ed.speed < 50 || ed.speed > 350) return std::nullopt;
  return static_cast<uint16_t>(ed.speed);
}

// Two print heads: lo head 1, hi head 2 (00: as head 1).
bool GetTwoHeads(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (lo == 0 || lo == 0xFF || hi == 0xFF) return false;
  st.darkness = std::to_string(lo);
  st.head2 = std::to_string(hi == 0 ? lo : hi);
  return true;
}
Written PutTwoHeads(const State&, const EditValues& ed, const Profile&) {
  if (ed.darkness < 1 || ed.darkness > 254 || ed.head2 < 1 || ed.head2 > 254) return std::nullopt;
  return static_cast<uint16_t>(ed.head2 * 256 + ed.darkness);
}
bool ImportTwoHeads(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (lo < 50 || lo > 254 || (hi != 0 && hi < 50) || hi > 254) return false;
  st.darkness = std::to_string(lo);
  st.head2 = std::to_string(hi == 0 ? lo : hi);
  return true;
}
Written PutTwoHeadsFile(const State&, const EditValues& ed, const Profile&) {
  const int head2 = ed.head2 == 0 ? ed.darkness : ed.head2;
  if (ed.darkness < 1 || ed.darkness > 254 || head2 < 1 || head2 > 254) return std::nullopt;
  return static_cast<uint16_t>(head2 * 256 + ed.darkness);
}

// Beeper: "Disable" 0, "Enable" 1 in the low byte. A file's record with a
// high byte other than 0 is ignored.
bool ImportBeeperEnable(uint8_t lo, uint8_t hi, State& st, const Profile& p) {
  if (hi != 0) return true;
  return GetLowIndex<&State::beeperEnable, 1>(lo, hi, st, p);
}

// International character set: the low byte is the item; FF is no set.
bool GetIntlChar(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo == 0xFF) return false;
  st.intlChar = IndexIn(kIntlCharItems.size(), lo);
  return true;
}
Written PutIntlChar(const State& st, const EditValues&, const Profile&) {
  if (st.intlChar < 0 || st.intlChar > 254) return std::nullopt;
  return static_cast<uint16_t>(st.intlChar);
}

// Code page: a value of the list selects its item; hi 00 with another value
// up to 35 keeps the selection, above 35 selects "PC437", as does FF FF; any
// other hi clears the selection. Never fails.
bool GetK773CodePage(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (lo == 0xFF && hi == 0xFF) {
    st.codePage = 0;
  } else if (hi != 0) {
    st.codePage = -1;
  } else if (const int index = K773CodePageIndex(lo); index >= 0) {
    st.codePage = index;
  } else if (lo > 0x35) {
    st.codePage = 0;
  }
  return true;
}
// A file's code page: the low byte alone; an unknown value keeps the selection.
bool ImportK773CodePage(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo == 0xFF) return false;
  if (const int index = K773CodePageIndex(lo); index >= 0) st.codePage = index;
  return true;
}
Written PutK773CodePage(const State& st, const EditValues&, const Profile&) {
  if (st.codePage < 0 || st.codePage >= static_cast<int>(std::size(kK773CodePageValues))) return std::nullopt;
  return static_cast<uint16_t>(kK773CodePageValues[st.codePage]);
}

// Presenter wait time: the low byte.
bool GetWaitTimeLow(uint8_t lo, uint8_t, State& st, const Profile&) {
  st.waitTime = std::to_string(lo);
  return true;
}
bool ImportAutoSpeedLow(uint8_t lo, uint8_t, State& st, const Profile&) {
  st.autoSpeed = std::to_string(lo);
  return true;
}

// Printing surface: "Front" (1,0), "Back" (0,0).
bool GetPrintingSurface(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  const int v = SmallPair(lo, hi, 1);
  if (v < 0) return false;
  st.printingSurface = v == 1 ? 0 : 1;
  return true;
}
Written PutPrintingSurface(const State& st, const EditValues&, const Profile&) {
  if (st.printingSurface < 0 || st.printingSurface > 1) return std::nullopt;
  return st.printingSurface == 0 ? 1 : 0;
}

// Printer mode: lo 00 "Printer Mode 1", any other "Printer Mode 2".
bool GetPrinterMode(uint8_t lo, uint8_t, State& st, const Profile&) {
  st.printerMode = lo == 0 ? 0 : 1;
  return true;
}

// Data error: bit 1 of the SwitchWord's high byte; the whole word is kept.
constexpr uint8_t kDataErrorBit = 0x02;
bool GetDataError(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  g_switchWord = {lo, hi};
  st.comDataError = (hi & kDataErrorBit) ? 1 : 0;
  return true;
}
bool ImportDataError(uint8_t, uint8_t hi, State& st, const Profile&) {
  st.comDataError = (hi & kDataErrorBit) ? 1 : 0;
  return true;
}
Written PutDataError(const State& st, const EditValues&, const Profile&) {
  if (st.comDataError < 0 || st.comDataError > 1) return std::nullopt;
  uint8_t hi = g_switchWord.HightByteData & static_cast<uint8_t>(~kDataErrorBit);
  if (st.comDataError == 1) hi |= kDataErrorBit;
  return static_cast<uint16_t>(hi * 256 + g_switchWord.LowByteData);
}

// Paper width: Save takes 0..80, the file any 16-bit number.
Written PutPaperWidth(const State& st, const EditValues&, const Profile&) {
  const auto value = ParseInt32(st.paperWidth);
  if (!value || *value < 0 || *value > 80) return std::nullopt;
  return static_cast<uint16_t>(*value);
}
Written PutPaperWidthFile(const State& st, const EditValues&, const Profile&) {
  const auto value = ParseInt32(st.paperWidth);
  if (!value || *value < 0 || *value > 65535) return std::nullopt;
  return static_cast<uint16_t>(*value);
}
bool ImportPaperWidthLow(uint8_t lo, uint8_t, State& st, const Profile&) {
  st.paperWidth = std::to_string(lo);
  return true;
}

// Watermark enlargement: horizontal in lo, vertical in hi, each 0..3.
constexpr int kMaxEnlarge = 3;
bool GetEnlarge(uint8_t lo, uint8_t hi, State& st, const Profile&) {
  if (lo > kMaxEnlarge || hi > kMaxEnlarge) return false;
  st.enlargeHorizontal = std::to_string(lo);
  st.enlargeVertical = std::to_string(hi);
  return true;
}
Written PutEnlarge(const State& st, const EditValues&, const Profile&) {
  const auto h = ParseInt32(st.enlargeHorizontal);
  const auto v = ParseInt32(st.enlargeVertical);
  if (!h || !v || *h < 0 || *h > kMaxEnlarge || *v < 0 || *v > kMaxEnlarge) return std::nullopt;
  return static_cast<uint16_t>(*v * 256 + *h);
}
bool ImportEnlargeHorizontal(uint8_t lo, uint8_t, State& st, const Profile&) {
  if (lo > kMaxEnlarge) return false;
  st.enlargeHorizontal = std::to_string(lo);
  return true;
}
bool ImportEnlargeVertical(uint8_t, uint8_t hi, State& st, const Profile&) {
  if (hi > kMaxEnlarge) return false;
  st.enlargeVertical = std::to_string(hi);
  return true;
}

constexpr const char* kPortTestFailed =
    "Port communication test failed!Please check whether the printer is connected to the specified port correctly.";

// Every row, in key order.
const std::vector<SettingRow>& AllRows() {
  static const std::vector<SettingRow> rows = {
      {S::BaudRate, 0x16, " COM's baud rate,", " COM's baud rate,", true, GetBaud, PutBaud, ImportBaud},
      {S::FlowControl, 0x41, " COM's flow control,", " COM's flow control,", true, GetFlow, PutFlow, nullptr},
      {S::DataBits, 0x17, " COM's databits,", " COM's databits,", true, GetDataBits, PutDataBits, ImportDataBits},
      {S::StopBits, 0x19, " COM's stopBits,", " COM's stopbits,", true, GetStopBits, PutStopBits, ImportStopBits},
      {S::Parity, 0x1B, " COM's parity,", " COM's parity,", true, GetParity, PutParity, ImportParity},
      {S::PrintSpeed, 0x06, " print speed,", " print speed,", true, GetSpeed, PutSpeed, ImportSpeed},
      {S::PrintDarkness, 0x02, " print darkness,", " print darkness,", true, GetDarkness, PutDarkness, nullptr},
      {S::PaperType, 0x12, " paper type flag,", " paper type flag,", true, GetPaperType, PutPaperType, nullptr},
      {S::StopOnNearEnd, 0x43, " stop printing on paper near-end flag,", " stop printing on paper near-end flag,",
       true, GetTick<&State::stopOnNearEnd>, PutTick<&State::stopOnNearEnd>, nullptr},
      {S::AlarmOnNearEnd, 0x54, " alarm on paper near-end flag,", " alarm on paper near-end flag,", true,
       GetTick<&State::alarmOnNearEnd>, PutTick<&State::alarmOnNearEnd>, nullptr},
      {S::AutoCutter, 0x30, " auto cutter flag,", " auto cutter flag,", true, GetFirstIsOne<&State::autoCutter>,
       PutFirstIsOne<&State::autoCutter>, nullptr},
      {S::CRCommand, 0x14, " CR command flag,", " CR command flag,", true, GetFirstIsOne<&State::cr>,
       PutFirstIsOne<&State::cr>, nullptr},
      {S::Beeper, 0x59, " beeper flag,", " beeper flag,", true, GetFirstIsOne<&State::beeper>,
       PutFirstIsOne<&State::beeper>, nullptr},
      {S::PresenterEnable, 0x3E, " bPresenterEnable flag,", nullptr, true, GetFirstIsOne<&State::presenter>,
       PutPresenter, nullptr},
      {S::PaperOutMode, 0x60, " PaperOutMode,", nullptr, false, GetPaperOut, PutPaperOut, nullptr},
      {S::FeedLineInMark, 0x2B, " FeedLineInMark flag,", nullptr, false, GetNumber<&State::feedLine>, PutFeedLine,
       nullptr},
      {S::PresenterWaitTime, 0x3C, " EcReadPaperNearEndEnable flag,", nullptr, false, GetNumber<&State::waitTime>,
       PutWaitTime, nullptr},
      {S::AutoLoadingTime, 0x78, " AutoLoadingTime flag,", nullptr, false, GetNumber<&State::autoTime>, PutAutoTime,
       nullptr},
      {S::AutoLoadingSpeed, 0x52, " AutoLoadingSpeed flag,", nullptr, false, GetNumber<&State::autoSpeed>,
       PutAutoSpeed, nullptr},
      // Import only: no editor of the family reads or writes it.
      {S::PaperWidth, 0x66, " PaperWidth,", nullptr, false, ImportPaperWidth, NotWritten, nullptr},
      {S::LEDControlMode, 0xB7, " LED control mode,", " LED control mode flag,", true, GetLEDMode, PutLEDMode,
       ImportLEDMode},
      {S::LEDTime, 0xB8, " LED time,", " LED time,", true, GetLEDTime, PutLEDTime, nullptr},
      {S::LEDLightTime, 0xB8, " print Light Time,", " LED time,", true, GetLightTime, PutLEDTime, GetLEDTime},
      {S::LEDExtinctTime, 0xB8, " print Extinct Time,", " LED time,", true, GetExtinctTime, PutLEDTime, GetLEDTime},
      {S::DefaultLeftMargin, 0x4E, " default left margin,", " default left margin,", true,
       GetNumber<&State::leftMargin>, PutLeftMargin, ImportMargin<&State::leftMargin>},
      {S::DefaultRightMargin, 0x4A, " default right margin,", " default right margin,", true,
       GetNumber<&State::rightMargin>, PutRightMargin, ImportMargin<&State::rightMargin>},
      {S::CodePage, 0x6D, " CodePage,", " language flag,", true, GetCodePage, PutCodePage, ImportCodePage},
      {S::RxBufferSize, 0x7D, " Rx Buffer Size flag,", " DataError flag,", true, GetRxBuffer, PutRxBuffer,
       ImportRxBuffer},
      {S::AutoPresentPaper, 0xD5, " bAutoPresentPaper flag,", nullptr, true, GetAutoPresent,
       PutFirstIsOne<&State::autoPresent>, GetFirstIsOne<&State::autoPresent>},
      {S::BaudRateSlowRatesShown, 0x16, " COM's baud rate,", " COM's baud rate,", true, GetBaudSlowRatesShown,
       PutBaud, ImportBaud},
      {S::BundlerEnable, 0x3E, " bPresenterEnable flag,", nullptr, true, GetBundlerEnable, PutBundlerEnable,
       nullptr},
      {S::BundlerWorkMode, 0x60, " PaperOutMode,", nullptr, false, GetBundlerWorkMode, PutBundlerWorkMode,
       ImportBundlerWorkMode},
      // VD-K773: every setter refuses a port that is not open.
      {S::K773BaudRate, 0x16, " COM's baud rate,", " COM's baud rate,", true, GetBaud, PutBaud, ImportBaudSlowRates},
      {S::K773FlowControl, 0x41, " COM's flow control,", " COM's flow control,", true, GetFlowThree, PutFlow,
       ImportFlowThree},
      {S::K773FeedLine, 0x2B, "get Feed Lines mark,", "  Feed Lines in Mark Mode flag,", true, GetFeedLineK773,
       PutFeedLine, ImportFeedLineK773},
      {S::K773DataBits, 0x17, " COM's databits", " COM's databits ,", true, GetDataBits, PutDataBits,
       ImportDataBitsLow},
      {S::K773StopBits, 0x19, " COM's Stopbits", " COM's  stopbits,", true, GetStopBits, PutStopBits,
       ImportStopBitsLow},
      {S::K773Parity, 0x1B, " COM's parity,", " COM's parity,", true, GetParity, PutParityNoneFirst, ImportParity},
      {S::K773LeftMargin, 0x4E, " default left margin,", " default left margin,", true,
       GetNumber<&State::leftMargin>, PutLeftMargin, ImportMargin<&State::leftMargin>, kPortTestFailed},
      {S::K773RightMargin, 0x4A, " default right margin,", " default right margin,", true,
       GetNumber<&State::rightMargin>, PutRightMargin, ImportMargin<&State::rightMargin>, kPortTestFailed},
      {S::K773PrintSpeed, 0x06, " print speed,", " print speed,", true, GetSpeedK773, PutSpeedK773, nullptr},
      {S::K773PrintDarkness, 0x02, " print darkness,", " print darkness,", true, GetTwoHeads, PutTwoHeads, nullptr},
      {S::K773Beeper, 0x59, " beeper flag,", " beeper flag,", true, GetLowIndex<&State::beeperEnable, 1>,
       PutIndex<&State::beeperEnable, 1>, ImportBeeperEnable},
      {S::K773IntlCharSets, 0xCB, " IntlCharSets,", " intlChar flag,", true, GetIntlChar, PutIntlChar, nullptr},
      {S::K773CodePage, 0x6D, " CodePage,", "  CodePage  flag,", true, GetK773CodePage, PutK773CodePage,
       ImportK773CodePage},
      {S::K773PresenterEnable, 0x3E, " bPresenterEnable flag,", " presenter   enable flag,", true,
       GetFirstIsOne<&State::presenter>, PutPresenter, nullptr},
      {S::K773PaperOutMode, 0x60, " PaperOutMode,", " paper out mode flag,", true, GetPaperOut, PutPaperOut,
       nullptr},
      {S::K773PresenterWaitTime, 0x3C, " EcReadPaperNearEndEnable flag,", " PresenterWaitTime flag,", true,
       GetWaitTimeLow, PutWaitTime, nullptr},
      {S::K773AutoLoadingTime, 0x78, " AutoLoadingTime flag,", " AutoLoadingTime flag,", true,
       GetNumber<&State::autoTime>, PutAutoTime, nullptr},
      {S::K773AutoLoadingSpeed, 0x52, " AutoLoadingSpeed flag,", " AutoLoadingSpeed flag,", true,
       GetNumber<&State::autoSpeed>, PutAutoSpeed, ImportAutoSpeedLow},
      {S::K773USBMode, 0x70, " USBMode flag,", " USB  flag,", true, GetPairIndex<&State::usbMode, 1>,
       PutIndex<&State::usbMode, 1>, nullptr},
      {S::K773CutPaperMode, 0x87, " CutPaperMode flag,", " CutPaper flag,", true,
       GetPairIndex<&State::cutPaperMode, 2>, PutIndex<&State::cutPaperMode, 2>, GetLowIndex<&State::cutPaperMode, 2>},
      {S::K773PrintingSurface, 0x05, " PrintSurface flag,", " Printing Surface flag,", true, GetPrintingSurface,
       PutPrintingSurface, nullptr},
      {S::K773PrinterMode, 0xC4, " Data Error flag,", " Printer Mode,", true, GetPrinterMode,
       PutIndex<&State::printerMode, 1>, GetLowIndex<&State::printerMode, 1>},
      {S::K773DataError, 0x09, " Data Error flag,", " DataError flag,", true, GetDataError, PutDataError,
       ImportDataError},
      {S::K773RxBufferSize, 0x7D, " Rx Buffer Size flag,", " BufferSize flag,", true,
       GetPairIndex<&State::rxBuffer, 1>, PutIndex<&State::rxBuffer, 1>, nullptr},
      {S::K773PaperWidth, 0x66, " Rx PaperWidth flag,", " PaperWidth flag,", true, GetNumber<&State::paperWidth>,
       PutPaperWidth, ImportPaperWidthLow},
      {S::K773PaperNearEnd, 0x43, " PaperEndInfluent flag,", " PaperNearEndInfluent flag,", true,
       GetPairIndex<&State::paperNearEnd, 1>, PutIndex<&State::paperNearEnd, 1>, GetLowIndex<&State::paperNearEnd, 1>},
      {S::K773WaterMarkEnable, 0x89, " WaterMarkEnable flag,", " Watermark Enable flag,", true,
       GetLowIndex<&State::watermarkEnable, 1>, PutIndex<&State::watermarkEnable, 1>, nullptr},
      {S::K773WaterMarkAlignment, 0x8B, " WaterMarkAlignment flag,", " Watermark Print flag,", true,
       GetLowIndex<&State::watermarkAlignment, 2>, PutIndex<&State::watermarkAlignment, 2>, nullptr},
      {S::K773WaterMarkMode, 0x8A, " WaterMark Print mode flag,", " Watermark Print flag,", true,
       GetLowIndex<&State::watermarkMode, 1>, PutIndex<&State::watermarkMode, 1>, nullptr},
      {S::K773WaterMarkEnlarge, 0x8C, " WaterMarkEnlarge flag,", " Watermark Enlarge flag,", true, GetEnlarge,
       PutEnlarge, nullptr},
      {S::K773PrintSpeedFile, 0x06, " print speed,", " print speed,", true, GetSpeedK773, PutSpeedFile,
       ImportSpeedFile},
      {S::K773PrintDarknessFile, 0x02, " print darkness,", " print darkness,", true, GetTwoHeads, PutTwoHeadsFile,
       ImportTwoHeads},
      {S::K773PaperWidthFile, 0x66, " Rx PaperWidth flag,", " PaperWidth flag,", true, GetNumber<&State::paperWidth>,
       PutPaperWidthFile, ImportPaperWidthLow},
      {S::K773EnlargeHorizontal, 0x8C, " WaterMarkEnlarge flag,", " Watermark Enlarge flag,", true, GetEnlarge,
       PutEnlarge, ImportEnlargeHorizontal},
      {S::K773EnlargeVertical, 0x8C, " WaterMarkEnlarge flag,", " Watermark Enlarge flag,", true, GetEnlarge,
       PutEnlarge, ImportEnlargeVertical},
  };
  return rows;
}

// --- profiles

std::vector<CommonSetting> Keys(int first, int last) {
  std::vector<CommonSetting> keys;
  for (int i = first; i <= last; ++i) keys.push_back(static_cast<S>(i));
  return keys;
}

// Save steps whose refusals follow the rows: a row with a refusal text ends
// the Save, one without is not looked at.
std::vector<SaveStep> Steps(const std::vector<CommonSetting>& keys) {
  std::vector<SaveStep> steps;
  for (CommonSetting key : keys)
    steps.push_back({key, Row(key).saveRefusalText ? Refusal::EndsSave : Refusal::NotLookedAt});
  return steps;
}

// Records keyed by their printer addresses.
std::vector<FileRecordKey> Records(const std::vector<CommonSetting>& keys) {
  std::vector<FileRecordKey> records;
  for (CommonSetting key : keys) records.push_back({key, Row(key).address});
  return records;
}

std::vector<CommonSetting> operator+(std::vector<CommonSetting> a, const std::vector<CommonSetting>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const EditRule kSpeedRule{Edit::Speed, 25, 150, "The input of print speed is invalid!", "“print speed”非法输入！"};
const EditRule kDarknessRule{Edit::Darkness, 1, 254, "The input of print darkness is invalid!",
                             "“print darkness”非法输入！"};
const EditRule kFeedLineRule{Edit::FeedLine, 19, 65535, "The input of feed line in mark mode is invalid!",
                             "“feed line in mark mode”非法输入！"};
const EditRule kWaitTimeRule{Edit::WaitTime, 0, 240, "The input of Presenter wait time is invalid!",
                             "“Presenter wait time”非法输入！"};
const EditRule kAutoTimeRule{Edit::AutoTime, 0, 800, "The input of auto loading time is invalid!",
                             "“auto loading time”非法输入！"};
const EditRule kAutoSpeedRule{Edit::AutoSpeed, 28, 125, "The input of auto loading speed is invalid!",
                              "“auto loading speed”非法输入！"};
const EditRule kLightTimeRule{Edit::LightTime, 0, 255, "The input of Light Time is invalid!", "“Light Time”非法输入！"};
const EditRule kExtinctTimeRule{Edit::ExtinctTime, 0, 255, "The input of Extinct Time is invalid!",
                                "“Extinct Time”非法输入！"};

const std::vector<EditRule>& CommonChecks() {
  static const std::vector<EditRule> rules{kSpeedRule,    kDarknessRule, kFeedLineRule,
                                           kWaitTimeRule, kAutoTimeRule, kAutoSpeedRule};
  return rules;
}

constexpr const char* kSaveFilter = "Printer Eeprom Settings File(*.pes)";
constexpr const char* kOpenFilter = "Print File(*.pes);;All File(*.*)";

// The VD-M512II's orders; the VD-M512, VD-K512 and VD-K201 share them.
CommonAddressProfile CommonProfile(int code, const char* objectName, const char* caption, const char* font,
                                   const char* tag, bool baud115200) {
  CommonAddressProfile p{code, objectName, caption, font, tag, baud115200, {}, {}, {}, {}, {}, {}, "非法输入！",
                         25,   false,      kSaveFilter, false, kOpenFilter};
  // Get: rows 1 to 11, beeper, CR command, 14 to 19.
  p.getOrder = Keys(1, 11) + std::vector<CommonSetting>{S::Beeper, S::CRCommand} + Keys(14, 19);
  p.saveOrder = Steps(Keys(1, 19));
  // Export: rows 1 to 13, feed line, presenter, paper out, wait, auto-loading time and speed.
  p.exportOrder = Records(Keys(1, 13) + std::vector<CommonSetting>{S::FeedLineInMark, S::PresenterEnable,
                                                                   S::PaperOutMode, S::PresenterWaitTime,
                                                                   S::AutoLoadingTime, S::AutoLoadingSpeed});
  p.importTable = Records(Keys(1, 19) + std::vector<CommonSetting>{S::PaperWidth});
  p.saveChecks = CommonChecks();
  p.exportChecks = CommonChecks();
  return p;
}

CommonAddressProfile MakeK305() {
  CommonAddressProfile p =
      CommonProfile(3, "TK305EepromSetForm", "EepromSet", "Tahoma", "VD-K305ab", true);
  p.getOrder = {S::BaudRateSlowRatesShown, S::FlowControl, S::DataBits, S::StopBits, S::Parity,
                S::PrintSpeed, S::PrintDarkness, S::LEDControlMode, S::LEDLightTime, S::LEDExtinctTime,
                S::PaperType, S::StopOnNearEnd, S::AlarmOnNearEnd, S::AutoCutter, S::Beeper, S::CRCommand,
                S::PresenterEnable, S::PaperOutMode, S::FeedLineInMark, S::PresenterWaitTime, S::AutoLoadingTime,
                S::AutoLoadingSpeed};
  p.saveOrder = Steps({S::BaudRateSlowRatesShown, S::FlowControl, S::DataBits, S::StopBits, S::Parity,
                       S::PrintSpeed, S::PrintDarkness, S::LEDTime, S::PaperType, S::LEDControlMode,
                       S::StopOnNearEnd, S::AlarmOnNearEnd, S::AutoCutter, S::CRCommand, S::Beeper,
                       S::PresenterEnable, S::PaperOutMode, S::FeedLineInMark, S::PresenterWaitTime,
                       S::AutoLoadingTime, S::AutoLoadingSpeed});
  p.exportOrder = Records({S::BaudRateSlowRatesShown, S::FlowControl, S::DataBits, S::StopBits, S::Parity,
                           S::PrintSpeed, S::PrintDarkness, S::LEDTime, S::PaperType, S::LEDControlMode,
                           S::StopOnNearEnd, S::AlarmOnNearEnd, S::AutoCutter, S::CRCommand, S::Beeper,
                           S::FeedLineInMark, S::PresenterEnable, S::PaperOutMode, S::PresenterWaitTime,
                           S::AutoLoadingTime, S::AutoLoadingSpeed});
  // The import takes the baud codes and flow values of the other editors.
  p.importTable = Records(Keys(1, 19) + std::vector<CommonSetting>{S::PaperWidth, S::LEDControlMode, S::LEDTime});
  // Save checks the LED times right after the darkness, Export after all others.
  p.saveChecks = {kSpeedRule,    kDarknessRule, kLightTimeRule, kExtinctTimeRule,
                  kFeedLineRule, kWaitTimeRule, kAutoTimeRule,  kAutoSpeedRule};
  p.exportChecks = {kSpeedRule,    kDarknessRule,  kFeedLineRule,  kWaitTimeRule,
                    kAutoTimeRule, kAutoSpeedRule, kLightTimeRule, kExtinctTimeRule};
  return p;
}

CommonAddressProfile MakeN512() {
  CommonAddressProfile p{0,  "TN512EepromSetForm", "N512 EepromSet", "MS Sans Serif", "VD-N512ab", true,
                         {}, {},  {}, {}, {}, {}, "输入非法！", 25, true, kSaveFilter, true,
                         "POS Printer Eeprom Settings File(*.pes);;All File(*.*)"};
  // Neither the speed nor the cutter is read or written.
  p.getOrder = {S::BaudRate,       S::FlowControl,     S::DataBits,      S::StopBits,
                S::Parity,         S::DefaultLeftMargin, S::DefaultRightMargin, S::PrintDarkness,
                S::PaperType,      S::StopOnNearEnd,   S::AlarmOnNearEnd, S::Beeper,
                S::CRCommand,      S::CodePage,        S::BundlerEnable, S::AutoPresentPaper,
                S::BundlerWorkMode, S::FeedLineInMark, S::PresenterWaitTime, S::AutoLoadingTime,
                S::AutoLoadingSpeed, S::RxBufferSize};
  // The first eleven refusals end the Save; CR command, beeper, code page and
  // receive buffer add their texts and the Save goes on; the seven from the
  // bundler's enable to the auto-loading speed are not looked at.
  p.saveOrder = Steps({S::BaudRate, S::FlowControl, S::DataBits, S::StopBits, S::Parity, S::DefaultLeftMargin,
                       S::DefaultRightMargin, S::PrintDarkness, S::PaperType, S::StopOnNearEnd,
                       S::AlarmOnNearEnd});
  for (CommonSetting key : {S::CRCommand, S::Beeper}) p.saveOrder.push_back({key, Refusal::AppendsText});
  for (CommonSetting key : {S::BundlerEnable, S::AutoPresentPaper, S::BundlerWorkMode, S::FeedLineInMark,
                            S::PresenterWaitTime, S::AutoLoadingTime, S::AutoLoadingSpeed})
    p.saveOrder.push_back({key, Refusal::NotLookedAt});
  for (CommonSetting key : {S::CodePage, S::RxBufferSize}) p.saveOrder.push_back({key, Refusal::AppendsText});
  // In the file the left margin is keyed 4A and the right margin 4E, the
  // reverse of the printer's addresses; the import reads them back the same way.
  p.exportOrder = Records({S::BaudRate, S::FlowControl, S::DataBits, S::StopBits, S::Parity});
  p.exportOrder.push_back({S::DefaultLeftMargin, 0x4A});
  p.exportOrder.push_back({S::DefaultRightMargin, 0x4E});
  for (const FileRecordKey& r :
       Records({S::PrintDarkness, S::PaperType, S::StopOnNearEnd, S::AlarmOnNearEnd, S::CRCommand, S::Beeper,
                S::CodePage, S::RxBufferSize, S::FeedLineInMark, S::BundlerEnable, S::AutoPresentPaper,
                S::BundlerWorkMode, S::PresenterWaitTime, S::AutoLoadingTime, S::AutoLoadingSpeed}))
    p.exportOrder.push_back(r);
  // The import also takes the hidden speed (06) and cutter (30).
  p.importTable = Records({S::PrintDarkness, S::PrintSpeed, S::PaperType, S::CRCommand, S::BaudRate, S::DataBits,
                           S::StopBits, S::Parity, S::FeedLineInMark, S::AutoCutter, S::PresenterWaitTime,
                           S::BundlerEnable, S::FlowControl, S::StopOnNearEnd});
  p.importTable.push_back({S::DefaultLeftMargin, 0x4A});
  p.importTable.push_back({S::DefaultRightMargin, 0x4E});
  for (const FileRecordKey& r : Records({S::AutoLoadingSpeed, S::AlarmOnNearEnd, S::Beeper, S::BundlerWorkMode,
                                         S::PaperWidth, S::CodePage, S::AutoLoadingTime, S::RxBufferSize,
                                         S::AutoPresentPaper}))
    p.importTable.push_back(r);
  const std::vector<EditRule> checks = {
      {Edit::WaitTime, 0, 240, "The input of Bundler wait time is invalid!", "“Bundler wait time”非法输入！"},
      {Edit::FeedLine, 19, 65535, "The input of Feed Line in mark mode is invalid!",
       "“Feed Line in mark mode”非法输入！"},
      {Edit::AutoSpeed, 28, 125, "The input of Auto Loading speed is invalid!", "“Auto Loading speed”非法输入！"},
      {Edit::AutoTime, 0, 800, "The input of Auto Loading time is invalid!", "“Auto Loading time”非法输入！"},
      {Edit::LeftMargin, 0, 16, "The input of default left margin is invalid!", "“default left margin”非法输入！"},
      {Edit::RightMargin, 0, 16, "The input of default right margin is invalid!", "“default right margin”非法输入！"},
      kSpeedRule,
      kDarknessRule,
  };
  p.saveChecks = checks;
  p.exportChecks = checks;
  return p;
}

CommonAddressProfile MakeK773() {
  CommonAddressProfile p{12, "TK773Eeport", "EepromSet", "Tahoma", "VD-K773ab", true,
                         {}, {}, {}, {}, {}, {}, "非法输入！", 49, false, kSaveFilter, false, kOpenFilter};
  p.getOrder = {S::K773BaudRate, S::K773FlowControl, S::K773FeedLine, S::K773DataBits, S::K773StopBits,
                S::K773Parity, S::K773LeftMargin, S::K773RightMargin, S::K773PrintSpeed, S::K773PrintDarkness,
                S::PaperType, S::AutoCutter, S::K773Beeper, S::CRCommand, S::K773IntlCharSets, S::K773CodePage,
                S::K773PresenterEnable, S::K773PaperOutMode, S::K773PresenterWaitTime, S::K773AutoLoadingTime,
                S::K773AutoLoadingSpeed, S::K773USBMode, S::K773CutPaperMode, S::K773PrintingSurface,
                S::K773PrinterMode, S::K773DataError, S::K773RxBufferSize, S::K773PaperWidth, S::K773PaperNearEnd,
                S::K773WaterMarkEnable, S::K773WaterMarkAlignment, S::K773WaterMarkMode, S::K773WaterMarkEnlarge};
  // Fifteen setters queue, eighteen write at once; every refusal ends the
  // Save, except that an unselected receive buffer is left out.
  const auto queued = [](CommonSetting key) { return SaveStep{key, Refusal::EndsSave, false}; };
  const auto direct = [](CommonSetting key) { return SaveStep{key, Refusal::EndsSave, true}; };
  p.saveOrder = {queued(S::K773BaudRate),        queued(S::K773FlowControl),     queued(S::K773DataBits),
                 queued(S::K773StopBits),        direct(S::K773FeedLine),        queued(S::K773Parity),
                 direct(S::K773LeftMargin),      direct(S::K773RightMargin),     direct(S::K773PrinterMode),
                 queued(S::K773PrintSpeed),      queued(S::K773PrintDarkness),   queued(S::PaperType),
                 direct(S::K773PaperNearEnd),    queued(S::AutoCutter),          queued(S::CRCommand),
                 direct(S::K773Beeper),          queued(S::K773PresenterEnable), queued(S::K773PaperOutMode),
                 queued(S::K773PresenterWaitTime), queued(S::K773AutoLoadingTime), queued(S::K773AutoLoadingSpeed),
                 direct(S::K773CodePage),        direct(S::K773IntlCharSets),    direct(S::K773DataError),
                 SaveStep{S::K773RxBufferSize, Refusal::NotLookedAt, true},
                 direct(S::K773PaperWidth),      direct(S::K773USBMode),         direct(S::K773CutPaperMode),
                 direct(S::K773PrintingSurface), direct(S::K773WaterMarkEnable), direct(S::K773WaterMarkEnlarge),
                 direct(S::K773WaterMarkMode),   direct(S::K773WaterMarkAlignment)};
  // Thirty-two records; no code page or no receive buffer selected leaves
  // its record out.
  p.exportOrder = Records({S::K773BaudRate, S::K773FeedLine, S::K773FlowControl, S::K773DataBits, S::K773StopBits,
                           S::K773Parity, S::K773LeftMargin, S::K773RightMargin, S::K773PrintSpeedFile,
                           S::K773PrinterMode, S::K773PrintDarknessFile, S::PaperType, S::K773PaperNearEnd,
                           S::AutoCutter, S::CRCommand, S::K773Beeper, S::K773CodePage, S::K773IntlCharSets,
                           S::K773DataError, S::K773PaperWidthFile, S::K773RxBufferSize, S::K773PresenterEnable,
                           S::K773PaperOutMode, S::K773PresenterWaitTime, S::K773AutoLoadingTime,
                           S::K773AutoLoadingSpeed, S::K773USBMode, S::K773CutPaperMode, S::K773WaterMarkEnable,
                           S::K773WaterMarkEnlarge, S::K773WaterMarkMode, S::K773WaterMarkAlignment});
  for (FileRecordKey& r : p.exportOrder) {
    r.leftOutWhenRefused = r.setting == S::K773CodePage || r.setting == S::K773RxBufferSize;
  }
  // The printer mode is also taken keyed 65; the enlargement's halves are
  // applied one by one. Other addresses are ignored.
  p.importTable = Records({S::K773PrintDarknessFile, S::K773PrintSpeedFile, S::K773DataError, S::PaperType,
                           S::CRCommand, S::K773BaudRate, S::K773DataBits, S::K773StopBits, S::K773Parity,
                           S::K773FeedLine, S::AutoCutter, S::K773PresenterWaitTime, S::K773PresenterEnable,
                           S::K773FlowControl, S::K773PaperNearEnd, S::K773RightMargin, S::K773LeftMargin,
                           S::K773AutoLoadingSpeed, S::K773Beeper, S::K773PaperOutMode, S::K773PaperWidthFile,
                           S::K773CodePage, S::K773USBMode, S::K773AutoLoadingTime, S::K773RxBufferSize,
                           S::K773CutPaperMode, S::K773WaterMarkEnable, S::K773WaterMarkMode,
                           S::K773WaterMarkAlignment, S::K773EnlargeHorizontal, S::K773EnlargeVertical,
                           S::K773PrinterMode, S::K773IntlCharSets});
  p.importTable.push_back({S::K773PrinterMode, 0x65});
  // Save: a margin out of range is only told (in English) and its setter
  // refuses it afterwards; the hidden second head is converted, not checked.
  const EditRule leftMargin{Edit::LeftMargin, 0, 100, "The input of default left margin is invalid!", "", true};
  const EditRule rightMargin{Edit::RightMargin, 0, 100, "The input of default right margin is invalid!", "", true};
  const EditRule speed{Edit::Speed, 50, 350, "The input of print speed is invalid!", "“print speed”非法输入！"};
  p.saveChecks = {
      EditRule{leftMargin.edit, 0, 100, leftMargin.english, leftMargin.chinese, true, false},
      EditRule{rightMargin.edit, 0, 100, rightMargin.english, rightMargin.chinese, true, false},
      speed,
      {Edit::Darkness, 50, 254, "The input of print darkness is invalid!", "“print darkness”非法输入！"},
      {Edit::Head2, INT_MIN, INT_MAX, nullptr, nullptr},
      kWaitTimeRule,
      kAutoTimeRule,
      kAutoSpeedRule,
      {Edit::FeedLine, 0, 0xFFFE, "The input of Feed Lines in Mark Mode is invalid!",
       "“ Feed Lines in Mark Mode”非法输入！"},
  };
  // Export: the hidden second head as Save takes it, converted, not checked
  // (the user has no control to put it right): written as it was read.
  p.exportChecks = {
      leftMargin,
      rightMargin,
      speed,
      {Edit::Darkness, 50, 254, "The input of print darkness1 is invalid!", "“print darkness”非法输入！"},
      {Edit::Head2, INT_MIN, INT_MAX, nullptr, nullptr},
      kWaitTimeRule,
      kAutoTimeRule,
      {Edit::AutoSpeed, 28, 150, "The input of auto loading speed is invalid!", "“auto loading speed”非法输入！"},
      {Edit::FeedLine, 0, 0xFFFE, "The input of Feed Lines in mark mode is invalid!",
       "“Feed Lines in mark mode”非法输入！"},
  };
  p.portStyle = kK773PortStyle;
  p.portPlan = kK773EditorPortPlan;
  p.fontPointSize = 8;
  p.speedRow = S::K773PrintSpeed;
  p.darknessRow = S::K773PrintDarkness;
  p.getNotesDarkness = false;
  p.emptyFileAsked = true;
  p.oddSizeMarksFailed = true;
  p.unknownImportIgnored = true;
  return p;
}

// --- edits

const std::string& TextOf(const EditorState& s, Edit e) {
  switch (e) {
    case Edit::Speed: return s.speed;
    case Edit::Darkness: return s.darkness;
    case Edit::FeedLine: return s.feedLine;
    case Edit::WaitTime: return s.waitTime;
    case Edit::AutoTime: return s.autoTime;
    case Edit::AutoSpeed: return s.autoSpeed;
    case Edit::LightTime: return s.lightTime;
    case Edit::ExtinctTime: return s.extinctTime;
    case Edit::LeftMargin: return s.leftMargin;
    case Edit::RightMargin: return s.rightMargin;
    case Edit::Head2: return s.head2;
  }
  return s.speed;
}

void Store(EditValues& v, Edit e, int value) {
  switch (e) {
    case Edit::Speed: v.speed = value; break;
    case Edit::Darkness: v.darkness = value; break;
    case Edit::FeedLine: v.feedLine = static_cast<uint16_t>(value); break;
    case Edit::WaitTime: v.waitTime = value; break;
    case Edit::AutoTime: v.autoTime = static_cast<uint16_t>(value); break;
    case Edit::AutoSpeed: v.autoSpeed = static_cast<uint16_t>(value); break;
    case Edit::LightTime: v.lightTime = value; break;
    case Edit::ExtinctTime: v.extinctTime = value; break;
    case Edit::LeftMargin: v.leftMargin = value; break;
    case Edit::RightMargin: v.rightMargin = value; break;
    case Edit::Head2: v.head2 = value; break;
  }
}

}  // namespace

const SettingRow& Row(CommonSetting setting) {
  const auto& rows = AllRows();
  const size_t index = static_cast<size_t>(setting) - 1;
  return rows.at(index);
}

const CommonAddressProfile& M512IIProfile() {
  static const CommonAddressProfile p =
      CommonProfile(2, "TM512IIEepromSetForm", "M512II EepromSet", "MS Sans Serif", "VD-M512II", true);
  return p;
}

const CommonAddressProfile& M512Profile() {
  static const CommonAddressProfile p =
      CommonProfile(1, "TM512EepromSetForm", "M512 EepromSet", "Tahoma", "VD-M512ab", false);
  return p;
}

const CommonAddressProfile& K512Profile() {
  static const CommonAddressProfile p =
      CommonProfile(8, "TK512EepromSetForm", "EepromSet", "Tahoma", "VD-K512ab", false);
  return p;
}

const CommonAddressProfile& K201Profile() {
  static const CommonAddressProfile p =
      CommonProfile(7, "TK201EepromSetForm", "EepromSet", "Tahoma", "VD-K201ab", true);
  return p;
}

const CommonAddressProfile& K305Profile() {
  static const CommonAddressProfile p = MakeK305();
  return p;
}

const CommonAddressProfile& N512Profile() {
  static const CommonAddressProfile p = MakeN512();
  return p;
}

const CommonAddressProfile& K773Profile() {
  static const CommonAddressProfile p = MakeK773();
  return p;
}

const std::vector<const CommonAddressProfile*>& CommonAddressProfiles() {
  static const std::vector<const CommonAddressProfile*> all = {&M512IIProfile(), &M512Profile(), &K512Profile(),
                                                               &K201Profile(),   &K305Profile(), &N512Profile(),
                                                               &K773Profile()};
  return all;
}

SwitchWordBytes K773SwitchWord() { return g_switchWord; }
void SetK773SwitchWord(SwitchWordBytes bytes) { g_switchWord = bytes; }

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
const std::vector<std::string> kBundlerWorkModeItems{"Retraction", "Keep Paper", "Command Control"};
const std::vector<std::string> kLEDModeItems{"Non-Driver Control", "Driver Control"};
const std::vector<std::string> kCodePageItems{"PC437", "Katakana", "PC850", "PC860", "PC863",
                                              "PC865", "PC852",    "PC858", "PC866", "PC1252"};
const std::vector<std::string> kRxBufferItems{"4096 Bytes", "45 Bytes"};
const std::vector<std::string> kK773CodePageItems{"PC437", "PC850", "PC852",    "PC858", "PC860",
                                                  "PC863", "PC865", "PC866",    "WPC1252", "katakana",
                                                  "866",   "1251",  "855",      "Kazakh"};
const std::vector<std::string> kIntlCharItems{"U.S.A",   "France",    "Germany",  "U.K",      "Denmark I",
                                              "Sweden",  "Italy",     "Spain I",  "Japan",    "Norway",
                                              "Denmark II", "Spain II", "Latin America"};

std::string ItemText(const std::vector<std::string>& items, int index) {
  return index >= 0 && static_cast<size_t>(index) < items.size() ? items[static_cast<size_t>(index)] : std::string();
}

bool ApplyReply(CommonSetting setting, uint8_t lo, uint8_t hi, EditorState& st, const CommonAddressProfile& profile) {
  return Row(setting).decode(lo, hi, st, profile);
}

bool ApplyImportRecord(uint8_t address, uint8_t lo, uint8_t hi, EditorState& st, const CommonAddressProfile& profile) {
  return ImportRecord(address, lo, hi, st, profile) == ImportOutcome::Applied;
}

ImportOutcome ImportRecord(uint8_t address, uint8_t lo, uint8_t hi, EditorState& st,
                           const CommonAddressProfile& profile) {
  ImportOutcome outcome = ImportOutcome::NotInTable;
  for (const FileRecordKey& entry : profile.importTable) {
    if (entry.key != address) continue;
    const SettingRow& row = Row(entry.setting);
    // Applied to a copy: what a row refuses changes nothing.
    EditorState next = st;
    const bool accepted = row.import ? row.import(lo, hi, next, profile) : row.decode(lo, hi, next, profile);
    if (accepted) st = next;
    if (!accepted) outcome = ImportOutcome::Refused;
    else if (outcome == ImportOutcome::NotInTable) outcome = ImportOutcome::Applied;
  }
  return outcome;
}

EditCheck CheckEdits(const EditorState& st, const std::vector<EditRule>& rules) {
  EditCheck check;
  EditValues v;
  for (const EditRule& rule : rules) {
    const auto value = ParseInt32(TextOf(st, rule.edit));
    if (!value) {
      check.formatError = true;
      return check;
    }
    Store(v, rule.edit, *value);
  }
  for (const EditRule& rule : rules) {
    if (!rule.english) continue;  // converted only
    // Checked as entered: a 16-bit edit outside 16 bits is refused, never
    // written as what is left of it (a feed line of 70000 would otherwise go
    // out as 4464, -1 as 65535).
    const long long value = *ParseInt32(TextOf(st, rule.edit));
    if (value >= rule.min && value <= rule.max) continue;
    if (rule.zeroPasses && value == 0) continue;
    if (!rule.stops) {
      check.notices.push_back(rule);
      continue;
    }
    check.english = rule.english;
    check.chinese = rule.chinese;
    check.englishOnly = rule.englishOnly;
    return check;
  }
  check.values = v;
  return check;
}

EditCheck CheckEdits(const EditorState& state) { return CheckEdits(state, M512IIProfile().saveChecks); }

std::optional<uint16_t> WrittenValue(CommonSetting setting, const EditorState& st, const EditValues& ed,
                                     const CommonAddressProfile& profile) {
  return Row(setting).encode(st, ed, profile);
}

std::optional<Bytes> BuildExport(const EditorState& st, const EditValues& ed, const CommonAddressProfile& profile,
                                 std::optional<CommonSetting>* refused) {
  SettingsFileWriter writer;
  for (const FileRecordKey& record : profile.exportOrder) {
    const auto value = WrittenValue(record.setting, st, ed, profile);
    if (!value && record.leftOutWhenRefused) continue;
    if (!value || !writer.SaveSettingsToFile(record.key, *value)) {
      if (refused) *refused = record.setting;
      return std::nullopt;
    }
  }
  return writer.Finish(profile.tag);
}

std::string RefusedSettingText(CommonSetting setting) {
  const SettingRow& row = Row(setting);
  std::string text = row.saveRefusalText ? row.saveRefusalText : row.getFailText;
  if (!text.empty() && text.back() == ',') text.pop_back();
  return text;
}

}  // namespace torva::settings
