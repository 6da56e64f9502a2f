// What every game-state record must answer, whatever bytes it holds: for the fuzz targets that craft or load
// records. Aborts on a value outside its range.
#pragma once

#include <cstdlib>

#include "shell/gamestate.h"

inline void CheckGameState(const TGameState& s) {
  const TDateTime now = s.Now();
  if (now.Month < 1 || now.Month > 12 || now.Day < 1 || now.Day > DaysInMonth(now.Month) || now.Hour < 0 ||
      now.Hour > 23 || now.Minute < 0 || now.Minute > 59)
    std::abort();
  if (s.GetWeekday() < 0 || s.GetWeekday() > 6) std::abort();
  if (s.GetStageValue() < 0 || s.GetStageValue() > 255 || s.GetStageLevel() < 0 || s.GetStageLevel() > 4) std::abort();
  const int count = s.GetBacklogCount();
  if (count < 1 || count > TGameState::kBacklogLines) std::abort();
  if (s.GetBacklogLine(count - 1).Length() > TGameState::kLineLength) std::abort();
  if (s.GetBacklogLine(0).Length() > TGameState::kLineLength) std::abort();
  if (s.GetPageLine(0).Length() > TGameState::kLineLength || s.GetChoiceText(3).Length() > TGameState::kLineLength)
    std::abort();
  if (s.GetMessageText().Length() > TGameState::kMessageLength) std::abort();
  if (s.GetString(0).Length() > TGameState::kStringLength) std::abort();
  if (s.GetSceneName().Length() > TGameState::kSceneNameLength) std::abort();
}
