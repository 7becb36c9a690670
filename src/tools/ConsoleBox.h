// One of the console's two boxes (the Input and the Receive box): a plain
// text editor whose document is laid out in display lines (ConsoleDocument.h),
// so that no paragraph grows long whatever the bytes are.
//
// Its text is what the user sees less the display breaks: the text's own
// line breaks are '\n', and reading it back (Send, Save File, a mode switch,
// a copy) never turns a display break into a byte. Whatever the user does
// keeps that so: Enter (and Shift+Enter) types a line break of the text, as
// does every line break in pasted or dropped text, whatever format the text
// beside it has; undo and redo bring display breaks back as they were. After
// each edit the paragraphs around it are laid out again, in the same undo
// step: a display break is never deleted on its own (Backspace and Delete
// skip it and delete the character beyond it), and a lone LF mark deleted
// takes its display break along, so the lines join. An undo step is the
// user's edit with its layout: undo and redo bring back laid-out texts.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>

#include "tools/ConsoleCodec.h"

class QTextDocument;

class ConsoleBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit ConsoleBox(QWidget* parent = nullptr);

  // The layout rules the box keeps after an edit: hex or text mode.
  void setMode(torva::tools::BoxMode mode) { mode_ = mode; }
  torva::tools::BoxMode mode() const { return mode_; }

  // The box's text (no display breaks; line breaks '\n').
  torva::tools::Text boxText() const;
  // The same, read a slice at a time while the window keeps painting (user
  // input is dropped meanwhile): for a box that may hold many MiB.
  torva::tools::Text boxTextWhilePainting() const;
  // Shows `text` (no display breaks) laid out in the box's mode.
  void setBoxText(torva::tools::TextView text);
  // Puts a document built off the window's thread (BuildDocument) into the
  // box; the document it had goes.
  void install(QTextDocument* doc);
  // Appends a display text at the end, whatever the caret or selection; the
  // view follows the end only when it was showing it.
  void appendDisplay(torva::tools::TextView display);
  // The characters on the last display line.
  int lastLineColumn() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QMimeData* createMimeDataFromSelection() const override;
  void insertFromMimeData(const QMimeData* source) override;
  void dropEvent(QDropEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // Follows the document's changes, so the edited positions are known.
  void watch();
  void noteChange(int position, int removed, int added);
  // Lays out the edited paragraphs again, in the last edit's undo step.
  void relayOutEdited();
  // Inserts typed or pasted text at the caret; its line breaks are the text's.
  void insertTyped(const QString& text);
  // Backspace and Delete over display breaks: the character beyond them.
  bool deleteBeyondDisplayBreaks(bool backward);

  torva::tools::BoxMode mode_ = torva::tools::BoxMode::Hex;
  QPointer<QTextDocument> watched_;
  bool edited_ = false;
  bool relayingOut_ = false;
  int editedFrom_ = 0, editedTo_ = 0;
  int typingAt_ = -1;  // the caret after the characters typed last, while typing goes on there
};
