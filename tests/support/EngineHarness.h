// Drives an effect constructed in the test through its VST record, in blocks,
// as a host would, and gives tests access to the engine's protected state.
#pragma once

#include <string>
#include <vector>

#include "shell/OdrkCrossDelay.h"
#include "tests/support/RecordingHost.h"

using Channels = std::vector<std::vector<float>>;

// The effect with its engine state open to tests.
class EngineProbe : public OdrkCrossDelay {
 public:
  using OdrkCrossDelay::m_dataToGui;
  using OdrkCrossDelay::m_deferredTapEvent;
  using OdrkCrossDelay::m_delaySeconds;
  using OdrkCrossDelay::m_envLevel;
  using OdrkCrossDelay::m_envState;
  using OdrkCrossDelay::m_filterLfoPhase;
  using OdrkCrossDelay::m_freezePoint;
  using OdrkCrossDelay::m_freezeRecordToPoint;
  using OdrkCrossDelay::m_freezeSplice;
  using OdrkCrossDelay::m_heads;
  using OdrkCrossDelay::m_physicalRamSize;
  using OdrkCrossDelay::m_recordGainRate;
  using OdrkCrossDelay::m_tapeRequestSec;
  using OdrkCrossDelay::m_tapFrames;
  using OdrkCrossDelay::m_tapMode;
  using OdrkCrossDelay::m_tapTempoValid;
  using OdrkCrossDelay::m_tempo;
  using OdrkCrossDelay::m_waveformEnabled;
  using OdrkCrossDelay::m_wetFade;
  using OdrkCrossDelay::m_writePos;
  using OdrkCrossDelay::OdrkCrossDelay;
  using OdrkCrossDelay::ToneStageConstants;
};

class EngineHarness {
 public:
  explicit EngineHarness(bool fxLoop = false, float sampleRate = 44100.0f, int blockSize = 512);

  EngineProbe& effect() { return *m_effect; }
  RecordingHost& host() { return m_host; }
  int channels() const { return m_channels; }

  // Gives the host a transport, playing from ppq at tempo in 4/4 (or the
  // signature given); it advances with every processed block.
  vsthost::Transport& StartTransport(double tempo, double ppq = 0.0, int numerator = 4,
                                     int denominator = 4);

  // Sets a parameter in real units, the way host automation does.
  void Set(int id, float real);
  float Get(int id) { return m_effect->GetParameterValue(id); }

  // Processes the inputs (one vector per channel; missing channels are
  // silent) in blocks of at most blockFrames and returns every output channel.
  Channels Run(const Channels& inputs, int blockFrames = 512, bool inPlace = false);
  // Processes frames of silence and returns the outputs.
  Channels Silence(long frames, int blockFrames = 512);
  // Runs silence until every head has reached its target delay.
  void Settle();

 private:
  RecordingHost m_host;
  std::unique_ptr<EngineProbe> m_effect;
  AEffect* m_record;
  int m_channels;
  float m_sampleRate = 44100.0f;
};

// Signals for tests.
std::vector<float> Impulse(long frames, long at, float value = 1.0f);
std::vector<float> Sine(long frames, double hz, double sampleRate, float amplitude);
std::vector<float> Noise(long frames, unsigned seed, float amplitude);
