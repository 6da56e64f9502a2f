#include "tools/mkdemo/look.h"

#include <algorithm>
#include <cmath>

#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

void Stars(Picture& picture, const Style& style, std::uint32_t seed, int count, float x, float y, float w, float h) {
  Random random(seed);
  Mask faint = picture.NewMask(), bright = picture.NewMask(), glints = picture.NewMask();
  for (int i = 0; i < count; ++i) {
    const float sx = x + random.Range(0, w), sy = y + random.Range(0, h);
    const float size = random.Unit();
    if (size < 0.75f) {
      faint.Ellipse(sx, sy, 0.6f + size, 0.6f + size);
    } else {
      bright.Ellipse(sx, sy, 1.1f + size, 1.1f + size);
      if (size > 0.93f) {
        const float arm = 4 + 6 * (size - 0.93f) / 0.07f;
        glints.Line(sx - arm, sy, sx + arm, sy, 0.8f).Line(sx, sy - arm, sx, sy + arm, 0.8f);
      }
    }
  }
  Mask halo = picture.NewMask();
  halo.CopyFrom(bright);
  halo.Blur(2);
  picture.Fill(halo, Solid(style.Colour("lavender")), 0.7f, Blend::kAdd);
  picture.Fill(faint, Solid(style.Colour("mist")), 0.55f);
  picture.Fill(bright, Solid(style.Colour("cream")));
  picture.Fill(glints, Solid(style.Colour("gold")), 0.8f, Blend::kAdd);
}

void NightSky(Picture& picture, const Style& style, std::uint32_t seed) {
  const float w = static_cast<float>(picture.Width()), h = static_cast<float>(picture.Height());
  picture.Fill(Vertical(style.Colour("indigo"), style.Colour("night"), 0, h));
  Random random(seed);
  // Nebulae: wide blurred clouds of violet and a touch of rose, added as light.
  for (int i = 0; i < 3; ++i) {
    Mask cloud = picture.NewMask();
    // One declaration per draw: the order of the draws must not be left to the compiler.
    const float cx = random.Range(0.1f, 0.9f) * w, cy = random.Range(0.15f, 0.7f) * h;
    const float rx = random.Range(0.25f, 0.45f) * w, ry = random.Range(0.08f, 0.16f) * h;
    cloud.Ellipse(cx, cy, rx, ry);
    cloud.Blur(static_cast<int>(std::max(4.0f, w / 24)));
    picture.Fill(cloud, Solid(style.Colour(i == 1 ? "rose" : "violet")), i == 1 ? 0.16f : 0.3f, Blend::kAdd);
  }
  Stars(picture, style, seed * 31 + 7, static_cast<int>(w * h / 1400), 0, 0, w, h * 0.85f);
}

void Glitter(Picture& picture, const Paint& paint, std::uint32_t seed, float x, float top, float bottom, float spread,
             float opacity) {
  Random random(seed);
  Mask strokes = picture.NewMask();
  for (float y = top + 4; y < bottom; y += 3.5f) {
    const float depth = (y - top) / (bottom - top);
    const float centre = x + random.Range(-1, 1) * spread * (0.3f + depth);
    const float length = random.Range(6, 22) * (0.5f + depth);
    strokes.Line(centre - length / 2, y, centre + length / 2, y, 1.2f);
  }
  strokes.Blur(1);
  picture.Fill(strokes, paint, opacity, Blend::kAdd);
}

void Moon(Picture& picture, const Style& style, float cx, float cy, float r) {
  Mask glow = picture.NewMask();
  glow.Ellipse(cx, cy, 1.7f * r, 1.7f * r).Blur(static_cast<int>(r / 2));
  picture.Fill(glow, Solid(style.Colour("gold")), 0.35f, Blend::kAdd);
  Mask moon = picture.NewMask();
  moon.Ellipse(cx, cy, r, r);
  Mask bite = picture.NewMask();
  bite.Ellipse(cx + 0.45f * r, cy - 0.3f * r, 0.9f * r, 0.9f * r);
  moon.Subtract(bite);
  picture.Fill(moon, Radial(style.Colour("cream"), style.Colour("gold"), cx - 0.35f * r, cy + 0.2f * r, 1.1f * r));
}

float Logo(Picture& picture, const Style& style, float cx, float y, int pixels) {
  const std::string& word = style.Label("logo");
  const float tracking = pixels * 0.14f;
  float width = -tracking;
  for (char c : word) width += Mask::TextWidth(std::string(1, c), pixels, true) + tracking;
  Mask letters = picture.NewMask();
  float x = cx - width / 2;
  for (char c : word) {
    letters.Text(std::string(1, c), x, y, pixels, true);
    x += Mask::TextWidth(std::string(1, c), pixels, true) + tracking;
  }
  Mask glow = picture.NewMask();
  glow.CopyFrom(letters);
  glow.Blur(std::max(2, pixels / 8));
  picture.Fill(glow, Solid(style.Colour("amber")), 0.9f, Blend::kAdd);
  Mask shadow = picture.NewMask();
  shadow.CopyFrom(letters);
  shadow.Blur(1);
  picture.Fill(shadow, Solid(style.Colour("ink")), 0.8f, Blend::kOver, std::max(1, pixels / 24), std::max(1, pixels / 20));
  const float top = y + pixels * 0.1f, bottom = y + pixels * 1.05f;
  picture.Fill(letters, Vertical(style.Colour("cream"), style.Colour("gold"), top, bottom));
  // The staff under the word: five fine lines with a star where they begin.
  const float staffTop = y + pixels * 1.18f, gap = std::max(1.5f, pixels / 22.0f);
  Mask staff = picture.NewMask();
  for (int i = 0; i < 5; ++i) staff.Line(cx - width / 2, staffTop + i * gap, cx + width / 2, staffTop + i * gap, 0.7f);
  picture.Fill(staff, Horizontal(style.Colour("gold"), style.Colour("lavender"), cx - width / 2, cx + width / 2), 0.7f);
  Mask star = picture.NewMask();
  star.Star(cx - width / 2 - gap * 2.5f, staffTop + 2 * gap, gap * 3.2f);
  picture.Fill(star, Solid(style.Colour("gold")));
  return staffTop + 4 * gap - y + 1;
}

void Caption(Picture& picture, const Style& style, const std::string& text, float x, float y, int pixels,
             const Paint& paint, bool bold) {
  Mask letters = picture.NewMask();
  letters.Text(text, x, y, pixels, bold);
  Mask shadow = picture.NewMask();
  shadow.CopyFrom(letters);
  shadow.Blur(1);
  picture.Fill(shadow, Solid(style.Colour("ink")), 0.85f, Blend::kOver, 1, 1);
  picture.Fill(letters, paint);
}

void GlassPanel(Picture& picture, const Style& style, float x, float y, float w, float h, float radius) {
  Mask body = picture.NewMask();
  body.Rect(x, y, w, h, radius);
  picture.Fill(body, Vertical(style.Colour("violet"), style.Colour("indigo"), y, y + h), 0.5f);
  Mask rim = picture.NewMask();
  rim.Rect(x, y, w, h, radius);
  Mask inner = picture.NewMask();
  inner.Rect(x + 1, y + 1, w - 2, h - 2, std::max(0.0f, radius - 1));
  rim.Subtract(inner);
  picture.Fill(rim, Vertical(style.Colour("lavender"), style.Colour("violet"), y, y + h), 0.8f);
  Mask shine = picture.NewMask();
  shine.Line(x + radius, y + 2.5f, x + w - radius, y + 2.5f, 1.2f);
  picture.Fill(shine, Horizontal(style.Colour("cream"), style.Colour("lavender"), x, x + w), 0.35f);
}

void ButtonFace(Picture& picture, const Style& style, ButtonState state, float x, float y, float w, float h,
                const std::function<void(Mask&, float, float)>& icon) {
  struct Look {
    const char* top;
    const char* bottom;
    float opacity;
    const char* rim;
    const char* ink;
    float inkOpacity;
    float glow;
    float shift;
  };
  static const Look kLooks[] = {
      {"violet", "indigo", 0.95f, "lavender", "cream", 1.0f, 0.0f, 0},     // normal
      {"lavender", "violet", 1.0f, "gold", "gold", 1.0f, 0.6f, 0},        // focus
      {"gold", "amber", 1.0f, "cream", "night", 1.0f, 0.4f, 0},           // selected
      {"indigo", "night", 1.0f, "gold", "gold", 1.0f, 0.0f, 1},           // down
      {"indigo", "indigo", 0.6f, "violet", "mist", 0.45f, 0.0f, 0},       // disabled
  };
  const Look& look = kLooks[static_cast<int>(state)];
  const float inset = std::max(1.0f, std::min(w, h) * 0.06f);
  const float radius = std::min(w, h) * 0.3f;
  if (look.glow > 0) {
    Mask glow = picture.NewMask();
    glow.Rect(x + inset, y + inset, w - 2 * inset, h - 2 * inset, radius);
    glow.Blur(std::max(1, static_cast<int>(inset)));
    picture.Fill(glow, Solid(style.Colour("gold")), look.glow);
  }
  Mask body = picture.NewMask();
  body.Rect(x + inset, y + inset, w - 2 * inset, h - 2 * inset, radius);
  picture.Fill(body, Vertical(style.Colour(look.top), style.Colour(look.bottom), y, y + h), look.opacity);
  Mask rim = picture.NewMask();
  rim.Rect(x + inset, y + inset, w - 2 * inset, h - 2 * inset, radius);
  Mask inner = picture.NewMask();
  inner.Rect(x + inset + 1, y + inset + 1, w - 2 * inset - 2, h - 2 * inset - 2, std::max(0.0f, radius - 1));
  rim.Subtract(inner);
  picture.Fill(rim, Solid(style.Colour(look.rim)), state == ButtonState::kDisabled ? 0.4f : 0.9f);
  Mask symbol = picture.NewMask();
  icon(symbol, x, y + look.shift);
  picture.Fill(symbol, Solid(style.Colour(look.ink)), look.inkOpacity);
}

std::string ButtonStrip(const Style& style, int w, int h, const std::vector<ButtonState>& states,
                        const std::function<void(Mask&, float, float)>& icon) {
  Picture picture(w, h * static_cast<int>(states.size()), true);
  int block = 0;
  for (ButtonState state : states) ButtonFace(picture, style, state, 0, static_cast<float>(h * block++), w, h, icon);
  return PngFile(picture, true);
}

const std::vector<ButtonState> kPlainButtonStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown,
                                                   ButtonState::kDisabled};

std::string LabelButton(const Style& style, int w, int h, const std::vector<ButtonState>& states,
                        const std::string& label, int pixels) {
  const float x = (static_cast<float>(w) - static_cast<float>(Mask::TextWidth(label, pixels, true))) / 2;
  const float y = (static_cast<float>(h) - static_cast<float>(pixels)) / 2 - 1;
  return ButtonStrip(style, w, h, states, [&](Mask& m, float ox, float oy) { m.Text(label, ox + x, oy + y, pixels, true); });
}

std::string DigitStrip(const Style& style, int w, int h, int pixels) {
  Picture picture(w, h * 10, true);
  for (int d = 0; d < 10; ++d) {
    const std::string digit(1, static_cast<char>('0' + d));
    const float x = (w - Mask::TextWidth(digit, pixels, true)) / 2.0f;
    const float y = h * d + (h - pixels) / 2.0f;
    Caption(picture, style, digit, x, y, pixels, Vertical(style.Colour("cream"), style.Colour("gold"), y + 2, y + pixels),
            true);
  }
  return PngFile(picture, true);
}

void ScreenTitle(Picture& picture, const Style& style, const std::string& title, const std::string& subtitle, float x,
                 float y) {
  Caption(picture, style, title, x, y, 26, Vertical(style.Colour("cream"), style.Colour("gold"), y + 2, y + 26), true);
  Caption(picture, style, subtitle, x + 4 + static_cast<float>(Mask::TextWidth(title, 26, true)), y + 11, 13,
          Solid(style.Colour("lavender")));
}

}  // namespace mkdemo
