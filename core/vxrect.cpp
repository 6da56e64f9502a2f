#include "core/vxrect.h"

#include <algorithm>

namespace {

constexpr VXRect kEmpty{0, 0, 0, 0};

}  // namespace

// --- Two rectangles --------------------------------------------------------------------------------------------

VXRect& VXIntersectRect(const VXRect& a, const VXRect& b, VXRect& out) {
  if (a.IsRectEmpty() || b.IsRectEmpty() || !a.IsCross(b)) return out = kEmpty;
  return out = VXRect{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                      std::min(a.bottom, b.bottom)};
}

VXRect& VXUnionRect(const VXRect& a, const VXRect& b, VXRect& out) {
  if (a.IsRectEmpty()) return out = b.IsRectEmpty() ? kEmpty : b;
  if (b.IsRectEmpty()) return out = a;
  return out = VXRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                      std::max(a.bottom, b.bottom)};
}

namespace {

// Cuts from the span [lo, hi) of `a` the part that [cutLo, cutHi) covers at one end; false when all is covered.
bool CutSpan(std::int32_t& lo, std::int32_t& hi, std::int32_t cutLo, std::int32_t cutHi) {
  if (lo >= cutLo) {
    if (lo < cutHi) {
      if (cutHi >= hi) return false;
      lo = cutHi;
    }
  } else if (cutLo < hi && hi <= cutHi) {
    hi = cutLo;
  }
  return true;
}

}  // namespace

VXRect& VXSubtractRect(const VXRect& a, const VXRect& b, VXRect& out) {
  if (a.IsRectEmpty()) return out = kEmpty;
  VXRect r = a;
  bool left = true;
  if (b.left <= a.left && b.right >= a.right) {
    left = CutSpan(r.top, r.bottom, b.top, b.bottom);
  } else if (b.top <= a.top && b.bottom >= a.bottom) {
    left = CutSpan(r.left, r.right, b.left, b.right);
  }
  return out = left ? r : kEmpty;
}

// --- VXRect ----------------------------------------------------------------------------------------------------

bool VXRect::EqualRect(const VXRect& r) const { return *this == r; }

bool VXRect::InflateRect(std::int32_t dx, std::int32_t dy) {
  left -= dx;
  top -= dy;
  right += dx;
  bottom += dy;
  return true;
}

bool VXRect::IntersectRect(const VXRect& r) { return IntersectRect(*this, r); }
bool VXRect::IntersectRect(const VXRect& a, const VXRect& b) { return !VXIntersectRect(a, b, *this).IsRectEmpty(); }
bool VXRect::UnionRect(const VXRect& r) { return UnionRect(*this, r); }
bool VXRect::UnionRect(const VXRect& a, const VXRect& b) { return !VXUnionRect(a, b, *this).IsRectEmpty(); }
bool VXRect::SubtractRect(const VXRect& r) { return SubtractRect(*this, r); }

bool VXRect::SubtractRect(const VXRect& a, const VXRect& b) {
  VXSubtractRect(a, b, *this);
  return true;
}

bool VXRect::OffsetRect(std::int32_t dx, std::int32_t dy) {
  left += dx;
  right += dx;
  top += dy;
  bottom += dy;
  return true;
}

bool VXRect::SetRectEmpty() {
  *this = kEmpty;
  return true;
}

bool VXRect::InRect(const VXRect& r) const {
  return r.left >= left && r.right <= right && r.top >= top && r.bottom <= bottom;
}

bool VXRect::IsCross(const VXRect& r) const {
  return r.left < right && r.right > left && r.top < bottom && r.bottom > top;
}

void VXRect::FlipX() {
  const std::int32_t oldLeft = left;
  left = -right;
  right = -oldLeft;
}

void VXRect::FlipY() {
  const std::int32_t oldTop = top;
  top = -bottom;
  bottom = -oldTop;
}

// --- VXRectSet -------------------------------------------------------------------------------------------------

bool VXRectSet::UnionRect(const VXRect& added) {
  VXRect r = added;
  if (r.IsRectEmpty()) return !IsRectEmpty();
  for (std::size_t i = 0; i < rects_.size();) {
    const VXRect e = rects_[i];
    if (e.InRect(r)) return true;
    if (r.InRect(e)) {
      RemoveAt(i);
      continue;
    }
    VXRect x;
    if (!VXIntersectRect(r, e, x).IsRectEmpty()) {
      // Replace e by three bands that cover r and e exactly: the rows they share, and what lies above and below
      // them (which belongs to only one of the two).
      RemoveAt(i);
      VXRect top = kEmpty;
      if (x.top > r.top) {
        top = {r.left, r.top, r.right, x.top};
      } else if (x.top > e.top) {
        top = {e.left, e.top, e.right, x.top};
      }
      const VXRect middle{std::min(r.left, e.left), x.top, std::max(r.right, e.right), x.bottom};
      VXRect bottom = kEmpty;
      if (x.bottom < r.bottom) {
        bottom = {r.left, x.bottom, r.right, r.bottom};
      } else if (x.bottom < e.bottom) {
        bottom = {e.left, x.bottom, e.right, e.bottom};
      }
      UnionRect(top);
      UnionRect(middle);
      UnionRect(bottom);
      return true;
    }
    // Merge only a neighbour that shares a whole edge, so that no area is ever dropped.
    if (r.left == e.left && r.right == e.right && (r.top == e.bottom || r.bottom == e.top)) {
      r.top = std::min(r.top, e.top);
      r.bottom = std::max(r.bottom, e.bottom);
      RemoveAt(i);
      continue;
    }
    if (r.top == e.top && r.bottom == e.bottom && (r.left == e.right || r.right == e.left)) {
      r.left = std::min(r.left, e.left);
      r.right = std::max(r.right, e.right);
      RemoveAt(i);
      continue;
    }
    ++i;
  }
  rects_.push_back(r);
  return true;
}

bool VXRectSet::UnionRectSet(const VXRectSet& s) {
  const std::vector<VXRect> added = s.rects_;  // s may be this set
  for (const VXRect& r : added) UnionRect(r);
  return !IsRectEmpty();
}

bool VXRectSet::IntersectRect(const VXRect& r) {
  for (VXRect& m : rects_) m.IntersectRect(r);
  RemoveEmpty();
  return !IsRectEmpty();
}

bool VXRectSet::IntersectRectSet(const VXRectSet& s) {
  // Clipping to each member of s in turn would keep only what lies in all of them (nothing, for disjoint
  // members); the area wanted is what lies in any of them.
  VXRectSet kept;
  for (const VXRect& m : rects_) {
    for (const VXRect& clip : s.rects_) {
      VXRect x;
      kept.UnionRect(VXIntersectRect(m, clip, x));
    }
  }
  rects_.swap(kept.rects_);
  return !IsRectEmpty();
}

bool VXRectSet::SubtractRect(const VXRect& r) {
  for (VXRect& m : rects_) m.SubtractRect(r);
  RemoveEmpty();
  return true;
}

bool VXRectSet::SubtractRectSet(const VXRectSet& s) {
  const std::vector<VXRect> cut = s.rects_;  // s may be this set
  for (const VXRect& r : cut) SubtractRect(r);
  return true;
}

bool VXRectSet::OffsetRect(std::int32_t dx, std::int32_t dy) {
  for (VXRect& m : rects_) m.OffsetRect(dx, dy);
  return true;
}

bool VXRectSet::SetRectEmpty() {
  rects_.clear();
  return true;
}

bool VXRectSet::IsRectEmpty() const {
  return std::all_of(rects_.begin(), rects_.end(), [](const VXRect& m) { return m.IsRectEmpty(); });
}

VXRect VXRectSet::AllUnionRect() const {
  VXRect all = kEmpty;
  for (const VXRect& m : rects_) all.UnionRect(m);
  return all;
}

void VXRectSet::RemoveEmpty() {
  std::erase_if(rects_, [](const VXRect& m) { return m.IsRectEmpty(); });
}
