#include "platform/Resources.h"

#include <dlfcn.h>

#include <filesystem>

namespace platform {

std::string ResourceDirForAddress(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::filesystem::path object = std::filesystem::absolute(info.dli_fname);
  return (object.parent_path() / (object.stem().string() + ".resources")).string();
}

std::string OwnResourceDir() {
  return ResourceDirForAddress(reinterpret_cast<const void*>(&OwnResourceDir));
}

}  // namespace platform
