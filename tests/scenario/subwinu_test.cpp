// The adventure's text windows in the real game window: a scene panel of one colour stands for the adventure's
// panel, every window hangs under it, pictures of known colours (and, in one test, the demo game's) are loaded
// through the game's data, frames are stepped by hand and clicks are injected.
// Label: threads
#include "scenario/subwinu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxfileman.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbanime.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbbtn.h"
#include "graphics/zorgbtext.h"
#include "platform/text.h"
#include "shell/gamestate.h"
#include "support/gamewindow.h"
#include "support/pictures.h"
#include "scenario/subwinpics.h"

using gamewindow::GameWindow;

namespace {

constexpr std::uint32_t kScene = 0xC86432;  // the adventure's picture
constexpr std::uint32_t kBack = subwinpics::kBack;
constexpr std::uint32_t kSel = subwinpics::kSel;
using subwinpics::Cp932;
using subwinpics::Png;
using subwinpics::Sjis;
using subwinpics::WritePictures;

// What a window reported through its callback.
struct Events {
  std::vector<int> codes;
  bool Event(int code) {
    codes.push_back(code);
    return true;
  }
  TSubWinUnit::TCallback Callback() { return VXCallback1<Events, bool, int>(this, &Events::Event); }
  std::vector<int> Take() { return std::exchange(codes, {}); }
};

int Channel(std::uint32_t rgb, int shift) { return static_cast<int>(rgb >> shift & 0xFF); }

// Each channel of `a` within `tolerance` of `b`.
::testing::AssertionResult Near(std::uint32_t a, std::uint32_t b, int tolerance = 2) {
  for (int shift : {0, 8, 16})
    if (std::abs(Channel(a, shift) - Channel(b, shift)) > tolerance)
      return ::testing::AssertionFailure() << std::hex << a << " is not near " << b;
  return ::testing::AssertionSuccess();
}

// b over a at rate / 128, each channel.
std::uint32_t Mix(std::uint32_t a, std::uint32_t b, int rate) {
  std::uint32_t out = 0;
  for (int shift : {0, 8, 16})
    out |= static_cast<std::uint32_t>(Channel(a, shift) + (Channel(b, shift) - Channel(a, shift)) * rate / 128)
           << shift;
  return out;
}

std::uint32_t Tone(std::uint32_t rgb, int grey) {
  std::uint32_t out = 0;
  for (int shift : {0, 8, 16}) out |= static_cast<std::uint32_t>(Channel(rgb, shift) * grey / 128) << shift;
  return out;
}

// The summed coverage of an area of a plane.
long Coverage(TZoAlpha* plane, int x, int y, int w, int h) {
  long sum = 0;
  for (int j = y; j < y + h; ++j)
    for (int i = x; i < x + w; ++i) sum += plane->PGet(i, j);
  return sum;
}

long CellCoverage(TZoRGBPanel* text, int line, int cell) {
  return Coverage(text->GetAlpha(), TSubWinUnit::kCellSize * cell, TSubWinUnit::kLineStep * line,
                  TSubWinUnit::kCellSize, TSubWinUnit::kCellSize);
}

class SubWin : public ::testing::Test {
public:
  int WhitePixels(int x, int y, int w, int h) {
    const GameWindow::Picture front = this->w.Front();
    int count = 0;
    for (int j = y; j < y + h; ++j)
      for (int i = x; i < x + w; ++i) count += front.Pixel(i, j) == 0xFFFFFFu;
    return count;
  }

protected:
  void SetUp() override {
    WritePictures(w.game);
    ASSERT_TRUE(w.Start());
    scene = std::make_unique<TZoRGBPanel>(nullptr);
    scene->OnDraw = [](Classes::TComponent*, TZoRGBBits* dest, int x, int y, int, int, int dx, int dy) {
      return dest->BoxFill(x, y, x + dx - 1, y + dy - 1, dest->TZoRGBtoPixel(VXRGB(kScene)));
    };
    w.form->AttachPanel(scene.get());
    scene->SetCreated(true);
    unit = std::make_unique<TSubWinUnit>(nullptr);
    ASSERT_TRUE(unit->Open(FileMan));
    unit->Message().Attach(scene.get());
    unit->Novel().Attach(scene.get());
    unit->Choice().Attach(scene.get());
    unit->Plates().Attach(scene.get());
    unit->Place().Attach(scene.get());
    unit->Backlog().Attach(scene.get());
    unit->Menu().Attach(scene.get());
    unit->Message().SetCallback(message.Callback());
    unit->Novel().SetCallback(novel.Callback());
    unit->Backlog().SetCallback(backlog.Callback());
    unit->Choice().SetCallback(choice.Callback());
    unit->Menu().SetCallback(VXCallback0<SubWin, void>(this, &SubWin::MenuDone));
    unit->SetSystemSePlayer([this](int index) { sounds.push_back(index); });
    w.form->SetOnFrame(VXCallback1<SubWin, void, int>(this, &SubWin::OnFrame));
    w.form->SetResultPending(false);
    w.form->BeginAdventureMode();
    w.MoveTo(639, 0);  // the pointer out of the way of the pictures checked
    w.Frame();
  }

  void TearDown() override {
    if (w.form) w.form->SetOnFrame({});
  }

  // The adventure's frame: every window steps by the frames that passed (none when none passed).
  void OnFrame(int frames) {
    if (frames == 0 || unit == nullptr) return;
    unit->Message().Frame(frames, skip);
    unit->Novel().Frame(frames, skip);
    unit->Backlog().Frame(frames, skip);
    unit->Plates().Frame(frames, skip);
    unit->Choice().Frame(frames, skip);
    unit->Place().Frame(frames, skip);
    unit->Menu().Frame();
  }
  void MenuDone() { menuResults.push_back(unit->Menu().GetResult()); }

  // Composes and presents what changed, without time passing.
  void Present() { w.Frame(); }
  std::uint32_t Pixel(int x, int y) { return w.Pixel(x, y); }

  GameWindow w;
  std::unique_ptr<TZoRGBPanel> scene;
  std::unique_ptr<TSubWinUnit> unit;
  Events message, novel, backlog, choice;
  std::vector<int> menuResults;
  std::vector<int> sounds;
  bool skip = false;
};

// ---- Message and novel windows ----------------------------------------------------------------------------------

TEST_F(SubWin, TheMessageWindowOpensOverFiveFramesAndTypesAtItsSpeed) {
  TSubWinUnit::TTextWindow& mes = unit->Message();
  mes.Show(false);
  EXPECT_TRUE(mes.IsShown());
  EXPECT_EQ(mes.GetState(), TSubWinUnit::wsOpening);
  EXPECT_FALSE(unit->MesText->GetVisible());
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(mes.Frame(1, false)) << i;
  EXPECT_FALSE(mes.Frame(1, false));
  EXPECT_TRUE(unit->MesText->GetVisible());
  EXPECT_TRUE(unit->MesLook->GetVisible() && unit->MesAuto->GetVisible() && unit->MesSkip->GetVisible());
  EXPECT_FALSE(unit->MesLog->GetVisible() || unit->MesSave->GetVisible() || unit->MesConfig->GetVisible());

  // Speed 200: a cell every two frames (the elapsed frames x 100 / 200).
  EXPECT_TRUE(mes.AddText(200, Sjis("星の降る夜")));
  EXPECT_TRUE(mes.IsTyping());
  EXPECT_EQ(mes.GetStartCell(), 0);
  EXPECT_EQ(mes.GetEndCell(), 5);
  struct Step {
    int ticks, cellsShown;
  };
  for (const Step& s : {Step{1, 0}, Step{1, 1}, Step{3, 2}, Step{1, 3}}) {
    mes.Frame(s.ticks, false);
    for (int c = 0; c < 5; ++c)
      EXPECT_EQ(CellCoverage(unit->MesText, 0, c) > 0, c < s.cellsShown) << "cell " << c << " after " << s.ticks;
  }
  EXPECT_TRUE(mes.IsTyping());
  mes.Frame(4, false);
  EXPECT_FALSE(mes.IsBusy());
  for (int c = 0; c < 5; ++c) EXPECT_GT(CellCoverage(unit->MesText, 0, c), 2000) << c;
  EXPECT_EQ(CellCoverage(unit->MesText, 0, 5), 0);

  // More text on the same line types from where the line ended.
  mes.AddText(100, Sjis("に"));
  EXPECT_EQ(mes.GetStartCell(), 5);
  EXPECT_EQ(mes.GetEndCell(), 6);
  mes.Frame(1, false);
  EXPECT_FALSE(mes.IsBusy());
  EXPECT_GT(CellCoverage(unit->MesText, 0, 5), 2000);

  // The text shows white on the window's back.
  Present();
  EXPECT_GT(WhitePixels(27 + 33, 313 + 23, 120, 20), 100);
}

TEST_F(SubWin, TextIsCutToCellsLinesAndPages) {
  TSubWinUnit::TTextWindow& mes = unit->Message();
  mes.Show(true);
  // One-byte characters are skipped; a line holds 26 cells; a dangling lead byte is no character.
  EXPECT_FALSE(mes.AddText(200, VXString("abc 123")));
  EXPECT_FALSE(mes.IsTyping());
  EXPECT_EQ(mes.GetEndCell(), 0);
  mes.AddText(0, Sjis("aあbい"));
  EXPECT_EQ(mes.GetLineText(0), Sjis("あい"));
  mes.AddText(0, VXString("\x82"));
  EXPECT_EQ(mes.GetLineText(0), Sjis("あい"));
  mes.AddText(0, Sjis("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十"));
  EXPECT_EQ(mes.GetEndCell(), 26);
  EXPECT_EQ(mes.GetLineText(0), Sjis("あい一二三四五六七八九十一二三四五六七八九十一二三四"));
  EXPECT_FALSE(mes.AddText(200, Sjis("溢")));  // the line is full

  // Five lines; text after the last is ignored until the page is cleared.
  for (int l = 1; l < 5; ++l) {
    mes.NewLine();
    mes.AddText(0, Sjis("行"));
    EXPECT_EQ(mes.GetLine(), l);
    EXPECT_GT(CellCoverage(unit->MesText, l, 0), 2000);
  }
  mes.NewLine();
  EXPECT_FALSE(mes.AddText(200, Sjis("外")));
  EXPECT_EQ(mes.GetLine(), 5);
  mes.Clear();
  EXPECT_EQ(mes.GetLine(), 0);
  EXPECT_EQ(Coverage(unit->MesText->GetAlpha(), 0, 0, 520, 116), 0);
  EXPECT_EQ(mes.GetLineText(0), VXString());
}

TEST_F(SubWin, AHiddenWindowOrSpeedZeroShowsTextAtOnceAndSkippingEndsEverything) {
  TSubWinUnit::TTextWindow& mes = unit->Message();
  EXPECT_FALSE(mes.AddText(500, Sjis("隠れて")));  // hidden: at once
  EXPECT_GT(CellCoverage(unit->MesText, 0, 2), 2000);
  mes.Clear();

  // Skipping while opening shows the window in the same frame; skipping while typing shows the whole line.
  mes.Show(false);
  EXPECT_TRUE(mes.AddText(500, Sjis("開きながら")));  // typing starts while the window opens
  EXPECT_EQ(mes.GetState(), TSubWinUnit::wsOpening);
  EXPECT_TRUE(mes.IsTyping());
  EXPECT_FALSE(mes.Frame(1, true));
  EXPECT_TRUE(unit->MesText->GetVisible());
  EXPECT_GT(CellCoverage(unit->MesText, 0, 4), 2000);

  mes.NewLine();
  EXPECT_FALSE(mes.AddText(0, Sjis("速さ零")));
  EXPECT_GT(CellCoverage(unit->MesText, 1, 2), 2000);

  // A new line while a line still types finishes that line where it is.
  mes.AddText(1000, Sjis("途中"));
  mes.NewLine();
  EXPECT_FALSE(mes.IsTyping());
  EXPECT_GT(CellCoverage(unit->MesText, 1, 4), 2000);
  EXPECT_EQ(CellCoverage(unit->MesText, 2, 0), 0);
}

// The back is drawn at (100 - transparency) x 128 / 100 over the scene, the frame opaque.
TEST_F(SubWin, TheBackIsDrawnAtTheTransparencyRate) {
  struct Case {
    int percent, rate;
  };
  unit->Message().Show(true);
  for (const Case& c : {Case{25, 96}, Case{0, 128}, Case{100, 0}, Case{-5, 128}, Case{140, 0}}) {
    unit->SetMesTrans(c.percent);
    EXPECT_EQ(unit->GetBackRate(), c.rate) << c.percent;
    Present();
    EXPECT_TRUE(Near(Pixel(27 + 10, 313 + 60), Mix(kScene, kBack, c.rate))) << c.percent;
    EXPECT_EQ(Pixel(27 + 1, 313 + 60), 0xF0F0F0u) << "the frame";
  }
}

TEST_F(SubWin, TheWaitIconShowsWhileTheWindowIsIdleAndFollowsTheNovelText) {
  TSubWinUnit::TTextWindow& mes = unit->Message();
  mes.SetWaitMark(true);
  EXPECT_FALSE(unit->MesWait->GetVisible());  // the window is hidden
  mes.Show(true);
  EXPECT_TRUE(unit->MesWait->GetVisible());
  mes.AddText(200, Sjis("待つ"));
  EXPECT_FALSE(unit->MesWait->GetVisible());
  mes.Frame(10, false);
  EXPECT_TRUE(unit->MesWait->GetVisible());
  Present();
  EXPECT_EQ(Pixel(612 + 10, 452 + 10), 0xFFFF00u);
  mes.SetWaitMark(false);
  EXPECT_FALSE(unit->MesWait->GetVisible());

  TSubWinUnit::TTextWindow& novel = unit->Novel();
  novel.Show(true);
  novel.SetWaitMark(true);
  novel.AddText(0, Sjis("夜は更けて"));
  novel.NewLine();
  novel.AddText(0, Sjis("静か"));
  EXPECT_TRUE(unit->NovelWait->GetVisible());
  EXPECT_EQ(unit->NovelWait->GetOffsetX(), 60 + 20 * 2);
  EXPECT_EQ(unit->NovelWait->GetOffsetY(), 48 + 24 * 1);
  novel.Hide(true);
  EXPECT_FALSE(unit->NovelWait->GetVisible());
}

// The novel window leaves half the scene's light while shown and fades it over five frames.
TEST_F(SubWin, TheNovelWindowDarkensTheScene) {
  TSubWinUnit::TTextWindow& novel = unit->Novel();
  novel.Show(false);
  const int opening[] = {128 - 1 * 64 / 5, 128 - 2 * 64 / 5, 128 - 3 * 64 / 5, 128 - 4 * 64 / 5, 0x40};
  for (int grey : opening) {
    novel.Frame(1, false);
    Present();
    EXPECT_TRUE(Near(Pixel(5, 5), Tone(kScene, grey))) << grey;
  }
  EXPECT_FALSE(novel.IsBusy());
  novel.AddText(0, Sjis("月"));
  Present();
  EXPECT_GT(WhitePixels(60, 48, 20, 20), 20);
  novel.Hide(false);
  EXPECT_FALSE(novel.IsShown());
  const int closing[] = {128 - 4 * 64 / 5, 128 - 3 * 64 / 5, 128 - 2 * 64 / 5, 128 - 1 * 64 / 5};
  for (int grey : closing) {
    novel.Frame(1, false);
    Present();
    EXPECT_TRUE(Near(Pixel(5, 5), Tone(kScene, grey))) << grey;
  }
  novel.Frame(1, false);
  Present();
  EXPECT_EQ(Pixel(5, 5), kScene);
  EXPECT_FALSE(novel.IsBusy());
}

TEST_F(SubWin, ClicksAndButtonsReachTheCallback) {
  TSubWinUnit::TTextWindow& mes = unit->Message();
  mes.Show(true);
  w.Click(100, 360);
  w.Click(100, 360, platform::input::MouseButton::Right);
  w.Click(100, 360, platform::input::MouseButton::Middle);
  w.Click(27 + 250 + 9, 313 + 124 + 9);  // MesLook
  w.Click(27 + 285 + 9, 313 + 124 + 9);  // MesSkip
  w.Click(27 + 319 + 9, 313 + 124 + 9);  // MesAuto
  w.Click(27 + 319 + 9, 313 + 124 + 9, platform::input::MouseButton::Right);
  w.Click(27 + 354 + 9, 313 + 124 + 9);  // the hidden MesLog: the window's click
  w.Click(10, 10);                       // outside the window
  Present();
  EXPECT_EQ(message.Take(), (std::vector<int>{1, 2, 3, 14, 16, 15, 2, 1}));

  mes.SetAutoSkip(true, false);
  EXPECT_TRUE(unit->MesAuto->GetSelected());
  EXPECT_FALSE(unit->MesSkip->GetSelected());

  unit->Novel().Show(true);
  w.Click(300, 200, platform::input::MouseButton::Right);
  Present();
  EXPECT_EQ(novel.Take(), (std::vector<int>{2}));
  EXPECT_TRUE(message.Take().empty());
}

// ---- Backlog ----------------------------------------------------------------------------------------------------

TEST_F(SubWin, TheBacklogScrollsWithinItsMaximum) {
  TSubWinUnit::TBacklog& log = unit->Backlog();
  log.SetScrollMax(0);
  log.Show(true);
  EXPECT_TRUE(unit->LogText->GetVisible());
  EXPECT_TRUE(unit->LogClose->GetVisible());
  EXPECT_FALSE(unit->LogBar->GetVisible() || unit->LogUp->GetVisible() || unit->LogDown->GetVisible());
  log.SetScrollPos(3);
  EXPECT_EQ(log.GetScrollPos(), 0);

  log.SetScrollMax(100);
  EXPECT_TRUE(unit->LogBar->GetVisible() && unit->LogUp->GetVisible() && unit->LogDown->GetVisible());
  EXPECT_EQ(log.GetScrollPos(), 100);
  EXPECT_EQ(unit->LogPos->GetOffsetY(), 340 - 18);
  struct Case {
    int set, pos, thumb;
  };
  for (const Case& c : {Case{50, 50, 161}, Case{-4, 0, 0}, Case{101, 100, 322}, Case{1, 1, 3}}) {
    log.SetScrollPos(c.set);
    EXPECT_EQ(log.GetScrollPos(), c.pos) << c.set;
    EXPECT_EQ(unit->LogPos->GetOffsetY(), c.thumb) << c.set;
  }
  EXPECT_EQ(log.GetScrollMax(), 100);
  log.SetScrollMax(-3);
  EXPECT_EQ(log.GetScrollMax(), 0);
  EXPECT_FALSE(unit->LogBar->GetVisible());
}

TEST_F(SubWin, TheBacklogsMouseScrollsAndCloses) {
  TSubWinUnit::TBacklog& log = unit->Backlog();
  log.SetScrollMax(644);
  log.Show(true);
  const int barX = 584 + 10, barY = 68;
  struct Case {
    int y;       // on the bar
    int pos;     // y x 644 / 322, within the track
  };
  // A press below the thumb's track (the bar is 340 high, the track 322) stops at the end of the track.
  for (const Case& c : {Case{161, 322}, Case{0, 0}, Case{322, 644}, Case{335, 644}}) {
    log.SetScrollPos(7);
    w.Click(barX, barY + c.y);
    Present();
    EXPECT_EQ(log.GetScrollPos(), c.pos) << c.y;
    EXPECT_EQ(backlog.Take(), (std::vector<int>{4})) << c.y;
  }
  // Dragged above the bar, the position stops at 0.
  w.input.MouseMoved(barX, barY + 100);
  w.input.MouseButtonChanged(platform::input::MouseButton::Left, true, 1, barX, barY + 100);
  w.input.MouseMoved(barX, barY - 50);
  w.RunMain();
  Present();
  EXPECT_EQ(log.GetScrollPos(), 0);
  w.input.MouseButtonChanged(platform::input::MouseButton::Left, false, 1, barX, barY - 50);
  w.RunMain();
  Present();
  EXPECT_EQ(backlog.Take(), (std::vector<int>{4, 4}));

  w.Click(584 + 10, 48 + 10);  // up: already at 0
  w.Click(584 + 10, 408 + 10);  // down
  w.Click(584 + 10, 408 + 10);
  Present();
  EXPECT_EQ(log.GetScrollPos(), 2);
  w.Click(barX, barY + 200, platform::input::MouseButton::Right);
  w.Click(300, 200);
  w.Click(300, 200, platform::input::MouseButton::Middle);
  w.Click(300, 200, platform::input::MouseButton::Right);
  w.Click(587 + 7, 29 + 7);  // the close button
  Present();
  EXPECT_EQ(backlog.Take(), (std::vector<int>{4, 4, 4, 6, 1, 3, 6, 6}));
}

TEST_F(SubWin, TheBacklogRendersSixteenLinesAtOnceOverTheDarkenedScene) {
  TSubWinUnit::TBacklog& log = unit->Backlog();
  for (int l = 0; l < 17; ++l) {
    log.AddText(Sjis("昔の話"));
    log.NewLine();
  }
  EXPECT_EQ(log.GetLine(), 16);
  for (int l = 0; l < 16; ++l) EXPECT_GT(CellCoverage(unit->LogText, l, 2), 2000) << l;
  log.Show(false);
  for (int i = 0; i < 5; ++i) log.Frame(1, false);
  EXPECT_FALSE(log.IsBusy());
  Present();
  EXPECT_TRUE(Near(Pixel(5, 5), Tone(kScene, 0x40)));
  // The text's colour is a light blue.
  bool blue = false;
  for (int x = 60; x < 120 && !blue; ++x) blue = Pixel(x, 48 + 10) == 0xD0D0FFu;
  EXPECT_TRUE(blue);
  log.Hide(false);
  EXPECT_FALSE(log.Frame(1, true));
  EXPECT_FALSE(unit->LogWin->GetVisible());
}

// ---- Choices ----------------------------------------------------------------------------------------------------

TEST_F(SubWin, ChoiceTextsAreCutWithoutSplittingACharacter) {
  TSubWinUnit::TChoiceWindow& sel = unit->Choice();
  struct Case {
    std::string text;
    int kept;
  };
  const std::string small = Cp932("ぁ");  // 82 9F: its trail byte looks like a lead byte
  std::string evenRun, oddRun;
  for (int i = 0; i < 30; ++i) evenRun += small;
  oddRun = "a" + evenRun;
  const Case cases[] = {
      {oddRun, 51},                 // the 52nd byte begins a character
      {evenRun, 52},                // the 52nd byte ends one
      {std::string(60, 'x'), 52},
      {std::string(52, 'x'), 52},
      {"a" + Cp932("選択"), 5},
  };
  for (const Case& c : cases) {
    sel.SetChoice(0, VXString(c.text));
    EXPECT_EQ(sel.GetChoice(0).Length(), c.kept) << c.text.size();
    EXPECT_EQ(std::string(sel.GetChoice(0).c_str()), c.text.substr(0, static_cast<std::size_t>(c.kept)));
  }
  sel.SetChoice(4, VXString("x"));
  sel.SetChoice(-1, VXString("x"));
  EXPECT_EQ(sel.GetChoice(4), VXString());
}

TEST_F(SubWin, DisabledChoicesAreSkippedAndCannotBeDecided) {
  TSubWinUnit::TChoiceWindow& sel = unit->Choice();
  sel.Clear();
  sel.SetChoice(0, Sjis("図書室へ行く"));
  sel.SetChoice(1, VXString());
  sel.SetChoice(2, Sjis("まっすぐ帰る"));
  EXPECT_TRUE(sel.IsEnabled(0) && !sel.IsEnabled(1) && sel.IsEnabled(2) && !sel.IsEnabled(3));
  sel.Open(false);
  EXPECT_FALSE(unit->SelText->GetVisible());
  for (int i = 0; i < 14; ++i) EXPECT_TRUE(sel.Frame(1, true)) << "skipping does not shorten the opening";
  EXPECT_FALSE(sel.Frame(1, false));
  EXPECT_TRUE(unit->SelText->GetVisible() && unit->SelCur->GetVisible());

  sel.SelectNext();
  EXPECT_EQ(sel.GetSelected(), 2);
  EXPECT_EQ(unit->SelCur->GetOffsetY(), 14 + 48);
  sel.SelectNext();
  EXPECT_EQ(sel.GetSelected(), 2);
  sel.SelectPrev();
  EXPECT_EQ(sel.GetSelected(), 0);
  sel.Select(1);
  EXPECT_EQ(sel.GetSelected(), 0);

  const int textX = 50 + 10 + 100, textY = 180 + 14;
  w.Click(textX, textY + 24 + 5);  // row 1: disabled
  Present();
  EXPECT_EQ(choice.Take(), (std::vector<int>{1}));
  EXPECT_EQ(sel.GetSelected(), 0);
  w.MoveTo(textX, textY + 48 + 5);  // moving over row 2 selects it
  Present();
  EXPECT_EQ(sel.GetSelected(), 2);
  w.Click(textX, textY + 20 + 1);  // the gap between rows 0 and 1
  w.Click(textX, textY + 48 + 5);
  w.Click(textX, textY + 5, platform::input::MouseButton::Right);
  w.Click(50 + 3, 180 + 3);  // the window outside the text
  Present();
  EXPECT_EQ(choice.Take(), (std::vector<int>{1, 5, 2, 1}));
  EXPECT_EQ(sel.GetSelected(), 0);  // the pointer passed over row 0 on its way to the right click
  EXPECT_TRUE(Near(Pixel(50 + 3, 180 + 40), kSel));

  sel.Close(false);
  EXPECT_FALSE(sel.Frame(1, true));
  EXPECT_FALSE(unit->SelWin->GetVisible());
}

// The window opens from its middle: while opening, rows outside the middle show the scene.
TEST_F(SubWin, TheChoiceWindowUnfoldsFromItsMiddle) {
  TSubWinUnit::TChoiceWindow& sel = unit->Choice();
  sel.Open(false);
  for (int i = 0; i < 5; ++i) sel.Frame(1, false);  // timer 10: 60 x 10 / 15 = 40 rows cut at each end
  Present();
  EXPECT_EQ(Pixel(60, 180 + 39), kScene);
  EXPECT_TRUE(Near(Pixel(60, 180 + 40), kSel));
  EXPECT_TRUE(Near(Pixel(60, 180 + 79), kSel));
  EXPECT_EQ(Pixel(60, 180 + 80), kScene);
}

// ---- Plates -----------------------------------------------------------------------------------------------------

TEST_F(SubWin, PlatesSlideInStayAndSlideOut) {
  TSubWinUnit::TPlates& plates = unit->Plates();
  GameState.SetDate(1224);
  GameState.SetTime(1830);
  plates.SyncCalendar();
  plates.ShowDate(false);
  plates.ShowTime(false);
  EXPECT_EQ(unit->DateWin->GetOffsetX(), -83);
  EXPECT_EQ(unit->TimeWin->GetOffsetX(), 640);
  struct Pos {
    int dateX, dateY, timeX, timeY;
  };
  for (const Pos& p : {Pos{-62, -30, 620, -19}, Pos{-41, -20, 600, -13}, Pos{-20, -10, 580, -6}, Pos{0, 0, 559, 0}}) {
    EXPECT_TRUE(plates.Frame(1, false));
    EXPECT_EQ(unit->DateWin->GetOffsetX(), p.dateX);
    EXPECT_EQ(unit->DateWin->GetOffsetY(), p.dateY);
    EXPECT_EQ(unit->TimeWin->GetOffsetX(), p.timeX);
    EXPECT_EQ(unit->TimeWin->GetOffsetY(), p.timeY);
  }
  EXPECT_EQ(plates.GetDateState(), TSubWinUnit::wsTyping);
  for (int i = 0; i < 149; ++i) plates.Frame(1, false);
  EXPECT_EQ(plates.GetDateState(), TSubWinUnit::wsTyping);
  plates.Frame(1, false);
  EXPECT_EQ(plates.GetDateState(), TSubWinUnit::wsClosing);
  plates.Frame(1, false);
  EXPECT_EQ(unit->DateWin->GetOffsetX(), -20);
  plates.ShowDate(false);  // a closing plate turns back from where it is
  EXPECT_EQ(plates.GetDateState(), TSubWinUnit::wsOpening);
  plates.Frame(1, false);
  EXPECT_EQ(unit->DateWin->GetOffsetX(), 0);
  EXPECT_EQ(plates.GetDateState(), TSubWinUnit::wsTyping);
  plates.HideDate(true);
  plates.HideTime(false);
  for (int i = 0; i < 4; ++i) plates.Frame(1, false);
  EXPECT_FALSE(plates.IsBusy());
  EXPECT_FALSE(unit->DateWin->GetVisible() || unit->TimeWin->GetVisible());

  plates.ShowTime(true);
  EXPECT_EQ(unit->TimeWin->GetOffsetX(), 559);
  EXPECT_TRUE(unit->TimeWin->GetVisible());
  EXPECT_TRUE(plates.Frame(1, true));  // skipping ends the stay, then the slide out
  EXPECT_FALSE(plates.Frame(1, true));
  EXPECT_FALSE(unit->TimeWin->GetVisible());
}

int Digits(TZoRGBPanel* tens, TZoRGBPanel* units) { return tens->GetBlockIndex() * 10 + units->GetBlockIndex(); }

// The clock runs a minute every 1800 frames toward the calendar: across midnight, the end of February, and
// never past the calendar.
TEST_F(SubWin, TheClockRunsAcrossMidnightAndTheEndOfTheMonth) {
  TSubWinUnit::TPlates& plates = unit->Plates();
  GameState.SetDate(228);
  GameState.SetTime(2359);
  plates.SyncCalendar();
  plates.ShowDate(true);
  plates.ShowTime(true);
  GameState.AddMinutes(11);  // 1 March 00:10
  struct Step {
    int ticks;
    int month, day, hour, minute;
  };
  const Step steps[] = {{1799, 2, 28, 23, 59}, {1, 3, 1, 0, 0}, {1800 * 4 + 900, 3, 1, 0, 4}, {1800 * 100, 3, 1, 0, 10}};
  for (const Step& s : steps) {
    plates.Frame(s.ticks, false);
    const TSubWinUnit::TPlates::TShown shown = plates.GetShown();
    EXPECT_EQ(shown.month, s.month) << s.ticks;
    EXPECT_EQ(shown.day, s.day) << s.ticks;
    EXPECT_EQ(shown.hour, s.hour) << s.ticks;
    EXPECT_EQ(shown.minute, s.minute) << s.ticks;
    EXPECT_EQ(Digits(unit->Month1, unit->Month2), s.month);
    EXPECT_EQ(Digits(unit->Day1, unit->Day2), s.day);
    EXPECT_EQ(Digits(unit->Hour1, unit->Hour2), s.hour);
    EXPECT_EQ(Digits(unit->Min1, unit->Min2), s.minute);
  }
  // The date runs through the ends of months by their lengths.
  GameState.SetDate(430);
  GameState.SetTime(2300);
  plates.SyncCalendar();
  GameState.AddDays(2);
  plates.Frame(1800 * 60 * 24, false);
  EXPECT_EQ(plates.GetShown().month, 5);
  EXPECT_EQ(plates.GetShown().day, 1);
}

// Plates shown before the calendar was ever taken hold month 0: they jump to the calendar instead of looking a
// month up that does not exist (or running forever through months of no days).
TEST_F(SubWin, PlatesThatNeverTookTheCalendarJumpToIt) {
  GameState.SetDate(1105);
  GameState.SetTime(730);
  TSubWinUnit::TPlates& plates = unit->Plates();
  EXPECT_EQ(plates.GetShown().month, 0);
  plates.ShowTime(true);
  plates.Frame(1, false);
  EXPECT_EQ(plates.GetShown().month, 11);
  EXPECT_EQ(plates.GetShown().day, 5);
  EXPECT_EQ(Digits(unit->Hour1, unit->Hour2), 7);
  EXPECT_EQ(Digits(unit->Min1, unit->Min2), 30);
}

TEST_F(SubWin, TheColonBlinksEveryHalfSecond) {
  TSubWinUnit::TPlates& plates = unit->Plates();
  struct Step {
    int ticks;
    bool shown;
  };
  for (const Step& s : {Step{14, true}, Step{1, false}, Step{14, false}, Step{1, true}, Step{45, false}}) {
    plates.Frame(s.ticks, false);
    EXPECT_EQ(unit->TimeSep->GetVisible(), s.shown) << s.ticks;
  }
}

// ---- Place plate ------------------------------------------------------------------------------------------------

TEST_F(SubWin, ThePlacePlateSlidesInWhenItsPictureExists) {
  TSubWinUnit::TPlacePlate& place = unit->Place();
  EXPECT_FALSE(place.ShowPlace(2));  // no "AvgPlace02.png"
  EXPECT_FALSE(unit->PlaceWin->GetVisible());

  EXPECT_TRUE(place.ShowPlace(1));
  EXPECT_EQ(unit->PlaceWin->GetOffsetX(), -120);
  EXPECT_EQ(unit->PlaceWin->GetOffsetY(), 65);
  EXPECT_EQ(unit->PlaceWin->GetSizeX(), 120);
  for (int t = 7; t >= 0; --t) {
    place.Frame(1, false);
    EXPECT_EQ(unit->PlaceWin->GetOffsetX(), 65 - 185 * t / 8) << t;
  }
  Present();
  EXPECT_EQ(Pixel(65 + 5, 65 + 5), 0x10F010u);
  for (int i = 0; i < 60; ++i) place.Frame(1, false);
  EXPECT_EQ(place.GetState(), TSubWinUnit::wsClosing);
  place.Frame(1, false);
  EXPECT_EQ(unit->PlaceWin->GetOffsetX(), 65 - 185 * 1 / 8);
  EXPECT_FALSE(place.Frame(1, true));
  EXPECT_FALSE(unit->PlaceWin->GetVisible());
  EXPECT_EQ(unit->PlaceWin->GetImage(), nullptr);
}

// ---- Right-click menu -------------------------------------------------------------------------------------------

TEST_F(SubWin, TheMenuSlidesInFirstButtonFirstAndOutLastButtonFirst) {
  TSubWinUnit::TMenu& menu = unit->Menu();
  menu.Open(false);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(menu.Button(i)->GetOffsetX(), -170);
  EXPECT_EQ(menu.Button(8)->GetOffsetY(), 100 + 32 * 8);
  struct Step {
    int step;
    int x0, x1, x8;
  };
  // Button i stands at 195 + 10 i + min(0, 100 x (step - 4 - i)), never left of -170.
  const Step opening[] = {{1, -105, -170, -170}, {3, 95, 5, -170},     {4, 195, 105, -170},
                          {8, 195, 205, -125},    {11, 195, 205, 175}, {12, 195, 205, 275}};
  int at = 0;
  for (const Step& s : opening) {
    while (at < s.step) {
      EXPECT_TRUE(menu.IsBusy());
      menu.Frame();
      ++at;
    }
    EXPECT_EQ(menu.Button(0)->GetOffsetX(), s.x0) << s.step;
    EXPECT_EQ(menu.Button(1)->GetOffsetX(), s.x1) << s.step;
    EXPECT_EQ(menu.Button(8)->GetOffsetX(), s.x8) << s.step;
  }
  EXPECT_FALSE(menu.IsBusy());
  Present();
  EXPECT_TRUE(Near(Pixel(5, 5), Tone(kScene, 0x40)));

  menu.Close(false);
  const Step closing[] = {{1, 195, 205, 175}, {4, 195, 205, -125}, {8, 195, 105, -170}, {12, -170, -170, -170}};
  at = 0;
  for (const Step& s : closing) {
    while (at < s.step) menu.Frame(), ++at;
    EXPECT_EQ(menu.Button(0)->GetOffsetX(), s.x0) << s.step;
    EXPECT_EQ(menu.Button(1)->GetOffsetX(), s.x1) << s.step;
    EXPECT_EQ(menu.Button(8)->GetOffsetX(), s.x8) << s.step;
  }
  EXPECT_FALSE(menu.IsBusy());
  EXPECT_FALSE(unit->MenuWin->GetVisible());
}

TEST_F(SubWin, TheMenuReportsAChosenButtonOrACancel) {
  TSubWinUnit::TMenu& menu = unit->Menu();
  menu.Open(true);
  menu.SetEnabled(2, false);
  const int x = 195 + 20 + 50;
  w.MoveTo(x, 100 + 64 + 10);  // the disabled button: no sound, no focus
  Present();
  EXPECT_EQ(menu.GetFocus(), -1);
  w.MoveTo(x, 100 + 96 + 10);
  Present();
  EXPECT_EQ(menu.GetFocus(), 3);
  EXPECT_EQ(sounds, (std::vector<int>{5}));
  w.Click(x, 100 + 96 + 10);
  Present();
  EXPECT_EQ(menuResults, (std::vector<int>{3}));
  EXPECT_EQ(sounds, (std::vector<int>{5, 4}));
  w.Click(x, 100 + 64 + 10);  // disabled: nothing
  w.Click(20, 20, platform::input::MouseButton::Right);
  w.Click(x, 100 + 10, platform::input::MouseButton::Right);
  Present();
  EXPECT_EQ(menuResults, (std::vector<int>{3, -1, -1}));
  menu.Cancel();
  EXPECT_EQ(menuResults.back(), -1);
}

TEST_F(SubWin, KeysMoveTheFocusOverUsableButtonsAndTheMouseFollows) {
  TSubWinUnit::TMenu& menu = unit->Menu();
  menu.Open(false);
  menu.FocusNext();  // not while sliding in
  EXPECT_EQ(menu.GetFocus(), -1);
  for (int i = 0; i < 12; ++i) menu.Frame();
  menu.SetEnabled(2, false);
  menu.SetEnabled(3, false);
  menu.FocusNext();
  EXPECT_EQ(menu.GetFocus(), 1);  // from no focus, the second
  w.RunMain();
  TPoint p;
  w.form->GetMousePos(p);
  EXPECT_EQ(p.x, 195 + 10 + 170 - 8);
  EXPECT_EQ(p.y, 100 + 32 + 8);
  menu.FocusNext();
  EXPECT_EQ(menu.GetFocus(), 4);
  menu.FocusPrev();
  EXPECT_EQ(menu.GetFocus(), 1);
  menu.FocusPrev();
  EXPECT_EQ(menu.GetFocus(), 0);
  menu.FocusPrev();
  EXPECT_EQ(menu.GetFocus(), 0);
  for (int i = 0; i < 12; ++i) menu.FocusNext();
  EXPECT_EQ(menu.GetFocus(), 8);  // the last stays the last
  menu.ActivateFocused();
  EXPECT_EQ(menuResults, (std::vector<int>{8}));
  EXPECT_EQ(sounds.back(), 4);
}

// ---- Life cycle -------------------------------------------------------------------------------------------------

// The adventure may close the windows from inside their own callback; nothing reaches it afterwards, and a unit
// destroyed while its panels still hang under the adventure's panel takes them along.
TEST_F(SubWin, NoCallbackOutlivesTheUnit) {
  struct Closer {
    TSubWinUnit* unit;
    int calls = 0;
    bool Event(int) {
      ++calls;
      unit->Close();
      return true;
    }
  } closer{unit.get()};
  unit->Message().Show(true);
  unit->Message().SetCallback(VXCallback1<Closer, bool, int>(&closer, &Closer::Event));
  w.Click(100, 360);
  Present();
  EXPECT_EQ(closer.calls, 1);
  EXPECT_FALSE(unit->IsOpen());
  w.Click(100, 360);
  w.Click(27 + 250 + 9, 313 + 124 + 9);
  Present();
  EXPECT_EQ(closer.calls, 1);

  ASSERT_TRUE(unit->Open(FileMan));
  unit->Menu().Open(true);
  unit->Backlog().Show(true);
  unit->Message().Show(true);
  unit->Message().AddText(500, Sjis("途中で"));
  unit->Plates().ShowDate(true);
  Present();
  unit.reset();
  EXPECT_EQ(scene->GetChildCount(), 0);
  w.Click(100, 360);
  w.Click(300, 200, platform::input::MouseButton::Right);
  w.Step();
  EXPECT_EQ(Pixel(200, 400), kScene);
  EXPECT_TRUE(menuResults.empty());
  EXPECT_TRUE(backlog.codes.empty());
}

TEST_F(SubWin, OpeningAgainStartsIdleAndEmpty) {
  unit->Message().Show(false);
  unit->Message().AddText(0, Sjis("前の"));
  unit->Menu().Open(false);
  unit->Close();
  ASSERT_TRUE(unit->Open(FileMan));
  EXPECT_FALSE(unit->Message().IsBusy() || unit->Menu().IsBusy());
  EXPECT_EQ(unit->Message().GetLineText(0), VXString());
  EXPECT_EQ(Coverage(unit->MesText->GetAlpha(), 0, 0, 520, 116), 0);
  EXPECT_FALSE(unit->MesWin->GetVisible());
}

// Driven by the game window's frames: the typed message appears over the scene as the clock runs.
TEST_F(SubWin, AMessageTypesItselfAsFramesPass) {
  unit->Message().Show(false);
  unit->Message().AddText(300, Sjis("こんばんは"));
  int frames = 0;
  while (unit->Message().IsBusy() && frames < 20) {
    w.Step();  // three frames a step: a cell a step
    ++frames;
  }
  EXPECT_EQ(frames, 5);
  Present();
  EXPECT_GT(WhitePixels(27 + 33 + 80, 313 + 23, 20, 20), 10);
}

// ---- The demo game ----------------------------------------------------------------------------------------------

// Every picture the windows name is in the demo game, at the size its panel has.
TEST(SubWinDemo, EveryPictureOfTheWindowsLoadsFromTheDemoGame) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  VXFileMan files;
  ASSERT_TRUE(files.InitDir((std::string(QORM_DEMO_FOLDER_DIR) + "/Game_Pak").c_str()));
  TSubWinUnit unit(nullptr);
  ASSERT_TRUE(unit.Open(&files));
  struct Case {
    TZoRGBPanel* panel;
    int w, h, blocks;
  };
  const Case cases[] = {
      {unit.MesBack, 587, 147, 1},  {unit.MesFrame, 587, 147, 1}, {unit.MesWait, 20, 20, 7},
      {unit.NovelWait, 20, 20, 7},  {unit.MesLook, 19, 18, 4},    {unit.MesSkip, 19, 18, 5},
      {unit.MesAuto, 19, 18, 5},    {unit.SelWin, 540, 120, 1},   {unit.SelCur, 520, 20, 1},
      {unit.LogBar, 20, 340, 1},    {unit.LogPos, 18, 18, 1},     {unit.LogUp, 20, 20, 3},
      {unit.LogDown, 20, 20, 3},    {unit.Month1, 26, 24, 10},    {unit.Day2, 26, 24, 10},
      {unit.DateSep, 19, 26, 1},    {unit.Hour1, 22, 26, 10},     {unit.Min2, 22, 26, 10},
      {unit.TimeSep, 11, 21, 1},    {unit.MenuBtn1, 170, 22, 6},  {unit.MenuBtn9, 170, 22, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.panel->GetName());
    ASSERT_NE(c.panel->GetImage(), nullptr);
    EXPECT_EQ(c.panel->GetImage()->GetWidth(), c.w);
    EXPECT_EQ(c.panel->GetImage()->GetHeight(), c.h * c.blocks);
    EXPECT_EQ(c.panel->GetSizeX(), c.w);
    EXPECT_EQ(c.panel->GetSizeY(), c.h);
  }
  for (int place = 1; place <= 6; ++place) {
    EXPECT_TRUE(unit.Place().ShowPlace(place)) << place;
    EXPECT_EQ(unit.PlaceWin->GetSizeX(), 120);
    EXPECT_EQ(unit.PlaceWin->GetSizeY(), 32);
  }
  // The fonts of the three styles draw the demo's words.
  for (TZoRGBPanel* text : {unit.MesText, unit.NovelText}) {
    (text == unit.MesText ? unit.Message() : unit.Novel()).AddText(0, Sjis("星灯りの五線譜"));
    EXPECT_GT(CellCoverage(text, 0, 6), 2000);
  }
}

}  // namespace
