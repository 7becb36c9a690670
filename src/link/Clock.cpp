#include "link/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace torva {
namespace {
std::atomic<double> g_scale{1.0};
}

uint64_t TickMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PrinterDelay(int ms) {
  if (ms <= 0) return;
  const double scaled = ms * g_scale.load();
  if (scaled <= 0) return;
  std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(scaled * 1000.0)));
}

void SetPrinterDelayScale(double scale) { g_scale = scale < 0 ? 0 : scale; }
double PrinterDelayScale() { return g_scale.load(); }

}  // namespace torva
