// What the engine publishes for the editor besides the meters: where the
// write head and the read heads are, and the waveform overview of the tape.
#include <algorithm>

#include "shell/OdrkCrossDelay.h"

namespace {
constexpr int kColumns = 512;
constexpr int kRightHalf = 2048;  // floats: the right channel's columns follow the left's
}  // namespace

void OdrkCrossDelay::UpdateWaveform(double from, double to, bool reverse, bool inclusive) {
  const int32_t L = m_tapeFrames;
  const float* tape = m_tape.data();
  float* w = m_waveform.get();
  const int32_t e = L / kColumns;
  if (e == 0) {
    // A tape shorter than the overview: one frame per column.
    for (int j = 0; j < kColumns; ++j) {
      const int32_t frame = static_cast<int32_t>(static_cast<int64_t>(j) * L / kColumns);
      for (int c = 0; c < 2; ++c) {
        const float v = std::clamp(tape[2 * frame + c], -1.0f, 1.0f);
        float* column = w + c * kRightHalf + 4 * j;
        column[1] = column[3] = v;
      }
    }
    return;
  }
  const int a = std::min(static_cast<int32_t>(from) / e, kColumns - 1);
  const int b = std::min(static_cast<int32_t>(to) / e, kColumns - 1);
  int first, last;
  if (reverse) {
    first = inclusive ? b : b + 1;
    last = a;
  } else {
    first = a;
    last = inclusive ? b : b - 1;
  }
  for (int j = first; j <= last; ++j) {
    const int32_t begin = j * e, end = std::min((j + 1) * e, L);
    for (int c = 0; c < 2; ++c) {
      float lo = 1.0f, hi = -1.0f;  // so the result stays within [-1, 1]
      for (int32_t f = begin; f < end; ++f) {
        lo = std::min(lo, tape[2 * f + c]);
        hi = std::max(hi, tape[2 * f + c]);
      }
      float* column = w + c * kRightHalf + 4 * j;
      column[1] = lo;
      column[3] = hi;
    }
  }
}

void OdrkCrossDelay::PublishDisplayPositions() {
  const float len = static_cast<float>(m_tapeFrames);
  const float W = static_cast<float>(m_writePos);
  const bool forward = m_tapeSpeed >= 0.0;
  auto place = [&](double d) {
    float p = forward ? W - static_cast<float>(d) : W + static_cast<float>(d);
    if (forward && p < 0.0f) p += len;
    if (!forward && p >= len) p -= len;
    return p / len;
  };
  m_dataToGui.writePosition = W / len;
  for (int h = 0; h < kNumHeads; ++h) {
    const HeadState& head = m_heads[h];
    m_dataToGui.crossfadeAmounts[h] = head.fade;
    if (head.fade == 0.0f) {
      m_dataToGui.headPositions[h] = place(head.glidePosition);
    } else {
      m_dataToGui.headPositions[h] = place(head.fadeTo);
      m_dataToGui.crossfadeSourcePositions[h] = place(head.fadeFrom);
    }
  }
}
