// Small helpers every dialog of the console shares: the hourglass for the
// length of an operation, radio groups built from a group box, list filling,
// typing limits, quoted file names in messages, and painting a caption before
// a long wait.
#pragma once

#include <QColor>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QObject;
class QWidget;

namespace torva::gui {

// The hourglass for as long as an operation runs, on every way out of it.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The olive of the "normal" state lines.
inline const QColor kOlive(128, 128, 0);

// A button group of the radio buttons directly inside `box`, numbered 0, 1, ...
// in the order the layout lists them.
QButtonGroup* GroupOf(QWidget* box, QObject* owner);
// Checks button `id` of the group; an id with no button changes nothing.
void Check(QButtonGroup* group, int id);
// Replaces the items of the list.
void Fill(QComboBox* box, const std::vector<std::string>& items);
// Limits what the user types; texts put in by Get or an import are shown
// whole, as the printer or the file gave them (and, being longer than the
// limit, can still be shortened key by key).
void LimitTyping(QLineEdit* edit, int characters);

// Number edits. The widest text an edit that holds a number must show whole,
// its "largest number": what the dialog declared (SetLargestNumber), else
// the wider of its up-down's two bounds and as many digits as LimitTyping or
// the edit's maximum length lets the user type; empty for an edit that holds
// no number. A number the edit cannot show whole scrolls, and the user reads
// "5534" for 65534.
void SetLargestNumber(QLineEdit* edit, const QString& largest);
QString LargestNumber(const QLineEdit* edit);
// The width the edit's text has at the edit's present size, and the width
// `text` takes in it with the cursor after it.
int TextRoom(const QLineEdit* edit);
int TextNeed(const QLineEdit* edit, const QString& text);
// Gives every number edit in `dialog` at least the width its largest number
// needs (called once the form's controls are bound, before its size is
// fixed).
void FitNumberEdits(QWidget* dialog);
// "\"name\"" for the file names in messages.
QString Quoted(const QString& fileName);
// Paints what changed on screen now (a caption or result line set just before
// a wait), so the user sees it while the wait runs.
void PaintNow(QWidget* widget);

// Runs `work` (a wait for the printer: reads, writes, printer delays) on a
// thread of its own while this thread's event loop keeps running until it
// returns: windows repaint and timers run, but user input to every window
// (keys, mouse buttons, wheel, touch, close requests) is dropped, so no second
// action starts meanwhile. The hourglass shows for the whole run. `work` must
// not touch a widget. Returns when `work` has returned.
void RunWhilePainting(const std::function<void()>& work);
// The same for work that must run on this thread (it reads a widget's
// document): `slice` does a part of it, a few ms, and answers true once all
// is done; between the slices the event loop runs as above.
void RunSlicesWhilePainting(const std::function<bool()>& slice);

}  // namespace torva::gui
