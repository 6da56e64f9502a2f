// Geometry and row walking shared by the software bitmap and the alpha plane: margins between rectangles,
// rectangles given by two corners, destination clipping of (x, y, w, h) areas, the guard check after the pixels, the
// line walk, and the order in which the rows of a drawing are visited when a source shares memory with its
// destination.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "core/vxrect.h"

// Corner and line coordinates are clamped to this range before anything else.
constexpr int kZoCoordLimit = 32768;
// Storage larger than this, or a side longer than kZoCoordLimit, is refused as absurd.
constexpr std::int64_t kZoMaxStorageBytes = std::int64_t{1} << 30;

int ZoClampCoord(int v);

// Raises each margin to at least the amount by which `a` sticks out of `b` on that side; a larger margin stays.
// Margins beyond the int range are held at its ends.
void ZoClipRect(const VXRect& a, const VXRect& b, int& left, int& top, int& right, int& bottom);

// One source of a drawing that reads a common w x h area from several pictures: its position (moved by the cut)
// and its size.
struct ZoAreaSource {
  int* x;
  int* y;
  int width, height;
};
// Cuts the w x h area so that it lies inside every source at its position; the destination position and every
// source position move by what was cut on the left and at the top (a position may be named by two sources). In 64
// bits, so no position or size can overflow. False when nothing is left, or when the destination position would
// leave the int range (no picture reaches there).
bool ZoClipToSources(int& dx, int& dy, int& w, int& h, std::initializer_list<ZoAreaSource> sources);

// Two inclusive corners in any order, clamped, ordered and cut to width x height, as a half-open rectangle.
// False when nothing is left.
bool ZoCornerRect(int x1, int y1, int x2, int y2, int width, int height, VXRect& out);

// The rectangle {min x, min y, max x + 1, max y + 1} of two inclusive corners in any order (not cut).
VXRect ZoCornersToRect(int x1, int y1, int x2, int y2);

// An area (x, y, w, h) cut to width x height. skipX and skipY are the columns and rows cut on the left and at the
// top (a source advances by them); cutRight is what was cut on the right.
struct ZoClip {
  int x = 0, y = 0, w = 0, h = 0;
  int skipX = 0, skipY = 0, cutRight = 0;
};
// False when nothing is left. Sizes are computed in 64 bits, so no position or size can overflow.
bool ZoClipArea(int x, int y, int w, int h, int width, int height, ZoClip& out);

// Storage bytes of a picture of `width` x `height` pixels of `bytesPerPixel` bytes plus `extra` bytes, or -1 when
// a side is not positive or the picture is absurdly large.
std::int64_t ZoStorageBytes(int width, int height, int bytesPerPixel, int extra);

// True when the `count` guard bytes kept after a picture's pixels all still hold `value`: nothing wrote past the end.
bool ZoGuardIntact(const unsigned char* guard, int count, unsigned char value);

// A picture's storage from malloc: the pixels zeroed and the `guardBytes` bytes after them set to `guardByte`;
// nullptr when ZoStorageBytes refuses the size or memory runs out. Freed with std::free.
unsigned char* ZoAllocGuarded(int width, int height, int bytesPerPixel, int guardBytes, unsigned char guardByte);

// The line between two points: coordinates clamped, the line run downwards, pixel counts |dx| + 1 and |dy| + 1
// driving the error term. `plot(x, y)` is called for every pixel of the walk, inside the picture or not.
template <class Plot>
void ZoLineWalk(int x1, int y1, int x2, int y2, Plot&& plot) {
  x1 = ZoClampCoord(x1), y1 = ZoClampCoord(y1), x2 = ZoClampCoord(x2), y2 = ZoClampCoord(y2);
  if (y1 > y2) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  const int dx = (x2 > x1 ? x2 - x1 : x1 - x2) + 1;
  const int dy = y2 - y1 + 1;
  const int step = x2 > x1 ? 1 : -1;
  int x = x1, y = y1, error = 0;
  plot(x, y);
  if (dx > dy) {
    while (x != x2) {
      error += dy;
      if (error >= dx) error -= dx, ++y;
      x += step;
      plot(x, y);
    }
  } else {
    while (y != y2) {
      error += dx;
      if (error >= dy) error -= dy, x += step;
      ++y;
      plot(x, y);
    }
  }
}

// The rows of one drawing: a destination and up to two sources, any of which may live in the destination's own
// memory (a bitmap drawn onto itself). Rows are visited in an order in which no source row is overwritten before it
// is read; a source row that overlaps its own destination row is staged through a line buffer first (unless the
// line routine may work in place and the two are the same pixels); a source whose rows overlap in a way no order
// can serve is copied out whole first. Sources that do not touch the destination cost nothing.
class ZoRowPlan {
public:
  static constexpr int kMaxSources = 2;

  ZoRowPlan(unsigned char* dst, std::ptrdiff_t dstPitch, std::size_t dstBytes, int rows);

  // `bytes` is what the line routine reads of each source row. `inPlace`: the routine may read and write the
  // same pixels (an element-wise routine); a mirrored copy may not.
  void Add(const unsigned char* src, std::ptrdiff_t pitch, std::size_t bytes, bool inPlace = true);
  // Allocates what staging needs; false when that fails.
  bool Prepare();

  int Rows() const { return rows_; }
  // True when the rows of the destination and of every source follow each other in memory without a gap (each
  // pitch is its row's bytes) and no source shares memory with the destination: the whole drawing is then one
  // line of Rows() x the row's pixels, from Dst(0) and Src(k, 0). Valid after Prepare.
  bool OneRun() const;
  // The destination row visited i-th, and source k for that row.
  unsigned char* Dst(int i) { return dst_ + pitch_ * Index(i); }
  std::ptrdiff_t Row(int i) const { return Index(i); }  // which row (0 = first) is visited i-th
  // Inline for the common case of a source apart from the destination; the rest goes through Staged.
  const unsigned char* Src(int k, int i) {
    const Source& s = sources_[k];
    return s.touches ? Staged(k, i) : s.row + s.pitch * Index(i);
  }

private:
  struct Source {
    const unsigned char* row;
    std::ptrdiff_t pitch;
    std::size_t bytes;
    bool inPlace;
    bool touches;  // shares memory with the destination area
    std::vector<unsigned char> line;
  };
  std::ptrdiff_t Index(int i) const { return bottomUp_ ? rows_ - 1 - i : i; }
  static bool Overlap(const unsigned char* a, std::size_t an, const unsigned char* b, std::size_t bn);
  static void Span(const unsigned char* row, std::ptrdiff_t pitch, std::size_t bytes, int rows,
                   const unsigned char*& lo, std::size_t& n);
  void CopyOut(Source& s);
  const unsigned char* Staged(int k, int i);

  unsigned char* dst_;
  std::ptrdiff_t pitch_;
  std::size_t bytes_;
  int rows_;
  bool bottomUp_ = false;
  bool orderFixed_ = false;
  int count_ = 0;
  Source sources_[kMaxSources];
  std::vector<unsigned char> whole_[kMaxSources];
};
