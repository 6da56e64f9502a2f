// The game window's services with a sound device of their own on a given clock (the window's manual clock), with a
// manual output whose latency the caller chooses: what the speaker has played, and so a stream's heard position,
// then follows the frames the caller pumps and the time it moves the clock by, exactly. Installed as the game
// services while it lives; everything but the sound is the window's own. Used by the music game's tests and
// benchmarks.
#pragma once

#include <cstdint>

#include "device/gameservices.h"
#include "device/zodsound.h"
#include "platform/audio.h"
#include "platform/thread.h"
#include "shell/gamef.h"

namespace clockedsound {

class ClockedSound : public TGameServices {
public:
  ClockedSound(TGameForm& form, platform::thread::Clock& clock, std::uint32_t latencyFrames)
      : form_(form), sound_(nullptr, clock) {
    sound_.SetManualOutput(true, latencyFrames);
    sound_.SetSamplesPerSec(44100);
    sound_.SetBitsPerSample(16);
    sound_.SetEnabled(true);
    SetGameServices(this);
  }
  ~ClockedSound() override { SetGameServices(&form_); }

  platform::audio::ManualSink& Sink() { return *sound_.GetManualSink(); }

  DirectX::TDDraw* GetDisplay() override { return form_.GetDisplay(); }
  DirectX::TDSound* GetSound() override { return &sound_; }
  VXCriticalSection& GetGameLock() override { return form_.GetGameLock(); }
  VXCriticalSection& GetDisplayLock() override { return form_.GetDisplayLock(); }
  VXBitDepth GetWorkingBitDepth() const override { return form_.GetWorkingBitDepth(); }
  VXMemMan& GetMemMan() override { return form_.GetMemMan(); }
  void SetOnDrawSurface(TDrawSurfaceHook hook) override { form_.SetOnDrawSurface(hook); }
  void DrawSurfaceFrame() override { form_.DrawSurfaceFrame(); }
  void PlayMuteSound() override { form_.PlayMuteSound(); }
  void AddScreenChangeCallback(TScreenChangeCallback c) override { form_.AddScreenChangeCallback(c); }
  void RemoveScreenChangeCallback(TScreenChangeCallback c) override { form_.RemoveScreenChangeCallback(c); }
  void NotifyMainThread(int result) override { form_.NotifyMainThread(result); }
  bool LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString name) override {
    return form_.LoadPanelImage(panel, files, name);
  }
  void ReleasePanelImage(TZoRGBPanel* panel) override { form_.ReleasePanelImage(panel); }

private:
  TGameForm& form_;
  DirectX::TDSound sound_;
};

}  // namespace clockedsound
