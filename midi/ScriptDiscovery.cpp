#include "midi/ScriptDiscovery.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace OD {
namespace {

constexpr size_t kMaxPathBytes = 255;
constexpr const char* kScriptFolder = "/Odrisk/Veltrane/Scripts";
constexpr const char* kSkinFolder = "/Odrisk/Veltrane/Skins";

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() > suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Calls visit(name, isDirectory) for every entry but "." and "..".
template <typename Visit>
void ForEachEntry(const std::string& folder, Visit visit) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    visit(name, IsDirectory(folder + "/" + name));
  }
  closedir(dir);
}

}  // namespace

std::string GetApplicationSupportFolder(Domain domain) {
  std::string folder = platform::DataFolder(domain);
  return folder.size() > kMaxPathBytes ? std::string() : folder;
}

void GetScriptsInDomain(std::vector<std::string>& scripts, Domain domain) {
  const std::string folder = GetApplicationSupportFolder(domain) + kScriptFolder;
  ForEachEntry(folder, [&](const std::string& name, bool directory) {
    if (directory || !EndsWith(name, ".lua")) return;
    const std::string path = folder + "/" + name;
    if (access(path.c_str(), R_OK) == 0) scripts.push_back(path);
  });
}

void GetScripts(std::vector<std::string>& scripts) {
  GetScriptsInDomain(scripts, Domain::User);
  GetScriptsInDomain(scripts, Domain::Machine);
}

void GetSkinsInDomain(std::vector<std::string>& skins, Domain domain) {
  const std::string folder = GetApplicationSupportFolder(domain) + kSkinFolder;
  ForEachEntry(folder, [&](const std::string& name, bool directory) {
    if (!directory) return;
    skins.push_back(EndsWith(name, ".bundle") ? name.substr(0, name.size() - 7) : name);
  });
}

void GetSkins(std::vector<std::string>& skins) {
  GetSkinsInDomain(skins, Domain::User);
  GetSkinsInDomain(skins, Domain::Machine);
}

std::unique_ptr<Bundle> LocateSkinBundle(const std::string& name, Domain domain) {
  std::string path = GetApplicationSupportFolder(domain) + kSkinFolder + "/" + name;
  if (access(path.c_str(), R_OK) != 0) path += ".bundle";
  if (access(path.c_str(), R_OK) != 0) return nullptr;
  return std::make_unique<Bundle>(Bundle{path});
}

std::unique_ptr<Bundle> LocateSkinBundle(const std::string& name) {
  if (auto bundle = LocateSkinBundle(name, Domain::User)) return bundle;
  return LocateSkinBundle(name, Domain::Machine);
}

}  // namespace OD
