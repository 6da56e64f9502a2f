// The screen transitions: the manager's life cycle and driving (progress, steps, first and last frames), every
// kind's frames against references computed from its formulas on uniform, coded or probe pictures, the three
// resource loaders on good, missing, short and bad files, and the demo game's own transition data.
#include "shell/gameeffect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace {

constexpr int W = kScreenWidth, H = kScreenHeight;
constexpr VXRect kFull{0, 0, W, H};

using Picture = std::unique_ptr<TZoRGBBits>;

Picture MakePicture(VXBitDepth depth = bd32, int w = W, int h = H) {
  auto p = std::make_unique<TZoRGBBits>(nullptr);
  p->SetBitDepth(depth);
  p->Resize(w, h);
  EXPECT_TRUE(p->Create());
  return p;
}

// Every pixel's colour 0x00RRGGBB from a function of (x, y), written into the rows.
void Paint(TZoRGBBits* bits, const std::function<std::uint32_t(int, int)>& colour) {
  ASSERT_TRUE(bits->Lock());
  const int bpp = bits->GetBitDepth();
  for (int y = 0; y < bits->GetHeight(); ++y)
    for (int x = 0; x < bits->GetWidth(); ++x) {
      unsigned char* p = bits->GetBits() + y * bits->GetPitch() + x * bpp;
      const std::uint32_t c = colour(x, y);
      p[0] = static_cast<unsigned char>(c), p[1] = static_cast<unsigned char>(c >> 8);
      p[2] = static_cast<unsigned char>(c >> 16);
    }
  bits->Unlock();
}

void Fill(TZoRGBBits* bits, std::uint32_t colour) {
  Paint(bits, [&](int, int) { return colour; });
}

Picture Uniform(std::uint32_t colour, VXBitDepth depth = bd32) {
  Picture p = MakePicture(depth);
  Fill(p.get(), colour);
  return p;
}

// A picture whose every pixel tells which picture and where: id in bits 20-23, y in 10-19, x in 0-9.
std::uint32_t Code(int id, int x, int y) { return static_cast<std::uint32_t>(id << 20 | y << 10 | x); }
Picture Coded(int id, VXBitDepth depth = bd32) {
  Picture p = MakePicture(depth);
  Paint(p.get(), [&](int x, int y) { return Code(id, x, y); });
  return p;
}

// The colours of all pixels, top row first.
std::vector<std::uint32_t> Colours(TZoRGBBits* bits) {
  std::vector<std::uint32_t> out;
  EXPECT_TRUE(bits->Lock());
  const int bpp = bits->GetBitDepth();
  for (int y = 0; y < bits->GetHeight(); ++y)
    for (int x = 0; x < bits->GetWidth(); ++x) {
      const unsigned char* p = bits->GetBits() + y * bits->GetPitch() + x * bpp;
      out.push_back(std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
    }
  bits->Unlock();
  return out;
}

std::uint32_t At(TZoRGBBits* bits, int x, int y) { return bits->PGet(x, y) & 0xFFFFFF; }

// Per channel of 0x00RRGGBB colours.
std::uint32_t PerChannel(std::uint32_t a, std::uint32_t b, const std::function<int(int, int)>& f) {
  std::uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8)
    out |= static_cast<std::uint32_t>(std::clamp(f(a >> shift & 0xFF, b >> shift & 0xFF), 0, 255)) << shift;
  return out;
}
// a + (b - a) x rate / 128, floored: the blends and mixes of the bitmap library.
std::uint32_t MixRgb(std::uint32_t a, std::uint32_t b, int rate) {
  return PerChannel(a, b, [&](int x, int y) { return x + ((y - x) * rate >> 7); });
}
// (3 x old + new) / 4: the blending resampler.
std::uint32_t QuarterRgb(std::uint32_t old, std::uint32_t add) {
  return PerChannel(old, add, [](int o, int n) { return (3 * o + n) >> 2; });
}
std::uint32_t AddRgb(std::uint32_t a, std::uint32_t b) {
  return PerChannel(a, b, [](int x, int y) { return x + y; });
}

// Draws until the transition ends, advancing by `advance` before every draw but the first.
struct Frames {
  int calls = 0;  // Draw calls, the first included
  int drawn = 0;  // of them, those that drew (marked the screen dirty)
};
Frames RunToEnd(TEffectMan& effects, TZoRGBBits* dst, int advance, int limit = 2000) {
  Frames run;
  while (!effects.IsDone() && run.calls < limit) {
    if (run.calls > 0) effects.Advance(advance);
    VXRectSet dirty;
    effects.Draw(dst, &dirty);
    ++run.calls;
    if (!dirty.IsRectEmpty()) {
      ++run.drawn;
      EXPECT_EQ(dirty.AllUnionRect(), kFull);
    }
  }
  return run;
}

// A transition of `kind` between two uniform pictures, its first frame drawn.
struct Started {
  Started(int kind, std::uint32_t a, std::uint32_t b, VXBitDepth depth = bd32)
      : from(Uniform(a, depth)), to(Uniform(b, depth)), dst(MakePicture(depth)) {
    EXPECT_TRUE(effects.Start(kind, from.get(), to.get()));
    effects.Draw(dst.get(), nullptr);
  }
  // The next frame, one progress unit on.
  void Next() {
    effects.Advance(1);
    effects.Draw(dst.get(), nullptr);
  }

  Picture from, to, dst;
  TEffectMan effects;
};

// ---- Resource files

std::string GreyMaskBmp(int w, int h, const std::function<int(int, int)>& level) {
  pictures::Bmp bmp{.width = w, .height = h, .bits = 8, .palette = {}, .rows = {}};
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(i);
    bmp.palette.push_back({v, v, v, 0});
  }
  std::vector<unsigned char> indices;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) indices.push_back(static_cast<unsigned char>(level(x, y)));
  bmp.rows = pictures::Rows8(w, h, indices);
  return pictures::MakeBmp(bmp);
}

std::string Bmp24(int w, int h, const std::function<std::uint32_t(int, int)>& colour) {
  std::vector<std::uint32_t> rgb;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) rgb.push_back(colour(x, y));
  return pictures::MakeBmp({w, h, 24, 0, 0, 40, 0, {}, pictures::Rows24(w, h, rgb)});
}

// The three ripple tables, as the files hold them.
struct WaterTables {
  std::vector<std::uint16_t> dist = std::vector<std::uint16_t>(240 * 320);
  std::vector<std::uint8_t> sine = std::vector<std::uint8_t>(256);
  std::vector<std::uint8_t> multi = std::vector<std::uint8_t>(32 * 255, 127);

  // Irregular tables that move pixels by up to 4 either way and differ between quadrant cells.
  static WaterTables Irregular() {
    WaterTables t;
    for (int j = 0; j < 240; ++j)
      for (int i = 0; i < 320; ++i) t.dist[j * 320 + i] = static_cast<std::uint16_t>(i * 3 + j * 5 + (i * j) % 7);
    for (int k = 0; k < 256; ++k) t.sine[k] = static_cast<std::uint8_t>(k * 7 % 255);
    for (int l = 0; l < 32; ++l)
      for (int c = 0; c < 255; ++c) t.multi[l * 255 + c] = static_cast<std::uint8_t>(127 + (c + l) % 9 - 4);
    return t;
  }

  std::string DistBytes() const {
    std::string s;
    for (std::uint16_t v : dist) s += {static_cast<char>(v), static_cast<char>(v >> 8)};
    return s;
  }
  std::string SineBytes() const { return std::string(sine.begin(), sine.end()); }
  std::string MultiBytes() const { return std::string(multi.begin(), multi.end()); }

  // The ripple from the formula: the quadrant table mirrored, one displacement on both axes, held inside.
  std::vector<std::uint32_t> Ripple(const std::vector<std::uint32_t>& src, int w, int h, int cx, int cy, int phase,
                                    int level) const {
    std::vector<std::uint32_t> out(src.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int i = x < cx ? cx - 1 - x : x - cx, j = y < cy ? cy - 1 - y : y - cy;
        const int k = (dist[j * 320 + i] * 4 + phase) % 256;
        const int d = multi[level * 255 + sine[k]] - 127;
        out[y * w + x] = src[std::clamp(y + d, 0, h - 1) * w + std::clamp(x + d, 0, w - 1)];
      }
    return out;
  }

  void WriteTo(const TempDir& dir) const {
    dir.Write("WaterDistTbl.bin", DistBytes());
    dir.Write("WaterSinTbl.bin", SineBytes());
    dir.Write("WaterMultiTbl.bin", MultiBytes());
  }
};

// A folder of resource files behind a file manager.
class ResourceFolder {
public:
  ResourceFolder() { files.InitDir(dir.str().c_str()); }
  void Write(const std::string& name, const std::string& bytes) { dir.Write(name, bytes); }
  void Remove(const std::string& name) { std::filesystem::remove(dir.path() / name); }

  TempDir dir;
  VXFileMan files;
};

// The irregular tables in a folder, loaded.
struct RipplingWater {
  RipplingWater() {
    tables.WriteTo(folder.dir);
    water.Load(&folder.files);
  }
  ResourceFolder folder;
  const WaterTables tables = WaterTables::Irregular();
  TZOWaterTable water;
};

// The game services every screen picture is made through, installed for the test's length.
class Installed {
public:
  explicit Installed(VXBitDepth depth = bd32) : services_(nullptr, nullptr, depth) { SetGameServices(&services_); }
  ~Installed() { SetGameServices(nullptr); }

private:
  TLocalGameServices services_;
};

}  // namespace

// ---- The manager's life cycle -----------------------------------------------------------------------------------

TEST(EffectStart, RefusesPicturesThatAreNotScreenPicturesAndKeepsTheRunningTransition) {
  Picture from = Uniform(0x102030), to = Uniform(0x405060);
  Picture small = MakePicture(bd32, W, H - 1), wide = MakePicture(bd32, W + 1, H), deep24 = MakePicture(bd24);
  Picture shallow = MakePicture(bd16);
  auto uncreated = std::make_unique<TZoRGBBits>(nullptr);
  uncreated->SetBitDepth(bd32);
  TEffectMan effects;
  ASSERT_TRUE(effects.Start(ekCrossFade, from.get(), to.get(), 50));
  effects.Advance(4);
  const struct {
    const char* what;
    TZoRGBBits *from, *to;
  } refused[] = {{"no from", nullptr, to.get()},         {"no to", from.get(), nullptr},
                 {"479 rows", small.get(), to.get()},    {"641 columns", from.get(), wide.get()},
                 {"not created", uncreated.get(), to.get()}, {"24- and 32-bit", deep24.get(), to.get()},
                 {"16-bit", shallow.get(), shallow.get()}};
  for (const auto& c : refused) {
    EXPECT_FALSE(effects.Start(ekZoomIn, c.from, c.to)) << c.what;
    EXPECT_EQ(effects.GetKind(), ekCrossFade) << c.what;
    EXPECT_EQ(effects.GetFrom(), from.get()) << c.what;
    EXPECT_EQ(effects.GetRate(), 50) << c.what;
    EXPECT_EQ(effects.GetProgress(), 2) << c.what;
  }
  // Two 24-bit pictures are fine.
  Picture other24 = MakePicture(bd24);
  EXPECT_TRUE(effects.Start(ekZoomIn, deep24.get(), other24.get()));
  EXPECT_EQ(effects.GetRate(), 100);
}

TEST(EffectStart, StartingWhileRunningBeginsAfresh) {
  Picture a = Uniform(0x111111), b = Uniform(0x222222), c = Uniform(0x333333), dst = MakePicture();
  TEffectMan effects;
  ASSERT_TRUE(effects.Start(ekCrossFade, a.get(), b.get()));
  effects.Draw(dst.get(), nullptr);
  effects.Advance(10);
  effects.Draw(dst.get(), nullptr);
  ASSERT_TRUE(effects.Start(ekCrossFadeFast, b.get(), c.get(), 200));
  EXPECT_EQ(effects.GetKind(), ekCrossFadeFast);
  EXPECT_EQ(effects.GetElapsed(), 0);
  EXPECT_EQ(effects.GetProgress(), 0);
  EXPECT_EQ(effects.GetFrom(), b.get());
  EXPECT_EQ(effects.GetTo(), c.get());
  effects.Draw(dst.get(), nullptr);  // the new transition's first frame: its from picture
  EXPECT_EQ(At(dst.get(), 5, 5), 0x222222u);
  const Frames run = RunToEnd(effects, dst.get(), 1);
  EXPECT_EQ(run.calls, 8 + 1);  // rate 200: progress 16 after 8 frames
  EXPECT_EQ(At(dst.get(), 5, 5), 0x333333u);
}

TEST(EffectAdvance, ProgressIsElapsedTimesRateOverHundred) {
  Picture a = Uniform(0), b = Uniform(0);
  TEffectMan effects;
  effects.Advance(5);  // idle: nothing
  EXPECT_EQ(effects.GetElapsed(), 0);
  const struct {
    int rate;
    std::vector<int> times, elapsed, progress;
  } cases[] = {
      {50, {1, 1, 1}, {1, 2, 3}, {0, 1, 1}},
      {100, {1, 3, 0}, {1, 4, 4}, {1, 4, 4}},
      {200, {1, 2}, {1, 3}, {2, 6}},
      {-50, {1, 2}, {1, 3}, {0, -1}},  // truncated toward zero
      {200, {INT_MAX, 5}, {INT_MAX, INT_MAX}, {INT_MAX, INT_MAX}},  // held within 32 bits
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(effects.Start(ekCrossFade, a.get(), b.get(), c.rate));
    for (std::size_t i = 0; i < c.times.size(); ++i) {
      effects.Advance(c.times[i]);
      EXPECT_EQ(effects.GetElapsed(), c.elapsed[i]) << "rate " << c.rate << " advance " << i;
      EXPECT_EQ(effects.GetProgress(), c.progress[i]) << "rate " << c.rate << " advance " << i;
    }
  }
}

TEST(EffectDraw, KindsOutsideTheTableShowTheToPictureOnceAndMinusOneStartsNothing) {
  Picture from = Uniform(0x010203), to = Uniform(0x0A0B0C), dst = Uniform(0x777777);
  TEffectMan effects;
  ASSERT_TRUE(effects.Start(200, from.get(), to.get()));
  EXPECT_EQ(effects.GetKind(), 200 - 256);
  VXRectSet dirty;
  effects.Draw(dst.get(), &dirty);
  EXPECT_TRUE(effects.IsDone());
  EXPECT_EQ(dirty.AllUnionRect(), kFull);
  EXPECT_EQ(At(dst.get(), 639, 479), 0x0A0B0Cu);

  Fill(dst.get(), 0x777777);
  for (int kind : {-1, 255, 15, 240}) {  // 240 is -16 as a byte: outside the table too
    ASSERT_TRUE(effects.Start(kind, from.get(), to.get()));
    const bool idle = static_cast<std::int8_t>(kind & 0xFF) == -1;
    EXPECT_EQ(effects.IsDone(), idle) << kind;
    effects.Draw(dst.get(), nullptr);
    EXPECT_TRUE(effects.IsDone()) << kind;
  }
  // A kind taken by its low byte: 256 + 1 is kind 1.
  ASSERT_TRUE(effects.Start(257, from.get(), to.get()));
  EXPECT_EQ(effects.GetKind(), ekCrossFadeFast);
}

TEST(EffectDraw, DrawsOnlyWhenProgressMovedAndClearForgetsThePictures) {
  Picture from = Uniform(0), to = Uniform(0x808080), dst = MakePicture();
  TEffectMan effects;
  ASSERT_TRUE(effects.Start(ekCrossFade, from.get(), to.get()));
  VXRectSet dirty;
  effects.Draw(dst.get(), &dirty);
  EXPECT_FALSE(dirty.IsRectEmpty());
  // A second draw without progress draws nothing, and so does one where the progress did not reach a new unit.
  Fill(dst.get(), 0x123456);
  dirty.SetRectEmpty();
  effects.Draw(dst.get(), &dirty);
  EXPECT_TRUE(dirty.IsRectEmpty());
  EXPECT_EQ(At(dst.get(), 0, 0), 0x123456u);
  effects.Advance(3);
  effects.Draw(dst.get(), &dirty);
  EXPECT_EQ(At(dst.get(), 0, 0), 0x0C0C0Cu);  // level 12
  effects.Draw(dst.get(), nullptr);             // no dirty set: still fine

  effects.Clear();
  EXPECT_TRUE(effects.IsDone());
  EXPECT_EQ(effects.GetFrom(), nullptr);
  EXPECT_EQ(effects.GetTo(), nullptr);
  Fill(dst.get(), 0x123456);
  effects.Advance(5);
  effects.Draw(dst.get(), &dirty);  // idle: nothing
  EXPECT_EQ(At(dst.get(), 0, 0), 0x123456u);
}

TEST(EffectDraw, AnUnusableDestinationOrAVanishedPictureEndsTheTransitionWithoutDrawing) {
  Picture from = Uniform(0x111111), to = Uniform(0x222222);
  Picture wrongDepth = Uniform(0x333333, bd24), wrongSize = MakePicture(bd32, 320, 240);
  for (TZoRGBBits* dst : {wrongDepth.get(), wrongSize.get(), static_cast<TZoRGBBits*>(nullptr)}) {
    TEffectMan effects;
    ASSERT_TRUE(effects.Start(ekCrossFade, from.get(), to.get()));
    VXRectSet dirty;
    effects.Draw(dst, &dirty);
    EXPECT_TRUE(effects.IsDone());
    EXPECT_TRUE(dirty.IsRectEmpty());
  }
  EXPECT_EQ(At(wrongDepth.get(), 0, 0), 0x333333u);

  TEffectMan effects;
  Picture dst = Uniform(0x444444);
  ASSERT_TRUE(effects.Start(ekShrink, from.get(), to.get()));
  effects.Draw(dst.get(), nullptr);
  from->Release();  // the holder dropped the picture's pixels
  effects.Advance(1);
  effects.Draw(dst.get(), nullptr);
  EXPECT_TRUE(effects.IsDone());
  EXPECT_EQ(At(dst.get(), 0, 0), 0x111111u);  // the first frame, nothing after it
}

// How many frames each kind takes: level kinds by progress, step kinds by drawn frames.
TEST(EffectDraw, EveryKindTakesItsLength) {
  ResourceFolder folder;
  folder.Write("Mask.bmp", GreyMaskBmp(W, H, [](int x, int) { return x * 255 / (W - 1); }));
  TEffectMan effects;
  effects.Water().Load(nullptr);
  effects.Halo().Load(nullptr, bd32);
  effects.Mask().Load(&folder.files, "Mask.bmp");
  const struct {
    int kind;
    bool steps;
    int length;  // progress units (level kinds) or steps after the first frame
  } kinds[] = {{0, false, 32}, {1, false, 16}, {2, false, 64}, {3, false, 160}, {4, false, 160},
               {5, false, 160}, {6, false, 160}, {7, true, 36},  {8, true, 20},   {9, true, 36},
               {10, true, 20},  {11, true, 70},  {12, true, 37}, {13, false, 32}, {14, false, 32}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.kind);
    Picture from = Uniform(0x204060), to = Uniform(0x604020), dst = MakePicture();
    ASSERT_TRUE(effects.Start(k.kind, from.get(), to.get()));
    Frames run = RunToEnd(effects, dst.get(), 1);
    EXPECT_EQ(run.calls, 1 + k.length);
    EXPECT_EQ(run.drawn, run.calls);
    EXPECT_EQ(At(dst.get(), 320, 240), 0x604020u);
    // Five units a frame: level kinds end five times sooner, step kinds still take every step.
    Fill(from.get(), 0x204060);
    ASSERT_TRUE(effects.Start(k.kind, from.get(), to.get()));
    run = RunToEnd(effects, dst.get(), 5);
    EXPECT_EQ(run.calls, 1 + (k.steps ? k.length : (k.length + 4) / 5));
    // Rate 50: progress moves every other frame; frames without progress draw nothing.
    Fill(from.get(), 0x204060);
    ASSERT_TRUE(effects.Start(k.kind, from.get(), to.get(), 50));
    run = RunToEnd(effects, dst.get(), 1);
    EXPECT_EQ(run.calls, 1 + 2 * k.length);
    EXPECT_EQ(run.drawn, 1 + k.length);
    EXPECT_EQ(At(dst.get(), 320, 240), 0x604020u);
  }
}

// ---- Kinds 0 to 2: cross-fades ------------------------------------------------------------------------------------

TEST(EffectCrossFade, MixesAtProgressTimesTheKindsFactor) {
  const std::uint32_t a = 0x10F020, b = 0xF01080;
  for (VXBitDepth depth : {bd24, bd32}) {
    const struct {
      int kind, factor, end;
    } kinds[] = {{0, 4, 32}, {1, 8, 16}, {2, 2, 64}};
    for (const auto& k : kinds) {
      SCOPED_TRACE(testing::Message() << "kind " << k.kind << " depth " << int(depth));
      Started run(k.kind, a, b, depth);
      EXPECT_EQ(At(run.dst.get(), 0, 0), a);
      for (int p = 1; p < k.end; ++p) {
        run.Next();
        ASSERT_EQ(At(run.dst.get(), 100 + p, 7 * p), MixRgb(a, b, p * k.factor)) << "progress " << p;
      }
      run.Next();
      EXPECT_TRUE(run.effects.IsDone());
      EXPECT_EQ(Colours(run.dst.get()), Colours(run.to.get()));
    }
  }
}

// ---- Kinds 3 to 6: scrolls ----------------------------------------------------------------------------------------

TEST(EffectScroll, TheNewPicturePushesTheOldOneOut) {
  Picture from = Coded(1), to = Coded(2), dst = MakePicture();
  // Where each frame's pixel comes from, by direction, with d the distance moved.
  using Source = std::function<std::uint32_t(int x, int y, int d)>;
  const struct {
    int direction;
    int axis;  // the length that 160 progress units cover
    Source source;
  } directions[] = {
      {0, H, [](int x, int y, int d) { return y < H - d ? Code(1, x, y + d) : Code(2, x, y - (H - d)); }},
      {1, H, [](int x, int y, int d) { return y < d ? Code(2, x, y + H - d) : Code(1, x, y - d); }},
      {2, W, [](int x, int y, int d) { return x < d ? Code(2, x + W - d, y) : Code(1, x - d, y); }},
      {3, W, [](int x, int y, int d) { return x < W - d ? Code(1, x + d, y) : Code(2, x - (W - d), y); }},
  };
  for (const auto& dir : directions) {
    for (int pos : {0, 1, 80, 159, 160}) {
      SCOPED_TRACE(testing::Message() << "direction " << dir.direction << " pos " << pos);
      const bool last = RenderScroll(dst.get(), nullptr, from.get(), to.get(), pos, dir.direction);
      EXPECT_EQ(last, pos == 160);
      const int d = pos * dir.axis / 160;
      const std::vector<std::uint32_t> got = Colours(dst.get());
      int wrong = 0;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) wrong += got[y * W + x] != dir.source(x, y, d);
      EXPECT_EQ(wrong, 0);
    }
  }
  // Kind 3 at progress 80 through the manager: from rows 240..479 on top, to rows 0..239 below.
  TEffectMan effects;
  ASSERT_TRUE(effects.Start(ekScrollUp, from.get(), to.get()));
  effects.Draw(dst.get(), nullptr);
  effects.Advance(80);
  effects.Draw(dst.get(), nullptr);
  EXPECT_EQ(At(dst.get(), 17, 0), Code(1, 17, 240));
  EXPECT_EQ(At(dst.get(), 17, 239), Code(1, 17, 479));
  EXPECT_EQ(At(dst.get(), 17, 240), Code(2, 17, 0));
  EXPECT_EQ(At(dst.get(), 17, 479), Code(2, 17, 239));
}

// ---- Kinds 7 to 10: zooms -----------------------------------------------------------------------------------------

// Uniform pictures stay uniform under kinds 7 and 10, so one colour per picture follows their formulas step by step.
TEST(EffectZoom, ZoomInAndZoomOutFollowTheirFormulasStepByStep) {
  const std::uint32_t a = 0xF08010, b = 0x1060E0;
  struct Model {
    std::uint32_t from, dst;
  };
  const struct {
    int kind, steps;
    std::function<void(Model&, int)> step;
  } kinds[] = {
      {ekZoomIn, 36,
       [&](Model& m, int s) {
         m.dst = QuarterRgb(m.dst, m.from);
         if (4 * s <= 128) m.from = MixRgb(m.dst, b, 4 * s);
       }},
      {ekZoomOut, 20,
       [&](Model& m, int s) {
         if (s < 16) {
           m.from = QuarterRgb(m.from, b);
           m.dst = MixRgb(m.dst, m.from, 32);
           m.from = m.dst;
         } else {
           m.dst = MixRgb(m.dst, b, 32);
         }
       }},
  };
  for (VXBitDepth depth : {bd24, bd32}) {
    for (const auto& k : kinds) {
      SCOPED_TRACE(testing::Message() << "kind " << k.kind << " depth " << int(depth));
      Started run(k.kind, a, b, depth);
      Model model{a, a};
      for (int s = 1; s < k.steps; ++s) {
        run.Next();
        k.step(model, s);
        ASSERT_EQ(run.effects.GetStep(), s);
        for (auto [x, y] : {std::pair{0, 0}, {320, 240}, {639, 479}, {17, 400}}) {
          ASSERT_EQ(At(run.dst.get(), x, y), model.dst) << "step " << s;
          ASSERT_EQ(At(run.from.get(), x, y), model.from) << "step " << s;
        }
      }
      run.Next();
      EXPECT_TRUE(run.effects.IsDone());
      EXPECT_EQ(At(run.dst.get(), 320, 240), b);
    }
  }
}

// Kind 7's first step on a coded picture: each pixel mixes in the pixel of the window (4, 3)-(636, 477) that the
// nearest-pixel enlargement puts there; then the from picture takes 4/128 of the to picture.
TEST(EffectZoom, ZoomInEnlargesTheInnerWindowOverTheScreen) {
  Picture from = Coded(1), to = Uniform(0x000000), dst = MakePicture();
  const std::vector<std::uint32_t> before = Colours(from.get());
  RenderZoomIn(dst.get(), nullptr, from.get(), to.get(), 0);
  RenderZoomIn(dst.get(), nullptr, from.get(), to.get(), 1);
  const std::vector<std::uint32_t> got = Colours(dst.get()), fromAfter = Colours(from.get());
  int wrong = 0, wrongFrom = 0;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::uint32_t sample = before[(3 + y * 474 / 480) * W + 4 + x * 632 / 640];
      const std::uint32_t expected = QuarterRgb(before[y * W + x], sample);
      wrong += got[y * W + x] != expected;
      wrongFrom += fromAfter[y * W + x] != MixRgb(expected, 0, 4);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(wrongFrom, 0);
}

// Kinds 8 and 9 build each frame on the last one; their first step on uniform pictures shows where they draw.
TEST(EffectZoom, ZoomThroughAndShrinkDrawInsideTheirWindows) {
  const std::uint32_t a = 0x808080, b = 0x204060;
  {
    // Kind 8 step 1: the to picture shrunk into the window (76, 57)-(564, 423) of the from picture, and the from
    // picture laid over the screen at 16/128.
    Picture from = Uniform(a), to = Uniform(b), dst = MakePicture();
    RenderZoomThrough(dst.get(), nullptr, from.get(), to.get(), 0);
    RenderZoomThrough(dst.get(), nullptr, from.get(), to.get(), 1);
    const std::uint32_t inside = MixRgb(a, b, 16);
    const struct {
      int x, y;
      std::uint32_t colour;
    } probes[] = {{75, 240, a},       {76, 240, inside}, {563, 240, inside}, {564, 240, a},
                  {320, 56, a},       {320, 57, inside}, {320, 422, inside}, {320, 423, a},
                  {320, 240, inside}, {0, 0, a}};
    for (const auto& p : probes) EXPECT_EQ(At(dst.get(), p.x, p.y), p.colour) << p.x << "," << p.y;
  }
  {
    // Kind 9 step 1: the screen takes 32/128 of the to picture, the from picture shrinks into (4, 3)-(636, 477)
    // mixing in once or twice where two of its pixels fall on one, and the result becomes the from picture.
    Picture from = Uniform(a), to = Uniform(b), dst = MakePicture();
    RenderShrink(dst.get(), nullptr, from.get(), to.get(), 0);
    RenderShrink(dst.get(), nullptr, from.get(), to.get(), 1);
    // Shrinking both ways, a pixel takes one, two or four of the picture's pixels in turn.
    const std::uint32_t outside = MixRgb(a, b, 32);
    std::vector<std::uint32_t> mixedIn{QuarterRgb(outside, a)};
    for (int n = 2; n <= 4; ++n) mixedIn.push_back(QuarterRgb(mixedIn.back(), a));
    const std::vector<std::uint32_t> got = Colours(dst.get());
    int wrong = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const std::uint32_t c = got[y * W + x];
        const bool inWindow = x >= 4 && x < 636 && y >= 3 && y < 477;
        wrong += inWindow ? c != mixedIn[0] && c != mixedIn[1] && c != mixedIn[3] : c != outside;
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(Colours(from.get()), got);
  }
}

// ---- Kind 11: water -----------------------------------------------------------------------------------------------

TEST(EffectWater, TheRippleKernelMovesEachPixelByItsQuadrantEntry) {
  const RipplingWater rippling;
  const WaterTables& tables = rippling.tables;
  const TZOWaterTable& water = rippling.water;
  ASSERT_TRUE(water.HasRipple());
  const struct {
    int w, h, cx, cy, phase, level;
  } cases[] = {{640, 480, 320, 240, 8, 31}, {640, 480, 320, 240, 200, 5}, {100, 60, 30, 50, 64, 17},
               {320, 240, 0, 0, 3, 31},     {7, 5, 7, 5, 0, 40}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " centre " << c.cx << "," << c.cy);
    std::vector<std::uint32_t> src(c.w * c.h);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) src[y * c.w + x] = Code(3, x, y);
    const std::vector<std::uint32_t> expected =
        tables.Ripple(src, c.w, c.h, c.cx, c.cy, c.phase, std::min(c.level, 31));
    for (int bytes : {3, 4}) {
      const int pitch = c.w * bytes + 8;  // rows with a gap after them
      std::vector<unsigned char> in(pitch * c.h), out(pitch * c.h, 0xEE);
      for (int i = 0; i < c.w * c.h; ++i) std::memcpy(&in[i / c.w * pitch + i % c.w * bytes], &src[i], bytes);
      const auto draw = bytes == 3 ? &TZOWaterTable::Draw24 : &TZOWaterTable::Draw32;
      (water.*draw)(in.data(), c.w, c.h, c.cx, c.cy, pitch, out.data(), pitch, c.phase, c.level);
      int wrong = 0;
      for (int i = 0; i < c.w * c.h; ++i) {
        std::uint32_t v = 0;
        std::memcpy(&v, &out[i / c.w * pitch + i % c.w * bytes], bytes);
        wrong += (v & 0xFFFFFF) != expected[i];
      }
      EXPECT_EQ(wrong, 0) << bytes << " bytes";
      EXPECT_EQ(out[pitch - 1], 0xEE) << "the gap after a row is not written";
    }
  }
}

TEST(EffectWater, TheKernelRefusesACentreTheQuadrantTableCannotCover) {
  TZOWaterTable water;
  std::vector<unsigned char> in(700 * 500 * 4, 1), out(700 * 500 * 4, 9);
  water.Draw32(in.data(), 640, 480, 320, 240, 640 * 4, out.data(), 640 * 4, 0, 1);  // not loaded
  water.Load(nullptr);
  const struct {
    int w, h, cx, cy;
  } refused[] = {{640, 480, 319, 240}, {640, 480, 321, 240}, {640, 480, 320, 239}, {640, 480, 320, 241},
                 {700, 480, 350, 240}, {640, 480, -1, 240},  {0, 480, 0, 240}};
  for (const auto& c : refused)
    water.Draw32(in.data(), c.w, c.h, c.cx, c.cy, 700 * 4, out.data(), 700 * 4, 0, 31);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](unsigned char v) { return v == 9; }));
}

TEST(EffectWater, MissingShortOrBadTablesMoveNothing) {
  const WaterTables good = WaterTables::Irregular();
  WaterTables wideWave = good;
  wideWave.sine[77] = 255;  // one past a multiplier row
  const struct {
    const char* what;
    std::function<void(ResourceFolder&)> damage;
    bool ripples;
  } cases[] = {
      {"whole", [](ResourceFolder&) {}, true},
      {"longer files", [&](ResourceFolder& f) { f.Write("WaterSinTbl.bin", good.SineBytes() + "xyz"); }, true},
      {"no distances", [](ResourceFolder& f) { f.Remove("WaterDistTbl.bin"); }, false},
      {"no wave", [](ResourceFolder& f) { f.Remove("WaterSinTbl.bin"); }, false},
      {"no multipliers", [](ResourceFolder& f) { f.Remove("WaterMultiTbl.bin"); }, false},
      {"short distances", [&](ResourceFolder& f) { f.Write("WaterDistTbl.bin", good.DistBytes().substr(1)); }, false},
      {"short wave", [&](ResourceFolder& f) { f.Write("WaterSinTbl.bin", good.SineBytes().substr(0, 255)); }, false},
      {"short multipliers",
       [&](ResourceFolder& f) { f.Write("WaterMultiTbl.bin", good.MultiBytes().substr(0, 8159)); }, false},
      {"empty wave", [](ResourceFolder& f) { f.Write("WaterSinTbl.bin", ""); }, false},
      {"wave beyond a row", [&](ResourceFolder& f) { f.Write("WaterSinTbl.bin", wideWave.SineBytes()); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResourceFolder folder;
    good.WriteTo(folder.dir);
    c.damage(folder);
    TEffectMan effects;
    effects.Water().Load(&folder.files);
    EXPECT_TRUE(effects.Water().IsLoaded());
    EXPECT_EQ(effects.Water().HasRipple(), c.ripples);
    Picture from = Coded(1), to = Coded(2), dst = MakePicture();
    RenderWater(dst.get(), nullptr, from.get(), to.get(), 20, effects.Water());
    EXPECT_EQ(Colours(dst.get()) == Colours(from.get()), !c.ripples);
  }
  // Without a file manager the set loads and moves nothing too.
  TZOWaterTable water;
  water.Load(nullptr);
  EXPECT_TRUE(water.IsLoaded());
  EXPECT_FALSE(water.HasRipple());
}

TEST(EffectWater, ASecondLoadReadsNothingAndReleaseUnloads) {
  ResourceFolder folder;
  TZOWaterTable water;
  water.Load(&folder.files);  // nothing there yet
  WaterTables::Irregular().WriteTo(folder.dir);
  water.Load(&folder.files);
  EXPECT_FALSE(water.HasRipple());
  water.Release();
  EXPECT_FALSE(water.IsLoaded());
  water.Load(&folder.files);
  EXPECT_TRUE(water.HasRipple());
}

// The steps on tables that move nothing show the pictures themselves: the from picture, then the to picture
// blended into it in eighths, then the to picture.
TEST(EffectWater, StepsBlendTheToPictureInEighthsBetweenTheRipples) {
  const std::uint32_t a = 0xF0F0F0, b = 0x102030;
  TZOWaterTable water;
  water.Load(nullptr);
  Picture from = Uniform(a), to = Uniform(b), dst = MakePicture();
  std::uint32_t model = a;
  const int rates[] = {16, 18, 21, 26, 32, 43, 64};
  for (int s = 0; s <= 70; ++s) {
    const bool last = RenderWater(dst.get(), nullptr, from.get(), to.get(), s, water);
    EXPECT_EQ(last, s == 70);
    if (s >= 32 && s <= 38) model = MixRgb(model, b, rates[s - 32]);
    const std::uint32_t shown = s >= 39 ? b : model;
    ASSERT_EQ(At(dst.get(), 320, 240), shown) << "step " << s;
    ASSERT_EQ(At(from.get(), 0, 479), model) << "step " << s;
  }
  // Step 32 first blends at 16: 7/8 from and 1/8 to before the ripple.
  EXPECT_EQ(MixRgb(a, b, 16), 0xD4D6D8u);
  // Not loaded: the to picture at once.
  TZOWaterTable none;
  EXPECT_TRUE(RenderWater(dst.get(), nullptr, from.get(), to.get(), 5, none));
  EXPECT_EQ(At(dst.get(), 1, 1), b);
  EXPECT_FALSE(RenderWater(dst.get(), nullptr, from.get(), to.get(), 0, none));
  EXPECT_EQ(At(dst.get(), 1, 1), model);
}

TEST(EffectWater, EachStepRipplesWithItsLevelAndPhase) {
  const RipplingWater rippling;
  const WaterTables& tables = rippling.tables;
  const TZOWaterTable& water = rippling.water;
  for (VXBitDepth depth : {bd24, bd32}) {
    Picture from = Coded(1, depth), to = Coded(2, depth), dst = MakePicture(depth);
    const std::vector<std::uint32_t> original = Colours(from.get()), target = Colours(to.get());
    const struct {
      int step, level;
      bool fromSide;
    } cases[] = {{1, 1, true}, {17, 17, true}, {31, 31, true}, {39, 31, false}, {50, 20, false}, {69, 1, false}};
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "step " << c.step << " depth " << int(depth));
      RenderWater(dst.get(), nullptr, from.get(), to.get(), c.step, water);
      EXPECT_EQ(Colours(dst.get()), tables.Ripple(c.fromSide ? original : target, W, H, 320, 240, 8 * c.step,
                                                  c.level));
    }
  }
}

// ---- Kind 12: halation --------------------------------------------------------------------------------------------

namespace {

// A glare of one colour and five 9 x 7 layers, black but for their middle pixel (4, 3): layer k adds 1 << k to
// blue there, so the frame shows where each layer's middle lands.
void WriteHalation(ResourceFolder& folder, std::uint32_t glare) {
  folder.Write("HaloBack.bmp", Bmp24(W, H, [&](int, int) { return glare; }));
  for (int k = 0; k < TZOHalationImage::kLayerCount; ++k)
    folder.Write(TZOHalationImage::kLayerFiles[k],
                 Bmp24(9, 7, [&](int x, int y) { return x == 4 && y == 3 ? 1u << k : 0u; }));
}

// The frame's pixels that differ from the plain mix, as (x, y, added blue).
struct Mark {
  int x, y;
  std::uint32_t blue;
  friend bool operator==(const Mark&, const Mark&) = default;
};
std::vector<Mark> MarksOver(TZoRGBBits* dst, std::uint32_t mix) {
  std::vector<Mark> marks;
  const std::vector<std::uint32_t> got = Colours(dst);
  for (int i = 0; i < W * H; ++i)
    if (got[i] != mix) marks.push_back({i % W, i / W, got[i] - mix});
  return marks;
}

}  // namespace

TEST(EffectHalation, TheLayersGlideAlongTheDiagonalAtTheirSpeeds) {
  ResourceFolder folder;
  WriteHalation(folder, 0x102030);
  TZOHalationImage halo;
  halo.Load(&folder.files, bd32);
  ASSERT_TRUE(halo.IsLoaded());
  const std::uint32_t a = 0x000000, b = 0x404040;
  for (int s : {5, 6, 20, 36}) {
    SCOPED_TRACE(s);
    Picture from = Uniform(a), to = Uniform(b), dst = MakePicture();
    EXPECT_FALSE(RenderHalation(dst.get(), nullptr, from.get(), to.get(), s, halo));
    std::vector<Mark> expected;
    for (int k = 0; k < TZOHalationImage::kLayerCount; ++k) {
      const int travel = TZOHalationImage::kLayerSpeeds[k] * (s - 5) / 32;
      expected.push_back({travel * 4 / 3, travel, 1u << k});
    }
    // Layers whose middles meet add up there.
    std::sort(expected.begin(), expected.end(), [](const Mark& l, const Mark& r) {
      return l.y != r.y ? l.y < r.y : l.x < r.x;
    });
    std::vector<Mark> merged;
    for (const Mark& m : expected) {
      if (!merged.empty() && merged.back().x == m.x && merged.back().y == m.y) merged.back().blue += m.blue;
      else merged.push_back(m);
    }
    EXPECT_EQ(MarksOver(dst.get(), MixRgb(a, b, 4 * s - 20)), merged);
  }
  // Step 5: every middle on the top-left corner.
  Picture from = Uniform(a), to = Uniform(b), dst = MakePicture();
  RenderHalation(dst.get(), nullptr, from.get(), to.get(), 5, halo);
  EXPECT_EQ(At(dst.get(), 0, 0), 0x1Fu);
}

TEST(EffectHalation, TheFirstStepsHalveTheOldPictureAddTheGlareAndFadeToItInQuarters) {
  ResourceFolder folder;
  WriteHalation(folder, 0x102030);
  const std::uint32_t a = 0x80A0FF, b = 0x000000;
  Started run(ekHalation, a, b);
  run.effects.Halo().Load(&folder.files, bd32);
  const std::uint32_t glared = AddRgb(0x40507F, 0x102030);
  std::uint32_t shown = a;
  const int rates[] = {32, 43, 64, 128};
  for (int s = 1; s <= 4; ++s) {
    run.Next();
    shown = MixRgb(shown, glared, rates[s - 1]);
    EXPECT_EQ(At(run.dst.get(), 600, 400), shown) << "step " << s;
    EXPECT_EQ(At(run.from.get(), 600, 400), glared) << "step " << s;
  }
  EXPECT_EQ(shown, glared);
  RunToEnd(run.effects, run.dst.get(), 1);
  EXPECT_EQ(At(run.dst.get(), 600, 400), b);
}

TEST(EffectHalation, MissingPicturesAreLeftOutAndBadOnesRefuseTheSet) {
  {
    // No glare and no third layer: the frames are drawn without them.
    ResourceFolder folder;
    WriteHalation(folder, 0x102030);
    folder.Remove("HaloBack.bmp");
    folder.Remove(TZOHalationImage::kLayerFiles[2]);
    TZOHalationImage halo;
    halo.Load(&folder.files, bd32);
    ASSERT_TRUE(halo.IsLoaded());
    EXPECT_FALSE(halo.GetBack()->IsCreated());
    EXPECT_FALSE(halo.GetLayer(2)->IsCreated());
    EXPECT_TRUE(halo.GetLayer(1)->IsCreated());
    EXPECT_EQ(halo.GetLayer(5), nullptr);
    Picture from = Uniform(0x808080), to = Uniform(0), dst = MakePicture();
    RenderHalation(dst.get(), nullptr, from.get(), to.get(), 1, halo);
    EXPECT_EQ(At(from.get(), 9, 9), 0x404040u);  // halved, nothing added
    RenderHalation(dst.get(), nullptr, from.get(), to.get(), 5, halo);
    EXPECT_EQ(At(dst.get(), 0, 0), AddRgb(0x404040, 0x1B));  // every layer but the third
  }
  {
    // Nothing at all: loaded, and the transition still runs to its end.
    TEffectMan effects;
    effects.Halo().Load(nullptr, bd24);
    Picture from = Uniform(0x808080, bd24), to = Uniform(0x102030, bd24), dst = MakePicture(bd24);
    ASSERT_TRUE(effects.Start(ekHalation, from.get(), to.get()));
    EXPECT_EQ(RunToEnd(effects, dst.get(), 1).calls, 38);
    EXPECT_EQ(At(dst.get(), 1, 1), 0x102030u);
  }
  const struct {
    const char* what;
    const char* file;
    std::string bytes;
  } bad[] = {{"a truncated glare", "HaloBack.bmp", Bmp24(W, H, [](int, int) { return 0x10u; }).substr(0, 5000)},
             {"a layer that is no picture", "HaloGreen.bmp", "BM not a picture"},
             {"an empty layer", "HaloBlueB.bmp", ""}};
  for (const auto& c : bad) {
    SCOPED_TRACE(c.what);
    ResourceFolder folder;
    WriteHalation(folder, 0x102030);
    TZOHalationImage halo;
    halo.Load(&folder.files, bd32);
    folder.Write(c.file, c.bytes);
    EXPECT_THROW(halo.Load(&folder.files, bd32), EGameErr);
    EXPECT_FALSE(halo.IsLoaded());
    EXPECT_EQ(halo.GetBack(), nullptr);
    EXPECT_EQ(halo.GetLayer(0), nullptr);
  }
  // Not loaded: the to picture at once, after the from picture.
  TZOHalationImage none;
  Picture from = Uniform(0x808080), to = Uniform(0x102030), dst = MakePicture();
  EXPECT_FALSE(RenderHalation(dst.get(), nullptr, from.get(), to.get(), 0, none));
  EXPECT_EQ(At(dst.get(), 1, 1), 0x808080u);
  EXPECT_TRUE(RenderHalation(dst.get(), nullptr, from.get(), to.get(), 3, none));
  EXPECT_EQ(At(dst.get(), 1, 1), 0x102030u);
}

// ---- Kinds 13 and 14: masks ---------------------------------------------------------------------------------------

TEST(EffectMask, WeightsFollowTheMaskAndTheLevel) {
  ResourceFolder folder;
  folder.Write("Flat.bmp", GreyMaskBmp(W, H, [](int, int) { return 128; }));
  TZOFadeAlphaMask mask;
  mask.Load(&folder.files, "Flat.bmp");
  ASSERT_TRUE(mask.IsLoaded());
  // The plain plane kernel: weight w takes (w + 1) / 2 128ths of the to picture.
  Picture from = Uniform(0), to = Uniform(0xFEFEFE), dst = MakePicture();
  dst->SetMMX(false);
  const struct {
    int v;
    int weight;
  } soft[] = {{16, 0}, {127, 0}, {128, 1}, {200, 73}, {256, 128}, {384, 255}, {500, 255}};
  for (const auto& c : soft) {
    EXPECT_FALSE(RenderMask(dst.get(), nullptr, from.get(), to.get(), c.v, mask));
    const std::uint32_t level = static_cast<std::uint32_t>(254 * ((c.weight + 1) >> 1) >> 7);
    EXPECT_EQ(At(dst.get(), 321, 123), level * 0x010101u) << "v " << c.v;
  }
  EXPECT_TRUE(RenderMask(dst.get(), nullptr, from.get(), to.get(), 511, mask));
  EXPECT_EQ(At(dst.get(), 0, 0), 0xFEFEFEu);

  // The edge: 0 while m + v < 240, (m + v - 240) x 17 up to 255.
  folder.Write("Ramp.bmp", GreyMaskBmp(W, H, [](int x, int) { return x % 256; }));
  mask.Load(&folder.files, "Ramp.bmp");
  EXPECT_FALSE(RenderMaskEdge(dst.get(), nullptr, from.get(), to.get(), 120, mask));
  const struct {
    int m, weight;
  } edge[] = {{0, 0}, {119, 0}, {120, 0}, {127, 119}, {134, 238}, {135, 255}, {255, 255}};
  for (const auto& c : edge) EXPECT_EQ(mask.GetWork()->PGet(c.m, 7), c.weight) << "m " << c.m;
  EXPECT_TRUE(RenderMaskEdge(dst.get(), nullptr, from.get(), to.get(), 255, mask));
}

TEST(EffectMask, TheManagerHandsProgressTimesSixteenOrEight) {
  ResourceFolder folder;
  folder.Write("Flat.bmp", GreyMaskBmp(W, H, [](int, int) { return 128; }));
  TEffectMan effects;
  effects.Mask().Load(&folder.files, "Flat.bmp");
  Picture from = Uniform(0), to = Uniform(0xFEFEFE), dst = MakePicture();
  dst->SetMMX(false);
  const struct {
    int kind;
    std::function<int(int progress)> weight;
  } kinds[] = {
      {ekMask,
       [](int p) {
         const int v = 16 * p;
         return v < 255 ? std::max(0, 128 + v - 255) : v <= 256 ? 128 : std::min(255, 128 + v - 256);
       }},
      {ekMaskEdge, [](int p) { return 128 + 8 * p >= 240 ? std::min(255, (128 + 8 * p - 240) * 17) : 0; }},
  };
  for (const auto& k : kinds) {
    ASSERT_TRUE(effects.Start(k.kind, from.get(), to.get()));
    effects.Draw(dst.get(), nullptr);
    EXPECT_EQ(At(dst.get(), 5, 5), 0u);
    for (int p = 1; p < 32; ++p) {
      effects.Advance(1);
      effects.Draw(dst.get(), nullptr);
      const std::uint32_t level = static_cast<std::uint32_t>(254 * ((k.weight(p) + 1) >> 1) >> 7);
      ASSERT_EQ(At(dst.get(), 5, 5), level * 0x010101u) << "kind " << k.kind << " progress " << p;
    }
    effects.Advance(1);
    effects.Draw(dst.get(), nullptr);
    EXPECT_TRUE(effects.IsDone());
    EXPECT_EQ(At(dst.get(), 5, 5), 0xFEFEFEu);
  }
}

TEST(EffectMask, AMaskOfAnotherSizeIsStretchedOverTheScreen) {
  ResourceFolder folder;
  const struct {
    int w, h;
  } sizes[] = {{64, 48}, {1, 1}, {700, 500}, {640, 100}};
  for (const auto& s : sizes) {
    SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
    auto level = [](int x, int y) { return (x * 7 + y * 13) % 256; };
    folder.Write("Odd.bmp", GreyMaskBmp(s.w, s.h, level));
    TEffectMan effects;
    effects.Mask().Load(&folder.files, "Odd.bmp");
    const TZoAlpha* plane = effects.Mask().GetMask();
    ASSERT_EQ(plane->GetWidth(), W);
    ASSERT_EQ(plane->GetHeight(), H);
    ASSERT_EQ(effects.Mask().GetWork()->GetWidth(), W);
    if (s.w <= W && s.h <= H) {
      int wrong = 0;
      for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) wrong += plane->PGet(x, y) != level(x * s.w / W, y * s.h / H);
      EXPECT_EQ(wrong, 0);
    }
    // Every frame of both kinds reads the planes over the whole screen.
    for (int kind : {ekMask, ekMaskEdge}) {
      Picture from = Uniform(0x0000FF), to = Uniform(0xFF0000), dst = MakePicture();
      ASSERT_TRUE(effects.Start(kind, from.get(), to.get()));
      EXPECT_EQ(RunToEnd(effects, dst.get(), 1).calls, 33);
      EXPECT_EQ(At(dst.get(), 639, 479), 0xFF0000u);
    }
  }
}

TEST(EffectMask, AMissingOrUnreadableMaskThrowsAndLeavesNoPlanes) {
  ResourceFolder folder;
  const std::string good = GreyMaskBmp(W, H, [](int x, int) { return x % 256; });
  folder.Write("Good.bmp", good);
  folder.Write("Short.bmp", good.substr(0, good.size() / 2));
  folder.Write("Colour.bmp", Bmp24(4, 4, [](int, int) { return 0x808080u; }));
  folder.Write("Empty.bmp", "");
  for (const char* name : {"Nowhere.bmp", "Short.bmp", "Colour.bmp", "Empty.bmp"}) {
    SCOPED_TRACE(name);
    TZOFadeAlphaMask mask;
    mask.Load(&folder.files, "Good.bmp");
    ASSERT_TRUE(mask.IsLoaded());
    EXPECT_THROW(mask.Load(&folder.files, name), EGameErr);
    EXPECT_FALSE(mask.IsLoaded());
    EXPECT_EQ(mask.GetMask(), nullptr);
    EXPECT_EQ(mask.GetWork(), nullptr);
    mask.SSub(3);  // nothing to do, nothing touched
  }
  TZOFadeAlphaMask none;
  EXPECT_THROW(none.Load(nullptr, "Good.bmp"), EGameErr);
  // A transition over an unloaded mask shows the from picture, then ends on the to picture.
  TEffectMan effects;
  Picture from = Uniform(0x0000FF), to = Uniform(0xFF0000), dst = MakePicture();
  ASSERT_TRUE(effects.Start(ekMaskEdge, from.get(), to.get()));
  EXPECT_EQ(RunToEnd(effects, dst.get(), 1).calls, 2);
  EXPECT_EQ(At(dst.get(), 0, 0), 0xFF0000u);
}

// ---- Screen pictures ----------------------------------------------------------------------------------------------

namespace {

// What a registry still held when it went.
struct KeptCount {
  int count = 0;
  void Kept(VXMemMan*, VXMemPointer) { ++count; }
};

// Game services whose working depth changes from one question to the next.
class ChangingDepth : public TLocalGameServices {
public:
  ChangingDepth(std::vector<VXBitDepth> depths, KeptCount* kept = nullptr)
      : TLocalGameServices(nullptr, nullptr, bd32), depths_(std::move(depths)) {
    if (kept != nullptr)
      GetMemMan().OnNotRelease = VXCallback2<KeptCount, void, VXMemMan*, VXMemPointer>(kept, &KeptCount::Kept);
    SetGameServices(this);
  }
  ~ChangingDepth() override { SetGameServices(nullptr); }
  VXBitDepth GetWorkingBitDepth() const override { return depths_[std::min(asked_++, depths_.size() - 1)]; }

private:
  std::vector<VXBitDepth> depths_;
  mutable std::size_t asked_ = 0;
};

}  // namespace

TEST(ScreenBits, AreScreenPicturesInTheWorkingDepth) {
  for (VXBitDepth depth : {bd24, bd32}) {
    Installed game(depth);
    TZoRGBBits* bits = CreateScreenBits();
    ASSERT_NE(bits, nullptr);
    EXPECT_TRUE(bits->IsCreated());
    EXPECT_EQ(bits->GetWidth(), W);
    EXPECT_EQ(bits->GetHeight(), H);
    EXPECT_EQ(bits->GetBitDepth(), depth);
    EXPECT_EQ(bits->GetOwner(), nullptr);
    DeleteScreenBits(bits);
    EXPECT_EQ(bits, nullptr);
    DeleteScreenBits(bits);  // null: nothing
  }
  EXPECT_THROW(CreateScreenBits(), EGameErr);  // no game services
  for (VXBitDepth depth : {bd16, bd8, bdNone}) {
    ChangingDepth game({depth});
    EXPECT_THROW(CreateScreenBits(), EGameErr) << int(depth);
  }
}

TEST(ScreenBits, APairIsMadeWholeOrNotAtAll) {
  KeptCount kept;
  {
    ChangingDepth game({bd32, bd16}, &kept);
    TZoRGBBits* from = reinterpret_cast<TZoRGBBits*>(1);
    TZoRGBBits* to = reinterpret_cast<TZoRGBBits*>(1);
    EXPECT_THROW(CreateScreenBitsPair(&from, &to), EGameErr);
    EXPECT_EQ(from, nullptr);
    EXPECT_EQ(to, nullptr);
  }
  EXPECT_EQ(kept.count, 0) << "the first picture was left behind";
  {
    ChangingDepth game({bd24}, &kept);
    TZoRGBBits *from = nullptr, *to = nullptr;
    CreateScreenBitsPair(&from, &to);
    ASSERT_NE(from, nullptr);
    ASSERT_NE(to, nullptr);
    EXPECT_NE(from, to);
    TEffectMan effects;
    EXPECT_TRUE(effects.Start(ekCrossFade, from, to));
    DeleteScreenBits(from);
    DeleteScreenBits(to);
  }
  EXPECT_EQ(kept.count, 0);
}

// ---- The demo game's transition data ------------------------------------------------------------------------------

TEST(EffectDemoData, EveryResourceKindRunsOnTheDemoGameInBothDataModes) {
  Installed game(bd32);
  for (bool pack : {true, false}) {
    SCOPED_TRACE(pack ? "pack" : "folder");
    VXFileMan files;
    if (pack) ASSERT_TRUE(files.InitPack((std::string(QORM_DEMO_GAME_DIR) + "/Game.pak").c_str()));
    else files.InitDir((std::string(QORM_DEMO_FOLDER_DIR) + "/Game_Pak").c_str());
    TZoRGBBits *night = nullptr, *dawn = nullptr;
    ASSERT_TRUE(LoadImageFile(&night, nullptr, &files, "DemoSceneNight.png"));
    ASSERT_TRUE(LoadImageFile(&dawn, nullptr, &files, "DemoSceneDawn.png"));
    TEffectMan effects;
    effects.Water().Load(&files);
    EXPECT_TRUE(effects.Water().HasRipple());
    effects.Halo().Load(&files, bd32);
    for (int k = 0; k < TZOHalationImage::kLayerCount; ++k) EXPECT_TRUE(effects.Halo().GetLayer(k)->IsCreated());
    effects.Mask().Load(&files, "FadeMask07_Swirl.bmp");
    const std::vector<std::uint32_t> dawnColours = Colours(dawn);
    for (int kind = ekCrossFade; kind <= ekMaskEdge; ++kind) {
      SCOPED_TRACE(kind);
      TZoRGBBits *from = nullptr, *to = nullptr;
      CreateScreenBitsPair(&from, &to);
      from->Draw(0, 0, night, 0, 0, W, H);
      to->Draw(0, 0, dawn, 0, 0, W, H);
      Picture dst = MakePicture();
      ASSERT_TRUE(effects.Start(kind, from, to));
      effects.Draw(dst.get(), nullptr);
      for (int frame = 0; frame < 10; ++frame) {
        effects.Advance(1);
        effects.Draw(dst.get(), nullptr);
      }
      const std::vector<std::uint32_t> middle = Colours(dst.get());
      EXPECT_NE(middle, Colours(night));
      EXPECT_NE(middle, dawnColours);
      RunToEnd(effects, dst.get(), 3);
      EXPECT_TRUE(effects.IsDone());
      EXPECT_EQ(Colours(dst.get()), dawnColours);
      DeleteScreenBits(from);
      DeleteScreenBits(to);
      effects.Clear();
    }
    TGameServices* services = GameServices();
    services->GetMemMan().Delete(night);
    services->GetMemMan().Delete(dawn);
  }
}
