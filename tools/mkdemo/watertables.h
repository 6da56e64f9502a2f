// The three tables of the water-ripple transition, read whole with no header:
// - "WaterDistTbl.bin": 240 rows (vertical offset j) of 320 little-endian u16 (horizontal offset i) giving the
//   ripple phase of a pixel of one quadrant: minus its distance from the centre, rounded, modulo 65536, the distance
//   taken to the pixel's middle, sqrt((i + 0.5)^2 + (j + 0.5)^2). The phase lags by the distance, so the rings run
//   outward as the transition's phase grows; four phase units of the sine table are one pixel, 64 pixels one wave.
// - "WaterSinTbl.bin": 256 bytes, entry k = 127 + round(127 sin(2 pi k / 256)), so 0..254.
// - "WaterMultiTbl.bin": 32 rows (amplitude level 0..31) of 255 bytes, entry c of row l =
//   127 + round((c - 127) x l x 10 / (127 x 31)): the displacement of a wave value c at that level, up to 10
//   pixels either way at level 31; row 0 is all 127 (no displacement).
// Rounding is half away from zero.
#pragma once

#include "tools/mkdemo/assets.h"

namespace mkdemo {

void AddWaterTables(const Context& context, std::vector<Asset>& assets);

}  // namespace mkdemo
