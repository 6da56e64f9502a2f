#include "scenario/scripte.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/vxstd.h"
#include "core/vxtext.h"
#include "platform/text.h"
#include "scenario/fixture.h"
#include "support/recordbytes.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Sj(const std::string& utf8) { return platform::text::Utf8ToCp932(utf8).value(); }

// A script 1 whose scene "s" starts in `main` with the given body; more functions may follow.
std::string Scene(const std::string& body, const std::string& more = "") {
  return "script 1\nscene \"s\" main\nfunction main\n" + body + "\n" + more;
}

std::size_t Find(const Bytes& bytes, const Bytes& pattern) {
  const auto at = std::search(bytes.begin(), bytes.end(), pattern.begin(), pattern.end());
  EXPECT_NE(at, bytes.end());
  return static_cast<std::size_t>(at - bytes.begin());
}

// Push d, then an opcode: the bytes of a call or scene jump through record d.
Bytes PushThen(std::uint32_t d, std::uint8_t opcode) {
  return {1, 0, static_cast<std::uint8_t>(d), static_cast<std::uint8_t>(d >> 8), static_cast<std::uint8_t>(d >> 16),
          static_cast<std::uint8_t>(d >> 24), opcode, 0};
}

std::uint32_t Field(const Bytes& file, std::size_t at) { return VXGetLE32(file.data() + at); }

class ScriptEngine : public ScenarioTest {
protected:
  // Builds, starts scene "s" and runs it to its end.
  void Run(const std::string& body, const std::string& more = "") {
    Build({Scene(body, more)});
    ASSERT_TRUE(engine_->StartScene("s"));
    ASSERT_TRUE(RunToEnd());
  }

  // A new game on the files as they are now: a fresh state and engine, the table loaded, the scene started.
  bool NewGame(const VXString& scene = "s") {
    GameState = TGameState();
    engine_ = std::make_unique<TScriptEngine>(&scripts_, &data_, &host_);
    engine_->LoadSceneTable();
    return engine_->StartScene(scene);
  }
};

// ---- Arithmetic, comparisons, stack words and records --------------------------------------------------------------

TEST_F(ScriptEngine, ArithmeticAndComparisonsFollowTheirTable) {
  struct Case {
    const char* op;
    int a, b, expected;
  };
  const Case cases[] = {
      {"Add", 2, 3, 5},          {"Add", INT_MAX, 1, INT_MIN},    {"Sub", 2, 3, -1},
      {"Sub", INT_MIN, 1, INT_MAX}, {"Mul", -4, 6, -24},          {"Mul", 65536, 65536, 0},
      {"Div", 7, 2, 3},          {"Div", -7, 2, -3},              {"Div", 7, 0, -1},
      {"Div", -7, 0, 0},         {"Div", 0, 0, -1},               {"Div", INT_MIN, -1, INT_MIN},
      {"Div", INT_MIN, 1, INT_MIN}, {"Mod", -7, 2, -1},           {"Mod", 7, -2, 1},
      {"Mod", 7, 0, 0},          {"Mod", INT_MIN, -1, 0},         {"Mod", INT_MIN, 3, -2},
      {"Less", 1, 2, 1},         {"Less", 2, 1, 0},               {"Less", -1, 0, 1},
      {"LessEqual", 2, 2, 1},    {"LessEqual", 3, 2, 0},          {"Greater", 2, 1, 1},
      {"Greater", -1, 0, 0},     {"GreaterEqual", 2, 2, 1},       {"GreaterEqual", 1, 2, 0},
      {"Equal", 5, 5, 1},        {"Equal", 5, -5, 0},             {"NotEqual", 5, -5, 1},
      {"NotEqual", 0, 0, 0},     {"And", 2, -1, 1},               {"And", 2, 0, 0},
      {"And", 0, 0, 0},          {"Or", 0, 0, 0},                 {"Or", 0, 9, 1},
      {"Not", 0, 0, 1},          {"Not", 0, 7, 0},                {"SignBit", 0, -5, INT_MIN},
      {"SignBit", 0, INT_MAX, 0},
  };
  std::string body;
  std::vector<int> expected;
  for (const Case& c : cases) {
    const bool unary = std::string(c.op) == "Not" || std::string(c.op) == "SignBit";
    body += std::string("    ") + c.op + " " + (unary ? "" : std::to_string(c.a) + ", ") + std::to_string(c.b) + "\n";
    expected.push_back(c.expected);
  }
  Run(body + "    End");
  EXPECT_EQ(TakeStack(), expected);
}

TEST_F(ScriptEngine, StackWordsAreDuplicatedAndSwappedInPlace) {
  Run(R"(    Push 1
    Push 2
    Swap
    Push 3
    Dup
    Push 4
    Push 5
    DupSecond
    Push 6
    Push 7
    Push 8
    SwapSecondThird
    Push 9
    Pop
    End)");
  EXPECT_EQ(TakeStack(), (std::vector<int>{2, 1, 3, 3, 4, 4, 5, 7, 6, 8}));
}

TEST_F(ScriptEngine, FlagsVariablesAndStringsReachTheirRecords) {
  const std::uint8_t flagCopy[8] = {0x04};
  const std::int32_t varCopy[8] = {0, 321};
  GameState.SetSystemFlags(flagCopy);
  GameState.SetSystemVars(varCopy);
  GameState.SetResult2(9);
  Build({Scene(R"(    SetFlag 3, 7
    GetFlag 3
    GetFlag 600
    SetVar 5, -9
    GetVar 5
    GetVar 64
    SetSystemFlag 63, 1
    GetSystemFlag 63
    SetSystemVar 7, 1234
    GetSystemVar 7
    GetSystemVarCopy 9
    GetSystemFlagCopy 2
    GetSystemVarCopy 1
    SetResult 77
    PushResult
    PushResult2
    SetString 2, "名前"
    SetString 3, $2
    SetString 4, ""
    SetString 16, "溢れ"
    End)")});
  GameState.SetString(4, "old");
  ASSERT_TRUE(engine_->StartScene("s"));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(TakeStack(), (std::vector<int>{1, 0, -9, 0, 1, 1234, 0, 1, 321, 77, 0}));
  EXPECT_TRUE(GameState.GetFlag(3));
  EXPECT_TRUE(SystemData.GetFlag(63));
  EXPECT_EQ(SystemData.GetVar(7), 1234);
  EXPECT_EQ(Text(GameState.GetString(2)), Sj("名前"));
  EXPECT_EQ(Text(GameState.GetString(3)), Sj("名前"));
  EXPECT_EQ(Text(GameState.GetString(4)), "");
}

TEST_F(ScriptEngine, AStringOverItsSlotIsAGameError) {
  Build({Scene("    Push 0\n    Push \"" + std::string(128, 'x') + "\"\n    SetString\n    End")});
  ASSERT_TRUE(engine_->StartScene("s"));
  EXPECT_THROW(RunToEnd(), EGameErr);
  EXPECT_EQ(Text(GameState.GetString(0)), "");
}

// ---- Calls and returns ---------------------------------------------------------------------------------------------

TEST_F(ScriptEngine, CallsAndReturnsOfEveryKindGiveTheCallerItsStackBackWithOneWord) {
  Build({Scene(R"(    Push 10
    Push 20
    SetResult 5
    Call nothing            ; returns 0
    Call three              ; returns its top word
    Call eats               ; pops the caller's top word: the frame base stays
    PushResult              ; the caller's result is back
    Call scr2::far          ; another script
    Call ::nothing          ; this script by name
    End)",
               R"(
function nothing
    SetResult 8
    Return
function three
    Push 1
    Push 2
    Push 3
    Return
function eats
    Pop
    Return
)"),
         "script 2\nfunction far\n    WaitClick\n    Push 7\n    Return\n"});
  const std::uint32_t stamp1 = Field(ReadFile("scr00001.blv"), 12);
  const std::uint32_t stamp2 = Field(ReadFile("scr00002.blv"), 12);
  ASSERT_NE(stamp1, stamp2);
  ASSERT_TRUE(engine_->StartScene("s"));
  EXPECT_FALSE(engine_->RunScript());  // the WaitClick inside far
  EXPECT_EQ(GameState.GetScriptNumber(), 2);
  EXPECT_EQ(GameState.GetScriptStamp(), stamp2);
  ASSERT_EQ(GameState.GetCallDepth(), 1);
  const TCallFrame frame = GameState.GetCallFrame(0);
  EXPECT_EQ(frame.Script, 1);
  EXPECT_EQ(frame.Stamp, stamp1);
  EXPECT_EQ(frame.Result, 5);
  EXPECT_EQ(frame.Count, 6);
  EXPECT_EQ(GameState.GetResult(), 0);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(TakeStack(), (std::vector<int>{10, 20, 0, 3, 0, 5, 7, 0}));
  EXPECT_EQ(GameState.GetScriptNumber(), 1);
  EXPECT_EQ(GameState.GetScriptStamp(), stamp1);
  EXPECT_EQ(GameState.GetCallDepth(), 0);
  EXPECT_EQ(engine_->GetLoadedScript(), 1);
}

TEST_F(ScriptEngine, AReturnFromTheSceneFunctionEndsTheScript) {
  Run("    Push 1\n    Return\n    Push 2");
  EXPECT_EQ(TakeStack(), std::vector<int>{1});
}

TEST_F(ScriptEngine, ACallWhoseTargetCannotBeFoundEndsTheScriptWithoutAnError) {
  Build({"script 2\nfunction other\n    Return\n"}, false);
  for (const char* target : {"scr7::f", "scr2::missing"}) {
    Build({Scene(std::string("    Call ") + target + "\n    Push 1")});
    ASSERT_TRUE(NewGame());
    EXPECT_TRUE(RunToEnd()) << target;
    EXPECT_EQ(GameState.GetCallDepth(), 1) << target;
    EXPECT_EQ(GameState.GetValueCount(), 0) << target;
  }
}

TEST_F(ScriptEngine, ACallRecordOfAnotherKindEndsTheScript) {
  Build({Scene("    Call f\n    Push 1", "function f\n    Return\n")});
  Bytes file = ReadFile("scr00001.blv");
  const std::uint32_t data = Field(file, 40);
  file[data + 2] = 3;  // the record's kind
  WriteFile("scr00001.blv", file);
  ASSERT_TRUE(engine_->StartScene("s"));
  EXPECT_TRUE(RunToEnd());
  EXPECT_EQ(GameState.GetCallDepth(), 0);
}

TEST_F(ScriptEngine, NestedCallsStopAtSixtyFourFrames) {
  Build({Scene("    Call deeper", "function deeper\n    Call deeper\n")});
  ASSERT_TRUE(engine_->StartScene("s"));
  EXPECT_THROW(RunToEnd(), EGameErr);
  EXPECT_EQ(GameState.GetCallDepth(), 64);
}

TEST_F(ScriptEngine, AReturnIntoAScriptThatCannotBeLoadedEndsTheScript) {
  Build({Scene("    Push 4\n    Call scr2::far\n    Push 5"), "script 2\nfunction far\n    WaitClick\n    Return 9\n"});
  ASSERT_TRUE(engine_->StartScene("s"));
  EXPECT_FALSE(engine_->RunScript());
  std::filesystem::remove(dir_.path() / "scr00001.blv");
  EXPECT_TRUE(engine_->RunScript());
  EXPECT_EQ(GameState.GetCallDepth(), 0);
  EXPECT_EQ(GameState.GetScriptNumber(), 1);
  EXPECT_EQ(TakeStack(), (std::vector<int>{4, 9}));
}

// ---- Errors --------------------------------------------------------------------------------------------------------

TEST_F(ScriptEngine, StackOverflowAndUnderflowAreGameErrorsAfterWhichThePositionMovesOn) {
  struct Case {
    const char* body;
    int count;
  };
  const Case cases[] = {{"again:\n    Push 1\n    Jump again", 256}, {"    Push 1\n    Pop\n    Pop\n    End", 0}};
  for (const Case& c : cases) {
    Build({Scene(c.body)});
    ASSERT_TRUE(NewGame());
    const int start = GameState.GetScriptPos();
    EXPECT_THROW(RunToEnd(), EGameErr) << c.body;
    EXPECT_EQ(GameState.GetValueCount(), c.count);
    EXPECT_EQ(GameState.GetScriptPos(), start + (c.count == 0 ? 10 : 6)) << c.body;  // just after the failing one
  }
}

TEST_F(ScriptEngine, BrokenCodeIsAGameErrorAndRunningOffTheEndIsNot) {
  Build({Scene("    Push 1\n    Nop")});
  ASSERT_TRUE(engine_->StartScene("s"));
  EXPECT_TRUE(RunToEnd());  // off the end of the code section

  const Bytes good = ReadFile("scr00001.blv");
  const std::size_t nop = good.size() - 2;
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    int stopsAt;  // the position after the error, from the scene's start
  };
  const Case cases[] = {
      {"opcode 7", [&](Bytes& f) { f[nop] = 7; }, 6},
      {"opcode 165", [&](Bytes& f) { f[nop] = 165; }, 6},
      {"opcode 65535", [&](Bytes& f) { f[nop] = f[nop + 1] = 0xFF; }, 6},
      {"a cut operand", [&](Bytes& f) { Poke32(f.data(), 32, Field(f, 32) - 5); }, 6},
      {"an odd last byte", [&](Bytes& f) { Poke32(f.data(), 32, Field(f, 32) - 1); }, 6},
  };
  for (const Case& c : cases) {
    Bytes file = good;
    c.damage(file);
    WriteFile("scr00001.blv", file);
    ASSERT_TRUE(NewGame()) << c.what;
    const int start = GameState.GetScriptPos();
    EXPECT_THROW(RunToEnd(), EGameErr) << c.what;
    EXPECT_EQ(GameState.GetScriptPos(), start + c.stopsAt) << c.what;
  }
}

TEST_F(ScriptEngine, CallAndSceneJumpRecordsOutsideTheDataSectionAreGameErrors) {
  Build({Scene("    Call f\n    GoToScene \"s\"", "function f\n    Return\n")});
  const Bytes good = ReadFile("scr00001.blv");
  const std::uint32_t data = Field(good, 40);
  const std::uint32_t dataSize = Field(good, 44);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"call record far out", [&](Bytes& f) { Poke32(f.data(), Find(f, PushThen(0, 6)) + 2, 0xFFFFFFF0); }},
      {"call record cut", [&](Bytes& f) { Poke32(f.data(), Find(f, PushThen(0, 6)) + 2, dataSize - 1); }},
      {"local target cut", [&](Bytes& f) { Poke32(f.data(), 44, 6); }},
      {"scene record far out", [&](Bytes& f) { Poke32(f.data(), Find(f, PushThen(8, 48)) + 2, 0xFFFFFFFF); }},
      {"scene name without end", [&](Bytes& f) { f[data + dataSize - 1] = 'x'; }},
  };
  for (const Case& c : cases) {
    Bytes file = good;
    c.damage(file);
    WriteFile("scr00001.blv", file);
    ASSERT_TRUE(NewGame()) << c.what;
    EXPECT_THROW(RunToEnd(), EGameErr) << c.what;
  }
}

// ---- Waits, messages and text macros -------------------------------------------------------------------------------

TEST_F(ScriptEngine, AWaitHoldsTheScriptUntilItIsAnswered) {
  Build({Scene("    Choice \"はい\", \"いいえ\", \"\", \"\"\n    SetResult\n    End")});
  ASSERT_TRUE(engine_->StartScene("s"));
  engine_->ResumeWithValue(5);  // no wait: nothing
  EXPECT_FALSE(engine_->RunScript());
  EXPECT_TRUE(GameState.IsScriptWaiting());
  EXPECT_EQ(GameState.GetSceneMode(), 2);
  EXPECT_EQ(Text(GameState.GetChoiceText(1)), Sj("いいえ"));
  EXPECT_EQ(Text(GameState.GetChoiceText(2)), "");
  const int position = GameState.GetScriptPos();
  EXPECT_FALSE(engine_->RunScript());
  EXPECT_EQ(GameState.GetScriptPos(), position);
  EXPECT_EQ(GameState.GetSceneMode(), 2);
  engine_->ResumeWithValue(1);
  EXPECT_FALSE(GameState.IsScriptWaiting());
  EXPECT_TRUE(engine_->RunScript());
  EXPECT_EQ(GameState.GetResult(), 1);
  EXPECT_EQ(GameState.GetValueCount(), 0);
}

TEST_F(ScriptEngine, MessageTextIsShownChunkByChunkWithItsLineAndPageBreaks) {
  Build({Scene(R"(    SetTextSpeed 60
    Message "ひと\nふた\p"
    Push 1
    Message "【ユイ】み"
    Message "よ"
    SetTextSpeed 0
    Message "いつ"
    End)")});
  ASSERT_TRUE(engine_->StartScene("s"));
  std::vector<std::vector<std::string>> frames;
  for (int i = 0; i < 20 && !GameState.IsScriptEnded(); ++i) {
    host_.log.clear();
    engine_->RunScript();
    frames.push_back(host_.log);
    if (i == 2) {
      EXPECT_EQ(Text(GameState.GetPageLine(0)), Sj("ひと"));
      EXPECT_EQ(Text(GameState.GetPageLine(1)), Sj("ふた"));
    }
  }
  const std::vector<std::vector<std::string>> expected = {
      {"SetTextSpeed 60", "Message 1"},        // the window opens: a frame of its own
      {"text " + Sj("ひと") + "/500"},
      {"linefeed", "text " + Sj("ふた") + "/500"},
      {"clearpage", "Message 2", "text " + Sj("【ユイ】み") + "/0"},  // a speaker's name is shown at once
      {"Message 3", "text " + Sj("よ") + "/500"},
      {"SetTextSpeed 0", "Message 4", "text " + Sj("いつ") + "/0"},
      {},
  };
  EXPECT_EQ(frames, expected);
  EXPECT_EQ(GameState.GetValueCount(), 1);
  for (int message = 1; message <= 4; ++message) EXPECT_TRUE(ReadMesTable.IsRead(1u << 16 | message)) << message;
  EXPECT_EQ(Text(GameState.GetPageLine(0)), Sj("【ユイ】みよいつ"));  // no break since the page break
}

TEST_F(ScriptEngine, EscapesAreFoundOnCharacterBoundariesOnly) {
  // 表 and ソ end in the byte of a backslash: followed by n or p they are no line or page break.
  Build({Scene("    Message \"表nソp\\n表\"\n    End")});
  ASSERT_TRUE(engine_->StartScene("s"));
  ASSERT_TRUE(RunToEnd());
  const std::vector<std::string> expected = {"Message 1", "text " + Sj("表nソp") + "/150", "linefeed",
                                             "text " + Sj("表") + "/150"};
  EXPECT_EQ(host_.log, expected);
}

TEST_F(ScriptEngine, TextMacrosInsertRegistersVariablesAndSlots) {
  Build({Scene("    Message \"一\"\n    Message \"二\"")});
  ASSERT_TRUE(engine_->StartScene("s"));
  GameState.SetResult(-5);
  GameState.SetVar(12, 34);
  GameState.SetString(1, Vx(Sj("名")));
  GameState.SetString(2, "%r");
  const std::string minusFive = Text(VXIntToWideStr(-5, 1));
  struct Case {
    std::string in, out;
  };
  const Case cases[] = {
      {"%v12abc", Sj("３４") + "abc"},
      {"%v12%v12", Sj("３４３４")},
      {"%r", minusFive},
      {"%%r", minusFive},
      {"%s1" + Sj("です"), Sj("名です")},
      {"%s2", "%r"},  // inserted text is not scanned again
      {"%s99", ""},
      {"%v", ""},
      {"a%s", "a"},
      {"%x", "x"},
      {"100%", "100"},
      {"%v99999999999", Sj("０")},
      {"a b\tc\r\nd", "abcd"},
      {Sj("表") + "%r", Sj("表") + minusFive},
      {Sj("漢") + "\x88", Sj("漢")},  // a cut double-byte character goes
  };
  for (const Case& c : cases) EXPECT_EQ(Text(engine_->ExpandTextMacros(Vx(c.in))), c.out) << c.in;
}

TEST_F(ScriptEngine, StringOperandsNameSlotsAndTextRecords) {
  Build({Scene("    Message \"一\"\n    Message \"二\"")});
  EXPECT_THROW(engine_->GetStringOperand(1), EGameErr);  // no script loaded
  ASSERT_TRUE(engine_->StartScene("s"));
  GameState.SetString(1, "slot");
  EXPECT_EQ(Text(engine_->GetStringOperand(0)), "");
  EXPECT_EQ(Text(engine_->GetStringOperand(1)), Sj("一"));
  EXPECT_EQ(Text(engine_->GetStringOperand(2)), Sj("二"));
  EXPECT_EQ(Text(engine_->GetStringOperand(static_cast<int>(0x80000001u))), "slot");
  EXPECT_EQ(Text(engine_->GetStringOperand(static_cast<int>(0x80000063u))), "");
  EXPECT_THROW(engine_->GetStringOperand(3), EGameErr);
}

// ---- Scenes --------------------------------------------------------------------------------------------------------

const char* const kScenes = R"(script 1
scene "朝" morning start 04/07 08:10 end 04/07 12:00
scene "夜" night
function morning
    WaitClick
    GoToScene "夜"
function night
    Push 5
    End
)";

TEST_F(ScriptEngine, AStartedSceneBeginsAtItsFunctionWithItsCalendar) {
  Build({kScenes});
  GameState.SetDate(101);
  GameState.SetTime(1000);
  GameState.SetEndDate(1231);
  GameState.PushValue(3);
  GameState.SetResult(4);
  GameState.SetMessageText("pending");
  const auto before = std::make_unique<TGameState>(GameState);
  ASSERT_TRUE(engine_->StartScene(Vx(Sj("朝"))));
  EXPECT_EQ(std::memcmp(&SceneStartState, before.get(), sizeof(TGameState)), 0);
  EXPECT_EQ(GameState.GetScriptPos(), engine_->FunctionCodeStart(engine_->FindFunction("morning")));
  EXPECT_EQ(Text(GameState.GetSceneName()), Sj("朝"));
  EXPECT_EQ(GameState.GetScriptNumber(), 1);
  EXPECT_EQ(GameState.GetScriptStamp(), engine_->GetLoadedStamp());
  EXPECT_FALSE(GameState.IsScriptEnded());
  EXPECT_EQ(GameState.GetValueCount(), 0);
  EXPECT_EQ(GameState.GetResult(), 0);
  EXPECT_TRUE(GameState.IsMessageEmpty());
  const TDateTime now = GameState.Now(), end = GameState.End();
  EXPECT_EQ((std::vector<int>{now.Month, now.Day, now.Hour, now.Minute, end.Month, end.Day, end.Hour, end.Minute}),
            (std::vector<int>{4, 7, 8, 10, 4, 7, 12, 0}));

  // Without dates the calendar stays and the end time goes. The scene lies in the loaded script: nothing is read.
  std::filesystem::remove(dir_.path() / "scr00001.blv");
  GameState.AddMinutes(5);
  ASSERT_TRUE(engine_->StartScene(Vx(Sj("夜"))));
  EXPECT_EQ(GameState.GetMinute(), 15);
  EXPECT_EQ(GameState.GetEndMonth(), 0);
}

TEST_F(ScriptEngine, AnUnknownSceneLeavesTheSceneStartCopyAlone) {
  Build({kScenes});
  ASSERT_TRUE(engine_->StartScene(Vx(Sj("朝"))));
  const auto copy = std::make_unique<TGameState>(SceneStartState);
  GameState.SetVar(1, 99);
  EXPECT_FALSE(engine_->StartScene("nowhere"));
  EXPECT_EQ(std::memcmp(&SceneStartState, copy.get(), sizeof(TGameState)), 0);
  EXPECT_FALSE(TScriptEngine(&scripts_, &data_, &host_).StartScene(Vx(Sj("朝"))));  // no table loaded
}

TEST_F(ScriptEngine, ASceneJumpStartsTheOtherSceneAndTellsTheHost) {
  Build({kScenes});
  ASSERT_TRUE(engine_->StartScene(Vx(Sj("朝"))));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(host_.log, (std::vector<std::string>{"WaitClick", "jumped"}));
  EXPECT_EQ(Text(GameState.GetSceneName()), Sj("夜"));
  EXPECT_EQ(TakeStack(), std::vector<int>{5});

  Bytes file = ReadFile("scr00001.blv");
  file[Field(file, 40) + 4] = 'x';  // the jump names an unknown scene
  WriteFile("scr00001.blv", file);
  ASSERT_TRUE(NewGame(Vx(Sj("朝"))));
  EXPECT_TRUE(RunToEnd());
  EXPECT_EQ(Text(GameState.GetSceneName()), Sj("朝"));
}

// A saved game stopped inside script 2, called from the scene in script 1.
class ResumeScene : public ScriptEngine {
protected:
  void SetUp() override {
    Build({"script 1\nscene \"s\" main\nfunction main\n    SetVar 1, 1\n    Call scr2::inner\n    End\n",
           kInner});
    GameState.SetVar(1, 7);
    ASSERT_TRUE(engine_->StartScene("s"));
    top_ = GameState.GetScriptPos();
    EXPECT_FALSE(engine_->RunScript());
    ASSERT_EQ(GameState.GetScriptNumber(), 2);
    saved_ = std::make_unique<TGameState>(GameState);
    savedStart_ = std::make_unique<TGameState>(SceneStartState);
    script1_ = ReadFile("scr00001.blv");
    script2_ = ReadFile("scr00002.blv");
  }

  // Loads the saved game into a new engine and resumes it; true when it went on where it was.
  bool Resumes() {
    GameState = *saved_;
    SceneStartState = *savedStart_;
    engine_ = std::make_unique<TScriptEngine>(&scripts_, &data_, &host_);
    engine_->LoadSceneTable();
    EXPECT_TRUE(engine_->ResumeScene());
    if (GameState.GetScriptPos() == saved_->GetScriptPos() && GameState.GetCallDepth() == 1) return true;
    EXPECT_EQ(GameState.GetScriptPos(), top_);
    EXPECT_EQ(GameState.GetCallDepth(), 0);
    EXPECT_EQ(GameState.GetVar(1), 7);  // the state the scene began with
    return false;
  }

  static constexpr const char* kInner = "script 2\nfunction inner\n    WaitClick\n    Return\n";
  int top_ = 0;
  std::unique_ptr<TGameState> saved_, savedStart_;
  Bytes script1_, script2_;
};

TEST_F(ResumeScene, GoesOnWhereItWasWhileEveryStampIsTheSame) {
  EXPECT_TRUE(Resumes());
  EXPECT_EQ(engine_->GetLoadedScript(), 2);
}

TEST_F(ResumeScene, RestartsTheSceneWhenAScriptOnTheCallStackChanged) {
  WriteFile("scr00001.blv",
            Compile({"script 1\nscene \"s\" main\nfunction main\n    SetVar 1, 2\n    Call scr2::inner\n    End\n"})
                .at("scr00001.blv"));
  EXPECT_FALSE(Resumes());
}

TEST_F(ResumeScene, RestartsTheSceneWhenTheCurrentScriptChanged) {
  WriteFile("scr00002.blv", Compile({std::string(kInner) + "    Nop\n"}).at("scr00002.blv"));
  ASSERT_NE(ReadFile("scr00002.blv"), script2_);
  EXPECT_FALSE(Resumes());
}

TEST_F(ResumeScene, RestartsTheSceneWhenAFileNamesAnotherScript) {
  Bytes file = script2_;
  Poke32(file.data(), 8, 3);
  WriteFile("scr00002.blv", file);
  EXPECT_FALSE(engine_->ReadScriptStamp(2).has_value());
  EXPECT_FALSE(Resumes());
}

TEST_F(ResumeScene, TakesAStampOfAllBitsSetForAStamp) {
  for (Bytes* file : {&script1_, &script2_}) Poke32(file->data(), 12, 0xFFFFFFFF);
  WriteFile("scr00001.blv", script1_);
  WriteFile("scr00002.blv", script2_);
  saved_->SetScriptStamp(0xFFFFFFFF);
  TCallFrame frame;
  saved_->PopCallFrame(frame);
  frame.Stamp = 0xFFFFFFFF;
  saved_->PushCallFrame(frame);
  EXPECT_EQ(engine_->ReadScriptStamp(1), 0xFFFFFFFFu);
  EXPECT_TRUE(Resumes());
  EXPECT_FALSE(engine_->ReadScriptStamp(4).has_value());  // no such file
}

// ---- Loading the scene table and scripts ---------------------------------------------------------------------------

TEST_F(ScriptEngine, BrokenSceneTablesFailWithTheirMessage) {
  Build({"script 1\nscene \"a\" f\nscene \"bb\" f\nfunction f\n    End\n"}, false);
  const Bytes good = ReadFile("Scene.tbl");  // entries of 24 and 25 bytes behind the 12-byte head
  const std::string invalid = "Scene.tblが不正です。";
  const std::string cut = "Scene.tblのシーン読込みに失敗しました。";
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
    std::string message;
  };
  const Case cases[] = {
      {"no file", [](Bytes&) {}, "Scene.tblが開けません。"},
      {"magic", [](Bytes& t) { t[3] = '2'; }, invalid},
      {"head cut", [](Bytes& t) { t.resize(10); }, invalid},
      {"area cut", [](Bytes& t) { t.pop_back(); }, cut},
      {"entry shorter than its fixed part", [](Bytes& t) { t[12] = 20; }, invalid},
      {"entry of size 0", [](Bytes& t) { t[12] = 0; }, invalid},
      {"entry past the area", [](Bytes& t) { t[36] = 26; }, invalid},
      {"name without end", [](Bytes& t) { t.back() = 'x'; }, invalid},
      {"count beyond the entries", [](Bytes& t) { t[8] = 3; }, invalid},
  };
  for (const Case& c : cases) {
    Bytes table = good;
    c.damage(table);
    if (std::string(c.what) == "no file")
      std::filesystem::remove(dir_.path() / "Scene.tbl");
    else
      WriteFile("Scene.tbl", table);
    TScriptEngine engine(&scripts_, &data_, &host_);
    EXPECT_THROW(engine.LoadSceneTable(), EGameErr) << c.what;
    EXPECT_FALSE(engine.IsLoaded()) << c.what;
    EXPECT_STREQ(engine.GetLoadError(), c.message.c_str()) << c.what;
    EXPECT_FALSE(engine.StartScene("a")) << c.what;
  }
  WriteFile("Scene.tbl", good);
  TScriptEngine engine(&scripts_, &data_, &host_);
  EXPECT_TRUE(engine.LoadSceneTable());
  EXPECT_TRUE(engine.StartScene("bb"));
}

TEST_F(ScriptEngine, OnlyTheFirst1024SceneNamesCanBeStarted) {
  std::string source = "script 1\nfunction f\n    End\n";
  for (int i = 0; i < 1024; ++i) source += "scene \"n" + std::to_string(i) + "\" f\n";
  Build({source}, false);
  Bytes table = ReadFile("Scene.tbl");
  const Bytes last(table.end() - 28, table.end());  // "n1023" behind its 22-byte fixed part
  table.insert(table.end(), last.begin(), last.end());
  table[table.size() - 2] = '4';  // "n1024"
  Poke32(table.data(), 4, Field(table, 4) + 28);
  Poke32(table.data(), 8, 1025);
  WriteFile("Scene.tbl", table);
  ASSERT_TRUE(engine_->LoadSceneTable());
  EXPECT_TRUE(engine_->StartScene("n1023"));
  EXPECT_FALSE(engine_->StartScene("n1024"));
}

TEST_F(ScriptEngine, TheSpeakerTableMapsPicturesToSpeakers) {
  Build({"script 1\nfunction f\n    End\n"}, false);
  EXPECT_TRUE(engine_->LoadSceneTable());
  EXPECT_EQ(engine_->GetSpeaker(5), -1);  // no file: nobody speaks
  dir_.Write("SpeakTbl.csv", ",#pic,#speaker,!\n#,5,2\n#,999,7\n#,1000,3\n#,-1,4\n!\n");
  EXPECT_TRUE(engine_->LoadSceneTable());
  EXPECT_EQ(engine_->GetSpeaker(5), 2);
  EXPECT_EQ(engine_->GetSpeaker(999), 7);
  EXPECT_EQ(engine_->GetSpeaker(0), -1);
  EXPECT_EQ(engine_->GetSpeaker(1000), -1);
  EXPECT_EQ(engine_->GetSpeaker(-1), -1);
}

TEST_F(ScriptEngine, BrokenScriptsDoNotLoad) {
  Build({Scene("    Message \"一\"\n    Message \"二\"\n    Call f", "function f\n    Return\n")}, false);
  const Bytes good = ReadFile("scr00001.blv");
  const std::uint32_t text = Field(good, 52);
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"header cut", [](Bytes& f) { f.resize(63); }},
      {"code beyond the file", [](Bytes& f) { Poke32(f.data(), 32, Field(f, 32) + 1000); }},
      {"code far beyond", [](Bytes& f) { Poke32(f.data(), 32, 0xFFFFFFF0); }},
      {"data beyond the file", [](Bytes& f) { Poke32(f.data(), 40, static_cast<std::uint32_t>(f.size())); }},
      {"text count above the records", [](Bytes& f) { Poke32(f.data(), 60, 3); }},
      {"text count far above", [](Bytes& f) { Poke32(f.data(), 60, 0xFFFFFFFF); }},
      {"text record too short", [&](Bytes& f) { f[text] = 2; }},
      {"text record too long", [&](Bytes& f) { f[text + 5] = 9; }},
      {"text without its end", [&](Bytes& f) { f[text + 4] = 'x'; }},
  };
  ASSERT_TRUE(engine_->LoadScript(1));
  for (const Case& c : cases) {
    Bytes file = good;
    c.damage(file);
    WriteFile("scr00001.blv", file);
    EXPECT_FALSE(engine_->LoadScript(1) && engine_->LoadScript(-1)) << c.what;  // the second one unloads
    EXPECT_FALSE(engine_->LoadScript(1)) << c.what;
    EXPECT_EQ(engine_->GetLoadedScript(), -1) << c.what;
  }
  WriteFile("scr00001.blv", good);
  EXPECT_TRUE(engine_->LoadScript(1));
  EXPECT_EQ(engine_->ReadScriptStamp(1), Field(good, 12));
}

TEST_F(ScriptEngine, FunctionsAreFoundByTheirExactNames) {
  Build({"script 1\nfunction first\n    End\nfunction Second\n    End\n"}, false);
  ASSERT_TRUE(engine_->LoadScript(1));
  EXPECT_EQ(engine_->FindFunction("first"), 0);
  EXPECT_EQ(engine_->FindFunction("Second"), 18);  // behind 10 + 6 bytes of head and name and one End
  EXPECT_EQ(engine_->FunctionCodeStart(18), 35);
  for (const char* name : {"second", "Secon", "Second2", ""}) EXPECT_EQ(engine_->FindFunction(name), -1) << name;
  EXPECT_EQ(engine_->FunctionCodeStart(-1), -1);
  EXPECT_EQ(engine_->FunctionCodeStart(30), -1);  // no record fits there
}

TEST_F(ScriptEngine, CallTargetsNameAScriptAndAFunction) {
  GameState.SetScriptNumber(12);
  struct Case {
    const char* target;
    bool ok;
    int script;
    const char* function;
  };
  const Case cases[] = {
      {"scr3::go", true, 3, "go"},       {"SCR00003::go", true, 3, "go"}, {"::go", true, 12, "go"},
      {"scr65535::", true, 65535, ""},   {"scr65536::go", false, 0, ""},  {"scr::go", false, 0, ""},
      {"sc3::go", false, 0, ""},         {"scr3a::go", false, 0, ""},     {"scr-1::go", false, 0, ""},
      {"go", false, 0, ""},              {"scr3:go", false, 0, ""},       {"scr3::a::b", true, 3, "a::b"},
  };
  for (const Case& c : cases) {
    int script = 0;
    VXString function;
    EXPECT_EQ(engine_->ParseCallTarget(c.target, script, function), c.ok) << c.target;
    if (!c.ok) continue;
    EXPECT_EQ(script, c.script) << c.target;
    EXPECT_EQ(Text(function), c.function) << c.target;
  }
}

}  // namespace
