#include "link/Clock.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace torva {
namespace {
std::atomic<double> g_scale{1.0};
std::mutex g_recorderMu;
ScopedPrinterDelayRecorder* g_recorder = nullptr;
// How many recorders live: without one (outside tests) a delay takes no lock.
// A recorder made before a thread starts, or before a call on this thread, is
// seen by it.
std::atomic<int> g_recorders{0};
}  // namespace

ScopedPrinterDelayRecorder::ScopedPrinterDelayRecorder() : ScopedPrinterDelayRecorder(nullptr) {}

ScopedPrinterDelayRecorder::ScopedPrinterDelayRecorder(std::function<void(int ms)> onWait)
    : onWait_(std::move(onWait)) {
  // Seen by other threads only from here on, whole.
  std::lock_guard<std::mutex> lk(g_recorderMu);
  outer_ = g_recorder;
  g_recorder = this;
  g_recorders.fetch_add(1, std::memory_order_release);
}

ScopedPrinterDelayRecorder::~ScopedPrinterDelayRecorder() {
  std::lock_guard<std::mutex> lk(g_recorderMu);
  g_recorder = outer_;
  g_recorders.fetch_sub(1, std::memory_order_release);
}

std::vector<int> ScopedPrinterDelayRecorder::waits() const {
  std::lock_guard<std::mutex> lk(mu_);
  return waits_;
}

void ScopedPrinterDelayRecorder::clear() {
  std::lock_guard<std::mutex> lk(mu_);
  waits_.clear();
}

void ScopedPrinterDelayRecorder::add(int ms) {
  {
    std::lock_guard<std::mutex> lk(mu_);
    waits_.push_back(ms);
  }
  if (onWait_) onWait_(ms);
}

uint64_t TickMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PrinterDelay(int ms) {
  if (g_recorders.load(std::memory_order_acquire) > 0) {
    std::lock_guard<std::mutex> lk(g_recorderMu);
    if (g_recorder) g_recorder->add(ms);
  }
  if (ms <= 0) return;
  const double scaled = ms * g_scale.load();
  if (scaled <= 0) return;
  std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int64_t>(scaled * 1000.0)));
}

void SetPrinterDelayScale(double scale) { g_scale = scale < 0 ? 0 : scale; }
double PrinterDelayScale() { return g_scale.load(); }

}  // namespace torva
