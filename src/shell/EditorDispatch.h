// The settings editor dispatch behind the Eeprom Set button: the access code,
// then the editor of the configured model, modal, released when it closes.
#pragma once

#include <memory>

class QDialog;
class QWidget;
class TMainForm;

// The body of SpeedButton_EepromSetClick after its port-kind guard: asks the
// access code (every time) and, when it was right, opens the editor of
// PrinterName with the main window as owner.
void OpenSettingsEditor(TMainForm& main);

// The editor of a model code, created with the given owner; nullptr for a
// code whose editor does not exist (yet) or a code outside 0..18.
std::unique_ptr<QDialog> CreateSettingsEditor(int modelCode, QWidget* owner);
// The dialog class name the table gives a model code ("TM512IIEepromSetForm"),
// empty when the table has no row for it.
const char* SettingsEditorClass(int modelCode);
