#include "tests/midi/ScriptTestSupport.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <mutex>

#include "shell/VTLuaMIDIHelper.h"

// The default "midi.lua" is read from the source tree in these tests.
const ScopedEnvironment kResources("VELTRANE_RESOURCES", VELTRANE_SOURCE_RESOURCES);

const char* const kLogPrelude = R"(
log_entries = {}
function log(...)
  local parts = {}
  for i = 1, select('#', ...) do parts[#parts + 1] = tostring(select(i, ...)) end
  log_entries[#log_entries + 1] = table.concat(parts, " ")
end
)";

ScriptedEffect::ScriptedEffect(const std::string& midiLua) {
  m_homes.AddScript(platform::Domain::User, "midi.lua", midiLua);
  m_effect = m_host.Create(false);
}

ScriptedEffect::ScriptedEffect(const std::vector<Script>& others) {
  for (const Script& s : others) m_homes.AddScript(s.domain, s.name, s.text);
  m_effect = m_host.Create(false);
}

void ScriptedEffect::Send(const std::vector<Midi>& messages) {
  std::vector<VstMidiEvent> events(messages.size());
  std::vector<char> block(sizeof(VstEvents) + messages.size() * sizeof(VstEvent*));
  auto* list = reinterpret_cast<VstEvents*>(block.data());
  list->numEvents = static_cast<VstInt32>(messages.size());
  for (size_t i = 0; i < messages.size(); ++i) {
    events[i] = VstMidiEvent{};
    events[i].type = kVstMidiType;
    events[i].byteSize = sizeof(VstMidiEvent);
    events[i].midiData[0] = static_cast<char>(messages[i].status);
    events[i].midiData[1] = static_cast<char>(messages[i].data1);
    events[i].midiData[2] = static_cast<char>(messages[i].data2);
    list->events[i] = reinterpret_cast<VstEvent*>(&events[i]);
  }
  AEffect* e = m_effect->getAeffect();
  e->dispatcher(e, effProcessEvents, 0, 0, list, 0.0f);
}

std::string ScriptedEffect::Run(const std::string& code) {
  auto* host = m_effect->ScriptHost();
  std::lock_guard<platform::RecursiveLock> guard(host->ScriptLock());
  lua_State* L = host->State();
  if (luaL_dostring(L, code.c_str()) == 0) return "";
  std::string error = lua_tostring(L, -1);
  lua_pop(L, 1);
  return error;
}

std::string ScriptedEffect::Log() {
  return Global("table.concat(log_entries or {}, ',')");
}

std::string ScriptedEffect::Global(const std::string& name) {
  auto* host = m_effect->ScriptHost();
  std::lock_guard<platform::RecursiveLock> guard(host->ScriptLock());
  lua_State* L = host->State();
  const std::string code = "return tostring(" + name + ")";
  if (luaL_dostring(L, code.c_str()) != 0) {
    std::string error = lua_tostring(L, -1);
    lua_pop(L, 1);
    return "error: " + error;
  }
  std::string value = lua_tostring(L, -1);
  lua_pop(L, 1);
  return value;
}
