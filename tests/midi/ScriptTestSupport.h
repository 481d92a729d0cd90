// Runs MIDI scripts in a real effect: the scripts are written into fresh
// data folders, the effect loads them as it would in a host, and MIDI
// reaches them through effProcessEvents.
#pragma once

#include <string>
#include <vector>

#include "shell/OdrkCrossDelay.h"
#include "tests/support/RecordingHost.h"

struct Midi {
  uint8_t status, data1, data2;
};

class ScriptedEffect {
 public:
  struct Script {
    platform::Domain domain;
    std::string name, text;
  };
  // A user "midi.lua" with this text replaces the default script.
  explicit ScriptedEffect(const std::string& midiLua);
  // The default script and these.
  explicit ScriptedEffect(const std::vector<Script>& others);

  OdrkCrossDelay& effect() { return *m_effect; }
  RecordingHost& host() { return m_host; }
  const ScopedDataHomes& homes() const { return m_homes; }

  // Sends the messages as one block of host events.
  void Send(const std::vector<Midi>& messages);
  // Runs Lua code in the script state under the script lock; returns the
  // error text, or "" when it ran.
  std::string Run(const std::string& code);
  // The global `log` table the fixture scripts append to, joined with ",".
  std::string Log();
  // A global as text (tostring), under the script lock.
  std::string Global(const std::string& name);

 private:
  ScopedDataHomes m_homes;
  RecordingHost m_host;
  std::unique_ptr<OdrkCrossDelay> m_effect;
};

// Every fixture script starts with this: a `log(...)` that appends its
// arguments, joined with spaces, to the global table `log_entries`.
extern const char* const kLogPrelude;
