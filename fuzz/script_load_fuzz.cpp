// A compiled script as a damaged or crafted game folder could hold it. It either loads or is refused with nothing
// loaded; once loaded, every function name, record offset, text number and code position can be asked for without
// reading outside the script.
// Links: scenario
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/vxstream.h"
#include "scenario/scripte.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 20)) return 0;
  VXMemoryStream file(data, static_cast<int>(size));
  TScriptEngine engine(nullptr, nullptr, nullptr);
  if (!engine.LoadScript(1, file)) {
    if (engine.GetLoadedScript() != -1) std::abort();
    return 0;
  }
  if (engine.GetLoadedScript() != 1) std::abort();
  for (const char* name : {"", "main", "f", "a"}) engine.FunctionCodeStart(engine.FindFunction(name));
  for (int offset = -1; offset < 64; ++offset) engine.FunctionCodeStart(offset);
  for (int text = 0; text < 70000; ++text) {
    try {
      engine.ExpandTextMacros(engine.GetStringOperand(text));
    } catch (const EGameErr&) {
      break;  // beyond the text count
    }
  }
  for (int position : {-1, INT_MIN}) {
    try {
      engine.ReadCodeWord(position);
      std::abort();
    } catch (const EGameErr&) {
    }
  }
  try {
    for (int position = 0;; ++position) {
      engine.ReadCodeWord(position);
      engine.ReadCodeDword(position);
    }
  } catch (const EGameErr&) {
  }
  return 0;
}
