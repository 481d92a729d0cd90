#include "shell/OdrkInstanceTracker.h"

#include <algorithm>
#include <mutex>

#include "engine/DataToGui.h"
#include "shell/OdrkAuBase.h"
#include "shell/ParamTable.h"

std::vector<OdrkAuBase*> OdrkInstanceTracker::ms_instances;
platform::RecursiveLock OdrkInstanceTracker::ms_criticalSection;

namespace {
using Guard = std::lock_guard<platform::RecursiveLock>;
bool IsValidFlag(int flag) {
  return flag >= 0 && flag < DataToGui::kNumScriptFlags;
}
}  // namespace

bool OdrkInstanceTracker::Matches(OdrkAuBase* effect, int oscIndex) {
  return effect->GetParameterValue(kOscPortOffset) == static_cast<float>(oscIndex);
}

void OdrkInstanceTracker::AddInstance(OdrkAuBase* effect) {
  Guard guard(ms_criticalSection);
  ms_instances.push_back(effect);
}

void OdrkInstanceTracker::RemoveInstance(OdrkAuBase* effect) {
  Guard guard(ms_criticalSection);
  std::erase(ms_instances, effect);
}

void OdrkInstanceTracker::SetParameterOnAllByOSCIndex(int oscIndex, int id, float value) {
  if (!IsValidParamId(id)) return;
  Guard guard(ms_criticalSection);
  for (OdrkAuBase* effect : ms_instances) {
    if (!Matches(effect, oscIndex)) continue;
    effect->SetParameterValue(id, value);
    effect->updateDisplay();
  }
}

float OdrkInstanceTracker::GetParameterFromAllByOSCIndex(int oscIndex, int id) {
  if (!IsValidParamId(id)) return 0.0f;
  Guard guard(ms_criticalSection);
  for (OdrkAuBase* effect : ms_instances) {
    if (Matches(effect, oscIndex)) return effect->GetParameterValue(id);
  }
  return 0.0f;
}

void OdrkInstanceTracker::SetGUIBoolValueOnAllByOSCIndex(int oscIndex, int flag, int on) {
  if (!IsValidFlag(flag)) return;
  Guard guard(ms_criticalSection);
  for (OdrkAuBase* effect : ms_instances) {
    if (!Matches(effect, oscIndex)) continue;
    effect->GetDataToGui()->scriptFlags[flag].store(on != 0 ? 1 : 0, std::memory_order_relaxed);
  }
}

int OdrkInstanceTracker::GetGUIBoolValueFromAllByOSCIndex(int oscIndex, int flag) {
  if (!IsValidFlag(flag)) return 0;
  Guard guard(ms_criticalSection);
  for (OdrkAuBase* effect : ms_instances) {
    if (Matches(effect, oscIndex)) {
      return effect->GetDataToGui()->scriptFlags[flag].load(std::memory_order_relaxed);
    }
  }
  return 0;
}

int OdrkInstanceTracker::InstanceCount() {
  Guard guard(ms_criticalSection);
  return static_cast<int>(ms_instances.size());
}
