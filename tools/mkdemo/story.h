// The demo game's story: the scenario sources "data/scripts/*.scs" assembled together into the scene table
// "Scene.tbl" and the scripts "scr%05d.blv" (set "Script": "Script.pak" in pack mode, the folder "Script_Pak" in
// folder mode), and the speaker table "data/scripts/SpeakTbl.csv" copied into the main data. A source that does not
// assemble stops the build with the assembler's messages.
#pragma once

#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddStory(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
