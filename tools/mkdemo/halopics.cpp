#include "tools/mkdemo/halopics.h"

#include <cmath>

#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr float kPi = 3.14159265f;

Rgb Blue(const Style& style) { return Mix(style.Colour("teal"), style.Colour("lavender"), 0.5f); }
Rgb Green(const Style& style) { return Mix(style.Colour("teal"), style.Colour("gold"), 0.45f); }

std::string Back(const Style& style) {
  Picture picture(640, 480, false);
  // Light from just beyond the top-left corner, cream at the source through gold to a faint amber far away.
  const Rgb cream = style.Colour("cream"), gold = style.Colour("gold"), amber = style.Colour("amber");
  picture.Fill([=](float x, float y) {
    const float light = std::max(0.0f, 1 - std::sqrt(x * x + y * y) / 800);
    const Rgb c = light > 0.7f ? Mix(gold, cream, (light - 0.7f) / 0.3f) : Mix(amber, gold, light / 0.7f);
    const float k = 0.8f * light * light;
    return Rgb{c.r * k, c.g * k, c.b * k};
  });
  // Soft rays fanning out from the corner.
  Mask rays = picture.NewMask();
  static const float kRays[][2] = {{0.1f, 10}, {0.24f, 16}, {0.4f, 8}, {0.55f, 20}, {0.7f, 12}, {0.86f, 14}};
  for (const auto& ray : kRays) {
    const float a = ray[0] * kPi / 2;
    const float spread = ray[1] * 0.004f;
    rays.Triangle(0, 0, 900 * std::cos(a - spread), 900 * std::sin(a - spread), 900 * std::cos(a + spread),
                  900 * std::sin(a + spread));
  }
  rays.Blur(10);
  picture.Fill(rays, Radial(cream, Rgb{}, 0, 0, 640), 0.3f, Blend::kAdd);
  // A faint veil over everything: the glare blooms over the whole screen.
  Mask veil = picture.NewMask();
  veil.Plane().Fill(255);
  picture.Fill(veil, Solid(style.Colour("lavender")), 0.07f, Blend::kAdd);
  return BmpFile(picture);
}

// A pale disc with a brighter rim.
std::string BlueBig(const Style& style) {
  Picture picture(224, 224, false);
  Mask glow = picture.NewMask();
  glow.Ellipse(112, 112, 100, 100).Blur(8);
  picture.Fill(glow, Solid(Blue(style)), 0.28f, Blend::kAdd);
  Mask rim = picture.NewMask();
  rim.Ring(112, 112, 94, 5).Blur(2);
  picture.Fill(rim, Solid(Blue(style)), 0.45f, Blend::kAdd);
  return BmpFile(picture);
}

std::string YellowBig(const Style& style) {
  Picture picture(192, 192, false);
  Mask glow = picture.NewMask();
  glow.Ellipse(96, 96, 70, 70).Blur(20);
  picture.Fill(glow, Radial(style.Colour("gold"), style.Colour("amber"), 96, 96, 90), 0.6f, Blend::kAdd);
  return BmpFile(picture);
}

// A bright spark with a four-pointed glint, as the stars of the other screens have.
std::string YellowSmall(const Style& style) {
  Picture picture(80, 80, false);
  Mask glow = picture.NewMask();
  glow.Ellipse(40, 40, 18, 18).Blur(8);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.5f, Blend::kAdd);
  Mask glint = picture.NewMask();
  glint.Line(6, 40, 74, 40, 1.6f).Line(40, 6, 40, 74, 1.6f).Blur(1);
  picture.Fill(glint, Solid(style.Colour("gold")), 0.6f, Blend::kAdd);
  Mask core = picture.NewMask();
  core.Ellipse(40, 40, 7, 7).Blur(2);
  picture.Fill(core, Radial(style.Colour("cream"), style.Colour("gold"), 40, 40, 8), 0.9f, Blend::kAdd);
  return BmpFile(picture);
}

// A hexagon, as the lens's aperture shapes a ghost of the light.
std::string BlueSmall(const Style& style) {
  Picture picture(96, 96, false);
  float xy[12];
  for (int i = 0; i < 6; ++i) {
    const float a = kPi / 3 * i + kPi / 6;
    xy[2 * i] = 48 + 38 * std::cos(a), xy[2 * i + 1] = 48 + 38 * std::sin(a);
  }
  Mask hexagon = picture.NewMask();
  hexagon.Polygon(xy, 6).Blur(2);
  picture.Fill(hexagon, Radial(Blue(style), style.Colour("teal"), 48, 48, 40), 0.4f, Blend::kAdd);
  return BmpFile(picture);
}

std::string GreenRing(const Style& style) {
  Picture picture(144, 144, false);
  Mask ring = picture.NewMask();
  ring.Ring(72, 72, 54, 16).Blur(5);
  picture.Fill(ring, Solid(Green(style)), 0.45f, Blend::kAdd);
  return BmpFile(picture);
}

}  // namespace

void AddHalationPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"HaloBack.bmp", Place::kMain, [&style] { return Back(style); }});
  assets.push_back({"HaloBlueB.bmp", Place::kMain, [&style] { return BlueBig(style); }});
  assets.push_back({"HaloYellowB.bmp", Place::kMain, [&style] { return YellowBig(style); }});
  assets.push_back({"HaloYellowS.bmp", Place::kMain, [&style] { return YellowSmall(style); }});
  assets.push_back({"HaloBlueS.bmp", Place::kMain, [&style] { return BlueSmall(style); }});
  assets.push_back({"HaloGreen.bmp", Place::kMain, [&style] { return GreenRing(style); }});
}

}  // namespace mkdemo
