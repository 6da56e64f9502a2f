#include "graphics/vxbmp.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <stdexcept>
#include <vector>

#include "core/vxrefusal.h"
#include "graphics/vxrgbcopy.h"

// ---- Contract helpers

bool IsPictureFormat(VXPixFormat format) { return format >= pf16_565 && format <= pf32_8888; }

bool PictureSideOK(std::int64_t side) { return side >= 0 && side <= kPictureMaxSide; }

std::size_t PictureBytes(int width, int height, VXPixFormat format) {
  return std::size_t(width) * std::size_t(height) * _FormatAndDepthTable[format];
}

bool StreamHolds(VXStream* stream, std::uint64_t bytes) {
  const std::int64_t size = stream->GetSize();
  const std::int64_t position = stream->GetPosition();
  if (size < 0 || position < 0) return true;
  return size >= position && std::uint64_t(size - position) >= bytes;
}

void SkipBytes(VXStream* stream, std::uint64_t count) {
  if (!StreamHolds(stream, count)) throw std::runtime_error("Read Error");
  unsigned char scratch[512];
  while (count > 0) {
    const int n = static_cast<int>(std::min<std::uint64_t>(count, sizeof scratch));
    stream->ReadBuffer(scratch, n);
    count -= n;
  }
}

bool RefuseCaughtRead() {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return VXRefuse("out of memory");
  } catch (const std::exception& e) {
    return VXRefuse(std::strcmp(e.what(), "Read Error") == 0 ? "the file ends early" : e.what());
  } catch (...) {
    return VXRefuse("the picture could not be read");
  }
}

bool VXPictureTarget::Prepare(unsigned char** target, std::size_t bytes, std::size_t capacity) {
  slot = target;
  owned = false;
  if (*target != nullptr) return bytes <= capacity || VXRefuse("the picture does not fit the buffer given for it");
  *target = static_cast<unsigned char*>(std::malloc(std::max<std::size_t>(bytes, 1)));
  owned = *target != nullptr;
  return owned || VXRefuse("out of memory");
}

void VXPictureTarget::Abandon() {
  if (!owned) return;
  std::free(*slot);
  *slot = nullptr;
  owned = false;
}

VXPictureSink PackedSink(VXPictureTarget& pixels, unsigned char** pixelSlot, std::size_t capacity, VXPixFormat format,
                         VXPictureTarget* alpha, unsigned char** alphaSlot, std::size_t alphaCapacity) {
  return [=, &pixels](int width, int height, VXPictureRows& rows) {
    if (pixelSlot != nullptr) {
      if (!pixels.Prepare(pixelSlot, PictureBytes(width, height, format), capacity)) return false;
      rows.pixels = *pixelSlot;
      rows.pitch = static_cast<std::ptrdiff_t>(width) * _FormatAndDepthTable[format];
    }
    if (alphaSlot != nullptr) {
      if (!alpha->Prepare(alphaSlot, std::size_t(width) * std::size_t(height), alphaCapacity)) return false;
      rows.alpha = *alphaSlot;
      rows.alphaPitch = width;
    }
    return true;
  };
}

// ---- BMP

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr std::uint32_t kUncompressed = 0;  // BI_RGB

std::uint32_t Le32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t Le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

struct BmpHeader {
  std::int64_t width = 0, height = 0;  // height made positive; bottomUp keeps its sign
  bool bottomUp = true;
  int bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t coloursUsed = 0;
  std::uint32_t pixelOffset = 0;
  std::uint64_t consumed = 0;  // bytes read so far

  // Entries stored in the file's palette (8-bit pictures only).
  std::uint32_t PaletteEntries() const { return coloursUsed == 0 ? 256 : coloursUsed; }
  std::uint64_t StoredRowBytes() const { return (std::uint64_t(width) * bitCount + 31) / 32 * 4; }
  // Null when the picture is read with `wantedBits` (0: either 8 or 24), else why not.
  const char* Refusal(int wantedBits) const {
    static constexpr const char* kCompressions[] = {
        nullptr, "run-length (RLE8) BMP pictures are not supported", "run-length (RLE4) BMP pictures are not supported",
        "bit-field BMP pictures are not supported", "BMP pictures holding a JPEG are not supported",
        "BMP pictures holding a PNG are not supported", "bit-field BMP pictures are not supported"};
    if (compression != kUncompressed) {
      return compression < std::size(kCompressions) ? kCompressions[compression] : "unknown BMP compression";
    }
    if (wantedBits == 8 && bitCount != 8) return "not an 8-bit (palette) BMP picture";
    if (bitCount != 8 && bitCount != 24) return "BMP pictures of other than 8 or 24 bits a pixel are not supported";
    if (width <= 0 || height <= 0) return "a BMP picture without pixels";
    if (!PictureSideOK(width) || !PictureSideOK(height)) return "larger than 16384 pixels a side";
    if (bitCount == 8 && coloursUsed > 256) return "a palette of more than 256 colours";
    return nullptr;
  }
  bool Readable(int wantedBits) const {
    const char* refusal = Refusal(wantedBits);
    return refusal == nullptr || VXRefuse(refusal);
  }
};

// Reads the file header and the information header, skipping what a longer (version 4 or 5) header adds.
BmpHeader ReadBmpHeader(VXStream* stream) {
  unsigned char b[kFileHeaderSize + kInfoHeaderSize];
  stream->ReadBuffer(b, sizeof b);
  const unsigned char* info = b + kFileHeaderSize;
  BmpHeader h;
  h.pixelOffset = Le32(b + 10);
  const std::uint32_t infoSize = Le32(info);
  h.width = static_cast<std::int32_t>(Le32(info + 4));
  const std::int64_t height = static_cast<std::int32_t>(Le32(info + 8));
  h.bottomUp = height >= 0;
  h.height = height < 0 ? -height : height;
  h.bitCount = Le16(info + 14);
  h.compression = Le32(info + 16);
  h.coloursUsed = Le32(info + 32);
  h.consumed = sizeof b;
  if (infoSize < kInfoHeaderSize) throw std::runtime_error("OS/2 BMP headers are not supported");  // other layout
  SkipBytes(stream, infoSize - kInfoHeaderSize);
  h.consumed += infoSize - kInfoHeaderSize;
  return h;
}

void StoreSize(const BmpHeader& h, int* width, int* height) {
  if (width != nullptr) *width = static_cast<int>(h.width);
  if (height != nullptr) *height = static_cast<int>(std::min<std::int64_t>(h.height, INT_MAX));
}

// Reads the palette entries the file holds into a table of 256 whose other entries are zero.
void ReadPalette(VXStream* stream, BmpHeader& h, RGBQUAD* table) {
  const std::uint32_t entries = h.PaletteEntries();
  std::memset(table, 0, 256 * sizeof(RGBQUAD));
  stream->ReadBuffer(table, static_cast<int>(entries * sizeof(RGBQUAD)));
  h.consumed += entries * sizeof(RGBQUAD);
}

void SkipPalette(VXStream* stream, BmpHeader& h) {
  SkipBytes(stream, h.PaletteEntries() * sizeof(RGBQUAD));
  h.consumed += h.PaletteEntries() * sizeof(RGBQUAD);
}

// Moves to the pixel data when the file places it after a gap; an offset inside the headers is not trusted.
void SkipToPixels(VXStream* stream, BmpHeader& h) {
  if (h.pixelOffset > h.consumed) SkipBytes(stream, h.pixelOffset - h.consumed);
  h.consumed = std::max<std::uint64_t>(h.consumed, h.pixelOffset);
}

bool PixelsPresent(VXStream* stream, const BmpHeader& h) {
  return StreamHolds(stream, h.StoredRowBytes() * std::uint64_t(h.height)) || VXRefuse("the file ends early");
}

// Reads every stored row and hands it to `emit` with its row index in the top-first output.
template <typename Emit>
void ReadRows(VXStream* stream, const BmpHeader& h, Emit emit) {
  std::vector<unsigned char> row(h.StoredRowBytes());
  const int rows = static_cast<int>(h.height);
  for (int i = 0; i < rows; ++i) {
    stream->ReadBuffer(row.data(), static_cast<int>(row.size()));
    emit(h.bottomUp ? rows - 1 - i : i, row.data());
  }
}

template <int Bytes>
void ExpandIndexed(unsigned char* dst, const unsigned char* indices, const unsigned char* palette, int n) {
  for (int i = 0; i < n; ++i) std::memcpy(dst + i * Bytes, palette + indices[i] * Bytes, Bytes);
}
using ExpandProc = void (*)(unsigned char*, const unsigned char*, const unsigned char*, int);
const ExpandProc kExpandProcs[kBitDepthCount] = {nullptr, nullptr, ExpandIndexed<2>, ExpandIndexed<3>,
                                                  ExpandIndexed<4>};

}  // namespace

namespace {

// The BMP reader with the size stored for the caller; `sink` null asks for the size only.
bool DecodeBmp(VXStream* stream, VXPixFormat format, int* width, int* height, const VXPictureSink* sink) {
  BmpHeader h = ReadBmpHeader(stream);
  StoreSize(h, width, height);
  if (!h.Readable(0)) return false;
  if (sink == nullptr) return true;
  const int w = static_cast<int>(h.width);
  const int bpp = _FormatAndDepthTable[format];
  std::vector<unsigned char> palette;
  if (h.bitCount == 8) {
    RGBQUAD raw[256];
    ReadPalette(stream, h, raw);
    palette.resize(256 * bpp);
    _RGBQUADcpyToProcTable[format](palette.data(), raw, 256);
  }
  SkipToPixels(stream, h);
  if (!PixelsPresent(stream, h)) return false;
  VXPictureRows rows;
  if (!(*sink)(w, static_cast<int>(h.height), rows)) return false;
  if (rows.alpha != nullptr)
    for (int y = 0; y < h.height; ++y) std::memset(rows.alpha + y * rows.alphaPitch, 255, std::size_t(w));
  if (rows.pixels == nullptr) return true;
  if (h.bitCount == 8) {
    ReadRows(stream, h, [&](int y, const unsigned char* row) {
      kExpandProcs[bpp](rows.pixels + y * rows.pitch, row, palette.data(), w);
    });
  } else {
    ReadRows(stream, h, [&](int y, const unsigned char* row) {
      _RGBTRIPLEcpyToProcTable[format](rows.pixels + y * rows.pitch, row, w);
    });
  }
  return true;
}

}  // namespace

bool ReadBmp(VXStream* stream, VXPixFormat format, const VXPictureSink& sink) {
  VXRefusalScope scope;
  if (!IsPictureFormat(format)) return false;
  try {
    return DecodeBmp(stream, format, nullptr, nullptr, &sink);
  } catch (...) {
    return RefuseCaughtRead();
  }
}

bool LoadBmp(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity) {
  VXRefusalScope scope;
  if (!IsPictureFormat(format)) return false;
  VXPictureTarget out;
  try {
    const VXPictureSink sink = PackedSink(out, pixels, capacity, format);
    if (DecodeBmp(stream, format, width, height, pixels != nullptr ? &sink : nullptr)) return true;
    out.Abandon();
    return false;
  } catch (...) {
    out.Abandon();
    return RefuseCaughtRead();
  }
}

bool LoadAlpha(VXStream* stream, unsigned char** alpha, int* width, int* height, std::size_t capacity) {
  VXRefusalScope scope;
  VXPictureTarget out;
  try {
    BmpHeader h = ReadBmpHeader(stream);
    StoreSize(h, width, height);
    if (!h.Readable(8)) return false;
    if (alpha == nullptr) return true;
    RGBQUAD raw[256];
    ReadPalette(stream, h, raw);
    unsigned char level[256];
    for (int i = 0; i < 256; ++i) level[i] = static_cast<unsigned char>((raw[i].rgbBlue + raw[i].rgbGreen + raw[i].rgbRed) / 3);
    SkipToPixels(stream, h);
    if (!PixelsPresent(stream, h)) return false;
    const std::size_t w = static_cast<std::size_t>(h.width);
    if (!out.Prepare(alpha, w * std::size_t(h.height), capacity)) return false;
    ReadRows(stream, h, [&](int y, const unsigned char* row) {
      for (std::size_t x = 0; x < w; ++x) (*alpha)[y * w + x] = level[row[x]];
    });
    return true;
  } catch (...) {
    out.Abandon();
    return RefuseCaughtRead();
  }
}

bool LoadPalette(VXStream* stream, RGBQUAD** palette, unsigned char** indices, int* width, int* height,
                 std::size_t indexCapacity) {
  VXRefusalScope scope;
  VXPictureTarget paletteOut, indexOut;
  try {
    BmpHeader h = ReadBmpHeader(stream);
    StoreSize(h, width, height);
    if (!h.Readable(8)) return false;
    if (palette != nullptr) {
      RGBQUAD raw[256];
      ReadPalette(stream, h, raw);
      auto** slot = reinterpret_cast<unsigned char**>(palette);
      if (!paletteOut.Prepare(slot, sizeof raw, sizeof raw)) return false;
      if (paletteOut.owned) std::memset(*palette, 0, sizeof raw);
      std::memcpy(*palette, raw, h.PaletteEntries() * sizeof(RGBQUAD));
    } else {
      SkipPalette(stream, h);
    }
    if (indices != nullptr) {
      SkipToPixels(stream, h);
      if (!PixelsPresent(stream, h) || !indexOut.Prepare(indices, std::size_t(h.width) * h.height, indexCapacity)) {
        paletteOut.Abandon();
        return false;
      }
      const std::size_t w = static_cast<std::size_t>(h.width);
      ReadRows(stream, h, [&](int y, const unsigned char* row) { std::memcpy(*indices + y * w, row, w); });
    }
    return true;
  } catch (...) {
    indexOut.Abandon();
    paletteOut.Abandon();
    return RefuseCaughtRead();
  }
}

bool SaveBmp24(VXStream* stream, const unsigned char* pixels, int width, int height) {
  if (stream == nullptr || pixels == nullptr || width <= 0 || height <= 0 || !PictureSideOK(width) ||
      !PictureSideOK(height))
    return false;
  const std::size_t row = static_cast<std::size_t>(width) * 3;
  const std::size_t stride = (row + 3) / 4 * 4;
  const std::uint32_t dataSize = static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height));
  constexpr std::uint32_t kPixelOffset = 14 + 40;
  std::vector<unsigned char> header;
  auto put = [&header](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) header.push_back(static_cast<unsigned char>(v >> (8 * i)));
  };
  header = {'B', 'M'};
  put(kPixelOffset + dataSize, 4);
  put(0, 4);
  put(kPixelOffset, 4);
  put(40, 4);
  put(static_cast<std::uint32_t>(width), 4);
  put(static_cast<std::uint32_t>(height), 4);
  put(1, 2);
  put(24, 2);
  for (int i = 0; i < 6; ++i) put(i == 1 ? dataSize : 0, 4);  // compression, size, resolutions, colours
  if (stream->Write(header.data(), static_cast<int>(header.size())) != static_cast<int>(header.size())) return false;
  std::vector<unsigned char> line(stride, 0);
  for (int y = height - 1; y >= 0; --y) {
    std::memcpy(line.data(), pixels + static_cast<std::size_t>(y) * row, row);
    if (stream->Write(line.data(), static_cast<int>(stride)) != static_cast<int>(stride)) return false;
  }
  return true;
}
