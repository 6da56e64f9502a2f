#include "core/vxtimer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/text.h"

namespace {

// The periods the timer thread can keep, in milliseconds.
constexpr unsigned int kDeviceMinPeriod = 1;
constexpr unsigned int kDeviceMaxPeriod = 1'000'000;
constexpr unsigned int kMaxResolution = 100;

// CP932: "the multimedia timer cannot be obtained".
constexpr const char* kNoTimerText =
    "\xcf\xd9\xc1\xd2\xc3\xde\xa8\xb1\xc0\xb2\xcf\xb0\x82\xf0\x8e\xe6\x93\xbe\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1";

unsigned int ResolutionFor(unsigned int interval) {
  const unsigned int wanted = std::min(interval, kMaxResolution);
  return std::clamp(wanted, kDeviceMinPeriod, kDeviceMaxPeriod);
}

// The exception's text for the terminal: the core library's texts are CP932.
std::string Describe(const std::exception& e) { return platform::text::Cp932ToUtf8(e.what()); }

void LogTimerError(const std::exception& e) {
  std::string cause = "unknown exception";
  try {
    std::rethrow_if_nested(e);
    cause.clear();
  } catch (const std::exception& inner) {
    cause = Describe(inner);
  } catch (...) {
  }
  std::fprintf(stderr, "VXTimer: %s%s%s\n", Describe(e).c_str(), cause.empty() ? "" : ": ", cause.c_str());
}

}  // namespace

VXTimer::VXTimer() : VXTimer(platform::thread::MonotonicClock()) {}

VXTimer::VXTimer(platform::thread::Clock& clock) : resolution_(ResolutionFor(kMaxResolution)), thread_(clock) {}

VXTimer::~VXTimer() {
  enabled_ = false;
  thread_.Stop();
}

void VXTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateTimer();
}

void VXTimer::SetInterval(unsigned int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  resolution_ = ResolutionFor(ms);
  UpdateTimer();
}

void VXTimer::SetOnTimer(VXBaseCallback1<void, void*> handler) {
  {
    std::lock_guard lock(handlerMutex_);
    onTimer_ = handler;
  }
  UpdateTimer();
}

void VXTimer::UpdateTimer() {
  thread_.Stop();
  if (interval_ == 0 || !enabled_) return;
  try {
    thread_.Start(interval_, [this](std::uint32_t ticks) { TimeProc(ticks); });
  } catch (const std::system_error&) {
    throw std::runtime_error(kNoTimerText);
  }
}

void VXTimer::CountClear() { count_ = 0; }

void VXTimer::CountInc() { AddCount(1); }

void VXTimer::CountDec() {
  int current = count_;
  while (current > 0 && !count_.compare_exchange_weak(current, current - 1)) {
  }
}

// Saturates at the largest int: a long-running timer must not wrap into negative counts.
void VXTimer::AddCount(std::int64_t n) {
  constexpr std::int64_t kMax = std::numeric_limits<int>::max();
  int current = count_;
  while (!count_.compare_exchange_weak(current, static_cast<int>(std::min(kMax, current + n)))) {
  }
}

void VXTimer::Timer(std::uint32_t ticks) {
  AddCount(ticks);
  uncalled_ += ticks;
  if (busy_.exchange(true)) {
    missed_ += ticks;
    return;
  }
  if (ticks > 1) missed_ += ticks - 1;
  callTicks_ = uncalled_.exchange(0);
  VXBaseCallback1<void, void*> handler;
  {
    std::lock_guard lock(handlerMutex_);
    handler = onTimer_;
  }
  try {
    if (handler.IsValid()) handler.Invoke(this);
  } catch (...) {
    busy_ = false;
    std::throw_with_nested(std::logic_error("Timer Call Error"));
  }
  busy_ = false;
}

void VXTimer::TimeProc(std::uint32_t ticks) noexcept {
  try {
    Timer(ticks);
  } catch (const std::exception& e) {
    LogTimerError(e);
  } catch (...) {
    std::fputs("VXTimer: unknown exception from the timer handler\n", stderr);
  }
}
