#include "tools/mkdemo/songpics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <stdexcept>

#include "tools/mkdemo/chart.h"
#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

struct Played {
  int notes = 0;
  double seconds = 0;
};

// The notes the player plays at a level (0 normal, 1 hard, 2 easy) and the time from the start to the last note.
Played PlayedAt(const SongSource& song, int level) {
  Played played;
  for (const ChartNote& note : ChartNotes(song)) {
    if (note.rest) continue;
    played.seconds = std::max(played.seconds, note.frame / static_cast<double>(kSampleRate));
    int key = note.key;
    if (level != 1) key = key % 10 > 7 ? key % 10 - 5 : key % 10;
    if (level != 2 || (key >= 2 && key <= 5)) ++played.notes;
  }
  return played;
}

// The largest size up to `pixels` at which the text fits the width.
int FittingSize(const std::string& text, int pixels, float width, bool bold) {
  while (pixels > 10 && Mask::TextWidth(text, pixels, bold) > width) --pixels;
  return pixels;
}

void Centred(Picture& picture, const Style& style, const std::string& text, float cx, float y, int pixels,
             const Paint& paint, bool bold = false) {
  Caption(picture, style, text, cx - Mask::TextWidth(text, pixels, bold) / 2.0f, y, pixels, paint, bold);
}

void Badge(Picture& picture, const Style& style, const std::string& text, float x, float y, const Rgb& colour) {
  const float w = static_cast<float>(Mask::TextWidth(text, 12, true)) + 12;
  Mask badge = picture.NewMask();
  badge.Rect(x, y, w, 18, 9);
  picture.Fill(badge, Solid(colour), 0.85f);
  Mask letters = picture.NewMask();
  letters.Text(text, x + 6, y + 3, 12, true);
  picture.Fill(letters, Solid(style.Colour("night")));
}

// Five fine lines of a staff across [x0, x1] with the song's accent on a few notes.
void Staff(Picture& picture, const Style& style, const Rgb& accent, float x0, float x1, float top, float gap,
           float opacity) {
  Mask staff = picture.NewMask();
  for (int i = 0; i < 5; ++i) staff.Line(x0, top + i * gap, x1, top + i * gap, 0.7f);
  picture.Fill(staff, Horizontal(style.Colour("lavender"), accent, x0, x1), opacity);
  Mask notes = picture.NewMask();
  static const float kNotes[][2] = {{0.12f, 3}, {0.26f, 1.5f}, {0.74f, 2}, {0.88f, 0.5f}};
  for (const auto& n : kNotes) {
    const float x = x0 + (x1 - x0) * n[0], y = top + n[1] * gap;
    notes.Ellipse(x, y, gap * 0.75f, gap * 0.55f).Line(x + gap * 0.65f, y, x + gap * 0.65f, y - gap * 3.2f, 1.1f);
  }
  picture.Fill(notes, Solid(accent), opacity);
}

std::string Curtain(const Style& style, const SongSource& song) {
  Picture picture(480, 188, true);
  const Rgb accent = style.Colour(song.colour);
  Mask glow = picture.NewMask();
  glow.Rect(24, 34, 432, 120, 14).Blur(10);
  picture.Fill(glow, Solid(accent), 0.35f, Blend::kAdd);
  GlassPanel(picture, style, 20, 30, 440, 128, 12);
  Mask body = picture.NewMask();
  body.Rect(21, 31, 438, 126, 11);
  picture.Fill(body, Vertical(style.Colour("indigo"), style.Colour("night"), 30, 158), 0.55f);
  Staff(picture, style, accent, 44, 436, 112, 5, 0.45f);
  const int size = FittingSize(song.title, 32, 380, true);
  Centred(picture, style, song.title, 240, 56, size, Vertical(style.Colour("cream"), accent, 58, 58 + size), true);
  Centred(picture, style, song.artist, 240, 136, 13, Solid(style.Colour("lavender")));
  Badge(picture, style, song.id, 34, 40, accent);
  Mask stars = picture.NewMask();
  stars.Star(442, 46, 8, 0.05f).Star(426, 60, 4, 0.2f).Star(38, 142, 5, 0.1f);
  picture.Fill(stars, Solid(style.Colour("gold")));
  return PngFile(picture, true);
}

// The title picture: a small night scene with the title, drawn inside the w x h area at (x, y) of the picture.
std::string Title(const Style& style, const SongSource& song, int width, int height, float x, float y, float w,
                  float h) {
  Picture picture(width, height, false);
  NightSky(picture, style, static_cast<std::uint32_t>(song.id[2] * 31 + song.id[3] * 7));
  const Rgb accent = style.Colour(song.colour);
  Mask glow = picture.NewMask();
  glow.Ellipse(x + w * 0.82f, y + h * 0.28f, h * 0.4f, h * 0.4f).Blur(static_cast<int>(h / 8));
  picture.Fill(glow, Solid(accent), 0.45f, Blend::kAdd);
  Mask star = picture.NewMask();
  star.Star(x + w * 0.82f, y + h * 0.28f, h * 0.17f, 0.04f);
  picture.Fill(star, Radial(style.Colour("cream"), accent, x + w * 0.8f, y + h * 0.25f, h * 0.18f));
  Staff(picture, style, accent, x + 12, x + w - 12, y + h * 0.72f, h / 40, 0.4f);
  const int size = FittingSize(song.title, static_cast<int>(h * 0.2f), w - 28, true);
  Centred(picture, style, song.title, x + w / 2, y + h * 0.38f, size,
          Vertical(style.Colour("cream"), style.Colour("gold"), y + h * 0.4f, y + h * 0.4f + size), true);
  Centred(picture, style, song.artist, x + w / 2, y + h * 0.84f, std::max(10, static_cast<int>(h * 0.08f)),
          Solid(style.Colour("lavender")));
  Badge(picture, style, song.id, x + 12, y + 10, accent);
  return PngFile(picture, false);
}

void StarRow(Picture& picture, const Style& style, float x, float y, int lit) {
  Mask on = picture.NewMask(), off = picture.NewMask();
  for (int i = 0; i < 5; ++i) (i < lit ? on : off).Star(x + 15 * i, y, 6.5f);
  picture.Fill(off, Solid(style.Colour("mist")), 0.3f);
  Mask glow = picture.NewMask();
  glow.CopyFrom(on);
  glow.Blur(2);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.6f, Blend::kAdd);
  picture.Fill(on, Solid(style.Colour("gold")));
}

std::string Data(const Style& style, const SongSource& song) {
  Picture picture(255, 187, true);
  const Rgb accent = style.Colour(song.colour);
  GlassPanel(picture, style, 1, 1, 253, 185, 10);
  Badge(picture, style, song.id, 12, 10, accent);
  char tempo[32];
  std::snprintf(tempo, sizeof tempo, "%s %d", style.Label("songdata.tempo").c_str(),
                static_cast<int>(std::lround(song.score.tempo)));
  Caption(picture, style, tempo, 243 - Mask::TextWidth(tempo, 12), 12, 12, Solid(style.Colour("mist")));
  const int size = FittingSize(song.title, 18, 230, true);
  Caption(picture, style, song.title, 12, 34, size,
          Vertical(style.Colour("cream"), style.Colour("gold"), 36, 36 + size), true);
  Caption(picture, style, song.artist, 12, 58, 12, Solid(style.Colour("lavender")));
  Mask rule = picture.NewMask();
  rule.Line(12, 78, 243, 78, 0.8f);
  picture.Fill(rule, Horizontal(accent, style.Colour("violet"), 12, 243), 0.6f);
  const Played normal = PlayedAt(song, 0);
  char length[16], count[16];
  const int seconds = static_cast<int>(std::lround(song.score.beats * 60 / song.score.tempo));
  std::snprintf(length, sizeof length, "%d:%02d", seconds / 60, seconds % 60);
  std::snprintf(count, sizeof count, "%d", normal.notes);
  Caption(picture, style, style.Label("songdata.length"), 14, 86, 14, Solid(style.Colour("mist")));
  Caption(picture, style, length, 110, 86, 14, Solid(style.Colour("cream")));
  Caption(picture, style, style.Label("songdata.notes"), 14, 106, 14, Solid(style.Colour("mist")));
  Caption(picture, style, count, 110, 106, 14, Solid(style.Colour("cream")));
  static const struct {
    const char* label;
    int level;
  } kRows[] = {{"level.easy", 2}, {"level.normal", 0}, {"level.hard", 1}};
  for (int row = 0; row < 3; ++row) {
    const float y = 130 + 18 * row;
    Caption(picture, style, style.Label(kRows[row].label), 14, y, 13, Solid(style.Colour("cream")));
    StarRow(picture, style, 118, y + 8, LevelStars(song, kRows[row].level));
  }
  return PngFile(picture, true);
}

std::string Name(const Style& style, const SongSource& song) {
  Picture picture(kSongNameWidth, kSongNameHeight, true);
  Mask star = picture.NewMask();
  star.Star(9, 14, 6, 0.05f);
  picture.Fill(star, Solid(style.Colour(song.colour)));
  const int size = FittingSize(song.title, 16, kSongNameWidth - 24, false);
  Caption(picture, style, song.title, 20, (kSongNameHeight - size) / 2.0f - 1, size, Solid(style.Colour("cream")));
  return PngFile(picture, true);
}

using Maker = std::string (*)(const Style&, const SongSource&);

const std::map<std::string, Maker>& Pictures() {
  static const std::map<std::string, Maker> table = {
      {"curtain.png", Curtain},
      {"songtitle2.png", [](const Style& s, const SongSource& g) { return Title(s, g, 360, 150, 0, 0, 360, 150); }},
      {"songtitle.png", [](const Style& s, const SongSource& g) { return Title(s, g, 340, 137, 16, 2, 324, 135); }},
      {"songdata.png", Data},
      {"songname.png", Name},
  };
  return table;
}

}  // namespace

bool IsSongPicture(const std::string& name) { return Pictures().count(name) != 0; }

std::string SongPicture(const Style& style, const SongSource& song, const std::string& name) {
  const auto maker = Pictures().find(name);
  if (maker == Pictures().end()) throw std::runtime_error("no song picture \"" + name + "\"");
  return maker->second(style, song);
}

int LevelStars(const SongSource& song, int level) {
  const Played played = PlayedAt(song, level);
  if (played.seconds <= 0) return 1;
  int stars = 1 + static_cast<int>(std::lround(played.notes / played.seconds * 1.1));
  if (level == 1) {
    int away = 0, all = 0;
    for (const ChartNote& note : ChartNotes(song))
      if (!note.rest) ++all, away += note.key >= 8 ? 1 : 0;
    stars += 1 + (away * 4 > all ? 1 : 0);
  }
  return std::clamp(stars, 1, 5);
}

}  // namespace mkdemo
