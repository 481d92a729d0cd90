// The FX-loop build's two loops through external effects.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/EngineHarness.h"

namespace {

bool AllZero(const std::vector<float>& s) {
  return std::all_of(s.begin(), s.end(), [](float v) { return v == 0.0f; });
}

class FxLoop : public ::testing::Test {
 protected:
  FxLoop() {
    engine.Set(kSaturationOnOff, 0.0f);
    engine.Set(kPreWriteLatencyCompensation, 1.0f);  // "Off"
    engine.Set(kPreSatLatencyCompensation, 1.0f);
  }
  EngineHarness engine{true};
};

TEST_F(FxLoop, PreWriteSendCarriesFeedbackPlusInputAndAMutedReturnRecordsNothing) {
  engine.Set(kPreWriteFxLoopEnable, 1.0f);
  const auto x0 = Noise(4000, 80, 0.5f), x1 = Noise(4000, 81, 0.5f);
  const std::vector<float> silent(4000, 0.0f);
  Channels out = engine.Run({x0, x1, silent, silent, silent, silent});
  // The tape is still blank, so the feedback is zero: the send is the input.
  EXPECT_EQ(out[2], x0);
  EXPECT_EQ(out[3], x1);
  const float* tape = engine.effect().TapeData();
  EXPECT_TRUE(std::all_of(tape, tape + 2 * 441000, [](float s) { return s == 0.0f; }));
  // What returns is what is recorded.
  engine.Run({x0, x1, x0, x1, silent, silent});
  EXPECT_EQ(tape[2 * (4000 + 7)], x0[7]);
  EXPECT_EQ(tape[2 * (4000 + 7) + 1], x1[7]);
}

TEST_F(FxLoop, PreSatReturnReplacesTheWetSignal) {
  engine.Set(kPreSatFxLoopEnable, 1.0f);
  engine.Set(kDryLevel, 0.0f);
  engine.Settle();  // the heads at one second: what they read is still silence
  const std::vector<float> ret(2000, 0.25f), silent(2000, 0.0f);
  Channels out = engine.Run({Noise(2000, 82, 0.5f), silent, silent, silent, ret, ret});
  for (int i : {0, 999, 1999}) EXPECT_FLOAT_EQ(out[0][i], 0.25f * 0.8f) << i;
  EXPECT_TRUE(AllZero(out[4]));  // the wet before the loop: the tape is still blank
}

TEST_F(FxLoop, SendsOfLoopsThatAreOffCarrySilence) {
  const auto x = Noise(1000, 83, 0.5f);
  Channels out = engine.Run({x, x, x, x, x, x}, 100, /*inPlace=*/true);
  for (int c = 2; c < 6; ++c) EXPECT_TRUE(AllZero(out[c])) << c;
}

}  // namespace
