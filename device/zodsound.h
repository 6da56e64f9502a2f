// The sound device and its buffers, on our own mixer (platform/mixer.h) over SDL.
//
// `TDSound` is the one sound device: a component that owns the mixer and its output, keeps every buffer and stream
// made with it as owner, and makes static buffers (whole sounds decoded into memory) and streamed buffers from WAVE,
// MP3, ADP and Ogg Vorbis data. Disabling it destroys every buffer still in its list.
//
// `TDSoundBuffer` holds a whole sound and plays it from the start, once or looping. `TDSoundStream` plays a sound of
// any length through a ring of four seconds: its notification thread wakes it each time the play position enters a
// quarter, and the quarter two ahead is refilled from the decoder. Its position is in bytes of the decoded sound:
// never beyond the sound's end, and going back only where a loop wraps.
//
// Notifications: a buffer with an OnNotify handler (and every stream) has a thread of its own that waits for its
// events with a 100 ms time-out and calls back on that thread. OnNotify fires when a sound played once ends by itself,
// never for a Stop the owner asked for, and never for the end of a previous play (stops carry the generation of the
// play they end). A handler may delete its own buffer.
//
// Threads: buffers are made and deleted on one thread; the game thread plays, stops and reads positions while the
// notification threads refill. Nothing here throws; failures are false, null or 0. A factory or an open that
// refuses a sound names the reason in VXRefusal (core/vxrefusal.h) on the calling thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/vxlpcmstream.h"
#include "platform/audio.h"
#include "platform/component.h"
#include "platform/thread.h"

namespace DirectX {

using TNotifyEvent = std::function<void(Classes::TComponent* sender)>;

class TCustomDSoundBuffer;
class TDSoundBuffer;
class TDSoundBuffer3D;
class TDSoundStream;
class TDSoundThread;

// Capabilities of the device: what our mixer does, in the record the game asks for. The mixer is software only, so
// every hardware count and memory field is 0.
inline constexpr std::uint32_t DSCAPS_PRIMARYSTEREO = 0x2, DSCAPS_PRIMARY16BIT = 0x8, DSCAPS_CONTINUOUSRATE = 0x10,
                               DSCAPS_SECONDARYMONO = 0x100, DSCAPS_SECONDARYSTEREO = 0x200,
                               DSCAPS_SECONDARY8BIT = 0x400, DSCAPS_SECONDARY16BIT = 0x800;

struct DSCAPS {
  std::uint32_t dwSize = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwMinSecondarySampleRate = 0;
  std::uint32_t dwMaxSecondarySampleRate = 0;
  std::uint32_t dwPrimaryBuffers = 0;
  std::uint32_t dwMaxHwMixingAllBuffers = 0, dwMaxHwMixingStaticBuffers = 0, dwMaxHwMixingStreamingBuffers = 0;
  std::uint32_t dwFreeHwMixingAllBuffers = 0, dwFreeHwMixingStaticBuffers = 0, dwFreeHwMixingStreamingBuffers = 0;
  std::uint32_t dwMaxHw3DAllBuffers = 0, dwMaxHw3DStaticBuffers = 0, dwMaxHw3DStreamingBuffers = 0;
  std::uint32_t dwFreeHw3DAllBuffers = 0, dwFreeHw3DStaticBuffers = 0, dwFreeHw3DStreamingBuffers = 0;
  std::uint32_t dwTotalHwMemBytes = 0, dwFreeHwMemBytes = 0, dwMaxContigFreeHwMemBytes = 0;
  std::uint32_t dwUnlockTransferRateHwBuffers = 0;
  std::uint32_t dwPlayCpuOverheadSwBuffers = 0;
  std::uint32_t dwReserved1 = 0, dwReserved2 = 0;
};
static_assert(sizeof(DSCAPS) == 96);

// The flags a buffer was made with, as its capability record reports them.
inline constexpr std::uint32_t DSBCAPS_PRIMARYBUFFER = 0x1, DSBCAPS_STATIC = 0x2, DSBCAPS_LOCSOFTWARE = 0x8,
                               DSBCAPS_CTRL3D = 0x10, DSBCAPS_CTRLFREQUENCY = 0x20, DSBCAPS_CTRLPAN = 0x40,
                               DSBCAPS_CTRLVOLUME = 0x80, DSBCAPS_CTRLPOSITIONNOTIFY = 0x100,
                               DSBCAPS_GLOBALFOCUS = 0x8000, DSBCAPS_GETCURRENTPOSITION2 = 0x10000;

struct DSBCAPS {
  std::uint32_t dwSize = 0;
  std::uint32_t dwFlags = 0;
  std::uint32_t dwBufferBytes = 0;
  std::uint32_t dwUnlockTransferRate = 0;  // kilobytes per second; 0: not measured
  std::uint32_t dwPlayCpuOverhead = 0;     // per cent of the processor; 0: not measured
};
static_assert(sizeof(DSBCAPS) == 20);

inline constexpr std::uint32_t kMinBufferBytes = 4;
inline constexpr std::uint32_t kMaxBufferBytes = 268435455;

class TDSound : public Classes::TComponent {
public:
  explicit TDSound(Classes::TComponent* owner, platform::thread::Clock& clock = platform::thread::MonotonicClock());
  ~TDSound() override;

  std::uint16_t GetChannels() const { return channels_; }
  void SetChannels(std::uint16_t channels);  // 1 or 2
  std::uint32_t GetSamplesPerSec() const { return samplesPerSec_; }
  void SetSamplesPerSec(std::uint32_t rate);  // not 0
  std::uint16_t GetBitsPerSample() const { return bitsPerSample_; }
  void SetBitsPerSample(std::uint16_t bits);  // 8 or 16
  bool GetUse3D() const { return use3D_; }
  void SetUse3D(bool use3D);  // only while closed
  bool GetEnabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Where the mix goes: the default SDL output, or (set while closed) a manual sink that tests and tools pump.
  void SetManualOutput(bool manual, std::uint32_t latencyFrames = 0);
  platform::audio::ManualSink* GetManualSink() const { return manualSink_; }
  platform::audio::Mixer* GetMixer() const { return mixer_.get(); }

  bool DSoundCreate();
  void DSoundRelease();
  // What the mixer offers; open or closed alike (it needs no device). False only for a null record.
  bool GetCaps(DSCAPS* caps) const;
  // Our mixer always outputs 44,100 Hz 16-bit stereo; the stored format is what buffers of the device's format use.
  bool FormatPriBuffer();
  bool IsPlay() const { return enabled_ && primaryPlaying_; }
  void Play();
  void Stop();

  TDSoundBuffer* CreateBuffer(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
                              std::uint32_t length, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBuffer(std::uint32_t length);
  TDSoundBuffer* CreateBufferMute(int seconds);
  TDSoundBuffer* CreateBufferFromPcmStream(VXPcmStream* pcm, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromWave(VXStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromMp3(VXStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromAdp(VXStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromOgg(VXStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromWave(Classes::TStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromMp3(Classes::TStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromAdp(Classes::TStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);
  TDSoundBuffer* CreateBufferFromOgg(Classes::TStream* stream, bool panEnabled, bool freqEnabled, bool staticFlag);

  TDSoundBuffer3D* CreateBuffer3DFromPcmStream(VXPcmStream* pcm, bool freqEnabled);
  TDSoundBuffer3D* CreateBuffer3DFromWave(VXStream* stream, bool freqEnabled);
  TDSoundBuffer3D* CreateBuffer3DFromMp3(VXStream* stream, bool freqEnabled);
  TDSoundBuffer3D* CreateBuffer3DFromAdp(VXStream* stream, bool freqEnabled);
  TDSoundBuffer3D* CreateBuffer3DFromOgg(VXStream* stream, bool freqEnabled);

  // The stream reads the caller's stream while it plays: keep it open until the sound stream is deleted.
  TDSoundStream* CreateStreamFromWave(VXStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromMp3(VXStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromAdp(VXStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromOgg(VXStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromWave(Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromMp3(Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromAdp(Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream* CreateStreamFromOgg(Classes::TStream* stream, bool panEnabled, bool freqEnabled);

  // The buffers made on this device, which owns them as its components. A game makes and deletes buffers on more
  // than one thread (its logic loads sounds while its frames end faded music), so both lists change under one lock.
  bool AddBufferList(TCustomDSoundBuffer* buffer);
  bool DelBufferList(TCustomDSoundBuffer* buffer);
  bool RestoreAllBuffers();
  int GetBufferCount() const;

protected:
  // The buffers hold no references to other components, so no news is passed on to them: one may be half made on
  // another thread while another comes or goes.
  void Notification(Classes::TComponent*, Classes::TOperation) override {}

private:
  void DeleteBuffers();
  template <class Buffer>
  Buffer* FromPcm(VXPcmStream* pcm, bool panEnabled, bool freqEnabled, bool staticFlag);
  template <class Decoder>
  TDSoundStream* MakeStream(VXStream* stream, bool panEnabled, bool freqEnabled);

  platform::thread::Clock& clock_;
  std::uint16_t channels_ = 2;
  std::uint32_t samplesPerSec_ = 44100;
  std::uint16_t bitsPerSample_ = 16;
  bool use3D_ = false;
  bool enabled_ = false;
  bool primaryPlaying_ = false;
  bool manualOutput_ = false;
  std::uint32_t manualLatency_ = 0;
  std::unique_ptr<platform::audio::Mixer> mixer_;
  std::unique_ptr<platform::audio::AudioSink> sink_;
  platform::audio::ManualSink* manualSink_ = nullptr;
  mutable std::mutex bufferLock_;
  std::vector<TCustomDSoundBuffer*> buffers_;  // under bufferLock_, as the component list
};

// A creation request.
struct TDSBufferParam {
  std::uint16_t channels = 2;
  std::uint32_t samplesPerSec = 44100;
  std::uint16_t bitsPerSample = 16;
  std::uint32_t length = 0;
  bool staticFlag = false;
  bool pan = false;
  bool frequency = false;
};

// A notification request: 1 event (the stop) or 5 (the stop, then the starts of the four quarters).
struct TDSNotifyParam {
  int count = 1;
  std::function<void(TDSoundThread*, int index)> callback;
};

// The thread that waits for a buffer's notification events (100 ms at a time, on `clock`) and calls back with the
// index of the one that fired. Deleting it wakes the thread and joins it, without a callback and without waiting
// out its wait; deleting it from inside its own callback lets the thread finish by itself.
class TDSoundThread {
public:
  TDSoundThread(int count, std::function<void(TDSoundThread*, int)> callback,
                platform::thread::Clock& clock = platform::thread::MonotonicClock());
  ~TDSoundThread();
  TDSoundThread(const TDSoundThread&) = delete;
  TDSoundThread& operator=(const TDSoundThread&) = delete;

  int GetCount() const;
  platform::thread::Event* GetEvent(int index) const;
  int GetLastIndex() const;
  // No event waits to be served and no callback runs (for tests that pump the mixer by hand).
  bool IsIdle() const;
  void Resume();
  bool IsCurrentThread() const { return thread_.get_id() == std::this_thread::get_id(); }

private:
  struct State;
  static void Execute(TDSoundThread* self, std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  std::thread thread_;
};

class TCustomDSoundBuffer : public Classes::TComponent {
public:
  explicit TCustomDSoundBuffer(Classes::TComponent* owner);
  ~TCustomDSoundBuffer() override;

  std::uint16_t GetChannels() const { return channels_; }
  void SetChannels(std::uint16_t channels);
  std::uint32_t GetSamplesPerSec() const { return samplesPerSec_; }
  void SetSamplesPerSec(std::uint32_t rate);
  std::uint16_t GetBitsPerSample() const { return bitsPerSample_; }
  void SetBitsPerSample(std::uint16_t bits);
  std::uint32_t GetLength() const { return length_; }
  void SetLength(std::uint32_t length);
  bool GetStaticFlag() const { return staticFlag_; }
  void SetStaticFlag(bool value);
  bool GetPanEnabled() const { return panEnabled_; }
  void SetPanEnabled(bool value);
  bool GetFreqEnabled() const { return freqEnabled_; }
  void SetFreqEnabled(bool value);
  bool IsCreated() const { return created_; }
  TDSound* GetDevice() const { return device_; }

  TNotifyEvent OnRestore;
  const TNotifyEvent& GetOnNotify() const { return onNotify_; }
  virtual void SetOnNotify(TNotifyEvent handler) { onNotify_ = std::move(handler); }

  virtual bool Create() = 0;
  virtual void Release() = 0;
  virtual bool Play(bool loop) = 0;
  virtual bool Stop() = 0;
  virtual std::uint32_t GetPosition() = 0;

  std::int32_t GetVolume() const;
  bool SetVolume(std::int32_t hundredthsDb);
  std::int32_t GetPan() const;
  bool SetPan(std::int32_t pan);
  std::uint32_t GetFrequency() const;
  bool SetFrequency(std::uint32_t hz);

  bool IsPlay() const;
  // The buffer's size and the flags it was made with (all buffers live in software). False when not created.
  bool GetCaps(DSBCAPS* caps) const;
  bool IsLost() const { return false; }  // our buffers live in memory and are never lost
  bool Restore();
  bool IsLostAndRestore();
  void PrimaryPlayCheck();

  // The positions the notification thread was asked for, for a look from tests: offsets, kStopPosition first.
  std::vector<std::uint32_t> GetNotificationOffsets() const { return notifyOffsets_; }
  TDSoundThread* GetNotifyThread() const { return thread_.get(); }

protected:
  bool CreateBuffer(TDSBufferParam* bp, TDSNotifyParam* np);
  bool CreateEventThread(TDSBufferParam* bp, TDSNotifyParam* np);
  // Stops, takes the voice out of the mix and ends the notification thread (without joining it from itself).
  void ReleaseBuffer();
  // Whether the stop note just taken is an end the owner must hear of.
  bool TakeEndOfPlay(std::uint64_t syncStopGeneration);
  static bool FormatIsValid(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits);

  std::atomic<bool> created_{false};
  bool threeD_ = false;        // a buffer with a position in space: never panned
  std::uint32_t capsFlags_ = 0;  // the flags the buffer was made with
  std::uint16_t channels_ = 2;
  std::uint32_t samplesPerSec_ = 44100;
  std::uint16_t bitsPerSample_ = 16;
  std::uint32_t length_ = 0;
  bool staticFlag_ = false;
  bool panEnabled_ = false;
  bool freqEnabled_ = false;
  TDSound* device_ = nullptr;
  std::unique_ptr<platform::audio::Voice> voice_;
  std::unique_ptr<TDSoundThread> thread_;
  std::vector<std::uint32_t> notifyOffsets_;
  TNotifyEvent onNotify_;
  std::atomic<bool> stoppedByCall_{false};
};

class TDSoundBuffer : public TCustomDSoundBuffer {
public:
  explicit TDSoundBuffer(Classes::TComponent* owner) : TCustomDSoundBuffer(owner) {}
  TDSoundBuffer(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                std::uint16_t bitsPerSample, std::uint32_t length, bool panEnabled, bool freqEnabled);
  ~TDSoundBuffer() override { Release(); }

  bool Create() override;
  bool Create(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample,
              std::uint32_t length, bool panEnabled, bool freqEnabled);
  void Release() override;
  bool Play(bool loop) override;
  bool Stop() override;
  std::uint32_t GetPosition() override;
  void SetOnNotify(TNotifyEvent handler) override;

  // Stores a format while not created; the device's own format otherwise lives in TDSound.
  bool SetFormat(std::uint16_t channels, std::uint32_t samplesPerSec, std::uint16_t bitsPerSample);
  // Writes `size` bytes at `offset` (stopping the buffer); bytes past the end of the buffer are not written.
  bool WriteBuffer(std::uint32_t offset, const std::uint8_t* data, std::uint32_t size);
  // A new buffer of the same device that plays the same sound bytes as this one (a write to either is heard in both)
  // with its own position, volume, pan, frequency and handlers; null when not created.
  TDSoundBuffer* Duplicate();

protected:
  // Makes this (not created) buffer a duplicate of `original`.
  bool AttachDuplicate(const TDSoundBuffer& original);

  virtual bool CreateVoice();
  void NotifyCallBack(TDSoundThread* thread, int index);
};

// A buffer with a position in space. Our mixer has no 3D rendering: the position is kept, and the sound plays as a
// plain buffer without pan.
class TDSoundBuffer3D : public TDSoundBuffer {
public:
  explicit TDSoundBuffer3D(Classes::TComponent* owner) : TDSoundBuffer(owner) { threeD_ = true; }
  TDSoundBuffer3D(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                  std::uint16_t bitsPerSample, std::uint32_t length, bool freqEnabled);

  using TDSoundBuffer::Create;
  bool Create() override;
  // A duplicate keeps the position of this buffer.
  TDSoundBuffer3D* Duplicate();
  void SetPosition(float x, float y, float z) { position_ = {x, y, z}; }
  std::array<float, 3> GetPosition3D() const { return position_; }

private:
  std::array<float, 3> position_{};
};

class TDSoundStream : public TCustomDSoundBuffer {
public:
  explicit TDSoundStream(Classes::TComponent* owner) : TCustomDSoundBuffer(owner) {}
  TDSoundStream(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                std::uint16_t bitsPerSample, bool panEnabled, bool freqEnabled);
  TDSoundStream(Classes::TComponent* owner, VXStream* stream, bool panEnabled, bool freqEnabled);
  TDSoundStream(Classes::TComponent* owner, Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  ~TDSoundStream() override;

  bool Create() override;
  bool Create(VXStream* stream, bool panEnabled, bool freqEnabled);
  bool CreateMp3(VXStream* stream, bool panEnabled, bool freqEnabled);
  bool CreateAdp(VXStream* stream, bool panEnabled, bool freqEnabled);
  bool CreateOgg(VXStream* stream, bool panEnabled, bool freqEnabled);
  bool Create(Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  bool CreateMp3(Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  bool CreateAdp(Classes::TStream* stream, bool panEnabled, bool freqEnabled);
  bool CreateOgg(Classes::TStream* stream, bool panEnabled, bool freqEnabled);

  bool OpenStream(VXStream* stream);
  bool OpenStreamMp3(VXStream* stream);
  bool OpenStreamAdp(VXStream* stream);
  bool OpenStreamOgg(VXStream* stream);
  bool OpenStream(Classes::TStream* stream);
  bool OpenStreamMp3(Classes::TStream* stream);
  bool OpenStreamAdp(Classes::TStream* stream);
  bool OpenStreamOgg(Classes::TStream* stream);
  // Takes the decoder (owned from then on, also on failure); its format must match a created buffer's.
  bool OpenPcmStream(VXPcmStream* decoder);
  bool CloseStream();
  bool IsStreamOpen() const { return open_; }

  void Release() override;
  bool Play(bool loop) override { return Play(loop, 0); }
  bool Play(bool loop, std::uint32_t start);
  // Restarts playback at a byte position of the decoded sound; false for a negative position.
  bool Seek(int position);
  bool Stop() override;
  bool StopInSync();
  std::uint32_t GetPosition() override;
  std::uint32_t GetStreamSize();
  // Loop points in bytes of decoded sound, taken by a later Play(true); a refused point is not set and the call
  // says why (false, the reason in VXRefusal). The loop start must lie inside the sound (0 always does); on a
  // decoder that cannot seek, a loop start other than 0 needs a loop (to the end of the sound) of at least Length
  // (four seconds), since each pass decodes the sound again up to it. A loop end must lie at least Length after
  // the loop start. Looping wraps at the loop start sample-exact, seekable decoder or not.
  bool SetLoopPoint(std::uint32_t start);
  bool SetLoopPoint(std::uint32_t start, std::uint32_t end);

  std::uint32_t GetQuarter() const { return length_ / 4; }

private:
  template <class Decoder>
  bool OpenWith(VXStream* stream);
  template <class Decoder>
  bool OpenWrapped(Classes::TStream* stream);
  template <class Decoder>
  bool CreateWith(VXStream* stream, bool panEnabled, bool freqEnabled);
  template <class Decoder>
  bool CreateWrapped(Classes::TStream* stream, bool panEnabled, bool freqEnabled);

  bool BlockCopy(std::uint32_t offset, std::uint32_t size);
  void SetStreamSize(std::int64_t size);
  void FillMute(std::uint8_t* data, std::size_t size);
  void StreamCallBack(TDSoundThread* thread, int index);
  void ResetQuarterEvents();

  bool open_ = false;
  std::unique_ptr<VXStream> ownedCode_;  // a wrapper of the caller's framework stream
  std::unique_ptr<VXPcmStream> decoder_;
  std::vector<std::uint8_t> work_;
  std::atomic<bool> loop_{false};
  std::array<std::uint32_t, 4> quarterStart_{};
  std::array<bool, 4> pastEnd_{};
  bool playedToEnd_ = false;  // stopped itself after the end of a sound played once (under the position lock)
  std::mutex refillLock_;
  std::mutex positionLock_;
  std::atomic<bool> stopRequested_{false};
  std::uint32_t loopStart_ = 0;
  std::uint32_t loopEnd_ = 0;
  std::uint32_t streamSize_ = 0;
  std::atomic<std::uint64_t> syncStopGeneration_{0};
};

class TDSoundStream3D : public TDSoundStream {
public:
  explicit TDSoundStream3D(Classes::TComponent* owner) : TDSoundStream(owner) { threeD_ = true; }
  TDSoundStream3D(Classes::TComponent* owner, std::uint16_t channels, std::uint32_t samplesPerSec,
                  std::uint16_t bitsPerSample, bool freqEnabled);
  TDSoundStream3D(Classes::TComponent* owner, VXStream* stream, bool freqEnabled);
  TDSoundStream3D(Classes::TComponent* owner, Classes::TStream* stream, bool freqEnabled);

  // As the plain stream's, never panned.
  using TDSoundStream::Create;
  using TDSoundStream::CreateAdp;
  using TDSoundStream::CreateMp3;
  using TDSoundStream::CreateOgg;
  bool Create(VXStream* stream, bool freqEnabled) { return TDSoundStream::Create(stream, false, freqEnabled); }
  bool CreateMp3(VXStream* stream, bool freqEnabled) { return TDSoundStream::CreateMp3(stream, false, freqEnabled); }
  bool CreateAdp(VXStream* stream, bool freqEnabled) { return TDSoundStream::CreateAdp(stream, false, freqEnabled); }
  bool CreateOgg(VXStream* stream, bool freqEnabled) { return TDSoundStream::CreateOgg(stream, false, freqEnabled); }
  bool Create(Classes::TStream* stream, bool freqEnabled) { return TDSoundStream::Create(stream, false, freqEnabled); }
  bool CreateMp3(Classes::TStream* stream, bool freqEnabled) {
    return TDSoundStream::CreateMp3(stream, false, freqEnabled);
  }
  bool CreateAdp(Classes::TStream* stream, bool freqEnabled) {
    return TDSoundStream::CreateAdp(stream, false, freqEnabled);
  }
  bool CreateOgg(Classes::TStream* stream, bool freqEnabled) {
    return TDSoundStream::CreateOgg(stream, false, freqEnabled);
  }

  void SetPosition(float x, float y, float z) { position_ = {x, y, z}; }
  std::array<float, 3> GetPosition3D() const { return position_; }

protected:

private:
  std::array<float, 3> position_{};
};

}  // namespace DirectX
