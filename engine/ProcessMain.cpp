#include <cstring>

#include "shell/OdrkCrossDelay.h"

int OdrkCrossDelay::ProcessMain(const float** in, float** out, unsigned long frames) {
  // The engine is not in this build yet: every channel passes through.
  const int channels = Identity(isFxLoop).channels;
  for (int c = 0; c < channels; ++c) {
    if (in[c] != out[c]) std::memmove(out[c], in[c], frames * sizeof(float));
  }
  return 0;
}
