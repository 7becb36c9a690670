// What the status and A/D benches share around a run of polling, the
// console's and the floor's alike: the printer's condition changed at random
// moments on a thread of its own, and the CPU time of the whole process while
// the event loop idles through the run.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <thread>

#include "PlainFloor.h"

namespace pollingrun {

using Clock = std::chrono::steady_clock;

// Calls change() at random moments `minMs` to `maxMs` apart (the same moments
// for the same seed) on a thread of its own, from start() until stop(). Each
// change() runs under the lock that locked() takes, after the moment is noted.
class RandomMoments {
 public:
  RandomMoments() = default;
  ~RandomMoments() { stop(); }
  RandomMoments(const RandomMoments&) = delete;
  RandomMoments& operator=(const RandomMoments&) = delete;

  void start(unsigned seed, int minMs, int maxMs, std::function<void()> change) {
    change_ = std::move(change);
    thread_ = std::thread([this, seed, minMs, maxMs] {
      std::mt19937 rng(seed);
      std::uniform_int_distribution<int> pause(minMs, maxMs);
      std::unique_lock<std::mutex> lock(mu_);
      while (!cv_.wait_for(lock, std::chrono::milliseconds(pause(rng)), [this] { return done_; })) {
        changedAt_ = Clock::now();
        change_();
      }
    });
  }
  void stop() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      done_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  // Runs f() under the changes' lock.
  template <typename F>
  auto locked(F&& f) {
    std::lock_guard<std::mutex> lock(mu_);
    return f();
  }
  // Milliseconds since the last change; only inside locked() or change().
  double sinceChangeMs() const {
    return std::chrono::duration<double, std::milli>(Clock::now() - changedAt_).count();
  }

 private:
  std::function<void()> change_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool done_ = false;
  Clock::time_point changedAt_{};
  std::thread thread_;
};

// Lets the event loop run, idle, for `seconds`; the CPU time the whole
// process used meanwhile, in seconds per second of wall time.
inline double IdleCpuShare(int seconds) {
  const double cpu0 = plainfloor::RusageCpuSeconds();
  QElapsedTimer wall;
  wall.start();
  {
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
  }
  const double elapsed = wall.elapsed() / 1000.0;
  return (plainfloor::RusageCpuSeconds() - cpu0) / elapsed;
}

}  // namespace pollingrun
