#include "shell/PrinterIni.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
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
// leaves it empty behind a switch that says it worked.

// A Printer.ini larger than this is neither read nor rewritten: the file
// holds one key.
constexpr qint64 kIniLimitBytes = 1 << 20;

// The file's bytes; empty when there is none. nullopt when something other
// than a regular file stands there, it cannot be read, or it is too large.
std::optional<QByteArray> IniBytes(const QString& path) {
  if (!torva::gui::PathExists(path)) return QByteArray();
  const auto file = torva::gui::ReadRegularFile(path, kIniLimitBytes + 1);
  if (!file || file->data.size() > kIniLimitBytes) return std::nullopt;
  return file->data;
}

// --- the file's lines, read as PrinterIni.h states

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\n' || c == '\r'; }
bool IsControl(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u < 0x20 && c != '\t') || u == 0x7F;
}

QByteArrayView TrimBlanks(QByteArrayView s) {
  while (!s.isEmpty() && IsBlank(s.front())) s = s.sliced(1);
  while (!s.isEmpty() && IsBlank(s.back())) s.chop(1);
  return s;
}

// A section's or key's name against the one the console knows, without
// regard to ASCII case (a byte from 0x80 up matches only itself).
bool SameName(QByteArrayView name, QByteArrayView known) {
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  if (name.size() != known.size()) return false;
  for (qsizetype i = 0; i < name.size(); ++i)
    if (fold(name[i]) != fold(known[i])) return false;
  return true;
}

enum class IniLineKind { Comment, Header, Entry, Other };

// One line; positions are in the file's bytes.
struct IniLine {
  qsizetype begin = 0;  // its first byte
  qsizetype end = 0;    // just past its text, where its line end starts
  qsizetype next = 0;   // just past its line end (`end` for a last line without one)
  IniLineKind kind = IniLineKind::Comment;
  bool wellFormed = true;  // INI as PrinterIni.h states
  bool blank = true;       // nothing but blanks
  bool inPrinter = false;  // a header that opens a Printer section, or a line in one
  QByteArrayView key;      // an entry's key, trimmed, as written
  QByteArrayView value;    // an entry's value, trimmed and unquoted
};

// The file's lines in order, one at a time (a Printer.ini may hold a
// megabyte of them, so none is kept).
class IniLines {
 public:
  explicit IniLines(QByteArrayView ini) : ini_(ini), pos_(Start()) {}

  // Where the lines start: past a byte-order mark.
  qsizetype Start() const { return ini_.startsWith(kByteOrderMark) ? 3 : 0; }

  // The next line; false at the end of the bytes.
  bool Next(IniLine& line) {
    const qsizetype size = ini_.size();
    if (pos_ >= size) return false;
    line = IniLine{};
    line.begin = pos_;
    line.end = pos_;
    while (line.end < size && !IsLineEnd(ini_[line.end])) ++line.end;
    line.next = line.end;
    if (line.next < size) line.next += ini_.sliced(line.next).startsWith("\r\n") ? 2 : 1;
    pos_ = line.next;

    const QByteArrayView raw = ini_.sliced(line.begin, line.end - line.begin);
    const QByteArrayView text = TrimBlanks(raw);
    line.blank = text.isEmpty();
    line.wellFormed = std::none_of(raw.begin(), raw.end(), IsControl);
    if (text.isEmpty() || text.front() == ';' || text.front() == '#') {
      line.kind = IniLineKind::Comment;
    } else if (text.front() == '[') {
      line.kind = IniLineKind::Header;
      qsizetype close = text.indexOf(']');
      if (close < 0) {
        line.wellFormed = false;
        close = text.size();
      }
      inPrinter_ = SameName(TrimBlanks(text.sliced(1, close - 1)), "Printer");
    } else if (const qsizetype equals = text.indexOf('='); equals >= 0) {
      line.kind = IniLineKind::Entry;
      line.key = TrimBlanks(text.first(equals));
      line.value = TrimBlanks(text.sliced(equals + 1));
      if (line.value.size() >= 2 && line.value.front() == '"' && line.value.back() == '"')
        line.value = line.value.sliced(1, line.value.size() - 2);
    } else {
      line.kind = IniLineKind::Other;
      line.wellFormed = false;
    }
    line.inPrinter = inPrinter_;
    return true;
  }

  // What ends the line, as the file spells it (empty for none).
  QByteArrayView LineEnd(const IniLine& line) const { return ini_.sliced(line.end, line.next - line.end); }

 private:
  QByteArrayView ini_;
  qsizetype pos_;  // (after ini_: it starts from it)
  bool inPrinter_ = false;  // no section before the first header
};

// A line the language is read from, and that a switch rewrites.
bool IsLanguageLine(const IniLine& line) {
  return line.kind == IniLineKind::Entry && line.wellFormed && line.inPrinter && SameName(line.key, "Language");
}

}  // namespace

IniLanguage ReadIniLanguageFrom(const QByteArray& ini) {
  IniLanguage out;
  IniLines lines(ini);
  IniLine line;
  while (lines.Next(line)) {
    if (!line.wellFormed) out.wellFormed = false;
    if (IsLanguageLine(line)) out.language = QString::fromUtf8(line.value);
  }
  return out;
}

namespace {

// What the clock asks every second, read again only when the file changed.
struct ReadCache {
  std::mutex mu;
  bool valid = false;
  QByteArray bytes;
  QString language;
};
ReadCache g_readCache;

// Whether this process can write the name: what it may do, not what its
// real user may (faccessat with AT_EACCESS, unlike QFileInfo).
bool MayWrite(const QString& path) {
  return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

// Whether a whole-file replacement can succeed at the path: the new content
// goes to a temporary file beside the file (beside what a link names) that
// then takes its name, so the folder must take a new file, and an existing
// file must itself be writable.
bool CanReplace(const QString& path) {
  QFileInfo file(path);
  for (int links = 0; file.isSymLink() && links < 40; ++links) file.setFile(file.symLinkTarget());
  if (file.exists() && !MayWrite(file.absoluteFilePath())) return false;
  const QFileInfo dir(file.absolutePath());
  return dir.isDir() && MayWrite(dir.absoluteFilePath());
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
  if (CanReplace(program)) return program;
  return config;
}

std::optional<QByteArray> WithIniLanguage(const QByteArray& ini, const QString& value) {
  // The value goes in as it is: only a word that reads back unchanged.
  if (value.isEmpty()) return std::nullopt;
  for (const QChar c : value)
    if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != '-') return std::nullopt;
  const QByteArray word = value.toLatin1();

  IniLines lines(ini);
  QByteArray out = ini.first(lines.Start());
  out.reserve(ini.size() + 32);
  bool found = false;        // a Language line was rewritten
  qsizetype after = -1;      // where the first Printer header ends in `out`
  QByteArrayView headerEnd;  // and that header's own line end
  QByteArrayView firstEnd, lastEnd;
  bool anyText = false, lastBlank = true;
  IniLine line;
  while (lines.Next(line)) {
    const QByteArrayView end = lines.LineEnd(line);
    if (firstEnd.isEmpty()) firstEnd = end;
    if (IsLanguageLine(line)) {
      out += line.key;
      out += '=';
      out += word;
      found = true;
    } else {
      out += QByteArrayView(ini).sliced(line.begin, line.end - line.begin);
    }
    out += end;
    if (after < 0 && line.kind == IniLineKind::Header && line.inPrinter) {
      after = out.size();
      headerEnd = end;
    }
    anyText = anyText || !line.blank;
    lastBlank = line.blank;
    lastEnd = end;
  }
  const QByteArray fileEnd = firstEnd.isEmpty() ? QByteArray("\n") : firstEnd.toByteArray();
  const QByteArray entry = "Language=" + word;
  if (!found && after >= 0) {
    // Just after the first Printer header; a header that ends the file
    // without a line end gets one first.
    if (headerEnd.isEmpty())
      out.insert(after, fileEnd + entry);
    else
      out.insert(after, entry + headerEnd.toByteArray());
  } else if (!found) {
    // A section of its own at the end, after a blank line where the file
    // holds any text.
    const QByteArray eol = lastEnd.isEmpty() ? fileEnd : lastEnd.toByteArray();
    if (anyText) {
      if (lastEnd.isEmpty()) out += eol;
      if (!lastBlank) out += eol;
    }
    out += "[Printer]" + eol + entry + eol;
  }
  // Written only when reading it back gives what was asked.
  if (ReadIniLanguageFrom(out).language != value) return std::nullopt;
  return out;
}

QString ReadIniLanguage() {
  const auto bytes = IniBytes(PrinterIniReadPath());
  if (!bytes || bytes->isEmpty()) return "-1";
  std::lock_guard<std::mutex> lock(g_readCache.mu);
  if (g_readCache.valid && g_readCache.bytes == *bytes) return g_readCache.language;
  g_readCache.valid = true;
  g_readCache.bytes = *bytes;
  g_readCache.language = ReadIniLanguageFrom(*bytes).language;
  return g_readCache.language;
}

bool WriteIniLanguage(const QString& value) {
  const QString path = PrinterIniWritePath();
  // Only a regular file, or none: a FIFO or a device is neither read nor
  // replaced by a regular file.
  const auto bytes = IniBytes(path);
  if (!bytes) return false;
  // A file that is not INI is left as the user has it.
  if (!ReadIniLanguageFrom(*bytes).wellFormed) return false;
  const auto edited = WithIniLanguage(*bytes, value);
  if (!edited) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  return torva::gui::WriteWholeFile(path, *edited) == torva::gui::FileWrite::Written;
}
