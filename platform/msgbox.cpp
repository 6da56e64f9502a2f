#include "platform/msgbox.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace platform::msgbox {

namespace {

struct State {
  std::mutex lock;
  Sink sink;
};

State& TheState() {
  static State state;
  return state;
}

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && *value != '\0';
}

Uint32 SdlFlags(Kind kind) {
  switch (kind) {
    case Kind::kWarning: return SDL_MESSAGEBOX_WARNING;
    case Kind::kInformation: return SDL_MESSAGEBOX_INFORMATION;
    case Kind::kError: break;
  }
  return SDL_MESSAGEBOX_ERROR;
}

void ToStandardError(const Message& m) {
  std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
  std::fflush(stderr);
}

}  // namespace

bool DisplayAvailable() {
  if (const char* driver = std::getenv("SDL_VIDEODRIVER"); driver != nullptr && *driver != '\0')
    return std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "offscreen") != 0;
  return Named("DISPLAY") || Named("WAYLAND_DISPLAY");
}

Sink SetSink(Sink sink) {
  State& s = TheState();
  std::lock_guard<std::mutex> guard(s.lock);
  std::swap(s.sink, sink);
  return sink;
}

void Show(const Message& message) {
  Sink sink;
  {
    State& s = TheState();
    std::lock_guard<std::mutex> guard(s.lock);
    sink = s.sink;
  }
  if (sink) {
    sink(message);
    return;
  }
  if (DisplayAvailable() &&
      SDL_ShowSimpleMessageBox(SdlFlags(message.kind), message.caption.c_str(), message.text.c_str(), nullptr) == 0)
    return;
  ToStandardError(message);
}

}  // namespace platform::msgbox
