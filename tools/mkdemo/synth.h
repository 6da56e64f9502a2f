// The demo game's synthesiser: renders a score (tools/mkdemo/score.h) to 44,100 Hz float samples with a small set
// of instruments (bell, electric piano, plucked string, pad, strings, lead, bass, drums and the sound-effect voices
// swish, click, wood and blip), a room reverb, seamless loops and a peak level. Deterministic: noise comes from
// seeded sequences, so a score always gives the same samples.
#pragma once

#include <string>
#include <vector>

#include "tools/mkdemo/score.h"

namespace mkdemo {

inline constexpr int kSampleRate = 44100;

struct Sound {
  int channels = 2;
  std::vector<float> samples;  // interleaved, -1 .. 1
  long Frames() const { return static_cast<long>(samples.size()) / channels; }
};

// Music (a score with a loop) is exactly `beats` long, its tail carried to the loop beat; a sound without a loop
// keeps its tail until it has died away. The loudest sample is brought to `peak`.
Sound Render(const Score& score, float peak);

// Whether the synthesiser has an instrument of that name.
bool KnownInstrument(const std::string& name);

}  // namespace mkdemo
