#include "platform/splash.h"

#include <SDL.h>

namespace platform::splash {

namespace {

Uint32 SdlFormat(video::PixelLayout layout) {
  switch (layout) {
    case video::PixelLayout::Bgrx32: return SDL_PIXELFORMAT_RGB888;
    case video::PixelLayout::Bgr24: return SDL_PIXELFORMAT_BGR24;
    case video::PixelLayout::Rgb565: return SDL_PIXELFORMAT_RGB565;
  }
  return SDL_PIXELFORMAT_UNKNOWN;
}

}  // namespace

std::unique_ptr<Splash> Splash::Create(const video::Picture* picture, std::uint32_t fill, std::string* error) {
  std::unique_ptr<Splash> s(new Splash());
  auto fail = [&](const char* what) -> std::unique_ptr<Splash> {
    if (error != nullptr) *error = std::string(what) + ": " + SDL_GetError();
    return nullptr;
  };
  if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
    SDL_SetError("SDL video is not initialised");
    return fail("splash");
  }
  s->fill_ = fill;
  s->window_ = SDL_CreateWindow("Splash", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, kSplashWidth, kSplashHeight,
                                SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR);
  if (s->window_ == nullptr) return fail("splash window");
  s->renderer_ = SDL_CreateRenderer(s->window_, -1, SDL_RENDERER_SOFTWARE);
  if (s->renderer_ == nullptr) return fail("splash renderer");
  if (picture != nullptr && video::IsValid(*picture)) {
    const video::Mode& m = picture->mode;
    s->texture_ = SDL_CreateTexture(s->renderer_, SdlFormat(m.layout), SDL_TEXTUREACCESS_STATIC, m.width, m.height);
    if (s->texture_ != nullptr &&
        SDL_UpdateTexture(s->texture_, nullptr, picture->pixels, static_cast<int>(picture->pitch)) != 0) {
      SDL_DestroyTexture(s->texture_);
      s->texture_ = nullptr;
    }
  }
  s->Redraw();
  return s;
}

Splash::~Splash() {
  if (texture_ != nullptr) SDL_DestroyTexture(texture_);
  if (renderer_ != nullptr) SDL_DestroyRenderer(renderer_);
  if (window_ != nullptr) SDL_DestroyWindow(window_);
}

void Splash::Redraw() {
  SDL_SetRenderDrawColor(renderer_, static_cast<Uint8>(fill_ >> 16), static_cast<Uint8>(fill_ >> 8),
                         static_cast<Uint8>(fill_), 255);
  SDL_RenderClear(renderer_);
  if (texture_ != nullptr) SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
}

}  // namespace platform::splash
