// The effect's 82 parameters: identity, unit, range and default of each, the
// labels of the units, the value strings of the indexed parameters and the
// texts of Filter Type. One read-only table, built at library load; every other
// part of the plug-in names parameters by its row index (the parameter id).
//
// Values are real units everywhere inside the plug-in; only the host boundary
// sees them normalised to 0..1, by RealFromNormalised / NormalisedFromReal.
// Every function here is pure and may be called from any thread.
#pragma once

#include <cstdint>

enum class ParamUnit : int32_t {
  Generic = 0,
  Indexed = 1,
  Boolean = 2,
  Percent = 3,
  Seconds = 4,
  SampleFrames = 5,
  Hertz = 8,
  Cents = 9,
  RelativeSemiTones = 10,
  Decibels = 13,
  LinearGain = 14,
  Pan = 18,
  BPM = 22,
  Beats = 23,
  Milliseconds = 24,
};

struct ParamInfo {
  const char* name;
  ParamUnit unit;
  float minimum;
  float maximum;
  float defaultValue;
};

// Ids of the parameters, the rows of astParamInfos. Hosts store automation by
// these numbers, so the order never changes.
enum ParamId : int32_t {
  kMaxDelayTime = 0,
  kDelayTime,
  kDelaySliderMin,
  kDelaySliderMax,
  kLLTime,
  kLLFeedback,
  kLRTime,
  kLRFeedback,
  kRLTime,
  kRLFeedback,
  kRRTime,
  kRRFeedback,
  kMasterFeedback,
  kFreezeLoop,
  kPitch,
  kPitchInertia,
  kPitchIndependentDelay,
  kPitchLfoSpeed,
  kPitchLfoDepth,
  kMonoizeInput,
  kInitialPan,
  kDryLevel,
  kEffectLevel,
  kFilterCutoff,
  kFilterQ,
  kFilterType,
  kFilterLfoSpeed,
  kFilterLfoDepth,
  kSaturation,
  kTapRecord,
  kTapTempo,
  kInputLevel,
  kReverse,
  kHostSync,
  kBeats,
  kBeatDivisor,
  kTriplet,
  kTrigger,
  kTriggerLevel,
  kTapRecStartClockMsg,
  kTapRecEndClockMsg,
  kClockMsg,
  kPauseClock,
  kInputLevelSensitivity,
  kSaturationShape,
  kEnvAttack,
  kEnvRelease,
  kEnvGate,
  kEnvOverride,
  kClearLoop,
  kPunchInQuantize,
  kPunchOutQuantize,
  kPunchOutType,
  kPunchInSetInputLevel,
  kPunchOutSetInputLevel,
  kSaturationOnOff,
  kAutoClearAfterFade,
  kDelayInertiaMode,
  kDelayInertiaFadeTime,
  kDigitalMode,
  kStop,
  kPreSatFxLoopEnable,
  kPreSatLatencyCompensation,
  kPreSatManualLatency,
  kPreWriteFxLoopEnable,
  kPreWriteLatencyCompensation,
  kPreWriteManualLatency,
  kRecordOffsetEnable,
  kRecordOffsetType,
  kRecordOffsetFrames,
  kTapeReadMode,
  kSyncGroupMode,
  kSyncGroupNumber,
  kOscPortOffset,
  kFreezeMode,
  kLowCutFreq,
  kLowCutAmount,
  kHighCutFreq,
  kHighCutAmount,
  kCrunch,
  kDrive,
  kPostGain,
  kNumParams
};
static_assert(kNumParams == 82);

extern const ParamInfo astParamInfos[kNumParams];

constexpr bool IsValidParamId(int64_t id) {
  return id >= 0 && id < kNumParams;
}

// A row whose minimum, maximum and default are all zero; listeners refuse it.
bool IsEmptyRow(int id);

// The label the host shows after a value: "%", "seconds", "Hz", ...; "" for
// units without one.
const char* UnitLabel(ParamUnit unit);

// An immutable list of the texts an indexed parameter's values stand for.
struct ValueStringList {
  int count;
  const char* const* strings;
};

// The value-string list of id, or null when the parameter has none.
const ValueStringList* ValueStringsFor(int id);

// The text Filter Type shows for a value within 0.005 of a whole 0..4, else null.
const char* FilterTypeText(float value);

// The laws between a host's normalised 0..1 and real units. Neither clamps.
float RealFromNormalised(int id, float normalised);
float NormalisedFromReal(int id, float real);

// Looks a parameter up by its whole name; -1 when no row has that name.
int FindParamByName(const char* name);
