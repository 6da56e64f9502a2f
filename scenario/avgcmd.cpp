#include "scenario/avgcmd.h"

#include <algorithm>
#include <array>

#include "core/vxsharedrandom.h"
#include "scenario/scrdef.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"
#include "shell/systemdata.h"

// ---- The game window's sound service ------------------------------------------------------------------------------

void TAvgSoundCalls::PlayBgm(int track, bool loop, bool fade) {
  if (GameForm != nullptr) GameForm->PlayBgm(track, loop, fade);
}
void TAvgSoundCalls::StopBgm(bool fade) {
  if (GameForm != nullptr) GameForm->StopBgm(fade);
}
void TAvgSoundCalls::SetBgmRate(int rate) {
  if (GameForm != nullptr) GameForm->SetBgmRate(rate);
}
void TAvgSoundCalls::SetVoiceRate(int rate) {
  if (GameForm != nullptr) GameForm->SetVoiceRate(rate);
}
void TAvgSoundCalls::StopSe() {
  if (GameForm != nullptr) GameForm->StopSe();
}
void TAvgSoundCalls::SetSeRate(int rate) {
  if (GameForm != nullptr) GameForm->SetSeRate(rate);
}
void TAvgSoundCalls::StopLoopSe(bool fade) {
  if (GameForm != nullptr) GameForm->StopLoopSe(fade);
}
void TAvgSoundCalls::SetLoopSeRate(int rate) {
  if (GameForm != nullptr) GameForm->SetLoopSeRate(rate);
}
void TAvgSoundCalls::PlayExtraSound(int number) {
  if (GameForm != nullptr) GameForm->PlayExtraSound(number, 0);
}
void TAvgSoundCalls::StopExtraSound() {
  if (GameForm != nullptr) GameForm->StopExtraSound(true);
}
void TAvgSoundCalls::SetExtraSoundRate(int rate) {
  if (GameForm != nullptr) GameForm->SetExtraSoundRate(rate);
}
void TAvgSoundCalls::ShowCursor(bool on) {
  if (GameForm != nullptr) GameForm->SetCursorType(on ? 0 : -1);
}

// ---- The commands -------------------------------------------------------------------------------------------------

namespace {

constexpr int kSlots = 3;
constexpr int kSwitches = 32;
constexpr int kEventFirst = 500;
constexpr int kEventLast = 699;

bool IsRate(int v) { return v >= 0 && v <= 100; }

// Milliseconds of a script as frames of the 30-per-second clock.
int Frames(int ms) { return static_cast<int>(static_cast<long long>(ms) * 30 / 1000); }

// Marks event picture n (mod 1000 in 500..699) as seen.
void MarkEvent(int picture) {
  const int n = picture % 1000;
  if (n >= kEventFirst && n <= kEventLast) SystemData.SetEventSeen(n - kEventFirst);
}

// A slot's character and speaking flag, moved as one.
struct TSlot {
  int character;
  bool speaking;
};
TSlot GetSlot(int i) { return {GameState.GetCharacter(i), GameState.IsSpeaking(i)}; }
void PutSlot(int i, TSlot slot) {
  GameState.SetCharacter(i, slot.character);
  GameState.SetSpeaking(i, slot.speaking);
}
constexpr TSlot kEmpty{-1, false};

void CopySlotsToShown() {
  TGameState& s = GameState;
  for (int i = 0; i < kSlots; ++i) {
    s.SetShownCharacter(i, s.GetCharacter(i));
    s.SetShownSpeaking(i, s.IsSpeaking(i));
  }
}

void SetAllSpeaking(TAvgUnit& host, int speaker) {  // speaker -1 none, 3 all, else that slot
  for (int i = 0; i < kSlots; ++i) {
    const bool on = speaker == 3 || speaker == i;
    GameState.SetSpeaking(i, on);
    GameState.SetShownSpeaking(i, on);
  }
  host.StopTalk();
}

}  // namespace

// One command: the popped arguments in push order; the value returned is pushed when the command has a result.
struct TAvgCommandTable {
  struct C {
    TAvgGameCommands& self;
    TAvgUnit& host;
    TScriptEngine& engine;
    TGameState& s;
    TAvgSoundCalls& sound;
    const int* a;
  };
  using THandler = int (*)(C&);

  static VXString Text(C& c, int operand) { return c.engine.ExpandTextMacros(c.engine.GetStringOperand(operand)); }
  static int Yield(C& c) {
    c.engine.Yield();
    return 0;
  }
  // A command that waits for the host's answer: mode and wait flag first, so that an answer given at once counts.
  static void BeginWait(C& c, int mode) {
    c.s.SetSceneMode(static_cast<std::uint8_t>(mode));
    c.s.SetScriptWaiting(true);
  }
  static int ShowWindow(C& c, bool on) {
    if (c.s.IsMessageWindowShown() == on) return 0;
    c.s.SetMessageWindowShown(on);
    c.host.ShowMessageWindow(on);
    return Yield(c);
  }
  static int Rate(C& c, void (TGameState::*set)(int), void (TAvgSoundCalls::*apply)(int)) {
    if (!IsRate(c.a[0])) return 0;
    (c.s.*set)(c.a[0]);
    (c.sound.*apply)(c.a[0]);
    return 0;
  }
  static int StartBgm(C& c, int track, bool loop, bool fade) {
    c.sound.PlayBgm(track, loop, fade);
    c.s.SetBgmTrack(loop ? track : -1);
    return 0;
  }
  static int StopBgm(C& c, bool fade) {
    c.sound.StopBgm(fade);
    c.s.SetBgmTrack(-1);
    return 0;
  }
  static int PlayLoopSe(C& c, int number, bool fadeIn) {
    TGameState& s = c.s;
    const int a = s.GetLoopSeOption(2), b = s.GetLoopSeOption(3);
    c.host.PlayLoopSe(number, fadeIn, a, b);
    s.SetLoopSe(number);
    s.SetLoopSeOption(0, a);
    s.SetLoopSeOption(1, b);
    s.SetLoopSeOption(2, 0);
    s.SetLoopSeOption(3, 0);
    return 0;
  }
  static int StopLoopSe(C& c, bool fade) {
    c.sound.StopLoopSe(fade);
    c.s.SetLoopSe(-1);
    return 0;
  }
  static int Pending(C& c, int picture) {
    c.s.SetPendingPicture(picture);
    return 0;
  }
  static int ShowPicture(C& c, int picture, int effect) {
    c.s.SetPendingPicture(picture);
    c.self.CommitStage(effect);
    return 0;
  }
  static int Calendar(C& c) {
    c.host.RefreshPlates();
    return 0;
  }
  static int Plate(C& c, bool date, bool show) {
    TSubWinUnit::TPlates& plates = c.host.Windows().Plates();
    const bool instant = c.a[0] != 0;
    if (show && c.s.IsNovelMode()) return 0;
    if (date) show ? plates.ShowDate(instant) : plates.HideDate(instant);
    else show ? plates.ShowTime(instant) : plates.HideTime(instant);
    return 0;
  }
  static int Stage(C& c, int value) {
    c.self.StageValueChanged(value);
    return 0;
  }
  static int Shift(C& c, bool right) {
    const TSlot l = GetSlot(0), m = GetSlot(1), r = GetSlot(2);
    if (right) {
      PutSlot(2, m), PutSlot(1, l), PutSlot(0, kEmpty);
    } else {
      PutSlot(0, m), PutSlot(1, r), PutSlot(2, kEmpty);
    }
    c.self.Animate(right ? 2 : 1);
    return 0;
  }
  static int Cursor(C& c, bool on) {
    if (c.s.IsCursorShown() == on) return 0;
    c.s.SetCursorShown(on);
    c.sound.ShowCursor(on);
    return 0;
  }
  static int Movie(C& c, void (TAvgUnit::*play)(int)) {
    c.s.SetMovieArg(c.a[0]);
    (c.host.*play)(c.a[0]);
    return Yield(c);
  }

  static const std::array<THandler, scrdef::opLastCommand - scrdef::opFirstCommand + 1> kHandlers;
};

namespace {
using T = TAvgCommandTable;
using C = TAvgCommandTable::C;
}  // namespace

const std::array<TAvgCommandTable::THandler, scrdef::opLastCommand - scrdef::opFirstCommand + 1>
    TAvgCommandTable::kHandlers = {
        // 64 Message
        [](C& c) {
          c.s.SetMessage(c.a[0], T::Text(c, c.a[0]));
          return T::ShowWindow(c, true);
        },
        // 65 LineFeed
        [](C& c) {
          c.s.NewPageLine();
          c.host.LineFeed();
          return 0;
        },
        // 66 PageBreak
        [](C& c) {
          c.s.NewPage();
          c.host.ClearPage();
          return 0;
        },
        [](C& c) { return T::ShowWindow(c, true); },   // 67 ShowMessageWindow
        [](C& c) { return T::ShowWindow(c, false); },  // 68 HideMessageWindow
        [](C& c) {                                     // 69 SetTextSpeed
          c.s.SetTextSpeed(c.a[0]);
          return 0;
        },
        // 70 SetNovelMode
        [](C& c) {
          const bool on = c.a[0] != 0;
          if (on == c.s.IsNovelMode()) return 0;
          c.s.NewPage();
          c.s.SetNovelMode(on);
          c.host.SwitchNovelMode();
          return T::Yield(c);
        },
        // 71 SetTextCursor
        [](C& c) {
          c.s.SetPageCursor(c.a[0], c.a[1]);
          c.host.RedrawPage();
          return 0;
        },
        // 72 Wait
        [](C& c) {
          c.host.WaitTime(c.a[0]);
          return T::Yield(c);
        },
        // 73 WaitClick
        [](C& c) {
          c.s.SetSkipForbidden(false);
          c.s.SetSceneMode(1);
          c.host.WaitClick();
          return T::Yield(c);
        },
        // 74 SetSkipForbidden
        [](C& c) {
          c.s.SetSkipForbidden(c.a[0] != 0);
          return 0;
        },
        // 75 PlayVoice
        [](C& c) {
          c.host.PlayVoice(c.a[0], c.s.GetVoiceOption(0), c.s.GetVoiceOption(1));
          c.s.SetVoiceOption(0, 0);
          c.s.SetVoiceOption(1, 0);
          return 0;
        },
        [](C& c) { return T::Rate(c, &TGameState::SetVoiceRate, &TAvgSoundCalls::SetVoiceRate); },  // 76
        // 77 SetVoiceOptions
        [](C& c) {
          c.s.SetVoiceOption(0, c.a[0]);
          c.s.SetVoiceOption(1, c.a[1]);
          return 0;
        },
        [](C& c) { return T::StartBgm(c, c.a[0], true, c.a[1] != 0); },                        // 78 StartBgm
        [](C& c) { return T::StopBgm(c, c.a[0] != 0); },                                       // 79 EndBgm
        [](C& c) { return T::Rate(c, &TGameState::SetBgmRate, &TAvgSoundCalls::SetBgmRate); },  // 80
        [](C& c) { return T::StartBgm(c, c.a[0], false, c.a[1] != 0); },                       // 81 StartBgmOnce
        [](C& c) { return T::StopBgm(c, c.a[0] != 0); },                                       // 82 EndBgm2
        [](C& c) { return T::Rate(c, &TGameState::SetBgmRate, &TAvgSoundCalls::SetBgmRate); },  // 83
        // 84 PlaySe
        [](C& c) {
          c.host.PlaySe(c.a[0], c.s.GetSeOption(0), c.s.GetSeOption(1));
          c.s.SetSeOption(0, 0);
          c.s.SetSeOption(1, 0);
          return 0;
        },
        // 85 StopSe
        [](C& c) {
          c.sound.StopSe();
          return 0;
        },
        [](C& c) { return T::Rate(c, &TGameState::SetSeRate, &TAvgSoundCalls::SetSeRate); },  // 86 SetSeRate
        // 87 SetSeOptions
        [](C& c) {
          c.s.SetSeOption(0, c.a[0]);
          c.s.SetSeOption(1, c.a[1]);
          return 0;
        },
        [](C& c) { return T::PlayLoopSe(c, c.a[0], c.a[1] != 0); },                                  // 88
        [](C& c) { return T::StopLoopSe(c, c.a[0] != 0); },                                          // 89
        [](C& c) { return T::Rate(c, &TGameState::SetLoopSeRate, &TAvgSoundCalls::SetLoopSeRate); },  // 90
        // 91 SetLoopSeOptions
        [](C& c) {
          c.s.SetLoopSeOption(2, c.a[0]);
          c.s.SetLoopSeOption(3, c.a[1]);
          return 0;
        },
        [](C& c) { return T::Pending(c, c.a[0]); },  // 92 SetPicture
        [](C& c) { return T::Pending(c, 998); },     // 93 SetPicture998
        [](C& c) { return T::Pending(c, 999); },     // 94 SetPicture999
        // 95 SetCharacter
        [](C& c) {
          TAvgGameCommands::SetCharacterSlot(c.a[0], c.a[1]);
          return 0;
        },
        // 96 ClearCharacter
        [](C& c) {
          TAvgGameCommands::SetCharacterSlot(-1, c.a[0]);
          return 0;
        },
        // 97 ShowStage
        [](C& c) {
          c.self.CommitStage(c.a[0]);
          return 0;
        },
        [](C& c) { return T::ShowPicture(c, c.a[0], c.a[1]); },  // 98 ShowPicture
        [](C& c) { return T::ShowPicture(c, 998, c.a[0]); },     // 99 ShowPicture998
        [](C& c) { return T::ShowPicture(c, 999, c.a[0]); },     // 100 ShowPicture999
        // 101 ShowCharacter
        [](C& c) {
          TAvgGameCommands::SetCharacterSlot(c.a[0], c.a[1]);
          c.self.CommitCharacters(c.a[2]);
          return 0;
        },
        // 102 HideCharacter
        [](C& c) {
          TAvgGameCommands::SetCharacterSlot(-1, c.a[0]);
          c.self.CommitCharacters(c.a[1]);
          return 0;
        },
        // 103 RedrawCharacters
        [](C& c) {
          c.self.Animate(3);
          return 0;
        },
        // 104 ClearCharacters
        [](C& c) {
          for (int i = 0; i < kSlots; ++i) PutSlot(i, kEmpty);
          c.self.Animate(4);
          return 0;
        },
        // 105 StageEffect
        [](C& c) {
          if (!(c.host.IsSkipping() && UserConfig.EffectCanSkip != 0)) c.host.StartStageEffect(c.a[0]);
          return T::Yield(c);
        },
        [](C& c) { return T::Cursor(c, true); },   // 106 ShowCursor
        [](C& c) { return T::Cursor(c, false); },  // 107 HideCursor
        // 108 SetPlace
        [](C& c) {
          c.s.SetPlace(c.a[0]);
          c.host.ShowPlace(c.a[0]);
          return 0;
        },
        // 109 SetDate
        [](C& c) {
          c.s.SetDate(c.a[0]);
          return T::Calendar(c);
        },
        [](C& c) { return c.s.GetMonth() * 100 + c.s.GetDay(); },  // 110 GetDate
        [](C& c) { return c.s.GetMonth(); },                       // 111 GetMonth
        [](C& c) { return c.s.GetDay(); },                         // 112 GetDay
        [](C& c) { return c.s.GetWeekday(); },                     // 113 GetWeekday
        // 114 SetTime
        [](C& c) {
          c.s.SetTime(c.a[0]);
          return T::Calendar(c);
        },
        [](C& c) { return c.s.GetHour() * 100 + c.s.GetMinute(); },  // 115 GetTime
        [](C& c) { return c.s.GetHour(); },                          // 116 GetHour
        [](C& c) { return c.s.GetMinute(); },                        // 117 GetMinute
        // 118 SetSceneParam
        [](C& c) {
          c.s.SetSceneParam(c.a[0]);
          return 0;
        },
        [](C& c) { return c.s.GetSceneParam(); },  // 119 GetSceneParam
        // 120 Choice
        [](C& c) {
          c.s.ClearChoiceTexts();
          for (int i = 0; i < 4; ++i) c.s.SetChoiceText(i, T::Text(c, c.a[i]));
          T::BeginWait(c, 2);
          c.host.OpenChoice();
          return T::Yield(c);
        },
        // 121 PlayOpeningMovie
        [](C& c) {
          c.host.PlayOpeningMovie();
          return T::Yield(c);
        },
        [](C& c) { return T::Movie(c, &TAvgUnit::PlayEndingMovie); },  // 122 PlayEndingMovie
        // 123 EndScript
        [](C& c) {
          c.s.SetScriptEnded(true);
          return 0;
        },
        // 124 RequestMusicGame
        [](C& c) {
          c.s.SetRequestArg(c.a[0]);
          T::BeginWait(c, 4);
          c.host.RequestMusicGame();
          return T::Yield(c);
        },
        // 125 ClearSwitches
        [](C& c) {
          c.s.SetAllSwitches(false);
          return 0;
        },
        // 126 SetAllSwitches
        [](C& c) {
          c.s.SetAllSwitches(true);
          return 0;
        },
        // 127 SetSwitch
        [](C& c) {
          if (c.a[0] >= 0 && c.a[0] < kSwitches) c.s.SetSwitch(c.a[0], c.a[1] != 0);
          return 0;
        },
        // 128 ExtraSelect
        [](C& c) {
          T::BeginWait(c, 3);
          c.host.OpenExtraSelect(c.a[0]);
          return T::Yield(c);
        },
        // 129 AddDays
        [](C& c) {
          c.s.AddDays(c.a[0]);
          return T::Calendar(c);
        },
        // 130 AddMinutes
        [](C& c) {
          c.s.AddMinutes(c.a[0]);
          return T::Calendar(c);
        },
        [](C& c) { return T::Rate(c, &TGameState::SetExtraSoundRate, &TAvgSoundCalls::SetExtraSoundRate); },  // 131
        [](C& c) { return T::Shift(c, true); },            // 132 ShiftCharactersRight
        [](C& c) { return T::Shift(c, false); },           // 133 ShiftCharactersLeft
        [](C& c) { return T::Plate(c, true, true); },      // 134 ShowDatePlate
        [](C& c) { return T::Plate(c, true, false); },     // 135 HideDatePlate
        [](C& c) { return T::Plate(c, false, true); },     // 136 ShowClockPlate
        [](C& c) { return T::Plate(c, false, false); },    // 137 HideClockPlate
        [](C& c) { return T::StartBgm(c, c.a[0], true, true); },   // 138 FadeInBgm
        [](C& c) { return T::StopBgm(c, true); },                  // 139 FadeOutBgm
        [](C& c) { return T::StartBgm(c, c.a[0], false, true); },  // 140 FadeInBgmOnce
        [](C& c) { return T::StopBgm(c, true); },                  // 141 FadeOutBgm2
        [](C& c) { return T::PlayLoopSe(c, c.a[0], false); },      // 142 PlayLoopSe2
        [](C& c) { return T::StopLoopSe(c, true); },               // 143 FadeOutLoopSe
        // 144 EnableSong
        [](C& c) {
          SystemData.EnableSong(c.a[0]);
          return 0;
        },
        [](C& c) { return T::Stage(c, c.a[0]); },  // 145 SetStageValue
        [](C& c) { return c.s.GetStageValue(); },  // 146 GetStageValue
        // 147 SetStageLevel
        [](C& c) { return c.a[0] >= 0 && c.a[0] < 4 ? T::Stage(c, c.a[0] * 50) : 0; },
        [](C& c) { return c.s.GetStageLevel(); },  // 148 GetStageLevel
        // 149 AddStageValue
        [](C& c) {
          const long long v = static_cast<long long>(c.s.GetStageValue()) + c.a[0];
          return T::Stage(c, static_cast<int>(std::clamp<long long>(v, 0, 255)));
        },
        // 150 SubStageValue
        [](C& c) {
          const long long v = static_cast<long long>(c.s.GetStageValue()) - c.a[0];
          return T::Stage(c, static_cast<int>(std::clamp<long long>(v, 0, 255)));
        },
        // 151 RaiseStage: by n, and at least to the next level
        [](C& c) {
          if (c.a[0] < 0) return 0;
          const int level = c.s.GetStageLevel();
          if (level == 4) return T::Stage(c, 255);
          const int v = static_cast<int>(std::min<long long>(255, static_cast<long long>(c.s.GetStageValue()) + c.a[0]));
          return T::Stage(c, std::min(v, 255) / 50 == level ? level * 50 + 50 : v);
        },
        // 152 LowerStage: by n, and at least to the level below
        [](C& c) {
          if (c.a[0] < 0) return 0;
          const int level = c.s.GetStageLevel();
          if (level == 0) return T::Stage(c, 0);
          const int v = static_cast<int>(std::max<long long>(0, static_cast<long long>(c.s.GetStageValue()) - c.a[0]));
          return T::Stage(c, std::min(v / 50, 4) == level ? level * 50 - 1 : v);
        },
        // 153 SetScriptWord
        [](C& c) {
          c.s.SetScriptWord(c.a[0]);
          return 0;
        },
        // 154 SetSpeakerSlot
        [](C& c) {
          SetAllSpeaking(c.host, c.a[0] >= 0 && c.a[0] < kSlots ? c.a[0] : -1);
          return 0;
        },
        // 155 AllSpeaking
        [](C& c) {
          SetAllSpeaking(c.host, 3);
          return 0;
        },
        // 156 NoneSpeaking
        [](C& c) {
          SetAllSpeaking(c.host, -1);
          return 0;
        },
        // 157 Talk
        [](C& c) {
          c.host.Talk(c.a[0] <= 0 ? 0 : std::max(1, Frames(c.a[0])));
          return 0;
        },
        // 158 StopTalk
        [](C& c) {
          c.host.StopTalk();
          return 0;
        },
        // 159 SetStageEffectSpeed
        [](C& c) {
          c.s.SetStageEffectSpeed(std::max(c.a[0], 1));
          return 0;
        },
        [](C& c) { return T::Movie(c, &TAvgUnit::PlayEventMovie); },  // 160 PlayMovie
        [](C& c) { return c.a[0] > 0 ? VXSharedRandom(c.a[0]) : 0; },  // 161 Random
        // 162 SetSpeakerId
        [](C& c) {
          for (int i = 0; i < kSlots; ++i) {
            const int shown = c.s.GetShownCharacter(i);
            const bool on = c.a[0] >= 0 && shown >= 0 && shown <= 999 && c.engine.GetSpeaker(shown) == c.a[0];
            c.s.SetSpeaking(i, on);
            c.s.SetShownSpeaking(i, on);
          }
          c.host.StopTalk();
          return 0;
        },
        // 163 MarkEventSeen
        [](C& c) {
          MarkEvent(c.a[0]);
          return 0;
        },
        // 164 ClearBacklog
        [](C& c) {
          c.s.ClearBacklog();
          return 0;
        },
};

TAvgGameCommands::TAvgGameCommands(TAvgSoundCalls* sound) : sound_(sound != nullptr ? sound : &defaultSound_) {}

void TAvgGameCommands::RunCommand(TAvgUnit& host, TScriptEngine& engine, int opcode) {
  const scrdef::TOpcodeInfo* info = scrdef::GetOpcodeInfo(opcode);
  int args[4] = {};
  if (info == nullptr || opcode < scrdef::opFirstCommand || opcode > scrdef::opLastCommand || info->args > 4)
    throw EGameErr();
  TGameState& s = GameState;
  for (int i = info->args - 1; i >= 0; --i) args[i] = s.PopValue();
  host_ = &host;
  engine_ = &engine;
  TAvgCommandTable::C c{*this, host, engine, s, *sound_, args};
  const int result = TAvgCommandTable::kHandlers[static_cast<std::size_t>(opcode - scrdef::opFirstCommand)](c);
  if (info->results > 0 && !info->waits) s.PushValue(result);
}

// ---- Characters and the stage -------------------------------------------------------------------------------------

void TAvgGameCommands::SetCharacterSlot(int character, int slot) {
  if (slot < 0 || slot >= kSlots) return;
  TGameState& s = GameState;
  const int pending = s.GetLayoutKind();
  const bool left = s.GetCharacter(0) >= 0, centre = s.GetCharacter(1) >= 0, right = s.GetCharacter(2) >= 0;
  const bool centreAlone = !left && centre && !right;
  const bool twoApart = left && !centre && right;
  int kind = 0;
  if (character >= 0 && slot != 1 && centreAlone) {
    // The one in the centre steps aside to make room.
    const int to = slot == 0 ? 2 : 0;
    PutSlot(to, GetSlot(1));
    PutSlot(1, kEmpty);
    PutSlot(slot, {character, false});
    kind = slot == 0 ? (pending == 1 ? 0 : 2) : (pending == 2 ? 0 : 1);
  } else if (character < 0 && slot != 1 && twoApart) {
    // The one left over goes to the centre.
    const int other = slot == 0 ? 2 : 0;
    PutSlot(1, GetSlot(other));
    PutSlot(0, kEmpty);
    PutSlot(2, kEmpty);
    kind = slot == 0 ? (pending == 2 ? 0 : 1) : (pending == 1 ? 0 : 2);
  } else {
    s.SetCharacter(slot, character < 0 ? -1 : character);
  }
  s.SetLayoutKind(kind);
}

void TAvgGameCommands::CommitStage(int effect) {
  TGameState& s = GameState;
  s.SetShownPicture(s.GetPendingPicture());
  CopySlotsToShown();
  MarkEvent(s.GetShownPicture());
  if (host_ != nullptr) host_->ChangeStage(effect, s.GetStageEffectSpeed());
  s.SetLayoutKind(0);
  s.SetStageEffectSpeed(100);
  UpdateExtraSound();
  if (engine_ != nullptr) engine_->Yield();
}

void TAvgGameCommands::CommitCharacters(int mode) {
  if (mode == 0 || mode == 1) {
    CommitStage(mode == 0 ? 0 : 2);
    return;
  }
  Animate(GameState.GetLayoutKind());
}

void TAvgGameCommands::Animate(int kind) {
  TGameState& s = GameState;
  s.SetLayoutKind(kind);
  CopySlotsToShown();
  if (host_ != nullptr) host_->ChangeCharacters(kind);
  s.SetLayoutKind(0);
  if (engine_ != nullptr) engine_->Yield();
}

void TAvgGameCommands::StageValueChanged(int value) {
  GameState.SetStageValue(value);
  UpdateExtraSound();
}

void TAvgGameCommands::UpdateExtraSound() {
  TGameState& s = GameState;
  const int current = s.GetExtraSound();
  int wanted = -1;
  if (s.GetSceneParam() == 2) {
    const int picture = s.GetShownPicture();
    const int level = s.GetStageLevel();
    if (picture % 1000 < 998) wanted = level + (picture / 1000 == 1 ? 5 : 0);
    else if (current >= 0) wanted = level + (current >= 5 ? 5 : 0);  // a white or black screen keeps what plays
  }
  if (wanted == current) return;
  s.SetExtraSound(wanted);
  if (wanted >= 0) sound_->PlayExtraSound(wanted);
  else sound_->StopExtraSound();
}
