// The console's boxes: documents laid out in display lines (built, appended
// to, read back) and the editing of such a document, as the user types,
// deletes, pastes, copies and undoes. Whatever is done, the box's bytes are
// exact and its paragraphs stay short.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <functional>
#include <memory>
#include <string>

#include "tools/ConsoleBox.h"
#include "tools/ConsoleCodec.h"
#include "tools/ConsoleDocument.h"

using namespace torva::tools;

namespace {

const Text kLf(1, kLoneLfSymbol);

int LongestParagraph(const QTextDocument* doc) {
  int longest = 0;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) longest = std::max(longest, b.length());
  return longest;
}

Text WholeDisplay(const QTextDocument* doc) { return ReadDisplay(doc, 0, doc->characterCount()); }

std::string Utf8(const Text& t) {
  Text shown = t;
  for (char16_t& c : shown)
    if (c == kDisplayBreak) c = u'|';
  return ToQString(shown).toStdString();
}

Bytes BytesOf(const char* s) { return Bytes(s, s + std::char_traits<char>::length(s)); }

}  // namespace

// --- documents

TEST(ConsoleDocument, ABuiltDocumentReadsBackAsItsDisplayText) {
  Bytes lfOnly;
  for (int i = 0; i < 100000; ++i) lfOnly.push_back(i % 50 == 49 ? 0x0A : i % 50 == 20 ? 0x0D : 'a' + i % 26);
  for (int i = 0; i < 3000; ++i) lfOnly.insert(lfOnly.end(), {0x0D, 0x0A});  // a run of CR LF
  const Text display = DisplayText(NotationText(lfOnly), BoxMode::Text);
  std::unique_ptr<QTextDocument> doc(BuildDocument(display, QFont(), true, QThread::currentThread()));
  EXPECT_EQ(Utf8(WholeDisplay(doc.get())), Utf8(display));
  EXPECT_LE(LongestParagraph(doc.get()), kParagraphLimit);
  EXPECT_GT(doc->blockCount(), 1);
  EXPECT_TRUE(doc->isUndoRedoEnabled());
  EXPECT_EQ(doc->availableUndoSteps(), 0);
  // Read a slice at a time, with or without the display breaks.
  for (bool breaks : {true, false}) {
    DisplayReader reader(doc.get(), breaks);
    int slices = 1;
    while (!reader.read(0)) ++slices;
    EXPECT_GT(slices, 1);
    EXPECT_EQ(reader.take(), breaks ? display : WithoutDisplayBreaks(display));
  }
  // A part of it: the positions count every character and break.
  EXPECT_EQ(ReadDisplay(doc.get(), 3, 60), display.substr(3, 57));
}

// Appended a piece at a time, as the printer's reads come, a document holds
// what one built at once does, in paragraphs as short.
TEST(ConsoleDocument, AppendsGoOnFromTheLastLine) {
  Text text;
  for (int i = 0; i < 4000; ++i) text += i % 7 == 0 ? kLf : i % 11 == 0 ? Text(u"\n") : Text(u"xyzw");
  text += Text(3000, u'q');  // and a long line without a break
  QTextDocument doc;
  doc.setUndoRedoEnabled(false);
  for (size_t at = 0; at < text.size();) {
    const size_t n = std::min<size_t>(1 + at % 97, text.size() - at);
    AppendDisplay(&doc, DisplayText(text.substr(at, n), BoxMode::Text, LastLineColumn(&doc)));
    at += n;
  }
  EXPECT_EQ(Utf8(WholeDisplay(&doc)), Utf8(DisplayText(text, BoxMode::Text)));
  EXPECT_LE(LongestParagraph(&doc), kParagraphLimit);
}

// --- editing

namespace {

class ConsoleBoxEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    box = std::make_unique<ConsoleBox>();
    box->setMode(BoxMode::Text);
    box->resize(400, 200);
    box->show();
  }

  void Show(const Bytes& bytes) { box->setBoxText(NotationText(bytes)); }
  Bytes BoxBytes() const { return NotationBytes(box->boxText()).value_or(Bytes{0xEE}); }
  Text Display() const { return WholeDisplay(box->document()); }

  // The caret just after the n-th character of the text (before a display
  // break there), or just before it (after one).
  void CaretAfter(int n) { Caret(n, false); }
  void CaretBefore(int n) { Caret(n, true); }
  void Caret(int n, bool pastBreaks) {
    const Text display = Display();
    int position = 0, seen = 0;
    while (seen < n) seen += display[static_cast<size_t>(position++)] != kDisplayBreak;
    while (pastBreaks && static_cast<size_t>(position) < display.size() && display[position] == kDisplayBreak)
      ++position;
    QTextCursor c = box->textCursor();
    c.setPosition(position);
    box->setTextCursor(c);
  }
  void Select(int from, int to) {
    CaretBefore(from);
    QTextCursor c = box->textCursor();
    const int start = c.position();
    CaretAfter(to);
    const int end = box->textCursor().position();
    c.setPosition(start);
    c.setPosition(end, QTextCursor::KeepAnchor);
    box->setTextCursor(c);
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(box.get(), &press);
  }
  void Type(const QString& text) {
    for (QChar c : text) Key(0, Qt::NoModifier, QString(c));
  }
  void Compose(const QString& commit) {
    QInputMethodEvent event;
    event.setCommitString(commit);
    QApplication::sendEvent(box.get(), &event);
  }
  // Drops `text` from elsewhere just before the n-th character of the text.
  void Drop(int n, const QString& text) {
    CaretBefore(n);
    const QPointF at = box->cursorRect().center();
    CaretAfter(0);
    QMimeData data;
    data.setText(text);
    // The toolkit takes a drop only where a drag entered.
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box->viewport(), &drop);
  }
  void Undo() { Key(Qt::Key_Z, Qt::ControlModifier); }
  void Redo() { Key(Qt::Key_Y, Qt::ControlModifier); }

  // The box is laid out as a freshly shown text is.
  void ExpectLaidOut() {
    EXPECT_EQ(Utf8(Display()), Utf8(DisplayText(box->boxText(), box->mode())))
        << "bytes: " << BoxBytes().size();
    EXPECT_LE(LongestParagraph(box->document()), kParagraphLimit);
  }

  std::unique_ptr<ConsoleBox> box;
};

}  // namespace

// What the user types keeps its meaning beside display breaks: Enter is CR
// LF, a deleted LF mark joins its lines, Backspace and Delete at a display
// break delete the character beyond it; one undo takes each action back
// with its layout, and redo brings it again.
TEST_F(ConsoleBoxEdit, EditsBesideDisplayBreaksKeepTheirBytes) {
  // "ab" LF "cd" LF: two display lines, each ending in its LF mark.
  const Bytes start = BytesOf("ab\ncd\n");
  struct Case {
    const char* what;
    std::function<void()> edit;
    Bytes want;
    int steps = 1;  // undo steps: one an action of the user's, its layout with it
  } cases[] = {
      {"Enter after an LF mark", [&] { CaretAfter(3), Key(Qt::Key_Return, Qt::NoModifier, "\r"); },
       BytesOf("ab\n\r\ncd\n")},
      {"Shift+Enter", [&] { CaretAfter(3), Key(Qt::Key_Return, Qt::ShiftModifier, "\r"); },
       BytesOf("ab\n\r\ncd\n")},
      {"Enter mid-line", [&] { CaretAfter(1), Key(Qt::Key_Enter, Qt::KeypadModifier, "\r"); },
       BytesOf("a\r\nb\ncd\n")},
      {"Enter at a line's start", [&] { CaretBefore(3), Key(Qt::Key_Return, Qt::NoModifier, "\r"); },
       BytesOf("ab\n\r\ncd\n")},
      {"Backspace at a line's start", [&] { CaretBefore(3), Key(Qt::Key_Backspace); }, BytesOf("abcd\n")},
      {"Backspace after the mark", [&] { CaretAfter(3), Key(Qt::Key_Backspace); }, BytesOf("abcd\n")},
      {"Delete before the mark", [&] { CaretAfter(2), Key(Qt::Key_Delete); }, BytesOf("abcd\n")},
      {"Delete after the mark", [&] { CaretAfter(3), Key(Qt::Key_Delete); }, BytesOf("ab\nd\n")},
      {"typing after the mark", [&] { CaretAfter(3), Type("x"); }, BytesOf("ab\nxcd\n")},
      {"typing at the end", [&] { CaretAfter(6), Type("yz"); }, BytesOf("ab\ncd\nyz")},
      {"typing over a selection across the break", [&] { Select(1, 4), Type("z"); }, BytesOf("azd\n")},
      {"Enter over a selection", [&] { Select(1, 4), Key(Qt::Key_Return, Qt::NoModifier, "\r"); },
       BytesOf("a\r\nd\n")},
      {"an input method's text with a line break", [&] { CaretAfter(1), Compose("x\ny"); },
       BytesOf("ax\r\nyb\ncd\n")},
      {"text with a line break dropped", [&] { Drop(3, "p\nq"); }, BytesOf("ab\np\r\nqcd\n")},
      {"typed into the last line, then Enter",
       [&] { CaretAfter(6), Type("x"), Key(Qt::Key_Return, {}, "\r"), Type("y"); },
       BytesOf("ab\ncd\nx\r\ny"), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Show(start);
    const Text shown = Display();
    c.edit();
    EXPECT_EQ(BoxBytes(), c.want);
    ExpectLaidOut();
    const Text edited = Display();
    // One undo step for each action, and each shows a laid-out text: an
    // edit and its layout go together; redo the same way.
    for (int i = 0; i < c.steps; ++i) {
      Undo();
      ExpectLaidOut();
    }
    EXPECT_EQ(BoxBytes(), start);
    EXPECT_EQ(Utf8(Display()), Utf8(shown));
    EXPECT_FALSE(box->document()->isUndoAvailable());
    for (int i = 0; i < c.steps; ++i) {
      Redo();
      ExpectLaidOut();
    }
    EXPECT_FALSE(box->document()->isRedoAvailable());
    EXPECT_EQ(BoxBytes(), c.want);
    EXPECT_EQ(Utf8(Display()), Utf8(edited));
  }
}

// A long line typed or pasted is laid out in display lines as the user goes;
// its bytes are what was typed.
TEST_F(ConsoleBoxEdit, ALongLineStaysInShortDisplayLines) {
  Show(Bytes(600, 'q'));
  ExpectLaidOut();
  CaretAfter(300);
  Type("ABC");  // the display lines after it move on
  ExpectLaidOut();
  Bytes want(600, 'q');
  want.insert(want.begin() + 300, {'A', 'B', 'C'});
  EXPECT_EQ(BoxBytes(), want);
  // Backspace at the start of a display line deletes the character before it.
  CaretBefore(kDisplayLineChars);
  Key(Qt::Key_Backspace);
  want.erase(want.begin() + kDisplayLineChars - 1);
  EXPECT_EQ(BoxBytes(), want);
  ExpectLaidOut();
}

// What is copied is the selection's text: pasted into the box it gives the
// same bytes; a line break pasted is CR LF, and a long paste is laid out.
TEST_F(ConsoleBoxEdit, CopyAndPasteKeepTheBytes) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  Bytes lines;
  for (int i = 0; i < 40; ++i) lines.insert(lines.end(), {'l', static_cast<uint8_t>('0' + i % 10), 0x0A});
  Show(lines);
  Select(4, 20);  // across six display breaks
  box->copy();
  EXPECT_EQ(clipboard->text().toStdU16String(), NotationText(std::span(lines).subspan(4, 16)));
  CaretAfter(static_cast<int>(box->boxText().size()));
  box->paste();
  Bytes want = lines;
  want.insert(want.end(), lines.begin() + 4, lines.begin() + 20);
  EXPECT_EQ(BoxBytes(), want);
  ExpectLaidOut();
  // A text from elsewhere: its line breaks are CR LF.
  clipboard->setText("x\ny\r\nz");
  CaretAfter(0);
  box->paste();
  const Bytes now = BoxBytes();
  EXPECT_EQ(Bytes(now.begin(), now.begin() + 7), BytesOf("x\r\ny\r\nz"));
  // A long one without breaks, and one of many lines.
  box->clear();
  clipboard->setText(QString(20000, QLatin1Char('w')) + QString("x\n").repeated(3000));
  box->paste();
  Bytes pasted(20000, 'w');
  for (int i = 0; i < 3000; ++i) pasted.insert(pasted.end(), {'x', 0x0D, 0x0A});
  EXPECT_EQ(BoxBytes(), pasted);
  ExpectLaidOut();
  Undo();
  EXPECT_TRUE(box->boxText().empty());
}

// In hex mode a long typed or pasted line is laid out too; line breaks there
// are no bytes anyway.
TEST_F(ConsoleBoxEdit, HexModeLaysOutPastedLines) {
  box->setMode(BoxMode::Hex);
  box->setBoxText(u"");
  QGuiApplication::clipboard()->setText(QString("1B40").repeated(3000));
  box->paste();
  ExpectLaidOut();
  Bytes want;
  for (int i = 0; i < 3000; ++i) want.insert(want.end(), {0x1B, 0x40});
  EXPECT_EQ(ReadHexText(box->boxText()), want);
}
