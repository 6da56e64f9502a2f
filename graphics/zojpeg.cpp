#include "graphics/zojpeg.h"

bool LoadJpeg(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
              std::size_t capacity) {
  T2VXStream s(stream);
  return LoadJpeg(&s, pixels, width, height, format, capacity);
}
