// The delay from host tempo and sync groups.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/EngineHarness.h"

namespace {

TEST(HostSync, DelayFollowsTheHostTempo) {
  struct Case {
    float beats, divisor, triplet;
    float seconds;
  };
  const Case cases[] = {{4, 2, 0, 2.0f}, {4, 2, 1, 4.0f / 3.0f}, {4, 3, 0, 1.0f}, {1, 0, 0, 2.0f}};
  for (const Case& c : cases) {
    EngineHarness engine;
    engine.StartTransport(120.0);
    engine.Set(kHostSync, 1.0f);
    engine.Set(kBeats, c.beats);
    engine.Set(kBeatDivisor, c.divisor);
    engine.Set(kTriplet, c.triplet);
    engine.Silence(512);
    EXPECT_NEAR(engine.effect().m_delaySeconds, c.seconds, 1e-6f) << c.beats << " " << c.divisor;
    EXPECT_EQ(engine.effect().Tempo(), 120.0);
  }
}

TEST(HostSync, NoHostTempoLeavesDelayTime) {
  EngineHarness engine;
  engine.Set(kHostSync, 1.0f);
  engine.Set(kDelayTime, 0.3f);
  engine.Silence(512);
  EXPECT_FLOAT_EQ(engine.effect().m_delaySeconds, 0.3f);
}

class SyncGroups : public ::testing::Test {
 protected:
  SyncGroups() {
    master.Set(kSyncGroupMode, 1.0f);  // "Master"
    master.Set(kDelayTime, 1.5f);
    follower.Set(kSyncGroupMode, 3.0f);  // "Time"
    follower.Set(kDelayTime, 0.2f);
  }
  EngineHarness master, follower;
};

TEST_F(SyncGroups, TimeFollowerCopiesTheMastersDelay) {
  master.Silence(512);
  follower.Silence(512);
  EXPECT_FLOAT_EQ(follower.effect().m_delaySeconds, 1.5f);
  master.Set(kDelayTime, 0.8f);
  master.Silence(512);
  follower.Silence(512);
  EXPECT_FLOAT_EQ(follower.effect().m_delaySeconds, 0.8f);
  // Another group is not affected.
  follower.Set(kSyncGroupNumber, 5.0f);
  follower.Silence(512);
  EXPECT_NE(follower.effect().m_delaySeconds, 0.8f);
}

TEST_F(SyncGroups, TempoFollowerComputesItsOwnDelay) {
  master.StartTransport(100.0);
  master.Set(kHostSync, 1.0f);
  master.Silence(512);
  EngineHarness tempoFollower;
  tempoFollower.Set(kSyncGroupMode, 2.0f);  // "Tempo"
  tempoFollower.Set(kHostSync, 1.0f);
  tempoFollower.Set(kBeats, 2.0f);
  tempoFollower.Silence(512);
  EXPECT_NEAR(tempoFollower.effect().m_delaySeconds, 2 * 0.25 * 240 / 100.0, 1e-6);
  EXPECT_EQ(tempoFollower.effect().Tempo(), 100.0);
}

// Instances on their own audio threads share the table without a lock: a
// follower sees one of the delays the master published, never a torn one.
TEST_F(SyncGroups, MasterAndFollowerThreaded) {
  for (EngineHarness* e : {&master, &follower}) e->Set(kSyncGroupNumber, 9.0f);
  master.Silence(64, 64);
  std::atomic<bool> stop{false};
  std::thread audio([&] {
    for (int i = 0; !stop; ++i) {
      master.Set(kDelayTime, i % 2 ? 0.5f : 0.7f);
      master.Silence(64, 64);
    }
  });
  int unexpected = 0;
  for (int i = 0; i < 200; ++i) {
    follower.Silence(64, 64);
    const float d = follower.effect().m_delaySeconds;
    if (d != 0.5f && d != 0.7f && d != 1.5f) ++unexpected;
  }
  stop = true;
  audio.join();
  EXPECT_EQ(unexpected, 0);
}

}  // namespace
