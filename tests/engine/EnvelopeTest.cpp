// The envelope that gates the wet output, the meters, the data block for
// the editor and the waveform overview.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "tests/support/EngineHarness.h"

namespace {

class Envelope : public ::testing::Test {
 protected:
  EngineProbe& fx() { return engine.effect(); }
  EngineHarness engine;
};

TEST_F(Envelope, DefaultStaysOpen) {
  engine.Run({Noise(20000, 70, 0.5f)});
  EXPECT_EQ(fx().m_envState, 2);
  EXPECT_EQ(fx().m_envLevel, 1.0f);
  EXPECT_EQ(fx().m_dataToGui.EnvLevel, 1.0f);
}

TEST_F(Envelope, ReleaseFallsQuadraticallyThenReportsClosed) {
  engine.Set(kEnvRelease, 2.0f);
  engine.Set(kEnvGate, 0.0f);
  const int n = 88200;
  for (int k : {0, 22050, 44100, 66150}) {
    const int step = k == 0 ? 1 : 22050;
    if (k > 0) engine.Silence(step - (k == 22050 ? 1 : 0), 441);
    if (k == 0) engine.Silence(1, 1);
    const int done = k == 0 ? 1 : k;
    const float expected = std::pow(1.0f - static_cast<float>(done) / n, 2.0f);
    // Forward differences in single precision drift a little over 88 200 steps.
    EXPECT_NEAR(fx().m_envLevel, expected, 2e-3f) << done;
  }
  engine.Silence(22050, 441);
  EXPECT_EQ(fx().m_envState, 0);
  EXPECT_EQ(fx().m_envLevel, 0.0f);
  engine.Silence(64, 64);  // the next block reports the closed envelope
  EXPECT_EQ(engine.Get(kEnvOverride), 0.0f);
}

TEST_F(Envelope, OverrideClosesAndOpensIn64Frames) {
  engine.Set(kEnvOverride, 0.0f);
  engine.Silence(63, 63);
  EXPECT_EQ(fx().m_envState, 1);
  EXPECT_EQ(engine.Get(kEnvGate), 0.0f);
  engine.Silence(1, 1);
  EXPECT_EQ(fx().m_envState, 0);
  EXPECT_EQ(fx().m_envLevel, 0.0f);
  engine.Set(kEnvOverride, 1.0f);
  engine.Silence(64, 64);
  EXPECT_EQ(fx().m_envState, 2);
  EXPECT_EQ(fx().m_envLevel, 1.0f);
  EXPECT_EQ(engine.Get(kEnvGate), 1.0f);
}

TEST_F(Envelope, ZeroTimesTakeOneFrame) {
  engine.Set(kEnvRelease, 0.0f);
  engine.Set(kEnvAttack, 0.0f);
  engine.Set(kEnvGate, 0.0f);
  engine.Silence(1, 1);
  EXPECT_EQ(fx().m_envState, 0);
  engine.Set(kEnvGate, 1.0f);
  engine.Silence(1, 1);
  EXPECT_EQ(fx().m_envState, 2);
  EXPECT_EQ(fx().m_envLevel, 1.0f);
}

TEST_F(Envelope, TheWetOutputFollowsTheLevel) {
  engine.Set(kSaturationOnOff, 0.0f);
  engine.Set(kDelayTime, 0.01f);
  engine.Set(kDryLevel, 0.0f);
  engine.Set(kMasterFeedback, 0.0f);
  engine.Settle();
  const std::vector<float> dc(2000, 0.5f);
  engine.Run({dc, dc});
  engine.Set(kEnvRelease, 0.01f);  // 441 frames
  engine.Set(kEnvGate, 0.0f);
  Channels out = engine.Run({dc, dc}, 1000);
  // out = wet x 0.8 x level, level = (1 - k / 441)^2 after k frames.
  for (int k : {1, 100, 220, 400}) {
    EXPECT_NEAR(out[0][k - 1], 0.5f * 0.8f * std::pow(1.0f - k / 441.0f, 2.0f), 1e-3f) << k;
  }
  EXPECT_EQ(out[0][999], 0.0f);
}

TEST(Meters, SilenceReadsZeroNotMinusInfinity) {
  EngineHarness engine;
  engine.Silence(512);
  const DataToGui& d = engine.effect().m_dataToGui;
  for (float meter : {d.InputRmsLeft, d.InputRmsRight, d.FxRmsLeft, d.FxRmsRight}) {
    EXPECT_TRUE(std::isfinite(meter));
    EXPECT_NEAR(meter, 0.0f, 1e-3f);
  }
  // A full-scale sine reads about 1 on the input meter.
  const auto sine = Sine(4410, 1000.0, 44100.0, 1.0f);
  engine.Run({sine, sine}, 4410);
  EXPECT_NEAR(d.InputRmsLeft, 1.0f, 0.01f);
  engine.Set(kInputLevelSensitivity, 1.0f);
  const auto quiet = Sine(4410, 1000.0, 44100.0, 0.0316f);  // about -33 dB mean square
  engine.Run({quiet, quiet}, 4410);
  EXPECT_NEAR(d.InputRmsLeft, 1.0f, 0.02f);
}

TEST(DataToGuiBlock, FieldsInTheirOrder) {
  static_assert(offsetof(DataToGui, InputRmsLeft) < offsetof(DataToGui, InputRmsRight));
  static_assert(offsetof(DataToGui, FxRmsRight) < offsetof(DataToGui, Tempo));
  static_assert(offsetof(DataToGui, EnvLevel) < offsetof(DataToGui, timeSigNumerator));
  static_assert(offsetof(DataToGui, hostTempo) < offsetof(DataToGui, PendingPunch));
  static_assert(offsetof(DataToGui, DigitalModeActive) < offsetof(DataToGui, writePosition));
  static_assert(offsetof(DataToGui, crossfadeAmounts) < offsetof(DataToGui, scriptFlags));
  EngineHarness engine;
  engine.StartTransport(98.5, 0.0, 7, 8);
  engine.Set(kDelayTime, 0.75f);
  engine.Silence(512);
  const DataToGui& d = engine.effect().m_dataToGui;
  EXPECT_EQ(d.timeSigNumerator, 7.0f);
  EXPECT_EQ(d.timeSigDenominator, 8u);
  EXPECT_EQ(d.hostTempo, 98.5);
  EXPECT_EQ(d.Tempo, 120.0f);
  EXPECT_EQ(d.DelayTime, 0.75f);
}

TEST(DisplayPositions, FollowTheHeads) {
  EngineHarness engine;
  engine.effect().m_waveformEnabled = true;
  engine.Set(kDelayTime, 1.0f);
  engine.Settle();
  const DataToGui& d = engine.effect().m_dataToGui;
  const float W = static_cast<float>(engine.effect().WritePosition());
  EXPECT_FLOAT_EQ(d.writePosition, W / 441000.0f);
  float head = (W - 44100.0f) / 441000.0f;
  if (head < 0) head += 1.0f;
  EXPECT_NEAR(d.headPositions[0], head, 1e-6f);
  EXPECT_EQ(d.crossfadeAmounts[0], 0.0f);
}

// The overview: 512 columns of e = 861 frames for a 441 000-frame tape.
TEST(Waveform, ColumnsCoverTheTape) {
  EngineHarness engine;
  engine.effect().m_waveformEnabled = true;
  engine.Set(kMasterFeedback, 0.0f);
  engine.Set(kSaturationOnOff, 0.0f);
  std::vector<float> input(3 * 861, 0.0f);
  input[861 + 5] = 0.75f;  // column 1
  input[2 * 861] = -0.5f;  // column 2
  engine.Run({input, input}, 300);
  const float* w = engine.effect().Waveform();
  EXPECT_EQ(w[4 * 1 + 3], 0.75f);  // left max of column 1
  EXPECT_EQ(w[4 * 1 + 1], 0.0f);
  EXPECT_EQ(w[4 * 2 + 1], -0.5f);         // left min of column 2
  EXPECT_EQ(w[2048 + 4 * 1 + 3], 0.75f);  // and the right channel
  EXPECT_EQ(w[4 * 1], 1.0f);              // x never changes

  // Column 511 covers frames 439 971 to 440 831: the last 168 are in none.
  engine.effect().UpdateWaveform(0, 0, false, false);
  float* tape = const_cast<float*>(engine.effect().TapeData());
  tape[2 * 440900] = 0.9f;
  tape[2 * 440000] = -0.25f;
  engine.effect().UpdateWaveform(439971, 441000, false, true);
  EXPECT_EQ(w[4 * 511 + 3], 0.0f);
  EXPECT_EQ(w[4 * 511 + 1], -0.25f);
}

TEST(Waveform, ATapeShorterThanTheOverviewGivesAFrameAColumn) {
  EngineHarness engine(false, 100.0f);
  engine.Set(kMaxDelayTime, 1.0f);  // one second of tape: 100 frames
  engine.Silence(0);
  engine.effect().m_waveformEnabled = true;
  ASSERT_EQ(engine.effect().TapeFrames(), 100);
  engine.Set(kMasterFeedback, 0.0f);
  engine.Set(kSaturationOnOff, 0.0f);
  std::vector<float> input(60, 0.0f);
  input[50] = 2.0f;  // beyond full scale: shown at the limit
  engine.Run({input, input}, 60);
  const float* w = engine.effect().Waveform();
  EXPECT_EQ(w[4 * 256 + 1], 1.0f);  // column 256 shows frame 50
  EXPECT_EQ(w[4 * 256 + 3], 1.0f);
  EXPECT_EQ(w[4 * 255 + 3], 0.0f);
}

}  // namespace
