// The pictures of the halation transition, 24-bit BMP, all light on black, added to the screen:
// - "HaloBack.bmp" (640 x 480): the glare added once over the darkened old screen, a warm light falling from the
//   top-left corner with soft rays;
// - five lens-flare ghosts that glide from the top-left corner toward the bottom right while the new screen fades
//   in: "HaloBlueB.bmp" (224 x 224, a pale blue disc with a rim), "HaloYellowB.bmp" (192 x 192, a soft golden
//   glow), "HaloYellowS.bmp" (80 x 80, a bright star-like spark), "HaloBlueS.bmp" (96 x 96, a hexagon),
//   "HaloGreen.bmp" (144 x 144, a green ring).
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddHalationPictures(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
