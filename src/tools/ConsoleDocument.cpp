#include "tools/ConsoleDocument.h"

#include <QElapsedTimer>
#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <algorithm>
#include <vector>

namespace torva::tools {

namespace {

constexpr char16_t kLineSeparator16 = u'\u2028';

// Where a paragraph ends: at the first line break once it holds
// kParagraphChars characters or kParagraphLines lines.
struct ParagraphFill {
  int chars = 0;  // characters so far, its line separators counted
  int lines = 1;
  bool full() const { return chars >= kParagraphChars || lines >= kParagraphLines; }
};

// The fill of the document's last paragraph.
ParagraphFill LastParagraphFill(const QTextDocument* doc) {
  const QString text = doc->lastBlock().text();
  ParagraphFill fill;
  fill.chars = static_cast<int>(text.size());
  fill.lines = 1 + static_cast<int>(text.count(QChar::LineSeparator));
  return fill;
}

// Writes a display text through a cursor: its characters in runs of one
// format, each break a line separator or, where the paragraph is full, a
// paragraph's end. A character takes the format of the break before it, so
// the runs change only where a display break follows a break of the text or
// the other way round: an LF-only text is one run a paragraph.
class DisplayWriter {
 public:
  DisplayWriter(QTextCursor& cursor, ParagraphFill fill) : cursor_(cursor), fill_(fill) {}

  void write(TextView display) {
    for (char16_t c : display) {
      if (c != u'\n' && c != kDisplayBreak) {
        run_.push_back(QChar(c));
        ++fill_.chars;
        continue;
      }
      const bool display = c == kDisplayBreak;
      if (fill_.full()) {
        flush();
        cursor_.insertBlock(QTextBlockFormat(), display ? DisplayBreakFormat() : TextBreakFormat());
        fill_ = ParagraphFill{};
      } else {
        if (display != runIsDisplay_) flush();
        run_.push_back(QChar(kLineSeparator16));
        ++fill_.chars;
        ++fill_.lines;
      }
      runIsDisplay_ = display;
    }
    flush();
  }

 private:
  void flush() {
    if (run_.isEmpty()) return;
    cursor_.insertText(run_, runIsDisplay_ ? DisplayBreakFormat() : TextBreakFormat());
    run_.clear();
  }

  QTextCursor& cursor_;
  ParagraphFill fill_;
  QString run_;
  bool runIsDisplay_ = false;
};

// Appends the display text of one paragraph's positions [from, to) to out,
// without its display breaks unless `displayBreaks`.
void ReadParagraph(const QTextBlock& block, int from, int to, bool displayBreaks, Text& out) {
  for (auto it = block.begin(); !it.atEnd(); ++it) {
    const QTextFragment fragment = it.fragment();
    const int start = fragment.position();
    const int lo = std::max(start, from), hi = std::min(start + fragment.length(), to);
    if (lo >= hi) continue;
    const bool display = IsDisplayBreak(fragment.charFormat());
    const QString text = fragment.text();
    for (int i = lo - start; i < hi - start; ++i) {
      const char16_t c = text.at(i).unicode();
      if (c == kLineSeparator16) {
        if (!display)
          out.push_back(u'\n');
        else if (displayBreaks)
          out.push_back(kDisplayBreak);
      } else if (c == kDisplayBreak)
        out.push_back(u'\uFFFD');
      else
        out.push_back(c);
    }
  }
}

// The break that ends the paragraph before `block`.
char16_t BreakBefore(const QTextBlock& block) {
  return IsDisplayBreak(block.charFormat()) ? kDisplayBreak : u'\n';
}

}  // namespace

QTextCharFormat DisplayBreakFormat() {
  QTextCharFormat format;
  format.setProperty(kDisplayBreakProperty, true);
  return format;
}

QTextCharFormat TextBreakFormat() { return QTextCharFormat(); }

bool IsDisplayBreak(const QTextCharFormat& format) { return format.boolProperty(kDisplayBreakProperty); }

QTextDocument* BuildDocument(TextView display, const QFont& font, bool undo, QThread* owner) {
  auto* doc = new QTextDocument;
  doc->setDefaultFont(font);
  doc->setUndoRedoEnabled(false);
  {
    QTextCursor cursor(doc);
    // One edit: the document announces its change once, not once a run.
    cursor.beginEditBlock();
    DisplayWriter(cursor, ParagraphFill{}).write(display);
    cursor.endEditBlock();
  }
  doc->setUndoRedoEnabled(undo);
  doc->setModified(false);
  doc->moveToThread(owner);
  return doc;
}

void AppendDisplay(QTextDocument* doc, TextView display) {
  if (display.empty()) return;
  QTextCursor cursor(doc);
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  DisplayWriter(cursor, LastParagraphFill(doc)).write(display);
  cursor.endEditBlock();
}

namespace {

bool OverBounds(const QTextBlock& b) {
  return b.length() > kParagraphLimit || b.text().count(QChar::LineSeparator) >= kParagraphLines;
}

bool HasFullParagraph(const QTextDocument* doc, int from, int to) {
  for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next())
    if (OverBounds(b)) return true;
  return false;
}

// Splits the paragraphs of [from, to] that are over their bounds: a line
// separator where a paragraph is full becomes a paragraph end of the same
// kind (one character for one, so no position moves).
void SplitFullParagraphs(QTextDocument* doc, int from, int to) {
  std::vector<int> ends;
  for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
    if (!OverBounds(b)) continue;
    const QString text = b.text();
    ParagraphFill fill;
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text.at(i) != QChar::LineSeparator) {
        ++fill.chars;
      } else if (fill.full()) {
        ends.push_back(b.position() + static_cast<int>(i));
        fill = ParagraphFill{};
      } else {
        ++fill.chars;
        ++fill.lines;
      }
    }
  }
  QTextCursor cursor(doc);
  for (int p : ends) {
    cursor.setPosition(p + 1);
    const bool display = IsDisplayBreak(cursor.charFormat());  // the separator's, before the cursor
    cursor.setPosition(p, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    cursor.insertBlock(QTextBlockFormat(), display ? DisplayBreakFormat() : TextBreakFormat());
  }
}

// What a new layout of the paragraphs around [from, to] changes.
struct RelayOutPlan {
  int start = 0, end = 0;  // the paragraphs' positions
  std::vector<DisplayBreakEdit> edits;
  int grown = 0;  // characters the edits add
  bool split = false;
  bool changes() const { return !edits.empty() || split; }
};

RelayOutPlan PlanRelayOut(const QTextDocument* doc, int from, int to, BoxMode mode) {
  RelayOutPlan plan;
  QTextBlock first = doc->findBlock(std::max(from, 0));
  QTextBlock last = doc->findBlock(std::max(std::min(to, doc->characterCount() - 1), 0));
  if (!first.isValid() || !last.isValid()) return plan;
  if (first.previous().isValid()) first = first.previous();
  if (last.next().isValid()) last = last.next();
  plan.start = first.position();
  plan.end = last.position() + last.length() - 1;
  const Text now = ReadDisplay(doc, plan.start, plan.end);
  const Text want = DisplayText(WithoutDisplayBreaks(now), mode, 0, last.next().isValid());
  plan.edits = DisplayBreakEdits(now, want);
  plan.grown = static_cast<int>(want.size()) - static_cast<int>(now.size());
  plan.split = !plan.edits.empty() || HasFullParagraph(doc, plan.start, plan.end);
  return plan;
}

}  // namespace

bool RelayOut(QTextDocument* doc, int from, int to, BoxMode mode) {
  const RelayOutPlan plan = PlanRelayOut(doc, from, to, mode);
  if (!plan.changes()) return false;
  const int start = plan.start;
  const std::vector<DisplayBreakEdit>& edits = plan.edits;
  QTextCursor cursor(doc);
  // Part of the edit before: one undo step takes both back.
  cursor.joinPreviousEditBlock();
  // From the last to the first: the positions before an edit stay valid.
  for (auto e = edits.rbegin(); e != edits.rend(); ++e) {
    const int p = start + static_cast<int>(e->position);
    cursor.setPosition(p);
    if (e->insert) {
      cursor.insertText(QString(QChar::LineSeparator), DisplayBreakFormat());
    } else {
      cursor.setPosition(p + 1, QTextCursor::KeepAnchor);
      cursor.removeSelectedText();
    }
  }
  if (plan.split) SplitFullParagraphs(doc, start, plan.end + plan.grown);
  cursor.endEditBlock();
  return true;
}

Text ReadDisplay(const QTextDocument* doc, int from, int to) {
  Text out;
  from = std::max(from, 0);
  to = std::min(to, doc->characterCount() - 1);  // the document's last paragraph end is no break
  if (from >= to) return out;
  out.reserve(static_cast<size_t>(to - from));
  for (QTextBlock b = doc->findBlock(from); b.isValid() && b.position() <= to; b = b.next()) {
    const int end = b.position() - 1;  // the break before b
    if (end >= from && end < to) out.push_back(BreakBefore(b));
    ReadParagraph(b, from, to, true, out);
  }
  return out;
}

int LastLineColumn(const QTextDocument* doc) {
  const QString text = doc->lastBlock().text();
  return static_cast<int>(text.size() - 1 - text.lastIndexOf(QChar::LineSeparator));
}

DisplayReader::DisplayReader(const QTextDocument* doc, bool displayBreaks)
    : doc_(doc), displayBreaks_(displayBreaks) {
  out_.reserve(static_cast<size_t>(doc->characterCount()));
}

bool DisplayReader::read(int ms) {
  QElapsedTimer timer;
  timer.start();
  QTextBlock b = doc_->findBlockByNumber(block_);
  for (; b.isValid(); b = b.next(), ++block_) {
    if (block_ > 0) {
      const char16_t end = BreakBefore(b);
      if (end != kDisplayBreak || displayBreaks_) out_.push_back(end);
    }
    ReadParagraph(b, b.position(), b.position() + b.length() - 1, displayBreaks_, out_);
    if (timer.elapsed() >= ms) {
      ++block_;
      return !b.next().isValid();
    }
  }
  return true;
}

}  // namespace torva::tools
