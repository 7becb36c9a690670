// Printer.ini as the console reads and edits it (the grammar stated in
// shell/PrinterIni.h): the shapes users' files take, what the Language menu
// makes of them, and files made at random from that grammar.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <random>
#include <vector>

#include "ShellFixture.h"

using shelltest::ShellTest;

namespace {

std::string Shown(const QByteArray& bytes) {
  return bytes.toHex(' ').toStdString() + " \"" + bytes.toStdString() + "\"";
}

}  // namespace

// Each shape: the language read from it, and whether the Language menu's
// write takes it (a file that is not INI is left as it is). Read and written
// through the file beside the program, as the console does.
TEST_F(ShellTest, PrinterIniShapesReadAndSwitched) {
  struct Case {
    const char* name;
    QByteArray ini;
    const char* language;  // UTF-8
    bool rewritten;
  };
  const Case cases[] = {
      {"plain", "[Printer]\nLanguage=English\n", "English", true},
      {"what the console writes", *WithIniLanguage("", "English"), "English", true},
      {"a byte-order mark", "\xEF\xBB\xBF[Printer]\nLanguage=English\n", "English", true},
      {"two marks: the second is text", "\xEF\xBB\xBF\xEF\xBB\xBF[Printer]\nLanguage=English\n", "-1", false},
      {"[printer]", "[printer]\nLanguage=English\n", "English", true},
      {"LANGUAGE=", "[PRINTER]\nLANGUAGE=English\n", "English", true},
      {"blanks round the line, names and value", "  [ Printer ]  \n\t Language \t= English \t\n", "English", true},
      {"what follows ']' is ignored", "[Printer] ;main\nLanguage=English\n", "English", true},
      {"quoted", "[Printer]\nLanguage=\"English\"\n", "English", true},
      {"the quotes keep what is inside", "[Printer]\nLanguage=\" English\"\n", " English", true},
      {"one pair of quotes only", "[Printer]\nLanguage=\"\"English\"\"\n", "\"English\"", true},
      {"a quote on one side stays", "[Printer]\nLanguage=\"English\n", "\"English", true},
      {"nothing else is unescaped", "[Printer]\nLanguage=Engl\\x69sh\n", "Engl\\x69sh", true},
      {"nor names", "[Pr%69nter]\nLanguage=English\n", "-1", true},
      {"a ';' after the value is part of it", "[Printer]\nLanguage=English ;was Chinese\n", "English ;was Chinese",
       true},
      {"comment lines", "[Printer]\n;Language=Chinese\n  # Language=Chinese\nLanguage=English\n", "English", true},
      {"CR LF", "[Printer]\r\nLanguage=English\r\n", "English", true},
      {"CR", "[Printer]\rLanguage=English\r", "English", true},
      {"mixed line ends", "[Other]\r\nx=1\r[Printer]\nLanguage=English\r\n", "English", true},
      {"no line end at the end", "[Printer]\nLanguage=English", "English", true},
      {"the last of a key", "[Printer]\nLanguage=English\nlanguage=Chinese\n", "Chinese", true},
      {"sections of one name merge",
       "[Printer]\nLanguage=Chinese\n[Other]\nLanguage=Chinese\n[printer]\nLanguage=English\n[Other]\nLanguage=Chinese\n",
       "English", true},
      {"a key outside any section", "Language=English\n[Printer]\nX=1\n", "-1", true},
      {"a key in another section", "[Other]\nLanguage=English\n", "-1", true},
      {"a section whose name only starts so", "[Printer2]\nLanguage=English\n", "-1", true},
      {"an empty value", "[Printer]\nLanguage=\n", "", true},
      {"an empty key", "[Printer]\n=English\n", "-1", true},
      {"bytes from 0x80 up are text", ";\xC7\xEB\xD1\xA1\n[Printer]\nLanguage=\xE8\x8B\xB1\xE8\xAF\xAD\n",
       "\xE8\x8B\xB1\xE8\xAF\xAD", true},
      // Not INI: read all the same, never rewritten.
      {"a header without ']'", "[Printer\nLanguage=English\n", "English", false},
      {"a header without ']' closes the section before", "[Printer]\n[Other\nLanguage=English\n", "-1", false},
      {"text without '='", "[Printer]\nLanguage=English\nkept by the user\n", "English", false},
      {"NULs after the text", "[Printer]\nLanguage=English\n" + QByteArray(16, '\0'), "English", false},
      {"a NUL in the value", QByteArray("[Printer]\nLanguage=English\0\n", 28), "-1", false},
      {"a form feed", "[Printer]\n\f\nLanguage=English\n", "English", false},
      {"DEL in a comment", "[Printer]\n;\x7F\nLanguage=English\n", "English", false},
  };
  const QString path = programDir + "/Printer.ini";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    shelltest::WriteFile(path, c.ini);
    EXPECT_EQ(ReadIniLanguage(), QString::fromUtf8(c.language));
    EXPECT_EQ(ReadIniLanguageFrom(c.ini).wellFormed, c.rewritten);
    const QString other = ReadIniLanguage() == "English" ? "Chinese" : "English";
    EXPECT_EQ(WriteIniLanguage(other), c.rewritten);
    if (c.rewritten)
      EXPECT_EQ(ReadIniLanguage(), other);
    else
      EXPECT_EQ(shelltest::ReadFile(path), c.ini);
  }
}

// The Language line set in the file as it stands: every other line kept,
// byte for byte.
TEST(PrinterIniEdit, SetsTheLanguageAndKeepsTheRest) {
  struct Case {
    const char* name;
    QByteArray in;
    QByteArray out;
  };
  const Case cases[] = {
      {"no file", "", "[Printer]\nLanguage=English\n"},
      {"a byte-order mark alone", "\xEF\xBB\xBF", "\xEF\xBB\xBF[Printer]\nLanguage=English\n"},
      {"the key replaced", "[Printer]\nLanguage=Chinese\n", "[Printer]\nLanguage=English\n"},
      {"blanks round the key and the value go", "[Printer]\n Language = Chinese \t\nX=1\n",
       "[Printer]\nLanguage=English\nX=1\n"},
      {"the key's spelling is kept", "[printer]\nLANGUAGE=Chinese\n", "[printer]\nLANGUAGE=English\n"},
      {"a quoted value", "[Printer]\nLanguage=\"Chinese\"\n", "[Printer]\nLanguage=English\n"},
      {"a note after the value is the value", "[Printer]\nLanguage=Chinese ;note\n", "[Printer]\nLanguage=English\n"},
      {"no line end at the end", "[Printer]\nLanguage=Chinese", "[Printer]\nLanguage=English"},
      {"CR LF kept", "[A]\r\nb=1\r\n[Printer]\r\nLanguage=Chinese\r\n", "[A]\r\nb=1\r\n[Printer]\r\nLanguage=English\r\n"},
      {"CR kept", "[Printer]\rLanguage=Chinese\rX=1\r", "[Printer]\rLanguage=English\rX=1\r"},
      {"a byte-order mark kept", "\xEF\xBB\xBF[Printer]\nLanguage=Chinese\n", "\xEF\xBB\xBF[Printer]\nLanguage=English\n"},
      {"every Language line of the Printer sections",
       "[Printer]\nLanguage=Chinese\n[A]\nLanguage=Chinese\n[PRINTER]\nlanguage=-1\n",
       "[Printer]\nLanguage=English\n[A]\nLanguage=Chinese\n[PRINTER]\nlanguage=English\n"},
      {"a section without the key", "[Printer]\nOther=2\n[B]\nc=3\n", "[Printer]\nLanguage=English\nOther=2\n[B]\nc=3\n"},
      {"the first of two Printer sections", "[B]\nc=3\n[printer]\nX=1\n[Printer]\nY=2\n",
       "[B]\nc=3\n[printer]\nLanguage=English\nX=1\n[Printer]\nY=2\n"},
      {"the new line ends as its header", "[A]\nb=1\n[Printer]\r\nX=1\n", "[A]\nb=1\n[Printer]\r\nLanguage=English\r\nX=1\n"},
      {"a header that ends the file", "[A]\r\nb=1\r\n[Printer]", "[A]\r\nb=1\r\n[Printer]\r\nLanguage=English"},
      {"a comment is not the key", "[Printer]\n;Language=Chinese\n", "[Printer]\nLanguage=English\n;Language=Chinese\n"},
      {"no section: added at the end", ";note\n[B]\nc=3", ";note\n[B]\nc=3\n\n[Printer]\nLanguage=English\n"},
      {"the key in another section is not it", "[B]\nLanguage=Chinese\n",
       "[B]\nLanguage=Chinese\n\n[Printer]\nLanguage=English\n"},
      {"nor a key outside any section", "Language=Chinese\r\n", "Language=Chinese\r\n\r\n[Printer]\r\nLanguage=English\r\n"},
      {"a file that ends in a blank line", "[B]\nc=3\n\n", "[B]\nc=3\n\n[Printer]\nLanguage=English\n"},
      {"blank lines only", "\n  \n", "\n  \n[Printer]\nLanguage=English\n"},
      {"CR line ends", "[B]\rc=3\r", "[B]\rc=3\r\r[Printer]\rLanguage=English\r"},
      // An LF added after the last line's lone CR would make the two one CR LF.
      {"a last lone CR after LF lines", "[B]\nc=3\r", "[B]\nc=3\r\r[Printer]\rLanguage=English\r"},
      {"bytes from 0x80 up kept", ";\xC7\xEB\n[Printer]\nLanguage=Chinese\n", ";\xC7\xEB\n[Printer]\nLanguage=English\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto out = WithIniLanguage(c.in, "English");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(Shown(*out), Shown(c.out));
    EXPECT_EQ(ReadIniLanguageFrom(*out).language, "English");
    EXPECT_TRUE(ReadIniLanguageFrom(*out).wellFormed);
  }
  // Only a plain word goes in.
  for (const char* value : {"", "Eng lish", "Eng\nlish", "Eng=lish", "\"English\"", "\xE8\x8B\xB1"})
    EXPECT_FALSE(WithIniLanguage("[Printer]\nLanguage=Chinese\n", QString::fromUtf8(value)).has_value()) << value;
}

namespace {

// A file made at random from the grammar's pieces, with what each line is.
struct MadeLine {
  QByteArray text, end;
  bool printerHeader = false;
  bool languageLine = false;  // a Language key in a Printer section
  QByteArray key;             // of an entry, as written
  QByteArray read;            // of a Language line: the value read
};
struct MadeFile {
  QByteArray bom;
  std::vector<MadeLine> lines;
  QByteArray Bytes() const {
    QByteArray out = bom;
    for (const MadeLine& l : lines) out += l.text + l.end;
    return out;
  }
};

class IniMaker {
 public:
  explicit IniMaker(unsigned seed) : random_(seed) {}
  MadeFile Next() {
    struct Header {
      const char* text;
      bool printer;
    };
    static const Header kHeaders[] = {{"[Printer]", true},   {"[printer]", true}, {"[ PRINTER ]", true},
                                      {"[Printer] ;x", true}, {"[Other]", false},  {"[Printer2]", false},
                                      {"[]", false},          {"[Pr%69nter]", false}};
    struct Key {
      const char* text;
      bool language;
    };
    static const Key kKeys[] = {{"Language", true}, {"LANGUAGE", true}, {" language\t", true}, {"Lang", false},
                                {"Language2", false}, {"Other", false}, {"", false}};
    struct Value {
      const char* text;
      const char* read;
    };
    static const Value kValues[] = {{"English", "English"},   {"Chinese", "Chinese"},  {"\"English\"", "English"},
                                    {" English \t", "English"}, {"\" English\"", " English"}, {"", ""},
                                    {"\"\"", ""},               {"\"", "\""},           {"English ;c", "English ;c"},
                                    {"Eng=lish", "Eng=lish"},   {"\xE8\x8B\xB1", "\xE8\x8B\xB1"}};
    static const char* const kComments[] = {"", "  ", "\t", ";c", "#c", " ; Language=English", "# [Printer]",
                                            ";\xC7\xEB"};
    static const char* const kIndents[] = {"", "", " ", "\t"};
    static const char* const kEnds[] = {"\n", "\r\n", "\r"};

    MadeFile file;
    if (Pick(6) == 0) file.bom = "\xEF\xBB\xBF";
    const char* usual = kEnds[Pick(std::size(kEnds))];
    const int count = int(Pick(13));
    bool inPrinter = false;
    for (int i = 0; i < count; ++i) {
      MadeLine line;
      switch (Pick(5)) {
        case 0: {
          const Header& h = kHeaders[Pick(std::size(kHeaders))];
          line.text = kIndents[Pick(std::size(kIndents))] + QByteArray(h.text);
          line.printerHeader = h.printer;
          inPrinter = h.printer;
          break;
        }
        case 1:
        case 2:
        case 3: {
          const Key& k = kKeys[Pick(std::size(kKeys))];
          const Value& v = kValues[Pick(std::size(kValues))];
          line.key = k.text;
          line.text = kIndents[Pick(std::size(kIndents))] + line.key + "=" + v.text;
          line.languageLine = inPrinter && k.language;
          line.read = v.read;
          break;
        }
        default: line.text = kComments[Pick(std::size(kComments))];
      }
      // Now and then a line ends otherwise than the rest, and the last one
      // may have no end.
      line.end = Pick(8) == 0 ? kEnds[Pick(std::size(kEnds))] : usual;
      if (i == count - 1 && Pick(4) == 0) line.end.clear();
      // An empty line after a lone CR would make one CR LF of the two ends.
      if (!file.lines.empty() && file.lines.back().end == "\r" && line.text.isEmpty() && line.end.startsWith('\n'))
        line.end = "\r";
      if (line.text.isEmpty() && line.end.isEmpty()) continue;
      file.lines.push_back(line);
    }
    return file;
  }

 private:
  size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }
  std::mt19937 random_;
};

// True when `rest` (what follows the last kept line) is a [Printer] section
// with the one Language line, optionally after a line end and a blank line.
bool IsAddedSection(const QByteArray& rest, const QByteArray& value) {
  static const QRegularExpression kSection("^(\r\n|\r|\n){0,2}\\[Printer\\](\r\n|\r|\n)Language=(\\w+)(\r\n|\r|\n)$");
  const auto m = kSection.match(QString::fromLatin1(rest));
  return m.hasMatch() && m.captured(3) == QString::fromLatin1(value);
}

// False where a line that ends in a lone CR (just before `at`) is followed
// by an LF: the two would be read as one CR LF, and the lines change.
bool KeepsItsEnd(const QByteArray& out, qsizetype at, const QByteArray& end) {
  return end != "\r" || at >= out.size() || out[at] != '\n';
}

}  // namespace

// Files made at random from the grammar (a fixed seed: every run checks the
// same files): each reads as its lines say; a switch then a read gives the
// value, every line but the Language lines is kept byte for byte and in
// order, and at most one Language line, with at most one [Printer] header,
// is added where the file had none.
TEST(PrinterIniEdit, MadeFilesSwitchAndKeepEveryOtherLine) {
  IniMaker maker(20240611);
  int rewrote = 0, inserted = 0, appended = 0;
  for (int n = 0; n < 3000; ++n) {
    const MadeFile file = maker.Next();
    const QByteArray in = file.Bytes();
    QByteArray expectRead = "-1";
    bool hasKey = false, hasHeader = false;
    for (const MadeLine& l : file.lines) {
      if (l.languageLine) expectRead = l.read;
      hasKey = hasKey || l.languageLine;
      hasHeader = hasHeader || l.printerHeader;
    }
    const IniLanguage before = ReadIniLanguageFrom(in);
    ASSERT_EQ(before.language, QString::fromUtf8(expectRead)) << Shown(in);
    ASSERT_TRUE(before.wellFormed) << Shown(in);

    for (const QByteArray& value : {QByteArray("English"), QByteArray("Chinese")}) {
      const auto out = WithIniLanguage(in, QString::fromLatin1(value));
      ASSERT_TRUE(out.has_value()) << Shown(in);
      const std::string trace = Shown(in) + " -> " + Shown(*out);
      const IniLanguage after = ReadIniLanguageFrom(*out);
      ASSERT_EQ(after.language, QString::fromLatin1(value)) << trace;
      ASSERT_TRUE(after.wellFormed) << trace;

      // Walk the result along the file's lines.
      ASSERT_TRUE(out->startsWith(file.bom)) << trace;
      qsizetype at = file.bom.size();
      int added = 0;
      for (const MadeLine& l : file.lines) {
        const QByteArray rest = out->mid(at);
        if (l.languageLine) {
          const QByteArray set = l.key.trimmed() + "=" + value + l.end;
          ASSERT_TRUE(rest.startsWith(set)) << trace;
          at += set.size();
          ASSERT_TRUE(KeepsItsEnd(*out, at, l.end)) << trace;
          continue;
        }
        if (!rest.startsWith(l.text + l.end)) {
          // The one line added to a Printer section that had no key.
          static const QRegularExpression kAdded("^Language=(\\w+)(\r\n|\r|\n)");
          const auto m = kAdded.match(QString::fromLatin1(rest));
          ASSERT_TRUE(!hasKey && hasHeader && m.hasMatch() && m.captured(1) == QString::fromLatin1(value)) << trace;
          ++added;
          at += m.capturedLength();
          ASSERT_TRUE(out->mid(at).startsWith(l.text + l.end)) << trace;
        }
        at += l.text.size() + l.end.size();
        ASSERT_TRUE(KeepsItsEnd(*out, at, l.end)) << trace;
      }
      const QByteArray rest = out->mid(at);
      if (!rest.isEmpty()) {
        // Only after a file that ends in its Printer header (which gets a
        // line end where it had none), or as a section of its own.
        static const QRegularExpression kAfterHeader("^(\r\n|\r|\n)?Language=(\\w+)(\r\n|\r|\n)?$");
        const auto m = kAfterHeader.match(QString::fromLatin1(rest));
        if (m.hasMatch()) {
          ASSERT_TRUE(!hasKey && file.lines.back().printerHeader && m.captured(2) == QString::fromLatin1(value))
              << trace;
          ++added;
        } else {
          ASSERT_TRUE(!hasKey && !hasHeader && IsAddedSection(rest, value)) << trace;
          ++appended;
        }
      }
      ASSERT_LE(added, 1) << trace;
      inserted += added;
      rewrote += hasKey;
    }
  }
  // The pieces take each road often enough to mean something.
  EXPECT_GT(rewrote, 500);
  EXPECT_GT(inserted, 500);
  EXPECT_GT(appended, 500);
}
