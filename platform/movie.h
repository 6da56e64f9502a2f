// Movies at the platform boundary: an MPEG file decoded on FFmpeg into pictures of one pixel layout, with its
// sound played through a voice of our mixer.
//
// Threads. One decoding thread per running movie reads packets, decodes them (send/receive), converts each picture
// into the movie's layout and keeps a small queue of pictures ahead of the clock; it also feeds the sound voice.
// The owner's thread calls everything else; `TakeFrame` never waits.
//
// Clock. With sound, the movie's time is where the listener is: the voice's heard position since `Run`, plus the
// position it ran from. Sound is placed in the voice by its time stamps, so gaps stay silent and the clock goes on
// after the sound has ended. Without a mixer or without a sound track, the clock is the given wall clock.
//
// Sound ahead. Files often hold their sound back behind the pictures (by up to a second or more). The decoding
// thread keeps half a second of sound decoded ahead of the mixer whatever the pictures do: it reads on past them,
// keeping the picture packets it passes (compressed) until their turn.
//
// Seeking. `Run(position)` seeks back to the key frame at or before the position and decodes forward, dropping
// pictures and sound before it. The clock starts only when the picture at the position is ready and the sound
// after it is in the voice (`Run` waits for both, a few seconds at most), so no sound is lost at a start or a seek.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/mixer.h"
#include "platform/thread.h"
#include "platform/video.h"

namespace platform::movie {

using platform::video::PixelLayout;

// One decoded picture in the movie's layout.
struct Frame {
  std::vector<std::uint8_t> pixels;
  int pitch = 0;  // bytes from one row to the next
  int width = 0;
  int height = 0;
  std::int64_t timeNs = 0;  // from the start of the movie
};

struct Options {
  PixelLayout layout = PixelLayout::Bgrx32;
  // The sound goes to a voice of this mixer; none plays the movie silent on the wall clock.
  audio::Mixer* mixer = nullptr;
  thread::Clock* clock = nullptr;  // the wall clock; null takes the monotonic clock
  int queueFrames = 4;             // pictures decoded ahead (at least 2)
  int decoderThreads = 0;          // threads that share out the slices of a picture; 0 takes one per processor
};

enum class Poll { Pending, Frame, End };

class Movie {
public:
  // Opens a file (host path, UTF-8) that has a video stream of a size above 0. Null with *error set otherwise.
  static std::unique_ptr<Movie> Open(const std::string& path, const Options& options, std::string* error = nullptr);
  ~Movie();
  Movie(const Movie&) = delete;
  Movie& operator=(const Movie&) = delete;

  int Width() const;
  int Height() const;
  PixelLayout Layout() const;
  bool HasSound() const;  // a sound track that plays through the mixer
  std::int64_t DurationNs() const;  // 0 when the file does not say

  // Plays from `positionNs` (negative counts as 0). False when the decoder cannot seek or start; the movie is
  // then stopped. After a true result the picture at the position has been taken (`Current`), unless the movie
  // ended before it.
  bool Run(std::int64_t positionNs);
  // Stops the decoding thread and the sound; the clock stays where it was.
  void Stop();
  bool IsRunning() const;
  // The movie's clock.
  std::int64_t PositionNs() const;

  // Takes the newest decoded picture that is due by the clock (dropping older ones that came too late) into
  // `Current`. Pending: none is due yet; End: the movie has no more pictures (or its decoding failed).
  Poll TakeFrame();
  const Frame& Current() const;
  // Pictures taken since `Run`, and pictures dropped because they were late.
  std::int64_t FramesTaken() const;
  std::int64_t FramesDropped() const;
  // Pictures decoded ahead and waiting to be taken; the decoding thread stops when `Options::queueFrames` wait.
  int FramesQueued() const;

  struct Impl;

private:
  explicit Movie(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// A movie's pictures read in order on the caller's thread, with no clock, queue or sound: the decoding and the
// converting that a running movie does, taken apart for tools and measurements.
class PictureReader {
public:
  // As `Movie::Open`; the mixer and the clock of the options are not used.
  static std::unique_ptr<PictureReader> Open(const std::string& path, const Options& options,
                                             std::string* error = nullptr);
  ~PictureReader();
  PictureReader(const PictureReader&) = delete;
  PictureReader& operator=(const PictureReader&) = delete;

  int Width() const;
  int Height() const;
  // Decodes the next picture in showing order; false after the last one (or when the file cannot be read on).
  bool Decode();
  // Converts the picture decoded last into `frame`, in the options' layout, reusing its pixels when they fit.
  // False when no picture has been decoded.
  bool Convert(Frame& frame);
  // Back to the first picture; false when the file cannot seek.
  bool Rewind();

  struct Impl;

private:
  explicit PictureReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::movie
