#include "tools/mkdemo/canvas.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "graphics/vxfont.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

namespace {

float Clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

unsigned char Byte(float v) { return static_cast<unsigned char>(std::lround(Clamp01(v) * 255.0f)); }

// Three passes of a running box sum over one line of n values, `step` apart.
void BoxLine(unsigned char* line, int n, int step, int radius, std::vector<int>& work) {
  work.assign(n, 0);
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 0; i < n; ++i) work[i] = line[i * step];
    int sum = 0;
    const int width = 2 * radius + 1;
    for (int i = -radius; i <= radius; ++i) sum += work[std::clamp(i, 0, n - 1)];
    for (int i = 0; i < n; ++i) {
      line[i * step] = static_cast<unsigned char>(sum / width);
      sum += work[std::min(i + radius + 1, n - 1)] - work[std::max(i - radius, 0)];
    }
  }
}

VXString Cp932(const std::string& utf8) { return VXString(Cp932Text(utf8).c_str()); }

VXFontParam FontParam(int pixels, bool bold, const char* face) {
  VXFontParam param;
  param.name = face;
  param.height = -pixels;
  param.quality = vfqAntialiased;
  if (bold) param.style.set(vfsBold);
  return param;
}

}  // namespace

const char* const Mask::kProportionalFace = "\x82\x6c\x82\x72 \x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";

Rgb RgbOf(std::uint32_t rrggbb) {
  return {((rrggbb >> 16) & 0xFF) / 255.0f, ((rrggbb >> 8) & 0xFF) / 255.0f, (rrggbb & 0xFF) / 255.0f};
}

Rgb Mix(Rgb a, Rgb b, float t) {
  t = Clamp01(t);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Paint Solid(Rgb colour) {
  return [colour](float, float) { return colour; };
}

Paint Vertical(Rgb from, Rgb to, float y0, float y1) {
  return [=](float, float y) { return Mix(from, to, (y - y0) / (y1 - y0)); };
}

Paint Horizontal(Rgb from, Rgb to, float x0, float x1) {
  return [=](float x, float) { return Mix(from, to, (x - x0) / (x1 - x0)); };
}

Paint Radial(Rgb centre, Rgb edge, float cx, float cy, float r) {
  return [=](float x, float y) { return Mix(centre, edge, std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) / r); };
}

// ---- Mask

Mask::Mask(int width, int height) {
  if (!plane_.Resize(width, height) || !plane_.Create()) throw std::runtime_error("no alpha plane");
  plane_.Fill(0);
}

void Mask::Sample(float x0, float y0, float x1, float y1, const std::function<bool(float, float)>& inside) {
  const int left = std::max(0, static_cast<int>(std::floor(x0)));
  const int top = std::max(0, static_cast<int>(std::floor(y0)));
  const int right = std::min(Width() - 1, static_cast<int>(std::ceil(x1)));
  const int bottom = std::min(Height() - 1, static_cast<int>(std::ceil(y1)));
  for (int y = top; y <= bottom; ++y) {
    for (int x = left; x <= right; ++x) {
      int hits = 0;
      for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5f) / 4, y + (sy + 0.5f) / 4) ? 1 : 0;
      if (hits == 0) continue;
      unsigned char* p = plane_.At(x, y);
      *p = std::max<unsigned char>(*p, static_cast<unsigned char>(hits == 16 ? 255 : hits * 16));
    }
  }
}

Mask& Mask::CopyFrom(const Mask& other) {
  plane_.Draw(0, 0, &other.plane_, 0, 0, Width(), Height());
  return *this;
}

Mask& Mask::Rect(float x, float y, float w, float h, float radius) {
  const float r = std::min({radius, w / 2, h / 2});
  Sample(x, y, x + w, y + h, [=](float px, float py) {
    if (px < x || px >= x + w || py < y || py >= y + h) return false;
    const float cx = std::clamp(px, x + r, x + w - r);
    const float cy = std::clamp(py, y + r, y + h - r);
    return (px - cx) * (px - cx) + (py - cy) * (py - cy) <= r * r;
  });
  return *this;
}

Mask& Mask::Ellipse(float cx, float cy, float rx, float ry) {
  Sample(cx - rx, cy - ry, cx + rx, cy + ry, [=](float px, float py) {
    const float u = (px - cx) / rx, v = (py - cy) / ry;
    return u * u + v * v <= 1;
  });
  return *this;
}

Mask& Mask::Ring(float cx, float cy, float r, float width) {
  const float inner = r - width / 2, outer = r + width / 2;
  Sample(cx - outer, cy - outer, cx + outer, cy + outer, [=](float px, float py) {
    const float d = std::sqrt((px - cx) * (px - cx) + (py - cy) * (py - cy));
    return d >= inner && d <= outer;
  });
  return *this;
}

Mask& Mask::Polygon(const float* xy, int n) {
  float x0 = xy[0], x1 = xy[0], y0 = xy[1], y1 = xy[1];
  for (int i = 1; i < n; ++i) {
    x0 = std::min(x0, xy[2 * i]), x1 = std::max(x1, xy[2 * i]);
    y0 = std::min(y0, xy[2 * i + 1]), y1 = std::max(y1, xy[2 * i + 1]);
  }
  Sample(x0, y0, x1, y1, [=](float px, float py) {
    bool in = false;
    for (int i = 0, j = n - 1; i < n; j = i++) {
      const float xi = xy[2 * i], yi = xy[2 * i + 1], xj = xy[2 * j], yj = xy[2 * j + 1];
      if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
  });
  return *this;
}

Mask& Mask::Triangle(float x0, float y0, float x1, float y1, float x2, float y2) {
  const float xy[] = {x0, y0, x1, y1, x2, y2};
  return Polygon(xy, 3);
}

Mask& Mask::Below(const std::function<float(float)>& top, float bottom) {
  float highest = bottom;
  for (int x = 0; x <= Width() * 4; ++x) highest = std::min(highest, top(x / 4.0f));
  Sample(0, highest, static_cast<float>(Width()), bottom, [&](float px, float py) { return py >= top(px) && py < bottom; });
  return *this;
}

Mask& Mask::Line(float x0, float y0, float x1, float y1, float width) {
  const float r = width / 2;
  const float dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
  Sample(std::min(x0, x1) - r, std::min(y0, y1) - r, std::max(x0, x1) + r, std::max(y0, y1) + r,
         [=](float px, float py) {
           const float t = length2 == 0 ? 0 : std::clamp(((px - x0) * dx + (py - y0) * dy) / length2, 0.0f, 1.0f);
           const float ex = px - (x0 + t * dx), ey = py - (y0 + t * dy);
           return ex * ex + ey * ey <= r * r;
         });
  return *this;
}

Mask& Mask::Star(float cx, float cy, float r, float turn) {
  float xy[20];
  for (int i = 0; i < 10; ++i) {
    const float radius = i % 2 == 0 ? r : r * 0.45f;
    const float angle = static_cast<float>(2 * M_PI) * (turn + i / 10.0f) - static_cast<float>(M_PI / 2);
    xy[2 * i] = cx + radius * std::cos(angle);
    xy[2 * i + 1] = cy + radius * std::sin(angle);
  }
  return Polygon(xy, 10);
}

Mask& Mask::Text(const std::string& utf8, float x, float y, int pixels, bool bold, const char* face) {
  TZoAlphaDib target;
  target.SetDirection(ddTopDown);
  if (!target.Resize(Width(), Height()) || !target.Create()) throw std::runtime_error("no text plane");
  platform::font::TextTarget* dc = nullptr;
  VXFont font(FontParam(pixels, bold, face));
  if (!target.GetTextTarget(&dc) || !font.Create() || !font.StartTextOut(dc, 0xFFFFFF))
    throw std::runtime_error("no font for " + utf8);
  font.Write(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)), Cp932(utf8));
  font.EndTextOut();
  target.ReleaseDC(dc);
  for (int row = 0; row < Height(); ++row) {
    for (int col = 0; col < Width(); ++col) {
      unsigned char* p = plane_.At(col, row);
      *p = std::max(*p, *target.At(col, row));
    }
  }
  return *this;
}

int Mask::TextWidth(const std::string& utf8, int pixels, bool bold, const char* face) {
  VXFont font(FontParam(pixels, bold, face));
  if (!font.Create()) throw std::runtime_error("no font for " + utf8);
  return font.GetHandle()->MeasureText(Cp932(utf8).c_str()).cx;
}

Mask& Mask::Blur(int radius) {
  if (radius <= 0) return *this;
  std::vector<int> work;
  for (int y = 0; y < Height(); ++y) BoxLine(plane_.At(0, y), Width(), 1, radius, work);
  for (int x = 0; x < Width(); ++x) BoxLine(plane_.At(x, 0), Height(), plane_.GetPitch(), radius, work);
  return *this;
}

Mask& Mask::Grow(int radius) {
  TZoAlpha source;
  source.Resize(Width(), Height());
  source.Create();
  source.Draw(0, 0, &plane_, 0, 0, Width(), Height());
  for (int y = 0; y < Height(); ++y) {
    for (int x = 0; x < Width(); ++x) {
      unsigned char best = 0;
      for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
          if (dx * dx + dy * dy <= radius * radius) best = std::max(best, source.PGet(x + dx, y + dy));
      *plane_.At(x, y) = best;
    }
  }
  return *this;
}

Mask& Mask::Subtract(const Mask& other) {
  plane_.SaturationSub(0, 0, &other.plane_, 0, 0, Width(), Height());
  return *this;
}

// ---- Picture

Picture::Picture(int width, int height, bool transparent) {
  bits_.SetDirection(ddTopDown);
  bits_.SetBitDepth(bd32);
  bits_.SetPixFormat(pf32_888);
  if (!bits_.Resize(width, height) || !bits_.Create() || !alpha_.Resize(width, height) || !alpha_.Create())
    throw std::runtime_error("no picture of that size");
  alpha_.Fill(transparent ? 0 : 255);
}

void Picture::Fill(const Mask& mask, const Paint& paint, float opacity, Blend blend, int dx, int dy) {
  if (!bits_.Lock()) throw std::runtime_error("the picture cannot be locked");
  unsigned char* base = bits_.GetBits();
  const int pitch = bits_.GetPitch();
  for (int y = std::max(0, dy); y < std::min(Height(), dy + mask.Height()); ++y) {
    for (int x = std::max(0, dx); x < std::min(Width(), dx + mask.Width()); ++x) {
      const float as = mask.At(x - dx, y - dy) / 255.0f * opacity;
      if (as <= 0) continue;
      const Rgb c = paint(x + 0.5f, y + 0.5f);
      unsigned char* p = base + y * pitch + x * 4;
      unsigned char* a = alpha_.At(x, y);
      const float ad = *a / 255.0f;
      const float src[3] = {c.b, c.g, c.r};
      if (blend == Blend::kAdd) {
        for (int i = 0; i < 3; ++i) p[i] = Byte(p[i] / 255.0f + src[i] * as);
        *a = Byte(std::max(ad, as));
        continue;
      }
      const float ao = as + ad * (1 - as);
      for (int i = 0; i < 3; ++i) p[i] = Byte((src[i] * as + p[i] / 255.0f * ad * (1 - as)) / ao);
      *a = Byte(ao);
    }
  }
  bits_.Unlock();
}

void Picture::Fill(const Paint& paint) {
  Mask all(Width(), Height());
  all.Plane().Fill(255);
  Fill(all, paint);
}

std::string Picture::PackedBgrx() {
  std::string out(static_cast<std::size_t>(Width()) * Height() * 4, '\0');
  if (!bits_.GetPat(0, 0, Width(), Height(), reinterpret_cast<unsigned char*>(out.data())))
    throw std::runtime_error("the picture cannot be read");
  return out;
}

std::string Picture::PackedAlpha() const {
  std::string out(static_cast<std::size_t>(Width()) * Height(), '\0');
  alpha_.GetAlpha(0, 0, Width(), Height(), reinterpret_cast<unsigned char*>(out.data()));
  return out;
}

// ---- Random

std::uint32_t Random::Next() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

float Random::Unit() { return (Next() >> 8) / 16777216.0f; }

float Random::Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }

}  // namespace mkdemo
