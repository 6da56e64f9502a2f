// The picture at the platform boundary. The display composes its frames in memory; a Presenter takes the front
// picture and the rectangles that changed since the previous presentation and shows them.
//
// Two presenters exist: MemoryPresenter records every frame (for tests), and the presenter of the SDL Window copies
// the rectangles under a lock and lets the main thread upload them to a streaming texture and present it. SDL video
// stays on the main thread: the Window is created, pumped and destroyed there, while Present and the window
// requests (title, cursor, full screen, pointer position) may come from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

union SDL_Event;
struct SDL_Renderer;
struct SDL_Window;

namespace platform::input {
class Input;
}

namespace platform::video {

inline constexpr int kScreenWidth = 640;
inline constexpr int kScreenHeight = 480;

// Pixel layouts a picture may have; bytes in memory are B, G, R(, X) and 565 is one little-endian 16-bit word.
enum class PixelLayout : std::uint8_t { Bgrx32, Bgr24, Rgb565 };

int BytesPerPixel(PixelLayout layout);

// A rectangle of pixels, right and bottom exclusive.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// `r` cut to (0, 0, width, height); an empty rectangle when nothing is left.
Rect ClipRect(const Rect& r, int width, int height);

// Size and layout of the presented picture.
struct Mode {
  int width = kScreenWidth;
  int height = kScreenHeight;
  PixelLayout layout = PixelLayout::Bgrx32;
  friend bool operator==(const Mode&, const Mode&) = default;
};

// A view of a picture owned by the caller: `pitch` bytes from one row to the next (at least a row's bytes).
struct Picture {
  const std::uint8_t* pixels = nullptr;
  std::ptrdiff_t pitch = 0;
  Mode mode;
};

// Whether `picture` can be read: pixels present, a size above 0 and a pitch that holds a row.
bool IsValid(const Picture& picture);

// Copies rectangle `r` (already inside both pictures) from `src` to the same place of a tightly packed picture of
// the same mode.
void CopyRect(const Picture& src, const Rect& r, std::uint8_t* dst);

class Presenter {
public:
  virtual ~Presenter() = default;

  // Shows `rects` of `picture` (each cut to the picture; empty ones are skipped). A picture whose mode differs from
  // the previous one starts a new, black front picture, onto which `rects` are applied. The pixels are copied before
  // the call returns. False (nothing shown) when the picture is not valid or the presenter cannot show anything.
  virtual bool Present(const Picture& picture, std::span<const Rect> rects) = 0;

  // Full screen or a window of the picture's size. The request may take effect later (on the main thread).
  virtual void SetFullScreen(bool on) = 0;
  virtual bool IsFullScreen() const = 0;

  // Whether the shown frames wait for the vertical blank (on by default). Any thread; takes effect from the next
  // frame shown.
  virtual void SetVSync(bool on) = 0;
  virtual bool GetVSync() const = 0;

  // Lost surfaces: raised when the renderer reports that its textures or targets were reset. The display then
  // restores its surfaces, has their owners redraw them, and presents the whole picture again.
  bool IsLost() const { return lost_.load(); }
  void ClearLost() { lost_.store(false); }
  void RaiseLost() { lost_.store(true); }  // also the test hook

private:
  std::atomic<bool> lost_{false};
};

// Records every presentation: the rectangles as applied (cut, empty ones dropped) and a copy of the whole front
// picture after them, tightly packed (width × bytes per pixel per row).
class MemoryPresenter final : public Presenter {
public:
  struct Frame {
    Mode mode;
    std::vector<Rect> rects;
    std::vector<std::uint8_t> pixels;
    bool vsync = true;  // whether it was to wait for the vertical blank
  };

  bool Present(const Picture& picture, std::span<const Rect> rects) override;
  void SetFullScreen(bool on) override;
  bool IsFullScreen() const override;
  void SetVSync(bool on) override;
  bool GetVSync() const override;

  // The next `count` presentations fail (return false, record nothing): a failed write for the display's tests.
  void FailNext(int count);

  std::vector<Frame> Frames() const;
  std::vector<Frame> TakeFrames();
  std::size_t FrameCount() const;
  // The front picture as it is now (empty before the first presentation).
  std::vector<std::uint8_t> Front() const;
  Mode FrontMode() const;

private:
  mutable std::mutex mutex_;
  std::vector<Frame> frames_;
  std::vector<std::uint8_t> front_;
  Mode mode_;
  bool started_ = false;
  bool fullScreen_ = false;
  bool vsync_ = true;
  int failures_ = 0;
};

// SDL's video drivers that open no window anyone can see ("dummy", "offscreen" and the like).
bool IsHeadlessDriver(std::string_view driver);

// The drivers a window opens with when SDL_VIDEODRIVER names none, as SDL takes a list of them: of `sdlDrivers`
// (SDL's own, in its order of preference) those that show a picture, without "wayland" while the environment
// names no Wayland display and no runtime folder to find one in (the attempt could only fail, and say so on
// standard error). Empty when none is left.
std::string DisplayDrivers(std::span<const std::string> sdlDrivers);

// The one SDL window with its renderer and streaming texture. Destroy it only after the game thread has stopped
// presenting and moving the pointer: its presenter and the input layer's pointer moves lead into it.
class Window {
public:
  struct Options {
    std::string titleUtf8 = "qorm";
    Mode mode;
    bool fullScreen = false;
    bool hidden = false;           // no window on the desktop (tests, the dummy and offscreen drivers)
    bool softwareRenderer = false;
    bool vsync = true;
    // Receives keys, text, mouse, focus and joypad; without one the events only go to the callback.
    input::Input* input = nullptr;
  };

  // Every SDL event the pump handled, after the input layer saw it.
  using EventCallback = std::function<void(const SDL_Event&)>;

  // Main thread only. Initialises SDL video (and joysticks when an input layer is given) and opens the window;
  // null with `error` set when SDL cannot. The driver is the one SDL_VIDEODRIVER names (a headless one too);
  // without it, only drivers that show a picture are tried (DisplayDrivers): where there is no display, Create
  // fails and `error` says why, instead of opening a window nobody sees.
  static std::unique_ptr<Window> Create(const Options& options, std::string* error = nullptr);
  ~Window();  // main thread; Present afterwards fails
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Thread-safe; the frames are shown by the main thread's pump.
  Presenter& presenter();

  // Thread-safe requests, carried out by the pump.
  void SetTitle(std::string_view utf8);
  void ShowCursor(bool show);
  void SetFullScreen(bool on);
  void RequestQuit();
  bool QuitRequested() const;

  // Main thread: handles every pending event (waiting up to `waitMs` for the first one), the window requests and
  // the frames handed over, calling `callback` for each SDL event. Returns false once a quit was requested. Quit and
  // close events request the quit themselves when there is no callback.
  bool PumpEvents(int waitMs, const EventCallback& callback = {});
  // Main thread: pumps until a quit is requested.
  void Run(const EventCallback& callback = {});

  // Main thread: the picture area of the renderer's output read back as 32-bit B, G, R, X rows (the picture's own
  // size while the window is not scaled).
  bool ReadPixels(std::vector<std::uint8_t>& out, int& width, int& height);
  // Frames uploaded and shown so far.
  std::uint64_t FramesShown() const;

  // The SDL video driver the window opened with, and whether anyone can see what it shows.
  std::string DriverName() const;
  bool ShowsPicture() const { return !IsHeadlessDriver(DriverName()); }

  SDL_Window* sdlWindow() const;
  SDL_Renderer* sdlRenderer() const;

  struct Impl;

private:
  explicit Window(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::video
