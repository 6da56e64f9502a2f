#include "shell/gamefunc.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxmemman.h"
#include "core/vxstrlist.h"
#include "core/vxtext.h"
#include "device/gameservices.h"
#include "graphics/vxgny.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbparts.h"

// ---------------------------------------------------------------------------------------------------------------
// Pictures for screens

namespace {

std::atomic<const unsigned char*> selectedGnyKey{GnyKey(0)};

struct KindName {
  const char* ext;
  int kind;
};
constexpr KindName kKindNames[] = {{"BMP", ikBmp}, {"JPG", ikJpeg}, {"PNG", ikPng}, {"LZH", ikGny}};

bool Decode(TZoRGBBits* bits, TZoAlpha* alpha, int kind, int x, int y, VXStream* stream) {
  switch (kind) {
    case ikBmp: return bits->DrawBmpStream(stream, x, y);
    case ikJpeg: return bits->DrawJpegStream(stream, x, y);
    case ikPng: return bits->DrawPngStream(stream, x, y, alpha);
    case ikGny: return bits->DrawGnyStream(stream, x, y, SelectedGnyKey());
    default: return false;
  }
}

// Opens the named picture and hands the stream and its kind to `use`; the stream is closed whatever happens.
template <class Use>
bool WithPictureFile(VXFileMan* files, const VXString& name, Use&& use) {
  const int kind = GetImageKind(name);
  if (kind == ikNone || files == nullptr) return false;
  VXStream* stream = nullptr;
  bool ok = false;
  try {
    stream = files->Open(name);
    ok = stream != nullptr && use(stream, kind);
  } catch (const std::exception&) {
    ok = false;
  }
  if (stream != nullptr) files->Close(stream);
  return ok;
}

// Whether the picture brings an alpha channel (a PNG with four channels); the stream is put back at its start.
// -1 when it cannot be.
int BringsAlpha(int kind, VXStream* stream) {
  if (kind != ikPng) return 0;
  const bool four = ChkChannelPng(stream) == 4;
  return stream->Seek(0, VXSeekBegin) == 0 ? four : -1;
}

// Size and depth first, then the pixels.
bool CreateBlank(TZoRGBBits* bits, VXBitDepth depth, int width, int height) {
  bits->SetBitDepth(depth);
  return bits->Resize(width, height) && bits->Create();
}

}  // namespace

int GetImageKind(const VXString& name) {
  const int dot = name.LastDelimiter(".");
  if (dot == 0) return ikNone;
  const VXString ext = name.SubString(dot + 1, name.Length() - dot).UpperCase();
  for (const KindName& k : kKindNames)
    if (ext == VXString(k.ext)) return k.kind;
  return ikNone;
}

void SelectGnyKey(int index) {
  if (const unsigned char* key = GnyKey(index)) selectedGnyKey.store(key);
}

const unsigned char* SelectedGnyKey() { return selectedGnyKey.load(); }

bool DrawImageStream(TZoRGBBits* bits, TZoAlpha* alpha, int kind, int x, int y, VXStream* stream) {
  if (bits == nullptr || stream == nullptr) return false;
  try {
    return Decode(bits, alpha, kind, x, y, stream);
  } catch (const std::exception&) {
    return false;
  }
}

bool LoadImageStream(TZoRGBBits** bits, TZoAlpha** alpha, int kind, VXStream* stream) {
  if (bits == nullptr) return false;
  *bits = nullptr;
  if (alpha != nullptr) *alpha = nullptr;
  TGameServices* game = GameServices();
  if (game == nullptr || stream == nullptr) return false;
  VXMemMan& mem = game->GetMemMan();
  bool ok = false;
  try {
    *bits = mem.CreateVCL<TZoRGBBits>(nullptr);
    TZoAlpha* plane = nullptr;
    if (*bits != nullptr) {
      (*bits)->SetBitDepth(game->GetWorkingBitDepth());
      ok = true;
      if (alpha != nullptr) {
        const int brings = BringsAlpha(kind, stream);
        ok = brings == 0 || (brings == 1 && (plane = *alpha = mem.CreateVCL<TZoAlpha>(nullptr)) != nullptr);
      }
    }
    ok = ok && DrawImageStream(*bits, plane, kind, 0, 0, stream);
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    mem.Delete(*bits);
    if (alpha != nullptr) mem.Delete(*alpha);
  }
  return ok;
}

bool LoadImageFile(TZoRGBBits** bits, TZoAlpha** alpha, VXFileMan* files, VXString name) {
  return WithPictureFile(files, name,
                         [&](VXStream* stream, int kind) { return LoadImageStream(bits, alpha, kind, stream); });
}

bool DrawImageFile(TZoRGBBits* bits, TZoAlpha* alpha, int x, int y, VXFileMan* files, VXString name) {
  return WithPictureFile(files, name,
                         [&](VXStream* stream, int kind) { return DrawImageStream(bits, alpha, kind, x, y, stream); });
}

bool DrawImageFileOwnAlpha(TZoRGBBits* bits, TZoAlpha* alpha, int x, int y, VXFileMan* files, VXString name) {
  return WithPictureFile(files, name, [&](VXStream* stream, int kind) {
    const int brings = alpha != nullptr ? BringsAlpha(kind, stream) : 0;
    return brings >= 0 && DrawImageStream(bits, brings == 1 ? alpha : nullptr, kind, x, y, stream);
  });
}

bool LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString name) {
  TZoRGBBits* bits = nullptr;
  TZoAlpha* alpha = nullptr;
  if (panel == nullptr || !LoadImageFile(&bits, &alpha, files, name)) return false;
  panel->SetImage(bits);
  panel->SetMaskMode(alpha != nullptr ? mmAlpha : mmOpaque);
  if (alpha != nullptr) panel->SetAlpha(alpha);
  return true;
}

bool CreatePanelImage(TZoRGBPanel* panel, int width, int height, TMaskMode mode) {
  TGameServices* game = GameServices();
  if (panel == nullptr || game == nullptr) return false;
  VXMemMan& mem = game->GetMemMan();
  const bool withPlane = mode == mmAlpha;
  TZoRGBBits* bits = nullptr;
  TZoAlpha* alpha = nullptr;
  bool ok = false;
  try {
    bits = mem.CreateVCL<TZoRGBBits>(nullptr);
    if (withPlane) alpha = mem.CreateVCL<TZoAlpha>(nullptr);
    ok = bits != nullptr && (!withPlane || alpha != nullptr) &&
         CreateBlank(bits, game->GetWorkingBitDepth(), width, height) &&
         (!withPlane || (alpha->Resize(width, height) && alpha->Create()));
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) {
    mem.Delete(bits);
    mem.Delete(alpha);
    return false;
  }
  panel->SetImage(bits);
  panel->SetMaskMode(mode);
  if (withPlane) panel->SetAlpha(alpha);
  return true;
}

bool CreatePanelImageOwnSize(TZoRGBPanel* panel, TMaskMode mode) {
  return panel != nullptr && CreatePanelImage(panel, panel->GetSizeX(), panel->GetSizeY(), mode);
}

void ReleasePanelImage(TZoRGBPanel* panel) {
  TGameServices* game = GameServices();
  if (panel == nullptr || game == nullptr) return;
  VXMemMan& mem = game->GetMemMan();
  // Deleting a picture clears it on every panel that shows it (the panels ask to be told), so a panel that shared
  // it finds nothing left to release.
  if (TZoRGBBits* image = panel->GetImage()) {
    mem.Delete(image);
    panel->SetImage(nullptr);
  }
  if (TZoAlpha* alpha = panel->GetAlpha()) {
    mem.Delete(alpha);
    panel->SetAlpha(nullptr);
  }
}

void SharePanelImage(TZoRGBPanel* dst, TZoRGBPanel* src) {
  if (dst == nullptr || src == nullptr) return;
  dst->SetImage(src->GetImage());
  dst->SetAlpha(src->GetAlpha());
  dst->SetMaskMode(src->GetMaskMode());
}

bool LoadPartsFile(TZoRGBParts** parts, VXFileMan* files, TZoPartsData* table, VXString name) {
  TGameServices* game = GameServices();
  if (parts == nullptr || table == nullptr || game == nullptr || GetImageKind(name) == ikNone) return false;
  VXMemMan& mem = game->GetMemMan();
  if (*parts == nullptr) {
    *parts = mem.CreateVCL<TZoRGBParts>(nullptr);
    if (*parts == nullptr) return false;
    (*parts)->SetBitDepth(game->GetWorkingBitDepth());
  }
  TZoRGBBits* sheet = nullptr;
  TZoAlpha* plane = nullptr;
  const bool loaded = WithPictureFile(
      files, name, [&](VXStream* stream, int kind) { return LoadImageStream(&sheet, &plane, kind, stream); });
  bool ok = false;
  if (loaded) {
    try {
      ok = plane != nullptr ? (*parts)->SetParts(sheet, plane, table) : (*parts)->SetParts(sheet, table);
    } catch (const std::exception&) {
      ok = false;
    }
  }
  // The parts hold pictures of their own.
  mem.Delete(sheet);
  mem.Delete(plane);
  return ok;
}

void SetPanelPart(TZoRGBPanel* panel, TZoRGBParts* parts, const TPartPos* pos) {
  if (panel == nullptr || pos == nullptr) return;
  panel->SetOffsetX(pos->x);
  panel->SetOffsetY(pos->y);
  if (pos->index < 0 || parts == nullptr) return;
  TZoRGBBits* image = parts->GetImage(pos->index);
  if (image == nullptr) return;
  TZoAlpha* alpha = parts->GetAlpha(pos->index);
  panel->SetImage(image);
  panel->SetAlpha(alpha);
  panel->SetMaskMode(alpha != nullptr ? mmAlpha : mmOpaque);
  panel->SetSizeX(image->GetWidth());
  panel->SetSizeY(image->GetHeight() / std::max(1, parts->GetPattern(pos->index)));
}

// ---------------------------------------------------------------------------------------------------------------
// Resampling kernels

namespace {

using Int64 = std::int64_t;

bool PositiveSizes(int sw, int sh, int dw, int dh) { return sw > 0 && sh > 0 && dw > 0 && dh > 0; }

const unsigned char* RowAt(const unsigned char* base, Int64 row, int pitch) { return base + row * pitch; }
unsigned char* RowAt(unsigned char* base, Int64 row, int pitch) { return base + row * pitch; }

// One axis of the error-stepping walk: max(src, dst) steps, each writing source index s into destination index d.
class StepWalk {
public:
  StepWalk(int src, int dst) : src_(src), dst_(dst), steps_(std::max(src, dst)) {}
  Int64 Steps() const { return steps_; }
  int Src() const { return s_; }
  int Dst() const { return d_; }
  void Next() {
    if ((es_ += src_) >= steps_) ++s_, es_ -= steps_;
    if ((ed_ += dst_) >= steps_) ++d_, ed_ -= steps_;
  }

private:
  Int64 src_, dst_, steps_;
  int s_ = 0, d_ = 0;
  Int64 es_ = 0, ed_ = 0;
};

template <int Bytes, class Put>
void StepStretch(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp,
                 Put put) {
  if (!PositiveSizes(sw, sh, dw, dh)) return;
  StepWalk rows(sh, dh);
  for (Int64 r = 0; r < rows.Steps(); ++r, rows.Next()) {
    const unsigned char* s = RowAt(src, rows.Src(), sp);
    unsigned char* d = RowAt(dst, rows.Dst(), dp);
    if (sw == dw) {
      // Equal widths step both columns together.
      put.Row(d, s, dw);
      continue;
    }
    StepWalk cols(sw, dw);
    for (Int64 k = 0; k < cols.Steps(); ++k, cols.Next())
      put(d + static_cast<std::ptrdiff_t>(cols.Dst()) * Bytes, s + static_cast<std::ptrdiff_t>(cols.Src()) * Bytes);
  }
}

template <int Bytes>
struct CopyPixel {
  void operator()(unsigned char* d, const unsigned char* s) const { std::memcpy(d, s, Bytes); }
  void Row(unsigned char* d, const unsigned char* s, int n) const {
    std::memcpy(d, s, static_cast<std::size_t>(n) * Bytes);
  }
};

// 1/4 new over 3/4 old.
template <int Bytes>
struct BlendPixel {
  void operator()(unsigned char* d, const unsigned char* s) const {
    for (int c = 0; c < 3; ++c) d[c] = static_cast<unsigned char>((3 * d[c] + s[c]) >> 2);
    if constexpr (Bytes == 4) d[3] = 0;
  }
  // Every byte blended first, then byte 3 cleared: two simple passes the compiler vectorises.
  void Row(unsigned char* d, const unsigned char* s, int n) const {
    const std::size_t bytes = static_cast<std::size_t>(n) * Bytes;
    for (std::size_t i = 0; i < bytes; ++i) d[i] = static_cast<unsigned char>((3 * d[i] + s[i]) >> 2);
    if constexpr (Bytes == 4)
      for (std::size_t i = 3; i < bytes; i += 4) d[i] = 0;
  }
};

// Sides beyond this draw nothing: it keeps every weighted sum of bytes (at most 255 x side) within 32 bits.
constexpr int kAreaMaxSide = 1 << 24;

// Exact n / d for the sums of the area average (n <= 255 x d, d <= kAreaMaxSide) by one multiplication:
// with m = ceil(2^56 / d), n x m / 2^56 exceeds n / d by less than 255 x d / 2^56 < 1 / d, too little to reach the
// next integer, and n x m stays below 2^64.
class Divider {
public:
  explicit Divider(std::uint32_t d) : m_(((std::uint64_t{1} << 56) + d - 1) / d) {}
  std::uint32_t operator()(std::uint32_t n) const { return static_cast<std::uint32_t>(n * m_ >> 56); }

private:
  std::uint64_t m_;
};

// One axis of the area average. A source cell counts as `dst` units and a destination cell as `src` units; each
// destination cell either lies inside one source cell and ends before it does (a copy of it), or is the mean of
// the source cells it overlaps, weighted by the overlap (its taps, whose weights add up to `src`).
class AreaAxis {
public:
  struct Tap {
    int cell;
    std::uint32_t weight;
  };

  AreaAxis(int src, int dst) : divide(static_cast<std::uint32_t>(src)) {
    first_.reserve(static_cast<std::size_t>(dst) + 1);
    copy_.reserve(static_cast<std::size_t>(dst));
    int i = 0;
    Int64 o = 0;
    for (int d = 0; d < dst; ++d) {
      first_.push_back(taps_.size());
      copy_.push_back(o + src < dst);
      if (copy_.back()) {
        taps_.push_back({i, static_cast<std::uint32_t>(src)});
        o += src;
        continue;
      }
      for (Int64 left = src; left > 0;) {
        const Int64 t = std::min(dst - o, left);
        taps_.push_back({i, static_cast<std::uint32_t>(t)});
        left -= t;
        if ((o += t) == dst) o = 0, ++i;
      }
    }
    first_.push_back(taps_.size());
  }

  bool Copies(int d) const { return copy_[d] != 0; }
  const Tap* Begin(int d) const { return taps_.data() + first_[d]; }
  const Tap* End(int d) const { return taps_.data() + first_[d + 1]; }

  const Divider divide;

private:
  std::vector<std::size_t> first_;
  std::vector<unsigned char> copy_;
  std::vector<Tap> taps_;
};

template <int Bytes>
void AverageRow(const AreaAxis& axis, const unsigned char* src, unsigned char* dst, int dw) {
  for (int x = 0; x < dw; ++x, dst += Bytes) {
    const AreaAxis::Tap* tap = axis.Begin(x);
    const AreaAxis::Tap* end = axis.End(x);
    if (axis.Copies(x)) {
      std::memcpy(dst, src + static_cast<std::ptrdiff_t>(tap->cell) * Bytes, Bytes);
      continue;
    }
    std::uint32_t sum[3] = {};
    for (; tap != end; ++tap) {
      const unsigned char* p = src + static_cast<std::ptrdiff_t>(tap->cell) * Bytes;
      for (int c = 0; c < 3; ++c) sum[c] += p[c] * tap->weight;
    }
    for (int c = 0; c < 3; ++c) dst[c] = static_cast<unsigned char>(axis.divide(sum[c]));
    if constexpr (Bytes == 4) dst[3] = 0;
  }
}

template <int Bytes>
void SmoothStretch(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  if (!PositiveSizes(sw, sh, dw, dh) || std::max({sw, sh, dw, dh}) > kAreaMaxSide) return;
  const std::size_t rowBytes = static_cast<std::size_t>(dw) * Bytes;
  std::optional<AreaAxis> cols, rows;
  std::vector<unsigned char> row;
  std::vector<std::uint32_t> sums;
  try {
    cols.emplace(sw, dw);
    rows.emplace(sh, dh);
    row.resize(rowBytes);
    sums.resize(rowBytes);
  } catch (const std::bad_alloc&) {
    return;
  }
  // Each source row is resampled once, when the walk first reaches it.
  int resampled = -1;
  auto sourceRow = [&](int i) {
    if (i != resampled) {
      AverageRow<Bytes>(*cols, RowAt(src, i, sp), row.data(), dw);
      resampled = i;
    }
    return row.data();
  };
  for (int y = 0; y < dh; ++y) {
    unsigned char* out = RowAt(dst, y, dp);
    const AreaAxis::Tap* tap = rows->Begin(y);
    const AreaAxis::Tap* end = rows->End(y);
    // A copy, or a single source row weighing the whole cell: the mean is that row.
    if (rows->Copies(y) || end - tap == 1) {
      std::memcpy(out, sourceRow(tap->cell), rowBytes);
      continue;
    }
    std::fill(sums.begin(), sums.end(), 0);
    for (; tap != end; ++tap) {
      const unsigned char* p = sourceRow(tap->cell);
      const std::uint32_t weight = tap->weight;
      for (std::size_t k = 0; k < rowBytes; ++k) sums[k] += p[k] * weight;
    }
    for (std::size_t k = 0; k < rowBytes; ++k) out[k] = static_cast<unsigned char>(rows->divide(sums[k]));
  }
}

}  // namespace

void StretchCopy8(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  StepStretch<1>(src, sw, sh, sp, dst, dw, dh, dp, CopyPixel<1>{});
}

void StretchCopy24(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  StepStretch<3>(src, sw, sh, sp, dst, dw, dh, dp, CopyPixel<3>{});
}

void StretchCopy32(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  StepStretch<4>(src, sw, sh, sp, dst, dw, dh, dp, CopyPixel<4>{});
}

void BlendStretchCopy24(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  StepStretch<3>(src, sw, sh, sp, dst, dw, dh, dp, BlendPixel<3>{});
}

void BlendStretchCopy32(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  StepStretch<4>(src, sw, sh, sp, dst, dw, dh, dp, BlendPixel<4>{});
}

void SmoothStretchCopy24(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  SmoothStretch<3>(src, sw, sh, sp, dst, dw, dh, dp);
}

void SmoothStretchCopy32(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp) {
  SmoothStretch<4>(src, sw, sh, sp, dst, dw, dh, dp);
}

// ---------------------------------------------------------------------------------------------------------------
// Additive lines

namespace {

constexpr int kLineCoordLimit = 32768;

// The steps k (0 <= k) that put a coordinate start + step x k inside [lo, hi): [first, end).
struct StepRange {
  Int64 first, end;
};
StepRange StepsInside(Int64 start, int step, Int64 lo, Int64 hi) {
  return step > 0 ? StepRange{lo - start, hi - start} : StepRange{start - hi + 1, start - lo + 1};
}

Int64 CeilDiv(Int64 a, Int64 b) { return a / b + (a % b > 0 ? 1 : 0); }  // b > 0

// Walks the pixels of the line that lie inside the bitmap and the clip, calling op(pixel, x, y) for each.
template <class Op>
bool ClippedLine(TZoRGBBits* bits, int x1, int y1, int x2, int y2, const VXRect& clip, Op&& op) {
  if (bits == nullptr || !bits->IsCreated()) return false;
  const int bpp = bits->GetBitDepth();
  if (bpp != 3 && bpp != 4) return false;
  VXRect r;
  VXIntersectRect(clip, VXRect{0, 0, bits->GetWidth(), bits->GetHeight()}, r);
  auto hold = [](int v) { return std::clamp(v, -kLineCoordLimit, kLineCoordLimit); };
  x1 = hold(x1), y1 = hold(y1), x2 = hold(x2), y2 = hold(y2);
  if (y1 > y2) std::swap(x1, x2), std::swap(y1, y2);
  if (r.IsRectEmpty() || y1 >= r.bottom || y2 < r.top || std::max(x1, x2) < r.left || std::min(x1, x2) >= r.right)
    return true;
  if (!bits->Lock()) return false;

  const Int64 cols = std::abs(x2 - x1) + 1, rows = Int64{y2} - y1 + 1;
  const int sx = x2 > x1 ? 1 : -1;
  const bool xMajor = cols > rows;
  // Major axis a moves every step; minor axis b moves by floor(k x minor / major).
  const Int64 major = xMajor ? cols : rows, minor = xMajor ? rows : cols;
  const int a1 = xMajor ? x1 : y1, b1 = xMajor ? y1 : x1;
  const int sa = xMajor ? sx : 1, sb = xMajor ? 1 : sx;
  const StepRange ka = xMajor ? StepsInside(a1, sa, r.left, r.right) : StepsInside(a1, sa, r.top, r.bottom);
  const StepRange qb = xMajor ? StepsInside(b1, sb, r.top, r.bottom) : StepsInside(b1, sb, r.left, r.right);
  const Int64 kFirst = std::max({Int64{0}, ka.first, qb.first > 0 ? CeilDiv(qb.first * major, minor) : 0});
  const Int64 kEnd = std::min({major, ka.end, qb.end > 0 ? CeilDiv(qb.end * major, minor) : 0});

  unsigned char* base = bits->GetBits();
  const int pitch = bits->GetPitch();
  Int64 q = kFirst * minor / major, error = kFirst * minor % major;
  for (Int64 k = kFirst; k < kEnd; ++k) {
    const Int64 a = a1 + sa * k, b = b1 + sb * q;
    const int x = static_cast<int>(xMajor ? a : b), y = static_cast<int>(xMajor ? b : a);
    op(base + static_cast<std::ptrdiff_t>(y) * pitch + static_cast<std::ptrdiff_t>(x) * bpp, x, y);
    if ((error += minor) >= major) error -= major, ++q;
  }
  bits->Unlock();
  return true;
}

unsigned char ColourByte(unsigned long colour, int channel) {
  return static_cast<unsigned char>(colour >> (8 * channel));
}

void AddSaturated(unsigned char* p, int channel, int amount) {
  p[channel] = static_cast<unsigned char>(std::min(255, p[channel] + amount));
}

}  // namespace

bool DrawLineAdd(TZoRGBBits* bits, int x1, int y1, int x2, int y2, unsigned long colour, VXRect clip) {
  return ClippedLine(bits, x1, y1, x2, y2, clip, [colour](unsigned char* p, int, int) {
    for (int c = 0; c < 3; ++c) AddSaturated(p, c, ColourByte(colour, c));
  });
}

bool DrawLineSub(TZoRGBBits* bits, int x1, int y1, int x2, int y2, unsigned long colour, VXRect clip) {
  return ClippedLine(bits, x1, y1, x2, y2, clip, [colour](unsigned char* p, int, int) {
    for (int c = 0; c < 3; ++c) p[c] = static_cast<unsigned char>(std::max(0, p[c] - ColourByte(colour, c)));
  });
}

bool DrawLineAddAlpha(TZoRGBBits* bits, int x1, int y1, int x2, int y2, unsigned long colour, VXRect clip,
                      TZoAlpha* plane) {
  if (bits == nullptr || plane == nullptr || !plane->IsCreated() || plane->GetWidth() < bits->GetWidth() ||
      plane->GetHeight() < bits->GetHeight())
    return DrawLineAdd(bits, x1, y1, x2, y2, colour, clip);
  return ClippedLine(bits, x1, y1, x2, y2, clip, [colour, plane](unsigned char* p, int x, int y) {
    const int a = *plane->At(x, y);
    if (a == 0) return;
    for (int c = 0; c < 3; ++c) AddSaturated(p, c, ColourByte(colour, c) * a >> 8);
  });
}

// ---------------------------------------------------------------------------------------------------------------
// Text, numbers and volumes

namespace {

// 1000 x log2(volume / 100) for 100 %, 90 %, ... 0 % (taken as 1 %).
constexpr long kAttenuation[11] = {0, -152, -322, -515, -737, -1000, -1322, -1737, -2322, -3322, -6644};
constexpr long kSilence = -10000;

struct Chapter {
  int id;
  const char16_t* name;
};
constexpr Chapter kChapters[] = {
    {1, u"プロローグ"}, {2, u"月曜日"},     {3, u"火曜日"},   {4, u"水曜日"},      {5, u"木曜日"},  {6, u"金曜日"},
    {7, u"土曜日"},     {8, u"ライブ当日"}, {9, u"ライブ中"}, {10, u"エピローグ"}, {11, u"おまけ"},
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

long VolumeToAttenuation(int percent) {
  if (percent < 1) return kSilence;
  if (percent >= 100) return 0;
  const int down = 100 - percent, i = down / 10, f = down % 10;
  return kAttenuation[i] + (kAttenuation[i + 1] - kAttenuation[i]) * f / 10;
}

long ScaledVolumeToAttenuation(int volume, int rate) {
  const Int64 scaled = Int64{std::max(volume, 0)} * std::max(rate, 0) / 100;
  return VolumeToAttenuation(static_cast<int>(std::min<Int64>(scaled, INT_MAX)));
}

std::uint32_t StrToThousandths(VXString text) {
  // Far above any 32-bit result, and ten times it still fits.
  constexpr std::uint64_t kCap = std::uint64_t{1} << 40;
  std::uint64_t value = 0;
  int decimals = 0;
  bool point = false;
  for (int i = 1; i <= text.Length(); ++i) {
    if (text.ByteType(i) != 0) break;
    const char c = text[i];
    if (c == 'T') continue;
    if (c == '.') {
      if (point) break;
      point = true;
      continue;
    }
    if (!IsDigit(c)) break;
    value = std::min(value * 10 + static_cast<unsigned>(c - '0'), kCap);
    if (point && ++decimals == 3) break;
  }
  for (; decimals < 3; ++decimals) value = std::min(value * 10, kCap);
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, UINT32_MAX));
}

int ParseVersionTag(VXString tag) {
  if (tag.Length() != 7 || !IsDigit(tag[4]) || !IsDigit(tag[6]) || !IsDigit(tag[7])) return 0;
  return (tag[4] - '0') * 100 + (tag[6] - '0') * 10 + (tag[7] - '0');
}

VXString CutToken(VXString& text) {
  const int comma = text.AnsiPos(",");
  if (comma == 0) {
    const VXString all = VXTrim(text);
    text.Clear();
    return all;
  }
  const VXString token = VXTrim(text.SubString(1, comma - 1));
  text = text.SubString(comma + 1, text.Length() - comma);
  return token;
}

void SplitFileExt(VXString& base, VXString& ext, VXString name) {
  const int dot = name.LastDelimiter(".");
  base = dot == 0 ? name : name.SubString(1, dot - 1);
  ext = dot == 0 ? VXString() : name.SubString(dot, name.Length() - dot + 1);
}

VXStringList* ExpandBracketPattern(VXString pattern) {
  TGameServices* game = GameServices();
  if (game == nullptr) return nullptr;
  VXStringList* list = game->GetMemMan().Create<VXStringList>();
  if (list == nullptr) return nullptr;
  const int open = pattern.AnsiPos("["), close = pattern.AnsiPos("]");
  if (open == 0 || close < open + 2) {
    list->Add(pattern);
    return list;
  }
  const VXString prefix = pattern.SubString(1, open - 1);
  const VXString suffix = pattern.SubString(close + 1, pattern.Length() - close);
  const VXString inner = pattern.SubString(open + 1, close - open - 1);
  // Characters compare as signed bytes; a range ending at 127 ends there (a char counter would never pass it).
  auto add = [&](int c) {
    if (c != 0) list->Add(prefix + VXString(static_cast<char>(c)) + suffix);
  };
  int previous = ' ';
  bool range = false;
  for (int i = 1; i <= inner.Length(); ++i) {
    const int c = static_cast<signed char>(inner[i]);
    if (c == '-') {
      range = true;
      continue;
    }
    if (!range) add(c);
    for (int ch = previous + 1; range && ch <= c; ++ch) add(ch);
    previous = c;
  }
  return list;
}

VXString GetChapterName(int id, int maxBytes) {
  VXString name;
  for (const Chapter& c : kChapters)
    if (c.id == id) {
      name = VXString(c.name);
      break;
    }
  if (name.Length() <= maxBytes) return name;
  const bool ellipsis = maxBytes >= 4;
  int keep = ellipsis ? maxBytes - 2 : maxBytes;
  if (keep >= 1 && name.ByteType(keep) == 1) --keep;
  const VXString front = VXDivideFront(name, keep);
  return ellipsis ? front + VXString(u"…") : front;
}

TZoRGBBits* CreateThumbnail(TZoRGBBits* src) {
  constexpr int kWidth = 134, kHeight = 100;
  TGameServices* game = GameServices();
  if (src == nullptr || game == nullptr || !src->IsCreated()) return nullptr;
  VXMemMan& mem = game->GetMemMan();
  const int w = src->GetWidth(), h = src->GetHeight();
  TZoRGBBits* work = nullptr;
  TZoRGBBits* thumb = nullptr;
  bool ok = false;
  try {
    work = mem.CreateVCL<TZoRGBBits>(nullptr);
    thumb = mem.CreateVCL<TZoRGBBits>(nullptr);
    ok = work != nullptr && thumb != nullptr && CreateBlank(work, bd24, w, h) &&
         CreateBlank(thumb, bd24, kWidth, kHeight) && work->ConvertCopy(0, 0, src, 0, 0, w, h) && work->Lock();
    if (ok) {
      ok = thumb->Lock();
      if (ok) {
        SmoothStretchCopy24(work->GetBits(), w, h, work->GetPitch(), thumb->GetBits(), kWidth, kHeight,
                            thumb->GetPitch());
        thumb->Unlock();
      }
      work->Unlock();
    }
  } catch (const std::exception&) {
    ok = false;
  }
  mem.Delete(work);
  if (!ok) mem.Delete(thumb);
  return thumb;
}

bool PanelAlphaFillRate(TZoRGBPanel* panel, TZoRGBBits* dst, int x, int y, int sx, int sy, int w, int h,
                        unsigned long colour, int rate) {
  TZoAlpha* plane = panel != nullptr ? panel->GetAlpha() : nullptr;
  if (plane == nullptr || dst == nullptr || !plane->IsCreated()) return false;
  const int blocks = panel->GetNumBlock(), index = panel->GetBlockIndex();
  if (blocks < 1 || index < 0 || index >= blocks) return false;
  const Int64 blockHeight = plane->GetHeight() / blocks;
  // Cut the area to the block; what is cut on the left and the top moves the destination.
  Int64 dx = x, dy = y, ax = sx, ay = sy, aw = w, ah = h;
  if (ax < 0) dx -= ax, aw += ax, ax = 0;
  if (ay < 0) dy -= ay, ah += ay, ay = 0;
  aw = std::min(aw, plane->GetWidth() - ax);
  ah = std::min(ah, blockHeight - ay);
  if (aw <= 0 || ah <= 0 || dx > INT_MAX || dy > INT_MAX) return true;
  return dst->AlphaFillRate(static_cast<int>(dx), static_cast<int>(dy), static_cast<std::uint32_t>(colour),
                            static_cast<int>(ax), static_cast<int>(ay + blockHeight * index), static_cast<int>(aw),
                            static_cast<int>(ah), plane, rate);
}
