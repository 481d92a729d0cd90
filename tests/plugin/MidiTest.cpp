// MIDI through the real path: the host sends events to plug-ins loaded from
// their shared objects, and the scripts drive this and other instances.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/RecordingHost.h"
#include "tools/vsthost/PluginHost.h"

namespace {

std::unique_ptr<vsthost::PluginHost> LoadWithOffset(int oscOffset) {
  std::string error;
  auto host = vsthost::PluginHost::Load(std::string(VELTRANE_BUILD_VST_DIR) + "/Veltrane.so", &error);
  EXPECT_NE(host, nullptr) << error;
  if (host) host->SetParameter(73, oscOffset / 100.0f);  // "OSC Port Offset"
  return host;
}

TEST(PluginMidi, DefaultScriptAndOtherInstances) {
  ScopedDataHomes homes;
  homes.AddScript(platform::Domain::User, "others.lua",
                  "requestCC(30, function(c, n, v) setOthersParameter(3, 'Pitch', v / 10) end)");
  auto a = LoadWithOffset(3), b = LoadWithOffset(0), c = LoadWithOffset(3);
  ASSERT_TRUE(a && b && c);

  // The default mapping: controller 13 is "Master feedback".
  a->SendMidi({{0, {0xB0, 13, 127}}});
  EXPECT_EQ(a->ParameterDisplay(12), "100.0");
  EXPECT_EQ(b->ParameterDisplay(12), "90.00");

  // A script on b reaches the instances at OSC index 3, and only those.
  const int before = a->updateDisplayCount;
  b->SendMidi({{0, {0xB0, 30, 50}}});
  EXPECT_EQ(a->ParameterDisplay(14), "5.000");
  EXPECT_EQ(c->ParameterDisplay(14), "5.000");
  EXPECT_EQ(b->ParameterDisplay(14), "0.000");
  EXPECT_GT(a->updateDisplayCount, before);
}

}  // namespace
