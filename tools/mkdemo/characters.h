// The adventure's characters, as data/stage/stage.txt lists them: for every person and expression a sheet
// "chr%03d.png" (360 x 480 with an alpha channel) and its definition "chr%03d.ini" in the set "EvCG".
//
// A sheet holds the standing picture (260 x 480, the character's frame: cut at the thighs, so that it stands on the
// bottom of the screen) and, in the column to its right, the pictures laid over it: the eyes half shut and shut
// (96 x 32 each, at (264, 0) and (264, 32)), the mouth half open and open (40 x 24 each, at (264, 64) and
// (304, 64)) and, for Yui, the glint of her star hairpin (24 x 24 at (264, 96)). The definition stands the body as
// entry 0, blinks with entry 1 (the smile's eyes are shut already: no blink), talks with entry 2 and lets the
// hairpin glint with entry 3; the animations' first and last frames name no picture (the body shows as drawn).
//
// Persons: "yui" (a cheerful girl: a warm brown bob, a rose ribbon, a star hairpin), "kanade" (a calm tall girl:
// long violet hair, a lavender cardigan) and "sensei" (the teacher: short dark hair, glasses, a teal blazer).
// Expressions: normal, smile, surprised, troubled, angry, sad, serious.
#pragma once

#include <vector>

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddCharacters(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
