#include "scenario/avgstage.h"

#include "scenario/stageu.h"

void TAvgStageUnit::Attach(TZoRGBPanel* parent) { stage_.Attach(parent); }
void TAvgStageUnit::Detach() { stage_.Detach(); }
void TAvgStageUnit::SetDayPeriod(int period) { stage_.SetDayPeriod(period); }
void TAvgStageUnit::SetWeatherCode(int code) { stage_.SetWeatherCode(code); }
void TAvgStageUnit::SetStageLevel(int level) { stage_.SetStageLevel(level); }
void TAvgStageUnit::SetBGCode(int picture) { stage_.SetBGCode(picture); }
void TAvgStageUnit::SetChars(const int numbers[3], int moveKind) { stage_.SetChars(numbers, moveKind); }
bool TAvgStageUnit::ChangeStage(int transition, int ratePercent) { return stage_.ChangeStage(transition, ratePercent); }
bool TAvgStageUnit::ChangeChars() { return stage_.ChangeChars(); }
bool TAvgStageUnit::StartEffect(int effect) { return stage_.StartShake(effect); }
void TAvgStageUnit::SetTalk(int slot, bool on) { stage_.SetTalk(slot, on); }
void TAvgStageUnit::SetSimpleDisplay(bool) {}

// The frame steps the stage; a skip ends a running change at once only where the settings let effects be skipped.
void TAvgStageUnit::Update(int elapsed, bool effectCanSkip, bool skipping) {
  stage_.Frame(elapsed, skipping && effectCanSkip);
}

bool TAvgStageUnit::IsBusy() const { return stage_.IsBusy(); }

TZoRGBBits* TAvgStageUnit::GetPicture() { return stage_.IsOpen() ? stage_.StagePanel->GetImage() : nullptr; }

void TAvgStageUnit::SetMouseCallback(const VXBaseCallback1<bool, int>& callback) { stage_.SetMouseCallback(callback); }
