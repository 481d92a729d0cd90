// The per-frame loops of the tape machine: the read stage (four heads reading
// the tape behind the moving write head) and the write stage (output mix,
// feedback and input recorded at fractional positions). Each loop is a
// template specialised for the modes that stay fixed for a sub-block, so the
// common case carries no per-frame branch on a mode. Audio thread only;
// nothing here allocates, locks or calls the system.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "engine/EngineTypes.h"

namespace tape {

// Wraps a position into [0, length), however far outside it lies.
inline double Wrap(double p, double length) {
  if (p >= 0.0 && p < length) return p;
  if (p < 0.0) {
    p += length;
  } else {
    p -= length;
  }
  if (p < 0.0 || p >= length) {
    p = std::fmod(p, length);
    if (p < 0.0) p += length;
  }
  return p < length ? p : 0.0;  // -tiny + length rounds to length
}

inline int32_t WrapIndex(int64_t i, int32_t length) {
  if (i >= 0 && i < length) return static_cast<int32_t>(i);
  i %= length;
  return static_cast<int32_t>(i < 0 ? i + length : i);
}

// The write head: position in frames and the speed that brought it there.
// Every frame the speed moves toward the target r by the inertia k, then the
// position advances by the new speed.
struct Motion {
  double pos;
  double speed;
  void Step(double r, double k, double length) {
    speed += (r - speed) * k;
    pos = Wrap(pos + speed, length);
  }
};

// The pitch LFO: a quadrature oscillator that steps once per frame,
//   x' = x - c y;  offset = depth x';  y' = y + c x'.
// One step is the linear map M = [[1, -c], [c, 1 - c^2]], so a sub-block's
// offsets come from powers of M applied to the state at its start: four
// independent chains instead of one long serial one, and a jump of n frames
// at once when the depth is zero and only the phase has to move on.
struct Lfo {
  float x, y;

  struct Matrix {
    double a, b, c, d;  // [[a, b], [c, d]]
    Matrix operator*(const Matrix& m) const {
      return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c, c * m.b + d * m.d};
    }
  };
  static Matrix Step(float c) { return {1.0, -double{c}, double{c}, 1.0 - double{c} * c}; }
  static Matrix Power(Matrix m, int n) {
    Matrix result{1.0, 0.0, 0.0, 1.0};
    for (; n > 0; n >>= 1, m = m * m) {
      if (n & 1) result = result * m;
    }
    return result;
  }
  void Apply(const Matrix& m) {
    const double nx = m.a * x + m.b * y, ny = m.c * x + m.d * y;
    x = static_cast<float>(nx);
    y = static_cast<float>(ny);
  }

  // Moves the oscillator on by n frames.
  void Advance(int n, float c) { Apply(Power(Step(c), n)); }

  // The offsets of the next n frames, in frames; the oscillator moves on.
  void Fill(float* offsets, int n, float c, float depth) {
    if (depth == 0.0f) {
      std::fill(offsets, offsets + n, 0.0f);
      Advance(n, c);
      return;
    }
    const Matrix m1 = Step(c), m2 = m1 * m1, m3 = m2 * m1, m4 = m2 * m2;
    double sx = x, sy = y;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
      offsets[i] = static_cast<float>(depth * (m1.a * sx + m1.b * sy));
      offsets[i + 1] = static_cast<float>(depth * (m2.a * sx + m2.b * sy));
      offsets[i + 2] = static_cast<float>(depth * (m3.a * sx + m3.b * sy));
      offsets[i + 3] = static_cast<float>(depth * (m4.a * sx + m4.b * sy));
      const double nx = m4.a * sx + m4.b * sy;
      sy = m4.c * sx + m4.d * sy;
      sx = nx;
    }
    for (; i < n; ++i) {
      const double nx = m1.a * sx + m1.b * sy;
      sy = m1.c * sx + m1.d * sy;
      sx = nx;
      offsets[i] = static_cast<float>(depth * sx);
    }
    x = static_cast<float>(sx);
    y = static_cast<float>(sy);
  }
};

// ---- Read stage -----------------------------------------------------------

enum class HeadMode {
  Constant,   // settled heads: the same four delays for the whole sub-block
  PerFrame,   // gliding heads: a delay per frame and head from the work buffer
  Crossfade,  // each head fades from one delay to another
};

struct ReadArgs {
  const float* tape;
  int32_t frames;
  double length;
  double r, k;
  float gains[kNumHeads];  // L->L, L->R, R->L, R->R
  float fadeStep;
};

// Linear interpolation on one track (0 left, 1 right) at position p.
inline double ReadTrack(const float* tape, int track, double p, int32_t frames) {
  const int32_t n = static_cast<int32_t>(p);
  const double f = p - n;
  const int32_t next = n + 1 == frames ? 0 : n + 1;
  const double a = tape[2 * n + track];
  const double b = tape[2 * next + track];
  return a + (b - a) * f;
}

template <bool kReverse>
inline double ReadHead(const ReadArgs& a, int track, double base, double delay) {
  const double p = Wrap(kReverse ? base + delay : base - delay, a.length);
  return ReadTrack(a.tape, track, p, a.frames);
}

// Heads 0 and 1 read the left track, 2 and 3 the right; the left output takes
// L->L and R->L, the right output L->R and R->R.
// Heads are mixed as they are read, each into its output channel: the
// values never make a round trip through memory.
struct HeadMix {
  float left = 0.0f, right = 0.0f;
  void Add(const float (&g)[kNumHeads], int h, double value) {
    const float v = g[h] * static_cast<float>(value);
    if (h == 0 || h == 2) {
      left += v;
    } else {
      right += v;
    }
  }
  void Store(float* wet) const {
    wet[0] = left;
    wet[1] = right;
  }
};

// The gains as locals: the loops write the wet frames through a pointer, which
// would otherwise make the compiler load them again every frame.
#define VELTRANE_LOCAL_GAINS(a) \
  const float gains[kNumHeads] = {(a).gains[0], (a).gains[1], (a).gains[2], (a).gains[3]}

// The general read. Heads whose gain is zero (no bit in kActive) add nothing
// to the output and are not read; their crossfades still advance.
template <bool kReverse, HeadMode kMode, int kActive>
void ReadInterpolated(const ReadArgs& args, Motion motion, const float* lfoOffsets,
                      const double* constantDelays, const double (*frameDelays)[kNumHeads],
                      HeadState* heads, float (*wet)[kTapeChannels], int len) {
  const ReadArgs a = args;  // a local copy: stores to wet cannot alias it
  static constexpr int kTrack[kNumHeads] = {0, 0, 1, 1};
  VELTRANE_LOCAL_GAINS(a);
  for (int i = 0; i < len; ++i) {
    const double base = motion.pos + lfoOffsets[i];
    HeadMix mix;
    for (int h = 0; h < kNumHeads; ++h) {
      if constexpr (kMode == HeadMode::Crossfade) {
        HeadState& head = heads[h];
        head.fade = std::max(head.fade - a.fadeStep, 0.0f);
        if ((kActive & (1 << h)) == 0) continue;
        const double to = ReadHead<kReverse>(a, kTrack[h], base, head.fadeTo);
        if (head.fade > 0.0f) {
          const double from = ReadHead<kReverse>(a, kTrack[h], base, head.fadeFrom);
          mix.Add(gains, h, (1.0 - head.fade) * to + head.fade * from);
        } else {
          mix.Add(gains, h, to);
        }
      } else if constexpr (kMode == HeadMode::PerFrame) {
        if ((kActive & (1 << h)) == 0) continue;
        mix.Add(gains, h, ReadHead<kReverse>(a, kTrack[h], base, frameDelays[i][h]));
      } else {
        if ((kActive & (1 << h)) == 0) continue;
        mix.Add(gains, h, ReadHead<kReverse>(a, kTrack[h], base, constantDelays[h]));
      }
    }
    mix.Store(wet[i]);
    motion.Step(a.r, a.k, a.length);
  }
}

using ReadFn = void (*)(const ReadArgs&, Motion, const float*, const double*,
                        const double (*)[kNumHeads], HeadState*, float (*)[kTapeChannels], int);

// The general read for a direction, a head mode and the heads that sound.
ReadFn SelectRead(bool reverse, HeadMode mode, const float gains[kNumHeads]);

// Whole frames at a speed of exactly one: the heads read the samples as they
// were recorded, so a loop recirculates bit for bit. The LFO still advances.
template <bool kReverse>
void ReadDigital(const ReadArgs& args, double writePos, const double* delays,
                 float (*wet)[kTapeChannels], int len) {
  const ReadArgs a = args;  // a local copy: stores to wet cannot alias it
  static constexpr int kTrack[kNumHeads] = {0, 0, 1, 1};
  int32_t index[kNumHeads];
  int32_t b;
  if constexpr (kReverse) {
    b = static_cast<int32_t>(std::ceil(writePos));
    if (b == a.frames) b = 0;
  } else {
    b = static_cast<int32_t>(writePos);
  }
  for (int h = 0; h < kNumHeads; ++h) {
    const int64_t d = static_cast<int64_t>(delays[h]);
    index[h] = WrapIndex(kReverse ? int64_t{b} + d : int64_t{b} - d, a.frames);
  }
  VELTRANE_LOCAL_GAINS(a);
  for (int i = 0; i < len; ++i) {
    HeadMix mix;
    for (int h = 0; h < kNumHeads; ++h) {
      mix.Add(gains, h, a.tape[2 * index[h] + kTrack[h]]);
      if constexpr (kReverse) {
        index[h] = index[h] == 0 ? a.frames - 1 : index[h] - 1;
      } else {
        index[h] = index[h] + 1 == a.frames ? 0 : index[h] + 1;
      }
    }
    mix.Store(wet[i]);
  }
}

// Heads on a tape moving at exactly one frame per frame from a whole frame,
// without LFO: every read position keeps its fraction between two tape
// frames, so each frame's read is one step along the tape (the same samples
// as the general loop, up to the last bits of a position). Settled heads read
// their constant delays; crossfading heads read from both ends of their fade.
// Heads whose gain is zero (no bit in kActive) add nothing to the output and
// are not read; their fades still advance.
template <bool kReverse>
struct TapeCursor {
  int32_t index;
  double fraction;
  void Start(double writePos, double delay, double length) {
    const double p = Wrap(kReverse ? writePos + delay : writePos - delay, length);
    index = static_cast<int32_t>(p);
    fraction = p - index;
  }
  double Read(const float* tape, int track, int32_t frames) const {
    const int32_t next = index + 1 == frames ? 0 : index + 1;
    const double s0 = tape[2 * index + track];
    const double s1 = tape[2 * next + track];
    return s0 + (s1 - s0) * fraction;
  }
  void Advance(int32_t frames) {
    if constexpr (kReverse) {
      index = index == 0 ? frames - 1 : index - 1;
    } else {
      index = index + 1 == frames ? 0 : index + 1;
    }
  }
};

template <bool kReverse, bool kCrossfade, int kActive>
void ReadUnitSpeed(const ReadArgs& args, double writePos, const double* delays, HeadState* heads,
                   float (*wet)[kTapeChannels], int len) {
  const ReadArgs a = args;  // a local copy: stores to wet cannot alias it
  static constexpr int kTrack[kNumHeads] = {0, 0, 1, 1};
  TapeCursor<kReverse> to[kNumHeads], from[kNumHeads];
  float fade[kNumHeads];
  for (int h = 0; h < kNumHeads; ++h) {
    to[h].Start(writePos, kCrossfade ? heads[h].fadeTo : delays[h], a.length);
    if constexpr (kCrossfade) {
      from[h].Start(writePos, heads[h].fadeFrom, a.length);
      fade[h] = heads[h].fade;
    }
  }
  VELTRANE_LOCAL_GAINS(a);
  for (int i = 0; i < len; ++i) {
    HeadMix mix;
    for (int h = 0; h < kNumHeads; ++h) {
      if constexpr (kCrossfade) fade[h] = std::max(fade[h] - a.fadeStep, 0.0f);
      if ((kActive & (1 << h)) == 0) continue;
      double v = to[h].Read(a.tape, kTrack[h], a.frames);
      to[h].Advance(a.frames);
      if constexpr (kCrossfade) {
        if (fade[h] > 0.0f) {
          const double f = from[h].Read(a.tape, kTrack[h], a.frames);
          v = (1.0 - fade[h]) * v + fade[h] * f;
        }
        from[h].Advance(a.frames);
      }
      mix.Add(gains, h, v);
    }
    mix.Store(wet[i]);
  }
  if constexpr (kCrossfade) {
    for (int h = 0; h < kNumHeads; ++h) heads[h].fade = fade[h];
  }
}

using ReadUnitSpeedFn = void (*)(const ReadArgs&, double, const double*, HeadState*,
                                 float (*)[kTapeChannels], int);

// The unit-speed read for a direction, settled or crossfading heads, and the
// heads that sound.
ReadUnitSpeedFn SelectReadUnitSpeed(bool reverse, bool crossfade, const float gains[kNumHeads]);

// ---- Write stage ----------------------------------------------------------

// The memory of one interpolating write: the last frame's value and the
// indices that detect a skipped tape frame.
struct WriteMemory {
  float prev[kTapeChannels];
  int32_t skipCheck;
  int32_t skipFill;
};

struct WriteArgs {
  const float* in[6];
  float* out[6];
  float* tape;
  int32_t frames;
  double length;
  double r, k;
  Motion motion;        // the write head; the stage leaves it where the sub-block ends
  double offsetFrames;  // record offset: the input goes this far behind the write head
  float dry, effectGain, master;
  float keep, inGainL, inGainR;  // input staging: monoize and pan
  float inputLevel, inputLevelStep;
  float envLevel, envIncrement, envIncrementStep;
  float recordGain, recordGainRate;
  WriteMemory feedback, input;
  float sumIn[kTapeChannels], sumWet[kTapeChannels];
};

// Records a value into one tape cell: replacing (the write head) or adding
// (the offset input), faded in by g while the record fade runs.
template <bool kAdd, bool kFade>
inline void Record(float* cell, float value, float g) {
  if constexpr (kAdd) {
    *cell += kFade ? value * g : value;
  } else {
    *cell = kFade ? *cell * (1.0f - g) + value * g : value;
  }
}

template <bool kAdd, bool kFade>
inline void RecordFrame(float* tape, int32_t n, float v0, float v1, float g) {
  Record<kAdd, kFade>(tape + 2 * n, v0, g);
  Record<kAdd, kFade>(tape + 2 * n + 1, v1, g);
}

// The interpolating write: when the head has crossed tape index n during the
// last frame, n gets the value at the moment of crossing, interpolated in
// time between the last frame's value and this one's. A head faster than one
// frame per frame also fills the index it skipped.
template <bool kReverse, bool kAdd, bool kFade>
inline void InterpolatingWrite(float* tape, int32_t frames, double pos, double speed, float v0,
                               float v1, WriteMemory& m, float g) {
  int32_t n;
  double sinceCrossing;  // position minus the crossed index, before wrapping
  if constexpr (kReverse) {
    // The next whole frame at or above the position (positions are >= 0).
    n = static_cast<int32_t>(pos);
    if (n < pos) ++n;
    sinceCrossing = pos - n;
    if (n >= frames) n -= frames;
  } else {
    n = static_cast<int32_t>(pos);
    sinceCrossing = pos - n;
  }
  if (speed != 0.0) {
    const float tau = static_cast<float>(sinceCrossing / speed);
    if (tau < 1.0f) {
      RecordFrame<kAdd, kFade>(tape, n, v0 + (m.prev[0] - v0) * tau, v1 + (m.prev[1] - v1) * tau,
                               g);
    }
    if (m.skipCheck == n) {
      const float t = static_cast<float>(kReverse ? sinceCrossing / speed - 1.0 / speed
                                                  : sinceCrossing / speed + 1.0 / speed);
      RecordFrame<kAdd, kFade>(tape, m.skipFill, v0 + (m.prev[0] - v0) * t,
                               v1 + (m.prev[1] - v1) * t, g);
    }
  }
  m.skipCheck = WrapIndex(kReverse ? int64_t{n} - 2 : int64_t{n} + 2, frames);
  m.skipFill = WrapIndex(kReverse ? int64_t{n} - 1 : int64_t{n} + 1, frames);
  m.prev[0] = v0;
  m.prev[1] = v1;
}

inline int32_t DigitalIndex(double pos, bool reverse, int32_t frames) {
  int32_t n = static_cast<int32_t>(pos);
  if (reverse && n < pos) ++n;
  return n >= frames ? n - frames : n;
}

inline int32_t StepIndex(int32_t n, bool reverse, int32_t frames) {
  if (reverse) return n == 0 ? frames - 1 : n - 1;
  return n + 1 == frames ? 0 : n + 1;
}

enum class WriteMode {
  General,    // any speed: the interpolating write
  Digital,    // digital mode: whole frames, no interpolation
  UnitSpeed,  // exactly one frame per frame: every frame crosses one tape frame
};

// A write head moving one tape frame per frame. At unit speed every crossing
// lies the same time tau back, so the interpolating write becomes one record
// per frame at the next index; in digital mode tau is not used at all.
template <bool kReverse, WriteMode kMode, bool kAdd, bool kFade>
struct WriteCursor {
  int32_t index;
  float tau;
  WriteMemory memory;

  void Start(double pos, int32_t frames, const WriteMemory& m) {
    index = DigitalIndex(pos, kReverse, frames);
    const double whole = kReverse ? std::ceil(pos) : std::floor(pos);
    tau = static_cast<float>(kReverse ? whole - pos : pos - whole);
    memory = m;
  }
  void Write(float* tape, int32_t frames, float v0, float v1, float g) {
    if constexpr (kMode == WriteMode::Digital) {
      RecordFrame<kAdd, kFade>(tape, index, v0, v1, g);
    } else {
      RecordFrame<kAdd, kFade>(tape, index, v0 + (memory.prev[0] - v0) * tau,
                               v1 + (memory.prev[1] - v1) * tau, g);
    }
    memory.prev[0] = v0;
    memory.prev[1] = v1;
    index = StepIndex(index, kReverse, frames);
  }
  // Leaves the memory as the interpolating write at the last index would.
  const WriteMemory& Finish(int32_t frames) {
    const int32_t last = StepIndex(index, !kReverse, frames);
    memory.skipCheck = WrapIndex(kReverse ? int64_t{last} - 2 : int64_t{last} + 2, frames);
    memory.skipFill = WrapIndex(kReverse ? int64_t{last} - 1 : int64_t{last} + 1, frames);
    return memory;
  }
};

// One sub-block of the write stage: per frame the envelope, the output mix,
// the feedback, the staged input, the FX-loop send and return, and the tape
// writes. wet holds the tone stages' output for the same frames.
template <bool kReverse, WriteMode kMode, bool kRecordOffset, bool kPreWrite, bool kFade>
void WriteStage(WriteArgs& args, const float (*wet)[kTapeChannels], int len) {
  WriteArgs a = args;  // a local copy: stores to the tape cannot alias it
  constexpr bool kCursor = kMode != WriteMode::General;
  const float* in0 = a.in[0];
  const float* in1 = a.in[1];
  float* out0 = a.out[0];
  float* out1 = a.out[1];
  float env = a.envLevel, envInc = a.envIncrement;
  float lambda = a.inputLevel;
  float g = a.recordGain;
  float sumIn0 = 0, sumIn1 = 0, sumWet0 = 0, sumWet1 = 0;
  Motion motion = a.motion;
  const double start = motion.pos;
  double q = 0.0;  // the offset input's position
  if constexpr (kRecordOffset) {
    q = Wrap(kReverse ? motion.pos + a.offsetFrames : motion.pos - a.offsetFrames, a.length);
  }
  WriteCursor<kReverse, kMode, false, kFade> writeHead;
  WriteCursor<kReverse, kMode, true, kFade> inputHead;
  if constexpr (kCursor) {
    writeHead.Start(motion.pos, a.frames, a.feedback);
    if constexpr (kRecordOffset) inputHead.Start(q, a.frames, a.input);
  }

  for (int i = 0; i < len; ++i) {
    env += envInc;
    envInc += a.envIncrementStep;
    const float x0 = in0[i], x1 = in1[i];
    const float y0 = wet[i][0], y1 = wet[i][1];
    float return0 = 0, return1 = 0;
    if constexpr (kPreWrite) {
      return0 = a.in[2][i];  // read before the send: the host may process in place
      return1 = a.in[3][i];
    }
    const float wetGain = a.effectGain * env;
    out0[i] = x0 * a.dry + y0 * wetGain;
    out1[i] = x1 * a.dry + y1 * wetGain;
    const float f0 = a.master * y0, f1 = a.master * y1;
    const float mono = x0 + x1;
    const float i0 = lambda * (a.keep * x0 + a.inGainL * mono);
    const float i1 = lambda * (a.keep * x1 + a.inGainR * mono);
    lambda += a.inputLevelStep;

    float w0 = f0, w1 = f1;
    if constexpr (!kRecordOffset) {
      w0 += i0;
      w1 += i1;
    }
    if constexpr (kPreWrite) {
      a.out[2][i] = w0;
      a.out[3][i] = w1;
      w0 = return0;
      w1 = return1;
    }

    if constexpr (kCursor) {
      writeHead.Write(a.tape, a.frames, w0, w1, g);
      if constexpr (kRecordOffset) inputHead.Write(a.tape, a.frames, i0, i1, g);
    } else {
      InterpolatingWrite<kReverse, false, kFade>(a.tape, a.frames, motion.pos, motion.speed, w0, w1,
                                                 a.feedback, g);
      if constexpr (kRecordOffset) {
        InterpolatingWrite<kReverse, true, kFade>(a.tape, a.frames, q, motion.speed, i0, i1,
                                                  a.input, g);
      }
      motion.Step(a.r, a.k, a.length);
      if constexpr (kRecordOffset) q = Wrap(q + motion.speed, a.length);
    }
    if constexpr (kFade) g += a.recordGainRate;

    sumIn0 += x0 * x0;
    sumIn1 += x1 * x1;
    sumWet0 += y0 * y0;
    sumWet1 += y1 * y1;
  }

  if constexpr (kCursor) {
    if (len > 0) {
      a.feedback = writeHead.Finish(a.frames);
      if constexpr (kRecordOffset) a.input = inputHead.Finish(a.frames);
    }
    if constexpr (kMode == WriteMode::Digital) {
      motion.pos = writeHead.index;  // digital writing leaves the head on a whole frame
    } else {
      motion.pos = Wrap(kReverse ? start - len : start + len, a.length);
    }
  }
  args.motion = motion;
  args.envLevel = env;
  args.envIncrement = envInc;
  args.inputLevel = lambda;
  args.recordGain = g;
  args.feedback = a.feedback;
  args.input = a.input;
  args.sumIn[0] += sumIn0;
  args.sumIn[1] += sumIn1;
  args.sumWet[0] += sumWet0;
  args.sumWet[1] += sumWet1;
}

using WriteStageFn = void (*)(WriteArgs&, const float (*)[kTapeChannels], int);

// The write stage for a combination of modes.
WriteStageFn SelectWriteStage(bool reverse, WriteMode mode, bool recordOffset, bool preWrite,
                              bool recordFade);

}  // namespace tape
