#include "shell/ParamTable.h"

#include <cmath>
#include <cstring>

namespace {
using U = ParamUnit;
}  // namespace

const ParamInfo astParamInfos[kNumParams] = {
    {"Max Delay Time", U::Seconds, 1.0f, 3600.0f, 10.0f},
    {"Delay Time", U::Seconds, 0.0f, 3600.0f, 1.0f},
    {"Delay Slider Min", U::Seconds, 0.0f, 3600.0f, 0.0f},
    {"Delay Slider Max", U::Seconds, 0.0f, 3600.0f, 10.0f},
    {"L->L time", U::Percent, 0.0f, 100.0f, 100.0f},
    {"L->L feedback", U::Percent, 0.0f, 100.0f, 100.0f},
    {"L->R time", U::Percent, 0.0f, 100.0f, 50.0f},
    {"L->R feedback", U::Percent, 0.0f, 100.0f, 0.0f},
    {"R->L time", U::Percent, 0.0f, 100.0f, 50.0f},
    {"R->L feedback", U::Percent, 0.0f, 100.0f, 0.0f},
    {"R->R time", U::Percent, 0.0f, 100.0f, 100.0f},
    {"R->R feedback", U::Percent, 0.0f, 100.0f, 100.0f},
    {"Master feedback", U::Percent, 0.0f, 100.0f, 90.0f},
    {"Freeze Loop", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Pitch", U::RelativeSemiTones, -12.0f, 12.0f, 0.0f},
    {"PitchInertia", U::Generic, 0.0f, 125.0f, 64.0f},
    {"Pitch-Independent Delay", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Pitch LFO Speed", U::Hertz, 0.05f, 20.0f, 5.0f},
    {"Pitch LFO Depth", U::Generic, 0.0f, 1.0f, 0.0f},
    {"Monoize Input", U::Generic, 0.0f, 1.0f, 0.0f},
    {"Initial Pan", U::Pan, -1.0f, 1.0f, -1.0f},
    {"Dry Level", U::LinearGain, 0.0f, 1.0f, 1.0f},
    {"Effect Level", U::LinearGain, 0.0f, 1.0f, 0.8f},
    {"Filter Cutoff", U::Hertz, 50.0f, 8000.0f, 1000.0f},
    {"Filter Q", U::Generic, 0.01f, 1.0f, 0.1f},
    {"Filter Type", U::Generic, 0.0f, 4.0f, 0.0f},
    {"Filter LFO Speed", U::Hertz, 0.05f, 20.0f, 0.2f},
    {"Filter LFO Depth", U::Generic, 0.0f, 3.0f, 0.0f},
    {"Saturation", U::Generic, 0.0f, 11.0f, 0.0f},
    {"Tap Record", U::Generic, 0.0f, 1.0f, 0.0f},
    {"Tap Tempo", U::Generic, 0.0f, 1.0f, 0.0f},
    {"Input Level", U::LinearGain, 0.0f, 1.0f, 1.0f},
    {"Reverse", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Host Sync", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Beats", U::Beats, 0.0f, 128.0f, 4.0f},
    {"Beat Divisor", U::Indexed, 0.0f, 5.0f, 2.0f},
    {"Triplet", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Trigger", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Trigger Level", U::Generic, 0.0f, 1.0f, 0.0f},
    {"Tap Rec Start Clock Msg", U::Indexed, 0.0f, 1.0f, 1.0f},
    {"Tap Rec End Clock Msg", U::Indexed, 0.0f, 2.0f, 1.0f},
    {"Clock Msg", U::Indexed, 0.0f, 1.0f, 1.0f},
    {"Pause Clock", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Input Level Sensitivity", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Saturation Shape", U::Generic, 0.0f, 1.0f, 1.0f},
    {"Env Attack", U::Seconds, 0.0f, 30.0f, 2.0f},
    {"Env Release", U::Seconds, 0.0f, 30.0f, 2.0f},
    {"Env Gate", U::Boolean, 0.0f, 1.0f, 1.0f},
    {"Env Override", U::Boolean, 0.0f, 1.0f, 1.0f},
    {"Clear Loop", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Punch In Quantize", U::Indexed, 0.0f, 10.0f, 0.0f},
    {"Punch Out Quantize", U::Indexed, 0.0f, 9.0f, 2.0f},
    {"Punch Out Type", U::Indexed, 0.0f, 3.0f, 0.0f},
    {"Punch In Set Input Level", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Punch Out Set Input Level", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Saturation On/Off", U::Boolean, 0.0f, 1.0f, 1.0f},
    {"Auto Clear After Fade", U::Indexed, 0.0f, 2.0f, 0.0f},
    {"Delay Inertia Mode", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Delay Inertia Fade Time", U::Milliseconds, 1.0f, 1000.0f, 100.0f},
    {"Digital Mode", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Stop", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Pre-Sat FX Loop Enable", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Pre-Sat Latency Compensation", U::Indexed, 0.0f, 2.0f, 0.0f},
    {"Pre-Sat Manual Latency", U::SampleFrames, 0.0f, 8192.0f, 0.0f},
    {"Pre-Write FX Loop Enable", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Pre-Write Latency Compensation", U::Indexed, 0.0f, 2.0f, 0.0f},
    {"Pre-Write Manual Latency", U::SampleFrames, 0.0f, 8192.0f, 0.0f},
    {"Record Offset Enable", U::Boolean, 0.0f, 1.0f, 0.0f},
    {"Record Offset Type", U::Indexed, 0.0f, 2.0f, 0.0f},
    {"Record Offset Frames", U::SampleFrames, 0.0f, 8192.0f, 128.0f},
    {"Tape Read Mode", U::Indexed, 0.0f, 1.0f, 0.0f},
    {"Sync Group Mode", U::Indexed, 0.0f, 3.0f, 0.0f},
    {"Sync Group Number", U::Indexed, 0.0f, 15.0f, 0.0f},
    {"OSC Port Offset", U::Indexed, 0.0f, 100.0f, 0.0f},
    {"Freeze Mode", U::Indexed, 0.0f, 1.0f, 0.0f},
    {"Low Cut Freq", U::Hertz, 50.0f, 16000.0f, 2000.0f},
    {"Low Cut Amount", U::Percent, 0.0f, 100.0f, 0.0f},
    {"High Cut Freq", U::Hertz, 50.0f, 16000.0f, 12000.0f},
    {"High Cut Amount", U::Percent, 0.0f, 100.0f, 0.0f},
    {"Crunch", U::Percent, 0.0f, 200.0f, 0.0f},
    {"Drive", U::Decibels, 0.0f, 80.0f, 0.0f},
    {"Post Gain", U::Decibels, 0.0f, 20.0f, 0.0f},
};

namespace {

const char* const kBeatDivisorStrings[] = {"1/1", "1/2", "1/4", "1/8", "1/16", "1/32"};
const char* const kTapRecStartStrings[] = {"None", "Stop"};
const char* const kTapRecEndStrings[] = {"None", "Start", "Continue"};
const char* const kClockMsgStrings[] = {"None", "Clock"};
const char* const kPunchInStrings[] = {"None", "4 Bars", "2 Bars", "1 Bar", "1/2",  "1/4",
                                       "1/8",  "1/16",   "1/32",   "1/64",  "1/128"};
const char* const kPunchOutStrings[] = {"4 Bars", "2 Bars", "1 Bar", "1/2",  "1/4",
                                        "1/8",    "1/16",   "1/32",  "1/64", "1/128"};
const char* const kPunchOutTypeStrings[] = {"None", "Length", "LengthQ", "PositionQ"};
const char* const kAutoClearStrings[] = {"No Clear", "AutoClear", "AutoClr2"};
const char* const kLatencyStrings[] = {"Auto", "Off", "Manual"};
const char* const kTapeReadModeStrings[] = {"Stereo", "Mono"};
const char* const kSyncGroupModeStrings[] = {"None", "Master", "Tempo", "Time"};
const char* const kSyncGroupNumberStrings[] = {"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                               "9", "10", "11", "12", "13", "14", "15", "16"};
const char* const kFreezeModeStrings[] = {"Last", "Current"};

// "Off", then "1" to "100".
struct OscOffsetStrings {
  char text[101][4];
  const char* pointers[101];
  OscOffsetStrings() {
    for (int i = 0; i < 101; ++i) {
      if (i == 0) {
        std::strcpy(text[i], "Off");
      } else {
        int n = i, len = n >= 100 ? 3 : n >= 10 ? 2 : 1;
        text[i][len] = '\0';
        for (int k = len - 1; k >= 0; --k, n /= 10) text[i][k] = static_cast<char>('0' + n % 10);
      }
      pointers[i] = text[i];
    }
  }
};
const OscOffsetStrings kOscOffset;

template <int N>
constexpr ValueStringList ListOf(const char* const (&strings)[N]) {
  return {N, strings};
}

const ValueStringList kBeatDivisorList = ListOf(kBeatDivisorStrings);
const ValueStringList kTapRecStartList = ListOf(kTapRecStartStrings);
const ValueStringList kTapRecEndList = ListOf(kTapRecEndStrings);
const ValueStringList kClockMsgList = ListOf(kClockMsgStrings);
const ValueStringList kPunchInList = ListOf(kPunchInStrings);
const ValueStringList kPunchOutList = ListOf(kPunchOutStrings);
const ValueStringList kPunchOutTypeList = ListOf(kPunchOutTypeStrings);
const ValueStringList kAutoClearList = ListOf(kAutoClearStrings);
const ValueStringList kLatencyList = ListOf(kLatencyStrings);
const ValueStringList kTapeReadModeList = ListOf(kTapeReadModeStrings);
const ValueStringList kSyncGroupModeList = ListOf(kSyncGroupModeStrings);
const ValueStringList kSyncGroupNumberList = ListOf(kSyncGroupNumberStrings);
const ValueStringList kOscOffsetList = {101, kOscOffset.pointers};
const ValueStringList kFreezeModeList = ListOf(kFreezeModeStrings);

}  // namespace

bool IsEmptyRow(int id) {
  const ParamInfo& p = astParamInfos[id];
  return p.minimum == 0.0f && p.maximum == 0.0f && p.defaultValue == 0.0f;
}

const char* UnitLabel(ParamUnit unit) {
  switch (unit) {
    case U::Percent:
      return "%";
    case U::Seconds:
      return "seconds";
    case U::Hertz:
      return "Hz";
    case U::Cents:
      return "cents";
    case U::Decibels:
      return "dB";
    case U::Pan:
      return "L/R";
    case U::BPM:
      return "BPM";
    case U::Beats:
      return "beats";
    case U::Milliseconds:
      return "ms";
    default:
      return "";
  }
}

const ValueStringList* ValueStringsFor(int id) {
  switch (id) {
    case kBeatDivisor:
      return &kBeatDivisorList;
    case kTapRecStartClockMsg:
      return &kTapRecStartList;
    case kTapRecEndClockMsg:
      return &kTapRecEndList;
    case kClockMsg:
      return &kClockMsgList;
    case kPunchInQuantize:
      return &kPunchInList;
    case kPunchOutQuantize:
      return &kPunchOutList;
    case kPunchOutType:
      return &kPunchOutTypeList;
    case kAutoClearAfterFade:
      return &kAutoClearList;
    case kPreSatLatencyCompensation:
    case kPreWriteLatencyCompensation:
    case kRecordOffsetType:
      return &kLatencyList;
    case kTapeReadMode:
      return &kTapeReadModeList;
    case kSyncGroupMode:
      return &kSyncGroupModeList;
    case kSyncGroupNumber:
      return &kSyncGroupNumberList;
    case kOscPortOffset:
      return &kOscOffsetList;
    case kFreezeMode:
      return &kFreezeModeList;
    default:
      return nullptr;
  }
}

const char* FilterTypeText(float value) {
  static const char* const kTexts[] = {"Thru", "Low", "Band", "High", "Thru"};
  const float nearest = std::round(value);
  if (nearest < 0.0f || nearest > 4.0f || std::fabs(value - nearest) > 0.005f) return nullptr;
  return kTexts[static_cast<int>(nearest)];
}

float RealFromNormalised(int id, float x) {
  const ParamInfo& p = astParamInfos[id];
  const float lo = p.minimum, hi = p.maximum;
  switch (p.unit) {
    case U::Indexed:
    case U::Beats:
      return std::floor(lo + x * (hi - lo) + 0.5f);
    case U::Hertz:
      // Exponential: equal steps of x are equal frequency ratios.
      return static_cast<float>(static_cast<double>(lo) *
                                std::exp2(static_cast<double>(x) * std::log2(double(hi) / lo)));
    default:
      return lo + x * (hi - lo);
  }
}

float NormalisedFromReal(int id, float v) {
  const ParamInfo& p = astParamInfos[id];
  const float lo = p.minimum, hi = p.maximum;
  if (p.unit == U::Hertz) {
    const double invLo = 1.0 / lo;
    return static_cast<float>(std::log2(v * invLo) / std::log2(invLo * hi));
  }
  return (v - lo) / (hi - lo);
}

int FindParamByName(const char* name) {
  if (name == nullptr) return -1;
  for (int id = 0; id < kNumParams; ++id) {
    if (std::strcmp(astParamInfos[id].name, name) == 0) return id;
  }
  return -1;
}
