// The tone stages on known signals, and their coefficients from the
// parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "shell/Preferences.h"
#include "tests/support/EngineHarness.h"

namespace {

std::vector<float> Frames(std::initializer_list<float> samples) {
  std::vector<float> frames;
  for (float s : samples) {
    frames.push_back(s);
    frames.push_back(-s);
  }
  return frames;
}

TEST(ToneStages, SaturationCurve) {
  struct Case {
    float in, out;
  };
  // Shape 1, no drive: y - (4/27) y^3 up to 1.5, then the clip level 1.
  const Case cases[] = {
      {0.5f, 0.5f - 4.0f / 27.0f * 0.125f}, {1.5f, 1.0f}, {3.0f, 1.0f}, {0.0f, 0.0f}};
  for (const Case& c : cases) {
    std::vector<float> frames = Frames({c.in});
    OdrkCrossDelay::RenderSaturate(frames.data(), 1, 0.14814815f, 1.5f, 1.0f, 1.0f, 1.0f);
    EXPECT_NEAR(frames[0], c.out, 1e-5f) << c.in;
    EXPECT_NEAR(frames[1], -c.out, 1e-5f) << -c.in;
  }
  // Shape 0 is a hard clip at 1.5; a clip level off the curve is honoured too.
  std::vector<float> hard = Frames({2.0f, 1.2f});
  OdrkCrossDelay::RenderSaturate(hard.data(), 2, 0.0f, 1.5f, 1.5f, 1.0f, 1.0f);
  EXPECT_EQ(hard[0], 1.5f);
  EXPECT_EQ(hard[2], 1.2f);
  std::vector<float> odd = Frames({3.0f, 1.0f});
  OdrkCrossDelay::RenderSaturate(odd.data(), 2, 0.1f, 1.5f, 0.5f, 1.0f, 1.0f);
  EXPECT_EQ(odd[0], 0.5f);
  EXPECT_NEAR(odd[2], 0.9f, 1e-6f);

  EngineHarness engine;
  engine.Set(kSaturation, 11.0f);
  const auto tone = engine.effect().ToneStageConstants(0);
  EXPECT_NEAR(tone.satDrive, 16.0f, 1e-4f);
  EXPECT_EQ(tone.satOutput, 0.125f);
  EXPECT_EQ(tone.satClip, 1.0f);
}

TEST(ToneStages, CrunchWithOnlyPostGainIsAPureGain) {
  EngineHarness engine;
  engine.Set(kPostGain, 6.0f);
  const auto tone = engine.effect().ToneStageConstants(0);
  ASSERT_TRUE(tone.crunch);
  std::vector<float> frames = Frames({0.1f, -0.7f, 0.25f});
  OdrkCrossDelay::RenderCrunch(frames.data(), 3, tone.crunchParams);
  const float gain = std::pow(10.0f, 0.3f);  // about 1.995
  EXPECT_NEAR(frames[0], 0.1f * gain, 1e-5f);
  EXPECT_NEAR(frames[2], -0.7f * gain, 1e-5f);
  EXPECT_NEAR(frames[5], -0.25f * gain, 1e-5f);
}

TEST(ToneStages, FullLowCutRemovesDc) {
  EngineHarness engine;
  engine.Set(kLowCutAmount, 100.0f);
  const auto tone = engine.effect().ToneStageConstants(0);
  ASSERT_TRUE(tone.lowCut);
  FilterBlock<4> state{};
  std::vector<float> dc(2 * 4410, 0.5f);
  OdrkCrossDelay::RenderLowShelf(dc.data(), 4410, state, tone.lowCutParams);
  EXPECT_NEAR(dc[2 * 4409], 0.0f, 1e-4f);
  // Half the amount keeps half of DC.
  engine.Set(kLowCutAmount, 50.0f);
  const auto half = engine.effect().ToneStageConstants(0);
  FilterBlock<4> halfState{};
  std::vector<float> dc2(2 * 44100, 0.5f);
  OdrkCrossDelay::RenderLowShelf(dc2.data(), 44100, halfState, half.lowCutParams);
  EXPECT_NEAR(dc2[2 * 44099], 0.25f, 1e-3f);
}

TEST(ToneStages, HighCutReducesOnlyTheHighs) {
  EngineHarness engine;
  engine.Set(kHighCutAmount, 100.0f);
  engine.Set(kHighCutFreq, 1000.0f);
  const auto tone = engine.effect().ToneStageConstants(0);
  FilterBlock<4> state{};
  std::vector<float> dc(2 * 4410, 0.5f);
  OdrkCrossDelay::RenderHighShelf(dc.data(), 4410, state, tone.highCutParams);
  EXPECT_NEAR(dc[2 * 4409], 0.5f, 1e-4f);  // DC passes
  // A tone at the Nyquist frequency is gone.
  std::vector<float> nyquist(2 * 4410);
  for (int i = 0; i < 4410; ++i) nyquist[2 * i] = nyquist[2 * i + 1] = i % 2 ? 0.5f : -0.5f;
  FilterBlock<4> state2{};
  OdrkCrossDelay::RenderHighShelf(nyquist.data(), 4410, state2, tone.highCutParams);
  EXPECT_NEAR(nyquist[2 * 4409], 0.0f, 0.02f);
}

TEST(ToneStages, FilterModeMixes) {
  struct Case {
    float type;
    FilterMix mix;
  };
  const Case cases[] = {{0.0f, {1, 0, 0, 0}},         {1.0f, {0, 1, 0, 0}}, {2.0f, {0, 0, 1, 0}},
                        {2.5f, {0, 0, 0.5f, 0.5f}},   {3.0f, {0, 0, 0, 1}}, {4.0f, {1, 0, 0, 0}},
                        {0.25f, {0.75f, 0.25f, 0, 0}}};
  for (const Case& c : cases) {
    const FilterMix m = FilterMixFor(c.type);
    EXPECT_FLOAT_EQ(m.dry, c.mix.dry) << c.type;
    EXPECT_FLOAT_EQ(m.low, c.mix.low) << c.type;
    EXPECT_FLOAT_EQ(m.band, c.mix.band) << c.type;
    EXPECT_FLOAT_EQ(m.high, c.mix.high) << c.type;
  }
  // "Filter Type" 2.5 is half the band-pass and half the high-pass output.
  const auto noise = Noise(2 * 1000, 60, 0.5f);
  auto run = [&](float band, float high) {
    std::vector<float> frames = noise;
    FilterBlock<6> state{};
    OdrkCrossDelay::RenderFilter(frames.data(), 1000, state, 0.2f, 0.5f, 0, 0, band, high);
    return frames;
  };
  const auto bandOnly = run(1, 0), highOnly = run(0, 1), mixed = run(0.5f, 0.5f);
  for (size_t i = 0; i < mixed.size(); ++i) {
    ASSERT_NEAR(mixed[i], 0.5f * bandOnly[i] + 0.5f * highOnly[i], 1e-5f) << i;
  }
}

TEST(ToneStages, CutoffLawAndItsLfo) {
  EngineHarness engine;
  engine.Set(kFilterType, 1.0f);
  engine.Set(kFilterCutoff, 1000.0f);
  EXPECT_NEAR(engine.effect().ToneStageConstants(0).cutoffHz, 1000.0f, 0.01f);
  engine.Set(kFilterLfoDepth, 1.0f);
  engine.effect().m_filterLfoPhase = static_cast<float>(M_PI / 2);  // the LFO's peak
  EXPECT_NEAR(engine.effect().ToneStageConstants(0).cutoffHz, 62.5f * (2 * 17 - 1), 0.01f);
}

// No damping and a cutoff beyond a quarter of the rate: still finite.
TEST(ToneStages, FilterStaysFiniteAtItsLimits) {
  for (bool legacy : {false, true}) {
    EngineHarness engine;
    g_legacyFilter = legacy;  // after construction, which reads the preferences
    engine.Set(kFilterType, 2.0f);
    engine.Set(kFilterQ, 1.0f);
    engine.Set(kFilterCutoff, 8000.0f);
    engine.Set(kFilterLfoDepth, 3.0f);
    engine.Set(kFilterLfoSpeed, 20.0f);
    const auto tone = engine.effect().ToneStageConstants(512);
    EXPECT_LE(tone.filterF, legacy ? 0.25f : 2.0f * std::sin(static_cast<float>(M_PI) / 4) + 1e-6f);
    std::vector<float> frames = Noise(2 * 44100, 61, 0.9f);
    FilterBlock<6> state{};
    OdrkCrossDelay::RenderFilter(frames.data(), 44100, state, tone.filterF, tone.filterQ, 0, 0, 1,
                                 0);
    for (float s : frames) ASSERT_TRUE(std::isfinite(s)) << "legacy " << legacy;
  }
  g_legacyFilter = false;
}

TEST(ToneStages, MonoReadAveragesTheChannels) {
  std::vector<float> frames = {1.0f, 0.0f, 0.2f, 0.6f};
  OdrkCrossDelay::RenderConvertToMono(frames.data(), 2);
  EXPECT_EQ(frames, (std::vector<float>{0.5f, 0.5f, 0.4f, 0.4f}));
}

// The stages sit inside the loop: a repeat passes them again on every pass.
TEST(ToneStages, EveryRepeatIsShapedAgain) {
  EngineHarness engine;
  engine.Set(kSaturationOnOff, 0.0f);
  engine.Set(kPostGain, 6.0f);  // a pure gain of about 2 per pass
  engine.Set(kMasterFeedback, 25.0f);
  engine.Set(kDelayTime, 0.1f);
  engine.Settle();
  Channels out = engine.Run({Impulse(3 * 4410 + 100, 10), Impulse(3 * 4410 + 100, 10)});
  const float gain = std::pow(10.0f, 0.3f);
  EXPECT_NEAR(out[0][10 + 4410], 0.8f * gain, 0.02f);
  EXPECT_NEAR(out[0][10 + 2 * 4410], 0.8f * gain * 0.25f * gain, 0.02f);
}

}  // namespace
