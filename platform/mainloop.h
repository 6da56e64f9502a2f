// Pieces of the main thread's loop: work that other threads hand to the main thread, the SDL event that wakes the
// main thread's pump for it, the hot keys that are taken out of the event stream before the window sees them, and
// showing a window that was created hidden.
//
// The main thread owns SDL video: it pumps the window's events, and runs posted tasks between two pumps. Other
// threads never call SDL video; they post.
#pragma once

#include <SDL_events.h>
#include <SDL_scancode.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <span>
#include <vector>

struct SDL_Window;

namespace platform::mainloop {

// Tasks for the main thread, run in the order posted.
class TaskQueue {
public:
  using Task = std::function<void()>;

  // Any thread. The waker (if any) is called after the task is queued, outside the queue's lock.
  void Post(Task task);
  // Main thread: runs the tasks posted before the call; tasks they post wait for the next call. The count run.
  int RunPending();
  // Drops every pending task.
  void Clear();
  std::size_t Pending() const;
  // What wakes the main thread after a post (the SDL wake event); an empty function removes it.
  void SetWaker(std::function<void()> waker);

private:
  mutable std::mutex mutex_;
  std::deque<Task> tasks_;
  std::function<void()> waker_;
};

// Wakes SDL's event pump for a task queue through a user event of its own. SDL's event queue must be initialised
// (the window's video subsystem) while it lives.
class SdlTaskWake {
public:
  // False from IsValid when SDL has no user event left.
  explicit SdlTaskWake(TaskQueue& queue);
  ~SdlTaskWake();  // removes the waker
  SdlTaskWake(const SdlTaskWake&) = delete;
  SdlTaskWake& operator=(const SdlTaskWake&) = delete;

  bool IsValid() const { return type_ != static_cast<Uint32>(-1); }
  // Main thread, for each event pumped: runs the queue's pending tasks when `e` is the wake event; true then.
  bool Handle(const SDL_Event& e);

private:
  TaskQueue& queue_;
  Uint32 type_;
};

// A hot key: a key pressed with Alt held or not, and no Ctrl, Shift or GUI key.
struct HotKey {
  int id = 0;
  SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN;
  bool alt = false;
};

// The id of the hot key a key-down event is, or -1.
int MatchHotKey(std::span<const HotKey> keys, const SDL_KeyboardEvent& key);

// The desktop's global hot keys: SDL's event filter takes the key-down of a hot key out of the event stream (its
// repeats and its key-up as well) before any window or input layer sees it, and reports the id of each press.
// There is one SDL event filter per process: one filter at a time replaces any other while it lives. Installing a
// filter drops every event already queued (SDL's rule), so install it before anything is posted to the window.
class HotKeyFilter {
public:
  // `pressed` runs on the thread that pumps the events, inside SDL's pump: it should post work, not do it.
  HotKeyFilter(std::vector<HotKey> keys, std::function<void(int id)> pressed);
  ~HotKeyFilter();
  HotKeyFilter(const HotKeyFilter&) = delete;
  HotKeyFilter& operator=(const HotKeyFilter&) = delete;

  // The filter's decision for one event: false when the event is taken out. Public for tests.
  bool Pass(const SDL_Event& e);

private:
  static int SDLCALL Filter(void* self, SDL_Event* e);

  std::mutex mutex_;
  const std::vector<HotKey> keys_;
  const std::function<void(int)> pressed_;
  std::set<SDL_Scancode> held_;  // hot keys taken out whose key-up has not come yet
};

// What an event means for one window: its close button, the pointer entering or leaving it, or the quit that SDL
// sends when the last window closes.
enum class WindowEvent { kOther, kClose, kEnter, kLeave, kQuit };
WindowEvent Classify(const SDL_Event& e, SDL_Window* window);

// Main thread: shows a window created hidden and brings it to the front.
void ShowAndRaise(SDL_Window* window);

}  // namespace platform::mainloop
