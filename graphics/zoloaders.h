// What the picture loaders of the bitmap and the alpha plane share: the block a reader allocated, the framework
// stream read through a stream, and a target made ready to hold a picture that is put back as it was when the load
// fails, so that a failed load leaves no half-made bitmap or plane behind.
#pragma once

#include <cstdlib>
#include <functional>
#include <memory>

#include "core/vxstream.h"

// A block that a picture reader allocated; released with free.
struct ZoFreeBlock {
  void operator()(unsigned char* p) const { std::free(p); }
};
using ZoPictureBlock = std::unique_ptr<unsigned char, ZoFreeBlock>;

// `load` run over a stream that reads the framework stream; false for a null stream.
bool ZoLoadFramework(Classes::TStream* stream, const std::function<bool(VXStream*)>& load);

// The side a target needs to hold `side` pixels from `position`: position + side, or 0 when that is not a positive
// int (every target refuses 0 as a size).
int ZoLoadExtent(int position, int side);

// Makes a bitmap or an alpha plane ready to receive a width x height picture at (x, y). A created target is used
// as it is; one that is not created gets the size x + width by y + height and is created. Unless `Keep` is called,
// a target that this created is released again and given back its previous size when the guard goes.
template <class Target>
class ZoLoadTarget {
public:
  ZoLoadTarget() = default;
  ~ZoLoadTarget() {
    if (made_ == nullptr) return;
    made_->Release();
    made_->Resize(oldWidth_, oldHeight_);
  }
  ZoLoadTarget(const ZoLoadTarget&) = delete;
  ZoLoadTarget& operator=(const ZoLoadTarget&) = delete;

  bool Prepare(Target* target, int x, int y, int width, int height) {
    if (target->IsCreated()) return true;
    const int oldWidth = target->GetWidth(), oldHeight = target->GetHeight();
    if (!target->Resize(ZoLoadExtent(x, width), ZoLoadExtent(y, height))) return false;
    if (!target->Create()) {
      target->Resize(oldWidth, oldHeight);
      return false;
    }
    made_ = target, oldWidth_ = oldWidth, oldHeight_ = oldHeight;
    return true;
  }
  void Keep() { made_ = nullptr; }
  // Whether Prepare created the target (it is then released again unless kept, so a failed load leaves no trace in
  // it whatever was written).
  bool Made() const { return made_ != nullptr; }

private:
  Target* made_ = nullptr;
  int oldWidth_ = 0;
  int oldHeight_ = 0;
};
