// The adapter between the VST 2.4 interface and the effect's virtual
// operations. The host sees only the AEffect record and calls through its
// function pointers; the static entry functions turn each call into a virtual
// call on the effect. Every index and pointer a host passes is checked here,
// once, so the code behind can trust its inputs.
//
// Threads: the host calls the dispatcher, construction and destruction on its
// main thread, processReplacing on its audio thread, and getParameter /
// setParameter from either. The adapter takes no lock.
#pragma once

#include <atomic>

#include "platform/VstInterface.h"

class AudioEffect;

// The editor base. The defaults answer 0 or do nothing; the plug-in's editor
// classes override them. All calls come on the host's main thread.
class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect = nullptr) : m_effect(effect) {}
  virtual ~AEffEditor() = default;
  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual AudioEffect* getEffect() { return m_effect; }
  virtual bool getRect(ERect** rect) {
    *rect = nullptr;
    return false;
  }
  virtual bool open(void* window) {
    m_systemWindow = window;
    return false;
  }
  virtual void close() { m_systemWindow = nullptr; }
  virtual bool isOpen() { return m_systemWindow != nullptr; }
  virtual void idle() {}
  virtual void draw(ERect* rect) {}
  virtual VstInt32 mouse(VstInt32 x, VstInt32 y) { return 0; }
  virtual VstInt32 key(VstInt32 keyCode) { return 0; }
  virtual void top() {}
  virtual void sleep() {}
  virtual bool onKeyDown(VstKeyCode& keyCode) { return false; }
  virtual bool onKeyUp(VstKeyCode& keyCode) { return false; }
  virtual bool onWheel(float distance) { return false; }
  virtual bool setKnobMode(VstInt32 mode) { return false; }

 protected:
  AudioEffect* m_effect;
  void* m_systemWindow = nullptr;
};

// The VST 1 part of the adapter: the record, the basic requests and the
// calls back into the host that every version has.
class AudioEffect {
 public:
  AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
  virtual ~AudioEffect();  // destroys the editor after the effect's own members
  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  AEffect* getAeffect() { return &m_effect; }

  // Every host request arrives here (through dispatchEffectClass).
  virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                               float opt);

  // ---- Information and lifecycle (main thread) ----
  virtual void open() {}
  virtual void close() {}
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setSampleRate(float sampleRate) { m_sampleRate = sampleRate; }
  virtual void setBlockSize(VstInt32 blockSize) { m_blockSize = blockSize; }
  float getSampleRate() const { return m_sampleRate; }
  VstInt32 getBlockSize() const { return m_blockSize; }
  VstInt32 getNumPrograms() const { return m_numPrograms; }
  VstInt32 getNumParams() const { return m_numParams; }

  // ---- Programs (main thread; index checked by the dispatcher) ----
  virtual void setProgram(VstInt32 program) {
    m_curProgram.store(program, std::memory_order_relaxed);
  }
  virtual VstInt32 getProgram() { return m_curProgram.load(std::memory_order_relaxed); }
  virtual void setProgramName(char* name) {}
  virtual void getProgramName(char* name) { *name = '\0'; }
  virtual VstInt32 getChunk(void** data, bool isPreset) { return 0; }
  virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) { return 0; }

  // ---- Parameters (any thread; id checked at the boundary: 0 <= id < numParams) ----
  virtual void setParameter(VstInt32 index, float value) {}
  virtual float getParameter(VstInt32 index) { return 0.0f; }
  virtual void getParameterLabel(VstInt32 index, char* label) { *label = '\0'; }
  virtual void getParameterDisplay(VstInt32 index, char* text) { *text = '\0'; }
  virtual void getParameterName(VstInt32 index, char* text) { *text = '\0'; }

  // ---- Audio (audio thread) ----
  virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) {}
  virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) {}
  virtual void processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames) {}

  // ---- Editor ----
  // Stores the editor (owned from now on) and sets or clears the has-editor flag.
  void setEditor(AEffEditor* editor);
  AEffEditor* getEditor() const { return m_editor; }

  // ---- Flags of the record ----
  void setUniqueID(VstInt32 id) { m_effect.uniqueID = id; }
  void setNumInputs(VstInt32 inputs) { m_effect.numInputs = inputs; }
  void setNumOutputs(VstInt32 outputs) { m_effect.numOutputs = outputs; }
  void setInitialDelay(VstInt32 delay) { m_effect.initialDelay = delay; }
  void canProcessReplacing(bool state = true) { SetFlag(effFlagsCanReplacing, state); }
  void canDoubleReplacing(bool state = true) { SetFlag(effFlagsCanDoubleReplacing, state); }
  void canMono(bool state = true) { SetFlag(effFlagsCanMono, state); }
  void hasVu(bool state = true) { SetFlag(effFlagsHasVu, state); }
  void hasClip(bool state = true) { SetFlag(effFlagsHasClip, state); }
  void programsAreChunks(bool state = true) { SetFlag(effFlagsProgramChunks, state); }
  void isSynth(bool state = true) { SetFlag(effFlagsIsSynth, state); }
  void noTail(bool state = true) { SetFlag(effFlagsNoSoundInStop, state); }

  // ---- Calls into the host (each answers 0 without a host callback) ----
  VstInt32 getMasterVersion();
  VstIntPtr HostCall(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);

  // The entry functions stored in the record.
  static VstIntPtr dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                       void* ptr, float opt);
  static float getParameterClass(AEffect* e, VstInt32 index);
  static void setParameterClass(AEffect* e, VstInt32 index, float value);
  static void processClass(AEffect* e, float** inputs, float** outputs, VstInt32 sampleFrames);
  static void processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                    VstInt32 sampleFrames);
  static void processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                          VstInt32 sampleFrames);

 protected:
  bool IsValidParamIndex(VstInt32 index) const { return index >= 0 && index < m_numParams; }
  bool IsValidProgramIndex(VstIntPtr index) const { return index >= 0 && index < m_numPrograms; }

  audioMasterCallback m_audioMaster;
  AEffEditor* m_editor = nullptr;
  float m_sampleRate = 44100.0f;
  VstInt32 m_blockSize = 1024;
  VstInt32 m_numPrograms;
  VstInt32 m_numParams;
  // Read by the audio thread, changed by the host's main thread.
  std::atomic<VstInt32> m_curProgram{0};
  AEffect m_effect{};

 private:
  void SetFlag(VstInt32 flag, bool state) {
    m_effect.flags = state ? (m_effect.flags | flag) : (m_effect.flags & ~flag);
  }
};

// The VST 2 part: MIDI events, identity strings, capabilities and the host
// calls that came with version 2.
class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                       float opt) override;

  // Runs on the audio thread before the block the events belong to.
  virtual VstInt32 processEvents(VstEvents* events) { return 0; }

  virtual bool getEffectName(char* name) { return false; }
  virtual bool getVendorString(char* text) { return false; }
  virtual bool getProductString(char* text) { return false; }
  virtual VstInt32 getVendorVersion() { return 0; }
  virtual VstInt32 canDo(char* text) { return 0; }
  virtual VstPlugCategory getPlugCategory() { return kPlugCategUnknown; }
  virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
    return false;
  }
  virtual VstInt32 getVstVersion() { return 2400; }

  // The standard switch-on: ask for MIDI when the effect is a synth or takes it.
  void resume() override;

  // ---- Calls into the host ----
  bool wantEvents(VstInt32 filter = 1);
  // The host's time record, or null. Audio thread; the record is the host's.
  VstTimeInfo* getTimeInfo(VstInt32 filter);
  bool updateDisplay();
  bool beginEdit(VstInt32 index);
  bool endEdit(VstInt32 index);
};
