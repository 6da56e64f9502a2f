#include "graphics/vxjpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// Where libjpeg has extended colour spaces it writes rows in the triple layout (B, G, R) itself.
#ifdef JCS_EXTENSIONS
constexpr bool kBgrRows = true;
constexpr J_COLOR_SPACE kBgr = JCS_EXT_BGR;
#else
constexpr bool kBgrRows = false;
constexpr J_COLOR_SPACE kBgr = JCS_RGB;  // rows are swapped into triples by hand
#endif

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
  unsigned char* triples = nullptr;
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

  cinfo.out_color_space = kBgr;
  jpeg_start_decompress(&cinfo);
  const int w = static_cast<int>(cinfo.output_width);
  const int h = static_cast<int>(cinfo.output_height);
  if (cinfo.output_components != 3) ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
  JSAMPARRAY sample = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, w * 3, 1);
  VXPictureRows rows;
  if (!(*sink)(w, h, rows)) return false;  // the sink names its reason
  if (rows.alpha != nullptr)
    for (int y = 0; y < h; ++y) std::memset(rows.alpha + y * rows.alphaPitch, 255, std::size_t(w));
  // 24-bit pixels are the triples themselves: libjpeg writes them into the picture's rows. Other formats are
  // converted from a copy of libjpeg's row; converting straight from libjpeg's own buffer measured half as fast.
  const bool direct = format == pf24_888 && kBgrRows;
  if (!direct && rows.pixels != nullptr) {
    job.triples = static_cast<unsigned char*>(std::malloc(std::size_t(w) * 3 + 1));
    if (job.triples == nullptr) ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
  }
  while (cinfo.output_scanline < cinfo.output_height) {
    const std::ptrdiff_t y = cinfo.output_scanline;
    JSAMPROW target = direct && rows.pixels != nullptr ? rows.pixels + y * rows.pitch : sample[0];
    if (jpeg_read_scanlines(&cinfo, &target, 1) != 1) ERREXIT(&cinfo, JERR_FILE_READ);
    if (direct || rows.pixels == nullptr) continue;
    if (kBgrRows) {
      std::memcpy(job.triples, target, std::size_t(w) * 3);
    } else {
      for (int x = 0; x < w; ++x)
        job.triples[3 * x] = target[3 * x + 2], job.triples[3 * x + 1] = target[3 * x + 1],
        job.triples[3 * x + 2] = target[3 * x];
    }
    _RGBTRIPLEcpyToProcTable[format](rows.pixels + y * rows.pitch, job.triples, w);
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
  std::free(job.triples);
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
