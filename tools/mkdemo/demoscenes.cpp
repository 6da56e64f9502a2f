#include "tools/mkdemo/demoscenes.h"

#include <cmath>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr float kWidth = 640, kHeight = 480;
constexpr float kShore = 360;  // the far shore of the lake: sky and hills above, water below

// The line of the far hills.
float HillTop(float x) { return 318 + 14 * std::sin(x / 53) + 9 * std::sin(x / 23 + 1) + 5 * std::sin(x / 11 + 2); }

// The far hills down to the shore.
void Hills(Mask& hills) { hills.Below(HillTop, kShore); }

// The near banks at the left and the right, with ragged grass along their tops.
void Banks(Mask& banks) {
  banks.Below([](float x) {
    const float left = x / 232, right = (640 - x) / 190;
    if (left <= 1) return 330 + 150 * left * left + 3 * std::sin(x / 5);
    if (right <= 1) return 344 + 136 * right * right + 3 * std::sin(x / 6);
    return kHeight;
  }, kHeight);
}

// The light of a low source mirrored on the lake.
void Glitter(Picture& picture, const Style& style, float x, std::uint32_t seed, float spread, float opacity) {
  mkdemo::Glitter(picture, Vertical(style.Colour("cream"), style.Colour("gold"), kShore, kHeight), seed, x, kShore,
                  kHeight, spread, opacity);
}

// Faint lines of ripples across the whole lake.
void Ripples(Picture& picture, const Style& style, std::uint32_t seed, const char* colour, float opacity) {
  Random random(seed);
  Mask lines = picture.NewMask();
  for (int i = 0; i < 26; ++i) {
    const float y = random.Range(kShore + 6, kHeight - 2);
    const float x = random.Range(-40, kWidth);
    lines.Line(x, y, x + random.Range(60, 220), y, 0.8f);
  }
  picture.Fill(lines, Solid(style.Colour(colour)), opacity);
}

std::string Night(const Style& style) {
  Picture picture(static_cast<int>(kWidth), static_cast<int>(kHeight), false);
  NightSky(picture, style, 41);
  Moon(picture, style, 470, 96, 34);  // high on the right
  Mask hills = picture.NewMask();
  Hills(hills);
  picture.Fill(hills, Vertical(Mix(style.Colour("violet"), style.Colour("indigo"), 0.5f), style.Colour("indigo"), 300, kShore));
  Mask water = picture.NewMask();
  water.Rect(0, kShore, kWidth, kHeight - kShore);
  picture.Fill(water, Vertical(style.Colour("night"), style.Colour("indigo"), kShore, kHeight));
  Ripples(picture, style, 43, "lavender", 0.2f);
  Glitter(picture, style, 462, 47, 10, 0.55f);
  Mask banks = picture.NewMask();
  Banks(banks);
  picture.Fill(banks, Vertical(style.Colour("indigo"), style.Colour("night"), 330, kHeight));
  return PngFile(picture, false);
}

std::string Dawn(const Style& style) {
  Picture picture(static_cast<int>(kWidth), static_cast<int>(kHeight), false);
  const Rgb violet = style.Colour("violet"), rose = style.Colour("rose"), gold = style.Colour("gold");
  const Rgb dawn = Mix(violet, rose, 0.3f);  // already lighter than the night at the very top
  picture.Fill([=](float, float y) {
    return y < 200 ? Mix(dawn, rose, y / 200) : Mix(rose, gold, (y - 200) / (kShore - 200));
  });
  Stars(picture, style, 53, 40, 0, 0, kWidth, 110);
  // The sun rising behind the hills on the left, its glow and its rays.
  constexpr float kSunX = 200, kSunY = 314;
  Mask rays = picture.NewMask();
  for (int i = 0; i < 9; ++i) {
    const float a = 3.14159265f * (1.08f + 0.1f * i), spread = 0.035f;
    rays.Triangle(kSunX, kSunY, kSunX + 700 * std::cos(a - spread), kSunY + 700 * std::sin(a - spread),
                  kSunX + 700 * std::cos(a + spread), kSunY + 700 * std::sin(a + spread));
  }
  rays.Blur(8);
  picture.Fill(rays, Radial(style.Colour("cream"), rose, kSunX, kSunY, 520), 0.16f, Blend::kAdd);
  Mask glow = picture.NewMask();
  glow.Ellipse(kSunX, kSunY, 110, 110).Blur(30);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.5f, Blend::kAdd);
  Mask sun = picture.NewMask();
  sun.Ellipse(kSunX, kSunY, 44, 44);
  picture.Fill(sun, Radial(style.Colour("cream"), gold, kSunX, kSunY - 10, 50));
  // Long clouds lit from below.
  static const float kClouds[][4] = {{420, 120, 150, 16}, {540, 170, 110, 11}, {110, 90, 130, 12}, {300, 220, 90, 8}};
  for (const auto& c : kClouds) {
    Mask cloud = picture.NewMask();
    cloud.Ellipse(c[0], c[1], c[2], c[3]).Blur(6);
    picture.Fill(cloud, Solid(style.Colour("lavender")), 0.55f);
    Mask lit = picture.NewMask();
    lit.Ellipse(c[0] - c[2] * 0.1f, c[1] + c[3] * 0.55f, c[2] * 0.8f, c[3] * 0.35f).Blur(4);
    picture.Fill(lit, Solid(style.Colour("cream")), 0.45f, Blend::kAdd);
  }
  Mask hills = picture.NewMask();
  Hills(hills);
  picture.Fill(hills, Vertical(Mix(violet, rose, 0.5f), violet, 300, kShore));
  // The water mirrors the sky: gold at the shore turning rose and violet toward the viewer.
  Mask water = picture.NewMask();
  water.Rect(0, kShore, kWidth, kHeight - kShore);
  picture.Fill(water, [=](float, float y) {
    const float t = (y - kShore) / (kHeight - kShore);
    return t < 0.5f ? Mix(gold, rose, t * 2) : Mix(rose, violet, t * 2 - 1);
  });
  Ripples(picture, style, 59, "cream", 0.25f);
  Glitter(picture, style, kSunX, 61, 16, 0.8f);
  Mask banks = picture.NewMask();
  Banks(banks);
  picture.Fill(banks, Vertical(Mix(violet, rose, 0.2f), style.Colour("indigo"), 330, kHeight));
  return PngFile(picture, false);
}

}  // namespace

void AddDemoScenes(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"DemoSceneNight.png", Place::kMain, [&style] { return Night(style); }});
  assets.push_back({"DemoSceneDawn.png", Place::kMain, [&style] { return Dawn(style); }});
}

}  // namespace mkdemo
