// The tape and the routines that (re)initialise the engine state.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/FloatMode.h"
#include "shell/OdrkCrossDelay.h"

namespace {
constexpr int kWaveformColumns = 512;
constexpr double kBytesPerTapeFrame = kTapeChannels * sizeof(float);
}  // namespace

bool OdrkCrossDelay::InitBuffer(float maxDelaySec) {
  m_tapeRequestSec = maxDelaySec;
  const float sr = getSampleRate();
  // Whatever the host sent, a tape is at least as long as the shortest
  // "Max Delay Time" and never longer than the memory budget allows.
  const double limit = m_physicalRamSize / (static_cast<double>(sr) * kBytesPerTapeFrame);
  float seconds = std::isfinite(maxDelaySec) ? maxDelaySec : astParamInfos[kMaxDelayTime].maximum;
  seconds = std::max(seconds, astParamInfos[kMaxDelayTime].minimum);
  if (limit < seconds) seconds = static_cast<float>(limit);
  const int32_t frames = std::max(static_cast<int32_t>(sr * seconds), 1);

  if (!m_tape.AllocateClear(static_cast<size_t>(frames) * kTapeChannels)) return false;
  m_maxDelaySec = seconds;
  m_tapeFrames = frames;
  m_tapeSampleRate = sr;

  if (m_waveformEnabled.load(std::memory_order_relaxed)) {
    float* w = m_waveform.get();
    for (int j = 0; j < 2 * kWaveformColumns; ++j) w[4 * j + 1] = w[4 * j + 3] = 0.0f;
  }
  ClearBufferPointers();
  m_tapeBlank = true;
  return true;
}

void OdrkCrossDelay::ClearBufferPointers() {
  m_fbPrev[0] = m_fbPrev[1] = 0.0f;
  m_inPrev[0] = m_inPrev[1] = 0.0f;
  m_writePos = 0.0;
  m_recordGain = 1.0f;
  m_fbSkipCheck = -1;
  m_fbSkipFill = 0;
  m_inSkipCheck = -1;
  m_inSkipFill = 0;
  m_recordGainRate = (1.0f / getSampleRate()) * 100.0f;
  m_filterState = {};
  m_lowCutState = {};
  m_highCutState = {};
}

void OdrkCrossDelay::ResetDelayInertiaVars() {
  platform::ScopedBlockFloatMode floatMode;
  const float seconds = std::min(GetParameterValue(kDelayTime), m_maxDelaySec);
  const float frames = getSampleRate() * seconds;
  static constexpr int kTimeIds[kNumHeads] = {kLLTime, kLRTime, kRLTime, kRRTime};
  for (int k = 0; k < kNumHeads; ++k) {
    const double target = GetParameterValue(kTimeIds[k]) * frames * 0.01f;
    m_heads[k].fade = 0.0f;
    m_heads[k].fadeFrom = m_heads[k].fadeTo = target;
  }
}
