// The tone stages: each a tight loop over a sub-block of interleaved wet
// frames, in place, in the order the block core calls them.
#include "engine/ToneStages.h"

#include <algorithm>
#include <cmath>

#include "shell/OdrkCrossDelay.h"
#include "shell/Preferences.h"

FilterMix FilterMixFor(float t) {
  if (t < 1.0f) return {1.0f - t, t, 0.0f, 0.0f};
  if (t < 2.0f) return {0.0f, 2.0f - t, t - 1.0f, 0.0f};
  if (t < 3.0f) return {0.0f, 0.0f, 3.0f - t, t - 2.0f};
  return {t - 3.0f, 0.0f, 0.0f, 4.0f - t};
}

void OdrkCrossDelay::RenderConvertToMono(float* frames, unsigned long count) {
  for (unsigned long i = 0; i < count; ++i) {
    const float mono = (frames[2 * i] + frames[2 * i + 1]) * 0.5f;
    frames[2 * i] = frames[2 * i + 1] = mono;
  }
}

void OdrkCrossDelay::RenderPreSatFxLoop(float* frames, const float** in, float** out,
                                        unsigned long count) {
  for (unsigned long i = 0; i < count; ++i) {
    const float return0 = in[4][i], return1 = in[5][i];  // before the send: in place
    out[4][i] = frames[2 * i];
    out[5][i] = frames[2 * i + 1];
    frames[2 * i] = return0;
    frames[2 * i + 1] = return1;
  }
  in[4] += count;
  in[5] += count;
  out[4] += count;
  out[5] += count;
}

// y = (cubic x^2 + linear) x, then a soft limit y / (limiter y^2 + 1).
void OdrkCrossDelay::RenderCrunch(float* frames, unsigned long count, const CrunchParams& p) {
  for (unsigned long i = 0; i < 2 * count; ++i) {
    const float x = frames[i];
    const float y = (p.cubic * x * x + p.linear) * x;
    frames[i] = p.outputGain * y / (p.limiter * y * y + 1.0f);
  }
}

// The bilinear transform of (s + g) / (s + f): gain g/f at DC, 1 up high.
void OdrkCrossDelay::RenderLowShelf(float* frames, unsigned long count, FilterBlock<4>& state,
                                    const ShelfParams& p) {
  float xl = state.s[0], xr = state.s[1], yl = state.s[2], yr = state.s[3];
  for (unsigned long i = 0; i < count; ++i) {
    const float l = frames[2 * i], r = frames[2 * i + 1];
    yl = p.b0 * l + p.b1 * xl - p.a1 * yl;
    yr = p.b0 * r + p.b1 * xr - p.a1 * yr;
    xl = l;
    xr = r;
    frames[2 * i] = yl;
    frames[2 * i + 1] = yr;
  }
  state.s[0] = xl;
  state.s[1] = xr;
  state.s[2] = yl;
  state.s[3] = yr;
}

// h is the bilinear transform of s / (s + f); the output keeps keep x h.
void OdrkCrossDelay::RenderHighShelf(float* frames, unsigned long count, FilterBlock<4>& state,
                                     const HighShelfParams& p) {
  float xl = state.s[0], xr = state.s[1], hl = state.s[2], hr = state.s[3];
  for (unsigned long i = 0; i < count; ++i) {
    const float l = frames[2 * i], r = frames[2 * i + 1];
    hl = p.b0 * l + p.b1 * xl - p.a1 * hl;
    hr = p.b0 * r + p.b1 * xr - p.a1 * hr;
    xl = l;
    xr = r;
    frames[2 * i] = l - hl + p.keep * hl;
    frames[2 * i + 1] = r - hr + p.keep * hr;
  }
  state.s[0] = xl;
  state.s[1] = xr;
  state.s[2] = hl;
  state.s[3] = hr;
}

// A cubic soft clipper, y - a y^3 up to |y| = threshold, clip beyond. The
// parameters always make the clip level the cubic's value at the threshold,
// so clamping y first gives the same curve in a loop the compiler vectorises.
void OdrkCrossDelay::RenderSaturate(float* frames, unsigned long count, float a, float threshold,
                                    float clip, float drive, float output) {
  const float joint = threshold - a * threshold * threshold * threshold;
  if (std::fabs(joint - clip) <= 1e-6f * std::max(1.0f, std::fabs(clip))) {
    for (unsigned long i = 0; i < 2 * count; ++i) {
      const float y = std::min(std::max(drive * frames[i], -threshold), threshold);
      frames[i] = output * (y - a * y * y * y);
    }
    return;
  }
  for (unsigned long i = 0; i < 2 * count; ++i) {
    const float y = drive * frames[i];
    const float limit = y < 0.0f ? -clip : clip;
    frames[i] = output * (std::fabs(y) <= threshold ? y - a * y * y * y : limit);
  }
}

// The Chamberlin state-variable filter, both channels in one pass so that
// their two recurrences run side by side.
void OdrkCrossDelay::RenderFilter(float* frames, unsigned long count, FilterBlock<6>& state,
                                  float f, float q, float dryMix, float lowMix, float bandMix,
                                  float highMix) {
  float lowL = state.s[0], highL = state.s[1], bandL = state.s[2];
  float lowR = state.s[3], highR = state.s[4], bandR = state.s[5];
  for (unsigned long i = 0; i < count; ++i) {
    const float xl = frames[2 * i], xr = frames[2 * i + 1];
    lowL = lowL + f * bandL;
    lowR = lowR + f * bandR;
    highL = xl - lowL - q * bandL;
    highR = xr - lowR - q * bandR;
    bandL = bandL + f * highL;
    bandR = bandR + f * highR;
    frames[2 * i] = dryMix * xl + lowMix * lowL + bandMix * bandL + highMix * highL;
    frames[2 * i + 1] = dryMix * xr + lowMix * lowR + bandMix * bandR + highMix * highR;
  }
  state.s[0] = lowL;
  state.s[1] = highL;
  state.s[2] = bandL;
  state.s[3] = lowR;
  state.s[4] = highR;
  state.s[5] = bandR;
}

OdrkCrossDelay::ToneConstants OdrkCrossDelay::ToneStageConstants(unsigned long frames) {
  const float sr = getSampleRate();
  auto P = [this](int id) { return GetParameterValue(id); };
  ToneConstants t{};
  t.monoRead = static_cast<int>(P(kTapeReadMode)) == 1;

  const float crunch = P(kCrunch), drive = P(kDrive), post = P(kPostGain);
  t.crunch = crunch > 0.0f || drive > 0.0f || post != 0.0f;
  if (t.crunch) {
    const float c = crunch * 0.01f;
    const float d = std::pow(10.0f, drive * 0.05f);
    const float s = drive < 3.0f ? drive * 0.33333334f : 1.0f;
    t.crunchParams = {1.0f - c, c * d, s * d * 0.28f, std::pow(10.0f, post * 0.05f)};
  }

  const float w = 2.0f * sr;
  const float lowAmount = P(kLowCutAmount);
  t.lowCut = lowAmount > 0.0f;
  if (t.lowCut) {
    const float f = P(kLowCutFreq);
    const float g = (1.0f - lowAmount * 0.01f) * f;
    t.lowCutParams = {(g + w) / (f + w), (g - w) / (f + w), (f - w) / (f + w)};
  }
  const float highAmount = P(kHighCutAmount);
  t.highCut = highAmount > 0.0f;
  if (t.highCut) {
    const float f = P(kHighCutFreq);
    t.highCutParams = {w / (f + w), -w / (f + w), (f - w) / (f + w), 1.0f - highAmount * 0.01f};
  }

  t.saturation = P(kSaturationOnOff) != 0.0f;
  if (t.saturation) {
    const float shape = P(kSaturationShape);
    t.satDrive = 1.0f + P(kSaturation) * 1.3636364f;
    t.satA = shape * 0.14814815f;
    t.satClip = 1.5f - shape * 0.5f;
    t.satOutput = std::max(1.0f / t.satDrive, 0.125f);
  }

  // The filter LFO moves on with every call, whether or not the filter runs.
  constexpr float kTwoPi = 6.2831855f;
  float phase = m_filterLfoPhase + P(kFilterLfoSpeed) * frames * kTwoPi / sr;
  while (phase > kTwoPi) phase -= kTwoPi;
  m_filterLfoPhase = phase;
  t.mix = FilterMixFor(P(kFilterType));
  t.filter = t.mix.dry != 1.0f;
  if (t.filter) {
    // The LFO swings the cutoff by up to "Filter LFO Depth" octaves of 1 + cutoff / 62.5.
    const double fc = 62.5 * (std::exp2(std::log2(1.0 + P(kFilterCutoff) * 0.016) +
                                        P(kFilterLfoDepth) * std::sin(phase)) -
                              1.0);
    t.cutoffHz = static_cast<float>(fc);
    double f;
    if (g_legacyFilter.load(std::memory_order_relaxed)) {
      f = std::min(2.0 * std::sin(fc * M_PI / sr), 0.25);
    } else {
      f = 2.0 * std::sin(std::min(std::max(fc, 0.0) * M_PI / sr, M_PI / 4.0));
    }
    const double q = std::min(
        {2.0 / f - f / 2.0, 2.0, 2.0 * (1.0 - std::pow(static_cast<double>(P(kFilterQ)), 0.25))});
    t.filterF = static_cast<float>(f);
    t.filterQ = static_cast<float>(q);
  }
  return t;
}
