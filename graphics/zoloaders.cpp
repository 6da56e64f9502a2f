#include "graphics/zoloaders.h"

#include <climits>
#include <cstdint>

bool ZoLoadFramework(Classes::TStream* stream, const std::function<bool(VXStream*)>& load) {
  if (stream == nullptr) return false;
  T2VXStream s(stream);
  return load(&s);
}

int ZoLoadExtent(int position, int side) {
  const std::int64_t extent = std::int64_t{position} + side;
  return extent > 0 && extent <= INT_MAX ? static_cast<int>(extent) : 0;
}
