// The demo game's stage, as the adventure's stage unit finds it in both data modes: every place shows a picture of
// its own for every period and weather, the indoor place lets the weather through its window panes only, the
// animated night and the event pictures load, every character of data/stage/stage.txt stands with its blink and
// talk, the three persons look different, and the data sets hold the same files in pack and in folder mode.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "demo/demofiles.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "scenario/stageu.h"
#include "shell/gamedata.h"
#include "shell/systemdata.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using namespace demofiles;

const fs::path kGame = QORM_DEMO_GAME_DIR;
const fs::path kFolderGame = QORM_DEMO_FOLDER_DIR;

// What data/stage/stage.txt lists: the places (their first picture and scene), the event pictures and the
// characters (number -> person).
struct StageList {
  std::vector<std::pair<int, std::string>> places;
  std::vector<int> events;
  std::map<int, std::string> characters, expressions;
};

StageList ReadList() {
  StageList list;
  std::ifstream in(fs::path(QORM_DEMO_DATA_DIR) / "stage" / "stage.txt");
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string kind;
    if (!(words >> kind) || kind[0] == '#') continue;
    int number = 0;
    std::string name;
    words >> number >> name;
    if (kind == "place") list.places.emplace_back(number, name);
    if (kind == "event") list.events.push_back(number);
    if (kind != "character") continue;
    for (std::string expression; words >> expression; ++number) {
      list.characters[number] = name;
      list.expressions[number] = expression;
    }
  }
  return list;
}

class DemoStage : public ::testing::TestWithParam<bool> {
protected:
  DemoStage() : services_(nullptr, nullptr, bd32) {
    SetGameServices(&services_);
    ResetUserConfig(&UserConfig);
    SystemData = TSystemData();
    const fs::path game = GetParam() ? kGame : kFolderGame;
    if (GetParam()) {
      EXPECT_TRUE(system_.InitPack((game / "Game.pak").string().c_str()));
    } else {
      system_.InitDir((game / "Game_Pak").string().c_str());
    }
    stage_ = std::make_unique<TStageUnit>(nullptr);
    stage_->SetDataFolder((game.string() + "/").c_str());
    EXPECT_TRUE(stage_->Open(&system_));
  }
  ~DemoStage() override {
    stage_.reset();
    SetGameServices(nullptr);
  }

  void Show(int code, int weather, int period) {
    stage_->SetBGCode(code);
    stage_->SetWeatherCode(weather);
    stage_->SetDayPeriod(period);
    stage_->ChangeStage(0);
  }
  // The mean brightness (0..255) of the stage picture, and how many sample points are not black.
  std::pair<int, int> Brightness() const {
    TZoRGBBits* screen = stage_->StagePanel->GetImage();
    long sum = 0;
    int lit = 0, n = 0;
    for (int y = 4; y < 480; y += 16)
      for (int x = 4; x < 640; x += 16, ++n) {
        const std::uint32_t c = screen->PGet(x, y);
        const int v = ((c >> 16 & 255) + (c >> 8 & 255) + (c & 255)) / 3;
        sum += v;
        lit += v > 8 ? 1 : 0;
      }
    return {static_cast<int>(sum / n), lit * 100 / n};
  }

  TLocalGameServices services_;
  VXFileMan system_;
  std::unique_ptr<TStageUnit> stage_;
  const StageList list_ = ReadList();
};

TEST_P(DemoStage, EveryPlaceHasAPictureForEveryPeriodAndWeather) {
  ASSERT_FALSE(list_.places.empty());
  constexpr int kFirstOf[8] = {0, 1, 2, 3, 4, 5, 6, 7};  // every picture of a place exists: the first candidate
  for (const auto& [place, scene] : list_.places) {
    std::map<int, std::uint32_t> shown;  // picture -> a probe of its pixels
    for (int weather = 0; weather <= 5; ++weather)
      for (int period = 0; period <= 4; ++period) {
        SCOPED_TRACE(::testing::Message() << scene << " weather " << weather << " period " << period);
        Show(place + 3, weather, period);  // the units digit of a code does not count
        const int offset[5] = {0, 1, 2, 2, 3};
        const int p = (weather >= 1 && weather <= 3 ? 4 : 0) + offset[period];
        EXPECT_EQ(stage_->GetShownBG(), place + kFirstOf[p]);
        const auto [mean, lit] = Brightness();
        EXPECT_GT(lit, 90) << "a picture, not the black of a missing one";
        if (weather == 0) shown[stage_->GetShownBG()] = static_cast<std::uint32_t>(mean);
      }
    // Night is the darkest, the day among the brightest.
    EXPECT_LT(shown[place + 2], shown[place + 0]);
    EXPECT_LT(shown[place + 2], shown[place + 1]);
    EXPECT_LT(shown[place + 2], shown[place + 3]);
  }
}

// Seen from inside (codes 1xxx), rain and snow fall only where a picture's alpha plane opens the window panes:
// the classroom's bad-weather pictures have one, the riverside's none.
TEST_P(DemoStage, TheClassroomLetsTheWeatherThroughItsWindowsOnly) {
  struct Row {
    int code, weather, kind;
  };
  for (const Row& r : {Row{1100, 2, 5}, Row{1100, 3, 8}, Row{100, 2, 1}, Row{1120, 2, 0}, Row{120, 3, 2}}) {
    SCOPED_TRACE(r.code);
    Show(r.code, r.weather, 0);
    EXPECT_EQ(stage_->GetBGStat(0).weatherKind, r.kind);
  }
  Show(1100, 2, 0);
  for (int f = 0; f < 4; ++f) stage_->Frame(1, false);
  const TStageUnit::BGStat& slot = stage_->GetBGStat(0);
  ASSERT_TRUE(slot.HasAlpha());
  EXPECT_GT(slot.alpha->PGet(80, 120), 200) << "a pane";
  EXPECT_EQ(slot.alpha->PGet(320, 420), 0) << "the floor";
}

TEST_P(DemoStage, TheAnimatedNightAndTheEventPicturesLoad) {
  Show(120, 0, 2);
  EXPECT_EQ(stage_->GetShownVariant(), 0);
  EXPECT_GE(stage_->GetBGStat(0).frameCount, 2);
  std::set<std::uint32_t> probes;
  for (int f = 0; f < 60; ++f) {
    stage_->Frame(1, false);
    probes.insert(stage_->GetBGStat(0).frame);
  }
  EXPECT_EQ(probes.size(), static_cast<std::size_t>(stage_->GetBGStat(0).frameCount)) << "every frame shows";
  for (int event : list_.events) {
    SCOPED_TRACE(event);
    Show(event, 0, 0);
    EXPECT_EQ(stage_->GetShownBG(), event);
    EXPECT_GT(Brightness().second, 90);
    EXPECT_TRUE(SystemData.GetEventSeen(event - 500));
  }
}

TEST_P(DemoStage, EveryCharacterStandsBlinksAndTalks) {
  ASSERT_GE(list_.characters.size(), 9u);
  std::set<std::string> persons;
  std::map<std::string, std::vector<std::uint32_t>> looks;  // a person's first sheet, sampled
  for (const auto& [number, person] : list_.characters) {
    SCOPED_TRACE(number);
    persons.insert(person);
    const int numbers[3] = {-1, number, -1};
    stage_->SetChars(numbers, 0);
    Show(100, 0, 0);
    ASSERT_EQ(stage_->GetShownChar(1), number);
    const TStageUnit::CharStat& cs = stage_->GetCharStat(TStageUnit::csStanding, 1);
    ASSERT_TRUE(cs.alpha != nullptr && cs.alpha->IsCreated()) << "drawn through its alpha channel";
    EXPECT_EQ(stage_->CharCenter->GetSizeX(), cs.def.width);
    EXPECT_EQ(stage_->CharCenter->GetOffsetY() + cs.def.height, 480) << "standing on the bottom of the screen";
    EXPECT_EQ(cs.def.EntryImage(0), 0);
    EXPECT_GE(cs.def.entries[2].animId, 0) << "talks";
    EXPECT_EQ(cs.def.entries[1].animId >= 0, list_.expressions.at(number) != "smile") << "blinks unless smiling";
    // Talking opens the mouth within a few frames, and stopping closes it.
    stage_->SetTalk(1, true);
    bool opened = false;
    for (int f = 0; f < 12; ++f) {
      stage_->Frame(1, false);
      opened = opened || stage_->GetCharStat(TStageUnit::csStanding, 1).def.EntryImage(2) >= 0;
    }
    EXPECT_TRUE(opened);
    stage_->SetTalk(1, false);
    EXPECT_EQ(stage_->GetCharStat(TStageUnit::csStanding, 1).def.EntryImage(2), -1);
    if (looks.count(person) == 0) {
      std::vector<std::uint32_t>& look = looks[person];
      for (int y = 0; y < 480; y += 8)
        for (int x = 0; x < 260; x += 8) look.push_back(cs.sheet->PGet(x, y) & 0xFFFFFF);
    }
  }
  EXPECT_GE(persons.size(), 3u);
  // Every two persons differ over much of their pictures.
  for (auto a = looks.begin(); a != looks.end(); ++a)
    for (auto b = std::next(a); b != looks.end(); ++b) {
      int differing = 0;
      for (std::size_t i = 0; i < a->second.size(); ++i) differing += a->second[i] != b->second[i] ? 1 : 0;
      EXPECT_GT(differing * 100 / static_cast<int>(a->second.size()), 25) << a->first << " and " << b->first;
    }
}

INSTANTIATE_TEST_SUITE_P(PackAndFolder, DemoStage, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "PackMode" : "FolderMode"; });

TEST(DemoStageFiles, TheSetsHoldTheSameFilesInPackAndFolderMode) {
  for (const std::string set : {"EvBG", "EvCG"}) {
    SCOPED_TRACE(set);
    ExpectPackHoldsFolder(kGame / (set + ".pak"), kFolderGame / (set + "_Pak"));
    EXPECT_FALSE(fs::exists(kGame / (set + "_Pak")));
    EXPECT_FALSE(fs::exists(kFolderGame / (set + ".pak")));
  }
}

// The snow flakes: four soft flakes on black, of 14, 12, 10 and 8 pixels from x 0, 14, 26 and 36.
TEST(DemoStageFiles, TheSnowFlakesLieWhereTheStageTakesThem) {
  const auto snow = LoadPicture(Slurp(kFolderGame / "Game_Pak" / "Snow.bmp"), Kind::kBmp);
  ASSERT_NE(snow, nullptr);
  EXPECT_EQ(snow->bits.GetWidth(), 44);
  EXPECT_EQ(snow->bits.GetHeight(), 14);
  struct Flake {
    int x, size;
  };
  for (const Flake& f : {Flake{0, 14}, Flake{14, 12}, Flake{26, 10}, Flake{36, 8}}) {
    SCOPED_TRACE(f.x);
    EXPECT_GT(snow->bits.PGet(f.x + f.size / 2, 7) & 0xFF, 0xA0u) << "bright in the middle";
    EXPECT_EQ(snow->bits.PGet(f.x, 0) & 0xFFFFFF, 0u) << "black at the corner: nothing is added there";
  }
}

// A bad line of the stage list stops the builder with the file and line.
TEST(DemoStageFiles, ABadStageEntryFailsTheBuilderWithItsLine) {
  TempDir temp;
  fs::copy(QORM_DEMO_DATA_DIR, temp.path() / "data", fs::copy_options::recursive);
  std::ofstream(temp.path() / "data" / "stage" / "stage.txt", std::ios::app) << "place 125 classroom\n";
  const std::string command =
      std::string("'") + QORM_MKDEMO + "' '" + temp.str() + "/data' --only bg100.jpg 2>'" + temp.str() + "/errors'";
  EXPECT_NE(std::system(command.c_str()), 0);
  const std::string errors = Slurp(temp.path() / "errors");
  EXPECT_NE(errors.find("stage.txt:"), std::string::npos) << errors;
  EXPECT_NE(errors.find("bad entry"), std::string::npos) << errors;
}

}  // namespace
