#include "core/vxstrlist.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <vector>

#include "core/vxstream.h"
#include "support/tempdir.h"

namespace {

std::vector<std::string> Lines(const VXStringList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.GetCount(); ++i) out.emplace_back(list.GetString(i).c_str());
  return out;
}

std::string Saved(const VXStringList& list) {
  VXMemoryStream stream;
  EXPECT_TRUE(list.SaveToStream(&stream));
  return std::string(reinterpret_cast<const char*>(stream.GetMemory()), stream.GetSize());
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(VXStringList, SetTextAcceptsEveryLineEnd) {
  const struct {
    const char* text;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"x", {"x"}},
      {"x\n", {"x"}},
      {"x\r\n", {"x"}},
      {"x\r", {"x"}},
      {"\n", {""}},
      {"x\r\n\r\ny", {"x", "", "y"}},
      {"x\n\ry", {"x", "", "y"}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"\x82\xa0\r\n\x82\xa2", {"\x82\xa0", "\x82\xa2"}},
  };
  for (const auto& c : cases) {
    VXStringList list;
    list.SetText(c.text);
    EXPECT_EQ(Lines(list), c.lines) << c.text;
  }
  VXStringList list;
  list.SetText(nullptr);
  EXPECT_EQ(list.GetCount(), 0);
  list.SetText("a\r\nb");
  EXPECT_STREQ(list.GetText(), "a\nb\n");
}

TEST(VXStringList, EditsKeepTheIndex) {
  VXStringList list;
  EXPECT_EQ(list.Add("one\n"), 1);  // an existing line feed is not doubled
  EXPECT_EQ(list.Add("two\nthree"), 3);
  EXPECT_EQ(list.Add(VXString("four\0five", 9)), 4);  // a NUL ends the text
  list.Insert(-3, "front");
  list.Insert(99, "back");
  list.Insert(2, "mid");
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"front", "one", "mid", "two", "three", "four", "back"}));
  list.Delete(0);
  list.Delete(5);
  list.Delete(-1);
  list.Delete(5);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"one", "mid", "two", "three", "four"}));
  int start = -1, length = -1;
  EXPECT_TRUE(list.GetStringPos(1, start, length));
  EXPECT_EQ(start, 4);
  EXPECT_EQ(length, 3);
  EXPECT_FALSE(list.GetStringPos(5, start, length));
  EXPECT_TRUE(list.GetString(-1).IsEmpty());
  EXPECT_TRUE(list.GetString(list.GetCount()).IsEmpty());

  list.AddStrings(&list);
  EXPECT_EQ(list.GetCount(), 10);
  EXPECT_EQ(list.GetString(9), VXString("four"));
  list.Clear();
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_STREQ(list.GetText(), "");
}

TEST(VXStringList, CarriageReturnsInAddedTextStay) {
  VXStringList list;
  list.Add("a\r");
  EXPECT_EQ(list.GetString(0), VXString("a\r"));
}

TEST(VXStringList, LoadsFromThePositionAndSavesWithCrLf) {
  const char text[] = "skip\nx\ny";
  VXMemoryStream stream(text, sizeof text - 1);
  stream.Seek(5, VXSeekBegin);
  VXStringList list;
  list.Add("old");
  list.LoadFromStream(&stream);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(Saved(list), "x\r\ny\r\n");

  VXMemoryStream nul("a\nb\0c\n", 6);
  list.LoadFromStream(&nul);
  EXPECT_EQ(Lines(list), (std::vector<std::string>{"a", "b"}));
  VXMemoryStream empty;
  list.LoadFromStream(&empty);
  EXPECT_EQ(list.GetCount(), 0);
}

TEST(VXStringList, FilesRoundTripAndAMissingFileChangesNothing) {
  TempDir dir;
  const VXString name = (dir.str() + "/List.txt").c_str();
  VXStringList list;
  list.SetText("a\nb");
  ASSERT_TRUE(list.SaveToFile(name));
  EXPECT_EQ(ReadFile(dir.str() + "/List.txt"), "a\r\nb\r\n");

  VXStringList other;
  other.LoadFromFile((dir.str() + "/LIST.TXT").c_str());
  EXPECT_EQ(Lines(other), (std::vector<std::string>{"a", "b"}));
  other.LoadFromFile((dir.str() + "/missing.txt").c_str());
  EXPECT_EQ(other.GetCount(), 2);
  // Saving leaves no temporary file behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}
