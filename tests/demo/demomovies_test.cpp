// Label: threads
// The demo game's movies: every movie the game plays lies in the "Movie" folder of both game folders (the movie
// player reads files, never packs), opens with the game's movie decoder at the screen's size, lasts as long as its
// piece, shows moving pictures that are not blank and plays its music; and the movie writer gives the same bytes
// on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "demo/demofiles.h"
#include "platform/audio.h"
#include "platform/movie.h"
#include "tools/mpegwriter/mpegwriter.h"

namespace {

namespace fs = std::filesystem;
using namespace platform::movie;

const fs::path kGame = QORM_DEMO_GAME_DIR;
const fs::path kFolderGame = QORM_DEMO_FOLDER_DIR;

struct Expected {
  const char* name;
  int pictures;  // 24 a second, as long as the movie's piece
};

// The opening (title loop and script), the event movies "QM%02d.mpg" and the endings "QMED%d.mpg" of the scripts.
const Expected kMovies[] = {
    {"QMOP.mpg", 216}, {"QM00.mpg", 160}, {"QM01.mpg", 200}, {"QMED1.mpg", 240}, {"QMED2.mpg", 250}};

// The spread of the green bytes of a picture: a flat (blank or black) picture has next to none.
double Spread(const Frame& f) {
  double sum = 0, squares = 0;
  int count = 0;
  for (int y = 0; y < f.height; y += 4)
    for (int x = 0; x < f.width; x += 4) {
      const double v = f.pixels[static_cast<std::size_t>(y) * f.pitch + 4 * x + 1];
      sum += v, squares += v * v, ++count;
    }
  const double mean = sum / count;
  return std::sqrt(squares / count - mean * mean);
}

// How many pixels (of every fourth) changed clearly from one picture to the other.
int Changed(const Frame& a, const Frame& b) {
  int changed = 0;
  for (int y = 0; y < a.height; y += 2)
    for (int x = 0; x < a.width; x += 2) {
      const std::size_t at = static_cast<std::size_t>(y) * a.pitch + 4 * x + 1;
      changed += std::abs(a.pixels[at] - b.pixels[at]) > 20;
    }
  return changed;
}

TEST(DemoMovies, EachMovieIsInBothGameFoldersAlike) {
  for (const Expected& movie : kMovies) {
    SCOPED_TRACE(movie.name);
    const fs::path packed = kGame / "Movie" / movie.name, loose = kFolderGame / "Movie" / movie.name;
    ASSERT_TRUE(fs::is_regular_file(packed));
    ASSERT_TRUE(fs::is_regular_file(loose));
    const std::string bytes = demofiles::Slurp(packed);
    EXPECT_TRUE(bytes == demofiles::Slurp(loose)) << "the two game folders hold different movies";
    EXPECT_LT(bytes.size(), 2'000'000u) << "a demo movie is small";
    EXPECT_EQ(bytes.find("Lavc"), std::string::npos) << "the encoder's version is written: a new FFmpeg changes it";
  }
}

// Every picture decodes at 640 x 480; the movie lasts as long as its piece; the pictures between the fades are not
// blank, and most half seconds show movement.
TEST(DemoMovies, EachMovieOpensAtTheScreenSizeForItsLengthWithMovingPictures) {
  for (const Expected& movie : kMovies) {
    SCOPED_TRACE(movie.name);
    std::string error;
    auto reader = PictureReader::Open((kGame / "Movie" / movie.name).string(), Options{}, &error);
    ASSERT_NE(reader, nullptr) << error;
    EXPECT_EQ(reader->Width(), 640);
    EXPECT_EQ(reader->Height(), 480);
    Frame current, previous;
    int pictures = 0, flat = 0, still = 0, compared = 0;
    for (; reader->Decode(); ++pictures) {
      ASSERT_TRUE(reader->Convert(current));
      // The first and last second may fade through black.
      if (pictures >= 24 && pictures < movie.pictures - 24) {
        if (Spread(current) < 12) ++flat;
        if (pictures % 12 == 0) compared++, still += Changed(current, previous) < 20;
      }
      if (pictures % 12 == 11) previous = current;
    }
    EXPECT_EQ(pictures, movie.pictures);
    EXPECT_EQ(flat, 0) << "blank pictures";
    // A movie may hold its last words a moment, but most of it moves.
    EXPECT_LE(still, compared / 4) << "half seconds without movement";
  }
}

// The music plays: the movie has a sound track, and 0.4 s of it heard from the middle of the movie is loud.
TEST(DemoMovies, EachMovieIsHeard) {
  for (const Expected& movie : kMovies) {
    SCOPED_TRACE(movie.name);
    platform::thread::ManualClock mixClock;
    platform::audio::Mixer mixer(mixClock);
    platform::audio::ManualSink sink(mixer);
    Options options;
    options.mixer = &mixer;
    auto m = Movie::Open((kGame / "Movie" / movie.name).string(), options);
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(m->HasSound());
    const std::int64_t middle = std::int64_t{movie.pictures} * 1'000'000'000 / 24 / 2;
    EXPECT_NEAR(static_cast<double>(m->DurationNs()), 2.0 * middle, 0.2e9);
    ASSERT_TRUE(m->Run(middle));
    int peak = 0;
    for (int block = 0; block < 8; ++block) {
      for (std::int16_t s : sink.Pump(2205)) peak = std::max(peak, std::abs(static_cast<int>(s)));
      mixClock.AdvanceNs(platform::audio::FramesToNs(2205));
    }
    EXPECT_GT(peak, 6000) << "(nearly) silent";
    m.reset();  // the voice goes before the mixer
  }
}

// The writer's bytes depend on the pictures and sound alone: two runs give the same file, and so does a third after
// another movie was written in between.
TEST(MovieWriter, SamePicturesAndSoundGiveTheSameBytes) {
  mpegwriter::Settings settings;
  settings.width = 160, settings.height = 120, settings.fps = 24, settings.videoBitRate = 0, settings.quantiser = 6;
  const auto picture = [](mpegwriter::Planes& p, int n) {
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < p.width; ++x) p.data[0][y * p.pitch[0] + x] = static_cast<std::uint8_t>(16 + (x + 3 * n + y) % 200);
    for (int c = 1; c < 3; ++c)
      for (int y = 0; y < p.height / 2; ++y)
        for (int x = 0; x < p.width / 2; ++x) p.data[c][y * p.pitch[c] + x] = static_cast<std::uint8_t>(128 + (x - y) / 4);
  };
  const auto sound = [](std::int16_t* pcm, int count, std::int64_t first) {
    for (int i = 0; i < count; ++i)
      pcm[2 * i] = pcm[2 * i + 1] = static_cast<std::int16_t>(6000 * std::sin((first + i) * 0.0627));
  };
  const std::string first = mpegwriter::WriteBytes(settings, 30, picture, sound);
  ASSERT_FALSE(first.empty());
  EXPECT_TRUE(mpegwriter::WriteBytes(settings, 30, picture, sound) == first);
  settings.quantiser = 20;
  EXPECT_FALSE(mpegwriter::WriteBytes(settings, 30, picture, sound) == first) << "the quantiser is not used";
  settings.quantiser = 6;
  EXPECT_TRUE(mpegwriter::WriteBytes(settings, 30, picture, sound) == first);
}

// Sizes MPEG cannot hold and empty movies are refused with a reason, and nothing is written.
TEST(MovieWriter, BadSizesAreRefused) {
  const auto picture = [](mpegwriter::Planes&, int) {};
  const auto sound = [](std::int16_t*, int, std::int64_t) {};
  struct Case {
    int width, height, frames;
  };
  for (const Case& c : {Case{0, 48, 10}, Case{63, 48, 10}, Case{64, 47, 10}, Case{64, 48, 0}}) {
    mpegwriter::Settings settings;
    settings.width = c.width, settings.height = c.height;
    std::string error;
    EXPECT_TRUE(mpegwriter::WriteBytes(settings, c.frames, picture, sound, &error).empty()) << c.width << "x" << c.height;
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
