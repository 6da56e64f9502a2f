// Polls a condition that another thread brings about (a decoder, a device thread), for as long as a loaded machine
// may need: the outcome of a test never depends on how fast that thread runs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <thread>

// Calls `step` until it answers true; false after five minutes (the thread checker on a machine loaded by a
// parallel run slows a game thread's steps many times over; only a hang takes that long).
template <class Step>
bool WaitFor(Step&& step) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(300);
  while (!step()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Runs `f` on another thread and waits a minute for it: a step that would hang (a deadlock) fails the test and ends
// the program instead of stopping the whole run.
template <class F>
void WithinAMinute(F f) {
  auto done = std::async(std::launch::async, f);
  if (done.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
    ADD_FAILURE() << "hung";
    std::_Exit(1);
  }
  done.get();
}
