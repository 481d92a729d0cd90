// The block of values the engine publishes for the editor each slice. The
// audio thread writes it and the editor's render thread reads it without a
// lock; a frame may show values from different blocks. The script flags are
// written by whichever thread runs a script, so they are atomic bytes.
#pragma once

#include <atomic>
#include <cstdint>

struct DataToGui {
  float InputRmsLeft;
  float InputRmsRight;
  float FxRmsLeft;  // while clearing: the fraction of the clear still to go
  float FxRmsRight;
  float Tempo;
  float DelayTime;
  float EnvLevel;
  float timeSigNumerator;       // 0 when the host gives none
  uint32_t timeSigDenominator;  // 0 when the host gives none
  double hostTempo;             // 0 when the host gives none
  uint8_t PendingPunch;
  uint8_t DigitalModeActive;
  float writePosition;  // fraction of the tape
  float headPositions[4];
  float crossfadeSourcePositions[4];
  float crossfadeAmounts[4];
  static constexpr int kNumScriptFlags = 8;
  std::atomic<uint8_t> scriptFlags[kNumScriptFlags];
};

static_assert(sizeof(std::atomic<uint8_t>) == 1);
