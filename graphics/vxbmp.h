// Picture readers: the contract that every reader (BMP, PNG, JPEG, GNY) keeps, its shared helpers, and the BMP
// reader.
//
// Contract of a reader:
// - It reads from the stream's current position and neither seeks back nor closes the stream.
// - A format outside pf16_565..pf32_8888 returns false at once, reading and storing nothing.
// - A null buffer pointer asks for the size only: the header is read, width and height stored, true returned.
//   When the pointer it points to is null, the reader mallocs the buffer (width x height pixels of the format, rows
//   packed, top row first); the caller releases it with free. Otherwise the pointed-to buffer is the caller's and
//   `capacity` gives its size in bytes: a picture that does not fit is refused (false, nothing written).
// - Width and height pointers, when not null, receive the picture's size, also for kinds that are not supported.
// - Pictures larger than kPictureMaxSide on a side are refused before anything is allocated; so are pictures whose
//   pixel data cannot be in what is left of a stream of known size.
// - Every failure (bad data, a stream that ends early, no memory, a decoder error) returns false. A buffer the
//   reader allocated is released and the caller's pointer set back to null; a caller's buffer keeps the rows
//   already written. The reason is named in VXRefusal (core/vxrefusal.h): a kind of picture the reader does not
//   read, damaged data, the end of the stream, a buffer too small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/vxstream.h"
#include "graphics/vxrgbraw.h"

constexpr int kPictureMaxSide = 16384;

bool IsPictureFormat(VXPixFormat format);
// 0 <= side <= kPictureMaxSide.
bool PictureSideOK(std::int64_t side);
// Bytes of a width x height picture of the format with packed rows; the sides must be PictureSideOK.
std::size_t PictureBytes(int width, int height, VXPixFormat format);
// False only when the stream knows its size and fewer than `bytes` remain after the current position.
bool StreamHolds(VXStream* stream, std::uint64_t bytes);
// Reads and drops `count` bytes; throws std::runtime_error "Read Error" when the stream ends first.
void SkipBytes(VXStream* stream, std::uint64_t count);
// Called inside a catch block: names the reason of the read that the exception ended (the stream ended early, no
// memory, or the text of a reader's own exception) and returns false.
bool RefuseCaughtRead();

// Where a reader puts the rows it decodes: row y of the pixels (width pixels of the format) at pixels + y x pitch,
// row y of the alpha plane (width bytes) at alpha + y x alphaPitch. A null pointer: that part is not wanted.
struct VXPictureRows {
  unsigned char* pixels = nullptr;
  std::ptrdiff_t pitch = 0;
  unsigned char* alpha = nullptr;
  std::ptrdiff_t alphaPitch = 0;
};

// Told a picture's size once its header has been read and found readable, before any row is decoded; it fills
// `rows` and returns true, or returns false (naming its reason in VXRefusal) to end the read. Rows already written
// stay when a later part of the file turns out damaged: the reader then returns false.
using VXPictureSink = std::function<bool(int width, int height, VXPictureRows& rows)>;

// The output buffer of one read. Plain data (no destructor), so that it may live across the error jumps of the C
// decoders; the reader calls Abandon on every failure path.
struct VXPictureTarget {
  unsigned char** slot = nullptr;
  bool owned = false;

  // Makes *slot a buffer of at least `bytes`: the caller's when it is not null and `capacity` covers `bytes`,
  // otherwise a new one (at least one byte, so that an empty picture still has a buffer). False when the caller's
  // buffer is too small or memory runs out (the reason named).
  bool Prepare(unsigned char** target, std::size_t bytes, std::size_t capacity);
  // Releases a buffer that Prepare allocated and sets the caller's pointer back to null.
  void Abandon();
};

// A sink for the Load forms: the pixel buffer (and the alpha plane when `alpha` is not null) prepared as
// VXPictureTarget does, packed rows top first. The targets are the caller's to Abandon on failure.
VXPictureSink PackedSink(VXPictureTarget& pixels, unsigned char** pixelSlot, std::size_t capacity, VXPixFormat format,
                         VXPictureTarget* alpha = nullptr, unsigned char** alphaSlot = nullptr,
                         std::size_t alphaCapacity = 0);

// The readers behind LoadBmp, LoadJpeg, LoadPng and LoadPngWhiteMat, decoding each row straight into the rows the
// sink gives (which may be another picture's own rows). The alpha plane is filled when the sink gives one (255 for
// pictures without alpha; only PNG has alpha). Same refusals as the Load forms.
bool ReadBmp(VXStream* stream, VXPixFormat format, const VXPictureSink& sink);

// 8- and 24-bit pictures. Headers longer than 40 bytes (versions 4 and 5) and pixel data placed after a gap are
// followed; rows stored top first (negative height) are read too. Compressed pictures (run-length, bit-field,
// embedded JPEG or PNG), more than 256 palette colours, a width or height of 0, other bit counts and the short
// header of OS/2 pictures are refused.
bool LoadBmp(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity = 0);
// Writes width x height pixels of pf24_888 (rows packed, top first) as an uncompressed 24-bit BMP file (file
// header, BITMAPINFOHEADER, bottom-up rows padded to four bytes), the kind LoadBmp reads. False for an empty or
// too large picture or a failed write.
bool SaveBmp24(VXStream* stream, const unsigned char* pixels, int width, int height);
// An 8-bit picture as an alpha plane: one byte per pixel, the level (blue + green + red) / 3 of its palette entry.
bool LoadAlpha(VXStream* stream, unsigned char** alpha, int* width, int* height, std::size_t capacity = 0);
// An 8-bit picture as its palette and index plane. A caller's palette holds 256 entries; only the entries the
// file holds are written. A new palette has its remaining entries zeroed. Either buffer pointer may be null.
bool LoadPalette(VXStream* stream, RGBQUAD** palette, unsigned char** indices, int* width, int* height,
                 std::size_t indexCapacity = 0);
