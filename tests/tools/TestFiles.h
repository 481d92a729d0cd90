// Files the tool tests work with: a private temporary directory, WAV files
// written and read back through libsndfile, and the ZamDelay plug-in that
// stands in for a third-party VST.
//
// Threading: test-thread only.
#pragma once

#include <string>
#include <vector>

namespace toolstest {

// Where Debian's zam-plugins package puts ZamDelay.
inline constexpr const char* kZamDelayPath = "/usr/lib/vst/ZamDelay-vst.so";

// True when ZamDelay is installed; otherwise records a test failure saying
// how to install it. Use as: if (!RequireZamDelay()) return;
bool RequireZamDelay();

// A fresh directory under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct Audio {
  int sampleRate = 0;
  int format = 0;  // libsndfile SF_FORMAT_* bits
  std::vector<std::vector<float>> channels;
  long long frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Writes channels (all the same length) as a 32-bit float WAV; false on failure.
bool WriteWav(const std::string& path, const std::vector<std::vector<float>>& channels,
              int sampleRate);

// Reads a sound file; false when it cannot be opened.
bool ReadAudio(const std::string& path, Audio* audio);

}  // namespace toolstest
