#include "core/vxcsvread.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "core/vxstream.h"

namespace {

// Reads a table from text.
bool Load(VXCsvRead& csv, const std::string& text) {
  VXMemoryStream stream(text.data(), static_cast<int>(text.size()));
  return csv.Read(&stream);
}

std::string Text(const VXCsvRead& csv, int x, int y) { return csv.GetVXString(x, y).c_str(); }

}  // namespace

TEST(VXCsvRead, ReadsOnlyMarkedColumnsAndRows) {
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv,
                   "x,#a,memo,#b,!,#c\r\n"
                   "note,1,2,3\n"
                   "\n"
                   "#,1,abc,2,9,9\r"
                   "#,\"-7\",skip, 12x\r\n"
                   "!\n"
                   "#,5,5,5\n"));
  EXPECT_EQ(csv.GetSizeX(), 2);
  EXPECT_EQ(csv.GetSizeY(), 2);
  EXPECT_EQ(csv.GetValue(0, 0), 1);
  EXPECT_EQ(csv.GetValue(1, 0), 2);
  EXPECT_EQ(csv.GetValue(0, 1), -7);
  EXPECT_EQ(csv.GetValue(1, 1), 12);
  EXPECT_EQ(Text(csv, 1, 1), " 12x");
  for (auto [x, y] : {std::pair{-1, 0}, {2, 0}, {0, 2}, {0, -1}}) {
    EXPECT_EQ(csv.GetValue(x, y), 0);
    EXPECT_EQ(Text(csv, x, y), "");
  }
}

TEST(VXCsvRead, QuotedMarkersAndCells) {
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv,
                   "x,\"#b\",#c,#d\n"
                   "\"#\",\"a,b\",\"a\"\"b\",\x81,\n"));
  EXPECT_EQ(csv.GetSizeX(), 3);
  EXPECT_EQ(csv.GetSizeY(), 1);
  EXPECT_EQ(Text(csv, 0, 0), "a,b");
  EXPECT_EQ(Text(csv, 1, 0), "a\"\"b");  // inner quotes stay
  EXPECT_EQ(Text(csv, 2, 0), "\x81,");  // a lead byte takes the comma after it
}

TEST(VXCsvRead, CellOperations) {
  const VXString line = "ab,\"c,d\",,\x82\xa0\",e,";
  const struct {
    int position;
    int next;
    const char* cell;
  } cases[] = {
      {1, 4, "ab"}, {4, 10, "c,d"}, {10, 11, ""}, {11, 0, "\x82\xa0\",e,"}, {0, 0, ""}, {99, 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(VXCsvRead::NextCell(line, c.position), c.next) << c.position;
    EXPECT_STREQ(VXCsvRead::CutCell(line, c.position).c_str(), c.cell) << c.position;
  }
  // A comma inside a quoted run that reaches the line's end belongs to the cell; a separating one does not.
  EXPECT_STREQ(VXCsvRead::CutCell("a,b,", 3).c_str(), "b");
  EXPECT_STREQ(VXCsvRead::CutCell("\"", 1).c_str(), "\"");
  EXPECT_STREQ(VXCsvRead::CutCell("\"\"", 1).c_str(), "");
}

TEST(VXCsvRead, ShortRowsLeaveCellsMissing) {
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv, "x,#a,#b,#c\n#,1\n"));
  char buffer[8];
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_FALSE(csv.GetText(1, 0, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(csv.GetValue(2, 0), 0);
  EXPECT_EQ(Text(csv, 1, 0), "");
}

TEST(VXCsvRead, GetTextAlwaysTerminatesTheBuffer) {
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv, "x,#a,#b\n#,abcdef,\x82\xa0\x82\xa2\n"));
  const struct {
    int x;
    int size;
    const char* text;
  } cases[] = {
      {0, 10, "abcdef"}, {0, 7, "abcdef"}, {0, 6, "abcde"}, {0, 1, ""},
      {1, 4, "\x82\xa0"},  // a double-byte character is never cut in half
      {1, 5, "\x82\xa0\x82\xa2"},
  };
  for (const auto& c : cases) {
    char buffer[16];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_TRUE(csv.GetText(c.x, 0, buffer, c.size));
    EXPECT_STREQ(buffer, c.text) << c.size;
    EXPECT_EQ(buffer[c.size - 1], '\0');
    EXPECT_EQ(buffer[c.size], 'z');  // nothing written past the given size
  }
  EXPECT_FALSE(csv.GetText(0, 0, nullptr, 4));
  char one = 'z';
  EXPECT_FALSE(csv.GetText(0, 0, &one, 0));
  EXPECT_EQ(one, 'z');
}

TEST(VXCsvRead, SequentialReadingStaysInItsRow) {
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv, "x,#a,#b\n#,1,2\n#,3,4\n#,5,6\n"));
  csv.SetPos(0, 2);
  EXPECT_EQ(csv.GetValue(), 5);
  EXPECT_EQ(std::string(csv.GetVXString().c_str()), "6");
  char buffer[4];
  EXPECT_FALSE(csv.GetText(buffer, sizeof buffer));  // (2, 2) is past the row; row 3 does not exist
  csv.SetPos(1, 0);
  EXPECT_EQ(csv.GetValue(), 2);
}

TEST(VXCsvRead, TablesWithoutDataFail) {
  const struct {
    const char* text;
    int sizeX;
  } cases[] = {
      {"x,#a,#b\n", 0},             // one line
      {"", 0},                      //
      {"x\n#,1\n", 0},              // no cell after the corner
      {"x,a,!,#b\n#,1\n", 0},       // no data column before the end marker
      {"x,#a,#b\nnote\n!\n#,1\n", 2},  // no data row before the end marker
  };
  for (const auto& c : cases) {
    VXCsvRead csv;
    EXPECT_FALSE(Load(csv, c.text)) << c.text;
    EXPECT_EQ(csv.GetSizeX(), c.sizeX) << c.text;
    EXPECT_EQ(csv.GetSizeY(), 0) << c.text;
    EXPECT_EQ(csv.GetValue(0, 0), 0);
  }
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv, "x,#a\n#,1\n"));
  EXPECT_FALSE(Load(csv, "x,#a\n"));  // a failed read forgets the previous table
  EXPECT_EQ(Text(csv, 0, 0), "");
  EXPECT_FALSE(csv.Read(nullptr));
}

TEST(VXCsvRead, NumbersBeyond32BitsAreClamped) {
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv, "x,#a,#b,#c,#d\n#,99999999999,-99999999999,\t+42,-\n"));
  EXPECT_EQ(csv.GetValue(0, 0), INT_MAX);
  EXPECT_EQ(csv.GetValue(1, 0), INT_MIN);
  EXPECT_EQ(csv.GetValue(2, 0), 42);
  EXPECT_EQ(csv.GetValue(3, 0), 0);
}

// A wide header over many short rows: the grid holds only the cells that are there, not columns x rows.
TEST(VXCsvRead, WideHeaderOverManyShortRowsStaysSmall) {
  constexpr int kSide = 50000;
  std::string text = "x";
  for (int i = 0; i < kSide; ++i) text += ",#";
  text += "\n#,7\n";
  for (int i = 1; i < kSide; ++i) text += "#\n";
  VXCsvRead csv;
  ASSERT_TRUE(Load(csv, text));
  EXPECT_EQ(csv.GetSizeX(), kSide);
  EXPECT_EQ(csv.GetSizeY(), kSide);
  EXPECT_EQ(csv.GetValue(0, 0), 7);
  EXPECT_EQ(csv.GetValue(kSide - 1, kSide - 1), 0);
}
