// The alpha plane: an 8-bit picture of one byte per pixel, 0 transparent and 255 opaque. It carries the alpha of a
// picture, the masks of rule-image transitions, and the planes through which bitmaps are blended.
//
// The plane has no lock, no pixel format and no change report: every operation reads and writes the bytes
// directly. Storage is `Width` x `Height` bytes in rows of `Pitch` bytes, top row first, followed by 256 guard
// bytes of 0x55 that are checked whenever the storage changes hands (Release, Resize). A new or resized plane is
// opaque (255). No operation throws; failures are false results that leave the plane as it was.
//
// Raw operations (Zo...) take a source pointer for the pixel that lands at (x, y) and cut the area to the plane,
// advancing the source by what was cut on the left and the top. Pitches may be negative (bottom-up sources).
// A source plane may be this plane itself: overlapping areas are moved in a safe order.
#pragma once

#include "platform/component.h"

#include <cstdint>
#include <functional>

#include "core/vxrect.h"
#include "core/vxstring.h"

class TZoAlpha;
class VXStream;
namespace Classes {
class TStream;
}
using TZoAlphaNotify = Classes::TNotifyEvent;

// The handler told of a damaged guard area of any alpha plane; an empty function removes it.
void SetOnAlphaBufferOverRun(TZoAlphaNotify handler);

class TZoAlpha : public Classes::TComponent {
public:
  static constexpr int kGuardBytes = 256;
  static constexpr unsigned char kGuardByte = 0x55;

  explicit TZoAlpha(Classes::TComponent* owner = nullptr);
  ~TZoAlpha() override;
  TZoAlpha(const TZoAlpha&) = delete;
  TZoAlpha& operator=(const TZoAlpha&) = delete;

  // Storage. Create and Resize refuse sizes that are not positive or absurdly large.
  virtual bool Create();
  virtual void Release();
  virtual bool Resize(int width, int height);  // on a plane not created only stores the size
  virtual bool GetDC(void** dc);               // false: the plane has no device context
  virtual bool ReleaseDC(void* dc);            // true

  void SetID(const VXString& id);  // at most 16 bytes kept, zero-filled
  VXString GetID() const;          // always 16 bytes, trailing zeros included

  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  void SetWidth(int width) { Resize(width, height_); }
  void SetHeight(int height) { Resize(width_, height); }
  bool IsCreated() const { return created_; }
  unsigned char* GetBits() const { return bits_; }
  int GetPitch() const { return pitch_; }
  bool CheckBufferOverRun() const { return overRun_; }
  // Whether the packed kernels are used; taken from the processor at construction, tests may force either.
  bool IsMMX() const { return mmx_; }
  void SetMMX(bool on) { mmx_ = on; }

  void Cls();                      // every byte 255
  void Fill(unsigned char value);  // every byte `value`
  bool PSet(int x, int y, unsigned char value);
  unsigned char PGet(int x, int y) const;  // 0 outside or when not created
  bool Line(int x1, int y1, int x2, int y2, unsigned char value);
  // Two inclusive corners in any order; true also when nothing of them lies inside.
  bool BoxFill(int x1, int y1, int x2, int y2, unsigned char value);
  // value := value x rate / 128 over the corners' rectangle; rate 0..128.
  bool ToneDown(int x1, int y1, int x2, int y2, int rate);
  static void ClipRect(const VXRect& a, const VXRect& b, int& left, int& top, int& right, int& bottom);

  bool PutAlphaPitch(int x, int y, int w, int h, const unsigned char* src, int pitch);
  bool PutAlpha(int x, int y, int w, int h, const unsigned char* src);
  // Copies out into a buffer of pitch w; bytes of clipped pixels are left untouched.
  bool GetAlpha(int x, int y, int w, int h, unsigned char* dst) const;
  // The source rectangle must lie inside the source plane.
  bool Draw(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h);

  // Raw blends: A and B mixed with weight rate / 128 on B; saturating add and subtract.
  bool ZoAlphaBlend(int x, int y, int w, int h, const unsigned char* srcA, int pitchA, const unsigned char* srcB,
                    int pitchB, int rate);
  bool ZoSaturationAdd(int x, int y, int w, int h, const unsigned char* src, int pitch);
  bool ZoSaturationSub(int x, int y, int w, int h, const unsigned char* src, int pitch);
  // Rate 0 draws A, 128 draws B (whole rectangles inside); otherwise the area is cut to A and B. Rate 0..128.
  bool AlphaBlend(int dx, int dy, const TZoAlpha* a, int ax, int ay, const TZoAlpha* b, int bx, int by, int w, int h,
                  int rate);
  // This plane itself is A at (dx, dy): rate 0 changes nothing.
  bool AlphaBlend(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int rate);
  bool SaturationAdd(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h);  // cut to the source
  bool SaturationSub(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h);

  // Mask kernels with a level (see RGBExtractAlpha and its neighbours).
  bool ZoExtract(int x, int y, int w, int h, const unsigned char* src, int pitch, int level);
  bool ZoSAdd(int x, int y, int w, int h, const unsigned char* src, int pitch, int level);
  bool ZoSSub(int x, int y, int w, int h, const unsigned char* src, int pitch, int level);
  // The source rectangle must lie inside; the level is clamped to 0..255.
  bool Extract(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int level);
  bool SAdd(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int level);
  bool SSub(int dx, int dy, const TZoAlpha* src, int sx, int sy, int w, int h, int level);

  // An 8-bit BMP put at (x, y): the levels of its palette entries (LoadAlphaStream) or its index values as they
  // are (LoadIndexStream). A plane that is not created is first given the size x + width by y + height and
  // created. False, with the plane as it was, when the stream is null, the picture cannot be read or is empty, or
  // the plane cannot be made.
  bool LoadAlphaStream(Classes::TStream* stream, int x, int y);
  bool LoadAlphaStream(VXStream* stream, int x, int y);
  bool LoadIndexStream(Classes::TStream* stream, int x, int y);
  bool LoadIndexStream(VXStream* stream, int x, int y);

  // Address of byte (x, y), which must lie inside.
  unsigned char* At(int x, int y) const {
    return bits_ + static_cast<std::ptrdiff_t>(y) * pitch_ + x;
  }
  // Whether (sx, sy, w, h) lies wholly inside the plane.
  bool Contains(int sx, int sy, int w, int h) const;

protected:
  // Storage, for derived classes that keep the bytes elsewhere (their rows may run bottom-up: pitch < 0).
  bool CheckGuard();

  char id_[16] = {};
  bool created_ = false;
  int width_ = 640;
  int height_ = 480;
  unsigned char* bits_ = nullptr;
  int pitch_ = 0;
  bool mmx_;
  bool overRun_ = false;

private:
  using RowProc = void (*)(void* dst, const void* src, unsigned int n);
  using LevelProc = void (*)(void* dst, const void* src, const int level, unsigned int n);
  bool RawRows(int x, int y, int w, int h, const unsigned char* src, int pitch, RowProc proc);
  bool LevelRows(int x, int y, int w, int h, const unsigned char* src, int pitch, int level, LevelProc plain,
                 LevelProc mmx);
};

// Composes a from (ax, ay) and b from (bx, by) into dst at (dx, dy): K = A + (B - A) x rate / 128 (truncated toward
// zero), bytes outside their plane read as 0. Where B lies inside b, `share` receives at B's position the part of
// K that comes from B: B x rate / K, or 0 when K is 0. False unless rate is 0..128, every plane is created and b
// fits in share.
bool ComposeAlphaChannel(TZoAlpha* dst, int dx, int dy, TZoAlpha* share, const TZoAlpha* a, int ax, int ay,
                         const TZoAlpha* b, int bx, int by, int w, int h, int rate);
