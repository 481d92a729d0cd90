// Looper control: tap recording and tap tempo, punches quantised to the
// host's beat grid, freezing a loop, and the delay that each block core call
// follows (from "Delay Time", a tap, host tempo and sync groups).
#include <algorithm>
#include <cmath>

#include "engine/TapeKernels.h"
#include "shell/OdrkCrossDelay.h"
#include "shell/Preferences.h"

namespace {

constexpr double kMaxWait = 4294967295.0;  // frames; "never" for a quantised point
// Note values of "1/2" to "1/128" in quarter notes.
constexpr double kNoteValues[] = {2.0, 1.0, 0.5, 0.25, 0.125, 0.0625, 0.03125};

// The length of Beats notes of the divisor's value in seconds at tempo, as
// beats x 2^-divisor x (240, or 160 for triplets) / tempo.
double BeatLength(float beats, float divisor, float triplet, double tempo) {
  return beats * std::exp2(-static_cast<double>(divisor)) * (triplet != 0.0f ? 160.0 : 240.0) /
         tempo;
}

}  // namespace

// ---- The beat grid ----

double OdrkCrossDelay::QuantumQuarterNotes(int index, double barLength) {
  switch (index) {
    case 0:
      return 4.0 * barLength;
    case 1:
      return 2.0 * barLength;
    case 2:
      return barLength;
    default:
      return kNoteValues[std::clamp(index - 3, 0, 6)];
  }
}

double OdrkCrossDelay::NextGridPosition(int index, double position, double barStart,
                                        double barLength) {
  switch (index) {
    case 0:
      return 4.0 * barLength * (std::floor(barStart / (4.0 * barLength)) + 1.0);
    case 1:
      return 2.0 * barLength * (std::floor(barStart / (2.0 * barLength)) + 1.0);
    case 2:
      return barStart + barLength;
    default: {
      const double v = kNoteValues[std::clamp(index - 3, 0, 6)];
      return barStart + v * (std::floor((position - barStart) / v) + 1.0);
    }
  }
}

unsigned long OdrkCrossDelay::FramesUntil(double targetPpq, unsigned long rendered) const {
  const double frames =
      (targetPpq - m_transport.position) * getSampleRate() * 60.0 / m_transport.tempo;
  const double clamped = std::clamp(std::isfinite(frames) ? frames : kMaxWait, 0.0, kMaxWait);
  const unsigned long n = static_cast<unsigned long>(clamped);
  return n > rendered ? n - rendered : 0;
}

// ---- Punches, in Process: may render the frames before a quantised point ----

unsigned long OdrkCrossDelay::PunchQuantisation(const float** in, float** out,
                                                unsigned long frames) {
  const float sr = getSampleRate();
  const HostTransport& t = m_transport;
  const bool haveGrid = t.tempo != 0.0 && t.numerator > 0 && t.denominator > 0;
  const bool haveBars = haveGrid && t.barStart >= 0.0 && t.position >= 0.0;
  const double bar = haveGrid ? 4.0 * t.numerator / t.denominator : 4.0;
  unsigned long left = frames, rendered = 0;
  auto renderUpTo = [&](unsigned long n) {
    if (n == 0) return;
    ProcessCore(in, out, n);
    left -= n;
    rendered += n;
  };
  auto deliver = [&] {
    m_tapEvent = m_deferredTapEvent;
    m_deferredTapEvent = 0;
  };

  // Punch-out, while a tap is in progress.
  if (m_tapMode >= 1) {
    const int type = static_cast<int>(GetParameterValue(kPunchOutType));
    const int quantum = static_cast<int>(GetParameterValue(kPunchOutQuantize));
    const bool rounded = type == 0 && g_roundedTempos.load(std::memory_order_relaxed);
    const bool deferring = rounded || (type == 2 && haveGrid) || (type == 3 && haveBars);
    if (type == 1) {
      // "Length": the engine ends the tap after exactly one delay time.
      const int64_t n = static_cast<int64_t>(m_delayFrames) - m_tapFrames;
      if (n >= 0 && static_cast<uint64_t>(n) < left) {
        renderUpTo(static_cast<unsigned long>(n));
        if (m_tapMode == 2) {
          SetParameterFromEngine(kTapTempo, 0.0f);
          m_lastTapTempo = 0.0f;
        } else {
          SetParameterFromEngine(kTapRecord, 0.0f);
          m_lastTapRecord = 0.0f;
        }
        m_tapEvent = -m_tapMode;
      }
    } else if (m_tapEvent < 0 && deferring) {
      m_deferredTapEvent = m_tapEvent;
      m_tapEvent = 0;
      // The grid point is fixed now: a bar line that falls on the next
      // block's first frame must not move on with that block's bar start.
      if (type == 3) m_releaseTargetPpq = NextGridPosition(quantum, t.position, t.barStart, bar);
    }
    if (m_deferredTapEvent < 0) {
      unsigned long n = static_cast<unsigned long>(kMaxWait);
      bool known = true;
      if (rounded) {
        // Lengthen the loop until its tempo is a whole number of BPM.
        const float seconds = std::min(m_tapFrames / sr, m_maxDelaySec);
        const double length = BeatLength(GetParameterValue(kBeats), GetParameterValue(kBeatDivisor),
                                         GetParameterValue(kTriplet), 1.0);
        const double bpm = std::round(length / seconds);
        const int64_t target = static_cast<int64_t>(length / bpm * sr);
        n = target > m_tapFrames ? static_cast<unsigned long>(target - m_tapFrames) : 0;
      } else if (type == 2 && haveGrid) {
        // The next whole multiple of the quantum.
        const int64_t q =
            static_cast<int64_t>(QuantumQuarterNotes(quantum, bar) * sr * 60.0 / t.tempo);
        n = q > 0 ? static_cast<unsigned long>((m_tapFrames + q - 1) / q * q - m_tapFrames) : 0;
      } else if (type == 3 && haveBars) {
        n = FramesUntil(m_releaseTargetPpq, rendered);
      } else {
        known = false;  // waits until the host gives its grid again
      }
      if (known && n < left) {
        renderUpTo(n);
        deliver();
      }
    }
  }

  // Punch-in: a press waits for the next point of the grid.
  const int punchIn = static_cast<int>(GetParameterValue(kPunchInQuantize));
  if (m_tapEvent >= 1 && punchIn != 0 && haveBars) {
    m_deferredTapEvent = m_tapEvent;
    m_tapEvent = 0;
    m_punchTargetPpq = NextGridPosition(punchIn - 1, t.position, t.barStart, bar);
  }
  if (m_deferredTapEvent > 0 && t.tempo != 0.0 && t.position >= 0.0) {
    const unsigned long n = FramesUntil(m_punchTargetPpq, rendered);
    if (n < left) {
      renderUpTo(n);
      deliver();
    }
  }
  return left;
}

// ---- Freeze ----

void OdrkCrossDelay::ReleaseFreeze() {
  m_freezePoint = -1.0;
  if (m_freezeSplice) {
    // The splice runs back to where it came from.
    for (HeadState& head : m_heads) {
      std::swap(head.fadeFrom, head.fadeTo);
      head.fade = 1.0f - head.fade;
    }
  }
}

void OdrkCrossDelay::StartSplice(double D) {
  m_freezeRecordToPoint = false;
  m_freezeSplice = true;
  m_tapeBlank = false;
  for (HeadState& head : m_heads) {
    head.fade = 1.0f;
    head.fadeFrom = head.glidePosition;
    head.fadeTo = std::min(head.glidePosition + D, static_cast<double>(m_tapeFrames));
  }
}

void OdrkCrossDelay::EndSplice(double D, bool reverse, double& writePos, float& recordGain) {
  m_freezeSplice = false;
  for (HeadState& head : m_heads) head.fade = 0.0f;
  if (m_freezePoint < 0.0) return;
  // Still frozen: the write head goes back one loop, where the heads now
  // read, and recording resumes over the loop with a fade as long as the splice.
  const float sr = getSampleRate();
  recordGain = 0.0f;
  m_recordGainRate = (1.0f / (GetParameterValue(kDelayInertiaFadeTime) * sr)) * 999.99994f;
  writePos = tape::Wrap(reverse ? writePos + D : writePos - D, m_tapeFrames);
}

// ---- The delay of this call ----

float OdrkCrossDelay::ChooseDelaySeconds(float tapSeconds) {
  float seconds = std::min(GetParameterValue(kDelayTime), m_maxDelaySec);
  if (tapSeconds >= 0.0f) seconds = tapSeconds;
  const int mode = static_cast<int>(GetParameterValue(kSyncGroupMode));
  const int group = std::clamp(static_cast<int>(GetParameterValue(kSyncGroupNumber)), 0, 15);
  SyncGroupRecord& record = ms_syncGroupData[group];
  double tempo = mode == 2 ? record.tempo.load(std::memory_order_relaxed) : m_transport.tempo;
  if (tempo != 0.0 && GetParameterValue(kHostSync) != 0.0f) {
    seconds = static_cast<float>(
        std::min<double>(BeatLength(GetParameterValue(kBeats), GetParameterValue(kBeatDivisor),
                                    GetParameterValue(kTriplet), tempo),
                         m_maxDelaySec));
    m_tempo.store(tempo, std::memory_order_relaxed);
  }
  if (mode == 1) {  // "Master" publishes
    record.tempo.store(m_tempo.load(std::memory_order_relaxed), std::memory_order_relaxed);
    record.delay.store(seconds, std::memory_order_relaxed);
  } else if (mode == 3) {  // "Time" follows the master's delay
    seconds = std::min(record.delay.load(std::memory_order_relaxed), m_maxDelaySec);
  }
  return std::max(seconds, 0.0f);
}

// ---- Tap events, at the start of a block core call ----

float OdrkCrossDelay::ApplyTapEvent(bool& loopComplete, bool& recordPress) {
  loopComplete = recordPress = false;
  float tapSeconds = -1.0f;
  if (m_tapEvent != 0) {
    const float sr = getSampleRate();
    if (m_tapEvent < 0) {
      m_tapMode = 0;
      tapSeconds = std::min(m_tapFrames / sr, m_maxDelaySec);
      if (m_tapEvent == -1) {
        loopComplete = true;
        if (GetParameterValue(kPunchOutSetInputLevel) != 0.0f) {
          SetParameterFromEngine(kInputLevel, 0.0f);
        }
      }
      // The loop is Beats notes long: its tempo follows.
      m_tempo.store(BeatLength(GetParameterValue(kBeats), GetParameterValue(kBeatDivisor),
                               GetParameterValue(kTriplet), 1.0) /
                        tapSeconds,
                    std::memory_order_relaxed);
      SetParameterFromEngine(kDelayTime, tapSeconds);
      m_tapTempoValid = true;
    } else {
      m_tapMode = m_tapEvent;
      m_tapFrames = 0;
      if (m_tapEvent == 1) {
        recordPress = true;
        m_tapeSpeed = 1.0;
        SetParameterFromEngine(kPitch, 0.0f);
        SetParameterFromEngine(kReverse, 0.0f);
        if (GetParameterValue(kPunchInSetInputLevel) != 0.0f) {
          SetParameterFromEngine(kInputLevel, 1.0f);
        }
        m_writePos = 0.0;  // a loop is recorded from the start of the tape
      }
      m_tapTempoValid = false;
    }
    m_tapEvent = 0;
    SetParameterFromEngine(kFreezeLoop, 0.0f);
  }
  return tapSeconds;
}

// ---- Signals to the MIDI output task ----

void OdrkCrossDelay::SignalMidiTask(int32_t tapEventAtStart) {
  platform::EventFlags* event = m_midiEvent;
  if (event == nullptr) return;
  if (tapEventAtStart == -1) {
    event->Set(kMidiEventTapEnd);
  } else if (tapEventAtStart == 1) {
    event->Set(kMidiEventTapStart);
  } else {
    const bool pause = GetParameterValue(kPauseClock) != 0.0f;
    if (!pause && m_clockPaused.load(std::memory_order_relaxed)) {
      m_clockPaused.store(false, std::memory_order_relaxed);
      event->Set(kMidiEventResume);
    } else if (pause && !m_clockPaused.load(std::memory_order_relaxed)) {
      m_clockPaused.store(true, std::memory_order_relaxed);
      event->Set(kMidiEventPause);
    }
  }
}
