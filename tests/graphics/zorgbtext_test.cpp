#include "graphics/zorgbtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbdib.h"
#include "platform/font.h"
#include "platform/text.h"
#include "support/pictures.h"

namespace {

using Classes::TComponent;
namespace pf = platform::font;

std::string Sjis(std::string_view utf8) { return *platform::text::Utf8ToCp932(utf8); }

constexpr int kW = 320, kH = 64;  // the screen
constexpr int kX = 16, kY = 12;   // where the text panel sits
constexpr int kPanelW = 240, kPanelH = 32;
constexpr std::uint32_t kBack = 0x204060;

// Ink found in an area of the screen: pixels of the text colour, of the background, of anything else, and the
// box around everything that is not background.
struct Ink {
  int text = 0, back = 0, other = 0;
  VXRect box{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  bool Empty() const { return text + other == 0; }
};

// A screen: a root panel showing a plain wall, with the text panel as its child, composed into a bitmap of the
// given format.
struct TextScreen {
  TComponent owner{nullptr};
  TZoRGBBits back{&owner};
  TZoRGBBits wall{&owner};
  TZoRGBPanel* root = new TZoRGBPanel(&owner);
  TZoRGBText* text = new TZoRGBText(&owner, root);

  explicit TextScreen(VXPixFormat format, bool antiAliased = false) {
    for (TZoRGBBits* b : {&back, &wall}) {
      b->SetPixFormat(format);
      b->Resize(kW, kH);
      b->Create();
    }
    wall.BoxFill(0, 0, kW - 1, kH - 1, wall.TZoRGBtoPixel(VXRGB(kBack)));
    root->SetImage(&wall);
    text->SetOffsetX(kX);
    text->SetOffsetY(kY);
    text->SetSizeX(kPanelW);
    text->SetSizeY(kPanelH);
    text->SetAntiAliase(antiAliased);
    root->AllCreate();
  }
  void Compose() {
    back.Cls();
    root->Draw(&back, 0, 0);
  }
  // A colour as the screen's format stores it.
  std::uint32_t Stored(std::uint32_t rgb) { return back.PixeltoTZoRGB(back.TZoRGBtoPixel(VXRGB(rgb))).ToDWORD(); }
  std::uint32_t At(int x, int y) { return back.PixeltoTZoRGB(back.PGet(x, y)).ToDWORD(); }
  Ink Scan(const VXRect& r) {
    Ink ink;
    const std::uint32_t colour = Stored(text->GetTextColor()), background = Stored(kBack);
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x) {
        const std::uint32_t p = At(x, y);
        if (p == background) {
          ++ink.back;
          continue;
        }
        (p == colour ? ink.text : ink.other)++;
        ink.box = {std::min(ink.box.left, x), std::min(ink.box.top, y), std::max(ink.box.right, x + 1),
                   std::max(ink.box.bottom, y + 1)};
      }
    return ink;
  }
  Ink ScanScreen() { return Scan({0, 0, kW, kH}); }
  // The half-width cells from byte `first` to `last` (exclusive), in screen pixels.
  VXRect Cells(int first, int last) {
    const int half = text->GetFontSize() / 2;
    const int x = kX + text->TextX(), y = kY + text->TextY();
    return {x + first * half, y, x + last * half, y + text->GetFontSize()};
  }
};

const std::string& Line() {
  static const std::string line = Sjis("吾輩は猫である");  // 7 double-byte characters, 14 bytes
  return line;
}

// Glyph lookups of the font layer since the last call: a rendering of non-empty text always makes some.
struct Lookups {
  std::uint64_t last = Total();
  static std::uint64_t Total() {
    const pf::GlyphCacheStats s = pf::GetGlyphCacheStats();
    return s.hits + s.misses;
  }
  bool Rendered() {
    const std::uint64_t now = Total();
    const bool any = now != last;
    last = now;
    return any;
  }
};

// Writes the screen as <name>.png into the folder QORM_TEXT_PNG names, when it does, to look at the glyphs.
void SavePng(TZoRGBBits& back, const std::string& name) {
  const char* folder = std::getenv("QORM_TEXT_PNG");
  if (folder == nullptr) return;
  pictures::PngSpec png{back.GetWidth(), back.GetHeight(), PNG_COLOR_TYPE_RGB, 8, false, {}, {}};
  for (int y = 0; y < back.GetHeight(); ++y)
    for (int x = 0; x < back.GetWidth(); ++x) {
      const VXRGB c = back.PixeltoTZoRGB(back.PGet(x, y));
      png.rows.insert(png.rows.end(), {c.red, c.green, c.blue});
    }
  std::ofstream(std::string(folder) + "/" + name + ".png", std::ios::binary) << pictures::MakePng(png);
}

}  // namespace

TEST(ZoRGBText, ConstructedDefaults) {
  TComponent owner(nullptr);
  TZoRGBText t(&owner);
  EXPECT_EQ(t.GetSizeX(), 160);
  EXPECT_EQ(t.GetSizeY(), 24);
  EXPECT_FALSE(t.GetAutoSize());
  EXPECT_EQ(t.GetTextColor(), 0xFFFFFFu);
  EXPECT_EQ(t.GetKeyColor(), 0u);
  EXPECT_EQ(t.GetFontSize(), 24);
  EXPECT_EQ(t.GetFont()->GetName(), Sjis("ＭＳ ゴシック"));
  EXPECT_EQ(t.GetFont()->GetHeight(), -24);
  EXPECT_EQ(t.GetFont()->GetPitch(), Graphics::fpFixed);
  EXPECT_FALSE(t.HasBuffer());
  EXPECT_EQ(t.GetImage(), nullptr);
}

// Fault mended: the plain mode filled its background with the key colour as a raw 0x00RRGGBB value; in the
// 16-bit formats that is another colour, so the whole background was drawn instead of being transparent.
TEST(ZoRGBText, PlainTextIsDrawnInItsCellsAndTheBackgroundIsTransparent) {
  for (VXPixFormat format : {pf32_888, pf24_888, pf16_565, pf16_555}) {
    SCOPED_TRACE(static_cast<int>(format));
    TextScreen s(format);
    s.text->SetTextColor(0x00FF00);  // key 0xFF00FF
    s.text->SetText(Line());
    ASSERT_TRUE(s.text->MakeBuffer(format)) << "the IPA fonts are needed: ./scripts/deps.sh installs them";
    EXPECT_EQ(s.text->GetMaskMode(), mmColorKey);
    EXPECT_EQ(s.text->GetColorKey().ToDWORD(), 0xFF00FFu);
    s.Compose();
    SavePng(s.back, "plain" + std::to_string(format));
    const Ink all = s.ScanScreen();
    EXPECT_EQ(all.other, 0);  // monochrome: text colour or background, nothing else
    EXPECT_GT(all.text, 200);
    const VXRect cells = s.Cells(0, 14);
    EXPECT_GE(all.box.left, cells.left);
    EXPECT_LE(all.box.right, cells.right);
    EXPECT_GE(all.box.top, cells.top);
    EXPECT_LE(all.box.bottom, cells.bottom + 2);
    for (int c = 0; c < 7; ++c) EXPECT_GT(s.Scan(s.Cells(2 * c, 2 * c + 2)).text, 20) << "character " << c;
    EXPECT_TRUE(s.Scan({kX + 14 * 12, kY, kX + kPanelW, kY + kPanelH}).Empty());  // the panel right of the text
  }
}

// Fault mended as well: the anti-aliased composition handed the text colour to the fill as a raw value.
TEST(ZoRGBText, AntiAliasedTextIsTheTextColourWeightedByCoverage) {
  for (VXPixFormat format : {pf32_888, pf24_888, pf16_565}) {
    SCOPED_TRACE(static_cast<int>(format));
    TextScreen s(format, true);
    s.text->SetTextColor(0xFF8000);
    s.text->SetText(Line());
    ASSERT_TRUE(s.text->MakeBuffer(format));
    EXPECT_EQ(s.text->GetImage(), nullptr);
    ASSERT_NE(s.text->GetAlpha(), nullptr);
    EXPECT_EQ(s.text->GetMaskMode(), mmAlpha);
    EXPECT_EQ(s.text->GetTextFont().GetHeight(), -48);  // drawn at twice the size
    s.Compose();
    SavePng(s.back, "antialiased" + std::to_string(format));
    const Ink all = s.ScanScreen();
    EXPECT_GT(all.text, 50);    // fully covered pixels are the text colour itself
    EXPECT_GT(all.other, 50);   // edges are blended
    const VXRect cells = s.Cells(0, 14);
    EXPECT_GE(all.box.left, cells.left);
    EXPECT_LE(all.box.right, cells.right);
    EXPECT_LE(all.box.bottom, cells.bottom + 2);
    for (int c = 0; c < 7; ++c) EXPECT_GT(s.Scan(s.Cells(2 * c, 2 * c + 2)).text, 5) << "character " << c;
    // A colour change needs no rendering: the next composition takes it.
    Lookups lookups;
    s.text->SetTextColor(0x0000FF);
    EXPECT_FALSE(lookups.Rendered());
    s.root->Update(&s.back);
    const Ink blue = s.ScanScreen();
    EXPECT_EQ(blue.text, all.text);
  }
}

TEST(ZoRGBText, LayoutCountsBytes) {
  struct Case {
    int bytes, fontSize, sizeX, sizeY;
    bool centering;
    int x, y, storedSize;
  };
  const Case cases[] = {
      {6, 24, 160, 24, true, 44, 0, 24},    // (160 - 6 x 12) / 2
      {6, 25, 160, 24, true, 44, 0, 24},    // 25 is stored as 24
      {6, 24, 160, 24, false, 0, 0, 24},
      {3, 16, 100, 40, true, 38, 12, 16},   // (100 - 24) / 2, (40 - 16) / 2
      {20, 24, 160, 24, true, -40, 0, 24},  // wider than the panel: starts left of it
      {0, 24, 160, 25, true, 80, 0, 24},    // (25 - 24) / 2 towards zero
      {2, 24, 10, 10, true, -7, -7, 24},    // (10 - 24) / 2 towards zero
  };
  for (const Case& c : cases) {
    TComponent owner(nullptr);
    TZoRGBText t(&owner);
    t.SetText(std::string(static_cast<std::size_t>(c.bytes), 'A'));
    t.SetFontSize(c.fontSize);
    t.SetSizeX(c.sizeX);
    t.SetSizeY(c.sizeY);
    t.SetCentering(c.centering);
    EXPECT_EQ(t.GetFontSize(), c.storedSize);
    EXPECT_EQ(t.TextX(), c.x) << c.bytes << " bytes in " << c.sizeX;
    EXPECT_EQ(t.TextY(), c.y) << c.bytes << " bytes in " << c.sizeY;
  }
}

TEST(ZoRGBText, CentredTextIsDrawnWhereTheLayoutPutsIt) {
  TextScreen s(pf32_888);
  s.text->SetText(Sjis("猫ABC"));  // 5 bytes: 60 pixels at size 24
  s.text->SetCentering(true);
  ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
  EXPECT_EQ(s.text->TextX(), (kPanelW - 60) / 2);
  EXPECT_EQ(s.text->TextY(), (kPanelH - 24) / 2);
  s.Compose();
  const Ink all = s.ScanScreen();
  const VXRect cells = s.Cells(0, 5);
  EXPECT_GE(all.box.left, cells.left);
  EXPECT_LE(all.box.left, cells.left + 4);
  EXPECT_LE(all.box.right, cells.right);
  EXPECT_GE(all.box.top, cells.top);
  for (int c = 2; c < 5; ++c) EXPECT_GT(s.Scan(s.Cells(c, c + 1)).text, 10) << "letter " << c;
  EXPECT_TRUE(s.Scan({kX, kY, cells.left, kY + kPanelH}).Empty());
  EXPECT_TRUE(s.Scan({cells.right, kY, kX + kPanelW, kY + kPanelH}).Empty());
}

TEST(ZoRGBText, ColourComponentsAndKey) {
  struct Case {
    std::function<void(TZoRGBText&)> set;
    std::uint32_t colour;
  };
  const Case cases[] = {
      {[](TZoRGBText& t) { t.SetTextColorRed(0x12); }, 0x12FFFF},
      {[](TZoRGBText& t) { t.SetTextColorGreen(0x134); }, 0xFF34FF},  // the low 8 bits
      {[](TZoRGBText& t) { t.SetTextColorBlue(0); }, 0xFFFF00},
      {[](TZoRGBText& t) { t.SetTextColor(0xAA123456); }, 0x123456},  // the top byte is ignored
  };
  for (const Case& c : cases) {
    TComponent owner(nullptr);
    TZoRGBText t(&owner);
    c.set(t);
    EXPECT_EQ(t.GetTextColor(), c.colour);
    EXPECT_EQ(t.GetKeyColor(), c.colour ^ 0xFFFFFF);
    EXPECT_EQ(t.GetColorKey().ToDWORD(), c.colour ^ 0xFFFFFF);
    EXPECT_EQ(t.GetTextColorRed(), static_cast<int>(c.colour >> 16));
    EXPECT_EQ(t.GetTextColorBlue(), static_cast<int>(c.colour & 0xFF));
  }
}

TEST(ZoRGBText, PlainColourChangeRendersAgainAndUpdateShowsIt) {
  TextScreen s(pf16_565);
  s.text->SetText(Line());
  ASSERT_TRUE(s.text->MakeBuffer(pf16_565));
  s.Compose();
  const int white = s.ScanScreen().text;
  s.text->SetTextColor(0xFF0000);
  s.root->Update(&s.back);  // only the dirt: the panel
  const Ink red = s.ScanScreen();
  EXPECT_EQ(red.text, white);
  EXPECT_EQ(red.other, 0);
  s.text->SetText(Sjis("猫"));
  s.root->Update(&s.back);
  EXPECT_LT(s.ScanScreen().text, white / 3);
  EXPECT_TRUE(s.Scan(s.Cells(2, 14)).Empty());
}

TEST(ZoRGBText, ReductionByShade) {
  // Four 2 x 2 blocks with 0, 1, 2 and 4 sub-pixels set, in a bottom-up grey DIB as the panel uses.
  TZoAlphaDib large;
  TZoAlpha cover;
  ASSERT_TRUE(large.Resize(8, 2) && large.Create() && cover.Resize(4, 1) && cover.Create());
  for (auto [x, y] : {std::pair{2, 0}, {4, 0}, {5, 1}, {6, 0}, {7, 0}, {6, 1}, {7, 1}}) large.PSet(x, y, 255);
  struct Case {
    int shade;
    unsigned char expected[4];
  };
  const Case cases[] = {
      {0, {0, 63, 127, 255}},
      {1, {0, 95, 191, 255}},   // 1020 x 3 / 8 is clamped
      {2, {0, 127, 255, 255}},  // two sub-pixels of four are fully opaque
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(ZoReduceCoverage(large, cover, c.shade));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(cover.PGet(i, 0), c.expected[i]) << "shade " << c.shade << " block " << i;
  }
  EXPECT_FALSE(ZoReduceCoverage(large, cover, 3));
  EXPECT_FALSE(ZoReduceCoverage(large, cover, -1));
}

TEST(ZoRGBText, AAShadeStrengthensTheCoverage) {
  TextScreen s(pf32_888, true);
  s.text->SetText(Line());
  ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
  long previousSum = -1;
  int previousFull = -1;
  for (int shade : {0, 1, 2}) {
    s.text->SetAAShade(shade);
    s.text->SetAAShade(3);  // ignored
    EXPECT_EQ(s.text->GetAAShade(), shade);
    long sum = 0;
    int full = 0;
    const TZoAlpha* cover = s.text->GetAlpha();
    for (int y = 0; y < cover->GetHeight(); ++y)
      for (int x = 0; x < cover->GetWidth(); ++x) {
        sum += cover->PGet(x, y);
        full += cover->PGet(x, y) == 255;
      }
    EXPECT_GT(sum, previousSum);
    EXPECT_GT(full, previousFull);
    previousSum = sum;
    previousFull = full;
    s.Compose();
    EXPECT_EQ(s.ScanScreen().text, full);
  }
}

TEST(ZoRGBText, RendersOnlyOnChangesOfTextFontColourOrLayout) {
  for (bool antiAliased : {false, true}) {
    SCOPED_TRACE(antiAliased);
    TextScreen s(pf32_888, antiAliased);
    Lookups lookups;
    s.text->SetText(Line());
    s.text->SetFontSize(20);
    EXPECT_FALSE(lookups.Rendered());  // no buffer yet: only stored
    ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
    EXPECT_TRUE(lookups.Rendered());
    Graphics::TFont bold = *s.text->GetFont();
    bold.SetStyle(Graphics::TFontStyles().set(Graphics::fsBold));
    struct Case {
      const char* what;
      std::function<void(TZoRGBText&)> change;
      bool renders;
    };
    const Case cases[] = {
        {"same text", [](TZoRGBText& t) { t.SetText(Line()); }, false},
        {"new text", [](TZoRGBText& t) { t.SetText(Line() + "!"); }, true},
        {"same size", [](TZoRGBText& t) { t.SetFontSize(21); }, false},  // 21 is 20
        {"new size", [](TZoRGBText& t) { t.SetFontSize(24); }, true},
        {"same colour", [](TZoRGBText& t) { t.SetTextColorRed(255); }, false},
        {"new colour", [](TZoRGBText& t) { t.SetTextColorRed(0); }, !antiAliased},
        {"same centring", [](TZoRGBText& t) { t.SetCentering(false); }, false},
        {"centring", [](TZoRGBText& t) { t.SetCentering(true); }, true},
        {"shade out of range", [](TZoRGBText& t) { t.SetAAShade(-1); }, false},
        {"shade", [](TZoRGBText& t) { t.SetAAShade(2); }, true},
        {"font", [&bold](TZoRGBText& t) { t.SetFont(&bold); }, true},
        {"no font", [](TZoRGBText& t) { t.SetFont(nullptr); }, false},
        {"moved", [](TZoRGBText& t) { t.SetOffsetX(20); }, false},
        {"composed", [&s](TZoRGBText&) { s.Compose(); }, false},
        {"same mode", [antiAliased](TZoRGBText& t) { t.SetAntiAliase(antiAliased); }, false},
        {"other mode", [antiAliased](TZoRGBText& t) { t.SetAntiAliase(!antiAliased); }, true},
    };
    for (const Case& c : cases) {
      c.change(*s.text);
      EXPECT_EQ(lookups.Rendered(), c.renders) << c.what;
    }
    EXPECT_TRUE(s.text->GetTextFont().CheckStyle(vfsBold));
  }
}

// A typewriter message draws its line again at every new character: only the new glyph is rendered.
TEST(ZoRGBText, TypewriterLineKeepsTheGlyphCacheWarm) {
  TextScreen s(pf32_888, true);
  ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
  pf::ClearGlyphCache();
  const std::string& line = Line();
  for (std::size_t n = 2; n <= line.size(); n += 2) {
    const pf::GlyphCacheStats before = pf::GetGlyphCacheStats();
    s.text->SetText(line.substr(0, n));
    const pf::GlyphCacheStats after = pf::GetGlyphCacheStats();
    EXPECT_EQ(after.misses - before.misses, 1u) << n;
    EXPECT_GE(after.hits - before.hits, n / 2 - 1) << n;
  }
}

TEST(ZoRGBText, SwitchingTheModeRebuildsTheBuffers) {
  TextScreen s(pf32_888);
  s.text->SetText(Line());
  ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
  ASSERT_NE(s.text->GetImage(), nullptr);
  EXPECT_EQ(s.text->GetImage()->GetPixFormat(), pf32_888);
  const int components = s.text->GetComponentCount();
  s.text->SetAntiAliase(true);
  EXPECT_TRUE(s.text->HasBuffer());
  EXPECT_EQ(s.text->GetImage(), nullptr);
  ASSERT_NE(s.text->GetAlpha(), nullptr);
  EXPECT_EQ(s.text->GetAlpha()->GetWidth(), kPanelW);
  EXPECT_EQ(s.text->GetMaskMode(), mmAlpha);
  EXPECT_EQ(s.text->GetTextFont().GetHeight(), -48);
  EXPECT_EQ(s.text->GetComponentCount(), components + 1);  // coverage plane and large plane for one bitmap
  s.Compose();
  EXPECT_GT(s.ScanScreen().text, 50);
  s.text->SetAntiAliase(false);
  EXPECT_EQ(s.text->GetAlpha(), nullptr);
  ASSERT_NE(s.text->GetImage(), nullptr);
  EXPECT_EQ(s.text->GetMaskMode(), mmColorKey);
  EXPECT_EQ(s.text->GetTextFont().GetHeight(), -24);
  EXPECT_EQ(s.text->GetComponentCount(), components);
  s.text->ReleaseBuffer();
  EXPECT_FALSE(s.text->HasBuffer());
  EXPECT_EQ(s.text->GetImage(), nullptr);
  EXPECT_FALSE(s.text->GetTextFont().IsCreated());
  EXPECT_EQ(s.text->GetComponentCount(), components - 1);
  s.Compose();
  EXPECT_TRUE(s.ScanScreen().Empty());
}

TEST(ZoRGBText, EmptyTextShowsNothing) {
  for (bool antiAliased : {false, true}) {
    TextScreen s(pf32_888, antiAliased);
    s.text->SetTextColor(0x102030);  // a key that is not black: a plain buffer left black would show
    ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
    s.Compose();
    EXPECT_TRUE(s.ScanScreen().Empty()) << antiAliased;
    s.text->SetText(Line());
    s.text->SetText("");
    s.Compose();
    EXPECT_TRUE(s.ScanScreen().Empty()) << antiAliased;
  }
}

// A buffer made without MakeBuffer is rendered at once: a fresh coverage plane is opaque and a fresh plain
// buffer black, which would otherwise show as a block until the next change.
TEST(ZoRGBText, CreateBufferRendersAtOnce) {
  for (bool antiAliased : {false, true}) {
    TextScreen s(pf32_888, antiAliased);
    s.text->SetTextColor(0x00FF00);
    ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
    s.text->ReleaseBuffer();
    s.text->SetText("A");
    ASSERT_TRUE(s.text->CreateBuffer());
    s.Compose();
    const Ink ink = s.ScanScreen();
    EXPECT_GT(ink.text, 10) << antiAliased;
    EXPECT_LE(ink.box.right, s.Cells(0, 1).right) << antiAliased;
  }
}

TEST(ZoRGBText, BuffersThatCannotBeMadeLeaveThePanelEmpty) {
  struct Case {
    int sizeX, sizeY;
    bool antiAliased;
  };
  const Case cases[] = {{0, 24, false}, {160, 0, true}, {-5, 24, true}, {1 << 30, 24, true}, {1 << 20, 1 << 20, false}};
  for (const Case& c : cases) {
    TextScreen s(pf32_888, c.antiAliased);
    s.text->SetText(Line());
    ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
    s.text->SetSizeX(c.sizeX);
    s.text->SetSizeY(c.sizeY);
    EXPECT_FALSE(s.text->CreateBuffer()) << c.sizeX << " x " << c.sizeY;
    EXPECT_FALSE(s.text->HasBuffer());
    EXPECT_EQ(s.text->GetImage(), nullptr);
    EXPECT_EQ(s.text->GetAlpha(), nullptr);
    s.text->SetText("B");  // nothing to draw into
    s.Compose();
    EXPECT_TRUE(s.ScanScreen().Empty());
  }
}

TEST(ZoRGBText, OnDrawComesFirst) {
  TextScreen s(pf32_888, true);
  s.text->SetText(Line());
  ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
  int calls = 0;
  bool handled = true;
  s.text->OnDraw = [&](TComponent*, TZoRGBBits*, int, int, int, int, int, int) {
    ++calls;
    return handled;
  };
  s.Compose();
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(s.ScanScreen().Empty());
  handled = false;  // not handled: the text is drawn
  s.Compose();
  EXPECT_GT(s.ScanScreen().text, 50);
}

// Font sizes at the ends of the int range lay out centred text without overflow; no font of that size exists, so
// nothing is drawn, and an ordinary size afterwards draws again.
TEST(ZoRGBText, CentredLayoutWithAbsurdFontSizes) {
  for (bool antiAliased : {false, true}) {
    TextScreen s(pf32_888, antiAliased);
    s.text->SetCentering(true);
    s.text->SetText("AB");
    ASSERT_TRUE(s.text->MakeBuffer(pf32_888));
    for (int size : {std::numeric_limits<int>::min(), std::numeric_limits<int>::max()}) {
      s.text->SetFontSize(size);
      s.Compose();
      EXPECT_TRUE(s.ScanScreen().Empty()) << size;
    }
    s.text->SetFontSize(24);
    s.Compose();
    EXPECT_FALSE(s.ScanScreen().Empty());
  }
}
