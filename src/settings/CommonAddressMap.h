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
// printers' presenter and paper-out mode, the VD-K305's baud readings).
//
// A profile is one editor: model code, caption, font, tag, baud list, the
// orders of Get, Save and Export, the edit checks of Save and Export, which
// setter refusals end a Save and which setters write at once, the file keys
// of its records and what its import accepts, its port routines' style.
//
// The VD-K773 is the family's largest editor: thirty-three rows of its own
// (keys K773...) besides three common ones, eighteen of them written at once
// during Save, a second print head, and the SwitchWord whose bits other than
// the data-error bit are kept from the last Get (K773SwitchWord).
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
  BundlerEnable,            // 3E: enabled is 2
  BundlerWorkMode,          // 60: 0, 2, 4; replies 1 and 3 keep the selection
  // The VD-K773's rows (its paper type, cutter and CR command are the common
  // ones).
  K773BaudRate,             // 16: Get refuses 2400 and 1200, an import takes them as 9600 and 4800
  K773FlowControl,          // 41: "DTR/DSR" "xon/xoff" "None"
  K773FeedLine,             // 2B
  K773DataBits,             // 17
  K773StopBits,             // 19
  K773Parity,               // 1B
  K773LeftMargin,           // 4E
  K773RightMargin,          // 4A
  K773PrintSpeed,           // 06: Get and Save 25..255
  K773PrintDarkness,        // 02: lo head 1, hi head 2
  K773Beeper,               // 59: "Disable" "Enable"
  K773IntlCharSets,         // CB
  K773CodePage,             // 6D: its own list of fourteen code pages
  K773PresenterEnable,      // 3E
  K773PaperOutMode,         // 60: "Retract" "Paper Forward" "Waiting"
  K773PresenterWaitTime,    // 3C
  K773AutoLoadingTime,      // 78
  K773AutoLoadingSpeed,     // 52
  K773USBMode,              // 70
  K773CutPaperMode,         // 87
  K773PrintingSurface,      // 05
  K773PrinterMode,          // C4 (an import also takes it keyed 65)
  K773DataError,            // 09: bit 1 of the SwitchWord's high byte
  K773RxBufferSize,         // 7D
  K773PaperWidth,           // 66: Save 0..80
  K773PaperNearEnd,         // 43: "Continue" "Stop"
  K773WaterMarkEnable,      // 89
  K773WaterMarkAlignment,   // 8B
  K773WaterMarkMode,        // 8A
  K773WaterMarkEnlarge,     // 8C: lo horizontal, hi vertical
  // The VD-K773's settings file, where it differs from Get and Save: the
  // speed up to 350, the second head 0 for "as head 1", the paper width
  // unchecked, and the enlargement's halves imported one by one.
  K773PrintSpeedFile,
  K773PrintDarknessFile,
  K773PaperWidthFile,
  K773EnlargeHorizontal,
  K773EnlargeVertical,
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
  // When a Get fails at this row, an English-only box with the application's
  // title says this before the result line shows; nullptr: no box.
  const char* getFailBox = nullptr;
};

// The row of a key.
const SettingRow& Row(CommonSetting setting);
inline const SettingRow& InfoOf(CommonSetting setting) { return Row(setting); }

// The edits of Save and Export.
enum class Edit {
  Speed, Darkness, FeedLine, WaitTime, AutoTime, AutoSpeed, LightTime, ExtinctTime, LeftMargin, RightMargin,
  Head2,  // the VD-K773's second print head
};

// One check of Save or Export: the edit's value must lie in min..max, else
// the warning pair is shown.
struct EditRule {
  Edit edit;
  int min;
  int max;
  const char* english;  // nullptr: the edit is converted, its range not checked
  const char* chinese;
  // The box is English in both languages, with the application's title.
  bool englishOnly = false;
  // A failure ends the check; false: its box is shown and the check goes on.
  bool stops = true;
  // 0 passes too (a second head of 0 exports as the first).
  bool zeroPasses = false;
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
  // Written at once when its setter runs (a write that fails ends the Save
  // like a refusal); false: queued and sent in one write after the last step.
  bool direct = false;
};
// A record of the settings file: the row and the key (byte 8) it carries in
// the file, which is the printer address except where a model says otherwise.
struct FileRecordKey {
  CommonSetting setting;
  uint8_t key;
  // Export: a value the row refuses (nothing selected) leaves this record
  // out; false: it refuses the whole export.
  bool leftOutWhenRefused = false;
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
  // The port routines' style and how the port is opened.
  PortStyle portStyle = kEcPortStyle;
  link::PortSessionPlan portPlan = kEditorPortPlan;
  // Point size of the dialog's font; 0: the application's.
  int fontPointSize = 0;
  // Get's state line: the speed note after this row, the darkness note (when
  // noted) and the closing after that one.
  CommonSetting speedRow = CommonSetting::PrintSpeed;
  CommonSetting darknessRow = CommonSetting::PrintDarkness;
  bool getNotesDarkness = true;
  // Import: an empty file asks "... is empty!" and ends the import; a file of
  // the wrong length taken on with OK is marked failed; a record of an
  // address the table lacks is ignored (else it marks the import failed).
  bool emptyFileAsked = false;
  bool oddSizeMarksFailed = false;
  bool unknownImportIgnored = false;
};
const CommonAddressProfile& M512IIProfile();
const CommonAddressProfile& M512Profile();
const CommonAddressProfile& K512Profile();
const CommonAddressProfile& K201Profile();
const CommonAddressProfile& K305Profile();
const CommonAddressProfile& N512Profile();
const CommonAddressProfile& K773Profile();
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
  // VD-K773 (its BufferSize group is rxBuffer, its Head1 darkness, its
  // cboCodePage lists kK773CodePageItems).
  std::string head2 = "68";    // Head2, the second print head
  int beeperEnable = 0;        // rgBeeperEnable: "Disable" "Enable"
  int printerMode = 0;         // rgDataError: "Printer Mode 1" "Printer Mode 2"
  int paperNearEnd = 0;        // PaperNearEnd: "Continue" "Stop"
  int printingSurface = 0;     // PrintingSurface: "Front" "Back"
  int watermarkEnable = 1;     // rgWatermarkEnable: "Disable" "Enable"
  int cutPaperMode = 0;        // CutPaperMode: "default" "Half Cut " "Full Cut"
  int watermarkMode = 0;       // ComboBox3: "Feeding" " Printing"
  int watermarkAlignment = 0;  // ComboBox2: "Left" "Center" "Right"
  int intlChar = 0;            // intlChar: kIntlCharItems
  int usbMode = 1;             // USBMode: "Class" "API"
  int comDataError = 0;        // ComDataError: "Print '?'" "Ignored"
  std::string enlargeHorizontal = "1";  // EditHorizon
  std::string enlargeVertical = "1";    // EditVertical
  std::string paperWidth = "0";         // PaperWidth, mm

  bool operator==(const EditorState&) const = default;
};

// Item lists of the controls.
std::vector<std::string> BaudItems(const CommonAddressProfile& profile);
extern const std::vector<std::string> kDataBitsItems, kStopBitsItems, kParityItems, kFlowItems;
extern const std::vector<std::string> kPaperTypeItems, kEnableDisableItems, kOnOffItems, kPaperOutItems;
extern const std::vector<std::string> kBundlerWorkModeItems, kLEDModeItems, kCodePageItems, kRxBufferItems;
extern const std::vector<std::string> kK773CodePageItems, kIntlCharItems;
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
// The same with the two ways of not applying told apart. A key may have
// several rows (the halves of one record): each is applied or refused by
// itself, and the record is refused when one of them refuses.
enum class ImportOutcome { Applied, Refused, NotInTable };
ImportOutcome ImportRecord(uint8_t address, uint8_t lo, uint8_t hi, EditorState& state,
                           const CommonAddressProfile& profile);

// The VD-K773's SwitchWord (09): the two bytes of its last successful read.
// Save and Export write them back with bit 1 of the high byte (data error)
// taken from the dialog; an import does not change them. They start at 0 and
// stay for the whole run, also for later dialogs.
struct SwitchWordBytes {
  uint8_t LowByteData = 0;
  uint8_t HightByteData = 0;
};
SwitchWordBytes K773SwitchWord();
void SetK773SwitchWord(SwitchWordBytes bytes);

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
  int head2 = 0;
};
struct EditCheck {
  std::optional<EditValues> values;  // set when every check passed
  bool formatError = false;          // a text was not an integer
  std::string english, chinese;      // the range warning of the first failure
  bool englishOnly = false;          // that warning is English in both languages
  // Failed checks that do not stop (their boxes come first), in order.
  std::vector<EditRule> notices;
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
// and the tag. nullopt when a record is refused; `refused`, when given, then
// names its setting.
std::optional<Bytes> BuildExport(const EditorState& state, const EditValues& edits,
                                 const CommonAddressProfile& profile,
                                 std::optional<CommonSetting>* refused = nullptr);
// How a result line names a setting whose value was refused: its Save refusal
// text (its Get failure text where it has none) without the closing comma,
// " intlChar flag" for the VD-K773's character set.
std::string RefusedSettingText(CommonSetting setting);

}  // namespace torva::settings
