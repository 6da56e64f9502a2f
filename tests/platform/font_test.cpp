// Label: threads
#include "platform/font.h"

#include "platform/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

using namespace platform::font;

namespace {

std::string Sjis(std::string_view utf8) { return *platform::text::Utf8ToCp932(utf8); }

LogFont Gothic(int height, uint8_t quality = kAntialiasedQuality) {
  LogFont log;
  log.faceName = Sjis("ＭＳ ゴシック");
  log.height = height;
  log.quality = quality;
  log.pitchAndFamily = kFixedPitch;
  return log;
}

std::shared_ptr<const Font> Make(const LogFont& log) {
  auto font = Font::Create(log);
  EXPECT_TRUE(font) << "the IPA fonts are needed: ./scripts/deps.sh installs them";
  return font;
}

// A picture with its own memory; `format` decides the bytes per pixel.
struct Picture {
  Picture(int w, int h, TargetFormat f, uint8_t fill = 0)
      : width(w), height(h), format(f),
        bpp(f == TargetFormat::kGrey8 ? 1 : f == TargetFormat::kBgr24 ? 3 : f == TargetFormat::kBgrx32 ? 4 : 2),
        stride((w * bpp + 3) & ~3), bytes(static_cast<size_t>(stride) * h, fill) {}

  TargetPixels TopDown() { return {bytes.data(), stride, format, width, height}; }
  TargetPixels BottomUp() {
    return {bytes.data() + static_cast<size_t>(height - 1) * stride, -stride, format, width, height};
  }
  uint8_t* Row(int y) { return bytes.data() + static_cast<size_t>(y) * stride; }
  uint8_t Grey(int x, int y) { return Row(y)[x * bpp]; }

  int width, height;
  TargetFormat format;
  int bpp, stride;
  std::vector<uint8_t> bytes;
};

// Draws `text` white on black into an 8-bit picture.
Picture DrawGrey(const std::shared_ptr<const Font>& font, std::string_view text, int w, int h, int x = 0, int y = 0) {
  Picture pic(w, h, TargetFormat::kGrey8);
  TextTarget target(pic.TopDown());
  target.SelectFont(font);
  target.SetTextColor(0xFFFFFF);
  target.SetBackgroundMode(BackgroundMode::kTransparent);
  EXPECT_TRUE(target.TextOut(x, y, text));
  return pic;
}

long Ink(const Picture& pic) { return std::accumulate(pic.bytes.begin(), pic.bytes.end(), 0L); }

// The smallest box holding every non-zero pixel of a grey picture: {left, top, right, bottom} (exclusive), or
// all zero for an empty picture.
std::array<int, 4> InkBox(Picture& pic) {
  std::array<int, 4> box{INT_MAX, INT_MAX, -1, -1};
  for (int y = 0; y < pic.height; ++y)
    for (int x = 0; x < pic.width; ++x)
      if (pic.Grey(x, y))
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x + 1), std::max(box[3], y + 1)};
  return box[2] < 0 ? std::array<int, 4>{0, 0, 0, 0} : box;
}

}  // namespace

TEST(FontFace, WindowsJapaneseFacesMapToTheIpaFiles) {
  struct Case {
    const char* face;  // UTF-8 here; the record holds CP932
    const char* file;
  } cases[] = {
      {"ＭＳ ゴシック", "ipag.ttf"}, {"MS UI Gothic", "ipag.ttf"}, {"ＭＳ Ｐゴシック", "ipagp.ttf"},
      {"ＭＳ 明朝", "ipam.ttf"},     {"Default", "ipag.ttf"},      {"DEFAULT", "ipag.ttf"},
      {"ＭＳ Ｐ明朝", "ipamp.ttf"},
  };
  for (const Case& c : cases) {
    LogFont log;
    log.faceName = Sjis(c.face);
    auto where = ResolveFace(log);
    ASSERT_TRUE(where) << c.face;
    EXPECT_EQ(std::filesystem::canonical(where->file).filename(), c.file) << c.face;
  }
  EXPECT_EQ(MappedFamily(Sjis("ＭＳ ゴシック")), "IPAGothic");
  EXPECT_EQ(MappedFamily("Some Face"), "Some Face");
}

TEST(FontFace, AnUnknownFaceStillGivesAFont) {
  LogFont log = Gothic(-16);
  log.faceName = "No Such Face At All";
  auto font = Make(log);
  ASSERT_TRUE(font);
  EXPECT_FALSE(font->Face().file.empty());
  EXPECT_EQ(font->EmPixels(), 16);
}

TEST(FontMetrics, NegativeHeightIsTheEmPositiveTheCell) {
  struct Case {
    int height;
    int em;    // -1: not fixed by the request
    int cell;  // -1: not fixed by the request
  } cases[] = {{-24, 24, -1}, {-13, 13, -1}, {24, -1, 24}, {37, -1, 37}, {0, -1, 16}, {1, -1, 1}};
  for (const Case& c : cases) {
    auto font = Make(Gothic(c.height));
    ASSERT_TRUE(font) << c.height;
    const TextMetrics& m = font->Metrics();
    EXPECT_EQ(m.height, m.ascent + m.descent) << c.height;
    EXPECT_EQ(m.internalLeading, m.height - font->EmPixels()) << c.height;
    EXPECT_GE(m.internalLeading, 0) << c.height;
    if (c.em >= 0) {
      EXPECT_EQ(font->EmPixels(), c.em) << c.height;
    }
    if (c.cell >= 0) {
      EXPECT_EQ(m.height, c.cell) << c.height;
    }
    EXPECT_GE(font->EmPixels(), 1);
  }
}

TEST(FontMetrics, SizesBeyondTheBoundAreRefused) {
  for (int height : {-(kMaxEmPixels + 1), INT_MIN, INT_MAX, -100000})
    EXPECT_FALSE(Font::Create(Gothic(height))) << height;
  LogFont wide = Gothic(-24);
  wide.width = INT_MIN;
  EXPECT_FALSE(Font::Create(wide));
  EXPECT_TRUE(Font::Create(Gothic(-kMaxEmPixels)));
}

TEST(FontMetrics, HalfWidthIsHalfAnEmInIpaGothic) {
  auto font = Make(Gothic(-24));
  ASSERT_TRUE(font);
  const int cell = font->Metrics().height;
  struct Case {
    const char* text;
    int cx;
  } cases[] = {{"AB", 24}, {"あい", 48}, {"aあ", 36}, {"ｱｲｳ", 36}, {"", 0}, {"Hello, world", 144}};
  for (const Case& c : cases) {
    Extent e = font->MeasureText(Sjis(c.text));
    EXPECT_EQ(e.cx, c.cx) << c.text;
    EXPECT_EQ(e.cy, cell) << c.text;
  }
  EXPECT_TRUE(font->Face().fixedPitch);
  EXPECT_EQ(font->Metrics().pitchAndFamily, kFixedPitch);
}

TEST(FontMetrics, WidthScalesTheCharacters) {
  LogFont log = Gothic(-24);
  auto normal = Make(log);
  log.width = normal->Metrics().aveCharWidth * 2;
  auto wide = Make(log);
  ASSERT_TRUE(normal && wide);
  EXPECT_NEAR(wide->MeasureText("AB").cx, 2 * normal->MeasureText("AB").cx, 2);
  EXPECT_EQ(wide->Metrics().height, normal->Metrics().height);
}

TEST(FontTarget, NothingIsDrawnOrMeasuredWithoutAFont) {
  Picture pic(8, 8, TargetFormat::kGrey8);
  TextTarget target(pic.TopDown());
  Extent e;
  TextMetrics m;
  EXPECT_FALSE(target.TextOut(0, 0, "A"));
  EXPECT_FALSE(target.GetTextExtentPoint("A", &e));
  EXPECT_FALSE(target.GetTextMetrics(&m));
  auto font = Make(Gothic(-8));
  EXPECT_EQ(target.SelectFont(font), nullptr);
  EXPECT_TRUE(target.GetTextExtentPoint("A", &e));
  EXPECT_EQ(e.cx, 4);
  EXPECT_EQ(target.SelectFont(nullptr), font);
  EXPECT_FALSE(target.TextOut(0, 0, "A"));
}

TEST(FontTarget, BadPixelsAreRefused) {
  uint8_t bytes[64] = {};
  EXPECT_THROW(TextTarget({bytes, 7, TargetFormat::kGrey8, 8, 2}), std::invalid_argument);
  EXPECT_THROW(TextTarget({bytes, -23, TargetFormat::kBgr24, 8, 2}), std::invalid_argument);
  EXPECT_THROW(TextTarget({nullptr, 8, TargetFormat::kGrey8, 8, 2}), std::invalid_argument);
  EXPECT_THROW(TextTarget({bytes, 8, TargetFormat::kGrey8, -1, 2}), std::invalid_argument);
  EXPECT_NO_THROW(TextTarget({bytes + 32, -32, TargetFormat::kBgrx32, 8, 2}));
}

TEST(FontDraw, GlyphsLandInTheirCells) {
  auto font = Make(Gothic(-24));
  ASSERT_TRUE(font);
  const int cell = font->Metrics().height;
  Picture pic = DrawGrey(font, Sjis("あA"), 64, 40, 4, 6);
  // "あ" fills most of the cell from x 4 to 28, "A" the half cell after it; nothing outside the text's cells.
  auto box = InkBox(pic);
  EXPECT_GE(box[0], 4);
  EXPECT_LE(box[2], 4 + 36);
  EXPECT_GE(box[1], 6);
  EXPECT_LE(box[3], 6 + cell);
  Picture first = DrawGrey(font, Sjis("あ"), 64, 40, 4, 6);
  auto firstBox = InkBox(first);
  EXPECT_GT(firstBox[2] - firstBox[0], 16);  // a full-width glyph
  EXPECT_GT(firstBox[3] - firstBox[1], 16);
  Picture second = DrawGrey(font, "A", 64, 40, 28, 6);
  auto secondBox = InkBox(second);
  EXPECT_GE(secondBox[0], 28);
  EXPECT_LE(secondBox[2], 40);
  for (size_t i = 0; i < pic.bytes.size(); ++i) EXPECT_EQ(pic.bytes[i], std::max(first.bytes[i], second.bytes[i]));
}

TEST(FontDraw, AntiAliasedHasGreysMonochromeOnlyFullValues) {
  const std::string text = Sjis("永あA");
  for (uint8_t quality : {kDefaultQuality, kDraftQuality, kProofQuality, kNonAntialiasedQuality, kAntialiasedQuality}) {
    auto font = Make(Gothic(-24, quality));
    ASSERT_TRUE(font);
    Picture pic = DrawGrey(font, text, 64, 32);
    std::set<uint8_t> values(pic.bytes.begin(), pic.bytes.end());
    EXPECT_TRUE(values.count(255)) << int(quality);
    bool greys = std::any_of(values.begin(), values.end(), [](uint8_t v) { return v != 0 && v != 255; });
    EXPECT_EQ(greys, quality == kAntialiasedQuality) << int(quality);
    EXPECT_EQ(font->AntiAliased(), quality == kAntialiasedQuality);
  }
}

TEST(FontDraw, ColouredTextInEveryColourFormat) {
  auto font = Make(Gothic(-16, kNonAntialiasedQuality));
  ASSERT_TRUE(font);
  Picture grey = DrawGrey(font, Sjis("字"), 20, 20);
  // Red FF, green 80, blue 00 over a background of bytes 0x91; fourth bytes and the top bit of 555 stay.
  struct Case {
    TargetFormat format;
    std::vector<uint8_t> ink;
  } cases[] = {
      {TargetFormat::kBgrx32, {0x00, 0x80, 0xFF, 0x91}},
      {TargetFormat::kBgr24, {0x00, 0x80, 0xFF}},
      {TargetFormat::kRgb565, {0x00, 0xFC}},  // 11111 100000 00000
      {TargetFormat::kRgb555, {0x00, 0xFE}},  // 1 11111 10000 00000
  };
  for (const Case& c : cases) {
    Picture pic(20, 20, c.format, 0x91);
    TextTarget target(pic.TopDown());
    target.SelectFont(font);
    target.SetBackgroundMode(BackgroundMode::kTransparent);
    target.SetTextColor(0x000080FF);
    ASSERT_TRUE(target.TextOut(0, 0, Sjis("字")));
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < 20; ++x) {
        const uint8_t* p = pic.Row(y) + x * pic.bpp;
        const std::vector<uint8_t> expected = grey.Grey(x, y) == 255 ? c.ink : std::vector<uint8_t>(pic.bpp, 0x91);
        ASSERT_EQ(std::vector<uint8_t>(p, p + pic.bpp), expected) << static_cast<int>(c.format) << " " << x << "," << y;
      }
  }
}

TEST(FontDraw, AntiAliasedEdgesBlendWithThePicture) {
  auto font = Make(Gothic(-24));
  Picture coverage = DrawGrey(font, Sjis("あ"), 24, 26);
  for (TargetFormat format : {TargetFormat::kBgrx32, TargetFormat::kRgb565}) {
    Picture pic(24, 26, format, 0);
    TextTarget target(pic.TopDown());
    target.SelectFont(font);
    target.SetBackgroundMode(BackgroundMode::kTransparent);
    target.SetTextColor(0xFFFFFF);
    target.TextOut(0, 0, Sjis("あ"));
    for (int y = 0; y < 26; ++y)
      for (int x = 0; x < 24; ++x) {
        const uint8_t* p = pic.Row(y) + x * pic.bpp;
        const int blue = format == TargetFormat::kBgrx32 ? p[0] : ((p[0] & 0x1F) << 3) | ((p[0] & 0x1F) >> 2);
        // White over black is the coverage itself, less what five bits cannot hold.
        EXPECT_NEAR(blue, coverage.Grey(x, y), format == TargetFormat::kBgrx32 ? 0 : 8) << x << "," << y;
      }
  }
}

TEST(FontDraw, GreyTargetsTakeTheMeanOfTheColour) {
  auto font = Make(Gothic(-16, kNonAntialiasedQuality));
  Picture pic(20, 20, TargetFormat::kGrey8);
  TextTarget target(pic.TopDown());
  target.SelectFont(font);
  target.SetBackgroundMode(BackgroundMode::kTransparent);
  target.SetTextColor(0x00306090);
  target.TextOut(0, 0, Sjis("字"));
  std::set<uint8_t> values(pic.bytes.begin(), pic.bytes.end());
  EXPECT_EQ(values, (std::set<uint8_t>{0, 0x60}));
}

TEST(FontDraw, BottomUpMemoryHoldsTheSamePictureFlipped) {
  auto font = Make(Gothic(-16));
  Picture down = DrawGrey(font, Sjis("上A"), 40, 20);
  Picture up(40, 20, TargetFormat::kGrey8);
  TextTarget target(up.BottomUp());
  target.SelectFont(font);
  target.SetTextColor(0xFFFFFF);
  target.SetBackgroundMode(BackgroundMode::kTransparent);
  target.TextOut(0, 0, Sjis("上A"));
  for (int y = 0; y < 20; ++y)
    EXPECT_TRUE(std::equal(down.Row(y), down.Row(y) + 40, up.Row(19 - y))) << y;
}

TEST(FontDraw, ClipsAtEveryEdge) {
  auto font = Make(Gothic(-24));
  ASSERT_TRUE(font);
  const std::string text = Sjis("全角テキスト");
  const int w = 30, h = 20;
  // The target is a window inside a larger picture whose border must stay untouched.
  const int border = 40;
  Picture outer(w + 2 * border, h + 2 * border, TargetFormat::kBgrx32, 0x5A);
  TargetPixels window{outer.Row(border) + border * 4, outer.stride, TargetFormat::kBgrx32, w, h};
  TextTarget target(window);
  target.SelectFont(font);
  target.SetTextColor(0xFFFFFF);
  target.SetBackgroundMode(BackgroundMode::kOpaque);
  target.SetBackgroundColor(0x000000);
  const int positions[][2] = {{-10, -10}, {w - 5, h - 5}, {-100, 3}, {3, -15}, {w - 1, 0}, {INT_MIN / 2, 0},
                              {INT_MAX - 10, INT_MAX - 10}, {-1000, -1000}};
  for (auto [x, y] : positions) EXPECT_TRUE(target.TextOut(x, y, text)) << x << "," << y;
  for (int y = 0; y < outer.height; ++y)
    for (int x = 0; x < outer.width; ++x) {
      const bool inside = x >= border && x < border + w && y >= border && y < border + h;
      if (!inside) {
        ASSERT_EQ(outer.Row(y)[x * 4], 0x5A) << x << "," << y;
      }
    }
  // Something was drawn inside the window.
  bool drawn = false;
  for (int y = border; y < border + h; ++y) drawn |= outer.Row(y)[border * 4] != 0x5A;
  EXPECT_TRUE(drawn);
}

TEST(FontDraw, OpaqueModeFillsTheTextCell) {
  auto font = Make(Gothic(-16, kNonAntialiasedQuality));
  const int cell = font->Metrics().height;
  Picture pic(60, 40, TargetFormat::kGrey8, 7);
  TextTarget target(pic.TopDown());
  target.SelectFont(font);
  target.SetTextColor(0xFFFFFF);
  target.SetBackgroundColor(0x000000);
  EXPECT_EQ(target.GetBackgroundMode(), BackgroundMode::kOpaque);
  target.TextOut(5, 3, "AB");
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) {
      const bool inCell = x >= 5 && x < 5 + 16 && y >= 3 && y < 3 + cell;
      EXPECT_EQ(pic.Grey(x, y) != 7, inCell) << x << "," << y;
    }
}

TEST(FontStyle, BoldIsWiderAndDarker) {
  for (uint8_t quality : {kNonAntialiasedQuality, kAntialiasedQuality}) {
    LogFont log = Gothic(-24, quality);
    auto regular = Make(log);
    log.weight = kBoldWeight;
    auto bold = Make(log);
    ASSERT_TRUE(regular && bold);
    EXPECT_TRUE(bold->SynthesisedBold());
    EXPECT_FALSE(regular->SynthesisedBold());
    const std::string text = Sjis("太字Ab");
    EXPECT_GT(bold->MeasureText(text).cx, regular->MeasureText(text).cx);
    EXPECT_GT(Ink(DrawGrey(bold, text, 120, 32)), Ink(DrawGrey(regular, text, 120, 32)) * 11 / 10);
  }
}

TEST(FontStyle, ItalicLeansUnderlineAndStrikeOutDrawLines) {
  LogFont log = Gothic(-24, kNonAntialiasedQuality);
  auto regular = Make(log);
  log.italic = true;
  auto italic = Make(log);
  ASSERT_TRUE(italic);
  EXPECT_TRUE(italic->SynthesisedItalic());
  Picture upright = DrawGrey(regular, "l", 24, 32), leaning = DrawGrey(italic, "l", 24, 32);
  // How far the stroke's top sits right of its lower part.
  auto lean = [](Picture& pic) {
    auto box = InkBox(pic);
    auto leftmost = [&](int y) {
      int x = 0;
      while (x < pic.width && !pic.Grey(x, y)) ++x;
      return x;
    };
    return leftmost(box[1]) - leftmost(box[3] - 4);
  };
  EXPECT_EQ(lean(upright), 0);
  EXPECT_GE(lean(leaning), 2);

  log.italic = false;
  log.underline = true;
  auto underlined = Make(log);
  Picture under = DrawGrey(underlined, "    ", 60, 32);  // spaces: only the line has ink
  auto box = InkBox(under);
  EXPECT_EQ(box[0], 0);
  EXPECT_EQ(box[2], 48);
  EXPECT_GT(box[1], underlined->Metrics().ascent - 2);
  log.underline = false;
  log.strikeOut = true;
  auto struck = Make(log);
  Picture strike = DrawGrey(struck, "    ", 60, 32);
  box = InkBox(strike);
  EXPECT_EQ(box[2], 48);
  EXPECT_LT(box[3], struck->Metrics().ascent);
  EXPECT_GT(box[1], 0);
}

TEST(FontText, UndecodableBytesDrawTheReplacement) {
  auto font = Make(Gothic(-24));
  ASSERT_TRUE(font);
  Picture replacement = DrawGrey(font, Sjis("\u30FB"), 40, 32);
  ASSERT_GT(Ink(replacement), 0);
  for (const char* bad : {"\x85\x40", "\x82", "\xA0"}) {  // unassigned code, cut lead byte, no character
    Picture pic = DrawGrey(font, bad, 40, 32);
    EXPECT_EQ(pic.bytes, replacement.bytes) << bad;
  }
  EXPECT_EQ(font->MeasureText("A\x82").cx, 12 + 24);
}

TEST(FontCache, SecondDrawComesFromTheCacheWithTheSamePixels) {
  ClearGlyphCache();
  auto font = Make(Gothic(-24));
  ASSERT_TRUE(font);
  const std::string text = Sjis("文字を一つずつ表示する");
  Picture first = DrawGrey(font, text, 300, 32);
  GlyphCacheStats cold = GetGlyphCacheStats();
  EXPECT_GT(cold.misses, 0u);
  EXPECT_EQ(cold.glyphs, 10u);  // one character comes twice
  Picture second = DrawGrey(font, text, 300, 32);
  GlyphCacheStats warm = GetGlyphCacheStats();
  EXPECT_EQ(warm.misses, cold.misses);
  EXPECT_EQ(warm.hits, cold.hits + 11);
  EXPECT_EQ(first.bytes, second.bytes);

  // A font of another size or quality does not share glyphs with this one.
  DrawGrey(Make(Gothic(-24, kNonAntialiasedQuality)), text, 300, 32);
  DrawGrey(Make(Gothic(-23)), text, 300, 32);
  EXPECT_EQ(GetGlyphCacheStats().glyphs, 30u);
}

TEST(FontCache, StaysWithinItsBound) {
  ClearGlyphCache();
  const size_t previous = SetGlyphCacheLimit(16 * 1024);
  auto font = Make(Gothic(-48));
  ASSERT_TRUE(font);
  const std::string text = Sjis("いろはにほへとちりぬるをわかよたれそつねならむ");
  Picture first = DrawGrey(font, text, 1200, 64);
  GlyphCacheStats stats = GetGlyphCacheStats();
  EXPECT_LE(stats.bytes, 16u * 1024);
  EXPECT_LT(stats.glyphs, 23u);
  EXPECT_EQ(DrawGrey(font, text, 1200, 64).bytes, first.bytes);
  SetGlyphCacheLimit(0);
  EXPECT_LE(GetGlyphCacheStats().glyphs, 1u);
  EXPECT_EQ(DrawGrey(font, text, 1200, 64).bytes, first.bytes);
  SetGlyphCacheLimit(previous);
}

TEST(FontThreads, FontsAreMadeAndDrawnFromManyThreads) {
  const std::string text = Sjis("並行して描く");
  std::vector<std::vector<uint8_t>> expected;
  for (int size : {-12, -16, -20, -24}) expected.push_back(DrawGrey(Make(Gothic(size)), text, 160, 32).bytes);
  ClearGlyphCache();
  const size_t previous = SetGlyphCacheLimit(8 * 1024);  // small enough that threads evict each other's glyphs
  std::vector<std::thread> threads;
  std::vector<int> failures(8, 0);
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 20; ++round) {
        const int which = (t + round) % 4;
        auto font = Font::Create(Gothic(-12 - 4 * which));
        if (!font || DrawGrey(font, text, 160, 32).bytes != expected[which]) ++failures[t];
      }
    });
  for (auto& th : threads) th.join();
  SetGlyphCacheLimit(previous);
  for (int f : failures) EXPECT_EQ(f, 0);
}
