#include "tools/mkdemo/scorepics.h"

#include <string>
#include <utility>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr int kCell = 50, kGridX = 200, kGridY = 69, kColumns = 8;
constexpr int kGlyphW = 17, kGlyphH = 34;
constexpr const char* kKeys = "ABCDEFGHIJKLMNOPQRSTUVWXYZ-#.:/!?0123456789*+ ";
constexpr const char* kGlyphs = "ABCDEFGHIJKLMNOPQRSTUVWXYZ-#.:/!?0123456789*+";
const std::vector<ButtonState> kThreeStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown};
const std::vector<ButtonState> kFiveStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kSelected,
                                              ButtonState::kDown, ButtonState::kDisabled};

// A small glass box with a caption above it.
void LabelledBox(Picture& picture, const Style& style, const std::string& caption, float x, float y, float w, float h) {
  Caption(picture, style, caption, x, y - 20, 14, Solid(style.Colour("lavender")), true);
  GlassPanel(picture, style, x, y, w, h, 8);
}

std::string NameBase(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 71);
  ScreenTitle(picture, style, style.Label("name.title"), "NAME ENTRY", 24, 18);
  LabelledBox(picture, style, style.Label("name.name"), 34, 162, 88, 50);
  LabelledBox(picture, style, style.Label("music.score"), 12, 282, 176, 44);
  GlassPanel(picture, style, kGridX - 8, kGridY - 8, kCell * kColumns + 16, kCell * 6 + 16, 10);
  Mask keys = picture.NewMask(), letters = picture.NewMask();
  for (int i = 0; i < 46; ++i) {
    const float x = kGridX + kCell * (i % kColumns), y = kGridY + kCell * (i / kColumns);
    keys.Rect(x + 4, y + 4, kCell - 8, kCell - 8, 9);
    const std::string key(1, kKeys[i]);
    if (key != " ") letters.Text(key, x + (kCell - Mask::TextWidth(key, 22, true)) / 2.0f, y + 13, 22, true);
  }
  picture.Fill(keys, Vertical(style.Colour("violet"), style.Colour("indigo"), kGridY, kGridY + kCell * 6), 0.75f);
  picture.Fill(letters, Solid(style.Colour("cream")));
  Caption(picture, style, style.Label("name.hint"), 200, 392, 13, Solid(style.Colour("mist")));
  return JpegFile(picture);
}

std::string SelFrame(const Style& style) {
  Picture picture(kCell, kCell, true);
  Mask glow = picture.NewMask();
  glow.Rect(2, 2, kCell - 4, kCell - 4, 10).Subtract(Mask(kCell, kCell).Rect(7, 7, kCell - 14, kCell - 14, 6));
  glow.Blur(2);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.8f);
  Mask ring = picture.NewMask();
  ring.Rect(3, 3, kCell - 6, kCell - 6, 9).Subtract(Mask(kCell, kCell).Rect(6, 6, kCell - 12, kCell - 12, 6));
  picture.Fill(ring, Solid(style.Colour("gold")));
  return PngFile(picture, true);
}

std::string Twinkle(const Style& style) {
  constexpr int kSize = 40, kFrames = 4;
  Picture picture(kSize, kSize * kFrames, true);
  for (int f = 0; f < kFrames; ++f) {
    const float cy = kSize * f + kSize / 2.0f, r = 9.0f + 3.0f * (f % 2 == 0 ? f / 2 : 2 - f / 2);
    Mask glow = picture.NewMask();
    glow.Ellipse(20, cy, r + 4, r + 4).Blur(4);
    picture.Fill(glow, Solid(style.Colour("amber")), 0.6f, Blend::kAdd);
    Mask star = picture.NewMask();
    star.Star(20, cy, r, 0.05f * f);
    picture.Fill(star, Vertical(style.Colour("cream"), style.Colour("gold"), cy - r, cy + r));
  }
  return PngFile(picture, true);
}

std::string Glyphs(const Style& style, const char* top, const char* bottom) {
  const std::string glyphs = kGlyphs;
  Picture picture(kGlyphW, kGlyphH * static_cast<int>(glyphs.size()), true);
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    const std::string glyph(1, glyphs[i]);
    const float y = kGlyphH * static_cast<float>(i);
    Caption(picture, style, glyph, (kGlyphW - Mask::TextWidth(glyph, 24, true)) / 2.0f, y + 4, 24,
            Vertical(style.Colour(top), style.Colour(bottom), y + 6, y + 28), true);
  }
  return PngFile(picture, true);
}

std::string ScoreBase(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 83);
  ScreenTitle(picture, style, style.Label("score.title"), "HIGH SCORE", 24, 18);
  Caption(picture, style, "/", 116, 442, 22, Solid(style.Colour("lavender")), true);
  return JpegFile(picture);
}

std::string RowBase(const Style& style) {
  constexpr float w = 560, h = 34;
  Picture picture(static_cast<int>(w), static_cast<int>(h), true);
  Mask bar = picture.NewMask();
  bar.Rect(1, 1, w - 2, h - 2, 8);
  picture.Fill(bar, Horizontal(style.Colour("violet"), style.Colour("indigo"), 0, w), 0.55f);
  Mask rim = picture.NewMask();
  rim.Line(10, h - 1.5f, w - 10, h - 1.5f, 1);
  picture.Fill(rim, Horizontal(style.Colour("gold"), style.Colour("lavender"), 0, w), 0.6f);
  Mask star = picture.NewMask();
  star.Star(18, h / 2, 8, 0.05f);
  picture.Fill(star, Solid(style.Colour("gold")));
  return PngFile(picture, true);
}

std::string Arrow(const Style& style, bool forward) {
  return ButtonStrip(style, 28, 28, kPlainButtonStates, [forward](Mask& m, float x, float y) {
    if (forward) m.Triangle(x + 10, y + 7, x + 20, y + 14, x + 10, y + 21);
    else m.Triangle(x + 18, y + 7, x + 8, y + 14, x + 18, y + 21);
  });
}

}  // namespace

void AddScorePictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"NameBase.jpg", Place::kMain, [&style] { return NameBase(style); }});
  assets.push_back({"NameBtnBS.png", Place::kMain,
                    [&style] { return LabelButton(style, kCell, kCell, kThreeStates, style.Label("name.bs"), 13); }});
  assets.push_back({"NameBtnEnd.png", Place::kMain,
                    [&style] { return LabelButton(style, kCell, kCell, kThreeStates, style.Label("name.end"), 13); }});
  assets.push_back({"NameSelFrame.png", Place::kMain, [&style] { return SelFrame(style); }});
  assets.push_back({"NameAnime.png", Place::kMain, [&style] { return Twinkle(style); }});
  assets.push_back({"NameAlphabet.png", Place::kMain, [&style] { return Glyphs(style, "cream", "gold"); }});
  assets.push_back({"NameNum.png", Place::kMain, [&style] { return DigitStrip(style, 20, 28, 24); }});
  assets.push_back({"ScoreBase.jpg", Place::kMain, [&style] { return ScoreBase(style); }});
  assets.push_back({"RankBase.png", Place::kMain, [&style] { return RowBase(style); }});
  assets.push_back({"RankAlphabet.png", Place::kMain, [&style] { return Glyphs(style, "cream", "lavender"); }});
  assets.push_back({"RankNum.png", Place::kMain, [&style] { return DigitStrip(style, 16, 24, 20); }});
  for (const auto& [file, label] : {std::pair{"ScoreBtnEasy.png", "level.easy"},
                                    std::pair{"ScoreBtnNormal.png", "level.normal"},
                                    std::pair{"ScoreBtnHard.png", "level.hard"}})
    assets.push_back({file, Place::kMain,
                      [&style, key = label] { return LabelButton(style, 80, 28, kFiveStates, style.Label(key), 14); }});
  assets.push_back({"ScoreBtnBack.png", Place::kMain, [&style] { return Arrow(style, false); }});
  assets.push_back({"ScoreBtnFwd.png", Place::kMain, [&style] { return Arrow(style, true); }});
}

}  // namespace mkdemo
