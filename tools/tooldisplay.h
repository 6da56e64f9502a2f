// The display that the windowed tools draw on, brought up the same way in each of them.
#pragma once

#include <cstdio>

#include "device/zoddraw.h"
#include "platform/video.h"

// Enables `display` at 32 bits with a system-memory back surface, presented in `window`. On failure it says so
// under the tool's name, asks the window to quit (the main thread is waiting in its loop) and returns false.
inline bool EnableToolDisplay(DirectX::TDDraw& display, platform::video::Window& window, bool fullScreen,
                              const char* tool) {
  display.SetPresenter(&window.presenter());
  display.SetFullScreen(fullScreen);
  display.SetBitDepth(bd32);
  display.SetBackType(DirectX::btSystem);
  display.SetEnabled(true);
  if (display.GetEnabled()) return true;
  std::fprintf(stderr, "%s: the display could not be enabled\n", tool);
  window.RequestQuit();
  return false;
}
