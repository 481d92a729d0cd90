// The tape: its length, the memory budget, and what a new maximum delay does.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <xmmintrin.h>

#include <algorithm>
#include <vector>

#include "tests/support/EngineHarness.h"

namespace {

bool AllZero(const float* data, size_t count) {
  return std::all_of(data, data + count, [](float s) { return s == 0.0f; });
}

TEST(Tape, DefaultHoldsTenSeconds) {
  EngineHarness engine;
  EXPECT_EQ(engine.effect().TapeFrames(), 441000);
  EXPECT_EQ(engine.effect().MaxDelaySeconds(), 10.0f);
  EXPECT_TRUE(engine.effect().TapeBlank());
  EXPECT_TRUE(AllZero(engine.effect().TapeData(), 2 * 441000));
}

TEST(Tape, MemoryBudgetLimitsTheMaximumDelayOnce) {
  EngineHarness engine;
  engine.effect().m_physicalRamSize = 134217728;  // 128 MiB
  engine.Set(kMaxDelayTime, 3600.0f);
  engine.Run({Noise(1000, 1, 0.5f)});
  const double limit = 134217728.0 / (44100.0 * 8.0);
  EXPECT_NEAR(engine.effect().MaxDelaySeconds(), limit, 1e-3);  // about 380.4 s
  EXPECT_EQ(engine.effect().TapeFrames(),
            static_cast<int32_t>(44100.0f * static_cast<float>(limit)));
  EXPECT_EQ(engine.Get(kMaxDelayTime), 3600.0f);  // the parameter keeps what was asked

  // Later blocks keep the tape: the write head goes on where it was.
  const float* tape = engine.effect().TapeData();
  engine.Run({Noise(1000, 2, 0.5f)});
  EXPECT_EQ(engine.effect().TapeData(), tape);
  EXPECT_EQ(engine.effect().WritePosition(), 2000.0);
}

TEST(Tape, NewMaximumEmptiesTheTape) {
  EngineHarness engine;
  engine.Run({Noise(3000, 3, 0.5f), Noise(3000, 4, 0.5f)});
  EXPECT_FALSE(engine.effect().TapeBlank());
  EXPECT_FALSE(AllZero(engine.effect().TapeData(), 6000));

  engine.effect().SetParameterValue(kMaxDelayTime, 10.0f);  // the same value: nothing happens
  engine.Silence(100);
  EXPECT_EQ(engine.effect().WritePosition(), 3100.0);
  EXPECT_FALSE(AllZero(engine.effect().TapeData(), 6000));

  engine.effect().SetParameterValue(kMaxDelayTime, 20.0f);
  engine.Silence(0);  // a block of no frames still sees the change
  EXPECT_EQ(engine.effect().TapeFrames(), 882000);
  EXPECT_EQ(engine.effect().WritePosition(), 0.0);
  EXPECT_TRUE(engine.effect().TapeBlank());
  EXPECT_TRUE(AllZero(engine.effect().TapeData(), 2 * 882000));
}

TEST(Tape, ClearBufferPointersKeepsTheRecording) {
  EngineHarness engine;
  engine.Run({Noise(2000, 5, 0.5f)});
  std::vector<float> before(engine.effect().TapeData(), engine.effect().TapeData() + 4000);
  engine.effect().ClearBufferPointers();
  EXPECT_EQ(engine.effect().WritePosition(), 0.0);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), engine.effect().TapeData()));
}

TEST(Tape, ANewSampleRateSizesTheTapeBeforeProcessing) {
  EngineHarness engine(false, 96000.0f);
  EXPECT_EQ(engine.effect().TapeFrames(), 960000);  // still ten seconds
}

// The engine flushes denormals and rounds toward zero inside its block core,
// and hands the host back its own floating-point mode.
TEST(Tape, TheHostsFloatingPointModeIsRestored) {
  EngineHarness engine;
  const unsigned saved = _mm_getcsr();
  const unsigned hostMode = (saved & ~(3u << 13)) | (2u << 13);  // round up, no flushing
  _mm_setcsr(hostMode & ~((1u << 15) | (1u << 6)));
  const unsigned before = _mm_getcsr();
  engine.Run({Noise(1000, 11, 0.5f)}, 100);
  engine.effect().ResetDelayInertiaVars();
  const unsigned after = _mm_getcsr();
  _mm_setcsr(saved);
  EXPECT_EQ(after & ~0x3fu, before & ~0x3fu);  // the exception flags may differ
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// When memory runs out the engine keeps its tape and goes on playing.
TEST(TapeDeathTest, AllocationFailureKeepsThePreviousTape) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        EngineHarness engine;
        engine.Run({Noise(2000, 6, 0.5f)});
        std::vector<float> before(engine.effect().TapeData(), engine.effect().TapeData() + 4000);
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = 512ull << 20;  // far less than an hour of tape
        setrlimit(RLIMIT_AS, &limit);
        engine.Set(kMaxDelayTime, 3600.0f);
        engine.Silence(100);
        const bool kept = engine.effect().TapeFrames() == 441000 &&
                          engine.effect().MaxDelaySeconds() == 10.0f &&
                          std::equal(before.begin(), before.end(), engine.effect().TapeData());
        engine.Silence(100);  // and the request is not retried every block
        _exit(kept && engine.effect().WritePosition() == 2200.0 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

}  // namespace
