#include "shell/VTLuaMIDIHelper.h"

extern "C" {
#include <lua.h>
}

#include <mutex>

#include "shell/Preferences.h"

void OdrkCrossDelay::VTLuaMIDIHelper::setGUIBoolValue(int id, int value) {
  m_effect->m_dataToGui.scriptFlags[id].store(value != 0 ? 1 : 0, std::memory_order_relaxed);
}

int OdrkCrossDelay::VTLuaMIDIHelper::getGUIBoolValue(int id) const {
  return m_effect->m_dataToGui.scriptFlags[id].load(std::memory_order_relaxed);
}

void OdrkCrossDelay::VTLuaMIDIHelper::UpdateGlobals() {
  std::lock_guard<platform::RecursiveLock> guard(ScriptLock());
  if (m_state == nullptr) return;
  lua_pushboolean(m_state, g_midiRxAll.load(std::memory_order_relaxed) ? 1 : 0);
  lua_setglobal(m_state, "prefRxAllChannels");
}
