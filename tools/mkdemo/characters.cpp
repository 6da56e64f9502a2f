#include "tools/mkdemo/characters.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "tools/mkdemo/picfiles.h"
#include "tools/mkdemo/stagepics.h"

namespace mkdemo {

namespace {

constexpr int kFrameW = 260, kFrameH = 480, kSheetW = 360;
constexpr float kCx = 130;  // the body's axis

// Where the pictures laid over the body lie on the sheet.
constexpr float kEyesX = 264, kEyesHalfY = 0, kEyesShutY = 32, kEyesW = 96, kEyesH = 32;
constexpr float kMouthHalfX = 264, kMouthOpenX = 304, kMouthY = 64, kMouthW = 40, kMouthH = 24;
constexpr float kGlintX = 264, kGlintY = 96, kGlintSize = 24;

enum class Hair { kBob, kLong, kShort };
enum class Outfit { kSailor, kCardigan, kBlazer };

struct Person {
  float headY;  // the head's centre
  Hair hair;
  Outfit outfit;
  bool glasses, starPin;
  std::uint32_t hairColour, eyeColour, ribbon;
};

const std::map<std::string, Person>& Persons() {
  static const std::map<std::string, Person> persons = {
      {"yui", {150, Hair::kBob, Outfit::kSailor, false, true, 0x8A5238, 0x3AA6A8, 0xF06A8E}},
      {"kanade", {128, Hair::kLong, Outfit::kCardigan, false, false, 0x3B2B63, 0x7B5CC8, 0x5CD0CF}},
      {"sensei", {118, Hair::kShort, Outfit::kBlazer, true, false, 0x1C1E3E, 0x2E6F8E, 0xF6CB63}},
  };
  return persons;
}

struct Expression {
  enum Eyes { kOpen, kHappy, kWide } eyes;
  float lid;                   // how far the upper lids come down, 0..1
  float browInner, browOuter;  // eyebrow ends raised (-) or lowered (+), in pixels
  enum Mouth { kSmile, kGrin, kO, kWavy, kFrown, kFlat } mouth;
  bool blush, sweat, tear;
};

const std::map<std::string, Expression>& Expressions() {
  static const std::map<std::string, Expression> expressions = {
      {"normal", {Expression::kOpen, 0, 0, 0, Expression::kSmile, true, false, false}},
      {"smile", {Expression::kHappy, 0, -2, 1, Expression::kGrin, true, false, false}},
      {"surprised", {Expression::kWide, 0, -8, -6, Expression::kO, false, false, false}},
      {"troubled", {Expression::kOpen, 0.15f, -7, 3, Expression::kWavy, false, true, false}},
      {"angry", {Expression::kOpen, 0.3f, 6, -3, Expression::kFrown, false, false, false}},
      {"sad", {Expression::kOpen, 0.35f, -6, 4, Expression::kFrown, false, false, true}},
      {"serious", {Expression::kOpen, 0.2f, 2, 0, Expression::kFlat, false, false, false}},
  };
  return expressions;
}

// The colours of one person under the house palette.
struct Colours {
  Rgb skin, skinShade, hair, hairShade, hairLight, eyes, ink, lips, cream, top, topShade, collar, ribbon, skirt;
  Rgb cardigan, blazer, lavender, gold, rose, teal;
};

Colours ColoursOf(const Style& style, const Person& p) {
  Colours c;
  c.cream = style.Colour("cream");
  c.ink = style.Colour("ink");
  c.rose = style.Colour("rose");
  c.gold = style.Colour("gold");
  c.lavender = style.Colour("lavender");
  c.teal = style.Colour("teal");
  c.skin = Mix(c.cream, c.rose, 0.1f);
  c.skinShade = Mix(c.skin, Mix(c.rose, style.Colour("amber"), 0.4f), 0.35f);
  c.hair = RgbOf(p.hairColour);
  c.hairShade = Mix(c.hair, c.ink, 0.45f);
  c.hairLight = Mix(c.hair, c.cream, 0.45f);
  c.eyes = RgbOf(p.eyeColour);
  c.lips = Mix(c.rose, c.ink, 0.35f);
  c.top = Mix(c.cream, c.lavender, 0.12f);
  c.topShade = Mix(c.top, style.Colour("violet"), 0.3f);
  c.collar = Mix(style.Colour("indigo"), style.Colour("violet"), 0.25f);
  c.ribbon = RgbOf(p.ribbon);
  c.skirt = Mix(style.Colour("indigo"), style.Colour("night"), 0.3f);
  c.cardigan = Mix(c.lavender, style.Colour("violet"), 0.25f);
  c.blazer = Mix(style.Colour("teal"), style.Colour("indigo"), 0.5f);
  return c;
}

// The parts of the picture are drawn in frame coordinates moved by (ox, oy): the body at (0, 0), the pictures laid
// over it into the sheet's right column.
struct At {
  float ox = 0, oy = 0;
  float X(float x) const { return x + ox; }
  float Y(float y) const { return y + oy; }
};

// A ∩ B into `a`.
void Intersect(Mask& a, const Mask& b) {
  Mask outside(a.Width(), a.Height());
  outside.CopyFrom(a);
  outside.Subtract(b);
  a.Subtract(outside);
}

// A soft edge of the shape's own darker colour, two pixels wide, below it: the shape is painted over it.
void Edge(Picture& picture, const Mask& shape, Rgb colour, float opacity = 0.8f) {
  constexpr int kOffsets[4][2] = {{-2, 0}, {2, 0}, {0, -2}, {0, 2}};
  for (const auto& d : kOffsets) picture.Fill(shape, Solid(colour), opacity, Blend::kOver, d[0], d[1]);
}

// ---- Face parts

float EyeY(const Person& p) { return p.headY + 10; }
float MouthY(const Person& p) { return p.headY + 40; }

void Eyes(Picture& picture, const Colours& c, const Person& p, const Expression& e, const At& at) {
  const float ey = EyeY(p);
  Mask lashes = picture.NewMask(), white = picture.NewMask(), iris = picture.NewMask(), pupil = picture.NewMask();
  Mask shine = picture.NewMask(), lids = picture.NewMask();
  for (int side : {-1, 1}) {
    const float ex = kCx + side * 23;
    if (e.eyes == Expression::kHappy) {
      lashes.Line(at.X(ex - 13), at.Y(ey + 3), at.X(ex), at.Y(ey - 7), 3.6f);
      lashes.Line(at.X(ex), at.Y(ey - 7), at.X(ex + 13), at.Y(ey + 3), 3.6f);
      continue;
    }
    const bool wide = e.eyes == Expression::kWide;
    const float wr = wide ? 14.5f : 13, hr = wide ? 16.5f : 15;
    white.Ellipse(at.X(ex), at.Y(ey), wr, hr);
    const float ir = wide ? 6.5f : 9.5f, ih = wide ? 8.5f : 12.5f;
    iris.Ellipse(at.X(ex + side * 0.5f), at.Y(ey + 2), ir, ih);
    pupil.Ellipse(at.X(ex + side * 0.5f), at.Y(ey + 3), ir * 0.42f, ih * 0.45f);
    shine.Ellipse(at.X(ex - 3.5f), at.Y(ey - 4), wide ? 2.2f : 3.2f, wide ? 2.6f : 3.8f);
    shine.Ellipse(at.X(ex + 3.5f), at.Y(ey + 6), 1.4f, 1.4f);
    // The upper lash: thick, with a small wing at the outer corner, lower when the lids come down.
    const float top = ey - hr + 3 + e.lid * hr;
    lashes.Line(at.X(ex - side * (wr + 1)), at.Y(top + 5), at.X(ex - side * 2), at.Y(top - 1), 3.4f);
    lashes.Line(at.X(ex - side * 2), at.Y(top - 1), at.X(ex + side * (wr + 2)), at.Y(top + 4), 3.4f);
    lashes.Line(at.X(ex + side * (wr + 2)), at.Y(top + 4), at.X(ex + side * (wr + 5)), at.Y(top + 1), 2.2f);
    if (e.lid > 0) lids.Rect(at.X(ex - wr - 2), at.Y(ey - hr - 2), 2 * wr + 4, top - (ey - hr - 2));
  }
  Intersect(iris, white);
  Intersect(pupil, white);
  picture.Fill(white, Solid(c.cream));
  picture.Fill(iris, Vertical(Mix(c.eyes, c.ink, 0.55f), Mix(c.eyes, c.cream, 0.25f), at.Y(ey - 12), at.Y(ey + 14)));
  picture.Fill(pupil, Solid(Mix(c.eyes, c.ink, 0.75f)));
  picture.Fill(shine, Solid(c.cream));
  Intersect(lids, white);
  picture.Fill(lids, Solid(c.skin));
  picture.Fill(lashes, Solid(Mix(c.hairShade, c.ink, 0.5f)));
  if (e.tear) {
    Mask tear = picture.NewMask();
    tear.Ellipse(at.X(kCx - 30), at.Y(ey + 14), 2.5f, 3.5f);
    picture.Fill(tear, Solid(Mix(c.cream, c.lavender, 0.4f)), 0.9f);
  }
}

void Brows(Picture& picture, const Colours& c, const Person& p, const Expression& e) {
  const float by = EyeY(p) - 27;
  Mask brows = picture.NewMask();
  for (int side : {-1, 1}) {
    const float inner = kCx + side * 9, outer = kCx + side * 36;
    brows.Line(inner, by + e.browInner, kCx + side * 22, by - 2 + (e.browInner + e.browOuter) / 2, 2.6f);
    brows.Line(kCx + side * 22, by - 2 + (e.browInner + e.browOuter) / 2, outer, by + 1 + e.browOuter, 2.2f);
  }
  picture.Fill(brows, Solid(c.hairShade));
}

void Mouth(Picture& picture, const Colours& c, const Person& p, Expression::Mouth mouth, const At& at) {
  const float my = MouthY(p);
  Mask line = picture.NewMask(), inside = picture.NewMask(), tongue = picture.NewMask();
  switch (mouth) {
    case Expression::kSmile:
      line.Line(at.X(kCx - 8), at.Y(my - 1), at.X(kCx), at.Y(my + 2), 2.2f);
      line.Line(at.X(kCx), at.Y(my + 2), at.X(kCx + 8), at.Y(my - 1), 2.2f);
      break;
    case Expression::kGrin: {
      inside.Ellipse(at.X(kCx), at.Y(my), 10, 8);
      Mask upper = picture.NewMask();
      upper.Rect(at.X(kCx - 12), at.Y(my - 10), 24, 9);
      inside.Subtract(upper);
      tongue.Ellipse(at.X(kCx), at.Y(my + 6), 5.5f, 3);
      break;
    }
    case Expression::kO: inside.Ellipse(at.X(kCx), at.Y(my + 2), 5, 6.5f); break;
    case Expression::kWavy:
      for (int i = 0; i < 4; ++i)
        line.Line(at.X(kCx - 9 + i * 4.5f), at.Y(my + (i % 2 == 0 ? 1 : -1)), at.X(kCx - 4.5f + i * 4.5f),
                  at.Y(my + (i % 2 == 0 ? -1 : 1)), 2);
      break;
    case Expression::kFrown:
      line.Line(at.X(kCx - 8), at.Y(my + 3), at.X(kCx), at.Y(my), 2.2f);
      line.Line(at.X(kCx), at.Y(my), at.X(kCx + 8), at.Y(my + 3), 2.2f);
      break;
    case Expression::kFlat: line.Line(at.X(kCx - 7), at.Y(my + 1), at.X(kCx + 7), at.Y(my + 1), 2.2f); break;
  }
  picture.Fill(inside, Solid(Mix(c.lips, c.ink, 0.35f)));
  picture.Fill(tongue, Solid(c.rose), 0.85f);
  picture.Fill(line, Solid(c.lips));
}

// The skin laid over an eye or the mouth before the part is drawn again, shut or open.
void SkinPatch(Picture& picture, const Colours& c, float x, float y, float rx, float ry) {
  Mask patch = picture.NewMask();
  patch.Ellipse(x, y, rx, ry).Blur(1);
  picture.Fill(patch, Solid(c.skin));
}

// ---- Hair

void BackHair(Mask& hair, const Person& p) {
  const float hy = p.headY;
  switch (p.hair) {
    case Hair::kBob: {
      hair.Ellipse(kCx, hy - 6, 66, 64);
      const float xy[] = {kCx - 66, hy - 6, kCx + 66, hy - 6, kCx + 62, hy + 52, kCx - 62, hy + 52};
      hair.Polygon(xy, 4).Ellipse(kCx - 46, hy + 50, 18, 10).Ellipse(kCx + 46, hy + 50, 18, 10);
      break;
    }
    case Hair::kLong: {
      hair.Ellipse(kCx, hy - 8, 62, 64);
      const float xy[] = {kCx - 62, hy - 10, kCx + 62, hy - 10, kCx + 82, 300, kCx + 74, 440,
                          kCx + 40, 452,     kCx - 40, 452,     kCx - 74, 440, kCx - 82, 300};
      hair.Polygon(xy, 8);
      break;
    }
    case Hair::kShort: hair.Ellipse(kCx, hy - 10, 58, 58).Rect(kCx - 50, hy - 10, 100, 40, 12); break;
  }
}

// The hair over the face: the crown down to the hairline, the fringe below it (its tips just over the eyebrows) and
// the locks beside the cheeks.
void FrontHair(Mask& hair, const Person& p) {
  const float hy = p.headY, hairline = hy - 30;
  hair.Ellipse(kCx, hy - 12, 60, 66);
  Mask above(hair.Width(), hair.Height());
  above.Rect(0, 0, kFrameW, hairline);
  Intersect(hair, above);
  switch (p.hair) {
    case Hair::kBob: {
      // Points swept to the right.
      for (int i = 0; i < 7; ++i) {
        const float x = kCx - 56 + i * 16.0f, tip = hy - 12 - 4 * std::abs(i - 3.0f);
        hair.Triangle(x - 2, hairline - 2, x + 20, hairline - 2, x + 12, tip);
      }
      const float left[] = {kCx - 60, hy - 24,  kCx - 44, hy - 16,  kCx - 40,
                            hy + 44,  kCx - 52, hy + 58,  kCx - 62, hy + 20};
      const float right[] = {kCx + 60, hy - 24,  kCx + 44, hy - 16,  kCx + 40,
                             hy + 44,  kCx + 52, hy + 58,  kCx + 62, hy + 20};
      hair.Polygon(left, 5).Polygon(right, 5);
      hair.Line(kCx + 4, hy - 76, kCx + 16, hy - 94, 3).Line(kCx + 16, hy - 94, kCx + 26, hy - 88, 2.5f);  // a curl
      break;
    }
    case Hair::kLong: {
      // A straight fringe, and long locks framing the face.
      hair.Rect(kCx - 52, hairline - 4, 104, 16);
      for (int i = 0; i < 10; ++i)
        hair.Triangle(kCx - 52 + i * 10.4f, hy - 22, kCx - 41.6f + i * 10.4f, hy - 22, kCx - 46.8f + i * 10.4f,
                      hy - 15);
      const float left[] = {kCx - 58, hy - 26, kCx - 45, hy - 18, kCx - 43, hy + 70,
                            kCx - 50, 300,     kCx - 66, 300,     kCx - 62, hy};
      const float right[] = {kCx + 58, hy - 26, kCx + 45, hy - 18, kCx + 43, hy + 70,
                             kCx + 50, 300,     kCx + 66, 300,     kCx + 62, hy};
      hair.Polygon(left, 6).Polygon(right, 6);
      break;
    }
    case Hair::kShort: {
      // Parted on the left, swept across the forehead.
      const float swoop[] = {kCx - 40, hairline - 6, kCx + 58, hairline - 8, kCx + 52, hy - 6,
                             kCx + 24, hy - 20,      kCx - 10, hy - 22,      kCx - 36, hy - 26};
      hair.Polygon(swoop, 6);
      const float left[] = {kCx - 58, hy - 30, kCx - 47, hy - 14, kCx - 47, hy + 16, kCx - 57, hy + 10};
      const float right[] = {kCx + 58, hy - 30, kCx + 47, hy - 14, kCx + 47, hy + 16, kCx + 57, hy + 10};
      hair.Polygon(left, 4).Polygon(right, 4);
      break;
    }
  }
}

void PaintHair(Picture& picture, const Colours& c, const Person& p, const Mask& hair, bool front) {
  Edge(picture, hair, Mix(c.hairShade, c.ink, 0.3f));
  picture.Fill(hair, Vertical(c.hair, c.hairShade, p.headY - 70, front ? p.headY + 20 : 430));
  if (!front) return;
  // A ring of light across the crown.
  Mask band = picture.NewMask();
  band.Ring(kCx - 6, p.headY - 8, 48, 5);
  Mask top = picture.NewMask();
  top.Rect(0, p.headY - 70, kFrameW, 40);
  Intersect(band, top);
  Intersect(band, hair);
  band.Blur(1);
  picture.Fill(band, Solid(c.hairLight), 0.7f);
}

// ---- Body

void Body(Picture& picture, const Colours& c, const Person& p) {
  const float hy = p.headY;
  const float neckTop = hy + 40, shoulders = hy + 92;
  // The skirt below the waist, then the arms and the torso.
  Mask skirt = picture.NewMask();
  const float sk[] = {kCx - 60, 404, kCx + 60, 404, kCx + 86, kFrameH, kCx - 86, kFrameH};
  skirt.Polygon(sk, 4);
  Edge(picture, skirt, c.ink, 0.5f);
  if (p.outfit == Outfit::kBlazer) {
    picture.Fill(skirt, Solid(Mix(c.blazer, c.ink, 0.45f)));  // the suit's straight skirt
  } else {
    picture.Fill(skirt, Solid(c.skirt));
    Mask pleats = picture.NewMask();
    for (int i = -3; i <= 3; ++i) pleats.Line(kCx + i * 16.0f, 412, kCx + i * 23.0f, kFrameH, 1.4f);
    picture.Fill(pleats, Solid(c.ink), 0.35f);
  }
  const Rgb sleeve = p.outfit == Outfit::kCardigan ? c.cardigan : p.outfit == Outfit::kBlazer ? c.blazer : c.top;
  Mask arms = picture.NewMask(), hands = picture.NewMask();
  for (int side : {-1, 1}) {
    const float sx = kCx + side * 70, ex = kCx + side * 86, wx = kCx + side * 74;
    arms.Line(sx, shoulders + 10, ex, shoulders + 120, 34).Line(ex, shoulders + 120, wx, 410, 28);
    hands.Ellipse(wx - side * 2, 424, 14, 17);
  }
  Edge(picture, arms, Mix(sleeve, c.ink, 0.5f), 0.6f);
  picture.Fill(arms, Solid(sleeve));
  Edge(picture, hands, c.skinShade, 0.8f);
  picture.Fill(hands, Solid(c.skin));
  Mask torso = picture.NewMask();
  const float t[] = {kCx - 40, shoulders - 16, kCx + 40, shoulders - 16, kCx + 74, shoulders + 4, kCx + 62,
                     300,      kCx + 58,       412,      kCx - 58,       412,      kCx - 62,      300,
                     kCx - 74, shoulders + 4};
  torso.Polygon(t, 8).Ellipse(kCx - 62, shoulders + 10, 16, 16).Ellipse(kCx + 62, shoulders + 10, 16, 16);
  Mask neck = picture.NewMask();
  neck.Rect(kCx - 15, neckTop, 30, shoulders - neckTop);
  picture.Fill(neck, Vertical(c.skinShade, c.skin, neckTop, shoulders));
  Edge(picture, torso, Mix(c.topShade, c.ink, 0.3f), 0.6f);
  picture.Fill(torso, Vertical(c.top, c.topShade, shoulders, 412));
  // The sailor collar and the ribbon (under the cardigan and the blazer, they show in the opening).
  Mask collar = picture.NewMask(), stripes = picture.NewMask();
  for (int side : {-1, 1}) {
    const float xy[] = {kCx + side * 38, shoulders - 16, kCx + side * 76, shoulders + 6,
                        kCx + side * 8,  shoulders + 86, kCx + side * 2,  shoulders + 60};
    collar.Polygon(xy, 4);
    stripes.Line(kCx + side * 62, shoulders + 8, kCx + side * 10, shoulders + 74, 1.6f);
  }
  Mask opening = picture.NewMask();
  const float v[] = {kCx - 20, shoulders - 16, kCx + 20, shoulders - 16, kCx, shoulders + 50};
  opening.Polygon(v, 3);
  picture.Fill(opening, Vertical(c.skinShade, c.skin, shoulders - 16, shoulders + 50));
  if (p.outfit != Outfit::kBlazer) {
    picture.Fill(collar, Solid(c.collar));
    picture.Fill(stripes, Solid(c.cream), 0.9f);
  }
  // A cardigan or a blazer over the top, open in front.
  if (p.outfit != Outfit::kSailor) {
    Mask coat = picture.NewMask();
    coat.CopyFrom(torso);
    Mask front = picture.NewMask();
    const float gap = p.outfit == Outfit::kBlazer ? 30 : 22;
    const float f[] = {kCx - gap, shoulders - 16,   kCx + gap, shoulders - 16, kCx + gap * 0.4f,
                       300,       kCx - gap * 0.4f, 300};
    front.Polygon(f, 4);
    coat.Subtract(front);
    picture.Fill(coat, Vertical(sleeve, Mix(sleeve, c.ink, 0.25f), shoulders, 412));
    Mask trim = picture.NewMask();
    for (int side : {-1, 1}) trim.Line(kCx + side * gap, shoulders - 14, kCx + side * gap * 0.4f, 300, 3);
    picture.Fill(trim, Solid(Mix(sleeve, c.ink, 0.35f)));
    if (p.outfit == Outfit::kBlazer) {
      Mask lapels = picture.NewMask();
      for (int side : {-1, 1}) {
        const float xy[] = {kCx + side * gap,          shoulders - 14, kCx + side * (gap + 22), shoulders + 30,
                            kCx + side * (gap * 0.6f), shoulders + 96};
        lapels.Polygon(xy, 3);
      }
      picture.Fill(lapels, Solid(Mix(sleeve, c.ink, 0.35f)));
      Mask brooch = picture.NewMask();
      brooch.Star(kCx - 46, shoulders + 44, 7);
      picture.Fill(brooch, Solid(c.gold));
    } else {
      Mask buttons = picture.NewMask();
      for (int i = 0; i < 3; ++i) buttons.Ellipse(kCx - gap * 0.7f - 4, shoulders + 100 + i * 44.0f, 3.5f, 3.5f);
      picture.Fill(buttons, Solid(c.cream));
    }
  }
  // The ribbon of the uniform; the teacher's blouse has a button at its collar.
  Mask ribbon = picture.NewMask();
  const float by = shoulders + 62;
  if (p.outfit == Outfit::kBlazer) {
    ribbon.Ellipse(kCx, shoulders - 8, 4, 4);
  } else {
    ribbon.Triangle(kCx, by, kCx - 26, by - 12, kCx - 24, by + 14)
        .Triangle(kCx, by, kCx + 26, by - 12, kCx + 24, by + 14);
    ribbon.Triangle(kCx - 4, by, kCx - 16, by + 44, kCx - 4, by + 40)
        .Triangle(kCx + 4, by, kCx + 16, by + 44, kCx + 4, by + 40);
    ribbon.Ellipse(kCx, by, 6, 6);
  }
  Edge(picture, ribbon, Mix(c.ribbon, c.ink, 0.45f), 0.7f);
  picture.Fill(ribbon, Vertical(c.ribbon, Mix(c.ribbon, c.ink, 0.2f), by - 14, by + 44));
}

void Head(Picture& picture, const Colours& c, const Person& p) {
  const float hy = p.headY;
  Mask face = picture.NewMask();
  face.Ellipse(kCx, hy - 6, 49, 50);
  const float jaw[] = {kCx - 48, hy, kCx + 48, hy, kCx + 34, hy + 40, kCx, hy + 58, kCx - 34, hy + 40};
  face.Polygon(jaw, 5).Ellipse(kCx - 48, hy + 8, 7, 11).Ellipse(kCx + 48, hy + 8, 7, 11);
  Edge(picture, face, c.skinShade);
  picture.Fill(face, Solid(c.skin));
}

void FaceDetails(Picture& picture, const Colours& c, const Person& p, const Expression& e) {
  const float hy = p.headY;
  if (e.blush) {
    Mask cheeks = picture.NewMask();
    cheeks.Ellipse(kCx - 30, EyeY(p) + 28, 11, 5).Ellipse(kCx + 30, EyeY(p) + 28, 11, 5).Blur(3);
    picture.Fill(cheeks, Solid(c.rose), 0.35f);
  }
  Mask nose = picture.NewMask();
  nose.Line(kCx + 1, hy + 24, kCx - 1, hy + 28, 1.6f);
  picture.Fill(nose, Solid(c.skinShade));
  Eyes(picture, c, p, e, {});
  Brows(picture, c, p, e);
  Mouth(picture, c, p, e.mouth, {});
  if (e.sweat) {
    Mask drop = picture.NewMask();
    drop.Ellipse(kCx + 52, hy - 6, 4.5f, 6).Triangle(kCx + 48, hy - 4, kCx + 56, hy - 4, kCx + 52, hy - 16);
    picture.Fill(drop, Solid(Mix(c.teal, c.cream, 0.5f)), 0.85f);
  }
}

// The star hairpin's place (Yui): its centre, and the glint laid over it.
float PinX() { return kCx + 40; }
float PinY(const Person& p) { return p.headY - 40; }

void Accessories(Picture& picture, const Colours& c, const Person& p) {
  if (p.starPin) {
    Mask pin = picture.NewMask();
    pin.Star(PinX(), PinY(p), 10, 0.05f);
    Edge(picture, pin, c.ink, 0.35f);
    picture.Fill(pin, Radial(c.cream, c.gold, PinX() - 3, PinY(p) - 3, 11));
  }
  if (p.glasses) {
    Mask rims = picture.NewMask();
    for (int side : {-1, 1}) rims.Ring(kCx + side * 23, EyeY(p), 20, 2.4f);
    rims.Line(kCx - 4, EyeY(p) - 2, kCx + 4, EyeY(p) - 2, 2);
    picture.Fill(rims, Solid(Mix(c.collar, c.ink, 0.3f)));
    Mask glare = picture.NewMask();
    for (int side : {-1, 1}) glare.Line(kCx + side * 23 - 10, EyeY(p) - 8, kCx + side * 23 - 4, EyeY(p) - 14, 2);
    picture.Fill(glare, Solid(c.cream), 0.6f);
  }
}

// The pictures laid over the body: eyes half shut and shut, mouth half open and open, the hairpin's glint.
void Overlays(Picture& picture, const Colours& c, const Person& p) {
  const float ey = EyeY(p), my = MouthY(p);
  const At half{kEyesX - (kCx - kEyesW / 2), kEyesHalfY - (ey - kEyesH / 2)};
  const At shut{kEyesX - (kCx - kEyesW / 2), kEyesShutY - (ey - kEyesH / 2)};
  for (int side : {-1, 1}) {
    const float ex = kCx + side * 23;
    for (const At& at : {half, shut}) SkinPatch(picture, c, at.X(ex), at.Y(ey), 17, 14);
  }
  // Half shut: the lower half of the eye under a lowered lash.
  Expression lowered = Expressions().at("normal");
  lowered.lid = 0.55f;
  Eyes(picture, c, p, lowered, half);
  Mask lashes = picture.NewMask();
  for (int side : {-1, 1}) {
    const float ex = kCx + side * 23;
    lashes.Line(shut.X(ex - 14), shut.Y(ey + 1), shut.X(ex), shut.Y(ey + 5), 3);
    lashes.Line(shut.X(ex), shut.Y(ey + 5), shut.X(ex + 14), shut.Y(ey + 1), 3);
    lashes.Line(shut.X(ex + side * 14), shut.Y(ey + 1), shut.X(ex + side * 17), shut.Y(ey - 2), 2);
  }
  picture.Fill(lashes, Solid(Mix(c.hairShade, c.ink, 0.5f)));
  // Keep every overlay inside its own block of the sheet.
  const At halfOpen{kMouthHalfX - (kCx - kMouthW / 2), kMouthY - (my - kMouthH / 2)};
  const At open{kMouthOpenX - (kCx - kMouthW / 2), kMouthY - (my - kMouthH / 2)};
  for (const At& at : {halfOpen, open}) SkinPatch(picture, c, at.X(kCx), at.Y(my + 1), 15, 10);
  Mask small = picture.NewMask(), wide = picture.NewMask(), tongue = picture.NewMask();
  small.Ellipse(halfOpen.X(kCx), halfOpen.Y(my + 2), 6, 4);
  wide.Ellipse(open.X(kCx), open.Y(my + 3), 8, 7);
  tongue.Ellipse(open.X(kCx), open.Y(my + 7), 4.5f, 2.5f);
  picture.Fill(small, Solid(Mix(c.lips, c.ink, 0.35f)));
  picture.Fill(wide, Solid(Mix(c.lips, c.ink, 0.35f)));
  picture.Fill(tongue, Solid(c.rose), 0.85f);
  if (p.starPin) {
    const float gx = kGlintX + kGlintSize / 2, gy = kGlintY + kGlintSize / 2;
    Mask glint = picture.NewMask(), glow = picture.NewMask();
    glint.Line(gx - 11, gy, gx + 11, gy, 1.6f).Line(gx, gy - 11, gx, gy + 11, 1.6f).Ellipse(gx, gy, 3, 3);
    glow.Ellipse(gx, gy, 7, 7).Blur(2);
    picture.Fill(glow, Solid(c.gold), 0.6f);
    picture.Fill(glint, Solid(c.cream));
  }
}

std::unique_ptr<Picture> Sheet(const Style& style, const Person& p, const Expression& e) {
  auto picture = std::make_unique<Picture>(kSheetW, kFrameH, true);
  const Colours c = ColoursOf(style, p);
  Mask back = picture->NewMask();
  BackHair(back, p);
  PaintHair(*picture, c, p, back, false);
  Body(*picture, c, p);
  Head(*picture, c, p);
  FaceDetails(*picture, c, p, e);
  Mask front = picture->NewMask();
  FrontHair(front, p);
  Mask shade = picture->NewMask();
  shade.CopyFrom(front);
  shade.Blur(4);
  picture->Fill(shade, Solid(c.ink), 0.18f, Blend::kOver, 0, 5);
  PaintHair(*picture, c, p, front, true);
  Accessories(*picture, c, p);
  Overlays(*picture, c, p);
  return picture;
}

std::string Definition(const Person& p, const Expression& e) {
  const int eyesX = static_cast<int>(kCx - kEyesW / 2), eyesY = static_cast<int>(EyeY(p) - kEyesH / 2);
  const int mouthX = static_cast<int>(kCx - kMouthW / 2), mouthY = static_cast<int>(MouthY(p) - kMouthH / 2);
  char text[2048];
  int n = std::snprintf(
      text, sizeof text,
      "; the standing picture and the pictures laid over it\r\n"
      "[BASE]\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "[IMG]\r\nID=0\r\nPOSX=0\r\nPOSY=0\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "[IMG]\r\nID=1\r\nPOSX=%d\r\nPOSY=%d\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "[IMG]\r\nID=2\r\nPOSX=%d\r\nPOSY=%d\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "[IMG]\r\nID=3\r\nPOSX=%d\r\nPOSY=%d\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "[IMG]\r\nID=4\r\nPOSX=%d\r\nPOSY=%d\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "[IMG]\r\nID=5\r\nPOSX=%d\r\nPOSY=%d\r\nWIDTH=%d\r\nHEIGHT=%d\r\n"
      "; blink, talk, the hairpin's glint (picture 15 is none: the body as drawn)\r\n"
      "[ANIM]\r\nID=0\r\nANIMATION=<15,1><1,2><2,3><1,2><15,1><END>\r\n"
      "[ANIM]\r\nID=1\r\nANIMATION=<15,3><3,3><4,4><3,3><LOOP>\r\n"
      "[ANIM]\r\nID=2\r\nANIMATION=<15,70><5,3><15,2><5,3><LOOP>\r\n"
      "[ENTRY]\r\nID=0\r\nPOSX=0\r\nPOSY=0\r\nIMG_ID=0\r\n"
      "[ENTRY]\r\nID=2\r\nPOSX=%d\r\nPOSY=%d\r\nANIM_ID=1\r\n",
      kFrameW, kFrameH, kFrameW, kFrameH, static_cast<int>(kEyesX), static_cast<int>(kEyesHalfY),
      static_cast<int>(kEyesW), static_cast<int>(kEyesH), static_cast<int>(kEyesX), static_cast<int>(kEyesShutY),
      static_cast<int>(kEyesW), static_cast<int>(kEyesH), static_cast<int>(kMouthHalfX), static_cast<int>(kMouthY),
      static_cast<int>(kMouthW), static_cast<int>(kMouthH), static_cast<int>(kMouthOpenX), static_cast<int>(kMouthY),
      static_cast<int>(kMouthW), static_cast<int>(kMouthH), static_cast<int>(kGlintX), static_cast<int>(kGlintY),
      static_cast<int>(kGlintSize), static_cast<int>(kGlintSize), mouthX, mouthY);
  std::string out(text, static_cast<std::size_t>(n));
  if (e.eyes != Expression::kHappy) {
    std::snprintf(text, sizeof text, "[ENTRY]\r\nID=1\r\nPOSX=%d\r\nPOSY=%d\r\nANIM_ID=0\r\n", eyesX, eyesY);
    out += text;
  }
  if (p.starPin) {
    std::snprintf(text, sizeof text, "[ENTRY]\r\nID=3\r\nPOSX=%d\r\nPOSY=%d\r\nANIM_ID=2\r\n",
                  static_cast<int>(PinX() - kGlintSize / 2), static_cast<int>(PinY(p) - kGlintSize / 2));
    out += text;
  }
  return out;
}

std::string Name3(const char* ext, int number) {
  char name[32];
  std::snprintf(name, sizeof name, "chr%03d%s", number, ext);
  return name;
}

}  // namespace

void AddCharacters(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  for (const StageData::Person& person : ReadStageData(context.dataFolder).characters) {
    const auto who = Persons().find(person.person);
    if (who == Persons().end()) throw std::runtime_error("stage.txt: no person \"" + person.person + "\"");
    for (std::size_t i = 0; i < person.expressions.size(); ++i) {
      const auto what = Expressions().find(person.expressions[i]);
      if (what == Expressions().end())
        throw std::runtime_error("stage.txt: no expression \"" + person.expressions[i] + "\"");
      const int number = person.first + static_cast<int>(i);
      const Person& p = who->second;
      const Expression& e = what->second;
      assets.push_back({Name3(".png", number), Place::kSet,
                        [&style, &p, &e] { return PngFile(*Sheet(style, p, e), true); }, "EvCG"});
      assets.push_back({Name3(".ini", number), Place::kSet, [&p, &e] { return Definition(p, e); }, "EvCG"});
    }
  }
}

}  // namespace mkdemo
