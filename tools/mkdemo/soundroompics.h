// The sound room's pictures: the backdrop "SoundBase.jpg" (640 x 480: the track list frame, the player panel with
// its "No." / "分" / "秒" labels beside the number panels, a record in starlight), "SoundTrackName.png" (the nine
// track names, 280 wide, rows 28 apart for the 21-high select buttons), "SoundSelect.png" (the 280 x 21 light of
// the selected row), the player buttons "SoundBtnBack/Play/Stop/Next.png" (21 x 21) and "SoundBtnOneRep/AllRep.png"
// (16 x 16) with five blocks each (normal, focus, selected, down, disabled), the digits "SoundTimeNum.png" (8 x 14
// each, 0 to 9 from the top) and the common exit button "CmExit.png" (112 x 32, four blocks: normal, focus, down,
// disabled).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSoundRoomPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
