// The BMP readers of graphics/vxbmp.h for a framework stream. Each call reads through a T2VXStream made for the
// call; the framework stream stays open and is not owned.
#pragma once

#include <cstddef>

#include "graphics/vxbmp.h"
#include "platform/vclstream.h"

bool LoadBmp(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity = 0);
bool LoadAlpha(Classes::TStream* stream, unsigned char** alpha, int* width, int* height, std::size_t capacity = 0);
bool LoadPalette(Classes::TStream* stream, RGBQUAD** palette, unsigned char** indices, int* width, int* height,
                 std::size_t indexCapacity = 0);
