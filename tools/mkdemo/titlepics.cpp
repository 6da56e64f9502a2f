#include "tools/mkdemo/titlepics.h"

#include <cmath>
#include <utility>

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr int kButtonW = 168, kButtonH = 28;
constexpr float kMenuX = 444, kMenuTop = 172, kMenuBottom = 468;
const std::vector<ButtonState> kMenuStates = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown};

std::string Base(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 61);
  Moon(picture, style, 110, 92, 34);
  // A dark hill along the bottom with a few lit windows of the town below it.
  Mask hill = picture.NewMask();
  hill.Below([](float x) { return 404 + 26 * std::sin(x / 120.0f) - 18 * std::cos(x / 53.0f); }, 480);
  picture.Fill(hill, Vertical(style.Colour("indigo"), style.Colour("night"), 380, 480));
  Random random(613);
  Mask lights = picture.NewMask();
  for (int i = 0; i < 28; ++i) lights.Rect(random.Range(10, 420), random.Range(436, 470), 2, 3);
  picture.Fill(lights, Solid(style.Colour("gold")), 0.8f);
  Mask glow = picture.NewMask();
  glow.CopyFrom(lights).Blur(3);
  picture.Fill(glow, Solid(style.Colour("amber")), 0.6f, Blend::kAdd);
  const float logoBottom = 150 + Logo(picture, style, 220, 150, 64);
  const std::string& subtitle = style.Label("subtitle");
  Caption(picture, style, subtitle, 220 - Mask::TextWidth(subtitle, 20, true) / 2.0f, logoBottom + 14, 20,
          Vertical(style.Colour("cream"), style.Colour("lavender"), logoBottom + 14, logoBottom + 34), true);
  GlassPanel(picture, style, kMenuX - 10, kMenuTop - 10, kButtonW + 20, kMenuBottom - kMenuTop + 10, 10);
  const std::string& copyright = style.Label("copyright");
  Caption(picture, style, copyright, 16, 458, 12, Solid(style.Colour("mist")));
  return JpegFile(picture);
}

std::string MenuButton(const Style& style, const std::string& label) {
  return LabelButton(style, kButtonW, kButtonH, kMenuStates, label, 15);
}

std::string ExitFrame(const Style& style) {
  const int w = 208, h = 108;
  Picture picture(w, h, true);
  GlassPanel(picture, style, 1, 1, w - 2, h - 2, 10);
  Mask body = picture.NewMask();
  body.Rect(4, 4, w - 8, h - 8, 8);
  picture.Fill(body, Solid(style.Colour("night")), 0.55f);
  Mask star = picture.NewMask();
  star.Star(24, 30, 8, 0.05f);
  picture.Fill(star, Solid(style.Colour("gold")));
  const std::string& question = style.Label("dialog.exit");
  Caption(picture, style, question, 38, 22, 15, Solid(style.Colour("cream")), true);
  return PngFile(picture, true);
}

std::string AnswerButton(const Style& style, const std::string& label) {
  return LabelButton(style, 46, 22, kMenuStates, label, 12);
}

}  // namespace

void AddTitlePictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"TitleBase.jpg", Place::kMain, [&style] { return Base(style); }});
  static constexpr std::pair<const char*, const char*> kButtons[] = {
      {"TitleStart.png", "title.start"},     {"TitleLoad.png", "title.load"},
      {"TitleFreePlay.png", "title.freeplay"}, {"TitleScore.png", "title.score"},
      {"TitleNetRanking.png", "title.ranking"}, {"TitleAlbum.png", "title.album"},
      {"TitleSound.png", "title.sound"},     {"TitleConfig.png", "title.config"},
      {"TitleExit.png", "title.exit"},       {"TitleExtra.png", "title.extra"}};
  for (const auto& [file, label] : kButtons)
    assets.push_back({file, Place::kMain, [&style, key = label] { return MenuButton(style, style.Label(key)); }});
  assets.push_back({"DlgF_Exit.png", Place::kMain, [&style] { return ExitFrame(style); }});
  assets.push_back({"DlgYes.png", Place::kMain, [&style] { return AnswerButton(style, style.Label("dialog.yes")); }});
  assets.push_back({"DlgNo.png", Place::kMain, [&style] { return AnswerButton(style, style.Label("dialog.no")); }});
}

}  // namespace mkdemo
