#include "platform/vclthread.h"

namespace Classes {

TThread::~TThread() {
  Terminate();
  if (!thread_.joinable()) return;
  if (IsCurrentThread())
    thread_.detach();
  else
    thread_.join();
}

void TThread::Resume() {
  std::lock_guard lock(mutex_);
  if (!started_) {
    thread_ = std::thread([this] { Body(); });
    started_ = true;
    return;
  }
  resumePending_ = true;
  wake_.notify_all();
}

void TThread::Terminate() {
  terminated_ = true;
  std::function<void()> hook;
  {
    std::lock_guard lock(mutex_);
    wake_.notify_all();
    hook = terminateHook_;
  }
  if (hook) hook();
}

void TThread::SetTerminateHook(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  terminateHook_ = std::move(hook);
}

void TThread::WaitFor() {
  {
    std::lock_guard lock(mutex_);
    if (!started_) return;
  }
  if (thread_.joinable() && !IsCurrentThread()) thread_.join();
}

bool TThread::IsCurrentThread() const {
  std::lock_guard lock(mutex_);
  return started_ && thread_.get_id() == std::this_thread::get_id();
}

bool TThread::IsStarted() const {
  std::lock_guard lock(mutex_);
  return started_;
}

bool TThread::IsFinished() const {
  std::lock_guard lock(mutex_);
  return finished_;
}

bool TThread::IsSuspended() const {
  std::lock_guard lock(mutex_);
  return !started_ || suspended_;
}

std::exception_ptr TThread::FatalException() const {
  std::lock_guard lock(mutex_);
  return fatal_;
}

void TThread::Suspend() {
  std::unique_lock lock(mutex_);
  suspended_ = true;
  wake_.wait(lock, [this] { return resumePending_ || terminated_.load(); });
  resumePending_ = false;
  suspended_ = false;
}

void TThread::Body() {
  std::exception_ptr fatal;
  try {
    Execute();  // also when terminated before it began: Execute looks at Terminated itself
  } catch (...) {
    fatal = std::current_exception();
  }
  std::lock_guard lock(mutex_);
  fatal_ = fatal;
  finished_ = true;
}

}  // namespace Classes
