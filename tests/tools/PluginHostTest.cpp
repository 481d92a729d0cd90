// The test host against a real third-party plug-in, ZamDelay: if our VST
// declarations (record layouts, opcodes, the time info) were off, its answers
// and its audio would be too.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "tests/tools/TestFiles.h"
#include "tools/vsthost/PluginHost.h"

namespace {

using toolstest::kZamDelayPath;
using toolstest::RequireZamDelay;
using vsthost::PluginHost;

// ZamDelay's parameters: Time spans 1..8000 ms linearly, Divisor 1..5 maps to
// whole, half, quarter, eighth and sixteenth notes.
constexpr int kTime = 1;
constexpr int kSyncBpm = 2;
constexpr int kDivisor = 4;
constexpr int kDryWet = 6;
constexpr int kFeedback = 7;
constexpr float TimeParam(float ms) {
  return (ms - 1.0f) / 7999.0f;
}

constexpr double kRate = 48000.0;
constexpr int kImpulseAt = 100;
// ZamDelay's low-pass puts the peak of an echoed impulse a couple of frames
// after the delay time.
constexpr int kEchoSpread = 8;

std::unique_ptr<PluginHost> LoadZamDelay() {
  std::string error;
  std::unique_ptr<PluginHost> host = PluginHost::Load(kZamDelayPath, &error);
  EXPECT_NE(host, nullptr) << error;
  if (host) {
    host->SetSampleRate(kRate);
    host->SetBlockSize(512);
  }
  return host;
}

// Where the largest magnitude after the impulse's own neighbourhood lies.
size_t EchoPeak(const std::vector<float>& output) {
  size_t best = 0;
  float largest = 0.0f;
  for (size_t i = kImpulseAt + 50; i < output.size(); ++i) {
    if (std::fabs(output[i]) > largest) {
      largest = std::fabs(output[i]);
      best = i;
    }
  }
  return best;
}

TEST(ZamDelayHost, ReportsItsIdentity) {
  if (!RequireZamDelay()) return;
  std::unique_ptr<PluginHost> host = LoadZamDelay();
  ASSERT_NE(host, nullptr);
  AEffect* effect = host->effect();
  EXPECT_EQ(effect->magic, kEffectMagic);
  EXPECT_EQ(host->EffectName(), "ZamDelay");
  EXPECT_EQ(host->VendorString(), "Damien Zammit");
  EXPECT_EQ(host->ProductString(), "ZamDelay");
  EXPECT_EQ(host->UniqueId(), VstFourCC('Z', 'M', 'D', 'L'));
  EXPECT_EQ(host->NumInputs(), 1);
  EXPECT_EQ(host->NumOutputs(), 1);
  EXPECT_EQ(host->NumParams(), 8);
  EXPECT_EQ(host->NumPrograms(), 1);
  EXPECT_EQ(host->ProgramNameIndexed(0), "Default");
  EXPECT_EQ(host->GetProgram(), 0);
  EXPECT_TRUE(effect->flags & effFlagsCanReplacing);
  EXPECT_NE(effect->processReplacing, nullptr);
  EXPECT_EQ(effect->user, host.get());
}

struct ParamCase {
  int index;
  const char* name;
  const char* defaultDisplay;
  const char* label;
};

void PrintTo(const ParamCase& c, std::ostream* os) {
  *os << c.name;
}

class ZamDelayParamTest : public testing::TestWithParam<ParamCase> {};

TEST_P(ZamDelayParamTest, NameDefaultAndLabel) {
  if (!RequireZamDelay()) return;
  const ParamCase& c = GetParam();
  std::unique_ptr<PluginHost> host = LoadZamDelay();
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->ParameterName(c.index), c.name);
  EXPECT_EQ(host->ParameterLabel(c.index), c.label);
  EXPECT_EQ(host->ParameterDisplay(c.index), c.defaultDisplay);
}

INSTANTIATE_TEST_SUITE_P(AllParams, ZamDelayParamTest,
                         testing::Values(ParamCase{0, "Invert", "0.000000", " "},
                                         ParamCase{1, "Time", "160.000000", "ms"},
                                         ParamCase{2, "Sync BPM", "0.000000", " "},
                                         ParamCase{3, "LPF", "6000.000000", "Hz"},
                                         ParamCase{4, "Divisor", "3", " "},
                                         ParamCase{5, "Output Gain", "0.000000", "dB"},
                                         ParamCase{6, "Dry/Wet", "0.500000", " "},
                                         ParamCase{7, "Feedback", "0.000000", " "}),
                         [](const testing::TestParamInfo<ParamCase>& info) {
                           return "Param" + std::to_string(info.param.index);
                         });

TEST(ZamDelayHost, SetParameterReachesThePlugin) {
  if (!RequireZamDelay()) return;
  std::unique_ptr<PluginHost> host = LoadZamDelay();
  ASSERT_NE(host, nullptr);
  host->SetParameter(kTime, TimeParam(250.0f));
  EXPECT_FLOAT_EQ(host->GetParameter(kTime), TimeParam(250.0f));
  EXPECT_EQ(host->ParameterDisplay(kTime), "250.000000");
}

// An impulse through the delay set to a fixed time, wet only, no feedback.
std::vector<float> EchoOfImpulse(float delayMs, int frames, int blockFrames, bool inPlace) {
  std::unique_ptr<PluginHost> host = LoadZamDelay();
  if (!host) return {};
  host->SetParameter(kTime, TimeParam(delayMs));
  host->SetParameter(kDryWet, 1.0f);
  host->SetParameter(kFeedback, 0.0f);
  host->Resume();
  std::vector<std::vector<float>> in(1, std::vector<float>(frames, 0.0f));
  std::vector<std::vector<float>> out(1, std::vector<float>(frames, 0.0f));
  in[0][kImpulseAt] = 1.0f;
  host->ProcessBuffers(in, out, blockFrames, inPlace);
  EXPECT_DOUBLE_EQ(host->transport.samplePos, frames);
  return out[0];
}

TEST(ZamDelayHost, DelaysAnImpulseByTheSetTime) {
  if (!RequireZamDelay()) return;
  const std::vector<float> out = EchoOfImpulse(250.0f, 24000, 512, false);
  ASSERT_EQ(out.size(), 24000u);
  for (float sample : out) ASSERT_TRUE(std::isfinite(sample));
  const size_t expected = kImpulseAt + 12000;  // 250 ms at 48 kHz
  const size_t peak = EchoPeak(out);
  EXPECT_GE(peak, expected);
  EXPECT_LT(peak, expected + kEchoSpread);
  EXPECT_GT(std::fabs(out[peak]), 0.1f);
  // Wet only and no feedback: nothing between the impulse and its echo.
  for (size_t i = kImpulseAt + 50; i < expected - kEchoSpread; ++i) {
    ASSERT_LT(std::fabs(out[i]), 1e-4f) << "at frame " << i;
  }
}

struct BlockCase {
  int frames;
  int blockFrames;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
  *os << c.frames << " frames in blocks of " << c.blockFrames;
}

class ZamDelayBlockTest : public testing::TestWithParam<BlockCase> {};

// In-place and separate buffers must give the same audio, including when the
// last block is shorter than the others.
TEST_P(ZamDelayBlockTest, InPlaceMatchesSeparateBuffers) {
  if (!RequireZamDelay()) return;
  const BlockCase& c = GetParam();
  const std::vector<float> separate = EchoOfImpulse(10.0f, c.frames, c.blockFrames, false);
  const std::vector<float> inPlace = EchoOfImpulse(10.0f, c.frames, c.blockFrames, true);
  ASSERT_EQ(separate.size(), static_cast<size_t>(c.frames));
  EXPECT_EQ(separate, inPlace);
  // The 10 ms echo lands where it should however the audio is cut into
  // blocks; with 600 frames in blocks of 512 it falls in the short last block.
  const size_t peak = EchoPeak(separate);
  EXPECT_GE(peak, static_cast<size_t>(kImpulseAt + 480));
  EXPECT_LT(peak, static_cast<size_t>(kImpulseAt + 480 + kEchoSpread));
}

INSTANTIATE_TEST_SUITE_P(Blocks, ZamDelayBlockTest,
                         testing::Values(BlockCase{600, 512}, BlockCase{600, 100},
                                         BlockCase{600, 7}, BlockCase{1000, 999},
                                         BlockCase{600, 600}),
                         [](const testing::TestParamInfo<BlockCase>& info) {
                           return std::to_string(info.param.frames) + "In" +
                                  std::to_string(info.param.blockFrames);
                         });

struct SyncCase {
  double tempo;
  float divisor;  // normalised
  int expectedDelayFrames;
};

void PrintTo(const SyncCase& c, std::ostream* os) {
  *os << c.tempo << " BPM, divisor " << c.divisor;
}

class ZamDelaySyncTest : public testing::TestWithParam<SyncCase> {};

// With Sync BPM on, ZamDelay takes its delay from the tempo in the time info
// the host answers to audioMasterGetTime.
TEST_P(ZamDelaySyncTest, EchoFollowsHostTempo) {
  if (!RequireZamDelay()) return;
  const SyncCase& c = GetParam();
  std::unique_ptr<PluginHost> host = LoadZamDelay();
  ASSERT_NE(host, nullptr);
  host->SetParameter(kSyncBpm, 1.0f);
  host->SetParameter(kDivisor, c.divisor);
  host->SetParameter(kDryWet, 1.0f);
  host->transport.tempo = c.tempo;
  host->Resume();
  const int frames = c.expectedDelayFrames + 2000;
  std::vector<std::vector<float>> in(1, std::vector<float>(frames, 0.0f));
  std::vector<std::vector<float>> out(1, std::vector<float>(frames, 0.0f));
  in[0][kImpulseAt] = 1.0f;
  host->ProcessBuffers(in, out, 512);

  const size_t expected = kImpulseAt + c.expectedDelayFrames;
  const size_t peak = EchoPeak(out[0]);
  EXPECT_GE(peak, expected);
  EXPECT_LT(peak, expected + kEchoSpread);
}

INSTANTIATE_TEST_SUITE_P(Tempos, ZamDelaySyncTest,
                         testing::Values(SyncCase{120, 0.5f, 24000},    // quarter note
                                         SyncCase{100, 0.5f, 28800},    // quarter note
                                         SyncCase{120, 0.75f, 12000},   // eighth note
                                         SyncCase{90, 0.75f, 16000},    // eighth note
                                         SyncCase{150, 0.25f, 38400}),  // half note
                         [](const testing::TestParamInfo<SyncCase>& info) {
                           return "Tempo" + std::to_string(int(info.param.tempo)) + "Delay" +
                                  std::to_string(info.param.expectedDelayFrames);
                         });

// Callbacks reach the host that owns the effect, also with two instances of
// one plug-in alive.
TEST(ZamDelayHost, CallbacksGoToTheOwningHost) {
  if (!RequireZamDelay()) return;
  std::unique_ptr<PluginHost> first = LoadZamDelay();
  std::unique_ptr<PluginHost> second = LoadZamDelay();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  first->Resume();
  second->Resume();
  std::vector<std::vector<float>> in(1, std::vector<float>(2048, 0.0f));
  std::vector<std::vector<float>> out(1, std::vector<float>(2048, 0.0f));
  second->ProcessBuffers(in, out, 512);
  if (second->getTimeCount == 0) GTEST_SKIP() << "ZamDelay did not ask for the time";
  EXPECT_EQ(first->getTimeCount, 0);
}

struct LoadErrorCase {
  const char* name;
  // The file to load; an empty path means a text file the test writes.
  const char* path;
  const char* cause;
};

void PrintTo(const LoadErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class LoadErrorTest : public testing::TestWithParam<LoadErrorCase> {};

TEST_P(LoadErrorTest, NamesTheFileAndTheCause) {
  const LoadErrorCase& c = GetParam();
  toolstest::TempDir dir;
  std::string path = c.path;
  if (path.empty()) {
    path = dir.File("not-a-plugin.so");
    std::ofstream(path) << "this is text, not a shared object\n";
  }
  std::string error;
  EXPECT_EQ(PluginHost::Load(path, &error), nullptr);
  EXPECT_NE(error.find("'" + path + "'"), std::string::npos) << error;
  EXPECT_NE(error.find(c.cause), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadErrorTest,
    testing::Values(LoadErrorCase{"Missing", "/nonexistent/dir/Plugin.so", "cannot load"},
                    LoadErrorCase{"NotSharedObject", "", "cannot load"},
                    LoadErrorCase{"NoEntryPoint", "/usr/lib/x86_64-linux-gnu/libsndfile.so.1",
                                  "has no VSTPluginMain"}),
    [](const testing::TestParamInfo<LoadErrorCase>& info) { return info.param.name; });

}  // namespace
