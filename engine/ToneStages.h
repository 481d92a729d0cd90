// The coefficients of the tone stages inside the feedback loop, computed once
// per block core call.
#pragma once

struct CrunchParams {
  float linear;   // 1 - crunch
  float cubic;    // crunch x drive
  float limiter;  // keeps the cubic in bounds
  float outputGain;
};

// Low cut: a first-order shelf, y = b0 x + b1 x' - a1 y'.
struct ShelfParams {
  float b0, b1, a1;
};

// High cut: a first-order high-pass h whose share of the signal is reduced,
// x - h + keep h.
struct HighShelfParams {
  float b0, b1, a1, keep;
};

// The state-variable filter's mode mix: shares of dry, low, band and high.
struct FilterMix {
  float dry, low, band, high;
};

// The shares for "Filter Type" t, 0..4: 0 and 4 "Thru", 1 "Low", 2 "Band",
// 3 "High", adjacent modes blended linearly.
FilterMix FilterMixFor(float t);
