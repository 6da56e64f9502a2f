// Drawing for the demo game's pictures: a picture is a 32-bit bitmap of the graphics library with an alpha plane;
// shapes and text are first made as coverage masks (alpha planes), then painted through them in a colour, a
// gradient or any colour function, composed "over" what is there (or added, for light).
//
// Pictures start transparent (alpha 0) or opaque black. Colours are straight (not premultiplied), as PNG keeps them.
// Every operation clips to the picture. Masks are as large as the picture, so shapes and text are placed in picture
// coordinates.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "graphics/zoalpha.h"
#include "graphics/zorgbdib.h"

namespace mkdemo {

struct Rgb {
  float r = 0, g = 0, b = 0;  // 0..1
};
Rgb RgbOf(std::uint32_t rrggbb);
Rgb Mix(Rgb a, Rgb b, float t);  // a at 0, b at 1

using Paint = std::function<Rgb(float x, float y)>;
Paint Solid(Rgb colour);
// From `from` at y0 to `to` at y1 (clamped outside).
Paint Vertical(Rgb from, Rgb to, float y0, float y1);
Paint Horizontal(Rgb from, Rgb to, float x0, float x1);
// `centre` colour at (cx, cy) to `edge` at distance r and beyond.
Paint Radial(Rgb centre, Rgb edge, float cx, float cy, float r);

// A coverage mask: 0 outside, 255 inside; edges anti-aliased.
class Mask {
public:
  Mask(int width, int height);
  int Width() const { return plane_.GetWidth(); }
  int Height() const { return plane_.GetHeight(); }
  TZoAlpha& Plane() { return plane_; }
  const TZoAlpha& Plane() const { return plane_; }
  unsigned char At(int x, int y) const { return plane_.PGet(x, y); }

  // The coverage of another mask of the same size.
  Mask& CopyFrom(const Mask& other);
  // Shapes are added (the union, by the larger coverage).
  Mask& Rect(float x, float y, float w, float h, float radius = 0);
  Mask& Ellipse(float cx, float cy, float rx, float ry);
  Mask& Ring(float cx, float cy, float r, float width);
  // A closed polygon of n points (x0, y0, x1, y1, ...), even-odd rule.
  Mask& Polygon(const float* xy, int n);
  Mask& Triangle(float x0, float y0, float x1, float y1, float x2, float y2);
  // The area below the curve y = top(x) down to y = bottom, across the whole mask (hills, shores); a top below
  // `bottom` leaves that column empty.
  Mask& Below(const std::function<float(float x)>& top, float bottom);
  // A line of the given width with round ends.
  Mask& Line(float x0, float y0, float x1, float y1, float width);
  // A five-pointed star of outer radius r, rotated by `turn` (0..1 of a full turn).
  Mask& Star(float cx, float cy, float r, float turn = 0);
  // Text (UTF-8) in the face given by its CP932 name (a Windows face name, mapped to the IPA fonts); the top of
  // the text cell at y. Bold when asked.
  Mask& Text(const std::string& utf8, float x, float y, int pixels, bool bold = false,
             const char* face = kProportionalFace);
  static int TextWidth(const std::string& utf8, int pixels, bool bold = false, const char* face = kProportionalFace);

  // Box blur of the given radius, three passes (near Gaussian); for glows and shadows.
  Mask& Blur(int radius);
  // Grows the covered area by `radius` pixels (the larger coverage within the radius); for outlines.
  Mask& Grow(int radius);
  Mask& Subtract(const Mask& other);

  static const char* const kProportionalFace;  // "ＭＳ Ｐゴシック" in CP932

private:
  // Adds coverage from an inside test sampled 4 x 4 times per pixel over the box.
  void Sample(float x0, float y0, float x1, float y1, const std::function<bool(float, float)>& inside);

  TZoAlpha plane_;
};

enum class Blend { kOver, kAdd };

class Picture {
public:
  Picture(int width, int height, bool transparent);
  int Width() const { return bits_.GetWidth(); }
  int Height() const { return bits_.GetHeight(); }
  TZoRGBDib& Bits() { return bits_; }
  TZoAlpha& Alpha() { return alpha_; }
  Mask NewMask() const { return Mask(Width(), Height()); }

  // Paints through the mask (offset by dx, dy) with the given opacity.
  void Fill(const Mask& mask, const Paint& paint, float opacity = 1, Blend blend = Blend::kOver, int dx = 0,
            int dy = 0);
  // The whole picture.
  void Fill(const Paint& paint);

  // Pixels packed B, G, R, X and the alpha plane packed.
  std::string PackedBgrx();
  std::string PackedAlpha() const;

private:
  TZoRGBDib bits_;
  TZoAlpha alpha_;
};

// A deterministic random sequence (xorshift), for stars, noise and the like.
class Random {
public:
  explicit Random(std::uint32_t seed) : state_(seed == 0 ? 0x9E3779B9u : seed) {}
  std::uint32_t Next();
  float Unit();                     // 0 .. 1
  float Range(float lo, float hi);  // lo .. hi
private:
  std::uint32_t state_;
};

}  // namespace mkdemo
