// The veltrane-render program as users run it: exit status, messages on
// stderr that name the culprit, listings on stdout, and the file it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/tools/TestFiles.h"

namespace {

constexpr const char* kRenderBin = VELTRANE_RENDER_BIN;
constexpr int kInputFrames = 22050;
constexpr int kInputRate = 44100;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Slurp(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Replaces $DIR with the test's directory and $ZAM with ZamDelay's path.
std::string Expand(std::string arg, const toolstest::TempDir& dir) {
  for (auto [key, value] :
       {std::pair<std::string, std::string>{"$DIR", dir.path()},
        std::pair<std::string, std::string>{"$ZAM", toolstest::kZamDelayPath}}) {
    for (size_t at = arg.find(key); at != std::string::npos; at = arg.find(key)) {
      arg.replace(at, key.size(), value);
    }
  }
  return arg;
}

RunResult RunRender(const std::vector<std::string>& args, const toolstest::TempDir& dir) {
  std::string command = ShellQuoted(kRenderBin);
  for (const std::string& arg : args) command += " " + ShellQuoted(Expand(arg, dir));
  const std::string outPath = dir.File("stdout.txt");
  const std::string errPath = dir.File("stderr.txt");
  command += " </dev/null >" + ShellQuoted(outPath) + " 2>" + ShellQuoted(errPath);
  RunResult result;
  const int raw = std::system(command.c_str());
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

class RenderCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(toolstest::RequireZamDelay());
    std::vector<float> input(kInputFrames, 0.0f);
    input[100] = 0.5f;
    ASSERT_TRUE(toolstest::WriteWav(dir_.File("in.wav"), {input}, kInputRate));
  }
  toolstest::TempDir dir_;
};

TEST_F(RenderCommandTest, RendersTheInputAndTheTail) {
  const RunResult run = RunRender({"--plugin", "$ZAM", "--set", "Time=0.1", "--block", "333",
                                   "--tail", "0.5", "$DIR/in.wav", "-o", "$DIR/out.wav"},
                                  dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "") << "stderr is no terminal, so no progress line";
  toolstest::Audio output;
  ASSERT_TRUE(toolstest::ReadAudio(dir_.File("out.wav"), &output));
  EXPECT_EQ(output.sampleRate, kInputRate);
  EXPECT_EQ(output.frames(), kInputFrames + kInputRate / 2);
}

struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  std::string message;  // expected on stderr, after $DIR expansion
};

void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class RenderCommandFailureTest : public RenderCommandTest,
                                 public testing::WithParamInterface<FailureCase> {};

TEST_P(RenderCommandFailureTest, ExitsWithAMessageNamingTheCulprit) {
  const FailureCase& c = GetParam();
  const RunResult run = RunRender(c.args, dir_);
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.err.rfind("veltrane-render: ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find(Expand(c.message, dir_)), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir_.File("out.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RenderCommandFailureTest,
    testing::Values(
        FailureCase{"MissingInput",
                    {"--plugin", "$ZAM", "$DIR/missing.wav", "-o", "$DIR/out.wav"},
                    1,
                    "cannot open input file '$DIR/missing.wav': "},
        FailureCase{"UnknownParameter",
                    {"--plugin", "$ZAM", "--set", "Nope=0.5", "$DIR/in.wav", "-o", "$DIR/out.wav"},
                    1,
                    "unknown parameter 'Nope' (see --list-params)"},
        FailureCase{"OutOfRangeValue",
                    {"--plugin", "$ZAM", "--set", "Time=1.5", "$DIR/in.wav", "-o", "$DIR/out.wav"},
                    1,
                    "value 1.5 for 'Time' is outside 0..1"},
        FailureCase{
            "UnknownProgram",
            {"--plugin", "$ZAM", "--program", "Slapback", "$DIR/in.wav", "-o", "$DIR/out.wav"},
            1,
            "unknown program 'Slapback'; the programs are: 0 'Default'"},
        FailureCase{"ProgramNumberOutOfRange",
                    {"--plugin", "$ZAM", "--program", "1", "$DIR/in.wav", "-o", "$DIR/out.wav"},
                    1,
                    "unknown program '1'"},
        FailureCase{"RateOfAFile",
                    {"--plugin", "$ZAM", "--rate", "48000", "$DIR/in.wav", "-o", "$DIR/out.wav"},
                    1,
                    "--rate 48000 differs from the 44100 Hz of input file '$DIR/in.wav'"},
        FailureCase{"NotAPlugin",
                    {"--plugin", "$DIR/in.wav", "$DIR/in.wav", "-o", "$DIR/out.wav"},
                    1,
                    "cannot load '$DIR/in.wav': "},
        FailureCase{"UnwritableOutput",
                    {"--plugin", "$ZAM", "$DIR/in.wav", "-o", "$DIR/no/such/out.wav"},
                    1,
                    "cannot open output file '$DIR/no/such/out.wav': "},
        FailureCase{"OutputOverInput",
                    {"--plugin", "$ZAM", "$DIR/in.wav", "-o", "$DIR/in.wav"},
                    1,
                    "output file '$DIR/in.wav' is the input file"},
        FailureCase{"UsageError", {"--plugin", "$ZAM", "$DIR/in.wav"}, 2, "no output file"}),
    [](const testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST_F(RenderCommandTest, ListsParametersAsSet) {
  const RunResult run =
      RunRender({"--plugin", "$ZAM", "--set", "Dry/Wet=1", "--list-params"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  std::istringstream lines(run.out);
  std::string line;
  int parameterLines = 0;
  while (std::getline(lines, line)) {
    if (line.find("Dry/Wet") != std::string::npos) {
      EXPECT_NE(line.find("1.000000"), std::string::npos) << line;
    }
    if (line.find("Time") != std::string::npos) {
      EXPECT_NE(line.find("ms"), std::string::npos) << line;
    }
    if (line.rfind("    ", 0) == 0) ++parameterLines;
  }
  EXPECT_EQ(parameterLines, 8) << run.out;
}

TEST_F(RenderCommandTest, ListsProgramsMarkingTheCurrentOne) {
  const RunResult run = RunRender({"--plugin", "$ZAM", "--list-programs"}, dir_);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("*   0  Default\n"), std::string::npos) << run.out;
}

TEST_F(RenderCommandTest, HelpGoesToStdout) {
  const RunResult run = RunRender({"--help"}, dir_);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("Usage: veltrane-render", 0), 0u) << run.out;
  EXPECT_EQ(run.err, "");
}

}  // namespace
