// What the text benchmarks share: the message line they draw and the processor count they report beside the figures.
#pragma once

#include <benchmark/benchmark.h>

#include <string>
#include <thread>

#include "platform/text.h"

namespace bench {

// One line of a message: 40 Japanese characters, as CP932 bytes.
inline const std::string& MessageLine() {
  static const std::string line = *platform::text::Utf8ToCp932(
      "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじ");
  return line;
}

// Adds the processor count to the context printed before the figures; returns true so that a namespace-scope
// constant can run it before the benchmarks.
inline bool AddProcessorContext() {
  benchmark::AddCustomContext("nproc", std::to_string(std::thread::hardware_concurrency()));
  return true;
}

}  // namespace bench
