// The script host as this plug-in has it: its eight GUI bool values are the
// script flags of the effect's data block for the editor, and it publishes
// the "MIDI receive option" preference to the scripts.
#pragma once

#include "midi/LuaMIDIHelper.h"
#include "shell/OdrkCrossDelay.h"

class OdrkCrossDelay::VTLuaMIDIHelper : public OD::LuaMIDIHelper {
 public:
  VTLuaMIDIHelper(OdrkCrossDelay* effect, OD::OSCHelper* osc)
      : OD::LuaMIDIHelper(effect, osc), m_effect(effect) {}

  void setGUIBoolValue(int id, int value) override;
  int getGUIBoolValue(int id) const override;
  // Sets the global prefRxAllChannels from the preference (any thread).
  void UpdateGlobals();

 private:
  OdrkCrossDelay* m_effect;
};
