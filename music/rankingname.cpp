#include "music/rankingname.h"

#include <algorithm>
#include <cstring>

#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "shell/gamefunc.h"

namespace {

constexpr char kSymbols[] = "-#.:/!?";
constexpr int kSymbolGlyph = 26, kDigitGlyph = 33, kStarGlyph = 43, kPlusGlyph = 44;

}  // namespace

RankingName::~RankingName() { ReleaseGlyphs(); }

bool RankingName::SetFiles(VXFileMan* files) {
  files_ = files;
  return true;
}

bool RankingName::Load(VXString name) {
  if (files_ == nullptr) return false;
  ReleaseGlyphs();
  return LoadImageFile(&glyphs_, &alpha_, files_, name);
}

void RankingName::ReleaseGlyphs() {
  if (TGameServices* game = GameServices()) {
    if (glyphs_ != nullptr) game->GetMemMan().Delete(glyphs_);
    if (alpha_ != nullptr) game->GetMemMan().Delete(alpha_);
  }
  glyphs_ = nullptr;
  alpha_ = nullptr;
}

int RankingName::GlyphOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= '0' && c <= '9') return kDigitGlyph + (c - '0');
  if (c == '*') return kStarGlyph;
  if (c == '+') return kPlusGlyph;
  if (c != '\0')
    if (const char* at = std::strchr(kSymbols, c)) return kSymbolGlyph + static_cast<int>(at - kSymbols);
  return -1;
}

void RankingName::Draw(TZoRGBPanel* panel, VXString text) {
  if (panel == nullptr || glyphs_ == nullptr || panel->GetSizeY() > kCellHeight) return;
  TZoRGBBits* image = panel->GetImage();
  TZoAlpha* plane = panel->GetAlpha();
  if (image == nullptr || !image->IsCreated() || plane == nullptr) return;
  // The panel grows with the text, but not beyond its picture and plane: a longer text is cut at the last whole cell.
  const int room = std::min(image->GetWidth(), plane->GetWidth()) / kCellWidth * kCellWidth;
  panel->SetSizeX(std::min(kCellWidth * text.Length(), room));
  image->BoxFill(0, 0, image->GetWidth() - 1, image->GetHeight() - 1, 0);
  plane->Fill(0);
  const int glyphCells = glyphs_->GetHeight() / kCellHeight;
  for (int i = 1; i <= text.Length() && kCellWidth * i <= panel->GetSizeX(); ++i) {
    if (text.IsLeadByte(i)) break;
    const int glyph = GlyphOf(text[i]);
    if (glyph < 0 || glyph >= glyphCells) continue;
    const int x = kCellWidth * (i - 1), y = kCellHeight * glyph;
    image->Draw(x, 0, glyphs_, 0, y, kCellWidth, kCellHeight);
    if (alpha_ != nullptr) plane->Draw(x, 0, alpha_, 0, y, kCellWidth, kCellHeight);
    else plane->BoxFill(x, 0, x + kCellWidth - 1, kCellHeight - 1, 255);
  }
  panel->SetModify();
}
