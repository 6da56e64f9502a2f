// Cocotte decoder on arbitrary bytes; the first three bytes choose the decoded length (up to 64 KiB). Also checks
// that the same bytes survive an encode (1,024-byte blocks, so that small inputs span several) and decode.
#include "core/vxcocotte.h"
#include "fuzz/pump_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A stored block costs its 6 header and index bytes on top of the data.
  return FuzzPumpCoder<VXCocotteMiniEncode, VXCocotteDecode>(
      data, size, [](int length) { return length + 6 * (length / 1024 + 1); });
}
