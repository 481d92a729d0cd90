// The preference store and the globals read from it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/PreferenceStore.h"
#include "shell/Preferences.h"
#include "tests/support/RecordingHost.h"

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class Preferences : public ::testing::Test {
 protected:
  ScopedConfigHome config;
};

TEST_F(Preferences, EmptyStoreGivesTheDefaults) {
  g_OSCBasePort = 1;
  g_midiOutput = false;
  g_midiRxAll = g_roundedTempos = g_legacyFilter = g_ignoreReset = true;
  ReadPreferenceGlobals();
  EXPECT_EQ(g_OSCBasePort.load(), 7000);
  EXPECT_TRUE(g_midiOutput.load());
  EXPECT_FALSE(g_midiRxAll.load());
  EXPECT_FALSE(g_roundedTempos.load());
  EXPECT_FALSE(g_legacyFilter.load());
  EXPECT_FALSE(g_ignoreReset.load());
  std::string skin = "";
  GetPrefString(kPrefSkin, skin);
  EXPECT_EQ(skin, "");
  EXPECT_EQ(GetPrefInt(kPrefEnableEyeCandy, 1), 1);
  EXPECT_EQ(GetPrefInt(kPrefEnableConstantRedraw, 1), 1);
  EXPECT_EQ(GetPrefInt(kPrefEnableFloatingTooltip, 0), 0);
  EXPECT_FALSE(std::filesystem::exists(config.PreferenceFile()));  // reading writes nothing
}

TEST_F(Preferences, StoredValuesOfEveryKind) {
  config.WritePreferenceFile(R"({
    "OSC Base Port": 9000.7, "MIDI output": 0, "MIDI receive option": 1,
    "Rounded tempos": 2, "Legacy Filter": true, "Ignore Reset": 1,
    "Skin": "Dark Tape", "Huge": 1e30, "Tiny": -1e30
  })");
  ReadPreferenceGlobals();
  EXPECT_EQ(g_OSCBasePort.load(), 9000);
  EXPECT_FALSE(g_midiOutput.load());
  EXPECT_TRUE(g_midiRxAll.load());
  EXPECT_TRUE(g_roundedTempos.load());  // any non-zero number is on
  EXPECT_TRUE(g_legacyFilter.load());
  EXPECT_TRUE(g_ignoreReset.load());
  std::string skin;
  GetPrefString(kPrefSkin, skin);
  EXPECT_EQ(skin, "Dark Tape");
  EXPECT_EQ(GetPrefInt("Huge", 0), 2147483647);
  EXPECT_EQ(GetPrefInt("Tiny", 0), -2147483647 - 1);
}

TEST_F(Preferences, WrongKindsReadAsDefaults) {
  config.WritePreferenceFile(R"({"OSC Base Port": "8000", "Skin": 5, "MIDI output": null})");
  EXPECT_EQ(GetPrefInt(kPrefOscBasePort, 7000), 7000);
  EXPECT_EQ(GetPrefInt(kPrefMidiOutput, 1), 1);
  std::string skin = "default";
  GetPrefString(kPrefSkin, skin);
  EXPECT_EQ(skin, "default");
}

TEST_F(Preferences, LongStringsAreCutTo1023Bytes) {
  SetPrefString(kPrefSkin, std::string(5000, 's'));
  std::string skin;
  GetPrefString(kPrefSkin, skin);
  EXPECT_EQ(skin.size(), 1023u);
}

TEST_F(Preferences, WritesKeepOtherKeysAndTheNumberStringDistinction) {
  SetPrefInt(kPrefOscBasePort, 8000);
  SetPrefString(kPrefSkin, "Chrome");
  SetPrefInt(kPrefMidiOutput, 0);
  EXPECT_EQ(GetPrefInt(kPrefOscBasePort, 7000), 8000);
  EXPECT_EQ(GetPrefInt(kPrefMidiOutput, 1), 0);
  EXPECT_EQ(GetPrefInt(kPrefSkin, 42), 42);  // a string is not a number
  std::string port = "none";
  GetPrefString(kPrefOscBasePort, port);  // and a number is not a string
  EXPECT_EQ(port, "none");
  const std::string text = ReadFile(config.PreferenceFile());
  EXPECT_NE(text.find("\"OSC Base Port\": 8000"), std::string::npos) << text;
}

TEST_F(Preferences, CorruptFileReadsAsDefaultsAndIsKeptOnWrite) {
  const std::string corrupt = "{\"OSC Base Port\": 8000, oops";
  config.WritePreferenceFile(corrupt);
  ReadPreferenceGlobals();
  EXPECT_EQ(g_OSCBasePort.load(), 7000);
  EXPECT_EQ(ReadFile(config.PreferenceFile()), corrupt);  // reading changed nothing

  testing::internal::CaptureStderr();
  SetPrefInt(kPrefMidiOutput, 0);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find(config.PreferenceFile()), std::string::npos) << message;
  EXPECT_EQ(ReadFile(config.PreferenceFile() + ".corrupt"), corrupt);
  EXPECT_EQ(GetPrefInt(kPrefMidiOutput, 1), 0);
}

TEST_F(Preferences, NonObjectFileIsCorruptToo) {
  config.WritePreferenceFile("[1, 2, 3]");
  EXPECT_EQ(GetPrefInt(kPrefOscBasePort, 7000), 7000);
}

TEST_F(Preferences, UnreadableStoreIsNeverReplaced) {
  // A folder where the file should be: it can be neither read nor replaced.
  std::filesystem::create_directories(config.PreferenceFile());
  std::ofstream(config.PreferenceFile() + "/keep") << "user data";
  EXPECT_EQ(GetPrefInt(kPrefOscBasePort, 7000), 7000);
  testing::internal::CaptureStderr();
  SetPrefInt(kPrefOscBasePort, 9000);
  const std::string message = testing::internal::GetCapturedStderr();
  EXPECT_NE(message.find("OSC Base Port"), std::string::npos) << message;
  EXPECT_EQ(ReadFile(config.PreferenceFile() + "/keep"), "user data");
}

TEST(PreferenceStorePath, FollowsXdgConfigHome) {
  ScopedConfigHome config;
  EXPECT_EQ(platform::PreferenceStore::DefaultPath(), config.PreferenceFile());
}

}  // namespace
