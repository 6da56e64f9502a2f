#include "graphics/zorgbbtn.h"

#include <numeric>

TZoRGBBtn::TZoRGBBtn(Classes::TComponent* owner) : TZoRGBPanel(owner) {
  SetSizeX(98);
  SetSizeY(31);
}

TZoRGBBtn::TZoRGBBtn(Classes::TComponent* owner, TZoRGBPanel* parent) : TZoRGBPanel(owner, parent) {}

void TZoRGBBtn::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  ChangeState();
}

void TZoRGBBtn::SetSelected(bool on) {
  if (on == selected_) return;
  selected_ = on;
  ChangeState();
}

void TZoRGBBtn::SetPat(int group, int n, int least) {
  if (n < least || n > kZoMaxBlocks || n == pats_[group]) return;
  pats_[group] = n;
  SetNumBlock(std::accumulate(std::begin(pats_), std::end(pats_), 0));
  ChangeState();
}

void TZoRGBBtn::SetAnimeWait(int n) {
  if (n >= 0) animeWait_ = n;
}

void TZoRGBBtn::SetFocusFlag(bool on) {
  focus_ = on;
  if (pats_[kFocus] > 0) ChangeState();
}

void TZoRGBBtn::SetAutoFocus(bool on) {
  autoFocus_ = on;
  SetFocusFlag(false);
}

void TZoRGBBtn::SetFocus(bool on) {
  if (!autoFocus_) SetFocusFlag(on);
}

void TZoRGBBtn::SetAnimeType(TBtnAnimeType type) {
  if (type == animeType_) return;
  animeType_ = type;
  if (type == batWraparound) forward_ = true;
}

TZoRGBBtn::Group TZoRGBBtn::StateGroup() const {
  if (!enabled_ && pats_[kDisable] > 0) return kDisable;
  if (selected_ && pats_[kSelected] > 0) return kSelected;
  if ((GetPressed() || selected_) && pats_[kDown] > 0) return kDown;
  if (focus_ && pats_[kFocus] > 0) return kFocus;
  return kNormal;
}

int TZoRGBBtn::GroupStart(int group) const { return std::accumulate(pats_, pats_ + group, 0); }

void TZoRGBBtn::ChangeState() {
  SetBlockIndex(GroupStart(StateGroup()));
  step_ = 0;
}

void TZoRGBBtn::CallOnClick() {
  if (enabled_) TZoRGBPanel::CallOnClick();
}

void TZoRGBBtn::CallOnMouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (pats_[kDown] > 0) ChangeState();
  TZoRGBPanel::CallOnMouseDown(button, shift, x, y);
}

void TZoRGBBtn::CallOnMouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (pats_[kDown] > 0) ChangeState();
  TZoRGBPanel::CallOnMouseUp(button, shift, x, y);
}

void TZoRGBBtn::CallOnMouseEnter() {
  if (autoFocus_) SetFocusFlag(true);
  TZoRGBPanel::CallOnMouseEnter();
}

void TZoRGBBtn::CallOnMouseLeave() {
  if (autoFocus_) SetFocusFlag(false);
  TZoRGBPanel::CallOnMouseLeave();
}

void TZoRGBBtn::CallOnAnime() {
  if (!GetVisible()) return;
  if (++step_ >= animeWait_) {
    step_ = 0;
    const Group group = StateGroup();
    const int lo = GroupStart(group);
    const int hi = lo + pats_[group];
    const int cur = GetBlockIndex();
    int next;
    if (forward_) {
      next = cur + 1;
      if (next >= hi) {
        if (animeType_ == batRoundtrip) {
          forward_ = false;
          next = hi - 2;
        } else {
          next = lo;
        }
      }
    } else {
      next = cur - 1;
      if (next < lo) {
        forward_ = true;
        next = lo + 1;
      }
    }
    // Also brings a block left outside the group (a state change without ChangeState) back into it.
    if (next < lo) next = lo;
    if (next >= hi) next = hi - 1;
    if (next != cur) SetBlockIndex(next);
  }
  TZoRGBPanel::CallOnAnime();
}

void TZoRGBBtn::StatusClear() {
  if (autoFocus_) focus_ = false;
  TZoRGBPanel::StatusClear();
}
