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
// exists or when the program's folder is not writable, else the one beside
// the program.
QString PrinterIniWritePath();

// "Printer"/"Language" of the file, "-1" when the file or key is missing or
// the path holds something other than a regular file. Never creates the file.
QString ReadIniLanguage();
// Writes "Printer"/"Language"; true when the value is on disk. False, with
// the file left as it was, when the path holds something other than a
// regular file, when the file cannot be parsed, or when the write fails.
bool WriteIniLanguage(const QString& value);

// The bytes of a Printer.ini with "Printer"/"Language" set to the value, the
// rest of the file kept as it is, line for line: an existing Language line
// of the section is replaced, else one is added at the section's start, else
// the section is added at the end. The file's line ends are kept. nullopt
// for a value that is not a plain word (letters, digits, '-').
std::optional<QByteArray> WithIniLanguage(const QByteArray& ini, const QString& value);

// The configuration folder used above; tests point it at a folder of their own.
QString PrinterIniConfigFolder();
void SetPrinterIniConfigFolderForTests(const QString& folder);  // empty: the real one
