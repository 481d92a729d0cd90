// Both plug-ins as a host sees them: loaded from their shared objects
// through VSTPluginMain by the test host, never linked into the test.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/vsthost/PluginHost.h"

namespace {

struct Build {
  const char* file;
  const char* name;
  int channels;
  VstInt32 uniqueId;
};

const Build kBuilds[] = {
    {"Veltrane.so", "Veltrane", 2, VstFourCC('O', 'D', 'v', 't')},
    {"Veltrane Fx Loop.so", "Veltrane Fx Loop", 6, VstFourCC('O', 'D', 'v', 'f')},
};

std::string PluginPath(const Build& b) {
  return std::string(VELTRANE_BUILD_VST_DIR) + "/" + b.file;
}

class Plugin : public ::testing::TestWithParam<Build> {
 protected:
  void SetUp() override {
    std::string error;
    host = vsthost::PluginHost::Load(PluginPath(GetParam()), &error);
    ASSERT_NE(host, nullptr) << error;
  }
  std::unique_ptr<vsthost::PluginHost> host;
};

TEST_P(Plugin, AnswersWithItsIdentity) {
  const Build& b = GetParam();
  EXPECT_EQ(host->EffectName(), b.name);
  EXPECT_EQ(host->ProductString(), b.name);
  EXPECT_EQ(host->VendorString(), "Odrisk");
  EXPECT_EQ(host->VendorVersion(), 131330);
  EXPECT_EQ(host->UniqueId(), b.uniqueId);
  EXPECT_EQ(host->NumInputs(), b.channels);
  EXPECT_EQ(host->NumOutputs(), b.channels);
  EXPECT_EQ(host->NumParams(), 82);
  EXPECT_EQ(host->NumPrograms(), 12);
  EXPECT_EQ(host->effect()->flags, 24);
  EXPECT_EQ(host->Dispatch(effGetVstVersion), 2400);
  EXPECT_EQ(host->Dispatch(effCanDo, 0, 0, const_cast<char*>("receiveVstMidiEvent")), 1);
  EXPECT_EQ(host->ParameterName(39), "Tap Rec Start C");
  EXPECT_EQ(host->ParameterLabel(1), "seconds");
  EXPECT_EQ(host->ParameterDisplay(1), "1.000");
  EXPECT_EQ(host->ProgramName(), "Defaults");
  EXPECT_EQ(host->ProgramNameIndexed(11), "String Warmth");
  host->SetProgram(3);
  EXPECT_EQ(host->ProgramName(), "Looong Delay");
  EXPECT_EQ(host->ParameterDisplay(1), "26.27");
}

TEST_P(Plugin, SwitchingOnAsksForMidiTwice) {
  host->SetSampleRate(48000);
  host->SetBlockSize(256);
  host->Resume();
  EXPECT_EQ(host->wantMidiCount, 2);
  host->Suspend();
}

TEST_P(Plugin, ResourceFolderSitsBesideTheObject) {
  std::filesystem::path so = PluginPath(GetParam());
  EXPECT_TRUE(
      std::filesystem::is_directory(so.parent_path() / (so.stem().string() + ".resources")));
}

TEST_P(Plugin, ExportsOnlyTheEntryPoint) {
  void* library = dlopen(PluginPath(GetParam()).c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  EXPECT_NE(dlsym(library, "VSTPluginMain"), nullptr);
  // The parameter table and the adapter stay inside the object.
  for (const char* hidden : {"_Z18RealFromNormalisedif", "astParamInfos", "_Z15FindParamByNamePKc",
                             "_ZN11AudioEffect19dispatchEffectClassEP7AEffectiilPvf"}) {
    EXPECT_EQ(dlsym(library, hidden), nullptr) << hidden;
  }
  dlclose(library);
}

// Blocks of any size, in place or into separate buffers, give the same
// samples (each run on a fresh instance), and nothing is written outside a
// channel's block.
TEST_P(Plugin, ProcessesInPlaceAndSeparatelyAlike) {
  const int channels = GetParam().channels;
  constexpr int kFrames = 5000;
  constexpr int kGuard = 16;
  constexpr float kGuardValue = 1234.5f;
  std::vector<std::vector<float>> input(channels);
  for (int c = 0; c < channels; ++c) {
    input[c].resize(kFrames);
    for (int i = 0; i < kFrames; ++i) input[c][i] = std::sin(0.01f * i * (c + 1)) * 0.5f;
  }
  auto fresh = [&] {
    std::string error;
    auto h = vsthost::PluginHost::Load(PluginPath(GetParam()), &error);
    EXPECT_NE(h, nullptr) << error;
    h->SetSampleRate(44100);
    h->SetBlockSize(512);
    h->Resume();
    return h;
  };

  for (int block : {1, 37, 128, 512}) {
    SCOPED_TRACE(block);
    // Separate buffers with guard zones around every output channel.
    auto separate = fresh();
    std::vector<std::vector<float>> padded(channels,
                                           std::vector<float>(kFrames + 2 * kGuard, kGuardValue));
    std::vector<float*> in(channels), out(channels);
    for (int done = 0; done < kFrames; done += block) {
      const int n = std::min(block, kFrames - done);
      for (int c = 0; c < channels; ++c) {
        in[c] = input[c].data() + done;
        out[c] = padded[c].data() + kGuard + done;
      }
      separate->ProcessReplacing(in.data(), out.data(), n);
    }
    std::vector<std::vector<float>> inPlace(channels, std::vector<float>(kFrames));
    fresh()->ProcessBuffers(input, inPlace, block, /*inPlace=*/true);
    for (int c = 0; c < channels; ++c) {
      for (int g = 0; g < kGuard; ++g) {
        ASSERT_EQ(padded[c][g], kGuardValue) << "channel " << c;
        ASSERT_EQ(padded[c][kGuard + kFrames + g], kGuardValue) << "channel " << c;
      }
      for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(padded[c][kGuard + i], inPlace[c][i]) << "channel " << c << " frame " << i;
        ASSERT_TRUE(std::isfinite(inPlace[c][i]));
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, Plugin, ::testing::ValuesIn(kBuilds), [](const auto& info) {
  return info.param.channels == 6 ? "FxLoop" : "Standard";
});

TEST(PluginEntry, AHostWithoutAVersionGetsNoInstance) {
  std::string error;
  vsthost::HostOptions options;
  options.versionAnswer = 0;
  auto host = vsthost::PluginHost::Load(PluginPath(kBuilds[0]), &error, options);
  EXPECT_EQ(host, nullptr);
  EXPECT_NE(error.find("Veltrane.so"), std::string::npos) << error;
}

TEST(PluginEntry, InstancesInOneProcessAreIndependent) {
  std::string error;
  auto first = vsthost::PluginHost::Load(PluginPath(kBuilds[0]), &error);
  auto second = vsthost::PluginHost::Load(PluginPath(kBuilds[0]), &error);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  first->SetParameter(12, 0.5f);
  EXPECT_EQ(first->ParameterDisplay(12), "50.00");
  EXPECT_EQ(second->ParameterDisplay(12), "90.00");
  first->Close();
  EXPECT_EQ(second->ParameterDisplay(12), "90.00");
}

}  // namespace
