#include "tools/mkdemo/stagepics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr float kW = 640, kH = 480;
constexpr int kWidth = 640, kHeight = 480;

// ---- The light of a picture: the period of day and the weather

enum Period { kDay, kEvening, kNight, kMorning };

struct Mood {
  Period period;
  bool bad;                  // clouds over everything: rain or snow falls on it in the game
  Rgb top, middle, horizon;  // the sky from the top to the horizon
  Rgb ambient;               // what the light makes of the scenery's own colours (per channel)
  float lamps;               // how strongly lamps and windows glow, 0..1
};

// A band across the whole picture from row y0 to row y1, at once (the shapes' sampling is for edges that need it).
void Band(Mask& mask, int y0, int y1) { mask.Plane().BoxFill(0, y0, mask.Width() - 1, y1 - 1, 255); }

Rgb Times(Rgb c, Rgb by) { return {c.r * by.r, c.g * by.g, c.b * by.b}; }

// Picture index 0..7 of a place: the periods in fair weather, then in bad weather.
Mood MoodOf(const Style& style, int index) {
  const Rgb cream = style.Colour("cream"), lavender = style.Colour("lavender"), teal = style.Colour("teal");
  const Rgb rose = style.Colour("rose"), gold = style.Colour("gold"), amber = style.Colour("amber");
  const Rgb violet = style.Colour("violet"), indigo = style.Colour("indigo"), night = style.Colour("night");
  const Rgb mist = style.Colour("mist");
  Mood m{static_cast<Period>(index % 4), index >= 4, {}, {}, {}, {1, 1, 1}, 0};
  switch (m.period) {
    case kDay:
      m.top = Mix(lavender, teal, 0.45f), m.middle = Mix(lavender, cream, 0.45f),
      m.horizon = Mix(cream, lavender, 0.2f);
      break;
    case kEvening:
      m.top = Mix(violet, indigo, 0.3f), m.middle = Mix(rose, violet, 0.25f), m.horizon = Mix(amber, gold, 0.45f);
      m.ambient = {1.0f, 0.78f, 0.7f}, m.lamps = 0.6f;
      break;
    case kNight:
      m.top = indigo, m.middle = Mix(indigo, night, 0.5f), m.horizon = night;
      m.ambient = {0.34f, 0.36f, 0.58f}, m.lamps = 1;
      break;
    case kMorning:
      m.top = Mix(lavender, cream, 0.25f), m.middle = Mix(rose, cream, 0.55f), m.horizon = Mix(cream, gold, 0.3f);
      m.ambient = {0.97f, 0.92f, 0.96f}, m.lamps = 0.1f;
      break;
  }
  if (m.bad) {
    const Rgb grey = Mix(mist, indigo, m.period == kNight ? 0.75f : 0.3f);
    m.top = Mix(grey, m.top, 0.2f), m.middle = Mix(grey, m.middle, 0.3f),
    m.horizon = Mix(Mix(mist, lavender, 0.4f), m.horizon, 0.3f);
    if (m.period == kNight) m.horizon = Mix(m.horizon, night, 0.7f);
    m.ambient = Times(m.ambient, {0.74f, 0.74f, 0.8f});
    m.lamps = std::min(1.0f, m.lamps + 0.3f);
  }
  return m;
}

Rgb Lit(Rgb c, const Mood& m) { return Times(c, m.ambient); }

Paint Gradient3(Rgb a, Rgb b, Rgb c, float y0, float y1, float y2) {
  return [=](float, float y) { return y < y1 ? Mix(a, b, (y - y0) / (y1 - y0)) : Mix(b, c, (y - y1) / (y2 - y1)); };
}

// Soft clouds: clusters of blurred ellipses, lit from above.
void Clouds(Picture& picture, const Style& style, const Mood& m, std::uint32_t seed, float top, float bottom, int count,
            float opacity) {
  Random random(seed);
  const Rgb light = m.bad                  ? Mix(style.Colour("mist"), m.middle, 0.4f)
                    : m.period == kEvening ? Mix(style.Colour("rose"), style.Colour("gold"), 0.4f)
                                           : style.Colour("cream");
  const Rgb shade = m.bad ? Mix(m.top, style.Colour("ink"), 0.3f) : Mix(light, m.top, 0.45f);
  for (int i = 0; i < count; ++i) {
    const float cx = random.Range(-40, kW + 40), cy = random.Range(top, bottom);
    const float w = random.Range(60, 150) * (m.bad ? 1.8f : 1), h = random.Range(12, 26) * (m.bad ? 1.6f : 1);
    Mask body = picture.NewMask();
    for (int k = 0; k < 5; ++k) {
      const float ox = random.Range(-0.6f, 0.6f) * w, oy = random.Range(-0.4f, 0.2f) * h;
      body.Ellipse(cx + ox, cy + oy, w * random.Range(0.35f, 0.6f), h * random.Range(0.6f, 1.1f));
    }
    body.Blur(m.bad ? 10 : 6);
    picture.Fill(body, Vertical(light, shade, cy - h, cy + h * 1.4f), opacity);
  }
}

// The sky of the mood from the top of the picture down to `horizon`; the sun, the moon or the stars as the period
// has them.
void Sky(Picture& picture, const Style& style, const Mood& m, std::uint32_t seed, float horizon) {
  picture.Fill(Gradient3(m.top, m.middle, m.horizon, 0, horizon * 0.55f, horizon));
  if (m.bad) {
    Clouds(picture, style, m, seed, -20, horizon * 0.9f, 16, 0.75f);
    return;
  }
  switch (m.period) {
    case kNight:
      NightSky(picture, style, seed);
      Moon(picture, style, 500, 80, 26);
      break;
    case kEvening: {
      Mask glow = picture.NewMask();
      glow.Ellipse(150, horizon - 20, 140, 90).Blur(28);
      picture.Fill(glow, Solid(style.Colour("amber")), 0.55f, Blend::kAdd);
      Mask sun = picture.NewMask();
      sun.Ellipse(150, horizon - 26, 30, 30);
      picture.Fill(sun, Radial(style.Colour("cream"), style.Colour("gold"), 146, horizon - 32, 34));
      Clouds(picture, style, m, seed, horizon * 0.2f, horizon * 0.75f, 6, 0.6f);
      break;
    }
    case kMorning:
      Stars(picture, style, seed, 18, 0, 0, kW, horizon * 0.25f);
      Clouds(picture, style, m, seed, horizon * 0.15f, horizon * 0.7f, 7, 0.55f);
      break;
    case kDay: Clouds(picture, style, m, seed, horizon * 0.05f, horizon * 0.7f, 9, 0.85f); break;
  }
}

// Warm lit windows of houses: small rounded rectangles glowing by the lamps' strength.
void LitWindows(Picture& picture, const Style& style, const Mask& windows, float strength) {
  if (strength <= 0) return;
  Mask glow = picture.NewMask();
  glow.CopyFrom(windows);
  glow.Blur(3);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.6f * strength, Blend::kAdd);
  picture.Fill(windows, Solid(Mix(style.Colour("gold"), style.Colour("cream"), 0.4f)), strength);
}

// A row of houses standing on `ground`, their roofs and their windows.
void Houses(Picture& picture, const Style& style, const Mood& m, std::uint32_t seed, float ground, float scale,
            Rgb colour) {
  Random random(seed);
  Mask houses = picture.NewMask(), windows = picture.NewMask();
  for (float x = -10; x < kW;) {
    const float w = random.Range(30, 58) * scale, h = random.Range(18, 46) * scale, top = ground - h;
    houses.Rect(x, top, w - 3 * scale, h + 2);
    houses.Triangle(x - 3 * scale, top + 1, x + w / 2, top - random.Range(8, 18) * scale, x + w, top + 1);
    for (float wy = top + 5 * scale; wy < ground - 6 * scale; wy += 11 * scale)
      for (float wx = x + 4 * scale; wx < x + w - 9 * scale; wx += 10 * scale)
        if (random.Unit() < 0.4f) windows.Rect(wx, wy, 4 * scale, 5 * scale, 1);
    x += w;
  }
  picture.Fill(houses, Solid(colour));
  LitWindows(picture, style, windows, m.lamps);
}

// A floor or a path seen from above the middle: `paint` with darker seams running toward the middle of the far edge,
// `near` pixels apart at the bottom of the picture and `far` apart at y0.
Paint Seams(Paint paint, Rgb seam, float y0, float far, float near, float strength) {
  return [=](float x, float y) {
    const float t = (y - y0) / (kH - y0), spacing = far + (near - far) * t;
    const float k = (x - 320) / spacing, d = std::abs(k - std::round(k)) * spacing;
    return Mix(paint(x, y), seam, d < 0.7f ? strength : 0);
  };
}

// ---- The classroom: the window wall from inside

struct Window {
  float x, y, w, h;
};
constexpr Window kWindows[] = {{34, 64, 180, 232}, {230, 64, 180, 232}, {426, 64, 180, 232}};
constexpr float kFrame = 7;  // the window frames' and mullions' width

void Panes(Mask& panes) {
  for (const Window& w : kWindows)
    for (int col = 0; col < 2; ++col)
      for (int row = 0; row < 2; ++row) {
        const float pw = (w.w - 3 * kFrame) / 2, ph = (w.h - 3 * kFrame) / 2;
        panes.Rect(w.x + kFrame + col * (pw + kFrame), w.y + kFrame + row * (ph + kFrame), pw, ph);
      }
}

// A desk seen from the front and a little above: its top, its front panel and its legs.
void Desk(Mask& top, Mask& front, Mask& legs, float cx, float y, float s) {
  const float xy[] = {cx - 58 * s, y, cx + 58 * s, y, cx + 72 * s, y + 34 * s, cx - 72 * s, y + 34 * s};
  top.Polygon(xy, 4);
  front.Rect(cx - 72 * s, y + 34 * s, 144 * s, 26 * s);
  for (float dx : {-66.0f, 66.0f}) legs.Line(cx + dx * s, y + 58 * s, cx + dx * s, y + 150 * s, 5 * s);
}

std::unique_ptr<Picture> Classroom(const Style& style, const Mood& m, std::uint32_t seed, Mask* panesOut) {
  auto picture = std::make_unique<Picture>(kWidth, kHeight, false);
  Picture& p = *picture;
  const Rgb cream = style.Colour("cream"), lavender = style.Colour("lavender"), violet = style.Colour("violet");
  const Rgb amber = style.Colour("amber"), mist = style.Colour("mist"), ink = style.Colour("ink");
  Sky(p, style, m, seed, 300);
  // Beyond the panes: far hills, the town's roofs and a cherry tree in bloom.
  Mask hills = p.NewMask();
  hills.Below([](float x) { return 236 + 12 * std::sin(x / 61) + 6 * std::sin(x / 23 + 1); }, 300);
  p.Fill(hills, Solid(Mix(Lit(Mix(violet, lavender, 0.5f), m), m.horizon, 0.45f)));
  Houses(p, style, m, seed * 3 + 1, 300, 1, Mix(Lit(Mix(violet, style.Colour("indigo"), 0.5f), m), m.horizon, 0.2f));
  Random blossom(seed * 5 + 2);
  Mask tree = p.NewMask();
  for (int i = 0; i < 26; ++i)
    tree.Ellipse(blossom.Range(20, 190), blossom.Range(210, 300), blossom.Range(14, 30), blossom.Range(10, 20));
  tree.Blur(3);
  p.Fill(tree, Vertical(Lit(Mix(style.Colour("rose"), cream, 0.55f), m),
                        Lit(Mix(style.Colour("rose"), violet, 0.3f), m), 200, 300));

  // The wall around the windows, the frames, the sills.
  Mask openings = p.NewMask();
  for (const Window& w : kWindows) openings.Rect(w.x, w.y, w.w, w.h);
  Mask wall = p.NewMask();
  Band(wall, 0, kHeight);
  wall.Subtract(openings);
  p.Fill(wall, Vertical(Lit(Mix(cream, lavender, 0.3f), m), Lit(Mix(cream, lavender, 0.55f), m), 0, 350));
  Mask frames = p.NewMask(), panes = p.NewMask();
  frames.CopyFrom(openings);
  Panes(panes);
  frames.Subtract(panes);
  p.Fill(frames, Solid(Lit(Mix(mist, cream, 0.45f), m)));
  Mask sills = p.NewMask(), sillShadow = p.NewMask();
  for (const Window& w : kWindows) {
    sills.Rect(w.x - 8, w.y + w.h, w.w + 16, 9, 2);
    sillShadow.Rect(w.x - 6, w.y + w.h + 9, w.w + 12, 8);
  }
  sillShadow.Blur(4);
  p.Fill(sillShadow, Solid(ink), 0.3f);
  p.Fill(sills, Vertical(Lit(cream, m), Lit(Mix(cream, mist, 0.5f), m), 296, 306));
  // Curtains gathered at both ends, with soft folds.
  Mask curtains = p.NewMask();
  const float left[] = {0, 48, 34, 48, 24, 330, 0, 340};
  const float right[] = {kW, 48, kW - 34, 48, kW - 24, 330, kW, 340};
  curtains.Polygon(left, 4).Polygon(right, 4);
  const Rgb cloth = Lit(Mix(cream, style.Colour("rose"), 0.15f), m), fold = Lit(Mix(cream, violet, 0.35f), m);
  p.Fill(curtains, [=](float x, float) { return Mix(cloth, fold, 0.5f + 0.5f * std::sin(x / 3.2f)); });
  // The clock above the middle window.
  Mask face = p.NewMask(), rim = p.NewMask(), hands = p.NewMask();
  face.Ellipse(320, 34, 17, 17);
  rim.Ring(320, 34, 18, 3);
  hands.Line(320, 34, 320, 22, 2).Line(320, 34, 328, 38, 2);
  p.Fill(face, Solid(Lit(cream, m)));
  p.Fill(rim, Solid(Lit(violet, m)));
  p.Fill(hands, Solid(Lit(style.Colour("indigo"), m)));

  // The floor, its boards running toward the windows, the skirting board.
  Mask floor = p.NewMask();
  Band(floor, 350, kHeight);
  p.Fill(floor, Seams(Vertical(Lit(Mix(amber, violet, 0.45f), m), Lit(Mix(amber, violet, 0.7f), m), 350, kH), ink, 350,
                      22, 74, 0.18f));
  Mask skirting = p.NewMask();
  Band(skirting, 342, 351);
  p.Fill(skirting, Solid(Lit(Mix(violet, amber, 0.3f), m)));
  // Light through the panes onto the floor (the moon's, faintly, at night); none under clouds.
  if (!m.bad) {
    Mask beams = p.NewMask();
    for (const Window& w : kWindows) {
      const float xy[] = {w.x + 8, w.y + w.h, w.x + w.w - 8, w.y + w.h, w.x + w.w + 150, kH, w.x + 70, kH};
      beams.Polygon(xy, 4);
    }
    beams.Blur(12);
    const Rgb light = m.period == kEvening ? style.Colour("gold") : m.period == kNight ? lavender : cream;
    p.Fill(beams, Solid(light), m.period == kNight ? 0.07f : 0.16f, Blend::kAdd);
  }
  // Two rows of desks.
  Mask tops = p.NewMask(), fronts = p.NewMask(), legs = p.NewMask(), shadows = p.NewMask();
  for (float cx : {104.0f, 320.0f, 536.0f}) Desk(tops, fronts, legs, cx, 352, 0.8f);
  for (float cx : {150.0f, 490.0f}) Desk(tops, fronts, legs, cx, 420, 1.3f);
  shadows.CopyFrom(fronts);
  shadows.Blur(8);
  p.Fill(shadows, Solid(ink), 0.35f, Blend::kOver, 6, 14);
  p.Fill(legs, Solid(Lit(mist, m)));
  p.Fill(fronts, Solid(Lit(Mix(amber, violet, 0.35f), m)));
  p.Fill(tops, Vertical(Lit(Mix(amber, cream, 0.5f), m), Lit(Mix(amber, cream, 0.25f), m), 350, kH));
  if (panesOut != nullptr) panesOut->CopyFrom(panes);
  return picture;
}

// ---- The riverside: a path by the river, the bridge and the town across the water

constexpr float kFarBank = 252, kWater = 270, kEmbankment = 372;

std::unique_ptr<Picture> Riverside(const Style& style, const Mood& m, std::uint32_t seed, int frame) {
  auto picture = std::make_unique<Picture>(kWidth, kHeight, false);
  Picture& p = *picture;
  const Rgb cream = style.Colour("cream"), lavender = style.Colour("lavender"), violet = style.Colour("violet");
  const Rgb indigo = style.Colour("indigo"), mist = style.Colour("mist"), ink = style.Colour("ink");
  const Rgb rose = style.Colour("rose"), gold = style.Colour("gold"), amber = style.Colour("amber");
  Sky(p, style, m, seed, kFarBank);
  // Across the river: hills, the town, the bridge.
  Mask hills = p.NewMask();
  hills.Below([](float x) { return 205 + 14 * std::sin(x / 80) + 8 * std::sin(x / 33 + 2); }, kWater);
  p.Fill(hills, Solid(Mix(Lit(Mix(violet, lavender, 0.45f), m), m.horizon, 0.4f)));
  Houses(p, style, m, seed * 7 + 3, kFarBank + 4, 0.8f, Mix(Lit(Mix(indigo, violet, 0.6f), m), m.horizon, 0.15f));
  // The water mirrors the sky, darker toward the near bank.
  Mask water = p.NewMask();
  Band(water, static_cast<int>(kWater) - 14, static_cast<int>(kEmbankment));
  p.Fill(water,
         Vertical(Mix(m.horizon, Lit(indigo, m), 0.35f), Mix(Lit(violet, m), ink, 0.55f), kWater - 14, kEmbankment));
  // The bridge: its deck and piers, and their reflection.
  Mask bridge = p.NewMask(), reflection = p.NewMask(), rail = p.NewMask(), bulbs = p.NewMask();
  bridge.Rect(-10, 226, kW + 20, 12);
  for (float x : {70.0f, 230.0f, 390.0f, 550.0f}) {
    bridge.Rect(x, 236, 20, kWater - 236);
    reflection.Rect(x + 2, kWater, 16, 26);
    bulbs.Ellipse(x + 10, 214, 3, 3);
    rail.Line(x + 10, 226, x + 10, 214, 2);
  }
  rail.Line(-10, 219, kW + 10, 219, 1.6f);
  reflection.Blur(3);
  p.Fill(reflection, Solid(ink), 0.3f);
  const Rgb stone = Lit(Mix(indigo, mist, 0.35f), m);
  p.Fill(bridge, Vertical(stone, Mix(stone, ink, 0.3f), 226, kWater));
  p.Fill(rail, Solid(stone));
  LitWindows(p, style, bulbs, m.lamps);
  // Light on the water: the sun, the moon or the lamps, moving from frame to frame.
  const std::uint32_t wave = seed * 11 + static_cast<std::uint32_t>(frame) * 97 + 5;
  if (m.period == kEvening && !m.bad) Glitter(p, Solid(gold), wave, 150, kWater, kEmbankment, 18, 0.75f);
  if (m.period == kNight && !m.bad) Glitter(p, Solid(cream), wave, 500, kWater, kEmbankment, 10, 0.5f);
  if (m.period == kDay || m.period == kMorning)
    Glitter(p, Solid(cream), wave, 380, kWater, kEmbankment, 120, m.bad ? 0.1f : 0.3f);
  for (float x : {230.0f, 390.0f})
    Glitter(p, Solid(amber), wave + static_cast<std::uint32_t>(x), x + 10, kWater, kEmbankment, 6, 0.35f * m.lamps);
  Random ripples(seed * 13 + static_cast<std::uint32_t>(frame));
  Mask lines = p.NewMask();
  for (int i = 0; i < 24; ++i) {
    const float y = ripples.Range(kWater + 4, kEmbankment - 2), x = ripples.Range(-40, kW);
    lines.Line(x, y, x + ripples.Range(50, 180), y, 0.8f);
  }
  p.Fill(lines, Solid(lavender), 0.18f);
  // The near bank: the embankment's edge and the paved path.
  Mask edge = p.NewMask();
  Band(edge, static_cast<int>(kEmbankment), static_cast<int>(kEmbankment) + 9);
  p.Fill(edge, Solid(Lit(Mix(mist, cream, 0.3f), m)));
  Mask path = p.NewMask();
  Band(path, static_cast<int>(kEmbankment) + 9, kHeight);
  p.Fill(path, Seams(Vertical(Lit(Mix(mist, violet, 0.45f), m), Lit(Mix(mist, violet, 0.75f), m), kEmbankment, kH), ink,
                     kEmbankment + 9, 30, 90, 0.14f));
  Mask joints = p.NewMask();
  for (float y = kEmbankment + 24, step = 14; y < kH; y += step, step *= 1.35f) joints.Rect(0, y - 0.5f, kW, 1);
  p.Fill(joints, Solid(ink), 0.14f);
  // The railing along the water.
  Mask railing = p.NewMask();
  for (float x = 14; x < kW; x += 64) railing.Rect(x, 336, 6, kEmbankment - 336 + 2, 2);
  railing.Line(0, 340, kW, 340, 4).Line(0, 356, kW, 356, 2.5f);
  const Rgb iron = Lit(Mix(violet, indigo, 0.5f), m);
  p.Fill(railing, Solid(iron));
  Mask shine = p.NewMask();
  shine.Line(0, 338.5f, kW, 338.5f, 1);
  p.Fill(shine, Solid(cream), 0.25f, Blend::kAdd);
  // The cherry tree on the right, its blossoms and falling petals.
  Mask trunk = p.NewMask();
  const float bark[] = {596, kH, 626, kH, 600, 300, 584, 200, 572, 206, 584, 300};
  trunk.Polygon(bark, 6).Line(584, 250, 500, 150, 9).Line(590, 220, 640, 120, 8).Line(540, 196, 470, 190, 5);
  p.Fill(trunk, Vertical(Lit(Mix(violet, ink, 0.4f), m), Lit(Mix(indigo, ink, 0.5f), m), 150, kH));
  Random blossom(seed * 17 + 1);
  Mask canopy = p.NewMask(), light = p.NewMask();
  for (int i = 0; i < 60; ++i) {
    const float cx = blossom.Range(420, 680), cy = blossom.Range(-30, 220);
    const float rx = blossom.Range(18, 44), ry = blossom.Range(12, 30);
    canopy.Ellipse(cx, cy, rx, ry);
    if (blossom.Unit() < 0.4f) light.Ellipse(cx - rx * 0.2f, cy - ry * 0.3f, rx * 0.6f, ry * 0.5f);
  }
  canopy.Blur(2);
  light.Blur(4);
  p.Fill(canopy, Vertical(Lit(Mix(rose, cream, 0.55f), m), Lit(Mix(rose, violet, 0.35f), m), -30, 240));
  p.Fill(light, Solid(Lit(cream, m)), 0.35f);
  Random petals(seed * 19 + static_cast<std::uint32_t>(frame) * 31);
  Mask falling = p.NewMask();
  for (int i = 0; i < 40; ++i) falling.Ellipse(petals.Range(300, kW), petals.Range(120, kH), 2.4f, 1.5f);
  p.Fill(falling, Solid(Lit(Mix(rose, cream, 0.6f), m)), 0.9f);
  // Street lamps, lit in the evening, at night and under clouds.
  Mask poles = p.NewMask(), heads = p.NewMask(), glows = p.NewMask(), pools = p.NewMask();
  for (float x : {96.0f, 360.0f}) {
    poles.Rect(x - 3, 244, 7, kH - 244).Line(x, 246, x + 18, 236, 4);
    heads.Rect(x + 8, 228, 22, 14, 5);
    glows.Ellipse(x + 19, 240, 46, 40);
    pools.Ellipse(x + 20, 452, 110, 20);
  }
  p.Fill(poles, Solid(iron));
  if (m.lamps > 0) {
    glows.Blur(16);
    pools.Blur(10);
    p.Fill(glows, Solid(amber), 0.55f * m.lamps, Blend::kAdd);
    p.Fill(pools, Solid(gold), 0.18f * m.lamps, Blend::kAdd);
  }
  p.Fill(heads, Solid(Mix(Lit(cream, m), Mix(gold, cream, 0.5f), m.lamps)));
  return picture;
}

// ---- Events

// Two friends seen from behind on a hilltop, one with a bob and one with long hair.
void Friends(Mask& mask, float x, float ground) {
  mask.Ellipse(x, ground - 46, 13, 14).Ellipse(x, ground - 12, 16, 22);  // bob
  mask.Ellipse(x + 44, ground - 50, 12, 13);
  const float hair[] = {x + 31, ground - 52, x + 57, ground - 52, x + 62, ground - 14, x + 26, ground - 14};
  mask.Polygon(hair, 4).Ellipse(x + 44, ground - 12, 17, 24);
}

std::unique_ptr<Picture> Starfall(const Style& style, std::uint32_t seed) {
  auto picture = std::make_unique<Picture>(kWidth, kHeight, false);
  Picture& p = *picture;
  NightSky(p, style, seed);
  Stars(p, style, seed * 3, 160, 0, 0, kW, 330);
  // Shooting stars: each tail fades from its head in three steps.
  Random random(seed * 7 + 1);
  Mask tails[3] = {p.NewMask(), p.NewMask(), p.NewMask()};
  Mask heads = p.NewMask(), halos = p.NewMask();
  for (int i = 0; i < 26; ++i) {
    const float x = random.Range(80, 720), y = random.Range(-20, 260), length = random.Range(50, 150);
    for (int part = 0; part < 3; ++part) {
      const float from = length * part / 3, to = length * (part + 1) / 3;
      tails[part].Line(x - from, y + from * 0.45f, x - to, y + to * 0.45f, 1.8f - 0.4f * part);
    }
    heads.Ellipse(x, y, 2.2f, 2.2f);
    halos.Ellipse(x, y, 6, 6);
  }
  halos.Blur(3);
  const float fade[3] = {0.85f, 0.5f, 0.22f};
  for (int part = 0; part < 3; ++part) p.Fill(tails[part], Solid(style.Colour("cream")), fade[part], Blend::kAdd);
  p.Fill(halos, Solid(style.Colour("gold")), 0.5f, Blend::kAdd);
  p.Fill(heads, Solid(style.Colour("cream")));
  Mask hill = p.NewMask();
  hill.Below([](float x) { return 400 - 70 * std::exp(-((x - 250) * (x - 250)) / 26000.0f) + 4 * std::sin(x / 19); },
             kH);
  p.Fill(hill, Vertical(style.Colour("indigo"), style.Colour("night"), 330, kH));
  Mask friends = p.NewMask();
  Friends(friends, 228, 334);
  Mask rim = p.NewMask();
  rim.CopyFrom(friends);
  rim.Blur(2);
  p.Fill(rim, Solid(style.Colour("lavender")), 0.6f, Blend::kAdd);
  p.Fill(friends, Solid(style.Colour("ink")));
  return picture;
}

std::unique_ptr<Picture> Lanterns(const Style& style, std::uint32_t seed) {
  auto picture = std::make_unique<Picture>(kWidth, kHeight, false);
  Picture& p = *picture;
  const Mood dusk = MoodOf(style, kEvening);
  Sky(p, style, dusk, seed, 236);
  Houses(p, style, dusk, seed + 3, 240, 0.8f, Lit(Mix(style.Colour("indigo"), style.Colour("violet"), 0.5f), dusk));
  Mask water = p.NewMask();
  Band(water, 236, kHeight);
  p.Fill(water, Vertical(Mix(dusk.horizon, style.Colour("violet"), 0.5f), style.Colour("night"), 236, kH));
  Random random(seed * 5 + 9);
  Mask bodies = p.NewMask(), glows = p.NewMask(), trails = p.NewMask(), bases = p.NewMask();
  for (int i = 0; i < 34; ++i) {
    const float y = 250 + 230 * std::pow(random.Unit(), 1.4f), s = 0.35f + (y - 250) / 230 * 1.1f;
    const float x = random.Range(-20, kW + 20);
    bodies.Rect(x - 9 * s, y - 22 * s, 18 * s, 20 * s, 4 * s);
    bases.Rect(x - 11 * s, y - 3 * s, 22 * s, 5 * s, 2 * s);
    glows.Ellipse(x, y - 12 * s, 26 * s, 24 * s);
    trails.Rect(x - 3 * s, y + 2 * s, 6 * s, 40 * s);
  }
  glows.Blur(8);
  trails.Blur(3);
  p.Fill(trails, Solid(style.Colour("amber")), 0.35f, Blend::kAdd);
  p.Fill(glows, Solid(style.Colour("amber")), 0.55f, Blend::kAdd);
  p.Fill(bases, Solid(style.Colour("indigo")));
  p.Fill(bodies, Vertical(style.Colour("cream"), style.Colour("gold"), 240, kH));
  return picture;
}

// ---- Snow

std::string SnowFlakes(const Style& style) {
  Picture picture(44, 14, false);
  picture.Fill(Solid({0, 0, 0}));
  struct Flake {
    float x, size;
  };
  for (const Flake& f : {Flake{0, 14}, Flake{14, 12}, Flake{26, 10}, Flake{36, 8}}) {
    const float c = f.x + f.size / 2, r = f.size / 2;
    Mask glow = picture.NewMask(), core = picture.NewMask();
    glow.Ellipse(c, 7, r - 0.5f, r - 0.5f).Blur(1);
    core.Ellipse(c, 7, r * 0.45f, r * 0.45f);
    picture.Fill(glow, Radial(style.Colour("lavender"), {0, 0, 0}, c, 7, r), 0.9f, Blend::kAdd);
    picture.Fill(core, Solid(style.Colour("cream")), 0.9f, Blend::kAdd);
  }
  return BmpFile(picture);
}

std::string Name3(const char* prefix, int number, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%03d%s", prefix, number, suffix);
  return name;
}

std::unique_ptr<Picture> PlacePicture(const Style& style, const std::string& scene, int number, int frame,
                                      Mask* panes) {
  const Mood mood = MoodOf(style, number % 10);
  const auto seed = static_cast<std::uint32_t>(number / 10 * 10 + 1);  // the same town and trees at every hour
  if (scene == "classroom") return Classroom(style, mood, seed, panes);
  return Riverside(style, mood, seed, frame);
}

}  // namespace

StageData ReadStageData(const std::string& dataFolder) {
  const std::string path = dataFolder + "/stage/stage.txt";
  StageData data;
  for (const DataLine& line : ReadDataLines(path)) {
    std::istringstream words(line.text);
    std::string kind;
    words >> kind;
    auto fail = [&] { throw std::runtime_error(path + ":" + std::to_string(line.number) + ": bad entry"); };
    if (kind == "place" || kind == "event") {
      StageData::Scene s{};
      if (!(words >> s.number >> s.scene)) fail();
      const bool place = kind == "place";
      if (place ? s.scene != "classroom" && s.scene != "riverside" : s.scene != "starfall" && s.scene != "lanterns")
        fail();
      if (place ? s.number < 0 || s.number > 490 || s.number % 10 != 0 : s.number < 500 || s.number > 899) fail();
      (place ? data.places : data.events).push_back(s);
    } else if (kind == "animation") {
      StageData::Animation a{};
      if (!(words >> a.name >> a.frames >> a.wait) || a.name.size() != 4 || a.frames < 1 || a.frames > 16 || a.wait < 1)
        fail();
      data.animations.push_back(a);
    } else if (kind == "character") {
      StageData::Person c{};
      if (!(words >> c.first >> c.person)) fail();
      for (std::string e; words >> e;) c.expressions.push_back(e);
      if (c.expressions.empty()) fail();
      data.characters.push_back(c);
    } else {
      fail();
    }
  }
  return data;
}

void AddStagePictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  const StageData data = ReadStageData(context.dataFolder);
  for (const StageData::Scene& place : data.places)
    for (int i = 0; i < 8; ++i) {
      const int number = place.number + i;
      const bool panes = place.scene == "classroom" && i >= 4;
      assets.push_back({Name3("bg", number, panes ? ".png" : ".jpg"), Place::kSet,
                        [&style, scene = place.scene, number, panes] {
                          Mask windows(kWidth, kHeight);
                          auto picture = PlacePicture(style, scene, number, 0, &windows);
                          if (!panes) return JpegFile(*picture);
                          // The alpha plane opens the panes: the weather of an indoor scene is seen only there.
                          picture->Alpha().Draw(0, 0, &windows.Plane(), 0, 0, kWidth, kHeight);
                          return PngFile(*picture, true);
                        },
                        "EvBG"});
    }
  for (const StageData::Scene& event : data.events)
    assets.push_back({Name3("bg", event.number, ".jpg"), Place::kSet,
                      [&style, event] {
                        const auto seed = static_cast<std::uint32_t>(event.number);
                        return JpegFile(event.scene == "starfall" ? *Starfall(style, seed) : *Lanterns(style, seed));
                      },
                      "EvBG"});
  for (const StageData::Animation& anim : data.animations) {
    const int number = std::stoi(anim.name.substr(0, 3));
    std::string scene;
    for (const StageData::Scene& place : data.places)
      if (number / 10 * 10 == place.number) scene = place.scene;
    if (scene.empty()) throw std::runtime_error("animation " + anim.name + " belongs to no place");
    const std::string picture = "an" + anim.name + ".jpg";
    assets.push_back({"an" + anim.name + ".ini", Place::kSet,
                      [picture, anim] {
                        return "[BASE]\r\nIMAGE=" + picture + "\r\nFRAMES=" + std::to_string(anim.frames) +
                               "\r\nWAIT=" + std::to_string(anim.wait) + "\r\n";
                      },
                      "EvBG"});
    assets.push_back({picture, Place::kSet,
                      [&style, scene, number, anim] {
                        Picture strip(kWidth, kHeight * anim.frames, false);
                        for (int f = 0; f < anim.frames; ++f) {
                          auto frame = PlacePicture(style, scene, number, f, nullptr);
                          strip.Bits().Draw(0, kHeight * f, &frame->Bits(), 0, 0, kWidth, kHeight);
                        }
                        return JpegFile(strip);
                      },
                      "EvBG"});
  }
  assets.push_back({"Snow.bmp", Place::kMain, [&style] { return SnowFlakes(style); }});
}

}  // namespace mkdemo
