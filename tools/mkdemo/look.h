// The demo game's house style, shared by every family of pictures: the night-sky backdrop, the title logo, text
// with a shadow, glass panels and the button faces of each state. The colours come from the palette by name
// (data/palette.txt); data/README.md describes the style in words.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/mkdemo/canvas.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

// The states a button picture shows, one block each, stacked from the top in this order (a button's picture holds
// the blocks its form asks for: normal, focus, selected, down, disabled).
enum class ButtonState { kNormal, kFocus, kSelected, kDown, kDisabled };

// Sky from "indigo" at the top to "night" below, soft nebula light and stars; `seed` places them.
void NightSky(Picture& picture, const Style& style, std::uint32_t seed);
// A sprinkle of stars in a rectangle (a few of them with a cross-shaped glint).
void Stars(Picture& picture, const Style& style, std::uint32_t seed, int count, float x, float y, float w, float h);
// A crescent moon of radius r, lit from the left, in its golden glow.
void Moon(Picture& picture, const Style& style, float cx, float cy, float r);
// The light of a low source mirrored on water whose surface runs from `top` to `bottom`: short glittering strokes
// below x, spreading with the depth, painted with `paint` and added as light.
void Glitter(Picture& picture, const Paint& paint, std::uint32_t seed, float x, float top, float bottom, float spread,
             float opacity);
// The title logo: the word "logo" of labels.txt in a gold gradient with a glow, centred on cx with its top at y.
// Returns the height drawn.
float Logo(Picture& picture, const Style& style, float cx, float y, int pixels);
// Text (UTF-8) with a soft dark shadow, its cell's top-left corner at (x, y).
void Caption(Picture& picture, const Style& style, const std::string& text, float x, float y, int pixels,
             const Paint& paint, bool bold = false);
// A translucent rounded panel with a light rim and a highlight along its top.
void GlassPanel(Picture& picture, const Style& style, float x, float y, float w, float h, float radius);
// A round button face of the state in the w x h block at (x, y); `icon` draws the symbol into the mask it is given
// (in block coordinates, at the block's origin) and is painted in the state's colour.
void ButtonFace(Picture& picture, const Style& style, ButtonState state, float x, float y, float w, float h,
                const std::function<void(Mask&, float ox, float oy)>& icon);
// A PNG of a w x h button in every state listed, one block under the other, the icon drawn on each.
std::string ButtonStrip(const Style& style, int w, int h, const std::vector<ButtonState>& states,
                        const std::function<void(Mask&, float ox, float oy)>& icon);
// A button strip whose symbol is the label (UTF-8) in bold, centred in each block.
std::string LabelButton(const Style& style, int w, int h, const std::vector<ButtonState>& states,
                        const std::string& label, int pixels);
// The four states of a button that may be disabled and is never shown selected.
extern const std::vector<ButtonState> kPlainButtonStates;
// Ten w x h blocks of bold digits 0..9 from the top, in cream to gold with a dark shadow, centred in their blocks
// (the digit pictures of number panels).
std::string DigitStrip(const Style& style, int w, int h, int pixels);
// A screen's title in the house style: the title in 26 px bold at (x, y) and the Latin subtitle beside it.
void ScreenTitle(Picture& picture, const Style& style, const std::string& title, const std::string& subtitle, float x,
                 float y);

}  // namespace mkdemo
