#include "shell/CAAUParameter.h"

#include <cstring>

#include "shell/OdrkAuBase.h"
#include "shell/OdrkEditor.h"

CAAUParameter::CAAUParameter(OdrkAuBase* effect, int32_t id, int32_t scope, int32_t element)
    : m_parameterId(id), m_scope(scope), m_element(element), m_effect(effect) {
  const ParamInfo& row = astParamInfos[id];
  std::strncpy(m_name, row.name, kNameBytes - 1);
  m_unit = row.unit;
  m_minimum = row.minimum;
  m_maximum = row.maximum;
  m_default = row.defaultValue;
}

float CAAUParameter::GetValue() const {
  return m_effect->GetParameterValue(m_parameterId);
}

void CAAUParameter::SetValue(void*, void*, float value) const {
  m_effect->SetParameterValue(m_parameterId, value);
  if (OdrkEditor* editor = m_effect->Editor()) editor->setParameter(m_parameterId, value);
  m_effect->SetParameterAutomated(m_parameterId, value);
  // An edit in the editor has the same consequences as the host's automation:
  // moving "OSC Port Offset" moves the OSC server, for one.
  m_effect->FollowParameterChange(m_parameterId);
}

float AUParameterValueFromLinear(float x, const CAAUParameter& parameter) {
  return RealFromNormalised(parameter.ParameterID(), x);
}

float AUParameterValueToLinear(float v, const CAAUParameter& parameter) {
  return NormalisedFromReal(parameter.ParameterID(), v);
}
