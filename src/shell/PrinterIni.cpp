#include "shell/PrinterIni.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

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

// --- the file as the toolkit reads it
//
// Users' Printer.ini files were read by QSettings (IniFormat), so the console
// reads them, from the bytes in memory, as QSettings does on this platform,
// to the letter: a file keeps the meaning it had. What that takes:
// - one UTF-8 byte-order mark at the start is skipped;
// - a logical line ends at CR or LF outside double quotes, or at a ';' that
//   starts a comment; a backslash takes the next character (a line break
//   too) into the line; blank space before a line is skipped;
// - "[name]" opens a section, names are unescaped (%XX, %UXXXX, '\' for '/')
//   and case counts: "[printer]" is another section than "[Printer]";
//   "[General]" in any case is the file's top; sections of one name merge;
// - "key=value": the last of a key wins; the value is unquoted and
//   unescaped, a comma outside quotes makes it a list, '@' forms are typed;
// - a value is looked for only in the one section that the toolkit's sorted
//   list of names puts at or before the key ("[Printer\A]" hides
//   "[Printer]"), never in the file's top for a key with a section;
// - a section header without ']', or a line of that section without '=',
//   is a format error (the Language menu then leaves the file alone).

constexpr char kPrinterSection[] = "Printer/";
constexpr char kLanguageKey[] = "Printer/Language";
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsIniSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool IsIniSpecial(char c) { return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\'; }
bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

// One logical line; positions are in the file's bytes.
struct IniLine {
  qsizetype start = 0;
  qsizetype length = 0;
  qsizetype equals = -1;  // the first '=' outside quotes; -1 when none
  bool header = false;    // a line that starts with '['
  QString section;        // a header's own section, else the one the line is in
};

// The logical line from `pos` on; false at the end of the bytes.
bool NextIniLine(QByteArrayView data, qsizetype& pos, IniLine& line) {
  const qsizetype size = data.size();
  bool inQuotes = false;
  line.equals = -1;
  qsizetype start = pos;
  while (start < size && IsIniSpace(data[start])) ++start;
  qsizetype i = start;
  bool ended = false;
  while (i < size && !ended) {
    while (i < size && !IsIniSpecial(data[i])) ++i;
    if (i == size) break;
    const char ch = data[i++];
    if (ch == '=') {
      if (!inQuotes && line.equals == -1) line.equals = i - 1;
    } else if (IsLineBreak(ch)) {
      if (i == start + 1) {
        ++start;  // a break before anything: the line starts after it
      } else if (!inQuotes) {
        --i;
        ended = true;
      }
    } else if (ch == '\\') {
      if (i < size) {
        const char next = data[i++];
        // CR LF and LF CR are one line break.
        if (i < size && ((next == '\n' && data[i] == '\r') || (next == '\r' && data[i] == '\n'))) ++i;
      }
    } else if (ch == '"') {
      inQuotes = !inQuotes;
    } else if (i == start + 1) {  // ';' first: a comment to the end of the line
      while (i < size && !IsLineBreak(data[i])) ++i;
      while (i < size && IsIniSpace(data[i])) ++i;
      start = i;
    } else if (!inQuotes) {  // ';' after something: the line ends before it
      --i;
      ended = true;
    }
  }
  pos = i;
  line.start = start;
  line.length = i - start;
  return line.length > 0;
}

// A section's or key's name as written, unescaped, appended to `out`.
void AppendUnescapedName(QByteArrayView name, QString& out) {
  const QString text = QString::fromUtf8(name);
  const qsizetype size = text.size();
  qsizetype i = 0;
  while (i < size) {
    const QChar ch = text.at(i);
    if (ch == u'\\') {
      out += u'/';
      ++i;
      continue;
    }
    if (ch != u'%' || i == size - 1) {
      out += ch;
      ++i;
      continue;
    }
    qsizetype first = i + 1;
    qsizetype digits = 2;
    if (text.at(first) == u'U') {
      ++first;
      digits = 4;
    }
    bool ok = false;
    const ushort code = first + digits <= size ? QStringView(text).sliced(first, digits).toUShort(&ok, 16) : 0;
    if (!ok) {
      out += u'%';
      ++i;
      continue;
    }
    out += QChar(code);
    i = first + digits;
  }
}

// The section a header line opens ("" the file's top, else ending in '/');
// `ok` goes false for a header without ']'.
QString HeaderSection(QByteArrayView line, bool& ok) {
  qsizetype close = line.indexOf(']');
  if (close < 0) {
    ok = false;
    close = line.size();
  }
  const QByteArrayView name = line.first(close).sliced(1).trimmed();
  if (qstrnicmp(name.data(), name.size(), "general", 7) == 0) return {};
  QString section;
  if (qstrnicmp(name.data(), name.size(), "%general", 8) == 0)
    section = QString::fromLatin1(name.sliced(1));
  else
    AppendUnescapedName(name, section);
  return section + u'/';
}

// The value of a line, unquoted and unescaped, as text; true when a comma
// outside quotes made it a list (its items in `list`).
bool UnescapeValue(QByteArrayView value, QString& text, QStringList& list) {
  static constexpr char kEscapes[][2] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'}, {'r', '\r'}, {'t', '\t'},
                                         {'v', '\v'}, {'"', '"'},  {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
  const qsizetype size = value.size();
  auto isHex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
  auto chopBlanks = [](QString& s) {
    while (!s.isEmpty() && (s.back() == u' ' || s.back() == u'\t')) s.chop(1);
  };
  bool isList = false, inQuotes = false, quoted = false;
  qsizetype i = 0;
  auto skipBlanks = [&] {
    while (i < size && (value[i] == ' ' || value[i] == '\t')) ++i;
  };
  skipBlanks();
  while (i < size) {
    const char ch = value[i];
    if (ch == '\\') {
      if (++i >= size) break;
      const char code = value[i++];
      bool named = false;
      for (const auto& e : kEscapes) {
        if (code == e[0]) {
          text += QLatin1Char(e[1]);
          named = true;
          break;
        }
      }
      if (named) continue;
      if (code == 'x' || (code >= '0' && code <= '7')) {
        // \x and hex digits, or octal digits, as long as they go.
        const bool hex = code == 'x';
        if (hex && (i >= size || !isHex(value[i]))) continue;
        uint32_t number = hex ? 0 : uint32_t(code - '0');
        while (i < size && (hex ? isHex(value[i]) : (value[i] >= '0' && value[i] <= '7'))) {
          const char d = value[i++];
          number = hex ? (number << 4) + uint32_t(d <= '9' ? d - '0' : (d | 0x20) - 'a' + 10)
                       : (number << 3) + uint32_t(d - '0');
        }
        text += QChar(char16_t(number & 0xFFFF));
      } else if (IsLineBreak(code)) {
        if (i < size && IsLineBreak(value[i]) && value[i] != code) ++i;
      }
      // Any other escaped character is dropped.
    } else if (ch == '"') {
      ++i;
      quoted = true;
      inQuotes = !inQuotes;
      if (!inQuotes) skipBlanks();
    } else if (ch == ',' && !inQuotes) {
      if (!quoted) chopBlanks(text);
      if (!isList) {
        isList = true;
        list.clear();
      }
      list.append(text);
      text.clear();
      quoted = false;
      ++i;
      skipBlanks();
    } else {
      qsizetype j = i + 1;
      while (j < size && value[j] != '\\' && value[j] != '"' && value[j] != ',') ++j;
      text += QString::fromUtf8(value.sliced(i, j - i));
      i = j;
    }
  }
  if (!quoted) chopBlanks(text);
  if (isList) list.append(text);
  return isList;
}

// What the toolkit's value(...).toString() gives for a value's text: the
// '@' forms are typed values, of which only text, bytes and streamed
// variants read as text.
QString ValueText(const QString& s) {
  if (!s.startsWith(u'@')) return s;
  if (s.endsWith(u')')) {
    // The number of arguments of a geometry form, as the toolkit splits them.
    auto arguments = [&](qsizetype open) {
      qsizetype n = 0;
      for (qsizetype k = open + 1; k < s.size(); ++k) n += s.at(k) == u' ' || s.at(k) == u')';
      return n;
    };
    if (s.startsWith(QLatin1String("@ByteArray(")))
      return QString::fromUtf8(QStringView(s).sliced(11).chopped(1).toLatin1());
    if (s.startsWith(QLatin1String("@String("))) return s.sliced(8).chopped(1);
    if (s.startsWith(QLatin1String("@Variant(")) || s.startsWith(QLatin1String("@DateTime("))) {
      const bool dateTime = s.at(1) == u'D';
      QByteArray bytes = QStringView(s).sliced(dateTime ? 10 : 9).toLatin1();
      QDataStream stream(&bytes, QIODevice::ReadOnly);
      stream.setVersion(dateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
      QVariant v;
      stream >> v;
      return v.toString();
    }
    if ((s.startsWith(QLatin1String("@Rect(")) && arguments(5) == 4) ||
        (s.startsWith(QLatin1String("@Size(")) && arguments(5) == 2) ||
        (s.startsWith(QLatin1String("@Point(")) && arguments(6) == 2) || s == QLatin1String("@Invalid()"))
      return {};
  }
  if (s.startsWith(QLatin1String("@@"))) return s.sliced(1);
  return s;
}

// The file's logical lines, and the section the toolkit looks in for
// Printer/Language (none: it finds no value).
struct IniScan {
  std::vector<IniLine> lines;
  bool headersOk = true;
  std::optional<QString> looked;
};

IniScan ScanIni(QByteArrayView ini) {
  IniScan scan;
  std::set<QString> sections{QString()};  // the file's top is always one
  QString section;
  qsizetype pos = ini.startsWith(kByteOrderMark) ? 3 : 0;
  IniLine line;
  while (NextIniLine(ini, pos, line)) {
    line.header = ini[line.start] == '[';
    if (line.header) {
      section = HeaderSection(ini.sliced(line.start, line.length), scan.headersOk);
      sections.insert(section);
    }
    line.section = section;
    scan.lines.push_back(line);
  }
  // The last name at or before the key, if it starts the key.
  auto at = sections.upper_bound(QString::fromLatin1(kLanguageKey));
  if (at != sections.begin() && !(--at)->isEmpty() && QString::fromLatin1(kLanguageKey).startsWith(*at))
    scan.looked = *at;
  return scan;
}

// The key of a line with '=', as written, trimmed.
QByteArrayView RawKey(QByteArrayView ini, const IniLine& line) {
  return ini.sliced(line.start, line.equals - line.start).trimmed();
}

// True for a line that the toolkit reads Printer/Language from.
bool IsLanguageLine(QByteArrayView ini, const IniScan& scan, const IniLine& line) {
  if (line.header || line.equals < 0 || !scan.looked || line.section != *scan.looked) return false;
  QString key = line.section;
  AppendUnescapedName(RawKey(ini, line), key);
  return key == QLatin1String(kLanguageKey);
}

}  // namespace

IniLanguage ReadIniLanguageFrom(const QByteArray& ini) {
  IniLanguage out;
  const IniScan scan = ScanIni(ini);
  out.wellFormed = scan.headersOk;
  for (const IniLine& line : scan.lines) {
    if (line.header || !scan.looked || line.section != *scan.looked) continue;
    if (line.equals < 0) {
      if (ini[line.start] != ';') out.wellFormed = false;
      continue;
    }
    if (!IsLanguageLine(ini, scan, line)) continue;
    const qsizetype valueStart = line.equals + 1;
    QString text;
    QStringList list;
    // A list reads as no text.
    out.language = UnescapeValue(QByteArrayView(ini).sliced(valueStart, line.start + line.length - valueStart), text,
                                 list)
                       ? QString()
                       : ValueText(text);
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
  // The value goes in as it is: only a word the toolkit reads back unchanged.
  if (value.isEmpty()) return std::nullopt;
  for (const QChar c : value)
    if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != '-') return std::nullopt;
  const QByteArray entry = "Language=" + value.toLatin1();
  // Lines the file adds end as its own do.
  const QByteArray eol = ini.contains("\r\n") ? "\r\n" : (ini.contains('\r') && !ini.contains('\n') ? "\r" : "\n");
  const IniScan scan = ScanIni(ini);
  QByteArray out = ini;
  bool found = false;
  // Every line the toolkit reads the key from gets the value, its key kept
  // as written; from the last, so earlier positions hold.
  for (auto line = scan.lines.rbegin(); line != scan.lines.rend(); ++line) {
    if (!IsLanguageLine(ini, scan, *line)) continue;
    qsizetype from = line->start;
    while (from > 0 && (ini[from - 1] == ' ' || ini[from - 1] == '\t')) --from;
    out.replace(from, line->start + line->length - from, RawKey(ini, *line).toByteArray() + "=" + value.toLatin1());
    found = true;
  }
  if (!found) {
    // Else the line goes first into the section the toolkit reads, after its
    // first header; else a section is added at the end.
    const auto header = std::find_if(scan.lines.begin(), scan.lines.end(), [&](const IniLine& l) {
      return l.header && scan.looked == QLatin1String(kPrinterSection) && l.section == *scan.looked;
    });
    if (header != scan.lines.end()) {
      qsizetype after = header->start + header->length;
      while (after < out.size() && !IsLineBreak(out[after])) ++after;
      if (after == out.size()) {
        out += eol + entry;
      } else {
        after += out.mid(after, 2) == "\r\n" ? 2 : 1;
        out.insert(after, entry + eol);
      }
    } else {
      auto endsWithBreak = [](const QByteArray& b) { return b.endsWith('\n') || b.endsWith('\r'); };
      const qsizetype body = out.startsWith(kByteOrderMark) ? 3 : 0;
      if (!out.mid(body).trimmed().isEmpty()) {
        // A line break first where the file ends in a line: one without a
        // break, or one whose last break a backslash escapes.
        const bool inLine = !scan.lines.empty() && scan.lines.back().start + scan.lines.back().length == ini.size();
        if (!endsWithBreak(out) || inLine) out += eol;
        // A blank line before the new section, unless the file ends in one.
        if (!endsWithBreak(out.chopped(out.endsWith("\r\n") ? 2 : 1))) out += eol;
      }
      out += "[Printer]" + eol + entry + eol;
    }
  }
  // Written only when the toolkit reads back what was asked.
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
  // A file the toolkit reports a format error in is left as the user has it.
  if (!ReadIniLanguageFrom(*bytes).wellFormed) return false;
  const auto edited = WithIniLanguage(*bytes, value);
  if (!edited) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  return torva::gui::WriteWholeFile(path, *edited) == torva::gui::FileWrite::Written;
}
