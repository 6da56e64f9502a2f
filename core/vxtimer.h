// The periodic timer that drives the game's frame clock: counts its ticks and calls an OnTimer handler on a thread
// of its own (one per timer).
//
// The handler runs once at a time: a tick that comes while it still runs, or while the thread is late, is counted
// but brings no call of its own (GetMissedCount); the next call stands for it as well (GetCallTicks), so a clock
// that adds GetCallTicks() intervals per call keeps step with the time. An exception that leaves the handler is
// caught on the timer thread and written to stderr; the timer goes on. Setters belong to the owner's thread (the handler may call them
// on its own timer too); they stop the thread and join it before anything changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/vxcallback.h"
#include "platform/thread.h"

class VXTimer {
public:
  VXTimer();
  explicit VXTimer(platform::thread::Clock& clock);
  ~VXTimer();
  VXTimer(const VXTimer&) = delete;
  VXTimer& operator=(const VXTimer&) = delete;

  void SetEnabled(bool enabled);            // an equal value does nothing
  void SetInterval(unsigned int ms);        // 0 keeps the timer from running; an equal value does nothing
  void SetOnTimer(VXBaseCallback1<void, void*> handler);  // restarts a running timer
  bool GetEnabled() const { return enabled_; }
  unsigned int GetInterval() const { return interval_; }
  unsigned int GetResolution() const { return resolution_; }  // min(interval, 100), within the device's range
  bool IsRunning() const { return thread_.IsRunning(); }

  void CountClear();
  void CountInc();  // stops at 2,147,483,647
  void CountDec();  // stops at 0
  int GetCount() const { return count_; }
  std::uint64_t GetMissedCount() const { return missed_; }
  // The ticks the handler's current (else latest) call stands for: its own, plus every tick since the previous call
  // that had no call of its own, so each tick is in one call. 0 before the first call.
  std::uint64_t GetCallTicks() const { return callTicks_; }

  // One tick standing for `ticks` deadlines: counts them, then calls the handler with this timer as its argument
  // unless a call is already running (the ticks then wait for the next call). An exception from the handler leaves
  // as std::logic_error "Timer Call Error" with the handler's exception nested in it.
  void Timer(std::uint32_t ticks = 1);

private:
  void UpdateTimer();
  void TimeProc(std::uint32_t ticks) noexcept;
  void AddCount(std::int64_t n);

  unsigned int interval_ = 1000;
  unsigned int resolution_;
  bool enabled_ = false;

  mutable std::mutex handlerMutex_;  // the handler is copied out under it, never called under it
  VXBaseCallback1<void, void*> onTimer_;

  std::atomic<int> count_{0};
  std::atomic<bool> busy_{false};
  std::atomic<std::uint64_t> missed_{0};
  std::atomic<std::uint64_t> uncalled_{0};  // ticks not yet in a call
  std::atomic<std::uint64_t> callTicks_{0};

  platform::thread::PeriodicTimer thread_;  // last: stopped before the fields its ticks use go away
};
