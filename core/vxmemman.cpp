#include "core/vxmemman.h"

#include <algorithm>
#include <cstdarg>

#include "core/vxsys.h"

VXMemMan::~VXMemMan() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (OnMessage.IsValid() || OnNotRelease.IsValid()) {
    while (!list_.empty()) {
      VXMemPointer record = list_.back();
      Message("NotRelease %08" PRIxPTR ":Call(%08" PRIxPTR ")", reinterpret_cast<std::uintptr_t>(record.Pointer),
              record.Caller);
      if (OnNotRelease.IsValid()) OnNotRelease.Invoke(this, record);
      list_.pop_back();
    }
  }
}

std::uintptr_t VXMemMan::CallSite(void* returnAddress) const {
  return OnMessage.IsValid() ? VXCallSiteOf(returnAddress) : 0;
}

void VXMemMan::Message(const char* format, ...) const {
  if (!OnMessage.IsValid()) return;
  VXString text;
  va_list args;
  va_start(args, format);
  text.vprintf(format, args);
  va_end(args);
  OnMessage.Invoke(const_cast<VXMemMan*>(this), text);
}

bool VXMemMan::AddPointerList(VXMemPointer record) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  try {
    list_.push_back(record);
    if (OnAddPointer.IsValid()) OnAddPointer.Invoke(this, record);
    return true;
  } catch (...) {
    return false;
  }
}

bool VXMemMan::DelPointerList(VXMemPointer record) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  try {
    auto it = std::find(list_.begin(), list_.end(), record);
    if (it == list_.end()) {
      Message("Pointer is not found Delete(%08" PRIxPTR ")", record.Caller);
      return false;
    }
    if (it->Kind != VXMemPointer::KindForeign && it->Kind != record.Kind) {
      Message("TypeDiffers %08" PRIxPTR ":Create(%08" PRIxPTR ") Delete(%08" PRIxPTR ")",
              reinterpret_cast<std::uintptr_t>(it->Pointer), it->Caller, record.Caller);
      return false;
    }
    list_.erase(it);
    return true;
  } catch (...) {
    return false;
  }
}
