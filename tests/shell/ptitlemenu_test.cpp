// The title screen in the game window on the demo game, with the confirmation dialog, driven by injected keys and
// mouse clicks and stepped frame by frame; the choices reach the test as the game thread would get them.
// Label: threads
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "graphics/zorgbbtn.h"
#include "shell/dialogu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/ptitlemenu.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

struct At {
  int x, y;
};
// The middle of button i (form order), 168 x 28 at x 444.
At Button(int index) {
  static constexpr int kTops[] = {202, 232, 261, 291, 321, 351, 381, 411, 440, 172};
  return {444 + 84, kTops[index] + 14};
}
// The dialog's frame is centred: (216, 186), 208 x 108; its buttons at (78, 58) and (136, 58), 46 x 22.
constexpr At kYes{216 + 78 + 23, 186 + 58 + 11}, kNo{216 + 136 + 23, 186 + 58 + 11};

class TitleScreen : public ::testing::Test {
protected:
  void SetUp() override {
    SystemData = TSystemData();
    UserConfig = TUserConfig();
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int r) {
      results.push_back(r);
      w.form->SetResultPending(false);  // the screen stays live for the next input
    });
    dialog = std::make_unique<TDlgUnit>(nullptr);
    ASSERT_TRUE(dialog->Init(FileMan));
    DlgUnit = dialog.get();
    Open(false);
  }
  void TearDown() override {
    Close();
    DlgUnit = nullptr;
  }
  void Open(bool unlocked) {
    SystemData.SetFlag(TTitleMenu::kUnlockFlag, unlocked);
    menu = std::make_unique<TTitleMenu>(nullptr);
    ASSERT_TRUE(menu->Init(FileMan));
    menu->Prepare();
    w.form->AttachPanel(menu->TitleMenuPanel);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    menu->StartIdle();
    w.Step(34);
  }
  void Close() {
    if (!menu) return;
    w.form->DetachPanel(menu->TitleMenuPanel);
    menu.reset();
  }
  void Click(At a) {
    w.Click(a.x, a.y);
    w.Step(34);
  }
  // A key, then the pointer moved by the screen and its hover, as the main thread and the frames deliver them.
  void Key(SDL_Scancode key) {
    w.Key(key);
    w.Step(34);
    w.RunMain();
    w.Step(34);
  }

  GameWindow w;
  std::unique_ptr<TDlgUnit> dialog;
  std::unique_ptr<TTitleMenu> menu;
  std::vector<int> results;
};

TEST_F(TitleScreen, EachShownButtonReportsItsChoice) {
  Close();
  Open(true);
  const int codes[] = {1, 2, 3, 4, 5, 6, 7, 8, -1, 11};
  for (int i = 0; i < TTitleMenu::kButtons; ++i) {
    if (codes[i] < 0) continue;
    results.clear();
    Click(Button(i));
    EXPECT_EQ(results, std::vector<int>{codes[i]}) << "button " << i;
  }
}

TEST_F(TitleScreen, LockedButtonsAreHiddenAndCannotBeClicked) {
  for (int i : {5, 6, 9}) EXPECT_FALSE(menu->GetButton(i)->GetVisible()) << i;
  for (int i : {0, 1, 2, 3, 4, 7, 8}) EXPECT_TRUE(menu->GetButton(i)->GetVisible()) << i;
  Click(Button(5));
  Click(Button(9));
  EXPECT_TRUE(results.empty());
}

TEST_F(TitleScreen, TheFirstKeySelectsStartAndPointsAtIt) {
  Key(SDL_SCANCODE_UP);
  EXPECT_EQ(menu->GetHover(), 0);
  TPoint p;
  w.form->GetMousePos(p);
  EXPECT_EQ(p.x, 444 + 168 - 8);
  EXPECT_EQ(p.y, 202 + 8);
  EXPECT_TRUE(menu->BtnStart->GetFocus()) << "the pointer on the button highlights it";
  Key(SDL_SCANCODE_UP);
  EXPECT_EQ(menu->GetHover(), 0) << "no wrap-around";
}

// The Down key steps over the hidden buttons and stops at the last shown one: it never lands on the hidden Extra
// button, so Enter cannot start the extra story while it is locked.
TEST_F(TitleScreen, DownSkipsHiddenButtonsAndNeverReachesTheLockedExtra) {
  UserConfig.ExitConfirm = 0;
  std::vector<int> seen;
  for (int i = 0; i < 9; ++i) {
    Key(SDL_SCANCODE_DOWN);
    seen.push_back(menu->GetHover());
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4, 7, 8, 8, 8}));
  Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(results, std::vector<int>{10}) << "Exit, not the locked extra story";
  results.clear();
  Key(SDL_SCANCODE_UP);
  EXPECT_EQ(menu->GetHover(), 7);
  Key(SDL_SCANCODE_SPACE);
  EXPECT_EQ(results, std::vector<int>{8});
}

TEST_F(TitleScreen, OnceUnlockedDownReachesExtraLast) {
  Close();
  Open(true);
  for (int i = 0; i < 11; ++i) Key(SDL_SCANCODE_DOWN);
  EXPECT_EQ(menu->GetHover(), 9);
  Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(results, std::vector<int>{11});
}

TEST_F(TitleScreen, TheHoveredButtonLightsUp) {
  const At start = Button(0);
  const std::uint32_t normal = w.Pixel(start.x, start.y);
  w.MoveTo(start.x, start.y);
  w.Step(34);
  EXPECT_EQ(menu->GetHover(), 0);
  EXPECT_NE(w.Pixel(start.x, start.y), normal);
  w.MoveTo(20, 20);
  w.Step(34);
  EXPECT_EQ(menu->GetHover(), -1);
  EXPECT_EQ(w.Pixel(start.x, start.y), normal);
}

TEST_F(TitleScreen, ExitAsksFirstAndNoGoesBackToTheTitle) {
  Click(Button(8));
  EXPECT_TRUE(results.empty());
  EXPECT_TRUE(DlgUnit->IsShown());
  EXPECT_EQ(DlgUnit->GetParent(), menu->TitleMenu);
  EXPECT_EQ(menu->GetIdle(), TTitleMenu::kIdlePaused);
  const std::uint32_t frame = w.Pixel(kNo.x - 70, kNo.y - 50);
  Click(Button(8));  // under the dialog: nothing
  Click(kNo);
  EXPECT_TRUE(results.empty());
  EXPECT_FALSE(DlgUnit->IsShown());
  EXPECT_EQ(DlgUnit->GetParent(), nullptr);
  EXPECT_GE(menu->GetIdle(), 0) << "counting again, from 0";
  EXPECT_LE(menu->GetIdle(), 2);
  EXPECT_NE(w.Pixel(kNo.x - 70, kNo.y - 50), frame) << "the frame is gone";
  // Esc answers no as well; Yes ends the game.
  Click(Button(8));
  Key(SDL_SCANCODE_ESCAPE);
  EXPECT_FALSE(DlgUnit->IsShown());
  Click(Button(8));
  Click(kYes);
  EXPECT_EQ(results, std::vector<int>{10});
}

TEST_F(TitleScreen, WithoutTheQuestionExitEndsAtOnce) {
  UserConfig.ExitConfirm = 0;
  Click(Button(8));
  EXPECT_EQ(results, std::vector<int>{10});
  EXPECT_FALSE(DlgUnit->IsShown());
}

// A title deleted with its exit question open (the game ending under it) leaves the dialog detached, hidden and
// without its callback: the dialog's next hide reports to nobody, and the next screen can use it.
TEST_F(TitleScreen, DeletingTheTitleTakesItsDialogOff) {
  Click(Button(8));
  ASSERT_TRUE(DlgUnit->IsShown());
  Close();
  EXPECT_EQ(DlgUnit->GetParent(), nullptr);
  EXPECT_FALSE(DlgUnit->GetCallback().IsValid());
  EXPECT_FALSE(DlgUnit->IsShown());
  DlgUnit->HideDialog(true);  // would reach the deleted title through a kept callback
  TZoRGBPanel other(nullptr);
  other.SetSizeX(640);
  other.SetSizeY(480);
  other.AllCreate();
  w.form->AttachPanel(&other);
  std::vector<int> events;
  struct Listener {
    std::vector<int>* events;
    bool Event(int e) {
      events->push_back(e);
      return true;
    }
  } listener{&events};
  DlgUnit->SetCallback(VXCallback1<Listener, bool, int>(&listener, &Listener::Event));
  DlgUnit->SetParent(&other);
  DlgUnit->ShowDialog(true);
  w.Step(34);
  w.Click(kYes.x, kYes.y);
  w.Step(34);
  EXPECT_EQ(events, std::vector<int>{TDlgUnit::kYes});
  DlgUnit->Detach();
  w.form->DetachPanel(&other);
}

TEST_F(TitleScreen, TheIdleCountAsksForTheOpeningAfter900Frames) {
  for (int i = 0; i < 5; ++i) w.Step(34);
  EXPECT_GE(menu->GetIdle(), 5) << "the frames count";
  menu->StartIdle();
  for (int i = 0; i < TTitleMenu::kIdleFrames - 1; ++i) menu->TitleMenuPanelAnime(menu->TitleMenuPanel);
  EXPECT_TRUE(results.empty());
  menu->TitleMenuPanelAnime(menu->TitleMenuPanel);
  EXPECT_EQ(results, std::vector<int>{9});
  EXPECT_EQ(menu->GetIdle(), TTitleMenu::kIdleStopped);
  // The open exit question holds the count; No starts it again from 0.
  menu->StartIdle();
  Click(Button(8));
  for (int i = 0; i < TTitleMenu::kIdleFrames + 10; ++i) menu->TitleMenuPanelAnime(menu->TitleMenuPanel);
  EXPECT_EQ(results, std::vector<int>{9});
  Click(kNo);
  EXPECT_LT(menu->GetIdle(), 5);
  EXPECT_GE(menu->GetIdle(), 0);
}

TEST_F(TitleScreen, InitFailsWithoutItsPictures) {
  TTitleMenu other(nullptr);
  EXPECT_FALSE(other.Init(nullptr));
  EXPECT_FALSE(other.IsOpen());
}

}  // namespace
