#include "scenario/scrdef.h"

#include <array>
#include <strings.h>

#include "shell/gamestate.h"

namespace scrdef {

namespace {

constexpr int kMessageLimit = TGameState::kMessageLength;
constexpr int kChoiceLimit = TGameState::kLineLength;
constexpr int kStringLimit = TGameState::kStringLength;

struct TNamedOpcode {
  int opcode;
  TOpcodeInfo info;
};

// name, arguments, string arguments, results, waits, text limit
constexpr TNamedOpcode kOpcodes[] = {
    {0, {"Nop", 0, 0, 0, false, 0}},
    {1, {"Push", 0, 0, 1, false, 0}},
    {2, {"Pop", 1, 0, 0, false, 0}},
    {3, {"Jump", 0, 0, 0, false, 0}},
    {4, {"JumpIfZero", 0, 0, 0, false, 0}},
    {5, {"JumpIfNotZero", 0, 0, 0, false, 0}},
    {6, {"Call", 0, 0, 1, false, 0}},
    {8, {"Dup", 1, 0, 2, false, 0}},
    {9, {"Swap", 2, 0, 2, false, 0}},
    {10, {"DupSecond", 2, 0, 3, false, 0}},
    {11, {"SwapSecondThird", 3, 0, 3, false, 0}},
    {14, {"Return", 1, 0, 0, false, 0}},
    {15, {"End", 0, 0, 0, false, 0}},
    {16, {"Not", 1, 0, 1, false, 0}},
    {19, {"Mul", 2, 0, 1, false, 0}},
    {20, {"Div", 2, 0, 1, false, 0}},
    {21, {"Mod", 2, 0, 1, false, 0}},
    {22, {"Add", 2, 0, 1, false, 0}},
    {23, {"Sub", 2, 0, 1, false, 0}},
    {24, {"Less", 2, 0, 1, false, 0}},
    {25, {"LessEqual", 2, 0, 1, false, 0}},
    {26, {"Greater", 2, 0, 1, false, 0}},
    {27, {"GreaterEqual", 2, 0, 1, false, 0}},
    {28, {"Equal", 2, 0, 1, false, 0}},
    {29, {"NotEqual", 2, 0, 1, false, 0}},
    {30, {"And", 2, 0, 1, false, 0}},
    {31, {"Or", 2, 0, 1, false, 0}},
    {32, {"SetFlag", 2, 0, 0, false, 0}},
    {33, {"GetFlag", 1, 0, 1, false, 0}},
    {34, {"SetSystemFlag", 2, 0, 0, false, 0}},
    {35, {"GetSystemFlag", 1, 0, 1, false, 0}},
    {36, {"SetVar", 2, 0, 0, false, 0}},
    {37, {"GetVar", 1, 0, 1, false, 0}},
    {38, {"SetSystemVar", 2, 0, 0, false, 0}},
    {39, {"GetSystemVar", 1, 0, 1, false, 0}},
    {40, {"SetString", 2, 0b10, 0, false, kStringLimit}},
    {41, {"SignBit", 1, 0, 1, false, 0}},
    {42, {"SetResult", 1, 0, 0, false, 0}},
    {43, {"PushResult", 0, 0, 1, false, 0}},
    {44, {"GetSystemFlagCopy", 1, 0, 1, false, 0}},
    {45, {"GetSystemVarCopy", 1, 0, 1, false, 0}},
    {46, {"PushResult2", 0, 0, 1, false, 0}},
    {48, {"GoToScene", 0, 0, 0, false, 0}},
    {64, {"Message", 1, 0b1, 0, false, kMessageLimit}},
    {65, {"LineFeed", 0, 0, 0, false, 0}},
    {66, {"PageBreak", 0, 0, 0, false, 0}},
    {67, {"ShowMessageWindow", 0, 0, 0, false, 0}},
    {68, {"HideMessageWindow", 0, 0, 0, false, 0}},
    {69, {"SetTextSpeed", 1, 0, 0, false, 0}},
    {70, {"SetNovelMode", 1, 0, 0, false, 0}},
    {71, {"SetTextCursor", 2, 0, 0, false, 0}},
    {72, {"Wait", 1, 0, 0, false, 0}},
    {73, {"WaitClick", 0, 0, 0, false, 0}},
    {74, {"SetSkipForbidden", 1, 0, 0, false, 0}},
    {75, {"PlayVoice", 1, 0, 0, false, 0}},
    {76, {"SetVoiceRate", 1, 0, 0, false, 0}},
    {77, {"SetVoiceOptions", 2, 0, 0, false, 0}},
    {78, {"StartBgm", 2, 0, 0, false, 0}},
    {79, {"EndBgm", 1, 0, 0, false, 0}},
    {80, {"SetBgmRate", 1, 0, 0, false, 0}},
    {81, {"StartBgmOnce", 2, 0, 0, false, 0}},
    {82, {"EndBgm2", 1, 0, 0, false, 0}},
    {83, {"SetBgmRate2", 1, 0, 0, false, 0}},
    {84, {"PlaySe", 1, 0, 0, false, 0}},
    {85, {"StopSe", 0, 0, 0, false, 0}},
    {86, {"SetSeRate", 1, 0, 0, false, 0}},
    {87, {"SetSeOptions", 2, 0, 0, false, 0}},
    {88, {"PlayLoopSe", 2, 0, 0, false, 0}},
    {89, {"StopLoopSe", 1, 0, 0, false, 0}},
    {90, {"SetLoopSeRate", 1, 0, 0, false, 0}},
    {91, {"SetLoopSeOptions", 2, 0, 0, false, 0}},
    {92, {"SetPicture", 1, 0, 0, false, 0}},
    {93, {"SetPicture998", 0, 0, 0, false, 0}},
    {94, {"SetPicture999", 0, 0, 0, false, 0}},
    {95, {"SetCharacter", 2, 0, 0, false, 0}},
    {96, {"ClearCharacter", 1, 0, 0, false, 0}},
    {97, {"ShowStage", 1, 0, 0, false, 0}},
    {98, {"ShowPicture", 2, 0, 0, false, 0}},
    {99, {"ShowPicture998", 1, 0, 0, false, 0}},
    {100, {"ShowPicture999", 1, 0, 0, false, 0}},
    {101, {"ShowCharacter", 3, 0, 0, false, 0}},
    {102, {"HideCharacter", 2, 0, 0, false, 0}},
    {103, {"RedrawCharacters", 0, 0, 0, false, 0}},
    {104, {"ClearCharacters", 0, 0, 0, false, 0}},
    {105, {"StageEffect", 1, 0, 0, false, 0}},
    {106, {"ShowCursor", 0, 0, 0, false, 0}},
    {107, {"HideCursor", 0, 0, 0, false, 0}},
    {108, {"SetPlace", 1, 0, 0, false, 0}},
    {109, {"SetDate", 1, 0, 0, false, 0}},
    {110, {"GetDate", 0, 0, 1, false, 0}},
    {111, {"GetMonth", 0, 0, 1, false, 0}},
    {112, {"GetDay", 0, 0, 1, false, 0}},
    {113, {"GetWeekday", 0, 0, 1, false, 0}},
    {114, {"SetTime", 1, 0, 0, false, 0}},
    {115, {"GetTime", 0, 0, 1, false, 0}},
    {116, {"GetHour", 0, 0, 1, false, 0}},
    {117, {"GetMinute", 0, 0, 1, false, 0}},
    {118, {"SetSceneParam", 1, 0, 0, false, 0}},
    {119, {"GetSceneParam", 0, 0, 1, false, 0}},
    {120, {"Choice", 4, 0b1111, 1, true, kChoiceLimit}},
    {121, {"PlayOpeningMovie", 0, 0, 0, false, 0}},
    {122, {"PlayEndingMovie", 1, 0, 0, false, 0}},
    {123, {"EndScript", 0, 0, 0, false, 0}},
    {124, {"RequestMusicGame", 1, 0, 1, true, 0}},
    {125, {"ClearSwitches", 0, 0, 0, false, 0}},
    {126, {"SetAllSwitches", 0, 0, 0, false, 0}},
    {127, {"SetSwitch", 2, 0, 0, false, 0}},
    {128, {"ExtraSelect", 1, 0, 1, true, 0}},
    {129, {"AddDays", 1, 0, 0, false, 0}},
    {130, {"AddMinutes", 1, 0, 0, false, 0}},
    {131, {"SetExtraSoundRate", 1, 0, 0, false, 0}},
    {132, {"ShiftCharactersRight", 0, 0, 0, false, 0}},
    {133, {"ShiftCharactersLeft", 0, 0, 0, false, 0}},
    {134, {"ShowDatePlate", 1, 0, 0, false, 0}},
    {135, {"HideDatePlate", 1, 0, 0, false, 0}},
    {136, {"ShowClockPlate", 1, 0, 0, false, 0}},
    {137, {"HideClockPlate", 1, 0, 0, false, 0}},
    {138, {"FadeInBgm", 1, 0, 0, false, 0}},
    {139, {"FadeOutBgm", 0, 0, 0, false, 0}},
    {140, {"FadeInBgmOnce", 1, 0, 0, false, 0}},
    {141, {"FadeOutBgm2", 0, 0, 0, false, 0}},
    {142, {"PlayLoopSe2", 1, 0, 0, false, 0}},
    {143, {"FadeOutLoopSe", 0, 0, 0, false, 0}},
    {144, {"EnableSong", 1, 0, 0, false, 0}},
    {145, {"SetStageValue", 1, 0, 0, false, 0}},
    {146, {"GetStageValue", 0, 0, 1, false, 0}},
    {147, {"SetStageLevel", 1, 0, 0, false, 0}},
    {148, {"GetStageLevel", 0, 0, 1, false, 0}},
    {149, {"AddStageValue", 1, 0, 0, false, 0}},
    {150, {"SubStageValue", 1, 0, 0, false, 0}},
    {151, {"RaiseStage", 1, 0, 0, false, 0}},
    {152, {"LowerStage", 1, 0, 0, false, 0}},
    {153, {"SetScriptWord", 1, 0, 0, false, 0}},
    {154, {"SetSpeakerSlot", 1, 0, 0, false, 0}},
    {155, {"AllSpeaking", 0, 0, 0, false, 0}},
    {156, {"NoneSpeaking", 0, 0, 0, false, 0}},
    {157, {"Talk", 1, 0, 0, false, 0}},
    {158, {"StopTalk", 0, 0, 0, false, 0}},
    {159, {"SetStageEffectSpeed", 1, 0, 0, false, 0}},
    {160, {"PlayMovie", 1, 0, 0, false, 0}},
    {161, {"Random", 1, 0, 1, false, 0}},
    {162, {"SetSpeakerId", 1, 0, 0, false, 0}},
    {163, {"MarkEventSeen", 1, 0, 0, false, 0}},
    {164, {"ClearBacklog", 0, 0, 0, false, 0}},
};

constexpr std::array<const TOpcodeInfo*, kOpcodeCount> MakeTable() {
  std::array<const TOpcodeInfo*, kOpcodeCount> table{};
  for (const TNamedOpcode& op : kOpcodes) table[op.opcode] = &op.info;
  return table;
}

constexpr std::array<const TOpcodeInfo*, kOpcodeCount> kTable = MakeTable();

}  // namespace

const TOpcodeInfo* GetOpcodeInfo(int opcode) {
  return opcode >= 0 && opcode < kOpcodeCount ? kTable[opcode] : nullptr;
}

int FindOpcode(const char* name) {
  for (const TNamedOpcode& op : kOpcodes)
    if (strcasecmp(op.info.name, name) == 0) return op.opcode;
  return -1;
}

bool ParseCallTarget(const VXString& target, int& script, VXString& function) {
  const int at = target.Pos("::");
  if (at == 0) return false;
  int number = -1;
  if (at > 1) {
    const VXString part = target.SubString(1, at - 1).LowerCase();
    if (part.Length() < 4 || part.SubString(1, 3) != VXString("scr")) return false;
    number = 0;
    for (int i = 4; i <= part.Length(); ++i) {
      if (part[i] < '0' || part[i] > '9') return false;
      number = number * 10 + (part[i] - '0');
      if (number > 65535) return false;
    }
  }
  script = number;
  function = target.SubString(at + 2, target.Length());
  return true;
}

}  // namespace scrdef
