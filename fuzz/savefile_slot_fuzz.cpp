// The slot save's loader on crafted files. The first byte chooses the form of the rest:
//   even: the rest is a whole file, as found in the save folder;
//   odd:  the rest is raw data, coded here behind a good header, so that crafted records reach the commit:
//         u32 offset and then bytes laid over a slot of two default records (the extra size at 119,720 among
//         them); the first byte's bits 1-2 make the raw data 1 byte short, 1 byte long or 4 KB long.
// A refused file must leave every destination as it was. A loaded one must give records whose accessors stay in
// range, an extra size of at most 40,200, and must come out of a save and a load again unchanged.
// Links: shell
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/vxstd.h"
#include "fuzz/gamestate_check.h"
#include "fuzz/savefile_image.h"
#include "shell/savefile.h"

namespace {

std::string RawImage(std::uint8_t form, const std::uint8_t* data, std::size_t size) {
  static const TGameState fresh;
  std::vector<std::uint8_t> raw(kSlotRawSize);
  std::memcpy(raw.data(), &fresh, sizeof fresh);
  std::memcpy(raw.data() + sizeof fresh, &fresh, sizeof fresh);
  if (size >= 4) {
    const std::size_t offset = VXGetLE32(data) % kSlotRawSize;
    std::memcpy(raw.data() + offset, data + 4, std::min<std::size_t>(size - 4, kSlotRawSize - offset));
  }
  static constexpr int kShift[] = {0, -1, 1, 4096};
  raw.resize(static_cast<std::size_t>(static_cast<int>(kSlotRawSize) + kShift[form >> 1 & 3]));
  return CodedSaveImage(std::string("QORM\x00\x01\x00\x00", 8), raw);
}

template <class T>
std::vector<std::uint8_t> Bytes(const T& record) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
  return {p, p + sizeof record};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const std::string image = data[0] & 1 ? RawImage(data[0], data + 1, size - 1)
                                        : std::string(reinterpret_cast<const char*>(data) + 1, size - 1);

  static TGameState current, second;
  current = TGameState();
  current.SetVar(1, 11);
  second = TGameState();
  const std::vector<std::uint8_t> currentBefore = Bytes(current), secondBefore = Bytes(second);
  static std::uint8_t extra[kSlotExtraMax];
  std::memset(extra, 0xEE, sizeof extra);
  std::uint32_t extraSize = 0xDEAD;

  if (!DecodeSlotSave(image.data(), image.size(), &current, &second, extra, &extraSize)) {
    if (Bytes(current) != currentBefore || Bytes(second) != secondBefore || extraSize != 0xDEAD) std::abort();
    for (std::uint8_t b : extra)
      if (b != 0xEE) std::abort();
    return 0;
  }
  if (extraSize > kSlotExtraMax) std::abort();
  CheckGameState(current);
  CheckGameState(second);

  // What was loaded saves and loads again as it is.
  std::string again;
  if (!EncodeSlotSave(current, second, extra, extraSize, again)) std::abort();
  static TGameState current2, second2;
  static std::uint8_t extra2[kSlotExtraMax];
  std::uint32_t extraSize2 = 0;
  if (!DecodeSlotSave(again.data(), again.size(), &current2, &second2, extra2, &extraSize2) ||
      extraSize2 != extraSize || Bytes(current2) != Bytes(current) || Bytes(second2) != Bytes(second) ||
      std::memcmp(extra2, extra, extraSize) != 0)
    std::abort();
  return 0;
}
