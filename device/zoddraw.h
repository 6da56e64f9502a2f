// The display: surfaces in memory, a flip chain of up to three buffers, whole-picture and dirty-rectangle
// presentation through a platform presenter, the adapter's display modes, and a small sprite engine.
//
// Surfaces. A `TDSurface` is a `TZoRGBBits` whose pixels belong to a display (`TDDraw`): only a surface owned by a
// display can be created, and the display registers it, restores it and deletes it when it is disabled. Every
// drawing operation of the bitmap works on it unchanged. Surfaces are lost when the presenter reports that the
// renderer was reset (or through `TDSurface::MarkLost`); a restored surface is black and its owner redraws it in
// `OnRestore`.
//
// Presentation. The primary surface is the front picture. Full screen with a flip chain, `Flip` really rotates
// the pixel memory of the buffers (primary <- back buffer <- third buffer <- primary); callers draw on the back
// surface and the display copies it into the buffer about to be shown, whole (`Flip`) or by the rectangles each
// buffer has missed (`FlipModifyRect`, one dirty set per buffer: a buffer whose copy failed keeps its rectangles
// for the next time it comes round). After each frame the presenter receives the front picture and every rectangle
// in which it may differ from the picture presented before; a presentation that fails is made good by the next one.
// In a window there is no flip chain (buffer count 0): the back surface is copied whole onto the primary, and the
// presenter receives the whole picture on every flip, whatever rectangles were handed in.
//
// Full screen is a desktop-sized window with a fixed logical size, so no real mode change happens; the mode list
// is a fixed one. No operation throws; failures are reported by false or null. Not thread-safe: the game serialises
// every use under its own locks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/vxrect.h"
#include "core/vxstream.h"
#include "graphics/vxrgbraw.h"
#include "graphics/zorgbbits.h"
#include "platform/video.h"

namespace DirectX {

class TDDraw;

// ---- Pixel formats of the adapter and display modes

inline constexpr std::uint32_t DDPF_ALPHAPIXELS = 0x1, DDPF_PALETTEINDEXED8 = 0x20, DDPF_RGB = 0x40;

struct DDPIXELFORMAT {
  std::uint32_t dwSize = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwFourCC = 0;
  std::uint32_t dwRGBBitCount = 0;
  std::uint32_t dwRBitMask = 0;
  std::uint32_t dwGBitMask = 0;
  std::uint32_t dwBBitMask = 0;
  std::uint32_t dwRGBAlphaBitMask = 0;
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

// A format whose masks match none of the depth's formats gives that depth with pfNone.
void PixelFormatToDepthFormat(const DDPIXELFORMAT& pf, VXBitDepth& depth, VXPixFormat& format);
// For a depth and format that fit each other (ChkDepthAndFormat).
void DepthFormatToPixelFormat(DDPIXELFORMAT& pf, VXBitDepth depth, VXPixFormat format);

struct TDisplayMode {
  VXBitDepth bitDepth = bdNone;
  VXPixFormat pixFormat = pfNone;
  VXScreenSize screenSize = ss640x480;
  std::uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;

  // Depth, format and size; the masks are not compared.
  bool ModeCmp(const TDisplayMode& m) const;
};

// Capabilities of the adapter, in the record the game asks for: what the display's own copies and the presenter do.
inline constexpr std::uint32_t DDCAPS_BLT = 0x40, DDCAPS_COLORKEY = 0x400000, DDCAPS_BLTCOLORFILL = 0x4000000;
inline constexpr std::uint32_t DDCAPS2_CANRENDERWINDOWED = 0x80000, DDCAPS2_FLIPNOVSYNC = 0x8000000;
inline constexpr std::uint32_t DDCKEYCAPS_SRCBLT = 0x200;
inline constexpr std::uint32_t DDSCAPS_BACKBUFFER = 0x4, DDSCAPS_COMPLEX = 0x8, DDSCAPS_FLIP = 0x10,
                               DDSCAPS_OFFSCREENPLAIN = 0x40, DDSCAPS_PRIMARYSURFACE = 0x200,
                               DDSCAPS_SYSTEMMEMORY = 0x800, DDSCAPS_VIDEOMEMORY = 0x4000;

struct DDCAPS {
  std::uint32_t dwSize = 0;
  std::uint32_t dwCaps = 0;
  std::uint32_t dwCaps2 = 0;
  std::uint32_t dwCKeyCaps = 0;
  std::uint32_t dwFXCaps = 0, dwFXAlphaCaps = 0, dwPalCaps = 0, dwSVCaps = 0;
  std::uint32_t dwAlphaBitDepths[6] = {};  // blit and overlay alpha depths
  std::uint32_t dwZBufferBitDepths = 0;
  std::uint32_t dwVidMemTotal = 0;
  std::uint32_t dwVidMemFree = 0;
  std::uint32_t dwMaxVisibleOverlays = 0, dwCurrVisibleOverlays = 0, dwNumFourCCCodes = 0;
  std::uint32_t dwAlign[5] = {};
  std::uint32_t dwRops[8] = {};
  std::uint32_t ddsOldCaps = 0;
  std::uint32_t dwStretch[6] = {};
  std::uint32_t dwReserved[3] = {};
  std::uint32_t dwSVB[11] = {}, dwVSB[11] = {}, dwSSB[11] = {};  // caps, key caps, effect caps, rops per kind
  std::uint32_t dwMaxVideoPorts = 0, dwCurrVideoPorts = 0;
  std::uint32_t dwSVBCaps2 = 0;
  std::uint32_t dwNLVB[12] = {};
  std::uint32_t ddsCaps[4] = {};  // the surface kinds offered, first word
};
static_assert(sizeof(DDCAPS) == 380);
static_assert(offsetof(DDCAPS, dwVidMemTotal) == 60 && offsetof(DDCAPS, ddsCaps) == 364);

// A mode as the adapter offers it.
struct TAdapterMode {
  int width = 0, height = 0;
  DDPIXELFORMAT format;
};

// What the adapter offers: every screen size of the pixel model at 16 bits (565) and at 32 bits (888).
std::span<const TAdapterMode> AdapterModes();
// `offered` in the system's terms, in order; sizes that are not screen sizes and depths of bdNone are dropped.
void ListDisplayModes(std::span<const TAdapterMode> offered, std::vector<TDisplayMode>& list);

// ---- Surfaces

class TDSurface : public TZoRGBBits {
public:
  explicit TDSurface(Classes::TComponent* owner);
  TDSurface(Classes::TComponent* owner, VXBitDepth depth, VXPixFormat format, int width, int height,
            bool videoMemory);
  ~TDSurface() override;

  // False when already created; stores the values, then Create().
  bool Create(VXBitDepth depth, VXPixFormat format, int width, int height, bool videoMemory);
  // bdNone takes the display's depth and format. False without a display, for a size of 0, for a pair that does not
  // fit, and for video memory that the display cannot hold.
  bool Create() override;
  void Release() override;
  // Refused for the primary surface and the flip chain (attached), while locked, and for sizes not above 0. The
  // old pixels stay when the new ones cannot be had; the resized surface is black.
  bool Resize(int width, int height) override;
  bool Lock() override;  // restores a lost surface first
  bool Unlock() override;
  bool HaveDC() override { return true; }
  // A text target (platform::font::TextTarget*) over the locked pixels; ReleaseDC unlocks.
  bool GetDC(void** dc) override;
  bool ReleaseDC(void* dc) override;

  TDDraw* GetDisplay() const { return display_; }
  bool GetVideoMemory() const { return videoMemory_; }
  void SetVideoMemory(bool on);  // stored only while not created
  Classes::TNotifyEvent OnRestore;

  // Blits onto this surface are limited to `r` cut to the surface (an empty cut lets nothing through). False when
  // not created or without a display.
  bool SetClipRect(const VXRect& r);
  bool HasClipRect() const { return clipping_; }
  VXRect GetClipRect() const { return clip_; }
  void ReleaseClipper() { clipping_ = false; }

  void Clear();  // every pixel 0
  void Fill(VXRGB c);

  bool IsLost() const { return created_ && lost_; }
  // Black pixels, depth and format as they were, OnRestore raised. False when not created.
  bool Restore();
  bool IsLostAndRestore();  // true when not lost or restored

  // Copies (sx, sy, w, h) of `src` (wholly inside it, same depth) to (dx, dy). `Blt` goes through the clip
  // rectangle and may use `src`'s colour key; `BltFast` ignores both and needs the destination wholly inside.
  bool Blt(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h, bool srcColorKey = false);
  bool BltFast(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h);
  void SetColorKey(std::uint32_t pixel) { colorKey_ = pixel; }

  // Test hooks: the surface is lost now; the next `count` blits onto it fail.
  void MarkLost() { lost_ = created_; }
  void FailNextBlits(int count) { failBlits_ = count; }

  // The pixels as a presenter reads them (valid while created).
  platform::video::Picture GetPicture() const;

private:
  friend class TDDraw;
  struct Memory {
    std::vector<unsigned char> bytes;
    int pitch = 0;
  };

  void Bind();  // points the base's pixel pointer and pitch at the memory
  bool AttachMemory(std::unique_ptr<Memory> memory, VXBitDepth depth, VXPixFormat format, int width, int height);
  static std::unique_ptr<Memory> NewMemory(int width, int height, VXBitDepth depth);
  bool TakeBlit();  // false (and one failure used up) when a failure was asked for
  bool Copy(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h, bool key);

  TDDraw* display_ = nullptr;
  std::unique_ptr<Memory> memory_;
  std::int64_t reserved_ = 0;  // video memory held at the display
  bool videoMemory_ = false;
  bool lost_ = false;
  bool clipping_ = false;
  VXRect clip_{0, 0, 0, 0};
  std::uint32_t colorKey_ = 0;
  int failBlits_ = 0;
};

// ---- The display

enum TBackType : std::uint8_t { btNone = 0, btSystem = 1, btVideo = 2 };

struct TSpritePattern {
  bool used = false;
  int page = 0;
  int x = 0, y = 0, width = 0, height = 0;
  VXRGB key;
};

struct TSprite {
  bool used = false;
  int x = 0, y = 0;
  int pattern = 0;
  int priority = 0;
};

using TSpriteRestoreEvent = std::function<void(TDSurface* sender, int num)>;

class TDDraw : public Classes::TComponent {
public:
  static constexpr int kMaxSpritePages = 16;
  static constexpr int kPatternCount = 1024;
  static constexpr int kSpriteCount = 1024;
  static constexpr int kMaxBuffers = 3;

  explicit TDDraw(Classes::TComponent* owner);
  ~TDDraw() override;

  // The window: without a presenter the display cannot be enabled. Stored only while disabled.
  void SetPresenter(platform::video::Presenter* presenter);
  platform::video::Presenter* GetPresenter() const { return presenter_; }

  // ---- Properties; the setters of the shape of the display take effect only while disabled.
  bool GetFullScreen() const { return fullScreen_; }
  void SetFullScreen(bool on);
  int GetRefreshRate() const { return refreshRate_; }
  void SetRefreshRate(int rate);
  bool GetTripleBuffer() const { return tripleBuffer_; }
  void SetTripleBuffer(bool on);
  // A flip never waits for a busy surface here (the presenter copies the picture and returns), so DoNotWait only
  // records the wish. NoVSync: flips do not wait for the vertical blank (the presenter's vsync goes off).
  bool DoNotWait = false;
  bool NoVSync = false;
  bool Blt4Div = false;
  TBackType GetBackType() const { return backType_; }
  void SetBackType(TBackType type);  // recreates the back surface at once while enabled
  VXBitDepth GetBitDepth() const { return bitDepth_; }
  void SetBitDepth(VXBitDepth depth);  // bd16, bd24 and bd32 only
  VXScreenSize GetScreenSize() const { return screenSize_; }
  void SetScreenSize(VXScreenSize size);
  int GetSpriteWidth() const { return spriteWidth_; }
  void SetSpWidth(int width);
  int GetSpriteHeight() const { return spriteHeight_; }
  void SetSpHeight(int height);
  int GetSpritePage() const { return spritePage_; }
  void SetSpritePage(int count);
  TSpriteRestoreEvent OnSpriteRestore;

  int GetWidth() const { return width_; }
  int GetHeight() const { return height_; }
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool on);
  bool DDrawCreate();
  void DDrawRelease();
  bool CreateBackSurface();
  void ReleaseBackSurface();
  static VXBitDepth DesktopBitDepth();

  TDSurface* GetPrimary() const { return primary_; }
  TDSurface* GetBackBuffer() const { return backBuffer_; }
  TDSurface* GetBackSurface() const { return backSurface_; }
  TDSurface* DrawSurface() const { return drawSurface_; }
  bool IsFlipping() const { return flipping_; }
  int GetBufferCount() const { return bufferCount_; }
  int GetCurrentBuffer() const { return current_; }
  const VXRectSet& GetDirtySet(int buffer) const { return dirty_[static_cast<std::size_t>(buffer)]; }

  // ---- Presentation; false when a copy or the presenter failed.
  bool Write(TDSurface* src);
  bool WriteDisplay(TDSurface* src);
  bool WriteDisplayFast(TDSurface* src);
  bool WriteDisplayFast4Div(TDSurface* src);
  bool WriteDisplayModify(TDSurface* src);
  bool WriteDisplayModify4Div(TDSurface* src);
  bool Flip();
  bool FlipModifyRect(VXRectSet rects);
  void SetModifyRect(const VXRect& r);
  bool CanFlip();
  bool CanDraw();
  void Clear();
  void Fill(VXRGB c);
  bool DrawPrimary(int dx, int dy, TDSurface* src, int sx, int sy, int w, int h);
  bool GetDC(void** dc);
  bool ReleaseDC(void* dc);
  bool Lock();
  bool Unlock();

  // ---- Surfaces
  TDSurface* CreateSurface(VXBitDepth depth, VXPixFormat format, int width, int height, bool videoMemory);
  TDSurface* CreateSurface(int width, int height, bool videoMemory);  // the primary's depth and format
  // A surface of the BMP picture's size in the primary's depth and format holding the picture. Null, with nothing
  // left behind, when disabled or when the picture cannot be read or the surface cannot be made.
  TDSurface* CreateSurfaceFromBitmap(Classes::TStream* bmp, bool videoMemory);
  TDSurface* CreateSurfaceFromBitmap(VXStream* bmp, bool videoMemory);
  bool AddSurfaceList(TDSurface* surface);
  bool DelSurfaceList(TDSurface* surface);
  int GetSurfaceCount() const { return static_cast<int>(surfaces_.size()); }
  bool RestoreAllSurfaces();

  // ---- Modes and memory
  void ENumDisplayModes(std::vector<TDisplayMode>& list, bool option);
  bool CheckDisplayMode(VXBitDepth depth, VXScreenSize size);
  bool GetAvailableVidMem(std::uint32_t& total, std::uint32_t& free) const;
  // Either record may be null; each other one is cleared and filled. Both describe the one software path (the
  // emulation layer has no video memory). Open or closed alike.
  bool GetCaps(DDCAPS* driverCaps, DDCAPS* emulationCaps) const;
  // What the card holds (default 64 MiB); a request beyond what is free fails.
  void SetVideoMemoryTotal(std::int64_t bytes) { videoTotal_ = bytes; }
  // How many back buffers the card can chain (default 2); for tests of the fallbacks.
  void SetFlipChainLimit(int backBuffers) { chainLimit_ = backBuffers; }

  // ---- Sprite engine; false, null or -1 when disabled or an index is out of range.
  TDSurface* GetSpSurface(int page) const;
  bool SpPatCopy(int page, TZoRGBBits* src);
  // A BMP picture drawn onto the page at (x, y), cut to the page.
  bool SpPatLoadBmp(int page, Classes::TStream* bmp, int x, int y);
  bool SpPatLoadBmp(int page, VXStream* bmp, int x, int y);
  // The pattern must lie on its page and have a size above 0.
  bool SpSetPattern(int pattern, int page, int x, int y, int width, int height, VXRGB key);
  bool SpSetPattern(int pattern, int page, int x, int y, int width, int height);  // key: the page's pixel (x, y)
  // A BMP picture drawn onto the page at (x, y) and defined as the pattern, keyed by its top-left pixel. The
  // picture must lie wholly on the page; when it cannot be read or does not fit, the page is left untouched.
  bool SpSetPatternBmp(int pattern, int page, Classes::TStream* bmp, int x, int y);
  bool SpSetPatternBmp(int pattern, int page, VXStream* bmp, int x, int y);
  bool SpClrPattern(int pattern);
  const TSpritePattern* GetPattern(int pattern) const;
  bool SpSetSprite(int sprite, int x, int y, int pattern, int priority);
  int SpAddSprite(int x, int y, int pattern, int priority);
  bool SpClrSprite(int sprite);
  bool SpMoveSprite(int sprite, int x, int y);
  bool SpChangeSprite(int sprite, int pattern);
  void SpSetModifySprite(int sprite);
  bool SpriteShow();
  bool SpriteHide();
  bool IsSpriteShown() const { return spriteShown_; }
  bool SpritePatternWrite(TDSurface* dst, int pattern, int x, int y);
  bool SpriteDraw(TDSurface* dst);
  // Software form: `pages` indexed by page number.
  bool SpritePatternWrite(TZoRGBBits* dst, TZoRGBBits** pages, int pattern, int x, int y);
  bool SpriteDraw(TZoRGBBits* dst, TZoRGBBits** pages);

private:
  friend class TDSurface;

  VXRect Screen() const { return {0, 0, width_, height_}; }
  bool ReserveVideoMemory(std::int64_t bytes);
  void ReturnVideoMemory(std::int64_t bytes) { videoUsed_ -= bytes; }
  void PollLost();  // carries the presenter's lost report to every surface
  void RestorePrimary();
  bool RestoreBack();
  TDSurface* Target() const { return flipping_ ? backBuffer_ : primary_; }
  void DeleteSurface(TDSurface*& surface);
  void DeleteSpritePages(int from);
  void PointDrawSurface();
  void Advance() { current_ = bufferCount_ > 0 ? (current_ + 1) % bufferCount_ : 0; }
  // Sprites, the flip and the presentation; `pending` are the rectangles that the buffer about to be shown missed.
  bool FinishFrame(const VXRectSet& pending);
  bool RotateChain();
  bool Present(const VXRectSet& stale);
  // A copy that a caller made straight onto the front outside a frame is shown at once.
  bool ShowWrite(bool ok, const VXRect& area);
  void SpriteRects(VXRectSet& out) const;
  void MarkPresent(const VXRect& r) { presentDirty_.UnionRect(r); }
  bool SpriteArea(int sprite, VXRect& r) const;
  bool ValidPage(int page) const { return page >= 0 && page < spritePage_; }

  platform::video::Presenter* presenter_ = nullptr;
  bool fullScreen_ = true;
  int refreshRate_ = 0;
  bool tripleBuffer_ = true;
  TBackType backType_ = btNone;
  VXBitDepth bitDepth_ = bd16;
  VXScreenSize screenSize_ = ss640x480;
  int spriteWidth_ = 640, spriteHeight_ = 480;
  int spritePage_ = 0;
  int width_ = 640, height_ = 480;
  bool enabled_ = false;

  TDSurface* primary_ = nullptr;
  TDSurface* backBuffer_ = nullptr;
  TDSurface* backSurface_ = nullptr;
  TDSurface* drawSurface_ = nullptr;
  std::unique_ptr<TDSurface::Memory> spare_;  // the third buffer of a triple chain
  bool flipping_ = false;
  bool drawLocked_ = false;
  int lockCount_ = 0;
  std::vector<TDSurface*> surfaces_;
  std::array<VXRectSet, kMaxBuffers> dirty_;
  int bufferCount_ = 0;
  int current_ = 0;
  bool restored_ = false;
  bool inFrame_ = false;

  // The presenter's view: what changed since the last presentation, and where the front shown last may differ
  // from the back surface (rectangles that its buffer missed, sprites drawn over it).
  VXRectSet presentDirty_;
  VXRectSet shownStale_;

  std::int64_t videoTotal_ = std::int64_t{64} << 20;
  std::int64_t videoUsed_ = 0;
  int chainLimit_ = 2;

  bool spriteShown_ = false;
  std::vector<TSpritePattern> patterns_;
  std::vector<TSprite> sprites_;
  std::array<TDSurface*, kMaxSpritePages> pages_{};
};

}  // namespace DirectX
