#include "core/vxrect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr VXRect kZero{0, 0, 0, 0};

std::string Show(const VXRectSet& s) {
  std::ostringstream out;
  for (const VXRect& r : s) out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
  return out.str();
}

std::vector<VXRect> Sorted(const VXRectSet& s) {
  std::vector<VXRect> v(s.begin(), s.end());
  std::sort(v.begin(), v.end(), [](const VXRect& a, const VXRect& b) {
    return std::tie(a.top, a.left, a.bottom, a.right) < std::tie(b.top, b.left, b.bottom, b.right);
  });
  return v;
}

VXRectSet SetOf(std::initializer_list<VXRect> rects) {
  VXRectSet s;
  for (const VXRect& r : rects) s.UnionRect(r);
  return s;
}

}  // namespace

void PrintTo(const VXRect& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

TEST(Rect, PairOperationsTable) {
  struct Case {
    VXRect a, b, intersect, unite;
  };
  const Case cases[] = {
      {{0, 0, 10, 10}, {5, 5, 15, 15}, {5, 5, 10, 10}, {0, 0, 15, 15}},
      {{0, 0, 10, 10}, {10, 0, 20, 10}, kZero, {0, 0, 20, 10}},  // touching is not overlapping
      {{0, 0, 10, 10}, {3, 3, 3, 8}, kZero, {0, 0, 10, 10}},     // empty operand ignored
      {{5, 5, 5, 9}, {7, 1, 2, 3}, kZero, kZero},                // both empty
      {{-4, -4, 4, 4}, {-1, -2, 1, 2}, {-1, -2, 1, 2}, {-4, -4, 4, 4}},
  };
  for (const Case& c : cases) {
    VXRect out{9, 9, 9, 9};
    EXPECT_EQ(VXIntersectRect(c.a, c.b, out), c.intersect);
    EXPECT_EQ(VXUnionRect(c.a, c.b, out), c.unite);
    VXRect self = c.a;
    EXPECT_EQ(self.IntersectRect(c.b), !c.intersect.IsRectEmpty());
    EXPECT_EQ(self, c.intersect);
    EXPECT_EQ(self.UnionRect(c.a, c.b), !c.unite.IsRectEmpty());
    EXPECT_EQ(self, c.unite);
  }
}

TEST(Rect, SubtractCutsOnlyWholeSideBands) {
  const VXRect a{0, 0, 10, 10};
  struct Case {
    VXRect b, result;
  };
  const Case cases[] = {
      {{-5, -5, 15, 4}, {0, 4, 10, 10}},    // whole width from above: top trimmed
      {{0, 6, 10, 20}, {0, 0, 10, 6}},      // whole width from below
      {{-1, -1, 4, 11}, {4, 0, 10, 10}},    // whole height from the left
      {{7, 0, 10, 10}, {0, 0, 7, 10}},      // whole height from the right
      {{-1, -1, 11, 11}, kZero},            // covered
      {{2, 2, 8, 8}, a},                    // a hole
      {{2, -1, 8, 5}, a},                   // a notch
      {{5, 5, 20, 20}, a},                  // a corner
      {{0, 3, 10, 7}, a},                   // a band through the middle
      {{0, 10, 10, 20}, a},                 // only touching
  };
  for (const Case& c : cases) {
    VXRect out;
    EXPECT_EQ(VXSubtractRect(a, c.b, out), c.result);
    EXPECT_TRUE(a.InRect(out) || out == kZero);
    VXRect self = a;
    EXPECT_TRUE(self.SubtractRect(c.b));
    EXPECT_EQ(self, c.result);
  }
}

TEST(Rect, MembersOfOneRectangle) {
  VXRect r{1, 2, 5, 7};
  EXPECT_TRUE(r.InRect(1, 2));
  EXPECT_FALSE(r.InRect(5, 2));
  EXPECT_FALSE(r.InRect(1, 7));
  EXPECT_TRUE(r.InRect(VXRect{1, 2, 5, 7}));
  EXPECT_FALSE(r.InRect(VXRect{0, 2, 5, 7}));
  EXPECT_TRUE(r.IsCross(VXRect{4, 6, 9, 9}));
  EXPECT_FALSE(r.IsCross(VXRect{5, 2, 9, 9}));
  EXPECT_TRUE(r.OffsetRect(1, -2));
  EXPECT_EQ(r, (VXRect{2, 0, 6, 5}));
  EXPECT_TRUE(r.InflateRect(1, 2));
  EXPECT_EQ(r, (VXRect{1, -2, 7, 7}));
  r.FlipX();
  EXPECT_EQ(r, (VXRect{-7, -2, -1, 7}));
  r.FlipY();
  EXPECT_EQ(r, (VXRect{-7, -7, -1, 2}));
  EXPECT_TRUE(r.EqualRect(VXRect{-7, -7, -1, 2}));
  EXPECT_TRUE(r.SetRectEmpty());
  EXPECT_EQ(r, kZero);
  EXPECT_TRUE(r.IsRectEmpty());
}

TEST(RectSet, UnionKeepsDisjointMembersAndMergesNeighbours) {
  VXRectSet s = SetOf({{0, 0, 10, 10}});
  EXPECT_TRUE(s.UnionRect({0, 0, 10, 10}));
  EXPECT_EQ(Show(s), "(0,0,10,10)");

  EXPECT_EQ(Show(SetOf({{0, 0, 10, 10}, {0, 10, 10, 20}})), "(0,0,10,20)");
  EXPECT_EQ(Show(SetOf({{0, 0, 10, 10}, {10, 0, 20, 10}})), "(0,0,20,10)");

  const VXRectSet overlap = SetOf({{0, 0, 10, 10}, {5, 5, 15, 15}});
  EXPECT_EQ(Sorted(overlap), (std::vector<VXRect>{{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}}));

  VXRectSet empty;
  EXPECT_FALSE(empty.UnionRect({3, 3, 3, 9}));
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_TRUE(s.UnionRect({3, 3, 1, 1}));
  EXPECT_EQ(s.size(), 1u);

  EXPECT_TRUE(s.UnionRect({-5, -5, 20, 20}));  // swallows the member
  EXPECT_EQ(Show(s), "(-5,-5,20,20)");
}

TEST(RectSet, SubtractIntersectAndBoundingRectangle) {
  VXRectSet s = SetOf({{0, 0, 10, 10}, {20, 0, 30, 10}, {40, 0, 50, 10}});
  EXPECT_TRUE(s.SubtractRect({-1, -1, 11, 3}));   // trims the first member's top
  EXPECT_TRUE(s.SubtractRect({22, 2, 28, 8}));    // a hole: leaves the second whole
  EXPECT_TRUE(s.SubtractRect({39, -1, 51, 11}));  // covers the third
  EXPECT_EQ(Sorted(s), (std::vector<VXRect>{{20, 0, 30, 10}, {0, 3, 10, 10}}));
  EXPECT_EQ(s.AllUnionRect(), (VXRect{0, 0, 30, 10}));
  EXPECT_EQ(static_cast<VXRect>(s), (VXRect{0, 0, 30, 10}));

  VXRectSet copy = s;
  EXPECT_FALSE(copy.IntersectRect({100, 100, 200, 200}));
  EXPECT_TRUE(copy.IsRectEmpty());
  EXPECT_EQ(copy.AllUnionRect(), kZero);
  EXPECT_EQ(s.size(), 2u) << "copies are independent";

  EXPECT_TRUE(s.IntersectRect({5, 5, 25, 25}));
  EXPECT_EQ(Sorted(s), (std::vector<VXRect>{{5, 5, 10, 10}, {20, 5, 25, 10}}));
  EXPECT_TRUE(s.OffsetRect(-5, 1));
  EXPECT_EQ(s.AllUnionRect(), (VXRect{0, 6, 20, 11}));
  EXPECT_TRUE(s.SetRectEmpty());
  EXPECT_TRUE(s.IsRectEmpty());
}

// Clipping by a set of disjoint rectangles keeps the area inside any of them (it used to clip by each in turn,
// emptying the set while reporting success).
TEST(RectSet, IntersectRectSetKeepsTheAreaInsideAnyMember) {
  VXRectSet s = SetOf({{0, 0, 30, 10}});
  const VXRectSet clip = SetOf({{0, 0, 5, 10}, {20, 0, 25, 10}});
  EXPECT_TRUE(s.IntersectRectSet(clip));
  EXPECT_EQ(Sorted(s), (std::vector<VXRect>{{0, 0, 5, 10}, {20, 0, 25, 10}}));

  EXPECT_FALSE(s.IntersectRectSet(SetOf({{100, 0, 110, 10}})));
  EXPECT_TRUE(s.IsRectEmpty());

  VXRectSet self = SetOf({{0, 0, 4, 4}, {8, 8, 12, 12}});
  EXPECT_TRUE(self.UnionRectSet(self));
  EXPECT_TRUE(self.IntersectRectSet(self));
  EXPECT_EQ(Sorted(self), (std::vector<VXRect>{{0, 0, 4, 4}, {8, 8, 12, 12}}));
  EXPECT_TRUE(self.SubtractRectSet(self));
  EXPECT_TRUE(self.IsRectEmpty());
}

// Every operation against a brute-force pixel model: members stay non-empty and disjoint, and the area is exactly
// what the operation defines (between the old area minus r and the old area, for the band subtraction).
TEST(RectSet, MatchesAPixelModelUnderRandomOperations) {
  constexpr int kLo = -16, kHi = 48, kSide = kHi - kLo;
  using Grid = std::vector<int>;
  auto cell = [&](int x, int y) { return (y - kLo) * kSide + (x - kLo); };
  auto paint = [&](Grid& g, const VXRect& r) {
    for (int y = std::max(r.top, kLo); y < std::min(r.bottom, kHi); ++y)
      for (int x = std::max(r.left, kLo); x < std::min(r.right, kHi); ++x) ++g[cell(x, y)];
  };
  auto coverage = [&](const VXRectSet& s) {
    Grid g(kSide * kSide, 0);
    for (const VXRect& r : s) {
      EXPECT_FALSE(r.IsRectEmpty());
      paint(g, r);
    }
    return g;
  };
  auto fromRect = [&](const VXRect& r) {
    Grid g(kSide * kSide, 0);
    paint(g, r);
    return g;
  };

  std::mt19937 rng(20240531);
  auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto randomRect = [&] {
    const int l = coord(0, 24), t = coord(0, 24);
    return VXRect{l, t, l + coord(-2, 10), t + coord(-2, 10)};  // some are empty
  };

  for (int round = 0; round < 150; ++round) {
    VXRectSet s;
    Grid model(kSide * kSide, 0);
    int dx = 0;
    for (int step = 0; step < 30; ++step) {
      const Grid before = coverage(s);
      const VXRect r = randomRect();
      const Grid in = fromRect(r);
      const int op = coord(0, 9);
      std::string what;
      if (op < 6) {
        what = "union";
        s.UnionRect(r);
        for (std::size_t i = 0; i < model.size(); ++i) model[i] = model[i] || in[i];
      } else if (op == 6) {
        what = "union set";
        VXRectSet other = SetOf({r, randomRect(), randomRect()});
        const Grid add = coverage(other);
        const bool any = s.UnionRectSet(other);
        for (std::size_t i = 0; i < model.size(); ++i) model[i] = model[i] || add[i];
        EXPECT_EQ(any, std::count(model.begin(), model.end(), 1) > 0);
      } else if (op == 7) {
        what = "intersect set";
        VXRectSet clip = SetOf({r, randomRect(), randomRect(), {0, 0, 30, 30}});
        const Grid keep = coverage(clip);
        const bool any = s.IntersectRectSet(clip);
        for (std::size_t i = 0; i < model.size(); ++i) model[i] = model[i] && keep[i];
        EXPECT_EQ(any, std::count(model.begin(), model.end(), 1) > 0);
      } else if (op == 8) {
        what = "subtract";
        s.SubtractRect(r);
        const Grid after = coverage(s);
        for (std::size_t i = 0; i < model.size(); ++i) {
          ASSERT_LE(after[i], before[i]) << "round " << round << " step " << step;
          ASSERT_GE(after[i], before[i] && !in[i]) << "round " << round << " step " << step;
        }
        model = after;
      } else {
        what = "offset";
        const int move = (dx > 8) ? -4 : (dx < -8 ? 4 : coord(-4, 4));
        dx += move;
        s.OffsetRect(move, 0);
        Grid moved(kSide * kSide, 0);
        for (int y = kLo; y < kHi; ++y)
          for (int x = kLo; x < kHi; ++x)
            if (model[cell(x, y)] && x + move >= kLo && x + move < kHi) moved[cell(x + move, y)] = 1;
        model = moved;
      }
      const Grid got = coverage(s);
      ASSERT_EQ(got, model) << what << " in round " << round << " step " << step << ": " << Show(s);
    }
  }
}
