// A character definition ("chr%03d.ini") and an animated background's definition ("an%03d%c.ini") as a damaged or
// crafted game folder could hold them. The first four bytes give the sheet's width and height (0..4095 each); the
// rest is the text, read by both readers. The character definition is held to the sheet; then every picture an
// entry can show lies inside the sheet, and running each entry's animation for many frames keeps it on real frames
// and pictures. The background definition names a picture with frames and wait in range.
// Links: scenario
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/vxstrlist.h"
#include "scenario/stageu.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckEntryPicture(const TCharDefinition& def, int e, int sheetWidth, int sheetHeight) {
  const int image = def.EntryImage(e);
  Check(image >= -1 && image < TCharDefinition::kImages);
  if (image < 0) return;
  const TCharImage& im = def.images[image];
  Check(im.w > 0 && im.h > 0 && im.x >= 0 && im.y >= 0);
  Check(static_cast<long long>(im.x) + im.w <= sheetWidth && static_cast<long long>(im.y) + im.h <= sheetHeight);
  const VXRect r = def.EntryRect(e);
  Check(r.right - r.left == im.w && r.bottom - r.top == im.h);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4 || size > (1 << 16)) return 0;
  const int sheetWidth = (data[0] | data[1] << 8) & 0xFFF, sheetHeight = (data[2] | data[3] << 8) & 0xFFF;
  const std::string text(reinterpret_cast<const char*>(data + 4), size - 4);
  VXStringList lines;
  lines.SetText(text.c_str());

  TCharDefinition def;
  ReadCharDefinition(lines, def);
  FitCharDefinition(def, sheetWidth, sheetHeight);
  Check(def.width >= 0 && def.width <= TCharDefinition::kMaxCharSide);
  Check(def.height >= 0 && def.height <= TCharDefinition::kMaxCharSide);
  for (const auto& anim : def.anims)
    for (const TCharAnimFrame& f : anim)
      Check(f.image >= TCharAnimFrame::kLoop && f.image < TCharDefinition::kImages && f.wait >= 1);
  for (int e = 0; e < TCharDefinition::kEntries; ++e) {
    TCharEntry& entry = def.entries[e];
    Check(entry.imgId >= -1 && entry.imgId < TCharDefinition::kImages);
    Check(entry.animId >= -1 && entry.animId < TCharDefinition::kAnims);
    entry.run = 0;
    for (int frame = 0; frame < 600; ++frame) {
      AdvanceCharEntry(def, entry);
      Check(entry.frame >= 0 && entry.frame < TCharDefinition::kFrames);
      CheckEntryPicture(def, e, sheetWidth, sheetHeight);
    }
  }

  const TBGAnimDefinition anim = ReadBGAnimDefinition(lines);
  Check(anim.frames >= 1 && anim.frames <= TBGAnimDefinition::kMaxFrames && anim.wait >= 1);
  Check(!anim.image.IsEmpty());
  return 0;
}
