#include "device/vxmsm6258.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "device/sound_fixtures.h"

TEST(Msm6258, DecodesCodesByTheStepAndIndexTables) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> codes;
    bool stereo;
    std::vector<std::int16_t> pcm;
  };
  const std::vector<Case> cases = {
      {"zero codes add 16 x 2 each, the index stays 0", {0x00, 0x00}, false, {32, 64, 96, 128}},
      {"stereo: low nibble left, high nibble right", {0x80}, true, {32, -32}},
      {"sign bit of a code", {0x88}, false, {-32, -64}},
      {"code 7 climbs to the top of the table and clamps",
       {0x77, 0x77, 0x77, 0x77},
       false,
       {480, 1500, 3690, 8400, 18510, 32767, 32767, 32767}},
      {"six codes of 7 bring the index to 48: the next steps are 1552 and then 1411",
       {0x77, 0x77, 0x77, 0x08},
       false,
       {480, 1500, 3690, 8400, 18510, 32767, 29663, 32485}},
  };
  for (const Case& c : cases) {
    Msm6258Codec codec;
    std::vector<std::int16_t> out(c.pcm.size());
    if (c.stereo) {
      codec.AdpcmToPcmStereo(c.codes.data(), out.data(), static_cast<int>(c.codes.size()));
    } else {
      codec.AdpcmToPcm(c.codes.data(), out.data(), static_cast<int>(2 * c.codes.size()));
    }
    EXPECT_EQ(out, c.pcm) << c.name;
  }
}

TEST(Msm6258, RepeatedCodeSevenNeverPassesTheLimit) {
  Msm6258Codec codec;
  std::vector<std::uint8_t> codes(64, 0x77);
  std::vector<std::int16_t> out(128);
  codec.AdpcmToPcm(codes.data(), out.data(), 128);
  EXPECT_EQ(out.back(), 32767);
  for (std::int16_t v : out) EXPECT_GE(v, 0);
}

TEST(Msm6258, EncoderFollowsATone) {
  const std::vector<std::int16_t> tone = fixtures::Tone(8000, 1, 8000, 200, 6000);
  Msm6258Codec enc;
  std::vector<std::uint8_t> codes(tone.size() / 2);
  enc.PcmToAdpcm(tone.data(), codes.data(), static_cast<int>(tone.size()));
  Msm6258Codec dec;
  std::vector<std::int16_t> back(tone.size());
  dec.AdpcmToPcm(codes.data(), back.data(), static_cast<int>(back.size()));
  double error = 0;
  for (std::size_t i = 100; i < tone.size(); ++i) error += std::abs(back[i] - tone[i]);
  EXPECT_LT(error / (tone.size() - 100), 600.0);
}

TEST(Msm6258, StreamConvertTurnsEachByteIntoFourBytes) {
  Msm6258Codec codec;
  std::vector<std::uint8_t> src(10, 0x11);
  std::vector<std::int16_t> dst(12);
  tADPSTREAMHEADER h;
  h.channels = 2;
  h.source = src.data();
  h.sourceLength = 10;
  h.destination = dst.data();
  h.destinationLength = 24;  // room for 6 bytes of codes only
  codec.StreamConvert(&h);
  EXPECT_EQ(h.sourceUsed, 6u);
  EXPECT_EQ(h.destinationUsed, 24u);
}
