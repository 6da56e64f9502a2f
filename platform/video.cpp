#include "platform/video.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform::video {

int BytesPerPixel(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Bgrx32: return 4;
    case PixelLayout::Bgr24: return 3;
    case PixelLayout::Rgb565: return 2;
  }
  return 0;
}

Rect ClipRect(const Rect& r, int width, int height) {
  Rect c{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width), std::min(r.bottom, height)};
  return c.IsEmpty() ? Rect{} : c;
}

bool IsValid(const Picture& picture) {
  const int bpp = BytesPerPixel(picture.mode.layout);
  if (picture.pixels == nullptr || bpp == 0) return false;
  if (picture.mode.width <= 0 || picture.mode.height <= 0) return false;
  // A negative pitch is a bottom-up picture seen from its top row.
  return std::abs(picture.pitch) >= static_cast<std::ptrdiff_t>(picture.mode.width) * bpp;
}

void CopyRect(const Picture& src, const Rect& r, std::uint8_t* dst) {
  const std::size_t bpp = BytesPerPixel(src.mode.layout);
  const std::size_t dstPitch = src.mode.width * bpp;
  const std::size_t rowBytes = r.Width() * bpp;
  for (int y = r.top; y < r.bottom; ++y) {
    std::memcpy(dst + y * dstPitch + r.left * bpp, src.pixels + y * src.pitch + r.left * bpp, rowBytes);
  }
}

bool MemoryPresenter::Present(const Picture& picture, std::span<const Rect> rects) {
  if (!IsValid(picture)) return false;
  std::lock_guard lock(mutex_);
  if (failures_ > 0) {
    --failures_;
    return false;
  }
  if (!started_ || mode_ != picture.mode) {
    mode_ = picture.mode;
    front_.assign(static_cast<std::size_t>(mode_.width) * mode_.height * BytesPerPixel(mode_.layout), 0);
    started_ = true;
  }
  Frame frame{mode_, {}, {}, vsync_};
  for (const Rect& r : rects) {
    const Rect c = ClipRect(r, mode_.width, mode_.height);
    if (c.IsEmpty()) continue;
    CopyRect(picture, c, front_.data());
    frame.rects.push_back(c);
  }
  frame.pixels = front_;
  frames_.push_back(std::move(frame));
  return true;
}

void MemoryPresenter::SetFullScreen(bool on) {
  std::lock_guard lock(mutex_);
  fullScreen_ = on;
}

bool MemoryPresenter::IsFullScreen() const {
  std::lock_guard lock(mutex_);
  return fullScreen_;
}

void MemoryPresenter::SetVSync(bool on) {
  std::lock_guard lock(mutex_);
  vsync_ = on;
}

bool MemoryPresenter::GetVSync() const {
  std::lock_guard lock(mutex_);
  return vsync_;
}

void MemoryPresenter::FailNext(int count) {
  std::lock_guard lock(mutex_);
  failures_ = std::max(count, 0);
}

std::vector<MemoryPresenter::Frame> MemoryPresenter::Frames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::vector<MemoryPresenter::Frame> MemoryPresenter::TakeFrames() {
  std::lock_guard lock(mutex_);
  return std::exchange(frames_, {});
}

std::size_t MemoryPresenter::FrameCount() const {
  std::lock_guard lock(mutex_);
  return frames_.size();
}

std::vector<std::uint8_t> MemoryPresenter::Front() const {
  std::lock_guard lock(mutex_);
  return front_;
}

Mode MemoryPresenter::FrontMode() const {
  std::lock_guard lock(mutex_);
  return mode_;
}

}  // namespace platform::video
