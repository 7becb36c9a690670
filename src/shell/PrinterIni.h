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

// "Printer"/"Language" of the file (read as below), "-1" when the file or key
// is missing or the path holds something other than a regular file (or one
// larger than 1 MiB). Read from the file's bytes, with no copy anywhere;
// never creates the file.
QString ReadIniLanguage();
// Writes "Printer"/"Language"; true when the value is on disk. False, with
// the file left as it was, when the path holds something other than a
// regular file, when the file is larger than 1 MiB or is not INI (see
// below), or when the write fails.
bool WriteIniLanguage(const QString& value);

// How the console reads a Printer.ini, a grammar of its own, that of the
// Windows INI files the file comes from (the printers' own tool on Windows
// reads them so too):
// - one UTF-8 byte-order mark at the very start is skipped;
// - a line ends at LF, CR LF or a lone CR; spaces and tabs around a line are
//   ignored;
// - a line that is empty, or whose first character is ';' or '#', is a
//   comment;
// - "[name]" opens the section `name` (blanks around the name are ignored,
//   and so is anything after the first ']'); sections of one name are one;
// - "key=value" splits at the first '='; blanks around the key and around the
//   value are ignored, and a value wrapped in one pair of double quotes loses
//   them; nothing else is unescaped (a ';' after a value is part of it);
// - section and key names are compared without regard to ASCII case:
//   "[printer]" and "LANGUAGE=" are the section and the key of "[Printer]"
//   and "Language="; a key before the first header is in no section;
// - the language is the value of the last "Language" key of the "Printer"
//   sections, "-1" when there is none.
// Any other line is not INI: a header without ']' (it still opens the
// section it names, so keys after it are not taken for the section before),
// text without '=', and any line that holds a control byte, NUL or another
// byte below 0x20 but tab, or 0x7F (a header still opens its section; a key
// on such a line gives nothing). Such a file is still read for its language,
// but the Language menu does not rewrite it: a file with a NUL or another
// control byte is binary or damaged (a crash can leave a file's blocks
// zeroed), and a program that reads it as C text stops at the NUL, so it
// has no one meaning that an edit could keep. Bytes from 0x80 up are text
// (a comment may be in any code page).
struct IniLanguage {
  QString language = "-1";
  bool wellFormed = true;  // every line is INI as above
};
IniLanguage ReadIniLanguageFrom(const QByteArray& ini);

// The bytes of a Printer.ini with the language set to the value, every other
// line kept byte for byte, the byte-order mark and each line's own end too:
// every "Language" line of the "Printer" sections becomes the key as written
// (its blanks dropped), '=' and the value; where there is none, a
// "Language=" line goes just after the first "Printer" header; where there is
// no such header, a "[Printer]" section is added at the end, after a blank
// line. An added line ends as the line before it does (as the file's first
// line does where that one has no end; LF in a file without any). nullopt
// for a value that is not a plain word (ASCII letters, digits, '-'), and
// whenever reading the result back would not give the value.
std::optional<QByteArray> WithIniLanguage(const QByteArray& ini, const QString& value);

// The configuration folder used above; tests point it at a folder of their own.
QString PrinterIniConfigFolder();
void SetPrinterIniConfigFolderForTests(const QString& folder);  // empty: the real one
