#include "graphics/zogny.h"

bool LoadGny(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             const unsigned char* key, std::size_t capacity) {
  T2VXStream s(stream);
  return LoadGny(&s, pixels, width, height, format, key, capacity);
}
