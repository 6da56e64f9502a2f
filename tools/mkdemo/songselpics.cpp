#include "tools/mkdemo/songselpics.h"

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr float kTitleX = 34, kTitleY = 75, kTitleW = 360, kTitleH = 150, kTitleRadius = 14;
constexpr float kInfoX = 46, kInfoY = 237, kInfoW = 255, kInfoH = 187;

const std::vector<ButtonState> kChoiceStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kSelected,
                                                ButtonState::kDown};

std::string Base(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 53);
  ScreenTitle(picture, style, style.Label("songsel.title"), "FREE PLAY", 34, 24);
  // Glass behind the title window and the information, and a panel for the choices.
  GlassPanel(picture, style, kTitleX - 10, kTitleY - 13, kTitleW + 20, kTitleH + 26, 12);
  GlassPanel(picture, style, kInfoX - 8, kInfoY - 2, kInfoW + 16, kInfoH + 8, 10);
  GlassPanel(picture, style, 464, 226, 172, 186, 10);
  Caption(picture, style, style.Label("songsel.level"), 480, 236, 14, Solid(style.Colour("mist")));
  Caption(picture, style, style.Label("songsel.auto"), 590, 352, 14, Solid(style.Colour("mist")));
  Caption(picture, style, style.Label("songsel.hint"), 34, 446, 13, Solid(style.Colour("mist")));
  // A few brighter stars around the title, as if the song lit them.
  Stars(picture, style, 59, 14, 400, 60, 230, 150);
  return JpegFile(picture, 92);
}

// The title window: opaque inside a rounded rectangle, fading out over its last pixels.
std::string TitleMask() {
  Mask mask(static_cast<int>(kTitleW), static_cast<int>(kTitleH));
  mask.Rect(3, 3, kTitleW - 6, kTitleH - 6, kTitleRadius).Blur(2);
  return GreyBmpFile(mask.Plane());
}

std::string TitleFrame(const Style& style) {
  Picture picture(static_cast<int>(kTitleW), static_cast<int>(kTitleH) + 6, true);
  Mask rim = picture.NewMask();
  rim.Rect(0, 0, kTitleW, kTitleH + 6, kTitleRadius + 2);
  Mask inner = picture.NewMask();
  inner.Rect(3, 3, kTitleW - 6, kTitleH, kTitleRadius);
  rim.Subtract(inner);
  Mask glow = picture.NewMask();
  glow.CopyFrom(rim).Grow(2).Blur(2);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.45f);
  picture.Fill(rim, Horizontal(style.Colour("gold"), style.Colour("lavender"), 0, kTitleW));
  // A star on each top corner.
  Mask stars = picture.NewMask();
  stars.Star(14, 7, 7, 0.02f).Star(kTitleW - 14, 7, 7, 0.06f);
  picture.Fill(stars, Radial(style.Colour("cream"), style.Colour("gold"), 14, 7, 8));
  return PngFile(picture, true);
}

std::string Arrow(const Style& style, const std::string& label, bool right) {
  return ButtonStrip(style, 96, 24, kPlainButtonStates, [&style, label, right](Mask& m, float x, float y) {
    const float textW = static_cast<float>(Mask::TextWidth(label, 13, true));
    const float left = x + (96 - textW - 12) / 2;
    if (right) {
      m.Text(label, left, y + 5, 13, true);
      m.Triangle(left + textW + 4, y + 7, left + textW + 12, y + 12, left + textW + 4, y + 17);
    } else {
      m.Triangle(left + 8, y + 7, left, y + 12, left + 8, y + 17);
      m.Text(label, left + 12, y + 5, 13, true);
    }
    (void)style;
  });
}

std::string Play(const Style& style) {
  const std::string label = style.Label("songsel.play");
  return ButtonStrip(style, 96, 40, kPlainButtonStates, [label](Mask& m, float x, float y) {
    const float textW = static_cast<float>(Mask::TextWidth(label, 16, true));
    const float left = x + (96 - textW - 16) / 2;
    m.Star(left + 6, y + 20, 7, 0.05f);
    m.Text(label, left + 16, y + 11, 16, true);
  });
}

}  // namespace

void AddSongSelectPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"SSelBase.jpg", Place::kMain, [&style] { return Base(style); }});
  assets.push_back({"SSelTitleMask.bmp", Place::kMain, [] { return TitleMask(); }});
  assets.push_back({"SSelTitleFrame.png", Place::kMain, [&style] { return TitleFrame(style); }});
  assets.push_back({"SSelBtnNext.png", Place::kMain, [&style] { return Arrow(style, style.Label("songsel.next"), true); }});
  assets.push_back({"SSelBtnBack.png", Place::kMain, [&style] { return Arrow(style, style.Label("songsel.back"), false); }});
  assets.push_back({"SSelBtnPlay.png", Place::kMain, [&style] { return Play(style); }});
  for (const auto& choice : {std::pair{"SSelBtnEasy.png", "level.easy"}, std::pair{"SSelBtnNormal.png", "level.normal"},
                             std::pair{"SSelBtnHard.png", "level.hard"}, std::pair{"SSelBtnAutoOn.png", "songsel.autoon"},
                             std::pair{"SSelBtnAutoOff.png", "songsel.autooff"}})
    assets.push_back({choice.first, Place::kMain, [&style, label = choice.second] {
                        return LabelButton(style, 104, 26, kChoiceStates, style.Label(label), 13);
                      }});
}

}  // namespace mkdemo
