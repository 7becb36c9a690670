#include "tools/StoppableWorker.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "link/Clock.h"

namespace torva::tools {

StoppableWorker::StoppableWorker(std::atomic<int>& liveThreads) : liveThreads_(liveThreads) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

StoppableWorker::~StoppableWorker() {
  stopAndJoin();
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

uint64_t StoppableWorker::launch(std::function<void(uint64_t)> body) {
  // Drain the wake-up of the previous stop.
  uint64_t v;
  while (wakeFd_ >= 0 && ::read(wakeFd_, &v, sizeof v) == sizeof v) {
  }
  stop_ = false;
  running_ = true;
  const uint64_t gen = generation_.fetch_add(1) + 1;
  liveThreads_.fetch_add(1);
  thread_ = std::thread([this, body = std::move(body), gen] {
    body(gen);
    liveThreads_.fetch_sub(1);
    running_ = false;
  });
  return gen;
}

void StoppableWorker::requestStop() {
  stop_ = true;
  if (wakeFd_ >= 0) {
    const uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
  }
}

void StoppableWorker::join() {
  if (thread_.joinable()) thread_.join();
}

void StoppableWorker::stopAndJoin() {
  if (!thread_.joinable()) return;
  requestStop();
  thread_.join();
}

bool StoppableWorker::pause(int ms) {
  if (stop_) return true;
  pollfd p{wakeFd_, POLLIN, 0};
  const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(std::max(ms, 0));
  for (;;) {
    const uint64_t now = torva::TickMs();
    if (stop_) return true;
    if (now >= deadline) return false;
    const int r = ::poll(&p, 1, static_cast<int>(deadline - now));
    if (r < 0 && errno != EINTR) return stop_.load();
  }
}

}  // namespace torva::tools
