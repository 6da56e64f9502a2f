// Label: threads
#include "device/zoddraw.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "device/getdxver.h"
#include "graphics/vxrgbcopy.h"
#include "support/pictures.h"

using namespace DirectX;
using platform::video::MemoryPresenter;

namespace {

// The display's shape for each buffer count 0 .. 3.
struct Shape {
  int buffers;
  bool fullScreen;
  bool triple;
  int chainLimit;
};
constexpr Shape kShapes[] = {{0, false, true, 2}, {1, true, true, 0}, {2, true, false, 2}, {3, true, true, 2}};

class Display : public ::testing::Test {
protected:
  void Enable(const Shape& s, TBackType back = btSystem, VXBitDepth depth = bd32) {
    display.SetPresenter(&presenter);
    display.SetFullScreen(s.fullScreen);
    display.SetTripleBuffer(s.triple);
    display.SetFlipChainLimit(s.chainLimit);
    display.SetBitDepth(depth);
    display.SetBackType(back);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    ASSERT_EQ(display.GetBufferCount(), s.buffers);
  }

  // The rows of a surface, tightly packed, as the presenter keeps its front picture.
  static std::vector<std::uint8_t> Packed(const TDSurface* s) {
    const auto p = s->GetPicture();
    const std::size_t row = static_cast<std::size_t>(p.mode.width) * platform::video::BytesPerPixel(p.mode.layout);
    std::vector<std::uint8_t> out(row * static_cast<std::size_t>(p.mode.height));
    for (int y = 0; y < p.mode.height; ++y) std::memcpy(&out[y * row], p.pixels + y * p.pitch, row);
    return out;
  }

  bool FrontIsBack() { return presenter.Front() == Packed(display.GetBackSurface()); }

  MemoryPresenter presenter;
  TDDraw display{nullptr};
};

VXRect RandomRect(std::mt19937& rng) {
  std::uniform_int_distribution<int> x(-40, 660), y(-40, 500), size(1, 120);
  const int left = x(rng), top = y(rng);
  return {left, top, left + size(rng), top + size(rng)};
}

// A frame of drawing: random boxes on the back surface (and on the model the back surface is redrawn from).
VXRectSet DrawFrame(std::mt19937& rng, TZoRGBBits* back, TZoRGBBits& model) {
  VXRectSet changed;
  for (int i = 0; i < 4; ++i) {
    const VXRect r = RandomRect(rng);
    const std::uint32_t pixel = rng();
    back->BoxFill(r.left, r.top, r.right - 1, r.bottom - 1, pixel);
    model.BoxFill(r.left, r.top, r.right - 1, r.bottom - 1, pixel);
    changed.UnionRect(r);
  }
  return changed;
}

}  // namespace

// After every dirty-rectangle frame the presenter shows exactly the back surface: with every buffer count, when a
// copy into a buffer fails (that buffer keeps its rectangles), when a presentation fails, and after lost surfaces.
TEST_F(Display, PresentedFrontFollowsTheBackSurfaceForEveryBufferCount) {
  for (const Shape& shape : kShapes) {
    SCOPED_TRACE("buffers " + std::to_string(shape.buffers));
    presenter.TakeFrames();
    Enable(shape);
    TDSurface* back = display.GetBackSurface();
    TZoRGBBits model;
    model.SetBitDepth(bd32);
    model.SetPixFormat(pf32_888);
    ASSERT_TRUE(model.Create());
    int restores = 0;
    back->OnRestore = [&](Classes::TComponent*) {
      ++restores;
      back->Draw(0, 0, &model, 0, 0, 640, 480);
    };
    std::mt19937 rng(7u + static_cast<unsigned>(shape.buffers));
    for (int frame = 0; frame < 60; ++frame) {
      SCOPED_TRACE("frame " + std::to_string(frame));
      const int current = display.GetCurrentBuffer();
      if (frame == 20) (display.IsFlipping() ? display.GetBackBuffer() : display.GetPrimary())->FailNextBlits(1);
      if (frame == 30) presenter.FailNext(1);
      if (frame == 40) presenter.RaiseLost();
      const VXRectSet changed = DrawFrame(rng, back, model);
      const bool ok = display.FlipModifyRect(changed);
      if (frame == 20) {
        EXPECT_FALSE(ok);
        if (shape.buffers > 0) {
          EXPECT_FALSE(display.GetDirtySet(current).IsRectEmpty()) << "kept for its buffer";
        }
        continue;
      }
      if (frame == 30) {
        EXPECT_FALSE(ok);
        continue;
      }
      ASSERT_TRUE(ok);
      ASSERT_TRUE(FrontIsBack());
      if (frame == 40) {
        EXPECT_EQ(restores, 1);
        const auto rects = presenter.Frames().back().rects;
        ASSERT_EQ(rects.size(), 1u);
        EXPECT_EQ(rects[0], (platform::video::Rect{0, 0, 640, 480})) << "the whole picture after a lost surface";
      }
    }
    EXPECT_EQ(presenter.Front(), Packed(display.GetBackSurface()));
    back->OnRestore = nullptr;
    display.SetEnabled(false);
  }
}

TEST_F(Display, SixteenBitFullScreenPresentsOnlyWhatChanged) {
  Enable(kShapes[3], btSystem, bd16);
  EXPECT_EQ(presenter.FrontMode().layout, platform::video::PixelLayout::Rgb565);
  TDSurface* back = display.GetBackSurface();
  back->BoxFill(10, 10, 19, 19, 0xF800);
  VXRectSet rects;
  rects.UnionRect({10, 10, 20, 20});
  ASSERT_TRUE(display.FlipModifyRect(rects));
  ASSERT_TRUE(FrontIsBack());
  const auto shown = presenter.Frames().back().rects;
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], (platform::video::Rect{10, 10, 20, 20}));
}

TEST_F(Display, BufferCountsAndFallbacks) {
  struct Case {
    bool fullScreen, triple;
    int chainLimit, buffers;
    bool flipping;
  };
  const Case cases[] = {{false, true, 2, 0, false}, {true, true, 2, 3, true},  {true, false, 2, 2, true},
                        {true, true, 1, 2, true},   {true, true, 0, 1, false}, {true, false, 0, 1, false}};
  for (const Case& c : cases) {
    display.SetPresenter(&presenter);
    display.SetFullScreen(c.fullScreen);
    display.SetTripleBuffer(c.triple);
    display.SetFlipChainLimit(c.chainLimit);
    display.SetEnabled(true);
    ASSERT_TRUE(display.GetEnabled());
    EXPECT_EQ(display.GetBufferCount(), c.buffers);
    EXPECT_EQ(display.IsFlipping(), c.flipping);
    EXPECT_EQ(display.DrawSurface(), c.flipping ? display.GetBackBuffer() : display.GetPrimary());
    EXPECT_EQ(presenter.IsFullScreen(), c.fullScreen);
    display.SetEnabled(false);
  }
}

TEST_F(Display, FlipRotatesThePixelMemoryOfTheChain) {
  Enable(kShapes[3], btNone);
  std::vector<const std::uint8_t*> fronts;
  for (int i = 0; i < 6; ++i) {
    display.DrawSurface()->Fill(VXRGB(static_cast<std::uint8_t>(i * 40), 0, 0));
    ASSERT_TRUE(display.Flip());
    fronts.push_back(display.GetPrimary()->GetPicture().pixels);
    EXPECT_EQ(presenter.Front()[2], i * 40) << "what was drawn on the back buffer is in front";
  }
  EXPECT_NE(fronts[0], fronts[1]);
  EXPECT_NE(fronts[1], fronts[2]);
  EXPECT_NE(fronts[0], fronts[2]);
  EXPECT_EQ(fronts[0], fronts[3]);
  EXPECT_EQ(fronts[1], fronts[4]);
}

TEST_F(Display, DirtySetsPerBuffer) {
  Enable(kShapes[3]);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(display.FlipModifyRect({}));  // every buffer has had the whole screen
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(display.GetDirtySet(i).IsRectEmpty());

  const int before = display.GetCurrentBuffer();
  VXRectSet outside;
  outside.UnionRect({700, 10, 800, 20});
  outside.UnionRect({600, 470, 700, 500});
  ASSERT_TRUE(display.FlipModifyRect(outside));
  EXPECT_EQ(display.GetCurrentBuffer(), (before + 1) % 3) << "an empty frame still flips";
  const int next = display.GetCurrentBuffer();
  EXPECT_EQ(display.GetDirtySet(next).AllUnionRect(), (VXRect{600, 470, 640, 480})) << "cut to the screen";

  display.SetModifyRect({-5, -5, 5, 5});
  for (int i = 0; i < 3; ++i) {
    VXRectSet set = display.GetDirtySet(i);
    EXPECT_TRUE(set.IntersectRect({0, 0, 5, 5}));
    EXPECT_EQ(set.AllUnionRect(), (VXRect{0, 0, 5, 5})) << "in every buffer";
  }
}

TEST_F(Display, WindowWritesTheWholePictureAndLeavesTheDirtySetsAlone) {
  Enable(kShapes[0]);
  const VXRect whole{0, 0, 640, 480};
  for (int i = 0; i < 3; ++i) ASSERT_EQ(display.GetDirtySet(i).AllUnionRect(), whole);
  display.GetBackSurface()->BoxFill(0, 0, 639, 479, 0x123456);
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_EQ(Packed(display.GetPrimary()), Packed(display.GetBackSurface()));
  display.SpriteHide();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(display.GetDirtySet(i).AllUnionRect(), whole) << "untouched";
}

// Mended: a window showed only the rectangles handed to FlipModifyRect, though the whole picture was written.
// With a back surface or drawing straight on the primary, what the presenter shows is the whole picture.
TEST_F(Display, WindowPresentsTheWholePictureWhateverRectanglesAreHandedIn) {
  for (TBackType back : {btSystem, btNone}) {
    SCOPED_TRACE("back type " + std::to_string(back));
    presenter.TakeFrames();
    Enable(kShapes[0], back);
    ASSERT_TRUE(display.Flip());
    display.DrawSurface()->BoxFill(0, 0, 639, 479, 0x00123456);
    VXRectSet small;
    small.UnionRect({0, 0, 10, 10});
    ASSERT_TRUE(display.FlipModifyRect(small));
    EXPECT_TRUE(presenter.Front() == Packed(display.DrawSurface())) << "the presenter shows the whole picture";
    const auto front = presenter.Front();
    const std::size_t at = (300u * 640u + 300u) * 4u;
    EXPECT_EQ(front[at], 0x56);
    EXPECT_EQ(front[at + 2], 0x12);
    const auto rects = presenter.Frames().back().rects;
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0], (platform::video::Rect{0, 0, 640, 480}));
    display.SetEnabled(false);
  }
}

// Full screen goes on presenting by rectangles: only what was handed in reaches the presenter.
TEST_F(Display, FullScreenPresentsOnlyTheRectanglesHandedIn) {
  for (const Shape& shape : {kShapes[1], kShapes[2], kShapes[3]}) {
    SCOPED_TRACE("buffers " + std::to_string(shape.buffers));
    Enable(shape);
    for (int i = 0; i < shape.buffers; ++i) ASSERT_TRUE(display.FlipModifyRect({}));  // every buffer is whole
    display.GetBackSurface()->BoxFill(0, 0, 639, 479, 0x00123456);
    VXRectSet small;
    small.UnionRect({0, 0, 10, 10});
    ASSERT_TRUE(display.FlipModifyRect(small));
    const auto rects = presenter.Frames().back().rects;
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0], (platform::video::Rect{0, 0, 10, 10}));
    EXPECT_NE(presenter.Front()[(300u * 640u + 300u) * 4u], 0x56) << "left as it was";
    display.SetEnabled(false);
  }
}

// Mended: Write handed back the raw result code of the blit as its success flag.
TEST_F(Display, WriteReportsSuccessAndFailure) {
  Enable(kShapes[3]);
  TDSurface* picture = display.CreateSurface(640, 480, false);
  ASSERT_NE(picture, nullptr);
  picture->Fill(VXRGB(1, 2, 3));
  EXPECT_TRUE(display.Write(picture));
  EXPECT_EQ(display.GetBackSurface()->PGet(5, 5), picture->PGet(5, 5));
  display.GetBackSurface()->FailNextBlits(1);
  EXPECT_FALSE(display.Write(picture));
  EXPECT_FALSE(display.Write(nullptr));
}

TEST_F(Display, SettersWhileEnabled) {
  Enable(kShapes[3], btNone);
  display.SetFullScreen(false);
  EXPECT_TRUE(display.GetFullScreen());
  display.SetScreenSize(ss800x600);
  EXPECT_EQ(display.GetWidth(), 640);
  display.SetBackType(btSystem);
  ASSERT_NE(display.GetBackSurface(), nullptr);
  EXPECT_EQ(display.DrawSurface(), display.GetBackSurface());
  EXPECT_EQ(display.GetBackSurface()->GetBitDepth(), bd32);
  display.SetBackType(btNone);
  EXPECT_EQ(display.GetBackSurface(), nullptr);
  EXPECT_EQ(display.DrawSurface(), display.GetBackBuffer());

  display.SetVideoMemoryTotal(1000);
  display.SetBackType(btVideo);
  ASSERT_NE(display.GetBackSurface(), nullptr);
  EXPECT_EQ(display.GetBackType(), btSystem) << "video memory too small";
  EXPECT_FALSE(display.GetBackSurface()->GetVideoMemory());
}

TEST_F(Display, SettersWhileDisabled) {
  display.SetBitDepth(bd8);
  EXPECT_EQ(display.GetBitDepth(), bd16);
  display.SetBitDepth(bd24);
  EXPECT_EQ(display.GetBitDepth(), bd24);
  display.SetScreenSize(ss320x240);
  EXPECT_EQ(display.GetWidth(), 320);
  EXPECT_EQ(display.GetSpriteWidth(), 320);
  EXPECT_EQ(display.GetSpriteHeight(), 240);
  display.SetSpWidth(321);
  EXPECT_EQ(display.GetSpriteWidth(), 320);
  display.SetSpritePage(17);
  EXPECT_EQ(display.GetSpritePage(), 0);

  display.SetEnabled(true);
  EXPECT_FALSE(display.GetEnabled()) << "no presenter: no window";
}

TEST_F(Display, FourBandsLeaveRowsBelowFourBands) {
  display.SetScreenSize(ss640x480);
  Enable(kShapes[0]);
  display.Blt4Div = true;
  display.GetBackSurface()->Fill(VXRGB(9, 9, 9));
  ASSERT_TRUE(display.Flip());
  EXPECT_TRUE(FrontIsBack());
}

TEST_F(Display, SurfacesAreRegisteredAndReleasedWithTheDisplay) {
  Enable(kShapes[2]);
  EXPECT_EQ(display.CreateSurface(0, 10, false), nullptr);
  const int base = display.GetSurfaceCount();
  TDSurface* a = display.CreateSurface(bdNone, pfNone, 32, 16, false);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetBitDepth(), bd32) << "the display's format";
  EXPECT_EQ(a->GetPixFormat(), pf32_888);
  EXPECT_EQ(display.GetSurfaceCount(), base + 1);

  EXPECT_FALSE(a->Resize(0, 5));
  EXPECT_TRUE(a->Resize(64, 8));
  EXPECT_EQ(a->GetWidth(), 64);
  EXPECT_FALSE(display.GetPrimary()->Resize(10, 10)) << "the chain is attached";
  EXPECT_FALSE(display.GetBackBuffer()->Resize(10, 10));

  ASSERT_TRUE(a->Lock());
  ASSERT_TRUE(a->Lock());
  EXPECT_TRUE(a->Unlock());
  EXPECT_TRUE(a->IsLocked());
  EXPECT_TRUE(a->Unlock());
  EXPECT_FALSE(a->IsLocked());
  EXPECT_FALSE(a->Unlock());
  a->Lock();
  a->Release();
  EXPECT_FALSE(a->IsLocked());

  std::uint32_t total = 0, free = 0;
  display.SetVideoMemoryTotal(1 << 20);
  ASSERT_TRUE(display.GetAvailableVidMem(total, free));
  EXPECT_EQ(total, 1u << 20);
  TDSurface* v = display.CreateSurface(256, 256, true);  // 256 KiB
  ASSERT_NE(v, nullptr);
  EXPECT_TRUE(v->GetVideoMemory());
  display.GetAvailableVidMem(total, free);
  EXPECT_EQ(free, (1u << 20) - 256 * 256 * 4);
  EXPECT_EQ(display.CreateSurface(1024, 1024, true), nullptr) << "more than the card holds";

  TDSurface loose(nullptr);
  EXPECT_FALSE(loose.Create(bd32, pf32_888, 8, 8, false)) << "no display";

  display.SetEnabled(false);
  EXPECT_EQ(display.GetSurfaceCount(), 0);
  EXPECT_EQ(display.CreateSurface(8, 8, false), nullptr);
}

// Mended: the clip rectangle was taken as given, also where it reached beyond the surface.
TEST_F(Display, ClipRectangleIsCutToTheSurface) {
  Enable(kShapes[0]);
  TDSurface* s = display.CreateSurface(100, 50, false);
  TDSurface* src = display.CreateSurface(100, 50, false);
  ASSERT_TRUE(s && src);
  ASSERT_TRUE(s->SetClipRect({-20, 10, 500, 400}));
  EXPECT_EQ(s->GetClipRect(), (VXRect{0, 10, 100, 50}));
  src->Fill(VXRGB(255, 255, 255));
  EXPECT_TRUE(s->Blt(-10, 0, src, 0, 0, 100, 50));
  EXPECT_EQ(s->PGet(0, 9), 0u) << "above the clip";
  EXPECT_EQ(s->PGet(0, 10) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(s->PGet(99, 49), 0u) << "the source ran out 10 pixels before the right edge";
  TDSurface unowned(nullptr);
  EXPECT_FALSE(unowned.SetClipRect({0, 0, 1, 1}));
}

TEST_F(Display, LostSurfacesAreRestoredAndRedrawnByTheirOwners) {
  Enable(kShapes[3]);
  TDSurface* mine = display.CreateSurface(16, 16, false);
  int restored = 0;
  mine->OnRestore = [&](Classes::TComponent* sender) { restored += sender == mine; };
  mine->Fill(VXRGB(5, 5, 5));
  presenter.RaiseLost();
  EXPECT_TRUE(display.CanDraw());
  EXPECT_TRUE(mine->IsLost()) << "restored by its owner or RestoreAllSurfaces";
  EXPECT_TRUE(display.RestoreAllSurfaces());
  EXPECT_EQ(restored, 1);
  EXPECT_EQ(mine->PGet(0, 0), 0u);
}

TEST_F(Display, DrawingLock) {
  EXPECT_TRUE(display.Lock());
  EXPECT_FALSE(display.Lock());
  EXPECT_TRUE(display.Unlock());
  EXPECT_FALSE(display.Unlock());
}

TEST_F(Display, DeviceContextIsATextTargetOverTheDrawSurface) {
  Enable(kShapes[0]);
  void* dc = nullptr;
  ASSERT_TRUE(display.GetDC(&dc));
  EXPECT_TRUE(display.DrawSurface()->IsLocked());
  EXPECT_TRUE(display.ReleaseDC(dc));
  EXPECT_FALSE(display.DrawSurface()->IsLocked());
}

// ---- Surfaces from BMP pictures

namespace {

constexpr int kPicW = 5, kPicH = 3;

std::vector<std::uint32_t> PictureColours() {
  std::vector<std::uint32_t> v;
  for (int i = 0; i < kPicW * kPicH; ++i)
    v.push_back(static_cast<std::uint32_t>((0x20 + i * 0x0B) << 16 | (0xE0 - i * 0x09) << 8 | (i * 13 + 5)));
  return v;
}

std::string PictureBmp(const std::vector<std::uint32_t>& colours = PictureColours()) {
  return pictures::MakeBmp({kPicW, kPicH, 24, 0, 0, 40, 0, {}, pictures::Rows24(kPicW, kPicH, colours)});
}

// A picture the reader refuses: run-length compressed.
std::string CompressedBmp() {
  return pictures::MakeBmp({kPicW, kPicH, 24, 0, 1, 40, 0, {}, pictures::Rows24(kPicW, kPicH, PictureColours())});
}

// The kPicW-wide picture at (x, y) of `s`, in s's own format, as far as it lies on `s`.
::testing::AssertionResult Holds(TZoRGBBits* s, int x, int y, const std::vector<std::uint32_t>& colours) {
  const int bpp = static_cast<int>(s->GetBitDepth());
  const std::uint32_t mask = bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
  for (int i = 0; i < static_cast<int>(colours.size()); ++i) {
    const int px = x + i % kPicW, py = y + i / kPicW;
    if (px >= s->GetWidth() || py >= s->GetHeight()) continue;
    const std::uint32_t want = _ConvertRGBtoProcTable[s->GetPixFormat()](colours[i]) & mask;
    const std::uint32_t got = s->PGet(px, py) & mask;
    if (got != want)
      return ::testing::AssertionFailure() << "pixel (" << px << ", " << py << "): " << std::hex << got << " not " << want;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST_F(Display, SurfaceFromBitmapHoldsThePictureInThePrimaryFormat) {
  for (VXBitDepth depth : {bd16, bd32}) {
    Enable(kShapes[2], btSystem, depth);
    const int count = display.GetSurfaceCount();
    pictures::Bytes bytes(PictureBmp());
    TDSurface* s = display.CreateSurfaceFromBitmap(&bytes.stream, false);
    ASSERT_NE(s, nullptr) << depth;
    EXPECT_EQ(s->GetWidth(), kPicW);
    EXPECT_EQ(s->GetHeight(), kPicH);
    EXPECT_EQ(s->GetBitDepth(), display.GetPrimary()->GetBitDepth());
    EXPECT_EQ(s->GetPixFormat(), display.GetPrimary()->GetPixFormat());
    EXPECT_FALSE(s->GetVideoMemory());
    EXPECT_TRUE(Holds(s, 0, 0, PictureColours()));
    EXPECT_EQ(display.GetSurfaceCount(), count + 1) << "registered with the display";

    // Through the framework's stream, into video memory.
    std::uint32_t total = 0, before = 0, after = 0;
    display.GetAvailableVidMem(total, before);
    pictures::Bytes again(PictureBmp());
    VX2TStream framework(&again.stream);
    TDSurface* v = display.CreateSurfaceFromBitmap(&framework, true);
    ASSERT_NE(v, nullptr);
    EXPECT_TRUE(v->GetVideoMemory());
    EXPECT_TRUE(Holds(v, 0, 0, PictureColours()));
    display.GetAvailableVidMem(total, after);
    EXPECT_EQ(before - after, static_cast<std::uint32_t>(kPicW * kPicH * static_cast<int>(depth)));
    display.SetEnabled(false);
  }
}

TEST_F(Display, SurfaceFromBitmapThatCannotBeMadeLeavesNothing) {
  Enable(kShapes[0]);
  const std::string good = PictureBmp();
  struct Case {
    const char* what;
    std::string bytes;
    bool videoMemory;
  };
  const Case cases[] = {
      {"compressed", CompressedBmp(), false},
      {"cut short", good.substr(0, good.size() - 4), false},
      {"empty", "", false},
      {"more than the card holds", good, true},
  };
  std::uint32_t total = 0, free = 0;
  display.GetAvailableVidMem(total, free);
  display.SetVideoMemoryTotal(std::int64_t{total} - free + 16);  // 16 bytes free: less than the picture
  for (const Case& c : cases) {
    const int count = display.GetSurfaceCount();
    pictures::Bytes bytes(c.bytes);
    EXPECT_EQ(display.CreateSurfaceFromBitmap(&bytes.stream, c.videoMemory), nullptr) << c.what;
    EXPECT_EQ(display.GetSurfaceCount(), count) << c.what;
    display.GetAvailableVidMem(total, free);
    EXPECT_EQ(free, 16u) << c.what;
  }
  EXPECT_EQ(display.CreateSurfaceFromBitmap(static_cast<VXStream*>(nullptr), false), nullptr);
  EXPECT_EQ(display.CreateSurfaceFromBitmap(static_cast<Classes::TStream*>(nullptr), false), nullptr);
  display.SetEnabled(false);
  pictures::Bytes bytes(good);
  EXPECT_EQ(display.CreateSurfaceFromBitmap(&bytes.stream, false), nullptr) << "disabled";
}

// ---- Modes and version

TEST(DisplayModes, PixelFormatsBothWays) {
  struct Case {
    VXBitDepth depth;
    VXPixFormat format;
  };
  const Case cases[] = {{bd16, pf16_565}, {bd16, pf16_555}, {bd16, pf16_5551}, {bd16, pf16_4444},
                        {bd24, pf24_888}, {bd32, pf32_888}, {bd32, pf32_8888}, {bd8, pfNone}};
  for (const Case& c : cases) {
    DDPIXELFORMAT pf;
    DepthFormatToPixelFormat(pf, c.depth, c.format);
    EXPECT_EQ(pf.dwSize, 32u);
    VXBitDepth depth = bdNone;
    VXPixFormat format = pf32_8888;
    PixelFormatToDepthFormat(pf, depth, format);
    EXPECT_EQ(depth, c.depth);
    EXPECT_EQ(format, c.format);
  }
}

TEST(DisplayModes, ListingKeepsKnownSizesAndDepths) {
  std::vector<TAdapterMode> offered(4);
  offered[0] = {640, 480, {32, DDPF_RGB, 0, 16, 0x1F, 0x7E0, 0xF800, 0}};  // masks of no 16-bit format
  offered[1] = {641, 480, {32, DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}};
  offered[2] = {800, 600, {32, 0, 0, 32, 0, 0, 0, 0}};
  offered[3] = {320, 240, {32, DDPF_PALETTEINDEXED8, 0, 8, 0, 0, 0, 0}};
  std::vector<TDisplayMode> list;
  ListDisplayModes(offered, list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].bitDepth, bd16);
  EXPECT_EQ(list[0].pixFormat, pfNone);
  EXPECT_EQ(list[0].redMask, 0x1Fu);
  EXPECT_EQ(list[1].bitDepth, bd8);
  EXPECT_EQ(list[1].screenSize, ss320x240);

  TDisplayMode a = list[0], b = list[0];
  b.redMask = 0;
  EXPECT_TRUE(a.ModeCmp(b));
}

TEST(DisplayModes, StartUpChecksPass) {
  TDDraw display(nullptr);
  EXPECT_TRUE(display.CheckDisplayMode(bd32, ss640x480));
  EXPECT_TRUE(display.CheckDisplayMode(bd16, ss1920x1080));
  EXPECT_FALSE(display.CheckDisplayMode(bd24, ss640x480));
  std::vector<TDisplayMode> list;
  display.ENumDisplayModes(list, true);
  EXPECT_EQ(list.size(), 2u * kScreenSizeCount);
  EXPECT_GE(GetDXVersion(), 0x800u);
}

// ---- The real window, on SDL's dummy driver

TEST(DisplayWindow, PresentsThroughTheSdlWindow) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  platform::video::Window::Options o;
  o.hidden = true;
  o.softwareRenderer = true;
  o.vsync = false;
  std::string error;
  auto window = platform::video::Window::Create(o, &error);
  if (!window) GTEST_SKIP() << "no SDL video: " << error;
  TDDraw display(nullptr);
  display.SetPresenter(&window->presenter());
  display.SetFullScreen(false);
  display.SetBackType(btSystem);
  display.SetEnabled(true);
  ASSERT_TRUE(display.GetEnabled());
  display.GetBackSurface()->BoxFill(0, 0, 9, 9, 0x00FF0000);
  VXRectSet rects;
  rects.UnionRect({0, 0, 10, 10});
  const auto before = window->FramesShown();
  ASSERT_TRUE(display.FlipModifyRect(rects));
  for (int i = 0; i < 500 && window->FramesShown() == before; ++i) window->PumpEvents(10);
  std::vector<std::uint8_t> shown;
  int w = 0, h = 0;
  ASSERT_TRUE(window->ReadPixels(shown, w, h));
  ASSERT_EQ(w, 640);
  EXPECT_EQ(shown[2], 255);
  EXPECT_EQ(shown[0], 0);

  // The whole picture changes and only a corner is handed in: the window still shows all of it.
  display.GetBackSurface()->BoxFill(0, 0, 639, 479, 0x0000FF00);
  const auto shownBefore = window->FramesShown();
  ASSERT_TRUE(display.FlipModifyRect(rects));
  for (int i = 0; i < 500 && window->FramesShown() == shownBefore; ++i) window->PumpEvents(10);
  ASSERT_TRUE(window->ReadPixels(shown, w, h));
  const std::size_t at = (300u * 640u + 300u) * 4u;
  EXPECT_EQ(shown[at + 1], 255);
  EXPECT_EQ(shown[at + 2], 0);
  display.SetEnabled(false);
}

// ---- Sprites

class Sprites : public Display {
protected:
  void SetUp() override {
    display.SetSpWidth(64);
    display.SetSpHeight(32);
    display.SetSpritePage(4);
    Enable(kShapes[3]);
    ASSERT_EQ(display.GetSpritePage(), 4);
    page = display.GetSpSurface(0);
    ASSERT_NE(page, nullptr);
    page->Fill(VXRGB(0, 0, 255));                    // the key colour
    page->BoxFill(0, 0, 7, 7, 0x00FF0000);           // pattern 0: red 8 x 8
    page->BoxFill(8, 0, 15, 7, 0x0000FF00);          // pattern 1: green 8 x 8
    page->PSet(3, 3, 0x000000FF);                    // a transparent hole in the red one
    ASSERT_TRUE(display.SpSetPattern(0, 0, 0, 0, 8, 8, VXRGB(0, 0, 255)));
    ASSERT_TRUE(display.SpSetPattern(1, 0, 8, 0, 8, 8, VXRGB(0, 0, 255)));
  }

  std::uint32_t Shown(int x, int y) {
    const auto front = presenter.Front();
    std::uint32_t v;
    std::memcpy(&v, &front[(static_cast<std::size_t>(y) * 640 + x) * 4], 4);
    return v & 0xFFFFFF;
  }

  TDSurface* page = nullptr;
};

// Mended: patterns were checked against the screen instead of their page, and zero or negative sizes passed.
TEST_F(Sprites, PatternsMustLieOnTheirPage) {
  struct Case {
    int page, x, y, w, h;
    bool ok;
  };
  const Case cases[] = {{0, 0, 0, 64, 32, true},  {0, 60, 0, 8, 8, false}, {0, 0, 30, 8, 8, false},
                        {0, 0, 0, 0, 8, false},   {0, 0, 0, 8, -1, false}, {0, -1, 0, 8, 8, false},
                        {4, 0, 0, 8, 8, false},   {3, 56, 24, 8, 8, true}, {0, 2147483647, 0, 8, 8, false}};
  for (const Case& c : cases)
    EXPECT_EQ(display.SpSetPattern(5, c.page, c.x, c.y, c.w, c.h, VXRGB()), c.ok)
        << c.page << " " << c.x << " " << c.y << " " << c.w << " " << c.h;
  EXPECT_FALSE(display.SpSetPattern(1024, 0, 0, 0, 8, 8, VXRGB()));
  ASSERT_TRUE(display.SpSetPattern(6, 0, 20, 20, 4, 4));
  EXPECT_EQ(display.GetPattern(6)->key.blue, 255) << "key from the page's pixel";
}

TEST_F(Sprites, DrawnOverThePictureInPriorityOrderAndClipped) {
  ASSERT_EQ(display.SpAddSprite(100, 100, 1, 1), 0);  // green, below
  ASSERT_EQ(display.SpAddSprite(104, 100, 0, 0), 1);  // red, priority 0 on top
  ASSERT_EQ(display.SpAddSprite(-2, 0, 0, 5), 2);     // partly outside the left edge
  ASSERT_EQ(display.SpAddSprite(200, 0, 1, 3), 3);
  ASSERT_EQ(display.SpAddSprite(204, 0, 0, 3), 4);    // same priority: the lower number (3) lies above
  display.SpriteShow();
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_EQ(Shown(103, 100), 0x00FF00u);
  EXPECT_EQ(Shown(104, 100), 0xFF0000u);
  EXPECT_EQ(Shown(107, 103), 0x00FF00u) << "the hole shows the sprite below";
  EXPECT_EQ(Shown(0, 0), 0xFF0000u);
  EXPECT_EQ(Shown(1, 3), 0u) << "the pattern's hole stays in place when clipped";
  EXPECT_EQ(Shown(5, 0), 0xFF0000u);
  EXPECT_EQ(Shown(6, 0), 0u);
  EXPECT_EQ(Shown(205, 0), 0x00FF00u);

  ASSERT_TRUE(display.SpMoveSprite(1, 300, 300));
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_EQ(Shown(105, 101), 0x00FF00u) << "the old place is repainted";
  EXPECT_EQ(Shown(300, 300), 0xFF0000u);
  display.SpriteHide();
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_TRUE(FrontIsBack());
}

TEST_F(Sprites, TablesAndPages) {
  for (int i = 0; i < TDDraw::kSpriteCount; ++i) ASSERT_EQ(display.SpAddSprite(0, 0, 0, 0), i);
  EXPECT_EQ(display.SpAddSprite(0, 0, 0, 0), -1);
  EXPECT_FALSE(display.SpSetSprite(0, 0, 0, 0, 16));
  EXPECT_FALSE(display.SpChangeSprite(0, 1024));

  ASSERT_TRUE(display.SpSetPattern(7, 2, 0, 0, 8, 8, VXRGB()));
  ASSERT_TRUE(display.SpSetPattern(8, 3, 0, 0, 8, 8, VXRGB()));
  display.SetSpritePage(17);
  EXPECT_EQ(display.GetSpritePage(), 4);
  display.SetSpritePage(2);
  EXPECT_EQ(display.GetSpritePage(), 2);
  EXPECT_FALSE(display.GetPattern(7)->used);
  EXPECT_FALSE(display.GetPattern(8)->used);
  EXPECT_TRUE(display.GetPattern(0)->used);
  EXPECT_EQ(display.GetSpSurface(2), nullptr);
  display.SetSpritePage(3);
  EXPECT_NE(display.GetSpSurface(2), nullptr);
}

// Mended: the area of a sprite placed near the ends of the int range overflowed (its far edge and the clip).
TEST_F(Sprites, PositionsAtTheEndsOfTheIntRangeLieOffTheScreen) {
  constexpr int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const std::pair<int, int> places[] = {{kMax, 0}, {0, kMax}, {kMax - 3, kMax - 3}, {kMin, 0}, {0, kMin}, {kMin, kMin}};
  display.SpriteShow();
  for (const auto& [x, y] : places) ASSERT_GE(display.SpAddSprite(x, y, 0, 0), 0) << x << " " << y;
  ASSERT_EQ(display.SpAddSprite(-4, -4, 0, 0), 6);
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_EQ(Shown(0, 0), 0xFF0000u) << "the sprite in range is drawn";
  EXPECT_EQ(Shown(639, 479), 0u);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(display.SpMoveSprite(i, kMax, kMin));
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_EQ(Shown(0, 0), 0xFF0000u);
}

TEST_F(Sprites, LostPagesAreRestoredAndAnnounced) {
  std::vector<int> restored;
  display.OnSpriteRestore = [&](TDSurface*, int num) { restored.push_back(num); };
  presenter.RaiseLost();
  display.SpriteShow();
  ASSERT_TRUE(display.FlipModifyRect({}));
  EXPECT_EQ(restored, (std::vector<int>{0, 1, 2, 3}));
}

TEST_F(Sprites, SoftwareDrawing) {
  TZoRGBBits dst, pageBits;
  for (TZoRGBBits* b : {&dst, &pageBits}) {
    b->SetBitDepth(bd32);
    b->SetPixFormat(pf32_888);
    b->Resize(64, 32);
    ASSERT_TRUE(b->Create());
  }
  pageBits.ConvertCopy(0, 0, page, 0, 0, 64, 32);
  TZoRGBBits* pages[4] = {&pageBits, &pageBits, &pageBits, &pageBits};
  ASSERT_EQ(display.SpAddSprite(-2, 0, 0, 0), 0);
  ASSERT_TRUE(display.SpriteDraw(&dst, pages));
  EXPECT_EQ(dst.PGet(0, 0) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(dst.PGet(1, 3) & 0xFFFFFF, 0u) << "the hole, moved by the clip";
  EXPECT_FALSE(dst.IsLocked());
}

// ---- Sprite pages and patterns from BMP pictures

TEST_F(Sprites, PicturesLoadOntoPagesCutToThePage) {
  const auto colours = PictureColours();
  TDSurface* page1 = display.GetSpSurface(1);
  pictures::Bytes inside(PictureBmp());
  ASSERT_TRUE(display.SpPatLoadBmp(1, &inside.stream, 10, 4));
  EXPECT_TRUE(Holds(page1, 10, 4, colours));
  EXPECT_EQ(page1->PGet(9, 4), 0u);

  pictures::Bytes edge(PictureBmp());
  VX2TStream framework(&edge.stream);
  ASSERT_TRUE(display.SpPatLoadBmp(1, &framework, 62, 30));
  EXPECT_TRUE(Holds(page1, 62, 30, colours)) << "the part on the page";

  const auto before = Packed(page1);
  std::string broken = PictureBmp();
  broken.resize(broken.size() - 1);
  pictures::Bytes bad(broken), noPage(PictureBmp());
  EXPECT_FALSE(display.SpPatLoadBmp(1, &bad.stream, 0, 0));
  EXPECT_FALSE(display.SpPatLoadBmp(4, &noPage.stream, 0, 0));
  EXPECT_FALSE(display.SpPatLoadBmp(1, static_cast<Classes::TStream*>(nullptr), 0, 0));
  EXPECT_EQ(Packed(page1), before);
}

// A pattern that cannot be defined leaves both the pattern table and the page as they were.
TEST_F(Sprites, PatternFromBitmapIsRefusedWithoutTouchingThePage) {
  struct Case {
    const char* what;
    int pattern, page, x, y;
    bool broken;
  };
  const Case cases[] = {
      {"pattern out of range", 1024, 2, 0, 0, false}, {"no such page", 9, 4, 0, 0, false},
      {"past the right edge", 9, 2, 60, 0, false},    {"past the bottom", 9, 2, 0, 30, false},
      {"left of the page", 9, 2, -1, 0, false},       {"unreadable picture", 9, 2, 0, 0, true},
  };
  TDSurface* page2 = display.GetSpSurface(2);
  page2->Fill(VXRGB(1, 2, 3));
  const auto before = Packed(page2);
  for (const Case& c : cases) {
    pictures::Bytes bytes(c.broken ? CompressedBmp() : PictureBmp());
    EXPECT_FALSE(display.SpSetPatternBmp(c.pattern, c.page, &bytes.stream, c.x, c.y)) << c.what;
    EXPECT_FALSE(display.GetPattern(9)->used) << c.what;
    EXPECT_EQ(Packed(page2), before) << c.what;
  }
  display.SetEnabled(false);
  pictures::Bytes bytes(PictureBmp());
  EXPECT_FALSE(display.SpSetPatternBmp(9, 2, &bytes.stream, 0, 0)) << "disabled";
}

// The picture's top-left pixel is the key: wherever that colour recurs, the sprite shows what lies below it. At
// 16 bits the key goes through the reduced colour and back and must still hit the page's pixel.
TEST_F(Display, PatternFromBitmapIsKeyedByItsTopLeftPixel) {
  auto colours = PictureColours();
  colours[7] = colours[0];
  for (VXBitDepth depth : {bd16, bd32}) {
    display.SetSpWidth(64);
    display.SetSpHeight(32);
    display.SetSpritePage(3);
    Enable(kShapes[3], btSystem, depth);
    pictures::Bytes bytes(PictureBmp(colours));
    VX2TStream framework(&bytes.stream);
    ASSERT_TRUE(display.SpSetPatternBmp(9, 2, &framework, 20, 10)) << depth;
    const TSpritePattern* p = display.GetPattern(9);
    EXPECT_TRUE(p->used);
    EXPECT_EQ(p->page, 2);
    EXPECT_EQ((VXRect{p->x, p->y, p->x + p->width, p->y + p->height}), (VXRect{20, 10, 25, 13}));
    EXPECT_TRUE(Holds(display.GetSpSurface(2), 20, 10, colours));

    TDSurface* back = display.GetBackSurface();
    const std::uint32_t ground = back->TZoRGBtoPixel(VXRGB(0x40, 0x80, 0xC0));
    back->BoxFill(0, 0, 639, 479, ground);
    ASSERT_EQ(display.SpAddSprite(300, 200, 9, 0), 0);
    display.SpriteShow();
    ASSERT_TRUE(display.Flip());
    // The presented front, read back into a bitmap of the display's format.
    TZoRGBBits front;
    front.SetBitDepth(depth);
    front.SetPixFormat(back->GetPixFormat());
    front.Resize(640, 480);
    ASSERT_TRUE(front.Create());
    ASSERT_TRUE(front.PutPat(0, 0, 640, 480, presenter.Front().data()));
    const int bpp = static_cast<int>(depth);
    const std::uint32_t mask = bpp == 4 ? 0xFFFFFFu : 0xFFFFu;
    EXPECT_EQ(front.PGet(300, 200) & mask, ground & mask) << "the key at the top left";
    EXPECT_EQ(front.PGet(302, 201) & mask, ground & mask) << "the key inside";
    EXPECT_EQ(front.PGet(301, 200) & mask, _ConvertRGBtoProcTable[front.GetPixFormat()](colours[1]) & mask);
    EXPECT_EQ(front.PGet(304, 202) & mask, _ConvertRGBtoProcTable[front.GetPixFormat()](colours[14]) & mask);
    display.SetEnabled(false);
  }
}

TEST_F(Display, FlipsWaitForTheVerticalBlankUnlessAskedNot) {
  struct Case {
    Shape shape;
    bool noVSync;
    bool vsync;  // what the presented frame asked for
  };
  const Case cases[] = {
      {kShapes[3], false, true},
      {kShapes[3], true, false},
      {kShapes[2], true, false},
      {kShapes[1], true, true},  // no flip chain: nothing flips, the presenter keeps its choice
      {kShapes[0], true, true},  // a window: copies, no flip
  };
  for (const Case& c : cases) {
    display.SetEnabled(false);
    presenter.SetVSync(true);
    Enable(c.shape);
    display.NoVSync = c.noVSync;
    ASSERT_TRUE(display.Flip());
    display.SetModifyRect({0, 0, 10, 10});
    ASSERT_TRUE(display.FlipModifyRect(VXRectSet()));
    const auto frames = presenter.TakeFrames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames.back().vsync, c.vsync) << c.shape.buffers << " " << c.noVSync;
    EXPECT_EQ(frames[frames.size() - 2].vsync, c.vsync) << c.shape.buffers << " " << c.noVSync;
    display.NoVSync = false;
  }
}

TEST_F(Display, CapsDescribeTheSoftwarePathEnabledOrNot) {
  display.SetVideoMemoryTotal(std::int64_t{8} << 20);
  DDCAPS driver, emulation;
  driver.dwReserved[0] = 5;
  ASSERT_TRUE(display.GetCaps(&driver, &emulation));
  EXPECT_FALSE(display.GetEnabled());
  EXPECT_EQ(driver.dwSize, 380u);
  EXPECT_EQ(emulation.dwSize, 380u);
  EXPECT_EQ(driver.dwReserved[0], 0u) << "cleared first";
  EXPECT_EQ(driver.dwVidMemTotal, 8u << 20);
  EXPECT_EQ(driver.dwVidMemFree, 8u << 20);
  EXPECT_EQ(emulation.dwVidMemTotal, 0u);
  for (const DDCAPS* caps : {&driver, &emulation}) {
    EXPECT_EQ(caps->dwCaps, DDCAPS_BLT | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL);
    EXPECT_TRUE(caps->dwCaps2 & DDCAPS2_FLIPNOVSYNC);
    EXPECT_TRUE(caps->ddsCaps[0] & DDSCAPS_FLIP);
  }
  Enable(kShapes[3], btVideo);
  std::uint32_t total = 0, free = 0;
  ASSERT_TRUE(display.GetAvailableVidMem(total, free));
  ASSERT_TRUE(display.GetCaps(&driver, nullptr));
  EXPECT_EQ(driver.dwVidMemFree, free);
  EXPECT_LT(driver.dwVidMemFree, driver.dwVidMemTotal) << "the back surface holds video memory";
  EXPECT_TRUE(display.GetCaps(nullptr, nullptr));
}
