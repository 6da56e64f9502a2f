#include "tools/mkdemo/musicpics.h"

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/oggfile.h"
#include "tools/mkdemo/picfiles.h"
#include "tools/mkdemo/score.h"
#include "tools/mkdemo/synth.h"

namespace mkdemo {

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kNoteW = 27, kNoteH = 66, kLabelW = 27, kLabelH = 23;
// Key labels by key index: each row's four left-hand keys, four right-hand keys, then its two middle keys.
constexpr const char* kKeyLabels = "ASDFJKL;GHQWERUIOPTYZXCVM,./BN";

// The velvet of the curtain: vertical folds, deep at their creases.
Paint Velvet(const Style& style) {
  const Rgb deep = style.Colour("night"), light = style.Colour("violet"), warm = style.Colour("rose");
  return [=](float x, float) {
    const float fold = 0.5f + 0.5f * std::sin(x * 2 * kPi / 37.0f);
    return Mix(Mix(deep, light, 0.25f + 0.5f * fold), warm, 0.12f * fold);
  };
}

std::string Curtain(const Style& style) {
  Picture picture(640, 48, true);
  Mask cloth = picture.NewMask();
  cloth.Rect(0, 0, 640, 32);
  picture.Fill(cloth, Velvet(style));
  // Strip 1 ends in the hem, strip 2 holds the tassels that hang below it.
  Mask hem = picture.NewMask();
  hem.Rect(0, 28, 640, 4);
  picture.Fill(hem, Vertical(style.Colour("gold"), style.Colour("amber"), 28, 32));
  Mask tassels = picture.NewMask();
  for (float x = 0; x < 640; x += 10) tassels.Triangle(x + 1, 32, x + 9, 32, x + 5, 42).Ellipse(x + 5, 42, 1.6f, 1.6f);
  picture.Fill(tassels, Vertical(style.Colour("gold"), style.Colour("amber"), 32, 44));
  return PngFile(picture, true);
}

std::string Sheet(const Style& style) {
  Picture picture(486, 180, false);
  picture.Fill(Vertical(style.Colour("indigo"), style.Colour("night"), 0, 180));
  Stars(picture, style, 71, 40, 0, 0, 486, 180);
  GlassPanel(picture, style, 4, 8, 478, 164, 10);
  Mask staff = picture.NewMask();
  for (int i = 0; i < 5; ++i) staff.Line(12, 52 + 14.0f * i, 478, 52 + 14.0f * i, 0.9f);
  picture.Fill(staff, Horizontal(style.Colour("lavender"), style.Colour("violet"), 0, 486), 0.45f);
  // The judgement line: where a note's left edge stands when it is due.
  Mask band = picture.NewMask();
  band.Rect(84, 10, 27, 160, 6);
  picture.Fill(band, Solid(style.Colour("gold")), 0.12f, Blend::kAdd);
  Mask line = picture.NewMask();
  line.Line(97.5f, 12, 97.5f, 168, 1.4f);
  Mask glow = picture.NewMask();
  glow.CopyFrom(line);
  glow.Blur(3);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.8f, Blend::kAdd);
  picture.Fill(line, Solid(style.Colour("gold")));
  return BmpFile(picture);
}

// Note colours: the left hand's keys in cool tones, the right hand's in warm ones, the program's in mist.
Rgb NoteColour(const Style& style, int frame) {
  if (frame == 4 || frame == 9) return style.Colour("mist");
  if (frame < 4) return Mix(style.Colour("teal"), style.Colour("lavender"), frame / 3.0f);
  return Mix(style.Colour("gold"), style.Colour("rose"), (frame - 5) / 3.0f);
}

std::string Notes(const Style& style) {
  Picture picture(5 * kNoteW, 2 * kNoteH, true);
  for (int frame = 0; frame < 10; ++frame) {
    const float x = static_cast<float>(frame % 5 * kNoteW), y = frame < 5 ? 0.0f : static_cast<float>(kNoteH);
    const bool headUp = frame < 5;
    const float headY = y + (headUp ? 14.0f : 52.0f);
    Mask note = picture.NewMask();
    note.Ellipse(x + 13.5f, headY, 9, 7);
    if (headUp)
      note.Line(x + 21.5f, headY, x + 21.5f, y + 41, 2);
    else
      note.Line(x + 5.5f, headY, x + 5.5f, y + 25, 2);
    Mask glow = picture.NewMask();
    glow.CopyFrom(note);
    glow.Blur(2);
    const Rgb colour = NoteColour(style, frame);
    picture.Fill(glow, Solid(colour), 0.6f);
    picture.Fill(note, Radial(style.Colour("cream"), colour, x + 11, headY - 3, 10));
  }
  return PngFile(picture, true);
}

std::string Alphabet(const Style& style) {
  Picture picture(10 * kLabelW, 3 * kLabelH, true);
  for (int key = 0; key < 30; ++key) {
    const float x = static_cast<float>(key % 10 * kLabelW), y = static_cast<float>(key / 10 * kLabelH);
    Mask badge = picture.NewMask();
    badge.Rect(x + 3, y + 2, kLabelW - 6, kLabelH - 4, 6);
    picture.Fill(badge, Vertical(style.Colour("violet"), style.Colour("indigo"), y, y + kLabelH), 0.9f);
    const std::string letter(1, kKeyLabels[key]);
    const float left = x + (kLabelW - Mask::TextWidth(letter, 14, true)) / 2.0f;
    Caption(picture, style, letter, left, y + 3, 14, Solid(style.Colour("cream")), true);
  }
  return PngFile(picture, true);
}

// A smooth line through the points (Catmull-Rom), drawn as short strokes.
void Curve(Mask& mask, const std::vector<std::pair<float, float>>& p, float width) {
  for (std::size_t i = 0; i + 1 < p.size(); ++i) {
    const auto& a = p[i == 0 ? 0 : i - 1];
    const auto& b = p[i];
    const auto& c = p[i + 1];
    const auto& d = p[i + 2 < p.size() ? i + 2 : i + 1];
    float px = b.first, py = b.second;
    for (int step = 1; step <= 12; ++step) {
      const float t = step / 12.0f, t2 = t * t, t3 = t2 * t;
      const auto at = [&](float a0, float b0, float c0, float d0) {
        return 0.5f * (2 * b0 + (-a0 + c0) * t + (2 * a0 - 5 * b0 + 4 * c0 - d0) * t2 + (-a0 + 3 * b0 - 3 * c0 + d0) * t3);
      };
      const float x = at(a.first, b.first, c.first, d.first), y = at(a.second, b.second, c.second, d.second);
      mask.Line(px, py, x, y, width);
      px = x, py = y;
    }
  }
}

std::string Clef(const Style& style) {
  Picture picture(96, 240, true);
  Mask clef = picture.NewMask();
  // From the heart of the spiral out round it, up into the top loop, then down through the spiral to the hook.
  Curve(clef,
        {{52, 150}, {62, 141}, {59, 126}, {46, 121}, {33, 131}, {30, 151}, {41, 170}, {60, 175}, {74, 161},
         {74, 136}, {61, 110}, {47, 89},  {40, 64},  {44, 34},  {56, 14},  {65, 24},  {60, 50},  {46, 76},
         {48, 118}, {53, 168}, {56, 203}, {50, 220}, {38, 218}, {33, 208}},
        5);
  clef.Ellipse(37, 207, 8, 8);
  Mask glow = picture.NewMask();
  glow.CopyFrom(clef);
  glow.Blur(6);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.8f);
  picture.Fill(clef, Vertical(style.Colour("cream"), style.Colour("gold"), 10, 220));
  return PngFile(picture, true);
}

// The dark well in which the gauge and the score stand (their pictures are opaque on it).
Rgb Well(const Style& style) { return Mix(style.Colour("night"), style.Colour("ink"), 0.5f); }

std::string ScoreFrame(const Style& style) {
  Picture picture(154, 180, false);
  picture.Fill(Vertical(style.Colour("indigo"), style.Colour("night"), 0, 180));
  Stars(picture, style, 83, 14, 0, 0, 154, 180);
  GlassPanel(picture, style, 4, 8, 146, 164, 10);
  Caption(picture, style, style.Label("music.score"), 16, 38, 13, Solid(style.Colour("lavender")), true);
  Caption(picture, style, style.Label("music.gauge"), 16, 88, 13, Solid(style.Colour("lavender")), true);
  Mask wells = picture.NewMask();
  wells.Rect(14, 56, 126, 28, 6).Rect(18, 104, 118, 52, 6);
  picture.Fill(wells, Solid(Well(style)));
  Mask rims = picture.NewMask();
  rims.Rect(14, 56, 126, 28, 6).Rect(18, 104, 118, 52, 6);
  Mask inside = picture.NewMask();
  inside.Rect(15, 57, 124, 26, 5).Rect(19, 105, 116, 50, 5);
  rims.Subtract(inside);
  picture.Fill(rims, Solid(style.Colour("violet")), 0.8f);
  return BmpFile(picture);
}

// Segment looks: unlit, then the three lit colours (the first also below a full gauge; the flash cycles them).
Rgb SegmentColour(const Style& style, int look) {
  static const char* const kLooks[] = {"indigo", "lavender", "gold", "cream"};
  return style.Colour(kLooks[look]);
}

std::string Segments(const Style& style, int width, int height, int segments, int looks) {
  Picture picture(width, height * segments * looks, false);
  picture.Fill(Solid(Well(style)));
  for (int block = 0; block < segments * looks; ++block) {
    const int look = block / segments;
    const float y = static_cast<float>(block * height);
    Mask bar = picture.NewMask();
    bar.Rect(1, y + 1, width - 2.0f, height - 2.0f, std::min(width, height) * 0.3f);
    const Rgb colour = SegmentColour(style, looks == 2 && look == 1 ? 2 : look);
    picture.Fill(bar, Vertical(Mix(colour, style.Colour("cream"), look == 0 ? 0 : 0.35f), colour, y, y + height),
                 look == 0 ? 0.5f : 1);
  }
  return BmpFile(picture);
}

std::string ScoreDigits(const Style& style) {
  Picture picture(12, 200, false);
  picture.Fill(Solid(Well(style)));
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    const float y = d * 20.0f;
    Mask m = picture.NewMask();
    m.Text(digit, (12 - Mask::TextWidth(digit, 17, true)) / 2.0f, y + 1, 17, true);
    picture.Fill(m, Vertical(style.Colour("cream"), style.Colour("gold"), y + 3, y + 18));
  }
  return BmpFile(picture);
}

std::string HitLamp(const Style& style) {
  Picture picture(25, 27, false);
  picture.Fill(Vertical(style.Colour("indigo"), style.Colour("night"), -4, 176));
  Mask glow = picture.NewMask();
  glow.Ellipse(12.5f, 13.5f, 10, 10).Blur(3);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.9f, Blend::kAdd);
  Mask star = picture.NewMask();
  star.Star(12.5f, 14, 9);
  picture.Fill(star, Radial(style.Colour("cream"), style.Colour("gold"), 12.5f, 13, 9));
  return BmpFile(picture);
}

// A caption in two blocks: bright, then dim.
std::string CaptionPicture(const Style& style, const std::string& latin, const std::string& label) {
  Picture picture(166, 192, true);
  for (int block = 0; block < 2; ++block) {
    const float y = block * 96.0f, strength = block == 0 ? 1.0f : 0.45f;
    Mask pill = picture.NewMask();
    pill.Rect(8, y + 22, 150, 52, 26);
    picture.Fill(pill, Vertical(style.Colour("violet"), style.Colour("indigo"), y + 22, y + 74), 0.7f * strength);
    const float latinX = 83 - Mask::TextWidth(latin, 18, true) / 2.0f;
    Caption(picture, style, latin, latinX, y + 27, 18, Solid(style.Colour("gold")), true);
    const float labelX = 83 - Mask::TextWidth(label, 14) / 2.0f;
    Caption(picture, style, label, labelX, y + 51, 14, Solid(Mix(style.Colour("mist"), style.Colour("cream"), strength)));
  }
  return PngFile(picture, true);
}

std::string Count(const Style& style) {
  Picture picture(420, 1440, true);
  const std::string& prompt = style.Label("music.continue");
  for (int block = 0; block < 12; ++block) {
    const float y = block * 120.0f;
    GlassPanel(picture, style, 10, y + 6, 400, 108, 10);
    if (block == 0) {
      const float x = 210 - Mask::TextWidth(prompt, 34, true) / 2.0f;
      Caption(picture, style, prompt, x, y + 40, 34, Vertical(style.Colour("cream"), style.Colour("gold"), y + 44, y + 76),
              true);
      continue;
    }
    Caption(picture, style, prompt, 28, y + 16, 18, Solid(style.Colour("lavender")), true);
    const std::string number = std::to_string(11 - block);
    const float x = 260 - Mask::TextWidth(number, 72, true) / 2.0f;
    Caption(picture, style, number, x, y + 22, 72, Vertical(style.Colour("cream"), style.Colour("gold"), y + 30, y + 96),
            true);
  }
  return PngFile(picture, true);
}

std::string CountKeys(const Style& style) {
  Picture picture(250, 100, true);
  GlassPanel(picture, style, 4, 4, 242, 92, 10);
  Caption(picture, style, style.Label("music.yes"), 24, 22, 16, Solid(style.Colour("gold")), true);
  Caption(picture, style, style.Label("music.no"), 24, 56, 16, Solid(style.Colour("cream")), true);
  return PngFile(picture, true);
}

// The frame around the stage: a gold rail with a faint violet shade behind it.
std::string FramePiece(const Style& style, int width, int height, bool across) {
  Picture picture(width, height, true);
  Mask shade = picture.NewMask();
  shade.Rect(0, 0, static_cast<float>(width), static_cast<float>(height));
  picture.Fill(shade, across ? Vertical(style.Colour("indigo"), style.Colour("night"), 0, static_cast<float>(height))
                             : Horizontal(style.Colour("indigo"), style.Colour("night"), 0, static_cast<float>(width)),
               0.55f);
  Mask rail = picture.NewMask();
  if (across)
    rail.Line(0, height / 2.0f, static_cast<float>(width), height / 2.0f, 1.6f);
  else
    rail.Line(width / 2.0f, 0, width / 2.0f, static_cast<float>(height), 1.6f);
  for (float at = 24; at < (across ? width : height); at += 48) {
    if (across)
      rail.Star(at, height / 2.0f, 5);
    else
      rail.Star(width / 2.0f, at, 6);
  }
  picture.Fill(rail, Solid(style.Colour("gold")), 0.9f);
  return PngFile(picture, true);
}

std::string StandardBack(const Style& style, int index) {
  Picture picture(640, 300, false);
  NightSky(picture, style, 300 + static_cast<std::uint32_t>(index));
  Mask hills = picture.NewMask();
  hills.Below([index](float x) { return 230 + 18 * std::sin(x / 90.0f + index * 1.7f) + 8 * std::sin(x / 31.0f); }, 300);
  picture.Fill(hills, Vertical(style.Colour("indigo"), style.Colour("ink"), 210, 300));
  return PngFile(picture, false);
}

std::string Voice(const std::string& dataFolder, const std::string& name) {
  return OggFile(Render(ReadScore(dataFolder + "/sounds/" + name + ".txt"), 0.7f), 0.4f);
}

}  // namespace

void AddMusicPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  const auto add = [&](const std::string& name, std::function<std::string()> make) {
    assets.push_back({name, Place::kMain, std::move(make)});
  };
  add("SongCurtain.png", [&style] { return Curtain(style); });
  add("SongSheet.bmp", [&style] { return Sheet(style); });
  add("SongNote.png", [&style] { return Notes(style); });
  add("SongAlphabet.png", [&style] { return Alphabet(style); });
  add("SongGclef.png", [&style] { return Clef(style); });
  add("SongScoreFrame.bmp", [&style] { return ScoreFrame(style); });
  add("SongPopLarge.bmp", [&style] { return Segments(style, 19, 22, 5, 4); });
  add("SongPopSmall.bmp", [&style] { return Segments(style, 8, 11, 10, 2); });
  add("SongScore.bmp", [&style] { return ScoreDigits(style); });
  add("SongHitLamp.bmp", [&style] { return HitLamp(style); });
  add("SongCapAuto.png", [&style] { return CaptionPicture(style, "AUTO PLAY", style.Label("music.auto")); });
  add("SongCapDemo.png", [&style] { return CaptionPicture(style, "DEMO PLAY", style.Label("music.demo")); });
  add("SongCount.png", [&style] { return Count(style); });
  add("SongCountYN.png", [&style] { return CountKeys(style); });
  add("SongFrameTop.png", [&style] { return FramePiece(style, 576, 16, true); });
  add("SongFrameBottom.png", [&style] { return FramePiece(style, 576, 16, true); });
  add("SongFrameLeft.png", [&style] { return FramePiece(style, 32, 300, false); });
  add("SongFrameRight.png", [&style] { return FramePiece(style, 32, 300, false); });
  for (int i = 0; i < 3; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "SongBG00%d.png", i);
    add(name, [&style, i] { return StandardBack(style, i); });
  }
  for (int n = 1; n <= 5; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "SysVoice05_%02d", n);
    add(std::string(name) + ".ogg", [folder = context.dataFolder, voice = std::string(name)] { return Voice(folder, voice); });
  }
}

}  // namespace mkdemo
