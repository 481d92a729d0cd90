// "Clear Loop": the crossfade to the dry signal, the wipe, its progress on
// the meters and the fade-in of the recording afterwards.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/EngineHarness.h"

namespace {

// Two engines with the same history: one clears, the other shows what the
// normal output would have been.
class Clear : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    for (EngineHarness* e : {&clearing, &normal}) {
      e->Set(kDelayTime, 0.05f);
      e->Set(kDryLevel, 0.5f);
      e->Run({Noise(20000, 7, 0.5f), Noise(20000, 8, 0.5f)}, 333);
    }
  }
  EngineHarness clearing{GetParam()}, normal{GetParam()};
};

TEST_P(Clear, CrossfadesToTheDrySignalThenWipes) {
  const auto x0 = Noise(200, 9, 0.5f), x1 = Noise(200, 10, 0.5f);
  const int tape = clearing.effect().TapeFrames();
  const int before = clearing.host().updateDisplayCount;
  clearing.Set(kClearLoop, 1.0f);
  Channels cleared = clearing.Run({x0, x1}, 200);
  Channels reference = normal.Run({x0, x1}, 200);

  for (int i = 0; i < 200; ++i) {
    const float t = i < 64 ? i / 64.0f : 1.0f;
    for (int c = 0; c < 2; ++c) {
      const float dry = (c == 0 ? x0[i] : x1[i]) * 0.5f;
      const float expected = reference[c][i] + t * (dry - reference[c][i]);
      ASSERT_NEAR(cleared[c][i], expected, 1e-5f) << "channel " << c << " frame " << i;
    }
  }
  ASSERT_NE(reference[0][150], 0.5f * x0[150]);  // the wet signal was there to fade out

  // 32 tape frames per output frame, from frame 0 up.
  EXPECT_EQ(clearing.effect().ClearRemaining(), tape - 6400);
  const float* data = clearing.effect().TapeData();
  EXPECT_TRUE(std::all_of(data, data + 2 * 6400, [](float s) { return s == 0.0f; }));
  EXPECT_NE(data[2 * 6400 + 1], 0.0f);
  EXPECT_FLOAT_EQ(clearing.effect().m_dataToGui.FxRmsLeft, (tape - 6400.0f) / tape);
  EXPECT_EQ(clearing.Get(kTapRecord), 0.0f);
  EXPECT_EQ(clearing.Get(kFreezeLoop), 0.0f);
  EXPECT_GE(clearing.host().updateDisplayCount, before + 3);

  clearing.Run({x0}, 10);
  EXPECT_EQ(clearing.effect().ClearRemaining(), tape - 6400 - 200 * 32);
  clearing.Silence(10, 10);
  EXPECT_EQ(clearing.effect().ClearRemaining(), tape - 6400 - 200 * 32 - 320);

  // The FX-loop build's sends and returns carry nothing while clearing.
  if (GetParam()) {
    Channels fx = clearing.Run({x0, x1, x0, x1, x0, x1}, 64);
    for (int c = 2; c < 6; ++c) {
      EXPECT_TRUE(std::all_of(fx[c].begin(), fx[c].end(), [](float s) { return s == 0.0f; }));
    }
  }
}

TEST_P(Clear, EndsWithAFadeInOfTheRecording) {
  clearing.Set(kClearLoop, 1.0f);
  const int tape = clearing.effect().TapeFrames();
  clearing.Silence((tape + 31) / 32, 256);  // exactly the frames the wipe takes
  EXPECT_EQ(clearing.effect().ClearRemaining(), 0);
  EXPECT_EQ(clearing.Get(kClearLoop), 0.0f);
  EXPECT_TRUE(clearing.effect().TapeBlank());
  EXPECT_EQ(clearing.effect().m_dataToGui.FxRmsLeft, 0.0f);
  EXPECT_EQ(clearing.effect().WritePosition(), 0.0);

  // A steady input is recorded with a gain rising over 1/64 s.
  clearing.Set(kMasterFeedback, 0.0f);
  const std::vector<float> dc(2000, 0.25f);
  clearing.Run({dc, dc}, 500);
  const float* data = clearing.effect().TapeData();
  const float rate = 64.0f / 44100.0f;
  for (int i : {0, 1, 100, 344, 688}) {
    EXPECT_NEAR(data[2 * i], 0.25f * std::min(i * rate, 1.0f), 1e-5f) << i;
  }
  EXPECT_FLOAT_EQ(data[2 * 700], 0.25f);
  EXPECT_EQ(clearing.effect().RecordGain(), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(BothBuilds, Clear, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "FxLoop" : "Standard"; });

}  // namespace
