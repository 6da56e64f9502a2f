// The demo story read through the real program: from the title's Start button the opening scene types its messages,
// the reader goes on with clicks and Enter, looks back in the backlog, opens and closes the right-click menu,
// quick-saves at the first choice, answers it, reads on, and quick-loads back to the choice; then quits through the
// menu and the confirmation dialog.
//
// It looks at the adventure, its panels and the picture only between frames (LoopWindow::Read).
// Label: threads
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "platform/text.h"
#include "scenario/avgu.h"
#include "scenario/gamewire.h"
#include "scenario/subwinu.h"
#include "shell/gamedata.h"
#include "shell/gamestate.h"
#include "shell/savefile.h"
#include "shell/systemdata.h"
#include "support/gamethread.h"
#include "support/wiredgame.h"
#include "tools/scrasm/assembler.h"

namespace {

namespace fs = std::filesystem;
using gamethread::LoopWindow;

// The opening of the demo story, as the reader sees it.
constexpr const char* kFirstWords = "おはよう";
constexpr const char* kQuestion = "放課後どうする";
constexpr const char* kLibrary = "図書室へ行く";
constexpr const char* kHome = "まっすぐ帰る";

using wiredgame::Contains;
using wiredgame::Utf8;

// What the adventure shows at one moment.
struct Seen {
  bool running = false;  // the adventure runs (its panel is on the screen while anything here is set)
  int step = -1;
  int overlay = -1;
  std::vector<std::string> message;  // the message window's lines
  std::array<std::string, 4> choices;
  bool choiceShown = false;
  bool logShown = false;
  bool logIdle = false;
  std::vector<std::string> log;  // the backlog's lines
  bool menuShown = false;
  bool menuIdle = false;
  int messageNumber = -1;

  bool operator==(const Seen&) const = default;
  // For the messages of failures.
  friend std::ostream& operator<<(std::ostream& out, const Seen& s) {
    out << "running " << s.running << ", step " << s.step << ", overlay " << s.overlay << ", message";
    for (const std::string& l : s.message) out << " |" << l;
    return out;
  }
};

// The wired program on the demo game, with the story's scripts.
class StoryGame : public LoopWindow {
public:
  StoryGame() : LoopWindow({}, wiredgame::Wire) {}

  // The demo game's files linked into the window's game folder; the story assembled from its sources when the demo
  // game holds no scripts of its own.
  void MakeGameFolder() {
    bool scripts = false;
    for (const fs::directory_entry& e : fs::directory_iterator(QORM_DEMO_GAME_DIR)) {
      const fs::path name = e.path().filename();
      scripts = scripts || name == "Script.pak" || name == "Script_Pak";
      if (!fs::exists(w.game.path() / name)) fs::create_symlink(e.path(), w.game.path() / name);
    }
    if (scripts) return;
    std::vector<scrasm::TSource> sources;
    for (const fs::directory_entry& e : fs::directory_iterator(fs::path(QORM_DEMO_DATA_DIR) / "scripts")) {
      if (e.path().extension() != scrasm::kSourceSuffix) continue;
      std::ifstream in(e.path(), std::ios::binary);
      sources.push_back({e.path().filename().string(), std::string(std::istreambuf_iterator<char>(in), {})});
    }
    std::sort(sources.begin(), sources.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    scrasm::TFiles files;
    std::vector<scrasm::TDiagnostic> diagnostics;
    const bool assembled = scrasm::Assemble(sources, files, diagnostics);
    for (const scrasm::TDiagnostic& d : diagnostics)
      if (!d.warning) ADD_FAILURE() << d.Format();
    ASSERT_TRUE(assembled);
    for (const auto& [name, bytes] : files) w.game.Write("Script_Pak/" + name, std::string(bytes.begin(), bytes.end()));
  }

  bool AtTitle(int n) { return wiredgame::AtTitle(*this, n); }

  // Runs `f` between frames with the adventure host (null while its panel is not shown).
  template <class F>
  auto WithHost(F f) {
    return Read([&] { return f(wiredgame::Adventure(*this)); });
  }

  Seen Look() {
    return WithHost([](TAvgUnit* host) {
      Seen s;
      if (host == nullptr) return s;
      TSubWinUnit& w = host->Windows();
      s.running = host->IsRunning();
      s.step = host->GetStep();
      s.overlay = host->GetOverlay();
      for (int i = 0; i < w.Message().GetLineCount(); ++i) s.message.push_back(Utf8(w.Message().GetLineText(i)));
      for (int i = 0; i < 4; ++i) s.choices[static_cast<std::size_t>(i)] = Utf8(w.Choice().GetChoice(i));
      s.choiceShown = w.Choice().IsShown();
      s.logShown = w.Backlog().IsShown();
      s.logIdle = !w.Backlog().IsBusy();
      for (int i = 0; i < w.Backlog().GetLineCount(); ++i) s.log.push_back(Utf8(w.Backlog().GetLineText(i)));
      s.menuShown = w.Menu().IsShown();
      s.menuIdle = !w.Menu().IsBusy();
      s.messageNumber = GameState.GetMessageNumber();
      return s;
    });
  }

  template <class Done>
  bool UntilSeen(Done done) {
    return Until([&] { return done(Look()); });
  }

  // Moves the clock a frame at a time, each time waiting until the frame timer has counted it and the game thread
  // has drawn it and sleeps again, until `done` (so that what each frame shows does not depend on how fast the
  // machine runs); false after 1,800 frames. Only while the adventure runs: there the frame timer and the game
  // thread, stepping frames in its wait, are the only threads on the clock.
  template <class Done>
  bool FrameByFrame(Done done) {
    for (int frame = 0; frame < 1800; ++frame) {
      w.RunMain();
      if (done()) return true;
      w.clock.AdvanceMs(kFrameMs);
      if (DirectX::TDSound* sound = w.form->GetSound())
        if (platform::audio::ManualSink* sink = sound->GetManualSink()) sink->Pump(44100 * kFrameMs / 1000);
      for (;;) {
        w.clock.WaitForSleepers(2);
        if (w.form->GetFramesDone() >= w.form->GetFramesDue()) break;
        w.clock.AdvanceMs(kPaceMs);  // counted after the game thread drew: its next frame, one sleep on, takes it
      }
    }
    return false;
  }

  // Reads on until `done`, answering each click wait with a click on the message window or Enter, in turn, and
  // waiting after each until the screen shows something else.
  template <class Done>
  bool ReadUntil(Done done) {
    for (int press = 0; press < 20; ++press) {
      Seen now;
      if (!UntilSeen([&](const Seen& s) {
            now = s;
            return done(s) || (s.step == TAvgUnit::stClick && s.overlay == TAvgUnit::ovNone);
          }))
        return false;
      if (done(now)) return true;
      if (press % 2 == 0) w.Click(320, 120);  // on the scene
      else w.Key(SDL_SCANCODE_RETURN);
      if (!UntilSeen([&](const Seen& s) { return !(s == now); })) return false;
    }
    return false;
  }

  // Pixels of the presented picture in a rectangle that are pure white: the cores of the windows' glyphs.
  int WhiteIn(int x0, int y0, int x1, int y1) {
    const gamewindow::GameWindow::Picture p = Read([&] { return w.Front(); });
    int n = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) n += p.Pixel(x, y) == 0xFFFFFFu ? 1 : 0;
    return n;
  }
  std::uint32_t Pixel(int x, int y) { return Read([&] { return w.Pixel(x, y); }); }
  // The message window's text and the choice window's text.
  int MessageWhite() { return WhiteIn(60, 336, 580, 452); }
  int ChoiceWhite() { return WhiteIn(60, 194, 580, 286); }

  static constexpr int kFrameMs = 34;  // a little over one frame of 30 a second
  static constexpr int kPaceMs = 3;    // the game thread's sleep between frames at full speed
};

bool Darker(std::uint32_t a, std::uint32_t b) {
  for (int shift : {0, 8, 16})
    if (((a >> shift) & 0xFF) > ((b >> shift) & 0xFF)) return false;
  return a != b;
}

}  // namespace

TEST(StoryEndToEnd, TheOpeningReadsSavesAndLoadsBackThroughTheRealProgram) {
  StoryGame g;
  g.MakeGameFolder();
  ASSERT_FALSE(HasFailure());
  const fs::path old = fs::current_path();
  fs::current_path(g.w.game.path());  // songs are found below the current folder
  const TScopeExit back([&old] {
    std::error_code ignored;
    fs::current_path(old, ignored);
  });
  ASSERT_TRUE(g.Start());
  ASSERT_TRUE(g.AtTitle(1));
  ASSERT_TRUE(g.Until([&] { return g.w.form->GetState() == 3; }));

  // Start: the first message types itself into the message window, glyph by glyph.
  g.ClickOn("BtnStart");
  // Until the adventure's panel is up the game thread also sleeps outside frames (sounds fading, the title going);
  // from then on it only steps frames, and the clock follows them.
  ASSERT_TRUE(g.Until([&] { return g.WithHost([](TAvgUnit* host) { return host != nullptr; }); }));
  std::vector<int> typed;
  ASSERT_TRUE(g.FrameByFrame([&] {
    const Seen s = g.Look();
    if (s.running && !s.message.empty() && !s.message[0].empty()) typed.push_back(g.MessageWhite());
    return s.step == TAvgUnit::stClick && Contains(s.message, kFirstWords);
  })) << g.Look() << " " << g.w.form->GetFatalError();
  // The picture of the last frame may lag one frame behind the state.
  int frames = 1;
  ASSERT_TRUE(g.FrameByFrame([&] { return frames-- <= 0; }));
  const int full = g.MessageWhite();
  EXPECT_GT(full, 100) << "the first message is not on the screen";
  EXPECT_TRUE(std::any_of(typed.begin(), typed.end(), [&](int n) { return n > 0 && n < full; }))
      << "the message appeared at once instead of typing itself";
  EXPECT_TRUE(std::is_sorted(typed.begin(), typed.end())) << "text went away while the message typed";

  // Clicks and Enter lead to the question and its choice.
  ASSERT_TRUE(g.ReadUntil([](const Seen& s) { return s.step == TAvgUnit::stChoice && s.choiceShown; }));
  Seen choice = g.Look();
  EXPECT_TRUE(Contains(choice.message, kQuestion));
  EXPECT_EQ(choice.choices[0], kLibrary);
  EXPECT_EQ(choice.choices[1], kHome);
  ASSERT_TRUE(g.Until([&] { return g.Look().choiceShown && g.ChoiceWhite() > 100; }));
  const std::uint32_t stage = g.Pixel(620, 200);  // the scene, clear of every window
  const int choiceWhite = g.ChoiceWhite();
  const int questionWhite = g.MessageWhite();

  // The wheel opens the backlog over the darkened scene with the earlier lines; Enter closes it.
  g.w.input.MouseWheel(1);
  g.w.RunMain();
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.overlay == TAvgUnit::ovLook && s.logShown && s.logIdle; }));
  EXPECT_TRUE(Contains(g.Look().log, kFirstWords));
  EXPECT_TRUE(g.Until([&] { return Darker(g.Pixel(620, 200), stage); }));
  g.w.Key(SDL_SCANCODE_RETURN);
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.overlay == TAvgUnit::ovNone && !s.logShown && s.logIdle; }));
  EXPECT_TRUE(g.Until([&] { return g.Pixel(620, 200) == stage; }));
  EXPECT_EQ(g.Look().step, TAvgUnit::stChoice);

  // A right click opens the menu; Esc closes it without choosing.
  g.w.Click(320, 120, platform::input::MouseButton::Right);
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.overlay == TAvgUnit::ovMenu && s.menuShown && s.menuIdle; }));
  EXPECT_TRUE(g.Until([&] { return Darker(g.Pixel(620, 200), stage); }));
  g.w.Key(SDL_SCANCODE_ESCAPE);
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.overlay == TAvgUnit::ovNone && !s.menuShown && s.menuIdle; }));
  EXPECT_TRUE(g.Until([&] { return g.Pixel(620, 200) == stage; }));

  // Quick save at the choice: slot 0 in the save folder holds the question, the open choice and a thumbnail.
  const fs::path quick = fs::path(g.SaveFolder()) / SlotFileName(0);
  EXPECT_FALSE(fs::exists(quick));
  wiredgame::PressWindowButton(g, &TSubWinUnit::MesSave);
  ASSERT_TRUE(g.Until([&] { return fs::exists(quick); }));
  {
    std::ifstream in(quick, std::ios::binary);
    const std::string image((std::istreambuf_iterator<char>(in)), {});
    auto saved = std::make_unique<TGameState>();
    std::vector<std::uint8_t> extra(kSlotExtraMax);
    std::uint32_t extraSize = 0;
    ASSERT_TRUE(DecodeSlotSave(image.data(), image.size(), saved.get(), nullptr, extra.data(), &extraSize));
    std::vector<std::string> page;
    for (int i = 0; i < TGameState::kPageLines; ++i) page.push_back(Utf8(saved->GetPageLine(i)));
    EXPECT_TRUE(Contains(page, kQuestion));
    EXPECT_EQ(saved->GetSceneMode(), 2);
    EXPECT_EQ(Utf8(saved->GetChoiceText(1)), kHome);
    EXPECT_EQ(extraSize, kSlotExtraMax);
  }

  // Down and Enter go home; the story reads on past the choice.
  g.w.Key(SDL_SCANCODE_DOWN);
  g.w.Key(SDL_SCANCODE_RETURN);
  ASSERT_TRUE(g.UntilSeen([&](const Seen& s) {
    return s.step == TAvgUnit::stClick && !s.choiceShown && !Contains(s.message, kQuestion) &&
           std::any_of(s.message.begin(), s.message.end(), [](const std::string& l) { return !l.empty(); });
  }));
  EXPECT_TRUE(g.Until([&] { return g.MessageWhite() > 0 && g.MessageWhite() != questionWhite; }));

  // Quick load: the story is back at the question with its choice open, on the screen as it was saved.
  wiredgame::PressWindowButton(g, &TSubWinUnit::MesLoad);
  ASSERT_TRUE(g.UntilSeen([&](const Seen& s) {
    return s.running && s.step == TAvgUnit::stChoice && s.choiceShown && s.messageNumber == choice.messageNumber;
  }));
  const Seen loaded = g.Look();
  EXPECT_TRUE(Contains(loaded.message, kQuestion));
  EXPECT_EQ(loaded.choices, choice.choices);
  EXPECT_TRUE(g.Until([&] { return g.ChoiceWhite() == choiceWhite && g.MessageWhite() == questionWhite; }))
      << "choice " << g.ChoiceWhite() << " of " << choiceWhite << ", message " << g.MessageWhite() << " of "
      << questionWhite;

  // The menu's last entry quits, after the confirmation dialog.
  g.w.Click(320, 120, platform::input::MouseButton::Right);
  ASSERT_TRUE(g.UntilSeen([](const Seen& s) { return s.overlay == TAvgUnit::ovMenu && s.menuIdle; }));
  g.ClickOn("MenuBtn9");
  ASSERT_TRUE(g.Until([&] { return g.Has("DlgWin"); }));
  g.ClickOn("DlgYes");
  ASSERT_TRUE(g.Finish());
  EXPECT_TRUE(g.w.terminated);
  EXPECT_TRUE(g.w.form->GetFatalError().empty()) << g.w.form->GetFatalError();
  UserConfig = TUserConfig{};
  SystemData = TSystemData{};
  GameState = TGameState{};
}
