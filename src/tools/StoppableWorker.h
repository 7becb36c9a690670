// The machinery a tool's worker thread shares: one run at a time, a stop
// flag with an eventfd that ends every wait at once, a generation counter
// that tags each run, and a count of the runs alive (per kind of worker,
// kept by the owner).
//
// The owner keeps its own start/stop interface and puts its run's body in
// launch(); the body reads stopRequested() and waits through pause() or
// polls wakeFd() beside its own descriptor.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace torva::tools {

class StoppableWorker {
 public:
  // liveThreads counts the runs alive of the owner's kind.
  explicit StoppableWorker(std::atomic<int>& liveThreads);
  ~StoppableWorker();  // stops and joins
  StoppableWorker(const StoppableWorker&) = delete;
  StoppableWorker& operator=(const StoppableWorker&) = delete;

  // Starts a run of body (which must not be running: join first). Drains the
  // previous stop's wake-up, clears the stop flag and returns the new
  // generation, which the body receives.
  uint64_t launch(std::function<void(uint64_t)> body);
  // Sets the stop flag and wakes every wait; returns at once.
  void requestStop();
  // True while a run has been launched and not yet joined.
  bool joinable() const { return thread_.joinable(); }
  void join();
  // requestStop and join, when a run has been launched.
  void stopAndJoin();

  bool stopRequested() const { return stop_.load(); }
  // True from launch until the body has returned.
  bool running() const { return running_.load(); }
  uint64_t generation() const { return generation_.load(); }
  // Readable once a stop has been requested: poll it beside a descriptor.
  int wakeFd() const { return wakeFd_; }

  // Waits up to ms or until a stop; true when stopped.
  bool pause(int ms);

 private:
  std::atomic<int>& liveThreads_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> generation_{0};
  int wakeFd_ = -1;
};

}  // namespace torva::tools
