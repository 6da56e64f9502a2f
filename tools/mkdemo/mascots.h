// The four little performers of the songs' stages, drawn in poses: "star" (a golden star), "cat" (a lavender
// moon cat), "owl" (a violet owl) and "cloud" (a small cream cloud). A pose is named ("idle", "bob", "wave1",
// "jump2", "dizzy1", ...; PoseNames lists them) and sets the body's lift and squash, the lean of the head, the
// eyes, the mouth, the arms and a sparkle. Pictures of motions are strips or sheets of cells, one pose a cell,
// on a transparent ground.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/mkdemo/canvas.h"
#include "tools/mkdemo/style.h"

namespace mkdemo {

bool IsMascot(const std::string& species);
bool IsPose(const std::string& pose);
std::vector<std::string> PoseNames();

// Cells of w x h, `columns` across, filled with the poses from the top left; the character stands on the cell's
// bottom (4 pixels above it) in the middle, scaled to the cell's height (96 is the standard size).
std::unique_ptr<Picture> MascotSheet(const Style& style, const std::string& species, int w, int h, int columns,
                                     const std::vector<std::string>& poses);

}  // namespace mkdemo
