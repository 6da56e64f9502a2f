// The wipe masks of the screen transitions, "FadeMask00_BlindR.bmp" … "FadeMask18_GhostU.bmp": 640 x 480 8-bit
// pictures with a grey palette, laid over the whole screen. A transition reveals the new screen in the order of
// the mask's values, the brightest pixels first (255 turns at once, 0 last), so each mask is drawn as the order in
// which its pixels turn, stretched over 255..0:
//   BlindR/BlindL    16 slats of 40 pixels, each opening from its left (right) edge, the slats a little after one
//                    another in the same direction
//   LucasR/LucasL    one straight edge sweeping from the left (right) edge across the screen
//   Circle/CircleR   a circle opening from the centre / closing from the edges onto it
//   Clock            a hand sweeping clockwise from twelve o'clock
//   Swirl            four curved arms turning clockwise
//   Crystal          a lattice of diamonds growing from their centres, the middle of the screen first
//   StripesB/N       broad (60 pixels) or narrow (16 pixels) bands sliding in from the left and the right in turn
//   Star             a five-pointed star, point up, growing from the centre
//   Radiation(R)     twelve rays shooting out from the centre (in from the edges) and widening until they meet
//   Windmill         four sails turning clockwise
//   Naruto           a spiral band wound out from the centre, clockwise
//   Noise            a dissolve: every value on exactly 1,200 pixels, scattered
//   GhostD/GhostU    a wavering, wispy front drifting down (up) the screen
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddFadeMasks(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
