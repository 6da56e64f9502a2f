// The configuration screen's pictures: the background "CfgBack.png" (640 x 480: three glass panels with the group
// titles and the row labels beside the controls), the parts sheet "CfgParts.png" drawn by the screen's own parts
// table (shell/cfgparts.h: choice buttons, defaults and exit buttons, digits, the slider's track and knob, the
// arrow buttons) and the message window sample "CfgMesBox.bmp" (117 x 32).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddConfigPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
