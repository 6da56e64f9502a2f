#include "device/vxladpstream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/vxrefusal.h"
#include "platform/mixer.h"

namespace {

std::uint32_t U32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24); }

void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

bool IsPlayableRate(std::uint32_t rate) {
  return rate >= platform::audio::kFrequencyMin && rate <= platform::audio::kFrequencyMax;
}

}  // namespace

VXAdpStream::VXAdpStream(VXStream* code) : VXPcmStream(code) { AdpOpen(); }

bool VXAdpStream::AdpOpen() {
  VXRefusalScope scope;
  AdpClose();
  std::uint8_t header[kAdpHeaderBytes];
  if (code_ == nullptr) return false;
  if (!code_->Reset() || code_->Read(header, kAdpHeaderBytes) != kAdpHeaderBytes) {
    return VXRefuse("too short for an ADP file");
  }
  if (std::memcmp(header, "ADP1", 4) != 0) return VXRefuse("not an ADP file");
  const std::uint32_t samples = U32(header + 4);
  const std::uint32_t rate = U32(header + 8);
  const std::uint16_t channels = static_cast<std::uint16_t>(U32(header + 12));
  if (channels != 1 && channels != 2) return VXRefuse("ADP of other than one or two channels");
  if (!IsPlayableRate(rate)) return VXRefuse("a sample rate outside 100 to 200,000 Hz");
  const std::int64_t decoded = static_cast<std::int64_t>(channels) * samples * 2;
  if (samples == 0) return VXRefuse("no sound in the data");
  if (decoded > kMaxDecodedBytes) return VXRefuse("longer than a sound may be (2 GB decoded)");
  dataStart_ = code_->GetPosition();
  dataLength_ = static_cast<std::int64_t>(channels) * samples / 2;
  // An odd mono count has no byte for its last sample.
  decodedLength_ = dataLength_ * 4;
  channels_ = channels;
  rate_ = static_cast<int>(rate);
  bits_ = 16;
  samples_ = static_cast<int>(decodedLength_ / (2 * channels));
  try {
    source_.assign(std::max<std::size_t>(channels * rate / 2, 1), 0);
    output_.assign(source_.size() * 4, 0);
  } catch (const std::bad_alloc&) {
    source_ = {};
    return VXRefuse("out of memory");
  }
  request_ = tADPSTREAMHEADER{};
  request_.channels = channels;
  return StartAtData();
}

bool VXAdpStream::AdpClose() {
  source_ = {};
  output_ = {};
  end_ = true;
  open_ = false;
  return true;
}

bool VXAdpStream::AdpReset() {
  if (source_.empty()) return false;
  if (!CodeSeekForward(dataStart_)) {
    AdpClose();
    return false;
  }
  request_.sourceUsed = 0;
  return StartAtData();
}

bool VXAdpStream::StartAtData() {
  consumed_ = position_ = 0;
  leftover_ = leftoverAt_ = 0;
  codeEnded_ = false;
  first_ = true;
  if (!ReadData(0)) {
    AdpClose();
    return false;
  }
  end_ = false;
  open_ = true;
  return true;
}

bool VXAdpStream::ReadData(std::uint32_t keep) {
  std::uint32_t got = 0;
  if (keep < source_.size()) {
    const std::int64_t n = std::min<std::int64_t>(source_.size() - keep, dataLength_ - consumed_);
    got = static_cast<std::uint32_t>(std::max(code_->Read(source_.data() + keep, static_cast<int>(n)), 0));
    consumed_ += got;
    // A truncated file ends where its data ends.
    if (got < n) codeEnded_ = true;
  }
  request_.sourceLength = keep + got;
  return true;
}

int VXAdpStream::Decode(void* buffer, int count) {
  if (!open_ || count <= 0) return 0;
  const int n = static_cast<int>(std::min<std::int64_t>(count, decodedLength_ - position_));
  auto* dst = static_cast<std::uint8_t*>(buffer);
  int out = 0;
  while (out < n) {
    if (leftover_ == 0) {
      if (request_.sourceUsed > 0) {
        const std::uint32_t keep = request_.sourceLength - request_.sourceUsed;
        std::memmove(source_.data(), source_.data() + request_.sourceUsed, keep);
        request_.sourceUsed = 0;
        ReadData(keep);
      }
      if (request_.sourceLength == 0) break;
      if (first_) {
        codec_.Clear();
        first_ = false;
      }
      request_.source = source_.data();
      request_.destination = reinterpret_cast<std::int16_t*>(output_.data());
      request_.destinationLength = static_cast<std::uint32_t>(output_.size());
      codec_.StreamConvert(&request_);
      if (request_.sourceUsed == 0 && request_.destinationUsed == 0) break;
      leftoverAt_ = 0;
      leftover_ = request_.destinationUsed;
    }
    const std::uint32_t take = std::min<std::uint32_t>(leftover_, static_cast<std::uint32_t>(n - out));
    std::memcpy(dst + out, output_.data() + leftoverAt_, take);
    leftoverAt_ += take;
    leftover_ -= take;
    out += static_cast<int>(take);
  }
  position_ += out;
  const bool drained = request_.sourceLength == request_.sourceUsed && leftover_ == 0;
  if (position_ >= decodedLength_ || ((consumed_ >= dataLength_ || codeEnded_) && drained)) end_ = true;
  return out;
}

bool VXAdpStream::Encode(VXStream* out, const std::int16_t* pcm, std::uint32_t samples, std::uint32_t rate,
                         std::uint16_t channels) {
  if (out == nullptr || (channels != 1 && channels != 2) || rate == 0) return false;
  std::uint8_t header[kAdpHeaderBytes];
  std::memcpy(header, "ADP1", 4);
  PutU32(header + 4, samples);
  PutU32(header + 8, rate);
  PutU32(header + 12, channels);
  if (out->Write(header, kAdpHeaderBytes) != kAdpHeaderBytes) return false;
  Msm6258Codec codec;
  std::vector<std::uint8_t> codes(static_cast<std::size_t>(channels) * samples / 2);
  if (channels == 2) {
    codec.PcmToAdpcmStereo(pcm, codes.data(), static_cast<int>(samples));
  } else {
    codec.PcmToAdpcm(pcm, codes.data(), static_cast<int>(samples));
  }
  return codes.empty() || out->Write(codes.data(), static_cast<int>(codes.size())) == static_cast<int>(codes.size());
}
