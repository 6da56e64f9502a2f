// The picture loaders of the bitmap and the alpha plane: every kind of picture placed into every format, at an
// offset, clipped, with its alpha; and failures that leave the bitmap and the plane as they were.
#include "graphics/zoloaders.h"

#include <gtest/gtest.h>

#include <random>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/vxbmp.h"
#include "graphics/vxgny.h"
#include "graphics/vxjpeg.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "support/pictures.h"

using namespace pictures;

namespace {

constexpr int kW = 5, kH = 3;

std::vector<std::uint32_t> Colours() {
  std::vector<std::uint32_t> v;
  for (int i = 0; i < kW * kH; ++i) v.push_back((0x10 + i * 0x0F) << 16 | (0xF0 - i * 0x0D) << 8 | (i * 17 + 3));
  return v;
}

std::vector<RGBQUAD> Palette() {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < 16; ++i)
    p.push_back({static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(200 - i * 3),
                 static_cast<std::uint8_t>(i * 9), 0});
  return p;
}

std::vector<unsigned char> Indices() {
  std::vector<unsigned char> v;
  for (int i = 0; i < kW * kH; ++i) v.push_back(static_cast<unsigned char>((i * 7) % 16));
  return v;
}

std::string Bmp24() { return MakeBmp({kW, kH, 24, 0, 0, 40, 0, {}, Rows24(kW, kH, Colours())}); }
std::string Bmp8() { return MakeBmp({kW, kH, 8, 16, 0, 40, 0, Palette(), Rows8(kW, kH, Indices())}); }

std::string Png(bool withAlpha) {
  PngSpec s{kW, kH, withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, 8, false, {}, {}};
  int i = 0;
  for (std::uint32_t c : Colours()) {
    s.rows.insert(s.rows.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
    if (withAlpha) s.rows.push_back(static_cast<unsigned char>(i++ * 18));  // 0 .. 252: clear, soft and near opaque
  }
  return MakePng(s);
}

std::string Jpeg() {
  JpegSpec s{kW, kH, 3, false, {}};
  for (std::uint32_t c : Colours())
    s.samples.insert(s.samples.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
  return MakeJpeg(s);
}

enum class Kind { Bmp24, Bmp8, Png, PngAlpha, PngWM, Jpeg, Gny };
constexpr Kind kKinds[] = {Kind::Bmp24, Kind::Bmp8, Kind::Png, Kind::PngAlpha, Kind::PngWM, Kind::Jpeg, Kind::Gny};
const char* Name(Kind k) {
  static const char* const names[] = {"Bmp24", "Bmp8", "Png", "PngAlpha", "PngWM", "Jpeg", "Gny"};
  return names[static_cast<int>(k)];
}

std::string Picture(Kind k) {
  switch (k) {
    case Kind::Bmp24:
      return Bmp24();
    case Kind::Bmp8:
      return Bmp8();
    case Kind::Png:
      return Png(false);
    case Kind::PngAlpha:
    case Kind::PngWM:
      return Png(true);
    case Kind::Jpeg:
      return Jpeg();
    case Kind::Gny:
      return MakeGny(kW, kH, Colours());
  }
  return {};
}

// The loader of the kind, through either kind of stream.
template <class Stream>
bool Load(Kind k, TZoRGBBits& b, Stream* s, int x, int y, TZoAlpha* alpha = nullptr) {
  switch (k) {
    case Kind::Bmp24:
    case Kind::Bmp8:
      return b.DrawBmpStream(s, x, y);
    case Kind::Png:
    case Kind::PngAlpha:
      return b.DrawPngStream(s, x, y, alpha);
    case Kind::PngWM:
      return b.DrawPngWMStream(s, x, y, alpha);
    case Kind::Jpeg:
      return b.DrawJpegStream(s, x, y);
    case Kind::Gny:
      return b.DrawGnyStream(s, x, y, GnyKey(0));
  }
  return false;
}

// What the kind's reader makes of the picture in format f: the pixels, and the alpha plane for PNG.
struct Reference {
  std::vector<unsigned char> pixels, alpha;
};
Reference Read(Kind k, VXPixFormat f) {
  Bytes in(Picture(k));
  unsigned char* p = nullptr;
  unsigned char* a = nullptr;
  int w = 0, h = 0;
  bool ok = false;
  switch (k) {
    case Kind::Bmp24:
    case Kind::Bmp8:
      ok = LoadBmp(&in.stream, &p, &w, &h, f);
      break;
    case Kind::Png:
    case Kind::PngAlpha:
      ok = LoadPng(&in.stream, &p, &a, &w, &h, f);
      break;
    case Kind::PngWM:
      ok = LoadPngWhiteMat(&in.stream, &p, &a, &w, &h, f);
      break;
    case Kind::Jpeg:
      ok = LoadJpeg(&in.stream, &p, &w, &h, f);
      break;
    case Kind::Gny:
      ok = LoadGny(&in.stream, &p, &w, &h, f, GnyKey(0));
      break;
  }
  EXPECT_TRUE(ok && w == kW && h == kH) << Name(k);
  const ZoPictureBlock pixels(p), alpha(a);
  Reference r;
  r.pixels.assign(p, p + kW * kH * _FormatAndDepthTable[f]);
  if (a != nullptr) r.alpha.assign(a, a + kW * kH);
  return r;
}

// Gives a bitmap its format and size and, when asked, creates it filled with `fill` bytes.
void Prepared(TZoRGBBits& b, VXPixFormat f, int w, int h, bool create, unsigned char fill = 0x5A) {
  b.SetPixFormat(f);
  b.SetWidth(w), b.SetHeight(h);
  if (create) {
    EXPECT_TRUE(b.Create());
    for (int y = 0; y < h; ++y) std::memset(b.GetBits() + y * b.GetPitch(), fill, w * b.GetBitDepth());
  }
}

void Prepared(TZoAlpha& p, int w, int h, bool create, unsigned char fill = 0x33) {
  p.SetWidth(w), p.SetHeight(h);
  if (create) {
    EXPECT_TRUE(p.Create());
    p.Fill(fill);
  }
}

// The bytes of pixel (x, y).
std::vector<unsigned char> At(const TZoRGBBits& b, int x, int y) {
  const unsigned char* p = b.GetBits() + y * b.GetPitch() + x * b.GetBitDepth();
  return {p, p + b.GetBitDepth()};
}

// Checks that the picture's pixel (px, py) sits at (bx, by) for every picture pixel that lands inside the bitmap,
// and that every other pixel holds `fill` bytes.
void ExpectPlaced(const TZoRGBBits& b, const std::vector<unsigned char>& picture, int x, int y, unsigned char fill) {
  const int bpp = b.GetBitDepth();
  for (int by = 0; by < b.GetHeight(); ++by)
    for (int bx = 0; bx < b.GetWidth(); ++bx) {
      const int px = bx - x, py = by - y;
      std::vector<unsigned char> want(bpp, fill);
      if (px >= 0 && py >= 0 && px < kW && py < kH)
        want.assign(picture.begin() + (py * kW + px) * bpp, picture.begin() + (py * kW + px + 1) * bpp);
      ASSERT_EQ(At(b, bx, by), want) << "at " << bx << ", " << by;
    }
}

void ExpectPlaced(const TZoAlpha& p, const std::vector<unsigned char>& values, int x, int y, unsigned char fill) {
  for (int py = 0; py < p.GetHeight(); ++py)
    for (int px = 0; px < p.GetWidth(); ++px) {
      const int vx = px - x, vy = py - y;
      const bool inside = vx >= 0 && vy >= 0 && vx < kW && vy < kH;
      ASSERT_EQ(p.PGet(px, py), inside ? values[vy * kW + vx] : fill) << "at " << px << ", " << py;
    }
}

// Storage that cannot be made or locked, as a bitmap or plane backed by a device may refuse.
struct RefusingBits : TZoRGBBits {
  bool Create() override { return false; }
};
struct LocklessBits : TZoRGBBits {
  bool Lock() override { return false; }
};
struct RefusingPlane : TZoAlpha {
  bool Create() override { return false; }
};

}  // namespace

// ---- Bitmaps

TEST(ZoLoaders, EveryKindIntoEveryFormatAtAnOffset) {
  for (Kind k : kKinds)
    for (VXPixFormat f : kAllFormats) {
      SCOPED_TRACE(testing::Message() << Name(k) << " format " << f);
      TZoRGBBits b;
      Prepared(b, f, 9, 7, true);
      std::vector<VXRect> reports;
      b.OnChange = [&](Classes::TComponent*) {
        VXRect r;
        b.GetModifiedRect(&r);
        reports.push_back(r);
      };
      Bytes in(Picture(k));
      ASSERT_TRUE(Load(k, b, &in.stream, 3, 2));
      ExpectPlaced(b, Read(k, f).pixels, 3, 2, 0x5A);
      ASSERT_EQ(reports.size(), 1u);
      EXPECT_EQ(reports[0], (VXRect{3, 2, 3 + kW, 2 + kH}));
    }
}

TEST(ZoLoaders, BitmapNotCreatedIsMadeToHoldThePicture) {
  for (Kind k : kKinds) {
    SCOPED_TRACE(Name(k));
    TZoRGBBits b;
    Prepared(b, pf32_888, 33, 44, false);
    Bytes in(Picture(k));
    VX2TStream framework(&in.stream);
    ASSERT_TRUE(Load(k, b, &framework, 10, 20));
    ASSERT_TRUE(b.IsCreated());
    EXPECT_EQ(b.GetWidth(), 10 + kW);
    EXPECT_EQ(b.GetHeight(), 20 + kH);
    ExpectPlaced(b, Read(k, pf32_888).pixels, 10, 20, 0);
  }
}

TEST(ZoLoaders, ClippedToTheBitmap) {
  const std::vector<unsigned char> picture = Read(Kind::Bmp24, pf24_888).pixels;
  struct Case {
    int width, height, x, y;
    bool create;
    VXRect reported;
  };
  const Case cases[] = {
      {4, 3, -2, 1, true, {0, 1, 3, 3}},    // cut on the left and at the bottom
      {6, 2, 3, -2, true, {3, 0, 6, 1}},    // cut at the top and on the right
      {9, 9, -2, -1, false, {0, 0, 3, 2}},  // a new bitmap holds what lies right of and below the origin
      {4, 4, 10, 10, true, {0, 0, 0, 0}},   // wholly outside: nothing drawn, still true
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "at " << c.x << ", " << c.y);
    TZoRGBBits b;
    Prepared(b, pf24_888, c.width, c.height, c.create);
    VXRect last{-1, -1, -1, -1};
    b.OnChange = [&](Classes::TComponent*) { b.GetModifiedRect(&last); };
    Bytes in(Bmp24());
    ASSERT_TRUE(b.DrawBmpStream(&in.stream, c.x, c.y));
    ExpectPlaced(b, picture, c.x, c.y, c.create ? 0x5A : 0);
    EXPECT_EQ(last, c.reported);
  }
}

TEST(ZoLoaders, PngAlphaGoesIntoThePlane) {
  const Kind kinds[] = {Kind::PngAlpha, Kind::PngWM, Kind::Png};
  for (Kind k : kinds)
    for (bool planeCreated : {false, true}) {
      SCOPED_TRACE(testing::Message() << Name(k) << (planeCreated ? " into a created plane" : " into a new plane"));
      const Reference want = Read(k, pf32_8888);
      TZoRGBBits b;
      Prepared(b, pf32_8888, 12, 12, true);
      TZoAlpha plane;
      Prepared(plane, 8, 6, planeCreated);
      Bytes in(Picture(k));
      ASSERT_TRUE(Load(k, b, &in.stream, 2, 1, &plane));
      ExpectPlaced(b, want.pixels, 2, 1, 0x5A);
      ASSERT_TRUE(plane.IsCreated());
      EXPECT_EQ(plane.GetWidth(), planeCreated ? 8 : 2 + kW);
      EXPECT_EQ(plane.GetHeight(), planeCreated ? 6 : 1 + kH);
      ExpectPlaced(plane, want.alpha, 2, 1, planeCreated ? 0x33 : 255);
      if (k == Kind::Png) {
        EXPECT_EQ(want.alpha, std::vector<unsigned char>(kW * kH, 255));
      }
    }
  // Clipped into a smaller created plane through the framework stream.
  TZoRGBBits b;
  Prepared(b, pf24_888, 3, 3, false);
  TZoAlpha plane;
  Prepared(plane, 2, 2, true);
  Bytes in(Png(true));
  VX2TStream framework(&in.stream);
  ASSERT_TRUE(b.DrawPngStream(&framework, -1, 0, &plane));
  ExpectPlaced(plane, Read(Kind::PngAlpha, pf24_888).alpha, -1, 0, 0x33);
}

// A failed load draws nothing, creates nothing and leaves sizes, pictures and the change report as they were.
TEST(ZoLoaders, FailuresLeaveBitmapAndPlaneAsTheyWere) {
  for (Kind k : kKinds) {
    const std::string good = Picture(k);
    const std::string broken[] = {good.substr(0, good.size() / 2), std::string(64, '\x07'), std::string()};
    for (const std::string& bytes : broken)
      for (bool create : {false, true}) {
        SCOPED_TRACE(testing::Message() << Name(k) << " of " << bytes.size() << " bytes" << (create ? " created" : ""));
        TZoRGBBits b;
        Prepared(b, pf24_888, 7, 6, create);
        TZoAlpha plane;
        Prepared(plane, 4, 3, false);
        int changes = 0;
        b.OnChange = [&](Classes::TComponent*) { ++changes; };
        Bytes in(bytes);
        EXPECT_FALSE(Load(k, b, &in.stream, 1, 1, &plane));
        EXPECT_EQ(b.IsCreated(), create);
        EXPECT_EQ(b.GetWidth(), 7);
        EXPECT_EQ(b.GetHeight(), 6);
        if (create) ExpectPlaced(b, {}, -100, -100, 0x5A);
        EXPECT_EQ(changes, 0);
        EXPECT_FALSE(plane.IsCreated());
        EXPECT_EQ(plane.GetWidth(), 4);
      }
  }
  TZoRGBBits b;
  Prepared(b, pf24_888, 7, 6, false);
  Bytes empty(MakeGny(0, 0, {}));
  EXPECT_FALSE(b.DrawGnyStream(&empty.stream, 0, 0, GnyKey(0)));  // an empty picture is nothing to hold
  Bytes gny(MakeGny(kW, kH, Colours()));
  EXPECT_FALSE(b.DrawGnyStream(&gny.stream, 0, 0, nullptr));
  EXPECT_FALSE(b.DrawBmpStream(static_cast<VXStream*>(nullptr), 0, 0));
  EXPECT_FALSE(b.DrawPngStream(static_cast<Classes::TStream*>(nullptr), 0, 0));
  EXPECT_FALSE(b.IsCreated());
}

// A bitmap that a load makes receives the rows straight into its pixels (and its plane), a bitmap that exists
// through a staging buffer; both end as the reader's own picture. A file damaged after its first rows has had rows
// decoded when it fails, yet the failed load leaves no trace: no bitmap or plane made, an existing bitmap's pixels
// as they were, no change reported.
TEST(ZoLoaders, RowsDecodedBeforeALateFailureLeaveNoTrace) {
  constexpr int w = 64, h = 48;
  std::mt19937 rng(5);
  PngSpec png{w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, {}};
  JpegSpec jpeg{w, h, 3, false, {}};
  for (int i = 0; i < w * h * 4; ++i) png.rows.push_back(static_cast<unsigned char>(rng()));
  for (int i = 0; i < w * h * 3; ++i) jpeg.samples.push_back(static_cast<unsigned char>(rng()));
  const std::string files[] = {MakePng(png), MakeJpeg(jpeg)};
  for (const std::string& file : files) {
    const bool isPng = &file == &files[0];
    for (VXPixFormat f : {pf32_8888, pf24_888, pf16_565}) {
      // The reader's own picture of the whole file.
      Bytes whole(file);
      unsigned char *p = nullptr, *a = nullptr;
      int pw = 0, ph = 0;
      ASSERT_TRUE(isPng ? LoadPng(&whole.stream, &p, &a, &pw, &ph, f) : LoadJpeg(&whole.stream, &p, &pw, &ph, f));
      const ZoPictureBlock pixels(p), alpha(a);
      const int row = w * _FormatAndDepthTable[f];
      for (bool create : {false, true}) {
        SCOPED_TRACE(testing::Message() << (isPng ? "PNG" : "JPEG") << " format " << int(f) << (create ? " created" : ""));
        TZoRGBBits b;
        Prepared(b, f, w, h, create);
        TZoAlpha plane;
        Prepared(plane, w, h, create);
        int changes = 0;
        b.OnChange = [&](Classes::TComponent*) { ++changes; };
        // A JPEG that ends in its last row of blocks still gives its picture: cut it before that row.
        Bytes cut(file.substr(0, file.size() * (isPng ? 4 : 2) / 5));
        EXPECT_FALSE(isPng ? b.DrawPngStream(&cut.stream, 0, 0, &plane) : b.DrawJpegStream(&cut.stream, 0, 0));
        EXPECT_EQ(b.IsCreated(), create);
        EXPECT_EQ(plane.IsCreated(), create);
        EXPECT_EQ(changes, 0);
        for (int y = 0; create && y < h; ++y) {
          ASSERT_EQ(std::vector<unsigned char>(b.GetBits() + y * b.GetPitch(), b.GetBits() + y * b.GetPitch() + row),
                    std::vector<unsigned char>(row, 0x5A));
          for (int x = 0; x < w; ++x) ASSERT_EQ(plane.PGet(x, y), 0x33);
        }

        Bytes in(file);
        ASSERT_TRUE(isPng ? b.DrawPngStream(&in.stream, 0, 0, &plane) : b.DrawJpegStream(&in.stream, 0, 0));
        EXPECT_EQ(changes, 1);
        for (int y = 0; y < h; ++y) {
          ASSERT_EQ(std::memcmp(b.GetBits() + y * b.GetPitch(), p + y * row, row), 0) << "row " << y;
          for (int x = 0; isPng && x < w; ++x) ASSERT_EQ(plane.PGet(x, y), a[y * w + x]);
        }
      }
    }
  }
}

// A decoded picture whose bitmap or plane cannot be made is a failure, not a success with nothing drawn.
TEST(ZoLoaders, FailedCreateIsAFailure) {
  for (Kind k : kKinds) {
    SCOPED_TRACE(Name(k));
    RefusingBits refusing;
    Prepared(refusing, pf24_888, 7, 6, false);
    Bytes in(Picture(k));
    EXPECT_FALSE(Load(k, refusing, &in.stream, 2, 2));
    EXPECT_EQ(refusing.GetWidth(), 7);  // the size meant for the picture is not kept
    EXPECT_EQ(refusing.GetHeight(), 6);

    // The bitmap was made but cannot be drawn: it is released again.
    LocklessBits lockless;
    Prepared(lockless, pf24_888, 7, 6, false);
    Bytes again(Picture(k));
    EXPECT_FALSE(Load(k, lockless, &again.stream, 2, 2));
    EXPECT_FALSE(lockless.IsCreated());
    EXPECT_EQ(lockless.GetWidth(), 7);
  }
  for (bool bitsCreated : {false, true}) {
    SCOPED_TRACE(bitsCreated ? "bitmap created" : "bitmap not created");
    TZoRGBBits b;
    Prepared(b, pf32_8888, 7, 6, bitsCreated);
    int changes = 0;
    b.OnChange = [&](Classes::TComponent*) { ++changes; };
    RefusingPlane plane;
    Prepared(plane, 4, 3, false);
    Bytes in(Png(true));
    EXPECT_FALSE(b.DrawPngStream(&in.stream, 1, 1, &plane));
    EXPECT_EQ(b.IsCreated(), bitsCreated);
    EXPECT_EQ(b.GetWidth(), 7);
    if (bitsCreated) ExpectPlaced(b, {}, -100, -100, 0x5A);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(plane.GetWidth(), 4);
  }
}

// A position that leaves no room for a new bitmap, or whose sum with the side overflows, is refused before anything
// is created; a created bitmap takes any position.
TEST(ZoLoaders, PositionsThatCannotHoldThePicture) {
  const int positions[][2] = {{-kW, 0}, {-200, 0}, {0, -kH}, {INT_MAX - 2, 0}, {0, INT_MAX}, {INT_MIN, INT_MIN}};
  for (const auto& p : positions) {
    SCOPED_TRACE(testing::Message() << p[0] << ", " << p[1]);
    TZoRGBBits b;
    Prepared(b, pf24_888, 7, 6, false);
    Bytes in(Bmp24());
    EXPECT_FALSE(b.DrawBmpStream(&in.stream, p[0], p[1]));
    EXPECT_FALSE(b.IsCreated());
    EXPECT_EQ(b.GetWidth(), 7);
    EXPECT_EQ(b.GetHeight(), 6);

    TZoAlpha plane;
    Prepared(plane, 4, 3, false);
    Bytes alpha(Bmp8());
    EXPECT_FALSE(plane.LoadAlphaStream(&alpha.stream, p[0], p[1]));
    EXPECT_FALSE(plane.IsCreated());
    EXPECT_EQ(plane.GetWidth(), 4);

    TZoRGBBits created;
    Prepared(created, pf24_888, 7, 6, true);
    Bytes again(Bmp24());
    EXPECT_TRUE(created.DrawBmpStream(&again.stream, p[0], p[1]));
    ExpectPlaced(created, {}, -100, -100, 0x5A);
  }
}

// ---- Alpha planes

namespace {

std::vector<unsigned char> Levels() {
  std::vector<unsigned char> v;
  const std::vector<RGBQUAD> pal = Palette();
  for (unsigned char i : Indices())
    v.push_back(static_cast<unsigned char>((pal[i].rgbBlue + pal[i].rgbGreen + pal[i].rgbRed) / 3));
  return v;
}

template <class Stream>
bool LoadPlane(bool index, TZoAlpha& p, Stream* s, int x, int y) {
  return index ? p.LoadIndexStream(s, x, y) : p.LoadAlphaStream(s, x, y);
}

}  // namespace

TEST(ZoLoaders, PlaneFromAnEightBitPicture) {
  for (bool index : {false, true}) {
    SCOPED_TRACE(index ? "LoadIndexStream" : "LoadAlphaStream");
    const std::vector<unsigned char> want = index ? Indices() : Levels();

    TZoAlpha fresh;
    Prepared(fresh, 50, 50, false);
    Bytes in(Bmp8());
    ASSERT_TRUE(LoadPlane(index, fresh, &in.stream, 0, 0));
    ASSERT_TRUE(fresh.IsCreated());
    EXPECT_EQ(fresh.GetWidth(), kW);  // exactly the picture's size
    EXPECT_EQ(fresh.GetHeight(), kH);
    ExpectPlaced(fresh, want, 0, 0, 0);

    TZoAlpha created;
    Prepared(created, 6, 5, true);
    Bytes again(Bmp8());
    VX2TStream framework(&again.stream);
    ASSERT_TRUE(LoadPlane(index, created, &framework, 2, 3));  // clipped on the right and at the bottom
    ExpectPlaced(created, want, 2, 3, 0x33);
  }
}

TEST(ZoLoaders, PlaneFailuresLeaveThePlaneAsItWas) {
  const std::string good = Bmp8();
  const std::string bad[] = {Bmp24(), good.substr(0, good.size() - 4), std::string(60, 'x')};
  for (bool index : {false, true})
    for (const std::string& bytes : bad)
      for (bool create : {false, true}) {
        SCOPED_TRACE(testing::Message() << (index ? "index " : "alpha ") << bytes.size() << (create ? " created" : ""));
        TZoAlpha p;
        Prepared(p, 6, 5, create);
        Bytes in(bytes);
        EXPECT_FALSE(LoadPlane(index, p, &in.stream, 1, 1));
        EXPECT_EQ(p.IsCreated(), create);
        EXPECT_EQ(p.GetWidth(), 6);
        if (create) ExpectPlaced(p, {}, -100, -100, 0x33);
      }
  RefusingPlane refusing;
  Prepared(refusing, 6, 5, false);
  Bytes in(good);
  EXPECT_FALSE(refusing.LoadAlphaStream(&in.stream, 1, 1));
  EXPECT_EQ(refusing.GetWidth(), 6);
  EXPECT_EQ(refusing.GetHeight(), 5);
  TZoAlpha p;
  EXPECT_FALSE(p.LoadIndexStream(static_cast<Classes::TStream*>(nullptr), 0, 0));
  EXPECT_FALSE(p.LoadAlphaStream(static_cast<VXStream*>(nullptr), 0, 0));
}
