#include "tools/mkdemo/synth.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

#include "tools/mkdemo/canvas.h"

namespace mkdemo {

namespace {

constexpr double kTwoPi = 2 * M_PI;

struct NoteCall {
  double frequency;  // Hz; drums: 0
  int hit;           // DrumHit code for drums
  double gate;       // seconds the note is held
  std::uint32_t seed;
};

using Voice = std::vector<float>;  // the mono samples of one note

double Hz(float midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

// Attack and release around a held gate; 1 in between.
double Envelope(double t, double gate, double attack, double release) {
  double level = attack > 0 ? std::min(1.0, t / attack) : 1.0;
  if (t > gate) level *= std::max(0.0, 1.0 - (t - gate) / release);
  return level;
}

Voice Buffer(double seconds) { return Voice(static_cast<std::size_t>(seconds * kSampleRate) + 1, 0.0f); }

// One-pole low-pass, coefficient from a cut-off frequency.
struct LowPass {
  explicit LowPass(double cutoff) : k(1 - std::exp(-kTwoPi * cutoff / kSampleRate)) {}
  double Step(double x) { return y += k * (x - y); }
  double k, y = 0;
};

Voice Bell(const NoteCall& n) {
  Voice v = Buffer(n.gate + 1.5);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double index = 2.2 * std::exp(-t * 6);
    const double mod = index * std::sin(kTwoPi * n.frequency * 4 * t);
    const double amp = std::exp(-t * 2.4) * Envelope(t, n.gate + 1.0, 0.002, 0.5);
    v[i] = static_cast<float>(amp * (std::sin(kTwoPi * n.frequency * t + mod) + 0.25 * std::sin(kTwoPi * n.frequency * 2 * t)));
  }
  return v;
}

Voice EPiano(const NoteCall& n) {
  Voice v = Buffer(n.gate + 0.4);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double mod = 1.4 * std::exp(-t * 4) * std::sin(kTwoPi * n.frequency * t);
    const double amp = (0.6 * std::exp(-t * 1.6) + 0.4 * std::exp(-t * 0.4)) * Envelope(t, n.gate, 0.003, 0.3);
    v[i] = static_cast<float>(amp * std::sin(kTwoPi * n.frequency * t + mod));
  }
  return v;
}

Voice Pluck(const NoteCall& n) {
  Voice v = Buffer(n.gate + 0.3);
  const int period = std::max(2, static_cast<int>(std::lround(kSampleRate / n.frequency)));
  std::vector<float> line(period);
  Random random(n.seed);
  LowPass soften(n.frequency * 6);
  for (float& s : line) s = static_cast<float>(soften.Step(random.Range(-1, 1)));
  for (std::size_t i = 0; i < v.size(); ++i) {
    const std::size_t at = i % period, next = (i + 1) % period;
    const float out = line[at];
    line[at] = 0.497f * (line[at] + line[next]);
    const double t = static_cast<double>(i) / kSampleRate;
    v[i] = static_cast<float>(out * Envelope(t, n.gate, 0, 0.3));
  }
  return v;
}

// Detuned saw-tooth waves through a low-pass: the pad (slow) and the strings (brighter, with vibrato).
Voice Saws(const NoteCall& n, double attack, double release, double cutoff, double vibrato) {
  Voice v = Buffer(n.gate + release);
  static const double kDetune[] = {-0.004, 0.0, 0.0047};
  double phase[3] = {0.0, 0.33, 0.71};
  LowPass first(cutoff), second(cutoff);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double wobble = 1 + vibrato * std::sin(kTwoPi * 5.2 * t) * std::min(1.0, t / 0.4);
    double sum = 0;
    for (int k = 0; k < 3; ++k) {
      phase[k] += n.frequency * (1 + kDetune[k]) * wobble / kSampleRate;
      phase[k] -= std::floor(phase[k]);
      sum += 2 * phase[k] - 1;
    }
    v[i] = static_cast<float>(second.Step(first.Step(sum / 3)) * Envelope(t, n.gate, attack, release));
  }
  return v;
}

Voice Pad(const NoteCall& n) { return Saws(n, 0.35, 0.8, 1400, 0); }
Voice Strings(const NoteCall& n) { return Saws(n, 0.12, 0.35, 2800, 0.004); }

Voice Lead(const NoteCall& n) {
  Voice v = Buffer(n.gate + 0.15);
  double phase = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double vibrato = 1 + 0.005 * std::sin(kTwoPi * 5.5 * t) * std::clamp((t - 0.15) / 0.3, 0.0, 1.0);
    phase += kTwoPi * n.frequency * vibrato / kSampleRate;
    const double tone = std::sin(phase) + 0.32 * std::sin(2 * phase) + 0.12 * std::sin(3 * phase);
    v[i] = static_cast<float>(0.8 * tone * Envelope(t, n.gate, 0.025, 0.12) * (0.85 + 0.15 * std::exp(-t * 3)));
  }
  return v;
}

Voice Bass(const NoteCall& n) {
  Voice v = Buffer(n.gate + 0.08);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double phase = kTwoPi * n.frequency * t;
    const double tone = std::sin(phase + 0.8 * std::exp(-t * 12) * std::sin(phase)) + 0.3 * std::sin(2 * phase);
    v[i] = static_cast<float>(tone * (0.55 + 0.45 * std::exp(-t * 5)) * Envelope(t, n.gate, 0.004, 0.08));
  }
  return v;
}

// Noise through a low-pass (tone) minus a lower low-pass (so a band), decaying.
Voice Noise(const NoteCall& n, double seconds, double decay, double high, double low, double attack = 0.0005) {
  Voice v = Buffer(seconds);
  Random random(n.seed);
  LowPass top(high), bottom(low);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double x = random.Range(-1, 1);
    const double band = top.Step(x) - bottom.Step(x);
    v[i] = static_cast<float>(band * std::exp(-t * decay) * std::min(1.0, t / attack));
  }
  return v;
}

Voice Drum(const NoteCall& n) {
  switch (n.hit) {
    case kKick: {
      Voice v = Buffer(0.45);
      double phase = 0;
      for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        phase += kTwoPi * (45 + 90 * std::exp(-t * 30)) / kSampleRate;
        v[i] = static_cast<float>(1.1 * std::sin(phase) * std::exp(-t * 7) * std::min(1.0, t / 0.001));
      }
      return v;
    }
    case kSnare: {
      Voice v = Noise(n, 0.3, 16, 7000, 900);
      for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        v[i] = static_cast<float>(1.6 * v[i] + 0.5 * std::sin(kTwoPi * 185 * t) * std::exp(-t * 28));
      }
      return v;
    }
    case kHat: return Noise(n, 0.08, 55, 16000, 7000);
    case kOpenHat: return Noise(n, 0.4, 9, 16000, 6500);
    case kShaker: return Noise(n, 0.12, 28, 12000, 4500, 0.012);
    case kClap: {
      Voice v = Noise(n, 0.3, 14, 5000, 1000);
      for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        const double bursts = t < 0.03 ? 0.5 + 0.5 * std::cos(kTwoPi * t / 0.01) : 1.0;
        v[i] = static_cast<float>(2.0 * v[i] * bursts);
      }
      return v;
    }
    default: throw std::runtime_error("unknown drum");
  }
}

// A breath of noise sweeping up and down: a page turning.
Voice Swish(const NoteCall& n) {
  Voice v = Buffer(n.gate + 0.05);
  Random random(n.seed);
  double y = 0, low = 0;
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double shape = std::sin(M_PI * std::min(1.0, t / (n.gate + 0.05)));
    const double cutoff = 600 + 5000 * shape;
    y += (1 - std::exp(-kTwoPi * cutoff / kSampleRate)) * (random.Range(-1, 1) - y);
    low += 0.02 * (y - low);
    v[i] = static_cast<float>(1.5 * (y - low) * shape * shape);
  }
  return v;
}

Voice Click(const NoteCall& n) {
  Voice v = Noise(n, 0.05, 160, 9000, 2500);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    v[i] = static_cast<float>(0.8 * v[i] + 0.6 * std::sin(kTwoPi * n.frequency * t) * std::exp(-t * 70));
  }
  return v;
}

Voice Wood(const NoteCall& n) {
  Voice v = Buffer(0.25);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double tone = std::sin(kTwoPi * n.frequency * t) + 0.35 * std::sin(kTwoPi * n.frequency * 2.76 * t) * std::exp(-t * 40);
    v[i] = static_cast<float>(tone * std::exp(-t * 22) * std::min(1.0, t / 0.0008));
  }
  return v;
}

Voice Blip(const NoteCall& n) {
  Voice v = Buffer(n.gate + 0.06);
  for (std::size_t i = 0; i < v.size(); ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double f = n.frequency * (1 + 0.04 * std::exp(-t * 60));
    const double tone = std::sin(kTwoPi * f * t) + 0.2 * std::sin(kTwoPi * 3 * f * t);
    v[i] = static_cast<float>(tone * Envelope(t, n.gate, 0.002, 0.06));
  }
  return v;
}

using Instrument = Voice (*)(const NoteCall&);

const std::map<std::string, Instrument>& Instruments() {
  static const std::map<std::string, Instrument> table = {
      {"bell", Bell},   {"epiano", EPiano}, {"pluck", Pluck}, {"pad", Pad},     {"strings", Strings},
      {"lead", Lead},   {"bass", Bass},     {"drums", Drum},  {"swish", Swish}, {"click", Click},
      {"wood", Wood},   {"blip", Blip},
  };
  return table;
}

// A Schroeder room: four damped combs into two all-passes, per channel with slightly different lengths.
class Room {
public:
  explicit Room(int spread) {
    static const int kCombs[] = {1116, 1188, 1277, 1356};
    static const int kPasses[] = {556, 441};
    for (int c : kCombs) combs_.push_back({std::vector<float>(c + spread, 0.0f), 0, 0.0f});
    for (int a : kPasses) passes_.push_back({std::vector<float>(a + spread, 0.0f), 0, 0.0f});
  }
  float Step(float x) {
    float sum = 0;
    for (Line& c : combs_) {
      const float out = c.buffer[c.at];
      c.store = out * 0.75f + c.store * 0.25f;  // damping
      c.buffer[c.at] = x + c.store * 0.82f;
      c.at = (c.at + 1) % c.buffer.size();
      sum += out;
    }
    float y = sum * 0.25f;
    for (Line& a : passes_) {
      const float delayed = a.buffer[a.at];
      const float out = -y + delayed;
      a.buffer[a.at] = y + delayed * 0.5f;
      a.at = (a.at + 1) % a.buffer.size();
      y = out;
    }
    return y;
  }

private:
  struct Line {
    std::vector<float> buffer;
    std::size_t at;
    float store;
  };
  std::vector<Line> combs_, passes_;
};

}  // namespace

bool KnownInstrument(const std::string& name) { return Instruments().count(name) != 0; }

Sound Render(const Score& score, float peak) {
  const double perBeat = score.FramesPerBeat(kSampleRate);
  const long length = std::lround(score.beats * perBeat);
  const long tail = 3 * kSampleRate;
  const int channels = score.channels;
  std::vector<float> mix(static_cast<std::size_t>(length + tail) * channels, 0.0f);
  for (std::size_t index = 0; index < score.notes.size(); ++index) {
    const ScoreNote& note = score.notes[index];
    const ScoreVoice& voice = score.voices[note.voice];
    const auto instrument = Instruments().find(voice.instrument);
    if (instrument == Instruments().end()) throw std::runtime_error("unknown instrument \"" + voice.instrument + "\"");
    const long start = std::lround(note.beat * perBeat);
    if (start >= length + tail) continue;
    const double gate = std::max(0.02, note.length * perBeat / kSampleRate * 0.92);
    const float left = channels == 1 ? voice.volume : voice.volume * std::sqrt((1 - voice.pan) / 2) * 1.41421f;
    const float right = voice.volume * std::sqrt((1 + voice.pan) / 2) * 1.41421f;
    for (std::size_t p = 0; p < note.pitches.size(); ++p) {
      const float pitch = note.pitches[p];
      const NoteCall call{pitch >= 0 ? Hz(pitch) : 0.0, pitch < 0 ? static_cast<int>(pitch) : 0, gate,
                          static_cast<std::uint32_t>(index * 7919 + p * 104729 + 1)};
      const Voice v = instrument->second(call);
      const std::size_t count = std::min<std::size_t>(v.size(), static_cast<std::size_t>(length + tail - start));
      for (std::size_t i = 0; i < count; ++i) {
        float* out = &mix[(start + i) * channels];
        out[0] += v[i] * left;
        if (channels == 2) out[1] += v[i] * right;
      }
    }
  }
  if (score.reverb > 0) {
    for (int c = 0; c < channels; ++c) {
      Room room(c * 23);
      for (long i = 0; i < length + tail; ++i) {
        float& s = mix[i * channels + c];
        s += score.reverb * room.Step(s);
      }
    }
  }
  Sound sound;
  sound.channels = channels;
  if (score.loops) {
    // What rings past the end sounds again from the loop start, as the repeat plays it.
    const long loopStart = std::lround(score.loopBeat * perBeat);
    const long loopLength = length - loopStart;
    for (long i = 0; i < tail; ++i)
      for (int c = 0; c < channels; ++c)
        mix[(loopStart + i % loopLength) * channels + c] += mix[(length + i) * channels + c];
    mix.resize(static_cast<std::size_t>(length) * channels);
  } else {
    long end = length + tail;
    while (end > length && std::fabs(mix[(end - 1) * channels]) < 1e-4f) --end;
    mix.resize(static_cast<std::size_t>(end) * channels);
  }
  float loudest = 0;
  for (float s : mix) loudest = std::max(loudest, std::fabs(s));
  if (loudest > 0)
    for (float& s : mix) s *= peak / loudest;
  sound.samples = std::move(mix);
  return sound;
}

}  // namespace mkdemo
