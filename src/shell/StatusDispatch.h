// The main window's status button: picks the status dialog of the configured
// model (asking the RW-K305GII and the VD-K512 for their mode first), sets its
// font and captions, runs it modally and releases it.
#pragma once

#include <functional>

class TMainForm;

// The status dialogs the dispatch can open.
enum class StatusDialogKind {
  Generic,      // THardwareStatusForm
  K305G2VD,     // TStatusK305G2VDModeForm
  K305G2RW,     // TStatusK305G2RWModeForm
  K512Shutter,  // the VD-K512 shutter dialog
  K772,         // the VD-K772 / VD-K9034 dialog
  K773,         // the VD-K773 custom status monitor
};

// The body of SpeedButton_MonitotClick: the port-kind guard, the mode queries
// with their messages, then the dialog of the model.
void OpenStatusMonitor(TMainForm& main);

// Opens one kind of dialog for the model (captions set, run modally,
// released). Tests may install an opener of their own for a kind with
// SetStatusDialogOpener.
void OpenStatusDialog(TMainForm& main, StatusDialogKind kind);
using StatusDialogOpener = std::function<void(TMainForm&)>;
void SetStatusDialogOpener(StatusDialogKind kind, StatusDialogOpener opener);  // empty: the default

// The read-setting command 1B 6A <address> of the mode queries.
inline constexpr unsigned char kStatusModeSettingAddress = 0xC3;  // RW-K305GII status mode
inline constexpr unsigned char kPaperTypeSettingAddress = 0x12;   // VD-K512 paper type
