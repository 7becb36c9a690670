// Printer.ini read from its bytes as the toolkit reads it: QSettings itself
// (IniFormat) is the reference, on a table of the shapes users' files take
// and on many files made from their pieces, and an edit by the Language menu
// leaves every other value of the file as the toolkit read it.
#include <gtest/gtest.h>

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <random>

#include "ShellFixture.h"

namespace {

// What QSettings reads of the bytes: Printer/Language as text and its
// status just after, as the console once asked them.
struct Reference {
  QString language;
  bool wellFormed;
};

class ToolkitReader {
 public:
  ToolkitReader() { EXPECT_TRUE(dir_.isValid()); }
  Reference Read(const QByteArray& bytes) {
    const QString path = Write(bytes);
    const QSettings ini(path, QSettings::IniFormat);
    const QString language = ini.value("Printer/Language", "-1").toString();
    return {language, ini.status() == QSettings::NoError};
  }
  // Every key with its value, as text, but Printer/Language.
  QStringList Others(const QByteArray& bytes) {
    QSettings ini(Write(bytes), QSettings::IniFormat);
    QStringList out;
    for (const QString& key : ini.allKeys())
      // (The toolkit reads no value of an empty key.)
      if (key != "Printer/Language" && !key.isEmpty()) out << key + "=" + ini.value(key).toString();
    return out;
  }

 private:
  // A new name each time: QSettings keeps what it read of a name.
  QString Write(const QByteArray& bytes) {
    const QString path = dir_.filePath(QString("f%1.ini").arg(n_++));
    shelltest::WriteFile(path, bytes);
    return path;
  }
  QTemporaryDir dir_;
  int n_ = 0;
};

std::string Shown(const QByteArray& bytes) { return bytes.toHex(' ').toStdString() + " \"" + bytes.toStdString() + "\""; }

}  // namespace

// Shapes of files as people write them, and the toolkit's rules behind each.
TEST(PrinterIniRead, ReadsAsTheToolkitDoes) {
  struct Case {
    const char* name;
    QByteArray ini;
    const char* language;
  };
  const Case cases[] = {
      {"plain", "[Printer]\nLanguage=English\n", "English"},
      {"a byte-order mark", "\xEF\xBB\xBF[Printer]\nLanguage=English\n", "English"},
      {"two marks: the second is text", "\xEF\xBB\xBF\xEF\xBB\xBF[Printer]\nLanguage=English\n", "-1"},
      {"CR LF", "[Printer]\r\nLanguage=English\r\n", "English"},
      {"CR alone", "[Printer]\rLanguage=English\r", "English"},
      {"the section's case counts", "[printer]\nLanguage=English\n", "-1"},
      {"the key's case counts", "[Printer]\nlanguage=English\n", "-1"},
      {"blanks round names and value", "  [ Printer ]\n\t Language \t= English \t\n", "English"},
      {"escaped names", "[Pr%69nter]\nLangu%U0061ge=English\n", "English"},
      {"quoted", "[Printer]\nLanguage=\"English\"\n", "English"},
      {"quotes keep blanks", "[Printer]\nLanguage=\" English\"\n", " English"},
      {"quotes over a line break", "[Printer]\nLanguage=\"Eng\nlish\"\n", "Eng\nlish"},
      {"escapes", "[Printer]\nLanguage=E\\x6e\\147lish\n", "English"},
      {"a backslash joins lines", "[Printer]\nLanguage=Eng\\\nlish\n", "English"},
      {"a comment after the value", "[Printer]\nLanguage=English ;was Chinese\n", "English"},
      {"a comment line", "[Printer]\n;Language=English\n", "-1"},
      {"'#' is no comment", "[Printer]\n#Language=Chinese\nLanguage=English\n", "English"},
      {"the last of a key wins", "[Printer]\nLanguage=English\nLanguage=Chinese\n", "Chinese"},
      {"sections of one name merge", "[Printer]\nLanguage=Chinese\n[A]\nx=1\n[Printer]\nLanguage=English\n", "English"},
      {"a list", "[Printer]\nLanguage=English, Chinese\n", ""},
      {"typed bytes", "[Printer]\nLanguage=@ByteArray(English)\n", "English"},
      {"typed text", "[Printer]\nLanguage=@String(English)\n", "English"},
      {"an escaped '@'", "[Printer]\nLanguage=@@English\n", "@English"},
      {"no value", "[Printer]\nLanguage=@Invalid()\n", ""},
      {"the top is not looked in", "[General]\nPrinter\\Language=English\n", "-1"},
      {"a section sorted between hides it", "[Printer]\nLanguage=English\n[Printer\\A]\nx=1\n", "-1"},
      {"a header without ']'", "[Printer\nLanguage=English\n", "English"},
  };
  ToolkitReader toolkit;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const IniLanguage read = ReadIniLanguageFrom(c.ini);
    const Reference ref = toolkit.Read(c.ini);
    EXPECT_EQ(read.language.toStdString(), c.language);
    EXPECT_EQ(read.language, ref.language);
    EXPECT_EQ(read.wellFormed, ref.wellFormed);
  }
}

namespace {

// Files made of the pieces users' files are made of, picked at random from a
// fixed seed, so every run checks the same files.
class IniMaker {
 public:
  explicit IniMaker(unsigned seed) : random_(seed) {}
  QByteArray Next() {
    static const char* const kHeaders[] = {"[Printer]", "[printer]", "[ Printer ]", "[Pr%69nter]", "[General]",
                                           "[Other]",   "[Printer\\A]", "[Printer\\Z]", "[Printer",  "[%General]",
                                           "[Printer];c", "[\"Printer\"]"};
    static const char* const kKeys[] = {"Language", "Language", "language",         "Langu%61ge", " Language \t",
                                        "\vLanguage", "Other",  "Printer\\Language", "",           "Lang\"u\"age"};
    static const char* const kValues[] = {
        "English",       "English", "Chinese", "\"English\"", "English ;c",    "Eng\\x6cish", "@ByteArray(English)",
        "@String(English)", "@@English", "English, Chinese", "\"Eng\nlish\"", "Eng\\\nlish", "  English \t",
        "@Invalid()",    "",        "\"English", "Eng\"lish\"", "English\\",   "=English",    "\\\"English\\\"",
        "@Rect(1 2 3 4)", "Eng;lish"};
    static const char* const kOthers[] = {"", ";comment", "#note", "junk", "  ", "\\", "\"", "[", "=", "\t;x"};
    static const char* const kBreaks[] = {"\n", "\n", "\r\n", "\r", "\n\n"};
    QByteArray out = Pick(8) == 0 ? "\xEF\xBB\xBF" : "";
    const char* brk = kBreaks[Pick(std::size(kBreaks))];
    const int lines = int(Pick(8));
    for (int i = 0; i < lines; ++i) {
      switch (Pick(4)) {
        case 0: out += kHeaders[Pick(std::size(kHeaders))]; break;
        case 1:
        case 2:
          out += QByteArray(kKeys[Pick(std::size(kKeys))]) + "=" + kValues[Pick(std::size(kValues))];
          break;
        default: out += kOthers[Pick(std::size(kOthers))];
      }
      // Now and then a line ends otherwise than the rest.
      out += Pick(10) == 0 ? kBreaks[Pick(std::size(kBreaks))] : brk;
    }
    if (Pick(3) == 0) out.chop(1);
    return out;
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  std::mt19937 random_;
};

}  // namespace

// Many files made of those pieces, each read here and by the toolkit.
TEST(PrinterIniRead, ReadsMadeFilesAsTheToolkitDoes) {
  ToolkitReader toolkit;
  IniMaker maker(20240611);
  int english = 0;
  for (int n = 0; n < 3000; ++n) {
    const QByteArray ini = maker.Next();
    const IniLanguage read = ReadIniLanguageFrom(ini);
    const Reference ref = toolkit.Read(ini);
    ASSERT_EQ(read.language, ref.language) << Shown(ini);
    ASSERT_EQ(read.wellFormed, ref.wellFormed) << Shown(ini);
    english += read.language == "English";
  }
  // The pieces make the key readable often enough to mean something.
  EXPECT_GT(english, 100);
}

// The Language menu's edit of the same files: the toolkit reads the new value
// from what is written, and every other key as before; a file it would not
// read the value from even then is not written.
TEST(PrinterIniEdit, EditKeepsEveryOtherValue) {
  ToolkitReader toolkit;
  IniMaker maker(77);
  int edited = 0;
  for (int n = 0; n < 2000; ++n) {
    const QByteArray ini = maker.Next();
    if (!ReadIniLanguageFrom(ini).wellFormed) continue;
    for (const char* value : {"English", "Chinese"}) {
      const auto out = WithIniLanguage(ini, value);
      if (!out) {
        // Only where the toolkit would not read it even from a section of
        // its own at the end (a quote left open swallows it, a section
        // sorted before the key hides it).
        EXPECT_NE(toolkit.Read(ini + "\n[Printer]\nLanguage=" + value + "\n").language, value) << Shown(ini);
        continue;
      }
      ++edited;
      EXPECT_EQ(toolkit.Read(*out).language, value) << Shown(ini) << " -> " << Shown(*out);
      EXPECT_EQ(toolkit.Others(*out), toolkit.Others(ini)) << Shown(ini) << " -> " << Shown(*out);
      EXPECT_EQ(out->startsWith("\xEF\xBB\xBF"), ini.startsWith("\xEF\xBB\xBF"));
      // One [Printer] section is enough: none is added where the key is
      // read (one quoted in the old value may go with it).
      if (ReadIniLanguageFrom(ini).language != "-1") {
        EXPECT_LE(out->count("[Printer]"), ini.count("[Printer]"));
      }
    }
  }
  EXPECT_GT(edited, 1000);
}
