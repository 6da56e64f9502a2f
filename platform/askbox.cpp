#include "platform/askbox.h"

#include <SDL.h>

#include <cstdio>
#include <mutex>

namespace platform::askbox {

namespace {

struct State {
  std::mutex lock;
  Sink sink;
};

State& TheState() {
  static State state;
  return state;
}

Uint32 SdlFlags(msgbox::Kind kind) {
  switch (kind) {
    case msgbox::Kind::kWarning: return SDL_MESSAGEBOX_WARNING;
    case msgbox::Kind::kInformation: return SDL_MESSAGEBOX_INFORMATION;
    case msgbox::Kind::kError: break;
  }
  return SDL_MESSAGEBOX_ERROR;
}

constexpr int kOk = 1, kCancel = 0;

}  // namespace

Sink SetSink(Sink sink) {
  State& s = TheState();
  std::lock_guard guard(s.lock);
  std::swap(s.sink, sink);
  return sink;
}

bool Ask(const msgbox::Message& question, bool unattended) {
  Sink sink;
  {
    State& s = TheState();
    std::lock_guard guard(s.lock);
    sink = s.sink;
  }
  if (sink) return sink(question);
  if (msgbox::DisplayAvailable()) {
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, kOk, "OK"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, kCancel, "Cancel"},
    };
    const SDL_MessageBoxData data{SdlFlags(question.kind), nullptr, question.caption.c_str(), question.text.c_str(),
                                  2, buttons, nullptr};
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) == 0) return pressed == kOk;
  }
  std::fprintf(stderr, "%s: %s [%s]\n", question.caption.c_str(), question.text.c_str(),
               unattended ? "OK" : "Cancel");
  std::fflush(stderr);
  return unattended;
}

}  // namespace platform::askbox
