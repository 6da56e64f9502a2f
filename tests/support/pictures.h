// Picture fixtures built in code: BMP and GNY bytes written here, PNG and JPEG bytes through libpng and libjpeg,
// libjpeg's own decode as the reference, the pixels a reader should produce in each format, and seed files for the
// fuzz targets.
#pragma once

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "core/vxstream.h"
#include "graphics/vxgny.h"
#include "graphics/vxrgbcopy.h"
#include "support/seeds.h"

namespace pictures {

constexpr VXPixFormat kAllFormats[] = {pf16_565, pf16_555, pf16_5551, pf16_4444, pf24_888, pf32_888, pf32_8888};

inline bool CarriesAlpha(VXPixFormat f) { return f == pf32_8888 || f == pf16_4444; }

// The bytes a reader must produce for colours 0xAARRGGBB (top row first) in format f, by the single-value rule.
inline std::vector<unsigned char> Expected(VXPixFormat f, const std::vector<std::uint32_t>& argb) {
  const int bpp = _FormatAndDepthTable[f];
  std::vector<unsigned char> out(argb.size() * bpp);
  for (std::size_t i = 0; i < argb.size(); ++i)
    _PointSetProcTable[bpp](out.data() + i * bpp, _ConvertRGBtoProcTable[f](argb[i]));
  return out;
}

inline std::uint32_t Argb(unsigned a, unsigned r, unsigned g, unsigned b) { return a << 24 | r << 16 | g << 8 | b; }

// A memory stream over a copy of the bytes, positioned at 0.
struct Bytes {
  explicit Bytes(const std::string& s) : stream(s.data(), static_cast<int>(s.size())) {}
  VXMemoryStream stream;
};

// ---- BMP

inline void Put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
inline void Put16(std::string& s, std::uint16_t v) {
  s.push_back(static_cast<char>(v));
  s.push_back(static_cast<char>(v >> 8));
}

struct Bmp {
  int width, height, bits;
  std::uint32_t coloursUsed = 0, compression = 0, infoSize = 40, gap = 0;
  std::vector<RGBQUAD> palette;  // written as is (8-bit)
  std::string rows;              // stored rows in file order, padding included
  std::uint32_t offset = 0;      // 0: just after the palette and the gap
};

inline std::string MakeBmp(const Bmp& b) {
  const std::uint32_t offset = b.offset != 0 ? b.offset : 14 + b.infoSize + 4 * b.palette.size() + b.gap;
  std::string s = "BM";
  Put32(s, offset + b.rows.size());
  Put32(s, 0);
  Put32(s, offset);
  Put32(s, b.infoSize);
  Put32(s, static_cast<std::uint32_t>(b.width));
  Put32(s, static_cast<std::uint32_t>(b.height));
  Put16(s, 1);
  Put16(s, static_cast<std::uint16_t>(b.bits));
  Put32(s, b.compression);
  Put32(s, b.rows.size());
  Put32(s, 2835);
  Put32(s, 2835);
  Put32(s, b.coloursUsed);
  Put32(s, 0);
  s.append(b.infoSize - 40, '\x11');
  for (const RGBQUAD& q : b.palette) s.append(reinterpret_cast<const char*>(&q), 4);
  s.append(b.gap, '\x22');
  return s + b.rows;
}

// Stored rows of a 24-bit picture from colours 0x00RRGGBB given top row first.
inline std::string Rows24(int w, int h, const std::vector<std::uint32_t>& rgb, bool bottomUp = true) {
  std::string rows;
  for (int i = 0; i < h; ++i) {
    const int y = bottomUp ? h - 1 - i : i;
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = rgb[y * w + x];
      rows += {static_cast<char>(c), static_cast<char>(c >> 8), static_cast<char>(c >> 16)};
    }
    rows.append((4 - w * 3 % 4) % 4, '\x7F');
  }
  return rows;
}

inline std::string Rows8(int w, int h, const std::vector<unsigned char>& idx) {
  std::string rows;
  for (int y = h - 1; y >= 0; --y) {
    rows.append(reinterpret_cast<const char*>(idx.data() + y * w), w);
    rows.append((4 - w % 4) % 4, '\x7F');
  }
  return rows;
}

// ---- GNY

// A scrambled file: the two sides as stored, then the triples (blue, green, red) of 0x00RRGGBB colours.
inline std::string MakeGny(std::uint32_t w, std::uint32_t h, const std::vector<std::uint32_t>& rgb) {
  std::vector<unsigned char> b;
  for (std::uint32_t v : {w, h})
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  for (std::uint32_t c : rgb) b.insert(b.end(), {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16)});
  XorGnyBuffer(b.data(), static_cast<int>(b.size()), GnyKey(0), 0);
  return std::string(b.begin(), b.end());
}


// ---- PNG

struct PngSpec {
  int width, height, colourType, bitDepth;
  bool interlace = false;
  std::vector<png_color> palette;
  std::vector<unsigned char> rows;  // packed rows as libpng takes them, top first
};

inline void PngAppend(png_structp png, png_bytep data, std::size_t n) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), n);
}

inline std::string MakePng(const PngSpec& s) {
  std::string out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) std::abort();  // a fixture that libpng refuses is a broken test
  png_set_write_fn(png, &out, PngAppend, nullptr);
  png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colourType,
               s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), static_cast<int>(s.palette.size()));
  png_set_check_for_invalid_index(png, 0);  // fixtures may hold indexes past the palette on purpose
  png_write_info(png, info);
  const std::size_t rowBytes = s.rows.size() / s.height;
  std::vector<png_bytep> rows;
  for (int y = 0; y < s.height; ++y) rows.push_back(const_cast<png_bytep>(s.rows.data() + y * rowBytes));
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---- JPEG

struct JpegSpec {
  int width, height, components;  // 1 grey, 3 RGB, 4 CMYK
  bool progressive = false;
  std::vector<unsigned char> samples;  // interleaved, top first
};

inline std::string MakeJpeg(const JpegSpec& s) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = s.width;
  c.image_height = s.height;
  c.input_components = s.components;
  c.in_color_space = s.components == 1 ? JCS_GRAYSCALE : s.components == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 85, TRUE);
  if (s.progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(s.samples.data() + c.next_scanline * s.width * s.components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::string out(reinterpret_cast<char*>(mem), size);
  std::free(mem);
  return out;
}

// libjpeg's own decode of the bytes as 0x00RRGGBB values, top row first.
inline std::vector<std::uint32_t> DecodeJpegReference(const std::string& bytes) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_RGB;
  jpeg_start_decompress(&d);
  std::vector<unsigned char> row(d.output_width * 3);
  std::vector<std::uint32_t> out;
  while (d.output_scanline < d.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&d, &r, 1);
    for (unsigned x = 0; x < d.output_width; ++x) out.push_back(Argb(0, row[3 * x], row[3 * x + 1], row[3 * x + 2]));
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return out;
}

}  // namespace pictures
