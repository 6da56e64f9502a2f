// The picture-font writer of the name entry and the best-score rows: names of up to four characters drawn from a
// glyph picture of one column of 17 x 34 cells, cell n at y = 34 x n: A-Z 0-25, "-#.:/!?" 26-32, 0-9 33-42, '*'
// 43, '+' 44. Any other character (lower case, blank) leaves its cell empty; a double-byte character ends the text.
//
// The panel drawn into needs its own picture with an alpha plane, at most 34 pixels high. Drawing sizes the panel
// to 17 pixels a character, but never wider than its picture: only whole cells that fit the picture are drawn.
//
// Game thread.
#pragma once

#include "core/vxstring.h"

class TZoAlpha;
class TZoRGBBits;
class TZoRGBPanel;
class VXFileMan;

class RankingName {
public:
  static constexpr int kCellWidth = 17;
  static constexpr int kCellHeight = 34;
  static constexpr int kNameLength = 4;  // the characters of a stored name

  RankingName() = default;
  ~RankingName();
  RankingName(const RankingName&) = delete;
  RankingName& operator=(const RankingName&) = delete;

  bool SetFiles(VXFileMan* files);
  // The glyph picture and its plane (the previous ones released); false without files or when it does not load.
  bool Load(VXString name);
  bool IsLoaded() const { return glyphs_ != nullptr; }
  void Draw(TZoRGBPanel* panel, VXString text);

  // The cell of a character; -1 for one without a glyph.
  static int GlyphOf(char c);

private:
  void ReleaseGlyphs();

  VXFileMan* files_ = nullptr;
  TZoRGBBits* glyphs_ = nullptr;
  TZoAlpha* alpha_ = nullptr;
};
