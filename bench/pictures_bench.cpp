// Picture readers and the PNG writer. Decoding PNG (RGBA), JPEG and BMP at 640 x 480 and 1920 x 1080 into 32-bit
// and 16-bit (565) pixels: through the reader into a buffer it allocates, and through the bitmap's loaders into a
// bitmap the load makes (the game's usual case) or one that exists. The PNG and JPEG decodes run beside a plain
// libpng or libjpeg loop that decodes the same file row by row straight into a new 32-bit buffer, alternating with
// ours in CPU time (bench/sidebyside.h): "x_libpng" and "x_libjpeg" are the plain loop's time over ours. Writing a
// screenshot as PNG closes the list.
#include <benchmark/benchmark.h>

#include <png.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/sidebyside.h"
#include "graphics/vxbmp.h"
#include "graphics/vxjpeg.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "tests/support/pictures.h"

namespace {

// A smooth picture with some detail, as a game background would be: B, G, R, and a varying fourth byte.
std::vector<unsigned char> Screen32(int w, int h) {
  std::vector<unsigned char> v(std::size_t(w) * h * 4);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &v[(std::size_t(y) * w + x) * 4];
      p[0] = static_cast<unsigned char>(x * 255 / w), p[1] = static_cast<unsigned char>(y * 255 / h);
      p[2] = static_cast<unsigned char>((x ^ y) & 0xFF), p[3] = static_cast<unsigned char>((x + y) & 0xFF);
    }
  return v;
}

std::string PngFile(int w, int h) {
  const std::vector<unsigned char> s = Screen32(w, h);
  std::vector<unsigned char> alpha(std::size_t(w) * h);
  for (std::size_t i = 0; i < alpha.size(); ++i) alpha[i] = s[i * 4 + 3];
  VXMemoryStream out;
  SavePng(&out, s.data(), alpha.data(), w, h, pf32_888);
  return std::string(reinterpret_cast<const char*>(out.GetMemory()), out.GetSize());
}

std::string JpegFile(int w, int h) {
  const std::vector<unsigned char> s = Screen32(w, h);
  pictures::JpegSpec spec{w, h, 3, false, {}};
  for (std::size_t i = 0; i < std::size_t(w) * h; ++i)
    spec.samples.insert(spec.samples.end(), {s[i * 4 + 2], s[i * 4 + 1], s[i * 4]});
  return pictures::MakeJpeg(spec);
}

std::string BmpFile(int w, int h) {
  const std::vector<unsigned char> s = Screen32(w, h);
  std::vector<std::uint32_t> rgb(std::size_t(w) * h);
  for (std::size_t i = 0; i < rgb.size(); ++i) rgb[i] = s[i * 4] | s[i * 4 + 1] << 8 | s[i * 4 + 2] << 16;
  pictures::Bmp b{w, h, 24, 0, 0, 40, 0, {}, pictures::Rows24(w, h, rgb), 0};
  return pictures::MakeBmp(b);
}

enum Kind { kPng, kJpeg, kBmp };

// One file of each kind and size, made once.
const std::string& File(Kind kind, int w, int h) {
  static std::string files[3][2];
  std::string& f = files[kind][w > 640];
  if (f.empty()) f = kind == kPng ? PngFile(w, h) : kind == kJpeg ? JpegFile(w, h) : BmpFile(w, h);
  return f;
}

// ---- The plain loops

struct MemoryReader {
  const unsigned char* at;
  std::size_t left;
};

void PngFromMemory(png_structp png, png_bytep data, std::size_t n) {
  auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (n > r->left) png_error(png, "short");
  std::memcpy(data, r->at, n);
  r->at += n, r->left -= n;
}

// libpng straight into the rows of a new buffer of B, G, R, A.
void PlainPng(const std::string& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  unsigned char* out = nullptr;
  if (setjmp(png_jmpbuf(png)) == 0) {
    MemoryReader reader{reinterpret_cast<const unsigned char*>(file.data()), file.size()};
    png_set_read_fn(png, &reader, PngFromMemory);
    png_read_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    png_set_bgr(png);
    png_read_update_info(png, info);
    out = static_cast<unsigned char*>(std::malloc(std::size_t(w) * h * 4));
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, out + std::size_t(y) * w * 4, nullptr);
    png_read_end(png, nullptr);
    benchmark::DoNotOptimize(out);
  }
  std::free(out);
  png_destroy_read_struct(&png, &info, nullptr);
}

// libjpeg straight into the rows of a new buffer of B, G, R, X.
void PlainJpeg(const std::string& file) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(file.data()), file.size());
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&d);
  auto* out = static_cast<unsigned char*>(std::malloc(std::size_t(d.output_width) * d.output_height * 4));
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = out + std::size_t(d.output_scanline) * d.output_width * 4;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  benchmark::DoNotOptimize(out);
  std::free(out);
}

// ---- Ours

// Through the reader, into a buffer it allocates (the plane too for a PNG).
bool ReadIntoNew(Kind kind, VXStream* in, VXPixFormat format) {
  unsigned char *pixels = nullptr, *alpha = nullptr;
  int w = 0, h = 0;
  const bool ok = kind == kPng    ? LoadPng(in, &pixels, &alpha, &w, &h, format)
                  : kind == kJpeg ? LoadJpeg(in, &pixels, &w, &h, format)
                                  : LoadBmp(in, &pixels, &w, &h, format);
  std::free(pixels);
  std::free(alpha);
  return ok;
}

bool DrawInto(Kind kind, TZoRGBBits& bits, TZoAlpha& plane, VXStream* in) {
  return kind == kPng ? bits.DrawPngStream(in, 0, 0, &plane)
                      : kind == kJpeg ? bits.DrawJpegStream(in, 0, 0) : bits.DrawBmpStream(in, 0, 0);
}

enum Target { kReader, kNewBitmap, kOldBitmap };

// range(0): the kind; range(1): 640 or 1920 wide; range(2): 32 or 16 bits; range(3): the target.
void Decode(benchmark::State& state) {
  const auto kind = static_cast<Kind>(state.range(0));
  const int w = static_cast<int>(state.range(1)), h = w > 640 ? 1080 : 480;
  const VXPixFormat format = state.range(2) == 32 ? pf32_8888 : pf16_565;
  const auto target = static_cast<Target>(state.range(3));
  const std::string& file = File(kind, w, h);
  VXMemoryStream in(file.data(), static_cast<int>(file.size()));
  TZoRGBBits old;
  TZoAlpha oldPlane;
  old.SetPixFormat(format);
  if (target == kOldBitmap) {
    old.SetWidth(w), old.SetHeight(h), oldPlane.SetWidth(w), oldPlane.SetHeight(h);
    old.Create(), oldPlane.Create();
  }
  bool ok = true;
  const auto ours = [&] {
    in.Seek(0, VXSeekBegin);
    if (target == kReader) {
      ok = ReadIntoNew(kind, &in, format) && ok;
    } else if (target == kOldBitmap) {
      ok = DrawInto(kind, old, oldPlane, &in) && ok;
    } else {
      TZoRGBBits bits;
      TZoAlpha plane;
      bits.SetPixFormat(format);
      ok = DrawInto(kind, bits, plane, &in) && ok;
    }
  };
  std::function<void()> plain;
  if (kind == kPng) plain = [&] { PlainPng(file); };
  if (kind == kJpeg) plain = [&] { PlainJpeg(file); };
  bench::SideBySide(state, ours, plain, kind == kPng ? "libpng" : "libjpeg");
  if (!ok) state.SkipWithError("decode failed");
  state.SetItemsProcessed(state.iterations() * std::int64_t{w} * h);
}

void ArgsOf(benchmark::internal::Benchmark* b) {
  b->ArgNames({"kind", "w", "bits", "into"});
  for (int kind : {kPng, kJpeg, kBmp})
    for (int w : {640, 1920})
      for (int bits : {32, 16})
        for (int target : {kReader, kNewBitmap, kOldBitmap}) b->Args({kind, w, bits, target});
}

void SavePngScreenshot(benchmark::State& state) {
  const std::vector<unsigned char> s = Screen32(640, 480);
  for (auto _ : state) {
    VXMemoryStream out;
    if (!SavePng(&out, s.data(), 640, 480, pf32_888)) state.SkipWithError("write failed");
    benchmark::DoNotOptimize(out.GetMemory());
  }
}

}  // namespace

// kind: 0 PNG, 1 JPEG, 2 BMP; into: 0 a buffer the reader allocates, 1 a bitmap the load makes, 2 a bitmap that
// exists.
BENCHMARK(Decode)->Apply(ArgsOf)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SavePngScreenshot)->Unit(benchmark::kMillisecond);
