#include "tests/tools/TestFiles.h"

#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace toolstest {

bool RequireZamDelay() {
  if (access(kZamDelayPath, R_OK) == 0) return true;
  ADD_FAILURE() << kZamDelayPath
                << " is missing: run the README's setup (./setup.sh, which installs the "
                   "zam-plugins package)";
  return false;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern =
      std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/veltrane-tools-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary directory from " << pattern;
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool WriteWav(const std::string& path, const std::vector<std::vector<float>>& channels,
              int sampleRate) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = static_cast<int>(channels.size());
  info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (file == nullptr) return false;
  const size_t frames = channels.empty() ? 0 : channels[0].size();
  std::vector<float> interleaved(frames * channels.size());
  for (size_t i = 0; i < frames; ++i) {
    for (size_t c = 0; c < channels.size(); ++c) {
      interleaved[i * channels.size() + c] = channels[c][i];
    }
  }
  const sf_count_t written = sf_writef_float(file, interleaved.data(), frames);
  return sf_close(file) == 0 && written == static_cast<sf_count_t>(frames);
}

bool ReadAudio(const std::string& path, Audio* audio) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return false;
  std::vector<float> interleaved(static_cast<size_t>(info.frames) * info.channels);
  const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
  sf_close(file);
  audio->sampleRate = info.samplerate;
  audio->format = info.format;
  audio->channels.assign(info.channels, std::vector<float>(static_cast<size_t>(got)));
  for (sf_count_t i = 0; i < got; ++i) {
    for (int c = 0; c < info.channels; ++c) {
      audio->channels[c][i] = interleaved[static_cast<size_t>(i) * info.channels + c];
    }
  }
  return true;
}

}  // namespace toolstest
