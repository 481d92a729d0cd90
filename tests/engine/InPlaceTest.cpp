// Hosts that process in place get the same samples as hosts with separate
// buffers, in blocks of any size, through the crossfade of a clear too.
#include <gtest/gtest.h>

#include "tests/support/EngineHarness.h"

namespace {

struct Case {
  bool fxLoop;
  int block;
};

class InPlace : public ::testing::TestWithParam<Case> {};

TEST_P(InPlace, EqualsSeparateBuffers) {
  const Case c = GetParam();
  EngineHarness separate(c.fxLoop), inPlace(c.fxLoop);
  Channels input;
  for (int ch = 0; ch < separate.channels(); ++ch) input.push_back(Noise(6000, 20 + ch, 0.5f));
  for (EngineHarness* e : {&separate, &inPlace}) {
    e->Set(kDelayTime, 0.01f);
    e->Set(kLRFeedback, 40.0f);
    if (c.fxLoop) e->Set(kPreWriteFxLoopEnable, 1.0f);
  }
  Channels a = separate.Run(input, c.block);
  Channels b = inPlace.Run(input, c.block, /*inPlace=*/true);
  separate.Set(kClearLoop, 1.0f);
  inPlace.Set(kClearLoop, 1.0f);
  Channels a2 = separate.Run(input, c.block);
  Channels b2 = inPlace.Run(input, c.block, /*inPlace=*/true);
  for (int ch = 0; ch < separate.channels(); ++ch) {
    for (size_t i = 0; i < input[ch].size(); ++i) {
      ASSERT_EQ(a[ch][i], b[ch][i]) << "channel " << ch << " frame " << i;
      ASSERT_EQ(a2[ch][i], b2[ch][i]) << "clearing, channel " << ch << " frame " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Blocks, InPlace,
                         ::testing::Values(Case{false, 10}, Case{false, 37}, Case{false, 64},
                                           Case{false, 512}, Case{true, 10}, Case{true, 100}),
                         [](const auto& info) {
                           return std::string(info.param.fxLoop ? "FxLoop" : "Standard") +
                                  std::to_string(info.param.block);
                         });

}  // namespace
