// The envelope that gates the wet output, the input-level trigger, and the
// clear that can follow the envelope's close.
#include <algorithm>
#include <cmath>

#include "shell/OdrkCrossDelay.h"

namespace {
constexpr int kClosed = 0, kReleasing = 1, kOpen = 2, kAttacking = 3;
constexpr float kFastFrames = 64.0f;  // override switches open or close in 64 frames
}  // namespace

void Stage::Setup(float time, float shape, float from, float to, float sampleRate) {
  const float n = std::max(time * sampleRate, 1.0f);
  const float delta = to - from;
  float linear, quadratic;
  if (delta >= 0.0f) {
    linear = shape * delta / n;
    quadratic = (1.0f - shape) * delta / (n * n);
  } else {
    linear = (2.0f - shape) * delta / n;
    quadratic = (shape - 1.0f) * delta / (n * n);
  }
  increment = linear + quadratic;
  incrementStep = 2.0f * quadratic;
  count = n >= 4294967295.0f ? kEndless : static_cast<uint32_t>(n);
}

void OdrkCrossDelay::StartEnvelope(bool attack, float seconds) {
  const float sr = getSampleRate();
  m_envState = attack ? kAttacking : kReleasing;
  m_envStages[m_envState].Setup(seconds, 0.0f, m_envLevel, attack ? 1.0f : 0.0f, sr);
}

void OdrkCrossDelay::EnvelopeGate() {
  const float sr = getSampleRate();
  const float gate = GetParameterValue(kEnvGate);
  const float override = GetParameterValue(kEnvOverride);
  const bool changed = override != m_lastEnvOverride;
  m_lastEnvOverride = override;
  const float fast = kFastFrames / sr;
  bool gateRule = false;
  if (override == 0.0f && changed) {
    SetParameterFromEngine(kEnvGate, 0.0f);
    if (m_envState != kClosed) StartEnvelope(false, fast);
  } else if (override != 0.0f && changed) {
    SetParameterFromEngine(kEnvGate, 1.0f);
    StartEnvelope(true, fast);
  } else if (override == 0.0f) {
    if (m_envState == kOpen) SetParameterFromEngine(kEnvOverride, 1.0f);
    gateRule = true;
  } else {
    if (m_envState == kClosed) SetParameterFromEngine(kEnvOverride, 0.0f);
    gateRule = true;
  }
  if (gateRule) {
    if (gate == 0.0f && (m_envState == kOpen || m_envState == kAttacking)) {
      StartEnvelope(false, GetParameterValue(kEnvRelease));
    } else if (gate != 0.0f && (m_envState == kClosed || m_envState == kReleasing)) {
      StartEnvelope(true, GetParameterValue(kEnvAttack));
    }
  }
  // Open and closed last for ever, at exactly 1 and 0.
  m_envStages[kClosed] = {0.0f, 0.0f, Stage::kEndless};
  m_envStages[kOpen] = {0.0f, 0.0f, Stage::kEndless};
  if (m_envState == kOpen) m_envLevel = 1.0f;
  if (m_envState == kClosed) m_envLevel = 0.0f;
}

bool OdrkCrossDelay::TriggerDetect(const float* left, const float* right, unsigned long count) {
  if (count == 0) return false;
  double sum = 0.0;
  for (unsigned long i = 0; i < count; ++i) {
    sum += static_cast<double>(left[i]) * left[i] + static_cast<double>(right[i]) * right[i];
  }
  // A mean square of 5.01e-7 (about -63 dB) is level 0, about 4.8e-4 level 1.
  const double level = std::log10(sum / count * 0.5 + 5.009999881622207e-7) * 0.33454713225364685 +
                       2.107646942138672;
  return level > GetParameterValue(kTriggerLevel);
}

void OdrkCrossDelay::AutoClearAfterFade() {
  switch (static_cast<int>(GetParameterValue(kAutoClearAfterFade))) {
    case 1:  // "AutoClear"
      SetParameterFromEngine(kClearLoop, 1.0f);
      break;
    case 2:  // "AutoClr2": clear, and open the envelope again at once
      SetParameterFromEngine(kClearLoop, 1.0f);
      SetParameterFromEngine(kEnvOverride, 1.0f);
      m_lastEnvOverride = 0.0f;
      break;
    default:
      break;
  }
}
