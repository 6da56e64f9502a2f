#include "graphics/zoraster.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

int ZoClampCoord(int v) { return std::clamp(v, -kZoCoordLimit, kZoCoordLimit); }

namespace {

int Saturated(std::int64_t v) {
  return static_cast<int>(std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// Raises `margin` to `by` when that is larger.
int Raised(int margin, std::int64_t by) { return Saturated(std::max<std::int64_t>(margin, by)); }

bool FitsInt(std::int64_t v) { return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max(); }

}  // namespace

void ZoClipRect(const VXRect& a, const VXRect& b, int& left, int& top, int& right, int& bottom) {
  left = Raised(left, std::int64_t{b.left} - a.left);
  top = Raised(top, std::int64_t{b.top} - a.top);
  right = Raised(right, std::int64_t{a.right} - b.right);
  bottom = Raised(bottom, std::int64_t{a.bottom} - b.bottom);
}

bool ZoClipToSources(int& dx, int& dy, int& w, int& h, std::initializer_list<ZoAreaSource> sources) {
  std::int64_t left = 0, top = 0, right = 0, bottom = 0;
  for (const ZoAreaSource& s : sources) {
    const std::int64_t x = *s.x, y = *s.y;
    left = std::max(left, -x);
    top = std::max(top, -y);
    right = std::max(right, x + w - s.width);
    bottom = std::max(bottom, y + h - s.height);
  }
  const std::int64_t cw = std::int64_t{w} - left - right, ch = std::int64_t{h} - top - bottom;
  if (cw <= 0 || ch <= 0) return false;
  const std::int64_t nx = dx + left, ny = dy + top;
  if (!FitsInt(nx) || !FitsInt(ny)) return false;
  // Every source position lies inside its picture now; a position named twice moves once.
  std::vector<std::pair<int*, int>> moved;
  for (const ZoAreaSource& s : sources) {
    moved.emplace_back(s.x, static_cast<int>(*s.x + left));
    moved.emplace_back(s.y, static_cast<int>(*s.y + top));
  }
  for (const auto& [at, value] : moved) *at = value;
  dx = static_cast<int>(nx), dy = static_cast<int>(ny);
  w = static_cast<int>(cw), h = static_cast<int>(ch);
  return true;
}

VXRect ZoCornersToRect(int x1, int y1, int x2, int y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1, std::max(y1, y2) + 1};
}

bool ZoCornerRect(int x1, int y1, int x2, int y2, int width, int height, VXRect& out) {
  x1 = ZoClampCoord(x1), y1 = ZoClampCoord(y1), x2 = ZoClampCoord(x2), y2 = ZoClampCoord(y2);
  const int left = std::max(std::min(x1, x2), 0), right = std::min(std::max(x1, x2), width - 1);
  const int top = std::max(std::min(y1, y2), 0), bottom = std::min(std::max(y1, y2), height - 1);
  if (left > right || top > bottom) return false;
  out = {left, top, right + 1, bottom + 1};
  return true;
}

bool ZoClipArea(int x, int y, int w, int h, int width, int height, ZoClip& out) {
  if (w <= 0 || h <= 0 || width <= 0 || height <= 0) return false;
  const std::int64_t left = std::max<std::int64_t>(x, 0), top = std::max<std::int64_t>(y, 0);
  const std::int64_t right = std::min<std::int64_t>(std::int64_t{x} + w, width);
  const std::int64_t bottom = std::min<std::int64_t>(std::int64_t{y} + h, height);
  if (left >= right || top >= bottom) return false;
  out.x = static_cast<int>(left);
  out.y = static_cast<int>(top);
  out.w = static_cast<int>(right - left);
  out.h = static_cast<int>(bottom - top);
  out.skipX = static_cast<int>(left - x);
  out.skipY = static_cast<int>(top - y);
  out.cutRight = static_cast<int>(std::int64_t{x} + w - right);
  return true;
}

std::int64_t ZoStorageBytes(int width, int height, int bytesPerPixel, int extra) {
  if (width <= 0 || height <= 0 || bytesPerPixel <= 0) return -1;
  if (width > kZoCoordLimit || height > kZoCoordLimit) return -1;
  const std::int64_t bytes = std::int64_t{width} * height * bytesPerPixel;
  if (bytes > kZoMaxStorageBytes) return -1;
  return bytes + extra;
}

ZoRowPlan::ZoRowPlan(unsigned char* dst, std::ptrdiff_t dstPitch, std::size_t dstBytes, int rows)
    : dst_(dst), pitch_(dstPitch), bytes_(dstBytes), rows_(std::max(rows, 0)) {}

void ZoRowPlan::Span(const unsigned char* row, std::ptrdiff_t pitch, std::size_t bytes, int rows,
                     const unsigned char*& lo, std::size_t& n) {
  const std::ptrdiff_t last = pitch * (rows - 1);
  lo = last < 0 ? row + last : row;
  n = static_cast<std::size_t>(last < 0 ? -last : last) + bytes;
}

bool ZoRowPlan::Overlap(const unsigned char* a, std::size_t an, const unsigned char* b, std::size_t bn) {
  const auto pa = reinterpret_cast<std::uintptr_t>(a), pb = reinterpret_cast<std::uintptr_t>(b);
  return pa < pb + bn && pb < pa + an;
}

void ZoRowPlan::Add(const unsigned char* src, std::ptrdiff_t pitch, std::size_t bytes, bool inPlace) {
  if (count_ >= kMaxSources) return;
  Source& s = sources_[count_++];
  s.row = src, s.pitch = pitch, s.bytes = bytes, s.inPlace = inPlace, s.touches = false;
  if (rows_ == 0 || src == nullptr) return;
  const unsigned char *dlo, *slo;
  std::size_t dn, sn;
  Span(dst_, pitch_, bytes_, rows_, dlo, dn);
  Span(src, pitch, bytes, rows_, slo, sn);
  s.touches = Overlap(dlo, dn, slo, sn);
}

void ZoRowPlan::CopyOut(Source& s) {
  const int k = static_cast<int>(&s - sources_);
  whole_[k].resize(s.bytes * static_cast<std::size_t>(rows_));
  for (int j = 0; j < rows_; ++j) std::memcpy(&whole_[k][s.bytes * j], s.row + s.pitch * j, s.bytes);
  s.row = whole_[k].data();
  s.pitch = static_cast<std::ptrdiff_t>(s.bytes);
  s.touches = false;
}

bool ZoRowPlan::Prepare() {
  try {
    for (int k = 0; k < count_; ++k) {
      Source& s = sources_[k];
      if (!s.touches) continue;
      const std::size_t span = static_cast<std::size_t>(pitch_ < 0 ? -pitch_ : pitch_);
      // Only rows of one picture (same pitch, rows no longer than the pitch) can be put in a safe order.
      if (s.pitch != pitch_ || s.bytes > span || bytes_ > span) {
        CopyOut(s);
        continue;
      }
      const std::ptrdiff_t offset = s.row - dst_;
      if (offset != 0) {
        // A source lying after the destination in the direction of the rows is read ahead of the writes.
        const bool bottomUp = (offset > 0) != (pitch_ > 0);
        if (orderFixed_ && bottomUp != bottomUp_) {
          CopyOut(s);
          continue;
        }
        bottomUp_ = bottomUp;
        orderFixed_ = true;
      }
      s.line.resize(s.bytes);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool ZoRowPlan::OneRun() const {
  if (pitch_ != static_cast<std::ptrdiff_t>(bytes_)) return false;
  for (int k = 0; k < count_; ++k) {
    const Source& s = sources_[k];
    if (s.touches || s.pitch != static_cast<std::ptrdiff_t>(s.bytes)) return false;
  }
  return true;
}

const unsigned char* ZoRowPlan::Staged(int k, int i) {
  Source& s = sources_[k];
  const unsigned char* row = s.row + s.pitch * Index(i);
  const unsigned char* dst = Dst(i);
  if (!Overlap(row, s.bytes, dst, bytes_) || (row == dst && s.inPlace)) return row;
  std::memcpy(s.line.data(), row, s.bytes);
  return s.line.data();
}

bool ZoGuardIntact(const unsigned char* guard, int count, unsigned char value) {
  return std::all_of(guard, guard + count, [value](unsigned char b) { return b == value; });
}

unsigned char* ZoAllocGuarded(int width, int height, int bytesPerPixel, int guardBytes, unsigned char guardByte) {
  const std::int64_t bytes = ZoStorageBytes(width, height, bytesPerPixel, guardBytes);
  if (bytes < 0) return nullptr;
  // calloc: a large block comes from fresh pages that are zero already, so the pixels are not written twice (once
  // here and once by whatever the picture receives first).
  auto* block = static_cast<unsigned char*>(std::calloc(static_cast<std::size_t>(bytes), 1));
  if (block == nullptr) return nullptr;
  std::memset(block + bytes - guardBytes, guardByte, static_cast<std::size_t>(guardBytes));
  return block;
}
