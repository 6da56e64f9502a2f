// A scene table and a speaker table as a damaged or crafted game folder could hold them. The first two bytes give the
// length of the scene table; the rest is the speaker table. A table either loads or fails with the game's error;
// nothing reads outside it, and every loaded name can be started or refused without harm.
// Links: scenario
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/vxstream.h"
#include "scenario/scripte.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  const std::size_t tableSize = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
  VXMemoryStream table(data + 2, static_cast<int>(tableSize));
  VXMemoryStream speakers(data + 2 + tableSize, static_cast<int>(size - 2 - tableSize));
  TScriptEngine engine(nullptr, nullptr, nullptr);
  bool loaded = false;
  try {
    loaded = engine.LoadSceneTable(table, &speakers);
  } catch (const EGameErr&) {
    if (engine.IsLoaded() || std::strlen(engine.GetLoadError()) == 0) std::abort();
    return 0;
  }
  if (!loaded || !engine.IsLoaded()) std::abort();
  for (int picture = -1; picture <= TScriptEngine::kSpeakerCount; ++picture) engine.GetSpeaker(picture);
  // The names of the first entries, as a scene jump would give them (no script can be loaded here).
  for (std::size_t at = 12 + 22, n = 0; at < tableSize && n < 8; ++n) {
    const std::string name(reinterpret_cast<const char*>(data + 2 + at),
                           strnlen(reinterpret_cast<const char*>(data + 2 + at), tableSize - at));
    if (engine.StartScene(name.c_str())) std::abort();
    at += name.size() + 1 + 22;
  }
  return 0;
}
