// The game window: the one 640 × 480 picture of the game and the owner of every device (display, sound, input, the
// frame timer), of the root panel under which every screen hangs its panels, of the locks that the main thread,
// the game thread and the wait thread share, and of the process-wide memory manager and data file managers.
//
// Threads. The main thread owns SDL: it pumps window events, hands them to the window (input handlers, close
// requests, hot keys) and runs what other threads post to it. The game thread runs the game's logic and holds the
// game lock except inside its waits, where it steps frames itself (`GameFrame`). The wait thread steps frames
// while the window shows the wait picture (state 7) or keeps the picture while the game thread is busy (state 8);
// those frames touch neither the panel tree nor the frame hooks nor the input unit. The timer thread advances the
// frame clock.
//
// States (GetState): 0 constructed, 1 start-up failed, 2 running, 3 panel screens, 4 music game, 5 adventure,
// 6 movie, 7 wait picture, 8 busy (picture kept), 9 transition, 10 closing.
//
// Locks, always taken in this order: frame lock (one frame tick), compose guard (tried, never waited for), game
// lock (panel tree, state, transitions, game logic), draw lock (surfaces, software cursor, the display). The sound
// lock and the input lock are taken alone. None is held while waiting for another thread.
//
// The frame clock. The timer ticks every 5 ms (10 ms before the window is shown) and advances the game clock in
// every state from 1 to 9; three frames fall due in each 100 ms (30, 35 and 35 ms apart; 30, 30 and 40 ms with the
// 10 ms interval). A timer call that stands for several ticks (the thread woke late) counts every one of them, so
// the clock and the cadence keep step with the monotonic clock. A frame tick gives the per-frame update and the
// composer every frame and millisecond that passed since the last drawn frame.
//
// Tests build the window with the in-memory presenter, a manual clock, the manual sound output and injected input,
// and step frames with StepFrame (tests/support/gamewindow.h).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "core/vxcallback.h"
#include "core/vxcritsec.h"
#include "core/vxmemman.h"
#include "core/vxrect.h"
#include "core/vxstring.h"
#include "device/gameservices.h"
#include "graphics/vxrgbraw.h"
#include "graphics/zorgbpanel.h"
#include "platform/component.h"
#include "platform/thread.h"
#include "platform/vclthread.h"
#include "shell/gamedata.h"
#include "shell/gameeffect.h"

class TDInputUnit;
class TZoAlpha;
class TZoRGBBits;
class VXFileMan;
class VXFont;
class VXStream;
class VXTimer;

namespace DirectX {
class TCustomDSoundBuffer;
class TDSoundBuffer;
class TDSoundStream;
class TDSurface;
}  // namespace DirectX

namespace platform::input {
class Input;
}
namespace platform::video {
class Presenter;
}

class TGameForm;

// The application's title: the window's caption and the caption of its questions.
inline constexpr const char* kGameTitle = "QORM";

// A start that failed: "初期化に失敗しました。" with the caption "Game Error" (a box, or standard error).
void ShowInitFailed();

// ---- Process-wide objects: set by FormCreate, cleared when the window is destroyed.

extern TGameForm* GameForm;
extern VXMemMan* MemMan;
extern VXFileMan* FileMan;        // the main data: pack dataName + ".pak", else the folder dataName + "_Pak"
extern VXFileMan* BgmFileMan;     // the folder "BGM"
extern VXFileMan* ScriptFileMan;  // the scenario scripts; null without a script name

// ---- What the window needs of the program around it

// The main thread's loop.
class TGameApplication {
public:
  virtual ~TGameApplication() = default;
  // Runs `task` on the main thread after the events being handled (a message posted to the window). Any thread.
  virtual void Post(std::function<void()> task) = 0;
  // Ends the main loop; the window is destroyed after it. Any thread.
  virtual void Terminate() = 0;
  // The main loop has ended (or is ending): threads run down without touching the window.
  virtual bool IsTerminated() const = 0;
};

// The full-screen transition that state 9 runs: the window's effect manager (MakeEffectTransition) unless another
// was installed. Without one a transition cannot start (the window stays in state 2).
class TTransitionEffect {
public:
  virtual ~TTransitionEffect() = default;
  // Takes the two 640 × 480 pictures (they belong to the effect from then on, also when it refuses).
  virtual bool Start(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate) = 0;
  virtual void Advance(int frames) = 0;
  virtual bool IsDone() const = 0;
  // Draws into `target`; with a dirty set, only what changed, which it adds to the set.
  virtual void Draw(TZoRGBBits* target, VXRectSet* dirty) = 0;
  // Deletes the pictures and forgets the transition.
  virtual void Clear() = 0;
};

// The transition of an effect manager (the window's own, by default): the pictures it takes are deleted when it
// refuses them, when the transition is cleared and when it is replaced by a new one.
std::unique_ptr<TTransitionEffect> MakeEffectTransition(TEffectMan& effects);

struct TGameFormSetup {
  TGameApplication* application = nullptr;
  platform::video::Presenter* presenter = nullptr;  // where the picture goes
  platform::input::Input* input = nullptr;          // keys, mouse, joypad
  platform::thread::Clock* clock = &platform::thread::MonotonicClock();  // frame timer, pacing, FPS counter
  bool manualSound = false;  // the sound device mixes only when its manual sink is pumped
  std::string gameFolder;    // host path of the game data; empty: the current folder
  bool scriptFromFolder = false;
  VXString dataName = "Game";
  VXString scriptName = "Script";  // empty: no script manager
  // Makes the game thread (suspended) at the end of FormShow; none: the window runs without a game thread.
  std::function<std::unique_ptr<Classes::TThread>(TGameForm&)> gameThread;
  // Hears, for each frame tick, the frames it advanced the game by (0: a tick that only redrew, or did nothing) and
  // the nanoseconds (steady clock) it spent: from taking the frame lock to the end of the tick, its pacing wait left
  // out. Called under the frame lock by whichever thread ticks.
  std::function<void(int, std::int64_t)> onFrameWork;
};

// ---- Frame rate counter: composed frames in the last four complete 250 ms buckets.

struct TFpsCounter {
  std::uint32_t start[5] = {};
  std::uint32_t count[5] = {};
  int current = 0;
  int result = 0;

  void Reset(std::uint32_t now);
  int GetFps() const { return result; }
};

// Counts one composed frame at `now` (milliseconds); the frame rate, at most 999.
int CountFps(TFpsCounter* counter, std::uint32_t now);

// ---- One queued input event

enum TInputKind : std::uint8_t {
  ikMouseMove = 0,
  ikMouseDown = 1,
  ikMouseUp = 2,
  ikMouseWheel = 3,
  ikMouseEnter = 4,
  ikMouseLeave = 5,
  ikKeyDown = 6,
  ikKeyUp = 7,
  ikKeyPress = 8,
};

struct TInputEvent {
  TInputKind kind = ikMouseMove;
  int x = 0, y = 0;
  TShiftState shift;
  TMouseButton button = mbLeft;
  int wheelDelta = 0;
  unsigned short key = 0;  // virtual key; for a key press the character, sign-extended from 8 bits
};

// ---- The wait thread: steps the frames in states 7 and 8.

class TWaitThread : public Classes::TThread {
public:
  explicit TWaitThread(TGameForm& form) : form_(form) {}

protected:
  void Execute() override;

private:
  TGameForm& form_;
};

// ---- The game window

// A callback slot that one thread replaces while another calls it: written and copied under its owner's lock, and
// called from the copy outside the lock, so a replaced slot never tears and a callback may replace its own slot.
template <class Slot>
void StoreSlot(std::mutex& lock, Slot& slot, const Slot& value) {
  std::lock_guard guard(lock);
  slot = value;
}
template <class Slot>
Slot CopySlot(std::mutex& lock, const Slot& slot) {
  std::lock_guard guard(lock);
  return slot;
}

using TFrameHook = VXBaseCallback1<void, int>;
using TFrameInputHook = VXBaseCallback2<void, int, TDInputUnit*>;
using TDrawFullHook = VXBaseCallback1<void, TZoRGBBits*>;
using TDrawUpdateHook = VXBaseCallback2<void, TZoRGBBits*, VXRectSet*>;
using TImeResultHook = VXBaseCallback1<void, VXString>;

// The screenshot files "Snap000.png" … "Snap998.png".
inline constexpr int kSnapshotFiles = 999;
// The number of the first screenshot name that does not exist in the host folder, -1 when all of them do.
int FindFreeSnapshot(const std::string& hostFolder);

// One frame tick: paces itself by the FPS mode, then updates and composes. Called by the game thread inside its
// waits (with the game lock left) and by the wait thread.
void GameFrame(TGameForm* form);

class TGameForm : public Classes::TComponent, public TGameServices {
public:
  static constexpr int kWidth = 640;
  static constexpr int kHeight = 480;
  static constexpr int kSystemSounds = 10;
  static constexpr std::size_t kMaxQueuedInput = 1024;

  TGameForm(Classes::TComponent* owner, const TGameFormSetup& setup);
  // Tears down what FormHide left (FormDestroy): saves the display settings, deletes the devices, the locks'
  // users, the file managers and the memory manager.
  ~TGameForm() override;

  // ---- Life cycle (main thread)

  // Builds the devices, data managers, fonts and system sounds. A failure shows its message and ends the
  // application (state 1).
  void FormCreate();
  // Enables sound and display, loads the overlay pictures, starts the frame timer, the wait thread and the game
  // thread, and draws the first frame. Nothing in state 1.
  void FormShow();
  // The window's close request: asks FormCloseQuery and, when allowed, hides the window (FormHide).
  void Close();
  void FormCloseQuery(bool& canClose);
  // Stops the threads and the timer, releases display and sound, ends the application. Nothing in state 1.
  void FormHide();
  bool IsShown() const { return shown_; }

  // ---- State and closing

  std::uint8_t GetState() const { return state_.load(); }
  void SetState(std::uint8_t state);  // under the game lock
  bool IsRunning() const { return running_.load(); }
  // Quit request: with a game thread (asking first in window mode when `ask`) the thread is told to end; without
  // one the window closes. Any thread; never waits for the game thread. Asking needs the main thread.
  void RequestQuit(bool ask);
  // State 10, and a close request posted to the main thread.
  void CloseNow();
  // Start-up failed or the game is over: state 1 when still 0, and the main loop ends.
  void EndApplication();
  // An error that ends the game, kept for the program's exit (the first one is kept).
  void SetFatalError(const std::string& textUtf8);
  std::string GetFatalError() const;
  TGameApplication* GetApplication() const { return setup_.application; }
  bool IsApplicationTerminated() const;
  // The game thread and the wait thread (null before FormShow and after FormHide).
  Classes::TThread* GetGameThread() const { return gameThread_.get(); }
  TWaitThread* GetWaitThread() const { return waitThread_.get(); }

  // ---- Display

  // Window (true) or full screen: releases the display and sets it up again in the other mode; when that fails
  // the previous mode is set up again. True when the requested mode is shown. Main thread.
  bool ChangeWindowMode(bool window);
  bool IsFullScreenAvailable() const { return fullScreenAvailable_; }
  // A file or folder of the game folder (a pack, "BGM", ...) as the data managers name it.
  VXString DataPath(const VXString& name) const;
  // The depth of every screen-sized bitmap of the game.
  VXBitDepth GetRenderBitDepth() const { return renderDepth_; }
  bool IsDisplayEnabled() const;
  // Alt+Enter and the screenshot keys (ids 2, 0 and 1), on the main thread.
  void OnHotKey(int id);
  // PrintScreen (without the cursor) and Alt+PrintScreen (with it), main thread (shell/gamesnap.cpp). The screen as
  // the player sees it: with CapEnable on, written as the first free "Snap%03d.png" of the save folder (nothing
  // when all are taken); otherwise with the logo and the notice pictures, offered on the clipboard as PNG and BMP.
  // False when nothing was taken (no free name, no screen to read, a failed write or clipboard).
  bool TakeSnapshot(bool withCursor);
  // Any thread (the configuration screen): asks the main thread for a window (true) or full screen. Nothing when
  // full screen is impossible or the mode is already shown; a switch that leaves no display ends the game.
  void RequestWindowMode(bool window);

  // ---- Devices and panels that other parts use directly

  VXTimer* GetTimer() const { return timer_; }
  DirectX::TDDraw* GetDisplay() override { return display_; }
  DirectX::TDSound* GetSound() override { return sound_; }
  TDInputUnit* GetInputUnit() const { return input_; }
  TZoRGBPanel* GetRootPanel() const { return root_; }
  VXCriticalSection& GetGameLock() override { return gameLock_; }
  VXCriticalSection& GetDisplayLock() override { return drawLock_; }
  VXCriticalSection& GetDrawLock() { return drawLock_; }
  VXBitDepth GetWorkingBitDepth() const override { return renderDepth_; }
  VXMemMan& GetMemMan() override { return *MemMan; }

  // ---- Input devices and pointer

  void SetKeyboardEnabled(bool on);
  void SetJoypadEnabled(bool on);
  void GetMousePos(TPoint& p) const;
  void SetMousePos(int x, int y);

  // ---- Frame clock and tick

  void OnFrameTimer(void* sender);
  // Signals the frame event. The signal stays until a tick takes it, so a frame that falls due while the tick is
  // still busy wakes the next wait at once.
  void PulseFrameEvent();
  void ResetFrameClock();
  int GetGameClock() const { return gameClock_.load(); }
  void SetGameClock(int ms) { gameClock_.store(ms); }
  int GetTimerInterval() const { return timerInterval_.load(); }
  void SetResultPending(bool on) { resultPending_.store(on); }
  bool IsResultPending() const { return resultPending_.load(); }
  void SetFpsMode(std::uint8_t mode);
  std::uint8_t GetFpsMode() const { return fpsMode_.load(); }
  int GetFps() const;
  void SetOnFrame(TFrameHook hook);
  void SetOnFrameInput(TFrameInputHook hook);
  // The per-frame update; called only by the frame tick.
  void UpdateFrame(int frames, int ms);
  // One frame tick without its pacing, on the calling thread (tests and benchmarks step frames with it).
  void StepFrame();
  // Runs `reader` on the calling thread between two frame ticks while the game thread is outside its logic (under
  // the frame lock, then the game lock): the panel tree and the presented picture hold still while it looks. For
  // the main thread and tests; never from the game thread, a frame hook or a panel handler.
  void BetweenFrames(const std::function<void()>& reader);
  // Frames counted by the timer and frames drawn (for tests of the cadence).
  int GetFramesDue() const;
  int GetFramesDone() const;

  // ---- Composition

  void DrawFullFrame();
  // Presents only what changed: the dirty areas of the tree, a moved or changed cursor, a new FPS figure. A frame
  // in which nothing changed is composed but not presented again.
  void DrawUpdateFrame(int frames);
  // Frames composed so far (what the FPS figure counts).
  std::uint64_t GetComposedFrames() const { return composedFrames_.load(); }
  void DrawSurfaceFrame() override;
  bool WaitDisplayReady();
  void SetOnDrawFull(TDrawFullHook hook);
  void SetOnDrawUpdate(TDrawUpdateHook hook);
  void SetOnDrawSurface(TDrawSurfaceHook hook) override;

  // Wait modes: states 3 to 8.
  void BeginPanelMode();
  void BeginMusicMode();
  void BeginAdventureMode();
  void BeginMovieMode();
  void BeginWaitImageMode();
  void BeginBusyMode();
  // State 9; false (state 2 again) when the transition cannot start. The pictures belong to the transition.
  bool BeginTransition(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate);

  // Transitions (the window's effect manager's, unless another effect was installed).
  void SetTransitionEffect(std::unique_ptr<TTransitionEffect> effect);
  bool StartTransition(int kind, TZoRGBBits* from, TZoRGBBits* to, int rate = 100);
  void AdvanceTransition(int frames);
  void ClearTransition();
  bool IsTransitionDone() const;
  void DrawTransition(TZoRGBBits* target, VXRectSet* dirty);

  // Panel tree and screen.
  void AttachPanel(TZoRGBPanel* panel);
  void DetachPanel(TZoRGBPanel* panel);
  void SetRootVisible(bool on);
  void RefreshPanelStatus();
  void CopyScreen(TZoRGBBits* dst);
  void DrawPanels(TZoRGBBits* dst);
  void ClearBits(TZoRGBBits* bits);
  void AfterFade() {}

  // Software cursor.
  void SetCursorType(int type);
  int GetCursorType() const;
  bool PushCursorType();
  bool PopCursorType();
  void MoveCursorImage(int x, int y);

  // ---- Input queue

  void PostInput(const TInputEvent& event);
  void DrainInput();
  void ClearInput();
  std::size_t QueuedInput() const;
  // Main thread: turns the input layer's window messages into the handlers below.
  void DispatchInput();
  void FormMouseMove(TShiftState shift, int x, int y);
  void FormMouseDown(TMouseButton button, TShiftState shift, int x, int y);
  void FormMouseUp(TMouseButton button, TShiftState shift, int x, int y);
  void FormMouseWheel(TShiftState shift, int wheelDelta, int x, int y, bool& handled);
  void CMMouseEnter();
  void CMMouseLeave();
  void FormKeyDown(unsigned short key, TShiftState shift);
  void FormKeyUp(unsigned short key, TShiftState shift);
  void FormKeyPress(char key);
  // While bound, what the input method composes (the printable characters of one text input, CP932) goes whole
  // to the hook on the main thread instead of becoming key presses; Enter, Backspace, Esc and Tab stay key presses.
  void SetOnImeResult(TImeResultHook hook);

  // ---- Sound: the volumes and the system sounds; the sound service plays them.

  DirectX::TDSoundBuffer* GetSilentBuffer() const { return silentBuffer_; }
  // The source stream of a system sound (0..9); null when its file is missing.
  VXStream* GetSystemSoundStream(int index) const;
  void PlayMuteSound() override;

  // ---- Game services for the device layer's movie parts

  void AddScreenChangeCallback(TScreenChangeCallback callback) override;
  void RemoveScreenChangeCallback(TScreenChangeCallback callback) override;
  // Sets the result pending and hands the result to the game thread's handler; nothing without a handler.
  void NotifyMainThread(int result) override;
  // The game thread's receiver of results.
  void SetResultHandler(std::function<void(int)> handler);
  bool LoadPanelImage(TZoRGBPanel* panel, VXFileMan* files, VXString fileName) override;
  void ReleasePanelImage(TZoRGBPanel* panel) override;

  // ---- The window's transition effects and the game thread's clock --------------------------------------------
  // State 9 runs the window's own effect manager unless another effect was installed (SetTransitionEffect). The
  // wrappers load and release the resources of its water, halation and mask kinds from the main data, under the
  // game lock; the game thread calls them around a transition. What stays loaded goes with the window.

  TEffectMan& GetEffectMan() { return effects_; }
  // The ripple tables; a missing or short file leaves a ripple that moves nothing.
  void LoadWaterEffect();
  void ReleaseWaterEffect();
  // The halation pictures, in the render depth. EGameErr when a picture is damaged.
  void LoadHaloEffect();
  void ReleaseHaloEffect();
  // The grey mask `name`. EGameErr when it is missing or cannot be read.
  void LoadMaskEffect(VXString name);
  void ReleaseMaskEffect();
  // The clock of the frame timer, of the frame pacing and of the game thread's sleeps.
  platform::thread::Clock& GetClock() const { return *setup_.clock; }

protected:
  // Sets the display up in a window or full screen (with the composition surface where needed); false when the
  // display cannot be enabled. Main thread, under the game and draw locks once running.
  virtual bool SetupDisplay(bool window);

private:
  friend void GameFrame(TGameForm* form);
  friend class TWaitThread;

  // Frame tick: `paced` waits as the FPS mode says; frames of the wait thread leave the game's parts alone.
  void RunFrame(bool paced, bool byWaitThread);
  void PaceFrame();
  void CheckInputDevices(int frames);
  void UpdateFrameParts(int frames, bool byWaitThread);
  // The sound service's per-frame volume glides (under the sound lock).
  void UpdateSoundVolumes(int frames);
  bool StepTransition(int frames);
  bool SwitchDisplay(bool window);

  // Start-up pieces.
  void CheckDisplayCaps();
  bool CreateDataManagers();
  bool CreateSoundDevice();
  bool CreateDisplayDevice();
  bool CreateInputDevice();
  bool CreateFonts();
  void OpenSystemSounds();
  void LoadOverlayPictures();
  void ReleaseDisplay();
  void NotifyScreenChange(bool before);
  void StopThreads();
  void ReleaseDevicesForHide();

  // Composition pieces.
  TZoRGBBits* Target() const;
  class Compose {
  public:
    explicit Compose(TGameForm& form);
    ~Compose();
    Compose(const Compose&) = delete;
    Compose& operator=(const Compose&) = delete;
    bool ready = false;     // the frame may be drawn
    std::uint8_t state = 0;  // the state it is drawn for

  private:
    TGameForm& form_;
    bool guarded_ = false;
    bool gameLocked_ = false;
  };
  void DrawOverlays(TZoRGBBits* target, VXRectSet* dirty);
  void RemoveOverlays(TZoRGBBits* target);
  // Screenshot pieces: the screen (and the cursor) copied into `shot` under the draw lock, false when the screen
  // cannot be read; the logo and the notice drawn over it.
  bool CaptureScreen(TZoRGBBits* shot, bool withCursor);
  void DrawCaptionPictures(TZoRGBBits* shot);
  bool OverlaysChanged() const;
  void Presented(bool flipped);
  void DrawFpsText(TZoRGBBits* target);
  void BlendWaitImage(TZoRGBBits* target, int rate);
  void StepWaitImage(TZoRGBBits* target, VXRectSet& dirty);
  bool ShouldFlip() const;
  bool EnterWaitMode(std::uint8_t state);
  void RestartPanelInput();

  void QueueInput(const TInputEvent& event);
  bool TakeInput(TInputEvent& event);

  // The hooks are set by the game thread and called by the frame tick: both go through the hook lock.
  template <class Hook>
  void SetHook(Hook& slot, const Hook& hook) {
    StoreSlot(hookLock_, slot, hook);
  }
  template <class Hook>
  Hook CopyHook(const Hook& slot) const {
    return CopySlot(hookLock_, slot);
  }

  TGameFormSetup setup_;

  std::atomic<std::uint8_t> state_{0};
  std::atomic<bool> resultPending_{true};
  std::atomic<bool> running_{false};
  std::atomic<bool> fullRedraw_{false};
  std::atomic<std::uint8_t> fpsMode_{kFpsFull};
  std::atomic<int> timerInterval_{10};
  std::atomic<bool> keyboardWanted_{false};
  std::atomic<bool> joypadWanted_{false};
  bool shown_ = false;
  bool fullScreenAvailable_ = false;
  VXBitDepth fullScreenDepth_ = bd32;
  VXBitDepth renderDepth_ = bd32;

  // Frame clock: written by the timer thread, read and rebased by the tick.
  mutable std::mutex clockLock_;
  int tickCounter_ = 0;
  std::int64_t framesDue_ = 0;
  std::int64_t framesDone_ = 0;
  std::int64_t msTotal_ = 0;
  std::int64_t msDone_ = 0;
  std::atomic<int> gameClock_{0};
  int inputCheckCounter_ = 0;  // under the frame lock
  std::unique_ptr<platform::thread::Event> frameEvent_;
  // Wakes a frame resting in the full-speed mode when the threads are told to end (a test's clock may never move).
  std::stop_source paceStop_;
  TFpsCounter fps_;  // under the draw lock

  // Display pieces (under the draw lock).
  DirectX::TDSurface* composeSurface_ = nullptr;
  TZoRGBBits* cursorBits_ = nullptr;
  TZoAlpha* cursorAlpha_ = nullptr;
  int cursorIndex_ = -1;
  std::array<int, 16> cursorStack_{};
  int cursorDepth_ = 0;
  int cursorX_ = -32, cursorY_ = -32;  // drawing position: the pointer minus the hot spot
  bool cursorDrawn_ = false;
  TZoRGBBits* cursorSave_ = nullptr;
  TZoRGBBits* fpsSave_ = nullptr;
  bool fpsDrawn_ = false;
  // What the picture last presented shows of the overlays; index -2: nothing known, present the next frame.
  int shownCursorX_ = 0, shownCursorY_ = 0, shownCursorIndex_ = -2, shownFps_ = -1;
  std::atomic<std::uint64_t> composedFrames_{0};
  TZoRGBBits* waitImage_ = nullptr;
  int waitLevel_ = 0, waitCounter_ = 0, waitFrame_ = 0;
  TZoRGBBits* capLogo_ = nullptr;
  TZoAlpha* capLogoAlpha_ = nullptr;
  TZoRGBBits* capCopy_ = nullptr;
  TZoAlpha* capCopyAlpha_ = nullptr;

  // Input queue (under the input lock).
  std::deque<TInputEvent> inputQueue_;

  // Sound (under the sound lock).
  TDisplayConfig displayConfig_;
  DirectX::TDSoundBuffer* silentBuffer_ = nullptr;
  std::array<VXStream*, kSystemSounds> systemSounds_{};


  // Hooks: set by the game thread, called by the frame tick.
  mutable std::mutex hookLock_;
  TFrameHook onFrame_;
  TFrameInputHook onFrameInput_;
  TDrawFullHook onDrawFull_;
  TDrawUpdateHook onDrawUpdate_;
  TDrawSurfaceHook onDrawSurface_;
  TImeResultHook onImeResult_;
  std::function<void(int)> resultHandler_;
  std::vector<TScreenChangeCallback> screenCallbacks_;  // under the game lock

  // Devices.
  VXTimer* timer_ = nullptr;
  DirectX::TDDraw* display_ = nullptr;
  DirectX::TDSound* sound_ = nullptr;
  TDInputUnit* input_ = nullptr;
  TZoRGBPanel* root_ = nullptr;
  VXFont* smallFont_ = nullptr;
  VXFont* largeFont_ = nullptr;

  // Locks.
  VXCriticalSection gameLock_;
  mutable VXCriticalSection drawLock_;
  VXCriticalSection frameLock_;
  VXCriticalSectionEx composeGuard_;
  VXCriticalSection soundLock_;
  mutable VXCriticalSection inputLock_;

  mutable std::mutex errorLock_;
  std::string fatalError_;

  // The window's effect manager and the effect that state 9 runs (the manager's, unless replaced).
  TEffectMan effects_;
  std::unique_ptr<TTransitionEffect> transition_ = MakeEffectTransition(effects_);

  std::unique_ptr<TWaitThread> waitThread_;
  std::unique_ptr<Classes::TThread> gameThread_;

  // ==== The sound service (shell/gamesound.cpp) ==================================================================
  // Background music (BGM) on two stream slots, so that a new track starts at full volume while the previous one
  // fades out; one voice; one sound effect (SE); one looping SE; an extra channel whose operations do nothing; and
  // the ten system sounds on a ring of four buffers. A channel's loudness is its user volume (the settings; the
  // rear volume for a voice or SE started with a rear flag above 0) times the rate the scene set, both percent,
  // through the attenuation table of VolumeToAttenuation. The per-frame update moves the BGM and loop-SE volumes
  // toward their targets by 2 a frame. Every operation holds the sound lock (callers: the game thread; the frame
  // tick on the game thread or the wait thread). Without a sound device every operation returns at once and plays
  // report success. Volumes and rates outside 0..100 are ignored.
public:
  // User volumes (kept in the display settings); each applies at once to what plays.
  void SetBgmVolume(int volume);
  void SetVoiceVolume(int volume);
  void SetSeVolume(int volume);  // also the system sounds'
  void SetRearVolume(int volume);
  int GetBgmVolume();
  int GetVoiceVolume();
  int GetSeVolume();
  int GetRearVolume();
  // Scene rates. Voice and SE rates apply at once; the BGM, loop-SE and extra rates through the per-frame glide.
  void SetBgmRate(int rate);
  void SetVoiceRate(int rate);
  void SetSeRate(int rate);
  void SetLoopSeRate(int rate);
  void SetExtraSoundRate(int rate);

  // "Track%02d.bgm" of the BGM folder (Ogg Vorbis). The playing track with the same loop flag goes on untouched;
  // otherwise the current track fades out (`fade`, from a volume above 0) or stops, and the new one starts in the
  // other slot. False (no current track) when the track cannot be played.
  bool PlayBgm(int track, bool loop, bool fade);
  void StopBgm(bool fade);
  int GetBgmTrack();  // 0: none
  bool IsBgmPlaying();
  // The heard position of the current track, in milliseconds of its decoded sound; 0 without one.
  int GetBgmPosition();

  // name + ".ogg" through `source`. The sound already loaded with the same name, id and rear flag starts again.
  bool PlayVoice(VXFileMan* source, VXString name, int rear, int id);
  bool PlayVoice(VXFileMan* source, VXString name);
  void StopVoice();
  bool IsVoicePlaying();
  bool PlaySe(VXFileMan* source, VXString name, int rear, int id);
  void StopSe();
  bool IsSePlaying();
  // Loops until stopped; `fadeIn` glides up from silence. The same sound while it fades out comes back up.
  bool PlayLoopSe(VXFileMan* source, bool fadeIn, VXString name, int rear, int id);
  // With `fade` (and a volume above 0) it glides down and then stops.
  void StopLoopSe(bool fade);
  bool IsLoopSePlaying();
  bool PlayExtraSound(int id, int flag);  // true, nothing played
  void StopExtraSound(bool fade);
  bool IsExtraSoundPlaying();  // false

  // System sound 0..9 (table of names in gamef.cpp) at the user SE volume; false out of range or unplayable.
  bool PlaySystemSe(int index);
  bool IsSystemSePlaying();

  // What a part of the service holds now, for a look from tests and tools: the current and the fading BGM slot,
  // the voice, SE and loop-SE buffers, and spSystem + 0..3 the system ring. Null when empty.
  enum TSoundPart { spBgm, spBgmFadeOut, spVoice, spSe, spLoopSe, spSystem };
  DirectX::TCustomDSoundBuffer* GetSoundBuffer(int part);

private:
  struct TSoundChannel {
    DirectX::TDSoundBuffer* buffer = nullptr;
    VXString name;
    int id = 0;
    int rear = 0;
    bool Holds(const VXString& n, int i, int r) const { return buffer != nullptr && name == n && id == i && rear == r; }
  };
  static constexpr int kSystemRing = 4;

  bool HasSoundDevice() const;
  void SetChannelPercent(int& setting, int value);
  void SetGlidePercent(int& setting, int value);
  int ReadPercent(const int& setting);
  int BgmTarget() const;
  int UserVolume(const TSoundChannel& channel, int own) const;
  int LoopSeTarget() const;
  bool StartBgmStream(int slot, int track, bool loop, int volume);
  void DeleteBgmSlot(int slot);
  // The current track leaves its slot: it fades out there, or is deleted; the other slot becomes current.
  void RetireBgm(bool fade);
  bool LoadChannel(TSoundChannel& channel, VXFileMan* source, const VXString& name, int rear, int id);
  bool PlayChannel(TSoundChannel& channel, VXFileMan* source, const VXString& name, int rear, int id);
  void StopChannel(TSoundChannel& channel);
  void ClearChannel(TSoundChannel& channel);
  bool IsChannelPlaying(const TSoundChannel& channel);
  void ApplyChannelVolumes();
  void PlaySilence();
  // Every buffer and stream deleted (before the device is disabled: it would delete them a second time).
  void ReleaseSoundService();

  std::array<DirectX::TDSoundStream*, 2> bgmStreams_{};
  std::array<VXStream*, 2> bgmFiles_{};
  int bgmTrack_ = 0;
  bool bgmLoop_ = false;
  int bgmSlot_ = 0;
  int bgmVolume_ = 0;
  int bgmFadeVolume_ = 0;  // of the slot that is not current
  TSoundChannel voice_;
  TSoundChannel se_;
  TSoundChannel loopSe_;
  int loopSeVolume_ = 0;
  bool loopSeStopping_ = false;
  std::array<DirectX::TDSoundBuffer*, kSystemRing> systemBuffers_{};
  std::array<int, kSystemRing> systemHeld_{-1, -1, -1, -1};  // the system sound each buffer holds
  int systemRing_ = 0;
  int bgmRate_ = 100;
  int voiceRate_ = 100;
  int seRate_ = 100;
  int loopSeRate_ = 100;
  int extraRate_ = 100;
  // ==== end of the sound service ===================================================================================
};
