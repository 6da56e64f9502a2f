#include "platform/mainloop.h"

#include <SDL.h>

#include <algorithm>
#include <utility>

namespace platform::mainloop {

// --- TaskQueue -------------------------------------------------------------------------------------------------

void TaskQueue::Post(Task task) {
  std::function<void()> waker;
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    waker = waker_;
  }
  if (waker) waker();
}

int TaskQueue::RunPending() {
  std::deque<Task> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(tasks_);
  }
  for (Task& task : batch)
    if (task) task();
  return static_cast<int>(batch.size());
}

void TaskQueue::Clear() {
  std::deque<Task> dropped;
  std::lock_guard lock(mutex_);
  dropped.swap(tasks_);
}

std::size_t TaskQueue::Pending() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

void TaskQueue::SetWaker(std::function<void()> waker) {
  std::lock_guard lock(mutex_);
  waker_ = std::move(waker);
}

// --- SdlTaskWake -----------------------------------------------------------------------------------------------

SdlTaskWake::SdlTaskWake(TaskQueue& queue) : queue_(queue), type_(SDL_RegisterEvents(1)) {
  if (!IsValid()) return;
  const Uint32 type = type_;
  queue_.SetWaker([type] {
    SDL_Event e{};
    e.type = type;
    SDL_PushEvent(&e);
  });
}

SdlTaskWake::~SdlTaskWake() {
  if (IsValid()) queue_.SetWaker({});
}

bool SdlTaskWake::Handle(const SDL_Event& e) {
  if (!IsValid() || e.type != type_) return false;
  queue_.RunPending();
  return true;
}

// --- Hot keys --------------------------------------------------------------------------------------------------

int MatchHotKey(std::span<const HotKey> keys, const SDL_KeyboardEvent& key) {
  const Uint16 mod = key.keysym.mod;
  if ((mod & (KMOD_CTRL | KMOD_SHIFT | KMOD_GUI)) != 0) return -1;
  const bool alt = (mod & KMOD_ALT) != 0;
  for (const HotKey& k : keys)
    if (k.scancode == key.keysym.scancode && k.alt == alt) return k.id;
  return -1;
}

HotKeyFilter::HotKeyFilter(std::vector<HotKey> keys, std::function<void(int id)> pressed)
    : keys_(std::move(keys)), pressed_(std::move(pressed)) {
  SDL_SetEventFilter(&HotKeyFilter::Filter, this);
}

HotKeyFilter::~HotKeyFilter() {
  SDL_EventFilter filter = nullptr;
  void* data = nullptr;
  if (SDL_GetEventFilter(&filter, &data) == SDL_TRUE && data == this) SDL_SetEventFilter(nullptr, nullptr);
}

int SDLCALL HotKeyFilter::Filter(void* self, SDL_Event* e) { return static_cast<HotKeyFilter*>(self)->Pass(*e); }

bool HotKeyFilter::Pass(const SDL_Event& e) {
  if (e.type != SDL_KEYDOWN && e.type != SDL_KEYUP) return true;
  const SDL_Scancode code = e.key.keysym.scancode;
  int id = -1;
  {
    std::lock_guard lock(mutex_);
    if (e.type == SDL_KEYUP) return held_.erase(code) == 0;
    if (held_.count(code) != 0) return false;  // a repeat of a hot key taken out
    if (e.key.repeat != 0) return true;        // a key held before Alt went down stays the game's
    id = MatchHotKey(keys_, e.key);
    if (id < 0) return true;
    held_.insert(code);
  }
  if (pressed_) pressed_(id);
  return false;
}

WindowEvent Classify(const SDL_Event& e, SDL_Window* window) {
  if (e.type == SDL_QUIT) return WindowEvent::kQuit;
  if (e.type != SDL_WINDOWEVENT || window == nullptr || e.window.windowID != SDL_GetWindowID(window))
    return WindowEvent::kOther;
  switch (e.window.event) {
    case SDL_WINDOWEVENT_CLOSE: return WindowEvent::kClose;
    case SDL_WINDOWEVENT_ENTER: return WindowEvent::kEnter;
    case SDL_WINDOWEVENT_LEAVE: return WindowEvent::kLeave;
    default: return WindowEvent::kOther;
  }
}

void ShowAndRaise(SDL_Window* window) {
  if (window == nullptr) return;
  SDL_ShowWindow(window);
  SDL_RaiseWindow(window);
}

}  // namespace platform::mainloop
