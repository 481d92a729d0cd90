// The effect's own behaviour: the memory budget, the tempo-derived delay
// time, the OSC port that follows "OSC Port Offset", and the build flag.
#include <gtest/gtest.h>

#include <string>

#include "platform/SystemInfo.h"
#include "shell/CAAUParameter.h"
#include "shell/OdrkCrossDelay.h"
#include "shell/Preferences.h"
#include "tests/support/RecordingHost.h"

namespace {

TEST(MemoryBudget, FromPhysicalMemoryAndProcessName) {
  struct Case {
    uint64_t physical;
    const char* process;
    int32_t budget;
    bool lowered;
  };
  constexpr uint64_t kMiB = 1048576;
  const Case cases[] = {
      {1024 * kMiB, "reaper", 939524096, false},  // 1 GiB less the 128 MiB kept back
      {200 * kMiB, "reaper", 134217728, false},   // never below 128 MiB
      {0, "carla", 134217728, false},
      {64ull * 1024 * kMiB, "auvaltool", 134217728, true},
      {64ull * 1024 * kMiB, "auval", 134217728, true},
      {64ull * 1024 * kMiB, "auvaltools", 2013265919, false},
      {3ull * 1024 * kMiB, "bitwig", 2013265919, false},  // capped at 2^31 - 1 first
      {2048 * kMiB, "ardour", 2013265919, false},
  };
  for (const Case& c : cases) {
    const auto budget = OdrkCrossDelay::ComputeMemoryBudget(c.physical, c.process);
    EXPECT_EQ(budget.bytes, c.budget) << c.physical << " " << c.process;
    EXPECT_EQ(budget.loweredForValidator, c.lowered) << c.process;
  }
}

TEST(MemoryBudget, InstanceUsesThisMachine) {
  RecordingHost host;
  testing::internal::CaptureStdout();
  auto effect = host.Create(false);
  const std::string printed = testing::internal::GetCapturedStdout();
  const auto expected = OdrkCrossDelay::ComputeMemoryBudget(platform::PhysicalMemoryBytes(),
                                                            platform::HostProcessName());
  EXPECT_EQ(effect->PhysicalRamSize(), expected.bytes);
  char line[64];
  std::snprintf(line, sizeof line, "m_physicalRamSize %.2lfGB\n", expected.bytes / 1073741824.0);
  EXPECT_NE(printed.find(line), std::string::npos) << printed;
}

// Lets a test put the effect in the state a tap-recorded loop leaves.
class TappedEffect : public OdrkCrossDelay {
 public:
  using OdrkCrossDelay::OdrkCrossDelay;
  void SetTapTempo(double bpm) {
    m_tempo = bpm;
    m_tapTempoValid = true;
  }
};

class TapTempoDelay : public ::testing::Test {
 protected:
  RecordingHost host;
  std::unique_ptr<TappedEffect> effect = host.Create<TappedEffect>(false);
  AEffect* e = effect->getAeffect();
  void SetReal(int id, float value) { e->setParameter(e, id, NormalisedFromReal(id, value)); }
};

TEST_F(TapTempoDelay, BeatsFollowTheTappedTempo) {
  struct Case {
    float beats, divisor, triplet;
    double tempo;
    float seconds;
  };
  const Case cases[] = {
      {8, 2, 0, 120, 4.0f},     // 8 quarter notes at 120 BPM
      {4, 3, 0, 120, 1.0f},     // 4 eighths
      {3, 2, 1, 90, 4.0f / 3},  // 3 quarter-note triplets at 90 BPM
      {1, 0, 0, 60, 4.0f},      // one whole note at 60 BPM
  };
  for (const Case& c : cases) {
    effect->SetTapTempo(c.tempo);
    SetReal(kBeatDivisor, c.divisor);
    SetReal(kTriplet, c.triplet);
    const int before = host.updateDisplayCount;
    SetReal(kBeats, c.beats);
    EXPECT_NEAR(effect->GetParameterValue(kDelayTime), c.seconds, 1e-5f) << c.beats;
    EXPECT_EQ(host.updateDisplayCount, before + 1);
  }
}

TEST_F(TapTempoDelay, OtherParametersAndProgramChangesLeaveTheDelayAlone) {
  effect->SetTapTempo(120);
  SetReal(kPitch, 3);
  EXPECT_EQ(effect->GetParameterValue(kDelayTime), 1.0f);

  e->dispatcher(e, effSetProgram, 0, 0, nullptr, 0.0f);  // forgets the tapped tempo
  SetReal(kBeats, 8);
  EXPECT_EQ(effect->GetParameterValue(kDelayTime), 1.0f);
}

TEST_F(TapTempoDelay, EditorChangesFollowToo) {
  effect->SetTapTempo(120);
  CAAUParameter beats(effect.get(), kBeats, 0, 0);
  beats.SetValue(nullptr, nullptr, 8.0f);
  EXPECT_NEAR(effect->GetParameterValue(kDelayTime), 4.0f, 1e-6f);
}

class OscPort : public ::testing::Test {
 protected:
  ScopedConfigHome config;
  RecordingHost host;
};

TEST_F(OscPort, FollowsTheOffsetOnTheBasePort) {
  auto effect = host.Create(false);
  AEffect* e = effect->getAeffect();
  EXPECT_EQ(effect->OscListenPort(), 0);  // off until the user gives an offset
  e->setParameter(e, kOscPortOffset, NormalisedFromReal(kOscPortOffset, 5));
  EXPECT_EQ(effect->OscListenPort(), 7005);
  e->setParameter(e, kOscPortOffset, 0.0f);
  EXPECT_EQ(effect->OscListenPort(), 0);

  // Programs carry their own offset.
  effect->Program(4)->SetParameter(kOscPortOffset, 12);
  e->dispatcher(e, effSetProgram, 0, 4, nullptr, 0.0f);
  EXPECT_EQ(effect->OscListenPort(), 7012);
  e->dispatcher(e, effSetProgram, 0, 0, nullptr, 0.0f);
  EXPECT_EQ(effect->OscListenPort(), 0);

  // An edit in the editor moves the server as well.
  CAAUParameter offset(effect.get(), kOscPortOffset, 0, 0);
  offset.SetValue(nullptr, nullptr, 9);
  EXPECT_EQ(effect->OscListenPort(), 7009);
}

TEST_F(OscPort, NewInstancesReadTheBasePortPreference) {
  config.WritePreferenceFile(R"({"OSC Base Port": 8000})");
  auto effect = host.Create(false);
  AEffect* e = effect->getAeffect();
  e->setParameter(e, kOscPortOffset, NormalisedFromReal(kOscPortOffset, 3));
  EXPECT_EQ(effect->OscListenPort(), 8003);
  config.WritePreferenceFile("{}");
  auto second = host.Create(false);  // every new instance reads the globals again
  EXPECT_EQ(g_OSCBasePort.load(), 7000);
}

}  // namespace
