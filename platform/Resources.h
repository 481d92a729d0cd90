// Where a plug-in finds the files it ships with: a folder beside its shared
// object, named after it ("Veltrane.so" -> "Veltrane.resources"). The build
// tree and an installed copy have the same layout.
#pragma once

#include <string>

namespace platform {

// The resource folder of the object (shared library or executable) that
// contains the given code address; empty if the address is in no object.
std::string ResourceDirForAddress(const void* address);

// The resource folder of the object this function is linked into.
std::string OwnResourceDir();

}  // namespace platform
