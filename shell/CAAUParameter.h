// A handle on one parameter, copied freely: its id, name, unit, range and
// default, and the effect it belongs to. The editor keeps one per parameter
// and changes values through it, which also tells the editor and the host.
// Main thread.
#pragma once

#include <cstdint>

#include "shell/ParamTable.h"

class OdrkAuBase;

class CAAUParameter {
 public:
  static constexpr int kNameBytes = 52;

  // A placeholder to be assigned over: no effect, empty name, zero range.
  CAAUParameter() = default;
  CAAUParameter(OdrkAuBase* effect, int32_t id, int32_t scope, int32_t element);

  int32_t ParameterID() const { return m_parameterId; }
  const char* GetName() const { return m_name; }
  ParamUnit Unit() const { return m_unit; }
  float Minimum() const { return m_minimum; }
  float Maximum() const { return m_maximum; }
  float Default() const { return m_default; }
  OdrkAuBase* Effect() const { return m_effect; }

  // The current value in real units.
  float GetValue() const;
  // Stores value (real units) in the current program, tells the editor, sends
  // it to the host as automation and lets the effect follow the change. The
  // first two arguments are unused.
  void SetValue(void* listener, void* object, float value) const;

 private:
  int32_t m_parameterId = 0;
  int32_t m_scope = 0;
  int32_t m_element = 0;
  char m_name[kNameBytes] = {};
  ParamUnit m_unit = ParamUnit::Generic;
  float m_minimum = 0.0f;
  float m_maximum = 0.0f;
  float m_default = 0.0f;
  int32_t m_flags = 0;
  OdrkAuBase* m_effect = nullptr;
};

// The normalisation laws, for a handle (only its id counts).
float AUParameterValueFromLinear(float x, const CAAUParameter& parameter);
float AUParameterValueToLinear(float v, const CAAUParameter& parameter);
