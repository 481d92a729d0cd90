// The renderer driving our own plug-ins: programs by name, parameters in
// real units, and the errors a user sees for a wrong one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "tests/tools/TestFiles.h"
#include "tools/render/Renderer.h"
#include "tools/vsthost/DemoPhrase.h"

namespace {

render::RenderOptions Options(const std::string& plugin) {
  render::RenderOptions options;
  options.pluginPath = std::string(VELTRANE_BUILD_VST_DIR) + "/" + plugin;
  options.quiet = true;
  return options;
}

TEST(RenderVeltrane, ProgramAndSettingsReachThePlugin) {
  render::RenderOptions options = Options("Veltrane.so");
  options.program = "Ping Pong Delay";
  options.settings = {{"Delay Time", "0.5"}, {"Beat Divisor", "1/8"}, {"Filter Cutoff", "2000"}};
  std::string error;
  auto host = render::OpenConfiguredPlugin(options, 48000, &error);
  ASSERT_NE(host, nullptr) << error;
  EXPECT_EQ(host->ProgramName(), "Ping Pong Delay");
  EXPECT_EQ(host->GetProgram(), 1);
  EXPECT_EQ(host->ParameterDisplay(1), "0.500");
  EXPECT_EQ(host->ParameterDisplay(35), "1/8");
  EXPECT_EQ(host->ParameterDisplay(23), "2000");
  EXPECT_EQ(host->ParameterDisplay(19), "1.000");  // Monoize Input, from the program
}

TEST(RenderVeltrane, WrongSettingsNameTheCulprit) {
  struct Case {
    render::ParamSetting setting;
    std::string message;
  };
  const Case cases[] = {
      {{"Delay Time", "5000"}, "Delay Time"},
      {{"Delay Time", "5000"}, "0..3600 seconds"},
      {{"Delay Tyme", "1"}, "Delay Tyme"},
      {{"Beat Divisor", "1/7"}, "1/7"},
  };
  for (const Case& c : cases) {
    render::RenderOptions options = Options("Veltrane.so");
    options.settings = {c.setting};
    std::string error;
    EXPECT_EQ(render::OpenConfiguredPlugin(options, 44100, &error), nullptr);
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
  }
  render::RenderOptions options = Options("Veltrane.so");
  options.program = "No Such Program";
  std::string error;
  EXPECT_EQ(render::OpenConfiguredPlugin(options, 44100, &error), nullptr);
  EXPECT_NE(error.find("String Warmth"), std::string::npos) << error;  // lists what there is
}

class RenderDemo : public ::testing::TestWithParam<const char*> {};

TEST_P(RenderDemo, WritesTheDemoThroughAPreset) {
  toolstest::TempDir dir;
  render::RenderOptions options = Options(GetParam());
  options.program = "Lossy Tape";
  options.tailSeconds = 0.5;
  options.blockSize = 300;
  options.outputPath = dir.File("demo.wav");
  std::string error;
  double lastDone = -1, total = 0;
  ASSERT_TRUE(render::Render(options, &error, [&](double done, double all) {
    EXPECT_GT(done, lastDone);
    lastDone = done;
    total = all;
  })) << error;
  EXPECT_DOUBLE_EQ(lastDone, total);

  toolstest::Audio audio;
  ASSERT_TRUE(toolstest::ReadAudio(options.outputPath, &audio));
  EXPECT_EQ(audio.sampleRate, 44100);
  ASSERT_EQ(audio.channels.size(), 2u);
  EXPECT_EQ(audio.frames(), vsthost::DemoPhraseFrames(44100, 120) + 22050);
  float peak = 0;
  for (const auto& channel : audio.channels) {
    for (float s : channel) {
      ASSERT_TRUE(std::isfinite(s));
      peak = std::max(peak, std::fabs(s));
    }
  }
  EXPECT_GT(peak, 0.1f);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, RenderDemo,
                         ::testing::Values("Veltrane.so", "Veltrane Fx Loop.so"),
                         [](const auto& info) {
                           return std::string(info.param) == "Veltrane.so" ? "Standard" : "FxLoop";
                         });

}  // namespace
