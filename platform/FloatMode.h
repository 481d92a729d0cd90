// The floating-point mode of the engine's block core: denormal inputs and
// results flushed to zero (no slow paths when a tail decays) and rounding
// toward zero. The caller's mode is saved and restored around the core, so
// the host's own code never sees the change. Any thread; no system call.
#pragma once

#include <xmmintrin.h>

namespace platform {

class ScopedBlockFloatMode {
 public:
  // MXCSR: flush-to-zero (bit 15), denormals-are-zero (bit 6), rounding
  // control bits 13-14 set to 11 = toward zero.
  static constexpr unsigned kFlushToZero = 1u << 15;
  static constexpr unsigned kDenormalsAreZero = 1u << 6;
  static constexpr unsigned kRoundTowardZero = 3u << 13;
  static constexpr unsigned kRoundingMask = 3u << 13;

  ScopedBlockFloatMode() : m_saved(_mm_getcsr()) {
    _mm_setcsr((m_saved & ~kRoundingMask) | kFlushToZero | kDenormalsAreZero | kRoundTowardZero);
  }
  ~ScopedBlockFloatMode() { _mm_setcsr(m_saved); }
  ScopedBlockFloatMode(const ScopedBlockFloatMode&) = delete;
  ScopedBlockFloatMode& operator=(const ScopedBlockFloatMode&) = delete;

 private:
  unsigned m_saved;
};

}  // namespace platform
