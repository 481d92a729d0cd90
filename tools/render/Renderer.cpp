#include "tools/render/Renderer.h"

#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "shell/ParamTable.h"
#include "tools/vsthost/DemoPhrase.h"

namespace render {

namespace {

constexpr double kDefaultDemoRate = 44100.0;
constexpr const char* kPluginFile = "Veltrane.so";
constexpr const char* kFxLoopPluginFile = "Veltrane Fx Loop.so";

// The text of a number as a person would type it: "3600", "0.05", "1e+06".
std::string NumberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Quoted(const std::string& text) {
  return "'" + text + "'";
}

// A whole-string number; rejects trailing text, NaN and infinities.
bool ParseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const double parsed = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno == ERANGE || !std::isfinite(parsed)) {
    return false;
  }
  *value = parsed;
  return true;
}

bool ParseWhole(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno == ERANGE) return false;
  *value = parsed;
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// ---- Parameter settings ---------------------------------------------------

// The value a text of an indexed parameter (or of Filter Type) stands for.
bool ValueFromText(int id, const std::string& text, double* value) {
  if (const ValueStringList* list = ValueStringsFor(id)) {
    for (int i = 0; i < list->count; ++i) {
      if (text == list->strings[i]) {
        *value = astParamInfos[id].minimum + i;
        return true;
      }
    }
  }
  if (id == kFilterType) {
    for (int i = 0; i <= 4; ++i) {
      const char* name = FilterTypeText(static_cast<float>(i));
      if (name != nullptr && text == name) {
        *value = i;
        return true;
      }
    }
  }
  return false;
}

std::string ValueTextsOf(int id) {
  std::string texts;
  auto add = [&texts](const char* text) {
    if (texts.find(std::string("'") + text + "'") != std::string::npos) return;
    texts += texts.empty() ? "" : ", ";
    texts += Quoted(text);
  };
  if (const ValueStringList* list = ValueStringsFor(id)) {
    for (int i = 0; i < list->count; ++i) add(list->strings[i]);
  }
  if (id == kFilterType) {
    for (int i = 0; i <= 4; ++i) add(FilterTypeText(static_cast<float>(i)));
  }
  return texts;
}

std::string RangeText(const ParamInfo& info) {
  std::string text = NumberText(info.minimum) + ".." + NumberText(info.maximum);
  const char* label = UnitLabel(info.unit);
  if (label[0] != '\0') text += std::string(" ") + label;
  return text;
}

bool ApplyForeignSetting(vsthost::PluginHost& host, const ParamSetting& setting,
                         std::string* error) {
  int index = -1;
  for (int i = 0; i < host.NumParams() && index < 0; ++i) {
    if (host.ParameterName(i) == setting.name) index = i;
  }
  if (index < 0) {
    *error = "unknown parameter " + Quoted(setting.name) + " (see --list-params)";
    return false;
  }
  double value = 0.0;
  if (!ParseNumber(setting.value, &value)) {
    *error = "value " + Quoted(setting.value) + " for " + Quoted(setting.name) + " is not a number";
    return false;
  }
  if (value < 0.0 || value > 1.0) {
    *error = "value " + setting.value + " for " + Quoted(setting.name) + " is outside 0..1";
    return false;
  }
  host.SetParameter(index, static_cast<float>(value));
  return true;
}

bool ApplyProgram(vsthost::PluginHost& host, const std::string& program, std::string* error) {
  const int count = host.NumPrograms();
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(host.ProgramNameIndexed(i));

  int index = -1;
  if (AllDigits(program)) {
    long number = 0;
    if (ParseWhole(program, &number) && number < count) index = static_cast<int>(number);
  } else {
    const auto found = std::find(names.begin(), names.end(), program);
    if (found != names.end()) index = static_cast<int>(found - names.begin());
  }
  if (index < 0) {
    std::string available;
    for (int i = 0; i < count; ++i) {
      available += (i == 0 ? "" : ", ") + std::to_string(i) + " " + Quoted(names[i]);
    }
    *error = "unknown program " + Quoted(program) +
             "; the programs are: " + (available.empty() ? "(none)" : available);
    return false;
  }
  host.SetProgram(index);
  return true;
}

// ---- Files ----------------------------------------------------------------

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// Where the samples fed to the plug-in come from: a sound file read block by
// block, or the demo phrase held in memory.
class Source {
 public:
  virtual ~Source() = default;
  virtual double sampleRate() const = 0;
  virtual long long frames() const = 0;
  // Reads up to frames of left and right; returns how many it read.
  virtual int Read(float* left, float* right, int frames) = 0;
};

class FileSource : public Source {
 public:
  static std::unique_ptr<FileSource> Open(const std::string& path, std::string* error) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
      *error = "cannot open input file " + Quoted(path) + ": " + sf_strerror(nullptr);
      return nullptr;
    }
    if (info.channels < 1 || info.samplerate <= 0) {
      sf_close(file);
      *error = "input file " + Quoted(path) + " has no audio";
      return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(SndfilePtr(file), info));
  }

  double sampleRate() const override { return info_.samplerate; }
  long long frames() const override { return info_.frames; }

  int Read(float* left, float* right, int frames) override {
    interleaved_.resize(static_cast<size_t>(frames) * info_.channels);
    const int got = static_cast<int>(sf_readf_float(file_.get(), interleaved_.data(), frames));
    const int channels = info_.channels;
    const int rightChannel = channels > 1 ? 1 : 0;  // a mono file feeds both sides
    for (int i = 0; i < got; ++i) {
      left[i] = interleaved_[static_cast<size_t>(i) * channels];
      right[i] = interleaved_[static_cast<size_t>(i) * channels + rightChannel];
    }
    return std::max(got, 0);
  }

 private:
  FileSource(SndfilePtr file, const SF_INFO& info) : file_(std::move(file)), info_(info) {}
  SndfilePtr file_;
  SF_INFO info_;
  std::vector<float> interleaved_;
};

class BufferSource : public Source {
 public:
  BufferSource(std::vector<std::vector<float>> channels, double sampleRate)
      : channels_(std::move(channels)), sampleRate_(sampleRate) {}

  double sampleRate() const override { return sampleRate_; }
  long long frames() const override { return static_cast<long long>(channels_[0].size()); }

  int Read(float* left, float* right, int frames) override {
    const int got = static_cast<int>(
        std::min<long long>(frames, static_cast<long long>(channels_[0].size()) - position_));
    std::copy_n(channels_[0].begin() + position_, got, left);
    std::copy_n(channels_[1].begin() + position_, got, right);
    position_ += got;
    return got;
  }

 private:
  std::vector<std::vector<float>> channels_;
  double sampleRate_;
  long long position_ = 0;
};

std::unique_ptr<Source> OpenSource(const RenderOptions& options, std::string* error) {
  if (options.inputPath.empty()) {
    const double rate = options.sampleRate > 0.0 ? options.sampleRate : kDefaultDemoRate;
    return std::make_unique<BufferSource>(vsthost::MakeDemoPhrase(rate, options.tempo), rate);
  }
  std::unique_ptr<FileSource> file = FileSource::Open(options.inputPath, error);
  if (file == nullptr) return nullptr;
  if (options.sampleRate > 0.0 && options.sampleRate != file->sampleRate()) {
    *error = "--rate " + NumberText(options.sampleRate) + " differs from the " +
             NumberText(file->sampleRate()) + " Hz of input file " + Quoted(options.inputPath) +
             " (--rate is for the demo phrase only)";
    return nullptr;
  }
  return file;
}

// Writing a file truncates it, so the output must not be the file being read.
bool SameFile(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// ---- Command line ---------------------------------------------------------

bool ParseBounded(const std::string& option, const std::string& text, double lowest, double highest,
                  double* value, std::string* error) {
  if (!ParseNumber(text, value) || *value < lowest || *value > highest) {
    *error = option + " needs a number from " + NumberText(lowest) + " to " + NumberText(highest) +
             ", not " + Quoted(text);
    return false;
  }
  return true;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, RenderOptions* options,
                      std::string* error) {
  *options = RenderOptions{};
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      if (!options->inputPath.empty()) {
        *error = "only one input file may be given, not both " + Quoted(options->inputPath) +
                 " and " + Quoted(arg);
        return false;
      }
      options->inputPath = arg;
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }

    // "--name=value" is accepted as well as "--name value".
    std::string name = arg;
    std::string value;
    bool valueInline = false;
    if (arg.rfind("--", 0) == 0) {
      const size_t equals = arg.find('=');
      if (equals != std::string::npos) {
        name = arg.substr(0, equals);
        value = arg.substr(equals + 1);
        valueInline = true;
      }
    }
    auto takeValue = [&]() {
      if (valueInline) return true;
      if (i + 1 >= argc) {
        *error = name + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    auto flag = [&](bool* target) {
      if (valueInline) {
        *error = name + " takes no value";
        return false;
      }
      *target = true;
      return true;
    };

    double number = 0.0;
    if (name == "-h" || name == "--help") {
      if (!flag(&options->help)) return false;
    } else if (name == "--fx-loop") {
      if (!flag(&options->fxLoop)) return false;
    } else if (name == "--list-params") {
      if (!flag(&options->listParams)) return false;
    } else if (name == "--list-programs") {
      if (!flag(&options->listPrograms)) return false;
    } else if (name == "--quiet" || name == "-q") {
      if (!flag(&options->quiet)) return false;
    } else if (name == "--pcm24") {
      if (!flag(&options->pcm24)) return false;
    } else if (name == "-o" || name == "--output") {
      if (!takeValue()) return false;
      options->outputPath = value;
    } else if (name == "--plugin") {
      if (!takeValue()) return false;
      options->pluginPath = value;
    } else if (name == "--program") {
      if (!takeValue()) return false;
      options->program = value;
    } else if (name == "--set") {
      if (!takeValue()) return false;
      const size_t equals = value.find('=');
      if (equals == std::string::npos || equals == 0) {
        *error = "--set needs NAME=VALUE, not " + Quoted(value);
        return false;
      }
      options->settings.push_back({value.substr(0, equals), value.substr(equals + 1)});
    } else if (name == "--rate") {
      if (!takeValue() || !ParseBounded(name, value, 1000, 768000, &number, error)) return false;
      options->sampleRate = number;
    } else if (name == "--block") {
      if (!takeValue() || !ParseBounded(name, value, 1, 65536, &number, error)) return false;
      if (number != std::floor(number)) {
        *error = "--block needs a whole number of frames, not " + Quoted(value);
        return false;
      }
      options->blockSize = static_cast<int>(number);
    } else if (name == "--tempo") {
      if (!takeValue() || !ParseBounded(name, value, 1, 999, &number, error)) return false;
      options->tempo = number;
    } else if (name == "--tail") {
      if (!takeValue() || !ParseBounded(name, value, 0, 3600, &number, error)) return false;
      options->tailSeconds = number;
    } else {
      *error = "unknown option " + Quoted(arg);
      return false;
    }
  }
  if (!options->help && options->outputPath.empty() && !options->listParams &&
      !options->listPrograms) {
    *error = "no output file given (-o OUTPUT.wav)";
    return false;
  }
  return true;
}

std::string UsageText() {
  return "Usage: veltrane-render [options] [INPUT.wav] -o OUTPUT.wav\n"
         "Renders a sound file (or, without INPUT, a built-in two-bar demo phrase)\n"
         "through the Veltrane plug-in and writes its first two outputs to OUTPUT.\n"
         "\n"
         "Options:\n"
         "  -o, --output FILE    the WAV file to write\n"
         "  --plugin PATH        the VST plug-in to use (default: Veltrane.so, searched\n"
         "                       in $VST_PATH, $LXVST_PATH, ~/.vst, /usr/local/lib/vst,\n"
         "                       /usr/lib/vst and the build tree)\n"
         "  --fx-loop            use 'Veltrane Fx Loop.so' instead\n"
         "  --program N|NAME     select a program by number (from 0) or exact name\n"
         "  --set NAME=VALUE     set a parameter after the program; repeatable. For\n"
         "                       Veltrane NAME is the full parameter name and VALUE is\n"
         "                       in its units (\"Delay Time=0.5\", \"Beat Divisor=1/8\");\n"
         "                       for other plug-ins VALUE is normalised 0..1\n"
         "  --rate HZ            sample rate of the demo phrase (default 44100); a file\n"
         "                       keeps its own\n"
         "  --block N            frames per processing block (default 512)\n"
         "  --tempo BPM          the host tempo (default 120)\n"
         "  --tail SECONDS       silence rendered after the input (default 2)\n"
         "  --pcm24              write 24-bit integer samples (default 32-bit float)\n"
         "  --list-params        list the parameters with their current values\n"
         "  --list-programs      list the programs\n"
         "  -q, --quiet          no progress bar\n"
         "  -h, --help           this text\n"
         "\n"
         "Exit status: 0 on success, 1 on an error, 2 on a usage error.\n";
}

std::vector<std::string> PluginSearchDirs() {
  std::vector<std::string> dirs;
  for (const char* variable : {"VST_PATH", "LXVST_PATH"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr) continue;
    std::string list = value;
    size_t start = 0;
    while (start <= list.size()) {
      size_t colon = list.find(':', start);
      if (colon == std::string::npos) colon = list.size();
      if (colon > start) dirs.push_back(list.substr(start, colon - start));
      start = colon + 1;
    }
  }
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    dirs.push_back(std::string(home) + "/.vst");
  }
  dirs.push_back("/usr/local/lib/vst");
  dirs.push_back("/usr/lib/vst");
#ifdef VELTRANE_BUILD_VST_DIR
  dirs.push_back(VELTRANE_BUILD_VST_DIR);
#endif
  return dirs;
}

bool ResolvePluginPath(const RenderOptions& options, const std::vector<std::string>& dirs,
                       std::string* path, std::string* error) {
  if (!options.pluginPath.empty()) {
    *path = options.pluginPath;
    return true;
  }
  const std::string file = options.fxLoop ? kFxLoopPluginFile : kPluginFile;
  for (const std::string& dir : dirs) {
    const std::string candidate = dir + "/" + file;
    if (access(candidate.c_str(), R_OK) == 0) {
      *path = candidate;
      return true;
    }
  }
  std::string searched;
  for (const std::string& dir : dirs) searched += (searched.empty() ? "" : ", ") + dir;
  *error = "cannot find " + Quoted(file) + " in " + searched + " (use --plugin PATH)";
  return false;
}

bool IsVeltrane(VstInt32 uniqueId) {
  return uniqueId == VstFourCC('O', 'D', 'v', 't') || uniqueId == VstFourCC('O', 'D', 'v', 'f');
}

bool ResolveVeltraneSetting(const ParamSetting& setting, int* id, float* normalised,
                            std::string* error) {
  const int found = FindParamByName(setting.name.c_str());
  if (found < 0) {
    *error = "unknown parameter " + Quoted(setting.name) + " (see --list-params)";
    return false;
  }
  const ParamInfo& info = astParamInfos[found];
  // A value text wins over a number: Sync Group Number shows "1".."16" for
  // the values 0..15, and --list-params shows the texts.
  double value = 0.0;
  if (!ValueFromText(found, setting.value, &value) && !ParseNumber(setting.value, &value)) {
    const std::string texts = ValueTextsOf(found);
    *error = "value " + Quoted(setting.value) + " for " + Quoted(setting.name) +
             " is not a number" + (texts.empty() ? "" : " nor one of " + texts);
    return false;
  }
  if (value < info.minimum || value > info.maximum) {
    *error = "value " + setting.value + " for " + Quoted(setting.name) + " is outside " +
             RangeText(info);
    return false;
  }
  // The law's float arithmetic may land a hair outside 0..1 at the ends.
  *normalised = std::clamp(NormalisedFromReal(found, static_cast<float>(value)), 0.0f, 1.0f);
  *id = found;
  return true;
}

std::unique_ptr<vsthost::PluginHost> OpenConfiguredPlugin(const RenderOptions& options,
                                                          double sampleRate, std::string* error) {
  if (options.blockSize < 1) {
    *error = "the block size must be at least 1 frame, not " + std::to_string(options.blockSize);
    return nullptr;
  }
  std::string path;
  if (!ResolvePluginPath(options, PluginSearchDirs(), &path, error)) return nullptr;
  std::unique_ptr<vsthost::PluginHost> host = vsthost::PluginHost::Load(path, error);
  if (host == nullptr) return nullptr;
  host->SetSampleRate(sampleRate);
  host->SetBlockSize(options.blockSize);
  host->transport.tempo = options.tempo;
  if (!options.program.empty() && !ApplyProgram(*host, options.program, error)) return nullptr;

  const bool ours = IsVeltrane(host->UniqueId());
  for (const ParamSetting& setting : options.settings) {
    if (!ours) {
      if (!ApplyForeignSetting(*host, setting, error)) return nullptr;
      continue;
    }
    int id = 0;
    float normalised = 0.0f;
    if (!ResolveVeltraneSetting(setting, &id, &normalised, error)) return nullptr;
    if (id >= host->NumParams()) {
      *error = "unknown parameter " + Quoted(setting.name) + " (see --list-params)";
      return nullptr;
    }
    host->SetParameter(id, normalised);
  }
  return host;
}

bool ListPlugin(const RenderOptions& options, std::ostream& out, std::string* error) {
  const double rate = options.sampleRate > 0.0 ? options.sampleRate : kDefaultDemoRate;
  std::unique_ptr<vsthost::PluginHost> host = OpenConfiguredPlugin(options, rate, error);
  if (host == nullptr) return false;

  out << host->EffectName() << " (" << host->path() << ")\n";
  char line[256];
  if (options.listPrograms) {
    out << "Programs:\n";
    const int current = host->GetProgram();
    for (int i = 0; i < host->NumPrograms(); ++i) {
      std::snprintf(line, sizeof line, "%c %3d  %s\n", i == current ? '*' : ' ', i,
                    host->ProgramNameIndexed(i).c_str());
      out << line;
    }
  }
  if (options.listParams) {
    const bool ours = IsVeltrane(host->UniqueId());
    out << (ours ? "Parameters (--set NAME=VALUE in the units of the range):\n"
                 : "Parameters (--set NAME=VALUE with VALUE in 0..1):\n");
    for (int i = 0; i < host->NumParams(); ++i) {
      const std::string name =
          ours && IsValidParamId(i) ? astParamInfos[i].name : host->ParameterName(i);
      const std::string value = host->ParameterDisplay(i) + " " + host->ParameterLabel(i);
      std::snprintf(line, sizeof line, "  %3d  %-30s %-20s", i, name.c_str(), value.c_str());
      std::string text = line;
      if (ours && IsValidParamId(i)) text += "  " + RangeText(astParamInfos[i]);
      while (!text.empty() && text.back() == ' ') text.pop_back();
      out << text << "\n";
    }
  }
  return static_cast<bool>(out);
}

bool Render(const RenderOptions& options, std::string* error, const ProgressFn& progress) {
  std::unique_ptr<Source> source = OpenSource(options, error);
  if (source == nullptr) return false;
  const double rate = source->sampleRate();

  std::unique_ptr<vsthost::PluginHost> host = OpenConfiguredPlugin(options, rate, error);
  if (host == nullptr) return false;
  const int numInputs = host->NumInputs();
  const int numOutputs = host->NumOutputs();
  if (numOutputs < 1) {
    *error = Quoted(host->path()) + " has no audio outputs";
    return false;
  }
  const int outChannels = std::min(numOutputs, 2);

  if (!options.inputPath.empty() && SameFile(options.inputPath, options.outputPath)) {
    *error = "output file " + Quoted(options.outputPath) + " is the input file";
    return false;
  }

  SF_INFO outInfo{};
  outInfo.samplerate = static_cast<int>(std::lround(rate));
  outInfo.channels = outChannels;
  outInfo.format = SF_FORMAT_WAV | (options.pcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT);
  SndfilePtr output(sf_open(options.outputPath.c_str(), SFM_WRITE, &outInfo));
  if (output == nullptr) {
    *error = "cannot open output file " + Quoted(options.outputPath) + ": " + sf_strerror(nullptr);
    return false;
  }
  // Integer samples saturate rather than wrap when the plug-in goes over 0 dBFS.
  if (options.pcm24) sf_command(output.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);

  const int block = options.blockSize;
  std::vector<std::vector<float>> inputs(std::max(numInputs, 2), std::vector<float>(block));
  std::vector<std::vector<float>> outputs(numOutputs, std::vector<float>(block));
  std::vector<float*> inPointers(numInputs);
  std::vector<float*> outPointers(numOutputs);
  for (int c = 0; c < numInputs; ++c) inPointers[c] = inputs[c].data();
  for (int c = 0; c < numOutputs; ++c) outPointers[c] = outputs[c].data();
  std::vector<float> interleaved(static_cast<size_t>(block) * outChannels);

  const long long tailFrames = std::llround(options.tailSeconds * rate);
  const double totalSeconds = (std::max(source->frames(), 0LL) + tailFrames) / rate;
  long long done = 0;
  long long tailLeft = tailFrames;
  bool inputEnded = false;

  host->transport.playing = true;
  host->Resume();
  while (true) {
    for (auto& channel : inputs) std::fill(channel.begin(), channel.end(), 0.0f);
    int frames = 0;
    if (!inputEnded) {
      frames = source->Read(inputs[0].data(), inputs[1].data(), block);
      if (frames < block) inputEnded = true;
      // A plug-in with one input hears both sides of a stereo source.
      if (numInputs == 1) {
        for (int i = 0; i < frames; ++i) inputs[0][i] = 0.5f * (inputs[0][i] + inputs[1][i]);
      }
    }
    if (inputEnded && frames < block) {
      const int fromTail = static_cast<int>(std::min<long long>(block - frames, tailLeft));
      frames += fromTail;
      tailLeft -= fromTail;
    }
    if (frames == 0) break;

    for (auto& channel : outputs) std::fill(channel.begin(), channel.end(), 0.0f);
    host->ProcessReplacing(inPointers.data(), outPointers.data(), frames);
    for (int i = 0; i < frames; ++i) {
      for (int c = 0; c < outChannels; ++c) {
        interleaved[static_cast<size_t>(i) * outChannels + c] = outputs[c][i];
      }
    }
    if (sf_writef_float(output.get(), interleaved.data(), frames) != frames) {
      *error = "cannot write output file " + Quoted(options.outputPath) + ": " +
               sf_strerror(output.get());
      host->Suspend();
      return false;
    }
    done += frames;
    if (progress) progress(done / rate, std::max(totalSeconds, done / rate));
  }
  host->Suspend();

  if (sf_close(output.release()) != 0) {
    *error = "cannot finish output file " + Quoted(options.outputPath);
    return false;
  }
  return true;
}

std::string FormatProgress(double doneSeconds, double totalSeconds, int barWidth) {
  const double fraction =
      totalSeconds > 0.0 ? std::clamp(doneSeconds / totalSeconds, 0.0, 1.0) : 1.0;
  // Rounded down, so the bar reads full and 100% only when all is done.
  const int filled = static_cast<int>(fraction * barWidth);
  const int percent = static_cast<int>(fraction * 100.0);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(barWidth - filled), '.');
  char text[128];
  std::snprintf(text, sizeof text, "[%s] %3d%%  %.1f s / %.1f s", bar.c_str(), percent, doneSeconds,
                totalSeconds);
  return text;
}

}  // namespace render
