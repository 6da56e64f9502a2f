// The parts sheet of the configuration screen ("CfgParts.png"): where each control's picture lies on the sheet.
// The screen cuts the sheet by this table, and the demo-game builder draws the sheet by it.
//
//   0-12  choice buttons, 64 x 20, three blocks (normal, focus, selected): 0 full screen / full rate, 1 window,
//         2 no sync, 3 30 fps, 4 normal, 5 simple, 6 on, 7 off, 8 easy, 9 hard, 10 high quality, 11 sound, 12 timer
//   13    defaults button, 72 x 20, three blocks (normal, focus, down)
//   14    exit button, 64 x 24, three blocks (normal, focus, down)
//   15    digits 0-9, 8 x 12 each, stacked
//   16    slider, 117 x 15, two blocks: the track, and the 9 x 15 knob at the left of the second
//   17    left button, 10 x 13, three blocks (normal, focus, down)
//   18    right button, likewise
#pragma once

#include "graphics/zorgbparts.h"

namespace cfgparts {

enum : int {
  kChoiceFull = 0, kChoiceWindow, kChoiceNoSync, kChoice30, kChoiceNormal, kChoiceSimple, kChoiceOn, kChoiceOff,
  kChoiceEasy, kChoiceHard, kChoiceHigh, kChoiceSound, kChoiceTimer, kDefaults, kExit, kDigits, kSlider, kLeft, kRight,
  kCount
};

inline constexpr int kSheetWidth = 256, kSheetHeight = 420;
inline constexpr int kChoiceWidth = 64, kChoiceHeight = 20;
inline constexpr int kKnobWidth = 9;

// One entry a part and the end mark (a negative left).
inline constexpr TZoPartsData kTable[kCount + 1] = {
    {0, 0, 64, 20, 3},     {0, 60, 64, 20, 3},    {0, 120, 64, 20, 3},  {0, 180, 64, 20, 3},  {0, 240, 64, 20, 3},
    {0, 300, 64, 20, 3},   {0, 360, 64, 20, 3},   {64, 0, 64, 20, 3},   {64, 60, 64, 20, 3},  {64, 120, 64, 20, 3},
    {64, 180, 64, 20, 3},  {64, 240, 64, 20, 3},  {64, 300, 64, 20, 3}, {64, 360, 72, 20, 3}, {136, 0, 64, 24, 3},
    {136, 72, 8, 12, 10},  {136, 192, 117, 15, 2}, {144, 72, 10, 13, 3}, {154, 72, 10, 13, 3}, {-1, 0, 0, 0, 0},
};

}  // namespace cfgparts
