#include "shell/startmarks.h"

#include <atomic>

namespace {

std::atomic<TStartMarkSink> startMarkSink{nullptr};

}  // namespace

void SetStartMarkSink(TStartMarkSink sink) { startMarkSink.store(sink); }

void MarkStart(const char* phase) {
  if (const TStartMarkSink sink = startMarkSink.load(std::memory_order_relaxed)) sink(phase);
}
