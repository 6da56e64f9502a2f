// Fonts and text drawing on FreeType and fontconfig: the part of a Windows-style graphics interface that the game's
// text uses. A `LogFont` describes a font the way the game's data does (face name, character set, height, weight,
// italic, underline, strike-out, quality, pitch); `Font::Create` finds and opens a matching face; a `TextTarget` is a
// "device context" over pixel memory into which a selected font draws CP932 text.
//
// Rules that callers rely on:
// - Heights: negative is the em height in pixels, positive the cell height (ascent + descent), 0 a default cell of
//   16 pixels. A non-zero width is the average character width; 0 keeps the face's own proportions.
// - Face names are CP932 bytes. The Windows Japanese faces map to the IPA faces: "ＭＳ ゴシック", "MS Gothic" and
//   "MS UI Gothic" to IPAGothic, "ＭＳ Ｐゴシック" to IPAPGothic, "ＭＳ 明朝" to IPAMincho, "ＭＳ Ｐ明朝" to IPAPMincho;
//   "Default" (and an empty name) is the UI face; ASCII letters of these names match without regard to case. Other
//   names go to fontconfig as they are (as UTF-8), with the character set's language; fontconfig always offers
//   some face, as the Windows font mapper does.
// - Quality 4 (antialiased) draws anti-aliased coverage; every other quality draws monochrome (0 or full).
// - Bold (weight >= 600) and italic are synthesised when the face found has neither.
// - Text is CP932; bytes that do not decode (also a lead byte cut at the end) draw the replacement character
//   U+30FB, and a character the face lacks draws it as well.
// - Drawing clips to the target, at any position. Text is placed by the top of its cell: the baseline is at
//   y + ascent. Targets are 8-bit grey, 24-bit BGR, 32-bit BGRX, or 16-bit 565 / 555 words.
// - Rendered glyphs are kept in a process-wide cache bounded in bytes, shared by every font.
// - Every function may be called from any thread. Fonts are immutable once made; a `TextTarget` itself is not
//   synchronised (one thread draws into one target at a time).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace platform::font {

// Character sets of the font record (the Windows values).
inline constexpr uint8_t kAnsiCharset = 0;
inline constexpr uint8_t kDefaultCharset = 1;
inline constexpr uint8_t kShiftJisCharset = 128;

// Qualities of the font record.
inline constexpr uint8_t kDefaultQuality = 0;
inline constexpr uint8_t kDraftQuality = 1;
inline constexpr uint8_t kProofQuality = 2;
inline constexpr uint8_t kNonAntialiasedQuality = 3;
inline constexpr uint8_t kAntialiasedQuality = 4;

// Low two bits of the pitch-and-family byte.
inline constexpr uint8_t kDefaultPitch = 0;
inline constexpr uint8_t kFixedPitch = 1;
inline constexpr uint8_t kVariablePitch = 2;

inline constexpr int32_t kNormalWeight = 400;
inline constexpr int32_t kBoldWeight = 700;

// Em heights above this many pixels are refused: no text of the game comes near it, and it bounds the memory one
// glyph can take.
inline constexpr int kMaxEmPixels = 1024;

struct LogFont {
  int32_t height = 0;
  int32_t width = 0;
  int32_t weight = kNormalWeight;  // 0 means normal
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  uint8_t charset = kShiftJisCharset;
  uint8_t quality = kDefaultQuality;
  uint8_t pitchAndFamily = kDefaultPitch;
  std::string faceName;  // CP932
};

// Where a face was found: the font file, the face's index in it and its family name.
struct FaceLocation {
  std::string file;
  int index = 0;
  std::string family;
  bool fixedPitch = false;  // monospaced, or dual-width (half- and full-width cells)
};

// The fontconfig family that a CP932 face name maps to, or the name itself (as UTF-8) when it is not mapped.
std::string MappedFamily(std::string_view faceName);

// Finds the face for a font record through fontconfig; nothing when fontconfig offers no font file at all.
std::optional<FaceLocation> ResolveFace(const LogFont& log);

struct TextMetrics {
  int height = 0;  // ascent + descent: the cell
  int ascent = 0;
  int descent = 0;
  int internalLeading = 0;  // cell height minus em height
  int externalLeading = 0;
  int aveCharWidth = 0;
  int maxCharWidth = 0;
  int weight = 0;
  bool italic = false;
  bool underlined = false;
  bool struckOut = false;
  uint8_t pitchAndFamily = 0;
  uint8_t charset = 0;
};

struct Extent {
  int cx = 0;
  int cy = 0;
};

class Font {
public:
  // Opens the face for `log`; null when no face can be found or opened, or the size is out of range.
  static std::shared_ptr<const Font> Create(const LogFont& log);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  const LogFont& Log() const { return log_; }
  const FaceLocation& Face() const { return location_; }
  const TextMetrics& Metrics() const { return metrics_; }
  int EmPixels() const;
  bool SynthesisedBold() const;
  bool SynthesisedItalic() const;
  bool AntiAliased() const;

  // Width of the text's advances and the cell height.
  Extent MeasureText(std::string_view cp932) const;

private:
  friend class TextTarget;
  struct Impl;
  Font(const LogFont& log, FaceLocation location, std::unique_ptr<Impl> impl);

  LogFont log_;
  FaceLocation location_;
  std::unique_ptr<Impl> impl_;
  TextMetrics metrics_;
};

enum class TargetFormat : uint8_t {
  kGrey8,   // one byte: grey (or alpha) value; colours draw as their mean
  kBgr24,   // B, G, R
  kBgrx32,  // B, G, R, X (X is left as it is)
  kRgb565,  // 16-bit little-endian words, red in the top five bits
  kRgb555,  // 16-bit little-endian words, red in bits 10-14; bit 15 is left as it is
};

// Pixel memory: `pixels` is row 0 (the top row); `pitch` is the distance in bytes from one row to the next,
// negative for memory stored bottom-up.
struct TargetPixels {
  uint8_t* pixels = nullptr;
  ptrdiff_t pitch = 0;
  TargetFormat format = TargetFormat::kBgrx32;
  int width = 0;
  int height = 0;
};

enum class BackgroundMode : uint8_t { kTransparent = 1, kOpaque = 2 };

// A device context over pixel memory. Colours are Windows colour values 0x00BBGGRR.
class TextTarget {
public:
  TextTarget() = default;
  // Throws std::invalid_argument when the rows do not fit the pitch or the pixels are missing.
  explicit TextTarget(const TargetPixels& pixels);

  const TargetPixels& Pixels() const { return pixels_; }
  // Moves the target onto other memory (a resized bitmap); the font and colours stay.
  void SetPixels(const TargetPixels& pixels);

  // Selects a font and returns the one it replaced. The target keeps the font alive while it is selected.
  std::shared_ptr<const Font> SelectFont(std::shared_ptr<const Font> font);
  const std::shared_ptr<const Font>& SelectedFont() const { return font_; }

  uint32_t SetTextColor(uint32_t colour);  // returns the previous colour
  uint32_t TextColor() const { return textColour_; }
  uint32_t SetBackgroundColor(uint32_t colour);
  uint32_t BackgroundColor() const { return backgroundColour_; }
  BackgroundMode SetBackgroundMode(BackgroundMode mode);
  BackgroundMode GetBackgroundMode() const { return backgroundMode_; }

  // Draws the text with the selected font, its cell's top-left corner at (x, y). In opaque mode the cell box of the
  // whole text is filled with the background colour first. False when no font is selected.
  bool TextOut(int x, int y, std::string_view cp932);
  // The text's width and cell height in the selected font; false when no font is selected.
  bool GetTextExtentPoint(std::string_view cp932, Extent* extent) const;
  bool GetTextMetrics(TextMetrics* metrics) const;

private:
  TargetPixels pixels_{};
  std::shared_ptr<const Font> font_;
  uint32_t textColour_ = 0x000000;
  uint32_t backgroundColour_ = 0xFFFFFF;
  BackgroundMode backgroundMode_ = BackgroundMode::kOpaque;
};

struct GlyphCacheStats {
  uint64_t hits = 0;
  uint64_t misses = 0;
  size_t glyphs = 0;
  size_t bytes = 0;
  size_t limit = 0;
};

GlyphCacheStats GetGlyphCacheStats();
void ClearGlyphCache();  // also resets the counters
// Bounds the cache; the oldest glyphs go first. Returns the previous bound.
size_t SetGlyphCacheLimit(size_t bytes);

}  // namespace platform::font
