// Label: threads
#include "graphics/zorvane.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/tempdir.h"

namespace {

// A host path in the Windows form that the utility functions take ("\tmp\x\a.txt").
std::string Windows(const std::string& host) {
  std::string s = host;
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

// Collects the messages shown while it lives, and points the open command at a program of the test's choice.
class Desktop {
public:
  explicit Desktop(const std::string& openCommand) {
    platform::msgbox::SetSink([this](const platform::msgbox::Message& m) { shown.push_back(m); });
    platform::process::SetOpenCommand(openCommand);
  }
  ~Desktop() {
    platform::msgbox::SetSink(nullptr);
    platform::process::SetOpenCommand("xdg-open");
  }
  std::vector<platform::msgbox::Message> shown;
};

bool AppearsWithin(const std::filesystem::path& p, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (std::filesystem::exists(p)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::filesystem::exists(p);
}

}  // namespace

TEST(Zorvane, ExistenceAndPaths) {
  TempDir dir;
  const std::string file = Windows(dir.Write("Data/a.txt", "x"));
  const std::string folder = Windows((dir.path() / "Data").string());
  EXPECT_TRUE(FileIsExist(file.c_str()));
  EXPECT_FALSE(FileIsExist(folder.c_str()));
  EXPECT_TRUE(FolderIsExist(folder.c_str()));
  EXPECT_FALSE(FolderIsExist(file.c_str()));
  EXPECT_FALSE(FileIsExist(nullptr));
  const std::u16string wide = platform::text::Utf8ToUtf16(file);
  EXPECT_TRUE(FileIsExistW(wide.c_str()));
  EXPECT_FALSE(FolderIsExistW(wide.c_str()));

  struct Case {
    std::string (*f)(const std::string&, const std::string&);
    std::string a, b, expected;
  } cases[] = {
      {AbsToRelPath, "E:\\Game\\Data", "E:\\Game", "Data\\"},
      {AbsToRelDir, "E:\\Game\\Data", "E:\\Game", "Data"},
      {AbsToRelDir, "D:\\", "E:\\x", "D:\\"},
      {AbsToRelPathName, "E:\\Game\\Data\\a.png", "E:\\Game", "Data\\a.png"},
      {RelToAbsPath, "..\\Save", "E:\\Game\\Data", "E:\\Game\\Save\\"},
      {RelToAbsDir, "..\\Save", "E:\\Game\\Data", "E:\\Game\\Save"},
      {RelToAbsPathName, "Data\\\x83\x5c.png", "E:\\Game", "E:\\Game\\Data\\\x83\x5c.png"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.f(c.a, c.b), c.expected) << c.a << " " << c.b;
}

TEST(Zorvane, MemoryTotals) {
  EXPECT_GT(TotalPhysicalMemory(), 0u);
  EXPECT_LE(AvailPhysicalMemory(), TotalPhysicalMemory());
  EXPECT_LE(AvailVirtualMemory(), TotalVirtualMemory());
}

TEST(Zorvane, OpeningADocumentTellsTheUserWhatWentWrong) {
  TempDir dir;
  const std::string marker = (dir.path() / "opened").string();
  const std::string opener = dir.Write("open.sh", "#!/bin/sh\necho \"$1\" > '" + marker + "'\n");
  chmod(opener.c_str(), 0755);
  const std::string doc = Windows(dir.Write("Docs/readme.txt", "hello"));

  {
    Desktop desk(opener);
    ZoFileExec("");  // nothing shown, nothing started
    ZoFileExec(doc);
    EXPECT_TRUE(AppearsWithin(marker, std::chrono::seconds(10)));
    EXPECT_TRUE(desk.shown.empty());
  }
  std::filesystem::remove(marker);

  struct Case {
    std::string file;
    std::string openCommand;
    int result;
  } cases[] = {
      {Windows(dir.str()) + "\\Docs\\missing.txt", opener, zeFileNotFound},
      {Windows(dir.str()) + "\\NoFolder\\readme.txt", opener, zePathNotFound},
      {doc, (dir.path() / "no-such-opener").string(), zeNoAssociation},
  };
  for (const auto& c : cases) {
    Desktop desk(c.openCommand);
    EXPECT_EQ(ZoFileExecResult(c.file), c.result) << c.file;
    ZoFileExec(c.file);
    ASSERT_EQ(desk.shown.size(), 1u) << c.file;
    EXPECT_EQ(desk.shown[0].kind, platform::msgbox::Kind::kError);
    EXPECT_EQ(desk.shown[0].caption, "エラー");
    EXPECT_STREQ(desk.shown[0].text.c_str(), ZoFileExecErrorText(c.result));
  }
  EXPECT_FALSE(std::filesystem::exists(marker));
  EXPECT_STREQ(ZoFileExecErrorText(31), "指定されたファイル名拡張子には､ アプリケーションが関連付けられていません。");
  EXPECT_STREQ(ZoFileExecErrorText(5), "不明なエラー");
}

TEST(Zorvane, FontsFromFrameworkFonts) {
  Graphics::TFont tf;
  tf.SetName("DEFAULT");
  tf.SetHeight(-20);
  tf.SetStyle(Graphics::TFontStyles().set(Graphics::fsBold).set(Graphics::fsItalic));
  const HFONT aa = GetAntiAliasedFont(&tf);
  ASSERT_TRUE(aa) << "the IPA fonts are needed: ./scripts/deps.sh installs them";
  EXPECT_EQ(aa->Log().faceName, "MS UI Gothic");
  EXPECT_EQ(aa->Log().quality, platform::font::kAntialiasedQuality);
  EXPECT_EQ(aa->Log().weight, platform::font::kBoldWeight);
  EXPECT_TRUE(aa->Log().italic);
  EXPECT_EQ(aa->Log().pitchAndFamily, platform::font::kDefaultPitch);
  EXPECT_EQ(aa->Log().height, -20);

  tf.SetStyle({});
  tf.SetPitch(Graphics::fpFixed);
  const HFONT plain = GetNonAntiAliasedFont(&tf);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->Log().quality, platform::font::kNonAntialiasedQuality);
  EXPECT_EQ(plain->Log().weight, platform::font::kNormalWeight);
  EXPECT_EQ(plain->Log().pitchAndFamily, platform::font::kFixedPitch);
  EXPECT_FALSE(plain->AntiAliased());
  tf.SetPitch(Graphics::fpVariable);
  EXPECT_EQ(GetNonAntiAliasedFont(&tf)->Log().pitchAndFamily, platform::font::kVariablePitch);
  EXPECT_FALSE(GetAntiAliasedFont(nullptr));
}
