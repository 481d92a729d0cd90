// The plug-in's entry point. Compiled once per plug-in, with VELTRANE_FX_LOOP
// set to 1 for "Veltrane Fx Loop" and 0 for "Veltrane".
#include <cstdio>
#include <exception>
#include <new>

#include "shell/OdrkCrossDelay.h"

#ifndef VELTRANE_FX_LOOP
#error "VELTRANE_FX_LOOP must be defined to 0 or 1"
#endif

namespace {

// Construction failures propagate from here; the entry point catches them.
AudioEffect* createEffectInstance(audioMasterCallback audioMaster) {
  return new OdrkCrossDelay(audioMaster, VELTRANE_FX_LOOP != 0);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(
    audioMasterCallback audioMaster) {
  if (audioMaster == nullptr ||
      audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
    return nullptr;
  }
  // No exception may cross into the host: a failed construction is reported
  // and the host gets no instance.
  try {
    return createEffectInstance(audioMaster)->getAeffect();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "Veltrane: cannot create the effect: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "Veltrane: cannot create the effect\n");
  }
  return nullptr;
}
