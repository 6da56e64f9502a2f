// The SDL window: the game thread hands frames and requests over under a lock and wakes the main thread with a
// user event; the main thread uploads the changed rectangles to a streaming texture and presents it.
#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/input.h"
#include "platform/video.h"

namespace platform::video {
namespace {

// Beyond this many rectangles waiting for the main thread, the whole picture is uploaded instead.
constexpr std::size_t kMaxPendingRects = 256;

Uint32 SdlFormat(PixelLayout layout) {
  switch (layout) {
    case PixelLayout::Bgrx32: return SDL_PIXELFORMAT_RGB888;  // one little-endian word X R G B: bytes B, G, R, X
    case PixelLayout::Bgr24: return SDL_PIXELFORMAT_BGR24;    // bytes B, G, R
    case PixelLayout::Rgb565: return SDL_PIXELFORMAT_RGB565;
  }
  return SDL_PIXELFORMAT_UNKNOWN;
}

// What the game thread hands to the main thread.
struct Handover {
  std::mutex mutex;
  bool open = true;
  Uint32 wakeEvent = 0;
  bool wakePosted = false;

  bool started = false;
  bool modeChanged = false;
  Mode mode;
  std::vector<std::uint8_t> staging;  // the whole front picture, tightly packed
  std::vector<Rect> pending;
  bool wholePending = false;

  bool fullScreen = false;
  std::optional<bool> fullScreenRequest;
  bool vsync = true;
  std::optional<bool> vsyncRequest;
  std::optional<std::string> title;
  std::optional<bool> cursor;
  std::optional<std::pair<int, int>> warp;

  void WakeLocked() {
    if (wakePosted || !open) return;
    SDL_Event e{};
    e.type = wakeEvent;
    if (SDL_PushEvent(&e) > 0) wakePosted = true;
  }
};

class SdlPresenter final : public Presenter {
public:
  explicit SdlPresenter(Handover& h) : h_(h) {}

  bool Present(const Picture& picture, std::span<const Rect> rects) override {
    if (!IsValid(picture)) return false;
    std::lock_guard lock(h_.mutex);
    if (!h_.open) return false;
    if (!h_.started || h_.mode != picture.mode) {
      h_.mode = picture.mode;
      h_.staging.assign(static_cast<std::size_t>(h_.mode.width) * h_.mode.height * BytesPerPixel(h_.mode.layout), 0);
      h_.started = true;
      h_.modeChanged = true;
      h_.pending.clear();
    }
    for (const Rect& r : rects) {
      const Rect c = ClipRect(r, h_.mode.width, h_.mode.height);
      if (c.IsEmpty()) continue;
      CopyRect(picture, c, h_.staging.data());
      if (!h_.wholePending) h_.pending.push_back(c);
    }
    if (h_.pending.size() > kMaxPendingRects) {
      h_.wholePending = true;
      h_.pending.clear();
    }
    h_.WakeLocked();
    return true;
  }

  void SetFullScreen(bool on) override {
    std::lock_guard lock(h_.mutex);
    h_.fullScreen = on;
    h_.fullScreenRequest = on;
    h_.WakeLocked();
  }

  bool IsFullScreen() const override {
    std::lock_guard lock(h_.mutex);
    return h_.fullScreen;
  }

  void SetVSync(bool on) override {
    std::lock_guard lock(h_.mutex);
    if (h_.vsync == on) return;
    h_.vsync = on;
    h_.vsyncRequest = on;
    h_.WakeLocked();
  }

  bool GetVSync() const override {
    std::lock_guard lock(h_.mutex);
    return h_.vsync;
  }

private:
  Handover& h_;
};

}  // namespace

struct Window::Impl {
  Handover handover;
  SdlPresenter presenter{handover};
  input::Input* input = nullptr;
  Uint32 subsystems = 0;
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  Mode textureMode;
  SDL_Joystick* joystick = nullptr;
  SDL_JoystickID joystickId = -1;
  std::atomic<std::uint64_t> framesShown{0};
  std::atomic<bool> quit{false};

  ~Impl() {
    {
      std::lock_guard lock(handover.mutex);
      handover.open = false;
    }
    if (input != nullptr) input->SetWarpHandler({});
    CloseJoystick();
    if (texture != nullptr) SDL_DestroyTexture(texture);
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    if (window != nullptr) SDL_DestroyWindow(window);
    if (subsystems != 0) SDL_QuitSubSystem(subsystems);
  }

  void Render() {
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    if (texture != nullptr) SDL_RenderCopy(renderer, texture, nullptr, nullptr);
  }

  void Show() {
    Render();
    SDL_RenderPresent(renderer);
    ++framesShown;
  }

  // Main thread, handover lock held: a texture of the picture's mode, or none when the renderer refuses it.
  bool EnsureTextureLocked() {
    if (texture != nullptr && textureMode == handover.mode) return true;
    if (texture != nullptr) SDL_DestroyTexture(texture);
    textureMode = handover.mode;
    texture = SDL_CreateTexture(renderer, SdlFormat(textureMode.layout), SDL_TEXTUREACCESS_STREAMING,
                                textureMode.width, textureMode.height);
    SDL_RenderSetLogicalSize(renderer, textureMode.width, textureMode.height);
    return texture != nullptr;
  }

  // Main thread: uploads what the game thread handed over and presents it; applies the window requests.
  void TakeHandover() {
    std::optional<bool> fullScreen, cursor, vsync;
    std::optional<std::string> title;
    std::optional<std::pair<int, int>> warp;
    bool show = false;
    Mode mode;
    {
      std::lock_guard lock(handover.mutex);
      handover.wakePosted = false;
      fullScreen = std::exchange(handover.fullScreenRequest, std::nullopt);
      vsync = std::exchange(handover.vsyncRequest, std::nullopt);
      cursor = std::exchange(handover.cursor, std::nullopt);
      title = std::exchange(handover.title, std::nullopt);
      warp = std::exchange(handover.warp, std::nullopt);
      mode = handover.mode;
      if (handover.started && (handover.modeChanged || handover.wholePending || !handover.pending.empty())) {
        const bool whole = handover.modeChanged || handover.wholePending || texture == nullptr;
        if (EnsureTextureLocked()) Upload(whole);
        handover.modeChanged = false;
        handover.wholePending = false;
        handover.pending.clear();
        show = true;
      }
    }
    if (vsync) SDL_RenderSetVSync(renderer, *vsync ? 1 : 0);  // before this pump's frame is shown
    if (title) SDL_SetWindowTitle(window, title->c_str());
    if (cursor) SDL_ShowCursor(*cursor ? SDL_ENABLE : SDL_DISABLE);
    if (fullScreen) {
      SDL_SetWindowFullscreen(window, *fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
      if (!*fullScreen) SDL_SetWindowSize(window, mode.width, mode.height);
      show = true;
    }
    if (warp) {
      int wx = 0, wy = 0;
      SDL_RenderLogicalToWindow(renderer, static_cast<float>(warp->first), static_cast<float>(warp->second), &wx,
                                &wy);
      SDL_WarpMouseInWindow(window, wx, wy);
    }
    if (show) Show();
  }

  // Handover lock held.
  void Upload(bool whole) {
    const Mode& m = handover.mode;
    const int pitch = m.width * BytesPerPixel(m.layout);
    if (whole) {
      SDL_UpdateTexture(texture, nullptr, handover.staging.data(), pitch);
      return;
    }
    for (const Rect& r : handover.pending) {
      const SDL_Rect sr{r.left, r.top, r.Width(), r.Height()};
      const std::uint8_t* at = handover.staging.data() + static_cast<std::size_t>(r.top) * pitch +
                               static_cast<std::size_t>(r.left) * BytesPerPixel(m.layout);
      SDL_UpdateTexture(texture, &sr, at, pitch);
    }
  }

  // The renderer dropped its textures (or targets): build the texture again from the whole front picture and
  // tell the display that its surfaces were lost.
  void RenderReset() {
    {
      std::lock_guard lock(handover.mutex);
      if (texture != nullptr) SDL_DestroyTexture(texture);
      texture = nullptr;
      handover.wholePending = true;
    }
    presenter.RaiseLost();
    TakeHandover();
  }

  void OpenJoystick(int deviceIndex) {
    if (joystick != nullptr || input == nullptr) return;
    joystick = SDL_JoystickOpen(deviceIndex);
    if (joystick == nullptr) return;
    joystickId = SDL_JoystickInstanceID(joystick);
    input->JoypadAttached();
    for (int i = 0; i < SDL_JoystickNumAxes(joystick); ++i) input->JoypadAxis(i, SDL_JoystickGetAxis(joystick, i));
    for (int i = 0; i < SDL_JoystickNumButtons(joystick); ++i)
      input->JoypadButton(i, SDL_JoystickGetButton(joystick, i) != 0);
    for (int i = 0; i < SDL_JoystickNumHats(joystick); ++i) input->JoypadHat(i, SDL_JoystickGetHat(joystick, i));
  }

  void CloseJoystick() {
    if (joystick == nullptr) return;
    SDL_JoystickClose(joystick);
    joystick = nullptr;
    joystickId = -1;
    if (input != nullptr) input->JoypadDetached();
  }

  void WindowEvent(const SDL_WindowEvent& e) {
    switch (e.event) {
      case SDL_WINDOWEVENT_FOCUS_GAINED:
      case SDL_WINDOWEVENT_FOCUS_LOST:
        if (input != nullptr) input->FocusChanged(e.event == SDL_WINDOWEVENT_FOCUS_GAINED);
        break;
      case SDL_WINDOWEVENT_EXPOSED:
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        Show();
        break;
      default:
        break;
    }
  }

  void ToInput(const SDL_Event& e) {
    if (input == nullptr) return;
    switch (e.type) {
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        input->KeyChanged(e.key.keysym.scancode, e.type == SDL_KEYDOWN, e.key.repeat != 0);
        break;
      case SDL_TEXTINPUT:
        input->TextTyped(e.text.text);
        break;
      case SDL_MOUSEMOTION:
        input->MouseMoved(e.motion.x, e.motion.y);  // logical coordinates: the renderer scales mouse events
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        static constexpr std::pair<Uint8, input::MouseButton> kButtons[] = {
            {SDL_BUTTON_LEFT, input::MouseButton::Left},
            {SDL_BUTTON_RIGHT, input::MouseButton::Right},
            {SDL_BUTTON_MIDDLE, input::MouseButton::Middle}};
        for (const auto& [sdl, button] : kButtons)
          if (sdl == e.button.button)
            input->MouseButtonChanged(button, e.type == SDL_MOUSEBUTTONDOWN, e.button.clicks, e.button.x,
                                      e.button.y);
        break;
      }
      case SDL_MOUSEWHEEL:
        input->MouseWheel(e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -e.wheel.y : e.wheel.y);
        break;
      case SDL_JOYDEVICEADDED:
        OpenJoystick(e.jdevice.which);
        break;
      case SDL_JOYDEVICEREMOVED:
        if (e.jdevice.which == joystickId) {
          CloseJoystick();
          for (int i = 0; i < SDL_NumJoysticks() && joystick == nullptr; ++i) OpenJoystick(i);
        }
        break;
      case SDL_JOYAXISMOTION:
        if (e.jaxis.which == joystickId) input->JoypadAxis(e.jaxis.axis, e.jaxis.value);
        break;
      case SDL_JOYBUTTONDOWN:
      case SDL_JOYBUTTONUP:
        if (e.jbutton.which == joystickId) input->JoypadButton(e.jbutton.button, e.type == SDL_JOYBUTTONDOWN);
        break;
      case SDL_JOYHATMOTION:
        if (e.jhat.which == joystickId) input->JoypadHat(e.jhat.hat, e.jhat.value);
        break;
      default:
        break;
    }
  }

  void Handle(const SDL_Event& e, const EventCallback& callback) {
    if (e.type == handover.wakeEvent) {
      TakeHandover();
      return;
    }
    switch (e.type) {
      case SDL_WINDOWEVENT: WindowEvent(e.window); break;
      case SDL_RENDER_TARGETS_RESET:
      case SDL_RENDER_DEVICE_RESET: RenderReset(); break;
      default: ToInput(e); break;
    }
    if (callback) {
      callback(e);
    } else if (e.type == SDL_QUIT) {
      quit = true;
    }
  }
};

namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

}  // namespace

bool IsHeadlessDriver(std::string_view driver) {
  static constexpr std::string_view kHeadless[] = {"dummy", "offscreen", "evdev"};
  return std::find(std::begin(kHeadless), std::end(kHeadless), driver) != std::end(kHeadless);
}

std::string DisplayDrivers(std::span<const std::string> sdlDrivers) {
  const bool waylandReachable = Named("WAYLAND_DISPLAY") || Named("XDG_RUNTIME_DIR");
  std::string list;
  for (const std::string& driver : sdlDrivers) {
    if (IsHeadlessDriver(driver) || (driver == "wayland" && !waylandReachable)) continue;
    list += (list.empty() ? "" : ",") + driver;
  }
  return list;
}

namespace {

std::vector<std::string> SdlDrivers() {
  std::vector<std::string> drivers;
  for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) drivers.emplace_back(SDL_GetVideoDriver(i));
  return drivers;
}

// Why no display was found among `tried` (an SDL driver list).
std::string NoDisplay(const std::string& tried) {
  std::string names;
  for (char c : tried) names += c == ',' ? std::string(", ") : std::string(1, c);
  std::string why = tried.empty() ? "SDL has no video driver that shows a window"
                                  : "none of SDL's video drivers (" + names + ") could open a window";
  if (!Named("DISPLAY") && !Named("WAYLAND_DISPLAY")) why += "; DISPLAY and WAYLAND_DISPLAY are not set";
  return why + " (SDL_VIDEODRIVER=dummy runs without a display)";
}

// SDL video on the driver SDL_VIDEODRIVER names, else on the first that shows a picture. Empty, or why not.
std::optional<std::string> InitVideo() {
  if (Named("SDL_VIDEODRIVER")) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return std::nullopt;
    return std::string("SDL video: ") + SDL_GetError();
  }
  const std::string drivers = DisplayDrivers(SdlDrivers());
  if (drivers.empty()) return NoDisplay(drivers);
  SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  const bool ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
  SDL_ResetHint(SDL_HINT_VIDEODRIVER);
  if (ok) return std::nullopt;
  return NoDisplay(drivers);
}

}  // namespace

std::unique_ptr<Window> Window::Create(const Options& options, std::string* error) {
  auto fail = [&](const char* what) -> std::unique_ptr<Window> {
    if (error != nullptr) *error = std::string(what) + ": " + SDL_GetError();
    return nullptr;
  };
  auto impl = std::make_unique<Impl>();
  if (auto why = InitVideo()) {
    if (error != nullptr) *error = *why;
    return nullptr;
  }
  impl->subsystems = SDL_INIT_VIDEO;
  // Without joystick support the game still runs on the keyboard.
  if (options.input != nullptr && SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0) impl->subsystems |= SDL_INIT_JOYSTICK;

  const Mode& mode = options.mode;
  Uint32 flags = 0;
  if (options.hidden) flags |= SDL_WINDOW_HIDDEN;
  if (options.fullScreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  impl->window = SDL_CreateWindow(options.titleUtf8.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                                  mode.width, mode.height, flags);
  if (impl->window == nullptr) return fail("SDL window");

  if (!options.softwareRenderer) {
    impl->renderer = SDL_CreateRenderer(impl->window, -1,
                                        SDL_RENDERER_ACCELERATED | (options.vsync ? SDL_RENDERER_PRESENTVSYNC : 0));
  }
  if (impl->renderer == nullptr) impl->renderer = SDL_CreateRenderer(impl->window, -1, SDL_RENDERER_SOFTWARE);
  if (impl->renderer == nullptr) return fail("SDL renderer");
  SDL_RenderSetLogicalSize(impl->renderer, mode.width, mode.height);

  impl->handover.wakeEvent = SDL_RegisterEvents(1);
  if (impl->handover.wakeEvent == static_cast<Uint32>(-1)) return fail("SDL user event");
  impl->handover.fullScreen = options.fullScreen;
  impl->handover.vsync = options.vsync;

  impl->input = options.input;
  if (impl->input != nullptr) {
    Handover* h = &impl->handover;
    impl->input->SetWarpHandler([h](int x, int y) {
      std::lock_guard lock(h->mutex);
      h->warp = std::make_pair(x, y);
      h->WakeLocked();
    });
  }
  impl->Show();
  return std::unique_ptr<Window>(new Window(std::move(impl)));
}

Window::Window(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Window::~Window() = default;

Presenter& Window::presenter() { return impl_->presenter; }

void Window::SetTitle(std::string_view utf8) {
  std::lock_guard lock(impl_->handover.mutex);
  impl_->handover.title = std::string(utf8);
  impl_->handover.WakeLocked();
}

void Window::ShowCursor(bool show) {
  std::lock_guard lock(impl_->handover.mutex);
  impl_->handover.cursor = show;
  impl_->handover.WakeLocked();
}

void Window::SetFullScreen(bool on) { impl_->presenter.SetFullScreen(on); }

void Window::RequestQuit() {
  impl_->quit = true;
  std::lock_guard lock(impl_->handover.mutex);
  impl_->handover.WakeLocked();
}

bool Window::QuitRequested() const { return impl_->quit; }

bool Window::PumpEvents(int waitMs, const EventCallback& callback) {
  SDL_Event e;
  bool got = waitMs > 0 ? SDL_WaitEventTimeout(&e, waitMs) != 0 : SDL_PollEvent(&e) != 0;
  while (got) {
    impl_->Handle(e, callback);
    got = SDL_PollEvent(&e) != 0;
  }
  return !impl_->quit;
}

void Window::Run(const EventCallback& callback) {
  while (PumpEvents(100, callback)) {
  }
}

bool Window::ReadPixels(std::vector<std::uint8_t>& out, int& width, int& height) {
  impl_->TakeHandover();
  SDL_Rect viewport;
  float sx = 1, sy = 1;
  SDL_RenderGetViewport(impl_->renderer, &viewport);
  SDL_RenderGetScale(impl_->renderer, &sx, &sy);
  width = static_cast<int>(viewport.w * sx);
  height = static_cast<int>(viewport.h * sy);
  if (width <= 0 || height <= 0) return false;
  out.assign(static_cast<std::size_t>(width) * height * 4, 0);
  impl_->Render();
  return SDL_RenderReadPixels(impl_->renderer, nullptr, SDL_PIXELFORMAT_RGB888, out.data(), width * 4) == 0;
}

std::uint64_t Window::FramesShown() const { return impl_->framesShown; }

std::string Window::DriverName() const {
  const char* driver = SDL_GetCurrentVideoDriver();
  return driver != nullptr ? driver : "";
}

SDL_Window* Window::sdlWindow() const { return impl_->window; }
SDL_Renderer* Window::sdlRenderer() const { return impl_->renderer; }

}  // namespace platform::video
