#include "graphics/vxjpeg.h"

#include <gtest/gtest.h>

#include "core/vxrefusal.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "graphics/vxbmp.h"
#include "graphics/zojpeg.h"
#include "support/pictures.h"

using namespace pictures;

namespace {

JpegSpec Picture(int w, int h, int components, bool progressive = false) {
  JpegSpec s{w, h, components, progressive, {}};
  for (int i = 0; i < w * h * components; ++i) s.samples.push_back(static_cast<unsigned char>((i * 37 + i / 11 * 5) & 0xFF));
  return s;
}

}  // namespace

// Pixels equal libjpeg's own decode of the same bytes, through each format's colour rule.
TEST(VXJpeg, IntoEveryFormatAsLibjpegDecodes) {
  struct Case {
    const char* name;
    JpegSpec spec;
  } cases[] = {
      {"baseline", Picture(19, 11, 3)}, {"progressive", Picture(16, 9, 3, true)}, {"grey", Picture(8, 5, 1)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = MakeJpeg(c.spec);
    SaveSeed("jpeg_fuzz", (std::string(c.name) + ".jpg").c_str(), file);
    const std::vector<std::uint32_t> reference = DecodeJpegReference(file);
    for (VXPixFormat f : kAllFormats) {
      SCOPED_TRACE(int(f));
      Bytes in(file);
      unsigned char* p = nullptr;
      int w = 0, h = 0;
      ASSERT_TRUE(LoadJpeg(&in.stream, &p, &w, &h, f));
      EXPECT_EQ(w, c.spec.width);
      EXPECT_EQ(h, c.spec.height);
      EXPECT_EQ(std::vector<unsigned char>(p, p + PictureBytes(w, h, f)), Expected(f, reference));
      std::free(p);
    }
  }
}

TEST(VXJpeg, SizeQueryAndFailures) {
  const std::string file = MakeJpeg(Picture(20, 10, 3));
  int w = 0, h = 0;
  Bytes query(file);
  EXPECT_TRUE(LoadJpeg(&query.stream, nullptr, &w, &h, pf24_888));
  EXPECT_EQ(w, 20);
  EXPECT_EQ(h, 10);

  std::string wide = file;  // the frame header's width (after FF C0, length, precision, height) made 20000
  const std::size_t sof = wide.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  wide[sof + 7] = static_cast<char>(20000 >> 8);
  wide[sof + 8] = static_cast<char>(20000 & 0xFF);
  struct Case {
    const char* name;
    std::string bytes;
    const char* reason;  // libjpeg's own message where it refuses
  } cases[] = {
      {"empty", "", "Empty input file"},
      {"garbage", std::string(100, 'x'), "Not a JPEG file: starts with 0x78 0x78"},
      {"cut in the header", file.substr(0, 30), "the file ends early"},
      {"wider than the cap", wide, "larger than 16384 pixels a side"},
      {"CMYK", MakeJpeg(Picture(8, 8, 4)), "CMYK JPEG pictures are not supported"},
      {"bad format", file, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes in(c.bytes);
    unsigned char* p = nullptr;
    const VXPixFormat f = std::string(c.name) == "bad format" ? pfNone : pf32_888;
    EXPECT_FALSE(LoadJpeg(&in.stream, &p, &w, &h, f));
    EXPECT_EQ(p, nullptr);
    EXPECT_STREQ(VXRefusal(), c.reason);
  }
  // Data that ends in the last row of blocks still gives a whole picture: libjpeg is told the picture ended.
  Bytes cut(file.substr(0, file.size() - 40));
  unsigned char* p = nullptr;
  EXPECT_TRUE(LoadJpeg(&cut.stream, &p, &w, &h, pf32_888));
  std::free(p);
}

// A file that ends before its last row of blocks is refused instead of being filled out with grey (a few hundred
// bytes claiming 16384 x 16384 would otherwise decode a gigabyte of nothing); one that only lacks its end marker
// still reads.
TEST(VXJpeg, FilesEndingBeforeTheirLastRowsAreRefused) {
  const std::string file = MakeJpeg(Picture(64, 64, 3));
  unsigned char* p = nullptr;
  int w = 0, h = 0;
  Bytes half(file.substr(0, file.size() / 2));
  EXPECT_FALSE(LoadJpeg(&half.stream, &p, &w, &h, pf32_888));
  EXPECT_STREQ(VXRefusal(), "the file ends early");
  EXPECT_EQ(p, nullptr);
  ASSERT_EQ(file.substr(file.size() - 2), "\xFF\xD9");
  Bytes noEnd(file.substr(0, file.size() - 2));
  ASSERT_TRUE(LoadJpeg(&noEnd.stream, &p, &w, &h, pf32_888));
  std::free(p);
}

TEST(VXJpeg, CallersBufferAndFrameworkStream) {
  const std::string file = MakeJpeg(Picture(4, 3, 3));
  const std::vector<std::uint32_t> reference = DecodeJpegReference(file);
  std::vector<unsigned char> buffer(4 * 3 * 2, 0xEE);
  unsigned char* p = buffer.data();
  int w, h;
  Bytes small(file);
  EXPECT_FALSE(LoadJpeg(&small.stream, &p, &w, &h, pf16_565, buffer.size() - 1));
  EXPECT_EQ(buffer, std::vector<unsigned char>(24, 0xEE));
  EXPECT_EQ(p, buffer.data());
  Bytes in(file);
  VX2TStream framework(&in.stream);
  ASSERT_TRUE(LoadJpeg(&framework, &p, &w, &h, pf16_565, buffer.size()));
  EXPECT_EQ(buffer, Expected(pf16_565, reference));
}
