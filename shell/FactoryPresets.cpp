// The factory presets: the names and values a user finds in the host's
// program list. Records 1-11 give every value; record 0 gives none, so it is
// the Default column of the parameter table.
#include "shell/OdrkProgram.h"

// clang-format off
const PresetInfo esPresets[kNumPrograms] = {
    {"Defaults", 0, {}},
    // Differs from the defaults in: Delay Time, Delay Slider Max, L->L feedback, L->R time, L->R
    // feedback, R->L time, R->L feedback, R->R feedback, Monoize Input.
    {"Ping Pong Delay", kNumParams, {
        /*  0 */ 10.0f, 0.368f, 0.0f, 2.0f, 100.0f, 0.0f, 100.0f, 100.0f,
        /*  8 */ 100.0f, 100.0f, 100.0f, 0.0f, 90.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 1.0f, -1.0f, 1.0f, 0.8f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, Delay Slider Max, Master feedback, Pitch LFO
    // Speed, Pitch LFO Depth, Effect Level, Low Cut Amount, High Cut Freq, High Cut Amount,
    // Drive, Post Gain.
    {"Lossy Tape", kNumParams, {
        /*  0 */ 10.0f, 0.2f, 0.0f, 1.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 100.0f, 100.0f, 80.5f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 0.711f, 0.09f, 0.0f, -1.0f, 1.0f, 1.0f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 19.0f, 9129.0f, 59.5f, 0.0f,
        /* 80 */ 8.0f, 2.2f,
    }},
    // Differs from the defaults in: Max Delay Time, Delay Time, Delay Slider Max, Delay Inertia
    // Mode, Delay Inertia Fade Time.
    {"Looong Delay", kNumParams, {
        /*  0 */ 60.0f, 26.27f, 0.0f, 60.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 100.0f, 100.0f, 90.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 1.0f, 0.8f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 1.0f, 689.41f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, Delay Slider Max, Saturation On/Off, Delay
    // Inertia Mode, Delay Inertia Fade Time, Digital Mode.
    {"Digital Cleanliness", kNumParams, {
        /*  0 */ 10.0f, 0.649f, 0.0f, 5.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 100.0f, 100.0f, 90.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 1.0f, 0.8f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 56 */ 0.0f, 1.0f, 134.965f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, Delay Slider Max, Pitch LFO Depth, Filter
    // Cutoff, Filter Q, Filter LFO Speed, Filter LFO Depth.
    {"Wobbly Pitch", kNumParams, {
        /*  0 */ 10.0f, 0.778f, 0.0f, 4.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 100.0f, 100.0f, 90.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.56f, 0.0f, -1.0f, 1.0f, 0.8f, 1477.0f,
        /* 24 */ 0.471f, 0.0f, 4.988f, 1.755f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, Delay Slider Max, Filter Cutoff, Filter Q,
    // Filter Type, Filter LFO Speed, Filter LFO Depth.
    {"Wobbly Filter", kNumParams, {
        /*  0 */ 10.0f, 0.778f, 0.0f, 4.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 100.0f, 100.0f, 90.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 1.0f, 0.8f, 1477.0f,
        /* 24 */ 0.09f, 1.0f, 4.988f, 1.755f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, Master feedback, Saturation.
    {"Crunchy", kNumParams, {
        /*  0 */ 10.0f, 1.514f, 0.0f, 10.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 100.0f, 100.0f, 44.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 1.0f, 0.8f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 10.78f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, R->R time, Master feedback, Dry Level, Effect
    // Level, Low Cut Amount, High Cut Freq, High Cut Amount, Crunch, Drive, Post Gain.
    {"Utterly Mashed", kNumParams, {
        /*  0 */ 10.0f, 1.514f, 0.0f, 10.0f, 100.0f, 100.0f, 50.0f, 0.0f,
        /*  8 */ 50.0f, 0.0f, 99.0f, 100.0f, 26.5f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 16.0f, 9767.001f, 55.5f, 166.0f,
        /* 80 */ 66.4f, 18.9f,
    }},
    // Differs from the defaults in: L->L time, L->L feedback, L->R feedback, R->L time, R->L
    // feedback, Master feedback, Effect Level, Tape Read Mode.
    {"Multitap", kNumParams, {
        /*  0 */ 10.0f, 1.0f, 0.0f, 10.0f, 25.0f, 10.0f, 50.0f, 20.0f,
        /*  8 */ 75.0f, 50.0f, 100.0f, 100.0f, 45.5f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 1.0f, 1.0f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 0.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 1.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 0.0f, 12000.0f, 0.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, Delay Slider Max, L->L time, L->L feedback, L->R
    // time, L->R feedback, R->L time, R->L feedback, R->R time, R->R feedback, Master feedback,
    // Dry Level, Effect Level, Delay Inertia Mode, Digital Mode, Low Cut Amount, High Cut
    // Amount.
    {"Reverby", kNumParams, {
        /*  0 */ 10.0f, 0.216f, 0.0f, 2.0f, 92.5f, 59.5f, 32.5f, 46.5f,
        /*  8 */ 46.0f, 50.5f, 98.5f, 62.0f, 88.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 5.0f, 0.0f, 0.0f, -1.0f, 0.0f, 1.0f, 1000.0f,
        /* 24 */ 0.1f, 0.0f, 0.2f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 1.0f, 100.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 3.0f, 12000.0f, 5.0f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
    // Differs from the defaults in: Delay Time, L->L feedback, L->R time, L->R feedback, R->L
    // time, R->L feedback, R->R time, R->R feedback, Master feedback, Pitch LFO Speed, Pitch LFO
    // Depth, Monoize Input, Dry Level, Effect Level, Filter Cutoff, Filter Q, Filter Type,
    // Filter LFO Speed, Filter LFO Depth, Saturation, Delay Inertia Mode, Low Cut Amount, High
    // Cut Amount.
    {"String Warmth", kNumParams, {
        /*  0 */ 10.0f, 0.811f, 0.0f, 10.0f, 100.0f, 84.0f, 47.0f, 34.5f,
        /*  8 */ 68.0f, 56.5f, 98.5f, 96.0f, 98.0f, 0.0f, 0.0f, 64.0f,
        /* 16 */ 0.0f, 0.412f, 0.635f, 0.41f, -1.0f, 0.0f, 1.0f, 2987.5f,
        /* 24 */ 0.12f, 1.04f, 0.399f, 0.42f, 1.87f, 0.0f, 0.0f, 1.0f,
        /* 32 */ 0.0f, 0.0f, 4.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 40 */ 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 2.0f, 2.0f, 1.0f,
        /* 48 */ 1.0f, 0.0f, 0.0f, 2.0f, 0.0f, 0.0f, 0.0f, 1.0f,
        /* 56 */ 0.0f, 1.0f, 100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f,
        /* 64 */ 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 128.0f, 0.0f, 0.0f,
        /* 72 */ 0.0f, 0.0f, 0.0f, 2000.0f, 17.0f, 12000.0f, 22.5f, 0.0f,
        /* 80 */ 0.0f, 0.0f,
    }},
};
// clang-format on
