// Finding the files users drop in to extend the plug-in: MIDI scripts in
// ".../Odrisk/Veltrane/Scripts" and editor skins in ".../Odrisk/Veltrane/Skins"
// under the user's data folder, then the machine's. Main thread; reads the
// file system.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Folders.h"

namespace OD {

using Domain = platform::Domain;

// A skin's folder of resources.
struct Bundle {
  std::string path;
};

// The domain's data folder ("" when it cannot be determined), at most 255 bytes.
std::string GetApplicationSupportFolder(Domain domain);

// Appends the full paths of the readable ".lua" files of the domain's script
// folder, in directory order.
void GetScriptsInDomain(std::vector<std::string>& scripts, Domain domain);
// The user's scripts, then the machine's.
void GetScripts(std::vector<std::string>& scripts);

// Appends the names of the domain's skins (folders; a ".bundle" suffix dropped).
void GetSkinsInDomain(std::vector<std::string>& skins, Domain domain);
void GetSkins(std::vector<std::string>& skins);

// The named skin of one domain, or of the user's before the machine's; null
// when it is not there.
std::unique_ptr<Bundle> LocateSkinBundle(const std::string& name, Domain domain);
std::unique_ptr<Bundle> LocateSkinBundle(const std::string& name);

}  // namespace OD
