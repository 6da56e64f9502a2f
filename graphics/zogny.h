// The GNY reader of graphics/vxgny.h for a framework stream (read through a T2VXStream made for the call; the
// framework stream stays open and is not owned).
#pragma once

#include <cstddef>

#include "graphics/vxgny.h"
#include "platform/vclstream.h"

bool LoadGny(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             const unsigned char* key, std::size_t capacity = 0);
