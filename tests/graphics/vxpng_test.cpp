#include "graphics/vxpng.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/vxrefusal.h"
#include "graphics/vxbmp.h"
#include "graphics/zopng.h"
#include "support/pictures.h"

using namespace pictures;

namespace {

// Samples of a w x h picture with `channels` channels at `depth` bits, deterministic and varied.
std::vector<unsigned char> Samples(int w, int h, int channels, int depth, unsigned seed = 1) {
  std::vector<unsigned char> v(std::size_t(w) * h * channels * depth / 8);
  for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<unsigned char>((i * 73 + seed * 41 + i / 7) & 0xFF);
  return v;
}

struct Read {
  bool ok;
  int width = -1, height = -1;
  std::vector<unsigned char> pixels, alpha;
  bool pixelsNull = true, alphaNull = true;
};

Read Load(const std::string& file, VXPixFormat f, bool wantAlpha = true, bool whiteMatte = false) {
  Bytes in(file);
  Read r;
  unsigned char* p = nullptr;
  unsigned char* a = nullptr;
  auto load = whiteMatte ? static_cast<bool (*)(VXStream*, unsigned char**, unsigned char**, int*, int*, VXPixFormat,
                                                std::size_t, std::size_t)>(LoadPngWhiteMat)
                         : static_cast<bool (*)(VXStream*, unsigned char**, unsigned char**, int*, int*, VXPixFormat,
                                                std::size_t, std::size_t)>(LoadPng);
  r.ok = load(&in.stream, &p, wantAlpha ? &a : nullptr, &r.width, &r.height, f, 0, 0);
  r.pixelsNull = p == nullptr;
  r.alphaNull = a == nullptr;
  if (r.ok) {
    r.pixels.assign(p, p + PictureBytes(r.width, r.height, f));
    if (a != nullptr) r.alpha.assign(a, a + r.width * r.height);
  }
  std::free(p);
  std::free(a);
  return r;
}

}  // namespace

// 37 pixels wide: rows of 8-bit samples are built sixteen pixels at a time, and the last five one by one.
TEST(VXPng, RgbaIntoEveryFormat) {
  for (int depth : {8, 16}) {
    for (bool interlace : {false, true}) {
      for (int w : {9, 37}) {
        SCOPED_TRACE(testing::Message() << depth << " bits, interlace " << interlace << ", " << w << " wide");
        const int h = 7, step = depth / 8;
        const std::vector<unsigned char> s = Samples(w, h, 4, depth);
        const std::string file = MakePng({w, h, PNG_COLOR_TYPE_RGB_ALPHA, depth, interlace, {}, s});
        if (w == 9)
          SaveSeed("png_fuzz", ("rgba" + std::to_string(depth) + (interlace ? "_interlaced.png" : ".png")).c_str(), file);
        std::vector<std::uint32_t> colours;
        std::vector<unsigned char> alpha;
        for (int i = 0; i < w * h; ++i) {
          const unsigned char* px = s.data() + i * 4 * step;  // a 16-bit sample keeps its high (first) byte
          colours.push_back(Argb(px[3 * step], px[0], px[step], px[2 * step]));
          alpha.push_back(px[3 * step]);
        }
        for (VXPixFormat f : kAllFormats) {
          SCOPED_TRACE(int(f));
          Read r = Load(file, f);
          ASSERT_TRUE(r.ok);
          std::vector<std::uint32_t> want = colours;
          if (!CarriesAlpha(f))
            for (auto& c : want) c &= 0xFFFFFF;
          EXPECT_EQ(r.pixels, Expected(f, want));
          EXPECT_EQ(r.alpha, alpha);
        }
      }
    }
  }
}

TEST(VXPng, RgbAndPaletteGiveOpaquePlanes) {
  const int w = 5, h = 4;
  const std::vector<unsigned char> rgb = Samples(w, h, 3, 8, 2);
  const std::string rgbFile = MakePng({w, h, PNG_COLOR_TYPE_RGB, 8, false, {}, rgb});
  SaveSeed("png_fuzz", "rgb8.png", rgbFile);
  // A palette of 4 entries; indexes 4..7 lie past it and read as black.
  const std::vector<png_color> pal = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {255, 0, 128}};
  std::vector<unsigned char> idx(w * h);
  for (int i = 0; i < w * h; ++i) idx[i] = static_cast<unsigned char>(i % 8);
  const std::string palFile = MakePng({w, h, PNG_COLOR_TYPE_PALETTE, 8, false, pal, idx});
  SaveSeed("png_fuzz", "pal8.png", palFile);
  for (VXPixFormat f : kAllFormats) {
    SCOPED_TRACE(int(f));
    const unsigned fourth = CarriesAlpha(f) ? 255 : 0;
    std::vector<std::uint32_t> wantRgb, wantPal;
    for (int i = 0; i < w * h; ++i) {
      wantRgb.push_back(Argb(fourth, rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]));
      const png_color c = idx[i] < 4 ? pal[idx[i]] : png_color{0, 0, 0};
      wantPal.push_back(Argb(fourth, c.red, c.green, c.blue));
    }
    Read r = Load(rgbFile, f);
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.pixels, Expected(f, wantRgb));
    EXPECT_EQ(r.alpha, std::vector<unsigned char>(w * h, 255));
    Read p = Load(palFile, f);
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.pixels, Expected(f, wantPal));
    EXPECT_EQ(p.alpha, std::vector<unsigned char>(w * h, 255));
  }
}

// A sample of `depth` bits at index i of a packed row (1, 2 and 4 bits from the high bits of a byte; a 16-bit sample
// gives its high, first, byte).
unsigned SampleAt(const unsigned char* row, int i, int depth) {
  if (depth >= 8) return row[i * depth / 8];
  const int bit = i * depth;
  return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1 << depth) - 1);
}

TEST(VXPng, GreyAndEveryDepthAreRead) {
  struct Case {
    const char* name;
    int type, depth, channels;
  };
  const Case cases[] = {
      {"palette 1-bit", PNG_COLOR_TYPE_PALETTE, 1, 1},  {"palette 2-bit", PNG_COLOR_TYPE_PALETTE, 2, 1},
      {"palette 4-bit", PNG_COLOR_TYPE_PALETTE, 4, 1},  {"grey 1-bit", PNG_COLOR_TYPE_GRAY, 1, 3},
      {"grey 2-bit", PNG_COLOR_TYPE_GRAY, 2, 3},        {"grey 4-bit", PNG_COLOR_TYPE_GRAY, 4, 3},
      {"grey 8-bit", PNG_COLOR_TYPE_GRAY, 8, 3},        {"grey 16-bit", PNG_COLOR_TYPE_GRAY, 16, 3},
      {"grey with alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, 4},
      {"grey with alpha 16-bit", PNG_COLOR_TYPE_GRAY_ALPHA, 16, 4},
  };
  const int w = 7, h = 3;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int perPixel = c.type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    const std::size_t rowBytes = (std::size_t(w) * perPixel * c.depth + 7) / 8;
    std::vector<unsigned char> rows = Samples(static_cast<int>(rowBytes), h, 1, 8, c.depth);
    std::vector<png_color> palette;
    if (c.type == PNG_COLOR_TYPE_PALETTE) {
      for (int i = 0; i < (1 << c.depth); ++i) {
        const auto level = static_cast<png_byte>(i * 16);
        palette.push_back({level, static_cast<png_byte>(255 - level), static_cast<png_byte>(i * 8)});
      }
    }
    const std::string file = MakePng({w, h, c.type, c.depth, false, palette, rows});
    std::string seed = std::string(c.name) + ".png";
    std::replace(seed.begin(), seed.end(), ' ', '_');
    SaveSeed("png_fuzz", seed.c_str(), file);
    Bytes query(file);
    EXPECT_EQ(ChkChannelPng(&query.stream), c.channels);
    for (VXPixFormat f : kAllFormats) {
      SCOPED_TRACE(int(f));
      const unsigned fourth = CarriesAlpha(f) ? 255 : 0;
      std::vector<std::uint32_t> want;
      std::vector<unsigned char> alpha;
      for (int y = 0; y < h; ++y) {
        const unsigned char* row = rows.data() + y * rowBytes;
        for (int x = 0; x < w; ++x) {
          const unsigned v = SampleAt(row, x * perPixel, c.depth);
          if (c.type == PNG_COLOR_TYPE_PALETTE) {
            want.push_back(Argb(fourth, palette[v].red, palette[v].green, palette[v].blue));
            alpha.push_back(255);
            continue;
          }
          const unsigned grey = c.depth < 8 ? v * 255 / ((1u << c.depth) - 1) : v;
          const unsigned a = perPixel == 2 ? SampleAt(row, x * 2 + 1, c.depth) : 255;
          want.push_back(Argb(CarriesAlpha(f) ? a : 0, grey, grey, grey));
          alpha.push_back(static_cast<unsigned char>(a));
        }
      }
      Read r = Load(file, f);
      ASSERT_TRUE(r.ok) << VXRefusal();
      EXPECT_EQ(r.pixels, Expected(f, want));
      EXPECT_EQ(r.alpha, alpha);
    }
  }
}

TEST(VXPng, RefusalsSayWhy) {
  for (auto [type, channels] : {std::pair{PNG_COLOR_TYPE_RGB, 3}, std::pair{PNG_COLOR_TYPE_RGB_ALPHA, 4}}) {
    Bytes in(MakePng({2, 2, type, 8, false, {}, Samples(2, 2, channels, 8)}));
    EXPECT_EQ(ChkChannelPng(&in.stream), channels);
  }
  const std::string good = MakePng({6, 5, PNG_COLOR_TYPE_RGB, 8, false, {}, Samples(6, 5, 3, 8)});
  Bytes cut(good.substr(0, good.size() - 30));
  unsigned char* pixels = nullptr;
  int width = 0, height = 0;
  EXPECT_FALSE(LoadPng(&cut.stream, &pixels, &width, &height, pf32_888));
  EXPECT_STREQ(VXRefusal(), "the file ends early");
  EXPECT_EQ(pixels, nullptr) << "a buffer the reader made is released";
  std::string damaged = good;
  damaged[20] = static_cast<char>(damaged[20] ^ 1);  // the width, under the header's CRC
  Bytes bad(damaged);
  EXPECT_FALSE(LoadPng(&bad.stream, &pixels, &width, &height, pf32_888));
  EXPECT_STREQ(VXRefusal(), "IHDR: CRC error");
  std::string notPng = MakePng({2, 2, PNG_COLOR_TYPE_RGB, 8, false, {}, Samples(2, 2, 3, 8)});
  notPng[1] = 'Q';
  Bytes a(notPng), b(notPng);
  EXPECT_EQ(ChkChannelPng(&a.stream), 0);
  unsigned char* p = nullptr;
  int w, h;
  EXPECT_FALSE(LoadPng(&b.stream, &p, &w, &h, pf32_888));
  EXPECT_STREQ(VXRefusal(), "not a PNG file");
  EXPECT_EQ(b.stream.GetPosition(), 8);
}

TEST(VXPng, SizeQueryTruncationAndCapacity) {
  const std::string file = MakePng({6, 3, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, Samples(6, 3, 4, 8)});
  int w = 0, h = 0;
  Bytes query(file);
  EXPECT_TRUE(LoadPng(&query.stream, nullptr, nullptr, &w, &h, pf16_565));
  EXPECT_EQ(w, 6);
  EXPECT_EQ(h, 3);
  for (std::size_t cut : {std::size_t(10), std::size_t(40), file.size() - 20, file.size() - 1}) {
    Read r = Load(file.substr(0, cut), pf24_888);
    EXPECT_FALSE(r.ok) << cut;
    EXPECT_TRUE(r.pixelsNull && r.alphaNull) << cut;
  }
  std::vector<unsigned char> pixels(6 * 3 * 3, 0xEE), alpha(18, 0xEE);
  unsigned char* p = pixels.data();
  unsigned char* a = alpha.data();
  Bytes small(file);
  EXPECT_FALSE(LoadPng(&small.stream, &p, &a, &w, &h, pf24_888, pixels.size(), 17));
  EXPECT_EQ(alpha, std::vector<unsigned char>(18, 0xEE));
  Bytes exact(file);
  EXPECT_TRUE(LoadPng(&exact.stream, &p, &a, &w, &h, pf24_888, pixels.size(), 18));
  EXPECT_EQ(p, pixels.data());
}

// Colours come back from a composite over white; the table no longer wraps where colour + alpha < 255.
TEST(VXPng, WhiteMatte) {
  ASSERT_TRUE(WhiteMatInit());
  // (red, green, blue, alpha) -> restored (red, green, blue)
  struct Case {
    unsigned char in[4], out[3];
  } cases[] = {
      {{200, 17, 255, 128}, {145, 0, 255}},  // ((200 + 128) x 255 - 65025) / 128 = 145; 17 + 128 < 255 gives 0
      {{12, 34, 56, 255}, {12, 34, 56}},
      {{200, 100, 50, 0}, {0, 0, 0}},
      {{10, 250, 255, 100}, {0, 242, 255}},
  };
  std::vector<unsigned char> s;
  for (const Case& c : cases) s.insert(s.end(), c.in, c.in + 4);
  const std::string file = MakePng({4, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8, false, {}, s});
  Read r = Load(file, pf24_888, true, true);
  ASSERT_TRUE(r.ok);
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(r.pixels[3 * i + 2], cases[i].out[0]);
    EXPECT_EQ(r.pixels[3 * i + 1], cases[i].out[1]);
    EXPECT_EQ(r.pixels[3 * i], cases[i].out[2]);
    EXPECT_EQ(r.alpha[i], cases[i].in[3]);
  }
  const std::vector<unsigned char> rgb = Samples(3, 2, 3, 8);  // no alpha: read as is
  EXPECT_EQ(Load(MakePng({3, 2, PNG_COLOR_TYPE_RGB, 8, false, {}, rgb}), pf24_888, false, true).pixels,
            Load(MakePng({3, 2, PNG_COLOR_TYPE_RGB, 8, false, {}, rgb}), pf24_888, false, false).pixels);
}

TEST(VXPng, SaveRoundTrips) {
  // 2 x 1 pf32_888 without alpha: an RGB picture whose first red is byte 2 of the first source pixel.
  const unsigned char two[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  VXMemoryStream out;
  ASSERT_TRUE(SavePng(&out, two, 2, 1, pf32_888));
  out.Seek(0, VXSeekBegin);
  EXPECT_EQ(ChkChannelPng(&out), 3);
  out.Seek(0, VXSeekBegin);
  unsigned char* p = nullptr;
  int w, h;
  ASSERT_TRUE(LoadPng(&out, &p, &w, &h, pf24_888));
  EXPECT_EQ(std::vector<unsigned char>(p, p + 6), (std::vector<unsigned char>{1, 2, 3, 5, 6, 7}));
  std::free(p);

  // Every format with an alpha plane: what comes back is the source through the format's colour rule.
  for (VXPixFormat f : kAllFormats) {
    SCOPED_TRACE(int(f));
    const int bpp = _FormatAndDepthTable[f];
    const std::vector<unsigned char> src = Samples(7, 5, bpp, 8, f);
    const std::vector<unsigned char> alpha = Samples(7, 5, 1, 8, 99);
    VXMemoryStream png;
    ASSERT_TRUE(SavePng(&png, src.data(), alpha.data(), 7, 5, f));
    if (f == pf32_8888)
      SaveSeed("png_fuzz", "saved_rgba.png",
               std::string(reinterpret_cast<const char*>(png.GetMemory()), static_cast<std::size_t>(png.GetSize())));
    png.Seek(0, VXSeekBegin);
    std::vector<std::uint32_t> want;
    for (int i = 0; i < 35; ++i)
      want.push_back((_ConvertRGBfromProcTable[f](_PointGetProcTable[bpp](src.data() + i * bpp)) & 0xFFFFFF) |
                     std::uint32_t{alpha[i]} << 24);
    Read r;
    unsigned char* rp = nullptr;
    unsigned char* ra = nullptr;
    ASSERT_TRUE(LoadPng(&png, &rp, &ra, &w, &h, pf32_8888));
    EXPECT_EQ(std::vector<unsigned char>(rp, rp + 35 * 4), Expected(pf32_8888, want));
    EXPECT_EQ(std::vector<unsigned char>(ra, ra + 35), alpha);
    std::free(rp);
    std::free(ra);
  }
}

TEST(VXPng, SaveFailures) {
  class Full : public VXMemoryStream {
  public:
    int Write(const void* b, int n) override { return GetSize() + n > 60 ? 0 : VXMemoryStream::Write(b, n); }
  } full;
  const std::vector<unsigned char> src = Samples(16, 16, 4, 8);
  EXPECT_FALSE(SavePng(&full, src.data(), 16, 16, pf32_888));
  VXMemoryStream out;
  EXPECT_FALSE(SavePng(&out, src.data(), 0, 16, pf32_888));
  EXPECT_FALSE(SavePng(&out, src.data(), 16, 16, pfNone));
  EXPECT_FALSE(SavePng(&out, nullptr, 16, 16, pf32_888));
}

TEST(VXPng, FrameworkStreamForms) {
  const std::vector<unsigned char> src = Samples(4, 4, 4, 8);
  VXMemoryStream store;
  VX2TStream framework(&store);
  ASSERT_TRUE(SavePng(&framework, src.data(), src.data(), 4, 4, pf32_8888));
  framework.SetPosition(0);
  EXPECT_EQ(ChkChannelPng(&framework), 4);
  framework.SetPosition(0);
  unsigned char* p = nullptr;
  unsigned char* a = nullptr;
  int w, h;
  ASSERT_TRUE(LoadPngWhiteMat(&framework, &p, &a, &w, &h, pf32_8888));
  EXPECT_EQ(w, 4);
  std::free(p);
  std::free(a);
}

// A header whose rows could not come out of the rest of the file is refused before the pixels are allotted; rows
// are counted in bits, so a large 1-bit picture that compresses well still reads.
TEST(VXPng, SizesTheFileCouldNotHoldAreRefusedByTheirRows) {
  std::string claim = MakePng({1, 1, PNG_COLOR_TYPE_RGB, 8, false, {}, Samples(1, 1, 3, 8)});
  for (int i = 0; i < 4; ++i) claim[16 + i] = claim[20 + i] = static_cast<char>((16000u >> (8 * (3 - i))) & 0xFF);
  const std::uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(claim.data() + 12), 17);
  for (int i = 0; i < 4; ++i) claim[29 + i] = static_cast<char>(crc >> (8 * (3 - i)));
  Bytes huge(claim);
  unsigned char* p = nullptr;
  int w = 0, h = 0;
  EXPECT_FALSE(LoadPng(&huge.stream, &p, &w, &h, pf32_888));
  EXPECT_STREQ(VXRefusal(), "the picture's size is more than the file could hold");
  EXPECT_EQ(p, nullptr);

  const int side = 2000;  // 4,000,000 pixels in about 500 KB of rows, a few hundred bytes of file
  const std::string blank =
      MakePng({side, side, PNG_COLOR_TYPE_GRAY, 1, false, {}, std::vector<unsigned char>(side / 8 * side, 0xFF)});
  ASSERT_LT(blank.size() * 1032, std::size_t{side} * side);
  Bytes in(blank);
  ASSERT_TRUE(LoadPng(&in.stream, &p, &w, &h, pf32_888));
  EXPECT_EQ(p[0], 0xFF);
  std::free(p);
}


TEST(VXPng, AnAncillaryChunkClaimingMegabytesIsNotAllocated) {
  // An sCAL chunk claiming 134 MB in a 60-byte file: refused as short, without libpng allocating and clearing
  // what the chunk claims first (about a second a file under the sanitizers, 15-25 s in the fuzzer).
  const unsigned char file[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
      0x52, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x05, 0x08, 0x06, 0x00, 0x00, 0x00, 0x89,
      0x9a, 0xf6, 0xd8, 0x08, 0x06, 0x00, 0x00, 0x73, 0x43, 0x41, 0x4c, 0xd8, 0x00, 0x00, 0x00,
      0x2b, 0x49, 0x44, 0x41, 0x54, 0x00, 0x00, 0x00, 0x2b, 0x49, 0x44, 0x41, 0x54, 0x60, 0x82};
  Bytes in(std::string(reinterpret_cast<const char*>(file), sizeof file));
  unsigned char* p = nullptr;
  int w = 0, h = 0;
  EXPECT_FALSE(LoadPng(&in.stream, &p, &w, &h, pf32_888));
  EXPECT_STREQ(VXRefusal(), "the file ends early");
  EXPECT_EQ(p, nullptr);
}
