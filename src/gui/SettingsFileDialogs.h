// The file dialogs and the one question box of a settings editor's export
// and import. Tests replace them, so no test waits on a modal dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace torva::settings {

struct FileDialogRequest {
  bool save = false;     // the save dialog of an export, else the open dialog of an import
  QString filter;        // Qt filter text
  QString defaultSuffix; // "pes" for the save dialog
  QString directory;     // the program's folder
};

// The save dialog: "Printer Eeprom Settings File(*.pes)", extension "pes", an
// existing file replaced without asking. The open dialog: "Print File(*.pes)"
// and "All File(*.*)", the file must exist. Both start in the program's folder
// with an empty name. An empty result means Cancel.
QString ChooseSettingsFile(QWidget* owner, bool save);

// The plain box with no owner, caption "Warning", a warning icon, OK and
// Cancel, English in both languages. True for OK.
bool AskWarningOkCancel(const QString& text);

using FileChooser = std::function<QString(const FileDialogRequest&)>;
using OkCancelAnswer = std::function<bool(const QString& text)>;
// Replaces the dialogs while the object lives (tests).
class ScopedSettingsDialogs {
 public:
  ScopedSettingsDialogs(FileChooser chooser, OkCancelAnswer answer);
  ~ScopedSettingsDialogs();
  ScopedSettingsDialogs(const ScopedSettingsDialogs&) = delete;
  ScopedSettingsDialogs& operator=(const ScopedSettingsDialogs&) = delete;

 private:
  FileChooser savedChooser_;
  OkCancelAnswer savedAnswer_;
};

}  // namespace torva::settings
