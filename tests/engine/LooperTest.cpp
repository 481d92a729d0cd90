// The looper: tap recording and tap tempo, punches on the host's beat grid,
// freezing, and the clear after the envelope closes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "shell/Preferences.h"
#include "tests/support/EngineHarness.h"

namespace {

constexpr float kSr = 44100.0f;

// A looper with clean repeats: no saturation on the loop.
class Looper : public ::testing::Test {
 protected:
  Looper() { engine.Set(kSaturationOnOff, 0.0f); }
  EngineProbe& fx() { return engine.effect(); }
  EngineHarness engine;
};

TEST_F(Looper, PunchInWaitsForTheNextBar) {
  engine.StartTransport(120.0, 5.5);   // bar start 4.0
  engine.Set(kPunchInQuantize, 3.0f);  // "1 Bar"
  engine.Set(kTapRecord, 1.0f);
  // Position 8.0 is 2.5 quarter notes away: 1.25 s, 55125 frames.
  engine.Silence(55125, 441);
  EXPECT_EQ(fx().m_tapMode, 0);
  EXPECT_EQ(fx().m_dataToGui.PendingPunch, 1);
  std::vector<float> click(441, 0.0f);
  click[10] = 1.0f;
  engine.Run({click, click}, 441);
  EXPECT_EQ(fx().m_tapMode, 1);
  EXPECT_EQ(fx().m_tapFrames, 441);
  EXPECT_EQ(fx().m_dataToGui.PendingPunch, 0);
  // The recording started at tape frame 0 on the bar line.
  EXPECT_FLOAT_EQ(fx().TapeData()[2 * 10], 1.0f);
}

TEST_F(Looper, WithoutHostTimeAQuantisedPunchTakesEffectAtOnce) {
  engine.Set(kPunchInQuantize, 3.0f);
  engine.Set(kTapRecord, 1.0f);
  engine.Silence(512);
  EXPECT_EQ(fx().m_tapMode, 1);
  EXPECT_EQ(fx().m_dataToGui.PendingPunch, 0);
}

TEST_F(Looper, LengthQReleaseWaitsForTheNextQuantum) {
  engine.StartTransport(120.0);
  engine.Set(kPunchOutType, 2.0f);      // "LengthQ"
  engine.Set(kPunchOutQuantize, 4.0f);  // "1/4": 0.5 s at 120 BPM
  engine.Set(kTapRecord, 1.0f);
  engine.Silence(48510, 490);  // 1.1 s
  engine.Set(kTapRecord, 0.0f);
  engine.Silence(4900, 490);
  EXPECT_EQ(fx().m_tapMode, 1);
  EXPECT_EQ(fx().m_dataToGui.PendingPunch, 1);
  engine.Silence(22050, 490);
  EXPECT_EQ(fx().m_tapMode, 0);
  EXPECT_FLOAT_EQ(engine.Get(kDelayTime), 1.5f);
}

TEST_F(Looper, PositionQReleaseEndsOnTheNextBar) {
  engine.StartTransport(120.0);         // bar 0 starts at position 0
  engine.Set(kPunchOutType, 3.0f);      // "PositionQ"
  engine.Set(kPunchOutQuantize, 2.0f);  // "1 Bar": the next bar line, position 4.0
  engine.Set(kPunchOutSetInputLevel, 1.0f);
  engine.Set(kTapRecord, 1.0f);
  engine.Silence(48510, 490);  // released at position 2.2
  engine.Set(kTapRecord, 0.0f);
  engine.Silence(44100, 490);
  EXPECT_EQ(fx().m_tapMode, 0);
  EXPECT_FLOAT_EQ(engine.Get(kDelayTime), 2.0f);
  EXPECT_EQ(engine.Get(kInputLevel), 0.0f);  // "Punch Out Set Input Level"
}

TEST_F(Looper, LengthEndsTheTapAfterExactlyOneDelay) {
  engine.Set(kDelayTime, 2.0f);
  engine.Set(kPunchOutType, 1.0f);  // "Length"
  engine.Set(kTapRecord, 1.0f);
  const int before = engine.host().updateDisplayCount;
  engine.Silence(3 * 44100, 500);
  EXPECT_EQ(fx().m_tapMode, 0);
  EXPECT_EQ(engine.Get(kTapRecord), 0.0f);
  EXPECT_GT(engine.host().updateDisplayCount, before);
  EXPECT_FLOAT_EQ(engine.Get(kDelayTime), 2.0f);
}

TEST_F(Looper, RoundedTemposLengthenTheLoopToAWholeBpm) {
  g_roundedTempos = true;
  engine.Set(kTapRecord, 1.0f);
  engine.Silence(85995, 315);  // 1.95 s
  engine.Set(kTapRecord, 0.0f);
  engine.Silence(4410, 315);
  g_roundedTempos = false;
  const int32_t loop = static_cast<int32_t>(240.0 / 123.0 * kSr);  // about 1.951 s
  EXPECT_NEAR(engine.Get(kDelayTime), loop / kSr, 1e-6f);
  EXPECT_NEAR(fx().Tempo(), 240.0 * kSr / loop, 1e-4);
  EXPECT_NEAR(fx().Tempo(), 123.0, 0.01);
}

TEST_F(Looper, TapRecordedLoopPlaysFromItsStart) {
  engine.Settle();
  engine.Set(kTapRecord, 1.0f);
  std::vector<float> input(88200, 0.0f);
  input[100] = 1.0f;  // a click 100 frames into the take
  engine.Run({input, input}, 441);
  engine.Set(kTapRecord, 0.0f);
  Channels out = engine.Silence(2 * 44100, 441);
  // The heads sit one loop (2 s) behind the write head, at the loop's start.
  EXPECT_NEAR(fx().Head(0).glidePosition, 88200.0, 0.01);
  const auto peak = std::max_element(out[0].begin(), out[0].begin() + 44100,
                                     [](float a, float b) { return std::fabs(a) < std::fabs(b); });
  EXPECT_EQ(peak - out[0].begin(), 100);
  EXPECT_NEAR(*peak, 0.8f, 0.01f);  // the loop length is formed in single precision
  // Four beats of "1/4" over 2 s: 120 BPM.
  EXPECT_FLOAT_EQ(engine.Get(kDelayTime), 2.0f);
  EXPECT_NEAR(fx().Tempo(), 120.0, 1e-9);
  EXPECT_TRUE(fx().m_tapTempoValid);
  engine.Set(kBeats, 2.0f);
  EXPECT_FLOAT_EQ(engine.Get(kDelayTime), 1.0f);
}

TEST_F(Looper, TapTempoSetsTheDelayWithoutRecording) {
  engine.Set(kTapTempo, 1.0f);
  engine.Silence(22050, 441);
  engine.Set(kTapTempo, 0.0f);
  engine.Silence(441, 441);
  EXPECT_FLOAT_EQ(engine.Get(kDelayTime), 0.5f);
  EXPECT_NEAR(fx().Tempo(), 480.0, 1e-6);  // 4 quarter notes in half a second
}

TEST_F(Looper, TriggerStartsATapRecordingAtTheStartOfTheBlock) {
  engine.Set(kTrigger, 1.0f);
  engine.Set(kTriggerLevel, 0.5f);
  engine.Silence(1024);
  EXPECT_EQ(fx().m_tapMode, 0);
  // A mean square of 1e-4 reads about 0.77 on the trigger's scale.
  const std::vector<float> tone(512, 0.01f);
  engine.Run({tone, tone});
  EXPECT_EQ(fx().m_tapMode, 1);
  EXPECT_EQ(fx().m_tapFrames, 512);
  EXPECT_EQ(engine.Get(kTrigger), 0.0f);
  EXPECT_EQ(engine.Get(kTapRecord), 1.0f);
}

TEST_F(Looper, FreezeCurrentRecordsOneMoreDelayThenSplices) {
  engine.Set(kDelayTime, 0.5f);
  engine.Set(kMasterFeedback, 100.0f);
  engine.Set(kFreezeMode, 1.0f);  // "Current"
  engine.Settle();
  const auto tone = Sine(3 * 44100, 220.0, kSr, 0.5f);
  auto slice = [&](long from, long frames) {
    return std::vector<float>(tone.begin() + from, tone.begin() + from + frames);
  };
  engine.Run({slice(0, 44100), slice(0, 44100)}, 441);
  const double engagedAt = fx().WritePosition();
  engine.Set(kFreezeLoop, 1.0f);
  Channels out = engine.Run({slice(44100, 441), slice(44100, 441)}, 441);
  EXPECT_TRUE(fx().m_freezeRecordToPoint);  // the input still goes on the tape
  EXPECT_FALSE(fx().m_freezeSplice);
  EXPECT_NEAR(fx().m_freezePoint, std::fmod(engagedAt + 22050.0, 441000.0), 0.01);
  // One delay after the request the splice starts and runs for 100 ms.
  Channels rest = engine.Run({slice(44541, 22050 - 441), slice(44541, 22050 - 441)}, 441);
  EXPECT_TRUE(fx().m_freezeSplice);
  EXPECT_FALSE(fx().m_freezeRecordToPoint);
  Channels splice = engine.Run({slice(66150, 4410), slice(66150, 4410)}, 441);
  EXPECT_FALSE(fx().m_freezeSplice);
  EXPECT_GE(fx().m_freezePoint, 0.0);
  // The write head went back one loop to where the heads now read.
  EXPECT_NEAR(fx().WritePosition(), std::fmod(engagedAt + 4410.0, 441000.0), 0.01);
  // Output and loop join without a click: no step larger than the tone makes.
  for (const Channels* part : {&out, &rest, &splice}) {
    float largest = 0.0f;
    for (size_t i = 1; i < (*part)[0].size(); ++i) {
      largest = std::max(largest, std::fabs((*part)[0][i] - (*part)[0][i - 1]));
    }
    EXPECT_LT(largest, 0.06f);
  }
}

TEST_F(Looper, FreezeLastSplicesAtOnceAndReleaseRunsItBack) {
  engine.Set(kDelayTime, 0.5f);
  engine.Run({Noise(44100, 50, 0.5f)}, 441);
  engine.Set(kFreezeLoop, 1.0f);  // "Last" is the default
  engine.Silence(441, 441);
  EXPECT_TRUE(fx().m_freezeSplice);
  EXPECT_NEAR(fx().Head(0).fade, 1.0f - 441.0f / 4410.0f, 1e-3f);
  const double writeBefore = fx().WritePosition();
  // Released a tenth of the way in: the splice runs back over that tenth.
  engine.Set(kFreezeLoop, 0.0f);
  engine.Silence(210, 210);
  EXPECT_LT(fx().m_freezePoint, 0.0);
  EXPECT_TRUE(fx().m_freezeSplice);
  EXPECT_NEAR(fx().Head(0).fade, (441.0f - 210.0f) / 4410.0f, 1e-3f);
  engine.Silence(441, 441);
  EXPECT_FALSE(fx().m_freezeSplice);
  // Not frozen at its end: the write head did not jump back a loop.
  EXPECT_NEAR(fx().WritePosition(), writeBefore + 210 + 441, 1e-6);
}

TEST_F(Looper, FreezePointJustPastTheTapeEndIsFoundWhereTheHeadWraps) {
  engine.Set(kDelayTime, 0.01f);  // 441 frames
  engine.Set(kFreezeMode, 1.0f);
  engine.Run({Noise(441000 - 436, 51, 0.5f)}, 4096);
  ASSERT_EQ(fx().WritePosition(), 441000.0 - 436);
  engine.Set(kFreezeLoop, 1.0f);
  engine.Silence(1, 1);
  EXPECT_NEAR(fx().m_freezePoint, 5.0, 0.01);  // past the end of the tape
  for (int frame = 0; frame < 500 && !fx().m_freezeSplice; ++frame) engine.Silence(1, 1);
  EXPECT_TRUE(fx().m_freezeSplice);
  EXPECT_EQ(fx().WritePosition(), 5.0);
}

TEST_F(Looper, AutoClr2ClearsAndOpensTheEnvelopeAgain) {
  engine.Set(kDelayTime, 0.1f);
  engine.Run({Noise(8820, 52, 0.5f)});
  engine.Set(kAutoClearAfterFade, 2.0f);
  engine.Set(kEnvRelease, 0.05f);
  engine.Set(kEnvGate, 0.0f);
  int blocks = 0;
  while (fx().m_envState != 0 && blocks++ < 100) engine.Silence(64, 64);
  ASSERT_EQ(fx().m_envState, 0);
  EXPECT_EQ(engine.Get(kClearLoop), 1.0f);
  EXPECT_EQ(engine.Get(kEnvOverride), 1.0f);
  // The next block starts the clear; in its crossfade the envelope reopens
  // in 64 frames and switches the gate back on.
  engine.Silence(64, 64);
  EXPECT_GT(fx().ClearRemaining(), 0);
  EXPECT_EQ(engine.Get(kEnvGate), 1.0f);
  EXPECT_EQ(fx().m_envState, 2);
  EXPECT_EQ(fx().m_envLevel, 1.0f);
  engine.Silence(441000 / 32, 441);
  EXPECT_EQ(fx().ClearRemaining(), 0);
  EXPECT_TRUE(fx().TapeBlank());
}

}  // namespace
