#include "tools/mkdemo/configpics.h"

#include "shell/cfgparts.h"
#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

struct Label {
  const char* key;
  float x, y;
};

std::string Back(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 53);
  GlassPanel(picture, style, 24, 36, 300, 182, 10);
  GlassPanel(picture, style, 24, 248, 300, 208, 10);
  GlassPanel(picture, style, 334, 36, 300, 358, 10);
  const Label titles[] = {{"config.system", 36, 42}, {"config.adventure", 36, 254}, {"config.music", 346, 42}};
  for (const Label& t : titles)
    Caption(picture, style, style.Label(t.key), t.x, t.y, 18, Vertical(style.Colour("cream"), style.Colour("gold"), t.y, t.y + 18), true);
  const Label rows[] = {
      {"config.bgm", 36, 79},       {"config.voice", 36, 96},        {"config.se", 36, 113},
      {"config.display", 36, 154},  {"config.pacing", 36, 182},      {"config.speed", 36, 290},
      {"config.window", 36, 346},   {"config.wait", 36, 377},        {"config.effect", 36, 400},
      {"config.play", 346, 87},     {"config.keys", 346, 105},       {"config.autoadv", 346, 135},
      {"config.autofree", 346, 163}, {"config.rank", 346, 221},      {"config.lyrics", 346, 280},
      {"config.anime", 346, 338},   {"config.timing", 346, 366},
  };
  for (const Label& r : rows) Caption(picture, style, style.Label(r.key), r.x, r.y, 13, Solid(style.Colour("mist")));
  return PngFile(picture, false);
}

const char* const kChoiceLabels[] = {"config.full", "config.windowed", "config.nosync", "config.30fps", "config.normal",
                                     "config.simple", "config.on", "config.off", "level.easy", "level.hard",
                                     "config.high", "config.sound", "config.timer"};

std::string Parts(const Style& style) {
  using namespace cfgparts;
  Picture picture(kSheetWidth, kSheetHeight, true);
  auto buttons = [&](int index, const std::vector<ButtonState>& states, const std::function<void(Mask&, float, float)>& icon) {
    const TZoPartsData& p = kTable[index];
    for (int b = 0; b < p.count; ++b)
      ButtonFace(picture, style, states[static_cast<std::size_t>(b)], static_cast<float>(p.left),
                 static_cast<float>(p.top + b * p.height), static_cast<float>(p.width), static_cast<float>(p.height), icon);
  };
  auto label = [&](int index, const std::string& text, int pixels) {
    const TZoPartsData& p = kTable[index];
    const float x = (static_cast<float>(p.width) - static_cast<float>(Mask::TextWidth(text, pixels, true))) / 2;
    const float y = (static_cast<float>(p.height) - static_cast<float>(pixels)) / 2 - 1;
    return [text, pixels, x, y](Mask& m, float ox, float oy) { m.Text(text, ox + x, oy + y, pixels, true); };
  };
  const std::vector<ButtonState> choice = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kSelected};
  const std::vector<ButtonState> push = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown};
  for (int i = kChoiceFull; i <= kChoiceTimer; ++i) buttons(i, choice, label(i, style.Label(kChoiceLabels[i]), 12));
  buttons(kDefaults, push, label(kDefaults, style.Label("config.defaults"), 12));
  buttons(kExit, push, label(kExit, style.Label("exit"), 13));
  buttons(kLeft, push, [](Mask& m, float x, float y) { m.Triangle(x + 2.5f, y + 6.5f, x + 7.5f, y + 3, x + 7.5f, y + 10); });
  buttons(kRight, push, [](Mask& m, float x, float y) { m.Triangle(x + 7.5f, y + 6.5f, x + 2.5f, y + 3, x + 2.5f, y + 10); });
  const TZoPartsData& digits = kTable[kDigits];
  for (int d = 0; d < 10; ++d) {
    Mask m = picture.NewMask();
    const std::string digit(1, static_cast<char>('0' + d));
    const float x = static_cast<float>(digits.left) + (8 - static_cast<float>(Mask::TextWidth(digit, 12, true))) / 2;
    const float y = static_cast<float>(digits.top + d * digits.height);
    m.Text(digit, x, y, 12, true);
    picture.Fill(m, Solid(style.Colour("cream")));
  }
  const TZoPartsData& slider = kTable[kSlider];
  const float sx = static_cast<float>(slider.left), sy = static_cast<float>(slider.top);
  Mask groove = picture.NewMask();
  groove.Rect(sx + 4, sy + 6, static_cast<float>(slider.width) - 8, 3, 1.5f);
  picture.Fill(groove, Horizontal(style.Colour("lavender"), style.Colour("gold"), sx, sx + static_cast<float>(slider.width)), 0.8f);
  Mask knob = picture.NewMask();
  knob.Rect(sx + 0.5f, sy + 15 + 1, kKnobWidth - 1, 13, 3);
  picture.Fill(knob, Vertical(style.Colour("cream"), style.Colour("gold"), sy + 15, sy + 30));
  return PngFile(picture, true);
}

std::string MesBox(const Style& style) {
  Picture picture(117, 32, false);
  picture.Fill(Vertical(style.Colour("violet"), style.Colour("indigo"), 0, 32));
  Mask rim = picture.NewMask();
  rim.Rect(1, 1, 115, 30, 5);
  Mask inner = picture.NewMask();
  inner.Rect(2, 2, 113, 28, 4);
  rim.Subtract(inner);
  picture.Fill(rim, Solid(style.Colour("lavender")));
  Caption(picture, style, style.Label("config.sample"), 10, 9, 13, Solid(style.Colour("cream")));
  return BmpFile(picture);
}

}  // namespace

void AddConfigPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  assets.push_back({"CfgBack.png", Place::kMain, [&style] { return Back(style); }});
  assets.push_back({"CfgParts.png", Place::kMain, [&style] { return Parts(style); }});
  assets.push_back({"CfgMesBox.bmp", Place::kMain, [&style] { return MesBox(style); }});
}

}  // namespace mkdemo
