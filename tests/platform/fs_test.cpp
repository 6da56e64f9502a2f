#include "platform/fs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/filesizelimit.h"
#include "support/tempdir.h"

using namespace platform::fs;

TEST(Fs, FindsNamesWithoutRegardToCaseAndSeparator) {
  TempDir dir;
  dir.Write("song/qm01/Song.ID", "x");
  const std::string root = dir.str();
  const std::string expected = root + "/song/qm01/Song.ID";
  for (const char* name : {"\\Song\\QM01\\SONG.ID", "/song/qm01/song.id", "\\SONG/Qm01\\Song.Id"})
    EXPECT_EQ(ToHostPath(root + name), expected) << name;
  EXPECT_EQ(ToHostPath(u"" + std::u16string(root.begin(), root.end()) + u"\\SONG\\QM01\\SONG.ID"), expected);
  // Missing components keep their case, so that a new file lands where asked.
  EXPECT_EQ(ToHostPath(root + "\\SONG\\New\\File.TXT"), root + "/song/New/File.TXT");
}

TEST(Fs, SeesFilesMadeAfterAScan) {
  TempDir dir;
  dir.Write("a/One.txt", "1");
  EXPECT_EQ(ToHostPath(dir.str() + "\\A\\ONE.TXT"), dir.str() + "/a/One.txt");
  dir.Write("a/Two.txt", "2");
  EXPECT_EQ(ToHostPath(dir.str() + "\\A\\TWO.TXT"), dir.str() + "/a/Two.txt");
}

TEST(Fs, Cp932NamesBecomeUtf8) {
  TempDir dir;
  dir.Write("\u30c7\u30fc\u30bf/x.bin", "x");  // katakana "data"
  EXPECT_EQ(ToHostPath(dir.str() + "\\\x83\x66\x81\x5b\x83\x5e\\X.BIN"), dir.str() + "/\u30c7\u30fc\u30bf/x.bin");
  EXPECT_EQ(ToWindowsName("/a/\u30c7b"), "\\a\\\x83\x66" "b");
}

TEST(Fs, DataNamesMayNotClimbOut) {
  struct Case {
    const char* name;
    bool safe;
  } cases[] = {
      {"Song\\QM01\\SONG.ID", true}, {"a/b", true},  {"..\\x", false},  {"a\\..\\..\\x", false},
      {"\\etc\\passwd", false},      {"/etc", false}, {"C:\\x", false}, {"c:x", false},
      {"", false},                   {"a..b", true},
      // The second byte of these characters is 0x5C: it splits nothing, so no ".." component follows it.
      {"\x95\x5c..\\x.txt", true},  {"\x83\x5c..", true}, {"\x94\x5c\\..\\..\\x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsSafeDataName(c.name), c.safe) << c.name;
}

TEST(Fs, ListsSortedByUpperCasedName) {
  TempDir dir;
  for (const char* n : {"b.txt", "A.txt", "c.TXT", "_x"}) dir.Write(n, "12");
  std::filesystem::create_directory(dir.path() / "Dir");
  std::vector<std::string> names;
  for (const Entry& e : ListFolder(dir.str())) names.push_back(e.name + (e.isFolder ? "/" : ""));
  EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "b.txt", "c.TXT", "Dir/", "_x"}));
  EXPECT_TRUE(ListFolder(dir.str() + "/missing").empty());
}

TEST(Fs, ListingKeysKeepDoubleByteCharactersWhole) {
  // "ツ" is 83 63 in CP932 and "ウ" 83 45: upper-casing the trail byte 0x63 as a letter would put "ツ" first.
  TempDir dir;
  for (const char* n : {"\u30c4.txt", "\u30a6.txt"}) dir.Write(n, "");
  std::vector<std::string> names;
  for (const Entry& e : ListFolder(dir.str())) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"\u30a6.txt", "\u30c4.txt"}));
}

namespace {

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t EntryCount(const std::filesystem::path& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

}  // namespace

TEST(Fs, ReplaceFileSwapsTheWholeFile) {
  TempDir dir;
  const std::string path = dir.Write("Save.dat", "old contents");
  std::filesystem::permissions(path, std::filesystem::perms(0600));
  EXPECT_EQ(ReplaceFile(path, "new"), ReplaceResult::Done);
  EXPECT_EQ(Contents(path), "new");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0600));
  EXPECT_EQ(ReplaceFile(dir.str() + "/Fresh.dat", ""), ReplaceResult::Done);
  EXPECT_EQ(Contents(dir.str() + "/Fresh.dat"), "");
  EXPECT_EQ(ReplaceFile(dir.str() + "/no/such/folder/File.dat", "x"), ReplaceResult::CannotCreate);
  EXPECT_EQ(EntryCount(dir.path()), 2u);
}

TEST(Fs, AFailedReplaceKeepsTheOldFile) {
  TempDir dir;
  const std::string path = dir.Write("Save.dat", "old contents");
  // A real write failure: the file-size limit makes the kernel refuse the bytes past it.
  ScopedFileSizeLimit limit(4096);
  EXPECT_EQ(ReplaceFile(path, std::string(100000, 'x')), ReplaceResult::WriteFailed);
  EXPECT_EQ(Contents(path), "old contents");
  EXPECT_EQ(EntryCount(dir.path()), 1u);  // the temporary file is gone
}
