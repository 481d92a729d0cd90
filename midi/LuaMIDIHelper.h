// The MIDI script host: a private Lua 5.1 state running "midi.lua" and the
// user's scripts, which receive the host's MIDI through the handlers they
// register and drive the plug-in through the script API (parameters, other
// instances, timers, editor indicators, OSC).
//
// Threads: the host's event thread (usually the audio thread) dispatches
// MIDI, the timer thread fires timers, the OSC server calls functions; every
// use of the state after start-up holds the recursive script lock. The timer
// lock guards only the timer table and is taken after the script lock, never
// before it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/Sync.h"
#include "platform/TimerThread.h"
#include "platform/VstInterface.h"

struct lua_State;
class OdrkAuBase;

namespace OD {

class OSCHelper;

class LuaMIDIHelper {
 public:
  static constexpr const char* kMetatableTagTimer = "OD::LuaMIDIHelper::Timer";

  // The owning plug-in and its OSC helper (may be null: the OSC functions of
  // the script API then do nothing). No script state yet.
  LuaMIDIHelper(OdrkAuBase* plugin, OSCHelper* osc);
  // Removes every pending timer, then closes the state.
  virtual ~LuaMIDIHelper();
  LuaMIDIHelper(const LuaMIDIHelper&) = delete;
  LuaMIDIHelper& operator=(const LuaMIDIHelper&) = delete;

  // Creates the state and runs the scripts if there is none yet; returns it.
  // Main thread.
  lua_State* LuaInit();
  void LuaShutdown();

  // Decodes and dispatches one block of host events; returns 1.
  int HandleVstEvents(const VstEvents* events);

  // One decoded event each; channels are 0..15.
  virtual void HandleNoteOn(int channel, unsigned char note, unsigned char velocity,
                            unsigned long deltaFrames);
  virtual void HandleNoteOff(int channel, unsigned char note, unsigned char velocity,
                             unsigned long deltaFrames);
  virtual void HandleControlChange(int channel, unsigned char controller, unsigned char value,
                                   unsigned long deltaFrames);
  virtual void HandlePitchWheel(int channel, unsigned char lsb, unsigned char msb,
                                unsigned long deltaFrames);
  virtual bool isParameterUsed(int id) { return true; }
  virtual void setGUIBoolValue(int id, int value) = 0;
  virtual int getGUIBoolValue(int id) const = 0;
  void HandleProgramChange(int channel, unsigned char program);
  void HandleChannelPressure(int channel, unsigned char pressure, unsigned long deltaFrames);
  void HandlePolyPressure(int channel, unsigned char note, unsigned char pressure,
                          unsigned long deltaFrames);

  // Calls the function below nargs pushed arguments, protected, with no
  // results, holding the script lock; returns the call's status.
  int protectedPcall(int nargs);

  // Prints "@@@ " and the formatted text on standard output.
  static void LuaError(lua_State* state, const char* format, ...)
      __attribute__((format(printf, 2, 3)));

  // The parameter at stack index: an id or an exact name. Raises the script
  // errors "parameter not found: '%s'" and "parameter out of range: %d".
  static int ParameterArgument(lua_State* L, int index);

  platform::RecursiveLock& ScriptLock() { return m_scriptLock; }
  lua_State* State() const { return m_state; }
  OdrkAuBase* Plugin() const { return m_plugin; }
  OSCHelper* Osc() const { return m_osc; }
  // The instance's OSC server, once it exists (main thread, before use).
  void SetOsc(OSCHelper* osc) { m_osc = osc; }
  // True for the globals the standard libraries define (dofile, require,
  // loadstring, ...), which the network may not call.
  bool IsStandardGlobal(const char* name) const { return m_standardGlobals.count(name) > 0; }
  size_t PendingTimers();

  // ---- For the script API (called with the script lock held) ----
  enum Kind { kNoteOn, kNoteOff, kControlChange, kNrpn, kProgramChange, kPolyPressure, kKinds };
  void RegisterAll(Kind kind, int reference) { m_all[kind].push_back(reference); }
  void RegisterKeyed(Kind kind, int32_t key, int reference) {
    m_keyed[kind][key].push_back(reference);
  }
  void RegisterPitchWheel(int reference) { m_pitchWheel.push_back(reference); }
  void RegisterChannelPressure(int reference) { m_channelPressure.push_back(reference); }
  // Installs a timer calling the function behind reference; returns its handle.
  platform::TimerThread::Handle AddTimer(double seconds, bool periodic, int reference);
  void CancelTimer(platform::TimerThread::Handle handle);

 protected:
  lua_State* m_state = nullptr;

 private:
  using HandlerList = std::vector<int>;

  // Calls each function of list with the arguments; an error ends that
  // function only.
  void CallEach(const HandlerList& list, int a, int b, int c, int count);
  void Dispatch(Kind kind, int channel, int key, int value);
  void FireTimer(platform::TimerThread::Handle handle);
  void RunStartupScripts();

  OdrkAuBase* m_plugin;
  OSCHelper* m_osc;
  platform::RecursiveLock m_scriptLock;
  HandlerList m_all[kKinds];
  std::map<int32_t, HandlerList> m_keyed[kKinds];
  HandlerList m_pitchWheel;
  HandlerList m_channelPressure;
  // The NRPN selection and data entry, shared by all channels.
  int32_t m_nrpnLow = 0, m_nrpnHigh = 0, m_dataLow = 0, m_dataHigh = 0;
  std::map<std::string, int> m_paramLookup;
  std::set<std::string, std::less<>> m_standardGlobals;

  struct PendingTimer {
    int reference;
    bool periodic;
  };
  std::mutex m_timerLock;  // guards m_timers
  std::map<platform::TimerThread::Handle, PendingTimer> m_timers;
  std::unique_ptr<platform::TimerThread> m_timerThread;
};

}  // namespace OD
