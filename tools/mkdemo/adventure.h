// The demo game's adventure sounds and the pass-code dialog: voices ("Voice/ev00000.pak", members "%010u.ogg"),
// event sound effects ("EvSE.pak", "se%03d.ogg"), the system voices of quick save and the save screen
// ("SysVoice02_01" .. "SysVoice03_05") and the dialog's pictures ("DlgF_Pass.png", "DlgClear.png", "DlgOk.png").
#pragma once

#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddAdventureAssets(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
