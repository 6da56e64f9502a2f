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
#include "fuzz/readmes_shape.h"
#include "shell/readmes.h"

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
  ReadLogModel model;
  bool modelled = CheckLogShape(log, &model, 1024);

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
    ReadLogModel now;
    const bool canonical = CheckLogShape(log, modelled ? &now : nullptr, 65535);
    if (modelled && (!canonical || now.scripts != model.scripts)) std::abort();
  }
  return 0;
}
