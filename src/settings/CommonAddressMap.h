// The common address map of the VD-M512II family: the nineteen settings, how
// each is read from the printer, written to it and to a settings file, and
// what an imported record may hold. Widget-free: the editor dialog keeps its
// controls in an EditorState and calls these functions, and tests call them
// directly.
//
// Editors that share this map differ in a profile: model code, tag, caption,
// font and whether the baud list has "115200".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "settings/EditorCommon.h"
#include "settings/SettingsFile.h"

namespace torva::settings {

// The settings, numbered in the order Save queues them.
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
};

struct CommonSettingInfo {
  CommonSetting setting;
  uint8_t address;
  const char* getFailText;     // appended to "Fail to get"
  const char* saveRefusalText; // appended to "Fail to save"; nullptr: the setter's result is not looked at
  bool setterChecksHandle;     // the setter refuses a handle of 0 or less
};

// The nineteen rows in Save order.
const std::vector<CommonSettingInfo>& CommonSettings();
const CommonSettingInfo& InfoOf(CommonSetting setting);

// One editor of the family.
struct CommonAddressProfile {
  int modelCode;
  const char* objectName;  // the dialog class name, for the window's object name
  const char* caption;
  const char* fontFamily;
  const char* tag;
  bool baud115200;  // the baud list ends with "115200"
  std::vector<CommonSetting> getOrder;
  std::vector<CommonSetting> exportOrder;
  int importCapacity;  // records the import's store holds
};
const CommonAddressProfile& M512IIProfile();
const CommonAddressProfile& M512Profile();

// What the dialog's controls hold. A list index of -1 shows nothing.
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
  std::string feedLine = "0";
  std::string waitTime = "0";
  std::string autoTime = "0";
  std::string autoSpeed = "0";

  bool operator==(const EditorState&) const = default;
};

// Item lists of the controls.
std::vector<std::string> BaudItems(const CommonAddressProfile& profile);
extern const std::vector<std::string> kDataBitsItems, kStopBitsItems, kParityItems, kFlowItems;
extern const std::vector<std::string> kPaperTypeItems, kEnableDisableItems, kOnOffItems, kPaperOutItems;
// The text a list shows for an index; empty for -1 or an index past its end.
std::string ItemText(const std::vector<std::string>& items, int index);

// Get: puts one 2-byte reply into the state; false when the reply is not one
// the setting accepts (the control then keeps its value).
bool ApplyReply(CommonSetting setting, uint8_t lo, uint8_t hi, EditorState& state,
                const CommonAddressProfile& profile);

// Import: puts one record's value into the state. Accepted is false for an
// address the map does not know or a value it does not accept.
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
};
struct EditCheck {
  std::optional<EditValues> values;  // set when every check passed
  bool formatError = false;          // a text was not an integer
  std::string english, chinese;      // the range warning of the first failure
};
// Converts the six edits (trimmed, all conversions first), then checks the
// ranges in Save's order.
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
