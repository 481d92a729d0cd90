#include "tests/support/EngineHarness.h"

#include <algorithm>
#include <cmath>
#include <random>

EngineHarness::EngineHarness(bool fxLoop, float sampleRate, int blockSize)
    : m_effect(m_host.Create<EngineProbe>(fxLoop)),
      m_record(m_effect->getAeffect()),
      m_channels(m_record->numInputs) {
  m_record->dispatcher(m_record, effSetSampleRate, 0, 0, nullptr, sampleRate);
  m_sampleRate = sampleRate;
  m_record->dispatcher(m_record, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
  m_record->dispatcher(m_record, effMainsChanged, 0, 1, nullptr, 0.0f);
}

vsthost::Transport& EngineHarness::StartTransport(double tempo, double ppq, int numerator,
                                                  int denominator) {
  vsthost::Transport t;
  t.sampleRate = m_sampleRate;
  t.tempo = tempo;
  t.ppqPos = ppq;
  t.timeSigNumerator = numerator;
  t.timeSigDenominator = denominator;
  t.Advance(0);  // the bar start that goes with the position
  m_host.transport = t;
  return *m_host.transport;
}

void EngineHarness::Set(int id, float real) {
  m_record->setParameter(m_record, id, NormalisedFromReal(id, real));
}

Channels EngineHarness::Run(const Channels& inputs, int blockFrames, bool inPlace) {
  size_t frames = 0;
  for (const auto& channel : inputs) frames = std::max(frames, channel.size());
  Channels in(m_channels, std::vector<float>(frames, 0.0f));
  for (size_t c = 0; c < inputs.size() && c < in.size(); ++c) {
    std::copy(inputs[c].begin(), inputs[c].end(), in[c].begin());
  }
  Channels out(m_channels, std::vector<float>(frames, 0.0f));
  if (inPlace) out = in;
  std::vector<float*> inPtr(m_channels), outPtr(m_channels);
  if (frames == 0) {  // a block of no frames is a block too
    float* none[6] = {};
    m_record->processReplacing(m_record, none, none, 0);
  }
  for (size_t done = 0; done < frames; done += blockFrames) {
    const int n = static_cast<int>(std::min<size_t>(blockFrames, frames - done));
    for (int c = 0; c < m_channels; ++c) {
      inPtr[c] = (inPlace ? out[c].data() : in[c].data()) + done;
      outPtr[c] = out[c].data() + done;
    }
    m_record->processReplacing(m_record, inPtr.data(), outPtr.data(), n);
    if (m_host.transport) m_host.transport->Advance(n);
  }
  return out;
}

Channels EngineHarness::Silence(long frames, int blockFrames) {
  return Run(Channels(m_channels, std::vector<float>(frames, 0.0f)), blockFrames);
}

void EngineHarness::Settle() {
  for (int i = 0; i < 400; ++i) {
    bool settled = true;
    for (const HeadState& head : m_effect->m_heads) settled &= head.glideVelocity == 0.0;
    if (settled && i > 0) return;
    Silence(4096);
  }
}

std::vector<float> Impulse(long frames, long at, float value) {
  std::vector<float> signal(frames, 0.0f);
  if (at >= 0 && at < frames) signal[at] = value;
  return signal;
}

std::vector<float> Sine(long frames, double hz, double sampleRate, float amplitude) {
  std::vector<float> signal(frames);
  for (long i = 0; i < frames; ++i) {
    signal[i] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * i / sampleRate));
  }
  return signal;
}

std::vector<float> Noise(long frames, unsigned seed, float amplitude) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
  std::vector<float> signal(frames);
  for (float& s : signal) s = uniform(random);
  return signal;
}
