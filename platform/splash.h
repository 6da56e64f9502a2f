// The start-up splash: a small borderless window in the middle of the screen that shows one picture while the game
// window is being made. Main thread only, like every SDL window; SDL video must be initialised first (the game's
// window, made hidden, does that).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/video.h"

struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Window;

namespace platform::splash {

inline constexpr int kSplashWidth = 320;
inline constexpr int kSplashHeight = 240;

class Splash {
public:
  // A window of kSplashWidth × kSplashHeight showing `picture` scaled to it, or only `fill` (0x00RRGGBB) without a
  // picture (or with one that is not valid). Null, with `error` set, when SDL cannot make it: the game then starts
  // without a splash.
  static std::unique_ptr<Splash> Create(const video::Picture* picture, std::uint32_t fill, std::string* error = nullptr);
  ~Splash();
  Splash(const Splash&) = delete;
  Splash& operator=(const Splash&) = delete;

  // Draws the window again (after the desktop uncovered it).
  void Redraw();
  SDL_Window* sdlWindow() const { return window_; }

private:
  Splash() = default;

  std::uint32_t fill_ = 0;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
};

}  // namespace platform::splash
