#include "device/vxladpstream.h"

#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "core/vxrefusal.h"
#include "device/sound_fixtures.h"

using fixtures::PutU32;

namespace {

std::string AdpHeader(std::uint32_t samples, std::uint32_t rate, std::uint32_t channels) {
  std::string h = "ADP1";
  PutU32(h, samples);
  PutU32(h, rate);
  PutU32(h, channels);
  return h;
}

std::vector<std::int16_t> ReadAll(VXPcmStream& s) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(s.GetSize()) / 2 + 16);
  const int n = s.Read(out.data(), static_cast<int>(out.size() * 2));
  out.resize(static_cast<std::size_t>(n) / 2);
  return out;
}

}  // namespace

TEST(AdpStream, DecodesTheHeaderAndCodes) {
  VXMemoryStream code;
  const std::string file = AdpHeader(4, 8000, 1) + std::string(2, '\0');
  code.Write(file.data(), static_cast<int>(file.size()));
  VXAdpStream adp(&code);
  ASSERT_TRUE(adp.IsOpen());
  EXPECT_EQ(adp.GetChannels(), 1);
  EXPECT_EQ(adp.GetRate(), 8000);
  EXPECT_EQ(adp.GetBits(), 16);
  EXPECT_EQ(adp.GetSize(), 8);
  EXPECT_EQ(ReadAll(adp), (std::vector<std::int16_t>{32, 64, 96, 128}));
  EXPECT_TRUE(adp.IsEnd());
  EXPECT_FALSE(adp.IsSeekable());
  EXPECT_EQ(adp.Seek(0, VXSeekBegin), -1);
  ASSERT_TRUE(adp.Reset());  // decodes the same again from a cleared state
  EXPECT_EQ(ReadAll(adp), (std::vector<std::int16_t>{32, 64, 96, 128}));
}

TEST(AdpStream, RefusesBadHeaders) {
  const std::vector<std::tuple<const char*, std::string, const char*>> cases = {
      {"short", "ADP1", "too short for an ADP file"},
      {"foreign magic", "ADP2" + AdpHeader(4, 8000, 1).substr(4) + "xx", "not an ADP file"},
      {"no channels", AdpHeader(4, 8000, 0) + "xx", "ADP of other than one or two channels"},
      {"three channels", AdpHeader(4, 8000, 3) + "xx", "ADP of other than one or two channels"},
      {"no rate", AdpHeader(4, 0, 1) + "xx", "a sample rate outside 100 to 200,000 Hz"},
      {"no samples", AdpHeader(0, 8000, 1), "no sound in the data"},
      {"a length beyond what the PCM side can count", AdpHeader(0xFFFFFFFF, 8000, 2) + "xx",
       "longer than a sound may be (2 GB decoded)"},
  };
  for (const auto& [name, bytes, reason] : cases) {
    std::unique_ptr<VXMemoryStream> code(fixtures::Memory(bytes));
    VXAdpStream adp(code.get());
    EXPECT_FALSE(adp.IsOpen()) << name;
    EXPECT_STREQ(VXRefusal(), reason) << name;
    char b[4];
    EXPECT_EQ(adp.Read(b, 4), 0) << name;
  }
}

TEST(AdpStream, OddMonoCountDropsTheLastNibble) {
  std::unique_ptr<VXMemoryStream> code(fixtures::Memory(AdpHeader(5, 8000, 1) + std::string(3, '\0')));
  VXAdpStream adp(code.get());
  ASSERT_TRUE(adp.IsOpen());
  EXPECT_EQ(adp.GetSize(), 8);
}

TEST(AdpStream, TruncatedFileEndsWhereItsDataEnds) {
  // The header announces two seconds; one second of codes is there.
  std::unique_ptr<VXMemoryStream> code(fixtures::Memory(AdpHeader(16000, 8000, 1) + std::string(4000, '\x11')));
  VXAdpStream adp(code.get());
  ASSERT_TRUE(adp.IsOpen());
  std::vector<std::uint8_t> out(64000);
  EXPECT_EQ(adp.Read(out.data(), 64000), 16000);
  EXPECT_TRUE(adp.IsEnd());
  EXPECT_EQ(adp.Read(out.data(), 64000), 0);
}

TEST(AdpStream, EncoderWritesWhatTheDecoderReads) {
  for (int channels : {1, 2}) {
    const int rate = 11025;
    const std::vector<std::int16_t> tone = fixtures::Tone(16000, channels, rate, 300, 5000);
    VXMemoryStream file;
    ASSERT_TRUE(VXAdpStream::Encode(&file, tone.data(), static_cast<std::uint32_t>(tone.size() / channels), rate,
                                    static_cast<std::uint16_t>(channels)));
    VXMemoryStream small;
    ASSERT_TRUE(VXAdpStream::Encode(&small, tone.data(), 1000, rate, static_cast<std::uint16_t>(channels)));
    fixtures::SaveSoundSeed(channels == 1 ? "mono.adp" : "stereo.adp", 2,
                  std::string(reinterpret_cast<const char*>(small.GetMemory()), static_cast<std::size_t>(small.GetSize())));
    VXAdpStream adp(&file);
    ASSERT_TRUE(adp.IsOpen());
    EXPECT_EQ(adp.GetChannels(), channels);
    const std::vector<std::int16_t> back = ReadAll(adp);
    ASSERT_EQ(back.size(), tone.size());
    double error = 0;
    for (std::size_t i = 0; i < tone.size(); ++i) error += std::abs(back[i] - tone[i]);
    EXPECT_LT(error / tone.size(), 500.0) << channels;
  }
}
