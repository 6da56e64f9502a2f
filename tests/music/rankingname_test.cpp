// The name writer on the demo game's glyphs: which cells a text fills, and that a text never draws past the picture
// of the panel it is drawn into.
// Label: threads
#include <gtest/gtest.h>

#include <string>

#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "graphics/zorgbpanel.h"
#include "music/rankingname.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

class NameWriter : public ::testing::Test {
protected:
  void SetUp() override {
    w.setup.gameFolder = QORM_DEMO_GAME_DIR;
    ASSERT_TRUE(w.Start());
    ASSERT_TRUE(writer.SetFiles(FileMan));
    ASSERT_TRUE(writer.Load("RankAlphabet.png"));
  }
  void TearDown() override { ReleasePanelImage(&panel); }
  void Make(int width, int height, TMaskMode mode) {
    ReleasePanelImage(&panel);
    ASSERT_TRUE(CreatePanelImage(&panel, width, height, mode));
    panel.SetSizeX(width);
    panel.SetSizeY(height);
  }
  // Whether the cell (17 pixels from x) of the panel's plane has any covered pixel.
  bool Covered(int cell) const {
    const TZoAlpha* plane = panel.GetAlpha();
    for (int y = 0; y < RankingName::kCellHeight; ++y)
      for (int x = cell * 17; x < cell * 17 + 17 && x < plane->GetWidth(); ++x)
        if (plane->PGet(x, y) != 0) return true;
    return false;
  }

  GameWindow w;
  RankingName writer;
  TZoRGBPanel panel{nullptr};
};

TEST_F(NameWriter, GlyphTable) {
  const std::string glyphs = "ABCDEFGHIJKLMNOPQRSTUVWXYZ-#.:/!?0123456789*+";
  for (std::size_t i = 0; i < glyphs.size(); ++i) EXPECT_EQ(RankingName::GlyphOf(glyphs[i]), static_cast<int>(i));
  for (char c : std::string("a z~=_\x83")) EXPECT_EQ(RankingName::GlyphOf(c), -1) << static_cast<int>(c);
}

TEST_F(NameWriter, CellsOfTheText) {
  Make(68, 34, mmAlpha);
  struct Case {
    const char* text;
    int width;
    std::string covered;  // per cell
  };
  const Case cases[] = {
      {"AB-9", 68, "1111"}, {"ab", 34, "0000"}, {"A b", 51, "1000"}, {"", 0, "0000"},
      {"A\x83\x41Z", 68, "1000"},  // a double-byte character ends the text
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    writer.Draw(&panel, c.text);
    EXPECT_EQ(panel.GetSizeX(), c.width);
    std::string covered;
    for (int cell = 0; cell < 4; ++cell) covered += Covered(cell) ? '1' : '0';
    EXPECT_EQ(covered, c.covered);
  }
}

// A text longer than the panel's picture is cut at the last cell that fits: the panel does not grow past its
// picture, and nothing is drawn beyond it.
TEST_F(NameWriter, ALongTextStaysInsideThePicture) {
  Make(60, 34, mmAlpha);  // room for three whole cells
  writer.Draw(&panel, "ABCDEFGHIJ");
  EXPECT_EQ(panel.GetSizeX(), 51);
  EXPECT_TRUE(Covered(0) && Covered(1) && Covered(2));
  for (int y = 0; y < 34; ++y)
    for (int x = 51; x < 60; ++x) ASSERT_EQ(panel.GetAlpha()->PGet(x, y), 0) << x << "," << y;
}

TEST_F(NameWriter, NothingWithoutAPlaneOrOnATallPanel) {
  Make(68, 40, mmAlpha);
  writer.Draw(&panel, "AB");
  EXPECT_EQ(panel.GetSizeX(), 68) << "taller than a cell: untouched";
  Make(68, 34, mmOpaque);
  writer.Draw(&panel, "AB");
  EXPECT_EQ(panel.GetSizeX(), 68);
  RankingName unloaded;
  EXPECT_FALSE(unloaded.Load("RankAlphabet.png")) << "no files";
}

}  // namespace
