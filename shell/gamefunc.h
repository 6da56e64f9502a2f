// The shared scene functions of the game shell: loading the screens' pictures by file name, the raw resampling
// kernels and additive lines, and small text, number and volume utilities.
//
// Pictures. Every picture, alpha plane, parts sheet and string list made here is made through the memory registry
// of the installed game services (`GameServices()`, device/gameservices.h: the game window, or a stand-in in tools
// and tests) and released through it; new pictures get the services' working bit depth. Without installed services
// nothing can be made: the loaders return false (or null) and `ReleasePanelImage` leaves the panel as it is.
// The loaders never let an exception out: any failure is false, with what they made deleted and the streams they
// opened closed.
//
// A picture's kind comes from the text after the last "." of its file name, without regard to case:
// "BMP", "JPG", "PNG", and "LZH" for the game's own scrambled GNY pictures. Other names are refused before any file
// is opened. A PNG picture gets an alpha plane only when the caller wants one and the picture has an alpha channel.
// A PNG whose header claims more pixels than the rest of its stream could hold is refused before it is decoded.
//
// Panels that share one picture (`SharePanelImage`) may each be released: the first release deletes the picture,
// and the panel library clears every other panel's reference when it is destroyed, so the others find nothing left.
#pragma once

#include <cstdint>

#include "core/vxrect.h"
#include "core/vxstream.h"
#include "core/vxstring.h"
#include "graphics/zorgbpanel.h"

class TZoAlpha;
class TZoRGBBits;
class TZoRGBParts;
class VXFileMan;
class VXStringList;
struct TZoPartsData;

// ---- Pictures for screens

enum TImageKind : int { ikNone = 0, ikBmp = 1, ikJpeg = 2, ikPng = 3, ikGny = 4 };

// The kind of a file name; ikNone for another extension, a name without "." or one ending in ".".
int GetImageKind(const VXString& name);

// Indexes 0 and 1 select the built-in GNY key (the one in use from the start); others change nothing.
void SelectGnyKey(int index);
const unsigned char* SelectedGnyKey();

// Where a part of a parts sheet goes on a panel: a negative index shows no picture.
struct TPartPos {
  std::int32_t index;
  std::int32_t x;
  std::int32_t y;
};
static_assert(sizeof(TPartPos) == 12);

// Decodes the stream at (x, y) into the bitmap (created at the picture's size plus the offset when it is not
// created yet); a PNG also into the plane when one is given. The GNY key is the selected one.
bool DrawImageStream(TZoRGBBits* bits, TZoAlpha* alpha, int kind, int x, int y, VXStream* stream);
// A new bitmap in *bits (and, when alpha is given, a new plane in *alpha for a PNG with an alpha channel, else
// null). On failure both are null and nothing is kept.
bool LoadImageStream(TZoRGBBits** bits, TZoAlpha** alpha, int kind, VXStream* stream);
// LoadImageStream on the named file; alpha may be null when no plane is wanted.
bool LoadImageFile(TZoRGBBits** bits, TZoAlpha** alpha, VXFileMan* files, VXString name);
// Decodes the named file into an existing bitmap (and plane, may be null) at (x, y).
bool DrawImageFile(TZoRGBBits* bits, TZoAlpha* alpha, int x, int y, VXFileMan* files, VXString name);
// The same, but the plane (may be null) takes the picture's alpha only when the file brings an alpha channel (a PNG
// with four channels); otherwise it is not touched.
bool DrawImageFileOwnAlpha(TZoRGBBits* bits, TZoAlpha* alpha, int x, int y, VXFileMan* files, VXString name);

// The named picture becomes the panel's image: mask mode alpha with the picture's plane when it has one, else
// opaque (the panel's previous plane, if any, stays attached). On failure the panel is not touched.
bool LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString name);
// A blank picture of the size (and a plane when mode is mmAlpha) as the panel's image, with that mask mode.
bool CreatePanelImage(TZoRGBPanel* panel, int width, int height, TMaskMode mode);
bool CreatePanelImageOwnSize(TZoRGBPanel* panel, TMaskMode mode);
// Deletes the panel's image and plane (those made through the registry) and clears them on the panel.
void ReleasePanelImage(TZoRGBPanel* panel);
// dst shows src's image and plane with src's mask mode; the objects are shared, not copied.
void SharePanelImage(TZoRGBPanel* dst, TZoRGBPanel* src);

// Loads the named sheet and cuts it into *parts by the table (a parts object is made when *parts is null, else
// reused). On failure the parts object stays in *parts.
bool LoadPartsFile(TZoRGBParts** parts, VXFileMan* files, TZoPartsData* table, VXString name);
// Moves the panel to (pos.x, pos.y) and, for a part that has a picture, shows it: the part's plane (mask mode
// alpha) or none (opaque), size of one block of the part.
void SetPanelPart(TZoRGBPanel* panel, TZoRGBParts* parts, const TPartPos* pos);

// ---- Resampling kernels
//
// Each takes the source rectangle (pointer to its top-left pixel, width, height, pitch in bytes) and then the
// destination rectangle; the two must not overlap. Sizes that are not positive draw nothing.
//
// The stretch kernels walk both rectangles with integer error stepping: destination pixel d takes source pixel
// floor(d x src / dst) when enlarging; when shrinking the source pixels that fall on one destination pixel are
// written to it in turn (the copies keep the last, the blends mix each in as (3 x old + new) >> 2).
void StretchCopy8(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);
void StretchCopy24(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);
void StretchCopy32(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);
void BlendStretchCopy24(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);
// Byte 3 of every written pixel becomes 0.
void BlendStretchCopy32(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);
// Area averaging: each destination pixel is the truncated mean of the source area it covers, weighted by the
// overlap. A destination pixel that lies inside one source pixel is a copy of it (all four bytes); an averaged one
// gets 0 in byte 3 from the horizontal pass. Nothing is drawn when the work rows cannot be had or a side is longer
// than 16,777,216 pixels (which keeps every weighted sum within 32 bits).
void SmoothStretchCopy24(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);
void SmoothStretchCopy32(const unsigned char* src, int sw, int sh, int sp, unsigned char* dst, int dw, int dh, int dp);

// ---- Additive lines on 24- and 32-bit bitmaps
//
// The line from (x1, y1) to (x2, y2), both ends included, drawn downward, changes bytes 0, 1, 2 of its pixels that
// lie inside the clip (and the bitmap) by bytes 0, 1, 2 of the colour, with saturation. The major axis is the one
// with more pixels: pixel k of an x-major line lies at (x1 ± k, y1 + floor(k x rows / columns)), and the other way
// round. Coordinates are held to -32768 .. 32768. False when the bitmap is not created, not 24- or 32-bit, or
// cannot be locked; true (without locking) when the line misses the clip.
bool DrawLineAdd(TZoRGBBits* bits, int x1, int y1, int x2, int y2, unsigned long colour, VXRect clip);
bool DrawLineSub(TZoRGBBits* bits, int x1, int y1, int x2, int y2, unsigned long colour, VXRect clip);
// Adds (colour byte x a) >> 8 where a, the plane's value at the pixel, is not 0. A plane that is not created or
// does not cover the bitmap is ignored: the line is drawn as by DrawLineAdd.
bool DrawLineAddAlpha(TZoRGBBits* bits, int x1, int y1, int x2, int y2, unsigned long colour, VXRect clip,
                      TZoAlpha* plane);

// ---- Text, numbers and volumes

// DirectSound attenuation (hundredths of a decibel) of a volume percentage, interpolated in steps of 10 %:
// below 1 % is -10000 (silence), 100 % and above 0.
long VolumeToAttenuation(int percent);
// The attenuation of volume x rate / 100; a negative volume or rate counts as 0.
long ScaledVolumeToAttenuation(int volume, int rate);

// A decimal number with at most three decimals, in thousandths: "1.5" 1500, "T300" 300000 ('T' is skipped).
// Reading stops at a second '.', a third decimal, a double-byte character or any other byte; the result stops at
// 0xFFFFFFFF.
std::uint32_t StrToThousandths(VXString text);
// A 7-byte tag with digits at byte 4 and bytes 6 and 7 ("Ver1.05"): 105. Anything else gives 0.
int ParseVersionTag(VXString tag);
// The trimmed text before the first ',' (all of it, trimmed, when there is none); text keeps what follows the
// comma, untrimmed.
VXString CutToken(VXString& text);
// At the last '.': base before it, ext from it to the end; without one base is the name and ext empty.
void SplitFileExt(VXString& base, VXString& ext, VXString name);
// "Pic[abc].bmp" gives Pica.bmp, Picb.bmp, Picc.bmp; "Se[0-3]" gives Se0 .. Se3; "X[a-ce]" Xa .. Xe. A '-' makes
// every later character end a range from the previous one (starting from a space). Without a "[...]" holding at
// least one byte the list holds the pattern itself. The caller deletes the list through the registry; null when
// no list could be made.
VXStringList* ExpandBracketPattern(VXString pattern);
// The chapter's name, cut to at most maxBytes bytes ("…" replacing the cut part from 4 bytes up) without splitting
// a double-byte character; empty for an unknown chapter.
VXString GetChapterName(int id, int maxBytes);
// A new 134 x 100 24-bit picture averaged from the whole source (the caller deletes it through the registry); null
// for a missing or empty source or when the pictures cannot be made.
TZoRGBBits* CreateThumbnail(TZoRGBBits* src);
// Fills dst at (x, y) with the colour through the area (sx, sy, w, h) of the panel's current block of its alpha
// plane (the plane holds NumBlock blocks stacked), at rate 0..128. The area is cut to the block, and (x, y) moves
// by what is cut on the left and the top. False when the panel has no plane or the fill fails.
bool PanelAlphaFillRate(TZoRGBPanel* panel, TZoRGBBits* dst, int x, int y, int sx, int sy, int w, int h,
                        unsigned long colour, int rate);
