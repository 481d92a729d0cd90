// Locks for the few places that need one. Audio-thread code never waits on a
// lock held for longer than a few instructions.
#pragma once

#include <atomic>
#include <mutex>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace platform {

// Process-wide or per-object lock that the holding thread may take again.
using RecursiveLock = std::recursive_mutex;

// A lock for sections of a few instructions that the audio thread may enter:
// it never sleeps in the kernel, so it makes no system call.
class SpinLock {
 public:
  void lock() noexcept {
    while (m_flag.test_and_set(std::memory_order_acquire)) {
      while (m_flag.test(std::memory_order_relaxed)) Pause();
    }
  }
  bool try_lock() noexcept { return !m_flag.test_and_set(std::memory_order_acquire); }
  void unlock() noexcept { m_flag.clear(std::memory_order_release); }

 private:
  static void Pause() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#endif
  }
  std::atomic_flag m_flag = ATOMIC_FLAG_INIT;
};

}  // namespace platform
