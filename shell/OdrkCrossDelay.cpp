#include "shell/OdrkCrossDelay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "osc/OSCHelper.h"
#include "platform/SystemInfo.h"
#include "shell/OdrkInstanceTracker.h"
#include "shell/Preferences.h"
#include "shell/VTLuaMIDIHelper.h"

SyncGroupRecord OdrkCrossDelay::ms_syncGroupData[16] = {};

namespace {

constexpr int32_t kMemoryFloor =
    134217728;  // 128 MiB: kept back for the host, and the least budget
constexpr uint64_t kMemoryCeiling = 2147483647;  // the budget is a signed 32-bit byte count
constexpr int kWaveformColumns = 512;

const OdrkCrossDelay::BuildIdentity kStandard = {"Veltrane", 2, VstFourCC('O', 'D', 'v', 't')};
const OdrkCrossDelay::BuildIdentity kFxLoop = {"Veltrane Fx Loop", 6,
                                               VstFourCC('O', 'D', 'v', 'f')};

// Writes a property's answer through the caller's data pointer.
template <typename T>
int32_t Answer(void* data, T value) {
  if (data == nullptr) return kErrInvalidParameter;
  std::memcpy(data, &value, sizeof value);
  return kNoErr;
}

}  // namespace

const OdrkCrossDelay::BuildIdentity& OdrkCrossDelay::Identity(bool isFxLoop) {
  return isFxLoop ? kFxLoop : kStandard;
}

OdrkCrossDelay::MemoryBudget OdrkCrossDelay::ComputeMemoryBudget(uint64_t physicalBytes,
                                                                 const std::string& processName) {
  if (processName == "auval" || processName == "auvaltool") return {kMemoryFloor, true};
  const int64_t physical = static_cast<int64_t>(std::min(physicalBytes, kMemoryCeiling));
  return {static_cast<int32_t>(std::max<int64_t>(physical - kMemoryFloor, kMemoryFloor)), false};
}

OdrkCrossDelay::OdrkCrossDelay(audioMasterCallback audioMaster, bool isFxLoop)
    : OdrkAuBase(audioMaster, kNumPrograms, OdrkProgramBasic::Factory), isFxLoop(isFxLoop) {
  // The script host and the OSC server, each holding the other.
  m_scriptHost = std::make_unique<VTLuaMIDIHelper>(this, nullptr);
  m_osc = std::make_unique<OD::OSCHelper>(this, m_scriptHost.get());
  m_scriptHost->SetOsc(m_osc.get());

  const MemoryBudget budget =
      ComputeMemoryBudget(platform::PhysicalMemoryBytes(), platform::HostProcessName());
  if (budget.loweredForValidator) {
    std::printf("WARNING: Veltrane artificially lowering RAM limit for auval\n");
  }
  m_physicalRamSize = budget.bytes;
  std::printf("m_physicalRamSize %.2lfGB\n", m_physicalRamSize / 1073741824.0);
  std::fflush(stdout);

  // The heads start at 1 ms (straight) and 0.5 ms (cross) and glide out to
  // their first targets when processing begins.
  const float sr = getSampleRate();
  for (int k = 0; k < kNumHeads; ++k) {
    const bool straight = k == 0 || k == 3;
    m_heads[k].glidePosition = (straight ? 0.001f : 0.0005f) * sr;
    m_heads[k].glideVelocity = 0.0;
  }
  m_recordGainRate = (1.0f / sr) * 100.0f;

  // The MIDI scripts run their main chunks now.
  m_scriptHost->LuaInit();

  // Every waveform column starts as a flat line at its own x position.
  m_waveform.reset(new float[kWaveformFloats]);
  for (int half = 0; half < 2; ++half) {
    float* group = m_waveform.get() + half * (kWaveformFloats / 2);
    for (int k = 0; k < kWaveformColumns; ++k, group += 4) {
      group[0] = group[2] = static_cast<float>(k);
      group[1] = group[3] = 0.0f;
    }
  }

  const BuildIdentity& identity = Identity(isFxLoop);
  setNumInputs(identity.channels);
  setNumOutputs(identity.channels);
  setUniqueID(identity.uniqueId);
  canMono();
  canProcessReplacing();

  for (int p = 0; p < kNumPrograms; ++p) {
    for (int id = 0; id < kNumParams; ++id) {
      m_programs[p]->SetParameter(id, PresetValue(esPresets[p], id));
    }
    m_programs[p]->SetName(esPresets[p].name);
  }

  Initialize();

  OdrkInstanceTracker::AddInstance(this);
}

OdrkCrossDelay::~OdrkCrossDelay() {
  // First, so no other instance can reach this one any more.
  OdrkInstanceTracker::RemoveInstance(this);
  Cleanup();
  m_waveform.reset();
  {
    // Scripts (timers) stop reaching the OSC server before it goes.
    std::lock_guard<platform::RecursiveLock> guard(m_scriptHost->ScriptLock());
    m_scriptHost->SetOsc(nullptr);
  }
  m_osc.reset();         // its server stops before the script state it calls into
  m_scriptHost.reset();  // its timers are removed before its state closes
}

VstInt32 OdrkCrossDelay::processEvents(VstEvents* events) {
  return m_scriptHost->HandleVstEvents(events);
}

int32_t OdrkCrossDelay::Initialize() {
  m_maxSlice = static_cast<uint32_t>(getBlockSize());
  InitBuffer(10.0f);
  ResetDelayInertiaVars();
  ReadPreferenceGlobals();
  if (g_midiOutput.load(std::memory_order_relaxed)) CreateMIDITask();
  m_osc->CreateTask();
  m_scriptHost->UpdateGlobals();
  return kNoErr;
}

void OdrkCrossDelay::Cleanup() {
  DestroyMIDITask();
}

void OdrkCrossDelay::resume() {
  // A tape sized at another rate would hold a different length of time than
  // "Max Delay Time" promises; it is sized again before processing starts.
  if (getSampleRate() != m_tapeSampleRate && getSampleRate() > 0.0f) {
    InitBuffer(m_tapeRequestSec);
    ResetDelayInertiaVars();
  }
  AudioEffectX::resume();
  // Asked again on purpose: some hosts forget the first request.
  wantEvents(1);
}

void OdrkCrossDelay::setBlockSize(VstInt32 blockSize) {
  AudioEffectX::setBlockSize(blockSize);
  m_maxSlice = static_cast<uint32_t>(std::max<VstInt32>(blockSize, 0));
}

void OdrkCrossDelay::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {
  const int channels = Identity(isFxLoop).channels;
  const float* in[kMaxChannels];
  float* out[kMaxChannels];
  for (int c = 0; c < channels; ++c) {
    in[c] = inputs[c];
    out[c] = outputs[c];
  }
  ProcessMain(in, out, static_cast<unsigned long>(sampleFrames));
}

void OdrkCrossDelay::setParameter(VstInt32 id, float normalised) {
  OdrkAuBase::setParameter(id, normalised);
  FollowParameterChange(id);
  // Subscribers hear of changes made through this path only.
  if (m_osc != nullptr && IsValidParamId(id)) m_osc->NotifySetParam(id, GetParameterValue(id));
}

void OdrkCrossDelay::FollowParameterChange(int id) {
  if (m_tapTempoValid.load(std::memory_order_relaxed) &&
      (id == kBeats || id == kBeatDivisor || id == kTriplet)) {
    // The delay follows the tap-derived tempo: Beats notes of the divisor's
    // length, two thirds as long for triplets.
    const float beats = GetParameterValue(kBeats);
    const float divisor = GetParameterValue(kBeatDivisor);
    const float wholeNote = GetParameterValue(kTriplet) == 0.0f ? 240.0f : 160.0f;
    const double seconds = beats * std::exp2(-divisor) * wholeNote / Tempo();
    SetParameterValue(kDelayTime, static_cast<float>(seconds));
    updateDisplay();
  }
  if (id == kOscPortOffset) ApplyOscPortOffset();
}

void OdrkCrossDelay::setProgram(VstInt32 program) {
  m_tapTempoValid.store(false, std::memory_order_relaxed);
  OdrkAuBase::setProgram(program);
  ApplyOscPortOffset();
}

void OdrkCrossDelay::ApplyOscPortOffset() {
  const int offset = static_cast<int>(std::trunc(GetParameterValue(kOscPortOffset)));
  const int port = offset != 0 ? g_OSCBasePort.load() + offset : 0;
  // Hosts send automation again and again: a server already serving the
  // port is left alone rather than closed and opened anew.
  if (port == m_oscListenPort && (port == 0 || m_osc->CurrentPort() == port)) return;
  m_oscListenPort = port;
  if (m_oscListenPort != 0) {
    m_osc->SetPort(m_oscListenPort);
  } else {
    m_osc->Disable();
  }
}

bool OdrkCrossDelay::getEffectName(char* name) {
  std::strncpy(name, Identity(isFxLoop).name, kVstMaxEffectNameLen - 1);
  name[kVstMaxEffectNameLen - 1] = '\0';
  return true;
}

bool OdrkCrossDelay::getProductString(char* text) {
  std::strncpy(text, Identity(isFxLoop).name, kVstMaxProductStrLen - 1);
  text[kVstMaxProductStrLen - 1] = '\0';
  return true;
}

VstInt32 OdrkCrossDelay::canDo(char* text) {
  return std::strcmp(text, "receiveVstMidiEvent") == 0 ? 1 : 0;
}

// ---- Property interface ----

int32_t OdrkCrossDelay::GetParameterValueStrings(uint32_t scope, uint32_t id,
                                                 const ValueStringList** out) {
  if (out == nullptr) return kNoErr;  // the caller asks whether the property exists
  const ValueStringList* list = id < kNumParams ? ValueStringsFor(static_cast<int>(id)) : nullptr;
  if (scope != 0 || list == nullptr) return kErrInvalidParameter;
  *out = list;
  return kNoErr;
}

int32_t OdrkCrossDelay::GetProperty(uint32_t property, uint32_t scope, uint32_t element,
                                    void* data) {
  switch (property) {
    case kPropertyParameterStringFromValue: {
      auto* request = static_cast<ParameterStringFromValue*>(data);
      if (request == nullptr || request->id != kFilterType) return kErrInvalidParameter;
      const float value =
          request->value != nullptr ? *request->value : GetParameterValue(kFilterType);
      request->text = FilterTypeText(value);
      return kNoErr;
    }
    case kPropertyDataToGui:
      return Answer(data, &m_dataToGui);
    case kPropertyIsFxLoop:
      return Answer<uint8_t>(data, isFxLoop ? 1 : 0);
    case kPropertyWaveformVertices:
      return Answer(data, m_waveform.get());
    default:
      return kErrInvalidProperty;
  }
}

int32_t OdrkCrossDelay::GetPropertyInfo(uint32_t property, uint32_t scope, uint32_t element,
                                        uint32_t* size, bool* writable) {
  struct Info {
    uint32_t property, size;
    bool writable;
  };
  static constexpr Info kInfos[] = {
      {kPropertyParameterStringFromValue, 12, false},
      {kPropertyDataToGui, 4, false},
      {kPropertySkinChanged, 4, true},
      {kPropertyMidiRxChanged, 1, true},
      {kPropertyIsFxLoop, 1, false},
      {kPropertyWaveformEnabled, 1, true},
      {kPropertyWaveformVertices, 4, false},
  };
  for (const Info& info : kInfos) {
    if (info.property != property) continue;
    if (size != nullptr) *size = info.size;
    if (writable != nullptr) *writable = info.writable;
    return kNoErr;
  }
  return kErrInvalidProperty;
}

int32_t OdrkCrossDelay::SetProperty(uint32_t property, uint32_t scope, uint32_t element,
                                    const void* data, uint32_t size) {
  switch (property) {
    case kPropertySkinChanged:
      return kNoErr;
    case kPropertyMidiRxChanged:
      m_scriptHost->UpdateGlobals();
      return kNoErr;
    case kPropertyWaveformEnabled:
      if (data == nullptr) return kErrInvalidParameter;
      m_waveformEnabled.store(*static_cast<const uint8_t*>(data) != 0, std::memory_order_relaxed);
      return kNoErr;
    default:
      return kErrInvalidProperty;
  }
}
