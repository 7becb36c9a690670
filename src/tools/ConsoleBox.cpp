#include "tools/ConsoleBox.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <climits>
#include <memory>

#include "gui/DialogHelpers.h"
#include "tools/ConsoleDocument.h"

using namespace torva::tools;

namespace {

// The character at `position` is a display break.
bool DisplayBreakAt(const QTextDocument* doc, int position) {
  const QChar c = doc->characterAt(position);
  if (c == QChar::ParagraphSeparator) {
    const QTextBlock next = doc->findBlock(position + 1);
    return next.isValid() && next.position() == position + 1 && IsDisplayBreak(next.charFormat());
  }
  if (c != QChar::LineSeparator) return false;
  QTextCursor after(const_cast<QTextDocument*>(doc));
  after.setPosition(position + 1);
  return IsDisplayBreak(after.charFormat());  // the format of the character before the cursor
}

bool HoldsLineBreak(const QString& text) {
  for (QChar c : text)
    if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator)
      return true;
  return false;
}

}  // namespace

ConsoleBox::ConsoleBox(QWidget* parent) : QPlainTextEdit(parent) { watch(); }

Text ConsoleBox::boxText() const {
  DisplayReader reader(document(), false);
  reader.read(INT_MAX);
  return reader.take();
}

Text ConsoleBox::boxTextWhilePainting() const {
  DisplayReader reader(document(), false);
  torva::gui::RunSlicesWhilePainting([&] { return reader.read(8); });
  return reader.take();
}

void ConsoleBox::setBoxText(TextView text) {
  install(BuildDocument(DisplayText(text, mode_), font(), !isReadOnly(), thread()));
}

void ConsoleBox::install(QTextDocument* doc) {
  // The box owns the new document; the one it had goes with the old text
  // (the box deletes its first document itself, later ones are ours).
  const QPointer<QTextDocument> old = document();
  doc->setDocumentLayout(new QPlainTextDocumentLayout(doc));
  doc->setParent(this);
  setDocument(doc);
  if (old && old != doc && old->parent() == this) delete old.data();
  watch();
}

void ConsoleBox::appendDisplay(TextView display) {
  if (display.empty()) return;
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  AppendDisplay(document(), display);
  if (atEnd) bar->setValue(bar->maximum());
}

int ConsoleBox::lastLineColumn() const { return LastLineColumn(document()); }

// --- edits

void ConsoleBox::watch() {
  QTextDocument* doc = document();
  if (watched_ == doc) return;
  if (watched_) disconnect(watched_, nullptr, this, nullptr);
  watched_ = doc;
  edited_ = false;
  connect(doc, &QTextDocument::contentsChange, this, &ConsoleBox::noteChange);
}

void ConsoleBox::noteChange(int position, int removed, int added) {
  if (relayingOut_) return;
  typingAt_ = -1;  // a typing key sets it again after its change
  const int end = position + added;
  if (!edited_) {
    edited_ = true;
    editedFrom_ = position;
    editedTo_ = end;
    return;
  }
  // The range noted before, moved through this change.
  const auto moved = [&](int p) {
    return p < position ? p : p >= position + removed ? p + added - removed : position;
  };
  editedFrom_ = std::min(moved(editedFrom_), position);
  editedTo_ = std::max(moved(editedTo_), end);
}

void ConsoleBox::relayOutEdited() {
  if (!edited_ || relayingOut_) return;
  edited_ = false;
  relayingOut_ = true;
  RelayOut(document(), editedFrom_, editedTo_, mode_);
  relayingOut_ = false;
}

void ConsoleBox::insertTyped(const QString& text) {
  QTextCursor cursor = textCursor();
  cursor.beginEditBlock();
  // Replaces the selection. Every line break becomes a paragraph end in the
  // text's break format, whatever format the characters around it have.
  cursor.insertText(text, TextBreakFormat());
  cursor.endEditBlock();
  setTextCursor(cursor);
  relayOutEdited();
  ensureCursorVisible();
}

bool ConsoleBox::deleteBeyondDisplayBreaks(bool backward) {
  const QTextDocument* doc = document();
  QTextCursor cursor = textCursor();
  const int at = cursor.position();
  int beyond = at;
  if (backward) {
    while (beyond > 0 && DisplayBreakAt(doc, beyond - 1)) --beyond;
    if (beyond == at || beyond == 0) return false;
    cursor.setPosition(beyond);
    cursor.beginEditBlock();  // an edit the new layout joins
    cursor.deletePreviousChar();
    cursor.endEditBlock();
    setTextCursor(cursor);
  } else {
    const int last = doc->characterCount() - 1;
    while (beyond < last && DisplayBreakAt(doc, beyond)) ++beyond;
    if (beyond == at || beyond == last) return false;
    cursor.setPosition(beyond);
    cursor.beginEditBlock();
    cursor.deleteChar();  // the caret stays before the display breaks
    cursor.endEditBlock();
  }
  relayOutEdited();
  ensureCursorVisible();
  return true;
}

void ConsoleBox::keyPressEvent(QKeyEvent* event) {
  watch();
  if (isReadOnly()) {
    QPlainTextEdit::keyPressEvent(event);
    return;
  }
  if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo)) {
    // Each step brings back a text as it was laid out.
    QPlainTextEdit::keyPressEvent(event);
    edited_ = false;
    typingAt_ = -1;
    return;
  }
  if (event->matches(QKeySequence::InsertParagraphSeparator) ||
      event->matches(QKeySequence::InsertLineSeparator)) {
    insertTyped(QStringLiteral("\n"));
    event->accept();
    return;
  }
  const bool backspace =
      event->key() == Qt::Key_Backspace && !(event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier));
  if ((backspace || event->matches(QKeySequence::Delete)) && !textCursor().hasSelection() &&
      deleteBeyondDisplayBreaks(backspace)) {
    event->accept();
    return;
  }
  // Whatever the key edits is an edit block, which the new layout it needs
  // joins: one undo step (the editor's own edit of a typed character or a
  // Backspace could not be joined). Characters typed in a row stay one step,
  // as the editor makes them.
  const QString text = event->text();
  const bool typing = !text.isEmpty() && text.front().isPrint() && !textCursor().hasSelection() &&
                      !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
  QTextCursor step(document());
  if (typing && typingAt_ == textCursor().position())
    step.joinPreviousEditBlock();
  else
    step.beginEditBlock();
  edited_ = false;
  QPlainTextEdit::keyPressEvent(event);
  step.endEditBlock();  // the document announces the edit here
  const bool changed = edited_;
  relayOutEdited();
  if (changed) typingAt_ = typing ? textCursor().position() : -1;
}

void ConsoleBox::inputMethodEvent(QInputMethodEvent* event) {
  watch();
  if (!isReadOnly() && HoldsLineBreak(event->commitString())) {
    // The composition ends as the toolkit has it; the committed text goes in
    // as typed text.
    QInputMethodEvent rest(event->preeditString(), event->attributes());
    QPlainTextEdit::inputMethodEvent(&rest);
    insertTyped(event->commitString());
    event->accept();
    return;
  }
  QPlainTextEdit::inputMethodEvent(event);
  relayOutEdited();
}

QMimeData* ConsoleBox::createMimeDataFromSelection() const {
  // What the selection holds of the text: a copy pasted into either box
  // gives the same bytes.
  const QTextCursor cursor = textCursor();
  auto* data = new QMimeData;
  data->setText(ToQString(
      WithoutDisplayBreaks(ReadDisplay(document(), cursor.selectionStart(), cursor.selectionEnd()))));
  return data;
}

void ConsoleBox::insertFromMimeData(const QMimeData* source) {
  if (isReadOnly() || !source || !source->hasText()) return;
  watch();
  insertTyped(source->text());
}

void ConsoleBox::dropEvent(QDropEvent* event) {
  watch();
  QPlainTextEdit::dropEvent(event);  // inserts through insertFromMimeData; a move also takes out the source
  relayOutEdited();
}

void ConsoleBox::contextMenuEvent(QContextMenuEvent* event) {
  watch();
  const std::unique_ptr<QMenu> menu(createStandardContextMenu(event->pos()));
  relayOutEdited();  // nothing is left, but be sure the undo below sees only its own change
  const QAction* chosen = menu->exec(event->globalPos());
  const QString name = chosen ? chosen->objectName() : QString();
  if (name == QLatin1String("edit-undo") || name == QLatin1String("edit-redo"))
    edited_ = false;  // a text as it was laid out
  else
    relayOutEdited();
}
