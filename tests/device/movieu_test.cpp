// Label: threads
#include "device/movieu.h"

#include <filesystem>

#include "movie_fixture.h"

namespace {

class Unit : public MovieFixture {
protected:
  void SetUp() override {
    MovieFixture::SetUp();
    std::filesystem::create_directories(dir.path() / "Movie");
    std::filesystem::rename(path, dir.path() / "Movie" / "clip.mpg");
    unit.SetProgramFolder(VXString((dir.str() + "/").c_str()));
    unit.GetPlayer().SetClock(&clock);
  }

  // One frame tick: the clock moves on by one picture and the unit updates until that picture is shown (the
  // panel's change mark is cleared first, so that only this picture's drawing can end the wait).
  void Tick() {
    clock.AdvanceNs(kFrameNs);
    const int frames = services.SurfaceFrames();
    unit.MoviePanel->ClrModify();
    WaitFor([&] {
      unit.Update(1);
      return !unit.IsReady() || services.SurfaceFrames() > frames || unit.MoviePanel->GetModified();
    });
  }

  void Click() { unit.MoviePanel->MouseDown(mbLeft, TShiftState{ssLeft}, 2, 2); }

  TMovieUnit unit{nullptr};
};

TEST_F(Unit, EmbeddedMovieShowsAfterTheDelayInOrderAndNotifiesNobody) {
  ASSERT_TRUE(unit.Open(nullptr, true, -1));
  ASSERT_TRUE(unit.Play("clip.mpg"));
  ASSERT_TRUE(unit.IsPlaying());
  EXPECT_EQ(unit.MoviePanel->GetSizeX(), 64);
  unit.Start();
  unit.Update(29);
  EXPECT_FALSE(unit.IsReady());
  Click();
  EXPECT_TRUE(unit.IsStarted()) << "a click before the delay has run out does not skip";
  unit.Update(1);
  EXPECT_TRUE(unit.IsReady());
  EXPECT_EQ(Shown(unit.MoviePanel->GetImage()), 0);
  for (int n = 1; n < 25; ++n) {
    unit.MoviePanel->ClrModify();
    Tick();
    EXPECT_EQ(Shown(unit.MoviePanel->GetImage()), n);
  }
  Tick();
  EXPECT_FALSE(unit.IsStarted()) << "finished at the end";
  EXPECT_TRUE(services.Notified().empty());
  unit.Stop();
  EXPECT_FALSE(unit.IsPlaying());
  EXPECT_EQ(services.MuteSounds(), 1);
  unit.Close();
  EXPECT_FALSE(unit.MoviePanel->GetCreated());
}

TEST_F(Unit, FullScreenClickSkipsAndHandsTheResultToTheGameThread) {
  ASSERT_TRUE(unit.Open(nullptr, false, 0));
  EXPECT_TRUE(services.HasDrawSurfaceHook());
  ASSERT_TRUE(unit.Play("clip.mpg"));
  EXPECT_EQ(unit.MoviePanel->GetSizeX(), 640);
  unit.Start();
  unit.Update(30);
  EXPECT_EQ(services.SurfaceFrames(), 1);
  EXPECT_EQ(Shown(display.GetBackSurface()), 0);
  Tick();
  Tick();
  EXPECT_EQ(Shown(display.GetBackSurface()), 2);
  Click();
  EXPECT_FALSE(unit.IsStarted());
  EXPECT_EQ(services.Notified(), std::vector<int>{0});
  EXPECT_FALSE(unit.GetPlayer().IsPlaying());
  unit.Close();
  EXPECT_FALSE(services.HasDrawSurfaceHook());
  EXPECT_EQ(services.MuteSounds(), 1);
}

TEST_F(Unit, WithoutSkippingClicksAreIgnoredToTheEnd) {
  ASSERT_TRUE(unit.Open(nullptr, false, 0));
  unit.SetCanSkip(false);
  ASSERT_TRUE(unit.Play("clip.mpg"));
  unit.Start();
  unit.Update(30);
  for (int n = 1; n < 25 && unit.IsStarted(); ++n) {
    Click();
    Tick();
  }
  EXPECT_EQ(Shown(display.GetBackSurface()), 24);
  Tick();
  EXPECT_FALSE(unit.IsStarted());
  EXPECT_EQ(services.Notified(), std::vector<int>{0});
}

TEST_F(Unit, DisplaySwitchDuringPlayResumes) {
  ASSERT_TRUE(unit.Open(nullptr, true, -1));
  ASSERT_TRUE(unit.Play("clip.mpg"));
  unit.Start();
  unit.Update(30);
  for (int n = 1; n <= 5; ++n) Tick();
  services.SwitchScreen();
  EXPECT_EQ(Shown(unit.MoviePanel->GetImage()), 5);
  unit.Update(1);  // the resumed picture is the completed one: drawn again, and the next one requested
  unit.MoviePanel->ClrModify();
  Tick();
  EXPECT_EQ(Shown(unit.MoviePanel->GetImage()), 6);
  EXPECT_TRUE(unit.IsStarted());
}

// The adventure plays its movies without a result code and learns of their end only from IsPlaying.
TEST_F(Unit, EndedOrSkippedMovieIsNoLongerPlayingBeforeItIsStopped) {
  ASSERT_TRUE(unit.Open(nullptr, true, -1));
  for (const bool skip : {false, true}) {
    SCOPED_TRACE(skip ? "skipped" : "ended");
    ASSERT_TRUE(unit.Play("clip.mpg"));
    EXPECT_TRUE(unit.IsPlaying()) << "opened, not yet started";
    unit.Start();
    unit.Update(30);
    EXPECT_TRUE(unit.IsPlaying());
    if (skip) {
      Click();
    } else {
      for (int n = 0; n < 25 && unit.IsStarted(); ++n) Tick();
    }
    EXPECT_FALSE(unit.IsStarted());
    EXPECT_FALSE(unit.IsPlaying());
    unit.Stop();
    EXPECT_FALSE(unit.IsPlaying());
  }
  EXPECT_EQ(services.MuteSounds(), 2) << "each stop after an end still silences the movie's sound";
  EXPECT_TRUE(services.Notified().empty());
}

TEST_F(Unit, MissingMovieIsNotPlaying) {
  ASSERT_TRUE(unit.Open(nullptr, true, -1));
  EXPECT_TRUE(unit.Play("absent.mpg"));
  EXPECT_FALSE(unit.IsPlaying());
  unit.Start();
  unit.Update(30);
  EXPECT_FALSE(unit.IsReady());
}

}  // namespace
