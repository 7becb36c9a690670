#include "shell/PrinterIni.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <mutex>
#include <optional>

#include "gui/FileAccess.h"
#include "gui/Messages.h"

namespace {
QString g_configOverride;

QString ProgramIni() { return ProgramFolder() + "/Printer.ini"; }
QString ConfigIni() { return PrinterIniConfigFolder() + "/Printer.ini"; }

// Printer.ini is opened only by the console's file reader and replaced only
// by its writer (gui/FileAccess.h): a FIFO put at its path never blocks the
// window (the clock reads the file every second), and a full disk never
// leaves it empty behind a switch that says it worked. QSettings parses and
// edits a private copy instead, at a path of its own each time: QSettings
// keeps what it once read of a path and reads it again only when the file
// has changed, so it would not report a file it had parsed before.

// A Printer.ini larger than this is not read: the file holds one key.
constexpr qint64 kIniLimitBytes = 1 << 20;

// The file's bytes; empty when there is none. nullopt when something other
// than a regular file stands there, it cannot be read, or it is too large.
std::optional<QByteArray> IniBytes(const QString& path) {
  if (!torva::gui::PathExists(path)) return QByteArray();
  const auto file = torva::gui::ReadRegularFile(path, kIniLimitBytes + 1);
  if (!file || file->data.size() > kIniLimitBytes) return std::nullopt;
  return file->data;
}

// What QSettings makes of the bytes, parsed from a copy in a folder of its
// own: whether it parsed them without an error, and `language`, their
// Printer/Language ("-1" when the key is missing or no copy could be made).
bool ParseIni(const QByteArray& bytes, QString& language) {
  language = "-1";
  const QTemporaryDir dir;
  const QString copy = dir.filePath("Printer.ini");
  if (!dir.isValid() || torva::gui::WriteWholeFile(copy, bytes) != torva::gui::FileWrite::Written) return false;
  const QSettings ini(copy, QSettings::IniFormat);
  language = ini.value("Printer/Language", "-1").toString();
  return ini.status() == QSettings::NoError;
}

// What the clock asks every second, read again only when the file changed.
struct ReadCache {
  std::mutex mu;
  bool valid = false;
  QByteArray bytes;
  QString language;
};
ReadCache g_readCache;

// A file can be written where it is writable, or where it is missing and its
// folder is writable.
bool CanWrite(const QString& path) {
  QFileInfo file(path);
  if (file.exists()) return file.isWritable();
  QFileInfo dir(file.absolutePath());
  return dir.isDir() && dir.isWritable();
}
}  // namespace

QString PrinterIniConfigFolder() {
  if (!g_configOverride.isEmpty()) return g_configOverride;
  return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

void SetPrinterIniConfigFolderForTests(const QString& folder) { g_configOverride = folder; }

QString PrinterIniReadPath() {
  const QString config = ConfigIni();
  if (QFileInfo(config).isFile()) return config;
  return ProgramIni();
}

QString PrinterIniWritePath() {
  const QString config = ConfigIni();
  if (QFileInfo(config).isFile()) return config;
  const QString program = ProgramIni();
  if (CanWrite(program)) return program;
  return config;
}

std::optional<QByteArray> WithIniLanguage(const QByteArray& ini, const QString& value) {
  // The value goes in as it is: only a word QSettings reads back unchanged.
  if (value.isEmpty()) return std::nullopt;
  for (const QChar c : value)
    if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != '-') return std::nullopt;
  // What ends each line the file adds before its LF: CR in a CR LF file.
  const QByteArray cr = ini.contains("\r\n") ? "\r" : "";
  const QByteArray line = "Language=" + value.toLatin1();
  QList<QByteArray> lines = ini.split('\n');
  // What follows the last line break is one more line, empty when the file
  // ends with one.
  const bool endsWithBreak = ini.isEmpty() || ini.endsWith('\n');
  if (endsWithBreak) lines.removeLast();
  bool inPrinter = false, found = false;
  qsizetype sectionStart = -1;  // the line after the first [Printer] header
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray trimmed = lines[i].trimmed();  // a CR before the LF goes too
    if (trimmed.startsWith('[')) {
      const qsizetype close = trimmed.indexOf(']');
      inPrinter = close > 0 && trimmed.mid(1, close - 1) == "Printer";
      if (inPrinter && sectionStart < 0) sectionStart = i + 1;
      continue;
    }
    if (!inPrinter || trimmed.startsWith(';') || trimmed.startsWith('#')) continue;
    const qsizetype eq = trimmed.indexOf('=');
    if (eq < 0 || trimmed.left(eq).trimmed() != "Language") continue;
    lines[i] = line + (lines[i].endsWith('\r') ? "\r" : "");
    found = true;
  }
  if (!found) {
    if (sectionStart >= 0) {
      lines.insert(sectionStart, line + cr);
    } else {
      if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines.append(cr);
      lines.append("[Printer]" + cr);
      lines.append(line + cr);
    }
  }
  QByteArray out = lines.join('\n');
  if (!lines.isEmpty() && (endsWithBreak || !found)) out += '\n';
  return out;
}

QString ReadIniLanguage() {
  const auto bytes = IniBytes(PrinterIniReadPath());
  if (!bytes || bytes->isEmpty()) return "-1";
  std::lock_guard<std::mutex> lock(g_readCache.mu);
  if (g_readCache.valid && g_readCache.bytes == *bytes) return g_readCache.language;
  QString language;
  ParseIni(*bytes, language);
  g_readCache.valid = true;
  g_readCache.bytes = *bytes;
  g_readCache.language = language;
  return language;
}

bool WriteIniLanguage(const QString& value) {
  const QString path = PrinterIniWritePath();
  // Only a regular file, or none: a FIFO or a device is neither read nor
  // replaced by a regular file.
  const auto bytes = IniBytes(path);
  if (!bytes) return false;
  // A file QSettings cannot parse would be rewritten as junk plus the key: it
  // is left as the user has it.
  QString language;
  if (!bytes->isEmpty() && !ParseIni(*bytes, language)) return false;
  const auto edited = WithIniLanguage(*bytes, value);
  if (!edited) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  return torva::gui::WriteWholeFile(path, *edited) == torva::gui::FileWrite::Written;
}
