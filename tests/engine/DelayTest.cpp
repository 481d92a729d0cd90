// The tape delay as a listener hears it: repeats after exactly the delay, at
// the gains the feedback matrix sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/EngineHarness.h"

namespace {

// Head delays are formed in single precision ("time" x D x 0.01), so a
// repeat may lie a fraction of a frame off: its energy is split between the
// frame of the delay and the next.
constexpr float kSplit = 3e-3f;

// The largest magnitude in [from, to) and where it is.
std::pair<long, float> Peak(const std::vector<float>& s, long from, long to) {
  long at = from;
  for (long i = from; i < to; ++i) {
    if (std::fabs(s[i]) > std::fabs(s[at])) at = i;
  }
  return {at, s[at]};
}

TEST(Delay, ImpulseComesBackAfterExactlyTheDelay) {
  EngineHarness engine;
  engine.Set(kDelayTime, 0.5f);
  engine.Set(kSaturationOnOff, 0.0f);  // the soft clipper would shape the repeats
  engine.Settle();
  const long D = 22050;
  const long at = 1000;
  Channels out = engine.Run({Impulse(3 * D, at), Impulse(3 * D, at, 0.5f)});
  // Dry at once, then the wet repeats: Effect Level 0.8, Master feedback 0.9.
  EXPECT_FLOAT_EQ(out[0][at], 1.0f);
  auto [first, value] = Peak(out[0], at + 1, at + D + 100);
  EXPECT_EQ(first, at + D);
  EXPECT_NEAR(value, 0.8f, kSplit);
  auto [second, value2] = Peak(out[0], at + D + 100, 3 * D);
  EXPECT_EQ(second, at + 2 * D);
  EXPECT_NEAR(value2, 0.8f * 0.9f, kSplit);
  auto [right, valueR] = Peak(out[1], at + 1, at + D + 100);
  EXPECT_EQ(right, at + D);
  EXPECT_NEAR(valueR, 0.4f, kSplit);
}

// The pitch LFO moves all heads together: repeats arrive early and late by
// up to its depth in frames, (1 / speed) x 100 x depth = 10 frames here.
TEST(Delay, PitchLfoSwaysTheRepeats) {
  EngineHarness engine;
  engine.Set(kDelayTime, 0.1f);
  engine.Set(kMasterFeedback, 0.0f);
  engine.Set(kPitchLfoSpeed, 5.0f);
  engine.Set(kPitchLfoDepth, 0.5f);
  engine.Settle();
  const long D = 4410, spacing = 1000;  // not a divisor of the LFO's period
  std::vector<float> clicks(44100 + D, 0.0f);
  for (long t = 0; t < 44100; t += spacing) clicks[t] = 1.0f;
  Channels out = engine.Run({clicks, clicks});
  double earliest = 1e9, latest = -1e9;
  for (long t = spacing; t + D + 20 < static_cast<long>(clicks.size()); t += spacing) {
    const double arrival = Peak(out[0], t + D - 15, t + D + 16).first - (t + D);
    earliest = std::min(earliest, arrival);
    latest = std::max(latest, arrival);
  }
  EXPECT_NEAR(earliest, -10.0, 1.5);
  EXPECT_NEAR(latest, 10.0, 1.5);
}

}  // namespace
