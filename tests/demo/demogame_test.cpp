// The demo game that the build makes with mkdemo: every file the first screens open is there, under the name the
// game opens, and loads with the game's own readers in the form and size the game expects; pack mode and folder
// mode hold the same files; and a second run of the builder gives the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
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
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

const fs::path kGame = QORM_DEMO_GAME_DIR;
const fs::path kFolderGame = QORM_DEMO_FOLDER_DIR;

enum class Where { kRoot, kMain, kBgm };
enum class Kind { kJpeg, kBmp, kPng, kPngAlpha, kSound, kMusic };

struct Expected {
  const char* name;
  Where where;
  Kind kind;
  int width, height;  // pictures; 0: any size the check of that picture allows
};

// The files the game window, the sound service, the sound room and the screenshot open by name.
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
    {"Track01.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track02.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track03.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track04.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track05.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track06.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track07.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track08.bgm", Where::kBgm, Kind::kMusic, 0, 0},
    {"Track09.bgm", Where::kBgm, Kind::kMusic, 0, 0},
};

// The loop points (bytes of 16-bit stereo samples) the sound service sets for tracks 3 and 4: the tracks must be
// longer, or the repeat would start from the beginning.
const std::map<std::string, std::int64_t> kLoopPoints = {{"Track03.bgm", 3175020}, {"Track04.bgm", 907224}};

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string ReadAll(VXStream* stream) {
  std::string bytes(static_cast<std::size_t>(stream->GetSize()), '\0');
  stream->Seek(0, VXSeekBegin);
  EXPECT_EQ(stream->Read(bytes.data(), static_cast<int>(bytes.size())), static_cast<int>(bytes.size()));
  return bytes;
}

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

struct Loaded {
  TZoRGBBits bits;
  TZoAlpha alpha;
};

// Decodes a picture as the game does: into a bitmap in the 32-bit render depth, a PNG's alpha into its plane.
std::unique_ptr<Loaded> LoadPicture(const std::string& bytes, Kind kind) {
  auto loaded = std::make_unique<Loaded>();
  loaded->bits.SetBitDepth(bd32);
  VXMemoryStream stream(bytes.data(), static_cast<int>(bytes.size()));
  bool ok = false;
  switch (kind) {
    case Kind::kJpeg: ok = loaded->bits.DrawJpegStream(&stream, 0, 0); break;
    case Kind::kBmp: ok = loaded->bits.DrawBmpStream(&stream, 0, 0); break;
    case Kind::kPng: ok = loaded->bits.DrawPngStream(&stream, 0, 0); break;
    case Kind::kPngAlpha:
      EXPECT_EQ(ChkChannelPng(&stream), 4) << "a picture drawn through its alpha plane needs an alpha channel";
      stream.Seek(0, VXSeekBegin);
      ok = loaded->bits.DrawPngStream(&stream, 0, 0, &loaded->alpha);
      break;
    default: break;
  }
  return ok ? std::move(loaded) : nullptr;
}

struct Decoded {
  int channels = 0, rate = 0, bits = 0;
  std::int64_t bytes = 0;
  int peak = 0;
};

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
    const auto picture = LoadPicture(bytes, asset.kind);
    ASSERT_NE(picture, nullptr) << "does not decode";
    if (asset.width != 0) {
      EXPECT_EQ(picture->bits.GetWidth(), asset.width);
      EXPECT_EQ(picture->bits.GetHeight(), asset.height);
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

std::set<std::string> FilesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) names.insert(entry.path().filename().string());
  return names;
}

TEST(DemoGameModes, PackAndFolderHoldTheSameFiles) {
  VXPack pack;
  ASSERT_TRUE(pack.LoadPack((kGame / "Game.pak").string().c_str()));
  std::set<std::string> packed;
  for (int i = 0; i < pack.GetFileNum(); ++i) {
    char name[kVXPackFullNameLength + 1];
    ASSERT_TRUE(pack.GetFileName(i, name));
    packed.insert(name);
    std::unique_ptr<VXStream> entry(pack.VXMakeStream(name));
    ASSERT_NE(entry, nullptr) << name;
    EXPECT_EQ(ReadAll(entry.get()), Slurp(kFolderGame / "Game_Pak" / name)) << name;
  }
  EXPECT_EQ(packed, FilesIn(kFolderGame / "Game_Pak"));
  // One mode per game folder: a "Game_Pak" beside "Game.pak" would never be read.
  EXPECT_FALSE(fs::exists(kGame / "Game_Pak"));
  EXPECT_FALSE(fs::exists(kFolderGame / "Game.pak"));
  EXPECT_EQ(FilesIn(kGame / "BGM"), FilesIn(kFolderGame / "BGM"));
  for (const std::string& name : FilesIn(kGame / "BGM"))
    EXPECT_EQ(Slurp(kGame / "BGM" / name), Slurp(kFolderGame / "BGM" / name)) << name;
  EXPECT_EQ(Slurp(kGame / "Splash.jpg"), Slurp(kFolderGame / "Splash.jpg"));
}

// Every file below `folder`, by its path relative to it.
std::map<std::string, std::string> Tree(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = Slurp(entry.path());
  return files;
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
