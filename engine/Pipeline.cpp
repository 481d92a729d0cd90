// The layers every host block passes through: tape re-allocation and the
// start of a clear, clearing, the host transport and parameter edges, and the
// crossfade that hides a change of state at the start of a block.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "shell/OdrkCrossDelay.h"

namespace {
constexpr int kWaveformColumns = 512;
constexpr float kMeterFloor = 5.01e-7f;

float InputMeter(double sum, unsigned long frames, bool sensitive) {
  const float level = static_cast<float>(std::log10(sum / frames + kMeterFloor));
  return sensitive ? level * 0.33454713f + 2.107647f : level * 0.16666667f + 1.05f;
}
}  // namespace

void OdrkCrossDelay::SetParameterFromEngine(int id, float value) {
  SetParameterValue(id, value);
  updateDisplay();
}

int OdrkCrossDelay::ProcessMain(const float** in, float** out, unsigned long frames) {
  unsigned long n = frames;
  if (GetParameterValue(kMaxDelayTime) != m_tapeRequestSec) {
    InitBuffer(GetParameterValue(kMaxDelayTime));
    SetParameterFromEngine(kClearLoop, 0.0f);
    m_clearRemaining = 0;
    m_tapTempoValid = false;
  }
  if (m_clearRemaining == 0 && GetParameterValue(kClearLoop) != 0.0f) {
    m_clearRemaining = m_tapeFrames;
    SetParameterFromEngine(kTapRecord, 0.0f);
    SetParameterFromEngine(kTapTempo, 0.0f);
    SetParameterFromEngine(kFreezeLoop, 0.0f);
    const unsigned long m = std::min<unsigned long>(n, kStateCrossfadeFrames);
    if (m > 0) {
      StateSwitchCrossfade(
          in, out, m, [this](const float** i, float** o, unsigned long f) { Process(i, o, f); },
          [this](const float** i, float** o, unsigned long f) { ProcessClearing(i, o, f); });
    }
    n -= m;
  }
  if (n > 0) {
    if (m_clearRemaining == 0) {
      Process(in, out, n);
    } else {
      ProcessClearing(in, out, n);
    }
  }
  return 0;
}

template <typename OldState, typename NewState>
void OdrkCrossDelay::StateSwitchCrossfade(const float** in, float** out, unsigned long m,
                                          OldState oldState, NewState newState) {
  const int c = Channels();
  const float* keptIn[kMaxChannels];
  float* keptOut[kMaxChannels];
  float* scratchOut[kMaxChannels];
  const bool inPlace = in[0] == out[0];
  for (int ch = 0; ch < c; ++ch) {
    if (inPlace) {
      std::memcpy(m_scratchIn[ch], in[ch], m * sizeof(float));
      keptIn[ch] = m_scratchIn[ch];
    } else {
      keptIn[ch] = in[ch];
    }
    keptOut[ch] = out[ch];
    scratchOut[ch] = m_scratchOut[ch];
  }
  oldState(in, out, m);
  newState(keptIn, scratchOut, m);
  const float step = 1.0f / static_cast<float>(m);
  for (int ch = 0; ch < c; ++ch) {
    float t = 0.0f;
    for (unsigned long i = 0; i < m; ++i, t += step) {
      keptOut[ch][i] += t * (m_scratchOut[ch][i] - keptOut[ch][i]);
    }
  }
}

void OdrkCrossDelay::ProcessClearing(const float** in, float** out, unsigned long frames) {
  // Wipe the tape from frame 0 upward, 32 frames per output frame.
  const int32_t chunk = static_cast<int32_t>(std::min<uint64_t>(
      uint64_t{kClearFramesPerFrame} * frames, static_cast<uint64_t>(m_clearRemaining)));
  const int32_t start = m_tapeFrames - m_clearRemaining;
  m_clearRemaining -= chunk;
  std::memset(m_tape.data() + size_t{2} * start, 0, size_t{2} * chunk * sizeof(float));

  if (m_waveformEnabled.load(std::memory_order_relaxed)) {
    const int32_t e = m_tapeFrames / kWaveformColumns;
    const int32_t end = m_tapeFrames - m_clearRemaining;
    int first = 0, last = kWaveformColumns - 1;
    if (e > 0) {
      first = (end - chunk) / e;
      last = std::min((end + e - 1) / e - 1, kWaveformColumns - 1);
    }
    float* w = m_waveform.get();
    for (int j = first; j <= last; ++j) {
      w[4 * j + 1] = w[4 * j + 3] = 0.0f;
      w[2048 + 4 * j + 1] = w[2048 + 4 * j + 3] = 0.0f;
    }
  }

  const float dry = GetParameterValue(kDryLevel);
  double sum0 = 0.0, sum1 = 0.0;
  for (unsigned long i = 0; i < frames; ++i) {
    const float x0 = in[0][i], x1 = in[1][i];
    out[0][i] = x0 * dry;
    out[1][i] = x1 * dry;
    sum0 += x0 * x0;
    sum1 += x1 * x1;
  }
  if (isFxLoop) {
    for (int c = 2; c < 6; ++c) std::memset(out[c], 0, frames * sizeof(float));
  }

  if (m_clearRemaining == 0) {
    SetParameterFromEngine(kClearLoop, 0.0f);
    ClearBufferPointers();
    m_tapeBlank = true;
    // Recording after a clear fades in over 1/64 s.
    m_recordGain = 0.0f;
    m_recordGainRate = (1.0f / getSampleRate()) * 64.0f;
  }

  if (frames > 0) {
    const bool sensitive = GetParameterValue(kInputLevelSensitivity) != 0.0f;
    m_dataToGui.InputRmsLeft = InputMeter(sum0, frames, sensitive);
    m_dataToGui.InputRmsRight = InputMeter(sum1, frames, sensitive);
  }
  const float progress = m_tapeFrames > 0 ? static_cast<float>(m_clearRemaining) / m_tapeFrames : 0;
  m_dataToGui.FxRmsLeft = m_dataToGui.FxRmsRight = progress;
}

void OdrkCrossDelay::Process(const float** in, float** out, unsigned long frames) {
  // The host's transport, once per block.
  m_transport = {0.0, -1.0, -1.0, 0, 0};
  if (const VstTimeInfo* time = getTimeInfo(kVstTempoValid)) {
    if (time->flags & kVstTempoValid) m_transport.tempo = time->tempo;
    if (time->flags & kVstTimeSigValid) {
      m_transport.numerator = time->timeSigNumerator;
      m_transport.denominator = time->timeSigDenominator;
    }
    if (time->flags & kVstPpqPosValid) m_transport.position = time->ppqPos;
    if (time->flags & kVstBarsValid) m_transport.barStart = time->barStartPos;
  }
  m_dataToGui.timeSigNumerator = static_cast<float>(m_transport.numerator);
  m_dataToGui.timeSigDenominator = static_cast<uint32_t>(m_transport.denominator);
  m_dataToGui.hostTempo = m_transport.tempo;

  // Parameter edges become events.
  const float freeze = GetParameterValue(kFreezeLoop);
  if (m_freezePoint >= 0.0 && freeze == 0.0f) {
    ReleaseFreeze();
  } else if (m_freezePoint < 0.0 && freeze != 0.0f) {
    m_freezePoint = -2.0;
  }
  const float tapRecord = GetParameterValue(kTapRecord);
  const float tapTempo = GetParameterValue(kTapTempo);
  if (tapRecord >= 0.5f && m_lastTapRecord < 0.5f) m_tapEvent = 1;
  if (tapRecord < 0.5f && m_lastTapRecord >= 0.5f) m_tapEvent = -1;
  if (tapTempo >= 0.5f && m_lastTapTempo < 0.5f) m_tapEvent = 2;  // tap tempo wins
  if (tapTempo < 0.5f && m_lastTapTempo >= 0.5f) m_tapEvent = -2;
  m_lastTapRecord = tapRecord;
  m_lastTapTempo = tapTempo;

  EnvelopeGate();
  if (GetParameterValue(kTrigger) != 0.0f && TriggerDetect(in[0], in[1], frames)) {
    SetParameterFromEngine(kTrigger, 0.0f);
    SetParameterFromEngine(kTapRecord, 1.0f);
    m_lastTapRecord = 1.0f;
    m_tapEvent = 1;
  }
  const int32_t envelopeBefore = m_envState;

  unsigned long n = PunchQuantisation(in, out, frames);
  m_dataToGui.PendingPunch = m_deferredTapEvent != 0 ? 1 : 0;

  // A tap recording starting now: the old output crossfades into the new.
  if (m_tapEvent == 1 && n > 0) {
    const unsigned long m = std::min<unsigned long>(n, kStateCrossfadeFrames);
    StateSwitchCrossfade(
        in, out, m,
        [this](const float** i, float** o, unsigned long f) {
          m_tapEvent = 0;
          ProcessCore(i, o, f);
          m_tapEvent = 1;
        },
        [this](const float** i, float** o, unsigned long f) { ProcessCore(i, o, f); });
    n -= m;
  }
  if (n > 0) ProcessCore(in, out, n);

  if (envelopeBefore > 0 && m_envState == 0) AutoClearAfterFade();
}
