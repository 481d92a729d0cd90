// Where users keep their scripts and skins: the per-user data folder
// ($XDG_DATA_HOME, by default ~/.local/share) and the machine-wide one
// (/usr/local/share; VELTRANE_MACHINE_DATA_HOME overrides it, for packaging
// and tests). Any thread; reads the environment.
#pragma once

#include <string>

namespace platform {

enum class Domain { User, Machine };

// The domain's data folder, without a trailing "/"; empty if unknown.
std::string DataFolder(Domain domain);

// The plug-in's resource folder: VELTRANE_RESOURCES when set, else the
// folder beside the plug-in's shared object.
std::string ResourceDir();

}  // namespace platform
