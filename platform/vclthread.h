// The framework's thread object: created suspended, it runs `Execute` once resumed, is asked to stop through its
// Terminated flag and is waited for with WaitFor.
//
// Suspension is cooperative: only the thread itself suspends (Suspend from inside Execute), and a Resume is never
// lost. A Resume that comes while the thread is still running (about to suspend, or between two checks of its
// condition) is kept, and the thread's next Suspend returns at once, so a thread that re-checks its condition after
// every Suspend never sleeps through the wake-up meant for it. Terminate also wakes a suspended thread.
//
// The first Resume starts the system thread, which runs Execute once, even when Terminate came first. An exception that leaves Execute is kept
// (FatalException) and the thread ends normally. Owners Terminate and WaitFor before they delete the object (the
// destructor does both as a last resort, but by then the derived part is gone); never from the thread itself.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace Classes {

class TThread {
public:
  TThread() = default;
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  // Any thread: starts the thread the first time; later, lets a suspended thread go on, or keeps the resume for
  // its next Suspend. Throws std::system_error when no thread can be started.
  void Resume();
  // Any thread: sets Terminated, wakes the thread when it is suspended and runs the terminate hook.
  void Terminate();
  // Any thread: `hook` runs (on the terminating thread, after Terminated is set) at every later Terminate, so that
  // a call of the thread that blocks without looking at Terminated (a network request) can be ended; an empty
  // function removes it. A hook set after Terminate does not run: look at GetTerminated after setting it.
  void SetTerminateHook(std::function<void()> hook);
  bool GetTerminated() const { return terminated_.load(); }
  // Waits until Execute has returned; at once for a thread that was never started. Not from the thread itself.
  void WaitFor();
  bool IsStarted() const;
  bool IsFinished() const;
  // Whether the thread waits in Suspend now (a thread never started counts as suspended).
  bool IsSuspended() const;
  bool IsCurrentThread() const;
  // The exception that left Execute, if any.
  std::exception_ptr FatalException() const;

protected:
  virtual void Execute() = 0;
  // The thread itself: waits until resumed or terminated; returns at once when a resume is pending (and takes it).
  void Suspend();
  bool Terminated() const { return terminated_.load(); }

private:
  void Body();

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool started_ = false;
  bool resumePending_ = false;
  bool suspended_ = false;
  bool finished_ = false;
  std::atomic<bool> terminated_{false};
  std::exception_ptr fatal_;
  std::function<void()> terminateHook_;
  std::thread thread_;
};

}  // namespace Classes
