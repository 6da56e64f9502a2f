#include "graphics/zobmp.h"

bool LoadBmp(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity) {
  T2VXStream s(stream);
  return LoadBmp(&s, pixels, width, height, format, capacity);
}

bool LoadAlpha(Classes::TStream* stream, unsigned char** alpha, int* width, int* height, std::size_t capacity) {
  T2VXStream s(stream);
  return LoadAlpha(&s, alpha, width, height, capacity);
}

bool LoadPalette(Classes::TStream* stream, RGBQUAD** palette, unsigned char** indices, int* width, int* height,
                 std::size_t indexCapacity) {
  T2VXStream s(stream);
  return LoadPalette(&s, palette, indices, width, height, indexCapacity);
}
