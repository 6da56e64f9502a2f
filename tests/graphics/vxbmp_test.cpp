#include "graphics/vxbmp.h"

#include <gtest/gtest.h>

#include "core/vxrefusal.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "graphics/zobmp.h"
#include "support/pictures.h"

using namespace pictures;

namespace {

const std::vector<std::uint32_t> k3x2 = {0x102030, 0x405060, 0x708090, 0xA0B0C0, 0xD0E0F0, 0xFF0001};

std::vector<RGBQUAD> Palette16() {
  std::vector<RGBQUAD> p;
  for (int i = 0; i < 16; ++i)
    p.push_back({static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i), static_cast<std::uint8_t>(i * 7),
                 static_cast<std::uint8_t>(i * 17)});
  return p;
}

std::uint32_t QuadArgb(const RGBQUAD& q) { return Argb(q.rgbReserved, q.rgbRed, q.rgbGreen, q.rgbBlue); }

struct Loaded {
  bool ok;
  std::vector<unsigned char> pixels;
  int width = -1, height = -1;
  bool allocated = false;
};

Loaded Load(const std::string& bytes, VXPixFormat f) {
  Bytes in(bytes);
  Loaded r;
  unsigned char* p = nullptr;
  r.ok = LoadBmp(&in.stream, &p, &r.width, &r.height, f);
  r.allocated = p != nullptr;
  if (p != nullptr && r.ok) r.pixels.assign(p, p + PictureBytes(r.width, r.height, f));
  std::free(p);
  return r;
}

}  // namespace

TEST(VXBmp, TwentyFourBitIntoEveryFormat) {
  const std::string file = MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)});
  EXPECT_EQ(file.size(), 54u + 2 * 12);
  SaveSeed("bmp_fuzz", "rgb24_3x2.bmp", file);
  for (VXPixFormat f : kAllFormats) {
    SCOPED_TRACE(int(f));
    Loaded r = Load(file, f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.width, 3);
    EXPECT_EQ(r.height, 2);
    EXPECT_EQ(r.pixels, Expected(f, k3x2));  // the first stored row is the bottom row
  }
  // A width that is a multiple of 4 has no padding: the reader stops exactly at the end of the data.
  std::vector<std::uint32_t> wide(8, 0x123456);
  Bytes in(MakeBmp({4, 2, 24, 0, 0, 40, 0, {}, Rows24(4, 2, wide)}) + "tail");
  unsigned char* p = nullptr;
  int w, h;
  ASSERT_TRUE(LoadBmp(&in.stream, &p, &w, &h, pf24_888));
  EXPECT_EQ(in.stream.GetPosition(), 54 + 24);
  std::free(p);
}

TEST(VXBmp, EightBitTakesThePaletteAndItsReservedByte) {
  const std::vector<unsigned char> idx = {0, 5, 15, 7, 9, 1, 2, 3, 4, 10, 11, 12, 13, 14, 6};
  const std::vector<RGBQUAD> pal = Palette16();
  const std::string file = MakeBmp({5, 3, 8, 16, 0, 40, 0, pal, Rows8(5, 3, idx)});
  SaveSeed("bmp_fuzz", "pal8_5x3.bmp", file);
  std::vector<std::uint32_t> want;
  for (unsigned char i : idx) want.push_back(QuadArgb(pal[i]));
  for (VXPixFormat f : kAllFormats) {
    SCOPED_TRACE(int(f));
    Loaded r = Load(file, f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, Expected(f, want));
  }
  Bytes in(file);
  unsigned char* p = nullptr;
  int w, h;
  ASSERT_TRUE(LoadBmp(&in.stream, &p, &w, &h, pf32_8888));
  EXPECT_EQ(in.stream.GetPosition(), 54 + 64 + 3 * 8);  // 16 palette entries, rows of 8 bytes
  std::free(p);
}

// Entries past "colours used" are black rather than whatever the heap held.
TEST(VXBmp, IndexesPastColoursUsedAreBlack) {
  const std::vector<RGBQUAD> pal = {{1, 2, 3, 4}, {5, 6, 7, 8}};
  const std::string file = MakeBmp({4, 1, 8, 2, 0, 40, 0, pal, Rows8(4, 1, {0, 1, 2, 255})});
  Loaded r = Load(file, pf32_8888);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.pixels, Expected(pf32_8888, {QuadArgb(pal[0]), QuadArgb(pal[1]), 0, 0}));
}

TEST(VXBmp, LayoutsBeyondTheBasicOne) {
  const std::vector<std::uint32_t> want = k3x2;
  struct Case {
    const char* name;
    Bmp bmp;
  } cases[] = {
      {"top-down rows", {3, -2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2, false)}},
      {"version 5 header", {3, 2, 24, 0, 0, 124, 0, {}, Rows24(3, 2, k3x2)}},
      {"version 4 header", {3, 2, 24, 0, 0, 108, 0, {}, Rows24(3, 2, k3x2)}},
      {"gap before the pixels", {3, 2, 24, 0, 0, 40, 10, {}, Rows24(3, 2, k3x2)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = MakeBmp(c.bmp);
    Loaded r = Load(file, pf32_888);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.height, 2);
    EXPECT_EQ(r.pixels, Expected(pf32_888, want));
  }
}

TEST(VXBmp, SizeQueryAndUnsupportedKinds) {
  const std::string file = MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)});
  {
    Bytes in(file);
    int w = 0, h = 0;
    EXPECT_TRUE(LoadBmp(&in.stream, nullptr, &w, &h, pf16_565));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(in.stream.GetPosition(), 54);
  }
  for (int bits : {1, 4, 16, 32}) {
    Bytes in(MakeBmp({7, 5, bits, 0, 0, 40, 0, {}, std::string(400, '\0')}));
    unsigned char* p = nullptr;
    int w = 0, h = 0;
    EXPECT_FALSE(LoadBmp(&in.stream, &p, &w, &h, pf32_888)) << bits;
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 5);
    EXPECT_EQ(p, nullptr);
  }
  for (int f : {0, 8, 200}) {
    Bytes in(file);
    int w = -1;
    unsigned char* p = nullptr;
    EXPECT_FALSE(LoadBmp(&in.stream, &p, &w, nullptr, static_cast<VXPixFormat>(f)));
    EXPECT_EQ(w, -1);
    EXPECT_EQ(in.stream.GetPosition(), 0);
  }
}

// Headers that cannot describe a readable picture are refused, with the reason, before anything is allocated.
TEST(VXBmp, BadHeadersAreRefused) {
  struct Case {
    const char* name;
    Bmp bmp;
    const char* reason;
  } cases[] = {
      {"257 colours used", {2, 2, 8, 257, 0, 40, 0, std::vector<RGBQUAD>(257), std::string(16, '\0')},
       "a palette of more than 256 colours"},
      {"width 0", {0, 2, 24, 0, 0, 40, 0, {}, std::string(16, '\0')}, "a BMP picture without pixels"},
      {"negative width", {-3, 2, 24, 0, 0, 40, 0, {}, std::string(24, '\0')}, "a BMP picture without pixels"},
      {"height 0", {3, 0, 24, 0, 0, 40, 0, {}, std::string(24, '\0')}, "a BMP picture without pixels"},
      {"height INT_MIN", {3, INT_MIN, 24, 0, 0, 40, 0, {}, std::string(24, '\0')}, "larger than 16384 pixels a side"},
      {"run-length compressed", {2, 2, 8, 2, 1, 40, 0, std::vector<RGBQUAD>(2), std::string(8, '\0')},
       "run-length (RLE8) BMP pictures are not supported"},
      {"4-bit run-length", {2, 2, 4, 2, 2, 40, 0, std::vector<RGBQUAD>(2), std::string(8, '\0')},
       "run-length (RLE4) BMP pictures are not supported"},
      {"bit fields", {2, 2, 32, 0, 3, 40, 0, {}, std::string(16, '\0')}, "bit-field BMP pictures are not supported"},
      {"16 bits", {2, 2, 16, 0, 0, 40, 0, {}, std::string(16, '\0')},
       "BMP pictures of other than 8 or 24 bits a pixel are not supported"},
      {"compression 9", {2, 2, 24, 0, 9, 40, 0, {}, std::string(16, '\0')}, "unknown BMP compression"},
      {"core header", {2, 2, 24, 0, 0, 40, 0, {}, std::string(16, '\0')}, "OS/2 BMP headers are not supported"},
      {"wider than the cap", {16385, 1, 24, 0, 0, 40, 0, {}, std::string(64, '\0')}, "larger than 16384 pixels a side"},
      {"product beyond 32 bits", {16384, 16384, 24, 0, 0, 40, 0, {}, std::string(64, '\0')}, "the file ends early"},
      {"rows missing", {3, 2, 24, 0, 0, 40, 0, {}, std::string(12, '\0')}, "the file ends early"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string file = MakeBmp(c.bmp);
    if (std::string(c.name) == "core header") file[14] = 12;
    Loaded r = Load(file, pf32_888);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.allocated);
    EXPECT_STREQ(VXRefusal(), c.reason);
  }
  // The alpha and palette readers take 8-bit pictures only.
  Bytes colour(MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)}));
  unsigned char* alpha = nullptr;
  int w, h;
  EXPECT_FALSE(LoadAlpha(&colour.stream, &alpha, &w, &h));
  EXPECT_STREQ(VXRefusal(), "not an 8-bit (palette) BMP picture");
}

TEST(VXBmp, FailuresReleaseWhatTheReaderAllocated) {
  std::string file = MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)});
  // A stream of unknown length that ends inside the rows: the buffer is made, then released.
  class Unsized : public VXMemoryStream {
  public:
    using VXMemoryStream::VXMemoryStream;
    std::int64_t GetSize() override { return -1; }
  } in(file.data(), static_cast<int>(file.size()) - 5);
  unsigned char* p = nullptr;
  int w, h;
  EXPECT_FALSE(LoadBmp(&in, &p, &w, &h, pf24_888));
  EXPECT_EQ(p, nullptr);
}

TEST(VXBmp, CallersBufferMustHoldThePicture) {
  const std::string file = MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)});
  std::vector<unsigned char> buffer(18, 0xEE);
  unsigned char* p = buffer.data();
  int w, h;
  Bytes small(file);
  EXPECT_FALSE(LoadBmp(&small.stream, &p, &w, &h, pf24_888, 17));
  EXPECT_STREQ(VXRefusal(), "the picture does not fit the buffer given for it");
  EXPECT_EQ(buffer, std::vector<unsigned char>(18, 0xEE));
  EXPECT_EQ(p, buffer.data());
  Bytes exact(file);
  EXPECT_TRUE(LoadBmp(&exact.stream, &p, &w, &h, pf24_888, 18));
  EXPECT_EQ(buffer, Expected(pf24_888, k3x2));
}

TEST(VXBmp, AlphaPlaneFromPaletteLevels) {
  std::vector<RGBQUAD> pal(256);
  for (int i = 0; i < 256; ++i) pal[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
  pal[7] = {91, 60, 30, 0};  // blue, green, red
  const std::vector<unsigned char> idx = {0, 7, 128, 255, 3, 200};
  const std::string file = MakeBmp({3, 2, 8, 0, 0, 40, 0, pal, Rows8(3, 2, idx)});
  SaveSeed("bmp_fuzz", "grey8_3x2.bmp", file);
  Bytes in(file);
  unsigned char* a = nullptr;
  int w, h;
  ASSERT_TRUE(LoadAlpha(&in.stream, &a, &w, &h));
  EXPECT_EQ(std::vector<unsigned char>(a, a + 6), (std::vector<unsigned char>{0, 60, 128, 255, 3, 200}));
  std::free(a);

  Bytes colour(MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)}));
  a = nullptr;
  EXPECT_FALSE(LoadAlpha(&colour.stream, &a, &w, &h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(a, nullptr);
}

TEST(VXBmp, PaletteAndIndices) {
  const std::vector<RGBQUAD> pal = Palette16();
  const std::vector<unsigned char> idx = {1, 2, 3, 4, 5, 6};
  const std::string file = MakeBmp({3, 2, 8, 16, 0, 40, 0, pal, Rows8(3, 2, idx)});
  int w, h;
  {  // A new palette: the file's 16 entries, the rest zero.
    Bytes in(file);
    RGBQUAD* p = nullptr;
    unsigned char* i = nullptr;
    ASSERT_TRUE(LoadPalette(&in.stream, &p, &i, &w, &h));
    EXPECT_EQ(std::memcmp(p, pal.data(), 64), 0);
    EXPECT_EQ(QuadArgb(p[16]), 0u);
    EXPECT_EQ(QuadArgb(p[255]), 0u);
    EXPECT_EQ(std::vector<unsigned char>(i, i + 6), idx);
    std::free(p);
    std::free(i);
  }
  {  // The caller's palette keeps the entries the file does not hold; no palette pointer skips it.
    std::vector<RGBQUAD> mine(256, RGBQUAD{9, 9, 9, 9});
    RGBQUAD* p = mine.data();
    Bytes in(file);
    ASSERT_TRUE(LoadPalette(&in.stream, &p, nullptr, &w, &h));
    EXPECT_EQ(QuadArgb(mine[15]), QuadArgb(pal[15]));
    EXPECT_EQ(QuadArgb(mine[16]), 0x09090909u);
    Bytes again(file);
    unsigned char* i = nullptr;
    ASSERT_TRUE(LoadPalette(&again.stream, nullptr, &i, &w, &h));
    EXPECT_EQ(std::vector<unsigned char>(i, i + 6), idx);
    std::free(i);
  }
  {  // A failure releases both new buffers.
    Bytes in(file.substr(0, file.size() - 2));
    RGBQUAD* p = nullptr;
    unsigned char* i = nullptr;
    EXPECT_FALSE(LoadPalette(&in.stream, &p, &i, &w, &h));
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(i, nullptr);
  }
}

TEST(VXBmp, FrameworkStreamForms) {
  const std::string file = MakeBmp({3, 2, 24, 0, 0, 40, 0, {}, Rows24(3, 2, k3x2)});
  Bytes in(file);
  VX2TStream framework(&in.stream);
  unsigned char* p = nullptr;
  int w, h;
  ASSERT_TRUE(LoadBmp(&framework, &p, &w, &h, pf32_888));
  EXPECT_EQ(std::vector<unsigned char>(p, p + 24), Expected(pf32_888, k3x2));
  std::free(p);
  EXPECT_EQ(framework.GetPosition(), static_cast<std::int64_t>(file.size()));
}

// The writer's files read back pixel for pixel, rows padded to four bytes and stored bottom-up.
TEST(VXBmp, WrittenTwentyFourBitPicturesReadBack) {
  for (auto [width, height] : {std::pair{3, 2}, std::pair{4, 1}, std::pair{5, 3}}) {
    std::vector<unsigned char> pixels(static_cast<std::size_t>(width) * height * 3);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 7 + 1);
    VXMemoryStream file;
    ASSERT_TRUE(SaveBmp24(&file, pixels.data(), width, height));
    const int stride = (width * 3 + 3) / 4 * 4;
    EXPECT_EQ(file.GetSize(), 54 + stride * height);
    EXPECT_EQ(file.GetMemory()[0], 'B');
    file.Seek(0, VXSeekBegin);
    unsigned char* read = nullptr;
    int w = 0, h = 0;
    ASSERT_TRUE(LoadBmp(&file, &read, &w, &h, pf24_888));
    EXPECT_EQ(std::vector<unsigned char>(read, read + pixels.size()), pixels) << width << " x " << height;
    std::free(read);
  }
  VXMemoryStream file;
  const unsigned char pixel[3] = {};
  EXPECT_FALSE(SaveBmp24(&file, pixel, 0, 1));
  EXPECT_FALSE(SaveBmp24(&file, nullptr, 1, 1));
  EXPECT_FALSE(SaveBmp24(nullptr, pixel, 1, 1));
}
