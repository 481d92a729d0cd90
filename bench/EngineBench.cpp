// What processing costs: processReplacing per stereo frame at 44.1 kHz in
// blocks of 512 frames of noise, for every factory program and for the states
// that take other loops, in both plug-ins; Debian's ZamDelay per (mono) frame
// through the same host for comparison; and the time and memory an hour of
// tape takes. Run: build/bin/veltrane_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "shell/ParamTable.h"
#include "tools/vsthost/PluginHost.h"

namespace {

constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr const char* kZamDelay = "/usr/lib/vst/ZamDelay-vst.so";

std::string PluginPath(bool fxLoop) {
  return std::string(VELTRANE_BUILD_VST_DIR) + (fxLoop ? "/Veltrane Fx Loop.so" : "/Veltrane.so");
}

// A plug-in switched on with its buffers of noise, ready for blocks.
class Rig {
 public:
  explicit Rig(const std::string& path) {
    std::string error;
    m_host = vsthost::PluginHost::Load(path, &error);
    if (!m_host) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return;
    }
    m_host->SetSampleRate(kRate);
    m_host->SetBlockSize(kBlock);
    m_host->Resume();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    m_in.assign(m_host->NumInputs(), std::vector<float>(kBlock));
    m_out.assign(m_host->NumOutputs(), std::vector<float>(kBlock));
    for (auto& channel : m_in) {
      for (float& s : channel) s = noise(random);
    }
    for (auto& c : m_in) m_inPtr.push_back(c.data());
    for (auto& c : m_out) m_outPtr.push_back(c.data());
  }
  ~Rig() {
    if (m_host) m_host->Suspend();
  }
  bool ok() const { return m_host != nullptr; }
  vsthost::PluginHost& host() { return *m_host; }
  void SetReal(int id, float value) { m_host->SetParameter(id, NormalisedFromReal(id, value)); }
  void Block() {
    m_host->ProcessReplacing(m_inPtr.data(), m_outPtr.data(), kBlock);
    benchmark::DoNotOptimize(m_out[0][kBlock - 1]);
  }

 private:
  std::unique_ptr<vsthost::PluginHost> m_host;
  std::vector<std::vector<float>> m_in, m_out;
  std::vector<float*> m_inPtr, m_outPtr;
};

void Measure(benchmark::State& state, Rig& rig, const std::function<void(Rig&, int)>& everyBlock) {
  if (!rig.ok()) {
    state.SkipWithError("cannot load the plug-in");
    return;
  }
  int block = 0;
  for (auto _ : state) {
    if (everyBlock) everyBlock(rig, block);
    rig.Block();
    ++block;
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
  state.counters["ns_per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBlock),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// ---- Veltrane: every factory program ----

void Program(benchmark::State& state, bool fxLoop) {
  Rig rig(PluginPath(fxLoop));
  if (rig.ok()) {
    rig.host().SetProgram(static_cast<int>(state.range(0)));
    for (int i = 0; i < 900; ++i) rig.Block();  // ten seconds: past the first glide
  }
  state.SetLabel(rig.ok() ? rig.host().ProgramName() : "");
  Measure(state, rig, {});
}

// ---- Veltrane: the states that take other loops ----

struct StateCase {
  const char* name;
  std::function<void(Rig&)> setup;
  std::function<void(Rig&, int)> everyBlock;  // keeps the state going
};

const std::vector<StateCase>& States() {
  static const std::vector<StateCase> states = {
      {"Gliding", [](Rig&) {},
       [](Rig& r, int block) {
         // A new delay every two seconds: the heads never settle.
         if (block % 172 == 0) r.SetReal(kDelayTime, (block / 172) % 2 ? 0.5f : 1.0f);
       }},
      {"Crossfading", [](Rig& r) { r.SetReal(kDelayInertiaMode, 1); },
       [](Rig& r, int block) {
         if (block % 8 == 0) r.SetReal(kDelayTime, (block / 8) % 2 ? 0.5f : 0.6f);
       }},
      {"Reverse", [](Rig& r) { r.SetReal(kReverse, 1); }, {}},
      {"PitchUp7NoInertia",
       [](Rig& r) {
         r.SetReal(kPitchInertia, 0);
         r.SetReal(kPitch, 7);
       },
       {}},
      {"Digital", [](Rig& r) { r.SetReal(kDigitalMode, 1); }, {}},
      {"RecordOffset", [](Rig& r) { r.SetReal(kRecordOffsetEnable, 1); }, {}},
      {"EveryToneStage",
       [](Rig& r) {
         r.SetReal(kCrunch, 60);
         r.SetReal(kDrive, 12);
         r.SetReal(kPostGain, 3);
         r.SetReal(kLowCutAmount, 50);
         r.SetReal(kHighCutAmount, 50);
         r.SetReal(kSaturation, 5);
         r.SetReal(kFilterType, 2.5f);
         r.SetReal(kFilterLfoDepth, 1);
         r.SetReal(kFilterLfoSpeed, 2);
         r.SetReal(kTapeReadMode, 1);
         // In the FX-loop plug-in both loops run too (their returns are noise).
         r.SetReal(kPreSatFxLoopEnable, 1);
         r.SetReal(kPreWriteFxLoopEnable, 1);
       },
       {}},
  };
  return states;
}

void EngineState(benchmark::State& state, bool fxLoop) {
  const StateCase& c = States()[state.range(0)];
  state.SetLabel(c.name);
  Rig rig(PluginPath(fxLoop));
  if (rig.ok()) {
    c.setup(rig);
    for (int i = 0; i < 900; ++i) rig.Block();  // ten seconds: settled where it settles
  }
  Measure(state, rig, c.everyBlock);
}

// ---- Sixteen instances in one process, two sync groups ----

// Each iteration is one block for each of the sixteen; the figure is per
// stereo frame of one instance, so it compares with the single-instance ones.
void SixteenInstances(benchmark::State& state) {
  std::vector<std::unique_ptr<Rig>> rigs;
  for (int i = 0; i < 16; ++i) {
    rigs.push_back(std::make_unique<Rig>(PluginPath(false)));
    Rig& r = *rigs.back();
    if (!r.ok()) {
      state.SkipWithError("cannot load the plug-in");
      return;
    }
    r.SetReal(kSyncGroupNumber, i < 8 ? 0 : 1);
    const int role = i % 8;  // one master per group, then "Tempo" and "Time" followers
    r.SetReal(kSyncGroupMode, role == 0 ? 1.0f : role % 2 ? 2.0f : 3.0f);
    r.SetReal(kHostSync, 1);
    r.host().transport.tempo = 100.0 + i;
  }
  for (int i = 0; i < 900; ++i) {
    for (auto& r : rigs) r->Block();
  }
  for (auto _ : state) {
    for (auto& r : rigs) r->Block();
  }
  state.SetItemsProcessed(state.iterations() * kBlock * 16);
  state.counters["ns_per_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBlock * 16),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// ---- ZamDelay, a one-tap mono delay, through the same host ----

void ZamDelay(benchmark::State& state) {
  Rig rig(kZamDelay);
  if (rig.ok()) {
    rig.host().SetParameter(7, 0.5f);  // some feedback
    for (int i = 0; i < 200; ++i) rig.Block();
  }
  Measure(state, rig, {});
}

// ---- An hour of tape ----

long ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  long size = 0, resident = 0;
  statm >> size >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

void HourOfTape(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Rig rig(PluginPath(false));
    if (!rig.ok()) {
      state.SkipWithError("cannot load the plug-in");
      return;
    }
    const long before = ResidentBytes();
    rig.SetReal(kMaxDelayTime, 3600.0f);
    state.ResumeTiming();
    rig.Block();  // the block that allocates and clears the tape
    state.PauseTiming();
    state.counters["tape_MiB"] = 3600.0 * kRate * 8 / 1048576.0;
    state.counters["resident_growth_MiB"] = (ResidentBytes() - before) / 1048576.0;
    state.ResumeTiming();
  }
}

void Register() {
  for (bool fx : {false, true}) {
    const std::string build = fx ? "FxLoop" : "Standard";
    benchmark::RegisterBenchmark(("Program/" + build).c_str(), Program, fx)
        ->DenseRange(0, 11)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("State/" + build).c_str(), EngineState, fx)
        ->DenseRange(0, static_cast<int>(States().size()) - 1)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("SixteenInstances", SixteenInstances)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("ZamDelay", ZamDelay)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("HourOfTape", HourOfTape)
      ->Unit(benchmark::kMillisecond)
      ->Iterations(3);
}

// Collects the cost per frame of every run to compare with ZamDelay.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      auto it = run.counters.find("ns_per_frame");
      if (it == run.counters.end() || run.error_occurred) continue;
      m_costs.push_back(
          {run.benchmark_name() + (run.report_label.empty() ? "" : " " + run.report_label),
           it->second.value * 1e9});
    }
  }
  void PrintRatios() const {
    double zam = 0;
    for (const auto& [name, ns] : m_costs) {
      if (name.rfind("ZamDelay", 0) == 0) zam = ns;
    }
    if (zam == 0) {
      std::printf("\nZamDelay was not measured (is zam-plugins installed?)\n");
      return;
    }
    std::printf("\nCost per stereo frame relative to ZamDelay per mono frame (%.2f ns):\n", zam);
    for (const auto& [name, ns] : m_costs) {
      std::printf("  %-48s %8.2f ns  %5.2fx\n", name.c_str(), ns, ns / zam);
    }
  }

 private:
  std::vector<std::pair<std::string, double>> m_costs;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Register();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
