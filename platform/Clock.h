// A monotonic clock in seconds since the system started. Any thread.
#pragma once

#include <time.h>

namespace platform {

inline double MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

}  // namespace platform
