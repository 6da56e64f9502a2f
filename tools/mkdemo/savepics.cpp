#include "tools/mkdemo/savepics.h"

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr float kListX = 168, kListY = 102, kListW = 282, kRowH = 22, kRows = 10;

std::string Screen(const Style& style, bool load) {
  Picture picture(640, 480, false);
  NightSky(picture, style, load ? 41 : 37);
  ScreenTitle(picture, style, style.Label(load ? "load.title" : "save.title"), load ? "LOAD" : "SAVE", 168, 52);
  GlassPanel(picture, style, kListX - 12, kListY - 12, kListW + 48, kRowH * kRows + 24 + 44, 10);
  Mask rules = picture.NewMask();
  for (int i = 1; i < kRows; ++i) rules.Line(kListX + 4, kListY + i * kRowH, kListX + kListW - 4, kListY + i * kRowH, 0.7f);
  picture.Fill(rules, Horizontal(style.Colour("lavender"), style.Colour("violet"), kListX, kListX + kListW), 0.3f);
  Mask track = picture.NewMask();
  track.Rect(456, 119, 16, 181, 6);
  picture.Fill(track, Solid(style.Colour("night")), 0.55f);
  Caption(picture, style, style.Label(load ? "load.hint" : "save.hint"), 168, 400, 13, Solid(style.Colour("mist")));
  return PngFile(picture, false);
}

std::string Light(const Style& style) {
  Picture picture(static_cast<int>(kListW), 20, true);
  Mask bar = picture.NewMask();
  bar.Rect(0, 0, kListW, 20, 6);
  picture.Fill(bar, Horizontal(style.Colour("gold"), style.Colour("rose"), 0, kListW), 0.35f);
  return PngFile(picture, true);
}

std::string Knob(const Style& style) {
  return ButtonStrip(style, 16, 90, {ButtonState::kNormal, ButtonState::kDown}, [](Mask& m, float x, float y) {
    for (int i = -1; i <= 1; ++i) m.Line(x + 5, y + 45 + 4 * i, x + 11, y + 45 + 4 * i, 1);
  });
}

}  // namespace

void AddSavePictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"SaveSaveScreen.png", Place::kMain, [&style] { return Screen(style, false); }});
  assets.push_back({"SaveLoadScreen.png", Place::kMain, [&style] { return Screen(style, true); }});
  assets.push_back({"SaveSelect.png", Place::kMain, [&style] { return Light(style); }});
  assets.push_back({"SaveScrollUp.png", Place::kMain, [&style] {
                      return ButtonStrip(style, 16, 16, kPlainButtonStates, [](Mask& m, float x, float y) {
                        m.Triangle(x + 8, y + 4, x + 12.5f, y + 11, x + 3.5f, y + 11);
                      });
                    }});
  assets.push_back({"SaveScrollDown.png", Place::kMain, [&style] {
                      return ButtonStrip(style, 16, 16, kPlainButtonStates, [](Mask& m, float x, float y) {
                        m.Triangle(x + 3.5f, y + 5, x + 12.5f, y + 5, x + 8, y + 12);
                      });
                    }});
  assets.push_back({"SaveScrollBar.png", Place::kMain, [&style] { return Knob(style); }});
  for (const auto& button : {std::pair{"SaveSaveBtn.png", "save.button"}, std::pair{"SaveLoadBtn.png", "load.button"},
                              std::pair{"SaveCloseBtn.png", "close"}})
    assets.push_back({button.first, Place::kMain, [&style, label = button.second] {
                        return LabelButton(style, 56, 24, kPlainButtonStates, style.Label(label), 13);
                      }});
}

}  // namespace mkdemo
