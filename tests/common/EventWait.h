// Waiting on a condition while the toolkit's event loop keeps running, for
// the tests of the dialogs and the windows.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
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

}  // namespace torva::testing
