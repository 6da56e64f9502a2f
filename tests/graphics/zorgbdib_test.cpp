#include "graphics/zorgbdib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/vxfont.h"
#include "graphics/zoclasses.h"
#include "platform/form.h"
#include "platform/text.h"

namespace pf = platform::font;

namespace {

std::string Sjis(std::string_view utf8) { return *platform::text::Utf8ToCp932(utf8); }

// Pixels of a rectangle that are not zero (any channel).
int Inked(TZoRGBBits& b, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) n += (b.PGet(x, y) & 0xFFFFFF) != 0 ? 1 : 0;
  return n;
}

int Inked(const TZoAlpha& a, int x0, int y0, int x1, int y1, int* full = nullptr) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const int v = a.PGet(x, y);
      n += v != 0 ? 1 : 0;
      if (full != nullptr) *full += v == 255 ? 1 : 0;
    }
  return n;
}

}  // namespace

TEST(TZoRGBDib, RowsAreRoundedToFourBytesAndRunInTheChosenDirection) {
  struct Case {
    int w, h;
    VXPixFormat format;
    TDIBDirection direction;
    int stride, firstRowOffset, pitch;
  } cases[] = {
      {3, 2, pf24_888, ddBottomUp, 12, 12, -12}, {3, 2, pf24_888, ddTopDown, 12, 0, 12},
      {3, 3, pf16_565, ddBottomUp, 8, 16, -8},   {5, 1, pf32_888, ddBottomUp, 20, 0, -20},
      {1, 4, pf16_555, ddTopDown, 4, 0, 4},
  };
  for (const auto& c : cases) {
    TZoRGBDib dib;
    dib.SetPixFormat(c.format);
    dib.SetDirection(c.direction);
    ASSERT_TRUE(dib.Resize(c.w, c.h));
    ASSERT_TRUE(dib.Create()) << c.w << "x" << c.h;
    const ZoDibMemory& m = dib.GetDIB();
    EXPECT_EQ(m.Stride(), c.stride);
    EXPECT_EQ(m.Size(), static_cast<size_t>(c.stride) * c.h);
    ASSERT_TRUE(dib.Lock());
    EXPECT_EQ(dib.GetBits() - m.Data(), c.firstRowOffset);
    EXPECT_EQ(dib.GetPitch(), c.pitch);
    dib.Unlock();
    for (size_t i = 0; i < m.Size(); ++i) ASSERT_EQ(m.Data()[i], 0) << "new memory is zero";
  }
}

TEST(TZoRGBDib, DrawingOperationsSeeRowZeroAtTheTopInBothDirections) {
  TZoRGBBits reference;
  reference.SetPixFormat(pf32_888);
  reference.Resize(7, 5);
  ASSERT_TRUE(reference.Create());
  for (TDIBDirection d : {ddBottomUp, ddTopDown}) {
    TZoRGBDib dib;
    dib.SetPixFormat(pf32_888);
    dib.SetDirection(d);
    dib.Resize(7, 5);
    ASSERT_TRUE(dib.Create());
    for (TZoRGBBits* b : {static_cast<TZoRGBBits*>(&dib), &reference}) {
      b->BoxFill(1, 0, 3, 1, 0x112233);
      b->Line(0, 4, 6, 2, 0x445566);
      b->PSet(6, 0, 0xABCDEF);
    }
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) ASSERT_EQ(dib.PGet(x, y), reference.PGet(x, y)) << x << "," << y << " " << d;
    ASSERT_TRUE(reference.Draw(0, 0, &dib, 0, 0, 7, 5));  // a DIB is a source like any bitmap
    const unsigned char* stored = dib.GetDIB().Data();
    // Row 0 lies last in bottom-up memory.
    const int row0 = d == ddBottomUp ? 4 * dib.GetDIB().Stride() : 0;
    EXPECT_EQ(stored[row0 + 6 * 4], 0xEF);
  }
}

TEST(TZoRGBDib, RefusesWhatItCannotHold) {
  TZoRGBDib dib;
  dib.SetBitDepth(bd8);  // ignored
  dib.SetPixFormat(pfNone);  // ignored
  EXPECT_EQ(dib.GetBitDepth(), bd24);
  EXPECT_EQ(dib.GetPixFormat(), pf24_888);
  EXPECT_FALSE(dib.Resize(0, 10));
  EXPECT_FALSE(dib.Resize(10, 0));
  EXPECT_FALSE(dib.Resize(1 << 20, 1 << 20));
  EXPECT_EQ(dib.GetWidth(), 640);
  ASSERT_TRUE(dib.Resize(4, 4));
  ASSERT_TRUE(dib.Create());
  EXPECT_FALSE(dib.Create());  // already created
  dib.SetDirection(ddTopDown);  // stored only while not created
  EXPECT_EQ(dib.GetDirection(), ddBottomUp);
  dib.Release();
  EXPECT_FALSE(dib.IsCreated());
  dib.SetPixFormat(pf16_4444);
  ASSERT_TRUE(dib.Create());  // draws, but lends no device context: text has no 4444 target
  void* dc = nullptr;
  EXPECT_FALSE(dib.GetDC(&dc));
  EXPECT_TRUE(dib.HaveDC());
}

TEST(TZoRGBDib, ResizeGivesABlackPictureOfTheNewSize) {
  TZoRGBDib dib;
  dib.SetPixFormat(pf32_888);
  dib.Resize(4, 4);
  ASSERT_TRUE(dib.Create());
  dib.BoxFill(0, 0, 3, 3, 0xFFFFFF);
  ASSERT_TRUE(dib.Lock());
  EXPECT_FALSE(dib.Resize(8, 8));  // not while locked
  dib.Unlock();
  ASSERT_TRUE(dib.Resize(9, 3));
  EXPECT_EQ(dib.GetWidth(), 9);
  EXPECT_EQ(dib.GetHeight(), 3);
  EXPECT_EQ(dib.GetDIB().Stride(), 36);
  EXPECT_EQ(Inked(dib, 0, 0, 9, 3), 0);
  EXPECT_TRUE(dib.PSet(8, 2, 0x010203));
}

TEST(TZoRGBDib, LendsOneDeviceContextAtATime) {
  TZoRGBDib dib;
  dib.SetPixFormat(pf32_888);
  dib.Resize(64, 32);
  void* dc = nullptr;
  EXPECT_FALSE(dib.GetDC(&dc));  // not created
  ASSERT_TRUE(dib.Create());
  ASSERT_TRUE(dib.GetDC(&dc));
  void* second = nullptr;
  EXPECT_FALSE(dib.GetDC(&second));
  int foreign = 0;
  EXPECT_FALSE(dib.ReleaseDC(&foreign));  // keeps the lent one
  EXPECT_FALSE(dib.GetDC(&second));
  auto* target = static_cast<pf::TextTarget*>(dc);
  EXPECT_EQ(target->Pixels().width, 64);
  EXPECT_EQ(target->Pixels().pitch, -256);

  // A lent context follows a resize.
  ASSERT_TRUE(dib.Resize(80, 40));
  EXPECT_EQ(target->Pixels().width, 80);
  ASSERT_TRUE(dib.Lock());
  EXPECT_EQ(target->Pixels().pixels, dib.GetBits());
  dib.Unlock();
  EXPECT_TRUE(dib.ReleaseDC(dc));
  EXPECT_TRUE(dib.ReleaseDC(dc));  // none lent: nothing to refuse

  // Release takes a lent context back; a font still writing through it reaches no pixels.
  VXFont font;
  font.SetName(Sjis("ＭＳ ゴシック").c_str());
  font.SetHeight(-16);
  ASSERT_TRUE(font.Create());
  pf::TextTarget* t = nullptr;
  ASSERT_TRUE(dib.GetTextTarget(&t));
  ASSERT_TRUE(font.StartTextOut(t, 0xFFFFFF));
  dib.Release();
  EXPECT_EQ(t->Pixels().width, 0);
  font.Write(0, 0, "AB");
  font.EndTextOut();
  ASSERT_TRUE(dib.Create());
  EXPECT_TRUE(dib.GetTextTarget(&t));  // lendable again
}

TEST(TZoRGBDib, TextDrawsIntoItsCellsInEveryFormat) {
  struct Case {
    VXPixFormat format;
    TDIBDirection direction;
    VXFontQuality quality;
  } cases[] = {{pf32_888, ddBottomUp, vfqAntialiased},   {pf24_888, ddBottomUp, vfqNonAntialiased},
               {pf16_565, ddTopDown, vfqAntialiased},    {pf16_555, ddBottomUp, vfqNonAntialiased},
               {pf32_8888, ddTopDown, vfqNonAntialiased}};
  const std::string text = Sjis("日本語ab");  // three full cells, two half cells: 8 half cells of 12 pixels
  for (const auto& c : cases) {
    TZoRGBDib dib;
    dib.SetPixFormat(c.format);
    dib.SetDirection(c.direction);
    dib.Resize(120, 30);
    ASSERT_TRUE(dib.Create());
    VXFont font;
    font.SetName(Sjis("ＭＳ ゴシック").c_str());
    font.SetHeight(-24);
    font.SetQuality(c.quality);
    ASSERT_TRUE(font.Create()) << "the IPA fonts are needed: ./scripts/deps.sh installs them";
    pf::TextTarget* dc = nullptr;
    ASSERT_TRUE(dib.GetTextTarget(&dc));
    ASSERT_TRUE(font.StartTextOut(dc, 0xFFFFFF));
    ASSERT_TRUE(font.Write(0, 2, text.c_str(), static_cast<int>(text.size())));
    font.EndTextOut();
    ASSERT_TRUE(dib.ReleaseDC(dc));
    for (int cell = 0; cell < 3; ++cell)
      EXPECT_GT(Inked(dib, cell * 24, 2, cell * 24 + 24, 26), 20) << "full cell " << cell << " format " << c.format;
    for (int half = 0; half < 2; ++half)
      EXPECT_GT(Inked(dib, 72 + half * 12, 2, 84 + half * 12, 26), 5) << "half cell " << half;
    EXPECT_EQ(Inked(dib, 96, 0, 120, 30), 0) << "nothing past the text";
    EXPECT_EQ(Inked(dib, 0, 27, 120, 30), 0) << "nothing below the cells";
  }
}

TEST(TZoAlphaDib, GreyPlaneWithColourTableAndZeroedMemory) {
  TZoAlphaDib plane;
  plane.Resize(5, 5);
  ASSERT_TRUE(plane.Create());
  EXPECT_EQ(plane.GetDIB().Stride(), 8);
  ASSERT_EQ(plane.GetBits() - plane.GetDIB().Data(), 32);  // bottom-up: row 0 is the last stored row
  EXPECT_EQ(plane.GetPitch(), -8);
  EXPECT_EQ(Inked(plane, 0, 0, 5, 5), 0);  // new memory is transparent, not the base's opaque
  for (int v : {0, 1, 128, 255}) {
    const RGBQUAD q = plane.GetColorTable()[v];
    EXPECT_EQ(q.rgbRed, v);
    EXPECT_EQ(q.rgbGreen, v);
    EXPECT_EQ(q.rgbBlue, v);
  }
  plane.Fill(7);
  ASSERT_TRUE(plane.Resize(6, 2));
  EXPECT_EQ(Inked(plane, 0, 0, 6, 2), 0);
  EXPECT_FALSE(plane.Resize(0, 10));
  EXPECT_EQ(plane.GetWidth(), 6);
  EXPECT_FALSE(plane.Create());
  plane.SetDirection(ddTopDown);
  EXPECT_EQ(plane.GetDirection(), ddBottomUp);
  plane.Release();
  plane.SetDirection(ddTopDown);
  ASSERT_TRUE(plane.Create());
  EXPECT_EQ(plane.GetBits(), plane.GetDIB().Data());
  TZoAlphaDib empty;
  empty.Resize(0, 3);  // refused, keeps 640 x 480
  EXPECT_EQ(empty.GetWidth(), 640);
}

TEST(TZoAlphaDib, WhiteTextWritesFullCoverage) {
  TZoAlphaDib plane;
  plane.Resize(200, 60);
  ASSERT_TRUE(plane.Create());
  VXFont font;
  font.SetName(Sjis("ＭＳ ゴシック").c_str());
  font.SetHeight(-48);
  font.SetQuality(vfqNonAntialiased);
  ASSERT_TRUE(font.Create());
  pf::TextTarget* dc = nullptr;
  ASSERT_TRUE(plane.GetTextTarget(&dc));
  void* again = nullptr;
  EXPECT_FALSE(plane.GetDC(&again));
  ASSERT_TRUE(font.StartTextOut(dc, 0xFFFFFF));
  ASSERT_TRUE(font.Write(4, 4, Sjis("文字").c_str()));
  font.EndTextOut();
  EXPECT_FALSE(plane.ReleaseDC(&again));
  ASSERT_TRUE(plane.ReleaseDC(dc));
  for (int cell = 0; cell < 2; ++cell) {
    int full = 0;
    const int inked = Inked(plane, 4 + cell * 48, 4, 52 + cell * 48, 52, &full);
    EXPECT_GT(inked, 100) << cell;
    EXPECT_EQ(full, inked) << "monochrome text writes 255 only";
  }
  EXPECT_EQ(Inked(plane, 100, 0, 200, 60), 0);
}

namespace {

struct DibScreen : Classes::TComponent {
  DibScreen() : Classes::TComponent(nullptr) {}
  TZoRGBDib* Text = nullptr;
  TZoAlphaDib* Cover = nullptr;
};

}  // namespace

TEST(TZoRGBDib, FormsMakeThemWhenLoaded) {
  RegisterGraphicsClasses();
  platform::component::RegisterScreen<DibScreen>("DibScreen")
      .Field("Text", &DibScreen::Text)
      .Field("Cover", &DibScreen::Cover);
  DibScreen screen;
  platform::form::LoadForm(screen,
                           "form Dibs : DibScreen\n"
                           "  object Text : TZoRGBDib\n"
                           "    Width = 160\n"
                           "    Height = 24\n"
                           "    PixFormat = pf16_565\n"
                           "    Direction = ddTopDown\n"
                           "  end\n"
                           "  object Cover : TZoAlphaDib\n"
                           "    Width = 320\n"
                           "    Height = 48\n"
                           "  end\n"
                           "end\n",
                           "Dibs.form");
  ASSERT_NE(screen.Text, nullptr);
  EXPECT_TRUE(screen.Text->IsCreated());
  EXPECT_EQ(screen.Text->GetDirection(), ddTopDown);
  EXPECT_EQ(screen.Text->GetDIB().Stride(), 320);
  ASSERT_NE(screen.Cover, nullptr);
  EXPECT_TRUE(screen.Cover->IsCreated());
  EXPECT_EQ(screen.Cover->GetPitch(), -320);
}
