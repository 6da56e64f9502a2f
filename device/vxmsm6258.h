// 4-bit ADPCM in the manner of the OKI MSM6258: the codec between 16-bit PCM and the codes of ADP files.
// Mono packs two samples per byte (the earlier in the low nibble); stereo packs one frame per byte (left low,
// right high). Each channel keeps a predicted value and a step index.
#pragma once

#include <cstdint>

// One conversion request: source codes in, 16-bit samples out. Each source byte gives four output bytes.
struct tADPSTREAMHEADER {
  std::uint16_t channels = 1;
  const std::uint8_t* source = nullptr;
  std::uint32_t sourceLength = 0;
  std::uint32_t sourceUsed = 0;  // out
  std::int16_t* destination = nullptr;
  std::uint32_t destinationLength = 0;  // bytes
  std::uint32_t destinationUsed = 0;    // out, bytes
};

class Msm6258Codec {
public:
  Msm6258Codec() { Clear(); }

  void Clear();

  // `count` mono samples from count / 2 bytes (channel 0's state).
  void AdpcmToPcm(const std::uint8_t* codes, std::int16_t* pcm, int count);
  // `count` bytes into `count` stereo frames.
  void AdpcmToPcmStereo(const std::uint8_t* codes, std::int16_t* pcm, int count);
  void StreamConvert(tADPSTREAMHEADER* header);

  // The encoder: `count` mono samples into count / 2 bytes; `count` stereo frames into `count` bytes.
  void PcmToAdpcm(const std::int16_t* pcm, std::uint8_t* codes, int count);
  void PcmToAdpcmStereo(const std::int16_t* pcm, std::uint8_t* codes, int count);

private:
  struct Channel {
    std::int16_t predicted;
    std::int8_t index;
  };

  static std::int16_t DecodeOne(Channel& c, int code);
  static int EncodeOne(Channel& c, std::int16_t sample);

  Channel channel_[2];
};
