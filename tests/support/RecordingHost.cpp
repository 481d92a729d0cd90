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

ScopedConfigHome::ScopedConfigHome() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "veltrane-config-XXXXXX").string();
  m_dir = mkdtemp(pattern.data());
  const char* previous = std::getenv("XDG_CONFIG_HOME");
  m_hadPrevious = previous != nullptr;
  if (m_hadPrevious) m_previous = previous;
  setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
}

ScopedConfigHome::~ScopedConfigHome() {
  if (m_hadPrevious) {
    setenv("XDG_CONFIG_HOME", m_previous.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  std::error_code ec;
  std::filesystem::remove_all(m_dir, ec);
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
