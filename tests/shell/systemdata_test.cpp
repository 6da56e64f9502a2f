#include "shell/systemdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/recordbytes.h"

namespace {

TSongID Id(const char* text) { return {text[0], text[1], text[2], text[3]}; }

std::string Text(const VXString& s) { return {s.c_str(), static_cast<std::size_t>(s.Length())}; }

constexpr std::size_t kResults = 1092;
std::size_t ResultAt(int level, int slot) { return kResults + 4096 * level + 16 * slot; }

// A fresh record as it lies in the file: zero, with four blanks in every result's name.
std::vector<std::uint8_t> FreshImage() {
  std::vector<std::uint8_t> image(13480);
  for (int level = 0; level < 3; ++level)
    for (int slot = 0; slot < 256; ++slot) PokeText(image.data(), ResultAt(level, slot) + 12, "    ");
  return image;
}

std::vector<std::string> UsedIds(const TSystemData& data) {
  std::vector<std::string> ids;
  for (int slot = 0; slot < 256 && data.GetSongId(slot)[0] != 0; ++slot)
    ids.emplace_back(data.GetSongId(slot).data(), 4);
  return ids;
}

}  // namespace

TEST(SystemData, FreshAndFilledRecordsLieAtTheirOffsets) {
  auto data = std::make_unique<TSystemData>();
  std::vector<std::uint8_t> image = FreshImage();
  ASSERT_EQ(FirstDifference(BytesOf(*data), image), -1);

  data->SetFlag(0, true);
  data->SetFlag(9, true);
  data->SetFlag(63, true);
  image[0] = 0x01, image[1] = 0x02, image[7] = 0x80;
  data->SetVar(0, 0x01020304);
  data->SetVar(7, -2);
  Poke32(image.data(), 8, 0x01020304);
  Poke32(image.data(), 36, 0xFFFFFFFE);
  data->SetEventSeen(0);
  data->SetEventSeen(199);
  image[40] = 0x01, image[64] = 0x80;

  // Two songs: QE01 is inserted first, QM03 sorts before it and takes slot 0.
  data->SetResult(2, 777, "xy", 5, Id("QE01"), 0x100);
  data->SetResult(1, 12345, "ABCD", 0xCAFEBABE, Id("QM03"), 0x11223344);
  PokeText(image.data(), 65, "QM03QE01");
  Poke32(image.data(), ResultAt(1, 0), 12345);
  Poke32(image.data(), ResultAt(1, 0) + 4, 0x11223344);
  Poke32(image.data(), ResultAt(1, 0) + 8, 0xCAFEBABE ^ 0x11223344);
  PokeText(image.data(), ResultAt(1, 0) + 12, "ABCD");
  Poke32(image.data(), ResultAt(2, 1), 777);
  Poke32(image.data(), ResultAt(2, 1) + 4, 0x100);
  Poke32(image.data(), ResultAt(2, 1) + 8, 5 ^ 0x100);
  PokeBytes(image.data(), ResultAt(2, 1) + 12, "xy\0\0", 4);

  data->SetRankingUserId("player");
  PokeBytes(image.data(), 13380, "player", 7);
  data->EnableSong(1);
  data->EnableSong(32);
  image[13445] = 1, image[13476] = 1;

  EXPECT_EQ(FirstDifference(BytesOf(*data), image), -1);
}

TEST(SystemData, OutOfRangeSettersChangeNothing) {
  const std::vector<std::pair<const char*, std::function<void(TSystemData&)>>> cases = {
      {"flag -1", [](TSystemData& d) { d.SetFlag(-1, true); }},
      {"flag 64", [](TSystemData& d) { d.SetFlag(64, true); }},
      {"var -1", [](TSystemData& d) { d.SetVar(-1, 5); }},
      {"var 8", [](TSystemData& d) { d.SetVar(8, 5); }},
      {"seen -1", [](TSystemData& d) { d.SetEventSeen(-1); }},
      {"seen 200", [](TSystemData& d) { d.SetEventSeen(200); }},
      {"song 0", [](TSystemData& d) { d.EnableSong(0); }},
      {"song 33", [](TSystemData& d) { d.EnableSong(33); }},
      {"level 3", [](TSystemData& d) { d.SetResult(3, 1, "A", 1, Id("QM01"), 1); }},
      {"level -1", [](TSystemData& d) { d.SetResult(-1, 1, "A", 1, Id("QM01"), 1); }},
      {"empty user ID", [](TSystemData& d) { d.SetRankingUserId(""); }},
      // A first byte of 0 looks like a free slot: storing such an ID would leave stray bytes in a free slot.
      {"id starting with 0", [](TSystemData& d) { d.SetResult(0, 1, "A", 1, {0, 'M', '0', '1'}, 1); }},
      {"insert id starting with 0", [](TSystemData& d) { EXPECT_EQ(d.FindSong(true, {0, 'Q', 'M', '1'}), -1); }},
  };
  const std::vector<std::uint8_t> fresh = FreshImage();
  for (const auto& [name, change] : cases) {
    auto data = std::make_unique<TSystemData>();
    change(*data);
    EXPECT_EQ(FirstDifference(BytesOf(*data), fresh), -1) << name;
  }
}

TEST(SystemData, GettersGiveNeutralValuesOutOfRange) {
  TSystemData data;
  data.SetResult(0, 50, "NAME", 9, Id("QM01"), 1);
  EXPECT_FALSE(data.GetFlag(64));
  EXPECT_FALSE(data.GetFlag(-1));
  EXPECT_EQ(data.GetVar(8), 0);
  EXPECT_FALSE(data.GetEventSeen(200));
  EXPECT_FALSE(data.IsSongEnabled(0));
  EXPECT_FALSE(data.IsSongEnabled(33));
  EXPECT_EQ(data.GetScore(3, Id("QM01")), 0);
  EXPECT_EQ(data.GetScore(0, Id("QM02")), 0);
  EXPECT_EQ(data.GetCheckValue(0, Id("QM02")), 0xFFFFFFFFu);
  EXPECT_EQ(data.GetCheckValue(-1, Id("QM01")), 0xFFFFFFFFu);
  EXPECT_EQ(Text(data.GetRankName(0, Id("QM02"))), "");
  EXPECT_EQ(data.GetSongId(256), TSongID{});
  EXPECT_EQ(data.GetSongId(-1), TSongID{});
  EXPECT_EQ(data.GetSongId(1), TSongID{});
  EXPECT_FALSE(data.HasSong(TSongID{}));
}

TEST(SystemData, CompareSongIdOrdersBySeriesThenBytes) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {"QM02", "QM10", -1},  // digits as bytes
      {"QM32", "QE01", -1},  // the story series first
      {"QH99", "AA00", -1},  // a code outside the table sorts last
      {"ZZ01", "AA01", 1},   // two unknown codes: bytes
      {"QM05", "QM05", 0},
      {"qm01", "QM01", 1},  // codes are case-sensitive
  };
  for (const Case& c : cases) {
    const int result = CompareSongId(c.a, c.b);
    EXPECT_EQ((result > 0) - (result < 0), c.sign) << c.a << " " << c.b;
  }
}

TEST(SystemData, SongsStaySortedAndResultsMoveWithThem) {
  TSystemData data;
  const char* order[] = {"QM10", "ZZ01", "QM02", "QE05", "QM01", "QX00", "QE05"};
  for (int i = 0; i < 7; ++i) data.SetResult(0, 100 + i, "NAME", 1000 + i, Id(order[i]), 1 + i);
  EXPECT_EQ(UsedIds(data), (std::vector<std::string>{"QM01", "QM02", "QM10", "QE05", "QX00", "ZZ01"}));
  const std::pair<const char*, int> best[] = {{"QM10", 100}, {"ZZ01", 101}, {"QM02", 102},
                                              {"QE05", 106}, {"QM01", 104}, {"QX00", 105}};
  for (const auto& [id, score] : best) {
    EXPECT_EQ(data.GetScore(0, Id(id)), score) << id;
    EXPECT_EQ(data.GetCheckValue(0, Id(id)), static_cast<std::uint32_t>(900 + score)) << id;
    EXPECT_EQ(data.GetScore(1, Id(id)), 0) << id;
    EXPECT_EQ(Text(data.GetRankName(1, Id(id))), "    ") << id;  // never named
  }
  EXPECT_EQ(data.FindSong(false, Id("QM02")), 1);
  EXPECT_EQ(data.FindSong(true, Id("QM03")), 2);
  EXPECT_EQ(data.FindSong(false, Id("QM10")), 3);
}

TEST(SystemData, AFullTableTakesNoMoreSongs) {
  auto data = std::make_unique<TSystemData>();
  for (int i = 0; i < 256; ++i) {
    const TSongID id = {'A', static_cast<char>('A' + i / 100), static_cast<char>('0' + i / 10 % 10),
                        static_cast<char>('0' + i % 10)};
    ASSERT_GE(data->FindSong(true, id), 0) << i;
  }
  const std::vector<std::uint8_t> full = BytesOf(*data);
  EXPECT_EQ(data->FindSong(true, Id("QM01")), -1);
  data->SetResult(0, 5, "X", 1, Id("QM01"), 1);
  EXPECT_EQ(FirstDifference(BytesOf(*data), full), -1);
  EXPECT_FALSE(data->HasSong(Id("QM01")));
}

TEST(SystemData, StampsAndNames) {
  TSystemData data;
  data.SetResult(0, 10, "AB", 0x12345678, Id("QM01"), 0);  // a tick count of 0 is stored as 1
  EXPECT_EQ(data.GetCheckValue(0, Id("QM01")), 0x12345678u);
  std::uint32_t stamp = 0;
  std::memcpy(&stamp, BytesOf(data).data() + ResultAt(0, 0) + 4, 4);
  EXPECT_EQ(stamp, 1u);
  EXPECT_EQ(Text(data.GetRankName(0, Id("QM01"))), "AB");

  // A full name has no terminator in the record; the next result's bytes must not run into it.
  data.SetResult(0, 0x41414141, "WXYZ", 0, Id("QM01"), 7);
  data.SetResult(0, 0x42424242, "    ", 0, Id("QM02"), 7);
  EXPECT_EQ(Text(data.GetRankName(0, Id("QM01"))), "WXYZ");
  data.SetResult(2, 1, nullptr, 3, Id("QM01"), 7);
  EXPECT_EQ(Text(data.GetRankName(2, Id("QM01"))), "");
  EXPECT_EQ(data.GetCheckValue(2, Id("QM01")), 3u);

  data.SetResult(1, 4, "PLAY", 99, Id("QM02"));  // at the real tick count
  EXPECT_EQ(data.GetCheckValue(1, Id("QM02")), 99u);
}

TEST(SystemData, RankingUserIdIsCutOnACharacterBoundary) {
  struct Case {
    const char* name;
    std::string id;
    std::string stored;
  };
  const std::string a64(64, 'a');
  const std::string kanji = "\x88\x9F";  // one double-byte character
  const Case cases[] = {
      {"70 ASCII characters", std::string(70, 'x'), std::string(64, 'x')},
      {"exactly 64 bytes", a64, a64},
      {"a character on bytes 64 and 65", std::string(63, 'b') + kanji + "c", std::string(63, 'b')},
      {"a character on bytes 63 and 64", std::string(62, 'b') + kanji + "cd", std::string(62, 'b') + kanji},
      {"byte 64 a trail byte of lead-byte value", std::string(62, 'b') + "\x88\x88" + "cd",
       std::string(62, 'b') + "\x88\x88"},
  };
  for (const Case& c : cases) {
    TSystemData data;
    data.SetRankingUserId(VXString(c.id.data(), static_cast<unsigned int>(c.id.size())));
    EXPECT_EQ(Text(data.GetRankingUserId()), c.stored) << c.name;
  }

  TSystemData data;
  data.SetRankingUserId(VXString(a64.c_str()));
  data.SetRankingUserId("abc");
  EXPECT_EQ(Text(data.GetRankingUserId()), "abc");
  EXPECT_EQ(BytesOf(data)[13380 + 4], 'a');  // bytes behind the terminator keep their values
  data.SetRankingUserId("");
  EXPECT_EQ(Text(data.GetRankingUserId()), "abc");
}

TEST(SystemData, CraftedRecordsStayInside) {
  // An ID field of 65 bytes without a terminator gives at most 64.
  TSystemData data;
  PokeText(&data, 13380, std::string(65, 'u'));
  EXPECT_EQ(Text(data.GetRankingUserId()), std::string(64, 'u'));

  // An unsorted run and a used slot behind a free one: the run from slot 0 is the table, sorted again by the next
  // insert, which fills the gap and so joins the slot behind it.
  TSystemData crafted;
  PokeText(&crafted, 65, "QM09QM03QE01");
  PokeText(&crafted, 65 + 4 * 4, "QM01");  // slot 4, behind the free slot 3
  EXPECT_EQ(crafted.FindSong(false, Id("QM01")), -1);
  EXPECT_EQ(crafted.FindSong(false, Id("QM03")), 1);
  EXPECT_EQ(crafted.FindSong(true, Id("QM05")), 2);
  EXPECT_EQ(UsedIds(crafted), (std::vector<std::string>{"QM01", "QM03", "QM05", "QM09", "QE01"}));
}
