// Label: threads
#include "shell/gamet.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>
#include <iterator>
#include <string>

#include "shell/gamef.h"
#include "support/gamewindow.h"
#include "support/waitfor.h"

using gamewindow::GameWindow;

namespace {

GameWindow::Options WithGameThread() {
  GameWindow::Options o;
  o.gameThread = MakeGameThread;
  return o;
}

// Lets the game thread compose a frame: it paces "FULL" frames 3 ms apart on the test's clock.
void LetItRun(GameWindow& w) {
  const std::uint64_t before = w.form->GetComposedFrames();
  w.clock.WaitForSleepers(2);
  w.AdvanceMs(5, 2);
  ASSERT_TRUE(WaitFor([&] { return w.form->GetComposedFrames() > before; }));
}

std::string SettingsText(const GameWindow& w) {
  std::ifstream in(w.save.str() + "/BELVAR/QORM/QORM.ini");
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

// The close button asks in a window and Cancel keeps the game; OK ends the game thread, which saves the user's
// configuration and has the window close. The window waits for the thread with no lock held while the thread
// takes the game lock on its way out.
TEST(GameThread, KeepsTheFramesRunningAndEndsTheGameWhenAskedTo) {
  GameWindow w(WithGameThread());
  ASSERT_TRUE(w.Start());
  ASSERT_NE(w.form->GetGameThread(), nullptr);
  LetItRun(w);
  UserConfig.MesBoxTrans = 61;

  w.answer = false;
  w.form->Close();
  ASSERT_EQ(w.questions.size(), 1u);
  EXPECT_EQ(w.questions[0].text, "ゲームを終了しますか？");
  EXPECT_EQ(w.form->GetState(), 2);
  LetItRun(w);

  w.answer = true;
  WithinAMinute([&] {
    w.form->Close();
    w.AdvanceMs(5);
    ASSERT_TRUE(WaitFor([&] { return w.form->GetGameThread()->IsFinished(); }));
    w.RunMain();  // the close the thread asked for
  });
  EXPECT_TRUE(w.terminated);
  EXPECT_EQ(w.form->GetGameThread(), nullptr);
  EXPECT_NE(SettingsText(w).find("MesBoxTrans=61"), std::string::npos);
  EXPECT_TRUE(w.form->GetFatalError().empty());
  UserConfig = TUserConfig{};
}

// Full screen never asks; a quit request without a question (a termination signal) never asks either, also when
// it comes before the thread has begun.
TEST(GameThread, FullScreenAndTheSessionEndingNeverAsk) {
  for (bool fullScreen : {true, false}) {
    GameWindow w(WithGameThread());
    ASSERT_TRUE(w.Start());
    WithinAMinute([&] {
      if (fullScreen) {
        w.form->OnHotKey(2);
        w.form->Close();
      } else {
        w.form->RequestQuit(false);
      }
      w.AdvanceMs(5);
      ASSERT_TRUE(WaitFor([&] { return w.form->GetGameThread()->IsFinished(); }));
      w.RunMain();
    });
    EXPECT_TRUE(w.questions.empty());
    EXPECT_TRUE(w.terminated);
  }
}

// The window going away while the game thread still runs: the thread is told to end and waited for with no lock
// held, so it can take the game lock again on its way out.
TEST(GameThread, TheWindowWaitsForARunningGameThreadWithoutHoldingItsLock) {
  GameWindow w(WithGameThread());
  ASSERT_TRUE(w.Start());
  LetItRun(w);
  w.clock.WaitForSleepers(2);  // the thread waits in its frame, the game lock given up
  std::thread clockMover([&] {
    // Frames pace on the test's clock: keep it moving until the thread has gone.
    while (!w.terminated) w.clock.AdvanceMs(5);
  });
  WithinAMinute([&] { w.form.reset(); });
  clockMover.join();
  EXPECT_TRUE(w.terminated);
}

// An error in a frame drawn on the game thread ends the game; the locks the frame held are given back, so the
// window can close and keeps the error for the program's exit.
TEST(GameThread, AnErrorInAFrameOnTheGameThreadEndsTheGameAndTheWindowStillCloses) {
  GameWindow w(WithGameThread());
  ASSERT_TRUE(w.Start());
  struct Throwing {
    void Draw(TZoRGBBits*, VXRectSet*) { throw std::runtime_error("broken picture"); }
  } throwing;
  w.form->SetOnDrawUpdate(VXCallback2<Throwing, void, TZoRGBBits*, VXRectSet*>(&throwing, &Throwing::Draw));
  WithinAMinute([&] {
    w.clock.WaitForSleepers(2);
    w.AdvanceMs(5);
    ASSERT_TRUE(WaitFor([&] { return w.form->GetGameThread()->IsFinished(); }));
    w.RunMain();
  });
  EXPECT_TRUE(w.terminated);
  EXPECT_EQ(w.form->GetFatalError(), "broken picture");
}
