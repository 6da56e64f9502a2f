// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) turned into calls: they are blocked and one
// watcher thread takes them through a signalfd and calls the handler with the signal's number, outside any signal
// context, so the handler may lock, allocate and post work to other threads.
//
// Build the watch on the main thread before any other thread starts: threads inherit the blocked set, and a thread
// started earlier would still receive the signals the old way.
#pragma once

#include <functional>
#include <thread>

#include <signal.h>

namespace platform::signals {

// SIGTERM, SIGINT and SIGHUP.
sigset_t EndSignals();

class SignalWatch {
public:
  using Handler = std::function<void(int signal)>;

  // Blocks the signals in the calling thread and starts the watcher. Throws std::system_error when the signalfd or
  // the thread cannot be made (the mask is put back then).
  explicit SignalWatch(Handler handler);
  // Stops the watcher and restores the calling thread's previous mask; signals still pending are then delivered
  // the ordinary way.
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

private:
  void Watch();

  Handler handler_;
  sigset_t oldMask_;
  int signalFd_ = -1;
  int stopFd_ = -1;
  std::thread thread_;
};

}  // namespace platform::signals
