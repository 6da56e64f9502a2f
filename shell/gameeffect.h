// Full-screen transitions: a change from one 640 x 480 picture (the from picture) to another (the to picture),
// drawn frame by frame into a destination. `TEffectMan` runs one transition of 15 kinds; the water, halation and
// mask kinds need resources that their owner loads beforehand into the manager's `TZOWaterTable`,
// `TZOHalationImage` and `TZOFadeAlphaMask`. `CreateScreenBits` makes the pictures.
//
// Driving a transition (the game window and the stage each own a manager and do this on one thread at a time):
//
//   TZoRGBBits *from, *to;
//   CreateScreenBitsPair(&from, &to);          // two screen pictures, or EGameErr with neither kept
//   ...copy the screen into from, draw the next screen into to...
//   effects.Mask().Load(&files, "FadeMask07_Swirl.bmp");   // kinds 11-14 only: Water(), Halo(), Mask()
//   if (!effects.Start(ekMaskEdge, from, to, 200)) { ...delete both, no transition... }
//   every frame:
//     effects.Advance(framesSinceLastTick);    // progress = frames x rate / 100
//     effects.Draw(back, &dirty);              // draws only when progress moved; adds the screen to dirty
//     if (effects.IsDone()) { DeleteScreenBits(from); DeleteScreenBits(to); effects.Clear();
//                             effects.Mask().Release(); }
//
// The manager never creates, deletes or keeps the pictures beyond `Clear`; the holder deletes them after the end
// (or before a new `Start`). The water, zoom and halation kinds (7 to 12) change the from picture as they go; the
// holder discards it. The first `Draw` after `Start` always shows the from picture; the last one shows the to
// picture and ends the transition (`IsDone`). Kinds 8, 9 and 10 build each frame on what the destination already
// holds, so the holder draws them into the same bitmap frame after frame.
//
// Pictures. The from and to pictures and the destination are created 640 x 480 bitmaps of one 24- or 32-bit
// format (the working depth of the game, `GameServices()->GetWorkingBitDepth()`); the kinds that work on raw rows
// use the 3- or 4-byte kernels by the pictures' own depth. `Start` refuses other pictures; a `Draw` that finds a
// picture or the destination unusable ends the transition without drawing.
//
// Lengths at rate 100 with one frame per `Advance`: kinds 0, 13, 14 32 frames, 1 16, 2 64, 3-6 160; the step kinds
// 7-12 take 36, 20, 36, 20, 70 and 37 drawn frames after the first and advance one step per drawn frame in which
// progress moved, so a rate above 100 shortens only the level kinds and a rate below 100 slows every kind.
// With a rate of 0 or below progress never moves forward and the transition never ends: holders give a positive
// rate.
#pragma once

#include <cstdint>
#include <memory>

#include "core/vxrect.h"
#include "core/vxstring.h"
#include "graphics/vxrgbraw.h"

class TZoAlpha;
class TZoRGBBits;
class VXFileMan;

constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;

enum TEffectKind : int {
  ekNone = -1,
  ekCrossFade = 0,      // 32 frames
  ekCrossFadeFast = 1,  // 16 frames
  ekCrossFadeSlow = 2,  // 64 frames
  ekScrollUp = 3,       // the new picture pushes up from the bottom
  ekScrollDown = 4,     // ... down from the top
  ekScrollRight = 5,    // ... in from the left
  ekScrollLeft = 6,     // ... in from the right
  ekZoomIn = 7,         // zoom into the old picture, which turns into the new one
  ekZoomThrough = 8,    // the screen zooms in while the new picture grows out of the middle
  ekShrink = 9,         // the old picture shrinks into the middle over the new one
  ekZoomOut = 10,       // the new picture zooms out over the screen
  ekWater = 11,         // a ripple from the middle (TZOWaterTable)
  ekHalation = 12,      // a glare and lens flares (TZOHalationImage)
  ekMask = 13,          // a soft fade in the order of a grey mask (TZOFadeAlphaMask)
  ekMaskEdge = 14,      // a wipe with a 16-value edge in the order of the mask
};

// ---- Resources of kinds 11 to 14. Each is unloaded -> Load -> loaded -> Release (or destruction) -> unloaded;
// a renderer whose resource is not loaded shows the to picture and ends.

// The ripple tables, read whole from "WaterDistTbl.bin" (240 rows of 320 little-endian u16: the ripple phase of a
// pixel offset from the centre in one quadrant), "WaterSinTbl.bin" (256 bytes 0..254: the wave) and
// "WaterMultiTbl.bin" (32 rows of 255 bytes: the displacement + 127 of a wave value at an amplitude level).
// A file that is missing, shorter than its table, or (the wave) holding a value above 254 is not an error: the set
// then moves no pixel (every displacement 0), so the ripple kind is a plain change of pictures.
class TZOWaterTable {
public:
  static constexpr int kDistRows = 240, kDistColumns = 320;
  static constexpr int kSineSize = 256;
  static constexpr int kMultiRows = 32, kMultiColumns = 255;

  TZOWaterTable();
  ~TZOWaterTable();
  TZOWaterTable(const TZOWaterTable&) = delete;
  TZOWaterTable& operator=(const TZOWaterTable&) = delete;

  // Nothing when loaded. EGameErr when the tables cannot be allocated (then unloaded).
  void Load(VXFileMan* files);
  void Release();
  bool IsLoaded() const { return loaded_; }
  // Whether the three files were read whole and valid (false also when not loaded).
  bool HasRipple() const { return ripple_; }

  // The ripple from src to dst (different buffers of w x h pixels of 3 or 4 bytes, pitches in bytes) around the
  // centre (cx, cy): for every pixel, i and j are its distances from the centre column and row (the columns and
  // rows left of and above the centre counted from cx - 1 and cy - 1, so both middle columns and rows are 0),
  // k = (dist[j][i] x 4 + phase) mod 256, d = multi[level][sine[k]] - 127, and the pixel is a copy of the source
  // pixel at (x + d, y + d) held inside the picture. Level is held to 0..31. Nothing unless loaded, 0 <= cx,
  // w - cx <= 320, 0 <= cy, h - cy <= 240 and both sides are positive.
  void Draw24(const unsigned char* src, int w, int h, int cx, int cy, int srcPitch, unsigned char* dst,
              int dstPitch, int phase, int level) const;
  void Draw32(const unsigned char* src, int w, int h, int cx, int cy, int srcPitch, unsigned char* dst,
              int dstPitch, int phase, int level) const;

private:
  template <int Bytes>
  void Ripple(const unsigned char* src, int w, int h, int cx, int cy, int srcPitch, unsigned char* dst, int dstPitch,
              int phase, int level) const;
  void Neutral();

  bool loaded_ = false;
  bool ripple_ = false;
  std::unique_ptr<std::uint16_t[]> dist_;
  std::unique_ptr<std::uint8_t[]> sine_;
  std::unique_ptr<std::uint8_t[]> multi_;
};

// The grey mask picture (an 8-bit BMP through its palette levels) and a work plane of the same size that the mask
// kinds recompute every drawn frame. A mask that is not 640 x 480 is stretched to the screen (nearest pixel) when
// loaded, so both planes always cover the screen.
class TZOFadeAlphaMask {
public:
  TZOFadeAlphaMask() = default;
  ~TZOFadeAlphaMask();
  TZOFadeAlphaMask(const TZOFadeAlphaMask&) = delete;
  TZOFadeAlphaMask& operator=(const TZOFadeAlphaMask&) = delete;

  // Releases a loaded mask first. EGameErr, with no planes left, when the picture is missing or cannot be read or a
  // plane cannot be made.
  void Load(VXFileMan* files, VXString name);
  void Release();
  bool IsLoaded() const { return loaded_; }

  // The work plane from the mask, per pixel m (level held to 0..255; nothing when not loaded):
  // SSub max(0, m - level); SAdd min(255, m + level); Extract with a = min(255, m + level): (a - 240) x 17 when
  // a >= 240, else 0.
  void SSub(int level);
  void SAdd(int level);
  void Extract(int level);
  const TZoAlpha* GetMask() const { return mask_.get(); }
  const TZoAlpha* GetWork() const { return work_.get(); }

private:
  bool loaded_ = false;
  std::unique_ptr<TZoAlpha> mask_;
  std::unique_ptr<TZoAlpha> work_;
};

// The six pictures of the halation kind: "HaloBack.bmp", the glare added once over the darkened old picture, and
// five layers that glide from the top-left corner toward the bottom right at their own speeds.
class TZOHalationImage {
public:
  static constexpr int kLayerCount = 5;
  // Layer files in order, and their speeds.
  static const char* const kLayerFiles[kLayerCount];
  static constexpr int kLayerSpeeds[kLayerCount] = {240, 84, 366, 160, 292};

  TZOHalationImage() = default;
  ~TZOHalationImage();
  TZOHalationImage(const TZOHalationImage&) = delete;
  TZOHalationImage& operator=(const TZOHalationImage&) = delete;

  // Releases a loaded set first; the pictures get the depth given. A file that does not open leaves its picture
  // uncreated, and an uncreated picture is left out when drawing. EGameErr, with nothing kept, when a picture that
  // opened cannot be decoded or a bitmap cannot be made.
  void Load(VXFileMan* files, VXBitDepth depth);
  void Release();
  bool IsLoaded() const { return loaded_; }
  TZoRGBBits* GetBack() const { return back_.get(); }
  TZoRGBBits* GetLayer(int index) const;  // null outside 0..4

private:
  bool loaded_ = false;
  std::unique_ptr<TZoRGBBits> back_;
  std::unique_ptr<TZoRGBBits> layers_[kLayerCount];
};

// ---- Frame renderers. Each draws one frame of its kind into dst (every call that draws adds the screen to dirty
// when dirty is given) and reports whether that frame was the last (the to picture). Value 0 is a copy of the from
// picture, the final value a copy of the to picture. The pictures are as the manager requires (see above).

bool RenderCrossFade(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int level);  // final 128
// pos 0..160; direction 0 up, 1 down, 2 right, 3 left (kinds 3 to 6).
bool RenderScroll(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int pos, int direction);
bool RenderZoomIn(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step);       // 36
bool RenderZoomThrough(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step);  // 20
bool RenderShrink(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step);       // 36
bool RenderZoomOut(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step);      // 20
// Steps 1-31 ripple the from picture with a growing amplitude, 32-38 blend the to picture into it in eighths while
// rippling at full amplitude, 39-69 ripple the to picture calming down; 70 is the to picture.
bool RenderWater(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step,
                 const TZOWaterTable& water);
// Step 1 halves the from picture and adds the glare to it, steps 1-4 fade the screen to it in quarters, steps
// 5-36 cross-fade from it to the to picture under the gliding layers; 37 is the to picture.
bool RenderHalation(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int step,
                    const TZOHalationImage& halo);
// v 0..511: the bright parts of the mask turn first (v < 255: weights m - (255 - v)), at 255-256 every pixel
// shows the mix the mask gives, then all reach the to picture (weights m + v - 256). Weight 0 is the from picture,
// 255 the to picture.
bool RenderMask(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int v, TZOFadeAlphaMask& mask);
// v 0..255: a pixel of mask value m is the from picture while m + v < 240 and the to picture from m + v >= 255.
bool RenderMaskEdge(TZoRGBBits* dst, VXRectSet* dirty, TZoRGBBits* from, TZoRGBBits* to, int v,
                    TZOFadeAlphaMask& mask);

// ---- The manager

class TEffectMan {
public:
  TEffectMan() = default;
  TEffectMan(const TEffectMan&) = delete;
  TEffectMan& operator=(const TEffectMan&) = delete;

  // The kind is the argument's low byte taken as signed: 255 (-1) starts nothing (IsDone at once), and values
  // outside 0..14 show the to picture on the first Draw and end. False, with nothing changed (a running transition
  // goes on), unless both pictures are created 640 x 480 bitmaps of one 24- or 32-bit format. A running transition
  // is replaced; its pictures stay with the holder.
  bool Start(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate = 100);
  // Nothing when idle. elapsed += time; progress = elapsed x rate / 100 (truncated toward zero), both held within
  // 32 bits.
  void Advance(int time);
  bool IsDone() const { return kind_ == ekNone; }
  // Nothing when idle. Draws the frame that progress calls for into dst, or nothing when progress has not moved
  // since the last Draw; the first Draw after Start draws the from picture. dst must be a created 640 x 480
  // bitmap of the pictures' format, else the transition ends without drawing, as it does when a picture has gone.
  void Draw(TZoRGBBits* dst, VXRectSet* dirty);
  // Idle, the pictures forgotten (not deleted); the loaded resources stay.
  void Clear();

  TZOWaterTable& Water() { return water_; }
  TZOFadeAlphaMask& Mask() { return mask_; }
  TZOHalationImage& Halo() { return halo_; }

  int GetKind() const { return kind_; }
  int GetRate() const { return rate_; }
  int GetElapsed() const { return elapsed_; }
  int GetProgress() const { return progress_; }
  int GetStep() const { return step_; }
  TZoRGBBits* GetFrom() const { return from_; }
  TZoRGBBits* GetTo() const { return to_; }

private:
  struct KindRule;
  static const KindRule kRules[];
  void DrawLevel(const KindRule& rule, TZoRGBBits* dst, VXRectSet* dirty);
  void DrawSteps(const KindRule& rule, TZoRGBBits* dst, VXRectSet* dirty);

  TZoRGBBits* from_ = nullptr;
  TZoRGBBits* to_ = nullptr;
  std::int8_t kind_ = ekNone;
  int rate_ = 100;
  int elapsed_ = 0;
  int progress_ = 0;
  int lastDrawn_ = -1;
  int step_ = 0;
  TZOWaterTable water_;
  TZOFadeAlphaMask mask_;
  TZOHalationImage halo_;
};

// ---- Screen pictures, made and deleted through the memory registry of the installed game services.

// A created 640 x 480 picture in the working depth. EGameErr when there are no game services, the working depth is
// not 24- or 32-bit, or the picture cannot be made (nothing is kept then).
TZoRGBBits* CreateScreenBits();
// Both pictures of a transition, or EGameErr with neither kept (both pointers null then).
void CreateScreenBitsPair(TZoRGBBits** from, TZoRGBBits** to);
// Deletes a picture made here and nulls the pointer; nothing for null.
void DeleteScreenBits(TZoRGBBits*& bits);
