// The process-wide registry of live effect instances. Scripts use it to read
// and write the parameters and editor flags of other instances, addressed by
// their OSC index: the current value of "OSC Port Offset". Index 0 ("Off")
// addresses every instance whose OSC server is off.
//
// Every operation runs under one recursive lock, so an instance cannot be
// destroyed while another instance's script writes into it, and a host that
// calls back into the plug-in from updateDisplay cannot deadlock on it. Any
// thread that runs scripts may call; the calls wait for the lock.
#pragma once

#include <vector>

#include "platform/Sync.h"

class OdrkAuBase;

class OdrkInstanceTracker {
 public:
  static void AddInstance(OdrkAuBase* effect);
  static void RemoveInstance(OdrkAuBase* effect);

  // Stores value (real units) in every matching instance's current program and
  // asks each one's host to refresh its display. Ids outside 0..81 are ignored.
  static void SetParameterOnAllByOSCIndex(int oscIndex, int id, float value);
  // The value in the first matching instance; 0 when none matches.
  static float GetParameterFromAllByOSCIndex(int oscIndex, int id);
  // Editor flags 0..7 of the matching instances; others are ignored / read 0.
  static void SetGUIBoolValueOnAllByOSCIndex(int oscIndex, int flag, int on);
  static int GetGUIBoolValueFromAllByOSCIndex(int oscIndex, int flag);

  // The number of live instances (for tests and diagnostics).
  static int InstanceCount();

 private:
  static bool Matches(OdrkAuBase* effect, int oscIndex);

  static std::vector<OdrkAuBase*> ms_instances;
  static platform::RecursiveLock ms_criticalSection;
};
