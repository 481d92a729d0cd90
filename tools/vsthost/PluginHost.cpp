#include "tools/vsthost/PluginHost.h"

#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace vsthost {

namespace {

using PluginMain = AEffect* (*)(audioMasterCallback);

// The host being loaded on this thread. While VSTPluginMain runs, the plug-in
// may call back before it has returned its AEffect (or hands over one whose
// user field the host has not set yet), so those calls are routed here.
thread_local PluginHost* tLoadingHost = nullptr;

// Restores the previous loading host even when a load returns early.
class LoadingScope {
 public:
  explicit LoadingScope(PluginHost* host) : previous_(tLoadingHost) { tLoadingHost = host; }
  ~LoadingScope() { tLoadingHost = previous_; }
  LoadingScope(const LoadingScope&) = delete;
  LoadingScope& operator=(const LoadingScope&) = delete;

 private:
  PluginHost* previous_;
};

constexpr const char* kHostName = "Veltrane test host";

// The host capabilities this host really has; plug-ins ask before relying on them.
constexpr const char* kHostCanDo[] = {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo",
                                      "receiveVstEvents", "receiveVstMidiEvent"};

// Plug-ins often write past the sizes the interface names (kVstMaxParamStrLen is
// 8), so the host hands out roomy zeroed buffers and terminates them itself.
constexpr size_t kParamTextBuffer = 64;
constexpr size_t kNameBuffer = 256;

std::string TerminatedText(char* buffer, size_t size) {
  buffer[size - 1] = '\0';
  return std::string(buffer);
}

// The plug-in's entry point. Plug-ins built before VST 2.4 on Linux, and some
// since (the DPF-based Zam plug-ins among them), export it only as "main".
// That name is accepted only when the library itself defines it, never when
// the lookup found it in one of the library's dependencies.
PluginMain FindEntryPoint(void* library) {
  if (void* entry = dlsym(library, "VSTPluginMain")) return reinterpret_cast<PluginMain>(entry);
  void* entry = dlsym(library, "main");
  if (entry == nullptr) return nullptr;
  link_map* libraryMap = nullptr;
  link_map* definingMap = nullptr;
  Dl_info info;
  if (dlinfo(library, RTLD_DI_LINKMAP, &libraryMap) != 0 ||
      dladdr1(entry, &info, reinterpret_cast<void**>(&definingMap), RTLD_DL_LINKMAP) == 0 ||
      definingMap != libraryMap) {
    return nullptr;
  }
  return reinterpret_cast<PluginMain>(entry);
}

}  // namespace

VstTimeInfo Transport::ToTimeInfo() const {
  VstTimeInfo info{};
  info.samplePos = samplePos;
  info.sampleRate = sampleRate;
  info.ppqPos = ppqPos;
  info.tempo = tempo;
  info.barStartPos = barStartPos;
  info.timeSigNumerator = timeSigNumerator;
  info.timeSigDenominator = timeSigDenominator;
  if (playing) info.flags |= kVstTransportPlaying;
  if (tempoValid) info.flags |= kVstTempoValid;
  if (ppqValid) info.flags |= kVstPpqPosValid;
  if (barsValid) info.flags |= kVstBarsValid;
  if (timeSigValid) info.flags |= kVstTimeSigValid;
  return info;
}

void Transport::Advance(int frames) {
  samplePos += frames;
  if (playing && sampleRate > 0.0) ppqPos += frames / sampleRate * tempo / 60.0;
  if (timeSigNumerator <= 0 || timeSigDenominator <= 0) return;
  const double barLength = timeSigNumerator * 4.0 / timeSigDenominator;
  // The accumulated position can land a hair below an exact bar line; the
  // tolerance keeps such a position in the bar it really has reached.
  const double bars = std::floor(ppqPos / barLength + 1e-9);
  barStartPos = bars * barLength;
}

std::unique_ptr<PluginHost> PluginHost::Load(const std::string& path, std::string* error,
                                             const HostOptions& options) {
  std::unique_ptr<PluginHost> host(new PluginHost());
  host->path_ = path;
  host->options_ = options;

  dlerror();
  host->library_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (host->library_ == nullptr) {
    const char* cause = dlerror();
    if (error) *error = "cannot load '" + path + "': " + (cause ? cause : "unknown error");
    return nullptr;
  }
  PluginMain pluginMain = FindEntryPoint(host->library_);
  if (pluginMain == nullptr) {
    if (error) *error = "'" + path + "' has no VSTPluginMain";
    return nullptr;
  }

  AEffect* effect = nullptr;
  {
    LoadingScope scope(host.get());
    effect = pluginMain(&PluginHost::HostCallback);
  }
  if (effect == nullptr) {
    if (error) *error = "'" + path + "': VSTPluginMain returned no effect";
    return nullptr;
  }
  if (effect->magic != kEffectMagic) {
    if (error) *error = "'" + path + "': not a VST 2.4 plug-in (bad magic)";
    return nullptr;
  }
  effect->user = host.get();
  host->effect_ = effect;
  host->Dispatch(effOpen);
  return host;
}

PluginHost::~PluginHost() {
  Close();
  if (library_ != nullptr) dlclose(library_);
}

VstIntPtr PluginHost::HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt) {
  PluginHost* host = tLoadingHost;
  if (host == nullptr && effect != nullptr) host = static_cast<PluginHost*>(effect->user);
  if (host == nullptr) {
    // A call from an effect this host never registered: say only which
    // interface version the host speaks.
    return opcode == audioMasterVersion ? 2400 : 0;
  }
  return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                             float opt) {
  switch (opcode) {
    case audioMasterVersion:
      return options_.versionAnswer;
    case audioMasterAutomate:
      automations.push_back({index, opt});
      return 0;
    case audioMasterWantMidi:
      ++wantMidiCount;
      return 1;
    case audioMasterGetTime: {
      ++getTimeCount;
      if (!transport.answerTime) return 0;
      timeInfo_ = transport.ToTimeInfo();
      return reinterpret_cast<VstIntPtr>(&timeInfo_);
    }
    case audioMasterUpdateDisplay:
      ++updateDisplayCount;
      return 1;
    case audioMasterBeginEdit:
      edits.push_back({EditKind::Begin, index});
      return 1;
    case audioMasterEndEdit:
      edits.push_back({EditKind::End, index});
      return 1;
    case audioMasterGetSampleRate:
      return static_cast<VstIntPtr>(transport.sampleRate);
    case audioMasterGetBlockSize:
      return blockSize_;
    case audioMasterGetCurrentProcessLevel:
      // 2 is the realtime level, 0 "unknown": plug-ins use it to tell audio
      // callbacks from everything else.
      return processing_ ? 2 : 0;
    case audioMasterGetVendorString:
    case audioMasterGetProductString:
      if (ptr == nullptr) return 0;
      std::strcpy(static_cast<char*>(ptr), kHostName);
      return 1;
    case audioMasterCanDo: {
      if (ptr == nullptr) return 0;
      const char* asked = static_cast<const char*>(ptr);
      for (const char* capability : kHostCanDo) {
        if (std::strcmp(asked, capability) == 0) return 1;
      }
      return 0;
    }
    default:
      return 0;
  }
}

VstIntPtr PluginHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt) {
  if (effect_ == nullptr) return 0;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

std::string PluginHost::EffectName() {
  char buffer[kNameBuffer] = {};
  Dispatch(effGetEffectName, 0, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

std::string PluginHost::VendorString() {
  char buffer[kNameBuffer] = {};
  Dispatch(effGetVendorString, 0, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

std::string PluginHost::ProductString() {
  char buffer[kNameBuffer] = {};
  Dispatch(effGetProductString, 0, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

VstInt32 PluginHost::VendorVersion() {
  return static_cast<VstInt32>(Dispatch(effGetVendorVersion));
}

std::string PluginHost::ParameterName(int index) {
  char buffer[kParamTextBuffer] = {};
  Dispatch(effGetParamName, index, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

std::string PluginHost::ParameterLabel(int index) {
  char buffer[kParamTextBuffer] = {};
  Dispatch(effGetParamLabel, index, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

std::string PluginHost::ParameterDisplay(int index) {
  char buffer[kParamTextBuffer] = {};
  Dispatch(effGetParamDisplay, index, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

std::string PluginHost::ProgramName() {
  char buffer[kNameBuffer] = {};
  Dispatch(effGetProgramName, 0, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

std::string PluginHost::ProgramNameIndexed(int index) {
  char buffer[kNameBuffer] = {};
  Dispatch(effGetProgramNameIndexed, index, 0, buffer);
  return TerminatedText(buffer, sizeof buffer);
}

int PluginHost::NumParams() const {
  return effect_ ? effect_->numParams : 0;
}
int PluginHost::NumPrograms() const {
  return effect_ ? effect_->numPrograms : 0;
}
int PluginHost::NumInputs() const {
  return effect_ ? effect_->numInputs : 0;
}
int PluginHost::NumOutputs() const {
  return effect_ ? effect_->numOutputs : 0;
}
VstInt32 PluginHost::UniqueId() const {
  return effect_ ? effect_->uniqueID : 0;
}

float PluginHost::GetParameter(int index) {
  if (effect_ == nullptr) return 0.0f;
  return effect_->getParameter(effect_, index);
}

void PluginHost::SetParameter(int index, float normalised) {
  if (effect_ == nullptr) return;
  effect_->setParameter(effect_, index, normalised);
}

void PluginHost::SetProgram(int index) {
  Dispatch(effBeginSetProgram);
  Dispatch(effSetProgram, 0, index);
  Dispatch(effEndSetProgram);
}

int PluginHost::GetProgram() {
  return static_cast<int>(Dispatch(effGetProgram));
}

void PluginHost::SetSampleRate(double rate) {
  transport.sampleRate = rate;
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(rate));
}

void PluginHost::SetBlockSize(int frames) {
  blockSize_ = frames;
  Dispatch(effSetBlockSize, 0, frames);
}

void PluginHost::Resume() {
  Dispatch(effMainsChanged, 0, 1);
  resumed_ = true;
}

void PluginHost::Suspend() {
  Dispatch(effMainsChanged, 0, 0);
  resumed_ = false;
}

VstIntPtr PluginHost::SendMidi(const std::vector<MidiMessage>& messages) {
  // One allocation holds the VstEvents header with its pointer array, then the
  // events it points at. It stays alive until the next call because plug-ins
  // may read the events during the following processReplacing.
  const size_t count = messages.size();
  const size_t headerBytes =
      std::max(sizeof(VstEvents), offsetof(VstEvents, events) + count * sizeof(VstEvent*));
  const size_t eventsOffset =
      (headerBytes + alignof(VstMidiEvent) - 1) / alignof(VstMidiEvent) * alignof(VstMidiEvent);
  eventStorage_.assign(eventsOffset + count * sizeof(VstMidiEvent), 0);

  auto* events = reinterpret_cast<VstEvents*>(eventStorage_.data());
  auto* midi = reinterpret_cast<VstMidiEvent*>(eventStorage_.data() + eventsOffset);
  events->numEvents = static_cast<VstInt32>(count);
  for (size_t i = 0; i < count; ++i) {
    VstMidiEvent& event = midi[i];
    event.type = kVstMidiType;
    event.byteSize = sizeof(VstMidiEvent);
    event.deltaFrames = messages[i].deltaFrames;
    for (int b = 0; b < 3; ++b) event.midiData[b] = static_cast<char>(messages[i].bytes[b]);
    events->events[i] = reinterpret_cast<VstEvent*>(&event);
  }
  return Dispatch(effProcessEvents, 0, 0, events);
}

void PluginHost::ProcessReplacing(float** inputs, float** outputs, int frames) {
  if (effect_ == nullptr) return;
  processing_ = true;
  effect_->processReplacing(effect_, inputs, outputs, frames);
  processing_ = false;
  transport.Advance(frames);
}

void PluginHost::ProcessBuffers(const std::vector<std::vector<float>>& inputs,
                                std::vector<std::vector<float>>& outputs, int blockFrames,
                                bool inPlace) {
  const int numInputs = NumInputs();
  const int numOutputs = NumOutputs();
  if (static_cast<int>(inputs.size()) != numInputs ||
      static_cast<int>(outputs.size()) != numOutputs) {
    throw std::invalid_argument("ProcessBuffers: channel counts differ from the plug-in's");
  }
  if (blockFrames <= 0) blockFrames = blockSize_;
  if (blockFrames <= 0) throw std::invalid_argument("ProcessBuffers: no block size");

  size_t length = 0;
  if (!inputs.empty()) {
    length = inputs[0].size();
  } else if (!outputs.empty()) {
    length = outputs[0].size();
  }
  for (const auto& channel : inputs) {
    if (channel.size() != length) throw std::invalid_argument("ProcessBuffers: ragged inputs");
  }
  for (const auto& channel : outputs) {
    if (channel.size() != length) throw std::invalid_argument("ProcessBuffers: ragged outputs");
  }

  // Inputs go through scratch blocks: the caller's buffers are const, and some
  // plug-ins scribble over their inputs.
  std::vector<std::vector<float>> scratch(numInputs, std::vector<float>(blockFrames));
  std::vector<float*> inPointers(numInputs);
  std::vector<float*> outPointers(numOutputs);

  for (size_t start = 0; start < length; start += blockFrames) {
    const int frames = static_cast<int>(std::min<size_t>(blockFrames, length - start));
    for (int c = 0; c < numOutputs; ++c) outPointers[c] = outputs[c].data() + start;
    for (int c = 0; c < numInputs; ++c) {
      const float* source = inputs[c].data() + start;
      if (inPlace && c < numOutputs) {
        std::copy(source, source + frames, outPointers[c]);
        inPointers[c] = outPointers[c];
      } else {
        std::copy(source, source + frames, scratch[c].data());
        inPointers[c] = scratch[c].data();
      }
    }
    ProcessReplacing(inPointers.data(), outPointers.data(), frames);
  }
}

void PluginHost::Close() {
  if (effect_ == nullptr) return;
  if (resumed_) Suspend();
  Dispatch(effClose);
  effect_ = nullptr;
}

}  // namespace vsthost
