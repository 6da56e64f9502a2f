#include "tools/mkdemo/adventure.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/oggfile.h"
#include "tools/mkdemo/picfiles.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

// A spoken line as a melody: syllables of a soft lead voice that rise and fall around a speaker's pitch, with a
// pause between phrases and a falling end. `seed` chooses the contour; the same seed gives the same line.
Sound SpokenLine(float base, int syllables, std::uint32_t seed) {
  Score score;
  score.tempo = 420;
  score.channels = 1;
  score.reverb = 0.15f;
  score.voices.push_back({"voice", "lead", 0.5f, 0});
  double beat = 0;
  float pitch = base;
  for (int i = 0; i < syllables; ++i) {
    seed = seed * 1103515245u + 12345u;
    const int step = static_cast<int>(seed >> 16 & 7) - 3;  // -3 .. 4 semitones
    pitch = std::min(base + 7, std::max(base - 5, pitch + static_cast<float>(step)));
    const bool last = i == syllables - 1;
    const double length = last ? 2 : (seed >> 20 & 1) != 0 ? 1 : 0.5;
    score.notes.push_back({0, beat, length, {last ? pitch - 3 : pitch}});
    beat += length;
    if (i % 5 == 4) beat += 1;  // a breath between phrases
  }
  score.beats = beat + 1;
  return Render(score, 0.6f);
}

struct EffectNote {
  double beat, length;
  float pitch;
};
struct Effect {
  const char* instrument;
  float volume;
  std::vector<EffectNote> notes;
};

// The story's sound effects, se001 .. se004.
const Effect kEffects[] = {
    {"wood", 0.8f, {{0, 0.5, 62}, {0.75, 0.5, 62}, {1.5, 0.5, 60}}},   // a knock on a door
    {"bell", 0.5f, {{0, 2, 84}, {0.5, 2, 88}, {1, 3, 91}}},             // a school chime
    {"swish", 0.6f, {{0, 2, 60}}},                                      // wind past the window
    {"blip", 0.4f, {{0, 0.5, 96}, {0.5, 0.5, 100}, {1, 0.5, 103}}},     // a phone's message tone
};

Sound EffectSound(const Effect& effect) {
  Score score;
  score.tempo = 240;
  score.channels = 2;
  score.reverb = 0.2f;
  score.voices.push_back({"fx", effect.instrument, effect.volume, 0});
  double end = 0;
  for (const EffectNote& n : effect.notes) {
    score.notes.push_back({0, n.beat, n.length, {n.pitch}});
    end = std::max(end, n.beat + n.length);
  }
  score.beats = end;
  return Render(score, 0.7f);
}

// The pass-code dialog: a glass panel with its title and a field for the five characters.
std::string PassFrame(const Style& style) {
  const int w = 208, h = 108;
  Picture picture(w, h, true);
  GlassPanel(picture, style, 1, 1, w - 2, h - 2, 10);
  const std::string title = style.Label("pass.title");
  Caption(picture, style, title, (w - Mask::TextWidth(title, 14)) / 2.0f, 12, 14, Solid(style.Colour("cream")));
  Mask field = picture.NewMask();
  field.Rect(84, 40, 48, 24, 4);
  picture.Fill(field, Solid(style.Colour("cream")), 0.95f);
  return PngFile(picture, true);
}

// A dialog button (46 x 22: normal, focus, down) with its label.
std::string DialogButton(const Style& style, const std::string& label) {
  return ButtonStrip(style, 46, 22, {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown},
                     [&label](Mask& m, float x, float y) {
                       m.Text(label, x + (46 - Mask::TextWidth(label, 12, true)) / 2.0f, y + 4, 12, true);
                     });
}

}  // namespace

void AddAdventureAssets(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  // Voices 1 .. 6 of pack 0: two speakers, a higher and a lower one, taking turns.
  for (std::uint32_t id = 1; id <= 6; ++id) {
    char name[20];
    std::snprintf(name, sizeof name, "%010u.ogg", id);
    const float base = id % 2 == 1 ? 72.0f : 64.0f;
    assets.push_back({name, Place::kPart,
                      [base, id] { return OggFile(SpokenLine(base, 6 + static_cast<int>(id % 3) * 3, id), 0.3f); },
                      "Voice/ev00000.pak"});
  }
  for (std::size_t i = 0; i < std::size(kEffects); ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "se%03zu.ogg", i + 1);
    const Effect& effect = kEffects[i];
    assets.push_back({name, Place::kPart, [&effect] { return OggFile(EffectSound(effect), 0.3f); }, "EvSE.pak"});
  }
  // The system voices: the title's goodbye on Exit (01), the load screen's greeting (03) and free play's (04); the
  // answers to a save (02) are made with the system sounds.
  for (int group : {1, 3, 4})
    for (int n = 1; n <= 5; ++n) {
      char name[24];
      std::snprintf(name, sizeof name, "SysVoice%02d_%02d.ogg", group, n);
      const auto seed = static_cast<std::uint32_t>(group * 100 + n);
      assets.push_back({name, Place::kMain, [seed, n] { return OggFile(SpokenLine(76.0f, 3 + n % 3, seed), 0.3f); }});
    }
  assets.push_back({"DlgF_Pass.png", Place::kMain, [&style] { return PassFrame(style); }});
  assets.push_back({"DlgClear.png", Place::kMain, [&style] { return DialogButton(style, style.Label("pass.clear")); }});
  assets.push_back({"DlgOk.png", Place::kMain, [&style] { return DialogButton(style, style.Label("pass.ok")); }});
}

}  // namespace mkdemo
