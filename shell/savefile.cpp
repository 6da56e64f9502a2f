#include "shell/savefile.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "core/vxrange.h"
#include "core/vxstd.h"
#include "core/vxsys.h"
#include "core/widefile.h"
#include "platform/fs.h"
#include "shell/gamedata.h"

namespace {

constexpr TSaveHeader kSystemHeader = {{'Q', 'M', 'V', 'N'}, {0x00, 0x01}, {0, 0}};
constexpr TSaveHeader kSlotHeader = {{'Q', 'O', 'R', 'M'}, {0x00, 0x01}, {0, 0}};

constexpr std::size_t kRawSizeField = 4;  // the system save's u32 behind the header
// The decoder may read this far past the stored stream: the loaders hand it that many zero bytes more, as the
// files were always read.
constexpr std::size_t kStreamSlack = 4;

constexpr std::size_t kSecondOffset = sizeof(TGameState);
constexpr std::size_t kExtraSizeOffset = 2 * sizeof(TGameState);
constexpr std::size_t kExtraOffset = kExtraSizeOffset + 4;
static_assert(kExtraOffset + kSlotExtraMax == kSlotRawSize);

// The system save that a load refused (its host path), kept aside before the next system save replaces it.
std::string refusedSystemSave;

bool HeaderMatches(const std::uint8_t* image, const TSaveHeader& header) {
  return std::strncmp(reinterpret_cast<const char*>(image), header.Magic, sizeof header.Magic) == 0 &&
         image[4] == header.Version[0] && image[5] == header.Version[1];
}

// The work of a public operation: false, with nothing changed, when the memory for its buffers is refused.
template <class Work>
bool Guarded(Work&& work) {
  try {
    return work();
  } catch (const std::exception&) {
    return false;
  }
}

// Codes raw bytes behind `prefix` (header, and the raw size for the system save) into a whole file image.
bool EncodeImage(const void* prefix, std::size_t prefixSize, const std::uint8_t* raw, std::uint32_t rawSize,
                 std::uint32_t streamCapacity, std::string& image) {
  VXRangeEncode encoder;
  if (!encoder.Create()) return false;
  std::string out(prefixSize + streamCapacity, '\0');
  std::memcpy(out.data(), prefix, prefixSize);
  auto* stream = reinterpret_cast<unsigned char*>(out.data() + prefixSize);
  if (!encoder.Encode(raw, stream, static_cast<int>(rawSize), static_cast<int>(streamCapacity)) ||
      encoder.outputLength <= 0)
    return false;
  out.resize(prefixSize + static_cast<std::size_t>(encoder.outputLength));
  image = std::move(out);
  return true;
}

// Decodes exactly rawSize bytes from a stored stream, which with its slack must fit streamCapacity. A stream that
// ends before rawSize bytes, or holds more, is refused.
bool DecodeExactly(const std::uint8_t* stored, std::size_t storedSize, std::size_t streamCapacity,
                   std::uint32_t rawSize, std::vector<std::uint8_t>& raw) {
  if (storedSize + kStreamSlack > streamCapacity) return false;
  std::vector<std::uint8_t> stream(storedSize + kStreamSlack, 0);
  std::memcpy(stream.data(), stored, storedSize);
  raw.assign(static_cast<std::size_t>(rawSize) + 1, 0);  // one byte more: room to see a longer stream
  VXRangeDecode decoder;
  return decoder.Create() &&
         decoder.Decode(stream.data(), raw.data(), static_cast<int>(stream.size()), static_cast<int>(raw.size())) &&
         decoder.outputLength == static_cast<int>(rawSize);
}

// ---- Files in the save folder

// A save file's name in the game's wide form, and the host path it stands for (an existing file in any letter
// case).
struct SaveFile {
  explicit SaveFile(const std::string& name)
      : wide(GetSaveFolder() + VXWideStr(name.c_str())),
        host(platform::fs::ToHostPath(std::u16string_view(wide.c_wstr(), wide.Length()))) {}

  VXWideStr wide;
  std::string host;
};

enum class ReadResult { Missing, Refused, Read };

// A whole save file of at most maxSize bytes.
ReadResult ReadSaveFile(const SaveFile& file, std::size_t maxSize, std::vector<std::uint8_t>& bytes) {
  if (!VXFileIsExistW(file.wide.c_wstr())) return ReadResult::Missing;
  try {
    TFileStreamW stream(file.wide, fmOpenRead | fmShareDenyWrite);
    const std::int64_t size = stream.GetSize();
    if (size < 0 || static_cast<std::uint64_t>(size) > maxSize) return ReadResult::Refused;
    bytes.assign(static_cast<std::size_t>(size), 0);
    stream.SetPosition(0);
    if (size > 0) stream.ReadBuffer(bytes.data(), static_cast<int>(size));
    return ReadResult::Read;
  } catch (const std::exception&) {
    return ReadResult::Refused;
  }
}

bool WriteSaveFile(const SaveFile& file, const std::string& image) {
  return platform::fs::ReplaceFile(file.host, image) == platform::fs::ReplaceResult::Done;
}

// Renames a system save that a load refused out of the way of the save about to replace it. False when it is
// still there and cannot be moved: the save must not go ahead then.
bool KeepRefusedSystemSave(const SaveFile& file) {
  if (refusedSystemSave.empty() || refusedSystemSave != file.host) return true;
  const std::string kept = file.host + kBadSystemSaveSuffix;
  if (std::rename(file.host.c_str(), kept.c_str()) == 0)
    std::fprintf(stderr, "qorm: the system save could not be read; it is kept as %s\n", kept.c_str());
  else if (VXFileIsExistW(file.wide.c_wstr()))
    return false;
  refusedSystemSave.clear();
  return true;
}

}  // namespace

// ---- Images

bool EncodeSystemSave(const TSystemData& data, const TReadMesTable& log, std::string& image) {
  return Guarded([&] {
    const std::uint32_t logSize = log.GetUsedSize();
    if (logSize < TReadMesTable::kHeaderSize || logSize >= TReadMesTable::kBufferSize) return false;
    const std::uint32_t rawSize = kSystemRawMin + logSize;
    std::vector<std::uint8_t> raw(rawSize);
    std::memcpy(raw.data(), &data, sizeof data);
    std::memcpy(raw.data() + sizeof data, log.GetBuffer(), logSize);
    std::uint8_t prefix[sizeof(TSaveHeader) + kRawSizeField];
    std::memcpy(prefix, &kSystemHeader, sizeof kSystemHeader);
    VXPutLE32(prefix + sizeof kSystemHeader, rawSize);
    return EncodeImage(prefix, sizeof prefix, raw.data(), rawSize, kSystemStreamMax, image);
  });
}

bool DecodeSystemSave(const void* image, std::size_t size, TSystemData& data, TReadMesTable& log, bool* logWhole) {
  return Guarded([&] {
    const auto* bytes = static_cast<const std::uint8_t*>(image);
    constexpr std::size_t prefix = sizeof(TSaveHeader) + kRawSizeField;
    if (bytes == nullptr || size < prefix || !HeaderMatches(bytes, kSystemHeader)) return false;
    const std::uint32_t rawSize = VXGetLE32(bytes + sizeof(TSaveHeader));
    if (rawSize < kSystemRawMin || rawSize > kSystemRawMax) return false;
    std::vector<std::uint8_t> raw;
    if (!DecodeExactly(bytes + prefix, size - prefix, kSystemStreamMax, rawSize, raw)) return false;

    std::memcpy(&data, raw.data(), sizeof data);
    const std::uint8_t* stored = raw.data() + sizeof data;
    const std::uint32_t storedSize = rawSize - kSystemRawMin;
    log.Load(stored, static_cast<int>(storedSize));
    if (logWhole != nullptr)
      *logWhole = log.GetUsedSize() == storedSize && std::memcmp(log.GetBuffer(), stored, storedSize) == 0;
    return true;
  });
}

bool EncodeSlotSave(const TGameState& current, const TGameState& second, const void* extra,
                    std::uint32_t extraSize, std::string& image) {
  return Guarded([&] {
    if (extraSize > kSlotExtraMax || (extra == nullptr && extraSize != 0)) return false;
    std::vector<std::uint8_t> raw(kSlotRawSize, 0);
    std::memcpy(raw.data(), &current, sizeof current);
    std::memcpy(raw.data() + kSecondOffset, &second, sizeof second);
    VXPutLE32(raw.data() + kExtraSizeOffset, extraSize);
    if (extraSize != 0) std::memcpy(raw.data() + kExtraOffset, extra, extraSize);
    return EncodeImage(&kSlotHeader, sizeof kSlotHeader, raw.data(), kSlotRawSize, kSlotStreamMax, image);
  });
}

bool DecodeSlotSave(const void* image, std::size_t size, TGameState* current, TGameState* second, void* extra,
                    std::uint32_t* extraSize) {
  return Guarded([&] {
    const auto* bytes = static_cast<const std::uint8_t*>(image);
    constexpr std::size_t prefix = sizeof(TSaveHeader);
    if (bytes == nullptr || size < prefix || !HeaderMatches(bytes, kSlotHeader)) return false;
    std::vector<std::uint8_t> raw;
    if (!DecodeExactly(bytes + prefix, size - prefix, kSlotStreamMax, kSlotRawSize, raw)) return false;
    const std::uint32_t storedExtra = VXGetLE32(raw.data() + kExtraSizeOffset);
    if (storedExtra > kSlotExtraMax) return false;

    if (current != nullptr) std::memcpy(current, raw.data(), sizeof *current);
    if (second != nullptr) std::memcpy(second, raw.data() + kSecondOffset, sizeof *second);
    if (extraSize != nullptr) *extraSize = storedExtra;
    if (extra != nullptr && storedExtra != 0) std::memcpy(extra, raw.data() + kExtraOffset, storedExtra);
    return true;
  });
}

// ---- Files

bool SaveSystemData() {
  return Guarded([&] {
    std::string image;
    if (!EncodeSystemSave(SystemData, ReadMesTable, image)) return false;
    const SaveFile file(kSystemSaveName);
    return KeepRefusedSystemSave(file) && WriteSaveFile(file, image);
  });
}

bool LoadSystemData() {
  return Guarded([&] {
    const SaveFile file(kSystemSaveName);
    std::vector<std::uint8_t> bytes;
    const ReadResult read = ReadSaveFile(file, sizeof(TSaveHeader) + kSystemStreamMax, bytes);
    if (read == ReadResult::Missing) return false;
    bool logWhole = false;
    const bool loaded = read == ReadResult::Read &&
                        DecodeSystemSave(bytes.data(), bytes.size(), SystemData, ReadMesTable, &logWhole);
    if (loaded && logWhole)
      refusedSystemSave.clear();
    else
      refusedSystemSave = file.host;
    return loaded;
  });
}

std::string SlotFileName(int slot) {
  if (slot < 0) return {};
  char name[32];
  std::snprintf(name, sizeof name, "QM%02d.sav", slot);
  return name;
}

bool SaveSlotData(int slot, const TGameState* current, const TGameState* second, const void* extra,
                  std::uint32_t extraSize) {
  return Guarded([&] {
    std::string image;
    if (slot < 0 || current == nullptr || second == nullptr ||
        !EncodeSlotSave(*current, *second, extra, extraSize, image))
      return false;
    return WriteSaveFile(SaveFile(SlotFileName(slot)), image);
  });
}

bool SaveSlotState(int slot) { return SaveSlotData(slot, &GameState, &SceneStartState, nullptr, 0); }

bool SaveSlotStateEx(int slot, const void* extra, std::uint32_t extraSize) {
  return SaveSlotData(slot, &GameState, &SceneStartState, extra, extraSize);
}

bool LoadSlotData(int slot, TGameState* current, TGameState* second, void* extra, std::uint32_t* extraSize) {
  return Guarded([&] {
    if (slot < 0) return false;
    std::vector<std::uint8_t> bytes;
    if (ReadSaveFile(SaveFile(SlotFileName(slot)), sizeof(TSaveHeader) + kSlotStreamMax, bytes) != ReadResult::Read)
      return false;
    return DecodeSlotSave(bytes.data(), bytes.size(), current, second, extra, extraSize);
  });
}

bool LoadSlotToState(int slot) {
  return Guarded([&] {
    auto current = std::make_unique<TGameState>();
    auto second = std::make_unique<TGameState>();
    if (!LoadSlotData(slot, current.get(), second.get(), nullptr, nullptr)) return false;
    GameState = *current;
    SceneStartState = *second;
    return true;
  });
}
