#include "graphics/zorgbnum.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "graphics/zorgbbits.h"

namespace {

using Classes::TComponent;

// Digits 14 x 10: digit d is filled with colour 0x10 * (d + 1); the panel's background is 0.
struct NumScreen {
  TComponent owner{nullptr};
  TZoRGBBits digits{&owner};
  TZoRGBBits back{&owner};
  TZoRGBPanel* root = new TZoRGBPanel(&owner);
  TZoRGBNum* num = new TZoRGBNum(&owner);

  NumScreen() {
    for (TZoRGBBits* b : {&digits, &back}) {
      b->SetBitDepth(bd32);
      b->SetPixFormat(pf32_888);
    }
    digits.Resize(14, 100);
    digits.Create();
    for (int d = 0; d < 10; ++d) digits.BoxFill(0, d * 10, 13, d * 10 + 9, Colour(d));
    back.Resize(98, 31);
    back.Create();
    root->SetSizeX(98);
    root->SetSizeY(31);
    num->SetParent(root);
    num->SetImage(&digits);
    num->SetColumn(5);
    root->AllCreate();
  }
  static std::uint32_t Colour(int d) { return 0x10u * static_cast<std::uint32_t>(d + 1); }
  // What each digit cell shows from the right, "." for nothing.
  std::string Shown() {
    back.Cls();
    root->Draw(&back, 0, 0);
    std::string s;
    for (int i = 0; i < 7; ++i) {
      const std::uint32_t p = back.PGet(97 - 14 * i - 7, 5) & 0xFFFFFF;
      s.insert(s.begin(), p == 0 ? '.' : static_cast<char>('0' + p / 0x10 - 1));
    }
    return s;
  }
};

}  // namespace

TEST(ZoRGBNum, Digits) {
  struct Case {
    int column, number;
    const char* shown;
  };
  const Case cases[] = {
      {5, 0, "......0"},     {5, 7, "......7"},   {5, 1203, "...1203"},  {3, 12345, "....345"},
      {0, 5, "......."},     {10, 2147483647, "7483647"},
      {5, -42, ".....42"},   // negative: the magnitude
      {10, INT_MIN, "7483648"},
  };
  for (const Case& c : cases) {
    NumScreen s;
    s.num->SetColumn(c.column);
    s.num->SetNumber(c.number);
    EXPECT_EQ(s.Shown(), c.shown) << c.column << " " << c.number;
  }
}

TEST(ZoRGBNum, PlacementAndPartialRedraw) {
  NumScreen s;
  s.num->SetNumber(7);
  s.Shown();
  EXPECT_EQ(s.back.PGet(83, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(s.back.PGet(84, 0) & 0xFFFFFF, NumScreen::Colour(7));
  EXPECT_EQ(s.back.PGet(97, 9) & 0xFFFFFF, NumScreen::Colour(7));
  EXPECT_EQ(s.back.PGet(97, 10) & 0xFFFFFF, 0u);

  // A dirty rectangle over part of the digit redraws only that part.
  s.num->SetNumber(3);
  s.root->ClrModifyToChild();
  s.back.Cls();
  s.root->SetModifyRect({90, 2, 95, 4});
  s.root->Update(&s.back);
  EXPECT_EQ(s.back.PGet(90, 2) & 0xFFFFFF, NumScreen::Colour(3));
  EXPECT_EQ(s.back.PGet(94, 3) & 0xFFFFFF, NumScreen::Colour(3));
  EXPECT_EQ(s.back.PGet(89, 2) & 0xFFFFFF, 0u);
  EXPECT_EQ(s.back.PGet(95, 2) & 0xFFFFFF, 0u);
  EXPECT_EQ(s.back.PGet(90, 4) & 0xFFFFFF, 0u);

  s.num->SetColumn(11);
  s.num->SetColumn(-1);
  EXPECT_EQ(s.num->GetColumn(), 5);
}
