#include "tests/support/RecordingHost.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/Sync.h"

thread_local RecordingHost* RecordingHost::tl_constructing = nullptr;

namespace {
platform::SpinLock g_hostsLock;  // no pthread lock: tests count those
std::map<AEffect*, RecordingHost*> g_hosts;
}  // namespace

void RecordingHost::Register(AEffect* effect) {
  std::lock_guard<platform::SpinLock> guard(g_hostsLock);
  g_hosts[effect] = this;
}

RecordingHost::~RecordingHost() {
  std::lock_guard<platform::SpinLock> guard(g_hostsLock);
  std::erase_if(g_hosts, [this](const auto& entry) { return entry.second == this; });
}

RecordingHost* RecordingHost::Find(AEffect* effect) {
  std::lock_guard<platform::SpinLock> guard(g_hostsLock);
  auto it = g_hosts.find(effect);
  return it != g_hosts.end() ? it->second : nullptr;
}

VstIntPtr RecordingHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                  void* ptr, float opt) {
  RecordingHost* host = tl_constructing != nullptr ? tl_constructing : Find(effect);
  if (host == nullptr) return opcode == audioMasterVersion ? 2400 : 0;
  return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr RecordingHost::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
  switch (opcode) {
    case audioMasterVersion:
      return versionAnswer;
    case audioMasterAutomate:
      automations.push_back({index, opt});
      return 1;
    case audioMasterWantMidi:
      ++wantMidiCount;
      return 1;
    case audioMasterGetTime:
      ++getTimeCount;
      if (!transport || !transport->answerTime) return 0;
      m_timeInfo = transport->ToTimeInfo();
      return reinterpret_cast<VstIntPtr>(&m_timeInfo);
    case audioMasterUpdateDisplay:
      ++updateDisplayCount;
      return 1;
    case audioMasterBeginEdit:
      beginEdits.push_back(index);
      return 1;
    case audioMasterEndEdit:
      endEdits.push_back(index);
      return 1;
    default:
      return 0;
  }
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : m_name(name) {
  const char* previous = std::getenv(name);
  m_hadPrevious = previous != nullptr;
  if (m_hadPrevious) m_previous = previous;
  setenv(name, value.c_str(), 1);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (m_hadPrevious) {
    setenv(m_name.c_str(), m_previous.c_str(), 1);
  } else {
    unsetenv(m_name.c_str());
  }
}

namespace {
std::string MakeTempDir(const char* prefix) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  return mkdtemp(pattern.data());
}
}  // namespace

ScopedConfigHome::ScopedConfigHome()
    : m_dir(MakeTempDir("veltrane-config-")), m_env("XDG_CONFIG_HOME", m_dir) {}

ScopedConfigHome::~ScopedConfigHome() {
  std::error_code ec;
  std::filesystem::remove_all(m_dir, ec);
}

ScopedDataHomes::ScopedDataHomes()
    : m_user(MakeTempDir("veltrane-data-")),
      m_machine(MakeTempDir("veltrane-machine-")),
      m_userEnv("XDG_DATA_HOME", m_user),
      m_machineEnv("VELTRANE_MACHINE_DATA_HOME", m_machine) {}

ScopedDataHomes::~ScopedDataHomes() {
  std::error_code ec;
  std::filesystem::remove_all(m_user, ec);
  std::filesystem::remove_all(m_machine, ec);
}

void ScopedDataHomes::AddScript(platform::Domain domain, const std::string& name,
                                const std::string& text) const {
  const std::string folder =
      (domain == platform::Domain::User ? m_user : m_machine) + "/Odrisk/Veltrane/Scripts";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/" + name, std::ios::binary) << text;
}

void ScopedConfigHome::WritePreferenceFile(const std::string& text) const {
  std::filesystem::create_directories(m_dir + "/Odrisk");
  std::ofstream(PreferenceFile(), std::ios::binary) << text;
}

std::string HostedEffect::Text(VstInt32 opcode, VstInt32 index) {
  char text[64];
  std::memset(text, 'x', sizeof text);
  text[sizeof text - 1] = '\0';
  Dispatch(opcode, index, 0, text);
  return text;
}
