// Cuts a sheet picture (and its alpha plane) into separate pictures by a table of parts. A part may hold several
// blocks of equal height stacked vertically (a button's patterns, an animation's frames), so its height on the
// sheet is the block height times the block count. The part pictures and planes are components owned by the
// parts sheet.
#pragma once

#include <cstdint>
#include <vector>

#include "graphics/vxrgbraw.h"
#include "platform/component.h"

class TZoRGBBits;
class TZoAlpha;

// One table entry: where the part lies on the sheet.
struct TZoPartsData {
  std::int32_t left;
  std::int32_t top;
  std::int32_t width;
  std::int32_t height;  // of one block
  std::int32_t count;   // number of blocks
};
static_assert(sizeof(TZoPartsData) == 20);

class TZoRGBParts : public Classes::TComponent {
public:
  explicit TZoRGBParts(Classes::TComponent* owner);
  ~TZoRGBParts() override;

  // False for a count below 1 or a sheet without pixels (nothing changes then). An entry that is not wholly on the
  // sheet, or has no area, is skipped: its index gives no picture. A new set replaces the current one; the
  // pictures of the old set stay owned (panels may still show them) until the parts sheet is destroyed.
  bool SetParts(TZoRGBBits* sheet, TZoAlpha* alpha, const TZoPartsData* table, int count);
  // The table ends with an entry whose left is negative.
  bool SetParts(TZoRGBBits* sheet, TZoAlpha* alpha, const TZoPartsData* table);
  bool SetParts(TZoRGBBits* sheet, const TZoPartsData* table);
  void FreeParts();  // destroys the current set's pictures and planes

  int GetSize() const { return made_ ? static_cast<int>(parts_.size()) : 0; }
  TZoRGBBits* GetImage(int i) const;  // null outside 0 .. size - 1 or for a skipped entry
  TZoAlpha* GetAlpha(int i) const;    // null likewise, and when the sheet had no plane
  int GetPattern(int i) const;        // the block count; 0 likewise

  // Ignored while parts exist. A depth and a format that do not fit move the other one along.
  VXBitDepth GetBitDepth() const { return bitDepth_; }
  void SetBitDepth(VXBitDepth depth);
  VXPixFormat GetPixFormat() const { return pixFormat_; }
  void SetPixFormat(VXPixFormat format);

private:
  struct Part {
    TZoRGBBits* image = nullptr;
    TZoAlpha* alpha = nullptr;
    int pattern = 0;
  };
  const Part* At(int i) const;
  Part MakePart(TZoRGBBits* sheet, TZoAlpha* alpha, const TZoPartsData& entry);

  bool made_ = false;
  VXBitDepth bitDepth_ = bd24;
  VXPixFormat pixFormat_ = pf24_888;
  std::vector<Part> parts_;
};
