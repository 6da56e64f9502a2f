#include "graphics/vxrgbraw.h"

#include <gtest/gtest.h>

#include <cstring>

#include <vector>

TEST(VXRGBRaw, ScreenSizes) {
  struct Case {
    int w, h;
    bool found;
    int value;
  };
  const Case cases[] = {{640, 480, true, 1}, {1280, 1024, true, 10}, {320, 240, true, 0},
                        {1920, 1440, true, 12}, {1366, 768, false, 0}, {480, 640, false, 0}};
  for (const Case& c : cases) {
    VXScreenSize s = ss1920x1080;
    EXPECT_EQ(PixelToScreenSize(c.w, c.h, s), c.found) << c.w << "x" << c.h;
    EXPECT_EQ(s, c.found ? c.value : ss1920x1080);
  }
  int w = 7, h = 7;
  EXPECT_TRUE(ScreenSizeToPixel(ss1024x576, w, h));
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 576);
  for (int bad : {-1, 13, 255}) {
    w = h = 7;
    EXPECT_FALSE(ScreenSizeToPixel(static_cast<VXScreenSize>(bad), w, h));
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 7);
  }
}

TEST(VXRGBRaw, DepthAndFormatRules) {
  // Rows: bdNone, bd8, bd16, bd24, bd32; columns: the eight formats.
  const bool fits[kBitDepthCount][kPixFormatCount] = {
      {1, 0, 0, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 0, 0, 0},
      {1, 0, 0, 0, 0, 1, 0, 0}, {1, 0, 0, 0, 0, 0, 1, 1}};
  for (int d = 0; d < kBitDepthCount; ++d)
    for (int f = 0; f < kPixFormatCount; ++f)
      EXPECT_EQ(ChkDepthAndFormat(static_cast<VXBitDepth>(d), static_cast<VXPixFormat>(f)), fits[d][f]) << d << f;

  EXPECT_TRUE(CompatibleFormat(pf16_5551, pf16_555));
  EXPECT_TRUE(CompatibleFormat(pf32_888, pf32_8888));
  EXPECT_TRUE(CompatibleFormat(pf32_8888, pf32_888));
  EXPECT_TRUE(CompatibleFormat(pf16_565, pf16_565));
  EXPECT_FALSE(CompatibleFormat(pf16_565, pf16_555));
  EXPECT_FALSE(CompatibleFormat(pf24_888, pf32_888));
  EXPECT_FALSE(CompatibleFormat(pf16_4444, pf16_555));
}

TEST(VXRGBRaw, PointProcedures) {
  unsigned char buf[5] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  _PointSetProcTable[bd24](buf, 0xAA112233u);
  const unsigned char want[5] = {0x33, 0x22, 0x11, 0xEE, 0xEE};
  EXPECT_EQ(0, std::memcmp(buf, want, 5));
  EXPECT_EQ(_PointGetProcTable[bd24](buf), 0x00112233u);
  EXPECT_EQ(PointGet8Bit(buf), 0x33u);
  EXPECT_EQ(PointGet16Bit(buf), 0x2233u);
  PointSet32Bit(buf, 0xAABBCCDDu);
  EXPECT_EQ(PointGet32Bit(buf), 0xAABBCCDDu);
  PointSet16Bit(buf, 0x12345678u);
  EXPECT_EQ(PointGet32Bit(buf), 0xAABB5678u);
  unsigned char moved[4] = {};
  _PointMovProcTable[bd32](moved, buf);
  EXPECT_EQ(PointGet32Bit(moved), 0xAABB5678u);
  EXPECT_EQ(_PointSetProcTable[bdNone], nullptr);
  EXPECT_EQ(_RGBFillProcTable[bd24], VXMemset3);
}

TEST(VXRGBRaw, ColourValue) {
  const VXRGB c(0x12, 0x34, 0x56);
  EXPECT_EQ(c.ToDWORD(), 0x00123456u);
  EXPECT_EQ(c.ToCOLORREF(), 0x00563412u);
  const VXRGB fromWord(0xFF123456u);
  EXPECT_EQ(fromWord.ToDWORD(), 0x00123456u);
  const RGBQUAD q = VXRGB(RGBQUAD{1, 2, 3, 9}).ToRGBQUAD();
  EXPECT_EQ(q.rgbBlue, 1);
  EXPECT_EQ(q.rgbGreen, 2);
  EXPECT_EQ(q.rgbRed, 3);
  EXPECT_EQ(q.rgbReserved, 0);
  const unsigned char bytes[3] = {0x56, 0x34, 0x12};  // stored blue, green, red
  EXPECT_EQ(0, std::memcmp(&c, bytes, 3));
}

TEST(VXRGBRaw, Zooming) {
  struct Case {
    std::vector<unsigned char> src;
    int sw, sh, dw, dh;
    std::vector<unsigned char> want;
  };
  const Case cases[] = {
      {{'a', 'b'}, 2, 1, 4, 1, {'a', 'a', 'b', 'b'}},
      {{'a', 'b', 'c', 'd'}, 4, 1, 2, 1, {'b', 'd'}},
      {{'a', 'b', 'c', 'd'}, 2, 2, 1, 1, {'d'}},
      {{'a', 'b', 'c', 'd'}, 2, 2, 3, 3, {'a', 'a', 'b', 'a', 'a', 'b', 'c', 'c', 'd'}},
      {{'a'}, 1, 1, 0, 3, {}},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> src = c.src;
    std::vector<unsigned char> dst(c.want.size(), '.');
    Zooming(src.data(), c.sw, c.sh, c.sw, dst.data(), c.dw, c.dh, c.dw);
    EXPECT_EQ(dst, c.want);
  }
  // Bottom-up pictures: negative pitches start at the last row.
  unsigned char src[4] = {'a', 'b', 'c', 'd'};  // rows "ab", "cd" seen from the bottom: "cd" is row 0
  unsigned char dst[4] = {};
  Zooming(src + 2, 2, 2, -2, dst + 2, 2, 2, -2);
  EXPECT_EQ(0, std::memcmp(dst, src, 4));

  VXRGB s24[2] = {VXRGB(1, 2, 3), VXRGB(4, 5, 6)};
  VXRGB d24[4];
  Zooming24(s24, 2, 1, 2, d24, 4, 1, 4);
  EXPECT_EQ(d24[1].ToDWORD(), s24[0].ToDWORD());
  EXPECT_EQ(d24[2].ToDWORD(), s24[1].ToDWORD());
}
