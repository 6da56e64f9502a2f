// The sound decoders on arbitrary bytes; the first byte chooses WAVE, MPEG audio, ADP or Ogg Vorbis. Decoding must
// end, and never deliver more than the decoder announced; a move back into the middle (as a loop wrap makes, by a
// seek or by decoding forward again) must end too and deliver no more than what lies after it.
// Links: device
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "device/vxladpstream.h"
#include "device/vxloggstream.h"
#include "device/vxlwavestream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  VXMemoryStream code(data + 1, static_cast<int>(size - 1));
  std::unique_ptr<VXPcmStream> pcm;
  switch (data[0] % 4) {
    case 0: pcm = std::make_unique<VXWaveStream>(&code); break;
    case 1: pcm = std::make_unique<VXMp3Stream>(&code); break;
    case 2: pcm = std::make_unique<VXAdpStream>(&code); break;
    default: pcm = std::make_unique<VXOggStream>(&code); break;
  }
  if (!pcm->IsOpen()) return 0;
  std::vector<std::uint8_t> block(65536);
  std::int64_t total = 0;
  for (int i = 0; i < 4096; ++i) {
    const int n = pcm->Read(block.data(), static_cast<int>(block.size()));
    if (n == 0) break;
    total += n;
  }
  if (total > pcm->GetSize()) std::abort();
  const int middle = pcm->GetSamples() / 2;
  if (!pcm->MoveToSample(middle)) return 0;
  std::int64_t rest = 0;
  for (int i = 0; i < 4096; ++i) {
    const int n = pcm->Read(block.data(), static_cast<int>(block.size()));
    if (n == 0) break;
    rest += n;
  }
  if (rest > pcm->GetSize() - static_cast<std::int64_t>(middle) * pcm->FrameBytes()) std::abort();
  return 0;
}
