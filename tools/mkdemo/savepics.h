// The save and load screen's pictures: the two backgrounds ("SaveSaveScreen.png", "SaveLoadScreen.png", 640 x 480:
// the title of the mode, a glass panel behind the ten slot rows at (168, 102) and the scroll track at (456, 119)),
// the row light "SaveSelect.png" (282 x 20), the scroll arrows "SaveScrollUp.png" and "SaveScrollDown.png" (16 x 16,
// four blocks), the knob "SaveScrollBar.png" (16 x 90: normal, down) and the buttons "SaveSaveBtn.png",
// "SaveLoadBtn.png" and "SaveCloseBtn.png" (56 x 24, four blocks: normal, focus, down, disabled).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSavePictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
