#include "graphics/zoalpha.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "core/cpuid.h"
#include "core/vxmemcpy.h"
#include "graphics/vxbmp.h"
#include "graphics/vxrgbeffect.h"
#include "graphics/zoloaders.h"
#include "graphics/zoraster.h"

namespace {

TZoAlphaNotify& OverRunHandler() {
  static TZoAlphaNotify handler;
  return handler;
}

}  // namespace

void SetOnAlphaBufferOverRun(TZoAlphaNotify handler) { OverRunHandler() = std::move(handler); }

TZoAlpha::TZoAlpha(Classes::TComponent* owner) : Classes::TComponent(owner), mmx_(TheCPUID().IsMmxSupport()) {}

TZoAlpha::~TZoAlpha() {
  if (created_) TZoAlpha::Release();
}

bool TZoAlpha::Create() {
  if (created_) return false;
  unsigned char* block = ZoAllocGuarded(width_, height_, 1, kGuardBytes, kGuardByte);
  if (block == nullptr) return false;
  bits_ = block;
  pitch_ = width_;
  created_ = true;
  Cls();
  return true;
}

bool TZoAlpha::CheckGuard() {
  if (ZoGuardIntact(bits_ + std::int64_t{pitch_} * height_, kGuardBytes, kGuardByte)) return true;
  overRun_ = true;
  if (OverRunHandler()) OverRunHandler()(this);
  return false;
}

void TZoAlpha::Release() {
  if (!created_) return;
  CheckGuard();
  std::free(bits_);
  bits_ = nullptr;
  created_ = false;
}

bool TZoAlpha::Resize(int width, int height) {
  if (ZoStorageBytes(width, height, 1, kGuardBytes) < 0) return false;
  if (!created_) {
    width_ = width, height_ = height;
    return true;
  }
  unsigned char* block = ZoAllocGuarded(width, height, 1, kGuardBytes, kGuardByte);
  if (block == nullptr) return false;
  CheckGuard();
  std::free(bits_);
  bits_ = block;
  width_ = width, height_ = height, pitch_ = width;
  Cls();
  return true;
}

bool TZoAlpha::GetDC(void**) { return false; }
bool TZoAlpha::ReleaseDC(void*) { return true; }

void TZoAlpha::SetID(const VXString& id) {
  std::memset(id_, 0, sizeof id_);
  std::memcpy(id_, id.c_str(), std::min<std::size_t>(sizeof id_, static_cast<std::size_t>(id.Length())));
}

VXString TZoAlpha::GetID() const { return VXString(id_, sizeof id_); }

void TZoAlpha::ClipRect(const VXRect& a, const VXRect& b, int& left, int& top, int& right, int& bottom) {
  ZoClipRect(a, b, left, top, right, bottom);
}

void TZoAlpha::Cls() { Fill(255); }

void TZoAlpha::Fill(unsigned char value) {
  if (!created_) return;
  for (int y = 0; y < height_; ++y) std::memset(At(0, y), value, static_cast<std::size_t>(width_));
}

bool TZoAlpha::PSet(int x, int y, unsigned char value) {
  if (!created_ || x < 0 || y < 0 || x >= width_ || y >= height_) return false;
  *At(x, y) = value;
  return true;
}

unsigned char TZoAlpha::PGet(int x, int y) const {
  if (!created_ || x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return *At(x, y);
}

bool TZoAlpha::Line(int x1, int y1, int x2, int y2, unsigned char value) {
  if (!created_) return false;
  ZoLineWalk(x1, y1, x2, y2, [&](int x, int y) { PSet(x, y, value); });
  return true;
}

bool TZoAlpha::BoxFill(int x1, int y1, int x2, int y2, unsigned char value) {
  if (!created_) return false;
  VXRect r;
  if (!ZoCornerRect(x1, y1, x2, y2, width_, height_, r)) return true;
  for (int y = r.top; y < r.bottom; ++y) std::memset(At(r.left, y), value, static_cast<std::size_t>(r.right - r.left));
  return true;
}

bool TZoAlpha::ToneDown(int x1, int y1, int x2, int y2, int rate) {
  if (!created_ || rate < 0 || rate > kMaxBlendRate) return false;
  VXRect r;
  if (!ZoCornerRect(x1, y1, x2, y2, width_, height_, r)) return true;
  for (int y = r.top; y < r.bottom; ++y) {
    unsigned char* p = At(r.left, y);
    for (int x = 0; x < r.right - r.left; ++x) p[x] = static_cast<unsigned char>(p[x] * rate / kMaxBlendRate);
  }
  return true;
}

bool TZoAlpha::Contains(int sx, int sy, int w, int h) const {
  return sx >= 0 && sy >= 0 && std::int64_t{sx} + w <= width_ && std::int64_t{sy} + h <= height_;
}

bool TZoAlpha::RawRows(int x, int y, int w, int h, const unsigned char* src, int pitch, RowProc proc) {
  if (!created_) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  src += static_cast<std::ptrdiff_t>(c.skipY) * pitch + c.skipX;
  ZoRowPlan plan(At(c.x, c.y), pitch_, static_cast<std::size_t>(c.w), c.h);
  plan.Add(src, pitch, static_cast<std::size_t>(c.w));
  if (!plan.Prepare()) return false;
  for (int i = 0; i < plan.Rows(); ++i) proc(plan.Dst(i), plan.Src(0, i), static_cast<unsigned>(c.w));
  return true;
}

bool TZoAlpha::PutAlphaPitch(int x, int y, int w, int h, const unsigned char* src, int pitch) {
  if (src == nullptr) return false;
  return RawRows(x, y, w, h, src, pitch, [](void* d, const void* s, unsigned n) { VXMemcpy(d, s, n); });
}

bool TZoAlpha::PutAlpha(int x, int y, int w, int h, const unsigned char* src) {
  return PutAlphaPitch(x, y, w, h, src, w);
}

bool TZoAlpha::GetAlpha(int x, int y, int w, int h, unsigned char* dst) const {
  if (!created_ || dst == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  dst += static_cast<std::ptrdiff_t>(c.skipY) * w + c.skipX;
  for (int j = 0; j < c.h; ++j)
    VXMemcpy(dst + static_cast<std::ptrdiff_t>(j) * w, At(c.x, c.y + j), static_cast<unsigned>(c.w));
  return true;
}

bool TZoAlpha::Draw(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h) {
  if (!created_ || src == nullptr || !src->created_ || !src->Contains(sx, sy, w, h)) return false;
  if (w <= 0 || h <= 0) return true;
  return PutAlphaPitch(dx, dy, w, h, src->At(sx, sy), src->pitch_);
}

bool TZoAlpha::ZoAlphaBlend(int x, int y, int w, int h, const unsigned char* srcA, int pitchA,
                            const unsigned char* srcB, int pitchB, int rate) {
  if (!created_ || srcA == nullptr || srcB == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  srcA += static_cast<std::ptrdiff_t>(c.skipY) * pitchA + c.skipX;
  srcB += static_cast<std::ptrdiff_t>(c.skipY) * pitchB + c.skipX;
  ZoRowPlan plan(At(c.x, c.y), pitch_, static_cast<std::size_t>(c.w), c.h);
  plan.Add(srcA, pitchA, static_cast<std::size_t>(c.w));
  plan.Add(srcB, pitchB, static_cast<std::size_t>(c.w));
  if (!plan.Prepare()) return false;
  const VXRGBAlphaProc blend = mmx_ ? RGBAlpha8_MMX : RGBAlpha8;
  for (int i = 0; i < plan.Rows(); ++i) {
    if (rate == kMaxBlendRate / 2)
      RGBHalf8(plan.Dst(i), plan.Src(0, i), plan.Src(1, i), static_cast<unsigned>(c.w));
    else
      blend(plan.Dst(i), plan.Src(0, i), plan.Src(1, i), static_cast<unsigned>(c.w), rate);
  }
  return true;
}

bool TZoAlpha::ZoSaturationAdd(int x, int y, int w, int h, const unsigned char* src, int pitch) {
  if (src == nullptr) return false;
  return RawRows(x, y, w, h, src, pitch, mmx_ ? RGBAdd8_MMX : RGBAdd8);
}

bool TZoAlpha::ZoSaturationSub(int x, int y, int w, int h, const unsigned char* src, int pitch) {
  if (src == nullptr) return false;
  return RawRows(x, y, w, h, src, pitch, mmx_ ? RGBSub8_MMX : RGBSub8);
}

namespace {

// Cuts (sx, sy, w, h) to a plane; the destination position moves by the cut on the left and the top.
bool ClipToSource(const TZoAlpha& src, int& dx, int& dy, int& sx, int& sy, int& w, int& h) {
  ZoClip c;
  if (!ZoClipArea(sx, sy, w, h, src.GetWidth(), src.GetHeight(), c)) return false;
  dx += c.skipX, dy += c.skipY, sx = c.x, sy = c.y, w = c.w, h = c.h;
  return true;
}

}  // namespace

bool TZoAlpha::AlphaBlend(int dx, int dy, const TZoAlpha* a, int ax, int ay, const TZoAlpha* b, int bx, int by,
                          int w, int h, int rate) {
  if (!created_) return false;
  if (rate == 0) return Draw(dx, dy, a, ax, ay, w, h);
  if (rate == kMaxBlendRate) return Draw(dx, dy, b, bx, by, w, h);
  if (rate < 0 || rate > kMaxBlendRate || a == nullptr || b == nullptr || !a->created_ || !b->created_) return false;
  if (!ZoClipToSources(dx, dy, w, h, {{&ax, &ay, a->width_, a->height_}, {&bx, &by, b->width_, b->height_}}))
    return true;
  return ZoAlphaBlend(dx, dy, w, h, a->At(ax, ay), a->pitch_, b->At(bx, by), b->pitch_, rate);
}

bool TZoAlpha::AlphaBlend(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int rate) {
  if (rate == 0) return created_;
  if (rate == kMaxBlendRate) return Draw(dx, dy, src, sx, sy, w, h);
  return AlphaBlend(dx, dy, this, dx, dy, src, sx, sy, w, h, rate);
}

bool TZoAlpha::SaturationAdd(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h) {
  if (!created_ || src == nullptr || !src->created_) return false;
  if (!ClipToSource(*src, dx, dy, sx, sy, w, h)) return true;
  return ZoSaturationAdd(dx, dy, w, h, src->At(sx, sy), src->pitch_);
}

bool TZoAlpha::SaturationSub(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h) {
  if (!created_ || src == nullptr || !src->created_) return false;
  if (!ClipToSource(*src, dx, dy, sx, sy, w, h)) return true;
  return ZoSaturationSub(dx, dy, w, h, src->At(sx, sy), src->pitch_);
}

bool TZoAlpha::LevelRows(int x, int y, int w, int h, const unsigned char* src, int pitch, int level, LevelProc plain,
                         LevelProc mmx) {
  if (!created_ || src == nullptr) return false;
  ZoClip c;
  if (!ZoClipArea(x, y, w, h, width_, height_, c)) return true;
  src += static_cast<std::ptrdiff_t>(c.skipY) * pitch + c.skipX;
  ZoRowPlan plan(At(c.x, c.y), pitch_, static_cast<std::size_t>(c.w), c.h);
  plan.Add(src, pitch, static_cast<std::size_t>(c.w));
  if (!plan.Prepare()) return false;
  const LevelProc proc = mmx_ ? mmx : plain;
  for (int i = 0; i < plan.Rows(); ++i) proc(plan.Dst(i), plan.Src(0, i), level, static_cast<unsigned>(c.w));
  return true;
}

bool TZoAlpha::ZoExtract(int x, int y, int w, int h, const unsigned char* src, int pitch, int level) {
  return LevelRows(x, y, w, h, src, pitch, level, RGBExtractAlpha, RGBExtractAlpha_MMX);
}

bool TZoAlpha::ZoSAdd(int x, int y, int w, int h, const unsigned char* src, int pitch, int level) {
  return LevelRows(x, y, w, h, src, pitch, level, RGBSAddAlpha, RGBSAddAlpha_MMX);
}

bool TZoAlpha::ZoSSub(int x, int y, int w, int h, const unsigned char* src, int pitch, int level) {
  return LevelRows(x, y, w, h, src, pitch, level, RGBSSubAlpha, RGBSSubAlpha_MMX);
}

bool TZoAlpha::Extract(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int level) {
  if (!created_ || src == nullptr || !src->created_ || !src->Contains(sx, sy, w, h)) return false;
  if (w <= 0 || h <= 0) return true;
  return ZoExtract(dx, dy, w, h, src->At(sx, sy), src->pitch_, std::clamp(level, 0, 255));
}

bool TZoAlpha::SAdd(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int level) {
  if (!created_ || src == nullptr || !src->created_ || !src->Contains(sx, sy, w, h)) return false;
  if (w <= 0 || h <= 0) return true;
  return ZoSAdd(dx, dy, w, h, src->At(sx, sy), src->pitch_, std::clamp(level, 0, 255));
}

bool TZoAlpha::SSub(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int level) {
  if (!created_ || src == nullptr || !src->created_ || !src->Contains(sx, sy, w, h)) return false;
  if (w <= 0 || h <= 0) return true;
  return ZoSSub(dx, dy, w, h, src->At(sx, sy), src->pitch_, std::clamp(level, 0, 255));
}

bool ComposeAlphaChannel(TZoAlpha* dst, int dx, int dy, TZoAlpha* share, const TZoAlpha* a, int ax, int ay,
                         const TZoAlpha* b, int bx, int by, int w, int h, int rate) {
  if (rate < 0 || rate > kMaxBlendRate) return false;
  if (dst == nullptr || share == nullptr || a == nullptr || b == nullptr) return false;
  if (!dst->IsCreated() || !share->IsCreated() || !a->IsCreated() || !b->IsCreated()) return false;
  if (b->GetWidth() > share->GetWidth() || b->GetHeight() > share->GetHeight()) return false;
  ZoClip c;
  if (!ZoClipArea(dx, dy, w, h, dst->GetWidth(), dst->GetHeight(), c)) return true;
  // Positions are taken in 64 bits: a source may lie anywhere, also where its position plus the offset in the
  // area passes the int range.
  auto inside = [](const TZoAlpha* p, std::int64_t x, std::int64_t y) {
    return x >= 0 && y >= 0 && x < p->GetWidth() && y < p->GetHeight();
  };
  for (int j = 0; j < c.h; ++j)
    for (int i = 0; i < c.w; ++i) {
      const std::int64_t u = c.skipX + i, v = c.skipY + j;
      const std::int64_t xa = ax + u, ya = ay + v, xb = bx + u, yb = by + v;
      const int A = inside(a, xa, ya) ? a->PGet(static_cast<int>(xa), static_cast<int>(ya)) : 0;
      const bool insideB = inside(b, xb, yb);
      const int B = insideB ? b->PGet(static_cast<int>(xb), static_cast<int>(yb)) : 0;
      const int K = A + (B - A) * rate / kMaxBlendRate;
      *dst->At(c.x + i, c.y + j) = static_cast<unsigned char>(K);
      if (insideB)
        *share->At(static_cast<int>(xb), static_cast<int>(yb)) =
            static_cast<unsigned char>(K == 0 ? 0 : std::min(255, B * rate / K));
    }
  return true;
}

// ---- Picture loaders

namespace {

// Reads an 8-bit picture as one byte per pixel.
using ValuesRead = std::function<bool(unsigned char** values, int* width, int* height)>;

bool LoadValues(TZoAlpha& plane, VXStream* stream, int x, int y, const ValuesRead& read) {
  if (stream == nullptr) return false;
  unsigned char* values = nullptr;
  int width = 0, height = 0;
  const bool readOk = read(&values, &width, &height);
  const ZoPictureBlock block(values);
  if (!readOk || width <= 0 || height <= 0) return false;
  ZoLoadTarget<TZoAlpha> target;
  if (!target.Prepare(&plane, x, y, width, height) || !plane.PutAlpha(x, y, width, height, block.get()))
    return false;
  target.Keep();
  return true;
}

}  // namespace

bool TZoAlpha::LoadAlphaStream(VXStream* stream, int x, int y) {
  return LoadValues(*this, stream, x, y, [&](unsigned char** v, int* w, int* h) { return LoadAlpha(stream, v, w, h); });
}

// The palette is not asked for: the index values themselves are the alpha.
bool TZoAlpha::LoadIndexStream(VXStream* stream, int x, int y) {
  return LoadValues(*this, stream, x, y,
                    [&](unsigned char** v, int* w, int* h) { return LoadPalette(stream, nullptr, v, w, h); });
}

bool TZoAlpha::LoadAlphaStream(Classes::TStream* stream, int x, int y) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return LoadAlphaStream(s, x, y); });
}

bool TZoAlpha::LoadIndexStream(Classes::TStream* stream, int x, int y) {
  return ZoLoadFramework(stream, [&](VXStream* s) { return LoadIndexStream(s, x, y); });
}
