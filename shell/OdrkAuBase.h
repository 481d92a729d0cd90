// The parameter, program and property base of the effect. Values live in the
// current program in real units; the host boundary converts them to and from
// normalised 0..1 and asks for names, labels and display texts. The editor
// talks to the effect through the numbered property interface below.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "shell/AudioEffect.h"
#include "shell/OdrkProgram.h"
#include "shell/ParamTable.h"

struct DataToGui;
class OdrkEditor;

// Result codes of the property interface.
constexpr int32_t kNoErr = 0;
constexpr int32_t kErrInvalidParameter = -10878;
constexpr int32_t kErrInvalidProperty = -10879;

// Property numbers.
enum : uint32_t {
  kPropertyParameterValueStrings = 16,
  kPropertyParameterStringFromValue = 33,
  kPropertyDataToGui = 64001,
  kPropertySkinChanged = 64002,
  kPropertyMidiRxChanged = 64003,
  kPropertyIsFxLoop = 64004,
  kPropertyWaveformEnabled = 64005,
  kPropertyWaveformVertices = 64006,
};

// The request record of property 33. value null means the current value; the
// text is static and needs no release.
struct ParameterStringFromValue {
  uint32_t id;
  const float* value;
  const char* text;
};

class OdrkAuBase : public AudioEffectX {
 public:
  using ProgramFactory = OdrkProgram* (*)();
  using PropertyListenerProc = void (*)(void* userData, OdrkAuBase* effect, uint32_t property,
                                        uint32_t scope, uint32_t element);
  struct PropertyListener {
    uint32_t property;
    PropertyListenerProc callback;
    void* userData;
  };

  // Creates numPrograms programs through factory, each holding the Default
  // column and named "Defaults"; program 0 is current.
  OdrkAuBase(audioMasterCallback audioMaster, VstInt32 numPrograms, ProgramFactory factory);
  ~OdrkAuBase() override;

  // ---- Host boundary (ids checked by the adapter) ----
  // Any thread: stores the real value in the current program and tells the editor.
  void setParameter(VstInt32 id, float normalised) override;
  float getParameter(VstInt32 id) override;
  void getParameterName(VstInt32 id, char* text) override;     // 15 bytes + terminator
  void getParameterLabel(VstInt32 id, char* text) override;    // 7 bytes + terminator
  void getParameterDisplay(VstInt32 id, char* text) override;  // 23 bytes + terminator
  void setProgramName(char* name) override;
  void getProgramName(char* name) override;  // 31 bytes + terminator
  bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
  bool getVendorString(char* text) override;

  // ---- Inside the plug-in ----
  // The live value of id in real units; any thread, id 0..81.
  float GetParameterValue(int id) const { return CurrentProgram()->GetParameter(id); }
  // Writes the current program directly: no editor, host or OSC is told.
  void SetParameterValue(int id, float value) { CurrentProgram()->SetParameter(id, value); }
  OdrkProgram* CurrentProgram() const {
    return m_programs[m_curProgram.load(std::memory_order_relaxed)].get();
  }
  OdrkProgram* Program(int index) const { return m_programs[index].get(); }
  // What a stored change of id brings with it beyond the value (any thread).
  virtual void FollowParameterChange(int id) {}
  // Sends the normalised form of a real value to the host as automation.
  VstIntPtr SetParameterAutomated(int id, float value);
  // The editor as the effect sees it, or null.
  OdrkEditor* Editor() const;

  // ---- Property interface (main thread) ----
  virtual int32_t GetParameterValueStrings(uint32_t scope, uint32_t id,
                                           const ValueStringList** out);
  virtual int32_t GetProperty(uint32_t property, uint32_t scope, uint32_t element, void* data);
  virtual int32_t GetPropertyInfo(uint32_t property, uint32_t scope, uint32_t element,
                                  uint32_t* size, bool* writable);
  virtual int32_t SetProperty(uint32_t property, uint32_t scope, uint32_t element, const void* data,
                              uint32_t size);
  virtual int32_t AddPropertyListener(uint32_t property, PropertyListenerProc callback,
                                      void* userData);
  virtual int32_t RemovePropertyListener(uint32_t property, PropertyListenerProc callback);
  // Calls every listener of property, in registration order.
  void PropertyChanged(uint32_t property, uint32_t scope, uint32_t element);

  // ---- Provided by the effect ----
  virtual DataToGui* GetDataToGui() = 0;
  virtual int32_t Version() = 0;
  virtual int32_t Initialize() = 0;
  virtual void Cleanup() = 0;

 protected:
  std::vector<std::unique_ptr<OdrkProgram>> m_programs;
  std::vector<PropertyListener> m_propertyListeners;
};

// The editor's entry points into the property interface.
int32_t AudioUnitGetProperty(OdrkAuBase* effect, uint32_t property, uint32_t scope,
                             uint32_t element, void* data, uint32_t* size);
int32_t AudioUnitGetPropertyInfo(OdrkAuBase* effect, uint32_t property, uint32_t scope,
                                 uint32_t element, uint32_t* size, bool* writable);
int32_t AudioUnitSetProperty(OdrkAuBase* effect, uint32_t property, uint32_t scope,
                             uint32_t element, const void* data, uint32_t size);
int32_t AudioUnitAddPropertyListener(OdrkAuBase* effect, uint32_t property,
                                     OdrkAuBase::PropertyListenerProc callback, void* userData);
int32_t AudioUnitRemovePropertyListener(OdrkAuBase* effect, uint32_t property,
                                        OdrkAuBase::PropertyListenerProc callback);

// "%.3f" below 10, "%.2f" below 100, "%.1f" below 1000, else "%.0f"; x >= 0.
void float2string(float x, char* text, int size);
