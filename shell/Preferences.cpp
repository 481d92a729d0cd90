#include "shell/Preferences.h"

#include <cmath>
#include <limits>

#include "platform/PreferenceStore.h"

std::atomic<bool> g_midiRxAll{false};
std::atomic<bool> g_midiOutput{true};
std::atomic<bool> g_roundedTempos{false};
std::atomic<bool> g_legacyFilter{false};
std::atomic<int32_t> g_OSCBasePort{kDefaultOscBasePort};
std::atomic<bool> g_ignoreReset{false};

namespace {
// The store is found again at every call, so a changed XDG_CONFIG_HOME counts.
platform::PreferenceStore Store() {
  return platform::PreferenceStore();
}
}  // namespace

int32_t GetPrefInt(const char* key, int32_t defaultValue) {
  const std::optional<double> number = Store().GetNumber(key);
  if (!number) return defaultValue;
  constexpr double kMin = std::numeric_limits<int32_t>::min();
  constexpr double kMax = std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(std::trunc(std::fmin(std::fmax(*number, kMin), kMax)));
}

void SetPrefInt(const char* key, int32_t value) {
  Store().SetNumber(key, value);
}

void GetPrefString(const char* key, std::string& text) {
  std::optional<std::string> value = Store().GetString(key);
  if (!value) return;
  if (value->size() > static_cast<size_t>(kPrefStringMaxBytes)) value->resize(kPrefStringMaxBytes);
  text = std::move(*value);
}

void SetPrefString(const char* key, const std::string& value) {
  Store().SetString(key, value);
}

void ReadPreferenceGlobals() {
  g_midiRxAll = GetPrefInt(kPrefMidiReceiveOption, 0) != 0;
  g_midiOutput = GetPrefInt(kPrefMidiOutput, 1) != 0;
  g_roundedTempos = GetPrefInt(kPrefRoundedTempos, 0) != 0;
  g_legacyFilter = GetPrefInt(kPrefLegacyFilter, 0) != 0;
  g_OSCBasePort = GetPrefInt(kPrefOscBasePort, kDefaultOscBasePort);
  g_ignoreReset = GetPrefInt(kPrefIgnoreReset, 0) != 0;
}
