#include "tools/mkdemo/mascots.h"

#include <cmath>
#include <map>
#include <stdexcept>

namespace mkdemo {

namespace {

enum class Eyes { kOpen, kClosed, kHappy, kWide, kSad, kDizzy };
enum class Mouth { kSmile, kOpen, kO, kFlat, kFrown };

struct Pose {
  float lift;    // pixels above the ground (of a 96-pixel cell)
  float squash;  // body height factor
  float lean;    // sideways shift of the head
  Eyes eyes;
  Mouth mouth;
  float left, right;  // arm angles in degrees: 0 down, 90 out, 180 up
  bool sparkle;
  float turn;  // the star's own turn (0..1)
};

const std::map<std::string, Pose>& Poses() {
  static const std::map<std::string, Pose> table = {
      {"idle", {0, 1.0f, 0, Eyes::kOpen, Mouth::kSmile, 25, 25, false, 0}},
      {"bob", {3, 0.97f, 0, Eyes::kOpen, Mouth::kSmile, 30, 30, false, 0.02f}},
      {"blink", {0, 1.0f, 0, Eyes::kClosed, Mouth::kSmile, 25, 25, false, 0}},
      {"swayl", {1, 1.0f, -4, Eyes::kOpen, Mouth::kSmile, 50, 15, false, -0.03f}},
      {"swayr", {1, 1.0f, 4, Eyes::kOpen, Mouth::kSmile, 15, 50, false, 0.03f}},
      {"wave1", {0, 1.0f, 1, Eyes::kHappy, Mouth::kOpen, 25, 160, false, 0}},
      {"wave2", {0, 1.0f, 2, Eyes::kHappy, Mouth::kOpen, 25, 125, false, 0.02f}},
      {"jump1", {0, 0.86f, 0, Eyes::kClosed, Mouth::kFlat, 45, 45, false, 0}},
      {"jump2", {16, 1.04f, 0, Eyes::kOpen, Mouth::kOpen, 150, 150, false, 0.05f}},
      {"jump3", {26, 1.0f, 0, Eyes::kHappy, Mouth::kOpen, 165, 165, true, 0.1f}},
      {"bow1", {0, 0.95f, 2, Eyes::kClosed, Mouth::kSmile, 20, 20, false, 0}},
      {"bow2", {0, 0.84f, 4, Eyes::kClosed, Mouth::kSmile, 10, 10, false, 0}},
      {"happy", {4, 1.0f, 0, Eyes::kHappy, Mouth::kOpen, 135, 135, true, 0}},
      {"sing1", {1, 1.0f, -1, Eyes::kClosed, Mouth::kO, 60, 40, false, -0.02f}},
      {"sing2", {2, 1.02f, 1, Eyes::kClosed, Mouth::kOpen, 40, 60, false, 0.02f}},
      {"clap1", {0, 1.0f, 0, Eyes::kHappy, Mouth::kOpen, 70, 70, false, 0}},
      {"clap2", {1, 1.0f, 0, Eyes::kHappy, Mouth::kSmile, 40, 40, false, 0}},
      {"spin1", {4, 1.0f, -3, Eyes::kOpen, Mouth::kO, 100, 80, false, 0.05f}},
      {"spin2", {6, 1.0f, 0, Eyes::kClosed, Mouth::kOpen, 90, 90, false, 0.1f}},
      {"spin3", {4, 1.0f, 3, Eyes::kOpen, Mouth::kO, 80, 100, false, 0.15f}},
      {"sad", {0, 0.94f, 0, Eyes::kSad, Mouth::kFrown, 5, 5, false, 0}},
      {"dizzy1", {0, 0.96f, -3, Eyes::kDizzy, Mouth::kFlat, 70, 20, false, -0.04f}},
      {"dizzy2", {0, 0.96f, 3, Eyes::kDizzy, Mouth::kFrown, 20, 70, false, 0.04f}},
      {"surprise", {5, 1.05f, 0, Eyes::kWide, Mouth::kO, 110, 110, false, 0}},
  };
  return table;
}

constexpr float kPi = 3.14159265f;

// A character's place in its cell, in the cell's pixels: `unit` is one pixel of a 96-pixel cell.
struct Frame {
  float cx, ground, unit;
  float X(float x) const { return cx + x * unit; }
  float Y(float y) const { return ground - y * unit; }  // y: height above the ground
  float R(float r) const { return r * unit; }
};

void Arm(Mask& mask, const Frame& f, float sx, float sy, float angle, float length, float width, bool left) {
  const float a = angle * kPi / 180;
  const float ex = sx + (left ? -1 : 1) * length * std::sin(a), ey = sy - length * std::cos(a);
  mask.Line(f.X(sx), f.Y(sy), f.X(ex), f.Y(ey), f.R(width));
  mask.Ellipse(f.X(ex), f.Y(ey), f.R(width * 0.75f), f.R(width * 0.75f));
}

void Face(Picture& picture, const Style& style, const Frame& f, const Pose& pose, float x, float y, float spread,
          bool big) {
  Mask ink = picture.NewMask(), shine = picture.NewMask(), cheeks = picture.NewMask(), white = picture.NewMask();
  const float eyeR = big ? 3.2f : 2.6f;
  for (int side : {-1, 1}) {
    const float ex = x + side * spread, ey = y;
    switch (pose.eyes) {
      case Eyes::kOpen:
        ink.Ellipse(f.X(ex), f.Y(ey), f.R(eyeR), f.R(eyeR * 1.3f));
        shine.Ellipse(f.X(ex + 0.9f), f.Y(ey + 1.4f), f.R(0.9f), f.R(0.9f));
        break;
      case Eyes::kClosed:
        ink.Line(f.X(ex - 3), f.Y(ey), f.X(ex), f.Y(ey - 1.6f), f.R(1.3f));
        ink.Line(f.X(ex), f.Y(ey - 1.6f), f.X(ex + 3), f.Y(ey), f.R(1.3f));
        break;
      case Eyes::kHappy:
        ink.Line(f.X(ex - 3), f.Y(ey - 1), f.X(ex), f.Y(ey + 1.8f), f.R(1.4f));
        ink.Line(f.X(ex), f.Y(ey + 1.8f), f.X(ex + 3), f.Y(ey - 1), f.R(1.4f));
        break;
      case Eyes::kWide:
        white.Ellipse(f.X(ex), f.Y(ey), f.R(eyeR + 1.6f), f.R(eyeR + 2));
        ink.Ellipse(f.X(ex), f.Y(ey), f.R(eyeR * 0.75f), f.R(eyeR * 0.9f));
        shine.Ellipse(f.X(ex + 0.8f), f.Y(ey + 1.2f), f.R(0.8f), f.R(0.8f));
        break;
      case Eyes::kSad:
        ink.Ellipse(f.X(ex), f.Y(ey - 0.5f), f.R(eyeR * 0.8f), f.R(eyeR));
        ink.Line(f.X(ex - side * 3.5f), f.Y(ey + 3.2f), f.X(ex + side * 2.5f), f.Y(ey + 5), f.R(1.1f));
        break;
      case Eyes::kDizzy:
        ink.Line(f.X(ex - 2.6f), f.Y(ey - 2.6f), f.X(ex + 2.6f), f.Y(ey + 2.6f), f.R(1.3f));
        ink.Line(f.X(ex - 2.6f), f.Y(ey + 2.6f), f.X(ex + 2.6f), f.Y(ey - 2.6f), f.R(1.3f));
        break;
    }
    cheeks.Ellipse(f.X(ex + side * 3), f.Y(ey - 4.5f), f.R(2.6f), f.R(1.6f));
  }
  const float my = y - 6.5f;
  Mask tongue = picture.NewMask();
  switch (pose.mouth) {
    case Mouth::kSmile:
      ink.Line(f.X(x - 2.8f), f.Y(my + 0.8f), f.X(x), f.Y(my - 0.8f), f.R(1.1f));
      ink.Line(f.X(x), f.Y(my - 0.8f), f.X(x + 2.8f), f.Y(my + 0.8f), f.R(1.1f));
      break;
    case Mouth::kOpen:
      ink.Ellipse(f.X(x), f.Y(my), f.R(2.8f), f.R(2.4f));
      tongue.Ellipse(f.X(x), f.Y(my - 1.1f), f.R(1.6f), f.R(1.0f));
      break;
    case Mouth::kO:
      ink.Ring(f.X(x), f.Y(my), f.R(1.8f), f.R(1.2f));
      break;
    case Mouth::kFlat:
      ink.Line(f.X(x - 2.5f), f.Y(my), f.X(x + 2.5f), f.Y(my), f.R(1.1f));
      break;
    case Mouth::kFrown:
      ink.Line(f.X(x - 2.8f), f.Y(my - 1), f.X(x), f.Y(my + 0.6f), f.R(1.1f));
      ink.Line(f.X(x), f.Y(my + 0.6f), f.X(x + 2.8f), f.Y(my - 1), f.R(1.1f));
      break;
  }
  cheeks.Blur(1);
  picture.Fill(cheeks, Solid(style.Colour("rose")), 0.55f);
  picture.Fill(white, Solid(style.Colour("cream")));
  picture.Fill(ink, Solid(style.Colour("ink")));
  picture.Fill(tongue, Solid(style.Colour("rose")));
  picture.Fill(shine, Solid(style.Colour("cream")));
}

void Sparkle(Picture& picture, const Style& style, const Frame& f, float top) {
  Mask stars = picture.NewMask();
  stars.Star(f.X(-20), f.Y(top - 4), f.R(4.5f), 0.1f).Star(f.X(21), f.Y(top + 2), f.R(3.5f), 0.3f);
  stars.Star(f.X(14), f.Y(top + 12), f.R(2.5f));
  picture.Fill(stars, Solid(style.Colour("gold")));
}

// Rim light along the left edge of a body: the shape minus itself moved right and down.
void RimLight(Picture& picture, const Style& style, const Mask& body, const Frame& f) {
  Mask rim = picture.NewMask();
  rim.CopyFrom(body);
  Mask shifted = picture.NewMask();
  shifted.Plane().Draw(static_cast<int>(std::lround(f.R(2))), static_cast<int>(std::lround(f.R(2))), &body.Plane(), 0,
                       0, body.Width(), body.Height());
  rim.Subtract(shifted);
  picture.Fill(rim, Solid(style.Colour("cream")), 0.45f);
}

void Shadow(Picture& picture, const Style& style, const Frame& f, float width, float lift) {
  Mask shadow = picture.NewMask();
  const float shrink = 1 - std::min(0.5f, lift / 60);
  shadow.Ellipse(f.X(0), f.Y(-1), f.R(width * shrink), f.R(3 * shrink)).Blur(1);
  picture.Fill(shadow, Solid(style.Colour("ink")), 0.35f);
}

void Star(Picture& picture, const Style& style, const Frame& f, const Pose& p) {
  Shadow(picture, style, f, 20, p.lift);
  const float cy = p.lift + 30 * p.squash;
  Mask arms = picture.NewMask();
  Arm(arms, f, -15, cy - 2, p.left, 12, 4.5f, true);
  Arm(arms, f, 15, cy - 2, p.right, 12, 4.5f, false);
  picture.Fill(arms, Solid(style.Colour("amber")));
  Mask glow = picture.NewMask();
  glow.Star(f.X(p.lean * 0.3f), f.Y(cy), f.R(31), p.turn).Blur(static_cast<int>(f.R(4)));
  picture.Fill(glow, Solid(style.Colour("gold")), 0.45f, Blend::kAdd);
  Mask body = picture.NewMask();
  body.Star(f.X(p.lean * 0.3f), f.Y(cy), f.R(29), p.turn);
  body.Ellipse(f.X(p.lean * 0.3f), f.Y(cy), f.R(14), f.R(14 * p.squash));  // a round belly for the face
  picture.Fill(body, Radial(style.Colour("cream"), style.Colour("gold"), f.X(-4), f.Y(cy + 6), f.R(26)));
  RimLight(picture, style, body, f);
  Face(picture, style, f, p, p.lean * 0.6f, cy + 2, 5.5f, false);
  if (p.sparkle) Sparkle(picture, style, f, cy + 30);
}

void Cat(Picture& picture, const Style& style, const Frame& f, const Pose& p) {
  Shadow(picture, style, f, 17, p.lift);
  const float bodyY = p.lift + 15 * p.squash, headY = p.lift + 40 * p.squash;
  const float hx = p.lean;
  Mask tail = picture.NewMask();
  for (int i = 0; i < 8; ++i) {
    const float t0 = i / 8.0f, t1 = (i + 1) / 8.0f;
    const auto tx = [](float t) { return 12 + 12 * t; };
    const auto ty = [&](float t) { return bodyY - 6 + 26 * t - 6 * t * t + 3 * std::sin(t * 6); };
    tail.Line(f.X(tx(t0)), f.Y(ty(t0)), f.X(tx(t1)), f.Y(ty(t1)), f.R(4));
  }
  picture.Fill(tail, Solid(style.Colour("violet")));
  Mask body = picture.NewMask();
  body.Ellipse(f.X(0), f.Y(bodyY), f.R(14), f.R(15 * p.squash));
  body.Ellipse(f.X(-7), f.Y(p.lift + 2), f.R(5), f.R(3)).Ellipse(f.X(7), f.Y(p.lift + 2), f.R(5), f.R(3));
  Mask head = picture.NewMask();
  head.Ellipse(f.X(hx), f.Y(headY), f.R(17), f.R(15));
  head.Triangle(f.X(hx - 16), f.Y(headY + 4), f.X(hx - 13), f.Y(headY + 22), f.X(hx - 3), f.Y(headY + 12));
  head.Triangle(f.X(hx + 16), f.Y(headY + 4), f.X(hx + 13), f.Y(headY + 22), f.X(hx + 3), f.Y(headY + 12));
  Mask arms = picture.NewMask();
  Arm(arms, f, -10, bodyY + 6, p.left, 11, 5, true);
  Arm(arms, f, 10, bodyY + 6, p.right, 11, 5, false);
  const Paint fur = Vertical(style.Colour("lavender"), style.Colour("violet"), f.Y(headY + 20), f.Y(p.lift));
  picture.Fill(body, fur);
  picture.Fill(arms, Solid(style.Colour("lavender")));
  picture.Fill(head, fur);
  Mask ears = picture.NewMask();
  ears.Triangle(f.X(hx - 13.5f), f.Y(headY + 7), f.X(hx - 12.5f), f.Y(headY + 17), f.X(hx - 6), f.Y(headY + 11));
  ears.Triangle(f.X(hx + 13.5f), f.Y(headY + 7), f.X(hx + 12.5f), f.Y(headY + 17), f.X(hx + 6), f.Y(headY + 11));
  picture.Fill(ears, Solid(style.Colour("rose")), 0.7f);
  RimLight(picture, style, head, f);
  Mask moon = picture.NewMask();
  moon.Ellipse(f.X(hx), f.Y(headY + 10), f.R(3.5f), f.R(3.5f));
  Mask bite = picture.NewMask();
  bite.Ellipse(f.X(hx + 1.8f), f.Y(headY + 11), f.R(3), f.R(3));
  moon.Subtract(bite);
  picture.Fill(moon, Solid(style.Colour("gold")));
  Face(picture, style, f, p, hx, headY, 6.5f, false);
  if (p.sparkle) Sparkle(picture, style, f, headY + 18);
}

void Owl(Picture& picture, const Style& style, const Frame& f, const Pose& p) {
  Shadow(picture, style, f, 18, p.lift);
  const float cy = p.lift + 26 * p.squash, hx = p.lean * 0.7f;
  Mask wings = picture.NewMask();
  Arm(wings, f, -14, cy + 8, p.left, 14, 8, true);
  Arm(wings, f, 14, cy + 8, p.right, 14, 8, false);
  picture.Fill(wings, Solid(style.Colour("indigo")));
  Mask body = picture.NewMask();
  body.Ellipse(f.X(hx * 0.5f), f.Y(cy), f.R(19), f.R(25 * p.squash));
  body.Triangle(f.X(hx - 15), f.Y(cy + 14), f.X(hx - 14), f.Y(cy + 30), f.X(hx - 5), f.Y(cy + 20));
  body.Triangle(f.X(hx + 15), f.Y(cy + 14), f.X(hx + 14), f.Y(cy + 30), f.X(hx + 5), f.Y(cy + 20));
  picture.Fill(body, Vertical(style.Colour("violet"), style.Colour("indigo"), f.Y(cy + 26), f.Y(p.lift)));
  RimLight(picture, style, body, f);
  Mask belly = picture.NewMask();
  belly.Ellipse(f.X(hx * 0.5f), f.Y(cy - 8), f.R(11), f.R(13 * p.squash));
  picture.Fill(belly, Solid(style.Colour("lavender")), 0.45f);
  Mask rims = picture.NewMask();
  rims.Ellipse(f.X(hx - 7), f.Y(cy + 9), f.R(7), f.R(7)).Ellipse(f.X(hx + 7), f.Y(cy + 9), f.R(7), f.R(7));
  picture.Fill(rims, Solid(style.Colour("teal")), 0.9f);
  Mask discs = picture.NewMask();
  discs.Ellipse(f.X(hx - 7), f.Y(cy + 9), f.R(5.5f), f.R(5.5f)).Ellipse(f.X(hx + 7), f.Y(cy + 9), f.R(5.5f), f.R(5.5f));
  picture.Fill(discs, Solid(style.Colour("cream")));
  Mask feet = picture.NewMask();
  feet.Ellipse(f.X(-6), f.Y(p.lift + 1), f.R(4), f.R(2)).Ellipse(f.X(6), f.Y(p.lift + 1), f.R(4), f.R(2));
  picture.Fill(feet, Solid(style.Colour("amber")));
  Face(picture, style, f, p, hx, cy + 9, 7, true);
  Mask beak = picture.NewMask();
  beak.Triangle(f.X(hx - 2.2f), f.Y(cy + 5), f.X(hx + 2.2f), f.Y(cy + 5), f.X(hx), f.Y(cy + 1));
  picture.Fill(beak, Solid(style.Colour("gold")));
  if (p.sparkle) Sparkle(picture, style, f, cy + 30);
}

void Cloud(Picture& picture, const Style& style, const Frame& f, const Pose& p) {
  Shadow(picture, style, f, 19, p.lift + 8);
  const float cy = p.lift + 30 * p.squash, hx = p.lean * 0.6f;
  Mask arms = picture.NewMask();
  Arm(arms, f, -18, cy - 4, p.left, 10, 5, true);
  Arm(arms, f, 18, cy - 4, p.right, 10, 5, false);
  picture.Fill(arms, Solid(style.Colour("mist")));
  Mask body = picture.NewMask();
  body.Ellipse(f.X(hx), f.Y(cy + 6), f.R(14), f.R(14 * p.squash));
  body.Ellipse(f.X(hx - 12), f.Y(cy - 1), f.R(11), f.R(10 * p.squash));
  body.Ellipse(f.X(hx + 12), f.Y(cy - 1), f.R(11), f.R(10 * p.squash));
  body.Rect(f.X(hx - 20), f.Y(cy - 1), f.R(40), f.R(10 * p.squash), f.R(5));
  for (int i = 0; i < 4; ++i) body.Ellipse(f.X(hx - 15 + 10 * i), f.Y(cy - 10 * p.squash), f.R(5.5f), f.R(4));
  Mask glow = picture.NewMask();
  glow.CopyFrom(body);
  glow.Blur(static_cast<int>(f.R(3)));
  picture.Fill(glow, Solid(style.Colour("lavender")), 0.5f, Blend::kAdd);
  picture.Fill(body, Vertical(style.Colour("cream"), style.Colour("mist"), f.Y(cy + 20), f.Y(cy - 14)));
  RimLight(picture, style, body, f);
  Face(picture, style, f, p, hx, cy + 3, 6, false);
  if (p.sparkle) Sparkle(picture, style, f, cy + 24);
}

using Drawer = void (*)(Picture&, const Style&, const Frame&, const Pose&);

const std::map<std::string, Drawer>& Species() {
  static const std::map<std::string, Drawer> table = {{"star", Star}, {"cat", Cat}, {"owl", Owl}, {"cloud", Cloud}};
  return table;
}

}  // namespace

bool IsMascot(const std::string& species) { return Species().count(species) != 0; }
bool IsPose(const std::string& pose) { return Poses().count(pose) != 0; }

std::vector<std::string> PoseNames() {
  std::vector<std::string> names;
  for (const auto& [name, pose] : Poses()) names.push_back(name);
  return names;
}

std::unique_ptr<Picture> MascotSheet(const Style& style, const std::string& species, int w, int h, int columns,
                                     const std::vector<std::string>& poses) {
  const auto drawer = Species().find(species);
  if (drawer == Species().end()) throw std::runtime_error("no character \"" + species + "\"");
  const int rows = (static_cast<int>(poses.size()) + columns - 1) / columns;
  auto picture = std::make_unique<Picture>(w * columns, h * rows, true);
  for (std::size_t i = 0; i < poses.size(); ++i) {
    const auto pose = Poses().find(poses[i]);
    if (pose == Poses().end()) throw std::runtime_error("no pose \"" + poses[i] + "\"");
    const int column = static_cast<int>(i) % columns, row = static_cast<int>(i) / columns;
    const Frame frame{column * w + w / 2.0f, row * h + h - 4.0f, h / 96.0f};
    drawer->second(*picture, style, frame, pose->second);
  }
  return picture;
}

}  // namespace mkdemo
