// Label: threads
#include "scenario/gamewire.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <system_error>
#include <memory>
#include <string>
#include <utility>

#include "shell/ptitlemenu.h"
#include "shell/systemdata.h"
#include "shell/gamedata.h"
#include "support/gamethread.h"

using gamethread::LoopWindow;

namespace {

// The program's own title, counting its waits for the test and unlocking the album and sound room on its first Init.
class CountedTitle final : public TTitleScreen {
public:
  CountedTitle(std::unique_ptr<TTitleScreen> title, gamethread::Script& s) : title_(std::move(title)), s_(s) {}
  bool Init() override {
    if (s_.onTitleInit) std::exchange(s_.onTitleInit, {})();
    s_.journal.Add("title");
    return title_->Init();
  }
  void Prepare() override { title_->Prepare(); }
  void StartIdle() override {
    title_->StartIdle();
    ++s_.titleIdles;
  }
  void StopIdle() override { title_->StopIdle(); }
  void Release() override { title_->Release(); }
  TZoRGBPanel* GetPanel() override { return title_->GetPanel(); }

private:
  std::unique_ptr<TTitleScreen> title_;
  gamethread::Script& s_;
};

// The game window with everything the program wires.
class WiredGame : public LoopWindow {
public:
  WiredGame()
      : LoopWindow(QORM_DEMO_GAME_DIR, [](TGameUnits& units, TFrontScreens& screens, gamethread::Script& s) {
          units = MakeGameUnits();
          screens = MakeFrontScreens();
          screens.title = [make = screens.title, &s](TGameForm& form) -> std::unique_ptr<TTitleScreen> {
            std::unique_ptr<TTitleScreen> title = make(form);
            if (!title) return nullptr;
            return std::make_unique<CountedTitle>(std::move(title), s);
          };
        }) {}

  // The title's n-th wait for a choice has begun, on the screen.
  bool AtRealTitle(int n) {
    return Until([&] { return s.titleIdles.load() >= n && w.form->GetState() == 3; }) && Showing("TitleMenuPanel");
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

}  // namespace

// The program's title is presented; the album, the sound room and the song select each open from its buttons and
// lead back to the same picture; Exit asks in the confirmation dialog and Yes ends the game.
TEST(GameWire, TheRealTitleOpensItsScreensAndComesBack) {
  // Songs are found below the current folder, which the program's own is the game folder.
  const std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(QORM_DEMO_GAME_DIR);
  const TScopeExit back([&old] {
    std::error_code ignored;
    std::filesystem::current_path(old, ignored);
  });
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
