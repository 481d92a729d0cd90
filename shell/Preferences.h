// The machine-wide preferences: settings that outlive every instance and
// every host project, kept in the user's preference store and read into
// process-wide globals. Reads and writes happen on the main thread; the audio
// thread reads the engine switches, so every global is a single atomic word.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Keys, exactly as stored.
inline constexpr const char* kPrefOscBasePort = "OSC Base Port";
inline constexpr const char* kPrefMidiOutput = "MIDI output";
inline constexpr const char* kPrefMidiReceiveOption = "MIDI receive option";
inline constexpr const char* kPrefRoundedTempos = "Rounded tempos";
inline constexpr const char* kPrefLegacyFilter = "Legacy Filter";
inline constexpr const char* kPrefIgnoreReset = "Ignore Reset";
inline constexpr const char* kPrefSkin = "Skin";
inline constexpr const char* kPrefEnableEyeCandy = "Enable eye candy";
inline constexpr const char* kPrefEnableConstantRedraw = "Enable constant redraw";
inline constexpr const char* kPrefEnableFloatingTooltip = "Enable floating tooltip";

inline constexpr int32_t kDefaultOscBasePort = 7000;

// Strings are handed out with at most this many bytes.
inline constexpr int kPrefStringMaxBytes = 1023;

extern std::atomic<bool> g_midiRxAll;
extern std::atomic<bool> g_midiOutput;
extern std::atomic<bool> g_roundedTempos;
extern std::atomic<bool> g_legacyFilter;
extern std::atomic<int32_t> g_OSCBasePort;
extern std::atomic<bool> g_ignoreReset;

// The stored number converted to int (clamped to the int range), or
// defaultValue when the key is missing, not a number or the store unreadable.
int32_t GetPrefInt(const char* key, int32_t defaultValue);
void SetPrefInt(const char* key, int32_t value);

// Replaces text with the stored string (at most kPrefStringMaxBytes bytes)
// when the key holds one; otherwise leaves text as the caller's default.
void GetPrefString(const char* key, std::string& text);
void SetPrefString(const char* key, const std::string& value);

// Reads the six keys an instance reads at start-up into their globals, in
// the order "MIDI receive option", "MIDI output", "Rounded tempos",
// "Legacy Filter", "OSC Base Port", "Ignore Reset".
void ReadPreferenceGlobals();
