// A chart ("Song.txt") as a damaged or crafted song could hold it, read at every version, level and auto mode
// (the first byte chooses them): it loads or fails, and whatever was read is sound: at most 1,023 notes with the
// end marker after them, tone and key both in range or both -1, and every lyric offset inside the pool with its
// word terminated there.
// Links: music
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/vxhash.h"
#include "core/vxstrlist.h"
#include "music/musicdef.h"

namespace {

constexpr const char* kKeySounds[] = {"DO.WAV", "RE.OGG", "MI.ADP", "FA", "C5.OGG", "FS4.OGG", "A.B.C"};
constexpr int kKeyCount = static_cast<int>(sizeof kKeySounds / sizeof kKeySounds[0]);

const VXHashTable& Tones() {
  static VXHashTable table;
  static const bool built = [] {
    static char names[kKeyCount][kKeyNameSize] = {};
    for (int i = 0; i < kKeyCount; ++i) std::strcpy(names[i], kKeySounds[i]);
    BuildToneTable(table, names[0], kKeyCount);
    return true;
  }();
  (void)built;
  return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1 << 20)) return 0;
  static std::vector<TMusicNote> notes(kNoteCapacity);
  static std::vector<char> lyrics(kLyricPoolSize);
  const int versions[] = {100, 110, 111, 200};
  TChartOptions options;
  options.version = versions[data[0] & 3];
  options.level = static_cast<std::uint8_t>((data[0] >> 2) & 3);
  options.autoMode = static_cast<std::uint8_t>((data[0] >> 4) % 3);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  VXStringList lines;
  lines.SetText(text.c_str());
  int count = -1;
  ReadChart(lines, options, Tones(), notes.data(), count, lyrics.data());
  if (count < 0 || count >= kNoteCapacity) std::abort();
  for (int i = count; i < kNoteCapacity; ++i)
    if (notes[i].time != kEndOfChart) std::abort();
  const int keys = options.level == 1 ? kKeyIndices : 8;
  for (int i = 0; i < count; ++i) {
    const TMusicNote& note = notes[i];
    if (note.time == kEndOfChart || note.time == 0 || note.length < 1) std::abort();
    if ((note.pitch < 0) != (note.key < 0)) std::abort();
    if (note.pitch >= kKeyCount || note.key >= keys || note.pitch < -1 || note.key < -1) std::abort();
    if (note.text < -1 || note.text >= kLyricPoolSize - 1) std::abort();
    if (note.text >= 0 && std::memchr(lyrics.data() + note.text, '\0', kLyricPoolSize - note.text) == nullptr)
      std::abort();
  }
  return 0;
}
