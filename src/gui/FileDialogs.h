// The file dialogs of every dialog of the console (settings files, command
// files, download files) and the plain OK/Cancel question some of them ask.
// Tests replace them through ScopedFileDialogs, so no test waits on a modal
// dialog.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace torva::gui {

struct FileDialogRequest {
  bool save = false;              // a save dialog, else an open dialog
  QString filter;                 // Qt filter text: "Name(*.pes);;All File(*.*)"
  QString defaultSuffix;          // added to a typed name without one ("pes")
  QString directory;              // where the dialog starts
  QString title;                  // empty: the toolkit's
  bool confirmOverwrite = false;  // save: ask before an existing file is replaced
  bool mustExist = true;          // open: only an existing file can be chosen
};

// Shows the dialog; the chosen path, or empty for Cancel.
QString ChooseFile(QWidget* owner, const FileDialogRequest& request);

// The first editors' settings-file dialogs. Save: "Printer Eeprom Settings
// File(*.pes)", extension "pes", an existing file replaced without asking.
// Open: "Print File(*.pes)" and "All File(*.*)", the file must exist. Both
// start in the program's folder with an empty name.
FileDialogRequest SettingsFileRequest(bool save);
QString ChooseSettingsFile(QWidget* owner, bool save);

// True for a regular file (or a link to one): the open dialogs' choice is
// read only then, never a FIFO or a device that would block the window.
bool IsRegularFile(const QString& path);

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
