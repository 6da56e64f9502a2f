// Pack reader on arbitrary bytes: every entry of whatever loads is opened decoded and raw, read in pieces, copied
// and turned into a stream; a decoded entry must come out exactly its size. An entry that claims more than 1 MiB is
// decoded only into a stream that grows as it is written: a presized buffer of the size a few stored bytes may claim
// (up to 64 KiB of output per 3 bytes) only slows the run, and the decoder stops where the stored bytes end.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/vxpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > (1u << 16)) return 0;
  constexpr std::uint32_t kPresizedLimit = 1u << 20;
  VXMemoryStream stream(data, static_cast<int>(size));
  VXPack pack;
  pack.verifyMode = size > 0 ? data[size - 1] % 3 : 0;
  if (!pack.LoadPackStream(&stream)) return 0;
  char name[kVXPackFullNameLength + 1];
  std::vector<unsigned char> buffer(4096);
  for (int i = 0; i < pack.GetFileNum() && i < 64; ++i) {
    pack.GetFileName(i, name);
    if (name[0] == '\0') continue;
    const VXFileTable3* e = pack.GetFileTable(pack.CheckFileName(name));
    if (e->size > kPresizedLimit) {
      VXMemoryStream decoded;
      pack.VXfopenToStream(&decoded, name, true);
    }
    for (bool decode : {true, false}) {
      if (decode && e->size > kPresizedLimit) continue;
      VXFILE* f = pack.VXfopenComp(name, decode);
      if (f == nullptr) continue;
      pack.VXfseek(f, -3, 2);
      pack.VXfread(buffer.data(), 7, 1000, f);
      pack.VXfseek(f, 0, 0);
      while (pack.VXfread(buffer.data(), 1000, 1, f) == 1) {
      }
      pack.VXfclose(f);
    }
    VXStream* s = e->size > kPresizedLimit ? nullptr : pack.VXMakeStream(name);
    if (s != nullptr) {
      // Known kinds come out decoded, at their size; other kinds are handed out as stored.
      if (s->GetSize() != (e->comp <= VXPackCompNot ? e->size : e->compSize)) std::abort();
      delete s;
    }
    VXMemoryStream copy;
    pack.VXfopenToStream(&copy, name, false);
  }
  return 0;
}
