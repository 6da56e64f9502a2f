#include "graphics/zorgbanime.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "core/vxstd.h"
#include "core/vxstream.h"

namespace {

using Classes::TComponent;

template <class P>
struct Stage {
  TComponent owner{nullptr};
  TZoRGBPanel* root = new TZoRGBPanel(&owner);
  P* panel = new P(&owner);
  Stage() {
    panel->SetParent(root);
    root->AllCreate();
  }
  std::vector<int> Blocks(int frames) {
    std::vector<int> b;
    for (int i = 0; i < frames; ++i) {
      root->Anime();
      b.push_back(panel->GetBlockIndex());
    }
    return b;
  }
};

}  // namespace

TEST(ZoRGBSimple, Timings) {
  struct Case {
    TPanelAnimeType type;
    int frames, wait;
    std::vector<int> blocks;
  };
  const Case cases[] = {
      {patLoop, 7, 3, {0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0}},
      {patTurn, 4, 1, {1, 2, 3, 2, 1, 0, 1, 2}},
      {patStop, 4, 0, {1, 2, 3, 3, 3}},
  };
  for (const Case& c : cases) {
    Stage<TZoRGBSimple> s;
    EXPECT_EQ(s.panel->GetSizeX(), 16);
    s.panel->SetFrameNum(0, c.frames);
    s.panel->SetAnimeWait(c.wait);
    s.panel->SetAnimeType(c.type);
    EXPECT_EQ(s.panel->GetNumBlock(), c.frames);
    EXPECT_EQ(s.Blocks(static_cast<int>(c.blocks.size())), c.blocks) << int(c.type);
  }
  Stage<TZoRGBSimple> stopped;
  stopped.panel->SetFrameNum(0, 3);
  stopped.panel->SetAnimeType(patStop);
  stopped.Blocks(5);
  EXPECT_TRUE(stopped.panel->IsStopped());
  stopped.panel->SetAnimeType(patTurn);  // a stopped animation turns back
  EXPECT_EQ(stopped.Blocks(3), (std::vector<int>{1, 0, 1}));
}

TEST(ZoRGBSimple, GroupsAndCounts) {
  Stage<TZoRGBSimple> s;
  s.panel->SetFrameNum(0, 0);  // group 0 needs a frame
  EXPECT_EQ(s.panel->GetFrameNum(0), 1);
  s.panel->SetFrameNum(2, 3);
  EXPECT_EQ(s.panel->GetNumBlock(), 4);
  for (int g = 3; g < 8; ++g) s.panel->SetFrameNum(g, std::numeric_limits<int>::max());  // past the block limit
  EXPECT_EQ(s.panel->GetNumBlock(), 4);
  s.panel->SetGroupIndex(2);
  EXPECT_EQ(s.Blocks(4), (std::vector<int>{2, 3, 1, 2}));
  s.panel->SetGroupIndex(1);  // no frames: block 0
  EXPECT_EQ(s.Blocks(2), (std::vector<int>{0, 0}));
  s.panel->SetGroupIndex(9);
  EXPECT_EQ(s.Blocks(1), (std::vector<int>{0}));
}

TEST(ZoRGBSBtn, StatesAreGroups) {
  Stage<TZoRGBSBtn> s;
  s.panel->SetPatFocus(4);
  s.panel->SetSizeX(20);
  s.panel->SetSizeY(20);
  EXPECT_EQ(s.Blocks(2), (std::vector<int>{0, 0}));
  s.root->MouseMove({}, 5, 5);
  EXPECT_EQ(s.panel->GetGroupIndex(), 1);
  EXPECT_EQ(s.Blocks(5), (std::vector<int>{2, 3, 4, 1, 2}));
  s.panel->SetEnabled(false);  // no disabled frames: the other groups still apply
  EXPECT_EQ(s.panel->GetGroupIndex(), 1);
  s.root->MouseMove({}, 50, 50);
  EXPECT_EQ(s.panel->GetBlockIndex(), 0);
  int clicks = 0;
  s.panel->OnClick = [&](TComponent*) { ++clicks; };
  s.root->MouseDown(mbLeft, {}, 5, 5);
  s.root->MouseUp(mbLeft, {}, 5, 5);
  EXPECT_EQ(clicks, 0);
  s.panel->SetEnabled(true);
  s.root->MouseDown(mbLeft, {}, 5, 5);
  s.root->MouseUp(mbLeft, {}, 5, 5);
  EXPECT_EQ(clicks, 1);
}

TEST(ZoRGBProgram, PlaysItsTable) {
  // Group 0: patterns 3, 1 each for 2 ticks, then back; group 1: pattern 5, held.
  std::vector<unsigned char> bytes(38);
  VXPutLE16(bytes.data(), 0x0100);
  VXPutLE16(bytes.data() + 2, 6);
  VXPutLE16(bytes.data() + 4, 3);
  VXPutLE16(bytes.data() + 6, 2);
  VXPutLE16(bytes.data() + 8, 1);
  for (const unsigned char f : {1, 3, 2, 0, 3, 1, 2, 0, 0, 5, 0, 0}) bytes.push_back(f);
  VXMemoryStream stream;
  stream.Write(bytes.data(), static_cast<int>(bytes.size()));
  VXAnimeData data;
  ASSERT_TRUE(data.Load(&stream));

  Stage<TZoRGBPBtn> s;
  EXPECT_EQ(s.Blocks(2), (std::vector<int>{0, 0}));  // without a table: block 0, only the event
  s.panel->SetAnimeData(&data);
  EXPECT_EQ(s.panel->GetNumBlock(), 6);
  EXPECT_EQ(s.panel->GetBlockIndex(), 3);
  EXPECT_EQ(s.Blocks(6), (std::vector<int>{3, 1, 1, 3, 3, 1}));
  s.panel->SetGroupIndex(1);
  EXPECT_EQ(s.Blocks(3), (std::vector<int>{5, 5, 5}));
}
