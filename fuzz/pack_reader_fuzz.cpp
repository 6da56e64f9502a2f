// Pack reader on arbitrary bytes: every entry of whatever loads is opened decoded and raw, read in pieces, copied
// and turned into a stream; a decoded entry must come out exactly its size.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/vxpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  VXMemoryStream stream(data, static_cast<int>(size));
  VXPack pack;
  pack.verifyMode = size > 0 ? data[size - 1] % 3 : 0;
  if (!pack.LoadPackStream(&stream)) return 0;
  char name[kVXPackFullNameLength + 1];
  std::vector<unsigned char> buffer(4096);
  for (int i = 0; i < pack.GetFileNum() && i < 64; ++i) {
    pack.GetFileName(i, name);
    if (name[0] == '\0') continue;
    for (bool decode : {true, false}) {
      VXFILE* f = pack.VXfopenComp(name, decode);
      if (f == nullptr) continue;
      pack.VXfseek(f, -3, 2);
      pack.VXfread(buffer.data(), 7, 1000, f);
      pack.VXfseek(f, 0, 0);
      while (pack.VXfread(buffer.data(), 1000, 1, f) == 1) {
      }
      pack.VXfclose(f);
    }
    VXStream* s = pack.VXMakeStream(name);
    if (s != nullptr) {
      // Known kinds come out decoded, at their size; other kinds are handed out as stored.
      const VXFileTable3* e = pack.GetFileTable(pack.CheckFileName(name));
      if (s->GetSize() != (e->comp <= VXPackCompNot ? e->size : e->compSize)) std::abort();
      delete s;
    }
    VXMemoryStream copy;
    pack.VXfopenToStream(&copy, name, false);
  }
  return 0;
}
