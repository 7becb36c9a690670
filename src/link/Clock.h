// One clock and sleep service for the waits the printer needs (the pause
// after a save, the wait before a read, pacing between blocks).
//
// PrinterDelay() is the only way code waits for the printer; tests may scale it
// down (SetPrinterDelayScale(0) makes every such wait return at once). Read
// deadlines on a port are not printer delays: they use TickMs() and poll(),
// and are never scaled.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace torva {

// Milliseconds of a steady clock, for deadlines.
uint64_t TickMs();

// Waits ms milliseconds times the current scale.
void PrinterDelay(int ms);

// 1.0 by default; 0 makes PrinterDelay return at once. Thread-safe.
void SetPrinterDelayScale(double scale);
double PrinterDelayScale();

// Records every wait asked of PrinterDelay (in ms, as asked, before scaling)
// for as long as it lives, from every thread; tests at scale 0 see the waits
// a road makes without waiting them. Recorders nest; the innermost records.
class ScopedPrinterDelayRecorder {
 public:
  ScopedPrinterDelayRecorder();
  // Also calls onWait with each wait as it is asked, on the asking thread and
  // before the wait, so a test can note what else had happened by then (what
  // a printer had received, say). onWait must not call PrinterDelay.
  explicit ScopedPrinterDelayRecorder(std::function<void(int ms)> onWait);
  ~ScopedPrinterDelayRecorder();
  ScopedPrinterDelayRecorder(const ScopedPrinterDelayRecorder&) = delete;
  ScopedPrinterDelayRecorder& operator=(const ScopedPrinterDelayRecorder&) = delete;

  std::vector<int> waits() const;
  void clear();
  void add(int ms);

 private:
  mutable std::mutex mu_;
  std::vector<int> waits_;
  std::function<void(int)> onWait_;
  ScopedPrinterDelayRecorder* outer_;
};

}  // namespace torva
