// Save file images made from raw data, for the fuzz targets that drive crafted records through the save loaders:
// a prefix (header, and the system save's raw-size field) followed by the range coder's stream of the raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/vxrange.h"

inline std::string CodedSaveImage(std::string prefix, const std::vector<std::uint8_t>& raw) {
  const std::size_t at = prefix.size();
  prefix.resize(at + 4 * raw.size() + 64);
  VXRangeEncode encoder;
  if (!encoder.Create() || !encoder.Encode(raw.data(), reinterpret_cast<unsigned char*>(prefix.data()) + at,
                                           static_cast<int>(raw.size()), static_cast<int>(prefix.size() - at)))
    std::abort();
  prefix.resize(at + static_cast<std::size_t>(encoder.outputLength));
  return prefix;
}
