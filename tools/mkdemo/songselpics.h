// The song select's pictures: the background "SSelBase.jpg" (640 x 480: the screen's title, a glass panel behind the
// song's title at (34, 72) and its information at (46, 237), the captions of the level and auto choices), the
// title's mask "SSelTitleMask.bmp" (360 x 150, 8-bit: a rounded window with soft edges, index = opacity) and frame
// "SSelTitleFrame.png" (360 x 156), the buttons "SSelBtnNext.png", "SSelBtnBack.png" (96 x 24) and "SSelBtnPlay.png"
// (96 x 40) with four blocks (normal, focus, down, disabled), and the choices "SSelBtnEasy.png", "SSelBtnNormal.png",
// "SSelBtnHard.png", "SSelBtnAutoOn.png", "SSelBtnAutoOff.png" (104 x 26) with four blocks (normal, focus,
// selected, down).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSongSelectPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
