// Our own software mixer: every sound buffer of the game is a voice with its own format and ring of bytes, mixed
// into the output of the sound device (44,100 Hz, signed 16-bit stereo) by whichever sink drives it (the SDL audio
// callback, or a test that pumps it by hand).
//
// Threads: `Mixer::Mix` runs on the sink's thread; every other call comes from game threads. One short lock guards
// the voices and the bytes of their rings (writes take it a slice at a time); the mix itself never allocates, blocks
// on I/O or waits for anything but that lock.
//
// Lifetimes: voices and sinks refer to their mixer, so both go before it; a voice keeps pointers to the events of
// its notifications, so those live until the voice is gone or its notifications are replaced.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

#include "platform/thread.h"

namespace platform::audio {

using platform::thread::Clock;
using platform::thread::Event;

struct VoiceFormat {
  std::uint16_t channels = 2;          // 1 or 2
  std::uint32_t samplesPerSec = 44100;  // 100 to 200,000
  std::uint16_t bitsPerSample = 16;     // 8 (unsigned) or 16 (signed, little-endian)

  std::uint32_t BlockAlign() const { return channels * bitsPerSample / 8u; }
  bool IsValid() const;
};

inline constexpr std::uint32_t kOutputRate = 44100;
// The time that `frames` output frames take to play.
inline constexpr std::int64_t FramesToNs(std::int64_t frames) { return frames * 1'000'000'000 / kOutputRate; }
inline constexpr std::int32_t kVolumeMin = -10000;  // hundredths of a decibel: silence
inline constexpr std::int32_t kVolumeMax = 0;
inline constexpr std::int32_t kPanLeft = -10000;
inline constexpr std::int32_t kPanRight = 10000;
inline constexpr std::uint32_t kFrequencyMin = 100;
inline constexpr std::uint32_t kFrequencyMax = 200000;
inline constexpr std::uint32_t kFrequencyOriginal = 0;  // SetFrequency(0): back to the format's rate
inline constexpr std::uint32_t kMaxVoiceBytes = 268435455;
// The notification position that fires when the voice stops (its natural end, or Stop).
inline constexpr std::uint32_t kStopPosition = 0xFFFFFFFFu;

// Gain factor in 1/65536 for an attenuation in hundredths of a decibel: 10^(v/2000), exactly 0 at or below -10000,
// exactly 65536 at or above 0.
std::int32_t GainFromHundredthsDb(std::int32_t hundredths);

struct Notification {
  std::uint32_t offset = 0;  // byte offset in the ring, or kStopPosition
  Event* event = nullptr;    // not owned: must outlive its registration
};

// The two spans of a locked ring region: the second is empty unless the region wraps past the end of the ring.
struct RingRegion {
  std::span<std::uint8_t> first;
  std::span<std::uint8_t> second;
};

// What a stop notification was about. A Stop followed at once by a Play can leave the notification thread looking
// at a stop that belongs to the previous play: the generation tells them apart.
struct StopNote {
  std::uint64_t generation = 0;  // of the play that stopped
  bool ended = false;            // reached its end by itself (false: stopped by a call)
};

struct Cursors {
  std::uint32_t play = 0;   // what has been heard
  std::uint32_t write = 0;  // how far the mixer has read; the owner writes at or after this
};

class Mixer;

// One sound buffer. Made by `Mixer::CreateVoice`; destroying it takes it out of the mix.
class Voice {
public:
  ~Voice();
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  const VoiceFormat& Format() const { return format_; }
  std::uint32_t Length() const { return length_; }

  // The ring region of `size` bytes at `offset` (wrapping at the end); none when offset is not below the length or
  // size is 0 or above the length. The owner writes only where the mixer is not reading (behind the play cursor or
  // at and after the write cursor, or while stopped). Unlock ends the write: the mix reads the bytes only after it.
  std::optional<RingRegion> Lock(std::uint32_t offset, std::uint32_t size);
  void Unlock(const RingRegion&);
  // Copies bytes into the ring at offset (wrapping), safe to call while the mixer reads there (it hears old or new
  // bytes, never a torn sample); false when the region cannot be locked.
  bool Write(std::uint32_t offset, std::span<const std::uint8_t> bytes);

  // Starts playing from the current cursor, once or looping, and returns the new play generation. On a playing
  // voice only the looping flag changes (the generation stays).
  std::uint64_t Play(bool loop);
  // Stops where the listener is; fires the stop notification when the voice was playing.
  void Stop();
  bool IsPlaying() const;
  bool IsLooping() const;
  std::uint64_t Generation() const;
  // The latest stop not yet taken, once.
  std::optional<StopNote> TakeStop();

  Cursors GetCursors() const;
  // Moves both cursors to a byte offset (rounded down to a frame); false when not below the length.
  bool SetCurrentPosition(std::uint32_t offset);

  std::int32_t GetVolume() const;
  bool SetVolume(std::int32_t hundredthsDb);  // -10000 to 0
  std::int32_t GetPan() const;
  bool SetPan(std::int32_t hundredthsDb);  // -10000 (left only) to 10000 (right only)
  std::uint32_t GetFrequency() const;
  bool SetFrequency(std::uint32_t hz);  // 100 to 200,000, or 0 for the format's rate

  // Replaces the notification positions. Offsets at or beyond the length (other than kStopPosition) are refused.
  bool SetNotifications(std::vector<Notification> positions);

private:
  friend class Mixer;
  Voice(Mixer& mixer, const VoiceFormat& format, std::uint32_t length,
        std::shared_ptr<std::vector<std::uint8_t>> ring);

  void CopyIn(std::span<std::uint8_t> to, const std::uint8_t* from);

  // Everything below is guarded by the mixer's lock.
  void BeginMix(std::int64_t now, std::uint32_t queuedFrames);
  void MixInto(std::int32_t* acc, std::uint32_t frames);
  void PlaceCursor(std::uint32_t ringFrame);
  void FirePositions(std::uint64_t from, std::uint64_t to);
  void FireStop(bool ended);
  double HeardFrames(std::int64_t now) const;
  void UpdateGains();
  std::uint64_t Step() const;

  Mixer& mixer_;
  const VoiceFormat format_;
  const std::uint32_t length_;
  const std::uint32_t frames_;  // whole frames in the ring
  // Shared with the voice's duplicates: a write through any of them is heard in all.
  const std::shared_ptr<std::vector<std::uint8_t>> ring_;

  bool playing_ = false;
  bool looping_ = false;
  bool firstMix_ = false;
  bool ended_ = false;  // reached its end by itself; what was mixed before may still be on its way out
  std::uint64_t generation_ = 0;
  std::optional<StopNote> stop_;

  // Mix position: ring frame and fraction, plus the same position counted without wrapping since the cursor was
  // last placed (for notifications and the heard position).
  std::uint32_t ringFrame_ = 0;
  std::uint32_t frac_ = 0;
  std::uint64_t frame_ = 0;
  std::uint64_t notifyFrom_ = 0;

  // The heard position is interpolated from the last mix: where it started, how many output frames it produced for
  // this voice, at what step, when, and how much output the device still held before it.
  double playStart_ = 0;
  double chunkStart_ = 0;
  double chunkEnd_ = 0;  // how far it got (the end of the ring when it ended there)
  double chunkStep_ = 1;
  std::int64_t chunkTime_ = 0;
  std::uint32_t chunkQueued_ = 0;
  mutable double lastHeard_ = 0;  // the heard position never goes back within one placement of the cursor

  std::int32_t volume_ = 0;
  std::int32_t pan_ = 0;
  std::uint32_t frequency_ = 0;  // 0: the format's rate
  std::int32_t gainLeft_ = 65536;
  std::int32_t gainRight_ = 65536;
  std::vector<Notification> notifications_;
};

class Mixer {
public:
  explicit Mixer(Clock& clock = platform::thread::MonotonicClock());
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // A new stopped voice whose ring holds silence; null for a bad format, a length below one frame or above
  // kMaxVoiceBytes, or when the memory cannot be had.
  std::unique_ptr<Voice> CreateVoice(const VoiceFormat& format, std::uint32_t lengthBytes);
  // A new stopped voice that plays the same bytes as `original` (writes to either reach both) with its own cursor,
  // volume, pan, frequency and notifications, all at their defaults. Null when the memory cannot be had.
  std::unique_ptr<Voice> DuplicateVoice(const Voice& original);

  // Mixes `frames` frames of interleaved stereo output. `queuedFrames` is what the device still holds, not yet
  // heard, before these frames.
  void Mix(std::int16_t* out, std::uint32_t frames, std::uint32_t queuedFrames);

  const Clock& GetClock() const { return clock_; }

private:
  friend class Voice;
  static constexpr std::uint32_t kChunkFrames = 512;

  // Devices pull unevenly (early, late, two buffers at once); heard positions are measured against a steady
  // estimate of when each pull happened, so that they advance smoothly across pulls.
  std::int64_t SteadyMixTime(std::int64_t now, std::uint32_t frames);

  Clock& clock_;
  bool steady_ = false;
  std::int64_t nextMixTime_ = 0;
  mutable std::mutex lock_;
  std::vector<Voice*> voices_;
  std::int32_t acc_[kChunkFrames * 2] = {};
};

}  // namespace platform::audio
