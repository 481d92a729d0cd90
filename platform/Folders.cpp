#include "platform/Folders.h"

#include <cstdlib>

#include "platform/Resources.h"

namespace platform {
namespace {
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}
}  // namespace

std::string DataFolder(Domain domain) {
  if (domain == Domain::Machine) {
    const std::string override = Env("VELTRANE_MACHINE_DATA_HOME");
    return override.empty() ? "/usr/local/share" : override;
  }
  const std::string xdg = Env("XDG_DATA_HOME");
  if (!xdg.empty() && xdg[0] == '/') return xdg;
  const std::string home = Env("HOME");
  return home.empty() ? std::string() : home + "/.local/share";
}

std::string ResourceDir() {
  const std::string override = Env("VELTRANE_RESOURCES");
  return override.empty() ? OwnResourceDir() : override;
}

}  // namespace platform
