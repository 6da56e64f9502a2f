#include "graphics/vxgny.h"

#include <gtest/gtest.h>

#include "core/vxrefusal.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/vxbmp.h"
#include "graphics/zogny.h"
#include "support/pictures.h"

using namespace pictures;

namespace {

const unsigned char* Key() { return GnyKey(0); }

std::vector<std::uint32_t> Colours(int n) {
  std::vector<std::uint32_t> v;
  for (int i = 0; i < n; ++i) v.push_back((i * 2654435761u) & 0xFFFFFF);
  return v;
}

}  // namespace

TEST(VXGny, KeySelection) {
  ASSERT_NE(GnyKey(0), nullptr);
  EXPECT_EQ(GnyKey(1), GnyKey(0));
  EXPECT_EQ(GnyKey(2), nullptr);
  EXPECT_EQ(GnyKey(-1), nullptr);
}

TEST(VXGny, XorWrapsAndUndoesItself) {
  std::vector<unsigned char> b(300, 0);
  XorGnyBuffer(b.data(), 300, Key(), 250);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(b[i], Key()[(250 + i) % 256]) << i;
  XorGnyBuffer(b.data(), 300, Key(), 250 + 256 * 3);
  EXPECT_EQ(b, std::vector<unsigned char>(300, 0));
  XorGnyBuffer(b.data(), 1, Key(), -1);  // entry 255
  EXPECT_EQ(b[0], Key()[255]);
  XorGnyBuffer(b.data() + 1, 0, Key(), 0);
  XorGnyBuffer(b.data() + 1, -5, Key(), 0);
  EXPECT_EQ(b[1], 0);
}

TEST(VXGny, OneByTwoUsesKeyEntriesByFileOffset) {
  const std::string file = MakeGny(1, 2, {0x010203, 0x040506});
  ASSERT_EQ(file.size(), 14u);
  // The second row's blue, green and red are stored with key entries 11, 12 and 13.
  EXPECT_EQ(static_cast<unsigned char>(file[11]), 0x06 ^ Key()[11]);
  EXPECT_EQ(static_cast<unsigned char>(file[13]), 0x04 ^ Key()[13]);
}

TEST(VXGny, IntoEveryFormat) {
  // 100 pixels a row: the key offset of a row wraps past entry 255.
  const std::vector<std::uint32_t> rgb = Colours(100 * 3);
  const std::string file = MakeGny(100, 3, rgb);
  SaveSeed("gny_fuzz", "rgb_4x2.lzh", MakeGny(4, 2, Colours(8)));
  for (VXPixFormat f : kAllFormats) {
    SCOPED_TRACE(int(f));
    Bytes in(file);
    unsigned char* p = nullptr;
    int w = 0, h = 0;
    ASSERT_TRUE(LoadGny(&in.stream, &p, &w, &h, f, Key()));
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 3);
    EXPECT_EQ(std::vector<unsigned char>(p, p + PictureBytes(w, h, f)), Expected(f, rgb));
    std::free(p);
  }
}

TEST(VXGny, SizeQueryAndEmptyPictures) {
  Bytes query(MakeGny(7, 9, Colours(63)));
  int w = 0, h = 0;
  EXPECT_TRUE(LoadGny(&query.stream, nullptr, &w, &h, pf32_888, Key()));
  EXPECT_EQ(w, 7);
  EXPECT_EQ(h, 9);
  EXPECT_EQ(query.stream.GetPosition(), 8);
  for (auto [width, height] : {std::pair{0u, 5u}, std::pair{5u, 0u}, std::pair{0u, 0u}}) {
    Bytes in(MakeGny(width, height, {}));
    unsigned char* p = nullptr;
    EXPECT_TRUE(LoadGny(&in.stream, &p, &w, &h, pf24_888, Key())) << width << "x" << height;
    EXPECT_EQ(w, int(width));
    EXPECT_EQ(h, int(height));
    EXPECT_NE(p, nullptr);
    std::free(p);
  }
}

// Sides are unsigned 32-bit: huge ones (negative as signed ints) and products past the data are refused without
// allocating; a short stream releases the new buffer.
constexpr const char* kTooLarge = "larger than 16384 pixels a side (a wrong key?)";
constexpr const char* kEnds = "the file ends early";

TEST(VXGny, BadSizesAndShortData) {
  struct Case {
    std::uint32_t w, h;
    int pixelsStored;
    const char* reason;
  } cases[] = {{0xFFFFFFFF, 1, 0, kTooLarge}, {1, 0x80000000, 0, kTooLarge}, {16385, 1, 0, kTooLarge},
               {16384, 16384, 4, kEnds},      {2, 2, 3, kEnds},             {3, 1, 0, kEnds}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    Bytes in(MakeGny(c.w, c.h, Colours(c.pixelsStored)));
    unsigned char* p = nullptr;
    int w, h;
    EXPECT_FALSE(LoadGny(&in.stream, &p, &w, &h, pf32_888, Key()));
    EXPECT_EQ(p, nullptr);
    EXPECT_STREQ(VXRefusal(), c.reason);
  }
  Bytes in(MakeGny(2, 1, Colours(2)));
  unsigned char* p = nullptr;
  int w, h;
  EXPECT_FALSE(LoadGny(&in.stream, &p, &w, &h, pfNone, Key()));
  EXPECT_FALSE(LoadGny(&in.stream, &p, &w, &h, pf32_888, nullptr));
  EXPECT_EQ(in.stream.GetPosition(), 0);
}

TEST(VXGny, CallersBufferAndFrameworkStream) {
  const std::vector<std::uint32_t> rgb = Colours(6);
  const std::string file = MakeGny(3, 2, rgb);
  std::vector<unsigned char> buffer(12, 0xEE);
  unsigned char* p = buffer.data();
  int w, h;
  Bytes small(file);
  EXPECT_FALSE(LoadGny(&small.stream, &p, &w, &h, pf16_565, Key(), 11));
  EXPECT_EQ(buffer, std::vector<unsigned char>(12, 0xEE));
  Bytes in(file);
  VX2TStream framework(&in.stream);
  ASSERT_TRUE(LoadGny(&framework, &p, &w, &h, pf16_565, Key(), 12));
  EXPECT_EQ(buffer, Expected(pf16_565, rgb));
}
