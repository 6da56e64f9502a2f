#include "device/vxlwavestream.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <tuple>

#include "core/vxrefusal.h"
#include "device/sound_fixtures.h"

using namespace fixtures;

namespace {

std::string Ramp(int samples) {
  std::vector<std::int16_t> v;
  for (int i = 0; i < samples; ++i) v.push_back(static_cast<std::int16_t>(i * 3));
  return Bytes16(v);
}

}  // namespace

// The extensible format record: the plain one with valid bits, a channel mask and the sub-format GUID, whose first
// two bytes are the plain tag (`knownGuid` false spoils the rest of the GUID).
std::string Extensible(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits, bool knownGuid = true) {
  std::string extra;
  PutU16(extra, bits);
  PutU32(extra, channels == 2 ? 3 : 4);
  PutU16(extra, tag);
  extra += knownGuid ? std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14) : std::string(14, 'x');
  return FmtBody(0xFFFE, channels, rate, bits, channels * bits / 8, extra);
}

TEST(WaveStream, PcmPassesThroughAndSeeks) {
  const std::string data = Ramp(200);  // 100 stereo frames
  std::unique_ptr<VXMemoryStream> code(Memory(PcmWave(2, 22050, 16, data)));
  SaveSoundSeed("pcm16_stereo.wav", 0, PcmWave(2, 22050, 16, data));
  VXWaveStream wave(code.get());
  ASSERT_TRUE(wave.IsOpen());
  EXPECT_EQ(wave.GetChannels(), 2);
  EXPECT_EQ(wave.GetRate(), 22050);
  EXPECT_EQ(wave.GetBits(), 16);
  EXPECT_EQ(wave.GetSamples(), 100);
  EXPECT_EQ(wave.GetSize(), 400);
  EXPECT_TRUE(wave.IsSeekable());
  char out[400];
  ASSERT_EQ(wave.Read(out, 10), 10);
  EXPECT_EQ(std::string(out, 10), data.substr(0, 10));
  EXPECT_EQ(wave.Seek(41, VXSeekBegin), 40);  // whole frames
  ASSERT_EQ(wave.Read(out, 8), 8);
  EXPECT_EQ(std::string(out, 8), data.substr(40, 8));
  EXPECT_EQ(wave.Seek(0, VXSeekEnd), 400);
  EXPECT_TRUE(wave.IsEnd());
  EXPECT_EQ(wave.Read(out, 4), 0);
  EXPECT_EQ(wave.Seek(-1, VXSeekBegin), -1);
  EXPECT_EQ(wave.Seek(int64_t{1} << 33, VXSeekBegin), -1);
  ASSERT_TRUE(wave.Reset());
  EXPECT_EQ(wave.Read(out, 400), 400);
  EXPECT_EQ(std::string(out, 400), data);
}

// ffmpeg writes the extensible record for more than 16 bits or two channels; sox writes 24-bit and float files.
TEST(WaveStream, ExtensibleWideAndFloatingPointSamplesBecome16Bits) {
  std::string int24, int32, float32, float64;
  const std::vector<std::int32_t> ints = {0x123456, -1, -0x800000, 0x7FFFFF};  // as 24-bit values
  for (std::int32_t v : ints) {
    int24.append({static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16)});
    int32.append({'\x99', static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16)});
  }
  const std::vector<std::int16_t> fromInts = {0x1234, -1, -0x8000, 0x7FFF};
  const double floats[] = {0.5, -1.0, 1.0, 2.0, -0.25, std::nan("")};
  for (double v : floats) {
    const float f = static_cast<float>(v);
    float32.append(reinterpret_cast<const char*>(&f), 4);
    float64.append(reinterpret_cast<const char*>(&v), 8);
  }
  const std::vector<std::int16_t> fromFloats = {16384, -32768, 32767, 32767, -8192, 0};
  const std::string pcm16 = Ramp(4);
  struct Case {
    const char* name;
    std::string file;
    std::vector<std::int16_t> samples;
  };
  const Case cases[] = {
      {"extensible 16-bit PCM", Riff({{"fmt ", Extensible(1, 2, 8000, 16)}, {"data", pcm16}}), {0, 3, 6, 9}},
      {"24-bit PCM", Riff({{"fmt ", FmtBody(1, 2, 8000, 24, 6)}, {"data", int24}}), fromInts},
      {"extensible 24-bit PCM", Riff({{"fmt ", Extensible(1, 2, 8000, 24)}, {"data", int24}}), fromInts},
      {"32-bit PCM", Riff({{"fmt ", FmtBody(1, 2, 8000, 32, 8)}, {"data", int32}}), fromInts},
      {"32-bit floating point", Riff({{"fmt ", FmtBody(3, 2, 8000, 32, 8)}, {"data", float32}}), fromFloats},
      {"extensible 64-bit floating point", Riff({{"fmt ", Extensible(3, 2, 8000, 64)}, {"data", float64}}), fromFloats},
  };
  for (const Case& c : cases) {
    std::unique_ptr<VXMemoryStream> code(Memory(c.file));
    VXWaveStream wave(code.get());
    ASSERT_TRUE(wave.IsOpen()) << c.name << ": " << VXRefusal();
    EXPECT_EQ(wave.GetBits(), 16) << c.name;
    EXPECT_EQ(wave.GetChannels(), 2) << c.name;
    EXPECT_EQ(wave.GetSize(), static_cast<std::int64_t>(c.samples.size() * 2)) << c.name;
    EXPECT_TRUE(wave.IsSeekable()) << c.name;
    std::vector<std::int16_t> out(c.samples.size() + 2);
    const int bytes = static_cast<int>(c.samples.size() * 2);
    ASSERT_EQ(wave.Read(out.data(), static_cast<int>(out.size() * 2)), bytes) << c.name;
    out.resize(c.samples.size());
    EXPECT_EQ(out, c.samples) << c.name;
    // The second frame again, found by a seek.
    ASSERT_EQ(wave.Seek(4, VXSeekBegin), 4) << c.name;
    std::int16_t frame[2] = {};
    ASSERT_EQ(wave.Read(frame, 4), 4) << c.name;
    EXPECT_EQ(frame[0], c.samples[2]) << c.name;
    EXPECT_EQ(frame[1], c.samples[3]) << c.name;
  }
}

TEST(WaveStream, WalksChunksWithPadBytes) {
  const std::string data = Ramp(4);
  const std::string file =
      Riff({{"LIST", "odd"}, {"fmt ", FmtBody(1, 1, 8000, 16, 2)}, {"junk", "x"}, {"data", data}});
  std::unique_ptr<VXMemoryStream> code(Memory(file));
  VXWaveStream wave(code.get());
  ASSERT_TRUE(wave.IsOpen());
  char out[8];
  ASSERT_EQ(wave.Read(out, 8), 8);
  EXPECT_EQ(std::string(out, 8), data);
}

TEST(WaveStream, RefusesBrokenHeaders) {
  const std::string data = Ramp(4);
  std::string hugeRiff = PcmWave(1, 8000, 16, data);
  hugeRiff[4] = hugeRiff[5] = hugeRiff[6] = hugeRiff[7] = '\xFF';  // the chunk walk must stay in 64 bits
  std::string hugeChunk = Riff({{"LIST", "ab"}, {"fmt ", FmtBody(1, 1, 8000, 16, 2)}, {"data", data}});
  hugeChunk[16] = hugeChunk[17] = hugeChunk[18] = hugeChunk[19] = '\xFF';
  const std::vector<std::tuple<const char*, std::string, const char*>> cases = {
      {"data before fmt", Riff({{"data", data}, {"fmt ", FmtBody(1, 1, 8000, 16, 2)}}),
       "the \"data\" chunk comes before the \"fmt \" chunk"},
      {"no data", Riff({{"fmt ", FmtBody(1, 1, 8000, 16, 2)}}), "no \"data\" chunk"},
      {"not RIFF", "RIFX" + PcmWave(1, 8000, 16, data).substr(4), "not a RIFF WAVE file"},
      {"short", "RIFF", "too short for a WAVE file"},
      {"fmt too short", Riff({{"fmt ", std::string(12, '\1')}, {"data", data}}),
       "a \"fmt \" chunk of a size no format record has"},
      {"no channels", Riff({{"fmt ", FmtBody(1, 0, 8000, 16, 2)}, {"data", data}}), "the format names no channels"},
      {"no bits", Riff({{"fmt ", FmtBody(1, 1, 8000, 0, 2)}, {"data", data}}),
       "PCM samples of 0 bits are not supported"},
      {"12 bits", Riff({{"fmt ", FmtBody(1, 1, 8000, 12, 2)}, {"data", data}}),
       "PCM samples of 12 bits are not supported"},
      {"16-bit floating point", Riff({{"fmt ", FmtBody(3, 1, 8000, 16, 2)}, {"data", data}}),
       "floating-point samples of 16 bits are not supported"},
      {"no rate", Riff({{"fmt ", FmtBody(1, 1, 0, 16, 2)}, {"data", data}}), "the format names no sample rate"},
      {"unknown format", Riff({{"fmt ", FmtBody(0x1234, 1, 8000, 16, 2)}, {"data", data}}),
       "WAVE format 0x1234 is not supported"},
      {"extensible of an unknown sub-format", Riff({{"fmt ", Extensible(1, 1, 8000, 16, false)}, {"data", data}}),
       "extensible WAVE of a sub-format that is not supported"},
      {"extensible, cut", Riff({{"fmt ", FmtBody(0xFFFE, 1, 8000, 16, 2, std::string(10, '\0'))}, {"data", data}}),
       "cut extensible WAVE format record"},
      {"ADPCM without its extension", Riff({{"fmt ", FmtBody(2, 1, 8000, 4, 256)}, {"data", data}}),
       "damaged Microsoft ADPCM format record"},
      {"huge chunk before fmt", hugeChunk, "no \"fmt \" chunk"},
  };
  for (const auto& [name, bytes, reason] : cases) {
    std::unique_ptr<VXMemoryStream> code(Memory(bytes));
    VXWaveStream wave(code.get());
    EXPECT_FALSE(wave.IsOpen()) << name;
    EXPECT_STREQ(VXRefusal(), reason) << name;
  }
  std::unique_ptr<VXMemoryStream> code(Memory(hugeRiff));
  EXPECT_TRUE(VXWaveStream(code.get()).IsOpen()) << "a RIFF size beyond the file is cut to the file";
}

TEST(WaveStream, TruncatedDataEndsWhereItEnds) {
  std::string file = PcmWave(1, 8000, 16, Ramp(100));
  file.resize(file.size() - 50);  // the data chunk still claims 200 bytes
  ForwardOnlyStream code(file);
  VXWaveStream wave(&code);
  ASSERT_TRUE(wave.IsOpen());
  EXPECT_FALSE(wave.IsSeekable());
  char out[400];
  EXPECT_EQ(wave.Read(out, 400), 150);
  EXPECT_TRUE(wave.IsEnd());
  EXPECT_EQ(wave.Read(out, 400), 0);
}

TEST(WaveStream, MicrosoftAdpcmBlocks) {
  // Mono, predictor 0 (256, 0), delta 16, sample1 100, sample2 50, then codes 1 and 2: 116 and 148.
  std::string block;
  block += '\0';
  PutU16(block, 16);
  PutU16(block, 100);
  PutU16(block, 50);
  block += '\x12';
  const std::string file = Riff({{"fmt ", FmtBody(2, 1, 8000, 4, 8, AdpcmExtra(4))}, {"data", block + block}});
  SaveSoundSeed("ms_adpcm.wav", 0, file);
  std::unique_ptr<VXMemoryStream> code(Memory(file));
  VXWaveStream wave(code.get());
  ASSERT_TRUE(wave.IsOpen());
  EXPECT_EQ(wave.GetBits(), 16);
  EXPECT_EQ(wave.GetSize(), 16);
  EXPECT_FALSE(wave.IsSeekable());
  EXPECT_EQ(wave.Seek(0, VXSeekBegin), -1);
  std::int16_t out[10] = {};
  ASSERT_EQ(wave.Read(out, 20), 16);
  const std::int16_t expected[8] = {50, 100, 116, 148, 50, 100, 116, 148};
  EXPECT_TRUE(std::equal(expected, expected + 8, out));
  EXPECT_TRUE(wave.IsEnd());
  ASSERT_TRUE(wave.Reset());
  EXPECT_EQ(wave.Read(out, 4), 4);
  EXPECT_EQ(out[0], 50);
}

TEST(WaveStream, MicrosoftAdpcmStepStaysInRangeOnDamagedData) {
  // A block of nothing but the largest step code raises the step at every sample; it must hold, not overflow.
  const int samplesPerBlock = 2 + 2 * 500;
  std::string block;
  block += '\0';
  PutU16(block, 0x7FFF);
  PutU16(block, 0);
  PutU16(block, 0);
  block += std::string(500, '\x88');
  const std::string file =
      Riff({{"fmt ", FmtBody(2, 1, 8000, 4, static_cast<unsigned>(block.size()), AdpcmExtra(samplesPerBlock))},
            {"data", block}});
  std::unique_ptr<VXMemoryStream> code(Memory(file));
  VXWaveStream wave(code.get());
  ASSERT_TRUE(wave.IsOpen());
  std::vector<std::int16_t> out(samplesPerBlock);
  EXPECT_EQ(wave.Read(out.data(), samplesPerBlock * 2), samplesPerBlock * 2);
  EXPECT_EQ(out.back(), -32768);  // code 8 is the largest negative step: the samples sit at the bottom
}

TEST(WaveStream, MpegAudioInsideWaveGoesToTheMpegDecoder) {
  const std::string file = Riff({{"fmt ", FmtBody(0x55, 2, 44100, 0, 1, std::string(12, '\0'))}, {"data", SilentMp3(10)}});
  SaveSoundSeed("mpeg_in_riff.wav", 0, Riff({{"fmt ", FmtBody(0x55, 2, 44100, 0, 1, std::string(12, '\0'))},
                                            {"data", SilentMp3(3)}}));
  std::unique_ptr<VXMemoryStream> code(Memory(file));
  VXWaveStream wave(code.get());
  ASSERT_TRUE(wave.IsOpen());
  EXPECT_EQ(wave.GetChannels(), 2);
  EXPECT_EQ(wave.GetRate(), 44100);
  EXPECT_FALSE(wave.IsSeekable());
  std::vector<std::int16_t> out(static_cast<std::size_t>(wave.GetSize()) / 2 + 100, 1);
  const int n = wave.Read(out.data(), static_cast<int>(out.size() * 2));
  EXPECT_GT(n, 0);
  EXPECT_EQ(n, wave.GetSize());
  out.resize(static_cast<std::size_t>(n) / 2);
  for (std::int16_t v : out) ASSERT_EQ(v, 0);
}

TEST(Mp3Stream, SilentFramesWithAndWithoutATag) {
  std::unique_ptr<VXMemoryStream> plain(Memory(SilentMp3(20, true)));
  SaveSoundSeed("silent_mono.mp3", 1, SilentMp3(4, true));
  VXMp3Stream a(plain.get());
  ASSERT_TRUE(a.IsOpen());
  EXPECT_EQ(a.GetChannels(), 1);
  EXPECT_EQ(a.GetRate(), 44100);
  EXPECT_EQ(a.Seek(0, VXSeekBegin), -1);
  std::string tag = "TAG" + std::string(125, 'x');
  std::unique_ptr<VXMemoryStream> tagged(Memory(SilentMp3(20, true) + tag));
  VXMp3Stream b(tagged.get());
  ASSERT_TRUE(b.IsOpen());
  EXPECT_EQ(b.GetSize(), a.GetSize());
  std::vector<std::int16_t> out(static_cast<std::size_t>(b.GetSize()) / 2);
  EXPECT_EQ(b.Read(out.data(), static_cast<int>(b.GetSize())), b.GetSize());
}

TEST(Mp3Stream, RefusesWhatIsNotMpegAudio) {
  std::string freeFormat = SilentMp3(3);
  freeFormat[2] = 0x00;  // bit-rate index 0
  std::string reserved = SilentMp3(3);
  reserved[2] = static_cast<char>(0x9C);  // rate index 3
  const std::vector<std::pair<const char*, std::string>> cases = {
      {"128 bytes or fewer", SilentMp3(1).substr(0, 128)},
      {"no sync", std::string(1000, 'a')},
      {"free format", freeFormat},
      {"reserved rate", reserved},
      {"a header and garbage", SilentMp3(1).substr(0, 4) + std::string(2000, '\x55')},
  };
  for (const auto& [name, bytes] : cases) {
    std::unique_ptr<VXMemoryStream> code(Memory(bytes));
    VXMp3Stream mp3(code.get());
    EXPECT_FALSE(mp3.IsOpen()) << name;
  }
}

TEST(PcmStream, CodeDummyReadConsumesExactly) {
  ForwardOnlyStream code(std::string(20000, 'z'));
  VXWaveStream wave(&code);  // not a WAVE file: only its code-stream helpers are used
  ASSERT_TRUE(code.Reset());
  EXPECT_TRUE(wave.CodeDummyRead(10000));
  EXPECT_EQ(code.GetPosition(), 10000);
  EXPECT_TRUE(wave.CodeSeekForward(5));  // behind: rewinds, then reads forward
  EXPECT_EQ(code.GetPosition(), 5);
  EXPECT_FALSE(wave.CodeDummyRead(30000));
}

// A real MP3: 0.3 s of a 440 Hz sine, mono, 22,050 Hz, 32 kbit/s, made with LAME 3.100.
TEST(Mp3Stream, DecodesARealSine) {
  VXResourceStream file(nullptr, "Sine440.mp3", "TESTDATA");
  ASSERT_TRUE(file.IsOpen());
  VXMp3Stream mp3(&file);
  ASSERT_TRUE(mp3.IsOpen());
  EXPECT_EQ(mp3.GetChannels(), 1);
  EXPECT_EQ(mp3.GetRate(), 22050);

  std::vector<std::int16_t> pcm(static_cast<size_t>(mp3.GetDecodeLength()) / 2);
  ASSERT_GE(pcm.size(), 22050u * 3 / 10);  // at least the 0.3 s that went in (the coder adds padding)
  ASSERT_EQ(mp3.Read(pcm.data(), static_cast<int>(pcm.size() * 2)), static_cast<int>(pcm.size() * 2));

  // Rising zero crossings in the middle 0.2 s count the frequency.
  int crossings = 0, peak = 0;
  const size_t from = pcm.size() / 2 - 2205, to = pcm.size() / 2 + 2205;
  for (size_t i = from + 1; i < to; ++i) {
    if (pcm[i - 1] < 0 && pcm[i] >= 0) ++crossings;
    peak = std::max(peak, std::abs(static_cast<int>(pcm[i])));
  }
  EXPECT_NEAR(crossings, 88, 3);  // 440 Hz over 0.2 s
  EXPECT_GT(peak, 8000);
}

namespace {

std::vector<std::int16_t> DecodeAll(VXPcmStream& s) {
  std::vector<std::int16_t> out(static_cast<std::size_t>(s.GetSize()) / 2 + 64);
  const int n = s.Read(out.data(), static_cast<int>(out.size() * 2));
  out.resize(static_cast<std::size_t>(std::max(n, 0)) / 2);
  return out;
}

// The bytes of the ID3v2 tag at the start of `file` (its size field is synchsafe: 7 bits a byte).
std::size_t TagBytes(const std::string& file) {
  const auto b = [&](int i) { return static_cast<std::size_t>(static_cast<unsigned char>(file[i])); };
  return 10 + (b(6) << 21 | b(7) << 14 | b(8) << 7 | b(9));
}

const std::string& FfmpegMp3() {
  static const std::string file = Mp3(Tone(22050, 2, 44100, 440, 8000), 2, 44100);
  return file;
}

}  // namespace

// ffmpeg and most encoders begin an MP3 with an ID3v2 tag, and LAME writes an Info frame with its delay and padding.
TEST(Mp3Stream, FilesThatBeginWithAnId3v2TagOpen) {
  const std::string& file = FfmpegMp3();
  ASSERT_EQ(file.substr(0, 3), "ID3");
  SaveSoundSeed("lame_stereo.mp3", 1, Mp3(Tone(3000, 2, 44100, 440, 8000), 2, 44100));
  std::unique_ptr<VXMemoryStream> code(Memory(file));
  VXMp3Stream mp3(code.get());
  ASSERT_TRUE(mp3.IsOpen()) << VXRefusal();
  EXPECT_EQ(mp3.GetChannels(), 2);
  EXPECT_EQ(mp3.GetSamples(), 22050) << "the Info frame's delay and padding are honoured";
  const std::vector<std::int16_t> pcm = DecodeAll(mp3);
  const std::vector<std::int16_t> tone = Tone(22050, 2, 44100, 440, 8000);
  ASSERT_EQ(pcm.size(), tone.size());
  double error = 0;
  for (std::size_t i = 0; i < pcm.size(); ++i) error += std::abs(pcm[i] - tone[i]);
  EXPECT_LT(error / pcm.size(), 400.0) << "the tone comes back in place";

  const std::string frames = file.substr(TagBytes(file));
  std::string footer = file.substr(0, TagBytes(file));
  footer[5] = static_cast<char>(footer[5] | 0x10);
  footer += "3DI" + footer.substr(3, 7);
  ForwardOnlyStream pipe(file + "TAG" + std::string(125, ' '));
  const std::string mpegFormat = FmtBody(0x55, 2, 44100, 0, 1, std::string(12, '\0'));
  std::unique_ptr<VXMemoryStream> bare(Memory(frames)), twice(Memory(file.substr(0, TagBytes(file)) + file)),
      withFooter(Memory(footer + frames)), inWave(Memory(Riff({{"fmt ", mpegFormat}, {"data", file}})));
  const std::vector<std::pair<const char*, VXPcmStream*>> same = {
      {"no tag", new VXMp3Stream(bare.get())},          {"two tags", new VXMp3Stream(twice.get())},
      {"a tag with a footer", new VXMp3Stream(withFooter.get())}, {"a pipe, ID3v1 at the end", new VXMp3Stream(&pipe)},
      {"inside WAVE", new VXWaveStream(inWave.get())},
  };
  for (const auto& [name, decoder] : same) {
    std::unique_ptr<VXPcmStream> owned(decoder);
    ASSERT_TRUE(decoder->IsOpen()) << name << ": " << VXRefusal();
    EXPECT_EQ(DecodeAll(*decoder), pcm) << name;
  }
}

TEST(Mp3Stream, Id3v2TagsThatDoNotFitAreRefusedWithTheReason) {
  const std::string& file = FfmpegMp3();
  std::string tooLong = file.substr(0, 200);
  tooLong[6] = 0x7F;  // the tag claims about 254 MB
  std::string notSynchsafe = file;
  notSynchsafe[8] = static_cast<char>(0x81);
  const std::string onlyTag = file.substr(0, TagBytes(file)) + std::string(200, '\0');
  const std::vector<std::tuple<const char*, std::string, const char*>> cases = {
      {"size beyond the file", tooLong, "the ID3v2 tag claims more bytes than the file holds"},
      {"size not synchsafe", notSynchsafe, "damaged ID3v2 tag header"},
      {"nothing after the tag", onlyTag, "no MPEG audio frame at the start of the data"},
  };
  for (const auto& [name, bytes, reason] : cases) {
    std::unique_ptr<VXMemoryStream> code(Memory(bytes));
    VXMp3Stream mp3(code.get());
    EXPECT_FALSE(mp3.IsOpen()) << name;
    EXPECT_STREQ(VXRefusal(), reason) << name;
  }
}
