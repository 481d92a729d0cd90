// The per-user preference store: one JSON object in one file, whose keys are
// the preference names and whose values are numbers or strings. Every read
// goes to the file, every write replaces it atomically (temporary file, then
// rename), so all instances of both plug-ins in all processes share it.
//
// A missing, unreadable or corrupt file reads as empty. A write never leaves
// less than the file held: a corrupt file is kept beside the new one under
// "<name>.corrupt" and an unreadable one is not touched.
//
// Main thread only; may block on file I/O.
#pragma once

#include <optional>
#include <string>

namespace platform {

class PreferenceStore {
 public:
  // $XDG_CONFIG_HOME/Odrisk/Veltrane.json, or ~/.config/Odrisk/Veltrane.json.
  static std::string DefaultPath();

  explicit PreferenceStore(std::string path = DefaultPath());

  const std::string& path() const { return m_path; }

  // The value of key if it is there and of that kind (true and false count as
  // the numbers 1 and 0).
  std::optional<double> GetNumber(const std::string& key) const;
  std::optional<std::string> GetString(const std::string& key) const;

  // Store one key and flush it to disk. On failure returns false and prints a
  // line naming the file and the cause on standard error.
  bool SetNumber(const std::string& key, double value);
  bool SetString(const std::string& key, const std::string& value);

 private:
  template <typename T>
  bool Set(const std::string& key, const T& value);

  std::string m_path;
};

}  // namespace platform
