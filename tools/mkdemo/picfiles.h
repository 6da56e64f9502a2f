// The picture files of the demo game as bytes: PNG through the graphics library's writer, JPEG through libjpeg and
// BMP written here (the graphics library reads BMP but has no writer). Nothing in them depends on the time or
// the machine: the same picture gives the same bytes.
#pragma once

#include <string>

#include "tools/mkdemo/canvas.h"

namespace mkdemo {

std::string PngFile(Picture& picture, bool withAlpha);
std::string JpegFile(Picture& picture, int quality = 90);
// Bottom-up rows of B, G, R padded to four bytes, as the BMP reader of the game expects.
std::string BmpFile(Picture& picture);
// An 8-bit BMP of the plane's values with a grey palette (entry i is i, i, i): it reads back as the same values
// through either its palette levels or its indices.
std::string GreyBmpFile(const TZoAlpha& plane);

}  // namespace mkdemo
