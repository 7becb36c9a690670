// The file dialogs of every dialog of the console (settings files, command
// files, download files) and the plain OK/Cancel question some of them ask.
// Tests replace them through ScopedFileDialogs, so no test waits on a modal
// dialog. The file chosen is read and written through gui/FileAccess.h.
#pragma once

#include <QString>
#include <functional>

#include "gui/FileAccess.h"

class QWidget;

namespace torva::gui {

struct FileDialogRequest {
  bool save = false;              // a save dialog, else an open dialog
  QString filter;                 // Qt filter text: "Name(*.pes);;All File(*.*)"
  QString defaultSuffix;          // added to a typed name without one ("pes")
  QString directory;              // where the dialog starts
  QString fileName;               // the name proposed in it; empty: none
  QString title;                  // empty: the toolkit's
  bool confirmOverwrite = false;  // save: ask before an existing file is replaced
  bool mustExist = true;          // open: only an existing file can be chosen
};

// Shows the dialog; the chosen path, or empty for Cancel.
QString ChooseFile(QWidget* owner, const FileDialogRequest& request);

// The settings-file dialogs of one editor: the save dialog's filter and
// whether it asks before replacing a file, the open dialog's filters. The
// defaults are those of most editors: save "Printer Eeprom Settings
// File(*.pes)" replacing an existing file without asking, open "Print
// File(*.pes)" and "All File(*.*)".
struct SettingsFileDialogs {
  QString saveFilter = "Printer Eeprom Settings File(*.pes)";
  bool confirmOverwrite = false;
  QString openFilter = "Print File(*.pes);;All File(*.*)";
};
// The request of an editor's save or open dialog: its filter and options,
// extension "pes" on save, the file must exist on open; both start in the
// program's folder with an empty name.
FileDialogRequest SettingsFileRequest(bool save, const SettingsFileDialogs& dialogs = {});
QString ChooseSettingsFile(QWidget* owner, bool save, const SettingsFileDialogs& dialogs = {});

// The POS-style editors: "POS Printer Eeprom Settings File(*.pes)" on both
// dialogs, replacing a file asked first.
SettingsFileDialogs PosSettingsFiles();

// The plain box with no owner, caption "Warning", a warning icon, OK and
// Cancel, English in both languages. True for OK.
bool AskWarningOkCancel(const QString& text);

using FileChooser = std::function<QString(const FileDialogRequest&)>;
using OkCancelAnswer = std::function<bool(const QString& text)>;
// Replaces the dialogs while the object lives (tests). An empty function
// leaves that dialog as it was.
class ScopedFileDialogs {
 public:
  ScopedFileDialogs(FileChooser chooser, OkCancelAnswer answer = {});
  ~ScopedFileDialogs();
  ScopedFileDialogs(const ScopedFileDialogs&) = delete;
  ScopedFileDialogs& operator=(const ScopedFileDialogs&) = delete;

 private:
  FileChooser savedChooser_;
  OkCancelAnswer savedAnswer_;
};

}  // namespace torva::gui
