#include "graphics/zorgbbtn.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

using Classes::TComponent;

struct Screen {
  TComponent owner{nullptr};
  TZoRGBPanel* root = new TZoRGBPanel(&owner);
  TZoRGBBtn* btn = new TZoRGBBtn(&owner);
  int clicks = 0, downs = 0, ups = 0;

  Screen() {
    btn->SetParent(root);
    btn->SetOffsetX(10);
    btn->SetOffsetY(10);
    btn->OnClick = [this](TComponent*) { ++clicks; };
    btn->OnMouseDown = [this](TComponent*, TMouseButton, TShiftState, int, int) { ++downs; };
    btn->OnMouseUp = [this](TComponent*, TMouseButton, TShiftState, int, int) { ++ups; };
    root->AllCreate();
  }
  std::vector<int> Frames(int n) {
    std::vector<int> blocks;
    for (int i = 0; i < n; ++i) {
      root->Anime();
      blocks.push_back(btn->GetBlockIndex());
    }
    return blocks;
  }
};

}  // namespace

TEST(ZoRGBBtn, SizesAndBlockCount) {
  TComponent owner(nullptr);
  TZoRGBPanel root(&owner);
  EXPECT_EQ((TZoRGBBtn(&owner).GetSizeX()), 98);
  EXPECT_EQ((TZoRGBBtn(&owner).GetSizeY()), 31);
  TZoRGBBtn withParent(&owner, &root);
  EXPECT_EQ(withParent.GetSizeX(), 640);

  TZoRGBBtn b(&owner);
  b.SetNumBlock(10);  // as a form may write it before the counts
  b.SetPatFocus(7);
  EXPECT_EQ(b.GetNumBlock(), 8);
  b.SetPatNormal(0);   // refused: at least one normal block
  b.SetPatDown(-1);    // refused
  b.SetAnimeWait(-2);  // refused
  // Counts past the block limit are refused, so that the sum of the five cannot overflow.
  b.SetPatSelected(std::numeric_limits<int>::max());
  b.SetPatDisable(kZoMaxBlocks + 1);
  EXPECT_EQ(b.GetNumBlock(), 8);
  b.SetPatDisable(kZoMaxBlocks);
  EXPECT_EQ(b.GetNumBlock(), 8 + kZoMaxBlocks);
  EXPECT_EQ(b.GetPatNormal(), 1);
  EXPECT_EQ(b.GetPatDown(), 0);
  EXPECT_EQ(b.GetAnimeWait(), 1);
}

TEST(ZoRGBBtn, StatePatterns) {
  Screen s;
  for (auto set : {&TZoRGBBtn::SetPatFocus, &TZoRGBBtn::SetPatDown, &TZoRGBBtn::SetPatDisable}) (s.btn->*set)(1);
  EXPECT_EQ(s.btn->GetNumBlock(), 4);
  EXPECT_EQ(s.btn->GetBlockIndex(), 0);
  s.root->MouseMove({}, 15, 15);
  EXPECT_EQ(s.btn->GetBlockIndex(), 1);  // hover
  s.root->MouseDown(mbRight, {ssRight}, 15, 15);
  EXPECT_EQ(s.btn->GetBlockIndex(), 1);  // a right press is no press
  s.root->MouseUp(mbRight, {}, 15, 15);
  s.root->MouseDown(mbLeft, {ssLeft}, 15, 15);
  EXPECT_EQ(s.btn->GetBlockIndex(), 2);  // down
  s.root->MouseUp(mbLeft, {}, 15, 15);
  EXPECT_EQ(s.btn->GetBlockIndex(), 1);
  EXPECT_EQ(s.clicks, 1);

  s.btn->SetEnabled(false);
  EXPECT_EQ(s.btn->GetBlockIndex(), 3);
  s.root->MouseDown(mbLeft, {ssLeft}, 15, 15);
  EXPECT_EQ(s.btn->GetBlockIndex(), 3);
  s.root->MouseUp(mbLeft, {}, 15, 15);
  EXPECT_EQ(s.clicks, 1);  // disabled: down and up fire, click does not
  EXPECT_EQ(s.downs, 3);
  EXPECT_EQ(s.ups, 3);

  s.btn->SetEnabled(true);
  s.btn->SetSelected(true);  // without selected blocks the down block shows
  EXPECT_EQ(s.btn->GetBlockIndex(), 2);
  s.btn->SetPatSelected(1);
  EXPECT_EQ(s.btn->GetBlockIndex(), 2);  // normal 0, focus 1, selected 2, down 3, disabled 4
  s.btn->SetSelected(false);
  s.btn->SetAutoFocus(false);
  s.root->MouseMove({}, 100, 100);
  s.root->MouseMove({}, 15, 15);
  EXPECT_EQ(s.btn->GetBlockIndex(), 0);  // hovering does not focus
  s.btn->SetFocus(true);
  EXPECT_EQ(s.btn->GetBlockIndex(), 1);
}

TEST(ZoRGBBtn, AnimationInsideTheStateGroup) {
  struct Case {
    TBtnAnimeType type;
    std::vector<int> blocks;  // every 4th frame
  };
  const Case cases[] = {
      {batWraparound, {2, 3, 4, 5, 6, 7, 1, 2, 3}},
      {batRoundtrip, {2, 3, 4, 5, 6, 7, 6, 5, 4, 3, 2, 1, 2}},
  };
  for (const Case& c : cases) {
    Screen s;
    s.btn->SetPatFocus(7);
    s.btn->SetAnimeWait(4);
    s.btn->SetAnimeType(c.type);
    s.root->MouseMove({}, 15, 15);
    ASSERT_EQ(s.btn->GetBlockIndex(), 1);
    std::vector<int> seen;
    for (std::size_t i = 0; i < c.blocks.size(); ++i) {
      const auto frames = s.Frames(4);
      EXPECT_EQ(frames[0], frames[2]);  // still for three frames
      seen.push_back(frames[3]);
    }
    EXPECT_EQ(seen, c.blocks) << int(c.type);
    s.root->MouseMove({}, 200, 200);  // leaves: back to the one normal block, which stays still
    EXPECT_EQ(s.Frames(8), std::vector<int>(8, 0));
  }
}

TEST(ZoRGBBtn, HiddenButtonDoesNotAnimate) {
  Screen s;
  s.btn->SetPatNormal(3);
  int animes = 0;
  s.btn->OnAnime = [&](TComponent*) { ++animes; };
  s.btn->Hide();
  s.Frames(3);
  EXPECT_EQ(animes, 0);
  EXPECT_EQ(s.btn->GetBlockIndex(), 0);
  s.btn->Show();
  EXPECT_EQ(s.Frames(3), (std::vector<int>{1, 2, 0}));
  EXPECT_EQ(animes, 3);
}
