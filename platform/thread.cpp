#include "platform/thread.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <limits>

namespace platform::thread {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
// clock_nanosleep cannot be woken by a stop request, so long sleeps are cut into slices of at most this length.
constexpr std::int64_t kStopPollNs = 10 * kNsPerMs;
// A manual clock cannot notify foreign condition variables; their timed waits look at it this often.
constexpr auto kManualPoll = std::chrono::milliseconds(1);

timespec ToTimespec(std::int64_t ns) {
  return timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

// --- RealClock -------------------------------------------------------------------------------------------------

std::int64_t RealClock::NowNs() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

bool RealClock::SleepUntil(std::int64_t deadlineNs, std::stop_token stop) {
  for (;;) {
    if (stop.stop_requested()) return false;
    const std::int64_t now = NowNs();
    if (now >= deadlineNs) return true;
    const timespec target = ToTimespec(std::min(deadlineNs, now + kStopPollNs));
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &target, nullptr) == EINTR) {
    }
  }
}

void RealClock::WaitStep(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                         std::int64_t deadlineNs) const {
  // steady_clock is CLOCK_MONOTONIC here, and its waits are absolute on that clock.
  cv.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadlineNs)));
}

Clock& MonotonicClock() {
  static RealClock clock;
  return clock;
}

// --- ManualClock -----------------------------------------------------------------------------------------------

std::int64_t ManualClock::NowNs() const {
  std::lock_guard lock(mutex_);
  return now_;
}

bool ManualClock::SleepUntil(std::int64_t deadlineNs, std::stop_token stop) {
  // Built before the lock is taken: it runs at once when the stop is already requested, and takes the lock.
  std::stop_callback wake(stop, [this] {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
  });
  std::unique_lock lock(mutex_);
  if (stop.stop_requested()) return false;  // a thread on its way out is no sleeper
  const auto entry = AddSleeper(deadlineNs);
  changed_.wait(lock, [&] { return stop.stop_requested() || now_ >= deadlineNs; });
  sleepers_.erase(entry);
  return !stop.stop_requested();
}

void ManualClock::WaitStep(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                           std::int64_t deadlineNs) const {
  std::multiset<std::int64_t>::iterator entry;
  {
    std::lock_guard own(mutex_);
    entry = AddSleeper(deadlineNs);
  }
  cv.wait_for(lock, kManualPoll);
  std::lock_guard own(mutex_);
  sleepers_.erase(entry);
}

std::multiset<std::int64_t>::iterator ManualClock::AddSleeper(std::int64_t deadlineNs) const {
  const auto entry = sleepers_.insert(deadlineNs);
  changed_.notify_all();
  return entry;
}

void ManualClock::AdvanceNs(std::int64_t ns) {
  std::lock_guard lock(mutex_);
  now_ += ns;
  changed_.notify_all();
}

void ManualClock::WaitForSleepers(int count) const {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return FutureSleepersLocked() >= count; });
}

int ManualClock::FutureSleepersLocked() const {
  return static_cast<int>(std::distance(sleepers_.upper_bound(now_), sleepers_.end()));
}

// --- RecursiveMutex --------------------------------------------------------------------------------------------

void RecursiveMutex::Lock() { Reacquire(1); }

bool RecursiveMutex::TryLock() {
  std::lock_guard lock(mutex_);
  const auto self = std::this_thread::get_id();
  if (depth_ > 0 && owner_ != self) return false;
  owner_ = self;
  ++depth_;
  return true;
}

bool RecursiveMutex::Unlock() {
  std::lock_guard lock(mutex_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
  if (--depth_ == 0) {
    owner_ = {};
    freed_.notify_one();
  }
  return true;
}

int RecursiveMutex::ReleaseAll() {
  std::lock_guard lock(mutex_);
  if (depth_ == 0 || owner_ != std::this_thread::get_id()) return 0;
  const int depth = depth_;
  depth_ = 0;
  owner_ = {};
  freed_.notify_one();
  return depth;
}

void RecursiveMutex::Reacquire(int depth) {
  if (depth <= 0) return;
  std::unique_lock lock(mutex_);
  const auto self = std::this_thread::get_id();
  if (!(depth_ > 0 && owner_ == self)) {
    freed_.wait(lock, [&] { return depth_ == 0; });
    owner_ = self;
  }
  depth_ += depth;
}

bool RecursiveMutex::IsHeldByCurrentThread() const {
  std::lock_guard lock(mutex_);
  return depth_ > 0 && owner_ == std::this_thread::get_id();
}

int RecursiveMutex::Depth() const {
  std::lock_guard lock(mutex_);
  return depth_;
}

// --- Event -----------------------------------------------------------------------------------------------------

namespace {

// Waits on several events share one condition and a count of Set calls: a waiter that saw the count before looking
// at its events cannot miss a Set that came after the look. Set is rare (a few per second per sound buffer).
struct AnyWaiters {
  std::mutex mutex;
  std::condition_variable cv;
  std::uint64_t sets = 0;
};

AnyWaiters& TheAnyWaiters() {
  static AnyWaiters waiters;
  return waiters;
}

int TakeLowest(std::span<Event* const> events, bool (*take)(Event&)) {
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i] != nullptr && take(*events[i])) return static_cast<int>(i);
  }
  return kWaitTimeout;
}

}  // namespace

void Event::Set() {
  {
    std::lock_guard lock(mutex_);
    signalled_ = true;
    cv_.notify_one();
  }
  AnyWaiters& any = TheAnyWaiters();
  std::lock_guard lock(any.mutex);
  ++any.sets;
  any.cv.notify_all();
}

bool Event::IsSet() {
  std::lock_guard lock(mutex_);
  return signalled_;
}

bool Event::TakeSignal() {
  std::lock_guard lock(mutex_);
  const bool was = signalled_;
  signalled_ = false;
  return was;
}

int Event::WaitAny(std::span<Event* const> events, std::int64_t timeoutMs, Clock& clock) {
  const std::int64_t deadline = clock.NowNs() + std::max<std::int64_t>(timeoutMs, 0) * kNsPerMs;
  AnyWaiters& any = TheAnyWaiters();
  auto take = [](Event& e) { return e.TakeSignal(); };
  for (;;) {
    std::unique_lock lock(any.mutex);
    const std::uint64_t seen = any.sets;
    lock.unlock();
    const int index = TakeLowest(events, take);
    if (index != kWaitTimeout) return index;
    lock.lock();
    while (any.sets == seen && clock.NowNs() < deadline) clock.WaitStep(any.cv, lock, deadline);
    if (any.sets == seen) return kWaitTimeout;
  }
}

void Event::Reset() {
  std::lock_guard lock(mutex_);
  signalled_ = false;
}

void Event::Pulse() {
  std::lock_guard lock(mutex_);
  if (pulses_ >= waiting_) return;  // nobody left to wake: the pulse is lost
  ++pulses_;
  cv_.notify_all();
}

bool Event::TakeLocked() {
  if (signalled_) {
    signalled_ = false;
    return true;
  }
  if (pulses_ > 0) {
    --pulses_;
    return true;
  }
  return false;
}

void Event::Wait() {
  std::unique_lock lock(mutex_);
  ++waiting_;
  cv_.wait(lock, [&] { return TakeLocked(); });
  --waiting_;
}

bool Event::WaitMs(std::int64_t timeoutMs) {
  const std::int64_t deadline = clock_.NowNs() + std::max<std::int64_t>(timeoutMs, 0) * kNsPerMs;
  std::unique_lock lock(mutex_);
  ++waiting_;
  bool taken = false;
  while (!(taken = TakeLocked()) && clock_.NowNs() < deadline) clock_.WaitStep(cv_, lock, deadline);
  --waiting_;
  pulses_ = std::min(pulses_, waiting_);  // a pulse meant for this waiter dies with its wait
  return taken;
}

// --- PeriodicTimer ---------------------------------------------------------------------------------------------

PeriodicTimer::~PeriodicTimer() {
  Stop();
  // Destroyed from its own tick: the thread needs nothing of this object any more, so it may finish on its own.
  if (retired_.joinable() && retired_.get_id() == std::this_thread::get_id()) retired_.detach();
}

void PeriodicTimer::Start(std::uint32_t periodMs, Tick tick) {
  Stop();
  const std::int64_t periodNs = std::max<std::int64_t>(periodMs, 1) * kNsPerMs;
  Clock& clock = clock_;
  const std::int64_t start = clock.NowNs();  // the first deadline is one period after Start, however late the thread
  // Started from a tick of the thread just retired: that tick is still running.
  std::shared_ptr<RunEnd> predecessor = retired_.joinable() ? retiredEnd_ : nullptr;
  auto end = std::make_shared<RunEnd>();
  thread_ = std::jthread([&clock, start, periodNs, tick = std::move(tick), predecessor, end](std::stop_token stop) {
    if (predecessor == nullptr || predecessor->Wait(stop)) Run(stop, clock, start, periodNs, tick);
    end->Finish();
  });
  threadEnd_ = std::move(end);
}

void PeriodicTimer::Stop() {
  JoinRetired();
  if (!thread_.joinable()) return;
  thread_.request_stop();
  if (thread_.get_id() == std::this_thread::get_id()) {
    retired_ = std::move(thread_);
    retiredEnd_ = std::move(threadEnd_);
    return;
  }
  thread_.join();
  threadEnd_.reset();
}

void PeriodicTimer::JoinRetired() {
  if (!retired_.joinable() || retired_.get_id() == std::this_thread::get_id()) return;
  retired_.join();
  retiredEnd_.reset();
}

void PeriodicTimer::RunEnd::Finish() {
  std::lock_guard lock(mutex_);
  done_ = true;
  finished_.notify_all();
}

bool PeriodicTimer::RunEnd::Wait(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  return finished_.wait(lock, stop, [this] { return done_; });
}

void PeriodicTimer::Run(std::stop_token stop, Clock& clock, std::int64_t start, std::int64_t periodNs,
                        const Tick& tick) {
  constexpr std::int64_t kMaxTicks = std::numeric_limits<std::uint32_t>::max();
  std::int64_t last = start;  // the latest deadline accounted for
  std::int64_t skipped = 0;           // deadlines that passed while the previous call ran
  while (clock.SleepUntil(last + periodNs, stop)) {
    const std::int64_t due = (clock.NowNs() - last) / periodNs;
    last += due * periodNs;
    tick(static_cast<std::uint32_t>(std::min(due + skipped, kMaxTicks)));
    skipped = (clock.NowNs() - last) / periodNs;
    last += skipped * periodNs;
  }
}

}  // namespace platform::thread
