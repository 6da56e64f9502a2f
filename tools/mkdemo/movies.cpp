#include "tools/mkdemo/movies.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/score.h"
#include "tools/mkdemo/synth.h"
#include "tools/mpegwriter/mpegwriter.h"

namespace mkdemo {

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr float kPi = 3.14159265f;

using Layer = std::unique_ptr<Picture>;

// 0 before t0, 1 after t1, eased between.
float Ramp(float t, float t0, float t1) {
  const float x = std::clamp((t - t0) / (t1 - t0), 0.0f, 1.0f);
  return x * x * (3 - 2 * x);
}

// Fades in from t0 to t1 and out from t2 to t3.
float InOut(float t, float t0, float t1, float t2, float t3) { return Ramp(t, t0, t1) * (1 - Ramp(t, t2, t3)); }

int Rate(float opacity) { return static_cast<int>(std::lround(std::clamp(opacity, 0.0f, 1.0f) * 128)); }

// Lays a layer (drawn on a transparent picture) over the frame with its top-left corner at (x, y), at the opacity;
// only its first `width` columns when given. What falls off the frame is left out.
void Over(Picture& frame, Picture& layer, float x, float y, float opacity, int width = -1) {
  const int rate = Rate(opacity);
  if (rate == 0) return;
  int dx = static_cast<int>(std::lround(x)), dy = static_cast<int>(std::lround(y)), sx = 0, sy = 0;
  int w = width < 0 ? layer.Width() : std::min(width, layer.Width()), h = layer.Height();
  if (dx < 0) sx = -dx, w += dx, dx = 0;
  if (dy < 0) sy = -dy, h += dy, dy = 0;
  w = std::min(w, kWidth - dx), h = std::min(h, kHeight - dy);
  if (w <= 0 || h <= 0) return;
  frame.Bits().DrawDoubleAlphaMask(dx, dy, &layer.Bits(), sx, sy, w, h, &layer.Alpha(), rate);
}

// The backdrop's rows from `top` on fill the frame.
void Backdrop(Picture& frame, Picture& back, int top = 0) {
  frame.Bits().Draw(0, 0, &back.Bits(), 0, top, kWidth, kHeight);
}

// Blends a whole opaque picture over the frame.
void Blend(Picture& frame, Picture& other, float weight) {
  if (const int rate = Rate(weight); rate > 0) frame.Bits().AlphaBlend(0, 0, &other.Bits(), 0, 0, kWidth, kHeight, rate);
}

// A line of text with its shadow on a layer just large enough.
Layer TextLayer(const Style& style, const std::string& text, int pixels, bool bold, Rgb top, Rgb bottom) {
  auto layer = std::make_unique<Picture>(Mask::TextWidth(text, pixels, bold) + 8, pixels * 3 / 2 + 6, true);
  Caption(*layer, style, text, 3, 2, pixels, Vertical(top, bottom, 2, 2.0f + pixels), bold);
  return layer;
}

// The layer centred across the frame.
float Centre(const Picture& layer) { return (kWidth - layer.Width()) / 2.0f; }

// A twinkling star: a bright core with a cross of light in a golden glow, 32 x 32, centred at (16, 16).
Layer Glint(const Style& style) {
  auto layer = std::make_unique<Picture>(32, 32, true);
  Mask glow = layer->NewMask();
  glow.Ellipse(16, 16, 6, 6).Blur(3);
  layer->Fill(glow, Solid(style.Colour("gold")), 0.7f);
  Mask arms = layer->NewMask();
  arms.Line(2, 16, 30, 16, 1.1f).Line(16, 2, 16, 30, 1.1f).Ellipse(16, 16, 2.4f, 2.4f);
  layer->Fill(arms, Radial(style.Colour("cream"), style.Colour("gold"), 16, 16, 14));
  return layer;
}

// A shooting star falling to the left: a tail thickening and brightening towards the head, which sits at
// (kStreakHead, kStreakHead) from the layer's bottom-left corner.
constexpr float kStreakHead = 10;
Layer Streak(const Style& style, float length) {
  const float dx = -0.8f * length, dy = 0.6f * length;
  const int w = static_cast<int>(-dx + 2 * kStreakHead), h = static_cast<int>(dy + 2 * kStreakHead);
  auto layer = std::make_unique<Picture>(w, h, true);
  const float x0 = w - kStreakHead, y0 = kStreakHead;  // the end of the tail
  constexpr int kPieces = 14;
  for (int i = 0; i < kPieces; ++i) {
    const float a = static_cast<float>(i) / kPieces, b = static_cast<float>(i + 1) / kPieces;
    Mask piece = layer->NewMask();
    piece.Line(x0 + dx * a, y0 + dy * a, x0 + dx * b, y0 + dy * b, 0.6f + 1.8f * b);
    layer->Fill(piece, Solid(Mix(style.Colour("lavender"), style.Colour("cream"), b)), b * b);
  }
  Mask head = layer->NewMask();
  head.Ellipse(x0 + dx, y0 + dy, 5, 5).Blur(3);
  layer->Fill(head, Solid(style.Colour("gold")), 0.8f);
  return layer;
}

// Where a streak's layer goes so that its head is at (x, y).
float StreakLeft(float x) { return x - kStreakHead; }
float StreakTop(const Picture& streak, float y) { return y - (streak.Height() - kStreakHead); }

struct Spot {
  float x, y, phase;
};

std::vector<Spot> Spots(std::uint32_t seed, int count, float x, float y, float w, float h) {
  Random random(seed);
  std::vector<Spot> spots;
  for (int i = 0; i < count; ++i) {
    const float sx = x + random.Range(0, w);
    const float sy = y + random.Range(0, h);
    spots.push_back({sx, sy, random.Range(0, 2 * kPi)});
  }
  return spots;
}

void Twinkle(Picture& frame, Picture& glint, const std::vector<Spot>& spots, float t, float shiftY = 0) {
  for (const Spot& s : spots)
    Over(frame, glint, s.x - 16, s.y - 16 - shiftY, 0.2f + 0.8f * (0.5f + 0.5f * std::sin(t * 2.3f + s.phase)));
}

// A movie's pictures: drawn once per frame at its time (seconds) of a movie of `length` seconds.
class Scene {
public:
  explicit Scene(float length) : length_(length) {}
  virtual ~Scene() = default;
  virtual void Draw(Picture& frame, float t) = 0;

protected:
  // From black at the start and to black at the end.
  void FadeEnds(Picture& frame, float t, float in, float out) {
    Blend(frame, black_, std::max(1 - Ramp(t, 0, in), Ramp(t, length_ - out, length_)));
  }
  float length_;
  Picture black_{kWidth, kHeight, false};
};

// ---- The opening: the sky at night, the view sinking to the hills; a shooting star, the staff drawn in gold with
// its notes, and the title.
class Opening : public Scene {
public:
  Opening(const Style& style, float length) : Scene(length) {
    NightSky(sky_, style, 71);
    Moon(sky_, style, 500, 200, 30);
    Mask hills = sky_.NewMask();
    hills.Below([](float x) { return 700 + 18 * std::sin(x / 61) + 10 * std::sin(x / 27 + 1); }, kSkyHeight);
    sky_.Fill(hills, Vertical(Mix(style.Colour("violet"), style.Colour("indigo"), 0.5f), style.Colour("night"), 680,
                              kSkyHeight));
    glint_ = Glint(style);
    streak_ = Streak(style, 180);
    // The staff: five gold lines in their glow, drawn in from the left.
    Mask lines = staff_.NewMask();
    for (int i = 0; i < 5; ++i) lines.Line(4, 10 + 12.0f * i, kStaffWidth - 4, 10 + 12.0f * i, 1.4f);
    Mask glow = staff_.NewMask();
    glow.CopyFrom(lines).Blur(3);
    staff_.Fill(glow, Solid(style.Colour("amber")), 0.8f);
    staff_.Fill(lines, Horizontal(style.Colour("gold"), style.Colour("cream"), 0, kStaffWidth));
    // An eighth note.
    Mask note = note_.NewMask();
    note.Ellipse(10, 34, 7, 5.5f).Rect(15, 5, 2.4f, 30).Line(16, 6, 25, 16, 2.6f);
    Mask noteGlow = note_.NewMask();
    noteGlow.CopyFrom(note).Blur(3);
    note_.Fill(noteGlow, Solid(style.Colour("amber")), 0.7f);
    note_.Fill(note, Vertical(style.Colour("cream"), style.Colour("gold"), 4, 40));
    Logo(logo_, style, kWidth / 2.0f, 14, 76);
    subtitle_ = TextLayer(style, style.Label("subtitle"), 30, true, style.Colour("cream"), style.Colour("gold"));
    line_ = TextLayer(style, style.Label("movie.opening"), 20, false, style.Colour("cream"), style.Colour("lavender"));
    stars_ = Spots(73, 12, 20, 20, 600, 560);
  }

  void Draw(Picture& frame, float t) override {
    const int view = static_cast<int>(std::lround(Ramp(t, 0.3f, 4.2f) * (kSkyHeight - kHeight)));
    Backdrop(frame, sky_, view);
    Twinkle(frame, *glint_, stars_, t, static_cast<float>(view));
    const float fall = (t - 1.3f) / 1.2f;  // the shooting star, 0 to 1
    if (fall > 0 && fall < 1)
      Over(frame, *streak_, StreakLeft(600 - 380 * fall), StreakTop(*streak_, 30 + 210 * fall),
           InOut(fall, 0, 0.15f, 0.75f, 1));
    Over(frame, *line_, Centre(*line_), 210, InOut(t, 1.0f, 2.0f, 3.6f, 4.4f));
    const float staffY = 290, fade = 1 - 0.45f * Ramp(t, 7, 8);
    Over(frame, staff_, 50, staffY, fade, static_cast<int>(Ramp(t, 3.8f, 5.6f) * kStaffWidth));
    for (int i = 0; i < 6; ++i) {
      const float start = 4.3f + 0.25f * i, since = std::max(0.0f, t - start);
      Over(frame, note_, 100 + 80.0f * i, staffY - 14 + 12.0f * (i % 3) - 10 * std::min(since, 1.5f),
           Ramp(t, start, start + 0.3f) * fade);
    }
    const float logo = Ramp(t, 5.2f, 6.6f);
    Over(frame, logo_, 0, 96 + 14 * (1 - logo), logo);
    Over(frame, *subtitle_, Centre(*subtitle_), 226, Ramp(t, 6.2f, 7.2f));
    FadeEnds(frame, t, 0.8f, 0.6f);
  }

private:
  static constexpr int kSkyHeight = 800, kStaffWidth = 540;
  Picture sky_{kWidth, kSkyHeight, false};
  Picture staff_{kStaffWidth, 68, true};
  Picture note_{30, 44, true};
  Picture logo_{kWidth, 130, true};
  Layer glint_, streak_, subtitle_, line_;
  std::vector<Spot> stars_;
};

// ---- Event movie 0: a shower of shooting stars over the hill where two friends sit under a lone tree.
class Starfall : public Scene {
public:
  Starfall(const Style& style, float length) : Scene(length) {
    NightSky(back_, style, 83);
    const auto hill = [](float x) { return 470 - 130 * std::exp(-(x - 430) * (x - 430) / (2 * 170.0f * 170.0f)); };
    Mask ground = back_.NewMask();
    ground.Below(hill, kHeight);
    back_.Fill(ground, Vertical(style.Colour("indigo"), style.Colour("night"), 330, kHeight));
    // The tree and the two friends on the hilltop, dark against the sky.
    Mask shapes = back_.NewMask();
    shapes.Rect(497, 300, 7, 46).Ellipse(500, 292, 34, 26).Ellipse(480, 304, 20, 14).Ellipse(522, 302, 22, 15);
    shapes.Ellipse(402, 326, 6, 6).Rect(396, 332, 12, 16, 4).Ellipse(420, 327, 5.5f, 5.5f).Rect(414, 332, 11, 15, 4);
    back_.Fill(shapes, Solid(style.Colour("ink")));
    Mask rim = back_.NewMask();
    rim.CopyFrom(ground).Grow(1).Subtract(ground);
    back_.Fill(rim, Solid(style.Colour("lavender")), 0.5f);
    glint_ = Glint(style);
    longStreak_ = Streak(style, 220);
    shortStreak_ = Streak(style, 120);
    caption_ = TextLayer(style, style.Label("movie.qm00"), 30, true, style.Colour("cream"), style.Colour("gold"));
    stars_ = Spots(89, 9, 20, 20, 600, 240);
    Random random(97);
    for (int i = 0; i < 20; ++i) {
      Fall f;
      f.start = 0.2f + 0.3f * i + random.Range(0, 0.2f);
      f.duration = random.Range(0.7f, 1.1f);
      f.x = random.Range(180, 760);
      f.y = random.Range(-30, 140);
      f.reach = random.Range(200, 330);
      f.longOne = random.Unit() < 0.5f;
      falls_.push_back(f);
    }
  }

  void Draw(Picture& frame, float t) override {
    Backdrop(frame, back_);
    Twinkle(frame, *glint_, stars_, t);
    for (const Fall& f : falls_) {
      const float s = (t - f.start) / f.duration;
      if (s <= 0 || s >= 1) continue;
      Picture& streak = f.longOne ? *longStreak_ : *shortStreak_;
      Over(frame, streak, StreakLeft(f.x - 0.8f * f.reach * s), StreakTop(streak, f.y + 0.6f * f.reach * s),
           InOut(s, 0, 0.2f, 0.7f, 1));
    }
    Over(frame, *caption_, Centre(*caption_), 400, InOut(t, 2.0f, 3.0f, length_ - 1.6f, length_ - 0.8f));
    FadeEnds(frame, t, 0.6f, 0.6f);
  }

private:
  struct Fall {
    float start, duration, x, y, reach;
    bool longOne;
  };
  Picture back_{kWidth, kHeight, false};
  Layer glint_, longStreak_, shortStreak_, caption_;
  std::vector<Spot> stars_;
  std::vector<Fall> falls_;
};

// ---- Event movie 1: paper lanterns drifting down the river at night, their light trembling on the water.
class Lanterns : public Scene {
public:
  Lanterns(const Style& style, float length) : Scene(length) {
    NightSky(back_, style, 101);
    Moon(back_, style, 118, 92, 26);
    Mask bank = back_.NewMask();
    bank.Below([](float x) { return 268 + 7 * std::sin(x / 41) + 4 * std::sin(x / 13 + 2); }, kWater);
    back_.Fill(bank, Vertical(style.Colour("indigo"), style.Colour("night"), 260, kWater));
    Random random(103);
    Mask windows = back_.NewMask();
    for (int i = 0; i < 40; ++i) {
      const float x = random.Range(0, kWidth);
      const float y = random.Range(280, kWater - 4);
      windows.Ellipse(x, y, 1.3f, 1.1f);
    }
    back_.Fill(windows, Solid(style.Colour("gold")), 0.8f, Blend::kAdd);
    Mask water = back_.NewMask();
    water.Rect(0, kWater, kWidth, kHeight - kWater);
    back_.Fill(water, Vertical(style.Colour("night"), style.Colour("indigo"), kWater, kHeight));
    Glitter(back_, Vertical(style.Colour("cream"), style.Colour("gold"), kWater, kHeight), 107, 118, kWater, kHeight,
            9, 0.45f);
    glint_ = Glint(style);
    stars_ = Spots(109, 7, 200, 20, 420, 180);
    for (int depth = 0; depth < 3; ++depth) {
      lanterns_.push_back(Lantern(style, 0.55f + 0.25f * depth));
      lights_.push_back(Light(style, 0.55f + 0.25f * depth));
    }
    caption_ = TextLayer(style, style.Label("movie.qm01"), 30, true, style.Colour("cream"), style.Colour("gold"));
    Random place(113);
    for (int i = 0; i < 11; ++i) {
      Float f;
      f.depth = i % 3;
      f.x = place.Range(-140, 600);
      f.phase = place.Range(0, 2 * kPi);
      floats_.push_back(f);
    }
    std::stable_sort(floats_.begin(), floats_.end(), [](const Float& a, const Float& b) { return a.depth < b.depth; });
  }

  void Draw(Picture& frame, float t) override {
    Backdrop(frame, back_);
    Twinkle(frame, *glint_, stars_, t);
    for (const Float& f : floats_) {
      Picture& lantern = *lanterns_[f.depth];
      Picture& light = *lights_[f.depth];
      const float x = f.x + (12 + 9.0f * f.depth) * t;
      const float y = kWater + 14 + 52.0f * f.depth + 2.5f * std::sin(1.6f * t + f.phase);
      Over(frame, light, x + (lantern.Width() - light.Width()) / 2.0f, y + lantern.Height() * 0.55f,
           0.45f + 0.15f * std::sin(3.1f * t + f.phase));
      Over(frame, lantern, x, y, 1);
    }
    Over(frame, *caption_, Centre(*caption_), 40, InOut(t, 1.5f, 2.5f, length_ - 2.2f, length_ - 1.2f));
    FadeEnds(frame, t, 0.8f, 0.8f);
  }

private:
  static constexpr float kWater = 300;

  // A paper lantern on its little raft, lit from inside, scaled.
  static Layer Lantern(const Style& style, float scale) {
    const float w = 56 * scale, h = 70 * scale;
    auto layer = std::make_unique<Picture>(static_cast<int>(w), static_cast<int>(h), true);
    Mask glow = layer->NewMask();
    glow.Ellipse(w / 2, h * 0.45f, w * 0.42f, h * 0.4f).Blur(std::max(2, static_cast<int>(6 * scale)));
    layer->Fill(glow, Solid(style.Colour("amber")), 0.8f);
    Mask paper = layer->NewMask();
    paper.Rect(w * 0.3f, h * 0.22f, w * 0.4f, h * 0.5f, 3 * scale);
    layer->Fill(paper, Radial(style.Colour("cream"), style.Colour("gold"), w / 2, h * 0.5f, w * 0.3f));
    Mask wood = layer->NewMask();
    wood.Rect(w * 0.26f, h * 0.18f, w * 0.48f, h * 0.06f).Rect(w * 0.2f, h * 0.72f, w * 0.6f, h * 0.08f);
    layer->Fill(wood, Solid(style.Colour("night")));
    return layer;
  }

  // The lantern's light mirrored on the water: short trembling strokes.
  static Layer Light(const Style& style, float scale) {
    const float w = 40 * scale, h = 60 * scale;
    auto layer = std::make_unique<Picture>(static_cast<int>(w), static_cast<int>(h), true);
    Mask strokes = layer->NewMask();
    for (int i = 0; i < 6; ++i) {
      const float y = h * (0.1f + 0.15f * i), half = w * (0.35f - 0.04f * i);
      strokes.Line(w / 2 - half, y, w / 2 + half, y, 1.5f * scale + 0.5f);
    }
    strokes.Blur(1);
    layer->Fill(strokes, Vertical(style.Colour("gold"), style.Colour("amber"), 0, h));
    return layer;
  }

  struct Float {
    int depth;
    float x, phase;
  };
  Picture back_{kWidth, kHeight, false};
  Layer glint_, caption_;
  std::vector<Layer> lanterns_, lights_;
  std::vector<Spot> stars_;
  std::vector<Float> floats_;
};

// ---- The endings: the staff's names rolling up over a scene, then the last words.

// The roll: "staff", then each role in small print with its name below.
Layer CreditRoll(const Style& style) {
  constexpr int kRoles = 5, kStep = 74;
  auto roll = std::make_unique<Picture>(kWidth, 70 + kRoles * kStep, true);
  const auto centred = [&](const std::string& text, float y, int pixels, bool bold, Rgb top, Rgb bottom) {
    Caption(*roll, style, text, (kWidth - Mask::TextWidth(text, pixels, bold)) / 2.0f, y, pixels,
            Vertical(top, bottom, y, y + pixels), bold);
  };
  centred(style.Label("movie.staff"), 4, 26, true, style.Colour("cream"), style.Colour("gold"));
  for (int i = 1; i <= kRoles; ++i) {
    const float y = 70.0f + (i - 1) * kStep;
    centred(style.Label("movie.role" + std::to_string(i)), y, 15, false, style.Colour("lavender"),
            style.Colour("mist"));
    const std::string name = i < kRoles ? style.Label("movie.name" + std::to_string(i)) : style.Label("maker");
    centred(name, y + 24, 22, true, style.Colour("cream"), style.Colour("cream"));
  }
  return roll;
}

class Ending : public Scene {
public:
  Ending(const Style& style, float length, const char* lastWords) : Scene(length) {
    roll_ = CreditRoll(style);
    last_ = TextLayer(style, style.Label(lastWords), 36, true, style.Colour("cream"), style.Colour("gold"));
  }

protected:
  // The roll crosses the screen from below to above, ending before the last words come.
  void Credits(Picture& frame, float t) {
    const float end = length_ - 2.6f, travel = static_cast<float>(kHeight + roll_->Height());
    const float y = kHeight - travel * std::clamp((t - 0.6f) / (end - 0.6f), 0.0f, 1.0f);
    Over(frame, *roll_, 0, y, 1);
    Over(frame, *last_, Centre(*last_), 190, Ramp(t, length_ - 2.4f, length_ - 1.4f));
  }
  Layer roll_, last_;
};

// Ending 1: the sky over the lake turning from night to dawn as the sun comes up behind the hills.
class DawnEnding : public Ending {
public:
  DawnEnding(const Style& style, float length) : Ending(style, length, "movie.end1") {
    const Rgb violet = style.Colour("violet"), rose = style.Colour("rose"), gold = style.Colour("gold");
    const Rgb indigo = style.Colour("indigo"), night = style.Colour("night");
    night_.Fill([=](float, float y) { return y < 240 ? Mix(night, indigo, y / 240) : Mix(indigo, violet, (y - 240) / 120); });
    Stars(night_, style, 127, 150, 0, 0, kWidth, 300);
    dawn_.Fill([=](float, float y) {
      return y < 200 ? Mix(Mix(violet, rose, 0.3f), rose, y / 200) : Mix(rose, gold, (y - 200) / 160);
    });
    Stars(dawn_, style, 131, 30, 0, 0, kWidth, 100);
    Mask glow = sun_.NewMask();
    glow.Ellipse(kSun, kSun, 80, 80).Blur(26);
    sun_.Fill(glow, Solid(style.Colour("amber")), 0.55f);
    Mask sun = sun_.NewMask();
    sun.Ellipse(kSun, kSun, 42, 42);
    sun_.Fill(sun, Radial(style.Colour("cream"), gold, kSun, kSun - 10, 48));
    // The hills, the lake and the banks in front of the sky.
    Mask hills = land_.NewMask();
    hills.Below([](float x) { return 318 + 14 * std::sin(x / 53) + 9 * std::sin(x / 23 + 1); }, kShore);
    land_.Fill(hills, Vertical(Mix(violet, rose, 0.35f), violet, 300, kShore));
    Mask water = land_.NewMask();
    water.Rect(0, kShore, kWidth, kHeight - kShore);
    land_.Fill(water, Vertical(Mix(gold, rose, 0.6f), violet, kShore, kHeight));
    Glitter(land_, Vertical(style.Colour("cream"), gold, kShore, kHeight), 137, 200, kShore, kHeight, 14, 0.4f);
    // A second glitter on its own layer, trembling over the first.
    Glitter(sparkle_, Vertical(style.Colour("cream"), gold, 0, kHeight - kShore), 139, 200, 0, kHeight - kShore, 16,
            0.9f);
    Mask banks = land_.NewMask();
    banks.Below([](float x) { return x < 220 ? 336 + 144 * (x / 220) * (x / 220) : kHeight; }, kHeight);
    land_.Fill(banks, Vertical(Mix(violet, rose, 0.2f), indigo, 330, kHeight));
  }

  void Draw(Picture& frame, float t) override {
    Backdrop(frame, night_);
    Blend(frame, dawn_, Ramp(t, 0, length_ * 0.7f));
    Over(frame, sun_, 200 - kSun, 300 + 40 * (1 - Ramp(t, 0.5f, length_ * 0.8f)) - kSun, Ramp(t, 0.5f, 2.5f));
    Over(frame, land_, 0, 0, 1);
    Over(frame, sparkle_, 0, kShore, 0.5f + 0.5f * std::sin(5.3f * t));
    Credits(frame, t);
    FadeEnds(frame, t, 0.8f, 0.7f);
  }

private:
  static constexpr float kShore = 360;
  static constexpr int kSun = 150;  // the sun's centre in its layer
  Picture night_{kWidth, kHeight, false}, dawn_{kWidth, kHeight, false};
  Picture sun_{2 * kSun, 2 * kSun, true}, land_{kWidth, kHeight, true};
  Picture sparkle_{kWidth, kHeight - static_cast<int>(kShore), true};
};

// Ending 2: the school roof under a full moon, petals drifting down past the railing.
class MoonEnding : public Ending {
public:
  MoonEnding(const Style& style, float length) : Ending(style, length, "movie.end2") {
    NightSky(back_, style, 139);
    Moon(back_, style, 470, 120, 46);
    Mask roof = back_.NewMask();
    roof.Rect(0, 446, kWidth, kHeight - 446).Rect(0, 392, kWidth, 4);
    for (int x = 6; x < kWidth; x += 26) roof.Rect(static_cast<float>(x), 392, 3, 56);
    back_.Fill(roof, Vertical(style.Colour("indigo"), style.Colour("ink"), 390, kHeight));
    Mask rail = back_.NewMask();
    rail.Rect(0, 392, kWidth, 1.2f);
    back_.Fill(rail, Solid(style.Colour("lavender")), 0.6f);
    // A petal turned eight ways.
    for (int k = 0; k < 8; ++k) {
      auto petal = std::make_unique<Picture>(20, 20, true);
      float xy[32];
      const float turn = kPi * k / 8;
      for (int i = 0; i < 16; ++i) {
        const float a = 2 * kPi * i / 16, px = 8 * std::cos(a), py = 4.2f * std::sin(a) * (px > 0 ? 0.8f : 1.0f);
        xy[2 * i] = 10 + px * std::cos(turn) - py * std::sin(turn);
        xy[2 * i + 1] = 10 + px * std::sin(turn) + py * std::cos(turn);
      }
      Mask shape = petal->NewMask();
      shape.Polygon(xy, 16);
      petal->Fill(shape, Radial(style.Colour("cream"), style.Colour("rose"), 10, 10, 10), 0.9f);
      petals_.push_back(std::move(petal));
    }
    Random random(149);
    for (int i = 0; i < 34; ++i) {
      Drift d;
      d.x = random.Range(-20, kWidth);
      d.offset = random.Range(0, 520);
      d.speed = random.Range(28, 62);
      d.sway = random.Range(8, 26);
      d.spin = random.Range(2, 6);
      d.phase = random.Range(0, 2 * kPi);
      drifts_.push_back(d);
    }
  }

  void Draw(Picture& frame, float t) override {
    Backdrop(frame, back_);
    for (const Drift& d : drifts_) {
      const float y = std::fmod(d.offset + d.speed * t, 520.0f) - 20;
      const float x = d.x + d.sway * std::sin(1.3f * t + d.phase) - 10 * t;
      const int turn = static_cast<int>(std::floor(d.spin * t + d.phase)) & 7;
      Over(frame, *petals_[turn], x, y, 0.85f);
    }
    Credits(frame, t);
    FadeEnds(frame, t, 0.8f, 0.7f);
  }

private:
  struct Drift {
    float x, offset, speed, sway, spin, phase;
  };
  Picture back_{kWidth, kHeight, false};
  std::vector<Layer> petals_;
  std::vector<Drift> drifts_;
};

// ---- The files

using SceneMaker = std::unique_ptr<Scene> (*)(const Style& style, float length);

struct MovieRow {
  const char* name;
  SceneMaker make;
};

const MovieRow kMovies[] = {
    {"QMOP", [](const Style& s, float l) -> std::unique_ptr<Scene> { return std::make_unique<Opening>(s, l); }},
    {"QM00", [](const Style& s, float l) -> std::unique_ptr<Scene> { return std::make_unique<Starfall>(s, l); }},
    {"QM01", [](const Style& s, float l) -> std::unique_ptr<Scene> { return std::make_unique<Lanterns>(s, l); }},
    {"QMED1", [](const Style& s, float l) -> std::unique_ptr<Scene> { return std::make_unique<DawnEnding>(s, l); }},
    {"QMED2", [](const Style& s, float l) -> std::unique_ptr<Scene> { return std::make_unique<MoonEnding>(s, l); }},
};

// The picture and sound settings of every movie: a picture a row of macroblocks to a slice, so that the player
// may decode a picture on several threads, and a constant quantiser, which keeps the calm scenes small.
mpegwriter::Settings MovieSettings() {
  mpegwriter::Settings s;
  s.width = kWidth, s.height = kHeight, s.fps = kMovieFps;
  s.gopSize = 12, s.maxBFrames = 2;
  s.slices = kHeight / 16;
  s.videoBitRate = 0, s.quantiser = 10;
  s.sound = true, s.soundBitRate = 160'000;
  s.muxRate = 10'000'000;
  return s;
}

std::string MakeMovie(const Context& context, const MovieRow& row) {
  const Score score = ReadScore(context.dataFolder + "/movies/" + row.name + ".txt");
  const Sound sound = Render(score, 0.7f);
  const double seconds = score.beats * 60 / score.tempo;
  const int frames = static_cast<int>(std::lround(seconds * kMovieFps));
  const std::unique_ptr<Scene> scene = row.make(context.style, static_cast<float>(seconds));
  Picture frame(kWidth, kHeight, false);
  std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 4);
  const auto draw = [&](mpegwriter::Planes& planes, int n) {
    scene->Draw(frame, static_cast<float>(n) / kMovieFps);
    if (!frame.Bits().GetPat(0, 0, kWidth, kHeight, pixels.data())) throw std::runtime_error("a frame cannot be read");
    mpegwriter::FromBgrx(pixels.data(), kWidth * 4, planes);
  };
  // The piece, cut at the movie's end with a short fade.
  const std::int64_t total = std::int64_t{frames} * mpegwriter::kSampleRate / kMovieFps;
  const auto play = [&](std::int16_t* pcm, int count, std::int64_t first) {
    const long fade = mpegwriter::kSampleRate / 4;
    for (int i = 0; i < count && first + i < sound.Frames(); ++i) {
      const long at = static_cast<long>(first + i);
      const float gain = std::min(1.0f, static_cast<float>(total - at) / fade);
      for (int c = 0; c < 2; ++c) {
        const float v = sound.samples[static_cast<std::size_t>(at * sound.channels + std::min(c, sound.channels - 1))];
        pcm[2 * i + c] = static_cast<std::int16_t>(std::lround(std::clamp(v * gain, -1.0f, 1.0f) * 32767));
      }
    }
  };
  std::string error;
  std::string bytes = mpegwriter::WriteBytes(MovieSettings(), frames, draw, play, &error);
  if (bytes.empty()) throw std::runtime_error(std::string(row.name) + ".mpg: " + error);
  return bytes;
}

}  // namespace

void AddMovies(const Context& context, std::vector<Asset>& assets) {
  for (const MovieRow& row : kMovies)
    assets.push_back({std::string(row.name) + ".mpg", Place::kMovie, [&context, &row] { return MakeMovie(context, row); }});
}

}  // namespace mkdemo
