#include "midi/LuaMIDIHelper.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include "midi/ScriptDiscovery.h"
#include "osc/OSCHelper.h"
#include "platform/Clock.h"
#include "platform/Folders.h"
#include "shell/OdrkAuBase.h"
#include "shell/OdrkInstanceTracker.h"
#include "shell/ParamTable.h"

// Script API functions raise script errors with luaL_error, which unwinds
// with longjmp: no C++ object with a destructor may be alive at that point in
// them, so they work on plain pointers and fixed buffers only.

namespace OD {
namespace {

// Registry keys: the addresses of these are unique light userdata.
const char kRefcon = 0;
const char kParamLookup = 0;

constexpr int kNumGuiFlags = 8;
constexpr int kMaxNameBytes = 63;
using ParamLookup = std::map<std::string, int, std::less<>>;

LuaMIDIHelper* Host(lua_State* L) {
  lua_pushlightuserdata(L, const_cast<char*>(&kRefcon));
  lua_rawget(L, LUA_REGISTRYINDEX);
  auto* host = static_cast<LuaMIDIHelper*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return host;
}

const ParamLookup* Lookup(lua_State* L) {
  lua_pushlightuserdata(L, const_cast<char*>(&kParamLookup));
  lua_rawget(L, LUA_REGISTRYINDEX);
  auto* lookup = static_cast<const ParamLookup*>(lua_touserdata(L, -1));
  lua_pop(L, 1);
  return lookup;
}

// A parameter given by id (any number, numeric strings included) or by its
// exact name; raises the script errors for unknown names and ids.
int ParamArg(lua_State* L, int index) {
  int id;
  if (lua_isnumber(L, index)) {
    id = static_cast<int>(lua_tointeger(L, index));
  } else {
    const char* name = luaL_checkstring(L, index);
    const ParamLookup* lookup = Lookup(L);
    const auto it = lookup->find(std::string_view(name));
    if (it == lookup->end()) return luaL_error(L, "parameter not found: '%s'", name);
    id = it->second;
  }
  if (!IsValidParamId(id)) return luaL_error(L, "parameter out of range: %d", id);
  return id;
}

int FlagArg(lua_State* L, int index) {
  const int id = luaL_checkint(L, index);
  if (id < 0 || id >= kNumGuiFlags) return luaL_error(L, "indicator id out of range: %d", id);
  return id;
}

// ---- Parameters ----

int setParameter(lua_State* L) {
  const int id = ParamArg(L, 1);
  const float value = static_cast<float>(luaL_checknumber(L, 2));
  OdrkAuBase* plugin = Host(L)->Plugin();
  plugin->SetParameterValue(id, value);
  plugin->updateDisplay();
  return 0;
}

int getParameter(lua_State* L) {
  lua_pushnumber(L, Host(L)->Plugin()->GetParameterValue(ParamArg(L, 1)));
  return 1;
}

int getParameterID(lua_State* L) {
  lua_pushinteger(L, ParamArg(L, 1));
  return 1;
}

int getParameterMinMax(lua_State* L) {
  const ParamInfo& p = astParamInfos[ParamArg(L, 1)];
  lua_pushnumber(L, p.minimum);
  lua_pushnumber(L, p.maximum);
  return 2;
}

int getParameterUnit(lua_State* L) {
  lua_pushinteger(L, static_cast<int>(astParamInfos[ParamArg(L, 1)].unit));
  return 1;
}

int getParameterName(lua_State* L) {
  const char* name = astParamInfos[ParamArg(L, 1)].name;
  lua_pushlstring(L, name, std::min<size_t>(std::strlen(name), kMaxNameBytes));
  return 1;
}

int isParameterUsed(lua_State* L) {
  lua_pushboolean(L, Host(L)->isParameterUsed(ParamArg(L, 1)));
  return 1;
}

int getNumParameters(lua_State* L) {
  lua_pushinteger(L, kNumParams);
  return 1;
}

// ---- Other instances, addressed by OSC index ----

int setOthersParameter(lua_State* L) {
  const int index = static_cast<int>(lua_tointeger(L, 1));
  const int id = ParamArg(L, 2);
  const float value = static_cast<float>(luaL_checknumber(L, 3));
  OdrkInstanceTracker::SetParameterOnAllByOSCIndex(index, id, value);
  return 0;
}

int getOthersParameter(lua_State* L) {
  const int index = static_cast<int>(lua_tointeger(L, 1));
  lua_pushnumber(L, OdrkInstanceTracker::GetParameterFromAllByOSCIndex(index, ParamArg(L, 2)));
  return 1;
}

int setGUIBoolValue(lua_State* L) {
  const int id = FlagArg(L, 1);
  Host(L)->setGUIBoolValue(id, lua_toboolean(L, 2));
  return 0;
}

int getGUIBoolValue(lua_State* L) {
  lua_pushboolean(L, Host(L)->getGUIBoolValue(FlagArg(L, 1)) != 0);
  return 1;
}

int setOthersGUIBoolValue(lua_State* L) {
  const int index = static_cast<int>(lua_tointeger(L, 1));
  const int id = FlagArg(L, 2);
  OdrkInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(index, id, lua_toboolean(L, 3));
  return 0;
}

int getOthersGUIBoolValue(lua_State* L) {
  const int index = static_cast<int>(lua_tointeger(L, 1));
  const int id = FlagArg(L, 2);
  lua_pushboolean(L, OdrkInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(index, id) != 0);
  return 1;
}

// ---- OSC: nothing to do without the instance's OSC helper ----

int sendOSC(lua_State* L) {
  OSCHelper* osc = Host(L)->Osc();
  return osc != nullptr ? osc->LuaSendOSC(L) : 0;
}

int registerOSCPathForParameter(lua_State* L) {
  OSCHelper* osc = Host(L)->Osc();
  return osc != nullptr ? osc->RegisterOSCPathForParameter(L, false) : 0;
}

int registerOSCPathForParameterNormalized(lua_State* L) {
  OSCHelper* osc = Host(L)->Osc();
  return osc != nullptr ? osc->RegisterOSCPathForParameter(L, true) : 0;
}

// ---- Handler registration ----

// Upvalues: the kind of event and the error text for a missing function.
int RequestAll(lua_State* L) {
  const auto kind = static_cast<LuaMIDIHelper::Kind>(lua_tointeger(L, lua_upvalueindex(1)));
  if (!lua_isfunction(L, 1)) return luaL_error(L, "%s", lua_tostring(L, lua_upvalueindex(2)));
  lua_pushvalue(L, 1);
  Host(L)->RegisterAll(kind, luaL_ref(L, LUA_REGISTRYINDEX));
  return 0;
}

int RequestKeyed(lua_State* L) {
  const auto kind = static_cast<LuaMIDIHelper::Kind>(lua_tointeger(L, lua_upvalueindex(1)));
  const int key = luaL_checkint(L, 1);
  if (!lua_isfunction(L, 2)) return luaL_error(L, "%s", lua_tostring(L, lua_upvalueindex(2)));
  lua_pushvalue(L, 2);
  Host(L)->RegisterKeyed(kind, key, luaL_ref(L, LUA_REGISTRYINDEX));
  return 0;
}

int requestPitchWheel(lua_State* L) {
  if (!lua_isfunction(L, 1)) {
    return luaL_error(L, "first argument to requestPitchWheel() is not a function");
  }
  lua_pushvalue(L, 1);
  Host(L)->RegisterPitchWheel(luaL_ref(L, LUA_REGISTRYINDEX));
  return 0;
}

int requestChannelPressure(lua_State* L) {
  if (!lua_isfunction(L, 1)) {
    return luaL_error(L, "first argument to requestChannelPressure() is not a function");
  }
  lua_pushvalue(L, 1);
  Host(L)->RegisterChannelPressure(luaL_ref(L, LUA_REGISTRYINDEX));
  return 0;
}

// ---- Time and timers ----

int time(lua_State* L) {
  lua_pushnumber(L, platform::MonotonicSeconds());
  return 1;
}

int RequestTimer(lua_State* L, bool periodic) {
  const double seconds = luaL_checknumber(L, 1);
  if (!lua_isfunction(L, 2)) {
    return luaL_error(L, "second argument to requestTimerCallback() is not a function");
  }
  lua_pushvalue(L, 2);
  const int reference = luaL_ref(L, LUA_REGISTRYINDEX);
  const auto handle = Host(L)->AddTimer(seconds, periodic, reference);
  auto* timer = static_cast<platform::TimerThread::Handle*>(
      lua_newuserdata(L, sizeof(platform::TimerThread::Handle)));
  *timer = handle;
  luaL_getmetatable(L, LuaMIDIHelper::kMetatableTagTimer);
  lua_setmetatable(L, -2);
  return 1;
}

int requestTimedCallback(lua_State* L) {
  return RequestTimer(L, false);
}
int requestPeriodicCallback(lua_State* L) {
  return RequestTimer(L, true);
}

int cancelTimer(lua_State* L) {
  auto* timer = static_cast<platform::TimerThread::Handle*>(
      luaL_checkudata(L, 1, LuaMIDIHelper::kMetatableTagTimer));
  Host(L)->CancelTimer(*timer);
  return 0;
}

// ---- print: tostring on each argument, tabs between, a newline after ----

int print(lua_State* L) {
  const int n = lua_gettop(L);
  lua_getglobal(L, "tostring");
  for (int i = 1; i <= n; ++i) {
    lua_pushvalue(L, -1);
    lua_pushvalue(L, i);
    lua_call(L, 1, 1);
    const char* text = lua_tostring(L, -1);
    if (text == nullptr) return luaL_error(L, "'tostring' must return a string to 'print'");
    if (i > 1) std::fputc('\t', stdout);
    std::fputs(text, stdout);
    lua_pop(L, 1);
  }
  std::fputc('\n', stdout);
  std::fflush(stdout);
  return 0;
}

struct Registration {
  const char* name;
  lua_CFunction function;
};

const Registration kFunctions[] = {
    {"setParameter", setParameter},
    {"getParameter", getParameter},
    {"getParameterID", getParameterID},
    {"getParameterMinMax", getParameterMinMax},
    {"getParameterUnit", getParameterUnit},
    {"getParameterName", getParameterName},
    {"isParameterUsed", isParameterUsed},
    {"getNumParameters", getNumParameters},
    {"sendOSC", sendOSC},
    {"setOthersParameter", setOthersParameter},
    {"getOthersParameter", getOthersParameter},
};

struct HandlerRegistration {
  const char* name;
  LuaMIDIHelper::Kind kind;
  bool keyed;
};

const HandlerRegistration kHandlers[] = {
    {"requestAllNoteOn", LuaMIDIHelper::kNoteOn, false},
    {"requestAllNoteOff", LuaMIDIHelper::kNoteOff, false},
    {"requestAllCC", LuaMIDIHelper::kControlChange, false},
    {"requestAllNRPN", LuaMIDIHelper::kNrpn, false},
    {"requestAllProgramChange", LuaMIDIHelper::kProgramChange, false},
    {"requestAllPolyPressure", LuaMIDIHelper::kPolyPressure, false},
    {"requestNoteOn", LuaMIDIHelper::kNoteOn, true},
    {"requestNoteOff", LuaMIDIHelper::kNoteOff, true},
    {"requestCC", LuaMIDIHelper::kControlChange, true},
    {"requestNRPN", LuaMIDIHelper::kNrpn, true},
};

const Registration kLaterFunctions[] = {
    {"requestPitchWheel", requestPitchWheel},
    {"requestChannelPressure", requestChannelPressure},
};

const HandlerRegistration kLaterHandlers[] = {
    {"requestProgramChange", LuaMIDIHelper::kProgramChange, true},
    {"requestPolyPressure", LuaMIDIHelper::kPolyPressure, true},
};

const Registration kLastFunctions[] = {
    {"time", time},
    {"requestTimedCallback", requestTimedCallback},
    {"requestPeriodicCallback", requestPeriodicCallback},
    {"cancelTimer", cancelTimer},
    {"setGUIBoolValue", setGUIBoolValue},
    {"getGUIBoolValue", getGUIBoolValue},
    {"setOthersGUIBoolValue", setOthersGUIBoolValue},
    {"getOthersGUIBoolValue", getOthersGUIBoolValue},
    {"registerOSCPathForParameter", registerOSCPathForParameter},
    {"registerOSCPathForParameterNormalized", registerOSCPathForParameterNormalized},
    {"print", print},
};

void RegisterFunctions(lua_State* L, const Registration* begin, const Registration* end) {
  for (const Registration* r = begin; r != end; ++r) lua_register(L, r->name, r->function);
}

void RegisterHandlers(lua_State* L, const HandlerRegistration* begin,
                      const HandlerRegistration* end) {
  char message[96];
  for (const HandlerRegistration* h = begin; h != end; ++h) {
    std::snprintf(message, sizeof message, "%s argument to %s() is not a function",
                  h->keyed ? "second" : "first", h->name);
    lua_pushinteger(L, h->kind);
    lua_pushstring(L, message);
    lua_pushcclosure(L, h->keyed ? RequestKeyed : RequestAll, 2);
    lua_setglobal(L, h->name);
  }
}

template <typename T, size_t N>
constexpr const T* End(const T (&array)[N]) {
  return array + N;
}

}  // namespace

LuaMIDIHelper::LuaMIDIHelper(OdrkAuBase* plugin, OSCHelper* osc)
    : m_plugin(plugin), m_osc(osc), m_timerThread(std::make_unique<platform::TimerThread>()) {}

LuaMIDIHelper::~LuaMIDIHelper() {
  {
    std::lock_guard<std::mutex> guard(m_timerLock);
    for (const auto& [handle, timer] : m_timers) m_timerThread->Remove(handle);
    m_timers.clear();
  }
  // No timer function runs once the thread has stopped; it may finish one
  // that had already begun, which needs the script state.
  m_timerThread.reset();
  LuaShutdown();
}

lua_State* LuaMIDIHelper::LuaInit() {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  if (m_state != nullptr) return m_state;
  lua_State* L = luaL_newstate();
  if (L == nullptr) return nullptr;
  luaL_openlibs(L);
  m_state = L;
  // Everything the standard libraries put in the globals, before the API.
  lua_pushnil(L);
  while (lua_next(L, LUA_GLOBALSINDEX) != 0) {
    if (lua_type(L, -2) == LUA_TSTRING) m_standardGlobals.insert(lua_tostring(L, -2));
    lua_pop(L, 1);
  }

  RegisterFunctions(L, std::begin(kFunctions), End(kFunctions));
  RegisterHandlers(L, std::begin(kHandlers), End(kHandlers));
  RegisterFunctions(L, std::begin(kLaterFunctions), End(kLaterFunctions));
  RegisterHandlers(L, std::begin(kLaterHandlers), End(kLaterHandlers));
  RegisterFunctions(L, std::begin(kLastFunctions), End(kLastFunctions));

  luaL_newmetatable(L, kMetatableTagTimer);
  lua_pop(L, 1);
  lua_pushlightuserdata(L, const_cast<char*>(&kRefcon));
  lua_pushlightuserdata(L, this);
  lua_rawset(L, LUA_REGISTRYINDEX);

  for (int id = 0; id < kNumParams; ++id) {
    char ascii[100];
    std::snprintf(ascii, sizeof ascii, "%s", astParamInfos[id].name);
    m_paramLookup.emplace(ascii, id);
  }
  lua_pushlightuserdata(L, const_cast<char*>(&kParamLookup));
  lua_pushlightuserdata(L, &m_paramLookup);
  lua_rawset(L, LUA_REGISTRYINDEX);

  // What scripts may ask of the build they run in.
  lua_pushboolean(L, 1);
  lua_setglobal(L, "isMac");
  lua_pushboolean(L, 0);
  lua_setglobal(L, "isWin");
  lua_pushboolean(L, 1);
  lua_setglobal(L, "isVST");
  lua_pushboolean(L, 0);
  lua_setglobal(L, "isAU");
  lua_pushinteger(L, 2);
  lua_setglobal(L, "majorVersion");
  lua_pushinteger(L, 1);
  lua_setglobal(L, "minorVersion");
  lua_pushinteger(L, 2);
  lua_setglobal(L, "dotVersion");
  lua_pushinteger(L, 20102);
  lua_setglobal(L, "version");

  RunStartupScripts();
  return m_state;
}

void LuaMIDIHelper::RunStartupScripts() {
  lua_State* L = m_state;
  std::vector<std::string> scripts;
  GetScripts(scripts);
  bool userMidi = false;
  for (const std::string& path : scripts) {
    const std::string name = path.substr(path.rfind('/') + 1);
    userMidi |= name.compare(0, 8, "midi.lua") == 0;
  }
  if (!userMidi) {
    std::ifstream file(platform::ResourceDir() + "/midi.lua", std::ios::binary);
    if (file) {
      std::stringstream text;
      text << file.rdbuf();
      const std::string buffer = text.str();
      if (luaL_loadbuffer(L, buffer.data(), buffer.size(), "midi.lua") != 0 ||
          lua_pcall(L, 0, 0, 0) != 0) {
        LuaError(L, "failed to run buffer: %s\n", lua_tostring(L, -1));
        lua_pop(L, 1);
      }
    }
  }
  for (const std::string& path : scripts) {
    if (luaL_loadfile(L, path.c_str()) != 0 || lua_pcall(L, 0, 0, 0) != 0) {
      LuaError(L, "failed to run file: %s\n", lua_tostring(L, -1));
      lua_pop(L, 1);
    }
  }
}

void LuaMIDIHelper::LuaShutdown() {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  if (m_state == nullptr) return;
  m_paramLookup.clear();
  lua_close(m_state);
  m_state = nullptr;
}

int LuaMIDIHelper::ParameterArgument(lua_State* L, int index) {
  return ParamArg(L, index);
}

void LuaMIDIHelper::LuaError(lua_State*, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fputs("@@@ ", stdout);
  std::vfprintf(stdout, format, args);
  va_end(args);
  std::fflush(stdout);
}

int LuaMIDIHelper::protectedPcall(int nargs) {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  return lua_pcall(m_state, nargs, 0, 0);
}

size_t LuaMIDIHelper::PendingTimers() {
  std::lock_guard<std::mutex> guard(m_timerLock);
  return m_timers.size();
}

// ---- Events ----

int LuaMIDIHelper::HandleVstEvents(const VstEvents* events) {
  if (events == nullptr) return 1;
  for (VstInt32 e = 0; e < events->numEvents; ++e) {
    const VstEvent* event = events->events[e];
    if (event == nullptr || event->type != kVstMidiType) continue;
    const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);
    const auto status = static_cast<unsigned char>(midi->midiData[0]);
    const int channel = status & 0x0F;
    const auto data1 = static_cast<unsigned char>(midi->midiData[1] & 0x7F);
    const auto data2 = static_cast<unsigned char>(midi->midiData[2] & 0x7F);
    const unsigned long delta = static_cast<unsigned long>(std::max(midi->deltaFrames, 0));
    switch (status & 0xF0) {
      case 0x80:
      case 0x90:
        if (status >= 0x90 && data2 != 0) {
          HandleNoteOn(channel, data1, data2, delta);
        } else {
          HandleNoteOff(channel, data1, data2, delta);  // a note-on at velocity 0 is a note-off
        }
        break;
      case 0xA0:
        HandlePolyPressure(channel, data1, data2, delta);
        break;
      case 0xB0:
        HandleControlChange(channel, data1, data2, delta);
        break;
      case 0xC0:
        HandleProgramChange(channel, data1);
        break;
      case 0xD0:
        HandleChannelPressure(channel, data1, delta);
        break;
      case 0xE0:
        HandlePitchWheel(channel, data1, data2, delta);
        break;
      default:
        break;  // system messages
    }
  }
  return 1;
}

void LuaMIDIHelper::CallEach(const HandlerList& list, int a, int b, int c, int count) {
  // By index: a handler may register more handlers while the list is walked.
  for (size_t i = 0; i < list.size(); ++i) {
    lua_rawgeti(m_state, LUA_REGISTRYINDEX, list[i]);
    lua_pushinteger(m_state, a);
    if (count > 1) lua_pushinteger(m_state, b);
    if (count > 2) lua_pushinteger(m_state, c);
    if (protectedPcall(count) != 0) lua_pop(m_state, 1);  // the error ends that handler only
  }
}

void LuaMIDIHelper::Dispatch(Kind kind, int channel, int key, int value) {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  if (m_state == nullptr) return;
  const int arguments = kind == kProgramChange ? 2 : 3;
  CallEach(m_all[kind], channel + 1, key, value, arguments);
  const auto keyed = m_keyed[kind].find(key);
  if (keyed != m_keyed[kind].end()) CallEach(keyed->second, channel + 1, key, value, arguments);
}

void LuaMIDIHelper::HandleNoteOn(int channel, unsigned char note, unsigned char velocity,
                                 unsigned long) {
  Dispatch(kNoteOn, channel, note, velocity);
}

void LuaMIDIHelper::HandleNoteOff(int channel, unsigned char note, unsigned char velocity,
                                  unsigned long) {
  Dispatch(kNoteOff, channel, note, velocity);
}

void LuaMIDIHelper::HandlePolyPressure(int channel, unsigned char note, unsigned char pressure,
                                       unsigned long) {
  Dispatch(kPolyPressure, channel, note, pressure);
}

void LuaMIDIHelper::HandleProgramChange(int channel, unsigned char program) {
  Dispatch(kProgramChange, channel, program, 0);
}

void LuaMIDIHelper::HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb,
                                     unsigned long) {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  if (m_state != nullptr) CallEach(m_pitchWheel, channel + 1, msb * 128 + lsb, 0, 2);
}

void LuaMIDIHelper::HandleChannelPressure(int channel, unsigned char pressure, unsigned long) {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  if (m_state != nullptr) CallEach(m_channelPressure, channel + 1, pressure, 0, 2);
}

void LuaMIDIHelper::HandleControlChange(int channel, unsigned char controller, unsigned char value,
                                        unsigned long) {
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  // NRPN selection and data entry; one data-entry controller is one NRPN
  // event, with the other half of the value as last received.
  if (controller == 99) m_nrpnHigh = value;
  if (controller == 98) m_nrpnLow = value;
  if (controller == 6 || controller == 38) {
    if (controller == 6) {
      m_dataHigh = value;
    } else {
      m_dataLow = value;
    }
    Dispatch(kNrpn, channel, m_nrpnHigh * 128 + m_nrpnLow, m_dataHigh * 128 + m_dataLow);
  }
  Dispatch(kControlChange, channel, controller, value);
}

// ---- Timers ----

platform::TimerThread::Handle LuaMIDIHelper::AddTimer(double seconds, bool periodic,
                                                      int reference) {
  // The table entry exists before the timer can fire.
  std::lock_guard<std::mutex> guard(m_timerLock);
  const auto handle = m_timerThread->Add(seconds, periodic,
                                         [this](platform::TimerThread::Handle h) { FireTimer(h); });
  m_timers[handle] = {reference, periodic};
  return handle;
}

void LuaMIDIHelper::CancelTimer(platform::TimerThread::Handle handle) {
  std::lock_guard<std::mutex> guard(m_timerLock);
  if (m_timers.erase(handle) > 0) m_timerThread->Remove(handle);
}

void LuaMIDIHelper::FireTimer(platform::TimerThread::Handle handle) {
  PendingTimer timer{};
  {
    std::lock_guard<std::mutex> guard(m_timerLock);
    const auto it = m_timers.find(handle);
    if (it == m_timers.end()) return;
    timer = it->second;
    if (!timer.periodic) m_timers.erase(it);
  }
  // The timer lock is released before the script lock is taken.
  std::lock_guard<platform::RecursiveLock> guard(m_scriptLock);
  if (m_state == nullptr) return;
  lua_rawgeti(m_state, LUA_REGISTRYINDEX, timer.reference);
  if (protectedPcall(0) != 0) lua_pop(m_state, 1);
  if (!timer.periodic) luaL_unref(m_state, LUA_REGISTRYINDEX, timer.reference);
}

}  // namespace OD
