#include "graphics/zorgbdib.h"

#include <algorithm>
#include <new>

#include "graphics/zoraster.h"

namespace pf = platform::font;

namespace {

// The text target format of each pixel format, where it has one (4444 has none).
constexpr bool kHasTarget[kPixFormatCount] = {false, true, true, true, false, true, true, true};
constexpr pf::TargetFormat kTargetFormat[kPixFormatCount] = {
    pf::TargetFormat::kBgrx32, pf::TargetFormat::kRgb565, pf::TargetFormat::kRgb555, pf::TargetFormat::kRgb555,
    pf::TargetFormat::kBgrx32, pf::TargetFormat::kBgr24,  pf::TargetFormat::kBgrx32, pf::TargetFormat::kBgrx32};

bool MakeDib(TDIBDirection direction, int w, int h, int bytesPerPixel, int* pitch, unsigned char** pixels,
             ZoDibMemory* bitmap) {
  if (pitch == nullptr || pixels == nullptr || bitmap == nullptr) return false;
  ZoDibMemory m = ZoDibMemory::Make(w, h, bytesPerPixel);
  if (m.IsEmpty()) return false;
  *pitch = m.Pitch(direction);
  *pixels = m.FirstRow(direction);
  *bitmap = std::move(m);
  return true;
}

// Hands out the bitmap's memory as a device context; false when one is lent out already.
bool Lend(pf::TextTarget& dc, bool& lent, const pf::TargetPixels& pixels, void** out) {
  if (lent || out == nullptr) return false;
  dc.SetPixels(pixels);
  lent = true;
  *out = &dc;
  return true;
}

// Takes a lent device context back; the target keeps no pixels, so that a stale writer reaches none.
bool TakeBack(pf::TextTarget& dc, bool& lent, void* returned) {
  if (!lent) return true;
  if (returned != &dc) return false;
  dc.SetPixels({});
  lent = false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------

ZoDibMemory ZoDibMemory::Make(int width, int height, int bytesPerPixel) {
  ZoDibMemory m;
  if (ZoStorageBytes(width, height, bytesPerPixel, 0) < 0) return m;
  const std::int64_t stride = (std::int64_t{width} * bytesPerPixel + 3) / 4 * 4;
  const std::int64_t bytes = ZoStorageBytes(static_cast<int>(stride), height, 1, 0);
  if (bytes < 0) return m;
  m.bytes_.reset(new (std::nothrow) unsigned char[static_cast<std::size_t>(bytes)]());
  if (m.bytes_ == nullptr) return m;
  m.stride_ = static_cast<int>(stride), m.height_ = height, m.size_ = static_cast<std::size_t>(bytes);
  return m;
}

unsigned char* ZoDibMemory::FirstRow(TDIBDirection direction) const {
  if (bytes_ == nullptr) return nullptr;
  if (direction == ddTopDown) return bytes_.get();
  return bytes_.get() + static_cast<std::ptrdiff_t>(height_ - 1) * stride_;
}

// ---------------------------------------------------------------------------------------------------------------
// TZoRGBDib

TZoRGBDib::TZoRGBDib(Classes::TComponent* owner) : TZoRGBBits(owner) {}

TZoRGBDib::~TZoRGBDib() { Release(); }

void TZoRGBDib::Loaded() {
  TZoRGBBits::Loaded();
  Create();
}

void TZoRGBDib::SetBitDepth(VXBitDepth depth) {
  if (depth == bdNone || depth == bd8) return;
  TZoRGBBits::SetBitDepth(depth);
}

void TZoRGBDib::SetPixFormat(VXPixFormat format) {
  if (format == pfNone) return;
  TZoRGBBits::SetPixFormat(format);
}

void TZoRGBDib::SetDirection(TDIBDirection direction) {
  if (!created_) direction_ = direction;
}

bool TZoRGBDib::CreateDIB(int w, int h, int* pitch, unsigned char** pixels, ZoDibMemory* bitmap) const {
  return MakeDib(direction_, w, h, BytesPerPixel(), pitch, pixels, bitmap);
}

bool TZoRGBDib::Create() {
  if (created_ || !ChkDepthAndFormat(bitDepth_, pixFormat_)) return false;
  if (width_ <= 0 || height_ < 1 || bitDepth_ < bd16 || bitDepth_ > bd32 || pixFormat_ == pfNone) return false;
  ZoDibMemory m;
  int pitch = 0;
  unsigned char* pixels = nullptr;
  if (!CreateDIB(width_, height_, &pitch, &pixels, &m) || !SetProcs()) return false;
  dib_ = std::move(m);
  bits_ = pixels, pitch_ = pitch;
  locked_ = false, lockCount_ = 0, modifiedPending_ = false, offCount_ = 0;
  modifiedSw_ = true, attached_ = false, created_ = true;
  return true;
}

void TZoRGBDib::TakeBackDC() { TakeBack(dc_, lent_, &dc_); }

void TZoRGBDib::Release() {
  if (!created_) return;
  while (locked_)
    if (!Unlock()) break;
  TakeBackDC();
  dib_ = ZoDibMemory();
  bits_ = nullptr;
  created_ = false;
}

bool TZoRGBDib::Resize(int w, int h) {
  if (w < 1 || h <= 0) return false;
  if (created_) {
    if (attached_ || locked_) return false;
    ZoDibMemory m;
    int pitch = 0;
    unsigned char* pixels = nullptr;
    if (!CreateDIB(w, h, &pitch, &pixels, &m)) return false;
    if (lent_) dc_.SetPixels({pixels, pitch, dc_.Pixels().format, w, h});
    dib_ = std::move(m);
    bits_ = pixels, pitch_ = pitch;
    modifiedPending_ = false, offCount_ = 0, modifiedSw_ = true;
  } else if (ZoStorageBytes(w, h, std::max(BytesPerPixel(), 1), 0) < 0) {
    return false;
  }
  width_ = w, height_ = h;
  return true;
}

bool TZoRGBDib::GetDC(void** dc) {
  if (!created_ || !kHasTarget[pixFormat_]) return false;
  return Lend(dc_, lent_, {bits_, pitch_, kTargetFormat[pixFormat_], width_, height_}, dc);
}

bool TZoRGBDib::ReleaseDC(void* dc) { return TakeBack(dc_, lent_, dc); }

bool TZoRGBDib::GetTextTarget(pf::TextTarget** dc) {
  void* p = nullptr;
  if (dc == nullptr || !GetDC(&p)) return false;
  *dc = static_cast<pf::TextTarget*>(p);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// TZoAlphaDib

TZoAlphaDib::TZoAlphaDib(Classes::TComponent* owner) : TZoAlpha(owner) {}

TZoAlphaDib::~TZoAlphaDib() { Release(); }

void TZoAlphaDib::Loaded() {
  TZoAlpha::Loaded();
  Create();
}

void TZoAlphaDib::SetDirection(TDIBDirection direction) {
  if (!created_) direction_ = direction;
}

const std::array<RGBQUAD, 256>& TZoAlphaDib::GreyTable() {
  static const std::array<RGBQUAD, 256> table = [] {
    std::array<RGBQUAD, 256> t{};
    for (int v = 0; v < 256; ++v) {
      const auto g = static_cast<std::uint8_t>(v);
      t[v] = {g, g, g, 0};
    }
    return t;
  }();
  return table;
}

bool TZoAlphaDib::CreateDIB(int w, int h, int* pitch, unsigned char** pixels, ZoDibMemory* bitmap) const {
  return MakeDib(direction_, w, h, 1, pitch, pixels, bitmap);
}

bool TZoAlphaDib::Create() {
  if (created_ || width_ <= 0 || height_ <= 0) return false;
  ZoDibMemory m;
  int pitch = 0;
  unsigned char* pixels = nullptr;
  if (!CreateDIB(width_, height_, &pitch, &pixels, &m)) return false;
  dib_ = std::move(m);
  bits_ = pixels, pitch_ = pitch;
  created_ = true;
  return true;
}

void TZoAlphaDib::TakeBackDC() { TakeBack(dc_, lent_, &dc_); }

void TZoAlphaDib::Release() {
  if (!created_) return;
  TakeBackDC();
  dib_ = ZoDibMemory();
  bits_ = nullptr;
  created_ = false;
}

bool TZoAlphaDib::Resize(int w, int h) {
  if (w < 1 || h <= 0) return false;
  if (created_) {
    ZoDibMemory m;
    int pitch = 0;
    unsigned char* pixels = nullptr;
    if (!CreateDIB(w, h, &pitch, &pixels, &m)) return false;
    if (lent_) dc_.SetPixels({pixels, pitch, pf::TargetFormat::kGrey8, w, h});
    dib_ = std::move(m);
    bits_ = pixels, pitch_ = pitch;
  } else if (ZoStorageBytes(w, h, 1, 0) < 0) {
    return false;
  }
  width_ = w, height_ = h;
  return true;
}

bool TZoAlphaDib::GetDC(void** dc) {
  if (!created_) return false;
  return Lend(dc_, lent_, {bits_, pitch_, pf::TargetFormat::kGrey8, width_, height_}, dc);
}

bool TZoAlphaDib::ReleaseDC(void* dc) { return TakeBack(dc_, lent_, dc); }

bool TZoAlphaDib::GetTextTarget(pf::TextTarget** dc) {
  void* p = nullptr;
  if (dc == nullptr || !GetDC(&p)) return false;
  *dc = static_cast<pf::TextTarget*>(p);
  return true;
}
