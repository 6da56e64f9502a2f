#include "shell/gamefunc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "core/vxstrlist.h"
#include "device/gameservices.h"
#include "graphics/vxgny.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbparts.h"
#include "support/pictures.h"
#include "support/tempdir.h"

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's heap hooks (GCC ships no header for them).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
#endif

namespace {

using Bytes = std::vector<unsigned char>;

// The game services every picture is made through, installed for the test's length.
class Installed {
public:
  explicit Installed(VXBitDepth depth = bd32) : services_(nullptr, nullptr, depth) { SetGameServices(&services_); }
  ~Installed() { SetGameServices(nullptr); }
  VXMemMan& Mem() { return services_.GetMemMan(); }

private:
  TLocalGameServices services_;
};

// 0x00RRGGBB of pixel (x, y).
std::uint32_t Colour(TZoRGBBits* bits, int x, int y) { return bits->PGet(x, y) & 0xFFFFFF; }

std::string RgbaPng(int w, int h, const std::vector<std::uint32_t>& argb) {
  pictures::PngSpec spec{w, h, PNG_COLOR_TYPE_RGBA, 8, false, {}, {}};
  for (std::uint32_t c : argb)
    spec.rows.insert(spec.rows.end(),
                     {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), std::uint8_t(c >> 24)});
  return pictures::MakePng(spec);
}

std::string RgbPng(int w, int h, const std::vector<std::uint32_t>& rgb) {
  pictures::PngSpec spec{w, h, PNG_COLOR_TYPE_RGB, 8, false, {}, {}};
  for (std::uint32_t c : rgb)
    spec.rows.insert(spec.rows.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
  return pictures::MakePng(spec);
}

std::string Bmp24(int w, int h, const std::vector<std::uint32_t>& rgb) {
  return pictures::MakeBmp({w, h, 24, 0, 0, 40, 0, {}, pictures::Rows24(w, h, rgb)});
}

// A folder of pictures behind a file manager.
class PictureFolder {
public:
  PictureFolder() {
    dir_.Write("Alpha.png", RgbaPng(2, 2, {0xFF102030, 0x80405060, 0x00708090, 0xFFA0B0C0}));
    dir_.Write("Plain.PNG", RgbPng(2, 1, {0x112233, 0x445566}));
    dir_.Write("Plain.bmp", Bmp24(3, 2, {1, 2, 3, 4, 5, 6}));
    dir_.Write("bg.old.jpg", pictures::MakeJpeg({4, 2, 3, false, Bytes(4 * 2 * 3, 128)}));
    dir_.Write("Scrambled.lzh", pictures::MakeGny(2, 1, {0xABCDEF, 0x010203}));
    dir_.Write("BmpInside.gif", Bmp24(1, 1, {7}));
    dir_.Write("Broken.png", "\x89PNG broken");
    files.InitDir(dir_.str().c_str());
  }
  void Write(const std::string& name, const std::string& bytes) { dir_.Write(name, bytes); }

  VXFileMan files;

private:
  TempDir dir_;
};

}  // namespace

// ---- Pictures for screens -------------------------------------------------------------------------------------

TEST(ImageKind, ComesFromTheTextAfterTheLastDot) {
  const struct {
    const char* name;
    int kind;
  } cases[] = {{"a.bmp", ikBmp}, {"a.Png", ikPng},   {"a.PNG", ikPng},         {"bg.old.jpg", ikJpeg},
               {"a.lzh", ikGny}, {"a.jpeg", ikNone}, {"a.gif", ikNone},        {"noext", ikNone},
               {"dot.", ikNone}, {"", ikNone},       {"dir.png\\pic", ikNone}, {".png", ikPng}};
  for (const auto& c : cases) EXPECT_EQ(GetImageKind(c.name), c.kind) << c.name;
}

TEST(PanelImage, LoadsEveryKindInTheWorkingDepth) {
  for (VXBitDepth depth : {bd24, bd32}) {
    Installed game(depth);
    PictureFolder folder;
    const struct {
      const char* name;
      int width, height;
      bool plane;
      std::uint32_t topLeft;
    } cases[] = {{"alpha.PNG", 2, 2, true, 0x102030},
                 {"Plain.png", 2, 1, false, 0x112233},
                 {"Plain.bmp", 3, 2, false, 0x000001},
                 {"bg.old.jpg", 4, 2, false, 0},
                 {"Scrambled.LZH", 2, 1, false, 0xABCDEF}};
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      TZoRGBPanel panel(nullptr);
      ASSERT_TRUE(LoadPanelImage(&panel, &folder.files, c.name));
      TZoRGBBits* image = panel.GetImage();
      ASSERT_NE(image, nullptr);
      EXPECT_EQ(image->GetBitDepth(), depth);
      EXPECT_EQ(image->GetWidth(), c.width);
      EXPECT_EQ(image->GetHeight(), c.height);
      EXPECT_EQ(panel.GetMaskMode(), c.plane ? mmAlpha : mmOpaque);
      ASSERT_EQ(panel.GetAlpha() != nullptr, c.plane);
      if (c.topLeft != 0) {
        EXPECT_EQ(Colour(image, 0, 0), c.topLeft);
      }
      if (c.plane) {
        EXPECT_EQ(panel.GetAlpha()->PGet(0, 0), 0xFF);
        EXPECT_EQ(panel.GetAlpha()->PGet(1, 0), 0x80);
        EXPECT_EQ(panel.GetAlpha()->PGet(0, 1), 0x00);
      }
      ReleasePanelImage(&panel);
      EXPECT_EQ(panel.GetImage(), nullptr);
      EXPECT_EQ(panel.GetAlpha(), nullptr);
    }
  }
}

// A refused or failed load leaves the panel's picture in place and keeps nothing it made (the leak check sees it).
TEST(PanelImage, FailuresLeaveThePanelAsItWas) {
  Installed game;
  PictureFolder folder;
  TZoRGBPanel panel(nullptr);
  ASSERT_TRUE(LoadPanelImage(&panel, &folder.files, "Alpha.png"));
  TZoRGBBits* image = panel.GetImage();
  TZoAlpha* alpha = panel.GetAlpha();
  for (const char* name : {"Missing.png", "Broken.png", "BmpInside.gif", "Alpha", "Alpha.", "Plain.bmp.x"}) {
    EXPECT_FALSE(LoadPanelImage(&panel, &folder.files, name)) << name;
    EXPECT_EQ(panel.GetImage(), image) << name;
    EXPECT_EQ(panel.GetAlpha(), alpha) << name;
    EXPECT_EQ(panel.GetMaskMode(), mmAlpha) << name;
  }
  EXPECT_FALSE(LoadPanelImage(&panel, nullptr, "Plain.bmp"));
  EXPECT_FALSE(LoadPanelImage(nullptr, &folder.files, "Plain.bmp"));
  ReleasePanelImage(&panel);
}

TEST(PanelImage, NothingIsMadeWithoutGameServices) {
  PictureFolder folder;
  TZoRGBPanel panel(nullptr);
  EXPECT_FALSE(LoadPanelImage(&panel, &folder.files, "Plain.bmp"));
  EXPECT_FALSE(CreatePanelImage(&panel, 4, 4, mmAlpha));
  EXPECT_EQ(ExpandBracketPattern("a"), nullptr);
  ReleasePanelImage(&panel);
  EXPECT_EQ(panel.GetImage(), nullptr);
}

TEST(ImageStream, AFailedLoadNullsTheCallersPointersAndKeepsNothing) {
  Installed game;
  auto* junkBits = reinterpret_cast<TZoRGBBits*>(0x10);
  auto* junkAlpha = reinterpret_cast<TZoAlpha*>(0x20);
  const std::string rgba = RgbaPng(2, 2, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000});
  const struct {
    std::string bytes;
    int kind;
  } cases[] = {{rgba.substr(0, rgba.size() - 30), ikPng},  // alpha plane made, then the data ends
               {"BM", ikBmp},
               {rgba, ikBmp},  // the wrong decoder
               {rgba, ikNone}};
  for (const auto& c : cases) {
    pictures::Bytes in(c.bytes);
    TZoRGBBits* bits = junkBits;
    TZoAlpha* alpha = junkAlpha;
    EXPECT_FALSE(LoadImageStream(&bits, &alpha, c.kind, &in.stream)) << c.kind;
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(alpha, nullptr);
  }
  EXPECT_FALSE(LoadImageStream(nullptr, nullptr, ikPng, nullptr));
}

namespace {

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int i = 0; i < 8; ++i) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

// A PNG whose header claims w x h, with a valid header checksum and a tiny picture's data after it.
std::string PngClaiming(std::uint32_t w, std::uint32_t h) {
  std::string png = RgbaPng(1, 1, {0xFF000000});
  std::string sides;
  for (std::uint32_t v : {w, h})
    for (int i = 3; i >= 0; --i) sides.push_back(static_cast<char>(v >> (8 * i)));
  png.replace(16, 8, sides);
  const std::uint32_t crc = Crc32(png.substr(12, 17));
  for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<char>(crc >> (8 * (3 - i)));
  return png;
}

#if defined(__SANITIZE_ADDRESS__)
std::atomic<std::size_t> largestAllocation{0};
void NoteAllocation(const volatile void*, std::size_t size) {
  std::size_t seen = largestAllocation.load();
  while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
  }
}
void NoteFree(const volatile void*) {}
#endif

}  // namespace

// Mended: a PNG header may claim up to 16384 x 16384 pixels in a few bytes, and the reader made its buffers for
// them (up to 2 GiB) before finding the data short. Every kind is refused before anything that large is allocated
// (the allocation check runs in the sanitizer build, which can watch the heap).
TEST(ImageStream, HeadersClaimingHugeSizesAreRefusedBeforeAllocating) {
  Installed game;
  std::string bmp = Bmp24(1, 1, {0});
  bmp.replace(18, 8, std::string("\x80\x3E\x00\x00\x80\x3E\x00\x00", 8));  // 16000 x 16000
  std::string gny("\x80\x3E\x00\x00\x80\x3E\x00\x00", 8);
  XorGnyBuffer(reinterpret_cast<unsigned char*>(gny.data()), 8, GnyKey(0), 0);
  const struct {
    std::string bytes;
    int kind;
  } cases[] = {{PngClaiming(16000, 16000), ikPng}, {PngClaiming(20000, 1), ikPng}, {bmp, ikBmp}, {gny, ikGny}};
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree);
#endif
  for (const auto& c : cases) {
    pictures::Bytes in(c.bytes);
    TZoRGBBits* bits = nullptr;
    TZoAlpha* alpha = nullptr;
    EXPECT_FALSE(LoadImageStream(&bits, &alpha, c.kind, &in.stream)) << c.kind;
    EXPECT_EQ(bits, nullptr);
  }
#if defined(__SANITIZE_ADDRESS__)
  __sanitizer_install_malloc_and_free_hooks(nullptr, nullptr);
  EXPECT_LT(largestAllocation.load(), std::size_t{1} << 20);
#endif
  pictures::Bytes small(PngClaiming(1, 1));
  TZoRGBBits* bits = nullptr;
  EXPECT_TRUE(LoadImageStream(&bits, nullptr, ikPng, &small.stream)) << "the checksum fix-up keeps a PNG readable";
  game.Mem().Delete(bits);
}

TEST(ImageStream, GnyPicturesUseTheSelectedKey) {
  Installed game;
  const unsigned char* builtIn = SelectedGnyKey();
  ASSERT_EQ(builtIn, GnyKey(0));
  SelectGnyKey(7);
  EXPECT_EQ(SelectedGnyKey(), builtIn) << "an unknown index changes nothing";
  SelectGnyKey(1);
  EXPECT_EQ(SelectedGnyKey(), builtIn);
  pictures::Bytes in(pictures::MakeGny(1, 1, {0x123456}));
  TZoRGBBits* bits = nullptr;
  ASSERT_TRUE(LoadImageStream(&bits, nullptr, ikGny, &in.stream));
  EXPECT_EQ(Colour(bits, 0, 0), 0x123456u);
  game.Mem().Delete(bits);
}

TEST(ImageFile, DrawsIntoAnExistingPictureAndPlaneAtAnOffset) {
  Installed game;
  PictureFolder folder;
  TZoRGBBits bits(nullptr);
  bits.SetBitDepth(bd32);
  bits.Resize(4, 4);
  ASSERT_TRUE(bits.Create());
  TZoAlpha plane(nullptr);
  plane.Resize(4, 4);
  ASSERT_TRUE(plane.Create());
  plane.Fill(9);
  ASSERT_TRUE(DrawImageFile(&bits, &plane, 2, 1, &folder.files, "Alpha.png"));
  EXPECT_EQ(Colour(&bits, 2, 1), 0x102030u);
  EXPECT_EQ(Colour(&bits, 3, 2), 0xA0B0C0u);
  EXPECT_EQ(Colour(&bits, 1, 1), 0u);
  EXPECT_EQ(plane.PGet(3, 1), 0x80);
  EXPECT_EQ(plane.PGet(1, 1), 9);
  ASSERT_TRUE(DrawImageFile(&bits, nullptr, 0, 0, &folder.files, "Plain.PNG"));
  EXPECT_EQ(Colour(&bits, 1, 0), 0x445566u);
  for (const char* name : {"Missing.png", "Broken.png", "Alpha.gif"})
    EXPECT_FALSE(DrawImageFile(&bits, nullptr, 0, 0, &folder.files, name)) << name;
  EXPECT_FALSE(DrawImageFile(nullptr, nullptr, 0, 0, &folder.files, "Plain.PNG"));
}

TEST(CreatePanelImage, MakesABlankPictureAndAPlaneOnlyForAlpha) {
  Installed game(bd24);
  const struct {
    int width, height;
    TMaskMode mode;
    bool ok;
  } cases[] = {{8, 6, mmOpaque, true},
               {8, 6, mmAlpha, true},
               {8, 6, mmColorKey, true},
               {0, 6, mmAlpha, false},
               {8, -1, mmOpaque, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " mode " << int(c.mode));
    TZoRGBPanel panel(nullptr);
    panel.SetMaskMode(mmHitOnly);
    ASSERT_EQ(CreatePanelImage(&panel, c.width, c.height, c.mode), c.ok);
    if (!c.ok) {
      EXPECT_EQ(panel.GetImage(), nullptr);
      EXPECT_EQ(panel.GetMaskMode(), mmHitOnly);
      continue;
    }
    ASSERT_NE(panel.GetImage(), nullptr);
    EXPECT_TRUE(panel.GetImage()->IsCreated());
    EXPECT_EQ(panel.GetImage()->GetBitDepth(), bd24);
    EXPECT_EQ(panel.GetImage()->GetWidth(), c.width);
    EXPECT_EQ(panel.GetMaskMode(), c.mode);
    ASSERT_EQ(panel.GetAlpha() != nullptr, c.mode == mmAlpha);
    if (c.mode == mmAlpha) {
      EXPECT_EQ(panel.GetAlpha()->GetHeight(), c.height);
    }
    ReleasePanelImage(&panel);
  }
  TZoRGBPanel own(nullptr);
  own.SetSizeX(5);
  own.SetSizeY(3);
  ASSERT_TRUE(CreatePanelImageOwnSize(&own, mmOpaque));
  EXPECT_EQ(own.GetImage()->GetWidth(), 5);
  EXPECT_EQ(own.GetImage()->GetHeight(), 3);
  ReleasePanelImage(&own);
}

// Mended: two panels sharing one picture may both be released (in either order) without freeing it twice, and the
// one left behind never points at a freed picture.
TEST(SharePanelImage, BothPanelsMayBeReleased) {
  Installed game;
  PictureFolder folder;
  for (bool sourceFirst : {true, false}) {
    TZoRGBPanel src(nullptr), dst(nullptr);
    ASSERT_TRUE(LoadPanelImage(&src, &folder.files, "Alpha.png"));
    SharePanelImage(&dst, &src);
    EXPECT_EQ(dst.GetImage(), src.GetImage());
    EXPECT_EQ(dst.GetAlpha(), src.GetAlpha());
    EXPECT_EQ(dst.GetMaskMode(), mmAlpha);
    TZoRGBPanel& first = sourceFirst ? src : dst;
    TZoRGBPanel& second = sourceFirst ? dst : src;
    ReleasePanelImage(&first);
    EXPECT_EQ(second.GetImage(), nullptr);
    EXPECT_EQ(second.GetAlpha(), nullptr);
    ReleasePanelImage(&second);
  }
}

TEST(PartsFile, CutsTheSheetAndPlacesPartsOnPanels) {
  Installed game;
  PictureFolder folder;
  std::vector<std::uint32_t> sheet(4 * 6);
  for (std::size_t i = 0; i < sheet.size(); ++i) sheet[i] = 0xFF000000u | static_cast<std::uint32_t>(i);
  folder.Write("Sheet.png", RgbaPng(4, 6, sheet));
  folder.Write("Sheet.bmp", Bmp24(4, 6, std::vector<std::uint32_t>(24, 0x0000FF)));
  TZoPartsData table[] = {{0, 0, 2, 2, 2}, {2, 0, 2, 3, 1}, {-1, 0, 0, 0, 0}};

  TZoRGBParts* parts = nullptr;
  ASSERT_TRUE(LoadPartsFile(&parts, &folder.files, table, "Sheet.png"));
  ASSERT_NE(parts, nullptr);
  EXPECT_EQ(parts->GetBitDepth(), bd32);
  TZoRGBPanel panel(nullptr);
  const TPartPos first{0, 10, 20};
  SetPanelPart(&panel, parts, &first);
  EXPECT_EQ(panel.GetOffsetX(), 10);
  EXPECT_EQ(panel.GetOffsetY(), 20);
  EXPECT_EQ(panel.GetImage(), parts->GetImage(0));
  EXPECT_EQ(panel.GetAlpha(), parts->GetAlpha(0));
  EXPECT_EQ(panel.GetMaskMode(), mmAlpha);
  EXPECT_EQ(panel.GetSizeX(), 2);
  EXPECT_EQ(panel.GetSizeY(), 2) << "one block of two";
  EXPECT_EQ(Colour(panel.GetImage(), 1, 1), 5u);

  const TPartPos none{-1, 3, 4};
  SetPanelPart(&panel, parts, &none);
  EXPECT_EQ(panel.GetOffsetX(), 3);
  EXPECT_EQ(panel.GetImage(), parts->GetImage(0)) << "a negative index only moves the panel";

  TZoRGBParts* const made = parts;
  ASSERT_TRUE(LoadPartsFile(&parts, &folder.files, table, "Sheet.bmp"));
  EXPECT_EQ(parts, made) << "an existing parts object is reused";
  const TPartPos second{1, 0, 0};
  SetPanelPart(&panel, parts, &second);
  EXPECT_EQ(panel.GetAlpha(), nullptr);
  EXPECT_EQ(panel.GetMaskMode(), mmOpaque);
  EXPECT_EQ(panel.GetSizeY(), 3);

  for (const char* name : {"Missing.png", "Broken.png", "Sheet.gif"}) {
    EXPECT_FALSE(LoadPartsFile(&parts, &folder.files, table, name)) << name;
    EXPECT_EQ(parts, made) << name;
  }
  ReleasePanelImage(&panel);  // the parts' own pictures are not the registry's: only cleared from the panel
  EXPECT_EQ(panel.GetImage(), nullptr);
  EXPECT_NE(parts->GetImage(1), nullptr);
  game.Mem().Delete(parts);
}

// ---- Resampling kernels ---------------------------------------------------------------------------------------

namespace {

// A picture of w x h pixels of `bytes` bytes in rows of `pitch` bytes (padding filled with a guard value).
struct Raster {
  Raster(int w, int h, int bytes, std::mt19937& rng)
      : w(w), h(h), bytes(bytes), pitch(w * bytes + 3), data(pitch * h, 0xEE) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w * bytes; ++x) data[y * pitch + x] = static_cast<unsigned char>(rng());
  }
  unsigned char* At(int x, int y) { return data.data() + y * pitch + x * bytes; }
  int w, h, bytes, pitch;
  Bytes data;
};

// The stretch walk by its closed form: step k of max(src, dst) writes source floor(k x src / n) into destination
// floor(k x dst / n), rows likewise.
template <class Put>
void StepReference(Raster& s, Raster& d, Put put) {
  const int n = std::max(s.w, d.w), m = std::max(s.h, d.h);
  for (int j = 0; j < m; ++j)
    for (int k = 0; k < n; ++k) put(d.At(k * d.w / n, j * d.h / m), s.At(k * s.w / n, j * s.h / m));
}

using Kernel = void (*)(const unsigned char*, int, int, int, unsigned char*, int, int, int);

void RunKernel(Kernel kernel, Raster& s, Raster& d) {
  kernel(s.data.data(), s.w, s.h, s.pitch, d.data.data(), d.w, d.h, d.pitch);
}

// Units of one axis: destination cell d spans [d x src, (d + 1) x src), source cell s spans [s x dst, (s + 1) x dst).
// A destination cell that ends before its source cell ends is a copy; otherwise the overlaps weigh the sources.
bool CopiesOne(int d, int src, int dst) { return static_cast<std::int64_t>(d) * src % dst + src < dst; }
std::int64_t Overlap(int d, int s, int src, int dst) {
  const std::int64_t lo = std::max<std::int64_t>(std::int64_t(d) * src, std::int64_t(s) * dst);
  const std::int64_t hi = std::min<std::int64_t>(std::int64_t(d + 1) * src, std::int64_t(s + 1) * dst);
  return std::max<std::int64_t>(0, hi - lo);
}

Bytes SmoothReference(Raster& s, int dw, int dh) {
  const int b = s.bytes;
  std::vector<Bytes> rows(s.h, Bytes(dw * b));
  for (int y = 0; y < s.h; ++y)
    for (int x = 0; x < dw; ++x) {
      unsigned char* out = rows[y].data() + x * b;
      if (CopiesOne(x, s.w, dw)) {
        std::copy_n(s.At(std::int64_t(x) * s.w / dw, y), b, out);
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        std::int64_t sum = 0;
        for (int i = 0; i < s.w; ++i) sum += Overlap(x, i, s.w, dw) * s.At(i, y)[c];
        out[c] = static_cast<unsigned char>(sum / s.w);
      }
      if (b == 4) out[3] = 0;
    }
  Bytes out(dw * dh * b);
  for (int y = 0; y < dh; ++y)
    for (int k = 0; k < dw * b; ++k) {
      if (CopiesOne(y, s.h, dh)) {
        out[y * dw * b + k] = rows[std::int64_t(y) * s.h / dh][k];
        continue;
      }
      std::int64_t sum = 0;
      for (int i = 0; i < s.h; ++i) sum += Overlap(y, i, s.h, dh) * rows[i][k];
      out[y * dw * b + k] = static_cast<unsigned char>(sum / s.h);
    }
  return out;
}

Bytes Packed(Raster& r) {
  Bytes out;
  for (int y = 0; y < r.h; ++y) out.insert(out.end(), r.At(0, y), r.At(0, y) + r.w * r.bytes);
  return out;
}

bool PaddingKept(const Raster& r) {
  for (int y = 0; y < r.h; ++y)
    for (int x = r.w * r.bytes; x < r.pitch; ++x)
      if (r.data[y * r.pitch + x] != 0xEE) return false;
  return true;
}

}  // namespace

TEST(StretchKernels, MatchTheWalkOnEverySizeUpToNine) {
  const struct {
    Kernel kernel;
    int bytes;
    bool blend;
  } kernels[] = {{StretchCopy8, 1, false},
                 {StretchCopy24, 3, false},
                 {StretchCopy32, 4, false},
                 {BlendStretchCopy24, 3, true},
                 {BlendStretchCopy32, 4, true}};
  std::mt19937 rng(7);
  for (const auto& k : kernels)
    for (int sw = 1; sw <= 9; sw += 2)
      for (int dw = 1; dw <= 9; ++dw)
        for (int sh : {1, 4}) {
          const int dh = 1 + (sw + dw) % 6;
          SCOPED_TRACE(::testing::Message() << k.bytes << " bytes " << sw << "x" << sh << " -> " << dw << "x" << dh);
          Raster src(sw, sh, k.bytes, rng), dst(dw, dh, k.bytes, rng);
          Raster expected = dst;
          StepReference(src, expected, [&](unsigned char* d, const unsigned char* s) {
            for (int c = 0; c < k.bytes; ++c) d[c] = k.blend ? (c == 3 ? 0 : (3 * d[c] + s[c]) >> 2) : s[c];
          });
          RunKernel(k.kernel, src, dst);
          ASSERT_EQ(dst.data, expected.data);
        }
}

TEST(StretchKernels, WorkedExamples) {
  unsigned char two[] = {10, 11, 12, 20, 21, 22};
  unsigned char four[12] = {};
  StretchCopy24(two, 2, 1, 6, four, 4, 1, 12);
  EXPECT_EQ(Bytes(four, four + 12), (Bytes{10, 11, 12, 10, 11, 12, 20, 21, 22, 20, 21, 22}));
  unsigned char back[6] = {};
  unsigned char fourDistinct[] = {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4};
  StretchCopy24(fourDistinct, 4, 1, 12, back, 2, 1, 6);
  EXPECT_EQ(Bytes(back, back + 6), (Bytes{2, 2, 2, 4, 4, 4})) << "the last of each pair";
  unsigned char pair[] = {100, 100, 100, 200, 200, 200};
  unsigned char one[3] = {0, 0, 0};
  BlendStretchCopy24(pair, 2, 1, 6, one, 1, 1, 3);
  EXPECT_EQ(Bytes(one, one + 3), (Bytes{68, 68, 68})) << "25 after the first, then 68";
}

// Mended: sizes that are not positive drew from pixels that do not exist (and the smooth kernels divided by zero).
TEST(StretchKernels, SizesThatAreNotPositiveDrawNothing) {
  const Kernel kernels[] = {StretchCopy8,       StretchCopy24,       StretchCopy32,      BlendStretchCopy24,
                            BlendStretchCopy32, SmoothStretchCopy24, SmoothStretchCopy32};
  const int sizes[][4] = {{0, 1, 4, 4}, {1, 0, 4, 4}, {4, 4, 0, 1}, {4, 4, 1, 0}, {-3, 2, 4, 4}, {2, 2, 4, -5}};
  for (Kernel k : kernels)
    for (const auto& s : sizes) {
      unsigned char src[1] = {9};  // a single byte: any read of a pixel is out of bounds
      Bytes dst(64, 0xEE);
      k(src, s[0], s[1], 4, dst.data(), s[2], s[3], 16);
      EXPECT_EQ(dst, Bytes(64, 0xEE));
    }
}

TEST(SmoothKernels, AverageTheCoveredArea) {
  unsigned char three[] = {0, 0, 0, 90, 90, 90, 180, 180, 180};
  unsigned char two[6] = {};
  SmoothStretchCopy24(three, 3, 1, 9, two, 2, 1, 6);
  EXPECT_EQ(Bytes(two, two + 6), (Bytes{30, 30, 30, 150, 150, 150}));

  std::mt19937 rng(11);
  const int sizes[][4] = {{3, 1, 2, 1},
                          {5, 4, 2, 3},
                          {7, 7, 3, 2},
                          {2, 3, 5, 7},
                          {4, 4, 4, 4},
                          {9, 5, 9, 2},
                          {1, 1, 6, 6},
                          {6, 6, 1, 1},
                          {13, 10, 5, 4},
                          {3, 8, 8, 3},
                          {640 / 20, 480 / 20, 134 / 20, 5}};
  for (int bytes : {3, 4})
    for (const auto& s : sizes) {
      SCOPED_TRACE(::testing::Message() << bytes << " bytes " << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3]);
      Raster src(s[0], s[1], bytes, rng), dst(s[2], s[3], bytes, rng);
      RunKernel(bytes == 3 ? SmoothStretchCopy24 : SmoothStretchCopy32, src, dst);
      EXPECT_EQ(Packed(dst), SmoothReference(src, dst.w, dst.h));
      EXPECT_TRUE(PaddingKept(dst));
    }
}

// Wide sources divide sums by large totals: the means of whole cells must still come out exact (a row of 255 stays
// 255, not 254).
TEST(SmoothKernels, LargeTotalsDivideExactly) {
  std::mt19937 rng(3);
  for (int sw : {4099, 65537, 1 << 18}) {
    SCOPED_TRACE(sw);
    Raster full(sw, 1, 4, rng);
    std::fill(full.data.begin(), full.data.begin() + sw * 4, 255);
    Raster out(3, 1, 4, rng);
    RunKernel(SmoothStretchCopy32, full, out);
    EXPECT_EQ(Packed(out), (Bytes{255, 255, 255, 0, 255, 255, 255, 0, 255, 255, 255, 0}));
    Raster noise(sw, 2, 3, rng), small(2, 3, 3, rng);
    RunKernel(SmoothStretchCopy24, noise, small);
    EXPECT_EQ(Packed(small), SmoothReference(noise, 2, 3));
  }
}

// ---- Additive lines -------------------------------------------------------------------------------------------

namespace {

// A bitmap that counts its locks.
class CountedBits : public TZoRGBBits {
public:
  CountedBits(int w, int h, VXBitDepth depth) : TZoRGBBits(nullptr) {
    SetBitDepth(depth);
    Resize(w, h);
    Create();
  }
  bool Lock() override {
    ++locks;
    return TZoRGBBits::Lock();
  }
  int locks = 0;
};

Bytes Pixels(TZoRGBBits& bits) {
  bits.Lock();
  Bytes out;
  for (int y = 0; y < bits.GetHeight(); ++y)
    out.insert(out.end(), bits.GetBits() + y * bits.GetPitch(),
               bits.GetBits() + y * bits.GetPitch() + bits.GetWidth() * bits.GetBitDepth());
  bits.Unlock();
  return out;
}

void Fill(TZoRGBBits& bits, unsigned char value) {
  bits.Lock();
  for (int y = 0; y < bits.GetHeight(); ++y)
    std::fill_n(bits.GetBits() + y * bits.GetPitch(), bits.GetWidth() * bits.GetBitDepth(), value);
  bits.Unlock();
}

// The points of the line by the formula, in the order drawn.
std::vector<std::pair<int, int>> LinePoints(int x1, int y1, int x2, int y2) {
  auto hold = [](int v) { return std::clamp(v, -32768, 32768); };
  x1 = hold(x1), y1 = hold(y1), x2 = hold(x2), y2 = hold(y2);
  if (y1 > y2) std::swap(x1, x2), std::swap(y1, y2);
  const std::int64_t cols = std::abs(x2 - x1) + 1, rows = std::int64_t(y2) - y1 + 1;
  const int s = x2 > x1 ? 1 : -1;
  std::vector<std::pair<int, int>> out;
  if (cols > rows)
    for (std::int64_t k = 0; k < cols; ++k) out.emplace_back(x1 + s * k, y1 + k * rows / cols);
  else
    for (std::int64_t k = 0; k < rows; ++k) out.emplace_back(x1 + s * (k * cols / rows), y1 + k);
  return out;
}

}  // namespace

TEST(AdditiveLines, WorkedExamples) {
  CountedBits bits(12, 12, bd32);
  Fill(bits, 200);
  ASSERT_TRUE(DrawLineAdd(&bits, 0, 0, 9, 4, 0x00804020, VXRect{0, 0, 100, 100}));
  int drawn = 0;
  for (int y = 0; y < 12; ++y) {
    int inRow = 0;
    for (int x = 0; x < 12; ++x)
      if (bits.PGet(x, y) != bits.PGet(11, 11)) ++inRow;
    EXPECT_EQ(inRow, y <= 4 ? 2 : 0) << "row " << y;
    drawn += inRow;
  }
  EXPECT_EQ(drawn, 10);
  EXPECT_EQ(bits.PGet(1, 0) & 0xFFFFFF, 0xFFFFE8u) << "200 + 128 and 200 + 64 saturate; 200 + 32 = 232";
  EXPECT_EQ(Pixels(bits)[(1 * 12 + 3) * 4 + 3], 200) << "byte 3 untouched";

  Fill(bits, 10);
  ASSERT_TRUE(DrawLineSub(&bits, 5, 10, 5, 2, 0x00000C05, VXRect{0, 0, 12, 12}));
  for (int y = 0; y < 12; ++y) EXPECT_EQ(bits.PGet(5, y) & 0xFFFF, y >= 2 && y <= 10 ? 0x0005u : 0x0A0Au) << y;

  const int before = bits.locks;
  EXPECT_TRUE(DrawLineAdd(&bits, 0, -9, 11, -1, 0xFFFFFF, VXRect{0, 0, 12, 12}));
  EXPECT_EQ(bits.locks, before) << "a line above the clip does not lock";
}

TEST(AdditiveLines, RefuseBitmapsTheyCannotDrawOn) {
  TZoRGBBits uncreated(nullptr);
  EXPECT_FALSE(DrawLineAdd(&uncreated, 0, 0, 1, 1, 1, VXRect{0, 0, 9, 9}));
  CountedBits sixteen(4, 4, bd16);
  EXPECT_FALSE(DrawLineSub(&sixteen, 0, 0, 1, 1, 1, VXRect{0, 0, 9, 9}));
  EXPECT_FALSE(DrawLineAddAlpha(nullptr, 0, 0, 1, 1, 1, VXRect{0, 0, 9, 9}, nullptr));
}

// Mended: the jump to the clip multiplied counts of up to 65537 in 32 bits. Lines far outside the bitmap, each
// ending anywhere, against the formula.
TEST(AdditiveLines, ClippedLinesMatchTheFormula) {
  std::mt19937 rng(5);
  CountedBits bits(24, 18, bd24);
  auto coordinate = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int i = 0; i < 400; ++i) {
    const int range = i % 4 == 0 ? 60000 : i % 4 == 1 ? 300 : 30;
    const int x1 = coordinate(-range, range), y1 = coordinate(-range, range);
    const int x2 = coordinate(-range, range), y2 = coordinate(-range, range);
    const VXRect clip{coordinate(-5, 12), coordinate(-5, 9), coordinate(8, 30), coordinate(6, 25)};
    SCOPED_TRACE(::testing::Message() << "(" << x1 << "," << y1 << ")-(" << x2 << "," << y2 << ") clip " << clip.left
                                      << "," << clip.top << "," << clip.right << "," << clip.bottom);
    Fill(bits, 0);
    ASSERT_TRUE(DrawLineAdd(&bits, x1, y1, x2, y2, 0x010101, clip));
    Bytes expected(24 * 18 * 3, 0);
    VXRect r;
    VXIntersectRect(clip, VXRect{0, 0, 24, 18}, r);
    for (auto [x, y] : LinePoints(x1, y1, x2, y2))
      if (r.InRect(x, y)) std::fill_n(expected.begin() + (y * 24 + x) * 3, 3, 1);
    ASSERT_EQ(Pixels(bits), expected);
  }
  Fill(bits, 0);
  ASSERT_TRUE(
      DrawLineAdd(&bits, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0x010101, VXRect{INT_MIN, INT_MIN, INT_MAX, INT_MAX}));
  Bytes expected(24 * 18 * 3, 0);
  for (auto [x, y] : LinePoints(-32768, -32768, 32768, 32768))
    if (x >= 0 && x < 24 && y >= 0 && y < 18) std::fill_n(expected.begin() + (y * 24 + x) * 3, 3, 1);
  EXPECT_EQ(Pixels(bits), expected) << "ends held to +-32768";
}

TEST(AdditiveLines, ThroughAnAlphaPlane) {
  CountedBits bits(4, 1, bd32);
  Fill(bits, 100);
  TZoAlpha plane(nullptr);
  plane.Resize(4, 1);
  ASSERT_TRUE(plane.Create());
  const unsigned char levels[] = {0, 128, 255, 64};
  for (int x = 0; x < 4; ++x) plane.PSet(x, 0, levels[x]);
  ASSERT_TRUE(DrawLineAddAlpha(&bits, 0, 0, 3, 0, 0x00C86402, VXRect{0, 0, 4, 1}, &plane));
  EXPECT_EQ(bits.PGet(0, 0) & 0xFFFFFF, 0x646464u) << "a = 0 leaves the pixel";
  EXPECT_EQ(bits.PGet(1, 0) & 0xFFFFFF, 0xC89665u) << "(200, 100, 2) x 128 >> 8 = (100, 50, 1)";
  EXPECT_EQ(bits.PGet(2, 0) & 0xFFFFFF, 0xFFC765u);
  EXPECT_EQ(bits.PGet(3, 0) & 0xFFFFFF, 0x967D64u);

  TZoAlpha small(nullptr);
  small.Resize(3, 1);
  ASSERT_TRUE(small.Create());
  small.Fill(0);
  Fill(bits, 100);
  ASSERT_TRUE(DrawLineAddAlpha(&bits, 0, 0, 3, 0, 0x000001, VXRect{0, 0, 4, 1}, &small));
  for (int x = 0; x < 4; ++x)
    EXPECT_EQ(bits.PGet(x, 0) & 0xFFFFFF, 0x646465u) << "a smaller plane draws as DrawLineAdd";
}

// ---- Text, numbers and volumes --------------------------------------------------------------------------------

TEST(Volume, AttenuationInterpolatesTheTable) {
  const int cases[][2] = {{0, -10000}, {-5, -10000}, {1, -6311}, {10, -3322}, {35, -1529}, {50, -1000},
                          {55, -868},  {95, -76},    {99, -15},  {100, 0},    {150, 0}};
  for (const auto& c : cases) EXPECT_EQ(VolumeToAttenuation(c[0]), c[1]) << c[0];
}

// Mended: volume x rate overflowed, and two negative percentages made a loud volume.
TEST(Volume, ScaledVolumes) {
  const int cases[][3] = {{70, 50, -1529},    {100, 100, 0},       {100, 0, -10000}, {INT_MAX, INT_MAX, 0},
                          {-50, -50, -10000}, {-100, 100, -10000}, {200, 50, 0}};
  for (const auto& c : cases) EXPECT_EQ(ScaledVolumeToAttenuation(c[0], c[1]), c[2]) << c[0] << " x " << c[1];
}

// Mended: long numbers wrapped around 32 bits.
TEST(Numbers, StrToThousandths) {
  const struct {
    const char* text;
    std::uint32_t value;
  } cases[] = {{"1.5", 1500},
               {"2", 2000},
               {"0.125", 125},
               {"1.2345", 1234},
               {"T300", 300000},
               {"1T.T5", 1500},
               {"-1", 0},
               {"", 0},
               {" 1", 0},
               {"12a3", 12000},
               {"1.2.3", 1200},
               {".5", 500},
               {"1\x82\x51", 1000},  // a full-width digit ends the number
               {"4294967.295", 4294967295u},
               {"4294967.296", 0xFFFFFFFFu},
               {"5000000", 0xFFFFFFFFu},
               {"99999999999999999999999", 0xFFFFFFFFu}};
  for (const auto& c : cases) EXPECT_EQ(StrToThousandths(c.text), c.value) << c.text;
}

// Mended: a sign or other junk where the digits belong was read as part of the number.
TEST(Numbers, ParseVersionTag) {
  const struct {
    const char* tag;
    int value;
  } cases[] = {{"Ver1.05", 105}, {"Ver9.99", 999}, {"Ver1.-5", 0}, {"Ver-.05", 0}, {"Ver1.5", 0},
               {"Ver1.050", 0},  {"VerA.05", 0},   {"Ver1.0x", 0}, {"", 0}};
  for (const auto& c : cases) EXPECT_EQ(ParseVersionTag(c.tag), c.value) << c.tag;
}

TEST(Tokens, CutToken) {
  const struct {
    const char* text;
    const char* token;
    const char* rest;
  } cases[] = {{"a , b", "a", " b"}, {"  abc \t", "abc", ""}, {",x", "", "x"},
               {"x,", "x", ""},      {"a,b,c", "a", "b,c"},   {"", "", ""}};
  for (const auto& c : cases) {
    VXString text = c.text;
    EXPECT_EQ(CutToken(text), VXString(c.token)) << c.text;
    EXPECT_EQ(text, VXString(c.rest)) << c.text;
  }
}

TEST(Tokens, SplitFileExt) {
  const struct {
    const char* name;
    const char* base;
    const char* ext;
  } cases[] = {{"pic.bmp", "pic", ".bmp"}, {"folder.old\\pic", "folder", ".old\\pic"},
               {".bmp", "", ".bmp"},       {"noext", "noext", ""},
               {"a.b.", "a.b", "."},       {"\x83\x5C.png", "\x83\x5C", ".png"}};
  for (const auto& c : cases) {
    VXString base = "junk", ext = "junk";
    SplitFileExt(base, ext, c.name);
    EXPECT_EQ(base, VXString(c.base)) << c.name;
    EXPECT_EQ(ext, VXString(c.ext)) << c.name;
  }
}

// Mended: a range ending at character 127 never ended.
TEST(Tokens, ExpandBracketPattern) {
  Installed game;
  auto expand = [&](const char* pattern) {
    VXStringList* list = ExpandBracketPattern(pattern);
    std::vector<std::string> out;
    for (int i = 0; list != nullptr && i < list->GetCount(); ++i) out.emplace_back(list->GetString(i).c_str());
    game.Mem().Delete(list);
    return out;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(expand("Pic[abc].bmp"), (Names{"Pica.bmp", "Picb.bmp", "Picc.bmp"}));
  EXPECT_EQ(expand("Se[0-3]"), (Names{"Se0", "Se1", "Se2", "Se3"}));
  EXPECT_EQ(expand("X[a-ce]"), (Names{"Xa", "Xb", "Xc", "Xd", "Xe"}));
  EXPECT_EQ(expand("X[c-a]"), (Names{"Xc"})) << "a falling range adds nothing";
  for (const char* single : {"No[]", "Plain", "Open[ab", "a]b[c"}) EXPECT_EQ(expand(single), (Names{single}));
  EXPECT_EQ(expand("[}-\x7F]"), (Names{"}", "~", "\x7F"}));
  EXPECT_EQ(expand("[\x80-\x7F]").size(), 255u) << "-128 itself, then every byte from -127 to 127 but 0";
}

TEST(Chapters, NamesAreCutWithoutSplittingACharacter) {
  const VXString live(u"ライブ当日");
  const struct {
    int id, maxBytes;
    VXString name;
  } cases[] = {{8, 10, live},
               {8, 8, VXString(u"ライブ…")},
               {8, 7, VXString(u"ライ…")},
               {8, 4, VXString(u"ラ…")},
               {8, 3, VXString(u"ラ")},
               {8, 1, VXString()},
               {8, -2, VXString()},
               {1, 20, VXString(u"プロローグ")},
               {11, 20, VXString(u"おまけ")},
               {99, 20, VXString()},
               {-1, 20, VXString()}};
  for (const auto& c : cases) EXPECT_EQ(GetChapterName(c.id, c.maxBytes), c.name) << c.id << " in " << c.maxBytes;
}

TEST(Thumbnail, AveragesTheWholePictureInto134By100) {
  Installed game;
  TZoRGBBits src(nullptr);
  src.SetBitDepth(bd32);
  ASSERT_TRUE(src.Create());  // 640 x 480
  src.Lock();
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      unsigned char* p = src.GetBits() + y * src.GetPitch() + x * 4;
      p[0] = static_cast<unsigned char>(x), p[1] = static_cast<unsigned char>(y),
      p[2] = static_cast<unsigned char>(x ^ y), p[3] = 77;
    }
  Bytes packed;  // the source as 24-bit pixels
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      packed.insert(packed.end(), src.GetBits() + y * src.GetPitch() + x * 4,
                    src.GetBits() + y * src.GetPitch() + x * 4 + 3);
  src.Unlock();
  TZoRGBBits* thumb = CreateThumbnail(&src);
  ASSERT_NE(thumb, nullptr);
  EXPECT_EQ(thumb->GetBitDepth(), bd24);
  EXPECT_EQ(thumb->GetWidth(), 134);
  EXPECT_EQ(thumb->GetHeight(), 100);
  Bytes expected(134 * 100 * 3);
  SmoothStretchCopy24(packed.data(), 640, 480, 640 * 3, expected.data(), 134, 100, 134 * 3);
  EXPECT_EQ(Pixels(*thumb), expected);
  game.Mem().Delete(thumb);

  TZoRGBBits uncreated(nullptr);
  EXPECT_EQ(CreateThumbnail(&uncreated), nullptr);
  EXPECT_EQ(CreateThumbnail(nullptr), nullptr);
}

// Mended: a block count of 0 divided by zero, and an area beyond the block (or left of or above it) read another
// block's rows or outside the plane.
TEST(PanelAlphaFill, ReadsOnlyTheCurrentBlock) {
  TZoAlpha plane(nullptr);
  plane.Resize(4, 4);
  ASSERT_TRUE(plane.Create());
  plane.Fill(0);
  plane.BoxFill(0, 2, 3, 3, 255);  // block 1 of 2 opaque
  TZoRGBPanel panel(nullptr);
  panel.SetAlpha(&plane);
  panel.SetNumBlock(2);
  panel.SetBlockIndex(1);
  CountedBits dst(6, 6, bd32);

  const struct {
    int x, y, sx, sy, w, h;
    VXRect painted;  // what turns white
  } cases[] = {{0, 0, 0, 0, 4, 2, {0, 0, 4, 2}},
               {1, 1, 0, 0, 9, 9, {1, 1, 5, 3}},
               {0, 0, 2, 1, 9, 9, {0, 0, 2, 1}},
               {2, 2, -1, -1, 3, 3, {3, 3, 5, 5}},
               {0, 0, 0, 2, 4, 4, {0, 0, 0, 0}},
               {0, 0, 4, 0, 4, 4, {0, 0, 0, 0}},
               {0, 0, 0, 0, INT_MAX, INT_MAX, {0, 0, 4, 2}},
               {INT_MAX, 0, INT_MIN, 0, 4, 4, {0, 0, 0, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << "," << c.y << " from " << c.sx << "," << c.sy << " " << c.w << "x"
                                      << c.h);
    Fill(dst, 0);
    ASSERT_TRUE(PanelAlphaFillRate(&panel, &dst, c.x, c.y, c.sx, c.sy, c.w, c.h, 0xFFFFFF, 128));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dst.PGet(x, y) & 0xFFFFFF, c.painted.InRect(x, y) ? 0xFFFFFFu : 0u) << x << "," << y;
  }
  TZoRGBPanel bare(nullptr);
  EXPECT_FALSE(PanelAlphaFillRate(&bare, &dst, 0, 0, 0, 0, 4, 4, 0xFFFFFF, 128));
  EXPECT_FALSE(PanelAlphaFillRate(nullptr, &dst, 0, 0, 0, 0, 4, 4, 0xFFFFFF, 128));
  panel.SetAlpha(nullptr);
}
