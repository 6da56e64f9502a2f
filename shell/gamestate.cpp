#include "shell/gamestate.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <string>
#include <tuple>
#include <type_traits>

#include "shell/readmes.h"
#include "shell/systemdata.h"

TGameState GameState;
TGameState SceneStartState;

struct TGameStateLayout {
  static_assert(std::is_standard_layout_v<TGameState> && std::is_trivially_copyable_v<TGameState>);
  static_assert(offsetof(TGameState, flags_) == 1);
  static_assert(offsetof(TGameState, systemFlags_) == 65);
  static_assert(offsetof(TGameState, pad0_) == 73);
  static_assert(offsetof(TGameState, vars_) == 76);
  static_assert(offsetof(TGameState, systemVars_) == 332);
  static_assert(offsetof(TGameState, strings_) == 364);
  static_assert(offsetof(TGameState, result_) == 2412);
  static_assert(offsetof(TGameState, result2_) == 2416);
  static_assert(offsetof(TGameState, chapter_) == 2420);
  static_assert(offsetof(TGameState, month_) == 2424);
  static_assert(offsetof(TGameState, minute_) == 2427);
  static_assert(offsetof(TGameState, subMinute_) == 2428);
  static_assert(offsetof(TGameState, dayPeriod_) == 2432);
  static_assert(offsetof(TGameState, endMonth_) == 2436);
  static_assert(offsetof(TGameState, endMinute_) == 2439);
  static_assert(offsetof(TGameState, stageValue_) == 2440);
  static_assert(offsetof(TGameState, sceneName_) == 2444);
  static_assert(offsetof(TGameState, stack_) == 2508);
  static_assert(offsetof(TGameState, frameBase_) == 3532);
  static_assert(offsetof(TGameState, stackCount_) == 3536);
  static_assert(offsetof(TGameState, scriptNumber_) == 3540);
  static_assert(offsetof(TGameState, scriptStamp_) == 3544);
  static_assert(offsetof(TGameState, scriptPos_) == 3548);
  static_assert(offsetof(TGameState, scriptEnded_) == 3552);
  static_assert(offsetof(TGameState, scriptWaiting_) == 3553);
  static_assert(offsetof(TGameState, pad1_) == 3554);
  static_assert(offsetof(TGameState, frames_) == 3556);
  static_assert(offsetof(TGameState, callDepth_) == 5348);
  static_assert(offsetof(TGameState, sceneParam_) == 5352);
  static_assert(offsetof(TGameState, shownPicture_) == 5356);
  static_assert(offsetof(TGameState, pendingPicture_) == 5360);
  static_assert(offsetof(TGameState, effectSpeed_) == 5364);
  static_assert(offsetof(TGameState, shownCharacters_) == 5368);
  static_assert(offsetof(TGameState, characters_) == 5380);
  static_assert(offsetof(TGameState, layoutKind_) == 5392);
  static_assert(offsetof(TGameState, shownSpeaking_) == 5396);
  static_assert(offsetof(TGameState, speaking_) == 5399);
  static_assert(offsetof(TGameState, novelMode_) == 5402);
  static_assert(offsetof(TGameState, messageShown_) == 5403);
  static_assert(offsetof(TGameState, sceneSwitches_) == 5404);
  static_assert(offsetof(TGameState, cursorShown_) == 5406);
  static_assert(offsetof(TGameState, skipForbidden_) == 5407);
  static_assert(offsetof(TGameState, place_) == 5408);
  static_assert(offsetof(TGameState, message_) == 5412);
  static_assert(offsetof(TGameState, messageNumber_) == 5668);
  static_assert(offsetof(TGameState, messageRead_) == 5672);
  static_assert(offsetof(TGameState, page_) == 5673);
  static_assert(offsetof(TGameState, pad2_) == 6521);
  static_assert(offsetof(TGameState, pageLine_) == 6524);
  static_assert(offsetof(TGameState, textSpeed_) == 6528);
  static_assert(offsetof(TGameState, backlog_) == 6532);
  static_assert(offsetof(TGameState, backlogOldest_) == 59532);
  static_assert(offsetof(TGameState, backlogCurrent_) == 59536);
  static_assert(offsetof(TGameState, choices_) == 59540);
  static_assert(offsetof(TGameState, bgmTrack_) == 59752);
  static_assert(offsetof(TGameState, bgmRate_) == 59756);
  static_assert(offsetof(TGameState, voiceRate_) == 59760);
  static_assert(offsetof(TGameState, voiceOptions_) == 59764);
  static_assert(offsetof(TGameState, seRate_) == 59772);
  static_assert(offsetof(TGameState, seOptions_) == 59776);
  static_assert(offsetof(TGameState, loopSe_) == 59784);
  static_assert(offsetof(TGameState, loopSeRate_) == 59788);
  static_assert(offsetof(TGameState, loopSeOptions_) == 59792);
  static_assert(offsetof(TGameState, extraSound_) == 59808);
  static_assert(offsetof(TGameState, extraSoundRate_) == 59812);
  static_assert(offsetof(TGameState, movieArg_) == 59816);
  static_assert(offsetof(TGameState, switches_) == 59820);
  static_assert(offsetof(TGameState, requestArg_) == 59852);
  static_assert(offsetof(TGameState, requestAnswer_) == 59856);
};

namespace {

constexpr int kDaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kDaysInYear = 365;
constexpr TDayPeriod kPeriodOfHour[24] = {
    dpLateNight, dpLateNight, dpLateNight, dpLateNight, dpLateNight, dpLateNight, dpMorning, dpMorning,
    dpMorning,   dpMorning,   dpDay,       dpDay,       dpDay,       dpDay,       dpDay,     dpDay,
    dpDay,       dpEvening,   dpEvening,   dpNight,     dpNight,     dpNight,     dpNight,   dpNight};
constexpr char kFullWidthBlank[] = "\x81\x40";

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

// Floor division: the remainder then lies in 0 .. divisor - 1.
std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
  return value / divisor - (value % divisor < 0 ? 1 : 0);
}

TDateTime Normalised(int month, int day, int hour, int minute) {
  month = std::clamp(month, 1, 12);
  return {month, std::clamp(day, 1, DaysInMonth(month)), std::clamp(hour, 0, 23), std::clamp(minute, 0, 59)};
}

void SetRate(std::int32_t& field, int rate) {
  if (InRange(rate, 0, 100)) field = rate;
}

}  // namespace

// ---- Calendar functions -----------------------------------------------------------------------------------------

int DaysInMonth(int month) { return InRange(month, 1, 12) ? kDaysIn[month - 1] : 0; }

int DayOfWeek(int month, int day) {
  if (!InRange(day, 1, DaysInMonth(month))) return 0;
  return (kDaysBefore[month - 1] + day - 1) % 7;
}

int CompareDateTime(const TDateTime& a, const TDateTime& b) {
  const auto key = [](const TDateTime& t) {
    return std::make_tuple(t.Month < 1 ? t.Month + 12 : t.Month, t.Day, t.Hour, t.Minute);
  };
  const auto ka = key(a);
  const auto kb = key(b);
  return ka < kb ? -1 : ka > kb ? 1 : 0;
}

// ---- Whole record -----------------------------------------------------------------------------------------------

TGameState::TGameState() { Reset(); }

void TGameState::Reset() {
  sceneMode_ = 0;
  std::memset(flags_, 0, sizeof flags_);
  std::memset(systemFlags_, 0, sizeof systemFlags_);
  std::memset(vars_, 0, sizeof vars_);
  std::memset(systemVars_, 0, sizeof systemVars_);
  std::memset(strings_, 0, sizeof strings_);
  result_ = 0;
  chapter_ = 0;
  SetNow({1, 1, 10, 0});
  subMinute_ = 0;
  dayPeriod_ = dpDay;
  ClearEndTime();
  stageValue_ = 100;
  std::memset(sceneName_, 0, sizeof sceneName_);
  ClearValueStack();
  scriptNumber_ = 0;
  scriptPos_ = 0;
  scriptEnded_ = 1;
  scriptWaiting_ = 0;
  ClearCallStack();
  std::memset(page_, 0, sizeof page_);
  pageLine_ = 0;
  ClearBacklog();
  ClearChoiceTexts();
  ResetScene();
}

void TGameState::ResetScene() {
  sceneParam_ = 0;
  shownPicture_ = kNoPicture;
  pendingPicture_ = kNoPicture;
  ClearSceneView();
  ResetSound();
}

void TGameState::ClearSceneView() {
  effectSpeed_ = 100;
  std::fill(std::begin(characters_), std::end(characters_), -1);
  std::fill(std::begin(shownCharacters_), std::end(shownCharacters_), -1);
  layoutKind_ = 0;
  std::memset(speaking_, 0, sizeof speaking_);
  std::memset(shownSpeaking_, 0, sizeof shownSpeaking_);
  novelMode_ = 0;
  messageShown_ = 0;
  std::memset(sceneSwitches_, 1, sizeof sceneSwitches_);
  cursorShown_ = 1;
  skipForbidden_ = 0;
  place_ = 0;
  std::memset(message_, 0, sizeof message_);
  messageNumber_ = -1;
  messageRead_ = 0;
  NewPage();
  textSpeed_ = 200;
  movieArg_ = 0;
  std::memset(switches_, 0, sizeof switches_);
  requestArg_ = -1;
  requestAnswer_ = 0;
}

void TGameState::ResetSound() {
  bgmTrack_ = -1;
  bgmRate_ = 100;
  voiceRate_ = 100;
  std::fill(std::begin(voiceOptions_), std::end(voiceOptions_), 0);
  seRate_ = 100;
  std::fill(std::begin(seOptions_), std::end(seOptions_), 0);
  loopSe_ = -1;
  loopSeRate_ = 100;
  std::fill(std::begin(loopSeOptions_), std::end(loopSeOptions_), 0);
  extraSound_ = -1;
  extraSoundRate_ = 100;
}

// ---- Flags, variables and strings -------------------------------------------------------------------------------

void TGameState::SetFlag(int index, bool on) {
  if (InRange(index, 0, kFlagCount - 1)) SetRecordBit(flags_, index, on);
}

bool TGameState::GetFlag(int index) const { return InRange(index, 0, kFlagCount - 1) && RecordBit(flags_, index); }

bool TGameState::GetSystemFlag(int index) const {
  return InRange(index, 0, kSystemFlagCount - 1) && RecordBit(systemFlags_, index);
}

void TGameState::SetSystemFlags(const void* src) { std::memcpy(systemFlags_, src, sizeof systemFlags_); }

void TGameState::SetVar(int index, int value) { SetRecordItem(vars_, index, value); }

int TGameState::GetVar(int index) const { return GetRecordItem(vars_, index, 0); }

int TGameState::GetSystemVar(int index) const { return GetRecordItem(systemVars_, index, 0); }

void TGameState::SetSystemVars(const void* src) { std::memcpy(systemVars_, src, sizeof systemVars_); }

void TGameState::SetString(int index, const VXString& text) {
  if (!InRange(index, 0, kStringCount - 1)) return;
  if (text.Length() > kStringLength) throw EGameErr();
  StoreRecordText(strings_[index], sizeof strings_[index], text);
}

VXString TGameState::GetString(int index) const {
  return InRange(index, 0, kStringCount - 1) ? RecordText(strings_[index], sizeof strings_[index]) : VXString();
}

// ---- Calendar ---------------------------------------------------------------------------------------------------

TDateTime TGameState::Now() const { return Normalised(month_, day_, hour_, minute_); }

TDateTime TGameState::End() const {
  if (endMonth_ == 0) return {0, endDay_, std::clamp<int>(endHour_, 0, 23), std::clamp<int>(endMinute_, 0, 59)};
  return Normalised(endMonth_, endDay_, endHour_, endMinute_);
}

void TGameState::SetNow(const TDateTime& t) {
  month_ = static_cast<std::uint8_t>(t.Month);
  day_ = static_cast<std::uint8_t>(t.Day);
  hour_ = static_cast<std::uint8_t>(t.Hour);
  minute_ = static_cast<std::uint8_t>(t.Minute);
}

void TGameState::SetMonth(int month) {
  if (InRange(month, 1, 12)) month_ = static_cast<std::uint8_t>(month);
}

void TGameState::SetDay(int day) {
  if (InRange(day, 1, DaysInMonth(Now().Month))) day_ = static_cast<std::uint8_t>(day);
}

void TGameState::SetHour(int hour) {
  if (InRange(hour, 0, 23)) hour_ = static_cast<std::uint8_t>(hour);
  if (hour_ < 24) dayPeriod_ = kPeriodOfHour[hour_];
}

void TGameState::SetMinute(int minute) {
  if (InRange(minute, 0, 59)) minute_ = static_cast<std::uint8_t>(minute);
}

void TGameState::SetSubMinute(int n) {
  if (InRange(n, 0, 59999)) subMinute_ = static_cast<std::uint32_t>(n) * 1000;
}

void TGameState::SetDate(int mmdd) {
  const int v = mmdd % 10000;
  SetMonth(v / 100);
  SetDay(v % 100);
}

void TGameState::SetTime(int hhmm) {
  const int v = hhmm % 10000;
  SetHour(v / 100);
  SetMinute(v % 100);
  SetSubMinute(0);
}

int TGameState::GetWeekday() const {
  const TDateTime now = Now();
  return DayOfWeek(now.Month, now.Day);
}

void TGameState::SetEndMonth(int month) {
  if (InRange(month, 1, 12)) endMonth_ = static_cast<std::uint8_t>(month);
}

void TGameState::SetEndDay(int day) {
  if (InRange(day, 1, DaysInMonth(endMonth_))) endDay_ = static_cast<std::uint8_t>(day);
}

void TGameState::SetEndHour(int hour) {
  if (InRange(hour, 0, 23)) endHour_ = static_cast<std::uint8_t>(hour);
}

void TGameState::SetEndMinute(int minute) {
  if (InRange(minute, 0, 59)) endMinute_ = static_cast<std::uint8_t>(minute);
}

void TGameState::SetEndDate(int mmdd) {
  const int v = mmdd % 10000;
  SetEndMonth(v / 100);
  SetEndDay(v % 100);
}

void TGameState::SetEndTime(int hhmm) {
  const int v = hhmm % 10000;
  SetEndHour(v / 100);
  SetEndMinute(v % 100);
}

void TGameState::ClearEndTime() { endMonth_ = endDay_ = endHour_ = endMinute_ = 0; }

void TGameState::ShiftDays(std::int64_t n) {
  if (n == 0) return;
  const TDateTime now = Now();
  const std::int64_t from = kDaysBefore[now.Month - 1] + now.Day - 1;
  const auto day = static_cast<int>(((from + n % kDaysInYear) % kDaysInYear + kDaysInYear) % kDaysInYear);
  const int month = static_cast<int>(std::upper_bound(std::begin(kDaysBefore), std::end(kDaysBefore), day) -
                                     std::begin(kDaysBefore));
  month_ = static_cast<std::uint8_t>(month);
  day_ = static_cast<std::uint8_t>(day - kDaysBefore[month - 1] + 1);
}

void TGameState::NextDay() { ShiftDays(1); }

void TGameState::PrevDay() { ShiftDays(-1); }

void TGameState::ShiftHours(std::int64_t n) {
  const std::int64_t hours = Now().Hour + n;
  const std::int64_t days = FloorDiv(hours, 24);
  ShiftDays(days);
  SetHour(static_cast<int>(hours - days * 24));
}

void TGameState::AddHours(int n) { ShiftHours(n); }

bool TGameState::CanAdvanceTime() const { return endMonth_ == 0 || CompareDateTime(Now(), End()) <= 0; }

void TGameState::StopAtEndTime() {
  if (endMonth_ == 0 || CompareDateTime(Now(), End()) <= 0) return;
  SetNow(End());
  subMinute_ = 0;
}

void TGameState::AddDays(int n) {
  if (!CanAdvanceTime()) return;
  ShiftDays(n);
  StopAtEndTime();
}

void TGameState::AddMinutes(int n) {
  if (!CanAdvanceTime()) return;
  const std::int64_t minutes = Now().Minute + static_cast<std::int64_t>(n);
  const std::int64_t hours = FloorDiv(minutes, 60);
  if (hours != 0) ShiftHours(hours);
  SetMinute(static_cast<int>(minutes - hours * 60));
  StopAtEndTime();
}

// ---- Stage ------------------------------------------------------------------------------------------------------

void TGameState::SetSceneParam(int value) {
  if (InRange(value, 0, 5)) sceneParam_ = value;
}

void TGameState::SetStageValue(int value) { stageValue_ = static_cast<std::uint32_t>(std::clamp(value, 0, 255)); }

int TGameState::GetStageValue() const { return static_cast<int>(std::min<std::uint32_t>(stageValue_, 255)); }

int TGameState::GetStageLevel() const { return std::min(GetStageValue() / 50, 4); }

void TGameState::SetSceneName(const VXString& name) {
  if (name.Length() > kSceneNameLength) throw EGameErr();
  StoreRecordText(sceneName_, sizeof sceneName_, name);
}

VXString TGameState::GetSceneName() const { return RecordText(sceneName_, sizeof sceneName_); }

// ---- Value stack and call frames --------------------------------------------------------------------------------

void TGameState::PushValue(int value) {
  if (!InRange(stackCount_, 0, kStackSize - 1)) throw EGameErr();
  stack_[stackCount_++] = value;
}

int TGameState::PeekValue() const {
  if (stackCount_ <= std::max(frameBase_, 0) || stackCount_ > kStackSize) throw EGameErr();
  return stack_[stackCount_ - 1];
}

int TGameState::PopValue() {
  const int value = PeekValue();
  --stackCount_;
  return value;
}

void TGameState::ClearValueStack() {
  std::memset(stack_, 0, sizeof stack_);
  frameBase_ = 0;
  stackCount_ = 0;
}

void TGameState::RestoreValueStack(int base, int count) {
  if (base < 0 || base > count || count > kStackSize) throw EGameErr();
  frameBase_ = base;
  stackCount_ = count;
}

void TGameState::PushCallFrame(const TCallFrame& frame) {
  if (!InRange(callDepth_, 0, kMaxCallDepth - 1)) throw EGameErr();
  frames_[callDepth_++] = frame;
}

void TGameState::PopCallFrame(TCallFrame& frame) {
  if (!InRange(callDepth_, 1, kMaxCallDepth)) throw EGameErr();
  frame = frames_[--callDepth_];
}

void TGameState::ClearCallStack() {
  for (TCallFrame& frame : frames_) frame.Script = frame.ReturnPos = frame.FrameBase = frame.Count = 0;
  callDepth_ = 0;
}

TCallFrame TGameState::GetCallFrame(int index) const {
  return InRange(index, 0, std::clamp(callDepth_, 0, kMaxCallDepth) - 1) ? frames_[index] : TCallFrame{};
}

// ---- Scene view -------------------------------------------------------------------------------------------------

void TGameState::SetCharacter(int slot, int character) { SetRecordItem(characters_, slot, character); }

int TGameState::GetCharacter(int slot) const { return GetRecordItem(characters_, slot, -1); }

void TGameState::SetShownCharacter(int slot, int character) { SetRecordItem(shownCharacters_, slot, character); }

int TGameState::GetShownCharacter(int slot) const { return GetRecordItem(shownCharacters_, slot, -1); }

void TGameState::SetSpeaking(int slot, bool on) { SetRecordItem(speaking_, slot, on); }

bool TGameState::IsSpeaking(int slot) const { return GetRecordItem(speaking_, slot, 0) != 0; }

void TGameState::SetShownSpeaking(int slot, bool on) { SetRecordItem(shownSpeaking_, slot, on); }

bool TGameState::IsShownSpeaking(int slot) const { return GetRecordItem(shownSpeaking_, slot, 0) != 0; }

void TGameState::SetSceneSwitch(int index, bool on) { SetRecordItem(sceneSwitches_, index, on); }

bool TGameState::GetSceneSwitch(int index) const { return GetRecordItem(sceneSwitches_, index, 0) != 0; }

void TGameState::SetTextSpeed(int speed) {
  if (InRange(speed, 0, 3000)) textSpeed_ = speed;
}

// ---- Message ----------------------------------------------------------------------------------------------------

void TGameState::SetMessageText(const VXString& text) {
  StoreRecordText(message_, sizeof message_, CutRecordText(text, kMessageLength));
}

VXString TGameState::GetMessageText() const { return RecordText(message_, sizeof message_); }

namespace {

// The read-text log's key of a message, or 0 when the message cannot be logged.
std::uint32_t MessageKey(int script, int number) {
  if (!InRange(number, 1, 65535) || !InRange(script, 0, 65535)) return 0;
  return static_cast<std::uint32_t>(script) << 16 | static_cast<std::uint32_t>(number);
}

}  // namespace

void TGameState::SetMessage(int number, const VXString& text) {
  messageNumber_ = number;
  SetMessageText(text);
  const std::uint32_t key = MessageKey(scriptNumber_, number);
  messageRead_ = key != 0 && ReadMesTable.IsRead(key);
}

void TGameState::MarkMessageRead() {
  if (messageRead_ != 0 || messageNumber_ < 1) return;
  if (const std::uint32_t key = MessageKey(scriptNumber_, messageNumber_); key != 0) ReadMesTable.MarkRead(key);
  messageNumber_ = -1;
}

// ---- Text page, backlog and choices -----------------------------------------------------------------------------

void TGameState::StoreLine(Line& line, const VXString& text) {
  StoreRecordText(line, sizeof line, CutRecordText(text, kLineLength));
}

VXString TGameState::LineText(const Line& line) { return RecordText(line, sizeof line); }

void TGameState::SetPageLine(int line, const VXString& text) {
  if (InRange(line, 0, kPageLines - 1)) StoreLine(page_[line], text);
}

VXString TGameState::GetPageLine(int line) const {
  return InRange(line, 0, kPageLines - 1) ? LineText(page_[line]) : VXString();
}

void TGameState::AddPageText(const VXString& text) {
  if (InRange(pageLine_, 0, kPageLines - 1)) StoreLine(page_[pageLine_], LineText(page_[pageLine_]) + text);
  AddBacklogText(text);
}

void TGameState::NewPageLine() {
  if (pageLine_ < INT_MAX) ++pageLine_;
  NewBacklogLine();
}

void TGameState::NewPage() {
  if (pageLine_ > 0 || page_[0][0] != 0) NewBacklogLine();
  std::memset(page_, 0, sizeof page_);
  pageLine_ = 0;
}

void TGameState::SetPageCursor(int column, int line) {
  if (!InRange(column, 0, kPageColumns - 1) || !InRange(line, 0, kPageLines - 1)) return;
  if (line < pageLine_ || (line == pageLine_ && strnlen(page_[line], sizeof page_[line]) > 2u * column)) NewPage();
  std::string blanks;
  for (int i = 0; i < column; ++i) blanks += kFullWidthBlank;
  const VXString text(blanks.c_str(), static_cast<unsigned int>(blanks.size()));
  pageLine_ = line;
  StoreLine(page_[line], text);
  NewBacklogLine();
  AddBacklogText(text);
}

int TGameState::Oldest() const { return InRange(backlogOldest_, 0, kBacklogLines - 1) ? backlogOldest_ : 0; }

int TGameState::Current() const { return InRange(backlogCurrent_, 0, kBacklogLines - 1) ? backlogCurrent_ : 0; }

int TGameState::GetBacklogCount() const {
  const int oldest = Oldest();
  const int current = Current();
  return current >= oldest ? current - oldest + 1 : current + kBacklogLines - oldest + 1;
}

void TGameState::SetBacklogLine(int index, const VXString& text) {
  if (InRange(index, 0, GetBacklogCount() - 1)) StoreLine(backlog_[(Oldest() + index) % kBacklogLines], text);
}

VXString TGameState::GetBacklogLine(int index) const {
  if (!InRange(index, 0, GetBacklogCount() - 1)) return VXString();
  return LineText(backlog_[(Oldest() + index) % kBacklogLines]);
}

void TGameState::AddBacklogText(const VXString& text) {
  Line& line = backlog_[Current()];
  StoreLine(line, LineText(line) + text);
}

void TGameState::NewBacklogLine() {
  int oldest = Oldest();
  const int current = Current();
  if (oldest == (current + 1) % kBacklogLines) {
    std::memset(backlog_[oldest], 0, sizeof backlog_[oldest]);
    oldest = (oldest + 1) % kBacklogLines;
  }
  backlogOldest_ = oldest;
  backlogCurrent_ = (current + 1) % kBacklogLines;
}

void TGameState::ClearBacklog() {
  std::memset(backlog_, 0, sizeof backlog_);
  backlogOldest_ = 0;
  backlogCurrent_ = 0;
}

void TGameState::SetChoiceText(int index, const VXString& text) {
  if (InRange(index, 0, kChoiceCount - 1)) StoreLine(choices_[index], text);
}

VXString TGameState::GetChoiceText(int index) const {
  return InRange(index, 0, kChoiceCount - 1) ? LineText(choices_[index]) : VXString();
}

void TGameState::ClearChoiceTexts() { std::memset(choices_, 0, sizeof choices_); }

// ---- Sound, switches --------------------------------------------------------------------------------------------

void TGameState::SetBgmRate(int rate) { SetRate(bgmRate_, rate); }

void TGameState::SetVoiceRate(int rate) { SetRate(voiceRate_, rate); }

void TGameState::SetVoiceOption(int index, int value) { SetRecordItem(voiceOptions_, index, value); }

int TGameState::GetVoiceOption(int index) const { return GetRecordItem(voiceOptions_, index, 0); }

void TGameState::SetSeRate(int rate) { SetRate(seRate_, rate); }

void TGameState::SetSeOption(int index, int value) { SetRecordItem(seOptions_, index, value); }

int TGameState::GetSeOption(int index) const { return GetRecordItem(seOptions_, index, 0); }

void TGameState::SetLoopSeRate(int rate) { SetRate(loopSeRate_, rate); }

void TGameState::SetLoopSeOption(int index, int value) { SetRecordItem(loopSeOptions_, index, value); }

int TGameState::GetLoopSeOption(int index) const { return GetRecordItem(loopSeOptions_, index, 0); }

void TGameState::SetExtraSoundRate(int rate) { SetRate(extraSoundRate_, rate); }

void TGameState::SetSwitch(int index, bool on) { SetRecordItem(switches_, index, on); }

bool TGameState::GetSwitch(int index) const { return GetRecordItem(switches_, index, 0) != 0; }

void TGameState::SetAllSwitches(bool on) { std::memset(switches_, on ? 1 : 0, sizeof switches_); }
