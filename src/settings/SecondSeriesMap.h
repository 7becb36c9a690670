// The settings of the POS-style editors (RW-K201, RW-K305/RW-K305W, RWN-K409,
// RW-K201E, RW-K305E, RW-K305GII, and the editors that become profiles of the
// same frame): tables of settings
// (printer address, file key, codec), the dialog's controls as plain data,
// and every rule that turns a printer reply, a control or a file record into
// another of them. Widget-free: the dialog keeps its controls in a FormState
// and calls these functions; tests call them directly.
//
// An editor is a profile: model codes, class, caption, tag, the Get (and Save)
// order, the export list, the import keys, which widgets are hidden, the
// code-page items, whether Save stores the chosen serial data bits, the save
// plan (one queued write, or one write per setting in the port kind's order
// with its pauses), the wait after the reset, the button rules and the checks
// of its edits. The frame holds no model knowledge of its own.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/EditorCommon.h"
#include "settings/SettingsFile.h"

namespace torva::settings::second {

// The controls that carry settings, named as the forms name them.
enum class Control : int {
  cboBaudrate,
  cboFlowControl,
  cboDataBits,
  cboStopbits,
  cboParity,
  edtDefaultLeftMargin,
  edtDefaultRightMargin,
  edtPrintSpeed,
  edtPrintDarkness,
  FeedLine,
  chkStopPrintingOnPaperNearEnd,
  chkAlarmOnPaperNearEnd,
  rgAutoCutter,
  rgCR,
  rgPaperType,
  rgBeeper,
  rgBufferSize,
  rgDataError,
  cboCodePage,
  EditLength1,  // paper-jam detect length, cm
  EditLength2,  // roll-paper-loose detect length, cm
};
inline constexpr int kControlCount = static_cast<int>(Control::EditLength2) + 1;

enum class ControlKind {
  List,   // drop-down list: an item index, -1 = no selection
  Edit,   // edit: its text
  Check,  // check box: checked or not
  Radio,  // radio group: the index of the checked button, -1 = none
};

struct ControlInfo {
  Control control;
  const char* name;  // the widget's object name
  ControlKind kind;
  std::vector<std::string> items;  // lists and radio groups; a profile may replace the code pages
};
const ControlInfo& InfoOf(Control control);
const std::vector<ControlInfo>& Controls();

// What one control holds.
struct ControlValue {
  int index = -1;
  std::string text;
  bool checked = false;
  bool operator==(const ControlValue&) const = default;
};

// What the dialog's controls hold.
struct FormState {
  std::array<ControlValue, kControlCount> values{};
  ControlValue& operator[](Control c) { return values[static_cast<size_t>(c)]; }
  const ControlValue& operator[](Control c) const { return values[static_cast<size_t>(c)]; }
  bool operator==(const FormState&) const = default;
};

// The settings, and how each one's 16-bit value is coded.
enum class Setting : int {
  CommBaudRate,
  CommFlowControl,
  CommDataBits,
  CommStopBits,
  CommParity,
  DefaultLeftMargin,
  DefaultRightMargin,
  PrintSpeed,
  PrintDarkness,
  StopPrintingOnPaperNearEnd,
  AlarmOnPaperNearEnd,
  AutoCutter,
  CRCommand,
  PaperType,
  Beeper,
  CodePage,
  RxBufferSize,
  FeedLineInMark,
  DataError,
  PaperJamLength,
  PaperLooseLength,
};

enum class Codec {
  FlowControl,       // 0 DTR/DSR, 1 XON/XOFF
  Margin,            // 0..100 written; any value read
  Speed,             // 25..150; another value reads -1
  Darkness,          // 1..254
  Flag,              // 0 off, 1 on (a check box, or a radio group with "Enable" first)
  SwitchWordCutter,  // bit 3 of the high byte of the switch word, 1 = cutter off
  PaperType,         // 0 receipt, 1 mark/label
  Word,              // any 16-bit value
  DataError,  // 0 print '?', 1 ignored (FF FF reads 0); written as the item index
  // The common address map's row of the same setting (CommonAddressMap.h):
  // baud codes, data and stop bits and parity with their FF readings, code
  // page, Rx buffer. Its Get, setter and import rules, not a copy of them.
  Common,
  Length,  // 0..256 cm (256 is 00 01); another reply fails
};

struct SettingRow {
  Setting setting;
  uint8_t address;  // printer address
  uint8_t fileKey;  // key of its settings-file record
  Codec codec;
  Control control;
};
// The eighteen settings of the RW-K201 and RW-K305, in Get order.
const std::vector<SettingRow>& RWK201Settings();
// The nineteen settings of the RWN-K409, in Get (Save, Export) order.
const std::vector<SettingRow>& K409Settings();
// The eleven of the RW-K201E and of the RW-K305E (near-end stop at 44 and 43),
// in Get order: no serial settings, CR command or beeper, the cutter a plain
// flag at 30.
const std::vector<SettingRow>& RWK201ESettings();
const std::vector<SettingRow>& RWK305ESettings();
// The fifteen of the RW-K305GII, in Get order: flow control at the printer's
// 41 (filed under 40), the paper-jam and paper-loose lengths at 0E and 0F.
const std::vector<SettingRow>& RWK305G2Settings();

// The checks of the edits before a Save or an Export, in the order they run.
// Every edit of the list is converted first; then the ranges are checked.
struct EditCheckRow {
  Control control;
  int minimum;
  int maximum;
  const char* english;  // the warning when the value is outside the range
  const char* chinese;
};
struct EditRules {
  std::vector<EditCheckRow> rows;
  const char* formatEnglish;  // the warning for a text that is not an integer
  const char* formatChinese;
};

// The validated numbers of the edits.
struct EditValues {
  std::map<Control, int> numbers;
  int at(Control c) const;  // 0 for an edit that was not converted
};
struct EditCheck {
  std::optional<EditValues> values;  // set when every check passed
  bool formatError = false;          // a text was not an integer
  std::string english, chinese;      // the warning of the first failure
};
EditCheck CheckEdits(const FormState& state, const EditRules& rules);

// The button states the frame sets, one row per event.
enum class ButtonEvent : int {
  OperationStarts,  // Get or Save starts
  GetSucceeds,
  GetFails,         // a getter failed, the port did not open, or its kind is not served
  SaveFails,        // a refused edit or value, a port that did not open, a failed write
  SaveSucceeds,
};
inline constexpr int kButtonEventCount = 5;
struct ButtonStates {
  bool get, save, importFile, exportFile, exit;
  bool operator==(const ButtonStates&) const = default;
};
using ButtonRules = std::array<ButtonStates, kButtonEventCount>;
// Save becomes usable only through a successful Get, and a successful Save
// disables it again.
const ButtonRules& PosButtonRules();
// The RWN-K409's: as above, but every end of a Save leaves all five usable.
const ButtonRules& K409ButtonRules();

// How Save sends the settings.
enum class SavePlan {
  OneQueuedWrite,  // every setting into the command queue, the queue in one write
  DirectWrites,    // one write per setting, at once, in the port kind's order
};

// One write of a direct-write Save and the pauses around it.
struct DirectWrite {
  Setting setting;
  int pauseBeforeMs = 0;
  int pauseAfterMs = 0;  // waited whether the write succeeded or not
};
// The writes of a direct-write Save on one port kind, and the wait after the
// reset that ends it.
struct DirectWriteOrder {
  int portKind;  // PortCOM, PortUSB, PortUSBPrinter
  std::vector<DirectWrite> writes;
  int resetWaitMs;
};

// Which HighBuf09 an editor keeps.
enum class SwitchWordSlot : int { RWK201, RWK305 };

// The message texts of the frame.
struct FrameTexts {
  const char* getSucceededEnglish = "Get Eeprom data from printer successfully!";
  const char* getSucceededChinese = "读取Eeprom成功！";
  const char* getFailedEnglish =
      "Fail to get data from the printer!\r\nPlease check whether the printer is connected to the specified port "
      "correctly.";
  const char* getFailedChinese = "读取打印机数据失败！\r\n请检查打印机是否正确连接到指定端口。";
  const char* saveSucceededEnglish = "After feeding paper,Please turn off the printer and turn it on!";
  const char* saveSucceededChinese = "请在打印机完成走纸动作后复位打印机！";
  const char* saveFailedEnglish = "Save Eeprom settings unsuccessfully!";
  const char* saveFailedChinese = "配置Eeprom失败！";
};

struct SecondSeriesProfile {
  std::vector<int> modelCodes;
  const char* className;  // the dialog class, also the window's object name
  const char* caption;
  const char* fontFamily;
  const char* tag;  // of its settings files
  const std::vector<SettingRow>* settings;
  std::vector<Setting> getOrder;     // Save queues in the same order
  std::vector<Setting> exportOrder;  // each record under the setting's file key
  // Keys the import takes besides the export's: (key, setting).
  std::vector<std::pair<uint8_t, Setting>> extraImportKeys;
  int importCapacity;  // records an import holds; a file with more is refused
  std::vector<Control> controls;           // the controls its form holds
  std::vector<const char*> hiddenWidgets;  // by object name
  std::vector<const char*> disabledWidgets;
  std::vector<std::string> codePageItems;
  int codePageStart;  // -1: no selection
  bool saveStoresDataBits;  // a successful Save makes ComParameter.Databits the chosen bits
  SavePlan savePlan;
  std::vector<DirectWriteOrder> directWrites;  // DirectWrites: one order per port kind
  int resetWaitMs;                             // after the reset that ends a queued Save
  bool f1Help;
  bool centreOnScreen;  // else the toolkit's place (over the owner)
  EditRules saveChecks;
  EditRules exportChecks;
  ButtonRules buttons;
  FrameTexts texts;
  SwitchWordSlot switchWord;
  // The buttons as the dialog opens: get, save, import, export, exit.
  ButtonStates startButtons{true, false, true, false, true};
};
const SecondSeriesProfile& RWK201Profile();
const SecondSeriesProfile& RWK305Profile();
const SecondSeriesProfile& K409Profile();
const SecondSeriesProfile& RWK201EProfile();
const SecondSeriesProfile& RWK305EProfile();
const SecondSeriesProfile& RWK305G2Profile();
// Every profile, one per editor.
const std::vector<const SecondSeriesProfile*>& SecondSeriesProfiles();

// True when the profile's form holds the control.
bool HasControl(const SecondSeriesProfile& profile, Control control);

// The row of a setting in the profile's table; nullptr when it has none.
const SettingRow* RowOf(const SecondSeriesProfile& profile, Setting setting);
// The items a list or radio group shows under this profile.
const std::vector<std::string>& ItemsOf(const SecondSeriesProfile& profile, Control control);
// The text of an item; empty for -1 or an index past the end.
std::string ItemText(const std::vector<std::string>& items, int index);

// The controls as the form starts; a control its form lacks holds nothing.
FormState StartState(const SecondSeriesProfile& profile);

// The kept high byte of the switch word (address 09) of one editor: 0 when
// the program starts, set by every cutter reply before it is judged, the
// source of the other bits in Save and Export, untouched by Import.
int& HighBuf09(SwitchWordSlot slot);
inline int& HighBuf09(const SecondSeriesProfile& profile) { return HighBuf09(profile.switchWord); }

// Get: puts one reply into the state. False when the setting does not take
// the reply (the control keeps its value). A cutter reply sets highBuf09
// first, whatever its low byte.
bool ApplyReply(const SettingRow& row, uint8_t lo, uint8_t hi, FormState& state, int& highBuf09,
                const SecondSeriesProfile& profile);

// Save and Export: the value a setter writes for the control, or nullopt when
// the setter refuses it. Edits come from the validated numbers.
std::optional<uint16_t> SetterValue(const SettingRow& row, const FormState& state, const EditValues& edits,
                                    int highBuf09, const SecondSeriesProfile& profile);

// Save: the settings' commands in the profile's order, or the setting whose
// setter refused.
struct SaveCommands {
  std::vector<std::pair<const SettingRow*, uint16_t>> commands;
  const SettingRow* refused = nullptr;
  // The data bits the Save writes (7 or 8), 0 when the profile has none.
  int dataBits = 0;
};
SaveCommands BuildSaveCommands(const FormState& state, const EditValues& edits, int highBuf09,
                               const SecondSeriesProfile& profile);

// A direct-write Save on one port kind: the commands in the kind's order,
// each with its pauses. Empty for a queued profile or a kind it has no order
// for.
struct PlannedWrite {
  const SettingRow* row;
  uint16_t value;
  int pauseBeforeMs;
  int pauseAfterMs;
};
std::vector<PlannedWrite> PlanDirectWrites(const SaveCommands& commands, const SecondSeriesProfile& profile,
                                           int portKind);
// The wait after the reset that ends a Save on this port kind.
int ResetWaitMs(const SecondSeriesProfile& profile, int portKind);

// Export: the whole file (records in the export order, then the tag), or
// nullopt when a record is refused.
std::optional<Bytes> BuildExport(const FormState& state, const EditValues& edits, int highBuf09,
                                 const SecondSeriesProfile& profile);

// Import: puts one record into the state. False for a key the profile does
// not take or a value the setting does not accept (the state is unchanged).
bool ApplyImportRecord(uint8_t key, uint8_t lo, uint8_t hi, FormState& state, const SecondSeriesProfile& profile);

// How an import of a whole file ends.
enum class ImportOutcome {
  NotNormal,  // refused by size, record count or tag: nothing applied
  Applied,    // every record applied
  Faulty,     // applied, but some record was faulty or the file was cut short
};
// Reads and applies a whole file held in memory.
ImportOutcome ImportFile(const uint8_t* data, size_t size, FormState& state, const SecondSeriesProfile& profile);
inline ImportOutcome ImportFile(const Bytes& data, FormState& state, const SecondSeriesProfile& profile) {
  return ImportFile(data.data(), data.size(), state, profile);
}
// The most bytes an import reads of a file the size check passes.
long long ImportReadLimit(const SecondSeriesProfile& profile);

}  // namespace torva::settings::second
