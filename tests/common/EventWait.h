// Waiting on a condition while the toolkit's event loop keeps running, for
// the tests of the dialogs and the windows.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <QWidget>
#include <functional>

namespace torva::testing {

// Runs the event loop (in slices of at most sliceMs) until `done` holds or
// timeoutMs passed; false when the time ran out.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs, int sliceMs = 10) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, sliceMs);
  }
  return true;
}

// Counts the paint events of a widget (only while *during is true, when
// given), to show that a window kept painting while it waited.
class PaintWatch : public QObject {
 public:
  explicit PaintWatch(QWidget* w, const bool* during = nullptr) : during_(during) { w->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint && (!during_ || *during_)) ++paints;
    return false;
  }

 private:
  const bool* during_;
};

// A click the window system would deliver: press and release, posted.
inline void PostClick(QWidget* w) {
  const QPointF at(5, 5);
  QApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonPress, at, w->mapToGlobal(at), Qt::LeftButton,
                                             Qt::LeftButton, Qt::NoModifier));
  QApplication::postEvent(w, new QMouseEvent(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), Qt::LeftButton,
                                             Qt::NoButton, Qt::NoModifier));
}

}  // namespace torva::testing
