// A small window on the display and the input unit: a picture (or, without one, a test pattern) with a software
// cursor that follows the mouse, shown by dirty rectangles; key strokes are printed; Esc (or closing the window)
// quits.
//
//   display_demo [--fullscreen] [--frames N] [picture]
//
// The picture (BMP, PNG, JPEG, or GNY by the extension .lzh or .gny) is shown centred on black. --frames N quits by
// itself after N frames (N above 0) and says how many it showed. Exit status: 0 when the window was closed or the
// frames were shown; 1 when the picture cannot be read or the display cannot be enabled; 2 for a bad command line
// and without a display. SDL_VIDEODRIVER=dummy runs without one, but only with --frames: nothing else would end it.
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "core/vxstream.h"
#include "device/dinputu.h"
#include "device/zoddraw.h"
#include "graphics/vxgny.h"
#include "platform/input.h"
#include "platform/text.h"
#include "platform/video.h"
#include "tools/tooldisplay.h"

namespace {

constexpr int kCursor = 12;

void DrawPattern(TZoRGBBits* s) {
  const std::uint32_t bars[] = {0xFFFFFF, 0xFFFF00, 0x00FFFF, 0x00FF00, 0xFF00FF, 0xFF0000, 0x0000FF, 0x000000};
  const int w = s->GetWidth(), h = s->GetHeight();
  for (int i = 0; i < 8; ++i) s->BoxFill(i * w / 8, 0, (i + 1) * w / 8 - 1, h * 2 / 3, bars[i]);
  for (int x = 0; x < w; ++x) {
    const auto v = static_cast<std::uint32_t>(x * 255 / (w - 1));
    s->Line(x, h * 2 / 3 + 1, x, h - 1, v << 16 | v << 8 | v);
  }
  for (int x = 0; x < w; x += 40) s->Line(x, 0, x, h - 1, 0x404040);
  for (int y = 0; y < h; y += 40) s->Line(0, y, w - 1, y, 0x404040);
}

// The loaders by file extension (lower case).
struct Loader {
  const char* extension;
  bool (*load)(TZoRGBBits& bits, VXStream* stream);
};
constexpr Loader kLoaders[] = {
    {".bmp", [](TZoRGBBits& b, VXStream* s) { return b.DrawBmpStream(s, 0, 0); }},
    {".png", [](TZoRGBBits& b, VXStream* s) { return b.DrawPngStream(s, 0, 0); }},
    {".jpg", [](TZoRGBBits& b, VXStream* s) { return b.DrawJpegStream(s, 0, 0); }},
    {".jpeg", [](TZoRGBBits& b, VXStream* s) { return b.DrawJpegStream(s, 0, 0); }},
    {".gny", [](TZoRGBBits& b, VXStream* s) { return b.DrawGnyStream(s, 0, 0, GnyKey(0)); }},
    {".lzh", [](TZoRGBBits& b, VXStream* s) { return b.DrawGnyStream(s, 0, 0, GnyKey(0)); }},
};

// Reads the picture into `bits` (not created yet), which takes the picture's size. The name is the host's UTF-8.
bool LoadPicture(const std::string& name, TZoRGBBits& bits) {
  std::string extension = std::filesystem::path(name).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Loader& l : kLoaders) {
    if (extension != l.extension) continue;
    VXFileStreamW stream(platform::text::Utf8ToUtf16(name).c_str(), VXFileRead);
    if (!stream.IsOpen()) {
      std::fprintf(stderr, "display_demo: cannot open %s\n", name.c_str());
      return false;
    }
    if (l.load(bits, &stream)) return true;
    std::fprintf(stderr, "display_demo: cannot read the picture %s\n", name.c_str());
    return false;
  }
  std::fprintf(stderr, "display_demo: %s: not a .bmp, .png, .jpg, .jpeg, .gny or .lzh picture\n", name.c_str());
  return false;
}

// The background: the picture centred on black, or the test pattern when there is none.
void DrawBackground(TZoRGBBits* s, TZoRGBBits& picture) {
  if (!picture.IsCreated()) {
    DrawPattern(s);
    return;
  }
  s->Cls();
  const int w = picture.GetWidth(), h = picture.GetHeight();
  s->ConvertCopy((s->GetWidth() - w) / 2, (s->GetHeight() - h) / 2, &picture, 0, 0, w, h);
}

void DrawCursor(TZoRGBBits* s, int x, int y) {
  for (int i = 0; i < kCursor; ++i) {
    s->Line(x, y + i, x + kCursor - 1 - i, y + i, 0xFFFFFF);
    s->PSet(x, y + i, 0);
    s->PSet(x + kCursor - 1 - i, y + i, 0);
  }
}

int GameThread(platform::video::Window& window, platform::input::Input& input, bool fullScreen, long frames,
               TZoRGBBits& loaded) {
  DirectX::TDDraw display(nullptr);
  if (!EnableToolDisplay(display, window, fullScreen, "display_demo")) return 1;
  TDInputUnit unit;
  unit.Init(&input);
  unit.SetKeyboardEnabled(true);
  unit.SetJoypadEnabled(true);

  DirectX::TDSurface* picture = display.CreateSurface(640, 480, false);
  DirectX::TDSurface* back = display.GetBackSurface();
  auto redraw = [&](Classes::TComponent*) {
    DrawBackground(picture, loaded);
    back->Draw(0, 0, picture, 0, 0, 640, 480);
  };
  picture->OnRestore = [&](Classes::TComponent*) { DrawBackground(picture, loaded); };
  back->OnRestore = redraw;
  redraw(nullptr);
  display.Flip();

  VXRect cursor{0, 0, 0, 0};
  long frame = 0;
  for (; !window.QuitRequested() && (frames < 0 || frame < frames); ++frame) {
    unit.Update(1);
    TDInputUnit::KeyEvent events[32];
    const int n = unit.GetKeyEvents(events, 32);
    for (int i = 0; i < n; ++i) {
      std::printf("key %3u %s\n", events[i].key, events[i].pressed ? "down" : "up");
      if (events[i].key == 1 && events[i].pressed) window.RequestQuit();
    }
    std::fflush(stdout);

    VXRectSet changed;
    if (!cursor.IsRectEmpty()) {
      back->Draw(cursor.left, cursor.top, picture, cursor.left, cursor.top, cursor.right - cursor.left,
                 cursor.bottom - cursor.top);
      changed.UnionRect(cursor);
    }
    const int x = input.MouseX(), y = input.MouseY();
    VXIntersectRect({x, y, x + kCursor, y + kCursor}, {0, 0, 640, 480}, cursor);
    DrawCursor(back, x, y);
    changed.UnionRect(cursor);
    display.FlipModifyRect(changed);
    std::this_thread::sleep_for(std::chrono::milliseconds(16));
  }
  display.SetEnabled(false);
  window.RequestQuit();
  if (frames >= 0) std::printf("display_demo: %ld frames shown on the %s video driver\n", frame,
                              window.DriverName().c_str());
  return 0;
}

// A count of frames above 0, written in decimal and nothing else.
bool PositiveCount(const char* text, long& count) {
  char* end = nullptr;
  errno = 0;
  const long n = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || n <= 0) return false;
  count = n;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool fullScreen = false;
  long frames = -1;
  const char* pictureName = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0) {
      fullScreen = true;
    } else if (std::strcmp(argv[i], "--frames") == 0 && i + 1 < argc && PositiveCount(argv[i + 1], frames)) {
      ++i;
    } else if (argv[i][0] != '-' && pictureName == nullptr) {
      pictureName = argv[i];
    } else {
      std::fprintf(stderr, "usage: display_demo [--fullscreen] [--frames N] [picture]\n");
      return 2;
    }
  }
  // Read in the display's format (32-bit) before any window opens, so that a bad file fails at once.
  TZoRGBBits loaded;
  loaded.SetBitDepth(bd32);
  loaded.SetPixFormat(pf32_888);
  if (pictureName != nullptr && !LoadPicture(pictureName, loaded)) return 1;

  platform::input::Input input;
  platform::video::Window::Options options;
  options.titleUtf8 = "display demo";
  options.input = &input;
  options.fullScreen = fullScreen;
  std::string error;
  auto window = platform::video::Window::Create(options, &error);
  if (!window) {
    std::fprintf(stderr, "display_demo: no display: %s\n", error.c_str());
    return 2;
  }
  if (!window->ShowsPicture() && frames < 0) {
    std::fprintf(stderr, "display_demo: no display: the %s video driver shows nothing; give --frames N\n",
                 window->DriverName().c_str());
    return 2;
  }
  window->ShowCursor(false);
  int result = 0;
  std::thread game([&] { result = GameThread(*window, input, fullScreen, frames, loaded); });
  window->Run();
  game.join();
  window.reset();
  return result;
}
