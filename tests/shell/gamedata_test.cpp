// Label: threads
#include "shell/gamedata.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/text.h"
#include "support/environment.h"
#include "support/tempdir.h"

namespace {

// A save folder of its own ($XDG_DATA_HOME) and the flags and records back at their built-in values.
class Settings : public testing::Test {
protected:
  Settings() {
    env.Set("XDG_DATA_HOME", home.str().c_str());
    for (auto* flag : {&ShowFPS, &CapEnable, &AlbumShowAll, &MusicForceAuto, &MusicMemorySave, &MusicSongAll})
      flag->store(0);
    WindowMode = 1;
  }
  ~Settings() override { WindowMode = 1; }

  std::string Folder() const { return home.str() + "/BELVAR/QORM/"; }
  void WriteIni(const std::string& text, const std::string& name = "QORM.ini") {
    std::filesystem::create_directories(Folder());
    std::ofstream(Folder() + name, std::ios::binary) << text;
  }
  std::string ReadIni() const {
    std::ifstream in(Folder() + "QORM.ini", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  TempDir home;
  Environment env;
};

}  // namespace

TEST(SaveFolder, FollowsTheDataHomeAndIsMadeWhenMissing) {
  TempDir home;
  struct Case {
    std::string xdg;  // empty: not set
    bool homeSet;
    std::string expected;
  } cases[] = {
      {home.str() + "/DATA", true, home.str() + "/DATA/BELVAR/QORM/"},
      {"", true, home.str() + "/.local/share/BELVAR/QORM/"},
      {"relative/path", true, home.str() + "/.local/share/BELVAR/QORM/"},
      {"", false, ""},
  };
  for (const Case& c : cases) {
    Environment env;
    env.Set("HOME", c.homeSet ? home.str().c_str() : nullptr);
    env.Set("XDG_DATA_HOME", c.xdg.empty() ? nullptr : c.xdg.c_str());
    EXPECT_EQ(GetSaveFolderHost(), c.expected) << c.xdg;
    if (c.expected.empty()) {
      EXPECT_TRUE(GetSaveFolder().IsEmpty());
      continue;
    }
    EXPECT_TRUE(std::filesystem::is_directory(c.expected));
    std::string wide = c.expected + "QORM.ini";  // the game's form of the name: '\\' for '/'
    for (char& ch : wide)
      if (ch == '/') ch = '\\';
    EXPECT_EQ(platform::text::Utf16ToUtf8(GetSettingsPath().c_wstr()), wide);
  }
}

TEST_F(Settings, StartUpFlagsAreSwitchedByTheirWords) {
  struct Case {
    const char* text;
    int window, fps, cap;
  } cases[] = {
      {"[Game]\nWindowMode=OFF\n", 0, 0, 0},
      {"[Game]\nWindowMode=on\n", 1, 0, 0},
      {"[Game]\nWindowMode=maybe\n", 1, 0, 0},
      {"[Game]\nwindowmode=Off\n", 0, 0, 0},  // keys match in any letter case
      {"[Game Debug]\nShowFPS=On\nCapEnable=ON\n", 1, 1, 1},
      {"[Game]\nShowFPS=ON\n", 1, 0, 0},  // the wrong section
      {"[game debug]\nShowFPS=ON\n", 1, 0, 0},  // section names match exactly
  };
  for (const Case& c : cases) {
    WindowMode = 1;
    ShowFPS = 0;
    CapEnable = 0;
    WriteIni(c.text);
    LoadSystemIni();
    EXPECT_EQ(WindowMode.load(), c.window) << c.text;
    EXPECT_EQ(ShowFPS.load(), c.fps) << c.text;
    EXPECT_EQ(CapEnable.load(), c.cap) << c.text;
  }
  // Only "ON" changes the debugging switches: "OFF" leaves one that is on.
  ShowFPS = 1;
  WriteIni("[Game Debug]\nShowFPS=OFF\n");
  LoadSystemIni();
  EXPECT_EQ(ShowFPS.load(), 1);
}

TEST_F(Settings, WithoutAFileNothingChanges) {
  WindowMode = 0;
  TDisplayConfig display;
  display.VolumeBGM = 12;
  TUserConfig user;
  user.MesBoxTrans = 77;
  LoadSystemIni();
  LoadDisplayConfig(display);
  LoadUserConfig(&user);
  EXPECT_EQ(WindowMode.load(), 0);
  EXPECT_EQ(display.VolumeBGM, 12);
  EXPECT_EQ(user.MesBoxTrans, 77);
  EXPECT_FALSE(std::filesystem::exists(Folder() + "QORM.ini"));
}

TEST_F(Settings, DisplaySettingsReadTheGamesWordsAndKeepVolumesInRange) {
  WriteIni("[Game]\nFPSMode=30fps\nVolumeBGM=101\nVolumeVoice=-1\nVolumeSE=abc\nVolumeRear=55\n");
  TDisplayConfig c;
  c.VolumeBGM = 5;
  LoadDisplayConfig(c);
  EXPECT_EQ(c.FPSMode, kFps30);
  EXPECT_EQ(c.VolumeBGM, 70);
  EXPECT_EQ(c.VolumeVoice, 100);
  EXPECT_EQ(c.VolumeSE, 100);
  EXPECT_EQ(c.VolumeRear, 55);

  struct Word {
    std::uint8_t mode;
    const char* written;
  } words[] = {{kFps15, "15fps"}, {kFps30, "30fps"}, {kFpsFull, "Full"}, {kFpsNoSync, "NoSync"}};
  for (const Word& w : words) {
    TDisplayConfig out;
    out.FPSMode = w.mode;
    ASSERT_TRUE(SaveDisplayConfig(out));
    EXPECT_NE(ReadIni().find(std::string("FPSMode=") + w.written + "\r\n"), std::string::npos);
    TDisplayConfig back;
    back.FPSMode = 99;
    LoadDisplayConfig(back);
    EXPECT_EQ(back.FPSMode, w.mode);
  }
}

TEST_F(Settings, UserConfigurationNumbersSwitchesAndWords) {
  WriteIni("[Game]\nUserTextSpeed=2000\nAutoSkipWait=\nRightClickType=3\nExitConfirm=OFF\nMusicWordMode=Nothing\n"
           "MusicRankMode=hard\nMusicTimingMode=Stopwatch\n");
  TUserConfig c;
  c.AutoSkipWait = 1234;  // an empty value keeps what was there
  c.MusicTimingMode = 0;
  LoadUserConfig(&c);
  EXPECT_EQ(c.UserTextSpeed, 100);
  EXPECT_EQ(c.AutoSkipWait, 1234);
  EXPECT_EQ(c.RightClickType, 3);
  EXPECT_EQ(c.ExitConfirm, 0);
  EXPECT_EQ(c.MusicWordMode, 0);
  EXPECT_EQ(c.MusicRankMode, 1);
  EXPECT_EQ(c.MusicTimingMode, 0);  // an unknown word changes nothing
  ASSERT_TRUE(SaveUserConfig(&c));
  const std::string text = ReadIni();
  EXPECT_NE(text.find("MusicWordMode=Nothing\r\n"), std::string::npos);
  EXPECT_NE(text.find("MusicRankMode=Hard\r\n"), std::string::npos);
  EXPECT_NE(text.find("ExitConfirm=OFF\r\n"), std::string::npos);
}

TEST_F(Settings, SavingCreatesTheFileWithAllUserKeysAndLeavesOtherKeysAlone) {
  TUserConfig c;
  ASSERT_TRUE(SaveUserConfig(&c));
  const std::string text = ReadIni();
  EXPECT_EQ(text.rfind("[Game]\r\n", 0), 0u);
  int lines = 0;
  for (char ch : text) lines += ch == '\n';
  EXPECT_EQ(lines, 20);  // the section and 19 keys

  // A word field holding a value outside its words keeps the key's old text.
  c.MusicRankMode = 7;
  c.MesBoxTrans = 40;
  WriteIni("[Game]\nMusicRankMode=Easy\nRankingServer=example.org\n");
  ASSERT_TRUE(SaveUserConfig(&c));
  const std::string again = ReadIni();
  EXPECT_NE(again.find("MusicRankMode=Easy\r\n"), std::string::npos);
  EXPECT_NE(again.find("RankingServer=example.org\r\n"), std::string::npos);
  EXPECT_NE(again.find("MesBoxTrans=40\r\n"), std::string::npos);
}

TEST_F(Settings, TheFileIsFoundInAnyLetterCase) {
  WriteIni("[Game]\nWindowMode=OFF\n", "qorm.INI");
  LoadSystemIni();
  EXPECT_EQ(WindowMode.load(), 0);
  WindowMode = 1;
  ASSERT_TRUE(SaveWindowMode());
  EXPECT_FALSE(std::filesystem::exists(Folder() + "QORM.ini"));
  std::ifstream in(Folder() + "qorm.INI");
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  EXPECT_EQ(second, "WindowMode=ON\r");
}

// A settings file that cannot be written is reported and the previous file stays; nothing is thrown.
TEST_F(Settings, AWriteThatFailsKeepsThePreviousFileAndThrowsNothing) {
  std::filesystem::create_directories(Folder() + "QORM.ini");  // a folder where the file should be
  testing::internal::CaptureStderr();
  TUserConfig c;
  EXPECT_FALSE(SaveUserConfig(&c));
  EXPECT_FALSE(SaveDisplayConfig(TDisplayConfig{}));
  EXPECT_FALSE(SaveWindowMode());
  EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot write the settings file"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_directory(Folder() + "QORM.ini"));
}

// Writers on several threads (the game thread's user configuration, the window's display settings) never lose
// each other's keys.
TEST_F(Settings, WritersOnTwoThreadsKeepEachOthersKeys) {
  TUserConfig user;
  user.MesBoxTrans = 33;
  TDisplayConfig display;
  display.VolumeRear = 44;
  std::thread a([&] {
    for (int i = 0; i < 50; ++i) SaveUserConfig(&user);
  });
  std::thread b([&] {
    for (int i = 0; i < 50; ++i) SaveDisplayConfig(display);
  });
  a.join();
  b.join();
  TUserConfig userBack;
  TDisplayConfig displayBack;
  LoadUserConfig(&userBack);
  LoadDisplayConfig(displayBack);
  EXPECT_EQ(userBack.MesBoxTrans, 33);
  EXPECT_EQ(displayBack.VolumeRear, 44);
}
