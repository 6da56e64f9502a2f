#include "graphics/zopng.h"

int ChkChannelPng(Classes::TStream* stream) {
  T2VXStream s(stream);
  return ChkChannelPng(&s);
}

bool LoadPng(Classes::TStream* stream, unsigned char** pixels, unsigned char** alpha, int* width, int* height,
             VXPixFormat format, std::size_t capacity, std::size_t alphaCapacity) {
  T2VXStream s(stream);
  return LoadPng(&s, pixels, alpha, width, height, format, capacity, alphaCapacity);
}

bool LoadPng(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
             std::size_t capacity) {
  T2VXStream s(stream);
  return LoadPng(&s, pixels, width, height, format, capacity);
}

bool LoadPngWhiteMat(Classes::TStream* stream, unsigned char** pixels, unsigned char** alpha, int* width,
                     int* height, VXPixFormat format, std::size_t capacity, std::size_t alphaCapacity) {
  T2VXStream s(stream);
  return LoadPngWhiteMat(&s, pixels, alpha, width, height, format, capacity, alphaCapacity);
}

bool LoadPngWhiteMat(Classes::TStream* stream, unsigned char** pixels, int* width, int* height, VXPixFormat format,
                     std::size_t capacity) {
  T2VXStream s(stream);
  return LoadPngWhiteMat(&s, pixels, width, height, format, capacity);
}

bool SavePng(Classes::TStream* stream, const unsigned char* pixels, const unsigned char* alpha, int width,
             int height, VXPixFormat format) {
  T2VXStream s(stream);
  return SavePng(&s, pixels, alpha, width, height, format);
}

bool SavePng(Classes::TStream* stream, const unsigned char* pixels, int width, int height, VXPixFormat format) {
  T2VXStream s(stream);
  return SavePng(&s, pixels, width, height, format);
}
