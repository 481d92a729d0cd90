#include "shell/AudioEffect.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

AudioEffect* EffectOf(AEffect* e) {
  return e != nullptr ? static_cast<AudioEffect*>(e->object) : nullptr;
}

// The texts a host asks for are written into its buffer; a host that passes
// no buffer gets nothing written.
bool HasBuffer(void* ptr) {
  return ptr != nullptr;
}

}  // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : m_audioMaster(audioMaster), m_numPrograms(numPrograms), m_numParams(numParams) {
  m_effect.magic = kEffectMagic;
  m_effect.dispatcher = dispatchEffectClass;
  m_effect.process = processClass;
  m_effect.setParameter = setParameterClass;
  m_effect.getParameter = getParameterClass;
  m_effect.numPrograms = numPrograms;
  m_effect.numParams = numParams;
  m_effect.numInputs = 1;
  m_effect.numOutputs = 2;
  m_effect.flags = effFlagsCanReplacing;
  m_effect.ioRatio = 1.0f;
  m_effect.object = this;
  m_effect.uniqueID = VstFourCC('N', 'o', 'E', 'f');
  m_effect.version = 1;
  m_effect.processReplacing = processClassReplacing;
  m_effect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect() {
  delete m_editor;
}

void AudioEffect::setEditor(AEffEditor* editor) {
  m_editor = editor;
  SetFlag(effFlagsHasEditor, editor != nullptr);
}

VstIntPtr AudioEffect::HostCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
  if (m_audioMaster == nullptr) return 0;
  return m_audioMaster(&m_effect, opcode, index, value, ptr, opt);
}

VstInt32 AudioEffect::getMasterVersion() {
  const VstIntPtr version = HostCall(audioMasterVersion);
  return version != 0 ? static_cast<VstInt32>(version) : 1;
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
  switch (opcode) {
    case effOpen:
      open();
      return 0;
    case effClose:
      close();
      return 1;
    case effSetProgram:
      if (IsValidProgramIndex(value)) setProgram(static_cast<VstInt32>(value));
      return 0;
    case effGetProgram:
      return getProgram();
    case effSetProgramName:
      if (HasBuffer(ptr)) setProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetProgramName:
      if (HasBuffer(ptr)) getProgramName(static_cast<char*>(ptr));
      return 0;
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName: {
      if (!HasBuffer(ptr)) return 0;
      char* text = static_cast<char*>(ptr);
      if (!IsValidParamIndex(index)) {
        *text = '\0';
      } else if (opcode == effGetParamLabel) {
        getParameterLabel(index, text);
      } else if (opcode == effGetParamDisplay) {
        getParameterDisplay(index, text);
      } else {
        getParameterName(index, text);
      }
      return 0;
    }
    case effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case effSetBlockSize:
      setBlockSize(static_cast<VstInt32>(value));
      return 0;
    case effMainsChanged:
      if (value != 0) {
        resume();
      } else {
        suspend();
      }
      return 0;
    case effEditGetRect:
      if (m_editor == nullptr || !HasBuffer(ptr)) return 0;
      return m_editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
      return m_editor != nullptr && m_editor->open(ptr) ? 1 : 0;
    case effEditClose:
      if (m_editor != nullptr) m_editor->close();
      return 0;
    case effEditDraw:
      if (m_editor != nullptr) m_editor->draw(static_cast<ERect*>(ptr));
      return 0;
    case effEditMouse:
      return m_editor != nullptr ? m_editor->mouse(index, static_cast<VstInt32>(value)) : 0;
    case effEditKey:
      return m_editor != nullptr ? m_editor->key(static_cast<VstInt32>(value)) : 0;
    case effEditIdle:
      if (m_editor != nullptr) m_editor->idle();
      return 0;
    case effEditTop:
      if (m_editor != nullptr) m_editor->top();
      return 0;
    case effEditSleep:
      if (m_editor != nullptr) m_editor->sleep();
      return 0;
    case effIdentify:
      return VstFourCC('N', 'v', 'E', 'f');
    case effGetChunk:
      return HasBuffer(ptr) ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
    case effSetChunk:
      return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
      return 0;
  }
}

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt) {
  AudioEffect* effect = EffectOf(e);
  if (effect == nullptr) return 0;
  if (opcode == effClose) {
    effect->dispatcher(opcode, index, value, ptr, opt);
    delete effect;
    return 1;
  }
  return effect->dispatcher(opcode, index, value, ptr, opt);
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
  AudioEffect* effect = EffectOf(e);
  if (effect == nullptr || !effect->IsValidParamIndex(index)) return 0.0f;
  return effect->getParameter(index);
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
  AudioEffect* effect = EffectOf(e);
  if (effect == nullptr || !effect->IsValidParamIndex(index) || std::isnan(value)) return;
  // A host's value outside 0..1 is taken as the nearest end of the range.
  effect->setParameter(index, std::clamp(value, 0.0f, 1.0f));
}

void AudioEffect::processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames) {
  AudioEffect* effect = EffectOf(e);
  if (effect == nullptr || sampleFrames < 0) return;
  effect->process(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames) {
  AudioEffect* effect = EffectOf(e);
  if (effect == nullptr || inputs == nullptr || outputs == nullptr || sampleFrames < 0) return;
  effect->processReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 sampleFrames) {
  AudioEffect* effect = EffectOf(e);
  if (effect == nullptr || sampleFrames < 0) return;
  effect->processDoubleReplacing(inputs, outputs, sampleFrames);
}

// ---- AudioEffectX ----

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
  switch (opcode) {
    case effProcessEvents:
      return ptr != nullptr ? processEvents(static_cast<VstEvents*>(ptr)) : 0;
    case effCanBeAutomated:
      return 1;
    case effString2Parameter:
      return 0;
    case effGetNumProgramCategories:
      return 1;
    case effGetProgramNameIndexed:
      if (!HasBuffer(ptr)) return 0;
      return getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr))
                 ? 1
                 : 0;
    case effConnectInput:
    case effConnectOutput:
      return 1;
    case effGetPlugCategory:
      return getPlugCategory();
    case effSetBlockSizeAndSampleRate:
      // Stored directly: the effect's setBlockSize does not run.
      m_blockSize = static_cast<VstInt32>(value);
      m_sampleRate = opt;
      return 1;
    case effGetEffectName:
      return HasBuffer(ptr) && getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
      return HasBuffer(ptr) && getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString:
      return HasBuffer(ptr) && getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion:
      return getVendorVersion();
    case effCanDo:
      return HasBuffer(ptr) ? canDo(static_cast<char*>(ptr)) : 0;
    case effKeysRequired:
      return 1;
    case effGetVstVersion:
      return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
      if (m_editor == nullptr) return 0;
      VstKeyCode key{index, static_cast<unsigned char>(value), static_cast<unsigned char>(opt)};
      const bool handled =
          opcode == effEditKeyDown ? m_editor->onKeyDown(key) : m_editor->onKeyUp(key);
      return handled ? 1 : 0;
    }
    case effSetEditKnobMode:
      return m_editor != nullptr && m_editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetCurrentMidiProgram:
      return -1;
    case effGetSpeakerArrangement:
      if (value != 0) *reinterpret_cast<void**>(value) = nullptr;
      if (ptr != nullptr) *static_cast<void**>(ptr) = nullptr;
      return 0;
    case effSetTotalSampleToProcess:
      return value;
    default:
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

void AudioEffectX::resume() {
  if ((m_effect.flags & effFlagsIsSynth) != 0 ||
      canDo(const_cast<char*>("receiveVstMidiEvent")) == 1) {
    wantEvents(1);
  }
}

bool AudioEffectX::wantEvents(VstInt32 filter) {
  return HostCall(audioMasterWantMidi, 0, filter) != 0;
}

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
  return reinterpret_cast<VstTimeInfo*>(HostCall(audioMasterGetTime, 0, filter));
}

bool AudioEffectX::updateDisplay() {
  return HostCall(audioMasterUpdateDisplay) != 0;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
  return HostCall(audioMasterBeginEdit, index) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
  return HostCall(audioMasterEndEdit, index) != 0;
}
