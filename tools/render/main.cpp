// veltrane-render: renders a sound file, or a built-in demo phrase, through
// the Veltrane plug-in (or any VST 2.4 plug-in) without a DAW. See --help.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "tools/render/Renderer.h"

namespace {

constexpr const char* kProgramName = "veltrane-render";

// Redraws the progress bar on a terminal in place, at most ten times a second
// so that drawing never costs more than the rendering it reports.
class ProgressLine {
 public:
  explicit ProgressLine(bool enabled) : enabled_(enabled) {}

  void Update(double doneSeconds, double totalSeconds) {
    if (!enabled_) return;
    const auto now = std::chrono::steady_clock::now();
    const bool finished = doneSeconds >= totalSeconds;
    if (drawn_ && !finished && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    std::fprintf(stderr, "\r%s", render::FormatProgress(doneSeconds, totalSeconds).c_str());
    std::fflush(stderr);
    lastDraw_ = now;
    drawn_ = true;
  }

  // Ends the line so later messages start on their own.
  void Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
  }

 private:
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point lastDraw_;
};

int Fail(const std::string& message, int status) {
  std::cerr << kProgramName << ": " << message << "\n";
  return status;
}

int Run(int argc, char** argv) {
  render::RenderOptions options;
  std::string error;
  if (!render::ParseCommandLine(argc, argv, &options, &error)) {
    return Fail(error + "\nTry '" + kProgramName + " --help'.", 2);
  }
  if (options.help) {
    std::cout << render::UsageText();
    return 0;
  }
  if (options.listParams || options.listPrograms) {
    if (!render::ListPlugin(options, std::cout, &error)) return Fail(error, 1);
    std::cout.flush();
  }
  if (options.outputPath.empty()) return 0;

  ProgressLine progress(!options.quiet && isatty(STDERR_FILENO));
  const bool rendered = render::Render(
      options, &error, [&progress](double done, double total) { progress.Update(done, total); });
  progress.Finish();
  return rendered ? 0 : Fail(error, 1);
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    return Fail(e.what(), 1);
  }
}
