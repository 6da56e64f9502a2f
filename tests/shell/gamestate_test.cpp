#include "shell/gamestate.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "shell/readmes.h"
#include "support/recordbytes.h"

namespace {

std::string Text(const VXString& s) { return {s.c_str(), static_cast<std::size_t>(s.Length())}; }
VXString Vx(const std::string& s) { return VXString(s.data(), static_cast<unsigned int>(s.size())); }

const std::string kKanji = "\x88\x9F";   // one double-byte character
const std::string kBlank = "\x81\x40";   // the full-width blank

// A fresh record as it lies in a save.
std::vector<std::uint8_t> FreshImage() {
  std::vector<std::uint8_t> image(59860);
  std::uint8_t* p = image.data();
  p[2424] = 1, p[2425] = 1, p[2426] = 10;  // 1 January, 10:00
  Poke32(p, 2440, 100);                    // stage value
  p[3552] = 1;                             // script ended
  Poke32(p, 5356, 999), Poke32(p, 5360, 999), Poke32(p, 5364, 100);
  for (int i = 0; i < 6; ++i) Poke32(p, 5368 + 4 * i, 0xFFFFFFFF);  // character slots
  p[5404] = p[5405] = p[5406] = 1;
  Poke32(p, 5668, 0xFFFFFFFF), Poke32(p, 6528, 200);
  Poke32(p, 59752, 0xFFFFFFFF), Poke32(p, 59756, 100), Poke32(p, 59760, 100), Poke32(p, 59772, 100);
  Poke32(p, 59784, 0xFFFFFFFF), Poke32(p, 59788, 100), Poke32(p, 59808, 0xFFFFFFFF), Poke32(p, 59812, 100);
  Poke32(p, 59852, 0xFFFFFFFF);
  return image;
}

std::unique_ptr<TGameState> At(int mmdd, int hhmm) {
  auto state = std::make_unique<TGameState>();
  state->SetDate(mmdd);
  state->SetTime(hhmm);
  return state;
}

std::string Show(const TDateTime& t) {
  return std::to_string(t.Month) + "/" + std::to_string(t.Day) + " " + std::to_string(t.Hour) + ":" +
         std::to_string(t.Minute);
}

// The calendar as minutes of a 365-day year, worked out apart from the record.
TDateTime Reference(TDateTime t, std::int64_t minutes) {
  static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  constexpr std::int64_t kYear = 365 * 24 * 60;
  std::int64_t dayOfYear = t.Day - 1;
  for (int m = 1; m < t.Month; ++m) dayOfYear += days[m - 1];
  std::int64_t at = ((dayOfYear * 24 + t.Hour) * 60 + t.Minute + minutes) % kYear;
  if (at < 0) at += kYear;
  TDateTime r{1, 0, static_cast<int>(at / 60 % 24), static_cast<int>(at % 60)};
  std::int64_t day = at / (24 * 60);
  while (day >= days[r.Month - 1]) day -= days[r.Month++ - 1];
  r.Day = static_cast<int>(day) + 1;
  return r;
}

}  // namespace

TEST(GameState, FreshAndFilledRecordsLieAtTheirOffsets) {
  auto state = std::make_unique<TGameState>();
  std::vector<std::uint8_t> image = FreshImage();
  ASSERT_EQ(FirstDifference(BytesOf(*state), image), -1);

  std::uint8_t* p = image.data();
  const std::uint8_t systemFlags[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::int32_t systemVars[8] = {-1, 2, 3, 4, 5, 6, 7, 0x7FFFFFFF};
  struct Step {
    const char* name;
    std::function<void(TGameState&)> set;
    std::function<void()> expect;
  };
  const Step steps[] = {
      {"scene mode", [](TGameState& s) { s.SetSceneMode(4); }, [&] { p[0] = 4; }},
      {"game flags", [](TGameState& s) { s.SetFlag(0, true), s.SetFlag(511, true); }, [&] { p[1] = 1, p[64] = 0x80; }},
      {"system flag copy", [&](TGameState& s) { s.SetSystemFlags(systemFlags); },
       [&] { PokeBytes(p, 65, systemFlags, 8); }},
      {"game variables", [](TGameState& s) { s.SetVar(0, 0x11223344), s.SetVar(63, -1); },
       [&] { Poke32(p, 76, 0x11223344), Poke32(p, 76 + 252, 0xFFFFFFFF); }},
      {"system variable copy", [&](TGameState& s) { s.SetSystemVars(systemVars); },
       [&] { PokeBytes(p, 332, systemVars, 32); }},
      {"string slot", [](TGameState& s) { s.SetString(15, Vx(kKanji + "abc")); },
       [&] { PokeText(p, 364 + 15 * 128, kKanji + "abc"); }},
      {"registers", [](TGameState& s) { s.SetResult(5), s.SetResult2(6), s.SetScriptWord(3); },
       [&] { Poke32(p, 2412, 5), Poke32(p, 2416, 6), Poke32(p, 2420, 3); }},
      {"date and time", [](TGameState& s) { s.SetDate(1231), s.SetTime(1905), s.SetSubMinute(7); },
       [&] { p[2424] = 12, p[2425] = 31, p[2426] = 19, p[2427] = 5, Poke32(p, 2428, 7000), Poke32(p, 2432, 2); }},
      {"end time", [](TGameState& s) { s.SetEndDate(224), s.SetEndTime(1800); },
       [&] { p[2436] = 2, p[2437] = 24, p[2438] = 18, p[2439] = 0; }},
      {"stage value", [](TGameState& s) { s.SetStageValue(250); }, [&] { Poke32(p, 2440, 250); }},
      {"scene name", [](TGameState& s) { s.SetSceneName("Scene01"); }, [&] { PokeText(p, 2444, "Scene01"); }},
      {"value stack", [](TGameState& s) { s.PushValue(7), s.PushValue(-1), s.RestoreValueStack(1, 2); },
       [&] { Poke32(p, 2508, 7), Poke32(p, 2512, 0xFFFFFFFF), Poke32(p, 3532, 1), Poke32(p, 3536, 2); }},
      {"script registers",
       [](TGameState& s) {
         s.SetScriptNumber(12), s.SetScriptStamp(0xDEADBEEF), s.SetScriptPos(0x400);
         s.SetScriptEnded(false), s.SetScriptWaiting(true);
       },
       [&] { Poke32(p, 3540, 12), Poke32(p, 3544, 0xDEADBEEF), Poke32(p, 3548, 0x400), p[3552] = 0, p[3553] = 1; }},
      {"call frame", [](TGameState& s) { s.PushCallFrame({1, 2, 3, 4, 5, 6, 7}); },
       [&] {
         for (int i = 0; i < 7; ++i) Poke32(p, 3556 + 4 * i, i + 1);
         Poke32(p, 5348, 1);
       }},
      {"stage",
       [](TGameState& s) {
         s.SetSceneParam(2), s.SetShownPicture(1500), s.SetPendingPicture(600), s.SetStageEffectSpeed(0);
       },
       [&] { Poke32(p, 5352, 2), Poke32(p, 5356, 1500), Poke32(p, 5360, 600), Poke32(p, 5364, 1); }},
      {"characters",
       [](TGameState& s) {
         s.SetShownCharacter(0, 10), s.SetCharacter(2, 11), s.SetLayoutKind(3);
         s.SetShownSpeaking(1, true), s.SetSpeaking(2, true);
       },
       [&] { Poke32(p, 5368, 10), Poke32(p, 5388, 11), Poke32(p, 5392, 3), p[5397] = 1, p[5401] = 1; }},
      {"window flags",
       [](TGameState& s) {
         s.SetNovelMode(true), s.SetMessageWindowShown(true), s.SetSceneSwitch(1, false);
         s.SetCursorShown(false), s.SetSkipForbidden(true), s.SetPlace(42);
       },
       [&] { p[5402] = 1, p[5403] = 1, p[5405] = 0, p[5406] = 0, p[5407] = 1, Poke32(p, 5408, 42); }},
      {"message", [](TGameState& s) { s.SetMessage(0, "Hello"); },
       [&] { PokeText(p, 5412, "Hello"), Poke32(p, 5668, 0); }},
      {"page text", [](TGameState& s) { s.SetPageLine(0, "ab"), s.AddPageText("cd"); },
       [&] { PokeText(p, 5673, "abcd"), PokeText(p, 6532, "cd"); }},
      {"new page line", [](TGameState& s) { s.NewPageLine(); }, [&] { Poke32(p, 6524, 1), Poke32(p, 59536, 1); }},
      {"text speed", [](TGameState& s) { s.SetTextSpeed(3000); }, [&] { Poke32(p, 6528, 3000); }},
      {"backlog line", [](TGameState& s) { s.SetBacklogLine(1, "xyz"); }, [&] { PokeText(p, 6532 + 53, "xyz"); }},
      {"choice", [](TGameState& s) { s.SetChoiceText(3, "yes"); }, [&] { PokeText(p, 59540 + 3 * 53, "yes"); }},
      {"sound",
       [](TGameState& s) {
         s.SetBgmTrack(4), s.SetBgmRate(50), s.SetVoiceRate(40), s.SetVoiceOption(1, 9), s.SetSeRate(30);
         s.SetSeOption(0, 8), s.SetLoopSe(2), s.SetLoopSeRate(20), s.SetLoopSeOption(3, 7), s.SetExtraSound(6);
         s.SetExtraSoundRate(10);
       },
       [&] {
         Poke32(p, 59752, 4), Poke32(p, 59756, 50), Poke32(p, 59760, 40), Poke32(p, 59768, 9);
         Poke32(p, 59772, 30), Poke32(p, 59776, 8), Poke32(p, 59784, 2), Poke32(p, 59788, 20);
         Poke32(p, 59804, 7), Poke32(p, 59808, 6), Poke32(p, 59812, 10);
       }},
      {"movie and switches", [](TGameState& s) { s.SetMovieArg(2), s.SetSwitch(0, true), s.SetSwitch(31, true); },
       [&] { Poke32(p, 59816, 2), p[59820] = 1, p[59851] = 1; }},
      {"request", [](TGameState& s) { s.SetRequestArg(3), s.SetRequestAnswer(59); },
       [&] { Poke32(p, 59852, 3), Poke32(p, 59856, 59); }},
  };
  for (const Step& step : steps) {
    step.set(*state);
    step.expect();
    ASSERT_EQ(FirstDifference(BytesOf(*state), image), -1) << step.name;
  }

  // A new game keeps the second register and the script stamp; clearing the call stack clears the script,
  // return-position, frame-base and count words of the frames.
  state->Reset();
  image = FreshImage();
  Poke32(image.data(), 2416, 6);
  Poke32(image.data(), 3544, 0xDEADBEEF);
  for (int word : {1, 5, 6}) Poke32(image.data(), 3556 + 4 * word, word + 1);
  EXPECT_EQ(FirstDifference(BytesOf(*state), image), -1);
}

TEST(GameState, OutOfRangeSettersChangeNothing) {
  const std::vector<std::pair<const char*, std::function<void(TGameState&)>>> cases = {
      {"flag 512", [](TGameState& s) { s.SetFlag(512, true); }},
      {"flag -1", [](TGameState& s) { s.SetFlag(-1, true); }},
      {"variable 64", [](TGameState& s) { s.SetVar(64, 1); }},
      {"string 16", [](TGameState& s) { s.SetString(16, "a"); }},
      {"string -1, too long", [](TGameState& s) { s.SetString(-1, Vx(std::string(200, 'a'))); }},
      {"month 13", [](TGameState& s) { s.SetMonth(13); }},
      {"day 32", [](TGameState& s) { s.SetDay(32); }},
      {"day 0", [](TGameState& s) { s.SetDay(0); }},
      {"minute 60", [](TGameState& s) { s.SetMinute(60); }},
      {"hour -1", [](TGameState& s) { s.SetHour(-1); }},
      {"sub-minute 60,000", [](TGameState& s) { s.SetSubMinute(60000); }},
      {"sub-minute -1", [](TGameState& s) { s.SetSubMinute(-1); }},
      {"end month 0", [](TGameState& s) { s.SetEndMonth(0); }},
      {"end day without an end month", [](TGameState& s) { s.SetEndDay(5); }},
      {"end hour 24", [](TGameState& s) { s.SetEndHour(24); }},
      {"end minute 60", [](TGameState& s) { s.SetEndMinute(60); }},
      {"scene parameter 6", [](TGameState& s) { s.SetSceneParam(6); }},
      {"text speed 3001", [](TGameState& s) { s.SetTextSpeed(3001); }},
      {"text speed -1", [](TGameState& s) { s.SetTextSpeed(-1); }},
      {"character slot 3", [](TGameState& s) { s.SetCharacter(3, 1), s.SetShownCharacter(-1, 1); }},
      {"speaking slot 3", [](TGameState& s) { s.SetSpeaking(3, true), s.SetShownSpeaking(3, true); }},
      {"scene switch 2", [](TGameState& s) { s.SetSceneSwitch(2, false); }},
      {"page line 16", [](TGameState& s) { s.SetPageLine(16, "a"); }},
      {"choice 4", [](TGameState& s) { s.SetChoiceText(4, "a"); }},
      {"backlog line past the count", [](TGameState& s) { s.SetBacklogLine(1, "a"), s.SetBacklogLine(-1, "a"); }},
      {"cursor column 26", [](TGameState& s) { s.SetPageCursor(26, 0); }},
      {"cursor line 16", [](TGameState& s) { s.SetPageCursor(0, 16); }},
      {"rates 101 and -1",
       [](TGameState& s) {
         s.SetBgmRate(101), s.SetVoiceRate(-1), s.SetSeRate(101), s.SetLoopSeRate(-1), s.SetExtraSoundRate(101);
       }},
      {"options past the end",
       [](TGameState& s) { s.SetVoiceOption(2, 1), s.SetSeOption(-1, 1), s.SetLoopSeOption(4, 1); }},
      {"switch 32", [](TGameState& s) { s.SetSwitch(32, true); }},
  };
  const std::vector<std::uint8_t> fresh = FreshImage();
  for (const auto& [name, change] : cases) {
    auto state = std::make_unique<TGameState>();
    change(*state);
    EXPECT_EQ(FirstDifference(BytesOf(*state), fresh), -1) << name;
  }

  TGameState state;
  EXPECT_FALSE(state.GetFlag(512));
  EXPECT_FALSE(state.GetSystemFlag(64));
  EXPECT_EQ(state.GetVar(-1), 0);
  EXPECT_EQ(state.GetSystemVar(8), 0);
  EXPECT_EQ(Text(state.GetString(16)), "");
  EXPECT_EQ(state.GetCharacter(3), -1);
  EXPECT_EQ(state.GetShownCharacter(-1), -1);
  EXPECT_FALSE(state.IsSpeaking(3));
  EXPECT_FALSE(state.GetSceneSwitch(2));
  EXPECT_EQ(Text(state.GetPageLine(16)), "");
  EXPECT_EQ(Text(state.GetChoiceText(-1)), "");
  EXPECT_EQ(Text(state.GetBacklogLine(1)), "");
  EXPECT_EQ(state.GetVoiceOption(2), 0);
  EXPECT_EQ(state.GetLoopSeOption(4), 0);
  EXPECT_FALSE(state.GetSwitch(32));
  const TCallFrame none = state.GetCallFrame(0);
  EXPECT_EQ(none.Script, 0);
  EXPECT_EQ(none.ReturnPos, 0);
}

TEST(GameState, CalendarStepsFollowTheYearWhateverTheirSize) {
  enum Unit { Days = 24 * 60, Hours = 60, Minutes = 1 };
  struct Case {
    int mmdd;
    int hhmm;
    Unit unit;
    int n;
  };
  const Case cases[] = {
      {1231, 1000, Days, 1},         {101, 1000, Days, -1},           {228, 1000, Days, 1},
      {301, 1000, Days, -1},         {430, 1000, Days, 1},            {101, 1000, Days, 59},
      {615, 1200, Days, 365},        {615, 1200, Days, -366},         {615, 1200, Days, INT_MAX},
      {615, 1200, Days, INT_MIN},    {1231, 2300, Hours, 25},         {101, 30, Hours, -1},
      {301, 0, Hours, -49},          {1015, 1300, Hours, INT_MAX},    {1015, 1300, Hours, INT_MIN},
      {101, 0, Minutes, -1},         {1231, 2359, Minutes, 1},        {101, 1059, Minutes, 61},
      {505, 1234, Minutes, 525600},  {505, 1234, Minutes, INT_MAX},   {505, 1234, Minutes, INT_MIN},
      {228, 2359, Minutes, -1441},
  };
  for (const Case& c : cases) {
    auto state = At(c.mmdd, c.hhmm);
    const TDateTime before = state->Now();
    if (c.unit == Days) state->AddDays(c.n);
    if (c.unit == Hours) state->AddHours(c.n);
    if (c.unit == Minutes) state->AddMinutes(c.n);
    const TDateTime expected = Reference(before, static_cast<std::int64_t>(c.n) * c.unit);
    EXPECT_EQ(Show(state->Now()), Show(expected)) << Show(before) << " + " << c.n << " x " << c.unit << " min";
  }

  auto state = At(1231, 1000);
  state->NextDay();
  EXPECT_EQ(Show(state->Now()), "1/1 10:0");
  state->PrevDay();
  EXPECT_EQ(Show(state->Now()), "12/31 10:0");
}

TEST(GameState, DatesAndTimesAreCheckedAgainstTheCalendar) {
  auto state = At(115, 1000);
  state->SetDate(229);  // no 29 February: the month changes, the day stays
  EXPECT_EQ(Show(state->Now()), "2/15 10:0");
  state->SetDate(431);
  EXPECT_EQ(Show(state->Now()), "4/15 10:0");
  state->SetDate(20312);  // the date is taken modulo 10,000
  EXPECT_EQ(Show(state->Now()), "3/12 10:0");
  state->SetSubMinute(59999);
  EXPECT_EQ(state->GetSubMinute(), 59999000u);
  state->SetTime(745);
  EXPECT_EQ(Show(state->Now()), "3/12 7:45");
  EXPECT_EQ(state->GetSubMinute(), 0u);

  const int periods[24] = {3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 2, 2, 2, 2};
  for (int hour = 0; hour < 24; ++hour) {
    state->SetHour(hour);
    EXPECT_EQ(state->GetDayPeriod(), periods[hour]) << hour;
  }

  struct Day {
    int month, day, weekday;
  };
  for (const Day& d : {Day{1, 1, 0}, Day{1, 8, 0}, Day{2, 1, 3}, Day{12, 31, 0}, Day{3, 1, 3}, Day{2, 29, 0},
                       Day{13, 1, 0}, Day{0, 5, 0}, Day{4, 0, 0}})
    EXPECT_EQ(DayOfWeek(d.month, d.day), d.weekday) << d.month << "/" << d.day;
  state->SetDate(301);
  EXPECT_EQ(state->GetWeekday(), 3);

  struct Order {
    TDateTime a, b;
    int result;
  };
  for (const Order& o : {Order{{1, 1, 0, 0}, {1, 1, 0, 1}, -1}, Order{{2, 1, 0, 0}, {1, 31, 23, 59}, 1},
                         Order{{5, 5, 5, 5}, {5, 5, 5, 5}, 0}, Order{{0, 1, 0, 0}, {11, 30, 0, 0}, 1},
                         Order{{12, 24, 18, 0}, {12, 24, 17, 59}, 1}})
    EXPECT_EQ(CompareDateTime(o.a, o.b), o.result) << Show(o.a) << " vs " << Show(o.b);
}

TEST(GameState, TheEndTimeStopsTheCalendar) {
  auto state = At(1223, 1000);
  state->SetEndDate(1224);
  state->SetEndTime(1800);
  state->SetSubMinute(123);
  state->AddDays(3);
  EXPECT_EQ(Show(state->Now()), "12/24 18:0");
  EXPECT_EQ(state->GetSubMinute(), 0u);
  state->AddMinutes(10);
  EXPECT_EQ(Show(state->Now()), "12/24 18:0");
  state->AddHours(1);  // hours have no end-time rule
  EXPECT_EQ(Show(state->Now()), "12/24 19:0");
  EXPECT_FALSE(state->CanAdvanceTime());
  state->AddDays(-1);
  state->AddMinutes(-60);
  EXPECT_EQ(Show(state->Now()), "12/24 19:0");

  // Stopped at the end time, the period stays that of the overshoot until the hour is set again.
  state = At(1224, 1750);
  state->SetEndDate(1224);
  state->SetEndTime(1800);
  state->AddMinutes(600);
  EXPECT_EQ(Show(state->Now()), "12/24 18:0");
  EXPECT_EQ(state->GetDayPeriod(), dpLateNight);
  state->SetHour(24);  // ignored, but the period is worked out again from the hour
  EXPECT_EQ(state->GetHour(), 18);
  EXPECT_EQ(state->GetDayPeriod(), dpEvening);

  // Without an end time, December is a month like any other (it is not stopped at an empty end time).
  state = At(1205, 1000);
  state->AddDays(1);
  EXPECT_EQ(Show(state->Now()), "12/6 10:0");
  state->AddMinutes(30 * 24 * 60);
  EXPECT_EQ(Show(state->Now()), "1/5 10:0");
  state->ClearEndTime();
  EXPECT_EQ(state->GetEndMonth(), 0);
}

TEST(GameState, ACalendarReadFromASaveIsBroughtIntoRange) {
  struct Case {
    std::uint8_t month, day, hour, minute;
    const char* now;
    const char* nextDay;
  };
  const Case cases[] = {
      {0, 99, 99, 200, "1/31 23:59", "2/1 23:59"},
      {200, 0, 24, 60, "12/1 23:59", "12/2 23:59"},
      {2, 31, 0, 0, "2/28 0:0", "3/1 0:0"},
  };
  for (const Case& c : cases) {
    auto state = std::make_unique<TGameState>();
    const std::uint8_t bytes[4] = {c.month, c.day, c.hour, c.minute};
    PokeBytes(state.get(), 2424, bytes, 4);
    Poke32(state.get(), 2436, 0xFFFFFFFF);  // an end date that cannot be
    EXPECT_EQ(Show(state->Now()), c.now);
    EXPECT_GE(state->GetWeekday(), 0);
    EXPECT_LT(state->GetWeekday(), 7);
    state->AddHours(24);
    EXPECT_EQ(Show(state->Now()), c.nextDay);
    state->AddDays(400);
    state->AddMinutes(-1000000);
    EXPECT_GE(state->GetDay(), 1);
  }
}

TEST(GameState, StageValueAndLevel) {
  TGameState state;
  struct Case {
    int value, stored, level;
  };
  for (const Case& c : {Case{-5, 0, 0}, Case{300, 255, 4}, Case{249, 249, 4}, Case{199, 199, 3}, Case{50, 50, 1}}) {
    state.SetStageValue(c.value);
    EXPECT_EQ(state.GetStageValue(), c.stored) << c.value;
    EXPECT_EQ(state.GetStageLevel(), c.level) << c.value;
  }
  Poke32(&state, 2440, 0xFFFFFFFF);
  EXPECT_EQ(state.GetStageValue(), 255);
  EXPECT_EQ(state.GetStageLevel(), 4);
}

TEST(GameState, StringsAndSceneNamesThatDoNotFitThrow) {
  auto state = std::make_unique<TGameState>();
  state->SetString(0, Vx(std::string(127, 's')));
  EXPECT_EQ(Text(state->GetString(0)), std::string(127, 's'));
  state->SetString(0, "short");  // the slot is cleared first
  EXPECT_EQ(BytesOf(*state)[364 + 6], 0);
  state->SetSceneName(Vx(std::string(63, 'n')));
  const std::vector<std::uint8_t> before = BytesOf(*state);
  EXPECT_THROW(state->SetString(1, Vx(std::string(128, 's'))), EGameErr);
  EXPECT_THROW(state->SetSceneName(Vx(std::string(64, 'n'))), EGameErr);
  EXPECT_EQ(FirstDifference(BytesOf(*state), before), -1);
  try {
    state->SetSceneName(Vx(std::string(64, 'n')));
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "GameErr");
  }

  // Fields without a terminator read as their longest text.
  PokeText(state.get(), 364 + 2 * 128, std::string(128, 'x'));
  PokeText(state.get(), 2444, std::string(64, 'y'));
  EXPECT_EQ(Text(state->GetString(2)), std::string(127, 'x'));
  EXPECT_EQ(Text(state->GetSceneName()), std::string(63, 'y'));
}

TEST(GameState, ValueStackGuardsItsEnds) {
  auto state = std::make_unique<TGameState>();
  for (int i = 0; i < 256; ++i) state->PushValue(i);
  std::vector<std::uint8_t> before = BytesOf(*state);
  EXPECT_THROW(state->PushValue(256), EGameErr);
  EXPECT_EQ(FirstDifference(BytesOf(*state), before), -1);
  EXPECT_EQ(state->PeekValue(), 255);
  EXPECT_EQ(state->PopValue(), 255);

  // The frame base hides the words below it, even though the stack holds them.
  state->ClearValueStack();
  state->PushValue(1);
  state->PushValue(2);
  state->RestoreValueStack(2, 2);
  before = BytesOf(*state);
  EXPECT_THROW(state->PopValue(), EGameErr);
  EXPECT_THROW(state->PeekValue(), EGameErr);
  EXPECT_THROW(state->RestoreValueStack(3, 2), EGameErr);
  EXPECT_THROW(state->RestoreValueStack(-1, 2), EGameErr);
  EXPECT_THROW(state->RestoreValueStack(0, 257), EGameErr);
  EXPECT_EQ(FirstDifference(BytesOf(*state), before), -1);

  // Counts and bases read from a save are checked before the stack is touched.
  struct Case {
    std::int32_t base, count;
    bool canPush, canPop;
  };
  const Case cases[] = {
      {0, -1, false, false},       {0, 257, false, false}, {0, INT_MAX, false, false}, {0, INT_MIN, false, false},
      {-5, 3, true, true},         {300, 10, true, false}, {5, 5, true, false},        {0, 256, false, true},
      {INT_MIN, 1, true, true},
  };
  for (const Case& c : cases) {
    auto crafted = std::make_unique<TGameState>();
    Poke32(crafted.get(), 3532, static_cast<std::uint32_t>(c.base));
    Poke32(crafted.get(), 3536, static_cast<std::uint32_t>(c.count));
    const std::vector<std::uint8_t> image = BytesOf(*crafted);
    if (c.canPop) {
      EXPECT_NO_THROW(crafted->PeekValue()) << c.base << " " << c.count;
    } else {
      EXPECT_THROW(crafted->PopValue(), EGameErr) << c.base << " " << c.count;
      EXPECT_EQ(FirstDifference(BytesOf(*crafted), image), -1);
    }
    if (c.canPush) {
      EXPECT_NO_THROW(crafted->PushValue(1)) << c.base << " " << c.count;
    } else {
      EXPECT_THROW(crafted->PushValue(1), EGameErr) << c.base << " " << c.count;
      EXPECT_EQ(FirstDifference(BytesOf(*crafted), image), -1);
    }
  }
}

TEST(GameState, ACallLeavesTheFrameBaseWhereItWas) {
  // The script machine's call and return over the record: the callee may pop its caller's words, and the return
  // leaves the caller's stack as it was at the call, plus the returned word.
  TGameState state;
  state.PushValue(10);
  state.PushValue(20);
  state.SetResult(7);
  state.PushCallFrame({3, 0x55, 0x80, state.GetFrameBase(), state.GetValueCount(), state.GetResult(), 0});
  state.SetResult(0);
  EXPECT_EQ(state.GetFrameBase(), 0);
  EXPECT_EQ(state.PopValue(), 20);  // the caller's word
  state.PushValue(1);
  state.PushValue(2);

  TCallFrame frame{};
  state.PopCallFrame(frame);
  const int returned = state.GetValueCount() > frame.Count ? state.PopValue() : 0;
  state.RestoreValueStack(frame.FrameBase, frame.Count);
  state.SetResult(frame.Result);
  state.PushValue(returned);
  EXPECT_EQ(state.GetValueCount(), 3);
  EXPECT_EQ(state.PopValue(), 2);
  EXPECT_EQ(state.PopValue(), 1);  // the caller's second word, as the callee left it
  EXPECT_EQ(state.PopValue(), 10);
  EXPECT_EQ(state.GetResult(), 7);
  EXPECT_EQ(frame.ReturnPos, 0x80);
}

TEST(GameState, CallStackGuardsItsEnds) {
  auto state = std::make_unique<TGameState>();
  for (int i = 0; i < 64; ++i) state->PushCallFrame({i, 0, i * 2, 0, 0, 0, 0});
  std::vector<std::uint8_t> before = BytesOf(*state);
  EXPECT_THROW(state->PushCallFrame({}), EGameErr);
  EXPECT_EQ(FirstDifference(BytesOf(*state), before), -1);
  EXPECT_EQ(state->GetCallFrame(63).ReturnPos, 126);
  EXPECT_EQ(state->GetCallFrame(64).ReturnPos, 0);

  TCallFrame frame{};
  state->PopCallFrame(frame);
  EXPECT_EQ(frame.Script, 63);
  state->ClearCallStack();
  EXPECT_EQ(state->GetCallDepth(), 0);
  before = BytesOf(*state);
  EXPECT_THROW(state->PopCallFrame(frame), EGameErr);
  EXPECT_EQ(FirstDifference(BytesOf(*state), before), -1);

  // A depth read from a save outside 0-64 is refused either way.
  for (std::int32_t depth : {-1, 65, 1000, INT_MIN}) {
    auto crafted = std::make_unique<TGameState>();
    Poke32(crafted.get(), 5348, static_cast<std::uint32_t>(depth));
    EXPECT_THROW(crafted->PushCallFrame({}), EGameErr) << depth;
    EXPECT_THROW(crafted->PopCallFrame(frame), EGameErr) << depth;
    EXPECT_EQ(crafted->GetCallFrame(0).Script, 0) << depth;
    EXPECT_EQ(crafted->GetCallFrame(64).Script, 0) << depth;
  }
}

TEST(GameState, MessagesAreCutAndLoggedAsRead) {
  struct Cut {
    const char* name;
    std::string text;
    std::size_t kept;
  };
  const Cut cuts[] = {
      {"300 single bytes", std::string(300, 'm'), 255},
      {"a character starting at byte 255", std::string(254, 'm') + kKanji + std::string(44, 'm'), 254},
      {"a character ending at byte 255", std::string(253, 'm') + kKanji + std::string(45, 'm'), 255},
      {"byte 255 a trail byte of lead-byte value", std::string(253, 'm') + "\x88\x88" + "mm", 255},
  };
  for (const Cut& c : cuts) {
    TGameState state;
    state.SetMessageText(Vx(c.text));
    EXPECT_EQ(Text(state.GetMessageText()), c.text.substr(0, c.kept)) << c.name;
  }

  ReadMesTable.Load("\x08\0\0\0\0\0\0\0", 8);
  ReadMesTable.SetScriptStamp(3, 1);
  TGameState state;
  state.SetScriptNumber(3);
  state.SetMessage(10, "first");
  EXPECT_FALSE(state.IsMessageRead());
  state.MarkMessageRead();
  EXPECT_EQ(state.GetMessageNumber(), -1);
  EXPECT_TRUE(ReadMesTable.IsRead(3 << 16 | 10));
  state.SetMessage(10, "again");
  EXPECT_TRUE(state.IsMessageRead());
  state.MarkMessageRead();  // already read: nothing changes
  EXPECT_EQ(state.GetMessageNumber(), 10);

  struct Unlogged {
    int script, number, numberAfter;
  };
  for (const Unlogged& u : {Unlogged{3, 0, 0}, Unlogged{3, -4, -4}, Unlogged{3, 70000, -1}, Unlogged{70000, 11, -1},
                            Unlogged{-1, 12, -1}}) {
    const std::uint32_t used = ReadMesTable.GetUsedSize();
    state.SetScriptNumber(u.script);
    state.SetMessage(u.number, "x");
    EXPECT_FALSE(state.IsMessageRead());
    state.MarkMessageRead();
    EXPECT_EQ(state.GetMessageNumber(), u.numberAfter) << u.script << " " << u.number;
    EXPECT_EQ(ReadMesTable.GetUsedSize(), used);
  }
  ReadMesTable.Load("\x08\0\0\0\0\0\0\0", 8);
}

TEST(GameState, LinesAreCutOnCharacterBoundaries) {
  struct Case {
    const char* name;
    std::string line;
    std::string added;
    std::string stored;
  };
  const std::string kanji25 = [] {
    std::string s;
    for (int i = 0; i < 25; ++i) s += kKanji;
    return s;
  }();
  const Case cases[] = {
      {"60 single bytes", "", std::string(60, 'a'), std::string(52, 'a')},
      {"a character over byte 52", "", "a" + kanji25 + kKanji, "a" + kanji25},
      {"26 characters", "", kanji25 + kKanji + "z", kanji25 + kKanji},
      {"added behind 51 bytes", std::string(51, 'a'), kKanji, std::string(51, 'a')},
      {"added behind 50 bytes", std::string(50, 'a'), kKanji + "b", std::string(50, 'a') + kKanji},
  };
  for (const Case& c : cases) {
    TGameState state;
    state.SetPageLine(0, Vx(c.line));
    state.SetBacklogLine(0, Vx(c.line));
    state.AddPageText(Vx(c.added));
    EXPECT_EQ(Text(state.GetPageLine(0)), c.stored) << c.name;
    EXPECT_EQ(Text(state.GetBacklogLine(0)), c.stored) << c.name;
    state.SetChoiceText(0, Vx(c.line + c.added));
    EXPECT_EQ(Text(state.GetChoiceText(0)), c.stored) << c.name;
  }

  // A line field of 53 bytes without a terminator reads as 52.
  TGameState state;
  PokeText(&state, 5673, std::string(53, 'p'));
  PokeText(&state, 6532, std::string(53, 'q'));
  PokeText(&state, 59540, std::string(53, 'r'));
  EXPECT_EQ(Text(state.GetPageLine(0)), std::string(52, 'p'));
  EXPECT_EQ(Text(state.GetBacklogLine(0)), std::string(52, 'q'));
  EXPECT_EQ(Text(state.GetChoiceText(0)), std::string(52, 'r'));
  state.AddPageText("x");
  EXPECT_EQ(Text(state.GetPageLine(0)), std::string(52, 'p'));
}

TEST(GameState, TheBacklogRingKeepsTheLast1000Lines) {
  auto state = std::make_unique<TGameState>();
  EXPECT_EQ(state->GetBacklogCount(), 1);
  for (int i = 0; i < 1001; ++i) {
    if (i > 0) state->NewBacklogLine();
    state->AddBacklogText(VXIntToStrA(i));
  }
  EXPECT_EQ(state->GetBacklogCount(), 1000);
  EXPECT_EQ(Text(state->GetBacklogLine(0)), "1");
  EXPECT_EQ(Text(state->GetBacklogLine(999)), "1000");
  state->NewBacklogLine();
  EXPECT_EQ(state->GetBacklogCount(), 1000);
  EXPECT_EQ(Text(state->GetBacklogLine(0)), "2");
  EXPECT_EQ(Text(state->GetBacklogLine(999)), "");
  state->ClearBacklog();
  EXPECT_EQ(state->GetBacklogCount(), 1);

  // Cursors read from a save outside the ring count as line 0.
  struct Case {
    std::int32_t oldest, current;
    int count;
  };
  for (const Case& c : {Case{-7, 5000, 1}, Case{1000, 3, 4}, Case{3, INT_MIN, 998}, Case{999, 998, 1000}}) {
    auto crafted = std::make_unique<TGameState>();
    Poke32(crafted.get(), 59532, static_cast<std::uint32_t>(c.oldest));
    Poke32(crafted.get(), 59536, static_cast<std::uint32_t>(c.current));
    EXPECT_EQ(crafted->GetBacklogCount(), c.count) << c.oldest << " " << c.current;
    crafted->AddBacklogText("t");
    crafted->SetBacklogLine(c.count - 1, "last");
    EXPECT_EQ(Text(crafted->GetBacklogLine(c.count - 1)), "last");
    crafted->NewBacklogLine();
    EXPECT_LE(crafted->GetBacklogCount(), 1000);
    EXPECT_EQ(Text(crafted->GetBacklogLine(crafted->GetBacklogCount() - 2)), "last");
  }
}

TEST(GameState, PagesAndTheTextCursor) {
  TGameState state;
  state.NewPage();  // an empty page opens no backlog line
  EXPECT_EQ(state.GetBacklogCount(), 1);
  state.AddPageText("one");
  state.NewPageLine();
  state.AddPageText("two");
  EXPECT_EQ(state.GetCurrentPageLine(), 1);
  EXPECT_EQ(state.GetBacklogCount(), 2);
  state.NewPage();
  EXPECT_EQ(state.GetBacklogCount(), 3);
  EXPECT_EQ(Text(state.GetPageLine(0)), "");
  EXPECT_EQ(Text(state.GetBacklogLine(1)), "two");

  // The cursor behind the text of its own line: a new page (and backlog line) first; the line becomes blanks up
  // to the column, in a backlog line of its own.
  state.AddPageText("abcd");
  state.SetPageCursor(1, 0);
  EXPECT_EQ(Text(state.GetPageLine(0)), kBlank);
  EXPECT_EQ(state.GetBacklogCount(), 5);
  EXPECT_EQ(Text(state.GetBacklogLine(4)), kBlank);
  // Forward on the same line, or to a later line: the page stays.
  state.SetPageCursor(3, 0);
  EXPECT_EQ(Text(state.GetPageLine(0)), kBlank + kBlank + kBlank);
  EXPECT_EQ(state.GetBacklogCount(), 6);
  state.SetPageCursor(1, 2);
  EXPECT_EQ(Text(state.GetPageLine(0)), kBlank + kBlank + kBlank);
  EXPECT_EQ(Text(state.GetPageLine(2)), kBlank);
  state.AddPageText("x");
  EXPECT_EQ(Text(state.GetPageLine(2)), kBlank + "x");
  EXPECT_EQ(Text(state.GetBacklogLine(6)), kBlank + "x");
  // A line before the cursor's: a new page first.
  state.SetPageCursor(2, 1);
  EXPECT_EQ(Text(state.GetPageLine(0)), "");
  EXPECT_EQ(Text(state.GetPageLine(2)), "");
  EXPECT_EQ(Text(state.GetPageLine(1)), kBlank + kBlank);
  EXPECT_EQ(state.GetCurrentPageLine(), 1);
  EXPECT_EQ(state.GetBacklogCount(), 9);

  // Lines past the page go to the backlog only; a page line read from a save cannot overflow.
  for (int i = 0; i < 20; ++i) state.NewPageLine();
  state.AddPageText("beyond");
  EXPECT_EQ(Text(state.GetBacklogLine(state.GetBacklogCount() - 1)), "beyond");
  Poke32(&state, 6524, INT_MAX);
  state.NewPageLine();
  state.AddPageText("y");
  EXPECT_EQ(state.GetCurrentPageLine(), INT_MAX);
}

TEST(GameState, ResetStartsANewGame) {
  auto state = std::make_unique<TGameState>();
  state->SetFlag(3, true);
  state->SetDate(1105);
  state->PushValue(1);
  state->AddPageText("text");
  state->NewPageLine();
  state->SetNovelMode(true);
  state->SetBgmTrack(5);
  state->ResetScene();
  EXPECT_TRUE(state->GetFlag(3));  // only the scene goes
  EXPECT_EQ(state->GetMonth(), 11);
  EXPECT_EQ(state->GetValueCount(), 1);
  EXPECT_FALSE(state->IsNovelMode());
  EXPECT_EQ(state->GetBgmTrack(), -1);
  EXPECT_EQ(Text(state->GetPageLine(0)), "");
  EXPECT_EQ(Text(state->GetBacklogLine(0)), "text");
  state->Reset();
  EXPECT_EQ(FirstDifference(BytesOf(*state), FreshImage()), -1);
}
