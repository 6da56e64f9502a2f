#include "graphics/zorgbanime.h"

#include <algorithm>
#include <numeric>

#include "graphics/zorgbbits.h"

// ---- TZoRGBAnime ----------------------------------------------------------------------------------------------

TZoRGBAnime::TZoRGBAnime(Classes::TComponent* owner) : TZoRGBPanel(owner) {
  SetSizeX(16);
  SetSizeY(16);
}

TZoRGBAnime::TZoRGBAnime(Classes::TComponent* owner, TZoRGBPanel* parent) : TZoRGBPanel(owner, parent) {}

void TZoRGBAnime::SetGroupIndex(int group) {
  if (group < 0 || group == groupIndex_) return;
  groupIndex_ = group;
  ChangedGroup();
}

void TZoRGBAnime::SetFrameIndex(int frame) {
  if (frame < 0 || frame == frameIndex_) return;
  frameIndex_ = frame;
  ChangedFrame();
}

// ---- TZoRGBSimple ---------------------------------------------------------------------------------------------

bool TZoRGBSimple::IsGroupEnable(int group) const { return GetFrameMax(group) >= 1; }

int TZoRGBSimple::GetFrameMax(int group) const { return group >= 0 && group < kGroups ? frames_[group] : 0; }

int TZoRGBSimple::GetFrameBlock() const {
  if (frameIndex_ < 0 || frameIndex_ >= GetFrameMax(groupIndex_)) return 0;
  return std::accumulate(frames_, frames_ + groupIndex_, 0) + frameIndex_;
}

void TZoRGBSimple::ChangedGroup() {
  ResetRun();
  frameIndex_ = 0;
  ChangedFrame();
}

void TZoRGBSimple::ChangedFrame() { SetBlockIndex(GetFrameBlock()); }

void TZoRGBSimple::ChangedState() {
  ResetRun();
  SetFrameIndex(0);
  SetModify();
}

void TZoRGBSimple::SetFrameNum(int group, int n) {
  if (group < 0 || group >= kGroups || n < (group == 0 ? 1 : 0) || n > kZoMaxBlocks || n == frames_[group]) return;
  frames_[group] = n;
  SetNumBlock(std::accumulate(std::begin(frames_), std::end(frames_), 0));
  ChangedState();
  ChangedGroup();
}

void TZoRGBSimple::SetAnimeWait(int n) {
  if (n >= 0) animeWait_ = n;
}

void TZoRGBSimple::SetAnimeType(TPanelAnimeType type) {
  if (type == animeType_) return;
  animeType_ = type;
  if (type != patTurn)
    run_ = kForward;
  else if (run_ == kStopped)
    run_ = kBackward;
}

void TZoRGBSimple::CallOnAnime() {
  if (GetVisible() && run_ != kStopped && ++step_ >= animeWait_) {
    step_ = 0;
    const int max = GetFrameMax(groupIndex_);
    if (max >= 1) {  // a group without frames stays on block 0
      if (max == 1) run_ = kStopped;
      int f = frameIndex_;
      if (run_ == kForward) {
        if (++f >= max) {
          if (animeType_ == patLoop) {
            f = 0;
          } else if (animeType_ == patTurn) {
            run_ = kBackward;
            f = max - 2;
          } else {
            run_ = kStopped;
            f = max - 1;
          }
        }
      } else if (run_ == kBackward) {
        if (--f < 0) {
          run_ = kForward;
          f = 1;
        }
      }
      f = std::clamp(f, 0, max - 1);
      if (f != frameIndex_) {
        frameIndex_ = f;
        SetBlockIndex(GetFrameBlock());
      }
    }
  }
  TZoRGBPanel::CallOnAnime();
}

// ---- TZoRGBProgram --------------------------------------------------------------------------------------------

bool TZoRGBProgram::SetAnimeData(VXAnimeData* data) {
  stat_.SetAnimeData(data);
  if (data != nullptr && data->IsEnable()) {
    SetNumBlock(data->GetPatCount());
    TZoRGBBits* image = GetImage();
    if (GetAutoSize() && image != nullptr && image->IsCreated()) {
      SetSizeX(image->GetWidth());
      SetSizeY(image->GetHeight() / GetNumBlock());
    }
  }
  ChangedState();
  ChangedGroup();
  return true;
}

bool TZoRGBProgram::IsGroupEnable(int group) const { return group >= 0 && group < stat_.GetGroupMax(); }

int TZoRGBProgram::GetFrameMax(int group) const { return stat_.GetAnimeCount(group); }

int TZoRGBProgram::GetFrameBlock() const { return stat_.GetPattern(); }

void TZoRGBProgram::ChangedGroup() {
  stat_.StartGroup(groupIndex_);
  frameIndex_ = stat_.GetFrame();
  SetBlockIndex(GetFrameBlock());
}

void TZoRGBProgram::ChangedFrame() {
  stat_.StartFrame(frameIndex_);
  SetBlockIndex(GetFrameBlock());
}

void TZoRGBProgram::ChangedState() {
  SetFrameIndex(0);
  SetModify();
}

void TZoRGBProgram::CallOnAnime() {
  if (GetVisible() && stat_.IsEnable() && !stat_.GetPause() && stat_.CallFrame(1)) {
    frameIndex_ = stat_.GetFrame();
    SetBlockIndex(GetFrameBlock());
  }
  TZoRGBPanel::CallOnAnime();
}
