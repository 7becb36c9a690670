// The exchange of the two-bank family with the printer, without widgets: one
// getter and one setter per setting over a SettingLink, and the Get and Save
// sequences of the editor as the profile lists them.
//
// The editor dialog opens the port (OpenEditorPort), wraps the exchange in a
// TempDataBitsSwitch, runs RunTwoBankGet or RunTwoBankSave on its state, and
// shows what they return; after a successful Save it waits 5000 ms through
// PrinterDelay and sends the line feed (SettingLink::LineFeedPrinter). The
// link's style is kEcPortStyle: what the port holds unread is discarded
// before each request and after the Get's last read, and a reply with a
// byte beyond it does not stand (SettingLink::ReadSetting), on every port
// kind; reads time out after 5000 ms.
#pragma once

#include <optional>
#include <string>

#include "settings/SettingProtocol.h"
#include "settings/TwoBankMap.h"

namespace torva::settings {

// The getter of a setting: sends its read command (bank 1 or 2), pauses as
// the profile says on PortUSB, reads the 2-byte reply (the watermark getters
// through POSReadPort, without a pause) and decodes it into the state and
// the kept bytes (DecodeReply). False for a handle of 0 or less, a failed
// request, a reply that does not arrive whole within the time-out, a reply
// with a byte beyond it, or a reply the getter refuses.
bool GetTwoBankSetting(SettingLink& link, const TwoBankProfile& profile, TwoBankSetting setting,
                       TwoBankState& state, TwoBankKeptBytes& kept);

// The setter of a setting: refuses a handle of 0 or less and an argument
// outside its range (EncodeSetting), then queues the write command
// (Q settings) or writes it at once (D settings), in its bank. False on a
// refusal, a full queue or (D) a failed write.
bool SetTwoBankSetting(SettingLink& link, const TwoBankProfile& profile, TwoBankSetting setting,
                       const TwoBankState& state, const TwoBankEdits& edits, const TwoBankKeptBytes& kept);

// The plain English box a failed margin read shows before the result line.
inline constexpr const char* kCommTestFailedText =
    "Port communication test failed!Please check whether the printer is connected to the specified port "
    "correctly.";

// What a Get did.
struct TwoBankGetRun {
  std::string resultText;                // "Fail to get", plus the failed row's text
  std::string stateText;                 // "Printer state:" and its notes (closed after the darkness row)
  bool stateOlive = false;               // the closed state line carries a note
  std::optional<TwoBankSetting> failed;  // the row that stopped the Get
  bool commTestBox = false;              // the failed row also shows "Port communication test failed!..."
  bool ok() const { return !failed; }
};
// Runs the profile's Get rows in order on the state and the kept bytes,
// stopping at the first failure. The print speed row notes a light motor
// load (100 mm/s or less); after the darkness row the state line is closed.
TwoBankGetRun RunTwoBankGet(SettingLink& link, const TwoBankProfile& profile, TwoBankState& state,
                            TwoBankKeptBytes& kept);

// What a Save did.
struct TwoBankSaveRun {
  std::string resultText;  // "Fail to save", plus the text of each failed row
  bool ok() const { return resultText.size() < 13; }
};
// The printer-state line of a Save: the notes of the edits, closed.
StateLine TwoBankSaveStateLine(const TwoBankEdits& edits);
// Empties the command queue and runs the profile's Save rows in order with
// the checked edits: setters (the buffer size only with an item selected)
// and flushes of the queue. A failed row appends its text and ends the Save,
// except a row that goes on (the data error of the VD-H738, VD-K466 and
// VD-K772 editors).
TwoBankSaveRun RunTwoBankSave(SettingLink& link, const TwoBankProfile& profile, const TwoBankState& state,
                              const TwoBankEdits& edits, const TwoBankKeptBytes& kept);

}  // namespace torva::settings
