// Plays a movie file in a window, full screen style: each picture is drawn onto the display's back surface and
// flipped, with the sound on the default output. Esc or closing the window stops it; it quits by itself at the
// end of the movie.
//
//   playmovie [--fullscreen] [--silent] FILE
//
// Without a display the program says so and exits with status 2; a file that is no movie gives status 1.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <SDL.h>

#include "device/dshow.h"
#include "device/gameservices.h"
#include "device/zoddraw.h"
#include "device/zodsound.h"
#include "platform/video.h"
#include "tools/tooldisplay.h"

namespace {

struct Hook {
  TDShowPlayer* player;
  void Draw(TZoRGBBits* back) {
    back->Cls();
    player->DrawTo(back);
  }
};

int GameThread(platform::video::Window& window, const std::string& file, bool fullScreen, bool silent) {
  DirectX::TDDraw display(nullptr);
  if (!EnableToolDisplay(display, window, fullScreen, "playmovie")) return 1;
  DirectX::TDSound sound(nullptr);
  if (!silent) sound.SetEnabled(true);
  if (!silent && !sound.GetEnabled()) std::fprintf(stderr, "playmovie: no sound device, playing silent\n");
  TLocalGameServices services(&display, &sound, bd32);
  SetGameServices(&services);
  int result = 0;
  {
    TDShowPlayer player;
    Hook hook{&player};
    services.SetOnDrawSurface(VXCallback1<Hook, void, TZoRGBBits*>(&hook, &Hook::Draw));
    if (!player.Open(false, VXString(file.c_str()))) {
      std::fprintf(stderr, "playmovie: cannot play %s\n", file.c_str());
      result = 1;
    } else {
      std::printf("playmovie: %s, %d x %d\n", file.c_str(), player.GetWidth(), player.GetHeight());
      long frames = 0;  // the first picture came with the start and is drawn by the first check
      while (!window.QuitRequested() && !player.IsEnded()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        services.GetGameLock().Enter();
        if (player.CheckFrame()) {
          services.DrawSurfaceFrame();
          ++frames;
          player.RequestFrame();
        }
        services.GetGameLock().Leave();
      }
      std::printf("playmovie: %ld pictures shown%s\n", frames, player.IsEnded() ? ", ended" : ", stopped");
    }
    services.SetOnDrawSurface(TDrawSurfaceHook());
    player.Close();
  }
  SetGameServices(nullptr);
  sound.SetEnabled(false);
  display.SetEnabled(false);
  window.RequestQuit();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  bool fullScreen = false, silent = false;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fullscreen") == 0)
      fullScreen = true;
    else if (std::strcmp(argv[i], "--silent") == 0)
      silent = true;
    else if (file.empty() && argv[i][0] != '-')
      file = argv[i];
    else
      file.clear(), i = argc;
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: playmovie [--fullscreen] [--silent] FILE\n");
    return 2;
  }
  platform::video::Window::Options options;
  options.titleUtf8 = "playmovie";
  options.fullScreen = fullScreen;
  std::string error;
  auto window = platform::video::Window::Create(options, &error);
  if (!window) {
    std::fprintf(stderr, "playmovie: no display: %s\n", error.c_str());
    return 2;
  }
  int result = 0;
  std::thread game([&] { result = GameThread(*window, file, fullScreen, silent); });
  window->Run([&](const SDL_Event& e) {
    if (e.type == SDL_QUIT || (e.type == SDL_KEYDOWN && e.key.keysym.sym == SDLK_ESCAPE)) window->RequestQuit();
  });
  game.join();
  window.reset();
  return result;
}
