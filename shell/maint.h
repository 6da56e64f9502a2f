// The game thread's base: the one worker thread that runs the game's logic (title loop, screens, adventure, music
// game). It holds the window's game lock whenever it runs logic and gives it up only inside its waits and the
// wrappers marked below, so screen code and the frame step never run beside game logic.
//
// The result hand-off. A screen, the adventure, the music game or the frame step (at the end of a transition, with
// 0) ends a wait of the game thread with `NotifyMainThread(result)`, from any thread: the result is stored, the
// window's result-pending flag is set (from then on no frame hook, panel input, panel animation or transition step
// runs) and the thread is marked notified. `WaitForNotify` clears the mark and the pending flag as it begins and
// steps frames until the mark is set again. So only a notification during a wait ends it; one that comes while the
// thread does not wait leaves its result behind (GetResult) and is forgotten at the next wait. The result, the mark
// and the pending flag change together under one lock; the game thread reads the result after its wait.
//
// Ending. The window's close request terminates the thread; the next wait or CheckTerminated throws `EGameEnd`,
// which runs the flow down to the thread's body, and the body asks the window to close. When the main loop has
// already ended (the application is ending), a wait throws `EGameEnd` as well but leaves the game lock given up,
// the wrappers below do nothing, and the body only gives up what it holds: the run-down never touches the closing
// window.
//
// Threads. Everything here belongs to the game thread, with the game lock held, except: NotifyMainThread,
// GetResult, and the two callback slots (Set/Get/CallFrameProc, Set/Get/CallInputProc), which any thread
// may use. A slot is copied under a lock and called outside it, so a callback may replace its own slot and a slot
// replaced during a frame never tears.
//
// Transitions. RunTransition hands two 640 x 480 screen pictures to the window (they belong to it from then on),
// loads what the kind needs, runs state 9 until the window reports the end, releases what it loaded and puts the
// result and the transition rate back (the end's 0 never replaces a result being read). Kinds: 0-10 and negative
// ones are the effect manager's own kinds (-1 shows no transition), 11 the water ripple, 12 the halation, 13-31
// the mask fades over "FadeMask00_BlindR.bmp" .. "FadeMask18_GhostU.bmp" in order (22, 30 and 31 soft, the others
// with an edge), anything above 31 a cross-fade.
#pragma once

#include <memory>
#include <mutex>
#include <stdexcept>

#include "platform/vclthread.h"
#include "shell/gamef.h"

class TDInputUnit;
class TZoRGBBits;
class TZoRGBPanel;

// The game thread must stop now. Its message is "GameEnd".
class EGameEnd : public std::runtime_error {
public:
  EGameEnd() : std::runtime_error("GameEnd") {}
};

// What the game thread uses of the sound service: the BGM, and whether the voice channel still plays. By default the
// game window's own sound service; tests put another in with TMainThread::SetSound (null: the BGM calls do nothing
// and no voice plays). Called on the game thread with the game lock given up.
class TGameThreadSound {
public:
  virtual ~TGameThreadSound() = default;
  virtual void PlayBgm(int track, bool loop, bool fade) = 0;
  virtual void StopBgm(bool fade) = 0;
  virtual bool IsVoicePlaying() = 0;
};

class TMainThread : public Classes::TThread {
public:
  static constexpr int kNormalRate = 100;
  static constexpr int kVoiceSleepMs = 100;

  // Created suspended (the window resumes it). It becomes `MainThread` and the window's receiver of results, and
  // draws a time-dependent number of values from the shared random generator.
  explicit TMainThread(TGameForm& form);
  // No longer `MainThread`; the window's receiver of results is removed. Terminate and WaitFor first.
  ~TMainThread() override;

  TGameForm& GetForm() const { return form_; }

  // ---- Result hand-off: NotifyMainThread reaches the thread through the window's result handler.

  int GetResult() const;  // any thread
  void SetResult(int result);

  // ---- Waits. Each gives the game lock up completely and takes it back as deep; EGameEnd when the thread is
  // terminated, or (with the lock left given up) when the application is ending.

  // Steps frames on this thread until notified (read GetResult afterwards).
  void WaitForNotify();
  // Steps frames while the voice plays; the mark and the pending flag stay as they are.
  void WaitWhileVoice();
  // Sleeps in rounds of kVoiceSleepMs while the voice plays, stepping no frame.
  void SleepWhileVoice();
  void CheckTerminated();
  // Terminates the thread and throws EGameEnd: a flow step that cannot go on.
  [[noreturn]] void Quit();
  // Quit, with the game ending as an error: a screen or unit the game cannot go on without did not open (its files
  // in the game folder are missing or damaged). `what` names it for the message.
  [[noreturn]] void QuitUnopened(const char* what);

  // ---- The active screen's per-frame handlers (any thread; see above). The window's frame hooks reach them
  // through CallFrameProc and CallInputProc, which do nothing while the slot is empty.

  void SetFrameProc(TFrameHook proc);
  TFrameHook GetFrameProc() const;
  void SetInputProc(TFrameInputHook proc);
  TFrameInputHook GetInputProc() const;
  void CallFrameProc(int frames);
  void CallInputProc(int frames, TDInputUnit* input);

  // ---- Sound and wait modes: the game lock is given up during the call; nothing once the application is ending.

  // Before Resume, or on the game thread.
  void SetSound(TGameThreadSound* sound) { sound_ = sound; }
  void PlayBgm(int track, bool loop, bool fade);
  void StopBgm(bool fade);
  void EnterWaitMode();   // state 7: the wait picture, drawn by the wait thread
  void EnterHoldMode();   // state 8: the picture stays, the wait thread steps frames
  void EnterPanelMode();  // state 3: the panels, driven by this thread's waits
  void EnterMusicMode();      // state 4
  void EnterAdventureMode();  // state 5
  void EnterMovieMode();      // state 6: full-screen movie pictures

  // ---- Transitions

  // The speed of the next transition in percent (100: one step a frame); back to 100 after every transition.
  int GetTransitionRate() const { return transitionRate_; }
  void SetTransitionRate(int rate) { transitionRate_ = rate; }
  // A transition that cannot start (a picture missing or of the wrong size) waits for nothing and leaves the
  // screen as it was. EGameErr when a mask picture is missing (the pictures are deleted then).
  void RunTransition(int kind, TZoRGBBits* from, TZoRGBBits* to);
  // From the screen as it is to black, to white, or to `panel` drawn alone (not yet attached: the next screen).
  // EGameErr, with nothing kept, when the screen pictures cannot be made. When the screen already shows exactly what
  // the transition leads to (black to black), there is nothing to show: it takes no frames.
  void TransitionToBlack(int kind);
  void TransitionToWhite(int kind);
  void TransitionToPanel(int kind, TZoRGBPanel* panel);

protected:
  // The bare thread: the wait picture, and waits until the thread is terminated; then RunDown.
  void Execute() override;
  // The end of every thread body: unless the application is ending, the window is asked to close; the game lock
  // is given up (as far as this thread holds it).
  void RunDown();

private:
  struct HandOff;
  template <class Waiting, class Step>
  void WaitWhile(Waiting waiting, Step step);
  bool IsVoicePlaying() const;
  template <class Call>
  void Unlocked(Call call);
  // Two screen pictures, the screen copied into the first, the second filled by `fill`; then the transition.
  template <class Fill>
  void TransitionFromScreen(int kind, Fill fill);

  TGameForm& form_;
  std::shared_ptr<HandOff> handOff_;
  mutable std::mutex slotLock_;  // of both slots
  TFrameHook frameProc_;
  TFrameInputHook inputProc_;
  std::unique_ptr<TGameThreadSound> windowSound_;  // the game window's sound service
  TGameThreadSound* sound_ = nullptr;
  int transitionRate_ = kNormalRate;
};

// The game thread while one exists.
extern TMainThread* MainThread;

// Ends the game thread's current wait with `result` (see above); nothing without a game thread. Any thread.
void NotifyMainThread(int result);
