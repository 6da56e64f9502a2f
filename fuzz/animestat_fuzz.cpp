// Animation table loader on arbitrary bytes; whatever loads is played: every group started and stepped by waits
// taken from the input, every frame shown within the table.
#include <cstdint>
#include <cstdlib>

#include "core/vxstream.h"
#include "graphics/vxanimestat.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  VXMemoryStream stream(data, static_cast<int>(size));
  VXAnimeData table;
  if (!table.Load(&stream)) {
    if (table.IsEnable()) std::abort();
    return 0;
  }
  for (int g = 0; g < VXAnimeData::kGroups; ++g) {
    const int count = table.GetAnimeCount(g);
    if (count < 0 || count > VXAnimeData::kMaxGroupFrames) std::abort();
    if (count > 0 && table.GetAnimeFrame(g, count - 1) == nullptr) std::abort();
    if (table.GetAnimeFrame(g, count) != nullptr) std::abort();
  }
  VXAnimeStat player;
  player.SetAnimeData(&table);
  player.InitStat();
  for (int g = 0; g < VXAnimeData::kGroups; ++g) {
    if (!player.StartGroup(g)) std::abort();
    for (std::size_t i = 0; i < 64; ++i) {
      const int ticks = size > 0 ? data[(i * 7 + static_cast<std::size_t>(g)) % size] * 16 : 1;
      player.CallFrame(ticks);
      const int count = table.GetAnimeCount(player.GetGroup());
      if (player.GetGroup() < g || player.GetGroup() >= VXAnimeData::kGroups) std::abort();  // groups only go on
      if (count > 0 && player.GetFrame() >= count) std::abort();
    }
  }
  if (player.StartGroup(VXAnimeData::kGroups) || player.StartGroup(-1)) std::abort();
  return 0;
}
