#include "graphics/vxjpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

#include "core/vxrefusal.h"
#include "graphics/vxbmp.h"
#include "graphics/vxrgbcopy.h"

// libjpeg reports fatal errors through JpegErrorExit, which jumps back to the setjmp in DecodeJpeg. DecodeJpeg and
// the source routines therefore hold no object with a destructor; what a read owns lives in a JpegJob that
// LoadJpeg releases after the jump.

namespace {

constexpr int kJpegBufferSize = 4096;
// A progressive picture keeps its coefficients in memory; beyond this libjpeg stops with an error rather than
// exhausting the heap.
constexpr long kJpegMemoryLimit = 256L << 20;
// Progressive pictures may carry any number of scans, each one a pass over the picture; real ones have about ten.
constexpr int kJpegMaxScans = 256;

// Where libjpeg has extended colour spaces it writes rows in our byte order itself: triples (B, G, R) for 24-bit
// pixels, quads (B, G, R, X) for 32-bit pixels, whose fourth byte is then cleared; other formats are converted from
// a quad row. Without the extensions rows come as R, G, B and are swapped into triples by hand.
#ifdef JCS_EXTENSIONS
constexpr bool kOwnOrder = true;
#else
constexpr bool kOwnOrder = false;
#endif

// Bytes per pixel of the rows libjpeg writes for `format`.
int DecodedBytes(VXPixFormat format) { return kOwnOrder && format != pf24_888 ? 4 : 3; }

J_COLOR_SPACE DecodedSpace(VXPixFormat format) {
#ifdef JCS_EXTENSIONS
  return format == pf24_888 ? JCS_EXT_BGR : JCS_EXT_BGRX;
#else
  (void)format;
  return JCS_RGB;
#endif
}

// libjpeg fills the fourth byte of a quad with 255; pixels from a picture without alpha carry 0 there (and in the
// alpha field of a 16-bit format). Copies w quads from `src` to `dst` (which may be the same row) so.
void CopyClearingFourth(unsigned char* dst, const unsigned char* src, int w) {
  for (int x = 0; x < w; ++x) {
    std::uint32_t v;
    std::memcpy(&v, src + 4 * x, 4);
    v &= 0x00FFFFFF;
    std::memcpy(dst + 4 * x, &v, 4);
  }
}

void SwapToTriples(unsigned char* rgb, int w) {
  for (int x = 0; x < w; ++x) std::swap(rgb[3 * x], rgb[3 * x + 2]);
}

struct JpegSource {
  jpeg_source_mgr pub;
  VXStream* stream;
  JOCTET* buffer;
  boolean startOfFile;
  bool ended;  // the stream ran out and an end-of-image marker was made up
};

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

struct JpegJob {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  jpeg_progress_mgr progress;
  bool created = false;
  unsigned char* line = nullptr;  // one decoded row, where it cannot go into the picture
};

// libjpeg's message is the reason of the failed read, unless the data had ended before: then that is the reason.
[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
  const auto* src = cinfo->is_decompressor ? reinterpret_cast<JpegSource*>(
                                                 reinterpret_cast<j_decompress_ptr>(cinfo)->src)
                                           : nullptr;
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  VXRefuse(src != nullptr && src->ended ? "the file ends early" : message);
  std::longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Corrupt pictures raise many warnings; the reader's result already tells the caller what happened.
void JpegOutputMessage(j_common_ptr) {}

void JpegLimitScans(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kJpegMaxScans) ERREXIT(cinfo, JERR_BAD_PROGRESSION);
}

void JpegInitSource(j_decompress_ptr cinfo) { reinterpret_cast<JpegSource*>(cinfo->src)->startOfFile = TRUE; }

boolean JpegFillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  int got = 0;
  bool failed = false;
  try {
    got = src->stream->Read(src->buffer, kJpegBufferSize);
  } catch (...) {
    failed = true;
  }
  if (failed) ERREXIT(cinfo, JERR_FILE_READ);
  if (got <= 0) {
    if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
    src->ended = true;
    // A file that ends in its last row of blocks (often only the end marker is missing) still gives its picture;
    // one that ends sooner is refused rather than filled out with grey.
    if (cinfo->total_iMCU_rows > 0 && cinfo->input_iMCU_row + 1 < cinfo->total_iMCU_rows) {
      ERREXIT(cinfo, JERR_INPUT_EOF);
    }
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = got;
  src->startOfFile = FALSE;
  return TRUE;
}

void JpegSkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    JpegFillInputBuffer(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= count;
}

void JpegTermSource(j_decompress_ptr) {}

// `sink` null asks for the size only.
bool DecodeJpeg(JpegJob& job, VXStream* stream, int* width, int* height, VXPixFormat format,
                const VXPictureSink* sink) {
  jpeg_decompress_struct& cinfo = job.cinfo;
  if (setjmp(job.err.jump)) return false;
  jpeg_create_decompress(&cinfo);
  job.created = true;
  cinfo.mem->max_memory_to_use = kJpegMemoryLimit;
  job.progress.progress_monitor = JpegLimitScans;
  cinfo.progress = &job.progress;
  JpegStreamSrc(&cinfo, stream);
  jpeg_read_header(&cinfo, TRUE);
  if (width != nullptr) *width = static_cast<int>(cinfo.image_width);
  if (height != nullptr) *height = static_cast<int>(cinfo.image_height);
  if (!PictureSideOK(cinfo.image_width) || !PictureSideOK(cinfo.image_height)) {
    return VXRefuse("larger than 16384 pixels a side");
  }
  if (sink == nullptr) return true;
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    return VXRefuse("CMYK JPEG pictures are not supported");
  }

  cinfo.out_color_space = DecodedSpace(format);
  jpeg_start_decompress(&cinfo);
  const int w = static_cast<int>(cinfo.output_width);
  const int h = static_cast<int>(cinfo.output_height);
  if (cinfo.output_components != DecodedBytes(format)) ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
  VXPictureRows rows;
  if (!(*sink)(w, h, rows)) return false;  // the sink names its reason
  if (rows.alpha != nullptr)
    for (int y = 0; y < h; ++y) std::memset(rows.alpha + y * rows.alphaPitch, 255, std::size_t(w));
  // Triples go straight into the picture's rows. Everything else is decoded into one row of our own first: libjpeg
  // stores rows that start on a 32-byte boundary past the cache, and the row is read again here, so that row starts
  // 4 bytes past one.
  const bool direct = kOwnOrder && format == pf24_888 && rows.pixels != nullptr;
  unsigned char* line = nullptr;
  if (!direct) {
    job.line = static_cast<unsigned char*>(std::malloc(std::size_t(w) * 4 + 64));
    if (job.line == nullptr) ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    line = job.line + ((36 - reinterpret_cast<std::uintptr_t>(job.line) % 32) % 32);
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    const std::ptrdiff_t y = cinfo.output_scanline;
    unsigned char* const pixelRow = rows.pixels != nullptr ? rows.pixels + y * rows.pitch : nullptr;
    JSAMPROW target = direct ? pixelRow : line;
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_FILE_READ);
    if (direct || pixelRow == nullptr) continue;
    if (!kOwnOrder) {
      SwapToTriples(line, w);
      _RGBTRIPLEcpyToProcTable[format](pixelRow, line, w);
    } else if (_FormatAndDepthTable[format] == 4) {
      CopyClearingFourth(pixelRow, line, w);
    } else {
      CopyClearingFourth(line, line, w);
      _RGBQUADcpyToProcTable[format](pixelRow, line, w);
    }
  }
  jpeg_finish_decompress(&cinfo);
  return true;
}

bool RunJpeg(VXStream* stream, int* width, int* height, VXPixFormat format, const VXPictureSink* sink,
             VXPictureTarget* out) {
  if (!IsPictureFormat(format)) return false;
  JpegJob job;
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = JpegErrorExit;
  job.err.pub.output_message = JpegOutputMessage;
  const bool ok = DecodeJpeg(job, stream, width, height, format, sink);
  if (!ok && out != nullptr) out->Abandon();
  std::free(job.line);
  if (job.created) jpeg_destroy_decompress(&job.cinfo);
  return ok;
}

}  // namespace

void JpegStreamSrc(jpeg_decompress_struct* cinfo, VXStream* stream) {
  if (cinfo->src == nullptr) {
    auto* src = static_cast<JpegSource*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
    src->buffer = static_cast<JOCTET*>(
        (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, kJpegBufferSize));
    cinfo->src = &src->pub;
  }
  auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
  src->pub.init_source = JpegInitSource;
  src->pub.fill_input_buffer = JpegFillInputBuffer;
  src->pub.skip_input_data = JpegSkipInputData;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = JpegTermSource;
  src->stream = stream;
  src->startOfFile = TRUE;
  src->ended = false;
  src->pub.bytes_in_buffer = 0;
  src->pub.next_input_byte = nullptr;
}

bool LoadJpeg(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
              std::size_t capacity) {
  VXRefusalScope scope;
  VXPictureTarget out;
  const VXPictureSink sink = PackedSink(out, pixels, capacity, format);
  return RunJpeg(stream, width, height, format, pixels != nullptr ? &sink : nullptr, &out);
}

bool ReadJpeg(VXStream* stream, VXPixFormat format, const VXPictureSink& sink) {
  VXRefusalScope scope;
  return RunJpeg(stream, nullptr, nullptr, format, &sink, nullptr);
}
