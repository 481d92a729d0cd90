#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "shell/ParamTable.h"

namespace {

TEST(ParamTable, EveryRowIsUsableAndUnique) {
  std::set<std::string> names;
  for (int id = 0; id < kNumParams; ++id) {
    const ParamInfo& p = astParamInfos[id];
    SCOPED_TRACE(p.name);
    EXPECT_LT(p.minimum, p.maximum);
    EXPECT_GE(p.defaultValue, p.minimum);
    EXPECT_LE(p.defaultValue, p.maximum);
    EXPECT_FALSE(IsEmptyRow(id));
    EXPECT_TRUE(names.insert(p.name).second) << "duplicate name";
    EXPECT_EQ(FindParamByName(p.name), id);
  }
  EXPECT_EQ(FindParamByName("No Such Parameter"), -1);
  EXPECT_EQ(FindParamByName(nullptr), -1);
}

// Rows that other subsystems, saved projects and scripts address by id.
TEST(ParamTable, RowsStayWhereHostsStoreThem) {
  struct Row {
    int id;
    const char* name;
    ParamUnit unit;
    float min, max, def;
  };
  const Row rows[] = {
      {0, "Max Delay Time", ParamUnit::Seconds, 1, 3600, 10},
      {1, "Delay Time", ParamUnit::Seconds, 0, 3600, 1},
      {14, "Pitch", ParamUnit::RelativeSemiTones, -12, 12, 0},
      {17, "Pitch LFO Speed", ParamUnit::Hertz, 0.05f, 20, 5},
      {22, "Effect Level", ParamUnit::LinearGain, 0, 1, 0.8f},
      {25, "Filter Type", ParamUnit::Generic, 0, 4, 0},
      {34, "Beats", ParamUnit::Beats, 0, 128, 4},
      {39, "Tap Rec Start Clock Msg", ParamUnit::Indexed, 0, 1, 1},
      {58, "Delay Inertia Fade Time", ParamUnit::Milliseconds, 1, 1000, 100},
      {63, "Pre-Sat Manual Latency", ParamUnit::SampleFrames, 0, 8192, 0},
      {73, "OSC Port Offset", ParamUnit::Indexed, 0, 100, 0},
      {80, "Drive", ParamUnit::Decibels, 0, 80, 0},
      {81, "Post Gain", ParamUnit::Decibels, 0, 20, 0},
  };
  for (const Row& r : rows) {
    const ParamInfo& p = astParamInfos[r.id];
    SCOPED_TRACE(r.name);
    EXPECT_STREQ(p.name, r.name);
    EXPECT_EQ(p.unit, r.unit);
    EXPECT_EQ(p.minimum, r.min);
    EXPECT_EQ(p.maximum, r.max);
    EXPECT_EQ(p.defaultValue, r.def);
  }
}

TEST(ParamTable, UnitLabels) {
  struct Case {
    int id;
    const char* label;
  };
  const Case cases[] = {
      {kDelaySliderMax, "seconds"},
      {kPostGain, "dB"},
      {kInitialPan, "L/R"},
      {kPitch, ""},
      {kDryLevel, ""},
      {kEffectLevel, ""},
      {kLLTime, "%"},
      {kFilterCutoff, "Hz"},
      {kBeats, "beats"},
      {kDelayInertiaFadeTime, "ms"},
      {kBeatDivisor, ""},
      {kFreezeLoop, ""},
      {kPreSatManualLatency, ""},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(UnitLabel(astParamInfos[c.id].unit), c.label) << astParamInfos[c.id].name;
  }
  EXPECT_STREQ(UnitLabel(ParamUnit::Cents), "cents");
  EXPECT_STREQ(UnitLabel(ParamUnit::BPM), "BPM");
  EXPECT_STREQ(UnitLabel(static_cast<ParamUnit>(99)), "");
}

TEST(ParamTable, ValueStringLists) {
  struct Case {
    int id;
    int count;
    int index;
    const char* text;
  };
  const Case cases[] = {
      {kBeatDivisor, 6, 2, "1/4"},
      {kTapRecStartClockMsg, 2, 1, "Stop"},
      {kTapRecEndClockMsg, 3, 2, "Continue"},
      {kClockMsg, 2, 1, "Clock"},
      {kPunchInQuantize, 11, 2, "2 Bars"},  // the list starts with "None"...
      {kPunchOutQuantize, 10, 2, "1 Bar"},  // ...this one does not
      {kPunchOutType, 4, 3, "PositionQ"},
      {kAutoClearAfterFade, 3, 2, "AutoClr2"},
      {kPreSatLatencyCompensation, 3, 2, "Manual"},
      {kPreWriteLatencyCompensation, 3, 0, "Auto"},
      {kRecordOffsetType, 3, 1, "Off"},
      {kTapeReadMode, 2, 1, "Mono"},
      {kSyncGroupMode, 4, 3, "Time"},
      {kSyncGroupNumber, 16, 0, "1"},
      {kSyncGroupNumber, 16, 15, "16"},
      {kOscPortOffset, 101, 0, "Off"},
      {kOscPortOffset, 101, 37, "37"},
      {kOscPortOffset, 101, 100, "100"},
      {kFreezeMode, 2, 1, "Current"},
  };
  for (const Case& c : cases) {
    const ValueStringList* list = ValueStringsFor(c.id);
    ASSERT_NE(list, nullptr) << astParamInfos[c.id].name;
    EXPECT_EQ(list->count, c.count) << astParamInfos[c.id].name;
    EXPECT_STREQ(list->strings[c.index], c.text) << astParamInfos[c.id].name;
  }
  // Every indexed parameter has a list as long as its range; no other has one.
  for (int id = 0; id < kNumParams; ++id) {
    const ParamInfo& p = astParamInfos[id];
    const ValueStringList* list = ValueStringsFor(id);
    if (p.unit == ParamUnit::Indexed) {
      ASSERT_NE(list, nullptr) << p.name;
      EXPECT_EQ(list->count, static_cast<int>(p.maximum - p.minimum) + 1) << p.name;
    } else {
      EXPECT_EQ(list, nullptr) << p.name;
    }
  }
}

TEST(ParamTable, FilterTypeTexts) {
  struct Case {
    float value;
    const char* text;  // null: shown as a number
  };
  const Case cases[] = {
      {0.0f, "Thru"}, {1.003f, "Low"}, {0.996f, "Low"},  {2.0f, "Band"},    {3.0f, "High"},
      {4.0f, "Thru"}, {1.5f, nullptr}, {1.01f, nullptr}, {3.994f, nullptr}, {-1.0f, nullptr},
  };
  for (const Case& c : cases) {
    const char* text = FilterTypeText(c.value);
    if (c.text == nullptr) {
      EXPECT_EQ(text, nullptr) << c.value;
    } else {
      ASSERT_NE(text, nullptr) << c.value;
      EXPECT_STREQ(text, c.text) << c.value;
    }
  }
}

struct LawCase {
  int id;
  float normalised;
  float real;
  float tolerance;  // 0: exact
};

class NormalisationLaw : public ::testing::TestWithParam<LawCase> {};

TEST_P(NormalisationLaw, RealFromNormalised) {
  const LawCase& c = GetParam();
  if (c.tolerance == 0.0f) {
    EXPECT_EQ(RealFromNormalised(c.id, c.normalised), c.real);
  } else {
    EXPECT_NEAR(RealFromNormalised(c.id, c.normalised), c.real, c.tolerance);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, NormalisationLaw,
    ::testing::Values(LawCase{kMaxDelayTime, 0.0f, 1.0f, 0},
                      LawCase{kMaxDelayTime, 1.0f, 3600.0f, 0},
                      LawCase{kMaxDelayTime, 0.5f, 1800.5f, 0},
                      LawCase{kFilterCutoff, 0.5f, 632.456f, 0.001f},  // the geometric mean
                      LawCase{kFilterCutoff, 0.0f, 50.0f, 1e-4f},
                      LawCase{kFilterCutoff, 1.0f, 8000.0f, 1e-2f},
                      LawCase{kBeatDivisor, 0.49f, 2.0f, 0}, LawCase{kBeatDivisor, 0.5f, 3.0f, 0},
                      LawCase{kBeats, 0.5f, 64.0f, 0},
                      // Booleans are linear and not rounded.
                      LawCase{kFreezeLoop, 0.3f, 0.3f, 0}, LawCase{kInitialPan, 0.0f, -1.0f, 0},
                      LawCase{kPitch, 0.75f, 6.0f, 0},
                      // No clamping either way.
                      LawCase{kDelayTime, 1.5f, 5400.0f, 0}));

TEST(NormalisationLaw, NormalisedFromReal) {
  EXPECT_NEAR(NormalisedFromReal(kFilterCutoff, 1000.0f), 0.59027f, 1e-5f);
  EXPECT_NEAR(NormalisedFromReal(kFilterCutoff, 632.456f), 0.5f, 1e-6f);
  EXPECT_EQ(NormalisedFromReal(kMaxDelayTime, 1800.5f), 0.5f);
  EXPECT_EQ(NormalisedFromReal(kBeatDivisor, 2.0f), 0.4f);
  EXPECT_EQ(NormalisedFromReal(kInitialPan, 0.0f), 0.5f);
}

// What a host saves and restores: indexed and beat values come back exactly,
// everything else within float rounding.
TEST(NormalisationLaw, EveryValueSurvivesTheHostRoundTrip) {
  for (int id = 0; id < kNumParams; ++id) {
    const ParamInfo& p = astParamInfos[id];
    const bool whole = p.unit == ParamUnit::Indexed || p.unit == ParamUnit::Beats;
    for (int step = 0; step <= 8; ++step) {
      float v = p.minimum + (p.maximum - p.minimum) * step / 8.0f;
      if (whole) v = std::round(v);
      const float back = RealFromNormalised(id, NormalisedFromReal(id, v));
      if (whole) {
        EXPECT_EQ(back, v) << p.name;
      } else {
        EXPECT_NEAR(back, v, std::fabs(v) * 2e-6f + 2e-5f) << p.name;
      }
    }
  }
}

}  // namespace
