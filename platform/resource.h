// Data embedded into the program at build time (cmake/Embed.cmake), found by type and name.
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

struct Resource {
  const char* type;
  const char* name;
  const unsigned char* data;
  std::size_t size;
};

// Adds a table of resources; called by the generated sources during static initialisation.
// The table must outlive the program. Always returns true (a value to initialise a static with).
bool RegisterResources(const Resource* table, std::size_t count);

// Finds a resource by type and name, both compared without regard to ASCII case; null when absent.
const Resource* FindResource(std::string_view type, std::string_view name);

}  // namespace platform
