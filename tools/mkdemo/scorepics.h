// The pictures of the name entry and of the best-score screen:
// - "NameBase.jpg", 640 x 480: the title, the boxes of the name (at (44, 170), 68 x 34) and the score (at (20, 290),
//   eight digits), and the keyboard: 46 keys with their characters in 50-pixel cells from (200, 69), eight to a
//   row (the last two cells are the back-space and end buttons' own);
// - "NameBtnBS.png", "NameBtnEnd.png", 50 x 50, three blocks (normal, focus, down; labels name.bs, name.end);
//   "NameSelFrame.png", 50 x 50, the selection frame; "NameAnime.png", 40 x 40, four blocks of a twinkling star;
// - "NameAlphabet.png" and "RankAlphabet.png", 17 x 1530: the 45 glyphs of names, one 17 x 34 cell each (A-Z,
//   "-#.:/!?", 0-9, '*', '+'), gold for the entry and cream for the table;
// - "NameNum.png", 20 x 280, and "RankNum.png", 16 x 240: the digits 0-9 from the top;
// - "ScoreBase.jpg", 640 x 480: the best-score screen's title and the slash between the page numbers;
// - "RankBase.png", 560 x 34: a row's background; "ScoreBtnEasy.png", "ScoreBtnNormal.png", "ScoreBtnHard.png",
//   80 x 28, five blocks (normal, focus, selected, down, disabled); "ScoreBtnBack.png", "ScoreBtnFwd.png", 28 x 28,
//   four blocks (normal, focus, down, disabled).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddScorePictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
