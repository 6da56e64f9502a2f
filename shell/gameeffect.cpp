#include "shell/gameeffect.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <exception>
#include <new>

#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "device/gameservices.h"
#include "graphics/vxrgbeffect.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"

namespace {

constexpr VXRect kScreen{0, 0, kScreenWidth, kScreenHeight};

// ---- Pictures

bool IsScreenPicture(const TZoRGBBits* bits) {
  return bits != nullptr && bits->IsCreated() && bits->GetWidth() == kScreenWidth &&
         bits->GetHeight() == kScreenHeight && (bits->GetBitDepth() == bd24 || bits->GetBitDepth() == bd32);
}

bool SameLayout(const TZoRGBBits* a, const TZoRGBBits* b) {
  return a->GetBitDepth() == b->GetBitDepth() && CompatibleFormat(a->GetPixFormat(), b->GetPixFormat());
}

bool ScreenPictures(TZoRGBBits* dst, TZoRGBBits* from, TZoRGBBits* to) {
  return IsScreenPicture(dst) && IsScreenPicture(from) && IsScreenPicture(to) && SameLayout(dst, from) &&
         SameLayout(dst, to);
}

void MarkScreen(VXRectSet* dirty) {
  if (dirty != nullptr) dirty->UnionRect(kScreen);
}

void Copy(TZoRGBBits* dst, TZoRGBBits* src) { dst->Draw(0, 0, src, 0, 0, kScreenWidth, kScreenHeight); }

// dst = a + (b - a) x rate / 128.
void Mix(TZoRGBBits* dst, TZoRGBBits* a, TZoRGBBits* b, int rate) {
  dst->AlphaBlend(0, 0, a, 0, 0, b, 0, 0, kScreenWidth, kScreenHeight, rate);
}
// under = under + (over - under) x rate / 128.
void BlendOver(TZoRGBBits* under, TZoRGBBits* over, int rate) {
  under->AlphaBlend(0, 0, over, 0, 0, kScreenWidth, kScreenHeight, rate);
}

// The pixel rows of a bitmap, locked while this lives.
class Pixels {
public:
  explicit Pixels(TZoRGBBits* bits) : bits_(bits), locked_(bits->Lock()) {}
  ~Pixels() {
    if (locked_) bits_->Unlock();
  }
  Pixels(const Pixels&) = delete;
  Pixels& operator=(const Pixels&) = delete;

  explicit operator bool() const { return locked_; }
  int Pitch() const { return bits_->GetPitch(); }
  unsigned char* At(int x, int y) const {
    return bits_->GetBits() + static_cast<std::ptrdiff_t>(y) * Pitch() +
           static_cast<std::ptrdiff_t>(x) * bits_->GetBitDepth();
  }

private:
  TZoRGBBits* bits_;
  bool locked_;
};

// ---- Resampling between screen pictures

using StretchKernel = void (*)(const unsigned char*, int, int, int, unsigned char*, int, int, int);

struct DepthKernels {
  StretchKernel copy;   // nearest pixel
  StretchKernel blend;  // nearest pixel, mixed in as (3 x old + new) / 4
};

DepthKernels KernelsOf(const TZoRGBBits* bits) {
  if (bits->GetBitDepth() == bd24) return {StretchCopy24, BlendStretchCopy24};
  return {StretchCopy32, BlendStretchCopy32};
}

struct Window {
  int x, y, w, h;
};
constexpr Window kFullWindow{0, 0, kScreenWidth, kScreenHeight};
// The screen less s steps of 4 columns and 3 rows on every side (the screen's 4:3 kept).
constexpr Window Inset(int s) { return {4 * s, 3 * s, kScreenWidth - 8 * s, kScreenHeight - 6 * s}; }

// Window `a` of src resampled onto window `b` of dst (two different bitmaps).
void Resample(StretchKernel kernel, TZoRGBBits* src, Window a, TZoRGBBits* dst, Window b) {
  const Pixels in(src), out(dst);
  if (!in || !out) return;
  kernel(in.At(a.x, a.y), a.w, a.h, in.Pitch(), out.At(b.x, b.y), b.w, b.h, out.Pitch());
  dst->SetModified(b.x, b.y, b.x + b.w - 1, b.y + b.h - 1);
}

// ---- Lengths: the final value of each renderer

constexpr int kScrollEnd = 160;
constexpr int kZoomInSteps = 36;
constexpr int kZoomThroughSteps = 20;
constexpr int kShrinkSteps = 36;
constexpr int kZoomOutSteps = 20;

// ---- Water

constexpr const char* kWaterFiles[] = {"WaterDistTbl.bin", "WaterSinTbl.bin", "WaterMultiTbl.bin"};
constexpr int kWaterSteps = 70;
constexpr int kWaterMaxLevel = TZOWaterTable::kMultiRows - 1;
// Steps 32..38 blend the to picture into the from picture at 128 / (8 - n): nearly equal eighths.
constexpr int kWaterBlendRates[] = {16, 18, 21, 26, 32, 43, 64};
constexpr int kWaterBlendFirst = 32;
constexpr int kWaterCalmFirst = kWaterBlendFirst + std::size(kWaterBlendRates);

// Reads exactly `size` bytes of the named file; false when it does not open or is shorter.
bool ReadTable(VXFileMan* files, const char* name, void* table, int size) {
  if (files == nullptr) return false;
  VXStream* stream = files->Open(name);
  if (stream == nullptr) return false;
  const bool whole = stream->Read(table, size) == size;
  files->Close(stream);
  return whole;
}

void Ripple(const TZOWaterTable& water, TZoRGBBits* src, TZoRGBBits* dst, int step, int level) {
  const Pixels in(src), out(dst);
  if (!in || !out) return;
  const auto draw = src->GetBitDepth() == bd24 ? &TZOWaterTable::Draw24 : &TZOWaterTable::Draw32;
  (water.*draw)(in.At(0, 0), kScreenWidth, kScreenHeight, kScreenWidth / 2, kScreenHeight / 2, in.Pitch(),
                out.At(0, 0), out.Pitch(), 8 * step, level);
  dst->SetModified();
}

// ---- Halation

constexpr const char* kHaloBackFile = "HaloBack.bmp";
constexpr int kHaloSteps = 37;
constexpr int kHaloGlideFirst = 5;
// Steps 1..4 fade the screen to the glared picture at 128 / (4 - n): nearly equal quarters.
constexpr int kHaloFadeRates[] = {32, 43, 64, 128};
constexpr std::uint32_t kHaloHalfTone = 0x404040;

bool Drawable(const TZoRGBBits* bits) { return bits != nullptr && bits->IsCreated(); }

// ---- Masks

constexpr int kMaskFinal = 511;
constexpr int kMaskEdgeFinal = 255;

template <class T>
std::unique_ptr<T> MakeResource() {
  try {
    return std::make_unique<T>(nullptr);
  } catch (const std::exception&) {
    throw EGameErr();
  }
}

int Saturate(std::int64_t v) { return static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX)); }

}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// TZOWaterTable

TZOWaterTable::TZOWaterTable() = default;

TZOWaterTable::~TZOWaterTable() { Release(); }

void TZOWaterTable::Load(VXFileMan* files) {
  if (loaded_) return;
  try {
    dist_ = std::make_unique<std::uint16_t[]>(kDistRows * kDistColumns);
    sine_ = std::make_unique<std::uint8_t[]>(kSineSize);
    multi_ = std::make_unique<std::uint8_t[]>(kMultiRows * kMultiColumns);
  } catch (const std::bad_alloc&) {
    dist_.reset();
    sine_.reset();
    multi_.reset();
    throw EGameErr();
  }
  // The distances are read as bytes into their own table and then put in order, each from its two bytes.
  auto* distBytes = reinterpret_cast<unsigned char*>(dist_.get());
  const bool whole = ReadTable(files, kWaterFiles[0], distBytes, kDistRows * kDistColumns * 2) &&
                     ReadTable(files, kWaterFiles[1], sine_.get(), kSineSize) &&
                     ReadTable(files, kWaterFiles[2], multi_.get(), kMultiRows * kMultiColumns);
  for (int i = 0; i < kDistRows * kDistColumns; ++i)
    dist_[i] = static_cast<std::uint16_t>(distBytes[2 * i] | distBytes[2 * i + 1] << 8);
  // A wave value selects a column of a multiplier row: one past the row would read the next row or beyond.
  ripple_ = whole && std::all_of(sine_.get(), sine_.get() + kSineSize,
                                 [](std::uint8_t v) { return v < kMultiColumns; });
  if (!ripple_) Neutral();
  loaded_ = true;
}

void TZOWaterTable::Neutral() {
  std::fill_n(dist_.get(), kDistRows * kDistColumns, 0);
  std::fill_n(sine_.get(), kSineSize, 0);
  std::fill_n(multi_.get(), kMultiRows * kMultiColumns, 127);
}

void TZOWaterTable::Release() {
  if (!loaded_) return;
  dist_.reset();
  sine_.reset();
  multi_.reset();
  loaded_ = false;
  ripple_ = false;
}

template <int Bytes>
void TZOWaterTable::Ripple(const unsigned char* src, int w, int h, int cx, int cy, int srcPitch, unsigned char* dst,
                           int dstPitch, int phase, int level) const {
  if (!loaded_ || w <= 0 || h <= 0 || cx < 0 || cy < 0 || w - cx > kDistColumns || h - cy > kDistRows ||
      cx > kDistColumns || cy > kDistRows)
    return;
  // The displacement of every ripple phase at this level.
  const std::uint8_t* row = multi_.get() + std::clamp(level, 0, kMultiRows - 1) * kMultiColumns;
  int shift[kSineSize];
  bool still = true;
  for (int k = 0; k < kSineSize; ++k) {
    shift[k] = row[sine_[k]] - 127;
    still = still && shift[k] == 0;
  }
  const std::size_t rowBytes = static_cast<std::size_t>(w) * Bytes;
  auto srcRow = [&](int y) { return src + static_cast<std::ptrdiff_t>(y) * srcPitch; };
  for (int y = 0; y < h; ++y) {
    unsigned char* out = dst + static_cast<std::ptrdiff_t>(y) * dstPitch;
    if (still) {
      std::memcpy(out, srcRow(y), rowBytes);
      continue;
    }
    const std::uint16_t* dist = dist_.get() + (y < cy ? cy - 1 - y : y - cy) * kDistColumns;
    auto put = [&](int x, int i) {
      const int d = shift[(dist[i] * 4 + phase) & 0xFF];
      const int sx = std::clamp(x + d, 0, w - 1), sy = std::clamp(y + d, 0, h - 1);
      std::memcpy(out + static_cast<std::ptrdiff_t>(x) * Bytes, srcRow(sy) + static_cast<std::ptrdiff_t>(sx) * Bytes,
                  Bytes);
    };
    for (int x = 0; x < cx; ++x) put(x, cx - 1 - x);
    for (int x = cx; x < w; ++x) put(x, x - cx);
  }
}

void TZOWaterTable::Draw24(const unsigned char* src, int w, int h, int cx, int cy, int srcPitch, unsigned char* dst,
                           int dstPitch, int phase, int level) const {
  Ripple<3>(src, w, h, cx, cy, srcPitch, dst, dstPitch, phase, level);
}

void TZOWaterTable::Draw32(const unsigned char* src, int w, int h, int cx, int cy, int srcPitch, unsigned char* dst,
                           int dstPitch, int phase, int level) const {
  Ripple<4>(src, w, h, cx, cy, srcPitch, dst, dstPitch, phase, level);
}

// ---------------------------------------------------------------------------------------------------------------
// TZOFadeAlphaMask

TZOFadeAlphaMask::~TZOFadeAlphaMask() { Release(); }

void TZOFadeAlphaMask::Load(VXFileMan* files, VXString name) {
  Release();
  std::unique_ptr<TZoAlpha> mask = MakeResource<TZoAlpha>();
  std::unique_ptr<TZoAlpha> work = MakeResource<TZoAlpha>();
  if (VXStream* stream = files != nullptr ? files->Open(name) : nullptr) {
    mask->LoadAlphaStream(stream, 0, 0);
    files->Close(stream);
  }
  if (!mask->IsCreated()) throw EGameErr();
  if (mask->GetWidth() != kScreenWidth || mask->GetHeight() != kScreenHeight) {
    // The renderers read the planes over the whole screen.
    std::unique_ptr<TZoAlpha> fitted = MakeResource<TZoAlpha>();
    if (!fitted->Resize(kScreenWidth, kScreenHeight) || !fitted->Create()) throw EGameErr();
    StretchCopy8(mask->GetBits(), mask->GetWidth(), mask->GetHeight(), mask->GetPitch(), fitted->GetBits(),
                 kScreenWidth, kScreenHeight, fitted->GetPitch());
    mask = std::move(fitted);
  }
  if (!work->Resize(kScreenWidth, kScreenHeight) || !work->Create()) throw EGameErr();
  mask_ = std::move(mask);
  work_ = std::move(work);
  loaded_ = true;
}

void TZOFadeAlphaMask::Release() {
  if (!loaded_) return;
  mask_.reset();
  work_.reset();
  loaded_ = false;
}

void TZOFadeAlphaMask::SSub(int level) {
  if (loaded_) work_->SSub(0, 0, mask_.get(), 0, 0, work_->GetWidth(), work_->GetHeight(), level);
}

void TZOFadeAlphaMask::SAdd(int level) {
  if (loaded_) work_->SAdd(0, 0, mask_.get(), 0, 0, work_->GetWidth(), work_->GetHeight(), level);
}

void TZOFadeAlphaMask::Extract(int level) {
  if (loaded_) work_->Extract(0, 0, mask_.get(), 0, 0, work_->GetWidth(), work_->GetHeight(), level);
}

// ---------------------------------------------------------------------------------------------------------------
// TZOHalationImage

const char* const TZOHalationImage::kLayerFiles[kLayerCount] = {"HaloBlueB.bmp", "HaloYellowB.bmp",
                                                                "HaloYellowS.bmp", "HaloBlueS.bmp", "HaloGreen.bmp"};

TZOHalationImage::~TZOHalationImage() { Release(); }

void TZOHalationImage::Load(VXFileMan* files, VXBitDepth depth) {
  Release();
  std::unique_ptr<TZoRGBBits> pictures[1 + kLayerCount];
  for (auto& picture : pictures) {
    picture = MakeResource<TZoRGBBits>();
    picture->SetBitDepth(depth);
  }
  bool decoded = true;
  for (int i = 0; i <= kLayerCount; ++i) {
    VXStream* stream = files != nullptr ? files->Open(i == 0 ? kHaloBackFile : kLayerFiles[i - 1]) : nullptr;
    if (stream == nullptr) continue;
    decoded = pictures[i]->DrawBmpStream(stream, 0, 0) && decoded;
    files->Close(stream);
  }
  if (!decoded) throw EGameErr();
  back_ = std::move(pictures[0]);
  for (int i = 0; i < kLayerCount; ++i) layers_[i] = std::move(pictures[i + 1]);
  loaded_ = true;
}

void TZOHalationImage::Release() {
  if (!loaded_) return;
  back_.reset();
  for (auto& layer : layers_) layer.reset();
  loaded_ = false;
}

TZoRGBBits* TZOHalationImage::GetLayer(int index) const {
  return index >= 0 && index < kLayerCount ? layers_[index].get() : nullptr;
}

// ---------------------------------------------------------------------------------------------------------------
// Frame renderers

namespace {

// The frame of `value` out of 0..end: 0 (or less) is a copy of the from picture, `end` and above a copy of the to
// picture (the last frame); values between are drawn by `middle`. Every frame marks the screen.
template <class Middle>
bool Frame(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int value, int end,
           Middle&& middle) {
  if (value <= 0) {
    Copy(dst, from);
  } else if (value >= end) {
    Copy(dst, to);
  } else {
    middle();
  }
  MarkScreen(dirty);
  return value > 0 && value >= end;
}

// The end of a kind whose resource is loaded; without it every frame after the first is the last.
int EndWith(bool loaded, int end) { return loaded ? end : 1; }

}  // namespace

bool RenderCrossFade(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int level) {
  return Frame(dst, dirty, from, to, level, kMaxBlendRate, [&] { Mix(dst, from, to, level); });
}

bool RenderScroll(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int pos, int direction) {
  return Frame(dst, dirty, from, to, pos, kScrollEnd, [&] {
    // Along the axis of motion: the band [0, n - d) and the band [n - d, n) of the screen, where d has moved in.
    const bool vertical = direction == 0 || direction == 1;
    const bool towardStart = direction == 0 || direction == 3;  // the new picture enters at the far end
    const int n = vertical ? kScreenHeight : kScreenWidth;
    const int d = pos * n / kScrollEnd;
    auto band = [&](TZoRGBBits* src, int at, int srcAt, int length) {
      if (vertical) dst->Draw(0, at, src, 0, srcAt, kScreenWidth, length);
      else dst->Draw(at, 0, src, srcAt, 0, length, kScreenHeight);
    };
    if (towardStart) {
      band(from, 0, d, n - d);
      band(to, n - d, 0, d);
    } else {
      band(from, d, 0, n - d);
      band(to, 0, n - d, d);
    }
  });
}

bool RenderZoomIn(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step) {
  return Frame(dst, dirty, from, to, step, kZoomInSteps, [&] {
    Resample(KernelsOf(dst).blend, from, Inset(step), dst, kFullWindow);
    // The next step zooms further into a picture that already carries the to picture.
    if (4 * step <= kMaxBlendRate) Mix(from, dst, to, 4 * step);
  });
}

bool RenderZoomThrough(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step) {
  return Frame(dst, dirty, from, to, step, kZoomThroughSteps, [&] {
    const DepthKernels kernels = KernelsOf(dst);
    Resample(kernels.blend, dst, Inset(step), from, kFullWindow);
    Resample(kernels.copy, to, kFullWindow, from, Inset(kZoomThroughSteps - step));
    BlendOver(dst, from, std::max(16, 8 * step - 32));
  });
}

bool RenderShrink(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step) {
  return Frame(dst, dirty, from, to, step, kShrinkSteps, [&] {
    BlendOver(dst, to, 32);
    Resample(KernelsOf(dst).blend, from, kFullWindow, dst, Inset(step));
    Copy(from, dst);
  });
}

bool RenderZoomOut(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step) {
  constexpr int kZoomSteps = 16;
  return Frame(dst, dirty, from, to, step, kZoomOutSteps, [&] {
    if (step < kZoomSteps) {
      Resample(KernelsOf(dst).blend, to, Inset(kZoomSteps - step), from, kFullWindow);
      BlendOver(dst, from, 32);
      Copy(from, dst);
    } else {
      BlendOver(dst, to, 32);
    }
  });
}

bool RenderWater(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step,
                 const TZOWaterTable& water) {
  return Frame(dst, dirty, from, to, step, EndWith(water.IsLoaded(), kWaterSteps), [&] {
    if (step < kWaterBlendFirst) {
      Ripple(water, from, dst, step, step);
    } else if (step < kWaterCalmFirst) {
      BlendOver(from, to, kWaterBlendRates[step - kWaterBlendFirst]);
      Ripple(water, from, dst, step, kWaterMaxLevel);
    } else {
      Ripple(water, to, dst, step, kWaterSteps - step);
    }
  });
}

bool RenderHalation(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step,
                    const TZOHalationImage& halo) {
  return Frame(dst, dirty, from, to, step, EndWith(halo.IsLoaded(), kHaloSteps), [&] {
    if (step < kHaloGlideFirst) {
      if (step == 1) {
        from->ToneChange(0, 0, kScreenWidth - 1, kScreenHeight - 1, kHaloHalfTone);
        if (TZoRGBBits* back = halo.GetBack(); Drawable(back))
          from->SaturationAdd(0, 0, back, 0, 0, back->GetWidth(), back->GetHeight());
      }
      BlendOver(dst, from, kHaloFadeRates[step - 1]);
      return;
    }
    Mix(dst, from, to, 4 * step - 20);
    for (int k = 0; k < TZOHalationImage::kLayerCount; ++k) {
      TZoRGBBits* layer = halo.GetLayer(k);
      if (!Drawable(layer)) continue;
      // Along the screen's 4:3 diagonal from the top-left corner.
      const int b = TZOHalationImage::kLayerSpeeds[k] * (step - kHaloGlideFirst) / 32;
      const int w = layer->GetWidth(), h = layer->GetHeight();
      dst->SaturationAdd(b * 4 / 3 - w / 2, b - h / 2, layer, 0, 0, w, h);
    }
  });
}

bool RenderMask(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int v, TZOFadeAlphaMask& mask) {
  constexpr int kMiddle = 255, kMiddleEnd = 256;
  return Frame(dst, dirty, from, to, v, EndWith(mask.IsLoaded(), kMaskFinal), [&] {
    const TZoAlpha* plane = mask.GetWork();
    if (v < kMiddle) mask.SSub(kMiddle - v);
    else if (v <= kMiddleEnd) plane = mask.GetMask();
    else mask.SAdd(v - kMiddleEnd);
    dst->DrawAlphaMask(0, 0, from, 0, 0, to, 0, 0, kScreenWidth, kScreenHeight, plane);
  });
}

bool RenderMaskEdge(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int v,
                    TZOFadeAlphaMask& mask) {
  return Frame(dst, dirty, from, to, v, EndWith(mask.IsLoaded(), kMaskEdgeFinal), [&] {
    mask.Extract(v);
    dst->DrawAlphaMask(0, 0, from, 0, 0, to, 0, 0, kScreenWidth, kScreenHeight, mask.GetWork());
  });
}

// ---------------------------------------------------------------------------------------------------------------
// TEffectMan

// Level kinds hand the renderer progress x multiplier and end when progress reaches `end`; step kinds hand it the
// step and end after `end` steps. Both end on the renderer's final value.
struct TEffectMan::KindRule {
  bool steps;
  int end;
  int multiplier;
  int final;
  bool (*render)(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int value);
};

namespace {

// The renderers as the kind table calls them, on the manager's pictures and resources.
using TwoPictureRenderer = bool (*)(TZoRGBBits*, VXRectSet*, TZoRGBBits*, TZoRGBBits*, int);
template <TwoPictureRenderer Render>
bool OnPictures(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int value) {
  return Render(dst, dirty, m.GetFrom(), m.GetTo(), value);
}
template <int Direction>
bool Scroll(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int pos) {
  return RenderScroll(dst, dirty, m.GetFrom(), m.GetTo(), pos, Direction);
}
bool WaterKind(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int step) {
  return RenderWater(dst, dirty, m.GetFrom(), m.GetTo(), step, m.Water());
}
bool HalationKind(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int step) {
  return RenderHalation(dst, dirty, m.GetFrom(), m.GetTo(), step, m.Halo());
}
bool MaskKind(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int v) {
  return RenderMask(dst, dirty, m.GetFrom(), m.GetTo(), v, m.Mask());
}
bool MaskEdgeKind(TEffectMan& m, TZoRGBBits* dst, VXRectSet* dirty, int v) {
  return RenderMaskEdge(dst, dirty, m.GetFrom(), m.GetTo(), v, m.Mask());
}

}  // namespace

const TEffectMan::KindRule TEffectMan::kRules[] = {
    {false, 32, 4, kMaxBlendRate, OnPictures<RenderCrossFade>},
    {false, 16, 8, kMaxBlendRate, OnPictures<RenderCrossFade>},
    {false, 64, 2, kMaxBlendRate, OnPictures<RenderCrossFade>},
    {false, kScrollEnd, 1, kScrollEnd, Scroll<0>},
    {false, kScrollEnd, 1, kScrollEnd, Scroll<1>},
    {false, kScrollEnd, 1, kScrollEnd, Scroll<2>},
    {false, kScrollEnd, 1, kScrollEnd, Scroll<3>},
    {true, kZoomInSteps, 0, kZoomInSteps, OnPictures<RenderZoomIn>},
    {true, kZoomThroughSteps, 0, kZoomThroughSteps, OnPictures<RenderZoomThrough>},
    {true, kShrinkSteps, 0, kShrinkSteps, OnPictures<RenderShrink>},
    {true, kZoomOutSteps, 0, kZoomOutSteps, OnPictures<RenderZoomOut>},
    {true, kWaterSteps, 0, kWaterSteps, WaterKind},
    {true, kHaloSteps, 0, kHaloSteps, HalationKind},
    {false, 32, 16, kMaskFinal, MaskKind},
    {false, 32, 8, kMaskEdgeFinal, MaskEdgeKind},
};

bool TEffectMan::Start(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) {
  if (!IsScreenPicture(from) || !IsScreenPicture(to) || !SameLayout(from, to)) return false;
  from_ = from;
  to_ = to;
  kind_ = static_cast<std::int8_t>(kind & 0xFF);
  rate_ = rate;
  elapsed_ = 0;
  progress_ = 0;
  lastDrawn_ = -1;
  step_ = 0;
  return true;
}

void TEffectMan::Advance(int time) {
  if (IsDone()) return;
  elapsed_ = Saturate(std::int64_t{elapsed_} + time);
  progress_ = Saturate(std::int64_t{elapsed_} * rate_ / 100);
}

void TEffectMan::Draw(TZoRGBBits* dst, VXRectSet* dirty) {
  if (IsDone()) return;
  if (!ScreenPictures(dst, from_, to_)) {
    kind_ = ekNone;
  } else if (kind_ < 0 || kind_ >= static_cast<int>(std::size(kRules))) {
    Copy(dst, to_);
    MarkScreen(dirty);
    kind_ = ekNone;
  } else {
    const KindRule& rule = kRules[kind_];
    if (rule.steps) DrawSteps(rule, dst, dirty);
    else DrawLevel(rule, dst, dirty);
  }
  lastDrawn_ = progress_;
}

void TEffectMan::DrawLevel(const KindRule& rule, TZoRGBBits* dst, VXRectSet* dirty) {
  if (lastDrawn_ < 0) {
    rule.render(*this, dst, dirty, 0);
  } else if (progress_ >= rule.end) {
    rule.render(*this, dst, dirty, rule.final);
    kind_ = ekNone;
  } else if (progress_ != lastDrawn_) {
    // Progress below 0 (a negative rate) shows the from picture.
    if (rule.render(*this, dst, dirty, std::max(progress_, 0) * rule.multiplier)) kind_ = ekNone;
  }
}

void TEffectMan::DrawSteps(const KindRule& rule, TZoRGBBits* dst, VXRectSet* dirty) {
  if (lastDrawn_ < 0) {
    step_ = 0;
    rule.render(*this, dst, dirty, 0);
  } else if (step_ >= rule.end) {
    rule.render(*this, dst, dirty, rule.final);
    kind_ = ekNone;
  } else if (progress_ != lastDrawn_) {
    if (rule.render(*this, dst, dirty, ++step_)) kind_ = ekNone;
  }
}

void TEffectMan::Clear() {
  from_ = nullptr;
  to_ = nullptr;
  kind_ = ekNone;
}

// ---------------------------------------------------------------------------------------------------------------
// Screen pictures

TZoRGBBits* CreateScreenBits() {
  TGameServices* game = GameServices();
  if (game == nullptr) throw EGameErr();
  const VXBitDepth depth = game->GetWorkingBitDepth();
  if (depth != bd24 && depth != bd32) throw EGameErr();
  VXMemMan& mem = game->GetMemMan();
  TZoRGBBits* bits = nullptr;
  try {
    bits = mem.CreateVCL<TZoRGBBits>(nullptr);
  } catch (const std::exception&) {
    bits = nullptr;
  }
  if (bits == nullptr) throw EGameErr();
  bits->SetBitDepth(depth);
  if (!bits->Resize(kScreenWidth, kScreenHeight) || !bits->Create()) {
    mem.Delete(bits);
    throw EGameErr();
  }
  return bits;
}

void CreateScreenBitsPair(TZoRGBBits** from, TZoRGBBits** to) {
  *from = nullptr;
  *to = nullptr;
  TZoRGBBits* first = CreateScreenBits();
  try {
    *to = CreateScreenBits();
  } catch (...) {
    DeleteScreenBits(first);
    throw;
  }
  *from = first;
}

void DeleteScreenBits(TZoRGBBits*& bits) {
  if (bits == nullptr) return;
  if (TGameServices* game = GameServices()) game->GetMemMan().Delete(bits);
}
