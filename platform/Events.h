// The wake-up primitives of the plug-in's own threads: a group of event
// flags whose wait returns (and clears) every bit set since the last wait,
// and a counting semaphore with a timed wait.
//
// Setting flags takes no lock and never blocks, so the audio thread may do
// it: the bits live in one atomic word and a waiting thread sleeps on that
// word in the kernel (a futex).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

class EventFlags {
 public:
  // Any thread; no lock.
  void Set(uint32_t bits);
  // One waiting thread. Waits until a bit is set, or at most timeout (none:
  // for ever); returns the bits (0 after a time-out) and clears them.
  uint32_t Wait(std::chrono::milliseconds timeout);
  uint32_t Wait();

 private:
  uint32_t WaitUntil(const std::chrono::steady_clock::time_point* deadline);
  std::atomic<uint32_t> m_bits{0};
};

class Semaphore {
 public:
  explicit Semaphore(int maximum, int initial = 0) : m_maximum(maximum), m_count(initial) {}
  void Signal() {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_count < m_maximum) ++m_count;
    }
    m_wake.notify_one();
  }
  // True when signalled within timeout.
  bool Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_lock);
    if (!m_wake.wait_for(lock, timeout, [this] { return m_count > 0; })) return false;
    --m_count;
    return true;
  }

 private:
  std::mutex m_lock;
  std::condition_variable m_wake;
  const int m_maximum;
  int m_count;
};

}  // namespace platform
