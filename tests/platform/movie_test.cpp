// Label: threads
#include "platform/movie.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <gtest/gtest.h>

#include "platform/audio.h"
#include "support/moviefile.h"
#include "support/seeds.h"
#include "support/tempdir.h"
#include "support/waitfor.h"

using namespace platform::movie;
using platform::thread::ManualClock;

namespace {

constexpr std::int64_t kFrameNs = 40'000'000;  // 25 pictures a second

// The frame number a picture's top-left pixel stands for, in any layout.
int FrameNumber(const Frame& f, PixelLayout layout) {
  const std::uint8_t* p = f.pixels.data();
  if (layout != PixelLayout::Rgb565) return moviefile::FrameFromGrey(p[1]);
  const int green6 = (p[0] | p[1] << 8) >> 5 & 0x3F;
  return moviefile::FrameFromGrey(green6 * 255 / 63);
}

// Polls until a picture is taken or the movie ends.
Poll WaitTake(Movie& m) {
  Poll p = Poll::Pending;
  WaitFor([&] { return (p = m.TakeFrame()) != Poll::Pending; });
  return p;
}

class MovieTest : public ::testing::Test {
protected:
  void SetUp() override {
    path = (dir.path() / "clip.mpg").string();
    ASSERT_TRUE(moviefile::Write(path));
  }

  std::unique_ptr<Movie> OpenSilent(PixelLayout layout = PixelLayout::Bgrx32) {
    Options o;
    o.layout = layout;
    o.clock = &clock;
    std::string error;
    auto m = Movie::Open(path, o, &error);
    EXPECT_NE(m, nullptr) << error;
    return m;
  }

  TempDir dir;
  std::string path;
  ManualClock clock;
};

TEST_F(MovieTest, EveryPictureInOrderInEachLayoutThenTheEnd) {
  for (PixelLayout layout : {PixelLayout::Bgrx32, PixelLayout::Bgr24, PixelLayout::Rgb565}) {
    SCOPED_TRACE(static_cast<int>(layout));
    auto m = OpenSilent(layout);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Width(), 64);
    EXPECT_EQ(m->Height(), 48);
    EXPECT_FALSE(m->HasSound());
    ASSERT_TRUE(m->Run(0));
    ASSERT_EQ(m->FramesTaken(), 1);
    EXPECT_EQ(FrameNumber(m->Current(), layout), 0);
    EXPECT_GE(m->Current().pitch, 64 * platform::video::BytesPerPixel(layout));
    EXPECT_EQ(m->TakeFrame(), Poll::Pending) << "the next picture is not due before the clock moves";
    for (int n = 1; n < 25; ++n) {
      clock.AdvanceNs(kFrameNs);
      ASSERT_EQ(WaitTake(*m), Poll::Frame) << n;
      EXPECT_EQ(FrameNumber(m->Current(), layout), n);
    }
    clock.AdvanceNs(kFrameNs);
    EXPECT_EQ(WaitTake(*m), Poll::End);
    EXPECT_EQ(m->FramesDropped(), 0);
  }
}

TEST_F(MovieTest, LatePicturesAreDroppedAndRunSeeksForward) {
  auto m = OpenSilent();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->Run(0));
  // Pictures 1 to 4 wait in the queue when the clock jumps to picture 5: the newest due one is taken, the three
  // before it are dropped, and picture 5 follows once it has been decoded.
  ASSERT_TRUE(WaitFor([&] { return m->FramesQueued() == 4; }));
  clock.AdvanceNs(5 * kFrameNs);
  ASSERT_EQ(m->TakeFrame(), Poll::Frame);
  EXPECT_EQ(FrameNumber(m->Current(), PixelLayout::Bgrx32), 4);
  EXPECT_EQ(m->FramesDropped(), 3);
  ASSERT_EQ(WaitTake(*m), Poll::Frame);
  EXPECT_EQ(FrameNumber(m->Current(), PixelLayout::Bgrx32), 5);
  EXPECT_EQ(m->FramesDropped(), 3);
  EXPECT_EQ(m->FramesTaken(), 3);

  // Seeking lands between key frames: the decoder goes back to one and decodes forward to the position.
  for (int target : {17, 3, 0, 24}) {
    SCOPED_TRACE(target);
    ASSERT_TRUE(m->Run(target * kFrameNs + kFrameNs / 2));
    EXPECT_EQ(FrameNumber(m->Current(), PixelLayout::Bgrx32), target);
    EXPECT_EQ(m->PositionNs(), target * kFrameNs + kFrameNs / 2);
  }
  clock.AdvanceNs(kFrameNs);
  EXPECT_EQ(WaitTake(*m), Poll::End);
}

TEST_F(MovieTest, StopFreezesTheClock) {
  auto m = OpenSilent();
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->Run(0));
  clock.AdvanceNs(3 * kFrameNs);
  m->Stop();
  EXPECT_FALSE(m->IsRunning());
  clock.AdvanceNs(10 * kFrameNs);
  EXPECT_EQ(m->PositionNs(), 3 * kFrameNs);
  EXPECT_EQ(m->TakeFrame(), Poll::Pending);
}

TEST_F(MovieTest, TheHeardSoundIsTheClock) {
  ManualClock mixClock;
  platform::audio::Mixer mixer(mixClock);
  platform::audio::ManualSink sink(mixer);
  Options o;
  o.mixer = &mixer;
  o.clock = &clock;  // must not be used while there is sound
  auto m = Movie::Open(path, o);
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->HasSound());
  ASSERT_TRUE(m->Run(0));
  EXPECT_EQ(m->PositionNs(), 0);
  clock.AdvanceNs(10 * kFrameNs);
  EXPECT_EQ(m->PositionNs(), 0);

  // Run placed the sound ahead of the mixer: play 0.2 s of it.
  bool heardTone = false;
  for (int i = 0; i < 4; ++i) {
    for (std::int16_t s : sink.Pump(2205)) heardTone = heardTone || s > 4000;
    mixClock.AdvanceNs(platform::audio::FramesToNs(2205));
  }
  EXPECT_TRUE(heardTone);
  EXPECT_NEAR(static_cast<double>(m->PositionNs()), 200e6, 1e6);
  // Picture 5 is due; the ones before it may come first while it is decoded.
  int n = 0;
  while (n < 5 && WaitTake(*m) == Poll::Frame) n = FrameNumber(m->Current(), PixelLayout::Bgrx32);
  EXPECT_EQ(n, 5);
  m.reset();  // the voice goes before the mixer
}

// The test movie's sound sits far behind its pictures in the file. Sound the decoder reached only after the mixer had
// passed its place was thrown away: the start of a run, from the beginning or after a seek, was silent for a while,
// and its first 23 ms always. Every 5 ms of the first 0.3 s after a run must carry the tone.
TEST_F(MovieTest, NoSoundIsLostAtTheStartOfARunOrAfterASeek) {
  ASSERT_GT(moviefile::SoundLagNs(path), 300'000'000) << "the fixture's sound no longer sits behind its pictures";
  ManualClock mixClock;
  platform::audio::Mixer mixer(mixClock);
  platform::audio::ManualSink sink(mixer);
  Options o;
  o.mixer = &mixer;
  auto m = Movie::Open(path, o);
  ASSERT_NE(m, nullptr);
  ASSERT_TRUE(m->HasSound());
  constexpr std::uint32_t kBlock = 44100 / 200;
  for (std::int64_t start : {std::int64_t{0}, 13 * kFrameNs + 7'000'000, std::int64_t{0}}) {
    ASSERT_TRUE(m->Run(start));
    int silent = 0, firstSilent = -1;
    for (int block = 0; block < 60; ++block) {
      int peak = 0;
      for (std::int16_t s : sink.Pump(kBlock)) peak = std::max(peak, std::abs(static_cast<int>(s)));
      mixClock.AdvanceNs(platform::audio::FramesToNs(kBlock));
      if (peak < 4000 && silent++ == 0) firstSilent = block * 5;
    }
    EXPECT_EQ(silent, 0) << "run from " << start / 1'000'000 << " ms: silent 5 ms blocks, the first at "
                         << firstSilent << " ms";
  }
  m.reset();  // the voice goes before the mixer
}

// Movies whose first group is large: the file's search stamps are decoding stamps, so a seek for the first picture
// found the picture after it, no key frame, and the first group (or, for busy pictures, the first three) was lost.
TEST_F(MovieTest, RunFromTheStartBeginsAtTheFirstPicture) {
  struct Case {
    const char* name;
    int width, height;
    bool busy, scene;
  };
  const Case cases[] = {{"busy", 64, 48, true, false}, {"scene", 160, 120, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    moviefile::Spec spec;
    spec.width = c.width, spec.height = c.height, spec.busy = c.busy, spec.scene = c.scene;
    ASSERT_TRUE(moviefile::Write(path, spec));
    auto m = OpenSilent();
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(m->Run(0));
    EXPECT_EQ(m->Current().timeNs, 0);
    for (int n = 1; n < spec.frames; ++n) {
      clock.AdvanceNs(kFrameNs);
      ASSERT_EQ(WaitTake(*m), Poll::Frame) << n;
      EXPECT_EQ(m->Current().timeNs, n * kFrameNs);
    }
    clock.AdvanceNs(kFrameNs);
    EXPECT_EQ(WaitTake(*m), Poll::End);
    EXPECT_EQ(m->FramesDropped(), 0);
  }
}

// The reader decodes and converts on the caller's thread what a running movie would show, in order.
TEST_F(MovieTest, PictureReaderGivesEveryPictureInOrderAndRewinds) {
  Options o;
  o.layout = PixelLayout::Bgr24;
  auto reader = PictureReader::Open(path, o);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->Width(), 64);
  EXPECT_EQ(reader->Height(), 48);
  Frame f;
  EXPECT_FALSE(reader->Convert(f)) << "nothing decoded yet";
  for (int n = 0; n < 25; ++n) {
    ASSERT_TRUE(reader->Decode()) << n;
    ASSERT_TRUE(reader->Convert(f));
    EXPECT_EQ(FrameNumber(f, PixelLayout::Bgr24), n);
  }
  EXPECT_FALSE(reader->Decode());
  EXPECT_FALSE(reader->Convert(f));
  ASSERT_TRUE(reader->Rewind());
  ASSERT_TRUE(reader->Decode());
  ASSERT_TRUE(reader->Convert(f));
  EXPECT_EQ(FrameNumber(f, PixelLayout::Bgr24), 0);
  EXPECT_EQ(PictureReader::Open((dir.path() / "missing.mpg").string(), o), nullptr);
}

// The converter writes whole blocks of 16 pixels; a picture whose rows are not whole blocks wrote past the frame.
// A frame whose pixels already hold more keeps its block, so what lies past the converted pixels is seen.
TEST_F(MovieTest, NarrowPicturesConvertInsideTheFrame) {
  moviefile::Spec spec;
  spec.width = 24, spec.height = 2, spec.frames = 1, spec.sound = false;
  const std::string narrow = (dir.path() / "narrow.mpg").string();
  ASSERT_TRUE(moviefile::Write(narrow, spec));
  std::ifstream file(narrow, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), {}};
  SaveSeed("movie_fuzz", "mpeg1_narrow_24x2", std::string(1, '\0') + bytes);  // the first byte picks the layout
  constexpr std::size_t kHeld = 4096;
  constexpr std::uint8_t kMark = 0xA5;
  for (PixelLayout layout : {PixelLayout::Bgrx32, PixelLayout::Bgr24, PixelLayout::Rgb565}) {
    SCOPED_TRACE(static_cast<int>(layout));
    Options o;
    o.layout = layout;
    auto reader = PictureReader::Open(narrow, o);
    ASSERT_NE(reader, nullptr);
    ASSERT_TRUE(reader->Decode());
    Frame f;
    f.pixels.assign(kHeld, kMark);
    const std::uint8_t* block = f.pixels.data();
    ASSERT_TRUE(reader->Convert(f));
    ASSERT_EQ(f.pixels.data(), block);
    ASSERT_EQ(f.width, 24);
    ASSERT_GE(f.pitch, 24 * platform::video::BytesPerPixel(layout));
    const std::size_t used = f.pixels.size();
    ASSERT_LT(used, kHeld);
    EXPECT_EQ(std::count(block + used, block + kHeld, kMark), static_cast<std::ptrdiff_t>(kHeld - used));
  }
}

TEST_F(MovieTest, FilesThatAreNoMovieAreRefused) {
  const std::string cases[] = {(dir.path() / "missing.mpg").string(), dir.Write("text.mpg", "not a movie at all"),
                               dir.Write("empty.mpg", "")};
  for (const std::string& p : cases) {
    std::string error;
    EXPECT_EQ(Movie::Open(p, {}, &error), nullptr) << p;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
