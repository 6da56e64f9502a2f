#include "core/vxfileman.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/tempdir.h"

namespace {

struct Messages {
  std::vector<std::string> texts;
  void On(VXFileMan*, VXString text) { texts.push_back(text.c_str()); }
};

std::string ReadAll(VXStream* s) {
  std::string b(static_cast<std::size_t>(s->GetSize()), '\0');
  s->Seek(0, VXSeekBegin);
  if (!b.empty()) s->Read(b.data(), static_cast<int>(b.size()));
  return b;
}

std::vector<std::string> FindAll(VXFileMan& man, const char* pattern) {
  std::vector<std::string> names;
  man.FindSet(pattern);
  VXString name;
  while (man.FindFile(name)) names.push_back(name.c_str());
  EXPECT_FALSE(man.FindFile(name));  // stays finished until the next FindSet
  return names;
}

// A pack with a few entries, written by the writer into dir/data.pak.
std::string MakePack(TempDir& dir) {
  VXPack pack;
  pack.SetReadOnly(false);
  const std::string path = dir.str() + "/data.pak";
  EXPECT_TRUE(pack.NewPack(path.c_str()));
  const std::vector<std::pair<std::string, std::string>> files = {
      {"Title.png", "png bytes"}, {"Empty.txt", ""}, {"Song.id", "song"}, {"Readme.txt", "read me"}};
  for (const auto& [name, bytes] : files)
    EXPECT_TRUE(pack.AddFile(name.c_str(), dir.Write("src/" + name, bytes).c_str(), VXPackAddMariel, true));
  EXPECT_TRUE(pack.EndPack());
  return path;
}

}  // namespace

TEST(FileMan, FolderModeFindsNamesWithoutRegardToCaseAndSeparator) {
  TempDir dir;
  dir.Write("song/qm01/Song.ID", "id");
  dir.Write("BGM/empty.ogg", "");
  VXFileMan man;
  ASSERT_TRUE(man.InitDir((dir.str() + "/").c_str()));
  EXPECT_FALSE(man.ChkIsPack());
  VXStream* s = man.Open("Song\\QM01\\SONG.ID");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ReadAll(s), "id");
  man.Close(s);
  EXPECT_EQ(s, nullptr);
  s = man.Open("bgm\\EMPTY.OGG");  // a size-0 file opens as an empty stream
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetSize(), 0);
  man.Close(s);

  ASSERT_TRUE(man.InitDir((dir.str() + "/BGM").c_str()));
  EXPECT_EQ(std::string(man.GetDir().c_str()), dir.str() + "/BGM");
  EXPECT_TRUE(man.FileIsExist("Empty.ogg"));
  VXStream* none = nullptr;
  man.Close(none);
}

TEST(FileMan, FolderModeRefusesNamesThatClimbOut) {
  TempDir dir;
  dir.Write("inside/a.txt", "a");
  dir.Write("secret.txt", "s");
  VXFileMan man;
  Messages m;
  man.OnMessage = VXCallback2<Messages, void, VXFileMan*, VXString>(&m, &Messages::On);
  man.InitDir((dir.str() + "/inside").c_str());
  for (const char* bad : {"..\\secret.txt", "\\etc\\passwd", "C:\\x"}) {
    EXPECT_FALSE(man.FileIsExist(bad)) << bad;
    EXPECT_EQ(man.Open(bad), nullptr) << bad;
    EXPECT_EQ(man.Create(bad), nullptr) << bad;
  }
  ASSERT_FALSE(m.texts.empty());
  EXPECT_EQ(m.texts[0].rfind("FileOpenErr Call(", 0), 0u);
  EXPECT_NE(m.texts[0].find("[..\\secret.txt]"), std::string::npos);
}

TEST(FileMan, FolderModeKeepsDoubleByteCharactersWhole) {
  // "表", "ソ" and "能" end in the byte 0x5C, which is a backslash only when it stands alone.
  TempDir dir;
  dir.Write("\u30bd\u30f3\u30b0/\u66f2.txt", "song");        // ソング/曲.txt
  dir.Write("\u8868.txt", "table");                          // 表.txt
  dir.Write("\u80fd.\u80fd/\u529b.txt", "power");            // 能.能/力.txt
  dir.Write("\u8868../a.txt", "dots");                       // 表../a.txt: "表.." is a name, not a climb
  VXFileMan man;
  man.InitDir(dir.str().c_str());
  const std::pair<const char*, const char*> files[] = {
      {"\x83\x5c\x83\x93\x83\x4f\\\x8b\xc8.txt", "song"},
      {"\x95\x5c.TXT", "table"},
      {"\x94\x5c.\x94\x5c\\\x97\xcd.txt", "power"},
      {"\x95\x5c..\\A.TXT", "dots"},
  };
  for (const auto& [name, bytes] : files) {
    VXStream* s = man.Open(name);
    ASSERT_NE(s, nullptr) << name;
    EXPECT_EQ(ReadAll(s), bytes);
    man.Close(s);
  }
  EXPECT_EQ(FindAll(man, "\x83\x5c\x83\x93\x83\x4f\\*.*"), (std::vector<std::string>{"\x8b\xc8.txt"}));
}

TEST(FileMan, FolderSearchListsFilesOnlySortedByUpperCasedName) {
  TempDir dir;
  for (const char* n : {"b.txt", "A.txt", "c.dat", "README", "_x.txt"}) dir.Write(n, "x");
  std::filesystem::create_directory(dir.path() / "folder.txt");
  VXFileMan man;
  man.InitDir(dir.str().c_str());
  EXPECT_EQ(FindAll(man, "*.txt"), (std::vector<std::string>{"A.txt", "b.txt", "_x.txt"}));
  EXPECT_EQ(FindAll(man, "*.*"), (std::vector<std::string>{"A.txt", "b.txt", "c.dat", "README", "_x.txt"}));
}

TEST(FileMan, PackModeOpensSearchesAndReportsLeaks) {
  TempDir dir;
  const std::string path = MakePack(dir);
  Messages m;
  VXStream* leaked = nullptr;
  {
    VXFileMan man;
    man.OnMessage = VXCallback2<Messages, void, VXFileMan*, VXString>(&m, &Messages::On);
    man.recordNames = true;
    ASSERT_TRUE(man.InitPack(path.c_str()));
    EXPECT_TRUE(man.ChkIsPack());
    VXStream* s = man.Open("TITLE.PNG");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(ReadAll(s), "png bytes");
    man.Close(s);
    VXStream* empty = man.Open("empty.txt");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetSize(), 0);
    EXPECT_EQ(man.Create("new.txt"), nullptr);
    EXPECT_EQ(FindAll(man, "*.txt"), (std::vector<std::string>{"Empty.txt", "Readme.txt"}));
    FILETIME t;
    EXPECT_TRUE(man.GetFileTime("song.id", &t));
    leaked = empty;
  }
  ASSERT_EQ(m.texts.size(), 1u);
  EXPECT_EQ(m.texts[0].rfind("NotClose[empty.txt] ", 0), 0u);
  delete leaked;
}

TEST(FileMan, AFailedInitPackLeavesNoMode) {
  TempDir dir;
  VXFileMan man;
  man.InitDir(dir.str().c_str());
  EXPECT_FALSE(man.InitPack((dir.str() + "/missing.pak").c_str()));
  EXPECT_FALSE(man.ChkIsPack());
  EXPECT_EQ(man.Open("anything"), nullptr);
  EXPECT_FALSE(man.FileIsExist("anything"));
  VXString name;
  man.FindSet("*.*");
  EXPECT_FALSE(man.FindFile(name));
}

TEST(FileMan, FolderModeCreatesFilesAndTellsTheirTime) {
  TempDir dir;
  VXFileMan man;
  EXPECT_EQ(man.Create("x.txt"), nullptr);  // no mode yet
  man.InitDir(dir.str().c_str());
  VXStream* out = man.Create("Save\\..\\new.TXT");  // climbing back inside the folder is still refused
  EXPECT_EQ(out, nullptr);
  out = man.Create("new.TXT");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->Write("saved", 5), 5);
  man.Close(out);
  VXStream* in = man.Open("NEW.txt");
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(ReadAll(in), "saved");
  man.Close(in);
  FILETIME t{};
  EXPECT_TRUE(man.GetFileTime("new.txt", &t));
  EXPECT_NE(t.dwHighDateTime, 0u);
  EXPECT_FALSE(man.GetFileTime("missing.txt", &t));
}

TEST(FileMan, PackModeOverACallersPackOrStream) {
  TempDir dir;
  const std::string path = MakePack(dir);
  VXPack pack;
  ASSERT_TRUE(pack.LoadPack(path.c_str()));
  {
    VXFileMan man;
    EXPECT_FALSE(man.InitPack(static_cast<VXPack*>(nullptr)));
    ASSERT_TRUE(man.SetPack(&pack));
    EXPECT_EQ(man.GetPack(), &pack);
    EXPECT_TRUE(man.FileIsExist("readme.TXT"));
    man.Finish();  // the caller's pack is only forgotten
    EXPECT_EQ(man.GetPack(), nullptr);
  }
  EXPECT_TRUE(pack.IsOpen());

  VXFileStream file(path.c_str(), VXFileRead);
  VXFileMan man;
  ASSERT_TRUE(man.InitPack(static_cast<VXStream*>(&file)));
  VXStream* s = man.Open("song.ID");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ReadAll(s), "song");
  man.Close(s);
  VXMemoryStream junk("not a pack", 10);
  EXPECT_FALSE(man.InitPack(static_cast<VXStream*>(&junk)));
  EXPECT_FALSE(man.ChkIsPack());
}

TEST(FileMan, UnnamedLeaksAndUnregisteredStreams) {
  TempDir dir;
  const std::string path = MakePack(dir);
  Messages m;
  VXStream* leaked = nullptr;
  {
    VXFileMan man;
    man.OnMessage = VXCallback2<Messages, void, VXFileMan*, VXString>(&m, &Messages::On);
    ASSERT_TRUE(man.InitPack(path.c_str()));
    leaked = man.Open("Title.png");
    VXStream* stranger = new VXMemoryStream();
    man.Close(stranger);  // not handed out by this manager: deleted all the same
    EXPECT_EQ(stranger, nullptr);
    EXPECT_EQ(man.Open("nothing.bin"), nullptr);
  }
  ASSERT_EQ(m.texts.size(), 2u);
  EXPECT_EQ(m.texts[0].rfind("FileOpenErr Call(", 0), 0u);
  EXPECT_NE(m.texts[0].find(") [nothing.bin]"), std::string::npos);
  char expected[40];
  std::snprintf(expected, sizeof expected, "NotClose %08" PRIxPTR ":Call(", reinterpret_cast<std::uintptr_t>(leaked));
  EXPECT_EQ(m.texts[1].rfind(expected, 0), 0u) << m.texts[1];
  delete leaked;
}
