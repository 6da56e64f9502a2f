#include "tools/mkdemo/systempics.h"

#include <cmath>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

std::string Splash(const Style& style) {
  Picture picture(320, 240, false);
  NightSky(picture, style, 11);
  // A low moon behind the title, and a staff of music drifting across the sky with a few notes on it.
  Moon(picture, style, 262, 52, 20);
  Mask staff = picture.NewMask();
  auto wave = [](float x, int line) { return 178 + 14 * std::sin(x / 52.0f) + line * 5.0f; };
  for (int line = 0; line < 5; ++line)
    for (float x = -4; x < 324; x += 4) staff.Line(x, wave(x, line), x + 4, wave(x + 4, line), 0.8f);
  picture.Fill(staff, Horizontal(style.Colour("lavender"), style.Colour("gold"), 0, 320), 0.55f);
  Mask notes = picture.NewMask();
  static const float kNotes[][2] = {{40, 3}, {78, 1}, {116, 2}, {196, 0}, {236, 2}, {284, 3}};
  for (const auto& n : kNotes) {
    const float y = wave(n[0], 0) + n[1] * 5 - 2.5f + 10;
    notes.Ellipse(n[0], y, 4.2f, 3.2f).Line(n[0] + 3.6f, y, n[0] + 3.6f, y - 17, 1.2f);
  }
  picture.Fill(notes, Solid(style.Colour("cream")), 0.9f);
  const float logoTop = 56;
  const float height = Logo(picture, style, 160, logoTop, 54);
  const std::string& subtitle = style.Label("subtitle");
  Caption(picture, style, subtitle, 160 - Mask::TextWidth(subtitle, 16) / 2.0f, logoTop + height + 8, 16,
          Solid(style.Colour("cream")));
  const std::string& loading = style.Label("splash.loading");
  Caption(picture, style, loading, 312 - Mask::TextWidth(loading, 12), 222, 12, Solid(style.Colour("mist")));
  const std::string& maker = style.Label("maker");
  Caption(picture, style, maker, 8, 222, 12, Solid(style.Colour("mist")));
  return JpegFile(picture, 92);
}

// The classic pointer with its tip at (ox, oy).
void Arrow(Mask& mask, float ox, float oy) {
  static const float kShape[] = {0, 0, 0, 19, 4.6f, 15, 8, 22.5f, 11, 21, 7.8f, 13.8f, 13.5f, 13.8f};
  float xy[14];
  for (int i = 0; i < 7; ++i) xy[2 * i] = ox + 1 + kShape[2 * i], xy[2 * i + 1] = oy + 1 + kShape[2 * i + 1];
  mask.Polygon(xy, 7);
}

// One cell: the shape in cream with a dark outline, and an accent (badge) in a colour of its own.
void CursorCell(Picture& picture, const Style& style, int cell, const std::function<void(Mask&, float)>& shape,
                const std::function<void(Mask&, float)>& badge, const char* badgeColour) {
  const float ox = cell * 32.0f;
  Mask body = picture.NewMask();
  shape(body, ox);
  Mask accent = picture.NewMask();
  if (badge) badge(accent, ox);
  Mask outline = picture.NewMask();
  outline.CopyFrom(body);
  outline.Plane().SaturationAdd(0, 0, &accent.Plane(), 0, 0, picture.Width(), picture.Height());
  outline.Grow(1);
  picture.Fill(outline, Solid(style.Colour("ink")), 0.9f);
  picture.Fill(body, Vertical(style.Colour("cream"), style.Colour("lavender"), 0, 32));
  if (badge) picture.Fill(accent, Solid(style.Colour(badgeColour)));
}

std::string Cursor(const Style& style) {
  Picture picture(256, 32, true);
  const auto arrow = [](Mask& m, float ox) { Arrow(m, ox, 0); };
  CursorCell(picture, style, 0, arrow, [](Mask& m, float ox) { m.Star(ox + 4.5f, 9.5f, 2.6f); }, "gold");
  CursorCell(picture, style, 1, arrow, [](Mask& m, float ox) {
    for (int i = 0; i < 8; ++i) {
      const float a = static_cast<float>(M_PI) * i / 4;
      m.Ellipse(ox + 23 + 6 * std::cos(a), 23 + 6 * std::sin(a), 1.0f + i * 0.17f, 1.0f + i * 0.17f);
    }
  }, "gold");
  CursorCell(picture, style, 2, arrow, [](Mask& m, float ox) { m.Triangle(ox + 23, 17, ox + 30, 26, ox + 16, 26); },
             "teal");
  CursorCell(picture, style, 3, arrow, [](Mask& m, float ox) { m.Triangle(ox + 23, 30, ox + 30, 21, ox + 16, 21); },
             "teal");
  CursorCell(picture, style, 4, [](Mask& m, float ox) {
    m.Triangle(ox + 3, 15.5f, ox + 15, 5, ox + 15, 26);
    m.Rect(ox + 14, 11.5f, 13, 8, 2);
  }, nullptr, nullptr);
  CursorCell(picture, style, 5, [](Mask& m, float ox) {
    m.Triangle(ox + 28, 15.5f, ox + 16, 5, ox + 16, 26);
    m.Rect(ox + 4, 11.5f, 13, 8, 2);
  }, nullptr, nullptr);
  CursorCell(picture, style, 6, [](Mask& m, float ox) {
    m.Ring(ox + 15.5f, 15.5f, 9, 2.2f);
    for (float d : {-1.0f, 1.0f}) {
      m.Line(ox + 15.5f + d * 7, 15.5f, ox + 15.5f + d * 13, 15.5f, 2);
      m.Line(ox + 15.5f, 15.5f + d * 7, ox + 15.5f, 15.5f + d * 13, 2);
    }
  }, [](Mask& m, float ox) { m.Ellipse(ox + 15.5f, 15.5f, 2, 2); }, "rose");
  CursorCell(picture, style, 7, [](Mask& m, float ox) { m.Star(ox + 15.5f, 16, 13); },
             [](Mask& m, float ox) { m.Star(ox + 15.5f, 16, 5); }, "gold");
  return PngFile(picture, true);
}

std::string Wait(const Style& style) {
  constexpr int kFrames = 10, kWidth = 240, kHeight = 72;
  Picture picture(kWidth, kHeight * kFrames, false);
  const std::string& text = style.Label("wait");
  for (int frame = 0; frame < kFrames; ++frame) {
    const float top = static_cast<float>(frame * kHeight);
    // A ring of ten stars turning: the head bright gold, its trail fading to violet.
    for (int i = 0; i < kFrames; ++i) {
      const float age = static_cast<float>((frame - i + kFrames) % kFrames) / kFrames;
      const float a = static_cast<float>(2 * M_PI) * i / kFrames - static_cast<float>(M_PI / 2);
      const float x = 36 + 20 * std::cos(a), y = top + 36 + 20 * std::sin(a);
      Mask dot = picture.NewMask();
      dot.Star(x, y, 5.5f - 3 * age, static_cast<float>(frame) / 20);
      picture.Fill(dot, Solid(Mix(style.Colour("gold"), style.Colour("violet"), age)), 1 - 0.6f * age);
      if (age == 0) {
        Mask glow = picture.NewMask();
        glow.Ellipse(x, y, 7, 7).Blur(3);
        picture.Fill(glow, Solid(style.Colour("amber")), 0.8f, Blend::kAdd);
      }
    }
    // The words breathe: their light rises and falls once over the ten frames.
    const float breath = 0.75f + 0.25f * std::cos(static_cast<float>(2 * M_PI) * frame / kFrames);
    Mask words = picture.NewMask();
    words.Text(text, 68, top + 27, 16);
    picture.Fill(words, Solid(Mix(style.Colour("mist"), style.Colour("cream"), breath)));
    Mask underline = picture.NewMask();
    underline.Line(68, top + 50, 68 + 160 * breath, top + 50, 1);
    picture.Fill(underline, Horizontal(style.Colour("gold"), style.Colour("night"), 68, 232), 0.8f);
  }
  return BmpFile(picture);
}

std::string CapLogo(const Style& style) {
  Picture picture(168, 64, true);
  // A dark halo behind the logo keeps it readable over any screen.
  Mask halo = picture.NewMask();
  halo.Rect(10, 8, 148, 50, 20).Blur(6);
  picture.Fill(halo, Solid(style.Colour("ink")), 0.55f);
  const float height = Logo(picture, style, 88, 6, 30);
  const std::string& subtitle = style.Label("subtitle");
  Caption(picture, style, subtitle, 88 - Mask::TextWidth(subtitle, 11) / 2.0f, 6 + height + 3, 11,
          Solid(style.Colour("cream")));
  return PngFile(picture, true);
}

std::string CapCopy(const Style& style) {
  const std::string& text = style.Label("copyright");
  const int width = Mask::TextWidth(text, 12) + 16;
  Picture picture(width, 20, true);
  Mask halo = picture.NewMask();
  halo.Rect(2, 2, static_cast<float>(width - 4), 16, 8).Blur(2);
  picture.Fill(halo, Solid(style.Colour("ink")), 0.6f);
  Caption(picture, style, text, 8, 3, 12, Solid(style.Colour("cream")));
  return PngFile(picture, true);
}

}  // namespace

void AddSystemPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"Splash.jpg", Place::kRoot, [&style] { return Splash(style); }});
  assets.push_back({"Cursor.png", Place::kMain, [&style] { return Cursor(style); }});
  assets.push_back({"Wait.bmp", Place::kMain, [&style] { return Wait(style); }});
  assets.push_back({"Cap_Logo.png", Place::kMain, [&style] { return CapLogo(style); }});
  assets.push_back({"Cap_Copy.png", Place::kMain, [&style] { return CapCopy(style); }});
}

}  // namespace mkdemo
