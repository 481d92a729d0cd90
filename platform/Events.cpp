#include "platform/Events.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace platform {
namespace {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t));

uint32_t* Word(std::atomic<uint32_t>& a) {
  return reinterpret_cast<uint32_t*>(&a);
}

}  // namespace

void EventFlags::Set(uint32_t bits) {
  m_bits.fetch_or(bits, std::memory_order_release);
  syscall(SYS_futex, Word(m_bits), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

uint32_t EventFlags::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  return WaitUntil(&deadline);
}

uint32_t EventFlags::Wait() {
  return WaitUntil(nullptr);
}

uint32_t EventFlags::WaitUntil(const std::chrono::steady_clock::time_point* deadline) {
  for (;;) {
    if (const uint32_t bits = m_bits.exchange(0, std::memory_order_acquire)) return bits;
    timespec remaining{};
    timespec* wait = nullptr;
    if (deadline != nullptr) {
      const auto left = *deadline - std::chrono::steady_clock::now();
      if (left <= std::chrono::steady_clock::duration::zero()) return 0;
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      remaining = {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
      wait = &remaining;
    }
    // Sleeps only while the word is still 0: a Set in between wakes at once.
    syscall(SYS_futex, Word(m_bits), FUTEX_WAIT_PRIVATE, 0u, wait, nullptr, 0);
  }
}

}  // namespace platform
