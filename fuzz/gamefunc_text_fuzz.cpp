// The shell's text helpers over arbitrary bytes (double-byte characters, NULs and all): numbers, version tags,
// comma-separated tokens, file-name parts and kinds, bracket patterns, and chapter names cut to any length.
// Links: shell
#include <cstdint>

#include "core/vxstrlist.h"
#include "device/gameservices.h"
#include "shell/gamefunc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static TLocalGameServices services(nullptr, nullptr, bd32);
  SetGameServices(&services);
  const VXString text(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size));
  StrToThousandths(text);
  ParseVersionTag(text);
  GetImageKind(text);
  VXString base, ext;
  SplitFileExt(base, ext, text);
  for (VXString rest = text; !rest.IsEmpty();) CutToken(rest);
  VXStringList* names = ExpandBracketPattern(text);
  services.GetMemMan().Delete(names);
  if (size >= 2) GetChapterName(static_cast<std::int8_t>(data[0]), static_cast<std::int8_t>(data[1]));
  return 0;
}
