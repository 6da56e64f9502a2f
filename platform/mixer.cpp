#include "platform/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

namespace platform::audio {
namespace {

constexpr double kFracUnit = 4294967296.0;  // positions carry a 32-bit fraction of a frame
constexpr std::int32_t kUnityGain = 65536;

struct MixCursor {
  std::uint32_t ringFrame;  // at or beyond `frames` when a one-shot voice ran off its end
  std::uint32_t frac;
  std::uint64_t frame;  // not wrapped
};

struct MixJob {
  const std::uint8_t* ring;
  std::uint32_t frames;
  bool loop;
  std::uint64_t step;  // source frames per output frame, 32.32 fixed point
  std::int32_t gainLeft;
  std::int32_t gainRight;
};

template <int Bits>
std::int32_t ReadSample(const std::uint8_t* p) {
  if constexpr (Bits == 8) {
    return (static_cast<std::int32_t>(p[0]) - 128) * 256;
  } else {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
  }
}

template <int Bits>
std::int32_t Interpolate(const std::uint8_t* p0, const std::uint8_t* p1, std::int64_t weight) {
  const std::int32_t a = ReadSample<Bits>(p0);
  const std::int32_t b = ReadSample<Bits>(p1);
  return a + static_cast<std::int32_t>((static_cast<std::int64_t>(b - a) * weight) >> 16);
}

// Adds `n` output frames of one voice into the accumulator, resampling linearly between neighbouring frames (the
// frame after the last is the first again when looping, the last itself otherwise). Returns the frames produced:
// fewer than `n` when a one-shot voice reaches its end.
template <int Channels, int Bits>
std::uint32_t MixKernel(const MixJob& job, MixCursor& c, std::int32_t* acc, std::uint32_t n) {
  constexpr std::uint32_t kBytes = Bits / 8;
  constexpr std::uint32_t kAlign = Channels * kBytes;
  for (std::uint32_t i = 0; i < n; ++i) {
    const std::uint32_t f = c.ringFrame;
    std::uint32_t next = f + 1;
    if (next == job.frames) next = job.loop ? 0 : f;
    const std::uint8_t* p0 = job.ring + static_cast<std::size_t>(f) * kAlign;
    const std::uint8_t* p1 = job.ring + static_cast<std::size_t>(next) * kAlign;
    const std::int64_t weight = c.frac >> 16;
    const std::int32_t left = Interpolate<Bits>(p0, p1, weight);
    const std::int32_t right = Channels == 1 ? left : Interpolate<Bits>(p0 + kBytes, p1 + kBytes, weight);
    acc[2 * i] += static_cast<std::int32_t>((static_cast<std::int64_t>(left) * job.gainLeft) >> 16);
    acc[2 * i + 1] += static_cast<std::int32_t>((static_cast<std::int64_t>(right) * job.gainRight) >> 16);

    const std::uint64_t advanced = static_cast<std::uint64_t>(c.frac) + job.step;
    const std::uint64_t whole = advanced >> 32;
    c.frac = static_cast<std::uint32_t>(advanced);
    c.frame += whole;
    std::uint64_t ringFrame = f + whole;
    if (ringFrame >= job.frames) {
      if (!job.loop) {
        c.ringFrame = static_cast<std::uint32_t>(ringFrame);
        return i + 1;
      }
      ringFrame %= job.frames;
    }
    c.ringFrame = static_cast<std::uint32_t>(ringFrame);
  }
  return n;
}

using Kernel = std::uint32_t (*)(const MixJob&, MixCursor&, std::int32_t*, std::uint32_t);

// By channels - 1 and bits / 8 - 1.
constexpr Kernel kKernels[2][2] = {
    {MixKernel<1, 8>, MixKernel<1, 16>},
    {MixKernel<2, 8>, MixKernel<2, 16>},
};

std::int16_t Saturate(std::int32_t v) { return static_cast<std::int16_t>(std::clamp(v, -32768, 32767)); }

}  // namespace

bool VoiceFormat::IsValid() const {
  return (channels == 1 || channels == 2) && (bitsPerSample == 8 || bitsPerSample == 16) &&
         samplesPerSec >= kFrequencyMin && samplesPerSec <= kFrequencyMax;
}

std::int32_t GainFromHundredthsDb(std::int32_t hundredths) {
  if (hundredths <= kVolumeMin) return 0;
  if (hundredths >= 0) return kUnityGain;
  return static_cast<std::int32_t>(std::lround(kUnityGain * std::pow(10.0, hundredths / 2000.0)));
}

// ---- Voice ----

Voice::Voice(Mixer& mixer, const VoiceFormat& format, std::uint32_t length,
             std::shared_ptr<std::vector<std::uint8_t>> ring)
    : mixer_(mixer), format_(format), length_(length), frames_(length / format.BlockAlign()), ring_(std::move(ring)) {}

Voice::~Voice() {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  std::erase(mixer_.voices_, this);
}

std::optional<RingRegion> Voice::Lock(std::uint32_t offset, std::uint32_t size) {
  if (offset >= length_ || size == 0 || size > length_) return std::nullopt;
  const std::uint32_t head = std::min(size, length_ - offset);
  RingRegion region;
  region.first = std::span<std::uint8_t>(ring_->data() + offset, head);
  region.second = std::span<std::uint8_t>(ring_->data(), size - head);
  return region;
}

void Voice::Unlock(const RingRegion&) {
  // Taking the lock orders the bytes written before it with every later mix.
  std::lock_guard<std::mutex> guard(mixer_.lock_);
}

bool Voice::Write(std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > length_) return false;
  std::optional<RingRegion> region = Lock(offset, static_cast<std::uint32_t>(bytes.size()));
  if (!region) return false;
  CopyIn(region->first, bytes.data());
  CopyIn(region->second, bytes.data() + region->first.size());
  return true;
}

// The copy runs under the mixer's lock, so that the mix never reads a byte while it is written, one slice at a time,
// so that it never holds the mix up for long.
void Voice::CopyIn(std::span<std::uint8_t> to, const std::uint8_t* from) {
  constexpr std::size_t kSliceBytes = 16384;
  for (std::size_t done = 0; done < to.size(); done += kSliceBytes) {
    const std::size_t n = std::min(kSliceBytes, to.size() - done);
    std::lock_guard<std::mutex> guard(mixer_.lock_);
    std::memcpy(to.data() + done, from + done, n);
  }
}

void Voice::PlaceCursor(std::uint32_t ringFrame) {
  ringFrame_ = std::min(ringFrame, frames_ - 1);
  frac_ = 0;
  frame_ = ringFrame_;
  notifyFrom_ = frame_;
  playStart_ = chunkStart_ = chunkEnd_ = lastHeard_ = static_cast<double>(frame_);
  ended_ = false;
}

std::uint64_t Voice::Play(bool loop) {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  looping_ = loop;
  if (playing_) return generation_;
  ++generation_;
  PlaceCursor(ringFrame_);
  playing_ = true;
  firstMix_ = true;
  return generation_;
}

void Voice::Stop() {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  if (!playing_) return;
  const double heard = HeardFrames(mixer_.clock_.NowNs());
  playing_ = false;
  PlaceCursor(static_cast<std::uint32_t>(static_cast<std::uint64_t>(heard) % frames_));
  FireStop(false);
}

bool Voice::IsPlaying() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  return playing_;
}

bool Voice::IsLooping() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  return playing_ && looping_;
}

std::uint64_t Voice::Generation() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  return generation_;
}

std::optional<StopNote> Voice::TakeStop() {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  std::optional<StopNote> note = stop_;
  stop_.reset();
  return note;
}

double Voice::HeardFrames(std::int64_t now) const {
  const double outputHeard = static_cast<double>(now - chunkTime_) * (kOutputRate / 1e9) - chunkQueued_;
  double heard = std::clamp(chunkStart_ + outputHeard * chunkStep_, playStart_, chunkEnd_);
  heard = std::max(heard, lastHeard_);
  lastHeard_ = heard;
  return heard;
}

Cursors Voice::GetCursors() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  const double heard = HeardFrames(mixer_.clock_.NowNs());
  const std::uint32_t align = format_.BlockAlign();
  Cursors c;
  const bool heardToTheEnd = ended_ && heard >= chunkEnd_;
  c.play = heardToTheEnd ? 0 : static_cast<std::uint32_t>(static_cast<std::uint64_t>(heard) % frames_) * align;
  c.write = ringFrame_ * align;
  return c;
}

bool Voice::SetCurrentPosition(std::uint32_t offset) {
  if (offset >= length_) return false;
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  PlaceCursor(offset / format_.BlockAlign());
  firstMix_ = playing_;
  return true;
}

std::int32_t Voice::GetVolume() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  return volume_;
}

bool Voice::SetVolume(std::int32_t hundredthsDb) {
  if (hundredthsDb < kVolumeMin || hundredthsDb > kVolumeMax) return false;
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  volume_ = hundredthsDb;
  UpdateGains();
  return true;
}

std::int32_t Voice::GetPan() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  return pan_;
}

bool Voice::SetPan(std::int32_t hundredthsDb) {
  if (hundredthsDb < kPanLeft || hundredthsDb > kPanRight) return false;
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  pan_ = hundredthsDb;
  UpdateGains();
  return true;
}

std::uint32_t Voice::GetFrequency() const {
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  return frequency_ == kFrequencyOriginal ? format_.samplesPerSec : frequency_;
}

bool Voice::SetFrequency(std::uint32_t hz) {
  if (hz != kFrequencyOriginal && (hz < kFrequencyMin || hz > kFrequencyMax)) return false;
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  frequency_ = hz;
  return true;
}

bool Voice::SetNotifications(std::vector<Notification> positions) {
  for (const Notification& n : positions) {
    if (n.event == nullptr || (n.offset != kStopPosition && n.offset >= length_)) return false;
  }
  std::lock_guard<std::mutex> guard(mixer_.lock_);
  notifications_.swap(positions);
  return true;  // the old list is freed here, outside the mix
}

// Pan attenuates the far side only: positive pan lowers the left, negative the right.
void Voice::UpdateGains() {
  gainLeft_ = GainFromHundredthsDb(volume_ - std::max(pan_, 0));
  gainRight_ = GainFromHundredthsDb(volume_ + std::min(pan_, 0));
}

std::uint64_t Voice::Step() const {
  const std::uint64_t rate = frequency_ == kFrequencyOriginal ? format_.samplesPerSec : frequency_;
  return (rate << 32) / kOutputRate;
}

void Voice::BeginMix(std::int64_t now, std::uint32_t queuedFrames) {
  chunkStart_ = static_cast<double>(frame_) + frac_ / kFracUnit;
  chunkEnd_ = chunkStart_;
  chunkStep_ = static_cast<double>(Step()) / kFracUnit;
  chunkTime_ = now;
  chunkQueued_ = queuedFrames;
}

void Voice::MixInto(std::int32_t* acc, std::uint32_t frames) {
  const MixJob job{ring_->data(), frames_, looping_, Step(), gainLeft_, gainRight_};
  MixCursor cursor{ringFrame_, frac_, frame_};
  const std::uint64_t from = frame_;
  kKernels[format_.channels - 1][format_.bitsPerSample / 8 - 1](job, cursor, acc, frames);
  ringFrame_ = cursor.ringFrame;
  frac_ = cursor.frac;
  frame_ = cursor.frame;

  const bool ended = ringFrame_ >= frames_;
  // A one-shot voice that ran off its end heard the ring up to its end, not up to where the last step landed.
  const std::uint64_t reached = ended ? frame_ - (ringFrame_ - frames_) : frame_;
  chunkEnd_ = ended ? static_cast<double>(reached) : static_cast<double>(frame_) + frac_ / kFracUnit;

  // Positions fire once per pass for every frame the mix entered; the first mix after a start always enters the
  // starting frame, even when it does not get past it.
  const std::uint64_t lo = firstMix_ ? from : notifyFrom_;
  const std::uint64_t hi = firstMix_ ? std::max(reached, from + 1) : reached;
  firstMix_ = false;
  if (hi > lo) {
    FirePositions(lo, hi);
    notifyFrom_ = hi;
  }
  if (ended) {
    playing_ = false;
    ended_ = true;
    ringFrame_ = 0;
    frac_ = 0;
    FireStop(true);
  }
}

void Voice::FirePositions(std::uint64_t from, std::uint64_t to) {
  const std::uint32_t align = format_.BlockAlign();
  for (const Notification& n : notifications_) {
    if (n.offset == kStopPosition) continue;
    const std::uint64_t target = n.offset / align;
    const std::uint64_t ahead = (target + frames_ - from % frames_) % frames_;
    if (to - from >= frames_ || from + ahead < to) n.event->Set();
  }
}

void Voice::FireStop(bool ended) {
  stop_ = StopNote{generation_, ended};
  for (const Notification& n : notifications_) {
    if (n.offset == kStopPosition) n.event->Set();
  }
}

// ---- Mixer ----

Mixer::Mixer(Clock& clock) : clock_(clock) {}

Mixer::~Mixer() = default;

std::unique_ptr<Voice> Mixer::CreateVoice(const VoiceFormat& format, std::uint32_t lengthBytes) {
  if (!format.IsValid() || lengthBytes < format.BlockAlign() || lengthBytes > kMaxVoiceBytes) return nullptr;
  try {
    auto ring = std::make_shared<std::vector<std::uint8_t>>(lengthBytes, format.bitsPerSample == 8 ? 0x80 : 0);
    std::unique_ptr<Voice> voice(new Voice(*this, format, lengthBytes, std::move(ring)));
    std::lock_guard<std::mutex> guard(lock_);
    voices_.push_back(voice.get());
    return voice;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<Voice> Mixer::DuplicateVoice(const Voice& original) {
  try {
    std::unique_ptr<Voice> voice(new Voice(*this, original.format_, original.length_, original.ring_));
    std::lock_guard<std::mutex> guard(lock_);
    voices_.push_back(voice.get());
    return voice;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::int64_t Mixer::SteadyMixTime(std::int64_t now, std::uint32_t frames) {
  // Beyond this the device was stopped or starved: start a new estimate.
  constexpr std::int64_t kResyncNanos = 50000000;
  std::int64_t base = now;
  if (steady_ && std::llabs(now - nextMixTime_) < kResyncNanos) base = nextMixTime_ + (now - nextMixTime_) / 8;
  steady_ = true;
  nextMixTime_ = base + static_cast<std::int64_t>(frames) * 1000000000 / kOutputRate;
  return base;
}

void Mixer::Mix(std::int16_t* out, std::uint32_t frames, std::uint32_t queuedFrames) {
  std::lock_guard<std::mutex> guard(lock_);
  const std::int64_t now = SteadyMixTime(clock_.NowNs(), frames);
  for (Voice* v : voices_) {
    if (v->playing_) v->BeginMix(now, queuedFrames);
  }
  for (std::uint32_t done = 0; done < frames;) {
    const std::uint32_t n = std::min(kChunkFrames, frames - done);
    std::fill_n(acc_, 2 * n, 0);
    for (Voice* v : voices_) {
      if (v->playing_) v->MixInto(acc_, n);
    }
    std::transform(acc_, acc_ + 2 * n, out + 2 * static_cast<std::size_t>(done), Saturate);
    done += n;
  }
}

}  // namespace platform::audio
