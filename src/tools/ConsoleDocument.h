// The documents of the console's two boxes: a display text (ConsoleCodec.h)
// laid into a QTextDocument, and read back out of it. No widget here: a
// document is built off the window's thread and only then handed to a box.
//
// A display line ends in a line break of the document: a line separator
// (U+2028) inside a paragraph, or a paragraph's end. Lines are grouped into
// paragraphs of about kParagraphChars characters or kParagraphLines lines,
// since a document of very many paragraphs is slow to hand to a box and one
// of a single long paragraph is slow to lay out. A display break is a line
// break whose character format carries kDisplayBreakProperty; a line break
// without it is one of the text ('\n', in text mode CR LF). The property
// stays with its break through the editor's undo and redo, and goes with it
// when it is deleted; the box makes every break that the user types or
// pastes a line break of the text (ConsoleBox).
#pragma once

#include <QString>
#include <QTextCharFormat>
#include <QTextFormat>

#include "tools/ConsoleCodec.h"

class QFont;
class QTextDocument;
class QThread;

namespace torva::tools {

// The codec's text as a QString, and back.
inline QString ToQString(TextView t) {
  return QString::fromUtf16(t.data(), static_cast<qsizetype>(t.size()));
}
inline Text ToText(const QString& s) {
  return Text(reinterpret_cast<const char16_t*>(s.utf16()), static_cast<size_t>(s.size()));
}

inline constexpr int kDisplayBreakProperty = QTextFormat::UserProperty + 0x0A;
inline constexpr int kParagraphChars = 4096;
inline constexpr int kParagraphLines = 256;
// No paragraph of a box built or appended to by these functions, nor of one
// the user edited (ConsoleBox), is longer (QTextBlock::length(), which counts
// the paragraph's end).
inline constexpr int kParagraphLimit = kParagraphChars + kDisplayLineChars + 1;

// The character formats of display breaks and of the text's own breaks.
QTextCharFormat DisplayBreakFormat();
QTextCharFormat TextBreakFormat();
bool IsDisplayBreak(const QTextCharFormat& format);

// A document holding `display`, built where it is called and then handed to
// `owner` (the window's thread): its default font `font`, no undo history
// (and none kept afterwards unless `undo`), no layout yet, since a layout
// would take font engines from the building thread's cache, which goes when
// that thread ends.
QTextDocument* BuildDocument(TextView display, const QFont& font, bool undo, QThread* owner);

// Appends `display` at the end of `doc`, as one edit, its lines grouped on
// from the last paragraph's.
void AppendDisplay(QTextDocument* doc, TextView display);

// Lays out again the paragraphs that hold the positions [from, to] and the
// one before and after them, after an edit there: display breaks where
// DisplayText puts them in `mode`, and a paragraph grown past its bounds
// split at its line breaks. Only display breaks are put in or taken out, and
// line separators turned into paragraph ends: the text stays as it is, and
// so do the breaks before and after those paragraphs. What it changes joins
// the document's last edit, which must be an edit block (an edit of a
// QTextCursor between beginEditBlock and endEditBlock) for one undo step to
// take both back. True when it changed something.
bool RelayOut(QTextDocument* doc, int from, int to, BoxMode mode);

// The display text of the document's positions [from, to): the text's line
// breaks '\n', display breaks kDisplayBreak. A character kDisplayBreak of the
// text itself is read as U+FFFD, which no mode takes either.
Text ReadDisplay(const QTextDocument* doc, int from, int to);
// The characters on the document's last display line.
int LastLineColumn(const QTextDocument* doc);

// Reads a whole document's display text (or its text) a slice at a time, so a long one can
// be read on the window's thread between its events. The document must not
// change between the slices.
class DisplayReader {
 public:
  // `displayBreaks`: the display text; else the text alone.
  DisplayReader(const QTextDocument* doc, bool displayBreaks);
  // Reads on for about `ms`; true once the whole document is read.
  bool read(int ms);
  Text take() { return std::move(out_); }

 private:
  const QTextDocument* doc_;
  bool displayBreaks_;
  int block_ = 0;  // the next paragraph's number
  Text out_;
};

}  // namespace torva::tools
