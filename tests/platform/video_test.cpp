// Label: threads
#include "platform/video.h"

#include <gtest/gtest.h>

#include <SDL.h>

#include <cstdlib>
#include <thread>

#include "platform/input.h"
#include "support/environment.h"

using namespace platform::video;

namespace {

// A picture in caller memory whose every byte depends on its place and on a seed.
struct TestPicture {
  Mode mode;
  std::ptrdiff_t pitch;
  std::vector<std::uint8_t> bytes;

  TestPicture(Mode m, int seed, int padding = 0) : mode(m) {
    pitch = static_cast<std::ptrdiff_t>(m.width) * BytesPerPixel(m.layout) + padding;
    bytes.resize(static_cast<std::size_t>(pitch) * m.height);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed * 13 + i / 641);
  }
  Picture View() const { return {bytes.data(), pitch, mode}; }
  // The tightly packed pixel bytes of (x, y).
  std::span<const std::uint8_t> At(int x, int y) const {
    const int bpp = BytesPerPixel(mode.layout);
    return {bytes.data() + y * pitch + x * bpp, static_cast<std::size_t>(bpp)};
  }
};

std::span<const std::uint8_t> PackedAt(const std::vector<std::uint8_t>& front, const Mode& m, int x, int y) {
  const int bpp = BytesPerPixel(m.layout);
  return {front.data() + (static_cast<std::size_t>(y) * m.width + x) * bpp, static_cast<std::size_t>(bpp)};
}

bool Inside(const std::vector<Rect>& rects, int x, int y) {
  for (const Rect& r : rects)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

bool Same(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

}  // namespace

TEST(Video, ClipRect) {
  const struct {
    Rect in, want;
  } cases[] = {
      {{10, 20, 30, 40}, {10, 20, 30, 40}},  {{-5, -5, 10, 10}, {0, 0, 10, 10}},
      {{600, 400, 700, 500}, {600, 400, 640, 480}}, {{640, 0, 700, 10}, {}},
      {{10, 10, 10, 20}, {}},                {{30, 30, 20, 20}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ClipRect(c.in, 640, 480), c.want) << c.in.left << "," << c.in.top;
}

TEST(MemoryPresenter, RecordsTheClippedRectanglesAndTheFrontAfterThem) {
  for (PixelLayout layout : {PixelLayout::Bgrx32, PixelLayout::Bgr24, PixelLayout::Rgb565}) {
    SCOPED_TRACE(BytesPerPixel(layout));
    const Mode mode{640, 480, layout};
    MemoryPresenter p;
    const TestPicture first(mode, 1), second(mode, 2, 12);
    const std::vector<Rect> rects1 = {{-10, -10, 50, 40}, {600, 470, 700, 500}, {5, 5, 5, 9}, {700, 0, 800, 10}};
    const std::vector<Rect> rects2 = {{20, 30, 70, 60}, {300, 200, 301, 201}};
    ASSERT_TRUE(p.Present(first.View(), rects1));
    ASSERT_TRUE(p.Present(second.View(), rects2));

    const auto frames = p.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].rects, (std::vector<Rect>{{0, 0, 50, 40}, {600, 470, 640, 480}}));
    EXPECT_EQ(frames[1].rects, rects2);
    EXPECT_EQ(frames[1].mode, mode);
    for (int y = 0; y < mode.height; ++y) {
      for (int x = 0; x < mode.width; ++x) {
        const bool in1 = Inside(frames[0].rects, x, y), in2 = Inside(rects2, x, y);
        const auto f0 = PackedAt(frames[0].pixels, mode, x, y), f1 = PackedAt(frames[1].pixels, mode, x, y);
        ASSERT_TRUE(in1 ? Same(f0, first.At(x, y)) : std::all_of(f0.begin(), f0.end(), [](auto b) { return b == 0; }))
            << x << "," << y;
        ASSERT_TRUE(Same(f1, in2 ? second.At(x, y) : f0)) << x << "," << y;
      }
    }
    EXPECT_EQ(p.Front(), frames[1].pixels);
  }
}

TEST(MemoryPresenter, ReadsBottomUpPicturesAndStartsBlackOnANewMode) {
  const Mode small{4, 3, PixelLayout::Bgrx32};
  const TestPicture top(small, 3);
  // The same picture stored bottom-up: rows in reverse order, seen from the top row with a negative pitch.
  std::vector<std::uint8_t> flipped(top.bytes.size());
  for (int y = 0; y < 3; ++y) std::copy_n(&top.bytes[y * top.pitch], top.pitch, &flipped[(2 - y) * top.pitch]);
  MemoryPresenter p;
  const Rect whole{0, 0, 4, 3};
  ASSERT_TRUE(p.Present({flipped.data() + 2 * top.pitch, -top.pitch, small}, {&whole, 1}));
  EXPECT_EQ(p.Front(), top.bytes);

  const Mode other{4, 3, PixelLayout::Rgb565};
  const TestPicture next(other, 4);
  const Rect one{1, 1, 2, 2};
  ASSERT_TRUE(p.Present(next.View(), {&one, 1}));
  std::vector<std::uint8_t> expected(4 * 3 * 2, 0);
  std::copy_n(next.At(1, 1).begin(), 2, &expected[(1 * 4 + 1) * 2]);
  EXPECT_EQ(p.Front(), expected);
  EXPECT_EQ(p.FrontMode(), other);
}

TEST(MemoryPresenter, RefusesPicturesItCannotReadAndFailsOnRequest) {
  const TestPicture good({8, 8, PixelLayout::Bgrx32}, 5);
  const Rect r{0, 0, 8, 8};
  const Picture bad[] = {
      {nullptr, 32, {8, 8, PixelLayout::Bgrx32}},
      {good.bytes.data(), 31, {8, 8, PixelLayout::Bgrx32}},
      {good.bytes.data(), 32, {0, 8, PixelLayout::Bgrx32}},
      {good.bytes.data(), 32, {8, -1, PixelLayout::Bgrx32}},
      {good.bytes.data(), 32, {8, 8, static_cast<PixelLayout>(9)}},
  };
  MemoryPresenter p;
  for (const Picture& b : bad) EXPECT_FALSE(p.Present(b, {&r, 1}));
  p.FailNext(1);
  EXPECT_FALSE(p.Present(good.View(), {&r, 1}));
  EXPECT_EQ(p.FrameCount(), 0u);
  EXPECT_TRUE(p.Present(good.View(), {&r, 1}));
  EXPECT_EQ(p.TakeFrames().size(), 1u);
  EXPECT_EQ(p.FrameCount(), 0u);

  EXPECT_FALSE(p.IsLost());
  p.RaiseLost();
  EXPECT_TRUE(p.IsLost());
  p.ClearLost();
  EXPECT_FALSE(p.IsLost());
}

TEST(Video, DisplayDriversAreThoseThatShowAPicture) {
  const std::vector<std::string> sdl = {"x11", "wayland", "KMSDRM", "offscreen", "dummy", "evdev"};
  struct Case {
    const char *wayland, *runtime;
    std::string expected;
  } cases[] = {{nullptr, nullptr, "x11,KMSDRM"},  // libwayland could only complain about XDG_RUNTIME_DIR
               {"wayland-0", nullptr, "x11,wayland,KMSDRM"},
               {nullptr, "/run/user/1000", "x11,wayland,KMSDRM"},
               {"", "", "x11,KMSDRM"}};
  for (const Case& c : cases) {
    Environment env;
    env.Set("WAYLAND_DISPLAY", c.wayland);
    env.Set("XDG_RUNTIME_DIR", c.runtime);
    EXPECT_EQ(DisplayDrivers(sdl), c.expected) << (c.wayland ? c.wayland : "-") << " " << (c.runtime ? c.runtime : "-");
  }
  EXPECT_EQ(DisplayDrivers(std::vector<std::string>{"offscreen", "dummy"}), "");
  for (const char* headless : {"dummy", "offscreen", "evdev"}) EXPECT_TRUE(IsHeadlessDriver(headless));
  for (const char* shows : {"x11", "wayland", "KMSDRM"}) EXPECT_FALSE(IsHeadlessDriver(shows));
}

// Mended: with no display SDL fell back to its offscreen driver, and the window opened where nobody could see it
// (after libwayland had complained about XDG_RUNTIME_DIR on standard error).
TEST(Video, WithoutADisplayTheWindowIsNotOpenedAndTheErrorSaysWhy) {
  Environment env;
  for (const char* name : {"SDL_VIDEODRIVER", "DISPLAY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) env.Set(name, nullptr);
  Window::Options o;
  o.hidden = true;
  o.softwareRenderer = true;
  std::string error;
  testing::internal::CaptureStderr();
  auto window = Window::Create(o, &error);
  const std::string printed = testing::internal::GetCapturedStderr();
  if (window) {
    EXPECT_TRUE(window->ShowsPicture()) << "opened on " << window->DriverName();
    GTEST_SKIP() << "this machine has a display without DISPLAY: " << window->DriverName();
  }
  EXPECT_NE(error.find("DISPLAY and WAYLAND_DISPLAY are not set"), std::string::npos) << error;
  EXPECT_NE(error.find("SDL_VIDEODRIVER=dummy"), std::string::npos) << error;
  EXPECT_EQ(printed, "");

  env.Set("SDL_VIDEODRIVER", "dummy");  // asked for: a window nobody sees
  window = Window::Create(o, &error);
  ASSERT_NE(window, nullptr) << error;
  EXPECT_EQ(window->DriverName(), "dummy");
  EXPECT_FALSE(window->ShowsPicture());
}

// The real window, on SDL's dummy video driver: no display is needed.
class SdlWindow : public ::testing::Test {
protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    std::string error;
    Window::Options o;
    o.hidden = true;
    o.softwareRenderer = true;
    o.vsync = false;
    o.input = &input;
    window = Window::Create(o, &error);
    if (!window) GTEST_SKIP() << "no SDL video: " << error;
  }

  // Pumps until `done` holds (or gives up after a generous while).
  template <typename F>
  bool PumpUntil(F done) {
    for (int i = 0; i < 500 && !done(); ++i) window->PumpEvents(10);
    return done();
  }

  std::vector<std::uint8_t> Shown() {
    std::vector<std::uint8_t> out;
    int w = 0, h = 0;
    EXPECT_TRUE(window->ReadPixels(out, w, h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    return out;
  }

  platform::input::Input input;
  std::unique_ptr<Window> window;
};

TEST_F(SdlWindow, ShowsFramesHandedOverByAnotherThreadAndRebuildsAfterAReset) {
  const Mode mode{640, 480, PixelLayout::Bgrx32};
  TestPicture first(mode, 6), second(mode, 7);
  for (std::size_t i = 3; i < first.bytes.size(); i += 4) first.bytes[i] = second.bytes[i] = 0;  // X bytes read 0
  const Rect whole{0, 0, 640, 480}, part{100, 100, 200, 150};
  const std::uint64_t before = window->FramesShown();
  std::thread game([&] {
    EXPECT_TRUE(window->presenter().Present(first.View(), {&whole, 1}));
    EXPECT_TRUE(window->presenter().Present(second.View(), {&part, 1}));
  });
  game.join();
  ASSERT_TRUE(PumpUntil([&] { return window->FramesShown() > before; }));

  std::vector<std::uint8_t> expected = first.bytes;
  for (int y = part.top; y < part.bottom; ++y)
    std::copy_n(&second.bytes[y * second.pitch + part.left * 4], part.Width() * 4,
                &expected[y * first.pitch + part.left * 4]);
  EXPECT_EQ(Shown(), expected);

  SDL_Event reset{};
  reset.type = SDL_RENDER_DEVICE_RESET;
  SDL_PushEvent(&reset);
  ASSERT_TRUE(PumpUntil([&] { return window->presenter().IsLost(); }));
  EXPECT_EQ(Shown(), expected) << "the texture is rebuilt from the whole front picture";
}

TEST_F(SdlWindow, SixteenBitPictures) {
  const Mode mode{640, 480, PixelLayout::Rgb565};
  std::vector<std::uint16_t> pixels(640 * 480, 0);
  const std::uint16_t colours[] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
  for (int i = 0; i < 4; ++i) pixels[i] = colours[i];
  const Rect whole{0, 0, 640, 480};
  const Picture picture{reinterpret_cast<const std::uint8_t*>(pixels.data()), 1280, mode};
  ASSERT_TRUE(window->presenter().Present(picture, {&whole, 1}));
  const auto shown = Shown();
  const std::uint8_t want[5][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}, {0, 0, 0}};
  for (int i = 0; i < 5; ++i)
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(shown[i * 4 + c], want[i][c], 3) << "pixel " << i << " byte " << c;
}

TEST_F(SdlWindow, PumpFeedsTheInputLayerAndTheCallbackAndStopsOnQuit) {
  SDL_Event key{};
  key.type = SDL_KEYDOWN;
  key.key.keysym.scancode = SDL_SCANCODE_UP;
  SDL_PushEvent(&key);
  std::vector<Uint32> seen;
  window->PumpEvents(0, [&](const SDL_Event& e) { seen.push_back(e.type); });
  EXPECT_NE(std::find(seen.begin(), seen.end(), Uint32{SDL_KEYDOWN}), seen.end());
  platform::input::Message m;
  do {
    ASSERT_TRUE(input.PollMessage(m));
  } while (m.kind != platform::input::Message::Kind::KeyDown);
  EXPECT_EQ(m.vk, 0x26);

  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  EXPECT_TRUE(window->PumpEvents(0, [](const SDL_Event&) {})) << "with a callback, the callback decides";
  EXPECT_FALSE(window->QuitRequested());
  std::thread([&] { window->RequestQuit(); }).join();
  EXPECT_FALSE(window->PumpEvents(0));
}

TEST_F(SdlWindow, FullScreenIsARequestCarriedOutByThePump) {
  window->presenter().SetFullScreen(true);
  EXPECT_TRUE(window->presenter().IsFullScreen());
  window->PumpEvents(0);
  EXPECT_NE(SDL_GetWindowFlags(window->sdlWindow()) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
  window->SetFullScreen(false);
  window->PumpEvents(0);
  EXPECT_EQ(SDL_GetWindowFlags(window->sdlWindow()) & SDL_WINDOW_FULLSCREEN, 0u);
  int w = 0, h = 0;
  SDL_GetWindowSize(window->sdlWindow(), &w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
}
