// The tape machine: speed with inertia, stopping, reversing, gliding and
// crossfading heads, and digital mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/support/EngineHarness.h"

namespace {

float MaxStep(const std::vector<float>& s, size_t from, size_t to) {
  float largest = 0.0f;
  for (size_t i = from + 1; i < to; ++i) largest = std::max(largest, std::fabs(s[i] - s[i - 1]));
  return largest;
}

TEST(Transport, OctaveUpWithoutInertiaDoublesTheSpeedAndFillsSkippedFrames) {
  EngineHarness engine;
  engine.Set(kMasterFeedback, 0.0f);
  engine.Set(kPitchInertia, 0.0f);
  engine.Set(kPitch, 12.0f);
  engine.Silence(1);
  EXPECT_EQ(engine.effect().TapeSpeed(), 2.0);

  // A ramp rising by one per frame, recorded at two tape frames per frame:
  // every tape frame is written, each half a step above the one before.
  std::vector<float> ramp(400);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = 0.001f * i;
  const double start = engine.effect().WritePosition();
  engine.Run({ramp, ramp});
  const float* tape = engine.effect().TapeData();
  for (int n = static_cast<int>(start) + 4; n < static_cast<int>(start) + 700; ++n) {
    ASSERT_NEAR(tape[2 * (n + 1)] - tape[2 * n], 0.0005f, 1e-6f) << "tape frame " << n;
  }
}

TEST(Transport, StopWindsDownFadesTheWetAndStopsRecording) {
  EngineHarness engine;
  engine.Set(kDelayTime, 0.1f);
  engine.Run({Noise(8820, 30, 0.5f)});
  engine.Set(kStop, 1.0f);
  std::vector<double> speeds;
  float lastFade = 1.0f;
  for (int block = 0; block < 200; ++block) {
    engine.Silence(512);
    const double speed = engine.effect().TapeSpeed();
    const float fade = engine.effect().m_wetFade;
    ASSERT_LT(speed, speeds.empty() ? 1.0 : speeds.back());
    ASSERT_LE(fade, lastFade);
    // The wet output follows the speed once it is below a tenth.
    if (speed >= 0.1) {
      ASSERT_EQ(fade, 1.0f) << speed;
    }
    speeds.push_back(speed);
    lastFade = fade;
  }
  EXPECT_LT(speeds.back(), 0.01);
  EXPECT_LT(lastFade, 0.1f);

  // Without inertia the speed is zero at once, and nothing is recorded.
  engine.Set(kPitchInertia, 0.0f);
  engine.Silence(1);
  EXPECT_EQ(engine.effect().TapeSpeed(), 0.0);
  std::vector<float> before(engine.effect().TapeData(),
                            engine.effect().TapeData() + 2 * engine.effect().TapeFrames());
  engine.Run({Noise(2000, 31, 0.5f), Noise(2000, 32, 0.5f)});
  EXPECT_TRUE(std::equal(before.begin(), before.end(), engine.effect().TapeData()));
  EXPECT_EQ(engine.effect().m_wetFade, 0.0f);
}

// The position a head reads, as the engine sees it.
double ReadPosition(EngineHarness& engine, int head) {
  const double w = engine.effect().WritePosition();
  const double d = engine.effect().Head(head).glidePosition;
  const double L = engine.effect().TapeFrames();
  double p = engine.effect().TapeSpeed() < 0 ? w + d : w - d;
  return std::fmod(p + 2 * L, L);
}

TEST(Transport, ReverseContinuesFromTheReadPositionAndFadesRecordingIn) {
  EngineHarness engine;
  engine.Set(kDelayTime, 0.2f);
  engine.Settle();
  engine.Run({Noise(20000, 33, 0.5f)});
  engine.Set(kPitchInertia, 0.0f);
  const double before = ReadPosition(engine, 0);
  engine.Set(kReverse, 1.0f);
  engine.Silence(1);
  EXPECT_EQ(engine.effect().TapeSpeed(), -1.0);
  // One frame later the head has moved one frame, now backward.
  EXPECT_NEAR(ReadPosition(engine, 0), before - 1.0, 1e-6);
  // The write head jumped by twice the delay; recording fades in over 10 ms.
  EXPECT_EQ(engine.effect().RecordGain(), 0.0f);
  EXPECT_FLOAT_EQ(engine.effect().m_recordGainRate, 100.0f / 44100.0f);
  engine.Silence(400);
  EXPECT_NEAR(engine.effect().RecordGain(), 400.0f / 441.0f, 1e-4f);
  engine.Silence(42);
  EXPECT_EQ(engine.effect().RecordGain(), 1.0f);

  // The played-back audio runs backward through what was recorded.
  const double L = engine.effect().TapeFrames();
  const double p = ReadPosition(engine, 0);
  engine.Silence(100);
  EXPECT_NEAR(std::fmod(p - 100 - ReadPosition(engine, 0) + L, L), 0.0, 1e-6);
}

TEST(Transport, DelayChangeGlidesWithoutAClick) {
  EngineHarness engine;
  engine.Set(kDelayTime, 1.0f);
  engine.Set(kMasterFeedback, 0.0f);
  engine.Settle();
  const long frames = 4 * 44100;
  const auto tone = Sine(frames, 220.0, 44100.0, 0.5f);
  engine.Run({tone, tone});
  engine.Set(kDelayTime, 2.0f);
  const auto shortTone = std::vector<float>(tone.begin(), tone.begin() + 66150);
  Channels out = engine.Run({shortTone, shortTone});
  // A 220 Hz tone at 0.5 moves at most 0.016 per frame at normal speed. While
  // the heads glide they play it slower, then briefly backward, never faster
  // than a few frames per frame; a click would jump by a good part of 0.5.
  EXPECT_LT(MaxStep(out[0], 0, out[0].size()), 0.06f);
  EXPECT_GT(MaxStep(out[0], 0, out[0].size()), 0.0f);
  // A second and a half later the head has come within a hundredth of the way.
  EXPECT_LT(std::fabs(engine.effect().Head(0).glidePosition - 2.0 * 44100), 441.0);
}

TEST(Transport, CrossfadeModeFadesLinearlyWithoutPitchChange) {
  EngineHarness engine;
  engine.Set(kDelayInertiaMode, 1.0f);
  engine.Set(kDelayInertiaFadeTime, 100.0f);
  engine.Set(kDelayTime, 0.5f);
  engine.Run({Noise(44100, 34, 0.5f)});
  engine.Set(kDelayTime, 0.25f);
  engine.Silence(1);
  const float fadeStep = 1.0f / 4410.0f;
  EXPECT_NEAR(engine.effect().Head(0).fade, 1.0f - fadeStep, 1e-5f);
  EXPECT_NEAR(engine.effect().Head(0).fadeTo, 11025.0, 0.01);
  EXPECT_NEAR(engine.effect().Head(0).fadeFrom, 22050.0, 0.01);
  engine.Silence(2204);
  EXPECT_NEAR(engine.effect().Head(0).fade, 0.5f, 1e-3f);
  engine.Silence(2300);
  EXPECT_EQ(engine.effect().Head(0).fade, 0.0f);
  EXPECT_EQ(engine.effect().Head(0).glidePosition, engine.effect().Head(0).fadeTo);  // no glide
  EXPECT_EQ(engine.effect().Head(0).glideVelocity, 0.0);
}

TEST(Transport, DigitalModeRecirculatesBitExactly) {
  EngineHarness engine;
  engine.Set(kDigitalMode, 1.0f);
  engine.Set(kSaturationOnOff, 0.0f);
  engine.Set(kDelayTime, 0.1f);
  engine.Set(kMasterFeedback, 100.0f);
  engine.Set(kLLFeedback, 100.0f);
  engine.Set(kRRFeedback, 100.0f);
  engine.Set(kLRFeedback, 0.0f);
  engine.Set(kRLFeedback, 0.0f);
  engine.Settle();
  const long D = 4410;
  engine.Run({Noise(D, 35, 0.5f), Noise(D, 36, 0.5f)});
  EXPECT_EQ(engine.effect().m_dataToGui.DigitalModeActive, 1);
  Channels pass1 = engine.Silence(D, 128);
  for (int pass = 2; pass < 6; ++pass) {
    Channels next = engine.Silence(D, 300);
    for (int c = 0; c < 2; ++c) {
      for (long i = 0; i < D; ++i) ASSERT_EQ(next[c][i], pass1[c][i]) << pass << " " << i;
    }
  }
  EXPECT_GT(*std::max_element(pass1[0].begin(), pass1[0].end()), 0.3f);  // the loop is there
}

}  // namespace
