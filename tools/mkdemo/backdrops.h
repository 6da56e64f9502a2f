// The stage backgrounds of the songs: 640 x 300 night scenes above the note sheet, with open ground along the
// bottom (from about y 260) where the performers stand. Scenes: "hill" (rolling hills under the moon, a shooting
// star), "town" (roofs with lit windows), "sea" (a moonlit sea), "stage" (a theatre stage with spotlights) and
// "forest" (pines with fireflies). Frame i of n moves what moves in the scene (the shooting star, the windows, the
// glitter, the spotlights, the fireflies); the rest stays, so that the frames of a background animation match.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tools/mkdemo/canvas.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

inline constexpr int kBackdropWidth = 640, kBackdropHeight = 300;

bool IsScene(const std::string& scene);
std::unique_ptr<Picture> Backdrop(const Style& style, const std::string& scene, std::uint32_t seed, int frame,
                                  int frames);

}  // namespace mkdemo
