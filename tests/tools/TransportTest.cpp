// The positions the test host reports to plug-ins as the transport runs.
#include <gtest/gtest.h>

#include "tools/vsthost/PluginHost.h"

namespace {

struct AdvanceCase {
  const char* name;
  double sampleRate;
  double tempo;
  int numerator;
  int denominator;
  bool playing;
  double startPpq;
  int blockFrames;
  int blocks;
  double expectedPpq;
  double expectedBarStart;
};

void PrintTo(const AdvanceCase& c, std::ostream* os) {
  *os << c.name;
}

class TransportAdvanceTest : public testing::TestWithParam<AdvanceCase> {};

TEST_P(TransportAdvanceTest, PositionsFollowTempoAndTimeSignature) {
  const AdvanceCase& c = GetParam();
  vsthost::Transport transport;
  transport.sampleRate = c.sampleRate;
  transport.tempo = c.tempo;
  transport.timeSigNumerator = c.numerator;
  transport.timeSigDenominator = c.denominator;
  transport.playing = c.playing;
  transport.ppqPos = c.startPpq;

  for (int i = 0; i < c.blocks; ++i) transport.Advance(c.blockFrames);

  EXPECT_DOUBLE_EQ(transport.samplePos, static_cast<double>(c.blockFrames) * c.blocks);
  EXPECT_NEAR(transport.ppqPos, c.expectedPpq, 1e-9);
  EXPECT_DOUBLE_EQ(transport.barStartPos, c.expectedBarStart);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransportAdvanceTest,
    testing::Values(
        // One second at 120 BPM is two quarter notes, still in the first bar.
        AdvanceCase{"HalfBar", 44100, 120, 4, 4, true, 0.0, 44100, 1, 2.0, 0.0},
        // Landing exactly on a bar line counts as being in the new bar, also
        // after many blocks whose quarter-note steps are not exact in binary.
        AdvanceCase{"ExactBarLineInOneBlock", 44100, 120, 4, 4, true, 0.0, 176400, 1, 8.0, 8.0},
        AdvanceCase{"ExactBarLineAfterInexactSteps", 44100, 120, 4, 4, true, 0.0, 17640, 10, 8.0,
                    8.0},
        AdvanceCase{"ThreeFour", 48000, 90, 3, 4, true, 0.0, 48000, 3, 4.5, 3.0},
        AdvanceCase{"SevenEight", 48000, 140, 7, 8, true, 0.0, 1000, 288, 14.0, 14.0},
        AdvanceCase{"SixEight", 44100, 60, 6, 8, true, 0.0, 441, 500, 5.0, 3.0},
        AdvanceCase{"FiveTwo", 44100, 120, 5, 2, true, 0.0, 44100, 11, 22.0, 20.0},
        AdvanceCase{"CrossingFromMidBar", 44100, 120, 4, 4, true, 3.9, 4410, 1, 4.1, 4.0},
        // A stopped transport still counts frames but its musical position stays.
        AdvanceCase{"Stopped", 44100, 120, 4, 4, false, 6.0, 44100, 3, 6.0, 4.0}),
    [](const testing::TestParamInfo<AdvanceCase>& info) { return info.param.name; });

}  // namespace
