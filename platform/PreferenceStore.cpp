#include "platform/PreferenceStore.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace platform {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

enum class FileState { Missing, Unreadable, Corrupt, Ok };

struct Loaded {
  FileState state;
  json object;  // an object when state is Ok, else empty
  std::string cause;
};

Loaded Load(const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return {FileState::Missing, json::object(), {}};
  if (!fs::is_regular_file(path, ec)) {
    return {FileState::Unreadable, json::object(), "not a regular file"};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return {FileState::Unreadable, json::object(), std::strerror(errno)};
  std::stringstream text;
  text << in.rdbuf();
  if (in.bad()) return {FileState::Unreadable, json::object(), "read error"};
  json parsed = json::parse(text.str(), nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) return {FileState::Corrupt, json::object(), "not valid JSON"};
  if (!parsed.is_object()) return {FileState::Corrupt, json::object(), "not a JSON object"};
  return {FileState::Ok, std::move(parsed), {}};
}

const json* Find(const json& object, const std::string& key) {
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

void Report(const std::string& path, const std::string& what) {
  std::fprintf(stderr, "Veltrane: preferences file '%s': %s\n", path.c_str(), what.c_str());
}

// Writes the whole object to a temporary file beside path, flushes it to the
// disk and renames it over path, so a reader sees the old or the new file.
bool Replace(const std::string& path, const json& object) {
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  const std::string temporary = path + ".tmp." + std::to_string(getpid());
  FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) {
    Report(path, std::string("cannot write: ") + std::strerror(errno));
    return false;
  }
  const std::string text = object.dump(2) + "\n";
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                       std::fflush(file) == 0 && fsync(fileno(file)) == 0;
  const int writeErrno = errno;
  if (std::fclose(file) != 0 || !written) {
    std::remove(temporary.c_str());
    Report(path, std::string("cannot write: ") + std::strerror(writeErrno));
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    Report(path, std::string("cannot replace: ") + std::strerror(errno));
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

std::string PreferenceStore::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base;
  if (config != nullptr && config[0] == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::string(home != nullptr ? home : "") + "/.config";
  }
  return base + "/Odrisk/Veltrane.json";
}

PreferenceStore::PreferenceStore(std::string path) : m_path(std::move(path)) {}

std::optional<double> PreferenceStore::GetNumber(const std::string& key) const {
  const Loaded loaded = Load(m_path);
  const json* value = Find(loaded.object, key);
  if (value == nullptr) return std::nullopt;
  if (value->is_number()) return value->get<double>();
  if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
  return std::nullopt;
}

std::optional<std::string> PreferenceStore::GetString(const std::string& key) const {
  const Loaded loaded = Load(m_path);
  const json* value = Find(loaded.object, key);
  if (value == nullptr || !value->is_string()) return std::nullopt;
  return value->get<std::string>();
}

template <typename T>
bool PreferenceStore::Set(const std::string& key, const T& value) {
  Loaded loaded = Load(m_path);
  switch (loaded.state) {
    case FileState::Unreadable:
      Report(m_path, "cannot read (" + loaded.cause + "), so it is left as it is and '" + key +
                         "' is not saved");
      return false;
    case FileState::Corrupt: {
      const std::string kept = m_path + ".corrupt";
      if (std::rename(m_path.c_str(), kept.c_str()) != 0) {
        Report(m_path, loaded.cause + " and cannot be moved aside, so '" + key + "' is not saved");
        return false;
      }
      Report(m_path, loaded.cause + "; kept it as '" + kept + "' and started a new one");
      break;
    }
    case FileState::Missing:
    case FileState::Ok:
      break;
  }
  loaded.object[key] = value;
  return Replace(m_path, loaded.object);
}

bool PreferenceStore::SetNumber(const std::string& key, double value) {
  // Whole numbers are written without a fraction, as a person would write them.
  if (std::trunc(value) == value && std::fabs(value) < 9.0e15) {
    return Set(key, static_cast<int64_t>(value));
  }
  return Set(key, value);
}

bool PreferenceStore::SetString(const std::string& key, const std::string& value) {
  return Set(key, value);
}

}  // namespace platform
