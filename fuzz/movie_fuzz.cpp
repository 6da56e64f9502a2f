// Movie container and picture decoding on arbitrary bytes: the first byte picks the pixel layout, the rest is the
// file (held in a memory file, since the reader opens a path). Whatever opens is read picture by picture, converted,
// rewound and read again; large pictures are only opened, to keep each run short.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/movie.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  static const int fd = memfd_create("movie_fuzz", 0);
  if (fd < 0) std::abort();
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data + 1, size - 1, 0) != static_cast<ssize_t>(size - 1)) std::abort();
  platform::movie::Options options;
  options.layout = static_cast<platform::movie::PixelLayout>(data[0] % 3);
  options.decoderThreads = 1;
  auto reader = platform::movie::PictureReader::Open("/proc/self/fd/" + std::to_string(fd), options);
  if (reader == nullptr) return 0;
  if (reader->Width() <= 0 || reader->Height() <= 0) std::abort();
  if (static_cast<std::int64_t>(reader->Width()) * reader->Height() > 256 * 256) return 0;
  // The frame holds more than a picture needs, marked, so that a conversion writing past its pixels is seen at once
  // (the decoding libraries are not instrumented: their stray writes would show only much later, if at all).
  constexpr std::uint8_t kMark = 0xA5;
  const std::size_t held = static_cast<std::size_t>(reader->Width() + 32) * 4 * reader->Height() + 4096;
  platform::movie::Frame frame;
  frame.pixels.assign(held, kMark);
  const std::uint8_t* block = frame.pixels.data();
  for (int pass = 0; pass < 2; ++pass) {
    for (int i = 0; i < 8 && reader->Decode(); ++i) {
      frame.pixels.resize(held, kMark);
      if (!reader->Convert(frame)) continue;
      const std::size_t used = frame.pixels.size();
      if (frame.width <= 0 || frame.height <= 0 ||
          used < static_cast<std::size_t>(frame.pitch) * static_cast<std::size_t>(frame.height))
        std::abort();
      if (frame.pixels.data() == block && used < held &&
          std::find_if(block + used, block + held, [](std::uint8_t b) { return b != kMark; }) != block + held)
        std::abort();
    }
    if (!reader->Rewind()) break;
  }
  return 0;
}
