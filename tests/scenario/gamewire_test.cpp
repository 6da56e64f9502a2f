// Label: threads
#include "scenario/gamewire.h"

#include <gtest/gtest.h>

#include <SDL_scancode.h>

#include <array>
#include <fstream>
#include <iterator>
#include <set>
#include <filesystem>
#include <system_error>
#include <memory>
#include <string>
#include <utility>

#include "music/musicu.h"
#include "music/psongselectmenu.h"
#include "shell/ptitlemenu.h"
#include "shell/savefile.h"
#include "shell/systemdata.h"
#include "shell/gamedata.h"
#include "support/gamethread.h"
#include "support/wiredgame.h"

using gamethread::LoopWindow;

namespace {

// The game window with everything the program wires.
class WiredGame : public LoopWindow {
public:
  WiredGame() : LoopWindow(QORM_DEMO_GAME_DIR, wiredgame::Wire) {}

  // The title's n-th wait for a choice has begun, on the screen.
  bool AtRealTitle(int n) { return wiredgame::AtTitle(*this, n); }

  // The window's component of that class (the screens and units the game thread made); null when none. Only
  // inside Read.
  template <class T>
  T* Component() const {
    for (int i = 0; i < w.form->GetComponentCount(); ++i)
      if (T* c = dynamic_cast<T*>(w.form->GetComponent(i))) return c;
    return nullptr;
  }

  // Moves the clock without moving the song until `n` more frames are done: the frame hooks (the music game's)
  // run only in a frame that has fallen due, three in 100 ms.
  bool Frames(int n) {
    const int until = w.form->GetFramesDone() + n;
    return WaitFor([&] {
      w.RunMain();
      if (w.form->GetFramesDone() >= until) return true;
      w.clock.AdvanceMs(35);
      return false;
    });
  }
  // The music game's play (phase 3) by hand at the normal level: every note the player owns is struck when the
  // heard song has reached it, as a quick player would. Ends when the play phase is over; the notes struck.
  int PlayByHand() {
    static constexpr SDL_Scancode kHomeRow[8] = {SDL_SCANCODE_A, SDL_SCANCODE_S, SDL_SCANCODE_D,
                                                 SDL_SCANCODE_F, SDL_SCANCODE_J, SDL_SCANCODE_K,
                                                 SDL_SCANCODE_L, SDL_SCANCODE_SEMICOLON};
    static constexpr std::uint32_t kMaxHear = 2205;  // 50 ms: the song stream refills as it goes
    struct Look {
      int phase = -1;
      std::uint32_t position = 0;
      int note = -1;
      std::uint32_t time = 0;
      int key = -1;
    };
    int struck = 0;
    for (int guard = 0; guard < 100000; ++guard) {
      const Look l = Read([&] {
        Look look;
        const TMusicUnit* m = Component<TMusicUnit>();
        if (m == nullptr || !m->IsLoaded()) return look;
        look.phase = m->GetPhase();
        look.position = m->GetPosition();
        const TMusicNote* notes = m->GetNotes();
        for (int i = 0; i < m->GetNoteCount(); ++i)
          if (notes[i].pitch >= 0 && notes[i].autoPlay == 0 && notes[i].state == 0) {
            look.note = i, look.time = notes[i].time, look.key = notes[i].key;
            break;
          }
        return look;
      });
      if (l.phase > 3 || l.phase < 0) return struck;
      if (l.phase < 3) {
        if (!Hear(220)) return struck;
        continue;
      }
      if (l.note >= 0 && l.time <= l.position) {
        if (l.key < 0 || l.key >= 8) return struck;
        w.Key(kHomeRow[l.key]);
        if (!Frames(1)) return struck;
        ++struck;
        continue;
      }
      // Two song positions a sample frame.
      const std::uint32_t ahead = l.note >= 0 ? (l.time - l.position + 1) / 2 : kMaxHear;
      if (!Hear(static_cast<int>(std::min(ahead, kMaxHear)))) return struck;
    }
    return struck;
  }

  static constexpr std::array<std::array<int, 2>, 4> kSpots{{{320, 20}, {100, 400}, {540, 120}, {320, 300}}};
  std::array<std::uint32_t, 4> Spots() {
    return Read([&] {
      const auto front = w.Front();
      std::array<std::uint32_t, 4> px{};
      for (std::size_t i = 0; i < kSpots.size(); ++i) px[i] = front.Pixel(kSpots[i][0], kSpots[i][1]);
      return px;
    });
  }
};

// The game folder as the current folder for a scope: songs are found below it, as in the program.
class InGameFolder {
public:
  InGameFolder() : old_(std::filesystem::current_path()) { std::filesystem::current_path(QORM_DEMO_GAME_DIR); }
  ~InGameFolder() {
    std::error_code ignored;
    std::filesystem::current_path(old_, ignored);
  }
  InGameFolder(const InGameFolder&) = delete;
  InGameFolder& operator=(const InGameFolder&) = delete;

private:
  std::filesystem::path old_;
};

// The system save as the game's own reader takes it; false when it is missing or refused.
bool ReadSystemSave(const std::string& path, TSystemData& data) {
  std::ifstream in(path, std::ios::binary);
  const std::string image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  TReadMesTable log;
  return in.good() || in.eof() ? !image.empty() && DecodeSystemSave(image.data(), image.size(), data, log) : false;
}

}  // namespace

// The program's title is presented; the album, the sound room and the song select each open from its buttons and
// lead back to the same picture; Exit asks in the confirmation dialog and Yes ends the game.
TEST(GameWire, TheRealTitleOpensItsScreensAndComesBack) {
  const InGameFolder folder;
  WiredGame g;
  g.s.onTitleInit = [] {
    SystemData = TSystemData{};
    SystemData.SetFlag(TTitleMenu::kUnlockFlag, true);
    UserConfig.ExitConfirm = 1;
  };
  ASSERT_TRUE(g.Start());
  ASSERT_TRUE(g.AtRealTitle(1));
  // The fade from black has ended when the picture stops changing.
  std::array<std::uint32_t, 4> title{};
  ASSERT_TRUE(g.Until([&] {
    const auto now = g.Spots();
    const bool steady = now == title;
    title = now;
    return steady;
  }));
  int lit = 0;
  for (std::uint32_t p : title) lit += p != 0 ? 1 : 0;
  EXPECT_GE(lit, 3) << "the title picture is not shown";

  const struct {
    const char* button;
    const char* panel;
    const char* exit;
  } visits[] = {{"BtnAlbum", "AlbumPanel", "ExitBtn"},
                {"BtnSound", "SoundPanel", "BtnEnd"},
                {"BtnFreePlay", "SongSelPanel", "BtnExit"}};
  int idle = 1;
  for (const auto& v : visits) {
    SCOPED_TRACE(v.panel);
    g.ClickOn(v.button);
    ASSERT_TRUE(g.Showing(v.panel));
    EXPECT_TRUE(g.Until([&] { return g.Spots() != title; }));
    g.ClickOn(v.exit);
    ASSERT_TRUE(g.AtRealTitle(++idle));
    EXPECT_TRUE(g.Until([&] { return g.Spots() == title; }));
  }

  g.ClickOn("BtnExit");
  ASSERT_TRUE(g.Until([&] { return g.Has("DlgWin"); }));  // the dialog over the title
  g.ClickOn("DlgYes");
  ASSERT_TRUE(g.Finish());
  EXPECT_TRUE(g.w.terminated);
  EXPECT_TRUE(g.w.form->GetFatalError().empty()) << g.w.form->GetFatalError();
  EXPECT_EQ(g.s.journal.Count("title"), 4);
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
}

// Free play on the program's screens, from the title and back: the song select lists the free-play songs; a song
// played automatically runs to its end and stores nothing; the same song played by hand and cleared beats the
// level's best, so the name entry asks for a name, and the score and the name reach the system save and the
// best-score screen opened from the title.
TEST(GameWire, FreePlayFromTheTitleToANewBestScoreAndBack) {
  const InGameFolder folder;
  const TSongID song{'Q', 'E', '0', '1'};
  WiredGame g;
  g.s.onTitleInit = [] {
    SystemData = TSystemData{};
    UserConfig.MusicRankMode = 2;  // easy: the song select's level buttons must change it
    UserConfig.MusicAutoMode = 0;
    UserConfig.MusicTimingMode = 1;
  };
  ASSERT_TRUE(g.Start());
  ASSERT_TRUE(g.AtRealTitle(1));
  const auto title = g.Spots();

  g.ClickOn("BtnFreePlay");
  ASSERT_TRUE(g.Showing("SongSelPanel"));
  ASSERT_TRUE(g.Until([&] { return g.Read([&] { return g.Component<TSongSelectMenu>() != nullptr; }); }));
  // The list holds the free-play songs; step to the first of them.
  const auto current = [&] {
    return g.Read([&] {
      const TSongSelectMenu* m = g.Component<TSongSelectMenu>();
      return m->GetSong(m->GetIndex());
    });
  };
  const int count = g.Read([&] { return g.Component<TSongSelectMenu>()->GetSongCount(); });
  for (int i = 0; i < count && current() != song; ++i) {
    const TSongID before = current();
    g.ClickOn("BtnNext");
    ASSERT_TRUE(g.Until([&] { return current() != before; }));
  }
  ASSERT_EQ(current(), song) << "the free-play song is not listed";
  g.ClickOn("BtnNormal");
  g.ClickOn("BtnAutoOn");

  // Automatic: the whole song, then the song select again; no name is asked and nothing is stored.
  g.ClickOn("BtnPlay");
  ASSERT_TRUE(g.Until([&] { return g.w.form->GetState() == 4; }));
  for (int i = 0; i < 2000 && g.w.form->GetState() != 3; ++i) ASSERT_TRUE(g.Hear(2205));
  ASSERT_TRUE(g.Showing("SongSelPanel"));
  EXPECT_EQ(g.Read([] { return SystemData.GetScore(0, {'Q', 'E', '0', '1'}); }), 0);
  EXPECT_EQ(g.Read([] { return std::pair{int{UserConfig.MusicRankMode}, int{UserConfig.MusicAutoMode}}; }),
            std::pair(0, 1));

  // By hand.
  g.ClickOn("BtnAutoOff");
  g.ClickOn("BtnPlay");
  ASSERT_TRUE(g.Until([&] { return g.w.form->GetState() == 4; }));
  const int struck = g.PlayByHand();
  EXPECT_GT(struck, 40);
  int score = 0;
  ASSERT_TRUE(g.Until([&] {
    score = g.Read([&] {
      const TMusicUnit* m = g.Component<TMusicUnit>();
      return m != nullptr ? m->GetScore() : score;
    });
    return g.Has("NameEntryPanel");
  })) << "no name was asked after " << struck << " notes";
  EXPECT_GT(score, 0);
  ASSERT_TRUE(g.Showing("NameEntryPanel"));
  // Two letters typed, two clicked, then the end button.
  g.w.input.TextTyped("qo");
  g.w.RunMain();
  g.ClickOn("Btn17");  // R
  g.ClickOn("Btn12");  // M
  g.ClickOn("BtnEnd");
  ASSERT_TRUE(g.Showing("SongSelPanel"));
  g.ClickOn("BtnExit");
  ASSERT_TRUE(g.AtRealTitle(2));

  TSystemData saved;
  ASSERT_TRUE(ReadSystemSave(g.SaveFolder() + "/" + kSystemSaveName, saved));
  EXPECT_EQ(saved.GetScore(0, song), score);
  EXPECT_EQ(saved.GetRankName(0, song), VXString("QORM"));
  EXPECT_EQ(saved.GetCheckValue(0, song), 0x00FFFFFFu - static_cast<std::uint32_t>(score));

  // The best scores from the title: the normal level's first row is the song, with the name drawn.
  g.ClickOn("BtnScore");
  ASSERT_TRUE(g.Showing("SongScorePanel"));
  EXPECT_TRUE(g.Until([&] { return g.Spots() != title; }));
  EXPECT_TRUE(g.Has("PanelName0"));
  EXPECT_FALSE(g.Has("PanelName1"));
  const int colours = g.Read([&] {
    const TZoRGBPanel* name = g.Find("PanelName0");
    int x = 0, y = 0;
    name->ClientToScreen(x, y);
    const auto front = g.w.Front();
    std::set<std::uint32_t> seen;
    for (int dy = 0; dy < name->GetSizeY(); ++dy)
      for (int dx = 0; dx < name->GetSizeX(); ++dx) seen.insert(front.Pixel(x + dx, y + dy));
    return static_cast<int>(seen.size());
  });
  EXPECT_GT(colours, 2) << "the name is not drawn";
  g.ClickOn("BtnExit");
  ASSERT_TRUE(g.AtRealTitle(3));
  EXPECT_TRUE(g.Until([&] { return g.Spots() == title; }));

  // Exit asks; No keeps the title, Yes ends the game.
  g.ClickOn("BtnExit");
  ASSERT_TRUE(g.Until([&] { return g.Has("DlgWin"); }));
  g.ClickOn("DlgNo");
  ASSERT_TRUE(g.Until([&] { return !g.Has("DlgWin"); }));
  EXPECT_EQ(g.s.titleIdles.load(), 3);
  g.ClickOn("BtnExit");
  ASSERT_TRUE(g.Until([&] { return g.Has("DlgWin"); }));
  g.ClickOn("DlgYes");
  ASSERT_TRUE(g.Finish());
  EXPECT_TRUE(g.w.form->GetFatalError().empty()) << g.w.form->GetFatalError();
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
}
