// Auto-reset events for the sound layer: the mixer signals them from the audio callback, a buffer's notification
// thread waits for any of its events with a time-out. Kept small so that it can give way to the general events of
// platform/thread once those exist.
#pragma once

#include <cstdint>
#include <span>

namespace platform::audio {

// An auto-reset event: `Set` leaves it signalled until one wait takes it (or `Reset` clears it).
class Event {
public:
  Event() = default;
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

  // Waits until the event is signalled and takes it; false after the time-out.
  bool Wait(std::uint32_t timeoutMs);

private:
  friend int WaitAny(std::span<Event* const>, std::uint32_t);
  bool signalled_ = false;  // guarded by the events' shared lock
};

inline constexpr int kWaitTimeout = -1;

// Waits until at least one of the events is signalled, takes the lowest-indexed signalled one and returns its index;
// kWaitTimeout when none was signalled within the time-out (also for an empty list). Null entries are skipped.
int WaitAny(std::span<Event* const> events, std::uint32_t timeoutMs);

}  // namespace platform::audio
