// What the device layer's movie parts use of the game shell: the display and the sound device, the two locks of
// frame composition, the working bit depth, the full-screen surface hook and frame, the silent sound, the
// display-switch callbacks, the hand-off of a result to the game thread, panel pictures and the memory manager.
//
// The game window implements `TGameServices` and installs itself with `SetGameServices`; the movie parts reach it
// through `GameServices()`. `TLocalGameServices` is a complete stand-in without a game window, for tools and tests:
// it draws surface frames straight on its display and records what the game thread would have been told.
#pragma once

#include <vector>

#include "core/vxcallback.h"
#include "core/vxcritsec.h"
#include "core/vxmemman.h"
#include "core/vxstring.h"
#include "graphics/vxrgbraw.h"

class TZoRGBBits;
class TZoRGBPanel;
class VXFileMan;

namespace DirectX {
class TDDraw;
class TDSound;
}

using TDrawSurfaceHook = VXBaseCallback1<void, TZoRGBBits*>;
using TScreenChangeCallback = VXBaseCallback2<void, DirectX::TDDraw*, int>;

class TGameServices {
public:
  virtual ~TGameServices() = default;

  virtual DirectX::TDDraw* GetDisplay() = 0;
  // The sound device whose mixer plays movie sound; null plays movies silent.
  virtual DirectX::TDSound* GetSound() = 0;
  // The game lock, then the second display lock: always entered in this order, both re-entrant.
  virtual VXCriticalSection& GetGameLock() = 0;
  virtual VXCriticalSection& GetDisplayLock() = 0;
  // bd24 or bd32: the depth the game composes in.
  virtual VXBitDepth GetWorkingBitDepth() const = 0;
  virtual VXMemMan& GetMemMan() = 0;

  // An unbound hook removes it.
  virtual void SetOnDrawSurface(TDrawSurfaceHook hook) = 0;
  // Under both locks: counts the frame, calls the hook with the display's back surface and flips.
  virtual void DrawSurfaceFrame() = 0;
  virtual void PlayMuteSound() = 0;
  // Phase 1 just before the display is released, phase 0 after it is enabled again. Unbound callbacks are ignored;
  // removal takes the first entry bound to the same object and member.
  virtual void AddScreenChangeCallback(TScreenChangeCallback callback) = 0;
  virtual void RemoveScreenChangeCallback(TScreenChangeCallback callback) = 0;
  // Ends the game thread's current wait with `result`; nothing when there is no game thread.
  virtual void NotifyMainThread(int result) = 0;
  // The picture becomes the panel's image (alpha mask mode with its plane when it has one, else opaque).
  virtual bool LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString fileName) = 0;
  virtual void ReleasePanelImage(TZoRGBPanel* panel) = 0;
};

// The services the movie parts use; null until the shell installs them.
TGameServices* GameServices();
void SetGameServices(TGameServices* services);

class TLocalGameServices : public TGameServices {
public:
  TLocalGameServices(DirectX::TDDraw* display, DirectX::TDSound* sound, VXBitDepth workingDepth = bd32);
  ~TLocalGameServices() override;

  DirectX::TDDraw* GetDisplay() override { return display_; }
  DirectX::TDSound* GetSound() override { return sound_; }
  VXCriticalSection& GetGameLock() override { return gameLock_; }
  VXCriticalSection& GetDisplayLock() override { return displayLock_; }
  VXBitDepth GetWorkingBitDepth() const override { return depth_; }
  VXMemMan& GetMemMan() override { return memMan_; }
  void SetOnDrawSurface(TDrawSurfaceHook hook) override { hook_ = hook; }
  void DrawSurfaceFrame() override;
  void PlayMuteSound() override { ++muteSounds_; }
  void AddScreenChangeCallback(TScreenChangeCallback callback) override;
  void RemoveScreenChangeCallback(TScreenChangeCallback callback) override;
  void NotifyMainThread(int result) override { notified_.push_back(result); }
  bool LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString fileName) override;
  void ReleasePanelImage(TZoRGBPanel* panel) override;

  // Switches the display between window and full screen, calling the callbacks around it as the window does.
  void SwitchScreen();

  // What was recorded.
  const std::vector<int>& Notified() const { return notified_; }
  int MuteSounds() const { return muteSounds_; }
  int SurfaceFrames() const { return surfaceFrames_; }
  bool HasDrawSurfaceHook() const { return hook_.IsValid(); }
  int ScreenChangeCallbackCount() const { return static_cast<int>(screenCallbacks_.size()); }

private:
  DirectX::TDDraw* display_;
  DirectX::TDSound* sound_;
  VXBitDepth depth_;
  VXMemMan memMan_;
  VXCriticalSection gameLock_;
  VXCriticalSection displayLock_;
  TDrawSurfaceHook hook_;
  std::vector<TScreenChangeCallback> screenCallbacks_;
  std::vector<int> notified_;
  int muteSounds_ = 0;
  int surfaceFrames_ = 0;
};
