// A host callback that records what the effect asks of its host, for tests
// that construct the effect directly. Each effect created through Create
// reports to its own RecordingHost.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Folders.h"
#include "platform/VstInterface.h"
#include "shell/OdrkCrossDelay.h"
#include "tools/vsthost/PluginHost.h"

class RecordingHost {
 public:
  struct Automation {
    int index;
    float value;
  };

  // Constructs an effect whose host callback reports here.
  template <typename Effect = OdrkCrossDelay>
  std::unique_ptr<Effect> Create(bool isFxLoop) {
    tl_constructing = this;
    auto effect = std::make_unique<Effect>(&Callback, isFxLoop);
    tl_constructing = nullptr;
    Register(effect->getAeffect());
    return effect;
  }

  RecordingHost() = default;
  ~RecordingHost();
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  static VstIntPtr Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt);

  VstIntPtr versionAnswer = 2400;
  // The transport audioMasterGetTime reports; none unless a test sets it.
  std::optional<vsthost::Transport> transport;
  // Counted from any thread: the MIDI output task refreshes the display too.
  std::atomic<int> wantMidiCount{0};
  std::atomic<int> updateDisplayCount{0};
  std::atomic<int> getTimeCount{0};
  std::vector<Automation> automations;
  std::vector<int> beginEdits, endEdits;

 private:
  VstTimeInfo m_timeInfo{};
  // Other threads may call into an effect (through the instance registry) as
  // soon as its construction ends, so the effect-to-host map is locked.
  void Register(AEffect* effect);
  static RecordingHost* Find(AEffect* effect);
  VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  static thread_local RecordingHost* tl_constructing;
};

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();

 private:
  std::string m_name;
  std::string m_previous;
  bool m_hadPrevious;
};

// Creates a fresh folder for the preference file and points XDG_CONFIG_HOME
// at it for the life of the object; the folder is removed afterwards.
class ScopedConfigHome {
 public:
  ScopedConfigHome();
  ~ScopedConfigHome();
  const std::string& dir() const { return m_dir; }
  std::string PreferenceFile() const { return m_dir + "/Odrisk/Veltrane.json"; }
  // Writes the preference file with exactly this text.
  void WritePreferenceFile(const std::string& text) const;

 private:
  std::string m_dir;
  ScopedEnvironment m_env;
};

// Fresh, empty user and machine data folders (scripts, skins) for the life
// of the object.
class ScopedDataHomes {
 public:
  ScopedDataHomes();
  ~ScopedDataHomes();
  const std::string& user() const { return m_user; }
  const std::string& machine() const { return m_machine; }
  void AddScript(platform::Domain domain, const std::string& name, const std::string& text) const;

 private:
  std::string m_user, m_machine;
  ScopedEnvironment m_userEnv, m_machineEnv;
};

// A freshly constructed effect on its own recording host, with the
// dispatcher as a host calls it. Test fixtures derive from it.
class HostedEffect {
 public:
  explicit HostedEffect(bool isFxLoop = false)
      : effect(host.Create(isFxLoop)), e(effect->getAeffect()) {}

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f) {
    return e->dispatcher(e, opcode, index, value, ptr, opt);
  }
  // The answer to a text request (name, label, display, program name).
  std::string Text(VstInt32 opcode, VstInt32 index = 0);

  RecordingHost host;
  std::unique_ptr<OdrkCrossDelay> effect;
  AEffect* e;
};
