// Decoders of RIFF WAVE and MPEG audio files. `VXAcmStream` passes PCM of 8 and 16 bits through unchanged
// (seekable when its code stream is) and converts everything else to 16-bit PCM: PCM of 24 and 32 bits and
// floating-point samples (tag 3) are narrowed sample by sample (seekable when the code stream is), Microsoft ADPCM
// goes through our own decoder and MPEG audio (tag 0x55) through libmpg123 (neither seekable). `VXWaveStream` opens
// a WAVE file with it, the extensible format record (0xFFFE) read as the plain record of its sub-format;
// `VXMp3Stream` opens a bare MPEG audio file, after any ID3v2 tags and before an ID3v1 tag.
//
// A file that cannot be opened leaves the stream not open with the reason in VXRefusal (core/vxrefusal.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "device/vxlpcmstream.h"

// The 18-byte little-endian format record of a WAVE file's "fmt " chunk, with the bytes of its extension after it.
struct tWAVEFORMATEX {
  std::uint16_t wFormatTag = 0;
  std::uint16_t nChannels = 0;
  std::uint32_t nSamplesPerSec = 0;
  std::uint32_t nAvgBytesPerSec = 0;
  std::uint16_t nBlockAlign = 0;
  std::uint16_t wBitsPerSample = 0;
  std::vector<std::uint8_t> extra;  // what follows the 16 bytes of the base record (its size field excluded)
};

inline constexpr std::uint16_t kWaveFormatPcm = 1;
inline constexpr std::uint16_t kWaveFormatAdpcm = 2;
inline constexpr std::uint16_t kWaveFormatIeeeFloat = 3;
inline constexpr std::uint16_t kWaveFormatMpegLayer3 = 0x55;
inline constexpr std::uint16_t kWaveFormatExtensible = 0xFFFE;

namespace vx_detail {
class AcmConverter;
}

class VXAcmStream : public VXPcmStream {
public:
  explicit VXAcmStream(VXStream* code);
  ~VXAcmStream() override;

  // Opens decoding of `dataLength` bytes of the code stream from its current position, in the given source format.
  // Non-zero channels, bits and rate ask for that output format (PCM passes through only when it matches, and PCM
  // wider than 16 bits only when its own width is asked for; the converters give 16-bit PCM in the source's
  // channels and rate and refuse other requests).
  bool AcmOpen(const tWAVEFORMATEX& format, std::uint32_t dataLength, bool realTime, std::uint16_t channels,
               std::uint16_t bits, std::uint32_t rate);
  bool AcmClose();

  int GetDecodeLength() override { return static_cast<int>(length_); }
  int GetDecodePoint() override { return static_cast<int>(position_); }
  int Decode(void* buffer, int count) override;
  bool Rewind() override { return AcmReset(); }
  bool SeekSample(int sample) override { return AcmSeek(sample); }

  bool AcmReset();
  bool AcmSeek(int sample);

private:
  int ReadCode(void* buffer, int count);  // from the data only; a short read marks the end of the data

  std::unique_ptr<vx_detail::AcmConverter> converter_;  // null: PCM passes through
  std::int64_t dataStart_ = 0;
  std::int64_t dataLength_ = 0;
  std::int64_t consumed_ = 0;
  bool codeEnded_ = false;
  std::int64_t length_ = 0;
  std::int64_t position_ = 0;
  std::vector<std::uint8_t> block_;  // one conversion's output
  std::size_t leftoverAt_ = 0;
  std::size_t leftover_ = 0;
};

class VXWaveStream : public VXAcmStream {
public:
  explicit VXWaveStream(VXStream* code) : VXWaveStream(code, false) {}
  VXWaveStream(VXStream* code, bool realTime);

  // Finds the "fmt " and "data" chunks: the format, the offset of the first data byte and the data length (cut to
  // what the code stream holds). False for anything that is not a WAVE file with both, "fmt " first, and for an
  // extensible format record whose sub-format is not one of the plain tags.
  bool WaveHeaderAnalysis(tWAVEFORMATEX& format, std::int64_t& dataOffset, std::int64_t& dataLength);

private:
  bool WaveFileOpen(bool realTime);
};

class VXMp3Stream : public VXAcmStream {
public:
  explicit VXMp3Stream(VXStream* code) : VXMp3Stream(code, false) {}
  VXMp3Stream(VXStream* code, bool realTime);

private:
  bool Mp3FileOpen(bool realTime);
};
