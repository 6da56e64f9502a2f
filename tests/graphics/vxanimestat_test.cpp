#include "graphics/vxanimestat.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "core/vxstd.h"
#include "core/vxstream.h"
#include "support/seeds.h"

namespace {

struct Frame {
  int action, pattern, wait;
};

// A table file, byte by byte.
std::vector<unsigned char> Table(std::initializer_list<int> groups, std::vector<Frame> frames, int patterns = 8,
                                 int version = 0x0100, int frameCount = -1) {
  std::vector<unsigned char> b(38);
  VXPutLE16(b.data(), static_cast<std::uint16_t>(version));
  VXPutLE16(b.data() + 2, static_cast<std::uint16_t>(patterns));
  VXPutLE16(b.data() + 4, static_cast<std::uint16_t>(frameCount < 0 ? frames.size() : frameCount));
  int g = 0;
  for (int n : groups) VXPutLE16(b.data() + 6 + 2 * g++, static_cast<std::uint16_t>(n));
  for (const Frame& f : frames) {
    b.push_back(static_cast<unsigned char>(f.action));
    b.push_back(static_cast<unsigned char>(f.pattern));
    b.push_back(static_cast<unsigned char>(f.wait));
    b.push_back(static_cast<unsigned char>(f.wait >> 8));
  }
  return b;
}

bool Load(VXAnimeData& d, const std::vector<unsigned char>& bytes) {
  static int count = 0;
  SaveSeed("animestat_fuzz",
           (std::string(testing::UnitTest::GetInstance()->current_test_info()->name()) + "_" + std::to_string(count++))
               .c_str(),
           std::string(bytes.begin(), bytes.end()));
  VXMemoryStream s;
  s.Write(bytes.data(), static_cast<int>(bytes.size()));
  return d.Load(&s);
}

struct Player {
  VXAnimeData data;
  VXAnimeStat stat;
  explicit Player(const std::vector<unsigned char>& bytes) {
    EXPECT_TRUE(Load(data, bytes));
    stat.SetAnimeData(&data);
    stat.InitStat();
  }
};

}  // namespace

TEST(VXAnimeData, LoadsAndRefuses) {
  VXAnimeData d;
  EXPECT_TRUE(Load(d, Table({}, {})));  // no frames at all
  EXPECT_EQ(d.GetAnimeCount(0), 0);
  EXPECT_EQ(d.GetAnimeFrame(0, 0), nullptr);

  ASSERT_TRUE(Load(d, Table({2, 0, 1}, {{1, 4, 0x1234}, {0, 5, 0}, {3, 6, 7}}, 9)));
  EXPECT_EQ(d.GetPatCount(), 9);
  EXPECT_EQ(d.GetAnimeCount(2), 1);
  ASSERT_NE(d.GetAnimeFrame(2, 0), nullptr);
  EXPECT_EQ(d.GetAnimeFrame(2, 0)->pattern, 6);
  EXPECT_EQ(d.GetAnimeFrame(0, 0)->wait, 0x1234);
  EXPECT_EQ(d.GetAnimeFrame(0, 2), nullptr);
  EXPECT_EQ(d.GetAnimeFrame(16, 0), nullptr);
  EXPECT_EQ(d.GetAnimeCount(-1), 0);

  struct Case {
    const char* why;
    std::vector<unsigned char> bytes;
  };
  auto longer = Table({1}, {{0, 0, 0}});
  longer.push_back(0);
  auto shorter = Table({1}, {{0, 0, 0}});
  shorter.pop_back();
  std::vector<Frame> many(257, {1, 0, 1});
  const Case bad[] = {
      {"wrong version", Table({}, {}, 8, 0x0101)},
      {"one byte too many", longer},
      {"one byte short", shorter},
      {"header cut", std::vector<unsigned char>(37)},
      {"groups claim more frames than held", Table({2, 2}, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}})},
      {"group over 256 frames", Table({257}, many)},
      {"sums past the 16-bit count", Table({256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256, 256,
                                            256, 256},
                                           {{0, 0, 0}})},
  };
  for (const Case& c : bad) {
    EXPECT_FALSE(Load(d, c.bytes)) << c.why;
    EXPECT_FALSE(d.IsEnable()) << c.why;
  }
  EXPECT_FALSE(d.Load(nullptr));
}

TEST(VXAnimeStat, StepsThroughFrames) {
  Player p(Table({3}, {{1, 0, 5}, {1, 1, 5}, {3, 2, 5}}));
  EXPECT_EQ(p.stat.GetPattern(), 0);
  EXPECT_TRUE(p.stat.CallFrame(5));
  EXPECT_EQ(p.stat.GetPattern(), 1);
  EXPECT_TRUE(p.stat.CallFrame(10));  // two steps in one call: to 2, then back to 0
  EXPECT_EQ(p.stat.GetPattern(), 0);
  p.stat.SetPause(true);
  EXPECT_FALSE(p.stat.CallFrame(100));
  EXPECT_EQ(p.stat.GetPattern(), 0);
}

TEST(VXAnimeStat, ActionsAtTheEdges) {
  // Group 0: next-group; group 1: an unknown action, which holds; group 15: next-group past the last.
  std::vector<Frame> frames = {{4, 1, 2}, {9, 2, 1}, {1, 3, 1}, {4, 4, 1}};
  Player p(Table({1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, frames));
  p.stat.CallFrame(2);
  EXPECT_EQ(p.stat.GetGroup(), 1);
  EXPECT_EQ(p.stat.GetPattern(), 2);
  for (int i = 0; i < 5; ++i) p.stat.CallFrame(1);
  EXPECT_EQ(p.stat.GetPattern(), 2);  // held, never reaching frame 1
  EXPECT_FALSE(p.stat.CallFrame(50));

  p.stat.StartGroup(15);
  EXPECT_EQ(p.stat.GetPattern(), 4);
  p.stat.CallFrame(10);
  EXPECT_EQ(p.stat.GetGroup(), 15);  // no group after the last: held
  EXPECT_FALSE(p.stat.StartGroup(16));
  EXPECT_FALSE(p.stat.StartGroup(-1));
}

TEST(VXAnimeStat, RandomWaits) {
  // A random wait of 0 is no wait (one step a call); a random wait of 30 lies in 0 .. 29.
  Player zero(Table({3}, {{2, 0, 0}, {2, 1, 0}, {0, 2, 0}}));
  EXPECT_TRUE(zero.stat.CallFrame(0));
  EXPECT_EQ(zero.stat.GetPattern(), 1);
  EXPECT_TRUE(zero.stat.CallFrame(0));
  EXPECT_EQ(zero.stat.GetPattern(), 2);

  for (int run = 0; run < 20; ++run) {
    Player p(Table({2}, {{2, 0, 30}, {0, 1, 0}}));
    int ticks = 0;
    while (p.stat.GetPattern() == 0 && ticks < 40) {
      p.stat.CallFrame(1);
      ++ticks;
    }
    EXPECT_LE(ticks, 30);
    EXPECT_EQ(p.stat.GetPattern(), 1);
  }
}

// The once flag marks a run that is still going: it is cleared when the run comes to hold, and when it loops
// back (action 3) or moves on to the next group (action 4). The modified flag stays set once the pattern changed.
TEST(VXAnimeStat, OnceFlagEndsWithTheRun) {
  struct Case {
    const char* why;
    std::vector<Frame> frames;
    bool twoGroups;  // one frame in each of groups 0 and 1, else all frames in group 0
    int ticks;
    bool onceAfter;
  };
  const Case cases[] = {
      {"still running", {{1, 0, 5}, {1, 1, 5}, {0, 2, 0}}, false, 4, true},
      {"came to hold", {{1, 0, 5}, {1, 1, 5}, {0, 2, 0}}, false, 10, false},
      // The last frame of action 1 turns into a hold that still runs its wait once more before it is held.
      {"last frame of action 1, its wait not yet over", {{1, 0, 5}, {1, 1, 5}}, false, 10, true},
      {"last frame of action 1 held", {{1, 0, 5}, {1, 1, 5}}, false, 15, false},
      {"looped back", {{1, 0, 5}, {3, 1, 5}}, false, 10, false},
      {"next group", {{4, 0, 5}, {1, 1, 5}}, true, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    const int n = static_cast<int>(c.frames.size());
    Player p(c.twoGroups ? Table({1, 1}, c.frames) : Table({n}, c.frames));
    p.stat.SetOnceFlag();
    EXPECT_TRUE(p.stat.CheckOnceFlag());
    p.stat.CallFrame(c.ticks);
    EXPECT_EQ(p.stat.CheckOnceFlag(), c.onceAfter);
    EXPECT_TRUE(p.stat.CheckModified());
  }
}
