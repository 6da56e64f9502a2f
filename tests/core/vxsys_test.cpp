#include "core/vxsys.h"

#include <gtest/gtest.h>

#include "core/widefile.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/tempdir.h"

namespace {

VXWideStr W(const char* s) {
  std::u16string w = platform::text::Cp932ToUtf16(s);
  return VXWideStr(w.c_str());
}

std::string N(const VXWideStr& s) {
  return platform::text::Utf16ToCp932Lossy(std::u16string(s.c_wstr(), s.Length()));
}

// Shift-JIS characters whose second byte is a backslash: "ソ" and "表".
const std::string kSo = "\x83\x5c";
const std::string kHyo = "\x95\x5c";

struct Case2 {
  std::string a, b, expected;
};

// Runs a two-argument path function in both forms over a table.
template <class FA, class FW>
void Check(const char* what, FA fa, FW fw, const std::vector<Case2>& cases) {
  for (const Case2& c : cases) {
    EXPECT_EQ(std::string(fa(VXString(c.a.c_str()), VXString(c.b.c_str())).c_str()), c.expected)
        << what << "A(" << c.a << ", " << c.b << ")";
    EXPECT_EQ(N(fw(W(c.a.c_str()), W(c.b.c_str()))), c.expected) << what << "W(" << c.a << ", " << c.b << ")";
  }
}

template <class FA, class FW>
void Check1(const char* what, FA fa, FW fw, const std::vector<std::pair<std::string, std::string>>& cases) {
  for (const auto& [in, expected] : cases) {
    EXPECT_EQ(std::string(fa(VXString(in.c_str())).c_str()), expected) << what << "A(" << in << ")";
    // The wide form knows no double-byte characters: compare only texts without them.
    if (in.find('\x83') == std::string::npos) {
      EXPECT_EQ(N(fw(W(in.c_str()))), expected) << what << "W(" << in << ")";
    }
  }
}

}  // namespace

TEST(Paths, Extract) {
  Check1("ExtractFilePath", VXExtractFilePathA, VXExtractFilePathW,
         {{"E:\\Game\\a.txt", "E:\\Game\\"}, {"a.txt", ""}, {"E:a", "E:"}, {"\\root", "\\"}});
  Check1("ExtractFileDir", VXExtractFileDirA, VXExtractFileDirW,
         {{"E:\\", "E:\\"},
          {"E:\\Data\\", "E:\\Data"},
          {"E:\\Data\\x.bin", "E:\\Data"},
          {"E:\\" + kSo + "\\", "E:\\" + kSo},  // the trail byte 0x5C is no backslash
          {"E:\\a\\" + kHyo, "E:\\a"},
          {"E:\\" + kHyo, "E:\\"},
          {"\\\\x", "\\\\"},
          {"name", ""},
          {"\\work", "\\"}});
  Check1("ExtractFileDrive", VXExtractFileDriveA, VXExtractFileDriveW,
         {{"E:\\Game", "E:"}, {"\\\\server\\share\\dir\\f", "\\\\server\\share"}, {"\\\\server", "\\\\server"},
          {"Game\\x", ""}});
  Check1("ExtractFileName", VXExtractFileNameA, VXExtractFileNameW,
         {{"E:\\Game\\a.txt", "a.txt"}, {"a.txt", "a.txt"}, {"E:\\Game\\", ""}, {"E:x", "x"},
          {"E:\\" + kSo + ".txt", kSo + ".txt"}, {"E:\\a\\" + kHyo, kHyo}, {kSo + "ng\\" + kHyo + ".txt", kHyo + ".txt"}});
  Check1("ExtractFileExt", VXExtractFileExtA, VXExtractFileExtW,
         {{"a.b\\c", ""}, {"c.TXT", ".TXT"}, {"a.tar.gz", ".gz"}, {"noext", ""}, {"dir.d\\f.x", ".x"}});
}

TEST(Paths, ChangeExtAndRelative) {
  Check("ChangeFileExt", VXChangeFileExtA, VXChangeFileExtW,
        {{"a\\b.txt", ".png", "a\\b.png"}, {"a.b\\c", ".x", "a.b\\c.x"}, {"song", ".ogg", "song.ogg"}});
  Check("AbsToRelPath", VXAbsToRelPathA, VXAbsToRelPathW,
        {{"E:\\Game\\Data", "E:\\Game", "Data\\"},
         {"E:\\Game", "E:\\Game\\Data", "..\\"},
         {"D:\\x", "E:\\x", "D:\\x\\"},
         {"E:\\Game", "e:\\Game\\", ""},
         {"E:\\Game\\Save", "E:\\Game\\Data\\Sub", "..\\..\\Save\\"},
         {"\\work\\qorm\\data", "\\work\\qorm", "data\\"},
         {"rel\\x", "E:\\x", "rel\\x\\"},
         // A folder name whose double-byte character ends in 0x5C: that byte is no separator.
         {"E:\\" + kSo + "x", "E:\\" + kSo + "y", "..\\" + kSo + "x\\"},
         {"E:\\" + kSo + "\\a", "E:\\" + kSo + "\\b\\" + kSo, "..\\..\\a\\"},
         {"E:\\a\\" + kHyo, "E:\\a", kHyo + "\\"}});
  Check("AbsToRelDir", VXAbsToRelDirA, VXAbsToRelDirW,
        {{"E:\\Game\\Data", "E:\\Game", "Data"}, {"D:\\", "E:\\x", "D:\\"}, {"E:\\Game", "E:\\Game", ""},
         {"E:\\a\\" + kHyo, "E:\\a", kHyo}});
  Check("AbsToRelPathName", VXAbsToRelPathNameA, VXAbsToRelPathNameW,
        {{"E:\\Game\\Data\\a.png", "E:\\Game", "Data\\a.png"}});
  Check("RelToAbsPath", VXRelToAbsPathA, VXRelToAbsPathW,
        {{"..\\Save", "E:\\Game\\Data", "E:\\Game\\Save\\"},
         {"..\\..\\..\\x", "E:\\a", "..\\..\\..\\x\\"},
         {"..\\x", "E:\\a", "E:\\x\\"},
         {"Save", "E:\\Game", "E:\\Game\\Save\\"},
         {"", "E:\\Game", "E:\\Game\\"},
         {"Save", "", "Save\\"},
         {"D:\\abs", "E:\\Game", "D:\\abs\\"},
         {"..\\x", "\\work\\qorm", "\\work\\x\\"},
         {"..\\..\\x", "\\work\\qorm", "\\x\\"},
         {"..\\x", "E:\\a\\" + kSo, "E:\\a\\x\\"},
         {"..\\x", "E:\\" + kSo + "\\b", "E:\\" + kSo + "\\x\\"}});
  Check("RelToAbsDir", VXRelToAbsDirA, VXRelToAbsDirW,
        {{"..\\Save", "E:\\Game\\Data", "E:\\Game\\Save"}, {"..", "E:\\Game", "E:\\"}, {"", "", ""},
         {kHyo, "E:\\a", "E:\\a\\" + kHyo}, {"..\\" + kHyo, "E:\\a\\" + kSo, "E:\\a\\" + kHyo}});
  Check("RelToAbsPathName", VXRelToAbsPathNameA, VXRelToAbsPathNameW,
        {{"..\\Save\\s1.dat", "E:\\Game\\Data", "E:\\Game\\Save\\s1.dat"},
         {"a.png", "E:\\Game", "E:\\Game\\a.png"},
         {kSo + "ng\\" + kHyo + ".txt", "E:\\" + kHyo, "E:\\" + kHyo + "\\" + kSo + "ng\\" + kHyo + ".txt"}});
}

TEST(Paths, ColoursSwapRedAndBlue) {
  EXPECT_EQ(DWORD2COLORREF(0x12345678u), 0x00785634u);
  EXPECT_EQ(COLORREF2DWORD(0x00785634u), 0x00345678u);
}

TEST(Files, ExistenceFoldersAndTimes) {
  TempDir dir;
  dir.Write("Sub/File.txt", "x");
  const std::string root = platform::fs::ToWindowsName(dir.str());
  const std::string file = root + "\\SUB\\file.TXT", folder = root + "\\sub";
  EXPECT_TRUE(VXFileIsExistA(file.c_str()));
  EXPECT_FALSE(VXFolderIsExistA(file.c_str()));
  EXPECT_TRUE(VXFolderIsExistA(folder.c_str()));
  EXPECT_FALSE(VXFileIsExistA(folder.c_str()));
  EXPECT_FALSE(VXFileIsExistA((root + "\\none").c_str()));
  EXPECT_TRUE(VXFileIsExistW(W(file.c_str()).c_wstr()));
  EXPECT_TRUE(VXFolderIsExistW(W(folder.c_str()).c_wstr()));

  FILETIME t{};
  ASSERT_TRUE(GetFileWriteTimeW(W(file.c_str()).c_wstr(), &t));
  const std::uint64_t ticks = (std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
  EXPECT_GT(ticks, 11644473600ULL * 10000000ULL);  // after 1970
  EXPECT_FALSE(GetFileWriteTimeW(W((root + "\\none").c_str()).c_wstr(), &t));

  EXPECT_TRUE(CreateFolderTreeW(W((root + "\\a\\b\\c\\").c_str())));
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a/b/c"));
  EXPECT_TRUE(CreateFolderTreeW(W((root + "\\A\\B").c_str())));  // existing, found without regard to case
  EXPECT_FALSE(CreateFolderTreeW(VXWideStr()));
  EXPECT_FALSE(CreateFolderTreeW(W((root + "\\Sub\\File.txt\\x").c_str())));  // a file in the way
}

TEST(Process, FactsInTheGamesForm) {
  const char* argv[] = {"prog", "-WINDOW", "\xe3\x81\x82"};  // the last is hiragana a in UTF-8
  platform::process::SetCommandLine(3, argv);
  EXPECT_EQ(VXParamCount(), 2);
  EXPECT_STREQ(VXParamStrA(1).c_str(), "-WINDOW");
  EXPECT_STREQ(VXParamStrA(2).c_str(), "\x82\xa0");
  EXPECT_EQ(VXParamStrW(2).Length(), 1);
  EXPECT_TRUE(VXParamStrA(3).IsEmpty());
  EXPECT_TRUE(VXParamStrA(-1).IsEmpty());

  VXString exe = VXGetExePathA();
  EXPECT_EQ(exe[1], '\\');
  EXPECT_STREQ(VXExtractFileNameA(exe).c_str(), "core_vxsys_test");

  VXString here = VXGetCurrentDirA();
  TempDir dir;
  ASSERT_TRUE(VXSetCurrentDirA(VXString(platform::fs::ToWindowsName(dir.str()).c_str())));
  EXPECT_EQ(std::string(VXGetCurrentDirW().Length() > 0 ? "ok" : ""), "ok");
  EXPECT_FALSE(VXSetCurrentDirA(VXString()));
  ASSERT_TRUE(VXSetCurrentDirA(here));
  EXPECT_GT(VXTotalPhysicalMemory(), 0u);
  EXPECT_FALSE(VXFileExecA(nullptr, VXString()));
}
