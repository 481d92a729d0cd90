#include "shell/OdrkAuBase.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "shell/OdrkEditor.h"

namespace {

// Text limits at the host boundary, terminator included.
constexpr int kParamNameBytes = 16;
constexpr int kParamLabelBytes = 8;
constexpr int kParamDisplayBytes = 24;
constexpr int kIndexFallbackBytes = 8;
constexpr size_t kPropertyListenerReserve = 32;

// Copies at most size - 1 bytes of text and terminates.
void CopyText(char* out, const char* text, int size) {
  std::strncpy(out, text, size - 1);
  out[size - 1] = '\0';
}

}  // namespace

void float2string(float x, char* text, int size) {
  const char* format = x < 10.0f ? "%.3f" : x < 100.0f ? "%.2f" : x < 1000.0f ? "%.1f" : "%.0f";
  std::snprintf(text, size, format, static_cast<double>(x));
}

OdrkAuBase::OdrkAuBase(audioMasterCallback audioMaster, VstInt32 numPrograms,
                       ProgramFactory factory)
    : AudioEffectX(audioMaster, numPrograms, kNumParams) {
  m_programs.reserve(numPrograms);
  for (int p = 0; p < numPrograms; ++p) {
    m_programs.emplace_back(factory());
    for (int id = 0; id < kNumParams; ++id) {
      m_programs[p]->SetParameter(id, astParamInfos[id].defaultValue);
    }
    m_programs[p]->SetName("Defaults");
  }
}

OdrkAuBase::~OdrkAuBase() = default;

OdrkEditor* OdrkAuBase::Editor() const {
  // Every editor this effect is given is an OdrkEditor.
  return static_cast<OdrkEditor*>(m_editor);
}

void OdrkAuBase::setParameter(VstInt32 id, float normalised) {
  const float value = RealFromNormalised(id, normalised);
  SetParameterValue(id, value);
  if (OdrkEditor* editor = Editor()) editor->setParameter(id, value);
}

float OdrkAuBase::getParameter(VstInt32 id) {
  return NormalisedFromReal(id, GetParameterValue(id));
}

void OdrkAuBase::getParameterName(VstInt32 id, char* text) {
  CopyText(text, astParamInfos[id].name, kParamNameBytes);
}

void OdrkAuBase::getParameterLabel(VstInt32 id, char* text) {
  CopyText(text, UnitLabel(astParamInfos[id].unit), kParamLabelBytes);
}

void OdrkAuBase::getParameterDisplay(VstInt32 id, char* text) {
  const float v = GetParameterValue(id);
  const ParamUnit unit = astParamInfos[id].unit;

  // Property 33 for the current value: a text, or null.
  auto textFromValue = [&]() -> const char* {
    ParameterStringFromValue request{static_cast<uint32_t>(id), nullptr, nullptr};
    if (GetProperty(kPropertyParameterStringFromValue, 0, 0, &request) != kNoErr) return nullptr;
    return request.text;
  };

  if (unit == ParamUnit::Indexed) {
    const int index = static_cast<int>(std::trunc(v));
    const ValueStringList* list = nullptr;
    if (GetParameterValueStrings(0, id, &list) == kNoErr && list != nullptr) {
      if (index >= 0 && index < list->count) {
        CopyText(text, list->strings[index], kParamDisplayBytes);
      } else {
        std::snprintf(text, kParamDisplayBytes, "%d", index);
      }
    } else if (const char* t = textFromValue()) {
      CopyText(text, t, kParamDisplayBytes);
    } else {
      std::snprintf(text, kIndexFallbackBytes, "%d", index);
    }
    return;
  }
  if (unit == ParamUnit::Boolean) {
    CopyText(text, v != 0.0f ? "On" : "Off", kParamDisplayBytes);
    return;
  }
  if (const char* t = textFromValue()) {
    CopyText(text, t, kParamDisplayBytes);
  } else if (v >= 0.0f) {
    float2string(v, text, kParamDisplayBytes);
  } else {
    text[0] = '-';
    float2string(-v, text + 1, kParamDisplayBytes - 1);
  }
}

void OdrkAuBase::setProgramName(char* name) {
  CurrentProgram()->SetName(name);
}

void OdrkAuBase::getProgramName(char* name) {
  CopyText(name, CurrentProgram()->GetName(), OdrkProgramBasic::kNameBytes);
}

bool OdrkAuBase::getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) {
  if (!IsValidProgramIndex(index)) return false;
  CopyText(text, m_programs[index]->GetName(), OdrkProgramBasic::kNameBytes);
  return true;
}

bool OdrkAuBase::getVendorString(char* text) {
  CopyText(text, "Odrisk", kVstMaxVendorStrLen);
  return true;
}

VstIntPtr OdrkAuBase::SetParameterAutomated(int id, float value) {
  return HostCall(audioMasterAutomate, id, 0, nullptr, NormalisedFromReal(id, value));
}

// ---- Property interface: the base offers nothing; the effect overrides ----

int32_t OdrkAuBase::GetParameterValueStrings(uint32_t, uint32_t, const ValueStringList**) {
  return kErrInvalidParameter;
}

int32_t OdrkAuBase::GetProperty(uint32_t, uint32_t, uint32_t, void*) {
  return kErrInvalidProperty;
}

int32_t OdrkAuBase::GetPropertyInfo(uint32_t, uint32_t, uint32_t, uint32_t*, bool*) {
  return kErrInvalidProperty;
}

int32_t OdrkAuBase::SetProperty(uint32_t, uint32_t, uint32_t, const void*, uint32_t) {
  return kErrInvalidProperty;
}

int32_t OdrkAuBase::AddPropertyListener(uint32_t property, PropertyListenerProc callback,
                                        void* userData) {
  if (m_propertyListeners.capacity() == 0) m_propertyListeners.reserve(kPropertyListenerReserve);
  m_propertyListeners.push_back({property, callback, userData});
  return kNoErr;
}

int32_t OdrkAuBase::RemovePropertyListener(uint32_t property, PropertyListenerProc callback) {
  for (size_t i = m_propertyListeners.size(); i-- > 0;) {
    const PropertyListener& l = m_propertyListeners[i];
    if (l.property == property && l.callback == callback) {
      m_propertyListeners.erase(m_propertyListeners.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  return kNoErr;
}

void OdrkAuBase::PropertyChanged(uint32_t property, uint32_t scope, uint32_t element) {
  // By index: a listener may register or remove listeners while it runs.
  for (size_t i = 0; i < m_propertyListeners.size(); ++i) {
    const PropertyListener l = m_propertyListeners[i];
    if (l.property == property) l.callback(l.userData, this, property, scope, element);
  }
}

// ---- The editor's entry points ----

int32_t AudioUnitGetProperty(OdrkAuBase* effect, uint32_t property, uint32_t scope,
                             uint32_t element, void* data, uint32_t* size) {
  if (property == kPropertyParameterValueStrings) {
    effect->GetParameterValueStrings(scope, element, static_cast<const ValueStringList**>(data));
    return kNoErr;
  }
  return effect->GetProperty(property, scope, element, data);
}

int32_t AudioUnitGetPropertyInfo(OdrkAuBase* effect, uint32_t property, uint32_t scope,
                                 uint32_t element, uint32_t* size, bool* writable) {
  if (property == kPropertyParameterValueStrings) {
    if (size != nullptr) *size = 4;
    if (writable != nullptr) *writable = false;
    return kNoErr;
  }
  return effect->GetPropertyInfo(property, scope, element, size, writable);
}

int32_t AudioUnitSetProperty(OdrkAuBase* effect, uint32_t property, uint32_t scope,
                             uint32_t element, const void* data, uint32_t size) {
  const int32_t result = effect->SetProperty(property, scope, element, data, size);
  if (result == kNoErr) effect->PropertyChanged(property, scope, element);
  return result;
}

int32_t AudioUnitAddPropertyListener(OdrkAuBase* effect, uint32_t property,
                                     OdrkAuBase::PropertyListenerProc callback, void* userData) {
  return effect->AddPropertyListener(property, callback, userData);
}

int32_t AudioUnitRemovePropertyListener(OdrkAuBase* effect, uint32_t property,
                                        OdrkAuBase::PropertyListenerProc callback) {
  return effect->RemovePropertyListener(property, callback);
}
