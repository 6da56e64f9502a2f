// Panels whose shown block is driven by an animation organised in groups of frames.
//
//   TZoRGBAnime    the abstract base: a group index and a frame index.
//   TZoRGBSimple   groups are runs of consecutive blocks (G1FrameNum .. G8FrameNum frames each, group 0 first),
//                  played with one timing: loop, turn (forward and back) or stop on the last frame.
//   TZoRGBSBtn     a button whose states are groups of a TZoRGBSimple: 0 normal, 1 focus, 2 selected, 3 down,
//                  4 disabled; PatNormal .. PatDisable are views of those groups' frame counts.
//   TZoRGBProgram  frames come from an animation table played by a VXAnimeStat, one tick per frame.
//   TZoRGBPBtn     the same button logic over a TZoRGBProgram.
//
// The buttons choose their group as TZoRGBBtn chooses its block range: disabled, selected, pressed or selected
// (down), focus, normal, each only when its group is enabled.
#pragma once

#include "graphics/vxanimestat.h"
#include "graphics/zorgbpanel.h"

class TZoRGBAnime : public TZoRGBPanel {
public:
  explicit TZoRGBAnime(Classes::TComponent* owner);              // 16 x 16
  TZoRGBAnime(Classes::TComponent* owner, TZoRGBPanel* parent);  // keeps the panel's 640 x 480

  int GetGroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int group);  // negative ignored
  int GetFrameIndex() const { return frameIndex_; }
  void SetFrameIndex(int frame);  // negative ignored

  virtual bool IsGroupEnable(int group) const = 0;
  virtual int GetFrameMax(int group) const = 0;
  virtual int GetFrameBlock() const = 0;  // the panel block of the current group and frame
  virtual void ChangedGroup() = 0;
  virtual void ChangedFrame() = 0;

protected:
  int groupIndex_ = 0;
  int frameIndex_ = 0;
};

enum TPanelAnimeType : std::uint8_t {
  patLoop = 0,  // after the last frame the first
  patTurn = 1,  // forward and back
  patStop = 2,  // stop on the last frame
};

class TZoRGBSimple : public TZoRGBAnime {
public:
  static constexpr int kGroups = 8;

  using TZoRGBAnime::TZoRGBAnime;

  bool IsGroupEnable(int group) const override;
  int GetFrameMax(int group) const override;
  int GetFrameBlock() const override;
  void ChangedGroup() override;
  void ChangedFrame() override;
  virtual void ChangedState();

  int GetFrameNum(int group) const { return GetFrameMax(group); }
  // Group 0 needs a frame; counts above kZoMaxBlocks are ignored; NumBlock follows the sum.
  void SetFrameNum(int group, int n);
  int GetAnimeWait() const { return animeWait_; }
  void SetAnimeWait(int n);  // negative ignored; 0 and 1 both step every frame
  TPanelAnimeType GetAnimeType() const { return animeType_; }
  void SetAnimeType(TPanelAnimeType type);
  bool IsStopped() const { return run_ == kStopped; }

  void CallOnAnime() override;

protected:
  void ResetRun() {
    step_ = 0;
    run_ = kForward;
  }

private:
  enum Run : std::uint8_t { kForward, kBackward, kStopped };

  int frames_[kGroups] = {1, 0, 0, 0, 0, 0, 0, 0};
  int animeWait_ = 1;
  TPanelAnimeType animeType_ = patLoop;
  int step_ = 0;
  Run run_ = kForward;
};

class TZoRGBProgram : public TZoRGBAnime {
public:
  using TZoRGBAnime::TZoRGBAnime;

  bool SetAnimeData(VXAnimeData* data);  // not owned; always true
  VXAnimeData* GetAnimeData() const { return stat_.GetAnimeData(); }
  VXAnimeStat& GetStat() { return stat_; }

  bool IsGroupEnable(int group) const override;
  int GetFrameMax(int group) const override;
  int GetFrameBlock() const override;
  void ChangedGroup() override;
  void ChangedFrame() override;
  virtual void ChangedState();

  void CallOnAnime() override;

protected:
  void ResetRun() {}

private:
  mutable VXAnimeStat stat_;
};

// The button states over either animated panel.
template <class Base>
class TZoAnimeButton : public Base {
public:
  enum Group { kNormal, kFocus, kSelected, kDown, kDisable };

  using Base::Base;

  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    ChangedState();
  }
  bool GetSelected() const { return selected_; }
  void SetSelected(bool on) {
    if (on == selected_) return;
    selected_ = on;
    ChangedState();
  }
  bool GetAutoFocus() const { return autoFocus_; }
  void SetAutoFocus(bool on) {
    autoFocus_ = on;
    SetFocusFlag(false);
  }
  bool GetFocus() const { return focus_; }
  void SetFocus(bool on) {
    if (!autoFocus_) SetFocusFlag(on);
  }

  void ChangedState() override {
    Base::ResetRun();
    this->SetGroupIndex(StateGroup());
    this->SetModify();
  }

  void CallOnClick() override {
    if (enabled_) Base::CallOnClick();
  }
  void CallOnMouseDown(TMouseButton button, TShiftState shift, int x, int y) override {
    if (this->IsGroupEnable(kDown)) ChangedState();
    Base::CallOnMouseDown(button, shift, x, y);
  }
  void CallOnMouseUp(TMouseButton button, TShiftState shift, int x, int y) override {
    if (this->IsGroupEnable(kDown)) ChangedState();
    Base::CallOnMouseUp(button, shift, x, y);
  }
  void CallOnMouseEnter() override {
    if (autoFocus_) SetFocusFlag(true);
    Base::CallOnMouseEnter();
  }
  void CallOnMouseLeave() override {
    if (autoFocus_) SetFocusFlag(false);
    Base::CallOnMouseLeave();
  }
  void StatusClear() override {
    focus_ = false;
    Base::StatusClear();
  }

private:
  Group StateGroup() const {
    if (!enabled_ && this->IsGroupEnable(kDisable)) return kDisable;
    if (selected_ && this->IsGroupEnable(kSelected)) return kSelected;
    if ((this->GetPressed() || selected_) && this->IsGroupEnable(kDown)) return kDown;
    if (focus_ && this->IsGroupEnable(kFocus)) return kFocus;
    return kNormal;
  }
  void SetFocusFlag(bool on) {
    focus_ = on;
    if (this->IsGroupEnable(kFocus)) ChangedState();
  }

  bool enabled_ = true;
  bool selected_ = false;
  bool autoFocus_ = true;
  bool focus_ = false;
};

class TZoRGBSBtn : public TZoAnimeButton<TZoRGBSimple> {
public:
  using TZoAnimeButton<TZoRGBSimple>::TZoAnimeButton;

  int GetPatNormal() const { return GetFrameNum(kNormal); }
  int GetPatFocus() const { return GetFrameNum(kFocus); }
  int GetPatSelected() const { return GetFrameNum(kSelected); }
  int GetPatDown() const { return GetFrameNum(kDown); }
  int GetPatDisable() const { return GetFrameNum(kDisable); }
  void SetPatNormal(int n) { SetFrameNum(kNormal, n); }
  void SetPatFocus(int n) { SetFrameNum(kFocus, n); }
  void SetPatSelected(int n) { SetFrameNum(kSelected, n); }
  void SetPatDown(int n) { SetFrameNum(kDown, n); }
  void SetPatDisable(int n) { SetFrameNum(kDisable, n); }
};

class TZoRGBPBtn : public TZoAnimeButton<TZoRGBProgram> {
public:
  using TZoAnimeButton<TZoRGBProgram>::TZoAnimeButton;
};
