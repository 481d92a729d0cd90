// The editor as the effect sees it: an AEffEditor that also hears of every
// parameter change. Main thread, except setParameter, which follows the
// effect's setParameter and so may run on the audio thread: overrides only
// queue the change and must not block or allocate.
#pragma once

#include "shell/AudioEffect.h"

class OdrkEditor : public AEffEditor {
 public:
  using AEffEditor::AEffEditor;
  virtual void setParameter(int id, float value) {}
};
