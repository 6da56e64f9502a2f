// The internet ranking screen's pictures: the backgrounds "RankBGNetSel.jpg" (the song list: two columns of ten
// rows from (56, 105), 33 pixels apart) and "RankBGNetRank.jpg" (the ranking: ten rows from y 116, 28 pixels apart,
// under the headings place, name and score), both 640 x 480 with the page counter's slash at (103, 447); the buttons
// "RankBtnSongSel.png" (112 x 28), "RankBtnUpload.png" (120 x 30), "RankBtnBack.png" and "RankBtnNext.png"
// (28 x 28), four blocks each (normal, focus, down, disabled); the level buttons "RankBtnEasy.png",
// "RankBtnNormal.png", "RankBtnHard.png" (80 x 28, five blocks: normal, focus, selected, down, disabled); the row
// marks "RankSongNote.png" (18 x 28) and "RankSongCursor.png" (270 x 28); the tag "RankYourPoints.png" (140 x 24);
// the message window "RankDialog.png" (300 x 170), its entry boxes "RankInput.png" (164 x 34), its button
// "RankBtnOK.png" (80 x 28: normal, focus, down) and the caret "RankCaret.png" (2 x 12).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddRankingPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
