#include "graphics/zorgbbits.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "core/cpuid.h"
#include "core/vxmemcpy.h"
#include "core/vxrefusal.h"
#include "graphics/vxbmp.h"
#include "graphics/vxgny.h"
#include "graphics/vxjpeg.h"
#include "graphics/vxpng.h"
#include "graphics/vxrgbcopy.h"
#include "graphics/vxrgbeffect.h"
#include "graphics/zoloaders.h"
#include "graphics/zoraster.h"

namespace {

TZoBitsNotify& OverRunHandler() {
  static TZoBitsNotify handler;
  return handler;
}

constexpr VXPixFormat kNaturalFormat[kBitDepthCount] = {pfNone, pfNone, pf16_565, pf24_888, pf32_888};

int FormatBytes(VXPixFormat f) { return static_cast<int>(_FormatAndDepthTable[f]); }
bool ValidFormat(VXPixFormat f) { return static_cast<int>(f) < kPixFormatCount; }
unsigned Count(int n) { return static_cast<unsigned>(n); }
std::size_t Bytes(int n, int bytesPerPixel) { return static_cast<std::size_t>(n) * bytesPerPixel; }

// Moves a raw source pointer to the pixel that lands on the first destination pixel left after clipping.
template <class P>
P Skip(P src, const ZoClip& c, int pitch, int bytesPerPixel) {
  return src + static_cast<std::ptrdiff_t>(c.skipY) * pitch + static_cast<std::ptrdiff_t>(c.skipX) * bytesPerPixel;
}

// Cuts (sx, sy, w, h) to a width x height source; the destination position moves by the cut.
bool ClipToSource(int width, int height, int& dx, int& dy, int& sx, int& sy, int& w, int& h) {
  ZoClip c;
  if (!ZoClipArea(sx, sy, w, h, width, height, c)) return false;
  dx += c.skipX, dy += c.skipY, sx = c.x, sy = c.y, w = c.w, h = c.h;
  return true;
}

// Holds a lock on a source bitmap for the length of a drawing.
class SourceLock {
public:
  explicit SourceLock(TZoRGBBits* bits) : bits_(bits), held_(bits->Lock()) {}
  ~SourceLock() {
    if (held_) bits_->Unlock();
  }
  SourceLock(const SourceLock&) = delete;
  SourceLock& operator=(const SourceLock&) = delete;
  explicit operator bool() const { return held_; }

private:
  TZoRGBBits* bits_;
  bool held_;
};

bool Usable(const TZoRGBBits* b) { return b != nullptr && b->IsCreated(); }

}  // namespace

void SetOnBitsBufferOverRun(TZoBitsNotify handler) { OverRunHandler() = std::move(handler); }

// ---------------------------------------------------------------------------------------------------------------
// The object

TZoRGBBits::TZoRGBBits(Classes::TComponent* owner) : Classes::TComponent(owner), mmx_(TheCPUID().IsMmxSupport()) {}

TZoRGBBits::~TZoRGBBits() {
  if (created_) TZoRGBBits::Release();
}

void TZoRGBBits::SetID(const VXString& id) {
  std::memset(id_, 0, sizeof id_);
  std::memcpy(id_, id.c_str(), std::min<std::size_t>(sizeof id_, static_cast<std::size_t>(id.Length())));
}

VXString TZoRGBBits::GetID() const { return VXString(id_, sizeof id_); }

void TZoRGBBits::SetBitDepth(VXBitDepth depth) {
  if (created_) return;
  bitDepth_ = depth;
  if (!ChkDepthAndFormat(bitDepth_, pixFormat_) && static_cast<int>(depth) < kBitDepthCount)
    pixFormat_ = kNaturalFormat[depth];
}

void TZoRGBBits::SetPixFormat(VXPixFormat format) {
  if (created_) return;
  pixFormat_ = format;
  if (!ChkDepthAndFormat(bitDepth_, pixFormat_) && ValidFormat(format)) bitDepth_ = _FormatAndDepthTable[format];
}

bool TZoRGBBits::SetProcs() const {
  return bitDepth_ >= bd8 && bitDepth_ <= bd32 && ValidFormat(pixFormat_);
}

bool TZoRGBBits::Create() {
  if (created_ || !ChkDepthAndFormat(bitDepth_, pixFormat_)) return false;
  if (bitDepth_ < bd8 || bitDepth_ > bd32 || pixFormat_ < pf16_565 || pixFormat_ > pf32_8888) return false;
  // The range check above is stricter than SetProcs, so the storage is the last thing that can fail.
  bits_ = ZoAllocGuarded(width_, height_, BytesPerPixel(), kGuardBytes, kGuardByte);
  if (bits_ == nullptr) return false;
  pitch_ = BytesPerPixel() * width_;
  locked_ = false, lockCount_ = 0, modifiedPending_ = false, offCount_ = 0;
  modifiedSw_ = true, attached_ = false, created_ = true;
  return true;
}

bool TZoRGBBits::CheckGuard() {
  if (ZoGuardIntact(bits_ + std::int64_t{pitch_} * height_, kGuardBytes, kGuardByte)) return true;
  overRun_ = true;
  if (OverRunHandler()) OverRunHandler()(this);
  return false;
}

void TZoRGBBits::Release() {
  if (!created_) return;
  while (locked_)
    if (!Unlock()) break;
  CheckGuard();
  std::free(bits_);
  bits_ = nullptr;
  created_ = false;
}

bool TZoRGBBits::Resize(int width, int height) {
  const int bytesPerPixel = std::max(BytesPerPixel(), 1);
  if (ZoStorageBytes(width, height, bytesPerPixel, kGuardBytes) < 0) return false;
  if (!created_) {
    width_ = width, height_ = height;
    return true;
  }
  if (attached_ || locked_) return false;
  unsigned char* block = ZoAllocGuarded(width, height, bytesPerPixel, kGuardBytes, kGuardByte);
  if (block == nullptr) return false;
  CheckGuard();
  std::free(bits_);
  bits_ = block;
  pitch_ = bytesPerPixel * width;
  modifiedPending_ = false, offCount_ = 0, modifiedSw_ = true;
  width_ = width, height_ = height;
  return true;
}

bool TZoRGBBits::Lock() {
  if (!created_) return false;
  locked_ = true;
  ++lockCount_;
  return true;
}

bool TZoRGBBits::Unlock() {
  if (!created_ || !locked_) return false;
  if (--lockCount_ <= 0) lockCount_ = 0, locked_ = false;
  return true;
}

bool TZoRGBBits::HaveDC() { return false; }
bool TZoRGBBits::GetDC(void**) { return false; }
bool TZoRGBBits::ReleaseDC(void*) { return true; }

void TZoRGBBits::Change() {
  if (OnChange) OnChange(this);
}

void TZoRGBBits::ModifiedFlush() {
  modifiedPending_ = false;
  Change();
  modified_ = {0, 0, 0, 0};
}

void TZoRGBBits::SetModified(const VXRect* r) {
  if (!created_ || r == nullptr) return;
  VXRect area = *r;
  if (modifiedPending_) area.UnionRect(modified_);
  VXIntersectRect(area, {0, 0, width_, height_}, modified_);
  if (modifiedSw_)
    ModifiedFlush();
  else
    modifiedPending_ = true;
}

void TZoRGBBits::SetModified(int x1, int y1, int x2, int y2) {
  const VXRect r = ZoCornersToRect(ZoClampCoord(x1), ZoClampCoord(y1), ZoClampCoord(x2), ZoClampCoord(y2));
  SetModified(&r);
}

void TZoRGBBits::SetModified() {
  const VXRect r{0, 0, width_, height_};
  SetModified(&r);
}

void TZoRGBBits::MarkArea(int x, int y, int w, int h) {
  // In 64 bits, so that no position or size can overflow; SetModified cuts the area to the bitmap.
  const auto clamp = [](std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, -(1 << 30), 1 << 30)); };
  const VXRect r{clamp(x), clamp(y), clamp(std::int64_t{x} + w), clamp(std::int64_t{y} + h)};
  SetModified(&r);
}

void TZoRGBBits::ModifiedOff() {
  ++offCount_;
  if (modifiedSw_) ChgModifiedSw(false);
}

void TZoRGBBits::ModifiedOn() {
  if (offCount_ > 0 && --offCount_ == 0) ChgModifiedSw(true);
}

void TZoRGBBits::ChgModifiedSw(bool on) {
  if (!modifiedSw_ && on) {
    if (modifiedPending_) ModifiedFlush();
    offCount_ = 0;
  } else if (offCount_ == 0 && !on) {
    offCount_ = 1;
  }
  modifiedSw_ = on;
}

std::uint32_t TZoRGBBits::TZoRGBtoPixel(VXRGB rgb) const {
  const VXConvertProc to = ValidFormat(pixFormat_) ? _ConvertRGBtoProcTable[pixFormat_] : nullptr;
  return to != nullptr ? to(rgb.ToDWORD()) : 0;
}

VXRGB TZoRGBBits::PixeltoTZoRGB(std::uint32_t pixel) const {
  const VXConvertProc from = ValidFormat(pixFormat_) ? _ConvertRGBfromProcTable[pixFormat_] : nullptr;
  return from != nullptr ? VXRGB(from(pixel)) : VXRGB();
}

void TZoRGBBits::Cls() {
  if (!created_ || !Lock()) return;
  for (int y = 0; y < height_; ++y) std::memset(At(0, y), 0, Bytes(width_, BytesPerPixel()));
  SetModified();
  Unlock();
}

void TZoRGBBits::ClipRect(const VXRect& a, const VXRect& b, int& left, int& top, int& right, int& bottom) {
  ZoClipRect(a, b, left, top, right, bottom);
}

// ---------------------------------------------------------------------------------------------------------------
// Raster kernels

template <class Body>
bool TZoRGBBits::Locked(Body&& body) {
  if (!Lock()) return false;
  bool ok;
  try {
    ok = body();
  } catch (...) {
    ok = false;
  }
  Unlock();
  return ok;
}

bool TZoRGBBits::ZoLine(int x1, int y1, int x2, int y2, std::uint32_t pixel) {
  if (!created_) return false;
  const VXPointSetProc set = _PointSetProcTable[bitDepth_];
  if (set == nullptr) return false;
  return Locked([&] {
    ZoLineWalk(x1, y1, x2, y2, [&](int x, int y) {
      if (x >= 0 && y >= 0 && x < width_ && y < height_) set(At(x, y), pixel);
    });
    return true;
  });
}

bool TZoRGBBits::ZoBoxFill(int x1, int y1, int x2, int y2, std::uint32_t pixel) {
  if (!created_) return false;
  const VXRowFillProc fill = _RGBFillProcTable[bitDepth_];
  if (fill == nullptr) return false;
  VXRect r;
  if (!ZoCornerRect(x1, y1, x2, y2, width_, height_, r)) return true;
  return Locked([&] {
    for (int y = r.top; y < r.bottom; ++y) fill(At(r.left, y), pixel, Count(r.right - r.left));
    return true;
  });
}

bool TZoRGBBits::ZoPutPat(int x, int y, int w, int h, const unsigned char* src, int pitch, bool key,
                          std::uint32_t keyPixel) {
  if (reverse_) return ZoPutPatR(x, y, w, h, src, pitch, key, keyPixel);
  if (!created_ || src == nullptr) return false;
  const VXRowKeyCopyProc keyCopy = _RGBKeyColorProcTable[bitDepth_];
  if (keyCopy == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int bpp = BytesPerPixel();
  src = Skip(src, c, pitch, bpp);
  return Locked([&] {
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(src, pitch, Bytes(c.w, bpp));
    if (!plan.Prepare()) return false;
    const std::size_t n = Bytes(c.w, bpp);
    if (!key && plan.OneRun()) {
      VXMemcpy(plan.Dst(0), plan.Src(0, 0), Count(static_cast<int>(n * plan.Rows())));
      return true;
    }
    for (int i = 0; i < plan.Rows(); ++i) {
      unsigned char* d = plan.Dst(i);
      const unsigned char* s = plan.Src(0, i);
      if (key)
        keyCopy(d, s, Count(c.w), keyPixel);
      else if (d != s)
        VXMemcpy(d, s, Count(static_cast<int>(n)));
    }
    return true;
  });
}

bool TZoRGBBits::ZoPutPatR(int x, int y, int w, int h, const unsigned char* src, int pitch, bool key,
                           std::uint32_t keyPixel) {
  if (!created_ || src == nullptr) return false;
  const VXRowCopyProc copy = _RGBReverseProcTable[bitDepth_];
  const VXRowKeyCopyProc keyCopy = _RGBRevKeyColorProcTable[bitDepth_];
  if (copy == nullptr || keyCopy == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int bpp = BytesPerPixel();
  // The row is mirrored: the columns cut on the right are the first ones of the source.
  src += static_cast<std::ptrdiff_t>(c.skipY) * pitch + static_cast<std::ptrdiff_t>(c.cutRight) * bpp;
  return Locked([&] {
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(src, pitch, Bytes(c.w, bpp), false);
    if (!plan.Prepare()) return false;
    for (int i = 0; i < plan.Rows(); ++i) {
      if (key)
        keyCopy(plan.Dst(i), plan.Src(0, i), Count(c.w), keyPixel);
      else
        copy(plan.Dst(i), plan.Src(0, i), Count(c.w));
    }
    return true;
  });
}

namespace {

struct MaskPattern {
  const unsigned char* bits;
  int width, height, rowBytes;

  const unsigned char* Row(int j) const {
    return bits + static_cast<std::ptrdiff_t>(j % height) * rowBytes;
  }
  bool Bit(int i, int j) const {
    const int u = i % width;
    return (Row(j)[u >> 3] >> (7 - (u & 7))) & 1;
  }
};

}  // namespace

namespace {

// Shared course of the masked pattern kernels over the clipped area `c` whose first pixel is `dst`; `mirrored`
// draws source column i at x + w - 1 - i.
bool MaskedRows(const ZoClip& c, int x, int w, int h, const unsigned char* src, int pitch, const MaskPattern& mask,
                bool mirrored, int bpp, unsigned char* dst, std::ptrdiff_t dstPitch, VXRowMaskCopyProc rowProc,
                VXPointMovProc pointProc) {
  const bool inside = c.w == w && c.h == h;
  src += static_cast<std::ptrdiff_t>(c.skipY) * pitch;
  // Whole source rows are read even where the destination is cut, so that the mask stays in step.
  ZoRowPlan plan(dst, dstPitch, Bytes(c.w, bpp), c.h);
  plan.Add(src, pitch, Bytes(w, bpp), !mirrored);
  if (!plan.Prepare()) return false;
  for (int i = 0; i < plan.Rows(); ++i) {
    const int j = static_cast<int>(plan.Row(i)) + c.skipY;
    unsigned char* d = plan.Dst(i);
    const unsigned char* s = plan.Src(0, i);
    if (inside) {
      rowProc(d, s, Count(w), mask.Row(j), Count(mask.width));
      continue;
    }
    for (int k = 0; k < w; ++k) {
      const int column = mirrored ? x + w - 1 - k : x + k;
      if (column < c.x || column >= c.x + c.w || !mask.Bit(k, j)) continue;
      pointProc(d + static_cast<std::ptrdiff_t>(column - c.x) * bpp, s + static_cast<std::ptrdiff_t>(k) * bpp);
    }
  }
  return true;
}

}  // namespace

bool TZoRGBBits::ZoPutPatM(int x, int y, int w, int h, const unsigned char* src, int pitch,
                           const unsigned char* mask, int maskWidth, int maskHeight) {
  if (reverse_) return ZoPutPatMR(x, y, w, h, src, pitch, mask, maskWidth, maskHeight);
  return MaskedPattern(x, y, w, h, src, pitch, mask, maskWidth, maskHeight, false);
}

bool TZoRGBBits::ZoPutPatMR(int x, int y, int w, int h, const unsigned char* src, int pitch,
                            const unsigned char* mask, int maskWidth, int maskHeight) {
  return MaskedPattern(x, y, w, h, src, pitch, mask, maskWidth, maskHeight, true);
}

bool TZoRGBBits::MaskedPattern(int x, int y, int w, int h, const unsigned char* src, int pitch,
                               const unsigned char* mask, int maskWidth, int maskHeight, bool mirrored) {
  // A mask without bits would tile nothing (and divide by zero): refused.
  if (!created_ || src == nullptr || mask == nullptr || maskWidth <= 0 || maskHeight <= 0) return false;
  const VXRowMaskCopyProc row = (mirrored ? _RGBRevMaskColorProcTable : _RGBMaskColorProcTable)[bitDepth_];
  const VXPointMovProc point = _PointMovProcTable[bitDepth_];
  if (row == nullptr || point == nullptr) return false;
  const MaskPattern pattern{mask, maskWidth, maskHeight, (maskWidth + 7) / 8};
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  return Locked([&] {
    return MaskedRows(c, x, w, h, src, pitch, pattern, mirrored, BytesPerPixel(), At(c.x, c.y), pitch_, row, point);
  });
}

bool TZoRGBBits::ZoGetPat(int x, int y, int w, int h, unsigned char* dst) {
  if (!created_ || dst == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int bpp = BytesPerPixel();
  const int dstPitch = w * bpp;
  dst = Skip(dst, c, dstPitch, bpp);
  return Locked([&] {
    for (int j = 0; j < c.h; ++j)
      std::memmove(dst + static_cast<std::ptrdiff_t>(j) * dstPitch, At(c.x, c.y + j), Bytes(c.w, bpp));
    return true;
  });
}

bool TZoRGBBits::ZoConvert(int x, int y, int w, int h, const unsigned char* src, VXPixFormat srcFormat,
                           int srcPitch) {
  if (!created_ || src == nullptr || !ValidFormat(srcFormat)) return false;
  const bool source32 = srcFormat == pf32_888 || srcFormat == pf32_8888;
  const bool this32 = pixFormat_ == pf32_888 || pixFormat_ == pf32_8888;
  VXRowCopyProc proc = nullptr, second = nullptr;
  if (srcFormat == pixFormat_)
    proc = [](void* d, const void* s, unsigned n) { return VXMemcpy(d, s, n); };
  else if (srcFormat == pf24_888)
    proc = _RGBTRIPLEcpyToProcTable[pixFormat_];
  else if (source32)
    proc = _RGBQUADcpyToProcTable[pixFormat_];
  else if (pixFormat_ == pf24_888)
    proc = _RGBTRIPLEcpyFromProcTable[srcFormat];
  else if (this32)
    proc = _RGBQUADcpyFromProcTable[srcFormat];
  else {
    proc = _RGBTRIPLEcpyFromProcTable[srcFormat];
    second = _RGBTRIPLEcpyToProcTable[pixFormat_];
    if (second == nullptr) return false;
  }
  if (proc == nullptr) return false;
  const int srcBpp = FormatBytes(srcFormat), bpp = BytesPerPixel();
  const bool plain = srcFormat == pixFormat_;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  src = Skip(src, c, srcPitch, srcBpp);
  return Locked([&] {
    std::vector<RGBTRIPLE> line(second != nullptr ? static_cast<std::size_t>(c.w) : 0);
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(src, srcPitch, Bytes(c.w, srcBpp));
    if (!plan.Prepare()) return false;
    const unsigned count = Count(c.w) * (plain ? bpp : 1);
    if (second == nullptr && plan.OneRun()) {
      proc(plan.Dst(0), plan.Src(0, 0), count * Count(plan.Rows()));
      return true;
    }
    for (int i = 0; i < plan.Rows(); ++i) {
      const unsigned char* s = plan.Src(0, i);
      unsigned char* d = plan.Dst(i);
      if (plain && s == d) continue;
      if (second != nullptr) {
        proc(line.data(), s, Count(c.w));
        second(d, line.data(), Count(c.w));
      } else {
        proc(d, s, count);
      }
    }
    return true;
  });
}

bool TZoRGBBits::ZoIndexColor(int x, int y, int w, int h, const unsigned char* src, const RGBQUAD* palette,
                              int paletteCount, int srcPitch) {
  if (!created_ || src == nullptr || palette == nullptr) return false;
  const int bpp = BytesPerPixel();
  const VXRowCopyProc toFormat = _RGBQUADcpyToProcTable[pixFormat_];
  if (bpp != 3 && bpp != 4 && toFormat == nullptr) return false;
  // Every index byte reaches an entry: a shorter palette is padded with black.
  RGBQUAD table[256] = {};
  std::copy_n(palette, std::clamp(paletteCount, 0, 256), table);
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  src = Skip(src, c, srcPitch, 1);
  return Locked([&] {
    std::vector<RGBQUAD> line(bpp == 3 || bpp == 4 ? 0 : static_cast<std::size_t>(c.w));
    for (int j = 0; j < c.h; ++j) {
      const unsigned char* s = src + static_cast<std::ptrdiff_t>(j) * srcPitch;
      unsigned char* d = At(c.x, c.y + j);
      if (bpp == 3) {
        RGBTRIPLEcpyFrom8(d, s, table, Count(c.w));
      } else if (bpp == 4) {
        RGBQUADcpyFrom8(d, s, table, Count(c.w));
      } else {
        for (int i = 0; i < c.w; ++i) line[i] = table[s[i]];
        toFormat(d, line.data(), Count(c.w));
      }
    }
    return true;
  });
}

bool TZoRGBBits::ZoAlphaBlend(int x, int y, int w, int h, const unsigned char* srcA, int pitchA,
                              const unsigned char* srcB, int pitchB, int rate) {
  if (!created_ || srcA == nullptr || srcB == nullptr) return false;
  const bool half = rate == kMaxBlendRate / 2;
  const VXRGBHalfProc halfProc = (mmx_ ? _RGBHalfMMXProcTable : _RGBHalfProcTable)[pixFormat_];
  const VXRGBAlphaProc blend = (mmx_ ? _RGBAlphaMMXProcTable : _RGBAlphaProcTable)[pixFormat_];
  if (half ? halfProc == nullptr : blend == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int bpp = BytesPerPixel();
  srcA = Skip(srcA, c, pitchA, bpp);
  srcB = Skip(srcB, c, pitchB, bpp);
  return Locked([&] {
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(srcA, pitchA, Bytes(c.w, bpp));
    plan.Add(srcB, pitchB, Bytes(c.w, bpp));
    if (!plan.Prepare()) return false;
    for (int i = 0; i < plan.Rows(); ++i) {
      if (half)
        halfProc(plan.Dst(i), plan.Src(0, i), plan.Src(1, i), Count(c.w));
      else
        blend(plan.Dst(i), plan.Src(0, i), plan.Src(1, i), Count(c.w), rate);
    }
    return true;
  });
}

namespace {

bool SaturatingRows(const ZoClip& c, const unsigned char* src, int pitch, VXRGBAddProc proc, unsigned char* dst,
                    int dstPitch, int bpp) {
  ZoRowPlan plan(dst, dstPitch, Bytes(c.w, bpp), c.h);
  plan.Add(src, pitch, Bytes(c.w, bpp));
  if (!plan.Prepare()) return false;
  for (int i = 0; i < plan.Rows(); ++i) proc(plan.Dst(i), plan.Src(0, i), Count(c.w));
  return true;
}

}  // namespace

bool TZoRGBBits::SaturatingDraw(int x, int y, int w, int h, const unsigned char* src, int pitch, bool subtract) {
  if (!created_ || src == nullptr) return false;
  const VXRGBAddProc* table = subtract ? (mmx_ ? _RGBSubMMXProcTable : _RGBSubProcTable)
                                       : (mmx_ ? _RGBAddMMXProcTable : _RGBAddProcTable);
  const VXRGBAddProc proc = table[pixFormat_];
  if (proc == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int bpp = BytesPerPixel();
  src = Skip(src, c, pitch, bpp);
  return Locked([&] { return SaturatingRows(c, src, pitch, proc, At(c.x, c.y), pitch_, bpp); });
}

bool TZoRGBBits::ZoSaturationAdd(int x, int y, int w, int h, const unsigned char* src, int pitch) {
  return SaturatingDraw(x, y, w, h, src, pitch, false);
}

bool TZoRGBBits::ZoSaturationSub(int x, int y, int w, int h, const unsigned char* src, int pitch) {
  return SaturatingDraw(x, y, w, h, src, pitch, true);
}

namespace {

// The blend of one row through an 8-bit plane: plain or double alpha, 3- or 4-byte pixels, packed or not.
struct PlaneBlend {
  bool mmx;
  int factor;  // below 0: the plain alpha-mask rule; else the double-alpha factor

  void operator()(int bytesPerPixel, void* d, const void* s, const void* a, unsigned n) const {
    if (factor < 0) {
      if (bytesPerPixel == 3)
        (mmx ? RGBAlphaOutChannel_MMX : RGBAlphaOutChannel)(d, s, a, n);
      else
        (mmx ? RGBAlphaOutChannel32_MMX : RGBAlphaOutChannel32)(d, s, a, n);
    } else {
      if (bytesPerPixel == 3)
        (mmx ? RGBDoubleAlphaOutChannel_MMX : RGBDoubleAlphaOutChannel)(d, s, a, n, factor);
      else
        (mmx ? RGBDoubleAlphaOutChannel32_MMX : RGBDoubleAlphaOutChannel32)(d, s, a, n, factor);
    }
  }
};

// A work line of RGBQUADs, allocated once per call.
using QuadLine = std::vector<RGBQUAD>;

}  // namespace

bool TZoRGBBits::AlphaPlaneRows(int x, int y, int w, int h, const unsigned char* src, int srcPitch,
                                VXPixFormat srcFormat, const unsigned char* alpha, int alphaPitch, int factor) {
  if (!created_ || src == nullptr || alpha == nullptr || !ValidFormat(srcFormat)) return false;
  const VXRowCopyProc srcToQuad = _RGBQUADcpyFromProcTable[srcFormat];
  const VXRowCopyProc dstToQuad = _RGBQUADcpyFromProcTable[pixFormat_];
  const VXRowCopyProc quadToDst = _RGBQUADcpyToProcTable[pixFormat_];
  if (srcToQuad == nullptr || dstToQuad == nullptr || quadToDst == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int srcBpp = FormatBytes(srcFormat), bpp = BytesPerPixel();
  src = Skip(src, c, srcPitch, srcBpp);
  alpha = Skip(alpha, c, alphaPitch, 1);
  const PlaneBlend blend{mmx_, factor};
  const bool direct = srcBpp == bpp && (bpp == 3 || bpp == 4);
  return Locked([&] {
    QuadLine srcLine(direct || srcBpp == 4 ? 0 : static_cast<std::size_t>(c.w));
    QuadLine dstLine(direct || bpp == 4 ? 0 : static_cast<std::size_t>(c.w));
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(src, srcPitch, Bytes(c.w, srcBpp));
    if (!plan.Prepare()) return false;
    for (int i = 0; i < plan.Rows(); ++i) {
      unsigned char* d = plan.Dst(i);
      const unsigned char* s = plan.Src(0, i);
      const unsigned char* a = alpha + plan.Row(i) * alphaPitch;
      if (direct) {
        blend(bpp, d, s, a, Count(c.w));
        continue;
      }
      const void* s4 = s;
      if (srcBpp != 4) s4 = srcToQuad(srcLine.data(), s, Count(c.w));
      void* d4 = d;
      if (bpp != 4) d4 = dstToQuad(dstLine.data(), d, Count(c.w));
      blend(4, d4, s4, a, Count(c.w));
      if (bpp != 4) quadToDst(d, dstLine.data(), Count(c.w));
    }
    return true;
  });
}

bool TZoRGBBits::ZoAlphaMask(int x, int y, int w, int h, const unsigned char* src, int srcPitch,
                             VXPixFormat srcFormat, const unsigned char* alpha, int alphaPitch) {
  return AlphaPlaneRows(x, y, w, h, src, srcPitch, srcFormat, alpha, alphaPitch, -1);
}

bool TZoRGBBits::ZoDoubleAlphaMask(int x, int y, int w, int h, const unsigned char* src, int srcPitch,
                                   VXPixFormat srcFormat, const unsigned char* alpha, int alphaPitch, int rate) {
  return AlphaPlaneRows(x, y, w, h, src, srcPitch, srcFormat, alpha, alphaPitch,
                        std::clamp(rate, 0, kMaxBlendRate));
}

bool TZoRGBBits::ZoAlphaMask(int x, int y, int w, int h, const unsigned char* src, int srcPitch,
                             VXPixFormat srcFormat) {
  if (srcFormat != pf32_8888) return ZoConvert(x, y, w, h, src, srcFormat, srcPitch);
  if (!created_ || src == nullptr) return false;
  const VXRowCopyProc dstToQuad = _RGBQUADcpyFromProcTable[pixFormat_];
  const VXRowCopyProc quadToDst = _RGBQUADcpyToProcTable[pixFormat_];
  if (dstToQuad == nullptr || quadToDst == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int bpp = BytesPerPixel();
  src = Skip(src, c, srcPitch, 4);
  const auto blend = mmx_ ? RGBAlphaInChannel_MMX : RGBAlphaInChannel;
  return Locked([&] {
    QuadLine dstLine(bpp == 4 ? 0 : static_cast<std::size_t>(c.w));
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(src, srcPitch, Bytes(c.w, 4));
    if (!plan.Prepare()) return false;
    for (int i = 0; i < plan.Rows(); ++i) {
      unsigned char* d = plan.Dst(i);
      if (bpp == 4) {
        blend(d, plan.Src(0, i), Count(c.w));
      } else {
        dstToQuad(dstLine.data(), d, Count(c.w));
        blend(dstLine.data(), plan.Src(0, i), Count(c.w));
        quadToDst(d, dstLine.data(), Count(c.w));
      }
    }
    return true;
  });
}

bool TZoRGBBits::ZoAlphaMask(int x, int y, int w, int h, const unsigned char* srcA, int pitchA,
                             const unsigned char* srcB, int pitchB, VXPixFormat srcFormat, const unsigned char* alpha,
                             int alphaPitch) {
  if (!created_ || srcA == nullptr || srcB == nullptr || alpha == nullptr || !ValidFormat(srcFormat)) return false;
  const VXRowCopyProc srcToQuad = _RGBQUADcpyFromProcTable[srcFormat];
  const VXRowCopyProc quadToDst = _RGBQUADcpyToProcTable[pixFormat_];
  if (srcToQuad == nullptr || quadToDst == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  const int srcBpp = FormatBytes(srcFormat), bpp = BytesPerPixel();
  srcA = Skip(srcA, c, pitchA, srcBpp);
  srcB = Skip(srcB, c, pitchB, srcBpp);
  alpha = Skip(alpha, c, alphaPitch, 1);
  const PlaneBlend blend{mmx_, -1};
  const bool direct = srcBpp == bpp && (bpp == 3 || bpp == 4);
  return Locked([&] {
    QuadLine lineA(direct ? 0 : static_cast<std::size_t>(c.w)), lineB(direct ? 0 : static_cast<std::size_t>(c.w));
    ZoRowPlan plan(At(c.x, c.y), pitch_, Bytes(c.w, bpp), c.h);
    plan.Add(srcA, pitchA, Bytes(c.w, srcBpp));
    plan.Add(srcB, pitchB, Bytes(c.w, srcBpp));
    if (!plan.Prepare()) return false;
    for (int i = 0; i < plan.Rows(); ++i) {
      unsigned char* d = plan.Dst(i);
      const unsigned char* a = alpha + plan.Row(i) * alphaPitch;
      if (direct) {
        // Both sources are fetched (and staged where they overlap) before the row is written.
        const unsigned char* s = plan.Src(0, i);
        const unsigned char* over = plan.Src(1, i);
        if (s != d) std::memcpy(d, s, Bytes(c.w, bpp));
        blend(bpp, d, over, a, Count(c.w));
        continue;
      }
      srcToQuad(lineA.data(), plan.Src(0, i), Count(c.w));
      srcToQuad(lineB.data(), plan.Src(1, i), Count(c.w));
      blend(4, lineA.data(), lineB.data(), a, Count(c.w));
      quadToDst(d, lineA.data(), Count(c.w));
    }
    return true;
  });
}

// ---------------------------------------------------------------------------------------------------------------
// Drawing operations

bool TZoRGBBits::PSet(int x, int y, std::uint32_t pixel) {
  if (!created_ || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  const VXPointSetProc set = _PointSetProcTable[bitDepth_];
  if (set == nullptr || !Lock()) return false;
  set(At(x, y), pixel);
  Unlock();
  MarkArea(x, y, 1, 1);
  return true;
}

std::uint32_t TZoRGBBits::PGet(int x, int y) {
  if (!created_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const VXPointGetProc get = _PointGetProcTable[bitDepth_];
  if (get == nullptr || !Lock()) return 0;
  const std::uint32_t value = get(At(x, y));
  Unlock();
  return value;
}

std::uint32_t TZoRGBBits::TopLeftGet() { return PGet(0, 0); }

bool TZoRGBBits::Line(int x1, int y1, int x2, int y2, std::uint32_t pixel) {
  if (!created_) return false;
  const bool ok = ZoLine(x1, y1, x2, y2, pixel);
  SetModified(x1, y1, x2, y2);
  return ok;
}

bool TZoRGBBits::Box(int x1, int y1, int x2, int y2, std::uint32_t pixel) {
  if (!created_ || !Lock()) return false;
  x1 = ZoClampCoord(x1), y1 = ZoClampCoord(y1), x2 = ZoClampCoord(x2), y2 = ZoClampCoord(y2);
  bool ok;
  if (x1 == x2 || y1 == y2) {
    ok = ZoLine(x1, y1, x2, y2, pixel);
  } else {
    ok = ZoLine(x1, y1, x2, y1, pixel);
    ok = ZoLine(x1, y1, x1, y2, pixel) && ok;
    ok = ZoLine(x1, y2, x2, y2, pixel) && ok;
    ok = ZoLine(x2, y1, x2, y2, pixel) && ok;
  }
  SetModified(x1, y1, x2, y2);
  Unlock();
  return ok;
}

bool TZoRGBBits::BoxFill(int x1, int y1, int x2, int y2, std::uint32_t pixel) {
  if (!ZoBoxFill(x1, y1, x2, y2, pixel)) return false;
  SetModified(x1, y1, x2, y2);
  return true;
}

bool TZoRGBBits::PutPat(int x, int y, int w, int h, const unsigned char* src) {
  return PutPatPitch(x, y, w, h, src, w * BytesPerPixel());
}

bool TZoRGBBits::PutPatPitch(int x, int y, int w, int h, const unsigned char* src, int pitch) {
  if (!ZoPutPat(x, y, w, h, src, pitch, false, 0)) return false;
  MarkArea(x, y, w, h);
  return true;
}

bool TZoRGBBits::PasPat(int x, int y, int w, int h, const unsigned char* src, std::uint32_t key) {
  return PasPatPitch(x, y, w, h, src, w * BytesPerPixel(), key);
}

bool TZoRGBBits::PasPatPitch(int x, int y, int w, int h, const unsigned char* src, int pitch, std::uint32_t key) {
  if (!ZoPutPat(x, y, w, h, src, pitch, true, key)) return false;
  MarkArea(x, y, w, h);
  return true;
}

bool TZoRGBBits::PasMPat(int x, int y, int w, int h, const unsigned char* src, const unsigned char* mask,
                         int maskWidth, int maskHeight) {
  if (!ZoPutPatM(x, y, w, h, src, w * BytesPerPixel(), mask, maskWidth, maskHeight)) return false;
  MarkArea(x, y, w, h);
  return true;
}

bool TZoRGBBits::GetPat(int x, int y, int w, int h, unsigned char* dst) { return ZoGetPat(x, y, w, h, dst); }

bool TZoRGBBits::InsideSource(const TZoRGBBits* src, int sx, int sy, int w, int h) const {
  return created_ && Usable(src) && CompatibleFormat(src->pixFormat_, pixFormat_) && sx >= 0 && sy >= 0 &&
         std::int64_t{sx} + w <= src->width_ && std::int64_t{sy} + h <= src->height_;
}

bool TZoRGBBits::CopyFrom(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, bool key,
                          std::uint32_t keyPixel) {
  if (!InsideSource(src, sx, sy, w, h)) return false;
  if (w <= 0 || h <= 0) return true;
  const SourceLock lock(src);
  if (!lock || !ZoPutPat(dx, dy, w, h, src->At(sx, sy), src->pitch_, key, keyPixel)) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

template <class Kernel>
bool TZoRGBBits::FromSource(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, Kernel&& kernel) {
  if (!ClipToSource(src->width_, src->height_, dx, dy, sx, sy, w, h)) return true;
  const SourceLock lock(src);
  if (!lock || !kernel(dx, dy, w, h, src->At(sx, sy))) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

bool TZoRGBBits::Draw(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  return CopyFrom(dx, dy, src, sx, sy, w, h, false, 0);
}

bool TZoRGBBits::ClipDraw(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  if (reverse_ || !created_ || !Usable(src)) return false;
  if (!ClipToSource(src->width_, src->height_, dx, dy, sx, sy, w, h)) return CompatibleFormat(src->pixFormat_, pixFormat_);
  return Draw(dx, dy, src, sx, sy, w, h);
}

bool TZoRGBBits::DrawKey(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, VXRGB key) {
  return CopyFrom(dx, dy, src, sx, sy, w, h, true, TZoRGBtoPixel(key));
}

bool TZoRGBBits::DrawTLKey(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  if (!Usable(src)) return false;
  return CopyFrom(dx, dy, src, sx, sy, w, h, true, src->TopLeftGet());
}

bool TZoRGBBits::DrawMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, const unsigned char* mask,
                          int maskWidth, int maskHeight) {
  if (!InsideSource(src, sx, sy, w, h)) return false;
  if (w <= 0 || h <= 0) return true;
  const SourceLock lock(src);
  if (!lock || !ZoPutPatM(dx, dy, w, h, src->At(sx, sy), src->pitch_, mask, maskWidth, maskHeight)) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

bool TZoRGBBits::ConvertCopy(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  if (!created_ || !Usable(src)) return false;
  return FromSource(dx, dy, src, sx, sy, w, h, [&](int x, int y, int cw, int ch, const unsigned char* pixels) {
    return ZoConvert(x, y, cw, ch, pixels, src->pixFormat_, src->pitch_);
  });
}

bool TZoRGBBits::AlphaBlend(int dx, int dy, TZoRGBBits* a, int ax, int ay, TZoRGBBits* b, int bx, int by, int w,
                            int h, int rate) {
  if (!created_) return false;
  if (rate == 0) return Draw(dx, dy, a, ax, ay, w, h);
  if (rate == kMaxBlendRate) return Draw(dx, dy, b, bx, by, w, h);
  if (rate < 0 || rate > kMaxBlendRate || !Usable(a) || !Usable(b)) return false;
  if (!CompatibleFormat(a->pixFormat_, pixFormat_) || !CompatibleFormat(b->pixFormat_, pixFormat_)) return false;
  if (!ZoClipToSources(dx, dy, w, h, {{&ax, &ay, a->width_, a->height_}, {&bx, &by, b->width_, b->height_}}))
    return true;
  const SourceLock lockA(a);
  if (!lockA) return false;
  const SourceLock lockB(b);
  if (!lockB) return false;
  if (!ZoAlphaBlend(dx, dy, w, h, a->At(ax, ay), a->pitch_, b->At(bx, by), b->pitch_, rate)) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

bool TZoRGBBits::AlphaBlend(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, int rate) {
  if (rate == 0) return true;
  if (rate == kMaxBlendRate) return Draw(dx, dy, src, sx, sy, w, h);
  return AlphaBlend(dx, dy, this, dx, dy, src, sx, sy, w, h, rate);
}

bool TZoRGBBits::SaturationAdd(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  if (!created_ || !Usable(src) || !CompatibleFormat(src->pixFormat_, pixFormat_)) return false;
  return FromSource(dx, dy, src, sx, sy, w, h, [&](int x, int y, int cw, int ch, const unsigned char* pixels) {
    return ZoSaturationAdd(x, y, cw, ch, pixels, src->pitch_);
  });
}

bool TZoRGBBits::SaturationSub(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  if (!created_ || !Usable(src) || !CompatibleFormat(src->pixFormat_, pixFormat_)) return false;
  return FromSource(dx, dy, src, sx, sy, w, h, [&](int x, int y, int cw, int ch, const unsigned char* pixels) {
    return ZoSaturationSub(x, y, cw, ch, pixels, src->pitch_);
  });
}

bool TZoRGBBits::PlaneDraw(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, const TZoAlpha* alpha,
                           int factor) {
  if (!created_ || !Usable(src) || alpha == nullptr || !alpha->IsCreated()) return false;
  if (!ClipToSource(src->width_, src->height_, dx, dy, sx, sy, w, h)) return true;
  if (!ClipToSource(alpha->GetWidth(), alpha->GetHeight(), dx, dy, sx, sy, w, h)) return true;
  const SourceLock lock(src);
  if (!lock) return false;
  const unsigned char* plane = alpha->At(sx, sy);
  const bool ok = factor < 0 ? ZoAlphaMask(dx, dy, w, h, src->At(sx, sy), src->pitch_, src->pixFormat_, plane,
                                           alpha->GetPitch())
                             : ZoDoubleAlphaMask(dx, dy, w, h, src->At(sx, sy), src->pitch_, src->pixFormat_, plane,
                                                 alpha->GetPitch(), factor);
  if (!ok) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

bool TZoRGBBits::DrawAlphaMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h,
                               const TZoAlpha* alpha) {
  return PlaneDraw(dx, dy, src, sx, sy, w, h, alpha, -1);
}

bool TZoRGBBits::DrawAlphaMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h) {
  if (!created_ || !Usable(src)) return false;
  return FromSource(dx, dy, src, sx, sy, w, h, [&](int x, int y, int cw, int ch, const unsigned char* pixels) {
    return ZoAlphaMask(x, y, cw, ch, pixels, src->pitch_, src->pixFormat_);
  });
}

bool TZoRGBBits::DrawAlphaMask(int dx, int dy, TZoRGBBits* a, int ax, int ay, TZoRGBBits* b, int bx, int by, int w,
                               int h, const TZoAlpha* alpha) {
  if (!created_ || !Usable(a) || !Usable(b) || alpha == nullptr || !alpha->IsCreated()) return false;
  // The kernel reads both sources in A's format: B must be laid out the same way.
  if (!CompatibleFormat(a->pixFormat_, b->pixFormat_)) return false;
  if (!ZoClipToSources(dx, dy, w, h,
                       {{&ax, &ay, a->width_, a->height_},
                        {&bx, &by, b->width_, b->height_},
                        {&bx, &by, alpha->GetWidth(), alpha->GetHeight()}}))
    return true;
  const SourceLock lockA(a);
  if (!lockA) return false;
  const SourceLock lockB(b);
  if (!lockB) return false;
  if (!ZoAlphaMask(dx, dy, w, h, a->At(ax, ay), a->pitch_, b->At(bx, by), b->pitch_, a->pixFormat_,
                   alpha->At(bx, by), alpha->GetPitch()))
    return false;
  MarkArea(dx, dy, w, h);
  return true;
}

bool TZoRGBBits::DrawDoubleAlphaMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h,
                                     const TZoAlpha* alpha, int rate) {
  if (rate == 0) return true;
  if (rate == kMaxBlendRate) return DrawAlphaMask(dx, dy, src, sx, sy, w, h, alpha);
  if (rate < 0 || rate > kMaxBlendRate) return false;
  return PlaneDraw(dx, dy, src, sx, sy, w, h, alpha, rate);
}

bool TZoRGBBits::FillDraw(int dx, int dy, std::uint32_t pixel, int ax, int ay, int w, int h, const TZoAlpha* alpha,
                          int factor) {
  if (!created_ || alpha == nullptr || !alpha->IsCreated()) return false;
  if (!ClipToSource(alpha->GetWidth(), alpha->GetHeight(), dx, dy, ax, ay, w, h)) return true;
  const VXRowFillProc fill = _RGBFillProcTable[bitDepth_];
  if (fill == nullptr) return false;
  std::vector<unsigned char> row;
  try {
    row.resize(Bytes(w, BytesPerPixel()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  fill(row.data(), pixel, Count(w));
  // A source pitch of 0: every destination row reads the same filled row.
  const unsigned char* plane = alpha->At(ax, ay);
  const bool ok = factor < 0 ? ZoAlphaMask(dx, dy, w, h, row.data(), 0, pixFormat_, plane, alpha->GetPitch())
                             : ZoDoubleAlphaMask(dx, dy, w, h, row.data(), 0, pixFormat_, plane, alpha->GetPitch(),
                                                 factor);
  if (!ok) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

bool TZoRGBBits::AlphaFill(int dx, int dy, std::uint32_t pixel, int ax, int ay, int w, int h,
                           const TZoAlpha* alpha) {
  return FillDraw(dx, dy, pixel, ax, ay, w, h, alpha, -1);
}

bool TZoRGBBits::AlphaFillRate(int dx, int dy, std::uint32_t pixel, int ax, int ay, int w, int h,
                               const TZoAlpha* alpha, int rate) {
  if (rate == 0) return true;
  if (rate == kMaxBlendRate) return AlphaFill(dx, dy, pixel, ax, ay, w, h, alpha);
  if (rate < 0 || rate > kMaxBlendRate) return false;
  return FillDraw(dx, dy, pixel, ax, ay, w, h, alpha, rate);
}

bool TZoRGBBits::IndexColorCopy(int dx, int dy, const unsigned char* indices, const RGBQUAD* palette,
                                int paletteCount, int sx, int sy, int w, int h, int pitch) {
  if (indices == nullptr) return false;
  const unsigned char* first = indices + static_cast<std::ptrdiff_t>(sy) * pitch + sx;
  if (!ZoIndexColor(dx, dy, w, h, first, palette, paletteCount, pitch)) return false;
  MarkArea(dx, dy, w, h);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Colour effects

template <class Line3, class Line4>
bool TZoRGBBits::EffectRows(int x1, int y1, int x2, int y2, Line3&& line3, Line4&& line4) {
  if (!created_) return false;
  const VXRowCopyProc toTriple = _RGBTRIPLEcpyFromProcTable[pixFormat_];
  const VXRowCopyProc fromTriple = _RGBTRIPLEcpyToProcTable[pixFormat_];
  if (toTriple == nullptr || fromTriple == nullptr) return false;
  const int bpp = BytesPerPixel();
  std::vector<RGBTRIPLE> work;
  try {
    if (bpp != 3 && bpp != 4) work.resize(static_cast<std::size_t>(width_));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return Locked([&] {
    VXRect r;
    if (ZoCornerRect(x1, y1, x2, y2, width_, height_, r)) {
      const unsigned n = Count(r.right - r.left);
      for (int y = r.top; y < r.bottom; ++y) {
        unsigned char* row = At(r.left, y);
        if (bpp == 4) {
          line4(row, n);
        } else if (bpp == 3) {
          line3(row, n);
        } else {
          toTriple(work.data(), row, n);
          line3(reinterpret_cast<unsigned char*>(work.data()), n);
          fromTriple(row, work.data(), n);
        }
      }
    }
    SetModified();
    return true;
  });
}

bool TZoRGBBits::ToneChange(int x1, int y1, int x2, int y2, std::uint32_t tone) {
  const bool mmx = mmx_;
  // The packed 32-bit routine also scales the fourth byte by the tone's top byte; a factor of 128 there keeps
  // the alpha of the picture as it was.
  const std::uint32_t tone32 = mmx ? (tone & 0x00FFFFFFu) | 0x80000000u : tone;
  return EffectRows(
      x1, y1, x2, y2,
      [&](unsigned char* p, unsigned n) { (mmx ? RGBTone24_MMX : RGBTone24)(p, p, tone, n); },
      [&](unsigned char* p, unsigned n) { (mmx ? RGBTone32_MMX : RGBTone32)(p, p, tone32, n); });
}

bool TZoRGBBits::Monochrome(int x1, int y1, int x2, int y2) {
  return EffectRows(
      x1, y1, x2, y2, [](unsigned char* p, unsigned n) { RGBMonochrome24(p, p, n); },
      [](unsigned char* p, unsigned n) { RGBMonochrome32(p, p, n); });
}

namespace {

template <int Stride, class Pixel>
void EachPixel(unsigned char* p, unsigned n, Pixel&& pixel) {
  for (unsigned i = 0; i < n; ++i, p += Stride) pixel(p);
}

void SepiaPixel(unsigned char* p) {
  const int b = p[0], g = p[1], r = p[2];
  p[0] = static_cast<unsigned char>((2 * b + g + r) / 8);
  p[1] = static_cast<unsigned char>((b + 2 * g + r) / 5);
  p[2] = static_cast<unsigned char>((b + g + 2 * r) / 4);
}

void NegativePixel(unsigned char* p) {
  p[0] = static_cast<unsigned char>(255 - p[0]);
  p[1] = static_cast<unsigned char>(255 - p[1]);
  p[2] = static_cast<unsigned char>(255 - p[2]);
}

}  // namespace

bool TZoRGBBits::Sepia(int x1, int y1, int x2, int y2) {
  return EffectRows(
      x1, y1, x2, y2, [](unsigned char* p, unsigned n) { EachPixel<3>(p, n, SepiaPixel); },
      [](unsigned char* p, unsigned n) { EachPixel<4>(p, n, SepiaPixel); });
}

bool TZoRGBBits::Negative(int x1, int y1, int x2, int y2) {
  return EffectRows(
      x1, y1, x2, y2, [](unsigned char* p, unsigned n) { EachPixel<3>(p, n, NegativePixel); },
      [](unsigned char* p, unsigned n) { EachPixel<4>(p, n, NegativePixel); });
}

// ---------------------------------------------------------------------------------------------------------------
// Picture loaders

namespace {

// Reads one picture in `format` into the rows that the sink gives.
using PictureRead = std::function<bool(VXPixFormat format, const VXPictureSink& sink)>;

// Where a load puts its rows. A bitmap or plane that the load creates, and in which the picture lies whole and
// unmirrored, takes the rows straight into its own pixels: a failed load releases it again, so nothing of the
// failure shows. Anything else (a target that existed, a picture cut by the edges or drawn mirrored) is staged in a
// buffer and drawn only once the whole picture was read, so that a failure draws nothing.
class LoadPlacement {
public:
  LoadPlacement(TZoRGBBits& bits, TZoAlpha* plane, int x, int y) : bits_(bits), plane_(plane), x_(x), y_(y) {}
  ~LoadPlacement() {
    if (locked_) bits_.Unlock();
  }
  LoadPlacement(const LoadPlacement&) = delete;
  LoadPlacement& operator=(const LoadPlacement&) = delete;

  // The sink's work: both targets made ready before anything is decoded.
  bool Place(int width, int height, VXPictureRows& rows) {
    if (width <= 0 || height <= 0) return VXRefuse("a picture without pixels");
    width_ = width, height_ = height;
    if (!bitsTarget_.Prepare(&bits_, x_, y_, width, height)) return VXRefuse("the bitmap cannot be made");
    if (plane_ != nullptr && !planeTarget_.Prepare(plane_, x_, y_, width, height))
      return VXRefuse("the alpha plane cannot be made");
    const int bpp = bits_.GetBitDepth();
    try {
      if (Direct(bitsTarget_.Made(), bits_.GetWidth(), bits_.GetHeight()) && !bits_.GetReverse() && bits_.Lock()) {
        locked_ = true;
        rows.pixels = bits_.GetBits() + static_cast<std::ptrdiff_t>(y_) * bits_.GetPitch() +
                      static_cast<std::ptrdiff_t>(x_) * bpp;
        rows.pitch = bits_.GetPitch();
      } else {
        pixels_.resize(std::size_t(width) * std::size_t(height) * bpp);
        rows.pixels = pixels_.data();
        rows.pitch = static_cast<std::ptrdiff_t>(width) * bpp;
      }
      if (plane_ == nullptr) return true;
      if (Direct(planeTarget_.Made(), plane_->GetWidth(), plane_->GetHeight())) {
        rows.alpha = plane_->At(x_, y_);
        rows.alphaPitch = plane_->GetPitch();
      } else {
        alpha_.resize(std::size_t(width) * std::size_t(height));
        rows.alpha = alpha_.data();
        rows.alphaPitch = width;
      }
    } catch (const std::bad_alloc&) {
      return VXRefuse("out of memory");
    }
    return true;
  }

  // After the whole picture was read: staged rows drawn, the change reported, both targets kept.
  bool Finish() {
    if (locked_) {
      bits_.Unlock();
      locked_ = false;
      const VXRect area{x_, y_, x_ + width_, y_ + height_};
      bits_.SetModified(&area);
    } else if (!bits_.PutPat(x_, y_, width_, height_, pixels_.data())) {
      return false;
    }
    if (!alpha_.empty() && !plane_->PutAlpha(x_, y_, width_, height_, alpha_.data())) return false;
    bitsTarget_.Keep();
    planeTarget_.Keep();
    return true;
  }

private:
  bool Direct(bool made, int targetWidth, int targetHeight) const {
    return made && x_ >= 0 && y_ >= 0 && std::int64_t{x_} + width_ <= targetWidth &&
           std::int64_t{y_} + height_ <= targetHeight;
  }

  TZoRGBBits& bits_;
  TZoAlpha* plane_;
  int x_, y_, width_ = 0, height_ = 0;
  bool locked_ = false;
  ZoLoadTarget<TZoRGBBits> bitsTarget_;
  ZoLoadTarget<TZoAlpha> planeTarget_;
  std::vector<unsigned char> pixels_, alpha_;
};

bool LoadPicture(TZoRGBBits& bits, VXStream* stream, int x, int y, TZoAlpha* plane, const PictureRead& read) {
  if (stream == nullptr) return false;
  LoadPlacement placement(bits, plane, x, y);
  const VXPictureSink sink = [&](int w, int h, VXPictureRows& rows) { return placement.Place(w, h, rows); };
  return read(bits.GetPixFormat(), sink) && placement.Finish();
}

}  // namespace

bool TZoRGBBits::DrawBmpStream(VXStream* stream, int x, int y) {
  return LoadPicture(*this, stream, x, y, nullptr,
                     [&](VXPixFormat f, const VXPictureSink& sink) { return ReadBmp(stream, f, sink); });
}

bool TZoRGBBits::DrawJpegStream(VXStream* stream, int x, int y) {
  return LoadPicture(*this, stream, x, y, nullptr,
                     [&](VXPixFormat f, const VXPictureSink& sink) { return ReadJpeg(stream, f, sink); });
}

bool TZoRGBBits::DrawPngStream(VXStream* stream, int x, int y, TZoAlpha* alpha) {
  return LoadPicture(*this, stream, x, y, alpha,
                     [&](VXPixFormat f, const VXPictureSink& sink) { return ReadPng(stream, f, sink); });
}

bool TZoRGBBits::DrawPngWMStream(VXStream* stream, int x, int y, TZoAlpha* alpha) {
  return LoadPicture(*this, stream, x, y, alpha,
                     [&](VXPixFormat f, const VXPictureSink& sink) { return ReadPngWhiteMat(stream, f, sink); });
}

bool TZoRGBBits::DrawGnyStream(VXStream* stream, int x, int y, const unsigned char* key) {
  return LoadPicture(*this, stream, x, y, nullptr, [&](VXPixFormat f, const VXPictureSink& sink) {
    // The scrambled file is read whole first and then placed.
    unsigned char* pixels = nullptr;
    int w = 0, h = 0;
    if (!LoadGny(stream, &pixels, &w, &h, f, key)) return false;
    const ZoPictureBlock block(pixels);
    VXPictureRows rows;
    if (!sink(w, h, rows)) return false;
    const std::size_t row = std::size_t(w) * _FormatAndDepthTable[f];
    for (int j = 0; j < h; ++j) std::memcpy(rows.pixels + j * rows.pitch, block.get() + j * row, row);
    return true;
  });
}

bool TZoRGBBits::DrawBmpStream(Classes::TStream* stream, int x, int y) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return DrawBmpStream(s, x, y); });
}

bool TZoRGBBits::DrawJpegStream(Classes::TStream* stream, int x, int y) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return DrawJpegStream(s, x, y); });
}

bool TZoRGBBits::DrawPngStream(Classes::TStream* stream, int x, int y, TZoAlpha* alpha) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return DrawPngStream(s, x, y, alpha); });
}

bool TZoRGBBits::DrawPngWMStream(Classes::TStream* stream, int x, int y, TZoAlpha* alpha) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return DrawPngWMStream(s, x, y, alpha); });
}

bool TZoRGBBits::DrawGnyStream(Classes::TStream* stream, int x, int y, const unsigned char* key) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return DrawGnyStream(s, x, y, key); });
}
