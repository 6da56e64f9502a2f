// The ADP file: a 16-byte header ("ADP1", samples per channel, rate, channels; little-endian 32-bit words) and the
// 4-bit codes of Msm6258Codec. `VXAdpStream` delivers 16-bit PCM; it cannot seek. A file that cannot be opened
// leaves the stream not open with the reason in VXRefusal (core/vxrefusal.h).
#pragma once

#include <cstdint>
#include <vector>

#include "device/vxlpcmstream.h"
#include "device/vxmsm6258.h"

inline constexpr int kAdpHeaderBytes = 16;

class VXAdpStream : public VXPcmStream {
public:
  explicit VXAdpStream(VXStream* code);
  ~VXAdpStream() override { AdpClose(); }

  bool AdpOpen();
  bool AdpClose();
  bool AdpReset();

  int GetDecodeLength() override { return static_cast<int>(decodedLength_); }
  int GetDecodePoint() override { return static_cast<int>(position_); }
  int Decode(void* buffer, int count) override;
  bool Rewind() override { return AdpReset(); }
  bool SeekSample(int) override { return false; }

  // Writes an ADP file of 16-bit interleaved samples (1 or 2 channels) to `out`; false on a bad format or a short
  // write. An odd mono sample count drops the last sample.
  static bool Encode(VXStream* out, const std::int16_t* pcm, std::uint32_t samples, std::uint32_t rate,
                     std::uint16_t channels);

private:
  // Decoding state back to the first sample with the first block read; closes the stream when that read fails.
  bool StartAtData();
  bool ReadData(std::uint32_t keep);

  Msm6258Codec codec_;
  bool first_ = true;
  tADPSTREAMHEADER request_;
  std::vector<std::uint8_t> source_;  // one second of codes
  std::vector<std::uint8_t> output_;  // one second of PCM
  std::int64_t dataLength_ = 0;
  std::int64_t consumed_ = 0;
  bool codeEnded_ = false;
  std::int64_t position_ = 0;
  std::int64_t decodedLength_ = 0;
  std::int64_t dataStart_ = 0;
  std::uint32_t leftoverAt_ = 0;
  std::uint32_t leftover_ = 0;
};
