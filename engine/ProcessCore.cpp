// The tape engine for one slice: block constants, then sub-blocks of at most
// 128 frames, each read, shaped and written, with the events that must land
// on a sub-block edge (reversal, the end of a record fade or an input ramp).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "engine/TapeKernels.h"
#include "platform/FloatMode.h"
#include "shell/OdrkCrossDelay.h"

namespace tape {
namespace {

template <int kBits>
constexpr WriteStageFn WriteStageFor() {
  return &WriteStage<(kBits & 1) != 0, static_cast<WriteMode>(kBits >> 4), (kBits & 2) != 0,
                     (kBits & 4) != 0, (kBits & 8) != 0>;
}

template <int... kBits>
constexpr std::array<WriteStageFn, sizeof...(kBits)> WriteStageTable(
    std::integer_sequence<int, kBits...>) {
  return {WriteStageFor<kBits>()...};
}

constexpr auto kWriteStages = WriteStageTable(std::make_integer_sequence<int, 48>{});

template <int kBits>
constexpr ReadFn ReadFor() {
  constexpr bool kReverse = (kBits & 16) != 0;
  constexpr int kActive = kBits & 15;
  constexpr int kMode = kBits >> 5;
  if constexpr (kMode == 0) {
    return &ReadInterpolated<kReverse, HeadMode::Constant, kActive>;
  } else if constexpr (kMode == 1) {
    return &ReadInterpolated<kReverse, HeadMode::PerFrame, kActive>;
  } else {
    return &ReadInterpolated<kReverse, HeadMode::Crossfade, kActive>;
  }
}

template <int... kBits>
constexpr std::array<ReadFn, sizeof...(kBits)> ReadTable(std::integer_sequence<int, kBits...>) {
  return {ReadFor<kBits>()...};
}

constexpr auto kReads = ReadTable(std::make_integer_sequence<int, 96>{});

template <int kBits>
constexpr ReadUnitSpeedFn ReadUnitSpeedFor() {
  return &ReadUnitSpeed<(kBits & 16) != 0, (kBits & 32) != 0, (kBits & 15)>;
}

template <int... kBits>
constexpr std::array<ReadUnitSpeedFn, sizeof...(kBits)> ReadUnitSpeedTable(
    std::integer_sequence<int, kBits...>) {
  return {ReadUnitSpeedFor<kBits>()...};
}

constexpr auto kReadUnitSpeed = ReadUnitSpeedTable(std::make_integer_sequence<int, 64>{});

int ActiveHeads(const float gains[kNumHeads]) {
  int active = 0;
  for (int h = 0; h < kNumHeads; ++h) {
    if (gains[h] != 0.0f) active |= 1 << h;
  }
  return active;
}

}  // namespace

ReadUnitSpeedFn SelectReadUnitSpeed(bool reverse, bool crossfade, const float gains[kNumHeads]) {
  return kReadUnitSpeed[(crossfade ? 32 : 0) | (reverse ? 16 : 0) | ActiveHeads(gains)];
}

ReadFn SelectRead(bool reverse, HeadMode mode, const float gains[kNumHeads]) {
  return kReads[(static_cast<int>(mode) << 5) | (reverse ? 16 : 0) | ActiveHeads(gains)];
}

WriteStageFn SelectWriteStage(bool reverse, WriteMode mode, bool recordOffset, bool preWrite,
                              bool recordFade) {
  return kWriteStages[(static_cast<int>(mode) << 4) | (reverse ? 1 : 0) | (recordOffset ? 2 : 0) |
                      (preWrite ? 4 : 0) | (recordFade ? 8 : 0)];
}

}  // namespace tape

namespace {

constexpr int kHeadTimeIds[kNumHeads] = {kLLTime, kLRTime, kRLTime, kRRTime};
constexpr int kHeadFeedbackIds[kNumHeads] = {kLLFeedback, kLRFeedback, kRLFeedback, kRRFeedback};
constexpr double kSpring = 40.0;             // per second squared: a glide takes about a second
constexpr double kDamping = 10.0;            // per second
constexpr float kInputRampStep = 0.015625f;  // the input gain moves 1/64 per frame
constexpr float kMeterFloor = 5.01e-7f;      // about -63 dB reads as 0
constexpr double kSpeedSnap = 1e-9;          // frames per frame

// Latency of an FX loop by its compensation choice: "Auto", "Off", "Manual".
float LoopLatency(float choice, float manual, uint32_t maxSlice) {
  switch (static_cast<int>(choice)) {
    case 0:
      return static_cast<float>(maxSlice);
    case 2:
      return manual;
    default:
      return 0.0f;
  }
}

float Meter(double sum, unsigned long frames, float scale, float offset) {
  return static_cast<float>(std::log10(sum / frames + kMeterFloor)) * scale + offset;
}

}  // namespace

void OdrkCrossDelay::ProcessCore(const float** in, float** out, unsigned long frames) {
  platform::ScopedBlockFloatMode floatMode;
  const float sr = getSampleRate();
  const int32_t L = m_tapeFrames;
  const double length = L;
  auto P = [this](int id) { return GetParameterValue(id); };

  // ---- Events and block constants ----
  const int32_t tapEventAtStart = m_tapEvent;
  bool loopComplete, recordPress;
  const float tapSeconds = ApplyTapEvent(loopComplete, recordPress);
  if (m_tapMode > 0) {
    // A tap in progress counts its frames and cancels any freeze.
    m_tapFrames += static_cast<int32_t>(frames);
    m_freezePoint = -1.0;
    m_freezeSplice = false;
  }
  const bool tapRecording = m_tapMode == 1;

  const bool stop = P(kStop) > 0.0f;
  double r = std::exp2(P(kPitch) * 0.083333336f);
  if (stop) r = 0.0;
  if (P(kReverse) > 0.0f) r = -r;
  if (recordPress) r = 1.0;  // a tap recording starts at normal speed
  const double k = std::pow(10.0, -std::pow(std::max(P(kPitchInertia), 0.0f), 0.333333));

  const float seconds = ChooseDelaySeconds(tapSeconds);
  m_delaySeconds = seconds;
  m_delayFrames = sr * seconds;

  // Wet fade: the wet output follows the tape speed when it stops and starts.
  {
    const float s = static_cast<float>(std::fabs(m_tapeSpeed));
    if (stop) {
      m_wetFade = std::min(s * 10.0f, 1.0f);
    } else if (m_wetFade < 1.0f) {
      m_wetFade = std::min(s * 1.1f, 1.0f);
    }
  }

  // Input level ramp toward "Input Level", 1/64 per frame.
  {
    const float value = P(kInputLevel);
    if (value != m_inputLevelTarget) {
      const float delta = value - m_inputLevel;
      const float steps = std::fabs(delta * 64.0f);
      if (steps >= 1.0f) {
        m_inputLevelTarget = value;
        m_inputLevelSteps = static_cast<uint32_t>(steps);
        m_inputLevelStep = delta > 0.0f ? kInputRampStep : -kInputRampStep;
      } else {
        m_inputLevelTarget = m_inputLevel = value;
        m_inputLevelSteps = 0;
        m_inputLevelStep = 0.0f;
      }
    }
  }

  // FX-loop latency compensation shortens the delay by what the loops add.
  const bool preWrite = isFxLoop && P(kPreWriteFxLoopEnable) != 0.0f;
  const bool preSat = isFxLoop && P(kPreSatFxLoopEnable) != 0.0f;
  float D = m_delayFrames;
  if (preWrite || preSat) {
    float latency = 0.0f;
    if (preSat)
      latency += LoopLatency(P(kPreSatLatencyCompensation), P(kPreSatManualLatency), m_maxSlice);
    if (preWrite)
      latency +=
          LoopLatency(P(kPreWriteLatencyCompensation), P(kPreWriteManualLatency), m_maxSlice);
    D = std::max(D - latency * static_cast<float>(std::fabs(m_tapeSpeed)), 1.0f);
  }

  double targets[kNumHeads];
  for (int h = 0; h < kNumHeads; ++h) {
    targets[h] = std::clamp(P(kHeadTimeIds[h]) * D * 0.01f, 0.0f, static_cast<float>(L));
  }
  if (P(kPitchIndependentDelay) != 0.0f) {
    for (double& t : targets) t *= std::fabs(m_tapeSpeed);
  }

  float gains[kNumHeads];
  for (int h = 0; h < kNumHeads; ++h) gains[h] = P(kHeadFeedbackIds[h]) * 0.01f;
  float master = P(kMasterFeedback) * 0.01f;

  // Digital mode: whole-frame delays and, at a speed of exactly one, reading
  // without interpolation.
  bool digital = false;
  const float lfoSpeed = std::max(P(kPitchLfoSpeed), astParamInfos[kPitchLfoSpeed].minimum);
  const float lfoDepthParam = P(kPitchLfoDepth);
  if (P(kDigitalMode) != 0.0f && lfoDepthParam == 0.0f) {
    for (double& t : targets) t = std::floor(t + 0.5);
    if (std::fabs(m_tapeSpeed - 1.0) < 0.0001 && std::fabs(r - 1.0) < 0.0001) {
      m_tapeSpeed = r = 1.0;
      digital = true;
    } else if (std::fabs(m_tapeSpeed + 1.0) < 0.0001 && std::fabs(r + 1.0) < 0.0001) {
      m_tapeSpeed = r = -1.0;
      digital = true;
    }
    for (float& g : gains) {
      if (1.0f - g < 0.001f) g = 1.0f;
    }
    if (1.0f - master < 0.001f) master = 1.0f;
  }

  // Crossfade mode: a head whose target moved starts a fade to it.
  const bool inertiaCrossfade = P(kDelayInertiaMode) != 0.0f;
  if (inertiaCrossfade) {
    for (int h = 0; h < kNumHeads; ++h) {
      HeadState& head = m_heads[h];
      if (head.fade == 0.0f && targets[h] != head.fadeFrom) {
        head.fade = 1.0f;
        head.fadeTo = targets[h];
      }
    }
  }

  bool reverse = m_tapeSpeed < 0.0;
  // In reverse the glide targets are mirrored about D, so that every read
  // position stays where it is when the direction changes.
  const float twoD = 2.0f * D;
  if (reverse) {
    for (double& t : targets) t = twoD - t;
  }

  // A tap-recorded loop is complete: the heads jump to one loop behind the
  // write head, which sits at its start, and the LFO starts from its rest.
  if (loopComplete) {
    m_pitchLfo[0] = 0.0f;
    m_pitchLfo[1] = -1.0f;
    for (int h = 0; h < kNumHeads; ++h) {
      HeadState& head = m_heads[h];
      if (inertiaCrossfade) {
        head.fade = 0.0f;
        head.fadeFrom = reverse ? twoD - targets[h] : targets[h];
      }
      head.glidePosition = targets[h];
      head.glideVelocity = 0.0;
    }
  }

  // A freeze request closes the loop one delay ahead ("Current") or here ("Last").
  bool spliceNow = false;
  if (m_freezePoint == -2.0) {
    if (static_cast<int>(P(kFreezeMode)) == 1) {
      m_freezePoint = tape::Wrap(reverse ? m_writePos - D : m_writePos + D, length);
      m_freezeRecordToPoint = true;
    } else {
      m_freezePoint = m_writePos;
      m_freezeRecordToPoint = false;
      spliceNow = true;
    }
  }

  // The pitch LFO, normalised to unit length once per call.
  tape::Lfo lfo{m_pitchLfo[0], m_pitchLfo[1]};
  {
    const float norm = std::sqrt(lfo.x * lfo.x + lfo.y * lfo.y);
    if (norm > 0.0f) {
      lfo.x /= norm;
      lfo.y /= norm;
    } else {
      lfo = {0.0f, 1.0f};
    }
  }

  tape::ReadArgs read{};
  read.tape = m_tape.data();
  read.frames = L;
  read.length = length;
  read.r = r;
  read.k = k;
  const float lfoC = 2.0f * std::sin(3.14159265358979f * lfoSpeed / sr);
  const float lfoDepth = (1.0f / lfoSpeed) * 100.0f * lfoDepthParam;
  std::copy(std::begin(gains), std::end(gains), read.gains);
  const float fadeTimeMs =
      std::max(P(kDelayInertiaFadeTime), astParamInfos[kDelayInertiaFadeTime].minimum);
  read.fadeStep = (1.0f / (fadeTimeMs * sr)) * 999.99994f;

  tape::WriteArgs write{};
  write.tape = m_tape.data();
  write.frames = L;
  write.length = length;
  write.r = r;
  write.k = k;
  write.motion = {m_writePos, m_tapeSpeed};
  write.dry = P(kDryLevel);
  // While tap recording the output is dry and the tape takes the input alone.
  write.effectGain = tapRecording ? 0.0f : P(kEffectLevel) * m_wetFade;
  write.master = tapRecording ? 0.0f : master;
  {
    const float mu = P(kMonoizeInput), pan = P(kInitialPan);
    write.keep = 1.0f - mu;
    write.inGainL = 0.5f * mu * (0.5f - 0.5f * pan);
    write.inGainR = 0.5f * mu * (0.5f + 0.5f * pan);
    if (m_freezePoint >= 0.0 && !m_freezeRecordToPoint) {
      write.keep = write.inGainL = write.inGainR = 0.0f;  // frozen: the input is not recorded
    }
  }
  const bool recordOffset = P(kRecordOffsetEnable) != 0.0f;
  if (recordOffset) {
    switch (static_cast<int>(P(kRecordOffsetType))) {
      case 0:
        write.offsetFrames = m_maxSlice;
        break;
      case 2:
        write.offsetFrames = std::max(P(kRecordOffsetFrames), 0.0f);
        break;
      default:
        write.offsetFrames = 0.0;
    }
  }
  write.inputLevel = m_inputLevel;
  write.envLevel = m_envLevel;
  write.recordGain = m_recordGain;
  write.feedback = {{m_fbPrev[0], m_fbPrev[1]}, m_fbSkipCheck, m_fbSkipFill};
  write.input = {{m_inPrev[0], m_inPrev[1]}, m_inSkipCheck, m_inSkipFill};
  const ToneConstants tone = ToneStageConstants(frames);
  const double h = 1.0 / sr;
  const int channels = Channels();

  // ---- Sub-blocks ----
  bool digitalRead = false;
  unsigned long remaining = frames;
  while (remaining > 0 || spliceNow) {
    Stage& stage = m_envStages[m_envState];
    int len = static_cast<int>(std::min<unsigned long>(remaining, kSubBlockFrames));
    if (stage.count != Stage::kEndless)
      len = static_cast<int>(std::min<uint32_t>(len, stage.count));
    // A speed within a billionth of a frame per frame of its target is taken
    // as the target: inertia alone would leave it short for ever, rounding
    // toward zero.
    if (std::fabs(r - write.motion.speed) < kSpeedSnap) write.motion.speed = r;

    // Look-ahead: end the sub-block where the tape speed changes sign or
    // where the write head passes the freeze point.
    bool reversal = false, freezePointReached = false, spliceStart = false;
    if (spliceNow) {
      len = 0;
      spliceStart = true;
      spliceNow = false;
    } else if (m_freezePoint >= 0.0 || (r < 0.0) != (write.motion.speed < 0.0)) {
      const double F = m_freezePoint;
      double speed = write.motion.speed, pos = write.motion.pos;
      for (int j = 1; j <= len; ++j) {
        const double nextSpeed = (r - speed) * k + speed;
        const double nextPos = pos + nextSpeed;
        if ((nextSpeed < 0.0) != (speed < 0.0)) {
          len = j;
          reversal = true;
          break;
        }
        if (F >= 0.0) {
          const bool passed =
              nextSpeed >= 0.0
                  ? (pos < F && F <= nextPos) || (pos < F + length && F + length <= nextPos)
                  : (nextPos < F && F <= pos) || (nextPos < F - length && F - length <= pos);
          if (passed) {
            len = j;
            freezePointReached = spliceStart = true;
            break;
          }
        }
        speed = nextSpeed;
        pos = tape::Wrap(nextPos, length);
      }
    }
    // While splicing, end where the splice's fade reaches zero.
    bool spliceEnd = false;
    if (m_freezeSplice && !spliceStart) {
      const int limit = static_cast<int>(m_heads[0].fade * fadeTimeMs * sr * 0.001f);
      if (limit <= len) {
        len = std::max(limit, 0);
        spliceEnd = true;
      }
    }
    // End where the record fade reaches one and where the input ramp ends.
    bool recordFadeDone = false;
    if (write.recordGain < 1.0f && m_recordGainRate > 0.0f) {
      const double toGo = std::ceil((1.0 - write.recordGain) / m_recordGainRate);
      if (toGo <= len) {
        len = std::max(static_cast<int>(toGo), 1);
        recordFadeDone = true;
      }
    }
    bool rampDone = false;
    if (m_inputLevelSteps > 0 && m_inputLevelSteps <= static_cast<uint32_t>(len)) {
      len = static_cast<int>(m_inputLevelSteps);
      rampDone = true;
    }
    (void)freezePointReached;

    remaining -= len;
    if (m_inputLevelSteps > 0) m_inputLevelSteps -= len;
    bool stageDone = false;
    if (stage.count != Stage::kEndless) {
      stage.count -= len;
      stageDone = stage.count == 0;
    }

    // Head delays for this sub-block.
    bool anyFading = false;
    for (const HeadState& head : m_heads) anyFading |= head.fade > 0.0f;
    if (m_tapeBlank && inertiaCrossfade) {
      // Nothing to fade over: every head goes straight to its target.
      for (HeadState& head : m_heads) {
        head.fade = 0.0f;
        head.glideVelocity = 0.0;
        head.fadeFrom = head.glidePosition = head.fadeTo;
      }
      anyFading = false;
    }
    tape::HeadMode mode = tape::HeadMode::Crossfade;
    if (!anyFading) {
      double motion = 0.0;
      for (int i = 0; i < kNumHeads; ++i) {
        motion +=
            std::fabs(m_heads[i].glideVelocity) + std::fabs(targets[i] - m_heads[i].glidePosition);
      }
      const double threshold = std::max(D / sr * 1e-6, 1e-6);
      if (motion < threshold) {
        for (int i = 0; i < kNumHeads; ++i) {
          m_heads[i].glidePosition = targets[i];
          m_heads[i].glideVelocity = 0.0;
        }
        mode = tape::HeadMode::Constant;
      } else {
        // A damped spring per head: about a second to any new delay.
        for (int f = 0; f < len; ++f) {
          for (int i = 0; i < kNumHeads; ++i) {
            HeadState& head = m_heads[i];
            const double position = head.glidePosition + head.glideVelocity * h;
            head.glideVelocity +=
                ((targets[i] - head.glidePosition) * kSpring - head.glideVelocity * kDamping) * h;
            head.glidePosition = position;
            m_workBuffer.delays[f][i] = std::min(std::max(position, 1.0), length);
          }
        }
        mode = tape::HeadMode::PerFrame;
        digital = false;
      }
    }
    digitalRead = digital && mode == tape::HeadMode::Constant;
    // At exactly one frame per frame every position keeps its fraction
    // between two tape frames, so the heads and the write head each step one
    // tape frame per frame: the work of the general loops for less, with the
    // same samples up to the last bits of a position.
    const double startPos = write.motion.pos;
    const bool unitSpeed = write.motion.speed == r && std::fabs(r) == 1.0;
    const bool unitSpeedRead = unitSpeed && lfoDepth == 0.0f && mode != tape::HeadMode::PerFrame;
    tape::WriteMode writeMode = digitalRead ? tape::WriteMode::Digital : tape::WriteMode::General;
    if (unitSpeed && !digitalRead) {
      const bool noSkipFill =
          write.feedback.skipCheck != tape::DigitalIndex(startPos, reverse, L) &&
          (!recordOffset ||
           write.input.skipCheck !=
               tape::DigitalIndex(tape::Wrap(reverse ? startPos + write.offsetFrames
                                                     : startPos - write.offsetFrames,
                                             length),
                                  reverse, L));
      if (noSkipFill) writeMode = tape::WriteMode::UnitSpeed;
    }

    // Read stage. The LFO moves on whether or not its offsets are used.
    if (m_tapeBlank) {
      lfo.Advance(len, lfoC);
      for (int f = 0; f < len; ++f) m_workBuffer.wet[f][0] = m_workBuffer.wet[f][1] = 0.0f;
    } else if (digitalRead) {
      lfo.Advance(len, lfoC);
      if (reverse) {
        tape::ReadDigital<true>(read, write.motion.pos, targets, m_workBuffer.wet, len);
      } else {
        tape::ReadDigital<false>(read, write.motion.pos, targets, m_workBuffer.wet, len);
      }
    } else if (unitSpeedRead) {
      lfo.Advance(len, lfoC);
      tape::SelectReadUnitSpeed(reverse, mode == tape::HeadMode::Crossfade, read.gains)(
          read, startPos, targets, m_heads, m_workBuffer.wet, len);
    } else {
      lfo.Fill(m_workBuffer.lfoOffsets, len, lfoC, lfoDepth);
      tape::SelectRead(reverse, mode, read.gains)(read, write.motion, m_workBuffer.lfoOffsets,
                                                  targets, m_workBuffer.delays, m_heads,
                                                  m_workBuffer.wet, len);
    }

    // Tone stages, in place on the wet frames.
    float* wet = &m_workBuffer.wet[0][0];
    if (tone.monoRead) RenderConvertToMono(wet, len);
    if (preSat) {
      const float* satIn[kMaxChannels] = {in[0], in[1], in[2], in[3], in[4], in[5]};
      float* satOut[kMaxChannels] = {out[0], out[1], out[2], out[3], out[4], out[5]};
      RenderPreSatFxLoop(wet, satIn, satOut, len);
    }
    if (tone.crunch) RenderCrunch(wet, len, tone.crunchParams);
    if (tone.lowCut) RenderLowShelf(wet, len, m_lowCutState, tone.lowCutParams);
    if (tone.highCut) RenderHighShelf(wet, len, m_highCutState, tone.highCutParams);
    if (tone.saturation && !m_tapeBlank) {
      RenderSaturate(wet, len, tone.satA, 1.5f, tone.satClip, tone.satDrive, tone.satOutput);
    }
    if (tone.filter) {
      RenderFilter(wet, len, m_filterState, tone.filterF, tone.filterQ, tone.mix.dry, tone.mix.low,
                   tone.mix.band, tone.mix.high);
    }

    // Write stage.
    for (int c = 0; c < channels; ++c) {
      write.in[c] = in[c];
      write.out[c] = out[c];
    }
    write.inputLevelStep = m_inputLevelSteps > 0 || rampDone ? m_inputLevelStep : 0.0f;
    write.envIncrement = stage.increment;
    write.envIncrementStep = stage.incrementStep;
    write.recordGainRate = m_recordGainRate;
    tape::SelectWriteStage(reverse, writeMode, recordOffset, preWrite, write.recordGain < 1.0f)(
        write, m_workBuffer.wet, len);
    stage.increment = write.envIncrement;
    // The sends of loops that are switched off carry silence.
    if (isFxLoop) {
      if (!preWrite) {
        std::memset(out[2], 0, len * sizeof(float));
        std::memset(out[3], 0, len * sizeof(float));
      }
      if (!preSat) {
        std::memset(out[4], 0, len * sizeof(float));
        std::memset(out[5], 0, len * sizeof(float));
      }
    }
    for (int c = 0; c < channels; ++c) {
      in[c] += len;
      out[c] += len;
    }
    if (len > 0 && m_waveformEnabled.load(std::memory_order_relaxed)) {
      const double to = write.motion.pos;
      if (reverse ? to <= startPos : to >= startPos) {
        UpdateWaveform(startPos, to, reverse, false);
      } else {  // the write head wrapped
        UpdateWaveform(startPos, reverse ? 0.0 : length, reverse, true);
        UpdateWaveform(reverse ? length : 0.0, to, reverse, false);
      }
    }

    // End of a crossfade: the heads settle where they faded to.
    if (mode == tape::HeadMode::Crossfade && !m_freezeSplice) {
      for (HeadState& head : m_heads) {
        if (head.fade == 0.0f) {
          head.glideVelocity = 0.0;
          head.fadeFrom = head.glidePosition = head.fadeTo;
        }
      }
    }

    // End-of-sub-block events.
    if (spliceStart) StartSplice(D);
    if (spliceEnd) EndSplice(D, reverse, write.motion.pos, write.recordGain);
    if (recordFadeDone || write.recordGain > 1.0f) write.recordGain = 1.0f;
    if (rampDone) {
      m_inputLevel = write.inputLevel = m_inputLevelTarget;
      m_inputLevelStep = 0.0f;
    }
    if (stageDone) {
      m_envState = std::max(m_envState - 1, 0);
      write.envLevel = m_envState == 2 ? 1.0f : m_envState == 0 ? 0.0f : write.envLevel;
    }
    if (reversal) {
      // The write head jumps by twice the delay, so every read position
      // stays where it is.
      write.motion.pos = tape::Wrap(
          reverse ? write.motion.pos + twoD : write.motion.pos - twoD, length);
      write.recordGain = 0.0f;
      m_recordGainRate = (1.0f / sr) * 100.0f;
      for (int i = 0; i < kNumHeads; ++i) {
        targets[i] = twoD - targets[i];
        m_heads[i].glidePosition = twoD - m_heads[i].glidePosition;
      }
      write.feedback.skipCheck = -1;
      write.input.skipCheck = -1;
      reverse = !reverse;
    }
  }

  // ---- Write back and publish ----
  m_writePos = write.motion.pos;
  m_tapeSpeed = write.motion.speed;
  m_fbPrev[0] = write.feedback.prev[0];
  m_fbPrev[1] = write.feedback.prev[1];
  m_fbSkipCheck = write.feedback.skipCheck;
  m_fbSkipFill = write.feedback.skipFill;
  m_inPrev[0] = write.input.prev[0];
  m_inPrev[1] = write.input.prev[1];
  m_inSkipCheck = write.input.skipCheck;
  m_inSkipFill = write.input.skipFill;
  m_recordGain = write.recordGain;
  m_envLevel = write.envLevel;
  m_inputLevel = write.inputLevel;
  m_pitchLfo[0] = lfo.x;
  m_pitchLfo[1] = lfo.y;

  if (frames > 0) {
    const bool sensitive = P(kInputLevelSensitivity) != 0.0f;
    const float scale = sensitive ? 0.33454713f : 0.16666667f;
    const float offset = sensitive ? 2.107647f : 1.05f;
    m_dataToGui.InputRmsLeft = Meter(write.sumIn[0], frames, scale, offset);
    m_dataToGui.InputRmsRight = Meter(write.sumIn[1], frames, scale, offset);
    m_dataToGui.FxRmsLeft = Meter(write.sumWet[0], frames, 0.16666667f, 1.05f);
    m_dataToGui.FxRmsRight = Meter(write.sumWet[1], frames, 0.16666667f, 1.05f);
    // The tape holds something once the input has reached it.
    if (m_tapeBlank &&
        (static_cast<double>(write.sumIn[0]) + write.sumIn[1]) * m_inputLevelTarget > 1e-10) {
      m_tapeBlank = false;
    }
  }
  m_dataToGui.Tempo = static_cast<float>(m_tempo.load(std::memory_order_relaxed));
  m_dataToGui.DelayTime =
      m_tapMode > 0 ? std::min(m_tapFrames / sr, m_maxDelaySec) : m_delaySeconds;
  m_dataToGui.EnvLevel = m_envLevel;
  m_dataToGui.DigitalModeActive = digitalRead ? 1 : 0;
  if (m_waveformEnabled.load(std::memory_order_relaxed)) PublishDisplayPositions();
  SignalMidiTask(tapEventAtStart);
}
