// The demo game that the build makes with mkdemo: every file the first screens and the screen transitions open is
// there, under the name the game opens, and loads with the game's own readers in the form and size the game
// expects; the wipe masks reveal the screen in the order their names say, the water tables hold what their
// formulas give; pack mode and folder mode hold the same files; and a second run of the builder gives the same
// bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxpack.h"
#include "core/vxstream.h"
#include "device/vxloggstream.h"
#include "graphics/vxpng.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "demo/demofiles.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using namespace demofiles;

const fs::path kGame = QORM_DEMO_GAME_DIR;
const fs::path kFolderGame = QORM_DEMO_FOLDER_DIR;

enum class Where { kRoot, kMain, kBgm };

struct Expected {
  const char* name;
  Where where;
  Kind kind;
  int width, height;  // pictures; 0: any size the check of that picture allows. Tables: bytes a row, rows
};

// The files the game window, the sound service, the sound room, the screenshot and the music game open by name.
const Expected kAssets[] = {
    {"Splash.jpg", Where::kRoot, Kind::kJpeg, 320, 240},
    {"Cursor.png", Where::kMain, Kind::kPngAlpha, 256, 32},
    {"Wait.bmp", Where::kMain, Kind::kBmp, 240, 720},
    {"Cap_Logo.png", Where::kMain, Kind::kPngAlpha, 0, 0},
    {"Cap_Copy.png", Where::kMain, Kind::kPngAlpha, 0, 0},
    {"SoundBase.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"SoundTrackName.png", Where::kMain, Kind::kPngAlpha, 280, 245},
    {"SoundSelect.png", Where::kMain, Kind::kPngAlpha, 280, 21},
    {"SoundBtnBack.png", Where::kMain, Kind::kPngAlpha, 21, 105},
    {"SoundBtnPlay.png", Where::kMain, Kind::kPngAlpha, 21, 105},
    {"SoundBtnStop.png", Where::kMain, Kind::kPngAlpha, 21, 105},
    {"SoundBtnNext.png", Where::kMain, Kind::kPngAlpha, 21, 105},
    {"SoundBtnOneRep.png", Where::kMain, Kind::kPngAlpha, 16, 80},
    {"SoundBtnAllRep.png", Where::kMain, Kind::kPngAlpha, 16, 80},
    {"SoundTimeNum.png", Where::kMain, Kind::kPngAlpha, 8, 140},
    {"CmExit.png", Where::kMain, Kind::kPngAlpha, 0, 0},
    {"SysSEOK.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEPage.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEAttention.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEErr.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEClick01.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEClick02.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEClick03.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEClick04.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEClick05.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysSEClick06.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice02_01.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice02_02.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice02_03.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice02_04.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice02_05.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"Track01.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track02.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track03.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track04.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track05.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track06.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track07.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track08.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track09.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    // The screen transitions: wipe masks laid over the whole screen, the water tables, the halation pictures,
    // and the two pictures the transitions are shown with.
    {"FadeMask00_BlindR.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask01_BlindL.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask02_LucasR.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask03_LucasL.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask04_Circle.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask05_CircleR.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask06_Clock.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask07_Swirl.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask08_Crystal.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask09_StripesB.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask10_StripesN.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask11_Star.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask12_Radiation.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask13_RadiationR.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask14_Windmill.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask15_Naruto.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask16_Noise.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask17_GhostD.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"FadeMask18_GhostU.bmp", Where::kMain, Kind::kMask, 640, 480},
    {"WaterDistTbl.bin", Where::kMain, Kind::kTable, 640, 240},
    {"WaterSinTbl.bin", Where::kMain, Kind::kTable, 256, 1},
    {"WaterMultiTbl.bin", Where::kMain, Kind::kTable, 255, 32},
    {"HaloBack.bmp", Where::kMain, Kind::kBmp, 640, 480},
    {"HaloBlueB.bmp", Where::kMain, Kind::kBmp, 224, 224},
    {"HaloYellowB.bmp", Where::kMain, Kind::kBmp, 192, 192},
    {"HaloYellowS.bmp", Where::kMain, Kind::kBmp, 80, 80},
    {"HaloBlueS.bmp", Where::kMain, Kind::kBmp, 96, 96},
    {"HaloGreen.bmp", Where::kMain, Kind::kBmp, 144, 144},
    {"DemoSceneNight.png", Where::kMain, Kind::kPng, 640, 480},
    {"DemoSceneDawn.png", Where::kMain, Kind::kPng, 640, 480},
    // The adventure's text windows, plates and right-click menu (buttons and digits: their blocks stacked).
    {"MesBack.png", Where::kMain, Kind::kPngAlpha, 587, 147},
    {"MesFrame.png", Where::kMain, Kind::kPngAlpha, 587, 147},
    {"MesWait.png", Where::kMain, Kind::kPngAlpha, 20, 140},
    {"MesHide.png", Where::kMain, Kind::kPngAlpha, 19, 72},
    {"MesSkip.png", Where::kMain, Kind::kPngAlpha, 19, 90},
    {"MesAuto.png", Where::kMain, Kind::kPngAlpha, 19, 90},
    {"SelWindow.png", Where::kMain, Kind::kPngAlpha, 540, 120},
    {"SelCursor.png", Where::kMain, Kind::kPngAlpha, 520, 20},
    {"BacklogBar.png", Where::kMain, Kind::kPngAlpha, 20, 340},
    {"BacklogPos.png", Where::kMain, Kind::kPngAlpha, 18, 18},
    {"BacklogUp.png", Where::kMain, Kind::kPngAlpha, 20, 60},
    {"BacklogDown.png", Where::kMain, Kind::kPngAlpha, 20, 60},
    {"CalDateNum.png", Where::kMain, Kind::kPngAlpha, 26, 240},
    {"CalTimeNum.png", Where::kMain, Kind::kPngAlpha, 22, 260},
    {"CalSlash.png", Where::kMain, Kind::kPngAlpha, 19, 26},
    {"CalColon.png", Where::kMain, Kind::kPngAlpha, 11, 21},
    {"AvgPlace01.png", Where::kMain, Kind::kPngAlpha, 120, 32},
    {"AvgPlace02.png", Where::kMain, Kind::kPngAlpha, 120, 32},
    {"AvgPlace03.png", Where::kMain, Kind::kPngAlpha, 120, 32},
    {"AvgPlace04.png", Where::kMain, Kind::kPngAlpha, 120, 32},
    {"AvgPlace05.png", Where::kMain, Kind::kPngAlpha, 120, 32},
    {"AvgPlace06.png", Where::kMain, Kind::kPngAlpha, 120, 32},
    {"Menu01.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu02.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu03.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu04.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu05.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu06.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu07.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu08.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    {"Menu09.png", Where::kMain, Kind::kPngAlpha, 170, 132},
    // The adventure's stage: the snow flakes (its backgrounds and characters: demostage_test.cpp).
    {"Snow.bmp", Where::kMain, Kind::kBmp, 44, 14},
    {"SongCurtain.png", Where::kMain, Kind::kPngAlpha, 640, 48},
    {"SongSheet.bmp", Where::kMain, Kind::kBmp, 486, 180},
    {"SongNote.png", Where::kMain, Kind::kPngAlpha, 135, 132},
    {"SongAlphabet.png", Where::kMain, Kind::kPngAlpha, 270, 69},
    {"SongGclef.png", Where::kMain, Kind::kPngAlpha, 96, 240},
    {"SongScoreFrame.bmp", Where::kMain, Kind::kBmp, 154, 180},
    {"SongPopLarge.bmp", Where::kMain, Kind::kBmp, 19, 440},
    {"SongPopSmall.bmp", Where::kMain, Kind::kBmp, 8, 220},
    {"SongScore.bmp", Where::kMain, Kind::kBmp, 12, 200},
    {"SongHitLamp.bmp", Where::kMain, Kind::kBmp, 25, 27},
    {"SongCapAuto.png", Where::kMain, Kind::kPngAlpha, 166, 192},
    {"SongCapDemo.png", Where::kMain, Kind::kPngAlpha, 166, 192},
    {"SongCount.png", Where::kMain, Kind::kPngAlpha, 420, 1440},
    {"SongCountYN.png", Where::kMain, Kind::kPngAlpha, 250, 100},
    {"SongFrameTop.png", Where::kMain, Kind::kPngAlpha, 576, 16},
    {"SongFrameBottom.png", Where::kMain, Kind::kPngAlpha, 576, 16},
    {"SongFrameLeft.png", Where::kMain, Kind::kPngAlpha, 32, 300},
    {"SongFrameRight.png", Where::kMain, Kind::kPngAlpha, 32, 300},
    {"SongBG000.png", Where::kMain, Kind::kPng, 640, 300},
    {"SongBG001.png", Where::kMain, Kind::kPng, 640, 300},
    {"SongBG002.png", Where::kMain, Kind::kPng, 640, 300},
    {"SysVoice05_01.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice05_02.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice05_03.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice05_04.ogg", Where::kMain, Kind::kSound, 0, 0},
    {"SysVoice05_05.ogg", Where::kMain, Kind::kSound, 0, 0},
    // The album (the event pictures are checked by the album's own tests, in both forms).
    {"AlbumBG1.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"AlbumHikari.png", Where::kMain, Kind::kPngAlpha, 106, 240},
    {"AlbumP1.png", Where::kMain, Kind::kPngAlpha, 46, 84},
    {"AlbumP2.png", Where::kMain, Kind::kPngAlpha, 46, 84},
    {"AlbumP3.png", Where::kMain, Kind::kPngAlpha, 46, 84},
    {"AlbumEv00.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv01.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv02.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv03.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv04.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv05.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv06.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv07.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv08.bmp", Where::kMain, Kind::kBmp, 106, 80},
    {"AlbumEv09.bmp", Where::kMain, Kind::kBmp, 106, 80},
    // The configuration screen.
    {"CfgBack.png", Where::kMain, Kind::kPng, 640, 480},
    {"CfgParts.png", Where::kMain, Kind::kPngAlpha, 256, 420},
    {"CfgMesBox.bmp", Where::kMain, Kind::kBmp, 117, 32},
    // The save and load screen.
    {"SaveSaveScreen.png", Where::kMain, Kind::kPng, 640, 480},
    {"SaveLoadScreen.png", Where::kMain, Kind::kPng, 640, 480},
    {"SaveSelect.png", Where::kMain, Kind::kPngAlpha, 282, 20},
    {"SaveScrollUp.png", Where::kMain, Kind::kPngAlpha, 16, 64},
    {"SaveScrollDown.png", Where::kMain, Kind::kPngAlpha, 16, 64},
    {"SaveScrollBar.png", Where::kMain, Kind::kPngAlpha, 16, 180},
    {"SaveSaveBtn.png", Where::kMain, Kind::kPngAlpha, 56, 96},
    {"SaveLoadBtn.png", Where::kMain, Kind::kPngAlpha, 56, 96},
    {"SaveCloseBtn.png", Where::kMain, Kind::kPngAlpha, 56, 96},
    {"SSelBase.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"SSelTitleMask.bmp", Where::kMain, Kind::kMask, 360, 150},
    {"SSelTitleFrame.png", Where::kMain, Kind::kPngAlpha, 360, 156},
    {"SSelBtnNext.png", Where::kMain, Kind::kPngAlpha, 96, 96},
    {"SSelBtnBack.png", Where::kMain, Kind::kPngAlpha, 96, 96},
    {"SSelBtnPlay.png", Where::kMain, Kind::kPngAlpha, 96, 160},
    {"SSelBtnEasy.png", Where::kMain, Kind::kPngAlpha, 104, 104},
    {"SSelBtnNormal.png", Where::kMain, Kind::kPngAlpha, 104, 104},
    {"SSelBtnHard.png", Where::kMain, Kind::kPngAlpha, 104, 104},
    {"SSelBtnAutoOn.png", Where::kMain, Kind::kPngAlpha, 104, 104},
    {"SSelBtnAutoOff.png", Where::kMain, Kind::kPngAlpha, 104, 104},
    // The internet ranking screen.
    {"RankBGNetSel.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"RankBGNetRank.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"RankBtnSongSel.png", Where::kMain, Kind::kPngAlpha, 112, 112},
    {"RankBtnUpload.png", Where::kMain, Kind::kPngAlpha, 120, 120},
    {"RankBtnBack.png", Where::kMain, Kind::kPngAlpha, 28, 112},
    {"RankBtnNext.png", Where::kMain, Kind::kPngAlpha, 28, 112},
    {"RankBtnEasy.png", Where::kMain, Kind::kPngAlpha, 80, 140},
    {"RankBtnNormal.png", Where::kMain, Kind::kPngAlpha, 80, 140},
    {"RankBtnHard.png", Where::kMain, Kind::kPngAlpha, 80, 140},
    {"RankSongNote.png", Where::kMain, Kind::kPngAlpha, 18, 28},
    {"RankSongCursor.png", Where::kMain, Kind::kPngAlpha, 270, 28},
    {"RankYourPoints.png", Where::kMain, Kind::kPngAlpha, 140, 24},
    {"RankDialog.png", Where::kMain, Kind::kPngAlpha, 300, 170},
    {"RankInput.png", Where::kMain, Kind::kPngAlpha, 164, 34},
    {"RankBtnOK.png", Where::kMain, Kind::kPngAlpha, 80, 84},
    {"RankCaret.png", Where::kMain, Kind::kPng, 2, 12},
    // The title screen and the confirmation dialog.
    {"TitleBase.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"TitleStart.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleLoad.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleFreePlay.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleScore.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleNetRanking.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleAlbum.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleSound.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleConfig.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleExit.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"TitleExtra.png", Where::kMain, Kind::kPngAlpha, 168, 84},
    {"DlgF_Exit.png", Where::kMain, Kind::kPngAlpha, 208, 108},
    {"DlgYes.png", Where::kMain, Kind::kPngAlpha, 46, 66},
    {"DlgNo.png", Where::kMain, Kind::kPngAlpha, 46, 66},
    // The name entry and the best-score screen.
    {"NameBase.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"NameBtnBS.png", Where::kMain, Kind::kPngAlpha, 50, 150},
    {"NameBtnEnd.png", Where::kMain, Kind::kPngAlpha, 50, 150},
    {"NameSelFrame.png", Where::kMain, Kind::kPngAlpha, 50, 50},
    {"NameAnime.png", Where::kMain, Kind::kPngAlpha, 40, 160},
    {"NameAlphabet.png", Where::kMain, Kind::kPngAlpha, 17, 1530},
    {"NameNum.png", Where::kMain, Kind::kPngAlpha, 20, 280},
    {"ScoreBase.jpg", Where::kMain, Kind::kJpeg, 640, 480},
    {"RankBase.png", Where::kMain, Kind::kPngAlpha, 560, 34},
    {"RankAlphabet.png", Where::kMain, Kind::kPngAlpha, 17, 1530},
    {"RankNum.png", Where::kMain, Kind::kPngAlpha, 16, 240},
    {"ScoreBtnEasy.png", Where::kMain, Kind::kPngAlpha, 80, 140},
    {"ScoreBtnNormal.png", Where::kMain, Kind::kPngAlpha, 80, 140},
    {"ScoreBtnHard.png", Where::kMain, Kind::kPngAlpha, 80, 140},
    {"ScoreBtnBack.png", Where::kMain, Kind::kPngAlpha, 28, 112},
    {"ScoreBtnFwd.png", Where::kMain, Kind::kPngAlpha, 28, 112},
};

// The loop points (bytes of 16-bit stereo samples) the sound service sets for tracks 3 and 4: the tracks must be
// longer, or the repeat would start from the beginning.
const std::map<std::string, std::int64_t> kLoopPoints = {{"Track03.bgm", 3175020}, {"Track04.bgm", 907224}};

// The three ways the game reaches its data: the main data manager (pack or folder), the "BGM" folder manager and
// plain files beside the program.
class GameData {
public:
  GameData(const fs::path& game, bool packMode) : game_(game) {
    if (packMode) {
      EXPECT_TRUE(main_.InitPack((game / "Game.pak").string().c_str()));
    } else {
      main_.InitDir((game / "Game_Pak").string().c_str());
    }
    music_.InitDir((game / "BGM").string().c_str());
  }

  // The file's bytes as the game would read them; empty when it cannot be opened.
  std::string Bytes(const Expected& asset) {
    if (asset.where == Where::kRoot) return fs::exists(game_ / asset.name) ? Slurp(game_ / asset.name) : "";
    VXFileMan& files = asset.where == Where::kMain ? main_ : music_;
    VXStream* stream = files.Open(asset.name);
    if (stream == nullptr) return {};
    std::string bytes = ReadAll(stream);
    files.Close(stream);
    return bytes;
  }

private:
  fs::path game_;
  VXFileMan main_, music_;
};

struct Decoded {
  int channels = 0, rate = 0, bits = 0;
  std::int64_t bytes = 0;
  int peak = 0;
};

// The bit count of a BMP file's pixels.
int BmpBits(const std::string& bytes) {
  return bytes.size() < 30 ? 0 : static_cast<unsigned char>(bytes[28]) | static_cast<unsigned char>(bytes[29]) << 8;
}

Decoded DecodeOgg(const std::string& file) {
  VXMemoryStream code(file.data(), static_cast<int>(file.size()));
  VXOggStream ogg(&code);
  Decoded d;
  if (!ogg.IsOpen()) return d;
  d.channels = ogg.GetChannels(), d.rate = ogg.GetRate(), d.bits = ogg.GetBits();
  d.bytes = ogg.GetDecodeLength();
  std::vector<std::int16_t> block(8192);
  for (int got; (got = ogg.Read(block.data(), static_cast<int>(block.size() * 2))) > 0;)
    for (int i = 0; i < got / 2; ++i) d.peak = std::max(d.peak, std::abs(static_cast<int>(block[i])));
  return d;
}

class DemoGame : public ::testing::TestWithParam<bool> {};

TEST_P(DemoGame, EveryAssetLoadsInTheFormAndSizeTheGameExpects) {
  GameData data(GetParam() ? kGame : kFolderGame, GetParam());
  for (const Expected& asset : kAssets) {
    SCOPED_TRACE(asset.name);
    const std::string bytes = data.Bytes(asset);
    ASSERT_FALSE(bytes.empty()) << "missing";
    if (asset.kind == Kind::kSound || asset.kind == Kind::kMusic) {
      const Decoded sound = DecodeOgg(bytes);
      ASSERT_GT(sound.channels, 0) << "not Ogg Vorbis the sound device can play";
      EXPECT_EQ(sound.rate, 44100);
      EXPECT_GT(sound.peak, 8000) << "(nearly) silent";
      const double seconds = static_cast<double>(sound.bytes) / (sound.channels * 2 * sound.rate);
      if (asset.kind == Kind::kSound) {
        EXPECT_LT(seconds, 2.5) << "a system sound is short";
      } else {
        EXPECT_EQ(sound.channels, 2);
        EXPECT_GT(seconds, 10);
        EXPECT_LT(seconds, 60);
        const auto loop = kLoopPoints.find(asset.name);
        if (loop != kLoopPoints.end()) {
          EXPECT_GT(sound.bytes, loop->second + 2 * 44100 * 4) << "the repeated part lasts at least two seconds";
        }
      }
      continue;
    }
    if (asset.kind == Kind::kTable) {
      EXPECT_EQ(bytes.size(), static_cast<std::size_t>(asset.width) * asset.height) << "read whole, no header";
      continue;
    }
    if (asset.kind == Kind::kBmp || asset.kind == Kind::kMask) {
      EXPECT_EQ(BmpBits(bytes), asset.kind == Kind::kMask ? 8 : 24);
    }
    const auto picture = LoadPicture(bytes, asset.kind);
    ASSERT_NE(picture, nullptr) << "does not decode";
    const int width = asset.kind == Kind::kMask ? picture->alpha.GetWidth() : picture->bits.GetWidth();
    const int height = asset.kind == Kind::kMask ? picture->alpha.GetHeight() : picture->bits.GetHeight();
    if (asset.width != 0) {
      EXPECT_EQ(width, asset.width);
      EXPECT_EQ(height, asset.height);
    }
    if (asset.kind == Kind::kBmp) {
      const auto deep = LoadPicture(bytes, asset.kind, bd24);
      ASSERT_NE(deep, nullptr) << "does not decode in the 24-bit display depth";
      EXPECT_EQ(deep->bits.GetWidth(), width);
    }
    if (asset.kind == Kind::kPngAlpha) {
      EXPECT_EQ(picture->alpha.GetWidth(), picture->bits.GetWidth());
      EXPECT_EQ(picture->alpha.GetHeight(), picture->bits.GetHeight());
    }
  }
}

INSTANTIATE_TEST_SUITE_P(PackAndFolder, DemoGame, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "PackMode" : "FolderMode"; });

class DemoPictures : public ::testing::Test {
protected:
  std::unique_ptr<Loaded> Load(const char* name) {
    for (const Expected& asset : kAssets)
      if (std::string(asset.name) == name) return LoadPicture(data_.Bytes(asset), asset.kind);
    return nullptr;
  }
  GameData data_{kGame, true};
};

// Cells 0-3 point with their top-left corner, cells 4-7 with their centre: the pointer must be drawn there.
TEST_F(DemoPictures, EachCursorCellIsDrawnAtItsHotSpot) {
  const auto cursor = Load("Cursor.png");
  ASSERT_NE(cursor, nullptr);
  for (int cell = 0; cell < 8; ++cell) {
    const int x = cell * 32 + (cell < 4 ? 1 : 15), y = cell < 4 ? 2 : 15;
    EXPECT_GT(cursor->alpha.PGet(x, y), 128) << "cell " << cell;
    EXPECT_EQ(cursor->alpha.PGet(cell * 32 + 31, 0), 0) << "cell " << cell << " is a shape on a transparent ground";
  }
}

// The ten frames of the wait animation all differ, one from the next.
TEST_F(DemoPictures, WaitAnimationFramesEachDiffer) {
  const auto wait = Load("Wait.bmp");
  ASSERT_NE(wait, nullptr);
  std::vector<std::string> frames;
  for (int i = 0; i < 10; ++i) {
    std::string frame(240 * 72 * 4, '\0');
    ASSERT_TRUE(wait->bits.GetPat(0, i * 72, 240, 72, reinterpret_cast<unsigned char*>(frame.data())));
    frames.push_back(frame);
  }
  for (int i = 0; i < 10; ++i) EXPECT_NE(frames[i], frames[(i + 1) % 10]) << "frames " << i << " and " << (i + 1) % 10;
}

// The screenshot draws the logo at the bottom left (from x 8) and the notice at the bottom right: side by side
// they fit on the screen without covering each other, and they leave most of the picture free.
TEST_F(DemoPictures, ScreenshotOverlaysFitSideBySide) {
  const auto logo = Load("Cap_Logo.png");
  const auto notice = Load("Cap_Copy.png");
  ASSERT_NE(logo, nullptr);
  ASSERT_NE(notice, nullptr);
  EXPECT_LE(8 + logo->bits.GetWidth(), 640 - notice->bits.GetWidth());
  EXPECT_LE(logo->bits.GetHeight(), 120);
  EXPECT_LE(notice->bits.GetHeight(), 60);
}

// The exit button holds four blocks, the digit strip ten digits.
TEST_F(DemoPictures, BlockPicturesDivideEvenly) {
  const auto exit = Load("CmExit.png");
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit->bits.GetHeight() % 4, 0);
  EXPECT_LE(513 + exit->bits.GetWidth(), 640);
  EXPECT_LE(439 + exit->bits.GetHeight() / 4, 480);
}

// ---- The data of the screen transitions

// A rectangle of a mask; a point is 1 x 1.
struct Area {
  int x, y, w, h;
};

double Mean(const TZoAlpha& plane, const Area& a) {
  double sum = 0;
  for (int y = a.y; y < a.y + a.h; ++y)
    for (int x = a.x; x < a.x + a.w; ++x) sum += plane.PGet(x, y);
  return sum / (a.w * a.h);
}

// The wipe masks of the transitions (other 8-bit grey pictures, as the song select's title mask, are shapes).
bool IsMask(const Expected& asset) {
  return asset.kind == Kind::kMask && std::string(asset.name).rfind("FadeMask", 0) == 0;
}

// A mask wipe reveals the new screen in the order of the mask's values, the brightest first; every value from 255
// down to 0 is passed on the way. A flat area would turn all at once, so no value may hold a large part of the
// screen. The palette is grey, so the mask reads the same through its levels and through its indices.
TEST_F(DemoPictures, EachMaskSpansEveryValueWithoutLargeSteps) {
  for (const Expected& asset : kAssets) {
    if (!IsMask(asset)) continue;
    SCOPED_TRACE(asset.name);
    const std::string bytes = data_.Bytes(asset);
    const auto mask = LoadPicture(bytes, Kind::kMask);
    ASSERT_NE(mask, nullptr);
    TZoAlpha indices;
    VXMemoryStream stream(bytes.data(), static_cast<int>(bytes.size()));
    ASSERT_TRUE(indices.LoadIndexStream(&stream, 0, 0));
    std::vector<int> count(256);
    bool sameAsIndices = true;
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        ++count[mask->alpha.PGet(x, y)];
        sameAsIndices = sameAsIndices && mask->alpha.PGet(x, y) == indices.PGet(x, y);
      }
    EXPECT_TRUE(sameAsIndices) << "the palette is not grey";
    EXPECT_GT(count[255], 0) << "nothing turns first";
    EXPECT_GT(count[0], 0) << "nothing turns last";
    EXPECT_LE(*std::max_element(count.begin(), count.end()), 640 * 480 / 50) << "a large area turns at once";
  }
}

// Pairs of places: the first turns before the later one (it is brighter).
struct RevealOrder {
  const char* mask;
  Area first, later;
  const char* why;
};

const RevealOrder kRevealOrders[] = {
    {"FadeMask00_BlindR.bmp", {5, 0, 1, 480}, {35, 0, 1, 480}, "a slat opens from its left edge"},
    {"FadeMask00_BlindR.bmp", {605, 240, 1, 1}, {35, 240, 1, 1}, "all slats open together"},
    {"FadeMask00_BlindR.bmp", {5, 240, 1, 1}, {605, 240, 1, 1}, "the left slat a little before the right"},
    {"FadeMask01_BlindL.bmp", {634, 0, 1, 480}, {604, 0, 1, 480}, "a slat opens from its right edge"},
    {"FadeMask01_BlindL.bmp", {34, 240, 1, 1}, {604, 240, 1, 1}, "all slats open together"},
    {"FadeMask01_BlindL.bmp", {634, 240, 1, 1}, {34, 240, 1, 1}, "the right slat a little before the left"},
    {"FadeMask02_LucasR.bmp", {10, 0, 1, 480}, {320, 0, 1, 480}, "one edge sweeps to the right"},
    {"FadeMask02_LucasR.bmp", {320, 400, 1, 1}, {630, 400, 1, 1}, "one edge sweeps to the right"},
    {"FadeMask03_LucasL.bmp", {630, 0, 1, 480}, {320, 0, 1, 480}, "one edge sweeps to the left"},
    {"FadeMask03_LucasL.bmp", {320, 400, 1, 1}, {10, 400, 1, 1}, "one edge sweeps to the left"},
    {"FadeMask04_Circle.bmp", {319, 239, 2, 2}, {420, 240, 1, 1}, "the circle opens from the centre"},
    {"FadeMask04_Circle.bmp", {320, 140, 1, 1}, {0, 0, 1, 1}, "the corners last"},
    {"FadeMask05_CircleR.bmp", {0, 0, 1, 1}, {420, 240, 1, 1}, "the circle closes from the corners"},
    {"FadeMask05_CircleR.bmp", {320, 140, 1, 1}, {319, 239, 2, 2}, "the centre last"},
    {"FadeMask06_Clock.bmp", {330, 60, 1, 1}, {560, 240, 1, 1}, "twelve before three o'clock"},
    {"FadeMask06_Clock.bmp", {560, 240, 1, 1}, {320, 420, 1, 1}, "three before six"},
    {"FadeMask06_Clock.bmp", {320, 420, 1, 1}, {80, 240, 1, 1}, "six before nine"},
    {"FadeMask06_Clock.bmp", {80, 240, 1, 1}, {310, 60, 1, 1}, "nine before the end of the turn"},
    {"FadeMask07_Swirl.bmp", {410, 197, 1, 1}, {400, 298, 1, 1}, "an arm turns clockwise"},
    {"FadeMask07_Swirl.bmp", {410, 197, 1, 1}, {455, 176, 1, 1}, "an arm's outer part lags behind"},
    {"FadeMask08_Crystal.bmp", {280, 200, 1, 1}, {243, 163, 1, 1}, "a diamond grows from its cell's centre"},
    {"FadeMask08_Crystal.bmp", {280, 200, 1, 1}, {40, 40, 1, 1}, "the middle of the screen first"},
    {"FadeMask09_StripesB.bmp", {10, 30, 1, 1}, {630, 30, 1, 1}, "the first broad band slides in from the left"},
    {"FadeMask09_StripesB.bmp", {630, 90, 1, 1}, {10, 90, 1, 1}, "the second from the right"},
    {"FadeMask10_StripesN.bmp", {10, 8, 1, 1}, {630, 8, 1, 1}, "the first narrow band slides in from the left"},
    {"FadeMask10_StripesN.bmp", {630, 24, 1, 1}, {10, 24, 1, 1}, "the second from the right"},
    {"FadeMask11_Star.bmp", {319, 239, 2, 2}, {320, 100, 1, 1}, "the star grows from the centre"},
    {"FadeMask11_Star.bmp", {320, 100, 1, 1}, {402, 126, 1, 1}, "a point leads, the notch beside it follows"},
    {"FadeMask11_Star.bmp", {320, 100, 1, 1}, {320, 380, 1, 1}, "point up"},
    {"FadeMask12_Radiation.bmp", {320, 200, 1, 1}, {320, 20, 1, 1}, "a ray shoots out from the centre"},
    {"FadeMask12_Radiation.bmp", {320, 100, 1, 1}, {356, 104, 1, 1}, "rays before the gaps between them"},
    {"FadeMask13_RadiationR.bmp", {320, 20, 1, 1}, {320, 200, 1, 1}, "a ray shoots in from the edge"},
    {"FadeMask13_RadiationR.bmp", {320, 100, 1, 1}, {356, 104, 1, 1}, "rays before the gaps between them"},
    {"FadeMask14_Windmill.bmp", {338, 91, 1, 1}, {462, 193, 1, 1}, "a sail turns clockwise"},
    {"FadeMask14_Windmill.bmp", {468, 258, 1, 1}, {462, 193, 1, 1}, "the next sail starts a quarter turn on"},
    {"FadeMask15_Naruto.bmp", {321, 190, 1, 1}, {380, 240, 1, 1}, "the spiral winds clockwise"},
    {"FadeMask15_Naruto.bmp", {380, 240, 1, 1}, {322, 90, 1, 1}, "and outward, one turn at a time"},
    {"FadeMask15_Naruto.bmp", {322, 90, 1, 1}, {323, 10, 1, 1}, "and outward, one turn at a time"},
    {"FadeMask17_GhostD.bmp", {0, 0, 640, 40}, {0, 220, 640, 40}, "the front drifts down"},
    {"FadeMask17_GhostD.bmp", {0, 220, 640, 40}, {0, 440, 640, 40}, "the front drifts down"},
    {"FadeMask18_GhostU.bmp", {0, 440, 640, 40}, {0, 220, 640, 40}, "the front drifts up"},
    {"FadeMask18_GhostU.bmp", {0, 220, 640, 40}, {0, 0, 640, 40}, "the front drifts up"},
};

TEST_F(DemoPictures, EachMaskRevealsInTheOrderItsNameSays) {
  for (const RevealOrder& order : kRevealOrders) {
    SCOPED_TRACE(std::string(order.mask) + ": " + order.why);
    const auto mask = Load(order.mask);
    ASSERT_NE(mask, nullptr);
    EXPECT_GT(Mean(mask->alpha, order.first), Mean(mask->alpha, order.later));
  }
}

// The dissolve turns the same number of pixels with every value, scattered: neighbours are not alike.
TEST_F(DemoPictures, NoiseMaskIsAnEvenScatter) {
  const auto mask = Load("FadeMask16_Noise.bmp");
  ASSERT_NE(mask, nullptr);
  std::vector<int> count(256);
  double step = 0;
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      ++count[mask->alpha.PGet(x, y)];
      if (x > 0) step += std::abs(mask->alpha.PGet(x, y) - mask->alpha.PGet(x - 1, y));
    }
  EXPECT_EQ(*std::min_element(count.begin(), count.end()), 1200);
  EXPECT_EQ(*std::max_element(count.begin(), count.end()), 1200);
  EXPECT_GT(step / (639 * 480), 64) << "neighbours alike: a cloud, not a dissolve";
}

// The water tables, computed here from their formulas: the ripple phase of a pixel of one quadrant is minus its
// distance from the centre (so the rings run outward), the wave a sine over 256 steps about 127, and the
// displacement of wave value c at level l is (c - 127) x l x 10 / (127 x 31) pixels.
TEST_F(DemoPictures, WaterTablesHoldTheirFormulas) {
  const auto table = [&](const char* name) {
    for (const Expected& asset : kAssets)
      if (std::string(asset.name) == name) return data_.Bytes(asset);
    return std::string();
  };
  const std::string dist = table("WaterDistTbl.bin"), sine = table("WaterSinTbl.bin"), multi = table("WaterMultiTbl.bin");
  ASSERT_EQ(dist.size(), 153600u);
  ASSERT_EQ(sine.size(), 256u);
  ASSERT_EQ(multi.size(), 8160u);
  const auto phase = [&](int i, int j) {
    const std::size_t at = (static_cast<std::size_t>(j) * 320 + i) * 2;
    return static_cast<unsigned char>(dist[at]) | static_cast<unsigned char>(dist[at + 1]) << 8;
  };
  const auto byte = [](const std::string& t, std::size_t at) { return static_cast<int>(static_cast<unsigned char>(t[at])); };
  for (const auto& [i, j] : {std::pair{0, 0}, {1, 0}, {0, 1}, {17, 93}, {200, 150}, {319, 0}, {0, 239}, {319, 239}}) {
    const double r = std::sqrt((i + 0.5) * (i + 0.5) + (j + 0.5) * (j + 0.5));
    EXPECT_EQ(phase(i, j), (65536 - std::lround(r)) % 65536) << i << ", " << j;
  }
  EXPECT_EQ(phase(0, 0), 65535);
  EXPECT_EQ(phase(319, 239), 65536 - 399);
  for (int k : {0, 1, 32, 64, 100, 128, 160, 192, 255}) {
    EXPECT_EQ(byte(sine, k), 127 + std::lround(127 * std::sin(2 * M_PI * k / 256))) << k;
  }
  EXPECT_EQ(byte(sine, 64), 254);
  EXPECT_EQ(byte(sine, 192), 0);
  for (int c = 0; c < 255; ++c) EXPECT_EQ(byte(multi, c), 127) << "level 0 moves nothing";
  for (const auto& [level, c] : {std::pair{1, 0}, {7, 200}, {16, 127}, {20, 3}, {31, 0}, {31, 254}, {31, 190}}) {
    EXPECT_EQ(byte(multi, level * 255 + c), 127 + std::lround((c - 127) * level * 10 / (127.0 * 31))) << level << ", " << c;
  }
  EXPECT_EQ(byte(multi, 31 * 255), 117);
  EXPECT_EQ(byte(multi, 31 * 255 + 254), 137);
  // Two pixels further out, a wave value comes one step of the transition (8 phase units) later.
  for (int i = 10; i < 300; i += 7) EXPECT_EQ((phase(i + 2, 0) * 4 + 8) % 256, phase(i, 0) * 4 % 256) << i;
}

// The halation pictures are light added to the screen: black (adding nothing) around the shapes, light within,
// the glare brightest at its source in the top-left corner.
TEST_F(DemoPictures, HalationPicturesAreLightOnBlack) {
  const auto level = [](TZoRGBBits& bits, int x, int y) {
    unsigned char p[4];
    EXPECT_TRUE(bits.GetPat(x, y, 1, 1, p));
    return p[0] + p[1] + p[2];
  };
  for (const char* name : {"HaloBlueB.bmp", "HaloYellowB.bmp", "HaloYellowS.bmp", "HaloBlueS.bmp", "HaloGreen.bmp"}) {
    SCOPED_TRACE(name);
    const auto layer = Load(name);
    ASSERT_NE(layer, nullptr);
    const int w = layer->bits.GetWidth(), h = layer->bits.GetHeight();
    for (const auto& [x, y] : {std::pair{0, 0}, {w - 1, 0}, {0, h - 1}, {w - 1, h - 1}}) EXPECT_EQ(level(layer->bits, x, y), 0);
    int brightest = 0;
    for (int x = 0; x < w; ++x) brightest = std::max(brightest, level(layer->bits, x, h / 2));
    EXPECT_GT(brightest, 120) << "too faint to see";
  }
  const auto back = Load("HaloBack.bmp");
  ASSERT_NE(back, nullptr);
  EXPECT_GT(level(back->bits, 2, 2), 3 * 200);
  EXPECT_GT(level(back->bits, 100, 80), level(back->bits, 400, 300));
  EXPECT_GT(level(back->bits, 400, 300), level(back->bits, 639, 479));
}

// The two demonstration pictures differ clearly at every pixel, so that a test of a transition can tell which of
// them any point of the screen shows.
TEST_F(DemoPictures, DemoScenesDifferEverywhere) {
  const auto night = Load("DemoSceneNight.png"), dawn = Load("DemoSceneDawn.png");
  ASSERT_NE(night, nullptr);
  ASSERT_NE(dawn, nullptr);
  std::vector<unsigned char> a(640 * 480 * 4), b(a.size());
  ASSERT_TRUE(night->bits.GetPat(0, 0, 640, 480, a.data()));
  ASSERT_TRUE(dawn->bits.GetPat(0, 0, 640, 480, b.data()));
  int closest = 3 * 255;
  for (std::size_t p = 0; p < a.size(); p += 4)
    closest = std::min(closest, std::abs(a[p] - b[p]) + std::abs(a[p + 1] - b[p + 1]) + std::abs(a[p + 2] - b[p + 2]));
  EXPECT_GE(closest, 40);
}

TEST(DemoGameModes, PackAndFolderHoldTheSameFiles) {
  ExpectPackHoldsFolder(kGame / "Game.pak", kFolderGame / "Game_Pak");
  // One mode per game folder: a "Game_Pak" beside "Game.pak" would never be read.
  EXPECT_FALSE(fs::exists(kGame / "Game_Pak"));
  EXPECT_FALSE(fs::exists(kFolderGame / "Game.pak"));
  EXPECT_EQ(FilesIn(kGame / "BGM"), FilesIn(kFolderGame / "BGM"));
  for (const std::string& name : FilesIn(kGame / "BGM"))
    EXPECT_EQ(Slurp(kGame / "BGM" / name), Slurp(kFolderGame / "BGM" / name)) << name;
  EXPECT_EQ(Slurp(kGame / "Splash.jpg"), Slurp(kFolderGame / "Splash.jpg"));
}


// Another run, on another number of threads, gives the bytes of the build's run: nothing depends on the time,
// the machine or the order in which the assets were made.
TEST(DemoGameBuilder, SecondRunGivesTheSameBytes) {
  TempDir temp;
  const std::string command = std::string("'") + QORM_MKDEMO + "' '" + QORM_DEMO_DATA_DIR + "' '" + temp.str() +
                              "/game' '" + temp.str() + "/folder' --jobs 3";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const auto game = Tree(temp.path() / "game");
  ASSERT_FALSE(game.empty());
  for (const auto& [name, bytes] : game) EXPECT_TRUE(bytes == Slurp(kGame / name)) << name << " differs";
  EXPECT_TRUE(Tree(temp.path() / "folder") == Tree(kFolderGame)) << "the folder-mode game differs";
}

// A builder run on bad data fails with a message naming the file and line, and writes nothing.
TEST(DemoGameBuilder, BadDataFailsWithTheFileAndLine) {
  TempDir temp;
  fs::copy(QORM_DEMO_DATA_DIR, temp.path() / "data", fs::copy_options::recursive);
  std::ofstream(temp.path() / "data" / "sounds" / "SysSEOK.txt", std::ios::app) << "chime: H5/1\n";
  const std::string command = std::string("'") + QORM_MKDEMO + "' '" + temp.str() + "/data' '" + temp.str() +
                              "/game' '" + temp.str() + "/folder' 2>'" + temp.str() + "/errors'";
  EXPECT_NE(std::system(command.c_str()), 0);
  const std::string errors = Slurp(temp.path() / "errors");
  EXPECT_NE(errors.find("SysSEOK.txt:10: \"H5\" is not a pitch"), std::string::npos) << errors;
  EXPECT_FALSE(fs::exists(temp.path() / "game")) << "nothing is written before every asset is made";
}

}  // namespace
