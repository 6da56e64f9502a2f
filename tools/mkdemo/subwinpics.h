// The pictures of the adventure's text windows: the message window's back "MesBack.png" and frame "MesFrame.png"
// (587 x 147; the back is drawn at the reader's transparency, the frame opaque over it), the wait icon
// "MesWait.png" (a twinkling star, seven 20 x 20 frames), the window buttons "MesHide.png" (19 x 18: normal, focus,
// down, disabled), "MesSkip.png" and "MesAuto.png" (19 x 18: normal, focus, selected, down, disabled), the choice
// window "SelWindow.png" (540 x 120) and its cursor "SelCursor.png" (520 x 20), the backlog's scroll bar
// "BacklogBar.png" (20 x 340), thumb "BacklogPos.png" (18 x 18) and buttons "BacklogUp/Down.png" (20 x 20:
// normal, focus, down), the calendar digits "CalDateNum.png" (26 x 24) and "CalTimeNum.png" (22 x 26), 0 to 9 from
// the top, with "CalSlash.png" (19 x 26) and "CalColon.png" (11 x 21), the place plates "AvgPlace01.png" ..
// "AvgPlace06.png" (120 x 32) and the menu buttons "Menu01.png" .. "Menu09.png" (170 x 22: normal, three focus
// frames of a glint running along the button, down, disabled).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddSubWinPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
