// Locks of the game: a plain re-entrant critical section, and one that knows its owner and its waiters and can be
// tried without blocking and without jumping the queue.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread.h"

// Mutual exclusion that the owning thread may enter again, as many times as it leaves. Leave from a thread that does
// not hold the section does nothing. LeaveAll and Reenter let a holder wait with the section given up completely.
class VXCriticalSection {
public:
  VXCriticalSection() = default;
  VXCriticalSection(const VXCriticalSection&) = delete;
  VXCriticalSection& operator=(const VXCriticalSection&) = delete;

  void Enter() { lock_.Lock(); }
  bool TryEnter() { return lock_.TryLock(); }
  void Leave() { lock_.Unlock(); }
  // The standard names, so that std::lock_guard and std::unique_lock hold a section for a scope.
  void lock() { Enter(); }
  void unlock() { Leave(); }

  int LeaveAll() { return lock_.ReleaseAll(); }  // the depth given up
  void Reenter(int depth) { lock_.Reacquire(depth); }
  bool IsOwner() const { return lock_.IsHeldByCurrentThread(); }

private:
  platform::thread::RecursiveMutex lock_;
};

// Holds a section for a scope. Made from a null pointer it holds nothing: for a lock that may not exist yet.
class VXSectionHold {
public:
  explicit VXSectionHold(VXCriticalSection& section) : section_(&section) { section_->Enter(); }
  explicit VXSectionHold(VXCriticalSection* section) : section_(section) {
    if (section_ != nullptr) section_->Enter();
  }
  ~VXSectionHold() {
    if (section_ != nullptr) section_->Leave();
  }
  VXSectionHold(const VXSectionHold&) = delete;
  VXSectionHold& operator=(const VXSectionHold&) = delete;

private:
  VXCriticalSection* section_;
};

// A re-entrant lock with owner, nesting count and waiter count. Check takes it only when that needs no waiting and
// nobody already waits for it; Release by a thread that does not hold it does nothing.
class VXCriticalSectionEx {
public:
  VXCriticalSectionEx() = default;
  ~VXCriticalSectionEx() = default;
  VXCriticalSectionEx(const VXCriticalSectionEx&) = delete;
  VXCriticalSectionEx& operator=(const VXCriticalSectionEx&) = delete;

  void Acquire();
  bool Check();
  void Release();

  int GetWaiterCount() const;  // threads blocked in Acquire

private:
  bool HeldByCallerLocked() const { return nesting_ > 0 && owner_ == std::this_thread::get_id(); }
  // Takes the lock without waiting when the caller holds it or it is free with nobody queued; false otherwise.
  bool TryTakeLocked();

  void TakeLocked();

  std::thread::id owner_;  // meaningful only while nesting_ > 0
  int nesting_ = 0;
  int waiters_ = 0;
  mutable std::mutex guard_;  // protects the three counters; the only mutex, so no lock order to get wrong
  std::condition_variable freed_;
};
