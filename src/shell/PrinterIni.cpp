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

// The copy QSettings works on, in a folder of its own that goes with it.
class IniCopy {
 public:
  explicit IniCopy(const QByteArray& bytes) {
    ok_ = dir_.isValid() &&
          torva::gui::WriteWholeFile(path(), bytes) == torva::gui::FileWrite::Written;
  }
  bool ok() const { return ok_; }
  QString path() const { return dir_.filePath("Printer.ini"); }

 private:
  QTemporaryDir dir_;
  bool ok_ = false;
};

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
  const QByteArray eol = ini.contains("\r\n") ? "\r\n" : "\n";
  const QByteArray line = "Language=" + value.toLatin1();
  QList<QByteArray> lines = ini.split('\n');
  // What follows the last line break is one more line, empty when the file
  // ends with one.
  const bool endsWithBreak = ini.isEmpty() || ini.endsWith('\n');
  if (endsWithBreak) lines.removeLast();
  bool inPrinter = false, found = false;
  qsizetype sectionStart = -1;  // the line after the first [Printer] header
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QByteArray text = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
    const QByteArray trimmed = text.trimmed();
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
      lines.insert(sectionStart, line + (eol == "\r\n" ? "\r" : ""));
    } else {
      const QByteArray cr = eol == "\r\n" ? "\r" : "";
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
  const IniCopy copy(*bytes);
  if (!copy.ok()) return "-1";
  const QString language = QSettings(copy.path(), QSettings::IniFormat).value("Printer/Language", "-1").toString();
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
  if (!bytes->isEmpty()) {
    // A file QSettings cannot parse would be rewritten as junk plus the key:
    // it is left as the user has it.
    const IniCopy copy(*bytes);
    if (!copy.ok() || QSettings(copy.path(), QSettings::IniFormat).status() != QSettings::NoError) return false;
  }
  const auto edited = WithIniLanguage(*bytes, value);
  if (!edited) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  return torva::gui::WriteWholeFile(path, *edited) == torva::gui::FileWrite::Written;
}
