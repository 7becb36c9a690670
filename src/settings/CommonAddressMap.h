// The common address map of the VD-M512II family: the settings its editors
// read from the printer, write to it and to a settings file, as rows of data,
// and the profiles that make one editor of the family out of them. Widget-free:
// the editor dialog keeps its controls in an EditorState and calls these
// functions, and tests call them directly.
//
// A row is one setting's codec: its printer address, how Get shows a reply,
// the value Save and Export write (or the setter's refusal), what an import
// accepts, and the texts a failed read or a refused setter adds to the result
// line. Rows are looked up by key (Row); a model whose printer encodes a
// setting differently uses a variant row with a key of its own (the bundler
// printers' presenter and paper-out mode, the VD-K305's baud and flow-control
// readings).
//
// A profile is one editor: model code, caption, font, tag, baud list, the
// orders of Get, Save and Export, the edit checks of Save and Export, which
// setter refusals end a Save, the file keys of its records and what its import
// accepts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/EditorCommon.h"
#include "settings/SettingsFile.h"

namespace torva::settings {

// Row keys. The first nineteen are numbered in the order the VD-M512II's Save
// queues them.
enum class CommonSetting : int {
  BaudRate = 1,
  FlowControl,
  DataBits,
  StopBits,
  Parity,
  PrintSpeed,
  PrintDarkness,
  PaperType,
  StopOnNearEnd,
  AlarmOnNearEnd,
  AutoCutter,
  CRCommand,
  Beeper,
  PresenterEnable,
  PaperOutMode,
  FeedLineInMark,
  PresenterWaitTime,
  AutoLoadingTime,
  AutoLoadingSpeed,
  // The paper width other models of the family write at 66: an import
  // accepts it (up to 80) and shows nothing.
  PaperWidth,
  // LED of the VD-K305: control mode (B7) and glint times (B8, lo = light,
  // hi = extinct, in 20 ms). Get reads B8 twice, once per time.
  LEDControlMode,
  LEDTime,
  LEDLightTime,
  LEDExtinctTime,
  // Margins, code page, receive buffer and automatic presenting (VD-N512).
  DefaultLeftMargin,
  DefaultRightMargin,
  CodePage,
  RxBufferSize,
  AutoPresentPaper,
  // Variant codecs.
  BaudRateSlowRatesShown,   // Get also takes 2400 (5) as "9600" and 1200 (6) as "4800"
  FlowControlOneKept,       // Get reply 1 leaves the flow-control box as it was
  BundlerEnable,            // 3E: enabled is 2
  BundlerWorkMode,          // 60: 0, 2, 4; replies 1 and 3 keep the selection
};

struct CommonAddressProfile;
struct EditorState;
struct EditValues;

// One setting's codec and texts.
struct SettingRow {
  CommonSetting setting;
  uint8_t address;              // on the printer
  const char* getFailText;      // appended to "Fail to get"
  const char* saveRefusalText;  // appended to "Fail to save"; nullptr for a setter whose result is not looked at
  bool setterChecksHandle;      // the setter refuses a handle of 0 or less
  // Get: puts a 2-byte reply into the state; false when the reply is refused
  // (the control keeps its value).
  bool (*decode)(uint8_t lo, uint8_t hi, EditorState& state, const CommonAddressProfile& profile);
  // Save and Export: the value written, nullopt when the setter refuses it.
  std::optional<uint16_t> (*encode)(const EditorState& state, const EditValues& edits,
                                    const CommonAddressProfile& profile);
  // Import: puts a record's value into the state; false when refused.
  // nullptr: the record is taken as Get takes a reply.
  bool (*import)(uint8_t lo, uint8_t hi, EditorState& state, const CommonAddressProfile& profile);
};

// The row of a key.
const SettingRow& Row(CommonSetting setting);
inline const SettingRow& InfoOf(CommonSetting setting) { return Row(setting); }

// The edits of Save and Export.
enum class Edit { Speed, Darkness, FeedLine, WaitTime, AutoTime, AutoSpeed, LightTime, ExtinctTime, LeftMargin, RightMargin };

// One check of Save or Export: the edit's value must lie in min..max, else
// the warning pair is shown.
struct EditRule {
  Edit edit;
  int min;
  int max;
  const char* english;
  const char* chinese;
};

// What a setter's refusal does to a Save.
enum class Refusal {
  EndsSave,     // its text is appended and the Save ends, nothing sent
  AppendsText,  // its text is appended, the Save goes on (and reports failure)
  NotLookedAt,  // the command is left out, nothing said
};
struct SaveStep {
  CommonSetting setting;
  Refusal refusal;
};
// A record of the settings file: the row and the key (byte 8) it carries in
// the file, which is the printer address except where a model says otherwise.
struct FileRecordKey {
  CommonSetting setting;
  uint8_t key;
};

// One editor of the family.
struct CommonAddressProfile {
  int modelCode;
  const char* objectName;  // the dialog class name, for the window's object name
  const char* caption;
  const char* fontFamily;
  const char* tag;
  bool baud115200;  // the baud list ends with "115200"
  std::vector<CommonSetting> getOrder;
  std::vector<SaveStep> saveOrder;
  std::vector<FileRecordKey> exportOrder;
  std::vector<FileRecordKey> importTable;  // what an import accepts, by file key
  std::vector<EditRule> saveChecks;
  std::vector<EditRule> exportChecks;
  const char* saveFormatChinese;  // Save's warning for a text that is not an integer
  int importCapacity;             // records the import's store holds
  bool oddSizeRefused;            // a file of the wrong length is refused without a question
  // File dialogs: the save dialog's filter and whether it asks before
  // replacing a file, the open dialog's filters (Qt filter text).
  const char* saveFilter;
  bool saveConfirmsOverwrite;
  const char* openFilter;
};
const CommonAddressProfile& M512IIProfile();
const CommonAddressProfile& M512Profile();
const CommonAddressProfile& K512Profile();
const CommonAddressProfile& K201Profile();
const CommonAddressProfile& K305Profile();
const CommonAddressProfile& N512Profile();
// Every profile above.
const std::vector<const CommonAddressProfile*>& CommonAddressProfiles();

// What the dialog's controls hold. A list index of -1 shows nothing. Controls
// that a model's form lacks keep these values.
struct EditorState {
  int baud = 3;       // cboComBaudRate: "4800" "9600" "19200" "38400" "57600" ["115200"]
  int dataBits = 0;   // cboComDataBits: "8" "7"
  int stopBits = 0;   // cboComStopBits: "1" "2"
  int parity = 2;     // cboComParity: "Even" "Odd" "None"
  int flow = 0;       // cboComFlowControl: "DTR/DSR"
  std::string speed = "150";
  std::string darkness = "110";
  int paperType = 0;  // rgPaperType: "Receipt" "Mark/Label"
  int presenter = 0;  // PresenterEnabale: "Enable" "Disable"
  int beeper = 1;     // rgBeeper: "On" "Off"
  int autoCutter = 0; // rgAutoCutter: "On" "Off"
  int cr = 1;         // rgCR: "Enable" "Disable"
  bool stopOnNearEnd = false;
  bool alarmOnNearEnd = true;
  int paperOutMode = 0;  // PaperOutMode: "Retract" "Paper Forward" "Paper Hold"
                         // (bundler: "Retraction" "Keep Paper" "Command Control")
  std::string feedLine = "0";
  std::string waitTime = "0";
  std::string autoTime = "0";
  std::string autoSpeed = "0";
  int ledMode = 1;  // rgLEDcontrolmode: "Non-Driver Control" "Driver Control"
  std::string lightTime = "1";
  std::string extinctTime = "1";
  std::string leftMargin = "7";
  std::string rightMargin = "9";
  int codePage = 0;     // cboCodePage: kCodePageItems
  int rxBuffer = 0;     // rgBufferSize: "4096 Bytes" "45 Bytes"
  int autoPresent = 0;  // AutoPresentPaper: "Enable" "Disable"

  bool operator==(const EditorState&) const = default;
};

// Item lists of the controls.
std::vector<std::string> BaudItems(const CommonAddressProfile& profile);
extern const std::vector<std::string> kDataBitsItems, kStopBitsItems, kParityItems, kFlowItems;
extern const std::vector<std::string> kPaperTypeItems, kEnableDisableItems, kOnOffItems, kPaperOutItems;
extern const std::vector<std::string> kBundlerWorkModeItems, kLEDModeItems, kCodePageItems, kRxBufferItems;
// The text a list shows for an index; empty for -1 or an index past its end.
std::string ItemText(const std::vector<std::string>& items, int index);

// Get: puts one 2-byte reply into the state by the setting's row; false when
// the reply is not one the setting accepts (the control then keeps its value).
bool ApplyReply(CommonSetting setting, uint8_t lo, uint8_t hi, EditorState& state,
                const CommonAddressProfile& profile);

// Import: puts one record's value into the state. Accepted is false for a key
// the profile's import table does not know or a value its row does not accept.
bool ApplyImportRecord(uint8_t address, uint8_t lo, uint8_t hi, EditorState& state,
                       const CommonAddressProfile& profile);

// The edits of Save and Export, converted and range-checked.
struct EditValues {
  int speed = 0;
  int darkness = 0;
  uint16_t feedLine = 0;
  int waitTime = 0;
  uint16_t autoTime = 0;
  uint16_t autoSpeed = 0;
  int lightTime = 0;
  int extinctTime = 0;
  int leftMargin = 0;
  int rightMargin = 0;
};
struct EditCheck {
  std::optional<EditValues> values;  // set when every check passed
  bool formatError = false;          // a text was not an integer
  std::string english, chinese;      // the range warning of the first failure
};
// Converts the edits the rules name (trimmed, all conversions first), then
// checks the rules in order, each on the value as entered: feed line,
// auto-loading time and auto-loading speed are 16-bit values, and one
// outside 16 bits is refused, never cut to its low 16 bits.
EditCheck CheckEdits(const EditorState& state, const std::vector<EditRule>& rules);
// The checks of the VD-M512II's Save.
EditCheck CheckEdits(const EditorState& state);

// The value a setter or the export writes for a setting, or nullopt when the
// setter refuses it (a value outside its accepted values).
std::optional<uint16_t> WrittenValue(CommonSetting setting, const EditorState& state, const EditValues& edits,
                                     const CommonAddressProfile& profile);

// The settings file of the state: the export's records in the profile's order
// and the tag. nullopt when a record is refused.
std::optional<Bytes> BuildExport(const EditorState& state, const EditValues& edits,
                                 const CommonAddressProfile& profile);

}  // namespace torva::settings
