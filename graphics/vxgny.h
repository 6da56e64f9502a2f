// The program's own picture format GNY: a headerless 24-bit picture, every byte scrambled by XOR with a 256-byte
// key table, indexed by the byte's file offset modulo 256. After unscrambling (little-endian):
//   offset 0: width (unsigned 32-bit), offset 4: height (unsigned 32-bit),
//   offset 8: rows top first, width x 3 bytes each (blue, green, red), no padding.
// The reader keeps the contract of graphics/vxbmp.h; a width or height of 0 is an empty picture, not an error.
#pragma once

#include <cstddef>

#include "core/vxstream.h"
#include "graphics/vxrgbraw.h"

constexpr int kGnyKeySize = 256;

// The key table built into the program, selected by index (0 and 1 name it); null for any other index.
const unsigned char* GnyKey(int index);

// Width and height are required and always written. `key` points to kGnyKeySize bytes.
bool LoadGny(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             const unsigned char* key, std::size_t capacity = 0);

// XORs `length` bytes in place with the key, starting at entry keyOffset mod 256 and wrapping after entry 255.
// A length of 0 or less does nothing. The same call scrambles and unscrambles.
void XorGnyBuffer(unsigned char* buffer, int length, const unsigned char* key, int keyOffset);
