// The building blocks of the per-frame loops, against their definitions.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/TapeKernels.h"

namespace {

TEST(Wrap, BringsAnyPositionOntoTheTape) {
  struct Case {
    double p, length, wrapped;
  };
  const Case cases[] = {
      {5.5, 10, 5.5},   {-0.5, 10, 9.5},  {10.0, 10, 0.0},    {12.25, 10, 2.25},
      {-25.0, 10, 5.0}, {1e9 + 3, 10, 3}, {-1e-300, 10, 0.0},
  };
  for (const Case& c : cases) {
    const double w = tape::Wrap(c.p, c.length);
    EXPECT_NEAR(w, c.wrapped, 1e-6) << c.p;
    EXPECT_GE(w, 0.0) << c.p;
    EXPECT_LT(w, c.length) << c.p;
  }
  EXPECT_EQ(tape::WrapIndex(-1, 7), 6);
  EXPECT_EQ(tape::WrapIndex(15, 7), 1);
}

// The LFO's offsets come from powers of its one-frame map; they must follow
// the frame-by-frame recurrence x' = x - c y, offset = d x', y' = y + c x'.
TEST(PitchLfo, MatchesTheFrameByFrameRecurrence) {
  const float c = 2.0f * std::sin(3.14159265f * 5.0f / 44100.0f);
  const float depth = 20.0f;
  float x = 0.6f, y = 0.8f;
  tape::Lfo lfo{x, y};
  std::vector<float> offsets(127);
  for (int block = 0; block < 200; ++block) {
    lfo.Fill(offsets.data(), static_cast<int>(offsets.size()), c, depth);
    for (float offset : offsets) {
      x -= y * c;
      ASSERT_NEAR(offset, depth * x, 2e-3f) << "block " << block;
      y += c * x;
    }
  }
  EXPECT_NEAR(lfo.x, x, 1e-4f);
  EXPECT_NEAR(lfo.y, y, 1e-4f);

  // With no depth only the phase moves, by the same map.
  tape::Lfo silent{0.6f, 0.8f};
  silent.Advance(200 * 127, c);
  EXPECT_NEAR(silent.x, x, 1e-4f);
  EXPECT_NEAR(silent.y, y, 1e-4f);
}

}  // namespace
