// PNG pictures through libpng: reading colour and alpha into a pixel buffer and an 8-bit alpha plane (under the
// contract of graphics/vxbmp.h), reading with colours restored from a white background, telling the channel count,
// and writing a pixel buffer (with an optional alpha plane) as a PNG.
//
// Readable kinds: every kind PNG has. Palettes of 1 to 8 bits, RGB and RGB with alpha; grey pictures (1 to 16 bits)
// are read as grey RGB, grey with alpha as RGB with alpha; 16-bit samples keep their high byte. Transparency chunks
// are not applied. A failed read names the reason in VXRefusal (core/vxrefusal.h). The fourth byte of
// pf32_8888 and the alpha nibble of pf16_4444 receive the picture's alpha (255 without an alpha channel); the other
// formats get 0 there. Palette indexes past the picture's palette give black.
#pragma once

#include <cstddef>

#include "core/vxstream.h"
#include "graphics/vxbmp.h"
#include "graphics/vxrgbraw.h"

// The channels a picture is read with: 1 for a palette picture, 3 for RGB and grey, 4 for RGB or grey with alpha; 0
// for a wrong signature or any failure. Consumes the signature and the header chunks.
int ChkChannelPng(VXStream* stream);

// Either buffer pointer may be null; when both are, only the size is read. `alphaCapacity` is the size in bytes of
// a caller's alpha plane. Pictures without alpha give a plane of 255.
bool LoadPng(VXStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
             VXPixFormat format, std::size_t capacity = 0, std::size_t alphaCapacity = 0);
bool LoadPng(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity = 0);

// As LoadPng, but each colour byte c of a pixel with alpha a becomes the colour it had before being composed over
// white: ((c + a) x 255 - 65025) / a, kept within 0..255 (alpha 0 gives black). Pictures without alpha read as
// with LoadPng.
bool LoadPngWhiteMat(VXStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
                     VXPixFormat format, std::size_t capacity = 0, std::size_t alphaCapacity = 0);
bool LoadPngWhiteMat(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
                     std::size_t capacity = 0);
// The same readers decoding each row straight into the rows a sink gives (graphics/vxbmp.h); the alpha plane is
// filled when the sink gives one.
bool ReadPng(VXStream* stream, VXPixFormat format, const VXPictureSink& sink);
bool ReadPngWhiteMat(VXStream* stream, VXPixFormat format, const VXPictureSink& sink);
// Builds the white-matte table if it does not exist yet (the readers do so themselves on first use); true then.
bool WhiteMatInit();

// Writes width x height pixels of the format (rows packed, top first) as 8-bit RGB, or RGB with alpha when `alpha`
// (width x height bytes) is given. False for an empty picture, a bad format or a failed write.
bool SavePng(VXStream* stream, const unsigned char* pixels, const unsigned char* alpha, int width, int height,
             VXPixFormat format);
bool SavePng(VXStream* stream, const unsigned char* pixels, int width, int height, VXPixFormat format);
