#include "platform/font.h"

#include "platform/text.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform::font {
namespace {

// ---------------------------------------------------------------------------------------------------------------
// Face names and character sets

struct FaceAlias {
  std::string_view name;  // UTF-8; ASCII letters compare without regard to case
  std::string_view family;
};

constexpr std::string_view kUiFamily = "IPAGothic";

constexpr FaceAlias kFaceAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic"},   {"MS Gothic", "IPAGothic"},   {"MS UI Gothic", kUiFamily},
    {"ＭＳ Ｐゴシック", "IPAPGothic"}, {"MS PGothic", "IPAPGothic"}, {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},       {"ＭＳ Ｐ明朝", "IPAPMincho"}, {"MS PMincho", "IPAPMincho"},
    {"Default", kUiFamily},           {"", kUiFamily},
};

struct CharsetLanguage {
  uint8_t charset;
  const char* language;
};

constexpr CharsetLanguage kCharsetLanguages[] = {
    {kAnsiCharset, "en"}, {kShiftJisCharset, "ja"}, {129, "ko"}, {134, "zh-cn"},
    {136, "zh-tw"},       {161, "el"},              {162, "tr"}, {204, "ru"},
};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
           return lower(x) == lower(y);
         });
}

const char* LanguageOf(uint8_t charset) {
  for (const CharsetLanguage& c : kCharsetLanguages)
    if (c.charset == charset) return c.language;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Shared FreeType state: the library, open faces and the glyph cache behind one lock.

struct GlyphKey {
  uint32_t face;
  uint32_t emX;
  uint32_t emY;
  uint32_t style;  // RenderStyle bits
  char32_t code;
  bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const {
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint64_t v : {uint64_t{k.face}, uint64_t{k.emX}, uint64_t{k.emY}, uint64_t{k.style}, uint64_t{k.code}})
      h = (h ^ v) * 0x100000001b3ull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

// A rendered glyph: coverage 0..255 (monochrome glyphs hold only 0 and 255), placed relative to the pen on the
// baseline; `top` counts upwards.
struct Glyph {
  int left = 0;
  int top = 0;
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;
};

using GlyphPtr = std::shared_ptr<const Glyph>;

enum RenderStyle : uint32_t { kMono = 1, kBold = 2, kItalic = 4 };

constexpr size_t kDefaultCacheLimit = 4u << 20;
constexpr size_t kGlyphOverhead = sizeof(Glyph) + 64;  // the entry's list and map nodes

class GlyphCache {
public:
  GlyphPtr Find(const GlyphKey& key) {
    auto it = index_.find(key);
    if (it == index_.end()) {
      ++misses_;
      return nullptr;
    }
    ++hits_;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second;
  }

  void Insert(const GlyphKey& key, GlyphPtr glyph) {
    bytes_ += Cost(*glyph);
    order_.emplace_front(key, std::move(glyph));
    index_[key] = order_.begin();
    Trim();
  }

  void Clear() {
    order_.clear();
    index_.clear();
    bytes_ = 0;
    hits_ = misses_ = 0;
  }

  size_t SetLimit(size_t limit) {
    std::swap(limit, limit_);
    Trim();
    return limit;
  }

  GlyphCacheStats Stats() const { return {hits_, misses_, index_.size(), bytes_, limit_}; }

private:
  static size_t Cost(const Glyph& g) { return kGlyphOverhead + g.coverage.size(); }

  // The newest glyph always stays, so that a glyph larger than the bound is still drawn from the cache once.
  void Trim() {
    while (bytes_ > limit_ && order_.size() > 1) {
      bytes_ -= Cost(*order_.back().second);
      index_.erase(order_.back().first);
      order_.pop_back();
    }
  }

  std::list<std::pair<GlyphKey, GlyphPtr>> order_;
  std::unordered_map<GlyphKey, std::list<std::pair<GlyphKey, GlyphPtr>>::iterator, GlyphKeyHash> index_;
  size_t bytes_ = 0;
  size_t limit_ = kDefaultCacheLimit;
  uint64_t hits_ = 0;
  uint64_t misses_ = 0;
};

struct OpenFace {
  uint32_t id;
  FT_Face face;
};

class FreeType {
public:
  FreeType() {
    if (FT_Init_FreeType(&library_) != 0) throw std::runtime_error("FreeType cannot start");
  }

  std::mutex& Lock() { return mutex_; }
  GlyphCache& Cache() { return cache_; }

  // Opens each font file's face once; faces stay open for the life of the process. Lock held.
  const OpenFace* Open(const FaceLocation& where) {
    auto key = std::make_pair(where.file, where.index);
    if (auto it = faces_.find(key); it != faces_.end()) return &it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library_, where.file.c_str(), where.index, &face) != 0) return nullptr;
    if (!FT_IS_SCALABLE(face)) {
      FT_Done_Face(face);
      return nullptr;
    }
    return &faces_.emplace(key, OpenFace{static_cast<uint32_t>(faces_.size()), face}).first->second;
  }

private:
  std::mutex mutex_;
  FT_Library library_ = nullptr;
  std::map<std::pair<std::string, int>, OpenFace> faces_;
  GlyphCache cache_;
};

// Never destroyed: fonts held by other long-lived objects may be released during the process's exit.
FreeType& Shared() {
  static FreeType* shared = new FreeType;
  return *shared;
}

int RoundDiv(int64_t num, int64_t den) { return static_cast<int>((num * 2 + (num >= 0 ? den : -den)) / (den * 2)); }

// ---------------------------------------------------------------------------------------------------------------
// Decoding CP932 text into code points

std::u32string CodePoints(std::string_view cp932) {
  std::u16string wide = text::Cp932ToUtf16(cp932);
  std::u32string out;
  out.reserve(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t c = wide[i];
    if (text::IsSurrogatePairAt(wide, i)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    out += c;
  }
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Font

struct Font::Impl {
  const OpenFace* face = nullptr;
  FT_Size size = nullptr;
  int emX = 0;
  int emY = 0;
  uint32_t style = 0;
  int emboldenPixels = 0;
  int ascent = 0;
  int underlineOffset = 0;  // below the baseline
  int underlineThickness = 1;
  int strikeOutOffset = 0;  // above the baseline
  int strikeOutThickness = 1;

  ~Impl() {
    if (size) {
      std::lock_guard lock(Shared().Lock());
      FT_Done_Size(size);
    }
  }

  GlyphKey Key(char32_t code) const {
    return {face->id, static_cast<uint32_t>(emX), static_cast<uint32_t>(emY), style, code};
  }

  GlyphPtr Render(char32_t code) const;
  std::vector<GlyphPtr> Glyphs(std::string_view cp932) const;
};

namespace {

void CopyBitmap(const FT_Bitmap& bitmap, Glyph& glyph) {
  glyph.width = static_cast<int>(bitmap.width);
  glyph.rows = static_cast<int>(bitmap.rows);
  glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.rows, 0);
  const bool mono = bitmap.pixel_mode == FT_PIXEL_MODE_MONO;
  const int grays = bitmap.num_grays > 1 ? bitmap.num_grays - 1 : 255;
  for (int r = 0; r < glyph.rows; ++r) {
    const int memoryRow = bitmap.pitch >= 0 ? r : glyph.rows - 1 - r;
    const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(memoryRow) * std::abs(bitmap.pitch);
    uint8_t* dst = glyph.coverage.data() + static_cast<size_t>(r) * glyph.width;
    for (int c = 0; c < glyph.width; ++c) {
      if (mono)
        dst[c] = (src[c >> 3] & (0x80 >> (c & 7))) ? 255 : 0;
      else
        dst[c] = static_cast<uint8_t>(grays == 255 ? src[c] : src[c] * 255 / grays);
    }
  }
}

// Italic faces lean about 12 degrees.
constexpr FT_Matrix kOblique = {0x10000, 0x0366A, 0, 0x10000};

}  // namespace

// Lock held.
GlyphPtr Font::Impl::Render(char32_t code) const {
  FT_Face f = face->face;
  FT_Activate_Size(size);
  FT_UInt index = FT_Get_Char_Index(f, code);
  if (index == 0) index = FT_Get_Char_Index(f, text::kReplacement);
  const bool mono = style & kMono;
  const FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_LIGHT);
  auto glyph = std::make_shared<Glyph>();
  if (FT_Load_Glyph(f, index, flags) != 0 && FT_Load_Glyph(f, 0, flags) != 0) return glyph;
  FT_GlyphSlot slot = f->glyph;
  glyph->advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (style & kBold) {
      // Widen the strokes sideways and grow the advance by as much, as a synthesised bold does.
      FT_Outline_EmboldenXY(&slot->outline, emboldenPixels * 64, 0);
      FT_Outline_Translate(&slot->outline, emboldenPixels * 32, 0);
      glyph->advance += emboldenPixels;
    }
    if (style & kItalic) FT_Outline_Transform(&slot->outline, &kOblique);
  }
  if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return glyph;
  glyph->left = slot->bitmap_left;
  glyph->top = slot->bitmap_top;
  CopyBitmap(slot->bitmap, *glyph);
  return glyph;
}

std::vector<GlyphPtr> Font::Impl::Glyphs(std::string_view cp932) const {
  std::u32string codes = CodePoints(cp932);
  std::vector<GlyphPtr> glyphs;
  glyphs.reserve(codes.size());
  FreeType& ft = Shared();
  std::lock_guard lock(ft.Lock());
  for (char32_t code : codes) {
    GlyphKey key = Key(code);
    GlyphPtr glyph = ft.Cache().Find(key);
    if (!glyph) {
      glyph = Render(code);
      ft.Cache().Insert(key, glyph);
    }
    glyphs.push_back(std::move(glyph));
  }
  return glyphs;
}

std::string MappedFamily(std::string_view faceName) {
  std::string utf8 = text::Cp932ToUtf8(faceName);
  for (const FaceAlias& alias : kFaceAliases)
    if (EqualsIgnoringAsciiCase(utf8, alias.name)) return std::string(alias.family);
  return utf8;
}

std::optional<FaceLocation> ResolveFace(const LogFont& log) {
  static std::once_flag initialised;
  std::call_once(initialised, [] {
    FcInit();
    std::atexit(FcFini);  // gives fontconfig's configuration back, so that leak checkers see nothing left over
  });
  std::string family = MappedFamily(log.faceName);
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (const char* language = LanguageOf(log.charset))
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language));
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(log.weight > 0 ? std::min(log.weight, 1000) : 400));
  FcPatternAddInteger(pattern, FC_SLANT, log.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  if ((log.pitchAndFamily & 3) == kFixedPitch) FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return std::nullopt;
  std::optional<FaceLocation> where;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    where.emplace();
    where->file = reinterpret_cast<const char*>(file);
    int index = 0;
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) where->index = index & 0xFFFF;
    FcChar8* name = nullptr;
    if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
      where->family = reinterpret_cast<const char*>(name);
    int spacing = FC_PROPORTIONAL;
    if (FcPatternGetInteger(match, FC_SPACING, 0, &spacing) == FcResultMatch)
      where->fixedPitch = spacing != FC_PROPORTIONAL;
  }
  FcPatternDestroy(match);
  return where;
}

Font::Font(const LogFont& log, FaceLocation location, std::unique_ptr<Impl> impl)
    : log_(log), location_(std::move(location)), impl_(std::move(impl)) {}

Font::~Font() = default;

int Font::EmPixels() const { return impl_->emY; }
bool Font::SynthesisedBold() const { return impl_->style & kBold; }
bool Font::SynthesisedItalic() const { return impl_->style & kItalic; }
bool Font::AntiAliased() const { return !(impl_->style & kMono); }

namespace {

// The cell of a face: the Windows ascent and descent where the face has them, in font units.
struct FaceCell {
  int64_t unitsPerEm;
  int64_t ascent;
  int64_t descent;
  int64_t lineGap;
  int64_t averageWidth;
};

FaceCell CellOf(FT_Face face) {
  FaceCell cell{face->units_per_EM, face->ascender, -face->descender, 0, face->units_per_EM / 2};
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    cell.ascent = os2->usWinAscent;
    cell.descent = os2->usWinDescent;
    if (os2->xAvgCharWidth > 0) cell.averageWidth = os2->xAvgCharWidth;
  }
  if (hhea)
    cell.lineGap = std::max<int64_t>(
        0, hhea->Line_Gap - ((cell.ascent + cell.descent) - (hhea->Ascender - hhea->Descender)));
  if (cell.ascent + cell.descent <= 0) cell = {cell.unitsPerEm, cell.unitsPerEm, 0, 0, cell.unitsPerEm / 2};
  return cell;
}

constexpr int kDefaultCellPixels = 16;

}  // namespace

std::shared_ptr<const Font> Font::Create(const LogFont& log) {
  std::optional<FaceLocation> where = ResolveFace(log);
  if (!where) return nullptr;
  FreeType& ft = Shared();
  auto impl = std::make_unique<Impl>();
  TextMetrics m;
  {
    std::lock_guard lock(ft.Lock());
    impl->face = ft.Open(*where);
    if (!impl->face) return nullptr;
    FT_Face face = impl->face->face;
    const FaceCell cell = CellOf(face);
    const int64_t cellUnits = cell.ascent + cell.descent;
    const int64_t height = log.height;
    if (height < 0) {
      impl->emY = static_cast<int>(std::min<int64_t>(-height, kMaxEmPixels + 1));
      m.ascent = RoundDiv(cell.ascent * impl->emY, cell.unitsPerEm);
      m.descent = RoundDiv(cell.descent * impl->emY, cell.unitsPerEm);
    } else {
      const int64_t cellPixels = height == 0 ? kDefaultCellPixels : std::min<int64_t>(height, 4 * kMaxEmPixels);
      impl->emY = std::max(1, RoundDiv(cellPixels * cell.unitsPerEm, cellUnits));
      m.ascent = RoundDiv(cellPixels * cell.ascent, cellUnits);
      m.descent = static_cast<int>(cellPixels) - m.ascent;
    }
    const int64_t width = std::abs(static_cast<int64_t>(log.width));
    impl->emX = width == 0 ? impl->emY
                           : std::max(1, RoundDiv(std::min<int64_t>(width, kMaxEmPixels * 2) * cell.unitsPerEm,
                                                  cell.averageWidth));
    if (impl->emY > kMaxEmPixels || impl->emX > kMaxEmPixels) return nullptr;
    if (FT_New_Size(face, &impl->size) != 0) return nullptr;
    FT_Activate_Size(impl->size);
    if (FT_Set_Pixel_Sizes(face, impl->emX, impl->emY) != 0) {
      FT_Done_Size(impl->size);
      impl->size = nullptr;
      return nullptr;
    }
    const int weight = log.weight == 0 ? kNormalWeight : log.weight;
    if (weight >= 600 && !(face->style_flags & FT_STYLE_FLAG_BOLD)) impl->style |= kBold;
    if (log.italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC)) impl->style |= kItalic;
    if (log.quality != kAntialiasedQuality) impl->style |= kMono;
    impl->emboldenPixels = std::max(1, impl->emY / 24);
    impl->ascent = m.ascent;

    const int64_t upem = cell.unitsPerEm;
    impl->underlineOffset = RoundDiv(-static_cast<int64_t>(face->underline_position) * impl->emY, upem);
    impl->underlineThickness = std::max(1, RoundDiv(int64_t{face->underline_thickness} * impl->emY, upem));
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->yStrikeoutSize > 0) {
      impl->strikeOutOffset = RoundDiv(int64_t{os2->yStrikeoutPosition} * impl->emY, upem);
      impl->strikeOutThickness = std::max(1, RoundDiv(int64_t{os2->yStrikeoutSize} * impl->emY, upem));
    } else {
      impl->strikeOutOffset = RoundDiv(int64_t{impl->emY} * 3, 10);
      impl->strikeOutThickness = impl->underlineThickness;
    }

    m.height = m.ascent + m.descent;
    m.internalLeading = m.height - impl->emY;
    m.externalLeading = RoundDiv(cell.lineGap * impl->emY, upem);
    m.aveCharWidth = RoundDiv(cell.averageWidth * impl->emX, upem);
    m.maxCharWidth = RoundDiv(int64_t{face->max_advance_width} * impl->emX, upem) +
                     ((impl->style & kBold) ? impl->emboldenPixels : 0);
    m.weight = weight;
    m.italic = log.italic;
    m.underlined = log.underline;
    m.struckOut = log.strikeOut;
    m.charset = log.charset;
  }
  m.pitchAndFamily = where->fixedPitch ? kFixedPitch : kVariablePitch;
  std::shared_ptr<Font> font(new Font(log, std::move(*where), std::move(impl)));
  font->metrics_ = m;
  return font;
}

Extent Font::MeasureText(std::string_view cp932) const {
  Extent e{0, metrics_.height};
  for (const GlyphPtr& g : impl_->Glyphs(cp932)) e.cx += g->advance;
  return e;
}

// ---------------------------------------------------------------------------------------------------------------
// Drawing

namespace {

int BytesPerPixel(TargetFormat format) {
  switch (format) {
    case TargetFormat::kGrey8: return 1;
    case TargetFormat::kBgr24: return 3;
    case TargetFormat::kBgrx32: return 4;
    case TargetFormat::kRgb565:
    case TargetFormat::kRgb555: return 2;
  }
  return 4;
}

// A colour as the bytes of one pixel of the target (B, G, R; grey for one-byte targets).
struct PixelColour {
  uint8_t bytes[3];
};

PixelColour ColourFor(uint32_t colourRef, TargetFormat format) {
  const uint8_t r = colourRef & 0xFF, g = (colourRef >> 8) & 0xFF, b = (colourRef >> 16) & 0xFF;
  if (format == TargetFormat::kGrey8) return {{static_cast<uint8_t>((r + g + b + 1) / 3), 0, 0}};
  return {{b, g, r}};
}

// One row of coverage laid over pixels of `Step` bytes, `Channels` of which take the colour. The blend is exact at
// both ends (coverage 0 keeps the pixel, 255 gives the colour): one-byte rows run without branches, which the
// compiler vectorises; colour pixels skip the uncovered ones, most of a glyph's box.
template <int Channels, int Step>
void PaintRow(uint8_t* dst, const uint8_t* coverage, int64_t count, const PixelColour& colour) {
  for (int64_t i = 0; i < count; ++i, dst += Step) {
    const unsigned a = coverage[i];
    if (Step > 1 && a == 0) continue;
    for (int k = 0; k < Channels; ++k) {
      const unsigned v = dst[k] * (255 - a) + colour.bytes[k] * a + 128;
      dst[k] = static_cast<uint8_t>((v + (v >> 8)) >> 8);  // v / 255, rounded
    }
  }
}

// 16-bit words: channels are widened by repeating their top bits, blended, and cut back, as the pixel model of the
// graphics library converts them.
template <int GreenBits>
void PaintRow16(uint8_t* dst, const uint8_t* coverage, int64_t count, const PixelColour& colour) {
  constexpr int kRedShift = 5 + GreenBits;
  constexpr unsigned kKept = GreenBits == 5 ? 0x8000 : 0;
  auto widen = [](unsigned v, int bits) { return (v << (8 - bits)) | (v >> (2 * bits - 8)); };
  for (int64_t i = 0; i < count; ++i, dst += 2) {
    const unsigned a = coverage[i];
    if (a == 0) continue;
    const unsigned p = dst[0] | dst[1] << 8;
    const unsigned old[3] = {widen(p & 0x1F, 5), widen((p >> 5) & ((1u << GreenBits) - 1), GreenBits),
                             widen((p >> kRedShift) & 0x1F, 5)};
    unsigned mixed[3];
    for (int k = 0; k < 3; ++k) {
      const unsigned v = old[k] * (255 - a) + colour.bytes[k] * a + 128;
      mixed[k] = (v + (v >> 8)) >> 8;
    }
    const unsigned q = (p & kKept) | (mixed[2] >> 3) << kRedShift | (mixed[1] >> (8 - GreenBits)) << 5 | mixed[0] >> 3;
    dst[0] = static_cast<uint8_t>(q);
    dst[1] = static_cast<uint8_t>(q >> 8);
  }
}

using RowPainter = void (*)(uint8_t*, const uint8_t*, int64_t, const PixelColour&);

RowPainter RowPainterFor(TargetFormat format) {
  switch (format) {
    case TargetFormat::kGrey8: return PaintRow<1, 1>;
    case TargetFormat::kBgr24: return PaintRow<3, 3>;
    case TargetFormat::kBgrx32: return PaintRow<3, 4>;
    case TargetFormat::kRgb565: return PaintRow16<6>;
    case TargetFormat::kRgb555: return PaintRow16<5>;
  }
  return PaintRow<3, 4>;
}

class Painter {
public:
  Painter(const TargetPixels& target, uint32_t colourRef)
      : t_(target), bpp_(BytesPerPixel(target.format)), paint_(RowPainterFor(target.format)),
        colour_(ColourFor(colourRef, target.format)) {}

  // Fills a box given in 64-bit coordinates (text drawn near the limits of int runs past them).
  void Fill(int64_t left, int64_t top, int64_t right, int64_t bottom) const {
    const int64_t x0 = std::max<int64_t>(left, 0), x1 = std::min<int64_t>(right, t_.width);
    const int64_t y0 = std::max<int64_t>(top, 0), y1 = std::min<int64_t>(bottom, t_.height);
    if (x0 >= x1) return;
    const std::vector<uint8_t> full(static_cast<size_t>(x1 - x0), 255);
    for (int64_t y = y0; y < y1; ++y) paint_(At(x0, y), full.data(), x1 - x0, colour_);
  }

  void Draw(const Glyph& g, int64_t left, int64_t top) const {
    const int64_t c0 = std::max<int64_t>(0, -left), c1 = std::min<int64_t>(g.width, t_.width - left);
    const int64_t r0 = std::max<int64_t>(0, -top), r1 = std::min<int64_t>(g.rows, t_.height - top);
    if (c0 >= c1) return;
    for (int64_t r = r0; r < r1; ++r)
      paint_(At(left + c0, top + r), g.coverage.data() + r * g.width + c0, c1 - c0, colour_);
  }

private:
  uint8_t* At(int64_t x, int64_t y) const { return t_.pixels + y * t_.pitch + x * bpp_; }

  const TargetPixels& t_;
  int bpp_;
  RowPainter paint_;
  PixelColour colour_;
};

void CheckPixels(const TargetPixels& p) {
  if (p.width < 0 || p.height < 0) throw std::invalid_argument("text target: negative size");
  if (p.width == 0 || p.height == 0) return;
  if (!p.pixels) throw std::invalid_argument("text target: no pixels");
  if (std::abs(p.pitch) < static_cast<int64_t>(p.width) * BytesPerPixel(p.format))
    throw std::invalid_argument("text target: rows longer than the pitch");
}

}  // namespace

TextTarget::TextTarget(const TargetPixels& pixels) { SetPixels(pixels); }

void TextTarget::SetPixels(const TargetPixels& pixels) {
  CheckPixels(pixels);
  pixels_ = pixels;
}

std::shared_ptr<const Font> TextTarget::SelectFont(std::shared_ptr<const Font> font) {
  std::swap(font, font_);
  return font;
}

uint32_t TextTarget::SetTextColor(uint32_t colour) { return std::exchange(textColour_, colour & 0xFFFFFF); }
uint32_t TextTarget::SetBackgroundColor(uint32_t colour) {
  return std::exchange(backgroundColour_, colour & 0xFFFFFF);
}
BackgroundMode TextTarget::SetBackgroundMode(BackgroundMode mode) { return std::exchange(backgroundMode_, mode); }

bool TextTarget::TextOut(int x, int y, std::string_view cp932) {
  if (!font_) return false;
  std::vector<GlyphPtr> glyphs = font_->impl_->Glyphs(cp932);
  if (pixels_.width == 0 || pixels_.height == 0) return true;
  int64_t width = 0;
  for (const GlyphPtr& g : glyphs) width += g->advance;
  const TextMetrics& m = font_->Metrics();
  if (backgroundMode_ == BackgroundMode::kOpaque)
    Painter(pixels_, backgroundColour_).Fill(x, y, x + width, int64_t{y} + m.height);
  const Painter ink(pixels_, textColour_);
  const int64_t baseline = int64_t{y} + m.ascent;
  int64_t pen = x;
  for (const GlyphPtr& g : glyphs) {
    ink.Draw(*g, pen + g->left, baseline - g->top);
    pen += g->advance;
  }
  const Font::Impl& impl = *font_->impl_;
  if (m.underlined) {
    const int64_t top = baseline + impl.underlineOffset - impl.underlineThickness / 2;
    ink.Fill(x, top, x + width, top + impl.underlineThickness);
  }
  if (m.struckOut) {
    const int64_t top = baseline - impl.strikeOutOffset;
    ink.Fill(x, top, x + width, top + impl.strikeOutThickness);
  }
  return true;
}

bool TextTarget::GetTextExtentPoint(std::string_view cp932, Extent* extent) const {
  if (!font_ || !extent) return false;
  *extent = font_->MeasureText(cp932);
  return true;
}

bool TextTarget::GetTextMetrics(TextMetrics* metrics) const {
  if (!font_ || !metrics) return false;
  *metrics = font_->Metrics();
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Glyph cache

GlyphCacheStats GetGlyphCacheStats() {
  std::lock_guard lock(Shared().Lock());
  return Shared().Cache().Stats();
}

void ClearGlyphCache() {
  std::lock_guard lock(Shared().Lock());
  Shared().Cache().Clear();
}

size_t SetGlyphCacheLimit(size_t bytes) {
  std::lock_guard lock(Shared().Lock());
  return Shared().Cache().SetLimit(bytes);
}

}  // namespace platform::font
