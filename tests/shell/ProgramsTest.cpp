// The twelve programs: factory presets, names, per-program edits and what a
// host's save and restore brings back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "shell/OdrkCrossDelay.h"
#include "tests/support/RecordingHost.h"

namespace {

struct Preset {
  const char* name;
  std::map<int, float> differences;  // from the Default column
};

// The factory bank as users know it.
const Preset kFactory[12] = {
    {"Defaults", {}},
    {"Ping Pong Delay",
     {{kDelayTime, 0.368f},
      {kDelaySliderMax, 2},
      {kLLFeedback, 0},
      {kLRTime, 100},
      {kLRFeedback, 100},
      {kRLTime, 100},
      {kRLFeedback, 100},
      {kRRFeedback, 0},
      {kMonoizeInput, 1}}},
    {"Lossy Tape",
     {{kDelayTime, 0.2f},
      {kDelaySliderMax, 1},
      {kMasterFeedback, 80.5f},
      {kPitchLfoSpeed, 0.711f},
      {kPitchLfoDepth, 0.09f},
      {kEffectLevel, 1},
      {kLowCutAmount, 19},
      {kHighCutFreq, 9129},
      {kHighCutAmount, 59.5f},
      {kDrive, 8},
      {kPostGain, 2.2f}}},
    {"Looong Delay",
     {{kMaxDelayTime, 60},
      {kDelayTime, 26.27f},
      {kDelaySliderMax, 60},
      {kDelayInertiaMode, 1},
      {kDelayInertiaFadeTime, 689.41f}}},
    {"Digital Cleanliness",
     {{kDelayTime, 0.649f},
      {kDelaySliderMax, 5},
      {kSaturationOnOff, 0},
      {kDelayInertiaMode, 1},
      {kDelayInertiaFadeTime, 134.965f},
      {kDigitalMode, 1}}},
    {"Wobbly Pitch",
     {{kDelayTime, 0.778f},
      {kDelaySliderMax, 4},
      {kPitchLfoDepth, 0.56f},
      {kFilterCutoff, 1477},
      {kFilterQ, 0.471f},
      {kFilterLfoSpeed, 4.988f},
      {kFilterLfoDepth, 1.755f}}},
    {"Wobbly Filter",
     {{kDelayTime, 0.778f},
      {kDelaySliderMax, 4},
      {kFilterCutoff, 1477},
      {kFilterQ, 0.09f},
      {kFilterType, 1},
      {kFilterLfoSpeed, 4.988f},
      {kFilterLfoDepth, 1.755f}}},
    {"Crunchy", {{kDelayTime, 1.514f}, {kMasterFeedback, 44}, {kSaturation, 10.78f}}},
    {"Utterly Mashed",
     {{kDelayTime, 1.514f},
      {kRRTime, 99},
      {kMasterFeedback, 26.5f},
      {kDryLevel, 0},
      {kEffectLevel, 1},
      {kLowCutAmount, 16},
      {kHighCutFreq, 9767.001f},
      {kHighCutAmount, 55.5f},
      {kCrunch, 166},
      {kDrive, 66.4f},
      {kPostGain, 18.9f}}},
    {"Multitap",
     {{kLLTime, 25},
      {kLLFeedback, 10},
      {kLRFeedback, 20},
      {kRLTime, 75},
      {kRLFeedback, 50},
      {kMasterFeedback, 45.5f},
      {kEffectLevel, 1},
      {kTapeReadMode, 1}}},
    {"Reverby",
     {{kDelayTime, 0.216f},
      {kDelaySliderMax, 2},
      {kLLTime, 92.5f},
      {kLLFeedback, 59.5f},
      {kLRTime, 32.5f},
      {kLRFeedback, 46.5f},
      {kRLTime, 46},
      {kRLFeedback, 50.5f},
      {kRRTime, 98.5f},
      {kRRFeedback, 62},
      {kMasterFeedback, 88},
      {kDryLevel, 0},
      {kEffectLevel, 1},
      {kDelayInertiaMode, 1},
      {kDigitalMode, 1},
      {kLowCutAmount, 3},
      {kHighCutAmount, 5}}},
    {"String Warmth",
     {{kDelayTime, 0.811f},
      {kLLFeedback, 84},
      {kLRTime, 47},
      {kLRFeedback, 34.5f},
      {kRLTime, 68},
      {kRLFeedback, 56.5f},
      {kRRTime, 98.5f},
      {kRRFeedback, 96},
      {kMasterFeedback, 98},
      {kPitchLfoSpeed, 0.412f},
      {kPitchLfoDepth, 0.635f},
      {kMonoizeInput, 0.41f},
      {kDryLevel, 0},
      {kEffectLevel, 1},
      {kFilterCutoff, 2987.5f},
      {kFilterQ, 0.12f},
      {kFilterType, 1.04f},
      {kFilterLfoSpeed, 0.399f},
      {kFilterLfoDepth, 0.42f},
      {kSaturation, 1.87f},
      {kDelayInertiaMode, 1},
      {kLowCutAmount, 17},
      {kHighCutAmount, 22.5f}}},
};

class Programs : public ::testing::Test, protected HostedEffect {
 protected:
  std::string ProgramName() { return Text(effGetProgramName); }
};

TEST_F(Programs, FactoryBank) {
  EXPECT_EQ(Dispatch(effGetProgram), 0);
  for (int p = 0; p < 12; ++p) {
    char name[64] = {};
    EXPECT_EQ(Dispatch(effGetProgramNameIndexed, p, 0, name), 1);
    EXPECT_STREQ(name, kFactory[p].name);
    for (int id = 0; id < kNumParams; ++id) {
      auto it = kFactory[p].differences.find(id);
      const float expected =
          it != kFactory[p].differences.end() ? it->second : astParamInfos[id].defaultValue;
      EXPECT_EQ(effect->Program(p)->GetParameter(id), expected)
          << kFactory[p].name << ": " << astParamInfos[id].name;
    }
  }
  char name[64] = "untouched";
  EXPECT_EQ(Dispatch(effGetProgramNameIndexed, 12, 0, name), 0);
  EXPECT_EQ(Dispatch(effGetProgramNameIndexed, -1, 0, name), 0);
  EXPECT_STREQ(name, "untouched");
}

TEST_F(Programs, FreshInstanceRunsTheDefaults) {
  EXPECT_EQ(ProgramName(), "Defaults");
  for (int id = 0; id < kNumParams; ++id) {
    EXPECT_EQ(effect->GetParameterValue(id), astParamInfos[id].defaultValue);
  }
}

TEST_F(Programs, SelectingAProgramSwitchesTheLiveSet) {
  Dispatch(effSetProgram, 0, 3);
  EXPECT_EQ(ProgramName(), "Looong Delay");
  EXPECT_EQ(effect->GetParameterValue(kMaxDelayTime), 60.0f);
  EXPECT_EQ(effect->GetParameterValue(kDelayTime), 26.27f);
}

TEST_F(Programs, EditsStayInTheirProgram) {
  Dispatch(effSetProgram, 0, 5);
  e->setParameter(e, kMasterFeedback, 0.25f);
  Dispatch(effSetProgram, 0, 6);
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 90.0f);
  Dispatch(effSetProgram, 0, 5);
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 25.0f);
}

TEST_F(Programs, NamesKeep31Characters) {
  char longName[] = "A forty character program name, too long";
  ASSERT_EQ(std::strlen(longName), 40u);
  Dispatch(effSetProgram, 0, 2);
  Dispatch(effSetProgramName, 0, 0, longName);
  EXPECT_EQ(ProgramName(), std::string(longName, 31));
  char indexed[64] = {};
  Dispatch(effGetProgramNameIndexed, 2, 0, indexed);
  EXPECT_EQ(std::string(indexed), std::string(longName, 31));
  Dispatch(effSetProgram, 0, 0);
  EXPECT_EQ(ProgramName(), "Defaults");
}

// A host saves a program as its name and 82 normalised values and restores
// it through setProgram, setProgramName and setParameter.
TEST_F(Programs, HostSaveAndRestore) {
  Dispatch(effSetProgram, 0, 11);
  float saved[kNumParams];
  for (int id = 0; id < kNumParams; ++id) saved[id] = e->getParameter(e, id);

  RecordingHost otherHost;
  auto restored = otherHost.Create(false);
  AEffect* r = restored->getAeffect();
  r->dispatcher(r, effSetProgram, 0, 11, nullptr, 0.0f);
  for (int id = 0; id < kNumParams; ++id) r->setParameter(r, id, 0.0f);  // scramble first
  for (int id = 0; id < kNumParams; ++id) r->setParameter(r, id, saved[id]);

  EXPECT_NEAR(restored->GetParameterValue(kFilterType), 1.04f, 1e-6f);
  EXPECT_EQ(restored->GetParameterValue(kBeatDivisor), 2.0f);
  EXPECT_EQ(restored->GetParameterValue(kTapeReadMode), 0.0f);
  for (int id = 0; id < kNumParams; ++id) {
    EXPECT_NEAR(restored->GetParameterValue(id), effect->GetParameterValue(id),
                std::fabs(effect->GetParameterValue(id)) * 2e-6f + 2e-5f)
        << astParamInfos[id].name;
  }
}

}  // namespace
