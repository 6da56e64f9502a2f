#include "tools/mkdemo/rankpics.h"

#include "tools/mkdemo/look.h"
#include "tools/mkdemo/picfiles.h"

namespace mkdemo {

namespace {

constexpr float kRowStep = 33, kRankStep = 28;

void Header(Picture& picture, const Style& style) {
  ScreenTitle(picture, style, style.Label("ranking.title"), style.Label("ranking.subtitle"), 24, 16);
  // The page counter between its arrows: current / last.
  Caption(picture, style, "/", 103, 447, 14, Solid(style.Colour("mist")));
}

std::string SongListScreen(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 53);
  Header(picture, style);
  Caption(picture, style, style.Label("ranking.pick"), 40, 70, 14, Solid(style.Colour("mist")));
  GlassPanel(picture, style, 28, 95, 600, kRowStep * 10 + 10, 10);
  Mask rules = picture.NewMask();
  for (int i = 1; i < 10; ++i)
    for (const float x : {56.0f, 351.0f}) rules.Line(x + 4, 103 + i * kRowStep - 1, x + 266, 103 + i * kRowStep - 1, 0.7f);
  rules.Line(333, 104, 333, 95 + kRowStep * 10, 0.7f);
  picture.Fill(rules, Horizontal(style.Colour("lavender"), style.Colour("violet"), 28, 628), 0.3f);
  return JpegFile(picture, 92);
}

std::string RankingScreen(const Style& style) {
  Picture picture(640, 480, false);
  NightSky(picture, style, 59);
  Header(picture, style);
  GlassPanel(picture, style, 100, 84, 440, 306, 10);
  const Paint mist = Solid(style.Colour("mist"));
  Caption(picture, style, style.Label("ranking.place"), 120, 92, 14, mist);
  Caption(picture, style, style.Label("ranking.name"), 190, 92, 14, mist);
  Caption(picture, style, style.Label("ranking.score"), 450, 92, 14, mist);
  Mask rules = picture.NewMask();
  for (int i = 0; i < 10; ++i) rules.Line(112, 111 + i * kRankStep, 528, 111 + i * kRankStep, 0.7f);
  picture.Fill(rules, Horizontal(style.Colour("lavender"), style.Colour("violet"), 100, 540), 0.3f);
  return JpegFile(picture, 92);
}

std::string SongNote(const Style& style) {
  Picture picture(18, 28, true);
  Mask note = picture.NewMask();
  note.Ellipse(6.5f, 19.5f, 4.5f, 3.5f).Line(10.2f, 19, 10.2f, 6, 1.6f).Line(10.2f, 6, 15, 9.5f, 1.6f);
  picture.Fill(note, Vertical(style.Colour("cream"), style.Colour("gold"), 5, 23));
  return PngFile(picture, true);
}

std::string SongCursor(const Style& style) {
  Picture picture(270, 28, true);
  Mask bar = picture.NewMask();
  bar.Rect(0, 0, 270, 28, 6);
  picture.Fill(bar, Horizontal(style.Colour("gold"), style.Colour("rose"), 0, 270), 0.22f);
  Mask rim = picture.NewMask();
  rim.Rect(0, 0, 270, 28, 6);
  Mask inner = picture.NewMask();
  inner.Rect(1.2f, 1.2f, 267.6f, 25.6f, 5);
  rim.Subtract(inner);
  picture.Fill(rim, Horizontal(style.Colour("gold"), style.Colour("violet"), 0, 270), 0.8f);
  return PngFile(picture, true);
}

std::string BestTag(const Style& style) {
  Picture picture(140, 24, true);
  Caption(picture, style, style.Label("ranking.best"), 2, 4, 15, Vertical(style.Colour("cream"), style.Colour("gold"), 4, 20),
          true);
  return PngFile(picture, true);
}

std::string Dialog(const Style& style) {
  Picture picture(300, 170, true);
  GlassPanel(picture, style, 2, 2, 296, 166, 12);
  Mask back = picture.NewMask();
  back.Rect(4, 4, 292, 162, 10);
  picture.Fill(back, Vertical(style.Colour("indigo"), style.Colour("night"), 4, 166), 0.8f);
  Caption(picture, style, style.Label("ranking.dialog"), 16, 12, 11, Solid(style.Colour("lavender")));
  return PngFile(picture, true);
}

std::string InputBoxes(const Style& style) {
  Picture picture(164, 34, true);
  for (const float y : {0.0f, 18.0f}) {
    Mask box = picture.NewMask();
    box.Rect(0, y, 164, 16, 3);
    picture.Fill(box, Solid(style.Colour("night")), 0.85f);
    Mask rim = picture.NewMask();
    rim.Rect(0, y, 164, 16, 3);
    Mask inner = picture.NewMask();
    inner.Rect(1, y + 1, 162, 14, 2);
    rim.Subtract(inner);
    picture.Fill(rim, Solid(style.Colour("lavender")), 0.7f);
  }
  return PngFile(picture, true);
}

std::string Caret(const Style& style) {
  Picture picture(2, 12, false);
  picture.Fill(Solid(style.Colour("cream")));
  return PngFile(picture, false);
}

std::string Arrow(const Style& style, bool next) {
  return ButtonStrip(style, 28, 28, kPlainButtonStates, [next](Mask& m, float x, float y) {
    if (next)
      m.Triangle(x + 10, y + 8, x + 19, y + 14, x + 10, y + 20);
    else
      m.Triangle(x + 18, y + 8, x + 9, y + 14, x + 18, y + 20);
  });
}

}  // namespace

void AddRankingPictures(const Context& context, std::vector<Asset>& assets) {
  const Style& style = context.style;
  const std::vector<ButtonState> level = {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kSelected,
                                          ButtonState::kDown, ButtonState::kDisabled};
  assets.push_back({"RankBGNetSel.jpg", Place::kMain, [&style] { return SongListScreen(style); }});
  assets.push_back({"RankBGNetRank.jpg", Place::kMain, [&style] { return RankingScreen(style); }});
  assets.push_back({"RankBtnSongSel.png", Place::kMain, [&style] {
                      return LabelButton(style, 112, 28, kPlainButtonStates, style.Label("ranking.songsel"), 14);
                    }});
  assets.push_back({"RankBtnUpload.png", Place::kMain, [&style] {
                      return LabelButton(style, 120, 30, kPlainButtonStates, style.Label("ranking.upload"), 14);
                    }});
  assets.push_back({"RankBtnBack.png", Place::kMain, [&style] { return Arrow(style, false); }});
  assets.push_back({"RankBtnNext.png", Place::kMain, [&style] { return Arrow(style, true); }});
  for (const auto& button : {std::pair{"RankBtnEasy.png", "level.easy"}, std::pair{"RankBtnNormal.png", "level.normal"},
                             std::pair{"RankBtnHard.png", "level.hard"}})
    assets.push_back({button.first, Place::kMain, [&style, level, label = button.second] {
                        return LabelButton(style, 80, 28, level, style.Label(label), 13);
                      }});
  assets.push_back({"RankSongNote.png", Place::kMain, [&style] { return SongNote(style); }});
  assets.push_back({"RankSongCursor.png", Place::kMain, [&style] { return SongCursor(style); }});
  assets.push_back({"RankYourPoints.png", Place::kMain, [&style] { return BestTag(style); }});
  assets.push_back({"RankDialog.png", Place::kMain, [&style] { return Dialog(style); }});
  assets.push_back({"RankInput.png", Place::kMain, [&style] { return InputBoxes(style); }});
  assets.push_back({"RankBtnOK.png", Place::kMain, [&style] {
                      return LabelButton(style, 80, 28, {ButtonState::kNormal, ButtonState::kFocus, ButtonState::kDown},
                                         style.Label("ranking.ok"), 14);
                    }});
  assets.push_back({"RankCaret.png", Place::kMain, [&style] { return Caret(style); }});
}

}  // namespace mkdemo
