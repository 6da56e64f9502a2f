#include "device/zodsound.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "core/vxrefusal.h"
#include "device/vxladpstream.h"
#include "device/vxloggstream.h"
#include "device/vxlwavestream.h"

namespace DirectX {

using platform::audio::kStopPosition;
using VoiceNotification = platform::audio::Notification;
using platform::audio::VoiceFormat;
using platform::thread::Clock;
using platform::thread::Event;

namespace {

constexpr int kWaitMs = 100;

}  // namespace

// ---- TDSound ----

TDSound::TDSound(Classes::TComponent* owner, platform::thread::Clock& clock) : TComponent(owner), clock_(clock) {}

// The buffers go while the device's lock and list still exist (not in the base's destructor).
TDSound::~TDSound() {
  DSoundRelease();
  DeleteBuffers();
}

void TDSound::DeleteBuffers() {
  for (;;) {  // each leaves the list as it goes
    TCustomDSoundBuffer* last = nullptr;
    {
      const std::lock_guard hold(bufferLock_);
      if (buffers_.empty()) return;
      last = buffers_.back();
    }
    delete last;
  }
}

void TDSound::SetChannels(std::uint16_t channels) {
  if ((channels != 1 && channels != 2) || channels == channels_) return;
  channels_ = channels;
  if (enabled_) FormatPriBuffer();
}

void TDSound::SetSamplesPerSec(std::uint32_t rate) {
  if (rate == 0 || rate == samplesPerSec_) return;
  samplesPerSec_ = rate;
  if (enabled_) FormatPriBuffer();
}

void TDSound::SetBitsPerSample(std::uint16_t bits) {
  if ((bits != 8 && bits != 16) || bits == bitsPerSample_) return;
  bitsPerSample_ = bits;
  if (enabled_) FormatPriBuffer();
}

void TDSound::SetUse3D(bool use3D) {
  if (!enabled_) use3D_ = use3D;
}

void TDSound::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  if (enabled) {
    DSoundCreate();
  } else {
    DSoundRelease();
  }
}

void TDSound::SetManualOutput(bool manual, std::uint32_t latencyFrames) {
  if (enabled_) return;
  manualOutput_ = manual;
  manualLatency_ = latencyFrames;
}

bool TDSound::DSoundCreate() {
  if (enabled_) return true;
  {
    const std::lock_guard hold(bufferLock_);
    buffers_.clear();
  }
  mixer_ = std::make_unique<platform::audio::Mixer>(clock_);
  if (manualOutput_) {
    auto sink = std::make_unique<platform::audio::ManualSink>(*mixer_, manualLatency_);
    manualSink_ = sink.get();
    sink_ = std::move(sink);
  } else {
    sink_ = platform::audio::SdlSink::Open(*mixer_, nullptr);
    if (!sink_) {
      mixer_.reset();
      return false;
    }
  }
  FormatPriBuffer();
  primaryPlaying_ = true;
  enabled_ = true;
  return true;
}

bool TDSound::GetCaps(DSCAPS* caps) const {
  if (caps == nullptr) return false;
  *caps = DSCAPS{};
  caps->dwSize = sizeof(DSCAPS);
  caps->dwFlags = DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY16BIT | DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO |
                  DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
  caps->dwMinSecondarySampleRate = platform::audio::kFrequencyMin;
  caps->dwMaxSecondarySampleRate = platform::audio::kFrequencyMax;
  caps->dwPrimaryBuffers = 1;
  return true;
}

void TDSound::DSoundRelease() {
  if (!enabled_) return;
  enabled_ = false;
  primaryPlaying_ = false;
  DeleteBuffers();
  sink_.reset();
  manualSink_ = nullptr;
  mixer_.reset();
}

bool TDSound::FormatPriBuffer() { return enabled_ || mixer_ != nullptr; }

void TDSound::Play() {
  if (enabled_) primaryPlaying_ = true;
}

void TDSound::Stop() {
  if (enabled_) primaryPlaying_ = false;
}

TDSoundBuffer* TDSound::CreateBuffer(std::uint16_t channels, std::uint32_t samplesPerSec,
                                     std::uint16_t bitsPerSample, std::uint32_t length, bool panEnabled,
                                     bool freqEnabled, bool staticFlag) {
  if (!enabled_) return nullptr;
  auto* buffer = new TDSoundBuffer(this);
  buffer->SetStaticFlag(staticFlag);
  if (!buffer->Create(channels, samplesPerSec, bitsPerSample, length, panEnabled, freqEnabled)) {
    delete buffer;
    return nullptr;
  }
  return buffer;
}

TDSoundBuffer* TDSound::CreateBuffer(std::uint32_t length) {
  return CreateBuffer(channels_, samplesPerSec_, bitsPerSample_, length, false, false, false);
}

TDSoundBuffer* TDSound::CreateBufferMute(int seconds) {
  const std::int64_t bytes = static_cast<std::int64_t>(channels_) * samplesPerSec_ * bitsPerSample_ / 8 * seconds;
  if (!enabled_ || bytes <= 0 || bytes > kMaxBufferBytes) return nullptr;
  TDSoundBuffer* buffer = CreateBuffer(static_cast<std::uint32_t>(bytes));
  if (buffer == nullptr) return nullptr;
  std::vector<std::uint8_t> silence(static_cast<std::size_t>(bytes), bitsPerSample_ == 8 ? 0x80 : 0);
  buffer->WriteBuffer(0, silence.data(), static_cast<std::uint32_t>(bytes));
  return buffer;
}

namespace {

// Whether the mixer plays a decoder's format; names the reason when not.
bool Playable(VXPcmStream* pcm) {
  const int channels = pcm->GetChannels(), rate = pcm->GetRate(), bits = pcm->GetBits();
  if (channels != 1 && channels != 2) {
    char reason[64];
    std::snprintf(reason, sizeof reason, "%d channels: only mono and stereo sounds play", channels);
    return VXRefuse(reason);
  }
  if (bits != 8 && bits != 16) {
    char reason[64];
    std::snprintf(reason, sizeof reason, "%d-bit samples: only 8- and 16-bit samples play", bits);
    return VXRefuse(reason);
  }
  if (!VoiceFormat{static_cast<std::uint16_t>(channels), static_cast<std::uint32_t>(std::max(rate, 0)),
                   static_cast<std::uint16_t>(bits)}
           .IsValid()) {
    return VXRefuse("a sample rate outside 100 to 200,000 Hz");
  }
  return true;
}

}  // namespace

template <class Buffer>
Buffer* TDSound::FromPcm(VXPcmStream* pcm, bool panEnabled, bool freqEnabled, bool staticFlag) {
  VXRefusalScope scope;
  if (!enabled_ || pcm == nullptr || !pcm->IsOpen()) return nullptr;
  // The decoder's size and format are data from a file: checked before anything is allocated.
  const std::int64_t size = pcm->GetSize();
  const int frame = pcm->FrameBytes();
  if (!Playable(pcm)) return nullptr;
  const VoiceFormat format{static_cast<std::uint16_t>(pcm->GetChannels()),
                           static_cast<std::uint32_t>(pcm->GetRate()), static_cast<std::uint16_t>(pcm->GetBits())};
  if (size < frame) return VXRefuseNull("no sound in the data");
  if (size > kMaxBufferBytes) return VXRefuseNull("too long for a static buffer (256 MB); play it streamed");
  std::vector<std::uint8_t> block;
  try {
    block.resize(static_cast<std::size_t>(size));
  } catch (const std::bad_alloc&) {
    return VXRefuseNull("out of memory");
  }
  const int n = std::max(pcm->Read(block.data(), static_cast<int>(size)), 0) / frame * frame;
  if (n < std::max(frame, static_cast<int>(kMinBufferBytes))) return VXRefuseNull("no sound could be decoded");
  auto* buffer = new Buffer(this);
  buffer->SetStaticFlag(staticFlag || std::is_same_v<Buffer, TDSoundBuffer3D>);
  bool made;
  if constexpr (std::is_same_v<Buffer, TDSoundBuffer3D>) {
    made = buffer->Create(format.channels, format.samplesPerSec, format.bitsPerSample, static_cast<std::uint32_t>(n),
                          false, freqEnabled);
    (void)panEnabled;
  } else {
    made = buffer->Create(format.channels, format.samplesPerSec, format.bitsPerSample, static_cast<std::uint32_t>(n),
                          panEnabled, freqEnabled);
  }
  if (!made || !buffer->WriteBuffer(0, block.data(), static_cast<std::uint32_t>(n))) {
    delete buffer;
    return nullptr;
  }
  return buffer;
}

TDSoundBuffer* TDSound::CreateBufferFromPcmStream(VXPcmStream* pcm, bool panEnabled, bool freqEnabled,
                                                  bool staticFlag) {
  return FromPcm<TDSoundBuffer>(pcm, panEnabled, freqEnabled, staticFlag);
}

TDSoundBuffer3D* TDSound::CreateBuffer3DFromPcmStream(VXPcmStream* pcm, bool freqEnabled) {
  return FromPcm<TDSoundBuffer3D>(pcm, false, freqEnabled, true);
}

namespace {

template <class Decoder, class Make>
auto WithDecoder(VXStream* stream, Make make) {
  VXRefusalScope scope;
  Decoder decoder(stream);
  return make(&decoder);
}

template <class Make>
auto WithWrapper(Classes::TStream* stream, Make make) {
  VXRefusalScope scope;
  T2VXStream wrapper(stream);
  return make(&wrapper);
}

}  // namespace

TDSoundBuffer* TDSound::CreateBufferFromWave(VXStream* s, bool pan, bool freq, bool st) {
  return WithDecoder<VXWaveStream>(s, [&](VXPcmStream* d) { return CreateBufferFromPcmStream(d, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromMp3(VXStream* s, bool pan, bool freq, bool st) {
  return WithDecoder<VXMp3Stream>(s, [&](VXPcmStream* d) { return CreateBufferFromPcmStream(d, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromAdp(VXStream* s, bool pan, bool freq, bool st) {
  return WithDecoder<VXAdpStream>(s, [&](VXPcmStream* d) { return CreateBufferFromPcmStream(d, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromOgg(VXStream* s, bool pan, bool freq, bool st) {
  return WithDecoder<VXOggStream>(s, [&](VXPcmStream* d) { return CreateBufferFromPcmStream(d, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromWave(Classes::TStream* s, bool pan, bool freq, bool st) {
  return WithWrapper(s, [&](VXStream* w) { return CreateBufferFromWave(w, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromMp3(Classes::TStream* s, bool pan, bool freq, bool st) {
  return WithWrapper(s, [&](VXStream* w) { return CreateBufferFromMp3(w, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromAdp(Classes::TStream* s, bool pan, bool freq, bool st) {
  return WithWrapper(s, [&](VXStream* w) { return CreateBufferFromAdp(w, pan, freq, st); });
}
TDSoundBuffer* TDSound::CreateBufferFromOgg(Classes::TStream* s, bool pan, bool freq, bool st) {
  return WithWrapper(s, [&](VXStream* w) { return CreateBufferFromOgg(w, pan, freq, st); });
}

TDSoundBuffer3D* TDSound::CreateBuffer3DFromWave(VXStream* s, bool freq) {
  return WithDecoder<VXWaveStream>(s, [&](VXPcmStream* d) { return CreateBuffer3DFromPcmStream(d, freq); });
}
TDSoundBuffer3D* TDSound::CreateBuffer3DFromMp3(VXStream* s, bool freq) {
  return WithDecoder<VXMp3Stream>(s, [&](VXPcmStream* d) { return CreateBuffer3DFromPcmStream(d, freq); });
}
TDSoundBuffer3D* TDSound::CreateBuffer3DFromAdp(VXStream* s, bool freq) {
  return WithDecoder<VXAdpStream>(s, [&](VXPcmStream* d) { return CreateBuffer3DFromPcmStream(d, freq); });
}
TDSoundBuffer3D* TDSound::CreateBuffer3DFromOgg(VXStream* s, bool freq) {
  return WithDecoder<VXOggStream>(s, [&](VXPcmStream* d) { return CreateBuffer3DFromPcmStream(d, freq); });
}

template <class Decoder>
TDSoundStream* TDSound::MakeStream(VXStream* stream, bool panEnabled, bool freqEnabled) {
  if (!enabled_) return nullptr;
  auto* s = new TDSoundStream(this);
  bool made = false;
  if constexpr (std::is_same_v<Decoder, VXWaveStream>) made = s->Create(stream, panEnabled, freqEnabled);
  if constexpr (std::is_same_v<Decoder, VXMp3Stream>) made = s->CreateMp3(stream, panEnabled, freqEnabled);
  if constexpr (std::is_same_v<Decoder, VXAdpStream>) made = s->CreateAdp(stream, panEnabled, freqEnabled);
  if constexpr (std::is_same_v<Decoder, VXOggStream>) made = s->CreateOgg(stream, panEnabled, freqEnabled);
  if (!made) {
    delete s;
    return nullptr;
  }
  return s;
}

TDSoundStream* TDSound::CreateStreamFromWave(VXStream* s, bool pan, bool freq) { return MakeStream<VXWaveStream>(s, pan, freq); }
TDSoundStream* TDSound::CreateStreamFromMp3(VXStream* s, bool pan, bool freq) { return MakeStream<VXMp3Stream>(s, pan, freq); }
TDSoundStream* TDSound::CreateStreamFromAdp(VXStream* s, bool pan, bool freq) { return MakeStream<VXAdpStream>(s, pan, freq); }
TDSoundStream* TDSound::CreateStreamFromOgg(VXStream* s, bool pan, bool freq) { return MakeStream<VXOggStream>(s, pan, freq); }

namespace {

template <class Create>
TDSoundStream* StreamOverFramework(TDSound* device, bool enabled, Create create) {
  if (!enabled) return nullptr;
  auto* s = new TDSoundStream(device);
  if (!create(s)) {
    delete s;
    return nullptr;
  }
  return s;
}

}  // namespace

TDSoundStream* TDSound::CreateStreamFromWave(Classes::TStream* st, bool pan, bool freq) {
  return StreamOverFramework(this, enabled_, [&](TDSoundStream* s) { return s->Create(st, pan, freq); });
}
TDSoundStream* TDSound::CreateStreamFromMp3(Classes::TStream* st, bool pan, bool freq) {
  return StreamOverFramework(this, enabled_, [&](TDSoundStream* s) { return s->CreateMp3(st, pan, freq); });
}
TDSoundStream* TDSound::CreateStreamFromAdp(Classes::TStream* st, bool pan, bool freq) {
  return StreamOverFramework(this, enabled_, [&](TDSoundStream* s) { return s->CreateAdp(st, pan, freq); });
}
TDSoundStream* TDSound::CreateStreamFromOgg(Classes::TStream* st, bool pan, bool freq) {
  return StreamOverFramework(this, enabled_, [&](TDSoundStream* s) { return s->CreateOgg(st, pan, freq); });
}

bool TDSound::AddBufferList(TCustomDSoundBuffer* buffer) {
  if (buffer == nullptr) return false;
  const std::lock_guard hold(bufferLock_);
  if (std::find(buffers_.begin(), buffers_.end(), buffer) != buffers_.end()) return false;
  InsertComponent(buffer);
  buffers_.push_back(buffer);
  return true;
}

bool TDSound::DelBufferList(TCustomDSoundBuffer* buffer) {
  const std::lock_guard hold(bufferLock_);
  RemoveComponent(buffer);
  const auto it = std::find(buffers_.begin(), buffers_.end(), buffer);
  if (it == buffers_.end()) return false;
  buffers_.erase(it);
  return true;
}

bool TDSound::RestoreAllBuffers() {
  if (!enabled_) return false;
  const std::lock_guard hold(bufferLock_);
  for (TCustomDSoundBuffer* b : buffers_) b->IsLostAndRestore();
  return true;
}

int TDSound::GetBufferCount() const {
  const std::lock_guard hold(bufferLock_);
  return static_cast<int>(buffers_.size());
}

// ---- TDSoundThread ----

struct TDSoundThread::State {
  explicit State(Clock& c) : clock(c) {}
  Clock& clock;
  std::atomic<bool> terminated{false};
  std::atomic<int> lastIndex{-1};
  std::atomic<bool> busy{false};
  std::vector<std::unique_ptr<Event>> events;
  Event wake;               // set once, when the thread is to end: a stream's deletion waits for no time-out
  std::vector<Event*> list;  // the events, then `wake`
  std::function<void(TDSoundThread*, int)> callback;
};

TDSoundThread::TDSoundThread(int count, std::function<void(TDSoundThread*, int)> callback, Clock& clock)
    : state_(std::make_shared<State>(clock)) {
  for (int i = 0; i < count; ++i) {
    state_->events.push_back(std::make_unique<Event>());
    state_->list.push_back(state_->events.back().get());
  }
  state_->list.push_back(&state_->wake);
  state_->callback = std::move(callback);
}

TDSoundThread::~TDSoundThread() {
  state_->terminated = true;
  state_->wake.Set();
  if (!thread_.joinable()) return;
  // Deleted from its own callback (a handler that releases its buffer): joining would wait for ourselves. The
  // thread keeps its state alive and ends when the callback returns.
  if (IsCurrentThread()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

int TDSoundThread::GetCount() const { return static_cast<int>(state_->events.size()); }

Event* TDSoundThread::GetEvent(int index) const {
  return index >= 0 && index < GetCount() ? state_->events[index].get() : nullptr;
}

int TDSoundThread::GetLastIndex() const { return state_->lastIndex; }

bool TDSoundThread::IsIdle() const {
  if (state_->busy) return false;
  for (const auto& e : state_->events) {
    if (e->IsSet()) return false;
  }
  return true;
}

void TDSoundThread::Resume() {
  if (!thread_.joinable()) thread_ = std::thread(&TDSoundThread::Execute, this, state_);
}

void TDSoundThread::Execute(TDSoundThread* self, std::shared_ptr<State> state) {
  while (!state->terminated) {
    const int index = Event::WaitAny(state->list, kWaitMs, state->clock);
    if (index < 0 || index >= static_cast<int>(state->events.size()) || state->terminated) continue;
    state->busy = true;
    state->lastIndex = index;
    state->callback(self, index);
    state->busy = false;
  }
}

// ---- TCustomDSoundBuffer ----

// A buffer of a device joins the device's components under the device's lock (AddBufferList), not in the base.
TCustomDSoundBuffer::TCustomDSoundBuffer(Classes::TComponent* owner)
    : TComponent(dynamic_cast<TDSound*>(owner) != nullptr ? nullptr : owner), device_(dynamic_cast<TDSound*>(owner)) {
  if (device_ != nullptr) device_->AddBufferList(this);
}

TCustomDSoundBuffer::~TCustomDSoundBuffer() {
  if (device_ != nullptr) device_->DelBufferList(this);
}

bool TCustomDSoundBuffer::FormatIsValid(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
  return VoiceFormat{channels, rate, bits}.IsValid();
}

void TCustomDSoundBuffer::SetChannels(std::uint16_t v) {
  if (!created_ && (v == 1 || v == 2)) channels_ = v;
}
void TCustomDSoundBuffer::SetSamplesPerSec(std::uint32_t v) {
  if (!created_ && v != 0) samplesPerSec_ = v;
}
void TCustomDSoundBuffer::SetBitsPerSample(std::uint16_t v) {
  if (!created_ && (v == 8 || v == 16)) bitsPerSample_ = v;
}
void TCustomDSoundBuffer::SetLength(std::uint32_t v) {
  if (!created_ && v >= kMinBufferBytes && v <= kMaxBufferBytes) length_ = v;
}
void TCustomDSoundBuffer::SetStaticFlag(bool v) {
  if (!created_) staticFlag_ = v;
}
void TCustomDSoundBuffer::SetPanEnabled(bool v) {
  if (!created_) panEnabled_ = v;
}
void TCustomDSoundBuffer::SetFreqEnabled(bool v) {
  if (!created_) freqEnabled_ = v;
}

bool TCustomDSoundBuffer::CreateBuffer(TDSBufferParam* bp, TDSNotifyParam* np) {
  if (device_ == nullptr || device_->GetMixer() == nullptr) return false;
  if (np != nullptr) bp->staticFlag = false;  // a notifying buffer is never a static one
  if (threeD_) bp->pan = false;
  voice_ = device_->GetMixer()->CreateVoice(VoiceFormat{bp->channels, bp->samplesPerSec, bp->bitsPerSample},
                                            bp->length);
  if (!voice_) return false;
  if (np != nullptr && !CreateEventThread(bp, np)) {
    voice_.reset();
    return false;
  }
  capsFlags_ = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_CTRLVOLUME | DSBCAPS_GLOBALFOCUS | DSBCAPS_LOCSOFTWARE;
  if (np != nullptr) capsFlags_ |= DSBCAPS_CTRLPOSITIONNOTIFY;  // set again: the flags above start afresh
  if (bp->staticFlag) capsFlags_ |= DSBCAPS_STATIC;
  if (bp->pan) capsFlags_ |= DSBCAPS_CTRLPAN;
  if (bp->frequency) capsFlags_ |= DSBCAPS_CTRLFREQUENCY;
  if (threeD_) capsFlags_ |= DSBCAPS_CTRL3D;
  return true;
}

bool TCustomDSoundBuffer::CreateEventThread(TDSBufferParam* bp, TDSNotifyParam* np) {
  if (np->count != 1 && np->count != 5) np->count = 1;
  auto thread = std::make_unique<TDSoundThread>(np->count, np->callback);
  const std::uint32_t q = bp->length / 4;
  std::vector<VoiceNotification> positions = {{kStopPosition, thread->GetEvent(0)}};
  for (int k = 1; k < np->count; ++k) positions.push_back({(k - 1) * q, thread->GetEvent(k)});
  if (!voice_->SetNotifications(positions)) return false;
  notifyOffsets_.clear();
  for (const VoiceNotification& n : positions) notifyOffsets_.push_back(n.offset);
  thread->Resume();
  thread_ = std::move(thread);
  capsFlags_ |= DSBCAPS_CTRLPOSITIONNOTIFY;
  return true;
}

void TCustomDSoundBuffer::ReleaseBuffer() {
  if (!created_) return;
  voice_->Stop();
  created_ = false;
  // The mixer lets go of the events before the thread that owns them ends.
  voice_->SetNotifications({});
  thread_.reset();
  voice_.reset();
  notifyOffsets_.clear();
}

bool TCustomDSoundBuffer::TakeEndOfPlay(std::uint64_t syncStopGeneration) {
  if (!created_ || voice_ == nullptr) return false;
  const std::optional<platform::audio::StopNote> note = voice_->TakeStop();
  // A stop of an earlier play (the owner played again meanwhile) is no end of this one.
  return note && !stoppedByCall_ && note->generation == voice_->Generation() &&
         (note->ended || note->generation == syncStopGeneration);
}

std::int32_t TCustomDSoundBuffer::GetVolume() const { return voice_ ? voice_->GetVolume() : 0; }
bool TCustomDSoundBuffer::SetVolume(std::int32_t v) { return voice_ && voice_->SetVolume(v); }
std::int32_t TCustomDSoundBuffer::GetPan() const { return voice_ && panEnabled_ ? voice_->GetPan() : 0; }
bool TCustomDSoundBuffer::SetPan(std::int32_t v) { return voice_ && panEnabled_ && voice_->SetPan(v); }
std::uint32_t TCustomDSoundBuffer::GetFrequency() const { return voice_ && freqEnabled_ ? voice_->GetFrequency() : 0; }
bool TCustomDSoundBuffer::SetFrequency(std::uint32_t v) { return voice_ && freqEnabled_ && voice_->SetFrequency(v); }

bool TCustomDSoundBuffer::IsPlay() const { return created_ && voice_->IsPlaying(); }

bool TCustomDSoundBuffer::GetCaps(DSBCAPS* caps) const {
  if (caps == nullptr || !created_) return false;
  *caps = DSBCAPS{};
  caps->dwSize = sizeof(DSBCAPS);
  caps->dwFlags = capsFlags_;
  caps->dwBufferBytes = length_;
  return true;
}

bool TCustomDSoundBuffer::Restore() {
  if (!created_) return false;
  if (OnRestore) OnRestore(this);
  return true;
}

bool TCustomDSoundBuffer::IsLostAndRestore() { return created_ && (!IsLost() || Restore()); }

void TCustomDSoundBuffer::PrimaryPlayCheck() {
  if (device_ != nullptr && !device_->IsPlay()) device_->Play();
}

// ---- TDSoundBuffer ----

TDSoundBuffer::TDSoundBuffer(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                             std::uint16_t bitsPerSample, std::uint32_t length, bool panEnabled, bool freqEnabled)
    : TCustomDSoundBuffer(owner) {
  Create(channels, samplesPerSec, bitsPerSample, length, panEnabled, freqEnabled);
}

bool TDSoundBuffer::Create() {
  if (created_) return false;
  if (!FormatIsValid(channels_, samplesPerSec_, bitsPerSample_) || length_ < kMinBufferBytes ||
      length_ > kMaxBufferBytes) {
    return false;
  }
  if (!CreateVoice()) return false;
  created_ = true;
  return true;
}

bool TDSoundBuffer::CreateVoice() {
  TDSBufferParam bp{channels_, samplesPerSec_, bitsPerSample_, length_, staticFlag_, panEnabled_, freqEnabled_};
  if (!onNotify_) return CreateBuffer(&bp, nullptr);
  TDSNotifyParam np{1, [this](TDSoundThread* t, int index) { NotifyCallBack(t, index); }};
  return CreateBuffer(&bp, &np);
}

bool TDSoundBuffer::Create(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                           std::uint32_t length, bool panEnabled, bool freqEnabled) {
  if (created_) return false;
  channels_ = channels;
  samplesPerSec_ = samplesPerSec;
  bitsPerSample_ = bitsPerSample;
  length_ = length;
  panEnabled_ = panEnabled;
  freqEnabled_ = freqEnabled;
  return Create();
}

void TDSoundBuffer::Release() { ReleaseBuffer(); }

bool TDSoundBuffer::SetFormat(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample) {
  if (created_) return false;
  channels_ = channels;
  samplesPerSec_ = samplesPerSec;
  bitsPerSample_ = bitsPerSample;
  return true;
}

bool TDSoundBuffer::WriteBuffer(std::uint32_t offset, const std::uint8_t* data, std::uint32_t size) {
  if (!created_ || length_ == 0 || offset >= length_ || data == nullptr) return false;
  voice_->Stop();
  size = std::min(size, length_ - offset);
  return size == 0 || voice_->Write(offset, std::span<const std::uint8_t>(data, size));
}

bool TDSoundBuffer::Play(bool loop) {
  if (!created_) return false;
  PrimaryPlayCheck();
  Stop();
  voice_->SetCurrentPosition(0);
  stoppedByCall_ = false;
  voice_->Play(loop);
  return true;
}

bool TDSoundBuffer::Stop() {
  if (!created_) return false;
  stoppedByCall_ = true;
  voice_->Stop();
  return true;
}

std::uint32_t TDSoundBuffer::GetPosition() { return created_ ? voice_->GetCursors().play : 0; }

void TDSoundBuffer::SetOnNotify(TNotifyEvent handler) {
  if (!created_) {
    onNotify_ = std::move(handler);
    return;
  }
  if (staticFlag_ || IsPlay()) return;
  if (!thread_) {
    TDSBufferParam bp{channels_, samplesPerSec_, bitsPerSample_, length_, false, panEnabled_, freqEnabled_};
    TDSNotifyParam np{1, [this](TDSoundThread* t, int index) { NotifyCallBack(t, index); }};
    if (!CreateEventThread(&bp, &np)) return;
  }
  onNotify_ = std::move(handler);
}

void TDSoundBuffer::NotifyCallBack(TDSoundThread*, int index) {
  if (index != 0 || !onNotify_ || !TakeEndOfPlay(0)) return;
  // The handler may delete this buffer, its own stored copy included: a copy runs, and nothing of the buffer is
  // touched afterwards.
  const TNotifyEvent handler = onNotify_;
  handler(this);
}

TDSoundBuffer* TDSoundBuffer::Duplicate() {
  if (!created_ || device_ == nullptr) return nullptr;
  auto* copy = new TDSoundBuffer(device_);
  if (!copy->AttachDuplicate(*this)) {
    delete copy;
    return nullptr;
  }
  return copy;
}

bool TDSoundBuffer::AttachDuplicate(const TDSoundBuffer& original) {
  if (created_ || original.voice_ == nullptr || device_ == nullptr || device_->GetMixer() == nullptr) return false;
  voice_ = device_->GetMixer()->DuplicateVoice(*original.voice_);
  if (!voice_) return false;
  channels_ = original.channels_;
  samplesPerSec_ = original.samplesPerSec_;
  bitsPerSample_ = original.bitsPerSample_;
  length_ = original.length_;
  staticFlag_ = original.staticFlag_;
  panEnabled_ = original.panEnabled_;
  freqEnabled_ = original.freqEnabled_;
  // The duplicate has no handler yet, so no notification either (SetOnNotify sets one up).
  capsFlags_ = original.capsFlags_ & ~DSBCAPS_CTRLPOSITIONNOTIFY;
  created_ = true;
  return true;
}

// ---- TDSoundBuffer3D ----

TDSoundBuffer3D::TDSoundBuffer3D(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                                 std::uint16_t bitsPerSample, std::uint32_t length, bool freqEnabled)
    : TDSoundBuffer(owner) {
  threeD_ = true;
  TDSoundBuffer::Create(channels, samplesPerSec, bitsPerSample, length, false, freqEnabled);
}

TDSoundBuffer3D* TDSoundBuffer3D::Duplicate() {
  if (!created_ || device_ == nullptr) return nullptr;
  auto* copy = new TDSoundBuffer3D(device_);
  if (!copy->AttachDuplicate(*this)) {
    delete copy;
    return nullptr;
  }
  copy->position_ = position_;
  return copy;
}

bool TDSoundBuffer3D::Create() {
  panEnabled_ = false;
  return TDSoundBuffer::Create();
}

// ---- TDSoundStream ----

TDSoundStream::TDSoundStream(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                             std::uint16_t bitsPerSample, bool panEnabled, bool freqEnabled)
    : TCustomDSoundBuffer(owner) {
  channels_ = channels;
  samplesPerSec_ = samplesPerSec;
  bitsPerSample_ = bitsPerSample;
  panEnabled_ = panEnabled;
  freqEnabled_ = freqEnabled;
  Create();
}

TDSoundStream::TDSoundStream(Classes::TComponent* owner, VXStream* stream, bool panEnabled, bool freqEnabled)
    : TCustomDSoundBuffer(owner) {
  Create(stream, panEnabled, freqEnabled);
}

TDSoundStream::TDSoundStream(Classes::TComponent* owner, Classes::TStream* stream, bool panEnabled, bool freqEnabled)
    : TCustomDSoundBuffer(owner) {
  Create(stream, panEnabled, freqEnabled);
}

TDSoundStream::~TDSoundStream() {
  Release();
  CloseStream();
}

bool TDSoundStream::Create() {
  if (created_) return false;
  if (!FormatIsValid(channels_, samplesPerSec_, bitsPerSample_)) return false;
  const std::uint64_t length = static_cast<std::uint64_t>(channels_) * samplesPerSec_ * bitsPerSample_ / 8 * 4;
  if (length > kMaxBufferBytes) return false;
  length_ = static_cast<std::uint32_t>(length);
  try {
    work_.assign(length_ / 4, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  TDSBufferParam bp{channels_, samplesPerSec_, bitsPerSample_, length_, staticFlag_, panEnabled_, freqEnabled_};
  TDSNotifyParam np{5, [this](TDSoundThread* t, int index) { StreamCallBack(t, index); }};
  if (!CreateBuffer(&bp, &np)) {
    work_ = {};
    return false;
  }
  created_ = true;
  return true;
}

template <class Decoder>
bool TDSoundStream::OpenWith(VXStream* stream) {
  VXRefusalScope scope;
  if (open_) return VXRefuse("a sound is open already");
  std::unique_ptr<Decoder> decoder;
  if constexpr (std::is_same_v<Decoder, VXWaveStream> || std::is_same_v<Decoder, VXMp3Stream>) {
    decoder = std::make_unique<Decoder>(stream, true);
  } else {
    decoder = std::make_unique<Decoder>(stream);
  }
  return OpenPcmStream(decoder.release());
}

template <class Decoder>
bool TDSoundStream::OpenWrapped(Classes::TStream* stream) {
  VXRefusalScope scope;
  if (open_) return VXRefuse("a sound is open already");
  auto wrapper = std::make_unique<T2VXStream>(stream);
  if (!OpenWith<Decoder>(wrapper.get())) return false;
  ownedCode_ = std::move(wrapper);
  return true;
}

template <class Decoder>
bool TDSoundStream::CreateWith(VXStream* stream, bool panEnabled, bool freqEnabled) {
  if (created_) return false;
  panEnabled_ = panEnabled;
  freqEnabled_ = freqEnabled;
  if (!OpenWith<Decoder>(stream)) return false;
  if (Create()) return true;
  CloseStream();
  return false;
}

template <class Decoder>
bool TDSoundStream::CreateWrapped(Classes::TStream* stream, bool panEnabled, bool freqEnabled) {
  if (created_) return false;
  panEnabled_ = panEnabled;
  freqEnabled_ = freqEnabled;
  if (!OpenWrapped<Decoder>(stream)) return false;
  if (Create()) return true;
  CloseStream();
  return false;
}

bool TDSoundStream::Create(VXStream* s, bool pan, bool freq) { return CreateWith<VXWaveStream>(s, pan, freq); }
bool TDSoundStream::CreateMp3(VXStream* s, bool pan, bool freq) { return CreateWith<VXMp3Stream>(s, pan, freq); }
bool TDSoundStream::CreateAdp(VXStream* s, bool pan, bool freq) { return CreateWith<VXAdpStream>(s, pan, freq); }
bool TDSoundStream::CreateOgg(VXStream* s, bool pan, bool freq) { return CreateWith<VXOggStream>(s, pan, freq); }
bool TDSoundStream::Create(Classes::TStream* s, bool pan, bool freq) { return CreateWrapped<VXWaveStream>(s, pan, freq); }
bool TDSoundStream::CreateMp3(Classes::TStream* s, bool pan, bool freq) { return CreateWrapped<VXMp3Stream>(s, pan, freq); }
bool TDSoundStream::CreateAdp(Classes::TStream* s, bool pan, bool freq) { return CreateWrapped<VXAdpStream>(s, pan, freq); }
bool TDSoundStream::CreateOgg(Classes::TStream* s, bool pan, bool freq) { return CreateWrapped<VXOggStream>(s, pan, freq); }
bool TDSoundStream::OpenStream(VXStream* s) { return OpenWith<VXWaveStream>(s); }
bool TDSoundStream::OpenStreamMp3(VXStream* s) { return OpenWith<VXMp3Stream>(s); }
bool TDSoundStream::OpenStreamAdp(VXStream* s) { return OpenWith<VXAdpStream>(s); }
bool TDSoundStream::OpenStreamOgg(VXStream* s) { return OpenWith<VXOggStream>(s); }
bool TDSoundStream::OpenStream(Classes::TStream* s) { return OpenWrapped<VXWaveStream>(s); }
bool TDSoundStream::OpenStreamMp3(Classes::TStream* s) { return OpenWrapped<VXMp3Stream>(s); }
bool TDSoundStream::OpenStreamAdp(Classes::TStream* s) { return OpenWrapped<VXAdpStream>(s); }
bool TDSoundStream::OpenStreamOgg(Classes::TStream* s) { return OpenWrapped<VXOggStream>(s); }

bool TDSoundStream::OpenPcmStream(VXPcmStream* decoder) {
  VXRefusalScope scope;
  std::unique_ptr<VXPcmStream> owned(decoder);
  if (open_) return VXRefuse("a sound is open already");
  if (!owned || !owned->IsOpen()) return false;
  const int channels = owned->GetChannels();
  const int rate = owned->GetRate();
  const int bits = owned->GetBits();
  if (created_) {
    if (channels != channels_ || rate != static_cast<int>(samplesPerSec_) || bits != bitsPerSample_) {
      return VXRefuse("the sound's format differs from the stream's");
    }
  } else {
    if (!Playable(owned.get())) return false;
    channels_ = static_cast<std::uint16_t>(channels);
    samplesPerSec_ = static_cast<std::uint32_t>(rate);
    bitsPerSample_ = static_cast<std::uint16_t>(bits);
  }
  loopStart_ = loopEnd_ = 0;
  streamSize_ = static_cast<std::uint32_t>(std::max<std::int64_t>(owned->GetSize(), 0));
  decoder_ = std::move(owned);
  open_ = true;
  return true;
}

bool TDSoundStream::CloseStream() {
  if (!open_) return true;
  Stop();
  open_ = false;
  decoder_.reset();
  ownedCode_.reset();
  return true;
}

void TDSoundStream::Release() {
  ReleaseBuffer();
  work_ = {};
}

void TDSoundStream::ResetQuarterEvents() {
  for (int i = 1; i <= 4; ++i) {
    if (Event* e = thread_ ? thread_->GetEvent(i) : nullptr) e->Reset();
  }
}

bool TDSoundStream::Play(bool loop, std::uint32_t start) {
  if (!created_ || !open_) return false;
  PrimaryPlayCheck();
  Stop();
  loop_ = loop;
  {
    std::lock_guard<std::mutex> guard(positionLock_);
    quarterStart_ = {};
    pastEnd_ = {};
    playedToEnd_ = false;
  }
  if (start != static_cast<std::uint32_t>(decoder_->GetPosition())) {
    const bool seeked = start != 0 && decoder_->IsSeekable() && decoder_->Seek(start, VXSeekBegin) >= 0;
    if (!seeked) decoder_->Reset();
  }
  const std::uint32_t q = GetQuarter();
  for (int k = 0; k < 2; ++k) {
    {
      std::lock_guard<std::mutex> guard(positionLock_);
      quarterStart_[k] = static_cast<std::uint32_t>(decoder_->GetPosition());
    }
    BlockCopy(k * q, q);
    pastEnd_[k + 1] = decoder_->IsEnd();
  }
  voice_->SetCurrentPosition(0);
  stoppedByCall_ = false;
  stopRequested_ = false;
  voice_->Play(true);  // the ring always loops
  return true;
}

bool TDSoundStream::Seek(int position) {
  if (position < 0) return false;
  return Play(loop_, static_cast<std::uint32_t>(position));
}

bool TDSoundStream::Stop() {
  if (!created_ || !open_) return false;
  stoppedByCall_ = true;
  std::lock_guard<std::mutex> guard(refillLock_);
  stopRequested_ = true;
  voice_->Stop();
  // No stale quarter notification may be served after a later Play.
  ResetQuarterEvents();
  return true;
}

bool TDSoundStream::StopInSync() {
  if (!created_ || !open_) return false;
  // Not a stop by call: the owner hears of it through OnNotify.
  syncStopGeneration_ = voice_->Generation();
  voice_->Stop();
  ResetQuarterEvents();
  return true;
}

bool TDSoundStream::BlockCopy(std::uint32_t offset, std::uint32_t size) {
  if (!created_ || !open_ || size > work_.size()) return false;
  std::uint32_t filled = 0;
  int emptyReads = 0;
  do {
    if (loop_ && (decoder_->IsEnd() || (loopEnd_ != 0 && decoder_->GetPosition() >= loopEnd_))) {
      SetStreamSize(decoder_->GetPosition());
      if (!decoder_->MoveToSample(static_cast<int>(loopStart_ / decoder_->FrameBytes()))) decoder_->Reset();
    }
    if (decoder_->IsEnd()) {
      ++emptyReads;
      continue;
    }
    std::int64_t n = size - filled;
    if (loop_ && loopEnd_ != 0) n = std::min<std::int64_t>(n, loopEnd_ - decoder_->GetPosition());
    const int got = std::max(decoder_->Read(work_.data() + filled, static_cast<int>(n)), 0);
    filled += static_cast<std::uint32_t>(got);
    emptyReads = got == 0 ? emptyReads + 1 : 0;
  } while (loop_ && emptyReads < 2 && filled < size);
  // A sound played once may end before its header said (a cut file): that is where its positions stop.
  if (!loop_ && decoder_->IsEnd()) SetStreamSize(decoder_->GetPosition());
  if (filled < size) FillMute(work_.data() + filled, size - filled);
  return voice_->Write(offset, std::span<const std::uint8_t>(work_.data(), size));
}

void TDSoundStream::FillMute(std::uint8_t* data, std::size_t size) {
  std::memset(data, created_ && open_ && bitsPerSample_ == 8 ? 0x80 : 0, size);
}

void TDSoundStream::StreamCallBack(TDSoundThread*, int index) {
  if (index == 0) {
    if (!onNotify_ || !TakeEndOfPlay(syncStopGeneration_)) return;
    const TNotifyEvent handler = onNotify_;  // the handler may delete this stream
    handler(this);
    return;
  }
  std::lock_guard<std::mutex> guard(refillLock_);
  if (stopRequested_ || !created_ || !open_) return;
  if (pastEnd_[index - 1] && !loop_) {
    {
      // What the device still holds of the sound is heard after the stop: the position is its end.
      std::lock_guard<std::mutex> position(positionLock_);
      playedToEnd_ = true;
    }
    StopInSync();
    return;
  }
  {
    std::lock_guard<std::mutex> position(positionLock_);
    quarterStart_[(index + 1) % 4] = static_cast<std::uint32_t>(decoder_->GetPosition());
  }
  static constexpr std::uint32_t kRefillQuarter[5] = {0, 2, 3, 0, 1};
  BlockCopy(kRefillQuarter[index] * GetQuarter(), GetQuarter());
  pastEnd_[(index + 2) % 4] = decoder_->IsEnd();
}

void TDSoundStream::SetStreamSize(std::int64_t size) {
  std::lock_guard<std::mutex> guard(positionLock_);
  streamSize_ = static_cast<std::uint32_t>(std::max<std::int64_t>(size, 0));
}

std::uint32_t TDSoundStream::GetPosition() {
  if (!created_) return 0;
  std::lock_guard<std::mutex> guard(positionLock_);
  const std::uint32_t q = GetQuarter();
  const std::uint32_t cursor = voice_->GetCursors().play;
  const std::uint32_t k = std::min<std::uint32_t>(cursor / q, 3);
  std::uint64_t position = static_cast<std::uint64_t>(quarterStart_[k]) + cursor - k * q;
  if (playedToEnd_) return streamSize_;
  if (streamSize_ == 0 || position < streamSize_) return static_cast<std::uint32_t>(position);
  // Played once, the ring goes on with silence after the end until the stream stops itself: the position stays at
  // the end. Looping, the sound went on from the loop start, as many times as a quarter held passes.
  if (!loop_) return streamSize_;
  const std::uint64_t loopLength = streamSize_ > loopStart_ ? streamSize_ - loopStart_ : streamSize_;
  const std::uint64_t base = streamSize_ > loopStart_ ? loopStart_ : 0;
  return static_cast<std::uint32_t>(base + (position - streamSize_) % loopLength);
}

std::uint32_t TDSoundStream::GetStreamSize() {
  return created_ && decoder_ ? static_cast<std::uint32_t>(std::max<std::int64_t>(decoder_->GetSize(), 0)) : 0;
}

bool TDSoundStream::SetLoopPoint(std::uint32_t start) {
  VXRefusalScope scope;
  if (!created_ || !decoder_) return VXRefuse("no sound is open");
  loopStart_ = 0;
  if (start >= GetStreamSize()) return start == 0 || VXRefuse("the loop start lies beyond the end of the sound");
  // Without a seek each pass decodes the sound again up to the loop start: at most one pass a refill.
  if (start != 0 && !decoder_->IsSeekable() && GetStreamSize() - start < length_) {
    return VXRefuse("this sound cannot seek: its loop must last at least four seconds");
  }
  loopStart_ = start;
  return true;
}

bool TDSoundStream::SetLoopPoint(std::uint32_t start, std::uint32_t end) {
  VXRefusalScope scope;
  loopEnd_ = 0;
  if (!SetLoopPoint(start)) return false;
  if (static_cast<std::uint64_t>(end) < static_cast<std::uint64_t>(loopStart_) + length_) {
    return VXRefuse("a loop end must lie at least four seconds after the loop start");
  }
  loopEnd_ = end;
  return true;
}

// ---- TDSoundStream3D ----

TDSoundStream3D::TDSoundStream3D(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                                 std::uint16_t bitsPerSample, bool freqEnabled)
    : TDSoundStream(owner) {
  threeD_ = true;
  channels_ = channels;
  samplesPerSec_ = samplesPerSec;
  bitsPerSample_ = bitsPerSample;
  freqEnabled_ = freqEnabled;
  Create();
}

TDSoundStream3D::TDSoundStream3D(Classes::TComponent* owner, VXStream* stream, bool freqEnabled)
    : TDSoundStream(owner) {
  threeD_ = true;
  Create(stream, freqEnabled);
}

TDSoundStream3D::TDSoundStream3D(Classes::TComponent* owner, Classes::TStream* stream, bool freqEnabled)
    : TDSoundStream(owner) {
  threeD_ = true;
  Create(stream, freqEnabled);
}

}  // namespace DirectX
