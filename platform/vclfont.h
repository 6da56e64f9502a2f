// The framework's font description: what a form resource writes under `Font.*` and what controls hand to the
// font layer. It only describes a font; platform/font.h makes one from it.
#pragma once

#include <bitset>
#include <cstdint>
#include <string>

namespace Graphics {

enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };

// Bit numbers of TFontStyles.
enum TFontStyle : std::uint8_t { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };
using TFontStyles = std::bitset<4>;

class TFont {
public:
  static constexpr int kPixelsPerInch = 96;

  void Assign(const TFont& other) { *this = other; }

  const std::string& GetName() const { return name_; }  // CP932
  void SetName(const std::string& name) { name_ = name; }
  // Negative: the character (em) height in pixels; positive: the cell height.
  int GetHeight() const { return height_; }
  void SetHeight(int height) { height_ = height; }
  // In points at 96 pixels per inch; a positive size is a negative height.
  int GetSize() const { return -height_ * 72 / kPixelsPerInch; }
  void SetSize(int points) { height_ = -points * kPixelsPerInch / 72; }
  std::uint8_t GetCharset() const { return charset_; }
  void SetCharset(std::uint8_t charset) { charset_ = charset; }
  TFontPitch GetPitch() const { return pitch_; }
  void SetPitch(TFontPitch pitch) { pitch_ = pitch; }
  TFontStyles GetStyle() const { return style_; }
  void SetStyle(TFontStyles style) { style_ = style; }
  bool HasStyle(TFontStyle s) const { return style_.test(s); }
  std::uint32_t GetColor() const { return color_; }  // 0x00BBGGRR
  void SetColor(std::uint32_t color) { color_ = color; }

private:
  std::string name_ = "Default";
  int height_ = -12;
  std::uint8_t charset_ = 1;  // the default character set
  TFontPitch pitch_ = fpDefault;
  TFontStyles style_;
  std::uint32_t color_ = 0;
};

}  // namespace Graphics
