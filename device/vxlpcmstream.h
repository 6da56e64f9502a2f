// The common base of the audio decoders: a read-only stream whose bytes are interleaved PCM samples decoded from
// another stream, the code stream (not owned). Positions and sizes on the PCM side are byte counts.
//
// A decoder whose opening failed is simply not open; nothing here throws.
#pragma once

#include <cstdint>

#include "core/vxstream.h"

class VXPcmStream : public VXStream {
public:
  explicit VXPcmStream(VXStream* code) : code_(code) {}

  bool IsOpen() override { return open_; }
  bool IsSeekable() override { return seekable_; }
  int Read(void* buffer, int count) override { return count > 0 ? Decode(buffer, count) : 0; }
  int Write(const void*, int) override { return 0; }
  // -1 when not seekable, when the offset lies outside the signed 32-bit range or the target outside the data;
  // else the new position (rounded down to a whole frame).
  std::int64_t Seek(std::int64_t offset, VXSeekWhence whence) override;
  std::int64_t GetSize() override { return GetDecodeLength(); }
  bool SetSize(std::int64_t) override { return false; }
  std::int64_t GetPosition() override { return GetDecodePoint(); }
  bool Reset() override { return Rewind(); }

  virtual int GetDecodeLength() = 0;             // decoded bytes of the whole sound
  virtual int GetDecodePoint() = 0;              // decoded bytes delivered so far
  virtual int Decode(void* buffer, int count) = 0;  // bytes delivered; short only at the end of the data
  virtual bool Rewind() = 0;
  virtual bool SeekSample(int sample) = 0;       // in samples per channel

  VXStream* GetCodeStream() const { return code_; }
  bool IsEnd() const { return end_; }
  int GetChannels() const { return channels_; }
  int GetRate() const { return rate_; }
  int GetBits() const { return bits_; }
  int GetSamples() const { return samples_; }
  int FrameBytes() const { return channels_ * bits_ / 8; }

  // Moves to a sample (per channel): by the decoder's own seek when it can seek, else by rewinding (when the sample
  // lies behind) and decoding forward. Exact for every decoder; without a seek it costs decoding up to the sample.
  bool MoveToSample(int sample);

  // Moves the code stream to an absolute offset, by reading forward when it cannot seek.
  bool CodeSeekForward(std::int64_t position);
  // Reads and discards exactly `count` bytes of the code stream; false when it ends first.
  bool CodeDummyRead(std::int64_t count);

protected:
  VXStream* code_;
  bool open_ = false;
  bool seekable_ = false;
  bool end_ = true;
  int channels_ = 0;
  int rate_ = 0;
  int bits_ = 0;
  int samples_ = 0;
};

// Decoders deliver at most this many bytes in all (the byte counts of the PCM side are ints).
inline constexpr std::int64_t kMaxDecodedBytes = 0x7FFFFFFF;
