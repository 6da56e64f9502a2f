#include "device/vxmsm6258.h"

#include <algorithm>

namespace {

constexpr std::int16_t kStepSize[49] = {16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,  45,   50,
                                        55,  60,  66,  73,  80,  88,  97,  107, 118, 130, 143, 157,  173,
                                        190, 209, 230, 253, 279, 307, 337, 371, 408, 449, 494, 544,  598,
                                        658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552};
constexpr std::int8_t kIndexShift[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

int Multiplier(int code) {
  const int m = 4 * (code & 7) + 2;
  return (code & 8) != 0 ? -m : m;
}

}  // namespace

void Msm6258Codec::Clear() {
  for (Channel& c : channel_) c = Channel{0, 0};
}

std::int16_t Msm6258Codec::DecodeOne(Channel& c, int code) {
  const int value = c.predicted + kStepSize[c.index] * Multiplier(code);
  c.predicted = static_cast<std::int16_t>(std::clamp(value, -32768, 32767));
  c.index = static_cast<std::int8_t>(std::clamp(c.index + kIndexShift[code & 7], 0, 48));
  return c.predicted;
}

int Msm6258Codec::EncodeOne(Channel& c, std::int16_t sample) {
  int d = sample - c.predicted;
  int sign = 0;
  if (d < 0) {
    sign = 8;
    d = -d;
  }
  const int m = (d / 2) / kStepSize[c.index];
  const int code = (m < 15 ? m / 2 : 7) | sign;
  DecodeOne(c, code);
  return code;
}

void Msm6258Codec::AdpcmToPcm(const std::uint8_t* codes, std::int16_t* pcm, int count) {
  for (int i = 0; i + 1 < count; i += 2) {
    pcm[i] = DecodeOne(channel_[0], codes[i / 2] & 15);
    pcm[i + 1] = DecodeOne(channel_[0], codes[i / 2] >> 4);
  }
}

void Msm6258Codec::AdpcmToPcmStereo(const std::uint8_t* codes, std::int16_t* pcm, int count) {
  for (int i = 0; i < count; ++i) {
    pcm[2 * i] = DecodeOne(channel_[0], codes[i] & 15);
    pcm[2 * i + 1] = DecodeOne(channel_[1], codes[i] >> 4);
  }
}

void Msm6258Codec::StreamConvert(tADPSTREAMHEADER* h) {
  const std::uint32_t frames = std::min(h->sourceLength, h->destinationLength / 4);
  if (h->channels == 2) {
    AdpcmToPcmStereo(h->source, h->destination, static_cast<int>(frames));
  } else {
    AdpcmToPcm(h->source, h->destination, static_cast<int>(2 * frames));
  }
  h->sourceUsed = frames;
  h->destinationUsed = 4 * frames;
}

void Msm6258Codec::PcmToAdpcm(const std::int16_t* pcm, std::uint8_t* codes, int count) {
  for (int i = 0; i + 1 < count; i += 2) {
    const int low = EncodeOne(channel_[0], pcm[i]);
    const int high = EncodeOne(channel_[0], pcm[i + 1]);
    codes[i / 2] = static_cast<std::uint8_t>(low | (high << 4));
  }
}

void Msm6258Codec::PcmToAdpcmStereo(const std::int16_t* pcm, std::uint8_t* codes, int count) {
  for (int i = 0; i < count; ++i) {
    const int left = EncodeOne(channel_[0], pcm[2 * i]);
    const int right = EncodeOne(channel_[1], pcm[2 * i + 1]);
    codes[i] = static_cast<std::uint8_t>(left | (right << 4));
  }
}
