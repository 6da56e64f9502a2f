// Reads arbitrary bytes as a settings file, looks keys up, and checks that what is written reads back the same.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/vxstream.h"
#include "core/widefile.h"

namespace {

std::string Reparse(const std::string& text) {
  VXMemoryStream memory(text.data(), static_cast<int>(text.size()));
  VX2TStream stream(&memory);
  TIniFileW ini{VXWideStr()};
  ini.Load(&stream);
  return ini.GetText();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1 << 20)) return 0;
  VXMemoryStream memory(data, static_cast<int>(size));
  VX2TStream stream(&memory);
  TIniFileW ini{VXWideStr()};  // no path: nothing is read or written on disk
  ini.Load(&stream);
  ini.ReadString("Sound", "Volume", "100");
  ini.ReadString("", "", "");

  // Split a slice of the input into a section, key and value, and write them.
  const std::string bytes(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 96));
  const std::size_t third = bytes.size() / 3;
  const VXString section(bytes.substr(0, third).c_str());
  const VXString key(bytes.substr(third, third).c_str());
  const VXString value(bytes.substr(2 * third).c_str());
  if (ini.WriteString(section, key, value) && !value.IsEmpty()) {
    if (ini.ReadString(section, key, "").GetConstStr() != value.GetConstStr()) __builtin_trap();
  }

  // What is written reads back as the same store.
  const std::string text = ini.GetText();
  if (Reparse(text) != text) __builtin_trap();
  return 0;
}
