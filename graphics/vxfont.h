// Pooled fonts. A `VXFont` holds font parameters (character set, face name, height, pitch, style, quality); once
// created it holds a font from a process-wide pool in which equal parameters share one font with a reference
// count. Between `StartTextOut` and `EndTextOut` it writes text on one device context (a platform::font::
// TextTarget, such as the one a DIB-backed bitmap lends).
//
// Rules that callers rely on:
// - Face names are CP932 and kept whole by the object; the pool and the font see at most 31 bytes of them, cut
//   on a character boundary. "Default" in any letter case asks for the UI face, but names compare exactly (case
//   counts) when the pool looks for an equal entry.
// - Parameter changes while created swap the pooled font at once, also inside a running text output; while not
//   created they only take effect at the next `Create`.
// - Colours are 0x00RRGGBB; the device context receives 0x00BBGGRR.
// - Failures are results: `Create` false when no font can be made; `StartTextOut`, `Write` and `GetExtentPoint`
//   false without a font or outside a text output (nothing is drawn then).
// - A text output keeps a pointer to its device context: end it (EndTextOut, Release or destruction of the font)
//   before the context's owner goes away.
// - The pool is locked, but one `VXFont` object is used by one thread at a time.
#pragma once

#include <bitset>
#include <cstdint>
#include <memory>

#include "core/vxstring.h"
#include "platform/font.h"
#include "platform/vclfont.h"

using HFONT = std::shared_ptr<const platform::font::Font>;
using VXSize = platform::font::Extent;

enum VXFontPitch : std::uint8_t { vfpDefault = 0, vfpVariable = 1, vfpFixed = 2 };
enum VXFontQuality : std::uint8_t {
  vfqDefault = 0,
  vfqDraft = 1,
  vfqProof = 2,
  vfqNonAntialiased = 3,
  vfqAntialiased = 4,
};

// Bits of the style set.
enum VXFontStyleBit : int { vfsBold = 0, vfsItalic = 1, vfsUnderline = 2, vfsStrikeOut = 3 };
using VXFontStyle = std::bitset<4>;

struct VXFontParam {
  unsigned char charset = platform::font::kShiftJisCharset;
  VXString name = "Default";
  int height = 0;  // negative: character height in pixels; positive: cell height; 0: default
  VXFontPitch pitch = vfpDefault;
  VXFontStyle style;
  VXFontQuality quality = vfqDefault;
};

// The longest face name the pool and the font record keep, in bytes.
inline constexpr int kVXFontNameBytes = 31;

// The name cut to kVXFontNameBytes bytes without splitting a double-byte character.
std::string VXFontRecordName(const VXString& name);
// The font record for a set of parameters (name cut, "Default" as the UI face).
platform::font::LogFont VXMakeLogFont(const VXFontParam& param);
// Character set, name, height, pitch and style of a framework font, with the given quality.
VXFontParam VXFontParamFromTFont(const Graphics::TFont& font, VXFontQuality quality);

class VXFont {
public:
  VXFont() = default;
  explicit VXFont(const VXFontParam& param) : param_(param) {}
  VXFont(const VXFont& other);  // holds the same pooled font when `other` is created
  ~VXFont();
  VXFont& operator=(const VXFont& other);
  VXFont& operator=(const VXFontParam& param);

  bool Create();
  void Release();
  bool IsCreated() const { return handle_ != nullptr; }
  const HFONT& GetHandle() const { return handle_; }
  // Takes a font for the current parameters when one is held; otherwise does nothing.
  void RenewHandle();

  unsigned char GetCharset() const { return param_.charset; }
  void SetCharset(unsigned char charset);
  const VXString& GetName() const { return param_.name; }
  void SetName(const VXString& name);
  int GetHeight() const { return param_.height; }
  void SetHeight(int height);
  VXFontPitch GetPitch() const { return param_.pitch; }
  void SetPitch(VXFontPitch pitch);
  VXFontStyle GetStyle() const { return param_.style; }
  void SetStyle(VXFontStyle style);
  VXFontQuality GetQuality() const { return param_.quality; }
  void SetQuality(VXFontQuality quality);
  const VXFontParam& GetParam() const { return param_; }
  // Bits outside 0..3 are answered false and ignored.
  bool CheckStyle(int bit) const;
  void AddStyle(int bit);
  void DelStyle(int bit);

  void CopyFromTFont(const Graphics::TFont* font);  // the quality stays
  void CopyFromTFont(const Graphics::TFont* font, VXFontQuality quality);
  // The parameters of another font; ignored for none or the font held.
  void CopyFromHandle(const HFONT& font);

  bool StartTextOut(platform::font::TextTarget* dc, std::uint32_t colour);
  void EndTextOut();
  bool IsTextOut() const { return dc_ != nullptr; }
  void SetColor(std::uint32_t colour);
  // The first n bytes of text, the top-left corner of its cell at (x, y).
  bool Write(int x, int y, const char* text, int n);
  bool Write(int x, int y, const VXString& text);
  bool GetExtentPoint(const char* text, int n, VXSize* size) const;
  bool GetExtentPoint(const VXString& text, VXSize* size) const;

private:
  // Puts back the font that the running text output replaced, and selects the held one again.
  void Deselect();
  void Reselect();

  VXFontParam param_;
  HFONT handle_;
  platform::font::TextTarget* dc_ = nullptr;
  HFONT previous_;
};

// Diagnostics: the number of pool entries, and the parameters of up to `max` of them in pool order.
int _VXDBG_GetFontSize();
int _VXDBG_GetFontList(VXFontParam* out, int max);
