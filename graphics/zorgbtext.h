// A panel that shows one line of CP932 text. The text is rendered through a pooled font into a buffer of the
// panel's own, once per change of text, font, colour or layout; every frame the panel tree only composes that
// buffer like any picture.
//
// Two modes:
// - Plain: the text is drawn monochrome in the text colour into a DIB-backed bitmap whose background is the key
//   colour (the text colour's complement in the low 24 bits); the panel shows the bitmap through that colour key.
// - Anti-aliased (`AntiAliase`): the text is drawn white at twice the size into a DIB-backed grey plane, reduced
//   2 x 2 into a coverage plane of the panel's size (strength by `AAShade`), and drawn as the text colour weighted
//   by that coverage. A colour change in this mode needs no new rendering.
//
// Layout counts bytes, not glyph advances: every byte is a half-width cell of FontSize / 2 pixels (a double-byte
// character two of them), which is what a fixed-pitch Japanese face with half-width glyphs of half an em draws.
// With `Centering` the line is centred on that count; otherwise it starts at the top-left corner.
//
// Life cycle: the screen sets the text and properties, then calls `MakeBuffer` with the display's pixel format.
// Until then setters only store. The buffers keep the panel's size at the time they were made. Failures to make a
// buffer are false results that leave the panel without picture (it then draws nothing); nothing throws.
// The glyphs come from the font layer's process-wide cache, so redrawing a line that grows by one character (a
// typewriter message) renders only the new glyph.
#pragma once

#include <cstdint>
#include <string>

#include "graphics/vxfont.h"
#include "graphics/vxrgbraw.h"
#include "graphics/zorgbpanel.h"
#include "platform/vclfont.h"

class TZoAlpha;
class TZoAlphaDib;
class TZoRGBDib;

// Reduces `large` 2 x 2 into `cover` (over the part both hold): the sum s of the four values becomes, by shade,
// 0: s / 4; 1: s x 3 / 8; 2: s / 2, at most 255. False for a shade outside 0..2 or a plane not created.
bool ZoReduceCoverage(const TZoAlpha& large, TZoAlpha& cover, int shade);

class TZoRGBText : public TZoRGBPanel {
public:
  static constexpr std::uint32_t kWhite = 0xFFFFFF;

  explicit TZoRGBText(Classes::TComponent* owner);              // 160 x 24, AutoSize clear
  TZoRGBText(Classes::TComponent* owner, TZoRGBPanel* parent);  // the same
  ~TZoRGBText() override;

  // ---- Buffers
  // Stores the format of the plain buffer, makes the buffers and draws the text; false when a buffer cannot be
  // made.
  bool MakeBuffer(VXPixFormat pf);
  // Makes the buffers of the current mode at the panel's current size (releasing old ones first, and redrawing
  // when there were old ones).
  bool CreateBuffer();
  void ReleaseBuffer();
  bool HasBuffer() const { return buffer_; }
  // Releases the font and makes it again from the framework font at FontSize (doubled in anti-aliased mode),
  // fixed pitch, without smoothing.
  void MakeTextFont();
  // Renders the text into the buffer and marks the panel dirty; does nothing without a buffer.
  void DrawTextA();
  void ChangeState();  // marks the panel dirty when it is created and visible

  // ---- Published properties
  // The text (CP932); an unchanged text is not rendered again.
  void SetText(const std::string& text) override;
  std::uint32_t GetTextColor() const { return textColor_; }  // 0x00RRGGBB
  void SetTextColor(std::uint32_t colour);                    // the top byte is ignored
  int GetTextColorRed() const { return static_cast<int>(textColor_ >> 16 & 0xFF); }
  int GetTextColorGreen() const { return static_cast<int>(textColor_ >> 8 & 0xFF); }
  int GetTextColorBlue() const { return static_cast<int>(textColor_ & 0xFF); }
  void SetTextColorRed(int v);  // the low 8 bits of v
  void SetTextColorGreen(int v);
  void SetTextColorBlue(int v);
  // The background of the plain buffer and the panel's colour key: the text colour XOR 0xFFFFFF.
  std::uint32_t GetKeyColor() const { return keyColor_; }
  bool GetAntiAliase() const { return antiAliase_; }
  void SetAntiAliase(bool on);  // with a buffer, the buffers are made again in the other mode
  int GetFontSize() const { return fontSize_; }
  void SetFontSize(int n);  // rounded down to even
  Graphics::TFont* GetFont() { return &vclFont_; }
  const Graphics::TFont* GetFont() const { return &vclFont_; }
  void SetFont(const Graphics::TFont* font);  // copied; null is ignored
  bool GetCentering() const { return centering_; }
  void SetCentering(bool on);
  int GetAAShade() const { return aaShade_; }
  void SetAAShade(int n);  // 0, 1 or 2; others ignored

  VXPixFormat GetTextPixFormat() const { return pixFormat_; }
  const VXFont& GetTextFont() const { return font_; }
  // The top-left corner of the text's cell in panel pixels.
  int TextX() const;
  int TextY() const;

  // OnDraw first (true ends there). Anti-aliased: the text colour through the coverage plane, and true. Plain:
  // false, so that the panel draws its buffer through the colour key.
  bool CallOnDraw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) override;

private:
  bool CreatePlainBuffer();
  bool CreateAntiAliasedBuffer();
  void DeleteBuffers();
  void DrawPlain();
  void DrawAntiAliased();
  void Refont();  // MakeTextFont and DrawTextA when there is a buffer

  bool buffer_ = false;
  bool antiAliase_ = false;
  std::uint32_t textColor_ = kWhite;
  std::uint32_t keyColor_ = 0;
  TZoRGBDib* plain_ = nullptr;
  TZoAlpha* cover_ = nullptr;
  TZoAlphaDib* large_ = nullptr;
  VXFont font_;
  int fontSize_ = 24;
  Graphics::TFont vclFont_;
  VXPixFormat pixFormat_ = pfNone;
  bool centering_ = false;
  int aaShade_ = 0;
};
