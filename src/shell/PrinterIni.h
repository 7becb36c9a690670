// Printer.ini: section "Printer", key "Language".
//
// The file lives beside the program. Where that folder is not writable, it
// lives in the user's configuration folder (QStandardPaths::AppConfigLocation)
// instead, and a copy there is read first whenever it exists, so reads and
// writes always meet in the same file.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The file that is read: the configuration folder's copy when it exists,
// else the one beside the program.
QString PrinterIniReadPath();
// The file that a write goes to: the configuration folder's copy when it
// exists or when the one beside the program cannot be replaced (its folder
// takes no new file, or the file is not writable), else the one beside the
// program.
QString PrinterIniWritePath();

// "Printer"/"Language" of the file, "-1" when the file or key is missing or
// the path holds something other than a regular file (or one larger than
// 1 MiB). Read from the file's bytes, with no copy anywhere; never creates
// the file.
QString ReadIniLanguage();
// Writes "Printer"/"Language"; true when the value is on disk. False, with
// the file left as it was, when the path holds something other than a
// regular file, when the file is larger than 1 MiB or has a format error, or
// when the write fails.
bool WriteIniLanguage(const QString& value);

// What the toolkit (QSettings, IniFormat, as it reads on this platform)
// makes of a Printer.ini's bytes: its value of "Printer"/"Language" as text
// ("-1" when there is none), and whether it finds no format error on the way
// (a section header without ']', a line of the section without '=').
struct IniLanguage {
  QString language = "-1";
  bool wellFormed = true;
};
IniLanguage ReadIniLanguageFrom(const QByteArray& ini);

// The bytes of a Printer.ini with "Printer"/"Language" set to the value, the
// rest of the file kept as it is, line for line, its byte-order mark too:
// every line the toolkit reads the key from is replaced, else one is added
// at the start of the section it reads, else a [Printer] section is added at
// the end. The file's line ends are kept. nullopt for a value that is not a
// plain word (letters, digits, '-'), and for a file of which the toolkit
// would not read the value back even so.
std::optional<QByteArray> WithIniLanguage(const QByteArray& ini, const QString& value);

// The configuration folder used above; tests point it at a folder of their own.
QString PrinterIniConfigFolder();
void SetPrinterIniConfigFolderForTests(const QString& folder);  // empty: the real one
