// The title screen's and the confirmation dialog's pictures:
// - "TitleBase.jpg", 640 x 480: the night sky over a hill, the moon, the logo with the subtitle, and a glass panel
//   behind the menu, whose buttons stand at x 444 from y 172 (Extra) down to y 440 (Exit);
// - the ten menu buttons "TitleStart.png", "TitleLoad.png", "TitleFreePlay.png", "TitleScore.png",
//   "TitleNetRanking.png", "TitleAlbum.png", "TitleSound.png", "TitleConfig.png", "TitleExit.png", "TitleExtra.png",
//   168 x 28, three blocks: normal, focus, down (labels title.start ... title.extra);
// - the exit question "DlgF_Exit.png" (208 x 108, its text `dialog.exit`) and the answers "DlgYes.png" and
//   "DlgNo.png" (46 x 22: normal, focus, down; labels `dialog.yes`, `dialog.no`), whose buttons stand at (78, 58)
//   and (136, 58) in the frame.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddTitlePictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
