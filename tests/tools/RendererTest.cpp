// The renderer library: command-line parsing, parameter settings for the
// Veltrane builds, finding the plug-in, the progress line, and rendering files
// through a real plug-in (ZamDelay) compared with driving it directly.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <optional>

#include "shell/ParamTable.h"
#include "tests/tools/TestFiles.h"
#include "tools/render/Renderer.h"
#include "tools/vsthost/DemoPhrase.h"

namespace {

using render::RenderOptions;

// ---- Progress line ----------------------------------------------------------

struct ProgressCase {
  double done;
  double total;
  int width;
  const char* expected;
};

void PrintTo(const ProgressCase& c, std::ostream* os) {
  *os << c.expected;
}

class FormatProgressTest : public testing::TestWithParam<ProgressCase> {};

TEST_P(FormatProgressTest, Formats) {
  const ProgressCase& c = GetParam();
  EXPECT_EQ(render::FormatProgress(c.done, c.total, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatProgressTest,
    testing::Values(ProgressCase{0.0, 10.0, 10, "[..........]   0%  0.0 s / 10.0 s"},
                    ProgressCase{12.3, 29.3, 10, "[####......]  41%  12.3 s / 29.3 s"},
                    // Only a finished render reads full.
                    ProgressCase{9.99, 10.0, 10, "[#########.]  99%  10.0 s / 10.0 s"},
                    ProgressCase{10.0, 10.0, 10, "[##########] 100%  10.0 s / 10.0 s"},
                    ProgressCase{11.0, 10.0, 10, "[##########] 100%  11.0 s / 10.0 s"},
                    ProgressCase{1.5, 6.0, 20, "[#####...............]  25%  1.5 s / 6.0 s"},
                    ProgressCase{0.0, 0.0, 4, "[####] 100%  0.0 s / 0.0 s"}));

// ---- Command line -----------------------------------------------------------

struct ParseCase {
  const char* name;
  std::vector<const char*> args;
  RenderOptions expected;
};

RenderOptions With(void (*change)(RenderOptions&)) {
  RenderOptions options;
  change(options);
  return options;
}

void ExpectSameOptions(const RenderOptions& actual, const RenderOptions& expected) {
  EXPECT_EQ(actual.pluginPath, expected.pluginPath);
  EXPECT_EQ(actual.fxLoop, expected.fxLoop);
  EXPECT_EQ(actual.program, expected.program);
  ASSERT_EQ(actual.settings.size(), expected.settings.size());
  for (size_t i = 0; i < actual.settings.size(); ++i) {
    EXPECT_EQ(actual.settings[i].name, expected.settings[i].name);
    EXPECT_EQ(actual.settings[i].value, expected.settings[i].value);
  }
  EXPECT_EQ(actual.sampleRate, expected.sampleRate);
  EXPECT_EQ(actual.blockSize, expected.blockSize);
  EXPECT_EQ(actual.tempo, expected.tempo);
  EXPECT_EQ(actual.tailSeconds, expected.tailSeconds);
  EXPECT_EQ(actual.pcm24, expected.pcm24);
  EXPECT_EQ(actual.listParams, expected.listParams);
  EXPECT_EQ(actual.listPrograms, expected.listPrograms);
  EXPECT_EQ(actual.quiet, expected.quiet);
  EXPECT_EQ(actual.help, expected.help);
  EXPECT_EQ(actual.inputPath, expected.inputPath);
  EXPECT_EQ(actual.outputPath, expected.outputPath);
}

std::vector<const char*> Argv(const std::vector<const char*>& args) {
  std::vector<const char*> argv{"veltrane-render"};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseCommandLineTest : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseCommandLineTest, ReadsOptions) {
  const ParseCase& c = GetParam();
  const std::vector<const char*> argv = Argv(c.args);
  RenderOptions options;
  options.blockSize = -1;  // parsing must start from the defaults
  std::string error;
  ASSERT_TRUE(
      render::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, &error))
      << error;
  ExpectSameOptions(options, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseCommandLineTest,
    testing::Values(
        ParseCase{"Defaults", {"in.wav", "-o", "out.wav"}, With([](RenderOptions& o) {
                    o.inputPath = "in.wav";
                    o.outputPath = "out.wav";
                  })},
        ParseCase{"EveryValueOption",
                  {"--plugin", "/p/Zam.so", "--program", "Slapback", "--rate", "48000", "--block",
                   "300", "--tempo", "97.5", "--tail", "0", "--output", "o.wav"},
                  With([](RenderOptions& o) {
                    o.pluginPath = "/p/Zam.so";
                    o.program = "Slapback";
                    o.sampleRate = 48000;
                    o.blockSize = 300;
                    o.tempo = 97.5;
                    o.tailSeconds = 0;
                    o.outputPath = "o.wav";
                  })},
        ParseCase{"InlineValues",
                  {"--block=64", "--set=Filter Cutoff=2000", "--output=o.wav"},
                  With([](RenderOptions& o) {
                    o.blockSize = 64;
                    o.settings = {{"Filter Cutoff", "2000"}};
                    o.outputPath = "o.wav";
                  })},
        ParseCase{
            "SettingsKeepTheirOrder",
            {"--set", "Delay Time=0.5", "--set", "Beat Divisor=1/8", "--set", "Delay Time=2", "-o",
             "o.wav"},
            With([](RenderOptions& o) {
              o.settings = {{"Delay Time", "0.5"}, {"Beat Divisor", "1/8"}, {"Delay Time", "2"}};
              o.outputPath = "o.wav";
            })},
        ParseCase{"Flags",
                  {"--fx-loop", "--pcm24", "--quiet", "--list-params", "--list-programs"},
                  With([](RenderOptions& o) {
                    o.fxLoop = o.pcm24 = o.quiet = o.listParams = o.listPrograms = true;
                  })},
        ParseCase{"HelpNeedsNoOutput", {"-h"}, With([](RenderOptions& o) { o.help = true; })},
        ParseCase{"DashDashEndsOptions",
                  {"-o", "o.wav", "--", "-odd name.wav"},
                  With([](RenderOptions& o) {
                    o.outputPath = "o.wav";
                    o.inputPath = "-odd name.wav";
                  })}),
    [](const testing::TestParamInfo<ParseCase>& info) { return info.param.name; });

struct UsageErrorCase {
  const char* name;
  std::vector<const char*> args;
  const char* message;  // a part of the error
};

void PrintTo(const UsageErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class UsageErrorTest : public testing::TestWithParam<UsageErrorCase> {};

TEST_P(UsageErrorTest, IsRefusedWithAReason) {
  const UsageErrorCase& c = GetParam();
  const std::vector<const char*> argv = Argv(c.args);
  RenderOptions options;
  std::string error;
  EXPECT_FALSE(
      render::ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &options, &error));
  EXPECT_NE(error.find(c.message), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, UsageErrorTest,
    testing::Values(
        UsageErrorCase{"NoOutput", {"in.wav"}, "no output file"},
        UsageErrorCase{"UnknownOption", {"--bogus", "-o", "o.wav"}, "unknown option '--bogus'"},
        UsageErrorCase{"TwoInputs", {"a.wav", "b.wav", "-o", "o.wav"}, "'a.wav' and 'b.wav'"},
        UsageErrorCase{"MissingValue", {"-o", "o.wav", "--block"}, "--block needs a value"},
        UsageErrorCase{"ZeroBlock", {"--block", "0", "-o", "o.wav"}, "--block needs a number"},
        UsageErrorCase{"FractionalBlock", {"--block", "2.5", "-o", "o.wav"}, "whole number"},
        UsageErrorCase{"NegativeTail", {"--tail", "-1", "-o", "o.wav"}, "--tail needs"},
        UsageErrorCase{"TextTempo", {"--tempo", "fast", "-o", "o.wav"}, "not 'fast'"},
        UsageErrorCase{"TinyRate", {"--rate", "10", "-o", "o.wav"}, "--rate needs"},
        UsageErrorCase{"SetWithoutEquals",
                       {"--set", "Delay Time", "-o", "o.wav"},
                       "--set needs NAME=VALUE, not 'Delay Time'"},
        UsageErrorCase{"FlagWithValue", {"--quiet=yes", "-o", "o.wav"}, "--quiet takes no value"}),
    [](const testing::TestParamInfo<UsageErrorCase>& info) { return info.param.name; });

// ---- Settings for the Veltrane builds ---------------------------------------

struct SettingCase {
  const char* name;
  const char* value;
  int expectedId;
  float expectedNormalised;
};

void PrintTo(const SettingCase& c, std::ostream* os) {
  *os << c.name << "=" << c.value;
}

class VeltraneSettingTest : public testing::TestWithParam<SettingCase> {};

TEST_P(VeltraneSettingTest, TakesRealUnitsAndValueTexts) {
  const SettingCase& c = GetParam();
  int id = -1;
  float normalised = -1.0f;
  std::string error;
  ASSERT_TRUE(render::ResolveVeltraneSetting({c.name, c.value}, &id, &normalised, &error)) << error;
  EXPECT_EQ(id, c.expectedId);
  EXPECT_NEAR(normalised, c.expectedNormalised, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(
    Values, VeltraneSettingTest,
    testing::Values(SettingCase{"Delay Time", "0.5", kDelayTime, 0.5f / 3600.0f},
                    SettingCase{"Delay Time", "3600", kDelayTime, 1.0f},
                    // Frequencies are exponential: log2(2000/50) / log2(8000/50).
                    SettingCase{"Filter Cutoff", "2000", kFilterCutoff, 0.726847f},
                    SettingCase{"Filter Cutoff", "50", kFilterCutoff, 0.0f},
                    SettingCase{"Beat Divisor", "1/8", kBeatDivisor, 0.6f},
                    SettingCase{"Beat Divisor", "3", kBeatDivisor, 0.6f},
                    // Its texts "1".."16" stand for the values 0..15.
                    SettingCase{"Sync Group Number", "16", kSyncGroupNumber, 1.0f},
                    SettingCase{"Sync Group Number", "1", kSyncGroupNumber, 0.0f},
                    SettingCase{"Sync Group Number", "0", kSyncGroupNumber, 0.0f},
                    SettingCase{"OSC Port Offset", "Off", kOscPortOffset, 0.0f},
                    SettingCase{"Filter Type", "Band", kFilterType, 0.5f},
                    SettingCase{"Initial Pan", "-1", kInitialPan, 0.0f},
                    SettingCase{"Pitch", "7", kPitch, 19.0f / 24.0f}));

struct SettingErrorCase {
  const char* name;
  const char* value;
  const char* message;
};

void PrintTo(const SettingErrorCase& c, std::ostream* os) {
  *os << c.name << "=" << c.value;
}

class VeltraneSettingErrorTest : public testing::TestWithParam<SettingErrorCase> {};

TEST_P(VeltraneSettingErrorTest, NamesTheCulprit) {
  const SettingErrorCase& c = GetParam();
  int id = -1;
  float normalised = -1.0f;
  std::string error;
  EXPECT_FALSE(render::ResolveVeltraneSetting({c.name, c.value}, &id, &normalised, &error));
  EXPECT_EQ(error, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Values, VeltraneSettingErrorTest,
    testing::Values(
        SettingErrorCase{"Delay Tim", "1", "unknown parameter 'Delay Tim' (see --list-params)"},
        SettingErrorCase{"delay time", "1", "unknown parameter 'delay time' (see --list-params)"},
        SettingErrorCase{"Delay Time", "4000",
                         "value 4000 for 'Delay Time' is outside 0..3600 seconds"},
        SettingErrorCase{"Filter Cutoff", "20",
                         "value 20 for 'Filter Cutoff' is outside 50..8000 Hz"},
        SettingErrorCase{"Pitch LFO Speed", "0.01",
                         "value 0.01 for 'Pitch LFO Speed' is outside 0.05..20 Hz"},
        SettingErrorCase{"Saturation", "12", "value 12 for 'Saturation' is outside 0..11"},
        SettingErrorCase{"Dry Level", "loud", "value 'loud' for 'Dry Level' is not a number"},
        SettingErrorCase{"Beat Divisor", "1/64",
                         "value '1/64' for 'Beat Divisor' is not a number nor one of '1/1', "
                         "'1/2', '1/4', '1/8', '1/16', '1/32'"},
        SettingErrorCase{"Filter Type", "Notch",
                         "value 'Notch' for 'Filter Type' is not a number nor one of 'Thru', "
                         "'Low', 'Band', 'High'"}));

TEST(VeltraneIds, AreRecognised) {
  EXPECT_TRUE(render::IsVeltrane(VstFourCC('O', 'D', 'v', 't')));
  EXPECT_TRUE(render::IsVeltrane(VstFourCC('O', 'D', 'v', 'f')));
  EXPECT_FALSE(render::IsVeltrane(VstFourCC('Z', 'M', 'D', 'L')));
}

// ---- Finding the plug-in ----------------------------------------------------

// Sets an environment variable for one scope, restoring the old value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(PluginSearch, ListsEnvironmentDirsFirstThenTheStandardOnes) {
  ScopedEnv vst("VST_PATH", "/a::/b");
  ScopedEnv lxvst("LXVST_PATH", "/c:");
  ScopedEnv home("HOME", "/home/someone");
  const std::vector<std::string> dirs = render::PluginSearchDirs();
  const std::vector<std::string> expectedStart = {
      "/a", "/b", "/c", "/home/someone/.vst", "/usr/local/lib/vst", "/usr/lib/vst"};
  ASSERT_EQ(dirs.size(), expectedStart.size() + 1);
  EXPECT_TRUE(std::equal(expectedStart.begin(), expectedStart.end(), dirs.begin()));
  EXPECT_EQ(dirs.back().substr(dirs.back().size() - 4), "/vst") << "the build tree's";
}

TEST(PluginSearch, TakesTheFirstDirectoryHoldingThePlugin) {
  toolstest::TempDir empty;
  toolstest::TempDir first;
  toolstest::TempDir second;
  std::ofstream(first.File("Veltrane Fx Loop.so")) << "x";
  std::ofstream(second.File("Veltrane.so")) << "x";
  std::ofstream(second.File("Veltrane Fx Loop.so")) << "x";
  const std::vector<std::string> dirs = {empty.path(), first.path(), second.path()};

  RenderOptions options;
  std::string path;
  std::string error;
  ASSERT_TRUE(render::ResolvePluginPath(options, dirs, &path, &error)) << error;
  EXPECT_EQ(path, second.File("Veltrane.so"));

  options.fxLoop = true;
  ASSERT_TRUE(render::ResolvePluginPath(options, dirs, &path, &error)) << error;
  EXPECT_EQ(path, first.File("Veltrane Fx Loop.so"));

  options.pluginPath = "/given/Other.so";
  ASSERT_TRUE(render::ResolvePluginPath(options, dirs, &path, &error)) << error;
  EXPECT_EQ(path, "/given/Other.so");
}

TEST(PluginSearch, SaysWhereItLookedWhenNothingIsFound) {
  toolstest::TempDir empty;
  RenderOptions options;
  std::string path;
  std::string error;
  EXPECT_FALSE(render::ResolvePluginPath(options, {empty.path(), "/nowhere"}, &path, &error));
  EXPECT_EQ(error,
            "cannot find 'Veltrane.so' in " + empty.path() + ", /nowhere (use --plugin PATH)");
}

// ---- Rendering through ZamDelay ---------------------------------------------

struct RenderCase {
  const char* name;
  int inputChannels;  // 0: no input file, the demo phrase
  int sampleRate;
  int blockSize;
  double tailSeconds;
  bool pcm24;
};

void PrintTo(const RenderCase& c, std::ostream* os) {
  *os << c.name;
}

class RenderThroughZamDelayTest : public testing::TestWithParam<RenderCase> {};

// ZamDelay has one input: the renderer feeds it the mean of the first two
// channels, so the expected output is ZamDelay driven directly with that mix
// followed by the silent tail, in the same blocks.
std::vector<float> DirectRender(const std::vector<float>& mono, const RenderCase& c) {
  std::string error;
  std::unique_ptr<vsthost::PluginHost> host =
      vsthost::PluginHost::Load(toolstest::kZamDelayPath, &error);
  EXPECT_NE(host, nullptr) << error;
  if (!host) return {};
  host->SetSampleRate(c.sampleRate);
  host->SetBlockSize(c.blockSize);
  host->SetParameter(1, 0.1f);  // Time
  host->SetParameter(7, 0.5f);  // Feedback
  host->Resume();
  const size_t tail = static_cast<size_t>(std::llround(c.tailSeconds * c.sampleRate));
  std::vector<std::vector<float>> in{mono};
  in[0].resize(mono.size() + tail, 0.0f);
  std::vector<std::vector<float>> out(1, std::vector<float>(in[0].size()));
  host->ProcessBuffers(in, out, c.blockSize);
  return out[0];
}

TEST_P(RenderThroughZamDelayTest, WritesWhatThePluginProduces) {
  if (!toolstest::RequireZamDelay()) return;
  const RenderCase& c = GetParam();
  toolstest::TempDir dir;

  const std::vector<std::vector<float>> phrase = vsthost::MakeDemoPhrase(c.sampleRate, 120.0);
  std::vector<float> mono(phrase[0].size());
  for (size_t i = 0; i < mono.size(); ++i) mono[i] = 0.5f * (phrase[0][i] + phrase[1][i]);

  RenderOptions options;
  options.pluginPath = toolstest::kZamDelayPath;
  options.settings = {{"Time", "0.1"}, {"Feedback", "0.5"}};
  options.blockSize = c.blockSize;
  options.tailSeconds = c.tailSeconds;
  options.pcm24 = c.pcm24;
  options.outputPath = dir.File("out.wav");
  if (c.inputChannels == 0) {
    options.sampleRate = c.sampleRate;
  } else {
    std::vector<std::vector<float>> channels;
    if (c.inputChannels == 1) {
      channels = {mono};
    } else {
      channels = phrase;
      // Channels past the first two are not heard; a loud one would show.
      for (int extra = 2; extra < c.inputChannels; ++extra) {
        channels.push_back(std::vector<float>(mono.size(), 0.9f));
      }
    }
    options.inputPath = dir.File("in.wav");
    ASSERT_TRUE(toolstest::WriteWav(options.inputPath, channels, c.sampleRate));
  }

  std::vector<std::pair<double, double>> progress;
  std::string error;
  ASSERT_TRUE(render::Render(options, &error, [&](double done, double total) {
    progress.emplace_back(done, total);
  })) << error;

  toolstest::Audio output;
  ASSERT_TRUE(toolstest::ReadAudio(options.outputPath, &output));
  const std::vector<float> expected = DirectRender(mono, c);
  EXPECT_EQ(output.sampleRate, c.sampleRate);
  EXPECT_EQ(output.format & SF_FORMAT_SUBMASK, c.pcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
  ASSERT_EQ(output.channels.size(), 1u) << "ZamDelay has one output";
  ASSERT_EQ(output.frames(), static_cast<long long>(expected.size()));
  const float tolerance = c.pcm24 ? 1.0f / (1 << 22) : 0.0f;
  for (size_t i = 0; i < expected.size(); ++i) {
    const float wanted = std::clamp(expected[i], -1.0f, 1.0f);
    ASSERT_NEAR(output.channels[0][i], wanted, tolerance) << "at frame " << i;
  }

  const double totalSeconds = static_cast<double>(expected.size()) / c.sampleRate;
  ASSERT_FALSE(progress.empty());
  for (size_t i = 1; i < progress.size(); ++i) {
    EXPECT_GT(progress[i].first, progress[i - 1].first);
  }
  EXPECT_DOUBLE_EQ(progress.back().first, totalSeconds);
  EXPECT_DOUBLE_EQ(progress.back().second, totalSeconds);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RenderThroughZamDelayTest,
    testing::Values(RenderCase{"Mono", 1, 44100, 512, 0.5, false},
                    RenderCase{"StereoOddBlocks", 2, 48000, 300, 1.0, false},
                    RenderCase{"ThreeChannelsNoTail", 3, 22050, 1000, 0.0, false},
                    RenderCase{"DemoPhrasePcm24", 0, 32000, 4096, 0.25, true}),
    [](const testing::TestParamInfo<RenderCase>& info) { return info.param.name; });

}  // namespace
