#include "graphics/zorgbparts.h"

#include <gtest/gtest.h>

#include <climits>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"

namespace {

using Classes::TComponent;

struct Sheet {
  TComponent owner{nullptr};
  TZoRGBBits bits{&owner};
  TZoAlpha alpha{&owner};
  Sheet(int w, int h) {
    bits.SetBitDepth(bd32);
    bits.SetPixFormat(pf32_888);
    bits.Resize(w, h);
    bits.Create();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) bits.PSet(x, y, static_cast<std::uint32_t>(x << 8 | y));
    alpha.Resize(w, h);
    alpha.Create();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) alpha.PSet(x, y, static_cast<unsigned char>(x + y));
  }
};

}  // namespace

TEST(ZoRGBParts, CutsUsableEntriesAndSkipsTheRest) {
  Sheet sheet(100, 80);
  TZoRGBParts parts(&sheet.owner);
  parts.SetPixFormat(pf32_888);
  const TZoPartsData table[] = {
      {10, 5, 20, 10, 3},          // 20 x 30 with three blocks
      {90, 0, 20, 10, 1},          // passes the right edge
      {0, 60, 40, 20, 1},          // exactly to the bottom
      {0, 0, 40, 20, 0},           // no blocks
      {0, 10, 5, 0x40000000, 4},   // top + height x count wraps a 32-bit int
      {0, 0, 5, INT_MAX, INT_MAX},  // likewise
      {-1, 0, 0, 0, 0},            // the end
  };
  ASSERT_TRUE(parts.SetParts(&sheet.bits, &sheet.alpha, table));
  ASSERT_EQ(parts.GetSize(), 6);
  TZoRGBBits* first = parts.GetImage(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetWidth(), 20);
  EXPECT_EQ(first->GetHeight(), 30);
  EXPECT_EQ(parts.GetPattern(0), 3);
  EXPECT_EQ(first->PGet(3, 29) & 0xFFFFFF, static_cast<std::uint32_t>(13 << 8 | 34));
  ASSERT_NE(parts.GetAlpha(0), nullptr);
  EXPECT_EQ(parts.GetAlpha(0)->PGet(3, 29), 13 + 34);
  EXPECT_NE(parts.GetImage(2), nullptr);
  for (int i : {1, 3, 4, 5, -1, 6}) {
    EXPECT_EQ(parts.GetImage(i), nullptr) << i;
    EXPECT_EQ(parts.GetAlpha(i), nullptr) << i;
    EXPECT_EQ(parts.GetPattern(i), 0) << i;
  }

  // Formats are fixed while parts exist.
  parts.SetBitDepth(bd16);
  EXPECT_EQ(parts.GetPixFormat(), pf32_888);
  parts.FreeParts();
  EXPECT_EQ(parts.GetSize(), 0);
  parts.SetBitDepth(bd16);
  EXPECT_EQ(parts.GetPixFormat(), pf16_565);
  parts.SetPixFormat(pf24_888);
  EXPECT_EQ(parts.GetBitDepth(), bd24);
}

TEST(ZoRGBParts, BlockHeightTimesCountMustFit) {
  for (auto [height, made] : {std::pair{60, true}, {59, false}}) {
    Sheet sheet(40, height);
    TZoRGBParts parts(&sheet.owner);
    const TZoPartsData entry{0, 0, 40, 20, 3};
    ASSERT_TRUE(parts.SetParts(&sheet.bits, nullptr, &entry, 1));
    EXPECT_EQ(parts.GetImage(0) != nullptr, made) << height;
    EXPECT_EQ(parts.GetAlpha(0), nullptr);
  }
}

TEST(ZoRGBParts, RefusesUnusableSheets) {
  Sheet sheet(10, 10);
  TZoRGBParts parts(&sheet.owner);
  const TZoPartsData entry{0, 0, 5, 5, 1};
  TZoRGBBits blank(&sheet.owner);
  EXPECT_FALSE(parts.SetParts(&blank, nullptr, &entry, 1));
  EXPECT_FALSE(parts.SetParts(nullptr, nullptr, &entry, 1));
  EXPECT_FALSE(parts.SetParts(&sheet.bits, nullptr, &entry, 0));
  EXPECT_EQ(parts.GetSize(), 0);
  // 24-bit parts cut from a 32-bit sheet are converted.
  ASSERT_TRUE(parts.SetParts(&sheet.bits, nullptr, &entry, 1));
  EXPECT_EQ(parts.GetImage(0)->GetPixFormat(), pf24_888);
  EXPECT_EQ(parts.GetImage(0)->PGet(2, 3), static_cast<std::uint32_t>(2 << 8 | 3));
}
