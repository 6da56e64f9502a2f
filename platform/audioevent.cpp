#include "platform/audioevent.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform::audio {
namespace {

// Every sound event shares one lock and one condition: signals are a few per second per buffer, so waking every
// waiter to look is cheaper than keeping waiter lists, and a wait on any set of events needs no registration.
struct Shared {
  std::mutex lock;
  std::condition_variable changed;
};

Shared& TheShared() {
  static Shared s;
  return s;
}

}  // namespace

// Takes the lowest-indexed signalled event; the caller holds the shared lock.
static int TakeLowest(std::span<Event* const> events, bool Event::*signalled) {
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i] != nullptr && events[i]->*signalled) {
      events[i]->*signalled = false;
      return static_cast<int>(i);
    }
  }
  return kWaitTimeout;
}

void Event::Set() {
  Shared& s = TheShared();
  {
    std::lock_guard<std::mutex> guard(s.lock);
    signalled_ = true;
  }
  s.changed.notify_all();
}

void Event::Reset() {
  std::lock_guard<std::mutex> guard(TheShared().lock);
  signalled_ = false;
}

bool Event::IsSet() const {
  std::lock_guard<std::mutex> guard(TheShared().lock);
  return signalled_;
}

bool Event::Wait(std::uint32_t timeoutMs) {
  Event* self = this;
  return WaitAny(std::span<Event* const>(&self, 1), timeoutMs) == 0;
}

int WaitAny(std::span<Event* const> events, std::uint32_t timeoutMs) {
  Shared& s = TheShared();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock<std::mutex> guard(s.lock);
  for (;;) {
    int index = TakeLowest(events, &Event::signalled_);
    if (index != kWaitTimeout) return index;
    // After the time-out, one last look: a signal may have come together with it.
    if (s.changed.wait_until(guard, deadline) == std::cv_status::timeout) return TakeLowest(events, &Event::signalled_);
  }
}

}  // namespace platform::audio
