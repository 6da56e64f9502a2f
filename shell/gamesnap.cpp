// The game window's screenshots (PrintScreen, Alt+PrintScreen): a file in the save folder or a picture on the
// clipboard.
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "core/vxstream.h"
#include "graphics/vxbmp.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "platform/clipboard.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"

namespace {

constexpr int kCursorCell = 32;
constexpr int kLogoX = 8;

std::string SnapshotName(int number) {
  char name[16];
  std::snprintf(name, sizeof name, "Snap%03d.png", number);
  return name;
}

std::string Upper(std::string_view name) {
  std::string upper(name);
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

// The bytes a memory stream holds.
std::string_view Bytes(VXMemoryStream& stream) {
  return {reinterpret_cast<const char*>(stream.GetMemory()), static_cast<std::size_t>(stream.GetSize())};
}

// Runs `body` on the locked bitmap; false when it cannot be locked.
template <class Body>
bool WithLocked(TZoRGBBits* bits, Body&& body) {
  if (!bits->Lock()) return false;
  const bool result = body();
  bits->Unlock();
  return result;
}

bool EncodePng(TZoRGBBits* shot, VXMemoryStream& out) {
  return WithLocked(shot, [&] {
    return SavePng(&out, shot->GetBits(), shot->GetWidth(), shot->GetHeight(), shot->GetPixFormat());
  });
}

bool OfferOnClipboard(TZoRGBBits* shot) {
  VXMemoryStream png, bmp;
  const bool encoded = EncodePng(shot, png) && WithLocked(shot, [&] {
    return SaveBmp24(&bmp, shot->GetBits(), shot->GetWidth(), shot->GetHeight());
  });
  if (!encoded) return false;
  const std::string_view p = Bytes(png), b = Bytes(bmp);
  return platform::clipboard::Current().SetPicture({{p.begin(), p.end()}, {b.begin(), b.end()}});
}

}  // namespace

int FindFreeSnapshot(const std::string& hostFolder) {
  // Names are matched without regard to case, as the game's file system matches them.
  std::set<std::string> taken;
  for (const platform::fs::Entry& e : platform::fs::ListFolder(hostFolder)) taken.insert(Upper(e.name));
  for (int n = 0; n < kSnapshotFiles; ++n)
    if (taken.count(Upper(SnapshotName(n))) == 0) return n;
  return -1;
}

bool TGameForm::TakeSnapshot(bool withCursor) {
  std::string path;
  if (CapEnable != 0) {
    const std::string folder = GetSaveFolderHost();
    const int number = folder.empty() ? -1 : FindFreeSnapshot(folder);
    if (number < 0) return false;
    path = folder + (folder.back() == '/' ? "" : "/") + SnapshotName(number);
  }
  TZoRGBBits shot;
  shot.SetBitDepth(bd24);
  shot.SetPixFormat(pf24_888);
  if (!shot.Resize(kWidth, kHeight) || !shot.Create() || !CaptureScreen(&shot, withCursor)) return false;
  if (!path.empty()) {
    VXMemoryStream png;
    return EncodePng(&shot, png) &&
           platform::fs::ReplaceFile(path, Bytes(png)) == platform::fs::ReplaceResult::Done;
  }
  DrawCaptionPictures(&shot);
  return OfferOnClipboard(&shot);
}

// The cursor is drawn into the copy, never into the screen, so nothing has to be saved and put back.
bool TGameForm::CaptureScreen(TZoRGBBits* shot, bool withCursor) {
  TPoint pointer;
  GetMousePos(pointer);
  MoveCursorImage(pointer.x, pointer.y);
  const std::lock_guard draw(drawLock_);
  TZoRGBBits* source = IsDisplayEnabled() ? Target() : nullptr;
  // A screen that cannot be read gives no picture at all rather than a black one.
  if (source == nullptr ||
      !WithLocked(source, [&] { return shot->ConvertCopy(0, 0, source, 0, 0, kWidth, kHeight); }))
    return false;
  if (withCursor && cursorIndex_ >= 0 && cursorBits_ != nullptr && cursorAlpha_ != nullptr)
    shot->DrawAlphaMask(cursorX_, cursorY_, cursorBits_, cursorIndex_ * kCursorCell, 0, kCursorCell, kCursorCell,
                        cursorAlpha_);
  return true;
}

void TGameForm::DrawCaptionPictures(TZoRGBBits* shot) {
  const std::lock_guard draw(drawLock_);
  if (capLogo_ != nullptr)
    shot->DrawAlphaMask(kLogoX, kHeight - capLogo_->GetHeight(), capLogo_, 0, 0, capLogo_->GetWidth(),
                        capLogo_->GetHeight(), capLogoAlpha_);
  if (capCopy_ != nullptr)
    shot->DrawAlphaMask(kWidth - capCopy_->GetWidth(), kHeight - capCopy_->GetHeight(), capCopy_, 0, 0,
                        capCopy_->GetWidth(), capCopy_->GetHeight(), capCopyAlpha_);
}
