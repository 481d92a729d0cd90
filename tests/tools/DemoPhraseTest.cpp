// The built-in demo phrase: its length follows the tempo, and it is a usable,
// reproducible test signal at every rate.
#include <gtest/gtest.h>

#include <cmath>

#include "tools/vsthost/DemoPhrase.h"

namespace {

struct PhraseCase {
  double sampleRate;
  double tempo;
  int expectedFrames;  // two bars of 4/4
};

void PrintTo(const PhraseCase& c, std::ostream* os) {
  *os << c.sampleRate << " Hz, " << c.tempo << " BPM";
}

class DemoPhraseTest : public testing::TestWithParam<PhraseCase> {};

TEST_P(DemoPhraseTest, IsTwoBarsOfLoopableStereoAtAHealthyLevel) {
  const PhraseCase& c = GetParam();
  const std::vector<std::vector<float>> phrase = vsthost::MakeDemoPhrase(c.sampleRate, c.tempo);
  ASSERT_EQ(phrase.size(), 2u);
  EXPECT_EQ(vsthost::DemoPhraseFrames(c.sampleRate, c.tempo), c.expectedFrames);

  float peak = 0.0f;
  for (const auto& channel : phrase) {
    ASSERT_EQ(channel.size(), static_cast<size_t>(c.expectedFrames));
    double energy = 0.0;
    for (float sample : channel) {
      ASSERT_TRUE(std::isfinite(sample));
      peak = std::max(peak, std::fabs(sample));
      energy += static_cast<double>(sample) * sample;
    }
    const double rmsDb = 10.0 * std::log10(energy / channel.size());
    EXPECT_GT(rmsDb, -40.0) << "a channel is (nearly) silent";
    // Looping the phrase must not click: it starts and ends at rest.
    EXPECT_LT(std::fabs(channel.front()), 1e-3f);
    EXPECT_LT(std::fabs(channel.back()), 1e-3f);
  }
  const double peakDb = 20.0 * std::log10(peak);
  EXPECT_LT(peakDb, 0.0);
  EXPECT_GT(peakDb, -12.0);
  EXPECT_NE(phrase[0], phrase[1]) << "the melody is panned, so the sides differ";
}

INSTANTIATE_TEST_SUITE_P(Rates, DemoPhraseTest,
                         testing::Values(PhraseCase{44100, 120, 176400},
                                         PhraseCase{48000, 90, 256000},
                                         PhraseCase{96000, 174, 264828},
                                         PhraseCase{22050, 60, 176400}),
                         [](const testing::TestParamInfo<PhraseCase>& info) {
                           return "Rate" + std::to_string(int(info.param.sampleRate)) + "Tempo" +
                                  std::to_string(int(info.param.tempo));
                         });

TEST(DemoPhrase, IsTheSameEveryTime) {
  EXPECT_EQ(vsthost::MakeDemoPhrase(48000, 120), vsthost::MakeDemoPhrase(48000, 120));
}

}  // namespace
