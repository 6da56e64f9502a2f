#include "platform/resource.h"

#include <mutex>
#include <vector>

namespace platform {
namespace {

struct Registry {
  std::mutex lock;
  std::vector<const Resource*> entries;
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

bool RegisterResources(const Resource* table, std::size_t count) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (std::size_t i = 0; i < count; ++i) r.entries.push_back(&table[i]);
  return true;
}

const Resource* FindResource(std::string_view type, std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (const Resource* e : r.entries)
    if (EqualNoCase(e->type, type) && EqualNoCase(e->name, name)) return e;
  return nullptr;
}

}  // namespace platform
