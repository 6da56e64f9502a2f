// JPEG pictures through libjpeg, under the contract of graphics/vxbmp.h. The decoder is fed from a VXStream by the
// program's own source manager; libjpeg's fatal errors end the read with false, libjpeg's message named as the
// reason in VXRefusal (core/vxrefusal.h). Grey pictures are read as grey RGB; CMYK and YCCK pictures are refused.
#pragma once

#include <cstddef>

#include "core/vxstream.h"
#include "graphics/vxbmp.h"
#include "graphics/vxrgbraw.h"

struct jpeg_decompress_struct;

bool LoadJpeg(VXStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
              std::size_t capacity = 0);
// The same reader decoding each row straight into the rows a sink gives (graphics/vxbmp.h).
bool ReadJpeg(VXStream* stream, VXPixFormat format, const VXPictureSink& sink);

// Makes `stream` the data source of a decompressor: 4096-byte reads; an empty stream is an error, a stream that
// ends later is ended with an end-of-image marker. The source lives in the decompressor's permanent pool.
void JpegStreamSrc(jpeg_decompress_struct* cinfo, VXStream* stream);
