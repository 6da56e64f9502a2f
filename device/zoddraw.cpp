#include "device/zoddraw.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

#include "graphics/zoloaders.h"
#include "graphics/zoraster.h"
#include "platform/font.h"

namespace DirectX {

namespace {

constexpr VXPixFormat kNaturalFormat[kBitDepthCount] = {pfNone, pfNone, pf16_565, pf24_888, pf32_888};

bool MasksEqual(VXPixFormat f, const std::uint32_t masks[4]) {
  return std::equal(masks, masks + 4, _RGBBitMask[f]);
}

platform::video::PixelLayout LayoutOf(VXBitDepth depth) {
  using platform::video::PixelLayout;
  return depth == bd32 ? PixelLayout::Bgrx32 : depth == bd24 ? PixelLayout::Bgr24 : PixelLayout::Rgb565;
}

platform::font::TargetFormat TextFormatOf(VXPixFormat f) {
  using platform::font::TargetFormat;
  switch (f) {
    case pf16_565: return TargetFormat::kRgb565;
    case pf16_555:
    case pf16_5551: return TargetFormat::kRgb555;
    case pf24_888: return TargetFormat::kBgr24;
    default: return TargetFormat::kBgrx32;
  }
}

bool Inside(int x, int y, int w, int h, int width, int height) {
  return x >= 0 && y >= 0 && w > 0 && h > 0 && std::int64_t{x} + w <= width && std::int64_t{y} + h <= height;
}

// The screen area of a sprite. Positions may be anywhere in int range: the far edges are held there, so that a
// sprite placed near the limit cannot overflow (it simply lies off the screen).
VXRect SpriteRect(const TSprite& s, const TSpritePattern& p) {
  const auto edge = [](int from, int size) {
    return static_cast<int>(std::min<std::int64_t>(std::int64_t{from} + size, std::numeric_limits<int>::max()));
  };
  return {s.x, s.y, edge(s.x, p.width), edge(s.y, p.height)};
}

std::vector<platform::video::Rect> ToRects(const VXRectSet& set) {
  std::vector<platform::video::Rect> out;
  out.reserve(set.size());
  for (const VXRect& r : set) out.push_back({r.left, r.top, r.right, r.bottom});
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Pixel formats and display modes

void PixelFormatToDepthFormat(const DDPIXELFORMAT& pf, VXBitDepth& depth, VXPixFormat& format) {
  format = pfNone;
  if (pf.dwFlags & DDPF_PALETTEINDEXED8) {
    depth = pf.dwRGBBitCount == 8 ? bd8 : bdNone;
    return;
  }
  if (!(pf.dwFlags & DDPF_RGB)) {
    depth = bdNone;
    return;
  }
  const std::uint32_t alpha = (pf.dwFlags & DDPF_ALPHAPIXELS) ? pf.dwRGBAlphaBitMask : 0;
  const std::uint32_t masks[4] = {pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask, alpha};
  struct Candidates {
    std::uint32_t bits;
    VXBitDepth depth;
    VXPixFormat formats[4];
  };
  static constexpr Candidates kTable[] = {
      {16, bd16, {pf16_565, pf16_555, pf16_5551, pf16_4444}},
      {24, bd24, {pf24_888, pfNone, pfNone, pfNone}},
      {32, bd32, {pf32_888, pf32_8888, pfNone, pfNone}},
  };
  depth = bdNone;
  for (const Candidates& c : kTable) {
    if (c.bits != pf.dwRGBBitCount) continue;
    depth = c.depth;
    for (VXPixFormat f : c.formats)
      if (f != pfNone && MasksEqual(f, masks)) {
        format = f;
        return;
      }
  }
}

void DepthFormatToPixelFormat(DDPIXELFORMAT& pf, VXBitDepth depth, VXPixFormat format) {
  pf = DDPIXELFORMAT{};
  pf.dwSize = sizeof(DDPIXELFORMAT);
  if (depth == bd8) {
    pf.dwFlags = DDPF_PALETTEINDEXED8;
    pf.dwRGBBitCount = 8;  // so that the format reads back as 8-bit
    return;
  }
  pf.dwFlags = DDPF_RGB;
  VXPixFormat masks = pfNone;
  switch (depth) {
    case bd16:
      pf.dwRGBBitCount = 16;
      masks = format == pfNone ? pf16_565 : format;
      break;
    case bd24:
      pf.dwRGBBitCount = 24;
      masks = pf24_888;
      break;
    case bd32:
      pf.dwRGBBitCount = 32;
      masks = format == pf32_8888 ? pf32_8888 : pf32_888;
      break;
    default: break;
  }
  pf.dwRBitMask = _RGBBitMask[masks][0];
  pf.dwGBitMask = _RGBBitMask[masks][1];
  pf.dwBBitMask = _RGBBitMask[masks][2];
  if (_RGBBitMask[masks][3] != 0) {
    pf.dwFlags |= DDPF_ALPHAPIXELS;
    pf.dwRGBAlphaBitMask = _RGBBitMask[masks][3];
  }
}

bool TDisplayMode::ModeCmp(const TDisplayMode& m) const {
  return bitDepth == m.bitDepth && pixFormat == m.pixFormat && screenSize == m.screenSize;
}

std::span<const TAdapterMode> AdapterModes() {
  static const std::vector<TAdapterMode> modes = [] {
    std::vector<TAdapterMode> out;
    for (int s = 0; s < kScreenSizeCount; ++s)
      for (VXBitDepth depth : {bd16, bd32}) {
        TAdapterMode m;
        m.width = _ScreenSizeTable[s][0];
        m.height = _ScreenSizeTable[s][1];
        DepthFormatToPixelFormat(m.format, depth, kNaturalFormat[depth]);
        out.push_back(m);
      }
    return out;
  }();
  return modes;
}

void ListDisplayModes(std::span<const TAdapterMode> offered, std::vector<TDisplayMode>& list) {
  list.clear();
  for (const TAdapterMode& a : offered) {
    TDisplayMode m;
    m.redMask = a.format.dwRBitMask;
    m.greenMask = a.format.dwGBitMask;
    m.blueMask = a.format.dwBBitMask;
    m.alphaMask = (a.format.dwFlags & DDPF_ALPHAPIXELS) ? a.format.dwRGBAlphaBitMask : 0;
    PixelFormatToDepthFormat(a.format, m.bitDepth, m.pixFormat);
    if (m.bitDepth == bdNone || !PixelToScreenSize(a.width, a.height, m.screenSize)) continue;
    list.push_back(m);
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Surfaces

TDSurface::TDSurface(Classes::TComponent* owner) : TZoRGBBits(owner), display_(dynamic_cast<TDDraw*>(owner)) {
  if (display_ != nullptr) display_->AddSurfaceList(this);
}

TDSurface::TDSurface(Classes::TComponent* owner, VXBitDepth depth, VXPixFormat format, int width, int height,
                     bool videoMemory)
    : TDSurface(owner) {
  bitDepth_ = depth, pixFormat_ = format, width_ = width, height_ = height, videoMemory_ = videoMemory;
  Create();
}

TDSurface::~TDSurface() {
  // The base destructor would free the pixels as its own storage.
  Release();
  if (display_ != nullptr) display_->DelSurfaceList(this);
}

void TDSurface::SetVideoMemory(bool on) {
  if (!created_) videoMemory_ = on;
}

bool TDSurface::Create(VXBitDepth depth, VXPixFormat format, int width, int height, bool videoMemory) {
  if (created_) return false;
  bitDepth_ = depth, pixFormat_ = format, width_ = width, height_ = height, videoMemory_ = videoMemory;
  return Create();
}

std::unique_ptr<TDSurface::Memory> TDSurface::NewMemory(int width, int height, VXBitDepth depth) {
  const std::int64_t bytes = ZoStorageBytes(width, height, static_cast<int>(depth), 0);
  if (bytes <= 0) return nullptr;
  try {
    auto m = std::make_unique<Memory>();
    m->bytes.assign(static_cast<std::size_t>(bytes), 0);
    m->pitch = width * static_cast<int>(depth);
    return m;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool TDSurface::Create() {
  if (created_ || display_ == nullptr || display_->primary_ == nullptr) return false;
  if (!ChkDepthAndFormat(bitDepth_, pixFormat_) || width_ <= 0 || height_ <= 0) return false;
  VXBitDepth depth = bitDepth_;
  VXPixFormat format = pixFormat_;
  if (depth == bdNone) {
    depth = display_->primary_->GetBitDepth();
    format = display_->primary_->GetPixFormat();
  } else if (format == pfNone) {
    format = kNaturalFormat[depth];
  }
  if (depth < bd8 || depth > bd32) return false;
  auto memory = NewMemory(width_, height_, depth);
  if (!memory) return false;
  const std::int64_t bytes = static_cast<std::int64_t>(memory->bytes.size());
  if (videoMemory_) {
    if (!display_->ReserveVideoMemory(bytes)) return false;
    reserved_ = bytes;
  }
  const VXBitDepth oldDepth = bitDepth_;
  const VXPixFormat oldFormat = pixFormat_;
  bitDepth_ = depth, pixFormat_ = format;
  if (!SetProcs()) {
    bitDepth_ = oldDepth, pixFormat_ = oldFormat;
    display_->ReturnVideoMemory(reserved_);
    reserved_ = 0;
    return false;
  }
  memory_ = std::move(memory);
  Bind();
  locked_ = false, lockCount_ = 0, modifiedPending_ = false, modifiedSw_ = true, offCount_ = 0;
  attached_ = false, lost_ = false, created_ = true;
  return true;
}

bool TDSurface::AttachMemory(std::unique_ptr<Memory> memory, VXBitDepth depth, VXPixFormat format, int width,
                             int height) {
  if (created_ || !memory) return false;
  memory_ = std::move(memory);
  bitDepth_ = depth, pixFormat_ = format, width_ = width, height_ = height, videoMemory_ = true;
  Bind();
  locked_ = false, lockCount_ = 0, modifiedPending_ = false, modifiedSw_ = true, offCount_ = 0;
  attached_ = true, lost_ = false, created_ = true;
  return true;
}

void TDSurface::Bind() {
  bits_ = memory_ ? memory_->bytes.data() : nullptr;
  pitch_ = memory_ ? memory_->pitch : 0;
}

void TDSurface::Release() {
  if (!created_) return;
  created_ = false;
  locked_ = false, lockCount_ = 0;
  memory_.reset();
  Bind();
  if (reserved_ != 0 && display_ != nullptr) display_->ReturnVideoMemory(reserved_);
  reserved_ = 0;
  clipping_ = false;
  lost_ = false;
}

bool TDSurface::Resize(int width, int height) {
  if (width <= 0 || height <= 0 || ZoStorageBytes(width, height, std::max(BytesPerPixel(), 1), 0) < 0) return false;
  if (!created_) {
    width_ = width, height_ = height;
    return true;
  }
  if (attached_ || locked_) return false;
  IsLostAndRestore();
  auto memory = NewMemory(width, height, bitDepth_);
  if (!memory) return false;
  const std::int64_t bytes = static_cast<std::int64_t>(memory->bytes.size());
  if (videoMemory_) {
    display_->ReturnVideoMemory(reserved_);
    if (!display_->ReserveVideoMemory(bytes)) {
      display_->ReserveVideoMemory(reserved_);
      return false;
    }
    reserved_ = bytes;
  }
  memory_ = std::move(memory);
  Bind();
  modifiedPending_ = false, modifiedSw_ = true, offCount_ = 0;
  width_ = width, height_ = height;
  if (clipping_) VXIntersectRect(clip_, {0, 0, width_, height_}, clip_);
  return true;
}

bool TDSurface::Lock() {
  if (!created_) return false;
  IsLostAndRestore();
  Bind();
  locked_ = true;
  ++lockCount_;
  return true;
}

bool TDSurface::Unlock() {
  if (!created_) return false;
  IsLostAndRestore();
  if (!locked_) return false;
  if (--lockCount_ <= 0) lockCount_ = 0, locked_ = false;
  return true;
}

bool TDSurface::GetDC(void** dc) {
  if (!created_ || dc == nullptr || bitDepth_ == bd8 || pixFormat_ == pf16_4444) return false;
  if (!Lock()) return false;
  platform::font::TargetPixels pixels{bits_, pitch_, TextFormatOf(pixFormat_), width_, height_};
  try {
    *dc = new platform::font::TextTarget(pixels);
    return true;
  } catch (const std::exception&) {
    Unlock();
    return false;
  }
}

bool TDSurface::ReleaseDC(void* dc) {
  if (!created_ || dc == nullptr) return false;
  delete static_cast<platform::font::TextTarget*>(dc);
  return Unlock();
}

bool TDSurface::SetClipRect(const VXRect& r) {
  if (!created_ || display_ == nullptr) return false;
  VXIntersectRect(r, {0, 0, width_, height_}, clip_);
  clipping_ = true;
  return true;
}

void TDSurface::Clear() {
  if (!created_) return;
  IsLostAndRestore();
  std::fill(memory_->bytes.begin(), memory_->bytes.end(), 0);
}

void TDSurface::Fill(VXRGB c) {
  if (!created_) return;
  IsLostAndRestore();
  const std::uint32_t pixel = TZoRGBtoPixel(c);
  const VXRowFillProc fill = _RGBFillProcTable[bitDepth_];
  for (int y = 0; y < height_; ++y)
    fill(memory_->bytes.data() + static_cast<std::size_t>(y) * memory_->pitch, pixel, static_cast<unsigned>(width_));
}

bool TDSurface::Restore() {
  if (!created_) return false;
  std::fill(memory_->bytes.begin(), memory_->bytes.end(), 0);
  lost_ = false;
  if (OnRestore) OnRestore(this);
  return true;
}

bool TDSurface::IsLostAndRestore() {
  if (!created_) return false;
  return lost_ ? Restore() : true;
}

platform::video::Picture TDSurface::GetPicture() const {
  if (!created_) return {};
  return {memory_->bytes.data(), memory_->pitch, {width_, height_, LayoutOf(bitDepth_)}};
}

bool TDSurface::TakeBlit() {
  if (failBlits_ <= 0) return true;
  --failBlits_;
  return false;
}

bool TDSurface::Copy(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h, bool key) {
  if (!created_ || src == nullptr || !src->created_ || src->bitDepth_ != bitDepth_) return false;
  if (!Inside(sx, sy, w, h, src->width_, src->height_) || !Inside(dx, dy, w, h, width_, height_)) return false;
  if (!TakeBlit()) return false;
  const int bpp = BytesPerPixel();
  const std::size_t rowBytes = static_cast<std::size_t>(w) * bpp;
  const Memory& from = *src->memory_;
  // A blit within one surface may overlap itself: go through a copy of the source rows.
  std::vector<unsigned char> own;
  const unsigned char* base = from.bytes.data() + static_cast<std::size_t>(sy) * from.pitch + static_cast<std::size_t>(sx) * bpp;
  std::ptrdiff_t srcPitch = from.pitch;
  if (src == this) {
    own.resize(rowBytes * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y) std::memcpy(own.data() + y * rowBytes, base + y * srcPitch, rowBytes);
    base = own.data();
    srcPitch = static_cast<std::ptrdiff_t>(rowBytes);
  }
  unsigned char* out = memory_->bytes.data() + static_cast<std::size_t>(dy) * memory_->pitch + static_cast<std::size_t>(dx) * bpp;
  const VXPointGetProc get = _PointGetProcTable[bitDepth_];
  const VXPointMovProc mov = _PointMovProcTable[bitDepth_];
  // The key compares the colour bits only: whatever the spare bits of a pixel hold, it stays transparent.
  const std::uint32_t* masks = _RGBBitMask[src->pixFormat_];
  const std::uint32_t colour = masks[0] | masks[1] | masks[2];
  const std::uint32_t keyPixel = src->colorKey_ & colour;
  for (int y = 0; y < h; ++y, base += srcPitch, out += memory_->pitch) {
    if (!key) {
      std::memcpy(out, base, rowBytes);
      continue;
    }
    for (int x = 0; x < w; ++x)
      if ((get(base + x * bpp) & colour) != keyPixel) mov(out + x * bpp, base + x * bpp);
  }
  return true;
}

bool TDSurface::Blt(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h, bool srcColorKey) {
  if (!created_) return false;
  if (clipping_) {
    VXRect area{dx, dy, dx + w, dy + h};
    VXRect cut;
    if (!VXIntersectRect(area, clip_, cut).IsRectEmpty()) {
      sx += cut.left - dx, sy += cut.top - dy;
      dx = cut.left, dy = cut.top, w = cut.right - cut.left, h = cut.bottom - cut.top;
    } else {
      // Nothing passes the clip list; the source must still be a real area.
      return src != nullptr && src->created_ && Inside(sx, sy, w, h, src->width_, src->height_);
    }
  }
  return Copy(dx, dy, src, sx, sy, w, h, srcColorKey);
}

bool TDSurface::BltFast(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h) {
  return Copy(dx, dy, src, sx, sy, w, h, false);
}

// ---------------------------------------------------------------------------------------------------------------
// The display: life and configuration

TDDraw::TDDraw(Classes::TComponent* owner) : Classes::TComponent(owner) {}

TDDraw::~TDDraw() {
  DDrawRelease();
  // Surfaces made while disabled are still owned here; they leave the registry while this object is whole.
  DestroyComponents();
}

void TDDraw::SetPresenter(platform::video::Presenter* presenter) {
  if (!enabled_) presenter_ = presenter;
}

void TDDraw::SetFullScreen(bool on) {
  if (!enabled_) fullScreen_ = on;
}

void TDDraw::SetRefreshRate(int rate) {
  if (!enabled_) refreshRate_ = rate;
}

void TDDraw::SetTripleBuffer(bool on) {
  if (!enabled_) tripleBuffer_ = on;
}

void TDDraw::SetBackType(TBackType type) {
  if (type == backType_) return;
  backType_ = type;
  if (!enabled_) return;
  CreateBackSurface();
  // The new back surface holds nothing yet; whatever its owner draws next must reach every buffer.
  SetModifyRect(Screen());
}

void TDDraw::SetBitDepth(VXBitDepth depth) {
  if (!enabled_ && (depth == bd16 || depth == bd24 || depth == bd32)) bitDepth_ = depth;
}

void TDDraw::SetScreenSize(VXScreenSize size) {
  int width = 0, height = 0;
  if (enabled_ || !ScreenSizeToPixel(size, width, height)) return;
  screenSize_ = size, width_ = width, height_ = height;
  spriteWidth_ = std::min(spriteWidth_, width_);
  spriteHeight_ = std::min(spriteHeight_, height_);
}

void TDDraw::SetSpWidth(int width) {
  if (!enabled_ && width >= 1 && width <= width_) spriteWidth_ = width;
}

void TDDraw::SetSpHeight(int height) {
  if (!enabled_ && height >= 1 && height <= height_) spriteHeight_ = height;
}

void TDDraw::SetEnabled(bool on) {
  if (on == enabled_) return;
  if (!on) {
    DDrawRelease();
    return;
  }
  if (DDrawCreate()) {
    Clear();
    Flip();
  }
}

VXBitDepth TDDraw::DesktopBitDepth() { return bd32; }

bool TDDraw::ReserveVideoMemory(std::int64_t bytes) {
  if (bytes < 0 || videoUsed_ + bytes > videoTotal_) return false;
  videoUsed_ += bytes;
  return true;
}

void TDDraw::DeleteSurface(TDSurface*& surface) {
  delete surface;
  surface = nullptr;
}

void TDDraw::DeleteSpritePages(int from) {
  for (int p = kMaxSpritePages - 1; p >= from; --p) DeleteSurface(pages_[static_cast<std::size_t>(p)]);
}

bool TDDraw::DDrawCreate() {
  if (presenter_ == nullptr) return false;
  if (enabled_) return true;
  surfaces_.clear();
  if (bitDepth_ == bd8 || bitDepth_ == bdNone) return false;
  const VXBitDepth desktop = DesktopBitDepth();
  if (!fullScreen_ && (desktop == bd8 || desktop == bdNone)) return false;
  try {
    patterns_.assign(kPatternCount, {});
    sprites_.assign(kSpriteCount, {});
  } catch (const std::bad_alloc&) {
    return false;
  }
  const VXBitDepth depth = fullScreen_ ? bitDepth_ : desktop;
  const VXPixFormat format = kNaturalFormat[depth];
  presenter_->SetFullScreen(fullScreen_);

  int backBuffers = 0;
  if (fullScreen_) backBuffers = std::min(tripleBuffer_ ? 2 : 1, chainLimit_);
  flipping_ = backBuffers > 0;
  bufferCount_ = fullScreen_ ? backBuffers + 1 : 0;

  auto fail = [this] {
    DeleteSpritePages(0);
    DeleteSurface(backSurface_);
    DeleteSurface(backBuffer_);
    DeleteSurface(primary_);
    spare_.reset();
    patterns_.clear();
    sprites_.clear();
    flipping_ = false, bufferCount_ = 0, drawSurface_ = nullptr;
    return false;
  };
  auto chainSurface = [&](TDSurface*& s) {
    s = new TDSurface(this);
    return s->AttachMemory(TDSurface::NewMemory(width_, height_, depth), depth, format, width_, height_);
  };
  if (!chainSurface(primary_)) return fail();
  if (flipping_ && !chainSurface(backBuffer_)) return fail();
  if (backBuffers == 2 && !(spare_ = TDSurface::NewMemory(width_, height_, depth))) return fail();

  if (!CreateBackSurface() || primary_ == nullptr) return fail();

  spriteShown_ = false;
  spritePage_ = std::min(spritePage_, kMaxSpritePages);
  for (int p = 0; p < spritePage_; ++p) {
    auto* page = new TDSurface(this, bdNone, pfNone, spriteWidth_, spriteHeight_, true);
    if (!page->IsCreated()) {
      delete page;
      return fail();
    }
    pages_[static_cast<std::size_t>(p)] = page;
  }

  for (VXRectSet& set : dirty_) {
    set.SetRectEmpty();
    set.UnionRect(Screen());
  }
  presentDirty_.SetRectEmpty();
  presentDirty_.UnionRect(Screen());
  shownStale_.SetRectEmpty();
  current_ = 0, restored_ = false, drawLocked_ = false, lockCount_ = 0;
  presenter_->ClearLost();
  enabled_ = true;
  return true;
}

void TDDraw::DDrawRelease() {
  if (!enabled_) return;
  enabled_ = false;
  DeleteSpritePages(0);
  DeleteSurface(backSurface_);
  DeleteSurface(backBuffer_);
  DeleteSurface(primary_);
  while (!surfaces_.empty()) delete surfaces_.back();
  spare_.reset();
  flipping_ = false, bufferCount_ = 0, drawSurface_ = nullptr, spriteShown_ = false;
}

bool TDDraw::CreateBackSurface() {
  DeleteSurface(backSurface_);
  bool ok = true;
  if (backType_ != btNone) {
    auto* s = new TDSurface(this);
    bool made = backType_ == btVideo && s->Create(bdNone, pfNone, width_, height_, true);
    if (!made && (made = s->Create(bdNone, pfNone, width_, height_, false))) backType_ = btSystem;
    if (made) {
      backSurface_ = s;
      backSurface_->SetClipRect(Screen());
    } else {
      delete s;
      ok = false;
    }
  }
  PointDrawSurface();
  return ok;
}

void TDDraw::ReleaseBackSurface() {
  DeleteSurface(backSurface_);
  if (enabled_) PointDrawSurface();
}

void TDDraw::PointDrawSurface() {
  drawSurface_ = backSurface_ != nullptr ? backSurface_ : flipping_ ? backBuffer_ : primary_;
}

// ---------------------------------------------------------------------------------------------------------------
// Lost surfaces

void TDDraw::PollLost() {
  if (presenter_ == nullptr || !presenter_->IsLost()) return;
  presenter_->ClearLost();
  for (TDSurface* s : surfaces_) s->MarkLost();
}

void TDDraw::RestorePrimary() {
  if (primary_ == nullptr) return;
  const bool chainLost = primary_->IsLost() || (backBuffer_ != nullptr && backBuffer_->IsLost());
  if (!chainLost) return;
  primary_->Restore();
  if (backBuffer_ != nullptr) backBuffer_->Restore();
  if (spare_) std::fill(spare_->bytes.begin(), spare_->bytes.end(), 0);
  restored_ = true;
  MarkPresent(Screen());
}

bool TDDraw::RestoreBack() { return backSurface_ == nullptr || backSurface_->IsLostAndRestore(); }

bool TDDraw::RestoreAllSurfaces() {
  if (!enabled_) return false;
  PollLost();
  RestorePrimary();
  const std::vector<TDSurface*> list = surfaces_;  // OnRestore handlers may make or delete surfaces
  for (TDSurface* s : list)
    if (std::find(surfaces_.begin(), surfaces_.end(), s) != surfaces_.end() && s->IsLost()) s->IsLostAndRestore();
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Presentation

bool TDDraw::ShowWrite(bool ok, const VXRect& area) {
  if (inFrame_ || flipping_) return ok;
  MarkPresent(area);
  return Present({}) && ok;
}

bool TDDraw::Write(TDSurface* src) {
  if (!enabled_ || src == nullptr) return false;
  if (backSurface_ == nullptr) return WriteDisplay(src);
  RestoreBack();
  return backSurface_->Blt(0, 0, src, 0, 0, src->GetWidth(), src->GetHeight());
}

bool TDDraw::WriteDisplay(TDSurface* src) {
  if (!enabled_) return false;
  return ShowWrite(Target()->Blt(0, 0, src, 0, 0, width_, height_), Screen());
}

bool TDDraw::WriteDisplayFast(TDSurface* src) {
  if (!enabled_) return false;
  if (Blt4Div) return WriteDisplayFast4Div(src);
  TDSurface* target = Target();
  const bool ok = fullScreen_ ? target->BltFast(0, 0, src, 0, 0, width_, height_)
                              : target->Blt(0, 0, src, 0, 0, width_, height_);
  return ShowWrite(ok, Screen());
}

bool TDDraw::WriteDisplayFast4Div(TDSurface* src) {
  if (!enabled_) return false;
  const int band = height_ / 4;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    PollLost();
    if (primary_->IsLost()) return false;
    const int y = k * band;
    ok = (fullScreen_ ? Target()->BltFast(0, y, src, 0, y, width_, band)
                      : Target()->Blt(0, y, src, 0, y, width_, band)) && ok;
  }
  return ShowWrite(ok, {0, 0, width_, band * 4});
}

bool TDDraw::WriteDisplayModify(TDSurface* src) {
  if (!enabled_) return false;
  PollLost();
  RestorePrimary();
  if (Blt4Div) return WriteDisplayModify4Div(src);
  if (bufferCount_ == 0) return WriteDisplayFast(src);
  VXRectSet rects = dirty_[static_cast<std::size_t>(current_)];
  if (rects.IsRectEmpty()) return true;
  rects.IntersectRect(Screen());
  bool ok = true;
  for (const VXRect& r : rects)
    ok = Target()->BltFast(r.left, r.top, src, r.left, r.top, r.right - r.left, r.bottom - r.top) && ok;
  return ShowWrite(ok, rects.AllUnionRect());
}

bool TDDraw::WriteDisplayModify4Div(TDSurface* src) {
  if (!enabled_) return false;
  if (bufferCount_ == 0) return WriteDisplayFast4Div(src);
  const int band = height_ / 4;
  bool ok = true;
  for (int k = 0; k < 4; ++k) {
    PollLost();
    if (primary_->IsLost()) return false;
    VXRectSet rects = dirty_[static_cast<std::size_t>(current_)];
    if (!rects.IntersectRect({0, k * band, width_, (k + 1) * band})) continue;
    for (const VXRect& r : rects)
      ok = Target()->BltFast(r.left, r.top, src, r.left, r.top, r.right - r.left, r.bottom - r.top) && ok;
  }
  return ShowWrite(ok, {0, 0, width_, band * 4});
}

bool TDDraw::Flip() {
  if (!enabled_) return false;
  inFrame_ = true;
  PollLost();
  RestorePrimary();
  bool ok = true;
  VXRectSet pending;
  if (backSurface_ != nullptr) {
    restored_ = false;
    RestoreBack();
    const int written = current_;
    if (bufferCount_ > 0) {
      for (int i = 0; i < bufferCount_; ++i)
        if (i != current_) dirty_[static_cast<std::size_t>(i)].UnionRect(Screen());
      dirty_[static_cast<std::size_t>(current_)].SetRectEmpty();
      Advance();
    }
    ok = WriteDisplayFast(backSurface_);
    // A buffer that missed the whole picture must get it the next time it comes round.
    if (!ok && bufferCount_ > 0) dirty_[static_cast<std::size_t>(written)].UnionRect(Screen());
    if (!ok) pending.UnionRect(Screen());
  }
  MarkPresent(Screen());
  ok = FinishFrame(pending) && ok;
  inFrame_ = false;
  return ok;
}

bool TDDraw::FlipModifyRect(VXRectSet rects) {
  if (!enabled_) return false;
  inFrame_ = true;
  PollLost();
  RestorePrimary();
  rects.IntersectRect(Screen());
  bool ok = true;
  VXRectSet pending;
  if (backSurface_ != nullptr) {
    if (restored_) {
      SetModifyRect(Screen());
      restored_ = false;
    }
    RestoreBack();
    if (bufferCount_ < 1) {
      ok = WriteDisplayFast(backSurface_);
      if (!ok) pending.UnionRect(Screen());  // the primary missed the whole picture
    } else {
      for (int i = 0; i < bufferCount_; ++i) dirty_[static_cast<std::size_t>(i)].UnionRectSet(rects);
      const int written = current_;
      if (WriteDisplayModify(backSurface_))
        dirty_[static_cast<std::size_t>(written)].SetRectEmpty();
      else
        ok = false;
      pending = dirty_[static_cast<std::size_t>(written)];
      Advance();
    }
  } else if (flipping_) {
    // Callers draw straight on a rotating buffer: nothing tells what the next one holds.
    MarkPresent(Screen());
  }
  // A window is written whole on every flip; only full screen presents by rectangles.
  if (bufferCount_ < 1) MarkPresent(Screen());
  presentDirty_.UnionRectSet(rects);
  ok = FinishFrame(pending) && ok;
  inFrame_ = false;
  return ok;
}

void TDDraw::SpriteRects(VXRectSet& out) const {
  if (!spriteShown_) return;
  for (int s = 0; s < kSpriteCount; ++s) {
    VXRect r;
    if (SpriteArea(s, r) && r.IntersectRect(Screen())) out.UnionRect(r);
  }
}

bool TDDraw::FinishFrame(const VXRectSet& pending) {
  VXRectSet stale = pending;
  if (spriteShown_) {
    SpriteDraw(Target());
    SpriteRects(stale);
  }
  // Only a flip waits for the vertical blank, unless asked not to; copies into a window keep the presenter's choice.
  if (flipping_ && presenter_ != nullptr) presenter_->SetVSync(!NoVSync);
  bool ok = !flipping_ || RotateChain();
  ok = Present(stale) && ok;
  return ok;
}

bool TDDraw::RotateChain() {
  if (primary_->IsLocked() || backBuffer_->IsLocked()) return false;
  if (spare_) {
    std::swap(primary_->memory_, backBuffer_->memory_);
    std::swap(backBuffer_->memory_, spare_);
  } else {
    std::swap(primary_->memory_, backBuffer_->memory_);
  }
  primary_->Bind();
  backBuffer_->Bind();
  return true;
}

bool TDDraw::Present(const VXRectSet& stale) {
  if (presenter_ == nullptr || primary_ == nullptr) return false;
  VXRectSet rects = presentDirty_;
  rects.UnionRectSet(shownStale_);
  rects.UnionRectSet(stale);
  const auto list = ToRects(rects);
  if (!presenter_->Present(primary_->GetPicture(), list)) {
    // The presenter still shows the picture before: everything that differs from it goes with the next frame.
    presentDirty_ = rects;
    return false;
  }
  presentDirty_.SetRectEmpty();
  shownStale_ = stale;
  return true;
}

void TDDraw::SetModifyRect(const VXRect& r) {
  if (!enabled_) return;
  VXRect cut;
  if (VXIntersectRect(r, Screen(), cut).IsRectEmpty()) return;
  MarkPresent(cut);
  if (bufferCount_ < 1) return;
  for (int i = 0; i < bufferCount_; ++i) dirty_[static_cast<std::size_t>(i)].UnionRect(cut);
}

bool TDDraw::CanFlip() {
  if (!enabled_) return false;
  if (!flipping_) return true;
  PollLost();
  RestorePrimary();
  return !primary_->IsLocked() && !backBuffer_->IsLocked();
}

bool TDDraw::CanDraw() {
  if (!enabled_) return false;
  PollLost();
  RestorePrimary();
  RestoreBack();
  return drawSurface_ != nullptr && drawSurface_->IsCreated();
}

void TDDraw::Clear() {
  if (!enabled_) return;
  drawSurface_->Clear();
  if (drawSurface_ == primary_) MarkPresent(Screen());
}

void TDDraw::Fill(VXRGB c) {
  if (!enabled_) return;
  drawSurface_->Fill(c);
  if (drawSurface_ == primary_) MarkPresent(Screen());
}

bool TDDraw::DrawPrimary(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h) {
  if (!enabled_) return false;
  PollLost();
  RestorePrimary();
  const bool ok = primary_->Blt(dx, dy, src, sx, sy, w, h);
  if (!ok) return false;
  MarkPresent({dx, dy, dx + w, dy + h});
  if (!inFrame_) return Present({});
  return true;
}

bool TDDraw::GetDC(void** dc) { return enabled_ && drawSurface_->GetDC(dc); }
bool TDDraw::ReleaseDC(void* dc) { return enabled_ && drawSurface_->ReleaseDC(dc); }

bool TDDraw::Lock() {
  if (lockCount_ != 0 || drawLocked_) return false;
  drawLocked_ = true;
  lockCount_ = 1;
  return true;
}

bool TDDraw::Unlock() {
  if (!drawLocked_) return false;
  drawLocked_ = false;
  lockCount_ = 0;
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Surfaces of callers, modes, memory

TDSurface* TDDraw::CreateSurface(VXBitDepth depth, VXPixFormat format, int width, int height, bool videoMemory) {
  if (!enabled_) return nullptr;
  auto* s = new TDSurface(this, depth, format, width, height, videoMemory);
  if (s->IsCreated()) return s;
  delete s;
  return nullptr;
}

TDSurface* TDDraw::CreateSurface(int width, int height, bool videoMemory) {
  if (!enabled_) return nullptr;
  return CreateSurface(primary_->GetBitDepth(), primary_->GetPixFormat(), width, height, videoMemory);
}

TDSurface* TDDraw::CreateSurfaceFromBitmap(VXStream* bmp, bool videoMemory) {
  if (!enabled_) return nullptr;
  // The loader sizes and creates a surface that is not created yet, and releases it again when the read fails.
  auto surface = std::make_unique<TDSurface>(this);
  surface->SetBitDepth(primary_->GetBitDepth());
  surface->SetPixFormat(primary_->GetPixFormat());
  surface->SetVideoMemory(videoMemory);
  if (!surface->DrawBmpStream(bmp, 0, 0)) return nullptr;
  return surface.release();
}

TDSurface* TDDraw::CreateSurfaceFromBitmap(Classes::TStream* bmp, bool videoMemory) {
  TDSurface* surface = nullptr;
  ZoLoadFramework(bmp, [&](VXStream* s) { return (surface = CreateSurfaceFromBitmap(s, videoMemory)) != nullptr; });
  return surface;
}

bool TDDraw::AddSurfaceList(TDSurface* surface) {
  surfaces_.push_back(surface);
  return true;
}

bool TDDraw::DelSurfaceList(TDSurface* surface) {
  const auto it = std::find(surfaces_.begin(), surfaces_.end(), surface);
  if (it == surfaces_.end()) return false;
  surfaces_.erase(it);
  return true;
}

void TDDraw::ENumDisplayModes(std::vector<TDisplayMode>& list, bool) { ListDisplayModes(AdapterModes(), list); }

bool TDDraw::CheckDisplayMode(VXBitDepth depth, VXScreenSize size) {
  std::vector<TDisplayMode> list;
  ENumDisplayModes(list, true);
  return std::any_of(list.begin(), list.end(),
                     [&](const TDisplayMode& m) { return m.bitDepth == depth && m.screenSize == size; });
}

bool TDDraw::GetAvailableVidMem(std::uint32_t& total, std::uint32_t& free) const {
  constexpr std::int64_t kMax = 0xFFFFFFFF;
  total = static_cast<std::uint32_t>(std::clamp<std::int64_t>(videoTotal_, 0, kMax));
  free = static_cast<std::uint32_t>(std::clamp<std::int64_t>(videoTotal_ - videoUsed_, 0, kMax));
  return true;
}

bool TDDraw::GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) const {
  for (DDCAPS* caps : {driverCaps, emulationCaps}) {
    if (caps == nullptr) continue;
    *caps = DDCAPS{};
    caps->dwSize = sizeof(DDCAPS);
    caps->dwCaps = DDCAPS_BLT | DDCAPS_COLORKEY | DDCAPS_BLTCOLORFILL;
    caps->dwCaps2 = DDCAPS2_CANRENDERWINDOWED | DDCAPS2_FLIPNOVSYNC;
    caps->dwCKeyCaps = DDCKEYCAPS_SRCBLT;
    caps->ddsCaps[0] = DDSCAPS_BACKBUFFER | DDSCAPS_COMPLEX | DDSCAPS_FLIP | DDSCAPS_OFFSCREENPLAIN |
                       DDSCAPS_PRIMARYSURFACE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY;
  }
  if (driverCaps != nullptr) GetAvailableVidMem(driverCaps->dwVidMemTotal, driverCaps->dwVidMemFree);
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Sprite engine

void TDDraw::SetSpritePage(int count) {
  if (count < 0 || count > kMaxSpritePages) return;
  if (!enabled_) {
    spritePage_ = count;
    return;
  }
  if (count < spritePage_) {
    DeleteSpritePages(count);
    for (TSpritePattern& p : patterns_)
      if (p.page >= count) p.used = false;
    spritePage_ = count;
    return;
  }
  for (int p = spritePage_; p < count; ++p) {
    auto* page = new TDSurface(this, bdNone, pfNone, spriteWidth_, spriteHeight_, true);
    if (!page->IsCreated()) {
      delete page;
      return;
    }
    pages_[static_cast<std::size_t>(p)] = page;
    spritePage_ = p + 1;
  }
}

TDSurface* TDDraw::GetSpSurface(int page) const {
  return enabled_ && ValidPage(page) ? pages_[static_cast<std::size_t>(page)] : nullptr;
}

bool TDDraw::SpPatCopy(int page, TZoRGBBits* src) {
  TDSurface* dst = GetSpSurface(page);
  return dst != nullptr && src != nullptr && dst->ConvertCopy(0, 0, src, 0, 0, src->GetWidth(), src->GetHeight());
}

bool TDDraw::SpPatLoadBmp(int page, VXStream* bmp, int x, int y) {
  TDSurface* dst = GetSpSurface(page);
  return dst != nullptr && dst->DrawBmpStream(bmp, x, y);
}

bool TDDraw::SpPatLoadBmp(int page, Classes::TStream* bmp, int x, int y) {
  return ZoLoadFramework(bmp, [&](VXStream* s) { return SpPatLoadBmp(page, s, x, y); });
}

bool TDDraw::SpSetPatternBmp(int pattern, int page, VXStream* bmp, int x, int y) {
  TDSurface* dst = GetSpSurface(page);
  if (dst == nullptr || pattern < 0 || pattern >= kPatternCount) return false;
  TZoRGBBits picture(nullptr);
  picture.SetBitDepth(primary_->GetBitDepth());
  picture.SetPixFormat(primary_->GetPixFormat());
  if (!picture.DrawBmpStream(bmp, 0, 0)) return false;
  const int w = picture.GetWidth(), h = picture.GetHeight();
  // Checked before drawing, so that a pattern that cannot be defined leaves the page as it was.
  if (!Inside(x, y, w, h, dst->GetWidth(), dst->GetHeight())) return false;
  if (!dst->Draw(x, y, &picture, 0, 0, w, h)) return false;
  return SpSetPattern(pattern, page, x, y, w, h, picture.PixeltoTZoRGB(picture.TopLeftGet()));
}

bool TDDraw::SpSetPatternBmp(int pattern, int page, Classes::TStream* bmp, int x, int y) {
  return ZoLoadFramework(bmp, [&](VXStream* s) { return SpSetPatternBmp(pattern, page, s, x, y); });
}

bool TDDraw::SpSetPattern(int pattern, int page, int x, int y, int width, int height, VXRGB key) {
  const TDSurface* surface = GetSpSurface(page);
  if (surface == nullptr || pattern < 0 || pattern >= kPatternCount) return false;
  if (!Inside(x, y, width, height, surface->GetWidth(), surface->GetHeight())) return false;
  patterns_[static_cast<std::size_t>(pattern)] = {true, page, x, y, width, height, key};
  return true;
}

bool TDDraw::SpSetPattern(int pattern, int page, int x, int y, int width, int height) {
  TDSurface* surface = GetSpSurface(page);
  if (surface == nullptr || !Inside(x, y, width, height, surface->GetWidth(), surface->GetHeight())) return false;
  return SpSetPattern(pattern, page, x, y, width, height, surface->PixeltoTZoRGB(surface->PGet(x, y)));
}

bool TDDraw::SpClrPattern(int pattern) {
  if (!enabled_ || pattern < 0 || pattern >= kPatternCount) return false;
  patterns_[static_cast<std::size_t>(pattern)].used = false;
  return true;
}

const TSpritePattern* TDDraw::GetPattern(int pattern) const {
  if (!enabled_ || pattern < 0 || pattern >= kPatternCount) return nullptr;
  return &patterns_[static_cast<std::size_t>(pattern)];
}

bool TDDraw::SpriteArea(int sprite, VXRect& r) const {
  const TSprite& s = sprites_[static_cast<std::size_t>(sprite)];
  if (!s.used) return false;
  r = SpriteRect(s, patterns_[static_cast<std::size_t>(s.pattern)]);
  return !r.IsRectEmpty();
}

void TDDraw::SpSetModifySprite(int sprite) {
  if (!enabled_ || !spriteShown_ || sprite < 0 || sprite >= kSpriteCount) return;
  const TSprite& s = sprites_[static_cast<std::size_t>(sprite)];
  SetModifyRect(SpriteRect(s, patterns_[static_cast<std::size_t>(s.pattern)]));
}

bool TDDraw::SpSetSprite(int sprite, int x, int y, int pattern, int priority) {
  if (!enabled_ || sprite < 0 || sprite >= kSpriteCount || pattern < 0 || pattern >= kPatternCount ||
      priority < 0 || priority > 15)
    return false;
  TSprite& s = sprites_[static_cast<std::size_t>(sprite)];
  if (s.used) SpSetModifySprite(sprite);
  s = {true, x, y, pattern, priority};
  SpSetModifySprite(sprite);
  return true;
}

int TDDraw::SpAddSprite(int x, int y, int pattern, int priority) {
  if (!enabled_) return -1;
  for (int i = 0; i < kSpriteCount; ++i)
    if (!sprites_[static_cast<std::size_t>(i)].used) return SpSetSprite(i, x, y, pattern, priority) ? i : -1;
  return -1;
}

bool TDDraw::SpClrSprite(int sprite) {
  if (!enabled_ || sprite < 0 || sprite >= kSpriteCount) return false;
  SpSetModifySprite(sprite);
  sprites_[static_cast<std::size_t>(sprite)].used = false;
  return true;
}

bool TDDraw::SpMoveSprite(int sprite, int x, int y) {
  if (!enabled_ || sprite < 0 || sprite >= kSpriteCount) return false;
  SpSetModifySprite(sprite);
  TSprite& s = sprites_[static_cast<std::size_t>(sprite)];
  s.x = x, s.y = y;
  SpSetModifySprite(sprite);
  return true;
}

bool TDDraw::SpChangeSprite(int sprite, int pattern) {
  if (!enabled_ || sprite < 0 || sprite >= kSpriteCount || pattern < 0 || pattern >= kPatternCount) return false;
  SpSetModifySprite(sprite);
  sprites_[static_cast<std::size_t>(sprite)].pattern = pattern;
  SpSetModifySprite(sprite);
  return true;
}

bool TDDraw::SpriteShow() {
  spriteShown_ = true;
  SetModifyRect(Screen());
  return true;
}

bool TDDraw::SpriteHide() {
  spriteShown_ = false;
  SetModifyRect(Screen());
  return true;
}

namespace {

// Cuts a pattern placed at (x, y) to a width x height target; false when nothing is left.
bool ClipPattern(const TSpritePattern& p, int width, int height, int& x, int& y, int& sx, int& sy, int& w, int& h) {
  sx = p.x, sy = p.y, w = p.width, h = p.height;
  // A pattern entirely off an edge is done with before its edges are moved, which keeps the arithmetic in range.
  if (std::int64_t{x} + w <= 0 || std::int64_t{y} + h <= 0 || x >= width || y >= height) return false;
  if (x < 0) sx -= x, w += x, x = 0;
  if (y < 0) sy -= y, h += y, y = 0;
  if (std::int64_t{x} + w > width) w = width - x;
  if (std::int64_t{y} + h > height) h = height - y;
  return w > 0 && h > 0;
}

}  // namespace

bool TDDraw::SpritePatternWrite(TDSurface* dst, int pattern, int x, int y) {
  if (!enabled_ || dst == nullptr || pattern < 0 || pattern >= kPatternCount) return false;
  const TSpritePattern& p = patterns_[static_cast<std::size_t>(pattern)];
  if (!p.used) return true;
  TDSurface* page = GetSpSurface(p.page);
  if (page == nullptr) return false;
  int sx, sy, w, h;
  if (!ClipPattern(p, dst->GetWidth(), dst->GetHeight(), x, y, sx, sy, w, h)) return true;
  page->SetColorKey(page->TZoRGBtoPixel(p.key));
  dst->Blt(x, y, page, sx, sy, w, h, true);
  return true;
}

bool TDDraw::SpriteDraw(TDSurface* dst) {
  if (!enabled_ || dst == nullptr) return false;
  for (int n = 0; n < spritePage_; ++n) {
    TDSurface* page = pages_[static_cast<std::size_t>(n)];
    if (page == nullptr || !page->IsLost()) continue;
    if (!page->Restore()) return false;
    if (OnSpriteRestore) OnSpriteRestore(page, n);
  }
  dst->IsLostAndRestore();
  for (int priority = 15; priority >= 0; --priority)
    for (int i = kSpriteCount - 1; i >= 0; --i) {
      const TSprite& s = sprites_[static_cast<std::size_t>(i)];
      if (s.used && s.priority == priority) SpritePatternWrite(dst, s.pattern, s.x, s.y);
    }
  return true;
}

bool TDDraw::SpritePatternWrite(TZoRGBBits* dst, TZoRGBBits** pages, int pattern, int x, int y) {
  if (!enabled_ || dst == nullptr || pages == nullptr || pattern < 0 || pattern >= kPatternCount) return false;
  const TSpritePattern& p = patterns_[static_cast<std::size_t>(pattern)];
  if (!p.used) return true;
  TZoRGBBits* page = pages[p.page];
  if (page == nullptr) return false;
  int sx, sy, w, h;
  if (!ClipPattern(p, dst->GetWidth(), dst->GetHeight(), x, y, sx, sy, w, h)) return true;
  return dst->DrawKey(x, y, page, sx, sy, w, h, p.key);
}

bool TDDraw::SpriteDraw(TZoRGBBits* dst, TZoRGBBits** pages) {
  if (!enabled_ || dst == nullptr || !dst->Lock()) return false;
  bool ok = true;
  for (int priority = 15; priority >= 0; --priority)
    for (int i = kSpriteCount - 1; i >= 0; --i) {
      const TSprite& s = sprites_[static_cast<std::size_t>(i)];
      if (s.used && s.priority == priority) ok = SpritePatternWrite(dst, pages, s.pattern, s.x, s.y) && ok;
    }
  dst->Unlock();
  return ok;
}

}  // namespace DirectX
