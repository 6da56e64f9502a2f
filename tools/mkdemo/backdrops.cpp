#include "tools/mkdemo/backdrops.h"

#include <cmath>
#include <map>
#include <stdexcept>

#include "tools/mkdemo/look.h"

namespace mkdemo {

namespace {

constexpr float kW = kBackdropWidth, kH = kBackdropHeight;
constexpr float kTwoPi = 6.2831853f;

struct Scene {
  const Style& style;
  std::uint32_t seed;
  float t;  // frame / frames, 0..1
  int frame;
};

// A soft ground band along the bottom, lit faintly from above.
void Ground(Picture& picture, const Style& style, float top, const char* from, const char* to) {
  Mask ground = picture.NewMask();
  ground.Below([top](float x) { return top + 3 * std::sin(x / 37) + 2 * std::sin(x / 13 + 1); }, kH);
  picture.Fill(ground, Vertical(style.Colour(from), style.Colour(to), top, kH));
}

void ShootingStar(Picture& picture, const Style& style, float t) {
  const float x = 120 + 420 * t, y = 30 + 70 * t;
  Mask tail = picture.NewMask();
  tail.Line(x - 70, y - 14, x, y, 2.2f).Blur(2);
  picture.Fill(tail, Horizontal(style.Colour("night"), style.Colour("cream"), x - 70, x), 0.8f, Blend::kAdd);
  Mask head = picture.NewMask();
  head.Star(x, y, 5, t);
  picture.Fill(head, Solid(style.Colour("cream")));
}

void Hill(Picture& picture, const Scene& s) {
  NightSky(picture, s.style, s.seed);
  Moon(picture, s.style, 520, 62, 26);
  ShootingStar(picture, s.style, s.t);
  Mask far = picture.NewMask();
  far.Below([](float x) { return 190 + 18 * std::sin(x / 71) + 10 * std::sin(x / 29 + 2); }, kH);
  picture.Fill(
      far, Vertical(Mix(s.style.Colour("violet"), s.style.Colour("indigo"), 0.4f), s.style.Colour("indigo"), 170, 260));
  Mask near = picture.NewMask();
  near.Below([](float x) { return 236 + 14 * std::sin(x / 97 + 1) + 6 * std::sin(x / 31); }, kH);
  picture.Fill(near, Vertical(s.style.Colour("indigo"), s.style.Colour("night"), 220, kH));
  // A lone tree on the near hill.
  Mask tree = picture.NewMask();
  tree.Line(96, 236, 96, 200, 4).Ellipse(96, 188, 22, 18).Ellipse(82, 198, 14, 11).Ellipse(110, 198, 14, 11);
  picture.Fill(tree, Solid(s.style.Colour("night")));
  Ground(picture, s.style, 262, "indigo", "night");
}

void Town(Picture& picture, const Scene& s) {
  NightSky(picture, s.style, s.seed);
  Moon(picture, s.style, 92, 54, 22);
  Random random(s.seed * 7 + 3);
  Random lights(s.seed * 13 + static_cast<std::uint32_t>(s.frame) * 101 + 1);
  Mask houses = picture.NewMask(), windows = picture.NewMask();
  for (float x = -10; x < kW;) {
    const float w = random.Range(44, 80), h = random.Range(60, 120), top = 262 - h;
    houses.Rect(x, top, w - 4, h + 2);
    houses.Triangle(x - 4, top + 1, x + w / 2 - 2, top - random.Range(14, 28), x + w, top + 1);
    for (float wy = top + 10; wy < 246; wy += 18)
      for (float wx = x + 7; wx < x + w - 16; wx += 16)
        if (lights.Unit() < 0.45f) windows.Rect(wx, wy, 8, 10, 1.5f);
    x += w;
  }
  picture.Fill(houses, Vertical(s.style.Colour("indigo"), s.style.Colour("night"), 140, 262));
  Mask glow = picture.NewMask();
  glow.CopyFrom(windows);
  glow.Blur(4);
  picture.Fill(glow, Solid(s.style.Colour("amber")), 0.7f, Blend::kAdd);
  picture.Fill(windows, Vertical(s.style.Colour("cream"), s.style.Colour("gold"), 140, 262));
  Ground(picture, s.style, 262, "violet", "night");
}

void Sea(Picture& picture, const Scene& s) {
  NightSky(picture, s.style, s.seed);
  const float horizon = 176;
  Moon(picture, s.style, 330, 70, 30);
  Mask water = picture.NewMask();
  water.Rect(0, horizon, kW, kH - horizon);
  picture.Fill(water, Vertical(s.style.Colour("indigo"), s.style.Colour("night"), horizon, kH));
  Random random(s.seed * 5 + static_cast<std::uint32_t>(s.frame) * 17 + 9);
  Mask glitter = picture.NewMask();
  for (float y = horizon + 3; y < 262; y += 4) {
    const float depth = (y - horizon) / (262 - horizon);
    const float length = random.Range(8, 26) * (0.5f + depth);
    const float x = 330 + random.Range(-1, 1) * 40 * (0.3f + depth);
    glitter.Line(x - length / 2, y, x + length / 2, y, 1.3f);
  }
  glitter.Blur(1);
  picture.Fill(glitter, Solid(s.style.Colour("gold")), 0.7f, Blend::kAdd);
  Mask waves = picture.NewMask();
  for (int i = 0; i < 30; ++i) {
    const float y = random.Range(horizon + 6, 258), x = random.Range(-30, kW);
    waves.Line(x, y, x + random.Range(30, 120), y, 0.8f);
  }
  picture.Fill(waves, Solid(s.style.Colour("lavender")), 0.25f);
  Ground(picture, s.style, 264, "violet", "indigo");  // the sand of the beach
}

void Theatre(Picture& picture, const Scene& s) {
  picture.Fill(Vertical(s.style.Colour("night"), s.style.Colour("ink"), 0, kH));
  Stars(picture, s.style, s.seed, 60, 60, 10, kW - 120, 120);
  // Spotlights from above, sweeping to and fro.
  Mask beams = picture.NewMask();
  for (int i = 0; i < 3; ++i) {
    const float sx = 120 + 200 * i;
    const float aim = sx + 90 * std::sin(kTwoPi * (s.t + i / 3.0f));
    beams.Triangle(sx, -10, aim - 50, 262, aim + 50, 262);
  }
  beams.Blur(6);
  picture.Fill(beams, Vertical(s.style.Colour("cream"), s.style.Colour("gold"), 0, 262), 0.22f, Blend::kAdd);
  // Curtains on both sides, with folds.
  const auto curtain = [&](float x0, float x1) {
    Mask folds = picture.NewMask();
    folds.Rect(x0, 0, x1 - x0, 262);
    picture.Fill(folds, [&](float x, float) {
      const float f = 0.5f + 0.5f * std::sin(x / 9);
      return Mix(s.style.Colour("night"), s.style.Colour("rose"), 0.35f + 0.4f * f);
    });
  };
  curtain(0, 56);
  curtain(kW - 56, kW);
  Mask valance = picture.NewMask();
  valance.Rect(0, 0, kW, 24);
  for (float x = 20; x < kW; x += 40) valance.Ellipse(x, 24, 21, 9);  // scallops
  picture.Fill(valance, Vertical(s.style.Colour("rose"), s.style.Colour("violet"), 0, 32));
  Mask floor = picture.NewMask();
  floor.Rect(0, 258, kW, kH - 258);
  picture.Fill(floor, Vertical(s.style.Colour("violet"), s.style.Colour("night"), 258, kH));
  Mask pools = picture.NewMask();
  for (int i = 0; i < 3; ++i) {
    const float aim = 120 + 200 * i + 90 * std::sin(kTwoPi * (s.t + i / 3.0f));
    pools.Ellipse(aim, 272, 56, 10);
  }
  pools.Blur(5);
  picture.Fill(pools, Solid(s.style.Colour("gold")), 0.4f, Blend::kAdd);
}

void Forest(Picture& picture, const Scene& s) {
  NightSky(picture, s.style, s.seed);
  Random random(s.seed * 3 + 1);
  for (int layer = 0; layer < 2; ++layer) {
    Mask pines = picture.NewMask();
    for (float x = random.Range(-20, 10); x < kW + 30; x += random.Range(34, 60)) {
      const float base = layer == 0 ? 230 : 262, h = random.Range(70, 130) * (layer == 0 ? 0.8f : 1.0f);
      for (int tier = 0; tier < 3; ++tier) {
        const float top = base - h + tier * h * 0.25f, half = 10 + tier * 7 + h * 0.08f;
        pines.Triangle(x, top, x - half, top + h * 0.4f, x + half, top + h * 0.4f);
      }
      pines.Rect(x - 2, base - h * 0.2f, 4, h * 0.2f);
    }
    picture.Fill(pines, Solid(Mix(s.style.Colour("indigo"), s.style.Colour("night"), layer == 0 ? 0.3f : 0.9f)));
  }
  Ground(picture, s.style, 260, "indigo", "night");
  Mask flies = picture.NewMask();
  Random place(s.seed * 11 + 5);
  for (int i = 0; i < 24; ++i) {
    const float x = place.Range(20, kW - 20), y = place.Range(120, 250), phase = place.Unit();
    const float a = kTwoPi * (s.t + phase);
    flies.Ellipse(x + 8 * std::cos(a), y + 5 * std::sin(2 * a), 1.6f, 1.6f);
  }
  Mask glow = picture.NewMask();
  glow.CopyFrom(flies);
  glow.Blur(4);
  picture.Fill(glow, Solid(s.style.Colour("gold")), 0.9f, Blend::kAdd);
  picture.Fill(flies, Solid(s.style.Colour("cream")));
}

using SceneDrawer = void (*)(Picture&, const Scene&);

const std::map<std::string, SceneDrawer>& Scenes() {
  static const std::map<std::string, SceneDrawer> table = {
      {"hill", Hill}, {"town", Town}, {"sea", Sea}, {"stage", Theatre}, {"forest", Forest}};
  return table;
}

}  // namespace

bool IsScene(const std::string& scene) { return Scenes().count(scene) != 0; }

std::unique_ptr<Picture> Backdrop(const Style& style, const std::string& scene, std::uint32_t seed, int frame,
                                  int frames) {
  const auto drawer = Scenes().find(scene);
  if (drawer == Scenes().end()) throw std::runtime_error("no scene \"" + scene + "\"");
  auto picture = std::make_unique<Picture>(kBackdropWidth, kBackdropHeight, false);
  drawer->second(*picture, {style, seed, frames > 0 ? static_cast<float>(frame) / frames : 0.0f, frame});
  return picture;
}

}  // namespace mkdemo
