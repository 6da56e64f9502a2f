// Bitmaps whose pixels live in device-independent bitmap memory, laid out as a DIB section is: rows of the row
// length rounded up to 4 bytes, stored bottom-up (the default) or top-down, zero-filled when made. Text draws into
// them through a device context (a platform::font::TextTarget over the same memory, see graphics/vxfont.h) while
// every drawing operation of the base classes keeps working on the same bytes.
//
// Whatever the direction, the base class sees row 0 at the top: top-down memory starts with row 0 and the pitch is
// +stride; bottom-up memory ends with row 0 and the pitch is -stride.
//
// Device contexts are lent one at a time between `GetDC` and `ReleaseDC`; `GetDC` refuses while one is lent out,
// `ReleaseDC` refuses a foreign one. A text output must end before its context is released; a stale font writing
// after that reaches no pixels. `Release` and destruction take a lent context back.
//
// `TZoRGBDib` lends a context for 16-bit (565, 555, 5551), 24-bit and 32-bit formats; a 4444 bitmap works for
// drawing but lends none. `TZoAlphaDib` is an 8-bit plane with a colour table of 256 greys: white text drawn into
// it writes coverage 255.
#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include "graphics/vxrgbraw.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "platform/font.h"

enum TDIBDirection : std::uint8_t { ddTopDown = 0, ddBottomUp = 1 };

// The memory of one DIB: `stride` x `height` bytes, zero-filled.
class ZoDibMemory {
public:
  // Empty for a size that is not positive or absurdly large, or when memory runs out.
  static ZoDibMemory Make(int width, int height, int bytesPerPixel);
  ZoDibMemory() = default;

  bool IsEmpty() const { return bytes_ == nullptr; }
  unsigned char* Data() const { return bytes_.get(); }
  int Stride() const { return stride_; }
  std::size_t Size() const { return size_; }
  // Row 0 as the bitmaps see it, and the pitch from one row to the next, for the direction.
  unsigned char* FirstRow(TDIBDirection direction) const;
  int Pitch(TDIBDirection direction) const { return direction == ddTopDown ? stride_ : -stride_; }

private:
  std::unique_ptr<unsigned char[]> bytes_;
  int stride_ = 0;
  int height_ = 0;
  std::size_t size_ = 0;
};

class TZoRGBDib : public TZoRGBBits {
public:
  explicit TZoRGBDib(Classes::TComponent* owner = nullptr);
  ~TZoRGBDib() override;

  // A bitmap written in a form resource exists once the form is loaded.
  void Loaded() override;
  void SetBitDepth(VXBitDepth depth) override;     // bdNone and bd8 are ignored
  void SetPixFormat(VXPixFormat format) override;  // pfNone is ignored
  TDIBDirection GetDirection() const { return direction_; }
  void SetDirection(TDIBDirection direction);  // stored only while not created

  // Needs width > 0, height > 0, a 16-, 24- or 32-bit depth and a format that fits it.
  bool Create() override;
  void Release() override;
  // Refused unless w >= 1 and h > 0, and while locked; a created bitmap gets new, black memory of the new size.
  bool Resize(int w, int h) override;
  bool HaveDC() override { return true; }
  // The device context is a platform::font::TextTarget*.
  bool GetDC(void** dc) override;
  bool ReleaseDC(void* dc) override;
  bool GetTextTarget(platform::font::TextTarget** dc);

  // The DIB memory as stored (for writing the picture out); empty while not created.
  const ZoDibMemory& GetDIB() const { return dib_; }
  // Makes memory for a w x h picture of this bitmap's depth in the stored direction.
  bool CreateDIB(int w, int h, int* pitch, unsigned char** pixels, ZoDibMemory* bitmap) const;

private:
  void TakeBackDC();

  TDIBDirection direction_ = ddBottomUp;
  ZoDibMemory dib_;
  platform::font::TextTarget dc_;
  bool lent_ = false;
};

class TZoAlphaDib : public TZoAlpha {
public:
  explicit TZoAlphaDib(Classes::TComponent* owner = nullptr);
  ~TZoAlphaDib() override;

  void Loaded() override;
  TDIBDirection GetDirection() const { return direction_; }
  void SetDirection(TDIBDirection direction);  // stored only while not created

  bool Create() override;  // needs width and height > 0; the plane is 0 (transparent)
  void Release() override;
  bool Resize(int w, int h) override;  // new memory of the new size, all 0
  bool GetDC(void** dc) override;      // a platform::font::TextTarget* over the plane
  bool ReleaseDC(void* dc) override;
  bool GetTextTarget(platform::font::TextTarget** dc);

  const ZoDibMemory& GetDIB() const { return dib_; }
  // The colour table beside the plane: entry v is the grey (v, v, v).
  const std::array<RGBQUAD, 256>& GetColorTable() const { return GreyTable(); }
  static const std::array<RGBQUAD, 256>& GreyTable();
  bool CreateDIB(int w, int h, int* pitch, unsigned char** pixels, ZoDibMemory* bitmap) const;

private:
  void TakeBackDC();

  TDIBDirection direction_ = ddBottomUp;
  ZoDibMemory dib_;
  platform::font::TextTarget dc_;
  bool lent_ = false;
};
