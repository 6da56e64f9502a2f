// The system save's loader on crafted files. The first byte chooses the form of the rest:
//   even: the rest is a whole file, as found in the save folder;
//   odd:  the rest is raw data, coded here behind a good header, so that crafted records and logs reach the
//         commit: u16 offset and u16 length of the bytes laid over a default record, those bytes, then the stored
//         log; the first byte's bits 1-2 move the raw-size field off the truth by -1, 0, +1 or 0x10000.
// A refused file must leave the record and the log as they were. A loaded one must leave a log that walks to its
// used size, and must come out of a save and a load again unchanged, with the whole log taken.
// Links: shell
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/vxstd.h"
#include "fuzz/readmes_shape.h"
#include "fuzz/savefile_image.h"
#include "shell/savefile.h"

namespace {

std::string RawImage(std::uint8_t form, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> raw(sizeof(TSystemData));
  static const TSystemData fresh;
  std::memcpy(raw.data(), &fresh, sizeof fresh);
  if (size >= 4) {
    const std::size_t offset = VXGetLE16(data) % sizeof(TSystemData);
    const std::size_t laid = std::min<std::size_t>({VXGetLE16(data + 2), size - 4, sizeof(TSystemData) - offset});
    std::memcpy(raw.data() + offset, data + 4, laid);
    raw.insert(raw.end(), data + 4 + laid, data + size);
  }
  static constexpr std::int64_t kShift[] = {0, -1, 1, 0x10000};
  std::string prefix("QMVN\x00\x01\x00\x00\0\0\0\0", 12);
  VXPutLE32(reinterpret_cast<std::uint8_t*>(prefix.data()) + 8,
            static_cast<std::uint32_t>(static_cast<std::int64_t>(raw.size()) + kShift[form >> 1 & 3]));
  return CodedSaveImage(prefix, raw);
}

std::vector<std::uint8_t> Bytes(const TSystemData& data, const TReadMesTable& log, std::size_t logBytes) {
  std::vector<std::uint8_t> bytes(sizeof data + logBytes);
  std::memcpy(bytes.data(), &data, sizeof data);
  std::memcpy(bytes.data() + sizeof data, log.GetBuffer(), logBytes);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  const std::string image = data[0] & 1 ? RawImage(data[0], data + 1, size - 1)
                                        : std::string(reinterpret_cast<const char*>(data) + 1, size - 1);

  static TSystemData record;
  static TReadMesTable log;
  record = TSystemData();
  record.SetVar(3, 33);
  const std::uint8_t live[] = {24, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0, 9, 0, 0, 0, 7, 0, 0, 0, 2, 0, 5, 0};
  log.Load(live, sizeof live);
  const std::vector<std::uint8_t> before = Bytes(record, log, TReadMesTable::kBufferSize);

  bool whole = false;
  if (!DecodeSystemSave(image.data(), image.size(), record, log, &whole)) {
    if (Bytes(record, log, TReadMesTable::kBufferSize) != before) std::abort();
    return 0;
  }
  CheckLogShape(log, nullptr, 65535);
  if (record.GetRankingUserId().Length() > TSystemData::kUserIdLength) std::abort();
  log.IsRead(9u << 16 | 3);

  // What was loaded saves and loads again as it is.
  std::string again;
  if (!EncodeSystemSave(record, log, again)) std::abort();
  static TSystemData record2;
  static TReadMesTable log2;
  bool whole2 = false;
  if (!DecodeSystemSave(again.data(), again.size(), record2, log2, &whole2) || !whole2 ||
      log2.GetUsedSize() != log.GetUsedSize() ||
      Bytes(record2, log2, log2.GetUsedSize()) != Bytes(record, log, log.GetUsedSize()))
    std::abort();
  return 0;
}
