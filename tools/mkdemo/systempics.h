// The game window's own pictures: the splash picture shown at start-up ("Splash.jpg", 320 x 240, beside the
// program), the software cursor ("Cursor.png", eight 32 x 32 cells: 0 arrow, 1 busy, 2 scroll up, 3 scroll down
// with their hot spot at (0, 0); 4 scroll left, 5 scroll right, 6 aim, 7 star with theirs at (15, 15)), the
// "please wait" animation ("Wait.bmp", ten 240 x 72 frames stacked, on black, as it is faded in over a cleared
// screen) and the screenshot overlays ("Cap_Logo.png" drawn at the bottom left, "Cap_Copy.png" at the bottom right).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSystemPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
