// Label: threads
// The adventure's stage: the definition readers (character definitions with their checks against the sheet, entry
// animations, animated backgrounds), the background lookup by code, period and weather, the characters' loading
// and placing, the transitions by number, the movements by kind, the shakes and the flash, the weather particles
// on the seeded shared random sequence, the clipping of everything drawn, and the stage in the real game window.
#include "scenario/stageu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxsharedrandom.h"
#include "core/vxstd.h"
#include "core/vxstrlist.h"
#include "device/gameservices.h"
#include "graphics/zoalpha.h"
#include "graphics/zorgbbits.h"
#include "shell/gamedata.h"
#include "shell/gameeffect.h"
#include "shell/gamefunc.h"
#include "shell/gamestate.h"
#include "shell/systemdata.h"
#include "support/gamewindow.h"
#include "support/pictures.h"
#include "support/tempdir.h"

namespace {

constexpr int W = kScreenWidth, H = kScreenHeight;

// ---- Pictures and files

std::string Bmp(int w, int h, const std::function<std::uint32_t(int, int)>& colour) {
  std::vector<std::uint32_t> rgb(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) rgb[static_cast<std::size_t>(y) * w + x] = colour(x, y);
  return pictures::MakeBmp({w, h, 24, 0, 0, 40, 0, {}, pictures::Rows24(w, h, rgb)});
}
std::string Bmp(int w, int h, std::uint32_t colour) {
  return Bmp(w, h, [&](int, int) { return colour; });
}

// An RGBA picture: colour and alpha of each pixel.
std::string Png(int w, int h, const std::function<std::uint32_t(int, int)>& colour,
                const std::function<int(int, int)>& alpha) {
  pictures::PngSpec s{w, h, 6, 8, false, {}, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = colour(x, y);
      s.rows.insert(s.rows.end(), {static_cast<unsigned char>(c >> 16), static_cast<unsigned char>(c >> 8),
                                   static_cast<unsigned char>(c), static_cast<unsigned char>(alpha(x, y))});
    }
  return pictures::MakePng(s);
}
std::string Png(int w, int h, std::uint32_t colour, int alpha = 255) {
  return Png(
      w, h, [&](int, int) { return colour; }, [&](int, int) { return alpha; });
}

// A grey wipe mask (8-bit BMP through its palette levels).
std::string Mask(int w, int h) {
  std::vector<RGBQUAD> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0};
  std::vector<unsigned char> idx(static_cast<std::size_t>(w) * h);
  for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<unsigned char>(i * 7);
  return pictures::MakeBmp({w, h, 8, 256, 0, 40, 0, palette, pictures::Rows8(w, h, idx)});
}

// Every background picture shows its number: green = number & 255, blue = number >> 8.
std::uint32_t ColourOf(int number) { return 0x550000u | (number & 0xFF) << 8 | (number >> 8 & 0xFF); }
// ... and a PNG of the same number a little bluer.
std::uint32_t PngColourOf(int number) { return ColourOf(number) | 0x80; }

VXString Vx(const std::string& s) { return VXString(s.c_str()); }

VXStringList Lines(const std::string& text) {
  VXStringList list;
  list.SetText(text.c_str());
  return list;
}

std::uint32_t At(TZoRGBBits* bits, int x, int y) { return bits->PGet(x, y) & 0xFFFFFF; }

std::unique_ptr<TZoRGBBits> Picture(std::uint32_t colour = 0) { return gamewindow::FilledPicture(W, H, colour); }

std::uint32_t Add(std::uint32_t a, std::uint32_t b) {
  std::uint32_t out = 0;
  for (int s = 0; s < 24; s += 8) out |= std::min(255u, (a >> s & 255) + (b >> s & 255)) << s;
  return out;
}

// ---- The ground of the unit tests: a game folder with the system files (snow picture, masks), the background
// and character folders, the game services, and a stage on them.

class Stage : public ::testing::Test {
protected:
  Stage() : services_(nullptr, nullptr, bd32) {
    SetGameServices(&services_);
    ResetUserConfig(&UserConfig);
    SystemData = TSystemData();
    // Snow flakes: 14 x 14 at x 0, 12 x 12 at 14, 10 x 10 at 26, 8 x 8 at 36, each a flat grey of its own.
    Sys("Snow.bmp", Bmp(44, 14, [](int x, int) -> std::uint32_t {
          return x < 14 ? 0x404040 : x < 26 ? 0x303030 : x < 36 ? 0x202020 : 0x101010;
        }));
    for (const char* mask : {"FadeMask02_LucasR.bmp", "FadeMask07_Swirl.bmp", "FadeMask09_StripesB.bmp"})
      Sys(mask, Mask(64, 48));
  }
  ~Stage() override {
    stage_.reset();
    SetGameServices(nullptr);
  }

  void Sys(const std::string& name, const std::string& bytes) { dir_.Write("Sys/" + name, bytes); }
  void BG(const std::string& name, const std::string& bytes) { dir_.Write("EvBG_Pak/" + name, bytes); }
  void CG(const std::string& name, const std::string& bytes) { dir_.Write("EvCG_Pak/" + name, bytes); }
  // A background of one colour: its number's.
  void Background(int number, const char* ext = ".bmp", int w = 8, int h = 8) {
    const std::string name = "bg" + std::to_string(number) + ext;
    BG(name, std::string(ext) == ".png" ? Png(w, h, ColourOf(number)) : Bmp(w, h, ColourOf(number)));
  }
  // A character without a definition: a w x h sheet of one colour, opaque.
  void Character(int number, std::uint32_t colour, int w = 40, int h = 60) {
    CG(Name(number, ".png"), Png(w, h, colour));
  }
  static std::string Name(int number, const char* ext) {
    char name[32];
    std::snprintf(name, sizeof name, "chr%03d%s", number, ext);
    return name;
  }

  // A sheet of 48 x 40: the body (x < 32) with a transparent strip at its left edge, and a 16 x 16 "eyes" picture
  // at (32, 0); its definition frames the character in 64 x 80, the body at (10, 20) and the eyes at (40, 0).
  void DefinedCharacter(int number, std::uint32_t body, const std::string& extra = "") {
    CG(Name(number, ".png"), Png(
                                 48, 40, [&](int x, int y) { return x < 32   ? body
                                                                    : y < 16 ? 0xE0E0E0u
                                                                             : 0u; },
                                 [](int x, int y) { return x < 4 || (x >= 32 && y >= 16) ? 0 : 255; }));
    CG(Name(number, ".ini"),
       "[BASE]\nWIDTH=64\nHEIGHT=80\n"
       "[IMG]\nID=0\nPOSX=0\nPOSY=0\nWIDTH=32\nHEIGHT=40\n"
       "[IMG]\nID=1\nPOSX=32\nPOSY=0\nWIDTH=16\nHEIGHT=16\n"
       "[ENTRY]\nID=0\nPOSX=10\nPOSY=20\nIMG_ID=0\n"
       "[ENTRY]\nID=3\nPOSX=40\nPOSY=0\nIMG_ID=1\n" +
           extra);
  }

  // Opens the stage on what the folders hold now (the folder listings are read once).
  TStageUnit& Open() {
    system_.InitDir(Vx(dir_.str() + "/Sys"));
    stage_ = std::make_unique<TStageUnit>(nullptr);
    stage_->SetDataFolder(Vx(dir_.str() + "/"));
    EXPECT_TRUE(stage_->Open(&system_));
    return *stage_;
  }

  TStageUnit& Show(int code, int weather = 0, int period = 0, int transition = 0) {
    TStageUnit& s = *stage_;
    s.SetBGCode(code);
    s.SetWeatherCode(weather);
    s.SetDayPeriod(period);
    s.ChangeStage(transition);
    return s;
  }
  void SetChars(int left, int centre, int right, int moveKind = 0) {
    const int numbers[3] = {left, centre, right};
    stage_->SetChars(numbers, moveKind);
  }

  TZoRGBBits* Screen() const { return stage_->StagePanel->GetImage(); }
  std::uint32_t ScreenAt(int x, int y) const { return At(Screen(), x, y); }
  // Frames until the stage is idle; the count of frames that left it busy.
  int RunToIdle(int limit = 400) {
    int busy = 0;
    while (stage_->Frame(1, false) && busy < limit) ++busy;
    return busy;
  }

  TempDir dir_;
  TLocalGameServices services_;
  VXFileMan system_;
  std::unique_ptr<TStageUnit> stage_;
};

// ---- Character definitions ------------------------------------------------------------------------------------

TEST(CharDefinition, ReadsTheFourSectionsByIdAndIgnoresWhatTheRulesLeaveOut) {
  TCharDefinition def;
  ReadCharDefinition(Lines("WIDTH=99\n"  // before the first section: ignored
                           "[BASE]\n WIDTH = 200 \nHEIGHT=300\nnothing here\n=5\n"
                           "[IMG]\nPOSX=7\nID=3\nPOSX=10\nPOSY=20\nWIDTH=30\nHEIGHT=40\nID=4\nWIDTH=1\n"
                           "[IMG]\nID=16\nPOSX=1\nWIDTH=9\n"  // ignored whole
                           "[img]\nid=15\nwidth=5\n"          // keywords in any case
                           "[ENTRY]\nID=2\nPOSX=-4\nPOSY=8\nIMG_ID=3\nANIM_ID=1\n"
                           "[ENTRY]\nID=4\nIMG_ID=3\n"
                           "[OTHER]\nWIDTH=1\n"),
                     def);
  EXPECT_EQ(def.width, 200);
  EXPECT_EQ(def.height, 300);
  EXPECT_EQ(def.images[3].x, 10);
  EXPECT_EQ(def.images[3].y, 20);
  EXPECT_EQ(def.images[3].w, 1) << "a second ID inside a block is not read: the block goes on";
  EXPECT_EQ(def.images[3].h, 40);
  EXPECT_EQ(def.images[15].w, 5);
  for (int i : {0, 1, 2, 4}) EXPECT_EQ(def.images[i].w, 0) << i;
  EXPECT_EQ(def.entries[2].x, -4);
  EXPECT_EQ(def.entries[2].y, 8);
  EXPECT_EQ(def.entries[2].imgId, 3);
  EXPECT_EQ(def.entries[2].animId, 1);
  for (int e : {0, 1, 3}) {
    EXPECT_EQ(def.entries[e].imgId, -1) << e;
    EXPECT_EQ(def.entries[e].animId, -1) << e;
  }
}

struct AnimCase {
  const char* row;
  std::vector<TCharAnimFrame> frames;  // what is read; the rest holds the end
};

TEST(CharDefinition, ReadsAnAnimationRowUntilAnItemBreaksTheForm) {
  const int E = TCharAnimFrame::kEnd, L = TCharAnimFrame::kLoop;
  const AnimCase cases[] = {
      {"<0,5><LOOP>", {{0, 5}, {L, 1}}},
      {"<1,2><2,3><1,2><END>", {{1, 2}, {2, 3}, {1, 2}, {E, 1}}},
      {"<3,0><4,-7>", {{3, 1}, {4, 1}}},        // waits below 1 become 1
      {"<3,xy><4,4>", {{3, 1}, {4, 4}}},        // ... and so does a wait that is no number
      {"<3,><4,4>", {}},                        // the ">" stands too close to the "<"
      {"<1,2><,34><5,5>", {{1, 2}}},            // a comma first ends the row
      {"<1,2><15,>x<6,6>", {{1, 2}}},           // a comma last ends it too
      {"<1,2><12><3,3>", {{1, 2}}},             // "<12>" is too short as well
      {"<1,2><1234><3,3>", {{1, 2}}},           // long enough, but no form
      {"<1,2><3,3", {{1, 2}}},                  // no ">"
      {"  <loop>  < end >", {{L, 1}, {E, 1}}},  // keywords in any case, blanks around
      {"<a,3><7,b>", {{-1, 3}, {7, 1}}},        // image and wait that are not numbers
      {"<0,1><1,1><2,1><3,1><4,1><5,1><6,1><7,1><8,1><9,1><10,1><11,1><12,1><13,1><14,1><15,1><0,9>",
       {{0, 1},
        {1, 1},
        {2, 1},
        {3, 1},
        {4, 1},
        {5, 1},
        {6, 1},
        {7, 1},
        {8, 1},
        {9, 1},
        {10, 1},
        {11, 1},
        {12, 1},
        {13, 1},
        {14, 1},
        {15, 1}}},  // sixteen at most
  };
  for (const AnimCase& c : cases) {
    SCOPED_TRACE(c.row);
    TCharDefinition def;
    ReadCharDefinition(Lines(std::string("[ANIM]\nID=2\nANIMATION=") + c.row + "\n"), def);
    for (int k = 0; k < TCharDefinition::kFrames; ++k) {
      const TCharAnimFrame want = k < static_cast<int>(c.frames.size()) ? c.frames[k] : TCharAnimFrame{};
      EXPECT_EQ(def.anims[2][k].image, want.image) << "frame " << k;
      EXPECT_EQ(def.anims[2][k].wait, want.wait) << "frame " << k;
    }
  }
}

// The values of a definition are held to what its sheet can show: nothing is read outside the sheet, no picture
// number indexes past the tables, and no position makes the arithmetic of a rectangle overflow.
TEST(CharDefinition, IsHeldToTheSheetItDescribes) {
  TCharDefinition def;
  ReadCharDefinition(Lines("[BASE]\nWIDTH=-5\nHEIGHT=999999\n"
                           "[IMG]\nID=0\nPOSX=-10\nPOSY=-10\nWIDTH=30\nHEIGHT=30\n"  // cut at the top left
                           "[IMG]\nID=1\nPOSX=90\nPOSY=50\nWIDTH=30\nHEIGHT=30\n"    // cut at the bottom right
                           "[IMG]\nID=2\nPOSX=200\nPOSY=0\nWIDTH=10\nHEIGHT=10\n"    // wholly outside
                           "[IMG]\nID=3\nPOSX=2147483647\nWIDTH=2147483647\nHEIGHT=5\n"
                           "[IMG]\nID=4\nWIDTH=5\nHEIGHT=-5\n"
                           "[ANIM]\nID=0\nANIMATION=<16,1><-3,1><2,1><-2,1>\n"
                           "[ENTRY]\nID=0\nIMG_ID=16\nANIM_ID=4\nPOSX=2147483647\nPOSY=-2147483647\n"
                           "[ENTRY]\nID=1\nIMG_ID=-2\nANIM_ID=0\n"),
                     def);
  FitCharDefinition(def, 100, 60);
  EXPECT_EQ(def.width, 0);
  EXPECT_EQ(def.height, TCharDefinition::kMaxCharSide);
  const TCharImage want[] = {{0, 0, 20, 20}, {90, 50, 10, 10}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(def.images[i].x, want[i].x) << i;
    EXPECT_EQ(def.images[i].y, want[i].y) << i;
    EXPECT_EQ(def.images[i].w, want[i].w) << i;
    EXPECT_EQ(def.images[i].h, want[i].h) << i;
  }
  const int frames[] = {TCharAnimFrame::kEnd, TCharAnimFrame::kEnd, 2, TCharAnimFrame::kLoop};
  for (int k = 0; k < 4; ++k) EXPECT_EQ(def.anims[0][k].image, frames[k]) << k;
  EXPECT_EQ(def.entries[0].imgId, -1);
  EXPECT_EQ(def.entries[0].animId, -1);
  EXPECT_EQ(def.entries[0].x, kZoPanelCoordLimit);
  EXPECT_EQ(def.entries[0].y, -kZoPanelCoordLimit);
  EXPECT_EQ(def.entries[1].imgId, -1);
  EXPECT_EQ(def.entries[1].animId, 0);
  EXPECT_EQ(def.EntryImage(1), -1) << "frame 0 of its animation names no picture";
}

TEST(CharDefinition, EntryAnimationsWaitLoopAndStop) {
  TCharDefinition def;
  ReadCharDefinition(Lines("[IMG]\nID=0\nWIDTH=4\nHEIGHT=4\n[IMG]\nID=1\nPOSX=4\nWIDTH=4\nHEIGHT=4\n"
                           "[ANIM]\nID=0\nANIMATION=<0,5><LOOP>\n"
                           "[ANIM]\nID=1\nANIMATION=<0,1><1,2><END>\n"
                           "[ANIM]\nID=2\nANIMATION=<0,1><1,1><0,1><1,1><0,1><1,1><0,1><1,1><0,1><1,1><0,1>"
                           "<1,1><0,1><1,1><0,1><1,3>\n"
                           "[ENTRY]\nID=0\nANIM_ID=0\n[ENTRY]\nID=1\nANIM_ID=1\n[ENTRY]\nID=2\nANIM_ID=2\n"),
                     def);
  FitCharDefinition(def, 8, 4);
  // Image 0 for 5 frames, then back to frame 0.
  TCharEntry loop = def.entries[0];
  loop.run = 0;
  for (int f = 1; f <= 4; ++f) EXPECT_FALSE(AdvanceCharEntry(def, loop)) << f;
  EXPECT_TRUE(AdvanceCharEntry(def, loop));
  EXPECT_EQ(loop.frame, 0);
  EXPECT_EQ(loop.run, 0);
  // Image 0 for a frame, image 1 for two, then it stops on image 1.
  TCharEntry end = def.entries[1];
  end.run = 0;
  EXPECT_TRUE(AdvanceCharEntry(def, end));
  EXPECT_EQ(end.frame, 1);
  EXPECT_FALSE(AdvanceCharEntry(def, end));
  EXPECT_TRUE(AdvanceCharEntry(def, end));
  EXPECT_EQ(end.frame, 1);
  EXPECT_EQ(end.run, -1);
  def.entries[1] = end;
  EXPECT_EQ(def.EntryImage(1), 1) << "a stopped animation holds its last picture";
  EXPECT_FALSE(AdvanceCharEntry(def, end)) << "stopped";
  // Sixteen frames without an end: it stops on the last one.
  TCharEntry full = def.entries[2];
  full.run = 0;
  for (int f = 0; f < 15; ++f) ASSERT_TRUE(AdvanceCharEntry(def, full));
  EXPECT_EQ(full.frame, 15);
  EXPECT_FALSE(AdvanceCharEntry(def, full));
  EXPECT_FALSE(AdvanceCharEntry(def, full));
  EXPECT_TRUE(AdvanceCharEntry(def, full));
  EXPECT_EQ(full.frame, 15);
  EXPECT_EQ(full.run, -1);
}

TEST(BGAnimDefinition, NamesItsPictureFramesAndWaitOrFallsBackToTheStandIn) {
  struct Case {
    const char* text;
    const char* image;
    int frames, wait;
  };
  const Case cases[] = {
      {"[BASE]\nIMAGE=an120a.jpg\nFRAMES=4\nWAIT=8\n", "an120a.jpg", 4, 8},
      {"[BASE]\nIMAGE = Wave.PNG \nFRAMES=99\nWAIT=0\n", "Wave.PNG", 16, 1},
      {"[BASE]\nIMAGE=an.jpg\nFRAMES=-2\n", "an.jpg", 1, 4},
      {"", "Dammy.jpg", 1, 4},
      {"IMAGE=outside.jpg\n", "Dammy.jpg", 1, 4},
      {"[BASE]\nIMAGE=notes.txt\nFRAMES=3\n", "Dammy.jpg", 1, 4},
      {"[BASE]\nFRAMES=3\nWAIT=2\n", "Dammy.jpg", 1, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const TBGAnimDefinition def = ReadBGAnimDefinition(Lines(c.text));
    EXPECT_STREQ(def.image.c_str(), c.image);
    EXPECT_EQ(def.frames, c.frames);
    EXPECT_EQ(def.wait, c.wait);
  }
}

// ---- Backgrounds ----------------------------------------------------------------------------------------------

struct BGCase {
  int code, weather, period;
  std::vector<std::string> files;  // "bg124.png" (with an alpha channel), "bg127.bmp", "an125a.ini"
  int shown;
  int variant;  // 255 still, 0 'a', 1 'b'
  int weatherKind, colourMode, tint;
  std::uint32_t pixel;  // at (0, 0) of the stage
};

TEST_F(Stage, FindsTheBackgroundOfTheCodePeriodAndWeather) {
  const std::uint32_t black = 0, white = 0xFFFFFF;
  const BGCase cases[] = {
      // Indoors (F1), rain, evening: 125, 127, 124; the rain stays where the picture has an alpha plane.
      {1123, 2, 1, {"bg124.png"}, 124, 255, 5, 0, 2, PngColourOf(124)},
      {1123, 2, 1, {"bg124.png", "bg127.bmp"}, 127, 255, 0, 0, 2, ColourOf(127)},
      // Each candidate as its rain variant, then its plain one, then the still picture.
      {1123, 2, 1, {"an125a.ini", "bg125.bmp", "bg124.bmp"}, 125, 0, 0, 0, 2, black},
      {123, 2, 1, {"an125b.ini", "an125a.ini"}, 125, 1, 1, 0, 1, black},
      {123, 1, 1, {"an125b.ini", "an125a.ini"}, 125, 0, 0, 0, 1, black},
      // Extensions in order; the units digit does not count; late night is night.
      {120, 0, 0, {"bg120.png", "bg120.bmp"}, 120, 255, 0, 0, 0, ColourOf(120)},
      {120, 0, 0, {"bg120.png"}, 120, 255, 0, 0, 0, PngColourOf(120)},
      {127, 0, 4, {"bg123.bmp", "bg127.bmp"}, 123, 255, 0, 0, 0, ColourOf(123)},
      {120, 0, 3, {"bg122.bmp"}, 122, 255, 0, 0, 5, ColourOf(122)},
      // Bad weather: cloudy has no particles; evening falls back to morning, then to the day.
      {120, 1, 2, {"bg126.bmp"}, 126, 255, 0, 0, 5, ColourOf(126)},
      {120, 1, 1, {"bg127.bmp", "bg124.bmp"}, 127, 255, 0, 0, 1, ColourOf(127)},
      {120, 1, 1, {"bg124.bmp"}, 124, 255, 0, 0, 1, ColourOf(124)},
      {120, 1, 4, {"bg125.bmp", "bg124.bmp"}, 125, 255, 0, 0, 1, ColourOf(125)},
      // Rain in perspective (F2), heavy rain (F3), and F1 with F3 kept only through an alpha plane.
      {2120, 2, 2, {"bg126.bmp"}, 126, 255, 6, 0, 5, ColourOf(126)},
      {3120, 2, 0, {"bg124.bmp"}, 124, 255, 7, 0, 1, ColourOf(124)},
      {5120, 2, 0, {"bg124.bmp"}, 124, 255, 0, 0, 2, ColourOf(124)},
      {5120, 2, 0, {"bg124.png"}, 124, 255, 7, 0, 2, PngColourOf(124)},
      // Snow, indoors snow through the alpha plane; old film in sepia; monochrome negative.
      {120, 3, 0, {"bg124.bmp"}, 124, 255, 2, 0, 1, ColourOf(124)},
      {1120, 3, 0, {"bg124.png"}, 124, 255, 8, 0, 2, PngColourOf(124)},
      {1120, 3, 0, {"bg124.bmp"}, 124, 255, 0, 0, 2, ColourOf(124)},
      {120, 4, 0, {"bg120.bmp"}, 120, 255, 3, 1, 0, 0},
      {120, 5, 2, {"bg122.bmp"}, 122, 255, 4, 2, 5, 0},
      // No picture: 997 (whatever its thousands), 999, 998 white, numbers without a file, 900 and above.
      {1997, 2, 0, {"bg990.bmp"}, 999, 255, 0, 0, 0, black},
      {999, 0, 0, {}, 999, 255, 0, 0, 0, black},
      {998, 0, 0, {}, 998, 255, 0, 0, 0, white},
      {130, 0, 0, {"bg131.bmp"}, 130, 255, 0, 0, 0, black},
      {905, 0, 0, {"bg905.bmp"}, 905, 255, 0, 0, 0, black},
      // Event pictures: their own number only, no weather.
      {512, 2, 0, {"bg512.bmp", "an512a.ini", "bg514.bmp"}, 512, 255, 0, 0, 1, ColourOf(512)},
  };
  for (const BGCase& c : cases) {
    SCOPED_TRACE(::testing::Message() << "code " << c.code << " weather " << c.weather << " period " << c.period);
    stage_.reset();
    std::filesystem::remove_all(dir_.path() / "EvBG_Pak");
    for (const std::string& f : c.files) {
      const int number = std::stoi(f.substr(2, 3));
      if (f.rfind("an", 0) == 0) {
        BG(f, "");
      } else if (f.find(".png") != std::string::npos) {
        BG(f, Png(8, 8, PngColourOf(number), 200));
      } else {
        BG(f, Bmp(8, 8, ColourOf(number)));
      }
    }
    Open();
    Show(c.code, c.weather, c.period);
    EXPECT_EQ(stage_->GetShownBG(), c.shown);
    EXPECT_EQ(stage_->GetShownVariant(), c.variant);
    EXPECT_EQ(stage_->GetBGStat(0).weatherKind, c.weatherKind);
    EXPECT_EQ(stage_->GetColourMode(), c.colourMode);
    EXPECT_EQ(stage_->GetCharTint(), c.tint);
    if (c.colourMode == 0) {
      EXPECT_EQ(ScreenAt(0, 0), c.pixel);
    } else {
      // Sepia and the negative of grey both leave a picture whose channels are no longer the number's colour.
      EXPECT_NE(ScreenAt(0, 0), ColourOf(c.shown));
    }
    EXPECT_EQ(stage_->WeatherBack->GetVisible(), TStageUnit::WeatherShowsBack(c.weatherKind));
    EXPECT_EQ(stage_->WeatherFront->GetVisible(), TStageUnit::WeatherShowsFront(c.weatherKind));
  }
}

TEST_F(Stage, RecordsEventPicturesAsSeen) {
  Background(512);
  Background(699);
  Background(700);
  Open();
  for (int code : {512, 1699, 700}) Show(code);
  EXPECT_TRUE(SystemData.GetEventSeen(12));
  EXPECT_TRUE(SystemData.GetEventSeen(199));
  EXPECT_FALSE(SystemData.GetEventSeen(11));
  EXPECT_EQ(stage_->GetShownBG(), 700);
}

TEST_F(Stage, AnAnimatedBackgroundShowsItsFramesInTurn) {
  // Four frames stacked, frame i in the colour of 200 + i; eight frames of the clock each.
  BG("an120a.ini", "[BASE]\nIMAGE=an120a.bmp\nFRAMES=4\nWAIT=8\n");
  BG("an120a.bmp", Bmp(W, 4 * H, [](int, int y) { return ColourOf(200 + y / H); }));
  BG("an121a.ini", "[BASE]\n");  // without a picture of its own: the stand-in
  BG("Dammy.jpg", pictures::MakeJpeg({8, 8, 3, false, std::vector<unsigned char>(8 * 8 * 3, 0xFF)}));
  Open();
  Show(120);
  EXPECT_EQ(stage_->GetShownVariant(), 0);
  EXPECT_EQ(stage_->GetBGStat(0).frameCount, 4);
  std::vector<int> seen;
  for (int f = 0; f < 40; ++f) {
    for (int i = 0; i < 4; ++i)
      if (ScreenAt(320, 240) == ColourOf(200 + i) && (seen.empty() || seen.back() != i)) seen.push_back(i);
    stage_->Frame(1, false);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 0}));
  // Rebuilt without a transition into a picture of a different frame count: one frame.
  Show(121, 0, 1);
  EXPECT_EQ(stage_->GetBGStat(0).frameCount, 1);
  EXPECT_EQ(stage_->GetBGStat(0).frameWait, 4);
  EXPECT_GT(ScreenAt(2, 2) & 0xFF, 0xF0u) << "Dammy.jpg";
}

// ---- Characters -----------------------------------------------------------------------------------------------

TEST_F(Stage, CharactersStandAtTheirSlotsAsTheirSheetsOrDefinitionsSay) {
  Background(120, ".bmp", W, H);
  Character(10, 0x112233);  // 40 x 60, no definition
  Character(11, 0x445566, 50, 80);
  DefinedCharacter(12, 0x3060C0);
  Open();
  SetChars(10, 11, 12);
  Show(120);
  struct Want {
    int x, y, w, h;
  };
  const Want want[] = {{140, 210, 40, 60}, {295, 200, 50, 80}, {448, 200, 64, 80}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    TZoRGBPanel* p = stage_->GetCharPanel(TStageUnit::csStanding, i);
    EXPECT_TRUE(p->GetVisible());
    EXPECT_EQ(p->GetOffsetX(), want[i].x);
    EXPECT_EQ(p->GetOffsetY(), want[i].y);
    EXPECT_EQ(p->GetSizeX(), want[i].w);
    EXPECT_EQ(p->GetSizeY(), want[i].h);
    EXPECT_EQ(stage_->GetDrawRate(TStageUnit::csStanding, i), 128);
  }
  EXPECT_EQ(ScreenAt(141, 211), 0x112233u) << "the whole sheet from its top-left corner";
  EXPECT_EQ(ScreenAt(180, 240), ColourOf(120));
  EXPECT_EQ(ScreenAt(320, 279), 0x445566u);
  // The defined character: body at (458, 220), its transparent strip showing the background; eyes at (488, 200).
  EXPECT_EQ(ScreenAt(470, 230), 0x3060C0u);
  EXPECT_EQ(ScreenAt(459, 230), ColourOf(120));
  EXPECT_EQ(ScreenAt(490, 205), 0xE0E0E0u);
  EXPECT_EQ(ScreenAt(450, 205), ColourOf(120)) << "nothing is drawn where no entry stands";

  // A character without a picture is none; 999 is a blank 16 x 16 character that draws nothing.
  SetChars(13, 999, -1);
  stage_->ChangeStage(0);
  EXPECT_EQ(stage_->GetShownChar(0), -1);
  EXPECT_FALSE(stage_->CharLeft->GetVisible());
  EXPECT_EQ(stage_->GetShownChar(1), 999);
  EXPECT_TRUE(stage_->CharCenter->GetVisible());
  EXPECT_EQ(stage_->CharCenter->GetOffsetX(), 312);
  EXPECT_EQ(stage_->CharCenter->GetSizeY(), 16);
  EXPECT_EQ(ScreenAt(320, 240), ColourOf(120));
  EXPECT_FALSE(stage_->CharRight->GetVisible());
  EXPECT_EQ(ScreenAt(470, 230), ColourOf(120));
}

// A damaged definition on disk: a frame far too tall, rectangles reaching out of the sheet, picture numbers out of
// range, entries far off. The stage shows the part of each rectangle that lies on the sheet and reads nothing beside
// it, while the entries animate and the character leaves.
TEST_F(Stage, ADamagedDefinitionShowsOnlyWhatItsSheetHolds) {
  Background(120, ".bmp", W, H);
  constexpr std::uint32_t top = 0x112233, bottom = 0x3060C0;
  CG(Name(14, ".png"), Png(20, 20, [](int, int y) { return y < 10 ? top : bottom; }, [](int, int) { return 255; }));
  CG(Name(14, ".ini"),
     "[BASE]\nWIDTH=64\nHEIGHT=999999\n"
     "[IMG]\nID=0\nPOSX=-5\nPOSY=10\nWIDTH=400\nHEIGHT=400\n"  // the sheet's lower half
     "[IMG]\nID=1\nPOSX=25\nPOSY=0\nWIDTH=5\nHEIGHT=5\n"      // beside the sheet: no picture
     "[ANIM]\nID=0\nANIMATION=<1,1><0,1><16,1><0,1>\n"         // picture 16 ends the animation
     "[ENTRY]\nID=0\nPOSX=0\nPOSY=1000\nIMG_ID=0\n"
     "[ENTRY]\nID=3\nPOSX=40\nPOSY=1000\nANIM_ID=0\n"
     "[ENTRY]\nID=1\nPOSX=-2147483648\nPOSY=2147483647\nIMG_ID=99\nANIM_ID=7\n");
  Open();
  SetChars(-1, 14, -1);
  Show(120);
  ASSERT_EQ(stage_->GetShownChar(1), 14);
  EXPECT_EQ(stage_->CharCenter->GetSizeY(), TCharDefinition::kMaxCharSide);
  const int x = 320 - 32, y = (H - TCharDefinition::kMaxCharSide) / 2 + 1000;
  EXPECT_EQ(ScreenAt(x + 1, y + 1), bottom);
  EXPECT_EQ(ScreenAt(x + 19, y + 9), bottom);
  EXPECT_EQ(ScreenAt(x + 1, y + 10), ColourOf(120)) << "ten rows are left on the sheet";
  EXPECT_EQ(ScreenAt(x + 20, y + 1), ColourOf(120)) << "twenty columns";
  EXPECT_EQ(ScreenAt(x + 41, y + 1), ColourOf(120)) << "picture 1 lies beside the sheet: nothing";
  stage_->SetTalk(1, true);
  for (int f = 0; f < 40; ++f) stage_->Frame(1, false);
  EXPECT_EQ(ScreenAt(x + 41, y + 1), bottom) << "the animation's second picture, where it stops";
  EXPECT_EQ(stage_->GetCharStat(TStageUnit::csStanding, 1).def.entries[3].run, -1);
  SetChars(-1, -1, -1, 4);
  stage_->ChangeChars();
  EXPECT_EQ(RunToIdle(), 7);
  EXPECT_EQ(ScreenAt(x + 1, y + 1), ColourOf(120));
}

// The period's tint (and the colour mode) is applied to the sheets: a change of it reloads characters whose number
// stayed, and with a transition the old ones stay in the previous scene.
TEST_F(Stage, ThePeriodTintsTheCharactersAndAChangeOfTintReloadsThem) {
  Background(120, ".bmp", W, H);
  Background(121, ".bmp", W, H);
  DefinedCharacter(12, 0x3060C0);
  Open();
  SetChars(-1, 12, -1);
  Show(120);
  EXPECT_EQ(ScreenAt(320, 240), 0x3060C0u);
  TZoRGBBits reference(nullptr);
  reference.SetBitDepth(bd32);
  reference.Resize(1, 1);
  ASSERT_TRUE(reference.Create());
  reference.PSet(0, 0, 0x3060C0);
  reference.ToneChange(0, 0, 0, 0, 0x80705C);
  Show(120, 0, 1, 1);  // evening, with a transition
  EXPECT_EQ(stage_->GetCharTint(), 3);
  EXPECT_TRUE(stage_->GetPrevOwn(1));
  EXPECT_TRUE(stage_->GetCharStat(TStageUnit::csPrevious, 1).created);
  RunToIdle();
  EXPECT_EQ(ScreenAt(320, 240), At(&reference, 0, 0));
  EXPECT_NE(At(&reference, 0, 0), 0x3060C0u);
  EXPECT_FALSE(stage_->GetCharStat(TStageUnit::csPrevious, 1).created) << "released with the transition";
  EXPECT_EQ(stage_->GetShownChar(1), 12);
}

// ---- Transitions ----------------------------------------------------------------------------------------------

TEST_F(Stage, TransitionNumbersStartTheirEffectsWithTheDataTheyNeed) {
  Background(120, ".bmp", W, H);
  Background(122, ".bmp", W, H);
  Open();
  Show(120);
  enum Data { kNone, kMask, kWater, kHalo };
  struct Row {
    int transition, kind;
    Data data;
  };
  const Row rows[] = {{1, 0, kNone},   {2, 1, kNone},   {3, 0, kNone},  {4, 14, kMask},   {8, 3, kNone},
                      {11, 6, kNone},  {12, 7, kNone},  {13, 9, kNone}, {14, 11, kWater}, {15, 12, kHalo},
                      {19, 14, kMask}, {21, 13, kMask}, {31, 0, kNone}, {-1, 0, kNone}};
  int period = 0;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.transition);
    period ^= 2;
    EXPECT_TRUE(Show(120, 0, period, r.transition).IsBusy());
    EXPECT_EQ(stage_->GetMode(), TStageUnit::smTransition);
    EXPECT_EQ(stage_->GetEffectKind(), r.kind);
    EXPECT_EQ(stage_->GetEffects().Mask().IsLoaded(), r.data == kMask);
    EXPECT_EQ(stage_->GetEffects().Water().IsLoaded(), r.data == kWater);
    EXPECT_EQ(stage_->GetEffects().Halo().IsLoaded(), r.data == kHalo);
    EXPECT_TRUE(stage_->BGPanel2->GetVisible()) << "the previous scene is kept alive";
    EXPECT_GT(RunToIdle(), 0);
    EXPECT_EQ(stage_->GetMode(), TStageUnit::smIdle);
    EXPECT_EQ(stage_->GetEffectKind(), -1);
    EXPECT_FALSE(stage_->GetEffects().Mask().IsLoaded() || stage_->GetEffects().Water().IsLoaded() ||
                 stage_->GetEffects().Halo().IsLoaded());
    EXPECT_FALSE(stage_->BGPanel2->GetVisible());
    EXPECT_FALSE(stage_->GetBGStat(1).created);
    EXPECT_EQ(ScreenAt(320, 240), ColourOf(period == 2 ? 122 : 120));
  }
  // None: the new scene at once.
  EXPECT_FALSE(Show(120, 0, 0, 0).IsBusy());
  EXPECT_EQ(ScreenAt(320, 240), ColourOf(120));
}

TEST_F(Stage, ACrossFadeLastsItsFramesAtTheRateGivenAndASkipEndsIt) {
  Background(120, ".bmp", W, H);
  Background(122, ".bmp", W, H);
  Open();
  Show(120);
  struct Row {
    int rate, busyFrames;
  };
  for (const Row& r : {Row{100, 32}, Row{200, 16}, Row{50, 64}}) {
    SCOPED_TRACE(r.rate);
    stage_->SetDayPeriod(stage_->GetShownBG() == 120 ? 2 : 0);
    ASSERT_TRUE(stage_->ChangeStage(1, r.rate));
    EXPECT_EQ(RunToIdle(), r.busyFrames);
  }
  stage_->SetDayPeriod(0);
  ASSERT_TRUE(stage_->ChangeStage(1));
  stage_->Frame(1, false);
  EXPECT_FALSE(stage_->Frame(1, true));
  EXPECT_EQ(ScreenAt(320, 240), ColourOf(120));
  EXPECT_FALSE(stage_->Frame(0, false)) << "ticks 0 only ask";
}

// While a transition runs, layer set 2 shows the previous scene and both keep animating; a change of the weather
// alone lets set 2 share the picture.
TEST_F(Stage, LayerSetTwoShowsThePreviousSceneWhileATransitionRuns) {
  Background(120, ".bmp", W, H);
  Background(123, ".bmp", W, H);
  Background(124, ".bmp", W, H);
  Character(10, 0x112233);
  Character(11, 0x445566);
  Open();
  SetChars(10, -1, -1);
  Show(120);
  SetChars(11, -1, -1);
  Show(120, 0, 4, 1);  // the morning: no tint
  EXPECT_TRUE(stage_->GetSet2ShowsSlot1());
  EXPECT_TRUE(stage_->GetPrevOwn(0));
  auto set1 = Picture(), set2 = Picture();
  stage_->BGPanel->Draw(set1.get(), 0, 0);
  stage_->BGPanel2->Draw(set2.get(), 0, 0);
  EXPECT_EQ(At(set1.get(), 10, 10), ColourOf(123));
  EXPECT_EQ(At(set1.get(), 160, 240), 0x445566u);
  EXPECT_EQ(At(set2.get(), 10, 10), ColourOf(120));
  EXPECT_EQ(At(set2.get(), 160, 240), 0x112233u);
  RunToIdle();

  // Cloudy to rain: the same picture (124), another weather.
  Show(120, 1, 0);
  Show(120, 2, 0, 1);
  EXPECT_TRUE(stage_->GetSet2ShowsSlot1());
  EXPECT_EQ(stage_->GetBGStat(1).image, stage_->GetBGStat(0).image) << "shared, not copied";
  EXPECT_EQ(stage_->GetBGStat(1).weatherKind, 0);
  EXPECT_EQ(stage_->GetBGStat(0).weatherKind, 1);
  RunToIdle();
  EXPECT_TRUE(stage_->GetBGStat(0).image->IsCreated()) << "the sharer's release leaves the picture";
  EXPECT_EQ(ScreenAt(1, 1) & 0xFF00, ColourOf(124) & 0xFF00);
}

TEST_F(Stage, AMissingMaskIsTheGamesErrorAndLeavesTheNewSceneShown) {
  Background(120, ".bmp", W, H);
  Background(122, ".bmp", W, H);
  Open();
  Show(120);
  stage_->SetDayPeriod(2);
  EXPECT_THROW(stage_->ChangeStage(20), EGameErr);  // "FadeMask08_Crystal.bmp" is not there
  EXPECT_FALSE(stage_->IsBusy());
  EXPECT_EQ(stage_->GetEffectKind(), -1);
  EXPECT_FALSE(stage_->BGPanel2->GetVisible());
  EXPECT_EQ(ScreenAt(320, 240), ColourOf(122));
  EXPECT_FALSE(stage_->Frame(1, false));
}

// With SimpleDisplay a transition still runs, from a still picture of the old scene to one of the new; nothing of
// the scene animates, and no previous scene is kept.
TEST_F(Stage, SimpleDisplayKeepsTheTransitionButStopsTheAnimations) {
  BG("an120a.ini", "[BASE]\nIMAGE=an120a.bmp\nFRAMES=2\nWAIT=1\n");
  BG("an120a.bmp", Bmp(W, 2 * H, [](int, int y) { return ColourOf(200 + y / H); }));
  Background(122, ".bmp", W, H);
  DefinedCharacter(12, 0x3060C0, "[ANIM]\nID=0\nANIMATION=<0,1><1,1><LOOP>\n[ENTRY]\nID=3\nIMG_ID=-1\nANIM_ID=0\n");
  Open();
  SetChars(-1, 12, -1);
  Show(120);
  UserConfig.SimpleDisplay = 1;
  for (int f = 0; f < 5; ++f) stage_->Frame(1, false);
  EXPECT_EQ(stage_->GetBGStat(0).frame, 0);
  EXPECT_EQ(stage_->GetCharStat(TStageUnit::csStanding, 1).def.entries[3].frame, 0);
  EXPECT_TRUE(Show(120, 0, 2, 1).IsBusy());
  EXPECT_FALSE(stage_->BGPanel2->GetVisible());
  EXPECT_FALSE(stage_->GetPrevOwn(1));
  EXPECT_EQ(RunToIdle(), 32);
  EXPECT_EQ(ScreenAt(10, 10), ColourOf(122));
  UserConfig.SimpleDisplay = 0;
  Show(120);
  stage_->Frame(1, false);
  EXPECT_EQ(stage_->GetBGStat(0).frame, 1);
  EXPECT_EQ(stage_->GetCharStat(TStageUnit::csStanding, 1).def.entries[3].frame, 1);
}

// ---- Movements ------------------------------------------------------------------------------------------------

// Where a panel is and how strongly it is drawn at a step.
struct Place {
  int x, rate;
  bool operator==(const Place&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Place& p) { return o << "(" << p.x << ", " << p.rate << ")"; }

struct MoveCase {
  const char* name;
  int before[3], after[3], kind;
  // Per slot: the standing and the leaving panel at a step; x -1000 stands for hidden.
  std::function<Place(int slot, int step)> standing, leaving;
};

TEST_F(Stage, CharactersEnterAndLeaveByTheMoveKind) {
  Background(120, ".bmp", W, H);
  for (int n : {10, 11, 12, 13}) Character(n, 0x101010u * static_cast<std::uint32_t>(n));
  constexpr int hidden = -1000;
  const auto base = [](int slot) { return 160 * (slot + 1) - 20; };
  const auto still = [&](int slot, int) { return Place{base(slot), 128}; };
  const auto none = [&](int, int) { return Place{hidden, 0}; };
  const MoveCase cases[] = {
      {"in place: left slides, centre fades",
       {10, 11, 12},
       {13, -1, 12},
       0,
       [&](int slot, int s) {
         return slot == 0 ? Place{base(0) - 160 * (8 - s) / 8, s * 16} : slot == 1 ? Place{hidden, 0} : still(slot, s);
       },
       [&](int slot, int s) {
         return slot == 0   ? Place{base(0) - 160 * s / 8, (8 - s) * 16}
                : slot == 1 ? Place{base(1), (8 - s) * 16}
                            : Place{hidden, 0};
       }},
      {"shift left: the centre slides to the left without reloading",
       {10, 11, 12},
       {11, 12, -1},
       1,
       [&](int slot, int s) {
         return slot == 2 ? Place{hidden, 0} : Place{base(slot) + 160 * (8 - s) / 8, 128};
       },
       [&](int slot, int s) {
         return slot == 0 ? Place{base(0) - 160 * s / 8, (8 - s) * 16} : Place{hidden, 0};
       }},
      {"shift right",
       {-1, 10, 11},
       {-1, -1, 10},
       2,
       [&](int slot, int s) {
         return slot == 2 ? Place{base(2) - 160 * (8 - s) / 8, 128} : Place{hidden, 0};
       },
       [&](int slot, int s) {
         return slot == 2 ? Place{base(2) + 160 * s / 8, (8 - s) * 16} : Place{hidden, 0};
       }},
      {"redraw: all enter again",
       {10, 11, 12},
       {10, 11, 12},
       3,
       [&](int slot, int s) {
         return slot == 0   ? Place{base(0) - 160 * (8 - s) / 8, s * 16}
                : slot == 1 ? Place{base(1), s * 16}
                            : Place{base(2) + 160 * (8 - s) / 8, s * 16};
       },
       none},
      {"clear: all leave",
       {10, 11, 12},
       {10, 11, 12},
       4,
       none,
       [&](int slot, int s) {
         const int shift = 160 * s / 8;
         return Place{slot == 0 ? base(0) - shift : slot == 1 ? base(1) : base(2) + shift, (8 - s) * 16};
       }},
  };
  Open();
  const auto placeOf = [&](int set, int slot) {
    TZoRGBPanel* p = stage_->GetCharPanel(set, slot);
    return p->GetVisible() ? Place{p->GetOffsetX(), stage_->GetDrawRate(set, slot)} : Place{hidden, 0};
  };
  for (const MoveCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetChars(c.before[0], c.before[1], c.before[2]);
    Show(120);
    TZoRGBBits* oldCentre = stage_->GetCharStat(TStageUnit::csStanding, 1).sheet;
    SetChars(c.after[0], c.after[1], c.after[2], c.kind);
    EXPECT_TRUE(stage_->ChangeChars());
    for (int s = 0; s < 8; ++s) {
      SCOPED_TRACE(s);
      EXPECT_EQ(stage_->GetMoveStep(), s);
      for (int slot = 0; slot < 3; ++slot) {
        EXPECT_EQ(placeOf(TStageUnit::csStanding, slot), c.standing(slot, s)) << "standing " << slot;
        EXPECT_EQ(placeOf(TStageUnit::csLeaving, slot), c.leaving(slot, s)) << "leaving " << slot;
      }
      EXPECT_EQ(stage_->Frame(1, false), s < 7);
    }
    EXPECT_EQ(stage_->GetMode(), TStageUnit::smIdle);
    for (int slot = 0; slot < 3; ++slot) {
      const Place end = c.standing(slot, 8);
      EXPECT_EQ(placeOf(TStageUnit::csStanding, slot), end) << slot;
      EXPECT_EQ(placeOf(TStageUnit::csLeaving, slot), (Place{hidden, 0})) << slot;
      EXPECT_FALSE(stage_->GetCharStat(TStageUnit::csLeaving, slot).created) << slot;
    }
    if (c.kind == 1) {
      EXPECT_EQ(stage_->GetCharStat(TStageUnit::csStanding, 0).sheet, oldCentre);
    }
    for (int slot = 0; slot < 3 && c.kind == 4; ++slot) EXPECT_EQ(stage_->GetShownChar(slot), -1);
  }
}

// The leaving character is drawn only while the movement runs, blended at its rate; a skip ends the movement.
TEST_F(Stage, LeavingCharactersFadeAsTheyGoAndASkipEndsTheMove) {
  Background(120, ".bmp", W, H);
  Character(10, 0x8040C0);
  Character(11, 0x40C080);
  Open();
  SetChars(10, -1, -1);
  Show(120);
  SetChars(11, -1, -1);
  stage_->ChangeChars();
  stage_->Frame(1, false);
  stage_->Frame(1, false);  // step 2: the new one at x 20 (rate 32), the old one at x 100 (rate 96)
  const auto mix = [](std::uint32_t a, std::uint32_t b, int rate) {
    std::uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) {
      const int x = static_cast<int>(a >> s & 255), y = static_cast<int>(b >> s & 255);
      out |= static_cast<std::uint32_t>(x + ((y - x) * rate >> 7)) << s;
    }
    return out;
  };
  const auto near = [](std::uint32_t a, std::uint32_t b) {
    for (int s = 0; s < 24; s += 8)
      if (std::abs(static_cast<int>(a >> s & 255) - static_cast<int>(b >> s & 255)) > 2) return false;
    return true;
  };
  EXPECT_PRED2(near, ScreenAt(130, 240), mix(ColourOf(120), 0x8040C0, 96));
  EXPECT_PRED2(near, ScreenAt(30, 240), mix(ColourOf(120), 0x40C080, 32));
  EXPECT_FALSE(stage_->Frame(1, true));
  EXPECT_EQ(ScreenAt(130, 240), ColourOf(120));
  EXPECT_EQ(ScreenAt(160, 240), 0x40C080u);
}

// ---- Shakes and the flash -------------------------------------------------------------------------------------

TEST_F(Stage, ShakesMoveTheScreenStepByStepAndEnd) {
  Background(120, ".bmp", W, H);
  BG("bg120.bmp", Bmp(W, H, [](int x, int y) { return static_cast<std::uint32_t>(y << 8 | (x & 0xFF)); }));
  Open();
  Show(120);
  struct Row {
    int kind;
    std::vector<std::pair<int, int>> steps;  // offsets at step 0, 1, ...
  };
  const Row rows[] = {
      {0, {{0, -16}, {0, 16}, {0, -16}, {0, 16}, {0, -16}, {0, 16}, {0, -16}, {0, 16}, {0, -16}}},
      {1, {{-16, 0}, {16, 0}, {-16, 0}, {16, 0}, {-16, 0}, {16, 0}, {-16, 0}, {16, 0}, {-16, 0}}},
      {3, {{0, -4}, {0, -8}, {0, -12}, {0, -16}, {0, -32}, {0, 32}}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.kind);
    EXPECT_TRUE(stage_->StartShake(r.kind));
    int frame = 0;
    for (std::size_t t = 0; t < r.steps.size(); ++t) {
      EXPECT_EQ(stage_->GetShakeX(), r.steps[t].first) << "step " << t;
      EXPECT_EQ(stage_->GetShakeY(), r.steps[t].second) << "step " << t;
      if (t == 0) {
        // The stage shows its picture moved, the uncovered band black.
        auto shown = Picture(0xABCDEF);
        stage_->StagePanel->Draw(shown.get(), 0, 0);
        const int dx = r.steps[0].first, dy = r.steps[0].second;
        EXPECT_EQ(At(shown.get(), 100, 100), At(Screen(), 100 - dx, 100 - dy));
        EXPECT_EQ(At(shown.get(), dx < 0 ? 639 : 0, dy < 0 ? 479 : 0), 0u);
      }
      EXPECT_TRUE(stage_->Frame(1, false));
      EXPECT_TRUE(stage_->Frame(1, false) || t + 1 == r.steps.size());
      frame += 2;
    }
    EXPECT_FALSE(stage_->IsBusy()) << "ends at the first step past the last";
    EXPECT_EQ(stage_->GetShakeY(), 0);
    auto shown = Picture(0xABCDEF);
    stage_->StagePanel->Draw(shown.get(), 0, 0);
    EXPECT_EQ(At(shown.get(), 100, 100), At(Screen(), 100, 100));
  }
  // The random shake: offsets of -16, 0 or 16 from the shared sequence, on the even frames.
  VXSharedRandomReset();
  VXRandom r;
  ASSERT_TRUE(stage_->StartShake(2));
  for (int t = 0; t <= 8; ++t) {
    const int dx = 16 * r.Random(3) - 16, dy = 16 * r.Random(3) - 16;
    EXPECT_EQ(stage_->GetShakeX(), dx) << t;
    EXPECT_EQ(stage_->GetShakeY(), dy) << t;
    stage_->Frame(1, false);
    stage_->Frame(1, false);
  }
  EXPECT_FALSE(stage_->IsBusy());
  // Other kinds do nothing; a skip ends a shake at once.
  EXPECT_FALSE(stage_->StartShake(5));
  EXPECT_FALSE(stage_->StartShake(-1));
  ASSERT_TRUE(stage_->StartShake(0));
  EXPECT_FALSE(stage_->Frame(1, true));
  EXPECT_EQ(stage_->GetShakeY(), 0);
}

TEST_F(Stage, TheFlashGoesToWhiteAndBackToTheScene) {
  Background(120, ".bmp", W, H);
  Open();
  Show(120);
  ASSERT_TRUE(stage_->StartShake(4));
  int frames = 0, whiteAt = -1;
  while (stage_->Frame(1, false) && frames < 100) {
    ++frames;
    if (whiteAt < 0 && ScreenAt(320, 240) == 0xFFFFFFu) whiteAt = frames;
  }
  EXPECT_EQ(whiteAt, 16);
  EXPECT_EQ(frames, 33);
  EXPECT_EQ(ScreenAt(320, 240), ColourOf(120));
  EXPECT_EQ(stage_->GetEffects().GetFrom(), nullptr);
  ASSERT_TRUE(stage_->StartShake(4));
  stage_->Frame(1, false);
  EXPECT_FALSE(stage_->Frame(1, true));
  EXPECT_EQ(ScreenAt(320, 240), ColourOf(120));
}

// ---- Weather --------------------------------------------------------------------------------------------------

// Adds `colour` along column x from row y over `length` rows, inside the screen.
void AddColumn(TZoRGBBits* bits, int x, int y, int length, std::uint32_t colour) {
  if (x < 0 || x >= W) return;
  for (int row = std::max(0, y); row < std::min(H, y + length); ++row)
    bits->PSet(x, row, Add(At(bits, x, row), colour));
}

bool SamePictures(TZoRGBBits* a, TZoRGBBits* b) {
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x)
      if (At(a, x, y) != At(b, x, y)) {
        ADD_FAILURE() << "first difference at (" << x << ", " << y << ")";
        return false;
      }
  return true;
}

TEST_F(Stage, RainStreaksComeFromTheSharedSequenceAndTheirCountFromTheStageLevel) {
  BG("bg124.bmp", Bmp(W, H, 0u));
  Open();
  struct Row {
    int code, kind, level, back, front;
  };
  const Row rows[] = {{120, 1, 0, 12, 12},  {120, 1, 4, 64, 64}, {2120, 6, 0, 25, 0},
                      {2120, 6, 4, 128, 0}, {3120, 7, 0, 25, 0}, {3120, 7, 4, 128, 0}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "kind " << row.kind << " level " << row.level);
    Show(999);
    stage_->SetStageLevel(row.level);
    VXSharedRandomReset();
    Show(row.code, 2, 0);
    const TStageUnit::BGStat& slot = stage_->GetBGStat(0);
    ASSERT_EQ(slot.weatherKind, row.kind);
    EXPECT_EQ(slot.stageLevel, row.level);
    EXPECT_EQ(TStageUnit::BackStreaks(row.kind, row.level), row.back);
    EXPECT_EQ(TStageUnit::FrontStreaks(row.kind, row.level), row.front);
    VXRandom r;
    for (int i = 0; i < TStageUnit::kParticles; ++i) {
      const int x = r.Random(640), y = r.Random(480) - 120;
      ASSERT_EQ(slot.px[i], x) << i;
      ASSERT_EQ(slot.py[i], y) << i;
    }
    auto back = Picture(), want = Picture();
    stage_->WeatherBackDraw(nullptr, back.get(), 0, 0, 0, 0, W, H);
    for (int i = 0; i < row.back; ++i) {
      const int x = slot.px[i], y = slot.py[i];
      if (row.kind == 6) {
        DrawLineAdd(want.get(), x, y, 320 + (x - 320) * (y + 720) / (y + 480), y + 240, 0x202020, {0, 0, W, H});
      } else {
        AddColumn(want.get(), x, y, 241, 0x202020);
      }
    }
    EXPECT_TRUE(SamePictures(back.get(), want.get()));
    if (row.front > 0) {
      auto front = Picture(), wantFront = Picture();
      stage_->WeatherFrontDraw(nullptr, front.get(), 0, 0, 0, 0, W, H);
      for (int i = 64; i < 64 + row.front; ++i) AddColumn(wantFront.get(), slot.px[i], slot.py[i], 241, 0x202020);
      EXPECT_TRUE(SamePictures(front.get(), wantFront.get()));
    }
    // Placed anew every second frame.
    const std::int16_t firstX = slot.px[0];
    stage_->Frame(1, false);
    EXPECT_EQ(slot.px[0], firstX);
    stage_->Frame(1, false);
    EXPECT_EQ(slot.px[0], r.Random(640));
  }
  // Levels outside 0-4 are not taken.
  stage_->SetStageLevel(2);
  for (int bad : {5, -1, 99}) stage_->SetStageLevel(bad);
  EXPECT_EQ(stage_->GetStageLevel(), 2);
  for (int kind : {1, 5, 6, 7})
    for (int level : {-3, 5, 1000}) {
      EXPECT_LE(TStageUnit::BackStreaks(kind, level), TStageUnit::kParticles);
      EXPECT_LE(64 + TStageUnit::FrontStreaks(kind, level), TStageUnit::kParticles);
    }
}

TEST_F(Stage, SnowFallsOnEverySecondFrameWithItsDriftWave) {
  BG("bg124.bmp", Bmp(W, H, 0u));
  Open();
  VXSharedRandomReset();
  Show(120, 3, 0);
  const TStageUnit::BGStat& slot = stage_->GetBGStat(0);
  ASSERT_EQ(slot.weatherKind, 2);
  VXRandom r;
  for (int i = 0; i < TStageUnit::kParticles; ++i) {
    ASSERT_EQ(slot.px[i], r.Random(704) - 32) << i;
    ASSERT_EQ(slot.py[i], r.Random(480) - 480) << i;
  }
  EXPECT_EQ(std::vector<int>(slot.weatherAux, slot.weatherAux + 4), (std::vector<int>{0, 1, 2, 1}));
  std::vector<int> x0(slot.px, slot.px + 128), y0(slot.py, slot.py + 128);
  // Frame 1 moves (odd timer) and first advances the wave: group 0 takes group 1's drift.
  stage_->Frame(1, false);
  EXPECT_EQ(std::vector<int>(slot.weatherAux, slot.weatherAux + 4), (std::vector<int>{1, 1, 2, 1}));
  for (int i = 0; i < 128; ++i) {
    SCOPED_TRACE(i);
    if (i < 42) {
      EXPECT_EQ(slot.px[i], x0[i] + 1);
      EXPECT_EQ(slot.py[i], y0[i] + 4);
    } else if (i < 78) {
      EXPECT_EQ(slot.px[i], x0[i] + 1);
      EXPECT_EQ(slot.py[i], y0[i] + 5);
    } else {
      EXPECT_EQ(slot.px[i], x0[i] + (i < 106 ? 4 : 2));
      EXPECT_GE(slot.py[i], y0[i] + 6);
      EXPECT_LE(slot.py[i], y0[i] + (i < 106 ? 9 : 13));
    }
  }
  const std::vector<int> x1(slot.px, slot.px + 128);
  stage_->Frame(1, false);
  EXPECT_EQ(std::vector<int>(slot.px, slot.px + 128), x1) << "even frames rest";
  // Flakes that fall out at the bottom come back above the screen.
  for (int f = 0; f < 400; ++f) stage_->Frame(1, false);
  for (int i = 0; i < 128; ++i) {
    EXPECT_LE(slot.py[i], 494 + 13) << i;
    EXPECT_GE(slot.py[i], -480) << i;
  }
}

TEST_F(Stage, OldFilmScratchesJitterAndJumpFromTheSharedSequence) {
  BG("bg120.bmp", Bmp(W, H, 0x808080u));
  Open();
  VXSharedRandomReset();
  Show(120, 4, 0);
  const TStageUnit::BGStat& slot = stage_->GetBGStat(0);
  ASSERT_EQ(slot.weatherKind, 3);
  EXPECT_FALSE(stage_->WeatherBack->GetVisible());
  EXPECT_TRUE(stage_->WeatherFront->GetVisible());
  VXRandom r;
  int x[4], drift[4] = {};
  for (int& v : x) v = r.Random(640);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(slot.px[i], x[i]);
  stage_->Frame(1, false);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(slot.weatherAux[i], 0) << "the timer moves every second frame";
  stage_->Frame(1, false);
  for (int i = 0; i < 4; ++i) {
    if (r.Random(60) != 0) {
      drift[i] = r.Random(5) - 2;
    } else {
      x[i] = r.Random(640);
    }
    EXPECT_EQ(slot.px[i], x[i]) << i;
    EXPECT_EQ(slot.weatherAux[i], drift[i]) << i;
  }
  // Each line is two columns darker over the whole height (sepia has turned the grey).
  auto front = Picture(0x808080);
  stage_->WeatherFrontDraw(nullptr, front.get(), 0, 0, 0, 0, W, H);
  for (int i = 0; i < 4; ++i)
    for (int dx : {0, 1}) {
      const int col = x[i] + drift[i] + dx;
      if (col >= 0 && col < W) {
        EXPECT_EQ(At(front.get(), col, 300), 0x606060u) << i;
      }
    }
}

// Nothing of the weather reaches outside the area a handler is asked to draw, whatever the particles' places (rain
// above the screen, perspective streaks far to the side, flakes starting left of and above it); and through the
// background's alpha plane it reaches only where the plane lets it.
TEST_F(Stage, WeatherStaysInsideTheAreaAndTheAlphaPlane) {
  // The picture's alpha opens its left half (a window): indoor rain and snow show only there.
  BG("bg124.png", Png(
                      W, H, [](int, int) { return 0u; }, [](int x, int) { return x < 320 ? 255 : 0; }));
  Open();
  struct Row {
    int code, weather, kind;
  };
  const Row rows[] = {{120, 2, 1}, {2120, 2, 6}, {1120, 2, 5}, {120, 3, 2}, {1120, 3, 8}, {120, 4, 3}};
  const VXRect areas[] = {{100, 50, 300, 150}, {0, 0, 16, H}, {W - 16, 0, W, H}, {0, H - 10, W, H}};
  constexpr std::uint32_t grey = 0x404040;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    Show(999);
    Show(row.code, row.weather, 0);
    ASSERT_EQ(stage_->GetBGStat(0).weatherKind, row.kind);
    for (int f = 0; f < 240; ++f) {
      stage_->Frame(1, false);
      if (f % 80 != 79) continue;
      for (const VXRect& a : areas) {
        auto pic = Picture(grey);
        for (auto handler : {&TStageUnit::WeatherBackDraw, &TStageUnit::WeatherFrontDraw})
          ((*stage_).*handler)(nullptr, pic.get(), a.left, a.top, a.left, a.top, a.right - a.left, a.bottom - a.top);
        ASSERT_TRUE(pic->Lock());
        int outside = 0;
        for (int y = 0; y < H; ++y) {
          const auto* p = reinterpret_cast<const std::uint32_t*>(pic->GetBits() + y * pic->GetPitch());
          for (int x = 0; x < W; ++x)
            if (!a.InRect(x, y) && (p[x] & 0xFFFFFF) != grey) ++outside;
        }
        pic->Unlock();
        EXPECT_EQ(outside, 0) << "area " << a.left << "," << a.top;
      }
      if (row.kind == 5 || row.kind == 8) {
        auto pic = Picture(grey);
        stage_->WeatherBackDraw(nullptr, pic.get(), 0, 0, 0, 0, W, H);
        int right = 0, left = 0;
        for (int y = 0; y < H; y += 2)
          for (int x = 0; x < W; ++x)
            if (At(pic.get(), x, y) != grey) ++(x < 320 ? left : right);
        EXPECT_EQ(right, 0) << "nothing where the plane is closed";
        if (f > 100) {
          EXPECT_GT(left, 0);
        }
      }
    }
  }
}

// Drawn into a picture smaller than the area, with the area's origin far off it, the weather (whose particles start
// above, left and right of the screen) changes that picture exactly as it changes the same part of the screen.
TEST_F(Stage, WeatherDrawnIntoASmallerPictureIsThatPartOfTheScreen) {
  Background(120, ".bmp", W, H);
  Open();
  struct Row {
    int code, weather;
  };
  const Row rows[] = {{120, 2}, {2120, 2}, {3120, 2}, {120, 3}, {120, 4}};
  constexpr int sw = 40, sh = 24;
  struct Origin {
    int x, y;
  };
  const Origin origins[] = {{0, 0}, {300, 200}, {W - sw, H - sh}, {W - 10, 100}, {-20, -10}};
  constexpr std::uint32_t grey = 0x404040;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code * 10 + row.weather);
    Show(999);
    Show(row.code, row.weather, 0);
    for (int f = 0; f < 60; ++f) {
      stage_->Frame(1, false);
      if (f % 20 != 19) continue;
      auto whole = Picture(grey);
      for (auto handler : {&TStageUnit::WeatherBackDraw, &TStageUnit::WeatherFrontDraw})
        ((*stage_).*handler)(nullptr, whole.get(), 0, 0, 0, 0, W, H);
      for (const Origin& o : origins) {
        TZoRGBBits part(nullptr);
        part.SetBitDepth(bd32);
        part.Resize(sw, sh);
        ASSERT_TRUE(part.Create());
        part.BoxFill(0, 0, sw - 1, sh - 1, grey);
        for (auto handler : {&TStageUnit::WeatherBackDraw, &TStageUnit::WeatherFrontDraw})
          ((*stage_).*handler)(nullptr, &part, -o.x, -o.y, 0, 0, W, H);
        int differ = 0;
        for (int y = 0; y < sh; ++y)
          for (int x = 0; x < sw; ++x) {
            const bool onScreen = o.x + x >= 0 && o.y + y >= 0 && o.x + x < W && o.y + y < H;
            differ += At(&part, x, y) != (onScreen ? At(whole.get(), o.x + x, o.y + y) : grey);
          }
        EXPECT_EQ(differ, 0) << "at " << o.x << "," << o.y;
      }
    }
  }
}

// ---- Blinks and talk ------------------------------------------------------------------------------------------

TEST_F(Stage, CharactersBlinkAtRandomIntervalsAndTalkWhenAsked) {
  Background(120, ".bmp", W, H);
  DefinedCharacter(12, 0x3060C0,
                   "[ANIM]\nID=0\nANIMATION=<15,1><1,2><1,3><1,2><15,1><END>\n"
                   "[ANIM]\nID=1\nANIMATION=<15,3><1,3><LOOP>\n"
                   "[ENTRY]\nID=1\nPOSX=0\nPOSY=0\nANIM_ID=0\n[ENTRY]\nID=2\nPOSX=20\nPOSY=60\nANIM_ID=1\n");
  Open();
  SetChars(-1, 12, -1);
  Show(120);
  const auto entry = [&](int e) { return stage_->GetCharStat(TStageUnit::csStanding, 1).def.entries[e]; };
  EXPECT_EQ(entry(1).run, -1);
  EXPECT_EQ(entry(2).run, -1);
  EXPECT_EQ(entry(0).run, 0);
  VXSharedRandomReset();
  VXRandom r;
  const int wait = 120 + r.Random(60);
  stage_->Frame(1, false);  // sets the blink timer
  for (int f = 1; f < wait; ++f) {
    stage_->Frame(1, false);
    ASSERT_EQ(entry(1).run, -1) << f;
  }
  stage_->Frame(1, false);
  EXPECT_EQ(entry(1).frame, 1) << "started, and its first frame (one frame long) already shown";
  EXPECT_EQ(ScreenAt(289, 201), 0xE0E0E0u) << "the eyes picture over the body's place";
  for (int f = 0; f < 8; ++f) stage_->Frame(1, false);
  EXPECT_EQ(entry(1).run, -1) << "one blink, then it rests on its empty last frame";
  EXPECT_EQ(ScreenAt(289, 201), ColourOf(120));

  stage_->SetTalk(1, true);
  EXPECT_EQ(entry(2).run, 0);
  for (int f = 0; f < 3; ++f) stage_->Frame(1, false);
  EXPECT_EQ(entry(2).frame, 1);
  EXPECT_EQ(ScreenAt(310, 262), 0xE0E0E0u);
  stage_->SetTalk(1, false);
  EXPECT_EQ(entry(2).run, -1);
  EXPECT_EQ(entry(2).frame, 0) << "a stopped talk rests on its first frame";
  stage_->Frame(1, false);
  EXPECT_EQ(ScreenAt(310, 262), ColourOf(120));
  for (int slot : {0, 3, -1}) stage_->SetTalk(slot, true);
  EXPECT_FALSE(stage_->GetCharStat(TStageUnit::csStanding, 0).created);
  stage_->SetTalk(1, true);
  stage_->ResetCharEntries();
  EXPECT_EQ(entry(2).run, -1);
  EXPECT_EQ(entry(0).run, 0);
  EXPECT_EQ(entry(3).run, 0);
}

// ---- Life cycle -----------------------------------------------------------------------------------------------

TEST_F(Stage, OpenFailsWholeWithoutTheSnowPictureOrTheGameServices) {
  std::filesystem::remove(dir_.path() / "Sys" / "Snow.bmp");
  system_.InitDir(Vx(dir_.str() + "/Sys"));
  TStageUnit stage(nullptr);
  EXPECT_FALSE(stage.Open(&system_));
  EXPECT_FALSE(stage.IsOpen());
  EXPECT_EQ(stage.StagePanel->GetImage(), nullptr);
  EXPECT_FALSE(stage.ChangeStage(1));
  EXPECT_FALSE(stage.Frame(1, false));
  Sys("Snow.bmp", Bmp(44, 14, 0x202020u));
  system_.InitDir(Vx(dir_.str() + "/Sys"));
  SetGameServices(nullptr);
  EXPECT_FALSE(stage.Open(&system_));
  SetGameServices(&services_);
  EXPECT_TRUE(stage.Open(&system_));
  EXPECT_EQ(stage.GetMode(), TStageUnit::smIdle);
}

TEST_F(Stage, ResetEmptiesTheStage) {
  Background(120, ".bmp", W, H);
  Character(10, 0x112233);
  Open();
  SetChars(10, 10, 10);
  stage_->SetStageLevel(1);
  Show(120, 2, 0, 1);
  stage_->Frame(1, false);
  stage_->Reset();
  EXPECT_FALSE(stage_->IsBusy());
  EXPECT_EQ(stage_->GetShownBG(), TStageUnit::kNoBG);
  EXPECT_EQ(stage_->GetStageLevel(), 4);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(stage_->GetShownChar(i), -1);
    EXPECT_FALSE(stage_->GetCharPanel(TStageUnit::csStanding, i)->GetVisible());
  }
  EXPECT_FALSE(stage_->WeatherBack->GetVisible());
  EXPECT_EQ(ScreenAt(160, 240), 0u);
  // Built again from what is handed over anew.
  SetChars(10, -1, -1);
  Show(120);
  EXPECT_EQ(ScreenAt(160, 240), 0x112233u);
}

// ---- In the game window ---------------------------------------------------------------------------------------

struct MouseLog {
  std::vector<int> buttons;
  bool Clicked(int button) {
    buttons.push_back(button);
    return true;
  }
};

TEST(StageInTheWindow, ShowsTheSceneAndTheChangesAndPassesClicksOn) {
  gamewindow::GameWindow w;
  w.game.Write("Game_Pak/Snow.bmp", Bmp(44, 14, 0x202020u));
  w.game.Write("EvBG_Pak/bg120.bmp", Bmp(W, H, ColourOf(120)));
  w.game.Write("EvBG_Pak/bg123.bmp", Bmp(W, H, ColourOf(123)));
  w.game.Write("EvCG_Pak/chr010.png", Png(40, 60, 0x3366CC));
  ASSERT_TRUE(w.Start());
  ResetUserConfig(&UserConfig);
  TStageUnit stage(nullptr);
  stage.SetDataFolder(Vx(w.game.str() + "/"));
  ASSERT_TRUE(stage.Open(FileMan));
  w.form->AttachPanel(stage.StagePanel);
  w.form->SetResultPending(false);
  w.form->BeginAdventureMode();
  MouseLog log;
  stage.SetMouseCallback(VXCallback1<MouseLog, bool, int>(&log, &MouseLog::Clicked));
  const int chars[3] = {-1, 10, -1};
  stage.SetChars(chars, 0);
  stage.SetBGCode(120);
  stage.ChangeStage(0);
  w.Step();
  EXPECT_EQ(w.Pixel(600, 400), ColourOf(120));
  EXPECT_EQ(w.Pixel(320, 240), 0x3366CCu);
  // A transition to the morning, drawn frame by frame into the window.
  stage.SetDayPeriod(4);
  ASSERT_TRUE(stage.ChangeStage(1));
  std::vector<std::uint32_t> seen;
  for (int f = 0; f < 40 && stage.Frame(1, false); ++f) {
    w.Step(34);
    seen.push_back(w.Pixel(600, 400));
  }
  EXPECT_FALSE(stage.IsBusy());
  w.Step();
  EXPECT_EQ(w.Pixel(600, 400), ColourOf(123));
  EXPECT_EQ(w.Pixel(320, 240), 0x3366CCu);
  EXPECT_GT(
      std::count_if(seen.begin(), seen.end(), [](std::uint32_t c) { return c != ColourOf(120) && c != ColourOf(123); }),
      20)
      << "in between, a mix";
  w.Click(100, 100);
  w.Click(100, 100, platform::input::MouseButton::Right);
  w.Click(100, 100, platform::input::MouseButton::Middle);
  w.Step();
  EXPECT_EQ(log.buttons, (std::vector<int>{1, 2, 3}));
  w.form->DetachPanel(stage.StagePanel);
  stage.Close();
}

}  // namespace
