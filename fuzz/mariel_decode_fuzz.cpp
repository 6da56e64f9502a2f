// Mariel decoder on arbitrary bytes; the first three bytes choose the decoded length (up to 64 KiB). Also checks
// that the same bytes survive an encode and decode.
#include "core/vxmariel.h"
#include "fuzz/pump_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return FuzzPumpCoder<VXMarielEncode, VXMarielDecode>(data, size, [](int length) { return length * 2 + 16; });
}
