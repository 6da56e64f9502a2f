// Loads arbitrary bytes as a stored read-text log, then marks and asks about messages chosen by the input. The log
// must stay inside its buffer and describe itself consistently after every step; where the loaded log was well
// formed, what it answers must agree with a plain set of read messages.
// Links: shell
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <utility>

#include "core/vxstd.h"
#include "shell/readmes.h"

namespace {

struct Model {
  std::map<std::uint32_t, std::pair<std::uint32_t, std::set<int>>> scripts;  // script -> stamp, read messages
};

// Walks the blocks as stored and fills the model from them, when one is given. False when a block's ranges are not
// in their canonical form (sorted, apart), a range is too long to model, or a script has two blocks: the model
// cannot stand for such a log.
bool CheckShape(const TReadMesTable& log, Model* model, int maxSpan) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const std::size_t opCount = std::min<std::size_t>(data[0], (size - 1) / 4);
  const std::uint8_t* ops = data + 1;
  const std::uint8_t* image = ops + 4 * opCount;
  const std::size_t imageSize = size - 1 - 4 * opCount;

  static TReadMesTable log;
  const std::uint8_t empty[8] = {8};
  log.Load(empty, 8);
  log.Load(image, static_cast<int>(imageSize));
  Model model;
  bool modelled = CheckShape(log, &model, 1024);

  for (std::size_t i = 0; i < opCount; ++i) {
    const std::uint8_t* op = ops + 4 * i;
    const std::uint32_t script = op[0] & 0x07;  // a few scripts, so that ops meet
    const int message = VXGetLE16(op + 2) % 64 + (op[1] & 0x80 ? 65472 : 0);
    const std::uint32_t key = script << 16 | static_cast<std::uint32_t>(message);
    if (log.GetUsedSize() + 16 >= TReadMesTable::kBufferSize) modelled = false;  // marks may be refused now
    switch (op[1] & 3) {
      case 0:
      case 1:
        log.MarkRead(key);
        if (modelled && model.scripts.count(script))
          model.scripts[script].second.insert(message);
        break;
      case 2: {
        const std::uint32_t stamp = op[0] >> 6;
        log.SetScriptStamp(static_cast<int>(script), stamp);
        if (modelled) {
          auto [it, added] = model.scripts.emplace(script, std::make_pair(stamp, std::set<int>{}));
          if (!added && it->second.first != stamp) it->second = {stamp, {}};
        }
        break;
      }
      default:
        if (modelled) {
          const auto it = model.scripts.find(script);
          if (log.IsRead(key) != (it != model.scripts.end() && it->second.second.count(message) != 0)) std::abort();
        }
        break;
    }
    Model now;
    const bool canonical = CheckShape(log, modelled ? &now : nullptr, 65535);
    if (modelled && (!canonical || now.scripts != model.scripts)) std::abort();
  }
  return 0;
}
