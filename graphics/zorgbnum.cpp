#include "graphics/zorgbnum.h"

#include <algorithm>
#include <cstdint>

#include "graphics/zorgbbits.h"

TZoRGBNum::TZoRGBNum(Classes::TComponent* owner) : TZoRGBPanel(owner) {
  SetSizeX(98);
  SetSizeY(31);
  SetAutoSize(false);
}

TZoRGBNum::TZoRGBNum(Classes::TComponent* owner, TZoRGBPanel* parent) : TZoRGBPanel(owner, parent) {
  SetSizeX(98);
  SetSizeY(31);
  SetAutoSize(false);
  SetNumBlock(10);
}

void TZoRGBNum::SetColumn(int n) {
  if (n < 0 || n > 10 || n == column_) return;
  column_ = n;
  ChangeState();
}

void TZoRGBNum::SetNumber(int n) {
  if (n == number_) return;
  number_ = n;
  ChangeState();
}

void TZoRGBNum::ChangeState() {
  if (GetCreated() && GetVisible() && GetImage() != nullptr) SetModify();
}

bool TZoRGBNum::CallOnDraw(TZoRGBBits* dest, int x, int y, int sx, int sy, int dx, int dy) {
  if (OnDraw && OnDraw(this, dest, x, y, sx, sy, dx, dy)) return true;
  TZoRGBBits* image = GetImage();
  if (image == nullptr || !image->IsCreated() || image->GetHeight() < 10) return false;
  // Unsigned, so that the most negative int has a magnitude too.
  std::uint32_t n = number_ < 0 ? 0u - static_cast<std::uint32_t>(number_) : static_cast<std::uint32_t>(number_);
  const std::int64_t w = image->GetWidth();
  const int h = image->GetHeight() / 10;
  const std::int64_t areaLeft = sx, areaRight = std::int64_t{sx} + dx;
  const int areaTop = std::max(sy, 0), areaBottom = std::min(sy + dy, h);
  for (int i = 0; i < column_; ++i) {
    if (i > 0 && n == 0) break;
    const int digit = static_cast<int>(n % 10);
    n /= 10;
    const std::int64_t cellRight = GetSizeX() - w * i;
    const std::int64_t cellLeft = cellRight - w;
    const std::int64_t left = std::max(cellLeft, areaLeft), right = std::min(cellRight, areaRight);
    if (left >= right || areaTop >= areaBottom) continue;
    DrawByMask(dest, x + static_cast<int>(left - sx), y + areaTop - sy, static_cast<int>(left - cellLeft),
               areaTop + digit * h, static_cast<int>(right - left), areaBottom - areaTop);
  }
  return true;
}
