#include "graphics/zorgbtext.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <cstdint>
#include <new>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbdib.h"
#include "platform/font.h"

namespace {

// "ＭＳ ゴシック" in CP932: the fixed-pitch Japanese face the panels are laid out for.
constexpr const char* kGothicFace = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";

constexpr int kFullRate = 128;

int ClampToInt(long long v) { return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

int ByteCount(const std::string& text) { return ClampToInt(static_cast<long long>(text.size())); }

// Writes the text into a DIB through its device context; nothing without a context or a font.
template <class Dib>
void WriteInto(VXFont& font, Dib& dib, std::uint32_t colour, int x, int y, const std::string& text) {
  platform::font::TextTarget* dc = nullptr;
  if (text.empty() || !dib.GetTextTarget(&dc)) return;
  if (font.StartTextOut(dc, colour)) {
    font.Write(x, y, text.data(), ByteCount(text));
    font.EndTextOut();
  }
  dib.ReleaseDC(dc);
}

}  // namespace

bool ZoReduceCoverage(const TZoAlpha& large, TZoAlpha& cover, int shade) {
  // The sum of four sub-pixels times mul, shifted right: s / 4, s x 3 / 8, s / 2.
  struct Shade {
    int mul, shift;
  };
  static constexpr Shade kShades[] = {{1, 2}, {3, 3}, {1, 1}};
  if (shade < 0 || shade >= static_cast<int>(std::size(kShades))) return false;
  if (!large.IsCreated() || !cover.IsCreated()) return false;
  const auto [mul, shift] = kShades[shade];
  const int w = std::min(cover.GetWidth(), large.GetWidth() / 2);
  const int h = std::min(cover.GetHeight(), large.GetHeight() / 2);
  for (int j = 0; j < h; ++j) {
    const unsigned char* a = large.At(0, 2 * j);
    const unsigned char* b = large.At(0, 2 * j + 1);
    unsigned char* d = cover.At(0, j);
    for (int i = 0; i < w; ++i) {
      const int s = a[2 * i] + a[2 * i + 1] + b[2 * i] + b[2 * i + 1];
      d[i] = static_cast<unsigned char>(std::min(255, s * mul >> shift));
    }
  }
  return true;
}

// ---- Construction ----------------------------------------------------------------------------------------------

TZoRGBText::TZoRGBText(Classes::TComponent* owner) : TZoRGBText(owner, nullptr) {}

TZoRGBText::TZoRGBText(Classes::TComponent* owner, TZoRGBPanel* parent) : TZoRGBPanel(owner, parent) {
  SetSizeX(160);
  SetSizeY(24);
  SetAutoSize(false);
  SetColorKey(VXRGB(keyColor_));
  vclFont_.SetName(kGothicFace);
  vclFont_.SetHeight(-fontSize_);
  vclFont_.SetPitch(Graphics::fpFixed);
  font_.SetQuality(vfqNonAntialiased);
}

TZoRGBText::~TZoRGBText() { ReleaseBuffer(); }

// ---- Buffers ---------------------------------------------------------------------------------------------------

bool TZoRGBText::MakeBuffer(VXPixFormat pf) {
  pixFormat_ = pf;
  return CreateBuffer();
}

bool TZoRGBText::CreateBuffer() {
  if (buffer_) ReleaseBuffer();
  if (!(antiAliase_ ? CreateAntiAliasedBuffer() : CreatePlainBuffer())) return false;
  MakeTextFont();
  buffer_ = true;
  // A new buffer holds no text yet (a plain one is black, a coverage plane opaque): render it before it can be
  // shown.
  DrawTextA();
  return true;
}

bool TZoRGBText::CreatePlainBuffer() {
  auto* plain = new (std::nothrow) TZoRGBDib(this);
  if (plain == nullptr) return false;
  plain->SetPixFormat(pixFormat_);
  if (!plain->Resize(GetSizeX(), GetSizeY()) || !plain->Create()) {
    delete plain;
    return false;
  }
  plain_ = plain;
  SetImage(plain_);
  SetMaskMode(mmColorKey);
  SetColorKey(VXRGB(keyColor_));
  return true;
}

bool TZoRGBText::CreateAntiAliasedBuffer() {
  auto* cover = new (std::nothrow) TZoAlpha(this);
  auto* large = new (std::nothrow) TZoAlphaDib(this);
  const long long w2 = 2LL * GetSizeX();
  const long long h2 = 2LL * GetSizeY();
  const bool made = cover != nullptr && large != nullptr && w2 <= INT_MAX && h2 <= INT_MAX &&
                    cover->Resize(GetSizeX(), GetSizeY()) && large->Resize(static_cast<int>(w2), static_cast<int>(h2)) &&
                    cover->Create() && large->Create();
  if (!made) {
    delete cover;
    delete large;
    return false;
  }
  cover_ = cover;
  large_ = large;
  SetAlpha(cover_);
  SetMaskMode(mmAlpha);
  return true;
}

void TZoRGBText::ReleaseBuffer() {
  SetImage(nullptr);
  SetAlpha(nullptr);
  DeleteBuffers();
  font_.Release();
  buffer_ = false;
}

void TZoRGBText::DeleteBuffers() {
  delete plain_;
  delete cover_;
  delete large_;
  plain_ = nullptr;
  cover_ = nullptr;
  large_ = nullptr;
}

void TZoRGBText::MakeTextFont() {
  font_.Release();
  vclFont_.SetHeight(ClampToInt(-(antiAliase_ ? 2LL : 1LL) * fontSize_));
  vclFont_.SetPitch(Graphics::fpFixed);
  font_.CopyFromTFont(&vclFont_, vfqNonAntialiased);
  font_.Create();
}

void TZoRGBText::Refont() {
  if (!buffer_) return;
  MakeTextFont();
  DrawTextA();
}

// ---- Rendering -------------------------------------------------------------------------------------------------

int TZoRGBText::TextX() const {
  if (!centering_) return 0;
  return ClampToInt((GetSizeX() - static_cast<long long>(ByteCount(GetText())) * (fontSize_ / 2)) / 2);
}

int TZoRGBText::TextY() const {
  return centering_ ? ClampToInt((GetSizeY() - static_cast<long long>(fontSize_)) / 2) : 0;
}

void TZoRGBText::DrawTextA() {
  if (!buffer_) return;
  if (cover_ != nullptr && large_ != nullptr)
    DrawAntiAliased();
  else if (plain_ != nullptr)
    DrawPlain();
  SetModify();
}

void TZoRGBText::DrawPlain() {
  // The fill takes a pixel of the buffer's format: the key colour must go through the format's converter (a raw
  // 0x00RRGGBB value is another colour in the 16-bit formats, and the background would no longer be transparent).
  plain_->BoxFill(0, 0, plain_->GetWidth() - 1, plain_->GetHeight() - 1, plain_->TZoRGBtoPixel(VXRGB(keyColor_)));
  WriteInto(font_, *plain_, textColor_, TextX(), TextY(), GetText());
}

void TZoRGBText::DrawAntiAliased() {
  large_->Fill(0);
  WriteInto(font_, *large_, kWhite, ClampToInt(2LL * TextX()), ClampToInt(2LL * TextY()), GetText());
  ZoReduceCoverage(*large_, *cover_, aaShade_);
}

void TZoRGBText::ChangeState() {
  if (GetCreated() && GetVisible()) SetModify();
}

bool TZoRGBText::CallOnDraw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (OnDraw && OnDraw(this, dest, x, y, sx, sy, dx, dy)) return true;
  if (!antiAliase_ || cover_ == nullptr) return false;
  const int blockHeight = cover_->GetHeight() / GetNumBlock();
  const int w = std::min(dx, cover_->GetWidth() - sx);
  const int h = std::min(dy, blockHeight - sy);
  // The fill takes a pixel of the destination's format, like the plain mode's key.
  if (w > 0 && h > 0)
    dest->AlphaFillRate(x, y, dest->TZoRGBtoPixel(VXRGB(textColor_)), sx, sy + blockHeight * GetBlockIndex(), w, h,
                        cover_, kFullRate);
  return true;
}

// ---- Properties ------------------------------------------------------------------------------------------------

void TZoRGBText::SetText(const std::string& text) {
  if (text == GetText()) return;
  TZoRGBPanel::SetText(text);
  DrawTextA();
}

void TZoRGBText::SetTextColor(std::uint32_t colour) {
  colour &= kWhite;
  if (colour == textColor_) return;
  textColor_ = colour;
  keyColor_ = colour ^ kWhite;
  SetColorKey(VXRGB(keyColor_));
  if (!buffer_) return;
  if (antiAliase_)
    SetModify();  // the colour is applied when the panel is composed
  else
    DrawTextA();
}

void TZoRGBText::SetTextColorRed(int v) {
  SetTextColor((textColor_ & 0x00FFFF) | (static_cast<std::uint32_t>(v) & 0xFF) << 16);
}

void TZoRGBText::SetTextColorGreen(int v) {
  SetTextColor((textColor_ & 0xFF00FF) | (static_cast<std::uint32_t>(v) & 0xFF) << 8);
}

void TZoRGBText::SetTextColorBlue(int v) {
  SetTextColor((textColor_ & 0xFFFF00) | (static_cast<std::uint32_t>(v) & 0xFF));
}

void TZoRGBText::SetAntiAliase(bool on) {
  if (on == antiAliase_) return;
  antiAliase_ = on;
  if (buffer_) CreateBuffer();
}

void TZoRGBText::SetFontSize(int n) {
  n &= ~1;
  if (n == fontSize_) return;
  fontSize_ = n;
  Refont();
}

void TZoRGBText::SetFont(const Graphics::TFont* font) {
  if (font == nullptr) return;
  vclFont_.Assign(*font);
  Refont();
}

void TZoRGBText::SetCentering(bool on) {
  if (on == centering_) return;
  centering_ = on;
  DrawTextA();
}

void TZoRGBText::SetAAShade(int n) {
  if (n < 0 || n > 2 || n == aaShade_) return;
  aaShade_ = n;
  DrawTextA();
}
