// Label: threads
#include "device/zodsound.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>

#include "core/vxrefusal.h"
#include "device/sound_fixtures.h"
#include "device/vxladpstream.h"
#include "device/vxloggstream.h"
#include "device/vxlwavestream.h"
#include "support/waitfor.h"

using namespace DirectX;
using namespace fixtures;
using platform::audio::FramesToNs;
using platform::audio::kStopPosition;

namespace {

class SoundTest : public ::testing::Test {
protected:
  void SetUp() override {
    device.SetManualOutput(true);
    device.SetEnabled(true);
    ASSERT_TRUE(device.GetEnabled());
  }

  // Mixes `frames` of output, lets the time they take pass, and waits until the notification thread of `b` has
  // served what that fired.
  const std::vector<std::int16_t>& Pump(std::uint32_t frames, TCustomDSoundBuffer* b = nullptr) {
    const std::vector<std::int16_t>& out = device.GetManualSink()->Pump(frames);
    clock.AdvanceNs(FramesToNs(frames));
    if (b != nullptr) Settle(b);
    return out;
  }

  static void Settle(TCustomDSoundBuffer* b) {
    TDSoundThread* t = b->GetNotifyThread();
    if (t == nullptr) return;
    int quiet = 0;
    for (int i = 0; i < 2000 && quiet < 3; ++i) {
      quiet = t->IsIdle() ? quiet + 1 : 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // Waits (in real time) for a condition set by a notification thread.
  static bool WaitFor(const std::atomic<int>& value, int expected) {
    for (int i = 0; i < 2000 && value < expected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return value >= expected;
  }

  platform::thread::ManualClock clock;
  TDSound device{nullptr, clock};
};

// A decoder that announces whatever a test wants.
class FakePcm : public VXPcmStream {
public:
  FakePcm(int size, int channels, int rate, int bits) : VXPcmStream(nullptr), size_(size) {
    open_ = true;
    channels_ = channels;
    rate_ = rate;
    bits_ = bits;
  }
  int GetDecodeLength() override { return size_; }
  int GetDecodePoint() override { return 0; }
  int Decode(void* buffer, int count) override {
    std::memset(buffer, 0, static_cast<std::size_t>(count));
    return count;
  }
  bool Rewind() override { return true; }
  bool SeekSample(int) override { return false; }

private:
  int size_;
};

}  // namespace

TEST_F(SoundTest, DeviceFormatKeepsOnlyValidValues) {
  device.SetBitsPerSample(24);
  device.SetChannels(3);
  device.SetSamplesPerSec(0);
  EXPECT_EQ(device.GetBitsPerSample(), 16);
  EXPECT_EQ(device.GetChannels(), 2);
  EXPECT_EQ(device.GetSamplesPerSec(), 44100u);
  device.SetUse3D(true);
  EXPECT_FALSE(device.GetUse3D()) << "only while closed";
  EXPECT_TRUE(device.IsPlay());
}

TEST_F(SoundTest, MuteBufferIsSilentInBothWidths) {
  for (std::uint16_t bits : {16, 8}) {
    device.SetBitsPerSample(bits);
    TDSoundBuffer* mute = device.CreateBufferMute(1);
    ASSERT_NE(mute, nullptr);
    EXPECT_EQ(mute->GetLength(), 44100u * 2 * bits / 8);
    ASSERT_TRUE(mute->Play(false));
    for (std::int16_t v : Pump(4410)) ASSERT_EQ(v, 0) << bits;
    delete mute;
  }
}

TEST_F(SoundTest, DisablingDeletesEveryBufferAndStream) {
  std::unique_ptr<VXMemoryStream> wave(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(8000, 1, 8000)))));
  ASSERT_NE(device.CreateBufferFromWave(wave.get(), false, false, false), nullptr);
  ASSERT_NE(device.CreateStreamFromWave(wave.get(), false, false), nullptr);
  ASSERT_NE(device.CreateBuffer(1000), nullptr);
  EXPECT_EQ(device.GetBufferCount(), 3);
  device.SetEnabled(false);
  EXPECT_EQ(device.GetBufferCount(), 0);
  EXPECT_EQ(device.CreateBuffer(1000), nullptr);
}

// A game loads sounds on its logic thread while its frames delete the music that faded out: buffers come and go on
// two threads at once, and the device's lists of them (its buffers, its components) stay whole.
TEST_F(SoundTest, BuffersComeAndGoOnTwoThreadsAtOnce) {
  constexpr int kRounds = 300;
  std::atomic<int> strays{0};
  auto churn = [&] {
    for (int i = 0; i < kRounds; ++i) {
      TDSoundBuffer* b = device.CreateBuffer(1000);
      if (b == nullptr || b->GetOwner() != &device) ++strays;
      delete b;
    }
  };
  TDSoundBuffer* kept = device.CreateBuffer(1000);
  std::thread other(churn);
  churn();
  other.join();
  EXPECT_EQ(strays.load(), 0);
  EXPECT_EQ(device.GetBufferCount(), 1);
  ASSERT_EQ(device.GetComponentCount(), 1);
  EXPECT_EQ(device.GetComponent(0), kept);
  device.SetEnabled(false);
  EXPECT_EQ(device.GetComponentCount(), 0);
}

TEST_F(SoundTest, FactoriesRefuseEmptyAndUncheckedDecoders) {
  std::unique_ptr<VXMemoryStream> empty(Memory(""));
  std::unique_ptr<VXMemoryStream> junk(Memory(std::string(3000, 'j')));
  for (VXStream* s : {static_cast<VXStream*>(empty.get()), static_cast<VXStream*>(junk.get())}) {
    EXPECT_EQ(device.CreateBufferFromWave(s, false, false, false), nullptr);
    EXPECT_EQ(device.CreateBufferFromMp3(s, false, false, false), nullptr);
    EXPECT_EQ(device.CreateBufferFromAdp(s, false, false, false), nullptr);
    EXPECT_EQ(device.CreateBufferFromOgg(s, false, false, false), nullptr);
    EXPECT_EQ(device.CreateStreamFromOgg(s, false, false), nullptr);
  }
  const std::vector<std::pair<const char*, FakePcm>> cases = {
      {"negative size", FakePcm(-4, 2, 44100, 16)},
      {"beyond a buffer", FakePcm(0x7FFFFFFF, 2, 44100, 16)},
      {"no channels", FakePcm(1000, 0, 44100, 16)},
      {"no bits", FakePcm(1000, 2, 44100, 0)},
      {"odd bits", FakePcm(1000, 2, 44100, 12)},
      {"less than a frame", FakePcm(3, 2, 44100, 16)},
  };
  for (auto [name, pcm] : cases) EXPECT_EQ(device.CreateBufferFromPcmStream(&pcm, false, false, false), nullptr) << name;
  FakePcm good(1000, 2, 44100, 16);
  EXPECT_NE(device.CreateBufferFromPcmStream(&good, false, false, false), nullptr);
  EXPECT_EQ(device.GetBufferCount(), 1);
}

TEST_F(SoundTest, WriteBufferNeverWritesPastTheEnd) {
  TDSoundBuffer* b = device.CreateBuffer(1, 44100, 16, 8, false, false, false);
  ASSERT_NE(b, nullptr);
  const std::string first = Bytes16({100, 200, 300, 400});
  ASSERT_TRUE(b->WriteBuffer(0, reinterpret_cast<const std::uint8_t*>(first.data()), 8));
  const std::string more = Bytes16({-1, -2, -3, -4});
  EXPECT_TRUE(b->WriteBuffer(6, reinterpret_cast<const std::uint8_t*>(more.data()), 8));
  EXPECT_FALSE(b->WriteBuffer(8, reinterpret_cast<const std::uint8_t*>(more.data()), 2));
  ASSERT_TRUE(b->Play(false));
  const std::vector<std::int16_t>& out = Pump(4);
  EXPECT_EQ(out, (std::vector<std::int16_t>{100, 100, 200, 200, 300, 300, -1, -1}));
  EXPECT_FALSE(b->SetPan(100)) << "made without pan control";
  EXPECT_EQ(b->GetPan(), 0);
}

TEST_F(SoundTest, NotificationPositions) {
  TDSoundBuffer b(&device);
  b.SetOnNotify([](Classes::TComponent*) {});
  b.SetStaticFlag(true);
  ASSERT_TRUE(b.Create(2, 44100, 16, 1000, false, false));
  EXPECT_EQ(b.GetNotificationOffsets(), (std::vector<std::uint32_t>{kStopPosition}));
  std::unique_ptr<VXMemoryStream> wave(Memory(PcmWave(2, 44100, 16, Bytes16(Tone(100, 2, 44100)))));
  TDSoundStream* s = device.CreateStreamFromWave(wave.get(), false, false);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->GetLength(), 705600u);
  EXPECT_EQ(s->GetNotificationOffsets(), (std::vector<std::uint32_t>{kStopPosition, 0, 176400, 352800, 529200}));
}

TEST_F(SoundTest, StaticBufferTellsOfItsEndButNotOfAStop) {
  std::atomic<int> ended{0};
  TDSoundBuffer* b = new TDSoundBuffer(&device);
  b->SetOnNotify([&](Classes::TComponent*) { ++ended; });
  ASSERT_TRUE(b->Create(1, 44100, 16, 4410 * 2, false, false));
  // A stop by call, then at once a new play, many times: the stops are never taken for an end.
  for (int i = 0; i < 30; ++i) {
    ASSERT_TRUE(b->Play(false));
    Pump(10);
    ASSERT_TRUE(b->Stop());
  }
  ASSERT_TRUE(b->Play(false));
  Pump(100, b);
  EXPECT_EQ(ended, 0);
  Pump(4410, b);
  EXPECT_TRUE(WaitFor(ended, 1));
  EXPECT_FALSE(b->IsPlay());
  Pump(4410, b);
  EXPECT_EQ(ended, 1);
}

TEST_F(SoundTest, HandlerMayDeleteItsOwnBuffer) {
  std::atomic<int> done{0};
  TDSoundBuffer* b = new TDSoundBuffer(&device);
  b->SetOnNotify([&](Classes::TComponent* sender) {
    delete static_cast<TDSoundBuffer*>(sender);
    ++done;
  });
  ASSERT_TRUE(b->Create(1, 44100, 16, 200, false, false));
  ASSERT_TRUE(b->Play(false));
  device.GetManualSink()->Pump(200);
  EXPECT_TRUE(WaitFor(done, 1));
  EXPECT_EQ(device.GetBufferCount(), 0);
}

TEST_F(SoundTest, StreamedShortSoundStopsItselfOnce) {
  // Half a second at 8 kHz mono: a quarter of the ring is one second.
  std::unique_ptr<VXMemoryStream> wave(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(4000, 1, 8000)))));
  TDSoundStream* s = device.CreateStreamFromWave(wave.get(), false, false);
  ASSERT_NE(s, nullptr);
  std::atomic<int> ended{0};
  s->SetOnNotify([&](Classes::TComponent*) { ++ended; });
  ASSERT_TRUE(s->Play(false));
  for (int i = 0; i < 9 && s->IsPlay(); ++i) Pump(4410, s);
  EXPECT_TRUE(s->IsPlay()) << "plays to the end of its first quarter";
  for (int i = 0; i < 4 && s->IsPlay(); ++i) Pump(4410, s);
  EXPECT_FALSE(s->IsPlay());
  EXPECT_TRUE(WaitFor(ended, 1));
  Pump(44100, s);
  EXPECT_EQ(ended, 1);
  // A stop by call never tells.
  ASSERT_TRUE(s->Play(false));
  Pump(4410, s);
  ASSERT_TRUE(s->Stop());
  Pump(4410, s);
  EXPECT_EQ(ended, 1);
}

TEST_F(SoundTest, StreamedLoopShorterThanAQuarterReportsPositionsInsideTheLoop) {
  // 2000 frames (4000 bytes), looping from byte 1000: the loop is 3000 bytes, five passes in one quarter.
  std::unique_ptr<VXMemoryStream> wave(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(2000, 1, 8000)))));
  TDSoundStream* s = device.CreateStreamFromWave(wave.get(), false, false);
  ASSERT_NE(s, nullptr);
  s->SetLoopPoint(1000);
  ASSERT_TRUE(s->Play(true));
  Pump(1103, s);  // 200 source frames: the reads below fall between loop boundaries
  for (int step = 1; step <= 14; ++step) {
    Pump(2205, s);  // 400 source frames, 800 bytes
    const std::uint32_t heard = 800u * step + 400;
    const std::uint32_t expected = heard < 4000 ? heard : 1000 + (heard - 4000) % 3000;
    EXPECT_NEAR(static_cast<double>(s->GetPosition()), expected, 4.0) << step;
    EXPECT_LT(s->GetPosition(), 4000u);
  }
  s->SetLoopPoint(5000);
  EXPECT_TRUE(s->IsPlay());
}

TEST_F(SoundTest, StreamSeeksAndStarts) {
  std::unique_ptr<VXMemoryStream> wave(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(16000, 1, 8000)))));
  TDSoundStream* s = device.CreateStreamFromWave(wave.get(), false, false);
  ASSERT_NE(s, nullptr);
  ASSERT_TRUE(s->Play(false, 6000));
  EXPECT_EQ(s->GetPosition(), 6000u);
  EXPECT_FALSE(s->Seek(-2));
  EXPECT_TRUE(s->IsPlay());
  EXPECT_EQ(s->GetPosition(), 6000u);
  EXPECT_TRUE(s->Seek(100));
  EXPECT_EQ(s->GetPosition(), 100u);

  // An ADP stream cannot seek: it starts from the beginning.
  VXMemoryStream adpFile;
  const std::vector<std::int16_t> tone = Tone(16000, 1, 8000);
  ASSERT_TRUE(VXAdpStream::Encode(&adpFile, tone.data(), 16000, 8000, 1));
  TDSoundStream* adp = device.CreateStreamFromAdp(&adpFile, false, false);
  ASSERT_NE(adp, nullptr);
  ASSERT_TRUE(adp->Play(false, 6000));
  EXPECT_EQ(adp->GetPosition(), 0u);
}

TEST_F(SoundTest, SecondDecoderMustMatchTheBuffer) {
  std::unique_ptr<VXMemoryStream> a(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(800, 1, 8000)))));
  std::unique_ptr<VXMemoryStream> b(Memory(PcmWave(1, 11025, 16, Bytes16(Tone(800, 1, 11025)))));
  std::unique_ptr<VXMemoryStream> c(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(900, 1, 8000)))));
  TDSoundStream* s = device.CreateStreamFromWave(a.get(), false, false);
  ASSERT_NE(s, nullptr);
  EXPECT_FALSE(s->OpenStream(c.get())) << "one is open";
  ASSERT_TRUE(s->CloseStream());
  EXPECT_FALSE(s->OpenStream(b.get()));
  EXPECT_TRUE(s->OpenStream(c.get()));
  EXPECT_EQ(s->GetStreamSize(), 1800u);
}

TEST(SoundCaps, DeviceReportsTheMixerOpenOrClosed) {
  platform::thread::ManualClock clock;
  TDSound closed(nullptr, clock);
  DSCAPS caps;
  caps.dwReserved1 = 7;
  ASSERT_TRUE(closed.GetCaps(&caps));
  EXPECT_FALSE(closed.GetEnabled()) << "the query leaves the device closed";
  EXPECT_EQ(caps.dwSize, 96u);
  EXPECT_EQ(caps.dwReserved1, 0u) << "the record is cleared first";
  EXPECT_EQ(caps.dwPrimaryBuffers, 1u);
  EXPECT_EQ(caps.dwMinSecondarySampleRate, 100u);
  EXPECT_EQ(caps.dwMaxSecondarySampleRate, 200000u);
  for (std::uint32_t flag : {DSCAPS_SECONDARYMONO, DSCAPS_SECONDARYSTEREO, DSCAPS_SECONDARY8BIT, DSCAPS_SECONDARY16BIT,
                             DSCAPS_CONTINUOUSRATE, DSCAPS_PRIMARYSTEREO, DSCAPS_PRIMARY16BIT}) {
    EXPECT_TRUE(caps.dwFlags & flag) << flag;
  }
  EXPECT_EQ(caps.dwMaxHwMixingAllBuffers, 0u) << "software only";
  EXPECT_FALSE(closed.GetCaps(nullptr));
}

namespace {

// Makes the notification set-up reachable with any count.
class ProbeBuffer : public TDSoundBuffer {
public:
  using TDSoundBuffer::TDSoundBuffer;
  bool Notify(int count) {
    TDSBufferParam bp{channels_, samplesPerSec_, bitsPerSample_, length_, false, false, false};
    TDSNotifyParam np{count, [](TDSoundThread*, int) {}};
    return CreateEventThread(&bp, &np);
  }
};

}  // namespace

TEST_F(SoundTest, BufferCapsTellTheFlagsItWasMadeWith) {
  constexpr std::uint32_t kAlways =
      DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS | DSBCAPS_LOCSOFTWARE;
  struct Case {
    const char* name;
    bool staticFlag, pan, freq, notify, threeD;
    std::uint32_t flags;
  };
  const Case cases[] = {
      {"plain", false, false, false, false, false, kAlways},
      {"static", true, false, false, false, false, kAlways | DSBCAPS_STATIC},
      {"static with a handler is not static", true, false, false, true, false, kAlways | DSBCAPS_CTRLPOSITIONNOTIFY},
      {"pan and frequency", false, true, true, false, false, kAlways | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY},
      {"3D is never panned", false, true, true, false, true, kAlways | DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY},
  };
  for (const Case& c : cases) {
    std::unique_ptr<TDSoundBuffer> b(c.threeD ? new TDSoundBuffer3D(&device) : new TDSoundBuffer(&device));
    DSBCAPS caps;
    EXPECT_FALSE(b->GetCaps(&caps)) << c.name << ": not created";
    if (c.notify) b->SetOnNotify([](Classes::TComponent*) {});
    b->SetStaticFlag(c.staticFlag);
    ASSERT_TRUE(b->Create(2, 22050, 16, 4000, c.pan, c.freq)) << c.name;
    ASSERT_TRUE(b->GetCaps(&caps)) << c.name;
    EXPECT_EQ(caps.dwSize, 20u);
    EXPECT_EQ(caps.dwBufferBytes, 4000u);
    EXPECT_EQ(caps.dwFlags, c.flags) << c.name;
  }
  // Set up later, on a created buffer that is not playing.
  TDSoundBuffer late(&device);
  ASSERT_TRUE(late.Create(1, 8000, 8, 100, false, false));
  late.SetOnNotify([](Classes::TComponent*) {});
  DSBCAPS caps;
  ASSERT_TRUE(late.GetCaps(&caps));
  EXPECT_TRUE(caps.dwFlags & DSBCAPS_CTRLPOSITIONNOTIFY);
  // The stream's ring drops the static flag too.
  std::unique_ptr<VXMemoryStream> wave(Memory(PcmWave(1, 8000, 16, Bytes16(Tone(800, 1, 8000)))));
  TDSoundStream3D stream(&device, wave.get(), true);
  ASSERT_TRUE(stream.IsCreated());
  ASSERT_TRUE(stream.GetCaps(&caps));
  EXPECT_EQ(caps.dwFlags, kAlways | DSBCAPS_CTRLPOSITIONNOTIFY | DSBCAPS_CTRL3D | DSBCAPS_CTRLFREQUENCY);
  EXPECT_EQ(caps.dwBufferBytes, 64000u);
}

// The thread waits on a clock that never moves: only an event ends its wait. Deleting it must wake it (a deletion
// that waited for the wait's time-out never returns here), and the wake is no notification.
TEST(SoundThread, DeletionWakesTheThreadWithoutACallback) {
  for (const int count : {1, 5}) {
    platform::thread::ManualClock still;
    std::atomic<int> calls{0}, lastIndex{-1};
    auto thread = std::make_unique<TDSoundThread>(
        count,
        [&](TDSoundThread*, int index) {
          lastIndex = index;
          ++calls;
        },
        still);
    thread->Resume();
    still.WaitForSleepers(1);
    thread->GetEvent(count - 1)->Set();
    ASSERT_TRUE(WaitFor([&] { return calls >= 1; })) << count;
    ASSERT_EQ(calls, 1) << count;
    EXPECT_EQ(lastIndex, count - 1);
    still.WaitForSleepers(1);  // back in its wait
    thread.reset();
    EXPECT_EQ(calls, 1) << count;
  }
}

TEST_F(SoundTest, NotificationCountOtherThanOneOrFiveGivesTheStopOnly) {
  ProbeBuffer b(&device);
  ASSERT_TRUE(b.Create(2, 44100, 16, 705600, false, false));
  ASSERT_TRUE(b.Notify(3));
  EXPECT_EQ(b.GetNotificationOffsets(), (std::vector<std::uint32_t>{kStopPosition}));
  EXPECT_EQ(b.GetNotifyThread()->GetCount(), 1);
}

TEST_F(SoundTest, DuplicateSharesTheSoundButNotThePlayState) {
  TDSoundBuffer* original = device.CreateBuffer(1, 44100, 16, 8, false, false, false);
  ASSERT_NE(original, nullptr);
  EXPECT_EQ(TDSoundBuffer(&device).Duplicate(), nullptr) << "not created";
  TDSoundBuffer* copy = original->Duplicate();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(device.GetBufferCount(), 2);
  EXPECT_EQ(copy->GetLength(), 8u);
  EXPECT_EQ(copy->GetChannels(), 1);
  // Written after duplicating, through the original: the duplicate plays it.
  const std::string samples = Bytes16({1000, 2000, 3000, 4000});
  ASSERT_TRUE(original->WriteBuffer(0, reinterpret_cast<const std::uint8_t*>(samples.data()), 8));
  ASSERT_TRUE(copy->SetVolume(-10000));
  EXPECT_EQ(original->GetVolume(), 0) << "volumes are each buffer's own";
  ASSERT_TRUE(copy->Play(false));
  EXPECT_FALSE(original->IsPlay());
  EXPECT_EQ(Pump(4), (std::vector<std::int16_t>(8, 0))) << "the duplicate is silenced";
  ASSERT_TRUE(copy->SetVolume(0));
  delete original;  // the bytes outlive the buffer they were written through
  ASSERT_TRUE(copy->Play(false));
  EXPECT_EQ(Pump(4), (std::vector<std::int16_t>{1000, 1000, 2000, 2000, 3000, 3000, 4000, 4000}));

  TDSoundBuffer3D placed(&device, 2, 44100, 16, 400, false);
  placed.SetPosition(1, 2, 3);
  std::unique_ptr<TDSoundBuffer3D> twin(placed.Duplicate());
  ASSERT_NE(twin, nullptr);
  EXPECT_EQ(twin->GetPosition3D(), (std::array<float, 3>{1, 2, 3}));
  DSBCAPS caps;
  ASSERT_TRUE(twin->GetCaps(&caps));
  EXPECT_TRUE(caps.dwFlags & DSBCAPS_CTRL3D);
}

namespace {

// One streamed kind of sound: its file and how to open it as a stream and as a decoder.
struct StreamedKind {
  const char* name;
  std::string file;
  TDSoundStream* (TDSound::*open)(VXStream*, bool, bool);
  std::function<std::unique_ptr<VXPcmStream>(VXStream*)> decoder;
};

template <class Decoder>
std::unique_ptr<VXPcmStream> Decode(VXStream* s) {
  return std::make_unique<Decoder>(s);
}

// Seven seconds of 44,100 Hz stereo in every kind the stream plays.
const std::vector<StreamedKind>& SevenSecondsOfEveryKind() {
  static const std::vector<StreamedKind> kinds = [] {
    constexpr int kFrames = 7 * 44100;
    const std::vector<std::int16_t> sweep = Sweep(kFrames, 2, 44100);
    VXMemoryStream adp;
    if (!VXAdpStream::Encode(&adp, sweep.data(), kFrames, 44100, 2)) std::abort();
    std::string adpBytes(static_cast<std::size_t>(adp.GetSize()), '\0');
    adp.Reset();
    adp.Read(adpBytes.data(), static_cast<int>(adpBytes.size()));
    return std::vector<StreamedKind>{
        {"PCM WAVE", PcmWave(2, 44100, 16, Bytes16(sweep)), &TDSound::CreateStreamFromWave, Decode<VXWaveStream>},
        {"Microsoft ADPCM WAVE", MsAdpcmWave(kFrames / 1012 + 1, 44100), &TDSound::CreateStreamFromWave,
         Decode<VXWaveStream>},
        {"MP3", Mp3(sweep, 2, 44100), &TDSound::CreateStreamFromMp3, Decode<VXMp3Stream>},
        {"ADP", adpBytes, &TDSound::CreateStreamFromAdp, Decode<VXAdpStream>},
        {"Ogg Vorbis", OggVorbis(sweep, 2, 44100), &TDSound::CreateStreamFromOgg, Decode<VXOggStream>},
    };
  }();
  return kinds;
}

std::vector<std::int16_t> DecodeWhole(const StreamedKind& kind) {
  std::unique_ptr<VXMemoryStream> file(Memory(kind.file));
  std::unique_ptr<VXPcmStream> decoder = kind.decoder(file.get());
  std::vector<std::int16_t> pcm(static_cast<std::size_t>(decoder->GetSize()) / 2);
  pcm.resize(static_cast<std::size_t>(std::max(decoder->Read(pcm.data(), static_cast<int>(pcm.size() * 2)), 0)) / 2);
  return pcm;
}

}  // namespace

// At 44,100 Hz stereo and full volume the mix is the ring's bytes: what is heard is compared sample by sample with
// the whole sound decoded on its own, played through (to the loop end when there is one) and then again from the
// loop start.
TEST_F(SoundTest, EveryStreamedKindLoopsAtItsLoopStartSampleExact) {
  constexpr std::uint32_t kLoopStart = 441000;  // 2.5 s
  constexpr std::uint32_t kLoopEnd = 299880 * 4;  // 6.8 s
  for (const StreamedKind& kind : SevenSecondsOfEveryKind()) {
    const std::vector<std::int16_t> reference = DecodeWhole(kind);
    for (const std::uint32_t loopEnd : {0u, kLoopEnd}) {
      SCOPED_TRACE(testing::Message() << kind.name << (loopEnd != 0 ? ", with a loop end" : ""));
      const std::size_t frames = loopEnd != 0 ? loopEnd / 4 : reference.size() / 2, loop = kLoopStart / 4;
      ASSERT_GT(frames, loop + 4 * 44100);
      std::unique_ptr<VXMemoryStream> file(Memory(kind.file));
      std::unique_ptr<TDSoundStream> s((device.*kind.open)(file.get(), false, false));
      ASSERT_NE(s, nullptr);
      ASSERT_TRUE(loopEnd != 0 ? s->SetLoopPoint(kLoopStart, loopEnd) : s->SetLoopPoint(kLoopStart)) << VXRefusal();
      ASSERT_TRUE(s->Play(true));
      std::vector<std::int16_t> heard;
      std::uint32_t last = 0;
      while (heard.size() / 2 < frames + (frames - loop) + 44100) {
        const std::vector<std::int16_t>& out = Pump(4410, s.get());
        heard.insert(heard.end(), out.begin(), out.end());
        // The position stays inside the loop's pass and goes back only to just past the loop start.
        const std::uint32_t position = s->GetPosition();
        ASSERT_LT(position, frames * 4);
        if (position < last) {
          ASSERT_LE(position, kLoopStart + 4410 * 4) << "back from " << last;
        }
        last = position;
      }
      for (std::size_t i = 0; i < heard.size() / 2; ++i) {
        const std::size_t from = i < frames ? i : loop + (i - frames) % (frames - loop);
        if (heard[2 * i] != reference[2 * from] || heard[2 * i + 1] != reference[2 * from + 1]) {
          ADD_FAILURE() << "output frame " << i << " is not frame " << from << " of the sound";
          break;
        }
      }
    }
  }
}

TEST_F(SoundTest, LoopPointsThatCannotBeTakenAreReported) {
  const std::vector<StreamedKind>& kinds = SevenSecondsOfEveryKind();
  const StreamedKind& pcm = kinds[0];
  const StreamedKind& adp = kinds[3];
  std::unique_ptr<VXMemoryStream> pcmFile(Memory(pcm.file)), adpFile(Memory(adp.file));
  std::unique_ptr<TDSoundStream> seekable(device.CreateStreamFromWave(pcmFile.get(), false, false));
  std::unique_ptr<TDSoundStream> unseekable(device.CreateStreamFromAdp(adpFile.get(), false, false));
  ASSERT_NE(seekable, nullptr);
  ASSERT_NE(unseekable, nullptr);
  const std::uint32_t second = 44100 * 4, size = 7 * second;
  struct Case {
    const char* name;
    TDSoundStream* stream;
    std::uint32_t start, end;  // end 0: SetLoopPoint(start)
    const char* reason;        // null: taken
  };
  const Case cases[] = {
      {"a loop start near the end of a seekable sound", seekable.get(), size - 4, 0, nullptr},
      {"a loop of four seconds", seekable.get(), second, 5 * second, nullptr},
      {"a loop end three seconds after the start", seekable.get(), second, 4 * second,
       "a loop end must lie at least four seconds after the loop start"},
      {"a loop start beyond the sound", seekable.get(), size, 0, "the loop start lies beyond the end of the sound"},
      {"three seconds to loop without a seek", unseekable.get(), 4 * second, 0,
       "this sound cannot seek: its loop must last at least four seconds"},
      {"three seconds to loop without a seek, with an end", unseekable.get(), 4 * second, 9 * second,
       "this sound cannot seek: its loop must last at least four seconds"},
      {"three seconds and a half without a seek", unseekable.get(), 2 * second, 0, nullptr},
      {"the whole sound without a seek", unseekable.get(), 0, 0, nullptr},
  };
  for (const Case& c : cases) {
    const bool taken = c.end == 0 ? c.stream->SetLoopPoint(c.start) : c.stream->SetLoopPoint(c.start, c.end);
    EXPECT_EQ(taken, c.reason == nullptr) << c.name;
    EXPECT_STREQ(VXRefusal(), c.reason == nullptr ? "" : c.reason) << c.name;
  }
}

// The ring goes on with silence after a sound played once, up to the next quarter, where the stream stops itself.
TEST_F(SoundTest, PositionNeverPassesTheEndOfASoundPlayedOnce) {
  std::string cut = PcmWave(2, 44100, 16, Bytes16(Sweep(44100 * 3 / 2, 2, 44100)));
  cut.resize(cut.size() - 44100 * 2);  // half a second less than the header says
  const std::vector<std::pair<const char*, std::string>> sounds = {
      {"1.5 s", PcmWave(2, 44100, 16, Bytes16(Sweep(44100 * 3 / 2, 2, 44100)))},
      {"10 ms", PcmWave(2, 44100, 16, Bytes16(Sweep(441, 2, 44100)))},
      {"cut to 1 s", cut},
  };
  // Also with output the device still holds when the stream stops itself (50 ms).
  for (const std::uint32_t latency : {0, 2205}) {
    device.GetManualSink()->SetLatencyFrames(latency);
    for (const auto& [name, bytes] : sounds) {
      SCOPED_TRACE(name);
      std::unique_ptr<VXMemoryStream> file(Memory(bytes));
      std::unique_ptr<TDSoundStream> s(device.CreateStreamFromWave(file.get(), false, false));
      ASSERT_NE(s, nullptr);
      const auto length = static_cast<std::uint32_t>(
          DecodeWhole({name, bytes, &TDSound::CreateStreamFromWave, Decode<VXWaveStream>}).size() * 2);
      ASSERT_TRUE(s->Play(false));
      std::uint32_t last = 0;
      for (int i = 0; i < 300 && s->IsPlay(); ++i) {
        Pump(441, s.get());
        const std::uint32_t position = s->GetPosition();
        ASSERT_LE(position, length) << "after " << (i + 1) * 10 << " ms";
        ASSERT_GE(position, last) << "after " << (i + 1) * 10 << " ms";
        last = position;
      }
      EXPECT_FALSE(s->IsPlay());
      EXPECT_EQ(s->GetPosition(), length) << "stopped at its end, latency " << latency;
    }
  }
}

TEST_F(SoundTest, FactoriesNameWhyTheyRefuseASound) {
  const std::string six = PcmWave(6, 44100, 16, std::string(1200, '\0'));
  const std::string junk(3000, 'j');
  const std::string fast = PcmWave(1, 250000, 16, std::string(1000, '\0'));
  using Factory = std::function<bool(VXStream*)>;
  const Factory buffer = [&](VXStream* s) { return device.CreateBufferFromWave(s, false, false, false) != nullptr; };
  const Factory stream = [&](VXStream* s) { return device.CreateStreamFromWave(s, false, false) != nullptr; };
  const Factory mp3 = [&](VXStream* s) { return device.CreateStreamFromMp3(s, false, false) != nullptr; };
  const Factory ogg = [&](VXStream* s) { return device.CreateBufferFromOgg(s, false, false, false) != nullptr; };
  const std::vector<std::tuple<const char*, const std::string*, Factory, const char*>> cases = {
      {"six channels, static", &six, buffer, "6 channels: only mono and stereo sounds play"},
      {"six channels, streamed", &six, stream, "6 channels: only mono and stereo sounds play"},
      {"250 kHz", &fast, stream, "a sample rate outside 100 to 200,000 Hz"},
      {"junk as MP3", &junk, mp3, "no MPEG audio frame at the start of the data"},
      {"junk as Ogg Vorbis", &junk, ogg, "not an Ogg Vorbis file"},
  };
  for (const auto& [name, bytes, factory, reason] : cases) {
    std::unique_ptr<VXMemoryStream> file(Memory(*bytes));
    EXPECT_FALSE(factory(file.get())) << name;
    EXPECT_STREQ(VXRefusal(), reason) << name;
  }
  // A 24-bit sound plays, as 16 bits; the reason of the refusal before it is gone.
  std::unique_ptr<VXMemoryStream> wide(Memory(PcmWave(2, 44100, 24, std::string(6000, '\1'))));
  TDSoundBuffer* b = device.CreateBufferFromWave(wide.get(), false, false, false);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetBitsPerSample(), 16);
  EXPECT_STREQ(VXRefusal(), "");
}
