// Offline rendering of audio through a VST plug-in: the work behind the
// veltrane-render command, kept as a library so tests and benchmarks can render
// without going through the command line.
//
// A render loads the plug-in, applies a program and parameter settings, feeds
// it a sound file (or the built-in demo phrase) block by block followed by a
// silent tail, and writes the plug-in's first two outputs to a WAV file.
//
// Threading: every function runs on the caller's thread; the progress callback
// is called on that thread too. Separate renders may run on separate threads.
#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "tools/vsthost/PluginHost.h"

namespace render {

// One --set NAME=VALUE, as typed.
struct ParamSetting {
  std::string name;
  std::string value;
};

struct RenderOptions {
  std::string pluginPath;              // empty: search for the Veltrane plug-in
  bool fxLoop = false;                 // search for the FX-loop build instead
  std::string program;                 // empty: keep the plug-in's; else an index or a name
  std::vector<ParamSetting> settings;  // applied in order, after the program
  double sampleRate = 0.0;             // 0: 44100 for the demo, the file's own rate
  int blockSize = 512;
  double tempo = 120.0;
  double tailSeconds = 2.0;  // silence rendered after the input
  bool pcm24 = false;        // 24-bit integer output instead of 32-bit float
  bool listParams = false;
  bool listPrograms = false;
  bool quiet = false;
  bool help = false;
  std::string inputPath;  // empty: the demo phrase
  std::string outputPath;
};

// Reads the command line into *options. On a usage error returns false with a
// message in *error (the caller exits with status 2).
bool ParseCommandLine(int argc, const char* const* argv, RenderOptions* options,
                      std::string* error);

// The --help text.
std::string UsageText();

// Where the plug-in is looked for when --plugin is absent, in order: each
// entry of $VST_PATH and $LXVST_PATH, ~/.vst, /usr/local/lib/vst, /usr/lib/vst,
// then the build tree's plug-in directory.
std::vector<std::string> PluginSearchDirs();

// The plug-in file the options name: --plugin as given, else the first
// Veltrane.so (or "Veltrane Fx Loop.so") in dirs. False with *error when
// nothing is found.
bool ResolvePluginPath(const RenderOptions& options, const std::vector<std::string>& dirs,
                       std::string* path, std::string* error);

// True for the unique ids of the Veltrane builds, whose parameters --set
// takes by their full names in real units.
bool IsVeltrane(VstInt32 uniqueId);

// Resolves one --set for a Veltrane build: the full parameter name, and the
// value in the parameter's units or, for indexed parameters and Filter Type,
// one of its value texts (which wins where a text is also a number). False with *error for an
// unknown name, a value that is no number and no text of the parameter, or one outside its range.
bool ResolveVeltraneSetting(const ParamSetting& setting, int* id, float* normalised,
                            std::string* error);

// Loads the plug-in, gives it the rate and block size, then applies the
// program and the parameter settings. Null with *error on any failure,
// including an unknown program or parameter and a value out of range.
std::unique_ptr<vsthost::PluginHost> OpenConfiguredPlugin(const RenderOptions& options,
                                                          double sampleRate, std::string* error);

// Writes the --list-programs and --list-params listings, as the options ask,
// for the plug-in configured as OpenConfiguredPlugin leaves it.
bool ListPlugin(const RenderOptions& options, std::ostream& out, std::string* error);

// Called after each block with the seconds rendered so far and in total.
using ProgressFn = std::function<void(double doneSeconds, double totalSeconds)>;

// Renders options.inputPath (or the demo) to options.outputPath.
bool Render(const RenderOptions& options, std::string* error, const ProgressFn& progress = {});

// The one-line progress bar, e.g. "[####......]  42%  12.3 s / 29.3 s".
std::string FormatProgress(double doneSeconds, double totalSeconds, int barWidth = 10);

}  // namespace render
