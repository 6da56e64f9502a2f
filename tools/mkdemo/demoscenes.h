// Two full-screen pictures (640 x 480 PNG, opaque) that no screen of the game opens: the transitions of the game
// run between them in the end-to-end tests and in demonstrations. "DemoSceneNight.png" is a lake under the night
// sky with the moon; "DemoSceneDawn.png" the same lake at dawn, warm and bright. They differ clearly at every
// pixel, so that a test can tell at any point which of the two the screen shows.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddDemoScenes(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
