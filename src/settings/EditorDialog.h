// What the settings editor dialogs share beyond the console-wide dialog
// helpers (gui/DialogHelpers.h, gui/FileDialogs.h): the result line and the
// printer-state line, the "Can't open" error of a port that does not open,
// a settings file written whole or not at all, and a settings file read
// with a bound on its size.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "gui/FileAccess.h"
#include "settings/SettingProtocol.h"

class QLabel;

namespace torva::settings {

// The result line: its text (also its hint), red for a failure, the
// window-text colour otherwise. The label's "red" property tells tests which.
void ShowResultLine(QLabel* label, const QString& text, bool red);
// The printer-state line's text (also its hint).
void ShowStateLine(QLabel* label, const QString& text);
// The state line olive (a note on the printer's load) or in the window-text
// colour; the label's "olive" property tells tests which.
void ColourStateLine(QLabel* label, bool olive);

// "Can't open <name> port!" / "端口 <name> 打开错误！" for a port that failed
// to open.
void ShowPortOpenError(const PortOpenResult& open);

// Settings files are written whole or not at all, and only a regular file
// is read (gui/FileAccess.h).
using gui::FileWrite;
using gui::WriteWholeFile;

// The first bytes of a settings file the user chose, at most `limit`, and
// its size; nullopt when it cannot be opened or is no regular file.
using FileBytes = gui::FileContents;
inline std::optional<FileBytes> ReadFileStart(const QString& fileName, qint64 limit) {
  return gui::ReadRegularFile(fileName, limit);
}

}  // namespace torva::settings
