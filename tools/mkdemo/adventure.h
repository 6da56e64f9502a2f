// The demo game's adventure sounds and the pass-code dialog: voices ("Voice/ev00000.pak", members "%010u.ogg"),
// event sound effects ("EvSE.pak", "se%03d.ogg"), the title's system voices on Exit, Load and Free play
// ("SysVoice01_01" .. "SysVoice01_05", "SysVoice03_NN", "SysVoice04_NN") and the dialog's pictures ("DlgF_Pass.png",
// "DlgClear.png", "DlgOk.png").
#pragma once

#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddAdventureAssets(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
