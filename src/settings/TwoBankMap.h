// The address map of the two-bank family (VD-H738, VD-K466, VD-K772 and
// VD-K772II, VD-K9034): every setting with its bank, address and codec, what
// the editor dialog's controls hold (TwoBankState), the edit checks of Save
// and Export as data, the export records and the import tables of the
// settings file. Widget-free: the editor dialog keeps its controls in a
// TwoBankState and calls these functions; tests call them directly. The
// exchange with the printer (getters, setters, the Get and Save sequences)
// is in TwoBankExchange.h.
//
// The four editors are one frame and a profile each (TwoBankProfileFor):
// the profile holds every difference between them (tag and framing of the
// file, the printing-surface setting, paper-out modes, paper width, settle
// pauses, the Get, Save and export orders, the import rows, the checks and
// the dialog's look).
//
// Values travel as two bytes, lo first. An index of -1 in the state means
// "no item selected" (a list box or radio group showing nothing); an edit
// holds its text, converted only when Save or Export reads it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "settings/EditorCommon.h"
#include "settings/SettingsFile.h"

namespace torva::settings {

// Every setting of the family, in the order of its getters in the map.
enum class TwoBankSetting : int {
  BaudRate,           // bank 1, 16
  FlowControl,        // bank 1, 15
  DataStopBits,       // bank 1, 17: data bits lo, stop bits hi
  Parity,             // bank 1, 14
  LeftMargin,         // bank 1, 24
  RightMargin,        // bank 1, 25
  PrintSpeed,         // bank 1, 06
  PrintDarkness,      // bank 1, 02: head 1 lo, head 2 hi
  PaperType,          // bank 1, 12
  AutoCutter,         // bank 1, 30
  CRCommand,          // bank 2, 00
  CodePage,           // bank 1, 36: code page lo, international character set hi
  PresenterWaitTime,  // bank 1, 3C: seconds lo, kept high byte RestractTime
  AutoLoadingTime,    // bank 1, 41 (x20 ms)
  AutoLoadingSpeed,   // bank 1, 4E (mm/s)
  USBMode,            // bank 1, 70
  CutPaperMode,       // bank 1, 31: mode lo, kept high byte CutModeHigh
  DataError,          // bank 2, 10
  RxBufferSize,       // bank 1, 35
  PaperWidth,         // bank 1, 26 (mm)
  PaperEndInfluent,   // bank 1, 33
  PaperOutMode,       // bank 1, 4A: mode lo, kept high byte PaperOutMode
  DefaultInvert,      // bank 2, 03
  BackWaterMark,      // bank 1, 78: a WaterMarkWord
  FrontWaterMark,     // bank 1, 77: a WaterMarkWord
  FeedLineInMark,     // bank 1, 2B
  PrintingSurface,    // bank 1, 05 (VD-K772, VD-K9034 only)
};
inline constexpr int kTwoBankSettingCount = 27;

struct TwoBankSettingInfo {
  TwoBankSetting setting;
  const char* name;  // the setting's name ("CommBaudRate"), for messages in tests
  int bank;          // 1 or 2
  uint8_t address;
  bool queued;     // Q: the setter appends to the command queue; D: it writes at once
  bool watermark;  // the getter reads its reply through POSReadPort and never settles
};
const TwoBankSettingInfo& TwoBankInfoOf(TwoBankSetting setting);
// Every row, in TwoBankSetting order.
const std::vector<TwoBankSettingInfo>& TwoBankSettings();

// The pause a getter makes between its request and the reply, on PortUSB
// only (before the request when beforeRequest is set).
struct TwoBankSettle {
  int ms = 0;
  bool beforeRequest = false;
};

// ---------------------------------------------------------------- state

// One watermark group of the dialog (front or back).
struct TwoBankWaterMarkControls {
  int enable = 1;                // "Disable" "Enable"
  int inverted = 1;              // "Disable" "Enable"
  int printMode = 0;             // "Feeding" "Printing"
  int alignment = 0;             // "Left" "Center" "Right"
  std::string horizontal = "1";  // enlarge factor shown, 1..3
  std::string vertical = "1";

  bool operator==(const TwoBankWaterMarkControls&) const = default;
};

// What the editor dialog's controls hold, at their start values.
struct TwoBankState {
  int baud = 3;                   // cboComBaudRate: twobank::kBaudItems ("38400")
  int dataBits = 0;               // cboComDataBits: "8" "7"
  int stopBits = 0;               // cboComStopBits: "1" "2"
  int parity = 2;                 // cboComParity: "Even" "Odd" "None"
  int flow = 1;                   // cboComFlowControl: "DTR/DSR" "xon/xoff"
  int paperType = 0;              // rgPaperType: "Receipt" "Mark/Label"
  int usbMode = 1;                // USBMode: "Class" "API"
  int cr = 1;                     // rgCR: "Disable" "Enable"
  int autoCutter = 0;             // rgAutoCutter: "On" "Off"
  int dataError = 0;              // rgDataError: "Print '?'" "Ignored"
  int bufferSize = 0;             // BufferSize: "4KB" "64KB"
  int cutMode = 0;                // CutPaperMode: "default" "Half Cut " "Full Cut"
  int paperOutMode = 0;           // PaperOutMode: "Retract" "Paper Forward" "Waiting" ["No Waiting"]
  int printingSurface = 2;        // PrintingSurface: "Front" "Back" "Double Side "
  std::string paperEnd = "0";     // EditPaperEnd
  std::string leftMargin = "2";   // edtDefaultLeftMargin
  std::string rightMargin = "2";  // edtDefaultRightMargin
  std::string head1 = "68";       // Head1
  std::string head2 = "68";       // Head2
  std::string speed = "270";      // edtPrintSpeed
  std::string paperWidth = "80";  // PaperWidth
  std::string autoSpeed = "0";    // AotoSpeed
  std::string autoTime = "0";     // AutoTime
  std::string waitTime = "0";     // WaitTime
  std::string feedLine = "0";     // FeedLine
  int codePage = -1;              // cboCodePage: the profile's codePageItems; none selected at start
  int intlChar = 0;               // IntlChar: twobank::kIntlCharItems
  int defaultInvert = 1;          // rgDefaultInvertEnable: "Disable" "Enable"
  // rgWatermarkEnable, WaterMarkInverted, ComboBox2, ComboBox1, EditHorizon, EditVertical
  TwoBankWaterMarkControls front;
  // rgBackWaterMarkEnable, rgBackWaterMarkInvertedEnable, rgBackPrintTime,
  // BackWaterMarkalignment, BackHorizontal, backVertical
  TwoBankWaterMarkControls back;

  bool operator==(const TwoBankState&) const = default;
};

// The high bytes that three settings share with their address and that the
// editor does not show: kept from the last Get (or import, for the presenter
// wait time and the cut mode) and written back by the setters. One dialog
// owns one; they start at 0, so nothing kept from another printer is ever
// written to this one.
struct TwoBankKeptBytes {
  int paperOutMode = 0;  // PaperOutMode: the setter writes hi = 1 when it is not 0
  int restractTime = 0;  // RestractTime: hi of the presenter wait time (not kept by the VD-K9034)
  int cutModeHigh = 0;   // CutModeHigh: hi of the cut mode

  bool operator==(const TwoBankKeptBytes&) const = default;
};

// Item lists of the controls (the code-page list is the profile's).
namespace twobank {
extern const std::vector<std::string> kBaudItems;       // "4800" "9600" "19200" "38400" "57600" "115200"
extern const std::vector<std::string> kDataBitsItems;   // "8" "7"
extern const std::vector<std::string> kStopBitsItems;   // "1" "2"
extern const std::vector<std::string> kParityItems;     // "Even" "Odd" "None"
extern const std::vector<std::string> kFlowItems;       // "DTR/DSR" "xon/xoff"
extern const std::vector<std::string> kPaperTypeItems;  // "Receipt" "Mark/Label"
extern const std::vector<std::string> kUsbModeItems;    // "Class" "API"
extern const std::vector<std::string>
    kDisableEnableItems;                            // rgCR, rgDefaultInvertEnable, watermark enable/inverted
extern const std::vector<std::string> kOnOffItems;  // "On" "Off"
extern const std::vector<std::string> kDataErrorItems;   // "Print '?'" "Ignored"
extern const std::vector<std::string> kBufferSizeItems;  // "4KB" "64KB"
extern const std::vector<std::string> kCutModeItems;     // "default" "Half Cut " "Full Cut"
extern const std::vector<std::string> kSurfaceItems;     // "Front" "Back" "Double Side "
extern const std::vector<std::string> kIntlCharItems;    // 13 character sets, "U.S.A" .. "Latin America"
extern const std::vector<std::string> kPrintModeItems;   // "Feeding" "Printing"
extern const std::vector<std::string> kAlignmentItems;   // "Left" "Center" "Right"
}  // namespace twobank

// ---------------------------------------------------------------- watermark

// The 16-bit watermark setting of addresses 77 and 78. Fields as codes:
// alignment -1 when bits 3-4 are both set; horizontal and vertical as the
// factor 1..3 (codes 0 and 1 are both x1).
struct WaterMarkWord {
  int enable = 0;
  int printMode = 0;
  int inverted = 0;
  int alignment = 0;
  int horizontal = 1;
  int vertical = 1;

  bool operator==(const WaterMarkWord&) const = default;
};
WaterMarkWord DecodeWaterMark(uint8_t lo, uint8_t hi);
// nullopt when a field is outside its range (print mode, enable, inverted
// 0..1, alignment 0..2, horizontal and vertical 0..3); nothing is then sent.
std::optional<uint16_t> EncodeWaterMark(const WaterMarkWord& word);

// ---------------------------------------------------------------- checks

// The edits Save and Export read, converted.
struct TwoBankEdits {
  int leftMargin = 0, rightMargin = 0;
  int speed = 0;
  int head1 = 0, head2 = 0;
  int waitTime = 0;
  int autoTime = 0, autoSpeed = 0;
  int feedLine = 0;
  int paperWidth = 0;
  int paperEnd = 0;
  int frontHorizontal = 1, frontVertical = 1;
  int backHorizontal = 1, backVertical = 1;
};

enum class TwoBankEditField {
  LeftMargin,
  RightMargin,
  PaperWidth,
  PrintSpeed,
  Head1,
  Head2,
  WaitTime,
  AutoLoadingTime,
  AutoLoadingSpeed,
  FeedLine,
};

// One check of an edit: the accepted range and the box shown when it fails.
struct TwoBankEditRule {
  TwoBankEditField field;
  int min, max;
  bool zeroPasses;  // 0 passes as well (the export's head 2)
  const char* english;
  const char* chinese;  // nullptr: a plain English message box in both languages
  bool goesOn;          // after the box the action goes on; else it stops there
};
struct TwoBankEditChecks {
  // The warning for an edit that is not a number.
  const char* formatEnglish;
  const char* formatChinese;
  std::vector<TwoBankEditRule> rules;  // in the order they are checked
};

// A box to show: a bilingual warning, or a plain English box.
struct TwoBankEditMessage {
  std::string english;
  std::string chinese;  // empty for a plain English box
  bool plainEnglish = false;
  bool operator==(const TwoBankEditMessage&) const = default;
};
struct TwoBankEditCheck {
  // Set when the action goes on (every failed rule goes on).
  std::optional<TwoBankEdits> values;
  bool formatError = false;  // an edit is not a number: one warning, stop
  std::vector<TwoBankEditMessage>
      messages;  // the boxes, in order; with values empty the last one stopped the action
};
// Converts every edit (trimmed; a text that is not a 32-bit integer is a
// format error), then runs the rules in order.
TwoBankEditCheck CheckTwoBankEdits(const TwoBankState& state, const TwoBankEditChecks& checks);

// ---------------------------------------------------------------- profile

// The Get sequence: one row per getter.
struct TwoBankGetStep {
  TwoBankSetting setting;
  const char* failText;      // appended to "Fail to get"
  int reads = 1;             // 2: read twice in a row, the second read stands
  bool commTestBox = false;  // a failure also shows "Port communication test failed!..."
};

// The Save sequence: setters and flushes of the command queue.
struct TwoBankSaveStep {
  bool flush;  // SendCommand; else the setter of setting
  TwoBankSetting setting;
  const char* failText;  // appended to "Fail to save"
  bool goesOn = false;   // a failure marks the result and the sequence goes on
};

// What the dialog looks like beyond the layout every editor shares.
struct TwoBankDialogTraits {
  const char* formClass;  // "TVDH738EepromSetForm"
  int clientWidth, clientHeight;
  int resultTop;           // where the result line goes when a result is shown
  bool head2Visible;       // Head2, its label and up-down
  const char* head1Label;  // "Print Head" or "Print Head1"
  bool backWaterMarkVisible;
  const char* backGroupCaption;
  const char* dataErrorCaption;
  bool surfaceEnabled;      // the Printing Surface group takes input
  bool minimizeButton;      // single fixed border with a minimize button
  bool keyFilters;          // digits-only key filters on the five edits
  int paperWidthMaxLength;  // 0: no limit
  bool printModeEditable;   // the front print-mode box takes typed text
  bool formKeyHandlers;     // FormKeyDown/FormKeyPress bound to the dialog
  bool speedUnitLabel;      // an extra "mm/s" label right of the speed up-down
};

struct TwoBankProfile {
  const char* name;             // "VD-H738"
  std::vector<int> modelCodes;  // the printer model codes that open this editor
  const char* tag;              // settings-file tag: 9 bytes, 10 for the VD-K9034
  FileFraming framing;          // how the import reads the file
  int importCapacity;           // records the import holds (a larger file is refused)
  bool surfaceExchanged;        // PrintingSurface (05) takes part in Get, Save, export and import
  int paperOutModes;            // 3, or 4 with "No Waiting"
  int maxPaperWidth;            // the width setter's and import's upper bound (mm)
  bool keepsRestractTime;       // the presenter wait time's high byte is kept and written back
  bool stopBitsFFIsOne;         // stop bits FF read as 1 (else 2)
  bool bufferAnyHighIs64KB;     // lo 2 reads as 64KB whatever hi holds (else only 02 00)
  int exportAutoCutterOn;       // the export's auto-cutter value for "On" (1 or 3)
  bool importAutoCutterThree;   // the import accepts 03 00 as "On"
  bool importPaperOutAnyHigh;   // the import takes the paper-out lo whatever hi holds
  std::array<TwoBankSettle, kTwoBankSettingCount> settle;
  std::vector<std::string> codePageItems;
  std::vector<TwoBankGetStep> getSteps;
  std::vector<TwoBankSaveStep> saveSteps;
  std::vector<TwoBankSetting> exportOrder;  // the export's records in file order
  TwoBankEditChecks saveChecks;
  TwoBankEditChecks exportChecks;
  TwoBankDialogTraits dialog;

  const TwoBankSettle& settleOf(TwoBankSetting s) const { return settle[static_cast<size_t>(s)]; }
  std::vector<std::string> paperOutItems() const;
};

const TwoBankProfile& H738Profile();   // model code 18
const TwoBankProfile& K466Profile();   // model code 17
const TwoBankProfile& K772Profile();   // model codes 11 and 16
const TwoBankProfile& K9034Profile();  // model code 13
// The profile of a model code; nullptr for a model outside the family.
const TwoBankProfile* TwoBankProfileFor(int modelCode);
const std::vector<const TwoBankProfile*>& TwoBankProfiles();

// The text a list shows for an index; empty for -1 or an index past its end.
std::string TwoBankItemText(const std::vector<std::string>& items, int index);

// ---------------------------------------------------------------- codecs

// Get: puts one 2-byte reply into the state. False when the getter refuses
// the reply; the controls then keep their values. A kept high byte is
// stored whether the reply is accepted or not (cut mode, paper-out mode) or
// on success (presenter wait time, when the profile keeps it). A code page
// or a default-invert value that is no item leaves its box or group with
// none selected; a watermark alignment of 3 leaves its box as it is.
bool DecodeReply(TwoBankSetting setting, uint8_t lo, uint8_t hi, const TwoBankProfile& profile,
                 TwoBankState& state, TwoBankKeptBytes& kept);

// Save: the 16-bit value the setter of a setting writes from the state and
// the converted edits (bank 2: only the low byte goes out), or nullopt when
// the setter refuses its argument (nothing is then queued or sent).
std::optional<uint16_t> EncodeSetting(TwoBankSetting setting, const TwoBankProfile& profile,
                                      const TwoBankState& state, const TwoBankEdits& edits,
                                      const TwoBankKeptBytes& kept);
// Save skips the buffer-size setter when no item is selected.
bool SaveSkips(TwoBankSetting setting, const TwoBankState& state);

// ---------------------------------------------------------------- file

// Export: the value of one record, or nullopt for no record at all (a baud
// rate without a code, no buffer size selected). A value the file writer
// refuses (outside 0..65535; -1 stands for a control with nothing
// selected) makes the record missing and the export incomplete.
std::optional<long long> ExportValue(TwoBankSetting setting, const TwoBankProfile& profile,
                                     const TwoBankState& state, const TwoBankEdits& edits,
                                     const TwoBankKeptBytes& kept);
struct TwoBankExport {
  Bytes file;                           // the records written, then the tag
  std::vector<TwoBankSetting> refused;  // records the writer refused (missing from the file)
  bool complete() const { return refused.empty(); }
};
// The profile's records in order, then its tag (written even when a record
// was refused, as the export does).
TwoBankExport BuildTwoBankExport(const TwoBankProfile& profile, const TwoBankState& state,
                                 const TwoBankEdits& edits, const TwoBankKeptBytes& kept);

// Import: what one record does.
enum class TwoBankImportOutcome {
  Accepted,  // its value reached the state
  Rejected,  // the import flag is cleared; the controls keep their values (the
             // cut mode's high byte is kept whatever its low byte, and a
             // data/stop-bits record applies the part that is valid)
  Skipped,   // an address the table does not list: nothing happens
};
TwoBankImportOutcome ApplyTwoBankRecord(const SettingsRecord& record, const TwoBankProfile& profile,
                                        TwoBankState& state, TwoBankKeptBytes& kept);

// How the profile's import reads a file.
FileReadProfile TwoBankFileReadProfile(const TwoBankProfile& profile);

struct TwoBankImport {
  enum class Status {
    Empty,      // size 0: "The data  in file ... is empty!", nothing read
    TooLarge,   // more blocks than the import holds: refused whole with the
                // format error ("The data format in file ... is not normal!")
    Cancelled,  // an odd size was not confirmed
    BadTag,     // the tag does not match: refused whole with the format error
    Applied,    // the records were applied
  };
  Status status = Status::Empty;
  bool oddSize = false;  // the size asked "... is not normal!" first
  bool good = false;     // Applied: the import flag (success line) or not (red line)
};
// The whole import of a file held in memory. confirmOddSize is asked when
// the size does not fit the framing (OK: true); without it the import goes
// on. Reads the file, checks the tag and applies the records to the state
// and the kept bytes; on any status but Applied nothing is changed.
TwoBankImport ImportTwoBankFile(const uint8_t* data, size_t size, const TwoBankProfile& profile,
                                TwoBankState& state, TwoBankKeptBytes& kept,
                                const std::function<bool()>& confirmOddSize = {});

}  // namespace torva::settings
