// Polls a condition that another thread brings about (a decoder, a device thread), for as long as a loaded machine
// may need: the outcome of a test never depends on how fast that thread runs.
#pragma once

#include <chrono>
#include <thread>

// Calls `step` until it answers true; false after a minute.
template <class Step>
bool WaitFor(Step&& step) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!step()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
