#include "tools/mkdemo/subwinpics.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdio>
#include <string>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr int kMesW = 587, kMesH = 147;
constexpr float kPi = 3.14159265f;

using Icon = std::function<void(Mask&, float, float)>;

// A rounded outline of the given width inside the rectangle, painted.
void Rim(Picture& picture, float x, float y, float w, float h, float radius, float width, const Paint& paint,
         float opacity = 1) {
  Mask rim = picture.NewMask();
  rim.Rect(x, y, w, h, radius);
  Mask inner = picture.NewMask();
  inner.Rect(x + width, y + width, w - 2 * width, h - 2 * width, std::max(0.0f, radius - width));
  rim.Subtract(inner);
  picture.Fill(rim, paint, opacity);
}

// A small gold star with its glow.
void GoldStar(Picture& picture, const Style& style, float cx, float cy, float r, float turn = 0) {
  Mask star = picture.NewMask();
  star.Star(cx, cy, r, turn);
  Mask glow = picture.NewMask();
  glow.CopyFrom(star);
  glow.Grow(1).Blur(2);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.6f, Blend::kAdd);
  picture.Fill(star, Radial(style.Colour("cream"), style.Colour("gold"), cx, cy - r * 0.3f, r));
}

// The back: deep night glass with a few stars in it and a darker strip under the buttons.
std::string MesBack(const Style& style) {
  Picture picture(kMesW, kMesH, true);
  Mask body = picture.NewMask();
  body.Rect(2, 2, kMesW - 4, kMesH - 4, 12);
  picture.Fill(body, Vertical(style.Colour("indigo"), style.Colour("night"), 0, kMesH), 0.92f);
  Mask nebula = picture.NewMask();
  nebula.Ellipse(kMesW * 0.7f, kMesH * 0.35f, 160, 40).Blur(24);
  Mask outside = picture.NewMask();
  outside.Plane().Fill(255);
  outside.Subtract(body);
  nebula.Subtract(outside);
  picture.Fill(nebula, Solid(style.Colour("violet")), 0.25f, Blend::kAdd);
  Stars(picture, style, 587, 40, 14, 8, kMesW - 28, kMesH - 30);
  Mask strip = picture.NewMask();
  strip.Rect(236, 121, 116, 24, 8);
  picture.Fill(strip, Solid(style.Colour("night")), 0.6f);
  return PngFile(picture, true);
}

// The frame: a lavender rim, a fine gold line inside it, a shine along the top and stars in two corners.
std::string MesFrame(const Style& style) {
  Picture picture(kMesW, kMesH, true);
  Rim(picture, 1, 1, kMesW - 2, kMesH - 2, 12, 2, Vertical(style.Colour("lavender"), style.Colour("violet"), 0, kMesH));
  Rim(picture, 6, 6, kMesW - 12, kMesH - 12, 8, 1, Solid(style.Colour("gold")), 0.45f);
  Mask shine = picture.NewMask();
  shine.Line(24, 3.5f, kMesW - 24, 3.5f, 1.2f);
  picture.Fill(shine, Horizontal(style.Colour("cream"), style.Colour("lavender"), 0, kMesW), 0.45f);
  GoldStar(picture, style, 12, 12, 7, 0.05f);
  GoldStar(picture, style, kMesW - 12, kMesH - 12, 7, 0.12f);
  return PngFile(picture, true);
}

// Seven frames of a star that swells, turns and dims again.
std::string Wait(const Style& style) {
  constexpr int kFrames = 7;
  Picture picture(20, 20 * kFrames, true);
  for (int k = 0; k < kFrames; ++k) {
    const float phase = std::sin(2 * kPi * k / kFrames);
    const float cy = 20.0f * k + 10;
    Mask glow = picture.NewMask();
    glow.Ellipse(10, cy, 7, 7).Blur(3);
    picture.Fill(glow, Solid(style.Colour("amber")), 0.35f + 0.25f * phase, Blend::kAdd);
    GoldStar(picture, style, 10, cy, 6.5f + 1.5f * phase, k / 35.0f);
  }
  return PngFile(picture, true);
}

std::string SelWindow(const Style& style) {
  const int w = 540, h = 120;
  Picture picture(w, h, true);
  Mask body = picture.NewMask();
  body.Rect(1, 1, w - 2, h - 2, 12);
  picture.Fill(body, Vertical(style.Colour("violet"), style.Colour("night"), 0, h), 0.88f);
  Rim(picture, 1, 1, w - 2, h - 2, 12, 1.5f, Vertical(style.Colour("lavender"), style.Colour("violet"), 0, h));
  Mask shine = picture.NewMask();
  shine.Line(20, 3.5f, w - 20, 3.5f, 1.2f);
  picture.Fill(shine, Horizontal(style.Colour("cream"), style.Colour("lavender"), 0, w), 0.4f);
  GoldStar(picture, style, w - 14, 12, 6, 0.1f);
  return PngFile(picture, true);
}

std::string SelCursor(const Style& style) {
  const int w = 520, h = 20;
  Picture picture(w, h, true);
  Mask bar = picture.NewMask();
  bar.Rect(0, 0, w, h, 6);
  picture.Fill(bar, Horizontal(style.Colour("gold"), style.Colour("rose"), 0, w), 0.35f);
  Rim(picture, 0, 0, w, h, 6, 1, Horizontal(style.Colour("gold"), style.Colour("violet"), 0, w), 0.75f);
  return PngFile(picture, true);
}

std::string BacklogBar(const Style& style) {
  Picture picture(20, 340, true);
  Mask track = picture.NewMask();
  track.Rect(7, 2, 6, 336, 3);
  picture.Fill(track, Solid(style.Colour("night")), 0.8f);
  Rim(picture, 7, 2, 6, 336, 3, 1, Solid(style.Colour("lavender")), 0.6f);
  return PngFile(picture, true);
}

std::string BacklogPos(const Style& style) {
  Picture picture(18, 18, true);
  Mask disc = picture.NewMask();
  disc.Ellipse(9, 9, 8, 8);
  picture.Fill(disc, Radial(style.Colour("gold"), style.Colour("amber"), 7, 6, 9));
  Mask star = picture.NewMask();
  star.Star(9, 9.5f, 4.5f);
  picture.Fill(star, Solid(style.Colour("cream")));
  return PngFile(picture, true);
}

std::string CalSlash(const Style& style) {
  Picture picture(19, 26, true);
  Mask slash = picture.NewMask();
  slash.Line(13, 4, 6, 21, 2.2f);
  Mask shadow = picture.NewMask();
  shadow.CopyFrom(slash);
  shadow.Blur(1);
  picture.Fill(shadow, Solid(style.Colour("ink")), 0.85f, Blend::kOver, 1, 1);
  picture.Fill(slash, Vertical(style.Colour("cream"), style.Colour("gold"), 4, 21));
  return PngFile(picture, true);
}

std::string CalColon(const Style& style) {
  Picture picture(11, 21, true);
  Mask dots = picture.NewMask();
  dots.Ellipse(5, 6.5f, 1.9f, 1.9f).Ellipse(5, 14.5f, 1.9f, 1.9f);
  Mask shadow = picture.NewMask();
  shadow.CopyFrom(dots);
  shadow.Blur(1);
  picture.Fill(shadow, Solid(style.Colour("ink")), 0.85f, Blend::kOver, 1, 1);
  picture.Fill(dots, Solid(style.Colour("gold")));
  return PngFile(picture, true);
}

// A glass capsule with a star and the place's name.
std::string PlacePlate(const Style& style, const std::string& name) {
  const int w = 120, h = 32;
  Picture picture(w, h, true);
  Mask body = picture.NewMask();
  body.Rect(1, 1, w - 2, h - 2, 15);
  picture.Fill(body, Horizontal(style.Colour("violet"), style.Colour("night"), 0, w), 0.85f);
  Rim(picture, 1, 1, w - 2, h - 2, 15, 1, Horizontal(style.Colour("gold"), style.Colour("violet"), 0, w), 0.8f);
  GoldStar(picture, style, 17, 16, 6);
  const float x = 30 + (w - 36 - Mask::TextWidth(name, 15)) / 2.0f;
  Caption(picture, style, name, x, 8, 15, Solid(style.Colour("cream")));
  return PngFile(picture, true);
}

// A menu button: its label after a small star; the three focus frames carry a glint at three places along it.
std::string MenuButton(const Style& style, const std::string& label) {
  const int w = 170, h = 22;
  struct Block {
    ButtonState state;
    float glint;  // where along the button, 0 for none
  };
  const Block blocks[] = {{ButtonState::kNormal, 0},  {ButtonState::kFocus, 0.25f}, {ButtonState::kFocus, 0.5f},
                          {ButtonState::kFocus, 0.75f}, {ButtonState::kDown, 0},   {ButtonState::kDisabled, 0}};
  Picture picture(w, h * static_cast<int>(std::size(blocks)), true);
  const Icon icon = [&label](Mask& m, float x, float y) {
    m.Star(x + 14, y + 11, 5, 0.05f);
    m.Text(label, x + 26, y + 4, 14, true);
  };
  float top = 0;
  for (const Block& b : blocks) {
    ButtonFace(picture, style, b.state, 0, top, w, h, icon);
    if (b.glint > 0) {
      Mask glint = picture.NewMask();
      const float gx = w * b.glint, gy = top + 4;
      glint.Line(gx - 6, gy, gx + 6, gy, 0.9f).Line(gx, gy - 3, gx, gy + 3, 0.9f);
      glint.Blur(1);
      picture.Fill(glint, Solid(style.Colour("cream")), 0.9f, Blend::kAdd);
    }
    top += h;
  }
  return PngFile(picture, true);
}

const std::vector<ButtonState> kFourStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown,
                                              ButtonState::kDisabled};
const std::vector<ButtonState> kFiveStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kSelected,
                                              ButtonState::kDown, ButtonState::kDisabled};
const std::vector<ButtonState> kThreeStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown};

}  // namespace

void AddSubWinPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  const auto add = [&assets](const std::string& name, std::function<std::string()> make) {
    assets.push_back({name, Place::kMain, std::move(make)});
  };
  const auto button = [&](const char* name, int w, int h, const std::vector<ButtonState>& states, Icon icon) {
    add(name, [&style, w, h, &states, icon] { return ButtonStrip(style, w, h, states, icon); });
  };
  add("MesBack.png", [&style] { return MesBack(style); });
  add("MesFrame.png", [&style] { return MesFrame(style); });
  add("MesWait.png", [&style] { return Wait(style); });
  // Hide: an eye; skip: two arrow heads; auto: an arrow head after a dot.
  button("MesHide.png", 19, 18, kFourStates, [](Mask& m, float x, float y) {
    m.Ring(x + 9.5f, y + 9, 3.4f, 1.2f).Ellipse(x + 9.5f, y + 9, 1.3f, 1.3f);
  });
  button("MesSkip.png", 19, 18, kFiveStates, [](Mask& m, float x, float y) {
    m.Triangle(x + 5, y + 5, x + 9.5f, y + 9, x + 5, y + 13).Triangle(x + 9.5f, y + 5, x + 14, y + 9, x + 9.5f, y + 13);
  });
  button("MesAuto.png", 19, 18, kFiveStates, [](Mask& m, float x, float y) {
    m.Ellipse(x + 6, y + 9, 1.5f, 1.5f).Triangle(x + 9, y + 5, x + 14, y + 9, x + 9, y + 13);
  });
  add("SelWindow.png", [&style] { return SelWindow(style); });
  add("SelCursor.png", [&style] { return SelCursor(style); });
  add("BacklogBar.png", [&style] { return BacklogBar(style); });
  add("BacklogPos.png", [&style] { return BacklogPos(style); });
  button("BacklogUp.png", 20, 20, kThreeStates,
         [](Mask& m, float x, float y) { m.Triangle(x + 10, y + 6, x + 15, y + 13, x + 5, y + 13); });
  button("BacklogDown.png", 20, 20, kThreeStates,
         [](Mask& m, float x, float y) { m.Triangle(x + 5, y + 7, x + 15, y + 7, x + 10, y + 14); });
  add("CalDateNum.png", [&style] { return DigitStrip(style, 26, 24, 22); });
  add("CalTimeNum.png", [&style] { return DigitStrip(style, 22, 26, 17); });
  add("CalSlash.png", [&style] { return CalSlash(style); });
  add("CalColon.png", [&style] { return CalColon(style); });
  for (int i = 1; i <= 6; ++i) {
    char name[20];
    std::snprintf(name, sizeof name, "AvgPlace%02d.png", i);
    add(name, [&style, i] { return PlacePlate(style, style.Label("place" + std::to_string(i))); });
  }
  for (int i = 1; i <= 9; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Menu%02d.png", i);
    add(name, [&style, i] { return MenuButton(style, style.Label("menu" + std::to_string(i))); });
  }
}

}  // namespace mkdemo
