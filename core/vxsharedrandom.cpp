#include "core/vxsharedrandom.h"

#include <mutex>

#include "core/vxstd.h"

namespace {

struct Shared {
  std::mutex lock;
  VXRandom random;
};

Shared& TheShared() {
  static Shared shared;
  return shared;
}

}  // namespace

std::uint16_t VXSharedRnd() {
  Shared& s = TheShared();
  std::lock_guard guard(s.lock);
  return s.random.Rnd();
}

int VXSharedRandom(int n) {
  Shared& s = TheShared();
  std::lock_guard guard(s.lock);
  return s.random.Random(n);
}

void VXSharedRandomReset() {
  Shared& s = TheShared();
  std::lock_guard guard(s.lock);
  s.random = VXRandom();
}
