#include "tools/vsthost/DemoPhrase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace vsthost {

namespace {

constexpr int kBeatsPerBar = 4;
constexpr int kBars = 2;
constexpr int kStepsPerBeat = 4;      // a grid of sixteenth notes
constexpr double kPeak = 0.70794578;  // -3 dBFS
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// A fixed-seed xorshift generator: std::uniform_real_distribution may differ
// between standard libraries, this does not.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed) {}
  // A value in [-1, 1).
  float Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(state_ / 2147483648.0 - 1.0);
  }

 private:
  uint32_t state_;
};

struct Mix {
  std::vector<float>& left;
  std::vector<float>& right;
  double sampleRate;
};

// Adds one sound at frame start, panned with equal power (pan -1 left, +1
// right). The sound is cut where the phrase ends; a short ramp at each end of
// every sound keeps cut-offs and onsets from clicking.
void AddSound(Mix& mix, int start, std::vector<float> sound, float pan) {
  const int available = static_cast<int>(mix.left.size()) - start;
  if (available <= 0) return;
  if (static_cast<int>(sound.size()) > available) sound.resize(available);
  const int n = static_cast<int>(sound.size());
  const int attack = std::min(n / 2, static_cast<int>(0.001 * mix.sampleRate));
  const int release = std::min(n / 2, static_cast<int>(0.005 * mix.sampleRate));
  for (int i = 0; i < attack; ++i) sound[i] *= static_cast<float>(i) / attack;
  for (int i = 0; i < release; ++i) sound[n - 1 - i] *= static_cast<float>(i) / release;

  const double angle = (pan + 1.0) * std::numbers::pi / 4.0;
  const float gainLeft = static_cast<float>(std::cos(angle));
  const float gainRight = static_cast<float>(std::sin(angle));
  for (int i = 0; i < n; ++i) {
    mix.left[start + i] += gainLeft * sound[i];
    mix.right[start + i] += gainRight * sound[i];
  }
}

// A sine swept down quickly from a click-like 155 Hz to a 45 Hz body.
std::vector<float> Kick(double rate) {
  std::vector<float> out(static_cast<size_t>(0.35 * rate));
  double phase = 0.0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = i / rate;
    phase += kTwoPi * (45.0 + 110.0 * std::exp(-t / 0.03)) / rate;
    out[i] = static_cast<float>(std::sin(phase) * std::exp(-t / 0.12));
  }
  return out;
}

// A noise burst over a short low tone, the drum's shell.
std::vector<float> Snare(double rate, Noise& noise) {
  std::vector<float> out(static_cast<size_t>(0.25 * rate));
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = i / rate;
    out[i] = static_cast<float>(0.55 * noise.Next() * std::exp(-t / 0.06) +
                                0.45 * std::sin(kTwoPi * 185.0 * t) * std::exp(-t / 0.05));
  }
  return out;
}

// Differentiated noise: white noise tilted towards the top octaves.
std::vector<float> HiHat(double rate, Noise& noise, double seconds, double decay, float level) {
  std::vector<float> out(static_cast<size_t>(seconds * rate));
  float previous = 0.0f;
  for (size_t i = 0; i < out.size(); ++i) {
    const float white = noise.Next();
    out[i] = static_cast<float>(level * 0.5 * (white - previous) *
                                std::exp(-static_cast<double>(i) / rate / decay));
    previous = white;
  }
  return out;
}

// Karplus-Strong: a noise-filled delay line one period long, averaged on each
// pass so the upper partials die first, like a plucked string.
std::vector<float> Pluck(double rate, Noise& noise, int midiNote, double seconds) {
  const double frequency = 440.0 * std::exp2((midiNote - 69) / 12.0);
  const int period = std::max(2, static_cast<int>(std::lround(rate / frequency)));
  std::vector<float> line(period);
  // A gently smoothed excitation: a softer pick than raw noise.
  float smoothed = 0.0f;
  for (float& sample : line) {
    smoothed = 0.5f * smoothed + 0.5f * noise.Next();
    sample = smoothed;
  }
  std::vector<float> out(static_cast<size_t>(seconds * rate));
  int index = 0;
  for (float& sample : out) {
    const int next = index + 1 == period ? 0 : index + 1;
    sample = line[index];
    line[index] = 0.498f * (line[index] + line[next]);
    index = next;
  }
  return out;
}

struct Note {
  int step;
  int midiNote;
  int steps;  // how long it rings, in sixteenths
};

// A minor pentatonic, answering itself across the two bars.
constexpr Note kMelody[] = {{0, 69, 3},  {3, 67, 3},  {6, 64, 2},  {8, 62, 4},
                            {12, 64, 2}, {14, 67, 2}, {16, 69, 3}, {19, 72, 3},
                            {22, 69, 2}, {24, 67, 4}, {28, 64, 2}, {30, 62, 2}};
constexpr int kKickSteps[] = {0, 8, 10, 16, 24, 27};
constexpr int kSnareSteps[] = {4, 12, 20, 28};
constexpr int kOpenHatSteps[] = {14, 30};

}  // namespace

int DemoPhraseFrames(double sampleRate, double tempo) {
  if (sampleRate <= 0.0 || tempo <= 0.0) return 0;
  return static_cast<int>(std::lround(kBars * kBeatsPerBar * 60.0 / tempo * sampleRate));
}

std::vector<std::vector<float>> MakeDemoPhrase(double sampleRate, double tempo) {
  const int frames = DemoPhraseFrames(sampleRate, tempo);
  std::vector<std::vector<float>> channels(2, std::vector<float>(frames, 0.0f));
  if (frames == 0) return channels;

  Mix mix{channels[0], channels[1], sampleRate};
  Noise noise(0x5eed1234u);
  const double stepFrames = 60.0 / tempo / kStepsPerBeat * sampleRate;
  auto at = [&](int step) { return static_cast<int>(std::lround(step * stepFrames)); };

  const std::vector<float> kick = Kick(sampleRate);
  for (int step : kKickSteps) AddSound(mix, at(step), kick, 0.0f);
  for (int step : kSnareSteps) AddSound(mix, at(step), Snare(sampleRate, noise), -0.1f);
  constexpr int kSteps = kBars * kBeatsPerBar * kStepsPerBeat;
  for (int step = 0; step < kSteps; step += 2) {
    const bool open = std::find(std::begin(kOpenHatSteps), std::end(kOpenHatSteps), step) !=
                      std::end(kOpenHatSteps);
    const float level = step % 4 == 0 ? 0.6f : 0.9f;  // accent the off-beats
    AddSound(mix, at(step),
             open ? HiHat(sampleRate, noise, 0.2, 0.07, level)
                  : HiHat(sampleRate, noise, 0.06, 0.015, level),
             0.35f);
  }
  for (size_t i = 0; i < std::size(kMelody); ++i) {
    const Note& note = kMelody[i];
    const double seconds = note.steps * stepFrames / sampleRate;
    const float pan = i % 2 == 0 ? -0.3f : 0.3f;
    AddSound(mix, at(note.step), Pluck(sampleRate, noise, note.midiNote, seconds), pan);
  }

  float peak = 0.0f;
  for (const auto& channel : channels) {
    for (float sample : channel) peak = std::max(peak, std::fabs(sample));
  }
  if (peak > 0.0f) {
    const float gain = static_cast<float>(kPeak / peak);
    for (auto& channel : channels) {
      for (float& sample : channel) sample *= gain;
    }
  }
  return channels;
}

}  // namespace vsthost
