#include "shell/OdrkProgram.h"

#include <cstring>

void OdrkProgramBasic::SetName(const char* name) {
  std::strncpy(m_name, name, kNameBytes);
  m_name[kNameBytes - 1] = '\0';
}

float PresetValue(const PresetInfo& preset, int id) {
  return id < preset.count ? preset.values[id] : astParamInfos[id].defaultValue;
}
