// The game-state record: one play-through at a given moment. Game flags, variables and strings, the calendar, the
// script machine's registers, value stack and call frames, the scene on show (pictures, characters, message, text
// page, backlog, choices) and the sound to replay. A slot save stores records byte for byte, so the layout is a file
// layout: 59,860 bytes, little-endian, every field at a fixed offset.
//
// Any 59,860 bytes are a record that every operation can work on: stack counts, call depth, cursors, calendar
// fields and texts read from the record are checked before they are used, so no accessor reaches outside it.
// Setters ignore indices and values outside their ranges; getters give 0, false, -1 or an empty string there.
// Only what would corrupt the running script throws EGameErr; the record is then unchanged.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "core/vxstring.h"

// The game's error: a script that cannot go on. Its message is "GameErr".
class EGameErr : public std::runtime_error {
public:
  EGameErr() : std::runtime_error("GameErr") {}
};

// The period of day that the stage shows, from the hour.
enum TDayPeriod : std::int32_t {
  dpDay = 0,        // 10-16 h
  dpEvening = 1,    // 17-18 h
  dpNight = 2,      // 19-23 h
  dpLateNight = 3,  // 0-5 h
  dpMorning = 4,    // 6-9 h
};

// A moment of the game's calendar. Every year has 365 days (no leap years) and starts on weekday 0.
struct TDateTime {
  int Month;
  int Day;
  int Hour;
  int Minute;
};

// (days before the month + day - 1) mod 7; 0 for a date that does not exist.
int DayOfWeek(int month, int day);
// -1, 0 or 1 as a lies before, at or after b, by month, day, hour and minute; a month below 1 counts as
// month + 12.
int CompareDateTime(const TDateTime& a, const TDateTime& b);
int DaysInMonth(int month);  // 0 outside 1-12

// One call of the script machine, as it pushes and pops it.
struct TCallFrame {
  std::int32_t Script;
  std::uint32_t Stamp;
  std::int32_t ReturnPos;
  std::int32_t FrameBase;  // the value stack as it was at the call
  std::int32_t Count;
  std::int32_t Result;  // the registers as they were at the call
  std::int32_t Result2;
};
static_assert(sizeof(TCallFrame) == 28);

class TGameState {
public:
  static constexpr int kFlagCount = 512;
  static constexpr int kSystemFlagCount = 64;
  static constexpr int kVarCount = 64;
  static constexpr int kSystemVarCount = 8;
  static constexpr int kStringCount = 16;
  static constexpr int kStringLength = 127;
  static constexpr int kSceneNameLength = 63;
  static constexpr int kStackSize = 256;
  static constexpr int kMaxCallDepth = 64;
  static constexpr int kMessageLength = 255;
  static constexpr int kLineLength = 52;  // 26 double-byte cells; a line field has 53 bytes
  static constexpr int kPageLines = 16;
  static constexpr int kPageColumns = 26;
  static constexpr int kBacklogLines = 1000;
  static constexpr int kChoiceCount = 4;
  static constexpr int kSlotCount = 3;  // character slots: 0 left, 1 centre, 2 right
  static constexpr int kSwitchCount = 32;
  static constexpr int kNoPicture = 999;

  TGameState();  // cleared, then Reset

  // The start of a new game: everything below takes its start value, except the second register and the script
  // stamp, which keep theirs. Ends with ResetScene.
  void Reset();
  // Scene parameter 0, both pictures 999, then ClearSceneView and ResetSound.
  void ResetScene();
  // Stage effect speed, characters, the window and cursor flags, place, message, text page (through NewPage), text
  // speed, movie argument, scenario switches and the request.
  void ClearSceneView();
  // The sound to replay: no BGM, loop SE or extra sound, every rate 100, every pending option 0.
  void ResetSound();

  // ---- Flags, variables, strings and registers ----
  void SetSceneMode(std::uint8_t mode) { sceneMode_ = mode; }  // 0 runs, 1 click, 2 choice, 3 extra, 4 music
  std::uint8_t GetSceneMode() const { return sceneMode_; }
  void SetFlag(int index, bool on);  // 0-511
  bool GetFlag(int index) const;
  bool GetSystemFlag(int index) const;  // the copy of system flag 0-63
  void SetSystemFlags(const void* src);  // 8 bytes
  void SetVar(int index, int value);  // 0-63
  int GetVar(int index) const;
  int GetSystemVar(int index) const;  // the copy of system variable 0-7
  void SetSystemVars(const void* src);  // 32 bytes
  void SetString(int index, const VXString& text);  // slot 0-15; over 127 bytes throws
  VXString GetString(int index) const;
  void SetResult(int value) { result_ = value; }
  int GetResult() const { return result_; }
  void SetResult2(int value) { result2_ = value; }
  int GetResult2() const { return result2_; }
  void SetScriptWord(int value) { chapter_ = value; }  // the chapter number
  int GetScriptWord() const { return chapter_; }

  // ---- Calendar ----
  // The getters give the stored values brought into their ranges (a month outside 1-12 reads as the nearest
  // month, a day as the nearest day of that month, and so on); the calendar steps work on those.
  void SetMonth(int month);  // 1-12
  void SetDay(int day);      // 1 to the days of the current month
  void SetHour(int hour);    // 0-23; the period of day is then recomputed from the stored hour in any case
  void SetMinute(int minute);  // 0-59
  void SetSubMinute(int n);    // 0 <= n < 60,000; stores n x 1000
  void SetDate(int mmdd);      // month, then the day tested against the new month
  void SetTime(int hhmm);      // hour, minute, sub-minute 0
  int GetMonth() const { return Now().Month; }
  int GetDay() const { return Now().Day; }
  int GetHour() const { return Now().Hour; }
  int GetMinute() const { return Now().Minute; }
  std::uint32_t GetSubMinute() const { return subMinute_; }
  int GetDayPeriod() const { return dayPeriod_; }
  int GetWeekday() const;
  TDateTime Now() const;

  // The end time beyond which the days and minutes do not advance. End month 0: none.
  void SetEndMonth(int month);
  void SetEndDay(int day);  // 1 to the days of the end month
  void SetEndHour(int hour);
  void SetEndMinute(int minute);
  void SetEndDate(int mmdd);
  void SetEndTime(int hhmm);
  void ClearEndTime();  // all four end fields 0
  int GetEndMonth() const { return End().Month; }
  int GetEndDay() const { return End().Day; }
  int GetEndHour() const { return End().Hour; }
  int GetEndMinute() const { return End().Minute; }
  TDateTime End() const;

  // The calendar steps are computed, whatever their size. Days wrap from 31 December to 1 January and back.
  void NextDay();
  void PrevDay();
  bool CanAdvanceTime() const;  // no end time, or now is not after it
  // Only while time can advance; a step past the end time stops at the end time (sub-minute 0, the period left as
  // it was).
  void AddDays(int n);
  void AddMinutes(int n);
  void AddHours(int n);  // no end-time rule; the period follows the new hour

  // ---- Stage ----
  void SetSceneParam(int value);  // 0-5, the weather
  int GetSceneParam() const { return sceneParam_; }
  void SetStageValue(int value);  // clamped to 0-255
  int GetStageValue() const;
  int GetStageLevel() const;  // value / 50, at most 4
  void SetSceneName(const VXString& name);  // over 63 bytes throws
  VXString GetSceneName() const;

  // ---- Script machine ----
  // Value stack: the script may not pop below the frame base. A call does not move the frame base: the callee sees
  // and may pop its caller's words; a return restores base and count from its frame.
  void PushValue(int value);  // a full stack throws
  int PopValue();             // a count at the frame base throws
  int PeekValue() const;      // as PopValue
  void ClearValueStack();     // words zeroed, count and base 0
  int GetValueCount() const { return stackCount_; }
  int GetFrameBase() const { return frameBase_; }
  // Restores a frame's stack; throws unless 0 <= base <= count <= 256.
  void RestoreValueStack(int base, int count);

  void SetScriptNumber(int script) { scriptNumber_ = script; }
  int GetScriptNumber() const { return scriptNumber_; }
  void SetScriptStamp(std::uint32_t stamp) { scriptStamp_ = stamp; }
  std::uint32_t GetScriptStamp() const { return scriptStamp_; }
  void SetScriptPos(int position) { scriptPos_ = position; }
  int GetScriptPos() const { return scriptPos_; }
  void SetScriptEnded(bool ended) { scriptEnded_ = ended; }
  bool IsScriptEnded() const { return scriptEnded_ != 0; }
  void SetScriptWaiting(bool waiting) { scriptWaiting_ = waiting; }
  bool IsScriptWaiting() const { return scriptWaiting_ != 0; }

  void PushCallFrame(const TCallFrame& frame);  // 64 frames deep throws
  void PopCallFrame(TCallFrame& frame);         // no frame throws
  void ClearCallStack();
  int GetCallDepth() const { return callDepth_; }
  TCallFrame GetCallFrame(int index) const;  // 0 is the oldest; all zero outside the depth

  // ---- Scene view ----
  void SetShownPicture(int number) { shownPicture_ = number; }  // 999: none
  int GetShownPicture() const { return shownPicture_; }
  void SetPendingPicture(int number) { pendingPicture_ = number; }
  int GetPendingPicture() const { return pendingPicture_; }
  void SetStageEffectSpeed(int speed) { effectSpeed_ = speed < 1 ? 1 : speed; }
  int GetStageEffectSpeed() const { return effectSpeed_; }
  // Character slots 0-2 (-1 empty, also outside 0-2) with their speaking flags, pending and shown.
  void SetCharacter(int slot, int character);
  int GetCharacter(int slot) const;
  void SetShownCharacter(int slot, int character);
  int GetShownCharacter(int slot) const;
  void SetSpeaking(int slot, bool on);
  bool IsSpeaking(int slot) const;
  void SetShownSpeaking(int slot, bool on);
  bool IsShownSpeaking(int slot) const;
  void SetLayoutKind(int kind) { layoutKind_ = kind; }  // 0 none, 1 left, 2 right, 3 redraw, 4 clear all
  int GetLayoutKind() const { return layoutKind_; }
  void SetNovelMode(bool on) { novelMode_ = on; }
  bool IsNovelMode() const { return novelMode_ != 0; }
  void SetMessageWindowShown(bool on) { messageShown_ = on; }
  bool IsMessageWindowShown() const { return messageShown_ != 0; }
  void SetSceneSwitch(int index, bool on);  // 0-1
  bool GetSceneSwitch(int index) const;
  void SetCursorShown(bool on) { cursorShown_ = on; }
  bool IsCursorShown() const { return cursorShown_ != 0; }
  void SetSkipForbidden(bool on) { skipForbidden_ = on; }
  bool IsSkipForbidden() const { return skipForbidden_ != 0; }
  void SetPlace(int place) { place_ = place; }
  int GetPlace() const { return place_; }
  void SetTextSpeed(int speed);  // 0-3000
  int GetTextSpeed() const { return textSpeed_; }

  // ---- Message ----
  // Cut to 255 bytes on a character boundary.
  void SetMessageText(const VXString& text);
  VXString GetMessageText() const;
  bool IsMessageEmpty() const { return message_[0] == 0; }
  // Number and text; the already-read flag from the read-text log for numbers 1-65535 of scripts 0-65535.
  void SetMessage(int number, const VXString& text);
  int GetMessageNumber() const { return messageNumber_; }
  bool IsMessageRead() const { return messageRead_ != 0; }
  // An unread message numbered 1 or more goes into the read-text log (when its key exists) and its number
  // becomes -1.
  void MarkMessageRead();

  // ---- Text page, backlog and choices ----
  // Line texts are cut to 52 bytes on a character boundary.
  void SetPageLine(int line, const VXString& text);  // 0-15
  VXString GetPageLine(int line) const;
  int GetCurrentPageLine() const { return pageLine_; }
  void AddPageText(const VXString& text);  // to the current page line (when 0-15) and to the backlog
  void NewPageLine();
  void NewPage();  // the page cleared; a new backlog line when the page held anything
  // Moves the text cursor to a column (0-25) of a line (0-15), starting a new page when that is behind the
  // cursor; the line takes column full-width blanks, in the backlog too.
  void SetPageCursor(int column, int line);

  // The ring of 1,000 lines holds at least the current line. A stored cursor outside the ring counts as line 0.
  int GetBacklogCount() const;
  void SetBacklogLine(int index, const VXString& text);  // 0 is the oldest line, below the count
  VXString GetBacklogLine(int index) const;
  void AddBacklogText(const VXString& text);  // to the current line
  void NewBacklogLine();                      // drops the oldest line when the ring is full
  void ClearBacklog();

  void SetChoiceText(int index, const VXString& text);  // 0-3
  VXString GetChoiceText(int index) const;
  void ClearChoiceTexts();

  // ---- Sound to replay ----
  // Rates are 0-100; a track or number below 0 is none (-1). Options: voice 0-1, SE 0-1, loop SE 0-1 as
  // started, 2-3 pending.
  void SetBgmTrack(int track) { bgmTrack_ = track < 0 ? -1 : track; }
  int GetBgmTrack() const { return bgmTrack_; }
  void SetBgmRate(int rate);
  int GetBgmRate() const { return bgmRate_; }
  void SetVoiceRate(int rate);
  int GetVoiceRate() const { return voiceRate_; }
  void SetVoiceOption(int index, int value);
  int GetVoiceOption(int index) const;
  void SetSeRate(int rate);
  int GetSeRate() const { return seRate_; }
  void SetSeOption(int index, int value);
  int GetSeOption(int index) const;
  void SetLoopSe(int number) { loopSe_ = number < 0 ? -1 : number; }
  int GetLoopSe() const { return loopSe_; }
  void SetLoopSeRate(int rate);
  int GetLoopSeRate() const { return loopSeRate_; }
  void SetLoopSeOption(int index, int value);
  int GetLoopSeOption(int index) const;
  void SetExtraSound(int number) { extraSound_ = number < 0 ? -1 : number; }
  int GetExtraSound() const { return extraSound_; }
  void SetExtraSoundRate(int rate);
  int GetExtraSoundRate() const { return extraSoundRate_; }

  // ---- Movies, switches and requests ----
  void SetMovieArg(int value) { movieArg_ = value; }
  int GetMovieArg() const { return movieArg_; }
  void SetSwitch(int index, bool on);  // scenario switches 0-31
  bool GetSwitch(int index) const;
  void SetAllSwitches(bool on);
  void SetRequestArg(int value) { requestArg_ = value; }
  int GetRequestArg() const { return requestArg_; }
  void SetRequestAnswer(int value) { requestAnswer_ = value; }  // what the music game asked for returned
  int GetRequestAnswer() const { return requestAnswer_; }

private:
  friend struct TGameStateLayout;
  using Line = char[kLineLength + 1];

  void SetNow(const TDateTime& t);
  void ShiftDays(std::int64_t n);
  void ShiftHours(std::int64_t n);
  void StopAtEndTime();
  int Oldest() const;
  int Current() const;
  static void StoreLine(Line& line, const VXString& text);
  static VXString LineText(const Line& line);

  std::uint8_t sceneMode_ = 0;
  std::uint8_t flags_[kFlagCount / 8] = {};
  std::uint8_t systemFlags_[kSystemFlagCount / 8] = {};
  [[maybe_unused]] std::uint8_t pad0_[3] = {};
  std::int32_t vars_[kVarCount] = {};
  std::int32_t systemVars_[kSystemVarCount] = {};
  char strings_[kStringCount][kStringLength + 1] = {};
  std::int32_t result_ = 0;
  std::int32_t result2_ = 0;
  std::int32_t chapter_ = 0;
  std::uint8_t month_ = 0;
  std::uint8_t day_ = 0;
  std::uint8_t hour_ = 0;
  std::uint8_t minute_ = 0;
  std::uint32_t subMinute_ = 0;
  std::int32_t dayPeriod_ = 0;
  std::uint8_t endMonth_ = 0;
  std::uint8_t endDay_ = 0;
  std::uint8_t endHour_ = 0;
  std::uint8_t endMinute_ = 0;
  std::uint32_t stageValue_ = 0;
  char sceneName_[kSceneNameLength + 1] = {};
  std::int32_t stack_[kStackSize] = {};
  std::int32_t frameBase_ = 0;
  std::int32_t stackCount_ = 0;
  std::int32_t scriptNumber_ = 0;
  std::uint32_t scriptStamp_ = 0;
  std::int32_t scriptPos_ = 0;
  std::uint8_t scriptEnded_ = 0;
  std::uint8_t scriptWaiting_ = 0;
  [[maybe_unused]] std::uint8_t pad1_[2] = {};
  TCallFrame frames_[kMaxCallDepth] = {};
  std::int32_t callDepth_ = 0;
  std::int32_t sceneParam_ = 0;
  std::int32_t shownPicture_ = 0;
  std::int32_t pendingPicture_ = 0;
  std::int32_t effectSpeed_ = 0;
  std::int32_t shownCharacters_[kSlotCount] = {};
  std::int32_t characters_[kSlotCount] = {};
  std::int32_t layoutKind_ = 0;
  std::uint8_t shownSpeaking_[kSlotCount] = {};
  std::uint8_t speaking_[kSlotCount] = {};
  std::uint8_t novelMode_ = 0;
  std::uint8_t messageShown_ = 0;
  std::uint8_t sceneSwitches_[2] = {};
  std::uint8_t cursorShown_ = 0;
  std::uint8_t skipForbidden_ = 0;
  std::int32_t place_ = 0;
  char message_[kMessageLength + 1] = {};
  std::int32_t messageNumber_ = 0;
  std::uint8_t messageRead_ = 0;
  Line page_[kPageLines] = {};
  [[maybe_unused]] std::uint8_t pad2_[3] = {};
  std::int32_t pageLine_ = 0;
  std::int32_t textSpeed_ = 0;
  Line backlog_[kBacklogLines] = {};
  std::int32_t backlogOldest_ = 0;
  std::int32_t backlogCurrent_ = 0;
  Line choices_[kChoiceCount] = {};
  std::int32_t bgmTrack_ = 0;
  std::int32_t bgmRate_ = 0;
  std::int32_t voiceRate_ = 0;
  std::int32_t voiceOptions_[2] = {};
  std::int32_t seRate_ = 0;
  std::int32_t seOptions_[2] = {};
  std::int32_t loopSe_ = 0;
  std::int32_t loopSeRate_ = 0;
  std::int32_t loopSeOptions_[4] = {};
  std::int32_t extraSound_ = 0;
  std::int32_t extraSoundRate_ = 0;
  std::int32_t movieArg_ = 0;
  std::uint8_t switches_[kSwitchCount] = {};
  std::int32_t requestArg_ = 0;
  std::int32_t requestAnswer_ = 0;
};

static_assert(sizeof(TGameState) == 59860);

// The running game's state, and the copy of it taken when the current scene started.
extern TGameState GameState;
extern TGameState SceneStartState;
