// Threads and time at the platform boundary: a monotonic clock that tests can replace by a manual one,
// re-entrant locks that know their owner, auto-reset events, and a periodic timer thread.
//
// Every piece that waits or reads the time takes a Clock; MonotonicClock() is the real one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <span>
#include <stop_token>
#include <thread>

namespace platform::thread {

// A source of monotonic time in nanoseconds, and the ways of waiting on it.
class Clock {
public:
  virtual ~Clock() = default;

  virtual std::int64_t NowNs() const = 0;
  std::int64_t NowMs() const { return NowNs() / 1'000'000; }

  // Sleeps until NowNs() >= deadline; returns false as soon as `stop` is requested instead.
  virtual bool SleepUntil(std::int64_t deadlineNs, std::stop_token stop) = 0;

  // One wait on `cv` (its mutex held through `lock`) that ends when it is notified, when the deadline has passed,
  // or spuriously. The caller re-checks its condition and the time.
  virtual void WaitStep(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                        std::int64_t deadlineNs) const = 0;
};

// CLOCK_MONOTONIC; sleeps with clock_nanosleep on absolute deadlines.
class RealClock final : public Clock {
public:
  std::int64_t NowNs() const override;
  bool SleepUntil(std::int64_t deadlineNs, std::stop_token stop) override;
  void WaitStep(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                std::int64_t deadlineNs) const override;
};

// The process's real clock.
Clock& MonotonicClock();

// Monotonic milliseconds of the real clock.
inline std::int64_t MonotonicMs() { return MonotonicClock().NowMs(); }

// Time that moves only when a test moves it. Sleepers wake when the time reaches their deadline.
class ManualClock final : public Clock {
public:
  explicit ManualClock(std::int64_t startNs = 0) : now_(startNs) {}

  std::int64_t NowNs() const override;
  bool SleepUntil(std::int64_t deadlineNs, std::stop_token stop) override;
  void WaitStep(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                std::int64_t deadlineNs) const override;

  void AdvanceMs(std::int64_t ms) { AdvanceNs(ms * 1'000'000); }
  void AdvanceNs(std::int64_t ns);

  // Blocks until at least `count` threads wait on a deadline still in the future, in SleepUntil or in a WaitStep:
  // a timer thread that has done everything due at the current time and gone back to sleep counts as one, and so
  // does a timed wait on an event of this clock.
  void WaitForSleepers(int count) const;

private:
  int FutureSleepersLocked() const;
  std::multiset<std::int64_t>::iterator AddSleeper(std::int64_t deadlineNs) const;  // mutex_ held

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::int64_t now_;
  mutable std::multiset<std::int64_t> sleepers_;  // deadlines of the threads that wait
};

// A re-entrant lock with an owner thread and a depth. A release by a thread that does not hold it does nothing.
// ReleaseAll and Reacquire let a holder wait with the lock given up completely and take it back as deep as before.
class RecursiveMutex {
public:
  void Lock();
  bool TryLock();
  bool Unlock();  // false (and nothing changes) when the calling thread does not hold the lock

  int ReleaseAll();            // the depth given up; 0 when the calling thread did not hold the lock
  void Reacquire(int depth);   // takes the lock `depth` times; nothing for depth <= 0

  bool IsHeldByCurrentThread() const;
  int Depth() const;  // the owner's depth; 0 when free

private:
  mutable std::mutex mutex_;
  std::condition_variable freed_;
  std::thread::id owner_;
  int depth_ = 0;
};

// Gives a RecursiveMutex up completely for the scope and takes it back to the same depth at the end.
class ScopedRelease {
public:
  explicit ScopedRelease(RecursiveMutex& lock) : lock_(lock), depth_(lock.ReleaseAll()) {}
  ~ScopedRelease() { lock_.Reacquire(depth_); }
  ScopedRelease(const ScopedRelease&) = delete;
  ScopedRelease& operator=(const ScopedRelease&) = delete;

private:
  RecursiveMutex& lock_;
  int depth_;
};

inline constexpr int kWaitTimeout = -1;

// An auto-reset event: Set leaves it signalled until one waiter takes the signal; Pulse wakes one thread that waits
// now and is lost when nobody waits.
class Event {
public:
  explicit Event(Clock& clock = MonotonicClock()) : clock_(clock) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Reset();
  void Pulse();
  bool IsSet();  // signalled by Set and not yet taken

  void Wait();
  bool WaitMs(std::int64_t timeoutMs);  // false on timeout

  // Waits until at least one of the events is signalled by Set, takes the lowest-indexed signalled one and returns
  // its index; kWaitTimeout when none was signalled within the time-out (also for an empty list). Null entries are
  // skipped. Pulses wake only Wait and WaitMs.
  static int WaitAny(std::span<Event* const> events, std::int64_t timeoutMs, Clock& clock = MonotonicClock());

private:
  bool TakeLocked();
  bool TakeSignal();

  Clock& clock_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool signalled_ = false;
  int waiting_ = 0;
  int pulses_ = 0;  // pulses not yet taken; never more than the threads that wait
};

// A thread that calls `tick` on absolute deadlines of its clock, one period apart from the time of Start. One call at
// a time: deadlines that pass while a call runs get no call of their own; the next call receives them in its count.
// `ticks` is the number of deadlines that call stands for: 1, plus the deadlines that passed without a call (the
// thread woke late, or the previous call overran). Stop joins the thread, except from inside a tick: then the thread
// ends when the tick returns and is joined by the next Start or Stop or by the destructor. A thread started from
// inside a tick waits for that tick to return before it sleeps towards its first deadline, so the calls of the old
// and the new thread never overlap either.
class PeriodicTimer {
public:
  using Tick = std::function<void(std::uint32_t ticks)>;

  explicit PeriodicTimer(Clock& clock = MonotonicClock()) : clock_(clock) {}
  ~PeriodicTimer();
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

  // Starts (or restarts) the thread; a period of 0 counts as 1 ms. Throws std::system_error when no thread starts.
  void Start(std::uint32_t periodMs, Tick tick);
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }

private:
  // Set when a timer thread has made its last call; a successor started from that call waits for it.
  class RunEnd {
  public:
    void Finish();
    bool Wait(std::stop_token stop);  // false when `stop` came first

  private:
    std::mutex mutex_;
    std::condition_variable_any finished_;
    bool done_ = false;
  };

  static void Run(std::stop_token stop, Clock& clock, std::int64_t start, std::int64_t periodNs,
                  const Tick& tick);
  void JoinRetired();

  Clock& clock_;
  std::jthread thread_;
  std::shared_ptr<RunEnd> threadEnd_;
  std::jthread retired_;  // a thread stopped from its own tick, still finishing it
  std::shared_ptr<RunEnd> retiredEnd_;
};

}  // namespace platform::thread
