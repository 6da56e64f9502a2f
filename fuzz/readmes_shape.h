// The read-text log as its buffer holds it, for the fuzz targets that load logs: a walk of the stored blocks that
// must end exactly at the used size (else abort), and a plain model of the read messages it describes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "core/vxstd.h"
#include "shell/readmes.h"

struct ReadLogModel {
  std::map<std::uint32_t, std::pair<std::uint32_t, std::set<int>>> scripts;  // script -> stamp, read messages
};

// Walks the blocks as stored and fills the model from them, when one is given. False when a block's ranges are not
// in their canonical form (sorted, apart), a range is too long to model, or a script has two blocks: the model
// cannot stand for such a log.
inline bool CheckLogShape(const TReadMesTable& log, ReadLogModel* model, int maxSpan) {
  const std::uint8_t* p = log.GetBuffer();
  const std::uint32_t used = VXGetLE32(p);
  if (used < TReadMesTable::kHeaderSize || used >= TReadMesTable::kBufferSize || used % 4 != 0) std::abort();
  bool canonical = true;
  std::uint32_t offset = TReadMesTable::kHeaderSize;
  for (std::uint32_t i = 0, count = VXGetLE32(p + 4); i < count; ++i) {
    if (used - offset < 12) std::abort();
    const std::uint32_t payload = VXGetLE32(p + offset);
    if (payload % 4 != 0 || payload > used - offset - 12) std::abort();
    const std::uint32_t script = VXGetLE32(p + offset + 4);
    std::set<int> read;
    int previousLast = -2;
    for (std::uint32_t at = offset + 12; at < offset + 12 + payload; at += 4) {
      const int first = VXGetLE16(p + at);
      const int last = VXGetLE16(p + at + 2);
      if (first > last || first <= previousLast + 1 || last - first > maxSpan) canonical = false;
      previousLast = last;
      if (model != nullptr && canonical)
        for (int m = first; m <= last; ++m) read.insert(m);
    }
    if (model != nullptr && !model->scripts.emplace(script, std::make_pair(VXGetLE32(p + offset + 8), read)).second)
      canonical = false;
    offset += 12 + payload;
  }
  if (offset != used) std::abort();
  return canonical;
}
