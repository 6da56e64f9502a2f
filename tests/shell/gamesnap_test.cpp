// Label: threads
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/vxfileman.h"
#include "core/vxstream.h"
#include "device/zoddraw.h"
#include "graphics/vxbmp.h"
#include "graphics/vxpng.h"
#include "graphics/zorgbbits.h"
#include "platform/clipboard.h"
#include "platform/text.h"
#include "shell/gamef.h"
#include "support/gamewindow.h"

using gamewindow::GameWindow;

namespace {

constexpr int kW = TGameForm::kWidth, kH = TGameForm::kHeight;

// The colour of the test screen's 16 x 16 block holding (x, y).
std::uint32_t BlockColour(int x, int y) {
  return static_cast<std::uint32_t>((x / 16) * 6) << 16 | static_cast<std::uint32_t>((y / 16) * 8) << 8 | 0x80;
}

// Paints the screen in blocks of BlockColour on every full frame.
struct Painter {
  void Draw(TZoRGBBits* target) {
    for (int y = 0; y < kH; y += 16)
      for (int x = 0; x < kW; x += 16) {
        const std::uint32_t c = BlockColour(x, y);
        target->BoxFill(x, y, x + 15, y + 15, target->TZoRGBtoPixel({static_cast<unsigned char>(c >> 16),
                                                                   static_cast<unsigned char>(c >> 8),
                                                                   static_cast<unsigned char>(c)}));
      }
  }
};

// A picture read back: 0x00RRGGBB at (x, y).
struct Shot {
  std::vector<unsigned char> bytes;  // pf24_888
  int width = 0, height = 0;
  std::uint32_t At(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return static_cast<std::uint32_t>(bytes[i + 2]) << 16 | bytes[i + 1] << 8 | bytes[i];
  }
};

template <class Bytes>
Shot Read(const Bytes& file, bool png) {
  VXMemoryStream stream(file.data(), static_cast<int>(file.size()));
  unsigned char* pixels = nullptr;
  Shot shot;
  const bool ok = png ? LoadPng(&stream, &pixels, &shot.width, &shot.height, pf24_888)
                      : LoadBmp(&stream, &pixels, &shot.width, &shot.height, pf24_888);
  if (ok) shot.bytes.assign(pixels, pixels + static_cast<std::size_t>(shot.width) * shot.height * 3);
  std::free(pixels);
  return shot;
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A solid RGBA picture.
std::string SolidPng(int width, int height, unsigned char r, unsigned char g, unsigned char b) {
  pictures::PngSpec s;
  s.width = width, s.height = height, s.colourType = 6 /* RGBA */, s.bitDepth = 8;
  for (int i = 0; i < width * height; ++i) s.rows.insert(s.rows.end(), {r, g, b, 255});
  return pictures::MakePng(s);
}

// The game window with the painted screen, the clipboard replaced and the screenshot switch set.
struct SnapWindow {
  explicit SnapWindow(bool capEnable, int logoWidth = 100) {
    w.game.Write("Game_Pak/Cap_Logo.png", SolidPng(logoWidth, 20, 0xFF, 0, 0));
    w.game.Write("Game_Pak/Cap_Copy.png", SolidPng(50, 10, 0, 0xFF, 0));
    old = platform::clipboard::Replace(&clipboard);
    CapEnable = capEnable ? 1 : 0;
  }
  ~SnapWindow() {
    platform::clipboard::Replace(old);
    CapEnable = 0;
  }
  bool Start() {
    if (!w.Start()) return false;
    w.form->SetOnDrawFull(VXCallback1<Painter, void, TZoRGBBits*>(&painter, &Painter::Draw));
    w.form->DrawFullFrame();
    return true;
  }
  std::filesystem::path Folder() const { return w.save.path() / "BELVAR" / "QORM"; }
  std::vector<std::string> Snapshots() const {
    std::vector<std::string> names;
    if (!std::filesystem::exists(Folder())) return names;
    for (const auto& e : std::filesystem::directory_iterator(Folder()))
      if (e.path().filename().string().rfind("Snap", 0) == 0) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  GameWindow w;
  Painter painter;
  platform::clipboard::MemoryClipboard clipboard;
  platform::clipboard::Clipboard* old = nullptr;
};

}  // namespace

TEST(Snapshot, TheFirstFreeNumberIsTakenWithoutRegardToCase) {
  TempDir folder;
  struct Case {
    std::vector<std::string> present;
    int expected;
  };
  std::vector<std::string> all;
  for (int n = 0; n < kSnapshotFiles; ++n) all.push_back("Snap" + std::string(n < 10 ? "00" : n < 100 ? "0" : "") +
                                                        std::to_string(n) + ".png");
  const Case cases[] = {
      {{}, 0},
      {{"Snap000.png", "Snap001.png", "Snap002.png", "Snap003.png", "Snap004.png"}, 5},
      {{"snap000.PNG", "Snap002.png", "Snap1.png", "Snap001.bmp"}, 1},
      {all, -1},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(folder.path());
    std::filesystem::create_directories(folder.path());
    for (const std::string& name : c.present) folder.Write(name, "x");
    EXPECT_EQ(FindFreeSnapshot(folder.str()), c.expected) << c.present.size() << " files";
  }
  all.pop_back();  // Snap998.png free: the last number there is
  std::filesystem::remove_all(folder.path());
  std::filesystem::create_directories(folder.path());
  for (const std::string& name : all) folder.Write(name, "x");
  EXPECT_EQ(FindFreeSnapshot(folder.str()), 998);
}

// With the switch on, PrintScreen writes the next free file: the screen as it was presented, without the cursor
// and without the logo; the clipboard is left alone. With every name taken nothing is written.
TEST(Snapshot, PrintScreenWritesTheNextFreeFileOfTheScreen) {
  SnapWindow s(true);
  std::filesystem::create_directories(s.Folder());
  for (int n = 0; n < 5; ++n) std::ofstream(s.Folder() / ("Snap00" + std::to_string(n) + ".png")) << "old";
  ASSERT_TRUE(s.Start());
  s.w.MoveTo(200, 100);
  s.w.Step();
  ASSERT_EQ(s.w.Pixel(201, 101), 0x101010u);  // the cursor is on the screen

  s.w.Press(SDL_SCANCODE_PRINTSCREEN);
  ASSERT_TRUE(std::filesystem::exists(s.Folder() / "Snap005.png"));
  const Shot shot = Read(FileBytes(s.Folder() / "Snap005.png"), true);
  ASSERT_EQ(shot.width, kW);
  ASSERT_EQ(shot.height, kH);
  for (int y = 0; y < kH; y += 7)
    for (int x = 0; x < kW; x += 5) ASSERT_EQ(shot.At(x, y), BlockColour(x, y)) << x << ", " << y;
  EXPECT_EQ(shot.At(201, 101), BlockColour(201, 101));  // no cursor
  EXPECT_EQ(shot.At(10, kH - 5), BlockColour(10, kH - 5));  // no logo
  EXPECT_EQ(s.clipboard.pictures, 0);
  EXPECT_EQ(FileBytes(s.Folder() / "Snap000.png"), "old");

  s.w.Press(SDL_SCANCODE_PRINTSCREEN, true);  // with the cursor
  const Shot withCursor = Read(FileBytes(s.Folder() / "Snap006.png"), true);
  ASSERT_EQ(withCursor.width, kW);
  EXPECT_EQ(withCursor.At(201, 101), 0x101010u);
  EXPECT_EQ(withCursor.At(220, 120), BlockColour(220, 120));  // the transparent part of the cell
  EXPECT_EQ(s.Snapshots().size(), 7u);
}

// With the switch off, Alt+PrintScreen offers the screen with the cursor, the logo and the notice on the clipboard
// as PNG and BMP, and writes no file. The cursor at the screen's corner is cut off there; the screen itself keeps
// no trace of it.
TEST(Snapshot, WithoutTheSwitchThePictureGoesToTheClipboardAsPngAndBmp) {
  SnapWindow s(false);
  ASSERT_TRUE(s.Start());
  for (auto [x, y] : {std::pair{300, 200}, std::pair{kW - 4, 100}, std::pair{200, kH - 3}, std::pair{0, 0}}) {
    s.w.MoveTo(x, y);
    s.w.Step();
    const int before = s.clipboard.pictures;
    s.w.Press(SDL_SCANCODE_PRINTSCREEN, true);
    ASSERT_EQ(s.clipboard.pictures, before + 1);
    const Shot png = Read(s.clipboard.picture.png, true);
    const Shot bmp = Read(s.clipboard.picture.bmp, false);
    ASSERT_EQ(png.width, kW);
    ASSERT_EQ(png.height, kH);
    EXPECT_EQ(bmp.bytes, png.bytes);
    EXPECT_EQ(png.At(x, y), 0x101010u) << x << ", " << y;  // the cursor's cell, cut at the edges
    EXPECT_EQ(png.At(8, kH - 20), 0xFF0000u);               // the logo at x 8, on the bottom edge
    EXPECT_EQ(png.At(107, kH - 1), 0xFF0000u);
    EXPECT_EQ(png.At(7, kH - 1), BlockColour(7, kH - 1));
    EXPECT_EQ(png.At(108, kH - 1), BlockColour(108, kH - 1));
    EXPECT_EQ(png.At(kW - 50, kH - 10), 0x00FF00u);  // the notice in the bottom right corner
    EXPECT_EQ(png.At(kW - 51, kH - 10), BlockColour(kW - 51, kH - 10));
    EXPECT_EQ(png.At(kW - 50, kH - 11), BlockColour(kW - 50, kH - 11));
    if (x > 200) {
      EXPECT_EQ(png.At(100, 100), BlockColour(100, 100));
    }
  }
  EXPECT_TRUE(s.Snapshots().empty());
  // The screen was not touched: a frame redrawn from it shows the blocks where the cursor was.
  s.w.MoveTo(100, 100);
  s.w.Step();
  EXPECT_EQ(s.w.Pixel(kW - 3, 101), BlockColour(kW - 3, 101));
  EXPECT_EQ(s.w.Pixel(201, kH - 2), BlockColour(201, kH - 2));
  EXPECT_EQ(s.w.Pixel(301, 201), BlockColour(301, 201));
}

// A cursor whose hot spot is its centre reaches past the top-left corner: the picture holds the part on the screen.
TEST(Snapshot, ACursorPastTheTopLeftCornerIsCutThere) {
  SnapWindow s(false);
  ASSERT_TRUE(s.Start());
  s.w.form->SetCursorType(4);  // hot spot (15, 15)
  s.w.MoveTo(0, 0);
  s.w.Step();
  EXPECT_EQ(s.w.Pixel(0, 0), 0x505050u);
  EXPECT_EQ(s.w.Pixel(1, 1), BlockColour(1, 1));
  ASSERT_TRUE(s.w.form->TakeSnapshot(true));
  const Shot png = Read(s.clipboard.picture.png, true);
  ASSERT_EQ(png.width, kW);
  EXPECT_EQ(png.At(0, 0), 0x505050u);  // cell 4, its opaque quarter from (-15, -15)
  EXPECT_EQ(png.At(1, 1), BlockColour(1, 1));
  s.w.MoveTo(300, 300);
  s.w.Step();
  EXPECT_EQ(s.w.Pixel(0, 0), BlockColour(0, 0));
}

// A screen that cannot be read (its surface does not lock) gives no picture: no black file, nothing on the
// clipboard. Nor does a display that has gone.
TEST(Snapshot, AScreenThatCannotBeReadGivesNoPicture) {
  for (bool capEnable : {true, false}) {
    SnapWindow s(capEnable);
    ASSERT_TRUE(s.Start());
    s.w.form->OnHotKey(2);  // full screen: the frames are drawn on the display's own surface
    ASSERT_EQ(WindowMode.load(), 0);
    s.w.form->GetDisplay()->GetBackSurface()->Release();
    EXPECT_FALSE(s.w.form->TakeSnapshot(false));
    s.w.form->GetDisplay()->SetEnabled(false);
    EXPECT_FALSE(s.w.form->TakeSnapshot(true));
    EXPECT_TRUE(s.Snapshots().empty());
    EXPECT_EQ(s.clipboard.pictures, 0);
  }
}

// A clipboard that refuses the picture (no display) is reported, and the window goes on.
TEST(Snapshot, ARefusingClipboardIsReported) {
  SnapWindow s(false);
  ASSERT_TRUE(s.Start());
  s.clipboard.refuse = true;
  EXPECT_FALSE(s.w.form->TakeSnapshot(true));
  s.clipboard.refuse = false;
  EXPECT_TRUE(s.w.form->TakeSnapshot(true));
}

// A logo larger than the screen is not read at all; the screenshot is taken without it.
TEST(Snapshot, AnOverlayPictureLargerThanTheScreenIsLeftOut) {
  SnapWindow s(false, kW + 1);
  ASSERT_TRUE(s.Start());
  EXPECT_TRUE(s.w.form->TakeSnapshot(false));
  const Shot png = Read(s.clipboard.picture.png, true);
  ASSERT_EQ(png.width, kW);
  EXPECT_EQ(png.At(8, kH - 1), BlockColour(8, kH - 1));
  EXPECT_EQ(png.At(kW - 50, kH - 10), 0x00FF00u);  // the notice is still there
}

// The screenshot keys do nothing before the window is shown.
TEST(Snapshot, HotKeysWaitForTheWindow) {
  SnapWindow s(true);
  s.w.form = std::make_unique<TGameForm>(nullptr, s.w.setup);
  s.w.form->FormCreate();
  s.w.form->OnHotKey(0);
  s.w.form->OnHotKey(1);
  EXPECT_TRUE(s.Snapshots().empty());
}

// While an input-method hook is bound, the text of one composition arrives whole, in CP932; Enter stays a key
// press. Without the hook the same text becomes key presses.
TEST(InputMethod, ComposedTextGoesWholeToTheHookInCp932) {
  GameWindow w;
  ASSERT_TRUE(w.Start());
  w.form->BeginPanelMode();
  struct Hook {
    std::vector<std::string> texts;
    void Composed(VXString text) { texts.emplace_back(text.c_str()); }
  } hook;
  w.form->SetOnImeResult(VXCallback1<Hook, void, VXString>(&hook, &Hook::Composed));
  w.form->ClearInput();
  w.input.TextTyped("日本語a");
  w.input.KeyChanged(SDL_SCANCODE_RETURN, true, false);
  w.input.TextTyped("カ😀ナ");  // a character without a CP932 form cannot be typed
  w.RunMain();
  EXPECT_EQ(hook.texts, (std::vector<std::string>{*platform::text::Utf8ToCp932("日本語a"),
                                                  *platform::text::Utf8ToCp932("カナ")}));
  EXPECT_EQ(w.form->QueuedInput(), 2u) << "Enter: its key down and its key press";
  w.form->ClearInput();
  w.form->SetOnImeResult({});
  w.input.TextTyped("日");
  w.RunMain();
  EXPECT_EQ(hook.texts.size(), 2u);
  EXPECT_EQ(w.form->QueuedInput(), 2u);  // two bytes, two key presses
}

// Alt+Enter (either Enter key) switches the display and PrintScreen takes a picture; neither reaches the game's
// input, while Enter alone does.
TEST(HotKeys, TheGamesHotKeysNeverReachItsInput) {
  SnapWindow s(true);
  ASSERT_TRUE(s.Start());
  s.w.form->BeginPanelMode();
  s.w.form->ClearInput();
  s.w.Press(SDL_SCANCODE_RETURN, true);
  EXPECT_EQ(WindowMode.load(), 0);
  s.w.Press(SDL_SCANCODE_KP_ENTER, true);
  EXPECT_EQ(WindowMode.load(), 1);
  s.w.Press(SDL_SCANCODE_PRINTSCREEN);
  EXPECT_EQ(s.Snapshots().size(), 1u);
  EXPECT_EQ(s.w.form->QueuedInput(), 0u);
  s.w.Press(SDL_SCANCODE_RETURN);
  EXPECT_EQ(WindowMode.load(), 1);
  EXPECT_GT(s.w.form->QueuedInput(), 0u);
}

// On the demo game: a scene of the game on the screen, PrintScreen writes it as the player saw it; with the switch
// off, Alt+PrintScreen puts it on the clipboard with the demo's cursor, logo and notice. The key never reaches the
// game's input.
TEST(SnapshotOfTheDemoGame, TheScreenIsWrittenAndOfferedAsThePlayerSawIt) {
  for (const char* folder : {QORM_DEMO_GAME_DIR, QORM_DEMO_FOLDER_DIR}) {
    platform::clipboard::MemoryClipboard clipboard;
    platform::clipboard::Clipboard* old = platform::clipboard::Replace(&clipboard);
    GameWindow w;
    w.setup.gameFolder = folder;
    ASSERT_TRUE(w.Start()) << folder;
    struct Scene {
      TZoRGBBits picture;
      void Draw(TZoRGBBits* target) { target->ConvertCopy(0, 0, &picture, 0, 0, kW, kH); }
    } scene;
    VXStream* file = FileMan->Open("DemoSceneNight.png");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(scene.picture.DrawPngStream(file, 0, 0));
    FileMan->Close(file);
    w.form->SetOnDrawFull(VXCallback1<Scene, void, TZoRGBBits*>(&scene, &Scene::Draw));
    w.form->BeginPanelMode();
    w.MoveTo(320, 240);
    w.form->DrawFullFrame();
    const GameWindow::Picture front = w.Front();

    const std::size_t queued = w.form->QueuedInput();
    CapEnable = 1;
    w.Press(SDL_SCANCODE_PRINTSCREEN);
    CapEnable = 0;
    const std::filesystem::path saved = w.save.path() / "BELVAR" / "QORM" / "Snap000.png";
    const Shot shot = Read(FileBytes(saved), true);
    ASSERT_EQ(shot.width, kW) << folder;
    ASSERT_EQ(shot.height, kH);
    int cursorPixels = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const bool underCursor = x >= 320 && x < 352 && y >= 240 && y < 272;
        if (!underCursor) ASSERT_EQ(shot.At(x, y), front.Pixel(x, y)) << x << ", " << y;
        else cursorPixels += shot.At(x, y) != front.Pixel(x, y);
      }
    EXPECT_GT(cursorPixels, 20) << "the cursor is on the screen, not in the file";
    EXPECT_EQ(clipboard.pictures, 0);
    EXPECT_EQ(w.form->QueuedInput(), queued);

    w.Press(SDL_SCANCODE_PRINTSCREEN, true);
    ASSERT_EQ(clipboard.pictures, 1);
    const Shot offered = Read(clipboard.picture.png, true);
    ASSERT_EQ(offered.width, kW);
    EXPECT_EQ(Read(clipboard.picture.bmp, false).bytes, offered.bytes);
    int differ = 0;
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const bool overlay = (x >= 8 && x < 8 + 168 && y >= kH - 64) || (x >= kW - 210 && y >= kH - 20);
        if (!overlay) ASSERT_EQ(offered.At(x, y), front.Pixel(x, y)) << x << ", " << y;
        else differ += offered.At(x, y) != front.Pixel(x, y);
      }
    EXPECT_GT(differ, 500) << "the logo and the notice are drawn";
    EXPECT_FALSE(std::filesystem::exists(saved.parent_path() / "Snap001.png"));
    w.form.reset();
    platform::clipboard::Replace(old);
  }
}
