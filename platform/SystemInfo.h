// What the plug-in asks of the machine and the process that loaded it.
// Main thread only.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Physical memory in bytes (0 if the system will not tell).
uint64_t PhysicalMemoryBytes();

// The short name of the host process ("reaper", "carla", ...), empty if unknown.
std::string HostProcessName();

}  // namespace platform
