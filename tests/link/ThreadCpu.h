// CPU time of the calling thread, to check that a wait sleeps instead of
// spinning.
#pragma once

#include <time.h>

#include <cstdint>

inline int64_t ThreadCpuMicros() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}
