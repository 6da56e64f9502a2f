// Pack table loader on arbitrary bytes, in every verify mode; every query over whatever loaded, and the writer's name
// check over the names a table can hold (any bytes, cut double-byte characters included).
#include <cstdint>
#include <cstdlib>

#include "core/vxpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;  // larger tables only slow the run: three loads of each input
  for (unsigned char verify = 0; verify < 3; ++verify) {
    VXMemoryStream stream(data, static_cast<int>(size));
    VXPack pack;
    pack.verifyMode = verify;
    if (!pack.LoadPackStream(&stream)) {
      if (pack.GetFileNum() != 0) std::abort();
      continue;
    }
    char name[kVXPackFullNameLength + 1];
    for (int i = 0; i < pack.GetFileNum(); ++i) {
      if (!pack.GetFileName(i, name)) std::abort();
      const int found = pack.CheckFileName(name);
      if (name[0] != '\0' && (found < 0 || found > i)) std::abort();
      if (name[0] != '\0' && pack.NameRefusal(name).empty()) std::abort();  // a name the pack holds is taken
      FILETIME t;
      pack.GetFileTime(i, &t);
      pack.VerifyFileCrc(i);
    }
  }
  return 0;
}
