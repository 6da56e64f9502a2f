#include "graphics/vxpng.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <climits>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/vxrefusal.h"
#include "graphics/vxbmp.h"
#include "graphics/vxrgbcopy.h"

// libpng reports errors by jumping back to the setjmp in DecodePng, EncodePng or ReadHeader. Those functions and
// the callbacks below therefore hold no object with a destructor: everything a call owns lives in a PngJob, which
// the calling function releases after the jump.

namespace {

// ((c + a) x 255 - 65025) / a for alpha a and colour c, clamped to 0..255; row 0 (alpha 0) is black. Built once,
// on first use (a thread-safe static), then only read.
const unsigned char* WhiteMatTable() {
  static const std::array<unsigned char, 256 * 256> table = [] {
    std::array<unsigned char, 256 * 256> t{};
    for (int a = 1; a < 256; ++a)
      for (int c = 0; c < 256; ++c)
        t[a * 256 + c] = static_cast<unsigned char>(std::clamp(((c + a) * 255 - 65025) / a, 0, 255));
    return t;
  }();
  return table.data();
}

struct PngRequest {
  int* width;
  int* height;
  VXPixFormat format;
  const VXPictureSink* sink;  // null: the size only
  bool whiteMatte;
};

struct PngJob {
  png_structp png = nullptr;
  png_infop info = nullptr;
  VXStream* stream = nullptr;
  png_color palette[256] = {};
  unsigned char* image = nullptr;
  png_bytep* rows = nullptr;
  unsigned char* quads = nullptr;
  unsigned char* alphaRow = nullptr;

  void FreeWork() {
    std::free(image);
    std::free(rows);
    std::free(quads);
    std::free(alphaRow);
    image = quads = alphaRow = nullptr;
    rows = nullptr;
  }
};

// libpng's message (or ours) is the reason of the failed read.
[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
  VXRefuse(message);
  png_longjmp(png, 1);
}
void PngWarn(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep data, std::size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  bool ok = false;
  try {
    ok = length <= INT_MAX && job->stream->Read(data, static_cast<int>(length)) == static_cast<int>(length);
  } catch (...) {
  }
  if (!ok) png_error(png, "the file ends early");
}

void PngWrite(png_structp png, png_bytep data, std::size_t length) {
  auto* job = static_cast<PngJob*>(png_get_io_ptr(png));
  bool ok = false;
  try {
    ok = length <= INT_MAX && job->stream->Write(data, static_cast<int>(length)) == static_cast<int>(length);
  } catch (...) {
  }
  if (!ok) png_error(png, "the picture cannot be written");
}

void PngFlush(png_structp) {}

void* PngAlloc(png_structp png, std::size_t bytes) {
  void* p = std::malloc(std::max<std::size_t>(bytes, 1));
  if (p == nullptr) png_error(png, "out of memory");
  return p;
}

// Reads the 8 signature bytes; false when they are short or not a PNG signature.
bool ReadSignature(VXStream* stream) {
  unsigned char signature[8];
  int got = 0;
  try {
    got = stream->Read(signature, sizeof signature);
  } catch (...) {
    return RefuseCaughtRead();
  }
  return (got == 8 && png_sig_cmp(signature, 0, 8) == 0) || VXRefuse("not a PNG file");
}

// What libpng may allocate at once while reading: its rows and inflate state are far smaller. An ancillary chunk
// may claim up to 2 GB, and libpng allocates and clears what a chunk claims before reading it; past the limit the
// chunk is refused or skipped instead.
constexpr std::size_t kLibpngAllocMax = 8u << 20;

png_voidp LibpngAlloc(png_structp, png_alloc_size_t bytes) {
  return bytes <= kLibpngAllocMax ? std::malloc(std::max<std::size_t>(bytes, 1)) : nullptr;
}
void LibpngFree(png_structp, png_voidp p) { std::free(p); }

bool CreateReader(PngJob& job, VXStream* stream) {
  job.stream = stream;
  job.png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &job, PngFail, PngWarn, nullptr, LibpngAlloc, LibpngFree);
  if (job.png == nullptr) return false;
  job.info = png_create_info_struct(job.png);
  return job.info != nullptr;
}

// Header reading shared by the reader and the channel query; must be called under the job's error jump.
void ReadHeader(PngJob& job) {
  png_set_user_limits(job.png, kPictureMaxSide, kPictureMaxSide);
  png_set_read_fn(job.png, &job, PngRead);
  png_set_sig_bytes(job.png, 8);
  png_read_info(job.png, job.info);
}

// The quad row (blue, green, red, fourth byte) and the alpha row of one decoded row, by kind of picture.
struct RowContext {
  const unsigned char* src;
  int width;
  bool fourthIsAlpha;  // pf32_8888 and pf16_4444 carry the alpha in the pixel
  const png_color* palette;
  const unsigned char* matte;  // null: colours as read
  unsigned char* quads;
  unsigned char* alphaRow;
};

void PaletteRow(const RowContext& c) {
  const unsigned char fourth = c.fourthIsAlpha ? 255 : 0;
  for (int x = 0; x < c.width; ++x) {
    const png_color& e = c.palette[c.src[x]];
    unsigned char* q = c.quads + 4 * x;
    q[0] = e.blue, q[1] = e.green, q[2] = e.red, q[3] = fourth;
  }
}

void RgbRow(const RowContext& c) {
  const unsigned char fourth = c.fourthIsAlpha ? 255 : 0;
  for (int x = 0; x < c.width; ++x) {
    const unsigned char* s = c.src + 3 * x;
    unsigned char* q = c.quads + 4 * x;
    q[0] = s[2], q[1] = s[1], q[2] = s[0], q[3] = fourth;
  }
}

#if defined(__SSE2__)
// Sixteen RGBA pixels at a time, colours as read: red and blue swapped into quads, alpha split off into its row.
int RgbaPixels16(const RowContext& c) {
  const __m128i green = _mm_set1_epi32(0x0000FF00), low = _mm_set1_epi32(0xFF);
  const __m128i fourth = _mm_set1_epi32(c.fourthIsAlpha ? static_cast<int>(0xFF000000) : 0);
  int x = 0;
  for (; x + 16 <= c.width; x += 16) {
    __m128i a[4];
    for (int k = 0; k < 4; ++k) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.src + 4 * (x + 4 * k)));
      const __m128i swapped = _mm_or_si128(_mm_or_si128(_mm_and_si128(v, green), _mm_slli_epi32(_mm_and_si128(v, low), 16)),
                                           _mm_and_si128(_mm_srli_epi32(v, 16), low));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(c.quads + 4 * (x + 4 * k)),
                       _mm_or_si128(swapped, _mm_and_si128(v, fourth)));
      a[k] = _mm_srli_epi32(v, 24);
    }
    const __m128i alpha = _mm_packus_epi16(_mm_packs_epi32(a[0], a[1]), _mm_packs_epi32(a[2], a[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(c.alphaRow + x), alpha);
  }
  return x;
}
#endif

void RgbaRow(const RowContext& c) {
  int x = 0;
#if defined(__SSE2__)
  if (c.matte == nullptr) x = RgbaPixels16(c);
#endif
  for (; x < c.width; ++x) {
    const unsigned char* s = c.src + 4 * x;
    const unsigned char a = s[3];
    const unsigned char* m = c.matte != nullptr ? c.matte + a * 256 : nullptr;
    unsigned char* q = c.quads + 4 * x;
    q[0] = m ? m[s[2]] : s[2], q[1] = m ? m[s[1]] : s[1], q[2] = m ? m[s[0]] : s[0];
    q[3] = c.fourthIsAlpha ? a : 0;
    c.alphaRow[x] = a;
  }
}

using RowProc = void (*)(const RowContext&);

// Deflate expands at most 1032-fold: a header whose rows (filter byte included) could not come out of what is left
// of the stream is refused before any buffer is made for them (up to 2 GiB for the largest sides). A stream of
// unknown size is not judged.
constexpr std::int64_t kDeflateMaxRatio = 1032;

bool RowsFitStream(PngJob& job) {
  std::int64_t left = -1;
  try {
    const std::int64_t size = job.stream->GetSize(), at = job.stream->GetPosition();
    if (size >= 0 && at >= 0) left = std::max<std::int64_t>(size - at, 0);
  } catch (...) {
    return true;  // the read itself will say what is wrong with the stream
  }
  if (left < 0) return true;
  const std::int64_t w = png_get_image_width(job.png, job.info), h = png_get_image_height(job.png, job.info);
  const std::int64_t bits = std::int64_t{png_get_bit_depth(job.png, job.info)} * png_get_channels(job.png, job.info);
  const std::int64_t rowBytes = 1 + (w * bits + 7) / 8;
  return h * rowBytes <= left * kDeflateMaxRatio;
}

bool DecodePng(PngJob& job, const PngRequest& req) {
  if (setjmp(png_jmpbuf(job.png))) return false;
  ReadHeader(job);
  const png_uint_32 w = png_get_image_width(job.png, job.info);
  const png_uint_32 h = png_get_image_height(job.png, job.info);
  const int depth = png_get_bit_depth(job.png, job.info);
  const int type = png_get_color_type(job.png, job.info);
  if (!PictureSideOK(w) || !PictureSideOK(h)) return VXRefuse("larger than 16384 pixels a side");
  if (req.width != nullptr) *req.width = static_cast<int>(w);
  if (req.height != nullptr) *req.height = static_cast<int>(h);
  if (req.sink == nullptr) return true;
  if (!RowsFitStream(job)) return VXRefuse("the picture's size is more than the file could hold");

  // Grey pictures are read as grey RGB, palettes and greys of fewer than 8 bits as 8 bits.
  RowProc build;
  int channels;
  switch (type) {
    case PNG_COLOR_TYPE_PALETTE: build = PaletteRow, channels = 1; break;
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_RGB: build = RgbRow, channels = 3; break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA: build = RgbaRow, channels = 4; break;
    default: png_error(job.png, "a PNG colour type that is not supported");
  }
  if (type == PNG_COLOR_TYPE_PALETTE) {
    png_colorp entries = nullptr;
    int count = 0;
    if (png_get_PLTE(job.png, job.info, &entries, &count) != 0)
      std::memcpy(job.palette, entries, std::clamp(count, 0, 256) * sizeof(png_color));
  }
  if (depth < 8) {
    if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(job.png);
    png_set_packing(job.png);
  }
  if ((type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(job.png);
  if (depth == 16) png_set_strip_16(job.png);
  const bool interlaced = png_set_interlace_handling(job.png) > 1;
  png_read_update_info(job.png, job.info);
  const std::size_t rowBytes = png_get_rowbytes(job.png, job.info);
  if (png_get_channels(job.png, job.info) != channels || rowBytes < std::size_t(w) * channels)
    png_error(job.png, "a PNG layout that is not supported");

  const int width = static_cast<int>(w), height = static_cast<int>(h);
  VXPictureRows out;
  if (!(*req.sink)(width, height, out)) png_longjmp(job.png, 1);  // the sink names its reason

  // An interlaced picture comes in passes over the whole image; any other is decoded and placed row by row.
  job.image = static_cast<unsigned char*>(PngAlloc(job.png, rowBytes * (interlaced ? h : 1)));
  if (interlaced) {
    job.rows = static_cast<png_bytep*>(PngAlloc(job.png, h * sizeof(png_bytep)));
    for (png_uint_32 y = 0; y < h; ++y) job.rows[y] = job.image + y * rowBytes;
    png_read_image(job.png, job.rows);
  }
  // Pixels of 32 bits are the quads themselves: those are built in place.
  const bool quadPixels = req.format == pf32_888 || req.format == pf32_8888;
  if (out.pixels == nullptr || !quadPixels) job.quads = static_cast<unsigned char*>(PngAlloc(job.png, std::size_t(w) * 4));
  if (out.alpha == nullptr) job.alphaRow = static_cast<unsigned char*>(PngAlloc(job.png, w));

  RowContext row{nullptr, width, req.format == pf32_8888 || req.format == pf16_4444, job.palette,
                 req.whiteMatte ? WhiteMatTable() : nullptr, nullptr, nullptr};
  for (png_uint_32 y = 0; y < h; ++y) {
    if (interlaced) {
      row.src = job.rows[y];
    } else {
      png_read_row(job.png, job.image, nullptr);
      row.src = job.image;
    }
    unsigned char* pixelRow = out.pixels != nullptr ? out.pixels + std::ptrdiff_t(y) * out.pitch : nullptr;
    row.quads = pixelRow != nullptr && quadPixels ? pixelRow : job.quads;
    row.alphaRow = out.alpha != nullptr ? out.alpha + std::ptrdiff_t(y) * out.alphaPitch : job.alphaRow;
    if (channels != 4) std::memset(row.alphaRow, 255, w);
    build(row);
    if (pixelRow != nullptr && !quadPixels) _RGBQUADcpyToProcTable[req.format](pixelRow, job.quads, w);
  }
  png_read_end(job.png, nullptr);
  return true;
}

bool RunPng(VXStream* stream, const PngRequest& req) {
  if (!IsPictureFormat(req.format) || !ReadSignature(stream)) return false;
  PngJob job;
  const bool ok = (CreateReader(job, stream) || VXRefuse("out of memory")) && DecodePng(job, req);
  job.FreeWork();
  png_destroy_read_struct(&job.png, &job.info, nullptr);
  return ok;
}

bool LoadPngWith(VXStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
                 VXPixFormat format, std::size_t capacity, std::size_t alphaCapacity, bool whiteMatte) {
  VXRefusalScope scope;
  VXPictureTarget pixelTarget, alphaTarget;
  const VXPictureSink sink = PackedSink(pixelTarget, pixels, capacity, format, &alphaTarget, alpha, alphaCapacity);
  const bool wanted = pixels != nullptr || alpha != nullptr;
  if (RunPng(stream, {width, height, format, wanted ? &sink : nullptr, whiteMatte})) return true;
  pixelTarget.Abandon();
  alphaTarget.Abandon();
  return false;
}

int QueryChannels(PngJob& job) {
  if (setjmp(png_jmpbuf(job.png))) return 0;
  ReadHeader(job);
  switch (png_get_color_type(job.png, job.info)) {
    case PNG_COLOR_TYPE_PALETTE: return 1;
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_RGB: return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA: return 4;
    default: return 0;
  }
}

struct PngSource {
  const unsigned char* pixels;
  const unsigned char* alpha;
  int width, height;
  VXPixFormat format;
};

bool EncodePng(PngJob& job, const PngSource& src) {
  if (setjmp(png_jmpbuf(job.png))) return false;
  png_set_write_fn(job.png, &job, PngWrite, PngFlush);
  const int channels = src.alpha != nullptr ? 4 : 3;
  png_set_IHDR(job.png, job.info, src.width, src.height, 8,
               src.alpha != nullptr ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(job.png, job.info);
  const std::size_t w = static_cast<std::size_t>(src.width);
  job.quads = static_cast<unsigned char*>(PngAlloc(job.png, w * 3));  // the source row as triples
  job.image = static_cast<unsigned char*>(PngAlloc(job.png, w * channels));
  const std::size_t pitch = w * _FormatAndDepthTable[src.format];
  for (int y = 0; y < src.height; ++y) {
    _RGBTRIPLEcpyFromProcTable[src.format](job.quads, src.pixels + y * pitch, src.width);
    const unsigned char* alphaRow = src.alpha != nullptr ? src.alpha + y * w : nullptr;
    for (std::size_t x = 0; x < w; ++x) {
      unsigned char* d = job.image + x * channels;
      const unsigned char* t = job.quads + x * 3;
      d[0] = t[2], d[1] = t[1], d[2] = t[0];
      if (alphaRow != nullptr) d[3] = alphaRow[x];
    }
    png_write_row(job.png, job.image);
  }
  png_write_end(job.png, job.info);
  return true;
}

}  // namespace

int ChkChannelPng(VXStream* stream) {
  VXRefusalScope scope;
  if (!ReadSignature(stream)) return 0;
  PngJob job;
  const int channels = CreateReader(job, stream) ? QueryChannels(job) : 0;
  png_destroy_read_struct(&job.png, &job.info, nullptr);
  return channels;
}

bool LoadPng(VXStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
             VXPixFormat format, std::size_t capacity, std::size_t alphaCapacity) {
  return LoadPngWith(stream, pixels, alpha, width, height, format, capacity, alphaCapacity, false);
}

bool LoadPng(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity) {
  return LoadPngWith(stream, pixels, nullptr, width, height, format, capacity, 0, false);
}

bool LoadPngWhiteMat(VXStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
                     VXPixFormat format, std::size_t capacity, std::size_t alphaCapacity) {
  return LoadPngWith(stream, pixels, alpha, width, height, format, capacity, alphaCapacity, true);
}

bool LoadPngWhiteMat(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
                     std::size_t capacity) {
  return LoadPngWith(stream, pixels, nullptr, width, height, format, capacity, 0, true);
}

bool ReadPng(VXStream* stream, VXPixFormat format, const VXPictureSink& sink) {
  VXRefusalScope scope;
  return RunPng(stream, {nullptr, nullptr, format, &sink, false});
}

bool ReadPngWhiteMat(VXStream* stream, VXPixFormat format, const VXPictureSink& sink) {
  VXRefusalScope scope;
  return RunPng(stream, {nullptr, nullptr, format, &sink, true});
}

bool WhiteMatInit() { return WhiteMatTable() != nullptr; }

bool SavePng(VXStream* stream, const unsigned char* pixels, const unsigned char* alpha, int width, int height,
             VXPixFormat format) {
  if (!IsPictureFormat(format) || stream == nullptr || pixels == nullptr || width <= 0 || height <= 0) return false;
  PngJob job;
  job.stream = stream;
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, PngFail, PngWarn);
  if (job.png != nullptr) job.info = png_create_info_struct(job.png);
  const bool ok = job.info != nullptr && EncodePng(job, {pixels, alpha, width, height, format});
  job.FreeWork();
  png_destroy_write_struct(&job.png, &job.info);
  return ok;
}

bool SavePng(VXStream* stream, const unsigned char* pixels, int width, int height, VXPixFormat format) {
  return SavePng(stream, pixels, nullptr, width, height, format);
}
