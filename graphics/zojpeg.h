// The JPEG reader of graphics/vxjpeg.h for a framework stream (read through a T2VXStream made for the call; the
// framework stream stays open and is not owned).
#pragma once

#include <cstddef>

#include "graphics/vxjpeg.h"
#include "platform/vclstream.h"

bool LoadJpeg(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
              std::size_t capacity = 0);
