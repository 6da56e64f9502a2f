#include "graphics/zorgbbits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "graphics/vxrgbcopy.h"
#include "graphics/vxrgbeffect.h"
#include "graphics/zoalpha.h"

namespace {

constexpr VXPixFormat kFormats[] = {pf16_565, pf16_555, pf16_5551, pf16_4444, pf24_888, pf32_888, pf32_8888};

std::unique_ptr<TZoRGBBits> Make(VXPixFormat f, int w, int h, unsigned seed = 0) {
  auto b = std::make_unique<TZoRGBBits>();
  b->SetPixFormat(f);
  b->SetWidth(w);
  b->SetHeight(h);
  EXPECT_TRUE(b->Create());
  if (seed != 0) {
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * b->GetBitDepth(); ++x) b->GetBits()[y * b->GetPitch() + x] = static_cast<unsigned char>(rng());
  }
  return b;
}

// The pixels of a bitmap, row after row, without padding.
std::vector<unsigned char> Pixels(const TZoRGBBits& b) {
  const int row = b.GetWidth() * b.GetBitDepth();
  std::vector<unsigned char> v(static_cast<std::size_t>(row) * b.GetHeight());
  for (int y = 0; y < b.GetHeight(); ++y) std::memcpy(&v[y * row], b.GetBits() + y * b.GetPitch(), row);
  return v;
}

struct Recorder {
  std::vector<VXRect> rects;
  void Attach(TZoRGBBits& b) {
    b.OnChange = [this](Classes::TComponent* sender) {
      VXRect r;
      static_cast<TZoRGBBits*>(sender)->GetModifiedRect(&r);
      rects.push_back(r);
    };
  }
};

// ---- The object

TEST(ZoRGBBits, DefaultsAndFormatPairs) {
  TZoRGBBits b;
  EXPECT_EQ(b.GetWidth(), 640);
  EXPECT_EQ(b.GetHeight(), 480);
  EXPECT_EQ(b.GetBitDepth(), bd24);
  EXPECT_EQ(b.GetPixFormat(), pf24_888);
  EXPECT_FALSE(b.GetReverse());
  EXPECT_FALSE(b.IsCreated());
  EXPECT_EQ(b.GetID().Length(), 16);

  b.SetPixFormat(pf16_555);
  EXPECT_EQ(b.GetBitDepth(), bd16);
  b.SetPixFormat(pf16_565);
  b.SetBitDepth(bd32);
  EXPECT_EQ(b.GetPixFormat(), pf32_888);
  b.SetWidth(4), b.SetHeight(4);
  ASSERT_TRUE(b.Create());
  b.SetPixFormat(pf24_888);
  b.SetBitDepth(bd16);
  EXPECT_EQ(b.GetPixFormat(), pf32_888);  // fixed once created
  EXPECT_FALSE(b.Create());

  TZoRGBBits eight;
  eight.SetBitDepth(bd8);
  EXPECT_EQ(eight.GetPixFormat(), pfNone);
  EXPECT_FALSE(eight.Create());

  b.SetID("0123456789abcdefXYZ");
  EXPECT_EQ(std::memcmp(b.GetID().c_str(), "0123456789abcdef", 16), 0);
}

TEST(ZoRGBBits, ResizeAndZeroedStorage) {
  auto b = Make(pf32_8888, 8, 4, 7);
  EXPECT_FALSE(b->Resize(0, 10));
  ASSERT_TRUE(b->Resize(5, 6));
  EXPECT_EQ(b->GetPitch(), 20);
  for (unsigned char c : Pixels(*b)) ASSERT_EQ(c, 0);
  ASSERT_TRUE(b->Lock());
  EXPECT_FALSE(b->Resize(7, 7));
  b->Unlock();

  TZoRGBBits fresh;
  EXPECT_TRUE(fresh.Resize(3, 2));
  EXPECT_EQ(fresh.GetWidth(), 3);
  ASSERT_TRUE(fresh.Create());
  for (unsigned char c : Pixels(fresh)) ASSERT_EQ(c, 0);
}

// Sizes whose byte count overflows 32 bits, or is absurd, are refused instead of allocating a wrapped size.
TEST(ZoRGBBits, AbsurdSizesRefused) {
  struct Case { int w, h; VXPixFormat f; };
  for (const Case c : {Case{40000, 40000, pf32_888}, Case{32768, 32768, pf32_888}, Case{65536, 16385, pf16_565},
                       Case{1 << 30, 4, pf24_888}, Case{-5, 4, pf24_888}}) {
    TZoRGBBits b;
    b.SetPixFormat(c.f);
    b.SetWidth(8), b.SetHeight(8);
    EXPECT_FALSE(b.Resize(c.w, c.h)) << c.w << "x" << c.h;
    ASSERT_TRUE(b.Create());
    EXPECT_FALSE(b.Resize(c.w, c.h)) << c.w << "x" << c.h;
    EXPECT_EQ(b.GetWidth(), 8);
  }
}

TEST(ZoRGBBits, LocksNest) {
  auto b = Make(pf24_888, 2, 2);
  EXPECT_TRUE(b->Lock());
  EXPECT_TRUE(b->Lock());
  EXPECT_TRUE(b->Unlock());
  EXPECT_TRUE(b->IsLocked());
  EXPECT_TRUE(b->Unlock());
  EXPECT_FALSE(b->IsLocked());
  EXPECT_FALSE(b->Unlock());
  TZoRGBBits none;
  EXPECT_FALSE(none.Lock());
}

TEST(ZoRGBBits, GuardOverRunReportedOnRelease) {
  std::vector<TZoRGBBits*> senders;
  SetOnBitsBufferOverRun([&](Classes::TComponent* s) { senders.push_back(static_cast<TZoRGBBits*>(s)); });
  auto b = Make(pf24_888, 3, 3);
  b->GetBits()[3 * 3 * 3 + 100] = 0;
  b->Release();
  EXPECT_TRUE(b->CheckBufferOverRun());
  ASSERT_EQ(senders.size(), 1u);
  EXPECT_EQ(senders[0], b.get());
  auto clean = Make(pf24_888, 3, 3);
  clean->Release();
  EXPECT_FALSE(clean->CheckBufferOverRun());
  EXPECT_EQ(senders.size(), 1u);
  SetOnBitsBufferOverRun({});
}

TEST(ZoRGBBits, ChangeReports) {
  auto b = Make(pf24_888, 30, 30);
  Recorder rec;
  rec.Attach(*b);
  b->SetModified(-5, 7, 2, 40);
  ASSERT_EQ(rec.rects.size(), 1u);
  EXPECT_EQ(rec.rects[0], (VXRect{0, 7, 3, 30}));
  VXRect after;
  b->GetModifiedRect(&after);
  EXPECT_TRUE(after.IsRectEmpty());

  rec.rects.clear();
  b->SetModified(5, 7, 2, 3);
  EXPECT_EQ(rec.rects.back(), (VXRect{2, 3, 6, 8}));

  rec.rects.clear();
  b->ModifiedOff();
  b->ModifiedOff();
  b->SetModified(0, 0, 9, 9);
  b->SetModified(20, 20, 20, 20);
  b->ModifiedOn();
  EXPECT_TRUE(rec.rects.empty());
  b->ModifiedOn();
  ASSERT_EQ(rec.rects.size(), 1u);
  EXPECT_EQ(rec.rects[0], (VXRect{0, 0, 21, 21}));
}

// ---- Pixel values per format

TEST(ZoRGBBits, PixelValuesPerFormat) {
  struct Case { VXPixFormat f; VXRGB colour; std::uint32_t pixel; };
  const Case cases[] = {
      {pf16_565, VXRGB(255, 0, 0), 0xF800}, {pf16_555, VXRGB(0, 255, 0), 0x03E0},
      {pf16_5551, VXRGB(0, 0, 255), 0x001F}, {pf16_4444, VXRGB(255, 255, 255), 0x0FFF},
      {pf24_888, VXRGB(1, 2, 3), 0x010203}, {pf32_888, VXRGB(1, 2, 3), 0x010203},
      {pf32_8888, VXRGB(1, 2, 3), 0x010203},
  };
  for (const Case& c : cases) {
    auto b = Make(c.f, 4, 4);
    const std::uint32_t pixel = b->TZoRGBtoPixel(c.colour);
    EXPECT_EQ(pixel & 0x00FFFFFF, c.pixel) << int(c.f);
    EXPECT_TRUE(b->PSet(2, 3, pixel));
    EXPECT_EQ(b->PGet(2, 3), pixel);
    EXPECT_EQ(b->PGet(3, 3), 0u);
    EXPECT_EQ(b->PGet(4, 0), 0u);
    EXPECT_FALSE(b->PSet(-1, 0, pixel));
    const VXRGB back = b->PixeltoTZoRGB(pixel);
    EXPECT_EQ(back.ToDWORD(), c.colour.ToDWORD()) << int(c.f);
  }
}

// ---- Lines and boxes

std::vector<std::pair<int, int>> SetPixels(TZoRGBBits& b) {
  std::vector<std::pair<int, int>> v;
  for (int y = 0; y < b.GetHeight(); ++y)
    for (int x = 0; x < b.GetWidth(); ++x)
      if (b.PGet(x, y) != 0) v.emplace_back(x, y);
  return v;
}

TEST(ZoRGBBits, LinesAndBoxes) {
  using P = std::vector<std::pair<int, int>>;
  struct Case { int x1, y1, x2, y2; P expected; };
  P row5;
  for (int x = 0; x <= 10; ++x) row5.emplace_back(x, 5);
  const Case lines[] = {
      {0, 0, 0, 0, {{0, 0}}},
      {-10, 5, 10, 5, row5},
      {0, 0, 3, 1, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {3, 1, 0, 0, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
      {1, 0, 0, 3, {{1, 0}, {1, 1}, {0, 2}, {0, 3}}},
  };
  for (const Case& c : lines) {
    auto b = Make(pf24_888, 12, 12);
    EXPECT_TRUE(b->Line(c.x1, c.y1, c.x2, c.y2, 0xFFFFFF));
    EXPECT_EQ(SetPixels(*b), c.expected) << c.x1 << "," << c.y1 << "-" << c.x2 << "," << c.y2;
  }

  auto b = Make(pf32_888, 8, 8);
  EXPECT_TRUE(b->ZoBoxFill(-5, -5, 2, 2, 1));
  EXPECT_EQ(SetPixels(*b).size(), 9u);
  EXPECT_EQ(SetPixels(*b).back(), std::make_pair(2, 2));
  b->Cls();
  Recorder rec;
  rec.Attach(*b);
  EXPECT_TRUE(b->BoxFill(5, 5, 2, 2, 1));
  EXPECT_EQ(SetPixels(*b).size(), 16u);
  EXPECT_EQ(rec.rects.back(), (VXRect{2, 2, 6, 6}));
  EXPECT_TRUE(b->BoxFill(100, 100, 200, 200, 1));  // nothing inside
  b->Cls();
  EXPECT_TRUE(b->Box(3, 1, 3, 6, 1));
  EXPECT_EQ(SetPixels(*b).size(), 6u);
  b->Cls();
  EXPECT_TRUE(b->Box(1, 1, 4, 3, 1));
  EXPECT_EQ(SetPixels(*b).size(), 10u);
  EXPECT_EQ(b->PGet(2, 2), 0u);
}

// ---- Patterns

TEST(ZoRGBBits, PutPatWidthsKeysAndBottomUpSources) {
  for (VXPixFormat f : kFormats) {
    const int bpp = _FormatAndDepthTable[f];
    auto src = Make(f, 40, 6, 3);
    auto a = Make(f, 40, 6), b = Make(f, 40, 6);
    // 31 pixels copied by the short path, then the 32nd: the same picture as 32 at once.
    ASSERT_TRUE(a->PutPatPitch(0, 0, 31, 6, src->GetBits(), src->GetPitch()));
    ASSERT_TRUE(a->PutPatPitch(31, 0, 1, 6, src->GetBits() + 31 * bpp, src->GetPitch()));
    ASSERT_TRUE(b->PutPatPitch(0, 0, 32, 6, src->GetBits(), src->GetPitch()));
    EXPECT_EQ(Pixels(*a), Pixels(*b));

    // A pattern made only of the key value writes nothing.
    std::vector<unsigned char> keyed(4 * 4 * bpp, 0x11);
    const std::uint32_t key = bpp == 2 ? 0x1111 : bpp == 3 ? 0x111111 : 0x11111111;
    b->Cls();
    EXPECT_TRUE(b->PasPat(1, 1, 4, 4, keyed.data(), key));
    for (unsigned char c : Pixels(*b)) ASSERT_EQ(c, 0);

    // A negative pitch walks a bottom-up source: the picture lands upside down.
    auto flipped = Make(f, 40, 6);
    ASSERT_TRUE(flipped->PutPatPitch(0, 0, 40, 6, src->GetBits() + 5 * src->GetPitch(), -src->GetPitch()));
    for (int y = 0; y < 6; ++y)
      ASSERT_EQ(std::memcmp(flipped->GetBits() + y * flipped->GetPitch(), src->GetBits() + (5 - y) * src->GetPitch(),
                            40 * bpp), 0);
  }
}

// Whole-width drawings between pictures of packed rows run as one line: every row lands where it belongs, the rows
// below the area and the guard stay as they were.
TEST(ZoRGBBits, WholeWidthAreasOfPackedPictures) {
  for (VXPixFormat f : kFormats) {
    const int bpp = _FormatAndDepthTable[f];
    auto src = Make(f, 37, 9, 5);
    auto dst = Make(f, 37, 10, 8);
    const std::vector<unsigned char> before = Pixels(*dst);
    ASSERT_TRUE(dst->Draw(0, 0, src.get(), 0, 0, 37, 9));
    std::vector<unsigned char> want = Pixels(*src);
    want.insert(want.end(), before.end() - 37 * bpp, before.end());
    EXPECT_EQ(Pixels(*dst), want) << int(f);

    auto wide = Make(pf32_888, 37, 10, 9);
    const std::vector<unsigned char> wideBefore = Pixels(*wide);
    ASSERT_TRUE(wide->ConvertCopy(0, 1, src.get(), 0, 0, 37, 9));
    std::vector<unsigned char> converted(37 * 4);
    for (int y = 0; y < 9; ++y) {
      if (f == pf32_888 || f == pf32_8888)
        std::memcpy(converted.data(), src->GetBits() + y * src->GetPitch(), 37 * 4);
      else if (f == pf24_888)
        RGBTRIPLEcpyTo32_888(converted.data(), src->GetBits() + y * src->GetPitch(), 37);
      else
        _RGBQUADcpyFromProcTable[f](converted.data(), src->GetBits() + y * src->GetPitch(), 37);
      ASSERT_EQ(std::memcmp(wide->GetBits() + (y + 1) * wide->GetPitch(), converted.data(), 37 * 4), 0) << int(f);
    }
    EXPECT_EQ(std::memcmp(wide->GetBits(), wideBefore.data(), 37 * 4), 0);
    dst->Release();
    wide->Release();
    EXPECT_FALSE(dst->CheckBufferOverRun());
    EXPECT_FALSE(wide->CheckBufferOverRun());
  }
}

TEST(ZoRGBBits, ReversePatternsClipFromTheRight) {
  auto b = Make(pf24_888, 6, 1);
  b->SetReverse(true);
  std::vector<unsigned char> pat;
  for (int i = 0; i < 4; ++i) pat.insert(pat.end(), {static_cast<unsigned char>(i + 1), 0, 0});
  // Pattern 1 2 3 4 mirrored is 4 3 2 1 at x = -2 .. 1: the pattern's left end (1) shows at the right.
  ASSERT_TRUE(b->PutPat(-2, 0, 4, 1, pat.data()));
  EXPECT_EQ(b->PGet(0, 0), 2u);
  EXPECT_EQ(b->PGet(1, 0), 1u);
  EXPECT_EQ(b->PGet(2, 0), 0u);
  ASSERT_TRUE(b->PutPat(4, 0, 4, 1, pat.data()));  // cut on the right: 4 3 shows
  EXPECT_EQ(b->PGet(4, 0), 4u);
  EXPECT_EQ(b->PGet(5, 0), 3u);
}

// Reference of the tiled mask: pattern pixel (i, j) is drawn when bit i mod mw of row j mod mh is set.
TEST(ZoRGBBits, MaskPatternsTileAndClip) {
  const unsigned char one[] = {0x80}, zero[] = {0x00};
  auto src = Make(pf32_888, 5, 5, 9);
  auto b = Make(pf32_888, 5, 5);
  ASSERT_TRUE(b->PasMPat(0, 0, 5, 5, src->GetBits(), one, 1, 1));
  EXPECT_EQ(Pixels(*b), Pixels(*src));
  b->Cls();
  EXPECT_TRUE(b->PasMPat(0, 0, 5, 5, src->GetBits(), zero, 1, 1));
  for (unsigned char c : Pixels(*b)) ASSERT_EQ(c, 0);

  // A mask of no bits is refused (it would tile nothing and divide by zero).
  EXPECT_FALSE(b->PasMPat(0, 0, 5, 5, src->GetBits(), one, 0, 1));
  EXPECT_FALSE(b->PasMPat(0, 0, 5, 5, src->GetBits(), one, 1, 0));
  EXPECT_FALSE(b->PasMPat(0, 0, 5, 5, src->GetBits(), nullptr, 1, 1));

  const unsigned char mask[] = {0xA0, 0x40};  // 3 x 2: 1 0 1 / 0 1 0
  for (bool reverse : {false, true})
    for (int x0 : {-2, 0, 3})
      for (int y0 : {-1, 0, 2}) {
        auto dst = Make(pf32_888, 5, 5);
        dst->SetReverse(reverse);
        ASSERT_TRUE(dst->ZoPutPatM(x0, y0, 5, 5, src->GetBits(), src->GetPitch(), mask, 3, 2));
        for (int j = 0; j < 5; ++j)
          for (int i = 0; i < 5; ++i) {
            const int x = reverse ? x0 + 4 - i : x0 + i, y = y0 + j;
            if (x < 0 || y < 0 || x >= 5 || y >= 5) continue;
            const bool bit = (mask[j % 2] >> (7 - i % 3)) & 1;
            ASSERT_EQ(dst->PGet(x, y), bit ? src->PGet(i, j) : 0u) << reverse << " " << x0 << "," << y0;
          }
      }
}

// ---- Drawing between bitmaps

TEST(ZoRGBBits, DrawSourceRulesAndClipping) {
  auto src = Make(pf24_888, 10, 10, 5);
  auto b = Make(pf24_888, 10, 10);
  Recorder rec;
  rec.Attach(*b);
  EXPECT_FALSE(b->Draw(0, 0, src.get(), -1, 0, 4, 4));
  EXPECT_TRUE(rec.rects.empty());
  ASSERT_TRUE(b->ClipDraw(0, 0, src.get(), -1, 0, 4, 4));
  EXPECT_EQ(b->PGet(0, 0), 0u);
  EXPECT_EQ(b->PGet(1, 0), src->PGet(0, 0));
  EXPECT_EQ(b->PGet(3, 3), src->PGet(2, 3));
  EXPECT_EQ(rec.rects.back(), (VXRect{1, 0, 4, 4}));

  // Partly outside the destination: the visible part is drawn and marked.
  ASSERT_TRUE(b->Draw(8, -2, src.get(), 0, 0, 4, 4));
  EXPECT_EQ(b->PGet(8, 0), src->PGet(0, 2));
  EXPECT_EQ(rec.rects.back(), (VXRect{8, 0, 10, 2}));
  // Wholly outside: nothing drawn, an empty report.
  ASSERT_TRUE(b->Draw(20, 20, src.get(), 0, 0, 4, 4));
  EXPECT_TRUE(rec.rects.back().IsRectEmpty());
  // Source clipping leaving nothing: true, no report.
  const std::size_t reports = rec.rects.size();
  EXPECT_TRUE(b->ClipDraw(0, 0, src.get(), 20, 0, 4, 4));
  EXPECT_EQ(rec.rects.size(), reports);

  b->SetReverse(true);
  EXPECT_FALSE(b->ClipDraw(0, 0, src.get(), 0, 0, 4, 4));
}

TEST(ZoRGBBits, FormatsOfCopiesAndConversions) {
  auto q = Make(pf32_888, 4, 4, 2), qa = Make(pf32_8888, 4, 4);
  EXPECT_TRUE(qa->Draw(0, 0, q.get(), 0, 0, 4, 4));
  EXPECT_EQ(Pixels(*qa), Pixels(*q));
  auto w = Make(pf16_565, 4, 4), t = Make(pf24_888, 4, 4, 3);
  EXPECT_FALSE(w->Draw(0, 0, t.get(), 0, 0, 4, 4));
  EXPECT_FALSE(w->AlphaBlend(0, 0, t.get(), 0, 0, 4, 4, 50));

  // Every pair of formats converts through the line converters.
  for (VXPixFormat from : kFormats)
    for (VXPixFormat to : kFormats) {
      auto s = Make(from, 6, 3, 11);
      auto d = Make(to, 6, 3);
      ASSERT_TRUE(d->ConvertCopy(-1, 0, s.get(), 0, 0, 6, 3)) << int(from) << "->" << int(to);
      for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
          RGBTRIPLE via;
          unsigned char px[4] = {};
          std::memcpy(px, s->GetBits() + y * s->GetPitch() + (x + 1) * _FormatAndDepthTable[from],
                      _FormatAndDepthTable[from]);
          if (from == to) {
            ASSERT_EQ(d->PGet(x, y), s->PGet(x + 1, y));
            continue;
          }
          _RGBTRIPLEcpyFromProcTable[from](&via, px, 1);
          unsigned char expect[4] = {};
          _RGBTRIPLEcpyToProcTable[to](expect, &via, 1);
          std::uint32_t e = 0;
          std::memcpy(&e, expect, _FormatAndDepthTable[to]);
          // The colour survives either route (the fourth byte or alpha field follows its own rules).
          ASSERT_EQ(d->PixeltoTZoRGB(d->PGet(x, y)).ToDWORD(), d->PixeltoTZoRGB(e).ToDWORD()) << int(from) << "->" << int(to);
        }
    }
}

TEST(ZoRGBBits, AlphaBlendRates) {
  for (bool mmx : {false, true})
    for (VXPixFormat f : {pf16_565, pf24_888, pf32_888}) {
      auto a = Make(f, 8, 4, 21), bsrc = Make(f, 8, 4, 22);
      auto d = Make(f, 8, 4, 23);
      d->SetMMX(mmx);
      const auto before = Pixels(*d);
      Recorder rec;
      rec.Attach(*d);
      EXPECT_TRUE(d->AlphaBlend(0, 0, bsrc.get(), 0, 0, 8, 4, 0));
      EXPECT_EQ(Pixels(*d), before);
      EXPECT_TRUE(rec.rects.empty());
      EXPECT_FALSE(d->AlphaBlend(0, 0, bsrc.get(), 0, 0, 8, 4, 129));
      EXPECT_FALSE(d->AlphaBlend(0, 0, bsrc.get(), 0, 0, 8, 4, -1));
      EXPECT_TRUE(d->AlphaBlend(0, 0, a.get(), 0, 0, bsrc.get(), 0, 0, 8, 4, 0));
      EXPECT_EQ(Pixels(*d), Pixels(*a));
      EXPECT_TRUE(d->AlphaBlend(0, 0, a.get(), 0, 0, bsrc.get(), 0, 0, 8, 4, 128));
      EXPECT_EQ(Pixels(*d), Pixels(*bsrc));

      // Other rates give exactly the line kernel's bytes; 64 goes through the half routine.
      for (int rate : {1, 63, 64, 100}) {
        ASSERT_TRUE(d->AlphaBlend(0, 0, a.get(), 0, 0, bsrc.get(), 0, 0, 8, 4, rate));
        const int row = 8 * _FormatAndDepthTable[f];
        std::vector<unsigned char> expect(row);
        for (int y = 0; y < 4; ++y) {
          if (rate == 64)
            _RGBHalfProcTable[f](expect.data(), a->GetBits() + y * row, bsrc->GetBits() + y * row, 8);
          else
            _RGBAlphaProcTable[f](expect.data(), a->GetBits() + y * row, bsrc->GetBits() + y * row, 8, rate);
          ASSERT_EQ(std::memcmp(expect.data(), d->GetBits() + y * row, row), 0) << rate << " mmx " << mmx;
        }
      }
      // Source areas cut to both sources.
      rec.rects.clear();
      ASSERT_TRUE(d->AlphaBlend(0, 0, a.get(), -2, 0, bsrc.get(), 0, 1, 8, 4, 100));
      EXPECT_EQ(rec.rects.back(), (VXRect{2, 0, 8, 3}));
    }
}

TEST(ZoRGBBits, KeysAndTopLeftKey) {
  auto src = Make(pf24_888, 4, 4, 31);
  auto d = Make(pf24_888, 4, 4);
  ASSERT_TRUE(d->DrawKey(0, 0, src.get(), 0, 0, 4, 4, VXRGB(1, 2, 3)));
  EXPECT_EQ(Pixels(*d), Pixels(*src));  // key absent: a plain copy

  src->PSet(0, 0, 0x123456);
  src->PSet(3, 3, 0x123456);
  d->BoxFill(0, 0, 3, 3, 0x0000FF);
  ASSERT_TRUE(d->DrawTLKey(0, 0, src.get(), 1, 1, 3, 3));
  EXPECT_EQ(d->PGet(2, 2), 0x0000FFu);  // the source's (3, 3) equals its (0, 0): transparent
  EXPECT_EQ(d->PGet(0, 0), src->PGet(1, 1));
}

TEST(ZoRGBBits, SaturationClipsToTheSource) {
  auto src = Make(pf32_888, 4, 4);
  src->BoxFill(0, 0, 3, 3, 0x00808080);
  auto d = Make(pf32_888, 4, 4);
  d->BoxFill(0, 0, 3, 3, 0x00A01010);
  ASSERT_TRUE(d->SaturationAdd(0, 0, src.get(), 2, 2, 4, 4));
  EXPECT_EQ(d->PGet(0, 0), 0x00FF9090u);
  EXPECT_EQ(d->PGet(2, 2), 0x00A01010u);
  ASSERT_TRUE(d->SaturationSub(0, 0, src.get(), 0, 0, 1, 1));
  EXPECT_EQ(d->PGet(0, 0), 0x007F1010u);
}

// ---- Alpha planes

std::unique_ptr<TZoAlpha> Plane(int w, int h, unsigned seed) {
  auto p = std::make_unique<TZoAlpha>();
  p->SetWidth(w), p->SetHeight(h);
  EXPECT_TRUE(p->Create());
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = static_cast<int>(rng() % 3);
      p->PSet(x, y, static_cast<unsigned char>(v == 0 ? 0 : v == 1 ? 255 : rng()));
    }
  return p;
}

// Plain rule per pixel: weight (a + 1) >> 1 in 128ths.
std::uint8_t PlainMix(int d, int s, int a) {
  const int w = (a + 1) >> 1, diff = (s - d) * w;
  return static_cast<std::uint8_t>(d + (diff >= 0 ? diff / 128 : -((-diff + 127) / 128)));
}

TEST(ZoRGBBits, AlphaMaskThroughPlaneBothRules) {
  for (VXPixFormat f : {pf24_888, pf32_888, pf32_8888})
    for (bool mmx : {false, true}) {
      const int bpp = _FormatAndDepthTable[f];
      auto src = Make(f, 12, 5, 41), d = Make(f, 12, 5, 42);
      auto plane = Plane(12, 5, 43);
      d->SetMMX(mmx);
      const auto before = Pixels(*d);
      ASSERT_TRUE(d->DrawAlphaMask(0, 0, src.get(), 0, 0, 12, 5, plane.get()));
      const int row = 12 * bpp;
      for (int y = 0; y < 5; ++y) {
        std::vector<unsigned char> expect(before.begin() + y * row, before.begin() + (y + 1) * row);
        const auto* s = src->GetBits() + y * row;
        const auto* a = plane->GetBits() + y * 12;
        if (bpp == 3)
          (mmx ? RGBAlphaOutChannel_MMX : RGBAlphaOutChannel)(expect.data(), s, a, 12);
        else
          (mmx ? RGBAlphaOutChannel32_MMX : RGBAlphaOutChannel32)(expect.data(), s, a, 12);
        ASSERT_EQ(std::memcmp(expect.data(), d->GetBits() + y * row, row), 0) << int(f) << " mmx " << mmx;
        if (mmx) continue;
        for (int i = 0; i < 12; ++i)
          ASSERT_EQ(expect[i * bpp + 1], PlainMix(before[y * row + i * bpp + 1], s[i * bpp + 1], a[i]));
      }
    }
}

TEST(ZoRGBBits, AlphaMaskConvertsOtherFormatsAndClips) {
  // A 565 destination blends through 32-bit lines; a 24-bit source under a 32-bit plane rule.
  auto src = Make(pf24_888, 6, 4, 51);
  auto d = Make(pf16_565, 6, 4, 52);
  auto plane = Plane(6, 4, 53);
  d->SetMMX(false);
  const auto before = Pixels(*d);
  ASSERT_TRUE(d->DrawAlphaMask(0, 0, src.get(), 0, 0, 6, 4, plane.get()));
  for (int y = 0; y < 4; ++y) {
    RGBQUAD sq[6], dq[6];
    RGBQUADcpyFrom24_888(sq, src->GetBits() + y * src->GetPitch(), 6);
    RGBQUADcpyFrom16_565(dq, before.data() + y * 12, 6);
    RGBAlphaOutChannel32(dq, sq, plane->GetBits() + y * 6, 6);
    unsigned char expect[12];
    RGBQUADcpyTo16_565(expect, dq, 6);
    ASSERT_EQ(std::memcmp(expect, d->GetBits() + y * d->GetPitch(), 12), 0);
  }
  // The plane limits the area as the source does: a plane of 3 x 2 cuts the drawing to it.
  auto small = std::make_unique<TZoAlpha>();
  small->SetWidth(3), small->SetHeight(2);
  ASSERT_TRUE(small->Create());
  Recorder rec;
  rec.Attach(*d);
  ASSERT_TRUE(d->DrawAlphaMask(1, 1, src.get(), 0, 0, 6, 4, small.get()));
  EXPECT_EQ(rec.rects.back(), (VXRect{1, 1, 4, 3}));
  EXPECT_EQ(d->PGet(1, 1), d->TZoRGBtoPixel(src->PixeltoTZoRGB(src->PGet(0, 0))));

  // Alpha in the pixels: a 24-bit source is only converted; an 8888 source blends by its own fourth byte.
  auto q = Make(pf32_888, 6, 4);
  ASSERT_TRUE(q->DrawAlphaMask(0, 0, src.get(), 0, 0, 6, 4));
  EXPECT_EQ(q->PGet(5, 3), src->PGet(5, 3));
  auto own = Make(pf32_8888, 6, 4, 54);
  auto q2 = Make(pf32_888, 6, 4, 55);
  q2->SetMMX(false);
  auto expect = Pixels(*q2);
  for (int y = 0; y < 4; ++y) RGBAlphaInChannel(expect.data() + y * 24, own->GetBits() + y * 24, 6);
  ASSERT_TRUE(q2->DrawAlphaMask(0, 0, own.get(), 0, 0, 6, 4));
  EXPECT_EQ(Pixels(*q2), expect);
}

TEST(ZoRGBBits, DoubleAlphaAndFills) {
  auto src = Make(pf32_888, 8, 3, 61), d = Make(pf32_888, 8, 3, 62);
  auto plane = Plane(8, 3, 63);
  d->SetMMX(false);
  auto expect = Pixels(*d);
  for (int y = 0; y < 3; ++y)
    RGBDoubleAlphaOutChannel32(expect.data() + y * 32, src->GetBits() + y * 32, plane->GetBits() + y * 8, 8, 40);
  ASSERT_TRUE(d->DrawDoubleAlphaMask(0, 0, src.get(), 0, 0, 8, 3, plane.get(), 40));
  EXPECT_EQ(Pixels(*d), expect);
  EXPECT_TRUE(d->DrawDoubleAlphaMask(0, 0, src.get(), 0, 0, 8, 3, plane.get(), 0));
  EXPECT_EQ(Pixels(*d), expect);
  EXPECT_FALSE(d->DrawDoubleAlphaMask(0, 0, src.get(), 0, 0, 8, 3, plane.get(), 129));

  // A plane of zeros changes nothing but the area is still marked.
  TZoAlpha zero;
  zero.SetWidth(8), zero.SetHeight(3);
  ASSERT_TRUE(zero.Create());
  zero.Fill(0);
  Recorder rec;
  rec.Attach(*d);
  ASSERT_TRUE(d->AlphaFill(1, 0, 0x00FFFFFF, 0, 0, 8, 3, &zero));
  EXPECT_EQ(Pixels(*d), expect);
  EXPECT_EQ(rec.rects.back(), (VXRect{1, 0, 8, 3}));
  // An opaque plane fills with the pixel, every row from the one filled row.
  zero.Fill(255);
  ASSERT_TRUE(d->AlphaFill(0, 0, 0x00102030, 0, 0, 8, 3, &zero));
  EXPECT_EQ(d->PGet(7, 2) & 0xFFFFFF, 0x00102030u);  // the fourth byte stays
  ASSERT_TRUE(d->AlphaFillRate(0, 0, 0x00000000, 0, 0, 8, 3, &zero, 64));
  EXPECT_EQ(d->PGet(7, 2) & 0xFFFFFF, 0x00081018u);
}

// The two-source form reads B in A's format: a B of another layout is refused rather than misread.
TEST(ZoRGBBits, TwoSourceAlphaMask) {
  auto a = Make(pf24_888, 6, 4, 71), b = Make(pf24_888, 6, 4, 72), d = Make(pf24_888, 6, 4, 73);
  auto plane = Plane(6, 4, 74);
  d->SetMMX(false);
  ASSERT_TRUE(d->DrawAlphaMask(0, 0, a.get(), 0, 0, b.get(), 0, 0, 6, 4, plane.get()));
  auto expect = Pixels(*a);
  for (int y = 0; y < 4; ++y) RGBAlphaOutChannel(expect.data() + y * 18, b->GetBits() + y * 18, plane->GetBits() + y * 6, 6);
  EXPECT_EQ(Pixels(*d), expect);

  auto wide = Make(pf32_888, 6, 4, 75);
  auto q = Make(pf32_888, 6, 4);
  EXPECT_FALSE(d->DrawAlphaMask(0, 0, a.get(), 0, 0, wide.get(), 0, 0, 6, 4, plane.get()));
  EXPECT_FALSE(q->DrawAlphaMask(0, 0, wide.get(), 0, 0, a.get(), 0, 0, 6, 4, plane.get()));
  auto wideAlpha = Make(pf32_8888, 6, 4, 76);
  EXPECT_TRUE(q->DrawAlphaMask(0, 0, wide.get(), 0, 0, wideAlpha.get(), 0, 0, 6, 4, plane.get()));

  // Through 32-bit lines for a 565 destination with 565 sources.
  auto a5 = Make(pf16_565, 6, 4, 77), b5 = Make(pf16_565, 6, 4, 78), d5 = Make(pf16_565, 6, 4);
  d5->SetMMX(false);
  ASSERT_TRUE(d5->DrawAlphaMask(0, 0, a5.get(), 0, 0, b5.get(), 0, 0, 6, 4, plane.get()));
  for (int y = 0; y < 4; ++y) {
    RGBQUAD qa[6], qb[6];
    RGBQUADcpyFrom16_565(qa, a5->GetBits() + y * 12, 6);
    RGBQUADcpyFrom16_565(qb, b5->GetBits() + y * 12, 6);
    RGBAlphaOutChannel32(qa, qb, plane->GetBits() + y * 6, 6);
    unsigned char row[12];
    RGBQUADcpyTo16_565(row, qa, 6);
    ASSERT_EQ(std::memcmp(row, d5->GetBits() + y * 12, 12), 0);
  }
}

// ---- A bitmap drawn onto itself

// The picture a drawing from a bitmap onto itself must give: the same drawing from an untouched copy.
TEST(ZoRGBBits, DrawingOntoItselfWithOverlap) {
  struct Shift { int dx, dy; };
  const Shift shifts[] = {{3, 2}, {-3, -2}, {2, 0}, {-2, 0}, {0, 3}, {0, -3}, {3, -2}, {-3, 2}, {0, 0}};
  for (VXPixFormat f : {pf24_888, pf32_888, pf16_565})
    for (const Shift s : shifts) {
      for (int op = 0; op < 6; ++op) {
        auto self = Make(f, 16, 12, 81);
        auto copy = Make(f, 16, 12, 81);
        auto ref = Make(f, 16, 12, 81);
        const unsigned char mask[] = {0xD0};
        auto plane = Plane(16, 12, 82);
        self->SetReverse(op == 5), ref->SetReverse(op == 5);
        bool a = false, b = false;
        switch (op) {
          case 0: a = self->Draw(4 + s.dx, 3 + s.dy, self.get(), 4, 3, 9, 6);
                  b = ref->Draw(4 + s.dx, 3 + s.dy, copy.get(), 4, 3, 9, 6); break;
          case 1: a = self->DrawMask(4 + s.dx, 3 + s.dy, self.get(), 4, 3, 9, 6, mask, 4, 1);
                  b = ref->DrawMask(4 + s.dx, 3 + s.dy, copy.get(), 4, 3, 9, 6, mask, 4, 1); break;
          case 2: a = self->AlphaBlend(4 + s.dx, 3 + s.dy, self.get(), 4, 3, 9, 6, 100);
                  b = ref->AlphaBlend(4 + s.dx, 3 + s.dy, copy.get(), 4, 3, 9, 6, 100); break;
          case 3: a = self->ConvertCopy(4 + s.dx, 3 + s.dy, self.get(), 4, 3, 9, 6);
                  b = ref->ConvertCopy(4 + s.dx, 3 + s.dy, copy.get(), 4, 3, 9, 6); break;
          case 4: a = self->DrawAlphaMask(4 + s.dx, 3 + s.dy, self.get(), 4, 3, 9, 6, plane.get());
                  b = ref->DrawAlphaMask(4 + s.dx, 3 + s.dy, copy.get(), 4, 3, 9, 6, plane.get()); break;
          case 5: a = self->Draw(4 + s.dx, 3 + s.dy, self.get(), 4, 3, 9, 6);  // mirrored
                  b = ref->Draw(4 + s.dx, 3 + s.dy, copy.get(), 4, 3, 9, 6); break;
        }
        ASSERT_TRUE(a && b);
        ASSERT_EQ(Pixels(*self), Pixels(*ref)) << "format " << int(f) << " op " << op << " shift " << s.dx << ","
                                               << s.dy;
      }
      // Two sources in the same picture pulling in opposite directions.
      auto self = Make(f, 16, 12, 83), copy = Make(f, 16, 12, 83), ref = Make(f, 16, 12, 83);
      ASSERT_TRUE(self->AlphaBlend(4, 3, self.get(), 4 + s.dx, 3 + s.dy, self.get(), 4 - s.dx, 3 - s.dy, 8, 6, 30));
      ASSERT_TRUE(ref->AlphaBlend(4, 3, copy.get(), 4 + s.dx, 3 + s.dy, copy.get(), 4 - s.dx, 3 - s.dy, 8, 6, 30));
      ASSERT_EQ(Pixels(*self), Pixels(*ref)) << "two sources, shift " << s.dx << "," << s.dy;
    }
}

// ---- Indexed colour

// Every index byte reaches a palette entry: a short palette is read only as far as it goes, the rest is black.
TEST(ZoRGBBits, IndexColourWithShortPalette) {
  std::vector<unsigned char> indices(256);
  for (int i = 0; i < 256; ++i) indices[i] = static_cast<unsigned char>(i);
  auto palette = std::make_unique<RGBQUAD[]>(2);  // exactly two entries on the heap: an over-read would show
  palette[0] = {10, 20, 30, 0};
  palette[1] = {40, 50, 60, 0};
  for (VXPixFormat f : {pf24_888, pf32_888, pf16_565}) {
    auto d = Make(f, 16, 16);
    d->BoxFill(0, 0, 15, 15, d->TZoRGBtoPixel(VXRGB(9, 9, 9)));
    ASSERT_TRUE(d->IndexColorCopy(0, 0, indices.data(), palette.get(), 2, 0, 0, 16, 16, 16));
    EXPECT_EQ(d->PixeltoTZoRGB(d->PGet(1, 0)).ToDWORD(), d->PixeltoTZoRGB(d->TZoRGBtoPixel(VXRGB(60, 50, 40))).ToDWORD());
    EXPECT_EQ(d->PGet(2, 0), 0u);
    EXPECT_EQ(d->PGet(15, 15), 0u);
    // A source offset picks the block inside the index picture.
    ASSERT_TRUE(d->IndexColorCopy(0, 0, indices.data(), palette.get(), 2, 1, 0, 1, 1, 16));
    EXPECT_EQ(d->PGet(0, 0), d->TZoRGBtoPixel(VXRGB(60, 50, 40)));
  }
  auto d = Make(pf24_888, 2, 2);
  EXPECT_FALSE(d->IndexColorCopy(0, 0, nullptr, palette.get(), 2, 0, 0, 2, 2, 2));
  EXPECT_FALSE(d->IndexColorCopy(0, 0, indices.data(), nullptr, 2, 0, 0, 2, 2, 2));
}

// ---- Colour effects

TEST(ZoRGBBits, ColourEffects) {
  for (bool mmx : {false, true})
    for (VXPixFormat f : {pf24_888, pf32_8888, pf16_565}) {
      auto b = Make(f, 4, 4);
      b->SetMMX(mmx);
      Recorder rec;
      rec.Attach(*b);
      b->BoxFill(0, 0, 3, 3, b->TZoRGBtoPixel(VXRGB(255, 255, 255)));
      ASSERT_TRUE(b->Sepia(0, 0, 1, 1));
      if (f != pf16_565) {
        EXPECT_EQ(b->PixeltoTZoRGB(b->PGet(0, 0)).ToDWORD(), VXRGB(255, 204, 127).ToDWORD());
      }
      EXPECT_EQ(rec.rects.back(), (VXRect{0, 0, 4, 4}));
      EXPECT_EQ(b->PixeltoTZoRGB(b->PGet(2, 2)).ToDWORD(), 0xFFFFFFu);

      auto pic = Make(f, 4, 4, 91);
      pic->SetMMX(mmx);
      const auto original = Pixels(*pic);
      rec.Attach(*pic);
      rec.rects.clear();
      ASSERT_TRUE(pic->ToneChange(0, 0, 3, 3, 0x808080));
      EXPECT_EQ(Pixels(*pic), original);
      EXPECT_EQ(rec.rects.size(), 1u);
      ASSERT_TRUE(pic->Negative(3, 3, 0, 0));
      ASSERT_TRUE(pic->Negative(0, 0, 3, 3));
      EXPECT_EQ(Pixels(*pic), original);
      ASSERT_TRUE(pic->Negative(100, 100, 200, 200));  // outside: nothing changes, the whole bitmap reported
      EXPECT_EQ(Pixels(*pic), original);
      EXPECT_EQ(rec.rects.back(), (VXRect{0, 0, 4, 4}));

      // The fourth byte of 32-bit pixels is kept by all four.
      if (f == pf32_8888) {
        ASSERT_TRUE(pic->ToneChange(0, 0, 3, 3, 0x40FF20));
        ASSERT_TRUE(pic->Monochrome(0, 0, 3, 3));
        ASSERT_TRUE(pic->Sepia(0, 0, 3, 3));
        ASSERT_TRUE(pic->Negative(0, 0, 3, 3));
        const auto now = Pixels(*pic);
        for (std::size_t i = 3; i < now.size(); i += 4) ASSERT_EQ(now[i], original[i]) << "mmx " << mmx;
      }
    }
  auto t = Make(pf24_888, 2, 1);
  t->PSet(0, 0, VXRGB(100, 20, 10).ToDWORD());
  t->PSet(1, 0, VXRGB(200, 20, 10).ToDWORD());
  ASSERT_TRUE(t->ToneChange(0, 0, 1, 0, 0xFF8080));
  EXPECT_EQ(t->PGet(0, 0), VXRGB(199, 20, 10).ToDWORD());
  EXPECT_EQ(t->PGet(1, 0), VXRGB(255, 20, 10).ToDWORD());
  t->PSet(0, 0, VXRGB(31, 20, 10).ToDWORD());
  ASSERT_TRUE(t->Monochrome(0, 0, 0, 0));
  EXPECT_EQ(t->PGet(0, 0), VXRGB(20, 20, 20).ToDWORD());

  TZoRGBBits none;
  EXPECT_FALSE(none.Sepia(0, 0, 1, 1));
}

TEST(ZoRGBBits, NotCreatedRefusesEverything) {
  TZoRGBBits b;
  auto src = Make(pf24_888, 2, 2);
  unsigned char buf[12] = {};
  EXPECT_FALSE(b.Draw(0, 0, src.get(), 0, 0, 2, 2));
  EXPECT_FALSE(b.PutPat(0, 0, 2, 2, buf));
  EXPECT_FALSE(b.Line(0, 0, 1, 1, 0));
  EXPECT_FALSE(b.BoxFill(0, 0, 1, 1, 0));
  EXPECT_EQ(b.PGet(0, 0), 0u);
  EXPECT_FALSE(src->Draw(0, 0, &b, 0, 0, 1, 1));
  EXPECT_TRUE(src->GetPat(-1, -1, 2, 2, buf));
  EXPECT_EQ(std::memcmp(buf + 9, src->GetBits(), 3), 0);  // the clipped pixels left untouched, (0, 0) at (1, 1)
}

}  // namespace

// Areas read from two sources are cut in 64 bits: a width whose sum with a source position passes the int range
// still stops at each source's right edge, and the rows of the sources are never read past their ends.
TEST(ZoRGBBits, TwoSourceAreasNearTheIntLimits) {
  auto a = Make(pf32_888, 8, 4), b = Make(pf32_888, 8, 4);
  a->BoxFill(0, 0, 7, 3, 0x00C8C8C8);
  b->BoxFill(0, 0, 7, 3, 0x00646464);
  TZoAlpha plane;
  plane.SetWidth(8), plane.SetHeight(4);
  ASSERT_TRUE(plane.Create());
  const int huge = std::numeric_limits<int>::max();
  struct Case {
    const char* what;
    std::function<bool(TZoRGBBits&)> draw;
  };
  const Case cases[] = {
      {"blend", [&](TZoRGBBits& d) { return d.AlphaBlend(0, 0, a.get(), 4, 0, b.get(), 0, 0, huge, 4, 64); }},
      {"mask", [&](TZoRGBBits& d) { return d.DrawAlphaMask(0, 0, a.get(), 4, 0, b.get(), 0, 0, huge, 4, &plane); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto d = Make(pf32_888, 8, 4);
    ASSERT_TRUE(c.draw(*d));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 8; ++x) EXPECT_EQ(d->PGet(x, y) != 0, x < 4) << x << "," << y;
    // Positions so far out that nothing is left, or that the destination position would pass the int range.
    EXPECT_TRUE(d->AlphaBlend(huge, 0, a.get(), 0, 0, b.get(), 4, 0, 4, 4, 64));
    EXPECT_TRUE(d->AlphaBlend(0, 0, a.get(), std::numeric_limits<int>::min(), 0, b.get(), 0, 0, huge, 4, 64));
    EXPECT_TRUE(d->AlphaBlend(huge - 1, 0, a.get(), -4, 0, b.get(), -4, 0, 8, 4, 64));
  }
  int left = 0, top = 0, right = 0, bottom = 0;
  TZoRGBBits::ClipRect({std::numeric_limits<int>::min(), 0, huge, 4}, {1, 0, 8, 4}, left, top, right, bottom);
  EXPECT_EQ(left, huge);  // held at the end of the range
  EXPECT_EQ(right, huge - 8);
}
