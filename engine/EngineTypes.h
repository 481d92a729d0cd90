// The small types the engine keeps its state in.
#pragma once

#include <atomic>
#include <cstdint>

// Work is done in sub-blocks of at most this many frames, so the per-frame
// work area stays small and parameter-driven events land on sub-block edges.
constexpr int kSubBlockFrames = 128;
// A state switch (a clear starting, a tap recording starting) crossfades the
// old output into the new one over this many frames.
constexpr int kStateCrossfadeFrames = 64;
// While clearing, the tape is wiped this many frames per output frame.
constexpr int kClearFramesPerFrame = 32;
// The tape holds interleaved stereo frames.
constexpr int kTapeChannels = 2;
constexpr int kNumHeads = 4;  // L->L, L->R, R->L, R->R

// One read head.
struct HeadState {
  double glidePosition;  // delay in frames as it glides toward its target
  double glideVelocity;  // frames per second
  double fadeFrom;       // delay a crossfade starts from
  double fadeTo;         // delay a crossfade goes to
  float fade;            // 1 plays fade-from only, 0 fade-to only
};

// One envelope segment: a quadratic ramp by forward differences.
struct Stage {
  static constexpr uint32_t kEndless = 4294967295u;
  float increment;      // added to the level at the next frame
  float incrementStep;  // added to the increment after each frame
  uint32_t count;       // frames left in the segment

  // A ramp from `from` to exactly `to` over time seconds: shape 1 is a
  // straight line, shape 0 starts a rise flat and a fall fast (quadratic).
  void Setup(float time, float shape, float from, float to, float sampleRate);
};

// Filter memory of a tone stage.
template <int N>
struct FilterBlock {
  float s[N];
};

// What a sync group's master publishes to its followers. Instances read and
// write it from their own audio threads without a lock; each field is one
// whole word, so a follower sees the previous or the new value.
struct SyncGroupRecord {
  std::atomic<double> tempo;  // BPM
  std::atomic<float> delay;   // seconds
};

// The block core's per-sub-block work area.
struct WorkBuffer {
  double delays[kSubBlockFrames][kNumHeads];  // per-frame head delays while gliding
  float wet[kSubBlockFrames][kTapeChannels];  // the read stage's output, then the tone stages'
  float lfoOffsets[kSubBlockFrames];          // the pitch LFO's offset of every frame
};
