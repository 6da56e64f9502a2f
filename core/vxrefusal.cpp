#include "core/vxrefusal.h"

#include <cstring>

namespace {

constexpr std::size_t kReasonBytes = 256;
thread_local char reason_[kReasonBytes] = {};
thread_local int depth_ = 0;

}  // namespace

const char* VXRefusal() { return reason_; }

bool VXRefuse(const char* reason) {
  if (reason == nullptr) reason = "";
  const std::size_t n = strnlen(reason, kReasonBytes - 1);
  std::memcpy(reason_, reason, n);
  reason_[n] = '\0';
  return false;
}

std::nullptr_t VXRefuseNull(const char* reason) {
  VXRefuse(reason);
  return nullptr;
}

void VXClearRefusal() { reason_[0] = '\0'; }

VXRefusalScope::VXRefusalScope() {
  if (depth_++ == 0) VXClearRefusal();
}

VXRefusalScope::~VXRefusalScope() { --depth_; }
