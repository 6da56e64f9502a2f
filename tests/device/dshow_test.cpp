// Label: threads
#include "device/dshow.h"

#include <filesystem>

#include "graphics/zorgbpanel.h"
#include "movie_fixture.h"

namespace {

class Player : public MovieFixture {
protected:
  void SetUp() override {
    MovieFixture::SetUp();
    player.SetClock(&clock);
    panel.Create();  // only a created panel takes dirt
  }
  // One frame of the movie: the clock moves on and the next picture is requested until it comes.
  bool NextPicture() {
    clock.AdvanceNs(kFrameNs);
    return WaitFor([&] { return player.RequestFrame() || player.IsEnded(); }) && !player.IsEnded();
  }

  TZoRGBPanel panel{nullptr};
  TDShowPlayer player;
};

TEST_F(Player, NeverOpenedIsEndedAndDrawsNothing) {
  EXPECT_FALSE(player.IsOpen());
  EXPECT_TRUE(player.IsEnded());
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_FALSE(player.DrawToPanel());
  EXPECT_FALSE(player.DrawTo(display.GetBackSurface()));
  EXPECT_FALSE(player.RequestFrame());
  EXPECT_FALSE(player.CheckFrame());
}

TEST_F(Player, PanelMoviePlaysEveryPictureInOrderToTheEnd) {
  ASSERT_TRUE(player.Open(&panel, true, VXString(path.c_str())));
  EXPECT_EQ(panel.GetSizeX(), 64);
  EXPECT_EQ(panel.GetSizeY(), 48);
  auto* surface = player.GetPictureSurface();
  ASSERT_NE(surface, nullptr);
  EXPECT_EQ(panel.GetImage(), surface);
  EXPECT_EQ(surface->GetPixFormat(), pf32_888);
  EXPECT_FALSE(player.IsPlaying()) << "opened paused";
  EXPECT_EQ(services.ScreenChangeCallbackCount(), 1);

  player.Start();
  EXPECT_TRUE(player.IsPlaying());
  EXPECT_EQ(Shown(surface), 0);
  EXPECT_TRUE(player.CheckFrame()) << "the first picture came with Start";
  for (int n = 1; n < 25; ++n) {
    ASSERT_TRUE(NextPicture()) << n;
    EXPECT_TRUE(player.CheckFrame()) << "stays complete until the next request";
    panel.ClrModify();
    ASSERT_TRUE(player.DrawToPanel());
    EXPECT_TRUE(panel.GetModified());
    EXPECT_EQ(Shown(surface), n);
  }
  EXPECT_FALSE(NextPicture());
  EXPECT_TRUE(player.IsEnded());
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_TRUE(player.IsOpen()) << "ended, still open";

  player.Close();
  EXPECT_EQ(panel.GetImage(), nullptr);
  EXPECT_EQ(player.GetPictureSurface(), nullptr);
  EXPECT_EQ(services.ScreenChangeCallbackCount(), 0);
}

TEST_F(Player, FullScreenMovieDrawsOntoTheBackSurface) {
  ASSERT_TRUE(player.Open(false, VXString(path.c_str())));
  EXPECT_TRUE(player.IsPlaying()) << "not paused: running at once";
  EXPECT_EQ(player.GetPictureSurface(), nullptr);
  ASSERT_TRUE(NextPicture());
  ASSERT_TRUE(player.DrawTo(display.GetBackSurface()));
  EXPECT_EQ(Shown(display.GetBackSurface()), 1);
}

TEST_F(Player, DisplaySwitchResumesWherePlayingHadGot) {
  ASSERT_TRUE(player.Open(&panel, false, VXString(path.c_str())));
  for (int n = 1; n <= 10; ++n) ASSERT_TRUE(NextPicture());
  services.SwitchScreen();
  EXPECT_EQ(player.GetSavedPosition(), 10 * kFrameNs / 100);
  EXPECT_FALSE(player.IsSuspended());
  ASSERT_TRUE(player.IsPlaying());
  ASSERT_NE(player.GetPictureSurface(), nullptr);
  EXPECT_EQ(panel.GetImage(), player.GetPictureSurface());
  EXPECT_EQ(Shown(player.GetPictureSurface()), 10) << "the new surface shows the picture it stopped at";
  ASSERT_TRUE(NextPicture());
  player.DrawToPanel();
  EXPECT_EQ(Shown(player.GetPictureSurface()), 11);
}

TEST_F(Player, DisplaySwitchWhilePausedOrEndedDoesNotRestart) {
  // Paused.
  ASSERT_TRUE(player.Open(&panel, true, VXString(path.c_str())));
  services.SwitchScreen();
  EXPECT_TRUE(player.IsOpen());
  EXPECT_FALSE(player.IsPlaying());
  EXPECT_EQ(player.GetSavedPosition(), -1);
  // Ended.
  player.Start();
  while (NextPicture()) {
  }
  ASSERT_TRUE(player.IsEnded());
  services.SwitchScreen();
  EXPECT_TRUE(player.IsOpen());
  EXPECT_TRUE(player.IsEnded());
  EXPECT_FALSE(player.IsPlaying());
}

// The display deletes every surface it made when it is disabled; the player's picture surface is also registered
// with the memory manager. Deleting it there again would free it twice.
TEST_F(Player, PictureSurfaceDeletedByTheDisplayIsNotDeletedAgain) {
  ASSERT_TRUE(player.Open(&panel, false, VXString(path.c_str())));
  void* surface = player.GetPictureSurface();
  ASSERT_NE(surface, nullptr);
  display.SetEnabled(false);  // no display-switch callbacks: the display simply goes, and its surfaces with it
  EXPECT_EQ(player.GetPictureSurface(), nullptr);
  EXPECT_EQ(panel.GetImage(), nullptr);
  EXPECT_FALSE(services.GetMemMan().DelPointerList({VXMemPointer::KindForeign, surface, 0, 0}))
      << "the memory manager's record was struck";
  player.Close();  // would delete the surface a second time
  EXPECT_FALSE(player.IsOpen());
}

// A name longer than 260 characters must open that file, not one whose name is its first 260 characters.
TEST_F(Player, LongFileNamesAreUsedWhole) {
  const std::string folder = (dir.path() / std::string(150, 'f')).string();
  const std::string longName = folder + "/" + std::string(140, 'm') + ".mpg";
  ASSERT_GT(longName.size(), 260u);
  std::filesystem::create_directories(folder);
  std::filesystem::rename(path, longName);
  moviefile::Spec decoy;
  decoy.width = 32, decoy.height = 32, decoy.sound = false;
  ASSERT_TRUE(moviefile::Write(longName.substr(0, 260), decoy));

  ASSERT_TRUE(player.Open(&panel, true, VXString(longName.c_str())));
  EXPECT_EQ(player.GetWidth(), 64);
  EXPECT_EQ(player.GetHeight(), 48);
}

TEST_F(Player, MissingFileLeavesNothingBehind) {
  const int surfaces = display.GetSurfaceCount();
  EXPECT_FALSE(player.Open(&panel, false, VXString((dir.path() / "none.mpg").c_str())));
  EXPECT_FALSE(player.IsOpen());
  EXPECT_EQ(panel.GetImage(), nullptr);
  EXPECT_EQ(display.GetSurfaceCount(), surfaces);
  EXPECT_EQ(services.ScreenChangeCallbackCount(), 0);
  SetGameServices(nullptr);
  EXPECT_FALSE(player.Open(false, VXString(path.c_str()))) << "no game services";
}

}  // namespace
