#include "graphics/zorgbparts.h"

#include <cstdint>
#include <memory>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"

TZoRGBParts::TZoRGBParts(Classes::TComponent* owner) : Classes::TComponent(owner) {}

TZoRGBParts::~TZoRGBParts() { FreeParts(); }

const TZoRGBParts::Part* TZoRGBParts::At(int i) const {
  return made_ && i >= 0 && i < static_cast<int>(parts_.size()) ? &parts_[static_cast<std::size_t>(i)] : nullptr;
}

TZoRGBBits* TZoRGBParts::GetImage(int i) const { return At(i) != nullptr ? At(i)->image : nullptr; }
TZoAlpha* TZoRGBParts::GetAlpha(int i) const { return At(i) != nullptr ? At(i)->alpha : nullptr; }
int TZoRGBParts::GetPattern(int i) const { return At(i) != nullptr ? At(i)->pattern : 0; }

TZoRGBParts::Part TZoRGBParts::MakePart(TZoRGBBits* sheet, TZoAlpha* alpha, const TZoPartsData& e) {
  // 64-bit, so that a huge block height or count cannot wrap round into a small, accepted height.
  const std::int64_t height = std::int64_t{e.height} * e.count;
  if (e.left < 0 || e.top < 0 || e.width <= 0 || e.height <= 0 || e.count <= 0 ||
      std::int64_t{e.left} + e.width > sheet->GetWidth() || e.top + height > sheet->GetHeight())
    return {};
  const int h = static_cast<int>(height);
  auto image = std::make_unique<TZoRGBBits>(this);
  image->SetBitDepth(bitDepth_);
  image->SetPixFormat(pixFormat_);
  if (!image->Resize(e.width, h) || !image->Create()) return {};
  const bool copied = CompatibleFormat(image->GetPixFormat(), sheet->GetPixFormat())
                          ? image->Draw(0, 0, sheet, e.left, e.top, e.width, h)
                          : image->ConvertCopy(0, 0, sheet, e.left, e.top, e.width, h);
  if (!copied) return {};
  Part part{image.release(), nullptr, e.count};
  if (alpha != nullptr && alpha->IsCreated()) {
    auto plane = std::make_unique<TZoAlpha>(this);
    if (plane->Resize(e.width, h) && plane->Create() && plane->Draw(0, 0, alpha, e.left, e.top, e.width, h))
      part.alpha = plane.release();
  }
  return part;
}

bool TZoRGBParts::SetParts(TZoRGBBits* sheet, TZoAlpha* alpha, const TZoPartsData* table, int count) {
  if (count <= 0 || table == nullptr || sheet == nullptr || !sheet->IsCreated()) return false;
  parts_.clear();  // the old pictures stay owned by this component
  made_ = false;
  parts_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) parts_.push_back(MakePart(sheet, alpha, table[i]));
  made_ = true;
  return true;
}

bool TZoRGBParts::SetParts(TZoRGBBits* sheet, TZoAlpha* alpha, const TZoPartsData* table) {
  if (table == nullptr) return false;
  int count = 0;
  while (table[count].left >= 0) ++count;
  return SetParts(sheet, alpha, table, count);
}

bool TZoRGBParts::SetParts(TZoRGBBits* sheet, const TZoPartsData* table) { return SetParts(sheet, nullptr, table); }

void TZoRGBParts::FreeParts() {
  if (made_) {
    for (const Part& p : parts_) {
      delete p.image;
      delete p.alpha;
    }
  }
  parts_.clear();
  made_ = false;
}

void TZoRGBParts::SetBitDepth(VXBitDepth depth) {
  if (made_) return;
  bitDepth_ = depth;
  if (ChkDepthAndFormat(depth, pixFormat_)) return;
  switch (depth) {
    case bd8: pixFormat_ = pfNone; break;
    case bd16: pixFormat_ = pf16_565; break;
    case bd24: pixFormat_ = pf24_888; break;
    case bd32: pixFormat_ = pf32_888; break;
    case bdNone: break;
  }
}

void TZoRGBParts::SetPixFormat(VXPixFormat format) {
  if (made_) return;
  pixFormat_ = format;
  if (ChkDepthAndFormat(bitDepth_, format)) return;
  switch (format) {
    case pf16_565: case pf16_555: case pf16_5551: case pf16_4444: bitDepth_ = bd16; break;
    case pf24_888: bitDepth_ = bd24; break;
    case pf32_888: case pf32_8888: bitDepth_ = bd32; break;
    default: break;
  }
}
