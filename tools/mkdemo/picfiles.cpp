#include "tools/mkdemo/picfiles.h"

#include <cstdio>
#include <jpeglib.h>

#include <stdexcept>
#include <vector>

#include "core/vxstream.h"
#include "graphics/vxpng.h"

namespace mkdemo {

namespace {

void PutLE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// libjpeg ends the program on an error by default; a failed write here is a fault of the builder, so that is what
// it should do, but with a message of ours.
[[noreturn]] void JpegFail(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  std::fprintf(stderr, "mkdemo: JPEG writer: %s\n", message);
  std::exit(1);
}

}  // namespace

std::string PngFile(Picture& picture, bool withAlpha) {
  const std::string pixels = picture.PackedBgrx();
  const std::string alpha = picture.PackedAlpha();
  VXMemoryStream stream;
  if (!SavePng(&stream, reinterpret_cast<const unsigned char*>(pixels.data()),
               withAlpha ? reinterpret_cast<const unsigned char*>(alpha.data()) : nullptr, picture.Width(),
               picture.Height(), pf32_888))
    throw std::runtime_error("the PNG writer failed");
  return std::string(reinterpret_cast<const char*>(stream.GetMemory()), static_cast<std::size_t>(stream.GetSize()));
}

std::string JpegFile(Picture& picture, int quality) {
  const std::string pixels = picture.PackedBgrx();
  jpeg_compress_struct info{};
  jpeg_error_mgr error{};
  info.err = jpeg_std_error(&error);
  error.error_exit = JpegFail;
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(picture.Width());
  info.image_height = static_cast<JDIMENSION>(picture.Height());
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  jpeg_start_compress(&info, TRUE);
  std::vector<unsigned char> row(static_cast<std::size_t>(picture.Width()) * 3);
  while (info.next_scanline < info.image_height) {
    const char* src = pixels.data() + static_cast<std::size_t>(info.next_scanline) * picture.Width() * 4;
    for (int x = 0; x < picture.Width(); ++x) {
      row[x * 3] = static_cast<unsigned char>(src[x * 4 + 2]);
      row[x * 3 + 1] = static_cast<unsigned char>(src[x * 4 + 1]);
      row[x * 3 + 2] = static_cast<unsigned char>(src[x * 4]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  std::string out(reinterpret_cast<const char*>(buffer), size);
  std::free(buffer);
  return out;
}

namespace {

// The file header and BITMAPINFOHEADER of an uncompressed bottom-up picture whose rows are `stride` bytes, with
// `paletteEntries` RGBQUAD entries following.
std::string BmpHeaders(int width, int height, int bits, int stride, int paletteEntries) {
  const std::uint32_t pixelOffset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteEntries);
  const std::uint32_t dataSize = static_cast<std::uint32_t>(stride) * height;
  std::string out;
  out += "BM";
  PutLE(out, pixelOffset + dataSize, 4);
  PutLE(out, 0, 4);
  PutLE(out, pixelOffset, 4);
  PutLE(out, 40, 4);  // BITMAPINFOHEADER
  PutLE(out, static_cast<std::uint32_t>(width), 4);
  PutLE(out, static_cast<std::uint32_t>(height), 4);
  PutLE(out, 1, 2);
  PutLE(out, static_cast<std::uint32_t>(bits), 2);
  PutLE(out, 0, 4);  // no compression
  PutLE(out, dataSize, 4);
  for (int i = 0; i < 2; ++i) PutLE(out, 0, 4);  // resolutions
  for (int i = 0; i < 2; ++i) PutLE(out, static_cast<std::uint32_t>(paletteEntries), 4);  // colours used, important
  return out;
}

}  // namespace

std::string BmpFile(Picture& picture) {
  const std::string pixels = picture.PackedBgrx();
  const int width = picture.Width(), height = picture.Height();
  const int stride = (width * 3 + 3) / 4 * 4;
  std::string out = BmpHeaders(width, height, 24, stride, 0);
  for (int y = height - 1; y >= 0; --y) {
    const char* src = pixels.data() + static_cast<std::size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) out.append(src + x * 4, 3);
    out.append(static_cast<std::size_t>(stride - width * 3), '\0');
  }
  return out;
}

std::string GreyBmpFile(const TZoAlpha& plane) {
  const int width = plane.GetWidth(), height = plane.GetHeight();
  const int stride = (width + 3) / 4 * 4;
  std::string out = BmpHeaders(width, height, 8, stride, 256);
  for (int i = 0; i < 256; ++i) out.append({static_cast<char>(i), static_cast<char>(i), static_cast<char>(i), 0});
  for (int y = height - 1; y >= 0; --y) {
    out.append(reinterpret_cast<const char*>(plane.At(0, y)), static_cast<std::size_t>(width));
    out.append(static_cast<std::size_t>(stride - width), '\0');
  }
  return out;
}

}  // namespace mkdemo
