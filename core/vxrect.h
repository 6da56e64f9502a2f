// Rectangles and rectangle sets: the clip areas, panel areas and dirty regions of the whole program.
//
// VXRect is half-open: it covers columns left .. right - 1 and rows top .. bottom - 1, and is empty when
// right <= left or bottom <= top. Every operation whose result has no area gives the all-zero rectangle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct VXRect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;

  bool EqualRect(const VXRect& r) const;
  bool InflateRect(std::int32_t dx, std::int32_t dy);
  bool IntersectRect(const VXRect& r);  // true when the result is not empty
  bool IntersectRect(const VXRect& a, const VXRect& b);
  bool UnionRect(const VXRect& r);  // bounding rectangle, empty operands ignored; true when not empty
  bool UnionRect(const VXRect& a, const VXRect& b);
  bool SubtractRect(const VXRect& r);  // see VXSubtractRect; always true
  bool SubtractRect(const VXRect& a, const VXRect& b);
  bool IsRectEmpty() const { return right <= left || bottom <= top; }
  bool OffsetRect(std::int32_t dx, std::int32_t dy);
  bool SetRectEmpty();
  bool InRect(std::int32_t x, std::int32_t y) const { return left <= x && x < right && top <= y && y < bottom; }
  bool InRect(const VXRect& r) const;  // r lies inside (edges may coincide)
  bool IsCross(const VXRect& r) const;  // the two overlap
  void FlipX();  // mirror about the vertical axis
  void FlipY();  // mirror about the horizontal axis

  friend bool operator==(const VXRect&, const VXRect&) = default;
};

// Each writes its result to `out` and returns it.
VXRect& VXIntersectRect(const VXRect& a, const VXRect& b, VXRect& out);
VXRect& VXUnionRect(const VXRect& a, const VXRect& b, VXRect& out);
// `a` with one side band cut off: when `b` spans a's whole width (else its whole height) and covers a's top or
// bottom (else left or right) edge, that band goes; when it covers all of `a` the result is empty. In every other
// case (a hole, a notch, a corner) the result is `a`. Not a general difference: never larger than `a`.
VXRect& VXSubtractRect(const VXRect& a, const VXRect& b, VXRect& out);

// A set of rectangles holding an exact union of disjoint, non-empty rectangles. Members have no meaningful order.
class VXRectSet {
public:
  VXRectSet() { rects_.reserve(16); }

  bool UnionRect(const VXRect& r);  // true when the set is not empty afterwards
  bool UnionRectSet(const VXRectSet& s);
  bool IntersectRect(const VXRect& r);  // clips every member; true when any member remains
  bool IntersectRectSet(const VXRectSet& s);  // keeps the area inside any member of s; true when any remains
  bool SubtractRect(const VXRect& r);  // VXSubtractRect on every member; true
  bool SubtractRectSet(const VXRectSet& s);
  bool OffsetRect(std::int32_t dx, std::int32_t dy);
  bool SetRectEmpty();
  bool IsRectEmpty() const;
  VXRect AllUnionRect() const;  // bounding rectangle of all members; all zero for an empty set
  explicit operator VXRect() const { return AllUnionRect(); }

  std::size_t size() const { return rects_.size(); }
  const VXRect& operator[](std::size_t i) const { return rects_[i]; }
  auto begin() const { return rects_.begin(); }
  auto end() const { return rects_.end(); }

private:
  void RemoveAt(std::size_t i) { rects_.erase(rects_.begin() + static_cast<std::ptrdiff_t>(i)); }
  void RemoveEmpty();

  std::vector<VXRect> rects_;
};
