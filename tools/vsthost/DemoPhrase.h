// A short synthesized stereo phrase to feed plug-ins when no recording is at
// hand: two bars of 4/4 with a kick, a snare, hi-hats and a plucked melody.
// The same arguments always give the same samples, so renders and test
// expectations are reproducible.
//
// Threading: pure function, callable from any thread.
#pragma once

#include <vector>

namespace vsthost {

// The phrase's length in frames: two bars of 4/4 at tempo (BPM), rounded.
int DemoPhraseFrames(double sampleRate, double tempo);

// Two channels (left, right) of DemoPhraseFrames(sampleRate, tempo) samples,
// peaking at -3 dBFS, fading in and out so it can loop without a click.
std::vector<std::vector<float>> MakeDemoPhrase(double sampleRate = 44100.0, double tempo = 120.0);

}  // namespace vsthost
