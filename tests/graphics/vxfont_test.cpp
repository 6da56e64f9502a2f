#include "graphics/vxfont.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace pf = platform::font;

namespace {

std::string Sjis(std::string_view utf8) { return *platform::text::Utf8ToCp932(utf8); }

VXFontParam Gothic(int height, VXFontQuality quality = vfqNonAntialiased) {
  VXFontParam p;
  p.name = Sjis("ＭＳ ゴシック").c_str();
  p.height = height;
  p.quality = quality;
  return p;
}

// A 32-bit picture with a text target over it.
struct Picture {
  Picture(int w, int h)
      : pixels(static_cast<size_t>(w) * h * 4), target({pixels.data(), w * 4, pf::TargetFormat::kBgrx32, w, h}) {}
  int Inked() const {
    int n = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) n += pixels[i] | pixels[i + 1] | pixels[i + 2] ? 1 : 0;
    return n;
  }
  std::vector<uint8_t> pixels;
  pf::TextTarget target;
};

}  // namespace

TEST(VXFont, EqualParametersShareOnePooledFont) {
  const int before = _VXDBG_GetFontSize();
  VXFont a(Gothic(-20)), b(Gothic(-20));
  ASSERT_TRUE(a.Create()) << "the IPA fonts are needed: ./scripts/deps.sh installs them";
  ASSERT_TRUE(b.Create());
  EXPECT_EQ(a.GetHandle(), b.GetHandle());
  EXPECT_EQ(_VXDBG_GetFontSize(), before + 1);
  {
    VXFont copy(a);  // a copy of a created font holds the same font
    EXPECT_EQ(copy.GetHandle(), a.GetHandle());
    VXFont assigned;
    assigned = a;
    EXPECT_EQ(assigned.GetHandle(), a.GetHandle());
    EXPECT_EQ(assigned.GetHeight(), -20);
  }
  a.Release();
  EXPECT_FALSE(a.IsCreated());
  EXPECT_EQ(_VXDBG_GetFontSize(), before + 1);  // b still holds it
  b.Release();
  EXPECT_EQ(_VXDBG_GetFontSize(), before);
}

TEST(VXFont, DefaultInEitherCaseIsTheUiFaceButTwoEntries) {
  const int before = _VXDBG_GetFontSize();
  VXFontParam lower = Gothic(-16), upper = Gothic(-16);
  lower.name = "Default";
  upper.name = "DEFAULT";
  EXPECT_EQ(VXMakeLogFont(lower).faceName, "MS UI Gothic");
  EXPECT_EQ(VXMakeLogFont(upper).faceName, "MS UI Gothic");
  VXFont a(lower), b(upper);
  ASSERT_TRUE(a.Create());
  ASSERT_TRUE(b.Create());
  EXPECT_NE(a.GetHandle(), b.GetHandle());
  EXPECT_EQ(_VXDBG_GetFontSize(), before + 2);
  std::vector<VXFontParam> list(static_cast<size_t>(_VXDBG_GetFontSize()));
  ASSERT_EQ(_VXDBG_GetFontList(list.data(), static_cast<int>(list.size())), before + 2);
  EXPECT_EQ(list[before].name, VXString("Default"));  // pool order is creation order
  EXPECT_EQ(list[before + 1].name, VXString("DEFAULT"));
  EXPECT_EQ(_VXDBG_GetFontList(list.data(), 0), 0);
}

// Fault mended: a face name longer than the font record allows is cut to 31 bytes on a character boundary, for
// the pool as for the font, instead of overrunning the record or splitting a double-byte character.
TEST(VXFont, LongFaceNamesAreCutOnACharacterBoundary) {
  const std::string ascii(40, 'x');
  const std::string wide = Sjis("ゴシックゴシックゴシックゴシックゴシック");  // 20 characters, 40 bytes
  const std::string oddWide = "a" + wide;  // a cut at 31 would split a character
  struct Case {
    std::string name;
    size_t kept;
  } cases[] = {{ascii, 31}, {wide, 30}, {oddWide, 31}, {"short", 5}, {"", 0}};
  for (const auto& c : cases) {
    const std::string cut = VXFontRecordName(VXString(c.name.c_str()));
    EXPECT_EQ(cut, c.name.substr(0, c.kept)) << c.name;
    EXPECT_EQ(VXMakeLogFont(VXFontParam{128, c.name.c_str(), -12, vfpDefault, {}, vfqDefault}).faceName.size(),
              c.name.empty() ? 0u : c.kept);
  }
  // Names equal in their first 31 bytes share a font; the object keeps its whole name.
  VXFontParam p1 = Gothic(-14), p2 = Gothic(-14);
  p1.name = (ascii + "1").c_str();
  p2.name = (ascii + "2").c_str();
  VXFont a(p1), b(p2);
  ASSERT_TRUE(a.Create());
  ASSERT_TRUE(b.Create());
  EXPECT_EQ(a.GetHandle(), b.GetHandle());
  EXPECT_EQ(a.GetName(), VXString((ascii + "1").c_str()));
}

TEST(VXFont, SettersRenewOnlyACreatedFont) {
  VXFont f(Gothic(-18));
  f.SetHeight(-22);  // not created: only stored
  EXPECT_FALSE(f.IsCreated());
  EXPECT_EQ(f.GetHeight(), -22);
  ASSERT_TRUE(f.Create());
  EXPECT_EQ(f.GetHandle()->Log().height, -22);
  const HFONT first = f.GetHandle();
  f.AddStyle(vfsBold);
  EXPECT_TRUE(f.CheckStyle(vfsBold));
  EXPECT_EQ(f.GetHandle()->Log().weight, pf::kBoldWeight);
  EXPECT_NE(f.GetHandle(), first);
  f.DelStyle(vfsBold);
  EXPECT_EQ(f.GetHandle()->Log().weight, pf::kNormalWeight);
  for (int bit : {-1, 4, 31}) {
    f.AddStyle(bit);
    EXPECT_FALSE(f.CheckStyle(bit));
  }
  EXPECT_EQ(f.GetStyle().to_ulong(), 0u);
  f.SetQuality(vfqAntialiased);
  EXPECT_TRUE(f.GetHandle()->AntiAliased());
}

TEST(VXFont, CopiesFromFrameworkFontsAndFromHandles) {
  Graphics::TFont tf;
  tf.SetName(Sjis("ＭＳ Ｐゴシック"));
  tf.SetHeight(-30);
  tf.SetCharset(128);
  tf.SetPitch(Graphics::fpVariable);
  tf.SetStyle(Graphics::TFontStyles().set(Graphics::fsItalic).set(Graphics::fsStrikeOut));
  VXFont f;
  f.SetQuality(vfqProof);
  f.CopyFromTFont(&tf);
  EXPECT_EQ(f.GetName(), VXString(tf.GetName().c_str()));
  EXPECT_EQ(f.GetHeight(), -30);
  EXPECT_EQ(f.GetPitch(), vfpVariable);
  EXPECT_EQ(f.GetStyle().to_ulong(), 0b1010u);
  EXPECT_EQ(f.GetQuality(), vfqProof);  // the quality stays
  f.CopyFromTFont(&tf, vfqAntialiased);
  EXPECT_EQ(f.GetQuality(), vfqAntialiased);
  f.CopyFromTFont(nullptr);
  EXPECT_EQ(f.GetHeight(), -30);

  // From a font's record: pitch bits 1 fixed -> 2, 2 variable -> 1; bold only at exactly 700.
  struct Case {
    uint8_t pitchAndFamily;
    int32_t weight;
    uint8_t quality;
    VXFontPitch pitch;
    bool bold;
    VXFontQuality expected;
  } cases[] = {{pf::kFixedPitch | 0x30, 700, 4, vfpFixed, true, vfqAntialiased},
               {pf::kVariablePitch, 800, 2, vfpVariable, false, vfqProof},
               {3, 400, 5, vfpDefault, false, vfqDefault}};
  for (const auto& c : cases) {
    pf::LogFont log;
    log.faceName = Sjis("ＭＳ 明朝");
    log.height = -17;
    log.pitchAndFamily = c.pitchAndFamily, log.weight = c.weight, log.quality = c.quality, log.underline = true;
    const HFONT other = pf::Font::Create(log);
    ASSERT_TRUE(other);
    VXFont g;
    g.CopyFromHandle(other);
    EXPECT_EQ(g.GetPitch(), c.pitch);
    EXPECT_EQ(g.CheckStyle(vfsBold), c.bold);
    EXPECT_TRUE(g.CheckStyle(vfsUnderline));
    EXPECT_EQ(g.GetQuality(), c.expected);
    EXPECT_EQ(g.GetHeight(), -17);
    EXPECT_FALSE(g.IsCreated());  // not created: the parameters wait for Create
  }
}

// Fault mended: writing outside a start/end pair draws nothing and says so.
TEST(VXFont, WritesOnlyInsideATextOutput) {
  Picture pic(200, 40);
  VXFont f(Gothic(-24));
  EXPECT_FALSE(f.StartTextOut(&pic.target, 0xFFFFFF));  // not created
  EXPECT_FALSE(f.Write(0, 0, "AB"));
  ASSERT_TRUE(f.Create());
  EXPECT_FALSE(f.Write(0, 0, "AB"));  // created, but no text output
  VXSize size;
  EXPECT_FALSE(f.GetExtentPoint("AB", &size));

  ASSERT_TRUE(f.StartTextOut(&pic.target, 0x00FF8000));
  EXPECT_EQ(pic.target.TextColor(), 0x000080FFu);  // orange in the device context's order
  EXPECT_EQ(pic.target.SelectedFont(), f.GetHandle());
  EXPECT_EQ(pic.target.GetBackgroundMode(), pf::BackgroundMode::kTransparent);
  ASSERT_TRUE(f.GetExtentPoint("ABCD", &size));
  EXPECT_EQ(size.cx, 48);  // half-width cells of half the em
  EXPECT_FALSE(f.Write(0, 0, nullptr, 3));
  EXPECT_FALSE(f.Write(0, 0, "AB", -1));
  EXPECT_TRUE(f.Write(0, 0, "AB"));
  const int inked = pic.Inked();
  EXPECT_GT(inked, 0);
  f.EndTextOut();
  EXPECT_EQ(pic.target.SelectedFont(), nullptr);  // the font it replaced is back
  EXPECT_FALSE(f.Write(100, 0, "AB"));
  EXPECT_EQ(pic.Inked(), inked);
}

TEST(VXFont, ParameterChangesInsideATextOutputSwapTheSelectedFont) {
  Picture pic(100, 60);
  const HFONT outer = pf::Font::Create(VXMakeLogFont(Gothic(-12)));
  pic.target.SelectFont(outer);
  VXFont f(Gothic(-20));
  ASSERT_TRUE(f.Create());
  ASSERT_TRUE(f.StartTextOut(&pic.target, 0xFFFFFF));
  f.SetHeight(-40);
  EXPECT_EQ(pic.target.SelectedFont(), f.GetHandle());
  EXPECT_EQ(pic.target.SelectedFont()->Log().height, -40);
  VXFont other(Gothic(-30));
  ASSERT_TRUE(other.Create());
  f = other;
  EXPECT_EQ(pic.target.SelectedFont(), other.GetHandle());
  f.SetColor(0x0000FF);
  EXPECT_EQ(pic.target.TextColor(), 0xFF0000u);
  f.Release();  // ends the text output
  EXPECT_FALSE(f.IsTextOut());
  EXPECT_EQ(pic.target.SelectedFont(), outer);
}

TEST(VXFont, AssigningANotCreatedFontCopiesItsParameters) {
  VXFont a(Gothic(-20)), b;
  b = a;
  EXPECT_EQ(b.GetHeight(), -20);
  ASSERT_TRUE(b.Create());
  b = VXFont();
  EXPECT_FALSE(b.IsCreated());
  EXPECT_EQ(b.GetName(), VXString("Default"));
  b = Gothic(-26);  // parameters: stored, the font waits for Create
  EXPECT_FALSE(b.IsCreated());
  EXPECT_EQ(b.GetHeight(), -26);
}
