// The stage as the adventure host drives it: the host's small stage interface over the real stage unit. The unit
// is not owned; the caller opens it (with the system files) before the host opens and closes it afterwards.
#pragma once

#include "scenario/avgu.h"

class TStageUnit;

class TAvgStageUnit : public TAvgStage {
public:
  explicit TAvgStageUnit(TStageUnit& stage) : stage_(stage) {}

  void Attach(TZoRGBPanel* parent) override;
  void Detach() override;
  void SetDayPeriod(int period) override;
  void SetWeatherCode(int code) override;
  void SetStageLevel(int level) override;
  void SetBGCode(int picture) override;
  void SetChars(const int numbers[3], int moveKind) override;
  bool ChangeStage(int transition, int ratePercent) override;
  bool ChangeChars() override;
  // Shakes 0-3 and the white flash 4; other effects are nothing.
  bool StartEffect(int effect) override;
  void SetTalk(int slot, bool on) override;
  // The stage reads the setting itself at its next change; nothing to do now.
  void SetSimpleDisplay(bool on) override;
  void Update(int elapsed, bool effectCanSkip, bool skipping) override;
  bool IsBusy() const override;
  TZoRGBBits* GetPicture() override;
  void SetMouseCallback(const VXBaseCallback1<bool, int>& callback) override;

  TStageUnit& Unit() const { return stage_; }

private:
  TStageUnit& stage_;
};
