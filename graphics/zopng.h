// The PNG functions of graphics/vxpng.h for a framework stream (read and written through a T2VXStream made for the
// call; the framework stream stays open and is not owned).
#pragma once

#include <cstddef>

#include "graphics/vxpng.h"
#include "platform/vclstream.h"

int ChkChannelPng(Classes::TStream* stream);
bool LoadPng(Classes::TStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
             VXPixFormat format, std::size_t capacity = 0, std::size_t alphaCapacity = 0);
bool LoadPng(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity = 0);
bool LoadPngWhiteMat(Classes::TStream* stream, unsigned char** pixels, unsigned char** alpha, int* width,
                     int* height, VXPixFormat format, std::size_t capacity = 0, std::size_t alphaCapacity = 0);
bool LoadPngWhiteMat(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
                     std::size_t capacity = 0);
bool SavePng(Classes::TStream* stream, const unsigned char* pixels, const unsigned char* alpha, int width,
             int height, VXPixFormat format);
bool SavePng(Classes::TStream* stream, const unsigned char* pixels, int width, int height, VXPixFormat format);
