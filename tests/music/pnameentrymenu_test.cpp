// The name entry in the game window on the demo game: the keyboard on the screen clicked, the grid walked with
// the arrow keys, text typed (also Japanese text through the input method), and the name drawn.
// Label: threads
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "graphics/zorgbnum.h"
#include "music/pnameentrymenu.h"
#include "platform/text.h"
#include "shell/gamef.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

struct At {
  int x, y;
};
At Cell(int cell) {
  return {TNameEntryMenu::kGridX + TNameEntryMenu::kCell * (cell % 8) + 25,
          TNameEntryMenu::kGridY + TNameEntryMenu::kCell * (cell / 8) + 25};
}
int IndexOf(char c) { return static_cast<int>(std::string(TNameEntryMenu::kCharTable).find(c)); }
// Inside the first cell of the name, where a glyph has its stroke (the name panel is at (44, 170)).
constexpr At kNameGlyph{44 + 8, 170 + 17};

class NameEntry : public ::testing::Test {
protected:
  void SetUp() override {
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    w.form->SetResultHandler([this](int r) {
      results.push_back(r);
      w.form->SetResultPending(false);
    });
    menu = std::make_unique<TNameEntryMenu>(nullptr);
    ASSERT_TRUE(menu->Open());
    ASSERT_TRUE(menu->SetScore(123456));
    w.form->AttachPanel(menu->NameEntryPanel);
    w.form->BeginPanelMode();
    w.form->SetResultPending(false);
    w.Step(34);
  }
  void TearDown() override {
    w.form->DetachPanel(menu->NameEntryPanel);
    menu.reset();
  }
  // A click; then the pointer the screen may have moved, and the frame that follows it.
  void Click(At a) {
    w.Click(a.x, a.y);
    w.Step(34);
    w.RunMain();
    w.Step(34);
  }
  void Type(const std::string& utf8) {
    w.input.TextTyped(utf8);
    w.RunMain();
    w.Step(34);
  }
  // A key; then the pointer the screen moved, and the frame that follows it.
  void Key(SDL_Scancode key) {
    w.Key(key);
    w.Step(34);
    w.RunMain();
    w.Step(34);
  }
  std::string Name() const { return menu->GetName().c_str(); }

  GameWindow w;
  std::unique_ptr<TNameEntryMenu> menu;
  std::vector<int> results;
};

TEST_F(NameEntry, ClickedKeysMakeTheNameAndAFifthIsRefused) {
  for (char c : std::string("AB-9")) Click(Cell(IndexOf(c)));
  EXPECT_EQ(Name(), "AB-9");
  EXPECT_EQ(menu->GetFramedCell(), TNameEntryMenu::kEndCell) << "the fourth character sends the frame to the end key";
  TPoint p;
  w.form->GetMousePos(p);
  EXPECT_EQ(p.x, 550 + 8);
  EXPECT_EQ(p.y, 319 + 8);
  Click(Cell(IndexOf('Z')));
  EXPECT_EQ(Name(), "AB-9");
  EXPECT_EQ(menu->PanelName0->GetSizeX(), 4 * 17) << "no preview after four characters";
  Click(Cell(TNameEntryMenu::kEndCell));
  EXPECT_EQ(results, std::vector<int>{0});
}

TEST_F(NameEntry, TheCharacterUnderThePointerIsPreviewed) {
  Click(Cell(IndexOf('A')));
  const At q = Cell(IndexOf('Q'));
  w.MoveTo(q.x, q.y);
  w.Step(34);
  EXPECT_EQ(menu->GetHighlight(), IndexOf('Q'));
  EXPECT_EQ(menu->GetFramedCell(), IndexOf('Q'));
  EXPECT_EQ(menu->PanelName0->GetSizeX(), 2 * 17) << "A and the preview Q";
  const At end = Cell(TNameEntryMenu::kEndCell);
  w.MoveTo(end.x, end.y);
  w.Step(34);
  EXPECT_EQ(menu->GetHighlight(), -1);
  EXPECT_EQ(menu->GetFramedCell(), TNameEntryMenu::kEndCell);
  EXPECT_EQ(menu->PanelName0->GetSizeX(), 17);
}

TEST_F(NameEntry, TypedCharactersAndWhatIsIgnored) {
  struct Case {
    std::string typed;
    std::string name;
  };
  const Case cases[] = {
      {"q", "Q"},        {"Q", "Q"},          {"*", ""},           {"+", ""},        {"7?", "7?"},
      {"a b", "A B"},    {"#.:/", "#.:/"},    {"abcdef", "ABCD"},  {"~=_", ""},
      // Japanese text from the input method: no byte of it is read as a character of its own ("ア" is 83 41).
      {"ア", ""},        {"アb", "B"},        {"タ4", "4"},        {"ｱc", "C"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    menu->SetScore(1);
    Type(c.typed);
    EXPECT_EQ(Name(), c.name);
  }
  menu->SetScore(1);
  Type("x");
  EXPECT_EQ(menu->GetFramedCell(), TNameEntryMenu::kEndCell) << "typing sends the frame to the end key";
}

TEST_F(NameEntry, BackspaceFromTheKeyAndTheButton) {
  Type("abc");
  Key(SDL_SCANCODE_BACKSPACE);
  EXPECT_EQ(Name(), "AB");
  Click(Cell(TNameEntryMenu::kBackSpaceCell));
  EXPECT_EQ(Name(), "A");
  Click(Cell(TNameEntryMenu::kBackSpaceCell));
  Click(Cell(TNameEntryMenu::kBackSpaceCell));
  EXPECT_EQ(Name(), "");
}

TEST_F(NameEntry, ArrowKeysWalkTheGridWithWrapAroundAndEnterActs) {
  w.RunMain();  // the pointer that opening put on the first key
  w.Step(34);
  TPoint p;
  w.form->GetMousePos(p);
  EXPECT_EQ(p.x, 200 + 8);
  EXPECT_EQ(p.y, 69 + 8);
  ASSERT_EQ(menu->GetFramedCell(), 0);
  struct Case {
    SDL_Scancode key;
    int cell;
  };
  const Case walk[] = {{SDL_SCANCODE_LEFT, 7},  {SDL_SCANCODE_RIGHT, 0}, {SDL_SCANCODE_UP, 40},
                       {SDL_SCANCODE_DOWN, 0},  {SDL_SCANCODE_DOWN, 8},  {SDL_SCANCODE_RIGHT, 9}};
  for (const Case& c : walk) {
    Key(c.key);
    EXPECT_EQ(menu->GetFramedCell(), c.cell);
  }
  Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(Name(), "J");
  for (SDL_Scancode key : {SDL_SCANCODE_UP, SDL_SCANCODE_UP, SDL_SCANCODE_LEFT, SDL_SCANCODE_LEFT, SDL_SCANCODE_LEFT})
    Key(key);
  ASSERT_EQ(menu->GetFramedCell(), TNameEntryMenu::kBackSpaceCell);
  Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(Name(), "");
  Key(SDL_SCANCODE_RIGHT);
  Key(SDL_SCANCODE_RETURN);
  EXPECT_EQ(results, std::vector<int>{0}) << "an empty name can be ended at once";
}

TEST_F(NameEntry, TheNameAndTheScoreAreDrawn) {
  EXPECT_EQ(menu->NumScore->GetNumber(), 123456);
  const std::uint32_t before = w.Pixel(kNameGlyph.x, kNameGlyph.y);
  Type("h");
  EXPECT_NE(w.Pixel(kNameGlyph.x, kNameGlyph.y), before);
  Key(SDL_SCANCODE_BACKSPACE);
  EXPECT_EQ(w.Pixel(kNameGlyph.x, kNameGlyph.y), before);
  // The score's last digit ends at the panel's right edge (20 + 160), its first of six digits starts at 20 + 40.
  const GameWindow::Picture shown = w.Front();
  bool lit = false;
  for (int x = 60; x < 180 && !lit; ++x) lit = shown.Pixel(x, 290 + 14) != shown.Pixel(30, 290 + 14);
  EXPECT_TRUE(lit);
}

TEST(NameEntryScreen, SetScoreNeedsAnOpenScreen) {
  GameWindow w;
  w.setup.gameFolder = QORM_DEMO_GAME_DIR;
  ASSERT_TRUE(w.Start());
  TNameEntryMenu menu(nullptr);
  EXPECT_FALSE(menu.SetScore(5));
  ASSERT_TRUE(menu.Open());
  EXPECT_TRUE(menu.SetScore(5));
  menu.Close();
  EXPECT_FALSE(menu.IsOpen());
}

}  // namespace
