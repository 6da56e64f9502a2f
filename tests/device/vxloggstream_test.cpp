#include "device/vxloggstream.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/vxrefusal.h"
#include "device/sound_fixtures.h"

using namespace fixtures;

namespace {

const std::string& TwoSecondsStereo() {
  static const std::string file = OggVorbis(Tone(44100 * 2, 2, 44100), 2, 44100);
  return file;
}

}  // namespace

TEST(OggStream, OpensDecodesAndSeeks) {
  std::unique_ptr<VXMemoryStream> code(Memory(TwoSecondsStereo()));
  VXOggStream ogg(code.get());
  ASSERT_TRUE(ogg.IsOpen());
  EXPECT_EQ(ogg.GetChannels(), 2);
  EXPECT_EQ(ogg.GetRate(), 44100);
  EXPECT_EQ(ogg.GetBits(), 16);
  EXPECT_EQ(ogg.GetSamples(), 88200);
  EXPECT_EQ(ogg.GetSize(), 88200 * 4);
  EXPECT_TRUE(ogg.IsSeekable());

  // Ten bytes are two and a half frames; the next read goes on inside the frame.
  std::vector<std::uint8_t> a(10), b(10), whole(20);
  EXPECT_EQ(ogg.Read(a.data(), 10), 10);
  EXPECT_EQ(ogg.Read(b.data(), 10), 10);
  ASSERT_TRUE(ogg.Reset());
  EXPECT_EQ(ogg.Read(whole.data(), 20), 20);
  a.insert(a.end(), b.begin(), b.end());
  EXPECT_EQ(a, whole);

  EXPECT_TRUE(ogg.SeekSample(88200));
  EXPECT_TRUE(ogg.IsEnd());
  EXPECT_EQ(ogg.GetPosition(), 88200 * 4);
  EXPECT_FALSE(ogg.SeekSample(88201));
  EXPECT_FALSE(ogg.SeekSample(-1));
  EXPECT_EQ(ogg.Seek(44100 * 4, VXSeekBegin), 44100 * 4);
  std::vector<std::uint8_t> rest(88200 * 4);
  EXPECT_EQ(ogg.Read(rest.data(), static_cast<int>(rest.size())), 44100 * 4);
  EXPECT_TRUE(ogg.IsEnd());
}

TEST(OggStream, FileCutInItsLastPageEnds) {
  const std::string& full = TwoSecondsStereo();
  std::unique_ptr<VXMemoryStream> code(Memory(full.substr(0, full.size() - 100)));
  VXOggStream ogg(code.get());
  ASSERT_TRUE(ogg.IsOpen());
  std::vector<std::uint8_t> out(44100);
  int total = 0;
  for (int i = 0; i < 1000 && !ogg.IsEnd(); ++i) total += ogg.Read(out.data(), static_cast<int>(out.size()));
  EXPECT_TRUE(ogg.IsEnd());
  EXPECT_LE(total, ogg.GetSize());
  EXPECT_LT(total, 88200 * 4);
  EXPECT_EQ(ogg.Read(out.data(), 100), 0);
}

TEST(OggStream, DamagedMiddleEndsInsteadOfSpinning) {
  std::string damaged = TwoSecondsStereo();
  for (std::size_t i = damaged.size() / 2; i < damaged.size() / 2 + 200; ++i) damaged[i] = static_cast<char>(i * 7);
  std::unique_ptr<VXMemoryStream> code(Memory(damaged));
  VXOggStream ogg(code.get());
  ASSERT_TRUE(ogg.IsOpen());
  std::vector<std::uint8_t> out(static_cast<std::size_t>(ogg.GetSize()));
  int total = 0;
  for (int i = 0; i < 100 && !ogg.IsEnd(); ++i) total += ogg.Read(out.data(), 44100 * 4);
  EXPECT_TRUE(ogg.IsEnd());
  EXPECT_LE(total, ogg.GetSize());
}

TEST(OggStream, UnknownLengthAndGarbageAreRefused) {
  ForwardOnlyStream pipe(TwoSecondsStereo());
  VXOggStream fromPipe(&pipe);
  EXPECT_FALSE(fromPipe.IsOpen()) << "a stream that cannot seek has no known length";
  EXPECT_STREQ(VXRefusal(), "Ogg Vorbis of unknown length");
  std::unique_ptr<VXMemoryStream> garbage(Memory(std::string(5000, 'O')));
  EXPECT_FALSE(VXOggStream(garbage.get()).IsOpen());
  EXPECT_STREQ(VXRefusal(), "not an Ogg Vorbis file");
  SaveSoundSeed("mono_8k.ogg", 3, OggVorbis(Tone(2000, 1, 8000), 1, 8000));
  SaveSoundSeed("stereo_22k.ogg", 3, OggVorbis(Tone(1500, 2, 22050), 2, 22050));
  std::unique_ptr<VXMemoryStream> threeChannels(Memory(OggVorbis(Tone(4410, 3, 44100), 3, 44100)));
  EXPECT_FALSE(VXOggStream(threeChannels.get()).IsOpen());
  EXPECT_STREQ(VXRefusal(), "Ogg Vorbis of other than one or two channels");
  EXPECT_FALSE(VXOggStream(nullptr).IsOpen());
}

TEST(OggStream, SeekCallbackFailsWithMinusOne) {
  ForwardOnlyStream pipe("abc");
  EXPECT_EQ(VXOggStream::OggStream_Seek(&pipe, 0, 0), -1);
  std::unique_ptr<VXMemoryStream> memory(Memory("abcdef"));
  struct RefusingStream : VXMemoryStream {
    std::int64_t Seek(std::int64_t, VXSeekWhence) override { return -1; }
  } refusing;
  EXPECT_EQ(VXOggStream::OggStream_Seek(&refusing, 0, 0), -1) << "a refused seek is a failure, not 1";
  EXPECT_EQ(VXOggStream::OggStream_Seek(memory.get(), 2, 0), 0);
  EXPECT_EQ(VXOggStream::OggStream_Tell(memory.get()), 2);
  EXPECT_EQ(VXOggStream::OggStream_Seek(memory.get(), 1, 7), -1);
}
