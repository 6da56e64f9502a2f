#include "core/vxhash.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>

TEST(VXHash, Functions) {
  const struct {
    const char* text;
    int sum8, mul8, mul16;
  } cases[] = {
      {"abc", 38, 61, 65051},
      {"", 0, 0, 0},
      {"\xff", 255, 255 % 251, 255},
      {"\xff\xff\xff\xff\xff\xff\xff\xff", (8 * 255) % 256, -1, -1},  // the product wraps at 32 bits
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VXCalcHashSum8(c.text), c.sum8) << c.text;
    const int n = static_cast<int>(std::string(c.text).size());
    EXPECT_EQ(VXCalcHashSum8(c.text, n), c.sum8);
    if (c.mul8 < 0) continue;
    EXPECT_EQ(VXCalcHashMul8(c.text), c.mul8) << c.text;
    EXPECT_EQ(VXCalcHashMul16(c.text, n), c.mul16) << c.text;
  }
  std::uint32_t h = 0;
  for (int i = 0; i < 8; ++i) h = h * 137 + 255;
  EXPECT_EQ(VXCalcHashMul8("\xff\xff\xff\xff\xff\xff\xff\xff"), static_cast<int>(h % 251));
  EXPECT_EQ(VXCalcHashMul16("abc", 0), 0);
  EXPECT_EQ(VXCalcHashMul16("abc", -5), 0);
  EXPECT_NE(VXCalcHashMul16("ab\0c", 4), VXCalcHashMul16("ab"));  // the byte form goes past a NUL
}

TEST(VXHashTable, SlotsGrowOnlyThroughAlloc) {
  VXHashTable table;
  EXPECT_EQ(table.GetSize(), 0);
  EXPECT_EQ(table.AddData("a"), -1);
  table.Alloc(2);
  EXPECT_EQ(table.AddData("a", 7), 0);
  EXPECT_EQ(table.AddData("b"), 1);
  EXPECT_EQ(table.AddData("c"), -1);
  table.Alloc(1);
  EXPECT_EQ(table.GetSize(), 2);
  table.Alloc(100000);
  EXPECT_EQ(table.GetSize(), 65535);
  EXPECT_EQ(table.GetParam(0), 7u);
  EXPECT_EQ(VXHashTable(3).GetSize(), 3);
}

TEST(VXHashTable, StoresFindsReplacesAndClears) {
  VXHashTable table(8);
  EXPECT_EQ(table.AddData("Key", 1), 0);
  EXPECT_EQ(table.AddData("key", 2), 1);  // letter case matters
  EXPECT_EQ(table.AddData("", 3), 2);     // the empty key lives in bucket 0
  EXPECT_EQ(table.AddData("Key", 4), 3);  // a duplicate: the earlier one is found
  EXPECT_EQ(table.Search("Key"), 0);
  EXPECT_EQ(table.Search("key"), 1);
  EXPECT_EQ(table.Search(""), 2);
  EXPECT_EQ(table.Search("KEY"), -1);

  EXPECT_TRUE(table.SetData(0, "Other", 5));
  EXPECT_EQ(table.Search("Key"), 3);
  EXPECT_EQ(table.Search("Other"), 0);
  EXPECT_STREQ(table.GetString(0), "Other");
  EXPECT_FALSE(table.SetData(8, "x"));
  EXPECT_FALSE(table.SetData(-1, "x"));

  table.ClrData(1);
  EXPECT_FALSE(table.IsValid(1));
  EXPECT_EQ(table.GetString(1), nullptr);
  EXPECT_EQ(table.GetParam(1), 0u);
  EXPECT_FALSE(table.SetParam(1, 9));
  EXPECT_STREQ(table.GetString(0), "Other");
  EXPECT_STREQ(table.GetString(2), "");
  EXPECT_EQ(table.GetParam(3), 4u);
  EXPECT_TRUE(table.SetParam(3, 6));
  EXPECT_EQ(table.GetParam(3), 6u);
  EXPECT_EQ(table.AddData("new"), 1);
  table.ClrData(99);

  table.AllClear();
  EXPECT_EQ(table.GetSize(), 8);
  EXPECT_EQ(table.Search("Other"), -1);
  EXPECT_EQ(table.AddData("again"), 0);
}

TEST(VXHashTable, KeysOfSixtyFourKibibytesOrMoreAreRefused) {
  VXHashTable table(4);
  ASSERT_EQ(table.AddData("before", 1), 0);
  const std::string longest(65535, 'k');
  const std::string tooLong(65536, 'k');
  EXPECT_EQ(table.AddData(longest.c_str()), 1);
  EXPECT_EQ(table.AddData(tooLong.c_str()), -1);
  EXPECT_FALSE(table.SetData(0, tooLong.c_str()));  // the slot keeps its key
  EXPECT_EQ(table.AddData("after", 2), 2);
  EXPECT_EQ(table.Search(longest.c_str()), 1);
  EXPECT_EQ(table.Search(tooLong.c_str()), -1);
  EXPECT_STREQ(table.GetString(0), "before");
  EXPECT_STREQ(table.GetString(2), "after");
  table.ClrData(1);
  EXPECT_EQ(table.Search("after"), 2);
  EXPECT_EQ(table.GetParam(2), 2u);
}

// Random stores and clears against a plain model: every key stays findable and readable through the compactions.
TEST(VXHashTable, MatchesAModelUnderRandomEdits) {
  VXHashTable table(64);
  std::map<int, std::pair<std::string, std::uint32_t>> model;
  std::mt19937 random(42);
  for (int step = 0; step < 4000; ++step) {
    const int slot = static_cast<int>(random() % 64);
    if (random() % 3 == 0) {
      table.ClrData(slot);
      model.erase(slot);
    } else {
      const std::string key = "k" + std::to_string(random() % 100) + std::string(random() % 40, 'x');
      const std::uint32_t param = random();
      ASSERT_TRUE(table.SetData(slot, key.c_str(), param));
      model[slot] = {key, param};
    }
    if (step % 97 != 0) continue;
    for (int i = 0; i < 64; ++i) {
      auto it = model.find(i);
      ASSERT_EQ(table.IsValid(i), it != model.end());
      if (it == model.end()) continue;
      ASSERT_STREQ(table.GetString(i), it->second.first.c_str());
      ASSERT_EQ(table.GetParam(i), it->second.second);
      const int found = table.Search(it->second.first.c_str());
      ASSERT_GE(found, 0);
      ASSERT_EQ(model[found].first, it->second.first);
    }
  }
}
