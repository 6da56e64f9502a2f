#include "core/vxcritsec.h"

void VXCriticalSectionEx::TakeLocked() {
  owner_ = std::this_thread::get_id();
  nesting_ = 1;
}

bool VXCriticalSectionEx::TryTakeLocked() {
  if (HeldByCallerLocked()) {
    ++nesting_;
    return true;
  }
  if (nesting_ != 0 || waiters_ != 0) return false;
  TakeLocked();
  return true;
}

void VXCriticalSectionEx::Acquire() {
  std::unique_lock guard(guard_);
  if (TryTakeLocked()) return;
  // Held by another thread, or free while others still queue for it: queue as well.
  ++waiters_;
  freed_.wait(guard, [this] { return nesting_ == 0; });
  --waiters_;
  TakeLocked();
}

bool VXCriticalSectionEx::Check() {
  std::lock_guard guard(guard_);
  return TryTakeLocked();
}

void VXCriticalSectionEx::Release() {
  std::lock_guard guard(guard_);
  if (!HeldByCallerLocked()) return;
  if (--nesting_ == 0) freed_.notify_one();
}

int VXCriticalSectionEx::GetWaiterCount() const {
  std::lock_guard guard(guard_);
  return waiters_;
}
