#include "shell/readmes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/vxstd.h"
#include "support/recordbytes.h"

namespace {

using Ranges = std::vector<std::pair<int, int>>;

struct Block {
  std::uint32_t script;
  std::uint32_t stamp;
  Ranges ranges;
  friend bool operator==(const Block&, const Block&) = default;
};

std::uint32_t Key(int script, int message) { return static_cast<std::uint32_t>(script) << 16 | message; }

// The blocks as the buffer holds them; the walk must end exactly at the used size.
std::vector<Block> Blocks(const TReadMesTable& log) {
  const std::uint8_t* p = log.GetBuffer();
  const std::uint32_t used = VXGetLE32(p);
  std::vector<Block> blocks;
  std::uint32_t offset = 8;
  for (std::uint32_t i = 0; i < VXGetLE32(p + 4); ++i) {
    const std::uint32_t payload = VXGetLE32(p + offset);
    Block block{VXGetLE32(p + offset + 4), VXGetLE32(p + offset + 8), {}};
    for (std::uint32_t at = offset + 12; at < offset + 12 + payload; at += 4)
      block.ranges.emplace_back(VXGetLE16(p + at), VXGetLE16(p + at + 2));
    blocks.push_back(block);
    offset += 12 + payload;
  }
  EXPECT_EQ(offset, used);
  return blocks;
}

// A stored log: the header, then blocks.
std::vector<std::uint8_t> Image(const std::vector<Block>& blocks) {
  std::vector<std::uint8_t> image(8);
  for (const Block& block : blocks) {
    const std::size_t at = image.size();
    image.resize(at + 12 + 4 * block.ranges.size());
    Poke32(image.data(), at, static_cast<std::uint32_t>(4 * block.ranges.size()));
    Poke32(image.data(), at + 4, block.script);
    Poke32(image.data(), at + 8, block.stamp);
    for (std::size_t i = 0; i < block.ranges.size(); ++i) {
      VXPutLE16(image.data() + at + 12 + 4 * i, static_cast<std::uint16_t>(block.ranges[i].first));
      VXPutLE16(image.data() + at + 14 + 4 * i, static_cast<std::uint16_t>(block.ranges[i].second));
    }
  }
  Poke32(image.data(), 0, static_cast<std::uint32_t>(image.size()));
  Poke32(image.data(), 4, static_cast<std::uint32_t>(blocks.size()));
  return image;
}

void Load(TReadMesTable& log, const std::vector<std::uint8_t>& image) {
  log.Load(image.data(), static_cast<int>(image.size()));
}

}  // namespace

TEST(ReadMesTable, StoresBlocksAtTheirOffsets) {
  TReadMesTable log;
  EXPECT_EQ(log.GetUsedSize(), 8u);
  log.SetScriptStamp(7, 0xAABBCCDD);
  log.MarkRead(Key(7, 5));
  log.MarkRead(Key(7, 6));
  log.MarkRead(Key(7, 0x1234));
  const std::uint8_t expected[] = {28, 0,    0,    0,    1,    0,    0,    0,     // used, count
                                   8,  0,    0,    0,    7,    0,    0,    0,     // payload, script
                                   0xDD, 0xCC, 0xBB, 0xAA,                       // stamp
                                   5,  0,    6,    0,    0x34, 0x12, 0x34, 0x12};  // [5, 6], [0x1234, 0x1234]
  ASSERT_EQ(log.GetUsedSize(), sizeof expected);
  EXPECT_EQ(std::memcmp(log.GetBuffer(), expected, sizeof expected), 0);
}

TEST(ReadMesTable, MarkingMergesRanges) {
  struct Case {
    const char* name;
    Ranges before;
    std::vector<int> marks;
    Ranges after;
  };
  const Case cases[] = {
      {"5, 7, then 6", {}, {5, 7, 6}, {{5, 7}}},
      {"in front of a range", {{1, 3}, {11, 20}}, {10}, {{1, 3}, {10, 20}}},
      {"behind a range", {{1, 3}, {11, 20}}, {4}, {{1, 4}, {11, 20}}},
      {"between two ranges", {{1, 3}, {5, 9}}, {4}, {{1, 9}}},
      {"apart", {{1, 3}, {11, 20}}, {7}, {{1, 3}, {7, 7}, {11, 20}}},
      {"before all", {{5, 6}}, {2}, {{2, 2}, {5, 6}}},
      {"after all", {{5, 6}}, {9}, {{5, 6}, {9, 9}}},
      {"already read", {{5, 9}}, {5, 7, 9}, {{5, 9}}},
      {"down to 1", {}, {3, 2, 1}, {{1, 3}}},
      {"the last number", {{65534, 65534}}, {65535}, {{65534, 65535}}},
  };
  for (const Case& c : cases) {
    TReadMesTable log;
    Load(log, Image({{3, 1, c.before}}));
    for (int m : c.marks) log.MarkRead(Key(3, m));
    EXPECT_EQ(Blocks(log), (std::vector<Block>{{3, 1, c.after}})) << c.name;
    for (const auto& [first, last] : c.after) {
      if (first > 1) {
        EXPECT_FALSE(log.IsRead(Key(3, first - 1))) << c.name;
      }
      EXPECT_TRUE(log.IsRead(Key(3, first))) << c.name;
      EXPECT_TRUE(log.IsRead(Key(3, last))) << c.name;
      if (last < 65535) {
        EXPECT_FALSE(log.IsRead(Key(3, last + 1))) << c.name;
      }
    }
    EXPECT_FALSE(log.IsRead(Key(4, c.marks[0]))) << c.name;  // another script
  }
}

TEST(ReadMesTable, OnlyScriptsWithAStampAreLogged) {
  TReadMesTable log;
  log.MarkRead(Key(9, 1));
  EXPECT_FALSE(log.IsRead(Key(9, 1)));
  EXPECT_EQ(log.GetUsedSize(), 8u);

  log.SetScriptStamp(9, 100);
  log.MarkRead(Key(9, 1));
  log.MarkRead(Key(9, 4));
  log.SetScriptStamp(9, 100);  // the same file: the marks stay
  EXPECT_TRUE(log.IsRead(Key(9, 4)));
  log.SetScriptStamp(9, 101);  // a changed file: its marks are forgotten, its block stays
  EXPECT_FALSE(log.IsRead(Key(9, 1)));
  EXPECT_EQ(Blocks(log), (std::vector<Block>{{9, 101, {}}}));
}

TEST(ReadMesTable, BlocksBehindAChangedBlockMove) {
  TReadMesTable log;
  Load(log, Image({{1, 10, {{1, 1}}}, {2, 20, {{5, 5}, {9, 9}}}, {3, 30, {{7, 8}}}}));
  log.MarkRead(Key(2, 7));  // block 2 grows in the middle
  log.MarkRead(Key(1, 3));
  EXPECT_EQ(Blocks(log), (std::vector<Block>{{1, 10, {{1, 1}, {3, 3}}}, {2, 20, {{5, 5}, {7, 7}, {9, 9}}},
                                             {3, 30, {{7, 8}}}}));
  log.SetScriptStamp(2, 21);  // block 2 shrinks; 3 moves down
  log.MarkRead(Key(3, 9));
  log.MarkRead(Key(1, 2));  // joins [1, 1] and [3, 3]
  EXPECT_EQ(Blocks(log), (std::vector<Block>{{1, 10, {{1, 3}}}, {2, 21, {}}, {3, 30, {{7, 9}}}}));
  EXPECT_TRUE(log.IsRead(Key(3, 9)));
  EXPECT_FALSE(log.IsRead(Key(2, 5)));
}

TEST(ReadMesTable, AFullBufferRecordsNothingNew) {
  // 262,140 bytes in use: neither a range (4 bytes) nor a block (12) fits below 262,144 any more.
  std::vector<Block> blocks;
  for (int script = 0; script < 65; ++script) {
    Block block{static_cast<std::uint32_t>(script), 1, {}};
    for (int m = 1; m < 2000; m += 2) block.ranges.emplace_back(m, m);
    blocks.push_back(block);
  }
  Block last{65, 1, {}};
  for (int m = 1; m < 670; m += 2) last.ranges.emplace_back(m, m);
  blocks.push_back(last);
  const std::vector<std::uint8_t> image = Image(blocks);
  ASSERT_EQ(image.size(), 262140u);

  auto log = std::make_unique<TReadMesTable>();
  Load(*log, image);
  ASSERT_EQ(log->GetUsedSize(), 262140u);
  log->MarkRead(Key(65, 1000));
  log->SetScriptStamp(99, 1);
  log->MarkRead(Key(99, 1));
  EXPECT_EQ(std::memcmp(log->GetBuffer(), image.data(), image.size()), 0);
  EXPECT_FALSE(log->IsRead(Key(65, 1000)));

  log->MarkRead(Key(0, 2));  // joins [1, 1] and [3, 3]: the log shrinks
  EXPECT_EQ(log->GetUsedSize(), 262136u);
  EXPECT_TRUE(log->IsRead(Key(0, 2)));
  EXPECT_TRUE(log->IsRead(Key(65, 669)));
}

TEST(ReadMesTable, ALoadedLogKeepsOnlyWhatItsSizesDescribe) {
  const std::vector<std::uint8_t> good = Image({{1, 10, {{1, 2}}}, {2, 20, {{4, 4}}}});  // blocks of 16 bytes
  struct Case {
    const char* name;
    std::vector<std::uint8_t> image;
    std::vector<Block> kept;
  };
  auto with = [&](std::size_t offset, std::uint32_t value) {
    std::vector<std::uint8_t> image = good;
    Poke32(image.data(), offset, value);
    return image;
  };
  const std::vector<Block> both = {{1, 10, {{1, 2}}}, {2, 20, {{4, 4}}}};
  const std::vector<Block> first = {{1, 10, {{1, 2}}}};
  const Case cases[] = {
      {"a good log", good, both},
      {"used beyond the bytes", with(0, 0xFFFFFFFF), both},
      {"used inside the second block", with(0, 30), first},
      {"used inside the header", with(0, 3), {}},
      {"count beyond the blocks", with(4, 1000), both},
      {"count of one", with(4, 1), first},
      {"payload past the end", with(24, 8), first},
      {"payload that wraps", with(24, 0xFFFFFFFC), first},
      {"payload not whole ranges", with(8, 6), {}},
      {"bytes cut inside a block", std::vector<std::uint8_t>(good.begin(), good.end() - 2), first},
  };
  for (const Case& c : cases) {
    TReadMesTable log;
    Load(log, c.image);
    EXPECT_EQ(Blocks(log), c.kept) << c.name;
    // What was kept works on: marks go in, and nothing reaches past the used part.
    log.SetScriptStamp(2, 20);
    log.MarkRead(Key(2, 5));
    EXPECT_TRUE(log.IsRead(Key(2, 5))) << c.name;
    Blocks(log);
  }
}

TEST(ReadMesTable, LoadsOfTheWrongSizeAreIgnored) {
  TReadMesTable log;
  log.SetScriptStamp(1, 1);
  log.MarkRead(Key(1, 1));
  const std::vector<Block> before = Blocks(log);
  const std::vector<std::uint8_t> empty = Image({});
  log.Load(empty.data(), 7);
  log.Load(empty.data(), -8);
  log.Load(nullptr, 8);
  std::vector<std::uint8_t> huge(TReadMesTable::kBufferSize);
  Poke32(huge.data(), 0, 8);
  log.Load(huge.data(), static_cast<int>(huge.size()));
  EXPECT_EQ(Blocks(log), before);
}

TEST(ReadMesTable, WhatIsStoredLoadsBackTheSame) {
  TReadMesTable log;
  for (int script = 0; script < 5; ++script) {
    log.SetScriptStamp(script, 100 + script);
    for (int m = 1; m < 300; m += 1 + script) log.MarkRead(Key(script, m));
  }
  TReadMesTable loaded;
  loaded.Load(log.GetBuffer(), static_cast<int>(log.GetUsedSize()));
  EXPECT_EQ(Blocks(loaded), Blocks(log));
  for (int script = 0; script < 5; ++script)
    for (int m = 1; m < 300; ++m) ASSERT_EQ(loaded.IsRead(Key(script, m)), (m - 1) % (1 + script) == 0);
}
