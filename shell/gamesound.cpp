// The sound service of the game window: music, voice, sound effects and system sounds (declared in gamef.h).
#include <algorithm>
#include <cstdint>

#include "core/vxfileman.h"
#include "core/vxstream.h"
#include "device/zodsound.h"
#include "shell/gamef.h"
#include "shell/gamefunc.h"

namespace {

bool IsPercent(int value) { return value >= 0 && value <= 100; }

// Where a track repeats from when it loops: bytes of its decoded 16-bit stereo 44,100 Hz sound.
struct LoopPoint {
  int track;
  std::uint32_t bytes;
};
constexpr LoopPoint kLoopPoints[] = {{1, 0}, {2, 0}, {3, 3'175'020}, {4, 907'224}};

// One step of a glide toward `target` that does not pass it.
int Glide(int from, int target, int step) {
  return from < target ? std::min(from + step, target) : std::max(from - step, target);
}

void ApplyVolume(DirectX::TCustomDSoundBuffer* buffer, long attenuation) {
  if (buffer != nullptr) buffer->SetVolume(static_cast<std::int32_t>(attenuation));
}

template <class Buffer>
void DeleteSound(Buffer*& buffer) {
  if (buffer == nullptr) return;
  buffer->Stop();
  MemMan->Delete(buffer);
}

bool IsPlaying(const DirectX::TCustomDSoundBuffer* buffer) { return buffer != nullptr && buffer->IsPlay(); }

}  // namespace

bool TGameForm::HasSoundDevice() const { return sound_ != nullptr && sound_->GetEnabled(); }

// ---- Volumes and rates --------------------------------------------------------------------------------------

int TGameForm::BgmTarget() const { return displayConfig_.VolumeBGM * bgmRate_ / 100; }

// A voice, SE or loop started with a rear flag above 0 plays at the rear volume in place of its own.
int TGameForm::UserVolume(const TSoundChannel& channel, int own) const {
  return channel.rear > 0 ? displayConfig_.VolumeRear : own;
}

int TGameForm::LoopSeTarget() const { return UserVolume(loopSe_, displayConfig_.VolumeSE) * loopSeRate_ / 100; }

// The voice, the SE and the system sounds at their volumes now (the music and the loop glide by frames).
void TGameForm::ApplyChannelVolumes() {
  const TDisplayConfig& user = displayConfig_;
  ApplyVolume(voice_.buffer, ScaledVolumeToAttenuation(UserVolume(voice_, user.VolumeVoice), voiceRate_));
  ApplyVolume(se_.buffer, ScaledVolumeToAttenuation(UserVolume(se_, user.VolumeSE), seRate_));
  for (DirectX::TDSoundBuffer* buffer : systemBuffers_) ApplyVolume(buffer, VolumeToAttenuation(user.VolumeSE));
}

void TGameForm::SetBgmVolume(int volume) {
  const VXSectionHold hold(soundLock_);
  if (!IsPercent(volume)) return;
  displayConfig_.VolumeBGM = volume;
  bgmVolume_ = BgmTarget();
  ApplyVolume(bgmStreams_[static_cast<std::size_t>(bgmSlot_)], VolumeToAttenuation(bgmVolume_));
}

// A user volume or rate of the voice, the SE or the system sounds: what plays takes it at once.
void TGameForm::SetChannelPercent(int& setting, int value) {
  const VXSectionHold hold(soundLock_);
  if (!IsPercent(value)) return;
  setting = value;
  ApplyChannelVolumes();
}

// A rate that the per-frame glide follows.
void TGameForm::SetGlidePercent(int& setting, int value) {
  const VXSectionHold hold(soundLock_);
  if (IsPercent(value)) setting = value;
}

int TGameForm::ReadPercent(const int& setting) {
  const VXSectionHold hold(soundLock_);
  return setting;
}

void TGameForm::SetVoiceVolume(int volume) { SetChannelPercent(displayConfig_.VolumeVoice, volume); }
void TGameForm::SetSeVolume(int volume) { SetChannelPercent(displayConfig_.VolumeSE, volume); }
void TGameForm::SetRearVolume(int volume) { SetChannelPercent(displayConfig_.VolumeRear, volume); }
void TGameForm::SetVoiceRate(int rate) { SetChannelPercent(voiceRate_, rate); }
void TGameForm::SetSeRate(int rate) { SetChannelPercent(seRate_, rate); }
void TGameForm::SetBgmRate(int rate) { SetGlidePercent(bgmRate_, rate); }
void TGameForm::SetLoopSeRate(int rate) { SetGlidePercent(loopSeRate_, rate); }
void TGameForm::SetExtraSoundRate(int rate) { SetGlidePercent(extraRate_, rate); }
int TGameForm::GetBgmVolume() { return ReadPercent(displayConfig_.VolumeBGM); }
int TGameForm::GetVoiceVolume() { return ReadPercent(displayConfig_.VolumeVoice); }
int TGameForm::GetSeVolume() { return ReadPercent(displayConfig_.VolumeSE); }
int TGameForm::GetRearVolume() { return ReadPercent(displayConfig_.VolumeRear); }

// Called by the frame tick under the sound lock, with the frames of the tick.
void TGameForm::UpdateSoundVolumes(int frames) {
  if (frames <= 0 || !HasSoundDevice()) return;
  const int step = 2 * std::min(frames, 100);  // 100 frames take any volume anywhere
  const auto current = static_cast<std::size_t>(bgmSlot_), other = 1 - current;
  const int target = BgmTarget();
  if (bgmVolume_ != target) {
    bgmVolume_ = Glide(bgmVolume_, target, step);
    ApplyVolume(bgmStreams_[current], VolumeToAttenuation(bgmVolume_));
  }
  if (bgmStreams_[other] != nullptr && bgmFadeVolume_ > 0) {
    bgmFadeVolume_ = std::max(bgmFadeVolume_ - step, 0);
    if (bgmFadeVolume_ == 0)
      DeleteBgmSlot(static_cast<int>(other));
    else
      ApplyVolume(bgmStreams_[other], VolumeToAttenuation(bgmFadeVolume_));
  }
  if (loopSe_.buffer != nullptr) {
    loopSeVolume_ = Glide(loopSeVolume_, loopSeStopping_ ? 0 : LoopSeTarget(), step);
    ApplyVolume(loopSe_.buffer, VolumeToAttenuation(loopSeVolume_));
    if (loopSeStopping_ && loopSeVolume_ == 0) StopLoopSe(false);
  }
}

// ---- Background music ---------------------------------------------------------------------------------------

bool TGameForm::PlayBgm(int track, bool loop, bool fade) {
  const VXSectionHold hold(soundLock_);
  if (!HasSoundDevice()) return true;
  const DirectX::TDSoundStream* playing = bgmStreams_[static_cast<std::size_t>(bgmSlot_)];
  if (track == bgmTrack_ && loop == bgmLoop_ && IsPlaying(playing)) return true;
  if (playing != nullptr) RetireBgm(fade);
  bgmVolume_ = BgmTarget();
  const bool started = StartBgmStream(bgmSlot_, track, loop, bgmVolume_);
  bgmTrack_ = started ? track : 0;
  bgmLoop_ = started && loop;
  return started;
}

void TGameForm::StopBgm(bool fade) {
  const VXSectionHold hold(soundLock_);
  if (!HasSoundDevice()) return;
  DeleteBgmSlot(1 - bgmSlot_);
  if (bgmStreams_[static_cast<std::size_t>(bgmSlot_)] != nullptr) RetireBgm(fade);
  bgmTrack_ = 0;
  bgmLoop_ = false;
}

void TGameForm::RetireBgm(bool fade) {
  const int previous = bgmSlot_;
  DeleteBgmSlot(1 - previous);
  bgmSlot_ = 1 - previous;
  bgmFadeVolume_ = fade && bgmVolume_ > 0 ? bgmVolume_ : 0;
  if (bgmFadeVolume_ == 0) DeleteBgmSlot(previous);
}

// A stream that cannot be made or started leaves the slot empty and its file closed.
bool TGameForm::StartBgmStream(int slot, int track, bool loop, int volume) {
  DeleteBgmSlot(slot);
  const auto at = static_cast<std::size_t>(slot);
  if (BgmFileMan == nullptr) return false;
  VXString name;
  name.sprintf("Track%02d.bgm", track);
  VXStream*& file = bgmFiles_[at];
  file = BgmFileMan->Open(name);
  if (file == nullptr) return false;
  DirectX::TDSoundStream*& stream = bgmStreams_[at];
  stream = sound_->CreateStreamFromOgg(file, false, false);
  if (stream == nullptr) {
    BgmFileMan->Close(file);
    return false;
  }
  MemMan->AddPtr(stream);
  ApplyVolume(stream, VolumeToAttenuation(volume));
  for (const LoopPoint& point : kLoopPoints)
    if (point.track == track) stream->SetLoopPoint(point.bytes);
  if (stream->Play(loop)) return true;
  DeleteBgmSlot(slot);
  return false;
}

void TGameForm::DeleteBgmSlot(int slot) {
  const auto at = static_cast<std::size_t>(slot);
  DeleteSound(bgmStreams_[at]);  // the stream reads its file to the last
  if (bgmFiles_[at] != nullptr) BgmFileMan->Close(bgmFiles_[at]);
}

int TGameForm::GetBgmTrack() {
  const VXSectionHold hold(soundLock_);
  return bgmTrack_;
}

bool TGameForm::IsBgmPlaying() {
  const VXSectionHold hold(soundLock_);
  return IsPlaying(bgmStreams_[static_cast<std::size_t>(bgmSlot_)]);
}

int TGameForm::GetBgmPosition() {
  const VXSectionHold hold(soundLock_);
  DirectX::TDSoundStream* stream = bgmStreams_[static_cast<std::size_t>(bgmSlot_)];
  if (stream == nullptr) return 0;
  const std::int64_t bytesPerSecond = std::int64_t{stream->GetChannels()} * stream->GetSamplesPerSec() *
                                      stream->GetBitsPerSample() / 8;
  if (bytesPerSecond == 0) return 0;
  return static_cast<int>(std::int64_t{stream->GetPosition()} * 1000 / bytesPerSecond);
}

// ---- Voice, SE and loop SE ----------------------------------------------------------------------------------

// The channel emptied, then name + ".ogg" decoded whole into a registered buffer of it; false when it cannot be read.
bool TGameForm::LoadChannel(TSoundChannel& channel, VXFileMan* source, const VXString& name, int rear, int id) {
  ClearChannel(channel);
  VXStream* file = source != nullptr ? source->Open(name + ".ogg") : nullptr;
  if (file == nullptr) return false;
  DirectX::TDSoundBuffer* buffer = sound_->CreateBufferFromOgg(file, false, false, false);
  source->Close(file);
  if (buffer == nullptr) return false;
  MemMan->AddPtr(buffer);
  channel = {buffer, name, id, rear};
  return true;
}

bool TGameForm::PlayChannel(TSoundChannel& channel, VXFileMan* source, const VXString& name, int rear, int id) {
  const VXSectionHold hold(soundLock_);
  if (!HasSoundDevice()) return true;
  if (channel.Holds(name, id, rear)) return channel.buffer->Play(false);
  if (!LoadChannel(channel, source, name, rear, id)) return false;
  ApplyChannelVolumes();
  if (channel.buffer->Play(false)) return true;
  ClearChannel(channel);
  return false;
}

void TGameForm::StopChannel(TSoundChannel& channel) {
  const VXSectionHold hold(soundLock_);
  if (HasSoundDevice()) ClearChannel(channel);
}

// The silent buffer plays as the channel's sound stops.
void TGameForm::ClearChannel(TSoundChannel& channel) {
  if (channel.buffer != nullptr) PlaySilence();
  DeleteSound(channel.buffer);
  channel = TSoundChannel{};
}

bool TGameForm::IsChannelPlaying(const TSoundChannel& channel) {
  const VXSectionHold hold(soundLock_);
  return IsPlaying(channel.buffer);
}

bool TGameForm::PlayVoice(VXFileMan* source, VXString name, int rear, int id) {
  return PlayChannel(voice_, source, name, rear, id);
}
bool TGameForm::PlayVoice(VXFileMan* source, VXString name) { return PlayVoice(source, name, 0, 0); }
void TGameForm::StopVoice() { StopChannel(voice_); }
bool TGameForm::IsVoicePlaying() { return IsChannelPlaying(voice_); }
bool TGameForm::PlaySe(VXFileMan* source, VXString name, int rear, int id) {
  return PlayChannel(se_, source, name, rear, id);
}
void TGameForm::StopSe() { StopChannel(se_); }
bool TGameForm::IsSePlaying() { return IsChannelPlaying(se_); }

bool TGameForm::PlayLoopSe(VXFileMan* source, bool fadeIn, VXString name, int rear, int id) {
  const VXSectionHold hold(soundLock_);
  if (!HasSoundDevice()) return true;
  if (loopSe_.Holds(name, id, rear)) {
    loopSeStopping_ = false;
    return true;
  }
  loopSeStopping_ = false;
  if (!LoadChannel(loopSe_, source, name, rear, id)) return false;
  loopSeVolume_ = fadeIn ? 0 : LoopSeTarget();
  ApplyVolume(loopSe_.buffer, VolumeToAttenuation(loopSeVolume_));
  if (loopSe_.buffer->Play(true)) return true;
  StopLoopSe(false);
  return false;
}

void TGameForm::StopLoopSe(bool fade) {
  const VXSectionHold hold(soundLock_);
  if (!HasSoundDevice()) return;
  if (fade && loopSe_.buffer != nullptr && loopSeVolume_ > 0) {
    loopSeStopping_ = true;
    return;
  }
  ClearChannel(loopSe_);
  loopSeStopping_ = false;
}

bool TGameForm::IsLoopSePlaying() { return IsChannelPlaying(loopSe_); }

bool TGameForm::PlayExtraSound(int, int) { return true; }

void TGameForm::StopExtraSound(bool) {}

bool TGameForm::IsExtraSoundPlaying() { return false; }

// ---- System sounds ------------------------------------------------------------------------------------------

// A ring of four buffers: a sound still playing at the ring position moves it on by one (only one), and the buffer
// there is replaced unless it holds the same sound, which then starts again.
bool TGameForm::PlaySystemSe(int index) {
  const VXSectionHold hold(soundLock_);
  if (!HasSoundDevice()) return true;
  if (index < 0 || index >= kSystemSounds) return false;
  if (IsPlaying(systemBuffers_[static_cast<std::size_t>(systemRing_)])) systemRing_ = (systemRing_ + 1) % kSystemRing;
  const auto at = static_cast<std::size_t>(systemRing_);
  DirectX::TDSoundBuffer*& buffer = systemBuffers_[at];
  if (buffer != nullptr && systemHeld_[at] == index) return buffer->Play(false);
  DeleteSound(buffer);
  systemHeld_[at] = -1;
  VXStream* source = systemSounds_[static_cast<std::size_t>(index)];
  if (source == nullptr) return false;
  buffer = sound_->CreateBufferFromOgg(source, false, false, false);
  if (buffer == nullptr) return false;
  MemMan->AddPtr(buffer);
  systemHeld_[at] = index;
  ApplyVolume(buffer, VolumeToAttenuation(displayConfig_.VolumeSE));
  return buffer->Play(false);
}

bool TGameForm::IsSystemSePlaying() {
  const VXSectionHold hold(soundLock_);
  return std::any_of(systemBuffers_.begin(), systemBuffers_.end(), IsPlaying);
}

void TGameForm::PlaySilence() {
  if (silentBuffer_ != nullptr) silentBuffer_->Play(false);
}

void TGameForm::PlayMuteSound() {
  const VXSectionHold hold(soundLock_);
  PlaySilence();
}

// ---- A look inside, and the end -----------------------------------------------------------------------------

DirectX::TCustomDSoundBuffer* TGameForm::GetSoundBuffer(int part) {
  const VXSectionHold hold(soundLock_);
  switch (part) {
    case spBgm: return bgmStreams_[static_cast<std::size_t>(bgmSlot_)];
    case spBgmFadeOut: return bgmStreams_[static_cast<std::size_t>(1 - bgmSlot_)];
    case spVoice: return voice_.buffer;
    case spSe: return se_.buffer;
    case spLoopSe: return loopSe_.buffer;
    default: break;
  }
  const int ring = part - spSystem;
  return ring >= 0 && ring < kSystemRing ? systemBuffers_[static_cast<std::size_t>(ring)] : nullptr;
}

void TGameForm::ReleaseSoundService() {
  const VXSectionHold hold(soundLock_);
  if (MemMan == nullptr) return;
  for (int slot = 0; slot < 2; ++slot) DeleteBgmSlot(slot);
  bgmTrack_ = 0;
  bgmLoop_ = false;
  bgmFadeVolume_ = 0;
  for (TSoundChannel* channel : {&voice_, &se_, &loopSe_}) {
    DeleteSound(channel->buffer);
    *channel = TSoundChannel{};
  }
  loopSeStopping_ = false;
  for (DirectX::TDSoundBuffer*& buffer : systemBuffers_) DeleteSound(buffer);
  systemHeld_.fill(-1);
  DeleteSound(silentBuffer_);
}
