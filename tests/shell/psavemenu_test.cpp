// The save and load screen in the game window on the demo game: slot files written with set times in a temporary
// save folder (the local time zone is UTC here), clicked and scrolled with injected mouse input.
// Label: threads
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/text.h"
#include "shell/gamedata.h"
#include "shell/gamef.h"
#include "shell/gamestate.h"
#include "shell/psavemenu.h"
#include "shell/savefile.h"
#include "support/filesizelimit.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

std::string Cp932(const char* utf8) { return platform::text::Utf8ToCp932(utf8).value_or("?"); }

// Writes slot `slot` holding chapter `chapter`, last written at the UTC time given.
void WriteSlot(int slot, int chapter, int year, int month, int day, int hour, int minute) {
  TGameState state;
  state.SetScriptWord(chapter);
  ASSERT_TRUE(SaveSlotData(slot, &state, &state, nullptr, 0));
  std::tm t{};
  t.tm_year = year - 1900, t.tm_mon = month - 1, t.tm_mday = day, t.tm_hour = hour, t.tm_min = minute;
  const utimbuf times{timegm(&t), timegm(&t)};
  ASSERT_EQ(utime((GetSaveFolderHost() + SlotFileName(slot)).c_str(), &times), 0);
}

int SlotChapter(int slot) {
  TGameState state;
  return LoadSlotData(slot, &state, nullptr, nullptr, nullptr) ? state.GetScriptWord() : -1;
}

class SaveScreen : public ::testing::Test {
protected:
  void SetUp() override {
    w.env.Set("TZ", "UTC");
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    GameState = TGameState();
    SceneStartState = TGameState();
    WriteSlot(1, 99, 2025, 12, 31, 23, 59);
    WriteSlot(7, 4, 2026, 3, 3, 9, 5);
    WriteSlot(20, 11, 2026, 10, 12, 18, 30);
    WriteSlot(9, 2, 1975, 5, 1, 12, 0);  // a time before the packed form's first year
    std::ofstream(GetSaveFolderHost() + SlotFileName(12)) << "not a slot save";
    Make();
  }
  void TearDown() override { Destroy(); }

  void Make() {
    menu = std::make_unique<TSaveMenu>(nullptr);
    menu->SetCallback(VXCallback1<SaveScreen, bool, int>(this, &SaveScreen::Event));
    ASSERT_TRUE(menu->Init(FileMan));
    w.form->AttachPanel(menu->SaveMenuWin);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
  }
  void Destroy() {
    if (!menu) return;
    w.form->DetachPanel(menu->SaveMenuWin);
    menu.reset();
  }
  void Open(bool load) {
    ASSERT_TRUE(menu->Open(load));
    Click(464, 120);  // the top of the scroll track: the first ten slots
  }
  bool Event(int e) {
    events.push_back(e);
    return true;
  }
  void Click(int x, int y) {
    w.Click(x, y);
    w.Step(34);
  }
  void ClickRow(int row) { Click(300, 113 + 22 * row); }
  std::string Info(int row) const { return menu->InfoTexts()[static_cast<std::size_t>(row)]->GetText(); }
  std::string File(int row) const {
    const TZoRGBText* text = menu->FileTexts()[static_cast<std::size_t>(row)];
    return text->GetVisible() ? text->GetText() : "(hidden)";
  }

  GameWindow w;
  std::unique_ptr<TSaveMenu> menu;
  std::vector<int> events;
};

TEST_F(SaveScreen, RowsShowTheSlotChapterAndLocalFileTime) {
  Open(true);
  EXPECT_EQ(Info(0), " 1 " + std::string(23, '-')) << "a chapter without a title";
  EXPECT_EQ(File(0), "12/31 23:59");
  EXPECT_EQ(Info(1), " 2");
  EXPECT_EQ(File(1), "(hidden)");
  EXPECT_EQ(Info(6), " 7 " + Cp932("水曜日"));
  EXPECT_EQ(File(6), " 3/ 3  9:05");
  EXPECT_EQ(Info(8), " 9 " + Cp932("月曜日")) << "listed though its time cannot be shown";
  EXPECT_EQ(File(8), " 0/ 0  0:00");
  // Slot 12 does not decode: an empty row. Slot 20 is the last of the rows from top 10.
  Click(464, 119 + 55);  // (55 x 89 - 4005) / 91 = 9
  EXPECT_EQ(menu->GetTop(), 9);
  Click(456 + 8, 300 + 8);  // down
  EXPECT_EQ(menu->GetTop(), 10);
  EXPECT_EQ(Info(1), "12");
  EXPECT_EQ(File(1), "(hidden)");
  EXPECT_EQ(Info(9), "20 " + Cp932("おまけ"));
  EXPECT_EQ(File(9), "10/12 18:30");
  // The same time read in another zone.
  w.env.Set("TZ", "JST-9");
  menu->Open(true);
  EXPECT_EQ(File(9), "10/13  3:30");
}

TEST_F(SaveScreen, TheScrollTrackButtonsAndWheelMoveTheTopRowWithinItsRange) {
  Open(false);
  struct Case {
    const char* what;
    int x, y;  // a click; (0, 0): a wheel notch away from the user, (0, 1) toward
    int top;
  };
  const Case cases[] = {
      {"track at y 90", 464, 119 + 90, 44}, {"knob converted to the track", 464, 119 + 44 * 91 / 89 + 1, 0},
      {"track at y 44", 464, 119 + 44, 0},   {"up at the top", 464, 111, 0},
      {"track at y 136", 464, 119 + 136, 89}, {"down at the bottom", 464, 308, 89},
      {"wheel up", 0, 0, 88},                {"wheel down", 0, 1, 89},
      {"track at y 45", 464, 119 + 45, 0},   {"wheel down", 0, 1, 1},
      {"down", 464, 308, 2},                 {"up", 464, 111, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.x == 0) {
      w.input.MouseMoved(300, 200);
      w.input.MouseWheel(c.y == 0 ? 1 : -1);
      w.RunMain();
      w.Step(34);
    } else {
      Click(c.x, c.y);
    }
    EXPECT_EQ(menu->GetTop(), c.top);
    EXPECT_EQ(menu->ScrollBar->GetOffsetY(), c.top * 91 / 89);
    EXPECT_EQ(Info(0).substr(0, 2), (c.top + 1 < 10 ? " " : "") + std::to_string(c.top + 1));
  }
}

TEST_F(SaveScreen, LoadingTakesAnExistingSlotOnly) {
  Open(true);
  EXPECT_FALSE(menu->LoadButton->GetEnabled());
  EXPECT_FALSE(menu->SaveButton->GetVisible());
  ClickRow(1);  // empty
  EXPECT_EQ(menu->GetSelected(), -1);
  EXPECT_FALSE(menu->MenuLight->GetVisible());
  ClickRow(6);
  EXPECT_EQ(menu->GetSelected(), 6);
  EXPECT_TRUE(menu->MenuLight->GetVisible());
  EXPECT_EQ(menu->MenuLight->GetOffsetY(), 6 * 22 + 103);
  EXPECT_TRUE(menu->LoadButton->GetEnabled());
  Click(464, 119 + 136);  // the selection scrolls out of sight
  EXPECT_FALSE(menu->MenuLight->GetVisible());
  Click(464, 120);
  Click(355, 342);
  EXPECT_EQ(events, std::vector<int>{TSaveMenu::kDone});
  EXPECT_EQ(GameState.GetScriptWord(), 4);
  Click(416, 342);
  EXPECT_EQ(events, (std::vector<int>{TSaveMenu::kDone, TSaveMenu::kClosed}));
  EXPECT_EQ(menu->GetSelected(), -1);
}

// A save that cannot be written leaves the slot's previous file, and its row, as they were.
TEST_F(SaveScreen, ASaveWritesTheSlotAndAFailedSaveKeepsTheOldOne) {
  Open(false);
  EXPECT_TRUE(menu->SaveButton->GetVisible());
  EXPECT_FALSE(menu->SaveButton->GetEnabled());
  GameState.SetScriptWord(6);
  ClickRow(2);
  Click(355, 342);
  EXPECT_EQ(events, std::vector<int>{TSaveMenu::kDone});
  EXPECT_EQ(SlotChapter(3), 6);
  EXPECT_NE(w.form->GetSoundBuffer(TGameForm::spVoice), nullptr) << "one of the five answers to a save";
  EXPECT_EQ(Info(2), " 3 " + Cp932("金曜日"));
  EXPECT_NE(File(2), "(hidden)");

  GameState.SetScriptWord(8);
  ClickRow(6);
  {
    const ScopedFileSizeLimit limit(100);
    Click(355, 342);
  }
  EXPECT_EQ(events, std::vector<int>{TSaveMenu::kDone}) << "no success reported";
  EXPECT_EQ(SlotChapter(7), 4);
  EXPECT_EQ(Info(6), " 7 " + Cp932("水曜日"));
  EXPECT_EQ(File(6), " 3/ 3  9:05");
}

TEST_F(SaveScreen, TheNextScreenStartsAtTheTopRowTheLastOneHad) {
  Open(false);
  Click(464, 119 + 90);
  EXPECT_EQ(menu->GetTop(), 44);
  Destroy();
  Make();
  EXPECT_EQ(menu->GetTop(), 44);
  ASSERT_TRUE(menu->Open(false));
  EXPECT_EQ(Info(0), "45");
}

}  // namespace
