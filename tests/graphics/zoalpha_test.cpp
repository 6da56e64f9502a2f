#include "graphics/zoalpha.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

std::unique_ptr<TZoAlpha> Make(int w, int h, unsigned seed = 0) {
  auto p = std::make_unique<TZoAlpha>();
  p->SetWidth(w), p->SetHeight(h);
  EXPECT_TRUE(p->Create());
  if (seed != 0) {
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) p->PSet(x, y, static_cast<unsigned char>(rng()));
  }
  return p;
}

std::vector<unsigned char> Bytes(const TZoAlpha& p) {
  std::vector<unsigned char> v;
  for (int y = 0; y < p.GetHeight(); ++y)
    for (int x = 0; x < p.GetWidth(); ++x) v.push_back(p.PGet(x, y));
  return v;
}

TEST(ZoAlpha, StorageIsOpaqueAndSizesAreChecked) {
  TZoAlpha p;
  EXPECT_EQ(p.GetWidth(), 640);
  p.SetWidth(5), p.SetHeight(4);
  ASSERT_TRUE(p.Create());
  for (unsigned char c : Bytes(p)) ASSERT_EQ(c, 255);
  p.Fill(3);
  ASSERT_TRUE(p.Resize(7, 2));
  EXPECT_EQ(p.GetPitch(), 7);
  for (unsigned char c : Bytes(p)) ASSERT_EQ(c, 255);
  EXPECT_FALSE(p.Resize(0, 3));
  // Products that overflow 32 bits, or absurd sizes, are refused.
  EXPECT_FALSE(p.Resize(70000, 70000));
  EXPECT_FALSE(p.Resize(32768, 32768 + 1));
  TZoAlpha big;
  big.SetWidth(1 << 30);
  EXPECT_EQ(big.GetWidth(), 640);
  EXPECT_EQ(p.PGet(7, 0), 0);
  EXPECT_FALSE(p.PSet(-1, 0, 1));
}

TEST(ZoAlpha, GuardOverRun) {
  int calls = 0;
  SetOnAlphaBufferOverRun([&](Classes::TComponent*) { ++calls; });
  auto p = Make(4, 4);
  p->GetBits()[16 + 255] = 0;
  p->Release();
  EXPECT_TRUE(p->CheckBufferOverRun());
  EXPECT_EQ(calls, 1);
  SetOnAlphaBufferOverRun({});
}

TEST(ZoAlpha, FillsLinesAndToneDown) {
  auto p = Make(12, 12);
  EXPECT_TRUE(p->ToneDown(0, 0, 9, 9, 64));
  EXPECT_EQ(p->PGet(9, 9), 127);
  EXPECT_EQ(p->PGet(10, 9), 255);
  EXPECT_FALSE(p->ToneDown(0, 0, 9, 9, 129));
  EXPECT_EQ(p->PGet(0, 0), 127);
  EXPECT_TRUE(p->BoxFill(-5, -5, 2, 2, 0));
  EXPECT_EQ(p->PGet(2, 2), 0);
  EXPECT_EQ(p->PGet(3, 2), 127);
  p->Cls();
  EXPECT_TRUE(p->Line(0, 0, 3, 1, 9));
  EXPECT_EQ(p->PGet(1, 0), 9);
  EXPECT_EQ(p->PGet(2, 1), 9);
  EXPECT_EQ(p->PGet(2, 0), 255);
}

TEST(ZoAlpha, RectangleOperationsAndClipping) {
  auto src = Make(8, 8, 5);
  auto p = Make(8, 8);
  EXPECT_FALSE(p->Draw(0, 0, src.get(), 5, 5, 4, 4));
  ASSERT_TRUE(p->Draw(-2, 6, src.get(), 0, 0, 4, 4));
  EXPECT_EQ(p->PGet(0, 6), src->PGet(2, 0));
  EXPECT_EQ(p->PGet(1, 7), src->PGet(3, 1));

  // A negative pitch reads a bottom-up source.
  const unsigned char rows[] = {1, 2, 3, 4, 5, 6};
  ASSERT_TRUE(p->PutAlphaPitch(0, 0, 3, 2, rows + 3, -3));
  EXPECT_EQ(p->PGet(0, 0), 4);
  EXPECT_EQ(p->PGet(2, 1), 3);
  unsigned char out[4] = {7, 7, 7, 7};
  ASSERT_TRUE(p->GetAlpha(-1, -1, 2, 2, out));
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[3], 4);

  const auto before = Bytes(*p);
  EXPECT_TRUE(p->AlphaBlend(0, 0, src.get(), 0, 0, 8, 8, 0));
  EXPECT_EQ(Bytes(*p), before);
  EXPECT_FALSE(p->AlphaBlend(0, 0, src.get(), 0, 0, 8, 8, 129));
  ASSERT_TRUE(p->AlphaBlend(0, 0, src.get(), 0, 0, 8, 8, 64));
  EXPECT_EQ(p->PGet(5, 5), (before[45] + src->PGet(5, 5)) / 2);

  for (bool mmx : {false, true}) {
    auto q = Make(4, 1);
    q->SetMMX(mmx);
    const unsigned char levels[] = {0, 100, 239, 250};
    ASSERT_TRUE(q->ZoExtract(0, 0, 4, 1, levels, 4, 5));
    EXPECT_EQ(q->PGet(2, 0), 68);  // 239 + 5 = 244 -> 17 x 4
    auto s = Make(4, 1);
    s->PutAlpha(0, 0, 4, 1, levels);
    ASSERT_TRUE(q->Extract(0, 0, s.get(), 0, 0, 4, 1, 300));
    EXPECT_EQ(q->PGet(0, 0), 255);
    ASSERT_TRUE(q->Extract(0, 0, s.get(), 0, 0, 4, 1, -4));
    EXPECT_EQ(q->PGet(3, 0), 170);
    EXPECT_EQ(q->PGet(1, 0), 0);
    ASSERT_TRUE(q->SAdd(0, 0, s.get(), 0, 0, 4, 1, 10));
    EXPECT_EQ(q->PGet(3, 0), 255);
    ASSERT_TRUE(q->SSub(0, 0, s.get(), 0, 0, 4, 1, 200));
    EXPECT_EQ(q->PGet(2, 0), 39);
    ASSERT_TRUE(q->SaturationAdd(1, 0, s.get(), 0, 0, 4, 1));  // cut to the plane on the right
    EXPECT_EQ(q->PGet(2, 0), 139);
    EXPECT_EQ(q->PGet(3, 0), 255);
  }
}

TEST(ZoAlpha, DrawingOntoItself) {
  for (int dx : {-3, 0, 3})
    for (int dy : {-2, 0, 2}) {
      auto self = Make(10, 8, 11), copy = Make(10, 8, 11), ref = Make(10, 8, 11);
      ASSERT_TRUE(self->Draw(2 + dx, 2 + dy, self.get(), 2, 2, 6, 4));
      ASSERT_TRUE(ref->Draw(2 + dx, 2 + dy, copy.get(), 2, 2, 6, 4));
      ASSERT_EQ(Bytes(*self), Bytes(*ref)) << dx << "," << dy;
      ASSERT_TRUE(self->SaturationAdd(2 + dx, 2 + dy, self.get(), 2, 2, 6, 4));
      ASSERT_TRUE(ref->SaturationAdd(2 + dx, 2 + dy, copy.get(), 2, 2, 6, 4));
      copy = Make(10, 8, 11);
      ASSERT_TRUE(copy->Draw(0, 0, self.get(), 0, 0, 10, 8));
      ASSERT_TRUE(self->AlphaBlend(2 + dx, 2 + dy, self.get(), 2, 2, 6, 4, 30));
      ASSERT_TRUE(ref->Draw(0, 0, copy.get(), 0, 0, 10, 8));
      ASSERT_TRUE(ref->AlphaBlend(2 + dx, 2 + dy, copy.get(), 2, 2, 6, 4, 30));
      ASSERT_EQ(Bytes(*self), Bytes(*ref)) << dx << "," << dy;
    }
}

TEST(ZoAlpha, ComposeAlphaChannel) {
  auto dst = Make(4, 1), share = Make(4, 1), a = Make(4, 1), b = Make(3, 1);
  const unsigned char av[] = {0, 255, 100, 0}, bv[] = {200, 0, 100};
  a->PutAlpha(0, 0, 4, 1, av);
  b->PutAlpha(0, 0, 3, 1, bv);
  ASSERT_TRUE(ComposeAlphaChannel(dst.get(), 0, 0, share.get(), a.get(), 0, 0, b.get(), 0, 0, 4, 1, 64));
  EXPECT_EQ(dst->PGet(0, 0), 100);
  EXPECT_EQ(dst->PGet(1, 0), 128);  // 255 + (0 - 255) * 64 / 128 truncated toward zero
  EXPECT_EQ(dst->PGet(3, 0), 0);    // B outside b reads 0
  EXPECT_EQ(share->PGet(0, 0), 128);
  EXPECT_EQ(share->PGet(1, 0), 0);
  EXPECT_EQ(share->PGet(3, 0), 255);  // not inside b: untouched
  EXPECT_FALSE(ComposeAlphaChannel(dst.get(), 0, 0, share.get(), a.get(), 0, 0, b.get(), 0, 0, 4, 1, 129));
  auto big = Make(5, 1);
  EXPECT_FALSE(ComposeAlphaChannel(dst.get(), 0, 0, share.get(), a.get(), 0, 0, big.get(), 0, 0, 4, 1, 64));
}

}  // namespace

// Positions and sizes near the int limits are cut in 64 bits: a blend stops at each source's right edge, and a
// composition treats source pixels beyond the int range as lying outside their plane.
TEST(ZoAlpha, AreasNearTheIntLimits) {
  const int huge = std::numeric_limits<int>::max();
  auto a = Make(8, 4), b = Make(8, 4), d = Make(8, 4);
  a->Fill(200), b->Fill(100), d->Fill(0);
  ASSERT_TRUE(d->AlphaBlend(0, 0, a.get(), 4, 0, b.get(), 0, 0, huge, 4, 32));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(d->PGet(x, y), x < 4 ? 175 : 0) << x << "," << y;
  EXPECT_TRUE(d->AlphaBlend(huge - 1, 0, a.get(), -4, 0, b.get(), -4, 0, 8, 4, 32));

  auto share = Make(8, 4);
  d->Fill(7);
  ASSERT_TRUE(ComposeAlphaChannel(d.get(), 0, 0, share.get(), a.get(), huge, 0, b.get(), huge, 0, 8, 4, 64));
  for (unsigned char c : Bytes(*d)) EXPECT_EQ(c, 0);  // both sources outside: 0
}
