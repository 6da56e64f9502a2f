#include "tools/mkdemo/soundroompics.h"

#include <cmath>
#include <cstdio>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr int kTracks = 9;
constexpr float kListX = 47, kListY = 79, kRowStep = 28, kRowHeight = 21, kRowWidth = 280;

void Record(Picture& picture, const Style& style, float cx, float cy, float r) {
  Mask glow = picture.NewMask();
  glow.Ellipse(cx, cy, r + 18, r + 18).Blur(16);
  picture.Fill(glow, Solid(style.Colour("violet")), 0.7f, Blend::kAdd);
  Mask disc = picture.NewMask();
  disc.Ellipse(cx, cy, r, r);
  picture.Fill(disc, Radial(style.Colour("indigo"), style.Colour("night"), cx, cy, r));
  Mask grooves = picture.NewMask();
  for (float g = r * 0.42f; g < r - 3; g += 4.5f) grooves.Ring(cx, cy, g, 0.8f);
  picture.Fill(grooves, Solid(style.Colour("lavender")), 0.25f);
  // Light across the disc, as from a lamp at the upper left.
  Mask sheen = picture.NewMask();
  const float wedge[] = {cx, cy, cx - r * 1.1f, cy - r * 0.5f, cx - r * 0.5f, cy - r * 1.1f};
  sheen.Polygon(wedge, 3);
  const float opposite[] = {cx, cy, cx + r * 1.1f, cy + r * 0.5f, cx + r * 0.5f, cy + r * 1.1f};
  sheen.Polygon(opposite, 3);
  Mask inside = picture.NewMask();
  inside.Ellipse(cx, cy, r - 1, r - 1);
  Mask outside = picture.NewMask();
  outside.Plane().Fill(255);
  outside.Subtract(inside);
  sheen.Subtract(outside).Blur(3);
  picture.Fill(sheen, Solid(style.Colour("cream")), 0.12f, Blend::kAdd);
  Mask label = picture.NewMask();
  label.Ellipse(cx, cy, r * 0.34f, r * 0.34f);
  picture.Fill(label, Radial(style.Colour("gold"), style.Colour("amber"), cx - r * 0.1f, cy - r * 0.1f, r * 0.34f));
  Mask star = picture.NewMask();
  star.Star(cx, cy, r * 0.2f, 0.05f);
  picture.Fill(star, Solid(style.Colour("cream")));
  Mask hole = picture.NewMask();
  hole.Ellipse(cx, cy, 2.5f, 2.5f);
  picture.Fill(hole, Solid(style.Colour("night")));
}

std::string Base(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 23);
  Record(picture, style, 500, 170, 98);
  const std::string& title = style.Label("soundroom.title");
  Caption(picture, style, title, 40, 22, 26, Vertical(style.Colour("cream"), style.Colour("gold"), 24, 48), true);
  Caption(picture, style, style.Label("soundroom.subtitle"), 44 + Mask::TextWidth(title, 26, true), 33, 13,
          Solid(style.Colour("lavender")));
  // The list: a glass frame, with faint lines between the rows.
  GlassPanel(picture, style, kListX - 11, kListY - 12, kRowWidth + 22, kRowStep * (kTracks - 1) + kRowHeight + 24, 10);
  Mask rules = picture.NewMask();
  for (int i = 1; i < kTracks; ++i) {
    const float y = kListY + i * kRowStep - (kRowStep - kRowHeight) / 2.0f;
    rules.Line(kListX + 4, y, kListX + kRowWidth - 4, y, 0.8f);
  }
  picture.Fill(rules, Horizontal(style.Colour("lavender"), style.Colour("violet"), kListX, kListX + kRowWidth), 0.35f);
  // The player: buttons at y 336, numbers at y 376.
  GlassPanel(picture, style, 408, 322, 184, 80, 10);
  Caption(picture, style, style.Label("soundroom.track"), 430, 376, 14, Solid(style.Colour("mist")));
  Caption(picture, style, style.Label("soundroom.minutes"), 527, 376, 14, Solid(style.Colour("mist")));
  Caption(picture, style, style.Label("soundroom.seconds"), 570, 376, 14, Solid(style.Colour("mist")));
  Caption(picture, style, style.Label("soundroom.hint"), 40, 350, 13, Solid(style.Colour("mist")));
  return JpegFile(picture, 92);
}

std::string TrackNames(const Style& style) {
  Picture picture(static_cast<int>(kRowWidth), static_cast<int>(kRowStep * (kTracks - 1) + kRowHeight), true);
  for (int i = 0; i < kTracks; ++i) {
    const float y = i * kRowStep + 2;
    char number[4];
    std::snprintf(number, sizeof number, "%02d", i + 1);
    Caption(picture, style, number, 10, y + 1, 14, Solid(style.Colour("gold")), true);
    Caption(picture, style, style.Label("track" + std::to_string(i + 1)), 40, y, 16, Solid(style.Colour("cream")));
  }
  return PngFile(picture, true);
}

std::string Select(const Style& style) {
  Picture picture(static_cast<int>(kRowWidth), static_cast<int>(kRowHeight), true);
  Mask bar = picture.NewMask();
  bar.Rect(0, 0, kRowWidth, kRowHeight, 6);
  picture.Fill(bar, Horizontal(style.Colour("gold"), style.Colour("rose"), 0, kRowWidth), 0.32f);
  Mask marker = picture.NewMask();
  marker.Rect(2, 3, 3, kRowHeight - 6, 1.5f);
  picture.Fill(marker, Solid(style.Colour("gold")));
  Mask rim = picture.NewMask();
  rim.Rect(0, 0, kRowWidth, kRowHeight, 6);
  Mask inner = picture.NewMask();
  inner.Rect(1, 1, kRowWidth - 2, kRowHeight - 2, 5);
  rim.Subtract(inner);
  picture.Fill(rim, Horizontal(style.Colour("gold"), style.Colour("violet"), 0, kRowWidth), 0.7f);
  return PngFile(picture, true);
}

using Icon = std::function<void(Mask&, float, float)>;

const std::vector<ButtonState> kFiveStates = {ButtonState::kNormal, ButtonState::kFocus,
                                                            ButtonState::kSelected, ButtonState::kDown,
                                                            ButtonState::kDisabled};

std::string Digits(const Style& style) {
  Picture picture(8, 140, true);
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    const float x = (8 - Mask::TextWidth(digit, 13, true)) / 2.0f;
    Mask m = picture.NewMask();
    m.Text(digit, x, d * 14.0f, 13, true);
    picture.Fill(m, Vertical(style.Colour("cream"), style.Colour("gold"), d * 14.0f + 2, d * 14.0f + 12));
  }
  return PngFile(picture, true);
}

std::string Exit(const Style& style) {
  const std::string& text = style.Label("exit");
  const float textX = 56 - (Mask::TextWidth(text, 15, true) - 14) / 2.0f;
  return ButtonStrip(style, 112, 32, {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown, ButtonState::kDisabled},
                [&](Mask& m, float x, float y) {
                  m.Triangle(x + textX - 16, y + 16, x + textX - 8, y + 10.5f, x + textX - 8, y + 21.5f);
                  m.Text(text, x + textX, y + 7, 15, true);
                });
}

}  // namespace

void AddSoundRoomPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  const auto icon = [&style](const char* name, int size, Icon draw) {
    return Asset{name, Place::kMain, [&style, size, draw] { return ButtonStrip(style, size, size, kFiveStates, draw); }};
  };
  assets.push_back({"SoundBase.jpg", Place::kMain, [&style] { return Base(style); }});
  assets.push_back({"SoundTrackName.png", Place::kMain, [&style] { return TrackNames(style); }});
  assets.push_back({"SoundSelect.png", Place::kMain, [&style] { return Select(style); }});
  assets.push_back(icon("SoundBtnBack.png", 21, [](Mask& m, float x, float y) {
    m.Triangle(x + 4.5f, y + 10.5f, x + 10.5f, y + 6, x + 10.5f, y + 15);
    m.Triangle(x + 10, y + 10.5f, x + 16, y + 6, x + 16, y + 15);
  }));
  assets.push_back(icon("SoundBtnPlay.png", 21, [](Mask& m, float x, float y) {
    m.Triangle(x + 7.5f, y + 5.5f, x + 15.5f, y + 10.5f, x + 7.5f, y + 15.5f);
  }));
  assets.push_back(icon("SoundBtnStop.png", 21, [](Mask& m, float x, float y) { m.Rect(x + 6.5f, y + 6.5f, 8, 8, 1); }));
  assets.push_back(icon("SoundBtnNext.png", 21, [](Mask& m, float x, float y) {
    m.Triangle(x + 5, y + 6, x + 11, y + 10.5f, x + 5, y + 15);
    m.Triangle(x + 10.5f, y + 6, x + 16.5f, y + 10.5f, x + 10.5f, y + 15);
  }));
  // Repeat one: a ring with an arrow head and a dot inside; repeat all: the ring with two heads.
  assets.push_back(icon("SoundBtnOneRep.png", 16, [](Mask& m, float x, float y) {
    m.Ring(x + 8, y + 8, 4.2f, 1.4f);
    m.Triangle(x + 10, y + 2.2f, x + 13.4f, y + 4.6f, x + 10, y + 6.6f);
    m.Ellipse(x + 8, y + 8, 1.3f, 1.3f);
  }));
  assets.push_back(icon("SoundBtnAllRep.png", 16, [](Mask& m, float x, float y) {
    m.Ring(x + 8, y + 8, 4.2f, 1.4f);
    m.Triangle(x + 10, y + 2.2f, x + 13.4f, y + 4.6f, x + 10, y + 6.6f);
    m.Triangle(x + 6, y + 13.8f, x + 2.6f, y + 11.4f, x + 6, y + 9.4f);
  }));
  assets.push_back({"SoundTimeNum.png", Place::kMain, [&style] { return Digits(style); }});
  assets.push_back({"CmExit.png", Place::kMain, [&style] { return Exit(style); }});
}

}  // namespace mkdemo
