// Label: threads
#include "platform/audio.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <span>
#include <thread>

#include "support/waitfor.h"

using namespace platform::audio;
using platform::thread::kWaitTimeout;
using platform::thread::ManualClock;

static int WaitAny(std::span<Event* const> events, std::int64_t timeoutMs) { return Event::WaitAny(events, timeoutMs); }

namespace {

// The manual clock only moves forward; the tests name the time they want.
void SetClock(ManualClock& clock, std::int64_t ns) { clock.AdvanceNs(ns - clock.NowNs()); }

constexpr VoiceFormat kStereo16{2, 44100, 16};
constexpr VoiceFormat kMono16{1, 44100, 16};

std::vector<std::uint8_t> Bytes16(const std::vector<int>& samples) {
  std::vector<std::uint8_t> out;
  for (int s : samples) {
    out.push_back(static_cast<std::uint8_t>(s & 0xFF));
    out.push_back(static_cast<std::uint8_t>((s >> 8) & 0xFF));
  }
  return out;
}

// A ring of `frames` stereo frames whose left and right samples are both the frame's index.
std::vector<std::uint8_t> Ramp16(int frames) {
  std::vector<std::uint8_t> out;
  for (int i = 0; i < frames; ++i) {
    for (int side = 0; side < 2; ++side) {
      out.push_back(static_cast<std::uint8_t>(i & 0xFF));
      out.push_back(static_cast<std::uint8_t>(i >> 8));
    }
  }
  return out;
}

class AudioTest : public ::testing::Test {
protected:
  std::unique_ptr<Voice> MakeVoice(const VoiceFormat& format, const std::vector<std::uint8_t>& bytes) {
    std::unique_ptr<Voice> v = mixer.CreateVoice(format, static_cast<std::uint32_t>(bytes.size()));
    EXPECT_NE(v, nullptr);
    if (v) {
      EXPECT_TRUE(v->Write(0, bytes));
    }
    return v;
  }

  ManualClock clock;
  Mixer mixer{clock};
  ManualSink sink{mixer};
};

// ---- mixing ----

struct MixCase {
  const char* name;
  VoiceFormat format;
  std::vector<std::uint8_t> ring;
  std::int32_t volume;
  std::int32_t pan;
  std::vector<std::int16_t> expected;  // left, right, ... for 5 frames (one-shot: silence after the end)
};

TEST_F(AudioTest, MixesEachFormatWithVolumeAndPan) {
  const std::vector<MixCase> cases = {
      {"16-bit stereo copies", kStereo16, Bytes16({100, -200, 32767, -32768, 5, 6, -1, 1}), 0, 0,
       {100, -200, 32767, -32768, 5, 6, -1, 1, 0, 0}},
      {"-10000 is silence", kStereo16, Bytes16({100, -200, 32767, -32768, 5, 6, -1, 1}), -10000, 0,
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"mono to both sides", kMono16, Bytes16({1000, -1000, 7, 0}), 0, 0, {1000, 1000, -1000, -1000, 7, 7, 0, 0, 0, 0}},
      {"8-bit unsigned mono", {1, 44100, 8}, {0x80, 0xFF, 0x00, 0x90}, 0, 0,
       {0, 0, 32512, 32512, -32768, -32768, 4096, 4096, 0, 0}},
      {"8-bit unsigned stereo", {2, 44100, 8}, {0x81, 0x7F, 0x80, 0x80, 0xC0, 0x40, 0x00, 0xFF}, 0, 0,
       {256, -256, 0, 0, 16384, -16384, -32768, 32512, 0, 0}},
      {"-20 dB", kMono16, Bytes16({10000, -10000, 0, 0}), -2000, 0, {1000, 1000, -1001, -1001, 0, 0, 0, 0, 0, 0}},
      {"pan full left", kMono16, Bytes16({10000, 10000, 0, 0}), 0, -10000, {10000, 0, 10000, 0, 0, 0, 0, 0, 0, 0}},
      {"pan full right", kMono16, Bytes16({10000, 10000, 0, 0}), 0, 10000, {0, 10000, 0, 10000, 0, 0, 0, 0, 0, 0}},
      {"pan right 20 dB lowers the left", kMono16, Bytes16({10000, 0, 0, 0}), 0, 2000,
       {1000, 10000, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"volume and pan add", kMono16, Bytes16({10000, 0, 0, 0}), -2000, -8000, {1000, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const MixCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto v = MakeVoice(c.format, c.ring);
    ASSERT_TRUE(v->SetVolume(c.volume));
    ASSERT_TRUE(v->SetPan(c.pan));
    v->Play(false);
    EXPECT_EQ(sink.Pump(5), c.expected);
  }
}

TEST_F(AudioTest, SaturatesWhenLoudVoicesAdd) {
  auto a = MakeVoice(kStereo16, Bytes16({30000, -30000, 20000, -20000}));
  auto b = MakeVoice(kStereo16, Bytes16({30000, -30000, 12767, -12768}));
  a->Play(false);
  b->Play(false);
  EXPECT_EQ(sink.Pump(2), (std::vector<std::int16_t>{32767, -32768, 32767, -32768}));
}

TEST(AudioGain, HundredthsOfADecibel) {
  const std::array<std::pair<std::int32_t, std::int32_t>, 6> table = {
      {{0, 65536}, {-2000, 6554}, {-600, 32846}, {-9999, 1}, {-10000, 0}, {-20000, 0}}};
  for (auto [hundredths, gain] : table) {
    EXPECT_EQ(GainFromHundredthsDb(hundredths), gain) << hundredths;
  }
}

// ---- resampling ----

TEST_F(AudioTest, ResamplesLinearly) {
  struct Case {
    const char* name;
    std::uint32_t rate;
    std::uint32_t frequency;  // set after creation; 0 keeps the format's rate
    bool loop;
    std::vector<std::uint8_t> ring;
    std::vector<std::int16_t> expectedLeft;
  };
  const std::vector<Case> cases = {
      {"half rate", 22050, 0, false, Bytes16({0, 0, 1000, 1000, 2000, 2000, 4000, 4000}),
       {0, 500, 1000, 1500, 2000, 3000, 4000, 4000, 0, 0}},
      {"half rate by frequency", 44100, 22050, false, Bytes16({0, 0, 1000, 1000, 2000, 2000, 4000, 4000}),
       {0, 500, 1000, 1500, 2000, 3000, 4000, 4000, 0, 0}},
      {"double rate", 88200, 0, false, Bytes16({0, 0, 100, 100, 200, 200, 300, 300, 400, 400, 500, 500}),
       {0, 200, 400, 0, 0, 0, 0, 0, 0, 0}},
      {"half rate looping wraps to the first frame", 22050, 0, true, Bytes16({0, 0, 1000, 1000}),
       {0, 500, 1000, 500, 0, 500, 1000, 500, 0, 500}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto v = MakeVoice({2, c.rate, 16}, c.ring);
    ASSERT_TRUE(v->SetFrequency(c.frequency));
    v->Play(c.loop);
    const std::vector<std::int16_t>& out = sink.Pump(10);
    std::vector<std::int16_t> left;
    for (size_t i = 0; i < out.size(); i += 2) {
      left.push_back(out[i]);
      EXPECT_EQ(out[i], out[i + 1]);
    }
    EXPECT_EQ(left, c.expectedLeft);
  }
}

// ---- notifications ----

class NotifyTest : public AudioTest {
protected:
  // A 1000-frame stereo ring with positions at its four quarters and the stop position.
  void SetUp() override {
    voice = mixer.CreateVoice(kStereo16, 4000);
    ASSERT_NE(voice, nullptr);
    ASSERT_TRUE(voice->SetNotifications({{kStopPosition, &events[0]},
                                         {0, &events[1]},
                                         {1000, &events[2]},
                                         {2000, &events[3]},
                                         {3000, &events[4]}}));
  }

  // Which events are signalled, as a string of 0/1 by index; takes them.
  std::string Fired() {
    std::string s;
    for (Event& e : events) {
      s += e.IsSet() ? '1' : '0';
      e.Reset();
    }
    return s;
  }

  std::array<Event, 5> events;
  std::unique_ptr<Voice> voice;
};

TEST_F(NotifyTest, FiresEveryPositionPassedOncePerPassIncludingWrap) {
  voice->Play(true);
  const std::vector<std::pair<std::uint32_t, std::string>> steps = {
      {300, "01100"},  // position 0 on the first mix, then 1000 (frame 250)
      {100, "00000"},  // frames 300-400: nothing
      {200, "00010"},  // 400-600 passes 2000
      {300, "00001"},  // 600-900 passes 3000
      {400, "01100"},  // 900-1300 wraps: 0 and 1000 again
      {2500, "01111"},  // more than a whole pass: each position once
  };
  for (auto& [frames, expected] : steps) {
    sink.Pump(frames);
    EXPECT_EQ(Fired(), expected) << frames;
  }
}

TEST_F(NotifyTest, PositionZeroOnFirstMixEvenWithoutAdvancingAFrame) {
  ASSERT_TRUE(voice->SetFrequency(100));  // 100 source frames a second: one output frame moves 1/441 of a frame
  voice->Play(true);
  sink.Pump(1);
  EXPECT_EQ(Fired(), "01000");
  for (int i = 0; i < 400; ++i) sink.Pump(1);  // still inside frame 0: no second signal
  EXPECT_EQ(Fired(), "00000");
  // Play from another position after a stop: that position is the first entered.
  voice->Stop();
  EXPECT_TRUE(voice->SetCurrentPosition(2000));
  Fired();
  voice->Play(true);
  sink.Pump(1);
  EXPECT_EQ(Fired(), "00010");
}

TEST_F(NotifyTest, StopFiresAtTheNaturalEndAndOnStop) {
  const std::uint64_t first = voice->Play(false);
  sink.Pump(900);
  EXPECT_TRUE(voice->IsPlaying());
  EXPECT_FALSE(voice->TakeStop().has_value());
  Fired();
  sink.Pump(200);  // runs off the end at frame 1000
  EXPECT_EQ(Fired(), "10000");
  EXPECT_FALSE(voice->IsPlaying());
  std::optional<StopNote> note = voice->TakeStop();
  ASSERT_TRUE(note.has_value());
  EXPECT_EQ(note->generation, first);
  EXPECT_TRUE(note->ended);
  EXPECT_FALSE(voice->TakeStop().has_value());  // taken once

  const std::uint64_t second = voice->Play(true);
  sink.Pump(100);
  Fired();
  voice->Stop();
  EXPECT_EQ(Fired(), "10000");
  note = voice->TakeStop();
  ASSERT_TRUE(note.has_value());
  EXPECT_EQ(note->generation, second);
  EXPECT_FALSE(note->ended);

  voice->Stop();  // already stopped: no second stop
  EXPECT_EQ(Fired(), "00000");
  EXPECT_FALSE(voice->TakeStop().has_value());
}

TEST_F(NotifyTest, StopNoteOfAnEarlierPlayIsToldApartFromTheCurrentOne) {
  // Stop then Play before the notification thread looks: the stop it finds belongs to the play before.
  const std::uint64_t first = voice->Play(false);
  sink.Pump(10);
  voice->Stop();
  const std::uint64_t second = voice->Play(false);
  EXPECT_NE(first, second);
  EXPECT_EQ(voice->Generation(), second);
  std::optional<StopNote> note = voice->TakeStop();
  ASSERT_TRUE(note.has_value());
  EXPECT_EQ(note->generation, first);

  // A natural end racing a restart: the end is the old play's, not the new one's.
  sink.Pump(1000);
  ASSERT_FALSE(voice->IsPlaying());
  const std::uint64_t third = voice->Play(false);
  note = voice->TakeStop();
  ASSERT_TRUE(note.has_value());
  EXPECT_TRUE(note->ended);
  EXPECT_EQ(note->generation, second);
  EXPECT_NE(note->generation, third);

  // Play on a playing voice changes only the looping flag.
  EXPECT_EQ(voice->Play(true), third);
  EXPECT_TRUE(voice->IsLooping());
}

// ---- heard position ----

TEST_F(AudioTest, HeardPositionFollowsTheClockBehindTheDeviceLatency) {
  sink.SetLatencyFrames(1024);
  auto v = MakeVoice(kStereo16, Ramp16(44100));
  v->Play(true);
  EXPECT_EQ(v->GetCursors().play, 0u);

  // A device pulls 512 frames every 512 frames of time; what it holds before each pull is 1024 frames.
  std::int64_t clockFrames = 0;
  auto runTo = [&](std::int64_t frames) {
    for (; clockFrames <= frames; clockFrames += 512) {
      SetClock(clock, clockFrames * 1000000000 / 44100);
      sink.Pump(512);
    }
    SetClock(clock, frames * 1000000000 / 44100);
  };
  const std::vector<std::pair<std::int64_t, std::int64_t>> table = {
      // clock (output frames) -> heard frame
      {0, 0}, {1000, 0}, {1024, 0}, {1300, 276}, {2048, 1024}, {2100, 1076}, {5000, 3976}, {44100 + 1024 + 7, 7}};
  for (auto [time, heard] : table) {
    runTo(time);
    const Cursors c = v->GetCursors();
    EXPECT_NEAR(c.play / 4.0, static_cast<double>(heard), 1.0) << time;
  }

  // No more pulls (the device stalled): the heard position stops at what was mixed.
  const std::uint32_t mixed = v->GetCursors().write;
  clock.AdvanceNs(1000000000);
  EXPECT_EQ(v->GetCursors().play, mixed);

  // Stop keeps the heard position; Play carries on from there.
  v->Stop();
  const std::uint32_t stoppedAt = v->GetCursors().play;
  EXPECT_EQ(stoppedAt, mixed);
  EXPECT_EQ(v->GetCursors().write, stoppedAt);
  v->Play(true);
  EXPECT_EQ(sink.Pump(1)[0], static_cast<std::int16_t>(stoppedAt / 4));
}

TEST_F(AudioTest, HeardPositionStaysSmoothWhenTheDevicePullsUnevenly) {
  // The device pulls 512 frames on average every 512 frames of time, but early, late or two at once. Read every
  // millisecond, the heard position never goes back, never jumps by more than 2 ms beyond the millisecond that
  // passed, and stays within a few milliseconds of what is truly heard.
  sink.SetLatencyFrames(1024);
  auto v = MakeVoice(kStereo16, Ramp16(44100));
  v->Play(true);
  const std::int64_t pullNanos = 512LL * 1000000000 / 44100;
  const std::int64_t jitter[] = {0, 3000000, -3000000, 2000000, -pullNanos + 100000, 0, 1500000, -2500000};
  std::int64_t nextPull = 0;
  int pulls = 0;
  double last = 0;
  double largestStep = 0;
  double largestError = 0;
  for (std::int64_t now = 0; now < 2000000000; now += 1000000) {
    SetClock(clock, now);
    while (nextPull + jitter[pulls % 8] <= now) {
      sink.Pump(512);
      ++pulls;
      nextPull += pullNanos;
    }
    const double heard = v->GetCursors().play / 4.0;
    const double truth = static_cast<double>(now) * 44100 / 1e9 - 1024;
    if (truth < 0 || heard < last) {  // before the start, and across the ring's wrap
      last = heard;
      continue;
    }
    largestStep = std::max(largestStep, heard - last);
    const double off = std::abs(std::fmod(heard - truth + 44100 * 100, 44100));  // the ring wraps once a second
    largestError = std::max(largestError, std::min(off, 44100 - off));
    last = heard;
  }
  EXPECT_LE(largestStep, 44.1 * 3);
  EXPECT_LE(largestError, 44.1 * 4);
}

TEST_F(AudioTest, HeardPositionOfAOneShotVoiceReachesItsEnd) {
  sink.SetLatencyFrames(256);
  auto v = MakeVoice({2, 22050, 16}, Ramp16(300));  // 600 output frames long
  v->Play(false);
  sink.Pump(512);  // source frames 0-256
  SetClock(clock, 356 * 1000000000LL / 44100);
  EXPECT_NEAR(v->GetCursors().play / 4.0, 50.0, 1.0);
  SetClock(clock, 512 * 1000000000LL / 44100);
  sink.Pump(512);  // ends after 88 more output frames
  EXPECT_FALSE(v->IsPlaying());
  SetClock(clock, (512 + 256 + 40) * 1000000000LL / 44100);
  EXPECT_NEAR(v->GetCursors().play / 4.0, 276.0, 1.0);  // the tail is still on its way out
  SetClock(clock, 1000 * 1000000000LL / 44100);
  EXPECT_EQ(v->GetCursors().play, 0u);  // heard to the end: the cursor is back at the start
  EXPECT_EQ(v->GetCursors().write, 0u);
}

// ---- ring, format and control checks ----

TEST_F(AudioTest, LockGivesTwoSpansWhenTheRegionWraps) {
  auto v = mixer.CreateVoice(kStereo16, 16);
  std::optional<RingRegion> r = v->Lock(12, 8);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->first.size(), 4u);
  EXPECT_EQ(r->second.size(), 4u);
  EXPECT_EQ(r->second.data() + 12, r->first.data());
  r = v->Lock(0, 16);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->first.size(), 16u);
  EXPECT_TRUE(r->second.empty());
  EXPECT_FALSE(v->Lock(16, 1).has_value());
  EXPECT_FALSE(v->Lock(0, 17).has_value());
  EXPECT_FALSE(v->Lock(0, 0).has_value());

  ASSERT_TRUE(v->Write(12, Bytes16({1, 2, 3, 4})));
  v->Play(false);
  EXPECT_EQ(sink.Pump(4), (std::vector<std::int16_t>{3, 4, 0, 0, 0, 0, 1, 2}));
}

// A streaming owner writes the ring on its own thread while the sink's thread mixes it: every byte the mix reads is
// either the old or the new one, never a torn sample, and the writes are ordered with the mix (ThreadSanitizer
// checks the ordering). Each write fills the whole ring with one level, so the mix only ever hears those levels.
TEST_F(AudioTest, WritesFromAnotherThreadReachTheMixWhole) {
  constexpr int kFrames = 4096;
  auto v = MakeVoice(kMono16, Bytes16(std::vector<int>(kFrames, 1000)));
  v->Play(true);
  std::atomic<bool> done = false;
  std::thread writer([&] {
    for (int round = 0; round < 200; ++round) {
      const std::vector<std::uint8_t> level = Bytes16(std::vector<int>(kFrames, round % 2 == 0 ? -1000 : 1000));
      v->Write(0, level);
    }
    done = true;
  });
  bool torn = false;
  int pumps = 0;
  while (!done || pumps < 10) {
    for (std::int16_t s : sink.Pump(256)) torn = torn || (s != 1000 && s != -1000);
    ++pumps;
  }
  writer.join();
  EXPECT_FALSE(torn);
}

TEST_F(AudioTest, RefusesBadFormatsAndSettings) {
  const std::vector<std::pair<VoiceFormat, std::uint32_t>> bad = {
      {{0, 44100, 16}, 64},   {{3, 44100, 16}, 64},      {{2, 44100, 0}, 64},  {{2, 44100, 12}, 64},
      {{2, 44100, 24}, 64},   {{2, 99, 16}, 64},         {{2, 200001, 16}, 64}, {{2, 44100, 16}, 0},
      {{2, 44100, 16}, 3},    {{2, 44100, 16}, kMaxVoiceBytes + 1},
  };
  for (auto& [format, length] : bad) {
    EXPECT_EQ(mixer.CreateVoice(format, length), nullptr) << format.channels << " " << format.bitsPerSample;
  }
  EXPECT_NE(mixer.CreateVoice({1, 100, 8}, 1), nullptr);
  EXPECT_NE(mixer.CreateVoice({2, 200000, 16}, 4), nullptr);

  auto v = mixer.CreateVoice({1, 22050, 8}, 100);
  EXPECT_FALSE(v->SetVolume(1));
  EXPECT_FALSE(v->SetVolume(-10001));
  EXPECT_FALSE(v->SetPan(10001));
  EXPECT_FALSE(v->SetPan(-10001));
  EXPECT_FALSE(v->SetFrequency(99));
  EXPECT_FALSE(v->SetFrequency(200001));
  EXPECT_EQ(v->GetVolume(), 0);
  EXPECT_EQ(v->GetPan(), 0);
  EXPECT_EQ(v->GetFrequency(), 22050u);
  EXPECT_TRUE(v->SetFrequency(30000));
  EXPECT_EQ(v->GetFrequency(), 30000u);
  EXPECT_TRUE(v->SetFrequency(0));
  EXPECT_EQ(v->GetFrequency(), 22050u);
  EXPECT_FALSE(v->SetCurrentPosition(100));
  Event e;
  EXPECT_FALSE(v->SetNotifications({{100, &e}}));
  EXPECT_FALSE(v->SetNotifications({{0, nullptr}}));
  EXPECT_TRUE(v->SetNotifications({{99, &e}, {kStopPosition, &e}}));
}

TEST_F(AudioTest, DestroyedVoiceLeavesTheMix) {
  auto v = MakeVoice(kMono16, Bytes16({1000, 1000}));
  v->Play(true);
  EXPECT_EQ(sink.Pump(1)[0], 1000);
  v.reset();
  EXPECT_EQ(sink.Pump(1)[0], 0);
}

// ---- events ----

TEST(AudioEvent, WaitAnyTakesTheLowestSignalledFirst) {
  std::array<Event, 3> e;
  std::array<Event*, 3> list = {&e[0], &e[1], &e[2]};
  e[2].Set();
  e[1].Set();
  EXPECT_EQ(WaitAny(list, 0), 1);
  EXPECT_EQ(WaitAny(list, 0), 2);
  EXPECT_EQ(WaitAny(list, 10), kWaitTimeout);  // auto-reset: each signal is taken once
  e[0].Set();
  e[0].Reset();
  EXPECT_EQ(WaitAny(list, 0), kWaitTimeout);
  EXPECT_EQ(WaitAny({}, 0), kWaitTimeout);
}

TEST(AudioEvent, WakesAWaiterOnAnotherThread) {
  Event a, b;
  std::array<Event*, 2> list = {&a, &b};
  int got = -2;
  std::thread waiter([&] { got = WaitAny(list, 5000); });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  b.Set();
  waiter.join();
  EXPECT_EQ(got, 1);
  EXPECT_FALSE(b.IsSet());
  EXPECT_FALSE(a.WaitMs(1));
}

// ---- SDL backend ----

class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(AudioSdl, PlaysThroughTheCallbackWithoutASoundCard) {
  ScopedEnv driver("SDL_AUDIODRIVER", "dummy");
  Mixer mixer;
  auto v = mixer.CreateVoice(kStereo16, 44100 * 4);
  v->Play(true);
  std::string error;
  std::unique_ptr<SdlSink> sink = SdlSink::Open(mixer, &error);
  ASSERT_NE(sink, nullptr) << error;
  EXPECT_GT(sink->LatencyFrames(), 0u);
  EXPECT_TRUE(WaitFor([&] { return v->GetCursors().write > 0; }));

  // Voices come and go while the callback mixes.
  for (int i = 0; i < 200; ++i) {
    auto extra = mixer.CreateVoice({1, 8000 + 100u * i, 8}, 64);
    extra->Play(true);
    extra->SetVolume(-100);
    (void)extra->GetCursors();
    if (i % 20 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  sink.reset();
}

TEST(AudioSdl, ReportsAMissingDevice) {
  ScopedEnv driver("SDL_AUDIODRIVER", "no-such-driver");
  Mixer mixer;
  std::string error;
  EXPECT_EQ(SdlSink::Open(mixer, &error), nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
