// The album in the game window, on the demo game (its table, thumbnails and event pictures in pack and folder form)
// and on small game folders made here, clicked and pointed at with injected mouse input, frame by frame.
// Label: threads
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/vxmemman.h"
#include "graphics/zorgbbits.h"
#include "shell/albummenu.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"
#include "support/pictures.h"

using gamewindow::GameWindow;

namespace {

// A solid 24-bit BMP.
std::string SolidBmp(int w, int h, std::uint32_t rgb) {
  return pictures::MakeBmp({w, h, 24, 0, 0, 40, 0, {}, pictures::Rows24(w, h, std::vector<std::uint32_t>(w * h, rgb))});
}

// A transition that takes `frames` frames and draws nothing.
class CountingFade : public TTransitionEffect {
public:
  explicit CountingFade(int* starts) : starts_(starts) {}
  bool Start(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) override {
    Clear();
    from_ = from, to_ = to, left_ = 4;
    ++*starts_;
    return kind == 0 && rate == 100;
  }
  void Advance(int frames) override { left_ -= frames; }
  bool IsDone() const override { return left_ <= 0; }
  void Draw(TZoRGBBits*, VXRectSet*) override {}
  void Clear() override {
    if (MemMan == nullptr) return;
    if (from_ != nullptr) MemMan->Delete(from_);
    if (to_ != nullptr) MemMan->Delete(to_);
    from_ = to_ = nullptr;
  }
  ~CountingFade() override { Clear(); }

private:
  int* starts_;
  TZoRGBBits* from_ = nullptr;
  TZoRGBBits* to_ = nullptr;
  int left_ = 0;
};

struct At {
  int x, y;
};

At Cell(int tag) { return {39 + 114 * (tag % 5) + 53, 73 + 88 * (tag / 5) + 40}; }

class Album : public ::testing::Test {
protected:
  void Start(const std::string& folder, bool showAll) {
    if (!folder.empty()) w.setup.gameFolder = folder;
    ASSERT_TRUE(w.Start());
    AlbumShowAll = showAll ? 1 : 0;
    SystemData = TSystemData();
    album = std::make_unique<TAlbumMenu>(nullptr);
    ASSERT_TRUE(album->Init(FileMan));
    w.form->AttachPanel(album->AlbumPanel);
    w.form->SetOnFrame(VXCallback1<TAlbumMenu, void, int>(album.get(), &TAlbumMenu::Frame));
    w.form->SetResultHandler([this](int r) { results.push_back(r); });
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
  }
  void TearDown() override {
    AlbumShowAll = 0;
    if (!album) return;
    w.form->SetOnFrame(TFrameHook());
    w.form->DetachPanel(album->AlbumPanel);
    album.reset();
  }
  void Frames(int n) {
    for (int i = 0; i < n; ++i) w.Step(34);
  }
  void Click(At a) {
    w.Click(a.x, a.y);
    w.Step(34);
  }
  void Move(int x, int y) {
    w.MoveTo(x, y);
    w.Step(34);
  }
  // A click, then frames until the window's cross-fade between the grid and a picture has run.
  void ClickAndSettle(At a) {
    Click(a);
    for (int i = 0; i < 200 && (album->GetViewState() == TAlbumMenu::vsOpening ||
                                album->GetViewState() == TAlbumMenu::vsClosing); ++i)
      w.Step(34);
  }

  GameWindow w;
  std::unique_ptr<TAlbumMenu> album;
  std::vector<int> results;
};


TEST_F(Album, WithNothingSeenEveryThumbnailStaysEmptyAndClicksDoNothing) {
  Start(QORM_DEMO_GAME_DIR, false);
  album->Prepare();
  for (int i = 0; i < TAlbumMenu::kEntries; ++i) {
    EXPECT_EQ(album->GetEntry(i).count, 0) << i;
    EXPECT_FALSE(album->IsLoaded(i)) << i;
  }
  Click(Cell(0));
  EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsGrid);
  EXPECT_EQ(album->GetPicture(), nullptr);
}

TEST_F(Album, SeenPicturesFillTheirEntriesAndTheThumbnailsComeAlongTheDiagonals) {
  Start(QORM_DEMO_GAME_DIR, false);
  for (int seen : {0, 2, 3, 13}) SystemData.SetEventSeen(seen);  // bg500, bg502, bg503, bg513
  album->Prepare();
  EXPECT_EQ(album->GetEntry(0).count, 2);
  EXPECT_EQ(album->GetEntry(0).pictures[1], 502);
  EXPECT_EQ(album->GetEntry(1).count, 1);
  EXPECT_EQ(album->GetEntry(9).pictures[0], 513);
  EXPECT_EQ(album->GetEntry(2).count, 0);
  for (int i : {0, 1, 9}) EXPECT_TRUE(album->IsLoaded(i)) << i;
  for (int i : {2, 3, 10, 19}) EXPECT_FALSE(album->IsLoaded(i)) << i;
  EXPECT_EQ(album->GetShowCounter(), 0);
  // The last thumbnail (row 3, column 4) finishes 32 frames after its delay of 7: the count ends after 39.
  int frames = 0;
  while (album->GetShowCounter() >= 0 && frames < 100) {
    album->Frame(1);
    ++frames;
  }
  EXPECT_EQ(frames, 40);
  // Hovering lights the entry's place; the light passes clicks on.
  Move(Cell(7).x, Cell(7).y);
  EXPECT_EQ(album->GetHoverEntry(), 7);
  EXPECT_TRUE(album->LightPanel->GetVisible());
  EXPECT_EQ(album->LightPanel->GetOffsetX(), 39 + 114 * 2);
  EXPECT_EQ(album->LightPanel->GetOffsetY(), 73 + 88);
}

TEST_F(Album, AnEntryShowsItsPicturesOneAfterAnotherAndReturnsToTheGrid) {
  Start(QORM_DEMO_GAME_DIR, true);
  int starts = 0;
  w.form->SetTransitionEffect(std::make_unique<CountingFade>(&starts));
  album->Prepare();
  EXPECT_EQ(album->GetEntry(0).count, 3);
  Frames(15);
  Click(Cell(0));
  EXPECT_EQ(album->GetViewEntry(), 0);
  EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsOpening);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(w.form->GetCursorType(), -1) << "the cursor hides over the picture";
  Frames(6);
  EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsShown);
  ASSERT_NE(album->GetPicture(), nullptr);
  EXPECT_EQ(album->GetPicture()->GetWidth(), 640);
  for (int index : {1, 2}) {
    Click({320, 240});
    Frames(6);
    EXPECT_EQ(album->GetViewIndex(), index);
    EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsShown);
  }
  Click({320, 240});
  EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsClosing);
  EXPECT_EQ(album->GetPicture(), nullptr);
  EXPECT_EQ(w.form->GetCursorType(), 0);
  Frames(6);
  EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsGrid);
  EXPECT_EQ(starts, 4);
  EXPECT_FALSE(album->PicturePanel->GetVisible());
  Click({560, 450});
  EXPECT_EQ(results, std::vector<int>{0});
}

// The two axes scroll on offsets of their own, each held within the picture (960 x 720 here).
TEST_F(Album, ALargePictureScrollsEachAxisWithinItsOwnRange) {
  Start(QORM_DEMO_GAME_DIR, true);
  album->Prepare();
  ClickAndSettle(Cell(1));
  ASSERT_EQ(album->GetViewState(), TAlbumMenu::vsShown);
  ASSERT_EQ(album->GetPicture()->GetWidth(), 960);
  TZoRGBBits* view = album->PicturePanel->GetImage();
  auto shows = [&] {
    return view->PGet(0, 0) == album->GetPicture()->PGet(album->GetScrollX(), album->GetScrollY()) &&
           view->PGet(639, 479) == album->GetPicture()->PGet(album->GetScrollX() + 639, album->GetScrollY() + 479);
  };
  struct Case {
    const char* what;
    int x, y;      // the pointer
    int cursor;    // the direction shown
    int calls;     // frame calls after the move
    int scrollX, scrollY;
    int cursorAfter;  // back to the arrow at the edge
  };
  const Case cases[] = {
      {"top edge at the top", 320, 50, 0, 1, 0, 0, 0},
      {"right", 600, 240, 5, 10, 80, 0, 5},
      {"right to the edge", 600, 240, 5, 40, 320, 0, 0},
      {"down keeps x", 320, 400, 3, 10, 320, 80, 3},
      {"down to the edge", 320, 470, 3, 40, 320, 240, 0},
      {"left keeps y", 20, 240, 4, 5, 280, 240, 4},
      {"up to the top", 320, 10, 2, 30, 280, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    w.MoveTo(c.x, c.y);
    w.form->DrainInput();
    EXPECT_EQ(w.form->GetCursorType(), c.cursor);
    for (int i = 0; i < c.calls; ++i) album->Frame(1);
    EXPECT_EQ(album->GetScrollX(), c.scrollX);
    EXPECT_EQ(album->GetScrollY(), c.scrollY);
    EXPECT_TRUE(shows());
    EXPECT_EQ(w.form->GetCursorType(), c.cursorAfter);
  }
  // At rest the cursor hides after 60 frames, and the next move shows it again.
  w.MoveTo(320, 240);
  w.form->DrainInput();
  for (int i = 0; i < 60; ++i) album->Frame(1);
  EXPECT_EQ(w.form->GetCursorType(), 0);
  album->Frame(1);
  EXPECT_EQ(w.form->GetCursorType(), -1);
  w.MoveTo(321, 240);
  w.form->DrainInput();
  EXPECT_EQ(w.form->GetCursorType(), 0);
}

TEST_F(Album, TheFolderFormOfTheEventPicturesServesToo) {
  Start(QORM_DEMO_FOLDER_DIR, true);
  album->Prepare();
  ClickAndSettle(Cell(2));
  ASSERT_NE(album->GetPicture(), nullptr);
  EXPECT_EQ(album->GetPicture()->GetWidth(), 640);
  EXPECT_EQ(album->GetPicture()->GetHeight(), 480);
  ClickAndSettle({320, 240});
  EXPECT_EQ(album->GetPicture()->GetHeight(), 960) << "bg505, taller than the screen";
}

// A table of our own in a small game folder: out-of-range rows and numbers, an entry of ten numbers, pictures that
// are missing or too large.
TEST_F(Album, TheTableKeepsEightSeenNumbersAndPicturesThatCannotBeHadArePassedOver) {
  w.game.Write("Game_Pak/AlbumTbl.csv",
               "Album,#Entry,#1,#2,#3,#4,#5,#6,#7,#8,#9,#10,!\r\n"
               "#,0,510,511,512,513,514,515,516,517,518,519\r\n"
               "#,1,520,499,700,521,0,522\r\n"
               "#,2,530,531\r\n"
               "#,25,540\r\n"
               "#,-1,541\r\n"
               "#,3,550\r\n"
               "!\r\n");
  for (int e : {0, 1, 2, 3}) w.game.Write("Game_Pak/AlbumEv0" + std::to_string(e) + ".bmp", SolidBmp(106, 80, 0x102030));
  w.game.Write("EvBG_Pak/bg510.bmp", SolidBmp(640, 480, 0xFF0000));
  w.game.Write("EvBG_Pak/bg512.bmp", SolidBmp(4097, 2, 0x00FF00));  // wider than any picture the album takes
  w.game.Write("EvBG_Pak/bg513.bmp", SolidBmp(700, 500, 0x0000FF));
  w.game.Write("EvBG_Pak/bg520.bmp", SolidBmp(4097, 1, 0x00FF00));
  w.game.Write("EvBG_Pak/bg521.png", "not a picture");
  Start("", true);
  album->Prepare();
  EXPECT_EQ(album->GetEntry(0).count, 8);
  EXPECT_EQ(album->GetEntry(0).pictures[7], 517);
  EXPECT_EQ(album->GetEntry(1).count, 2) << "out-of-range numbers are skipped and a 0 ends the row";
  EXPECT_EQ(album->GetEntry(1).pictures[1], 521);
  EXPECT_EQ(album->GetEntry(3).count, 1);
  // Entry 0: bg510, then bg511 (missing) and bg512 (too wide) are passed over for bg513; the rest are missing.
  ClickAndSettle(Cell(0));
  ASSERT_NE(album->GetPicture(), nullptr);
  EXPECT_EQ(album->GetViewIndex(), 0);
  ClickAndSettle({320, 240});
  EXPECT_EQ(album->GetViewIndex(), 3);
  EXPECT_EQ(album->GetPicture()->GetWidth(), 700);
  ClickAndSettle({320, 240});
  EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsGrid);
  EXPECT_EQ(album->GetPicture(), nullptr);
  // Entry 1 has nothing that can be shown, and entry 3's only picture is missing: the grid stays.
  for (int e : {1, 3}) {
    ClickAndSettle(Cell(e));
    EXPECT_EQ(album->GetViewState(), TAlbumMenu::vsGrid) << e;
    EXPECT_EQ(album->GetPicture(), nullptr) << e;
    EXPECT_FALSE(album->PicturePanel->GetVisible()) << e;
  }
}

}  // namespace
