// The software bitmap: a rectangle of pixels in one of the pixel formats, the picture object of the whole system
// (loaded images, panel images, the back picture into which each frame is composed, transition images).
//
// Storage. The base class keeps bytes-per-pixel x Width x Height bytes, rows top-down, followed by 256 guard bytes
// of 0x55 that are checked when the storage changes hands (Release, Resize); a damaged guard is reported through
// `CheckBufferOverRun` and the handler set by `SetOnBitsBufferOverRun`. A new or resized bitmap is black (alpha 0).
// Derived classes keep their pixels elsewhere by overriding the storage operations (Create, Release, Resize, Lock,
// Unlock and the device-context calls); every drawing operation reaches the pixels only through `GetBits()` and
// `GetPitch()` between a successful `Lock` and its `Unlock`, and never assumes packed rows.
//
// Change report. Each change marks a rectangle (clipped to the bitmap). With the modified switch on the change is
// reported at once through `OnChange`; between `ModifiedOff` and the matching `ModifiedOn` the marked areas are
// collected and reported once as their union. The handler reads the area with `GetModifiedRect`.
//
// Raster kernels (Zo...) take a destination area in this bitmap and raw source pointers with their pitches (in
// bytes, negative for bottom-up pictures); a source pointer addresses the source pixel that lands at (x, y). They
// cut the area to this bitmap (advancing the sources by what was cut on the left and the top), lock, run row
// routines from the per-format tables (the packed "MMX" entries when `IsMMX()`), unlock, and never report changes.
// They return false when not created, when a routine is missing for the format, when a work line cannot be
// allocated or the lock fails; true when clipping leaves nothing. A source may be this bitmap itself: rows are
// moved in an order that never reads a pixel after it was overwritten.
//
// Drawing operations check their arguments, cut the source area to the source bitmap where their rule says so
// ("clipped"; the destination position moves by the cut) or refuse a source area that is not wholly inside
// ("inside"), lock the sources, call one kernel, and mark the destination area. Copies between bitmaps need
// compatible formats (`CompatibleFormat`); conversions and alpha-mask drawings accept any source format.
// Rates are in 128ths (0..128). No operation throws.
//
// Not safe for use by two threads at once; the game serialises drawing under its game lock.
#pragma once

#include "platform/component.h"

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/vxrect.h"
#include "core/vxstring.h"
#include "graphics/vxrgbraw.h"
#include "graphics/zoalpha.h"

class TZoRGBBits;
using TZoBitsNotify = Classes::TNotifyEvent;

// The handler told of a damaged guard area of any bitmap; an empty function removes it.
void SetOnBitsBufferOverRun(TZoBitsNotify handler);

class TZoRGBBits : public Classes::TComponent {
public:
  static constexpr int kGuardBytes = 256;
  static constexpr unsigned char kGuardByte = 0x55;

  explicit TZoRGBBits(Classes::TComponent* owner = nullptr);  // 640 x 480, bd24, pf24_888, not created
  ~TZoRGBBits() override;
  TZoRGBBits(const TZoRGBBits&) = delete;
  TZoRGBBits& operator=(const TZoRGBBits&) = delete;

  // ---- The object: properties, storage, change report
  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  void SetWidth(int width) { Resize(width, height_); }
  void SetHeight(int height) { Resize(width_, height); }
  VXBitDepth GetBitDepth() const { return bitDepth_; }
  VXPixFormat GetPixFormat() const { return pixFormat_; }
  // Ignored while created. A depth that does not fit the format moves the format to the depth's own, and a format
  // that does not fit the depth moves the depth to the format's.
  virtual void SetBitDepth(VXBitDepth depth);
  virtual void SetPixFormat(VXPixFormat format);
  bool GetReverse() const { return reverse_; }
  void SetReverse(bool on) { reverse_ = on; }  // patterns are drawn mirrored left to right
  TZoBitsNotify OnChange;

  void SetID(const VXString& id);  // at most 16 bytes kept, zero-filled
  VXString GetID() const;          // always 16 bytes, trailing zeros included

  virtual bool Create();
  virtual void Release();  // undoes every outstanding lock first
  // Refused for a size that is not positive or absurdly large, while attached or locked. On a bitmap not created
  // only the size is stored. The picture is not kept: a resized bitmap is black.
  virtual bool Resize(int width, int height);
  virtual bool Lock();    // nests by count
  virtual bool Unlock();  // false when not locked
  virtual bool HaveDC();
  virtual bool GetDC(void** dc);
  virtual bool ReleaseDC(void* dc);
  // Whether the depth and format index the routine tables; derived classes call it at the end of their Create.
  bool SetProcs() const;

  bool IsCreated() const { return created_; }
  bool IsLocked() const { return locked_; }
  unsigned char* GetBits() const { return bits_; }  // top row; valid while locked
  int GetPitch() const { return pitch_; }
  bool CheckBufferOverRun() const { return overRun_; }
  // Whether the packed kernels are used; taken from the processor at construction, tests may force either.
  bool IsMMX() const { return mmx_; }
  void SetMMX(bool on) { mmx_ = on; }

  void Change();  // OnChange(this) when a handler is set
  virtual void ModifiedFlush();
  void SetModified(const VXRect* r);
  void SetModified(int x1, int y1, int x2, int y2);  // two inclusive corners in any order
  void SetModified();                                // the whole bitmap
  void ModifiedOff();
  void ModifiedOn();
  void ChgModifiedSw(bool on);
  void GetModifiedRect(VXRect* r) const { *r = modified_; }

  std::uint32_t TZoRGBtoPixel(VXRGB rgb) const;  // 0 when the format has no converter
  VXRGB PixeltoTZoRGB(std::uint32_t pixel) const;  // black when the format has no converter
  void Cls();
  static void ClipRect(const VXRect& a, const VXRect& b, int& left, int& top, int& right, int& bottom);

  // ---- Raster kernels
  bool ZoLine(int x1, int y1, int x2, int y2, std::uint32_t pixel);
  bool ZoBoxFill(int x1, int y1, int x2, int y2, std::uint32_t pixel);
  bool ZoPutPat(int x, int y, int w, int h, const unsigned char* src, int pitch, bool key, std::uint32_t keyPixel);
  bool ZoPutPatR(int x, int y, int w, int h, const unsigned char* src, int pitch, bool key, std::uint32_t keyPixel);
  // One-bit mask of maskWidth x maskHeight bits (rows of (maskWidth + 7) / 8 bytes, most significant bit leftmost)
  // tiled over the pattern from its top-left pixel. False for a null or empty mask.
  bool ZoPutPatM(int x, int y, int w, int h, const unsigned char* src, int pitch, const unsigned char* mask,
                 int maskWidth, int maskHeight);
  bool ZoPutPatMR(int x, int y, int w, int h, const unsigned char* src, int pitch, const unsigned char* mask,
                  int maskWidth, int maskHeight);
  // Copies out into a buffer of pitch bytes-per-pixel x w; pixels of clipped parts are left untouched.
  bool ZoGetPat(int x, int y, int w, int h, unsigned char* dst);
  bool ZoConvert(int x, int y, int w, int h, const unsigned char* src, VXPixFormat srcFormat, int srcPitch);
  // 8-bit indices through a palette of `paletteCount` entries; the lookup always goes through 256 entries, those
  // beyond the given ones black.
  bool ZoIndexColor(int x, int y, int w, int h, const unsigned char* src, const RGBQUAD* palette, int paletteCount,
                    int srcPitch);
  bool ZoAlphaBlend(int x, int y, int w, int h, const unsigned char* srcA, int pitchA, const unsigned char* srcB,
                    int pitchB, int rate);
  bool ZoSaturationAdd(int x, int y, int w, int h, const unsigned char* src, int pitch);
  bool ZoSaturationSub(int x, int y, int w, int h, const unsigned char* src, int pitch);
  // Through an 8-bit plane; in the source's own fourth byte (a source that is not pf32_8888 is only converted);
  // A copied and B blended over it through the plane (both sources read in srcFormat).
  bool ZoAlphaMask(int x, int y, int w, int h, const unsigned char* src, int srcPitch, VXPixFormat srcFormat,
                   const unsigned char* alpha, int alphaPitch);
  bool ZoAlphaMask(int x, int y, int w, int h, const unsigned char* src, int srcPitch, VXPixFormat srcFormat);
  bool ZoAlphaMask(int x, int y, int w, int h, const unsigned char* srcA, int pitchA, const unsigned char* srcB,
                   int pitchB, VXPixFormat srcFormat, const unsigned char* alpha, int alphaPitch);
  // The plane form with each alpha value scaled by rate / 128.
  bool ZoDoubleAlphaMask(int x, int y, int w, int h, const unsigned char* src, int srcPitch, VXPixFormat srcFormat,
                         const unsigned char* alpha, int alphaPitch, int rate);

  // ---- Drawing operations
  bool PSet(int x, int y, std::uint32_t pixel);
  std::uint32_t PGet(int x, int y);  // 0 outside, when not created or when the lock fails
  std::uint32_t TopLeftGet();
  bool Line(int x1, int y1, int x2, int y2, std::uint32_t pixel);
  bool Box(int x1, int y1, int x2, int y2, std::uint32_t pixel);      // two inclusive corners, the outline
  bool BoxFill(int x1, int y1, int x2, int y2, std::uint32_t pixel);  // two inclusive corners, filled
  bool PutPat(int x, int y, int w, int h, const unsigned char* src);
  bool PutPatPitch(int x, int y, int w, int h, const unsigned char* src, int pitch);
  bool PasPat(int x, int y, int w, int h, const unsigned char* src, std::uint32_t key);
  bool PasPatPitch(int x, int y, int w, int h, const unsigned char* src, int pitch, std::uint32_t key);
  bool PasMPat(int x, int y, int w, int h, const unsigned char* src, const unsigned char* mask, int maskWidth,
               int maskHeight);
  bool GetPat(int x, int y, int w, int h, unsigned char* dst);
  bool Draw(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);      // inside
  bool ClipDraw(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);  // clipped; not when Reverse
  bool DrawKey(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, VXRGB key);
  bool DrawTLKey(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);  // key: the source's (0, 0)
  bool DrawMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, const unsigned char* mask,
                int maskWidth, int maskHeight);
  bool ConvertCopy(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);
  // B weighs rate / 128 over A; rate 0 is Draw from A, 128 Draw from B.
  bool AlphaBlend(int dx, int dy, TZoRGBBits* a, int ax, int ay, TZoRGBBits* b, int bx, int by, int w, int h,
                  int rate);
  // This bitmap itself is A at (dx, dy); rate 0 changes nothing.
  bool AlphaBlend(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, int rate);
  bool SaturationAdd(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);
  bool SaturationSub(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);
  // The plane is read at the source coordinates.
  bool DrawAlphaMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, const TZoAlpha* alpha);
  bool DrawAlphaMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h);
  // B (in a format compatible with A's) blended over A through the plane, which is read at B's coordinates.
  bool DrawAlphaMask(int dx, int dy, TZoRGBBits* a, int ax, int ay, TZoRGBBits* b, int bx, int by, int w, int h,
                     const TZoAlpha* alpha);
  bool DrawDoubleAlphaMask(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, const TZoAlpha* alpha,
                           int rate);
  // A pixel value weighted by the plane's area (ax, ay, w, h), drawn at (dx, dy).
  bool AlphaFill(int dx, int dy, std::uint32_t pixel, int ax, int ay, int w, int h, const TZoAlpha* alpha);
  bool AlphaFillRate(int dx, int dy, std::uint32_t pixel, int ax, int ay, int w, int h, const TZoAlpha* alpha,
                     int rate);
  bool IndexColorCopy(int dx, int dy, const unsigned char* indices, const RGBQUAD* palette, int paletteCount, int sx,
                      int sy, int w, int h, int pitch);

  // ---- Picture loaders. The picture is read in this bitmap's format and put at (x, y) as `PutPat` would put it. A
  // bitmap that is not created is first given the size x + width by y + height and created, so that it just holds
  // the picture, and the reader decodes straight into its rows; a plane that is given receives the picture's alpha
  // the same way. A bitmap or plane that exists receives the picture once it has been read whole. False, with
  // nothing drawn and nothing created, when the stream is null, the picture cannot be read or is empty, or the
  // bitmap or the plane cannot be made.
  bool DrawBmpStream(Classes::TStream* stream, int x, int y);
  bool DrawBmpStream(VXStream* stream, int x, int y);
  bool DrawJpegStream(Classes::TStream* stream, int x, int y);
  bool DrawJpegStream(VXStream* stream, int x, int y);
  bool DrawPngStream(Classes::TStream* stream, int x, int y, TZoAlpha* alpha = nullptr);
  bool DrawPngStream(VXStream* stream, int x, int y, TZoAlpha* alpha = nullptr);
  // Colours restored from a white background (LoadPngWhiteMat).
  bool DrawPngWMStream(Classes::TStream* stream, int x, int y, TZoAlpha* alpha = nullptr);
  bool DrawPngWMStream(VXStream* stream, int x, int y, TZoAlpha* alpha = nullptr);
  // `key`: the 256-byte table that unscrambles the file.
  bool DrawGnyStream(Classes::TStream* stream, int x, int y, const unsigned char* key);
  bool DrawGnyStream(VXStream* stream, int x, int y, const unsigned char* key);

  // ---- Colour effects, in place over two inclusive corners; the whole bitmap is reported as changed.
  bool ToneChange(int x1, int y1, int x2, int y2, std::uint32_t tone);  // factors in 128ths: B bits 0-7, G, R
  bool Monochrome(int x1, int y1, int x2, int y2);
  bool Sepia(int x1, int y1, int x2, int y2);
  bool Negative(int x1, int y1, int x2, int y2);

protected:
  int BytesPerPixel() const { return static_cast<int>(bitDepth_); }
  // Address of pixel (x, y); valid while locked.
  unsigned char* At(int x, int y) const {
    return bits_ + static_cast<std::ptrdiff_t>(y) * pitch_ + static_cast<std::ptrdiff_t>(x) * BytesPerPixel();
  }
  bool CheckGuard();

  char id_[16] = {};
  bool created_ = false;
  bool attached_ = false;
  int width_ = 640;
  int height_ = 480;
  VXBitDepth bitDepth_ = bd24;
  VXPixFormat pixFormat_ = pf24_888;
  bool reverse_ = false;
  bool locked_ = false;
  int lockCount_ = 0;
  unsigned char* bits_ = nullptr;
  int pitch_ = 0;
  bool modifiedPending_ = false;
  bool modifiedSw_ = true;
  int offCount_ = 0;
  VXRect modified_{0, 0, 0, 0};
  bool mmx_;
  bool overRun_ = false;

private:
  template <class Body>
  bool Locked(Body&& body);
  bool InsideSource(const TZoRGBBits* src, int sx, int sy, int w, int h) const;
  void MarkArea(int x, int y, int w, int h);
  bool MaskedPattern(int x, int y, int w, int h, const unsigned char* src, int pitch, const unsigned char* mask,
                     int maskWidth, int maskHeight, bool mirrored);
  bool CopyFrom(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, bool key, std::uint32_t keyPixel);
  // Cuts the area to the source, holds the source's lock while `kernel(dx, dy, w, h, pixels at (sx, sy))` draws, and
  // marks what was drawn. True when nothing is left after the cut.
  // The saturating add (or subtract) of a source area onto this bitmap.
  bool SaturatingDraw(int x, int y, int w, int h, const unsigned char* src, int pitch, bool subtract);
  template <class Kernel>
  bool FromSource(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, Kernel&& kernel);
  bool AlphaPlaneRows(int x, int y, int w, int h, const unsigned char* src, int srcPitch, VXPixFormat srcFormat,
                      const unsigned char* alpha, int alphaPitch, int factor);
  bool PlaneDraw(int dx, int dy, TZoRGBBits* src, int sx, int sy, int w, int h, const TZoAlpha* alpha, int factor);
  bool FillDraw(int dx, int dy, std::uint32_t pixel, int ax, int ay, int w, int h, const TZoAlpha* alpha,
                int factor);
  template <class Line3, class Line4>
  bool EffectRows(int x1, int y1, int x2, int y2, Line3&& line3, Line4&& line4);
};
