// Openers the main window's handlers call for dialogs that live in units of
// their own, so that the main window does not depend on how each dialog is
// built. Each runs the dialog modally and releases it.
#pragma once

class TMainForm;

// The port-setting dialog (the Port Setting button and File > Open Port).
void OpenPortSettingDialog(TMainForm& main);

// The access-code dialog in front of the settings editors: captions it,
// clears bPassword, shows it modally; returns bPassword afterwards.
bool AskAccessCode(TMainForm& main);
