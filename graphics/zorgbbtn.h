// The push button of the panel tree. Its picture holds the looks as blocks stacked vertically, grouped by state
// from the top: PatNormal normal blocks, PatFocus focus blocks, PatSelected, PatDown, PatDisable. The button shows
// the first block of its state's group and animates through the group every AnimeWait frames; OnClick fires only
// while Enabled (OnMouseDown and OnMouseUp fire in any case).
//
// State priority: disabled (with disabled blocks), selected (with selected blocks), pressed or selected (with down
// blocks), focus (with focus blocks), normal. With AutoFocus the mouse sets and clears the focus.
#pragma once

#include "graphics/zorgbpanel.h"

enum TBtnAnimeType : std::uint8_t {
  batWraparound = 0,  // after the group's last block its first
  batRoundtrip = 1,   // forward and back
};

class TZoRGBBtn : public TZoRGBPanel {
public:
  explicit TZoRGBBtn(Classes::TComponent* owner);              // 98 x 31
  TZoRGBBtn(Classes::TComponent* owner, TZoRGBPanel* parent);  // keeps the panel's 640 x 480

  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool on);
  bool GetSelected() const { return selected_; }
  void SetSelected(bool on);
  int GetPatNormal() const { return pats_[kNormal]; }
  int GetPatFocus() const { return pats_[kFocus]; }
  int GetPatSelected() const { return pats_[kSelected]; }
  int GetPatDown() const { return pats_[kDown]; }
  int GetPatDisable() const { return pats_[kDisable]; }
  // Counts above kZoMaxBlocks are ignored.
  void SetPatNormal(int n) { SetPat(kNormal, n, 1); }  // at least 1
  void SetPatFocus(int n) { SetPat(kFocus, n, 0); }
  void SetPatSelected(int n) { SetPat(kSelected, n, 0); }
  void SetPatDown(int n) { SetPat(kDown, n, 0); }
  void SetPatDisable(int n) { SetPat(kDisable, n, 0); }
  int GetAnimeWait() const { return animeWait_; }
  void SetAnimeWait(int n);  // negative ignored; 0 and 1 both step every frame
  bool GetAutoFocus() const { return autoFocus_; }
  void SetAutoFocus(bool on);
  bool GetFocus() const { return focus_; }
  void SetFocus(bool on);  // only while AutoFocus is clear
  TBtnAnimeType GetAnimeType() const { return animeType_; }
  void SetAnimeType(TBtnAnimeType type);

  void ChangeState();  // the first block of the current state's group

  void CallOnClick() override;
  void CallOnMouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void CallOnMouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void CallOnMouseEnter() override;
  void CallOnMouseLeave() override;
  void CallOnAnime() override;
  void StatusClear() override;

private:
  enum Group { kNormal, kFocus, kSelected, kDown, kDisable, kGroups };
  void SetPat(int group, int n, int least);
  Group StateGroup() const;
  int GroupStart(int group) const;
  void SetFocusFlag(bool on);

  bool enabled_ = true;
  bool selected_ = false;
  int pats_[kGroups] = {1, 0, 0, 0, 0};
  int animeWait_ = 1;
  bool autoFocus_ = true;
  TBtnAnimeType animeType_ = batWraparound;
  int step_ = 0;
  bool forward_ = true;
  bool focus_ = false;
};
