#include "platform/signals.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace platform::signals {

sigset_t EndSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

SignalWatch::SignalWatch(Handler handler) : handler_(std::move(handler)) {
  const sigset_t set = EndSignals();
  pthread_sigmask(SIG_BLOCK, &set, &oldMask_);
  auto fail = [&](const char* what) {
    const int why = errno;
    if (signalFd_ >= 0) close(signalFd_);
    if (stopFd_ >= 0) close(stopFd_);
    pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
    throw std::system_error(why, std::generic_category(), what);
  };
  signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
  if (signalFd_ < 0) fail("signalfd");
  stopFd_ = eventfd(0, EFD_CLOEXEC);
  if (stopFd_ < 0) fail("eventfd");
  try {
    thread_ = std::thread([this] { Watch(); });
  } catch (const std::system_error&) {
    errno = EAGAIN;
    fail("signal watcher");
  }
}

SignalWatch::~SignalWatch() {
  const std::uint64_t one = 1;
  while (write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
  }
  thread_.join();
  close(signalFd_);
  close(stopFd_);
  pthread_sigmask(SIG_SETMASK, &oldMask_, nullptr);
}

void SignalWatch::Watch() {
  for (;;) {
    pollfd fds[2] = {{signalFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    signalfd_siginfo info;
    if (read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info) && handler_)
      handler_(static_cast<int>(info.ssi_signo));
  }
}

}  // namespace platform::signals
