// The demo game's story, as the game was made: the script machine runs the compiled scenario of the demo game
// (folder mode) over a recording host that stands in for the stage, the windows and the game commands, answering
// choices, music requests and the pass code along several play-throughs. Together they start every scene of the
// scene table, run every instruction the machine has, reach every picture of the album and end the story; and
// everything the story names (pictures, characters, voices, sounds, music, movies, songs, places) is in the game.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/vxcsvread.h"
#include "core/vxfileman.h"
#include "core/vxstd.h"
#include "demo/demofiles.h"
#include "platform/text.h"
#include "scenario/fixture.h"
#include "scenario/scrdef.h"
#include "scenario/scripte.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/systemdata.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

const fs::path kGame = QORM_DEMO_FOLDER_DIR;

using demofiles::Slurp;

std::string Formatted(const char* format, int n) {
  char text[64];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

// How a play-through answers: which row of every choice (the first, or the last one that can be chosen), the gauge
// of every song, the pass code's verdict.
struct Path {
  const char* name;
  const char* scene;
  bool lastRow;
  int gauge;
  int passCode;
};

constexpr Path kPaths[] = {
    {"the first rows, songs cleared", "GameStart", false, 80, 0},
    {"the last rows, songs failed", "GameStart", true, 30, 0},
    {"the extra scene with the pass code", "Extra", false, 70, 1},
    {"the extra scene with a wrong code", "Extra", false, 70, 0},
};

// What the story asked for, over all play-throughs.
struct Seen {
  std::set<int> opcodes;
  std::set<std::string> scenes;
  std::set<int> transitions, weathers, pictures, characters, voices, sounds, tracks, places, songRequests;
  std::set<std::string> movies, macros;
  bool disabledRow = false;
};

// Stands in for the adventure: the state a later instruction reads back (messages, calendar, scene parameter,
// stage value, pictures and characters, songs and events seen) is kept in the game records as the game commands
// keep it; everything else is only noted.
class StoryHost : public TScriptHost {
public:
  explicit StoryHost(Seen& seen) : seen_(seen) {}

  int random = 0;  // the next Random draws 0, 1, 2, ... modulo its range
  std::vector<std::string> problems;

  void RunCommand(TScriptEngine& engine, int opcode) override {
    const scrdef::TOpcodeInfo& info = *scrdef::GetOpcodeInfo(opcode);
    int a[4] = {};
    for (int i = info.args - 1; i >= 0; --i) a[i] = GameState.PopValue();
    engine_ = &engine;
    const auto handler = Handlers().find(info.name);
    const int result = handler != Handlers().end() ? handler->second(*this, a) : 0;
    if (info.waits) {
      GameState.SetScriptWaiting(true);
      engine.Yield();
    } else if (info.results > 0) {
      GameState.PushValue(result);
    }
  }
  // The window's page: every chunk must fit the line it lands on, and every line the window (5 lines for the
  // message window, 16 for the novel window; 26 characters each); a click wait has something on the page to read.
  void ShowText(const VXString& chunk, int) override {
    const std::string text = Text(chunk);
    for (std::size_t i = 0; i < text.size(); ++i)
      if (IsLead(text[i])) ++cells_, ++i;
    const int lines = GameState.IsNovelMode() ? kNovelLines : kMessageLines;
    if (cells_ > kLineCells || line_ >= lines)
      problems.push_back("text beyond the window in " + Text(GameState.GetSceneName()) + ": " + text);
  }
  void LineFeed() override { line_ += 1, cells_ = 0; }
  void ClearPage() override { line_ = cells_ = 0; }
  void SceneJumped() override {
    seen_.scenes.insert(Text(GameState.GetSceneName()));
    ClearPage();
  }

private:
  using Handler = std::function<int(StoryHost&, const int*)>;
  static constexpr int kMessageLines = 5, kNovelLines = 16, kLineCells = 26;

  static bool IsLead(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x81 && (b <= 0x9F || b >= 0xE0);
  }

  TGameState& S() { return GameState; }
  VXString Operand(int word) { return engine_->GetStringOperand(word); }

  // A text's macros are noted, and every string slot it shows must hold something by then.
  void CheckText(int word) {
    const std::string raw = Text(Operand(word));
    for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
      const auto c = static_cast<unsigned char>(raw[i]);
      if (IsLead(raw[i])) {
        ++i;
        continue;
      }
      if ((c == '%' && std::strchr("rvs", raw[i + 1]) != nullptr) || (c == '\\' && std::strchr("np", raw[i + 1])))
        seen_.macros.insert(raw.substr(i, 2));
      if (c == '%' && raw[i + 1] == 's' && S().GetString(std::atoi(raw.c_str() + i + 2)).IsEmpty())
        problems.push_back("an empty string slot in " + Text(S().GetSceneName()) + ": " + raw);
    }
  }

  void Commit(int effect) {
    S().SetShownPicture(S().GetPendingPicture());
    seen_.transitions.insert(effect);
    seen_.weathers.insert(S().GetSceneParam());
    const int picture = S().GetShownPicture();
    seen_.pictures.insert(picture);
    if (picture % 1000 >= 500 && picture % 1000 < 700) SystemData.SetEventSeen(picture % 1000 - 500);
  }
  void Place(int character, int slot) {
    if (slot < 0 || slot > 2) return;
    S().SetCharacter(slot, character < 0 ? -1 : character);
    if (character >= 0) seen_.characters.insert(character);
  }
  void Stage(int value) { S().SetStageValue(std::max(0, std::min(255, value))); }

  static const std::map<std::string, Handler>& Handlers() {
    using H = StoryHost;
    static const std::map<std::string, Handler> handlers = {
        {"Message",
         [](H& h, const int* a) {
           h.CheckText(a[0]);
           h.S().SetMessage(a[0], h.engine_->ExpandTextMacros(h.Operand(a[0])));
           h.S().SetMessageWindowShown(true);
           return 0;
         }},
        {"SetTextSpeed", [](H& h, const int* a) { return h.S().SetTextSpeed(a[0]), 0; }},
        {"SetNovelMode",
         [](H& h, const int* a) {
           if (h.S().IsNovelMode() != (a[0] != 0)) h.ClearPage();
           return h.S().SetNovelMode(a[0] != 0), 0;
         }},
        {"WaitClick",
         [](H& h, const int*) {
           if (h.line_ == 0 && h.cells_ == 0)
             h.problems.push_back("a click wait over an empty page in " + Text(h.S().GetSceneName()));
           return 0;
         }},
        {"LineFeed", [](H& h, const int*) { return h.LineFeed(), 0; }},
        {"PageBreak", [](H& h, const int*) { return h.ClearPage(), 0; }},
        {"SetTextCursor",
         [](H& h, const int* a) {
           h.cells_ = a[0], h.line_ = a[1];
           return 0;
         }},
        {"Choice",
         [](H& h, const int* a) {
           h.S().ClearChoiceTexts();
           for (int i = 0; i < 4; ++i) {
             h.CheckText(a[i]);
             h.S().SetChoiceText(i, h.engine_->ExpandTextMacros(h.Operand(a[i])));
           }
           h.seen_.disabledRow |= h.S().GetChoiceText(1).IsEmpty() && !h.S().GetChoiceText(2).IsEmpty();
           h.S().SetSceneMode(2);
           return 0;
         }},
        {"ExtraSelect", [](H& h, const int*) { return h.S().SetSceneMode(3), 0; }},
        {"RequestMusicGame",
         [](H& h, const int* a) {
           h.S().SetRequestArg(a[0]);
           h.S().SetSceneMode(4);
           h.seen_.songRequests.insert(a[0]);
           return 0;
         }},
        {"EndScript", [](H& h, const int*) { return h.S().SetScriptEnded(true), 0; }},
        // The stage.
        {"SetPicture", [](H& h, const int* a) { return h.S().SetPendingPicture(a[0]), 0; }},
        {"SetPicture998", [](H& h, const int*) { return h.S().SetPendingPicture(998), 0; }},
        {"SetPicture999", [](H& h, const int*) { return h.S().SetPendingPicture(999), 0; }},
        {"ShowStage", [](H& h, const int* a) { return h.Commit(a[0]), 0; }},
        {"ShowPicture", [](H& h, const int* a) { return h.S().SetPendingPicture(a[0]), h.Commit(a[1]), 0; }},
        {"ShowPicture998", [](H& h, const int* a) { return h.S().SetPendingPicture(998), h.Commit(a[0]), 0; }},
        {"ShowPicture999", [](H& h, const int* a) { return h.S().SetPendingPicture(999), h.Commit(a[0]), 0; }},
        {"MarkEventSeen",
         [](H&, const int* a) {
           if (a[0] % 1000 >= 500 && a[0] % 1000 < 700) SystemData.SetEventSeen(a[0] % 1000 - 500);
           return 0;
         }},
        {"SetSceneParam", [](H& h, const int* a) { return h.S().SetSceneParam(a[0]), 0; }},
        {"GetSceneParam", [](H& h, const int*) { return h.S().GetSceneParam(); }},
        {"SetStageValue", [](H& h, const int* a) { return h.Stage(a[0]), 0; }},
        {"SetStageLevel", [](H& h, const int* a) { return h.Stage(a[0] * 50), 0; }},
        {"AddStageValue", [](H& h, const int* a) { return h.Stage(h.S().GetStageValue() + a[0]), 0; }},
        {"SubStageValue", [](H& h, const int* a) { return h.Stage(h.S().GetStageValue() - a[0]), 0; }},
        {"RaiseStage", [](H& h, const int* a) { return h.Stage((h.S().GetStageLevel() + 1) * 50 + a[0] % 50), 0; }},
        {"LowerStage", [](H& h, const int* a) { return h.Stage(h.S().GetStageLevel() * 50 - 1 - a[0] % 50), 0; }},
        {"GetStageValue", [](H& h, const int*) { return h.S().GetStageValue(); }},
        {"GetStageLevel", [](H& h, const int*) { return h.S().GetStageLevel(); }},
        // The characters.
        {"SetCharacter", [](H& h, const int* a) { return h.Place(a[0], a[1]), 0; }},
        {"ClearCharacter", [](H& h, const int* a) { return h.Place(-1, a[0]), 0; }},
        {"ShowCharacter",
         [](H& h, const int* a) {
           h.Place(a[0], a[1]);
           if (a[2] == 0 || a[2] == 1) h.Commit(a[2] == 0 ? 0 : 2);
           return 0;
         }},
        {"HideCharacter",
         [](H& h, const int* a) {
           h.Place(-1, a[0]);
           if (a[1] == 0 || a[1] == 1) h.Commit(a[1] == 0 ? 0 : 2);
           return 0;
         }},
        {"ClearCharacters",
         [](H& h, const int*) {
           for (int i = 0; i < 3; ++i) h.Place(-1, i);
           return 0;
         }},
        // Sound, movies, places.
        {"PlayVoice", [](H& h, const int* a) { return h.seen_.voices.insert(a[0]), 0; }},
        {"PlaySe", [](H& h, const int* a) { return h.seen_.sounds.insert(a[0]), 0; }},
        {"PlayLoopSe", [](H& h, const int* a) { return h.seen_.sounds.insert(a[0]), 0; }},
        {"PlayLoopSe2", [](H& h, const int* a) { return h.seen_.sounds.insert(a[0]), 0; }},
        {"StartBgm", [](H& h, const int* a) { return h.seen_.tracks.insert(a[0]), 0; }},
        {"StartBgmOnce", [](H& h, const int* a) { return h.seen_.tracks.insert(a[0]), 0; }},
        {"FadeInBgm", [](H& h, const int* a) { return h.seen_.tracks.insert(a[0]), 0; }},
        {"FadeInBgmOnce", [](H& h, const int* a) { return h.seen_.tracks.insert(a[0]), 0; }},
        {"PlayOpeningMovie", [](H& h, const int*) { return h.seen_.movies.insert("QMOP.mpg"), 0; }},
        {"PlayMovie", [](H& h, const int* a) { return h.seen_.movies.insert(Formatted("QM%02d.mpg", a[0])), 0; }},
        {"PlayEndingMovie",
         [](H& h, const int* a) { return h.seen_.movies.insert(Formatted("QMED%d.mpg", a[0] + 1)), 0; }},
        {"SetPlace",
         [](H& h, const int* a) {
           h.S().SetPlace(a[0]);
           return h.seen_.places.insert(a[0]), 0;
         }},
        {"EnableSong", [](H&, const int* a) { return SystemData.EnableSong(a[0]), 0; }},
        // The calendar.
        {"SetDate", [](H& h, const int* a) { return h.S().SetDate(a[0]), 0; }},
        {"SetTime", [](H& h, const int* a) { return h.S().SetTime(a[0]), 0; }},
        {"AddDays", [](H& h, const int* a) { return h.S().AddDays(a[0]), 0; }},
        {"AddMinutes", [](H& h, const int* a) { return h.S().AddMinutes(a[0]), 0; }},
        {"GetDate", [](H& h, const int*) { return h.S().GetMonth() * 100 + h.S().GetDay(); }},
        {"GetMonth", [](H& h, const int*) { return h.S().GetMonth(); }},
        {"GetDay", [](H& h, const int*) { return h.S().GetDay(); }},
        {"GetWeekday", [](H& h, const int*) { return h.S().GetWeekday(); }},
        {"GetTime", [](H& h, const int*) { return h.S().GetHour() * 100 + h.S().GetMinute(); }},
        {"GetHour", [](H& h, const int*) { return h.S().GetHour(); }},
        {"GetMinute", [](H& h, const int*) { return h.S().GetMinute(); }},
        {"Random", [](H& h, const int* a) { return a[0] > 0 ? h.random++ % a[0] : 0; }},
    };
    return handlers;
  }

  Seen& seen_;
  TScriptEngine* engine_ = nullptr;
  int line_ = 0, cells_ = 0;  // where the next text lands on the page
};

// The scene names of a scene table.
std::set<std::string> SceneNames(const std::string& table) {
  std::set<std::string> names;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(table.data());
  const std::uint32_t count = VXGetLE32(bytes + 8);
  std::size_t at = scrdef::kSceneHeadSize;
  for (std::uint32_t i = 0; i < count && at + scrdef::entry::kName < table.size(); ++i) {
    names.insert(table.c_str() + at + scrdef::entry::kName);
    at += VXGetLE16(bytes + at);
  }
  return names;
}

// The event pictures the album lists.
std::set<int> AlbumPictures(VXFileMan& files) {
  std::set<int> pictures;
  VXStream* stream = files.Open("AlbumTbl.csv");
  EXPECT_NE(stream, nullptr);
  if (stream == nullptr) return pictures;
  VXCsvRead csv;
  EXPECT_TRUE(csv.Read(stream));
  files.Close(stream);
  for (int row = 0; row < csv.GetSizeY(); ++row)
    for (int column = 1; column < csv.GetSizeX() && csv.GetValue(column, row) != 0; ++column)
      pictures.insert(csv.GetValue(column, row));
  return pictures;
}

class DemoStory : public ::testing::Test {
protected:
  void SetUp() override {
    ClearGameRecords();
    scripts.InitDir((kGame / "Script_Pak").c_str());
    data.InitDir((kGame / "Game_Pak").c_str());
    ASSERT_TRUE(engine.LoadSceneTable());
  }

  // One play-through from a new game (the system record goes on from the one before, as a player's does); the
  // opcode that ended it.
  int Play(const Path& path, int most = 200000) {
    std::uint8_t flags[8], vars[32];
    SystemData.GetFlags(flags);
    SystemData.GetVars(vars);
    GameState.Reset();
    GameState.SetSystemFlags(flags);
    GameState.SetSystemVars(vars);
    SceneStartState = TGameState();
    if (!engine.StartScene(Vx(path.scene))) {
      ADD_FAILURE() << path.name << ": no scene " << path.scene;
      return -1;
    }
    seen.scenes.insert(path.scene);
    host.ClearPage();
    int last = -1;
    try {
      for (int i = 0; i < most && !GameState.IsScriptEnded(); ++i) {
        if (GameState.IsScriptWaiting()) {
          engine.ResumeWithValue(Answer(path));
        } else if (GameState.IsMessageEmpty()) {
          last = engine.ReadCodeWord(GameState.GetScriptPos());
          seen.opcodes.insert(last);
          engine.StepInstruction();
        } else {
          engine.StepMessageText();
        }
      }
    } catch (const EGameErr&) {
      ADD_FAILURE() << path.name << ": the machine stopped in " << Text(GameState.GetSceneName()) << " at "
                    << GameState.GetScriptPos() << " of script " << GameState.GetScriptNumber();
    }
    EXPECT_TRUE(GameState.IsScriptEnded()) << path.name << " runs on in " << Text(GameState.GetSceneName());
    return last;
  }

  void PlayAll() {
    for (const Path& path : kPaths) Play(path);
  }

  int Answer(const Path& path) {
    switch (GameState.GetSceneMode()) {
      case 2: {
        if (!path.lastRow) return 0;
        int row = 3;
        while (row > 0 && GameState.GetChoiceText(row).IsEmpty()) --row;
        return row;
      }
      case 3: return path.passCode;
      case 4: return path.gauge;
      default: ADD_FAILURE() << "a wait in scene mode " << int(GameState.GetSceneMode()); return 0;
    }
  }

  Seen seen;
  StoryHost host{seen};
  VXFileMan scripts;
  VXFileMan data;
  TScriptEngine engine{&scripts, &data, &host};
};


TEST_F(DemoStory, PlayThroughsReachEveryScenePictureAndInstruction) {
  const int dawn = Play(kPaths[0]);
  EXPECT_EQ(dawn, scrdef::opEndScript);
  EXPECT_TRUE(SystemData.GetFlag(1)) << "cleared songs and the promise lead to the dawn ending";
  EXPECT_FALSE(SystemData.GetFlag(2));
  EXPECT_TRUE(SystemData.GetFlag(63)) << "the story cleared opens the title's extras";
  const int moon = Play(kPaths[1]);
  EXPECT_EQ(moon, scrdef::opEndScript);
  EXPECT_TRUE(SystemData.GetFlag(2)) << "failed songs lead to the moonlit roof";
  EXPECT_EQ(SystemData.GetVar(0), 2) << "the story counts how often it was cleared";
  EXPECT_EQ(Play(kPaths[2]), scrdef::opEndScript);
  EXPECT_EQ(Play(kPaths[3]), scrdef::opEnd) << "a wrong pass code goes back to the title";
  for (const std::string& problem : host.problems) ADD_FAILURE() << platform::text::Cp932ToUtf8(problem);

  // Every instruction of the machine's own table.
  for (int op = 0; op < scrdef::kOpcodeCount; ++op) {
    if (const scrdef::TOpcodeInfo* info = scrdef::GetOpcodeInfo(op)) {
      EXPECT_TRUE(seen.opcodes.count(op)) << info->name << " never ran";
    }
  }

  EXPECT_EQ(seen.scenes, SceneNames(Slurp(kGame / "Script_Pak" / "Scene.tbl")));
  for (int picture : AlbumPictures(data))
    EXPECT_TRUE(SystemData.GetEventSeen(picture - 500)) << "album picture " << picture << " never shown";

  // The songs: every story song, the last one also on its two event stages; songs 2, 4 and 5 are marked for free
  // play.
  EXPECT_EQ(seen.songRequests, (std::set<int>{1, 2, 3, 4, 5, 105, 205}));
  for (int song : {2, 4, 5}) EXPECT_TRUE(SystemData.IsSongEnabled(song)) << song;
  EXPECT_EQ(seen.movies, (std::set<std::string>{"QMOP.mpg", "QM00.mpg", "QM01.mpg", "QMED1.mpg", "QMED2.mpg"}));

  // The stage: every transition, every weather code, and a choice with a row that cannot be chosen.
  std::set<int> transitions, weathers;
  for (int t = 0; t <= 30; ++t) transitions.insert(t);
  for (int w = 0; w <= 5; ++w) weathers.insert(w);
  EXPECT_EQ(seen.transitions, transitions);
  EXPECT_EQ(seen.weathers, weathers);
  EXPECT_TRUE(seen.disabledRow);
  EXPECT_EQ(seen.macros, (std::set<std::string>{"%r", "%v", "%s", "\\n", "\\p"}));
}

// Everything the story names is in the game: the backgrounds of every place (all periods and weathers) and every
// event picture, each character's sheet and definition with its speaker, the voices, sound effects, music tracks,
// movies, songs and place plates.
TEST_F(DemoStory, EverythingTheStoryNamesIsInTheGame) {
  PlayAll();
  const auto has = [](const fs::path& folder, const std::string& stem, std::initializer_list<const char*> kinds) {
    for (const char* kind : kinds)
      if (fs::exists(folder / (stem + kind))) return true;
    return false;
  };
  for (int code : seen.pictures) {
    const int n = code % 1000;
    if (n >= 998 || n == 997) continue;
    for (int p = n < 500 ? n / 10 * 10 : n; p <= (n < 500 ? n / 10 * 10 + 7 : n); ++p)
      EXPECT_TRUE(has(kGame / "EvBG_Pak", Formatted("bg%03d", p), {".jpg", ".png", ".bmp"})) << "picture " << p;
  }
  for (int c : seen.characters) {
    EXPECT_TRUE(fs::exists(kGame / "EvCG_Pak" / Formatted("chr%03d.png", c))) << "character " << c;
    EXPECT_TRUE(fs::exists(kGame / "EvCG_Pak" / Formatted("chr%03d.ini", c))) << "character " << c;
    EXPECT_GE(engine.GetSpeaker(c), 0) << "character " << c << " has no speaker";
  }
  for (int v : seen.voices) {
    VXFileMan voices;
    ASSERT_TRUE(voices.InitPack((kGame / "Voice" / Formatted("ev%05d.pak", v / 100000)).c_str())) << "voice " << v;
    EXPECT_TRUE(voices.FileIsExist(Formatted("%010d.ogg", v).c_str())) << "voice " << v;
  }
  VXFileMan sounds;
  ASSERT_TRUE(sounds.InitPack((kGame / "EvSE.pak").c_str()));
  for (int n : seen.sounds) EXPECT_TRUE(sounds.FileIsExist(Formatted("se%03d.ogg", n).c_str())) << "sound " << n;
  for (int t : seen.tracks) EXPECT_TRUE(fs::exists(kGame / "BGM" / Formatted("Track%02d.bgm", t))) << "track " << t;
  for (const std::string& movie : seen.movies) EXPECT_TRUE(fs::exists(kGame / "Movie" / movie)) << movie;
  for (int request : seen.songRequests)
    EXPECT_TRUE(fs::is_directory(kGame / "Song" / Formatted("QM%02d", request % 100))) << "song " << request;
  for (int place : seen.places)
    EXPECT_TRUE(data.FileIsExist(Formatted("AvgPlace%02d.png", place).c_str())) << "place " << place;
}

// Pack mode holds the story the folder mode holds.
TEST(DemoStoryFiles, PackAndFolderHoldTheSameScripts) {
  demofiles::ExpectPackHoldsFolder(fs::path(QORM_DEMO_GAME_DIR) / "Script.pak", kGame / "Script_Pak");
  EXPECT_EQ(Slurp(kGame / "Game_Pak" / "SpeakTbl.csv"), Slurp(fs::path(QORM_DEMO_DATA_DIR) / "scripts" / "SpeakTbl.csv"));
}

// A story that does not assemble stops the builder with the assembler's file and line, and nothing is written.
TEST(DemoStoryFiles, AStoryThatDoesNotAssembleStopsTheBuilder) {
  TempDir temp;
  fs::copy(QORM_DEMO_DATA_DIR, temp.path() / "data", fs::copy_options::recursive);
  std::ofstream(temp.path() / "data" / "scripts" / "scr00005.scs", std::ios::app) << "    GoToScene \"どこにもない\"\n";
  const std::string command = std::string("'") + QORM_MKDEMO + "' '" + temp.str() + "/data' '" + temp.str() +
                              "/game' '" + temp.str() + "/folder' 2>'" + temp.str() + "/errors'";
  EXPECT_NE(std::system(command.c_str()), 0);
  const std::string errors = Slurp(temp.path() / "errors");
  EXPECT_NE(errors.find("scr00005.scs:"), std::string::npos) << errors;
  EXPECT_NE(errors.find(": no scene"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(temp.path() / "game"));
}

}  // namespace
